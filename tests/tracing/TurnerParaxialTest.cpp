#include "tracing/TurnerParaxial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lens/ArchiveClasses.h"
#include "lens/SurfaceParaxialXY.h"
#include "tracing/Pusher.h"
#include "tracing/RayWithFrame.h"
#include "tracing/SurfaceShape.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;

Ray rayAt(double x, double y, const XYZ& direction, double n = 1) {
  Ray r(XYZ{x, y, 0}, direction, n);
  r.setSurfaceNormal({0, 0, 1});
  return r;
}

XYZ unit(const XYZ& v) {
  const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}

// Carries the ray on to the plane z = `z` through the plane pusher (optical path t·|p|²).
void travelTo(Ray& r, double z) {
  r.setPosition({r.x(), r.y(), r.z() - z});
  Pusher().acquireRay(r);
  r.setPosition({r.x(), r.y(), z});
}

std::unique_ptr<Turner> turnerOf(const lens::Surface& s) { return makeTurner(s.turnerName(), shapeOfSurface(s)); }

TEST(TurnerParaxialTest, IdealLensReadsItsSurface) {
  lens::registerArchiveClasses();
  auto s = lens::Surface::create<lens::SurfaceParaxial>();
  s->parameterForTitle("f")->setValue(80);
  auto t = turnerOf(*s);
  ASSERT_TRUE(t);
  auto& lensTurner = dynamic_cast<TurnerParaxial&>(*t);
  EXPECT_EQ(lensTurner.focalLength(), 80);
  EXPECT_EQ(lensTurner.powerX(), 1.0 / 80);
  auto xy = lens::Surface::create<lens::SurfaceParaxialXY>();
  auto& xyTurner = dynamic_cast<TurnerParaxialXY&>(*turnerOf(*xy).release());
  EXPECT_EQ(xyTurner.powerX(), 0);
  EXPECT_EQ(xyTurner.powerY(), 0.01);
  EXPECT_EQ(xyTurner.focalLength(), 100);
  xyTurner.setFocalLength(50);
  EXPECT_EQ(xyTurner.powerY(), 0.02);
  EXPECT_EQ(xyTurner.powerX(), 0);
  delete &xyTurner;
}

TEST(TurnerParaxialTest, CentralRayKeepsItsDirectionAndParallelRaysMeetAtTheFocus) {
  TurnerParaxial t;
  t.setFocalLength(100);
  Ray centre = rayAt(0, 0, unit({0.05, -0.1, 1}));
  const XYZ p = centre.momentum();
  t.refractRay(centre, 1);
  EXPECT_NEAR(centre.px(), p.x, 1e-16);
  EXPECT_NEAR(centre.py(), p.y, 1e-16);
  EXPECT_NEAR(centre.pz(), p.z, 1e-16);
  Ray r = rayAt(0, 7, {0, 0, 1});
  t.refractRay(r, 1);
  EXPECT_NEAR(r.uy(), -7.0 / 100, 1e-15);
  travelTo(r, 100);
  EXPECT_NEAR(r.y(), 0, 1e-13);
}

TEST(TurnerParaxialTest, FocusedBundleArrivesWithEqualOpticalPath) {
  // Collimated, on axis and at an angle: every ray meets the focal point of its direction
  // with the same optical path: the lens gains f(1 − R) at height r for the axial bundle.
  TurnerParaxial t;
  t.setFocalLength(100);
  for (double u : {0.0, 0.1}) {
    SCOPED_TRACE(u);
    std::vector<double> paths;
    for (double x : {-20.0, -5.0, 0.0, 12.0})
      for (double y : {-15.0, 0.0, 9.0}) {
        Ray r = rayAt(x, y, unit({0, u, 1}));
        // The optical path the incoming plane wave has at (x, y): its tilt.
        r.setOpticalPathLength(y * u / std::sqrt(1 + u * u));
        const double before = r.opticalPathLength();
        t.refractRay(r, 1);
        if (u == 0) {
          const double R = std::sqrt(1 + (x * x + y * y) / (100.0 * 100.0));
          EXPECT_NEAR(r.opticalPathLength() - before, 100 * (1 - R), 1e-12);
        }
        travelTo(r, 100);
        EXPECT_NEAR(r.x(), 0, 1e-12);
        EXPECT_NEAR(r.y(), 100 * u, 1e-12);
        paths.push_back(r.opticalPathLength());
      }
    for (double p : paths) EXPECT_NEAR(p, paths.front(), 1e-11);
  }
}

