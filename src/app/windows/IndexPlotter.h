#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/windows/PlotWindowController.h"

namespace orb::app {

/// The index plotter's controller. Its toolbar starts hidden (Window ▸ Show Toolbar brings
/// it): the glasses are chosen in the window itself. It offers nothing that needs a lens.
class IPWindowController : public PlotWindowController {
 public:
  explicit IPWindowController(std::string nibName = "IndexPlotter", const std::shared_ptr<SmartDocument>& document = {})
      : PlotWindowController(std::move(nibName), document) {}
  std::vector<std::string> toolbarAllowedItemIdentifiers() const override {
    return {"export", "zoomToFit", "glassLibrary", kFlexibleSpace, "options"};
  }
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override {
    return {"export", "zoomToFit", "glassLibrary", kFlexibleSpace, "options"};
  }

 protected:
  void awakeFromNib() override;

 private:
  bool m_awakeAlready = false;
};

/// The application's index plotter ("IndexPlotter"): refractive index against wavelength
/// of glasses named by the user from the system glass catalog (or dropped on the window),
/// or their differences from the first. One per application, brought front when asked
/// again; it belongs to no document.
PlotWindowController* showIndexPlotter();

/// A glass-catalog document's own index plotter: names are looked up in the document's
/// catalog before the system catalog, and it starts with the catalog's first glasses.
/// Each request opens a new window, which closes with the document.
PlotWindowController* showIndexPlotterForDocument(const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
