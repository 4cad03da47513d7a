// Aimed rays made in columns (a whole fan of one field at once, most of it started from a
// fit to an aimed sample) against aimed rays made one at a time, and against rays placed
// by hand where the stop leads the lens.
#include <gtest/gtest.h>

#include "ZemaxLens.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "LensFixture.h"
#include "lens/CircularAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "tracing/PupilPatterns.h"
#include "tracing/RayAiming.h"
#include "tracing/RayBundle.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

using foundation::XY;
using namespace testing;

// A grid of pupil points filling the unit disc: more than a fan needs before the column
// path aims a sample first (a few thousand).
pupil::Points discGrid(int side) {
  pupil::Points points;
  for (int i = 0; i < side; ++i)
    for (int j = 0; j < side; ++j) {
      const XY p{-1 + (2.0 * i + 1) / side, -1 + (2.0 * j + 1) / side};
      if (p.x * p.x + p.y * p.y <= 1) points.push_back(p);
    }
  return points;
}

// Pupil extents from a circular stop aperture of radius r, so that targets on the stop are
// known exactly.
void aimAtStopAperture(lens::Lens& lens, double r) {
  lens.stopSurface()->setAperture(lens::CircularAperture::annulusWithMinRadius(0, r));
  lens.setRenormalizePupilCoordinatesByStopAperture(true);
  lens.setUseRayAiming(true);
  rayAimingSetup(lens);
}

// The fixture's double Gauss, with a coordinate break before the stop that
// decentres it by (0.4, −0.3) and tilts it 3° about x and 2° about y (the later surfaces
// follow it). `objectDistance` infinite: angle fields; else object heights.
std::shared_ptr<lens::Lens> doubleGaussWithMovedStop(double objectDistance) {
  auto lens = doubleGaussLens(objectDistance);
  auto brk = lens::Surface::create<lens::CoordinateBreak>();
  for (const auto& [title, value] : {std::pair{"dx", 0.4}, {"dy", -0.3}, {"rx", 3.0}, {"ry", 2.0}})
    brk->parameterForTitle(title)->setValue(value);
  lens->insertObjectInSurfaceArrayAtIndex(brk, 6);
  placeSurfaces(*lens);
  setParaxialInputs(*lens, 33.33, 1, 0, 0.1);
  lens->setFieldArray({lens::Field::field(), lens::Field::field()});
  if (std::isfinite(objectDistance)) {
    lens->setFieldType("Object height");
    lens->fieldArray()[1]->setY(30);
  } else {
    lens->fieldArray()[1]->setY(14);
  }
  lens->fieldArray()[1]->setX(3);
  aimAtStopAperture(*lens, 8);
  return lens;
}

std::shared_ptr<lens::Lens> example(const std::string& name) {
  auto lens = support::lensFromZemaxFile(std::string(ORB_SOURCE_DIR) + "/examples/" + name);
  lens->setUseRayAiming(true);
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

TEST(AimingInColumnsTest, ColumnFansMatchRaysAimedOneAtATime) {
  struct Case {
    const char* name;
    std::shared_ptr<lens::Lens> lens;
    XY h;  // the field, as a fraction of the largest
  };
  const Case cases[] = {
      {"moved stop, object at infinity", doubleGaussWithMovedStop(kInfinity), {0.2, 1}},
      {"moved stop, finite object", doubleGaussWithMovedStop(400), {0.2, 1}},
      {"double Gauss example, full field", example("DoubleGauss.zmx"), {0, 1}},
      {"relay, full field", example("DoubleGaussRelay.zmx"), {0, 1}},
      {"relay, skew field", example("DoubleGaussRelay.zmx"), {0.5, -0.7}},
  };
  pupil::Points points = discGrid(76);
  ASSERT_GT(points.size(), 4096u);
  // Beyond the disc, and far enough out that some lenses cannot reach it: those rays must
  // end as the one-ray search leaves them.
  const pupil::Points outside{{0, 1.25}, {-1.1, 0.6}, {0, 4}, {5, 5}, {-9, 0}};
  points.insert(points.end(), outside.begin(), outside.end());
  std::size_t unaimable = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lens::Lens& lens = *c.lens;
    ASSERT_TRUE(lens.useRayAiming());
    ASSERT_TRUE(lens.rayAiming().isSetup);
    const double radius = lens.rayAiming().yStopPlus;
    const double n = std::abs(objectSpaceIndexOfRefraction(lens));
    const Fields fields{fieldForH(lens, c.h)};
    RayBundle bundle;
    ASSERT_TRUE(fillBundleForFields(bundle, lens, fields, points));
    ASSERT_EQ(bundle.size(), points.size());
    std::size_t compared = 0, within1e12 = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
      if (k % 41 != 0 && k + outside.size() < points.size()) continue;
      SCOPED_TRACE(::testing::Message() << "pupil (" << points[k].x << ", " << points[k].y << ")");
      const std::optional<Ray> one = rayForH(lens, c.h, points[k]);
      ASSERT_TRUE(one);
      ++compared;
      ASSERT_EQ(bool(bundle.alive[k]), one->isAlive());
      if (!one->isAlive()) {
        ++unaimable;
        EXPECT_EQ(bundle.causeOfDeath[k], one->tags().causeOfDeath);
      }
      // Either search stops once it misses by at most 1e-11 of the stop's size, so two
      // starts that both settled may lie that far apart over the pupil's magnification;
      // mostly both end at rounding level and agree to 1e-15.
      const double scale = std::max(radius, std::hypot(one->x(), one->y()));
      EXPECT_NEAR(bundle.qx[k], one->x(), 1e-10 * scale);
      EXPECT_NEAR(bundle.qy[k], one->y(), 1e-10 * scale);
      EXPECT_NEAR(bundle.qz[k], one->z(), 1e-10 * scale);
      EXPECT_NEAR(bundle.px[k], one->px(), 1e-12 * n);
      EXPECT_NEAR(bundle.py[k], one->py(), 1e-12 * n);
      EXPECT_NEAR(bundle.pz[k], one->pz(), 1e-12 * n);
      const double gap = std::max({std::abs(bundle.qx[k] - one->x()), std::abs(bundle.qy[k] - one->y()),
                                   std::abs(bundle.px[k] - one->px()) * scale / n,
                                   std::abs(bundle.py[k] - one->py()) * scale / n}) / scale;
      within1e12 += gap <= 1e-12;
    }
    EXPECT_GT(compared, 100u);
    EXPECT_GE(within1e12, compared * 8 / 10);
    // Every disc ray is aimed: it crosses the stop where its pupil coordinate says, within
    // the accepted miss.
    RayBundle atStop = bundle;
    traceRays(lens, atStop, lens.stopSurface().get(), TraceOptions::analysis(true));
    const lens::Surface& stop = *lens.stopSurface();
    double worst = 0;
    for (std::size_t k = 0; k + outside.size() < points.size(); ++k) {
      ASSERT_TRUE(atStop.alive[k]) << k;
      const foundation::XYZ q = stop.transform().transformFromGlobal({atStop.qx[k], atStop.qy[k], atStop.qz[k]});
      worst = std::max({worst, std::abs(q.x - points[k].x * lens.rayAiming().xStopPlus),
                        std::abs(q.y - points[k].y * radius)});
    }
    EXPECT_LE(worst, 1e-11 * radius);
  }
  EXPECT_GT(unaimable, 0u);  // the far points did meet rays that cannot be aimed
}

