#include "geometry/solids/PointCoalescer.h"

#include <cmath>

namespace orb::geometry {

using foundation::XYZ;

long PointCoalescer::find(const XYZ& p, bool eitherSign) const {
  const double tol = m_tol;
  for (std::size_t i = 0; i < m_coordinates.size(); ++i) {
    const XYZ& m = m_coordinates[i];
    if (std::fabs(m.x - p.x) < tol && std::fabs(m.y - p.y) < tol && std::fabs(m.z - p.z) < tol) return long(i);
    if (eitherSign && std::fabs(m.x + p.x) < tol && std::fabs(m.y + p.y) < tol && std::fabs(m.z + p.z) < tol)
      return long(i);
  }
  return -1;
}

void PointCoalescer::append(const std::shared_ptr<XYZValue>& p) {
  m_masterPointArray.push_back(p);
  m_coordinates.push_back(p->xyz());
}

std::shared_ptr<XYZValue> PointCoalescer::coalescePoint(const std::shared_ptr<XYZValue>& p, bool add) {
  if (!p) return nullptr;
  for (const auto& m : m_masterPointArray)
    if (m == p) return p;
  const long i = find(p->xyz(), false);
  if (i >= 0) return m_masterPointArray[std::size_t(i)];
  if (add) append(p);
  return p;
}

std::shared_ptr<XYZValue> PointCoalescer::addPoint(const std::shared_ptr<XYZValue>& p) {
  return coalescePoint(p, true);
}

std::vector<std::shared_ptr<XYZValue>> PointCoalescer::addPointsInArray(
    const std::vector<std::shared_ptr<XYZValue>>& points) {
  std::vector<std::shared_ptr<XYZValue>> out;
  out.reserve(points.size());
  for (const auto& p : points) out.push_back(addPoint(p));
  return out;
}

std::shared_ptr<XYZValue> UnorientedCoalescer::addPoint(const std::shared_ptr<XYZValue>& p) {
  if (!p) return nullptr;
  const long i = find(p->xyz(), true);
  if (i >= 0) return pointArray()[std::size_t(i)];
  append(p);
  return p;
}

}  // namespace orb::geometry
