#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/windows/PlotWindowController.h"

namespace orb::app {

/// The index plotter's controller: a plot window of no document, so its toolbar offers
/// nothing that needs a lens.
class IPWindowController : public PlotWindowController {
 public:
  explicit IPWindowController(std::string nibName = "IndexPlotter") : PlotWindowController(std::move(nibName)) {}
  std::vector<std::string> toolbarAllowedItemIdentifiers() const override {
    return {"export", "zoomToFit", kFlexibleSpace, "options"};
  }
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override {
    return {"export", "zoomToFit", kFlexibleSpace, "options"};
  }
};

/// The application's index plotter ("IndexPlotter"): refractive index against wavelength
/// of glasses named by the user from the system glass catalog, or their differences from
/// the first. One per application, brought front when asked again; it belongs to no
/// document.
PlotWindowController* showIndexPlotter();

}  // namespace orb::app
