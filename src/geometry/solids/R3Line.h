#pragma once

#include "geometry/solids/R3Curve.h"
#include "geometry/values/DrawingSink.h"

namespace orb::geometry {

class R3CylinderZ;

/// The line q0 + t·director. Built from a point and a director it has no ends and takes
/// every parameter; built from two points it keeps them as q0 and q1 (director q1 − q0)
/// and clamps its nearest points to [0, 1]. The director is not normalised: its length is
/// the parameter scale.
class R3Line : public R3Curve {
 public:
  R3Line(R3PointPtr point, R3PointPtr director);
  R3Line(R3PointPtr q0, R3PointPtr q1, bool /*fromEnds*/);
  /// An empty line, for an unarchiver to fill in with initWithCoder.
  R3Line() = default;

  static std::shared_ptr<R3Line> lineWithPoint(R3PointPtr point, R3PointPtr director);
  static std::shared_ptr<R3Line> lineWithPoint(const foundation::XYZ& point, const foundation::XYZ& director);
  static std::shared_ptr<R3Line> lineWithLine(const R3Line& line);
  /// A line with ends at the two points.
  static std::shared_ptr<R3Line> lineWithStartingPoint(R3PointPtr q0, R3PointPtr q1);

  std::string className() const override { return "R3Line"; }
  /// The curve's keys and "director".
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  /// "%@ q0=%@ director=%@".
  std::string description() const override;
  std::string sortableDescription() const override;

  const R3PointPtr& director() const { return m_director; }
  /// The start and the director as plain records, for the surfaces' hot paths.
  const foundation::XYZ& start() const { return m_start; }
  const foundation::XYZ& directorXYZ() const { return m_d; }
  double directorLengthSquared() const { return m_dd; }
  foundation::XYZ pointAt(double t) const;

  R3PointPtr pointForParameter(double t) const override;
  double parameterForPoint(const XYZValue& p) const override;
  R3PointArray tangentPointsForLocus(const XYZValue&, const XYZValue&) const override { return {}; }
  /// The nearest point, clamped to the ends when the line has them.
  R3PointPtr closestPointToLocus(const XYZValue& p) const;
  double distanceToPoint(const XYZValue& p) const;
  /// +infinity for a line parallel to the plane.
  double parameterForIntersectionWithPlane(const R3Plane& plane) const;
  /// Where the line's carrier meets the plane (no clamping); null when parallel.
  virtual R3PointPtr intersectionWithPlane(const R3Plane& plane) const;
  R3PointArray intersectionsWithPlane(const R3Plane& plane) const override;
  /// Crossings with the cylinder x² + y² = r² about the z axis; a tangent line gives none.
  R3PointArray intersectionsWithCylinder(const R3CylinderZ& cylinder) const;
  R3CurveArray daughtersForFissionPoints(const R3PointArray& points) const override;
  R3CurveArray daughtersForSortedMilestones(const std::vector<PointAndParameter>& milestones) const;
  R3CurveArray daughtersForSortedParameters(const std::vector<double>& parameters) const;
  R3CurveArray daughtersForSortedParameters(const double* parameters, int count) const;
  /// The plane holding the line and parallel to D, as a degenerate quadric.
  std::shared_ptr<R3Quadric> quadricWithDirector(const XYZValue& D) const override;
  double momentForPoint(const XYZValue& p, const XYZValue& D) const override;
  bool closeEnoughToPoint(const XYZValue& p) const override { return distanceToPoint(p) < 1e-10; }

 private:
  void cache();
  R3PointPtr m_director;
  foundation::XYZ m_start{}, m_d{};
  double m_dd = 0;
};

/// The bounded piece of a line between two distinct points.
class R3LineSegment : public R3Line {
 public:
  /// Raises "R3LineSegment" / "Must have distinct endpoints" for equal ends.
  R3LineSegment(R3PointPtr q0, R3PointPtr q1);
  /// An empty segment, for an unarchiver to fill in with initWithCoder.
  R3LineSegment() = default;

  static std::shared_ptr<R3LineSegment> lineSegmentWithStartingPoint(R3PointPtr q0, R3PointPtr q1);
  /// From p − d to p + d.
  static std::shared_ptr<R3LineSegment> lineSegmentWithPoint(const R3PointPtr& p, const R3PointPtr& d);
  /// Point i to point i + 1, the last closing back to point 0.
  static std::vector<std::shared_ptr<R3LineSegment>> lineSegmentLoopWithPoints(const R3PointArray& points);
  /// Segments between consecutive input points, skipping pairs closer than tol on every axis.
  static R3CurveArray segmentsForPoints(const R3PointArray& points, double tol);
  static R3CurveArray segmentsForMilestones(const std::vector<PointAndParameter>& milestones, double tol);

  std::string className() const override { return "R3LineSegment"; }
  std::string description() const override;
  std::string sortableDescription() const override;

  R3CurvePtr regenerateWithStartingPoint(R3PointPtr a, R3PointPtr b) const override;
  R3PointPtr tangentForPoint(const XYZValue& p) const override;
  /// Null unless the crossing lies within [0, 1], ends included.
  R3PointPtr intersectionWithPlane(const R3Plane& plane) const override;
  /// The very end objects at 0 and 1.
  R3PointPtr pointForParameter(double t) const override;
  double parameterForPoint(const XYZValue& p) const override;
  /// Both ends moved along the plane's normal onto it; null when they meet.
  R3CurvePtr projectionOntoPlane(const R3Plane& plane) const override;
  void drawUsingOpenGL(DrawingSink& sink) const;
  R3CurveArray piecesForPoints(const R3PointArray& points, double tol) const;
  R3CurveArray daughtersForFissionPoints(const R3PointArray& points) const override;
  /// The parameter along `line` of its point nearest to this segment's carrier.
  double parameterForIntersectionWithLine(const R3Line& line) const override;
  R3CurvePtr embeddingCurve() const override;
};

}  // namespace orb::geometry
