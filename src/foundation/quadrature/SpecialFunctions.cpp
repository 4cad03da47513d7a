#include "foundation/quadrature/SpecialFunctions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace orb::foundation {

namespace {

constexpr double kPi = std::numbers::pi;

/// Horner over coefficients listed from the constant term up.
template <std::size_t N>
double series(const double (&c)[N], double y) {
  double sum = c[N - 1];
  for (std::size_t i = N - 1; i-- > 0;) sum = sum * y + c[i];
  return sum;
}

// Rational approximations below 8 and asymptotic factors from 8 up. The y⁵ term of the
// Y1 numerator is 8.511937935e3: with 8.511937935e4 the Wronskian J1·Y0 − J0·Y1 = 2/(πx)
// fails by 6e-6 at x = 2 and Y1 runs off to +8.5 just below 8.
constexpr double kJ0N[] = {57568490574.0, -13362590354.0, 651619640.7, -11214424.18, 77392.33017, -184.9052456};
constexpr double kJ0D[] = {57568490411.0, 1029532985.0, 9494680.718, 59272.64853, 267.8532712, 1.0};
constexpr double kJ1N[] = {72362614232.0, -7895059235.0, 242396853.1, -2972611.439, 15704.48260, -30.16036606};
constexpr double kJ1D[] = {144725228442.0, 2300535178.0, 18583304.74, 99447.43394, 376.9991397, 1.0};
constexpr double kY0N[] = {-2957821389.0, 7062834065.0, -512359803.6, 10879881.29, -86327.92757, 228.4622733};
constexpr double kY0D[] = {40076544269.0, 745249964.8, 7189466.438, 47447.26470, 226.1030244, 1.0};
constexpr double kY1N[] = {-4.900604943e12, 1.275274390e12, -5.153438139e10, 7.349264551e8, -4.237922726e6, 8.511937935e3};
constexpr double kY1D[] = {2.499580570e13, 4.244419664e11, 3.733650367e9, 2.245904002e7, 1.020426050e5, 3.549632885e2, 1.0};
constexpr double kP0[] = {1.0, -0.001098628627, 2.734510407e-5, -2.073370639e-6, 2.093887211e-7};
constexpr double kQ0[] = {-0.01562499995, 1.430488765e-4, -6.911147651e-6, 7.621095161e-7, -9.34935152e-8};
constexpr double kQ0Y[] = {-0.01562499995, 1.430488765e-4, -6.911147651e-6, 7.621095161e-7, -9.34945152e-8};
constexpr double kP1[] = {1.0, 0.00183105, -3.516396496e-5, 2.457520174e-6, -2.40337019e-7};
constexpr double kQ1[] = {0.04687499995, -2.002690873e-4, 8.449199096e-6, -8.8228987e-7, 1.05787412e-7};
constexpr double kTwoOverPi = 0.636619772;

/// Carlson's R_F(x, y, z) by duplication; at most one argument zero.
double carlsonRF(double x, double y, double z) {
  constexpr double kTolerance = 0.0008;  // error ~ tolerance⁶
  double mean = 1.0;
  double dx = 0.0, dy = 0.0, dz = 0.0;
  for (int i = 0; i < 100; ++i) {
    const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z);
    const double lambda = sx * (sy + sz) + sy * sz;
    x = 0.25 * (x + lambda);
    y = 0.25 * (y + lambda);
    z = 0.25 * (z + lambda);
    mean = (x + y + z) / 3.0;
    dx = (mean - x) / mean;
    dy = (mean - y) / mean;
    dz = (mean - z) / mean;
    if (std::max({std::fabs(dx), std::fabs(dy), std::fabs(dz)}) < kTolerance) break;
  }
  const double e2 = dx * dy - dz * dz;
  const double e3 = dx * dy * dz;
  return (1.0 + (e2 / 24.0 - 0.1 - 3.0 * e3 / 44.0) * e2 + e3 / 14.0) / std::sqrt(mean);
}

