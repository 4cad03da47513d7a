#include "analysis/FanRaysCalculator.h"

#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Thread.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {

FanRaysCalculator::FanRaysCalculator() { setNumberOfRays(21); }

FanRaysCalculator::FanPtr FanRaysCalculator::tracedFan() const {
  platform::Synchronized lock(const_cast<FanRaysCalculator*>(this));
  return m_fan;
}

void FanRaysCalculator::noteStatus(std::string text) {
  performOnMainThreadForRun([this, text = std::move(text)] { setStatus(text); });
}

void FanRaysCalculator::calculate() {
  m_working.reset();
  RaysAtSurfaceCalculator::calculate();
  if (platform::currentThreadIsCancelled()) return;
  if (exception()) {  // the status says why (RaysCalculator::calculate)
    platform::Synchronized lock(this);
    m_fan.reset();
  }
}

void FanRaysCalculator::fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const {
  const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(numberOfRays(), 1u << 20));
  points = tracing::pupil::yFan(n);
  direction.assign(points.size(), 1);
  const auto x = tracing::pupil::xFan(n);
  points.insert(points.end(), x.begin(), x.end());
  direction.resize(points.size(), 0);
}

void FanRaysCalculator::generateInitialRays() {
  // The fan replaces the base's pupil-pattern bundle (and its paraxial marginal and chief
  // rays, which no fan analysis plots).
  m_working.reset();
  const LensPtr l = lens();
  if (!l) return;
  const auto fields = fanFields();
  const auto waves = fanWaves();
  if (fields.empty() || waves.empty() || numberOfRays() == 0) return;
  auto fan = std::make_shared<TracedFan>();
  fanPattern(fan->pattern, fan->direction);
  if (fan->pattern.empty()) return;
  if (!tracing::fillBundleForFields(fan->rays, *l, fields, fan->pattern, waves)) return;
  // Every run must follow the pattern for the rows to be read by position.
  if (fan->rays.size() != fields.size() * waves.size() * fan->pattern.size())
    platform::Exception::raise("OBException", "fan rays: %zu rows for %zu runs of %zu points", fan->rays.size(),
                               fields.size() * waves.size(), fan->pattern.size());
  if (keepsStartAndParaxialRows() && startsParaxialRowsUnaimed()) {
    // Aiming moves a row's start off its paraxial start; traced paraxially from there it
    // misses the field's paraxial ray wherever the surface is not at the paraxial focus.
    if (!tracing::fillBundleForFields(fan->paraxial, *l, fields, fan->pattern, waves, false, true)) return;
    if (fan->paraxial.size() != fan->rays.size())
      platform::Exception::raise("OBException", "fan rays: %zu paraxial rows for %zu rows", fan->paraxial.size(),
                                 fan->rays.size());
  }
  m_working = std::move(fan);
}

void FanRaysCalculator::traceRays() {
  RaysAtSurfaceCalculator::traceRays();  // the paraxial rays, if any
  const LensPtr l = lens();
  std::shared_ptr<TracedFan> fan = std::move(m_working);
  if (!l || platform::currentThreadIsCancelled()) return;
  if (fan) {
    const SurfacePtr target = surfaceOfInterest();
    platform::Synchronized lensLock(l.get());
    if (keepsStartAndParaxialRows()) {
      fan->start = fan->rays;
      if (fan->paraxial.empty()) fan->paraxial = fan->rays;
      tracing::traceRays(*l, fan->paraxial, target.get(), tracing::TraceOptions::paraxial(true));
      if (platform::currentThreadIsCancelled()) return;
    }
    tracing::TraceOptions options = tracing::TraceOptions::paraxial(paraxial());
    options.parallelFromRays = parallelTraceFromRays();
    tracing::traceRays(*l, fan->rays, target.get(), options);
    if (platform::currentThreadIsCancelled()) return;
    if (useLocalCoordinates() && target) {
      const auto& localFromGlobal = target->transform().globalToLocalCoordinateTransformationMatrix();
      transformLiveRows(fan->rays, localFromGlobal);
      if (keepsStartAndParaxialRows()) transformLiveRows(fan->paraxial, localFromGlobal);
    }
  }
  {
    platform::Synchronized lock(this);
    m_fan = std::move(fan);
  }
  setNeedsGenerateCurves(true);
}

std::vector<std::size_t> FanRaysCalculator::selectRows(const TracedFan& fan, int direction, const lens::Field* field,
                                                       const lens::Wave* wave) {
  std::vector<std::size_t> rows;
  const tracing::RayBundle& b = fan.rays;
  if (fan.pattern.empty()) return rows;
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (!b.alive[i]) continue;
    if (direction >= 0 && fan.direction[fan.patternIndex(i)] != direction) continue;
    if (field && (b.field[i] >= b.fields.size() || b.fields[b.field[i]].get() != field)) continue;
    if (wave && (b.wave[i] >= b.waves.size() || b.waves[b.wave[i]].get() != wave)) continue;
    rows.push_back(i);
  }
  return rows;
}

}  // namespace orb::analysis
