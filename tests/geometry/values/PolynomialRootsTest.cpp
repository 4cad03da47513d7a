#include "geometry/values/PolynomialRoots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <string>
#include <thread>
#include <vector>

#include "geometry/values/R3ToR1Map.h"

namespace orb::geometry {
namespace {

using foundation::XY;
using C = std::complex<double>;

const double kH = std::sqrt(0.5);
const double kS3 = std::sqrt(3.0) / 2;

/// Expanded coefficients, constant first, of the monic polynomial with these roots.
template <std::size_t N>
std::array<double, N + 1> fromRoots(const std::array<C, N>& roots) {
  std::vector<C> c{1};
  for (const C& r : roots) {
    std::vector<C> next(c.size() + 1, 0);
    for (std::size_t i = 0; i < c.size(); ++i) {
      next[i + 1] += c[i];
      next[i] -= r * c[i];
    }
    c = next;
  }
  std::array<double, N + 1> out{};
  for (std::size_t i = 0; i <= N; ++i) out[i] = c[i].real();
  return out;
}

void expectRoots(const std::vector<XY>& got, const std::vector<XY>& want, double tol, bool exactlyReal = true) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[i].x, want[i].x, tol) << "root " << i;
    if (want[i].y == 0 && exactlyReal)
      EXPECT_EQ(got[i].y, 0) << "root " << i << " must be exactly real";
    else
      EXPECT_NEAR(got[i].y, want[i].y, tol) << "root " << i;
  }
}

TEST(PolynomialRootsTest, QuadraticStepAndStatus) {
  struct Case {
    std::string name;
    std::array<double, 3> c;
    std::vector<XY> roots;
    int status;
  };
  const std::vector<Case> cases = {
      {"no linear term", {-1, 0, 1}, {{1, 0}, {-1, 0}}, kTwoRealRoots},
      {"imaginary pair", {1, 0, 1}, {{0, 1}, {0, -1}}, kComplexPair},
      {"zero constant", {0, 2, 1}, {{0, 0}, {-2, 0}}, kZeroConstant},
      {"double root", {1, -2, 1}, {{1, 0}, {1, 0}}, kTwoRealRoots},
      // Roots 1e-8 and 1e8: the small one survives because it is not found by cancellation.
      {"widely separated", {1, -(1e8 + 1e-8), 1}, {{1e-8, 0}, {1e8, 0}}, kTwoRealRoots},
      {"complex", {5, -2, 1}, {{1, 2}, {1, -2}}, kComplexPair},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<XY, 2> r{};
    EXPECT_EQ(quadraticRoots(c.c, r), c.status);
    EXPECT_EQ(rootStatus(), c.status);
    for (int i = 0; i < 2; ++i) {
      EXPECT_NEAR(r[i].x, c.roots[i].x, 1e-15 * std::max(1.0, std::fabs(c.roots[i].x)));
      EXPECT_EQ(r[i].y, c.roots[i].y);
    }
  }
  EXPECT_EQ(linearRoot(std::array<double, 2>{3, 2}), -1.5);
  EXPECT_EQ(linearRoot(std::array<double, 2>{3, 0}), 0);
  EXPECT_NEAR(cubeRootSigned(-27), -3, 1e-15);
  EXPECT_EQ(cubeRootSigned(0), 0);
}

