#include "tracing/Turner.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <type_traits>

#include "platform/Log.h"
#include "tracing/Diffracter.h"
#include "tracing/RayWithFrame.h"
#include "tracing/TurnerLightPipe.h"
#include "tracing/TurnerParaxial.h"

namespace orb::tracing {

using foundation::XY;
using foundation::XYZ;

namespace {

double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
// Zero counts as positive.
double sign(double x) { return x < 0 ? -1.0 : 1.0; }


// v · H · w with H the symmetric second-derivative matrix of the expansion.
double quadratic(const geometry::SurfaceTaylorExpansion& e, const XYZ& v, const XYZ& w) {
  const XYZ Hw{e.hxx * w.x + e.hxy * w.y + e.hxz * w.z, e.hxy * w.x + e.hyy * w.y + e.hyz * w.z,
               e.hxz * w.x + e.hyz * w.y + e.hzz * w.z};
  return dot(v, Hw);
}

}  // namespace

void Turner::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  m_surface = std::move(surface);
  if (m_surface) {
    const auto e = m_surface->taylorExpansionAtPosition(XYZ{0, 0, 0});
    m_cxx = e.hxx, m_cxy = e.hxy, m_cyy = e.hyy;
    m_nickname = m_surface->nickname();
  } else {
    m_cxx = m_cxy = m_cyy = 0;
    m_nickname.clear();
  }
}

void TurnerStandard::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  Turner::setSurface(std::move(surface));
  if (m_surface) {
    const double c = m_surface->curvature();
    m_curvature = c;
    m_seidelA4 = m_surface->conicConstant() * c * c * c / 8;
  } else {
    m_curvature = m_seidelA4 = 0;
  }
}

void TurnerAsphere::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  TurnerStandard::setSurface(std::move(surface));
  if (!m_surface) return;
  const double c = m_surface->curvature(), k = m_surface->conicConstant();
  const double a2 = m_surface->sagPolynomialCoefficient(2), a4 = m_surface->sagPolynomialCoefficient(4);
  const double ce = c + 2 * a2;
  m_curvature = ce;
  m_seidelA4 = k * ce * ce * ce / 8 + a4 - (1 + k) * (6 * ce * ce * a2 - 12 * ce * a2 * a2 + 8 * a2 * a2 * a2) / 8;
}

void TurnerZernike::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  static std::once_flag logged;
  std::call_once(logged, [] { platform::log("n.b., Seidel aberrations for Zernike surfaces NYI"); });
  TurnerAsphere::setSurface(std::move(surface));
}

foundation::XY TurnerPoly::surfaceTilt() const {
  if (!m_surface) return {0, 0};
  const auto t = m_surface->taylorExpansionAtPosition({0, 0, 0});
  return {t.gx, t.gy};
}

foundation::XY TurnerPoly::paraxialTiltForQ(const foundation::XY& q) const {
  if (!m_surface) return {0, 0};
  const auto t = m_surface->taylorExpansionAtPosition({q.x, q.y, 0});
  const auto v = surfaceTilt();
  return {t.gx - v.x, t.gy - v.y};
}

// --- Exact refraction and reflection -----------------------------------------------------

template <class R>
void Turner::refractImpl(R& ray, double n1) {
  ray.consistencyCheck();
  if (n1 == 0 || !std::isfinite(n1)) {
    ray.kill(causeOfDeath::kInvalidIndex, m_nickname);
    return;
  }
  const XYZ& p = ray.momentum();
  const XYZ& N = ray.surfaceNormal();
  const double n0 = ray.indexOfRefraction();
  const double pn = dot(p, N);
  const XYZ t{p.x - pn * N.x, p.y - pn * N.y, p.z - pn * N.z};
  const double tt = dot(t, t);
  const double radicand = n1 * n1 - tt;
  if (radicand < 0) {
    ray.kill(causeOfDeath::kTIR, m_nickname);
    return;
  }
  const double a = sign(pn) * sign(n0) * sign(n1) * std::sqrt(radicand);
  if constexpr (std::is_same_v<R, RayWithFrame>) refractRayWithFrame(ray, n0, n1);
  ray.setMomentum(XYZ{t.x + a * N.x, t.y + a * N.y, t.z + a * N.z});
  ray.setIndexOfRefractionIsNegative(n1 < 0);
  ray.consistencyCheck();
}

void Turner::refractRay(Ray& ray, double n1) { refractImpl(ray, n1); }
void Turner::refractRay(RayWithFrame& ray, double n1) { refractImpl(ray, n1); }

