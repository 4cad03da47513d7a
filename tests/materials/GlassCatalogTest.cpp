#include "materials/GlassCatalog.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "foundation/platform/StringExtensions.h"
#include "materials/OsloGlass.h"
#include "materials/SystemGlassCatalog.h"
#include "materials/ZemaxGlass.h"
#include "materials/ZemaxGlassParser.h"
#include "LogCapture.h"

using namespace orb::materials;
namespace fs = std::filesystem;
using orb::platform::Dictionary;

namespace {

const std::string kGlassResources = std::string(ORB_SOURCE_DIR) + "/resources/glass";
const std::string kFixtures = std::string(ORB_TEST_DATA_DIR) + "/glass";

std::shared_ptr<ZemaxGlass> zemaxAt(const GlassCatalog& c, std::size_t i) {
  return std::dynamic_pointer_cast<ZemaxGlass>(c.objectAtIndex(i));
}

/// A scratch directory removed with the fixture.
class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    m_path = fs::temp_directory_path() / ("orb-materials-" + std::to_string(::getpid()) + "-" + std::to_string(s_count++));
    fs::create_directories(m_path);
  }
  ~TemporaryDirectory() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(m_path / name, std::ios::binary) << bytes;
    return (m_path / name).string();
  }
  std::string path() const { return m_path.string(); }

 private:
  fs::path m_path;
  static inline int s_count = 0;
};

}  // namespace

// --- AGF ----------------------------------------------------------------------------------

TEST(AgfReader, ReadsRecordsOfOneGlass) {
  auto c = GlassCatalog::glassCatalogWithZemaxString(
      "CC Sample catalog\n"
      "NM N-BK7@2019 2 517642 1.5168 64.17 0 1\n"
      "GC ignored comment\n"
      "ED 7.1 8.3 2.51 -0.0009 0\n"
      "CD 1.03961212 0.00600069867 0.231792344 0.0200179144 1.01046945 103.560653 0 0 0 0 7 8\n"
      "TD 1.86e-06 1.31e-08 -1.37e-11 4.34e-07 6.27e-10 0.17 20\n"
      "OD -1 -1 -1 -1 -1 -1\n"
      "LD 0.3 2.5\n"
      "IT 0.35 0.62 10\n"
      "IT 0.4\n"
      "NM F2 2 620364.000 1.620040 36.37\n");
  ASSERT_EQ(c->count(), 2u);
  EXPECT_EQ(c->catalogComment(), "Sample catalog");
  auto g = zemaxAt(*c, 0);
  EXPECT_EQ(g->name(), "N-BK7");
  EXPECT_EQ(g->nameInCatalog(), "N-BK7");
  EXPECT_EQ(g->version(), "2019");
  EXPECT_EQ(g->glassCode(), "517642");
  EXPECT_EQ(g->formula(), 2);
  EXPECT_EQ(g->formulaName(), "Sellmeier 1");
  EXPECT_EQ(g->referenceIndex(), 1.5168);
  EXPECT_EQ(g->referenceAbbe(), 64.17);
  EXPECT_EQ(g->alpha(), 7.1);
  EXPECT_EQ(g->dispersionDeviation(), -0.0009);
  EXPECT_EQ(g->nCoefficientData(), 10u);  // the first ten numbers
  EXPECT_EQ(g->coefficientValue()[5], 103.560653);
  EXPECT_EQ(g->thermalDataString(), "TD 1.86e-06 1.31e-08 -1.37e-11 4.34e-07 6.27e-10 0.17 20");
  EXPECT_EQ(g->lambdaMin(), 0.3);
  EXPECT_EQ(g->lambdaMax(), 2.5);
  const auto& t = g->transmissionArray().asArray();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], (Dictionary{{"wavelength", 0.4}, {"transmission", 0.0}, {"thickness", 0.0}}));
  EXPECT_EQ(zemaxAt(*c, 1)->glassCode(), "620364.000");
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.58756), 1.5168, 2e-6);
}

