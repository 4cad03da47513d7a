#pragma once

#include <cmath>

#include "geometry/solids/R3Curve.h"
#include "geometry/solids/VKThetaFinder.h"
#include "geometry/values/DrawingSink.h"

namespace orb::geometry {

/// The full ellipse P(θ) = c + u·cos θ + v·sin θ, u the semiminor and v the semimajor
/// axis vector (taken to be perpendicular). Its parameter s runs once around over [0, 1]
/// as θ = 2π·s + t0, from c − u (t0 = −π) unless a reference angle is set.
class R3Ellipse : public R3Curve {
 public:
  R3Ellipse(R3PointPtr c, R3PointPtr u, R3PointPtr v, R3PointPtr q0 = nullptr, R3PointPtr q1 = nullptr);
  /// An empty ellipse, for an unarchiver to fill in with initWithCoder.
  R3Ellipse() = default;

  static std::shared_ptr<R3Ellipse> ellipseWithCenter(R3PointPtr c, R3PointPtr u, R3PointPtr v);
  static std::shared_ptr<R3Ellipse> ellipseWithEllipse(const R3Ellipse& e);
  static R3PointPtr normalToPlaneContainingPoints(const XYZValue& a, const XYZValue& b, const XYZValue& c);
  /// Self-check, logged: the points of an ellipse whose tangent lines meet a given line;
  /// returns, for each, the component of its tangent along the normal of the plane that
  /// holds the line and the point (0 when the tangent meets the line).
  static std::vector<double> test();

  std::string className() const override { return "R3Ellipse"; }
  /// The curve's keys and "c", "u", "v"; decoding sets the reference angle back to −π.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  std::string description() const override;
  std::string sortableDescription() const override;

  const R3PointPtr& center() const { return m_c; }
  const R3PointPtr& semiminorAxis() const { return m_u; }
  const R3PointPtr& semimajorAxis() const { return m_v; }
  /// u × v normalised.
  R3PointPtr normal() const;
  std::shared_ptr<R3Plane> plane() const;
  /// Exact comparison of the squared axis lengths.
  bool isCircle() const { return m_uu == m_vv; }

  foundation::XYZ pointAt(double cosTheta, double sinTheta) const;
  R3PointPtr pointForCosTheta(double cosTheta, double sinTheta) const;
  R3PointPtr velocityWithRespectToAngleForCosTheta(double cosTheta, double sinTheta) const;
  R3PointPtr tangentForCosTheta(double cosTheta, double sinTheta) const;
  VKThetaFinder& thetaFinder() { return m_thetaFinder; }
  const VKThetaFinder& thetaFinder() const { return m_thetaFinder; }
  void setThetaFinder(const VKThetaFinder& finder) { m_thetaFinder = finder; }
  void setReferenceAngle(double angle) { m_t0 = angle; }
  double referenceAngle() const { return m_t0; }

  R3PointPtr pointForAngle(double theta) const;
  double angleForPoint(const XYZValue& p) const;
  virtual double angleForParameter(double s) const;
  virtual double parameterForAngle(double theta) const;
  double angleParameterDerivative() const { return 2 * M_PI; }

