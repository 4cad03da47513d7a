#include "tracing/RayBlock.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

// One binary for every x86-64: GCC makes a copy of each kernel per listed instruction set
// and the loader's resolver picks one for the processor. AVX2 without FMA keeps every
// copy's rounding the same as the baseline's, so results do not depend on the machine.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORB_KERNEL __attribute__((target_clones("default", "avx2", "avx512f")))
#else
#define ORB_KERNEL
#endif

namespace orb::tracing::detail {

namespace {
bool isFiniteValue(double x) { return std::abs(x) <= DBL_MAX; }  // std::isfinite, in a form that vectorises
}  // namespace

ORB_KERNEL void shiftBlock(RayBlock& b, double sx, double sy, double sz) {
  double* __restrict qx = b.qx;
  double* __restrict qy = b.qy;
  double* __restrict qz = b.qz;
  const std::size_t n = b.n;
  for (std::size_t i = 0; i < n; ++i) qx[i] += sx, qy[i] += sy, qz[i] += sz;
}

ORB_KERNEL void transformBlock(RayBlock& b, const double* matrix) {
  double m[12];
  for (int k = 0; k < 12; ++k) m[k] = matrix[k];
  double* __restrict qx = b.qx;
  double* __restrict qy = b.qy;
  double* __restrict qz = b.qz;
  double* __restrict px = b.px;
  double* __restrict py = b.py;
  double* __restrict pz = b.pz;
  double* __restrict nx = b.nx;
  double* __restrict ny = b.ny;
  double* __restrict nz = b.nz;
  const std::size_t n = b.n;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = qx[i], y = qy[i], z = qz[i];
    qx[i] = m[0] * x + m[1] * y + m[2] * z + m[3];
    qy[i] = m[4] * x + m[5] * y + m[6] * z + m[7];
    qz[i] = m[8] * x + m[9] * y + m[10] * z + m[11];
    const double u = px[i], v = py[i], w = pz[i];
    px[i] = m[0] * u + m[1] * v + m[2] * w;
    py[i] = m[4] * u + m[5] * v + m[6] * w;
    pz[i] = m[8] * u + m[9] * v + m[10] * w;
    const double a = nx[i], c = ny[i], d = nz[i];
    nx[i] = m[0] * a + m[1] * c + m[2] * d;
    ny[i] = m[4] * a + m[5] * c + m[6] * d;
    nz[i] = m[8] * a + m[9] * c + m[10] * d;
  }
}

namespace {

// Why the loops below are written as they are: GCC turns `a[i] = c ? x : a[i]` into a
// conditional store, and a load or a computation used in one arm only into a branch, and
// then vectorises neither (without masked stores). So every value is computed for every
// ray and a choice is made between two computed values, never with the old contents of
// the destination: a ray left alone gets a step of exactly zero.

// The conic kernel's loop, the plane (c = 0) and the sphere (K = 0) as their own copies so
// that no test is left inside the loop.
// The parameter t at which a ray from (x, y, z) along (u, v, w) meets the conic (or the
// plane), and whether that crossing is taken: a real root on the active side.
template <bool plane>
[[gnu::always_inline]] inline void conicCrossing(double x, double y, double z, double u, double v, double w, double c,
                                                 double k1, double ck1, double side, double& t, bool& ok) {
  if constexpr (plane) {
    t = -z / w;
    ok = (std::abs(w) > DBL_MIN) & isFiniteValue(t);
  } else {
    const double A = c * (u * u + v * v + k1 * w * w);
    const double B = 2 * (c * (x * u + y * v + k1 * z * w) - w);
    const double E = c * (x * x + y * y + k1 * z * z) - 2 * z;
    const double D = B * B - 4 * A * E;
    // A negative D makes the root NaN, which `ok` turns away.
    const double Q = -(B + (B > 0 ? 1.0 : -1.0) * std::sqrt(D)) / 2;
    t = E / Q;
    const double zt = z + t * w;
    const double S = (1 - ck1 * zt) * w - c * (y + t * v) * v - c * (x + t * u) * u;
    ok = (D >= 0) & !(S * side < 0) & isFiniteValue(t);
  }
}

template <bool plane, bool sphere>
ORB_KERNEL void conicLoop(std::size_t n, double* __restrict qx, double* __restrict qy, double* __restrict qz,
               const double* __restrict px, const double* __restrict py, const double* __restrict pz,
               double* __restrict opl, double* __restrict nx, double* __restrict ny, double* __restrict nz,
               const double* __restrict live, double* __restrict odd, double c, double k, bool reflected) {
  const double k1 = k + 1, ck1 = c * k1;
  const double side = reflected ? -1.0 : 1.0;  // S · side < 0 is the inactive side
  for (std::size_t i = 0; i < n; ++i) {
    const double x = qx[i], y = qy[i], z = qz[i];
    const double u = px[i], v = py[i], w = pz[i];
    double t;
    bool ok;
    conicCrossing<plane>(x, y, z, u, v, w, c, k1, ck1, side, t, ok);
    const bool alive = live[i] != 0;
    const bool take = ok & alive;
    odd[i] = alive & !take ? 1.0 : 0.0;
    const double dx = t * u, dy = t * v, dz = t * w, dl = (u * u + v * v + w * w) * t;
    const double x1 = x + (take ? dx : 0.0), y1 = y + (take ? dy : 0.0), z1 = z + (take ? dz : 0.0);
    qx[i] = x1, qy[i] = y1, qz[i] = z1;
    opl[i] += take ? dl : 0.0;
    // Normals of the rays not taken are never read: the one-ray code sets its own.
    const double gx = c * x1, gy = c * y1, gz = ck1 * z1 - 1;
    double r = 1.0;
    if constexpr (!sphere && !plane) r = 1 / std::sqrt(gx * gx + gy * gy + gz * gz);
    nx[i] = gx * r, ny[i] = gy * r, nz[i] = gz * r;
  }
}

}  // namespace

