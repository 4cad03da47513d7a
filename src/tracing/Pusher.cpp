#include "tracing/Pusher.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "foundation/minimise/Functor.h"
#include "foundation/minimise/VKMath.h"
#include "platform/Log.h"
#include "tracing/RayBlock.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {

using foundation::XY;
using foundation::XYZ;

namespace {

double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The inactive side: against the normal going forwards, along it in reflected coordinates.
bool wrongSide(double S, bool reflected) { return reflected ? S > 0 : S < 0; }

}  // namespace

// --- Pusher: the plane z = 0 ----------------------------------------------------------------

void Pusher::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  m_surface = std::move(surface);
  m_nickname = m_surface ? m_surface->nickname() : std::string();
}

void Pusher::acquireRay(RayWithFrame& ray, bool reflected) {
  const double t = acquire(ray, reflected);
  if (ray.isAlive()) ray.updateTransferMatrixForReducedPathLength(t);
}

void Pusher::acquireRays(std::span<Ray> rays, bool reflected) {
  for (Ray& r : rays)
    if (r.isAlive()) acquire(r, reflected);
}

double Pusher::acquire(Ray& ray, bool) {
  const XYZ& q = ray.position();
  const XYZ& p = ray.momentum();
  const double t = -q.z / p.z;
  // A ray parallel to the plane never reaches it; left alive it would carry NaNs on.
  if (!std::isfinite(t)) {
    ray.kill(causeOfDeath::kMissedSurface, m_nickname);
    return 0;
  }
  const XY q1{q.x + p.x * t, q.y + p.y * t};
  ray.setSurfaceNormal(m_surface ? m_surface->surfaceNormalAtQ(q1) : XYZ{0, 0, 1});
  ray.incrementOpticalPathLength(dot(p, p) * t);
  ray.setPosition(XYZ{q1.x, q1.y, 0});
  return t;
}

void Pusher::paraxiallyAcquireRay(Ray& ray) {
  const XYZ& q = ray.position();
  const XYZ& p = ray.momentum();
  const double d = -q.z;
  ray.setPosition(XYZ{q.x + p.x / p.z * d, q.y + p.y / p.z * d, 0});
  ray.incrementOpticalPathLength(ray.indexOfRefraction() * d);
}

void Pusher::paraxiallyAcquireRay(RayWithFrame& ray) {
  const double d = -ray.z();
  Pusher::paraxiallyAcquireRay(static_cast<Ray&>(ray));
  ray.updateTransferMatrixForReducedPathLength(d / ray.indexOfRefraction());
}

void PusherParaxial::paraxiallyAcquireRay(RayWithFrame& ray) { acquireRay(ray); }

// --- Quadrics ---------------------------------------------------------------------------------

PusherConicoid::PusherConicoid(double curvature, double conicConstant, std::string nickname)
    : m_c(curvature), m_k(conicConstant) {
  m_nickname = std::move(nickname);
}

void PusherConicoid::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  Pusher::setSurface(std::move(surface));
  m_c = m_surface ? m_surface->curvature() : 0;
  m_k = m_surface ? m_surface->conicConstant() : 0;
}

void PusherConicX::acquireRays(std::span<Ray> rays, bool reflected) {
  for (Ray& r : rays)
    if (r.isAlive()) PusherConicX::acquire(r, reflected);  // qualified: no virtual call per ray
}
void PusherConicY::acquireRays(std::span<Ray> rays, bool reflected) {
  for (Ray& r : rays)
    if (r.isAlive()) PusherConicY::acquire(r, reflected);  // qualified: no virtual call per ray
}
void PusherTilted::acquireRays(std::span<Ray> rays, bool reflected) {
  for (Ray& r : rays)
    if (r.isAlive()) PusherTilted::acquire(r, reflected);  // qualified: no virtual call per ray
}