TEST(AgfReader, ReportsBadLinesAndKeepsTheRest) {
  ZemaxGlassParser parser("sample.agf");
  EXPECT_FALSE(parser.parseCommand("XX 1 2 3"));
  EXPECT_TRUE(parser.parseCommand("   "));
  EXPECT_TRUE(parser.parseCommand("ED 1 2 3 4"));  // no glass yet: nothing to change
  std::vector<std::string> lines{"NM A 2 0 1.5 60", "CD 1 0.01", "", "ED 1 2", "NM B 1 0 1.6 50", "LD 0.4",
                                 "XX 1 2 3",        "CD 2.5"};
  orb::test::LogCapture capture;
  EXPECT_FALSE(parser.parseStringArray(lines));
  const std::string log = capture.text();
  EXPECT_NE(log.find("line 7: <XX 1 2 3>"), std::string::npos) << log;
  EXPECT_NE(log.find("line 4: <ED 1 2>"), std::string::npos) << log;
  EXPECT_NE(log.find("sample.agf"), std::string::npos) << log;
  const auto& c = *parser.glassCatalog();
  ASSERT_EQ(c.count(), 2u);
  EXPECT_EQ(zemaxAt(c, 1)->coefficientValue()[0], 2.5);  // the line after the bad one still counts
  EXPECT_EQ(zemaxAt(c, 1)->lambdaMax(), HUGE_VAL);        // short LD changed nothing
}

// A number from a file that becomes an integer is range-checked first: converting 5.7e15
// to an int is undefined behaviour, and in practice a nonsense formula or count.
TEST(GlassReaders, NumbersThatBecomeIntegersAreRangeChecked) {
  struct AgfCase {
    const char* name;
    const char* line;
  };
  for (const auto& c : std::vector<AgfCase>{{"formula-5.7e15", "NM HUGE 5.7e15 0 1.5 60"},
                                            {"formula-minus-1e300", "NM HUGE -1e300 0 1.5 60"},
                                            {"formula-nan", "NM HUGE nan 0 1.5 60"}}) {
    SCOPED_TRACE(c.name);
    ZemaxGlassParser parser("huge.agf");
    std::string why;
    EXPECT_FALSE(parser.parseCommand(c.line, &why));
    EXPECT_NE(why.find("formula"), std::string::npos) << why;
    ASSERT_EQ(parser.glassCatalog()->count(), 1u);  // the glass is kept for its other records
    EXPECT_EQ(zemaxAt(*parser.glassCatalog(), 0)->formula(), 0);
  }

  // name nd Vd density dn/dT alpha t400 field-8 hardness, CFSAP, formula and coefficients,
  // thermal formula and coefficients, a field, transmission pairs.
  struct OsloCase {
    const char* name;
    const char* line;
    const char* why;
  };
  const std::vector<OsloCase> oslo = {
      {"coefficient-count-5.6e63", "G 1.5 60 2.5 3 71 0.99 0 450 1 0 2 2 5.6e63 1 2 1 0 0 0", "coefficient count"},
      {"formula-1e300", "G 1.5 60 2.5 3 71 0.99 0 450 1 0 2 1e300 1 2.25 1 0 0 0", "formula"},
      {"thermal-count-1e30", "G 1.5 60 2.5 3 71 0.99 0 450 1 0 2 2 1 2.25 1 1e30 0 0", "thermal coefficient count"},
      {"transmission-count-1e19", "G 1.5 60 2.5 3 71 0.99 0 450 1 0 2 2 1 2.25 1 0 0 1e19", "transmission pair count"},
  };
  for (const auto& c : oslo) {
    SCOPED_TRACE(c.name);
    auto glass = orb::platform::makeObject<OsloGlass>();
    std::string why;
    EXPECT_FALSE(glass->takePropertiesFromCString(c.line, &why));
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
  }

  auto far = Glass::glassWithIndex(1e300, 1e300);
  far->setGlassCodeFromReferenceIndexAndAbbe();
  EXPECT_EQ(far->glassCode(), "000999");
}

// Every maker file of the system catalog: the glass count of each file and each glass's own
// catalog nd, reproduced by its dispersion formula. HIKARI holds all 363 of the maker's
// glasses: the 181 J- and E- series glasses whose power series the earlier file could not
// hold in formulas 1 to 9 are in, in formulas 10, 12 and 13.
TEST(AgfReader, ReadsEveryMakerFileAndEachGlassGivesItsNd) {
  const std::map<std::string, std::size_t> counts{{"CDGM", 314}, {"HIKARI", 363}, {"HOYA", 190},
                                                  {"OHARA", 410}, {"SCHOTT", 158}, {"SUMITA", 176}};
  for (const auto& [maker, count] : counts) {
    SCOPED_TRACE(maker);
    std::string why;
    auto c = GlassCatalog::glassCatalogWithContentsOfZemaxFile(kGlassResources + "/" + maker + ".AGF", &why);
    ASSERT_TRUE(c) << why;
    EXPECT_EQ(c->count(), count);
    for (const auto& glass : c->glassArray()) {
      auto g = std::dynamic_pointer_cast<ZemaxGlass>(glass);
      ASSERT_TRUE(g);
      EXPECT_EQ(g->catalogName(), maker);
      EXPECT_EQ(g->catalogType(), "ZEMAX");
      EXPECT_EQ(g->version(), maker + ".AGF");
      EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.5875618), g->referenceIndex(), 2e-4) << g->name();
    }
  }
}

