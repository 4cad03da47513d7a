#include "tracing/Diffracter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "LensFixture.h"
#include "lens/ArchiveClasses.h"
#include "lens/SurfaceDiffuser.h"
#include "lens/SurfaceGrating.h"
#include "lens/SurfaceKinoform.h"
#include "lens/Wave.h"
#include "tracing/RayWithFrame.h"
#include "tracing/SurfaceShape.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;
constexpr double kDegree = std::numbers::pi / 180;

std::shared_ptr<lens::Wave> waveOf(double microns) {
  auto w = lens::Wave::wave();
  w->setWavelengthInMicrons(microns);
  return w;
}

std::shared_ptr<lens::SurfaceGrating> grating(double linesPerMicron, double order) {
  auto s = lens::Surface::create<lens::SurfaceGrating>();
  s->parameterForTitle("T")->setValue(linesPerMicron);
  s->parameterForTitle("m")->setValue(order);
  return s;
}

std::unique_ptr<Turner> diffracterOf(const lens::Surface& s) { return makeTurner(s.turnerName(), shapeOfSurface(s)); }

// A ray on the vertex plane at height y travelling at `degrees` from the axis in the y–z
// plane, in a medium of index n, with the plane's normal.
template <class R = Ray>
R rayAt(double y, double degrees, double n, double microns) {
  R r(XYZ{0, y, 0}, XYZ{0, std::sin(degrees * kDegree), std::cos(degrees * kDegree)}, n);
  r.setSurfaceNormal({0, 0, 1});
  r.setWave(waveOf(microns));
  return r;
}

