#include <gtest/gtest.h>

#include "ExpectRaises.h"
#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "foundation/quadrature/SpecialFunctions.h"
#include "wavefront_illumination/FGOTFCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using analysis::plot::kName;
using analysis::plot::kXSeries;
using analysis::plot::kYSeries;
using platform::Value;

// The one curve of that name, or none.
std::optional<platform::Dictionary> curveNamed(const platform::Array& curves, const std::string& name) {
  auto found = curvesNamed(curves, name);
  if (found.size() != 1) return std::nullopt;
  return found.front();
}

// The calibration curve is 2·J₁(a)/a with a = 2π·f·NA·z: for 10 cycles/mm at NA 0.1 its
// first zero is at 3.8317/(2π·10·0.1) = 0.6098 mm. Without the complex plot it is the
// modulus; with it the negative lobe shows (2·J₁(2π)/(2π) = −0.0676 at 1 mm).
TEST(FGOTFCalculator, CalibrationCurveOfAPerfectLens) {
  auto lens = paraboloidF5();
  ASSERT_NEAR(tracing::imageSpaceNumericalAperture(*lens), 0.1, 1e-9);
  auto calculator = platform::makeObject<FGOTFCalculator>();
  calculator->setLens(lens);
  calculator->setDefocusUnits("mm");
  calculator->setMaximumDefocus(1.0);
  calculator->setNumberOfDefocusValues(5);  // −1, −0.5, 0, 0.5, 1
  auto y = [&] { return seriesOf(Value(*calculator->calibrationCurve()), kYSeries); };
  EXPECT_EQ(y().at(2), 1);
  EXPECT_NEAR(y().at(4), 0.0676035, 1e-6);
  EXPECT_NEAR(y().at(0), 0.0676035, 1e-6);
  calculator->setPlotComplex(true);
  EXPECT_NEAR(y().at(4), -0.0676035, 1e-6);
  calculator->setMaximumDefocus(0.60984);
  EXPECT_NEAR(y().at(4), 0, 2e-5);
  EXPECT_NEAR(3.8317059702 / (2 * M_PI * calculator->spatialFrequencyInCyclesPerMillimeter() * 0.1), 0.60984, 1e-5);
}

// Defocused, a paraboloid's spot is a uniform disc of radius z·NA, so its through-focus
// OTF follows the calibration curve of a perfect lens.
TEST(FGOTFCalculator, DefocusedParaboloidFollowsTheDiscOTF) {
  Window<FGOTFCalculator> window(paraboloidF5(), platform::makeObject<FGOTFCalculator>());
  window.calculator->setNumberOfRays(3 * 30 * 31 + 1);
  window.calculator->setPlotCalibrationCurve(true);
  window.calculator->setPlotUnity(true);
  window.calculator->setPlotDiffractionLimit(true);
  ASSERT_TRUE(window.run());
  EXPECT_EQ(window.calculator->status(), "");
  const auto curves = window.curves();
  const auto plot = *window.calculator->plotDictionary();
  EXPECT_EQ(plot.get("title").asString(), "Thru-focus GOTF, freq=10 cycles/mm, 550nm");
  EXPECT_EQ(plot.get("xLabel").asString(), "defocus (micron)");
  const auto sagittal = curveNamed(curves, " 0,0 550nm (S)");
  const auto tangential = curveNamed(curves, " 0,0 550nm (T)");
  ASSERT_TRUE(sagittal && tangential);
  EXPECT_TRUE(sagittal->get("dashed").asBool());
  const auto& z = seriesOf(Value(*tangential), kXSeries);
  ASSERT_EQ(z.count(), 21u);
  EXPECT_EQ(z.at(0), -500);
  EXPECT_NEAR(z.at(1), -450, 1e-12);
  for (const auto& c : {*sagittal, *tangential}) {
    const auto& m = seriesOf(Value(c), kYSeries);
    for (std::size_t i = 0; i < z.count(); ++i) {
      const double a = 2 * M_PI * 10 * 0.1 * z.at(i) / 1000;
      EXPECT_NEAR(m.at(i), a == 0 ? 1 : std::abs(2 * foundation::besselJ1(a) / a), 3e-3) << "z " << z.at(i);
    }
  }
  const auto limit = curveNamed(curves, "limit");
  ASSERT_TRUE(limit);
  EXPECT_NEAR(seriesOf(Value(*limit), kYSeries).at(7), circularPupilMTF(10 / kCutoffF5), 1e-9);
  ASSERT_TRUE(curveNamed(curves, "calibration"));
  ASSERT_TRUE(curveNamed(curves, "unity"));
  EXPECT_EQ(seriesOf(Value(*curveNamed(curves, "unity")), kYSeries).at(3), 1.0);
  EXPECT_EQ(curves.back().asDictionary().get("xLabel").asString(), "defocus");
}

