#include "optimisation/MeritoidHexRays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "OptimisationTestSupport.h"
#include "RayAnalysisTestSupport.h"
#include "lens/CircularAperture.h"
#include "optimisation/MeritFunction.h"
#include "tracing/PupilPatterns.h"

namespace orb::optimisation {
namespace {

constexpr double kFocal = 100;  // of the paraboloid of radius 200
constexpr double kPupilRadius = 10;

/// A paraboloid focuses every axial ray at its focus, so an image plane `defocus` away
/// meets the ray from pupil height h at radius defocus · h / (f − h²/4f): the axial
/// distance from the mirror point to the focus is f less the sag h²/4f.
struct Expected {
  double rmsX, rmsY, rmsR;
};
Expected closedFormSpot(double defocus, std::uint32_t rays) {
  const auto points = tracing::pupil::hexapolarArrayOfPointsInUnitCircle(rays);
  double sx = 0, sy = 0;
  for (const auto& p : points) {
    const double hx = kPupilRadius * p.x, hy = kPupilRadius * p.y, h2 = hx * hx + hy * hy;
    const double k = defocus / (kFocal - h2 / (4 * kFocal));
    sx += k * hx * k * hx;
    sy += k * hy * k * hy;
  }
  const double n = static_cast<double>(points.size());
  return {std::sqrt(sx / n), std::sqrt(sy / n), std::sqrt((sx + sy) / n)};
}

LensPtr defocusedParaboloid(double defocus) {
  auto lens = analysis::testing::mirrorLens(-200, -1);
  lens->surfaceArray()[1]->setThickness(-kFocal + defocus);
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

std::shared_ptr<MeritoidRMS> spotOperand(const std::string& direction, double target = 0) {
  auto m = Meritoid::make<MeritoidRMS>();
  m->setIdentifier("RMS Spot Size");
  m->setMonochromatic(true);
  m->setAnalysisDirection(direction);
  m->setTarget(target);
  return m;
}

TEST(RMSSpotOperandTest, DefocusedParaboloidMatchesTheClosedForm) {
  auto lens = defocusedParaboloid(1.0);
  const Expected expected = closedFormSpot(1.0, 127);
  for (const auto& [direction, rms] :
       {std::pair{"x", expected.rmsX}, std::pair{"y", expected.rmsY}, std::pair{"r", expected.rmsR}}) {
    auto m = spotOperand(direction);
    m->setLens(lens);
    m->evaluate();
    EXPECT_EQ(m->message(), "") << direction;
    EXPECT_NEAR(m->value(), rms, 1e-9) << direction;           // mm
    EXPECT_NEAR(m->displayValue(), 1000 * rms, 1e-6) << direction;  // µm
  }
  EXPECT_NEAR(expected.rmsR * expected.rmsR, expected.rmsX * expected.rmsX + expected.rmsY * expected.rmsY, 1e-15);
}

TEST(RMSSpotOperandTest, ResidualsPerRayReduceToTheRMS) {
  auto lens = defocusedParaboloid(1.0);
  auto perRay = spotOperand("r", 0);
  auto single = spotOperand("r", 50);
  for (const auto& m : {perRay, single}) {
    m->setLens(lens);
    m->evaluate();
  }
  EXPECT_DOUBLE_EQ(perRay->displayValue(), single->displayValue());
  const auto r = perRay->residuals();
  ASSERT_EQ(r.size(), 2u * 127u);  // x and y of every ray
  EXPECT_TRUE(perRay->residual().isArray());
  // Tolerance 1 µm: half the sum of squares is half the squared RMS in µm.
  EXPECT_NEAR(perRay->contribution(), 0.5 * perRay->displayValue() * perRay->displayValue(), 1e-6);
  EXPECT_NEAR(single->residual().asDouble(), (single->displayValue() - 50) / 1.0, 1e-9);

  auto f = MeritFunction::create();
  f->addMeritoid(perRay);
  f->setLens(lens);
  f->evaluate();
  EXPECT_EQ(f->residuals().size(), 254u);
}

TEST(RMSSpotOperandTest, VignettingKeepsTheResidualCountAndTotalLossFails) {
  auto lens = defocusedParaboloid(1.0);
  auto m = spotOperand("r");
  m->setLens(lens);
  m->evaluate();
  const std::size_t count = m->residuals().size();
  lens->surfaceArray()[1]->setAperture(lens::CircularAperture::annulusWithMinRadius(5, 30));
  m->setLens(lens);
  m->evaluate();
  EXPECT_EQ(m->residuals().size(), count);
  EXPECT_TRUE(std::isfinite(m->value()));
  lens->surfaceArray()[1]->setAperture(lens::CircularAperture::annulusWithMinRadius(20, 30));
  m->setLens(lens);
  m->evaluate();
  EXPECT_TRUE(std::isnan(m->value()));
  EXPECT_EQ(m->message(), "No live rays");
  EXPECT_EQ(m->residuals().size(), count);
  EXPECT_TRUE(std::isnan(m->contribution()));
}

TEST(RMSSpotOperandTest, RayCountRoundsToWholeRings) {
  auto m = spotOperand("r");
  m->setNumberOfRaysQuantum(6);
  EXPECT_EQ(m->numberOfRays(), 127u);
  m->setNumberOfRays(100);
  EXPECT_EQ(m->numberOfRaysQuantum(), 6u);
  m->setLens(defocusedParaboloid(0.5));
  m->evaluate();
  EXPECT_EQ(m->residuals().size(), 2u * 127u);
  EXPECT_EQ(m->displayIdentifier(), "RMS Spot Size r");
}

TEST(RMSOPDOperandTest, PerfectFocusHasNoPathDifference) {
  auto lens = defocusedParaboloid(0);
  auto m = Meritoid::make<MeritoidRMSOPD>();
  m->setIdentifier("RMS Optical Path Difference");
  m->setMonochromatic(true);
  m->setLens(lens);
  m->evaluate();
  EXPECT_EQ(m->message(), "");
  EXPECT_NEAR(m->value(), 0, 1e-9);
  EXPECT_EQ(m->wavelengthInNanometers(), 587.56);  // taken from the lens
  auto blurred = m->clone();
  blurred->setLens(defocusedParaboloid(1.0));
  blurred->evaluate();
  EXPECT_GT(blurred->value(), 1e-5);
}

/// The paraboloid of radius 200 with its pupil centre stopped on the mirror (`aperture`),
/// as a Cassegrain's secondary shadows its primary.
struct ObscuredCase {
  const char* name;
  std::function<std::shared_ptr<lens::Aperture>()> aperture;
  bool measured;  // the chief ray is stopped by a central obscuration only
};

/// The exact wavefront of the paraboloid seen from a plane `defocus` before its focus F
/// (towards the mirror), for the hexapolar rays outside pupil radius `eps`: a ray from
/// pupil height h meets F at θ from the axis with tan(θ/2) = h/2f. The reference sphere,
/// centred on the axis at S = F − defocus (the centroid, by symmetry), passes through the
/// exit-pupil centre at the mirror vertex, radius R = f − defocus. Going back from F
/// along the ray a distance s to that sphere: s² − 2·defocus·cosθ·s + defocus² − R² = 0,
/// so s = defocus·cosθ + √(R² − defocus²·sin²θ), and the chief ray's s is f. The OPD is
/// s − f; its RMS over the rays (no piston removed) and its spread about the mean.
struct Wavefront {
  double rms, spread;
  std::size_t rays;
};
Wavefront obscuredParaboloidWavefront(double defocus, double eps, std::uint32_t rays) {
  const double R = kFocal - defocus;
  std::vector<double> w;
  for (const auto& p : tracing::pupil::hexapolarArrayOfPointsInUnitCircle(rays)) {
    const double rho = std::hypot(p.x, p.y);
    if (rho <= eps) continue;
    const double theta = 2 * std::atan(kPupilRadius * rho / (2 * kFocal));
    w.push_back(defocus * std::cos(theta) + std::sqrt(R * R - defocus * defocus * std::pow(std::sin(theta), 2)) -
                kFocal);
  }
  const double n = static_cast<double>(w.size());
  double sum = 0, sumSquares = 0;
  for (double v : w) sum += v, sumSquares += v * v;
  return {std::sqrt(sumSquares / n), std::sqrt(sumSquares / n - (sum / n) * (sum / n)), w.size()};
}

TEST(RMSOPDOperandTest, ObscuredPupilIsMeasuredAgainstTheUnobscuredChiefRay) {
  constexpr double kEps = 0.4;  // obscuration ratio: 4 mm of the 10 mm pupil radius
  constexpr std::uint64_t kRings = 20;
  const std::vector<ObscuredCase> cases{
      {"central-obscuration", [] { return lens::CircularObscuration::annulusWithMinRadius(0, kEps * kPupilRadius); },
       true},
      {"annular-clear-aperture", [] { return lens::CircularAperture::annulusWithMinRadius(kEps * kPupilRadius, 30); },
       true},
      // A clear aperture that misses the pupil centre still stops the reference.
      {"decentred-clear-aperture",
       [] {
         auto a = lens::CircularAperture::annulusWithMinRadius(0, 4);
         a->setDecenterY(6);
         return a;
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (double defocus : {0.0, 0.5}) {
      SCOPED_TRACE(defocus);
      auto lens = defocusedParaboloid(defocus);
      lens->surfaceArray()[1]->setAperture(c.aperture());
      auto m = Meritoid::make<MeritoidRMSOPD>();
      m->setIdentifier("RMS Optical Path Difference");
      m->setMonochromatic(true);
      m->setNumberOfRaysQuantum(kRings);
      m->setLens(lens);
      m->evaluate();
      if (!c.measured) {
        EXPECT_EQ(m->message(), "No live rays");
        EXPECT_TRUE(std::isnan(m->value()));
        continue;
      }
      ASSERT_EQ(m->message(), "");
      const auto rays = static_cast<std::uint32_t>(m->numberOfRays());
      const Wavefront exact = obscuredParaboloidWavefront(defocus, kEps, rays);
      EXPECT_EQ(m->entries().size(), rays);  // the stopped rays keep their slots
      EXPECT_NEAR(m->value(), exact.rms, 1e-7 + 1e-5 * exact.rms);  // mm
      if (defocus == 0) continue;
      // Against the annulus's pure defocus W(ρ) = W020 ρ², W020 = δ·NA²/2 (NA = 10/100):
      // RMS W020·√⟨ρ⁴⟩ = W020·√((1 + ε² + ε⁴)/3) about the chief ray, and
      // W020·(1 − ε²)/√12 about the mean; 3 % covers the rings' sampling of the annulus
      // and the higher orders of the exact wavefront.
      const double w020 = defocus * 0.1 * 0.1 / 2;
      EXPECT_NEAR(m->value(), w020 * std::sqrt((1 + kEps * kEps + std::pow(kEps, 4)) / 3), 0.03 * m->value());
      double sum = 0, sumSquares = 0;
      for (double v : m->entries()) sum += v, sumSquares += v * v;
      const double n = static_cast<double>(exact.rays);
      EXPECT_NEAR(std::sqrt(sumSquares / n - (sum / n) * (sum / n)), w020 * (1 - kEps * kEps) / std::sqrt(12.0),
                  0.03 * exact.spread);
    }
  }
}

}  // namespace
}  // namespace orb::optimisation
