#include "analysis/FieldScanCalculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "RayAnalysisTestSupport.h"
#include "lens/Aperture.h"

namespace orb::analysis {
namespace {

using platform::Value;
using testing::mirrorLens;
using testing::seriesOf;
using testing::Window;

// A chief ray through the vertex of a mirror (the stop) leaves at the angle it came in:
// at the image the angle equals the field angle.
TEST(ChiefRayAngleTest, MirrorReflectsTheChiefRayAtItsFieldAngle) {
  auto c = platform::makeObject<ChiefRayAngle>();
  c->setNumberOfRays(21);
  Window window(mirrorLens(-200, 0, {0, 1}), c);
  ASSERT_TRUE(window.run());
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kXLabel).asString(), "Field coordinate");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "Angle (degrees)");
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& y = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(x.count(), 21u);
  for (std::size_t i = 0; i < 21; ++i) {
    EXPECT_NEAR(x.at(i), 0.05 * double(i), 1e-12);
    EXPECT_NEAR(std::abs(y.at(i)), x.at(i), 1e-9) << i;
  }
}

std::shared_ptr<lens::Aperture> circle(double radius, double decenterY = 0) {
  auto a = lens::Aperture::apertureOfType("Circular aperture", platform::Dictionary{{"rMin", 0.0}, {"rMax", radius}});
  a->setDecenterY(decenterY);
  return a;
}

struct CRSWindow {
  LensPtr lens = mirrorLens(-200, 0, {0, 1});
  std::shared_ptr<CRSCalculator> calculator = platform::makeObject<CRSCalculator>();
  Window<CRSCalculator> window{lens, calculator};
  explicit CRSWindow(std::shared_ptr<lens::Aperture> aperture) {
    calculator->setNumberOfRays(3);  // field heights −1°, 0°, 1°
    window.buffer = std::make_unique<LensBuffer>(window.document, calculator);
    calculator->setSurfaceOfInterest(lens->surfaceArray()[1]);  // the mirror
    if (aperture) lens->surfaceArray()[1]->setAperture(std::move(aperture));
  }
  const foundation::VKSeries& y() { return seriesOf(window.curves()[0], plot::kYSeries); }
};

TEST(CRSTest, AxialCutoffOnTheMirrorsAperture) {
  // Rays from infinity meet the mirror at 10 p: an aperture of radius 5 cuts at p = 0.5.
  CRSWindow w(circle(5));
  ASSERT_TRUE(w.window.run());
  const auto& plot = *w.calculator->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Cutoff, +y scan");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "Py");
  EXPECT_EQ(plot.get(plot::kXLabel).asString(), "field y (deg)");
  const auto& x = seriesOf(w.window.curves()[0], plot::kXSeries);
  ASSERT_EQ(x.count(), 3u);
  EXPECT_DOUBLE_EQ(x.at(0), -1);
  EXPECT_DOUBLE_EQ(x.at(1), 0);
  EXPECT_DOUBLE_EQ(x.at(2), 1);
  EXPECT_NEAR(w.y().at(1), 0.5, 2e-6);
  for (double v : w.y()) EXPECT_TRUE(std::isfinite(v) && v > 0.45 && v < 0.55) << v;

  // The −y scan reads the pupil coordinate along its own direction.
  w.calculator->setDirection(1);
  ASSERT_TRUE(w.window.settle());
  EXPECT_EQ(w.calculator->plotDictionary()->get(plot::kTitle).asString(), "Cutoff, -y scan");
  EXPECT_NEAR(w.y().at(1), -0.5, 2e-6);

  // Angles: the cut-off ray's momentum along y, in milliradians (object space, n = 1: it
  // is parallel to the axis for the axial field).
  w.calculator->setDirection(0);
  w.calculator->setPlotAngle(true);
  w.calculator->setPlotInMilliradians(true);
  ASSERT_TRUE(w.window.settle());
  EXPECT_EQ(w.calculator->plotDictionary()->get(plot::kYLabel).asString(), "py (mrad)");
  EXPECT_NEAR(w.y().at(1), 0, 1e-9);
  EXPECT_NEAR(w.y().at(2), 1000 * std::sin(M_PI / 180), 1e-6);
}

TEST(CRSTest, NothingCutGivesInfinityAndEverythingCutGivesZero) {
  {
    CRSWindow w(nullptr);
    ASSERT_TRUE(w.window.run());
    for (double v : w.y()) EXPECT_EQ(v, std::numeric_limits<double>::infinity());
    EXPECT_EQ(w.calculator->status(), "No ray is cut off up to pupil coordinate 1.2 at any field height");
  }
  {
    CRSWindow w(circle(1, 100));  // far off the beam: every ray is cut
    ASSERT_TRUE(w.window.run());
    for (double v : w.y()) EXPECT_EQ(v, 0);
    EXPECT_EQ(w.calculator->status(), "");
  }
}

}  // namespace
}  // namespace orb::analysis