namespace {

enum class ConicAxes { Both, XOnly, YOnly };

// The crossing of c((K + 1)z² + wx·x² + wy·y²) − 2z = 0: the root that tends to the
// vertex-plane crossing as c → 0 (t1 = e/Q, free of cancellation for flat surfaces), or
// the far root Q/a when t1 meets the inactive side. NaN for a miss, +∞ when the far root
// does not exist (the caller tells the two deaths apart through `farRootFailed`).
template <ConicAxes axes>
double conicCrossing(const XYZ& q, const XYZ& p, double c, double k, bool reflected, bool& farRootFailed) {
  constexpr double wx = axes == ConicAxes::YOnly ? 0 : 1;
  constexpr double wy = axes == ConicAxes::XOnly ? 0 : 1;
  const double k1 = k + 1;
  const double a = c * (wx * p.x * p.x + wy * p.y * p.y + k1 * p.z * p.z);
  const double b = 2 * (c * (wx * q.x * p.x + wy * q.y * p.y + k1 * q.z * p.z) - p.z);
  const double e = c * (wx * q.x * q.x + wy * q.y * q.y + k1 * q.z * q.z) - 2 * q.z;
  const double D = b * b - 4 * a * e;
  if (D < 0) return std::numeric_limits<double>::quiet_NaN();
  const double Q = -(b + (b > 0 ? 1 : -1) * std::sqrt(D)) / 2;
  double t = e / Q;
  const XYZ q1{q.x + t * p.x, q.y + t * p.y, q.z + t * p.z};
  const double S = (1 - c * k1 * q1.z) * p.z - wy * c * q1.y * p.y - wx * c * q1.x * p.x;
  if (wrongSide(S, reflected)) {
    t = Q / a;
    if (!std::isfinite(t)) farRootFailed = true;
  }
  return t;
}

}  // namespace

double PusherConicoid::acquire(Ray& ray, bool reflected) {
  const XYZ q = ray.position();
  const XYZ p = ray.momentum();
  double t = 0;
  if (m_c == 0) {
    // A plane. A ray parallel to it never reaches it: killed rather than left alive off
    // the surface, where later surfaces would treat it as acquired.
    if (!(std::abs(p.z) > DBL_MIN)) {
      ray.kill(causeOfDeath::kMissedSurface, m_nickname);
      return 0;
    }
    t = -q.z / p.z;
  } else {
    bool farRootFailed = false;
    t = conicCrossing<ConicAxes::Both>(q, p, m_c, m_k, reflected, farRootFailed);
    if (farRootFailed) {
      ray.kill(causeOfDeath::kUnableToHitActiveSide, m_nickname);
      return 0;
    }
  }
  if (!std::isfinite(t)) {
    ray.kill(causeOfDeath::kMissedSurface, m_nickname);
    return 0;
  }
  const XYZ q1{q.x + t * p.x, q.y + t * p.y, q.z + t * p.z};
  const XYZ g{m_c * q1.x, m_c * q1.y, (m_k + 1) * m_c * q1.z - 1};
  const double L = std::sqrt(dot(g, g));
  ray.setSurfaceNormal(L > 0 ? XYZ{g.x / L, g.y / L, g.z / L} : XYZ{0, 0, 1});
  ray.incrementOpticalPathLength(dot(p, p) * t);
  ray.setPosition(q1);
  return t;
}

namespace {

// A run of rays copied into columns, so that the arithmetic of a whole run compiles to
// packed instructions: the same IEEE operations in the same order as the one-ray code,
// two or more rays per instruction. The run length is fixed so the loops need no
// remainder; slots past the end of a short run hold zeros and are never written back.
constexpr std::size_t kRun = 32;

struct ConicRun {
  double qx[kRun], qy[kRun], qz[kRun], px[kRun], py[kRun], pz[kRun];
  // Results: the new position and normal, the optical path added, and whether the ray
  // took the common way (crossing found, active side, finite): the others go through the
  // one-ray code, which decides their fate with exactly the same arithmetic.
  double x1[kRun], y1[kRun], z1[kRun], nx[kRun], ny[kRun], nz[kRun], dl[kRun];
  double simple[kRun];  // 1 or 0: a double, so the loops stay all-double and vectorise

