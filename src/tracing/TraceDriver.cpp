#include "tracing/TraceDriver.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <typeinfo>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_reduce.h>

#include "foundation/objects/TransformationMatrix.h"
#include "lens/CircularAperture.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/SurfaceDiffuser.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/ChangeCount.h"
#include "platform/Exception.h"
#include "platform/Thread.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Pusher.h"
#include "tracing/PusherGraded.h"
#include "tracing/Ray.h"
#include "tracing/RayBlock.h"
#include "tracing/RayBundle.h"
#include "tracing/RayGeneration.h"
#include "tracing/RayWithFrame.h"
#include "tracing/Turner.h"

namespace orb::tracing {

namespace {

using foundation::TransformationMatrix;
using foundation::XYZ;

bool isInfinite(double thickness) { return !(std::abs(thickness) < std::numeric_limits<double>::infinity()); }

/// Ray-surface steps per second of a trace begun at `start`; 0 for a trace that did
/// nothing. A trace faster than the clock's tick still answers a finite rate.
double stepsPerSecond(std::optional<std::uint64_t> steps, std::chrono::steady_clock::time_point start) {
  if (!steps) return 0.0;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return static_cast<double>(*steps) / std::max(elapsed.count(), 1e-9);
}

/// A failed trace leaves its reason on the lens; the first failure since the last update
/// is the one kept.
void noteTraceFailure(lens::Lens& lens, const platform::Exception& e) {
  if (!lens.warningReTrace())
    lens.setWarningReTrace(platform::format("Ray trace failure (%s : %s)", e.name().c_str(), e.reason().c_str()));
}

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
  bool graded = false;   // the rays reach the surface through a graded medium
  std::shared_ptr<materials::Medium> before;  // the medium the rays reach the surface through
};

std::unique_ptr<Pusher> pusherFor(lens::Surface& surface, const std::shared_ptr<materials::Medium>& medium,
                                  const lens::Lens& lens) {
  std::unique_ptr<Pusher> pusher = pusherWithMedium(surface, medium);
  if (pusher) pusher->setRayAcquisitionTolerance(lens.rayAcquisitionTolerance());
  return pusher;
}

std::unique_ptr<Turner> turnerFor(lens::Surface& surface, const lens::Lens& lens) {
  std::unique_ptr<Turner> turner = turnerForSurface(surface);
  if (turner) turner->setLightPipeMaxBounces(lens.lightPipeMaxBounces());
  return turner;
}

// The same step with pushers and turners of its own, for a thread: the iterative and
// graded pushers and the light pipes keep scratch state between the calls for one ray.
std::unique_ptr<SurfaceStep> copyOfStep(const SurfaceStep& s, const lens::Lens& lens) {
  return std::make_unique<SurfaceStep>(SurfaceStep{s.surface, s.toLocal, pusherFor(*s.surface, s.before, lens),
                                                   turnerFor(*s.surface, lens), s.next, s.aperture, s.mirror,
                                                   s.isTarget, s.coordinatesReflected, {}, s.graded, s.before});
}

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

// Which surfaces the rays visit and what each does, settled once per trace.
struct Plan {
  std::vector<SurfaceStep> steps;
  TransformationMatrix currentToGlobal;  // the last visited surface's frame to global
  bool visitsNothing = false;            // the target is reached before any surface
};

Plan makePlan(lens::Lens& lens, const lens::Surface* target, const TraceOptions& options) {
  const auto& surfaces = lens.surfaceArray();
  const auto& ambient = lens.ambientMedium();
  auto mediumFor = [&](const std::shared_ptr<materials::Medium>& m) { return m ? m : ambient; };
  std::shared_ptr<materials::Medium> current = mediumFor(surfaces.front()->medium());
  lens::Surface& object = *surfaces.front();
  if (target == &object) return {{}, TransformationMatrix::identity(), true};

  std::size_t first = 1;
  while (first + 1 < surfaces.size() && surfaces[first]->isCoordinateBreak()) ++first;
  // A target among the skipped breaks is reached without visiting anything.
  for (std::size_t i = 1; i < first; ++i)
    if (surfaces[i].get() == target) return {{}, TransformationMatrix::identity(), true};

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
    std::unique_ptr<Pusher> pusher = pusherFor(surface, current, lens);
    if (!pusher) raiseMissing("pusher", pusherName, surface);
    std::unique_ptr<Turner> turner = turnerFor(surface, lens);
    if (!turner) raiseMissing("turner", surface.turnerName(), surface);
    plan.push_back({&surface, frame.globalToLocalCoordinateTransformationMatrix() * currentToGlobal,
                    std::move(pusher), std::move(turner), next,
                    options.checkApertures && !isTarget ? surface.apertureObject().get() : nullptr, mirror, isTarget,
                    coordinatesReflected, {}, !current->isUniform(), current});
    currentToGlobal = frame.localToGlobalCoordinateTransformationMatrix();
    if (mirror && !isTarget) coordinatesReflected = !coordinatesReflected;
    if (isInfinite(surface.thickness()) || isTarget) break;
    current = std::move(next);
  }
  return {std::move(plan), currentToGlobal, false};
}

// --- Columns ------------------------------------------------------------------------------
// Plain rays travel as columns (RayBlock): loaded once per block, carried through every
// surface by the column kernels, stored once. Conics and even aspheres have kernels of
// their own; other sag surfaces are solved row by row by Newton's steps without making a
// ray. A surface the columns do not cover (a tilted or special pusher, a turner with its
// own law or hooks, a graded medium) takes the block through the one-ray stage and back;
// so do the rare rays a kernel leaves over.

