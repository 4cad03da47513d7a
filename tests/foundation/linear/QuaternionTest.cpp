#include "foundation/linear/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

// The conversions go through single precision, so angles agree to about 1e-7.
constexpr double kFloatTol = 2e-6;

struct Turn {
  std::string name;
  AngleAxis angleAxis;
};

const std::vector<Turn>& turns() {
  static const std::vector<Turn> t = {
      {"90 about z", {90, 0, 0, 1}},        {"-30 about x", {-30, 1, 0, 0}},
      {"120 about (1,1,1)", {120, 1, 1, 1}}, {"200 about (0,3,-4)", {200, 0, 3, -4}},
      {"10 about (2,-1,0.5)", {10, 2, -1, 0.5}},
  };
  return t;
}

// Rotation by angle about the axis, counter-clockwise seen from the axis tip (Rodrigues).
XYZTensor rodrigues(const AngleAxis& aa) {
  const double n = std::sqrt(double(aa.x) * aa.x + double(aa.y) * aa.y + double(aa.z) * aa.z);
  const double x = aa.x / n, y = aa.y / n, z = aa.z / n, t = aa.angle * std::numbers::pi / 180;
  const double c = std::cos(t), s = std::sin(t), k = 1 - c;
  return {c + k * x * x,     k * x * y - s * z, k * x * z + s * y, k * x * y + s * z, c + k * y * y,
          k * y * z - s * x, k * x * z - s * y, k * y * z + s * x, c + k * z * z};
}

XYZ times(const XYZTensor& t, const XYZ& v) {
  return {t.xx * v.x + t.xy * v.y + t.xz * v.z, t.yx * v.x + t.yy * v.y + t.yz * v.z,
          t.zx * v.x + t.zy * v.y + t.zz * v.z};
}

void expectNear(const XYZTensor& a, const XYZTensor& b, double tol) {
  const double* pa = &a.xx;
  const double* pb = &b.xx;
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(pa[i], pb[i], tol) << "element " << i << "\n" << toString(a);
}

void expectNear(const XYZ& a, const XYZ& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol) << toString(a);
  EXPECT_NEAR(a.y, b.y, tol) << toString(a);
  EXPECT_NEAR(a.z, b.z, tol) << toString(a);
}

void expectNear(const Quaternion& a, const Quaternion& b, double tol) {
  EXPECT_NEAR(a.w, b.w, tol) << toString(a);
  EXPECT_NEAR(a.x, b.x, tol) << toString(a);
  EXPECT_NEAR(a.y, b.y, tol) << toString(a);
  EXPECT_NEAR(a.z, b.z, tol) << toString(a);
}

TEST(QuaternionTest, FromAxisAngle) {
  const double h = std::sqrt(0.5);
  expectNear(quaternionFromAxisAngle({90, 0, 0, 2}), {h, 0, 0, h}, 1e-7);
  EXPECT_EQ(quaternionFromAxisAngle({45, 0, 0, 0}), (Quaternion{1, 0, 0, 0}));
  EXPECT_EQ(quaternionFromAxisAngle({0, 1, 0, 0}), (Quaternion{1, 0, 0, 0}));
}

TEST(QuaternionTest, MatrixAndVectorRotationMatchRodrigues) {
  const XYZ v{0.3, -1.2, 2.5};
  for (const Turn& t : turns()) {
    SCOPED_TRACE(t.name);
    const Quaternion q = quaternionFromAxisAngle(t.angleAxis);
    const XYZTensor r = rodrigues(t.angleAxis);
    expectNear(quaternionToRotationMatrix(q), r, kFloatTol);
    expectNear(quaternionRotateVector(v, q), times(r, v), 1e-5);
    // Length is absorbed: a scaled quaternion is the same rotation.
    const Quaternion scaled{3 * q.w, 3 * q.x, 3 * q.y, 3 * q.z};
    expectNear(quaternionToRotationMatrix(scaled), quaternionToRotationMatrix(q), 1e-14);
    expectNear(quaternionRotateVector(v, scaled), quaternionRotateVector(v, q), 1e-14);
  }
  expectNear(quaternionRotateVector({1, 0, 0}, quaternionFromAxisAngle({90, 0, 0, 1})), {0, 1, 0}, 1e-7);
}

TEST(QuaternionTest, CompositionMatchesMatrixProduct) {
  const XYZ v{1, 2, 3};
  for (const Turn& a : turns())
    for (const Turn& b : turns()) {
      SCOPED_TRACE(a.name + " after " + b.name);
      const Quaternion qa = quaternionFromAxisAngle(a.angleAxis), qb = quaternionFromAxisAngle(b.angleAxis);
      const XYZTensor ab = tensorMultiply(quaternionToRotationMatrix(qa), quaternionToRotationMatrix(qb));
      expectNear(quaternionToRotationMatrix(quaternionMultiply(qa, qb)), ab, 1e-14);
      expectNear(quaternionRotateVector(v, quaternionMultiply(qa, qb)),
                 quaternionRotateVector(quaternionRotateVector(v, qb), qa), 1e-13);
    }
}

TEST(QuaternionTest, DivideTakesTheInverseOnTheLeft) {
  const Quaternion a = quaternionFromAxisAngle({90, 0, 0, 1}), b = quaternionFromAxisAngle({90, 1, 0, 0});
  expectNear(quaternionDivide(a, a), {1, 0, 0, 0}, 1e-15);
  const Quaternion d = quaternionDivide(a, b);
  expectNear(d, quaternionMultiply(quaternionInverse(b), a), 0);
  const Quaternion other = quaternionMultiply(a, quaternionInverse(b));
  EXPECT_GT(std::fabs(d.x - other.x) + std::fabs(d.y - other.y) + std::fabs(d.z - other.z), 0.5);
  // The inverse of a non-unit quaternion undoes it.
  const Quaternion q{2, -1, 0.5, 3};
  expectNear(quaternionMultiply(q, quaternionInverse(q)), {1, 0, 0, 0}, 1e-15);
}

TEST(QuaternionTest, ToAxisAngle) {
  struct Case {
    std::string name;
    Quaternion q;
    AngleAxis expected;
  };
  const double h = std::sqrt(0.5);
  const std::vector<Case> cases = {
      {"no turn", {1, 0, 0, 0}, {0, 1, 0, 0}},
      {"no turn, scaled", {4, 0, 0, 0}, {0, 1, 0, 0}},
      {"270 about z reads -90", {-h, 0, 0, h}, {-90, 0, 0, 1}},
      {"90 about x", {h, h, 0, 0}, {90, 1, 0, 0}},
      {"180 about y", {0, 0, 1, 0}, {180, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AngleAxis aa = quaternionToAxisAngle(c.q);
    EXPECT_NEAR(aa.angle, c.expected.angle, 1e-4);
    EXPECT_NEAR(aa.x, c.expected.x, 1e-6);
    EXPECT_NEAR(aa.y, c.expected.y, 1e-6);
    EXPECT_NEAR(aa.z, c.expected.z, 1e-6);
  }
}

TEST(QuaternionTest, ZeroAndScaledQuaternionsGiveIdentity) {
  const XYZTensor identity{1, 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(quaternionToRotationMatrix({2, 0, 0, 0}), identity);
  EXPECT_EQ(quaternionToRotationMatrix({0, 0, 0, 0}), identity);
  // The zero quaternion leaves vectors as its matrix does, rather than giving 0/0.
  EXPECT_EQ(quaternionRotateVector({1, 2, 3}, {0, 0, 0, 0}), (XYZ{1, 2, 3}));
}

}  // namespace
}  // namespace orb::foundation
