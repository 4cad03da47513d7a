#pragma once

#include <memory>

#include "foundation/minimise/Functor.h"
#include "geometry/solids/Manifold.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/values/R3ToR1Map.h"

namespace orb::geometry {

class R3Line;
class R3LineSegment;
class R3Ellipse;

/// The manifold of curves lying in one plane, with the right-handed frame x̂, ŷ = ẑ × x̂,
/// ẑ the plane's unit normal.
class PlaneManifold : public Manifold {
 public:
  explicit PlaneManifold(std::shared_ptr<const R3Plane> plane);
  static std::shared_ptr<PlaneManifold> manifoldWithPlane(std::shared_ptr<const R3Plane> plane) {
    return std::make_shared<PlaneManifold>(std::move(plane));
  }

  std::string description() const override;
  const std::shared_ptr<const R3Plane>& plane() const { return m_plane; }
  R3PointPtr xAxis() const { return R3Point::pointWithXYZ(m_x); }
  R3PointPtr yAxis() const { return R3Point::pointWithXYZ(m_y); }
  R3PointPtr zAxis() const { return R3Point::pointWithXYZ(m_z); }

  /// atan2(ẑ · (tA × tB), tA · tB).
  double angleForPoint(const XYZValue& p, const XYZValue& tA, const XYZValue& tB) const override;
  /// Crossings of segments and elliptic arcs; empty for other pairs.
  R3PointArray intersectionsOfCurveA(const R3Curve& a, const R3Curve& b) const;
  R3PointArray intersectionsOfCurveA(const R3Curve& a, const R3Curve& b, PointCoalescer& coalescer) const override;
  /// Parallel segments never cross, even when they overlap.
  R3PointPtr intersectionOfLineA(const R3Line& a, const R3Line& b) const;
  R3PointArray intersectionsOfLine(const R3Line& segment, const R3Ellipse& ellipse) const;
  R3PointArray intersectionsOfEllipseA(const R3Ellipse& a, const R3Ellipse& b) const;
  double areaOfTriangleWithVertices(const XYZValue& a, const XYZValue& b, const XYZValue& c) const override;
  double areaOfPolygonWithVertexArray(const R3PointArray& vertices) const override;
  /// The area between chord and curve, negative when the walk ends at the curve's q0.
  double segmentAreaForCurve(const R3Curve& curve, const XYZValue& end) const override;
  /// Whether p lies inside the face (linked edges; the face lies to the left of an edge
  /// walked in its f[0] direction).
  bool face(const WEFacePtr& face, const XYZValue& p) const;
  /// Joins the first and the last separate network of the edges by one bridging segment
  /// (appended to `edges`) and answers the faces of the linked net.
  WEFaceArray unifyEdgeArray(R3CurveArray& edges) const;
  static bool verifySegmentsAreInteriorDisjoint(const R3CurveArray& arcs);
  /// The direction of the quadrature frame, farthest from the face's edge directions.
  double rotationAngleForQuadratureFrameOnFace(const WEFacePtr& face) const;
  /// A product Gauss rule (3 × 3 per strip) over a face; empty for a negative face.
  NodeAndWeightArray nodeAndWeightArrayForFace(const WEFacePtr& face) const override;

 private:
  /// The plane through p containing direction d and the normal.
  std::shared_ptr<R3Plane> cuttingPlane(const XYZValue& p, const foundation::XYZ& d) const;
  std::shared_ptr<const R3Plane> m_plane;
  foundation::XYZ m_x{}, m_y{}, m_z{};
};

/// g(k) = Σ h(j)·w(k − j) with w(0) = n and w(m) = 1/(distance m around the circle): large
/// where the histogram is crowded. Status 0, 1 when work memory cannot be had, else the
/// FFT's failure code.
int inverseDistanceConvolution(int n, const double* h, double* g);

/// A scalar field along a line: t ↦ ρ(line(t)).
class LineFunctor : public foundation::Functor {
 public:
  LineFunctor(std::shared_ptr<const R3Line> line, std::shared_ptr<const R3ToR1Map> rho);
  double valueAt(double t) const override;

 private:
  std::shared_ptr<const R3Line> m_line;
  std::shared_ptr<const R3ToR1Map> m_rho;
};

}  // namespace orb::geometry
