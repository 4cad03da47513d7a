#include "tracing/Diffracter.h"

#include <cmath>
#include <numbers>
#include <type_traits>

#include "lens/Surface.h"
#include "lens/Wave.h"
#include "tracing/FrameRotation.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {

using foundation::XY;
using foundation::XYZ;

namespace {

double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double sign(double x) { return x < 0 ? -1.0 : 1.0; }

// λ/2π in millimetres; 0 for a ray without a wave (no phase is then applied).
double phaseScale(const Ray& ray) {
  return ray.wave() ? ray.wave()->wavelengthInMillimeters() / (2 * std::numbers::pi) : 0.0;
}

// v · H · w with H the symmetric second-derivative matrix of the expansion.
double quadratic(const geometry::SurfaceTaylorExpansion& e, const XYZ& v, const XYZ& w) {
  const XYZ Hw{e.hxx * w.x + e.hxy * w.y + e.hxz * w.z, e.hxy * w.x + e.hyy * w.y + e.hyz * w.z,
               e.hxz * w.x + e.hyz * w.y + e.hzz * w.z};
  return dot(v, Hw);
}

XYZ column(const foundation::SquareMatrix& S, int j) { return {S.at(0, j), S.at(1, j), S.at(2, j)}; }

}  // namespace

Diffracter::Diffracter(std::shared_ptr<const SurfaceShape> surface, const lens::Surface* texture) {
  TurnerStandard::setSurface(std::move(surface));
  m_texture = texture;
}

XY Diffracter::paraxialDiffractionForQ(const XY& q, double wavelengthInMillimeters) const {
  if (!m_texture) return {0, 0};
  const geometry::SurfaceTaylorExpansion e = m_texture->phaseTaylorExpansionAtPosition({0, 0, 0});
  const double k = wavelengthInMillimeters / (2 * std::numbers::pi);
  return {k * (e.hxx * q.x + e.hxy * q.y), k * (e.hxy * q.x + e.hyy * q.y)};
}

// --- Exact ---------------------------------------------------------------------------------

template <class R>
void Diffracter::diffract(R& ray, double n1) {
  ray.consistencyCheck();
  if (n1 == 0 || !std::isfinite(n1)) {
    ray.kill(causeOfDeath::kInvalidIndex, m_nickname);
    return;
  }
  if (m_texture) m_texture->turnerWillRefractRay();
  const XYZ p = ray.momentum();
  const XYZ& N = ray.surfaceNormal();
  const double n0 = ray.indexOfRefraction();
  const double pn = dot(p, N);
  const double k = m_texture ? phaseScale(ray) : 0.0;
  const XYZ g = m_texture ? m_texture->phaseTangentGradientAtPosition(ray.position()) : XYZ{0, 0, 0};
  // The tangential momentum gains the phase gradient: the grating equation.
  const XYZ t{p.x - pn * N.x + k * g.x, p.y - pn * N.y + k * g.y, p.z - pn * N.z + k * g.z};
  const double radicand = n1 * n1 - dot(t, t);
  if (radicand < 0) {
    // No propagating wave in this order.
    ray.kill(causeOfDeath::kTIR, m_nickname);
    return;
  }
  const double a = sign(pn) * sign(n0) * sign(n1) * std::sqrt(radicand);
  const XYZ p1{t.x + a * N.x, t.y + a * N.y, t.z + a * N.z};
  if constexpr (std::is_same_v<R, RayWithFrame>) diffractRayWithFrame(ray, n0, n1, p1, k);
  ray.setMomentum(p1);
  ray.setIndexOfRefractionIsNegative(n1 < 0);
  if (k != 0) ray.incrementOpticalPathLength(k * m_texture->phaseAtPosition(ray.position()));
  ray.consistencyCheck();
}

void Diffracter::refractRay(Ray& ray, double n1) { diffract(ray, n1); }
void Diffracter::refractRay(RayWithFrame& ray, double n1) { diffract(ray, n1); }

void Diffracter::refractRays(std::span<Ray> rays, double n1) {
  for (Ray& r : rays)
    if (r.isAlive()) diffract(r, n1);
}

