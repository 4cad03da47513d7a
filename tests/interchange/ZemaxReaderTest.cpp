#include "interchange/ZemaxReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "InterchangeTestSupport.h"
#include "interchange/FourCharCode.h"
#include "interchange/LensDictionary.h"
#include "interchange/ZemaxWriter.h"
#include "lens/Aperture.h"
#include "lens/CircularAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Field.h"
#include "lens/Parameter.h"
#include "lens/SpiderAperture.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "tracing/Regeneration.h"

namespace orb::interchange {
namespace {

using lens::Field;
using lens::Surface;
using lens::Wave;
using test::objectsUnder;
using test::readZemaxFile;
using test::readZemaxText;

TEST(ZemaxReader, EmptyTextGivesOneDefaultFieldAndWave) {
  auto r = readZemaxText("");
  ASSERT_TRUE(r.dictionary);
  EXPECT_TRUE(objectsUnder(*r.dictionary, "surfaceArray").empty());
  EXPECT_TRUE(r.dictionary->get("glassArray").asArray().empty());
  auto fields = objectsUnder<Field>(*r.dictionary, "fieldArray");
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0]->x(), 0);
  EXPECT_EQ(fields[0]->y(), 0);
  EXPECT_EQ(fields[0]->weight(), 1);
  auto waves = objectsUnder<Wave>(*r.dictionary, "waveArray");
  ASSERT_EQ(waves.size(), 1u);
  EXPECT_DOUBLE_EQ(waves[0]->wavelengthInMicrons(), 0.55);
  EXPECT_TRUE(waves[0]->isPrimary());
}

TEST(ZemaxReader, DefaultsAndCaseOfCommandWords) {
  auto r = readZemaxText(
      "surface\n disz infinity\nSURF\n RADI\n CURV 0.5\nSURF\n CURV\n DISZ 2.5\n");
  ASSERT_TRUE(r.dictionary);
  auto s = objectsUnder(*r.dictionary, "surfaceArray");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_TRUE(std::isinf(s[0]->thickness()) && s[0]->thickness() > 0);
  EXPECT_EQ(s[1]->curvature(), 0.5);  // RADI without a number: a plane, then CURV
  EXPECT_EQ(s[2]->curvature(), 0);
  EXPECT_EQ(s[2]->thickness(), 2.5);
  EXPECT_EQ(fourCharCodeFromCString("surface"), fourCharCodeFromCString("SURF"));
}

TEST(ZemaxReader, FieldsAndWaves) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<std::pair<double, double>> fields;
    std::vector<double> microns;
    std::vector<double> weights;
    std::size_t primary;
  };
  const std::vector<Case> cases = {
      {"repeat-of-first-field-ends-list", "XFLD 0 0 0\nYFLD 0 5 0\n", {{0, 0}, {0, 5}}, {0.55}, {1}, 0},
      {"wavl-and-pwav", "WAVL 0.486 0.588 0.656\nWWGT 1 2 1\nPWAV 2\n", {{0, 0}}, {0.486, 0.588, 0.656}, {1, 2, 1}, 1},
      {"wavm-slots", "WAVM 1 0.6 0.5\nWAVM 2 0.7 1\nPWAV 2\n", {{0, 0}}, {0.6, 0.7}, {0.5, 1}, 1},
      // Modern files list every slot; FTYP says how many are in use (fields 3, waves 1).
      {"ftyp-counts", "FTYP 0 0 2 1\nXFLN 0 0 0 0\nYFLN 1 2 0 0\nWAVM 1 0.5876 1\nWAVM 2 0.55 1\n",
       {{0, 1}, {0, 2}}, {0.5876}, {1}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = readZemaxText(c.text);
    ASSERT_TRUE(r.dictionary);
    auto fields = objectsUnder<Field>(*r.dictionary, "fieldArray");
    ASSERT_EQ(fields.size(), c.fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(fields[i]->x(), c.fields[i].first);
      EXPECT_EQ(fields[i]->y(), c.fields[i].second);
    }
    auto waves = objectsUnder<Wave>(*r.dictionary, "waveArray");
    ASSERT_EQ(waves.size(), c.microns.size());
    for (std::size_t i = 0; i < waves.size(); ++i) {
      EXPECT_NEAR(waves[i]->wavelengthInMicrons(), c.microns[i], 1e-12);
      EXPECT_EQ(waves[i]->weight(), c.weights[i]);
      EXPECT_EQ(waves[i]->isPrimary(), i == c.primary);
    }
  }
}

