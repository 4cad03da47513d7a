#pragma once

class QMenuBar;
class QWidget;

namespace orb::app {

/// The application's menus, on every window (Linux has no menu bar shared by all
/// windows): File, Edit, Lens, Analysis, Diffraction, Illumination, Reports, Optimize,
/// Window and Help. Items act on `window` and on its document (none for the start
/// window); each menu enables its items when it opens. Windows that do not exist yet
/// show disabled, with a tool tip that says so.
void installMenuBar(QMenuBar* bar, QWidget* window);
/// The menus of a window without a document (the start window): File, Window and Help.
void installApplicationMenuBar(QMenuBar* bar, QWidget* window);

/// The tool tip of a window action whose window does not exist yet.
inline constexpr const char* kNotAvailableYetToolTip = "Not available yet: this window comes in a later version.";

}  // namespace orb::app
