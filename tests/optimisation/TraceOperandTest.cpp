#include "optimisation/MeritoidTrace.h"

#include <gtest/gtest.h>

#include <cmath>

#include "OptimisationTestSupport.h"
#include "RayAnalysisTestSupport.h"

namespace orb::optimisation {
namespace {

LensPtr defocusedParaboloid(double defocus) {
  auto lens = analysis::testing::mirrorLens(-200, -1);
  lens->surfaceArray()[1]->setThickness(-100 + defocus);
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

TEST(TraceOperandTest, MarginalRayHeightOnADefocusedParaboloid) {
  auto m = Meritoid::make<MeritoidTrace>();
  EXPECT_EQ(m->valueKey(), "x");
  EXPECT_EQ(m->wavelengthInNanometers(), 633);
  EXPECT_FALSE(m->isDimensionless());
  m->setIdentifier("Ray Trace Result");
  m->setPupilY(1);
  m->setValueKey("y");
  m->setLens(defocusedParaboloid(1.0));
  m->evaluate();
  EXPECT_EQ(m->message(), "");
  // The ray from pupil height 10 crosses the axis at the focus and lands
  // 1 · 10 / (100 − 10²/400) away on a plane 1 mm beyond it.
  EXPECT_NEAR(std::abs(m->value()), 10 / (100 - 100.0 / 400), 1e-9);
  m->setPupilY(0);
  m->evaluate();
  EXPECT_NEAR(m->value(), 0, 1e-12);
}

TEST(TraceOperandTest, SpecifiersLabelsAndUnits) {
  auto m = Meritoid::make<MeritoidTrace>();
  m->setFieldSpecifier("tangent");
  EXPECT_EQ(m->fieldLabelX(), "ux");
  EXPECT_EQ(m->fieldLabelY(), "uy");
  EXPECT_TRUE(m->fieldIsMomentum());
  m->setPupilSpecificationTag(1);
  EXPECT_EQ(m->pupilSpecifier(), "pstop");
  EXPECT_EQ(m->pupilLabelX(), "qx");
  m->setPupilSpecificationTag(9);
  EXPECT_EQ(m->pupilSpecificationTag(), -1);
  m->setValueKey("px");
  EXPECT_TRUE(m->isDimensionless());
  EXPECT_EQ(m->possibleUnits(), std::vector<std::string>{""});
  EXPECT_EQ(m->displayUnits(), "");
}

TEST(TraceOperandTest, AnUnknownKeyIsNaNWithAMessage) {
  auto m = Meritoid::make<MeritoidTrace>();
  m->setValueKey("nonsense");
  m->setLens(defocusedParaboloid(0));
  m->evaluate();
  EXPECT_EQ(m->message(), "Invalid key path");
  EXPECT_TRUE(std::isnan(m->value()));
}

TEST(TraceOperandTest, TransferMatrixElementsOfTheAxialRay) {
  // The plano-convex singlet: front power φ = (n − 1)c = 0.01 mm⁻¹ (n = 1.5168 at the d
  // line), 4 mm of glass, a flat back, 97 mm of air to the image. "M" maps start
  // displacements to end ones, row first, so "M.xx" is ∂qx/∂qx₀: the image height of a
  // y–nu ray that starts at height 1 parallel to the axis. nu = −φ after the front,
  // y = 1 − 4φ/n after the glass, then y − 97φ: 0.03 − 0.04/n. "M.xy" = ∂qx/∂qy₀
  // couples x to y, which no rotationally symmetric lens does on its axis.
  const double n = testing::kModelIndex;
  const struct {
    const char* key;
    double expected;
  } cases[] = {{"M.xx", 1 - 4 * 0.01 / n - 97 * 0.01}, {"M.xy", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    auto m = Meritoid::make<MeritoidTrace>();
    m->setWavelengthInNanometers(587.56);
    m->setValueKey(c.key);
    EXPECT_TRUE(m->isDimensionless());
    m->setLens(testing::singletLens(testing::kFocus100Curvature, false));
    m->evaluate();
    EXPECT_EQ(m->message(), "");
    EXPECT_NEAR(m->value(), c.expected, 1e-9);
  }
}

}  // namespace
}  // namespace orb::optimisation
