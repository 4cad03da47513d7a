#include <gtest/gtest.h>

#include "ExpectRaises.h"

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Hull.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/SurfacePatch.h"
#include "geometry/values/ArchiveClasses.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace orb::geometry {
namespace {

using support::expectRaises;

R3PointPtr P(double x, double y, double z) { return R3Point::pointWithDoubles(x, y, z); }

class CodingTest : public ::testing::Test {
 protected:
  // Registering is idempotent and leaves nothing to undo: the classes are the layer's own.
  void SetUp() override { registerArchiveClasses(); }

  template <class T>
  static std::shared_ptr<T> roundTrip(const std::shared_ptr<T>& object) {
    const auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(object));
    auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).template objectIf<T>();
    EXPECT_TRUE(back);
    EXPECT_NE(back, object);
    return back;
  }
};

/// A coder that is not a keyed archiver.
class SequentialCoder : public platform::Coder {};

TEST_F(CodingTest, PlanesKeepTheirFourCoefficients) {
  const std::vector<std::vector<double>> cases = {
      {1, 2, 3, 4},
      {0, 0, 0, 5},  // a zero normal: made, coded and described, but it has no normal
      {-0.3, 1e-300, 7.000000000000001, -2.5},
  };
  for (const auto& k : cases) {
    const auto plane = R3Plane::planeWithCoefficients(k[0], k[1], k[2], k[3]);
    const auto back = roundTrip(plane);
    EXPECT_EQ(back->a(), k[0]);
    EXPECT_EQ(back->b(), k[1]);
    EXPECT_EQ(back->c(), k[2]);
    EXPECT_EQ(back->d(), k[3]);
    EXPECT_TRUE(back->isEqualTo(*plane));
    EXPECT_EQ(back->hash(), plane->hash());
  }
  const auto zero = roundTrip(R3Plane::planeWithCoefficients(0, 0, 0, 5));
  EXPECT_EQ(zero->description(), "Plane[0,0,0,5]");
  expectRaises([&] { zero->normal(); }, "NSInternalInconsistencyException", "R3Plane requires nontrivial normal");
  const auto tilted = roundTrip(R3Plane::planeWithCoefficients(3, 0, 4, 10));
  EXPECT_EQ(tilted->normal()->xyz(), (foundation::XYZ{0.6, 0, 0.8}));
}

TEST_F(CodingTest, CylindersKeepTheirSignedRadius) {
  for (double r : {1.5, -2.0}) {
    const auto back = roundTrip(R3CylinderZ::cylinderWithRadius(r));
    EXPECT_EQ(back->radius(), r);
    // A negative radius is the inverted cylinder: its inside is the advancing side.
    EXPECT_EQ(back->advancingUponOrigin(), r < 0);
    EXPECT_EQ(back->advancingUponPoint(*P(3, 0, 0)), r > 0);
    double t[2];
    ASSERT_EQ(back->getIntersectionParametersForLine(*R3Line::lineWithPoint(P(-5, 0, 0), P(1, 0, 0)), t, 2), 2);
    EXPECT_DOUBLE_EQ(t[0], 5 + std::fabs(r));
  }
}

TEST_F(CodingTest, CurvesKeepTheirGeometryAndEnds) {
  const auto line = roundTrip(R3Line::lineWithPoint(P(1, 2, 3), P(0.5, -1, 2)));
  EXPECT_FALSE(line->hasEnds());
  EXPECT_EQ(line->director()->xyz(), (foundation::XYZ{0.5, -1, 2}));
  EXPECT_EQ(line->pointForParameter(2)->xyz(), (foundation::XYZ{2, 0, 7}));

  const auto segment = roundTrip(R3LineSegment::lineSegmentWithStartingPoint(P(0.1, 0.2, 0.3), P(1.7, -2.9, 3.3)));
  ASSERT_TRUE(segment->hasEnds());
  EXPECT_EQ(segment->q1()->xyz(), (foundation::XYZ{1.7, -2.9, 3.3}));
  EXPECT_EQ(segment->pointForParameter(1), segment->q1());

  const auto ellipse = R3Ellipse::ellipseWithCenter(P(1, 0, 0), P(0, 1, 0), P(0, 0, 2));
  const auto full = roundTrip(ellipse);
  EXPECT_FALSE(full->hasEnds());
  for (double s : {0.0, 0.3, 0.8}) EXPECT_EQ(full->pointForParameter(s)->xyz(), ellipse->pointForParameter(s)->xyz());

  // An arc gets its angle window back: the same points at the same parameters.
  const auto arc = R3EllipseSegment::ellipseSegmentWithEllipse(*ellipse, P(1, 1, 0), P(1, 0, 2));
  const auto arcBack = roundTrip(arc);
  EXPECT_DOUBLE_EQ(arcBack->endAngle(), arc->endAngle());
  const auto mid = arcBack->pointForParameter(0.5)->xyz(), want = arc->pointForParameter(0.5)->xyz();
  EXPECT_NEAR(mid.x, want.x, 1e-15);
  EXPECT_NEAR(mid.y, want.y, 1e-15);
  EXPECT_NEAR(mid.z, want.z, 1e-15);
}

