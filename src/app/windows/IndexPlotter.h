#pragma once

class QWidget;

namespace orb::app {

class PlotWindowController;

/// The application's index plotter ("IndexPlotter"): refractive index against wavelength
/// of glasses named by the user from the system glass catalog, or their differences from
/// the first. One per application, brought front when asked again; it belongs to no
/// document.
PlotWindowController* showIndexPlotter();

}  // namespace orb::app
