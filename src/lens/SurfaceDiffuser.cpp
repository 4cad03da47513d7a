#include "lens/SurfaceDiffuser.h"

#include <cmath>
#include <numbers>

#include "foundation/minimise/MersenneTwister.h"

namespace orb::lens {

const std::vector<std::string>& SurfaceDiffuser::parameterTitleArray() const {
  static const std::vector<std::string> titles{"fwhm"};
  return titles;
}

const platform::Dictionary& SurfaceDiffuser::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"fwhm", 5.0}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceDiffuser::makeEmpty() const { return platform::makeObject<SurfaceDiffuser>(); }

void SurfaceDiffuser::parametersDidChange() {
  Surface::parametersDidChange();
  m_fwhm = parameterValue("fwhm").value_or(0);
}

void SurfaceDiffuser::randomizePhaseGradients() const {
  // Box–Muller on the shared generator; u1 is kept off 0, whose logarithm is infinite.
  double u1 = foundation::mersenneTwisterRandom();
  const double u2 = foundation::mersenneTwisterRandom();
  if (u1 <= 0) u1 = 1e-300;
  const double radius = std::sqrt(-2 * std::log(u1)), angle = 2 * std::numbers::pi * u2;
  const double scale = m_fwhm * 78.2;
  m_gx = radius * std::cos(angle) * scale;
  m_gy = radius * std::sin(angle) * scale;
}

}  // namespace orb::lens
