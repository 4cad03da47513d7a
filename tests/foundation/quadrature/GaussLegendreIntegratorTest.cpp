#include "foundation/quadrature/GaussLegendreIntegrator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <thread>
#include <vector>

namespace orb::foundation {
namespace {

TEST(GaussLegendreIntegratorTest, LowOrderNodes) {
  const GaussLegendreIntegrator one(1);
  EXPECT_EQ(one.nodes()[0], 0.0);
  EXPECT_DOUBLE_EQ(one.weights()[0], 2.0);
  const GaussLegendreIntegrator two(2);
  EXPECT_NEAR(two.nodes()[0], 0.5773502691896257, 1e-16);
  EXPECT_NEAR(two.nodes()[1], -0.5773502691896257, 1e-16);
  EXPECT_NEAR(two.weights()[0], 1.0, 1e-15);
  EXPECT_NEAR(two.weights()[1], 1.0, 1e-15);
  // Order 5 against the closed form: 0, ±(1/3)√(5 ∓ 2√(10/7)).
  const GaussLegendreIntegrator five(5);
  EXPECT_NEAR(five.nodes()[0], std::sqrt(5 + 2 * std::sqrt(10.0 / 7)) / 3, 1e-15);
  EXPECT_NEAR(five.nodes()[1], std::sqrt(5 - 2 * std::sqrt(10.0 / 7)) / 3, 1e-15);
  EXPECT_NEAR(five.weights()[2], 128.0 / 225, 1e-15);
}

TEST(GaussLegendreIntegratorTest, ExactToDegreeTwoNMinusOne) {
  for (int n : {1, 2, 3, 4, 7, 12, 20, 33}) {
    SCOPED_TRACE(n);
    const GaussLegendreIntegrator rule(n);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
      sum += rule.weights()[i];
      if (i > 0) {
        EXPECT_LT(rule.nodes()[i], rule.nodes()[i - 1]);
      }
      EXPECT_EQ(rule.weights()[i], rule.weights()[n - 1 - i]);
    }
    EXPECT_NEAR(sum, 2.0, 2e-15);
    // ∫₀² x^k = 2^(k+1)/(k+1) exactly for k ≤ 2n − 1 …
    for (int k = 0; k <= 2 * n - 1; ++k) {
      const double exact = std::pow(2.0, k + 1) / (k + 1);
      EXPECT_NEAR(rule.integrate([k](double x) { return std::pow(x, k); }, 0.0, 2.0), exact, 1e-13 * exact) << k;
    }
    // … and not for 2n (the error, ~πn/16ⁿ relative, is visible up to n = 7).
    if (n <= 7) {
      const double exact = std::pow(2.0, 2 * n + 1) / (2 * n + 1);
      EXPECT_GT(std::fabs(rule.integrate([n](double x) { return std::pow(x, 2 * n); }, 0.0, 2.0) - exact),
                1e-9 * exact);
    }
  }
  const GaussLegendreIntegrator high(200);
  EXPECT_NEAR(high.integrate([](double x) { return std::cos(x); }, 0.0, std::numbers::pi / 2), 1.0, 1e-14);
}

TEST(GaussLegendreIntegratorTest, FunctorFormsAndDirection) {
  const GaussLegendreIntegrator rule(6);
  int calls = 0;
  const Functor f([&calls](double x) {
    ++calls;
    return x * x * x;
  });
  EXPECT_EQ(rule.integrateFunctor(f, 1.5, 1.5), 0.0);
  EXPECT_EQ(rule.integrateFunctorXYZ(FunctorXYZ([&calls](double) {
                                       ++calls;
                                       return XYZ{1, 1, 1};
                                     }),
                                     2.0, 2.0),
            (XYZ{0, 0, 0}));
  EXPECT_EQ(calls, 0);
  EXPECT_NEAR(rule.integrateFunctor(f, -1.0, 2.0), (16.0 - 1.0) / 4, 1e-14);
  EXPECT_NEAR(rule.integrateFunctor(f, 2.0, -1.0), -(16.0 - 1.0) / 4, 1e-14);
  const XYZ v = rule.integrateFunctorXYZ(FunctorXYZ([](double x) { return XYZ{1.0, x, x * x}; }), 0.0, 3.0);
  EXPECT_NEAR(v.x, 3.0, 1e-14);
  EXPECT_NEAR(v.y, 4.5, 1e-14);
  EXPECT_NEAR(v.z, 9.0, 1e-14);
  EXPECT_NEAR(rule.integrateFunctor(Functor(rule, &GaussLegendreIntegrator::unity), 0.0, 1.0), 1.0, 1e-15);

  const GaussLegendreRule plain = gaussLegendreRuleCreate(6);
  EXPECT_NEAR(gaussLegendreRuleIntegrate(plain, [](double x) { return x * x * x; }, -1.0, 2.0), 15.0 / 4, 1e-14);
  EXPECT_NEAR(gaussLegendreIntegrate(6, [](double x) { return std::exp(x); }, 0.0, 1.0), std::exp(1.0) - 1, 1e-14);
  double result[2] = {-1, -1};
  gaussLegendreRuleIntegrateVector(
      plain, 2,
      [](double* out, double x) {
        out[0] = x;
        out[1] = x * x;
      },
      result, 0.0, 3.0);
  EXPECT_NEAR(result[0], 4.5, 1e-14);
  EXPECT_NEAR(result[1], 9.0, 1e-14);
}

TEST(GaussLegendreIntegratorTest, SharedRulesPerOrder) {
  const auto first = GaussLegendreIntegrator::integratorForOrder(9);
  EXPECT_EQ(GaussLegendreIntegrator::integratorForOrder(9), first);
  EXPECT_NE(GaussLegendreIntegrator::integratorForOrder(10), first);
  GaussLegendreIntegrator::clear();
  const auto second = GaussLegendreIntegrator::integratorForOrder(9);
  EXPECT_NE(second, first);
  EXPECT_EQ(first->order(), 9);  // the old rule stays usable after clear
  EXPECT_EQ(first->nodes()[0], second->nodes()[0]);

  // Many threads asking for one new order at once all get the same rule.
  std::vector<std::shared_ptr<const GaussLegendreIntegrator>> got(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < got.size(); ++t) {
    threads.emplace_back([&got, t] { got[t] = GaussLegendreIntegrator::integratorForOrder(301); });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& rule : got) EXPECT_EQ(rule, got[0]);
}

TEST(QuadratureRulesTest, TanhSinhNodes) {
  double nodes[2], weights[2];
  tanhSinhNodes(1, nodes, weights, 0.25);
  EXPECT_EQ(nodes[0], 0.0);
  EXPECT_TRUE(std::signbit(nodes[0]));
  EXPECT_EQ(weights[0], 0.25);
  tanhSinhNodes(2, nodes, weights, 0.25);
  EXPECT_EQ(nodes[0], 0.0);
  EXPECT_TRUE(std::signbit(nodes[1]));
  EXPECT_EQ(weights[0], 0.25);
  EXPECT_EQ(weights[1], 0.25);

  // Odd n with h = 5/(n − 1): t spans [−2.5, 2.5]; the rule integrates smooth functions
  // on [−1, 1] to the truncation of the tails (~1e-5).
  const int n = 41;
  std::vector<double> x(n), w(n);
  tanhSinhNodes(n, x.data(), w.data(), 5.0 / (n - 1));
  EXPECT_NEAR(x[0], -std::tanh(std::sinh(2.5)), 1e-16);
  EXPECT_EQ(x[20], -0.0);
  double sum = 0.0, square = 0.0;
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(x[i], -x[n - 1 - i]);
    sum += w[i];
    square += w[i] * x[i] * x[i];
  }
  EXPECT_NEAR(sum, 2.0, 1e-4);
  EXPECT_NEAR(square, 2.0 / 3, 1e-4);
}

TEST(QuadratureRulesTest, Trapezoid) {
  auto square = [](double x) { return x * x; };
  // Composite trapezoid error for x² on [0, 1]: (b − a)·h²/6 exactly.
  EXPECT_NEAR(trapezoidIntegrate(10, square, 0.0, 1.0), 1.0 / 3 + 0.01 / 6, 1e-15);
  EXPECT_NEAR(trapezoidIntegrate(1, square, 1.0, 3.0), (1.0 + 9.0), 1e-15);
  EXPECT_NEAR(trapezoidIntegrate(0, square, 1.0, 3.0), (1.0 + 9.0), 1e-15);
  double result[2];
  trapezoidIntegrateVector(
      4, 2,
      [](double* out, double x) {
        out[0] = 2.0 * x + 1.0;
        out[1] = 1.0;
      },
      result, -1.0, 3.0);
  EXPECT_NEAR(result[0], 12.0, 1e-14);
  EXPECT_NEAR(result[1], 4.0, 1e-14);
}

}  // namespace
}  // namespace orb::foundation
