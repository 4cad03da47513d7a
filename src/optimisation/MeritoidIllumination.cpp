#include "optimisation/MeritoidIllumination.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/values/TriangleNest.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/Emitters.h"
#include "tracing/LensSummary.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"
#include "wavefront_illumination/ThroughputAgent.h"

namespace orb::optimisation {

using platform::Value;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::vector<std::string> kResidualSources{"included", "value",     "calculationUnits", "displayUnits",
                                                "target",   "tolerance", "ordinate"};
}  // namespace

// --- acceptance -------------------------------------------------------------------------------------------------

const platform::KeyTable& MeritoidAcceptance::classKeys() {
  using M = MeritoidAcceptance;
  using K = platform::Keys<M>;
  static const platform::KeyTable table(
      &Meritoid::classKeys(),
      {
          K::property("Hx", &M::Hx, &M::setHx),
          K::property("Hy", &M::Hy, &M::setHy),
          K::property("wavelengthInNanometers", &M::wavelengthInNanometers, &M::setWavelengthInNanometers),
          K::property("abscissa", &M::abscissa, &M::setAbscissa),
          K::property("ordinate", &M::ordinate, &M::setOrdinate),
          K::property("searchDepth", &M::searchDepth, &M::setSearchDepth),
          K::property("initialDepth", &M::initialDepth, &M::setInitialDepth),
          K::property("cutoff", &M::cutoff, &M::setCutoff),
          K::property("filterType", &M::filterType, &M::setFilterType),
          K::getter("usesFilterRadius", &M::usesFilterRadius).dependsOn({"filterType"}),
          K::property("filterRadius", &M::filterRadius, &M::setFilterRadius),
          platform::Keys<Meritoid>::getter("displayValue", &Meritoid::displayValue)
              .dependsOn({"value", "calculationUnits", "displayUnits", "target", "ordinate"}),
          platform::Keys<Meritoid>::getter("residual", &Meritoid::residual).dependsOn(kResidualSources),
          platform::Keys<Meritoid>::getter("contribution", &Meritoid::contribution).dependsOn(kResidualSources),
      });
  return table;
}

const std::vector<std::string>& MeritoidAcceptance::availableAbscissas() {
  static const std::vector<std::string> v{"Transverse momentum"};
  return v;
}
const std::vector<std::string>& MeritoidAcceptance::availableOrdinates() {
  static const std::vector<std::string> v{"Solid angle", "Sphere fraction", "Hemisphere fraction",
                                          "Numerical aperture", "OSNA fraction"};
  return v;
}
const std::vector<std::string>& MeritoidAcceptance::availableFilterTypes() {
  static const std::vector<std::string> v{"None", "Surface", "Radius"};
  return v;
}

double MeritoidAcceptance::acceptedFraction(double a, double b, double c, double t) {
  double v[3] = {a, b, c};
  std::sort(v, v + 3);
  if (v[0] >= t) return 0;
  if (v[2] <= t) return 1;
  const bool lowPair = v[1] - v[0] <= 1e-6, highPair = v[2] - v[1] <= 1e-6;
  double f;
  if (lowPair && highPair)
    f = 1;
  else if (lowPair)
    f = 1 - (v[2] - t) * (v[2] - t) / ((v[2] - v[0]) * (v[2] - v[0]));
  else if (highPair)
    f = (t - v[0]) * (t - v[0]) / ((v[2] - v[0]) * (v[2] - v[0]));
  else if (t <= v[1])
    f = (t - v[0]) * (t - v[0]) / ((v[1] - v[0]) * (v[2] - v[0]));
  else
    f = 1 - (v[2] - t) * (v[2] - t) / ((v[2] - v[0]) * (v[2] - v[1]));
  return f > 0 ? f : 0;
}

void MeritoidAcceptance::nontrivialize() {
  Meritoid::nontrivialize();
  setStoredTolerance(1.0);
}

std::vector<std::string> MeritoidAcceptance::coderKeys() const {
  std::vector<std::string> keys = Meritoid::coderKeys();
  for (const char* k : {"Hx", "Hy", "wavelengthInNanometers", "abscissa", "ordinate", "searchDepth", "initialDepth",
                        "cutoff", "filterType", "filterRadius"})
    keys.push_back(k);
  return keys;
}

