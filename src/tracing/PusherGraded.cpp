#include "tracing/PusherGraded.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/linear/SymplecticMatrix.h"
#include "foundation/minimise/Functor.h"
#include "foundation/minimise/VKMath.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/NonuniformMedium.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::tracing {

using foundation::XYZ;
using foundation::XYZTensor;

namespace {

constexpr double kSmallestStep = 0.0001;
constexpr double kWalkLength = 1000;
// Enough to reach any acquisition tolerance from a bracket of one step.
constexpr int kMaximumHalvings = 60;

XYZ add(const XYZ& a, const XYZ& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
XYZ sub(const XYZ& a, const XYZ& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
XYZ mul(const XYZ& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
XYZ cross(const XYZ& a, const XYZ& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
XYZ apply(const XYZTensor& g, const XYZ& v) {
  return {g.xx * v.x + g.xy * v.y + g.xz * v.z, g.yx * v.x + g.yy * v.y + g.yz * v.z,
          g.zx * v.x + g.zy * v.y + g.zz * v.z};
}
XYZ normalisedOrSame(const XYZ& v) {
  const double l = std::sqrt(dot(v, v));
  return l > 0 ? mul(v, 1 / l) : v;
}

// Rotation of v about the unit axis u by α (Rodrigues: the quaternion rotation written out).
XYZ rotate(const XYZ& v, const XYZ& u, double alpha) {
  const double c = std::cos(alpha), s = std::sin(alpha);
  return add(add(mul(v, c), mul(cross(u, v), s)), mul(u, dot(u, v) * (1 - c)));
}

Transfer4 multiply(const Transfer4& a, const Transfer4& b) {
  Transfer4 p{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      p[4 * r + c] = a[4 * r] * b[c] + a[4 * r + 1] * b[4 + c] + a[4 * r + 2] * b[8 + c] + a[4 * r + 3] * b[12 + c];
  return p;
}

constexpr Transfer4 kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

class GradedCrossing final : public foundation::Functor {
 public:
  explicit GradedCrossing(PusherGraded& pusher) : m_pusher(pusher) {}
  double valueAt(double t) const override { return m_pusher.crossingFunctionAt(t); }

 private:
  PusherGraded& m_pusher;
};

}  // namespace

PusherGraded::PusherGraded(std::shared_ptr<const materials::NonuniformMedium> medium,
                           std::shared_ptr<const SurfaceShape> surface,
                           std::optional<foundation::OBTransform> localToGlobal)
    : m_medium(std::move(medium)) {
  Pusher::setSurface(std::move(surface));
  if (localToGlobal)
    m_frame = *localToGlobal;
  else if (m_surface && m_surface->lensSurface())
    m_frame = m_surface->lensSurface()->transform();
  const auto& m = m_frame.localToGlobalCoordinateTransformationMatrix().m;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m_R[3 * r + c] = m[4 * r + c];
  m_dt = m_medium ? m_medium->integrationStep() : 0;
}

XYZ PusherGraded::localForce(const XYZ& q) const {
  const XYZ F = m_medium->forceInGlobalFrameAtWave(m_lambda, m_frame.transformToGlobal(q));
  // Rᵀ·F: the global force seen in the surface's frame.
  return {m_R[0] * F.x + m_R[3] * F.y + m_R[6] * F.z, m_R[1] * F.x + m_R[4] * F.y + m_R[7] * F.z,
          m_R[2] * F.x + m_R[5] * F.y + m_R[8] * F.z};
}

XYZTensor PusherGraded::localForceGradient(const XYZ& q) const {
  const XYZTensor G = m_medium->forceGradientInGlobalFrameAtWave(m_lambda, m_frame.transformToGlobal(q));
  const XYZTensor R{m_R[0], m_R[1], m_R[2], m_R[3], m_R[4], m_R[5], m_R[6], m_R[7], m_R[8]};
  return foundation::tensorMultiply(foundation::tensorTranspose(R), foundation::tensorMultiply(G, R));
}

void PusherGraded::setStateFromRay(const Ray& ray) {
  PusherIterative::setStateFromRay(ray);
  m_lambda = ray.wave() ? ray.wave()->wavelengthInMicrons() : 0.5875618;
  const auto* framed = dynamic_cast<const RayWithFrame*>(&ray);
  m_framed = framed != nullptr;
  if (framed) {
    m_hatx = framed->e1();
    m_haty = framed->e2();
    m_M = kIdentity;
  }
}

void PusherGraded::freeStepByDelta(double h) {
  const XYZ q0 = m_q, p0 = m_p;
  const XYZ F1 = localForce(q0);
  const XYZ qa = add(add(q0, mul(p0, h / 2)), mul(F1, h * h / 8));
  const XYZ F2 = localForce(qa);
  const XYZ qb = add(add(q0, mul(p0, h)), mul(F2, h * h / 2));
  const XYZ F3 = localForce(qb);
  const XYZ pm = add(p0, mul(add(F1, mul(F2, 2)), h / 6));
  m_increment += dot(pm, pm) * h;
  m_q = add(q0, mul(pm, h));
  m_p = add(pm, mul(add(mul(F2, 2), F3), h / 6));
  m_t += h;
  if (!m_framed) return;

  // The frame follows the momentum: rotated by the angle between the unit momenta about
  // their common normal, then made orthonormal and transverse again.
  const XYZ p1 = m_p;
  const XYZ w = cross(p0, p1);
  const double ww = std::sqrt(dot(w, w));
  if (dot(p0, p0) > 0 && dot(p1, p1) > 0 && ww > 0) {
    const double alpha = std::atan2(ww, dot(p0, p1));
    const XYZ u = mul(w, 1 / ww);
    m_hatx = rotate(m_hatx, u, alpha);
    m_haty = rotate(m_haty, u, alpha);
    const double pp = dot(p1, p1);
    m_hatx = sub(m_hatx, mul(p1, dot(m_hatx, p1) / pp));
    m_haty = sub(m_haty, mul(p1, dot(m_haty, p1) / pp));
    m_hatx = normalisedOrSame(m_hatx);
    m_haty = normalisedOrSame(sub(m_haty, mul(m_hatx, dot(m_haty, m_hatx))));
    m_haty = normalisedOrSame(m_haty);
  }
  const XYZTensor G = localForceGradient(qa);
  const XYZ hat[2] = {m_hatx, m_haty};
  double K[2][2];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) K[i][j] = dot(hat[i], apply(G, hat[j]));
  // The step's transfer is exp(hA), A = [[0, K], [I, 0]] in (p, q), taken to fourth
  // order: A² = diag(K, K), A³ = [[0, K²], [K, 0]], A⁴ = diag(K², K²). (The second-order
  // form alone leaves errors of a few 1e-5 in a rod's matrix at the default step.)
  double K2[2][2];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) K2[i][j] = K[i][0] * K[0][j] + K[i][1] * K[1][j];
  const double a2 = h * h / 2, a3 = h * h * h / 6, a4 = h * h * h * h / 24;
  double D[2][2], P[2][2], Q[2][2];  // diagonal blocks, p-from-q, q-from-p
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const double I = i == j ? 1 : 0;
      D[i][j] = I + a2 * K[i][j] + a4 * K2[i][j];
      P[i][j] = h * K[i][j] + a3 * K2[i][j];
      Q[i][j] = h * I + a3 * K[i][j];
    }
  const Transfer4 S{D[0][0], D[0][1], P[0][0], P[0][1], D[1][0], D[1][1], P[1][0], P[1][1],
                    Q[0][0], Q[0][1], D[0][0], D[0][1], Q[1][0], Q[1][1], D[1][0], D[1][1]};
  m_M = multiply(S, m_M);
}

void PusherGraded::stepByDelta(double h) {
  const double R = m_medium->bounceRadius();
  const XYZ q0 = m_q, p0 = m_p, hx = m_hatx, hy = m_haty;
  const double t0 = m_t, inc0 = m_increment;
  const Transfer4 M0 = m_M;
  freeStepByDelta(h);
  if (!(R > 0) || m_q.x * m_q.x + m_q.y * m_q.y <= R * R) return;
  const double dx = m_q.x - q0.x, dy = m_q.y - q0.y;
  const double A = dx * dx + dy * dy;
  const double B = 2 * (q0.x * dx + q0.y * dy);
  const double E = q0.x * q0.x + q0.y * q0.y - R * R;
  const double f = (std::sqrt(B * B - 4 * A * E) - B) / (2 * A);
  if (!(f > 0 && f < 1)) return;
  m_q = q0, m_p = p0, m_hatx = hx, m_haty = hy, m_t = t0, m_increment = inc0, m_M = M0;
  // The frame is not carried through a reflection at the wall.
  m_framed = false;
  freeStepByDelta(f * h);
  const double r = std::sqrt(m_q.x * m_q.x + m_q.y * m_q.y);
  if (r > 0) {
    m_q.x *= R / r, m_q.y *= R / r;
    const double ex = m_q.x / R, ey = m_q.y / R;
    const double radial = m_p.x * ex + m_p.y * ey;
    m_p.x -= radial * ex, m_p.y -= radial * ey;
    if (m_trajectory) saveTrajectoryPoint();
    m_p.x -= radial * ex, m_p.y -= radial * ey;
  }
  freeStepByDelta((1 - f) * h);
}

void PusherGraded::moveToReducedPathLength(double T) {
  const double step = std::abs(m_dt);
  while (std::abs(T - m_t) > step) stepByDelta(T > m_t ? step : -step);
  const double rest = T - m_t;
  if (rest != 0) stepByDelta(rest);
  m_t = T;
}

double PusherGraded::crossingFunctionAt(double T) {
  moveToReducedPathLength(T);
  const double v = m_surface->implicitFunctionAtPosition(m_q);
  if (m_trajectory && (v > 0) == (m_trajectoryStartValue > 0) && std::abs(v) < std::abs(m_trajectoryStartValue))
    saveTrajectoryPoint();
  return v;
}

void PusherGraded::saveTrajectoryPoint() {
  m_trajectory->push_back(RayVertex{m_t, m_frame.transformToGlobal(m_q), m_frame.rotateToGlobal(m_p),
                                    m_surface ? m_surface->lensSurface() : nullptr});
}

double PusherGraded::rootInBracket(const foundation::VKBracketingDoublet& bracket) {
  double a = bracket.first.coordinate, fa = bracket.first.functionValue;
  double b = bracket.second.coordinate, fb = bracket.second.functionValue;
  if (fa == 0) return a;
  if (fb == 0) return b;
  if ((fa > 0) == (fb > 0) || !std::isfinite(fa) || !std::isfinite(fb)) return std::numeric_limits<double>::infinity();
  for (int i = 0; i < kMaximumHalvings && std::abs(b - a) > m_tolerance; ++i) {
    const double m = 0.5 * (a + b);
    const double fm = crossingFunctionAt(m);
    if (fm == 0) return m;
    if ((fm > 0) == (fa > 0))
      a = m, fa = fm;
    else
      b = m, fb = fm;
  }
  // The crossing function is smooth across a bracket this small: its chord's zero is
  // far closer to the root than the midpoint (the tolerance alone left a GRIN rod's
  // focal length a few parts in 10⁶ off at the default 1e-4).
  const double t = a - fa * (b - a) / (fb - fa);
  return std::isfinite(t) ? std::clamp(t, std::min(a, b), std::max(a, b)) : 0.5 * (a + b);
}

void PusherGraded::acquireRays(std::span<Ray> rays, bool reflected) {
  for (Ray& r : rays)
    if (r.isAlive()) acquire(r, reflected);
}

void PusherGraded::paraxiallyAcquireRay(Ray& ray) { acquire(ray, false); }

void PusherGraded::paraxiallyAcquireRay(RayWithFrame& ray) {
  platform::log("warning: paraxially tracing RayWithFrame");
  acquire(ray, false);
}

double PusherGraded::acquire(Ray& ray, bool reflected) {
  setStateFromRay(ray);
  const double h = std::abs(m_dt);
  if (!(h >= kSmallestStep))
    platform::Exception::raise("NSInternalInconsistencyException", "Integration stepsize dt=%e is too small", m_dt);
  m_trajectory = nullptr;
  auto* framed = m_framed ? static_cast<RayWithFrame*>(&ray) : nullptr;
  const double f0 = crossingFunctionAt(0);
  if (f0 != 0) {
    if (ray.trajectory() && !ray.trajectoryIsFrozen()) {
      m_trajectoryBuffer.clear();
      m_trajectory = &m_trajectoryBuffer;
      m_trajectoryStartValue = f0;
    }
    const GradedCrossing f(*this);
    const int steps = static_cast<int>(kWalkLength / h + 0.5);
    const foundation::VKBracketingDoublet bracket =
        foundation::VKMath::bracketRootOfFunctor(f, {{0, f0}, {0, f0}}, h, steps);
    {
      // Equal abscissae: the walk stopped on an exact zero.
      const double root = bracket.first.coordinate == bracket.second.coordinate ? bracket.first.coordinate
                                                                                  : rootInBracket(bracket);
      ray.setSurfaceNormal(XYZ{0, 0, 1});
      if (!std::isfinite(root)) {
        m_trajectory = nullptr;
        ray.kill(causeOfDeath::kMissesSurface, m_nickname);
        return 0;
      }
      moveToReducedPathLength(root);
      if (m_trajectory) {
        std::sort(m_trajectoryBuffer.begin(), m_trajectoryBuffer.end(),
                  [](const RayVertex& a, const RayVertex& b) { return a.reducedPathLength < b.reducedPathLength; });
        for (const RayVertex& v : m_trajectoryBuffer) ray.addVertex(v);
        m_trajectory = nullptr;
      }
      const bool valid = m_surface->validQ({m_q.x, m_q.y});
      ray.incrementOpticalPathLength(m_increment);
      ray.setPosition(m_q);
      ray.setMomentum(m_p);
      if (framed && m_framed) {
        const XYZ e3 = ray.unitDirector();
        framed->setBasisColumns(m_hatx, m_haty, e3);
        foundation::SymplecticMatrix M(4);
        for (int r = 0; r < 4; ++r)
          for (int c = 0; c < 4; ++c) M.atPut(r, c, m_M[4 * r + c]);
        M.symplectify();  // once per acquisition: the steps' truncation breaks symplecticity slightly
        Transfer4 S{};
        for (int r = 0; r < 4; ++r)
          for (int c = 0; c < 4; ++c) S[4 * r + c] = M.at(r, c);
        framed->leftMultiplyTransfer(S);
      }
      if (!valid) {
        ray.kill(causeOfDeath::kInvalidRadius, m_nickname);
        return 0;
      }
    }
  }
  // The side test.
  const XYZ N = m_surface ? m_surface->surfaceNormalAtQ({m_q.x, m_q.y}) : XYZ{0, 0, 0};
  const double S = dot(m_p, N);
  if ((reflected && S > 0) || (!reflected && S < 0)) {
    platform::log("PusherIterative acquireRay: %s coordinatesReflected: %d --> DID NOT HIT ACTIVE SIDE OF SURFACE",
                  ray.description().c_str(), reflected ? 1 : 0);
    ray.kill(causeOfDeath::kDidNotHitActiveSide, m_nickname);
    return 0;
  }
  ray.setSurfaceNormal(N);
  // The transfer matrix is already carried; nothing for the caller to add.
  return 0;
}

std::unique_ptr<Pusher> pusherWithMedium(const lens::Surface& surface, const std::shared_ptr<materials::Medium>& medium) {
  if (medium && !medium->isUniform()) {
    auto graded = std::dynamic_pointer_cast<const materials::NonuniformMedium>(medium);
    if (!graded) return nullptr;
    return std::make_unique<PusherGraded>(std::move(graded), shapeOfSurface(surface));
  }
  return makePusher(surface.pusherName(), shapeOfSurface(surface));
}

}  // namespace orb::tracing
