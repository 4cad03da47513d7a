#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "lens/ArchiveClasses.h"
#include "lens/Field.h"
#include "lens/LightPipe.h"
#include "lens/Surface.h"
#include "platform/KeyedUnarchiver.h"
#include "tracing/Emitters.h"
#include "tracing/OBBeam.h"
#include "tracing/Regeneration.h"
#include "wavefront_illumination/ScreenCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using foundation::Matrix;
using tracing::Ray;
namespace plot = analysis::plot;

std::string csvOf(const ScreenCalculator& c) {
  std::FILE* f = std::tmpfile();
  c.exportToCSV(f);
  std::rewind(f);
  std::string out;
  for (int ch; (ch = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(ch));
  std::fclose(f);
  return out;
}

TEST(ScreenCalculator, SlicesGiveTheRemainderToTheLastAndSmallTracesStayOnOneThread) {
  using Slices = std::vector<std::pair<std::size_t, std::size_t>>;
  EXPECT_EQ(ScreenCalculator::slices(10001, 4), (Slices{{0, 2500}, {2500, 5000}, {5000, 7500}, {7500, 10001}}));
  EXPECT_EQ(ScreenCalculator::slices(3, 4), (Slices{{0, 0}, {0, 0}, {0, 0}, {0, 3}}));
  EXPECT_TRUE(ScreenCalculator::slices(5, 0).empty());
  EXPECT_TRUE(ScreenCalculator::worthThreading(10001, 4));
  EXPECT_FALSE(ScreenCalculator::worthThreading(1024, 8));  // 128 a processor
  EXPECT_FALSE(ScreenCalculator::worthThreading(8007, 8));  // 1000
  EXPECT_TRUE(ScreenCalculator::worthThreading(8008, 8));   // 1001
  EXPECT_TRUE(ScreenCalculator::worthThreading(2000, 0));   // no count reads as one
}

// The lower edge of the screen is in its first bin, the upper edge outside it; rays of
// other emitters, dead rays and non-finite positions are not counted.
TEST(ScreenCalculator, BinsCoverTheirLowerEdgeButNotTheirUpper) {
  auto c = platform::makeObject<ScreenCalculator>();
  const platform::Object a, b;
  const int X = 4, Y = 6;
  const double dx = 0.5, dy = 0.25;
  std::vector<Ray> rays;
  auto add = [&](double x, double y, const platform::Object* emitter = nullptr, bool alive = true) {
    Ray r({x, y, 0}, {0, 0, 1}, 1.0);
    r.setEmitter(emitter ? emitter : &a);
    r.setIsAlive(alive);
    rays.push_back(r);
  };
  add(-X * dx / 2, -Y * dy / 2);       // (0, 0)
  add(X * dx / 2, 0);                  // outside in x
  add(0, Y * dy / 2);                  // outside in y
  add(X * dx / 2 - 1e-12, Y * dy / 2 - 1e-12);  // the last bin
  add(0.1, 0.1);                       // (2, 3)
  add(0.1, 0.1, &b);                   // another emitter
  add(0.1, 0.1, nullptr, false);       // dead
  add(std::nan(""), 0);
  add(0, std::numeric_limits<double>::infinity());
  const Matrix m = c->intensityFieldForRays(rays, {&a}, X, Y, dx, dy, false, false);
  ASSERT_EQ(m.nRows(), 4u);
  ASSERT_EQ(m.nCols(), 6u);
  EXPECT_EQ(m.at(0, 0), 1);
  EXPECT_EQ(m.at(3, 5), 1);
  EXPECT_EQ(m.at(2, 3), 1);
  EXPECT_EQ(m.elementSum(), 3);
  // Both emitters together; a zero pitch counts nothing rather than dividing by it.
  EXPECT_EQ(c->intensityFieldForRays(rays, {&a, &b}, X, Y, dx, dy, false, false).at(2, 3), 2);
  EXPECT_EQ(c->intensityFieldForRays(rays, {&a}, X, Y, 0, dy, false, false).elementSum(), 0);
}

// The blur, when on, spreads the counts and keeps their total.
TEST(ScreenCalculator, BlurredBinsKeepTheCount) {
  auto c = platform::makeObject<ScreenCalculator>();
  const platform::Object a;
  std::vector<Ray> rays(40, Ray({0.1, 0.1, 0}, {0, 0, 1}, 1.0));
  for (Ray& r : rays) r.setEmitter(&a);
  c->setBlurEnabled(true);
  c->setBlur(1.2);
  const Matrix m = c->intensityFieldForRays(rays, {&a}, 16, 16, 1, 1, false, false);
  EXPECT_NEAR(m.elementSum(), 40, 1e-9);
  // Every ray is in bin (8, 8); its neighbours get exp(−(di² + dj²)/b²) of it.
  EXPECT_NEAR(m.at(7, 8), m.at(9, 8), 1e-9);
  EXPECT_NEAR(m.at(8, 9) / m.at(8, 8), std::exp(-1 / 1.44), 1e-9);
  EXPECT_NEAR(m.at(9, 9) / m.at(8, 8), std::exp(-2 / 1.44), 1e-9);
}

TEST(ScreenCalculator, SettingsSurviveRestoration) {
  auto c = platform::makeObject<ScreenCalculator>();
  c->setScreenNumberOfPointsPerSideX(64);
  c->setScreenNumberOfPointsPerSideY(16);
  c->setScreenDelta(0.125);
  c->setScreenDeltaUnits("micron");
  c->setBinDimension(0);
  c->setUseSlice(true);
  c->setSliceIndex(-3);
  c->setUseCircle(true);
  c->setCircleRadius(2.5);
  c->setMultithreaded(true);
  c->setBlur(3);
  auto restored = platform::makeObject<ScreenCalculator>();
  restored->applyRestorationDictionary(c->restorationDictionary());
  EXPECT_EQ(restored->screenNumberOfPointsPerSideX(), 64);
  EXPECT_EQ(restored->screenNumberOfPointsPerSideY(), 16);
  EXPECT_EQ(restored->screenDelta(), 0.125);
  EXPECT_EQ(restored->screenDeltaUnits(), "micron");
  EXPECT_EQ(restored->binDimension(), 0);
  EXPECT_TRUE(restored->useSlice());
  EXPECT_EQ(restored->sliceIndex(), -3);
  EXPECT_TRUE(restored->useCircle());
  EXPECT_EQ(restored->circleRadius(), 2.5);
  EXPECT_TRUE(restored->multithreaded());
  EXPECT_EQ(restored->blur(), 3);
  EXPECT_EQ(restored->emissionNumberOfRays(), 1024u);
}

TEST(ScreenCalculator, CSVWritesSmallValuesAsZero) {
  auto c = platform::makeObject<ScreenCalculator>();
  EXPECT_EQ(csvOf(*c), "");
  c->setIntensityField(std::make_shared<const Matrix>(
      2, 3, std::initializer_list<std::initializer_list<double>>{{0.0005, 0.002, 3}, {-1, 1234567, 0.001}}));
  EXPECT_EQ(csvOf(*c), "0,0.002,3\n0,1.23457e+06,0.001\n");
  c->setIntensityField(std::make_shared<const Matrix>(2, 0));
  EXPECT_EQ(csvOf(*c), "\n\n");
}

TEST(ScreenCalculator, CoordinatesMonitorAndCircle) {
  auto c = platform::makeObject<ScreenCalculator>();
  c->setScreenNumberOfPointsPerSideX(4);
  c->setScreenNumberOfPointsPerSideY(2);
  c->setScreenDelta(0.5);
  EXPECT_DOUBLE_EQ(c->xCoordinateForIndex(0), -0.75);
  EXPECT_DOUBLE_EQ(c->yCoordinateForIndex(1), 0.25);
  EXPECT_EQ(c->xIndexForCoordinate(-1.0), 0);
  EXPECT_EQ(c->xIndexForCoordinate(0.99), 3);
  EXPECT_EQ(c->xIndexForCoordinate(1.0), 4);
  c->setIntensityField(std::make_shared<const Matrix>(
      4, 2, std::initializer_list<std::initializer_list<double>>{{1, 2}, {3, 4}, {5, 6}, {7, 8}}));
  c->setPointInUnitSquare(0, 0.5);  // on the edge: the point moves, monitoring stays off
  EXPECT_FALSE(c->isMonitoring());
  EXPECT_EQ(c->monitorString(), "");
  c->setPointInUnitSquare(0.6, 0.8);  // x = 0.2, y = 0.3: bin (2, 1)
  EXPECT_TRUE(c->isMonitoring());
  EXPECT_EQ(c->monitorF(), 6);
  EXPECT_EQ(c->monitorString(), "x=0.2,y=0.3,f=6");
  c->kick();  // the column through the bin, the monitor on its centre
  EXPECT_EQ(c->sliceIndex(), 1);
  EXPECT_DOUBLE_EQ(c->monitorX(), 0.25);
  EXPECT_TRUE(c->drawsSliceCursor() && c->drawsElementCursor());
  EXPECT_EQ(c->intensitySum(), 36);
  // A bin whose centre lies on the circle is outside it, for the sum and for the mask.
  auto row = platform::makeObject<ScreenCalculator>();
  row->setScreenNumberOfPointsPerSideX(3);
  row->setScreenNumberOfPointsPerSideY(1);
  row->setScreenDelta(1);  // centres at x = −1, 0, 1
  row->setIntensityField(std::make_shared<const Matrix>(
      3, 1, std::initializer_list<std::initializer_list<double>>{{1}, {2}, {4}}));
  row->setCircleRadius(1);
  EXPECT_EQ(row->circleSum(), 2);
  row->setUseCircle(true);
  EXPECT_EQ(row->intensitySum(), 2);
  row->setMaskCircle(true);
  std::vector<Ray> rays;
  for (double x : {-1.0, 0.0, 1.0}) {
    rays.emplace_back(foundation::XYZ{x, 0, 0}, foundation::XYZ{0, 0, 1}, 1.0);
    rays.back().setEmitter(row.get());
  }
  const Matrix masked = row->intensityFieldForRays(rays, {row.get()}, 3, 1, 1, 1, false, false);
  EXPECT_EQ(masked.at(0, 0), 0);
  EXPECT_EQ(masked.at(1, 0), 1);
  EXPECT_EQ(masked.at(2, 0), 0);
  row->setCircleRadius(1.01);
  EXPECT_EQ(row->circleSum(), 7);
  // The skew diagonal through bin (0, 0) of a 32 × 32 field.
  auto big = platform::makeObject<ScreenCalculator>();
  big->setIntensityField(std::make_shared<const Matrix>(32, 32));
  big->setUseDiagonal(true);
  big->setUseSkew(true);
  big->setPointInUnitSquare(0.01, 0.01);
  big->kick();
  EXPECT_EQ(big->sliceIndex(), -31);
  // A pitch in degrees bins in radians; unknown units are refused.
  big->setScreenDeltaUnits("deg");
  EXPECT_TRUE(big->usingAngle());
  EXPECT_NEAR(big->screenDeltaInRayUnits(), 2 * std::numbers::pi / 180, 1e-6);
  big->setScreenDeltaUnits("furlong");
  EXPECT_EQ(big->screenDeltaUnits(), "deg");
  big->setScreenDeltaUnitsGUI("mrad");  // the same physical pitch
  EXPECT_NEAR(big->screenDelta(), big->screenDeltaInRayUnits() * 1000, 1e-9);
}

TEST(ScreenCalculator, SlicePlotsFollowTheBinDimension) {
  auto c = platform::makeObject<ScreenCalculator>();
  c->setScreenNumberOfPointsPerSide(2);
  c->setScreenDelta(1);
  c->setIntensityField(std::make_shared<const Matrix>(
      2, 2, std::initializer_list<std::initializer_list<double>>{{1, 2}, {3, 4}}));
  auto yOf = [](const platform::Dictionary& d) {
    return analysis::SeriesValue::from(d.get(plot::kCurves).asArray()[0].asDictionary().get(plot::kYSeries))->array();
  };
  auto d = c->plotDictionaryFromIntensityField();
  ASSERT_TRUE(d);
  EXPECT_EQ(yOf(*d), (std::vector<double>{3, 7}));  // summed along y, one value per x
  EXPECT_EQ(d->get(plot::kTitle).asString(), "summed in y direction");
  c->setUseSlice(true);
  c->setSliceIndex(5);  // clamped to the last column
  d = c->plotDictionaryFromIntensityField();
  EXPECT_EQ(yOf(*d), (std::vector<double>{2, 4}));
  EXPECT_EQ(d->get(plot::kTitle).asString(), "row 5 (y = 4.5 mm)");
  c->setBinDimension(0);
  c->setSliceIndex(0);
  EXPECT_EQ(yOf(*c->plotDictionaryFromIntensityField()), (std::vector<double>{1, 2}));
  c->setBinDimension(2);
  EXPECT_FALSE(c->plotDictionaryFromIntensityField());
}

// A small Lambertian emitter d before a screen: transverse momenta uniform over a disc
// of radius NA, and p⊥ = r / √(r² + d²) maps the screen onto that disc with Jacobian
// cos⁴θ / d², so a bin of area A at angle θ expects N · A · cos⁴θ / (π NA² d²) rays.
analysis::LensPtr emitterLens(double d, double na) {
  tracing::registerSystemGenerator();
  tracing::registerTracingClasses();
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  auto object = lens::Surface::create();
  object->setThickness(1);
  auto source = lens::Surface::create();
  source->setThickness(d);
  auto screen = lens::Surface::create();
  for (const auto& s : {object, source, screen}) lens->insertInSurfaces(s);
  lens->setStopSurface(source);
  lens->setFieldType("Object height");
  lens->setSourceDivergenceType(2);
  lens->setSourceDivergenceValue(0.1);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  lens->generateSystemFromParaxialSpecification();
  source->setSemidiameter(1e-4);
  source->setEmissionType("Lambertian emission");
  source->emission()->setNumericalAperture(na);
  lens->setIsReady(true);
  return lens;
}

TEST(ScreenCalculator, LambertianEmitterFollowsTheCosineFourthLaw) {
  const double d = 10, na = 0.9;
  constexpr std::uint64_t N = 400000;
  for (bool threads : {false, true}) {
    SCOPED_TRACE(threads);
    auto c = platform::makeObject<ScreenCalculator>();
    c->setEmissionNumberOfRays(N);
    c->setMultithreaded(threads);
    c->setThreadCount(3);
    c->setScreenNumberOfPointsPerSide(20);
    c->setScreenDelta(2.0);
    Window window(emitterLens(d, na), c);
    ASSERT_TRUE(window.run());
    EXPECT_EQ(c->status(), "");
    const auto field = c->intensityField();
    ASSERT_TRUE(field);
    ASSERT_EQ(field->nRows(), 20u);
    double chi2 = 0;
    int bins = 0;
    for (int i = 0; i < 20; ++i)
      for (int j = 0; j < 20; ++j) {
        const double x = c->xCoordinateForIndex(i), y = c->yCoordinateForIndex(j);
        const double r = std::hypot(x, y) + std::sqrt(2.0);  // the bin's far corner
        if (r / std::hypot(r, d) >= na) continue;  // the cone's edge crosses the bin
        const double cos2 = d * d / (x * x + y * y + d * d);
        const double expected = N * 4.0 * cos2 * cos2 / (std::numbers::pi * na * na * d * d);
        const double seen = field->at(i, j);
        EXPECT_NEAR(seen, expected, 5 * std::sqrt(expected) + 0.02 * expected) << i << ", " << j;
        chi2 += (seen - expected) * (seen - expected) / expected;
        ++bins;
      }
    ASSERT_GT(bins, 150);
    // The bin-centre value of cos⁴ is good to a few tenths of a percent here; the sum
    // of squares stays near its count.
    EXPECT_LT(chi2 / bins, 2.0);
  }
}

// The rod of the example, lit by a Lambertian emitter on its object plane: the slices
// traced on copies of the lens agree ray for ray with one trace of the lens itself.
TEST(ScreenCalculator, TracerThreadsMatchOneTraceThroughALightPipe) {
  const char* resources = std::getenv("ORBELLINE_RESOURCES");
  const std::string path = resources ? std::string(resources) + "/../examples/HomogenizingRod.orb"
                                     : (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                                        "examples/HomogenizingRod.orb").string();
  tracing::registerSystemGenerator();
  tracing::registerTracingClasses();
  lens::registerArchiveClasses();
  auto root = platform::KeyedUnarchiver::unarchiveObjectWithFile(path).asDictionary();
  auto l = root.get("lens").asObject<lens::Lens>();
  ASSERT_TRUE(l);
  l->stopWatchingSelf();
  // The point source becomes a small emitter 1 mm before the rod.
  l->surfaceArray()[0]->setThickness(1);
  auto emitter = lens::Surface::create();
  emitter->setThickness(1);
  l->insertObjectInSurfaceArrayAtIndex(emitter, 1);
  l->generateSystemFromParaxialSpecification();
  emitter->setSemidiameter(0.2);
  emitter->setEmissionType("Lambertian emission");
  emitter->emission()->setNumericalAperture(0.4);
  l->setIsReady(true);

  auto c = platform::makeObject<ScreenCalculator>();
  c->setLens(l);
  const auto* emission = dynamic_cast<const tracing::RayEmission*>(emitter->emission().get());
  ASSERT_TRUE(emission);
  std::vector<Ray> one = emission->randomRaysWithCount(5003);
  std::vector<Ray> four = one;
  c->atomicTraceRays(one);
  c->atomicTraceRaysWithNumberOfThreads(four, 4);
  std::size_t alive = 0, bounced = 0;
  for (std::size_t i = 0; i < one.size(); ++i) {
    ASSERT_EQ(one[i].isAlive(), four[i].isAlive()) << i;
    ASSERT_EQ(one[i].emitter(), four[i].emitter());  // the lens's own surface again
    EXPECT_EQ(one[i].x(), four[i].x());
    EXPECT_EQ(one[i].y(), four[i].y());
    EXPECT_EQ(one[i].px(), four[i].px());
    alive += one[i].isAlive();
    bounced += std::abs(one[i].y()) > 2.0;
  }
  EXPECT_GT(alive, 4000u);
  EXPECT_GT(bounced, 100u);  // the walls were met
  EXPECT_EQ(one.front().emitter(), emitter.get());
}

// Stopping a multithreaded run, whatever it is doing, cancels and joins its tracers and
// releases the lens; the next run counts every ray.
TEST(ScreenCalculator, StoppingAThreadedTraceLeavesNothingRunning) {
  auto lens = emitterLens(10, 0.5);
  auto c = platform::makeObject<ScreenCalculator>();
  constexpr std::uint64_t N = 200000;
  c->setEmissionNumberOfRays(N);
  c->setMultithreaded(true);
  c->setThreadCount(4);
  c->setScreenDelta(20);  // every ray on the screen
  Window window(lens, c);
  window.buffer = std::make_unique<analysis::LensBuffer>(window.document, c);
  for (int attempt = 0; attempt < 3; ++attempt) {
    window.document->postLensIsReady();
    ASSERT_TRUE(pumpUntil([&] { return c->hasWorkerThread() || c->plotDictionary(); }));
    c->stopWork();
    EXPECT_FALSE(c->hasWorkerThread());
    {
      platform::Synchronized lensLock(lens.get());  // free again: no tracer holds it
    }
  }
  c->setNeedsCalculation(true);
  ASSERT_TRUE(window.settle());
  ASSERT_TRUE(c->intensityField());
  EXPECT_EQ(c->intensityField()->elementSum(), N);
}

TEST(ScreenCalculator, NoEmitterIsAnAbortAndNoLightIsAStatus) {
  auto lens = emitterLens(10, 0.5);
  {
    lens->surfaceArray()[1]->setEmission(nullptr);
    auto c = platform::makeObject<ScreenCalculator>();
    Window window(lens, c);
    window.buffer = std::make_unique<analysis::LensBuffer>(window.document, c);
    window.document->postLensIsReady();
    ASSERT_TRUE(pumpUntil([&] { return !c->status().empty() && !c->hasWorkerThread(); }));
    EXPECT_NE(c->status().find("No emission surfaces of interest"), std::string::npos) << c->status();
    EXPECT_FALSE(c->intensityField());
  }
  {
    lens = emitterLens(10, 0.5);
    auto c = platform::makeObject<ScreenCalculator>();
    c->setEmissionNumberOfRays(50);
    c->setUseCircle(true);  // a mask of radius 0 darkens every bin
    c->setMaskCircle(true);
    Window window(lens, c);
    ASSERT_TRUE(window.run());
    ASSERT_TRUE(c->intensityField());
    EXPECT_EQ(c->intensityField()->elementSum(), 0);
    EXPECT_EQ(c->status(), "No emitter ray reaches the screen");
  }
}

}  // namespace
}  // namespace orb::wavefront
