#include "analysis/RaysCalculator.h"

#include <gtest/gtest.h>

#include "RayAnalysisTestSupport.h"
#include "analysis/RaysAtSurfaceCalculator.h"

namespace orb::analysis {
namespace {

using testing::mirrorLens;

std::shared_ptr<RaysCalculator> raysCalculator() { return platform::makeObject<RaysCalculator>(); }

TEST(RaysCalculatorTest, RayCountsFollowThePatternQuanta) {
  struct Case {
    const char* fan;
    std::uint64_t asked, synchronised, quantum;
    const char* comment;
  };
  const std::vector<Case> cases{
      {"hexapolar", 10, 19, 2, "hex(2)"}, {"square", 10, 16, 4, "4 x 4"}, {"hexapolar", 0, 1, 0, "hex(0)"},
      {"spiral", 1, 1, 0, "hex(0)"},      {"random", 127, 127, 6, "hex(6)"}, {"x-fan", 10, 10, 10, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fan) + " " + std::to_string(c.asked));
    auto calculator = raysCalculator();
    calculator->setFanType("x-fan");
    calculator->setNumberOfRays(c.asked);
    calculator->setFanType(c.fan);
    EXPECT_EQ(calculator->numberOfRays(), c.synchronised);
    EXPECT_EQ(calculator->numberOfRaysQuantum(), c.quantum);
    EXPECT_EQ(calculator->patternComment(), c.comment);
    // The square grid fills the disc with its own count; the others give the count.
    if (std::string(c.fan) != "square") {
      EXPECT_EQ(calculator->pupilCoordinatesForRealRays().size(), c.synchronised);
    }
  }
  auto calculator = raysCalculator();
  calculator->setNumberOfRaysQuantum(3);  // hexapolar: 3 rings
  EXPECT_EQ(calculator->numberOfRays(), 37u);
}

TEST(RaysCalculatorTest, FanTypesByNameAndTag) {
  auto calculator = raysCalculator();
  calculator->setFanType("no such fan");
  EXPECT_EQ(calculator->fanType(), "x-fan");
  calculator->setFanTypeTag(12);
  EXPECT_EQ(calculator->fanType(), "y-fan");
  calculator->setFanTypeTag(8);
  EXPECT_EQ(calculator->fanType(), "x-fan minus");
  EXPECT_TRUE(calculator->curvesAreContinuous());

  calculator->setFanType("x-fan");
  calculator->setNumberOfRays(5);
  std::vector<double> xs;
  for (const auto& p : calculator->pupilCoordinatesForRealRays()) {
    xs.push_back(p.x);
    EXPECT_EQ(p.y, 0);
  }
  EXPECT_EQ(xs, (std::vector<double>{-1, -0.5, 0, 0.5, 1}));
}

TEST(RaysCalculatorTest, FirstTimeChoosesFromTheLens) {
  auto lens = mirrorLens(-200, -1);
  for (double microns : {0.5, 0.6}) {
    auto w = lens::Wave::wave();
    w->setWavelengthInMicrons(microns);
    lens->insertObjectInWaveArrayAtIndex(w, lens->countOfWaveArray());
  }
  auto calculator = raysCalculator();
  calculator->firstTimeWithLens(lens);
  calculator->setLens(lens);
  // One field, three waves: coloured by wave, all waves analysed.
  EXPECT_EQ(calculator->rayColorOption(), "wave");
  EXPECT_EQ(calculator->wavesOfInterest().size(), 3u);
  EXPECT_EQ(calculator->fieldOfInterestKeyPath(), "f0");
  EXPECT_EQ(calculator->surfaceOfInterest(), lens->imageSurface());

  auto twoFields = mirrorLens(-200, -1, {0, 1});
  auto other = raysCalculator();
  other->firstTimeWithLens(twoFields);
  other->setLens(twoFields);
  EXPECT_EQ(other->rayColorOption(), "field");
  EXPECT_EQ(other->waveOfInterest(), twoFields->primaryWave());
}

TEST(RaysCalculatorTest, KeyPathsFollowRenamesAndRestoreAsIndexes) {
  auto lens = mirrorLens(-200, -1, {0, 1});
  auto calculator = raysCalculator();
  calculator->setLens(lens);
  calculator->setFieldOfInterestKeyPath("f0");
  calculator->setSurfaceOfInterestKeyPath("s1");
  calculator->setLensKeyPathUpdateDictionary(platform::Dictionary{{"f0", "f1"}, {"w3", "w4"}});
  EXPECT_EQ(calculator->fieldOfInterestKeyPath(), "f1");
  EXPECT_EQ(calculator->surfaceOfInterestKeyPath(), "s1");  // no entry for it
  EXPECT_EQ(calculator->fieldOfInterest(), lens->fieldArray()[1]);

  calculator->setNumberOfRays(61);
  const platform::Dictionary saved = calculator->restorationDictionary();
  EXPECT_EQ(saved.get("indexOfFieldOfInterest").asInt(), 1);
  EXPECT_EQ(saved.get("indexOfWaveOfInterest").asInt(), kNotFound);
  auto restored = raysCalculator();
  restored->setLens(lens);
  restored->applyRestorationDictionary(saved);
  EXPECT_EQ(restored->fieldOfInterestKeyPath(), "f1");
  EXPECT_EQ(restored->surfaceOfInterestKeyPath(), "s1");
  EXPECT_EQ(restored->numberOfRays(), 61u);

  restored->applyRestorationDictionary(platform::Dictionary{{"indexOfFieldOfInterest", kNotFound}});
  EXPECT_EQ(restored->fieldsOfInterest().size(), 2u);  // none chosen: all fields
  restored->setIndexOfSurfaceOfInterest(kNotFound32);
  EXPECT_EQ(restored->surfaceOfInterest(), lens->imageSurface());
}

TEST(RaysCalculatorTest, CalculationWaitsForAReadyLens) {
  auto lens = mirrorLens(-200, -1);
  lens->setIsReady(false);
  auto calculator = raysCalculator();
  calculator->setLens(lens);
  EXPECT_FALSE(calculator->workCanStart());
  calculator->setNeedsCalculation(true);
  calculator->calculate();
  EXPECT_TRUE(calculator->needsCalculation());  // left for the ready lens
  EXPECT_FALSE(calculator->rays());
}

TEST(RaysAtSurfaceCalculatorTest, UnitsFollowTheKindOfResult) {
  auto c = platform::makeObject<RaysAtSurfaceCalculator>();
  EXPECT_EQ(c->units(), "mm");
  c->setAfocal(true);
  EXPECT_EQ(c->units(), "mrad");
  c->setAfocal(false);
  EXPECT_EQ(c->units(), "micron");
  EXPECT_EQ(RaysAtSurfaceCalculator::scaleForUnits("arcsec"), 206265);
  EXPECT_EQ(RaysAtSurfaceCalculator::scaleForUnits("milli"), 1000);
  EXPECT_EQ(RaysAtSurfaceCalculator::scaleForUnits("furlong"), 0);

  c->setSubtractFieldGrid(true);
  EXPECT_FALSE(c->subtractCentroid());
  c->setSubtractCentroid(true);
  EXPECT_FALSE(c->subtractFieldGrid());
  c->setPlotTight(true);  // nothing published: only the setting changes
  EXPECT_TRUE(c->plotTight());
  EXPECT_FALSE(c->plotDictionary());
}

// Rays from a line of points at z = 0 all aimed at (0, 0, 5): the plane of least spread
// is 5 further on. One ray, or parallel rays, have no such plane (mended: no 0/0).
TEST(RaysAtSurfaceCalculatorTest, FocusEstimate) {
  std::vector<tracing::Ray> rays;
  for (double x : {-2.0, -1.0, 0.5, 3.0}) rays.emplace_back(foundation::XYZ{x, x / 2, 0}, foundation::XYZ{-x, -x / 2, 5}, 1);
  const auto d = RaysAtSurfaceCalculator::estimatedDistanceToFocus(rays, 1, 1);
  ASSERT_TRUE(d);
  EXPECT_NEAR(*d, 5, 1e-12);

  EXPECT_FALSE(RaysAtSurfaceCalculator::estimatedDistanceToFocus(std::span(rays).first(1), 1, 1));
  std::vector<tracing::Ray> parallel{{{0, 0, 0}, {0, 0, 1}, 1}, {{1, 0, 0}, {0, 0, 1}, 1}};
  EXPECT_FALSE(RaysAtSurfaceCalculator::estimatedDistanceToFocus(parallel, 1, 1));
  EXPECT_FALSE(RaysAtSurfaceCalculator::transverseCentroidOfRays({}));
}

}  // namespace
}  // namespace orb::analysis
