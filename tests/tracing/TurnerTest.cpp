#include "tracing/Turner.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tracing/Diffracter.h"
#include "tracing/Pusher.h"
#include "tracing/TurnerParaxial.h"
#include "tracing/RayWithFrame.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;

XYZ unit(const XYZ& v) {
  const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}
double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
XYZ cross(const XYZ& a, const XYZ& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(const XYZ& a) { return std::sqrt(dot(a, a)); }

Ray rayAt(const XYZ& direction, double n, const XYZ& normal) {
  Ray r(XYZ{0, 0, 0}, direction, n);
  r.setSurfaceNormal(normal);
  return r;
}

struct SnellCase {
  const char* name;
  XYZ direction;
  XYZ normal;
  double n0, n1;
};

TEST(TurnerTest, RefractionObeysSnellsLaw) {
  const SnellCase cases[] = {
      {"normal-incidence", {0, 0, 1}, {0, 0, 1}, 1, 1.5},
      {"tangential-30deg-air-to-glass", {0, 0.5, std::sqrt(0.75)}, {0, 0, 1}, 1, 1.5},
      {"tangential-normal-against-ray", {0, 0.5, std::sqrt(0.75)}, {0, 0, -1}, 1, 1.5},
      {"skew-direction-tilted-normal", {0.3, -0.2, 0.9}, {0.1, 0.25, 0.8}, 1.2, 1.7},
      {"skew-glass-to-air-below-critical", {0.2, 0.3, 1}, {-0.1, 0.05, 1}, 1.5, 1.0},
      {"grazing-normal-x", {0.6, 0, 0.8}, {1, 1, 1}, 1.0, 1.33},
  };
  for (const SnellCase& c : cases) {
    SCOPED_TRACE(c.name);
    const XYZ d = unit(c.direction), N = unit(c.normal);
    Ray r = rayAt(d, c.n0, N);
    TurnerStandard().refractRay(r, c.n1);
    ASSERT_TRUE(r.isAlive());
    const XYZ d1 = r.unitDirector();
    EXPECT_NEAR(r.p(), c.n1, 1e-14);
    // n sin θ = n′ sin θ′, same plane of incidence, same side of the surface.
    EXPECT_NEAR(c.n1 * norm(cross(d1, N)), c.n0 * norm(cross(d, N)), 1e-14);
    EXPECT_NEAR(dot(d1, cross(d, N)), 0, 1e-14);
    EXPECT_GT(dot(d1, N) * dot(d, N), 0);
  }
}

TEST(TurnerTest, ThirtyDegreesIntoGlassByHand) {
  Ray r = rayAt(XYZ{0, std::sin(M_PI / 6), std::cos(M_PI / 6)}, 1, XYZ{0, 0, 1});
  TurnerStandard().refractRay(r, 1.5);
  // sin θ′ = 0.5/1.5.
  EXPECT_NEAR(std::atan2(r.py(), r.pz()), std::asin(1.0 / 3), 1e-15);
  EXPECT_NEAR(r.py(), 0.5, 1e-15);  // tangential momentum conserved
}

TEST(TurnerTest, TotalInternalReflectionBeyondTheCriticalAngle) {
  const auto surface = ConicShape::make(0, 0, "4 (back)");
  const double critical = std::asin(1 / 1.5) * 180 / M_PI;  // 41.8103°
  EXPECT_NEAR(critical, 41.8103, 5e-5);
  struct {
    double degrees;
    bool survives;
  } cases[] = {{41.80, true}, {41.82, false}, {60, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.degrees);
    const double a = c.degrees * M_PI / 180;
    Ray r = rayAt(XYZ{0, std::sin(a), std::cos(a)}, 1.5, XYZ{0, 0, 1});
    const XYZ before = r.momentum();
    TurnerStandard(surface).refractRay(r, 1.0);
    EXPECT_EQ(r.isAlive(), c.survives);
    if (!c.survives) {
      EXPECT_STREQ(r.tags().causeOfDeath, "TIR");
      EXPECT_EQ(r.tags().diedAtSurface, "4 (back)");
      EXPECT_EQ(r.momentum(), before);
    }
  }
  // Exactly at |t| = n′ the ray survives, grazing.
  Ray grazing(XYZ{0, 0, 0}, XYZ{0, 1, 1}, 1.5);
  grazing.setMomentum(XYZ{0, 1, std::sqrt(1.25)});
  TurnerStandard().refractRay(grazing, 1.0);
  EXPECT_TRUE(grazing.isAlive());
  EXPECT_EQ(grazing.momentum(), (XYZ{0, 1, 0}));
}

TEST(TurnerTest, UnusableTargetIndexIsNotTIR) {
  for (double n1 : {0.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(n1);
    Ray r = rayAt(XYZ{0, 0, 1}, 1, XYZ{0, 0, 1});
    TurnerStandard(ConicShape::make(0, 0, "2")).refractRay(r, n1);
    EXPECT_FALSE(r.isAlive());
    EXPECT_STREQ(r.tags().causeOfDeath, "Invalid index of refraction");
    EXPECT_EQ(r.tags().diedAtSurface, "2");
  }
}

TEST(TurnerTest, NegativeIndexReversesTheNormalComponent) {
  Ray r = rayAt(XYZ{0, 0.6, 0.8}, 1, XYZ{0, 0, 1});
  TurnerStandard turner;
  turner.refractRay(r, -1);
  EXPECT_TRUE(r.indexOfRefractionIsNegative());
  EXPECT_NEAR(r.py(), 0.6, 1e-15);
  EXPECT_NEAR(r.pz(), -0.8, 1e-15);
  // Direction of travel continues into +z.
  EXPECT_GT(r.unitDirector().z, 0);
  turner.refractRay(r, 1);
  EXPECT_FALSE(r.indexOfRefractionIsNegative());
  EXPECT_NEAR(r.pz(), 0.8, 1e-15);
}

std::vector<std::uint64_t> bits(const XYZ& v) {
  return {std::bit_cast<std::uint64_t>(v.x), std::bit_cast<std::uint64_t>(v.y), std::bit_cast<std::uint64_t>(v.z)};
}

// The span form refracts a run of rays at a time in columns; it must give the one-ray
// results bit for bit: momenta, index flags, and the deaths (TIR, unusable index).
TEST(TurnerTest, SpanRefractionMatchesOneRayFormBitForBit) {
  std::mt19937_64 random(15);
  std::uniform_real_distribution<double> unitValue(-1, 1);
  std::vector<Ray> start;
  for (int i = 0; i < 203; ++i) {
    const XYZ d{unitValue(random), unitValue(random), i % 4 == 0 ? unitValue(random) : 1 + unitValue(random) / 2};
    const XYZ normal = unit(XYZ{unitValue(random) / 3, unitValue(random) / 3, i % 2 == 0 ? -1.0 : 1.0});
    start.push_back(rayAt(d, i % 3 == 0 ? 1.0 : i % 3 == 1 ? 1.7 : -1.2, normal));
    if (i % 7 == 3) start.back().kill(causeOfDeath::kApertureDoesNotPass, "S1");
  }
  Ray still = rayAt(XYZ{0, 0, 1}, -1, XYZ{0, 0, -1});  // zero momentum, negative index
  still.setMomentum(XYZ{0, 0, 0});
  start.push_back(still);
  Ray along = rayAt(XYZ{0, 0, 1}, 1.5, XYZ{0, 0, 1});  // normal incidence
  start.push_back(along);
  for (const double n1 : {1.5, 1.0, 0.9, -1.3, 1.7, 0.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(n1);
    Turner turner(nullptr), oneRay(nullptr);
    std::vector<Ray> span = start, one = start;
    turner.refractRays(span, n1);
    for (Ray& r : one)
      if (r.isAlive()) oneRay.refractRay(r, n1);
    for (std::size_t i = 0; i < start.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(bits(span[i].momentum()), bits(one[i].momentum()));
      EXPECT_EQ(span[i].indexOfRefractionIsNegative(), one[i].indexOfRefractionIsNegative());
      EXPECT_EQ(span[i].isAlive(), one[i].isAlive());
      EXPECT_EQ(span[i].tags().causeOfDeath, one[i].tags().causeOfDeath);
    }
  }
}

TEST(TurnerTest, ReflectionKeepsTangentialMomentumAndMirrorsTheNormalPart) {
  const XYZ cases[][2] = {{{0, 0, 1}, {0, 0, 1}}, {{0, 0.5, 0.8}, {0, 0.1, 1}}, {{0.3, -0.4, 0.7}, {0.2, 0.3, -1}}};
  for (const auto& c : cases) {
    const XYZ d = unit(c[0]), N = unit(c[1]);
    Ray r = rayAt(d, 1.5, N);
    TurnerStandard().reflectRay(r);
    const XYZ p1 = r.momentum();
    const XYZ p0{1.5 * d.x, 1.5 * d.y, 1.5 * d.z};
    EXPECT_NEAR(dot(p1, N), -dot(p0, N), 1e-14);
    EXPECT_NEAR(norm(cross(p1, N)), norm(cross(p0, N)), 1e-14);
    EXPECT_NEAR(dot(p1, cross(p0, N)), 0, 1e-14);
    EXPECT_FALSE(r.isReflected());
  }
  Ray normal = rayAt(XYZ{0, 0, 1}, 1, XYZ{0, 0, 1});
  TurnerStandard().reflectRay(normal);
  EXPECT_EQ(normal.momentum(), (XYZ{0, 0, -1}));
}

TEST(TurnerTest, ParaxialRefractionAtHeightY) {
  // u′ = (u + c·y)/1.5 − c·y for a standard surface between 1 and 1.5.
  const double c = 0.05, y = 2, u = 0.1;
  TurnerStandard turner(ConicShape::make(c, 0));
  Ray r(XYZ{0, y, 0}, XYZ{0, u, 1}, 1);
  turner.paraxiallyRefractRay(r, 1.5);
  EXPECT_NEAR(r.uy(), (u + c * y) / 1.5 - c * y, 1e-15);
  EXPECT_NEAR(r.p(), 1.5, 1e-15);
  // Thin-surface law n′u′ = nu − yφ, φ = c(n′ − n).
  EXPECT_NEAR(1.5 * r.uy(), u - y * c * 0.5, 1e-15);

  Ray axial(XYZ{0, 0, 0}, XYZ{0, 0, 1}, 1);
  turner.paraxiallyRefractRay(axial, 1.5);
  EXPECT_EQ(axial.uy(), 0);
}

TEST(TurnerTest, ParaxialReflectionTogglesTheReflectedFlag) {
  TurnerStandard turner(ConicShape::make(0.02, 0));
  Ray r(XYZ{0, 5, 0}, XYZ{0, 0, 1}, 1);
  turner.paraxiallyReflectRay(r);
  EXPECT_TRUE(r.isReflected());
  EXPECT_LT(r.pz(), 0);
  // Mirror of curvature c: u′ = −u − 2cy in slope terms.
  EXPECT_NEAR(r.uy(), -2 * 0.02 * 5, 1e-15);
}

TEST(TurnerTest, FramedRefractionGivesTheSurfacePower) {
  // An axial framed ray crosses 5 units of air to a sphere and enters glass. Closed form:
  // M = P·T with T the free step and P the surface power φ = c(n′ − n):
  // pypy = 1 − 5φ, pyqy = −φ, qypy = 5, qyqy = 1.
  const double c = 0.04, n1 = 1.5, phi = c * (n1 - 1);
  const auto sphere = ConicShape::make(c, 0, "1");
  for (bool conicoidNormal : {true, false}) {
    SCOPED_TRACE(conicoidNormal ? "pusher normal -z" : "shape normal +z");
    RayWithFrame r(XYZ{0, 0, -5}, XYZ{0, 0, 1}, 1);
    PusherConicoid(sphere).acquireRay(r);
    if (!conicoidNormal) r.setSurfaceNormal(sphere->surfaceNormalAtQ({0, 0}));
    TurnerStandard(sphere).refractRay(r, n1);
    const auto& M = r.transfer();
    EXPECT_NEAR(M[5], 1 - 5 * phi, 1e-14);
    EXPECT_NEAR(M[7], -phi, 1e-14);
    EXPECT_NEAR(M[13], 5, 1e-14);
    EXPECT_NEAR(M[15], 1, 1e-14);
    EXPECT_NEAR(M[0], 1 - 5 * phi, 1e-14);  // sagittal the same on axis
  }

  // The paraxial turner gives the same matrix.
  RayWithFrame p(XYZ{0, 0, -5}, XYZ{0, 0, 1}, 1);
  PusherConicoid(sphere).paraxiallyAcquireRay(p);
  TurnerStandard(sphere).paraxiallyRefractRay(p, n1);
  EXPECT_NEAR(p.transfer()[7], -phi, 1e-14);
  EXPECT_NEAR(p.transfer()[5], 1 - 5 * phi, 1e-14);

  // Same index: matrix and basis untouched.
  RayWithFrame same(XYZ{0, 1, 0}, XYZ{0, 0.1, 1}, 1.5);
  same.setSurfaceNormal(unit(XYZ{0, -0.04, 1}));
  const RayWithFrame before = same;
  TurnerStandard(sphere).refractRay(same, 1.5);
  EXPECT_EQ(same.transfer(), before.transfer());
  EXPECT_EQ(same.e2(), before.e2());
}

TEST(TurnerTest, FramedRefractionKeepsTheBasisOnTheRay) {
  const auto sphere = ConicShape::make(0.05, 0, "1");
  RayWithFrame r(XYZ{3, 4, -2}, XYZ{-0.1, 0.05, 1}, 1);
  PusherConicoid(sphere).acquireRay(r);
  TurnerStandard(sphere).refractRay(r, 1.6);
  ASSERT_TRUE(r.isAlive());
  EXPECT_LT(r.misalignment(), 1e-7);  // acos resolution near 1 is ~1.5e-8
  EXPECT_LT(r.transferMatrix().symplecticError(), 1e-12);
}

TEST(TurnerTest, MakeByName) {
  EXPECT_NE(dynamic_cast<TurnerStandard*>(makeTurner("TurnerStandard", nullptr).get()), nullptr);
  EXPECT_NE(dynamic_cast<Diffracter*>(makeTurner("Diffracter", nullptr).get()), nullptr);
  EXPECT_NE(dynamic_cast<TurnerParaxialFlyEye*>(makeTurner("TurnerParaxialFlyEye", nullptr).get()), nullptr);
  EXPECT_EQ(makeTurner("TurnerUnknown", nullptr), nullptr);
}

}  // namespace
}  // namespace orb::tracing

namespace {
/// A conic plus the polynomial a2·r² + a4·r⁴, as an even asphere presents itself.
class AsphereShape : public orb::tracing::ConicShape {
 public:
  AsphereShape(double c, double k, double a2, double a4) : ConicShape(c, k), m_a2(a2), m_a4(a4) {}
  double sagPolynomialCoefficient(int power) const override { return power == 2 ? m_a2 : power == 4 ? m_a4 : 0; }

 private:
  double m_a2, m_a4;
};
}  // namespace

TEST(TurnerAsphereTest, VertexCurvatureAndFourthOrderTermOfConicPlusPolynomial) {
  // Series of the sag: (c/2 + a2)·r² + ((1+k)c³/8 + a4)·r⁴; the osculating sphere of
  // curvature ce = c + 2·a2 contributes ce³/8 to r⁴, and the Seidel term is the rest.
  struct Row {
    const char* name;
    double c, k, a2, a4;
  };
  for (const Row& r : {Row{"sphere", 0.02, 0, 0, 0}, Row{"conic", 0.02, -1.5, 0, 0},
                       Row{"quadratic-term", 0.01, -0.5, 0.004, 2e-6}, Row{"polynomial-only", 0, 0, 0.003, -1e-5}}) {
    SCOPED_TRACE(r.name);
    orb::tracing::TurnerAsphere turner(std::make_shared<AsphereShape>(r.c, r.k, r.a2, r.a4));
    const double ce = r.c + 2 * r.a2;
    EXPECT_DOUBLE_EQ(turner.curvature(), ce);
    EXPECT_NEAR(turner.seidelA4(), (1 + r.k) * r.c * r.c * r.c / 8 + r.a4 - ce * ce * ce / 8, 1e-15);
  }
}