/// Carlson's R_D(x, y, z) by duplication; x and y not both zero.
double carlsonRD(double x, double y, double z) {
  constexpr double kTolerance = 0.0005;
  double sum = 0.0;
  double factor = 1.0;
  double mean = 1.0;
  double dx = 0.0, dy = 0.0, dz = 0.0;
  for (int i = 0; i < 100; ++i) {
    const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z);
    const double lambda = sx * (sy + sz) + sy * sz;
    sum += factor / (sz * (z + lambda));
    factor *= 0.25;
    x = 0.25 * (x + lambda);
    y = 0.25 * (y + lambda);
    z = 0.25 * (z + lambda);
    mean = 0.2 * (x + y + 3.0 * z);
    dx = (mean - x) / mean;
    dy = (mean - y) / mean;
    dz = (mean - z) / mean;
    if (std::max({std::fabs(dx), std::fabs(dy), std::fabs(dz)}) < kTolerance) break;
  }
  constexpr double c1 = 3.0 / 14.0, c2 = 1.0 / 6.0, c3 = 9.0 / 22.0, c4 = 3.0 / 26.0;
  constexpr double c5 = 0.25 * c3, c6 = 1.5 * c4;
  const double ea = dx * dy;
  const double eb = dz * dz;
  const double ec = ea - eb;
  const double ed = ea - 6.0 * eb;
  const double ee = ed + ec + ec;
  return 3.0 * sum + factor * (1.0 + ed * (-c1 + c5 * ed - c6 * dz * ee) + dz * (c2 * ee + dz * (-c3 * ec + dz * c4 * ea))) /
                         (mean * std::sqrt(mean));
}

/// The arithmetic–geometric mean sweep shared by K and E.
void agm(double* K, double* E, double g, double term) {
  double a = 1.0;
  double c = (1.0 - g) / 2.0;
  double sum = 0.0;
  double power = 1.0;
  for (int count = 0; count <= 19; ++count) {
    if (std::fabs(c) < 1e-8 * a && term <= 1e-8 * sum) break;
    sum += term;
    c = (a - g) / 2.0;
    power *= 2.0;
    const double next = (a + g) / 2.0;
    g = std::sqrt(g * a);
    term = power * c * c;
    a = next;
  }
  *K = kPi / (a + g);
  *E = *K * (1.0 - (sum + term) / 2.0);
}

/// Miller's downward recurrence for J_n, n ≥ 2, 0 < x ≤ n.
double besselJnDownward(int n, double x) {
  const double t = 2.0 / x;
  int m = n + static_cast<int>(std::sqrt(40.0 * n));
  m -= m % 2;
  double b = 1.0, above = 0.0, answer = 0.0, sum = 0.0;
  bool odd = false;
  for (int j = m; j >= 1; --j) {
    if (std::fabs(b) > 1e10) {
      b *= 1e-10;
      above *= 1e-10;
      answer *= 1e-10;
      sum *= 1e-10;
    }
    if (!odd) sum += b;
    if (j == n) answer = b;
    odd = !odd;
    const double below = j * t * b - above;
    above = b;
    b = below;
  }
  // b is now the unnormalised J₀ and sum the even orders 2 … m: J₀ + 2ΣJ_2k = 1.
  return answer / (b + 2.0 * sum);
}

}  // namespace

double legendreP(int n, double x) {
  if (n < 1) return 1.0;
  if (n == 1) return x;
  double previous = 1.0, p = x;
  for (int k = 1; k < n; ++k) {
    const double next = ((2.0 * k + 1.0) * x * p - k * previous) / (k + 1.0);
    previous = p;
    p = next;
  }
  return p;
}

double legendreQ(int n, double x) {
  const double denominator = (x >= -1.0 && x <= 1.0) ? 1.0 - x : x - 1.0;
  const double q0 = 0.5 * std::log((x + 1.0) / denominator);
  if (n < 1) return q0;
  double previous = q0, q = x * q0 - 1.0;
  for (int k = 1; k < n; ++k) {
    const double next = ((2.0 * k + 1.0) * x * q - k * previous) / (k + 1.0);
    previous = q;
    q = next;
  }
  return q;
}

void legendrePArray(int n, double* out, double x) {
  if (n >= 1) out[0] = 1.0;
  if (n >= 2) out[1] = x;
  for (int k = 2; k < n; ++k) out[k] = ((2.0 * k - 1.0) * x * out[k - 1] - (k - 1.0) * out[k - 2]) / k;
}

