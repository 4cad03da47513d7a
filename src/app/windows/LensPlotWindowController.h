#pragma once

#include "app/windows/LensCalculatorWindowController.h"
#include "app/windows/PlotWindowController.h"

namespace orb::app {

/// A plot window of an analysis of the document's lens.
class LensPlotWindowController : public LensCalculatorWindowController {
  Q_OBJECT
 public:
  explicit LensPlotWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~LensPlotWindowController() override;

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

/// A lens plot window whose analysis draws random rays: its toolbar offers "Randomize"
/// (just before "Options" by default).
class RandomizableLensPlotWindowController : public LensPlotWindowController {
  Q_OBJECT
 public:
  using LensPlotWindowController::LensPlotWindowController;
  std::vector<std::string> toolbarAllowedItemIdentifiers() const override;
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override;
};

}  // namespace orb::app
