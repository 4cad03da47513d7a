#include "foundation/polynomial/QuarticPoly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "foundation/polynomial/QuarticSolver.h"

namespace orb::foundation {
namespace {

using Complex = std::complex<double>;

TEST(QuarticPolyTest, RecordArithmetic) {
  const QuarticPoly line = quarticPolyLinear(3.0, -2.0);  // 3t − 2
  const QuarticPoly square = quarticPolySquare(line);
  EXPECT_EQ(square.degree, 2);
  EXPECT_EQ(square.c[2], 9.0);
  EXPECT_EQ(square.c[1], -12.0);
  EXPECT_EQ(square.c[0], 4.0);
  EXPECT_EQ(quarticPolySquare(square).degree, 4);

  const QuarticPoly sum = quarticPolyAdd(line, square);
  EXPECT_EQ(sum.degree, 2);
  EXPECT_EQ(sum.c[1], -9.0);

  QuarticPoly cubic = quarticPolyScale(quarticPolyMultiply(square, line), 2.0);  // 2(3t − 2)³
  EXPECT_EQ(cubic.degree, 3);
  EXPECT_EQ(cubic.c[3], 54.0);
  EXPECT_EQ(cubic.c[0], -16.0);
  const QuarticPoly truncated = quarticPolyMultiply(cubic, square);  // t⁵ dropped
  EXPECT_EQ(truncated.degree, 4);
  EXPECT_EQ(truncated.c[4], 54.0 * -12.0 + -108.0 * 9.0);
  EXPECT_EQ(truncated.c[3], 54.0 * 4.0 + -108.0 * -12.0 + 72.0 * 9.0);
  EXPECT_EQ(quarticPolyConstant(7.0).c[0], 7.0);
}

TEST(QuarticPolyTest, ClosedFormRealRoots) {
  double roots[4];
  ASSERT_EQ(solveQuadraticRoots(roots, 1.0, 0.0, -1.0), 2);
  EXPECT_EQ(roots[0], -1.0);
  EXPECT_EQ(roots[1], 1.0);
  EXPECT_EQ(solveQuadraticRoots(roots, 1.0, 0.0, 0.0), 0);
  EXPECT_EQ(solveQuadraticRoots(roots, 0.0, 2.0, 1.0), 0);

  struct Case {
    std::string name;
    double a, b, c, d, e;
    std::vector<double> expected;  // sorted
  };
  const std::vector<Case> cases = {
      {"biquadratic (t²−1)(t²−4)", 1, 0, -5, 0, 4, {-2, -1, 1, 2}},
      {"biquadratic, one pair real", 1, 0, -3, 0, -4, {-2, 2}},
      {"biquadratic, no real root", 1, 0, 3, 0, 2, {}},
      {"t⁴ + 1", 1, 0, 0, 0, 1, {}},
      {"(t−1)(t−2)(t²+1)", 1, -3, 3, -3, 2, {1, 2}},
      {"−(t−1)(t−2)(t²+1): negative cube-root argument", -1, 3, -3, 3, -2, {1, 2}},
      {"(t−1)(t−2)(t−3)(t−4)", 1, -10, 35, -50, 24, {1, 2, 3, 4}},
      {"2t(t−1)(t−2)(t−3)", 2, -12, 22, -12, 0, {0, 1, 2, 3}},
      {"(t²+1)(t²+2t+5)", 1, 2, 6, 2, 5, {}},
      {"leading zero", 0, 1, 0, 0, -1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int count = solveQuarticRoots(roots, c.a, c.b, c.c, c.d, c.e);
    ASSERT_EQ(count, static_cast<int>(c.expected.size()));
    std::vector<double> found(roots, roots + count);
    std::sort(found.begin(), found.end());
    for (int i = 0; i < count; ++i) EXPECT_NEAR(found[i], c.expected[i], 1e-9);
  }
  QuarticPoly p;
  p.degree = 4;
  const double coefficients[5] = {24, -50, 35, -10, 1};
  std::copy(coefficients, coefficients + 5, p.c);
  double out[4] = {0, 0, 0, 0};
  EXPECT_EQ(solveQuarticPolyRoots(out, p), 4);
  EXPECT_NEAR(out[0] + out[1] + out[2] + out[3], 10.0, 1e-12);
}

TEST(QuarticSolverTest, DepressedCubicLargestRoot) {
  struct Case {
    std::string name;
    double g, h, expectedMagnitude;
  };
  const std::vector<Case> cases = {
      {"x³ − 1", 0, -1, 1},
      {"x³ − 3x", -3, 0, std::sqrt(3.0)},
      {"x³ − 7x + 6 (1, 2, −3)", -7, 6, 3},
      {"x³ − x, the shifted x³ − 6x² + 11x − 6", -1, 0, 1},
      {"x³ + 3x", 3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double root = NAN, safe = NAN;
    solveDepressedCubic(&root, c.g, c.h);
    solveDepressedCubicOverflowSafe(&safe, c.g, c.h);
    for (double r : {root, safe}) {
      EXPECT_NEAR(std::fabs(r), c.expectedMagnitude, 1e-14);
      EXPECT_NEAR((r * r + c.g) * r + c.h, 0.0, 1e-13);
    }
  }
  // Beyond the guards the overflow-safe form takes over: x³ − 3e210·x has root √3e105.
  double huge;
  solveDepressedCubic(&huge, -3e210, 0.0);
  EXPECT_NEAR(huge / 1e105, std::sqrt(3.0), 1e-14);
}

/// Each expected root matched to a distinct computed root within tol·max(1, |root|).
void expectRoots(const double* roots, std::vector<Complex> expected, double tolerance) {
  std::vector<Complex> found;
  for (int i = 0; i < 4; ++i) found.emplace_back(roots[2 * i], roots[2 * i + 1]);
  for (const Complex& e : expected) {
    auto nearest = std::min_element(found.begin(), found.end(), [&e](const Complex& a, const Complex& b) {
      return std::abs(a - e) < std::abs(b - e);
    });
    EXPECT_LE(std::abs(*nearest - e), tolerance * std::max(1.0, std::abs(e))) << e << " nearest " << *nearest;
    found.erase(nearest);
  }
}

/// Coefficients (constant first) of Π (x − rᵢ) for real or conjugate-paired roots.
std::vector<double> fromRoots(const std::vector<Complex>& r, double scale = 1.0) {
  std::vector<Complex> c = {1.0};
  for (const Complex& root : r) {
    std::vector<Complex> next(c.size() + 1, 0.0);
    for (std::size_t k = 0; k < c.size(); ++k) {
      next[k + 1] += c[k];
      next[k] -= root * c[k];
    }
    c = next;
  }
  std::vector<double> real;
  for (const Complex& v : c) real.push_back(scale * v.real());
  return real;
}

TEST(QuarticSolverTest, AllFourComplexRoots) {
  const Complex i(0.0, 1.0);
  const double s = std::sqrt(0.5);
  struct Case {
    std::string name;
    std::vector<Complex> roots;
    double scale;
    double tolerance;
  };
  const std::vector<Case> cases = {
      {"x⁴ − 1", {1.0, -1.0, i, -i}, 1.0, 1e-15},
      {"x⁴ + 1", {s + s * i, s - s * i, -s + s * i, -s - s * i}, 1.0, 1e-15},
      {"(x−1)(x−2)(x−3)(x−4)", {1.0, 2.0, 3.0, 4.0}, 1.0, 1e-14},
      {"x(x³ − 6x² + 11x − 6)", {0.0, 1.0, 2.0, 3.0}, 1.0, 1e-14},
      {"(x² − 1)(x² − 4), scaled by −3", {1.0, -1.0, 2.0, -2.0}, -3.0, 1e-15},
      {"two double roots", {1.0, 1.0, -2.0, -2.0}, 1.0, 1e-7},
      {"complex pairs", {0.5 + 2.0 * i, 0.5 - 2.0 * i, -3.0 + 0.1 * i, -3.0 - 0.1 * i}, 1.0, 1e-14},
      {"spread over twelve decades", {1e-6, 1e-2, 1e2, 1e6}, 1.0, 1e-12},
      {"coefficients near 1e300", {1e75, -2e75, 3e75, -4e75}, 1.0, 1e-13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> coefficients = fromRoots(c.roots, c.scale);
    double roots[8];
    ASSERT_TRUE(solveQuarticComplexRoots(coefficients.data(), roots));
    for (double v : roots) ASSERT_TRUE(std::isfinite(v));
    expectRoots(roots, c.roots, c.tolerance);
  }
}

TEST(QuarticSolverTest, NotAQuarticLeavesTheOutputAlone) {
  const double coefficients[5] = {1, 2, 3, 4, 0};
  double roots[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(solveQuarticComplexRoots(coefficients, roots));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "That's not a quartic!\n");
  for (double v : roots) EXPECT_EQ(v, 7.0);
}

TEST(QuarticSolverTest, RefinementPolishesPerturbedFactors) {
  // (x² + 3x + 2)(x² − x + 5) = x⁴ + 2x³ + 4x² + 13x + 10, factors perturbed by 1e-6.
  double a1 = 3 + 1e-6, b1 = 2 - 1e-6, a2 = -1 - 2e-6, b2 = 5 + 1e-6;
  refineQuadraticFactors(2, 4, 13, 10, &a1, &b1, &a2, &b2);
  EXPECT_NEAR(a1, 3.0, 1e-14);
  EXPECT_NEAR(b1, 2.0, 1e-14);
  EXPECT_NEAR(a2, -1.0, 1e-14);
  EXPECT_NEAR(b2, 5.0, 1e-14);
  EXPECT_LT(realFactorRelativeError(2, 4, 13, 10, a1, b1, a2, b2), 1e-15);

  double roots[4];
  solveMonicQuadratic(roots, -1e8, 1.0);  // roots 1e8 and 1e-8, neither lost to cancellation
  EXPECT_NEAR(roots[0], 1e8, 1e-7);
  EXPECT_NEAR(roots[2], 1e-8, 1e-23);
  solveMonicQuadratic(roots, 2.0, 5.0);  // −1 ± 2i
  EXPECT_EQ(roots[0], -1.0);
  EXPECT_EQ(roots[1], 2.0);
  EXPECT_EQ(roots[3], -2.0);
}

}  // namespace
}  // namespace orb::foundation