TEST(TurnerParaxialTest, AnamorphicLensMakesTwoLineFoci) {
  TurnerParaxialXY t;
  t.setPowers(1.0 / 50, 1.0 / 100);
  for (auto [x, y] : {std::pair{3.0, 4.0}, std::pair{-6.0, 2.0}, std::pair{1.0, -8.0}}) {
    Ray r = rayAt(x, y, {0, 0, 1});
    t.refractRay(r, 1);
    Ray first = r, second = r;
    travelTo(first, 50);
    EXPECT_NEAR(first.x(), 0, 1e-13);  // every ray on the line x = 0 at 1/powerX
    EXPECT_NEAR(first.y(), y / 2, 1e-13);
    travelTo(second, 100);
    EXPECT_NEAR(second.y(), 0, 1e-13);  // and on y = 0 at 1/powerY
    EXPECT_NEAR(second.x(), -x, 1e-13);
  }
}

TEST(TurnerParaxialTest, LensWithoutPowerInOneSectionKeepsAFinitePath) {
  // powerY 0 makes the focal length infinite; the path must not become ∞·0.
  TurnerParaxialXY t;
  t.setPowers(0.02, 0);
  Ray r = rayAt(3, 4, unit({0.01, 0.02, 1}));
  t.refractRay(r, 1);
  EXPECT_TRUE(std::isfinite(r.opticalPathLength()));
  EXPECT_NEAR(r.uy(), 0.02, 1e-15);
  EXPECT_NEAR(r.ux(), 0.01 - 0.02 * 3, 1e-15);
}

// Power in x only (powerY 0, so 1/powerY is infinite). Across y the lens is a plane: a
// tilted ray in the y section gains nothing, as at a plane. In x it focuses a collimated
// bundle on the line x = 0 at f = 50, gaining f(1 − √(1 + (x/f)²)) at x by hand, so every
// ray reaches the line with the same optical path.
TEST(TurnerParaxialTest, LensWithoutPowerInOneSectionAddsWhatAPlaneAddsThere) {
  TurnerParaxialXY t;
  t.setPowers(0.02, 0);
  for (double y : {-8.0, 0.0, 5.0}) {
    Ray r = rayAt(0, y, unit({0, 0.1, 1}));
    t.refractRay(r, 1);
    EXPECT_EQ(r.opticalPathLength(), 0) << y;
    EXPECT_NEAR(r.uy(), 0.1, 1e-15);
  }
  for (double x : {-10.0, 0.0, 6.0, 15.0}) {
    SCOPED_TRACE(x);
    Ray r = rayAt(x, 3, {0, 0, 1});
    t.refractRay(r, 1);
    EXPECT_NEAR(r.opticalPathLength(), 50 * (1 - std::sqrt(1 + x * x / 2500)), 1e-12);
    travelTo(r, 50);
    EXPECT_NEAR(r.x(), 0, 1e-12);
    EXPECT_NEAR(r.opticalPathLength(), 50, 1e-12);
  }
}

