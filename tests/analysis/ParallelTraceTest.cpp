// Analyses trace over the cores; a threaded run must be the run on one thread, bit for
// bit, and must stop when its worker is cancelled.

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "RayAnalysisTestSupport.h"
#include "ZemaxLens.h"
#include "analysis/ChromaticFocalShiftCalculator.h"
#include "analysis/ParallelTrace.h"
#include "analysis/SpotDiagramCalculator.h"
#include "lens/CircularAperture.h"
#include "platform/Thread.h"
#include "tracing/RayGeneration.h"
#include "tracing/RayWithFrame.h"

namespace orb::analysis {
namespace {

using foundation::XYZ;
using testing::Window;

// Bits, so that −0 against +0 or two NaNs are told apart.
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(const XYZ& a, const XYZ& b) { return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z); }

template <class T>
bool sameColumn(const T& a, const T& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

// The Cooke triplet of lens1.zmx (3 fields, 3 waves), stopped down at its first lens so
// that the off-axis fields lose rays there.
LensPtr clippedTriplet() {
  auto lens = support::lensFromZemaxFile(std::string(ORB_TEST_DATA_DIR) + "/lenses/lens1.zmx");
  lens->surfaceArray()[1]->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 4.5));
  return lens;
}

// Every field and wave of the triplet as framed rays, `perRun` pupil points each.
std::vector<tracing::RayWithFrame> framedStartRays(lens::Lens& lens, std::uint32_t perRun) {
  const auto rays = tracing::raysForFields(
      lens, lens.fieldArray(), tracing::pupil::hexapolarArrayOfPointsInUnitCircle(perRun), lens.waveArray());
  return {rays.begin(), rays.end()};
}

void expectSameFramedRays(const std::vector<tracing::RayWithFrame>& got,
                          const std::vector<tracing::RayWithFrame>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    const auto &a = got[i], &b = expected[i];
    ASSERT_EQ(a.isAlive(), b.isAlive()) << i;
    ASSERT_EQ(a.tags().causeOfDeath, b.tags().causeOfDeath) << i;
    ASSERT_TRUE(sameBits(a.position(), b.position())) << i;
    ASSERT_TRUE(sameBits(a.momentum(), b.momentum())) << i;
    ASSERT_TRUE(sameBits(a.opticalPathLength(), b.opticalPathLength())) << i;
    ASSERT_TRUE(sameBits(a.e1(), b.e1()) && sameBits(a.e2(), b.e2()) && sameBits(a.e3(), b.e3())) << i;
    for (std::size_t k = 0; k < a.transfer().size(); ++k) ASSERT_TRUE(sameBits(a.transfer()[k], b.transfer()[k])) << i;
  }
}

// The spot diagram of 9 runs of about 2000 rays (past the analyses' threshold) on eight
// threads against one: the same columns, the same plot.
TEST(ParallelTrace, SpotDiagramOnEightThreadsIsTheSerialRun) {
  auto calculator = platform::makeObject<SpotDiagramCalculator>();
  calculator->setNumberOfRays(2000);
  Window window(clippedTriplet(), calculator);
  std::shared_ptr<const RaysCalculator::TracedBundle> serial;
  platform::Dictionary serialPlot;
  {
    tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    ASSERT_TRUE(window.run());
    calculator->setFieldOfInterest(nullptr);
    calculator->setWaveOfInterest(nullptr);
    ASSERT_TRUE(window.settle());
    serial = calculator->tracedBundle();
    ASSERT_TRUE(serial && calculator->plotDictionary());
    serialPlot = *calculator->plotDictionary();
  }
  const tracing::RayBundle& s = serial->rays;
  ASSERT_GE(s.size(), kAnalysisParallelTraceRays);
  std::size_t dead = 0;
  for (std::size_t i = 0; i < s.size(); ++i) dead += !s.alive[i];
  ASSERT_GT(dead, 0u);  // the stop kills rays: their causes and places are compared too

  tbb::global_control eight(tbb::global_control::max_allowed_parallelism, 8);
  calculator->setPlotDictionary(std::nullopt);
  calculator->setNeedsCalculation(true);
  ASSERT_TRUE(window.settle());
  const auto threaded = calculator->tracedBundle();
  ASSERT_TRUE(threaded);
  ASSERT_NE(threaded, serial);
  const tracing::RayBundle& t = threaded->rays;
  EXPECT_TRUE(sameColumn(t.qx, s.qx) && sameColumn(t.qy, s.qy) && sameColumn(t.qz, s.qz));
  EXPECT_TRUE(sameColumn(t.px, s.px) && sameColumn(t.py, s.py) && sameColumn(t.pz, s.pz));
  EXPECT_TRUE(sameColumn(t.opticalPathLength, s.opticalPathLength));
  EXPECT_TRUE(sameColumn(t.alive, s.alive) && sameColumn(t.causeOfDeath, s.causeOfDeath) &&
              sameColumn(t.diedAt, s.diedAt));
  EXPECT_TRUE(sameColumn(t.field, s.field) && sameColumn(t.wave, s.wave));
  ASSERT_TRUE(calculator->plotDictionary());
  EXPECT_TRUE(*calculator->plotDictionary() == serialPlot);
}

