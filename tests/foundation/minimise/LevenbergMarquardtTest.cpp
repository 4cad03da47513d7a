#include "foundation/minimise/LevenbergMarquardt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "CancelOnWorker.h"

namespace orb::foundation {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

VKSeries xy(double x, double y) { return VKSeries::seriesWithArray({x, y}); }

// The vertices' coordinates in a fixed order, to compare simplices whatever their sorting.
std::vector<std::vector<double>> coordinatesOf(const LeastSquaresSimplex& s) {
  std::vector<std::vector<double>> c;
  for (const CoordinateResidualsAndFunctionValue& v : s) c.push_back(v.coordinate().array());
  std::sort(c.begin(), c.end());
  return c;
}

// Records every coordinate at which the residuals were asked for.
struct RecordedRosenbrock {
  Rosenbrock rosenbrock;
  std::vector<VKSeries> seen;
  VKSeries residuals(const VKSeries& c) {
    seen.push_back(c);
    return rosenbrock.residuals(c);
  }
};

TEST(LevenbergMarquardtTest, RosenbrockFromTheClassicStart) {
  struct Case {
    const char* name;
    double convergenceValue, standardError;
    std::int32_t code;
  };
  for (const Case& c : std::vector<Case>{{"by value", 1e-20, 0, LevenbergMarquardt::kConvergedByFunctionValue},
                                         {"by spread", 0, 1e-12, LevenbergMarquardt::kConvergedByStandardError}}) {
    SCOPED_TRACE(c.name);
    Rosenbrock rosenbrock;
    LevenbergMarquardt lm;
    lm.setConvergenceValue(c.convergenceValue);
    lm.setConvergenceStandardError(c.standardError);
    LeastSquaresSimplex s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(-1.2, 1), 1e-6);
    lm.minimizeLeastSquaresFunctor(LeastSquaresFunctor(rosenbrock, &Rosenbrock::residuals), s);
    EXPECT_EQ(lm.returnCode(), c.code) << lm.returnCodeDescription();
    EXPECT_TRUE(lm.converged());
    EXPECT_NEAR(s[0].coordinate().at(0), 1, 1e-8);
    EXPECT_NEAR(s[0].coordinate().at(1), 1, 2e-8);
    EXPECT_LT(lm.iteration(), 100u);
    EXPECT_GE(lm.damping(), LevenbergMarquardt::kMinimumDamping);
  }
}

// The unconstrained minimum (1, 1) lies beyond the upper bound x ≤ 0; on the bound the
// least value is 1 at (0, 0), the bottom of the parabola y = x² seen along x = 0.
TEST(LevenbergMarquardtTest, BoundsHoldAndClampedPointsCarryTheirOwnValues) {
  RecordedRosenbrock f;
  LevenbergMarquardt lm;
  lm.setUpperBounds({0, kInf});
  lm.setConvergenceStandardError(0);
  lm.setConvergenceStepSize(1e-12);
  lm.setMaxIteration(500);
  LeastSquaresSimplex s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(-1.2, 1), 1e-6);
  const LeastSquaresFunctor functor(f, &RecordedRosenbrock::residuals);
  lm.minimizeLeastSquaresFunctor(functor, s);
  EXPECT_EQ(lm.returnCode(), LevenbergMarquardt::kConvergedByStepSize) << lm.returnCodeDescription();
  // The simplex Jacobian is a difference quotient over h = 1e-6, so y settles within
  // about h of 0; the value, quadratic in y, is far closer.
  EXPECT_EQ(s[0].coordinate().at(0), 0);
  EXPECT_NEAR(s[0].coordinate().at(1), 0, 1e-6);
  EXPECT_NEAR(s[0].functionValue(), 0.5, 1e-10);  // ½ Σ r²
  for (const VKSeries& c : f.seen) ASSERT_LE(c.at(0), 0) << "evaluated beyond the bound at " << c.detailedDescription();
  // Every vertex holds the residuals of its own coordinate, clamped ones included.
  for (const CoordinateResidualsAndFunctionValue& v : s) {
    ASSERT_TRUE(v.residuals().has_value());
    EXPECT_EQ(*v.residuals(), f.rosenbrock.residuals(v.coordinate()));
    EXPECT_EQ(v.functionValue(), 0.5 * v.residuals()->sumOfSquares());
  }
}