TEST_F(CodingTest, PatchesAndHullsKeepTheirParts) {
  const auto square = R3LineSegment::lineSegmentLoopWithPoints({P(0, 0, 0), P(1, 0, 0), P(1, 1, 0), P(0, 1, 0)});
  const auto patch = SurfacePatch::patchWithSurface(R3Plane::planeWithCoefficients(0, 0, 1, 0),
                                                    R3CurveArray(square.begin(), square.end()));
  patch->setTrivial(true);
  const auto patchBack = roundTrip(patch);
  EXPECT_TRUE(patchBack->trivial());
  EXPECT_EQ(patchBack->description(), "TrivialPatch[Plane[0,0,1,0]]");
  ASSERT_EQ(patchBack->edges().size(), 4u);
  EXPECT_EQ(patchBack->edges()[2]->q0()->xyz(), (foundation::XYZ{1, 1, 0}));

  // A cube: its corners come back as shared points (8 − 12 + 6) and its volume is the same.
  std::vector<R3SurfacePtr> planes;
  for (int axis = 0; axis < 3; ++axis)
    for (double sign : {1.0, -1.0}) {
      double n[3] = {0, 0, 0};
      n[axis] = sign;
      planes.push_back(R3Plane::planeWithCoefficients(n[0], n[1], n[2], 1));
    }
  const auto cube = R3Hull::hullWithSurfaces(planes);
  ASSERT_TRUE(cube);
  const auto back = roundTrip(cube);
  EXPECT_NE(back->referenceNumber(), cube->referenceNumber());
  EXPECT_EQ(back->patches().size(), 6u);
  EXPECT_EQ(back->edges().size(), 12u);
  EXPECT_EQ(back->points().size(), 8u);
  EXPECT_EQ(back->eulerSum(), 2);
  EXPECT_NEAR(back->volume(), 8, 1e-9);

  // A hull with a curved wall: the cylinder and its rims (elliptic edges) survive.
  const auto can = R3Hull::hullWithSurfaces({R3CylinderZ::cylinderWithRadius(1.5), R3Plane::planeWithCoefficients(0, 0, 1, 2),
                                            R3Plane::planeWithCoefficients(0, 0, -1, 2)});
  ASSERT_TRUE(can);
  const auto canBack = roundTrip(can);
  EXPECT_EQ(canBack->edges().size(), 2u);
  EXPECT_NEAR(canBack->volume(), can->volume(), 1e-12 * can->volume());
}

TEST_F(CodingTest, ANonKeyedCoderIsRefused) {
  SequentialCoder coder;
  const auto segment = R3LineSegment::lineSegmentWithStartingPoint(P(0, 0, 0), P(1, 0, 0));
  const auto patch = SurfacePatch::patchWithSurface(R3Plane::planeWithCoefficients(0, 0, 1, 0), {segment});
  const std::vector<std::shared_ptr<platform::Object>> objects = {
      R3Plane::planeWithCoefficients(0, 0, 0, 1),
      R3CylinderZ::cylinderWithRadius(-1),
      R3Line::lineWithPoint(P(0, 0, 0), P(1, 0, 0)),
      segment,
      R3Ellipse::ellipseWithCenter(P(0, 0, 0), P(1, 0, 0), P(0, 1, 0)),
      patch,
      R3Hull::hullWithPatches({patch}),
  };
  for (const auto& object : objects) {
    SCOPED_TRACE(object->className());
    expectRaises([&] { object->encodeWithCoder(coder); }, "NSInvalidArchiveOperationException", "Require NSKeyedArchiver");
    expectRaises([&] { object->initWithCoder(coder); }, "NSInvalidArchiveOperationException", "Require NSKeyedArchiver");
  }
}

}  // namespace
}  // namespace orb::geometry
