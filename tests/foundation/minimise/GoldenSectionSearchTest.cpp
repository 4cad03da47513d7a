#include "foundation/minimise/GoldenSectionSearch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "foundation/minimise/FindBracketingTriplet.h"
#include "CancelOnWorker.h"

namespace orb::foundation {
namespace {

// A function that counts its calls.
struct Counted {
  std::function<double(double)> f;
  mutable int calls = 0;
  Functor functor() {
    return Functor([this](double x) {
      ++calls;
      return f(x);
    });
  }
};

double parabola(double x) { return (x - 1) * (x - 1); }

TEST(FindBracketingTripletTest, BracketsTheMinimumDownhillFromEitherEnd) {
  struct Case {
    const char* name;
    std::function<double(double)> f;
    VKInterval interval;
    double minimum;
  };
  const std::vector<Case> cases = {
      {"inside", parabola, {0, 2}, 1},
      {"far right", [](double x) { return (x - 10) * (x - 10) * (x - 10) * (x - 10); }, {0, 1}, 10},
      // The second end is the higher one: the search runs towards negative x.
      {"reversed", [](double x) { return (x + 5) * (x + 5); }, {0, 1}, -5},
      {"cosine", [](double x) { return std::cos(x); }, {2, 2.5}, M_PI},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FindBracketingTriplet::Result r =
        FindBracketingTriplet::findBracketingTripletOfFunctor(Functor(c.f), c.interval, {});
    ASSERT_EQ(r.outcome, FindBracketingTriplet::Outcome::Bracketed);
    const VKBracketingTriplet& t = r.triplet;
    EXPECT_LE(t.b.functionValue, t.a.functionValue);
    EXPECT_LE(t.b.functionValue, t.c.functionValue);
    EXPECT_GT((t.b.coordinate - t.a.coordinate) * (t.c.coordinate - t.b.coordinate), 0) << "b between a and c";
    EXPECT_LE(std::min(t.a.coordinate, t.c.coordinate), c.minimum);
    EXPECT_GE(std::max(t.a.coordinate, t.c.coordinate), c.minimum);
    for (const VKCoordinateAndFunctionValue& p : {t.a, t.b, t.c}) EXPECT_EQ(p.functionValue, c.f(p.coordinate));
  }
}

// A function that falls without end must not run the bracketing forever.
TEST(FindBracketingTripletTest, StopsOnTheExpansionCapTheUniverseAndCancellation) {
  Counted falling{[](double x) { return -x; }};
  FindBracketingTriplet::Limits limits;
  limits.maxExpansions = 30;
  FindBracketingTriplet::Result r =
      FindBracketingTriplet::findBracketingTripletOfFunctor(falling.functor(), {0, 1}, limits);
  EXPECT_EQ(r.outcome, FindBracketingTriplet::Outcome::ExpansionLimit);
  EXPECT_EQ(r.expansions, 30u);
  EXPECT_LT(falling.calls, 3 + 2 * 30);

  limits.maxExpansions = 1000;
  limits.universeRadius = 1e6;
  std::vector<double> seen;
  r = FindBracketingTriplet::findBracketingTripletOfFunctor(Functor([&](double x) {
                                                              seen.push_back(x);
                                                              return -x;
                                                            }),
                                                            {0, 1}, limits);
  EXPECT_EQ(r.outcome, FindBracketingTriplet::Outcome::OutsideUniverse);
  for (double x : seen) EXPECT_LE(std::fabs(x), 1e6) << "evaluated outside the universe";
  EXPECT_GT(r.triplet.c.coordinate, 1e4);  // it did walk out a long way first

  int calls = 0;
  testing::runOnWorkerCancelledAtHook([&](const std::function<void()>& cancelHere) {
    r = FindBracketingTriplet::findBracketingTripletOfFunctor(Functor([&](double x) {
                                                                if (++calls == 5) cancelHere();
                                                                return -x;
                                                              }),
                                                              {0, 1}, {});
  });
  EXPECT_EQ(r.outcome, FindBracketingTriplet::Outcome::Cancelled);
  EXPECT_LE(calls, 6);
}

TEST(GoldenSectionSearchTest, ParabolaOnZeroTwoConverges) {
  // With the default spread test the search stops once the three values agree to 1e-6
  // in their sum of squared deviations; without it, on the step size.
  struct Case {
    const char* name;
    double convergenceStandardError;
    std::int32_t code;
    double tolerance;
  };
  for (const Case& c : std::vector<Case>{{"defaults", 1e-6, GoldenSectionSearch::kConvergedByStandardError, 2e-2},
                                         {"step size", 0, GoldenSectionSearch::kConvergedByStepSize, 2e-6}}) {
    SCOPED_TRACE(c.name);
    GoldenSectionSearch search;
    search.setConvergenceStandardError(c.convergenceStandardError);
    const VKCoordinateAndFunctionValue r = search.minimizeFunctor(Functor(parabola), VKInterval(0, 2), 1e-6);
    EXPECT_EQ(search.returnCode(), c.code) << search.returnCodeDescription();
    EXPECT_NEAR(r.coordinate, 1, c.tolerance);
    EXPECT_EQ(r.functionValue, parabola(r.coordinate));
    EXPECT_GT(search.iteration(), 0u);
  }
}

TEST(GoldenSectionSearchTest, DoubletAndTripletSearchesFindTheMinimum) {
  GoldenSectionSearch search;
  search.setConvergenceStandardError(0);
  const Functor f([](double x) { return std::cosh(x - 0.3); });
  VKCoordinateAndFunctionValue r =
      search.minimizeFunctor(f, VKBracketingDoublet{{-2, f.valueAt(-2)}, {3, f.valueAt(3)}}, 1e-7);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kConvergedByStepSize);
  EXPECT_NEAR(r.coordinate, 0.3, 1e-6);
  r = search.minimizeFunctor(f, VKBracketingTriplet{{-2, f.valueAt(-2)}, {0, f.valueAt(0)}, {3, f.valueAt(3)}}, 1e-7);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kConvergedByStepSize);
  EXPECT_NEAR(r.coordinate, 0.3, 1e-6);
}

