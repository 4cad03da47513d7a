#include "geometry/values/SurfaceMap.h"

#include "platform/Exception.h"

namespace orb::geometry {

SurfaceMap::SurfaceMap(std::shared_ptr<R3Point> locus) : m_q0(std::move(locus)) {
  if (!m_q0) throw platform::Exception("NSInternalInconsistencyException", "a surface map needs a locus");
}

std::shared_ptr<XYValue> SurfaceMap::R2ForR3(const XYZValue& p) const {
  return XYValue::valueWithDoubles(p.x() - m_q0->x(), p.y() - m_q0->y());
}

std::shared_ptr<R3Point> SurfaceMap::R3ForR2(const XYValue& u) const {
  return R3Point::pointWithDoubles(u.x() + m_q0->x(), u.y() + m_q0->y(), m_q0->z());
}

double SurfaceMap::surfaceElementSizeForR2(const XYValue&) const { return 1.0; }

std::shared_ptr<R3Point> SurfaceMap::tangentR3ForTangentR2(const XYValue& t, const XYValue&) const {
  return R3Point::pointWithDoubles(t.x(), t.y(), 0);
}

std::vector<std::shared_ptr<XYValue>> SurfaceMap::R2ArrayForR3Array(
    const std::vector<std::shared_ptr<XYZValue>>& points) const {
  std::vector<std::shared_ptr<XYValue>> out;
  out.reserve(points.size());
  for (const auto& p : points) out.push_back(R2ForR3(*p));
  return out;
}

}  // namespace orb::geometry
