#include "geometry/solids/VKThetaFinder.h"

#include <cmath>

namespace orb::geometry {

double VKThetaFinder::angleForDoubles(double x, double y) const {
  if (!m_activated) return std::atan2(y, x);
  return std::atan2(m_mts * x + m_mtt * y, m_mss * x + m_mst * y) + m_thetaOffset;
}

void VKThetaFinder::setThetaCut(double cut, double ref) {
  // Rotate so that the cut direction lands on atan2's branch cut (the −x axis).
  m_mss = -std::cos(cut), m_mst = -std::sin(cut);
  m_mts = std::sin(cut), m_mtt = -std::cos(cut);
  const double x = std::cos(ref), y = std::sin(ref);
  m_thetaOffset = ref - std::atan2(m_mts * x + m_mtt * y, m_mss * x + m_mst * y);
  m_activated = true;
}

double VKThetaFinder::valueAt(double t) const { return angleForDoubles(std::cos(t), std::sin(t)); }

}  // namespace orb::geometry