ORB_KERNEL bool conicAcquireBlock(RayBlock& b, double c, double k, bool reflected) {
  auto loop = c == 0 ? conicLoop<true, false> : k == 0 ? conicLoop<false, true> : conicLoop<false, false>;
  loop(b.n, b.qx, b.qy, b.qz, b.px, b.py, b.pz, b.opl, b.nx, b.ny, b.nz, b.live, b.odd, c, k, reflected);
  return b.anyOdd();
}

namespace {

template <bool plane, bool sphere, int bend, bool perRow>
ORB_KERNEL std::size_t conicPass(std::size_t n, double* __restrict qx, double* __restrict qy, double* __restrict qz,
                                 double* __restrict px, double* __restrict py, double* __restrict pz,
                                 double* __restrict opl, double* __restrict nx, double* __restrict ny,
                                 double* __restrict nz, const double* __restrict live, double* __restrict odd,
                                 const double* __restrict index, const ConicPass& pass, std::size_t& metCount) {
  const double c = pass.c, k1 = pass.k + 1, ck1 = c * k1;
  const double side = pass.reflected ? -1.0 : 1.0;
  const double sx = pass.sx, sy = pass.sy, sz = pass.sz, x0 = pass.x0, y0 = pass.y0, lo = pass.lo, hi = pass.hi;
  const double n0 = pass.n;
  std::size_t met = 0, flagged = 0;
  alignas(64) double turning[kBlock];
  for (std::size_t i = 0; i < n; ++i) {
    // The crossing, shifted to the surface first.
    const double x = qx[i] + sx, y = qy[i] + sy, z = qz[i] + sz;
    const double u = px[i], v = py[i], w = pz[i];
    double t;
    bool ok;
    conicCrossing<plane>(x, y, z, u, v, w, c, k1, ck1, side, t, ok);
    const bool alive = live[i] != 0;
    const bool take = ok & alive;
    const double dx = t * u, dy = t * v, dz = t * w, dl = (u * u + v * v + w * w) * t;
    const double x1 = x + (take ? dx : 0.0), y1 = y + (take ? dy : 0.0), z1 = z + (take ? dz : 0.0);
    qx[i] = x1, qy[i] = y1, qz[i] = z1;
    opl[i] += take ? dl : 0.0;
    const double gx = c * x1, gy = c * y1, gz = ck1 * z1 - 1;
    double r = 1.0;
    if constexpr (!sphere && !plane) r = 1 / std::sqrt(gx * gx + gy * gy + gz * gz);
    const double ex = gx * r, ey = gy * r, ez = gz * r;
    nx[i] = ex, ny[i] = ey, nz[i] = ez;
    // The aperture, as circularApertureBlock.
    const double ax = x1 - x0, ay = y1 - y0, r2 = ax * ax + ay * ay;
    const bool inside = (lo <= r2) & (r2 <= hi);
    const bool meets = take & inside;
    met += meets;
    const double code = alive & !take ? kOddAcquire : take & !inside ? kOddAperture : 0.0;
    turning[i] = meets ? 1.0 : 0.0;
    odd[i] = code;
  }
  // The bending, as refractBlock (positive indexes) and reflectBlock, in a loop of its own:
  // two shorter chains of dependent square roots and divisions overlap better across rows
  // than one long one. Rays not bent turn about a zero normal, which leaves them as they were.
  for (std::size_t i = 0; i < n; ++i) {
    const double u = px[i], v = py[i], w = pz[i];
    const double ex = nx[i], ey = ny[i], ez = nz[i];
    const bool meets = turning[i] != 0;
    if constexpr (bend == ConicPass::Refract) {
      const double n1 = perRow ? index[i] : n0;
      const double e = u * ex + v * ey + w * ez;
      const double ux = u - e * ex, uy = v - e * ey, uz = w - e * ez;
      const double radicand = n1 * n1 - (ux * ux + uy * uy + uz * uz);
      const bool turns = meets & (radicand >= 0);
      odd[i] += meets & !turns ? kOddTIR : 0.0;  // a ray that meets the turner has no code yet
      const double mx = turns ? ex : 0.0, my = turns ? ey : 0.0, mz = turns ? ez : 0.0;
      const double pn = u * mx + v * my + w * mz;
      const double tx = u - pn * mx, ty = v - pn * my, tz = w - pn * mz;
      const double a = (pn < 0 ? -1.0 : 1.0) * std::sqrt(turns ? radicand : 0.0);
      px[i] = tx + a * mx, py[i] = ty + a * my, pz[i] = tz + a * mz;
    } else if constexpr (bend == ConicPass::Reflect) {
      const double mx = meets ? ex : 0.0, my = meets ? ey : 0.0, mz = meets ? ez : 0.0;
      const double s = 2 * (u * mx + v * my + w * mz);
      px[i] = u - s * mx, py[i] = v - s * my, pz[i] = w - s * mz;
    }
    flagged += odd[i] != 0;
  }
  metCount = met;
  return flagged;
}

template <bool plane, bool sphere>
std::size_t conicPassBend(RayBlock& b, const ConicPass& p, std::size_t& met) {
  auto run = [&](auto kernel) {
    return kernel(b.n, b.qx, b.qy, b.qz, b.px, b.py, b.pz, b.opl, b.nx, b.ny, b.nz, b.live, b.odd, b.index, p, met);
  };
  switch (p.bend) {
    case ConicPass::Refract:
      return p.perRow ? run(conicPass<plane, sphere, ConicPass::Refract, true>)
                      : run(conicPass<plane, sphere, ConicPass::Refract, false>);
    case ConicPass::Reflect:
      return run(conicPass<plane, sphere, ConicPass::Reflect, false>);
    default:
      return run(conicPass<plane, sphere, ConicPass::None, false>);
  }
}

}  // namespace