using detail::kBlock;
using detail::RayBlock;
constexpr std::size_t kParallelBlocks = 1024;

std::atomic<std::uint64_t> gIterativeFallbacks{0};

// Storage of one block, for sources that do not hold columns themselves, and the rays
// made for the one-ray code.
struct BlockScratch {
  RayBlock block;
  double qx[kBlock], qy[kBlock], qz[kBlock], px[kBlock], py[kBlock], pz[kBlock], opl[kBlock];
  std::uint8_t alive[kBlock], reflected[kBlock], negative[kBlock], wave[kBlock], aliveBefore[kBlock];
  const char* cause[kBlock];
  std::uint16_t diedAt[kBlock];
  std::vector<Ray> rays;
  // The planned surfaces as this thread meets them: the plan's own on the calling thread
  // alone, copies with their own pushers and turners on each thread of a threaded trace.
  std::vector<SurfaceStep*> steps;
  std::vector<std::unique_ptr<SurfaceStep>> ownSteps;
  bool prepared = false;

  void prepare(Plan& plan, const lens::Lens& lens, bool own) {
    if (prepared) return;
    prepared = true;
    for (SurfaceStep& step : plan.steps) {
      if (own) ownSteps.push_back(copyOfStep(step, lens));
      steps.push_back(own ? ownSteps.back().get() : &step);
    }
  }

  void pointAtOwnColumns() {
    RayBlock& b = block;
    b.qx = qx, b.qy = qy, b.qz = qz, b.px = px, b.py = py, b.pz = pz, b.opl = opl;
    b.alive = alive, b.reflected = reflected, b.negative = negative, b.wave = wave;
    b.cause = cause, b.diedAt = diedAt;
  }
};

// How the columns meet one planned surface.
struct ColumnStep {
  enum class Crossing { Conic, EvenAsphere, Newton, Other };
  SurfaceStep* step;
  std::uint16_t place;  // the surface's index in the lens, where rays die
  bool inColumns;       // else the whole block takes the one-ray stage
  Crossing crossing;    // PusherConicoid's; the even asphere's kernel; PusherIterative's per row
  bool bend;            // refraction or reflection to do (not at the target, not a phaser)
  const lens::CircularAperture* circle;  // a plain circular aperture, tested in columns
  std::vector<double> indexByWave;       // the medium behind, at each wave of the trace
  std::vector<std::uint8_t> waveIsInvalid;
  std::vector<double> asphereTerms;      // the even asphere's a0, a1, … of r⁰, r², …
  bool threadable = true;                // no per-ray change to the lens (the diffuser's draw)
  // A conic with a plain circular aperture or none, bending by the base law into positive
  // indexes (or reflecting, or not bending): one pass of conicPassBlock per block.
  bool onePass = false;
};

bool bendsByTheBaseLaw(const Turner& turner) {
  const std::type_info& t = typeid(turner);
  return !turner.hasRayHooks() && (t == typeid(Turner) || t == typeid(TurnerStandard) || t == typeid(TurnerAsphere) ||
                                   t == typeid(TurnerZernike) || t == typeid(TurnerPoly));
}

std::vector<ColumnStep> columnSteps(Plan& plan, const lens::Lens& lens,
                                    const std::vector<std::shared_ptr<lens::Wave>>& waves) {
  const auto& surfaces = lens.surfaceArray();
  std::vector<ColumnStep> steps;
  for (SurfaceStep& step : plan.steps) {
    ColumnStep c{&step, 0, false, ColumnStep::Crossing::Other, false, nullptr, {}, {}, {}};
    for (std::size_t i = 0; i < surfaces.size(); ++i)
      if (surfaces[i].get() == step.surface) c.place = static_cast<std::uint16_t>(i);
    const Turner& turner = *step.turner;
    const Pusher& pusher = *step.pusher;
    const bool phaser = typeid(turner) == typeid(TurnerPhaser);
    if (typeid(pusher) == typeid(PusherConicoid)) {
      c.crossing = ColumnStep::Crossing::Conic;
    } else if (typeid(pusher) == typeid(PusherIterative) && pusher.surface()) {
      std::optional<std::vector<double>> terms = pusher.surface()->evenAsphereTerms();
      c.crossing = terms && terms->size() <= detail::kEvenAsphereTerms ? ColumnStep::Crossing::EvenAsphere
                                                                       : ColumnStep::Crossing::Newton;
      if (terms) c.asphereTerms = std::move(*terms);
    }
    c.bend = !step.isTarget && !phaser;
    c.threadable = !dynamic_cast<const lens::SurfaceDiffuser*>(step.surface);
    // A graded medium is stepped through ray by ray: never the straight column kernels.
    c.inColumns = !step.graded && c.crossing != ColumnStep::Crossing::Other &&
                  (!c.bend || bendsByTheBaseLaw(*step.turner)) && (step.mirror || step.next->isUniform());
    if (step.aperture && typeid(*step.aperture) == typeid(lens::CircularAperture) && !step.aperture->isSoft())
      c.circle = static_cast<const lens::CircularAperture*>(step.aperture);
    bool positive = true;
    if (c.inColumns && c.bend && !step.mirror) {
      for (const auto& w : waves) {
        const double n = w ? step.next->indexOfRefractionAtWavelengthInMicrons(w->wavelengthInMicrons()) : 1.0;
        const bool invalid = n == 0 || !std::isfinite(n);
        c.indexByWave.push_back(invalid ? 1.0 : n);
        c.waveIsInvalid.push_back(invalid);
        positive &= !invalid && n > 0;
      }
    }
    c.onePass = c.inColumns && c.crossing == ColumnStep::Crossing::Conic && (c.circle || !step.aperture) && positive;
    steps.push_back(std::move(c));
  }
  return steps;
}

