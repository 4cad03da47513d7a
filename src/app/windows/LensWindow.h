#pragma once

namespace orb::app {

/// The interface "DocumentWindow", the lens summary (Reports menu; the layout is the
/// document's main window). It titles itself "Lens" and lists the prescription read only
/// (type, comment, radius, thickness, glass, semidiameter and conic of each surface) with
/// the system's focal length, working F/#, fields and wavelengths, following the lens as
/// it changes. Editing happens in the surface data editor; the analyses are in the menus.
void registerLensWindow();

inline constexpr const char* kLensWindowNibName = "DocumentWindow";

}  // namespace orb::app
