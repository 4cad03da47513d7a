#include "foundation/linear/Quaternion.h"

#include <cmath>

#include "platform/Exception.h"

namespace orb::foundation {

namespace {

// The views keep their rotations in floats; the conversions use the float-rounded
// constants so that a rotation read back matches the one handed over.
constexpr float kRadiansPerDegreeFloat = 0.017453292f;
constexpr float kDegreesPerRadianFloat = 57.29578f;

double normSquared(const Quaternion& q) { return q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z; }

}  // namespace

Quaternion quaternionFromAxisAngle(const AngleAxis& aa) {
  if (aa.angle == 0) return {1, 0, 0, 0};
  const float lengthSquared = aa.x * aa.x + aa.y * aa.y + aa.z * aa.z;
  const double length = std::sqrt(static_cast<double>(lengthSquared));
  if (!(length > 0)) return {1, 0, 0, 0};
  const float radians = aa.angle * kRadiansPerDegreeFloat;
  const double half = 0.5 * static_cast<double>(radians);
  const double s = std::sin(half) / length;
  return {std::cos(half), s * aa.x, s * aa.y, s * aa.z};
}

AngleAxis quaternionToAxisAngle(const Quaternion& q) {
  const double half = std::atan2(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z), q.w);
  if (std::fabs(half) < 1e-7) return {0, 1, 0, 0};
  const double s = std::sin(half);
  float angle = static_cast<float>(2 * half * static_cast<double>(kDegreesPerRadianFloat));
  if (angle > 180) angle -= 360;
  return {angle, static_cast<float>(q.x / s), static_cast<float>(q.y / s), static_cast<float>(q.z / s)};
}

Quaternion quaternionMultiply(const Quaternion& a, const Quaternion& b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

Quaternion quaternionDivide(const Quaternion& a, const Quaternion& b) {
  return quaternionMultiply(quaternionInverse(b), a);
}

Quaternion quaternionInverse(const Quaternion& q) {
  const double n = normSquared(q);
  return {q.w / n, -q.x / n, -q.y / n, -q.z / n};
}

XYZTensor quaternionToRotationMatrix(const Quaternion& q) {
  const double n = normSquared(q);
  const double s = n > 0 ? 2 / n : 0;
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  return XYZTensor{1 - s * (y * y + z * z), s * (x * y - w * z),     s * (x * z + w * y),
                   s * (x * y + w * z),     1 - s * (x * x + z * z), s * (y * z - w * x),
                   s * (x * z - w * y),     s * (y * z + w * x),     1 - s * (x * x + y * y)};
}

XYZ quaternionRotateVector(const XYZ& v, const Quaternion& q) {
  if (normSquared(q) == 0) return v;
  const Quaternion t = quaternionMultiply(Quaternion{0, v.x, v.y, v.z}, quaternionInverse(q));
  const Quaternion r = quaternionMultiply(q, t);
  return {r.x, r.y, r.z};
}

std::string toString(const Quaternion& q) {
  return platform::format("(%.17g, %.17g, %.17g, %.17g)", q.w, q.x, q.y, q.z);
}

}  // namespace orb::foundation
