#include "tracing/Emitters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "LensFixture.h"
#include "foundation/minimise/MersenneTwister.h"
#include "lens/ArchiveClasses.h"
#include "lens/CircularAperture.h"
#include "lens/Wave.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "tracing/OBBeam.h"
#include "tracing/RayBundle.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

using foundation::XYZ;

class EmittersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lens::registerArchiveClasses();
    registerTracingClasses();
  }

  // Object, a plane at z = 0 with a pinhole, the emitting plane at z = 5 (semidiameter 1),
  // the image plane at z = 15.
  std::shared_ptr<lens::Lens> emitterLens(const std::string& type) {
    auto l = testing::makeLens({{0, 10}, {0, 5, nullptr, true}, {0, 10}, {0, 0}});
    auto pinhole = platform::makeObject<lens::CircularAperture>();
    pinhole->setRMax(0.01);
    l->surfaceArray()[1]->setAperture(pinhole);
    auto& emitter = *l->surfaceArray()[2];
    emitter.setSemidiameter(1);
    emitter.setEmissionType(type);
    return l;
  }

  // A Lambertian point source on the object plane (finite object distance 10) and a plane
  // 10 further whose circular aperture of radius 10·tan θ accepts half-angle θ; the image
  // plane 10 beyond.
  std::shared_ptr<lens::Lens> objectSourceLens(double halfAngleDegrees) {
    auto l = testing::makeLens({{0, 10}, {0, 10}, {0, 0}});
    auto& object = *l->surfaceArray()[0];
    object.setSemidiameter(0);  // every ray starts on the axis
    object.setEmissionType("Lambertian emission");
    auto stop = platform::makeObject<lens::CircularAperture>();
    stop->setRMax(10 * std::tan(halfAngleDegrees * std::numbers::pi / 180));
    l->surfaceArray()[1]->setAperture(stop);
    return l;
  }
  static const RayEmission& emissionOf(const lens::Lens& l) {
    return dynamic_cast<const RayEmission&>(*l.surfaceArray().front()->emission());
  }
};

TEST_F(EmittersTest, BothTypesAreRegisteredInOrder) {
  EXPECT_EQ(lens::Emission::emissionTypes(), (std::vector<std::string>{"Lambertian emission", "Diode bar emission"}));
  auto sld = lens::Emission::emissionOfType("Diode bar emission");
  ASSERT_TRUE(std::dynamic_pointer_cast<SLDEmission>(sld));
  EXPECT_EQ(sld->emissionType(), "Diode bar emission");
  EXPECT_EQ(sld->sheetNibName(), "_SLDEmission");
  auto lambertian = lens::Emission::emissionOfType("Lambertian emission");
  ASSERT_TRUE(std::dynamic_pointer_cast<LambertianEmission>(lambertian));
  EXPECT_EQ(lambertian->sheetNibName(), "_LambertianEmission");
  EXPECT_EQ(lens::Emission::emissionOfType("Laser emission"), nullptr);
}

TEST_F(EmittersTest, DiodeBarCopiesAndTexts) {
  auto sld = std::static_pointer_cast<SLDEmission>(lens::Emission::emissionOfType("Diode bar emission"));
  EXPECT_EQ(sld->wpx(), 0.2);
  EXPECT_EQ(sld->wpy(), 0.1);
  sld->setWx(0.003), sld->setWy(0.1), sld->setWpx(0.3), sld->setWpy(0.05), sld->setBandwidthInNanometers(2);
  auto copy = std::dynamic_pointer_cast<SLDEmission>(sld->copy());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->wx(), 0.003);
  EXPECT_EQ(copy->wy(), 0.1);
  EXPECT_EQ(copy->wpx(), 0.3);
  EXPECT_EQ(copy->wpy(), 0.05);
  EXPECT_EQ(copy->surface(), nullptr);
  EXPECT_EQ(sld->emissionDescription(), "wavelength 532+/-2nm");
}