  void load(const Ray* rays, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const XYZ& q = rays[i].position();
      const XYZ& p = rays[i].momentum();
      qx[i] = q.x, qy[i] = q.y, qz[i] = q.z, px[i] = p.x, py[i] = p.y, pz[i] = p.z;
    }
    for (std::size_t i = n; i < kRun; ++i) qx[i] = qy[i] = qz[i] = px[i] = py[i] = pz[i] = 0;
  }

  // Moves the common rays; `acquireOne` takes the rest.
  template <class AcquireOne>
  void store(Ray* rays, std::size_t n, AcquireOne acquireOne) const {
    for (std::size_t i = 0; i < n; ++i) {
      Ray& ray = rays[i];
      if (!ray.isAlive()) continue;
      if (simple[i] == 0) [[unlikely]] {
        acquireOne(ray);
        continue;
      }
      ray.setSurfaceNormal(XYZ{nx[i], ny[i], nz[i]});
      ray.incrementOpticalPathLength(dl[i]);
      ray.setPosition(XYZ{x1[i], y1[i], z1[i]});
    }
  }
};

bool isFiniteValue(double x) { return std::abs(x) <= DBL_MAX; }  // std::isfinite, in a form that vectorises

}  // namespace

// The span form of acquire, bit for bit the same. The crossing is a long chain of square
// roots and divisions per ray; done a run at a time in columns, the chains of many rays
// overlap and share packed instructions. Rays off the common path (misses, the far root,
// deaths) are rare and take the one-ray code.
void PusherConicoid::acquireRays(std::span<Ray> rays, bool reflected) {
  auto acquireOne = [&](Ray& ray) { PusherConicoid::acquire(ray, reflected); };  // qualified: not virtual
  const double c = m_c, k1 = m_k + 1, ck1 = c * k1, gz = (m_k + 1) * m_c;
  ConicRun run;
  for (std::size_t begin = 0; begin < rays.size(); begin += kRun) {
    const std::size_t n = std::min(kRun, rays.size() - begin);
    Ray* rs = rays.data() + begin;
    run.load(rs, n);
    if (c == 0) {
      // A plane: t = −qz/pz. Its normal (c·x, c·y, 0·z − 1) has length exactly 1 whenever
      // the crossing is finite, so dividing by the length changes nothing and is skipped
      // (checked per ray: any other length goes the one-ray way).
      for (std::size_t i = 0; i < kRun; ++i) {
        const double t = -run.qz[i] / run.pz[i];
        const double x1 = run.qx[i] + t * run.px[i], y1 = run.qy[i] + t * run.py[i], z1 = run.qz[i] + t * run.pz[i];
        const double gx = c * x1, gy = c * y1, gzz = gz * z1 - 1;
        const double gg = gx * gx + gy * gy + gzz * gzz;
        run.x1[i] = x1, run.y1[i] = y1, run.z1[i] = z1;
        run.nx[i] = gx, run.ny[i] = gy, run.nz[i] = gzz;
        run.dl[i] = (run.px[i] * run.px[i] + run.py[i] * run.py[i] + run.pz[i] * run.pz[i]) * t;
        run.simple[i] = std::abs(run.pz[i]) > DBL_MIN && isFiniteValue(t) && gg == 1 ? 1.0 : 0.0;
      }
    } else {
      for (std::size_t i = 0; i < kRun; ++i) {
        const double qx = run.qx[i], qy = run.qy[i], qz = run.qz[i];
        const double px = run.px[i], py = run.py[i], pz = run.pz[i];
        // conicCrossing<ConicAxes::Both>, its unit weights dropped (exact).
        const double a = c * (px * px + py * py + k1 * pz * pz);
        const double b = 2 * (c * (qx * px + qy * py + k1 * qz * pz) - pz);
        const double e = c * (qx * qx + qy * qy + k1 * qz * qz) - 2 * qz;
        const double D = b * b - 4 * a * e;
        const double Q = -(b + (b > 0 ? 1.0 : -1.0) * std::sqrt(D)) / 2;
        const double t = e / Q;
        const double x1 = qx + t * px, y1 = qy + t * py, z1 = qz + t * pz;
        const double S = (1 - ck1 * z1) * pz - c * y1 * py - c * x1 * px;
        // The normal, as acquire makes it.
        const double gx = c * x1, gy = c * y1, gzz = gz * z1 - 1;
        const double L = std::sqrt(gx * gx + gy * gy + gzz * gzz);
        run.x1[i] = x1, run.y1[i] = y1, run.z1[i] = z1;
        run.nx[i] = gx / L, run.ny[i] = gy / L, run.nz[i] = gzz / L;
        run.dl[i] = (px * px + py * py + pz * pz) * t;
        run.simple[i] = D >= 0 && !wrongSide(S, reflected) && isFiniteValue(t) && L > 0 ? 1.0 : 0.0;
      }
    }
    run.store(rs, n, acquireOne);
  }
}