TEST(LevenbergMarquardtTest, BoundPrimitives) {
  LevenbergMarquardt lm;
  lm.setLowerBounds({-1, -kInf});
  lm.setUpperBounds({1});  // shorter than the coordinate: the rest is unbounded
  CoordinateResidualsAndFunctionValue v(VKSeries::seriesWithArray({-3, -50, 70}));
  EXPECT_TRUE(lm.projectIntoBoundsNugget(v));
  EXPECT_EQ(v.coordinate(), VKSeries::seriesWithArray({-1, -50, 70}));
  EXPECT_FALSE(lm.projectIntoBoundsNugget(v));

  // A displaced vertex beyond a bound is mirrored through the best point.
  LeastSquaresSimplex s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(0.75, 0), 0.5);
  EXPECT_TRUE(lm.conformToBoundsSimplex(s));
  EXPECT_EQ(s[1].coordinate(), xy(0.25, 0));
  EXPECT_EQ(s[2].coordinate(), xy(0.75, 0.5));
  EXPECT_FALSE(lm.conformToBoundsSimplex(s));
}

// A linear problem r = A x − b with an exact Gauss–Newton step.
LeastSquaresFunctor linearResiduals() {
  return LeastSquaresFunctor([](const VKSeries& c) -> std::optional<VKSeries> {
    const double x = c.at(0), y = c.at(1);
    return VKSeries::seriesWithArray({x + y - 3, x - y - 1, 2 * x - 4});
  });
}

TEST(LevenbergMarquardtTest, DampingFallsOnAcceptanceAndRisesOnRejection) {
  LevenbergMarquardt lm;
  lm.setMaxIteration(0);  // exactly one step
  lm.setDamping(1e-6);    // light enough that the step lands on the least-squares solution
  LeastSquaresSimplex s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(0, 0), 1e-3);
  lm.setInfinitesmal(1e-3);
  lm.minimizeLeastSquaresFunctor(linearResiduals(), s);
  EXPECT_EQ(lm.returnCode(), LevenbergMarquardt::kMaxIterationsExceeded);
  EXPECT_DOUBLE_EQ(lm.damping(), 1e-7);
  // The normal equations [[6, 0], [0, 2]] x = (12, 2).
  EXPECT_NEAR(s[0].coordinate().at(0), 2, 1e-5);
  EXPECT_NEAR(s[0].coordinate().at(1), 1, 1e-5);

  // An upward step is rejected: the simplex stays and the damping grows by half.
  int calls = 0;
  const LeastSquaresFunctor trap([&](const VKSeries& c) -> std::optional<VKSeries> {
    // A valley along x whose far side is walled off: every step away from the start is worse.
    ++calls;
    const double x = c.at(0), y = c.at(1);
    return VKSeries::seriesWithArray({x - 5, y, x > 1e-3 ? 100.0 : 0.0});
  });
  lm.setDamping(0.01);
  s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(0, 0), 1e-4);
  const auto start = coordinatesOf(s);
  lm.minimizeLeastSquaresFunctor(trap, s);
  EXPECT_DOUBLE_EQ(lm.damping(), 0.015);
  EXPECT_EQ(coordinatesOf(s), start);
  EXPECT_EQ(calls, 4);  // the three vertices and the one trial point
}

// Residuals that do not depend on y make the undamped normal equations singular. The
// failed solve is a rejected step; the damping then rises to its floor, and the next
// solves reach x = 1.
TEST(LevenbergMarquardtTest, FailedSolveIsARejectedStep) {
  int calls = 0;
  const LeastSquaresFunctor yBlind([&](const VKSeries& c) -> std::optional<VKSeries> {
    ++calls;
    return VKSeries::seriesWithArray({c.at(0) - 1, 2 * (c.at(0) - 1)});
  });
  LevenbergMarquardt lm;
  lm.setDamping(0);
  lm.setMaxIteration(0);
  LeastSquaresSimplex s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(0, 0), 1e-6);
  const auto start = coordinatesOf(s);
  lm.minimizeLeastSquaresFunctor(yBlind, s);
  EXPECT_EQ(lm.returnCode(), LevenbergMarquardt::kMaxIterationsExceeded);
  EXPECT_EQ(lm.damping(), LevenbergMarquardt::kMinimumDamping);
  EXPECT_EQ(coordinatesOf(s), start);
  EXPECT_EQ(calls, 3) << "nothing evaluated for a step that could not be solved";

  lm.setMaxIteration(50);
  lm.setConvergenceValue(1e-20);
  lm.minimizeLeastSquaresFunctor(yBlind, s);
  EXPECT_TRUE(lm.converged()) << lm.returnCodeDescription();
  EXPECT_NEAR(s[0].coordinate().at(0), 1, 1e-9);
}

