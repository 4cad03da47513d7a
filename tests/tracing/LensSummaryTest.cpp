#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "LensFixture.h"
#include "ParaxialLens.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/LensDelegate.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/UniformMedium.h"
#include "platform/RunLoop.h"
#include "tracing/LensListings.h"
#include "tracing/LensSummary.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/RayGeneration.h"
#include "tracing/Regeneration.h"
#include "tracing/SeidelAnalysis.h"

namespace orb::tracing {
namespace {

using paraxialtest::kInf;
using paraxialtest::makeLens;
using paraxialtest::Spec;

constexpr double kN = 1.5168;

class LensSummaryTest : public ::testing::Test {
 protected:
  void SetUp() override { registerSystemGenerator(); }
  void TearDown() override {
    lens::Lens::setSystemGenerator(nullptr);
    platform::RunLoop::main().runUntilIdle();
  }
};

// f = 100 plano-convex, stop on the curved face: the exit pupil is that face seen through
// 4 mm of glass, 4/n behind the plane face, so at z = 4 − 4/n, which is 100 mm before the
// image (z = 4 + 97.3629).
std::shared_ptr<lens::Lens> planoConvex() { return makeLens({{0, kInf}, {51.68, 4, kN, true}, {0, 97.3629}, {0, 0}}); }

TEST_F(LensSummaryTest, AccessorsReadTheLastMeasurement) {
  auto lens = planoConvex();
  EXPECT_EQ(focalLength(*lens), 0);
  EXPECT_FALSE(entrancePupilDiameterDetermined(*lens));
  EXPECT_EQ(exitPupilCenter(*lens), (foundation::XYZ{0, 0, 0}));
  EXPECT_EQ(objectSpaceIndexOfRefraction(*lens), 1);  // measured when none is stored

  generateSystemFromParaxialSpecification(*lens);
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  EXPECT_NEAR(focalLength(*lens), 100, 5e-4);
  EXPECT_EQ(entrancePupilDiameter(*lens), 10);
  EXPECT_TRUE(entrancePupilDiameterDetermined(*lens));
  EXPECT_TRUE(objectSpaceNumericalApertureDetermined(*lens));
  EXPECT_NEAR(infiniteConjugateImageSpaceFocalRatio(*lens), 10, 5e-5);
  EXPECT_NEAR(imageSpaceNumericalAperture(*lens), 0.05, 5e-7);
  EXPECT_NEAR(exitPupilLocation(*lens), -100, 5e-4);
  const foundation::XYZ centre = exitPupilCenter(*lens), normal = exitPupilNormal(*lens);
  EXPECT_NEAR(centre.z, 4 - 4 / kN, 1e-9);
  EXPECT_NEAR(centre.y, 0, 1e-12);
  EXPECT_NEAR(normal.z, 1, 1e-12);
  EXPECT_EQ(imageSpaceIndexOfRefraction(*lens), 1);
}

TEST_F(LensSummaryTest, SumsAndMinimaOverTheSurfaces) {
  // Equiconvex R ±50, t 5, semidiameters 10: sag 50 − √(50² − 10²) = 1.0102051 on each
  // face, so the edge is 5 − 2·1.0102051 thick.
  auto singlet = makeLens({{0, kInf}, {50, 5, kN, true}, {-50, 47.5362}, {0, 0}});
  for (const auto& s : singlet->surfaceArray()) s->setSemidiameter(10);
  const double sag = 50 - std::sqrt(50.0 * 50 - 100);
  EXPECT_TRUE(isObjectAtInfinity(*singlet));
  EXPECT_DOUBLE_EQ(totalTrack(*singlet), 5 + 47.5362);
  EXPECT_EQ(glassThickness(*singlet), 5);
  EXPECT_NEAR(edgeThickness(*singlet), 5 - 2 * sag, 1e-12);

  auto mirror = makeLens({{0, -kInf}, {-200, -100, 1, true, true}, {0, 0}});
  EXPECT_TRUE(isObjectAtInfinity(*mirror));
  EXPECT_EQ(glassThickness(*mirror), kInf);
  EXPECT_EQ(edgeThickness(*mirror), kInf);

  auto finite = makeLens({{0, 300}, {-200, -150, 1, true, true}, {0, 0}});
  EXPECT_FALSE(isObjectAtInfinity(*finite));
  EXPECT_EQ(totalTrack(*finite), -150);
}

// Indices against N-BK7's Sellmeier law evaluated in the test.
TEST_F(LensSummaryTest, IndicesAndDispersionAtTheLensWaves) {
  auto lens = planoConvex();
  lens->setWaveArray(lens::Wave::FdC());
  const auto& waves = lens->waveArray();
  const auto glass = testing::nbk7();
  const double nF = testing::nbk7Index(waves[0]->wavelengthInMicrons());
  const double nd = testing::nbk7Index(waves[1]->wavelengthInMicrons());
  const double nC = testing::nbk7Index(waves[2]->wavelengthInMicrons());
  EXPECT_NEAR(indexOfRefractionForWave(*lens, *waves[0], glass), nF, 1e-12);
  EXPECT_NEAR(dispersionForGlass(*lens, glass), (nF - nC) / nd, 1e-12);
  EXPECT_EQ(dispersionForGlass(*lens, nullptr), 0);

  // The ambient index is read at the primary wave, like every other first-order index.
  lens->setAmbientMedium(materials::UniformMedium::mediumWithGlass(testing::nbk7()));
  waves[1]->setIsPrimary(false);
  waves[0]->setIsPrimary(true);
  EXPECT_NEAR(lens->ambientIndexOfRefraction(), nF, 1e-12);

  lens->setAmbientIndexOfRefraction(1.33);
  EXPECT_NEAR(indexOfRefractionForWave(*lens, *waves[0], nullptr), 1.33, 1e-15);

  lens->setWaveArray({waves[1]});
  EXPECT_EQ(dispersionForGlass(*lens, glass), 0);
}

TEST_F(LensSummaryTest, AdjustFocusMovesTheImageToTheParaxialFocus) {
  struct Case {
    const char* name;
    std::vector<Spec> specs;
    std::size_t focus;
    double expected;
  };
  const std::vector<Case> cases{
      // Back focal length of the equiconvex singlet: f(1 − φ₁t/n) = 47.5362.
      {"singlet-at-infinity", {{0, kInf}, {50, 5, kN, true}, {-50, 40}, {0, 0}}, 2, 47.5362},
      // Concave mirror f = 100, object at 300: 1/s′ = 1/100 − 1/300, image 150 mm back
      // along the reflected light, a thickness of −150.
      {"mirror-finite-object", {{0, 300}, {-200, -100, 1, true, true}, {0, 0}}, 1, -150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto lens = makeLens(c.specs);
    generateSystemFromParaxialSpecification(*lens);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    const auto focus = lens->surfaceArray()[c.focus];
    ASSERT_EQ(lens->focusSurface(), focus);
    focus->setThicknessSolveTypeTarget(3, 1);  // any solve: the refocus must remove it
    adjustFocus(*lens);
    EXPECT_EQ(focus->thicknessSolveType(), 0);
    EXPECT_NEAR(focus->thickness(), c.expected, 5e-5);
  }
}

TEST_F(LensSummaryTest, OffenseAgainstSineCondition) {
  // Paraboloid f = 100, h = 10: no spherical aberration, the marginal ray reaches the focus
  // from the point at sag h²/4f, so sin U′ = h/(f + h²/4f) and OSC = −h²/4f² = −0.0025.
  auto paraboloid = makeLens({{0, kInf}, {-200, -100, 1, true, true, -1}, {0, 0}}, 20);
  generateSystemFromParaxialSpecification(*paraboloid);
  EXPECT_NEAR(offenseAgainstSineCondition(*paraboloid), -0.0025, 1e-12);

  // A point at the centre of curvature of a sphere is imaged onto itself at m = −1 with
  // U′ = U exactly: the sine condition holds.
  auto centre = makeLens({{0, 200}, {-200, -200, 1, true, true}, {0, 0}});
  centre->setSourceDivergenceType(2);
  centre->setSourceDivergenceValue(0.2);
  generateSystemFromParaxialSpecification(*centre);
  EXPECT_NEAR(offenseAgainstSineCondition(*centre), 0, 1e-12);

  // A 20 mm beam on a mirror of radius 5: the real marginal ray misses the sphere, and a
  // slope read where it died would be a number with no meaning.
  auto small = makeLens({{0, kInf}, {-5, -2.5, 1, true, true}, {0, 0}}, 20);
  generateSystemFromParaxialSpecification(*small);
  EXPECT_TRUE(std::isnan(offenseAgainstSineCondition(*small)));
}

struct NamedDocument : lens::LensDelegate {
  std::string displayName() const override { return "singlet.lens"; }
};

/// Switches the process to a locale with a decimal comma for one test, as the
/// application does when the user's environment asks for it.
class CommaLocale {
 public:
  CommaLocale() : m_ok(std::setlocale(LC_ALL, "de_DE.utf8") != nullptr) {}
  ~CommaLocale() { std::setlocale(LC_ALL, "C"); }
  bool ok() const { return m_ok; }

 private:
  bool m_ok;
};

TEST_F(LensSummaryTest, PrescriptionListing) {
  auto lens = makeLens({{0, kInf}, {50, 5, kN, true}, {-50, 47.5362}, {0, 0}});
  EXPECT_EQ(prescriptionListing(*lens), "Lens is not yet ready");

  auto document = std::make_shared<NamedDocument>();
  lens->setDelegate(document);
  lens->setSystemName("Equiconvex");
  lens->lensChanged();
  ASSERT_TRUE(lens->isReady());
  const CommaLocale comma;
  if (!comma.ok()) GTEST_SKIP() << "no de_DE locale to test the decimal point with";
  const std::string text = prescriptionListing(*lens);
  for (const char* line : {"File: singlet.lens\nName: Equiconvex\n\nGeneral\n\n",
                           "          object space index: 1\n",
                           "     entrance pupil diameter: 10 mm\n",
                           "               focal length: 49.213 mm\n",
                           "     second principal focus: 47.5362 mm (back focal length)\n",
                           "\nSurfaces\n\nnumber code comment     type         radius  thickness glass     semidiameter\n",
                           "\nAdditional data (if any)\n\n",
                           "\nApertures (if any)\n\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << text;
  }
}

TEST_F(LensSummaryTest, GlobalCoordinateListing) {
  auto lens = makeLens({{0, kInf}, {50, 5, kN, true}, {-50, 47.5362}, {0, 0}});
  const auto document = std::make_shared<NamedDocument>();  // held weakly by the lens
  lens->setDelegate(document);
  generateSystemFromParaxialSpecification(*lens);
  const CommaLocale comma;
  if (!comma.ok()) GTEST_SKIP() << "no de_DE locale to test the decimal point with";
  const std::string text = transformationMatrixListing(*lens);
  EXPECT_EQ(text.rfind("File: singlet.lens\n\nGlobal coordinate and rotation listing\n\n"
                       "      Rxx       Rxy       Rxz            x\n"
                       "      Ryx       Ryy       Ryz            y\n"
                       "      Rzx       Rzy       Rzz            z\n",
                       0),
            0u)
      << text;
  // The second face's vertex stands 5 mm along z.
  EXPECT_NE(text.find("   0.0000    0.0000    1.0000   5.0000e+00\n"), std::string::npos) << text;
}

// Equiconvex R ±50, n 1.5168, h = 5, field 5°: H = 5·tan 5° in size, and the Petzval
// curvature Σ φ/(n n′) = 2·0.5168/(50·1.5168) = 0.0136287 1/mm.
TEST_F(LensSummaryTest, SeidelListing) {
  auto lens = makeLens({{0, kInf}, {50, 5, kN, true}, {-50, 47.5362}, {0, 0}});
  auto field = lens::Field::field();
  field->setY(5);
  lens->insertObjectInFieldArrayAtIndex(field, 1);
  const auto document = std::make_shared<NamedDocument>();  // held weakly by the lens
  lens->setDelegate(document);
  generateSystemFromParaxialSpecification(*lens);
  const CommaLocale comma;
  if (!comma.ok()) GTEST_SKIP() << "no de_DE locale to test the decimal point with";
  const std::string text = seidelListing(*lens);
  EXPECT_EQ(text.rfind("File: singlet.lens\n\n", 0), 0u) << text;
  EXPECT_NE(text.find(std::string("Lagrange invariant: ") +
                      (seidelSums(*lens).lagrangeInvariant < 0 ? "-" : "") + "0.437mm\n\nParaxial trace result\n\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Curvature of Petzval surface:          +0.013629 1/mm\n"), std::string::npos) << text;

  // One Seidel line for each surface between object and image, then the totals.
  const std::size_t head = text.find("       S1        S2        S3        S4        S5        C1        C2  surface\n");
  const std::size_t total = text.find("  TOTAL\n");
  ASSERT_NE(head, std::string::npos);
  ASSERT_NE(total, std::string::npos);
  const std::string body = text.substr(head, total - head);
  EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 1 + 2 + 1) << body;  // header, s1, s2, blank
  const std::size_t start = text.rfind('\n', total - 1) + 1;
  double S[7];
  std::setlocale(LC_ALL, "C");
  ASSERT_EQ(std::sscanf(text.c_str() + start, "%lf %lf %lf %lf %lf %lf %lf", S, S + 1, S + 2, S + 3, S + 4, S + 5,
                        S + 6),
            7);
  const double H = 5 * std::tan(5 * M_PI / 180);
  EXPECT_NEAR(S[3], H * H * 2 * 0.5168 / (50 * kN), 5e-7);
}

}  // namespace
}  // namespace orb::tracing
