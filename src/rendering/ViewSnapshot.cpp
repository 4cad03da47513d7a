#include "rendering/ViewSnapshot.h"

#include <GL/gl.h>

#include <QOpenGLWidget>
#include <algorithm>
#include <cmath>

namespace orb::rendering {

void flipRowsInPlace(unsigned char* data, std::size_t bytesPerRow, int height) {
  if (!data || height < 2) return;
  for (int i = 0; i < height / 2; ++i) {
    unsigned char* top = data + static_cast<std::size_t>(i) * bytesPerRow;
    unsigned char* bottom = data + static_cast<std::size_t>(height - 1 - i) * bytesPerRow;
    std::swap_ranges(top, top + bytesPerRow, bottom);
  }
}

QImage imageFromView(QOpenGLWidget& view) {
  const int w = view.width(), h = view.height();
  if (w <= 0 || h <= 0 || !view.isValid()) return {};
  const double ratio = view.devicePixelRatioF();
  const int pw = static_cast<int>(std::floor(w * ratio)), ph = static_cast<int>(std::floor(h * ratio));
  QImage image(pw, ph, QImage::Format_RGBA8888);
  if (image.isNull()) return {};
  view.makeCurrent();
  GLint oldRowLength = 0, oldAlignment = 4;
  glGetIntegerv(GL_PACK_ROW_LENGTH, &oldRowLength);
  glGetIntegerv(GL_PACK_ALIGNMENT, &oldAlignment);
  glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(image.bytesPerLine() * 8 / image.depth()));
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, pw, ph, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
  // Leave the pack state as found: later reads of other code must not inherit our stride.
  glPixelStorei(GL_PACK_ROW_LENGTH, oldRowLength);
  glPixelStorei(GL_PACK_ALIGNMENT, oldAlignment);
  view.doneCurrent();
  flipRowsInPlace(image.bits(), static_cast<std::size_t>(image.bytesPerLine()), ph);
  image.setDevicePixelRatio(ratio);
  return image;
}

}  // namespace orb::rendering
