#include "rendering/OpenGLArc.h"

#include <cmath>

#include "geometry/values/DrawingSink.h"

namespace orb::rendering {

void openGLArc(geometry::DrawingSink& gl, int n, double start, double end, const double profile[3]) {
  if (n < 3) return;
  start = std::fmod(start, 360.0);
  end = std::fmod(end, 360.0);
  if (end <= start) end += 360;
  const double span = end - start;
  int k = static_cast<int>(span / (360.0 / n));
  if (k < 1) k = 1;
  const double step = span / k * M_PI / 180;
  const double c = std::cos(step), s = std::sin(step);
  const double r = profile[0], z = profile[2];
  double x = r * std::cos(start * M_PI / 180), y = r * std::sin(start * M_PI / 180);
  gl.begin(geometry::DrawMode::Lines);
  for (int i = 0; i < k; ++i) {
    const double nx = x * c - y * s, ny = x * s + y * c;
    gl.vertex({x, y, z});
    gl.vertex({nx, ny, z});
    x = nx;
    y = ny;
  }
  gl.end();
}

}  // namespace orb::rendering
