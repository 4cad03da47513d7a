#include "tracing/RayGeneration.h"

#include <gtest/gtest.h>

#include <cmath>

#include "LensFixture.h"
#include "lens/Field.h"
#include "lens/Wave.h"

namespace orb::tracing {
namespace {

using foundation::XY;
using foundation::XYZ;
using namespace testing;

std::shared_ptr<lens::Field> field(double x, double y) {
  auto f = lens::Field::field();
  f->setX(x);
  f->setY(y);
  return f;
}

std::shared_ptr<lens::Wave> wave(double nm) {
  auto w = lens::Wave::wave();
  w->setWavelength(nm);
  return w;
}

std::shared_ptr<lens::Lens> singletAtInfinity() {
  return makeLens({{0, kInfinity}, {51.68, 4, nbk7(), true}, {0, 50}, {0, 0}});
}

TEST(RayGenerationTest, RaysAreFieldMajorWithinEachWave) {
  auto lens = singletAtInfinity();
  setParaxialInputs(*lens, 20);
  const Fields fields{field(0, 0), field(0, 5)};
  const pupil::Points points{{0, 0}, {0, 1}, {1, 0}};
  const Waves waves{wave(486.1), wave(587.6), wave(656.3)};
  const std::vector<Ray> rays = raysForFields(*lens, fields, points, waves);
  ASSERT_EQ(rays.size(), 18u);
  for (std::size_t i = 0; i < rays.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rays[i].wave(), waves[i / 6]);
    EXPECT_EQ(rays[i].tags().field, fields[(i % 6) / 3]);
    EXPECT_EQ(*rays[i].tags().pupilCoordinate, points[i % 3]);
  }
}

TEST(RayGenerationTest, ParaxialPlacementFromTheStopMatrix) {
  // Object at infinity, 5° field, stop 7 mm behind the first vertex in air (A = 1, B = 7):
  // the chief ray starts where it will cross the axis at the stop; a pupil point P starts
  // P × EPD/2 from it.
  auto lens = singletAtInfinity();
  setParaxialInputs(*lens, 20, 1, 7);
  const double a = 5 * M_PI / 180;
  const pupil::Points points{{0, 0}, {0.5, -1}};
  const auto rays = raysForFields(*lens, {field(0, 5)}, points);
  ASSERT_TRUE(rays);
  const double y0 = -7 * std::tan(a);
  EXPECT_NEAR((*rays)[0].y(), y0, 1e-14);
  EXPECT_NEAR((*rays)[1].x(), 5, 1e-14);
  EXPECT_NEAR((*rays)[1].y(), y0 - 10, 1e-14);
  EXPECT_NEAR((*rays)[1].py(), std::sin(a), 1e-15);
  EXPECT_NEAR((*rays)[1].pz(), std::cos(a), 1e-15);
  // Paths are measured from the chief ray's start: the tilted wavefront through it.
  EXPECT_NEAR((*rays)[1].opticalPathLength(), -10 * std::sin(a), 1e-14);
}

TEST(RayGenerationTest, HeightRaysAimAtThePupilOrTelecentrically) {
  // Object 100 mm before the stop at the first vertex, NA 0.1.
  auto lens = makeLens({{0, 100}, {51.68, 4, nbk7(), true}, {0, 50}, {0, 0}});
  lens->setFieldType("Object height");
  setParaxialInputs(*lens, 0, 1, 0, 0.1);
  const double s = std::tan(std::asin(0.1));
  const pupil::Points points{{0, 0}, {0, 1}};

  auto rays = raysForFields(*lens, {field(0, 3)}, points);
  ASSERT_TRUE(rays);
  EXPECT_NEAR((*rays)[0].z(), -100, 1e-12);
  EXPECT_NEAR((*rays)[0].uy(), -3.0 / 100, 1e-15);     // chief through the stop's centre
  EXPECT_NEAR((*rays)[1].uy(), (100 * s - 3) / 100, 1e-15);  // top of the stop, 100·s high

  lens->setUseTelecentricMode(true);
  rays = raysForFields(*lens, {field(0, 3)}, points);
  EXPECT_NEAR((*rays)[0].uy(), 0, 1e-15);
  EXPECT_NEAR((*rays)[1].uy(), s, 1e-15);
}

TEST(RayGenerationTest, VignettingSqueezesAndShiftsThePupil) {
  struct Case {
    const char* name;
    double pxa, pxb, pya, pyb;
    XY in, out;
  };
  const Case cases[] = {{"unvignetted", -1, 1, -1, 1, {0.3, -0.7}, {0.3, -0.7}},
                        {"half-width-upper-half", -0.5, 0.5, 0, 1, {1, -1}, {0.5, 0}},
                        {"half-width-upper-half-top", -0.5, 0.5, 0, 1, {-1, 1}, {-0.5, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = field(0, 1);
    f->setPXA(c.pxa);
    f->setPXB(c.pxb);
    f->setPYA(c.pya);
    f->setPYB(c.pyb);
    const XY in[1] = {c.in};
    EXPECT_EQ(vignettePupilCoordinates(in, *f).front(), c.out);
  }
}

TEST(RayGenerationTest, RestrictingToThePupilKillsRaysOutsideIt) {
  auto lens = singletAtInfinity();
  setParaxialInputs(*lens, 20);
  const pupil::Points points{{0.8, 0.8}, {0.6, 0.6}};
  const auto rays = raysForFields(*lens, {field(0, 0)}, points, true);
  ASSERT_TRUE(rays);
  EXPECT_FALSE((*rays)[0].isAlive());
  EXPECT_STREQ((*rays)[0].tags().causeOfDeath, "Lens method pupilStampRays kills ray");
  EXPECT_TRUE((*rays)[1].isAlive());
}

TEST(RayGenerationTest, SuppressedGenerationLeavesAWarning) {
  const pupil::Points points{{0, 0}};
  auto empty = lens::Lens::create();
  EXPECT_FALSE(raysForFields(*empty, {field(0, 0)}, points));
  EXPECT_EQ(empty->warningReRayGeneration(), "Ray generation suppressed becase there are no surfaces");
  EXPECT_TRUE(raysForFields(*empty, {field(0, 0)}, points, Waves{wave(500)}).empty());

  auto lens = singletAtInfinity();
  lens->setFieldType("Object height");
  EXPECT_FALSE(raysForFields(*lens, {field(0, 1)}, points));
  EXPECT_EQ(lens->warningReRayGeneration(), "Object height field is in conflict with infinite working distance");

  lens->setFieldType("Angle");
  setParaxialInputs(*lens, 20);
  const auto none = raysForFields(*lens, {}, points);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  EXPECT_FALSE(lens->warningReRayGeneration());
}

TEST(RayGenerationTest, FieldHelpers) {
  auto lens = singletAtInfinity();
  lens->setFieldArray({field(0, 3), field(-4, 1)});
  auto axial = axialField(*lens);
  EXPECT_EQ(axial->x(), 0);
  EXPECT_EQ(axial->y(), 0);
  EXPECT_NE(axial, lens->fieldArray()[0]);
  EXPECT_EQ(chiefField(*lens), lens->fieldArray()[0]);
  EXPECT_EQ(maxField(*lens), 4);
  EXPECT_NEAR(maxRadialField(*lens), std::hypot(4, 1), 1e-15);
  const Fields fan = fieldFan(*lens);
  ASSERT_EQ(fan.size(), 21u);
  EXPECT_EQ(fan.front()->y(), 0);
  EXPECT_EQ(fan.back()->y(), 4);

  lens->setFieldArray({});
  EXPECT_FALSE(chiefField(*lens));
  EXPECT_FALSE(chiefRay(*lens));
}

TEST(RayGenerationTest, ImageHeightFieldsConvertThroughFocalLengthOrMagnification) {
  auto lens = singletAtInfinity();
  platform::Dictionary data;
  data.set("focalLength", 100.0);
  data.set("magnification", -0.5);
  lens->setParaxialData(data);
  const auto f = field(0, 10);
  EXPECT_NEAR(angleCoordinateForImageHeightField(*lens, *f).y, std::atan(0.1), 1e-15);
  EXPECT_NEAR(heightCoordinateForImageHeightField(*lens, *f).y, -20, 1e-15);
}

}  // namespace
}  // namespace orb::tracing