TEST(TurnerParaxialTest, FlyEyeBendsEachRayAboutItsLensletCentre) {
  TurnerParaxialFlyEye t;
  t.setFocalLength(10);
  t.setCells(1, 2, 2, 3);  // x centres −0.5, 0.5; y centres −2, 0, 2
  struct Case {
    double x, y, cx, cy;
    bool inside;
  };
  const Case cases[] = {{0.3, 0.4, 0.5, 0, true},   {-0.3, 1.2, -0.5, 2, true}, {-0.9, -2.9, -0.5, -2, true},
                        {1.2, 0, 0, 0, false},      {0.2, 3.1, 0, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    const XYZ rel = t.relativePositionForPosition({c.x, c.y, 0});
    if (c.inside) {
      EXPECT_NEAR(rel.x, c.x - c.cx, 1e-15);
      EXPECT_NEAR(rel.y, c.y - c.cy, 1e-15);
    } else {
      EXPECT_EQ(rel.x, 0);
      EXPECT_EQ(rel.y, 0);
    }
    Ray r = rayAt(c.x, c.y, {0, 0, 1});
    t.refractRay(r, 1);
    EXPECT_EQ(r.x(), c.x);  // the ray stays where it met the array
    travelTo(r, 10);
    if (c.inside) {
      EXPECT_NEAR(r.x(), c.cx, 1e-14);
      EXPECT_NEAR(r.y(), c.cy, 1e-14);
    } else {
      EXPECT_NEAR(r.x(), c.x, 1e-14);  // passes as through a centre
      EXPECT_NEAR(r.y(), c.y, 1e-14);
    }
  }
  // Far off the array, or on an array of no pitch, a ray is outside (no integer overflow).
  EXPECT_EQ(t.relativePositionForPosition({1e300, 0, 2}), (XYZ{0, 0, 2}));
  t.setCells(0, 0, 3, 3);
  EXPECT_EQ(t.relativePositionForPosition({0.5, 0.5, 0}), (XYZ{0, 0, 0}));
}

TEST(TurnerParaxialTest, IdealMirrorReturnsParallelRaysToItsFocus) {
  TurnerParaxial t;
  t.setFocalLength(100);
  Ray r = rayAt(0, 10, {0, 0, 1});
  t.reflectRay(r);
  ASSERT_TRUE(r.isAlive());
  EXPECT_LT(r.pz(), 0);
  EXPECT_NEAR(std::hypot(r.py(), r.pz()), 1, 1e-15);
  EXPECT_NEAR(r.y() + r.uy() * -100, 0, 1e-13);  // crosses the axis f before the mirror
  // A deflection beyond the index cannot be reflected.
  t.setFocalLength(1);
  Ray far = rayAt(10, 10, {0, 0, 1});
  t.reflectRay(far);
  EXPECT_FALSE(far.isAlive());
  EXPECT_STREQ(far.tags().causeOfDeath, "TIR");
}

TEST(TurnerParaxialTest, FramedRayCarriesTheLensPower) {
  TurnerParaxialXY t;
  t.setPowers(1.0 / 40, 1.0 / 100);
  RayWithFrame r(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  r.setSurfaceNormal({0, 0, 1});
  t.refractRay(r, 1);
  EXPECT_NEAR(r.transfer()[0 * 4 + 2], -1.0 / 40, 1e-16);
  EXPECT_NEAR(r.transfer()[1 * 4 + 3], -1.0 / 100, 1e-16);
  // Off axis the basis turns with the ray.
  RayWithFrame s(XYZ{3, 4, 0}, XYZ{0, 0, 1}, 1);
  s.setSurfaceNormal({0, 0, 1});
  t.refractRay(s, 1);
  EXPECT_LT(s.misalignment(), 1e-12);
  // The paraxial operation is the exact one.
  Ray a = rayAt(3, 4, unit({0.02, 0.01, 1})), b = a;
  t.refractRay(a, 1);
  t.paraxiallyRefractRay(b, 1);
  EXPECT_EQ(a.momentum(), b.momentum());
  EXPECT_EQ(a.opticalPathLength(), b.opticalPathLength());
}

}  // namespace
}  // namespace orb::tracing
