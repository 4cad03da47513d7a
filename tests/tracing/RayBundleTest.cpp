#include "tracing/RayBundle.h"

#include <gtest/gtest.h>

#include "ZemaxLens.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <cmath>
#include <string>
#include <vector>

#include "interchange/ZemaxReader.h"
#include "lens/ArchiveClasses.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Thread.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayGeneration.h"
#include "tracing/Regeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

// A folded system that leaves every column kernel and every fallback something to do:
// a conic stop surface, an even asphere (iterative pusher), a decentred and tilted break,
// a paraboloid mirror, a break back, a clear aperture that clips, two fields, three waves.
constexpr const char* kFoldedAsphere = R"(MODE SEQ
UNIT MM X W X CM MR CPMM
ENPD 20
FTYP 0 0 2 3 0 0 0
XFLN 0 1.5
YFLN 0 4
WAVM 1 0.4861327 1
WAVM 2 0.5875618 1
WAVM 3 0.6562725 1
PWAV 2
SURF 0
  TYPE STANDARD
  DISZ INFINITY
SURF 1
  STOP
  TYPE STANDARD
  CURV 0.02
  CONI -0.6
  DISZ 6
  GLAS N-BK7 1 0 1.5168 64.17
  DIAM 12
SURF 2
  TYPE EVENASPH
  CURV -0.008
  PARM 2 2e-6
  PARM 3 -3e-9
  DISZ 10
  CLAP 0 9.2
SURF 3
  TYPE COORDBRK
  PARM 1 0.4
  PARM 2 -0.7
  PARM 3 4
  PARM 4 -3
  DISZ 0
SURF 4
  TYPE STANDARD
  CURV -0.006
  CONI -1
  GLAS MIRROR
  DISZ -60
SURF 5
  TYPE COORDBRK
  PARM 3 -2
  DISZ -5
SURF 6
  TYPE STANDARD
  CURV 0.004
  DISZ 0
)";

std::shared_ptr<lens::Lens> foldedAsphere() { return support::lensFromZemaxText(kFoldedAsphere); }

bool near(double a, double b) { return std::abs(a - b) <= 1e-12 * std::max(1.0, std::abs(b)); }

// The columns (a bundle, and plain rays carried as columns) against the one-ray pushers
// and turners, which a ray that records its trajectory still takes: same fate, same place
// of death, and position, momentum and optical path to 1e-12.
TEST(RayBundleTest, ColumnsAgreeWithTheOneRayCodeOnAFoldedAsphere) {
  auto lens = foldedAsphere();
  ASSERT_GE(lens->surfaceArray().size(), 7u);
  const std::vector<Ray> start = raysForFields(*lens, lens->fieldArray(), pupil::squareArrayOfPointsInUnitCircle(600),
                                               lens->waveArray());
  ASSERT_GT(start.size(), 3000u);

  std::vector<Ray> oneByOne = start;
  for (Ray& r : oneByOne) r.enableTrajectory();
  traceRays(*lens, oneByOne);
  std::vector<Ray> columns = start;
  traceRays(*lens, columns);
  RayBundle bundle;
  for (const Ray& r : start) bundle.append(r);
  traceRays(*lens, bundle);
  ASSERT_EQ(bundle.size(), start.size());

  std::size_t alive = 0, clipped = 0;
  for (std::size_t i = 0; i < start.size(); ++i) {
    const Ray& expected = oneByOne[i];
    alive += expected.isAlive();
    clipped += expected.tags().causeOfDeath == causeOfDeath::kApertureDoesNotPass;
    for (const Ray& got : {columns[i], bundle.ray(i)}) {
      SCOPED_TRACE(i);
      ASSERT_EQ(got.isAlive(), expected.isAlive());
      EXPECT_EQ(got.wave(), expected.wave());
      if (!expected.isAlive()) {
        EXPECT_STREQ(got.tags().causeOfDeath, expected.tags().causeOfDeath);
        EXPECT_EQ(got.tags().diedAtSurface, expected.tags().diedAtSurface);
        continue;
      }
      EXPECT_EQ(got.isReflected(), expected.isReflected());
      EXPECT_TRUE(near(got.x(), expected.x()) && near(got.y(), expected.y()) && near(got.z(), expected.z()))
          << got.description() << " vs " << expected.description();
      EXPECT_TRUE(near(got.px(), expected.px()) && near(got.py(), expected.py()) && near(got.pz(), expected.pz()))
          << got.description() << " vs " << expected.description();
      EXPECT_TRUE(near(got.opticalPathLength(), expected.opticalPathLength()));
    }
  }
  // The case is only worth something when most rays get through and some are clipped.
  EXPECT_GT(alive, start.size() / 2);
  EXPECT_GT(clipped, 0u);
}

