#include "foundation/minimise/VKMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "foundation/minimise/RayGridCounts.h"

namespace orb::foundation {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct RootCase {
  const char* name;
  std::function<double(double)> f;
  VKInterval start;
  std::optional<double> root;  // nothing: no sign change to be found
};

const std::vector<RootCase>& rootCases() {
  static const std::vector<RootCase> cases = {
      {"line far right", [](double x) { return x - 100; }, {0, 1}, 100},
      {"cube root of 2", [](double x) { return x * x * x - 2; }, {0, 2}, std::cbrt(2.0)},
      {"cosine", [](double x) { return std::cos(x); }, {1, 2}, M_PI / 2},
      {"decreasing exponential", [](double x) { return std::exp(-x) - 0.5; }, {-1, 0}, std::log(2.0)},
      {"no real root", [](double x) { return x * x + 1; }, {-1, 1}, std::nullopt},
  };
  return cases;
}

TEST(VKMathTest, WidenThenNarrowOnATableOfFunctions) {
  for (const RootCase& c : rootCases()) {
    SCOPED_TRACE(c.name);
    const Functor f(c.f);
    const std::optional<VKInterval> wide = VKMath::findIntervalContainingRootOfFunctor(f, c.start);
    if (!c.root) {
      EXPECT_FALSE(wide.has_value());
      EXPECT_FALSE(VKMath::isolateRootOfFunctor(f, c.start).has_value());
      EXPECT_EQ(VKMath::bisectToFindRootOfFunctor(f, c.start), kInf);
      EXPECT_EQ(VKMath::bisectToFindRootOfFunctor(f, VKBracketingDoublet{{-1, 2}, {1, 2}}, 1e-10, 100), kInf);
      continue;
    }
    ASSERT_TRUE(wide.has_value());
    EXPECT_NE(signOfDouble(c.f(wide->a())), signOfDouble(c.f(wide->b())));
    const std::optional<VKInterval> narrow = VKMath::isolateRootOfFunctor(f, *wide);
    ASSERT_TRUE(narrow.has_value());
    EXPECT_LE(narrow->max() - narrow->min(), 1e-10);
    EXPECT_LE(narrow->min(), *c.root + 1e-12);
    EXPECT_GE(narrow->max(), *c.root - 1e-12);
    EXPECT_NEAR(VKMath::bisectToFindRootOfFunctor(f, *wide), *c.root, 1e-10);
    const VKBracketingDoublet doublet{{wide->a(), c.f(wide->a())}, {wide->b(), c.f(wide->b())}};
    EXPECT_NEAR(VKMath::bisectToFindRootOfFunctor(f, doublet, 1e-12, 200), *c.root, 1e-11);
    // The same doublet high end first is narrowed just the same.
    EXPECT_NEAR(VKMath::bisectToFindRootOfFunctor(f, VKBracketingDoublet{doublet.second, doublet.first}, 1e-12, 200),
                *c.root, 1e-11);
  }
}

TEST(VKMathTest, WideningGrowsByFourPointTwoPerExpansion) {
  int calls = 0;
  const Functor f([&](double x) {
    ++calls;
    return x - 100;
  });
  // Widths 1, 4.2, 17.64, 74.09, 311.17 about the centre 0.5: the fourth reaches 100.
  std::optional<VKInterval> r = VKMath::findIntervalContainingRootOfFunctor(f, {0, 1});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(calls, 2 + 2 * 4);
  EXPECT_NEAR(r->a(), 0.5 - 0.5 * std::pow(4.2, 4), 1e-9);
  EXPECT_NEAR(r->b(), 0.5 + 0.5 * std::pow(4.2, 4), 1e-9);
  EXPECT_FALSE(VKMath::findIntervalContainingRootOfFunctor(f, {0, 1}, 3).has_value());

  // A fixed end stays put; both fixed never widen.
  r = VKMath::findIntervalContainingRootOfFunctor(f, {0, 1}, 42, true, false);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->a(), 0);
  EXPECT_GE(r->b(), 100);
  r = VKMath::findIntervalContainingRootOfFunctor(Functor([](double x) { return x + 100; }), {0, 1}, 42, false, true);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->b(), 1);
  EXPECT_LE(r->a(), -100);
  EXPECT_FALSE(VKMath::findIntervalContainingRootOfFunctor(f, {0, 1}, 42, true, true).has_value());
}

TEST(VKMathTest, DegenerateIntervalsAndExactZeros) {
  int calls = 0;
  const Functor line([&](double x) {
    ++calls;
    return x - 1;
  });
  // Neither end fixed: handed back without evaluating.
  EXPECT_EQ(VKMath::findIntervalContainingRootOfFunctor(line, {3, 3}), VKInterval(3, 3));
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(VKMath::findIntervalContainingRootOfFunctor(line, {3, 3}, 42, true, true).has_value());
  // One end fixed: opened by 1e-6 on the free side, then widened there only.
  const std::optional<VKInterval> opened = VKMath::findIntervalContainingRootOfFunctor(line, {3, 3}, 42, false, true);
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(opened->b(), 3);
  EXPECT_LT(opened->a(), 1);

  // An exact zero at an end gives the degenerate interval there, from widening and
  // collapsing alike; the bisections return the end.
  EXPECT_EQ(VKMath::findIntervalContainingRootOfFunctor(line, {1, 5}), VKInterval(1, 1));
  EXPECT_EQ(VKMath::findIntervalContainingRootOfFunctor(line, {-3, 1}), VKInterval(1, 1));
  EXPECT_EQ(VKMath::isolateRootOfFunctor(line, {1, 5}), VKInterval(1, 1));
  EXPECT_EQ(VKMath::bisectToFindRootOfFunctor(line, VKInterval(-3, 1)), 1);
  EXPECT_EQ(VKMath::bisectToFindRootOfFunctor(line, VKBracketingDoublet{{1, 0}, {4, 3}}, 1e-10, 50), 1);
}