// The stop is the first surface: nothing bends a ray before it, so the aimed ray for pupil
// point P is the one through (Px·r, Py·r) on the stop, r its aperture radius. From infinity
// it starts there (the stop is the plane z = 0 the rays start on); from an object point
// (0, h) at distance d it leaves along (Px·r, Py·r − h, d).
TEST(AimingInColumnsTest, StopInFrontAimsThroughHandPlacedPoints) {
  const double r = 5, d = 50, h = 4;
  for (const bool finite : {false, true}) {
    SCOPED_TRACE(finite ? "finite object" : "object at infinity");
    auto glass = materials::Glass::glassWithIndex(1.5168, 64.17);
    auto lens = makeLens({{0, finite ? d : kInfinity}, {0, 10, nullptr, true}, {40, 6, glass}, {-40, 80}, {0, 0}});
    setParaxialInputs(*lens, 2 * r, 1, 0, 0.1);
    lens->setFieldArray({lens::Field::field(), lens::Field::field()});
    if (finite) {
      lens->setFieldType("Object height");
      lens->fieldArray()[1]->setY(h);
    } else {
      lens->fieldArray()[1]->setY(8);
    }
    aimAtStopAperture(*lens, r);
    ASSERT_EQ(lens->rayAiming().yStopPlus, r);
    const pupil::Points points = discGrid(80);
    RayBundle bundle;
    ASSERT_TRUE(fillBundleForFields(bundle, *lens, {lens->fieldArray()[1]}, points));
    ASSERT_EQ(bundle.size(), points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
      const XY target{points[k].x * r, points[k].y * r};
      ASSERT_TRUE(bundle.alive[k]) << k;
      if (finite) {
        EXPECT_NEAR(bundle.qx[k], 0, 1e-12 * r) << k;
        EXPECT_NEAR(bundle.qy[k], h, 1e-12 * r) << k;
        EXPECT_NEAR(bundle.qz[k], -d, 1e-12 * d) << k;
        EXPECT_NEAR(bundle.px[k] / bundle.pz[k], target.x / d, 1e-12) << k;
        EXPECT_NEAR(bundle.py[k] / bundle.pz[k], (target.y - h) / d, 1e-12) << k;
      } else {
        EXPECT_NEAR(bundle.qx[k], target.x, 1e-12 * r) << k;
        EXPECT_NEAR(bundle.qy[k], target.y, 1e-12 * r) << k;
        EXPECT_EQ(bundle.qz[k], 0) << k;
        const double a = 8 * std::acos(-1.0) / 180;
        EXPECT_NEAR(bundle.py[k], std::sin(a), 1e-15) << k;
        EXPECT_NEAR(bundle.pz[k], std::cos(a), 1e-15) << k;
      }
    }
  }
}

}  // namespace
}  // namespace orb::tracing
