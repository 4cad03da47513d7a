#include "foundation/minimise/NelderMead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "foundation/minimise/NelderMeadUsingSeries.h"
#include "platform/Exception.h"
#include "CancelOnWorker.h"

namespace orb::foundation {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

VKSeries xy(double x, double y) { return VKSeries::seriesWithArray({x, y}); }

double rosenbrock(const VKSeries& c) {
  const double x = c.at(0), y = c.at(1);
  return (1 - x) * (1 - x) + 100 * (y - x * x) * (y - x * x);
}

double powellQuartic(const VKSeries& c) {
  const double a = c.at(0) + 10 * c.at(1), b = c.at(2) - c.at(3), d = c.at(1) - 2 * c.at(2), e = c.at(0) - c.at(3);
  return a * a + 5 * b * b + d * d * d * d + 10 * e * e * e * e;
}

Simplex rosenbrockStart() {
  Simplex s;
  for (const VKSeries& p : {xy(-1.2, 1), xy(-1.1, 1), xy(-1.2, 1.1)}) s.emplace_back(p);
  return s;
}

TEST(SimplexBuildersTest, DisplaceOneElementPerVertex) {
  const VKSeries point = VKSeries::seriesWithArray({1, 2, 3});
  const Simplex s = NelderMead::euclideanSimplexWithInitialPoint(point, 0.5);
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0].coordinate(), point);
  EXPECT_EQ(s[2].coordinate(), VKSeries::seriesWithArray({1, 2.5, 3}));
  const LeastSquaresSimplex ls =
      NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(point, VKSeries::seriesWithArray({0.1, 0.2, 0.3}));
  EXPECT_EQ(ls[3].coordinate(), VKSeries::seriesWithArray({1, 2, 3.3}));
  EXPECT_FALSE(ls[3].residuals().has_value());
  EXPECT_EQ(NelderMead::euclideanSimplexWithInitialPoint(VKSeries(0), 1).size(), 1u);
  EXPECT_THROW(NelderMead::euclideanSimplexWithInitialPoint(point, VKSeries(2)), platform::Exception);
}

TEST(SimplexVertexTest, NaNRanksAsInfinityAndMissingResidualsAsWorst) {
  CoordinateAndFunctionValue a(xy(0, 0)), b(xy(0, 0)), nan(xy(0, 0)), inf(xy(0, 0));
  a.setFunctionValue(1);
  b.setFunctionValue(2);
  nan.setFunctionValue(std::nan(""));
  inf.setFunctionValue(kInf);
  EXPECT_EQ(a.functionValueComparison(b), -1);
  EXPECT_EQ(b.functionValueComparison(a), 1);
  EXPECT_EQ(a.functionValueComparison(a), 0);
  EXPECT_EQ(nan.functionValueComparison(b), 1);
  EXPECT_EQ(b.functionValueComparison(nan), -1);
  EXPECT_EQ(nan.functionValueComparison(inf), 0);

  // Residuals of x − 1 unless x > 2, where the point is inadmissible.
  const LeastSquaresFunctor f([](const VKSeries& c) -> std::optional<VKSeries> {
    if (c.at(0) > 2) return std::nullopt;
    return VKSeries::seriesWithArray({c.at(0) - 1, 2});
  });
  CoordinateResidualsAndFunctionValue v(VKSeries::seriesWithDouble(4));
  v.evaluate(f);
  EXPECT_EQ(v.functionValue(), kInf);
  v.coordinate().atPut(0, 0);
  v.evaluate(f);
  EXPECT_EQ(v.functionValue(), 2.5);
  EXPECT_EQ(v.residuals(), VKSeries::seriesWithArray({-1, 2}));
}