void moveBlock(RayBlock& b, const TransformationMatrix& m) {
  const auto& a = m.m;
  const bool pureShift =
      a[0] == 1 && a[1] == 0 && a[2] == 0 && a[4] == 0 && a[5] == 1 && a[6] == 0 && a[8] == 0 && a[9] == 0 && a[10] == 1;
  if (pureShift && a[3] == 0 && a[7] == 0 && a[11] == 0) return;
  if (pureShift) return detail::shiftBlock(b, a[3], a[7], a[11]);
  detail::transformBlock(b, a.data());
}

// Row i of the block as a ray for the one-ray code, and back.
void rowToRay(const RayBlock& b, std::size_t i, Ray& r, const std::vector<std::shared_ptr<lens::Wave>>& waves) {
  r.setPosition({b.qx[i], b.qy[i], b.qz[i]});
  r.setMomentum({b.px[i], b.py[i], b.pz[i]});
  r.setSurfaceNormal({b.nx[i], b.ny[i], b.nz[i]});
  r.setOpticalPathLength(b.opl[i]);
  r.setIsAlive(b.alive[i]);
  r.setIsReflected(b.reflected[i]);
  r.setIndexOfRefractionIsNegative(b.negative[i]);
  r.setWave(b.wave[i] < waves.size() ? waves[b.wave[i]] : nullptr);
}

void rayToRow(const Ray& r, RayBlock& b, std::size_t i, std::uint16_t place) {
  b.qx[i] = r.x(), b.qy[i] = r.y(), b.qz[i] = r.z();
  b.px[i] = r.px(), b.py[i] = r.py(), b.pz[i] = r.pz();
  const XYZ& n = r.surfaceNormal();
  b.nx[i] = n.x, b.ny[i] = n.y, b.nz[i] = n.z;
  b.opl[i] = r.opticalPathLength();
  b.reflected[i] = r.isReflected();
  b.negative[i] = r.indexOfRefractionIsNegative();
  if (b.alive[i] && !r.isAlive()) b.kill(i, r.tags().causeOfDeath, place);
}

// Newton's crossing of a sag surface row by row, through its shape; the rows it cannot
// settle are marked in `odd`. Answers their count.
std::size_t newtonAcquireRows(RayBlock& b, const PusherIterative& pusher, bool reflected) {
  std::size_t left = 0;
  for (std::size_t i = 0; i < b.n; ++i) {
    b.odd[i] = 0;
    if (b.live[i] == 0) continue;
    XYZ q{b.qx[i], b.qy[i], b.qz[i]}, N{0, 0, 1};
    double increment = 0;
    if (!pusher.acquireByNewton(q, XYZ{b.px[i], b.py[i], b.pz[i]}, reflected, increment, N)) {
      b.odd[i] = 1;
      ++left;
      continue;
    }
    b.qx[i] = q.x, b.qy[i] = q.y, b.qz[i] = q.z;
    b.opl[i] += increment;
    b.nx[i] = N.x, b.ny[i] = N.y, b.nz[i] = N.z;
  }
  return left;
}

// A conic surface in one pass over the block (ColumnStep::onePass), then the rows the pass
// left: the one-ray acquisition with the aperture test and bending that follow it, and the
// kills. Answers the interactions.
std::uint64_t onePassStage(BlockScratch& scratch, ColumnStep& c, SurfaceStep& step,
                           const std::vector<std::shared_ptr<lens::Wave>>& waves) {
  RayBlock& b = scratch.block;
  detail::ConicPass p;
  const auto& m = step.toLocal.m;
  const bool pureShift =
      m[0] == 1 && m[1] == 0 && m[2] == 0 && m[4] == 0 && m[5] == 1 && m[6] == 0 && m[8] == 0 && m[9] == 0 && m[10] == 1;
  if (pureShift)
    p.sx = m[3], p.sy = m[7], p.sz = m[11];
  else
    detail::transformBlock(b, m.data());
  p.c = step.pusher->curvature();
  p.k = static_cast<PusherConicoid&>(*step.pusher).conicConstant();
  p.reflected = step.coordinatesReflected;
  if (c.circle) {
    const double rMin = c.circle->rMin(), rMax = c.circle->rMax();
    p.x0 = c.circle->decenterX(), p.y0 = c.circle->decenterY();
    p.lo = rMin * rMin - 1e-10, p.hi = rMax * rMax + 1e-10;
  }
  const bool refracts = c.bend && !step.mirror;
  p.bend = !c.bend ? detail::ConicPass::None : step.mirror ? detail::ConicPass::Reflect : detail::ConicPass::Refract;
  if (refracts) {
    if (b.oneWave || b.n == 0) {
      p.n = b.n ? c.indexByWave[b.wave[0]] : 1.0;
    } else {
      p.perRow = true;
      const double* table = c.indexByWave.data();
      for (std::size_t i = 0; i < b.n; ++i) b.index[i] = table[b.wave[i]];
    }
  }
  std::size_t met = 0;
  if (detail::conicPassBlock(b, p, met) == 0) return step.isTarget ? 0 : met;
  // The rows left over, in the order of the separate stages: acquisition, aperture, bending.
  bool pending = false;
  for (std::size_t i = 0; i < b.n; ++i) {
    const double code = b.odd[i];
    b.odd[i] = 0;
    if (code == detail::kOddAperture) {
      b.kill(i, causeOfDeath::kApertureDoesNotPass, c.place);
    } else if (code == detail::kOddTIR) {
      b.kill(i, causeOfDeath::kTIR, c.place);
    } else if (code == detail::kOddAcquire) {
      if (scratch.rays.empty()) scratch.rays.assign(1, Ray({0, 0, 0}, {0, 0, 1}, 1.0));
      Ray& r = scratch.rays.front();
      rowToRay(b, i, r, waves);
      step.pusher->acquireRay(r, step.coordinatesReflected);
      rayToRow(r, b, i, c.place);
      if (!b.alive[i]) continue;
      if (c.circle) {
        const double dx = b.qx[i] - p.x0, dy = b.qy[i] - p.y0, r2 = dx * dx + dy * dy;
        if (!(p.lo <= r2 && r2 <= p.hi)) {
          b.kill(i, causeOfDeath::kApertureDoesNotPass, c.place);
          continue;
        }
      }
      ++met;
      b.odd[i] = 1;
      pending = true;
    }
  }
  if (pending && c.bend) {
    // The bending kernels for the acquired rows alone: they act on live rows.
    for (std::size_t i = 0; i < b.n; ++i) b.live[i] = b.odd[i];
    if (step.mirror)
      detail::reflectBlock(b);
    else
      detail::refractBlock(b, c.indexByWave.data(), causeOfDeath::kTIR, c.place);
    for (std::size_t i = 0; i < b.n; ++i) b.live[i] = b.alive[i] ? 1.0 : 0.0;
  }
  return step.isTarget ? 0 : met;
}