// FTYP gives the field type, then a flag and the numbers of fields and wavelengths in use,
// which count whatever the type. real_image_heights.zmx has FTYP 3 0 2 3: two fields at
// real image heights 8 and 13.6 mm and three of its 24 WAVM slots in use.
TEST(ZemaxReader, FieldTypesKeepTheirCounts) {
  struct Case {
    const char* ftyp;
    const char* fieldType;
    const char* message;  // none: the read says nothing of the field type
  };
  const std::vector<Case> cases = {
      {"FTYP 3 0 2 3", "Image height", "real image heights are taken as paraxial"},
      {"FTYP 2 0 2 3", "Image height", nullptr},
      // An unknown type keeps the numbers as they are, as angles, and says so. On the y
      // axis a tangent angle is the lens's angle.
      {"FTYP 7 0 2 3", "Angle", "FTYP 7 is no known field type"},
  };
  std::ifstream in(test::lensFilePath("fixtures/real_image_heights.zmx"));
  std::stringstream file;
  file << in.rdbuf();
  const std::string fixture = file.str();
  ASSERT_NE(fixture.find("FTYP 3 0 2 3"), std::string::npos);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ftyp);
    std::string text = fixture;
    text.replace(text.find("FTYP 3 0 2 3"), 12, c.ftyp);
    auto r = readZemaxText(text);
    ASSERT_TRUE(r.dictionary);
    EXPECT_TRUE(r.troubles.empty());
    EXPECT_EQ(r.dictionary->get("fieldType").asString(), c.fieldType);
    auto fields = objectsUnder<Field>(*r.dictionary, "fieldArray");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0]->y(), 8);
    EXPECT_EQ(fields[1]->y(), 13.6);
    EXPECT_EQ(fields[1]->x(), 0);
    auto waves = objectsUnder<Wave>(*r.dictionary, "waveArray");
    ASSERT_EQ(waves.size(), 3u);
    EXPECT_DOUBLE_EQ(waves[2]->wavelengthInMicrons(), 0.6562725);
    EXPECT_TRUE(waves[1]->isPrimary());
    if (c.message) {
      EXPECT_TRUE(r.logged(c.message));
    } else {
      EXPECT_FALSE(r.logged("FTYP"));
    }
  }
}

