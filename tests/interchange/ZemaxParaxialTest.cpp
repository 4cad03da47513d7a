#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "InterchangeTestSupport.h"
#include "lens/Aperture.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/Regeneration.h"

namespace orb::interchange::test {
namespace {

/// The lens of a Zemax text, regenerated as the document does after opening it.
std::shared_ptr<lens::Lens> regeneratedLens(const ReadOutcome& read) {
  tracing::registerSystemGenerator();
  auto lens = lensFromDictionary(*read.dictionary);
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

std::string fixtureText(const std::string& name) {
  std::ifstream in(lensFilePath(name));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

// A file read and regenerated gives the first-order data a hand calculation gives: a
// plano-convex lens with its curved side first has 1/f = (n − 1)/R1 whatever its
// thickness, and its back focal distance is f − t/n. N-BK7 at 587.56 nm has n = 1.516800
// (maker's datasheet), so R1 = 51.68 gives f = 100.000 and BFL = 97.3629.
TEST(ZemaxParaxial, SingletFileGivesTheHandCalculatedFocalLength) {
  const ReadOutcome read = readZemaxFile("fixtures/singlet.zmx");
  ASSERT_TRUE(read.dictionary);
  auto lens = regeneratedLens(read);
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();

  const double n = 1.516800, r1 = 51.68, t = 4;
  const double f = r1 / (n - 1);
  EXPECT_NEAR(*tracing::numberForKey(lens->paraxialData(), "focalLength"), f, 1e-3);
  EXPECT_NEAR(f - t / n, 97.3629, 1e-4);  // the file's image distance is the paraxial focus
}

// A lens in inches is read in millimetres, the unit the tracer and every wavelength-scaled
// quantity take. The singlet has R1 = 4 in, R2 = −4 in, t = 0.5 in and n = 1.5 (a model
// glass at the d line). Hand y–nu trace in inches: φ1 = φ2 = 0.5/4 = 0.125, so
// φ = φ1 + φ2 − (t/n) φ1 φ2 = 0.25 − (1/3)(0.015625) = 0.2447917 and f = 4.085106 in,
// which is 103.76170 mm.
TEST(ZemaxParaxial, LensInInchesIsReadInMillimetres) {
  const ReadOutcome read = readZemaxText(
      "UNIT IN X W X CM MR CPMM\nENPD 1\nFTYP 1 0 2 1\nXFLN 0 0\nYFLN 0 0.5\nWAVM 1 0.58756 1\n"
      "SURF 0\n  DISZ 40\n"
      "SURF 1\n  STOP\n  CURV 0.25\n  DISZ 0.5\n  GLAS ___BLANK 1 0 1.5 60 0 0 0 0\n  DIAM 0.6 1 0\n"
      "  CLAP 0 0.6\n"
      "SURF 2\n  CURV -0.25\n  DISZ 4\n"
      "SURF 3\n  DISZ 0\n"
      "MNUM 2\nTHIC 2 2 4.5 0\n");
  ASSERT_TRUE(read.dictionary);
  EXPECT_TRUE(read.logged("converted to millimetres"));
  auto lens = regeneratedLens(read);
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  EXPECT_EQ(lens->unitCode(), "MM");

  const double mm = 25.4;
  const auto& s = lens->surfaceArray();
  ASSERT_EQ(s.size(), 4u);
  EXPECT_DOUBLE_EQ(s[0]->thickness(), 40 * mm);
  EXPECT_DOUBLE_EQ(s[1]->radiusOfCurvature(), 4 * mm);
  EXPECT_DOUBLE_EQ(s[2]->radiusOfCurvature(), -4 * mm);
  EXPECT_DOUBLE_EQ(s[1]->thickness(), 0.5 * mm);
  EXPECT_DOUBLE_EQ(s[2]->thickness(), 4 * mm);
  EXPECT_DOUBLE_EQ(s[1]->semidiameter(), 0.6 * mm);
  EXPECT_DOUBLE_EQ(s[1]->apertureObject()->rMax(), 0.6 * mm);
  EXPECT_DOUBLE_EQ(lens->sourceDivergenceValue(), 1 * mm);  // the entrance pupil diameter
  EXPECT_DOUBLE_EQ(lens->fieldArray()[1]->y(), 0.5 * mm);   // an object height
  const auto configuration = lens->multiconfigurationArray()[1].asDictionary().get("s2.thickness");
  EXPECT_DOUBLE_EQ(configuration.asDictionary().get("value").asDouble(), 4.5 * mm);
  EXPECT_DOUBLE_EQ(lens->waveArray()[0]->wavelengthInMicrons(), 0.58756) << "wavelengths have their own unit";

  const double phi = 0.125 + 0.125 - (0.5 / 1.5) * 0.125 * 0.125;
  EXPECT_NEAR(1 / phi * mm, 103.76170, 1e-5);
  EXPECT_NEAR(*tracing::numberForKey(lens->paraxialData(), "focalLength"), 1 / phi * mm, 1e-6);
}

// Integer fields written with a decimal point ("PZUP 1.0 2 0.5") name the same surfaces
// as without one; the pickups then resolve to the values worked out from the file.
TEST(ZemaxParaxial, IntegerFieldsWithADecimalPointNameTheirSurfaces) {
  const ReadOutcome read = readZemaxFile("fixtures/integer_fields.zmx");
  ASSERT_TRUE(read.dictionary);
  EXPECT_TRUE(read.troubles.empty());
  auto lens = regeneratedLens(read);
  const auto& s = lens->surfaceArray();
  ASSERT_EQ(s.size(), 6u);
  struct Case {
    const char* name;
    std::function<double()> value;
    double expected;
  };
  const std::vector<Case> cases = {
      // Thickness of surface 2 = 2 × (5 mm of surface 1) + 0.5.
      {"PZUP 1.0 2 0.5", [&] { return s[2]->thickness(); }, 10.5},
      // Curvature of surface 2 = −1 × 0.02.
      {"PCUP 1.0 -1", [&] { return s[2]->curvature(); }, -0.02},
      // Conic of surface 2 = 2 × −1.
      {"PKUP 1.0 2.0", [&] { return s[2]->conicConstant(); }, -2},
      // a2 of surface 4 = 2 × (a2 = 0.001 of surface 3).
      {"PPAR 1.0 3.0 2 0", [&] { return s[4]->parameterValue("a2").value_or(0); }, 0.002},
      // A model glass (kind 1) of nd 1.5: n = nd at the d line.
      {"GLAS ___BLANK 1.0", [&] { return s[1]->glass()->indexAtWavelengthInMicrons(0.58756); }, 1.5},
      {"WAVM 1.0", [&] { return lens->waveArray()[0]->wavelengthInMicrons(); }, 0.58756},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(c.value(), c.expected, 1e-12);
  }

  // A surface number with a fraction names no surface: the line is a trouble and no
  // pickup is made.
  std::string text = fixtureText("fixtures/integer_fields.zmx");
  text.replace(text.find("PZUP 1.0"), 8, "PZUP 1.5");
  const ReadOutcome fractional = readZemaxText(text);
  ASSERT_EQ(fractional.troubles.size(), 1u);
  EXPECT_EQ(fractional.troubles[0].exceptionName, "ZemaxError");
  EXPECT_NE(fractional.troubles[0].exceptionReason.find("1.5 is not an integer"), std::string::npos);
  auto unsolved = regeneratedLens(fractional);
  EXPECT_EQ(unsolved->surfaceArray()[2]->thicknessSolveType(), 0);
  EXPECT_EQ(unsolved->surfaceArray()[2]->thickness(), 1);
}

// A glass that no catalog holds traces with the nd and Vd of its GLAS line. The singlet
// has R1 = 51.68 and a plane back, so f = R1/(n − 1) with n the model glass's index at
// the d line, which is nd itself: 51.68/0.5168 = 100 and 51.68/0.7 = 73.828571. Without
// usable numbers the glass stays a dummy of index 1 and the lens has no power.
TEST(ZemaxParaxial, UnknownGlassTracesWithTheIndexOfItsLine) {
  struct Case {
    const char* glassLine;
    double focalLength;  // NaN: no finite focal length
    const char* warning;
  };
  const double none = std::nan("");
  const std::vector<Case> cases = {
      {"GLAS NOSUCHGLASS 0 0 1.5168 64.17 0 0 0 0", 100.0,
       "Unknown glass NOSUCHGLASS: model glass 1.5168/64.17 from the file used"},
      // Vd 0, as infrared materials are listed: no dispersion, and nothing divides by it.
      {"GLAS NOSUCHGLASS 0 0 1.7 0 0 0 0 0", 51.68 / 0.7, "Unknown glass NOSUCHGLASS: model glass 1.7/0 from the file used"},
      {"GLAS NOSUCHGLASS", none, "Unknown glass: NOSUCHGLASS"},
      {"GLAS NOSUCHGLASS 0 0 1 0 0 0 0 0", none, "Unknown glass: NOSUCHGLASS"},
      // A catalog glass keeps its own index whatever the line says (N-BK7: nd 1.5168).
      {"GLAS N-BK7 0 0 1.7 20 0 0 0 0", 100.0, nullptr},
  };
  const std::string fixture = fixtureText("fixtures/unknown_glass.zmx");
  const std::string original = "GLAS NOSUCHGLASS 0 0 1.5168 64.17 0 0 0 0";
  ASSERT_NE(fixture.find(original), std::string::npos);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.glassLine);
    std::string text = fixture;
    text.replace(text.find(original), original.size(), c.glassLine);
    const ReadOutcome read = readZemaxText(text);
    ASSERT_TRUE(read.dictionary);
    auto lens = regeneratedLens(read);
    const auto f = tracing::numberForKey(lens->paraxialData(), "focalLength");
    if (std::isnan(c.focalLength)) {
      EXPECT_FALSE(f && std::isfinite(*f));
    } else {
      ASSERT_TRUE(f);
      EXPECT_NEAR(*f, c.focalLength, 1e-3);
    }
    EXPECT_EQ(lens->warningReGlass(), c.warning ? std::optional<std::string>(c.warning) : std::nullopt);
    // At any other wavelength the index is finite (Vd 0 gives n = nd throughout).
    EXPECT_TRUE(std::isfinite(lens->surfaceArray()[1]->glass()->indexAtWavelengthInMicrons(0.4861)));
  }
}

}  // namespace orb::interchange::test