// One surface for one block, with the thread's own `step`; answers the interactions (live
// rays met by a turner).
std::uint64_t columnStage(BlockScratch& scratch, ColumnStep& c, SurfaceStep& step, const TraceOptions& options,
                          const std::vector<std::shared_ptr<lens::Wave>>& waves) {
  RayBlock& b = scratch.block;
  auto oneRay = [&](auto&& operation) {
    if (scratch.rays.empty()) scratch.rays.assign(1, Ray({0, 0, 0}, {0, 0, 1}, 1.0));
    for (std::size_t i = 0; i < b.n; ++i) {
      if (!b.odd[i]) continue;
      Ray& r = scratch.rays.front();
      rowToRay(b, i, r, waves);
      operation(r);
      rayToRow(r, b, i, c.place);
    }
  };
  if (!c.inColumns) {
    // The one-ray stage for the whole block, frame change included.
    if (scratch.rays.size() < b.n) scratch.rays.resize(b.n, Ray({0, 0, 0}, {0, 0, 1}, 1.0));
    const std::span<Ray> rays(scratch.rays.data(), b.n);
    for (std::size_t i = 0; i < b.n; ++i) rowToRay(b, i, rays[i], waves);
    const std::uint64_t steps = stage(rays, step, options, false, false, false);
    for (std::size_t i = 0; i < b.n; ++i) rayToRow(rays[i], b, i, c.place);
    b.noteSigns();
    return steps;
  }
  const bool refracts = c.bend && !step.mirror;
  if (c.onePass && (!refracts || !b.mayBeNegative)) return onePassStage(scratch, c, step, waves);
  moveBlock(b, step.toLocal);
  auto acquireOne = [&](Ray& r) { step.pusher->acquireRay(r, step.coordinatesReflected); };
  if (c.crossing == ColumnStep::Crossing::Conic) {
    if (detail::conicAcquireBlock(b, step.pusher->curvature(),
                                  static_cast<PusherConicoid&>(*step.pusher).conicConstant(), step.coordinatesReflected))
      oneRay(acquireOne);
  } else {
    const std::size_t left =
        c.crossing == ColumnStep::Crossing::EvenAsphere
            ? detail::evenAsphereAcquireBlock(b, step.pusher->surface()->curvature(),
                                              step.pusher->surface()->conicConstant(), c.asphereTerms.data(),
                                              static_cast<int>(c.asphereTerms.size()), step.coordinatesReflected)
            : newtonAcquireRows(b, static_cast<const PusherIterative&>(*step.pusher), step.coordinatesReflected);
    if (left) {
      gIterativeFallbacks.fetch_add(left, std::memory_order_relaxed);
      oneRay(acquireOne);
    }
  }
  if (c.circle) {
    detail::circularApertureBlock(b, c.circle->decenterX(), c.circle->decenterY(), c.circle->rMin(), c.circle->rMax(),
                                  causeOfDeath::kApertureDoesNotPass, c.place);
  } else if (step.aperture) {
    for (std::size_t i = 0; i < b.n; ++i)
      if (b.alive[i] && !step.aperture->passesPoint(XYZ{b.qx[i], b.qy[i], b.qz[i]}))
        b.kill(i, causeOfDeath::kApertureDoesNotPass, c.place);
  }
  std::uint64_t steps = 0;
  if (step.isTarget) return 0;
  for (std::size_t i = 0; i < b.n; ++i) steps += b.alive[i];
  if (!c.bend) return steps;
  if (step.mirror) {
    detail::reflectBlock(b);
    return steps;
  }
  for (std::size_t w = 0; w < c.waveIsInvalid.size(); ++w) {
    if (!c.waveIsInvalid[w]) continue;
    for (std::size_t i = 0; i < b.n; ++i)
      if (b.alive[i] && b.wave[i] == w) b.kill(i, causeOfDeath::kInvalidIndex, c.place);
  }
  detail::refractBlock(b, c.indexByWave.data(), causeOfDeath::kTIR, c.place);
  b.noteSigns();
  return steps;
}