TEST(VKMathTest, ScanningFindsASignChangeInsideTheInterval) {
  // Both ends positive, the function dips below 0 on (0.3, 0.4).
  const Functor dip([](double x) { return (x - 0.3) * (x - 0.4); });
  const std::optional<VKInterval> r = VKMath::findIntervalContainingRootOfFunctorOnInterval(dip, {0, 1});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->b(), 1);
  EXPECT_GE(r->a(), 0.3);  // 0.3 itself, where the value is exactly 0, also differs in sign
  EXPECT_LT(r->a(), 0.4);
}

TEST(VKMathTest, WalkTurnsRoundWhenTheValueGrows) {
  int calls = 0;
  const Functor f([&](double x) {
    ++calls;
    return x - 1;
  });
  // From 3 with step +0.5 the first step grows |f|; the walk turns and steps left until
  // the value at 1 (exactly 0) differs in sign.
  VKBracketingDoublet r = VKMath::bracketRootOfFunctor(f, VKBracketingDoublet{{3, 2}, {0, 0}}, 0.5, 20);
  EXPECT_EQ(r.first.coordinate, 1.5);
  EXPECT_EQ(r.second.coordinate, 1);
  EXPECT_EQ(r.second.functionValue, 0);
  EXPECT_EQ(calls, 5);
  // Too few steps: the last pair as it stands; none at all: the doublet unchanged.
  r = VKMath::bracketRootOfFunctor(f, VKBracketingDoublet{{3, 2}, {0, 0}}, 0.5, 2);
  EXPECT_EQ(r.first.coordinate, 2.5);
  EXPECT_EQ(r.second.coordinate, 2.5);
  r = VKMath::bracketRootOfFunctor(f, VKBracketingDoublet{{3, 2}, {7, 6}}, 0.5, 0);
  EXPECT_EQ(r.second.coordinate, 7);
}

TEST(VKMathTest, SignsAndMagnitudes) {
  EXPECT_EQ(signOfDouble(-2), -1);
  EXPECT_EQ(signOfDouble(0), 0);
  EXPECT_EQ(signOfDouble(-0.0), 0);
  EXPECT_EQ(signOfDouble(std::nan("")), 0);
  EXPECT_EQ(signOfDouble(1e-300), 1);
  EXPECT_EQ(VKMath::magnitudeOf(-3, 1), 3);
  EXPECT_EQ(VKMath::magnitudeOf(3, 0), -3);
  EXPECT_EQ(VKMath::magnitudeOf(3, -1), -3);
  EXPECT_EQ(VKMath::magnitudeOf(3, std::nan("")), -3);
}

TEST(RayGridCountsTest, SquareAndHexagonalGrids) {
  struct Row {
    std::uint32_t n, square, ceilRoot, hexagonal, rings;
  };
  // rings: fewest hexagonal rings holding n points (1, 7, 19, 37, 61 points for 0–4 rings).
  const std::vector<Row> rows = {
      {0, 0, 0, 1, 0},    {1, 1, 1, 7, 0},      {2, 4, 2, 19, 1},     {3, 9, 2, 37, 1},
      {7, 49, 3, 169, 1}, {8, 64, 3, 217, 2},   {9, 81, 3, 271, 2},   {10, 100, 4, 331, 2},
      {19, 361, 5, 1141, 2}, {20, 400, 5, 1261, 3}, {37, 1369, 7, 4219, 3}, {38, 1444, 7, 4447, 4},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.n);
    EXPECT_EQ(squareOfUnsigned(r.n), r.square);
    EXPECT_EQ(integerSquareRoot(r.n), r.ceilRoot);
    EXPECT_EQ(centeredHexagonalNumber(r.n), r.hexagonal);
    EXPECT_EQ(hexagonalRingCountForPoints(r.n), r.rings);
  }
  // Round trips over a range: the ceiling root and the ring count are the least that hold.
  for (std::uint32_t n = 1; n < 5000; ++n) {
    const std::uint32_t s = integerSquareRoot(n), k = hexagonalRingCountForPoints(n);
    ASSERT_GE(squareOfUnsigned(s), n);
    ASSERT_LT(squareOfUnsigned(s - 1), n);
    ASSERT_GE(centeredHexagonalNumber(k), n);
    if (k > 0) {
      ASSERT_LT(centeredHexagonalNumber(k - 1), n);
    }
  }
  EXPECT_EQ(integerSquareRoot(4294967295u), 65536u);
}

}  // namespace
}  // namespace orb::foundation
