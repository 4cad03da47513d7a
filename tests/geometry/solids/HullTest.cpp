#include <gtest/gtest.h>

#include "ExpectRaises.h"

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/BSIG.h"
#include "geometry/solids/LimbGenerator.h"
#include "geometry/solids/PolarIntegration.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Ellipsoid.h"
#include "geometry/solids/R3Hull.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Torus.h"
#include "platform/Exception.h"

namespace orb::geometry {
namespace {

R3PointPtr P(double x, double y, double z) { return R3Point::pointWithDoubles(x, y, z); }

using support::expectRaises;

/// The box [x0, x1] × [y0, y1] × [z0, z1] as six planes whose normals point outwards.
std::vector<R3SurfacePtr> box(double x0, double x1, double y0, double y1, double z0, double z1) {
  return {R3Plane::planeWithCoefficients(1, 0, 0, x1),  R3Plane::planeWithCoefficients(-1, 0, 0, -x0),
          R3Plane::planeWithCoefficients(0, 1, 0, y1),  R3Plane::planeWithCoefficients(0, -1, 0, -y0),
          R3Plane::planeWithCoefficients(0, 0, 1, z1),  R3Plane::planeWithCoefficients(0, 0, -1, -z0)};
}

TEST(HullTest, SixPlanesMakeACubeWithSharedCorners) {
  const auto hull = R3Hull::hullWithSurfaces(box(-1, 1, -1, 1, -1, 1));
  ASSERT_TRUE(hull);
  EXPECT_EQ(hull->patches().size(), 6u);
  EXPECT_EQ(hull->edges().size(), 12u);
  EXPECT_EQ(hull->points().size(), 8u);
  EXPECT_EQ(hull->eulerSum(), 2);
  for (const auto& patch : hull->patches()) EXPECT_EQ(patch->edges().size(), 4u);
  for (const auto& p : hull->points()) {
    EXPECT_NEAR(std::fabs(p->x()), 1, 1e-12);
    EXPECT_NEAR(std::fabs(p->y()), 1, 1e-12);
    EXPECT_NEAR(std::fabs(p->z()), 1, 1e-12);
  }
}

TEST(HullTest, SurfacesInAnyOrderAndRepeatedGiveTheSameCube) {
  auto planes = box(-1, 1, -1, 1, -1, 1);
  std::vector<R3SurfacePtr> shuffled{planes[4], planes[1], planes[5], planes[0], planes[3], planes[2]};
  shuffled.push_back(R3Plane::planeWithCoefficients(1, 0, 0, 1));  // the +x wall once more
  const auto hull = R3Hull::hullWithSurfaces(shuffled);
  ASSERT_TRUE(hull);
  EXPECT_EQ(hull->patches().size(), 6u);
  EXPECT_EQ(hull->eulerSum(), 2);
}

TEST(HullTest, WallsARoundingApartStayTwoWalls) {
  // Two +x walls that print alike at six digits: the inner one bounds the solid and must
  // not be replaced by the outer one.
  auto planes = box(-1, 1, -1, 1, -1, 1);
  planes.push_back(R3Plane::planeWithCoefficients(1, 0, 0, 1.0000001));
  const auto hull = R3Hull::hullWithSurfaces(planes);
  ASSERT_TRUE(hull);
  EXPECT_EQ(hull->patches().size(), 6u);
  EXPECT_NEAR(hull->volume(), 8, 1e-9);
}

TEST(HullTest, IntersectionOfTwoHullsTakesSharedWallsOnce) {
  const auto a = R3Hull::hullWithSurfaces(box(-1, 1, -1, 1, -1, 1));
  const auto b = R3Hull::hullWithSurfaces(box(0, 2, -1, 1, -1, 1));
  ASSERT_TRUE(a && b);
  const auto both = a->intersectionWithHull(*b);
  ASSERT_TRUE(both);
  EXPECT_EQ(both->patches().size(), 6u);
  EXPECT_EQ(both->eulerSum(), 2);
  EXPECT_NEAR(both->volume(), 4, 1e-9);
  EXPECT_NE(both->referenceNumber(), a->referenceNumber());
  const auto far = R3Hull::hullWithSurfaces(box(3, 4, -1, 1, -1, 1));
  EXPECT_FALSE(a->intersectionWithHull(*far));
}

TEST(HullTest, EdgesGroupByConnection) {
  const auto P0 = P(0, 0, 0), P1 = P(1, 0, 0), P2 = P(0, 1, 0), Q0 = P(5, 0, 0), Q1 = P(6, 0, 0), Q2 = P(5, 1, 0);
  const R3CurveArray two{R3LineSegment::lineSegmentWithStartingPoint(P0, P1), R3LineSegment::lineSegmentWithStartingPoint(Q0, Q1),
                         R3LineSegment::lineSegmentWithStartingPoint(P1, P2), R3LineSegment::lineSegmentWithStartingPoint(Q1, Q2),
                         R3LineSegment::lineSegmentWithStartingPoint(P2, P0), R3LineSegment::lineSegmentWithStartingPoint(Q2, Q0)};
  const auto groups = R3Hull::connectedEdgesForEdges(two);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0], (R3CurveArray{two[0], two[2], two[4]}));
  EXPECT_EQ(groups[1], (R3CurveArray{two[1], two[3], two[5]}));
  // A closed curve pulls every edge of its surface into one group.
  R3CurveArray withRim = two;
  withRim.push_back(R3Ellipse::ellipseWithCenter(P(0, 0, 0), P(9, 0, 0), P(0, 9, 0)));
  const auto one = R3Hull::connectedEdgesForEdges(withRim);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].size(), 7u);
}

