#include "foundation/linear/VKSeries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace orb::foundation {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

VKSeries S(const std::vector<double>& v) { return VKSeries::seriesWithArray(v); }

TEST(VKSeriesTest, EquallySpacedRangeEndsExactly) {
  struct Case {
    std::string name;
    std::size_t n;
    double start, end;
    std::vector<double> expected;
  };
  const std::vector<Case> cases = {
      {"five on the unit interval", 5, 0, 1, {0, 0.25, 0.5, 0.75, 1}},
      {"one", 1, 3, 7, {3}},
      {"two", 2, 3, 7, {3, 7}},
      {"none", 0, 3, 7, {}},
      {"descending", 3, 1, -1, {1, 0, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VKSeries::seriesWithCount(c.n, c.start, c.end).array(), c.expected);
  }
  // 0.1 + 9 · 0.1 is not 1.0 in doubles; the last element is set, not computed.
  const VKSeries tenths = VKSeries::seriesWithCount(10, 0.1, 1.0);
  EXPECT_EQ(tenths.at(9), 1.0);
  EXPECT_NEAR(tenths.at(4), 0.5, 1e-15);
}

TEST(VKSeriesTest, Statistics) {
  struct Case {
    std::string name;
    std::vector<double> values;
    double mean, variance, standardDeviation, min, max, normSquared;
  };
  const std::vector<Case> cases = {
      {"empty", {}, 0, 0, 0, 0, 0, 0},
      {"one element", {5}, 5, 0, kInf, 5, 5, 25},
      {"one to four", {1, 2, 3, 4}, 2.5, 1.25, std::sqrt(5.0 / 3), 1, 4, 30},
      {"symmetric pair", {-3, 3}, 0, 9, std::sqrt(18.0), -3, 3, 18},
      {"constant", {2, 2, 2}, 2, 0, 0, 2, 2, 12},
      {"all negative", {-1, -5, -3}, -3, 8.0 / 3, 2, -5, -1, 35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const VKSeries s = S(c.values);
    EXPECT_DOUBLE_EQ(s.mean(), c.mean);
    EXPECT_DOUBLE_EQ(s.variance(), c.variance);
    EXPECT_DOUBLE_EQ(s.standardDeviation(), c.standardDeviation);
    EXPECT_EQ(s.min(), c.min);
    EXPECT_EQ(s.max(), c.max);
    EXPECT_EQ(s.normSquared(), c.normSquared);
    EXPECT_EQ(s.sumOfSquares(), c.normSquared);
    EXPECT_DOUBLE_EQ(s.norm(), std::sqrt(c.normSquared));
  }
}

TEST(VKSeriesTest, InPlaceArithmetic) {
  const VKSeries a = S({1, 2, 3}), b = S({10, 20, 30});
  struct Case {
    std::string name;
    std::function<void(VKSeries&)> op;
    std::vector<double> expected;
  };
  const std::vector<Case> cases = {
      {"addDouble", [](VKSeries& x) { x.addDouble(0.5); }, {4.5, 5.5, 6.5}},
      {"scaleBy", [](VKSeries& x) { x.scaleBy(-2); }, {-8, -10, -12}},
      {"addSeries", [&](VKSeries& x) { x.addSeries(a); }, {5, 7, 9}},
      {"addSeries scaled", [&](VKSeries& x) { x.addSeries(b, 0.5); }, {9, 15, 21}},
      {"setValue", [&](VKSeries& x) { x.setValue(a); }, {1, 2, 3}},
      {"setValue scaled", [&](VKSeries& x) { x.setValue(a, 3); }, {3, 6, 9}},
      {"setValuePlus", [&](VKSeries& x) { x.setValuePlus(a, b); }, {11, 22, 33}},
      {"setValueMinus", [&](VKSeries& x) { x.setValueMinus(a, b); }, {-9, -18, -27}},
      {"cumsumInSitu", [](VKSeries& x) { x.cumsumInSitu(); }, {4, 9, 15}},
      {"longer other series", [](VKSeries& x) { x.addSeries(S({1, 1, 1, 100})); }, {5, 6, 7}},
      {"at put and add", [](VKSeries& x) { x.atPut(0, -1); x.atAdd(2, 1); }, {-1, 5, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VKSeries x = S({4, 5, 6});
    c.op(x);
    EXPECT_EQ(x.array(), c.expected);
  }
  EXPECT_EQ(VKSeries::seriesFromSeries(a, b, 0.5).array(), (std::vector<double>{6, 12, 18}));
}

// Combining with a shorter series would read past its end; it is refused instead.
TEST(VKSeriesTest, ShorterOtherSeriesRaises) {
  const VKSeries shortOne = S({1, 2});
  const std::vector<std::pair<std::string, std::function<void(VKSeries&)>>> cases = {
      {"addSeries", [&](VKSeries& x) { x.addSeries(shortOne); }},
      {"addSeries scaled", [&](VKSeries& x) { x.addSeries(shortOne, 2); }},
      {"setValue", [&](VKSeries& x) { x.setValue(shortOne); }},
      {"setValue scaled", [&](VKSeries& x) { x.setValue(shortOne, 2); }},
      {"setValuePlus", [&](VKSeries& x) { x.setValuePlus(x, shortOne); }},
      {"setValueMinus", [&](VKSeries& x) { x.setValueMinus(shortOne, x); }},
      {"seriesFromSeries", [&](VKSeries& x) { VKSeries::seriesFromSeries(shortOne, x, 1); }},
      {"integral", [&](VKSeries& x) { VKSeries::integralWithRespectToSeries(x, shortOne); }},
      {"average", [&](VKSeries& x) { VKSeries::averageWithRespectToSeries(x, shortOne); }},
  };
  for (const auto& [name, op] : cases) {
    SCOPED_TRACE(name);
    VKSeries x = S({4, 5, 6});
    try {
      op(x);
      ADD_FAILURE() << "no exception";
    } catch (const platform::Exception& e) {
      EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
    }
    EXPECT_EQ(x.array(), (std::vector<double>{4, 5, 6}));
  }
}

TEST(VKSeriesTest, TrapezoidIntegralAndAverage) {
  struct Case {
    std::string name;
    std::vector<double> x, y;
    double integral, average;
  };
  const std::vector<Case> cases = {
      {"uneven steps", {0, 1, 3}, {1, 1, 2}, 4, 4.0 / 3},
      {"all abscissae equal", {2, 2, 2}, {1, 3, 5}, 0, 3},
      {"path back to its start", {0, 1, 0}, {1, 1, 1}, 0, 1},
      {"decreasing abscissae", {3, 1, 0}, {2, 1, 1}, -4, 4.0 / 3},
      {"one point", {5}, {7}, 0, 7},
      {"none", {}, {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DOUBLE_EQ(VKSeries::integralWithRespectToSeries(S(c.x), S(c.y)), c.integral);
    EXPECT_DOUBLE_EQ(VKSeries::averageWithRespectToSeries(S(c.x), S(c.y)), c.average);
  }
}

TEST(VKSeriesTest, DetailedDescription) {
  EXPECT_EQ(S({}).detailedDescription(), "()");
  EXPECT_EQ(S({1.5}).detailedDescription(), "(1.500000e+00)");
  EXPECT_EQ(S({1, 2, 3, 4, 5, 6, 7}).detailedDescription(),
            "(1.000000e+00,2.000000e+00,3.000000e+00,4.000000e+00,5.000000e+00,6.000000e+00,7.000000e+00)");
  EXPECT_EQ(S({1, 2, 3, 4, 5, 6, 7, 8}).detailedDescription(),
            "(1.000000e+00,2.000000e+00,3.000000e+00,4.000000e+00,5.000000e+00,6.000000e+00,7.000000e+00,...)");
}

TEST(VKSeriesTest, CopiesAreIndependent) {
  const double raw[] = {1, 2, 3};
  VKSeries a(3, raw);
  VKSeries b = VKSeries::seriesWithSeries(a);
  b.atPut(0, 9);
  EXPECT_EQ(a.at(0), 1);
  EXPECT_EQ(VKSeries::seriesWithDouble(2.5).array(), std::vector<double>{2.5});
  EXPECT_EQ(VKSeries::seriesWithCount(2).array(), (std::vector<double>{0, 0}));
}

}  // namespace
}  // namespace orb::foundation