// Plain rays as the source of columns: each block copied in and out once per trace.
class RaySpanColumns {
 public:
  RaySpanColumns(std::span<Ray> rays, const std::vector<std::string>& nicknames)
      : m_rays(rays), m_nicknames(nicknames) {
    const lens::Wave* last = nullptr;
    std::uint8_t lastIndex = 0;
    m_waveOf.resize(rays.size());
    for (std::size_t i = 0; i < rays.size(); ++i) {
      const lens::Wave* w = rays[i].wave().get();
      if (w != last || i == 0) {
        const auto found = std::find_if(m_waves.begin(), m_waves.end(), [&](const auto& x) { return x.get() == w; });
        if (found == m_waves.end()) {
          if (m_waves.size() == 256) {
            m_tooManyWaves = true;
            return;
          }
          m_waves.push_back(rays[i].wave());
        }
        last = w;
        lastIndex = static_cast<std::uint8_t>(
            std::find_if(m_waves.begin(), m_waves.end(), [&](const auto& x) { return x.get() == w; }) - m_waves.begin());
      }
      m_waveOf[i] = lastIndex;
    }
  }
  bool usable() const { return !m_tooManyWaves; }
  std::size_t size() const { return m_rays.size(); }
  const std::vector<std::shared_ptr<lens::Wave>>& waves() const { return m_waves; }

  void load(std::size_t begin, std::size_t n, BlockScratch& s) const {
    s.pointAtOwnColumns();
    RayBlock& b = s.block;
    b.n = n;
    for (std::size_t i = 0; i < n; ++i) {
      const Ray& r = m_rays[begin + i];
      const XYZ &q = r.position(), &p = r.momentum(), &N = r.surfaceNormal();
      b.qx[i] = q.x, b.qy[i] = q.y, b.qz[i] = q.z, b.px[i] = p.x, b.py[i] = p.y, b.pz[i] = p.z;
      b.nx[i] = N.x, b.ny[i] = N.y, b.nz[i] = N.z;
      b.opl[i] = r.opticalPathLength();
      b.alive[i] = r.isAlive(), b.reflected[i] = r.isReflected(), b.negative[i] = r.indexOfRefractionIsNegative();
      b.wave[i] = m_waveOf[begin + i];
      b.cause[i] = r.tags().causeOfDeath;
      b.diedAt[i] = RayBundle::kNoSurface;
    }
    b.loadLive();
  }

  void store(std::size_t begin, BlockScratch& s) const {
    const RayBlock& b = s.block;
    for (std::size_t i = 0; i < b.n; ++i) {
      Ray& r = m_rays[begin + i];
      r.setPosition({b.qx[i], b.qy[i], b.qz[i]});
      r.setMomentum({b.px[i], b.py[i], b.pz[i]});
      r.setSurfaceNormal({b.nx[i], b.ny[i], b.nz[i]});
      r.setOpticalPathLength(b.opl[i]);
      r.setIsReflected(b.reflected[i]);
      r.setIndexOfRefractionIsNegative(b.negative[i]);
      if (r.isAlive() && !b.alive[i])
        r.kill(b.cause[i], b.diedAt[i] < m_nicknames.size() ? m_nicknames[b.diedAt[i]] : std::string());
    }
  }

 private:
  std::span<Ray> m_rays;
  const std::vector<std::string>& m_nicknames;  // the lens's surfaces', by index
  std::vector<std::shared_ptr<lens::Wave>> m_waves;
  std::vector<std::uint8_t> m_waveOf;
  bool m_tooManyWaves = false;
};

// A bundle is its own columns: a block points into its rows.
class BundleColumns {
 public:
  explicit BundleColumns(RayBundle& bundle) : m_bundle(bundle) {}
  bool usable() const { return true; }
  std::size_t size() const { return m_bundle.size(); }
  const std::vector<std::shared_ptr<lens::Wave>>& waves() const { return m_bundle.waves; }

  void load(std::size_t begin, std::size_t n, BlockScratch& s) const {
    RayBundle& r = m_bundle;
    RayBlock& b = s.block;
    b.n = n;
    b.qx = r.qx.data() + begin, b.qy = r.qy.data() + begin, b.qz = r.qz.data() + begin;
    b.px = r.px.data() + begin, b.py = r.py.data() + begin, b.pz = r.pz.data() + begin;
    b.opl = r.opticalPathLength.data() + begin;
    b.alive = r.alive.data() + begin, b.reflected = r.reflected.data() + begin;
    b.negative = r.indexIsNegative.data() + begin, b.wave = r.wave.data() + begin;
    b.cause = r.causeOfDeath.data() + begin, b.diedAt = r.diedAt.data() + begin;
    std::fill_n(b.nx, n, 0.0), std::fill_n(b.ny, n, 0.0), std::fill_n(b.nz, n, 1.0);
    b.loadLive();
  }
  void store(std::size_t, BlockScratch&) const {}

 private:
  RayBundle& m_bundle;
};

// --- Prepared plans -----------------------------------------------------------------------
// Aiming, solves and the optimiser trace a few rays at a time, thousands of times between
// edits: the plan (pushers, turners, names, column steps, a block's scratch) is made once
// per state of the model and kept with the lens. A kept plan is used by one trace at a
// time: traces of one lens on several threads check out plans of their own. The frames
// are taken afresh on every trace (the system update sets them without announcing).