std::size_t conicPassBlock(RayBlock& b, const ConicPass& p, std::size_t& met) {
  if (p.c == 0) return conicPassBend<true, false>(b, p, met);
  if (p.k == 0) return conicPassBend<false, true>(b, p, met);
  return conicPassBend<false, false>(b, p, met);
}

namespace {

// How far a Newton step may still move a ray that counts as settled, in units of the size
// of its coordinates and of its path: the rounding of the sag itself is a few of these.
// A ray also counts as settled when the step it took predicts a next one that small:
// Newton's steps shrink quadratically, dt′ ≈ dt³/dt₋₁², which spares the last pass
// that would only confirm it (and, should convergence be merely linear, errs by a few
// such steps, still near the rounding).
constexpr double kSettled = 8 * DBL_EPSILON;

// The even asphere's acquisition with M terms of the polynomial in r², so that Horner's
// loop unrolls and every ray loop is straight-line code. Rows carry t, whether Newton still
// moves them, and whether they failed (no finite start, a step off the valid region).
template <int M>
ORB_KERNEL std::size_t asphereAcquire(RayBlock& b, double c, double k, const double* coefficients, bool reflected) {
  double a[M > 0 ? M : 1] = {};
  for (int j = 0; j < M; ++j) a[j] = coefficients[j];
  double* __restrict qx = b.qx;
  double* __restrict qy = b.qy;
  double* __restrict qz = b.qz;
  const double* __restrict px = b.px;
  const double* __restrict py = b.py;
  const double* __restrict pz = b.pz;
  double* __restrict opl = b.opl;
  double* __restrict nx = b.nx;
  double* __restrict ny = b.ny;
  double* __restrict nz = b.nz;
  const double* __restrict live = b.live;
  double* __restrict odd = b.odd;
  const std::size_t n = b.n;
  const double k1 = k + 1, pc2 = k1 * (c * c);
  const double side = reflected ? -1.0 : 1.0;  // S · side < 0 is the inactive side
  alignas(64) double t[kBlock], moving[kBlock], bad[kBlock], last[kBlock];

  // The sag's value and (dz/dr)/r at r², valid or not (the caller tests validity): with
  // s = √(1 − (1 + K)c²r²), c·r²/(1 + s) and c/s share one division.
  // The polynomial P(r²) and its derivative D = dP/d(r²).
  auto polynomial = [&](double r2, double& P, double& D) {
    P = 0, D = 0;
    if constexpr (M > 0) {
      P = a[M - 1];
      for (int j = M - 2; j >= 0; --j) {
        D = D * r2 + P;
        P = P * r2 + a[j];
      }
    }
  };
  auto profile = [&](double r2, double s, double& sag, double& slope) {
    double P, D;
    polynomial(r2, P, D);
    const double inverse = c / (s * (1 + s));
    sag = r2 * s * inverse + P;
    slope = (1 + s) * inverse + 2 * D;
  };

  // The start: the base conic's near root, which for c = 0 is the vertex plane's; where the
  // conic has no crossing, the vertex plane's. From a point on the conic's vertex branch the
  // first Newton step is cheap: there the conic's sag is z and √(1 − (1 + K)c²r²) is
  // 1 − (1 + K)c·z, so the crossing function is P(r²) and the step needs no square root.
  const double ck1 = c * k1;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = qx[i], y = qy[i], z = qz[i];
    const double u = px[i], v = py[i], w = pz[i];
    const double A = c * (u * u + v * v + k1 * w * w);
    const double B = 2 * (c * (x * u + y * v + k1 * z * w) - w);
    const double E = c * (x * x + y * y + k1 * z * z) - 2 * z;
    const double D = B * B - 4 * A * E;
    const double Q = -(B + (B > 0 ? 1.0 : -1.0) * std::sqrt(std::max(D, 0.0))) / 2;
    // E/Q, or −z/w where the conic has no crossing: one division.
    const bool conic = (D >= 0) & (Q != 0);
    const double t0 = (conic ? E : -z) / (conic ? Q : w);
    const bool ok = isFiniteValue(t0) & (live[i] != 0);
    const double x1 = x + u * t0, y1 = y + v * t0, z1 = z + w * t0;
    double P, Dp;
    polynomial(x1 * x1 + y1 * y1, P, Dp);
    const double s = 1 - ck1 * z1, g = x1 * u + y1 * v;
    const double dt = P * s / (c * g + s * (2 * Dp * g - w));
    const bool first = conic & ok & (s > 0) & isFiniteValue(dt);
    t[i] = ok ? t0 - (first ? dt : 0.0) : 0.0;
    moving[i] = ok ? 1.0 : 0.0;
    bad[i] = ok ? 0.0 : 1.0;
    last[i] = first ? std::abs(dt) : 0.0;
  }

