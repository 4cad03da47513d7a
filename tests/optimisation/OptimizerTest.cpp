#include "optimisation/Optimizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "CookeTripletLens.h"
#include "OptimisationTestSupport.h"
#include "RayAnalysisTestSupport.h"
#include "optimisation/MeritoidHexRays.h"
#include "optimisation/MeritoidKeyPath.h"
#include "platform/Exception.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"

namespace orb::optimisation {
namespace {

using testing::kFocus100Curvature;
using testing::TempDefaults;

MeritFunctionPtr focalLengthMerit(double target = 100, double tolerance = 0.01) {
  auto f = MeritFunction::create();
  auto focal = MeritoidKeyPath::makeKind("Focal Length", "lens.focalLength");
  focal->setTarget(target);
  focal->setTolerance(tolerance);
  f->addMeritoid(focal);
  return f;
}

/// The merit of `analyzer` measured afresh on `lens`.
double meritOn(const MeritFunction& analyzer, const LensPtr& lens) {
  auto f = analyzer.copy();
  f->setLens(lens);
  f->evaluate();
  return f->doubleValue();
}

struct OptimizerTest : ::testing::Test {
  void SetUp() override { platform::RunLoop::main().runUntilIdle(); }
  void TearDown() override { platform::RunLoop::main().runUntilIdle(); }

  std::shared_ptr<Optimizer> optimizer(const LensPtr& lens, const MeritFunctionPtr& merit, unsigned tag) {
    auto o = Optimizer::create(*defaults);
    o->setPreferredMinimizerTag(tag);
    o->setLens(lens);
    o->setAnalyzer(merit);
    return o;
  }
  static void run(Optimizer& o) {
    o.startOptimization();
    ASSERT_TRUE(testing::pumpUntil([&] { return !o.isBusy() && !o.isOptimizing(); }));
    platform::RunLoop::main().runUntilIdle();
  }

