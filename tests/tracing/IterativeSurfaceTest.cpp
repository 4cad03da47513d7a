// The sag surfaces that no closed form intersects (the iterative pusher's): their hits lie
// on the surface, the column trace and the one-ray trace agree, and a threaded trace is
// the serial one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LensFixture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Parameter.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfaceAsphereOdd.h"
#include "lens/SurfaceBiconic.h"
#include "lens/SurfaceKinoform.h"
#include "lens/SurfacePoly.h"
#include "lens/SurfaceTilted.h"
#include "lens/SurfaceToric.h"
#include "lens/SurfaceZernikeSag.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"
#include "tracing/RayWithFrame.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

using foundation::XY;
using foundation::XYZ;

void set(lens::Surface& s, const std::string& title, double value) {
  auto p = s.parameterForTitle(title);
  ASSERT_TRUE(p) << title;
  p->setValue(value);
}

template <class S>
std::shared_ptr<lens::Surface> surface(double curvature, const std::vector<std::pair<std::string, double>>& parameters) {
  std::shared_ptr<lens::Surface> s = lens::Surface::create<S>();
  s->setCurvature(curvature);
  for (const auto& [title, value] : parameters) set(*s, title, value);
  return s;
}

struct SagCase {
  const char* name;
  std::function<std::shared_ptr<lens::Surface>()> make;
};

// Every surface type whose pusher is the iterative one, with terms that bend it well away
// from its base conic.
const std::vector<SagCase>& sagCases() {
  static const std::vector<SagCase> cases = {
      {"even asphere",
       [] {
         auto s = surface<lens::SurfaceAsphere>(0.02, {{"a4", 2e-5}, {"a6", -3e-7}, {"a8", 1e-9}});
         s->setConicConstant(-0.8);
         return s;
       }},
      {"odd asphere", [] { return surface<lens::SurfaceAsphereOdd>(0.015, {{"a3", 1e-4}, {"a4", 1e-5}, {"a5", -1e-7}}); }},
      {"polynomial",
       [] {
         return surface<lens::SurfacePoly>(0, {{"xMin", -8},
                                               {"xMax", 8},
                                               {"yMin", -8},
                                               {"yMax", 8},
                                               {"x2y0", 0.012},
                                               {"x0y2", -0.008},
                                               {"x1y1", 0.002},
                                               {"x3y0", 2e-4},
                                               {"x1y2", -1e-4}});
       }},
      {"toric Y, finite Rt", [] { return surface<lens::SurfaceToricY>(0.02, {{"toricR", 40}, {"a4", 1e-5}}); }},
      {"toric X, negative Rt", [] { return surface<lens::SurfaceToricX>(-0.015, {{"toricR", -50}, {"a4", -2e-5}}); }},
      {"biconic",
       [] {
         auto s = surface<lens::SurfaceBiconic>(1 / 60.0, {{"Rx", 45}, {"kx", 0.3}});
         s->setConicConstant(-0.5);
         return s;
       }},
      {"Zernike",
       [] {
         return surface<lens::SurfaceZernikeSag>(
             -0.01, {{"a4", 1e-5}, {"n", 11}, {"R", 10}, {"A4", 0.05}, {"A5", -0.03}, {"A7", 0.02}, {"A11", 0.01}});
       }},
  };
  return cases;
}

// Object, the surface under test at the origin (in glass), the image plane.
std::shared_ptr<lens::Lens> lensWith(std::shared_ptr<lens::Surface> tested) {
  auto lens = lens::Lens::create();
  auto object = lens::Surface::create<lens::Surface>();
  object->setThickness(10);
  lens->insertInSurfaces(object);
  tested->setThickness(5);
  lens->insertInSurfaces(tested);
  tested->setGlass(testing::nbk7());
  lens->insertInSurfaces(lens::Surface::create<lens::Surface>());
  testing::placeSurfaces(*lens);
  return lens;
}

// A 7 × 7 grid of skew rays from z = −10, each tilted its own way.
std::vector<Ray> skewFan() {
  std::vector<Ray> rays;
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j)
      rays.emplace_back(XYZ{-3 + i, -3.2 + 1.05 * j, -10}, XYZ{-0.05 + 0.013 * i, 0.04 - 0.011 * j, 1}, 1.0);
  return rays;
}

double residual(const lens::Surface& s, const XYZ& q) { return std::abs(q.z - s.sagAtQ(XY{q.x, q.y})); }

