#include "foundation/quadrature/SpecialFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

constexpr double kPi = std::numbers::pi;

/// J_n(x) = (1/π)∫₀^π cos(nτ − x sin τ) dτ by the midpoint rule, which converges
/// geometrically for this periodic integrand.
double besselReference(int n, double x) {
  const int m = 400;
  double sum = 0.0;
  for (int i = 0; i < m; ++i) {
    const double tau = (i + 0.5) * kPi / m;
    sum += std::cos(n * tau - x * std::sin(tau));
  }
  return sum / m;
}

/// ∫₀^φ f(θ) dθ by composite Simpson with many panels.
template <class F>
double simpson(F f, double phi) {
  const int m = 20000;
  const double h = phi / m;
  double sum = f(0.0) + f(phi);
  for (int i = 1; i < m; ++i) sum += (i % 2 ? 4.0 : 2.0) * f(i * h);
  return sum * h / 3.0;
}

TEST(SpecialFunctionsTest, Legendre) {
  for (double x : {-0.9, -0.3, 0.0, 0.45, 0.99, 1.7}) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(legendreP(2, x), (3 * x * x - 1) / 2, 1e-15);
    EXPECT_NEAR(legendreP(3, x), (5 * x * x * x - 3 * x) / 2, 1e-14);
    const double q0 = std::fabs(x) < 1 ? std::atanh(x) : std::atanh(1 / x);
    EXPECT_NEAR(legendreQ(0, x), q0, 1e-14);
    EXPECT_NEAR(legendreQ(2, x), legendreP(2, x) * q0 - 1.5 * x, 1e-13);
    for (int n : {1, 4, 9}) {
      if (legendreP(n, x) == 0.0) continue;  // a zero of P_n: both sides infinite
      EXPECT_NEAR(legendreQOverP(n, x), legendreQ(n, x) / legendreP(n, x), 1e-9) << n;
    }
  }
  EXPECT_EQ(legendreP(-3, 0.4), 1.0);
  EXPECT_EQ(legendreQ(0, 0.0), 0.0);
  double p[5];
  legendrePArray(5, p, 0.3);
  for (int k = 0; k < 5; ++k) EXPECT_NEAR(p[k], legendreP(k, 0.3), 1e-15);
  // W₁ = P₀P₁ + P₁P₀/2 = 1.5x, from Q₂ = P₂Q₀ − W₁.
  EXPECT_NEAR(legendreW(2, p), 1.5 * 0.3, 1e-15);
}

TEST(SpecialFunctionsTest, CompleteEllipticIntegrals) {
  double K, E;
  ellipticKE(&K, &E, 0.0);
  EXPECT_EQ(K, kPi / 2);
  EXPECT_EQ(E, kPi / 2);
  ellipticKE(&K, &E, 0.5);
  EXPECT_NEAR(K, 1.8540746773013719, 1e-15);
  EXPECT_NEAR(E, 1.3506438810476755, 1e-15);
  // Legendre's relation E K′ + E′ K − K K′ = π/2 at m = 0.2.
  double K1, E1;
  ellipticKE(&K, &E, 0.2);
  ellipticKEComplementary(&K1, &E1, 0.2);
  EXPECT_NEAR(E * K1 + E1 * K - K * K1, kPi / 2, 1e-14);
  ellipticKE(&K, &E, 1.0);
  EXPECT_EQ(K, 0.0);
  EXPECT_EQ(E, 0.0);
  ellipticKE(&K, &E, -0.1);
  EXPECT_EQ(K, 0.0);
  ellipticKEComplementary(&K, &E, 1.0);
  EXPECT_EQ(K, kPi / 2);
  EXPECT_EQ(E, kPi / 2);
  ellipticKEComplementary(&K, &E, 0.0);
  EXPECT_EQ(K, std::numeric_limits<double>::infinity());
  EXPECT_EQ(E, 1.0);
}

TEST(SpecialFunctionsTest, HeumanLambda) {
  for (double k : {0.0, 0.1, 0.5, 0.9, 0.999, 1.0}) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(heumanLambda(kPi / 2, k), 1.0, 1e-12);
    EXPECT_NEAR(heumanLambda(0.4 + kPi, k), heumanLambda(0.4, k) + 2.0, 1e-12);
    EXPECT_NEAR(heumanLambda(-0.4, k), -heumanLambda(0.4, k), 1e-15);
  }
  for (double phi : {0.1, 0.7, 1.2, 1.5}) {
    SCOPED_TRACE(phi);
    EXPECT_NEAR(heumanLambda(phi, 0.0), std::sin(phi), 1e-12);
    EXPECT_NEAR(heumanLambda(phi, 1.0), 2 * phi / kPi, 1e-15);
  }
  // Against the definition (2/π)[E F(φ,k′) + K E(φ,k′) − K F(φ,k′)] by quadrature.
  for (double k : {0.3, 0.8}) {
    const double phi = 0.9;
    const double m1 = 1 - k * k;
    double K, E;
    ellipticKE(&K, &E, k * k);
    const double F = simpson([m1](double t) { return 1 / std::sqrt(1 - m1 * std::sin(t) * std::sin(t)); }, phi);
    const double Ei = simpson([m1](double t) { return std::sqrt(1 - m1 * std::sin(t) * std::sin(t)); }, phi);
    EXPECT_NEAR(heumanLambda(phi, k), 2 / kPi * (E * F + K * Ei - K * F), 1e-12) << k;
  }
}

