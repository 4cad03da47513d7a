#include "foundation/objects/OBTransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "foundation/objects/TransformStack.h"

namespace orb::foundation {
namespace {

void expectNear(const XYZ& a, const XYZ& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol) << toString(a);
  EXPECT_NEAR(a.y, b.y, tol) << toString(a);
  EXPECT_NEAR(a.z, b.z, tol) << toString(a);
}

XYZ times(const XYZTensor& t, const XYZ& v) {
  return {t.xx * v.x + t.xy * v.y + t.xz * v.z, t.yx * v.x + t.yy * v.y + t.yz * v.z,
          t.zx * v.x + t.zy * v.y + t.zz * v.z};
}

OBTransform fromStack(const TransformStack& s) {
  TransformationMatrix f{}, inv{};
  xformGetTop(s, &f, &inv);
  return OBTransform(f, inv);
}

TEST(OBTransformTest, NewTransformIsIdentity) {
  const OBTransform t;
  const XYZ p{1.5, -2, 3e5};
  EXPECT_EQ(t.transformToGlobal(p), p);
  EXPECT_EQ(t.transformFromGlobal(p), p);
  EXPECT_EQ(t.rotateToGlobal(p), p);
  EXPECT_EQ(t.rotateFromGlobal(p), p);

  std::vector<double> handedOver;
  t.transformOpenGL([&](const double* m) { handedOver.assign(m, m + 16); });
  const auto id = TransformationMatrix::identity();
  EXPECT_EQ(handedOver, std::vector<double>(id.m.begin(), id.m.end()));
}

TEST(OBTransformTest, TranslationMovesPointsNotDirections) {
  OBTransform t;
  t.setLocalToGlobalCoordinateTransformationMatrix(TransformationMatrix::translation({0, 0, 10}),
                                                   TransformationMatrix::translation({0, 0, -10}));
  EXPECT_EQ(t.transformToGlobal({1, 2, 3}), (XYZ{1, 2, 13}));
  EXPECT_EQ(t.rotateToGlobal({1, 2, 3}), (XYZ{1, 2, 3}));
  EXPECT_EQ(t.transformFromGlobal({1, 2, 13}), (XYZ{1, 2, 3}));
  EXPECT_EQ(t.rotateFromGlobal({1, 2, 3}), (XYZ{1, 2, 3}));
}

// A surface frame set from the stack: a local point, worked out by hand, and the round
// trip through global coordinates on a table of frames.
TEST(OBTransformTest, PointsAndDirectionsGoThereAndBack) {
  TransformStack tilted;
  xformTranslate(tilted, {0, 0, 5});
  xformRotateX(tilted, 90);
  const OBTransform t = fromStack(tilted);
  EXPECT_EQ(t.transformToGlobal({0, 1, 0}), (XYZ{0, 0, 4}));
  EXPECT_EQ(t.rotateToGlobal({0, 1, 0}), (XYZ{0, 0, -1}));

  struct Case {
    std::string name;
    std::function<void(TransformStack&)> build;
  };
  const std::vector<Case> cases = {
      {"decentre and tilt", [](TransformStack& s) {
         xformTranslate(s, {2, -1, 40});
         xformRotateX(s, 7.5);
         xformRotateY(s, -3);
       }},
      {"fold mirror", [](TransformStack& s) {
         xformRotateX(s, 45);
         xformTranslate(s, {0, 0, 25});
         xformRotateX(s, 45);
       }},
      {"euler", [](TransformStack& s) { xformRotateEuler(s, 10, 20, 30); }},
  };
  const XYZ p{0.3, -1.7, 2.2}, d{0.6, 0, 0.8};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TransformStack s;
    c.build(s);
    const OBTransform frame = fromStack(s);
    expectNear(frame.transformFromGlobal(frame.transformToGlobal(p)), p, 1e-12);
    expectNear(frame.transformToGlobal(frame.transformFromGlobal(p)), p, 1e-12);
    const XYZ dg = frame.rotateToGlobal(d);
    EXPECT_NEAR(std::hypot(dg.x, dg.y, dg.z), 1, 1e-15);
    expectNear(frame.rotateFromGlobal(dg), d, 1e-12);
  }
}

TEST(OBTransformTest, TensorTurnsWithTheFrame) {
  TransformStack quarter;
  xformRotateZ(quarter, -90);  // maps x to y
  XYZTensor xx = tensorZero();
  xx.xx = 1;
  XYZTensor yy = tensorZero();
  yy.yy = 1;
  EXPECT_EQ(fromStack(quarter).tensorToGlobal(xx), yy);

  // (R T Rᵀ)(R v) = R (T v) for any tensor, symmetric or not.
  TransformStack s;
  xformRotateX(s, 20);
  xformRotateY(s, -35);
  xformRotateZ(s, 110);
  const OBTransform frame = fromStack(s);
  const XYZTensor t{1, 2, 3, -4, 5, 0.5, 7, -8, 9};
  const XYZ v{0.2, -0.7, 1.3};
  expectNear(times(frame.tensorToGlobal(t), frame.rotateToGlobal(v)), frame.rotateToGlobal(times(t, v)), 1e-12);
}

}  // namespace
}  // namespace orb::foundation
