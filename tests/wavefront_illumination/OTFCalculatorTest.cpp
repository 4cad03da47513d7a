#include <gtest/gtest.h>

#include <algorithm>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "platform/Object.h"
#include "wavefront_illumination/OTFCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using platform::Dictionary;
using platform::Value;

std::shared_ptr<OTFCalculator> otfWith(const analysis::LensPtr& lens) {
  auto c = platform::makeObject<OTFCalculator>();
  if (lens) c->setLens(lens);
  return c;
}

// The diffraction-limited MTF of a circular pupil, by its published values at
// u = ν/ν_c, and through a lens at F/5 and 0.55 µm, whose cut-off is 363.64 cycles/mm:
// each range ending at u·ν_c ends the reference curve on the published value.
TEST(OTFCalculator, DiffractionLimitedMTFOfACircularPupil) {
  struct Row {
    double u, mtf;
  };
  const Row rows[] = {{0, 1},          {0.1, 0.87289},  {0.25, 0.68504}, {0.5, 0.39100},
                      {0.75, 0.14429}, {0.9, 0.03739},  {1, 0},          {1.3, 0}};
  auto calculator = otfWith(paraboloidF5());
  EXPECT_NEAR(calculator->diffractionLimitSpatialFrequency(), 363.64, 0.005);
  EXPECT_NEAR(calculator->diffractionLimitSpatialFrequencyInUserUnits(), 363.64, 0.005);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.u);
    EXPECT_NEAR(OTFCalculator::diffractionLimitedMTF(2 * r.u), r.mtf, 5e-6);
    EXPECT_NEAR(OTFCalculator::diffractionLimitedMTF(-2 * r.u), r.mtf, 5e-6);  // even in ν
    calculator->setMaximumSpatialFrequency(r.u * kCutoffF5);
    const auto curve = calculator->curveForDiffractionLimitedMTF();
    ASSERT_TRUE(curve);
    const auto& x = seriesOf(Value(*curve), analysis::plot::kXSeries);
    const auto& y = seriesOf(Value(*curve), analysis::plot::kYSeries);
    ASSERT_EQ(x.count(), 100u);
    EXPECT_EQ(x.at(99), r.u * kCutoffF5);  // the last abscissa is the maximum exactly
    EXPECT_NEAR(y.at(99), r.mtf, 5e-6);
    EXPECT_NEAR(y.at(50), circularPupilMTF(r.u * 50 / 99), 1e-12);
  }
}

// S(x) = 3π·H₁(x)/(2x²) against the Struve function evaluated to 30 digits elsewhere,
// across the change of method at |x| = 20; past √1000 the tail is small, not zero.
TEST(OTFCalculator, NormalisedStruveFunction) {
  struct Row {
    double x, s;
  };
  const Row rows[] = {{0, 1},
                      {1, 0.935208164194542},
                      {5, 0.152268964463323},
                      {10, 0.0420266160809532},
                      {20, 0.00556872647702789},
                      {20.5, 0.00590094349585301},
                      {31, 0.00286326600225195},
                      {31.7, 0.00240173638804699},
                      {-31.7, 0.00240173638804699},
                      {40, 0.00185910641478032},
                      {100, 0.000290429765154777}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.x);
    EXPECT_NEAR(OTFCalculator::struvesFunctionAt(r.x), r.s, 1e-9);
  }
}

// The line-spread reference spans ±5λN with the argument 2πx/(λN).
TEST(OTFCalculator, DiffractionLimitedLineSpread) {
  auto calculator = otfWith(paraboloidF5());
  const auto curve = calculator->curveForDiffractionLimitedLSF();
  ASSERT_TRUE(curve);
  const auto& x = seriesOf(Value(*curve), analysis::plot::kXSeries);
  const auto& y = seriesOf(Value(*curve), analysis::plot::kYSeries);
  ASSERT_EQ(x.count(), 201u);
  EXPECT_NEAR(x.at(0), -5 * kLambdaNF5, 1e-12);
  EXPECT_NEAR(x.at(200), 5 * kLambdaNF5, 1e-12);
  EXPECT_NEAR(y.at(100), 1, 1e-12);
  for (std::size_t i : {0u, 37u, 150u})
    EXPECT_NEAR(y.at(i), OTFCalculator::struvesFunctionAt(2 * M_PI * x.at(i) / kLambdaNF5), 1e-12);
  EXPECT_EQ(curve->get(analysis::plot::kName).asString(), "Struve's diffraction limit");
  // No lens, no scale: no curve rather than one of infinite width.
  EXPECT_FALSE(otfWith(nullptr)->curveForDiffractionLimitedLSF());
  EXPECT_FALSE(otfWith(nullptr)->curveForDiffractionLimitedMTF());
}

