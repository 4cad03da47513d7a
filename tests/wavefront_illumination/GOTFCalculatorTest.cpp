#include <gtest/gtest.h>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "foundation/quadrature/SpecialFunctions.h"
#include "lens/Field.h"
#include "tracing/PupilPatterns.h"
#include "wavefront_illumination/GOTFCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using analysis::plot::kName;
using analysis::plot::kXSeries;
using analysis::plot::kYSeries;
using platform::Value;

// A uniformly filled disc of radius ρ, sampled by equal-area hexapolar rings: its
// geometric OTF in either direction is 2·J₁(a)/a with a = 2πνρ, real (the spot is
// symmetric), through its first zero at a = 3.8317 and the negative lobe beyond.
TEST(GOTFCalculator, UniformDiscSpotIsTheBesselJinc) {
  const double rho = 0.01;  // mm
  auto field = lens::Field::field();
  auto wave = lens::Wave::wave();
  tracing::RayBundle bundle;
  const auto disc = tracing::pupil::hexapolarArrayOfPointsInUnitCircle(3 * 80 * 81 + 1);
  bundle.resize(disc.size());
  const auto f = bundle.fieldIndex(field);
  const auto w = bundle.waveIndex(wave);
  for (std::size_t i = 0; i < disc.size(); ++i) {
    bundle.qx[i] = 0.3 + rho * disc[i].x;  // off the axis: the centroid is taken out
    bundle.qy[i] = -0.2 + rho * disc[i].y;
    bundle.qz[i] = 0, bundle.px[i] = 0, bundle.py[i] = 0, bundle.pz[i] = 1;
    bundle.field[i] = f, bundle.wave[i] = w;
  }
  auto calculator = platform::makeObject<GOTFCalculator>();
  calculator->setNumberOfSpatialFrequencies(41);
  calculator->setMaximumSpatialFrequency(100);  // a up to 6.28
  calculator->setPlotComplex(true);
  for (int direction : {1, 0}) {
    SCOPED_TRACE(direction);
    const auto curves = calculator->extractCurvesForDirection(direction, field, nullptr, bundle);
    ASSERT_TRUE(curves);
    ASSERT_EQ(curves->size(), 3u);  // modulus, real, imaginary
    const auto& nu = seriesOf((*curves)[0], kXSeries);
    const auto& modulus = seriesOf((*curves)[0], kYSeries);
    const auto& re = seriesOf((*curves)[1], kYSeries);
    const auto& im = seriesOf((*curves)[2], kYSeries);
    for (std::size_t k = 0; k < nu.count(); ++k) {
      const double a = 2 * M_PI * nu.at(k) * rho;
      const double jinc = a == 0 ? 1 : 2 * foundation::besselJ1(a) / a;
      EXPECT_NEAR(re.at(k), jinc, 2e-4) << "ν " << nu.at(k);
      EXPECT_NEAR(modulus.at(k), std::abs(jinc), 2e-4);
      EXPECT_NEAR(im.at(k), 0, 1e-9);
    }
    // At the first zero of J₁, ν = 3.8317/(2πρ) = 60.98 cycles/mm.
    calculator->setMinimumSpatialFrequency(3.8317059702 / (2 * M_PI * rho));
    const auto atZero = calculator->extractCurvesForDirection(direction, field, nullptr, bundle);
    EXPECT_NEAR(seriesOf((*atZero)[0], kYSeries).at(0), 0, 2e-4);
    calculator->setMinimumSpatialFrequency(0);
  }
  EXPECT_EQ((*calculator->extractCurvesForDirection(0, field, nullptr, bundle))[0].asDictionary().get(kName).asString(),
            "0,0 (S)");
}

