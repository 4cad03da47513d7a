#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

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

namespace orb::tracing {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Spec {
  double radius;  // 0: plane
  double thickness;
  double index = 1;  // 1: air
  bool stop = false;
  bool mirror = false;
  double conic = 0;
};

std::shared_ptr<lens::Lens> makeLens(const std::vector<Spec>& specs, double epd = 10) {
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  for (const Spec& spec : specs) {
    auto s = lens::Surface::create();
    if (spec.radius != 0) s->setCurvature(1 / spec.radius);
    s->setThickness(spec.thickness);
    s->setConicConstant(spec.conic);
    lens->insertInSurfaces(s);
    if (spec.index != 1) s->setGlass(materials::Glass::glassWithIndex(spec.index));
    if (spec.mirror) s->setIsMirror(true);
    if (spec.stop) lens->setStopSurface(s);
  }
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(epd);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  return lens;
}

double paraxial(const lens::Lens& l, const char* key) { return numberForKey(l.paraxialData(), key).value_or(NAN); }

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

}  // namespace
}  // namespace orb::tracing