// Zemax's angle field (x, y) is the pair of angles whose tangents are the chief ray's
// direction tangents L/N and M/N; the lens's angle turns by the angle off the axis toward
// the field. Hand calculation for (2°, 2°): the direction is ∝ (tan 2°, tan 2°, 1), so
// the angle off the axis is atan(√2 · tan 2°) = 2.8272795° at 45°, and each coordinate is
// that over √2: 1.9991885°. For (60°, 45°): ∝ (√3, 1, 1), off the axis atan 2 = 63.434949°,
// toward atan(1/√3) = 30°: (63.434949° · cos 30°, 63.434949° · sin 30°). Heights are lengths
// and stay as they are.
TEST(ZemaxReader, AngleFieldsTurnTowardTheirDirection) {
  struct Case {
    const char* name;
    const char* text;
    double x, y;
  };
  const double offAxis = std::atan(2.0) * 180 / M_PI;
  const std::vector<Case> cases = {
      {"two-degrees-each", "XFLN 0 2\nYFLN 0 2\n", 1.99918847782036, 1.99918847782036},
      {"sixty-forty-five", "XFLN 0 60\nYFLN 0 45\n", offAxis * std::sqrt(3.0) / 2, offAxis / 2},
      {"on-the-y-axis", "XFLN 0 0\nYFLN 0 12.5\n", 0, 12.5},
      {"without-ftyp-still-angles", "XFLD 0 -2\nYFLD 0 2\n", -1.99918847782036, 1.99918847782036},
      {"object-heights", "FTYP 1\nXFLN 0 2\nYFLN 0 2\n", 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = readZemaxText(c.text);
    ASSERT_TRUE(r.dictionary);
    auto fields = objectsUnder<Field>(*r.dictionary, "fieldArray");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_NEAR(fields[1]->x(), c.x, 1e-12);
    EXPECT_NEAR(fields[1]->y(), c.y, 1e-12);
  }
}

TEST(ZemaxReader, VignettingBecomesPupilLimits) {
  auto r = readZemaxText("YFLD 0 10\nVDYN 0 0.1\nVCYN 0 0.3\n");
  auto fields = objectsUnder<Field>(*r.dictionary, "fieldArray");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_DOUBLE_EQ(fields[1]->PYA(), 0.1 + 0.3 - 1);
  EXPECT_DOUBLE_EQ(fields[1]->PYB(), 0.1 + 1 - 0.3);
  EXPECT_EQ(fields[1]->PXA(), Field::kDefaultPXA);  // no VCXN line
}

TEST(ZemaxReader, BadLineAsksWithItsLineNumber) {
  struct Case {
    const char* name;
    const char* text;
    int line;
    const char* exceptionName;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"mode", "SURF\n\nMODE NSC\n", 3, "Unsupported", "ZEMAX mode must be SEQ"},
      {"surface-type", "SURF\n TYPE NOSUCHTY\n", 2, "OBException", "Unimplemented surface"},
      {"configuration-out-of-range", "SURF\nSURF\nMNUM 2\nTHIC 1 3 5 0\n", 4, "NSRangeException", "configuration 3"},
      {"pickup-of-missing-surface", "SURF\n PCUP 7\n", 2, "NSRangeException", "file surface 7"},
      {"fractional-surface-number", "SURF\nSURF\n PZUP 0.5 2 0\n", 3, "ZemaxError", "0.5 is not an integer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto goOn = readZemaxText(c.text, ZemaxTroubleAnswer::ContinueReading);
    ASSERT_EQ(goOn.troubles.size(), 1u);
    const auto& t = goOn.troubles[0];
    EXPECT_EQ(t.line, c.line);
    EXPECT_EQ(t.message(), platform::format("Trouble at file line %d", c.line));
    EXPECT_EQ(t.exceptionName, c.exceptionName);
    EXPECT_NE(t.exceptionReason.find(c.reason), std::string::npos) << t.exceptionReason;
    EXPECT_NE(t.informativeText().find(std::string(c.exceptionName) + " : "), std::string::npos);
    EXPECT_TRUE(goOn.dictionary) << "Continue reading keeps what was read";

    auto giveUp = readZemaxText(c.text, ZemaxTroubleAnswer::GiveUp);
    EXPECT_FALSE(giveUp.dictionary);
  }
  // Without anyone to ask, the read gives up rather than return half a lens.
  EXPECT_FALSE(readZemaxString("MODE NSC\n", ZemaxReadOptions{"", false, false, {}, [](const std::string&) {}}));
}

// A second MNUM may lower the count after values were recorded for the configurations it
// drops; those values go with them, and a count no design has is refused.
TEST(ZemaxReader, ConfigurationCountFromTheLastMnum) {
  auto r = readZemaxText("SURF\nSURF\nSURF\nMNUM 3\nTHIC 1 3 5 0\nCRVT 2 2 0.1 0\nTHIC 1 1 7 1\nMNUM 1\n");
  ASSERT_TRUE(r.dictionary);
  EXPECT_EQ(r.dictionary->get("numberOfMulticonfigurations").asInt(), 1);
  const auto configurations = r.dictionary->get("multiconfigurationArray").asArray();
  ASSERT_EQ(configurations.size(), 1u);
  using platform::Dictionary;
  EXPECT_EQ(configurations[0],
            platform::Value(Dictionary{{"s1.thickness", Dictionary{{"value", 7.0}, {"isVariable", true}}}}));

  auto huge = readZemaxText("SURF\nMNUM 2000000000\n", ZemaxTroubleAnswer::ContinueReading);
  ASSERT_EQ(huge.troubles.size(), 1u);
  EXPECT_EQ(huge.troubles[0].exceptionName, "ZemaxError");
}

TEST(ZemaxReader, PassedOverCodesAreLoggedAndMeritLinesKept) {
  auto r = readZemaxText(
      "FTYX\nFIMP 3\nGSTD 0 1\nCONF 1\n  EFFL  0 1 ; trailing\nPRAM 1 2\nVERS 1\nWAVM 1 0.5 1\nMNUM 0\n");
  ASSERT_TRUE(r.dictionary);
  EXPECT_TRUE(r.troubles.empty()) << "FTYX is a code like any other unknown one";
  EXPECT_TRUE(r.logged("test[1] {unknown code} <FTYX>"));
  EXPECT_TRUE(r.logged("test[2] {unknown code} <FIMP 3>"));
  EXPECT_TRUE(r.logged("test[3] ZEMAX code GSTD is not yet implemented"));
  EXPECT_TRUE(r.logged("multiconfiguration operator ignored: <PRAM 1 2>"));
  EXPECT_FALSE(r.logged("VERS"));
  EXPECT_FALSE(r.logged("WAVM"));
  auto merit = r.dictionary->get("meritFunction").asArray();
  ASSERT_EQ(merit.size(), 2u);
  EXPECT_EQ(merit[1].asString(), "EFFL  0 1 ; trailing");
  EXPECT_TRUE(r.dictionary->get("multiconfigurationArray").asArray().empty());
}

TEST(ZemaxReader, SystemLines) {
  auto r = readZemaxText(
      "NAME  My lens \nNOTE 0 first\nNOTE 0 Notes...\nNOTE 1 second\nUNIT MM X\nGCAT schott ohara\nRAIM 0 1\n"
      "FTYP 1\nOBNA 12.5 1\nPUPD 1 2\n");
  const auto& d = *r.dictionary;
  EXPECT_EQ(d.get("systemName").asString(), "My lens");
  EXPECT_EQ(d.get("notes").asString(), "first\nsecond");
  EXPECT_EQ(d.get("unitCode").asString(), "MM");
  EXPECT_EQ(d.get("zemaxCatalogString").asString(), "schott ohara");
  EXPECT_EQ(d.get("preferredCatalogs"), platform::Value(platform::Array{"SCHOTT", "OHARA"}));
  EXPECT_TRUE(d.get("useRayAiming").asBool());
  EXPECT_EQ(d.get("fieldType").asString(), "Object height");
  EXPECT_EQ(d.get("sourceDivergenceType").asInt(), 5);  // PUPD does not override
  EXPECT_EQ(d.get("sourceDivergenceValue").asDouble(), 12.5);
}

// --- one hand-written file per feature family --------------------------------------------

TEST(ZemaxReaderFixtures, Apertures) {
  auto r = readZemaxFile("fixtures/apertures.zmx");
  ASSERT_TRUE(r.dictionary);
  auto s = objectsUnder(*r.dictionary, "surfaceArray");
  ASSERT_EQ(s.size(), 10u);
  struct Expected {
    std::size_t surface;
    const char* className;
    double a, b;
  };
  const std::vector<Expected> expected = {
      {1, "CircularAperture", 1, 5},      {2, "CircularObscuration", 0, 2}, {3, "RectangularAperture", 3, 4},
      {4, "RectangularObscuration", 1, 2}, {5, "EllipticalAperture", 3, 2},  {6, "EllipticalObscuration", 1.5, 0.5},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.className);
    const auto& a = s[e.surface]->apertureObject();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->className(), e.className);
    const bool circular = std::string(e.className).find("Circular") != std::string::npos;
    EXPECT_EQ(circular ? a->rMin() : a->xRadius(), e.a);
    EXPECT_EQ(circular ? a->rMax() : a->yRadius(), e.b);
  }
  EXPECT_EQ(s[1]->apertureObject()->decenterX(), 0.5);
  EXPECT_EQ(s[1]->apertureObject()->decenterY(), -0.25);
  auto spider = std::dynamic_pointer_cast<lens::SpiderAperture>(s[7]->apertureObject());
  ASSERT_TRUE(spider);
  EXPECT_EQ(spider->numberOfArms(), 4);
  EXPECT_EQ(spider->widthOfArms(), 0.2);
  EXPECT_EQ(s[8]->apertureObject()->className(), "FloatingAperture");
  EXPECT_FALSE(s[9]->apertureObject());
}

