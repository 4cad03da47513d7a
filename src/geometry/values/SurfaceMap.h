#pragma once

#include <memory>
#include <vector>

#include "geometry/values/R3Point.h"
#include "geometry/values/XYValue.h"

namespace orb::geometry {

/// Charts a surface around a point of it, its locus, onto a parameter plane. The base maps
/// the plane through the locus parallel to x-y, with the locus at the parameter origin;
/// the polar maps of cylinders, ellipsoids and planes override the four mappings.
class SurfaceMap {
 public:
  /// A map needs a locus: a null one raises NSInternalInconsistencyException.
  explicit SurfaceMap(std::shared_ptr<R3Point> locus);
  virtual ~SurfaceMap() = default;

  const std::shared_ptr<R3Point>& locus() const { return m_q0; }

  /// The parameter point of a 3-D point; the base ignores its z.
  virtual std::shared_ptr<XYValue> R2ForR3(const XYZValue& p) const;
  /// The 3-D point of a parameter point.
  virtual std::shared_ptr<R3Point> R3ForR2(const XYValue& u) const;
  /// Surface area per unit parameter area at u.
  virtual double surfaceElementSizeForR2(const XYValue& u) const;
  /// The 3-D tangent of a parameter-plane direction t at u.
  virtual std::shared_ptr<R3Point> tangentR3ForTangentR2(const XYValue& t, const XYValue& u) const;
  /// R2ForR3 of each point, in order.
  std::vector<std::shared_ptr<XYValue>> R2ArrayForR3Array(const std::vector<std::shared_ptr<XYZValue>>& points) const;

 private:
  std::shared_ptr<R3Point> m_q0;
};

}  // namespace orb::geometry