TEST(HullTest, TestPointOfAPatchLiesInsideIt) {
  const auto hull = R3Hull::hullWithSurfaces(box(-1, 1, -2, 2, -3, 3));
  ASSERT_TRUE(hull);
  for (const auto& patch : hull->patches()) {
    const auto t = hull->testPointForPatch(*patch);
    ASSERT_TRUE(t);
    EXPECT_NEAR(patch->surface()->distanceToPoint(*t), 0, 1e-12);
    EXPECT_LE(std::fabs(t->x()), 1 + 1e-12);
    EXPECT_LE(std::fabs(t->y()), 2 + 1e-12);
    EXPECT_LE(std::fabs(t->z()), 3 + 1e-12);
    for (const auto& other : hull->patches()) EXPECT_FALSE(other->advancingUponPoint(*t));
  }
}

struct CountingSink : DrawingSink {
  int strips = 0, vertices = 0;
  void begin(DrawMode) override { ++strips; }
  void normal(const foundation::XYZ&) override {}
  void vertex(const foundation::XYZ&) override { ++vertices; }
  void end() override {}
};

TEST(HullTest, PatchesDrawTheirEdges) {
  const auto hull = R3Hull::hullWithSurfaces(box(-1, 1, -1, 1, -1, 1));
  ASSERT_TRUE(hull);
  CountingSink sink;
  for (const auto& patch : hull->patches()) patch->drawUsingOpenGL(sink);
  EXPECT_EQ(sink.strips, 24);  // every edge once from each of its two patches
  EXPECT_EQ(sink.vertices, 48);
  EXPECT_EQ(hull->patches().front()->description().rfind("SurfacePatch[Plane[", 0), 0u);
}

TEST(HullTest, SurfacesThatDoNotMeetGiveNoHull) {
  EXPECT_FALSE(R3Hull::hullWithSurfaces({R3Plane::planeWithCoefficients(0, 0, 1, 1),
                                         R3Plane::planeWithCoefficients(0, 0, 1, 2)}));
  EXPECT_FALSE(R3Hull::hullWithSurfaces({}));
}

