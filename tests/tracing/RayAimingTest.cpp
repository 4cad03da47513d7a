#include "tracing/RayAiming.h"

#include <gtest/gtest.h>

#include <cmath>

#include "LensFixture.h"
#include "lens/CircularAperture.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

using foundation::XY;
using namespace testing;

std::shared_ptr<lens::Lens> doubleGauss() { return doubleGaussLens(); }

// A y-nu paraxial trace from the first vertex to the stop, independent of the tracer:
// the stop height of rays (h = 0, u = 1) and (h = 1, u = 0) give B and A.
void setParaxialStopMatrix(lens::Lens& lens, double epd) {
  const double lambda = lens.primaryWave()->wavelengthInMicrons();
  auto heightAtStop = [&](double h, double u) {
    double n = 1;
    for (std::size_t i = 1; i < lens.surfaceArray().size(); ++i) {
      const auto& s = lens.surfaceArray()[i];
      if (s->isStop()) return h;
      const double n2 = s->glass() ? s->glass()->indexAtWavelengthInMicrons(lambda) : 1.0;
      const double nu = n * u - h * s->curvature() * (n2 - n);
      u = nu / n2;
      n = n2;
      h += s->thickness() * u;
    }
    return h;
  };
  setParaxialInputs(lens, epd, heightAtStop(1, 0), heightAtStop(0, 1));
}

XY atStop(lens::Lens& lens, Ray ray) {
  traceRay(lens, ray, lens.stopSurface().get(), TraceOptions::analysis(true));
  EXPECT_TRUE(ray.isAlive());
  return {ray.x(), ray.y()};
}

TEST(RayAimingTest, AimedRaysMeetTheBuriedStopWhereTheirPupilCoordinateSays) {
  auto lens = doubleGauss();
  setParaxialStopMatrix(*lens, 33.33);
  lens->setFieldArray({lens::Field::field(), lens::Field::field()});
  lens->fieldArray()[1]->setY(20);  // degrees, beyond the design field: a distorted pupil
  lens->setUseRayAiming(true);

  // Unaimed, the off-axis chief ray misses the stop's centre noticeably.
  const double radiusGuess = 33.33 / 2;
  const XY paraxialChief = atStop(*lens, *rayForH(*lens, {0, 1}, {0, 0}));
  EXPECT_GT(std::abs(paraxialChief.y), 1e-3 * radiusGuess);

  rayAimingSetup(*lens);
  const auto& state = lens->rayAiming();
  ASSERT_TRUE(state.isSetup);
  ASSERT_TRUE(lens->useRayAiming());
  ASSERT_FALSE(lens->warningReSystemGeneration()) << *lens->warningReSystemGeneration();
  const double radius = state.yStopPlus;
  EXPECT_NEAR(state.yStopMinus, -radius, 1e-12 * radius);
  EXPECT_NEAR(state.xStopPlus, radius, 1e-12 * radius);

  struct Case {
    const char* name;
    XY h, p;
  };
  const Case cases[] = {{"chief", {0, 1}, {0, 0}},
                        {"upper marginal", {0, 1}, {0, 1}},
                        {"lower marginal", {0, 1}, {0, -1}},
                        {"sagittal", {0, 1}, {1, 0}},
                        {"mid field skew", {0, 0.6}, {0.5, 0.5}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<Ray> ray = rayForH(*lens, c.h, c.p);
    ASSERT_TRUE(ray);
    ASSERT_TRUE(ray->isAlive());
    const XY q = atStop(*lens, *ray);
    EXPECT_NEAR(q.x, c.p.x * radius, 1e-9 * radius);
    EXPECT_NEAR(q.y, c.p.y * radius, 1e-9 * radius);
  }
}

TEST(RayAimingTest, StopExtentsFromTheStopApertureTraceNothing) {
  auto lens = doubleGauss();
  // No paraxial inputs at all: a traced ray would start nowhere.
  lens->setRenormalizePupilCoordinatesByStopAperture(true);
  lens->stopSurface()->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 7.5));
  determineStopExtents(*lens);
  const auto& state = lens->rayAiming();
  EXPECT_EQ(state.yStopPlus, 7.5);
  EXPECT_EQ(state.yStopMinus, -7.5);
  EXPECT_EQ(state.xStopPlus, 7.5);
  EXPECT_EQ(state.xStopMinus, -7.5);
  EXPECT_FALSE(lens->warningReSystemGeneration());
}

TEST(RayAimingTest, AxialFieldOnlyLeavesNoTables) {
  auto lens = doubleGauss();
  setParaxialStopMatrix(*lens, 33.33);
  lens->setUseRayAiming(true);
  rayAimingSetup(*lens);
  const auto& state = lens->rayAiming();
  EXPECT_TRUE(state.isSetup);
  EXPECT_FALSE(state.interpolatorQY);
  EXPECT_FALSE(state.interpolatorPZ);
  // The axial marginal ray is still adjusted onto the stop's edge.
  std::optional<Ray> marginal = marginalRay(*lens);
  ASSERT_TRUE(marginal);
  EXPECT_NEAR(atStop(*lens, *marginal).y, state.yStopPlus, 1e-9 * state.yStopPlus);
}

TEST(RayAimingTest, MarginalRayMissingTheStopSwitchesAimingOff) {
  auto lens = doubleGauss();
  setParaxialStopMatrix(*lens, 400);  // a pupil far wider than the first lens can take
  lens->setUseRayAiming(true);
  rayAimingSetup(*lens);
  EXPECT_FALSE(lens->useRayAiming());
  EXPECT_EQ(lens->warningReSystemGeneration(), "Ray H=(0,0) P=(0,1) fails to pass through lens");
}

TEST(RayAimingTest, UnbracketedTableSampleCutsTheTableWithAWarning) {
  // Chief rays through a glass block whose exit face is a strong convex sphere: beyond
  // some field angle the ray that would cross the stop's centre is totally reflected, so
  // no height brackets a root. The table must end at the last field it could aim, with a
  // warning, rather than aim every larger field at the axis.
  auto glass = materials::Glass::glassWithIndex(1.5, 60);
  auto lens = makeLens({{0, kInfinity}, {0, 2, glass}, {-3, 5}, {0, 5, nullptr, true}, {0, 0}});
  setParaxialInputs(*lens, 1);
  lens->setFieldArray({lens::Field::field(), lens::Field::field()});
  lens->fieldArray()[1]->setY(80);
  lens->setUseRayAiming(true);
  rayAimingSetup(*lens);
  const auto& state = lens->rayAiming();
  auto table = std::dynamic_pointer_cast<RayAimingTable>(state.interpolatorQY);
  ASSERT_TRUE(table);
  EXPECT_GT(table->spline().count(), 10u);
  EXPECT_LT(table->spline().count(), 101u);
  ASSERT_TRUE(lens->warningReSystemGeneration());
  EXPECT_EQ(lens->warningReSystemGeneration()->rfind("Ray aiming table ends at field fraction ", 0), 0u);
  EXPECT_TRUE(lens->useRayAiming());

  // Fields inside the table are still aimed exactly.
  std::optional<Ray> chief = rayForH(*lens, {0, 0.3}, {0, 0});
  ASSERT_TRUE(chief && chief->isAlive());
  EXPECT_NEAR(atStop(*lens, *chief).y, 0, 1e-9 * state.yStopPlus);
}

}  // namespace
}  // namespace orb::tracing
