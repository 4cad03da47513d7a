#include "tracing/Ray.h"

#include <gtest/gtest.h>

#include <cmath>

#include "lens/Wave.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;

void expectNear(const XYZ& a, const XYZ& b, double tol = 1e-12) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

void expectIdentity(const Transfer4& M, double tol) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(M[4 * r + c], r == c ? 1.0 : 0.0, tol) << r << "," << c;
}

TEST(RayTest, MomentumIsIndexTimesUnitDirection) {
  const Ray r(XYZ{0, 0, 0}, XYZ{0, 0, 2}, 1.5);
  EXPECT_EQ(r.momentum(), (XYZ{0, 0, 1.5}));
  EXPECT_TRUE(r.isAlive());
  EXPECT_EQ(r.surfaceNormal(), (XYZ{0, 0, 1}));

  const Ray negative(XYZ{0, 0, 0}, XYZ{0, 0, 2}, -1.5);
  EXPECT_EQ(negative.momentum(), (XYZ{0, 0, -1.5}));
  EXPECT_DOUBLE_EQ(negative.indexOfRefraction(), -1.5);
  EXPECT_EQ(negative.unitDirector(), (XYZ{0, 0, 1}));
}

TEST(RayTest, CopySharesWaveButOwnsTagsAndVertices) {
  Ray r(XYZ{1, 2, 3}, XYZ{0, 0, 1}, 1);
  r.setWave(lens::Wave::wave());
  r.tags().setValueForKey("name", "chief");
  r.enableTrajectory();
  r.addVertex(RayVertex{0, XYZ{1, 2, 3}, XYZ{0, 0, 1}, nullptr});

  Ray copy = r;
  EXPECT_EQ(copy.wave(), r.wave());
  EXPECT_EQ(copy.valueForKeyPath("tags.wave"), platform::Value(r.wave()));
  copy.tags().setValueForKey("name", "marginal");
  copy.addVertex(RayVertex{});
  EXPECT_EQ(r.tags().name(), "chief");
  EXPECT_EQ(r.trajectory()->size(), 1u);
  EXPECT_EQ(copy.trajectory()->size(), 2u);

  const Ray plain(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  Ray notRecording = plain;
  notRecording.addVertex(RayVertex{});
  EXPECT_EQ(notRecording.trajectory(), nullptr);
}

TEST(RayTest, DeathIsRecordedInTagsAndTexts) {
  Ray r(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  r.kill(causeOfDeath::kTIR, "3 (front)");
  EXPECT_FALSE(r.isAlive());
  EXPECT_EQ(r.valueForKeyPath("tags.causeOfDeath"), platform::Value("TIR"));
  EXPECT_EQ(r.valueForKeyPath("tags.diedAtSurface"), platform::Value("3 (front)"));
  EXPECT_EQ(r.formattedDescription(), "Ray is dead\nCause of death: TIR\nDied at surface 3 (front)\n");
  EXPECT_EQ(r.description(), "Ray{x=(0,0,0),p=(0,0,1),dead}");

  // A text set by key reads back the same and shares the fixed text's storage.
  Ray s(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  s.setValueForKeyPath("tags.causeOfDeath", "Aperture does not pass ray");
  EXPECT_EQ(s.tags().causeOfDeath, causeOfDeath::kApertureDoesNotPass);
  EXPECT_THROW(s.setValueForKeyPath("nonsense", 1), platform::Exception);
}

TEST(RayTest, LiveRayHelpers) {
  std::vector<Ray> rays{Ray(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1), Ray(XYZ{2, 0, 0}, XYZ{0, 1, 1}, 1),
                        Ray(XYZ{4, 4, 0}, XYZ{0, 0, 1}, 1)};
  rays[2].kill(causeOfDeath::kMissedSurface);
  expectNear(Ray::positionCentroidOfLiveRays(rays), XYZ{1, 0, 0});
  EXPECT_EQ(Ray::liveRayClosestToPoint(rays, XYZ{4, 4, 0}), 1u);

  for (Ray& r : rays) r.setIsAlive(false);
  EXPECT_EQ(Ray::positionCentroidOfLiveRays(rays), (XYZ{0, 0, 0}));
  EXPECT_EQ(Ray::momentumCentroidOfLiveRays(rays), (XYZ{0, 0, 0}));
  EXPECT_FALSE(Ray::liveRayClosestToPoint(rays, XYZ{0, 0, 0}));
}

TEST(RayTest, ParaxialScaleKeepsIndexAndTurnsForward) {
  Ray r(XYZ{1, 2, 0}, XYZ{0.1, 0.2, -1}, 1.5);
  r.paraxialScaleByFactor(2);
  EXPECT_DOUBLE_EQ(r.x(), 2);
  EXPECT_DOUBLE_EQ(r.y(), 4);
  EXPECT_GT(r.pz(), 0);
  EXPECT_NEAR(r.p(), 1.5, 1e-14);
  // Tangents (−0.1, −0.2) doubled.
  EXPECT_NEAR(r.ux(), -0.2, 1e-14);
  EXPECT_NEAR(r.uy(), -0.4, 1e-14);
}

TEST(RayTest, ClosestApproachOfCrossingRays) {
  // a along +z from the origin, b along +x through (−5, 0, 7): they meet at z = 7.
  const Ray a(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1.5);
  const Ray b(XYZ{-5, 0, 7}, XYZ{1, 0, 0}, 1.5);
  EXPECT_NEAR(Ray::distanceAlongRayForClosestApproachToRay(a, b), 7, 1e-12);
}

// --- Framed rays ------------------------------------------------------------------------

TEST(RayWithFrameTest, NewAxialRayAndFreePath) {
  RayWithFrame r(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  expectIdentity(r.transfer(), 0);
  EXPECT_EQ(r.e1(), (XYZ{1, 0, 0}));
  EXPECT_EQ(r.e2(), (XYZ{0, 1, 0}));
  r.updateTransferMatrixForReducedPathLength(3);
  EXPECT_EQ(r.valueForKeyPath("M.qypy"), platform::Value(3.0));
  EXPECT_EQ(r.valueForKeyPath("M.qxpx"), platform::Value(3.0));
  EXPECT_DOUBLE_EQ(r.aH(), 3);
  EXPECT_DOUBLE_EQ(r.bH(), 1);
}

TEST(RayWithFrameTest, BasisIsRightHandedAndAlongTheRay) {
  for (const XYZ d : {XYZ{0.3, -0.4, 0.8}, XYZ{0, 1, 0}, XYZ{0, -1, 0}, XYZ{-1, 0.2, -0.5}}) {
    SCOPED_TRACE(foundation::toString(d));
    const RayWithFrame r(XYZ{0, 0, 0}, d, 1.3);
    const XYZ u = r.unitDirector();
    expectNear(r.e3(), u);
    const XYZ e1 = r.e1(), e2 = r.e2();
    expectNear(XYZ{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x}, u);
  }
}

TEST(RayWithFrameTest, RollThenInverseRollIsIdentity) {
  RayWithFrame r(XYZ{0, 0, 0}, XYZ{0.1, 0.2, 1}, 1.5);
  r.updateTransferMatrixForReducedPathLength(2.5);
  const RayWithFrame before = r;
  const double a = 0.7;
  r.rollCos(std::cos(a), std::sin(a));
  EXPECT_GT(std::abs(r.e1().x - before.e1().x), 0.1);
  r.rollCos(std::cos(a), -std::sin(a));
  expectNear(r.e1(), before.e1(), 1e-14);
  expectNear(r.e2(), before.e2(), 1e-14);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(r.transfer()[i], before.transfer()[i], 1e-14);
}

TEST(RayWithFrameTest, AttachAtNormalIncidenceDoesNotRoll) {
  RayWithFrame r(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  r.setSurfaceNormal(XYZ{0, 0, 1});
  r.attachToSurface();
  EXPECT_EQ(r.cosTheta(), 1);
  EXPECT_EQ(r.sinPhi(), 0);
  r.detachFromSurface();
  EXPECT_EQ(r.e1(), (XYZ{1, 0, 0}));
}

TEST(RayWithFrameTest, AttachRollsIntoThePlaneOfIncidence) {
  // Normal tilted 30° in the xz plane: e1 must end perpendicular to that plane (along ±y).
  RayWithFrame r(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  const double a = M_PI / 6;
  r.setSurfaceNormal(XYZ{std::sin(a), 0, std::cos(a)});
  r.attachToSurface();
  EXPECT_NEAR(std::abs(r.e1().y), 1, 1e-14);
  EXPECT_NEAR(r.cosTheta(), std::cos(a), 1e-14);
  EXPECT_NEAR(std::abs(r.sinTheta()), std::sin(a), 1e-14);
  r.detachFromSurface();
  expectNear(r.e1(), XYZ{1, 0, 0}, 1e-14);
}

TEST(RayWithFrameTest, UntracedSwarmGivesIdentity) {
  const RayWithFrame r(XYZ{1, -2, 0}, XYZ{0, 0, 1}, 1);
  const std::vector<Ray> swarm = r.swarm();
  ASSERT_EQ(swarm.size(), 8u);
  const char* ids[] = {"qxp", "qxm", "qyp", "qym", "pxp", "pxm", "pyp", "pym"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(swarm[i].valueForKeyPath("tags.swarmID"), platform::Value(ids[i]));
  const auto M = r.transferMatrixWithSwarm(swarm);
  Transfer4 m{};
  for (int i = 0; i < 16; ++i) m[i] = M.at(i / 4, i % 4);
  expectIdentity(m, 1e-6);
  EXPECT_THROW(r.transferMatrixWithSwarm(std::span(swarm).first(7)), platform::Exception);
}

TEST(RayWithFrameTest, TransferMatrixListingFollowsTheBasisString) {
  RayWithFrame r(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  foundation::Matrix m(4, 4, {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}});
  r.tags().setValueForKey("transferMatrixBasisString", "(qy,qx,py,px)");
  const std::string s = r.formattedDescriptionOfTransferMatrix(m);
  EXPECT_EQ(s.substr(0, s.find("symplecticError")),
            "Transfer matrix in (qy,qx,py,px) basis:\n"
            "  16.0000   15.0000   14.0000   13.0000\n"
            "  12.0000   11.0000   10.0000    9.0000\n"
            "   8.0000    7.0000    6.0000    5.0000\n"
            "   4.0000    3.0000    2.0000    1.0000\n");
}

}  // namespace
}  // namespace orb::tracing
