#include "lens/SurfaceParaxialXY.h"

namespace orb::lens {

const std::vector<std::string>& SurfaceParaxialXY::parameterTitleArray() const {
  static const std::vector<std::string> titles{"powerX", "powerY"};
  return titles;
}

const platform::Dictionary& SurfaceParaxialXY::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"powerX", 0.0}, {"powerY", 0.01}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceParaxialXY::makeEmpty() const { return platform::makeObject<SurfaceParaxialXY>(); }

void SurfaceParaxialXY::scaleByFactor(double k) {
  Surface::scaleByFactor(k);
  for (const char* title : {"powerX", "powerY"})
    if (auto p = parameterForTitle(title)) p->scaleByFactor(1 / k);
  parametersDidChange();
}

const std::vector<std::string>& SurfaceParaxialFlyEye::parameterTitleArray() const {
  static const std::vector<std::string> titles{"f", "dx", "dy", "nx", "ny"};
  return titles;
}

const platform::Dictionary& SurfaceParaxialFlyEye::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"f", 42.0}, {"dx", 3.0}, {"dy", 4.0}, {"nx", 13.0}, {"ny", 10.0}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceParaxialFlyEye::makeEmpty() const {
  return platform::makeObject<SurfaceParaxialFlyEye>();
}

void SurfaceParaxialFlyEye::scaleByFactor(double k) {
  SurfaceParaxial::scaleByFactor(k);
  for (const char* title : {"dx", "dy"})
    if (auto p = parameterForTitle(title)) p->scaleByFactor(k);
  parametersDidChange();
}

}  // namespace orb::lens