namespace {

template <ConicAxes axes>
double acquireOneAxis(Ray& ray, bool reflected, double c, double k, const std::string& nickname) {
  const XYZ q = ray.position();
  const XYZ p = ray.momentum();
  double t = 0;
  if (c == 0) {
    t = -q.z / p.z;
  } else {
    bool farRootFailed = false;
    t = conicCrossing<axes>(q, p, c, k, reflected, farRootFailed);
    if (farRootFailed) {
      platform::log("PusherConicoid acquireRay: %s coordinatesReflected: %d --> UNABLE TO HIT ACTIVE SIDE OF SURFACE",
                    ray.description().c_str(), reflected ? 1 : 0);
      ray.kill(causeOfDeath::kUnableToHitActiveSide, nickname);
      return 0;
    }
  }
  if (!std::isfinite(t)) {
    ray.kill(causeOfDeath::kMissedSurface, nickname);
    return 0;
  }
  const XYZ q1{q.x + t * p.x, q.y + t * p.y, q.z + t * p.z};
  const XYZ g = axes == ConicAxes::XOnly ? XYZ{-c * q1.x, 0, 1 - (k + 1) * c * q1.z}
                                         : XYZ{0, -c * q1.y, 1 - (k + 1) * c * q1.z};
  const double L = std::sqrt(dot(g, g));
  ray.setSurfaceNormal(L > 0 ? XYZ{g.x / L, g.y / L, g.z / L} : XYZ{0, 0, 0});
  ray.incrementOpticalPathLength(dot(p, p) * t);
  ray.setPosition(q1);
  return t;
}

}  // namespace

double PusherConicX::acquire(Ray& ray, bool reflected) {
  return acquireOneAxis<ConicAxes::XOnly>(ray, reflected, m_c, m_k, m_nickname);
}

double PusherConicY::acquire(Ray& ray, bool reflected) {
  return acquireOneAxis<ConicAxes::YOnly>(ray, reflected, m_c, m_k, m_nickname);
}

// --- Tilted plane ------------------------------------------------------------------------------

void PusherTilted::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  Pusher::setSurface(std::move(surface));
  const XY tilt = m_surface ? m_surface->tilt() : XY{0, 0};
  m_tx = tilt.x;
  m_ty = tilt.y;
}

double PusherTilted::acquire(Ray& ray, bool reflected) {
  const XYZ q = ray.position();
  const XYZ p = ray.momentum();
  const double t = -(m_tx * q.x + m_ty * q.y - q.z) / (m_tx * p.x + m_ty * p.y - p.z);
  if (!std::isfinite(t)) {
    ray.kill(causeOfDeath::kMissedSurface, m_nickname);
    return 0;
  }
  const double L = std::sqrt(m_tx * m_tx + m_ty * m_ty + 1);
  const XYZ N{-m_tx / L, -m_ty / L, 1 / L};
  if (wrongSide(dot(p, N), reflected)) {
    platform::log("PusherTilted surface miss for ray: %s", ray.description().c_str());
    ray.kill(causeOfDeath::kPusherTiltedSurfaceMiss, m_nickname);
    return 0;
  }
  ray.incrementOpticalPathLength(dot(p, p) * t);
  ray.setPosition(XYZ{q.x + t * p.x, q.y + t * p.y, q.z + t * p.z});
  ray.setSurfaceNormal(N);
  return t;
}

