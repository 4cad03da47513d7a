#include "tracing/PupilPatterns.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orb::tracing::pupil {
namespace {

using foundation::XY;

double radius(const XY& p) { return std::hypot(p.x, p.y); }

TEST(PupilPatternsTest, Fans) {
  EXPECT_EQ(yFan(5), (Points{{0, -1}, {0, -0.5}, {0, 0}, {0, 0.5}, {0, 1}}));
  EXPECT_EQ(yFan(1), (Points{{0, 1}}));
  EXPECT_TRUE(xFan(0).empty());
  EXPECT_EQ(radialFan(3, 1, 0), (Points{{0, 0}, {0.5, 0}, {1, 0}}));
  // An odd fan of awkward size still has its middle exactly on axis.
  EXPECT_EQ(xFan(11)[5], (XY{0, 0}));
}

TEST(PupilPatternsTest, SquareGrids) {
  EXPECT_EQ(pointsInFourSquare(2, 2), (Points{{-0.5, -0.5}, {-0.5, 0.5}, {0.5, -0.5}, {0.5, 0.5}}));
  EXPECT_EQ(fftPointsInFourSquare(4, 1), (Points{{0.25, 0}, {0.75, 0}, {-0.75, 0}, {-0.25, 0}}));
  EXPECT_TRUE(pointsInFourSquare(0, 3).empty());

  EXPECT_EQ(squareArrayOfPointsInUnitCircle(1), (Points{{0, 0}}));
  for (std::uint32_t n : {5u, 50u, 400u}) {
    const Points p = squareArrayOfPointsInUnitCircle(n);
    EXPECT_GE(p.size(), n);
    EXPECT_EQ(p.front(), (XY{0, 0}));
    for (const XY& q : p) EXPECT_LT(radius(q), 1);
  }
}

TEST(PupilPatternsTest, HexapolarRings) {
  const Points seven = hexapolarArrayOfPointsInUnitCircle(7);
  ASSERT_EQ(seven.size(), 7u);
  EXPECT_EQ(seven[0], (XY{0, 0}));
  for (int i = 1; i < 7; ++i) {
    EXPECT_NEAR(radius(seven[i]), 1 / 1.5, 1e-15);
    EXPECT_NEAR(std::atan2(seven[i].y, seven[i].x), std::remainder((i - 1) * M_PI / 3, 2 * M_PI), 1e-12);
  }
  EXPECT_EQ(hexapolarArrayOfPointsInUnitCircle(8).size(), 19u);

  // Ring k of K = 3 lies at radius k/(K + 0.5).
  const Points p = hexapolarArrayOfPointsInUnitCircle(37);
  ASSERT_EQ(p.size(), 37u);
  std::size_t index = 1;
  for (int k = 1; k <= 3; ++k)
    for (int i = 0; i < 6 * k; ++i) EXPECT_NEAR(radius(p[index++]), k / 3.5, 1e-15);
}

TEST(PupilPatternsTest, RandomPointsStayInside) {
  const Points p = randomPointsInUnitCircle(500);
  ASSERT_EQ(p.size(), 500u);
  for (const XY& q : p) EXPECT_LT(radius(q), 1);
  EXPECT_TRUE(randomPointsInUnitCircle(0).empty());
}

TEST(PupilPatternsTest, SpiralIsTurnedByItsPhaseInDegrees) {
  const Points s = spiralInUnitCircle(19, 0);
  ASSERT_EQ(s.size(), 19u);
  EXPECT_EQ(s.front(), (XY{0, 0}));
  EXPECT_NEAR(radius(s.back()), 19 / 19.5, 5e-3);  // coarse Runge–Kutta steps near the centre
  EXPECT_EQ(goldenSpiralInUnitCircle(19, 12.5), spiralInUnitCircle(19, 12.5));

  const Points turned = spiralInUnitCircle(19, 90);
  for (std::size_t i = 0; i < s.size(); ++i) {
    EXPECT_NEAR(turned[i].x, -s[i].y, 1e-14);
    EXPECT_NEAR(turned[i].y, s[i].x, 1e-14);
  }
  // Equal arc steps: successive points about equally far apart away from the centre.
  const double d1 = std::hypot(s[10].x - s[9].x, s[10].y - s[9].y);
  const double d2 = std::hypot(s[17].x - s[16].x, s[17].y - s[16].y);
  EXPECT_NEAR(d1 / d2, 1, 0.05);

  EXPECT_EQ(spiralInUnitCircle(1, 30), (Points{{0, 0}}));
}

}  // namespace
}  // namespace orb::tracing::pupil