TEST(HullTest, CubeVolumeAndMomentsMatchClosedForms) {
  const auto hull = R3Hull::hullWithSurfaces(box(-1, 1, -1, 1, -1, 1));
  ASSERT_TRUE(hull);
  EXPECT_NEAR(hull->volume(), 8, 1e-9);
  const auto first = hull->firstMomentVector();
  EXPECT_NEAR(first.x, 0, 1e-9);
  EXPECT_NEAR(first.y, 0, 1e-9);
  EXPECT_NEAR(first.z, 0, 1e-9);
  const auto second = hull->secondMomentTensor();
  // ∫x² over [−1, 1]³ = (2/3)·2·2.
  EXPECT_NEAR(second.xx, 8.0 / 3, 1e-9);
  EXPECT_NEAR(second.yy, 8.0 / 3, 1e-9);
  EXPECT_NEAR(second.zz, 8.0 / 3, 1e-9);
  EXPECT_NEAR(second.xy, 0, 1e-9);
  EXPECT_NEAR(second.yx, 0, 1e-9);
  EXPECT_NEAR(second.xz, 0, 1e-9);
  EXPECT_NEAR(second.yz, 0, 1e-9);
}

TEST(HullTest, OffsetBoxMomentsMatchClosedForms) {
  // [0, 2] × [1, 4] × [−1, 0]: V = 6, centre (1, 2.5, −0.5), ∫xy = ∫x·∫y·∫z = 2·7.5·1.
  const auto hull = R3Hull::hullWithSurfaces(box(0, 2, 1, 4, -1, 0));
  ASSERT_TRUE(hull);
  EXPECT_NEAR(hull->volume(), 6, 1e-9);
  const auto first = hull->firstMomentVector();
  EXPECT_NEAR(first.x, 6 * 1.0, 1e-9);
  EXPECT_NEAR(first.y, 6 * 2.5, 1e-9);
  EXPECT_NEAR(first.z, 6 * -0.5, 1e-9);
  const auto second = hull->secondMomentTensor();
  EXPECT_NEAR(second.xx, 8.0 / 3 * 3 * 1, 1e-9);   // ∫₀² x² = 8/3
  EXPECT_NEAR(second.yy, 21.0 * 2 * 1, 1e-9);      // ∫₁⁴ y² = 21
  EXPECT_NEAR(second.zz, 1.0 / 3 * 2 * 3, 1e-9);   // ∫₋₁⁰ z² = 1/3
  EXPECT_NEAR(second.xy, 2 * 7.5 * 1, 1e-9);
  EXPECT_NEAR(second.xz, 2 * 3 * -0.5, 1e-9);
  EXPECT_NEAR(second.yz, 2 * 7.5 * -0.5, 1e-9);
}

TEST(HullTest, CubeSurfaceAreaIsSixFaces) {
  const auto hull = R3Hull::hullWithSurfaces(box(-1, 1, -1, 1, -1, 1));
  ASSERT_TRUE(hull);
  EXPECT_NEAR(hull->surfaceArea(), 24, 24e-4);  // tanh–sinh over ten nodes per sector
}

TEST(HullTest, BoxOutlineIsSegmentsInThePlane) {
  const auto hull = R3Hull::hullWithSurfaces(box(-1, 1, -2, 2, -3, 3));
  ASSERT_TRUE(hull);
  const auto plane = R3Plane::planeWithCoefficients(1, 2, 3, 0.5);
  const auto outline = BSIG::projectionOfHull(*hull, *plane);
  EXPECT_EQ(outline.size(), 12u);  // all planes: no limbs, every edge projected
  for (const auto& c : outline) {
    ASSERT_TRUE(c);
    ASSERT_TRUE(dynamic_cast<const R3LineSegment*>(c.get()));
    EXPECT_NEAR(plane->distanceToPoint(*c->q0()), 0, 1e-12);
    EXPECT_NEAR(plane->distanceToPoint(*c->q1()), 0, 1e-12);
  }
  // A view straight down an edge collapses that edge to a point: it leaves the outline.
  const auto down = R3Plane::planeWithCoefficients(0, 0, 1, 0);
  const auto top = BSIG::projectionOfHull(*hull, *down);
  EXPECT_EQ(top.size(), 8u);
  for (const auto& c : top) ASSERT_TRUE(c);
  EXPECT_EQ(BSIG::edgesProjectedOntoPlane(hull->edges(), *down).size(), 12u);
}

