#pragma once

#include "foundation/objects/XY.h"

namespace orb::geometry {
class DrawingSink;
}

// Shared 3-D drawing of the aperture shapes, flat at z = 0 in the surface's local frame.
namespace orb::lens::detail {

/// Quadrilaterals between the ellipses of radii `inner` and `outer` about `centre`, one
/// per angular step (2π / segments); with `alsoReversed` each again with the opposite
/// winding. With `outlines`, line segments along the outer ellipse and, unless its
/// radii are zero, the inner one.
void drawEllipticalBand(geometry::DrawingSink& sink, foundation::XY centre, foundation::XY inner,
                        foundation::XY outer, int segments, bool alsoReversed, bool outlines);

/// The outline of the rectangle of half widths (hx, hy) about `centre`, as a line loop.
void drawRectangleOutline(geometry::DrawingSink& sink, foundation::XY centre, double hx, double hy);

/// The frame between the rectangles of half widths `inner` and `outer` as four
/// quadrilaterals; inner (0, 0) gives the filled rectangle as one.
void drawRectangularBand(geometry::DrawingSink& sink, foundation::XY centre, foundation::XY inner,
                         foundation::XY outer, bool alsoReversed);

}  // namespace orb::lens::detail
