#include "rendering/Trackball.h"

#include <algorithm>
#include <cmath>

namespace orb::rendering {

namespace {

TrackballState g_ball;

constexpr float kDegreesPerRadian = 57.29578f;
constexpr float kRadiansPerDegree = 0.017453292f;

// The ball's height over a point at offsets (dx, dy) from the centre; 0 off the ball.
float heightOnBall(float dx, float dy) {
  const float h2 = g_ball.radius * g_ball.radius - dx * dx - dy * dy;
  return h2 > 0 ? std::sqrt(h2) : 0.0f;
}

struct Quaternion {
  float w, x, y, z;
};

Quaternion quaternionOf(const TrackballRotation& r) {
  const float length = std::sqrt(r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
  if (r[0] == 0 || !(length > 0)) return {1, 0, 0, 0};
  const float half = r[0] * kRadiansPerDegree / 2, s = std::sin(half) / length;
  return {std::cos(half), r[1] * s, r[2] * s, r[3] * s};
}

Quaternion operator*(const Quaternion& a, const Quaternion& b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

}  // namespace

const TrackballState& trackballState() { return g_ball; }

void trackballStart(int x, int y, int originX, int originY, int width, int height) {
  g_ball.radius = 0.5f * static_cast<float>(std::min(width, height));
  g_ball.centerX = static_cast<std::int64_t>(width * 0.5 + originX);
  g_ball.centerY = static_cast<std::int64_t>(height * 0.5 + originY);
  const float dx = static_cast<float>(x - g_ball.centerX), dy = static_cast<float>(y - g_ball.centerY);
  g_ball.start = {dx, dy, heightOnBall(dx, dy)};
  g_ball.current = g_ball.start;
}

void trackballRoll(int x, int y, TrackballRotation& rotation) {
  const float dx = static_cast<float>(x - g_ball.centerX), dy = static_cast<float>(y - g_ball.centerY);
  if (std::abs(dx - g_ball.start[0]) < 0.001f && std::abs(dy - g_ball.start[1]) < 0.001f) return;
  g_ball.current = {dx, dy, heightOnBall(dx, dy)};
  const auto& s = g_ball.start;
  const auto& c = g_ball.current;
  const float ax = s[1] * c[2] - s[2] * c[1], ay = s[2] * c[0] - s[0] * c[2], az = s[0] * c[1] - s[1] * c[0];
  const float axisLength = std::sqrt(ax * ax + ay * ay + az * az);
  // Start and end on one line through the centre give no axis (off the ball, along the
  // start's own direction): no rotation rather than a division by zero.
  if (!(axisLength > 0)) {
    trackballZero(rotation);
    return;
  }
  const float lengths = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]) * std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
  const float dot = s[0] * c[0] + s[1] * c[1] + s[2] * c[2];
  const float angle = std::atan2(axisLength / lengths, dot / lengths);
  rotation = {angle * kDegreesPerRadian, ax / axisLength, ay / axisLength, az / axisLength};
}

void trackballZero(TrackballRotation& rotation) { rotation = {0, 0, 0, 0}; }

void trackballAddRotation(const TrackballRotation& increment, TrackballRotation& accumulated) {
  const Quaternion q = quaternionOf(increment) * quaternionOf(accumulated);
  if (std::abs(q.w - 1) < 1e-7f) {
    accumulated = {0, 1, 0, 0};
    return;
  }
  // Rounding may carry w a hair past ±1.
  const float halfAngle = std::acos(std::clamp(q.w, -1.0f, 1.0f)), s = std::sin(halfAngle);
  if (!(std::abs(s) > 0)) {
    accumulated = {0, 1, 0, 0};
    return;
  }
  accumulated = {2 * halfAngle * kDegreesPerRadian, q.x / s, q.y / s, q.z / s};
}

}  // namespace orb::rendering
