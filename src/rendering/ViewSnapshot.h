#pragma once

#include <QImage>

class QOpenGLWidget;

namespace orb::rendering {

/// The picture a GL view shows now, read back from its framebuffer, top row first. Its size
/// in points is the view's bounds truncated to whole numbers (in pixels, times the device
/// pixel ratio). A view with no area gives a null image. Main thread; makes the view's
/// context current.
QImage imageFromView(QOpenGLWidget& view);

/// Turns an image that GL delivered bottom row first upright, in place: row i swaps with
/// row height − 1 − i; with an odd height the middle row stays.
void flipRowsInPlace(unsigned char* data, std::size_t bytesPerRow, int height);

}  // namespace orb::rendering