struct PreparedPlan {
  std::uint64_t revision = 0;                  // modelChangeCount when made
  std::vector<const lens::Surface*> surfaces;  // the lens's surfaces then, in order
  const lens::Surface* target = nullptr;
  bool checkApertures = true;
  double tolerance = 0;
  int bounces = 0;
  Plan plan;
  std::vector<std::string> nicknames;  // of every surface of the lens, by index
  // The column steps for the last wave table traced: its waves and their wavelengths.
  std::vector<std::pair<const lens::Wave*, double>> waveKey;
  std::vector<ColumnStep> columns;
  bool columnsMade = false;
  std::unique_ptr<BlockScratch> scratch;  // the calling thread's

  std::vector<ColumnStep>& columnsFor(const lens::Lens& lens,
                                            const std::vector<std::shared_ptr<lens::Wave>>& waves) {
    bool same = columnsMade && waveKey.size() == waves.size();
    for (std::size_t i = 0; same && i < waves.size(); ++i)
      same = waveKey[i].first == waves[i].get() && (!waves[i] || waveKey[i].second == waves[i]->wavelengthInMicrons());
    if (!same) {
      columns = columnSteps(plan, lens, waves);
      waveKey.clear();
      for (const auto& w : waves) waveKey.emplace_back(w.get(), w ? w->wavelengthInMicrons() : 0.0);
      columnsMade = true;
    }
    return columns;
  }

  BlockScratch& callerScratch() {
    // Default-initialised: make_unique would first clear its 40 kB of columns, which every
    // block overwrites anyway.
    if (!scratch) scratch.reset(new BlockScratch);
    return *scratch;
  }
};

void refreshFrames(Plan& plan) {
  TransformationMatrix currentToGlobal = TransformationMatrix::identity();
  for (SurfaceStep& step : plan.steps) {
    const foundation::OBTransform& frame = step.surface->transform();
    step.toLocal = frame.globalToLocalCoordinateTransformationMatrix() * currentToGlobal;
    currentToGlobal = frame.localToGlobalCoordinateTransformationMatrix();
  }
  if (!plan.visitsNothing) plan.currentToGlobal = currentToGlobal;
}

// The kept plans of every lens that has traced, each known by a weak handle on its lens
// (a new lens at a dead one's address is another lens).
struct KeptPlans {
  const lens::Lens* lens;
  std::weak_ptr<const platform::Object> owner;
  std::vector<std::unique_ptr<PreparedPlan>> idle;
};
std::mutex gKeptMutex;
std::vector<KeptPlans> gKept;
constexpr std::size_t kKeptPerLens = 16;