// A thick glass lens whose rim rays leave every per-row case to the one-pass conic
// kernel: rays that miss the steep back surface (left to the one-ray acquisition), rays
// clipped by the back surface's circular aperture, rays totally reflected inside the
// glass; then a mirror. Columns and bundle against the one-ray code, as above.
constexpr const char* kRimCases = R"(MODE SEQ
UNIT MM X W X CM MR CPMM
ENPD 19
FTYP 0 0 2 2 0 0 0
XFLN 0 0
YFLN 0 12
WAVM 1 0.4861327 1
WAVM 2 0.6562725 1
PWAV 1
SURF 0
  TYPE STANDARD
  DISZ INFINITY
SURF 1
  STOP
  TYPE STANDARD
  CURV 0.1
  DISZ 6
  GLAS N-SF11 1 0 1.78472 25.68
SURF 2
  TYPE STANDARD
  CURV -0.16
  CONI -0.3
  DISZ 8
  CLAP 0 5
SURF 3
  TYPE STANDARD
  CURV 0.01
  GLAS MIRROR
  DISZ -20
SURF 4
  TYPE STANDARD
  CURV 0
  DISZ 0
)";

TEST(RayBundleTest, OnePassAgreesWithTheOneRayCodeAtTheRim) {
  auto lens = support::lensFromZemaxText(kRimCases);
  const std::vector<Ray> start = raysForFields(*lens, lens->fieldArray(), pupil::squareArrayOfPointsInUnitCircle(900),
                                               lens->waveArray());
  std::vector<Ray> oneByOne = start;
  for (Ray& r : oneByOne) r.enableTrajectory();
  traceRays(*lens, oneByOne);
  std::vector<Ray> columns = start;
  traceRays(*lens, columns);
  RayBundle bundle;
  for (const Ray& r : start) bundle.append(r);
  traceRays(*lens, bundle);

  std::size_t alive = 0, clipped = 0, reflected = 0, missed = 0;
  for (std::size_t i = 0; i < start.size(); ++i) {
    const Ray& expected = oneByOne[i];
    const char* cause = expected.tags().causeOfDeath;
    alive += expected.isAlive();
    if (cause) {
      clipped += std::string(cause) == causeOfDeath::kApertureDoesNotPass;
      reflected += std::string(cause) == causeOfDeath::kTIR;
      missed += std::string(cause) != causeOfDeath::kApertureDoesNotPass && std::string(cause) != causeOfDeath::kTIR;
    }
    for (const Ray& got : {columns[i], bundle.ray(i)}) {
      SCOPED_TRACE(i);
      ASSERT_EQ(got.isAlive(), expected.isAlive());
      if (!expected.isAlive()) {
        EXPECT_STREQ(got.tags().causeOfDeath, expected.tags().causeOfDeath);
        EXPECT_EQ(got.tags().diedAtSurface, expected.tags().diedAtSurface);
        continue;
      }
      EXPECT_TRUE(near(got.x(), expected.x()) && near(got.y(), expected.y()) && near(got.z(), expected.z()))
          << got.description() << " vs " << expected.description();
      EXPECT_TRUE(near(got.px(), expected.px()) && near(got.py(), expected.py()) && near(got.pz(), expected.pz()))
          << got.description() << " vs " << expected.description();
      EXPECT_TRUE(near(got.opticalPathLength(), expected.opticalPathLength()));
    }
  }
  EXPECT_GT(alive, 0u);
  EXPECT_GT(clipped, 0u);
  EXPECT_GT(reflected, 0u);
  EXPECT_GT(missed, 0u);
}