std::vector<R3SurfacePtr> cappedCylinder(double r, double h) {
  return {R3CylinderZ::cylinderWithRadius(r), R3Plane::planeWithCoefficients(0, 0, 1, h),
          R3Plane::planeWithCoefficients(0, 0, -1, h)};
}

TEST(HullTest, CappedCylinderHasTheVolumeOfTheClosedForm) {
  const double r = 1.5, h = 2;
  const auto hull = R3Hull::hullWithSurfaces(cappedCylinder(r, h));
  ASSERT_TRUE(hull);
  EXPECT_EQ(hull->patches().size(), 3u);
  EXPECT_EQ(hull->edges().size(), 2u);  // the two rims
  const double V = M_PI * r * r * 2 * h;
  EXPECT_NEAR(hull->volume(), V, 1e-4 * V);
  const auto second = hull->secondMomentTensor();
  // ∫z² = πr²·(2h³/3); ∫x² = (πr⁴/4)·2h.
  EXPECT_NEAR(second.zz, M_PI * r * r * 2 * h * h * h / 3, 2e-3 * V * h * h);
  EXPECT_NEAR(second.xx, M_PI * r * r * r * r / 4 * 2 * h, 2e-3 * V * r * r);
}

/// A patch's area by the patch's own integration about `origin`, but with more nodes than
/// the patch uses, so that what is left is the surface-element size's error, not the rule's.
double fineArea(const SurfacePatch& patch, const R3PointPtr& origin) {
  std::shared_ptr<const PolarMap> map = patch.surface()->polarMapForLocus(origin);
  auto radial = std::make_shared<VKRadialIntegrator>();
  radial->operand().setMap(map);
  radial->operand().setChargeDensityFunctor(std::make_shared<R3ToR1MapConstant>(1));
  radial->setIntegrationOrder(20);
  VKPolarIntegrator polar;
  polar.setDomain(std::make_shared<VKPolarDomain>(patch.edges(), map));
  polar.setRadialIntegrator(radial);
  polar.setIntegrationOrder(60);
  polar.evaluate();
  return polar.integral0() / 2;
}

TEST(HullTest, CurvedWallAreasMatchClosedForms) {
  const auto plane = [](double a, double b, double c, double d) -> R3SurfacePtr {
    return R3Plane::planeWithCoefficients(a, b, c, d);
  };
  struct Case {
    const char* name;
    std::vector<R3SurfacePtr> surfaces;
    double wall;   // the cylinder's wall
    double total;  // walls and caps
  };
  const double r = 1.5;
  const std::vector<Case> cases = {
      // Radius 1.5 between z = −2 and z = 2: wall 2πr·4, caps πr² each (51.836 in all).
      {"capped cylinder", cappedCylinder(r, 2), 2 * M_PI * r * 4, 2 * M_PI * r * 4 + 2 * M_PI * r * r},
      // Radius 1 from z = 0 up to z = 2 + x/2: the wall's mean height is 2, so 4π; the
      // tilted cap is the unit disk stretched by the secant √(1 + 1/4) of its tilt.
      {"tilted-cap cylinder",
       {R3CylinderZ::cylinderWithRadius(1), plane(0, 0, -1, 0), plane(-0.5, 0, 1, 2)},
       4 * M_PI,
       4 * M_PI + M_PI + M_PI * std::sqrt(1.25)},
  };
  for (const auto& c : cases) {
    const auto hull = R3Hull::hullWithSurfaces(c.surfaces);
    ASSERT_TRUE(hull) << c.name;
    // The patches integrate with ten angular nodes, whose fixed span leaves about 0.3 %
    // (the walls' element sizes were 12.7 % short before).
    EXPECT_NEAR(hull->surfaceArea(), c.total, 5e-3 * c.total) << c.name;
    for (const auto& patch : hull->patches())
      if (dynamic_cast<const R3CylinderZ*>(patch->surface().get()))
        EXPECT_NEAR(fineArea(*patch, hull->testPointForPatch(*patch)), c.wall, 1e-4 * c.wall) << c.name;
  }
}