namespace {

// A run of rays in columns, so the refraction of a whole run compiles to packed
// instructions (the same IEEE operations in the same order as refractImpl). The run
// length is fixed so the loops need no remainder; slots past a short run hold zeros.
constexpr std::size_t kRun = 32;

struct RefractionRun {
  double px[kRun], py[kRun], pz[kRun], nx[kRun], ny[kRun], nz[kRun];
  // −1 where the incoming index is negative, else 1.
  double s0[kRun];
  double ox[kRun], oy[kRun], oz[kRun];
  double simple[kRun];  // 1 or 0: a double, so the loops stay all-double and vectorise
};

}  // namespace

// The span form of refractImpl for plain rays, bit for bit the same. The final index is
// checked once for the run, and the sign of the incoming index ±|p| comes from its flag
// and |p|² > 0 instead of a square root per ray. Rays that meet total internal reflection
// take the one-ray code, which kills them.
void Turner::refractRays(std::span<Ray> rays, double n1) {
  if (n1 == 0 || !std::isfinite(n1)) {
    for (Ray& r : rays)
      if (r.isAlive()) r.kill(causeOfDeath::kInvalidIndex, m_nickname);
    return;
  }
  const double n1n1 = n1 * n1;
  const double s1 = sign(n1);
  const bool n1Negative = n1 < 0;
  RefractionRun run;
  for (std::size_t begin = 0; begin < rays.size(); begin += kRun) {
    const std::size_t n = std::min(kRun, rays.size() - begin);
    Ray* rs = rays.data() + begin;
    for (std::size_t i = 0; i < n; ++i) {
      const XYZ& p = rs[i].momentum();
      const XYZ& N = rs[i].surfaceNormal();
      run.px[i] = p.x, run.py[i] = p.y, run.pz[i] = p.z, run.nx[i] = N.x, run.ny[i] = N.y, run.nz[i] = N.z;
      run.s0[i] = rs[i].indexOfRefractionIsNegative() ? -1.0 : 1.0;
    }
    for (std::size_t i = n; i < kRun; ++i)
      run.px[i] = run.py[i] = run.pz[i] = run.nx[i] = run.ny[i] = run.nz[i] = run.s0[i] = 0;
    for (std::size_t i = 0; i < kRun; ++i) {
      const double px = run.px[i], py = run.py[i], pz = run.pz[i];
      const double nx = run.nx[i], ny = run.ny[i], nz = run.nz[i];
      const double pn = px * nx + py * ny + pz * nz;
      const double tx = px - pn * nx, ty = py - pn * ny, tz = pz - pn * nz;
      const double radicand = n1n1 - (tx * tx + ty * ty + tz * tz);
      // sign(pn) · sign(n0) · sign(n1), n0 = ±|p| being negative only for |p|² > 0; each
      // factor is ±1, so the product is exact and a comes out as refractImpl's.
      const double sn0 = px * px + py * py + pz * pz > 0 ? run.s0[i] : 1.0;
      const double a = (pn < 0 ? -1.0 : 1.0) * sn0 * s1 * std::sqrt(radicand);
      run.ox[i] = tx + a * nx, run.oy[i] = ty + a * ny, run.oz[i] = tz + a * nz;
      run.simple[i] = radicand < 0 ? 0.0 : 1.0;
    }
    for (std::size_t i = 0; i < n; ++i) {
      Ray& ray = rs[i];
      if (!ray.isAlive()) continue;
      if (run.simple[i] == 0) [[unlikely]] {
        refractImpl(ray, n1);
        continue;
      }
      ray.setMomentum(XYZ{run.ox[i], run.oy[i], run.oz[i]});
      ray.setIndexOfRefractionIsNegative(n1Negative);
    }
  }
}

void Turner::reflectRay(Ray& ray) {
  const XYZ& p = ray.momentum();
  const XYZ& N = ray.surfaceNormal();
  const double s = 2 * dot(p, N);
  ray.setMomentum(XYZ{p.x - s * N.x, p.y - s * N.y, p.z - s * N.z});
}

void Turner::reflectRay(RayWithFrame& ray) {
  reflectRayWithFrame(ray);
  Turner::reflectRay(static_cast<Ray&>(ray));
}

void Turner::reflectRays(std::span<Ray> rays) {
  for (Ray& r : rays)
    if (r.isAlive()) Turner::reflectRay(r);
}

// --- Paraxial ----------------------------------------------------------------------------

