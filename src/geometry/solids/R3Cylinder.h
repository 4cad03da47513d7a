#pragma once

#include "geometry/solids/R3Surface.h"

namespace orb::geometry {

class R3Ellipse;

/// A circular cylinder placed by a centre c on its axis and an orthonormal basis x, y of
/// its cross-section (axis z = x × y). A negative radius makes it inverted: the same
/// surface with the inside as its advancing side.
class R3Cylinder : public R3Surface {
 public:
  R3Cylinder(R3PointPtr center, R3PointPtr basisX, R3PointPtr basisY, double radius);
  static std::shared_ptr<R3Cylinder> cylinderWithCenter(R3PointPtr center, R3PointPtr basisX, R3PointPtr basisY,
                                                        double radius);

  std::string className() const override { return "R3Cylinder"; }
  std::string description() const override;

  const R3PointPtr& center() const { return m_c; }
  const R3PointPtr& director() const { return m_z; }
  const R3PointPtr& basisX() const { return m_x; }
  const R3PointPtr& basisY() const { return m_y; }
  double radius() const { return m_r; }

  R3PointPtr testPoint() const override;
  /// The radial direction over r: unit only on the surface, reversed when inverted.
  R3PointPtr normalForPoint(const XYZValue& p) const override;
  R3PointPtr closestPointToPoint(const XYZValue& p) const override;
  double distanceToPoint(const XYZValue& p) const override;
  bool advancingUponPoint(const XYZValue& p) const override;
  double momentForPoint(const XYZValue& p, const XYZValue& d) const;
  std::shared_ptr<R3Quadric> quadric() const override;
  std::shared_ptr<R3Plane> limbPlaneForProjectionPlane(const R3Plane& plane) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e, double w) const override;
  R3PointArray intersectionsWithCurve(const R3Curve& curve) const override;

  /// Crossings in the order (√D − β)/2α, (−β − √D)/2α; a tangent line or one parallel to
  /// the axis has none.
  R3PointArray intersectionsWithLine(const R3Line& line) const override;
  int getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const override;

  /// The section by a plane that crosses the axis; null for a plane parallel to it.
  std::shared_ptr<R3Ellipse> ellipseOfIntersectionWithPlane(const R3Plane& plane) const;
  /// The lines (zero, one or two) where a plane parallel to the axis meets the cylinder.
  R3CurveArray linesOfIntersectionWithParallelPlane(const R3Plane& plane) const;
  R3CurveArray intersectionsWithPlane(const R3Plane& plane) const;

 protected:
  void setRadius(double r) { m_r = r; }
  /// Local coordinates (u, v, w) of a point.
  foundation::XYZ local(const foundation::XYZ& p) const;
  int roots(const R3Line& line, double* t) const;

 private:
  R3PointPtr m_c, m_x, m_y, m_z;
  double m_r;
};

/// The cylinder x² + y² = r² about the z axis.
class R3CylinderZ : public R3Cylinder {
 public:
  explicit R3CylinderZ(double radius);
  /// Radius 0, for an unarchiver to fill in with initWithCoder.
  R3CylinderZ() : R3CylinderZ(0) {}
  static std::shared_ptr<R3CylinderZ> cylinderWithRadius(double radius);

  std::string className() const override { return "R3CylinderZ"; }
  /// Key "r" (negative for an inverted cylinder); a keyed coder only.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  std::string description() const override;
  /// The same surface as a general cylinder.
  std::shared_ptr<R3Cylinder> cylinder() const;
  bool advancingUponOrigin() const override { return radius() < 0; }
  std::shared_ptr<R3Plane> limbPlaneForProjectionPlane(const R3Plane& plane) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e, double w) const override;
  std::shared_ptr<PolarMap> polarMapForLocus(const R3PointPtr& locus) const override;
};

}  // namespace orb::geometry
