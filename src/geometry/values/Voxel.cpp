#include "geometry/values/Voxel.h"

#include <algorithm>

#include "geometry/values/GeometryDebug.h"
#include "platform/Log.h"

namespace orb::geometry {

using foundation::XYZ;

XYZ subcellDisplacementSignsForIndex(int i) {
  if (i < 0 || i > 7) return {0, 0, 0};
  return {(i & 1) ? -1.0 : 1.0, (i & 2) ? -1.0 : 1.0, (i & 4) ? -1.0 : 1.0};
}

Voxel Voxel::voxelWithVoxel(const Voxel* other) {
  Voxel v = other ? *other : Voxel();
  if (debugOutput()) platform::log("from voxel, center = %e, %e, %e", v.m_center.x, v.m_center.y, v.m_center.z);
  return v;
}

Voxel Voxel::voxelEnclosingExtents(const BoxProtocol& b) {
  const XYZ c{(b.xMin() + b.xMax()) / 2, (b.yMin() + b.yMax()) / 2, (b.zMin() + b.zMax()) / 2};
  const double r = 0.5 * std::max({b.xMax() - b.xMin(), b.yMax() - b.yMin(), b.zMax() - b.zMin()});
  return Voxel(c, r);
}

double Voxel::volumeInUnitsOf(double u) const {
  const double side = 2 * m_inscribedRadius / u;
  return side * side * side;
}

XYZ Voxel::cornerWithIndex(int i) const {
  if (i < 0 || i > 7) return {0, 0, 0};
  const XYZ s = subcellDisplacementSignsForIndex(i);
  const double r = m_inscribedRadius;
  return {m_center.x + s.x * r, m_center.y + s.y * r, m_center.z + s.z * r};
}

bool Voxel::containsPoint(const XYZ& p) const {
  return xMin() < p.x && p.x < xMax() && yMin() < p.y && p.y < yMax() && zMin() < p.z && p.z < zMax();
}

}  // namespace orb::geometry
