#include "tracing/RayBlock.h"

#include <cfloat>
#include <cmath>

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

// The conic kernel's loop, the plane (c = 0) and the sphere (K = 0) as their own copies so
// that no test is left inside the loop.
template <bool plane, bool sphere>
inline void conicLoop(RayBlock& b, double c, double k, bool reflected) {
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
  const double k1 = k + 1, ck1 = c * k1;
  double* __restrict sx = b.x1;
  double* __restrict sy = b.y1;
  double* __restrict sz = b.z1;
  const double side = reflected ? -1.0 : 1.0;  // S · side < 0 is the inactive side
  for (std::size_t i = 0; i < n; ++i) {
    const double x = qx[i], y = qy[i], z = qz[i];
    const double u = px[i], v = py[i], w = pz[i];
    double t, ok;
    if constexpr (plane) {
      t = -z / w;
      ok = std::abs(w) > DBL_MIN && isFiniteValue(t) ? 1.0 : 0.0;
    } else {
      const double A = c * (u * u + v * v + k1 * w * w);
      const double B = 2 * (c * (x * u + y * v + k1 * z * w) - w);
      const double E = c * (x * x + y * y + k1 * z * z) - 2 * z;
      const double D = B * B - 4 * A * E;
      const double Q = -(B + (B > 0 ? 1.0 : -1.0) * std::sqrt(D)) / 2;
      t = E / Q;
      const double z1 = z + t * w;
      const double S = (1 - ck1 * z1) * w - c * (y + t * v) * v - c * (x + t * u) * u;
      ok = D >= 0 && !(S * side < 0) && isFiniteValue(t) ? 1.0 : 0.0;
    }
    const double x1 = x + t * u, y1 = y + t * v, z1 = z + t * w;
    const double gx = c * x1, gy = c * y1, gz = ck1 * z1 - 1;
    double r = 1.0;
    if constexpr (!sphere && !plane) r = 1 / std::sqrt(gx * gx + gy * gy + gz * gz);
    const double alive = live[i];
    const double take = ok * alive;
    odd[i] = alive - take;
    sx[i] = x1, sy[i] = y1, sz[i] = z1;  // placed by the second loop
    // Every old value read before any is chosen: a read inside one arm of a choice is a
    // branch to the vectoriser.
    const double l = opl[i], ox = nx[i], oy = ny[i], oz = nz[i];
    opl[i] = take != 0 ? l + (u * u + v * v + w * w) * t : l;
    nx[i] = take != 0 ? gx * r : ox;
    ny[i] = take != 0 ? gy * r : oy;
    nz[i] = take != 0 ? gz * r : oz;
  }
  // Positions are placed in a loop of their own, which vectorises; GCC 12 keeps the
  // crossing loop above scalar (it reports control flow there).
  for (std::size_t i = 0; i < n; ++i) {
    const bool take = live[i] - odd[i] != 0;
    qx[i] = take ? sx[i] : qx[i];
    qy[i] = take ? sy[i] : qy[i];
    qz[i] = take ? sz[i] : qz[i];
  }
}

}  // namespace

ORB_KERNEL bool conicAcquireBlock(RayBlock& b, double c, double k, bool reflected) {
  if (c == 0)
    conicLoop<true, false>(b, c, k, reflected);
  else if (k == 0)
    conicLoop<false, true>(b, c, k, reflected);
  else
    conicLoop<false, false>(b, c, k, reflected);
  return b.anyOdd();
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
    const double r2 = dx * dx + dy * dy;
    odd[i] = ((lo <= r2) & (r2 <= hi)) ? 0.0 : live[i];
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
  for (std::size_t i = 0; i < n; ++i) {
    const double n1 = index[i];
    const double u = px[i], v = py[i], w = pz[i];
    const double pn = u * nx[i] + v * ny[i] + w * nz[i];
    const double tx = u - pn * nx[i], ty = v - pn * ny[i], tz = w - pn * nz[i];
    const double radicand = n1 * n1 - (tx * tx + ty * ty + tz * tz);
    // sign(pn) · sign(n0) · sign(n1); n0 = ±|p| is negative only for |p|² > 0.
    const double sn0 = u * u + v * v + w * w > 0 ? s0[i] : 1.0;
    const double a = (pn < 0 ? -1.0 : 1.0) * sn0 * (n1 < 0 ? -1.0 : 1.0) * std::sqrt(radicand);
    const double take = radicand < 0 ? 0.0 : live[i];
    odd[i] = live[i] - take;
    px[i] = take != 0 ? tx + a * nx[i] : u;
    py[i] = take != 0 ? ty + a * ny[i] : v;
    pz[i] = take != 0 ? tz + a * nz[i] : w;
    s0[i] = take != 0 ? (n1 < 0 ? -1.0 : 1.0) : s0[i];
  }
  for (std::size_t i = 0; i < n; ++i) negative[i] = s0[i] < 0;
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
    const double u = px[i], v = py[i], w = pz[i];
    const double s = 2 * (u * nx[i] + v * ny[i] + w * nz[i]);
    px[i] = live[i] != 0 ? u - s * nx[i] : u;
    py[i] = live[i] != 0 ? v - s * ny[i] : v;
    pz[i] = live[i] != 0 ? w - s * nz[i] : w;
  }
}

}  // namespace orb::tracing::detail