TEST(HullTest, EllipsoidPatchAreasMatchClosedForms) {
  // A hemisphere of the unit sphere bounded by its equator: 2π, from any origin on it.
  const auto equator = R3Ellipse::ellipseWithCenter(P(0, 0, 0), P(1, 0, 0), P(0, 1, 0));
  const auto hemisphere = SurfacePatch::patchWithSurface(R3Ellipsoid::sphereWithRadius(1), {equator});
  // A spheroid of equatorial radius a = 1 and polar semi-axis c = 2, its axis tilted by 0.4
  // rad and its centre moved, cut at the height 1 along the axis. As a surface of
  // revolution its area is 2π∫ρ√(1 + ρ′²)dz with ρ = a√(1 − z²/c²), i.e.
  // 2πa∫√(1 − k²z²)dz from 1 to c with k² = (c² − a²)/c⁴, whose antiderivative is
  // ½(z√(1 − k²z²) + asin(kz)/k).
  const double k = std::sqrt(3.0) / 4, t = 0.4;
  const auto F = [&](double z) { return 0.5 * (z * std::sqrt(1 - k * k * z * z) + std::asin(k * z) / k); };
  const double capArea = 2 * M_PI * (F(2) - F(1));  // 4.658312
  const foundation::XYZ centre{0.5, -0.3, 0.2}, u{std::cos(t), 0, -std::sin(t)}, w{std::sin(t), 0, std::cos(t)};
  const auto at = [&](double U, double V, double W) {
    return P(centre.x + U * u.x + W * w.x, centre.y + V, centre.z + U * u.z + W * w.z);
  };
  const auto spheroid = R3Ellipsoid::ellipsoidWithCenter(P(centre.x, centre.y, centre.z), P(u.x, u.y, u.z), P(0, 1, 0),
                                                         P(2 * w.x, 2 * w.y, 2 * w.z));
  const double rimRadius = std::sqrt(0.75);
  const auto rim = R3Ellipse::ellipseWithCenter(at(0, 0, 1), P(rimRadius * u.x, 0, rimRadius * u.z), P(0, rimRadius, 0));
  const auto cap = SurfacePatch::patchWithSurface(spheroid, {rim});
  struct Case {
    const char* name;
    std::shared_ptr<SurfacePatch> patch;
    R3PointPtr origin;
    double area;
    double patchTolerance;  // of the patch's own ten angular nodes, relative
  };
  const double s3 = std::sin(0.3), s6 = std::sin(0.6);
  const std::vector<Case> cases = {
      {"hemisphere from its pole", hemisphere, P(0, 0, 1), 2 * M_PI, 1e-12},
      {"hemisphere off the pole", hemisphere, P(0.6, 0, 0.8), 2 * M_PI, 1.5e-2},
      {"hemisphere off both axes", hemisphere, P(0.48, 0.64, 0.6), 2 * M_PI, 1.5e-2},
      {"spheroid cap from its tip", cap, at(0, 0, 2), capArea, 1e-5},
      {"spheroid cap off its axis", cap, at(0.8 * s3, 0.6 * s3, 2 * std::cos(0.3)), capArea, 1.5e-2},
      {"spheroid cap further off", cap, at(0.8 * s6, 0.6 * s6, 2 * std::cos(0.6)), capArea, 1.5e-2},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(c.patch->areaWithOrigin(c.origin), c.area, c.patchTolerance * c.area) << c.name;
    EXPECT_NEAR(fineArea(*c.patch, c.origin), c.area, 2e-4 * c.area) << c.name;
  }
}

TEST(HullTest, APatchOnASurfaceWithoutPolarMapRaisesNamingIt) {
  const auto torus = R3Torus::torusWithMajorRadius(10, 1);
  const auto patch = SurfacePatch::patchWithSurface(torus, {});
  expectRaises([&] { patch->areaWithOrigin(P(0, 0, 0)); }, "NSInternalInconsistencyException",
               "areaWithOrigin: " + torus->description() + " has no polar map");
}