double legendreW(int n, const double* p) {
  if (n < 1) return 0.0;
  double sum = 0.0;
  int k = 1;
  for (; k + 1 <= n; k += 2) sum += p[k - 1] * p[n - k] / k + p[k] * p[n - k - 1] / (k + 1);
  if (k == n) sum += p[k - 1] * p[n - k] / k;
  return sum;
}

double legendreQOverP(int n, double x) {
  if (n < 1) return legendreQ(0, x);
  double small[65];
  std::vector<double> large;
  double* p = small;
  if (n + 1 > 65) {
    large.resize(static_cast<std::size_t>(n) + 1);
    p = large.data();
  }
  legendrePArray(n + 1, p, x);
  return legendreQ(0, x) - legendreW(n, p) / p[n];
}

void ellipticKE(double* K, double* E, double m) {
  if (m < 0.0 || m >= 1.0) {
    *K = *E = 0.0;
    return;
  }
  agm(K, E, std::sqrt(1.0 - m), m);
}

void ellipticKEComplementary(double* K, double* E, double m1) {
  if (m1 <= 0.0) {
    *K = std::numeric_limits<double>::infinity();
    *E = 1.0;
    return;
  }
  if (m1 > 1.0) {
    *K = *E = kPi / 2.0;
    return;
  }
  agm(K, E, std::sqrt(m1), 1.0 - m1);
}

double heumanLambda(double phi, double k) {
  // Λ₀ = (2/π)·[E(k)·F(φ, k′) + K(k)·(E(φ, k′) − F(φ, k′))] with the incomplete
  // integrals of the complementary modulus in Carlson's form; E(φ) − F(φ) is taken as
  // −(k′²/3)·sin³φ·R_D directly, so nothing cancels but the final difference.
  const double m1 = 1.0 - k * k;
  if (!(m1 >= 0.0) || !std::isfinite(phi)) return std::numeric_limits<double>::quiet_NaN();
  const double turns = std::round(phi / kPi);
  const double reduced = phi - turns * kPi;  // in [−π/2, π/2]: Λ₀ gains 2 per half turn
  if (m1 == 0.0) return 2.0 * turns + reduced * (2.0 / kPi);
  double K, E;
  ellipticKE(&K, &E, k * k);
  const double s = std::sin(reduced);
  const double c = std::cos(reduced);
  const double x = c * c;
  const double y = 1.0 - m1 * s * s;
  const double F = s * carlsonRF(x, y, 1.0);
  const double EminusF = s == 0.0 ? 0.0 : -(m1 / 3.0) * s * s * s * carlsonRD(x, y, 1.0);
  return 2.0 * turns + (2.0 / kPi) * (E * F + K * EminusF);
}

double besselJ0(double x) {
  const double ax = std::fabs(x);
  if (ax < 8.0) {
    const double y = x * x;
    return series(kJ0N, y) / series(kJ0D, y);
  }
  const double z = 8.0 / ax;
  const double y = z * z;
  const double u = ax - 0.785398164;
  return std::sqrt(kTwoOverPi / ax) * (std::cos(u) * series(kP0, y) - z * std::sin(u) * series(kQ0, y));
}

double besselJ1(double x) {
  const double ax = std::fabs(x);
  if (ax < 8.0) {
    const double y = x * x;
    return x * series(kJ1N, y) / series(kJ1D, y);
  }
  const double z = 8.0 / ax;
  const double y = z * z;
  const double u = ax - 2.356194491;
  const double value = std::sqrt(kTwoOverPi / ax) * (std::cos(u) * series(kP1, y) - z * std::sin(u) * series(kQ1, y));
  return x < 0.0 ? -value : value;
}

double besselY0(double x) {
  if (x < 8.0) {
    const double y = x * x;
    return series(kY0N, y) / series(kY0D, y) + kTwoOverPi * besselJ0(x) * std::log(x);
  }
  const double z = 8.0 / x;
  const double y = z * z;
  const double u = x - 0.785398164;
  return std::sqrt(kTwoOverPi / x) * (std::sin(u) * series(kP0, y) + z * std::cos(u) * series(kQ0Y, y));
}

