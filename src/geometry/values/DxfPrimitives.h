#pragma once

#include <vector>

#include "foundation/objects/XYZ.h"
#include "geometry/values/DrawingSink.h"

namespace orb::geometry {

// Faces and lines for DXF drawings, built from the sink's primitives. A profile is an array
// of points (r, ignored, z): r is the distance from the z axis, z the height. A profile is
// closed when its first and last points have equal r and z. Angles are in degrees;
// `segments` counts segments per full turn.

/// One triangle from nine coordinates (three corners x, y, z).
void dxfTriangle(DxfSink& sink, const double v[9]);
/// One four-corner face from twelve coordinates.
void dxfQuad(DxfSink& sink, const double v[12]);

/// Tessellates the planar polygon of `count` profile points by ear clipping, placing (r, z)
/// at (r·c, r·s, z), where (c, s) is the cosine and sine of the placement angle. The
/// triangles run against the polygon's winding, or with it when `reversed`. Fewer than
/// three points draw nothing; a polygon with no ear left stays partly untessellated.
void dxfPolygon(DxfSink& sink, int count, const foundation::XYZ* profile, bool reversed, double c, double s);

/// The band swept by a closed polygon profile (last point joined to the first) between the
/// placement directions (c0, s0) and (c1, s1), with optional cap polygons at either end.
void dxfRevolvedBand(DxfSink& sink, int count, const foundation::XYZ* profile, bool startCap, bool endCap,
                     bool reversed, double c0, double s0, double c1, double s1);

/// A closed polygon profile (without a repeated first point) swept about z from phi1 to
/// phi2, faceted on the cells of `segments` per turn; equal angles sweep the full turn.
/// A partial sweep is capped at both ends.
void dxfRevolvedClosedProfile(DxfSink& sink, int count, const foundation::XYZ* profile, int segments,
                              bool reversed, double phi1, double phi2);

/// Any profile swept about z from phi1 to phi2: a closed one goes to
/// dxfRevolvedClosedProfile; an open one becomes uncapped quads, and triangles where a
/// point lies on the axis. Fewer than two points or three segments draw nothing.
void dxfRevolvedProfile(DxfSink& sink, int count, const foundation::XYZ* profile, int segments, bool reversed,
                        double phi1, double phi2);

/// A circular arc of `radius` at height z about the z axis from phi1 to phi2 (across 0°
/// when phi2 ≤ phi1), as separate line segments. Fewer than three segments draw nothing.
void dxfArc(DxfSink& sink, int segments, double radius, double z, double phi1, double phi2);

/// Immediate-mode drawing written as DXF: quads and triangles become 3DFACEs, a polygon a
/// fan of triangles from its first corner, lines and strips 3DLINEs (a loop is not
/// closed); normals are dropped. Lets solids that draw themselves for the 3-D views write
/// the same faces into a drawing.
class DxfFromDrawing : public DrawingSink {
 public:
  explicit DxfFromDrawing(DxfSink& out) : m_out(out) {}
  void begin(DrawMode mode) override;
  void normal(const foundation::XYZ&) override {}
  void vertex(const foundation::XYZ& p) override;
  void end() override;

 private:
  DxfSink& m_out;
  bool m_polygon = false;
  std::vector<foundation::XYZ> m_corners;
};

}  // namespace orb::geometry