TEST(HullTest, CappedCylinderOutlineSeenSideOnIsItsSilhouette) {
  const double r = 1.5, h = 2;
  const auto hull = R3Hull::hullWithSurfaces(cappedCylinder(r, h));
  ASSERT_TRUE(hull);
  const auto plane = R3Plane::planeWithCoefficients(0, 1, 0, 0);  // looking along y
  const auto outline = BSIG::projectionOfHull(*hull, *plane);
  // A rectangle: the limbs x = ±r from z = −h to h, and each rim seen edge-on as the
  // segment from x = −r to r (its front and back halves, which coincide).
  int generators = 0, rims = 0;
  for (const auto& c : outline) {
    ASSERT_TRUE(c);
    const auto* s = dynamic_cast<const R3LineSegment*>(c.get());
    ASSERT_TRUE(s) << c->description();
    EXPECT_NEAR(s->q0()->y(), 0, 1e-12);
    EXPECT_NEAR(s->q1()->y(), 0, 1e-12);
    if (std::fabs(s->q0()->x() - s->q1()->x()) < 1e-9) {
      ++generators;
      EXPECT_NEAR(std::fabs(s->q0()->x()), r, 1e-9);
      EXPECT_NEAR(std::fabs(s->q1()->z() - s->q0()->z()), 2 * h, 1e-9);
    } else {
      ++rims;
      EXPECT_NEAR(std::fabs(s->q0()->z()), h, 1e-9);
      EXPECT_NEAR(s->q1()->z(), s->q0()->z(), 1e-9);
      EXPECT_NEAR(std::fabs(s->q1()->x() - s->q0()->x()), 2 * r, 1e-9);
    }
  }
  EXPECT_EQ(generators, 2);
  EXPECT_EQ(rims, 4);
}

TEST(HullTest, CappedCylinderOutlineSeenObliquelyIsLimbsAndRimArcs) {
  const double r = 1.5, h = 2;
  const auto hull = R3Hull::hullWithSurfaces(cappedCylinder(r, h));
  ASSERT_TRUE(hull);
  const auto plane = R3Plane::planeWithCoefficients(0, 1, 1, 0);  // 45° between side and top
  const auto outline = BSIG::projectionOfHull(*hull, *plane);
  int generators = 0, arcs = 0;
  for (const auto& c : outline) {
    ASSERT_TRUE(c);
    for (const auto& p : c->endpoints()) EXPECT_NEAR(plane->distanceToPoint(*p), 0, 1e-9);
    if (dynamic_cast<const R3LineSegment*>(c.get())) {
      ++generators;
      // Limbs at x = ±r (x is unchanged by this projection); their length is 2h·cos 45°.
      EXPECT_NEAR(std::fabs(c->q0()->x()), r, 1e-9);
      EXPECT_NEAR(c->q0()->minus(*c->q1())->abs(), 2 * h * M_SQRT1_2, 1e-9);
    } else if (dynamic_cast<const R3EllipseSegment*>(c.get())) {
      ++arcs;  // the rims, cut at the limbs into front and back halves
    }
  }
  EXPECT_EQ(generators, 2);
  EXPECT_EQ(arcs, 4);
}

TEST(HullTest, LineIntegralsAlongAndBesideTheSolid) {
  const auto hull = R3Hull::hullWithSurfaces(box(-1, 1, -1, 1, -1, 1));
  ASSERT_TRUE(hull);
  const R3ToR1MapConstant one(1.0);
  const R3ToR1MapZ z;
  // Along a unit director the parameter is the length: the chord through the cube is 2 long.
  const auto through = R3Line::lineWithPoint(foundation::XYZ{0.3, 0.2, 5}, foundation::XYZ{0, 0, -1});
  EXPECT_NEAR(BSIG::integralAlongLine(*through, hull->patches(), one), 2, 1e-12);
  EXPECT_NEAR(BSIG::integralAlongLine(*through, hull->patches(), z), 0, 1e-12);
  // A slanted chord from (−1, 0, −1) to (1, 0, 1): ∫x ds = 0, ∫x² ds = √8 · 1/3.
  const auto slant = R3Line::lineWithPoint(foundation::XYZ{0, 0, 0}, foundation::XYZ{M_SQRT1_2, 0, M_SQRT1_2});
  EXPECT_NEAR(BSIG::integralAlongLine(*slant, hull->patches(), one), std::sqrt(8.0), 1e-12);
  EXPECT_NEAR(BSIG::integralAlongLine(*slant, hull->patches(), R3ToR1MapXX()), std::sqrt(8.0) / 3, 1e-12);
  const auto miss = R3Line::lineWithPoint(foundation::XYZ{3, 0, 0}, foundation::XYZ{0, 0, 1});
  EXPECT_EQ(BSIG::integralAlongLine(*miss, hull->patches(), one), 0);
  EXPECT_TRUE(BSIG::segmentsAlongLine(*miss, hull->patches()).empty());
  const auto segments = BSIG::segmentsAlongLine(*through, hull->patches());
  ASSERT_EQ(segments.size(), 1u);
  EXPECT_EQ(BSIG::patchesInArray(hull->patches(), segments).size(), 2u);  // the top and the bottom
}

