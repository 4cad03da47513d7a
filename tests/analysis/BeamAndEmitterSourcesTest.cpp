#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "RayAnalysisTestSupport.h"
#include "analysis/SpotDiagramCalculator.h"
#include "lens/ArchiveClasses.h"
#include "tracing/Emitters.h"
#include "tracing/OBBeam.h"

namespace orb::analysis {
namespace {

using testing::curvesNamed;
using testing::mirrorLens;
using testing::seriesOf;
using testing::Window;

double rms(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x * x;
  return std::sqrt(s / static_cast<double>(v.size()));
}

// A collimated Gaussian beam into a paraboloid (f = 100) focuses to the far field:
// σ at the focus = f·θ with θ = λ/(2π·w0), the beam's angular spread. The beam's rays are
// drawn in its own wavelength, whether or not the lens has a wave there.
TEST(BeamAndEmitterSourcesTest, BeamRaysAreTracedBesideTheBundleAndFocusToTheFarField) {
  for (double lensWave : {633.0, 587.5618}) {
    SCOPED_TRACE(lensWave);
    auto lens = mirrorLens(-200, -1);
    lens->waveArray()[0]->setWavelengthInNanometers(lensWave);
    auto beam = tracing::OBBeam::beam();
    beam->setGaussianWaistRadius(1.0);
    beam->setPositionZ(-10);
    lens->insertObjectInBeamArrayAtIndex(beam, 0);
    auto calculator = platform::makeObject<SpotDiagramCalculator>();
    calculator->setSourceType("Beam");
    constexpr std::uint64_t N = 20000;
    calculator->setBeamNumberOfRays(N);
    Window window(lens, calculator);
    ASSERT_TRUE(window.run());

    const auto others = calculator->otherRays();
    ASSERT_TRUE(others);
    ASSERT_EQ(others->size(), N);
    std::vector<double> xs;
    for (const tracing::Ray& r : *others) {
      ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
      ASSERT_EQ(r.tags().valueForKey("beam").objectIf<platform::Object>(), beam);
      ASSERT_DOUBLE_EQ(r.wave()->wavelengthInNanometers(), 633);
      xs.push_back(r.x());
    }
    const double theta = 633e-6 / (2 * std::numbers::pi * 1.0);
    EXPECT_NEAR(rms(xs), 100 * theta, 5 / std::sqrt(2.0 * N) * 100 * theta);

    const auto spots = curvesNamed(window.curves(), "");
    ASSERT_EQ(spots.size(), 1u);
    EXPECT_EQ(seriesOf(spots[0], plot::kXSeries).count(), N);
  }
}

TEST(BeamAndEmitterSourcesTest, EmitterRaysStartAtTheirSurface) {
  auto lens = mirrorLens(-200, -1);
  tracing::registerTracingClasses();
  // The image plane emits back towards the mirror; it is also the target, so its rays
  // end where they were born, tagged with their surface.
  auto emitter = lens->imageSurface();
  emitter->setSemidiameter(2);
  emitter->setEmissionType("Lambertian emission");
  ASSERT_TRUE(emitter->emission());
  emitter->emission()->setNumericalAperture(0.05);
  auto calculator = platform::makeObject<SpotDiagramCalculator>();
  calculator->setSourceType("Emitter");
  constexpr std::uint64_t N = 500;
  calculator->setEmissionNumberOfRays(N);
  Window window(lens, calculator);
  ASSERT_TRUE(window.run());
  const auto others = calculator->otherRays();
  ASSERT_TRUE(others);
  ASSERT_EQ(others->size(), N);
  for (const tracing::Ray& r : *others) {
    ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
    ASSERT_EQ(r.tags().valueForKey("emissionSurface").objectIf<platform::Object>(), emitter);
    ASSERT_LE(std::hypot(r.x(), r.y()), 2 + 1e-12);
    ASSERT_NEAR(r.z(), 0, 1e-9);  // the spot diagram reads rays in the surface's own frame
  }
}

}  // namespace
}  // namespace orb::analysis
