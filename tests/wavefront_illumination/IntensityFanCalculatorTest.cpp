#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Surface.h"
#include "tracing/Regeneration.h"
#include "wavefront_illumination/IntensityFanCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using analysis::SeriesValue;
using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

Dictionary curve(std::vector<double> x, std::vector<double> y) {
  return Dictionary{{plot::kXSeries, SeriesValue::make(VKSeries(x.size(), x.data()))},
                    {plot::kYSeries, SeriesValue::make(VKSeries(y.size(), y.data()))}};
}

std::vector<double> values(const Dictionary& c, const char* key) {
  const VKSeries* s = SeriesValue::from(c.get(key));
  return s ? s->array() : std::vector<double>();
}

TEST(IntensityFanSum, SharedPointsCountHalfFromEachSegmentAndEndsFully) {
  auto c = platform::makeObject<IntensityFanCalculator>();
  struct Case {
    const char* name;
    std::vector<Dictionary> curves;
    std::vector<double> x, y;
  };
  const std::vector<Case> cases = {
      {"two flat curves", {curve({0, 1, 2}, {1, 1, 1}), curve({0, 1, 2}, {1, 1, 1})}, {0, 1, 2}, {2, 2, 2}},
      // The second curve runs backwards and ends inside the first one's span.
      {"reversed and offset", {curve({0, 2}, {0, 2}), curve({1.5, 0.5}, {3, 1})}, {0, 0.5, 1.5, 2}, {0, 1.5, 4.5, 2}},
      {"one segment counts both ends fully", {curve({0, 1}, {4, 6})}, {0, 1}, {4, 6}},
      {"a vertical step adds nothing of its own", {curve({0, 1, 1, 2}, {1, 1, 3, 3})}, {0, 1, 2}, {1, 2, 3}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Dictionary sum = c->sumOfCurves(k.curves, 1);
    EXPECT_EQ(values(sum, plot::kXSeries), k.x);
    const auto y = values(sum, plot::kYSeries);
    ASSERT_EQ(y.size(), k.y.size());
    for (std::size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], k.y[i], 1e-12) << i;
    EXPECT_EQ(sum.get(plot::kName).asString(), "sum T");
  }
  const Dictionary sagittal = c->sumOfCurves({}, 0);
  EXPECT_TRUE(values(sagittal, plot::kXSeries).empty());
  EXPECT_EQ(sagittal.get(plot::kName).asString(), "sum S");
  EXPECT_TRUE(sagittal.get(plot::kDashed).asBool());
}

// A caustic (1/|0|) is +∞ where it lies and between it and its neighbours; never NaN.
TEST(IntensityFanSum, AnInfiniteOrdinateStaysInfiniteNotNaN) {
  auto c = platform::makeObject<IntensityFanCalculator>();
  const double inf = std::numeric_limits<double>::infinity();
  const Dictionary sum = c->sumOfCurves({curve({0, 1, 2}, {1, inf, 1}), curve({0.5, 2}, {1, 1})}, 1);
  const auto y = values(sum, plot::kYSeries);
  ASSERT_EQ(y.size(), 4u);  // 0, 0.5, 1, 2
  EXPECT_EQ(y[0], 1);
  EXPECT_EQ(y[1], inf);
  EXPECT_EQ(y[2], inf);
  EXPECT_EQ(y[3], 2);
}

// Plane surfaces only: object, a plane stop `toStop` from it, the image `toImage` beyond.
// An object at infinity lights the image with a parallel beam; a finite one is a point
// on the axis `toStop + toImage` from the image plane.
analysis::LensPtr planeLens(double toStop, double toImage, double fieldWeight = 1) {
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  auto object = lens::Surface::create();
  object->setThickness(toStop);
  auto stop = lens::Surface::create();
  stop->setThickness(toImage);
  auto image = lens::Surface::create();
  for (const auto& s : {object, stop, image}) lens->insertInSurfaces(s);
  lens->setStopSurface(stop);
  auto field = lens::Field::field();
  field->setWeight(fieldWeight);
  lens->setFieldArray({field});
  if (std::isinf(toStop)) {
    lens->setSourceDivergenceType(0);
    lens->setSourceDivergenceValue(10);
  } else {
    lens->setFieldType("Object height");
    lens->setSourceDivergenceType(2);
    lens->setSourceDivergenceValue(0.3);
  }
  lens->setUseRealRaysToUpdateSemidiameters(false);
  lens->generateSystemFromParaxialSpecification();
  EXPECT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  lens->setIsReady(true);
  return lens;
}

