#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/quadrature/CauchyIntegrator.h"
#include "foundation/quadrature/HayamiLogIntegrator.h"

namespace orb::foundation {
namespace {

TEST(CauchyIntegratorTest, PrincipalValues) {
  struct Case {
    std::string name;
    int order;
    double a, b, mu;
  };
  const std::vector<Case> cases = {
      {"centred", 4, -1.0, 1.0, 0.0},         {"off centre", 7, 0.0, 3.0, 0.4},
      {"near the end", 10, 2.0, 5.0, 4.999},  {"pole outside", 6, 0.0, 1.0, 1.5},
      {"reversed interval", 5, 3.0, 1.0, 2.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CauchyIntegrator integrator(c.order);
    integrator.setMu(c.mu);
    // f ≡ 1: ln|(b − μ)/(a − μ)|, for any order.
    const double logTerm = std::log(std::fabs((c.b - c.mu) / (c.a - c.mu)));
    EXPECT_NEAR(integrator.integrateFunctor(Functor([](double) { return 1.0; }), c.a, c.b), logTerm, 1e-12);
    // f = x³: ∫(x² + μx + μ²) plus μ³ times the logarithm, exact for degree ≤ 2n.
    const double mu = c.mu;
    const double expected = (c.b * c.b * c.b - c.a * c.a * c.a) / 3 + mu * (c.b * c.b - c.a * c.a) / 2 +
                            mu * mu * (c.b - c.a) + mu * mu * mu * logTerm;
    auto cube = [](double x) { return x * x * x; };
    EXPECT_NEAR(integrator.integrateFunctor(Functor(cube), c.a, c.b), expected, 1e-13 * std::fabs(expected));
    EXPECT_NEAR(cauchyPrincipalValueIntegral(c.order, cube, c.a, c.b, c.mu), expected, 1e-13 * std::fabs(expected));
    const XYZ v = integrator.integrateFunctorXYZ(FunctorXYZ([](double x) { return XYZ{1.0, x * x * x, 0.0}; }),
                                                 c.a, c.b);
    EXPECT_NEAR(v.x, logTerm, 1e-12);
    EXPECT_NEAR(v.y, expected, 1e-13 * std::fabs(expected));
    EXPECT_EQ(v.z, 0.0);
  }
}

TEST(CauchyIntegratorTest, PoleOnANodeSwitchesOrder) {
  // μ at a node of the 3-point rule on [−1, 1] (√0.6): the 4-point rule is used instead,
  // and the result stays finite and right.
  const double mu = std::sqrt(0.6);
  EXPECT_EQ(detail::cauchyOrder(3, mu), 4);
  CauchyIntegrator integrator(3);
  integrator.setMu(mu);
  const double value = integrator.integrateFunctor(Functor([](double) { return 1.0; }), -1.0, 1.0);
  EXPECT_NEAR(value, std::log((1 - mu) / (1 + mu)), 1e-13);
  // With f(μ) = 0 nothing is subtracted: the plain weighted sum remains.
  int calls = 0;
  EXPECT_EQ(integrator.integrateFunctor(Functor([&calls](double) {
                                          ++calls;
                                          return 0.0;
                                        }),
                                        2.0, 2.0),
            0.0);
  EXPECT_EQ(calls, 0);
  EXPECT_NEAR(integrator.integrateFunctor(Functor([mu](double x) { return x - mu; }), -1.0, 1.0), 2.0, 1e-14);
}

TEST(HayamiLogIntegratorTest, MapIsOddAndInvertible) {
  HayamiLogIntegrator integrator(8);
  integrator.setSingularityDistance(0.05);
  EXPECT_EQ(integrator.map(0.0), 0.0);
  for (double x : {1e-4, 0.03, 0.5, 7.0}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(integrator.map(-x), -integrator.map(x));
    EXPECT_NEAR(integrator.inverseMap(integrator.map(x)), x, 1e-13 * std::max(1.0, x) + 1e-16);
    // dx/dt by a central difference of the inverse map.
    const double t = integrator.map(x), h = 1e-6 * std::max(t, 1e-3);
    const double slope = (integrator.inverseMap(t + h) - integrator.inverseMap(t - h)) / (2 * h);
    EXPECT_NEAR(integrator.Jacobian(x), slope, 1e-5 * slope);
  }
}

TEST(HayamiLogIntegratorTest, NearlySingularIntegrand) {
  // ∫ x/(x² + d²) over [a, b] is ½ ln((b² + d²)/(a² + d²)); in the log variable the
  // integrand becomes 1, so the rule is exact.
  const double d = 1e-3;
  HayamiLogIntegrator scalar(6);
  scalar.setSingularityDistance(d);
  const Functor f([d](double x) { return x / (x * x + d * d); });
  EXPECT_NEAR(scalar.integrateFunctor(f, 0.01, 3.0), 0.5 * std::log((9.0 + d * d) / (1e-4 + d * d)), 1e-12);
  EXPECT_EQ(scalar.integrateFunctor(f, 1.0, 1.0), 0.0);

  HayamiLogIntegratorXYZ vector(6);
  vector.setSingularityDistance(d);
  const FunctorXYZ g([d](double x) { return XYZ{x / (x * x + d * d), 0.0, 2.0 * x / (x * x + d * d)}; });
  const XYZ whole = vector.integrateFunctorXYZ(g, -2.0, 3.0);
  const XYZ positive = vector.integrateFunctorXYZ(g, 0.0, 3.0);
  EXPECT_EQ(whole, positive);  // only the non-negative side is integrated
  EXPECT_NEAR(positive.x, 0.5 * std::log((9.0 + d * d) / (d * d)), 1e-12);
  EXPECT_NEAR(positive.z, 2.0 * positive.x, 1e-12);
  // The scalar form integrates both sides: the odd integrand cancels over [−3, 3].
  EXPECT_NEAR(scalar.integrateFunctor(f, -3.0, 3.0), 0.0, 1e-12);
}

}  // namespace
}  // namespace orb::foundation
