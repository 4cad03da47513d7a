#include "geometry/values/PolynomialRoots.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "geometry/values/GeometryDebug.h"
#include "platform/Log.h"

namespace orb::geometry {

using foundation::XY;

namespace {

// Relative thresholds under which a difference is taken for rounding noise.
constexpr double kEps1 = 4.440892098500626e-16;  // 2⁻⁵¹
constexpr double kEps2 = 8.881784197001252e-16;  // 2⁻⁵⁰

thread_local int t_rootStatus = 0;

XY real(double x) { return {x, 0}; }

/// c0 + c1·x + c2·x² with c2 ≠ 0. Written so that neither root suffers cancellation.
int quadraticStep(double c0, double c1, double c2, XY* r) {
  int status;
  if (c0 == 0) {
    r[0] = real(0);
    r[1] = real(-c1 / c2);
    status = kZeroConstant;
  } else {
    const double D = c1 * c1 - 4 * c0 * c2;
    if (std::fabs(D) <= kEps1 * c1 * c1) {
      r[0] = r[1] = real(-c1 / (2 * c2));
      status = kTwoRealRoots;
    } else if (D < 0) {
      const double re = -c1 / (2 * c2), im = std::fabs(std::sqrt(-D) / (2 * c2));
      r[0] = {re, im};
      r[1] = {re, -im};
      status = kComplexPair;
    } else if (c1 != 0) {
      const double w = c1 + std::copysign(std::sqrt(D), c1);
      r[0] = real(-2 * c0 / w);
      r[1] = real(-w / (2 * c2));
      status = kTwoRealRoots;
    } else {
      const double a = std::fabs(std::sqrt(D) / (2 * c2));
      r[0] = real(a);
      r[1] = real(-a);
      status = kTwoRealRoots;
    }
  }
  t_rootStatus = status;
  return status;
}

/// The cubic's roots given one real root r: the other two from the quotient, written from
/// the constant side so that a small r does not spoil them.
void deflateCubic(const double* c, double r, XY* out) {
  XY q[2];
  quadraticStep(c[0], c[1] + c[0] / r, -c[3] * r, q);
  if (q[0].y != 0) {
    out[0] = real(r);
    out[1] = q[0];
    out[2] = q[1];
  } else {
    out[0] = q[0];
    out[1] = q[1];
    out[2] = real(r);
  }
}

void cubic(const double* c, XY* out) {
  if (c[0] == 0) {
    out[0] = real(0);
    quadraticStep(c[1], c[2], c[3], out + 1);
    return;
  }
  const double a0 = c[0] / c[3], a1 = c[1] / c[3], b = c[2] / (3 * c[3]);
  // Depressed cubic y³ + p·y + q with x = y − b.
  const double pNum = c[1] - b * c[2];
  const double p = std::fabs(pNum) <= kEps2 * std::fabs(c[1]) ? 0 : pNum / c[3];
  double t = 2 * b * b - a1;
  if (std::fabs(t) <= kEps2 * std::fabs(a1)) t = 0;
  const double q = b * t + a0;

  if (std::fabs(q) <= kEps2 * std::fabs(a0)) {
    const double s = std::sqrt(std::fabs(p));
    if (p >= 0) {
      out[0] = real(-b);
      out[1] = {-b, s};
      out[2] = {-b, -s};
    } else if (b != 0) {
      const double u = b + std::copysign(s, b);
      const double w = -3 * c[0] / (u * c[2]);
      if (std::fabs(b) <= std::fabs(w)) {
        out[0] = real(-b);
        out[1] = real(w);
      } else {
        out[0] = real(w);
        out[1] = real(-b);
      }
      out[2] = real(-u);
    } else {
      out[0] = real(-b);
      out[1] = real(s);
      out[2] = real(-s);
    }
    return;
  }

  // The discriminant q²/4 + p³/27 from terms scaled by the largest coefficient, summed
  // like signs first so that cancellation is detected against the right magnitude.
  const double m = std::max({std::fabs(c[0]), std::fabs(c[1]), std::fabs(c[2])});
  double E = a1 - 2.25 * b * b;
  if (std::fabs(E) <= kEps2 * std::fabs(a1)) E = 0;
  const double T1 = (c[0] / m) * (c[0] / m) / 4;
  const double T2 = (c[1] / m) * (c[1] / m) * E / 27;
  const double T3 = (c[2] / (3 * m)) * (c[0] / m) * t / 2;
  double first, sum;
  if (T3 >= 0) {
    first = T1 + T3;
    sum = first + T2;
  } else if (T2 >= 0) {
    first = T1 + T2;
    sum = first + T3;
  } else {
    first = T1;
    sum = T2 + T3 + T1;
  }
  if (std::fabs(sum) <= kEps2 * first) sum = 0;
  const double rootAbsD = std::sqrt(std::fabs(sum)) * std::fabs(m / c[3]);

  if (sum >= 0) {
    const double u = -q / 2 - std::copysign(rootAbsD, q);
    const double y1 = cubeRootSigned(u);
    const double v = p / (-3 * y1);
    const double s = y1 + v;
    double r = s - b;
    double e = -s / 2 - b;
    if (std::fabs(e) <= kEps2 * std::fabs(b)) e = 0;
    if (std::fabs(s) <= kEps2 * std::fabs(y1)) r = e = -b;
    if (std::fabs(y1 - v) <= kEps2 * std::fabs(y1)) {
      // The pair is a double real root e.
      if (std::fabs(r) <= std::fabs(e)) {
        if (std::fabs(r) < 0.1 * std::fabs(e)) r = -a0 / (e * e);
        out[0] = real(r);
        out[1] = real(e);
        out[2] = real(e);
      } else if (0.1 * std::fabs(r) <= std::fabs(e)) {
        out[0] = real(e);
        out[1] = real(e);
        out[2] = real(r);
      } else {
        deflateCubic(c, r, out);
      }
      return;
    }
    const double im = 0.86602540378445 * std::fabs(y1 - v);
    const double g = std::max(im, std::fabs(e));
    const double k = std::min(im, std::fabs(e)) / g;
    if (0.1 * std::fabs(r) <= g) {
      if ((r / g) * (r / g) < 0.01 * (k * k + 1)) r = -a0 / (k * k + 1) / (g * g);
      out[0] = real(r);
      out[1] = {e, im};
      out[2] = {e, -im};
    } else {
      deflateCubic(c, r, out);
    }
    return;
  }

  // Three real roots (Viète).
  const double phi = std::atan2(rootAbsD, -q / 2);
  const double rho = std::sqrt(-p / 3);
  const double cs = std::cos(phi / 3), sn = std::sin(phi / 3);
  const double ya = 2 * rho * cs;
  const double yb = -rho * (1.7320508075689 * sn + cs);
  const double yc = -q / (ya * yb);
  double x[3] = {ya - b, yb - b, yc - b};
  std::sort(x, x + 3, [](double l, double r) { return std::fabs(l) > std::fabs(r); });
  const double L = x[0], M = x[1];
  double S = x[2];
  if (std::fabs(M) < 0.1 * std::fabs(L)) {
    deflateCubic(c, L, out);
    return;
  }
  if (std::fabs(S) < 0.1 * std::fabs(M)) S = -a0 / L / M;
  out[0] = real(S);
  out[1] = real(M);
  out[2] = real(L);
}

void quartic(const double* c, XY* out) {
  if (c[0] == 0) {
    out[0] = real(0);
    cubic(c + 1, out + 1);
    return;
  }
  const double P2 = c[2] / c[4], P1 = c[1] / c[4], P0 = c[0] / c[4], s = c[3] / (4 * c[4]);
  // Depressed quartic y⁴ + A·y² + B·y + G with x = y − s.
  const double A = P2 - 6 * s * s;
  const double B = P1 - 2 * s * (P2 - 4 * s * s);
  const double G = P0 - s * P1 + s * s * (P2 - 3 * s * s);
  // Its resolvent: the squares of half the pairwise root sums.
  const double resolvent[4] = {-B * B / 64, ((A / 2) * (A / 2) - G) / 4, A / 2, 1};
  cubic(resolvent, out);

  if (out[1].y != 0) {
    const double z1 = out[0].x;
    const XY w = out[1];
    if (z1 < 0 && std::fabs(w.x) + std::fabs(w.y) < std::fabs(z1)) {
      const double im = std::sqrt(std::fabs(z1));
      out[0] = out[2] = {-s, im};
      out[1] = out[3] = {-s, -im};
      return;
    }
    double k = z1 <= 0 ? 0 : std::sqrt(z1);
    if (B > 0) k = -k;
    const std::complex<double> sigma = std::sqrt(std::complex<double>(w.x, w.y));
    const double xPlus = (k - s) + 2 * sigma.real(), xMinus = (k - s) - 2 * sigma.real();
    const double X = std::fabs(xPlus) >= std::fabs(xMinus) ? xPlus : xMinus;
    double Y = std::fabs(xPlus) >= std::fabs(xMinus) ? xMinus : xPlus;
    const double pairRe = -k - s, pairIm = 2 * std::fabs(sigma.imag());
    const double N = pairRe * pairRe + pairIm * pairIm;
    if (Y * Y < 0.01 * std::min(N, X * X)) Y = P0 / (N * X);
    out[0] = real(Y);
    out[1] = real(X);
    out[2] = {pairRe, pairIm};
    out[3] = {pairRe, -pairIm};
    return;
  }

  double z[3] = {out[0].x, out[1].x, out[2].x};
  std::sort(z, z + 3);
  const double zMin = z[0], zMid = z[1], zMax = z[2];
  double k = zMax <= 0 ? 0 : std::sqrt(zMax);
  if (zMid <= 0 || (zMin < 0 && zMid < std::fabs(zMin))) {
    double a = 0;
    const double b = std::sqrt(std::fabs(zMin));
    if (zMid <= 0) {
      a = std::sqrt(std::fabs(zMid));
      if (B < 0) k = -k;
    }
    out[0] = {-k - s, b - a};
    out[1] = {-k - s, -(b - a)};
    out[2] = {k - s, b + a};
    out[3] = {k - s, -(b + a)};
    return;
  }
  const double a = std::sqrt(zMid);
  double b = std::sqrt(std::max(zMin, 0.0));
  if (B > 0) b = -b;
  double x[4] = {b + a + k - s, -b - a + k - s, b - a - k - s, a - b - k - s};
  std::sort(x, x + 4, [](double l, double r) { return compareDoubles(&l, &r) < 0; });
  const double t = x[1] * x[2] * x[3];
  if (std::fabs(x[0]) < 0.1 * std::fabs(x[3]) && t != 0) x[0] = P0 / t;
  for (int i = 0; i < 4; ++i) out[i] = real(x[i]);
}

}  // namespace

int rootStatus() { return t_rootStatus; }

double cubeRootSigned(double x) {
  if (x == 0) return 0;
  const double r = std::exp(std::log(std::fabs(x)) / 3);
  return x < 0 ? -r : r;
}

double linearRoot(std::span<const double, 2> c) { return c[1] == 0 ? 0 : -c[0] / c[1]; }

int quadraticRoots(std::span<const double, 3> c, std::span<XY, 2> roots) {
  return quadraticStep(c[0], c[1], c[2], roots.data());
}

void cubicRoots(std::span<const double, 4> c, std::span<XY, 3> roots) { cubic(c.data(), roots.data()); }

void quarticRoots(std::span<const double, 5> c, std::span<XY, 4> roots) { quartic(c.data(), roots.data()); }

void polynomialRoots(int& status, XY& first, XY& second, double a, double b, double c, double d, double e) {
  XY r[4];
  // A cubic or quartic solve need not run a quadratic step; without this its status would
  // be whatever an earlier solve on this thread left, and its roots could be dropped.
  t_rootStatus = kTwoRealRoots;
  if (a != 0) {
    const double k[5] = {e, d, c, b, a};
    quartic(k, r);
  } else if (b != 0) {
    const double k[4] = {e, d, c, b};
    cubic(k, r);
  } else if (c != 0) {
    quadraticStep(e, d, c, r);
  } else if (d != 0) {
    r[0] = real(-e / d);
    t_rootStatus = kLinearRoot;
  } else {
    t_rootStatus = kNoRoot;
  }
  status = t_rootStatus;
  if (status >= 1) first = r[0];
  if (status >= 2) second = r[1];
}

int compareDoubles(const double* a, const double* b) {
  if (*a > *b) return 1;
  if (*b > *a) return -1;
  return 0;
}

int cubicRootsTrigonometric(std::span<const double, 4> c, std::span<double, 3> re, std::span<double, 3> im,
                            int& realCount) {
  std::fill(re.begin(), re.end(), 0.0);
  std::fill(im.begin(), im.end(), 0.0);
  realCount = 0;
  if (c[3] == 0) return -1;
  const double b = (c[2] / c[3]) * 0.3333333333333333;
  const double Q = (c[1] / c[3]) / 3 - b * b;
  const double R = -(2 * b * b * b - (c[1] * b - c[0]) / c[3]) / 2;
  const double D = R * R + Q * Q * Q;
  if (D < 0) {
    const double theta = std::acos(std::clamp(R / std::sqrt(-Q * Q * Q), -1.0, 1.0));
    const double m = 2 * std::pow(-Q * Q * Q, 0.16666666666666669);
    re[0] = m * std::cos(theta / 3) - b;
    re[1] = m * std::cos((theta + 6.283185307179586) / 3) - b;
    re[2] = m * std::cos((theta + 12.566370614359172) / 3) - b;
    std::sort(re.begin(), re.end());
    realCount = 3;
    return 0;
  }
  const auto signedCubeRoot = [](double v) { return std::copysign(std::pow(std::fabs(v), 0.3333333333333333), v); };
  const double S = signedCubeRoot(R + std::sqrt(D)), T = signedCubeRoot(R - std::sqrt(D));
  re[0] = S + T - b;
  re[1] = re[2] = -b - (S + T) / 2;
  im[1] = (S - T) * 1.7320508075688772 / 2;
  im[2] = -im[1];
  realCount = 1;
  return 0;
}

int quarticRootsFerrari(std::span<const double, 5> c, std::span<double, 4> re, std::span<double, 4> im,
                        int& realCount) {
  realCount = 0;
  if (c[4] == 0) return -1;
  const bool debug = debugOutput();
  const double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3], c4 = c[4];
  const double shift = c3 / (4 * c4);
  // Depressed quartic y⁴ + p·y² + q·y + r with x = y − shift.
  const double p = (8 * c2 * c4 - 3 * c3 * c3) / (8 * c4 * c4);
  const double q = (c3 * c3 * c3 - 4 * c2 * c3 * c4 + 8 * c1 * c4 * c4) / (8 * c4 * c4 * c4);
  const double r = (-3 * c3 * c3 * c3 * c3 + 256 * c0 * c4 * c4 * c4 - 64 * c1 * c3 * c4 * c4 + 16 * c2 * c3 * c3 * c4) /
                   (256 * c4 * c4 * c4 * c4);