  TempDefaults defaults;
  std::shared_ptr<testing::CountingDelegate> delegate = std::make_shared<testing::CountingDelegate>();
};

TEST_F(OptimizerTest, LevenbergMarquardtFindsTheFocalLength) {
  auto lens = testing::singletLens(0.01);
  lens->setDelegate(delegate);
  auto merit = focalLengthMerit();
  auto o = optimizer(lens, merit, Optimizer::kLevenbergMarquardtTag);
  int hooks = 0;
  o->setWillApplyBestPoint([&] { ++hooks; });
  run(*o);
  EXPECT_NE(o->chatter().find("converged"), std::string::npos) << o->chatter();
  EXPECT_NEAR(testing::curvatureOf(*lens, 1), kFocus100Curvature, 1e-7);
  EXPECT_LT(std::abs(tracing::focalLength(*lens) - 100), 1e-3);
  // What the optimiser shows is what the document's lens measures.
  EXPECT_NEAR(merit->doubleValue(), meritOn(*merit, lens), 1e-9 + 1e-9 * merit->doubleValue());
  // One change of the document's lens: one undo step.
  EXPECT_EQ(hooks, 1);
  EXPECT_EQ(delegate->primes, 1);
  EXPECT_GT(o->evaluations(), 0u);
  EXPECT_TRUE(o->meritMonitor().objectIf<MeritFunction>() == merit);
}

TEST_F(OptimizerTest, GoldenSectionOnOneVariable) {
  auto lens = testing::singletLens(0.01);
  auto o = optimizer(lens, focalLengthMerit(), Optimizer::kNelderMeadTag);
  run(*o);
  EXPECT_NEAR(testing::curvatureOf(*lens, 1), kFocus100Curvature, 1e-5) << o->chatter();
}

TEST_F(OptimizerTest, NelderMeadOnTwoVariables) {
  auto lens = testing::singletLens(0.01, true, true);
  auto o = optimizer(lens, focalLengthMerit(), Optimizer::kNelderMeadTag);
  o->setMaxIteration(400);
  run(*o);
  EXPECT_LT(std::abs(tracing::focalLength(*lens) - 100), 0.05) << o->chatter();
  EXPECT_NE(testing::curvatureOf(*lens, 2), 0.0);  // both variables moved
}

TEST_F(OptimizerTest, LevenbergMarquardtFocusesAParaboloidOnItsRaySpot) {
  // Per-ray residuals: the image plane of a paraboloid 1 mm out of focus moves to the focus.
  auto lens = analysis::testing::mirrorLens(-200, -1);
  lens->surfaceArray()[1]->setThickness(-99);
  lens->surfaceArray()[1]->setThicknessSolveType(1);
  lens->generateSystemFromParaxialSpecification();
  auto merit = MeritFunction::create();
  auto spot = Meritoid::make<MeritoidRMS>();
  spot->setIdentifier("RMS Spot Size");
  spot->setMonochromatic(true);
  spot->setNumberOfRaysQuantum(3);
  merit->addMeritoid(spot);
  auto o = optimizer(lens, merit, Optimizer::kLevenbergMarquardtTag);
  run(*o);
  EXPECT_NEAR(lens->valueForKeyPath("s1.thickness").asDouble(), -100, 1e-4) << o->chatter();
  EXPECT_LT(merit->doubleValue(), 1e-3);
}

/// examples/CookeTriplet.orb as a document opens it (see CookeTripletLens.h for its
/// prescription), with the curvatures of `variable` marked variable.
LensPtr cookeTriplet(std::initializer_list<std::size_t> variable) {
  auto lens = test::cookeTripletWithVariableCurvatures(std::string(ORB_SOURCE_DIR) + "/examples", variable);
  platform::RunLoop::main().runUntilIdle();
  return lens;
}

/// The triplet's focal length from a y–nu trace of a ray parallel to the axis at height 1
/// through its six curvatures, with the thicknesses and d indices of its prescription.
double tripletFocalLength(const lens::Lens& lens) {
  const double thickness[] = {4.0, 10.51018, 2.5, 9.86946, 4.5};
  const double indexAfter[] = {1.620408, 1, 1.616589, 1, 1.620408, 1};
  double y = 1, nu = 0, n = 1;
  for (std::size_t i = 0; i < 6; ++i) {
    nu -= y * testing::curvatureOf(lens, i + 1) * (indexAfter[i] - n);
    n = indexAfter[i];
    if (i < 5) y += thickness[i] * nu / n;
  }
  return -1 / nu;
}

// The focal length of the Cooke triplet from 100 to 95 mm against its on-axis RMS spot, with
// the curvatures of both faces of the front element and of the front of the rear one. The
// image plane stays where it is, so the spot residuals stay large at the minimum, where
// the damping that works hardly changes from step to step: the run must end converged
// within one Start's iteration limit and in tens of iterations, not hundreds.
TEST_F(OptimizerTest, LevenbergMarquardtBalancesFocalLengthAndSpotInOneStart) {
  auto lens = cookeTriplet({1, 2, 5});
  ASSERT_TRUE(lens);
  EXPECT_NEAR(tripletFocalLength(*lens), 100, 0.01);  // the trace reads the prescription
  auto merit = focalLengthMerit(95);
  auto spot = Meritoid::make<MeritoidRMS>();
  spot->setIdentifier("RMS Spot Size");
  spot->setTarget(0);  // on axis, 127 rays in three colours, 1 µm tolerance
  merit->addMeritoid(spot);
  auto o = optimizer(lens, merit, Optimizer::kLevenbergMarquardtTag);
  ASSERT_EQ(o->maxIteration(), 100u);  // what one press of Start runs
  run(*o);
  EXPECT_NE(o->chatter().find("converged"), std::string::npos) << o->chatter();
  EXPECT_LE(o->iteration(), 50u);
  // The spot pulls the balance a little above 95 (0.01 mm is the operand's tolerance).
  EXPECT_NEAR(tripletFocalLength(*lens), 95, 0.03) << o->iteration() << " iterations";
}

TEST_F(OptimizerTest, StartOutsideTheBoundsIsRefused) {
  auto lens = testing::singletLens(0.01);
  lens->setDelegate(delegate);
  auto o = optimizer(lens, focalLengthMerit(), Optimizer::kLevenbergMarquardtTag);
  auto d = o->variablesController()->arrayOfVariableDescriptors().at(0);
  d->setMinimum(0.02);
  d->setMaximum(0.03);
  run(*o);
  EXPECT_EQ(o->chatter(), "initial value of variable s1.curvature not inside interval (0.02, 0.03)");
  EXPECT_EQ(testing::curvatureOf(*lens, 1), 0.01);
  EXPECT_EQ(delegate->primes, 0);
}

TEST_F(OptimizerTest, BoundRulesForStartingValues) {
  auto lens = testing::singletLens(0.01);
  auto o = optimizer(lens, focalLengthMerit(), Optimizer::kLevenbergMarquardtTag);
  o->setupEnabledVariables();
  auto d = o->enabledVariables().at(0);
  struct Case {
    double min, max, start;
    bool violated;
  } cases[] = {
      {1, 5, 3, false}, {1, 5, 5, false}, {1, 5, 6, true},  // closed interval
      {5, 1, 3, true},  {5, 1, 1, false}, {5, 1, 5, false}, {5, 1, 7, false},  // gap
      {2, 2, 2, true},  // null interval
  };
  for (const auto& c : cases) {
    d->setMinimum(c.min);
    d->setMaximum(c.max);
    EXPECT_EQ(o->boundsViolatedByCoordinate(foundation::VKSeries::seriesWithDouble(c.start)), c.violated)
        << c.min << " " << c.max << " " << c.start;
  }
  o->setUniverseRadius(0);  // no limit
  EXPECT_EQ(o->universeRadius(), std::numeric_limits<double>::infinity());
  o->setUniverseRadius(2);
  d->setMinimum(-10);
  d->setMaximum(10);
  EXPECT_TRUE(o->boundsViolatedByCoordinate(foundation::VKSeries::seriesWithDouble(3)));
}

TEST_F(OptimizerTest, RefusalsSayWhy) {
  auto lens = testing::singletLens(0.01, false);
  {
    auto o = Optimizer::create(*defaults);
    o->setAnalyzer(focalLengthMerit());
    o->startOptimization();
    EXPECT_EQ(o->chatter(), "no lens defined");
  }
  {
    auto o = Optimizer::create(*defaults);
    o->startOptimization();
    EXPECT_EQ(o->chatter(), "no analyzer defined");  // both tests run; the second wins
    o->setLens(lens);
    o->startOptimization();
    EXPECT_EQ(o->chatter(), "no analyzer defined");
  }
  {
    auto o = optimizer(lens, focalLengthMerit(), Optimizer::kLevenbergMarquardtTag);
    o->startOptimization();
    EXPECT_EQ(o->chatter(), "no variables enabled");
    EXPECT_FALSE(o->isBusy());
  }
}

/// An operand that raises on its third measurement.
class FailingMeritoid : public MeritoidKeyPath {
 public:
  void evaluation() override {
    if (++calls >= 3) throw platform::Exception("OBException", "trace exploded");
    MeritoidKeyPath::evaluation();
  }
  std::shared_ptr<Meritoid> makeEmpty() const override { return make<FailingMeritoid>(); }
  int calls = 0;
};

TEST_F(OptimizerTest, AnExceptionLeavesTheStartingValues) {
  auto lens = testing::singletLens(0.01);
  lens->setDelegate(delegate);
  auto merit = MeritFunction::create();
  auto op = Meritoid::make<FailingMeritoid>();
  op->setIdentifier("Focal Length");
  op->setScript("lens.focalLength");
  op->setTarget(100);
  merit->addMeritoid(op);
  auto o = optimizer(lens, merit, Optimizer::kLevenbergMarquardtTag);
  run(*o);
  EXPECT_EQ(o->chatter(), "Exception occured, optimization aborted");
  EXPECT_EQ(testing::curvatureOf(*lens, 1), 0.01);
  EXPECT_EQ(delegate->primes, 0);
}

/// An operand that, from its fifth measurement on, waits for the run to be stopped.
class StallingMeritoid : public MeritoidKeyPath {
 public:
  void evaluation() override {
    MeritoidKeyPath::evaluation();
    if (++calls < 5) return;
    stalled->store(true);
    while (!platform::currentThreadIsCancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::shared_ptr<Meritoid> makeEmpty() const override {
    auto m = make<StallingMeritoid>();
    m->stalled = stalled;
    return m;
  }
  std::shared_ptr<std::atomic<bool>> stalled = std::make_shared<std::atomic<bool>>(false);
  int calls = 0;
};

TEST_F(OptimizerTest, StopLeavesTheBestMeasuredPoint) {
  auto lens = testing::singletLens(0.01);
  auto merit = MeritFunction::create();
  auto op = Meritoid::make<StallingMeritoid>();
  op->setIdentifier("Focal Length");
  op->setScript("lens.focalLength");
  op->setTarget(100);
  merit->addMeritoid(op);
  const double startMerit = meritOn(*merit, lens);
  auto o = optimizer(lens, merit, Optimizer::kNelderMeadTag);
  o->startOptimization();
  ASSERT_TRUE(testing::pumpUntil([&] { return op->stalled->load(); }));
  o->stopOptimization();
  platform::RunLoop::main().runUntilIdle();
  EXPECT_FALSE(o->isBusy());
  EXPECT_FALSE(o->isOptimizing());
  EXPECT_LE(merit->doubleValue(), startMerit);
  EXPECT_NEAR(merit->doubleValue(), meritOn(*merit, lens), 1e-9 * startMerit);
  EXPECT_NE(testing::curvatureOf(*lens, 1), 0.01);
}

TEST_F(OptimizerTest, AMeritThatCannotBeMeasuredNeverBecomesBest) {
  auto lens = testing::singletLens(0.01);
  lens->setDelegate(delegate);
  auto merit = MeritFunction::create();
  auto broken = MeritoidKeyPath::makeKind("Focal Length", "lens.noSuchQuantity");
  merit->addMeritoid(broken);
  merit->setDoubleValue(42);
  for (unsigned tag : {Optimizer::kLevenbergMarquardtTag, Optimizer::kNelderMeadTag}) {
    auto o = optimizer(lens, merit, tag);
    run(*o);
    EXPECT_EQ(testing::curvatureOf(*lens, 1), 0.01) << tag;
    EXPECT_EQ(merit->doubleValue(), 42) << tag;
    EXPECT_FALSE(o->best().has_value());
  }
  EXPECT_EQ(delegate->primes, 0);
}

TEST_F(OptimizerTest, CancelledEvaluationsAreInadmissible) {
  auto lens = testing::singletLens(0.01);
  auto o = optimizer(lens, focalLengthMerit(), Optimizer::kLevenbergMarquardtTag);
  o->setupEnabledVariables();
  const auto x = foundation::VKSeries::seriesWithDouble(kFocus100Curvature);
  EXPECT_LT(o->valueAtCoordinate(x), 1e-6);  // on target here
  double cancelledValue = 0;
  bool cancelledResiduals = false;
  platform::ConditionLock reached(0);
  platform::WorkerThread worker("cancel-test", [&] {
    reached.lock();
    reached.unlockWithCondition(1);
    while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
    cancelledValue = o->valueAtCoordinate(x);
    cancelledResiduals = !o->residualsAtCoordinate(x).has_value();
  });
  reached.lockWhenCondition(1);
  reached.unlock();
  worker.cancel();
  worker.join();
  EXPECT_EQ(cancelledValue, std::numeric_limits<double>::infinity());
  EXPECT_TRUE(cancelledResiduals);
}

TEST_F(OptimizerTest, AdjustScaleHalvesUntilAStepStaysNearTheMerit) {
  auto lens = testing::singletLens(0.01);
  const double target = 200, tolerance = 0.01, n = testing::kModelIndex;
  auto o = optimizer(lens, focalLengthMerit(target, tolerance), Optimizer::kLevenbergMarquardtTag);
  auto d = o->variablesController()->arrayOfVariableDescriptors().at(0);
  d->setScale(0.5);
  o->adjustScale();
  // The same rule on the closed-form merit of a flat-backed singlet.
  auto merit = [&](double c) {
    const double r = (1 / ((n - 1) * c) - target) / tolerance;
    return 0.5 * r * r;
  };
  const double limit = 2 * merit(0.01);
  double expected = 0.5;
  for (double sign : {1.0, -1.0})
    for (int k = 0; k < 30 && merit(0.01 + sign * expected) > limit; ++k) expected /= 2;
  EXPECT_NEAR(d->scale(), expected, 1e-15);
  EXPECT_EQ(testing::curvatureOf(*lens, 1), 0.01);  // the document's lens is not probed

  // A variable that can hardly move halves a bounded number of times, never to 0.
  d->setScale(0.01);
  d->setMinimum(0.01);
  d->setMaximum(0.01 + 1e-14);
  o->adjustScale();
  EXPECT_EQ(d->scale(), 0.01 / std::pow(2.0, Optimizer::kMaxScaleHalvings));
}

TEST_F(OptimizerTest, SettingsComeFromTheDefaults) {
  Optimizer::restoreFactoryDefaults(*defaults);
  auto o = Optimizer::create(*defaults);
  EXPECT_EQ(o->convergenceStandardError(), static_cast<float>(1e-6));
  EXPECT_EQ(o->convergenceSize(), static_cast<float>(1e-5));
  EXPECT_EQ(o->universeRadius(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(o->maxIteration(), 100u);
  EXPECT_EQ(o->preferredMinimizerTag(), 1u);
  o->setMaxIteration(7);
  o->setConvergenceValue(0.5);
  o->saveDefaults();
  auto again = Optimizer::create(*defaults);
  EXPECT_EQ(again->maxIteration(), 7u);
  EXPECT_EQ(again->convergenceValue(), 0.5);
  const auto restoration = again->restorationDictionary();
  EXPECT_EQ(restoration.get("maxIteration"), platform::Value(7));
}

}  // namespace
}  // namespace orb::optimisation