TEST(GoldenSectionSearchTest, StopTestsBeforeAnyStep) {
  // A bracket already below the tolerance: the triplet search evaluates nothing, the
  // doublet search makes one pass before it may stop on size.
  Counted f{parabola};
  GoldenSectionSearch search;
  search.setConvergenceStandardError(0);
  search.minimizeFunctor(f.functor(), VKBracketingTriplet{{0.9, 0.01}, {1, 0}, {1.1, 0.01}}, 1);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kConvergedByStepSize);
  EXPECT_EQ(f.calls, 0);
  search.minimizeFunctor(f.functor(), VKBracketingDoublet{{0.9, 0.01}, {1.1, 0.01}}, 1);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kConvergedByStepSize);
  EXPECT_EQ(search.iteration(), 1u);
  EXPECT_EQ(f.calls, 2);

  // A constant function has no spread: code 4 at once in both searches.
  search.setConvergenceStandardError(1e-6);
  Counted flat{[](double) { return 3.0; }};
  search.minimizeFunctor(flat.functor(), VKBracketingTriplet{{0, 3}, {1, 3}, {2, 3}}, 1e-9);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kConvergedByStandardError);
  search.minimizeFunctor(flat.functor(), VKBracketingDoublet{{0, 3}, {2, 3}}, 1e-9);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kConvergedByStandardError);
  EXPECT_EQ(flat.calls, 0);

  // Equal inner values with the left end no better: no perceptible gradient.
  search.minimizeFunctor(flat.functor(), VKBracketingDoublet{{0, 0.5}, {1, 2}}, 1e-9);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kNoPerceptibleGradient);
  EXPECT_EQ(search.returnCodeDescription(), "no perceptible gradient");
}

