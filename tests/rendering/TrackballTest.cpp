#include "rendering/Trackball.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

namespace orb::rendering {
namespace {

using Vec = std::array<double, 3>;

// Rodrigues' formula: v turned by `degrees` about the unit axis.
Vec rotate(const TrackballRotation& r, const Vec& v) {
  const double a = r[0] * std::numbers::pi / 180;
  const double n = std::sqrt(double(r[1]) * r[1] + double(r[2]) * r[2] + double(r[3]) * r[3]);
  const Vec k{r[1] / n, r[2] / n, r[3] / n};
  const Vec kxv{k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
  const double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
  Vec out;
  for (int i = 0; i < 3; ++i) out[i] = v[i] * std::cos(a) + kxv[i] * std::sin(a) + k[i] * kv * (1 - std::cos(a));
  return out;
}

TEST(Trackball, BallFromTheViewFrame) {
  trackballStart(10, 20, 0, 0, 101, 51);
  const TrackballState& s = trackballState();
  EXPECT_FLOAT_EQ(s.radius, 25.5f);
  EXPECT_EQ(s.centerX, 50);  // 50.5 truncated
  EXPECT_EQ(s.centerY, 25);
  trackballStart(0, 0, -7, 3, 40, 40);
  EXPECT_EQ(trackballState().centerX, 13);
  EXPECT_EQ(trackballState().centerY, 23);
}

TEST(Trackball, DragGivesTheRotationOfItsTwoBallPoints) {
  // View 200 × 100: radius 50, centre (100, 50). From the top of the ball (0, 0, 50) to
  // (30, 0, 40): axis start × end = (0, 1500, 0), sin = 1500/2500, cos = 2000/2500.
  trackballStart(100, 50, 0, 0, 200, 100);
  EXPECT_FLOAT_EQ(trackballState().start[2], 50);
  TrackballRotation r{};
  trackballRoll(130, 50, r);
  EXPECT_NEAR(r[0], std::atan2(0.6, 0.8) * 180 / std::numbers::pi, 1e-4);  // 36.87°
  EXPECT_NEAR(r[1], 0, 1e-6);
  EXPECT_NEAR(r[2], 1, 1e-6);
  EXPECT_NEAR(r[3], 0, 1e-6);

  // Starting off the ball: height 0. (60, 0, 0) to (60, 30, 0): axis (0, 0, 1800),
  // angle atan(30/60).
  trackballStart(160, 50, 0, 0, 200, 100);
  EXPECT_EQ(trackballState().start[2], 0);
  trackballRoll(160, 80, r);
  EXPECT_NEAR(r[0], std::atan2(30.0, 60.0) * 180 / std::numbers::pi, 1e-4);
  EXPECT_NEAR(r[3], 1, 1e-6);
}

TEST(Trackball, DragsWithoutAnAxisLeaveNoRotation) {
  trackballStart(100, 50, 0, 0, 200, 100);
  TrackballRotation r{12, 0, 0, 1};
  trackballRoll(100, 50, r);  // no move: unchanged
  EXPECT_EQ(r, (TrackballRotation{12, 0, 0, 1}));
  // Off the ball along the start's own direction: start and end are parallel.
  trackballStart(160, 50, 0, 0, 200, 100);
  trackballRoll(180, 50, r);
  EXPECT_EQ(r, (TrackballRotation{0, 0, 0, 0}));
  trackballZero(r);
  EXPECT_EQ(r, (TrackballRotation{0, 0, 0, 0}));
}

TEST(Trackball, AddingRotationsComposesIncrementAfterAccumulated) {
  // 90° about x after 90° about z: 120° about (1, −1, 1)/√3; checked by turning vectors.
  TrackballRotation acc{90, 0, 0, 1};
  trackballAddRotation({90, 1, 0, 0}, acc);
  EXPECT_NEAR(acc[0], 120, 1e-3);
  for (const Vec& v : {Vec{1, 0, 0}, Vec{0, 1, 0}, Vec{0.3, -0.2, 0.9}}) {
    const Vec expected = rotate({90, 1, 0, 0}, rotate({90, 0, 0, 1}, v));
    const Vec got = rotate(acc, v);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], expected[i], 1e-5);
  }
  // Two quarter turns about an unnormalised axis make a half turn.
  TrackballRotation half{90, 0, 0, 2};
  trackballAddRotation({90, 0, 0, 3}, half);
  EXPECT_NEAR(half[0], 180, 1e-3);
  EXPECT_NEAR(half[3], 1, 1e-6);
  // A turn and its inverse cancel; zero angles and zero axes count as no turn.
  TrackballRotation back{40, 0, 1, 0};
  trackballAddRotation({-40, 0, 1, 0}, back);
  EXPECT_EQ(back, (TrackballRotation{0, 1, 0, 0}));
  TrackballRotation kept{30, 0, 0, 2};
  trackballAddRotation({0, 0, 0, 0}, kept);
  EXPECT_NEAR(kept[0], 30, 1e-4);
  EXPECT_NEAR(kept[3], 1, 1e-6);
  TrackballRotation fromZero{0, 0, 0, 0};
  trackballAddRotation({25, 1, 0, 0}, fromZero);
  EXPECT_NEAR(fromZero[0], 25, 1e-4);
  EXPECT_NEAR(fromZero[1], 1, 1e-6);
}

}  // namespace
}  // namespace orb::rendering
