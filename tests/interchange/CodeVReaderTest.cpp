#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "InterchangeTestSupport.h"
#include "interchange/CodeVReader.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "materials/GlassWithIndexData.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"
#include "tracing/Regeneration.h"

namespace orb::interchange::test {
namespace {

using platform::Dictionary;

struct CodeVOutcome {
  std::optional<Dictionary> dictionary;
  std::vector<std::string> messages;
  std::vector<ZemaxTrouble> troubles;
  bool logged(const std::string& part) const {
    for (const auto& m : messages)
      if (m.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::shared_ptr<lens::Surface>> surfaces() const { return objectsUnder(*dictionary, "surfaceArray"); }
};

CodeVOutcome readCodeV(const std::string& text, ZemaxTroubleAnswer answer = ZemaxTroubleAnswer::ContinueReading) {
  CodeVOutcome out;
  PrescriptionReadOptions options;
  options.source = "test";
  options.log = [&out](const std::string& m) { out.messages.push_back(m); };
  options.onTrouble = [&out, answer](const ZemaxTrouble& t) {
    out.troubles.push_back(t);
    return answer;
  };
  out.dictionary = readCodeVString(text, options);
  return out;
}

CodeVOutcome readCodeVFile(const std::string& name) {
  std::string why;
  auto decoded = readTextFile(lensFilePath(name), &why);
  EXPECT_TRUE(decoded) << why;
  return decoded ? readCodeV(decoded->text) : CodeVOutcome{};
}

std::shared_ptr<lens::Lens> regenerated(const Dictionary& d) {
  tracing::registerSystemGenerator();
  auto lens = lensFromDictionary(d);
  lens->setAutoloadCatalogType("ZEMAX");
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

double focalLength(const lens::Lens& lens) { return tracing::numberForKey(lens.paraxialData(), "focalLength").value_or(NAN); }
double pupilDiameter(const lens::Lens& lens) {
  return tracing::numberForKey(lens.paraxialData(), "entrancePupilDiameter").value_or(NAN);
}

const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

// Every CODE V file of the shared set opens, and its focal length and F-number are those
// of a y-nu trace of the file's prescription (tests/interchange/codev_paraxial_reference.py,
// indices from the makers' Sellmeier coefficients). Values are radii unless RDM N says
// curvatures: singlet.seq and landscape_lens.seq, written for another reader, hold
// curvature-sized numbers without RDM N and so are lenses of sub-millimetre radii.
TEST(CodeVReader, SharedFilesGiveTheHandTracedFirstOrderData) {
  struct Case {
    const char* file;
    double focalLength;
    double fNumber;
  };
  const Case cases[] = {
      {"cooke_triplet.seq", 50.33437051, 5.033437051},
      {"asphere.seq", 60.32874417, 12.06574883},
      {"fno_fields.seq", 98.10316324, 4},
      {"landscape_lens.seq", -1.33388353, -1.33388353},
      {"mirror.seq", 100, 5},
      {"paraboloid.seq", 100, 1},
      {"rc_f16.seq", 31702.2156, 4.000380527},
      {"schmidt.seq", 99.9996958, 1.333329277},
      {"singlet.seq", -0.05122041318, 5},
      {"telescope_objective.seq", 47.99387001, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto read = readCodeVFile(c.file);
    ASSERT_TRUE(read.dictionary);
    // Only schmidt.seq holds a command the reader does not know ("AC 0" on line 22).
    std::vector<int> troubleLines;
    for (const auto& t : read.troubles) troubleLines.push_back(t.line);
    EXPECT_EQ(troubleLines, std::string(c.file) == "schmidt.seq" ? std::vector<int>{22} : std::vector<int>{});
    auto lens = regenerated(*read.dictionary);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    for (const auto& s : lens->surfaceArray())
      EXPECT_TRUE(s->glassIsGood()) << s->glassName().value_or("") << " in " << c.file;
    const double f = focalLength(*lens);
    EXPECT_NEAR(f, c.focalLength, 2e-6 * std::abs(c.focalLength));
    EXPECT_NEAR(f / pupilDiameter(*lens), c.fNumber, 2e-6 * std::abs(c.fNumber));
  }
}

// The Cooke triplet as the file lists it: surfaces with radius, thickness, glass and stop;
// fields; wavelengths with the reference one primary; the object at CODE V's infinity.
TEST(CodeVReader, CookeTripletMatchesTheFileLineForLine) {
  const auto read = readCodeVFile("cooke_triplet.seq");
  ASSERT_TRUE(read.dictionary);
  EXPECT_TRUE(read.troubles.empty());
  const auto& d = *read.dictionary;
  EXPECT_EQ(d.get("systemName").asString(), "Cooke Triplet");
  EXPECT_EQ(d.get("sourceDivergenceType").asDouble(), 0);
  EXPECT_EQ(d.get("sourceDivergenceValue").asDouble(), 10.0);
  struct Row {
    double radius, thickness;
    const char* glass;
    bool stop;
  };
  const Row rows[] = {{kInf, kInf, "", false},
                      {22.01359, 3.795568, "N-SK16_SCHOTT", true},
                      {-435.7602, 6.0, "", false},
                      {-22.21328, 2.0, "F2_SCHOTT", false},
                      {20.29192, 4.750246, "", false},
                      {79.68360, 2.720573, "N-SK16_SCHOTT", false},
                      {-18.39533, 42.20170, "", false},
                      {kInf, 0, "", false}};
  const auto surfaces = read.surfaces();
  ASSERT_EQ(surfaces.size(), std::size(rows));  // SI is the image surface: no second one
  for (std::size_t i = 0; i < surfaces.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& s = *surfaces[i];
    if (std::isinf(rows[i].radius))
      EXPECT_EQ(s.curvature(), 0);
    else
      EXPECT_DOUBLE_EQ(1 / s.curvature(), rows[i].radius);
    EXPECT_EQ(s.thickness(), rows[i].thickness);
    EXPECT_EQ(s.glassName().value_or(""), rows[i].glass);
    EXPECT_EQ(s.isStop(), rows[i].stop);
  }
  const auto fields = objectsUnder<lens::Field>(d, "fieldArray");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(d.get("fieldType").asString(), "Angle");
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(fields[i]->x(), 0);
    EXPECT_EQ(fields[i]->y(), 7.0 * static_cast<double>(i));
  }
  const auto waves = objectsUnder<lens::Wave>(d, "waveArray");
  ASSERT_EQ(waves.size(), 3u);
  const double nm[] = {486.1, 587.6, 656.3};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(waves[i]->wavelengthInMicrons() * 1000, nm[i], 1e-9);
    EXPECT_EQ(waves[i]->weight(), 1);
    EXPECT_EQ(waves[i]->isPrimary(), i == 1);
  }
  // The glasses are the maker's: n at the d line from SCHOTT's data sheet.
  auto lens = regenerated(d);
  EXPECT_NEAR(lens->surfaceArray()[1]->glass()->indexAtWavelengthInMicrons(0.5875618), 1.620410, 2e-6);
  EXPECT_NEAR(lens->surfaceArray()[3]->glass()->indexAtWavelengthInMicrons(0.5875618), 1.620040, 2e-6);
}

// The reader's own rules, each on a few lines of hand-written text.
TEST(CodeVReader, CommandsActAsWritten) {
  {  // S before SO makes an object surface first.
    const auto r = readCodeV("S 50 5 'BK7'\n");
    const auto s = r.surfaces();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0]->thickness(), kInf);
    EXPECT_DOUBLE_EQ(s[1]->curvature(), 1 / 50.0);
    EXPECT_EQ(s[1]->thickness(), 5);
    EXPECT_EQ(s[1]->glassName().value_or(""), "BK7");
  }
  {  // RDM N: S values are curvatures; ";" separates commands and "!" starts a comment.
    const auto r = readCodeV("RDM N; SO 0 100\nS 0.02 5 ! S 9 9\nS 0 1; STO\n");
    const auto s = r.surfaces();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0]->thickness(), 100);
    EXPECT_DOUBLE_EQ(s[1]->curvature(), 0.02);
    EXPECT_TRUE(s[2]->isStop());
  }
  {  // WL with REF; fields from YAN; no field command: one field on axis.
    const auto r = readCodeV("WL 450 550 650\nREF 2\nYAN 0 5 10\nSO 0 1e10\nS 0 0\n");
    const auto waves = objectsUnder<lens::Wave>(*r.dictionary, "waveArray");
    ASSERT_EQ(waves.size(), 3u);
    EXPECT_TRUE(waves[1]->isPrimary());
    EXPECT_FALSE(waves[0]->isPrimary());
    const auto fields = objectsUnder<lens::Field>(*r.dictionary, "fieldArray");
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[2]->y(), 10);
    EXPECT_EQ(r.surfaces()[0]->thickness(), kInf);  // 1e10 is CODE V's infinity
    const auto bare = readCodeV("SO 0 100\nS 0 0\n");
    const auto one = objectsUnder<lens::Wave>(*bare.dictionary, "waveArray");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_NEAR(one[0]->wavelengthInMicrons(), 0.55, 1e-12);
    const auto axis = objectsUnder<lens::Field>(*bare.dictionary, "fieldArray");
    ASSERT_EQ(axis.size(), 1u);
    EXPECT_EQ(axis[0]->y(), 0);
    EXPECT_EQ(axis[0]->weight(), 1);
  }
  {  // Zoom thicknesses: one configuration per position.
    const auto r = readCodeV("SO 0 100\nS 0 1\nZOO THI S4 1 2 3\n");
    const auto configurations = r.dictionary->get("multiconfigurationArray").asArray();
    ASSERT_EQ(configurations.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(configurations[i].asDictionary().get("s4.thickness").asDouble(), static_cast<double>(i + 1));
      EXPECT_EQ(configurations[i].asDictionary().get("configurationName").asInt(), static_cast<long long>(i));
    }
  }
  {  // NAO without a number is logged and sets nothing; GO stops reading.
    const auto r = readCodeV("NAO\nSO 0 100\nS 0 1\nGO\nS 0 1\nS 0 1\n");
    EXPECT_FALSE(r.dictionary->contains("sourceDivergenceType"));
    EXPECT_TRUE(r.troubles.empty());
    EXPECT_TRUE(r.logged("test[1] syntax error: NAO"));
    EXPECT_EQ(r.surfaces().size(), 3u);
  }
  {  // Aspheric coefficients, conic, aperture, label, solve.
    const auto r = readCodeV("SO 0 100\nS 40 2\nK -1; ASP; A 1e-5; B -2e-8\nCIR 7; SLB \"front\"; PIM\n");
    const auto s = r.surfaces();
    EXPECT_EQ(s[1]->type(), "Asphere");
    EXPECT_EQ(s[1]->conicConstant(), -1);
    EXPECT_EQ(s[1]->parameterValue("a4").value_or(0), 1e-5);
    EXPECT_EQ(s[1]->parameterValue("a6").value_or(0), -2e-8);
    EXPECT_EQ(s[1]->semidiameter(), 7);
    EXPECT_EQ(s[1]->comment(), "front");
    EXPECT_EQ(s[1]->thicknessSolveType(), 2);
    EXPECT_TRUE(r.troubles.empty());
  }
}

