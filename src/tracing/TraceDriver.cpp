#include "tracing/TraceDriver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "foundation/objects/TransformationMatrix.h"
#include "lens/CircularAperture.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/Exception.h"
#include "platform/Thread.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Pusher.h"
#include "tracing/Ray.h"
#include "tracing/RayGeneration.h"
#include "tracing/RayWithFrame.h"
#include "tracing/Turner.h"

namespace orb::tracing {

namespace {

using foundation::TransformationMatrix;
using foundation::XYZ;

bool isInfinite(double thickness) { return !(std::abs(thickness) < std::numeric_limits<double>::infinity()); }

// Moves every ray from one frame to the next by one composed matrix. Consecutive surfaces
// of a centred system differ by a shift along z, so the common case is three additions
// per ray instead of the two full frame changes through global coordinates.
template <class R>
void transformRays(std::span<R> rays, const TransformationMatrix& m) {
  const auto& a = m.m;
  const bool pureShift =
      a[0] == 1 && a[1] == 0 && a[2] == 0 && a[4] == 0 && a[5] == 1 && a[6] == 0 && a[8] == 0 && a[9] == 0 && a[10] == 1;
  if (pureShift && a[3] == 0 && a[7] == 0 && a[11] == 0) return;
  if (pureShift) {  // a shift moves neither momenta, normals nor frames
    const XYZ shift{a[3], a[7], a[11]};
    for (R& r : rays) {
      const XYZ& q = r.position();
      r.setPosition(XYZ{q.x + shift.x, q.y + shift.y, q.z + shift.z});
    }
    return;
  }
  for (R& r : rays) r.transformByMatrix(m);
}

// Index of refraction of the medium behind a surface, per wave: a lens traces a handful
// of waves, so a few cached entries spare a dispersion formula per ray.
class IndexCache {
 public:
  explicit IndexCache(const materials::Medium& medium) : m_medium(medium) {}
  double at(const lens::Wave* wave) {
    for (int i = 0; i < m_count; ++i)
      if (m_waves[i] == wave) return m_indices[i];
    const double n = m_medium.indexOfRefractionAtWavelengthInMicrons(wave->wavelengthInMicrons());
    const int slot = m_count < kSlots ? m_count++ : (m_next++ % kSlots);
    m_waves[slot] = wave;
    m_indices[slot] = n;
    return n;
  }