// A HIKARI glass in formula 12 ("Extended 2") against the maker's datasheet: J-LAK14 has
// nd 1.696800 (also the NM line's nd), which its coefficients must give at the d line.
TEST(AgfReader, HikariExtended2GlassGivesItsDatasheetNd) {
  auto c = GlassCatalog::glassCatalogWithContentsOfZemaxFile(kGlassResources + "/HIKARI.AGF");
  ASSERT_TRUE(c);
  auto g = std::dynamic_pointer_cast<ZemaxGlass>(c->lookupGlassWithName("J-LAK14"));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->formula(), 12);
  EXPECT_TRUE(g->hasKnownFormula());
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.5875618), 1.696800, 1e-5);
}

// The formulas 10 to 13 of the fixture against their published forms, written out below
// term by term (λ in µm), at three wavelengths. At 1 µm every power of λ is 1, so n² is
// the sum of the coefficients there, worked out by hand: EXTENDED 2.27 − 0.01 + 0.0115 +
// 1e-4 + 2e-5 − 1e-6 + 1e-7 − 1e-8 = 2.27161909; EXTENDED2 (last two 1e-4, −1e-5)
// 2.271709; EXTENDED3 (1e-4 third) 2.27171909; SELLMEIER5 1 + 0.6/0.995 + 0.4/0.987 +
// 0.1/0.98 + 0.05/0.97 + 0.9/(1 − 97.9) = 2.152582848134271.
TEST(AgfReader, FormulasTenToThirteenFollowTheirPublishedForms) {
  using Law = double (*)(const std::array<double, 10>&, double);
  struct Case {
    const char* name;
    int formula;
    const char* formulaName;
    double n2AtOneMicron;
    Law n2;
  };
  const std::vector<Case> cases = {
      {"EXTENDED", 10, "Extended", 2.27161909,
       [](const std::array<double, 10>& a, double l) {
         return a[0] + a[1] * std::pow(l, 2) + a[2] * std::pow(l, -2) + a[3] * std::pow(l, -4) + a[4] * std::pow(l, -6) +
                a[5] * std::pow(l, -8) + a[6] * std::pow(l, -10) + a[7] * std::pow(l, -12);
       }},
      {"SELLMEIER5", 11, "Sellmeier 5", 2.152582848134271,
       [](const std::array<double, 10>& a, double l) {
         double n2 = 1;
         for (int k = 0; k < 5; ++k) n2 += a[2 * k] * l * l / (l * l - a[2 * k + 1]);
         return n2;
       }},
      {"EXTENDED2", 12, "Extended 2", 2.271709,
       [](const std::array<double, 10>& a, double l) {
         return a[0] + a[1] * std::pow(l, 2) + a[2] * std::pow(l, -2) + a[3] * std::pow(l, -4) + a[4] * std::pow(l, -6) +
                a[5] * std::pow(l, -8) + a[6] * std::pow(l, 4) + a[7] * std::pow(l, 6);
       }},
      {"EXTENDED3", 13, "Extended 3", 2.27171909,
       [](const std::array<double, 10>& a, double l) {
         return a[0] + a[1] * std::pow(l, 2) + a[2] * std::pow(l, 4) + a[3] * std::pow(l, -2) + a[4] * std::pow(l, -4) +
                a[5] * std::pow(l, -6) + a[6] * std::pow(l, -8) + a[7] * std::pow(l, -10) + a[8] * std::pow(l, -12);
       }},
  };
  orb::test::LogCapture capture;
  auto c = GlassCatalog::glassCatalogWithContentsOfZemaxFile(kFixtures + "/formulas-10-13.agf");
  const std::string log = capture.text();
  ASSERT_TRUE(c);
  ASSERT_EQ(c->count(), 5u);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    auto g = std::dynamic_pointer_cast<ZemaxGlass>(c->lookupGlassWithName(k.name));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->formula(), k.formula);
    EXPECT_EQ(g->formulaName(), k.formulaName);
    EXPECT_TRUE(g->hasKnownFormula());
    EXPECT_NEAR(std::pow(g->indexAtWavelengthInMicrons(1.0), 2), k.n2AtOneMicron, 1e-14);
    for (double lambda : {0.5, 1.0, 2.0})
      EXPECT_NEAR(g->indexAtWavelengthInMicrons(lambda), std::sqrt(k.n2(g->coefficientValue(), lambda)), 1e-14)
          << lambda;
    // The entry written for it reads back as the same law.
    auto back = GlassCatalog::glassCatalogWithZemaxString(g->agfEntry());
    EXPECT_EQ(back->objectAtIndex(0)->indexAtWavelengthInMicrons(0.5), g->indexAtWavelengthInMicrons(0.5));
  }
  // A formula nobody knows: read, said so, and given the model law of its nd and Vd.
  auto strange = c->lookupGlassWithName("STRANGE");
  ASSERT_TRUE(strange);
  EXPECT_FALSE(strange->hasKnownFormula());
  EXPECT_EQ(strange->indexAtWavelengthInMicrons(0.5), Glass::glassWithIndex(1.5168, 64.17)->indexAtWavelengthInMicrons(0.5));
  EXPECT_NE(log.find("formulas-10-13.agf line 18: glass STRANGE has dispersion formula 14"), std::string::npos) << log;
  EXPECT_EQ(log.find("EXTENDED"), std::string::npos) << log;
}

