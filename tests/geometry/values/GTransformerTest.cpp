#include "geometry/values/GTransformer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace orb::geometry {
namespace {

using foundation::XYZ;

TEST(GTransformerTest, EmptyStackIsTheIdentity) {
  GTransformer g;
  double m[16];
  g.getMatrix(m);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], (i % 5 == 0) ? 1 : 0);
  XYZ p{1, 2, 3};
  g.transform(p);
  g.rotate(p);
  EXPECT_EQ(p, (XYZ{1, 2, 3}));
  g.pop();  // nothing to pop
  EXPECT_TRUE(g.empty());
  g.ident();
  EXPECT_EQ(g.depth(), 1u);
}

TEST(GTransformerTest, TranslationMovesPointsNotDirections) {
  GTransformer g;
  g.push();
  g.translate({1, 2, 3});
  XYZ p{0, 0, 0}, d{1, 0, 0};
  g.transform(p);
  g.rotate(d);
  EXPECT_EQ(p, (XYZ{1, 2, 3}));
  EXPECT_EQ(d, (XYZ{1, 0, 0}));

  // Appended last, applied first: scale then translate.
  g.scale(2, 3, 4);
  XYZ q{1, 1, 1};
  g.transform(q);
  EXPECT_EQ(q, (XYZ{3, 5, 7}));
  g.push();
  g.invTranslate({1, 2, 3});
  g.pop();
  XYZ r{1, 1, 1};
  g.transform(r);
  EXPECT_EQ(r, (XYZ{3, 5, 7}));
}

TEST(GTransformerTest, QuarterTurnsAreExact) {
  GTransformer g;
  g.push();
  g.eulerWithPhi(90, 0, 0);
  XYZ a{1, 0, 0}, b{0, 1, 0};
  g.transform(a);
  g.transform(b);
  EXPECT_EQ(a, (XYZ{0, -1, 0}));
  EXPECT_EQ(b, (XYZ{1, 0, 0}));

  GTransformer h;
  h.eulerWithPhi(-90, 180, 0);  // −90 is 270: exact, as is 180
  double m[16];
  h.getMatrix(m);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(m[i] == 0 || m[i] == 1 || m[i] == -1) << i << ": " << m[i];
}

TEST(GTransformerTest, EulerMatrixIsTheZXZRotationIntoTheTurnedFrame) {
  // Rows of R are the turned frame's axes in fixed coordinates, built here from
  // rotations about z, then the new x, then the new z.
  const double f = 0.3, t = 1.1, s = -0.7, d = M_PI / 180;
  const auto R = GTransformer::eulerMatrix(f / d, t / d, s / d);
  auto rotZ = [](double a, XYZ v) { return XYZ{std::cos(a) * v.x - std::sin(a) * v.y, std::sin(a) * v.x + std::cos(a) * v.y, v.z}; };
  auto rotAbout = [](XYZ k, double a, XYZ v) {  // Rodrigues
    const double c = std::cos(a), sn = std::sin(a), kv = k.x * v.x + k.y * v.y + k.z * v.z;
    const XYZ kxv{k.y * v.z - k.z * v.y, k.z * v.x - k.x * v.z, k.x * v.y - k.y * v.x};
    return XYZ{v.x * c + kxv.x * sn + k.x * kv * (1 - c), v.y * c + kxv.y * sn + k.y * kv * (1 - c),
               v.z * c + kxv.z * sn + k.z * kv * (1 - c)};
  };
  XYZ ex = rotZ(f, {1, 0, 0}), ey = rotZ(f, {0, 1, 0}), ez{0, 0, 1};
  ey = rotAbout(ex, t, ey);
  ez = rotAbout(ex, t, ez);
  const XYZ ex2 = rotAbout(ez, s, ex), ey2 = rotAbout(ez, s, ey);
  const XYZ axes[3] = {ex2, ey2, ez};
  for (int r = 0; r < 3; ++r) {
    EXPECT_NEAR(R[4 * r + 0], axes[r].x, 1e-15);
    EXPECT_NEAR(R[4 * r + 1], axes[r].y, 1e-15);
    EXPECT_NEAR(R[4 * r + 2], axes[r].z, 1e-15);
  }
}

TEST(GTransformerTest, DecompositionRecoversTranslationAndAngles) {
  struct Case {
    std::string name;
    double phi, theta, psi;
    double expectPhi, expectPsi;
  };
  const std::vector<Case> cases = {
      {"general", 30, 40, 50, 30, 50},
      {"negative angles", -120, 135, -10, -120, -10},
      {"theta zero folds psi into phi", 30, 0, 50, 80, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GTransformer g;
    g.push();
    g.translate({4, -5, 6});
    g.invEulerWithPhi(c.phi, c.theta, c.psi);
    XYZ t;
    double phi, theta, psi;
    g.invertToGiveTranslation(t, phi, theta, psi);
    EXPECT_EQ(t, (XYZ{4, -5, 6}));
    EXPECT_NEAR(phi, c.expectPhi, 1e-12);
    EXPECT_NEAR(theta, c.theta, 1e-12);
    EXPECT_NEAR(psi, c.expectPsi, 1e-12);
  }
  GTransformer empty;
  XYZ t{9, 9, 9};
  double phi = 1, theta = 1, psi = 1;
  empty.invertToGiveTranslation(t, phi, theta, psi);
  EXPECT_EQ(t, (XYZ{0, 0, 0}));
  EXPECT_EQ(phi + theta + psi, 0);
}

TEST(GTransformerTest, RotationMatrixAndItsInverseCancel) {
  GTransformer g;
  g.eulerWithPhi(10, 20, 30);
  const auto R = GTransformer::eulerMatrix(10, 20, 30);
  const double transposed[9] = {R[0], R[4], R[8], R[1], R[5], R[9], R[2], R[6], R[10]};
  g.appendRotationMatrix(transposed);
  double m[16];
  g.getMatrix(m);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], (i % 5 == 0) ? 1 : 0, 1e-15) << i;
}

}  // namespace
}  // namespace orb::geometry