TEST(LevenbergMarquardtTest, DegenerateSimplicesAndCancellation) {
  LevenbergMarquardt lm;
  LeastSquaresSimplex s;
  lm.minimizeLeastSquaresFunctor(linearResiduals(), s);
  EXPECT_EQ(lm.returnCode(), LevenbergMarquardt::kFellOffUniverse);
  s.emplace_back(xy(0, 0));
  lm.minimizeLeastSquaresFunctor(linearResiduals(), s);
  EXPECT_EQ(lm.returnCode(), LevenbergMarquardt::kTooFewDegreesOfFreedom);
  EXPECT_EQ(lm.returnCodeDescription(), "too few degrees of freedom");

  // A flat start is code 6 on the first iteration.
  s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(0, 0), 1);
  lm.minimizeLeastSquaresFunctor(
      LeastSquaresFunctor([](const VKSeries&) -> std::optional<VKSeries> { return VKSeries::seriesWithDouble(2); }), s);
  EXPECT_EQ(lm.returnCode(), LevenbergMarquardt::kNoPerceptibleGradient);
  EXPECT_FALSE(lm.converged());

  // Cancelled while the first trial point is evaluated: code 8 before the step is used.
  s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(-1.2, 1), 1e-6);
  Rosenbrock rosenbrock;
  const auto before = coordinatesOf(s);
  testing::runOnWorkerCancelledAtHook([&](const std::function<void()>& cancelHere) {
    lm.minimizeLeastSquaresFunctor(LeastSquaresFunctor([&](const VKSeries& c) -> std::optional<VKSeries> {
                                     if (rosenbrock.evaluations() == 3) cancelHere();
                                     return rosenbrock.residuals(c);
                                   }),
                                   s);
  });
  EXPECT_EQ(lm.returnCode(), LevenbergMarquardt::kUserAborted);
  EXPECT_EQ(lm.returnCodeDescription(), "user aborted");
  EXPECT_EQ(rosenbrock.evaluations(), 4);
  EXPECT_EQ(coordinatesOf(s), before);
}

TEST(LevenbergMarquardtTest, TrajectorySpreadOfTheLastTenValues) {
  LevenbergMarquardtTrajectory t;
  for (int v = 1; v <= 9; ++v) {
    t.appendFunctionValue(v);
    EXPECT_EQ(t.standardDeviation(), kInf);
  }
  t.appendFunctionValue(10);
  const double spreadOfOneToTen = std::sqrt(82.5 / 9);  // Σ (v − 5.5)² = 82.5
  EXPECT_DOUBLE_EQ(t.standardDeviation(), spreadOfOneToTen);
  t.appendFunctionValue(11);  // replaces the 1: 2 … 11 has the same spread
  EXPECT_DOUBLE_EQ(t.standardDeviation(), spreadOfOneToTen);
  for (int i = 0; i < 10; ++i) t.appendFunctionValue(4);
  EXPECT_EQ(t.standardDeviation(), 0);
}

TEST(LevenbergMarquardtTest, EveryCodeHasItsText) {
  const std::vector<std::string> texts = {
      "no return code generated",    "maximum number of iterations exceeded", "converged by function value",
      "converged by simplex size",   "fell off the edge of the universe",     "converged by standard error",
      "no perceptible gradient",     "too few degrees of freedom",            "user aborted",
      "converged by step size"};
  LevenbergMarquardt lm;
  for (std::int32_t code = 0; code < 10; ++code) {
    lm.setReturnCode(code);
    EXPECT_EQ(lm.returnCodeDescription(), texts[static_cast<std::size_t>(code)]);
    EXPECT_EQ(lm.converged(), code == 0 || code == 2 || code == 3 || code == 5) << code;
  }
  for (std::int32_t code : {-1, 10, 101})
    EXPECT_EQ(LevenbergMarquardt::returnCodeDescription(code), "unknown return code");
}

}  // namespace
}  // namespace orb::foundation
