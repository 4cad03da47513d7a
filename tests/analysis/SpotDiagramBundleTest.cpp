// The spot diagram reads the traced columns; these tests hold it to rays made and traced
// one by one (tracing::raysForFields and tracing::traceRays over a span of Rays).

#include <gtest/gtest.h>

#include "ZemaxLens.h"

#include <atomic>
#include <cmath>
#include <functional>

#include "RayAnalysisTestSupport.h"
#include "analysis/SpotDiagramCalculator.h"
#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "lens/ArchiveClasses.h"
#include "lens/CircularAperture.h"
#include "platform/Thread.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {
namespace {

using testing::curvesNamed;
using testing::seriesOf;
using testing::Window;

// The Cooke triplet of lens1.zmx (3 fields, 3 waves), its first lens stopped down to a
// radius of 4.5 so that the off-axis fields lose rays there.
LensPtr clippedTriplet() {
  auto lens = support::lensFromZemaxFile(std::string(ORB_TEST_DATA_DIR) + "/lenses/lens1.zmx");
  lens->surfaceArray()[1]->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 4.5));
  return lens;
}

// Field by field, wave by wave: the live rays' (x, y) in the image surface's frame, in mm.
struct ExpectedSpot {
  std::vector<double> xs, ys;
  double weight = 1;
};

// The reference: start rays made and traced as Rays, moved into the image frame, picked
// per field and wave in order; dead rays left out.
std::vector<std::vector<ExpectedSpot>> raysTracedOneByOne(lens::Lens& lens, const tracing::pupil::Points& pupil,
                                                        std::size_t& dead, std::vector<tracing::Ray>& traced) {
  traced = tracing::raysForFields(lens, lens.fieldArray(), pupil, lens.waveArray());
  tracing::traceRays(lens, std::span<tracing::Ray>(traced), lens.imageSurface().get());
  const auto& toLocal = lens.imageSurface()->transform().globalToLocalCoordinateTransformationMatrix();
  std::vector<std::vector<ExpectedSpot>> spots(lens.countOfFieldArray(),
                                               std::vector<ExpectedSpot>(lens.countOfWaveArray()));
  dead = 0;
  for (tracing::Ray& r : traced) {
    if (!r.isAlive()) {
      ++dead;
      continue;
    }
    r.transformByMatrix(toLocal);
    const auto& fields = lens.fieldArray();
    const auto& waves = lens.waveArray();
    const auto f = std::find(fields.begin(), fields.end(), r.tags().field) - fields.begin();
    const auto w = std::find(waves.begin(), waves.end(), r.wave()) - waves.begin();
    ExpectedSpot& s = spots[static_cast<std::size_t>(f)][static_cast<std::size_t>(w)];
    s.xs.push_back(r.x());
    s.ys.push_back(r.y());
    s.weight = r.wave()->weight();
  }
  return spots;
}

std::shared_ptr<SpotDiagramCalculator> allFieldsAllWaves(std::uint64_t rays) {
  auto c = platform::makeObject<SpotDiagramCalculator>();
  c->setNumberOfRays(rays);
  c->setUnits("micron");
  return c;
}

