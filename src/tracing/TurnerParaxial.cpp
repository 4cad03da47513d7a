#include "tracing/TurnerParaxial.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "lens/SurfaceParaxial.h"
#include "tracing/FrameRotation.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {

using foundation::XY;
using foundation::XYZ;

namespace {
double sign(double x) { return x < 0 ? -1.0 : 1.0; }
}  // namespace

void TurnerParaxial::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  Turner::setSurface(std::move(surface));
  const lens::Surface* s = m_surface ? m_surface->lensSurface() : nullptr;
  if (auto paraxial = dynamic_cast<const lens::SurfaceParaxial*>(s)) m_focalLength = paraxial->focalLength();
}

template <class R>
void TurnerParaxial::lensRefract(R& ray, double n1) {
  const XYZ M = ray.momentum();
  const double x = ray.x(), y = ray.y();
  const double n = ray.indexOfRefraction();
  const double Px = powerX(), Py = powerY(), f = focalLength();
  const XY u{M.x / M.z, M.y / M.z};
  const double ratio = n == n1 ? 1.0 : n / n1;
  const XY s{u.x - Px * x * ratio, u.y - Py * y * ratio};
  const double Rs = std::sqrt(1 + s.x * s.x + s.y * s.y);
  const double sigma = sign(M.z);
  const double tx = sigma * n1 * s.x / Rs, ty = sigma * n1 * s.y / Rs;
  const XYZ p1{tx, ty, sign(M.z * n * n1) * std::sqrt(n1 * n1 - tx * tx - ty * ty)};
  Basis Bo{};
  if constexpr (std::is_same_v<R, RayWithFrame>) Bo = Basis{{ray.e1(), ray.e2(), ray.e3()}};
  ray.setMomentum(p1);
  ray.setIndexOfRefractionIsNegative(n1 < 0);
  // Keeps the optical paths of a bundle focused by the lens equal: f(1 − R) at height r
  // for a parallel bundle, which then travels fR to the focus. With no y power (f = ∞;
  // the formula's f·0 would be ∞·0) the y section adds what a plane adds, nothing, and a
  // powered x section keeps its own one-section term.
  if (std::isfinite(f)) {
    const double Ru = std::sqrt(1 + u.x * u.x + u.y * u.y);
    ray.incrementOpticalPathLength(f * (4 - 2 / Ru - Ru - Rs) - (x * u.x + y * u.y) / Ru);
  } else if (Px != 0 && std::isfinite(Px)) {
    const double fx = 1 / Px, Rux = std::sqrt(1 + u.x * u.x), Rsx = std::sqrt(1 + s.x * s.x);
    ray.incrementOpticalPathLength(fx * (4 - 2 / Rux - Rux - Rsx) - x * u.x / Rux);
  }
  if constexpr (std::is_same_v<R, RayWithFrame>) updateFrame(ray, M, n, n1, Bo);
}

void TurnerParaxial::refractRay(Ray& ray, double n1) { lensRefract(ray, n1); }
void TurnerParaxial::refractRay(RayWithFrame& ray, double n1) { lensRefract(ray, n1); }
void TurnerParaxial::refractRays(std::span<Ray> rays, double n1) {
  for (Ray& r : rays)
    if (r.isAlive()) refractRay(r, n1);
}

template <class R>
void TurnerParaxial::lensReflect(R& ray) {
  const XYZ M = ray.momentum();
  const double x = ray.x(), y = ray.y();
  const double n = ray.indexOfRefraction();
  const double Px = powerX(), Py = powerY();
  const XY t{M.x - n * Px * x / std::sqrt(1 + Px * Px * x * x), M.y - n * Py * y / std::sqrt(1 + Py * Py * y * y)};
  const double radicand = n * n - t.x * t.x - t.y * t.y;
  if (radicand < 0) {
    ray.kill(causeOfDeath::kTIR, m_nickname);
    return;
  }
  const double z = std::sqrt(radicand);
  Basis Bo{};
  if constexpr (std::is_same_v<R, RayWithFrame>) Bo = Basis{{ray.e1(), ray.e2(), ray.e3()}};
  ray.setMomentum(XYZ{t.x, t.y, M.z > 0 ? -z : z});
  if constexpr (std::is_same_v<R, RayWithFrame>) updateFrame(ray, M, n, n, Bo);
}

void TurnerParaxial::reflectRay(Ray& ray) { lensReflect(ray); }
void TurnerParaxial::reflectRay(RayWithFrame& ray) { lensReflect(ray); }
void TurnerParaxial::reflectRays(std::span<Ray> rays) {
  for (Ray& r : rays)
    if (r.isAlive()) reflectRay(r);
}