// Framed rays in chunks over eight threads against one trace on one thread, on the
// clipped triplet (rays dying at the stop, to the image and to an inner surface) and on
// an even asphere (the iterative crossing); the lens's trace warning stays clear.
TEST(ParallelTrace, FramedRaysInChunksAreOneTrace) {
  struct Case {
    const char* name;
    LensPtr lens;
    int target;  // surface index; -1 for the last
  };
  const Case cases[] = {
      {"clipped triplet", clippedTriplet(), -1},
      {"clipped triplet to surface 3", clippedTriplet(), 3},
      {"even asphere",
       support::lensFromZemaxFile(std::string(ORB_TEST_DATA_DIR) + "/lenses/lens_thorlabs_iso_8859_1.zmx"), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lens::Lens& lens = *c.lens;
    const lens::Surface* target =
        c.target < 0 ? nullptr : lens.surfaceArray()[static_cast<std::size_t>(c.target)].get();
    const auto start = framedStartRays(lens, 2500);
    ASSERT_GT(start.size(), 4 * kFramedChunkRays);
    auto expected = start;
    {
      tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
      tracing::traceRays(lens, std::span<tracing::RayWithFrame>(expected), target);
    }
    lens.setWarningReTrace("left from before");
    auto got = start;
    {
      tbb::global_control eight(tbb::global_control::max_allowed_parallelism, 8);
      traceFramedRays(lens, std::span<tracing::RayWithFrame>(got), target, {});
    }
    expectSameFramedRays(got, expected);
    EXPECT_FALSE(lens.warningReTrace());
  }
}

// A cancelled worker's chunks are not traced by the pool threads (which have no cancelled
// flag of their own): past the calling thread's first chunk every ray stands where it
// started.
TEST(ParallelTrace, CancelledWorkerStopsTheChunks) {
  auto lens = clippedTriplet();
  const auto start = framedStartRays(*lens, 1000);
  auto rays = start;
  {
    tbb::global_control eight(tbb::global_control::max_allowed_parallelism, 8);
    platform::WorkerThread worker("cancelled framed trace", [&] {
      while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
      traceFramedRays(*lens, std::span<tracing::RayWithFrame>(rays), nullptr, {});
    });
    worker.cancel();
    worker.join();
  }
  std::size_t moved = 0;
  for (std::size_t i = kFramedChunkRays; i < rays.size(); ++i)
    moved += !sameBits(rays[i].position(), start[i].position());
  EXPECT_EQ(moved, 0u) << "of " << rays.size() - kFramedChunkRays;
}

// The chromatic focal shift's framed trace on eight threads: the same curves as on one.
TEST(ParallelTrace, ChromaticFocalShiftOnEightThreadsIsTheSerialRun) {
  auto calculator = platform::makeObject<ChromaticFocalShiftCalculator>();
  calculator->setNumberOfRays(3000);  // one chief ray per wave of the scan: six chunks
  Window window(clippedTriplet(), calculator);
  platform::Dictionary serialPlot;
  {
    tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    ASSERT_TRUE(window.run());
    ASSERT_TRUE(calculator->plotDictionary());
    serialPlot = *calculator->plotDictionary();
  }
  tbb::global_control eight(tbb::global_control::max_allowed_parallelism, 8);
  calculator->setPlotDictionary(std::nullopt);
  calculator->setNeedsCalculation(true);
  ASSERT_TRUE(window.settle());
  ASSERT_TRUE(calculator->plotDictionary());
  EXPECT_TRUE(*calculator->plotDictionary() == serialPlot);
}

}  // namespace
}  // namespace orb::analysis
