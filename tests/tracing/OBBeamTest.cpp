#include "tracing/OBBeam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ExpectRaises.h"
#include "lens/ArchiveClasses.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace orb::tracing {
namespace {

struct Moments {
  double meanX = 0, sigmaX = 0, sigmaY = 0, sigmaPx = 0, sigmaPy = 0;
};

Moments momentsOf(const std::vector<Ray>& rays, double x0 = 0) {
  double sx = 0, sxx = 0, syy = 0, spx = 0, spy = 0;
  for (const Ray& r : rays) {
    sx += r.x() - x0;
    sxx += (r.x() - x0) * (r.x() - x0);
    syy += r.y() * r.y();
    spx += r.px() * r.px();
    spy += r.py() * r.py();
  }
  const double n = static_cast<double>(rays.size());
  return {sx / n, std::sqrt(sxx / n), std::sqrt(syy / n), std::sqrt(spx / n), std::sqrt(spy / n)};
}

class OBBeamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lens::registerArchiveClasses();
    registerTracingClasses();
  }
};

TEST_F(OBBeamTest, DefaultsAndSetterRules) {
  auto b = OBBeam::beam();
  EXPECT_EQ(b->description(), "Beam(x=0,y=0,z=0,w0=0.05)");
  EXPECT_EQ(b->name(), "noname");
  EXPECT_EQ(b->shortDescription(), "noname");
  EXPECT_EQ(b->emSquared(), 1);
  EXPECT_EQ(b->wavelengthInNanometers(), 633);
  EXPECT_EQ(b->indexOfRefraction(), 1);
  b->setEmSquared(0.5);
  EXPECT_EQ(b->emSquared(), 1);
  b->setEmSquared(2.5);
  EXPECT_EQ(b->emSquared(), 2.5);
  b->setWavelengthInNanometers(0);
  EXPECT_EQ(b->wavelengthInNanometers(), 633);
  // A nil value leaves a scalar as it was.
  b->setValueForKey("positionX", 3.0);
  b->setValueForKey("positionX", platform::Value());
  EXPECT_EQ(b->positionX(), 3);
  b->setIsVariable("gaussianWaistRadius", true);
  EXPECT_EQ(b->keyPathsForVariables(), std::vector<std::string>{"gaussianWaistRadius"});
  EXPECT_EQ(b->valueForKey("gaussianWaistRadiusIsVariable").asBool(), true);
}

TEST_F(OBBeamTest, RaysSampleTheGaussianBeamAtTheWaistAndFarFromIt) {
  // w0 = 0.05 mm, λ = 633 nm, M² = 1, air. Closed forms: θ = λ/(2π·w0) (σ of the angle),
  // z_R = π·w0²/λ, w(z) = w0·√(1 + (z/z_R)²), σ(z) = w(z)/2.
  const double w0 = 0.05, lambda = 633e-6;
  const double theta = lambda / (2 * std::numbers::pi * w0);
  const double zR = std::numbers::pi * w0 * w0 / lambda;
  const double sigma50 = w0 * std::sqrt(1 + (50 / zR) * (50 / zR)) / 2;
  EXPECT_NEAR(theta, 0.00201, 5e-6);
  EXPECT_NEAR(sigma50, 0.10380, 5e-6);
  constexpr std::size_t N = 100000;
  // A σ estimated from N samples scatters by σ/√(2N); 5 of those bound the tests.
  const double spread = 5 / std::sqrt(2.0 * N);

  auto b = OBBeam::beam();
  b->setPositionX(1.5);
  b->setPositionZ(-4);
  const auto atWaist = b->randomRaysWithCount(N);
  ASSERT_EQ(atWaist.size(), N);
  const Moments m = momentsOf(atWaist, 1.5);
  EXPECT_NEAR(m.sigmaX, w0 / 2, spread * w0 / 2);
  EXPECT_NEAR(m.sigmaY, w0 / 2, spread * w0 / 2);
  EXPECT_NEAR(m.meanX, 0, 5 * (w0 / 2) / std::sqrt(double(N)));
  EXPECT_NEAR(m.sigmaPx, theta, spread * theta);
  EXPECT_NEAR(m.sigmaPy, theta, spread * theta);
  for (const Ray& r : atWaist) {
    ASSERT_TRUE(r.isAlive());
    ASSERT_EQ(r.z(), -4);
    ASSERT_NEAR(r.px() * r.px() + r.py() * r.py() + r.pz() * r.pz(), 1, 1e-15);
  }

  b->setGaussianDistanceFromWaist(50);
  const Moments far = momentsOf(b->randomRaysWithCount(N), 1.5);
  EXPECT_NEAR(far.sigmaX, sigma50, spread * sigma50);
  EXPECT_NEAR(far.sigmaY, sigma50, spread * sigma50);
}

