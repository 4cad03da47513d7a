#include "lens/SurfaceParaxial.h"

namespace orb::lens {

const std::vector<std::string>& SurfaceParaxial::parameterTitleArray() const {
  static const std::vector<std::string> titles{"f"};
  return titles;
}

const platform::Dictionary& SurfaceParaxial::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"f", 100.0}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceParaxial::makeEmpty() const { return platform::makeObject<SurfaceParaxial>(); }

void SurfaceParaxial::parametersDidChange() {
  Surface::parametersDidChange();
  m_f = parameterValue("f").value_or(0);
}

void SurfaceParaxial::scaleByFactor(double f) {
  Surface::scaleByFactor(f);
  if (auto p = parameterForTitle("f")) p->scaleByFactor(f);
  parametersDidChange();
}

}  // namespace orb::lens