TEST(NelderMeadTest, RosenbrockFromTheClassicStart) {
  struct Case {
    const char* name;
    double standardError, size, value, tolerance;
  };
  // With the defaults the run stops once the simplex values agree to about 1e-6; with the
  // spread test off and a tiny size it goes on to the floating-point minimum.
  for (const Case& c : std::vector<Case>{{"defaults", 1e-6, 1e-6, 0, 5e-3}, {"tight", 0, 1e-12, 0, 1e-6}}) {
    SCOPED_TRACE(c.name);
    NelderMead nm;
    nm.setConvergenceStandardError(c.standardError);
    nm.setConvergenceSize(c.size);
    nm.setConvergenceValue(c.value);
    nm.setMaxIteration(5000);
    Simplex s = rosenbrockStart();
    nm.minimizeFunctor(MultivariateFunctor(rosenbrock), s);
    EXPECT_TRUE(nm.converged()) << nm.returnCode() << " " << nm.returnCodeDescription();
    EXPECT_TRUE(nm.returnCode() == NelderMead::kConvergedBySimplexSize ||
                nm.returnCode() == NelderMead::kConvergedByStandardError);
    EXPECT_NEAR(s[0].coordinate().at(0), 1, c.tolerance);
    EXPECT_NEAR(s[0].coordinate().at(1), 1, 2 * c.tolerance);
    EXPECT_EQ(s[0].functionValue(), rosenbrock(s[0].coordinate()));
    for (std::size_t i = 1; i < s.size(); ++i) EXPECT_LE(s[0].functionValue(), s[i].functionValue());
  }
}

TEST(NelderMeadTest, PowellQuarticAndTheSeriesTwin) {
  NelderMead nm;
  nm.setConvergenceValue(1e-12);
  nm.setMaxIteration(20000);
  const VKSeries start = VKSeries::seriesWithArray({3, -1, 0, 1});
  Simplex s = NelderMead::euclideanSimplexWithInitialPoint(start, 1);
  nm.minimizeFunctor(MultivariateFunctor(powellQuartic), s);
  EXPECT_TRUE(nm.converged()) << nm.returnCodeDescription();
  EXPECT_LT(s[0].functionValue(), 1e-6);
  EXPECT_EQ(start, VKSeries::seriesWithArray({3, -1, 0, 1})) << "the caller's start point is never moved";

  NelderMeadUsingSeries twin;
  Simplex t = rosenbrockStart();
  twin.minimizeFunctor(MultivariateFunctor(rosenbrock), t);
  EXPECT_TRUE(twin.returnCode() == NelderMead::kConvergedBySimplexSize ||
              twin.returnCode() == NelderMead::kConvergedByStandardError)
      << twin.returnCodeDescription();
  EXPECT_NEAR(t[0].coordinate().at(0), 1, 5e-3);
  twin.setMaxIteration(-1);
  t = rosenbrockStart();
  twin.minimizeFunctor(MultivariateFunctor(rosenbrock), t);
  EXPECT_EQ(twin.returnCode(), NelderMead::kMaxIterationsExceeded);
  EXPECT_EQ(twin.iteration(), 0);
}

TEST(NelderMeadTest, LeastSquaresRosenbrock) {
  NelderMead nm;
  nm.setConvergenceValue(1e-12);
  nm.setConvergenceStandardError(0);
  nm.setConvergenceSize(0);
  nm.setMaxIteration(5000);
  LeastSquaresSimplex s = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(xy(-1.2, 1), 0.1);
  const LeastSquaresFunctor f([](const VKSeries& c) -> std::optional<VKSeries> {
    return VKSeries::seriesWithArray({10 * (c.at(1) - c.at(0) * c.at(0)), 1 - c.at(0)});
  });
  nm.minimizeLeastSquaresFunctor(f, s);
  EXPECT_EQ(nm.returnCode(), NelderMead::kConvergedByFunctionValue) << nm.returnCodeDescription();
  EXPECT_NEAR(s[0].coordinate().at(0), 1, 2e-6);
  ASSERT_TRUE(s[0].residuals().has_value());
  EXPECT_EQ(s[0].functionValue(), 0.5 * s[0].residuals()->sumOfSquares());
}