  for (int step = 0; step < kNewtonSteps; ++step) {
    unsigned any = 0;
    for (std::size_t i = 0; i < n; ++i) any |= moving[i] != 0;
    if (!any) break;
    for (std::size_t i = 0; i < n; ++i) {
      const double u = px[i], v = py[i], w = pz[i];
      const double t0 = t[i];
      const double x = qx[i] + u * t0, y = qy[i] + v * t0, z = qz[i] + w * t0;
      const double r2 = x * x + y * y, q = pc2 * r2;
      const bool valid = q < 1;
      const double s = std::sqrt(std::max(1 - q, 0.0));
      double sag, slope;
      profile(r2, s, sag, slope);
      const double dt = (sag - z) / (slope * (x * u + y * v) - w);
      const double t1 = t0 - dt;
      const double reach = std::abs(u) + std::abs(v) + std::abs(w);
      const double size = std::abs(x) + std::abs(y) + std::abs(z) + std::abs(qx[i]) + std::abs(qy[i]) +
                          std::abs(qz[i]) + std::abs(t1) * reach;
      const bool m = moving[i] != 0;
      const bool ok = valid & isFiniteValue(t1);
      const double moved = std::abs(dt), before = last[i];
      const bool settled =
          (moved * reach <= kSettled * size) | (moved * moved * moved * reach <= kSettled * size * before * before);
      last[i] = moved;
      t[i] = t0 - (m & ok ? dt : 0.0);
      bad[i] += m & !ok ? 1.0 : 0.0;  // a moving row has bad = 0
      moving[i] = m & ok & !settled ? 1.0 : 0.0;
    }
  }

