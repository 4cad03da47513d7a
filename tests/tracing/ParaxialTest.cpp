#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "lens/CoordinateBreak.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "platform/Exception.h"
#include "platform/RunLoop.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/Regeneration.h"
#include "tracing/SeidelAnalysis.h"
#include "tracing/TraditionalParaxial.h"
#include "ParaxialLens.h"

namespace orb::tracing {
namespace {

using paraxialtest::kInf;
using paraxialtest::makeLens;
using paraxialtest::Spec;

double paraxial(const lens::Lens& l, const char* key) { return numberForKey(l.paraxialData(), key).value_or(NAN); }

void addFieldAngle(lens::Lens& l, double degrees) {
  auto field = lens::Field::field();
  field->setY(degrees);
  l.insertObjectInFieldArrayAtIndex(field, 1);
}

const double kTan10 = std::tan(10 * M_PI / 180);

class ParaxialTest : public ::testing::Test {
 protected:
  void SetUp() override { registerSystemGenerator(); }
  void TearDown() override {
    lens::Lens::setSystemGenerator(nullptr);
    platform::RunLoop::main().runUntilIdle();
  }
};

// Thick-lens values worked by hand: f = 1/φ, φ = φ1 + φ2 − φ1φ2 t/n; BFL = f(1 − φ1 t/n).
TEST_F(ParaxialTest, SingletsMatchThickLensFormulas) {
  const double n = 1.5168;
  struct Case {
    const char* name;
    std::vector<Spec> specs;
    double efl, bfl, petzval;
  };
  const std::vector<Case> cases{
      {"plano-convex", {{0, kInf}, {51.68, 4, n, true}, {0, 97.3629}, {0, 0}}, 100.000, 97.3629, NAN},
      {"convex-plano", {{0, kInf}, {0, 4, n, true}, {-51.68, 100}, {0, 0}}, 100.000, 100.000, NAN},
      {"equiconvex", {{0, kInf}, {50, 5, n, true}, {-50, 47.5362}, {0, 0}}, 49.2130, 47.5362, 0.013629},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto lens = makeLens(c.specs);
    auto field = lens::Field::field();
    field->setY(5);  // the Petzval sum needs a Lagrange invariant
    lens->insertObjectInFieldArrayAtIndex(field, 1);
    generateSystemFromParaxialSpecification(*lens);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    EXPECT_NEAR(paraxial(*lens, "focalLength"), c.efl, 5e-4);
    EXPECT_NEAR(backFocalLength(*lens), c.bfl, 5e-5);
    EXPECT_NEAR(measureFocalLengthTraditional(*lens), c.efl, 5e-4);
    if (!std::isnan(c.petzval)) {
      EXPECT_NEAR(std::abs(seidelSums(*lens).petzvalSum()), c.petzval, 5e-7);
    }
  }
}

// The framed measurement must agree with the y-nu trace on every cardinal entry, in air
// and with the object immersed (n₀ = 1.6), where momentum and slope differ by n₀.
TEST_F(ParaxialTest, FramedAndTraditionalCardinalPointsAgree) {
  for (double n0 : {1.0, 1.6}) {
    SCOPED_TRACE(n0);
    auto lens = makeLens({{0, 30, n0}, {40, 6, 1.7}, {-60, 3}, {0, 2, 1.5, true}, {0, 40}, {0, 0}});
    generateSystemFromParaxialSpecification(*lens);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    const platform::Dictionary framed = lens->cardinalData();
    const platform::Dictionary traditional = cardinalDataTraditional(*lens);
    ASSERT_EQ(framed.size(), 13u);
    for (const auto& [key, value] : traditional) {
      SCOPED_TRACE(key.description());
      EXPECT_NEAR(framed.get(key).asDouble(), value.asDouble(), 1e-9 * (1 + std::abs(value.asDouble())));
    }
    const platform::Dictionary stop = lens->stopTransferMatrix();
    for (const auto& [key, value] : stopTransferMatrixTraditional(*lens)) {
      SCOPED_TRACE(key.description());
      EXPECT_NEAR(stop.get(key).asDouble(), value.asDouble(), 1e-9 * (1 + std::abs(value.asDouble())));
    }
    EXPECT_NEAR(paraxial(*lens, "entrancePupilLocation"), measureEntrancePupilLocationTraditional(*lens), 1e-9);
    EXPECT_NEAR(paraxial(*lens, "magnification"), measureMagnificationTraditional(*lens), 1e-9);
    EXPECT_NEAR(paraxial(*lens, "exitPupilLocation"), measureExitPupilLocationTraditional(*lens), 1e-9);
  }
}

TEST_F(ParaxialTest, ImageSpaceFocalRatioGivesPupilAndAperture) {
  // f = 100 plano-convex; F/2 at infinity: EPD = f/F = 50, NA' = 1/(2F) = 0.25.
  auto lens = makeLens({{0, kInf}, {51.68, 4, 1.5168, true}, {0, 97.3629}, {0, 0}});
  lens->setSourceDivergenceType(4);
  lens->setSourceDivergenceValue(2);
  generateSystemFromParaxialSpecification(*lens);
  EXPECT_NEAR(paraxial(*lens, "entrancePupilDiameter"), 50, 1e-3);
  EXPECT_NEAR(paraxial(*lens, "imageSpaceNumericalAperture"), 0.25, 1e-12);
  EXPECT_NEAR(airyDiskRadius(*lens), 1.21967 * 587.56e-6 * 2, 1e-12);
}

TEST_F(ParaxialTest, ConcaveMirrorFocusesAtHalfRadius) {
  struct Case {
    const char* name;
    double conic;
    double s1;
  };
  // Sphere: S1 = −A²hD with A = ch, D = −2ch/n, h = 10, c = −1/200 → |S1| = 0.0025.
  for (const Case& c : {Case{"sphere", 0, 0.0025}, Case{"paraboloid", -1, 0}}) {
    SCOPED_TRACE(c.name);
    auto lens = makeLens({{0, kInf}, {-200, -100, 1, true, true, c.conic}, {0, 0}}, 20);
    lens->surfaceArray()[1]->setThicknessSolveTypeTarget(2, 0);
    generateSystemFromParaxialSpecification(*lens);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    EXPECT_NEAR(lens->surfaceArray()[1]->thickness(), -100, 1e-9);
    EXPECT_NEAR(backFocalLength(*lens), -100, 1e-9);
    EXPECT_NEAR(std::abs(paraxial(*lens, "focalLength")), 100, 1e-9);
    EXPECT_LT(paraxial(*lens, "imageSpaceIndexOfRefraction"), 0);
    EXPECT_NEAR(std::abs(seidelSums(*lens).S1), c.s1, 1e-9);
  }
}

TEST_F(ParaxialTest, MarginalHeightSolveFocusesTheSinglet) {
  auto lens = makeLens({{0, kInf}, {50, 5, 1.5168, true}, {-50, 10}, {0, 0}});
  lens->surfaceArray()[2]->setThicknessSolveTypeTarget(2, 0);
  generateSystemFromParaxialSpecification(*lens);
  EXPECT_NEAR(lens->surfaceArray()[2]->thickness(), 47.5362, 5e-5);
  EXPECT_TRUE(lens->surfaceArray()[2]->thicknessSolveImplemented());

  // Behind a plane window the marginal ray stays parallel: no focus, the thickness stays.
  auto window = makeLens({{0, kInf}, {0, 5, 1.5168, true}, {0, 10}, {0, 0}});
  window->surfaceArray()[2]->setThicknessSolveTypeTarget(2, 0);
  generateSystemFromParaxialSpecification(*window);
  EXPECT_EQ(window->surfaceArray()[2]->thickness(), 10);
  EXPECT_FALSE(window->surfaceArray()[2]->thicknessSolveImplemented());
}

TEST_F(ParaxialTest, SoftAndHardFailuresLeaveWarnings) {
  auto noStop = makeLens({{0, kInf}, {50, 5, 1.5168}, {0, 0}});
  for (const auto& s : noStop->surfaceArray()) s->setIsStop(false);
  noStop->setStopSurface(nullptr);
  ASSERT_EQ(noStop->stopSurface(), nullptr);
  generateSystemFromParaxialSpecification(*noStop);
  EXPECT_EQ(noStop->warningReSystemGeneration().value_or(""), "There is no stop");
}

// A published LAC9 singlet against another program's first-order values (1e-4 relative).
TEST_F(ParaxialTest, Lac9SingletMatchesPublishedFirstOrderValues) {
  auto hoya = materials::GlassCatalog::glassCatalogWithContentsOfZemaxFile(ORB_SOURCE_DIR "/resources/glass/HOYA.AGF");
  ASSERT_TRUE(hoya);
  auto lac9 = hoya->lookupGlassWithName("LAC9");
  ASSERT_TRUE(lac9);
  auto lens = makeLens({{0, kInf}, {63.73364157, 10}, {653.29392320, 92.73834630, 1, true}, {0, 0}}, 25);
  lens->surfaceArray()[1]->setGlass(lac9->copy());
  generateSystemFromParaxialSpecification(*lens);
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  auto rel = [](double value, double expected) { return std::abs(value / expected - 1); };
  EXPECT_LT(rel(paraxial(*lens, "focalLength"), 101.501826), 1e-4);
  EXPECT_LT(rel(paraxial(*lens, "infiniteConjugateImageSpaceFocalRatio"), 4.060073), 1e-4);
  EXPECT_LT(rel(paraxial(*lens, "exitPupilDiameter"), 23.397108), 1e-4);
  EXPECT_LT(rel(paraxial(*lens, "exitPupilLocation"), -92.738346), 1e-4);
}

TEST_F(ParaxialTest, GlassPickupWithoutSourceIsAHardFailure) {
  auto lens = makeLens({{0, kInf}, {50, 5, 1, true}, {-50, 40}, {0, 0}});
  lens->surfaceArray()[1]->setGlassSolveType(1);
  ASSERT_EQ(lens->surfaceArray()[1]->glassSolveSurface(), nullptr);
  try {
    generateSystemFromParaxialSpecification(*lens);
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "Generation exception");
    EXPECT_EQ(e.reason(), "Incomplete glass pickup");
  }
  EXPECT_EQ(lens->warningReSystemGeneration().value_or(""), "Incomplete glass pickup");
}

// One small lens per solve code; each expectation is worked by hand from the paraxial
// refraction and transfer equations.
TEST_F(ParaxialTest, SolvesReachTheirTargets) {
  using Surfaces = lens::Lens::Surfaces;
  struct Case {
    const char* name;
    std::vector<Spec> specs;
    double epd, fieldDegrees;
    std::function<void(const Surfaces&)> solve;
    std::function<void(const lens::Lens&)> check;
  };
  const std::vector<Case> cases{
      // f = h₁ / −u′ whatever the thickness: h₁ = 5, u′ = −0.1 → f = 50.
      {"marginal-angle", {{0, kInf}, {50, 5, 1.5168, true}, {0, 40}, {0, 0}}, 10, 0,
       [](const Surfaces& s) { s[2]->setCurvatureSolveTypeTarget(2, -0.1); },
       [](const lens::Lens& l) {
         EXPECT_TRUE(l.surfaceArray()[2]->curvatureSolveImplemented());
         EXPECT_NEAR(paraxial(l, "focalLength"), 50, 1e-9);
       }},
      // F/4 on a mirror filled by a 20 mm beam: a concave mirror of f = 80, R = −160,
      // and the marginal-height solve puts the image 80 mm back along the light.
      {"focal-ratio-mirror", {{0, kInf}, {0, -50, 1, true, true}, {0, 0}}, 20, 0,
       [](const Surfaces& s) {
         s[1]->setCurvatureSolveTypeTarget(11, 4);
         s[1]->setThicknessSolveTypeTarget(2, 0);
       },
       [](const lens::Lens& l) {
         const auto& s = l.surfaceArray();
         EXPECT_NEAR(std::abs(paraxial(l, "focalLength")), 80, 1e-9);
         EXPECT_NEAR(s[1]->curvature(), -1 / 160.0, 1e-15);
         EXPECT_NEAR(s[1]->thickness(), -80, 1e-9);
       }},
      // Chief ray through the stop at 10°: at s2, h̄ = 10·tan 10°, ū = tan 10°; leaving
      // parallel needs c = n·ū / ((n′ − n)·h̄) = 1 / (0.5 · 10) = 0.2.
      {"chief-angle-after-stop", {{0, kInf}, {0, 10, 1, true}, {0, 5, 1.5}, {0, 20}, {0, 0}}, 4, 10,
       [](const Surfaces& s) {
         s[2]->setCurvatureSolveType(3);
         s[2]->setCurvatureSolveTarget(0);  // a typed target: not sticky
       },
       [](const lens::Lens& l) {
         const auto& s = l.surfaceArray();
         EXPECT_TRUE(s[2]->curvatureSolveImplemented());
         EXPECT_NEAR(s[2]->curvature(), 0.2, 1e-12);
       }},
      // Choosing the chief-angle code keeps c = 0.1 and makes the target the exit angle it
      // gives: (ū − 0.5·h̄·c)/1.5 = ū/3 with h̄ = 10·ū.
      {"chief-angle-sticky", {{0, kInf}, {0, 10, 1, true}, {10, 5, 1.5}, {0, 20}, {0, 0}}, 4, 10,
       [](const Surfaces& s) { s[2]->setCurvatureSolveType(3); },
       [](const lens::Lens& l) {
         const auto& s = l.surfaceArray();
         EXPECT_EQ(s[2]->curvature(), 0.1);
         EXPECT_NEAR(s[2]->curvatureSolveTarget(), kTan10 / 3, 1e-12);
       }},
      {"chief-angle-before-stop", {{0, kInf}, {40, 5, 1.5}, {0, 10, 1, true}, {0, 20}, {0, 0}}, 4, 10,
       [](const Surfaces& s) { s[1]->setCurvatureSolveTypeTarget(3, 0); },
       [](const lens::Lens& l) {
         const auto& s = l.surfaceArray();
         EXPECT_FALSE(s[1]->curvatureSolveImplemented());
         EXPECT_EQ(s[1]->curvatureSolveErrorMessage(), "No chief ray");
         EXPECT_EQ(s[1]->curvature(), 1 / 40.0);
       }},
      // On the stop itself: h̄ = 0, ū = tan 10°, so reaching h̄ = 5 takes 5 / tan 10°.
      {"chief-height-on-stop", {{0, kInf}, {0, 1, 1, true}, {0, 0}}, 4, 10,
       [](const Surfaces& s) { s[1]->setThicknessSolveTypeTarget(3, 5); },
       [](const lens::Lens& l) {
         const auto& s = l.surfaceArray();
         EXPECT_TRUE(s[1]->thicknessSolveImplemented());
         EXPECT_NEAR(s[1]->thickness(), 5 / kTan10, 1e-9);
       }},
      // Curvature pickup divides by the scale, conic and thickness pickups multiply; the
      // thickness pickup adds its offset.
      {"pickups", {{0, kInf}, {40, 5, 1.5, true, false, -0.5}, {-60, 10}, {0, 20}, {0, 0}}, 10, 0,
       [](const Surfaces& s) {
         s[3]->setCurvatureSolveTypeSurfaceScale(4, s[1], 2);
         s[3]->setConicSolveTypeSurfaceScale(2, s[1], 3);
         s[3]->setThicknessSolveTypeSurfaceScaleOffset(5, s[1], 2, 7);
       },
       [](const lens::Lens& l) {
         const auto& s = l.surfaceArray();
         EXPECT_NEAR(s[3]->curvature(), 1 / 80.0, 1e-15);
         EXPECT_NEAR(s[3]->conicConstant(), -1.5, 1e-15);
         EXPECT_DOUBLE_EQ(s[3]->thickness(), 2 * 5 + 7);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto lens = makeLens(c.specs, c.epd);
    if (c.fieldDegrees != 0) addFieldAngle(*lens, c.fieldDegrees);
    c.solve(lens->surfaceArray());
    generateSystemFromParaxialSpecification(*lens);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    c.check(*lens);
  }
}

TEST_F(ParaxialTest, CoordinateBreakAsObjectSurfaceIsAHardFailure) {
  auto lens = makeLens({{0, 10}, {50, 5, 1.5, true}, {0, 0}});
  lens->replaceObjectInSurfaceArrayAtIndex(0, lens::Surface::create<lens::CoordinateBreak>());
  try {
    generateSystemFromParaxialSpecification(*lens);
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "Generation exception");
    EXPECT_EQ(e.reason(), "Surface 0 can not be a coordinate break");
  }
  EXPECT_EQ(lens->warningReSystemGeneration().value_or(""), "Surface 0 can not be a coordinate break");
}

// Object 30 mm inside n₀ behind a plane face, stop 10 mm further in air, nothing after the
// stop: the exit pupil is the stop, 20 mm before the image, and its diameter twice the
// marginal height there: 2·(30·t + 10·n₀·t), t = tan(asin(NA/n₀)).
TEST_F(ParaxialTest, ExitPupilOfAnImmersedObject) {
  for (double n0 : {1.0, 1.5}) {
    SCOPED_TRACE(n0);
    auto lens = makeLens({{0, 30, n0}, {0, 10}, {0, 20, 1, true}, {0, 0}});
    lens->setSourceDivergenceType(2);
    lens->setSourceDivergenceValue(0.3);
    generateSystemFromParaxialSpecification(*lens);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    const double t = std::tan(std::asin(0.3 / n0));
    EXPECT_NEAR(paraxial(*lens, "exitPupilLocation"), -20, 1e-9);
    EXPECT_NEAR(paraxial(*lens, "exitPupilDiameter"), 2 * (30 * t + 10 * n0 * t), 1e-9);
    EXPECT_NEAR(measureExitPupilDiameterTraditional(*lens), 2 * (30 * t + 10 * n0 * t), 1e-9);
  }
}

// Stop at the centre of curvature of a concave mirror: the chief ray meets the mirror
// along its normal (Ā = 0), so coma and astigmatism vanish; S1 keeps −A²hD = 0.0025 for
// h = 10, R = −200, and S4 = H²·2c with H = h·tan 5°.
TEST_F(ParaxialTest, MirrorWithStopAtCentreOfCurvatureHasNoComaOrAstigmatism) {
  auto lens = makeLens({{0, kInf}, {0, 200, 1, true}, {-200, -100, 1, false, true}, {0, 0}}, 20);
  addFieldAngle(*lens, 5);
  generateSystemFromParaxialSpecification(*lens);
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  const SeidelSums s = seidelSums(*lens);
  const double H = 10 * std::tan(5 * M_PI / 180);
  EXPECT_NEAR(std::abs(s.lagrangeInvariant), H, 1e-12);
  EXPECT_NEAR(std::abs(s.S1), 0.0025, 1e-12);
  EXPECT_NEAR(s.S2, 0, 1e-12);
  EXPECT_NEAR(s.S3, 0, 1e-12);
  EXPECT_NEAR(std::abs(s.S4), H * H * 2 / 200, 1e-12);
}

}  // namespace
}  // namespace orb::tracing