// A diode bar on a surface survives keyed archiving of the surface: its class, wavelength,
// numerical aperture and the four widths.
TEST_F(EmittersTest, DiodeBarSurvivesArchiving) {
  auto surface = lens::Surface::create();
  surface->setEmissionType("Diode bar emission");
  auto sld = std::dynamic_pointer_cast<SLDEmission>(surface->emission());
  ASSERT_TRUE(sld);
  sld->setWavelengthInNanometers(808);
  sld->setNumericalAperture(0.45);
  sld->setWx(0.003), sld->setWy(0.9), sld->setWpx(0.35), sld->setWpy(0.07);
  const auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{surface});
  auto back = std::dynamic_pointer_cast<lens::Surface>(
      platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray()[0].asObject());
  ASSERT_TRUE(back);
  auto decoded = std::dynamic_pointer_cast<SLDEmission>(back->emission());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->emissionType(), "Diode bar emission");
  EXPECT_EQ(decoded->wavelengthInNanometers(), 808);
  EXPECT_EQ(decoded->numericalAperture(), 0.45);
  EXPECT_EQ(decoded->wx(), 0.003);
  EXPECT_EQ(decoded->wy(), 0.9);
  EXPECT_EQ(decoded->wpx(), 0.35);
  EXPECT_EQ(decoded->wpy(), 0.07);
  EXPECT_EQ(decoded->surface().get(), back.get());
}

TEST_F(EmittersTest, LambertianRadianceFollowsTheCosineWithinTheNumericalAperture) {
  auto l = emitterLens("Lambertian emission");
  auto& surface = *l->surfaceArray()[2];
  auto emission = std::dynamic_pointer_cast<RayEmission>(surface.emission());
  ASSERT_TRUE(emission);
  const double na = 0.1;
  emission->setNumericalAperture(na);
  constexpr std::size_t N = 200000;
  const auto rays = emission->randomRaysWithCount(N);
  ASSERT_EQ(rays.size(), N);
  // Radiant intensity ∝ cos θ: dP ∝ cos θ sin θ dθ, so P(θ ≤ t) = sin²t / NA².
  constexpr int kBins = 10;
  const double thetaMax = std::asin(na);
  int counts[kBins] = {};
  for (const Ray& r : rays) {
    const double transverse = std::hypot(r.px(), r.py());
    ASSERT_LE(transverse, na);
    ASSERT_GT(r.pz(), 0);
    ASSERT_NEAR(r.z(), 5, 1e-12);
    ASSERT_LE(std::hypot(r.x(), r.y()), 1.0);
    const double theta = std::atan2(transverse, r.pz());
    ++counts[std::min(kBins - 1, static_cast<int>(theta / thetaMax * kBins))];
  }
  for (int k = 0; k < kBins; ++k) {
    const double s1 = std::sin(thetaMax * k / kBins), s2 = std::sin(thetaMax * (k + 1) / kBins);
    const double p = (s2 * s2 - s1 * s1) / (na * na);
    const double expected = N * p, sd = std::sqrt(N * p * (1 - p));
    EXPECT_NEAR(counts[k], expected, 5 * sd) << "bin " << k;
  }
}

TEST_F(EmittersTest, NumericalApertureIsCappedAtTheIndex) {
  auto l = emitterLens("Lambertian emission");
  auto emission = std::dynamic_pointer_cast<RayEmission>(l->surfaceArray()[2]->emission());
  emission->setNumericalAperture(2);
  double largest = 0;
  for (const Ray& r : emission->randomRaysWithCount(20000)) {
    largest = std::max(largest, std::hypot(r.px(), r.py()));
    ASSERT_NEAR(r.px() * r.px() + r.py() * r.py() + r.pz() * r.pz(), 1, 1e-12);
  }
  EXPECT_LE(largest, 1.0);
  EXPECT_GT(largest, 0.99);
  EXPECT_TRUE(emission->randomRaysWithCount(0).empty());
}

TEST_F(EmittersTest, RaysAreBornDeadWithTheirSurfaceAndWave) {
  auto l = emitterLens("Lambertian emission");
  auto& surface = *l->surfaceArray()[2];
  auto emission = std::dynamic_pointer_cast<RayEmission>(surface.emission());
  emission->setWavelengthInNanometers(905);
  for (const Ray& r : emission->randomRaysWithCount(50)) {
    EXPECT_FALSE(r.isAlive());
    EXPECT_EQ(r.emitter(), &surface);
    ASSERT_TRUE(r.wave());
    EXPECT_DOUBLE_EQ(r.wave()->wavelengthInNanometers(), 905);
  }
  // Behind a mirror the surface's space runs backwards: the rays leave towards −z.
  surface.setReflected(true);
  for (const Ray& r : emission->randomRaysWithCount(50)) EXPECT_LT(r.pz(), 0);
}

TEST_F(EmittersTest, DiodeBarWithoutWidthsEmitsFromTheApertureDecentre) {
  auto l = emitterLens("Diode bar emission");
  auto& surface = *l->surfaceArray()[2];
  auto aperture = platform::makeObject<lens::CircularAperture>();
  aperture->setRMax(1);
  aperture->setDecenterX(0.3);
  aperture->setDecenterY(-0.2);
  surface.setAperture(aperture);
  auto emission = std::dynamic_pointer_cast<RayEmission>(surface.emission());
  for (const Ray& r : emission->randomRaysWithCount(100)) {
    EXPECT_DOUBLE_EQ(r.x(), 0.3);
    EXPECT_DOUBLE_EQ(r.y(), -0.2);
    EXPECT_LE(std::abs(r.py()), 0.1);
  }
}