// In focus the through-focus modulus is the geometric OTF's at the same frequency.
TEST(FGOTFCalculator, InFocusItIsTheGeometricOTF) {
  auto lens = mirrorLens(-200, 0, {3});
  Window<FGOTFCalculator> through(lens, platform::makeObject<FGOTFCalculator>());
  through.calculator->setSpatialFrequency(40);
  ASSERT_TRUE(through.run());
  Window<GOTFCalculator> geometric(lens, platform::makeObject<GOTFCalculator>());
  geometric.calculator->setMinimumSpatialFrequency(40);
  geometric.calculator->setMaximumSpatialFrequency(41);
  ASSERT_TRUE(geometric.run());
  for (const char* tag : {"T", "S"}) {
    const auto t = curveNamed(through.curves(), platform::format(" 0,3 587.56nm (%s)", tag));
    ASSERT_TRUE(t) << tag;
    const auto g = curveNamed(geometric.curves(), platform::format("0,3 (%s)", tag));
    ASSERT_TRUE(g);
    const double inFocus = seriesOf(Value(*t), kYSeries).at(10);
    EXPECT_NEAR(inFocus, seriesOf(Value(*g), kYSeries).at(0), 1e-12);
    EXPECT_LT(inFocus, 0.99);  // the field is blurred: the comparison means something
  }
}

TEST(FGOTFCalculator, UnitsKeepTheQuantities) {
  auto calculator = platform::makeObject<FGOTFCalculator>();
  calculator->setDefocusUnits("mm");
  EXPECT_NEAR(calculator->maximumDefocus(), 0.5, 1e-15);
  support::expectRaises([&] { calculator->setDefocusUnits("mrad"); }, "ValueError",
                        "defocus units: \"mrad\" is not a length unit");
  EXPECT_EQ(calculator->defocusUnits(), "mm");
  calculator->setUnits("micron");
  EXPECT_NEAR(calculator->spatialFrequency(), 0.01, 1e-15);
  EXPECT_EQ(calculator->spatialFrequencyInCyclesPerMillimeter(), 10);

  auto restored = platform::makeObject<FGOTFCalculator>();
  restored->applyRestorationDictionary(calculator->restorationDictionary());
  EXPECT_EQ(restored->defocusUnits(), "mm");
  EXPECT_NEAR(restored->maximumDefocus(), 0.5, 1e-15);
  EXPECT_NEAR(restored->spatialFrequency(), 0.01, 1e-15);
  EXPECT_EQ(restored->units(), "micron");
}

}  // namespace
}  // namespace orb::wavefront

namespace orb::wavefront {
namespace {

// As for the geometric MTF: a field whose waves weigh nothing is skipped with a status,
// never divided by a zero sum.
TEST(FGOTFCalculator, ZeroWeightsSkipWithAStatus) {
  auto lens = paraboloidF5();
  lens->primaryWave()->setWeight(0);
  Window<FGOTFCalculator> window(lens, platform::makeObject<FGOTFCalculator>());
  window.calculator->setPlotCalibrationCurve(true);
  ASSERT_TRUE(window.run());
  const auto curves = window.curves();
  ASSERT_EQ(curves.size(), 1u);
  EXPECT_EQ(curves[0].asDictionary().get(kName).asString(), "calibration");
  EXPECT_NE(window.calculator->status().find("weights of its wavelengths sum to zero"), std::string::npos)
      << window.calculator->status();
}

}  // namespace
}  // namespace orb::wavefront