// --- Iterative and implicit -------------------------------------------------------------------

namespace {

/// The pusher's crossing function as a Functor, without allocation.
class CrossingFunctor final : public foundation::Functor {
 public:
  explicit CrossingFunctor(const PusherIterative& pusher) : m_pusher(pusher) {}
  double valueAt(double t) const override { return m_pusher.crossingFunction(t); }

 private:
  const PusherIterative& m_pusher;
};

}  // namespace

void PusherIterative::setStateFromRay(const Ray& ray) {
  m_q = ray.position();
  m_p = ray.momentum();
  m_t = 0;
  m_increment = 0;
}

void PusherIterative::moveToReducedPathLength(double T) {
  if (T == m_t) return;
  const double d = T - m_t;
  m_q = XYZ{m_q.x + m_p.x * d, m_q.y + m_p.y * d, m_q.z + m_p.z * d};
  m_increment += dot(m_p, m_p) * d;
  m_t = T;
}

double PusherIterative::crossingFunction(double t) const {
  const XY q{m_q.x + m_p.x * t, m_q.y + m_p.y * t};
  const double sag = m_surface->validQ(q) ? m_surface->sagAtQ(q) : m_surface->sagAtMaximumRadius();
  return m_q.z + m_p.z * t - sag;
}

double PusherIterative::newtonCrossing(const XYZ& q, const XYZ& p, double t) const {
  // The settling rule of the column kernel (detail::evenAsphereAcquireBlock), so that both
  // stop at the same root to the last few ulps.
  constexpr double kSettled = 8 * DBL_EPSILON;
  const double reach = std::abs(p.x) + std::abs(p.y) + std::abs(p.z);
  const double start = std::abs(q.x) + std::abs(q.y) + std::abs(q.z);
  double last = 0;
  for (int step = 0; step < detail::kNewtonSteps; ++step) {
    const XY xy{q.x + p.x * t, q.y + p.y * t};
    const double z = q.z + p.z * t;
    if (!m_surface->validQ(xy)) break;
    // With N = (−∂z/∂x, −∂z/∂y, 1)/ℓ the crossing function's slope is −(N·p)/N.z.
    const XYZ N = m_surface->surfaceNormalAtQ(xy);
    const double dt = (m_surface->sagAtQ(xy) - z) / (-dot(N, p) / N.z);
    const double t1 = t - dt;
    if (!std::isfinite(t1)) break;
    t = t1;
    const double tiny = kSettled * (std::abs(xy.x) + std::abs(xy.y) + std::abs(z) + start + std::abs(t) * reach);
    const double moved = std::abs(dt);
    if (moved * reach <= tiny || moved * moved * moved * reach <= tiny * last * last) return t;
    last = moved;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

bool PusherIterative::acquireByNewton(XYZ& q, const XYZ& p, bool reflected, double& increment, XYZ& normal) const {
  if (!m_surface) return false;
  // The start of the column kernel: the base conic's near root, else the vertex plane's.
  const double c = m_surface->curvature(), k1 = m_surface->conicConstant() + 1;
  const double a = c * (p.x * p.x + p.y * p.y + k1 * p.z * p.z);
  const double b = 2 * (c * (q.x * p.x + q.y * p.y + k1 * q.z * p.z) - p.z);
  const double e = c * (q.x * q.x + q.y * q.y + k1 * q.z * q.z) - 2 * q.z;
  const double D = b * b - 4 * a * e;
  double t = D >= 0 ? e / (-(b + (b > 0 ? 1 : -1) * std::sqrt(D)) / 2) : std::numeric_limits<double>::quiet_NaN();
  if (!std::isfinite(t)) t = -q.z / p.z;
  if (!std::isfinite(t)) return false;
  t = newtonCrossing(q, p, t);
  if (!std::isfinite(t)) return false;
  const XYZ q1{q.x + p.x * t, q.y + p.y * t, q.z + p.z * t};
  const XYZ N = m_surface->surfaceNormalAtQ(XY{q1.x, q1.y});
  if (wrongSide(dot(p, N), reflected)) return false;
  q = q1;
  increment = dot(p, p) * t;
  normal = N;
  return true;
}

double PusherIterative::acquire(Ray& ray, bool reflected) {
  if (!m_surface) return Pusher::acquire(ray, reflected);
  setStateFromRay(ray);
  const CrossingFunctor f(*this);
  const auto bracket = foundation::VKMath::findIntervalContainingRootOfFunctor(f, foundation::VKInterval(0, 1));
  double t = bracket ? foundation::VKMath::bisectToFindRootOfFunctor(f, *bracket, m_tolerance)
                     : std::numeric_limits<double>::infinity();
  // Bisection leaves the hit up to the tolerance off the surface: Newton's steps from there
  // finish it, unless they wander off the root the bracket holds.
  if (std::isfinite(t)) {
    const double polished = newtonCrossing(m_q, m_p, t);
    if (std::abs(polished - t) <= m_tolerance) t = polished;
  }
  ray.setSurfaceNormal(XYZ{0, 0, 1});
  if (!std::isfinite(t)) {
    ray.kill(causeOfDeath::kMissesSurface, m_nickname);
    return 0;
  }
  return finish(ray, reflected, t, true);
}

double PusherIterative::finish(Ray& ray, bool reflected, double t, bool testValidity) {
  moveToReducedPathLength(t);
  ray.incrementOpticalPathLength(m_increment);
  ray.setPosition(m_q);
  const XY q{m_q.x, m_q.y};
  if (testValidity && !m_surface->validQ(q)) {
    ray.kill(causeOfDeath::kInvalidCoord, m_nickname);
    return t;
  }
  const XYZ N = testValidity ? m_surface->surfaceNormalAtQ(q) : m_surface->surfaceNormalAtPosition(m_q);
  ray.setSurfaceNormal(N);
  if (wrongSide(dot(m_p, N), reflected)) ray.kill(causeOfDeath::kDidNotHitActiveSide, m_nickname);
  return t;
}

double PusherImplicit::crossingFunction(double t) const {
  return m_surface->implicitFunctionAtPosition(XYZ{m_q.x + m_p.x * t, m_q.y + m_p.y * t, m_q.z + m_p.z * t});
}

double PusherImplicit::acquire(Ray& ray, bool reflected) {
  if (!m_surface) return Pusher::acquire(ray, reflected);
  setStateFromRay(ray);
  const CrossingFunctor f(*this);
  const auto bracket =
      foundation::VKMath::findIntervalContainingRootOfFunctor(f, foundation::VKInterval(0, 0.001), 42, true, false);
  if (!bracket) {
    ray.kill(causeOfDeath::kMissesSurface, m_nickname);
    return 0;
  }
  const double t = foundation::VKMath::bisectToFindRootOfFunctor(f, *bracket, m_tolerance);
  ray.setSurfaceNormal(XYZ{0, 0, 1});
  if (!std::isfinite(t)) {
    ray.kill(causeOfDeath::kMissesSurface, m_nickname);
    return 0;
  }
  return finish(ray, reflected, t, false);
}

// --- By name ---------------------------------------------------------------------------------

std::unique_ptr<Pusher> makePusher(std::string_view name, std::shared_ptr<const SurfaceShape> surface) {
  std::unique_ptr<Pusher> p;
  if (name == "Pusher") p = std::make_unique<Pusher>();
  else if (name == "PusherConicoid") p = std::make_unique<PusherConicoid>();
  else if (name == "PusherConicX") p = std::make_unique<PusherConicX>();
  else if (name == "PusherConicY") p = std::make_unique<PusherConicY>();
  else if (name == "PusherTilted") p = std::make_unique<PusherTilted>();
  else if (name == "PusherIterative") p = std::make_unique<PusherIterative>();
  else if (name == "PusherImplicit") p = std::make_unique<PusherImplicit>();
  else if (name == "PusherParaxial") p = std::make_unique<PusherParaxial>();
  else return nullptr;
  p->setSurface(std::move(surface));
  return p;
}

}  // namespace orb::tracing