TEST(HullTest, MoreThanSixtyFourCrossingsOverflow) {
  SurfacePatchArray patches;
  for (int i = 0; i < 65; ++i)
    patches.push_back(SurfacePatch::patchWithSurface(R3Plane::planeWithCoefficients(0, 0, 1, i), {}));
  const auto line = R3Line::lineWithPoint(foundation::XYZ{0, 0, 0}, foundation::XYZ{0, 0, 1});
  double buffer[64];
  expectRaises([&] { BSIG::getParametersForWhichLine(*line, patches, buffer, 64); }, "NSInternalInconsistencyException",
               "array overflow");
  expectRaises([&] { BSIG::segmentsAlongLine(*line, patches); }, "NSInternalInconsistencyException", "array overflow");
  patches.pop_back();
  EXPECT_EQ(BSIG::getParametersForWhichLine(*line, patches, buffer, 64), 64);
}

TEST(HullTest, CrossingParametersSortWithNaNLast) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> t{3, nan, 1, 2, nan, 1};
  std::sort(t.begin(), t.end(), BSIG::parameterLess);
  EXPECT_EQ(t[0], 1);
  EXPECT_EQ(t[1], 1);
  EXPECT_EQ(t[2], 2);
  EXPECT_EQ(t[3], 3);
  EXPECT_TRUE(std::isnan(t[4]) && std::isnan(t[5]));
  EXPECT_EQ(BSIG::compareParameters(1, 1), 0);  // equal values are equivalent, not "less"
  // Crossing records sort the same way.
  R3PointArray points{P(0, 0, 3), P(0, 0, 1), P(0, 0, 2)};
  const auto line = R3Line::lineWithPoint(foundation::XYZ{0, 0, 0}, foundation::XYZ{0, 0, 1});
  const auto records = R3Curve::sortedArrayOfPointAndParameterForPoints(points, *line);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].parameter(), 1);
  EXPECT_EQ(records[2].parameter(), 3);
  std::vector<PointAndParameter> withNaN{{P(0, 0, 0), nan}, {P(0, 0, 0), 2}, {P(0, 0, 0), nan}, {P(0, 0, 0), 1}};
  std::sort(withNaN.begin(), withNaN.end());
  EXPECT_EQ(withNaN[0].parameter(), 1);
  EXPECT_EQ(withNaN[1].parameter(), 2);
  EXPECT_TRUE(std::isnan(withNaN[3].parameter()));
  EXPECT_EQ(BSIG::compareParameters(nan, 1), 1);
  EXPECT_EQ(BSIG::compareParameters(1, nan), -1);
}

/// A plane whose polar map fails in the middle of the integration.
class FailingMap : public R3PlanePolarMap {
 public:
  using R3PlanePolarMap::R3PlanePolarMap;
  double surfaceElementSizeForSagittalCoordinate(double, double, double) const override {
    throw platform::Exception("NSInternalInconsistencyException", "map failed");
  }
  double surfaceElementSizeForPoint(const XYZValue&) const override {
    throw platform::Exception("NSInternalInconsistencyException", "map failed");
  }
};

