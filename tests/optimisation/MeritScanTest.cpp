#include "optimisation/CalcMeritVsParameter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "OptimisationTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "optimisation/MeritoidKeyPath.h"

namespace orb::optimisation {
namespace {

using analysis::SeriesValue;
using testing::TempDefaults;

MeritFunctionPtr trackMerit() {
  auto f = MeritFunction::create();
  f->setName("track");
  auto track = MeritoidKeyPath::makeKind("Total Track", "lens.totalTrack");
  track->setTolerance(1);
  f->addMeritoid(track);
  return f;
}

struct MeritScanTest : ::testing::Test {
  void SetUp() override { platform::RunLoop::main().runUntilIdle(); }
  void scan(CalcMeritVsParameter& c) {
    c.startCalculation();
    ASSERT_TRUE(testing::pumpUntil([&] { return !c.isBusy(); }));
    platform::RunLoop::main().runUntilIdle();
  }
  static const foundation::VKSeries& series(const platform::Dictionary& curve, const char* key) {
    return *SeriesValue::from(curve.get(key));
  }
  TempDefaults defaults;
};

TEST_F(MeritScanTest, SweepsNominalPlusMinusDeltaWithBothEnds) {
  auto lens = testing::singletLens(0.01, false);
  auto merit = trackMerit();
  auto c = CalcMeritVsParameter::create(*defaults);
  c->setLens(lens);
  c->setMeritFunction(merit);
  c->setConstructionKeyPath("s2.thickness");
  EXPECT_TRUE(c->keyPathIsValid());
  EXPECT_TRUE(c->keyPathIsMutable());
  EXPECT_EQ(c->nominalValue(), 97);
  EXPECT_EQ(c->xLabel(), "s2.thickness");
  scan(*c);
  ASSERT_TRUE(c->plotDictionary().has_value()) << c->interpreterError();
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get("title"), platform::Value("Merit function total scan"));
  const auto& curve = plot.get("curves").asArray().at(0).asDictionary();
  const auto& x = series(curve, "xSeries");
  const auto& y = series(curve, "ySeries");
  ASSERT_EQ(x.count(), 21u);
  for (std::size_t i = 0; i < 21; ++i) {
    EXPECT_NEAR(x.at(i), 96.9 + 0.01 * static_cast<double>(i), 1e-12);
    const double track = 4 + x.at(i);  // thicknesses after the object surface
    EXPECT_NEAR(y.at(i), 0.5 * track * track, 1e-6);
  }
  EXPECT_EQ(testing::curvatureOf(*lens, 1), 0.01);
  EXPECT_EQ(lens->valueForKeyPath("s2.thickness").asDouble(), 97);  // the document's lens is not swept

  // The other views redraw from the stored result.
  c->setNumberOfPoints(1000);
  c->setCalculationTypeTag(1);
  const auto& residuals = c->plotDictionary()->get("curves").asArray();
  ASSERT_EQ(residuals.size(), 1u);
  EXPECT_NEAR(series(residuals[0].asDictionary(), "ySeries").at(20), 4 + 97.1, 1e-9);
  EXPECT_EQ(residuals[0].asDictionary().get("yLabel"), platform::Value("residual 0 (Total Track)"));
  c->setCalculationTypeTag(2);
  EXPECT_EQ(c->plotDictionary()->get("yLabel"), platform::Value("Total Track"));
  EXPECT_EQ(c->plotDictionary()->get("title"), platform::Value("Merit function values scan"));
}

TEST_F(MeritScanTest, ExcludedOperandsDrawNoCurveAndFailedPointsAreNaN) {
  auto lens = testing::singletLens(0.01, false);
  auto merit = trackMerit();
  merit->objectInMeritoidArrayAtIndex(0)->setIncluded(false);
  merit->addMeritoid(MeritoidKeyPath::makeKind("Broken", "lens.noSuchQuantity"));
  auto c = CalcMeritVsParameter::create(*defaults);
  c->setLens(lens);
  c->setMeritFunction(merit);
  c->setConstructionKeyPath("s2.thickness");
  c->setNumberOfPoints(3);
  scan(*c);
  const auto& total = c->plotDictionary()->get("curves").asArray().at(0).asDictionary();
  for (double v : series(total, "ySeries")) EXPECT_TRUE(std::isnan(v));
  c->setCalculationTypeTag(2);
  const auto& terms = c->plotDictionary()->get("curves").asArray();
  ASSERT_EQ(terms.size(), 1u);
  EXPECT_EQ(terms[0].asDictionary().get("name"), platform::Value("Broken"));
}

TEST_F(MeritScanTest, RefusalsAndDeltaMemory) {
  auto c = CalcMeritVsParameter::create(*defaults);
  EXPECT_EQ(c->keyPathsForVariables(), std::vector<std::string>{"NO LENS"});
  c->startCalculation();
  EXPECT_EQ(c->interpreterError(), "No lens");
  EXPECT_FALSE(c->isBusy());

  (*defaults).setObject(kMeritPlotDeltaDictionaryKey, platform::Dictionary{{"thickness", 0.5}});
  auto lens = testing::singletLens(0.01);
  c->setLens(lens);
  EXPECT_EQ(c->constructionKeyPath(), "s1.curvature");  // the first variable is offered
  c->setMeritFunction(trackMerit());
  c->setConstructionKeyPath("s2.thickness");
  EXPECT_EQ(c->delta(), 0.5);
  int writes = 0;
  auto watch = (*defaults).addObserver(kMeritPlotDeltaDictionaryKey, [&](const platform::ObservedChange&) { ++writes; });
  c->setDelta(0.5);
  EXPECT_EQ(writes, 0);
  c->setNumberOfPoints(0);
  c->startCalculation();
  EXPECT_EQ(c->interpreterError(), "Number of points must be at least 1");
  c->setConstructionKeyPath("s9.thickness");
  EXPECT_FALSE(c->keyPathIsValid());
  c->setNumberOfPoints(5);
  c->startCalculation();
  EXPECT_EQ(c->interpreterError(), "Key path is invalid");
}

}  // namespace
}  // namespace orb::optimisation