// The grating equation on a mirror: the tangential momentum gains the phase gradient as
// in refraction, and the normal part is rebuilt in the same medium, pointing back.
template <class R>
void Diffracter::diffractOnReflection(R& ray) {
  if (m_texture) m_texture->turnerWillRefractRay();
  const double k = m_texture ? phaseScale(ray) : 0.0;
  const XYZ g = k != 0 ? m_texture->phaseTangentGradientAtPosition(ray.position()) : XYZ{0, 0, 0};
  if (g.x == 0 && g.y == 0 && g.z == 0) {
    // Order 0, or no lines: the plain mirror, bit for bit.
    Turner::reflectRay(ray);
  } else {
    ray.consistencyCheck();
    const XYZ p = ray.momentum();
    const XYZ& N = ray.surfaceNormal();
    const double n = ray.indexOfRefraction();
    const double pn = dot(p, N);
    const XYZ t{p.x - pn * N.x + k * g.x, p.y - pn * N.y + k * g.y, p.z - pn * N.z + k * g.z};
    const double radicand = n * n - dot(t, t);
    if (radicand < 0) {
      // No propagating wave in this order.
      ray.kill(causeOfDeath::kTIR, m_nickname);
      return;
    }
    const double a = -sign(pn) * std::sqrt(radicand);
    const XYZ p1{t.x + a * N.x, t.y + a * N.y, t.z + a * N.z};
    if constexpr (std::is_same_v<R, RayWithFrame>) diffractRayWithFrame(ray, n, -n, p1, k, true);
    ray.setMomentum(p1);
    ray.consistencyCheck();
  }
  if (k != 0) ray.incrementOpticalPathLength(k * m_texture->phaseAtPosition(ray.position()));
}

void Diffracter::reflectRay(Ray& ray) { diffractOnReflection(ray); }
void Diffracter::reflectRay(RayWithFrame& ray) { diffractOnReflection(ray); }

void Diffracter::reflectRays(std::span<Ray> rays) {
  for (Ray& r : rays)
    if (r.isAlive()) diffractOnReflection(r);
}

// The generalised Coddington refraction with the exit direction the grating equation
// gave (not Snell's) and the phase's second derivatives on the tangent axes added to the
// surface's power; then the basis is turned onto the exit direction, which a phase
// gradient across the plane of incidence may tip out of that plane.
void Diffracter::diffractRayWithFrame(RayWithFrame& ray, double n, double n1, const XYZ& p1, double k,
                                      bool mirror) const {
  const XYZ pos = ray.position();
  ray.attachToSurface();
  const foundation::SquareMatrix S = ray.surfaceFrame();
  const XYZ c0 = column(S, 0), c1 = column(S, 1), c2 = column(S, 2);
  const geometry::SurfaceTaylorExpansion e =
      m_surface ? m_surface->taylorExpansionAtPosition(pos) : geometry::SurfaceTaylorExpansion{};
  const double gn = e.gx * c2.x + e.gy * c2.y + e.gz * c2.z;
  double k00 = 0, k01 = 0, k11 = 0;
  if (gn != 0) k00 = -quadratic(e, c0, c0) / gn, k01 = -quadratic(e, c0, c1) / gn, k11 = -quadratic(e, c1, c1) / gn;
  double f00 = 0, f01 = 0, f11 = 0;
  if (m_texture && k != 0) {
    const geometry::SurfaceTaylorExpansion h = m_texture->phaseTaylorExpansionAtPosition(pos);
    f00 = k * quadratic(h, c0, c0), f01 = k * quadratic(h, c0, c1), f11 = k * quadratic(h, c1, c1);
  }
  const double l1 = std::sqrt(dot(p1, p1));
  // A mirror's exit direction is unfolded (reversed), as Turner's reflection leaves the basis.
  const double s1 = mirror ? -1.0 : 1.0;
  const XYZ u1 = l1 > 0 ? XYZ{s1 * p1.x / l1, s1 * p1.y / l1, s1 * p1.z / l1} : ray.e3();
  const double sinT = ray.sinTheta(), cosT = ray.cosTheta();
  const double sinT1 = dot(u1, c1), cosT1 = dot(u1, c2);
  const double delta = n * cosT - n1 * cosT1;
  double m02 = k00 * delta + f00, m03 = (k01 * delta + f01) / cosT, m12 = (k01 * delta + f01) / cosT1,
         m13 = (k11 * delta + f11) / (cosT * cosT1);
  if (ray.isRetrograde()) m02 = -m02, m03 = -m03, m12 = -m12, m13 = -m13;
  ray.leftMultiplyTransfer(Transfer4{1, 0, m02, m03, 0, cosT / cosT1, m12, m13, 0, 0, 1, 0, 0, 0, 0, cosT1 / cosT});
  const double a = cosT * cosT1 + sinT * sinT1, b = sinT1 * cosT - sinT * cosT1;
  const XYZ e2 = ray.e2(), e3 = ray.e3();
  ray.setBasisColumns(ray.e1(), XYZ{a * e2.x - b * e3.x, a * e2.y - b * e3.y, a * e2.z - b * e3.z},
                      XYZ{b * e2.x + a * e3.x, b * e2.y + a * e3.y, b * e2.z + a * e3.z});
  ray.detachFromSurface();
  detail::rotateBasisCarrying(ray, ray.e3(), u1);
}