class FailingPlane : public R3Plane {
 public:
  using R3Plane::R3Plane;
  std::shared_ptr<PolarMap> polarMapForLocus(const R3PointPtr& locus) const override {
    return std::make_shared<FailingMap>(*this, locus);
  }
};

TEST(HullTest, AFailingAreaIntegralPropagates) {
  const auto plane = platform::makeObject<FailingPlane>(0, 0, 1, 0);
  const auto square = R3LineSegment::lineSegmentLoopWithPoints({P(0, 0, 0), P(1, 0, 0), P(1, 1, 0), P(0, 1, 0)});
  const auto patch = SurfacePatch::patchWithSurface(plane, R3CurveArray(square.begin(), square.end()));
  expectRaises([&] { patch->areaWithOrigin(P(0.5, 0.5, 0)); }, "NSInternalInconsistencyException", "map failed");
  // The hull keeps no partial area: asking again raises again.
  auto planes = box(-1, 1, -1, 1, -1, 1);
  planes[4] = platform::makeObject<FailingPlane>(0, 0, 1, 1);
  const auto hull = R3Hull::hullWithSurfaces(planes);
  ASSERT_TRUE(hull);
  for (int i = 0; i < 2; ++i)
    expectRaises([&] { hull->surfaceArea(); }, "NSInternalInconsistencyException", "map failed");
}

TEST(LimbGeneratorTest, LimbsByKindOfSurface) {
  const auto down = R3Point::pointWithDoubles(0, 1, 0);
  const auto cylinder = R3CylinderZ::cylinderWithRadius(1);
  const auto rimTop = R3Ellipse::ellipseWithCenter(P(0, 0, 2), P(1, 0, 0), P(0, 1, 0));
  const auto rimBottom = R3Ellipse::ellipseWithCenter(P(0, 0, -2), P(1, 0, 0), P(0, 1, 0));
  const auto side = SurfacePatch::patchWithSurface(cylinder, {rimTop, rimBottom});
  // Seen side-on from infinity: two generator lines, each cut at the two rims.
  const auto limbs = LimbGenerator::limbsForPatch(*side, *down, 0);
  ASSERT_EQ(limbs.size(), 2u);
  for (const auto& l : limbs) {
    ASSERT_TRUE(dynamic_cast<const R3LineSegment*>(l.get()));
    EXPECT_NEAR(std::fabs(l->q0()->x()), 1, 1e-12);
    EXPECT_NEAR(std::fabs(l->q0()->z() - l->q1()->z()), 4, 1e-12);
  }
  // From a point inside (ρ below the radius plus 1e-6) there is no limb.
  EXPECT_TRUE(LimbGenerator::limbsForPatch(*side, *P(0.5, 0, 0), 1).empty());
  // A plane has none; an ellipsoid without edges shows its whole limb ellipse.
  const auto flat = SurfacePatch::patchWithSurface(R3Plane::planeWithCoefficients(0, 0, 1, 0), {});
  EXPECT_TRUE(LimbGenerator::limbsForPatch(*flat, *down, 0).empty());
  const auto sphere = SurfacePatch::patchWithSurface(R3Ellipsoid::sphereWithRadius(2), {});
  const auto limb = LimbGenerator::limbsForPatch(*sphere, *down, 0);
  ASSERT_EQ(limb.size(), 1u);
  const auto* ellipse = dynamic_cast<const R3Ellipse*>(limb[0].get());
  ASSERT_TRUE(ellipse);
  EXPECT_FALSE(ellipse->hasEnds());
  EXPECT_NEAR(ellipse->semimajorAxis()->abs(), 2, 1e-12);
  EXPECT_NEAR(std::fabs(ellipse->normal()->y()), 1, 1e-12);
  EXPECT_EQ(LimbGenerator::limbPlanesForPatches({flat, side, sphere}, *down, 0).size(), 2u);
  const auto torus = SurfacePatch::patchWithSurface(R3Torus::torusWithMajorRadius(3, 1), {});
  expectRaises([&] { LimbGenerator::limbsForPatch(*torus, *down, 0); }, "NSInternalInconsistencyException",
               "limbsForPatch does not recognize class R3Torus");
}

}  // namespace
}  // namespace orb::geometry
