#pragma once

#include <memory>
#include <string>
#include <vector>

#include "geometry/values/XYZValue.h"

namespace orb::geometry {

/// The plane a·x + b·y + c·z = d, as a plane of 3-space answers it.
struct PlaneEquation {
  double a, b, c, d;
};

/// A point of 3-space: an XYZValue with projections onto planes and a few named points.
class R3Point : public XYZValue {
 public:
  using XYZValue::XYZValue;

  static std::shared_ptr<R3Point> pointWithDoubles(double x, double y, double z);
  static std::shared_ptr<R3Point> pointWithDoubles(const double* xyz);
  static std::shared_ptr<R3Point> pointWithXYZ(const foundation::XYZ& v);
  static std::shared_ptr<R3Point> origin();
  static std::shared_ptr<R3Point> xAxis();
  static std::shared_ptr<R3Point> yAxis();
  static std::shared_ptr<R3Point> zAxis();
  /// The component-wise mean; 0/0 components for no points.
  static std::shared_ptr<R3Point> averageOfPoints(const std::vector<std::shared_ptr<XYZValue>>& points);

  std::shared_ptr<XYZValue> withComponents(double x, double y, double z) const override;

  /// "(%.2f,%.2f,%.2f)".
  std::string description() const override;
  /// "(%.15e,%.15e,%.15e)".
  std::string preciseDescription() const;
  std::string className() const override { return "R3Point"; }

  /// The foot of the perpendicular onto the plane; the point itself (a copy) when the
  /// plane's normal (a, b, c) is zero.
  std::shared_ptr<R3Point> projectionOntoPlane(const PlaneEquation& plane) const;
  /// Where the ray from the origin through the point meets the plane: the point scaled by
  /// d / (a·x + b·y + c·z), unchecked (infinite or NaN when the ray is parallel to it).
  std::shared_ptr<R3Point> radialProjectionOntoPlane(const PlaneEquation& plane) const;
  /// A unit vector perpendicular to the point taken as a vector: its cross product with
  /// the axis of its smallest component (ties: x before y before z).
  std::shared_ptr<R3Point> orthogonalUnitVector() const;
};

}  // namespace orb::geometry