// Points, per-field centroid and rms of the plot against the Ray-by-Ray reference, with
// and without centroid subtraction; the snapshot of Rays made from the columns against
// the reference rays.
TEST(SpotDiagramBundleTest, PlotMatchesRaysTracedOneByOne) {
  auto lens = clippedTriplet();
  auto calculator = allFieldsAllWaves(91);  // hexapolar: 5 rings
  Window window(lens, calculator);
  ASSERT_TRUE(window.run());
  calculator->setFieldOfInterest(nullptr);
  calculator->setWaveOfInterest(nullptr);
  ASSERT_TRUE(window.settle());
  ASSERT_EQ(calculator->fieldsOfInterest().size(), 3u);
  ASSERT_EQ(calculator->wavesOfInterest().size(), 3u);

  std::size_t dead = 0;
  std::vector<tracing::Ray> reference;
  const auto expected = raysTracedOneByOne(*lens, calculator->pupilCoordinatesForRealRays(), dead, reference);
  ASSERT_GT(dead, 0u);                    // the clipped lens kills some rays
  ASSERT_LT(dead, 9u * 91u / 2);          // and keeps most
  ASSERT_EQ(reference.size(), 9u * 91u);

  for (bool subtract : {true, false}) {
    SCOPED_TRACE(subtract ? "centroid subtracted" : "as traced");
    calculator->setSubtractCentroid(subtract);
    ASSERT_TRUE(window.settle());
    const auto spots = curvesNamed(window.curves(), "");
    ASSERT_EQ(spots.size(), 9u);  // per field, then per wave
    for (std::size_t f = 0; f < 3; ++f) {
      // The weighted centroid of the field's rays over its waves, in µm.
      double sx = 0, sy = 0, sw = 0;
      for (const ExpectedSpot& e : expected[f]) {
        for (std::size_t k = 0; k < e.xs.size(); ++k) sx += e.weight * e.xs[k], sy += e.weight * e.ys[k];
        sw += e.weight * static_cast<double>(e.xs.size());
      }
      const double cx = subtract ? 1000 * sx / sw : 0, cy = subtract ? 1000 * sy / sw : 0;
      double ssx = 0, ssy = 0, n = 0;
      for (std::size_t w = 0; w < 3; ++w) {
        SCOPED_TRACE(::testing::Message() << "field " << f << " wave " << w);
        const auto& spot = spots[3 * f + w];
        EXPECT_EQ(spot.get(plot::kField).asObject<lens::Field>(), lens->fieldArray()[f]);
        EXPECT_EQ(spot.get(plot::kWave).asObject<lens::Wave>(), lens->waveArray()[w]);
        const auto& xs = seriesOf(spot, plot::kXSeries);
        const auto& ys = seriesOf(spot, plot::kYSeries);
        const ExpectedSpot& e = expected[f][w];
        ASSERT_EQ(xs.count(), e.xs.size());
        ASSERT_EQ(ys.count(), e.ys.size());
        for (std::size_t k = 0; k < e.xs.size(); ++k) {
          EXPECT_NEAR(xs.at(k), 1000 * e.xs[k] - cx, 1e-9) << k;
          EXPECT_NEAR(ys.at(k), 1000 * e.ys[k] - cy, 1e-9) << k;
          ssx += std::pow(1000 * e.xs[k] - cx, 2), ssy += std::pow(1000 * e.ys[k] - cy, 2), ++n;
        }
      }
      // The layer title's rms, four significant digits.
      const std::string title = spots[3 * f].get(plot::kLayerTitle).asString();
      double rx = NAN, ry = NAN;
      ASSERT_EQ(std::sscanf(title.c_str() + title.find(": rms x "), ": rms x %lf µm, y %lf", &rx, &ry), 2) << title;
      EXPECT_NEAR(rx, std::sqrt(ssx / n), 6e-4 * rx) << title;
      EXPECT_NEAR(ry, std::sqrt(ssy / n), 6e-4 * ry) << title;
    }
  }

  // The Rays made from the columns on request: the reference rays, row for row, in the
  // image frame, dead ones with their cause and place.
  const auto rays = calculator->rays();
  ASSERT_TRUE(rays);
  ASSERT_EQ(rays->size(), reference.size());
  EXPECT_EQ(calculator->rays(), rays);  // made once, then kept
  for (std::size_t i = 0; i < rays->size(); ++i) {
    SCOPED_TRACE(i);
    const tracing::Ray &a = (*rays)[i], &b = reference[i];
    ASSERT_EQ(a.isAlive(), b.isAlive());
    EXPECT_EQ(a.tags().field, b.tags().field);
    EXPECT_EQ(a.wave(), b.wave());
    ASSERT_TRUE(a.tags().pupilCoordinate);
    EXPECT_EQ(a.tags().pupilCoordinate->x, b.tags().pupilCoordinate->x);
    EXPECT_EQ(a.tags().pupilCoordinate->y, b.tags().pupilCoordinate->y);
    if (!a.isAlive()) {
      EXPECT_STREQ(a.tags().causeOfDeath, b.tags().causeOfDeath);
      EXPECT_EQ(a.tags().diedAtSurface, b.tags().diedAtSurface);
      continue;
    }
    EXPECT_NEAR(a.x(), b.x(), 1e-12);
    EXPECT_NEAR(a.y(), b.y(), 1e-12);
    EXPECT_NEAR(a.px(), b.px(), 1e-12);
    EXPECT_NEAR(a.py(), b.py(), 1e-12);
    EXPECT_NEAR(a.opticalPathLength(), b.opticalPathLength(), 1e-9);
  }
}