// Traced to the surface (not bent there), every ray of the fan ends on it: the columns
// (a bundle) and the one-ray code (framed rays) alike. Bisection alone leaves ~1e-5.
TEST(IterativeSurfaceTest, HitsLieOnTheSurface) {
  for (const SagCase& c : sagCases()) {
    SCOPED_TRACE(c.name);
    auto tested = c.make();
    auto lens = lensWith(tested);
    const auto options = TraceOptions::checkingApertures(false);
    const std::vector<Ray> fan = skewFan();

    RayBundle bundle;
    for (const Ray& r : fan) bundle.append(r);
    // Newton's steps settle every one of these rays: none is left to the bracketing.
    const std::uint64_t fallbacks = iterativeFallbackRays();
    traceRays(*lens, bundle, tested.get(), options);
    EXPECT_EQ(iterativeFallbackRays(), fallbacks);
    std::vector<RayWithFrame> framed;
    for (const Ray& r : fan) framed.emplace_back(r);
    traceRays(*lens, std::span<RayWithFrame>(framed), tested.get(), options);

    std::size_t alive = 0;
    for (std::size_t i = 0; i < fan.size(); ++i) {
      SCOPED_TRACE(i);
      const Ray column = bundle.ray(i);
      ASSERT_EQ(column.isAlive(), framed[i].isAlive());
      if (!column.isAlive()) continue;
      ++alive;
      for (const XYZ& q : {column.position(), framed[i].position()})
        EXPECT_LE(residual(*tested, q), 1e-12 * std::max(1.0, std::abs(q.z))) << q.x << " " << q.y << " " << q.z;
    }
    EXPECT_EQ(alive, fan.size());
  }
}

// A ray parallel to the axis at height h meets the even asphere at z = sag(h), where the
// normal is (−g·x/h, −g·y/h, 1)/√(1 + g²), g = dz/dr: both by hand here.
TEST(IterativeSurfaceTest, AxialRayMeetsTheEvenAsphereWhereItsSagSays) {
  const double c = 0.025, k = -0.6, a4 = 3e-6, a6 = -4e-9, a8 = 2e-12;
  auto tested = surface<lens::SurfaceAsphere>(c, {{"a4", a4}, {"a6", a6}, {"a8", a8}});
  tested->setConicConstant(k);
  auto lens = lensWith(tested);
  const auto options = TraceOptions::checkingApertures(false);
  for (const double h : {0.0, 1.5, 4.0, 7.5, 11.0}) {
    for (const double phi : {0.0, 0.7, 2.9}) {
      SCOPED_TRACE(h);
      SCOPED_TRACE(phi);
      const double root = std::sqrt(1 - (1 + k) * c * c * h * h);
      const double sag = c * h * h / (1 + root) + a4 * std::pow(h, 4) + a6 * std::pow(h, 6) + a8 * std::pow(h, 8);
      const double g = c * h / root + 4 * a4 * std::pow(h, 3) + 6 * a6 * std::pow(h, 5) + 8 * a8 * std::pow(h, 7);
      const double l = std::sqrt(1 + g * g);
      const XYZ hit{h * std::cos(phi), h * std::sin(phi), sag};
      const XYZ normal{-g * std::cos(phi) / l, -g * std::sin(phi) / l, 1 / l};

      Ray plain(XYZ{hit.x, hit.y, -10}, XYZ{0, 0, 1}, 1.0);
      traceRay(*lens, plain, tested.get(), options);
      RayWithFrame framed(XYZ{hit.x, hit.y, -10}, XYZ{0, 0, 1}, 1.0);
      traceRay(*lens, framed, tested.get(), options);
      for (const Ray* r : {static_cast<const Ray*>(&plain), static_cast<const Ray*>(&framed)}) {
        ASSERT_TRUE(r->isAlive());
        EXPECT_NEAR(r->x(), hit.x, 1e-12);
        EXPECT_NEAR(r->y(), hit.y, 1e-12);
        EXPECT_NEAR(r->z(), hit.z, 1e-12);
        EXPECT_NEAR(r->surfaceNormal().x, normal.x, 1e-12);
        EXPECT_NEAR(r->surfaceNormal().y, normal.y, 1e-12);
        EXPECT_NEAR(r->surfaceNormal().z, normal.z, 1e-12);
        EXPECT_NEAR(r->opticalPathLength(), sag + 10, 1e-12);
      }
    }
  }
}

