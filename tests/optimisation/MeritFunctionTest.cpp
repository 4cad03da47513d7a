#include "optimisation/MeritFunction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "OptimisationTestSupport.h"
#include "optimisation/MeritFunctionEvaluator.h"
#include "optimisation/MeritoidHexRays.h"
#include "optimisation/MeritoidIllumination.h"
#include "optimisation/MeritoidTrace.h"
#include "optimisation/MeritoidKeyPath.h"
#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/RunLoop.h"

namespace orb::optimisation {
namespace {

using platform::Value;

/// An operand that measures a preset number and counts its measurements.
class CountingMeritoid : public Meritoid {
 public:
  void evaluation() override {
    ++evaluations;
    setEvaluationValue(measured);
  }
  std::shared_ptr<Meritoid> makeEmpty() const override { return make<CountingMeritoid>(); }
  double measured = 0;
  int evaluations = 0;
};

/// An operand with one residual per entry of a preset list.
class ArrayMeritoid : public Meritoid {
 public:
  std::vector<double> residuals() const override { return entries; }
  bool hasResidualArray() const override { return true; }
  std::vector<double> entries;
};

std::shared_ptr<CountingMeritoid> counting(double measured, double target, double tolerance) {
  auto m = Meritoid::make<CountingMeritoid>();
  m->setIdentifier("count");
  m->measured = measured;
  m->setTarget(target);
  m->setTolerance(tolerance);
  return m;
}

TEST(MeritoidUnitsTest, ConversionsFollowTheUnitTable) {
  auto m = Meritoid::make<Meritoid>();
  m->setIdentifier("length");
  struct Case {
    double value;
    const char* from;
    const char* to;
    double expected;
  } cases[] = {
      {1, "inch", "mm", 25.4},   {1, "mil", "\u00b5m", 25.4}, {2, "cm", "mm", 20},
      {1, "m", "nm", 1e9},       {1, "\u00b5inch", "nm", 25.4}, {3, "odd", "m", 3},
  };
  for (const auto& c : cases) EXPECT_NEAR(m->convert(c.value, c.from, c.to), c.expected, 1e-9 * c.expected) << c.from;
  // Equal units never consult the lens, so waves convert to waves without one.
  EXPECT_EQ(m->convert(7, "waves", "waves"), 7);
  EXPECT_FALSE(std::isfinite(m->convert(1, "mm", "waves")));
  m->setLens(testing::singletLens(0.01, false));
  EXPECT_NEAR(m->convert(1, "waves", "nm"), 587.56, 1e-9);
}

TEST(MeritoidUnitsTest, DimensionlessOperandsOfferOnlyTheEmptyUnit) {
  auto mag = MeritoidKeyPath::makeKind("Magnification X", "lens.measureMagnificationX");
  EXPECT_TRUE(mag->isDimensionless());
  EXPECT_EQ(mag->possibleUnits(), std::vector<std::string>{""});
  EXPECT_EQ(mag->displayUnits(), "");
  mag->setDisplayUnits("mm");
  EXPECT_EQ(mag->displayUnits(), "");
  mag->setValue(3);
  EXPECT_EQ(mag->displayValue(), 3);

  auto track = MeritoidKeyPath::makeKind("Total Track", "lens.totalTrack");
  EXPECT_FALSE(track->isDimensionless());
  EXPECT_EQ(track->possibleUnits().size(), 9u);
  track->setDisplayUnits("furlong");
  EXPECT_EQ(track->displayUnits(), "mm");
  track->setDisplayUnits("cm");
  track->setValue(250);  // mm
  track->setTarget(20);  // cm
  track->setTolerance(1);
  EXPECT_DOUBLE_EQ(track->displayValue(), 25);
  EXPECT_DOUBLE_EQ(track->residual().asDouble(), 5);
}

TEST(MeritoidResidualTest, ResidualContributionAndExclusion) {
  auto m = counting(3, 1, 0.5);
  m->evaluate();
  EXPECT_DOUBLE_EQ(m->residual().asDouble(), 4);
  EXPECT_DOUBLE_EQ(m->contribution(), 8);
  m->setIncluded(false);
  EXPECT_EQ(m->residual().asDouble(), 0);
  EXPECT_EQ(m->contribution(), 0);
}

TEST(MeritoidResidualTest, ToleranceMustBePositive) {
  auto m = counting(3, 1, 0.5);
  for (double bad : {0.0, -1.0, std::nan("")}) {
    m->setTolerance(bad);
    m->setValueForKey("tolerance", bad);
    EXPECT_EQ(m->tolerance(), 0.5) << bad;
  }
}

TEST(MeritoidResidualTest, StoredZeroToleranceIsExcludedWithAMessage) {
  // An old document may hold a tolerance of 0; decoding keeps it, the operand stands aside.
  struct ZeroTolerance : platform::Coder {
    bool allowsKeyedCoding() const override { return true; }
    bool containsValueForKey(std::string_view key) const override { return key == "tolerance" || key == "target"; }
    Value decodeObject(std::string_view key) const override { return key == "tolerance" ? Value(0.0) : Value(100.0); }
  } coder;
  auto decoded = Meritoid::make<MeritoidKeyPath>();
  decoded->setScript("lens.focalLength");
  decoded->initWithCoder(coder);
  EXPECT_EQ(decoded->tolerance(), 0);
  EXPECT_EQ(decoded->target(), 100);
  decoded->setLens(testing::singletLens(0.01, false));
  decoded->evaluate();
  EXPECT_EQ(decoded->residual().asDouble(), 0);
  EXPECT_EQ(decoded->contribution(), 0);
  EXPECT_EQ(decoded->message(), kToleranceNotPositiveMessage);
}

TEST(MeritFunctionTest, EmptyFunctionIsZeroWithEmptySummary) {
  auto f = MeritFunction::create();
  EXPECT_EQ(f->name(), "untitled");
  f->evaluate();
  EXPECT_EQ(f->doubleValue(), 0);
  EXPECT_TRUE(f->contributionSummary().empty());
}

TEST(MeritFunctionTest, SumAndImportance) {
  auto f = MeritFunction::create();
  auto a = counting(2, 0, 1);   // contribution 2
  auto b = counting(4, 0, 1);   // contribution 8
  auto c = counting(0, 0, 1);   // 0
  for (const auto& m : {a, b, c}) f->addMeritoid(m);
  f->evaluateAllMeritoids();
  EXPECT_DOUBLE_EQ(f->doubleValue(), 10);
  EXPECT_DOUBLE_EQ(a->importance(), 0.25);
  EXPECT_DOUBLE_EQ(b->percentile(), 100);
  EXPECT_EQ(c->importance(), 0);
  for (const auto& m : {a, b}) m->setIncluded(false);
  f->evaluateAllMeritoids();
  for (const auto& m : {a, b, c}) EXPECT_EQ(m->importance(), 0);
  ASSERT_EQ(f->contributionSummary().size(), 3u);
  EXPECT_EQ(f->contributionSummary()[1].asDictionary().get("identifier"), Value("count"));
}

TEST(MeritFunctionTest, TargetEditReTotalsWithoutReMeasuring) {
  auto f = MeritFunction::create();
  auto a = counting(2, 0, 1);
  f->addMeritoid(a);
  f->setLens(testing::singletLens(0.01, false));
  f->evaluate();
  EXPECT_EQ(a->evaluations, 1);
  EXPECT_FALSE(f->needsEvaluation());
  a->setTarget(1);
  EXPECT_TRUE(f->needsEvaluation());
  f->evaluate();
  EXPECT_EQ(a->evaluations, 1);
  EXPECT_DOUBLE_EQ(f->doubleValue(), 0.5);
  f->setLens(f->lens());  // a lens hand-over re-measures
  f->evaluate();
  EXPECT_EQ(a->evaluations, 2);
}

TEST(MeritFunctionTest, ResidualsAreFlatInOperandOrder) {
  auto f = MeritFunction::create();
  auto first = counting(3, 0, 1);
  auto rays = Meritoid::make<ArrayMeritoid>();
  rays->entries = {1, 2, 3};
  f->addMeritoid(first);
  f->addMeritoid(rays);
  f->evaluateAllMeritoids();
  EXPECT_EQ(f->residuals(), (std::vector<double>{3, 1, 2, 3}));
  EXPECT_EQ(f->residualsUnmerged().size(), 2u);
  EXPECT_TRUE(f->residualsUnmerged()[1].isArray());
  EXPECT_DOUBLE_EQ(f->doubleValue(), 0.5 * (9 + 1 + 4 + 9));
}

TEST(MeritFunctionEvaluatorTest, BurstOfEditsGivesOneEvaluation) {
  platform::RunLoop::main().runUntilIdle();
  auto f = MeritFunction::create();
  auto a = counting(2, 0, 1);
  f->addMeritoid(a);
  f->setLens(testing::singletLens(0.01, false));
  auto evaluator = MeritFunctionEvaluator::create(f);
  platform::RunLoop::main().runUntilIdle();
  EXPECT_EQ(a->evaluations, 1);  // evaluated as soon as an editor opens it
  int totals = 0;
  auto watch = f->addObserver("doubleValue", [&](const platform::ObservedChange&) { ++totals; });
  a->setTarget(1);
  a->setTolerance(0.5);
  a->setNeedsEvaluation(true);
  a->setIncluded(true);
  EXPECT_EQ(totals, 0);
  platform::RunLoop::main().runUntilIdle();
  EXPECT_EQ(a->evaluations, 2);
  EXPECT_EQ(totals, 1);
  EXPECT_DOUBLE_EQ(f->doubleValue(), 2);
}

TEST(MeritFunctionArchiveTest, RoundTripKeepsNameOperandsAndSettings) {
  testing::singletLens(0.01, false);
  auto f = MeritFunction::create();
  f->setName("focus");
  auto focal = MeritoidKeyPath::makeKind("Focal Length", "lens.focalLength");
  focal->setTarget(100);
  focal->setTolerance(0.02);
  focal->setDisplayUnits("cm");
  focal->setNumber(3);
  focal->setResidualFilter("Upper bound");
  focal->setIncluded(false);
  focal->setColor(platform::Color::make(1, 0, 0));
  f->addMeritoid(focal);
  f->addMeritoid(MeritoidKeyPath::makeKind("Petzval Sum", "lens.petzvalSum"));

  auto data = platform::KeyedArchiver::archivedDataWithRootObject(Value(f));
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<MeritFunction>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->name(), "focus");
  ASSERT_EQ(back->countOfMeritoidArray(), 2u);
  auto m = std::dynamic_pointer_cast<MeritoidKeyPath>(back->objectInMeritoidArrayAtIndex(0));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->identifier(), "Focal Length");
  EXPECT_EQ(m->script(), "lens.focalLength");
  EXPECT_EQ(m->target(), 100);
  EXPECT_EQ(m->tolerance(), 0.02);
  EXPECT_EQ(m->displayUnits(), "cm");
  EXPECT_EQ(m->number(), 3);
  EXPECT_EQ(m->residualFilter(), "Upper bound");
  EXPECT_FALSE(m->included());
  EXPECT_EQ(m->color()->red(), 1);
  EXPECT_EQ(std::dynamic_pointer_cast<MeritoidKeyPath>(back->objectInMeritoidArrayAtIndex(1))->script(),
            "lens.petzvalSum");
}