TEST(GoldenSectionSearchTest, IterationLimitUniverseAndFallingFunctions) {
  GoldenSectionSearch search;
  search.setConvergenceStandardError(0);
  search.setMaxIteration(5);
  VKCoordinateAndFunctionValue r = search.minimizeFunctor(Functor(parabola), VKInterval(0, 2), 1e-12);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kMaxIterationsExceeded);
  EXPECT_NEAR(r.coordinate, 1, 0.5);  // the best point so far still comes back

  // Downhill for ever: the interval search gives up at the iteration cap, or when the
  // search leaves the universe, and hands back the lowest point reached.
  const Functor falling([](double x) { return -x; });
  search.setMaxIteration(3);
  r = search.minimizeFunctor(falling, VKInterval(0, 1), 1e-6);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kMaxIterationsExceeded);
  EXPECT_GT(r.coordinate, 1);
  search.setMaxIteration(1000);
  search.setUniverseRadius(100);
  r = search.minimizeFunctor(falling, VKInterval(0, 1), 1e-6);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kOutsideUniverse);
  EXPECT_LE(r.coordinate, 100);
  EXPECT_EQ(r.functionValue, -r.coordinate);

  // Bracket ends beyond the universe stop both searches.
  search.minimizeFunctor(Functor(parabola), VKBracketingDoublet{{-200, 1}, {2, 1}}, 1e-6);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kOutsideUniverse);
  search.minimizeFunctor(Functor(parabola), VKBracketingTriplet{{-200, 1}, {1, 0}, {2, 1}}, 1e-6);
  EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kOutsideUniverse);
}

TEST(GoldenSectionSearchTest, CancelledSearchesStopWithUserAborted) {
  enum Form { Interval, Doublet, Triplet };
  for (Form form : {Interval, Doublet, Triplet}) {
    SCOPED_TRACE(form);
    GoldenSectionSearch search;
    search.setConvergenceStandardError(0);
    int calls = 0;
    testing::runOnWorkerCancelledAtHook([&](const std::function<void()>& cancelHere) {
      const Functor f([&](double x) {
        if (++calls == 6) cancelHere();
        return parabola(x);
      });
      if (form == Interval) search.minimizeFunctor(f, VKInterval(-1000, -999), 1e-12);
      if (form == Doublet) search.minimizeFunctor(f, VKBracketingDoublet{{0, 1}, {2, 1}}, 1e-12);
      if (form == Triplet) search.minimizeFunctor(f, VKBracketingTriplet{{0, 1}, {0.5, 0.25}, {2, 1}}, 1e-12);
    });
    EXPECT_EQ(search.returnCode(), GoldenSectionSearch::kUserAborted);
    EXPECT_EQ(search.returnCodeDescription(), "user aborted");
    EXPECT_LE(calls, 8) << "stopped within an iteration of the cancel";
  }
}

TEST(GoldenSectionSearchTest, EveryCodeHasItsText) {
  const std::vector<std::string> texts = {"no return code generated",   "maximum number of iterations exceeded",
                                          "converged by step size",     "no perceptible gradient",
                                          "converged by standard error", "user aborted",
                                          "coordinate outside universe"};
  GoldenSectionSearch search;
  for (std::int32_t code = 0; code < 7; ++code) {
    search.setReturnCode(code);
    EXPECT_EQ(search.returnCodeDescription(), texts[static_cast<std::size_t>(code)]);
  }
  for (std::int32_t code : {-1, 7, 101})
    EXPECT_EQ(GoldenSectionSearch::returnCodeDescription(code), "unknown return code");
  EXPECT_EQ(GoldenSectionSearch::keyPathsForValuesAffectingReturnCodeDescription(),
            std::vector<std::string>{"returnCode"});
}

}  // namespace
}  // namespace orb::foundation