TEST(DiffracterTest, GratingFollowsTheGratingEquation) {
  struct Case {
    const char* name;
    double T, m, microns, incidence, n0, n1;
  };
  // n′ sin θ′ = n sin θ + m λ T, λ in µm, T in lines per µm.
  const Case cases[] = {
      {"600/mm, 0.5 µm, first order", 0.6, 1, 0.5, 0, 1, 1},
      {"1/µm, 0.5 µm, first order", 1, 1, 0.5, 0, 1, 1},
      {"minus first order, oblique", 0.6, -1, 0.55, 10, 1, 1},
      {"glass to air, second order", 0.3, 2, 0.6328, -5, 1.5, 1},
      {"air into glass", 0.8, 1, 0.45, 20, 1, 1.6},
      {"no lines: plain refraction", 0, 1, 0.55, 25, 1, 1.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = grating(c.T, c.m);
    auto turner = diffracterOf(*s);
    ASSERT_TRUE(turner);
    Ray r = rayAt(0, c.incidence, c.n0, c.microns);
    turner->refractRay(r, c.n1);
    ASSERT_TRUE(r.isAlive());
    const double expected = (c.n0 * std::sin(c.incidence * kDegree) + c.m * c.microns * c.T) / c.n1;
    EXPECT_NEAR(r.py() / c.n1, expected, 1e-14);
    EXPECT_NEAR(r.px(), 0, 1e-15);  // the lines run along x
    EXPECT_NEAR(std::hypot(r.py(), r.pz()), c.n1, 1e-14);
    EXPECT_GT(r.pz(), 0);
  }
  // The numbers that identify the law: 17.4576° and 30°.
  Ray r = rayAt(0, 0, 1, 0.5);
  diffracterOf(*grating(0.6, 1))->refractRay(r, 1);
  EXPECT_NEAR(std::atan2(r.py(), r.pz()) / kDegree, 17.4576, 5e-5);
  r = rayAt(0, 0, 1, 0.5);
  diffracterOf(*grating(1, 1))->refractRay(r, 1);
  EXPECT_NEAR(std::atan2(r.py(), r.pz()) / kDegree, 30, 1e-12);
}

TEST(DiffracterTest, AnOrderThatCannotPropagateDies) {
  auto s = grating(1, 3);  // sin θ′ = 1.5
  Ray r = rayAt(0, 0, 1, 0.5);
  const XYZ before = r.momentum();
  diffracterOf(*s)->refractRay(r, 1);
  EXPECT_FALSE(r.isAlive());
  EXPECT_STREQ(r.tags().causeOfDeath, "TIR");
  EXPECT_EQ(r.tags().diedAtSurface, s->nickname());
  EXPECT_EQ(r.momentum(), before);
  // The span form kills the same ray and bends its neighbour.
  std::vector<Ray> rays{rayAt(0, 0, 1, 0.5), rayAt(0, 0, 1, 0.2)};
  diffracterOf(*s)->refractRays(rays, 1);
  EXPECT_FALSE(rays[0].isAlive());
  ASSERT_TRUE(rays[1].isAlive());
  EXPECT_NEAR(rays[1].py(), 0.6, 1e-15);
}

TEST(DiffracterTest, RaysOfOneOrderLeaveInPhase) {
  // The path gained is λφ/2π = λ·1000·T·m·y (λ in mm): across the grating it makes up
  // exactly the tilt of the diffracted wavefront, y·sin θ′.
  auto s = grating(0.6, 1);
  auto turner = diffracterOf(*s);
  std::vector<double> wavefront;
  for (double y : {-3.0, 0.0, 1.5, 4.0}) {
    Ray r = rayAt(y, 0, 1, 0.5);
    turner->refractRay(r, 1);
    EXPECT_NEAR(r.opticalPathLength(), 0.5e-3 * 1000 * 0.6 * y, 1e-15);
    // Optical path on to the plane through the origin normal to the diffracted direction.
    const double sinT = r.py() / std::hypot(r.py(), r.pz());
    wavefront.push_back(r.opticalPathLength() - y * sinT);
  }
  for (double w : wavefront) EXPECT_NEAR(w, wavefront.front(), 1e-15);
  // No lines, no gain.
  Ray r = rayAt(2, 0, 1, 0.5);
  diffracterOf(*grating(0, 1))->refractRay(r, 1.5);
  EXPECT_EQ(r.opticalPathLength(), 0);
}

TEST(DiffracterTest, MirrorGratingFollowsTheGratingEquationOnReflection) {
  // 0.2 lines/µm (d = 5 µm) at λ = 0.55 µm: mλ/d = 0.11 m. The tangential momentum gains
  // mλ/d along the grating vector (+y) as on refraction; the normal part is rebuilt on the
  // incoming side. With θ the incidence and θ′ the exit angle, both from the normal with
  // the sign of their y components, sin θ′ = sin θ + mλ/d; the specular ray has θ′ = θ.
  struct Case {
    const char* name;
    double m, incidence;
  };
  const Case cases[] = {
      {"order 0 is the mirror", 0, 0},          {"order +1, normal incidence", 1, 0},
      {"order -1, normal incidence", -1, 0},    {"order +1, oblique", 1, 20},
      {"order -2, oblique from below", -2, -15}, {"order 0, oblique", 0, 35},
  };
  // asin(0.11) = 0.110223050 rad, from its series x + x³/6 + 3x⁵/40 + 15x⁷/336.
  constexpr double kAsinFirstOrder = 0.110223050;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = grating(0.2, c.m);
    Ray r = rayAt(1, c.incidence, 1, 0.55);
    diffracterOf(*s)->reflectRay(r);
    ASSERT_TRUE(r.isAlive());
    EXPECT_LT(r.pz(), 0);  // back into the incoming medium
    EXPECT_NEAR(std::hypot(r.py(), r.pz()), 1, 1e-15);
    EXPECT_NEAR(r.px(), 0, 1e-15);
    const double sinIn = std::sin(c.incidence * kDegree);
    EXPECT_NEAR(r.py(), sinIn + c.m * 0.11, 1e-15);
    // Turn from the specular direction (0, sin θ, −cos θ).
    const double turn = std::asin(r.py()) - c.incidence * kDegree;
    if (c.incidence == 0) EXPECT_NEAR(turn, c.m * kAsinFirstOrder, 1e-9);
    if (c.m == 0) EXPECT_EQ(r.opticalPathLength(), 0);
  }
  // Order 0 is the plain mirror bit for bit; a propagating order is not.
  Ray mirror = rayAt(1, 12, 1, 0.55), zero = mirror, first = mirror;
  Turner().reflectRay(mirror);
  diffracterOf(*grating(0.2, 0))->reflectRay(zero);
  diffracterOf(*grating(0.2, 1))->reflectRay(first);
  EXPECT_EQ(zero.momentum(), mirror.momentum());
  EXPECT_GT(std::abs(first.py() - mirror.py()), 0.1);
  // The same grating in transmission is unchanged: sin θ′ = 0.11 forward.
  Ray through = rayAt(1, 0, 1, 0.55);
  diffracterOf(*grating(0.2, 1))->refractRay(through, 1);
  EXPECT_NEAR(through.py(), 0.11, 1e-15);
  EXPECT_GT(through.pz(), 0);
  // sin θ′ = 10 · 0.11 > 1: no reflected wave in that order.
  Ray lost = rayAt(1, 0, 1, 0.55);
  diffracterOf(*grating(0.2, 10))->reflectRay(lost);
  EXPECT_FALSE(lost.isAlive());
  EXPECT_STREQ(lost.tags().causeOfDeath, "TIR");
  // The span form, as the trace calls it, diffracts too.
  std::vector<Ray> rays{rayAt(1, 0, 1, 0.55)};
  diffracterOf(*grating(0.2, 1))->reflectRays(rays);
  EXPECT_NEAR(rays[0].py(), 0.11, 1e-15);
}