// A bundle keeps what analyses read from a ray: field tag, wave, cause and place of death.
TEST(RayBundleTest, RowsComeBackAsTheRaysTheyWere) {
  auto lens = foldedAsphere();
  std::vector<Ray> rays =
      raysForFields(*lens, lens->fieldArray(), pupil::squareArrayOfPointsInUnitCircle(20), lens->waveArray());
  ASSERT_FALSE(rays.empty());
  rays.front().kill(causeOfDeath::kTIR, "s2");
  RayBundle bundle;
  for (const Ray& r : rays) bundle.append(r);
  for (std::size_t i = 0; i < rays.size(); ++i) {
    const Ray back = bundle.ray(i);
    EXPECT_EQ(back.position(), rays[i].position());
    EXPECT_EQ(back.momentum(), rays[i].momentum());
    EXPECT_EQ(back.wave(), rays[i].wave());
    EXPECT_EQ(back.tags().field, rays[i].tags().field);
    EXPECT_EQ(back.isAlive(), rays[i].isAlive());
  }
  EXPECT_STREQ(bundle.ray(0).tags().causeOfDeath, causeOfDeath::kTIR);
  EXPECT_EQ(bundle.ray(0).tags().diedAtSurface, "s2");
  EXPECT_LE(bundle.waves.size(), 3u);
}

// Rays written straight into columns are the rays raysForFields makes, row for row, with a
// vignetted field and the pupil stamp; a bundle filled again for other fields and waves
// keeps nothing of its earlier contents.
TEST(RayBundleTest, GeneratedColumnsAreTheGeneratedRays) {
  auto lens = foldedAsphere();
  auto fields = lens->fieldArray();
  ASSERT_EQ(fields.size(), 2u);
  fields[1]->setPYA(-0.8);
  fields[1]->setPYB(0.6);
  const auto pupil = pupil::squareArrayOfPointsInUnitCircle(200);
  std::vector<foundation::XY> beyond(pupil.begin(), pupil.end());
  beyond.push_back({0.9, 0.9});  // outside the unit pupil: stamped dead

  RayBundle reused;
  ASSERT_TRUE(fillBundleForFields(reused, *lens, {fields[0]}, pupil, {lens->waveArray()[0]}));
  for (bool restrict : {false, true}) {
    SCOPED_TRACE(restrict);
    const std::vector<Ray> expected = raysForFields(*lens, fields, beyond, lens->waveArray(), restrict);
    const std::optional<RayBundle> fresh = bundleForFields(*lens, fields, beyond, lens->waveArray(), restrict);
    ASSERT_TRUE(fresh);
    ASSERT_TRUE(fillBundleForFields(reused, *lens, fields, beyond, lens->waveArray(), restrict));
    for (const RayBundle* b : {&*fresh, static_cast<const RayBundle*>(&reused)}) {
      ASSERT_EQ(b->size(), expected.size());
      EXPECT_EQ(b->waves.size(), 3u);
      EXPECT_EQ(b->fields.size(), 2u);
      for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const Ray got = b->ray(i);
        const Ray& want = expected[i];
        ASSERT_EQ(got.isAlive(), want.isAlive());
        EXPECT_EQ(got.wave(), want.wave());
        EXPECT_EQ(got.tags().field, want.tags().field);
        EXPECT_TRUE(near(got.x(), want.x()) && near(got.y(), want.y()) && near(got.z(), want.z()));
        EXPECT_TRUE(near(got.px(), want.px()) && near(got.py(), want.py()) && near(got.pz(), want.pz()));
        EXPECT_TRUE(near(got.opticalPathLength(), want.opticalPathLength()));
      }
    }
    EXPECT_EQ(fresh->alive.back(), restrict ? 0 : 1);
  }
}

// A cancelled worker gets no half-made bundle: the pool threads stop at their next chunk
// and the rows they skipped are never handed on.
TEST(RayBundleTest, CancelledGenerationLeavesNoRows) {
  auto lens = foldedAsphere();
  const auto pupil = pupil::squareArrayOfPointsInUnitCircle(100000);
  RayBundle bundle;
  std::atomic<bool> started{false}, filled{true};
  platform::WorkerThread worker("generate", [&] {
    started = true;
    while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
    filled = fillBundleForFields(bundle, *lens, lens->fieldArray(), pupil, lens->waveArray());
  });
  while (!started) std::this_thread::yield();
  worker.cancel();
  worker.join();
  EXPECT_FALSE(filled);
  EXPECT_TRUE(bundle.empty());
}

}  // namespace
}  // namespace orb::tracing