TEST(NelderMeadTest, StopsBeforeAnyStep) {
  int calls = 0;
  const MultivariateFunctor counted([&](const VKSeries& c) {
    ++calls;
    return rosenbrock(c);
  });
  NelderMead nm;
  // One dimension is too few.
  Simplex line = {CoordinateAndFunctionValue(VKSeries::seriesWithDouble(0)),
                  CoordinateAndFunctionValue(VKSeries::seriesWithDouble(1))};
  nm.minimizeFunctor(counted, line);
  EXPECT_EQ(nm.returnCode(), NelderMead::kTooFewDimensions);
  EXPECT_EQ(nm.returnCodeDescription(), "can not minimize in less than 2 dimensions");
  EXPECT_EQ(calls, 0);

  // A flat start is "no perceptible gradient", not convergence.
  Simplex flat = NelderMead::euclideanSimplexWithInitialPoint(xy(3, 3), 1);
  nm.minimizeFunctor(MultivariateFunctor([](const VKSeries&) { return 7.0; }), flat);
  EXPECT_EQ(nm.returnCode(), NelderMead::kNoPerceptibleGradient);
  EXPECT_FALSE(nm.converged());
  EXPECT_EQ(nm.iteration(), 0u);

  // Two vertices closer than convergenceSize stop the run although the third is far.
  Simplex close = {CoordinateAndFunctionValue(xy(0, 0)), CoordinateAndFunctionValue(xy(0, 5e-7)),
                   CoordinateAndFunctionValue(xy(-1, 1))};
  nm.minimizeFunctor(counted, close);
  EXPECT_EQ(nm.returnCode(), NelderMead::kConvergedBySimplexSize);

  // Coordinates of different lengths are refused before anything is evaluated.
  calls = 0;
  Simplex ragged = {CoordinateAndFunctionValue(xy(0, 0)), CoordinateAndFunctionValue(xy(1, 0)),
                    CoordinateAndFunctionValue(VKSeries::seriesWithDouble(1))};
  nm.minimizeFunctor(counted, ragged);
  EXPECT_EQ(nm.returnCode(), NelderMead::kMismatchedCoordinates);
  EXPECT_EQ(nm.returnCodeDescription(), "unknown return code");
  EXPECT_EQ(calls, 0);
}

TEST(NelderMeadTest, UniverseAndNaNRegions) {
  // Downhill without end: the simplex leaves the ball of the universe radius.
  NelderMead nm;
  nm.setUniverseRadius(1e3);
  nm.setConvergenceValue(-kInf);
  Simplex s = NelderMead::euclideanSimplexWithInitialPoint(xy(0, 0), 1);
  nm.minimizeFunctor(MultivariateFunctor([](const VKSeries& c) { return -c.at(0) - c.at(1); }), s);
  EXPECT_EQ(nm.returnCode(), NelderMead::kFellOffUniverse);
  EXPECT_EQ(nm.returnCodeDescription(), "fell off the edge of the universe");

  // A function undefined (NaN) for x < 0, started with a vertex there: the NaN vertex is
  // never taken as the best, and the run ends at the minimum (0.5, 0.5).
  const MultivariateFunctor halfDefined([](const VKSeries& c) {
    if (c.at(0) < 0) return std::nan("");
    return (c.at(0) - 0.5) * (c.at(0) - 0.5) + (c.at(1) - 0.5) * (c.at(1) - 0.5);
  });
  s = {CoordinateAndFunctionValue(xy(-1, 0)), CoordinateAndFunctionValue(xy(1, 0)),
       CoordinateAndFunctionValue(xy(1, 1))};
  nm = NelderMead();
  nm.setConvergenceStandardError(0);
  nm.setConvergenceSize(1e-9);
  nm.minimizeFunctor(halfDefined, s);
  EXPECT_TRUE(nm.converged()) << nm.returnCodeDescription();
  EXPECT_FALSE(std::isnan(s[0].functionValue()));
  EXPECT_NEAR(s[0].coordinate().at(0), 0.5, 1e-6);
  EXPECT_NEAR(s[0].coordinate().at(1), 0.5, 1e-6);
}

TEST(NelderMeadTest, CancelledRunStopsWithUserAborted) {
  struct Case {
    const char* name;
    int cancelAtCall;  // 1: while the start is evaluated
  };
  for (const Case& c : std::vector<Case>{{"before setup", 1}, {"mid run", 40}}) {
    SCOPED_TRACE(c.name);
    NelderMead nm;
    nm.setConvergenceStandardError(0);
    nm.setConvergenceSize(0);
    Simplex s = rosenbrockStart();
    int calls = 0;
    testing::runOnWorkerCancelledAtHook([&](const std::function<void()>& cancelHere) {
      nm.minimizeFunctor(MultivariateFunctor([&](const VKSeries& x) {
                           if (++calls == c.cancelAtCall) cancelHere();
                           return rosenbrock(x);
                         }),
                         s);
    });
    EXPECT_EQ(nm.returnCode(), NelderMead::kUserAborted);
    EXPECT_EQ(nm.returnCodeDescription(), "user aborted");
    EXPECT_FALSE(nm.converged());
    EXPECT_LE(calls, c.cancelAtCall + 4) << "at most the rest of one step after the cancel";
    for (std::size_t i = 1; i < s.size(); ++i) EXPECT_LE(s[0].functionValue(), s[i].functionValue());
  }
}

