#include "analysis/ChromaticFocalShiftCalculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "RayAnalysisTestSupport.h"
#include "materials/ZemaxGlass.h"

namespace orb::analysis {
namespace {

using platform::Value;
using testing::seriesOf;
using testing::Window;

// N-BK7 by Schott's Sellmeier law, evaluated here independently of the glass code.
constexpr double kBK7[6] = {1.03961212, 0.00600069867, 0.231792344, 0.0200179144, 1.01046945, 103.560653};
double nbk7Index(double microns) {
  const double l2 = microns * microns;
  return std::sqrt(1 + kBK7[0] * l2 / (l2 - kBK7[1]) + kBK7[2] * l2 / (l2 - kBK7[3]) + kBK7[4] * l2 / (l2 - kBK7[5]));
}

// Thick biconvex singlet, radii ±50, 5 thick: back focal distance by the thick-lens law.
constexpr double kR = 50, kT = 5;
double backFocalDistance(double n) {
  const double c1 = 1 / kR, c2 = -1 / kR;
  const double power = (n - 1) * (c1 - c2) + (n - 1) * (n - 1) * kT * c1 * c2 / n;
  return (1 - (n - 1) * kT * c1 / n) / power;
}

LensPtr singlet() {
  tracing::registerSystemGenerator();
  auto glass = materials::ZemaxGlass::glassWithName("N-BK7");
  glass->setFormula(2);
  glass->setCoefficientValuesFromDoubles(kBK7, 6);
  glass->setReferenceIndex(1.5168);
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  auto object = lens::Surface::create(), front = lens::Surface::create(), back = lens::Surface::create(),
       image = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  front->setCurvature(1 / kR);
  front->setThickness(kT);
  back->setCurvature(-1 / kR);
  back->setThickness(backFocalDistance(nbk7Index(0.58756)));  // at the primary wave's focus
  for (const auto& s : {object, front, back, image}) lens->insertInSurfaces(s);
  front->setGlass(glass);
  lens->setStopSurface(front);
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(10);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  lens->setFieldArray({lens::Field::field()});
  lens->generateSystemFromParaxialSpecification();
  EXPECT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  lens->setIsReady(true);
  return lens;
}

std::shared_ptr<ChromaticFocalShiftCalculator> calculator(std::uint64_t n) {
  auto c = platform::makeObject<ChromaticFocalShiftCalculator>();
  c->setNumberOfRays(n);
  return c;
}

TEST(ChromaticFocalShiftTest, SingletFollowsTheThickLensLawAcrossTheScan) {
  auto c = calculator(6);
  Window window(singlet(), c);
  ASSERT_TRUE(window.run());
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Chromatic focal shift");
  EXPECT_EQ(plot.get(plot::kXLabel).asString(), "wavelength (nm)");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "shift (mm)");
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& y = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(x.count(), 6u);
  const double primary = backFocalDistance(nbk7Index(0.58756));
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(x.at(i), 400 + 100.0 * i, 1e-9);
    // Beyond the image plane (+z) where the focus lies further off.
    EXPECT_NEAR(y.at(i), backFocalDistance(nbk7Index(x.at(i) / 1000)) - primary, 1e-9) << x.at(i);
  }
  // Blue focuses short of red.
  EXPECT_LT(y.at(0), 0);
  EXPECT_GT(y.at(5), 0);
}

// A mirror has no dispersion: at its paraxial focus every wavelength focuses on the plane.
TEST(ChromaticFocalShiftTest, AllMirrorSystemIsFlat) {
  auto c = calculator(21);
  c->setLambdaMin(350);
  c->setLambdaMax(1100);
  Window window(testing::mirrorLens(-200, 0), c);
  ASSERT_TRUE(window.run());
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& y = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(x.count(), 21u);
  EXPECT_DOUBLE_EQ(x.at(0), 350);
  EXPECT_DOUBLE_EQ(x.at(20), 1100);
  for (double v : y) EXPECT_NEAR(v, 0, 1e-9);
  // Restored settings carry the range.
  const auto saved = c->restorationDictionary();
  EXPECT_EQ(saved.get("lambdaMin"), Value(350.0));
  EXPECT_EQ(saved.get("lambdaMax"), Value(1100.0));
}

TEST(ChromaticFocalShiftTest, ScanWavelengths) {
  struct Row {
    std::uint64_t n;
    std::vector<double> nm;
  };
  for (const Row& row : {Row{6, {400, 500, 600, 700, 800, 900}}, Row{1, {650}}, Row{0, {}}}) {
    auto c = calculator(row.n);
    const auto waves = c->scanWaves();
    ASSERT_EQ(waves.size(), row.nm.size());
    for (std::size_t i = 0; i < waves.size(); ++i) EXPECT_NEAR(waves[i]->wavelengthInNanometers(), row.nm[i], 1e-9);
  }
}

}  // namespace
}  // namespace orb::analysis
