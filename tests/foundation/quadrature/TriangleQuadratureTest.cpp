#include "foundation/quadrature/TriangleQuadrature.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

double factorial(int n) { return std::tgamma(n + 1.0); }

/// Mean of L0^i·L1^j·L2^l over any triangle: 2·i!j!l!/(i + j + l + 2)!.
double barycentricMean(int i, int j, int l) {
  return 2.0 * factorial(i) * factorial(j) * factorial(l) / factorial(i + j + l + 2);
}

/// A 2-D triangle whose coordinates are the first two barycentric coordinates, so that
/// the target can read L0 and L1 off the point (L2 = 1 − L0 − L1).
struct BarycentricTriangle {
  double corner0[2] = {1, 0}, corner1[2] = {0, 1}, corner2[2] = {0, 0};
  const double* corners[3] = {corner0, corner1, corner2};
};

TEST(TriangleQuadratureTest, TenPointRuleIsExactToDegreeFive) {
  BarycentricTriangle triangle;
  TriangleEvaluator evaluator(triangle.corners, 2);
  evaluator.setFunction([](const double*) { return 1.0; });
  EXPECT_NEAR(TriangleQuadrature::quadFive(evaluator), 0.99999999999995, 1e-15);
  for (int i = 0; i <= 5; ++i) {
    for (int j = 0; i + j <= 5; ++j) {
      for (int l = 0; i + j + l <= 5; ++l) {
        SCOPED_TRACE(std::to_string(i) + std::to_string(j) + std::to_string(l));
        evaluator.setFunction([i, j, l](const double* x) {
          return std::pow(x[0], i) * std::pow(x[1], j) * std::pow(1 - x[0] - x[1], l);
        });
        EXPECT_NEAR(TriangleQuadrature::quadFive(evaluator), barycentricMean(i, j, l), 1e-10);
      }
    }
  }
  TriangleEvaluatorXYZ vector(triangle.corners, 2);
  vector.setFunction([](const double* x) { return XYZ{1.0, x[0], x[0] * x[1]}; });
  const XYZ v = TriangleQuadrature::quadFiveXYZ(vector);
  EXPECT_NEAR(v.y, barycentricMean(1, 0, 0), 1e-10);
  EXPECT_NEAR(v.z, barycentricMean(1, 1, 0), 1e-10);
  const double L[3] = {1.0 / 3, 1.0 / 3, 1.0 / 3};
  const double* mapped = evaluator.xAtTriangleCoordinates(L);
  const double mappedX = mapped[0], mappedY = mapped[1];
  const double* centre = evaluator.xAtTriangleCenter();
  EXPECT_NEAR(centre[0], mappedX, 1e-16);
  EXPECT_NEAR(centre[1], mappedY, 1e-16);
}

TEST(TriangleQuadratureTest, SevenPointRule) {
  double weights[7];
  triangleRule7Weights(weights);
  double sum = 0.0;
  for (double w : weights) sum += w;
  EXPECT_NEAR(sum, 1.0, 1e-15);
  const double same[7] = {2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5};
  EXPECT_NEAR(triangleRule7Sum(same), 2.5, 1e-15);

  const double corners[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // point = barycentric triple
  double points[21];
  triangleRule7Points(3, corners, points);
  EXPECT_NEAR(points[0], 1.0 / 3, 1e-16);
  for (int i = 0; i <= 5; ++i) {
    for (int j = 0; i + j <= 5; ++j) {
      for (int l = 0; i + j + l <= 5; ++l) {
        double samples[7];
        for (int k = 0; k < 7; ++k) {
          samples[k] = std::pow(points[3 * k], i) * std::pow(points[3 * k + 1], j) * std::pow(points[3 * k + 2], l);
        }
        EXPECT_NEAR(triangleRule7Sum(samples), barycentricMean(i, j, l), 1e-15) << i << j << l;
      }
    }
  }

  // In 3-space: ∫ 1 is the area; ∫ x over a triangle is area · mean x of the corners.
  const double triangle[9] = {0.0, 0.0, 0.0, 3.0, 0.0, 0.0, 0.0, 4.0, 2.0};
  const double area = 0.5 * 3.0 * std::sqrt(16.0 + 4.0);
  EXPECT_NEAR(triangleArea(triangle), area, 1e-14);
  EXPECT_NEAR(triangleRule7Integrate(triangle, [](XYZ) { return 1.0; }), area, 1e-14);
  EXPECT_NEAR(triangleRule7Integrate(triangle, [](XYZ p) { return p.x; }), area * 1.0, 1e-14);
  XYZ normal;
  triangleUnitNormal(triangle, &normal);
  EXPECT_NEAR(normal.x, 0.0, 1e-16);
  EXPECT_NEAR(normal.y, -2.0 / std::sqrt(20.0), 1e-15);
  EXPECT_NEAR(normal.z, 4.0 / std::sqrt(20.0), 1e-15);
  const double collinear[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2};
  EXPECT_EQ(triangleArea(collinear), 0.0);
}

TEST(TriangleQuadratureTest, QuinticEvaluatorInterpolatesItsNodes) {
  // Barycentric positions of the fifteen nodes in their order.
  std::vector<std::array<double, 3>> L = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int e = 0; e < 3; ++e) {
    for (double p : {0.8, 0.6, 0.4, 0.2}) {
      std::array<double, 3> l = {0, 0, 0};
      l[e] = p;
      l[(e + 1) % 3] = 1 - p;
      L.push_back(l);
    }
  }
  const double A[3] = {0.0, 0.0, 0.0}, B[3] = {2.0, 0.5, 0.0}, C[3] = {0.3, 1.8, 1.0};
  auto flat = [&](const std::array<double, 3>& l, int i) { return l[0] * A[i] + l[1] * B[i] + l[2] * C[i]; };

  // Nodes on the flat triangle: the curved map is the flat map everywhere.
  std::vector<std::vector<double>> nodes(15, std::vector<double>(3));
  for (int k = 0; k < 15; ++k) {
    for (int i = 0; i < 3; ++i) nodes[k][i] = flat(L[k], i);
  }
  std::vector<const double*> pointers;
  for (const auto& n : nodes) pointers.push_back(n.data());
  TriangleQuinticEvaluator flatQuintic(pointers.data(), 3);
  for (const auto& l : std::vector<std::array<double, 3>>{{0.2, 0.3, 0.5}, {0.05, 0.9, 0.05}, {0.6, 0.0, 0.4}}) {
    const double* x = flatQuintic.curvedXAtTriangleCoordinates(l.data());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[i], flat(l, i), 1e-14);
  }

  // Nodes moved off the plane: the map still passes through every node.
  std::mt19937 random(5);
  std::uniform_real_distribution<double> bump(-0.2, 0.2);
  for (auto& n : nodes) {
    for (double& v : n) v += bump(random);
  }
  TriangleQuinticEvaluator curved(pointers.data(), 3);
  curved.setFunction([](const double* x) { return x[2]; });
  for (int k = 0; k < 15; ++k) {
    const double* x = curved.curvedXAtTriangleCoordinates(L[k].data());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[i], nodes[k][i], 1e-13) << k;
    EXPECT_NEAR(curved.valueAtTriangleCoordinates(L[k].data()), nodes[k][2], 1e-13);
  }
}

}  // namespace
}  // namespace orb::foundation
