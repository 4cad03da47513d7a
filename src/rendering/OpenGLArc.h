#pragma once

namespace orb::geometry {
class DrawingSink;
}

namespace orb::rendering {

/// The rim of a surface: the circle of radius r at height z through the profile point
/// (r, ·, z), from `startDegrees` to `endDegrees` (each reduced modulo 360; an end not past
/// the start goes round once more, so equal angles give the full circle), as separate line
/// segments of at most 360/n degrees each. Nothing for n < 3.
void openGLArc(geometry::DrawingSink& gl, int segmentsPerRevolution, double startDegrees, double endDegrees,
               const double profile[3]);

}  // namespace orb::rendering