// Fused silica, crystals and infrared materials, checked against values from outside the
// files: fused silica at the helium-neon line is 1.457018 (Malitson 1965), CaF2 at the d
// line 1.433849 (Malitson 1963). Germanium at 10 µm from Burnett's formula by hand:
// L = 100, n² − 1 = 0.4886331·100/(100 − 1.393959) + 14.5142535·100/(100 − 0.1626427) +
// 0.0091224·100/(100 − 752.19) = 0.4955407 + 14.5378983 − 0.0013987 = 15.0320403, so
// n = 4.004003.
TEST(AgfReader, CrystalsAndInfraredMaterials) {
  auto misc = GlassCatalog::glassCatalogWithContentsOfZemaxFile(kGlassResources + "/MISC.AGF");
  auto infrared = GlassCatalog::glassCatalogWithContentsOfZemaxFile(kGlassResources + "/INFRARED.AGF");
  ASSERT_TRUE(misc && infrared);
  EXPECT_EQ(misc->count(), 8u);
  EXPECT_EQ(infrared->count(), 7u);
  struct Case {
    const char* name;
    double lambda, n;
  };
  for (const Case& k : {Case{"SILICA", 0.6328, 1.457018}, Case{"F_SILICA", 0.6328, 1.457018},
                        Case{"CAF2", 0.5875618, 1.433849}, Case{"GERMANIUM", 10.0, 4.004003}}) {
    SCOPED_TRACE(k.name);
    auto g = misc->lookupGlassWithName(k.name);
    if (!g) g = infrared->lookupGlassWithName(k.name);
    ASSERT_TRUE(g);
    EXPECT_TRUE(g->validWavelengthInMicrons(k.lambda));
    EXPECT_NEAR(g->indexAtWavelengthInMicrons(k.lambda), k.n, 1e-6);
  }
  // No index at the d line: Vd 0 and nd the index at the short end of the range. Such a
  // glass, or a model glass made of its nd and Vd, still answers a finite index.
  for (const char* name : {"GERMANIUM", "SILICON", "GAAS"}) {
    SCOPED_TRACE(name);
    auto g = std::dynamic_pointer_cast<ZemaxGlass>(infrared->lookupGlassWithName(name));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->referenceAbbe(), 0);
    EXPECT_FALSE(g->validWavelengthInMicrons(0.5875618));
    EXPECT_NEAR(g->indexAtWavelengthInMicrons(g->lambdaMin()), g->referenceIndex(), 1e-5);
    auto model = Glass::glassWithIndex(g->referenceIndex(), g->referenceAbbe());
    for (double lambda : {0.5875618, 10.0}) EXPECT_EQ(model->indexAtWavelengthInMicrons(lambda), g->referenceIndex());
  }
}

