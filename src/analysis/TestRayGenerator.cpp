#include "analysis/TestRayGenerator.h"

#include <cmath>

#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {

using foundation::XY;
using foundation::XYZ;
using tracing::Ray;

namespace testray {

XYZ momentumForMomentumPoint(double n, const XY& m) {
  const double mz2 = n * n - m.x * m.x - m.y * m.y;
  // Past the index there is no direction: a ray of NaN would only die mysteriously later.
  if (!(mz2 >= 0))
    platform::Exception::raise("ValueError", "Momentum (%g, %g) exceeds the object-space index %g: no real ray", m.x,
                               m.y, n);
  return {m.x, m.y, std::sqrt(mz2)};
}

XYZ momentumForTangentPoint(double n, const XY& t) {
  if (!std::isfinite(t.x) || !std::isfinite(t.y))
    platform::Exception::raise("ValueError", "Direction tangents (%g, %g) name no ray", t.x, t.y);
  const double s = n / std::sqrt(1 + t.x * t.x + t.y * t.y);
  return {s * t.x, s * t.y, s};
}

XYZ positionForPositionPoint(lens::Lens& lens, const XY& q) {
  if (tracing::isObjectAtInfinity(lens) || lens.surfaceArray().empty()) return {q.x, q.y, 0};
  return {q.x, q.y, lens.surfaceArray().front()->zInGlobalCoordinates()};
}

Ray rayForPositionStopPoint(lens::Lens& lens, const XYZ& position, const XY& stop) {
  const double n = tracing::objectSpaceIndexOfRefraction(lens);
  const auto stopSurface = lens.stopSurface();
  if (!stopSurface) platform::Exception::raise("ValueError", "The lens has no stop to aim at");
  tracing::RayWithFrame probe(position, {0, 0, 1}, n);
  tracing::traceRay(lens, probe, stopSurface.get(), tracing::TraceOptions::checkingApertures(false));
  if (!probe.isAlive())
    platform::Exception::raise("ValueError", "Cannot aim at the stop: a ray along the axis from (%g, %g, %g) does not "
                                             "reach it (%s)",
                               position.x, position.y, position.z,
                               probe.tags().causeOfDeath ? probe.tags().causeOfDeath : "lost");
  const auto M = probe.transferMatrix();
  const double dx = stop.x - (M.qxqx() * position.x + M.qxqy() * position.y);
  const double dy = stop.y - (M.qyqx() * position.x + M.qyqy() * position.y);
  const double det = M.qxpx() * M.qypy() - M.qxpy() * M.qypx();
  const XY m{(M.qypy() * dx - M.qxpy() * dy) / det, (M.qxpx() * dy - M.qypx() * dx) / det};
  // An afocal path to the stop (no momentum moves the ray there) has no first-order aim.
  if (det == 0 || !std::isfinite(m.x) || !std::isfinite(m.y))
    platform::Exception::raise("ValueError",
                               "Cannot aim at stop point (%g, %g): the transfer to the stop is singular (det %g)",
                               stop.x, stop.y, det);
  return Ray(position, momentumForMomentumPoint(n, m), n);
}

namespace {

[[noreturn]] void inconsistent() {
  platform::Exception::raise("NSInternalInconsistencyException", "%s", kInconsistentSpecification);
}

// The ray of a defined field (or of H × the largest field) at pupil point p.
Ray fieldRay(lens::Lens& lens, const Specification& spec, const XY& p) {
  std::optional<Ray> ray;
  if (spec.definedField) {
    auto rays = tracing::raysForFields(lens, {spec.definedField}, std::span(&p, 1),
                                       {spec.wave ? spec.wave : lens.primaryWave()});
    if (!rays.empty()) ray = std::move(rays.front());
  } else {
    ray = tracing::rayForH(lens, spec.field, p, spec.wave);
  }
  if (!ray) inconsistent();
  return std::move(*ray);
}

}  // namespace

Ray makeTestRay(lens::Lens& lens, const Specification& spec) {
  const double n = tracing::objectSpaceIndexOfRefraction(lens);
  const bool byField = spec.definedField || spec.fieldTag == 0;
  if (byField) {
    switch (spec.pupilTag) {
      case 0: return fieldRay(lens, spec, spec.pupil);
      case 1: {
        const Ray chief = fieldRay(lens, spec, {0, 0});
        platform::log("rayForH -> %s", chief.description().c_str());
        Ray aimed = rayForPositionStopPoint(lens, chief.position(), spec.pupil);
        platform::log("update for stop -> %s", aimed.description().c_str());
        aimed.tags() = chief.tags();
        return aimed;
      }
      case 2:
      case 3: {
        Ray ray = fieldRay(lens, spec, {0, 0});
        ray.setMomentum(spec.pupilTag == 2 ? momentumForMomentumPoint(n, spec.pupil)
                                           : momentumForTangentPoint(n, spec.pupil));
        return ray;
      }
      default: inconsistent();
    }
  }
  if (spec.fieldTag == 4) {
    const XYZ q = positionForPositionPoint(lens, spec.field);
    switch (spec.pupilTag) {
      case 1: return rayForPositionStopPoint(lens, q, spec.pupil);
      case 2: return Ray(q, momentumForMomentumPoint(n, spec.pupil), n);
      case 3: return Ray(q, {spec.pupil.x, spec.pupil.y, 1}, n);
      default: break;
    }
  }
  inconsistent();
}

}  // namespace testray

tracing::RayWithFrame TestRayGenerator::generateRay() const {
  const auto l = lens();
  if (!l) platform::Exception::raise("NSInternalInconsistencyException", "%s", testray::kInconsistentSpecification);
  auto wave = lens::Wave::wave();
  wave->setWavelengthInNanometers(m_wavelengthInNanometers);
  testray::Specification spec = m_spec;
  spec.wave = wave;
  platform::Synchronized lock(l.get());
  Ray ray = testray::makeTestRay(*l, spec);
  ray.setWave(wave);
  return tracing::RayWithFrame(ray);
}

}  // namespace orb::analysis