// A parallel beam through plane air spreads nowhere: 1 W/mm² everywhere. A point source
// d before the image: a small bundle round a ray of slope θ grows with its path
// L = d/cos θ, so the irradiance across it is 1 kW/sr / L² = 1000 cos²θ / d², and on
// the tilted image plane cos θ less again.
TEST(IntensityFanCalculator, PlaneSystemsGiveTheInverseSquareLaw) {
  const double inf = std::numeric_limits<double>::infinity();
  {
    auto c = platform::makeObject<IntensityFanCalculator>();
    c->setNumberOfRays(11);
    Window window(planeLens(inf, 50), c);
    ASSERT_TRUE(window.run());
    EXPECT_EQ(window.calculator->plotDictionary()->get(plot::kTitle).asString(), "Incident intensity 1 W/mm^2");
    ASSERT_EQ(window.curves().size(), 2u);
    for (const Value& v : window.curves()) {
      const auto y = values(v.asDictionary(), plot::kYSeries);
      ASSERT_EQ(y.size(), 11u);
      for (double i : y) EXPECT_NEAR(i, 1.0, 1e-9);
    }
  }
  const double d = 40;
  for (bool surfaceAngle : {false, true}) {
    SCOPED_TRACE(surfaceAngle);
    auto c = platform::makeObject<IntensityFanCalculator>();
    c->setNumberOfRays(21);
    c->setIncludeSurfaceAngle(surfaceAngle);
    c->setPlotSum(true);
    Window window(planeLens(15, d - 15, 0.5), c);
    ASSERT_TRUE(window.run());
    EXPECT_EQ(window.calculator->plotDictionary()->get(plot::kTitle).asString(), "Incident intensity 1 kW/sr");
    ASSERT_EQ(window.curves().size(), 4u);  // S, T, sum S, sum T
    for (const Value& v : window.curves()) {
      const Dictionary& cd = v.asDictionary();
      const auto x = values(cd, plot::kXSeries), y = values(cd, plot::kYSeries);
      ASSERT_EQ(x.size(), 21u);
      EXPECT_GT(std::abs(x.front()), 0.2 * d);  // the fan reaches a real slope
      for (std::size_t i = 0; i < x.size(); ++i) {
        const double cosTheta = d / std::hypot(d, x[i]);
        const double expected = 1000 * std::pow(cosTheta, surfaceAngle ? 3 : 2) / (d * d);
        EXPECT_NEAR(y[i], expected, 1e-9 * expected) << cd.get(plot::kName).asString() << " x " << x[i];
      }
    }
    // The field's weight is no factor until asked for.
    c->setIncludeFieldWeight(true);
    ASSERT_TRUE(window.settle());
    const auto y = values(window.curves()[0].asDictionary(), plot::kYSeries);
    EXPECT_NEAR(y[10], 0.5 * 1000 / (d * d), 1e-12);
  }
}

TEST(IntensityFanCalculator, UnitsScalePositionsOnlyAndEmptyFansGiveNoCurve) {
  auto c = platform::makeObject<IntensityFanCalculator>();
  c->setNumberOfRays(5);
  c->setPlotSagittal(false);
  c->setPlotSum(true);
  Window window(planeLens(15, 25), c);
  ASSERT_TRUE(window.run());
  ASSERT_EQ(window.curves().size(), 3u);  // T, an empty sum S, sum T
  const auto xmm = values(window.curves()[0].asDictionary(), plot::kXSeries);
  const auto ymm = values(window.curves()[0].asDictionary(), plot::kYSeries);
  EXPECT_TRUE(values(window.curves()[1].asDictionary(), plot::kXSeries).empty());
  EXPECT_EQ(values(window.curves()[2].asDictionary(), plot::kXSeries), xmm);
  c->setUnits("micron");
  ASSERT_TRUE(window.settle());
  const auto xum = values(window.curves()[0].asDictionary(), plot::kXSeries);
  EXPECT_EQ(values(window.curves()[0].asDictionary(), plot::kYSeries), ymm);
  ASSERT_EQ(xum.size(), xmm.size());
  for (std::size_t i = 0; i < xum.size(); ++i) EXPECT_NEAR(xum[i], 1000 * xmm[i], 1e-9);

  // A fan of dead rays makes no curve; its field, wave and direction are skipped.
  auto rays = c->framedRays();
  ASSERT_TRUE(rays);
  auto dead = *rays;
  for (auto& r : dead) r.setIsAlive(false);
  EXPECT_FALSE(c->extractCurveForDirection(1, c->fieldsOfInterest()[0], c->wavesOfInterest()[0], dead, false));
}

}  // namespace
}  // namespace orb::wavefront