  // Resolvent: y⁴ + p·y² + q·y + r = (y² + z)² − (K·y − L)² with K² = 2z − p, L² = z² − r
  // and 2·K·L = q.
  const double cubicCoefficients[4] = {4 * p * r - q * q, -8 * r, -4 * p, 8};
  double zr[3], zi[3];
  int nCube = 0;
  cubicRootsTrigonometric(cubicCoefficients, zr, zi, nCube);
  // The largest real root of the resolvent.
  const double z = nCube == 3   ? std::max({zr[0], zr[1], zr[2]})
                   : nCube == 1 ? zr[0]
                                : -std::numeric_limits<double>::infinity();
  if (debug) {
    platform::log("cubic poly: %e,%e,%e,%e", 8.0, -4 * p, -8 * r, 4 * p * r - q * q);
    platform::log("ncube = %d", nCube);
    for (int i = 0; i < 3; ++i) platform::log("%g + i*%g", zr[i], zi[i]);
    platform::log("zsol: %e", z);
    platform::log("evaluated cubic resolvent: %e", ((8 * z - 4 * p) * z - 8 * r) * z + 4 * p * r - q * q);
  }

  const double K2 = std::max(0.0, 2 * z - p);
  const double K = std::sqrt(K2);
  double L;
  if (std::fabs(p) > K || K == 0) {
    // L from z² − r: rounding of z can leave a tiny negative where the exact value is 0
    // (every quartic whose depressed form has q = 0), so clamp relative to the terms' size.
    double L2 = z * z - r;
    if (L2 < 0) {
      if (-L2 > 1e-10 * std::max(z * z, std::fabs(r))) return -2;
      L2 = 0;
    }
    // L carries the sign that makes 2·K·L = q; the unsigned root picks the mirror-image
    // factorisation whenever q < 0.
    L = std::copysign(std::sqrt(L2), q);
  } else {
    L = q / (2 * K);
  }
  // Discriminants of the two quadratic factors, zeroed relative to the size of their terms.
  const double scale = K2 + 4 * (std::fabs(z) + std::fabs(L));
  double sqp = K2 - 4 * (z + L), sqm = K2 - 4 * (z - L);
  if (std::fabs(sqp) < 1e-10 * scale) sqp = 0;
  if (std::fabs(sqm) < 1e-10 * scale) sqm = 0;
  if (debug) {
    platform::log("quartic poly: %e,%e,%e,%e,%e", c4, c3, c2, c1, c0);
    platform::log("p, q, r = %g, %g, %g", p, q, r);
    platform::log("xK2 = %g", K2);
    platform::log("xL = %g", L);
    platform::log("2KL = %g %g", 2 * K * L, q);
    platform::log("zsol = %g", z);
    platform::log("sqp = %g", sqp);
    platform::log("sqm = %g", sqm);
    platform::log("quartic poly: %e,%e,%e,%e,%e", c4, c3, c2, c1, c0);
  }