TEST(MeritFunctionArchiveTest, EveryOperandKindKeepsItsSettings) {
  testing::singletLens(0.01, false);
  auto rms = Meritoid::make<MeritoidRMS>();
  rms->setAnalysisDirection("y");
  rms->setNumberOfRays(37);
  rms->setHy(0.7);
  auto opd = Meritoid::make<MeritoidRMSOPD>();
  opd->setUseCentroidAsReference(false);
  opd->setMonochromatic(true);
  auto trace = Meritoid::make<MeritoidTrace>();
  trace->setValueKey("uy");
  trace->setPupilSpecifier("tangent");
  auto acceptance = Meritoid::make<MeritoidAcceptance>();
  acceptance->setCutoff(0.4);
  acceptance->setOrdinate("Sphere fraction");
  auto emitter = Meritoid::make<MeritoidEmitterEfficiency>();
  emitter->setCircleRadius(2.5);
  emitter->setEmitterNumber(3);
  auto f = MeritFunction::create();
  for (const MeritoidPtr& m : std::vector<MeritoidPtr>{rms, opd, trace, acceptance, emitter}) f->addMeritoid(m);
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(
                  platform::KeyedArchiver::archivedDataWithRootObject(Value(f)))
                  .asObject<MeritFunction>();
  ASSERT_EQ(back->countOfMeritoidArray(), 5u);
  auto rms2 = std::dynamic_pointer_cast<MeritoidRMS>(back->objectInMeritoidArrayAtIndex(0));
  ASSERT_TRUE(rms2);
  EXPECT_EQ(rms2->analysisDirection(), "y");
  EXPECT_EQ(rms2->numberOfRays(), 37u);
  EXPECT_EQ(rms2->Hy(), 0.7);
  EXPECT_EQ(rms2->displayUnits(), "\u00b5m");
  auto opd2 = std::dynamic_pointer_cast<MeritoidRMSOPD>(back->objectInMeritoidArrayAtIndex(1));
  ASSERT_TRUE(opd2);
  EXPECT_FALSE(opd2->useCentroidAsReference());
  EXPECT_TRUE(opd2->monochromatic());
  auto trace2 = std::dynamic_pointer_cast<MeritoidTrace>(back->objectInMeritoidArrayAtIndex(2));
  ASSERT_TRUE(trace2);
  EXPECT_EQ(trace2->valueKey(), "uy");
  EXPECT_EQ(trace2->pupilSpecifier(), "tangent");
  auto acceptance2 = std::dynamic_pointer_cast<MeritoidAcceptance>(back->objectInMeritoidArrayAtIndex(3));
  ASSERT_TRUE(acceptance2);
  EXPECT_EQ(acceptance2->cutoff(), 0.4);
  EXPECT_EQ(acceptance2->ordinate(), "Sphere fraction");
  auto emitter2 = std::dynamic_pointer_cast<MeritoidEmitterEfficiency>(back->objectInMeritoidArrayAtIndex(4));
  ASSERT_TRUE(emitter2);
  EXPECT_EQ(emitter2->circleRadius(), 2.5);
  EXPECT_EQ(emitter2->emitterNumber(), 3);
}

