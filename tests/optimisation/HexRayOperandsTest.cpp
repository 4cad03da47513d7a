#include "optimisation/MeritoidHexRays.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace orb::optimisation