// Glasses: mirrors, model glasses by nd:Vd and by code, private glasses with their indices,
// and a maker name the program has no catalog for.
TEST(CodeVReader, GlassesOfEveryForm) {
  const auto r = readCodeV(
      "PRV\nPWL 656.3 587.6 486.1\n'MYGLASS' 1.60 1.61 1.62\n'SHORT' 1.5 1.51\nEND\n"
      "SO 0 100\nS 100 5 1.5168:64.17\nS 0 5 569.631\nS 0 5 'MYGLASS'\nS 0 5 CAF2_DAIMON-20\nS -200 -10 REFL\nS 0 5 SHORT\n");
  const auto s = r.surfaces();
  ASSERT_EQ(s.size(), 8u);
  EXPECT_DOUBLE_EQ(s[1]->glass()->referenceIndex(), 1.5168);
  EXPECT_DOUBLE_EQ(s[1]->glass()->referenceAbbe(), 64.17);
  EXPECT_DOUBLE_EQ(s[2]->glass()->referenceIndex(), 1.569);
  EXPECT_DOUBLE_EQ(s[2]->glass()->referenceAbbe(), 63.1);
  auto mine = std::dynamic_pointer_cast<materials::GlassWithIndexData>(s[3]->glass());
  ASSERT_TRUE(mine);
  EXPECT_EQ(mine->version().value_or(""), "private");
  EXPECT_NEAR(mine->indexAtWavelengthInMicrons(0.5876), 1.61, 1e-12);  // rows in nm
  EXPECT_EQ(s[4]->glassName().value_or(""), "CAF2");
  EXPECT_TRUE(r.logged("DAIMON-20"));
  EXPECT_TRUE(s[5]->isMirror());
  // Two indices for three wavelengths: the first two pairs are kept, and the log says so.
  auto shorter = std::dynamic_pointer_cast<materials::GlassWithIndexData>(s[6]->glass());
  ASSERT_TRUE(shorter);
  EXPECT_EQ(shorter->indexData().size(), 2u);
  EXPECT_TRUE(r.logged("2 indices for 3 wavelengths"));
  EXPECT_EQ(r.dictionary->get("glassArray").asArray().size(), 2u);
}

