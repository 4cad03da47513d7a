#include "tracing/Pusher.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "lens/Surface.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfaceTilted.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;

void expectNear(const XYZ& a, const XYZ& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

TEST(PusherTest, ConicFromTheFrontAndInReflectedCoordinates) {
  PusherConicoid pusher(ConicShape::make(0.02, 0, "1"));
  Ray r(XYZ{0, 0, -10}, XYZ{0, 0, 1}, 1);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  EXPECT_EQ(r.position(), (XYZ{0, 0, 0}));
  EXPECT_EQ(r.surfaceNormal(), (XYZ{0, 0, -1}));
  EXPECT_DOUBLE_EQ(r.opticalPathLength(), 10);

  // The near crossing is on the inactive side: the far side of the sphere, z = 2R = 100.
  Ray back(XYZ{0, 0, -10}, XYZ{0, 0, 1}, 1);
  pusher.acquireRay(back, true);
  ASSERT_TRUE(back.isAlive());
  EXPECT_NEAR(back.z(), 100, 1e-12);
}

TEST(PusherTest, ConicCrossingLiesOnTheSphere) {
  // Off-axis, skew rays in glass: the crossing satisfies the sphere equation, the path
  // is |p|² t and the framed matrix is advanced by t.
  const double c = -0.03;
  PusherConicoid pusher(ConicShape::make(c, 0));
  for (const XYZ d : {XYZ{0.1, 0.2, 1}, XYZ{-0.3, 0.05, 1}}) {
    RayWithFrame r(XYZ{2, -3, -4}, d, 1.5);
    pusher.acquireRay(r);
    ASSERT_TRUE(r.isAlive());
    const XYZ q = r.position();
    EXPECT_NEAR(c * (q.x * q.x + q.y * q.y + q.z * q.z) - 2 * q.z, 0, 1e-13);
    const double geometric = std::hypot(q.x - 2, q.y + 3, q.z + 4);
    EXPECT_NEAR(r.opticalPathLength(), 1.5 * geometric, 1e-12);
    EXPECT_NEAR(r.transfer()[4 * 3 + 1], geometric / 1.5, 1e-12);  // t = distance/n
  }
}

TEST(PusherTest, DeathsCarryCauseAndNickname) {
  struct Case {
    const char* name;
    std::unique_ptr<Pusher> pusher;
    XYZ start, direction;
    const char* cause;
  };
  auto sphere = ConicShape::make(0.1, 0, "5");
  auto plane = ConicShape::make(0, 0, "5");
  Case cases[] = {
      {"misses-sphere", std::make_unique<PusherConicoid>(sphere), {20, 0, -5}, {0, 0, 1}, "Missed surface"},
      {"plane-parallel-ray", std::make_unique<PusherConicoid>(plane), {0, 1, -5}, {0, 1, 0}, "Missed surface"},
      {"conic-x-plane-parallel", std::make_unique<PusherConicX>(plane), {0, 1, -5}, {0, 1, 0}, "Missed surface"},
      {"flat-plane-parallel", std::make_unique<Pusher>(plane), {0, 1, -5}, {1, 0, 0}, "Missed surface"},
      {"iterative-outside-valid-region", std::make_unique<PusherIterative>(sphere), {12, 0, -5}, {0, 0, 1},
       "Terminated (invalid coord for surface)"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ray r(c.start, c.direction, 1);
    c.pusher->acquireRay(r);
    EXPECT_FALSE(r.isAlive());
    EXPECT_STREQ(r.tags().causeOfDeath, c.cause);
    EXPECT_EQ(r.tags().diedAtSurface, "5");
  }
}

TEST(PusherTest, TiltedPlane) {
  auto shape = ConicShape::make(0, 0, "T");
  shape->setTilt({0.1, 0});
  PusherTilted pusher(shape);
  Ray r(XYZ{0, 0, -5}, XYZ{0, 0, 1}, 1);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  EXPECT_EQ(r.position(), (XYZ{0, 0, 0}));
  expectNear(r.surfaceNormal(), XYZ{-0.1 / std::sqrt(1.01), 0, 1 / std::sqrt(1.01)}, 1e-15);
  EXPECT_DOUBLE_EQ(r.opticalPathLength(), 5);

  Ray backwards(XYZ{0, 0, 5}, XYZ{0, 0, -1}, 1);
  pusher.acquireRay(backwards);
  EXPECT_STREQ(backwards.tags().causeOfDeath, "PusherTilted surface miss");
}

TEST(PusherTest, IterativeAndImplicitAgreeWithTheConic) {
  const auto shape = ConicShape::make(0.04, -0.6, "A");
  PusherConicoid exact(shape);
  PusherIterative iterative(shape);
  PusherImplicit implicit(shape);
  iterative.setRayAcquisitionTolerance(1e-12);
  implicit.setRayAcquisitionTolerance(1e-12);
  for (const XYZ start : {XYZ{0, 0, -10}, XYZ{3, -2, -1}, XYZ{-6, 4, -20}}) {
    SCOPED_TRACE(foundation::toString(start));
    Ray a(start, XYZ{0.05, -0.1, 1}, 1.3), b = a, c = a;
    exact.acquireRay(a);
    iterative.acquireRay(b);
    implicit.acquireRay(c);
    ASSERT_TRUE(b.isAlive());
    ASSERT_TRUE(c.isAlive());
    expectNear(b.position(), a.position(), 1e-9);
    expectNear(c.position(), a.position(), 1e-9);
    EXPECT_NEAR(b.opticalPathLength(), a.opticalPathLength(), 1e-9);
    // Same normal up to the conicoid's orientation (−z at the vertex).
    expectNear(b.surfaceNormal(), XYZ{-a.surfaceNormal().x, -a.surfaceNormal().y, -a.surfaceNormal().z}, 1e-9);
    expectNear(c.surfaceNormal(), b.surfaceNormal(), 1e-9);
  }
}

TEST(PusherTest, ParaxialTransferToTheVertexPlane) {
  RayWithFrame r(XYZ{1, 2, -4}, XYZ{0.1, -0.2, 1}, 1.5);
  PusherConicoid(ConicShape::make(0.3, 0)).paraxiallyAcquireRay(r);
  EXPECT_NEAR(r.x(), 1.4, 1e-15);
  EXPECT_NEAR(r.y(), 1.2, 1e-15);
  EXPECT_EQ(r.z(), 0);
  EXPECT_NEAR(r.opticalPathLength(), 1.5 * 4, 1e-15);
  EXPECT_NEAR(r.aH(), 4 / 1.5, 1e-15);
}

TEST(PusherTest, LiveRaysOfASpanOnly) {
  std::vector<Ray> rays(3, Ray(XYZ{0, 0, -1}, XYZ{0, 0, 1}, 1));
  rays[1].kill(causeOfDeath::kApertureDoesNotPass);
  PusherConicoid(ConicShape::make(0.01, 0)).acquireRays(rays);
  EXPECT_EQ(rays[0].z(), 0);
  EXPECT_EQ(rays[1].z(), -1);
}

// Bit patterns, so that signed zeros and NaNs count too.
void expectSameRay(const Ray& a, const Ray& b) {
  auto bits = [](const XYZ& v) {
    return std::vector<std::uint64_t>{std::bit_cast<std::uint64_t>(v.x), std::bit_cast<std::uint64_t>(v.y),
                                      std::bit_cast<std::uint64_t>(v.z)};
  };
  EXPECT_EQ(bits(a.position()), bits(b.position()));
  EXPECT_EQ(bits(a.momentum()), bits(b.momentum()));
  EXPECT_EQ(bits(a.surfaceNormal()), bits(b.surfaceNormal()));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a.opticalPathLength()), std::bit_cast<std::uint64_t>(b.opticalPathLength()));
  EXPECT_EQ(a.isAlive(), b.isAlive());
  EXPECT_EQ(a.tags().causeOfDeath, b.tags().causeOfDeath);
  EXPECT_EQ(a.tags().diedAtSurface, b.tags().diedAtSurface);
}