TEST_F(EmittersTest, TheDriverRevivesRaysOnlyAtTheirSurface) {
  auto l = emitterLens("Lambertian emission");
  auto& surface = *l->surfaceArray()[2];
  auto emission = std::dynamic_pointer_cast<RayEmission>(surface.emission());
  emission->setNumericalAperture(0.1);
  auto rays = emission->randomRaysWithCount(500);
  const auto start = rays;
  traceRays(*l, std::span<Ray>(rays));
  for (std::size_t i = 0; i < rays.size(); ++i) {
    // The pinhole before the emitter never saw them; straight on to the image 10 further.
    ASSERT_TRUE(rays[i].isAlive()) << rays[i].tags().causeOfDeath;
    const Ray& s = start[i];
    EXPECT_NEAR(rays[i].x(), s.x() + 10 * s.px() / s.pz(), 1e-9);
    EXPECT_NEAR(rays[i].y(), s.y() + 10 * s.py() / s.pz(), 1e-9);
    EXPECT_NEAR(rays[i].z(), 15, 1e-9);
  }
}

TEST_F(EmittersTest, AnObjectPlaneSourcePassesTheLambertianFractionOfItsFlux) {
  // Radiant intensity ∝ cos θ over the hemisphere (NA 1 in air): the fraction within
  // half-angle θ is ∫₀^θ cos t sin t dt / ∫₀^{π/2} cos t sin t dt = sin²θ. The sequence is
  // seeded, so the counts are fixed; the tolerance is 5 binomial standard deviations,
  // √(p(1 − p)/N).
  foundation::mersenneTwisterSeed(4357);
  constexpr std::size_t N = 100000;
  for (double degrees : {10.0, 30.0, 60.0}) {
    SCOPED_TRACE(degrees);
    auto l = objectSourceLens(degrees);
    auto rays = emissionOf(*l).randomRaysWithCount(N);
    ASSERT_EQ(rays.size(), N);
    traceRays(*l, std::span<Ray>(rays));
    std::size_t passed = 0;
    for (const Ray& r : rays) passed += r.isAlive();
    const double s = std::sin(degrees * std::numbers::pi / 180), p = s * s;
    EXPECT_NEAR(static_cast<double>(passed) / N, p, 5 * std::sqrt(p * (1 - p) / N));
  }
}

TEST_F(EmittersTest, AnObjectPlaneSourceTracesAlikeInEveryPath) {
  // The span trace (emitters go ray by ray), one ray at a time, and a bundle of the same
  // rays alive from the start (the column trace of object rays) end alike.
  foundation::mersenneTwisterSeed(4357);
  auto l = objectSourceLens(30);
  const auto start = emissionOf(*l).randomRaysWithCount(2000);
  auto spanned = start;
  traceRays(*l, std::span<Ray>(spanned));
  RayBundle bundle;
  for (Ray r : start) {
    r.setIsAlive(true);
    bundle.append(r);
  }
  traceRays(*l, bundle);
  std::size_t alive = 0;
  for (std::size_t i = 0; i < start.size(); ++i) {
    Ray single = start[i];
    traceRay(*l, single);
    const Ray bulk = bundle.ray(i);
    ASSERT_EQ(spanned[i].isAlive(), single.isAlive()) << i;
    ASSERT_EQ(spanned[i].isAlive(), bulk.isAlive()) << i;
    alive += single.isAlive();
    if (!single.isAlive()) continue;
    EXPECT_EQ(spanned[i].position(), single.position());
    EXPECT_NEAR(single.x(), bulk.x(), 1e-12);
    EXPECT_NEAR(single.y(), bulk.y(), 1e-12);
    EXPECT_NEAR(single.z(), 10, 1e-12);
    EXPECT_NEAR(bulk.z(), 10, 1e-12);
  }
  EXPECT_GT(alive, 0u);
  EXPECT_LT(alive, start.size());
  // The trajectory begins on the emitting object surface.
  Ray traced = start.front();
  traced.enableTrajectory();
  traceRay(*l, traced);
  ASSERT_FALSE(traced.trajectory()->empty());
  EXPECT_EQ(traced.trajectory()->front().surface, l->surfaceArray().front().get());
}

}  // namespace
}  // namespace orb::tracing