void MeritoidAcceptance::takeWavelength(const LensPtr& lens) {
  if (!lens || m_wavelength > 0) return;
  for (const auto& w : lens->waveArray())
    if (w && w->isPrimary()) return setWavelengthInNanometers(w->wavelengthInNanometers());
  if (!lens->waveArray().empty()) setWavelengthInNanometers(lens->waveArray().front()->wavelengthInNanometers());
}

void MeritoidAcceptance::setLens(LensPtr lens) {
  takeWavelength(lens);
  Meritoid::setLens(std::move(lens));
}

void MeritoidAcceptance::firstTimeWithLens(const LensPtr& lens) { takeWavelength(lens); }

void MeritoidAcceptance::evaluation() {
  if (platform::currentThreadIsCancelled()) {
    setEvaluationValue(value());
    return;
  }
  const LensPtr l = lens();
  if (!l) {
    setEvaluationMessage("No lens");
    setEvaluationValue(kNaN);
    return;
  }
  if (!tracing::entrancePupilDiameterDetermined(*l)) {
    setEvaluationMessage("Delegate is not ready");
    setEvaluationValue(kNaN);
    return;
  }
  if (m_wavelength == 0) {
    setEvaluationValue(0);
    return;
  }
  try {
    platform::Synchronized lock(l.get());
    m_objectSpaceIndex = tracing::objectSpaceIndexOfRefraction(*l);
    wavefront::FilteringAgent agent;
    agent.setLens(l);
    agent.setSearchDepth(m_searchDepth);
    agent.setInitialDepth(m_initialDepth);
    agent.setFilterType(m_filterType);
    agent.setFilterRadius(m_filterRadius);
    auto wave = lens::Wave::wave();
    wave->setWavelengthInNanometers(m_wavelength);
    if (!agent.generateSamplingDataForField(tracing::fieldForH(*l, {m_Hx, m_Hy}), wave)) {
      if (platform::currentThreadIsCancelled()) {
        setEvaluationValue(value());
        return;
      }
      setEvaluationMessage("No accepted rays");
      setEvaluationValue(kNaN);
      return;
    }
    double sum = 0;
    for (const auto* triangle : agent.interiorTriangles()) {
      const auto& v = triangle->v();
      const tracing::Ray* r[3] = {wavefront::ThroughputAgent::passengerRay(*v[0]),
                                  wavefront::ThroughputAgent::passengerRay(*v[1]),
                                  wavefront::ThroughputAgent::passengerRay(*v[2])};
      if (!r[0] || !r[1] || !r[2]) continue;
      sum += triangle->area() * acceptedFraction(r[0]->transverseMomentumAmplitude(),
                                                 r[1]->transverseMomentumAmplitude(),
                                                 r[2]->transverseMomentumAmplitude(), m_cutoff);
    }
    if (!(sum > 0)) {
      // Nothing accepted must not read as a perfect score through the reciprocal residual.
      setEvaluationMessage("No accepted rays");
      setEvaluationValue(kNaN);
      return;
    }
    setEvaluationValue(sum);
  } catch (const platform::Exception& e) {
    setEvaluationMessage(e.what());
    setEvaluationValue(kNaN);
  }
}

double MeritoidAcceptance::displayValue() const {
  const double omega = value();
  const double pi = std::numbers::pi;
  if (m_ordinate == "Sphere fraction") return omega / (4 * pi);
  if (m_ordinate == "Hemisphere fraction") return omega / (2 * pi);
  if (m_ordinate == "Numerical aperture") return m_objectSpaceIndex * std::sin(std::acos(1 - omega / (2 * pi)));
  if (m_ordinate == "Effective pupil diameter") return 2 * std::sqrt(omega / pi);
  return omega;
}

std::vector<double> MeritoidAcceptance::residuals() const {
  if (!included() || !hasUsableTolerance()) return {0.0};
  const double shown = displayValue();
  if (target() == 0) return {tolerance() / shown};
  return {tolerance() * (1 / shown - 1 / target())};
}

// --- emitter efficiency --------------------------------------------------------------------------------------------

