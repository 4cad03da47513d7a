#include "tracing/PusherGraded.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "lens/ArchiveClasses.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/SurfaceTypeRegistry.h"
#include "materials/Medium2.h"
#include "materials/Medium5.h"
#include "ExpectRaises.h"
#include "LensFixture.h"
#include "tracing/RayBundle.h"
#include "tracing/RayWithFrame.h"
#include "tracing/Regeneration.h"
#include "tracing/TraceDriver.h"

// Closed forms used below. In a rod with n² = n0² + nr2·r² the ray equation in reduced
// path length t (dq/dt = p, d²q/dt² = ∇(n²/2)) is linear: x'' = nr2·x, y'' = nr2·y,
// pz constant. With g = √(−nr2): x(t) = x0·cos(gt) + (px0/g)·sin(gt), z = pz·t, and the
// optical path is ∫ n² dt = n0²·T + nr2·∫ x² dt.

namespace orb::tracing {
namespace {

using foundation::XYZ;

constexpr double kN0 = 1.5, kNr2 = -0.1;
const double kG = std::sqrt(-kNr2);

std::shared_ptr<materials::Medium2> rod(double nr2 = kNr2, double dt = 0.1) {
  return materials::Medium2::withTransform(foundation::OBTransform(), {kN0, nr2, 0, 0, 0, 0, 0}, dt);
}

std::shared_ptr<ConicShape> plane() { return ConicShape::make(0, 0, "S"); }

// The plane z = L, reached from z = 0 (pushers take the surface's frame: put the ray at −L).
Ray startRay(double x0, double px0, double L, double nr2 = kNr2) {
  const double n2 = kN0 * kN0 + nr2 * x0 * x0;
  const double pz = std::sqrt(n2 - px0 * px0);
  Ray r(XYZ{x0, 0, -L}, XYZ{px0, 0, pz}, std::sqrt(n2));
  return r;
}

// A rod placed so that the pusher's surface (the plane z = 0 of its own frame) stands at
// global z = L.
foundation::OBTransform planeAt(double L) {
  foundation::OBTransform t;
  t.setLocalToGlobalCoordinateTransformationMatrix(foundation::TransformationMatrix::translation({0, 0, L}),
                                                   foundation::TransformationMatrix::translation({0, 0, -L}));
  return t;
}

TEST(GradientIndexTest, RodIndexAndForceAgainstTheirClosedForms) {
  const auto medium = rod();
  EXPECT_NEAR(medium->indexOfRefractionAtWaveGlobalCoordinate(0.55, {1, 0, 0}), std::sqrt(2.15), 1e-15);
  EXPECT_NEAR(medium->indexOfRefractionAtWaveGlobalCoordinate(0.55, {1, 0, 0}), 1.466288, 5e-7);
  const XYZ F = medium->forceInGlobalFrameAtWave(0.55, {1, 0, 0});
  EXPECT_NEAR(F.x, -0.1, 1e-15);
  EXPECT_NEAR(F.y, 0, 1e-15);
  EXPECT_NEAR(F.z, 0, 1e-15);
}

TEST(GradientIndexTest, MeridionalRayFollowsTheSinusoidOverAQuarterPitch) {
  struct Case {
    double x0, px0;
  };
  for (const Case c : {Case{0.2, 0.0}, Case{0.2, 0.05}, Case{-0.1, 0.08}}) {
    SCOPED_TRACE(c.x0);
    const double pz = std::sqrt(kN0 * kN0 + kNr2 * c.x0 * c.x0 - c.px0 * c.px0);
    const double L = pz * std::numbers::pi / (2 * kG);  // a quarter pitch
    // The path increment is second order in the step: 0.01 keeps it below 1e-7.
    PusherGraded pusher(rod(kNr2, 0.01), plane(), planeAt(L));
    pusher.setRayAcquisitionTolerance(1e-12);
    Ray r = startRay(c.x0, c.px0, L);
    pusher.acquireRay(r);
    ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
    // The crossing is found to the bisection's tolerance; the point must lie on the curve.
    const double T = (r.z() + L) / pz;
    EXPECT_NEAR(r.z(), 0, 1e-9);
    EXPECT_NEAR(r.x(), c.x0 * std::cos(kG * T) + c.px0 / kG * std::sin(kG * T), 1e-6);
    EXPECT_NEAR(r.px(), -c.x0 * kG * std::sin(kG * T) + c.px0 * std::cos(kG * T), 1e-6);
    EXPECT_NEAR(r.pz(), pz, 1e-9);
    EXPECT_DOUBLE_EQ(r.y(), 0);
    const double a = c.x0, b = c.px0 / kG, s = std::sin(2 * kG * T), k = std::cos(2 * kG * T);
    const double x2 = a * a * (T / 2 + s / (4 * kG)) + b * b * (T / 2 - s / (4 * kG)) + a * b * (1 - k) / (2 * kG);
    EXPECT_NEAR(r.opticalPathLength(), kN0 * kN0 * T + kNr2 * x2, 1e-7);
  }
}

TEST(GradientIndexTest, ForceIsRotatedIntoARotatedSurfaceFrame) {
  // The surface frame is turned 90° about z: local y is global −x. A ray displaced along
  // local y must be pulled back along local y (the rod's axis is the same line).
  const double L = kN0 * std::numbers::pi / (2 * kG);
  foundation::TransformationMatrix toGlobal = foundation::TransformationMatrix::identity(), toLocal = toGlobal;
  toGlobal.m = {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, L, 0, 0, 0, 1};
  toLocal.m = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, -L, 0, 0, 0, 1};
  foundation::OBTransform frame;
  frame.setLocalToGlobalCoordinateTransformationMatrix(toGlobal, toLocal);
  PusherGraded pusher(rod(), plane(), frame);
  pusher.setRayAcquisitionTolerance(1e-12);
  const double y0 = 0.2, n = std::sqrt(kN0 * kN0 + kNr2 * y0 * y0);
  Ray r(XYZ{0, y0, -L}, XYZ{0, 0, 1}, n);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  const double T = (r.z() + L) / n;
  EXPECT_NEAR(r.x(), 0, 1e-12);
  EXPECT_NEAR(r.y(), y0 * std::cos(kG * T), 1e-6);
}

TEST(GradientIndexTest, ZeroForceGivesTheStraightCrossingAndPath) {
  // A sphere of curvature c ahead of a ray in a medium of index 1.5 everywhere.
  const double c = 0.02, n = kN0;
  const XYZ q{0, 0.5, -2};
  const XYZ d{0, 0.1 / std::sqrt(1.01), 1 / std::sqrt(1.01)};
  // c(x² + y² + z²) − 2z = 0 along q + s·d (s the geometric length): a s² + b s + e = 0.
  const double a = c, b = 2 * c * (q.y * d.y + q.z * d.z) - 2 * d.z, e = c * (q.y * q.y + q.z * q.z) - 2 * q.z;
  const double s = (-b - std::sqrt(b * b - 4 * a * e)) / (2 * a);
  PusherGraded pusher(rod(0), ConicShape::make(c, 0, "S"));
  pusher.setRayAcquisitionTolerance(1e-12);
  Ray r(q, d, n);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  EXPECT_NEAR(r.y(), q.y + s * d.y, 1e-9);
  EXPECT_NEAR(r.z(), q.z + s * d.z, 1e-9);
  EXPECT_NEAR(r.opticalPathLength(), n * s, 1e-9);
  EXPECT_NEAR(r.py(), n * d.y, 1e-15);
}

TEST(GradientIndexTest, FramedRayInAZeroGradientMediumGetsTheFreeStep) {
  const double L = 3;
  PusherGraded pusher(rod(0), plane(), planeAt(L));
  pusher.setRayAcquisitionTolerance(1e-12);
  RayWithFrame r(XYZ{0.1, 0, -L}, XYZ{0, 0, 1}, kN0);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  const double t = L / kN0;  // reduced path length from z = −L to 0
  const Transfer4 expected{1, 0, 0, 0, 0, 1, 0, 0, t, 0, 1, 0, 0, t, 0, 1};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(r.transfer()[i], expected[i], 1e-9) << i;
  EXPECT_NEAR(r.e1().x, 1, 1e-12);
  EXPECT_NEAR(r.e2().y, 1, 1e-12);
}

TEST(GradientIndexTest, FramedRayTransferMatrixIsTheRodsClosedForm) {
  // For the linear rod the transfer (px, qx) over reduced length T is
  // [[cos gT, −g sin gT], [sin(gT)/g, cos gT]] in each transverse direction.
  const double L = 2.0;
  PusherGraded pusher(rod(), plane(), planeAt(L));
  pusher.setRayAcquisitionTolerance(1e-12);
  RayWithFrame r(XYZ{0, 0, -L}, XYZ{0, 0, 1}, kN0);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  const double T = L / kN0, C = std::cos(kG * T), S = std::sin(kG * T);
  const Transfer4& M = r.transfer();
  EXPECT_NEAR(M[0], C, 1e-6);
  EXPECT_NEAR(M[2], -kG * S, 1e-6);
  EXPECT_NEAR(M[8], S / kG, 1e-6);
  EXPECT_NEAR(M[10], C, 1e-6);
  EXPECT_NEAR(M[5], C, 1e-6);
  EXPECT_NEAR(M[15], C, 1e-6);
}

TEST(GradientIndexTest, RayAtTheRodRadiusReversesItsRadialMomentum) {
  // No force: the straight path meets the wall r = 1 and comes back mirrored.
  auto medium = materials::Medium5::withTransform(foundation::OBTransform(), {kN0, 0, 0, 0, 0, 0, 0}, 0.1);
  medium->setBounceRadius(1.0);
  const double px = 0.3, pz = std::sqrt(kN0 * kN0 - px * px);
  const double T = 1.0, L = pz * T;  // unfolded x at the plane: 0.95 + 0.3 = 1.25
  PusherGraded pusher(medium, plane(), planeAt(L));
  pusher.setRayAcquisitionTolerance(1e-12);
  Ray r(XYZ{0.95, 0, -L}, XYZ{px, 0, pz}, kN0);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  EXPECT_NEAR(r.x(), 2 * 1.0 - 1.25, 1e-9);
  EXPECT_NEAR(r.px(), -px, 1e-12);
  EXPECT_NEAR(r.pz(), pz, 1e-12);
  EXPECT_NEAR(r.opticalPathLength(), kN0 * kN0 * T, 1e-9);
}

TEST(GradientIndexTest, TooSmallAStepIsAUsageError) {
  PusherGraded pusher(rod(kNr2, 5e-05), plane(), planeAt(1));
  Ray r = startRay(0.1, 0, 1);
  support::expectRaises([&] { pusher.acquireRay(r); }, "NSInternalInconsistencyException",
                        "Integration stepsize dt=5.000000e-05 is too small");
}

TEST(GradientIndexTest, RayAlreadyOnTheSurfaceIsNotMoved) {
  PusherGraded pusher(rod(), plane());
  Ray r(XYZ{0.1, 0.2, 0}, XYZ{0, 0, 1}, 1.4);
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  EXPECT_EQ(r.position(), (XYZ{0.1, 0.2, 0}));
  EXPECT_EQ(r.opticalPathLength(), 0);
}

// --- through the lens -----------------------------------------------------------------------

class GradientLensTest : public ::testing::Test {
 protected:
  void SetUp() override { lens::registerArchiveClasses(); }