// A paraboloid images a point perfectly: the geometric OTF is 1 at every frequency, and
// its hybrid form is the diffraction limit itself, 0 from the cut-off on.
TEST(GOTFCalculator, ParaboloidIsPerfectAndItsHybridIsTheDiffractionLimit) {
  Window<GOTFCalculator> window(paraboloidF5(), platform::makeObject<GOTFCalculator>());
  ASSERT_TRUE(window.run());
  EXPECT_EQ(window.calculator->status(), "");
  auto curves = window.curves();
  ASSERT_EQ(curves.size(), 2u);  // tangential, sagittal
  for (const Value& c : curves) {
    const auto& nu = seriesOf(c, kXSeries);
    ASSERT_EQ(nu.count(), 101u);
    EXPECT_NEAR(nu.at(1), 0.2, 1e-15);  // 101 samples from 0 to 20
    EXPECT_EQ(nu.at(100), 20);
    for (double m : seriesOf(c, kYSeries)) EXPECT_NEAR(m, 1, 1e-9);
  }
  const auto& plot = *window.calculator->plotDictionary();
  EXPECT_EQ(plot.get("title").asString(), "Geometrical OTF (550nm)");
  EXPECT_EQ(plot.get("xLabel").asString(), "frequency (cycles/mm)");
  EXPECT_EQ(plot.get("yMin").asDouble(), 0.0);
  EXPECT_EQ(curves[0].asDictionary().get("xLabel").asString(), "f");
  EXPECT_EQ(curves[0].asDictionary().get("yLabel").asString(), "contrast");
  EXPECT_EQ(curvesNamed(curves, "0,0 (T)").size(), 1u);
  EXPECT_EQ(curvesNamed(curves, "0,0 (S)").size(), 1u);
  EXPECT_EQ(window.calculator->value(), 0);  // no curve here carries a "y" entry

  window.calculator->setUseHybridForm(true);
  window.calculator->setPlotDiffractionLimit(true);
  window.calculator->setMaximumSpatialFrequency(1.2 * kCutoffF5);
  ASSERT_TRUE(window.settle());
  curves = window.curves();
  ASSERT_EQ(curves.size(), 3u);
  EXPECT_EQ(window.calculator->plotDictionary()->get("title").asString(), "Hybrid OTF (550nm)");
  for (const auto& name : {"0,0 (T)", "0,0 (S)"}) {
    const auto c = curvesNamed(curves, name);
    ASSERT_EQ(c.size(), 1u) << name;
    const auto& nu = seriesOf(Value(c[0]), kXSeries);
    const auto& m = seriesOf(Value(c[0]), kYSeries);
    for (std::size_t k = 0; k < nu.count(); ++k) EXPECT_NEAR(m.at(k), circularPupilMTF(nu.at(k) / kCutoffF5), 2e-5);
    EXPECT_EQ(m.at(100), 0);  // beyond the cut-off
  }
  const auto limit = curvesNamed(curves, "diffraction limit");
  ASSERT_EQ(limit.size(), 1u);
  EXPECT_EQ(limit[0].get("yLabel").asString(), "contrast");  // the readout label replaces "MTF"
}

// Off the axis a spherical mirror blurs; perfect imaging puts every intercept at the
// centroid, so the modulus is 1 however large the blur.
TEST(GOTFCalculator, PerfectImagingIgnoresTheBlur) {
  Window<GOTFCalculator> window(mirrorLens(-200, 0, {0, 3}), platform::makeObject<GOTFCalculator>());
  window.calculator->setMaximumSpatialFrequency(200);
  ASSERT_TRUE(window.run());
  double lowest = 1;
  for (const Value& c : window.curves())
    for (double m : seriesOf(c, kYSeries)) lowest = std::min(lowest, m);
  EXPECT_LT(lowest, 0.9);
  window.calculator->setUsePerfectImaging(true);
  ASSERT_TRUE(window.settle());
  for (const Value& c : window.curves())
    for (double m : seriesOf(c, kYSeries)) EXPECT_NEAR(m, 1, 1e-12);
}

// Waves may weigh nothing; a field whose waves all do has no transfer function. It gets
// no curves and the status says why, where the weights' sum would have divided by zero.
TEST(GOTFCalculator, ZeroWeightsSkipWithAStatus) {
  auto lens = paraboloidF5();
  lens->primaryWave()->setWeight(0);
  Window<GOTFCalculator> window(lens, platform::makeObject<GOTFCalculator>());
  window.calculator->setPlotDiffractionLimit(true);
  ASSERT_TRUE(window.run());
  const auto curves = window.curves();
  ASSERT_EQ(curves.size(), 1u);
  EXPECT_EQ(curves[0].asDictionary().get(kName).asString(), "diffraction limit");
  EXPECT_NE(window.calculator->status().find("weights of its wavelengths sum to zero"), std::string::npos)
      << window.calculator->status();
}

TEST(GOTFCalculator, SettingsPersist) {
  auto saved = platform::makeObject<GOTFCalculator>();
  EXPECT_EQ(saved->numberOfRays(), 127u);
  saved->setNumberOfSpatialFrequencies(33);
  saved->setUseHybridForm(true);
  saved->setUsePerfectImaging(true);
  auto restored = platform::makeObject<GOTFCalculator>();
  restored->applyRestorationDictionary(saved->restorationDictionary());
  EXPECT_EQ(restored->numberOfSpatialFrequencies(), 33);
  EXPECT_TRUE(restored->useHybridForm());
  EXPECT_TRUE(restored->usePerfectImaging());
  // Whatever fan type a saved document names, the bundle is hexapolar.
  restored->setFanType("random");
  EXPECT_EQ(restored->pupilCoordinatesForRealRays().size(), 127u);
  EXPECT_EQ(restored->pupilCoordinatesForRealRays()[0].x, 0);
}

}  // namespace
}  // namespace orb::wavefront
