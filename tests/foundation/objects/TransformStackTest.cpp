#include "foundation/objects/TransformStack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <functional>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

constexpr double kTol = 1e-12;
constexpr double kRad = std::numbers::pi / 180;

TransformationMatrix rows3(std::array<double, 9> r) {
  return TransformationMatrix{{r[0], r[1], r[2], 0, r[3], r[4], r[5], 0, r[6], r[7], r[8], 0, 0, 0, 0, 1}};
}

void expectNear(const TransformationMatrix& a, const TransformationMatrix& b, double tol) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tol) << "element " << i << "\n" << toString(a);
}

TransformNode top(const TransformStack& s) {
  TransformNode n{};
  xformGetTop(s, &n.forward, &n.inverse);
  return n;
}

// Quarter turns use exact sines and cosines: no element may be off by even one ulp, and
// the inverse is the exact transpose.
TEST(TransformStackTest, QuarterTurnsAreExact) {
  struct Case {
    std::string name;
    void (*rotate)(TransformStack&, double);
    double angle;
    TransformationMatrix expected;
  };
  const std::vector<Case> cases = {
      {"z90", xformRotateZ, 90, rows3({0, 1, 0, -1, 0, 0, 0, 0, 1})},
      {"z-90", xformRotateZ, -90, rows3({0, -1, 0, 1, 0, 0, 0, 0, 1})},
      {"z270", xformRotateZ, 270, rows3({0, -1, 0, 1, 0, 0, 0, 0, 1})},
      {"z180", xformRotateZ, 180, rows3({-1, 0, 0, 0, -1, 0, 0, 0, 1})},
      {"z-180", xformRotateZ, -180, rows3({-1, 0, 0, 0, -1, 0, 0, 0, 1})},
      {"z0", xformRotateZ, 0, TransformationMatrix::identity()},
      {"x90", xformRotateX, 90, rows3({1, 0, 0, 0, 0, 1, 0, -1, 0})},
      {"x-270", xformRotateX, -270, rows3({1, 0, 0, 0, 0, 1, 0, -1, 0})},
      {"y90", xformRotateY, 90, rows3({0, 0, 1, 0, 1, 0, -1, 0, 0})},
      {"y270", xformRotateY, 270, rows3({0, 0, -1, 0, 1, 0, 1, 0, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TransformStack s;
    c.rotate(s, c.angle);
    const TransformNode n = top(s);
    EXPECT_EQ(n.forward, c.expected);
    EXPECT_EQ(n.inverse, transpose(c.expected));
  }
}

// The turning sense the coordinate breaks rely on.
TEST(TransformStackTest, RotationSenses) {
  struct Case {
    std::string name;
    void (*rotate)(TransformStack&, double);
    XYZ in, out;
  };
  const std::vector<Case> cases = {
      {"z takes x to -y", xformRotateZ, {1, 0, 0}, {0, -1, 0}},
      {"x takes y to -z", xformRotateX, {0, 1, 0}, {0, 0, -1}},
      {"y takes z to x", xformRotateY, {0, 0, 1}, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TransformStack s;
    c.rotate(s, 90);
    XYZ v = c.in;
    xformApplyTop(s, v, true);
    EXPECT_EQ(v, c.out);
  }
}

// Angles other than the quarter turns go through sin and cos; a negative angle is
// raised by 360 only once.
TEST(TransformStackTest, GeneralAnglesMatchClosedForm) {
  struct Case {
    std::string name;
    double angle;
    double equivalentRadians;
  };
  const std::vector<Case> cases = {
      {"30", 30, 30 * kRad},        {"360 is not exact", 360, 0},       {"450 stays 450", 450, 90 * kRad},
      {"-400 becomes -40", -400, -40 * kRad}, {"-30", -30, 330 * kRad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TransformStack s;
    xformRotateZ(s, c.angle);
    const double co = std::cos(c.equivalentRadians), si = std::sin(c.equivalentRadians);
    expectNear(top(s).forward, rows3({co, si, 0, -si, co, 0, 0, 0, 1}), kTol);
  }
}

TEST(TransformStackTest, LastComposedTransformActsFirst) {
  TransformStack s;
  xformTranslate(s, {1, 2, 3});
  xformRotateZ(s, 90);
  XYZ p{1, 0, 0};
  xformApplyTop(s, p, true);
  EXPECT_EQ(p, (XYZ{1, 1, 3}));
  xformApplyTopInverse(s, p, true);
  EXPECT_EQ(p, (XYZ{1, 0, 0}));

  XYZ d{1, 0, 0};
  xformApplyTop(s, d, false);  // a direction ignores the translation
  EXPECT_EQ(d, (XYZ{0, -1, 0}));
}

// Pre-composition nests the other way round: the translation now acts last.
TEST(TransformStackTest, PreTranslateActsAfterTheFrame) {
  TransformStack s;
  xformRotateZ(s, 90);
  xformPreTranslate(s, {1, 2, 3});
  XYZ p{1, 0, 0};
  xformApplyTop(s, p, true);
  EXPECT_EQ(p, (XYZ{1, 1, 3}));
}

TEST(TransformStackTest, ForwardTimesInverseIsIdentityOnFrames) {
  struct Case {
    std::string name;
    std::function<void(TransformStack&)> build;
  };
  const std::vector<Case> cases = {
      {"coordinate break", [](TransformStack& s) {
         xformTranslate(s, {0.5, -2, 30});
         xformRotateX(s, 12.5);
         xformRotateY(s, -7);
         xformRotateZ(s, 181);
       }},
      {"euler", [](TransformStack& s) { xformRotateEuler(s, 20, 35, -110); }},
      {"euler transposed then translate", [](TransformStack& s) {
         xformRotateEulerTransposed(s, 200, 95, 10);
         xformTranslate(s, {3, 4, 5});
       }},
      {"scale among turns", [](TransformStack& s) {
         xformRotateZ(s, 33);
         xformScale(s, 2, 0.5, -4);
         xformPreTranslate(s, {1, 1, 1});
       }},
      {"set top then compose", [](TransformStack& s) {
         xformSetTop(s, TransformationMatrix::translation({9, 8, 7}), TransformationMatrix::translation({-9, -8, -7}));
         xformRotateX(s, 359.5);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TransformStack s;
    c.build(s);
    const TransformNode n = top(s);
    expectNear(n.forward * n.inverse, TransformationMatrix::identity(), kTol);
    expectNear(n.inverse * n.forward, TransformationMatrix::identity(), kTol);
  }
}

TEST(TransformStackTest, ForwardOnlyTranslationLeavesInverse) {
  TransformStack s;
  xformRotateZ(s, 90);
  const TransformNode before = top(s);
  xformTranslateForwardOnly(s, {1, 2, 3});
  const TransformNode after = top(s);
  EXPECT_EQ(after.inverse, before.inverse);
  XYZ p{0, 0, 0};
  xformApplyTop(s, p, true);
  EXPECT_EQ(p, (XYZ{2, -1, 3}));
}

// A(φ, θ, ψ) is the turn ψ about z of the turn θ about x of the turn φ about z, composed
// here from the axis rotations as an independent reference.
TEST(TransformStackTest, EulerMatrixComposesAxisTurns) {
  const double phi = 25, theta = 40, psi = -65;
  TransformStack axes;
  xformRotateZ(axes, psi);
  xformRotateX(axes, theta);
  xformRotateZ(axes, phi);
  TransformStack euler;
  xformRotateEuler(euler, phi, theta, psi);
  expectNear(top(euler).forward, top(axes).forward, kTol);
  expectNear(top(euler).inverse, top(axes).inverse, kTol);
}

TEST(TransformStackTest, EulerAnglesReadBack) {
  struct Case {
    std::string name;
    double phi, theta, psi;
    double tolerance;  // near θ = 0 or 180 the reading drops terms of order sin θ
  };
  const std::vector<Case> cases = {
      {"general", 30, 60, -45, 1e-12},      {"obtuse tilt", -150, 120, 170, 1e-12},
      {"no tilt", 30, 0, 20, 1e-12},        {"half turn", 30, 180, 20, 1e-12},
      {"tilt 0.01", 30, 0.01, 20, 1e-3},    {"near half turn", -70, 179.99, 50, 1e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TransformStack s;
    xformRotateEulerTransposed(s, c.phi, c.theta, c.psi);
    xformPreTranslate(s, {1, -2, 3});
    XYZ t{};
    double phi, theta, psi;
    xformGetEulerAngles(s, t, phi, theta, psi);
    EXPECT_EQ(t, (XYZ{1, -2, 3}));
    EXPECT_NEAR(theta, c.theta, 1e-9);
    // The angles read back must rebuild the same frame; at θ = 0 or 180 only φ ± ψ is
    // defined, so frames are compared rather than angles.
    TransformStack rebuilt;
    xformRotateEulerTransposed(rebuilt, phi, theta, psi);
    xformPreTranslate(rebuilt, t);
    expectNear(top(rebuilt).forward, top(s).forward, c.tolerance);
  }
}

TEST(TransformStackTest, EmptyStack) {
  TransformStack s;
  TransformationMatrix f = TransformationMatrix::translation({1, 1, 1}), inv = f;
  xformGetTop(s, &f, &inv);
  EXPECT_EQ(f, TransformationMatrix::identity());
  EXPECT_EQ(inv, TransformationMatrix::identity());
  xformGetTop(s, nullptr, &inv);
  EXPECT_TRUE(s.empty());

  XYZ v{1, 2, 3};
  xformApplyTop(s, v, true);
  xformApplyTopInverse(s, v, true);
  EXPECT_EQ(v, (XYZ{1, 2, 3}));

  XYZ t{5, 5, 5};
  double phi = 1, theta = 1, psi = 1;
  xformGetEulerAngles(s, t, phi, theta, psi);
  EXPECT_EQ(t, (XYZ{0, 0, 0}));
  EXPECT_EQ(phi + theta + psi, 0);

  xformPop(s);
  EXPECT_TRUE(s.empty());
}

TEST(TransformStackTest, PushCopiesAndPopRestores) {
  TransformStack s;
  xformTranslate(s, {0, 0, 10});  // pushes the first node itself
  ASSERT_EQ(s.nodes.size(), 1u);
  xformPush(s);
  xformRotateX(s, 90);
  XYZ p{0, 1, 0};
  xformApplyTop(s, p, true);
  EXPECT_EQ(p, (XYZ{0, 0, 9}));
  xformPop(s);
  p = {0, 1, 0};
  xformApplyTop(s, p, true);
  EXPECT_EQ(p, (XYZ{0, 1, 10}));
  xformLoadIdentity(s);
  EXPECT_EQ(top(s).forward, TransformationMatrix::identity());
  xformPush(s);
  xformFreeAll(s);
  EXPECT_TRUE(s.empty());
}

}  // namespace
}  // namespace orb::foundation