TEST(AgfReader, ReadsUtf16WithByteOrderMark) {
  const std::string text = "CC Wide\r\nNM N-BK7 2 517642 1.5168 64.17\r\nCD 1.03961212 0.00600069867 0.231792344 "
                           "0.0200179144 1.01046945 103.560653\r\n";
  std::string wide = "\xFF\xFE";
  for (char ch : text) {
    wide += ch;
    wide += '\0';
  }
  TemporaryDirectory dir;
  auto c = GlassCatalog::glassCatalogWithContentsOfZemaxFile(dir.write("wide.agf", wide));
  ASSERT_TRUE(c);
  ASSERT_EQ(c->count(), 1u);
  EXPECT_EQ(c->catalogComment(), "Wide");
  EXPECT_EQ(c->objectAtIndex(0)->name(), "N-BK7");
  EXPECT_NEAR(c->objectAtIndex(0)->indexAtWavelengthInMicrons(0.58756), 1.5168, 2e-6);
  EXPECT_EQ(zemaxAt(*c, 0)->catalogName(), "WIDE");
}

TEST(AgfReader, UnreadableFileGivesNoCatalogAndAReason) {
  std::string why;
  EXPECT_EQ(GlassCatalog::glassCatalogWithContentsOfZemaxFile(kFixtures + "/no-such.agf", &why), nullptr);
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(GlassCatalog::glassCatalogWithContentsOfOsloFile(kFixtures + "/no-such.glc", &why), nullptr);
}

// Writing keeps every digit: a glass read back from its entry is the same glass.
TEST(AgfEntry, WrittenEntryReadsBackAsTheSameGlass) {
  auto schott = GlassCatalog::glassCatalogWithContentsOfZemaxFile(kGlassResources + "/SCHOTT.AGF");
  auto original = std::dynamic_pointer_cast<ZemaxGlass>(schott->lookupGlassWithName("N-BK7"));
  ASSERT_TRUE(original);
  original->setVersion(std::string("2019"));
  const std::string entry = original->agfEntry();
  EXPECT_EQ(entry.rfind("NM N-BK7@2019 2 517642.251 1.516800 64.170000\n", 0), 0u) << entry;
  auto back = zemaxAt(*GlassCatalog::glassCatalogWithZemaxString(entry), 0);
  EXPECT_EQ(back->name(), "N-BK7");
  EXPECT_EQ(back->version(), "2019");
  EXPECT_EQ(back->formula(), 2);
  EXPECT_EQ(back->glassCode(), original->glassCode());
  EXPECT_EQ(back->referenceIndex(), original->referenceIndex());
  EXPECT_EQ(back->referenceAbbe(), original->referenceAbbe());
  EXPECT_EQ(back->alpha(), original->alpha());
  EXPECT_EQ(back->density(), original->density());
  EXPECT_EQ(back->dispersionDeviation(), original->dispersionDeviation());
  EXPECT_EQ(back->coefficientValue(), original->coefficientValue());
  EXPECT_EQ(back->lambdaMin(), original->lambdaMin());
  EXPECT_EQ(back->lambdaMax(), original->lambdaMax());
  EXPECT_EQ(back->thermalDataString(), original->thermalDataString());
  EXPECT_EQ(back->otherDataString(), original->otherDataString());
  EXPECT_EQ(back->transmissionArray(), original->transmissionArray());

  auto fitted = ZemaxGlass::glassWithName("FIT");
  fitted->setFormula(5);
  const double c[3] = {1.5123456789012345, 0.0123456789, 1.0 / 3.0};
  fitted->setCoefficientValuesFromDoubles(c, 3);
  fitted->setReferenceIndex(1.5123456789);
  const std::string text = fitted->agfEntry();
  EXPECT_NE(text.find("LD 2e-01 2e+00\n"), std::string::npos) << text;  // open range written as 0.2–2.0
  auto fittedBack = zemaxAt(*GlassCatalog::glassCatalogWithZemaxString(text), 0);
  EXPECT_EQ(fittedBack->coefficientValue(), fitted->coefficientValue());
  EXPECT_EQ(fittedBack->referenceIndex(), 1.5123456789);
}

// --- Catalog, look-up and libraries -------------------------------------------------------

TEST(GlassCatalogLookup, IgnoresCaseOnBothSides) {
  auto c = GlassCatalog::glassCatalogWithZemaxString(
      "NM N-BK7 2 517642 1.5168 64.17\nNM CaF2 2 434950 1.433848 94.99\nNM N-BK7HTi 2 517642 1.5168 64.17\n");
  struct Case {
    const char* query;
    const char* found;
  };
  for (const Case& q : {Case{"n-bk7", "N-BK7"}, Case{"N-BK7", "N-BK7"}, Case{"CAF2", "CaF2"}, Case{"caf2", "CaF2"},
                        Case{"N-BK7HTI", "N-BK7HTi"}}) {
    SCOPED_TRACE(q.query);
    auto g = c->lookupGlassWithName(q.query);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->name(), q.found);
  }
  EXPECT_EQ(c->lookupGlassWithName("BK7"), nullptr);
  EXPECT_THROW(c->objectAtIndex(3), orb::platform::Exception);

  c->setValueForKey("catalogName", "STAMPED");  // keys the catalog lacks go to every glass
  EXPECT_EQ(zemaxAt(*c, 2)->catalogName(), "STAMPED");
}