TEST(SpecialFunctionsTest, BesselFunctions) {
  EXPECT_NEAR(besselJ0(1.0), 0.7651976865579666, 1e-8);
  EXPECT_NEAR(besselJ1(1.0), 0.4400505857449335, 1e-8);
  EXPECT_NEAR(besselY0(1.0), 0.08825696421567696, 1e-8);
  for (double x : {0.3, 2.0, 7.99, 8.0, 12.5, 40.0}) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(besselJ0(x), besselReference(0, x), 1e-8);
    EXPECT_NEAR(besselJ1(x), besselReference(1, x), 1e-8);
    EXPECT_EQ(besselJ0(-x), besselJ0(x));
    EXPECT_EQ(besselJ1(-x), -besselJ1(x));
    // The Wronskian J1·Y0 − J0·Y1 = 2/(πx) ties the second kind to the first.
    EXPECT_NEAR(besselJ1(x) * besselY0(x) - besselJ0(x) * besselY1(x), 2 / (kPi * x), 2e-8);
    for (int n : {2, 3, 5, 10}) {
      EXPECT_NEAR(besselJn(n, x), besselReference(n, x), 2e-8) << n;
      // The Wronskian of orders n and n + 1 checks Y_n against J_n.
      EXPECT_NEAR(besselJn(n + 1, x) * besselYn(n, x) - besselJn(n, x) * besselYn(n + 1, x), 2 / (kPi * x),
                  2e-8 * std::max(1.0, std::fabs(besselYn(n + 1, x))))
          << n;
    }
  }
  EXPECT_EQ(besselJn(2, 3.0), 2 * besselJ1(3.0) / 3.0 - besselJ0(3.0));
  EXPECT_NEAR(besselJn(2, 1.5), 2 * besselJ1(1.5) / 1.5 - besselJ0(1.5), 1e-8);
  EXPECT_NEAR(besselJn(3, -2.0), -besselReference(3, 2.0), 2e-8);
  EXPECT_NEAR(besselJn(-3, 2.0), -besselReference(3, 2.0), 2e-8);
  EXPECT_EQ(besselJn(4, 0.0), 0.0);
}

TEST(SpecialFunctionsTest, SphericalBesselFunctions) {
  EXPECT_EQ(sphericalBesselJ0(0.0), 1.0);
  EXPECT_EQ(sphericalBesselJn(1, 0.0), 0.0);
  EXPECT_EQ(sphericalBesselJn(3, 0.0), 0.0);
  EXPECT_EQ(sphericalBesselKn(2, 0.0), 0.0);
  EXPECT_EQ(sphericalBesselKnScaled(2, -1.0), 0.0);
  for (double x : {0.5, 1.7, 2.0, 6.0, 15.0}) {
    SCOPED_TRACE(x);
    const double s = std::sin(x), c = std::cos(x);
    const double j2 = (3 / (x * x) - 1) * s / x - 3 * c / (x * x);
    const double y2 = (-3 / (x * x) + 1) * c / x - 3 * s / (x * x);
    EXPECT_NEAR(sphericalBesselJn(2, x), j2, 1e-13);
    EXPECT_NEAR(sphericalBesselYn(2, x), y2, 1e-12);
    EXPECT_NEAR(sphericalBesselJn(0, x), s / x, 1e-16);
    EXPECT_NEAR(sphericalBesselJ1(x), s / (x * x) - c / x, 1e-16);
    if (x > 1) {
      const double j3 = (15 / (x * x * x) - 6 / x) * s / x - (15 / (x * x) - 1) * c / x;
      EXPECT_NEAR(sphericalBesselJn(3, x), j3, 1e-13);
    }
    const double k2 = kPi / 2 / x * (1 + 3 / x + 3 / (x * x));
    EXPECT_NEAR(sphericalBesselKnScaled(2, x), k2, 1e-14 * k2);
    EXPECT_NEAR(sphericalBesselKn(2, x), std::exp(-x) * k2, 1e-14 * k2);
    // j₅ against the cylindrical function: j_n(x) = √(π/2x)·J_{n+½}(x) has no integer
    // form, so use the three-term recurrence between orders 4, 5, 6 instead.
    EXPECT_NEAR(sphericalBesselJn(4, x) + sphericalBesselJn(6, x), 11 / x * sphericalBesselJn(5, x), 1e-13);
  }
}

}  // namespace
}  // namespace orb::foundation