TEST(PolynomialRootsTest, CubicRootsInTheirOrder) {
  struct Case {
    std::string name;
    std::array<double, 4> c;
    std::vector<XY> roots;
  };
  const std::vector<Case> cases = {
      {"three real, smallest first", {-6, 11, -6, 1}, {{1, 0}, {2, 0}, {3, 0}}},
      {"zero root", {0, 2, -3, 1}, {{0, 0}, {1, 0}, {2, 0}}},
      {"triple root", {8, -12, 6, -1}, {{2, 0}, {2, 0.0}, {2, 0.0}}},
      {"cube roots of unity", {-1, 0, 0, 1}, {{1, 0}, {-0.5, 0.86602540378445}, {-0.5, -0.86602540378445}}},
      {"x³ + 1", {1, 0, 0, 1}, {{-1, 0}, {0.5, 0.86602540378445}, {0.5, -0.86602540378445}}},
      {"real and complex pair", {-10, 1.5, -4, 2}, {{2.5, 0}, {-0.25, std::sqrt(31.0) / 4}, {-0.25, -std::sqrt(31.0) / 4}}},
      {"double root and a simple one", {-4, 8, -5, 1}, {{1, 0}, {2, 0}, {2, 0}}},
      {"one tiny root", {-1e-6, 1 + 1e-6 * 5, -(5 + 1e-6), 1}, {{1e-6, 0}, {0, 0}, {0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<XY, 3> r{};
    cubicRoots(c.c, r);
    if (c.name == "one tiny root") {
      // Roots 1e-6 and (5 ± √21)/2: the small one to full relative precision.
      std::vector<double> re{r[0].x, r[1].x, r[2].x};
      std::sort(re.begin(), re.end());
      EXPECT_NEAR(re[0], 1e-6, 1e-21);
      EXPECT_NEAR(re[1], (5 - std::sqrt(21.0)) / 2, 1e-14);
      EXPECT_NEAR(re[2], (5 + std::sqrt(21.0)) / 2, 1e-14);
      continue;
    }
    // A double root is found to about √ε, and rounding may leave it a narrow pair. The
    // pair's imaginary part carries the solver's 14-digit √3/2.
    const bool doubleRoot = c.name == "double root and a simple one";
    expectRoots({r.begin(), r.end()}, c.roots, doubleRoot ? 1e-7 : 1e-13, !doubleRoot);
  }
  std::array<XY, 3> r{};
  cubicRoots(std::array<double, 4>{-1, 0, 0, 1}, r);
  EXPECT_NEAR(r[1].y, 0.86602540378445, 1e-15);  // the pair's imaginary part as the solver forms it
}

TEST(PolynomialRootsTest, QuarticRootsThroughTheResolvent) {
  struct Case {
    std::string name;
    std::array<double, 5> c;
    std::vector<XY> roots;
  };
  const std::vector<Case> cases = {
      {"(x² − 1)(x² − 4)", {4, 0, -5, 0, 1}, {{-2, 0}, {-1, 0}, {1, 0}, {2, 0}}},
      {"1, 2, 3, 4", {24, -50, 35, -10, 1}, {{1, 0}, {2, 0}, {3, 0}, {4, 0}}},
      {"1, 2, 3, 5", fromRoots<4>({1, 2, 3, 5}), {{1, 0}, {2, 0}, {3, 0}, {5, 0}}},
      {"x⁴ + 1", {1, 0, 0, 0, 1}, {{-kH, kH}, {-kH, -kH}, {kH, kH}, {kH, -kH}}},
      {"zero root", {0, -6, 11, -6, 1}, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
      {"two real and a pair", fromRoots<4>({-1, 3, C(1, 2), C(1, -2)}), {{-1, 0}, {3, 0}, {1, 2}, {1, -2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<XY, 4> r{};
    quarticRoots(c.c, r);
    expectRoots({r.begin(), r.end()}, c.roots, 1e-9);
  }
}

TEST(PolynomialRootsTest, FerrariFindsEveryRoot) {
  struct Case {
    std::string name;
    std::array<double, 5> c;
    std::vector<double> re, im;
    int realCount;
  };
  const std::vector<Case> cases = {
      {"(x² − 1)(x² − 4)", {4, 0, -5, 0, 1}, {2, 1, -1, -2}, {0, 0, 0, 0}, 4},
      // Exactly zero under the root for L: rounding used to make it negative and fail.
      {"1, 2, 3, 4", {24, -50, 35, -10, 1}, {4, 3, 2, 1}, {0, 0, 0, 0}, 4},
      // Depressed form with q < 0: the unsigned L factored into the mirror-image roots.
      {"1, 2, 3, 5", fromRoots<4>({1, 2, 3, 5}), {5, 3, 2, 1}, {0, 0, 0, 0}, 4},
      {"−1, −2, −3, −5", fromRoots<4>({-1, -2, -3, -5}), {-1, -2, -3, -5}, {0, 0, 0, 0}, 4},
      // A fourfold root makes K = 0, where q/(2K) is 0/0.
      {"(x − 1)⁴", {1, -4, 6, -4, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, 4},
      {"x⁴ + 1", {1, 0, 0, 0, 1}, {-kH, -kH, kH, kH}, {kH, -kH, kH, -kH}, 0},
      {"two real and a pair", fromRoots<4>({-1, 3, C(1, 2), C(1, -2)}), {3, -1, 1, 1}, {0, 0, 2, -2}, 2},
      {"scaled: 2(x − 0.1)(x − 0.2)(x² + 1)", {0.04, -0.6, 2.04, -0.6, 2}, {0.2, 0.1, 0, 0}, {0, 0, 1, -1}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<double, 4> re{}, im{};
    int count = -1;
    const int result = quarticRootsFerrari(c.c, re, im, count);
    EXPECT_EQ(result, 0);
    if (result != 0) continue;
    EXPECT_EQ(count, c.realCount);
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(re[i], c.re[i], 1e-7) << i;
      EXPECT_NEAR(im[i], c.im[i], 1e-7) << i;
    }
  }
  std::array<double, 4> re{}, im{};
  int count = 7;
  EXPECT_EQ(quarticRootsFerrari(std::array<double, 5>{1, 2, 3, 4, 0}, re, im, count), -1);
  EXPECT_EQ(count, 0);
}

TEST(PolynomialRootsTest, TrigonometricCubic) {
  std::array<double, 3> re{}, im{};
  int count = 0;
  ASSERT_EQ(cubicRootsTrigonometric(std::array<double, 4>{-6, 11, -6, 1}, re, im, count), 0);
  EXPECT_EQ(count, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(re[i], i + 1, 1e-13);
    EXPECT_EQ(im[i], 0);
  }
  ASSERT_EQ(cubicRootsTrigonometric(std::array<double, 4>{-1, 0, 0, 1}, re, im, count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_DOUBLE_EQ(re[0], 1);
  EXPECT_DOUBLE_EQ(re[1], -0.5);
  EXPECT_DOUBLE_EQ(re[2], -0.5);
  EXPECT_DOUBLE_EQ(im[1], kS3);
  EXPECT_DOUBLE_EQ(im[2], -kS3);
  re = {9, 9, 9};
  im = {9, 9, 9};
  EXPECT_EQ(cubicRootsTrigonometric(std::array<double, 4>{1, 2, 3, 0}, re, im, count), -1);
  EXPECT_EQ(re, (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(im, (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(count, 0);
}

TEST(PolynomialRootsTest, PolynomialRootsByLeadingCoefficient) {
  int status = -1;
  XY first{9, 9}, second{9, 9};
  polynomialRoots(status, first, second, 0, 0, 0, 0, 5);
  EXPECT_EQ(status, kNoRoot);
  EXPECT_EQ(first.x, 9);
  polynomialRoots(status, first, second, 0, 0, 0, 2, -3);
  EXPECT_EQ(status, kLinearRoot);
  EXPECT_EQ(first.x, 1.5);
  polynomialRoots(status, first, second, 0, 0, 1, 0, 1);
  EXPECT_EQ(status, kComplexPair);
  EXPECT_EQ(second.y, -1);
  // A cubic with three real roots runs no quadratic step: its roots must still come out,
  // whatever an earlier solve left in the status.
  polynomialRoots(status, first, second, 0, 0, 0, 0, 1);
  polynomialRoots(status, first, second, 0, 1, -6, 11, -6);
  EXPECT_EQ(status, kTwoRealRoots);
  EXPECT_NEAR(first.x, 1, 1e-14);
  EXPECT_NEAR(second.x, 2, 1e-14);
  polynomialRoots(status, first, second, 1, -10, 35, -50, 24);
  EXPECT_NEAR(first.x, 1, 1e-12);
  EXPECT_NEAR(second.x, 2, 1e-12);
  const double a = 1, b = 2;
  EXPECT_EQ(compareDoubles(&a, &b), -1);
  EXPECT_EQ(compareDoubles(&b, &a), 1);
  EXPECT_EQ(compareDoubles(&a, &a), 0);
}

TEST(PolynomialRootsTest, StatusIsPerThread) {
  std::array<XY, 2> r{};
  quadraticRoots(std::array<double, 3>{1, 0, 1}, r);
  std::thread other([] {
    std::array<XY, 2> s{};
    quadraticRoots(std::array<double, 3>{0, 2, 1}, s);
    EXPECT_EQ(rootStatus(), kZeroConstant);
  });
  other.join();
  EXPECT_EQ(rootStatus(), kComplexPair);
}

TEST(R3FieldTest, ScalarAndVectorFields) {
  const foundation::XYZ p{2, 3, 5};
  EXPECT_EQ(R3ToR1MapXY().valueAt(p), 6);
  EXPECT_EQ(R3ToR1Map().valueAt(p), 0);
  EXPECT_EQ(R3ToR3Map().valueAt(p), (foundation::XYZ{0, 0, 0}));
  EXPECT_EQ(R3ToR1MapZZ().valueAt(R3Point::pointWithXYZ(p)->xyz()), 25);
  auto x = std::make_shared<R3ToR1MapX>();
  auto seven = std::make_shared<R3ToR1MapConstant>(7);
  EXPECT_EQ(R3ToR1MapProduct(x, seven).valueAt(p), 14);
  auto point = R3Point::pointWithDoubles(1, -1, 2);
  auto constant = std::make_shared<R3ToR3MapConstant>(point);
  EXPECT_EQ(constant->constantValue(), point);  // held, not copied
  auto other = std::make_shared<R3ToR3MapConstant>(foundation::XYZ{3, 4, 0.5});
  EXPECT_EQ(R3ToR1MapInnerProduct(constant, other).valueAt(p), 3 - 4 + 1);
}

}  // namespace
}  // namespace orb::geometry
