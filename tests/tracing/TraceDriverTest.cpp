#include "tracing/TraceDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "LensFixture.h"
#include "lens/CircularAperture.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "platform/Thread.h"
#include "tracing/Ray.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;
using namespace testing;

constexpr double kR1 = 51.68;
constexpr double kLambda = 0.58756;  // the new lens's primary wave, microns

// Plano-convex N-BK7 singlet, object at infinity, image plane 50 mm behind the flat side.
std::shared_ptr<lens::Lens> singlet(double backThickness = 50) {
  return makeLens({{0, kInfinity}, {kR1, 4, nbk7()}, {0, backThickness}, {0, 0}});
}

std::vector<const platform::Object*> vertexSurfaces(const Ray& r) {
  std::vector<const platform::Object*> s;
  for (const RayVertex& v : *r.trajectory()) s.push_back(v.surface);
  return s;
}

// A ray parallel to the axis at height 10, worked through by hand: sphere crossing, vector
// Snell law into glass, the flat back face, 50 mm of air.
struct HandRay {
  XYZ image, momentum;
  double opticalPath;
};
HandRay handRay() {
  const double n = nbk7Index(kLambda), y = 10;
  const double z1 = kR1 - std::sqrt(kR1 * kR1 - y * y);
  const XYZ N{0, y / kR1, (z1 - kR1) / kR1};  // unit normal facing the incoming ray
  const double cosI = -N.z, eta = 1 / n;
  const double cosT = std::sqrt(1 - eta * eta * (1 - cosI * cosI));
  const XYZ d1{0, (eta * cosI - cosT) * N.y, eta + (eta * cosI - cosT) * N.z};
  const double s1 = (4 - z1) / d1.z;
  const double y2 = y + s1 * d1.y;
  const XYZ p2{0, n * d1.y, std::sqrt(1 - n * d1.y * n * d1.y)};  // tangential momentum kept
  const double s2 = 50 / p2.z;
  return {{0, y2 + s2 * p2.y, 54}, p2, z1 + n * s1 + s2};
}

TEST(TraceDriverTest, RealRayThroughSingletLandsWhereSnellsLawPutsIt) {
  auto lens = singlet();
  const HandRay expected = handRay();

  Ray ray({0, 10, 0}, {0, 0, 1}, 1);
  const double rate = traceRays(*lens, std::span<Ray>(&ray, 1));
  ASSERT_TRUE(ray.isAlive());
  EXPECT_GT(rate, 0);
  EXPECT_NEAR(ray.y(), expected.image.y, 1e-9);
  EXPECT_NEAR(ray.z(), expected.image.z, 1e-9);
  EXPECT_NEAR(ray.py(), expected.momentum.y, 1e-12);
  EXPECT_NEAR(ray.pz(), expected.momentum.z, 1e-12);
  EXPECT_NEAR(ray.opticalPathLength(), expected.opticalPath, 1e-9);
  EXPECT_EQ(ray.wave(), lens->primaryWave());  // a ray without wave takes the primary one

  // A framed ray follows the same path.
  RayWithFrame framed({0, 10, 0}, {0, 0, 1}, 1);
  traceRay(*lens, framed);
  ASSERT_TRUE(framed.isAlive());
  EXPECT_NEAR(framed.y(), expected.image.y, 1e-9);
}

TEST(TraceDriverTest, TargetSurfaceNeitherBendsNorTestsItsAperture) {
  auto lens = singlet();
  const auto& s = lens->surfaceArray();
  s[1]->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 5));

  Ray atTarget({0, 10, 0}, {0, 0, 1}, 1);
  traceRay(*lens, atTarget, s[1].get());
  ASSERT_TRUE(atTarget.isAlive());
  EXPECT_NEAR(atTarget.z(), kR1 - std::sqrt(kR1 * kR1 - 100), 1e-12);
  EXPECT_EQ(atTarget.momentum(), (XYZ{0, 0, 1}));  // still in air, unbent

  Ray beyond({0, 10, 0}, {0, 0, 1}, 1);
  traceRay(*lens, beyond);
  EXPECT_FALSE(beyond.isAlive());
  EXPECT_STREQ(beyond.tags().causeOfDeath, "Aperture does not pass ray");
  EXPECT_EQ(beyond.tags().diedAtSurface, s[1]->nickname());

  Ray unchecked({0, 10, 0}, {0, 0, 1}, 1);
  traceRay(*lens, unchecked, nullptr, TraceOptions::checkingApertures(false));
  EXPECT_TRUE(unchecked.isAlive());
}

TEST(TraceDriverTest, InfiniteThicknessEndsTheTrace) {
  auto lens = singlet(kInfinity);
  Ray ray({0, 10, 0}, {0, 0, 1}, 1);
  traceRay(*lens, ray);
  ASSERT_TRUE(ray.isAlive());
  EXPECT_NEAR(ray.z(), 4, 1e-12);                          // on the flat back face
  EXPECT_NEAR(ray.py(), handRay().momentum.y, 1e-12);  // and refracted there
}

TEST(TraceDriverTest, NoSurfacesOrObjectTargetVisitsNothing) {
  auto empty = lens::Lens::create();
  Ray ray({0, 1, 0}, {0, 0.1, 1}, 1);
  const Ray before = ray;
  EXPECT_EQ(traceRays(*empty, std::span<Ray>(&ray, 1)), 0.0);
  EXPECT_EQ(ray.position(), before.position());
  EXPECT_EQ(ray.momentum(), before.momentum());

  auto lens = singlet();
  EXPECT_EQ(traceRays(*lens, std::span<Ray>(&ray, 1), lens->objectSurface().get()), 0.0);
  EXPECT_EQ(ray.position(), before.position());
}

