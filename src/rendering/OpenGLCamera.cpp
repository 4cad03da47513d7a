#include "rendering/OpenGLCamera.h"

#include <cstring>

namespace orb::rendering {

std::optional<GLRotation> GLRotation::fromBytes(const unsigned char* data, std::size_t size) {
  if (!data || size < 4 * sizeof(float)) return std::nullopt;
  float f[4];
  std::memcpy(f, data, sizeof f);
  return GLRotation{f[0], f[1], f[2], f[3]};
}

std::optional<std::array<float, 3>> centerFromBytes(const unsigned char* data, std::size_t size) {
  if (!data || size < 3 * sizeof(float)) return std::nullopt;
  std::array<float, 3> c;
  std::memcpy(c.data(), data, sizeof(float) * 3);
  return c;
}

ZoomData windowBoxForZoomBox(const ZoomData& zoom, double width, double height) {
  // A view with no area (not yet laid out, or hidden) has no aspect ratio to match.
  if (!(width > 0) || !(height > 0)) return zoom;
  const double dx = zoom.xMax - zoom.xMin;
  const double dy = zoom.yMax - zoom.yMin;
  // A zero span has no scale of its own; treating it as 1 keeps the box finite.
  const double rx = dx != 0 ? width / dx : 1.0;
  const double ry = dy != 0 ? height / dy : 1.0;
  ZoomData window = zoom;
  if (rx > ry) {
    double half = (rx / ry) * dx / 2;
    if (half == 0) half = 1;
    const double centre = (zoom.xMin + zoom.xMax) / 2;
    window.xMin = centre - half;
    window.xMax = centre + half;
  } else {
    double half = (ry / rx) * dy / 2;
    if (half == 0) half = 1;
    const double centre = (zoom.yMin + zoom.yMax) / 2;
    window.yMin = centre - half;
    window.yMax = centre + half;
  }
  return window;
}

std::array<double, 2> pixelScaleForWindowBox(const ZoomData& window, double width, double height) {
  return {width > 0 ? (window.xMax - window.xMin) / width : 0.0,
          height > 0 ? (window.yMax - window.yMin) / height : 0.0};
}

std::array<double, 2> userPointForViewPoint(const ZoomData& window, double originX, double originY, double width,
                                            double height, double px, double py) {
  const double x = width > 0 ? window.xMin + (px - originX) * (window.xMax - window.xMin) / width : window.xMin;
  const double y = height > 0 ? window.yMin + (py - originY) * (window.yMax - window.yMin) / height : window.yMin;
  return {x, y};
}

}  // namespace orb::rendering
