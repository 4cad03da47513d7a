#include "tracing/Pusher.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "foundation/minimise/Functor.h"
#include "foundation/minimise/VKMath.h"
#include "platform/Log.h"
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

void PusherConicoid::acquireRays(std::span<Ray> rays, bool reflected) {
  for (Ray& r : rays)
    if (r.isAlive()) PusherConicoid::acquire(r, reflected);  // qualified: no virtual call per ray
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

double PusherIterative::acquire(Ray& ray, bool reflected) {
  if (!m_surface) return Pusher::acquire(ray, reflected);
  setStateFromRay(ray);
  const CrossingFunctor f(*this);
  const auto bracket = foundation::VKMath::findIntervalContainingRootOfFunctor(f, foundation::VKInterval(0, 1));
  const double t = bracket ? foundation::VKMath::bisectToFindRootOfFunctor(f, *bracket, m_tolerance)
                           : std::numeric_limits<double>::infinity();
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