// A Fresnel surface is met on its vertex plane and refracts there on the facet of its
// asphere: a skew ray from z = −10 crosses z = 0, is bent by the vector Snell law on the
// normal (g x/r, g y/r, −1)/√(1 + g²), g = dz/dr of the asphere at that r, and runs 5 mm
// in N-BK7 to the image plane. All by hand here.
TEST(IterativeSurfaceTest, FresnelRefractsOnItsFacetAtTheVertexPlane) {
  const double c = 1 / 40.0, a4 = 2e-6;
  auto tested = surface<lens::SurfaceFresnel>(c, {{"a4", a4}});
  auto lens = lensWith(tested);
  const auto options = TraceOptions::checkingApertures(false);
  const double n = testing::nbk7Index(0.58756);
  for (const XYZ& start : {XYZ{0, 8, -10}, XYZ{-3, 6, -10}, XYZ{5, -9, -10}}) {
    SCOPED_TRACE(start.y);
    const double l0 = std::sqrt(0.03 * 0.03 + 0.02 * 0.02 + 1);
    const XYZ d{0.03 / l0, -0.02 / l0, 1 / l0};
    const XYZ hit{start.x + 10 * d.x / d.z, start.y + 10 * d.y / d.z, 0};
    const double r = std::hypot(hit.x, hit.y);
    const double g = c * r / std::sqrt(1 - c * c * r * r) + 4 * a4 * r * r * r;
    const double l = std::sqrt(1 + g * g);
    const XYZ N{g * hit.x / r / l, g * hit.y / r / l, -1 / l};  // facing the incoming ray
    const double cosI = -(N.x * d.x + N.y * d.y + N.z * d.z), eta = 1 / n;
    const double cosT = std::sqrt(1 - eta * eta * (1 - cosI * cosI)), k = eta * cosI - cosT;
    const XYZ d1{eta * d.x + k * N.x, eta * d.y + k * N.y, eta * d.z + k * N.z};
    const double s1 = 5 / d1.z;

    Ray atSurface(start, d, 1.0);
    traceRay(*lens, atSurface, tested.get(), options);
    ASSERT_TRUE(atSurface.isAlive());
    EXPECT_NEAR(atSurface.z(), 0, 1e-12);
    EXPECT_NEAR(atSurface.x(), hit.x, 1e-12);
    EXPECT_NEAR(atSurface.y(), hit.y, 1e-12);

    Ray through(start, d, 1.0);
    traceRay(*lens, through, nullptr, options);
    ASSERT_TRUE(through.isAlive());
    EXPECT_NEAR(through.px(), n * d1.x, 1e-12);
    EXPECT_NEAR(through.py(), n * d1.y, 1e-12);
    EXPECT_NEAR(through.pz(), n * d1.z, 1e-12);
    EXPECT_NEAR(through.x(), hit.x + s1 * d1.x, 1e-11);
    EXPECT_NEAR(through.y(), hit.y + s1 * d1.y, 1e-11);
    EXPECT_NEAR(through.z(), 5, 1e-12);
    EXPECT_NEAR(through.opticalPathLength(), 10 / d.z + n * s1, 1e-11);
  }
}

std::shared_ptr<lens::Surface> coordinateBreak(double dx, double dy, double rx, double ry) {
  auto b = lens::Surface::create<lens::CoordinateBreak>();
  set(*b, "dx", dx);
  set(*b, "dy", dy);
  set(*b, "rx", rx);
  set(*b, "ry", ry);
  b->setThickness(0);
  return b;
}

// Every iterative type in one lens, in glass and in air, some behind decentring and tilting
// breaks, and a tilted plane, which the columns leave to the one-ray stage.
std::shared_ptr<lens::Lens> everyIterativeType() {
  auto lens = lens::Lens::create();
  auto object = lens::Surface::create<lens::Surface>();
  object->setThickness(10);
  lens->insertInSurfaces(object);
  const auto& cases = sagCases();
  const double thickness[] = {4, 3, 4, 3, 4, 3, 5};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (i == 2) lens->insertInSurfaces(coordinateBreak(0.3, -0.2, 2, -1.5));
    if (i == 5) lens->insertInSurfaces(coordinateBreak(-0.25, 0.4, -1, 0.8));
    auto s = cases[i].make();
    s->setThickness(thickness[i]);
    lens->insertInSurfaces(s);
    if (i % 2 == 0) s->setGlass(testing::nbk7());
    if (i == 3) {
      auto tilted = surface<lens::SurfaceTilted>(0, {{"tiltX", 0.03}, {"tiltY", -0.02}});
      tilted->setThickness(2);
      lens->insertInSurfaces(tilted);
      tilted->setGlass(testing::nbk7());
    }
  }
  lens->insertInSurfaces(lens::Surface::create<lens::Surface>());
  testing::placeSurfaces(*lens);
  return lens;
}

