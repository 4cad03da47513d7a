#include <gtest/gtest.h>

#include "ExpectRaises.h"

#include <cmath>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Ellipsoid.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "geometry/solids/R3Torus.h"
#include "platform/Exception.h"

namespace orb::geometry {
namespace {

R3PointPtr P(double x, double y, double z) { return R3Point::pointWithDoubles(x, y, z); }
std::shared_ptr<R3Line> ray(double x, double y, double z, double dx, double dy, double dz) {
  return R3Line::lineWithPoint(P(x, y, z), P(dx, dy, dz));
}

std::vector<double> parameters(const R3Surface& s, const R3Line& line) {
  double t[4];
  const int n = s.getIntersectionParametersForLine(line, t, 4);
  return {t, t + n};
}

using support::expectRaises;

void expectParameters(const std::vector<double>& got, const std::vector<double>& want, double tol) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "parameter " << i;
}

TEST(SurfaceTest, LineParametersInEachSurfacesOrder) {
  const auto segment = R3Line::lineWithStartingPoint(P(-2, 0, 0), P(2, 0, 0));
  struct Case {
    std::string name;
    std::shared_ptr<R3Surface> surface;
    std::shared_ptr<R3Line> line;
    std::vector<double> want;
  };
  const std::vector<Case> cases = {
      {"unit sphere", R3Quadric::unitSphere(), ray(-2, 0, 0, 1, 0, 0), {3, 1}},
      {"unit sphere, segment", R3Quadric::unitSphere(), segment, {0.75, 0.25}},
      {"sphere tangent", R3Quadric::unitSphere(), ray(-2, 1, 0, 1, 0, 0), {2}},
      {"sphere missed", R3Quadric::unitSphere(), ray(-2, 1.5, 0, 1, 0, 0), {}},
      {"ellipsoid (2, 1, 1)", R3EllipsoidAA::ellipsoidWithRadii(2, 1, 1), ray(-5, 0, 0, 1, 0, 0), {7, 3}},
      {"cylinder r = 2", R3CylinderZ::cylinderWithRadius(2), ray(-5, 0, 0, 1, 0, 0), {7, 3}},
      {"inverted cylinder", R3CylinderZ::cylinderWithRadius(-2), ray(-5, 0, 0, 1, 0, 0), {7, 3}},
      {"cylinder tangent", R3CylinderZ::cylinderWithRadius(2), ray(2, -5, 0, 0, 1, 0), {}},
      {"cylinder along axis", R3CylinderZ::cylinderWithRadius(2), ray(0, 0, 0, 0, 0, 1), {}},
      {"torus R = 10, a = 1", R3Torus::torusWithMajorRadius(10, 1), ray(0, -5, 0, 0, 1, 0), {26, 24, 6, 4}},
      {"torus missed", R3Torus::torusWithMajorRadius(10, 1), ray(5, 0, 0, 0, 0, 1), {}},
      {"plane z = 3", R3Plane::planeWithCoefficients(0, 0, 2, 6), ray(0, 0, 1, 0, 0, 0.5), {4}},
      {"plane, parallel", R3Plane::planeWithCoefficients(0, 0, 1, 3), ray(0, 0, 1, 1, 0, 0), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectParameters(parameters(*c.surface, *c.line), c.want, 1e-9);
    // The points agree with the parameters, in the same order.
    const auto points = c.surface->intersectionsWithLine(*c.line);
    if (!points.empty()) {
      ASSERT_EQ(points.size(), c.want.size());
      for (std::size_t i = 0; i < points.size(); ++i) EXPECT_NEAR(points[i]->x(), c.line->pointAt(c.want[i]).x, 1e-9);
    }
  }
}

TEST(SurfaceTest, ARayInsideATubeFindsTheNearestWall) {
  const auto torus = R3Torus::torusWithMajorRadius(10, 1);
  // From the origin, on the tube's centre circle, along +y: walls at −1, 1, 19 and 21.
  const auto inside = ray(0, 0, 0, 0, 1, 0);
  EXPECT_NEAR(parameters(*torus, *inside).front(), 21, 1e-9);  // the written order is largest first
  EXPECT_NEAR(*torus->nearestIntersectionParameterForLine(*inside, 1e-9), 1, 1e-9);
  // Starting on the wall itself, the wall it stands on is skipped.
  EXPECT_NEAR(*torus->nearestIntersectionParameterForLine(*ray(0, 1, 0, 0, 1, 0), 1e-9), 18, 1e-9);

  // The light pipe's tapered wall: a cone r = 1 + 0.5·z seen from inside, on the axis.
  QuadricCoefficients cone{};
  cone.xx = 1, cone.yy = 1, cone.zz = -0.25, cone.zt = -0.5, cone.tt = -1;
  const auto quadric = R3Quadric::instanceWithCoefficients(cone);
  const auto sideways = ray(0, 0, 2, 1, 0, 0);  // radius 2 at z = 2
  EXPECT_NEAR(*quadric->nearestIntersectionParameterForLine(*sideways, 1e-9), 2, 1e-12);
  EXPECT_NEAR(*R3Quadric::unitSphere()->nearestIntersectionParameterForLine(*ray(0, 0, 0, 0, 0, 1), 1e-9), 1, 1e-12);
  EXPECT_FALSE(R3Quadric::unitSphere()->nearestIntersectionParameterForLine(*ray(0, 0, 2, 0, 0, 1), 1e-9));
}

TEST(SurfaceTest, ArrayOverflowKeepsWhatWasWritten) {
  double t[4] = {0, 0, 0, 0};
  expectRaises([&] { R3Quadric::unitSphere()->getIntersectionParametersForLine(*ray(-2, 0, 0, 1, 0, 0), t, 1); },
               "NSInternalInconsistencyException", "array overflow");
  EXPECT_NEAR(t[0], 3, 1e-12);
  expectRaises(
      [&] { R3Torus::torusWithMajorRadius(10, 1)->getIntersectionParametersForLine(*ray(0, -5, 0, 0, 1, 0), t, 2); },
      "NSInternalInconsistencyException", "array overflow");
  EXPECT_NEAR(t[1], 24, 1e-9);
  expectRaises([&] { R3CylinderZ::cylinderWithRadius(2)->getIntersectionParametersForLine(*ray(-5, 0, 0, 1, 0, 0), t, 0); },
               "NSInternalInconsistencyException", "array overflow");
}

TEST(SurfaceTest, PlanesSidesDistancesAndLines) {
  const auto entrance = R3Plane::planeWithCoefficients(0, 0, -1, 0);
  EXPECT_TRUE(entrance->advancingUponPoint(*P(0, 0, -1)));
  EXPECT_FALSE(entrance->advancingUponPoint(*P(0, 0, 1)));
  EXPECT_FALSE(entrance->advancingUponPoint(*P(3, 4, 0)));
  EXPECT_FALSE(R3Plane::planeWithCoefficients(0, 0, 1, 5)->advancingUponOrigin());
  EXPECT_TRUE(R3Plane::planeWithCoefficients(0, 0, 1, -5)->advancingUponOrigin());

  const auto p = R3Plane::planeWithCoefficients(0, 3, 4, 10);
  EXPECT_DOUBLE_EQ(p->distanceToPoint(*P(7, 0, 0)), 2);
  const auto foot = p->closestPointToPoint(*P(7, 0, 0));
  EXPECT_NEAR(foot->y(), 1.2, 1e-15);
  EXPECT_NEAR(foot->z(), 1.6, 1e-15);
  EXPECT_NEAR(p->normal()->y(), 0.6, 1e-15);

  EXPECT_TRUE(R3Plane::planeWithCoefficients(1, 0, 0, 1)->coincidesWithPlane(*R3Plane::planeWithCoefficients(-2, 0, 0, -2)));
  EXPECT_FALSE(R3Plane::planeWithCoefficients(1, 0, 0, 1)->coincidesWithPlane(*R3Plane::planeWithCoefficients(1, 0, 0, 1.001)));

  const auto line = R3Plane::planeWithCoefficients(0, 0, 1, 0)->lineOfIntersectionWithPlane(*R3Plane::planeWithCoefficients(1, 0, 0, 1));
  ASSERT_TRUE(line);
  EXPECT_EQ(line->q0()->xyz(), (foundation::XYZ{1, 0, 0}));
  EXPECT_EQ(line->director()->xyz(), (foundation::XYZ{0, 1, 0}));
  EXPECT_FALSE(R3Plane::planeWithCoefficients(0, 0, 1, 0)->lineOfIntersectionWithPlane(*R3Plane::planeWithCoefficients(0, 0, 2, 5)));

  const auto degenerate = R3Plane::planeWithCoefficients(0, 0, 0, 1);
  expectRaises([&] { degenerate->normal(); }, "NSInternalInconsistencyException", "R3Plane requires nontrivial normal");
  expectRaises([&] { degenerate->normalForPoint(*P(0, 0, 0)); }, "NSInternalInconsistencyException",
               "R3Plane requires nontrivial normal");
}

TEST(SurfaceTest, PlanesAreKeyedByTheirExactCoefficients) {
  const auto a = R3Plane::planeWithCoefficients(0, 0, 1, 100.0001);
  const auto b = R3Plane::planeWithCoefficients(0, 0, 1, 100.0004);
  ASSERT_EQ(a->description(), b->description());  // six digits cannot tell them apart
  EXPECT_FALSE(a->isEqualTo(*b));
  EXPECT_NE(a->exactDescription(), b->exactDescription());
  EXPECT_TRUE(a->isEqualTo(*R3Plane::planeWithCoefficients(0, 0, 1, 100.0001)));
  EXPECT_TRUE(R3Plane::planeWithCoefficients(0, 0, 1, 0)->isEqualTo(*R3Plane::planeWithCoefficients(-0.0, 0, 1, 0)));

  struct Hash {
    std::size_t operator()(const std::shared_ptr<R3Plane>& p) const { return p->hash(); }
  };
  struct Eq {
    bool operator()(const std::shared_ptr<R3Plane>& l, const std::shared_ptr<R3Plane>& r) const { return l->isEqualTo(*r); }
  };
  std::unordered_set<std::shared_ptr<R3Plane>, Hash, Eq> walls{a, b, R3Plane::planeWithCoefficients(0, 0, 1, 100.0001)};
  EXPECT_EQ(walls.size(), 2u);
}

TEST(SurfaceTest, QuadricValuesNormalsAndClassification) {
  const auto sphere = R3Quadric::unitSphere();
  EXPECT_TRUE(sphere->advancingUponPoint(*P(2, 0, 0)));
  EXPECT_FALSE(sphere->advancingUponPoint(*P(0.5, 0, 0)));
  EXPECT_EQ(sphere->normalForPoint(*P(0, 0, 1))->xyz(), (foundation::XYZ{0, 0, 1}));
  QuadricCoefficients scaled = sphere->coefficients();
  for (double* k = &scaled.xx; k <= &scaled.tt; ++k) *k *= 5;
  EXPECT_TRUE(sphere->isEqualToQuadric(R3Quadric::instanceWithCoefficients(scaled).get()));

  QuadricCoefficients negative = sphere->coefficients();
  for (double* k = &negative.xx; k <= &negative.tt; ++k) *k = -*k;
  QuadricCoefficients flat{};
  flat.xt = 1, flat.tt = -2;
  EXPECT_EQ(sphere->specificSurfaceKind(), "ellipsoid");
  EXPECT_EQ(R3Quadric::instanceWithCoefficients(negative)->specificSurfaceKind(), "ellipsoid (inverted)");
  EXPECT_EQ(R3CylinderZ::cylinderWithRadius(1)->quadric()->specificSurfaceKind(), "general");
  EXPECT_EQ(R3Quadric::instanceWithCoefficients(flat)->specificSurfaceKind(), "plane");
  // A plane-like quadric crosses once, on the linear branch: x = 1 from (−1, 0, 0).
  expectParameters(parameters(*R3Quadric::instanceWithCoefficients(flat), *ray(-1, 0, 0, 2, 0, 0)), {1}, 1e-15);

  // The plane's quadric is the plane: zero on it, positive on its advancing side.
  const auto plane = R3Plane::planeWithCoefficients(1, 2, 2, 3);
  EXPECT_NEAR(plane->quadric()->valueAtPoint(*P(1, 1, 0)), 0, 1e-15);
  EXPECT_GT(plane->quadric()->valueAtPoint(*P(3, 1, 0)), 0);
}

TEST(SurfaceTest, CylinderSectionsGiveACircleOrTwoLines) {
  const auto cylinder = R3CylinderZ::cylinderWithRadius(1);
  const auto circle = R3Surface::curvesOfIntersectionOfSurface(*cylinder, *R3Plane::planeWithCoefficients(0, 0, 1, 1));
  ASSERT_EQ(circle.size(), 1u);
  const auto ellipse = std::dynamic_pointer_cast<R3Ellipse>(circle[0]);
  ASSERT_TRUE(ellipse);
  EXPECT_EQ(ellipse->center()->xyz(), (foundation::XYZ{0, 0, 1}));
  EXPECT_NEAR(ellipse->semiminorAxis()->abs(), 1, 1e-15);
  EXPECT_NEAR(ellipse->semimajorAxis()->abs(), 1, 1e-15);

  // The plane first or second: the same two lines along z through (0.5, ±√0.75, 0).
  const auto plane = R3Plane::planeWithCoefficients(1, 0, 0, 0.5);
  for (const auto& lines : {R3Surface::curvesOfIntersectionOfSurface(*cylinder, *plane),
                            R3Surface::curvesOfIntersectionOfSurface(*plane, *cylinder)}) {
    ASSERT_EQ(lines.size(), 2u);
    double ySum = 0;
    for (const auto& curve : lines) {
      const auto line = std::dynamic_pointer_cast<R3Line>(curve);
      ASSERT_TRUE(line);
      EXPECT_NEAR(line->q0()->x(), 0.5, 1e-15);
      EXPECT_NEAR(std::fabs(line->q0()->y()), std::sqrt(0.75), 1e-15);
      EXPECT_NEAR(line->q0()->z(), 0, 1e-15);
      EXPECT_EQ(line->director()->xyz(), (foundation::XYZ{0, 0, 1}));
      ySum += line->q0()->y();
    }
    EXPECT_NEAR(ySum, 0, 1e-15);
  }
  EXPECT_TRUE(R3Surface::curvesOfIntersectionOfSurface(*cylinder, *R3Plane::planeWithCoefficients(1, 0, 0, 3)).empty());
  // Cylinders with each other and planes with ellipsoids are not intersected.
  EXPECT_TRUE(R3Surface::curvesOfIntersectionOfSurface(*cylinder, *R3CylinderZ::cylinderWithRadius(2)).empty());
  EXPECT_TRUE(R3Surface::curvesOfIntersectionOfSurface(*plane, *R3Ellipsoid::unitSphere()).empty());

  // The general form is the same surface.
  const auto general = cylinder->cylinder();
  const auto line = ray(-3, 0.2, 1, 1, 0.1, 0.3);
  expectParameters(parameters(*general, *line), parameters(*cylinder, *line), 1e-15);
  EXPECT_TRUE(general->quadric()->isEqualToQuadric(cylinder->quadric().get()));
  EXPECT_EQ(cylinder->closestPointToPoint(*P(0, 0, 4))->xyz(), (foundation::XYZ{1, 0, 4}));
  EXPECT_TRUE(R3CylinderZ::cylinderWithRadius(-2)->advancingUponPoint(*P(0, 0, 0)));
  EXPECT_FALSE(R3CylinderZ::cylinderWithRadius(-2)->advancingUponPoint(*P(3, 0, 0)));
}

TEST(SurfaceTest, EllipsoidsNearestPointsAndSections) {
  const auto sphere = R3Ellipsoid::sphereWithCenter(P(1, 1, 1), 2);
  EXPECT_EQ(sphere->testPoint()->xyz(), (foundation::XYZ{3, 1, 1}));
  EXPECT_EQ(sphere->closestPointToPoint(*P(10, 1, 1))->xyz(), (foundation::XYZ{3, 1, 1}));
  EXPECT_DOUBLE_EQ(sphere->distanceToPoint(*P(10, 1, 1)), 7);
  EXPECT_DOUBLE_EQ(sphere->distanceToPoint(*P(1.5, 1, 1)), 0);
  expectParameters(parameters(*sphere, *ray(-5, 1, 1, 1, 0, 0)), {8, 4}, 1e-12);

  const auto aa = R3EllipsoidAA::ellipsoidWithRadii(2, 1, 1);
  EXPECT_TRUE(aa->advancingUponPoint(*P(3, 0, 0)));
  EXPECT_FALSE(aa->advancingUponPoint(*P(1, 0, 0)));
  EXPECT_EQ(aa->normalForPoint(*P(2, 0, 0))->xyz(), (foundation::XYZ{1, 0, 0}));
  EXPECT_TRUE(R3EllipsoidAA::ellipsoidWithRadii(2, 3, 4)->ellipsoid()->quadric()->isEqualToQuadric(
      R3EllipsoidAA::ellipsoidWithRadii(2, 3, 4)->quadric().get()));

  // The plane z = 2 cuts the sphere of radius 2 about (1, 1, 1) in a circle of radius √3.
  const auto section = sphere->ellipseOfIntersectionWithPlane(*R3Plane::planeWithCoefficients(0, 0, 1, 2));
  EXPECT_NEAR(section->center()->z(), 2, 1e-14);
  EXPECT_NEAR(section->center()->x(), 1, 1e-14);
  EXPECT_NEAR(section->semimajorAxis()->abs(), std::sqrt(3.0), 1e-14);
  // Seen along z the sphere's outline is its equator.
  const auto limb = sphere->limbForProjectionPlane(*R3Plane::planeWithCoefficients(0, 0, 1, 0));
  EXPECT_NEAR(limb->center()->z(), 1, 1e-14);
  EXPECT_NEAR(limb->semiminorAxis()->abs(), 2, 1e-14);

  expectRaises([&] { sphere->ellipseOfIntersectionWithPlane(*R3Plane::planeWithCoefficients(0, 0, 1, 5)); },
               "R3Ellipsoid", "EllipsoidLimb failed");
  expectRaises([&] { aa->ellipseOfIntersectionWithPlane(*R3Plane::planeWithCoefficients(1, 0, 0, 2)); },
               "R3EllipsoidAA", "EllipsoidLimb failed");
  expectRaises([&] { sphere->limbForObservationPoint(*P(1, 1, 1)); }, "R3Ellipsoid", "EllipsoidLimb failed");
}

TEST(SurfaceTest, TorusSidesAndNormals) {
  const auto torus = R3Torus::torusWithMajorRadius(10, 1);
  EXPECT_FALSE(torus->advancingUponPoint(*P(0, 0, 0)));
  EXPECT_TRUE(torus->advancingUponPoint(*P(2, 0, 0)));
  EXPECT_TRUE(torus->advancingUponPoint(*P(0, 1, 0)));  // on the surface
  const auto n = torus->normalForPoint(*P(0, -1, 0));
  EXPECT_NEAR(n->y(), -1, 1e-15);
  EXPECT_NEAR(n->x(), 0, 1e-15);
  const auto m = torus->normalForPoint(*P(0, 10, 11));  // the tube's top at the far side
  EXPECT_NEAR(m->z(), 1, 1e-15);
}

}  // namespace
}  // namespace orb::geometry