template <class R>
void Turner::paraxiallyRefractImpl(R& ray, double n1) {
  const XYZ M = ray.momentum();
  const double n0 = ray.indexOfRefraction();
  const bool retro = ray.isRetrograde();
  const double sn0 = retro ? -n0 : n0;
  const double sn1 = retro ? -n1 : n1;
  const XY u{M.x / M.z, M.y / M.z};
  const XY t = paraxialTiltForQ(XY{ray.x(), ray.y()});
  const double r = sn0 / sn1;
  const XY u1{r * (u.x + t.x) - t.x, r * (u.y + t.y) - t.y};
  const double m = (M.z * n0 * n1 < 0 ? -n1 : n1) / std::sqrt(1 + u1.x * u1.x + u1.y * u1.y);
  ray.setMomentum(XYZ{u1.x * m, u1.y * m, m});
  ray.setIndexOfRefractionIsNegative(n1 < 0);
  if constexpr (std::is_same_v<R, RayWithFrame>) {
    const double d = n0 - n1;
    Transfer4 P{1, 0, m_cxx * d, m_cxy * d, 0, 1, m_cxy * d, m_cyy * d, 0, 0, 1, 0, 0, 0, 0, 1};
    ray.leftMultiplyTransfer(P);
  }
  // Seidel scratch values.
  ray.seidelA = sn0 * (u.y + t.y);
  ray.seidelD = u1.y / sn1 - u.y / sn0;
  m_seidelP = -m_curvature * (1 / sn1 - 1 / sn0);
  m_seidelR = 8 * m_seidelA4 * (sn1 - sn0);
  m_seidelQ = 1 / (n1 * n1) - 1 / (n0 * n0);
  ray.colorJump = m_dispersion - ray.dispersion;
  ray.dispersion = m_dispersion;
}

void Turner::paraxiallyRefractRay(Ray& ray, double n1) { paraxiallyRefractImpl(ray, n1); }
void Turner::paraxiallyRefractRay(RayWithFrame& ray, double n1) { paraxiallyRefractImpl(ray, n1); }

template <class R>
void Turner::paraxiallyReflectImpl(R& ray) {
  const XYZ M = ray.momentum();
  const double n = ray.indexOfRefraction();
  const double sn = ray.isRetrograde() ? -n : n;
  const XY u{M.x / M.z, M.y / M.z};
  const XY t = paraxialTiltForQ(XY{ray.x(), ray.y()});
  const XY u1{-u.x - 2 * t.x, -u.y - 2 * t.y};
  ray.setIsReflected(!ray.isReflected());
  const double m = (M.z > 0 ? -n : n) / std::sqrt(1 + u1.x * u1.x + u1.y * u1.y);
  XYZ p1{u1.x * m, u1.y * m, m};
  const XY T = surfaceTilt();
  if (T.x != 0 || T.y != 0) {
    const double L = std::sqrt(1 + T.x * T.x + T.y * T.y);
    const XYZ N{T.x / L, T.y / L, 1 / L};
    const double s = 2 * dot(p1, N);
    p1 = XYZ{p1.x - s * N.x, p1.y - s * N.y, p1.z - s * N.z};
  }
  ray.setMomentum(p1);
  ray.seidelA = -sn * (u.y + t.y);
  ray.seidelD = (u.y + u1.y) / sn;
  m_seidelP = -2 * m_curvature / sn;
  m_seidelR = 16 * sn * m_seidelA4;
  m_seidelQ = 0;
  ray.colorJump = 0;
  ray.dispersion = 0;
}

void Turner::paraxiallyReflectRay(Ray& ray) { paraxiallyReflectImpl(ray); }
void Turner::paraxiallyReflectRay(RayWithFrame& ray) { paraxiallyReflectImpl(ray); }

// --- Framed rays ---------------------------------------------------------------------------

namespace {

struct Curvatures {
  double k00, k01, k11;
};

// Curvature of the surface in the rolled frame's tangent axes c0, c1 (normal c2).
Curvatures surfaceCurvatures(const SurfaceShape* surface, const RayWithFrame& ray) {
  const geometry::SurfaceTaylorExpansion e =
      surface ? surface->taylorExpansionAtPosition(ray.position()) : geometry::SurfaceTaylorExpansion{};
  const foundation::SquareMatrix S = ray.surfaceFrame();
  const XYZ c0{S.at(0, 0), S.at(1, 0), S.at(2, 0)};
  const XYZ c1{S.at(0, 1), S.at(1, 1), S.at(2, 1)};
  const XYZ c2{S.at(0, 2), S.at(1, 2), S.at(2, 2)};
  const double gn = e.gx * c2.x + e.gy * c2.y + e.gz * c2.z;
  if (gn == 0) return {0, 0, 0};  // no surface: no power
  return {-quadratic(e, c0, c0) / gn, -quadratic(e, c0, c1) / gn, -quadratic(e, c1, c1) / gn};
}

// Basis ← basis · R, R rotating e2 and e3: (1,1) = (2,2) = a, (1,2) = b, (2,1) = −b.
void rotateBasis(RayWithFrame& ray, double a, double b) {
  const XYZ e2 = ray.e2(), e3 = ray.e3();
  const XYZ n2{a * e2.x - b * e3.x, a * e2.y - b * e3.y, a * e2.z - b * e3.z};
  const XYZ n3{b * e2.x + a * e3.x, b * e2.y + a * e3.y, b * e2.z + a * e3.z};
  ray.setBasisColumns(ray.e1(), n2, n3);
}

}  // namespace