TEST(ZemaxReaderFixtures, Solves) {
  auto r = readZemaxFile("fixtures/solves.zmx");
  ASSERT_TRUE(r.dictionary);
  EXPECT_TRUE(r.troubles.empty());
  auto s = objectsUnder(*r.dictionary, "surfaceArray");
  ASSERT_EQ(s.size(), 9u);
  EXPECT_EQ(r.dictionary->get("sourceDivergenceType").asInt(), 4);
  EXPECT_EQ(s[1]->curvatureSolveType(), 1);
  EXPECT_EQ(s[1]->thicknessSolveType(), 1);
  EXPECT_EQ(s[2]->curvatureSolveType(), 2);
  EXPECT_EQ(s[2]->curvatureSolveTarget(), -0.25);
  EXPECT_EQ(s[2]->thicknessSolveType(), 2);
  EXPECT_EQ(s[2]->thicknessSolveTarget(), 0.5);
  EXPECT_EQ(s[2]->thicknessSolveZone(), 0.7);
  EXPECT_EQ(s[3]->curvatureSolveType(), 3);
  EXPECT_EQ(s[3]->curvatureSolveTarget(), 0.1);
  EXPECT_EQ(s[3]->thicknessSolveType(), 3);
  EXPECT_EQ(s[3]->thicknessSolveTarget(), 0.2);
  EXPECT_EQ(s[4]->curvatureSolveType(), 5);
  EXPECT_EQ(s[4]->conicSolveType(), 1);
  EXPECT_EQ(s[4]->conicConstant(), -1);
  EXPECT_EQ(s[4]->thicknessSolveType(), 6);
  EXPECT_EQ(s[5]->curvatureSolveType(), 6);
  EXPECT_EQ(s[5]->thicknessSolveType(), 8);
  EXPECT_EQ(s[5]->thicknessSolveSurface(), s[1]);
  EXPECT_EQ(s[5]->thicknessSolveTarget(), 12);
  EXPECT_EQ(s[6]->curvatureSolveType(), 7);
  EXPECT_EQ(s[6]->thicknessSolveType(), 7);
  EXPECT_EQ(s[6]->thicknessSolveSurface(), s[2]);
  EXPECT_EQ(s[7]->thicknessSolveType(), 9);
  EXPECT_EQ(s[7]->thicknessSolveSurface(), s[6]);

  ZemaxReadOptions options;
  options.removeSolves = true;
  options.log = [](const std::string&) {};
  std::ifstream in(test::lensFilePath("fixtures/solves.zmx"));
  std::stringstream text;
  text << in.rdbuf();
  auto cleared = readZemaxString(text.str(), options);
  for (const auto& surface : objectsUnder(*cleared, "surfaceArray")) {
    EXPECT_LE(surface->thicknessSolveType(), 1) << "variables stay";
    EXPECT_LE(surface->curvatureSolveType(), 1);
  }
}

