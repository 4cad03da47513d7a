#pragma once

#include "geometry/solids/R3Surface.h"

namespace orb::geometry {

class R3Ellipse;

/// An ellipsoid placed by a centre and three mutually orthogonal semi-axis vectors u, v, w.
/// Line intersections go through its quadric (order and end rules of R3Quadric); limbs
/// and plane sections are ellipses, and a section that does not exist raises
/// "R3Ellipsoid" / "EllipsoidLimb failed".
class R3Ellipsoid : public R3Surface {
 public:
  R3Ellipsoid(R3PointPtr center, R3PointPtr u, R3PointPtr v, R3PointPtr w);

  static std::shared_ptr<R3Ellipsoid> ellipsoidWithCenter(R3PointPtr center, R3PointPtr u, R3PointPtr v,
                                                          R3PointPtr w);
  static std::shared_ptr<R3Ellipsoid> ellipsoidWithRadii(double a, double b, double c);
  static std::shared_ptr<R3Ellipsoid> unitSphere();
  static std::shared_ptr<R3Ellipsoid> unitSphereWithCenter(R3PointPtr center);
  static std::shared_ptr<R3Ellipsoid> sphereWithCenter(R3PointPtr center, double r);
  static std::shared_ptr<R3Ellipsoid> sphereWithRadius(double r);

  std::string className() const override { return "R3Ellipsoid"; }
  std::string description() const override;

  const R3PointPtr& center() const { return m_center; }
  const R3PointPtr& u() const { return m_u; }
  const R3PointPtr& v() const { return m_v; }
  const R3PointPtr& w() const { return m_w; }

  R3PointPtr testPoint() const override;
  R3PointPtr normalForPoint(const XYZValue& p) const override;
  bool advancingUponPoint(const XYZValue& p) const override;
  std::shared_ptr<R3Quadric> quadric() const override;
  R3PointArray intersectionsWithLine(const R3Line& line) const override;
  std::vector<double> intersectionParametersForLine(const R3Line& line) const override;
  int getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const override;
  std::shared_ptr<R3Plane> limbPlaneForProjectionPlane(const R3Plane& plane) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e, double w) const override;
  /// The nearest surface point; a point inside or on the ellipsoid is its own.
  R3PointPtr closestPointToPoint(const XYZValue& p) const override;
  std::shared_ptr<PolarMap> polarMapForLocus(const R3PointPtr& locus) const override;

  std::shared_ptr<R3Ellipse> limbForProjectionPlane(const R3Plane& plane) const;
  std::shared_ptr<R3Ellipse> limbForObservationPoint(const XYZValue& e) const;
  std::shared_ptr<R3Ellipse> limbForObservationPoint(const XYZValue& e, double w) const;
  std::shared_ptr<R3Ellipse> ellipseOfIntersectionWithPlane(const R3Plane& plane) const;

 private:
  foundation::XYZ local(const foundation::XYZ& p) const;
  foundation::XYZ localDirection(const foundation::XYZ& d) const;
  std::shared_ptr<R3Ellipse> section(const foundation::XYZ& pole, double h) const;

  R3PointPtr m_center, m_u, m_v, m_w;
  double m_a, m_b, m_c;
  bool m_inverted = false;
};

/// The axis-aligned ellipsoid x²/a² + y²/b² + z²/c² = 1.
class R3EllipsoidAA : public R3Surface {
 public:
  R3EllipsoidAA(double a, double b, double c) : m_a(a), m_b(b), m_c(c) {}
  static std::shared_ptr<R3EllipsoidAA> ellipsoidWithRadii(double a, double b, double c);
  static std::shared_ptr<R3EllipsoidAA> unitSphere() { return ellipsoidWithRadii(1, 1, 1); }

  std::string className() const override { return "R3EllipsoidAA"; }
  std::string description() const override;
  double a() const { return m_a; }
  double b() const { return m_b; }
  double c() const { return m_c; }
  std::shared_ptr<R3Ellipsoid> ellipsoid() const;

  R3PointPtr testPoint() const override;
  R3PointPtr normalForPoint(const XYZValue& p) const override;
  bool advancingUponPoint(const XYZValue& p) const override;
  bool advancingUponOrigin() const override { return m_inverted; }
  std::shared_ptr<R3Quadric> quadric() const override;
  R3PointArray intersectionsWithLine(const R3Line& line) const override;
  std::vector<double> intersectionParametersForLine(const R3Line& line) const override;
  int getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const override;
  std::shared_ptr<R3Plane> limbPlaneForProjectionPlane(const R3Plane& plane) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e) const override;
  R3PointPtr closestPointToPoint(const XYZValue& p) const override;
  /// diag(1/a², 1/b², 1/c²) and the position as the offset.
  void getCurvatureMatrix(double* matrix, double* offset, const foundation::XYZ& position) const;

  std::shared_ptr<R3Ellipse> limbForProjectionPlane(const R3Plane& plane) const;
  std::shared_ptr<R3Ellipse> ellipseOfIntersectionWithPlane(const R3Plane& plane) const;

 private:
  std::shared_ptr<R3Ellipse> section(const foundation::XYZ& pole, double h) const;
  double m_a, m_b, m_c;
  bool m_inverted = false;
};

}  // namespace orb::geometry