  // The hit: position, optical path and normal of the settled rows on the active side,
  // worked out into local columns first (GCC if-converts the choices only when they are
  // stored there), then added to the block's.
  alignas(64) double dx[kBlock], dy[kBlock], dz[kBlock], dl[kBlock], ex[kBlock], ey[kBlock], ez[kBlock];
  for (std::size_t i = 0; i < n; ++i) {
    const double u = px[i], v = py[i], w = pz[i];
    const double t0 = t[i];
    const double x = qx[i] + u * t0, y = qy[i] + v * t0;
    const double r2 = x * x + y * y, q = pc2 * r2;
    const bool valid = q < 1;
    const double s = std::sqrt(std::max(1 - q, 0.0));
    double sag, slope;
    profile(r2, s, sag, slope);
    const double l = 1 / std::sqrt(1 + slope * slope * r2);
    ex[i] = -slope * x * l, ey[i] = -slope * y * l, ez[i] = l;
    const double S = ex[i] * u + ey[i] * v + l * w;
    const bool alive = live[i] != 0;
    const bool take = alive & (moving[i] == 0) & (bad[i] == 0) & valid & !(S * side < 0) & isFiniteValue(l);
    last[i] = alive & !take ? 1.0 : 0.0;
    dx[i] = take ? u * t0 : 0.0, dy[i] = take ? v * t0 : 0.0, dz[i] = take ? w * t0 : 0.0;
    dl[i] = take ? (u * u + v * v + w * w) * t0 : 0.0;
  }
  for (std::size_t i = 0; i < n; ++i) {
    qx[i] += dx[i], qy[i] += dy[i], qz[i] += dz[i];
    opl[i] += dl[i];
    nx[i] = ex[i], ny[i] = ey[i], nz[i] = ez[i];
    odd[i] = last[i];
  }
  std::size_t count = 0;
  for (std::size_t i = 0; i < n; ++i) count += odd[i] != 0;
  return count;
}

template <int... M>
std::size_t asphereAcquireWith(int m, RayBlock& b, double c, double k, const double* a, bool reflected,
                               std::integer_sequence<int, M...>) {
  using Kernel = std::size_t (*)(RayBlock&, double, double, const double*, bool);
  static constexpr Kernel kernels[] = {&asphereAcquire<M>...};
  return kernels[m](b, c, k, a, reflected);
}

}  // namespace

std::size_t evenAsphereAcquireBlock(RayBlock& b, double c, double k, const double* a, int m, bool reflected) {
  return asphereAcquireWith(m, b, c, k, a, reflected, std::make_integer_sequence<int, kEvenAsphereTerms + 1>());
}