double besselY1(double x) {
  if (x < 8.0) {
    const double y = x * x;
    return x * series(kY1N, y) / series(kY1D, y) + kTwoOverPi * (besselJ1(x) * std::log(x) - 1.0 / x);
  }
  const double z = 8.0 / x;
  const double y = z * z;
  const double u = x - 2.356194491;
  return std::sqrt(kTwoOverPi / x) * (std::sin(u) * series(kP1, y) + z * std::cos(u) * series(kQ1, y));
}

double besselJn(int n, double x) {
  if (n < 0) return (n % 2 == 0 ? 1.0 : -1.0) * besselJn(-n, x);
  if (n == 0) return besselJ0(x);
  if (n == 1) return besselJ1(x);
  if (x < 0.0) return (n % 2 == 0 ? 1.0 : -1.0) * besselJn(n, -x);
  if (x == 0.0) return 0.0;
  if (x > n) {
    const double t = 2.0 / x;
    double previous = besselJ0(x), j = besselJ1(x);
    for (int k = 1; k < n; ++k) {
      const double next = k * t * j - previous;
      previous = j;
      j = next;
    }
    return j;
  }
  return besselJnDownward(n, x);
}

double besselYn(int n, double x) {
  if (n < 0) return (n % 2 == 0 ? 1.0 : -1.0) * besselYn(-n, x);
  if (n == 0) return besselY0(x);
  if (n == 1) return besselY1(x);
  const double t = 2.0 / x;
  double previous = besselY0(x), y = besselY1(x);
  for (int k = 1; k < n; ++k) {
    const double next = k * t * y - previous;
    previous = y;
    y = next;
  }
  return y;
}

double sphericalBesselJ0(double x) { return x == 0.0 ? 1.0 : std::sin(x) / x; }

double sphericalBesselJ1(double x) { return x == 0.0 ? 0.0 : (std::sin(x) / x - std::cos(x)) / x; }

double sphericalBesselJn(int n, double x) {
  if (n <= 0) return sphericalBesselJ0(x);
  if (x == 0.0) return 0.0;
  if (n == 1) return sphericalBesselJ1(x);
  const double j0 = sphericalBesselJ0(x);
  const double j1 = sphericalBesselJ1(x);
  if (x > n) {
    double previous = j0, j = j1;
    for (int k = 1; k < n; ++k) {
      const double next = (2.0 * k + 1.0) / x * j - previous;
      previous = j;
      j = next;
    }
    return j;
  }
  int m = n + static_cast<int>(std::sqrt(40.0 * n));
  m -= m % 2;
  double b = 1.0, above = 0.0, kept = 0.0;
  for (int j = m; j >= 1; --j) {
    if (std::fabs(b) > 1e10) {
      b *= 1e-10;
      above *= 1e-10;
      kept *= 1e-10;
    }
    if (j == n) kept = b;
    const double below = (2.0 * j + 1.0) / x * b - above;
    above = b;
    b = below;
  }
  // b is the unnormalised order 0, `above` order 1: scale by the better-conditioned one.
  return std::fabs(j0) > std::fabs(j1) ? kept * j0 / b : kept * j1 / above;
}

double sphericalBesselY0(double x) { return -std::cos(x) / x; }

double sphericalBesselY1(double x) { return -(std::cos(x) / x + std::sin(x)) / x; }

double sphericalBesselYn(int n, double x) {
  if (n <= 0) return sphericalBesselY0(x);
  if (n == 1) return sphericalBesselY1(x);
  double previous = sphericalBesselY0(x), y = sphericalBesselY1(x);
  for (int k = 1; k < n; ++k) {
    const double next = (2.0 * k + 1.0) / x * y - previous;
    previous = y;
    y = next;
  }
  return y;
}

double sphericalBesselKnScaled(int n, double x) {
  if (x <= 0.0) return 0.0;
  const double r = 1.0 / x;
  double previous = (kPi / 2.0) * r;
  if (n <= 0) return previous;
  double k = (kPi / 2.0) * r * (1.0 + r);
  for (int j = 1; j < n; ++j) {
    const double next = previous + (2.0 * j + 1.0) * r * k;
    previous = k;
    k = next;
  }
  return k;
}

double sphericalBesselKn(int n, double x) {
  if (x <= 0.0) return 0.0;
  return std::exp(-x) * sphericalBesselKnScaled(n, x);
}

}  // namespace orb::foundation
