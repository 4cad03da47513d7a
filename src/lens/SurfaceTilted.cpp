#include "lens/SurfaceTilted.h"

#include <cmath>

namespace orb::lens {

const std::vector<std::string>& SurfaceTilted::parameterTitleArray() const {
  static const std::vector<std::string> titles{"tiltX", "tiltY"};
  return titles;
}

std::shared_ptr<Surface> SurfaceTilted::makeEmpty() const { return platform::makeObject<SurfaceTilted>(); }

void SurfaceTilted::parametersDidChange() {
  Surface::parametersDidChange();
  m_tiltX = parameterValue("tiltX").value_or(0);
  m_tiltY = parameterValue("tiltY").value_or(0);
}

foundation::XYZ SurfaceTilted::surfaceNormalAtQ(const foundation::XY&) const {
  const double l = std::sqrt(m_tiltX * m_tiltX + m_tiltY * m_tiltY + 1);
  return {-m_tiltX / l, -m_tiltY / l, 1 / l};
}

geometry::SurfaceTaylorExpansion SurfaceTilted::taylorExpansionAtPosition(const foundation::XYZ&) const {
  return geometry::SurfaceTaylorExpansion{m_tiltX, m_tiltY, -1, 0, 0, 0, 0, 0, 0};
}

}  // namespace orb::lens
