#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/windows/PlotWindowController.h"
#include "platform/Observation.h"

namespace orb::materials {
class IndexFitter;
}

namespace orb::app {

class ObjectController;

/// The application's index fitter ("IndexFitter"): measured (wavelength, index) rows, the
/// dispersion formula and coefficients of the glass being fitted, and a plot of data and
/// fit (or residuals). The fitter is the window's calculator; it refreshes its own plot on
/// every edit, so the window runs no updater. It belongs to no document.
///
/// `singleton` holds the one glass being fitted: the fitter's glass follows its selection.
class IFWindowController : public PlotWindowController {
  Q_OBJECT
 public:
  explicit IFWindowController(std::string nibName = "IndexFitter");
  ~IFWindowController() override;

  /// The fitter, or null once the window has closed.
  std::shared_ptr<materials::IndexFitter> indexFitter() const;
  const std::shared_ptr<ObjectController>& singleton() const { return m_singleton; }

  std::vector<std::string> toolbarAllowedItemIdentifiers() const override;
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override;
  /// The export sheet of the fitter's curves.
  void exportAction() override;

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;

 private:
  std::shared_ptr<ObjectController> m_singleton;
  platform::Observation m_glassBinding;
  std::shared_ptr<ExportSheetController> m_exportSheet;
  bool m_awakeAlready = false;
};

/// Window ▸ Index Fitter: one per application, brought front when asked again.
IFWindowController* showIndexFitter();

}  // namespace orb::app
