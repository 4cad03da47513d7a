#pragma once

#include "geometry/solids/R3Surface.h"

namespace orb::geometry {

/// The plane a·x + b·y + c·z = d. (a, b, c) points to the advancing side, where
/// a·x + b·y + c·z − d > 0; it need not be of unit length.
///
/// Planes are equal when their four coefficients are exactly equal, and hash alike then,
/// so that nearly coincident walls of a solid stay distinct (coincidesWithPlane is the
/// tolerant test).
class R3Plane : public R3Surface {
 public:
  R3Plane(double a, double b, double c, double d);
  /// The plane 0 = 0, for an unarchiver to fill in with initWithCoder.
  R3Plane() : R3Plane(0, 0, 0, 0) {}

  static std::shared_ptr<R3Plane> planeWithCoefficients(double a, double b, double c, double d);
  static std::shared_ptr<R3Plane> planeWithPlane(const R3Plane& plane);
  static std::shared_ptr<R3Plane> planeWithNormal(const XYZValue& n, const XYZValue& p);
  /// The plane scaled by s about the origin, then moved by t.
  static std::shared_ptr<R3Plane> planeWithCoefficients(double a, double b, double c, double d, double s,
                                                        const foundation::XYZ& t);

  std::string className() const override { return "R3Plane"; }
  /// Keys "a", "b", "c", "d"; a keyed coder only ("Require NSKeyedArchiver").
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  /// "Plane[%g,%g,%g,%g]", for people.
  std::string description() const override;
  /// The coefficients to the last bit ("%.17g"): the key that identifies the plane.
  std::string exactDescription() const;
  bool isEqualTo(const platform::Object& other) const override;
  std::size_t hash() const override { return m_hash; }

  double a() const { return m_a; }
  double b() const { return m_b; }
  double c() const { return m_c; }
  double d() const { return m_d; }
  PlaneEquation equation() const { return {m_a, m_b, m_c, m_d}; }

  /// The unit normal; raises "R3Plane requires nontrivial normal" when (a, b, c) is zero.
  const R3PointPtr& normal() const;
  R3PointPtr normalForPoint(const XYZValue&) const override { return normal(); }
  /// a·x + b·y + c·z − d, not divided by the normal's length.
  double freedomForPoint(const XYZValue& p) const;
  bool advancingUponPoint(const XYZValue& p) const override { return freedomForPoint(p) > 0; }
  bool notAdvancingUponPoint(const XYZValue& p) const { return freedomForPoint(p) < 0; }
  bool advancingUponOrigin() const override { return m_d < 0; }
  double distanceToPoint(const XYZValue& p) const override;
  R3PointPtr closestPointToPoint(const XYZValue& p) const override;
  R3PointPtr closestPointToOrigin() const;
  R3PointPtr testPoint() const override { return closestPointToOrigin(); }
  SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;
  /// The same plane up to scale and orientation.
  bool coincidesWithPlane(const R3Plane& other) const;
  std::shared_ptr<R3Quadric> quadric() const override;
  std::shared_ptr<PolarMap> polarMapForLocus(const R3PointPtr& locus) const override;

  /// A line parallel to the plane (|n·v| ≤ 1e-10) has no crossing; a segment is taken as
  /// its whole line.
  R3PointArray intersectionsWithLine(const R3Line& line) const override;
  std::vector<double> intersectionParametersForLine(const R3Line& line) const override;
  /// Writes its one parameter whatever the capacity: callers pass at least 1.
  int getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const override;
  R3PointArray intersectionsWithCurve(const R3Curve& curve) const override;
  /// Where the two planes meet, through the point nearest the origin along n̂₁ × n̂₂;
  /// null for parallel planes.
  std::shared_ptr<R3Line> lineOfIntersectionWithPlane(const R3Plane& other) const;

 private:
  std::optional<double> lineParameter(const R3Line& line) const;
  void setCoefficients(double a, double b, double c, double d);
  double m_a, m_b, m_c, m_d;
  R3PointPtr m_normal;  // null for a zero normal
  std::size_t m_hash;
};

}  // namespace orb::geometry
