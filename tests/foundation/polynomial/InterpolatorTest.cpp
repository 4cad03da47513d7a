#include "foundation/polynomial/Interpolator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "foundation/polynomial/Resampler.h"
#include "foundation/polynomial/SplineInterpolator.h"

namespace orb::foundation {
namespace {

TEST(LinearInterpolatorTest, ClosedRangeOfTheTable) {
  LinearInterpolator line({1.0, 2.0, 4.0}, {10.0, 20.0, 0.0});
  EXPECT_EQ(line.valueAt(0.5), 0.0);
  EXPECT_EQ(line.valueAt(1.0), 10.0);
  EXPECT_EQ(line.valueAt(1.5), 15.0);
  EXPECT_EQ(line.valueAt(3.0), 10.0);
  EXPECT_EQ(line.valueAt(4.0), 0.0);  // the last point's own value
  line.setYArray({10.0, 20.0, 7.0});
  EXPECT_EQ(line.valueAt(4.0), 7.0);
  EXPECT_EQ(line.valueAt(4.5), 0.0);
  EXPECT_EQ(LinearInterpolator().valueAt(1.0), 0.0);
}

TEST(SplineInterpolatorTest, FewKnotsGiveConstantLineAndParabola) {
  SplineInterpolator one = SplineInterpolator::splineInterpolatorForX({2.0}, {5.0});
  EXPECT_EQ(one.valueAt(2.0), 5.0);
  EXPECT_EQ(one.valueAt(3.0), 0.0);
  one.setAllowsExtrapolation(true);
  EXPECT_EQ(one.valueAt(-7.0), 5.0);

  SplineInterpolator two = SplineInterpolator::splineInterpolatorForX({1.0, 3.0}, {2.0, 6.0});
  EXPECT_DOUBLE_EQ(two.valueAt(2.5), 5.0);
  EXPECT_DOUBLE_EQ(two.valueAt(0.0), 0.0);  // below: extended
  EXPECT_EQ(two.valueAt(3.5), 0.0);

  // y = 2x² − 3x + 1 through three unevenly spaced knots, also between and below them.
  auto parabola = [](double x) { return 2 * x * x - 3 * x + 1; };
  SplineInterpolator three =
      SplineInterpolator::splineInterpolatorForX({-1.0, 0.5, 2.0}, {parabola(-1.0), parabola(0.5), parabola(2.0)});
  three.setLowerDerivative(100.0);  // plays no part for three knots
  for (double x : {-1.5, -1.0, 0.0, 0.5, 1.3, 2.0}) EXPECT_NEAR(three.valueAt(x), parabola(x), 1e-13) << x;
}

TEST(SplineInterpolatorTest, ClampedSplineReproducesACubic) {
  // A cubic spline with the true end slopes is the cubic itself: values, and the
  // antiderivative's differences, match the closed forms.
  auto f = [](double x) { return x * x * x - 2 * x + 1; };
  auto slope = [](double x) { return 3 * x * x - 2; };
  auto F = [](double x) { return x * x * x * x / 4 - x * x + x; };
  const std::vector<double> x = {-1.0, -0.2, 0.4, 1.5, 2.0, 3.1};
  std::vector<double> y;
  for (double v : x) y.push_back(f(v));
  SplineInterpolator spline = SplineInterpolator::splineInterpolatorForX(x, y);
  spline.setLowerDerivative(slope(x.front()));
  spline.setUpperDerivative(slope(x.back()));
  for (double v : {-1.0, -0.7, 0.4, 0.9, 2.0, 2.8, 3.1}) EXPECT_NEAR(spline.valueAt(v), f(v), 1e-12) << v;
  EXPECT_NEAR(spline.evaluateIntegral(2.8) - spline.evaluateIntegral(-0.7), F(2.8) - F(-0.7), 1e-12);
  EXPECT_EQ(spline.valueAt(3.2), 0.0);
  spline.setAllowsExtrapolation(true);
  EXPECT_NEAR(spline.valueAt(3.2), f(3.2), 1e-12);  // the last cubic, extended
  EXPECT_NEAR(spline.valueAt(-1.3), f(-1.3), 1e-12);
}

TEST(SplineInterpolatorTest, NaturalAndClampedEnds) {
  const std::vector<double> x = {0.0, 1.0, 2.5, 3.0, 4.5};
  const std::vector<double> y = {1.0, -1.0, 2.0, 0.5, 3.0};
  SplineInterpolator spline = SplineInterpolator::splineInterpolatorForX(x, y);
  for (std::size_t k = 0; k < x.size(); ++k) EXPECT_NEAR(spline.valueAt(x[k]), y[k], 1e-14) << k;
  ASSERT_TRUE(spline.y2Series());
  EXPECT_NEAR(spline.y2Series()->at(0), 0.0, 1e-14);
  EXPECT_NEAR(spline.y2Series()->at(4), 0.0, 1e-14);
  // Natural ends: the curvature at the ends, by differences, vanishes.
  const double h = 1e-4;
  EXPECT_NEAR((spline.valueAt(2 * h) - 2 * spline.valueAt(h) + spline.valueAt(0.0)) / (h * h), 0.0, 1e-3);

  spline.setLowerDerivative(0.0);
  EXPECT_FALSE(spline.y2Series());  // setters drop the caches
  EXPECT_NEAR((spline.valueAt(h) - spline.valueAt(0.0)) / h, 0.0, 1e-3);
  EXPECT_EQ(spline.valueAt(4.5), 3.0);
  // Linear data is reproduced by the natural spline.
  SplineInterpolator linear = SplineInterpolator::splineInterpolatorForX(x, {1, 3, 6, 7, 10});
  EXPECT_NEAR(linear.valueAt(1.7), 1 + 2 * 1.7, 1e-14);
  // The antiderivative of a line starts at −(y₀ − 0)·h₀/2 below 0 at x₀.
  EXPECT_NEAR(linear.evaluateIntegral(0.0), -0.5, 1e-14);
  EXPECT_NEAR(linear.evaluateIntegral(4.5) - linear.evaluateIntegral(0.0), 4.5 + 4.5 * 4.5, 1e-12);
  EXPECT_NEAR(linear.evaluateIntegral(9.0), linear.evaluateIntegral(4.5), 1e-14);
}

TEST(SplineInterpolatorTest, MismatchedOrEmptySeriesAreNotOverrun) {
  // The shorter series sets the knot count: five abscissae, three ordinates is a parabola.
  SplineInterpolator spline(VKSeries::seriesWithArray({0.0, 1.0, 2.0, 3.0, 4.0}),
                            VKSeries::seriesWithArray({0.0, 1.0, 4.0}));
  EXPECT_EQ(spline.count(), 3u);
  EXPECT_NEAR(spline.valueAt(1.5), 2.25, 1e-14);
  EXPECT_EQ(spline.valueAt(3.5), 0.0);
  SplineInterpolator empty;
  EXPECT_EQ(empty.valueAt(1.0), 0.0);
  EXPECT_EQ(empty.evaluateIntegral(1.0), 0.0);
  SplineInterpolator one = SplineInterpolator::splineInterpolatorForX({2.0}, {5.0});
  one.setLowerDerivative(1.0);
  EXPECT_EQ(one.evaluateIntegral(3.0), 0.0);
}

TEST(SplineInterpolatorTest, HuntFindsTheSameIntervalAsAFullSearch) {
  std::mt19937 random(3);
  std::vector<double> x(40);
  double v = 0.0;
  for (double& knot : x) knot = (v += std::uniform_real_distribution<double>(0.1, 1.0)(random));
  SplineInterpolator spline(VKSeries::seriesWithArray(x), VKSeries::seriesWithArray(x));
  std::uniform_real_distribution<double> where(x.front() - 1.0, x.back() + 1.0);
  // A fresh search puts an inner knot x_k at the end of interval k − 1.
  EXPECT_EQ(SplineInterpolator(VKSeries::seriesWithArray(x), VKSeries::seriesWithArray(x)).locationForX(x[17]), 16u);
  for (int trial = 0; trial < 500; ++trial) {
    // Random jumps, knots themselves, and the ends.
    double probe = where(random);
    if (trial % 5 == 0) probe = x[trial % x.size()];
    // Any interval whose closed range holds the probe will do (a knot may end one
    // interval and start the next); outside the table, the first or the last index.
    const std::size_t j = spline.locationForX(probe);
    ASSERT_LT(j, x.size());
    if (probe < x.front()) {
      EXPECT_EQ(j, 0u);
    } else if (probe > x.back()) {
      EXPECT_EQ(j, x.size() - 1);
    } else {
      EXPECT_LE(x[j], probe);
      ASSERT_LT(j + 1, x.size());
      EXPECT_LE(probe, x[j + 1]);
    }
    spline.valueAt(probe);  // moves the hint
  }
}

TEST(ResamplerTest, FiveTimesFinerGrid) {
  std::vector<double> x, re, im, wrongMagnitude;
  for (int i = 0; i < 10; ++i) {
    x.push_back(0.3 * i * i);
    re.push_back(std::cos(0.2 * i));
    im.push_back(std::sin(0.5 * i));
    wrongMagnitude.push_back(99.0);
  }
  const auto real = Resampler::resample(VKSeries::seriesWithArray(x), VKSeries::seriesWithArray(re));
  ASSERT_EQ(real.x.count(), 50u);
  EXPECT_EQ(real.x.at(0), x[0]);
  EXPECT_NEAR(real.x.at(1) - real.x.at(0), (x[9] - x[0]) / 49, 1e-15);
  EXPECT_NEAR(real.x.at(49), x[9], 1e-13);
  SplineInterpolator spline = SplineInterpolator::splineInterpolatorForX(x, re);
  EXPECT_EQ(real.y.at(17), spline.valueAt(real.x.at(17)));

  const auto complex = Resampler::resampleComplexFunction(
      VKSeries::seriesWithArray(x), VKSeries::seriesWithArray(wrongMagnitude), VKSeries::seriesWithArray(re),
      VKSeries::seriesWithArray(im));
  ASSERT_EQ(complex.magnitude.count(), 50u);
  EXPECT_EQ(complex.re, real.y);
  for (std::size_t i = 0; i < 50; ++i) {
    EXPECT_EQ(complex.magnitude.at(i),
              std::sqrt(complex.re.at(i) * complex.re.at(i) + complex.im.at(i) * complex.im.at(i)));
  }
}

}  // namespace
}  // namespace orb::foundation