// Rays from in front of and behind the vertex in all directions, a few dead, a few
// parallel to the vertex plane or not finite; more than one run of the span form.
std::vector<Ray> mixedRays() {
  std::mt19937_64 random(15);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::vector<Ray> rays;
  for (int i = 0; i < 203; ++i) {
    const XYZ q{30 * unit(random), 30 * unit(random), -20 + 25 * (unit(random) + 1) / 2};
    const XYZ d{unit(random), unit(random), i % 5 == 0 ? unit(random) : 1 + unit(random) / 2};
    rays.emplace_back(q, d, i % 3 == 0 ? 1.0 : i % 3 == 1 ? 1.5 : -1.2);
    if (i % 7 == 3) rays.back().kill(causeOfDeath::kApertureDoesNotPass, "S1");
  }
  rays.emplace_back(XYZ{1, 2, -3}, XYZ{1, 0, 0}, 1);  // parallel to the vertex plane
  rays.emplace_back(XYZ{0, 0, -5}, XYZ{0, 0, 1}, 1);  // on axis
  rays.emplace_back(XYZ{std::numeric_limits<double>::quiet_NaN(), 0, -5}, XYZ{0, 0, 1}, 1);
  rays.emplace_back(XYZ{std::numeric_limits<double>::infinity(), 0, -5}, XYZ{0, 0.1, 1}, 1);
  return rays;
}