TEST(ZemaxReaderFixtures, Pickups) {
  auto r = readZemaxFile("fixtures/pickups.zmx");
  ASSERT_TRUE(r.dictionary);
  auto s = objectsUnder(*r.dictionary, "surfaceArray");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(r.dictionary->get("sourceDivergenceType").asInt(), 2);
  EXPECT_EQ(s[2]->curvatureSolveType(), 4);
  EXPECT_EQ(s[2]->curvatureSolveSurface(), s[1]);
  EXPECT_EQ(s[2]->curvatureSolveScale(), -1);
  EXPECT_EQ(s[2]->conicSolveType(), 2);
  EXPECT_EQ(s[2]->conicSolveSurface(), s[1]);
  EXPECT_EQ(s[2]->conicSolveScale(), 2);
  EXPECT_EQ(s[2]->thicknessSolveType(), 5);
  EXPECT_EQ(s[2]->thicknessSolveSurface(), s[1]);
  EXPECT_EQ(s[2]->thicknessSolveScale(), 2);
  EXPECT_EQ(s[2]->thicknessSolveOffset(), 0.5);
  EXPECT_EQ(s[2]->glassSolveType(), 1);
  EXPECT_EQ(s[2]->glassSolveSurface(), s[1]);
  EXPECT_EQ(s[2]->glassName(), "SF5");
  EXPECT_EQ(s[2]->semidiameterSolveType(), 2);
  EXPECT_EQ(s[2]->semidiameterSolveSurface(), s[1]);
  EXPECT_EQ(s[1]->semidiameterSolveType(), 1);
  EXPECT_EQ(s[1]->semidiameter(), 6);
}