TEST(GlassLibrary, ReadsAgfFilesLowerCaseTypeFirst) {
  TemporaryDirectory dir;
  dir.write("OHARA.AGF", "NM S-BSL7 2 516641 1.51633 64.14\n");
  dir.write("schott.agf", "NM N-BK7 2 517642 1.5168 64.17\nNM F2 2 620364 1.62004 36.37\n");
  dir.write("notes.txt", "NM X 2 0 1 1\n");
  auto library = GlassCatalog::zemaxGlassLibraryWithPath(dir.path());
  ASSERT_EQ(library->count(), 3u);
  EXPECT_EQ(library->objectAtIndex(0)->name(), "N-BK7");
  EXPECT_EQ(zemaxAt(*library, 0)->catalogName(), "SCHOTT");
  EXPECT_EQ(zemaxAt(*library, 0)->version(), "SCHOTT.AGF");
  EXPECT_EQ(zemaxAt(*library, 2)->catalogName(), "OHARA");
  EXPECT_EQ(GlassCatalog::zemaxGlassLibraryWithPath("")->count(), 0u);
  EXPECT_EQ(GlassCatalog::zemaxGlassLibraryWithPath(dir.path() + "/missing")->count(), 0u);
}

// --- OSLO and the makers' tables ----------------------------------------------------------

TEST(OsloCatalog, ReadsGlassLinesAndPassesOverBadOnes) {
  orb::test::LogCapture capture;
  auto c = GlassCatalog::glassCatalogWithContentsOfOsloFile(kFixtures + "/oslo-sample.glc");
  const std::string log = capture.text();
  ASSERT_TRUE(c);
  EXPECT_EQ(c->catalogComment(), "Sample OSLO catalog");
  ASSERT_EQ(c->count(), 3u);
  EXPECT_NE(log.find("oslo-sample.glc line 5"), std::string::npos) << log;  // count 11
  EXPECT_NE(log.find("oslo-sample.glc line 6"), std::string::npos) << log;  // cut short

  auto g = std::dynamic_pointer_cast<OsloGlass>(c->objectAtIndex(0));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->name(), "BK7SAMPLE");
  EXPECT_EQ(g->alpha(), 7.1);
  EXPECT_EQ(g->CFSAP(), "1 0 2");
  EXPECT_EQ(g->formulaName(), "Sellmeier 1");
  EXPECT_EQ(g->coefficientValue()[0], 1.03961212);  // B1 B2 B3 C1 C2 C3 as in the file
  EXPECT_EQ(g->coefficientValue()[3], 0.00600069867);
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.58756), 1.5168, 2e-6);
  EXPECT_EQ(g->catalogType(), "OSLO");
  EXPECT_EQ(g->catalogName(), "OSLO-SAMPLE");
  const auto& t = g->transmissionArray().asArray();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], (Dictionary{{"wavelength", 0.70}, {"transmission", 0.998}, {"thickness", 5.0}}));
  EXPECT_TRUE(c->objectAtIndex(1)->transmissionArray().asArray().empty());
  EXPECT_EQ(c->objectAtIndex(2)->name(), "LAST");
}

namespace {

/// A CSV line with `count` empty fields and the given ones filled.
std::string csvLine(std::size_t count, const std::map<std::size_t, std::string>& fields) {
  std::vector<std::string> f(count);
  for (const auto& [i, v] : fields) f[i] = v;
  std::string line;
  for (std::size_t i = 0; i < count; ++i) line += (i ? "," : "") + f[i];
  return line;
}

}  // namespace

