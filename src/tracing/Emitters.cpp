#include "tracing/Emitters.h"

#include <cmath>
#include <numbers>

#include "foundation/minimise/MersenneTwister.h"
#include "foundation/objects/TransformationMatrix.h"
#include "lens/Aperture.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/ArchiveRegistry.h"
#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/Thread.h"
#include "tracing/OBBeam.h"

namespace orb::tracing {

using foundation::XYZ;
using platform::Value;

namespace {
double uniform() { return foundation::mersenneTwisterRandom(); }
}  // namespace

std::vector<Ray> RayEmission::randomRaysWithCount(std::size_t count) const {
  std::vector<Ray> rays;
  if (count == 0) return rays;
  const auto surface = std::dynamic_pointer_cast<lens::Surface>(this->surface());
  if (!surface) return rays;
  const auto wave = this->wave();
  const auto medium = surface->medium();
  const double n = medium ? medium->indexOfRefractionAtWavelengthInMicrons(wave->wavelengthInMicrons()) : 1.0;
  const auto& M = surface->transform().localToGlobalCoordinateTransformationMatrix();
  rays.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (platform::currentThreadIsCancelled()) break;
    XYZ q{0, 0, 0}, p{0, 0, 0};
    drawRay(n, *surface, q, p);
    if (surface->reflected()) p.z = -p.z;
    // A zero momentum (an index of 0) has no direction: the ray stands still, dead.
    Ray r = (p.x == 0 && p.y == 0 && p.z == 0) ? Ray(foundation::applyToPoint(M, q), XYZ{0, 0, 1}, 0.0)
                                               : Ray::rayWithPosition(foundation::applyToPoint(M, q),
                                                                      foundation::applyToDirection(M, p), n);
    r.setIsAlive(false);
    r.setEmitter(surface.get());
    r.setWave(wave);
    rays.push_back(std::move(r));
  }
  return rays;
}

// --- Lambertian -----------------------------------------------------------------------------

std::shared_ptr<lens::Emission> LambertianEmission::makeEmpty() const {
  return platform::makeObject<LambertianEmission>();
}

void LambertianEmission::drawRay(double n, const lens::Surface& surface, XYZ& q, XYZ& p) const {
  const double na = numericalAperture();
  const double rhoMax = na * na <= n * n ? std::abs(na) : std::abs(n);
  const auto& aperture = surface.apertureObject();
  if (aperture && aperture->canGenerateRandomPoint()) {
    const auto xy = aperture->randomPointInAperture();
    q = XYZ{xy.x, xy.y, 0};
  } else {
    const double s = surface.semidiameter();
    double a, b;
    do {
      a = 2 * uniform() - 1;
      b = 2 * uniform() - 1;
    } while (a * a + b * b > 1);
    q = XYZ{a * s, b * s, 0};
  }
  const double r2 = rhoMax * rhoMax * uniform();
  const double phi = 2 * std::numbers::pi * uniform();
  const double r = std::sqrt(r2);
  p = XYZ{r * std::cos(phi), r * std::sin(phi), std::sqrt(std::max(0.0, n * n - r2))};
}

// --- Diode bar ------------------------------------------------------------------------------

void SLDEmission::setBandwidthInNanometers(double v) { setAndAnnounce("bandwidthInNanometers", m_bandwidth, v); }
void SLDEmission::setWx(double v) { setAndAnnounce("wx", m_wx, v); }
void SLDEmission::setWy(double v) { setAndAnnounce("wy", m_wy, v); }
void SLDEmission::setWpx(double v) { setAndAnnounce("wpx", m_wpx, v); }
void SLDEmission::setWpy(double v) { setAndAnnounce("wpy", m_wpy, v); }

std::vector<std::string> SLDEmission::informationExportKeys() const {
  auto keys = Emission::informationExportKeys();
  for (const char* k : {"bandwidthInNanometers", "wx", "wy", "wpx", "wpy"}) keys.push_back(k);
  return keys;
}

std::string SLDEmission::description() const {
  return platform::format("%s(%gnm)", Emission::description().c_str(), wavelengthInNanometers());
}

std::string SLDEmission::emissionDescription() const {
  return platform::format("wavelength %g+/-%gnm", wavelengthInNanometers(), m_bandwidth);
}

std::shared_ptr<lens::Emission> SLDEmission::makeEmpty() const { return platform::makeObject<SLDEmission>(); }

void SLDEmission::encodeWithCoder(platform::Coder& coder) const {
  Emission::encodeWithCoder(coder);
  coder.encodeDouble("wx", m_wx);
  coder.encodeDouble("wy", m_wy);
  coder.encodeDouble("wpx", m_wpx);
  coder.encodeDouble("wpy", m_wpy);
}

void SLDEmission::initWithCoder(const platform::Coder& coder) {
  Emission::initWithCoder(coder);
  setWx(coder.decodeDouble("wx"));
  setWy(coder.decodeDouble("wy"));
  setWpx(coder.decodeDouble("wpx"));
  setWpy(coder.decodeDouble("wpy"));
}

void SLDEmission::drawRay(double n, const lens::Surface& surface, XYZ& q, XYZ& p) const {
  // 0.424661 turns a full width at half maximum into a standard deviation.
  q = XYZ{0.424661 * m_wx * gaussianDeviate(), (uniform() - 0.5) * m_wy, 0};
  if (const auto& aperture = surface.apertureObject()) q.x += aperture->decenterX(), q.y += aperture->decenterY();
  if (!(n * n > 0)) {
    p = XYZ{0, 0, 0};
    return;
  }
  double px, py;
  do {
    px = 0.849322 * m_wpx * gaussianDeviate();
    py = (2 * uniform() - 1) * m_wpy;
  } while (!(px * px + py * py < n * n));
  p = XYZ{px, py, std::sqrt(n * n - px * px - py * py)};
}

const platform::KeyTable& SLDEmission::classKeys() {
  using K = platform::Keys<SLDEmission>;
  platform::KeyEntry gestalt;
  gestalt.key = "emissionGestalt";
  gestalt.get = [](const platform::Object&) { return Value(); };
  static const platform::KeyTable table(
      &Emission::classKeys(),
      {
          K::property("bandwidthInNanometers", &SLDEmission::bandwidthInNanometers,
                      &SLDEmission::setBandwidthInNanometers),
          K::property("wx", &SLDEmission::wx, &SLDEmission::setWx),
          K::property("wy", &SLDEmission::wy, &SLDEmission::setWy),
          K::property("wpx", &SLDEmission::wpx, &SLDEmission::setWpx),
          K::property("wpy", &SLDEmission::wpy, &SLDEmission::setWpy),
          std::move(gestalt).dependsOn({"wavelengthInNanometers", "wx", "wy", "wpx", "wpy"}),
          K::getter("emissionDescription", &SLDEmission::emissionDescription)
              .dependsOn({"wavelengthInNanometers", "bandwidthInNanometers"}),
      });
  return table;
}

void registerEmissionTypes() {
  static const bool once = [] {
    lens::Emission::registerEmissionType<LambertianEmission>("Lambertian emission");
    lens::Emission::registerEmissionType<SLDEmission>("Diode bar emission");
    auto& registry = platform::ArchiveRegistry::shared();
    if (!registry.byName("Emission")) registry.registerClass<lens::Emission>("Emission", "VKObject");
    registry.registerClass<LambertianEmission>("LambertianEmission", "Emission");
    registry.registerClass<SLDEmission>("SLDEmission", "Emission");
    return true;
  }();
  (void)once;
}

}  // namespace orb::tracing