void Turner::refractRayWithFrame(RayWithFrame& ray, double n, double n1) const {
  if (std::abs(n - n1) < 1e-10) return;
  ray.attachToSurface();
  const Curvatures k = surfaceCurvatures(m_surface.get(), ray);
  const double sinT = ray.sinTheta(), cosT = ray.cosTheta();
  const double sinT1 = (n / n1) * sinT;
  double cosT1 = std::sqrt(1 - sinT1 * sinT1);
  if (cosT < 0) cosT1 = -cosT1;
  const double delta = n * cosT - n1 * cosT1;
  double m02 = k.k00 * delta, m03 = k.k01 * delta / cosT, m12 = k.k01 * delta / cosT1,
         m13 = k.k11 * delta / (cosT * cosT1);
  if (ray.isRetrograde()) m02 = -m02, m03 = -m03, m12 = -m12, m13 = -m13;
  ray.leftMultiplyTransfer(Transfer4{1, 0, m02, m03, 0, cosT / cosT1, m12, m13, 0, 0, 1, 0, 0, 0, 0, cosT1 / cosT});
  rotateBasis(ray, cosT * cosT1 + sinT * sinT1, sinT1 * cosT - sinT * cosT1);
  ray.detachFromSurface();
}

void Turner::reflectRayWithFrame(RayWithFrame& ray) const {
  const double n = ray.indexOfRefraction();
  ray.attachToSurface();
  const Curvatures k = surfaceCurvatures(m_surface.get(), ray);
  const double sinT = ray.sinTheta(), cosT = ray.cosTheta();
  double m02 = 2 * n * k.k00 * cosT, m03 = 2 * n * k.k01, m12 = m03, m13 = 2 * n * k.k11 / cosT;
  if (ray.isRetrograde()) m02 = -m02, m03 = -m03, m12 = -m12, m13 = -m13;
  ray.leftMultiplyTransfer(Transfer4{1, 0, m02, m03, 0, 1, m12, m13, 0, 0, 1, 0, 0, 0, 0, 1});
  rotateBasis(ray, cosT * cosT - sinT * sinT, -2 * sinT * cosT);
  ray.detachFromSurface();
}

std::unique_ptr<Turner> makeTurner(std::string_view name, std::shared_ptr<const SurfaceShape> surface) {
  std::unique_ptr<Turner> t;
  if (name == "Turner") t = std::make_unique<Turner>();
  else if (name == "TurnerStandard") t = std::make_unique<TurnerStandard>();
  else if (name == "TurnerPhaser") t = std::make_unique<TurnerPhaser>();
  else if (name == "TurnerAsphere") t = std::make_unique<TurnerAsphere>();
  else if (name == "TurnerZernike") t = std::make_unique<TurnerZernike>();
  else if (name == "TurnerPoly") t = std::make_unique<TurnerPoly>();
  else if (name == "TurnerParaxial") t = std::make_unique<TurnerParaxial>();
  else if (name == "TurnerParaxialXY") t = std::make_unique<TurnerParaxialXY>();
  else if (name == "TurnerParaxialFlyEye") t = std::make_unique<TurnerParaxialFlyEye>();
  else if (name == "TurnerLightPipe") t = std::make_unique<TurnerLightPipe>();
  else if (name == "TurnerLightPipeGeneric") t = std::make_unique<TurnerLightPipeGeneric>();
  else if (name == "TurnerElbow") t = std::make_unique<TurnerElbow>();
  else if (name == "Diffracter") {
    // The diffractive surfaces are their own phase texture.
    auto d = std::make_unique<Diffracter>();
    d->setTexture(surface ? surface->lensSurface() : nullptr);
    t = std::move(d);
  }
  else return nullptr;
  t->setSurface(std::move(surface));
  return t;
}

}  // namespace orb::tracing
