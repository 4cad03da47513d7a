#pragma once

namespace orb::app {

/// The interface "DocumentWindow": the window a lens document shows when no other is
/// asked for. It titles itself "Lens", lists the prescription (read only: radius,
/// thickness, glass, semidiameter, conic of each surface), the system's focal length,
/// working F/#, fields and wavelengths, and follows the lens as it changes. Editing
/// happens in the surface data editor; the analyses are in the menus.
void registerLensWindow();

inline constexpr const char* kLensWindowNibName = "DocumentWindow";

}  // namespace orb::app