TEST(MakerTables, SchottCsvGivesSellmeierInZemaxOrder) {
  std::map<std::size_t, std::string> f{{0, " N-BK7 "}, {1, "1.5168"},      {3, "64.17"},      {6, "1.03961212"},
                                       {7, "0.231792344"}, {8, "1.01046945"}, {9, "0.00600069867"},
                                       {10, "0.0200179144"}, {11, "103.560653"}, {103, "2.51"}, {158, "517642"},
                                       {67, "0.665"},   {96, "0.1"}};
  const std::string text = csvLine(159, {{0, "Glass"}, {1, "nd"}}) + "\n" + csvLine(159, f) + "\n" +
                           csvLine(40, {{0, "SHORT"}, {1, "1.6"}}) + "\n" + csvLine(159, {}) + "\n" +
                           csvLine(159, {{0, "AFTER"}, {1, "1.6"}});
  orb::test::LogCapture capture;
  auto c = GlassCatalog::glassCatalogWithSchottCSVString(text, "schott.csv");
  const std::string log = capture.text();
  ASSERT_EQ(c->count(), 1u);  // heading, short row and everything after the empty name left out
  EXPECT_NE(log.find("schott.csv line 3"), std::string::npos) << log;
  auto g = zemaxAt(*c, 0);
  EXPECT_EQ(g->name(), "N-BK7");
  EXPECT_EQ(g->formula(), 2);
  EXPECT_EQ(g->glassCode(), "517642");
  EXPECT_EQ(g->density(), 2.51);
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.48613), 1.522376, 1.5e-6);
  const auto& t = g->transmissionArray().asArray();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0], (Dictionary{{"wavelength", 2.5}, {"transmission", 0.665}, {"thickness", 10.0}}));
  EXPECT_EQ(t[1].asDictionary().get("wavelength").asDouble(), 0.25);
}

TEST(MakerTables, HoyaAndHikariCsvGiveSchottFormulaGlasses) {
  // The Schott-formula coefficients of a glass with n² = 2.25 + 0.01/λ² (n = 1.5 + … ).
  auto hoyaRow = csvLine(179, {{1, "E-C3 "}, {2, "518-590"}, {10, "1.51823"}, {18, "58.9"}, {103, "2.7"},
                               {22, "2.25"}, {26, "1"}, {27, "-2"}, {144, "0.99"}});
  auto hoya = GlassCatalog::glassCatalogWithHoyaCSVString(hoyaRow + "\n" + csvLine(179, {}));
  ASSERT_EQ(hoya->count(), 1u);
  auto h = zemaxAt(*hoya, 0);
  EXPECT_EQ(h->name(), "E-C3");
  EXPECT_EQ(h->glassCode(), "518590");
  EXPECT_EQ(h->formula(), 1);
  EXPECT_EQ(h->coefficientValue()[2], 0.01);  // mantissa 1, exponent −2
  EXPECT_NEAR(h->indexAtWavelengthInMicrons(0.5), std::sqrt(2.25 + 0.04), 1e-14);
  EXPECT_EQ(h->transmissionArray().asArray()[0].asDictionary().get("wavelength").asDouble(), 1.55);

  auto hikariRow = csvLine(89, {{0, "J-BK7A"}, {1, "517642"}, {9, "1.5168"}, {15, "64.2"}, {44, "2.52"},
                                {34, "2.25"}, {36, "0.01"}, {57, "0.5"}});
  auto hikari = GlassCatalog::glassCatalogWithHikariCSVString(hikariRow + "\n" + csvLine(10, {}));
  ASSERT_EQ(hikari->count(), 1u);
  EXPECT_NEAR(hikari->objectAtIndex(0)->indexAtWavelengthInMicrons(0.5), std::sqrt(2.29), 1e-14);
  EXPECT_EQ(zemaxAt(*hikari, 0)->nCoefficientData(), 7u);
}

TEST(MakerTables, SumitaCsvTakesFieldsByColumnName) {
  const std::string text =
      "Sumita optical glass\n"
      "data sheet\n"
      "GNAME,GTYPE,nD,vd,SG,A0,A1,A2,A3,A4,A5,T40010,T50010\n"
      "K-BK7,517642,1.5168,64.17,2.5,2.25,0,0.01,0,0,0,0.98,0.99\n"
      "K-SHORT,517642,1.5168,64.17\n"
      ",,,\n"
      "K-AFTER,1,1.6,50,3,2.56,0,0,0,0,0,1,1\n";
  orb::test::LogCapture capture;  // the passed-over row stays out of the output
  auto c = GlassCatalog::glassCatalogWithSumitaCSVString(text, "sumita.csv");
  ASSERT_EQ(c->count(), 1u);
  auto g = zemaxAt(*c, 0);
  EXPECT_EQ(g->name(), "K-BK7");
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.5), std::sqrt(2.29), 1e-14);
  ASSERT_EQ(g->transmissionArray().asArray().size(), 2u);
  EXPECT_EQ(g->transmissionArray().asArray()[1].asDictionary().get("wavelength").asDouble(), 0.5);
}