// --- Paraxial ----------------------------------------------------------------------------

template <class R>
void Diffracter::paraxiallyDiffract(R& ray, double n1) {
  const XYZ M = ray.momentum();
  const double n0 = ray.indexOfRefraction();
  const XY q{ray.x(), ray.y()};
  const XY u{M.x / M.z, M.y / M.z};
  const XY t = paraxialTiltForQ(q);
  const double lambda = ray.wave() ? ray.wave()->wavelengthInMillimeters() : 0.0;
  const XY D = paraxialDiffractionForQ(q, lambda);
  const double r = n0 / n1;
  const XY u1{r * (u.x + t.x) - t.x + D.x / n1, r * (u.y + t.y) - t.y + D.y / n1};
  // The ray keeps travelling the way it went, as through any other surface.
  const double m = (M.z * n0 * n1 < 0 ? -n1 : n1) / std::sqrt(1 + u1.x * u1.x + u1.y * u1.y);
  ray.setMomentum(XYZ{u1.x * m, u1.y * m, m});
  ray.setIndexOfRefractionIsNegative(n1 < 0);
  if constexpr (std::is_same_v<R, RayWithFrame>) {
    // The phase's power enters the matrix as it enters the slopes.
    const double d = n0 - n1;
    double pxx = 0, pxy = 0, pyy = 0;
    if (m_texture && lambda != 0) {
      const geometry::SurfaceTaylorExpansion h = m_texture->phaseTaylorExpansionAtPosition({0, 0, 0});
      const double k = lambda / (2 * std::numbers::pi);
      pxx = k * h.hxx, pxy = k * h.hxy, pyy = k * h.hyy;
    }
    ray.leftMultiplyTransfer(Transfer4{1, 0, m_cxx * d + pxx, m_cxy * d + pxy, 0, 1, m_cxy * d + pxy,
                                       m_cyy * d + pyy, 0, 0, 1, 0, 0, 0, 0, 1});
  }
  const double s = ray.isReflected() ? -1.0 : 1.0;
  ray.seidelA = s * n0 * (u.y + t.y);
  ray.seidelD = s * (u1.y / n1 - u.y / n0);
  ray.seidelT = (u.y + u1.y) / (u.y - u1.y);
  m_seidelP = s * -m_curvature * (1 / n1 - 1 / n0);
  m_seidelR = s * 8 * m_seidelA4 * (n1 - n0);
  m_seidelQ = 1 / (n1 * n1) - 1 / (n0 * n0);
  ray.colorJump = m_dispersion - ray.dispersion;
  ray.dispersion = m_dispersion;
}

void Diffracter::paraxiallyRefractRay(Ray& ray, double n1) { paraxiallyDiffract(ray, n1); }
void Diffracter::paraxiallyRefractRay(RayWithFrame& ray, double n1) { paraxiallyDiffract(ray, n1); }

template <class R>
void Diffracter::paraxiallyReflect(R& ray) {
  const XYZ M = ray.momentum();
  const double n = ray.indexOfRefraction();
  const XY q{ray.x(), ray.y()};
  const XY u{M.x / M.z, M.y / M.z};
  const XY t = paraxialTiltForQ(q);
  const XY D = paraxialDiffractionForQ(q, ray.wave() ? ray.wave()->wavelengthInMillimeters() : 0.0);
  const XY u1{-u.x - 2 * t.x + D.x / n, -u.y - 2 * t.y + D.y / n};
  const double s = ray.isReflected() ? 1.0 : -1.0;
  ray.seidelA = n * (u.y + t.y);
  ray.seidelD = s * (u.y + u1.y) / n;
  m_seidelP = s * -2 * m_curvature / n;
  m_seidelR = s * 16 * n * m_seidelA4;
  m_seidelQ = 0;
  ray.colorJump = 0;
  ray.dispersion = 0;
  ray.setIsReflected(!ray.isReflected());
  const double m = (M.z > 0 ? -n : n) / std::sqrt(1 + u1.x * u1.x + u1.y * u1.y);
  ray.setMomentum(XYZ{u1.x * m, u1.y * m, m});
}

void Diffracter::paraxiallyReflectRay(Ray& ray) { paraxiallyReflect(ray); }
void Diffracter::paraxiallyReflectRay(RayWithFrame& ray) { paraxiallyReflect(ray); }

}  // namespace orb::tracing