// A lens in inches is converted to millimetres: the same lens written in millimetres
// gives the same numbers, surface for surface, and 25.4 times the inch focal length.
TEST(CodeVReader, InchLensesAreConvertedToMillimetres) {
  const char* body = "SO 0 1e10\nS 2 0.25 1.5:60\nK -0.5\nA 0.001\nS -3 1.5\nSI 0 0\n";
  const auto inch = readCodeV(std::string("DIM I\nEPD 1\nYIM 0 0.5\nZOO THI S2 1.5 1.6\n") + body);
  const auto mm = readCodeV(
      "DIM M\nEPD 25.4\nYIM 0 12.7\nSO 0 1e10\nS 50.8 6.35 1.5:60\nK -0.5\nA 6.1023744094732284e-08\nS -76.2 38.1\nSI 0 0\n");
  ASSERT_TRUE(inch.dictionary && mm.dictionary);
  EXPECT_EQ(inch.dictionary->get("units").asString(), "inch");
  EXPECT_EQ(inch.dictionary->get("sourceDivergenceValue").asDouble(), 25.4);
  const auto a = inch.surfaces(), b = mm.surfaces();
  ASSERT_EQ(a.size(), 4u);  // SI is the image surface
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_NEAR(a[i]->curvature(), b[i]->curvature(), 1e-15);
    if (std::isinf(b[i]->thickness()))
      EXPECT_EQ(a[i]->thickness(), b[i]->thickness());
    else
      EXPECT_NEAR(a[i]->thickness(), b[i]->thickness(), 1e-12);
  }
  EXPECT_NEAR(a[1]->parameterValue("a4").value_or(0), 0.001 / (25.4 * 25.4 * 25.4), 1e-20);
  EXPECT_NEAR(objectsUnder<lens::Field>(*inch.dictionary, "fieldArray")[1]->y(), 12.7, 1e-12);
  const auto zoom = inch.dictionary->get("multiconfigurationArray").asArray();
  ASSERT_EQ(zoom.size(), 2u);
  EXPECT_NEAR(zoom[1].asDictionary().get("s2.thickness").asDouble(), 1.6 * 25.4, 1e-12);
  // Thick-lens power in inches at the primary wave's index (550 nm, near the model
  // glass's nd of 1.5), times 25.4: the lens in millimetres focuses there.
  auto lens = regenerated(*inch.dictionary);
  const double n = lens->surfaceArray()[1]->glass()->indexAtWavelengthInMicrons(0.55);
  EXPECT_NEAR(n, 1.5, 0.005);
  const double p1 = (n - 1) / 2.0, p2 = (1 - n) / -3.0, t = 0.25;
  EXPECT_NEAR(focalLength(*lens), 25.4 / (p1 + p2 - t / n * p1 * p2), 1e-9);
}