// The start rays are kept only when asked for, and then are the rays made one by one.
TEST(SpotDiagramBundleTest, StartRaysKeptOnRequest) {
  auto lens = clippedTriplet();
  auto calculator = allFieldsAllWaves(19);
  Window window(lens, calculator);
  ASSERT_TRUE(window.run());
  ASSERT_TRUE(calculator->initialRays());
  EXPECT_TRUE(calculator->initialRays()->empty());

  calculator->setKeepsInitialRays(true);
  calculator->setNeedsCalculation(true);
  ASSERT_TRUE(window.settle());
  const auto start = calculator->initialRays();
  ASSERT_TRUE(start);
  const auto expected = tracing::raysForFields(*lens, calculator->fieldsOfInterest(),
                                               calculator->pupilCoordinatesForRealRays(), calculator->wavesOfInterest());
  ASSERT_EQ(start->size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE((*start)[i].isAlive());
    EXPECT_NEAR((*start)[i].x(), expected[i].x(), 1e-12);
    EXPECT_NEAR((*start)[i].y(), expected[i].y(), 1e-12);
    EXPECT_NEAR((*start)[i].pz(), expected[i].pz(), 1e-12);
    EXPECT_EQ((*start)[i].wave(), expected[i].wave());
  }
}

// A spot calculator that can be held inside its trace until the worker is cancelled.
class HeldSpotCalculator : public SpotDiagramCalculator {
 public:
  std::function<void()> beforeTrace;
  void traceRays() override {
    if (beforeTrace) beforeTrace();
    SpotDiagramCalculator::traceRays();
  }
};

// Cancelled in the middle of a calculation, or before the curves: the earlier result
// stays whole, and nothing new is published.
TEST(SpotDiagramBundleTest, CancelledRunLeavesNoPartialResult) {
  auto lens = clippedTriplet();
  auto calculator = platform::makeObject<HeldSpotCalculator>();
  calculator->setNumberOfRays(37);
  Window window(lens, calculator);
  ASSERT_TRUE(window.run());
  calculator->setFieldOfInterest(nullptr);
  calculator->setWaveOfInterest(nullptr);
  ASSERT_TRUE(window.settle());
  // From here on the test drives the stages itself.
  window.buffer.reset();
  window.updater.reset();
  testing::drainMainLoop();
  const auto bundle = calculator->tracedBundle();
  ASSERT_TRUE(bundle);
  ASSERT_EQ(bundle->rays.size(), 9u * 37u);
  ASSERT_TRUE(calculator->plotDictionary());
  const platform::Dictionary plot = *calculator->plotDictionary();

  // A larger run, cancelled while it traces.
  calculator->setNumberOfRays(20000);
  std::atomic<bool> arrived{false};
  calculator->beforeTrace = [&] {
    arrived = true;
    while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
  };
  {
    platform::WorkerThread worker("cancelled spot", [&] { calculator->calculate(); });
    while (!arrived) std::this_thread::yield();
    worker.cancel();
    worker.join();
  }
  EXPECT_EQ(calculator->tracedBundle(), bundle);
  EXPECT_EQ(calculator->rays()->size(), 9u * 37u);
  EXPECT_TRUE(calculator->needsCalculation());

  // The curves of a cancelled worker are not published.
  calculator->beforeTrace = nullptr;
  {
    platform::WorkerThread worker("cancelled curves", [&] {
      while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
      calculator->generateCurves();
    });
    worker.cancel();
    worker.join();
  }
  testing::drainMainLoop();
  ASSERT_TRUE(calculator->plotDictionary());
  EXPECT_TRUE(*calculator->plotDictionary() == plot);
}

class FailingSpot : public SpotDiagramCalculator {
 public:
  void generateInitialRays() override { platform::Exception::raise("Unsupported", "no pusher for %s", "GRIN"); }
};

// A stage that raises is the calculator's status, in words, never only a line in the log.
TEST(SpotDiagramBundleTest, RaisingWhileMakingRaysBecomesTheStatus) {
  auto calculator = platform::makeObject<FailingSpot>();
  Window window(clippedTriplet(), calculator);
  window.buffer = std::make_unique<LensBuffer>(window.document, calculator);
  window.document->postLensIsReady();
  ASSERT_TRUE(testing::pumpUntil([&] {
    return calculator->status() == "Unsupported: no pusher for GRIN" && !calculator->hasWorkerThread();
  })) << calculator->status();
  EXPECT_TRUE(calculator->exception().has_value());
}

}  // namespace
}  // namespace orb::analysis