const platform::KeyTable& MeritoidEmitterEfficiency::classKeys() {
  using M = MeritoidEmitterEfficiency;
  using K = platform::Keys<M>;
  static const platform::KeyTable table(&Meritoid::classKeys(),
                                        {
                                            K::property("numberOfRays", &M::numberOfRays, &M::setNumberOfRays),
                                            K::property("emitterNumber", &M::emitterNumber, &M::setEmitterNumber),
                                            K::property("circleRadius", &M::circleRadius, &M::setCircleRadius),
                                        });
  return table;
}

void MeritoidEmitterEfficiency::nontrivialize() {
  Meritoid::nontrivialize();
  setTarget(1.0);
  setStoredTolerance(1.0);
}

std::vector<std::string> MeritoidEmitterEfficiency::coderKeys() const {
  std::vector<std::string> keys = Meritoid::coderKeys();
  for (const char* k : {"numberOfRays", "emitterNumber", "circleRadius"}) keys.push_back(k);
  return keys;
}

std::vector<std::shared_ptr<lens::Surface>> MeritoidEmitterEfficiency::emissionSurfaces() const {
  std::vector<std::shared_ptr<lens::Surface>> out;
  if (lens())
    for (const auto& s : lens()->surfaceArray())
      if (s->emission()) out.push_back(s);
  return out;
}

std::vector<std::int64_t> MeritoidEmitterEfficiency::possibleEmitterNumbers() const {
  std::vector<std::int64_t> out;
  if (lens()) {
    const auto& surfaces = lens()->surfaceArray();
    for (std::size_t i = 0; i < surfaces.size(); ++i)
      if (surfaces[i]->emission()) out.push_back(static_cast<std::int64_t>(i));
  }
  return out;
}

std::shared_ptr<lens::Surface> MeritoidEmitterEfficiency::emissionSurfaceWithEmitterNumber(std::int64_t n) const {
  if (!lens() || n < 0 || static_cast<std::size_t>(n) >= lens()->surfaceArray().size()) return nullptr;
  auto s = lens()->surfaceArray()[static_cast<std::size_t>(n)];
  return s->emission() ? s : nullptr;
}

void MeritoidEmitterEfficiency::chooseEmitter(const LensPtr& lens) {
  if (!lens || m_emitterNumber != kUnsetEmitter) return;
  const auto& surfaces = lens->surfaceArray();
  std::int64_t first = 0;
  for (std::size_t i = 0; i < surfaces.size(); ++i)
    if (surfaces[i]->emission()) {
      first = static_cast<std::int64_t>(i);
      break;
    }
  setEmitterNumber(first);
}

void MeritoidEmitterEfficiency::setLens(LensPtr lens) {
  chooseEmitter(lens);
  Meritoid::setLens(std::move(lens));
}

void MeritoidEmitterEfficiency::firstTimeWithLens(const LensPtr& lens) { chooseEmitter(lens); }

void MeritoidEmitterEfficiency::evaluation() {
  const LensPtr l = lens();
  if (!l) {
    setEvaluationMessage("No lens");
    setEvaluationValue(kNaN);
    return;
  }
  const auto surface = emissionSurfaceWithEmitterNumber(m_emitterNumber);
  const auto* emission = surface ? dynamic_cast<const tracing::RayEmission*>(surface->emission().get()) : nullptr;
  if (!emission) {
    setEvaluationMessage("No such emitter");
    setEvaluationValue(kNaN);
    return;
  }
  if (m_numberOfRays == 0) {
    setEvaluationMessage("No rays");
    setEvaluationValue(kNaN);
    return;
  }
  platform::Synchronized lock(l.get());
  std::vector<tracing::Ray> rays = emission->randomRaysWithCount(m_numberOfRays);
  tracing::traceRays(*l, rays);
  if (platform::currentThreadIsCancelled()) {
    setEvaluationValue(value());
    return;
  }
  const auto& toLocal = l->imageSurface()->transform().globalToLocalCoordinateTransformationMatrix();
  std::size_t count = 0;
  for (auto& r : rays) {
    if (!r.isAlive()) continue;
    if (m_circleRadius > 0) {
      r.transformPositionByMatrix(toLocal);
      const auto& p = r.position();
      if (p.x * p.x + p.y * p.y > m_circleRadius * m_circleRadius) continue;
    }
    ++count;
  }
  setEvaluationValue(static_cast<double>(count) / static_cast<double>(m_numberOfRays));
}

}  // namespace orb::optimisation
