#include "tracing/TurnerLightPipe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "geometry/solids/R3Torus.h"
#include "lens/Elbow.h"
#include "lens/LightPipe.h"
#include "platform/Exception.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {

using foundation::XYZ;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

XYZ normalized(const XYZ& v) {
  const double n = std::sqrt(dot(v, v));
  return n > 0 ? XYZ{v.x / n, v.y / n, v.z / n} : v;
}

bool isFinite(const XYZ& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The smallest crossing beyond epsilon: from inside a tube that is the wall ahead, never
// the far side of the tube.
double nearestBeyond(const double* t, int n, double epsilon) {
  double best = kInfinity;
  for (int i = 0; i < n; ++i)
    if (t[i] > epsilon && t[i] < best) best = t[i];
  return best;
}

template <class Pipe>
const Pipe& pipeOf(const SurfaceShape* shape, const char* name, const char* reason) {
  const auto* pipe = dynamic_cast<const Pipe*>(shape ? shape->lensSurface() : nullptr);
  if (!pipe) platform::Exception::raise(name, "%s", reason);
  return *pipe;
}

}  // namespace

// --- Walls --------------------------------------------------------------------------------

PipeWall PipeWall::of(const geometry::R3Surface& surface) {
  PipeWall w;
  if (auto* plane = dynamic_cast<const geometry::R3Plane*>(&surface)) {
    w.kind = Kind::Plane;
    w.a = plane->a(), w.b = plane->b(), w.c = plane->c(), w.d = plane->d();
  } else if (auto* torus = dynamic_cast<const geometry::R3Torus*>(&surface)) {
    w.kind = Kind::Torus;
    w.torus = torus;
  } else if (auto* quadric = dynamic_cast<const geometry::R3Quadric*>(&surface)) {
    w.kind = Kind::Quadric;
    w.quadric = quadric;
  } else {
    platform::Exception::raise("NSInternalInconsistencyException", "A pipe wall must be a plane, a quadric or a torus");
  }
  return w;
}

int PipeWall::crossings(const XYZ& p, const XYZ& m, double* t) const {
  switch (kind) {
    case Kind::Plane: {
      const double den = a * m.x + b * m.y + c * m.z;
      if (den == 0) return 0;
      t[0] = (d - (a * p.x + b * p.y + c * p.z)) / den;
      return 1;
    }
    case Kind::Quadric: return quadric->lineRoots(p, m, t);
    case Kind::Torus: return torus->lineRoots(p, m, t);
  }
  return 0;
}

XYZ PipeWall::normalAt(const XYZ& p) const {
  switch (kind) {
    case Kind::Plane: return normalized({a, b, c});
    case Kind::Quadric: return normalized(quadric->gradientAt(p));
    case Kind::Torus: return torus->normalAt(p);
  }
  return {0, 0, 0};
}

bool PipeWall::isOutside(const XYZ& p) const {
  switch (kind) {
    case Kind::Plane: return a * p.x + b * p.y + c * p.z - d > 0;
    case Kind::Quadric: return quadric->valueAt(p) > 0;
    case Kind::Torus: return torus->isOutside(p);
  }
  return false;
}

// --- The bounce loop ----------------------------------------------------------------------

void PipeTurner::takeWalls(std::vector<std::shared_ptr<geometry::R3Surface>> surfaces, const lens::Surface& surface,
                           double numericalAperture) {
  m_surfaces = std::move(surfaces);
  m_walls.clear();
  for (const auto& s : m_surfaces) m_walls.push_back(PipeWall::of(*s));
  m_transform = surface.transform();
  m_lensSurface = &surface;
  m_numericalAperture = numericalAperture;
  m_reflector.setSurface(ConicShape::make(0, 0, m_nickname));
}

void PipeTurner::updateTrajectoryForRay(Ray& ray) const {
  if (!ray.trajectory() || ray.trajectoryIsFrozen()) return;
  ray.addVertex(RayVertex{0, m_transform.transformToGlobal(ray.position()), m_transform.rotateToGlobal(ray.momentum()),
                          m_lensSurface});
  if (!ray.isAlive()) ray.setTrajectoryIsFrozen(true);
}

bool PipeTurner::outsideSomeWall(const XYZ& p) const {
  for (std::size_t i = 1; i < m_walls.size(); ++i)
    if (m_walls[i].isOutside(p)) return true;
  return false;
}