TEST(TraceDriverTest, TwoMirrorsRestoreTheForwardSide) {
  // A fold: forward 10 to a flat mirror, back 5 to another, forward 5 to a concave image
  // surface. Acquired from the wrong side, the image surface would be met at its far side.
  auto lens = makeLens({{0, kInfinity}, {0, 10}, {0, -5, nullptr, false, true}, {0, 5, nullptr, false, true},
                        {50, 0}});
  Ray ray({0, 1, 0}, {0, 0, 1}, 1);
  traceRay(*lens, ray);
  ASSERT_TRUE(ray.isAlive());
  EXPECT_GT(ray.pz(), 0);
  EXPECT_NEAR(ray.z(), 10 + (50 - std::sqrt(2500 - 1)), 1e-12);
  EXPECT_NEAR(ray.y(), 1, 1e-12);
}

TEST(TraceDriverTest, EmitterRaysComeAliveAtTheirSurface) {
  auto lens = singlet();
  const auto& s = lens->surfaceArray();
  s[2]->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 3));
  const double n = nbk7Index(kLambda);
  const XYZ direction{0, 0.1, 1};

  std::vector<Ray> rays;
  for (double y : {2.0, 3.5}) {
    Ray r({0, y, 4}, direction, n);  // already on the flat face, inside the glass
    r.setEmitter(s[2].get());
    r.setIsAlive(false);
    r.enableTrajectory();
    rays.push_back(r);
  }
  traceRays(*lens, rays);

  ASSERT_TRUE(rays[0].isAlive());
  EXPECT_EQ(vertexSurfaces(rays[0]), (std::vector<const platform::Object*>{s[2].get(), s[3].get()}));
  const double py = n * 0.1 / std::sqrt(1.01);  // tangential momentum kept into air
  EXPECT_NEAR(rays[0].py(), py, 1e-12);
  EXPECT_NEAR(rays[0].y(), 2 + 50 * py / std::sqrt(1 - py * py), 1e-9);

  EXPECT_FALSE(rays[1].isAlive());
  EXPECT_STREQ(rays[1].tags().causeOfDeath, "Aperture does not pass ray");
  EXPECT_EQ(vertexSurfaces(rays[1]), (std::vector<const platform::Object*>{s[2].get()}));
}

TEST(TraceDriverTest, DeadRayTrajectoryEndsAtTheSurfaceWhereItDied) {
  auto lens = singlet();
  const auto& s = lens->surfaceArray();
  s[2]->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 5));
  Ray ray({0, 10, 0}, {0, 0, 1}, 1);
  ray.enableTrajectory();
  traceRay(*lens, ray);
  EXPECT_FALSE(ray.isAlive());
  EXPECT_TRUE(ray.trajectoryIsFrozen());
  EXPECT_EQ(vertexSurfaces(ray), (std::vector<const platform::Object*>{s[1].get(), s[2].get()}));
  EXPECT_NEAR(ray.trajectory()->back().position.z, 4, 1e-12);  // global coordinates
}

// A surface type whose turner the tracing layer does not build.
class SurfaceWithoutTurner : public lens::Surface {
 public:
  std::string_view turnerName() const override { return "TurnerNotBuilt"; }
  std::shared_ptr<lens::Surface> makeEmpty() const override { return platform::makeObject<SurfaceWithoutTurner>(); }
};

TEST(TraceDriverTest, SurfaceWithoutTracerRaisesUnsupportedAndLeavesTheWarning) {
  auto lens = singlet();
  lens->insertObjectInSurfaceArrayAtIndex(lens::Surface::create<SurfaceWithoutTurner>(), 2);
  placeSurfaces(*lens);
  Ray ray({0, 1, 0}, {0, 0, 1}, 1);
  try {
    traceRay(*lens, ray);
    FAIL() << "the surface has no turner";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "Unsupported");
  }
  ASSERT_TRUE(lens->warningReTrace());
  EXPECT_EQ(lens->warningReTrace()->rfind("Ray trace failure (Unsupported : ", 0), 0u) << *lens->warningReTrace();

  // The next trace starts with a clean warning.
  traceRay(*lens, ray, lens->surfaceArray()[1].get());
  EXPECT_FALSE(lens->warningReTrace());
}

TEST(TraceDriverTest, CancelledTraceReturnsZero) {
  auto lens = singlet();
  std::vector<Ray> rays(10, Ray({0, 1, 0}, {0, 0, 1}, 1));
  std::atomic<double> result{-1};
  std::atomic<bool> started{false};
  platform::WorkerThread worker("trace", [&] {
    started = true;
    while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
    result = traceRays(*lens, rays);
  });
  while (!started) std::this_thread::yield();
  worker.cancel();
  worker.join();
  EXPECT_EQ(result.load(), 0.0);
}

TEST(TraceDriverTest, SemidiameterUpdateSizesAutomaticAndFloatingApertures) {
  auto lens = singlet();
  const auto& s = lens->surfaceArray();
  auto floating = lens::FloatingAperture::aperture();
  s[2]->setAperture(floating);
  std::vector<Ray> rays{Ray({0, 10, 0}, {0, 0, 1}, 1), Ray({0, -6, 0}, {0, 0, 1}, 1)};
  traceRays(*lens, rays, nullptr, {false, true, true, false});
  EXPECT_NEAR(s[1]->semidiameter(), 10, 1e-12);
  const double atBack = 10 + (4 - (kR1 - std::sqrt(kR1 * kR1 - 100))) * handRay().momentum.y /
                                 std::sqrt(std::pow(nbk7Index(kLambda), 2) - std::pow(handRay().momentum.y, 2));
  EXPECT_NEAR(s[2]->semidiameter(), atBack, 1e-9);
  EXPECT_EQ(floating->rMax(), s[2]->semidiameter());
}

}  // namespace
}  // namespace orb::tracing