TEST(ZemaxReaderFixtures, CoordinateBreaksAndConfigurations) {
  auto r = readZemaxFile("fixtures/breaks.zmx");
  ASSERT_TRUE(r.dictionary);
  auto s = objectsUnder(*r.dictionary, "surfaceArray");
  // SCBD 2 appends after surface 1; SCBD 1 goes before surface 2.
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[2]->comment(), "SCBD 2");
  EXPECT_EQ(s[2]->parameterValue("rz"), 7);
  EXPECT_EQ(s[2]->parameterValue("order"), 0) << "Zemax's order 1 is the lens's 0";
  EXPECT_EQ(s[3]->comment(), "SCBD 1");
  EXPECT_EQ(s[3]->parameterValue("dx"), 1.5);
  EXPECT_EQ(s[3]->parameterValue("dy"), -2);
  EXPECT_EQ(s[3]->parameterValue("rx"), 5);
  EXPECT_TRUE(s[4]->isMirror());
  ASSERT_TRUE(s[5]->isCoordinateBreak());
  EXPECT_EQ(s[5]->parameterValue("dx"), 0.25);
  EXPECT_EQ(s[5]->parameterValue("rx"), 45);
  EXPECT_EQ(s[5]->parameterValue("order"), 0);
  EXPECT_EQ(s[5]->thickness(), -5);

  // Configuration keys name the lens surfaces, past the inserted breaks.
  auto configurations = r.dictionary->get("multiconfigurationArray").asArray();
  ASSERT_EQ(configurations.size(), 2u);
  using platform::Dictionary;
  EXPECT_EQ(configurations[0].asDictionary().get("s4.thickness"),
            platform::Value(Dictionary{{"value", 20.0}, {"isVariable", false}}));
  EXPECT_EQ(configurations[1].asDictionary().get("s4.thickness"),
            platform::Value(Dictionary{{"value", 25.0}, {"isVariable", true}}));
  EXPECT_EQ(configurations[1].asDictionary().get("s6.curvature").asDictionary().get("value").asDouble(), 0.125);
}

// Where the frame after each break of break_orders.zmx stands in the frame the break acts
// on. In Zemax text order 0 decentres first and then tilts about x, then y, then z; any
// other order tilts about z, y, x and then decentres. With c = cos, s = sin and the
// rotation about x taking the z axis to (0, −s, c), about y to (−s, 0, c):
// - dy 10, rx 10°, decentre first: origin (0, 10, 0), z axis (0, −s10, c10);
// - the same tilting first: the decentre turns with the frame, origin (0, 10 c10, 10 s10);
// - rx 30°, ry 40°, decentre first: z = Rx·Ry·ez = (−s40, −s30 c40, c30 c40);
// - the same tilting first (z about the y-turned x): z = Ry·Rx·ez = (−s40 c30, −s30, c40 c30).
struct BreakFrameCase {
  const char* name;
  std::size_t breakIndex;  // in the lens's surfaces
  foundation::XYZ origin, zAxis;
};