  R3PointPtr pointForParameter(double s) const override;
  double parameterForPoint(const XYZValue& p) const override;
  /// Where the plane crosses the ellipse: two points, one where it touches, or none.
  R3PointArray intersectionsWithPlane(const R3Plane& plane) const override;
  R3PointPtr tangentForPoint(const XYZValue& p) const override;
  R3PointPtr velocityWithRespectToParameterForPoint(const XYZValue& p) const;
  /// The points whose tangent line meets the given line.
  virtual R3PointArray pointsTangentToLine(const R3Line& line) const;
  R3PointArray pointsTangentToVector(const XYZValue& D, const XYZValue& p) const;
  /// The two points whose tangent is perpendicular to D.
  virtual R3PointArray pointsWhereTangentIsOrthogonalToDirection(const XYZValue& D) const;
  R3CurveArray daughtersForFissionPoints(const R3PointArray& points) const override;
  bool closeEnoughToPoint(const XYZValue& p) const override;
  /// Negative when the ray from p along D passes inside the ellipse, 0 on it, positive
  /// outside; +infinity when the ray does not reach the ellipse's plane from its back.
  double momentForPoint(const XYZValue& p, const XYZValue& D) const override;
  double parameterForIntersectionWithLine(const R3Line& line) const override;
  /// The cone through the ellipse with its apex at the point (nine doubles); raises when
  /// the apex lies in the ellipse's plane.
  void getQuadricConeMatrix(double* matrix, const XYZValue& apex) const;
  double valueForQuadricConeAtPoint(const XYZValue& x, const XYZValue& apex) const;
  R3PointArray tangentPointsForLocus(const XYZValue& locus, const XYZValue& axis) const override;
  R3PointPtr closestPointToLocus(const XYZValue& p) const;
  /// The elliptic cylinder through the ellipse along its normal (D is not consulted).
  std::shared_ptr<R3Quadric> quadricWithDirector(const XYZValue& D) const override;
  /// The ellipse projected along the plane's normal onto it.
  R3CurvePtr projectionOntoPlane(const R3Plane& plane) const override;
  void drawUsingOpenGL(DrawingSink& sink) const;

 protected:
  foundation::XYZ cosSin(const XYZValue& p) const;  // (cos, sin, 0) of a point

  double m_t0 = -M_PI;
  R3PointPtr m_c, m_u, m_v;
  double m_uu = 0, m_vv = 0;
  VKThetaFinder m_thetaFinder;
};

/// An arc of an ellipse from q0 to q1 counter-clockwise about u × v, parameter 0 at q0 and
/// 1 at q1; an arc whose ends coincide is the full turn.
class R3EllipseSegment : public R3Ellipse {
 public:
  R3EllipseSegment(R3PointPtr c, R3PointPtr u, R3PointPtr v, R3PointPtr q0, R3PointPtr q1);
  /// An empty arc, for an unarchiver to fill in with initWithCoder.
  R3EllipseSegment() = default;

  static std::shared_ptr<R3EllipseSegment> ellipseSegmentWithCenter(R3PointPtr c, R3PointPtr u, R3PointPtr v,
                                                                    R3PointPtr q0, R3PointPtr q1);
  static std::shared_ptr<R3EllipseSegment> ellipseSegmentWithEllipse(const R3Ellipse& e, R3PointPtr q0, R3PointPtr q1);
  /// Arcs between consecutive points, in order.
  static R3CurveArray daughtersOfEllipse(const R3Ellipse& e, const R3PointArray& points);
  static R3PointPtr areaVectorOfTriangleWithVertices(const XYZValue& a, const XYZValue& b, const XYZValue& c);

  std::string className() const override { return "R3EllipseSegment"; }
  /// The ellipse's decoding (ends included), then the arc's angle window.
  void initWithCoder(const platform::Coder& coder) override;
  std::string description() const override;
  std::string sortableDescription() const override;

  double endAngle() const { return m_t1; }
  R3CurveArray daughtersForFissionPoints(const R3PointArray& points) const override;
  R3CurvePtr regenerateWithStartingPoint(R3PointPtr a, R3PointPtr b) const override;
  R3CurvePtr projectionOntoPlane(const R3Plane& plane) const override;
  double angleForParameter(double s) const override;
  double parameterForAngle(double theta) const override;
  R3PointArray pointsTangentToLine(const R3Line& line) const override;
  R3PointArray intersectionsWithPlane(const R3Plane& plane) const override;
  R3PointArray pointsWhereTangentIsOrthogonalToDirection(const XYZValue& D) const override;
  R3PointPtr sectorAreaVector() const;
  double sectorArea() const;
  /// The area vector of the region between the arc and its chord.
  R3PointPtr segmentAreaVector() const override;
  double segmentArea() const override { return segmentAreaVector()->abs(); }
  /// The full ellipse, without ends.
  std::shared_ptr<R3Ellipse> ellipse() const;
  R3CurvePtr embeddingCurve() const override { return ellipse(); }

 private:
  void activateThetaFinder();
  double m_t1 = 0;
};

}  // namespace orb::geometry