// Lists that must be equally long: the zoom uses as many positions as its shortest list.
TEST(CodeVReader, UnequalZoomListsUseTheShorter) {
  const auto r = readCodeV("SO 0 1e10\nS 0 1\nS 0 1\nZOO FNO 4 5.6 8\nZOO THI S2 10 20\n");
  const auto zoom = r.dictionary->get("multiconfigurationArray").asArray();
  ASSERT_EQ(zoom.size(), 2u);
  EXPECT_EQ(zoom[1].asDictionary().get("infiniteConjugateImageSpaceFocalRatio").asDouble(), 5.6);
  EXPECT_EQ(zoom[1].asDictionary().get("s2.thickness").asDouble(), 20);
  EXPECT_TRUE(r.logged("3 positions; 2 are used"));
  // A thickness zoom must name its surface.
  const auto unnamed = readCodeV("SO 0 1e10\nS 0 1\nZOO THI 1 2 3\n");
  EXPECT_TRUE(unnamed.dictionary->get("multiconfigurationArray").asArray().empty());
  EXPECT_EQ(unnamed.troubles.size(), 1u);
}

// Decentres and tilts become a coordinate break before the surface; DAR adds the break
// that puts the frame back, carrying the thickness after the surface.
TEST(CodeVReader, DecentresBecomeBreaks) {
  const auto r = readCodeV("SO 0 100\nS 0 10\nS -50 20 REFL\nYDE 1.5; ADE 45; DAR\nS 0 5\n");
  const auto s = r.surfaces();
  ASSERT_EQ(s.size(), 7u);
  ASSERT_TRUE(s[2]->isCoordinateBreak());
  EXPECT_EQ(s[2]->parameterValue("dy").value_or(0), 1.5);
  EXPECT_EQ(s[2]->parameterValue("rx").value_or(0), -45);  // CODE V's α turns the other way
  EXPECT_TRUE(s[3]->isMirror());
  EXPECT_EQ(s[3]->thickness(), 0);
  ASSERT_TRUE(s[4]->isCoordinateBreak());
  EXPECT_EQ(s[4]->parameterValue("dy").value_or(0), -1.5);
  EXPECT_EQ(s[4]->parameterValue("rx").value_or(0), 45);
  EXPECT_EQ(s[4]->thickness(), 20);
}