TEST(NelderMeadTest, EveryCodeHasItsText) {
  const std::vector<std::string> texts = {
      "no return code generated",         "maximum number of iterations exceeded",
      "converged by function value",      "converged by simplex size",
      "fell off the edge of the universe", "converged by standard error",
      "no perceptible gradient",          "can not minimize in less than 2 dimensions",
      "user aborted"};
  NelderMead nm;
  NelderMeadUsingSeries twin;
  for (std::int32_t code = 0; code < 9; ++code) {
    nm.setReturnCode(code);
    twin.setReturnCode(code);
    EXPECT_EQ(nm.returnCodeDescription(), texts[static_cast<std::size_t>(code)]);
    EXPECT_EQ(twin.returnCodeDescription(), texts[static_cast<std::size_t>(code)]);
    EXPECT_EQ(nm.converged(), code == 0 || code == 2 || code == 3 || code == 5) << code;
  }
  for (std::int32_t code : {-1, 9, 101, 102}) EXPECT_EQ(NelderMead::returnCodeDescription(code), "unknown return code");
}

}  // namespace
}  // namespace orb::foundation

namespace orb::foundation {
namespace {

TEST(NelderMeadNuggetTest, CramerSolvesTwoByTwo) {
  const double m[4] = {2, 1, 1, 3};
  const double v[2] = {3, 5};
  const auto x = NelderMead::twoByTwoCramerForMatrix(m, v);
  EXPECT_DOUBLE_EQ(x[0], 0.8);
  EXPECT_DOUBLE_EQ(x[1], 1.4);
  const double singular[4] = {1, 2, 2, 4};
  EXPECT_FALSE(std::isfinite(NelderMead::twoByTwoCramerForMatrix(singular, v)[0]));
}

TEST(NelderMeadNuggetTest, GaussNewtonPointOfLinearResidualsIsTheMinimum) {
  NelderMead nm;
  const LeastSquaresFunctor functor(nm, &NelderMead::parabolaResiduals);
  LeastSquaresSimplex simplex = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(
      VKSeries::seriesWithArray({1, 2}), VKSeries::seriesWithArray({0.5, -0.25}));
  for (auto& v : simplex) v.evaluate(functor);
  EXPECT_EQ(nm.evaluations(), 3u);
  const auto nugget = nm.nuggetForSimplex(simplex, functor);
  ASSERT_TRUE(nugget.has_value());
  EXPECT_EQ(nm.evaluations(), 4u);
  EXPECT_NEAR(nugget->coordinate().at(0), 0, 1e-9);
  EXPECT_NEAR(nugget->coordinate().at(1), 0, 1e-9);
  EXPECT_NEAR(nugget->functionValue(), 0, 1e-18);
}

TEST(NelderMeadNuggetTest, RefusesWhatItCannotSolve) {
  NelderMead nm;
  const LeastSquaresFunctor functor(nm, &NelderMead::parabolaResiduals);
  LeastSquaresSimplex unevaluated =
      NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(VKSeries::seriesWithArray({1, 2}), 0.1);
  EXPECT_FALSE(nm.nuggetForSimplex(unevaluated, functor).has_value());
  LeastSquaresSimplex four =
      NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(VKSeries::seriesWithArray({1, 2, 3}), 0.1);
  for (auto& v : four) v.setResiduals(v.coordinate());
  EXPECT_FALSE(nm.nuggetForSimplex(four, functor).has_value());
  LeastSquaresSimplex mixed = unevaluated;
  for (auto& v : mixed) v.evaluate(functor);
  mixed[2].setResiduals(VKSeries::seriesWithArray({1, 2, 3}));
  EXPECT_FALSE(nm.nuggetForSimplex(mixed, functor).has_value());
  EXPECT_EQ(nm.returnCode(), NelderMead::kMismatchedCoordinates);
}

}  // namespace
}  // namespace orb::foundation