 private:
  static constexpr int kSlots = 8;
  const materials::Medium& m_medium;
  const lens::Wave* m_waves[kSlots] = {};
  double m_indices[kSlots] = {};
  int m_count = 0;
  unsigned m_next = 0;
};

[[noreturn]] void raiseMissing(const char* what, std::string_view name, const lens::Surface& surface) {
  platform::Exception::raise("Unsupported", "Surface %s needs the %s %.*s, which is not available",
                             surface.nickname().c_str(), what, static_cast<int>(name.size()), name.data());
}

// Bending of the live rays of a refracting surface. Plain rays go through the turner's
// span operation in runs of one wave; framed rays one by one (their matrices differ).
template <class R>
std::uint64_t refract(std::span<R> rays, Turner& turner, const materials::Medium& next, const lens::Surface& surface,
                      const TraceOptions& options) {
  std::uint64_t steps = 0;
  const bool uniform = next.isUniform();
  IndexCache cache(next);
  auto indexFor = [&](const R& r) {
    if (uniform) return cache.at(r.wave().get());
    const XYZ global = surface.transform().transformToGlobal(r.position());
    return next.indexOfRefractionAtWaveGlobalCoordinate(r.wave()->wavelengthInMicrons(), global);
  };
  if (options.paraxially) {
    for (R& r : rays) {
      if (!r.isAlive()) continue;
      ++steps;
      turner.paraxiallyRefractRay(r, indexFor(r));
      turner.paraxiallyProcessRay(r);
    }
    return steps;
  }
  const bool hooks = turner.hasRayHooks();
  for (R& r : rays) {
    if (!r.isAlive()) continue;
    ++steps;
    if (hooks && !options.analysisMode) turner.validateRay(r);
  }
  if constexpr (std::is_same_v<R, Ray>) {
    if (uniform) {
      std::size_t begin = 0;
      while (begin < rays.size()) {
        const lens::Wave* wave = rays[begin].wave().get();
        std::size_t end = begin + 1;
        while (end < rays.size() && rays[end].wave().get() == wave) ++end;
        turner.refractRays(rays.subspan(begin, end - begin), cache.at(wave));
        begin = end;
      }
      if (hooks)
        for (R& r : rays)
          if (r.isAlive()) turner.processRay(r);
      return steps;
    }
  }
  for (R& r : rays) {
    if (!r.isAlive()) continue;
    turner.refractRay(r, indexFor(r));
    if (hooks) turner.processRay(r);
  }
  return steps;
}

template <class R>
std::uint64_t reflect(std::span<R> rays, Turner& turner, const TraceOptions& options) {
  std::uint64_t steps = 0;
  for (const R& r : rays) steps += r.isAlive();
  if constexpr (std::is_same_v<R, Ray>) {
    if (!options.paraxially) {
      turner.reflectRays(rays);
      return steps;
    }
  }
  for (R& r : rays) {
    if (!r.isAlive()) continue;
    if (options.paraxially)
      turner.paraxiallyReflectRay(r);
    else
      turner.reflectRay(r);
  }
  return steps;
}

template <class R>
void acquire(std::span<R> rays, Pusher& pusher, bool paraxially, bool coordinatesReflected) {
  if (paraxially) {
    for (R& r : rays)
      if (r.isAlive()) pusher.paraxiallyAcquireRay(r);
  } else if constexpr (std::is_same_v<R, Ray>) {
    pusher.acquireRays(rays, coordinatesReflected);
  } else {
    for (R& r : rays)
      if (r.isAlive()) pusher.acquireRay(r, coordinatesReflected);
  }
}

template <class R>
double maximumRadius(std::span<const R> rays) {
  double m2 = 0;
  for (const R& r : rays)
    if (r.isAlive()) m2 = std::max(m2, r.x() * r.x() + r.y() * r.y());
  return std::sqrt(m2);
}

void updateSemidiameter(lens::Surface& surface, double radiusOfRays) {
  if (surface.semidiameterSolveType() == lens::Surface::kSemiAutomatic) {
    surface.setSemidiameter(radiusOfRays);
  } else if (surface.semidiameterSolveType() == lens::Surface::kSemiPickup) {
    if (auto source = surface.semidiameterSolveSurface()) surface.setSemidiameter(source->semidiameter());
  }
  if (auto floating = std::dynamic_pointer_cast<lens::FloatingAperture>(surface.apertureObject()))
    floating->followSemidiameter(surface.semidiameter());
}

template <class R>
void addVertices(std::span<R> rays, const lens::Surface& surface, const foundation::OBTransform& localToGlobal) {
  for (R& r : rays) {
    if (!r.trajectory() || r.trajectoryIsFrozen()) continue;
    r.addVertex(RayVertex{0, localToGlobal.transformToGlobal(r.position()), localToGlobal.rotateToGlobal(r.momentum()),
                          &surface});
    if (!r.isAlive()) r.setTrajectoryIsFrozen(true);
  }
}

// What one surface does to every ray, prepared once per trace: the frame change from
// the previous surface, the pusher and turner, the medium behind it and which side of it
// is active.
struct SurfaceStep {
  lens::Surface* surface;
  TransformationMatrix toLocal;
  std::unique_ptr<Pusher> pusher;
  std::unique_ptr<Turner> turner;
  std::shared_ptr<materials::Medium> next;
  const lens::Aperture* aperture;
  bool mirror, isTarget, coordinatesReflected;
  std::string nickname;  // made on the first aperture death
};

// The per-surface order for a run of rays: frame, acquisition, semidiameter, emitter
// revival, aperture, bending, trajectory.
template <class R>
std::uint64_t stage(std::span<R> block, SurfaceStep& step, const TraceOptions& options, bool sizeSemidiameter,
                    bool anyEmitter, bool recordTrajectories) {
  lens::Surface& surface = *step.surface;
  transformRays(block, step.toLocal);
  acquire(block, *step.pusher, options.paraxially, step.coordinatesReflected);
  if (sizeSemidiameter) updateSemidiameter(surface, maximumRadius<R>(block));
  if (anyEmitter) {
    for (R& r : block) {
      if (r.isAlive() || r.emitter() != &surface) continue;
      r.setIsAlive(true);
      r.setTrajectoryIsFrozen(false);
    }
  }
  if (step.aperture) {
    for (R& r : block) {
      if (!r.isAlive() || step.aperture->passesPoint(r.position())) continue;
      if (step.nickname.empty()) step.nickname = surface.nickname();
      r.kill(causeOfDeath::kApertureDoesNotPass, step.nickname);
    }
  }
  std::uint64_t steps = 0;
  if (!step.isTarget)
    steps = step.mirror ? reflect(block, *step.turner, options) : refract(block, *step.turner, *step.next, surface, options);
  if (recordTrajectories && !surface.isCoordinateBreak()) addVertices(block, surface, surface.transform());
  return steps;
}

// The surface loop; answers the interactions counted, or none when cancelled.
// `recordTrajectories` and `anyEmitter`: whether any ray records or has an emitter.
template <class R>
std::optional<std::uint64_t> traceSurfaces(lens::Lens& lens, std::span<R> rays, const lens::Surface* target,
                                           const TraceOptions& options, bool recordTrajectories, bool anyEmitter) {
  const auto& surfaces = lens.surfaceArray();
  const auto& ambient = lens.ambientMedium();
  auto mediumFor = [&](const std::shared_ptr<materials::Medium>& m) { return m ? m : ambient; };

  lens::Surface& object = *surfaces.front();
  std::shared_ptr<materials::Medium> current = mediumFor(object.medium());
  const bool objectAtInfinity = isInfinite(object.thickness());
  if (options.updateSemidiameters) {
    if (object.semidiameterSolveType() == lens::Surface::kSemiAutomatic)
      object.setSemidiameter(objectAtInfinity ? 0.0 : maximumRadius<R>(rays));
    if (auto floating = std::dynamic_pointer_cast<lens::FloatingAperture>(object.apertureObject()))
      floating->followSemidiameter(object.semidiameter());
  }
  // A ray dead on entry records nothing until an emitter surface revives it.
  if (recordTrajectories)
    for (R& r : rays)
      if (!r.isAlive() && r.trajectory()) r.setTrajectoryIsFrozen(true);
  if (recordTrajectories && !objectAtInfinity)
    for (R& r : rays)
      if (r.isAlive() && r.trajectory()) r.trajectory()->push_back(RayVertex{0, r.position(), r.momentum(), &object});
  if (target == &object) return 0;

  std::size_t first = 1;
  while (first + 1 < surfaces.size() && surfaces[first]->isCoordinateBreak()) ++first;
  // A target among the skipped breaks is reached without visiting anything.
  for (std::size_t i = 1; i < first; ++i)
    if (surfaces[i].get() == target) return 0;

  // Which surfaces the rays visit and what each does depends on the surfaces alone, so
  // it is settled (and a missing pusher or turner reported) before any ray moves.
  std::vector<SurfaceStep> plan;
  bool coordinatesReflected = false;
  TransformationMatrix currentToGlobal = TransformationMatrix::identity();
  for (std::size_t index = first; index < surfaces.size(); ++index) {
    lens::Surface& surface = *surfaces[index];
    const bool isTarget = &surface == target;
    const foundation::OBTransform& frame = surface.transform();
    const bool mirror = !surface.isCoordinateBreak() && surface.isMirror();
    std::shared_ptr<materials::Medium> next =
        surface.isCoordinateBreak() || mirror ? current : mediumFor(surface.medium());
    const std::string_view pusherName = surface.pusherNameWithMedium(current.get());
    std::unique_ptr<Pusher> pusher = makePusher(pusherName, shapeOfSurface(surface));
    if (!pusher) raiseMissing("pusher", pusherName, surface);
    pusher->setRayAcquisitionTolerance(lens.rayAcquisitionTolerance());
    std::unique_ptr<Turner> turner = turnerForSurface(surface);
    if (!turner) raiseMissing("turner", surface.turnerName(), surface);
    turner->setLightPipeMaxBounces(lens.lightPipeMaxBounces());
    plan.push_back({&surface, frame.globalToLocalCoordinateTransformationMatrix() * currentToGlobal,
                    std::move(pusher), std::move(turner), next,
                    options.checkApertures && !isTarget ? surface.apertureObject().get() : nullptr, mirror, isTarget,
                    coordinatesReflected, {}});
    currentToGlobal = frame.localToGlobalCoordinateTransformationMatrix();
    if (mirror && !isTarget) coordinatesReflected = !coordinatesReflected;
    if (isInfinite(surface.thickness()) || isTarget) break;
    current = std::move(next);
  }

  std::uint64_t steps = 0;
  if (options.updateSemidiameters) {
    // Semidiameters (and floating apertures) depend on all rays at a surface: surface by
    // surface over the whole set.
    for (SurfaceStep& step : plan) {
      if (platform::currentThreadIsCancelled()) return std::nullopt;
      steps += stage(rays, step, options, true, anyEmitter, recordTrajectories);
    }
    transformRays(rays, currentToGlobal);
    return steps;
  }
  // Otherwise rays are independent: each block of rays crosses every surface while it is
  // in cache, with the same result as crossing the surfaces one by one.
  constexpr std::size_t kBlock = 128;
  for (std::size_t b = 0; b < rays.size(); b += kBlock) {
    if (platform::currentThreadIsCancelled()) return std::nullopt;
    const std::span<R> block = rays.subspan(b, std::min(kBlock, rays.size() - b));
    for (SurfaceStep& step : plan) steps += stage(block, step, options, false, anyEmitter, recordTrajectories);
    transformRays(block, currentToGlobal);
  }
  if (platform::currentThreadIsCancelled()) return std::nullopt;
  return steps;
}

template <class R>
double traceRaysImpl(lens::Lens& lens, std::span<R> rays, const lens::Surface* toSurface,
                     const TraceOptions& options) {
  lens.setWarningReTrace(std::nullopt);
  for (const R& r : rays) r.consistencyCheck();
  const auto& surfaces = lens.surfaceArray();
  if (surfaces.empty()) return 0.0;

  // Semidiameter updates are edits the lens would otherwise queue as a change of its own.
  struct DequeueOnExit {
    lens::Lens& lens;
    bool active;
    ~DequeueOnExit() {
      if (active) lens.dequeueLensChangedNotification();
    }
  } dequeue{lens, options.updateSemidiameters};

  try {
    const lens::Surface* target = toSurface ? toSurface : surfaces.back().get();
    // One pass over the rays (a million of them do not fit in cache) for the default
    // wave and the two facts the surface loop needs about the whole set.
    std::shared_ptr<lens::Wave> primary;
    bool recordTrajectories = false, anyEmitter = false;
    for (R& r : rays) {
      recordTrajectories |= r.trajectory() != nullptr;
      anyEmitter |= r.emitter() != nullptr;
      if (r.wave()) continue;
      if (!primary) primary = lens.primaryWave();
      r.setWave(primary);
    }
    const auto start = std::chrono::steady_clock::now();
    const std::optional<std::uint64_t> steps =
        traceSurfaces(lens, rays, target, options, recordTrajectories, anyEmitter);
    if (!steps) return 0.0;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    // A trace faster than the clock's tick still answers a finite rate.
    return static_cast<double>(*steps) / std::max(elapsed.count(), 1e-9);
  } catch (const platform::Exception& e) {
    if (!lens.warningReTrace())
      lens.setWarningReTrace(platform::format("Ray trace failure (%s : %s)", e.name().c_str(), e.reason().c_str()));
    throw;
  }
}

}  // namespace

double traceRays(lens::Lens& lens, std::span<Ray> rays, const lens::Surface* toSurface, const TraceOptions& options) {
  return traceRaysImpl(lens, rays, toSurface, options);
}

double traceRays(lens::Lens& lens, std::span<RayWithFrame> rays, const lens::Surface* toSurface,
                 const TraceOptions& options) {
  return traceRaysImpl(lens, rays, toSurface, options);
}

Ray& traceRay(lens::Lens& lens, Ray& ray, const lens::Surface* toSurface, const TraceOptions& options) {
  traceRaysImpl(lens, std::span<Ray>(&ray, 1), toSurface, options);
  return ray;
}

RayWithFrame& traceRay(lens::Lens& lens, RayWithFrame& ray, const lens::Surface* toSurface,
                       const TraceOptions& options) {
  traceRaysImpl(lens, std::span<RayWithFrame>(&ray, 1), toSurface, options);
  return ray;
}

double maximumRadiusForRays(std::span<const Ray> rays) { return maximumRadius<Ray>(rays); }

namespace {
void updateSemidiametersWith(lens::Lens& lens, const TraceOptions& options) {
  const auto count = static_cast<std::uint32_t>(std::max(0, lens.numberOfRaysPerField()));
  // No rays (a generation warning) leave the semidiameters as they are.
  if (std::optional<std::vector<Ray>> rays = raysForFields(lens, lens.fieldArray(), pupil::yFan(count)))
    traceRays(lens, *rays, nullptr, options);
}
}  // namespace

void updateSemidiameters(lens::Lens& lens) { updateSemidiametersWith(lens, {true, false, true, true}); }

void updateSemidiametersUsingRealRays(lens::Lens& lens) { updateSemidiametersWith(lens, {false, true, true, false}); }

}  // namespace orb::tracing