TEST(MeritFunctionArchiveTest, OnlyKeyedCodersAreAccepted) {
  struct PlainCoder : platform::Coder {
  } coder;
  auto m = Meritoid::make<Meritoid>();
  try {
    m->encodeWithCoder(coder);
    FAIL() << "a plain coder was accepted";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_EQ(e.reason(), "Class only supports NSKeyedArchiver coders");
  }
  EXPECT_THROW(MeritFunction::create()->encodeWithCoder(coder), platform::Exception);
}

TEST(MeritFunctionArchiveTest, OldScriptOperandsOpenAsKeyPathOperands) {
  testing::singletLens(0.01, false);
  struct Case {
    const char* stored;
    const char* keyPath;
  } cases[] = {
      {"(S at: S count iota ~= 0) thickness \\ #+", "lens.totalTrack"},
      {"S petzvalTerm \\ #+", "lens.petzvalSum"},
      {"(S at: (S glass ~= nil)) edgeThickness \\ #min:", "lens.edgeThickness"},
      {"(S at: (S glass ~= nil)) thickness \\ #min:", "lens.glassThickness"},
      {"lens focalLength", "lens.focalLength"},
  };
  for (const auto& c : cases) {
    auto f = MeritFunction::create();
    auto old = Meritoid::make<MeritoidFScript>();
    old->setIdentifier("Petzval Sum");
    old->setScript(c.stored);
    old->setTarget(0.25);
    f->addMeritoid(old);
    auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(
                    platform::KeyedArchiver::archivedDataWithRootObject(Value(f)))
                    .asObject<MeritFunction>();
    auto m = back->objectInMeritoidArrayAtIndex(0);
    EXPECT_EQ(m->className(), "MeritoidKeyPath") << c.stored;
    EXPECT_EQ(std::static_pointer_cast<MeritoidKeyPath>(m)->script(), c.keyPath);
    EXPECT_EQ(m->target(), 0.25);
    EXPECT_EQ(m->identifier(), "Petzval Sum");
  }
}

TEST(MeritoidKindChangeTest, SharedValuesSurviveAChangeOfKind) {
  auto lens = testing::singletLens(0.01, false);
  auto plain = counting(1, 5, 0.2);
  plain->setLens(lens);
  plain->setNumber(4);
  plain->setIncluded(false);
  plain->setDisplayUnits("cm");
  auto changed = Meritoid::make<MeritoidKeyPath>();
  changed->initWithMeritoid(*plain);
  EXPECT_EQ(changed->target(), 5);
  EXPECT_EQ(changed->tolerance(), 0.2);
  EXPECT_EQ(changed->number(), 4);
  EXPECT_FALSE(changed->included());
  EXPECT_EQ(changed->displayUnits(), "cm");
  EXPECT_EQ(changed->identifier(), "count");
  EXPECT_EQ(changed->lens(), lens);
  EXPECT_EQ(changed->residualFilter(), "Target");
}

}  // namespace
}  // namespace orb::optimisation