ORB_KERNEL void circularApertureBlock(RayBlock& b, double x0, double y0, double rMin, double rMax, const char* cause,
                                      std::uint16_t place) {
  const double lo = rMin * rMin - 1e-10, hi = rMax * rMax + 1e-10;
  double* __restrict odd = b.odd;
  const double* __restrict qx = b.qx;
  const double* __restrict qy = b.qy;
  const double* __restrict live = b.live;
  const std::size_t n = b.n;
  for (std::size_t i = 0; i < n; ++i) {
    const double dx = qx[i] - x0, dy = qy[i] - y0;
    const double r2 = dx * dx + dy * dy, l = live[i];
    odd[i] = ((lo <= r2) & (r2 <= hi)) ? 0.0 : l;
  }
  if (!b.anyOdd()) return;
  for (std::size_t i = 0; i < n; ++i)
    if (odd[i]) b.kill(i, cause, place);
}

ORB_KERNEL void refractBlock(RayBlock& b, const double* indexByWave, const char* tir, std::uint16_t place) {
  double* __restrict px = b.px;
  double* __restrict py = b.py;
  double* __restrict pz = b.pz;
  const double* __restrict nx = b.nx;
  const double* __restrict ny = b.ny;
  const double* __restrict nz = b.nz;
  std::uint8_t* __restrict negative = b.negative;
  const double* __restrict live = b.live;
  double* __restrict odd = b.odd;
  const std::size_t n = b.n;
  // The index and the incoming sign per ray as doubles, gathered first, so that the
  // arithmetic loop reads doubles only.
  alignas(64) double index[kBlock], s0[kBlock];
  for (std::size_t i = 0; i < n; ++i) {
    index[i] = indexByWave[b.wave[i]];
    s0[i] = negative[i] ? -1.0 : 1.0;
  }
  alignas(64) double s1[kBlock];
  for (std::size_t i = 0; i < n; ++i) {
    const double n1 = index[i];
    const double u = px[i], v = py[i], w = pz[i];
    const double ex = nx[i], ey = ny[i], ez = nz[i];
    const double e = u * ex + v * ey + w * ez;
    const double ux = u - e * ex, uy = v - e * ey, uz = w - e * ez;
    const double radicand = n1 * n1 - (ux * ux + uy * uy + uz * uz);
    const bool alive = live[i] != 0;
    const bool take = (radicand >= 0) & alive;
    odd[i] = alive & !take ? 1.0 : 0.0;
    // Rays not taken refract about a zero normal, which leaves their momentum as it was.
    const double mx = take ? ex : 0.0, my = take ? ey : 0.0, mz = take ? ez : 0.0;
    const double pn = u * mx + v * my + w * mz;
    const double tx = u - pn * mx, ty = v - pn * my, tz = w - pn * mz;
    // sign(pn) · sign(n0) · sign(n1); n0 = ±|p| is negative only for |p|² > 0.
    const double sn0 = u * u + v * v + w * w > 0 ? s0[i] : 1.0;
    const double a = (pn < 0 ? -1.0 : 1.0) * sn0 * (n1 < 0 ? -1.0 : 1.0) * std::sqrt(take ? radicand : 0.0);
    px[i] = tx + a * mx;
    py[i] = ty + a * my;
    pz[i] = tz + a * mz;
    const double s = s0[i];
    s1[i] = take ? (n1 < 0 ? -1.0 : 1.0) : s;
  }
  for (std::size_t i = 0; i < n; ++i) negative[i] = s1[i] < 0;
  if (!b.anyOdd()) return;
  for (std::size_t i = 0; i < n; ++i)
    if (odd[i]) b.kill(i, tir, place);
}

ORB_KERNEL void reflectBlock(RayBlock& b) {
  double* __restrict px = b.px;
  double* __restrict py = b.py;
  double* __restrict pz = b.pz;
  const double* __restrict nx = b.nx;
  const double* __restrict ny = b.ny;
  const double* __restrict nz = b.nz;
  const double* __restrict live = b.live;
  const std::size_t n = b.n;
  for (std::size_t i = 0; i < n; ++i) {
    // Dead rays reflect about a zero normal, which leaves them as they were.
    const bool alive = live[i] != 0;
    const double u = px[i], v = py[i], w = pz[i];
    const double ex = nx[i], ey = ny[i], ez = nz[i];
    const double mx = alive ? ex : 0.0, my = alive ? ey : 0.0, mz = alive ? ez : 0.0;
    const double s = 2 * (u * mx + v * my + w * mz);
    px[i] = u - s * mx;
    py[i] = v - s * my;
    pz[i] = w - s * mz;
  }
}

}  // namespace orb::tracing::detail
