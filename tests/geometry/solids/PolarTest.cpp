#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geometry/solids/PolarIntegration.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Cylinder.h"
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