std::vector<BreakFrameCase> breakFrameCases() {
  const double r = M_PI / 180, s10 = std::sin(10 * r), c10 = std::cos(10 * r), s30 = std::sin(30 * r),
               c30 = std::cos(30 * r), s40 = std::sin(40 * r), c40 = std::cos(40 * r);
  const foundation::XYZ tilt10{0, -s10, c10};
  return {
      {"decentre first", 2, {0, 10, 0}, tilt10},
      {"tilt first", 4, {0, 10 * c10, 10 * s10}, tilt10},
      {"two tilts, decentre first", 6, {0, 0, 0}, {-s40, -s30 * c40, c30 * c40}},
      {"two tilts, tilt first", 8, {0, 0, 0}, {-s40 * c30, -s30, c40 * c30}},
      {"no order given", 10, {0, 10, 0}, tilt10},
      {"SCBD order 0", 12, {0, 10, 0}, tilt10},
      {"SCBD order 1", 14, {0, 10 * c10, 10 * s10}, tilt10},
  };
}

void expectBreakFrames(const lens::Lens& lens) {
  const auto& s = lens.surfaceArray();
  ASSERT_EQ(s.size(), 16u);
  // The first break acts 20 mm behind the stop: its decentre puts the next vertex at
  // (0, 10, 20), not at (0, 9.848, 21.736) as tilting first would.
  const foundation::XYZ first = s[3]->transform().transformToGlobal({0, 0, 0});
  EXPECT_NEAR(first.x, 0, 1e-12);
  EXPECT_NEAR(first.y, 10, 1e-12);
  EXPECT_NEAR(first.z, 20, 1e-12);
  for (const auto& c : breakFrameCases()) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(s[c.breakIndex]->isCoordinateBreak());
    const auto& before = s[c.breakIndex - 1]->transform();
    const auto& after = s[c.breakIndex + 1]->transform();
    foundation::XYZ origin = before.transformFromGlobal(after.transformToGlobal({0, 0, 0}));
    origin.z -= s[c.breakIndex - 1]->thickness();
    const foundation::XYZ z = before.rotateFromGlobal(after.rotateToGlobal({0, 0, 1}));
    EXPECT_NEAR(origin.x, c.origin.x, 1e-12);
    EXPECT_NEAR(origin.y, c.origin.y, 1e-12);
    EXPECT_NEAR(origin.z, c.origin.z, 1e-12);
    EXPECT_NEAR(z.x, c.zAxis.x, 1e-12);
    EXPECT_NEAR(z.y, c.zAxis.y, 1e-12);
    EXPECT_NEAR(z.z, c.zAxis.z, 1e-12);
  }
}

TEST(ZemaxReaderFixtures, BreakOrderDecidesWhetherTheDecentreTurns) {
  tracing::registerSystemGenerator();
  auto r = readZemaxFile("fixtures/break_orders.zmx");
  ASSERT_TRUE(r.dictionary);
  ASSERT_TRUE(r.troubles.empty());
  auto lens = test::lensFromDictionary(*r.dictionary);
  lens->generateSystemFromParaxialSpecification();
  {
    SCOPED_TRACE("read");
    expectBreakFrames(*lens);
  }
  // Written and read again, the breaks stand where they stood.
  const std::string text = zemaxStringForModel(lensDictionaryFromLens(*lens), [](const std::string&) {});
  auto back = readZemaxText(text);
  ASSERT_TRUE(back.dictionary);
  auto again = test::lensFromDictionary(*back.dictionary);
  again->generateSystemFromParaxialSpecification();
  {
    SCOPED_TRACE("written and read again");
    expectBreakFrames(*again);
  }
}