TEST(OTFCalculator, PhysicalRangeAndHandSetRange) {
  auto calculator = otfWith(paraboloidF5());
  EXPECT_EQ(calculator->maximumSpatialFrequency(), 20.0);
  EXPECT_EQ(calculator->spatialFrequencyUnits(), "cycles/mm");
  int announced = 0;
  auto watch = calculator->addObserver("maximumSpatialFrequency", [&](const platform::ObservedChange&) { ++announced; });
  calculator->setPlotSpatialFrequencyPhysicalRange(true);
  EXPECT_TRUE(calculator->plotSpatialFrequencyPhysicalRange());
  EXPECT_NEAR(calculator->maximumSpatialFrequency(), 363.64, 0.005);
  EXPECT_GT(announced, 0);
  // The maximum's observers hear the physical-range flag, and no key of another analysis.
  const auto& dependents = OTFCalculator::classKeys().dependentsOf("plotSpatialFrequencyPhysicalRange");
  EXPECT_NE(std::find(dependents.begin(), dependents.end(), "maximumSpatialFrequency"), dependents.end());
  EXPECT_TRUE(OTFCalculator::classKeys().dependentsOf("plotEntirePhysicalRange").empty());
  calculator->setMinimumSpatialFrequency(1);
  EXPECT_FALSE(calculator->plotSpatialFrequencyPhysicalRange());
  calculator->setPlotSpatialFrequencyPhysicalRange(true);
  calculator->setMaximumSpatialFrequency(50);
  EXPECT_FALSE(calculator->plotSpatialFrequencyPhysicalRange());

  // Without a lens there is no cut-off: the maximum stays rather than become infinite.
  auto alone = otfWith(nullptr);
  alone->setPlotSpatialFrequencyPhysicalRange(true);
  EXPECT_EQ(alone->maximumSpatialFrequency(), 20.0);
}

TEST(OTFCalculator, RangeStaysPhysicallyTheSame) {
  auto calculator = otfWith(paraboloidF5());
  calculator->setMinimumSpatialFrequency(2);
  calculator->setUnits("micron");  // 20 cycles/mm is 0.02 cycles/µm
  EXPECT_NEAR(calculator->maximumSpatialFrequency(), 0.02, 1e-15);
  EXPECT_NEAR(calculator->minimumSpatialFrequency(), 0.002, 1e-15);
  EXPECT_EQ(calculator->spatialFrequencyUnits(), "cycles/micron");
  calculator->setUnits("mm");
  EXPECT_NEAR(calculator->maximumSpatialFrequency(), 20, 1e-12);

  // The physical range survives a change of units: the maximum is the cut-off again.
  calculator->setPlotSpatialFrequencyPhysicalRange(true);
  calculator->setUnits("micron");
  EXPECT_TRUE(calculator->plotSpatialFrequencyPhysicalRange());
  EXPECT_NEAR(calculator->maximumSpatialFrequency(), 0.36364, 5e-6);
}

// A convex mirror of radius 100 has a focal length of −50: 20 cycles/mm over an angle
// are 20·50 = 1000 cycles/rad, shown as 1 cycle/mrad; switching back restores them.
TEST(OTFCalculator, DivideByFocalLengthConvertsThroughItsMagnitude) {
  auto lens = mirrorLens(100, 0);
  ASSERT_NEAR(tracing::focalLength(*lens), -50, 1e-9);
  auto calculator = otfWith(lens);
  calculator->setDivideByFocalLength(true);
  EXPECT_EQ(calculator->units(), "mrad");
  EXPECT_NEAR(calculator->maximumSpatialFrequency(), 1.0, 1e-12);
  calculator->setDivideByFocalLength(true);  // unchanged: nothing converts
  EXPECT_NEAR(calculator->maximumSpatialFrequency(), 1.0, 1e-12);
  calculator->setDivideByFocalLength(false);
  EXPECT_EQ(calculator->units(), "micron");
  EXPECT_NEAR(calculator->maximumSpatialFrequency(), 0.02, 1e-15);

  // Without a lens there is no focal length to convert by: the numbers stay finite.
  auto alone = otfWith(nullptr);
  alone->setDivideByFocalLength(true);
  EXPECT_EQ(alone->maximumSpatialFrequency(), 20.0);
}

// Saved settings hold numbers already in the saved units: restoring them in any key
// order (a property list sorts its keys) gives them back unconverted.
TEST(OTFCalculator, RestorationDoesNotConvertSavedNumbers) {
  auto saved = otfWith(paraboloidF5());
  saved->setUnits("micron");
  saved->setMinimumSpatialFrequency(0.001);
  saved->setMaximumSpatialFrequency(0.05);
  saved->setPlotDiffractionLimit(true);
  const Dictionary data = saved->restorationDictionary();
  for (const char* key : {"minimumSpatialFrequency", "maximumSpatialFrequency", "plotDiffractionLimit",
                          "plotSpatialFrequencyPhysicalRange", "plotComplex", "units"})
    EXPECT_TRUE(data.contains(Value(key))) << key;

  Dictionary sorted{{"maximumSpatialFrequency", data.get("maximumSpatialFrequency")},
                    {"minimumSpatialFrequency", data.get("minimumSpatialFrequency")},
                    {"plotDiffractionLimit", data.get("plotDiffractionLimit")},
                    {"units", data.get("units")}};
  auto restored = otfWith(paraboloidF5());
  restored->applyRestorationDictionary(sorted);
  EXPECT_EQ(restored->units(), "micron");
  EXPECT_EQ(restored->minimumSpatialFrequency(), 0.001);
  EXPECT_EQ(restored->maximumSpatialFrequency(), 0.05);
  EXPECT_TRUE(restored->plotDiffractionLimit());
  // After restoring, a change of units converts again.
  restored->setUnits("mm");
  EXPECT_NEAR(restored->maximumSpatialFrequency(), 50, 1e-12);
}

TEST(OTFCalculator, FanTypes) {
  const auto types = otfWith(nullptr)->possibleFanTypes();
  EXPECT_EQ(types, (std::vector<std::string>{"random", "hexapolar", "golden", "spiral", "square", "centered fft"}));
}

}  // namespace
}  // namespace orb::wavefront
