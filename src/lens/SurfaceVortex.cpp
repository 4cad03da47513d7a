#include "lens/SurfaceVortex.h"

#include "platform/Log.h"

namespace orb::lens {

const std::vector<std::string>& SurfaceVortex::parameterTitleArray() const {
  static const std::vector<std::string> titles{"pitch"};
  return titles;
}

const platform::Dictionary& SurfaceVortex::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"pitch", 0.3}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceVortex::makeEmpty() const { return platform::makeObject<SurfaceVortex>(); }

void SurfaceVortex::parametersDidChange() {
  Surface::parametersDidChange();
  m_pitch = parameterValue("pitch").value_or(0);
}

void SurfaceVortex::scaleByFactor(double f) {
  Surface::scaleByFactor(f);
  if (auto p = parameterForTitle("pitch")) p->scaleByFactor(f);
  parametersDidChange();
}

std::string_view SurfaceVortex::pusherName() const {
  if (debugLogging()) platform::log("using planar pusher");
  return "Pusher";
}

geometry::SurfaceTaylorExpansion SurfaceVortex::taylorExpansionAtPosition(const foundation::XYZ& p) const {
  if (debugLogging()) platform::log("pitch = %g", m_pitch);
  geometry::SurfaceTaylorExpansion e{};
  const double r2 = p.x * p.x + p.y * p.y;
  if (r2 > 1e-20) {
    e.gx = -m_pitch * p.y / r2;
    e.gy = m_pitch * p.x / r2;
  }
  e.gz = -1;
  return e;
}

}  // namespace orb::lens
