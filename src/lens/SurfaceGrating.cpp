#include "lens/SurfaceGrating.h"

#include <numbers>

namespace orb::lens {

const std::vector<std::string>& SurfaceGrating::parameterTitleArray() const {
  static const std::vector<std::string> titles{"T", "m"};
  return titles;
}

const platform::Dictionary& SurfaceGrating::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"m", 1.0}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceGrating::makeEmpty() const { return platform::makeObject<SurfaceGrating>(); }

void SurfaceGrating::parametersDidChange() {
  Surface::parametersDidChange();
  // Lines per micron become lines per millimetre (× 1000); 2π per line.
  m_phaseGradient = 2000 * std::numbers::pi * parameterValue("m").value_or(0) * parameterValue("T").value_or(0);
}

geometry::SurfaceTaylorExpansion SurfaceGrating::phaseTaylorExpansionAtPosition(const foundation::XYZ&) const {
  geometry::SurfaceTaylorExpansion t{};
  t.gy = m_phaseGradient;
  return t;
}

}  // namespace orb::lens
