#include "optimisation/MeritoidIllumination.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "OptimisationTestSupport.h"

namespace orb::optimisation {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(AcceptanceOperandTest, FractionOfATriangleBelowTheCutoff) {
  struct Case {
    double a, b, c, t, expected;
  } cases[] = {
      {0.1, 0.2, 0.3, 0.23, 1 - 0.07 * 0.07 / (0.2 * 0.1)},
      {0.3, 0.1, 0.2, 0.15, 0.05 * 0.05 / (0.1 * 0.2)},
      {0.23, 0.23, 0.23, 0.23, 0},
      {0.1, 0.1, 0.1, 0.23, 1},
      {0.1, 0.1, 0.3, 0.2, 1 - 0.1 * 0.1 / (0.2 * 0.2)},  // two corners merged below
      {0.1, 0.3, 0.3, 0.2, 0.1 * 0.1 / (0.2 * 0.2)},      // two corners merged above
  };
  for (const auto& c : cases)
    EXPECT_NEAR(MeritoidAcceptance::acceptedFraction(c.a, c.b, c.c, c.t), c.expected, 1e-12)
        << c.a << " " << c.b << " " << c.c << " " << c.t;
  EXPECT_NEAR(MeritoidAcceptance::acceptedFraction(0.1, 0.2, 0.3, 0.23), 0.755, 1e-12);
}

TEST(AcceptanceOperandTest, OrdinatesChangeOnlyTheDisplay) {
  auto m = Meritoid::make<MeritoidAcceptance>();
  m->setValue(2 * kPi);
  m->setNeedsEvaluation(false);
  m->setOrdinate("Hemisphere fraction");
  EXPECT_DOUBLE_EQ(m->displayValue(), 1);
  m->setOrdinate("Sphere fraction");
  EXPECT_DOUBLE_EQ(m->displayValue(), 0.5);
  m->setOrdinate("Numerical aperture");
  EXPECT_NEAR(m->displayValue(), 1.0, 1e-12);  // the object-space index of air
  EXPECT_FALSE(m->needsEvaluation());
  // More is better: the residual is on the reciprocal.
  m->setOrdinate("Solid angle");
  m->setTolerance(2);
  EXPECT_NEAR(m->residual().asDouble(), 2 / (2 * kPi), 1e-12);
  m->setTarget(kPi);
  EXPECT_NEAR(m->residual().asDouble(), 2 * (1 / (2 * kPi) - 1 / kPi), 1e-12);
}

TEST(AcceptanceOperandTest, AcceptedPupilOfASinglet) {
  // Object at infinity: the agent samples the entrance pupil. Rays from pupil height h
  // leave a 100 mm singlet with transverse momentum close to h / √(h² + f²).
  auto lens = testing::singletLens(testing::kFocus100Curvature, false);
  auto m = Meritoid::make<MeritoidAcceptance>();
  m->setIdentifier("Acceptance");
  m->setCutoff(0.03);
  m->setInitialDepth(4);  // fine enough that the flat facets follow the circular rim
  m->setLens(lens);
  EXPECT_NEAR(m->wavelengthInNanometers(), 587.56, 1e-9);
  m->evaluate();
  EXPECT_EQ(m->message(), "");
  const double h = 100 * 0.03 / std::sqrt(1 - 0.03 * 0.03);
  EXPECT_NEAR(m->value(), kPi * h * h, 0.01 * kPi * h * h);
}

TEST(EmitterEfficiencyOperandTest, LensWithoutEmittersHasNoSuchEmitter) {
  auto m = Meritoid::make<MeritoidEmitterEfficiency>();
  EXPECT_TRUE(m->isDimensionless());
  EXPECT_EQ(m->target(), 1);
  auto lens = testing::singletLens(0.01, false);
  m->setLens(lens);
  EXPECT_EQ(m->emitterNumber(), 0);
  EXPECT_TRUE(m->possibleEmitterNumbers().empty());
  m->evaluate();
  EXPECT_EQ(m->message(), "No such emitter");
  EXPECT_TRUE(std::isnan(m->value()));
  // 250 of 1000 rays: efficiency 0.25 and, with target 1 and tolerance 1, ½ · 0.75².
  m->setValue(0.25);
  EXPECT_DOUBLE_EQ(m->contribution(), 0.28125);
}

}  // namespace
}  // namespace orb::optimisation