// The glass a name means: the name as written, in whichever catalog of the search order
// holds it, before a variant spelling ("N-" + name); and, where several makers use a
// name, the first of SCHOTT, OHARA, HOYA, CDGM, SUMITA, HIKARI, then MISC and INFRARED.
TEST(ZemaxReaderFixtures, GlassNamesMeanTheGlassOfThatName) {
  struct Case {
    const char* file;
    std::size_t surface;
    const char* glass;
    const char* catalog;
  };
  const std::vector<Case> cases = {
      {"fixtures/schott_lead_glasses.zmx", 1, "SF5", "SCHOTT"},
      {"fixtures/schott_lead_glasses.zmx", 2, "SF1", "SCHOTT"},
      {"fixtures/schott_lead_glasses.zmx", 3, "N-BK7", "SCHOTT"},  // no catalog has BK7
      {"fixtures/bare_glass_names.zmx", 1, "F2", "SCHOTT"},
      {"fixtures/bare_glass_names.zmx", 2, "BAF2", "CDGM"},  // the barium flint, not the crystal
      {"fixtures/bare_glass_names.zmx", 3, "SF5", "SCHOTT"},
      {"fixtures/bare_glass_names.zmx", 4, "F_SILICA", "MISC"},
      {"fixtures/bare_glass_names.zmx", 5, "CAF2", "MISC"},
      {"fixtures/bare_glass_names.zmx", 6, "GERMANIUM", "INFRARED"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.glass);
    auto r = readZemaxFile(c.file);
    ASSERT_TRUE(r.dictionary);
    auto lens = test::lensFromDictionary(*r.dictionary);
    const auto& glass = lens->surfaceArray()[c.surface]->glass();
    ASSERT_TRUE(glass);
    EXPECT_FALSE(glass->isDummy());
    EXPECT_EQ(glass->name(), c.glass);
    EXPECT_EQ(glass->catalogName(), c.catalog);
  }
}

TEST(ZemaxReaderFixtures, ParametersAndModelGlass) {
  auto r = readZemaxFile("fixtures/parameters.zmx");
  ASSERT_TRUE(r.dictionary);
  auto s = objectsUnder(*r.dictionary, "surfaceArray");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[1]->parameterValue("a2"), 1e-3);
  EXPECT_EQ(s[1]->parameterValue("a4"), 2.5e-5);
  EXPECT_EQ(s[1]->parameterValue("a6"), -1e-7);
  EXPECT_EQ(s[1]->parameterForTitle("a4")->solveType(), lens::Parameter::kVariable);
  const auto& glass = s[1]->glass();
  ASSERT_TRUE(glass);
  EXPECT_TRUE(glass->isModel());
  EXPECT_EQ(glass->referenceIndex(), 1.6);
  EXPECT_EQ(glass->referenceAbbe(), 42);
  EXPECT_TRUE(glass->dynamicName());
  EXPECT_TRUE(glass->referenceIndexIsVariable());
  EXPECT_FALSE(glass->referenceAbbeIsVariable());

  auto pickup = s[2]->parameterForTitle("a6");
  EXPECT_EQ(pickup->solveType(), lens::Parameter::kPickup);
  EXPECT_EQ(pickup->solveSurface(), s[1]);
  EXPECT_EQ(pickup->solveScale(), 2);
  EXPECT_EQ(pickup->solveOffset(), 0.5);
  // An even asphere has ten coefficients; extra data continue after them.
  EXPECT_EQ(s[2]->parameterValue("a4"), 7);
  EXPECT_TRUE(r.logged("ignoring this nontrivial extra datum"));
}

TEST(ZemaxReaderFixtures, GlassSectionAfterCsum) {
  auto r = readZemaxFile("fixtures/glass_section.zmx");
  ASSERT_TRUE(r.dictionary);
  EXPECT_TRUE(r.messages.empty()) << r.messages.front();
  auto glasses = objectsUnder<materials::Glass>(*r.dictionary, "glassArray");
  ASSERT_EQ(glasses.size(), 1u);
  EXPECT_EQ(glasses[0]->name(), "MYGLASS");
  EXPECT_EQ(objectsUnder(*r.dictionary, "surfaceArray").size(), 4u);

  auto lens = test::lensFromDictionary(*r.dictionary);
  ASSERT_GE(lens->countOfGlassArray(), 1u);
  EXPECT_EQ(lens->glassArray()[0], glasses[0]);
  ASSERT_TRUE(lens->surfaceArray()[1]->glass());
  EXPECT_FALSE(lens->surfaceArray()[1]->glass()->isDummy());
  EXPECT_NEAR(lens->surfaceArray()[1]->glass()->indexAtWavelengthInMicrons(0.5875618), 1.5168, 1e-4);
}

}  // namespace
}  // namespace orb::interchange
