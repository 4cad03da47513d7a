#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/PolarIntegration.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipsoid.h"
#include "geometry/solids/PlaneManifold.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/VKThetaFinder.h"

namespace orb::geometry {
namespace {

R3PointPtr P(double x, double y, double z) { return R3Point::pointWithDoubles(x, y, z); }

TEST(PolarTest, ThetaFinderWindowStartsAtTheCut) {
  VKThetaFinder finder;
  EXPECT_DOUBLE_EQ(finder.angleForDoubles(-1, 0), M_PI);
  finder.setThetaCut(-M_PI / 2, 0);
  EXPECT_NEAR(finder.angleForDoubles(1, 0), 0, 1e-15);
  EXPECT_NEAR(finder.angleForDoubles(-1, 0), M_PI, 1e-15);
  EXPECT_NEAR(finder.angleForDoubles(0, 1), M_PI / 2, 1e-15);
  // Just either side of the cut: the two ends of one 2π window.
  EXPECT_NEAR(finder.valueAt(-M_PI / 2 + 1e-9), -M_PI / 2, 1e-8);
  EXPECT_NEAR(finder.valueAt(-M_PI / 2 - 1e-9), 3 * M_PI / 2, 1e-8);
}

TEST(PolarTest, MapsPointsAndFrames) {
  PolarMap root(P(1, 2, 3));
  EXPECT_EQ(root.pointForSagittalCoordinate(2, 0, 1)->xyz(), (foundation::XYZ{1, 4, 3}));
  EXPECT_DOUBLE_EQ(root.angleForPoint(*P(0, 2, 3)), M_PI);
  EXPECT_DOUBLE_EQ(root.radiusForPoint(*P(4, 6, 3)), 5);

  R3PlanePolarMap plane(*R3Plane::planeWithCoefficients(0, 0, 1, 0), P(0, 0, 0));
  EXPECT_EQ(plane.xAxis(), (foundation::XYZ{0, 1, 0}));
  EXPECT_EQ(plane.yAxis(), (foundation::XYZ{-1, 0, 0}));

  const auto cylinder = R3CylinderZ::cylinderWithRadius(1);
  CylPolarMap map(cylinder, P(1, 0, 0));
  for (double c : {1.0, 0.6, 0.0}) EXPECT_EQ(map.pointForSagittalCoordinate(0, c, std::sqrt(1 - c * c))->xyz(), (foundation::XYZ{1, 0, 0}));
  EXPECT_DOUBLE_EQ(map.surfaceElementSizeForSagittalCoordinate(0, 0.3, 0.9), 1);
  EXPECT_EQ(map.sagittalLimits(), (std::vector<double>{-M_PI, M_PI}));
  EXPECT_EQ(map.antipodalPoint()->xyz(), (foundation::XYZ{-1, 0, 0}));
  const auto above = map.pointForSagittalCoordinate(M_PI / 4, 0, 1);
  EXPECT_NEAR(above->x(), 1, 1e-15);
  EXPECT_NEAR(above->y(), 0, 1e-15);
  EXPECT_NEAR(above->z(), 1, 1e-15);
  // Round the cylinder (θ = 0) the sagittal coordinate is arc length.
  const auto round = map.pointForSagittalCoordinate(M_PI / 2, 1, 0);
  EXPECT_NEAR(round->y(), 1, 1e-15);
  EXPECT_NEAR(map.sagittalCoordinateForPoint(*round, 1, 0), M_PI / 2, 1e-15);
}

/// |∂P/∂s × ∂P/∂θ| / s from central differences of the map's own points: the size the
/// area integral needs, found without any formula of the map's.
double finiteDifferenceElementSize(const PolarMap& map, double s, double theta) {
  const double h = 1e-5;
  const auto at = [&](double s_, double t_) { return map.pointForSagittalCoordinate(s_, std::cos(t_), std::sin(t_))->xyz(); };
  const auto diff = [](const foundation::XYZ& a, const foundation::XYZ& b) { return foundation::XYZ{a.x - b.x, a.y - b.y, a.z - b.z}; };
  const auto Ps = diff(at(s + h, theta), at(s - h, theta)), Pt = diff(at(s, theta + h), at(s, theta - h));
  const foundation::XYZ n{Ps.y * Pt.z - Ps.z * Pt.y, Ps.z * Pt.x - Ps.x * Pt.z, Ps.x * Pt.y - Ps.y * Pt.x};
  return std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z) / (4 * h * h) / s;
}

TEST(PolarTest, SurfaceElementSizesAreTheJacobiansOfTheMaps) {
  struct Case {
    const char* name;
    std::shared_ptr<PolarMap> map;
  };
  const double r = 1.5;
  const std::vector<Case> maps = {
      {"cylinder r=1 at (1,0,0)", R3CylinderZ::cylinderWithRadius(1)->polarMapForLocus(P(1, 0, 0))},
      {"cylinder r=1.5 off the axes", R3CylinderZ::cylinderWithRadius(r)->polarMapForLocus(P(0.6 * r, 0.8 * r, 0.3))},
      {"inverted cylinder r=-2", R3CylinderZ::cylinderWithRadius(-2)->polarMapForLocus(P(0, 2, -1))},
      {"unit sphere at its pole", R3Ellipsoid::sphereWithRadius(1)->polarMapForLocus(P(0, 0, 1))},
      {"prolate spheroid off its axis",
       R3Ellipsoid::ellipsoidWithRadii(1, 1, 2)->polarMapForLocus(P(0.8 * std::sin(0.3), 0.6 * std::sin(0.3), 2 * std::cos(0.3)))},
      {"triaxial ellipsoid off-centre",
       R3Ellipsoid::ellipsoidWithCenter(P(0.3, -0.2, 0.1), P(2, 0, 0), P(0, 1.2, 0), P(0, 0, 0.7))
           ->polarMapForLocus(P(0.3 + 2 * 0.6, -0.2 + 1.2 * 0.48, 0.1 + 0.7 * 0.64))},
  };
  for (const auto& [name, map] : maps) {
    ASSERT_TRUE(map) << name;
    for (double s : {0.1, 0.4, 0.9, 1.3})
      for (double theta : {0.0, 0.2, 1.0, M_PI / 2, 2.5, 4.0}) {
        const double c = std::cos(theta), sn = std::sin(theta);
        const double J = map->surfaceElementSizeForSagittalCoordinate(s, c, sn);
        EXPECT_NEAR(J, finiteDifferenceElementSize(*map, s, theta), 1e-7 * J) << name << " s=" << s << " θ=" << theta;
        // The point form answers the same size at the point of (s, θ) (an inverted
        // cylinder's sagittal coordinate of a point follows its own sign convention).
        if (std::string(name).starts_with("inverted")) continue;
        EXPECT_NEAR(map->surfaceElementSizeForPoint(*map->pointForSagittalCoordinate(s, c, sn)), J, 1e-9 * J) << name;
      }
  }
  // Closed forms: on the unit cylinder (sin x/x)/(cos²x + cos²θ·sin²x)^(3/2); along the
  // axis (θ = π/2) at s = 0.8 that is 1/cos³0.8 times sin 0.8/0.8.
  EXPECT_NEAR(maps[0].map->surfaceElementSizeForSagittalCoordinate(0.8, 0, 1), std::sin(0.8) / 0.8 / std::pow(std::cos(0.8), 3), 1e-14);
  // On the unit sphere from the pole the point at s lies at polar angle 2s: |∂P/∂s × ∂P/∂θ|
  // = 2·sin 2s, so the size is 2·sin(2s)/s, 4 at the pole.
  EXPECT_NEAR(maps[3].map->surfaceElementSizeForSagittalCoordinate(0.5, 0.6, 0.8), 2 * std::sin(1.0) / 0.5, 1e-12);
  EXPECT_NEAR(maps[3].map->surfaceElementSizeForSagittalCoordinate(0, 1, 0), 4, 1e-12);
}

TEST(PolarTest, EllipsoidRaysLeaveTheLocusAlongTheirDirection) {
  // The kernel's section comes either way round; the map walks each section so that s
  // grows along (cos θ, sin θ), or the rays θ and θ + π would cover one half twice.
  const auto ellipsoid = R3Ellipsoid::ellipsoidWithRadii(1, 1, 2);
  const auto map = ellipsoid->polarMapForLocus(P(0.8 * std::sin(0.6), 0.6 * std::sin(0.6), 2 * std::cos(0.6)));
  for (int k = 0; k < 24; ++k) {
    const double theta = -M_PI + (k + 0.5) * M_PI / 12;
    const auto d = map->directorForSagittalCoordinate(0, std::cos(theta), std::sin(theta));
    EXPECT_NEAR(std::remainder(map->angleForDirector(*d) - theta, 2 * M_PI), 0, 1e-9) << theta;
  }
}

TEST(PolarTest, SelfTestsRunAndHold) {
  EXPECT_TRUE(CylPolarMap::test());
  EXPECT_LT(CylPolarMap::testPlane(), 1e-12);
  // On the cylinder of radius 2 from (2, 0, 0): 1 at the locus; the others from the closed
  // form with x = s/2.
  const auto size = [](double s, double theta) {
    const double x = s / 2, c = std::cos(theta), D = std::pow(std::cos(x), 2) + c * c * std::pow(std::sin(x), 2);
    return std::sin(x) / x / std::pow(D, 1.5);
  };
  const auto sizes = CylPolarMap::testSurfaceElementSize();
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_DOUBLE_EQ(sizes[0], 1);
  EXPECT_NEAR(sizes[1], size(0.1, 0.1), 1e-14);
  EXPECT_NEAR(sizes[2], size(0.5, 0.9), 1e-14);
  EXPECT_TRUE(EllipsoidPolarMap::test());
  EXPECT_LT(EllipsoidPolarMap::testPlane(), 1e-12);
}

TEST(PolarTest, EllipsoidMapSettersReplaceEllipsoidAndFrame) {
  const auto sphere = R3Ellipsoid::sphereWithRadius(1);
  EllipsoidPolarMap map(sphere, P(0, 0, 1));
  // The frame is the tangent manifold's: a manifold facing the other way turns θ = 0 by π.
  const auto turned = PlaneManifold::manifoldWithPlane(R3Plane::planeWithCoefficients(0, 0, -1, -1));
  map.setTangentManifold(turned);
  EXPECT_EQ(map.tangentManifold(), turned);
  const auto along = map.directorForSagittalCoordinate(0, 1, 0);
  EXPECT_NEAR(along->x(), turned->xAxis()->x(), 1e-12);
  EXPECT_NEAR(along->y(), turned->xAxis()->y(), 1e-12);
  EXPECT_NEAR(turned->xAxis()->y(), -1, 1e-15);
  // A larger sphere through the same locus: the sections grow with it.
  map.setEllipsoid(R3Ellipsoid::sphereWithCenter(P(0, 0, -1), 2));
  EXPECT_EQ(map.ellipsoid()->testPoint()->xyz(), (foundation::XYZ{2, 0, -1}));
  const auto q = map.pointForSagittalCoordinate(M_PI / 4, 1, 0);  // a quarter turn round
  EXPECT_NEAR(q->z(), -1, 1e-12);
}

double planeArea(const R3CurveArray& edges, const R3PointPtr& locus, int order) {
  const auto plane = R3Plane::planeWithCoefficients(0, 0, 1, 0);
  auto map = std::shared_ptr<const PolarMap>(plane->polarMapForLocus(locus));
  auto radial = std::make_shared<VKRadialIntegrator>();
  radial->operand().setMap(map);
  radial->operand().setChargeDensityFunctor(std::make_shared<R3ToR1MapConstant>(1));
  radial->setIntegrationOrder(5);
  VKPolarIntegrator integrator;
  integrator.setDomain(std::make_shared<VKPolarDomain>(edges, map));
  integrator.setRadialIntegrator(radial);
  integrator.setIntegrationOrder(order);
  integrator.evaluate();
  return integrator.integral0() / 2;  // ∫ d(s²) dθ is twice the area
}

TEST(PolarTest, IntegrationGivesKnownAreas) {
  // A disk of radius 2 about its centre: one sector, every ray one interval (0, 2).
  const auto circle = R3Ellipse::ellipseWithCenter(P(0, 0, 0), P(2, 0, 0), P(0, 2, 0));
  EXPECT_NEAR(planeArea({circle}, P(0, 0, 0), 5), 4 * M_PI, 1e-12);
  VKPolarDomain disk({circle}, R3Plane::planeWithCoefficients(0, 0, 1, 0)->polarMapForLocus(P(0, 0, 0)));
  EXPECT_EQ(disk.angularMilestones(), (std::vector<double>{0, 2 * M_PI}));

  // The square [−1, 1]² seen from an off-centre point: four sectors broken at the corners.
  const auto square = R3LineSegment::lineSegmentLoopWithPoints({P(-1, -1, 0), P(1, -1, 0), P(1, 1, 0), P(-1, 1, 0)});
  const R3CurveArray edges(square.begin(), square.end());
  // The angular rule spans a fixed range of its variable, which bounds its accuracy.
  EXPECT_NEAR(planeArea(edges, P(0.3, -0.2, 0), 31), 4, 1e-4);
  // Even orders (the patches use 10) take the middle ray once: weighing it twice left an
  // error of about 5 % at order 10 and 1 % at order 60.
  EXPECT_NEAR(planeArea(edges, P(0.3, -0.2, 0), 10), 4, 1e-3);
  EXPECT_NEAR(planeArea(edges, P(0.3, -0.2, 0), 60), 4, 1e-4);
  EXPECT_NEAR(planeArea({circle}, P(0, 0, 0), 10), 4 * M_PI, 1e-12);
}

TEST(PolarTest, RangeFinderPairsCrossingsFromTheLocus) {
  // Rays from the origin along +x cross the segments x = 1 and x = 3 (and x = −2 behind).
  const auto map = std::shared_ptr<const PolarMap>(R3Plane::planeWithCoefficients(0, 0, 1, 0)->polarMapForLocus(P(0, 0, 0)));
  R3CurveArray walls;
  for (double x : {1.0, 3.0, -2.0}) walls.push_back(R3LineSegment::lineSegmentWithStartingPoint(P(x, -5, 0), P(x, 5, 0)));
  VKRadialRangeFinder finder(map, walls);
  // The map's x axis is world +y here: θ = −π/2 runs along world +x.
  finder.setAngle(-M_PI / 2);
  ASSERT_EQ(finder.crossings().size(), 2u);  // 0, 1, 3: the pair (0, 1), 3 unpaired
  EXPECT_NEAR(finder.xMax(), 1, 1e-15);
  EXPECT_TRUE(finder.isSingleInterval());
  walls.push_back(R3LineSegment::lineSegmentWithStartingPoint(P(4, -5, 0), P(4, 5, 0)));
  VKRadialRangeFinder two(map, walls);
  two.setAngle(-M_PI / 2);
  ASSERT_EQ(two.crossings().size(), 4u);
  EXPECT_NEAR(two.crossings()[2], 3, 1e-15);
  EXPECT_NEAR(two.crossings()[3], 4, 1e-15);
  EXPECT_FALSE(two.isSingleInterval());
}

}  // namespace
}  // namespace orb::geometry
