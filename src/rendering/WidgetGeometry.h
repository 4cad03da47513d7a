#pragma once

#include <QWidget>

namespace orb::rendering {

/// The y of the widget's frame origin, in its parent's coordinates (the screen's for a
/// window).
inline int frameoriginy(const QWidget* widget) { return widget->geometry().y(); }

}  // namespace orb::rendering