bool sameOwner(const std::weak_ptr<const platform::Object>& a, const std::weak_ptr<const platform::Object>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

// A plan for tracing `lens` to `target`, kept or new, returned on destruction. Traces that
// change the lens as they go (semidiameter updates) and lenses not held by a shared
// pointer get one of their own.
class PlanLease {
 public:
  PlanLease(lens::Lens& lens, const lens::Surface* target, const TraceOptions& options) : m_lens(lens) {
    const std::uint64_t revision = platform::modelChangeCount();
    const auto& surfaces = lens.surfaceArray();
    if (!options.updateSemidiameters) m_owner = lens.weak_from_this();
    std::vector<std::unique_ptr<PreparedPlan>> stale;  // destroyed outside the lock
    if (!m_owner.expired()) {
      std::lock_guard lock(gKeptMutex);
      std::erase_if(gKept, [&](KeptPlans& k) {
        if (!k.owner.expired()) return false;
        for (auto& p : k.idle) stale.push_back(std::move(p));
        return true;
      });
      for (KeptPlans& k : gKept) {
        if (k.lens != &lens || !sameOwner(k.owner, m_owner)) continue;
        for (std::size_t i = k.idle.size(); i-- > 0;) {
          PreparedPlan& p = *k.idle[i];
          if (p.revision != revision) {
            stale.push_back(std::move(k.idle[i]));
            k.idle.erase(k.idle.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
          }
          if (!m_plan && p.target == target && p.checkApertures == options.checkApertures && fits(p, surfaces)) {
            m_plan = std::move(k.idle[i]);
            k.idle.erase(k.idle.begin() + static_cast<std::ptrdiff_t>(i));
          }
        }
        break;
      }
    }
    if (m_plan) {
      refreshFrames(m_plan->plan);
      return;
    }
    m_plan = std::make_unique<PreparedPlan>();
    PreparedPlan& p = *m_plan;
    p.revision = revision;
    p.target = target;
    p.checkApertures = options.checkApertures;
    p.tolerance = lens.rayAcquisitionTolerance();
    p.bounces = lens.lightPipeMaxBounces();
    for (const auto& s : surfaces) p.surfaces.push_back(s.get());
    p.plan = makePlan(lens, target, options);
    for (const auto& s : surfaces) p.nicknames.push_back(s->nickname());
  }

  ~PlanLease() {
    if (m_owner.expired() || !m_plan) return;
    std::unique_ptr<PreparedPlan> dropped;
    std::lock_guard lock(gKeptMutex);
    auto kept = std::find_if(gKept.begin(), gKept.end(),
                             [&](const KeptPlans& k) { return k.lens == &m_lens && sameOwner(k.owner, m_owner); });
    if (kept == gKept.end()) kept = gKept.insert(gKept.end(), KeptPlans{&m_lens, m_owner, {}});
    if (kept->idle.size() >= kKeptPerLens) {
      dropped = std::move(kept->idle.front());
      kept->idle.erase(kept->idle.begin());
    }
    kept->idle.push_back(std::move(m_plan));
  }

  PlanLease(const PlanLease&) = delete;
  PlanLease& operator=(const PlanLease&) = delete;

  PreparedPlan& operator*() const { return *m_plan; }
  PreparedPlan* operator->() const { return m_plan.get(); }

 private:
  bool fits(const PreparedPlan& p, const std::vector<std::shared_ptr<lens::Surface>>& surfaces) const {
    if (p.tolerance != m_lens.rayAcquisitionTolerance() || p.bounces != m_lens.lightPipeMaxBounces()) return false;
    if (p.surfaces.size() != surfaces.size()) return false;
    for (std::size_t i = 0; i < surfaces.size(); ++i)
      if (p.surfaces[i] != surfaces[i].get()) return false;
    return true;
  }

  lens::Lens& m_lens;
  std::weak_ptr<const platform::Object> m_owner;
  std::unique_ptr<PreparedPlan> m_plan;
};

// Every block through every surface; none when cancelled. Blocks are independent, so
// they are spread over the cores, each thread with pushers and turners of its own (the
// one-ray stage's keep scratch state), unless a surface changes the lens per ray (the
// diffuser's random draw). Pool threads have no cancelled flag of their own: they poll
// the calling worker's, between blocks.
template <class Source>
std::optional<std::uint64_t> traceColumns(const Source& source, PreparedPlan& prepared, lens::Lens& lens,
                                          const TraceOptions& options) {
  Plan& plan = prepared.plan;
  std::vector<ColumnStep>& steps = prepared.columnsFor(lens, source.waves());
  const std::size_t blocks = (source.size() + kBlock - 1) / kBlock;
  const std::atomic<bool>* cancelFlag = platform::currentThreadCancelledFlag();
  std::atomic<bool> cancelled{false};
  auto traceBlocks = [&](std::size_t first, std::size_t last, BlockScratch& scratch, bool own) -> std::uint64_t {
    scratch.prepare(plan, lens, own);
    std::uint64_t count = 0;
    for (std::size_t k = first; k < last; ++k) {
      if (cancelled.load(std::memory_order_relaxed) || (cancelFlag && cancelFlag->load(std::memory_order_relaxed))) {
        cancelled = true;
        break;
      }
      const std::size_t begin = k * kBlock;
      source.load(begin, std::min(kBlock, source.size() - begin), scratch);
      for (std::size_t j = 0; j < steps.size(); ++j)
        count += columnStage(scratch, steps[j], *scratch.steps[j], options, source.waves());
      moveBlock(scratch.block, plan.currentToGlobal);
      source.store(begin, scratch);
    }
    return count;
  };
  // Below about 2.6 × 10⁵ rays a trace stays on the calling thread: measured on the spot
  // diagram (9 × 10⁴ rays, a fresh worker thread per run), handing the blocks to the pool
  // cost more than the trace itself.
  const std::size_t parallelBlocks =
      options.parallelFromRays ? (options.parallelFromRays + kBlock - 1) / kBlock : kParallelBlocks;
  const bool parallel = blocks >= parallelBlocks &&
                        std::all_of(steps.begin(), steps.end(), [](const ColumnStep& c) { return c.threadable; });
  std::uint64_t count = 0;
  if (parallel) {
    tbb::enumerable_thread_specific<std::unique_ptr<BlockScratch>> scratches(
        [] { return std::unique_ptr<BlockScratch>(new BlockScratch); });
    count = tbb::parallel_reduce(
        tbb::blocked_range<std::size_t>(0, blocks, 2), std::uint64_t{0},
        [&](const tbb::blocked_range<std::size_t>& r, std::uint64_t sum) {
          return sum + traceBlocks(r.begin(), r.end(), *scratches.local(), true);
        },
        std::plus<>());
  } else {
    count = traceBlocks(0, blocks, prepared.callerScratch(), false);
  }
  if (cancelled || platform::currentThreadIsCancelled()) return std::nullopt;
  return count;
}

// The surface loop; answers the interactions counted, or none when cancelled.
// `recordTrajectories` and `anyEmitter`: whether any ray records or has an emitter.
template <class R>
std::optional<std::uint64_t> traceSurfaces(lens::Lens& lens, std::span<R> rays, const lens::Surface* target,
                                           const TraceOptions& options, bool recordTrajectories, bool anyEmitter) {
  lens::Surface& object = *lens.surfaceArray().front();
  const bool objectAtInfinity = isInfinite(object.thickness());
  if (options.updateSemidiameters) {
    if (object.semidiameterSolveType() == lens::Surface::kSemiAutomatic)
      object.setSemidiameter(objectAtInfinity ? 0.0 : maximumRadius<R>(rays));
    if (auto floating = std::dynamic_pointer_cast<lens::FloatingAperture>(object.apertureObject()))
      floating->followSemidiameter(object.semidiameter());
  }
  // The surface loop starts after the object surface, so an emitter there revives its
  // rays here: they start on it like the object's own rays.
  if (anyEmitter)
    for (R& r : rays)
      if (!r.isAlive() && r.emitter() == &object) r.setIsAlive(true);
  // A ray dead on entry records nothing until an emitter surface revives it.
  if (recordTrajectories)
    for (R& r : rays)
      if (!r.isAlive() && r.trajectory()) r.setTrajectoryIsFrozen(true);
  if (recordTrajectories && !objectAtInfinity)
    for (R& r : rays)
      if (r.isAlive() && r.trajectory()) r.trajectory()->push_back(RayVertex{0, r.position(), r.momentum(), &object});
  PlanLease prepared(lens, target, options);
  Plan& planned = prepared->plan;
  if (planned.visitsNothing) return 0;
  std::vector<SurfaceStep>& plan = planned.steps;
  const TransformationMatrix& currentToGlobal = planned.currentToGlobal;

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
  // in cache, with the same result as crossing the surfaces one by one. Plain rays go as
  // columns; trajectories, emitters, framed rays and paraxial traces ray by ray.
  if constexpr (std::is_same_v<R, Ray>) {
    if (!options.paraxially && !recordTrajectories && !anyEmitter) {
      RaySpanColumns columns(rays, prepared->nicknames);
      if (columns.usable()) return traceColumns(columns, *prepared, lens, options);
    }
  }
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
    return stepsPerSecond(traceSurfaces(lens, rays, target, options, recordTrajectories, anyEmitter), start);
  } catch (const platform::Exception& e) {
    noteTraceFailure(lens, e);
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

double traceRays(lens::Lens& lens, RayBundle& bundle, const lens::Surface* toSurface, const TraceOptions& options) {
  if (options.paraxially || options.updateSemidiameters) {
    std::vector<Ray> rays = bundle.rays();
    const double rate = traceRaysImpl(lens, std::span<Ray>(rays), toSurface, options);
    RayBundle traced;
    traced.waves = std::move(bundle.waves), traced.fields = std::move(bundle.fields);
    traced.surfaceNicknames = std::move(bundle.surfaceNicknames);
    traced.reserve(rays.size());
    for (const Ray& r : rays) traced.append(r);
    bundle = std::move(traced);
    return rate;
  }
  lens.setWarningReTrace(std::nullopt);
  const auto& surfaces = lens.surfaceArray();
  if (surfaces.empty()) return 0.0;
  const lens::Surface* target = toSurface ? toSurface : surfaces.back().get();
  std::optional<PlanLease> prepared;
  try {
    prepared.emplace(lens, target, options);
  } catch (const platform::Exception& e) {
    noteTraceFailure(lens, e);
    throw;
  }
  // Places of death index the lens's surfaces; earlier deaths keep their names.
  const std::vector<std::string>& names = (*prepared)->nicknames;
  // A bundle without names (a fresh one) has no place to carry over: no pass over its rows,
  // which would run on the calling thread alone.
  if (bundle.surfaceNicknames.empty()) {
    bundle.surfaceNicknames = names;
  } else if (names != bundle.surfaceNicknames) {
    std::vector<std::string> nicknames = names;
    const std::size_t known = bundle.surfaceNicknames.size();
    for (std::size_t i = 0; i < bundle.size(); ++i) {
      if (bundle.diedAt[i] >= known) continue;
      const auto found = std::find(nicknames.begin(), nicknames.end(), bundle.surfaceNicknames[bundle.diedAt[i]]);
      if (found == nicknames.end()) nicknames.push_back(bundle.surfaceNicknames[bundle.diedAt[i]]);
      bundle.diedAt[i] = static_cast<std::uint16_t>(
          std::find(nicknames.begin(), nicknames.end(), bundle.surfaceNicknames[bundle.diedAt[i]]) - nicknames.begin());
    }
    bundle.surfaceNicknames = std::move(nicknames);
  }
  try {
    // Rows whose wave index is past the table take the primary wave.
    // One pass for the largest index (a reduction that vectorises) spares the row-by-row
    // look-up when every index used is in the table: this runs on the calling thread alone.
    std::uint8_t top = 0;
    const std::uint8_t* waveOf = bundle.wave.data();
    for (std::size_t i = 0; i < bundle.size(); ++i) top = std::max(top, waveOf[i]);
    bool allKnown = top < bundle.waves.size();
    for (std::size_t w = 0; allKnown && w <= top; ++w) allKnown = bundle.waves[w] != nullptr;
    std::uint8_t primary = 0;
    bool primaryKnown = false;
    for (std::size_t i = 0; i < bundle.size() && !allKnown; ++i) {
      if (bundle.wave[i] < bundle.waves.size() && bundle.waves[bundle.wave[i]]) continue;
      if (!primaryKnown) primary = bundle.waveIndex(lens.primaryWave()), primaryKnown = true;
      bundle.wave[i] = primary;
    }
    const auto start = std::chrono::steady_clock::now();
    if ((*prepared)->plan.visitsNothing) return 0.0;
    return stepsPerSecond(traceColumns(BundleColumns(bundle), **prepared, lens, options), start);
  } catch (const platform::Exception& e) {
    noteTraceFailure(lens, e);
    throw;
  }
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

std::uint64_t iterativeFallbackRays() { return gIterativeFallbacks.load(std::memory_order_relaxed); }

namespace {
void updateSemidiametersWith(lens::Lens& lens, const TraceOptions& options) {
  const auto count = static_cast<std::uint32_t>(std::max(0, lens.numberOfRaysPerField()));
  // No rays (a generation warning) leave the semidiameters as they are. The fan is made
  // (and aimed) in columns and traced as a bundle.
  RayBundle rays;
  if (fillBundleForFields(rays, lens, lens.fieldArray(), pupil::yFan(count))) traceRays(lens, rays, nullptr, options);
}
}  // namespace

void updateSemidiameters(lens::Lens& lens) { updateSemidiametersWith(lens, {true, false, true, true}); }

void updateSemidiametersUsingRealRays(lens::Lens& lens) { updateSemidiametersWith(lens, {false, true, true, false}); }

}  // namespace orb::tracing
