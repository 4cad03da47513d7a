#pragma once

#include <memory>

#include "app/windows/CalculatorWindowController.h"
#include "platform/Observation.h"

class QLabel;

namespace orb::rendering {
class ZoomPlotView;
}

namespace orb::app {

/// The read-out of a plot view: the point of interest's description while one is set,
/// else the mouse position in the plot's units while the mouse is over the plot area,
/// else nothing.
std::string plotReadoutText(rendering::ZoomPlotView& view);

class ExportSheetController;

/// What the plot windows add to their calculator window: the main view (a plot view)
/// draws the calculator controller's "selection.plotDictionary" and redraws on
/// "modelChangedNotification"; "Export" opens the export sheet on the plot's curves; the
/// status bar shows the view's read-out (`plotReadoutText`) in a label "plotReadout".
/// Shared by the plot windows of both bases.
class PlotViewBinding {
 public:
  PlotViewBinding();
  ~PlotViewBinding();

  void bind(CalculatorWindowController& controller);
  void unbind(CalculatorWindowController& controller);

  /// Opens the export sheet over the window (loading it the first time) with the
  /// calculator's "plotDictionary.curves", all selected.
  void beginExportSheet(CalculatorWindowController& controller);
  /// The export sheet, or null before the first export.
  ExportSheetController* exportSheet() const { return m_exportSheet.get(); }

 private:
  void installReadout(CalculatorWindowController& controller, rendering::ZoomPlotView& view);

  platform::Observation m_modelChanged;
  bool m_bound = false;
  std::shared_ptr<ExportSheetController> m_exportSheet;
};

/// An analysis window that shows a plot, for analyses that need no lens.
class PlotWindowController : public CalculatorWindowController {
  Q_OBJECT
 public:
  explicit PlotWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~PlotWindowController() override;

  /// Toolbar and menu "Export": the export sheet of the plot's curves.
  void exportAction() override;
  ExportSheetController* exportSheetController() const { return m_binding.exportSheet(); }

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;

 private:
  PlotViewBinding m_binding;
  bool m_awakeAlready = false;
};

}  // namespace orb::app