  double plusRe[2], plusIm[2], minusRe[2], minusIm[2];
  if (sqp >= 0) {
    plusRe[0] = (K + std::sqrt(sqp)) / 2, plusRe[1] = (K - std::sqrt(sqp)) / 2;
    plusIm[0] = plusIm[1] = 0;
  } else {
    plusRe[0] = plusRe[1] = K / 2;
    plusIm[0] = std::sqrt(-sqp / 4), plusIm[1] = -plusIm[0];
  }
  if (sqm >= 0) {
    minusRe[0] = (std::sqrt(sqm) - K) / 2, minusRe[1] = (-K - std::sqrt(sqm)) / 2;
    minusIm[0] = minusIm[1] = 0;
  } else {
    minusRe[0] = minusRe[1] = -K / 2;
    minusIm[0] = std::sqrt(-sqm / 4), minusIm[1] = -minusIm[0];
  }
  // Real roots first; with none, the sqm pair first.
  const bool plusFirst = sqp >= 0;
  const double* firstRe = plusFirst ? plusRe : minusRe;
  const double* firstIm = plusFirst ? plusIm : minusIm;
  const double* secondRe = plusFirst ? minusRe : plusRe;
  const double* secondIm = plusFirst ? minusIm : plusIm;
  for (int i = 0; i < 2; ++i) {
    re[i] = firstRe[i] - shift, im[i] = firstIm[i];
    re[2 + i] = secondRe[i] - shift, im[2 + i] = secondIm[i];
  }
  realCount = (sqp >= 0 ? 2 : 0) + (sqm >= 0 ? 2 : 0);
  if (debug)
    for (int i = 0; i < 4; ++i) {
      if (im[i] == 0)
        platform::log("root: %e", re[i]);
      else
        platform::log("root: %e + i %e", re[i], im[i]);
    }
  return 0;
}

}  // namespace orb::geometry