// Unknown commands are troubles; giving up opens nothing, continuing reads the rest.
TEST(CodeVReader, TroublesCanEndTheRead) {
  const std::string text = "SO 0 100\nFOO 1 2\nS 10 1\n";
  const auto given = readCodeV(text, ZemaxTroubleAnswer::GiveUp);
  EXPECT_FALSE(given.dictionary);
  ASSERT_EQ(given.troubles.size(), 1u);
  EXPECT_EQ(given.troubles[0].line, 2);
  EXPECT_EQ(given.troubles[0].lineText, "FOO 1 2");
  const auto continued = readCodeV(text);
  ASSERT_TRUE(continued.dictionary);
  EXPECT_EQ(continued.surfaces().size(), 3u);
}

using foundation::XYZ;
constexpr double kDeg = std::numbers::pi / 180;

void expectNear(const XYZ& a, const XYZ& b, double tolerance, const std::string& what) {
  EXPECT_NEAR(a.x, b.x, tolerance) << what;
  EXPECT_NEAR(a.y, b.y, tolerance) << what;
  EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

// Surface frames against frames placed by hand. CODE V decentres by XDE, YDE, ZDE, then
// tilts by α, β, γ in that order, each turning the same hand: a positive ADE turns +y
// toward -z, BDE +x toward +z, CDE +x toward -y. The second surface sits 10 mm behind the
// first.
TEST(CodeVReader, TiltsAndDecentresPlaceTheSurfaceAsCodeVDoes) {
  const double c = std::cos(30 * kDeg), s = std::sin(30 * kDeg);
  struct Case {
    const char* decentre;
    XYZ origin, xAxis, yAxis;
  };
  const Case cases[] = {
      {"ADE 30", {0, 0, 10}, {1, 0, 0}, {0, c, -s}},
      {"BDE 30", {0, 0, 10}, {c, 0, s}, {0, 1, 0}},
      {"CDE 30", {0, 0, 10}, {c, -s, 0}, {s, c, 0}},
      // The shifts come first, in the untilted frame: ZDE is along the old axis.
      {"XDE 1; YDE 2; ZDE 3; ADE 30", {1, 2, 13}, {1, 0, 0}, {0, c, -s}},
      {"YDE 2; ZDE 3", {0, 2, 13}, {1, 0, 0}, {0, 1, 0}},
  };
  for (const auto& k : cases) {
    const auto r = readCodeV(std::string("EPD 10\nSO 0 1e10\nS 0 10\nSTO\nS 0 5\n") + k.decentre + "\nSI 0 0\n");
    auto lens = regenerated(*r.dictionary);
    const auto& surfaces = lens->surfaceArray();
    std::shared_ptr<lens::Surface> tilted;
    for (const auto& surface : surfaces)
      if (!surface->isCoordinateBreak() && surface != surfaces.front() && surface != surfaces.back()) tilted = surface;
    ASSERT_TRUE(tilted) << k.decentre;
    const auto& frame = tilted->transform();
    expectNear(frame.transformToGlobal({0, 0, 0}), k.origin, 1e-12, k.decentre);
    expectNear(frame.rotateToGlobal({1, 0, 0}), k.xAxis, 1e-12, k.decentre);
    expectNear(frame.rotateToGlobal({0, 1, 0}), k.yAxis, 1e-12, k.decentre);
  }
}

// A 45° fold mirror with BEN: the axis after it is the reflected axis, so the image 20 mm
// down the folded beam faces it; REV leaves its surface in place and turns the frame after
// it back. Each chief ray is placed by hand: straight lines and the law of reflection.
TEST(CodeVReader, BendsAndReverseDecentresFoldTheAxis) {
  const auto fold = readCodeV("EPD 4\nYAN 0 5\nSO 0 1e10\nS 0 10\nSTO\nS 0 -20 REFL\nADE 45; BEN\nSI 0 0\n");
  auto lens = regenerated(*fold.dictionary);
  const auto image = lens->surfaceArray().back();
  // The mirror's normal is its z axis, α = 45° left-handed: n = (0, sin 45°, cos 45°); the
  // axial ray (0, 0, 1) leaves along (0, -1, 0) and meets the image 20 mm below the mirror.
  expectNear(image->transform().transformToGlobal({0, 0, 0}), {0, -20, 10}, 1e-12, "image vertex");
  expectNear(image->transform().rotateToGlobal({0, 0, 1}), {0, 1, 0}, 1e-12, "image axis");
  // The 5° chief ray from the stop's centre (the first surface, z = 0).
  const XYZ n{0, std::sqrt(0.5), std::sqrt(0.5)};
  const XYZ d{0, std::sin(5 * kDeg), std::cos(5 * kDeg)};
  const double toMirror = 10 * n.z / (d.y * n.y + d.z * n.z);
  const XYZ atMirror{0, d.y * toMirror, d.z * toMirror};
  const double dn = d.y * n.y + d.z * n.z;
  const XYZ reflected{0, d.y - 2 * dn * n.y, d.z - 2 * dn * n.z};
  const double toImage = (-20 - atMirror.y) / reflected.y;
  const XYZ expected{0, -20, atMirror.z + reflected.z * toImage};
  auto ray = tracing::rayForH(*lens, {0, 1}, {0, 0});
  ASSERT_TRUE(ray);
  tracing::traceRay(*lens, *ray);
  expectNear(ray->position(), expected, 1e-6, "5 degree chief ray");  // traced positions are global

  // REV: the surface stays on the axis at z = 10; after it the frame turns back by α =
  // 10° (right-handed now), shifts by -YDE along the turned y, and goes on 5 mm along the
  // turned z.
  const auto reverse = readCodeV("EPD 4\nSO 0 1e10\nS 0 10\nSTO\nS 0 5\nYDE 2; ADE 10; REV\nSI 0 0\n");
  auto reversed = regenerated(*reverse.dictionary);
  const auto& rs = reversed->surfaceArray();
  expectNear(rs[2]->transform().transformToGlobal({0, 0, 0}), {0, 0, 10}, 1e-12, "REV surface");
  const double c = std::cos(10 * kDeg), s = std::sin(10 * kDeg);
  expectNear(rs.back()->transform().transformToGlobal({0, 0, 0}), {0, -2 * c - 5 * s, 10 - 2 * s + 5 * c}, 1e-12,
             "after REV");
  expectNear(rs.back()->transform().rotateToGlobal({0, 1, 0}), {0, c, s}, 1e-12, "after REV, y axis");

  // Zoom thicknesses follow their surfaces past the breaks put in before them, and a
  // surface whose frame returns after it hands its thickness to the return break.
  const auto zoomed = readCodeV("SO 0 1e10\nS 0 10\nYDE 1; DAR\nS 0 20\nZOO THI S1 10 11\nZOO THI S2 20 21\n");
  const auto zs = zoomed.surfaces();
  ASSERT_EQ(zs.size(), 6u);  // object, decentre, S1, return, S2, image
  EXPECT_EQ(zs[3]->thickness(), 10);
  EXPECT_EQ(zs[4]->thickness(), 20);
  const auto positions = zoomed.dictionary->get("multiconfigurationArray").asArray();
  ASSERT_EQ(positions.size(), 2u);
  EXPECT_EQ(positions[1].asDictionary().get("s3.thickness").asDouble(), 11);
  EXPECT_EQ(positions[1].asDictionary().get("s4.thickness").asDouble(), 21);
}

// The thickness on SI is CODE V's defocus: the image moves from the last thickness, or
// from the paraxial image that PIM solves for. A paraboloid of radius 200 focuses every
// axial ray at 100 mm; 0.4 mm beyond, the edge ray (height 2, sag 2²/400 = 0.01 mm) is at
// height -2·0.4/(100 - 0.01).
TEST(CodeVReader, ImageDefocusMovesTheImage) {
  const double edgeHeight = -2 * 0.4 / (100 - 0.01);
  struct Case {
    const char* text;
    std::vector<double> thicknessesAfterMirror;  // to the image
  };
  const Case cases[] = {
      {"S -200 -100 REFL\nSTO; K -1\nSI 0 -0.4\n", {-100.4}},
      {"S -200 -100 REFL\nSTO; K -1\nSI; THI -0.4\n", {-100.4}},
      // PIM owns the last thickness: a plane at the paraxial image carries the defocus.
      {"S -200 -80 REFL\nSTO; K -1\nSI 0 -0.4\nPIM\n", {-100, -0.4}},
  };
  for (const auto& k : cases) {
    const auto r = readCodeV(std::string("EPD 4\nSO 0 1e10\n") + k.text);
    auto lens = regenerated(*r.dictionary);
    const auto& s = lens->surfaceArray();
    ASSERT_EQ(s.size(), k.thicknessesAfterMirror.size() + 2) << k.text;
    for (std::size_t i = 0; i < k.thicknessesAfterMirror.size(); ++i)
      EXPECT_NEAR(s[1 + i]->thickness(), k.thicknessesAfterMirror[i], 1e-9) << k.text;
    EXPECT_EQ(s.back()->thickness(), 0);
    auto ray = tracing::rayForH(*lens, {0, 0}, {0, 1});
    ASSERT_TRUE(ray);
    tracing::traceRay(*lens, *ray);
    EXPECT_NEAR(ray->position().y, edgeHeight, 1e-9) << k.text;
  }
  // PIM is lens-level: written after the image it still solves the last thickness.
  const auto late = readCodeV("SO 0 1e10\nS -200 -80 REFL\nSI\nPIM\n");
  EXPECT_EQ(late.surfaces()[1]->thicknessSolveType(), 2);
  EXPECT_EQ(late.surfaces()[2]->thicknessSolveType(), 0);
}

// Words the reader used to get wrong: continued lines, six-digit glass codes, design
// commands, and angle fields given as direction tangents.
TEST(CodeVReader, ContinuationsGlassCodesAndDesignBlocks) {
  {  // "&" continues a command, private glasses included.
    const auto r = readCodeV("PRV\nPWL 400 500 &\n 600 700\n'TWOLINE' 1.6 1.59 &\n1.58 1.57\nEND\n"
                             "SO 0 1e10\nS -.05 &\n 2\nS 0 1 'TWOLINE'\n");
    const auto s = r.surfaces();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_DOUBLE_EQ(s[1]->curvature(), 1 / -.05);
    EXPECT_EQ(s[1]->thickness(), 2);
    EXPECT_FALSE(s[1]->glassName());
    auto glass = std::dynamic_pointer_cast<materials::GlassWithIndexData>(s[2]->glass());
    ASSERT_TRUE(glass);
    EXPECT_EQ(glass->indexData().size(), 4u);
    EXPECT_NEAR(glass->indexAtWavelengthInMicrons(0.7), 1.57, 1e-12);
    EXPECT_TRUE(r.troubles.empty());
  }
  {  // Glass codes of two equal digit runs; anything else is a name, never a crash.
    struct Code {
      const char* word;
      double nd, vd;
    };
    const Code codes[] = {{"517.642", 1.517, 64.2}, {"5168.6417", 1.5168, 64.17}, {"517000.520000", 1.517, 52.0}};
    for (const auto& code : codes) {
      const auto r = readCodeV(std::string("SO 0 1e10\nS 0 1 ") + code.word + "\n");
      const auto glass = r.surfaces()[1]->glass();
      ASSERT_TRUE(glass) << code.word;
      EXPECT_NEAR(glass->referenceIndex(), code.nd, 1e-12) << code.word;
      EXPECT_NEAR(glass->referenceAbbe(), code.vd, 1e-12) << code.word;
    }
    for (const char* word : {".12.345", "123....", "517.64", "1234567.123456", "99999999999999999999.1"}) {
      const auto r = readCodeV(std::string("SO 0 1e10\nS 0 1 ") + word + "\nGLA " + word + "\n");
      ASSERT_TRUE(r.dictionary) << word;
      EXPECT_EQ(r.surfaces()[1]->glassName().value_or(""), word);
    }
  }
  {  // Optimisation and tolerancing lines are logged, not counted; GO closes their block.
    const auto r = readCodeV("SO 0 1e10\nS 50 5\nDER VAL I1\nAUT\nEFL = 100\nMNT 0.2\nGO\nTEM 20\nS 0 1\nFOO\n");
    EXPECT_EQ(r.surfaces().size(), 4u);
    ASSERT_EQ(r.troubles.size(), 1u);
    EXPECT_EQ(r.troubles[0].lineText, "FOO");
    EXPECT_TRUE(r.logged("test[3] optimisation or tolerancing command not read: DER VAL I1"));
  }
  {  // Angle fields: CODE V's (x, y) have tan x = L/N, tan y = M/N.
    const auto r = readCodeV("XAN 0 2\nYAN 3 2\nSO 0 1e10\nS 0 1\n");
    const auto fields = objectsUnder<lens::Field>(*r.dictionary, "fieldArray");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0]->x(), 0);
    EXPECT_EQ(fields[0]->y(), 3);
    // (2°, 2°): the direction (tan 2°, tan 2°, 1) is atan(√2 tan 2°) off the axis, at 45°.
    const double off = std::atan(std::sqrt(2.0) * std::tan(2 * kDeg)) / kDeg;
    EXPECT_NEAR(fields[1]->x(), off / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(fields[1]->y(), off / std::sqrt(2.0), 1e-12);
  }
}

}  // namespace orb::interchange::test