// The span form works a run of rays at a time in columns; it must give the one-ray
// results bit for bit, deaths and their causes included.
TEST(PusherTest, SpanFormMatchesOneRayFormBitForBit) {
  struct Case {
    const char* name;
    double c, k;
  };
  const Case cases[] = {{"plane", 0, 0},          {"weak-sphere", 0.02, 0},    {"concave-paraboloid", -0.05, -1},
                        {"hyperboloid", 0.1, -2.5}, {"steep-oblate", 0.3, 2}, {"negative-zero", -0.0, 0}};
  const std::vector<Ray> start = mixedRays();
  for (const Case& c : cases) {
    for (const bool reflected : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (reflected ? " reflected" : ""));
      PusherConicoid pusher(c.c, c.k, "S3"), oneRay(c.c, c.k, "S3");
      std::vector<Ray> span = start, one = start;
      pusher.acquireRays(span, reflected);
      for (Ray& r : one)
        if (r.isAlive()) oneRay.acquireRay(r, reflected);
      int alive = 0;
      for (std::size_t i = 0; i < start.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameRay(span[i], one[i]);
        alive += span[i].isAlive();
      }
      EXPECT_GT(alive, 0);
      EXPECT_LT(alive, static_cast<int>(start.size()));
    }
  }
}

TEST(PusherTest, EachSurfaceTypeNamesItsPusher) {
  auto standard = lens::Surface::create<lens::Surface>();
  standard->setCurvature(0.02);
  auto pusher = pusherForSurface(*standard);
  ASSERT_NE(dynamic_cast<PusherConicoid*>(pusher.get()), nullptr);
  EXPECT_DOUBLE_EQ(pusher->curvature(), 0.02);

  auto asphere = lens::Surface::create<lens::SurfaceAsphere>();
  EXPECT_NE(dynamic_cast<PusherIterative*>(pusherForSurface(*asphere).get()), nullptr);

  auto tilted = lens::Surface::create<lens::SurfaceTilted>();
  tilted->setValueForKey("tiltX", 0.1);
  auto tiltedPusher = pusherForSurface(*tilted);
  auto* asTilted = dynamic_cast<PusherTilted*>(tiltedPusher.get());
  ASSERT_NE(asTilted, nullptr);
  EXPECT_DOUBLE_EQ(asTilted->tangentX(), 0.1);

  EXPECT_EQ(makePusher("PusherGraded", nullptr), nullptr);
}

}  // namespace
}  // namespace orb::tracing