  // Collimated light in air, a Gradient 2 rod of length L (plane faces), the image on its
  // back face.
  std::shared_ptr<lens::Lens> rodLens(double L) {
    auto l = lens::Lens::create();
    auto object = lens::Surface::create<lens::Surface>();
    object->setThickness(testing::kInfinity);
    l->insertInSurfaces(object);
    auto grin = lens::SurfaceTypeRegistry::shared().surfaceOfType("Gradient 2");
    grin->setThickness(L);
    grin->setIsStop(true);
    grin->setValueForKey("nr2", kNr2);
    grin->setValueForKey("dt", 0.05);
    l->insertInSurfaces(grin);
    l->insertInSurfaces(lens::Surface::create<lens::Surface>());
    testing::placeSurfaces(*l);
    l->setRayAcquisitionTolerance(1e-12);
    return l;
  }
};

TEST(GradientIndexTest, FrameIsTransportedAlongACurvedPath) {
  // A meridional ray in the x–z plane: the frame turns with the momentum about y, so e2
  // stays (0, 1, 0), e1 stays transverse in the plane and e3 is the unit direction.
  const double L = 4;
  PusherGraded pusher(rod(), plane(), planeAt(L));
  pusher.setRayAcquisitionTolerance(1e-12);
  RayWithFrame r(XYZ{0.3, 0, -L}, XYZ{0, 0, 1}, std::sqrt(kN0 * kN0 + kNr2 * 0.09));
  pusher.acquireRay(r);
  ASSERT_TRUE(r.isAlive());
  const double p = std::sqrt(r.px() * r.px() + r.pz() * r.pz());
  ASSERT_GT(std::abs(r.px()), 0.05);  // the path has turned
  EXPECT_NEAR(r.e2().x, 0, 1e-12);
  EXPECT_NEAR(r.e2().y, 1, 1e-12);
  EXPECT_NEAR(r.e3().x, r.px() / p, 1e-12);
  EXPECT_NEAR(r.e3().z, r.pz() / p, 1e-12);
  // e1 ⟂ e3 and points along +x as it did at the start.
  EXPECT_NEAR(r.e1().x * r.e3().x + r.e1().z * r.e3().z, 0, 1e-12);
  EXPECT_NEAR(r.e1().x, r.pz() / p, 1e-12);
}

TEST_F(GradientLensTest, RaysAndBundlesFollowTheRodCosine) {
  const double L = 10;
  auto l = rodLens(L);
  std::vector<Ray> rays;
  for (double y0 : {0.0, 0.1, 0.3, -0.5}) rays.emplace_back(XYZ{0, y0, -1}, XYZ{0, 0, 1}, 1.0);
  RayBundle bundle;
  for (const Ray& r : rays) bundle.append(r);
  traceRays(*l, std::span<Ray>(rays));
  traceRays(*l, bundle);
  for (std::size_t i = 0; i < rays.size(); ++i) {
    const double y0 = i == 0 ? 0.0 : (i == 1 ? 0.1 : (i == 2 ? 0.3 : -0.5));
    SCOPED_TRACE(y0);
    // Normal incidence on the flat face: p = (0, 0, n(y0)) inside, so z = n(y0)·t.
    const double n = std::sqrt(kN0 * kN0 + kNr2 * y0 * y0);
    const double expected = y0 * std::cos(kG * L / n);
    ASSERT_TRUE(rays[i].isAlive()) << rays[i].tags().causeOfDeath;
    EXPECT_NEAR(rays[i].y(), expected, 1e-6);
    EXPECT_NEAR(rays[i].z(), L, 1e-6);
    const Ray b = bundle.ray(i);
    ASSERT_TRUE(b.isAlive());
    EXPECT_NEAR(b.y(), expected, 1e-6);
  }
}

TEST_F(GradientLensTest, TrajectoryFollowsTheCurvedPathInOrder) {
  const double L = 10;
  auto l = rodLens(L);
  Ray r(XYZ{0, 0.3, -1}, XYZ{0, 0, 1}, 1.0);
  r.enableTrajectory();
  traceRay(*l, r);
  ASSERT_TRUE(r.isAlive());
  const double n = std::sqrt(kN0 * kN0 + kNr2 * 0.09);
  std::size_t inside = 0;
  double lastZ = -1;
  for (const RayVertex& v : *r.trajectory()) {
    EXPECT_GE(v.position.z, lastZ - 1e-9);
    lastZ = v.position.z;
    if (v.position.z <= 0 || v.position.z >= L) continue;
    ++inside;
    EXPECT_NEAR(v.position.y, 0.3 * std::cos(kG * v.position.z / n), 1e-6);
  }
  EXPECT_GT(inside, 10u);  // points along the curve, not just its ends
}

TEST_F(GradientLensTest, ChangingAParameterOrThePlaceRemakesTheMedium) {
  auto l = rodLens(10);
  auto& grin = *l->surfaceArray()[1];
  const auto first = grin.medium();
  ASSERT_TRUE(first);
  EXPECT_FALSE(first->isUniform());
  EXPECT_EQ(grin.medium(), first);
  grin.setValueForKey("n0", 1.6);
  const auto second = grin.medium();
  EXPECT_NE(second, first);
  EXPECT_NEAR(second->indexOfRefractionAtWaveGlobalCoordinate(0.55, {0, 0, 1}), 1.6, 1e-15);
  // Placed 5 further along z, the medium moves with the surface: its axis stays the surface's.
  foundation::OBTransform moved = planeAt(5);
  grin.setTransform(moved);
  const auto third = grin.medium();
  EXPECT_NE(third, second);
  EXPECT_NEAR(third->forceInGlobalFrameAtWave(0.55, {1, 0, 7}).x, kNr2, 1e-15);
}

// A rod of length L in air, collimated light: with √A = √(−nr2)/n0 the paraxial ray
// leaves at height h·cos(√A L) with slope −h·n0·√A·sin(√A L), so
// f = 1/(n0·√A·sin(√A L)) and the back focus lies cos(√A L)/(n0·√A·sin(√A L)) behind it.
TEST_F(GradientLensTest, RegenerationBendsTheFrameRayInTheRod) {
  registerSystemGenerator();
  const double L = 5;
  auto l = lens::Lens::create();
  l->stopWatchingSelf();
  auto object = lens::Surface::create<lens::Surface>();
  object->setThickness(testing::kInfinity);
  l->insertInSurfaces(object);
  auto grin = lens::SurfaceTypeRegistry::shared().surfaceOfType("Gradient 2");
  grin->setThickness(L);
  grin->setValueForKey("nr2", kNr2);
  grin->setValueForKey("dt", 0.05);
  l->insertInSurfaces(grin);
  auto gap = lens::Surface::create<lens::Surface>();
  gap->setThickness(10);
  gap->setThicknessSolveTypeTarget(2, 0);  // to the paraxial focus
  l->insertInSurfaces(gap);
  l->insertInSurfaces(lens::Surface::create<lens::Surface>());
  l->setStopSurface(grin);
  l->setSourceDivergenceType(0);
  l->setSourceDivergenceValue(1);
  l->setUseRealRaysToUpdateSemidiameters(false);
  generateSystemFromParaxialSpecification(*l);  // at the default acquisition tolerance
  ASSERT_FALSE(l->warningReSystemGeneration()) << *l->warningReSystemGeneration();
  const double rootA = kG / kN0, s = std::sin(rootA * L), c = std::cos(rootA * L);
  const double f = 1 / (kN0 * rootA * s);
  EXPECT_NEAR(std::abs(l->paraxialData().get("focalLength").asDouble()), f, 1e-6);
  EXPECT_NEAR(gap->thickness(), c / (kN0 * rootA * s), 1e-6);
  EXPECT_EQ(grin->seidelData(), (std::vector<double>{0, 0, 0, 0, 0}));
  lens::Lens::setSystemGenerator(nullptr);
}

}  // namespace
}  // namespace orb::tracing
