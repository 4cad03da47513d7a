#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "InterchangeTestSupport.h"
#include "interchange/OsloReader.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "materials/GlassWithIndexData.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/Regeneration.h"

namespace orb::interchange::test {
namespace {

using platform::Dictionary;

struct OsloOutcome {
  std::optional<Dictionary> dictionary;
  std::vector<std::string> messages;
  std::vector<ZemaxTrouble> troubles;
  bool logged(const std::string& part) const {
    for (const auto& m : messages)
      if (m.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::shared_ptr<lens::Surface>> surfaces() const { return objectsUnder(*dictionary, "surfaceArray"); }
  double number(const char* key) const { return dictionary->get(key).asDouble(); }
};

OsloOutcome readOslo(const std::string& text, bool infiniteConjugate = true) {
  OsloOutcome out;
  PrescriptionReadOptions options;
  options.source = "test";
  options.handleInfiniteConjugate = infiniteConjugate;
  options.log = [&out](const std::string& m) { out.messages.push_back(m); };
  options.onTrouble = [&out](const ZemaxTrouble& t) {
    out.troubles.push_back(t);
    return ZemaxTroubleAnswer::ContinueReading;
  };
  out.dictionary = readOsloString(text, options);
  return out;
}

std::string fixture(const std::string& name) {
  std::ifstream in(lensFilePath("fixtures/" + name));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

// The apertures, waves and fields that single lines give.
TEST(OsloReader, SystemLinesSetTheirKeys) {
  struct Case {
    const char* text;
    double type, value;
  };
  const Case cases[] = {
      {"EBR 5", 0, 10},
      {"PUK 0.1", 6, 0.0995037190209989},  // sin(atan 0.1) = 0.1 / sqrt(1.01)
      {"FNO 2.8", 1, 2.8},
      {"NAO 0.25", 2, 0.25},
      {"NAP 0.1", 6, 0.1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto r = readOslo(std::string("LEN \"x\"\n") + c.text + "\n");
    EXPECT_EQ(r.number("sourceDivergenceType"), c.type);
    EXPECT_NEAR(r.number("sourceDivergenceValue"), c.value, 1e-15);
  }
  // No WV: one wave of 0.55 µm, weight 1.
  const auto bare = readOslo("LEN \"x\"\nTH 10\n");
  const auto waves = objectsUnder<lens::Wave>(*bare.dictionary, "waveArray");
  ASSERT_EQ(waves.size(), 1u);
  EXPECT_NEAR(waves[0]->wavelengthInMicrons(), 0.55, 1e-15);
  EXPECT_EQ(waves[0]->weight(), 1);
  // OBH: two fields, on axis and at the height.
  const auto obh = readOslo("LEN \"x\"\nOBH 3.5\n");
  EXPECT_EQ(obh.dictionary->get("fieldType").asString(), "Object height");
  const auto fields = objectsUnder<lens::Field>(*obh.dictionary, "fieldArray");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1]->y(), 3.5);
}

// A hand-written singlet: R1 = 51.68 in a glass of n = 1.5168 at the first wavelength,
// so 1/f = 0.5168/51.68 and f = 100 whatever the thickness; the back focus the file gives,
// f − t/n = 97.362869, is where the image surface stands.
TEST(OsloReader, SingletFileGivesTheHandCalculatedFocalLength) {
  const auto r = readOslo(fixture("oslo_singlet.len"));
  ASSERT_TRUE(r.dictionary);
  EXPECT_TRUE(r.troubles.empty());
  EXPECT_EQ(r.dictionary->get("systemName").asString(), "Hand singlet");
  EXPECT_EQ(r.dictionary->get("designer").asString(), "Orbelline tests");
  EXPECT_EQ(r.dictionary->get("notes").asString(), "first note\nsecond note");
  const auto s = r.surfaces();
  ASSERT_EQ(s.size(), 4u);  // the last NXT surface has thickness 0: it is the image
  EXPECT_EQ(s[0]->thickness(), kInf);
  EXPECT_TRUE(s[1]->isStop());
  EXPECT_EQ(s[1]->comment(), "front");
  EXPECT_EQ(s[1]->semidiameter(), 12);
  auto glass = std::dynamic_pointer_cast<materials::GlassWithIndexData>(s[1]->glass());
  ASSERT_TRUE(glass);
  EXPECT_EQ(glass->version().value_or(""), "OSLO");
  EXPECT_NEAR(glass->indexAtWavelengthInMicrons(0.48613), 1.52238, 1e-12);
  EXPECT_TRUE(s[2]->apertureObject());  // AP CHK: a floating aperture

  tracing::registerSystemGenerator();
  auto lens = lensFromDictionary(*r.dictionary);
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  lens->generateSystemFromParaxialSpecification();
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  EXPECT_NEAR(*tracing::numberForKey(lens->paraxialData(), "focalLength"), 51.68 / 0.5168, 1e-9);
  EXPECT_NEAR(100.0 - 4.0 / 1.5168, 97.362869, 1e-6);
}

// Tilts, breaks, aspheres and pickups of one hand-made file, surface by surface.
TEST(OsloReader, FeaturesFileBuildsBreaksAspheresAndPickups) {
  const auto r = readOslo(fixture("oslo_features.len"));
  ASSERT_TRUE(r.dictionary);
  const auto s = r.surfaces();
  // object, TILTOBJ, asphere, odd asphere, T/D, mirror, BEN, last (image: thickness 0)
  ASSERT_EQ(s.size(), 8u);
  EXPECT_EQ(s[0]->thickness(), 0);
  ASSERT_TRUE(s[1]->isCoordinateBreak());
  EXPECT_EQ(s[1]->comment(), "TILTOBJ");
  EXPECT_EQ(s[1]->parameterValue("rx").value_or(0), 10);
  EXPECT_EQ(s[1]->thickness(), 50);
  // AD a4 a6 (a8 a10 preset 0), then AE a6 a8 a10: coefficients only, no new surface.
  EXPECT_EQ(s[2]->type(), "Asphere");
  EXPECT_EQ(s[2]->parameterValue("a4").value_or(0), 1e-5);
  EXPECT_EQ(s[2]->parameterValue("a6").value_or(1), 3e-10);
  EXPECT_EQ(s[2]->conicConstant(), -1);
  EXPECT_EQ(s[2]->glassName().value_or(""), "N-BK7");
  EXPECT_EQ(s[3]->type(), "Odd Asphere");
  EXPECT_EQ(s[3]->parameterValue("a3").value_or(0), 0.001);
  EXPECT_DOUBLE_EQ(s[3]->curvature(), -1 / 40.0);  // PK CVM -1: minus surface 2's
  ASSERT_TRUE(s[4]->isCoordinateBreak());
  EXPECT_EQ(s[4]->comment(), "T/D");
  EXPECT_EQ(s[4]->parameterValue("rx").value_or(0), -3);
  EXPECT_EQ(s[4]->parameterValue("dy").value_or(0), 2);
  EXPECT_EQ(s[4]->parameterValue("order").value_or(0), 1);  // DT 1
  EXPECT_TRUE(s[5]->isMirror());
  EXPECT_EQ(s[5]->thickness(), 0);
  ASSERT_TRUE(s[6]->isCoordinateBreak());
  EXPECT_EQ(s[6]->comment(), "BEN");
  EXPECT_EQ(s[6]->thickness(), -20);
  EXPECT_EQ(s[7]->thickness(), 0);  // TH 0 after PK THM: the last surface is the image
  // PK CV -9 names no surface: a trouble, nothing copied. PI 0.2 only warns.
  ASSERT_EQ(r.troubles.size(), 1u);
  EXPECT_NE(r.troubles[0].exceptionReason.find("does not exist"), std::string::npos);
  EXPECT_TRUE(r.logged("paraxial axial ray angle of incidence solve ignored"));
  EXPECT_EQ(s[7]->curvatureSolveType(), 0);
}

// Pickup THM takes the source thickness, negated after an odd number of reflections.
TEST(OsloReader, ThicknessPickupFollowsTheMirrorSign) {
  const auto once = readOslo("LEN \"x\"\nTH 1\nNXT\nTH 7\nNXT\nRFL\nTH -3\nNXT\nPK THM -2 0\n");
  EXPECT_EQ(once.surfaces()[3]->thickness(), -7);
  const auto none = readOslo("LEN \"x\"\nTH 1\nNXT\nTH 7\nNXT\nPK THM -1 0\n");
  EXPECT_EQ(none.surfaces()[2]->thickness(), 7);
}

// The object distance: kept as read with the default off; made infinite with the default
// on, with two angle fields from the object's semidiameter when the file gives none.
TEST(OsloReader, InfiniteConjugate) {
  const std::string text = "LEN \"x\"\nTH 1e12\nAP 1e11\nNXT\nTH 5\n";
  const auto off = readOslo(text, false);
  EXPECT_EQ(off.surfaces()[0]->thickness(), 1e12);
  const auto on = readOslo(text, true);
  EXPECT_EQ(on.surfaces()[0]->thickness(), kInf);
  const auto fields = objectsUnder<lens::Field>(*on.dictionary, "fieldArray");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_NEAR(fields[1]->y(), std::atan(0.1) * 180 / 3.141592653589793, 1e-12);
  // A last surface of thickness 5 gets an image surface after it.
  ASSERT_EQ(on.surfaces().size(), 3u);
  EXPECT_EQ(on.surfaces()[2]->comment(), "image");
}

// A glass's index list and the wavelengths must pair up: the shorter count is used.
TEST(OsloReader, IndexListsLongerThanTheWavelengthsUseTheShorter) {
  const auto r = readOslo("LEN \"x\"\nWV 0.5 0.6\nTH 1\nNXT\nGLA G 1.6 1.59 1.58\nTH 2\n");
  auto glass = std::dynamic_pointer_cast<materials::GlassWithIndexData>(r.surfaces()[1]->glass());
  ASSERT_TRUE(glass);
  EXPECT_EQ(glass->indexData().size(), 2u);
  EXPECT_EQ(glass->dataWavelengthUnits(), "micron");
  EXPECT_TRUE(r.logged("3 indices for 2 wavelengths"));
  EXPECT_NEAR(glass->indexAtWavelengthInMicrons(0.6), 1.59, 1e-12);
}

// Damaged text opens with what could be read: no crash, no exception, troubles reported.
TEST(OsloReader, MalformedFileReadsWithoutHarm) {
  const auto r = readOslo(fixture("oslo_malformed.len"));
  ASSERT_TRUE(r.dictionary);
  EXPECT_FALSE(r.troubles.empty());
  EXPECT_LE(objectsUnder<lens::Wave>(*r.dictionary, "waveArray").size(), 10u);
  for (const auto& s : r.surfaces()) EXPECT_TRUE(s);
  for (const char* text : {"", "\n\n", "\x01\x02\xff", "LEN", "NXT\nNXT\nPK CV -1", "AS12 1\nAD 1 2 3 4 5 6"})
    EXPECT_TRUE(readOslo(text).dictionary) << text;
}

}  // namespace orb::interchange::test
