// Test rays from field and pupil specifications, and the single-ray trace listing.
#include <gtest/gtest.h>

#include "ExpectRaises.h"

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

#include "RayAnalysisTestSupport.h"
#include "analysis/TestRayGenerator.h"
#include "analysis/TraceCalculator.h"
#include "lens/Aperture.h"
#include "tracing/RayGeneration.h"

namespace orb::analysis {
namespace {

using testing::mirrorBehindStop;
using testing::mirrorLens;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void expectNoRealRay(const std::function<void()>& f, const std::string& words) {
  try {
    f();
    ADD_FAILURE() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "ValueError");
    EXPECT_TRUE(contains(e.reason(), words)) << e.reason();
  }
}

TEST(TestRayGeneratorTest, SpecificationsNameTheirRays) {
  // The stop 100 behind a plane first surface at z = 0, in air: to first order a ray from
  // (x, y, 0) reaches the stop at (x, y) + 100·(px, py).
  auto lens = mirrorBehindStop(-200, 200, 100, {0, 5});
  auto generator = platform::makeObject<TestRayGenerator>();
  generator->setLens(lens);
  generator->setWavelengthInNanometers(550);

  // Reduced field and pupil (0, 0): the lens's axial chief ray, in a wave of its own.
  const tracing::RayWithFrame chief = generator->generateRay();
  const auto expected = tracing::rayForH(*lens, {0, 0}, {0, 0});
  ASSERT_TRUE(expected);
  EXPECT_EQ(chief.position(), expected->position());
  EXPECT_EQ(chief.momentum(), expected->momentum());
  ASSERT_TRUE(chief.wave());
  EXPECT_DOUBLE_EQ(chief.wave()->wavelengthInNanometers(), 550);
  EXPECT_EQ(chief.transferMatrix().qxqx(), 1);  // framed afresh

  // An object position aimed at a point on the stop.
  generator->setFieldSpecificationTag(4);
  generator->setFieldX(1);
  generator->setFieldY(2);
  generator->setPupilSpecificationTag(1);
  generator->setPupilX(-3);
  generator->setPupilY(5);
  const tracing::RayWithFrame aimed = generator->generateRay();
  EXPECT_EQ(aimed.position(), (foundation::XYZ{1, 2, 0}));
  EXPECT_NEAR(aimed.px(), -4.0 / 100, 1e-12);
  EXPECT_NEAR(aimed.py(), 3.0 / 100, 1e-12);
  EXPECT_NEAR(aimed.p(), 1, 1e-12);

  // Momentum and tangent points.
  generator->setPupilSpecificationTag(2);
  generator->setPupilX(0.6);
  generator->setPupilY(0);
  EXPECT_NEAR(generator->generateRay().pz(), 0.8, 1e-15);
  generator->setPupilSpecificationTag(3);
  generator->setPupilX(0.75);
  const tracing::RayWithFrame tangent = generator->generateRay();
  EXPECT_NEAR(tangent.px() / tangent.pz(), 0.75, 1e-15);
}

TEST(TestRayGeneratorTest, ImpossibleSpecificationsRaise) {
  auto lens = mirrorBehindStop(-200, 200, 100);  // the generator does not keep its lens
  auto generator = platform::makeObject<TestRayGenerator>();
  generator->setLens(lens);
  struct Case {
    const char* name;
    int fieldTag, pupilTag;
  };
  for (const Case& c : {Case{"angle field", 1, 0}, Case{"momentum field", 2, 1}, Case{"tangent field", 3, 2},
                        Case{"position field, reduced pupil", 4, 0}, Case{"unknown pupil", 0, 7}}) {
    SCOPED_TRACE(c.name);
    generator->setFieldSpecificationTag(c.fieldTag);
    generator->setPupilSpecificationTag(c.pupilTag);
    support::expectRaises([&] { generator->generateRay(); }, "NSInternalInconsistencyException",
                          testray::kInconsistentSpecification);
  }

  // No real ray: a transverse momentum past the index, for either field kind.
  for (int fieldTag : {0, 4}) {
    generator->setFieldSpecificationTag(fieldTag);
    generator->setPupilSpecificationTag(2);
    generator->setPupilX(0.8);
    generator->setPupilY(0.7);
    expectNoRealRay([&] { generator->generateRay(); }, "exceeds the object-space index");
  }
}

TEST(TestRayGeneratorTest, AStopInTheStartPlaneCannotBeAimedAt) {
  // The stop is the first surface, at z = 0 itself: no momentum moves the ray on it.
  auto lens = mirrorBehindStop(-200, 200, 0);
  platform::Synchronized lock(lens.get());
  expectNoRealRay([&] { testray::rayForPositionStopPoint(*lens, {0, 5, 0}, {0, 2}); }, "singular");
}

// --- the listing ----------------------------------------------------------------------------

struct TraceWindow {
  std::shared_ptr<TraceCalculator> calculator = platform::makeObject<TraceCalculator>();
  testing::Window<TraceCalculator> window;
  explicit TraceWindow(LensPtr lens) : window(std::move(lens), calculator) {
    window.buffer = std::make_unique<LensBuffer>(window.document, calculator);
    // The ray is named by the specification, not by a field of the lens.
    calculator->setFieldOfInterest(nullptr);
  }
  bool settle() {
    return testing::pumpUntil([&] {
      return !calculator->listing().empty() && !calculator->needsWork() && !calculator->hasWorkerThread() &&
             !platform::RunLoop::main().hasPendingWork();
    });
  }
  bool run() {
    window.document->postLensIsReady();
    return settle();
  }
  const std::string& listing() const { return calculator->listing(); }
  // The trajectory line that ends in the surface's nickname.
  std::string lineOf(const std::string& nickname) const {
    std::istringstream lines(listing());
    for (std::string line; std::getline(lines, line);)
      if (line.size() > nickname.size() + 2 && line.compare(line.size() - nickname.size(), nickname.size(), nickname) == 0 &&
          line[line.size() - nickname.size() - 2] == '|')
        return line;
    return {};
  }
};

TEST(TraceListingTest, DefaultRayIsTheAxialChiefRayWithTheStopMarked) {
  auto lens = mirrorLens(-200, 0);
  TraceWindow w(lens);
  ASSERT_TRUE(w.run());
  const std::string& text = w.listing();
  EXPECT_TRUE(contains(text, "Field specified by: reduced field coordinates\nHx = 0, Hy = 0\n")) << text;
  EXPECT_TRUE(contains(text, "Pupil specified by: reduced pupil coordinates\nPx = 0, Py = 0\n\n")) << text;
  EXPECT_TRUE(contains(text, "Initial ray state (global coordinates):\n")) << text;
  EXPECT_TRUE(contains(text, platform::format("Wavelength = %gnm",
                                              w.calculator->waveOfInterest()
                                                  ? w.calculator->waveOfInterest()->wavelengthInNanometers()
                                                  : 633.0)))
      << text;
  EXPECT_TRUE(contains(text, "Ray data is after refraction, except for final surface\n")) << text;
  // The mirror is the stop: its line, and only its, carries the mark.
  const auto& mirror = lens->surfaceArray()[1];
  const std::string mirrorLine = w.lineOf(mirror->nickname());
  ASSERT_FALSE(mirrorLine.empty()) << text;
  EXPECT_TRUE(contains(mirrorLine, "|*" + mirror->nickname())) << mirrorLine;
  EXPECT_EQ(std::count(text.begin(), text.end(), '*'), 1) << text;
  EXPECT_TRUE(contains(text, "Final ray state (global coordinates):\n")) << text;
  EXPECT_TRUE(contains(text, "Numerical transfer matrix:\n")) << text;
  EXPECT_FALSE(contains(text, "Trace stopped")) << text;
}

TEST(TraceListingTest, DyingRaySaysWhereAndWhy) {
  auto lens = mirrorLens(-200, 0);
  const auto& mirror = lens->surfaceArray()[1];
  TraceWindow w(lens);
  // A marginal ray meets the mirror at height 10; an aperture of radius 5 stops it.
  mirror->setAperture(
      lens::Aperture::apertureOfType("Circular aperture", platform::Dictionary{{"rMin", 0.0}, {"rMax", 5.0}}));
  w.calculator->setTestRayPY(1);
  ASSERT_TRUE(w.run());
  const std::string& text = w.listing();
  EXPECT_TRUE(contains(text, "\nTrace stopped before ray reached image surface\n")) << text;
  EXPECT_TRUE(contains(text, "Reason: Aperture does not pass ray\n")) << text;
  EXPECT_TRUE(contains(text, "Surface: " + mirror->nickname() + "\n")) << text;
  EXPECT_FALSE(contains(text, "Final ray state")) << text;
}

TEST(TraceListingTest, ImpossibleSpecificationListsTheReason) {
  TraceWindow w(mirrorLens(-200, 0));
  w.calculator->setFieldSpecificationTag(4);  // a position with reduced pupil coordinates
  ASSERT_TRUE(w.run());
  const std::string& text = w.listing();
  EXPECT_TRUE(contains(text, "Field specified by: position\nqx = 0, qy = 0\n")) << text;
  EXPECT_TRUE(contains(text, testray::kInconsistentSpecification)) << text;
  EXPECT_FALSE(contains(text, "Initial ray state")) << text;
  EXPECT_FALSE(contains(text, "Ray data is after")) << text;
  ASSERT_TRUE(w.calculator->exception());
  EXPECT_EQ(w.calculator->exception()->name(), "NSInternalInconsistencyException");
}

TEST(TraceListingTest, ChangingTheFrameRelistsWithoutTracing) {
  auto lens = mirrorLens(-200, 0);
  TraceWindow w(lens);
  w.calculator->setTestRayPY(1);
  ASSERT_TRUE(w.run());
  EXPECT_TRUE(contains(w.listing(), "Ray position coordinate frame: global\n"));
  const std::string image = lens->surfaceArray().back()->nickname();
  const std::string globalLine = w.lineOf(image);
  w.calculator->setRayPositionInLocalCoordinates(true);
  EXPECT_FALSE(w.calculator->needsCalculation());
  EXPECT_TRUE(contains(w.listing(), "Ray position coordinate frame: local\n"));
  // The image plane sits at z = −100 globally and at 0 in its own frame.
  const std::string localLine = w.lineOf(image);
  EXPECT_NE(globalLine, localLine);
  double gx, gy, gz, lx, ly, lz;
  ASSERT_EQ(std::sscanf(globalLine.c_str(), "%lf %lf %lf", &gx, &gy, &gz), 3) << globalLine;
  ASSERT_EQ(std::sscanf(localLine.c_str(), "%lf %lf %lf", &lx, &ly, &lz), 3) << localLine;
  EXPECT_NEAR(gz, -100, 1e-4);
  EXPECT_NEAR(lz, 0, 1e-4);
  EXPECT_EQ(gy, ly);

  const auto saved = w.calculator->restorationDictionary();
  EXPECT_TRUE(saved.get("rayPositionInLocalCoordinates").asBool());
  EXPECT_DOUBLE_EQ(saved.get("testRayPY").asDouble(), 1);
  EXPECT_DOUBLE_EQ(saved.get("customWavelength").asDouble(), 633);
}

// A wave kept in microns is still listed in nanometres, as the line says.
TEST(TraceListingTest, WavelengthIsListedInNanometresWhateverTheWavesUnit) {
  auto lens = mirrorLens(-200, 0);
  const auto wave = lens->primaryWave();
  wave->setWavelengthUnit(1e-6);
  wave->setWavelength(0.55);
  TraceWindow w(lens);
  w.calculator->setWaveOfInterest(wave);
  ASSERT_TRUE(w.run());
  EXPECT_TRUE(contains(w.listing(), "\nWavelength = 550nm\n")) << w.listing();

  // Without a wave of interest, the custom wavelength.
  w.calculator->setWaveOfInterest(nullptr);
  w.calculator->setCustomWavelength(1064);
  ASSERT_TRUE(w.settle());
  ASSERT_TRUE(testing::pumpUntil([&] { return contains(w.listing(), "Wavelength = 1064nm"); })) << w.listing();
}

TEST(TraceListingTest, SpecificationTextsFollowTheTags) {
  auto c = platform::makeObject<TraceCalculator>();
  c->setFieldSpecificationTag(1);
  c->setTestRayHX(2);
  c->setTestRayHY(-1.5);
  EXPECT_EQ(c->fieldSpecString(), "angle in degrees");
  EXPECT_EQ(c->fieldSpecEquation(), "degX = 2, degY = -1.5");
  EXPECT_FALSE(c->fieldIsMomentum());
  c->setFieldSpecificationTag(3);
  EXPECT_TRUE(c->fieldIsMomentum());
  c->setPupilSpecificationTag(1);
  EXPECT_EQ(c->pupilSpecString(), "paraxial position at stop");
  EXPECT_EQ(c->pupilLabelX(), "qx");
  EXPECT_EQ(TraceCalculator::transformationMatrixBasisStrings().size(), 6u);
}

}  // namespace
}  // namespace orb::analysis