TEST(MakerTables, OharaAscReadsFixedColumns) {
  std::string line(829, ' ');
  auto put = [&](std::size_t at, const std::string& s) { line.replace(at, s.size(), s); };
  put(0, "S-BSL7");
  put(10, "516641");
  put(120, "1.51633");
  put(205, "64.14");
  // A1 A2 A3 B1 B2 B3 as mantissa (11 characters) and power of ten (2 characters).
  const char* coefficients[6][2] = {{"1.15150190", "+0"}, {"1.18583612", "-1"}, {"1.26301359", "+0"},
                                    {"1.05984130", "-2"}, {"-1.18225190", "-2"}, {"1.29617662", "+2"}};
  for (std::size_t k = 0; k < 6; ++k) {
    put(475 + 13 * k, coefficients[k][0]);
    put(475 + 13 * k + 11, coefficients[k][1]);
  }
  put(631, "0.998");
  orb::test::LogCapture capture;
  auto c = GlassCatalog::glassCatalogWithOharaASCString(line + "\n" + line.substr(0, 700) + "\n" + line);
  const std::string log = capture.text();
  ASSERT_EQ(c->count(), 2u);  // the short line is passed over
  EXPECT_NE(log.find("line 2"), std::string::npos);
  auto g = zemaxAt(*c, 0);
  EXPECT_EQ(g->glassCode(), "516641");
  EXPECT_EQ(g->coefficientValue()[1], 1.05984130e-2);   // B1 stored as L1
  EXPECT_EQ(g->coefficientValue()[2], 1.18583612e-1);   // A2 stored as K2
  EXPECT_EQ(g->transmissionArray().asArray()[0].asDictionary().get("wavelength").asDouble(), 0.28);
}

// --- The system catalog -------------------------------------------------------------------

TEST(SystemGlassCatalog, ResolvesTheMakersGlassesWithoutSetUp) {
  ::setenv("ORBELLINE_RESOURCES", (std::string(ORB_SOURCE_DIR) + "/resources").c_str(), 1);
  std::string why;
  auto c = systemcatalog::load(false, &why);
  ASSERT_TRUE(c);
  // SCHOTT 158 + OHARA 410 + HOYA 190 + CDGM 314 + SUMITA 176 + HIKARI 363 + MISC 8 +
  // INFRARED 7: the makers' files hold every glass of their makers.
  EXPECT_EQ(c->count(), 1626u) << why;
  for (const char* name : {"N-BK7", "S-BSL7", "H-K9L", "E-C3", "BAF10", "K-BK7", "SILICA", "GERMANIUM"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(c->lookupGlassWithName(name));
  }
  // The catalogs in their search order, so that a name several makers use means the first
  // one's glass: SCHOTT's F2 (nd 1.620040) rather than CDGM's (1.612929).
  std::vector<std::string> order;
  for (const auto& g : c->glassArray())
    if (auto name = g->catalogName(); name && (order.empty() || order.back() != *name)) order.push_back(*name);
  EXPECT_EQ(order, systemcatalog::libraryOrder());
  EXPECT_EQ(c->lookupGlassWithName("F2")->catalogName(), "SCHOTT");
}

TEST(SystemGlassCatalog, EncipheredArchiveRoundTrip) {
  auto c = GlassCatalog::glassCatalogWithContentsOfZemaxFile(kGlassResources + "/SCHOTT.AGF");
  auto small = GlassCatalog::glassCatalog();
  small->addObject(c->lookupGlassWithName("N-BK7"));
  small->addObject(c->lookupGlassWithName("F2"));
  small->setCatalogComment("two");
  auto data = systemcatalog::archiveData(*small);
  auto back = systemcatalog::catalogFromArchiveData(data);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->count(), 2u);
  EXPECT_EQ(back->catalogComment(), "two");
  auto g = zemaxAt(*back, 0);
  EXPECT_EQ(g->catalogName(), "SCHOTT");
  EXPECT_EQ(g->indexAtWavelengthInMicrons(0.5), small->objectAtIndex(0)->indexAtWavelengthInMicrons(0.5));

  data[data.size() / 2] ^= 0x5A;  // damaged data: no catalog, no crash
  std::string why;
  EXPECT_EQ(systemcatalog::catalogFromArchiveData(data, &why), nullptr);
  EXPECT_FALSE(why.empty());
}
