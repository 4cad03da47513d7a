#include "lens/ApertureDrawing.h"

#include <cmath>
#include <numbers>

#include "geometry/values/DrawingSink.h"

namespace orb::lens::detail {

using foundation::XY;
using foundation::XYZ;
using geometry::DrawMode;

namespace {

void quad(geometry::DrawingSink& sink, const XYZ (&corner)[4], bool alsoReversed) {
  sink.normal(XYZ{0, 0, 1});
  for (const auto& c : corner) sink.vertex(c);
  if (!alsoReversed) return;
  sink.normal(XYZ{0, 0, -1});
  for (int i = 3; i >= 0; --i) sink.vertex(corner[i]);
}

XYZ onEllipse(XY centre, XY radii, double angle) {
  return XYZ{centre.x + radii.x * std::cos(angle), centre.y + radii.y * std::sin(angle), 0};
}

}  // namespace

void drawEllipticalBand(geometry::DrawingSink& sink, XY centre, XY inner, XY outer, int segments, bool alsoReversed,
                        bool outlines) {
  if (segments < 1) segments = 1;
  const double step = 2 * std::numbers::pi / segments;
  // Angles k·step rather than a running sum, so the band closes exactly at 2π.
  sink.begin(DrawMode::Quads);
  for (int k = 0; k < segments; ++k) {
    double a0 = k * step, a1 = (k + 1) * step;
    const XYZ corner[4] = {onEllipse(centre, inner, a0), onEllipse(centre, outer, a0), onEllipse(centre, outer, a1),
                           onEllipse(centre, inner, a1)};
    quad(sink, corner, alsoReversed);
  }
  sink.end();
  if (!outlines) return;
  sink.begin(DrawMode::Lines);
  const bool innerToo = inner.x != 0 || inner.y != 0;
  for (int k = 0; k < segments; ++k) {
    double a0 = k * step, a1 = (k + 1) * step;
    sink.vertex(onEllipse(centre, outer, a0));
    sink.vertex(onEllipse(centre, outer, a1));
    if (innerToo) {
      sink.vertex(onEllipse(centre, inner, a0));
      sink.vertex(onEllipse(centre, inner, a1));
    }
  }
  sink.end();
}

void drawRectangleOutline(geometry::DrawingSink& sink, XY centre, double hx, double hy) {
  sink.begin(DrawMode::LineLoop);
  sink.vertex(XYZ{centre.x - hx, centre.y - hy, 0});
  sink.vertex(XYZ{centre.x + hx, centre.y - hy, 0});
  sink.vertex(XYZ{centre.x + hx, centre.y + hy, 0});
  sink.vertex(XYZ{centre.x - hx, centre.y + hy, 0});
  sink.end();
}

void drawRectangularBand(geometry::DrawingSink& sink, XY centre, XY inner, XY outer, bool alsoReversed) {
  auto at = [&](double x, double y) { return XYZ{centre.x + x, centre.y + y, 0}; };
  sink.begin(DrawMode::Quads);
  if (inner.x == 0 && inner.y == 0) {
    const XYZ whole[4] = {at(-outer.x, -outer.y), at(outer.x, -outer.y), at(outer.x, outer.y), at(-outer.x, outer.y)};
    quad(sink, whole, alsoReversed);
  } else {
    const XYZ bottom[4] = {at(-outer.x, -outer.y), at(outer.x, -outer.y), at(inner.x, -inner.y), at(-inner.x, -inner.y)};
    const XYZ right[4] = {at(inner.x, -inner.y), at(outer.x, -outer.y), at(outer.x, outer.y), at(inner.x, inner.y)};
    const XYZ top[4] = {at(-inner.x, inner.y), at(inner.x, inner.y), at(outer.x, outer.y), at(-outer.x, outer.y)};
    const XYZ left[4] = {at(-outer.x, -outer.y), at(-inner.x, -inner.y), at(-inner.x, inner.y), at(-outer.x, outer.y)};
    quad(sink, bottom, alsoReversed);
    quad(sink, right, alsoReversed);
    quad(sink, top, alsoReversed);
    quad(sink, left, alsoReversed);
  }
  sink.end();
}

}  // namespace orb::lens::detail