std::vector<Ray> skewGrid(int side) {
  std::vector<Ray> rays;
  for (int i = 0; i < side; ++i)
    for (int j = 0; j < side; ++j) {
      const double u = -1 + 2.0 * i / (side - 1), v = -1 + 2.0 * j / (side - 1);
      rays.emplace_back(XYZ{2.5 * u, 2.5 * v, -10}, XYZ{-0.03 * v, 0.04 * u, 1}, 1.0);
    }
  return rays;
}

bool near(double a, double b) { return std::abs(a - b) <= 1e-12 * std::max(1.0, std::abs(b)); }

// The columns (a bundle, and plain rays one by one, which are columns of one row) against
// the one-ray pushers (framed rays): same fate, and position, momentum and optical path
// to 1e-12.
TEST(IterativeSurfaceTest, ColumnsAgreeWithTheOneRayCodeThroughEveryType) {
  auto lens = everyIterativeType();
  const auto options = TraceOptions::checkingApertures(false);
  const std::vector<Ray> start = skewGrid(21);
  RayBundle bundle;
  for (const Ray& r : start) bundle.append(r);
  traceRays(*lens, bundle, nullptr, options);
  std::size_t alive = 0;
  for (std::size_t i = 0; i < start.size(); ++i) {
    SCOPED_TRACE(i);
    Ray single = start[i];
    traceRay(*lens, single, nullptr, options);
    RayWithFrame framed(start[i]);
    traceRay(*lens, framed, nullptr, options);
    const Ray column = bundle.ray(i);
    for (const Ray* got : {&column, static_cast<const Ray*>(&single)}) {
      ASSERT_EQ(got->isAlive(), framed.isAlive());
      if (!framed.isAlive()) {
        EXPECT_STREQ(got->tags().causeOfDeath, framed.tags().causeOfDeath);
        continue;
      }
      EXPECT_TRUE(near(got->x(), framed.x()) && near(got->y(), framed.y()) && near(got->z(), framed.z()))
          << got->description() << " vs " << framed.description();
      EXPECT_TRUE(near(got->px(), framed.px()) && near(got->py(), framed.py()) && near(got->pz(), framed.pz()))
          << got->description() << " vs " << framed.description();
      EXPECT_TRUE(near(got->opticalPathLength(), framed.opticalPathLength()));
    }
    alive += framed.isAlive();
  }
  EXPECT_GT(alive, start.size() * 9 / 10);
}

// Spread over the cores, with a one-ray stage among the surfaces, the trace is the serial
// one to the bit.
TEST(IterativeSurfaceTest, ThreadedTraceEqualsTheSerialOne) {
  auto lens = everyIterativeType();
  RayBundle serial;
  for (const Ray& r : skewGrid(90)) serial.append(r);
  RayBundle threaded = serial;
  auto options = TraceOptions::checkingApertures(false);
  traceRays(*lens, serial, nullptr, options);
  options.parallelFromRays = 1;
  traceRays(*lens, threaded, nullptr, options);
  ASSERT_EQ(threaded.size(), serial.size());
  std::size_t alive = 0;
  for (std::size_t i = 0; i < serial.size(); ++i) {
    ASSERT_EQ(threaded.alive[i], serial.alive[i]) << i;
    alive += serial.alive[i];
    EXPECT_EQ(threaded.qx[i], serial.qx[i]) << i;
    EXPECT_EQ(threaded.qy[i], serial.qy[i]) << i;
    EXPECT_EQ(threaded.qz[i], serial.qz[i]) << i;
    EXPECT_EQ(threaded.px[i], serial.px[i]) << i;
    EXPECT_EQ(threaded.py[i], serial.py[i]) << i;
    EXPECT_EQ(threaded.pz[i], serial.pz[i]) << i;
    EXPECT_EQ(threaded.opticalPathLength[i], serial.opticalPathLength[i]) << i;
  }
  EXPECT_GT(alive, serial.size() * 9 / 10);
}

}  // namespace
}  // namespace orb::tracing
