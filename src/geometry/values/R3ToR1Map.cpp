#include "geometry/values/R3ToR1Map.h"

namespace orb::geometry {

double R3ToR1Map::valueAt(const foundation::XYZ&) const { return 0; }

double R3ToR1MapInnerProduct::valueAt(const foundation::XYZ& p) const {
  const foundation::XYZ a = m_firstFunction->valueAt(p), b = m_secondFunction->valueAt(p);
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

foundation::XYZ R3ToR3Map::valueAt(const foundation::XYZ&) const { return {0, 0, 0}; }

}  // namespace orb::geometry
