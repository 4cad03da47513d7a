#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/BowTieIntegral.h"
#include "geometry/solids/PolarIntegration.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Plane.h"

namespace orb::geometry {
namespace {

using foundation::XY;

R3PointPtr P(double x, double y, double z) { return R3Point::pointWithDoubles(x, y, z); }

// Both regions below are swept from Q = (0, 0) between the directions θ₁ = π/4 and
// θ₂ = π − atan 2, with the line D-B on y = −1 or y = 1 the nearer one (h = 1, θ₀ = π/2):
// then du = dθ/sin θ, and the results are the plain θ-integrals
//   sinIntegral = ∫ R dθ,  cosIntegral = ∫ R·cot θ dθ,
// with R(θ) = ∫ f(r cos θ, r sin θ) dr between the two lines (r = y/sin θ on y = const).
const double theta1 = M_PI / 4, theta2 = M_PI - std::atan(2.0);
double lnTanHalf(double t) { return std::log(std::tan(t / 2)); }

TEST(BowTieTest, IntegralsMatchClosedFormsOverTheRegion) {
  struct Case {
    const char* name;
    XY p, a, b, d;
    PlaneIntegrand f;
    double sinIntegral, cosIntegral;
  };
  const auto between = [](auto F) { return F(theta2) - F(theta1); };
  const std::vector<Case> cases = {
      // The bow tie: P(2, 2), A(−1, 2) on y = 2 and B(½, −1), D(−1, −1) on y = −1, the two
      // triangles meeting at Q. f = 1 + x: R = 3/s + 1.5·c/s² (r from −1/s to 2/s); so
      // ∫R dθ = [3 ln tan(θ/2) − 1.5/s] and ∫R·c/s dθ = ∫(3c/s² + 1.5c²/s³)dθ
      // = [−3/s − ¾·cot θ/s − ¾·ln tan(θ/2)].
      {"bow tie, f = 1 + x", {2, 2}, {-1, 2}, {0.5, -1}, {-1, -1}, [](double x, double) { return 1 + x; },
       between([](double t) { return 3 * lnTanHalf(t) - 1.5 / std::sin(t); }),
       between([](double t) {
         const double s = std::sin(t);
         return -3 / s - 0.75 * std::cos(t) / (s * s) - 0.75 * lnTanHalf(t);
       })},
      // A trapezoid in front of Q between y = 1 and y = 2 (D(1, 1), B(−½, 1), P(2, 2),
      // A(−1, 2)), f = y: R = (4 − 1)/(2s) = 1.5/s; ∫R dθ = 1.5 ln tan(θ/2), ∫R·c/s dθ = −1.5/s.
      {"trapezoid, f = y", {2, 2}, {-1, 2}, {-0.5, 1}, {1, 1}, [](double, double y) { return y; },
       between([](double t) { return 1.5 * lnTanHalf(t); }), between([](double t) { return -1.5 / std::sin(t); })},
  };
  for (const auto& c : cases) {
    double s = 0, co = 0;
    ASSERT_EQ(bowTieIntegral(c.f, 24, 4, &s, &co, c.p, c.a, c.b, c.d), 0) << c.name;
    EXPECT_NEAR(s, c.sinIntegral, 1e-11) << c.name;
    EXPECT_NEAR(co, c.cosIntegral, 1e-11) << c.name;
  }
  // The same bow tie through the general form: the limits as functions of the angle.
  double s = 0, co = 0;
  ASSERT_EQ(bowTieIntegralAlongBoundary([](double x, double) { return 1 + x; }, 24, 4, &s, &co, {0, 0}, theta1, theta2,
                                        1, -M_PI / 2, [](double t) { return -1 / std::sin(t); },
                                        [](double t) { return 2 / std::sin(t); }),
            0);
  EXPECT_NEAR(s, cases[0].sinIntegral, 1e-11);
  EXPECT_NEAR(co, cases[0].cosIntegral, 1e-11);
  // Parallel sides P-D and A-B meet nowhere: no apex, no integral.
  EXPECT_EQ(bowTieIntegral(cases[0].f, 10, 10, &s, &co, {0, 1}, {1, 1}, {1, 0}, {0, 0}), -1);
  EXPECT_EQ(s, 0);
}

TEST(BowTieTest, TracePrintsEachStepAndTheResults) {
  const XY p{2, 2}, a{-1, 2}, b{0.5, -1}, d{-1, -1};
  double s = 0, c = 0, s1 = 0, c1 = 0;
  testing::internal::CaptureStdout();
  ASSERT_EQ(bowTieIntegralTrace(&s, &c, p, a, b, d), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(bowTieIntegral([](double, double) { return 1.0; }, 10, 10, &s1, &c1, p, a, b, d), 0);
  EXPECT_EQ(s, s1);
  EXPECT_EQ(c, c1);
  // f = 1: R = 3/s, so ∫R dθ = 3[ln tan(θ/2)].
  EXPECT_NEAR(s, 3 * (lnTanHalf(theta2) - lnTanHalf(theta1)), 1e-8);
  EXPECT_EQ(out.rfind("BowTieIntegral\n", 0), 0u);
  EXPECT_NE(out.find("h2 = 2, h3 = 1\n"), std::string::npos);
  EXPECT_NE(out.find("thetaMin/pi = 0.25, thetaMax/pi="), std::string::npos);
  std::size_t nodes = 0;
  for (std::size_t at = out.find("radialIntegral = "); at != std::string::npos; at = out.find("radialIntegral = ", at + 1))
    ++nodes;
  EXPECT_EQ(nodes, 10u);
  char tail[128];
  std::snprintf(tail, sizeof tail, "cosIntegral = %g\nsinIntegral = %g\n", c, s);
  EXPECT_EQ(out.substr(out.size() - std::string(tail).size()), tail);
}

TEST(BowTieTest, ParametrizedThetaFinderFollowsACurveRoundACentre) {
  BSParametrizedThetaFinder finder;
  // Without a curve and a map: the angle and radius of (cos t, sin t).
  EXPECT_NEAR(finder.valueAt(0.7), 0.7, 1e-15);
  EXPECT_DOUBLE_EQ(finder.radiusAt(0.7), 1);

  // The circle of radius 2 about (1, 0, 0) seen from its centre through the chart of the
  // plane z = 0, whose axes are world y and −x: the point at parameter t has the angle
  // θ = 2πt − π in the world, θ − π/2 in the chart, and lies 2 from the centre.
  const auto circle = R3Ellipse::ellipseWithCenter(P(1, 0, 0), P(2, 0, 0), P(0, 2, 0));
  const std::shared_ptr<const PolarMap> map = R3Plane::planeWithCoefficients(0, 0, 1, 0)->polarMapForLocus(P(0, 0, 0));
  finder.setCurve(circle);
  finder.setMap(map);
  finder.setCenter(map->R2ForR3(*P(1, 0, 0)));
  EXPECT_NEAR(finder.center().x, 0, 1e-15);
  EXPECT_NEAR(finder.center().y, -1, 1e-15);
  EXPECT_NEAR(finder.valueAt(0.3), -0.9 * M_PI, 1e-12);
  EXPECT_NEAR(finder.valueAt(0.7), -0.1 * M_PI, 1e-12);
  EXPECT_NEAR(finder.radiusAt(0.3), 2, 1e-12);
  // With a theta finder whose window is (0, 2π]: continuous across −π.
  auto window = std::make_shared<VKThetaFinder>();
  window->setThetaCut(0, M_PI);
  finder.setThetaFinder(window);
  EXPECT_NEAR(finder.valueAt(0.3), 1.1 * M_PI, 1e-12);
  EXPECT_NE(finder.description().find(circle->description()), std::string::npos);
}

}  // namespace
}  // namespace orb::geometry