void TurnerParaxial::updateFrame(RayWithFrame& ray, const XYZ& p0, double n0, double n1, const Basis& Bo) const {
  const double x = ray.x(), y = ray.y();
  const double Px = powerX(), Py = powerY();
  // Derivatives of the per-axis deflection, on the basis columns projected onto the lens
  // plane along the ray.
  const double kx = -Px / std::pow(1 + Px * Px * x * x, 1.5), ky = -Py / std::pow(1 + Py * Py * y * y, 1.5);
  double E[2][2];
  for (int j = 0; j < 2; ++j) {
    E[0][j] = kx * (Bo.at(0, j) - Bo.at(2, j) * Bo.at(0, 2) / Bo.at(2, 2));
    E[1][j] = ky * (Bo.at(1, j) - Bo.at(2, j) * Bo.at(1, 2) / Bo.at(2, 2));
  }
  const XYZ p1 = ray.momentum();
  detail::rotateBasisCarrying(ray, XYZ{p0.x / n0, p0.y / n0, p0.z / n0}, XYZ{p1.x / n1, p1.y / n1, p1.z / n1});
  // Q: the inverse of the new basis's transverse block; A = Q · (the old one's).
  const XYZ e1 = ray.e1(), e2 = ray.e2();
  const double b00 = e1.x, b01 = e2.x, b10 = e1.y, b11 = e2.y;
  const double det = b00 * b11 - b01 * b10;
  const double Q[2][2] = {{b11 / det, -b01 / det}, {-b10 / det, b00 / det}};
  const double O[2][2] = {{Bo.at(0, 0), Bo.at(0, 1)}, {Bo.at(1, 0), Bo.at(1, 1)}};
  double A[2][2], QE[2][2];
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      A[i][j] = Q[i][0] * O[0][j] + Q[i][1] * O[1][j];
      QE[i][j] = Q[i][0] * E[0][j] + Q[i][1] * E[1][j];
    }
  const double dA = A[0][0] * A[1][1] - A[0][1] * A[1][0];
  const double Ai[2][2] = {{A[1][1] / dA, -A[0][1] / dA}, {-A[1][0] / dA, A[0][0] / dA}};
  ray.leftMultiplyTransfer(Transfer4{A[0][0], A[0][1], QE[0][0], QE[0][1], A[1][0], A[1][1], QE[1][0], QE[1][1], 0, 0,
                                     Ai[0][0], Ai[0][1], 0, 0, Ai[1][0], Ai[1][1]});
}

// --- XY ------------------------------------------------------------------------------------

void TurnerParaxialXY::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  TurnerParaxial::setSurface(std::move(surface));
  if (const lens::Surface* s = m_surface ? m_surface->lensSurface() : nullptr)
    setPowers(s->parameterValue("powerX").value_or(0), s->parameterValue("powerY").value_or(0));
}

void TurnerParaxialXY::setFocalLength(double f) {
  m_focalLength = f;
  m_powerY = 1 / f;
}

// --- Fly's eye -------------------------------------------------------------------------------

void TurnerParaxialFlyEye::setSurface(std::shared_ptr<const SurfaceShape> surface) {
  TurnerParaxial::setSurface(std::move(surface));
  // A count outside int (or not a number) from a damaged file must not reach the cast.
  auto count = [](double n) { return std::isfinite(n) && n > 0 ? static_cast<int>(std::min(n, 1e9)) : 0; };
  if (const lens::Surface* s = m_surface ? m_surface->lensSurface() : nullptr)
    setCells(s->parameterValue("dx").value_or(0), s->parameterValue("dy").value_or(0),
             count(s->parameterValue("nx").value_or(0)), count(s->parameterValue("ny").value_or(0)));
}

void TurnerParaxialFlyEye::setCells(double dx, double dy, int nx, int ny) {
  m_dx = dx, m_dy = dy, m_nx = nx, m_ny = ny;
  setupCellLocations();
}

void TurnerParaxialFlyEye::setupCellLocations() {
  auto axis = [](int n, double d, int& lo, int& hi, double& c0, double& lower) {
    if (n % 2 == 0) {
      lo = 1 - n / 2, hi = n / 2, c0 = -d / 2;
    } else {
      lo = (1 - n) / 2, hi = (n - 1) / 2, c0 = 0;
    }
    lower = c0 - d / 2;
  };
  axis(m_nx, m_dx, m_ixmin, m_ixmax, m_x0, m_xL);
  axis(m_ny, m_dy, m_iymin, m_iymax, m_y0, m_yL);
}

XYZ TurnerParaxialFlyEye::relativePositionForPosition(const XYZ& p) const {
  const double fx = std::floor((p.x - m_xL) / m_dx), fy = std::floor((p.y - m_yL) / m_dy);
  // Compared as doubles: a ray far outside (or a zero pitch) must not overflow an int.
  if (fx >= m_ixmin && fx <= m_ixmax && fy >= m_iymin && fy <= m_iymax)
    return {p.x - (m_x0 + fx * m_dx), p.y - (m_y0 + fy * m_dy), p.z};
  return {0, 0, p.z};
}

namespace {
// Runs `turn` with the ray moved to its lenslet's frame, then puts the ray back.
template <class R, class F>
void inLenslet(const TurnerParaxialFlyEye& t, R& ray, F turn) {
  const XYZ saved = ray.position();
  ray.setPosition(t.relativePositionForPosition(saved));
  turn();
  ray.setPosition(saved);
}
}  // namespace

void TurnerParaxialFlyEye::refractRay(Ray& ray, double n1) {
  inLenslet(*this, ray, [&] { TurnerParaxial::refractRay(ray, n1); });
}
void TurnerParaxialFlyEye::refractRay(RayWithFrame& ray, double n1) {
  inLenslet(*this, ray, [&] { TurnerParaxial::refractRay(ray, n1); });
}
void TurnerParaxialFlyEye::refractRays(std::span<Ray> rays, double n1) {
  for (Ray& r : rays)
    if (r.isAlive()) refractRay(r, n1);
}
void TurnerParaxialFlyEye::reflectRay(Ray& ray) {
  inLenslet(*this, ray, [&] { TurnerParaxial::reflectRay(ray); });
}
void TurnerParaxialFlyEye::reflectRay(RayWithFrame& ray) {
  inLenslet(*this, ray, [&] { TurnerParaxial::reflectRay(ray); });
}
void TurnerParaxialFlyEye::reflectRays(std::span<Ray> rays) {
  for (Ray& r : rays)
    if (r.isAlive()) reflectRay(r);
}

}  // namespace orb::tracing