TEST_F(OBBeamTest, RaysCarryAWaveAtTheBeamsWavelength) {
  auto b = OBBeam::beam();
  for (double nm : {0.0, 1064.0}) {
    b->setWavelengthInNanometers(nm);
    const auto rays = b->randomRaysWithCount(3);
    ASSERT_EQ(rays.size(), 3u);
    ASSERT_TRUE(rays[0].wave());
    EXPECT_DOUBLE_EQ(rays[0].wave()->wavelengthInNanometers(), nm == 0 ? 633 : nm);
  }
  // M² widens the angular spread in proportion.
  b->setEmSquared(4);
  EXPECT_NEAR(b->angularSpread(), 4 * 1064e-6 / (2 * std::numbers::pi * 0.05), 1e-15);
}

TEST_F(OBBeamTest, TooDivergentABeamIsRefused) {
  auto b = OBBeam::beam();
  b->setGaussianWaistRadius(1e-4);  // θ ≈ 1.007 > 0.5
  support::expectRaises([&] { b->randomRaysWithCount(10); }, "OBException", "beam divergence too large");
  b->setGaussianWaistRadius(0);
  support::expectRaises([&] { b->randomRaysWithCount(10); }, "OBException", "beam divergence too large");
  // In glass of index 3 the same θ is allowed (θ ≤ n/2).
  b->setGaussianWaistRadius(1e-4);
  b->setIndexOfRefraction(3);
  EXPECT_EQ(b->randomRaysWithCount(10).size(), 10u);
}

TEST_F(OBBeamTest, CopyAndArchiveKeepEveryField) {
  auto b = OBBeam::beam();
  b->setName("probe");
  b->setPositionX(1), b->setPositionY(-2), b->setPositionZ(3);
  b->setWavelengthInNanometers(850);
  b->setGaussianWaistRadius(0.2);
  b->setGaussianDistanceFromWaist(7);
  b->setIndexOfRefraction(1.33);
  b->setEmSquared(1.7);
  b->setIsVariable("positionY", true);
  auto check = [&](const OBBeam& c) {
    EXPECT_EQ(c.name(), "probe");
    EXPECT_EQ(c.positionX(), 1);
    EXPECT_EQ(c.positionY(), -2);
    EXPECT_EQ(c.positionZ(), 3);
    EXPECT_EQ(c.wavelengthInNanometers(), 850);
    EXPECT_EQ(c.gaussianWaistRadius(), 0.2);
    EXPECT_EQ(c.gaussianDistanceFromWaist(), 7);
    EXPECT_EQ(c.indexOfRefraction(), 1.33);
    EXPECT_EQ(c.emSquared(), 1.7);
    EXPECT_EQ(c.keyPathsForVariables(), std::vector<std::string>{"positionY"});
  };
  auto c = b->copy();
  check(*c);
  EXPECT_EQ(c->colorNumber(), b->colorNumber());

  // Archived with the lens that holds it.
  auto l = lens::Lens::create();
  l->insertObjectInBeamArrayAtIndex(b, 0);
  const auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(l));
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<lens::Lens>();
  ASSERT_TRUE(back);
  ASSERT_EQ(back->countOfBeamArray(), 1u);
  auto decoded = std::dynamic_pointer_cast<OBBeam>(back->objectInBeamArrayAtIndex(0));
  ASSERT_TRUE(decoded);
  check(*decoded);
}

TEST_F(OBBeamTest, GaussianDeviateHasUnitVarianceAndNoSkew) {
  constexpr int N = 200000;
  double s = 0, ss = 0, s3 = 0;
  for (int i = 0; i < N; ++i) {
    const double g = gaussianDeviate();
    s += g, ss += g * g, s3 += g * g * g;
  }
  EXPECT_NEAR(s / N, 0, 5 / std::sqrt(double(N)));
  EXPECT_NEAR(ss / N, 1, 5 * std::sqrt(2.0 / N));
  EXPECT_NEAR(s3 / N, 0, 5 * std::sqrt(15.0 / N));
}

}  // namespace
}  // namespace orb::tracing