void PipeTurner::processRay(Ray& ray) {
  if (!ray.isAlive() || m_walls.size() < 2) return;
  auto* framed = dynamic_cast<RayWithFrame*>(&ray);
  const int limit = std::max(lightPipeMaxBounces(), 0);
  int bounces = 0;
  // The hit sets are bit masks: a pipe has at most 99 sides and its two faces.
  constexpr std::size_t kWords = 2;
  using Mask = std::array<std::uint64_t, kWords>;
  auto has = [](const Mask& m, std::size_t i) { return (m[i / 64] >> (i % 64)) & 1; };
  auto put = [](Mask& m, std::size_t i) { m[i / 64] |= std::uint64_t{1} << (i % 64); };
  Mask previous{}, hits{};
  put(previous, 0);  // the ray stands on the entrance face
  const std::size_t walls = std::min(m_walls.size(), kWords * 64);

  for (;;) {
    updateTrajectoryForRay(ray);
    XYZ p = ray.position();
    const XYZ m = ray.momentum();

    hits = Mask{};
    bool anyHit = false;
    double best = kInfinity;
    for (std::size_t i = firstCandidate(); i < walls; ++i) {
      const double t = candidate(i, p, m, bounces, has(previous, i));
      if (!std::isfinite(t) || t <= 0) continue;
      if (t < best - 0.0001) hits = Mask{}, anyHit = false;
      if (!anyHit || std::abs(t - best) < 1e-6) {
        put(hits, i);
        anyHit = true;
        best = t;
      }
    }
    if (!anyHit) {
      ray.kill(causeOfDeath::kMissesAllPipeSurfaces, m_nickname);
      return;
    }

    p = XYZ{p.x + best * m.x, p.y + best * m.y, p.z + best * m.z};
    // One wall, or the mean plane of several met together (an edge or a corner).
    XYZ n{0, 0, 0};
    for (std::size_t i = 0; i < walls; ++i) {
      if (!has(hits, i)) continue;
      const XYZ ni = m_walls[i].normalAt(p);
      n = XYZ{n.x + ni.x, n.y + ni.y, n.z + ni.z};
    }
    n = normalized(n);

    ray.incrementOpticalPathLength(dot(m, m) * best);
    ray.setPosition(p);
    ray.setSurfaceNormal(n);
    if (framed) {
      framed->updateTransferMatrixForReducedPathLength(best);
      framed->setDazed(true);
    }
    if (has(hits, 1)) return;  // on the exit face
    if (has(hits, 0)) {
      ray.kill(causeOfDeath::kBounceback, m_nickname);
      return;
    }
    if (m_numericalAperture > 0 && dot(m, n) > m_numericalAperture) {
      ray.kill(causeOfDeath::kFTIR, m_nickname);
      return;
    }
    if (framed)
      m_reflector.reflectRay(*framed);
    else
      m_reflector.reflectRay(ray);
    if (bounces == limit) {
      ray.kill(causeOfDeath::kTooManyBounces, m_nickname);
      return;
    }
    ++bounces;
    previous = hits;
  }
}

// --- Polygonal pipes ------------------------------------------------------------------------

void TurnerLightPipe::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  const auto& pipe = pipeOf<lens::LightPipe>(surface.get(), "TurnerLightPipe",
                                             "Must have LightPipe class for TurnerLightPipe");
  Turner::setSurface(std::move(surface));
  auto planes = pipe.planes();
  takeWalls({planes.begin(), planes.end()}, pipe, pipe.numericalAperture());
}

bool TurnerLightPipe::rejectsRay(const Ray& ray) const {
  const XYZ& p = ray.position();
  if (!isFinite(p)) return true;
  for (std::size_t i = 1; i < m_walls.size(); ++i) {
    const PipeWall& w = m_walls[i];
    if (w.d - (w.a * p.x + w.b * p.y + w.c * p.z) < 1e-10) return true;
  }
  return false;
}

void TurnerLightPipe::validateRay(Ray& ray) {
  if (ray.isAlive() && rejectsRay(ray)) ray.kill(causeOfDeath::kDoesNotEnterPipe, m_nickname);
}

double TurnerLightPipe::candidate(std::size_t i, const XYZ& p, const XYZ& m, int, bool wasHit) const {
  if (wasHit) return kInfinity;
  const PipeWall& w = m_walls[i];
  const double den = w.a * m.x + w.b * m.y + w.c * m.z;
  if (std::abs(den) <= 1e-10) return kInfinity;
  return (w.d - (w.a * p.x + w.b * p.y + w.c * p.z)) / den;
}

// --- Circular pipes -----------------------------------------------------------------------

void TurnerLightPipeGeneric::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  const auto& pipe = pipeOf<lens::LightPipe>(surface.get(), "TurnerLightPipe",
                                             "Must have LightPipe class for TurnerLightPipe");
  Turner::setSurface(std::move(surface));
  takeWalls(pipe.surfaces(), pipe, pipe.numericalAperture());
  m_length = pipe.thickness();
}

bool TurnerLightPipeGeneric::rejectsRay(const Ray& ray) const {
  return !isFinite(ray.position()) || outsideSomeWall(ray.position());
}

void TurnerLightPipeGeneric::refractRay(Ray& ray, double n) {
  if (rejectsRay(ray)) return ray.kill(causeOfDeath::kDoesNotEnterGenericPipe, m_nickname);
  Turner::refractRay(ray, n);
}