TEST(DiffracterTest, TraceOffAMirrorGratingLandsOnTheOrdersSpot) {
  // Light along the axis, a mirror grating 10 on, back 10 to the image plane: order m
  // lands at y = 10·tan(asin(0.11 m)), the +y kick of the grating vector; order 0 on the axis.
  for (double m : {0.0, 1.0, -1.0}) {
    SCOPED_TRACE(m);
    auto l = testing::makeLens({{0, testing::kInfinity}, {0, 10}, {0, 0}});
    auto g = grating(0.2, m);
    g->setThickness(-10);
    g->setIsMirror(true);
    l->insertObjectInSurfaceArrayAtIndex(g, 2);
    testing::placeSurfaces(*l);
    Ray r(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
    r.setWave(waveOf(0.55));
    traceRay(*l, r);
    ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
    EXPECT_NEAR(r.z(), 0, 1e-12);
    EXPECT_NEAR(r.y(), 10 * std::tan(std::asin(0.11 * m)), 1e-12);
    EXPECT_LT(r.pz(), 0);
  }
}

TEST(DiffracterTest, FramedRayFollowsTheReflectedOrder) {
  // Order 0: the plain mirror's matrix and basis. Order +1 at 20°: the basis stays on the
  // ray (its third axis against the momentum, as after any reflection) and a flat grating
  // has only the anamorphic cos θ / cos θ′ scaling, as in transmission.
  auto incoming = rayAt<RayWithFrame>(1, 20, 1, 0.55);
  auto mirror = incoming, zero = incoming, first = incoming;
  auto plain = grating(0.2, 0);
  TurnerStandard(shapeOfSurface(*plain)).reflectRay(mirror);
  diffracterOf(*plain)->reflectRay(zero);
  diffracterOf(*grating(0.2, 1))->reflectRay(first);
  EXPECT_EQ(zero.transfer(), mirror.transfer());
  EXPECT_EQ(zero.e2(), mirror.e2());
  EXPECT_EQ(zero.e3(), mirror.e3());
  ASSERT_TRUE(first.isAlive());
  EXPECT_LT(first.misalignment(), 1e-12);
  EXPECT_TRUE(first.isRetrograde());
  const double s1 = std::sin(20 * kDegree) + 0.11;
  const double anamorphic = std::cos(20 * kDegree) / std::sqrt(1 - s1 * s1);
  EXPECT_NEAR(first.transfer()[1 * 4 + 1], anamorphic, 1e-12);
  EXPECT_NEAR(first.transfer()[3 * 4 + 3], 1 / anamorphic, 1e-12);
  EXPECT_NEAR(first.transfer()[1 * 4 + 3], 0, 1e-15);
  EXPECT_NEAR(first.transfer()[0 * 4 + 2], 0, 1e-15);
}

// A flat kinoform of phase −π r²/(λ0 f): a diffractive lens of focal length f at λ0.
std::shared_ptr<lens::SurfaceKinoform> diffractiveLens(double f, double microns0) {
  auto s = lens::Surface::create<lens::SurfaceKinoform>();
  s->parameterForTitle("nterm")->setValue(1);
  s->parameterForTitle("rnorm")->setValue(1);
  s->parameterForTitle("b2")->setValue(-std::numbers::pi / (microns0 * 1e-3 * f));
  return s;
}

TEST(DiffracterTest, KinoformFocusesAsADiffractiveLens) {
  auto s = diffractiveLens(100, 0.55);
  auto turner = diffracterOf(*s);
  // Exact: the local grating at height r turns a parallel ray by sin θ′ = −r/f at λ0, and
  // by −(λ/λ0)·r/f at another wavelength.
  for (double microns : {0.55, 0.45}) {
    Ray r = rayAt(5, 0, 1, microns);
    turner->refractRay(r, 1);
    EXPECT_NEAR(r.py(), -(microns / 0.55) * 5 / 100, 1e-14) << microns;
  }
  // Paraxial: the slope −y/f, and the framed ray's matrix holds the power 1/f.
  auto p = rayAt<RayWithFrame>(5, 0, 1, 0.55);
  turner->paraxiallyRefractRay(p, 1);
  EXPECT_NEAR(p.uy(), -5.0 / 100, 1e-14);
  EXPECT_NEAR(p.transfer()[1 * 4 + 3], -1.0 / 100, 1e-15);
  EXPECT_NEAR(p.transfer()[0 * 4 + 2], -1.0 / 100, 1e-15);
  // A paraxial reflection takes the phase term too: u′ = −u + D/n.
  Ray m = rayAt(5, 0, 1, 0.55);
  turner->paraxiallyReflectRay(m);
  EXPECT_TRUE(m.isReflected());
  EXPECT_LT(m.pz(), 0);
  EXPECT_NEAR(m.uy(), -5.0 / 100, 1e-14);
}

TEST(DiffracterTest, ParaxialDiffractionKeepsTheWayTheRayTravels) {
  // Behind a mirror the ray travels towards −z in the surface's frame; diffraction must
  // not send it back.
  auto s = diffractiveLens(100, 0.55);
  auto turner = diffracterOf(*s);
  Ray r(XYZ{0, 5, 0}, XYZ{0, 0, -1}, 1);
  r.setSurfaceNormal({0, 0, 1});
  r.setWave(waveOf(0.55));
  r.setIsReflected(true);
  turner->paraxiallyRefractRay(r, 1);
  EXPECT_LT(r.pz(), 0);
  EXPECT_NEAR(r.uy(), -5.0 / 100, 1e-14);
}

TEST(DiffracterTest, FramedRayFollowsTheDiffractedDirection) {
  auto s = grating(0.6, 1);
  auto turner = diffracterOf(*s);
  auto r = rayAt<RayWithFrame>(0, 5, 1, 0.5);
  turner->refractRay(r, 1);
  ASSERT_TRUE(r.isAlive());
  EXPECT_LT(r.misalignment(), 1e-12);
  // A flat grating has no power: only the anamorphic cos θ / cos θ′ scaling.
  const double s1 = std::sin(5 * kDegree) + 0.3;
  EXPECT_NEAR(r.transfer()[1 * 4 + 3], 0, 1e-15);
  EXPECT_NEAR(r.transfer()[1 * 4 + 1], std::cos(5 * kDegree) / std::sqrt(1 - s1 * s1), 1e-12);
}

TEST(DiffracterTest, DiffuserSpreadsEachRefractionAnew) {
  lens::registerArchiveClasses();
  auto s = lens::Surface::create<lens::SurfaceDiffuser>();
  s->parameterForTitle("fwhm")->setValue(0);
  auto turner = diffracterOf(*s);
  Ray r = rayAt(0, 3, 1, 0.55);
  turner->refractRay(r, 1);
  EXPECT_NEAR(r.py(), std::sin(3 * kDegree), 1e-15);
  EXPECT_NEAR(r.px(), 0, 1e-15);
  s->parameterForTitle("fwhm")->setValue(0.5);
  turner = diffracterOf(*s);
  Ray a = rayAt(0, 3, 1, 0.55), b = a;
  turner->refractRay(a, 1);
  turner->refractRay(b, 1);
  EXPECT_NE(a.momentum(), b.momentum());
}

}  // namespace
}  // namespace orb::tracing