void TurnerLightPipeGeneric::refractRay(RayWithFrame& ray, double n) {
  if (rejectsRay(ray)) return ray.kill(causeOfDeath::kDoesNotEnterGenericPipe, m_nickname);
  Turner::refractRay(ray, n);
}

void TurnerLightPipeGeneric::refractRays(std::span<Ray> rays, double n) {
  for (Ray& r : rays)
    if (r.isAlive()) TurnerLightPipeGeneric::refractRay(r, n);
}

template <class R>
void TurnerLightPipeGeneric::passStraight(R& ray) {
  // Straight through the length, as the next surface's pusher would carry it.
  XYZ q = ray.position();
  ray.setPosition({q.x, q.y, q.z - m_length});
  Pusher().paraxiallyAcquireRay(ray);
  q = ray.position();
  ray.setPosition({q.x, q.y, q.z + m_length});
}

void TurnerLightPipeGeneric::paraxiallyRefractRay(Ray& ray, double n) {
  Turner::paraxiallyRefractRay(ray, n);
  passStraight(ray);
}

void TurnerLightPipeGeneric::paraxiallyRefractRay(RayWithFrame& ray, double n) {
  Turner::paraxiallyRefractRay(ray, n);
  passStraight(ray);
}

double TurnerLightPipeGeneric::candidate(std::size_t i, const XYZ& p, const XYZ& m, int, bool wasHit) const {
  double t[4];
  const int n = m_walls[i].crossings(p, m, t);
  // A wall just left is skipped where the ray stands on it.
  return nearestBeyond(t, n, wasHit ? 1e-6 : 0.0);
}

// --- Elbow ----------------------------------------------------------------------------------

void TurnerElbow::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  const auto& elbow = pipeOf<lens::Elbow>(surface.get(), "TurnerElbow", "Must have Elbow class for TurnerElbow");
  Turner::setSurface(std::move(surface));
  takeWalls(elbow.surfaces(), elbow, elbow.numericalAperture());
  m_length = elbow.thickness();
  foundation::TransformStack stack;
  elbow.implementExitFrame(stack);
  foundation::xformGetTop(stack, &m_exitFrame, nullptr);
}

bool TurnerElbow::rejectsRay(const Ray& ray) const {
  return !isFinite(ray.position()) || m_walls.size() < 3 || m_walls[2].isOutside(ray.position());
}

void TurnerElbow::validateRay(Ray& ray) {
  if (ray.isAlive() && rejectsRay(ray)) ray.kill(causeOfDeath::kDoesNotEnterPipe, m_nickname);
}

void TurnerElbow::teleportRay(Ray& ray) const {
  ray.setPosition(foundation::applyToPoint(m_exitFrame, ray.position()));
  ray.setMomentum(foundation::applyToDirection(m_exitFrame, ray.momentum()));
}

void TurnerElbow::passStraight(Ray& ray, bool paraxially) {
  if (!ray.isAlive()) return;
  const XYZ q = ray.position();
  ray.setPosition({q.x, q.y, q.z - m_length});
  Pusher plain;
  auto* framed = dynamic_cast<RayWithFrame*>(&ray);
  if (paraxially) {
    if (framed)
      plain.paraxiallyAcquireRay(*framed);
    else
      plain.paraxiallyAcquireRay(ray);
  } else {
    if (framed)
      plain.acquireRay(*framed);
    else
      plain.acquireRay(ray);
  }
  updateTrajectoryForRay(ray);
  if (ray.isAlive()) teleportRay(ray);
}

void TurnerElbow::paraxiallyProcessRay(Ray& ray) { passStraight(ray, true); }
void TurnerElbow::straightlineProcessRay(Ray& ray) { passStraight(ray, false); }

double TurnerElbow::candidate(std::size_t i, const XYZ& p, const XYZ& m, int bounces, bool wasHit) const {
  double t[4];
  int n = m_walls[i].crossings(p, m, t);
  if (n == 0) return kInfinity;
  // After a reflection the crossing nearest zero is the point the ray stands on.
  if (bounces > 0 && n >= 2) {
    int nearest = 0;
    for (int k = 1; k < n; ++k)
      if (std::abs(t[k]) < std::abs(t[nearest])) nearest = k;
    for (int k = nearest; k + 1 < n; ++k) t[k] = t[k + 1];
    --n;
  }
  const double best = nearestBeyond(t, n, 0.0);
  if (!std::isfinite(best) || (wasHit && std::abs(best) < 1e-6)) return kInfinity;
  // Only a crossing out of the rod counts.
  const XYZ at{p.x + best * m.x, p.y + best * m.y, p.z + best * m.z};
  return dot(m_walls[i].normalAt(at), m) > 0 ? best : kInfinity;
}

}  // namespace orb::tracing
