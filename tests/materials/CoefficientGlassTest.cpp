#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "materials/ArchiveClasses.h"
#include "materials/GlassWithIndexData.h"
#include "materials/OsloGlass.h"
#include "materials/ZemaxGlass.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb::materials;
using orb::platform::Array;
using orb::platform::Dictionary;
using orb::platform::Value;

namespace {

std::shared_ptr<ZemaxGlass> zemax(int formula, std::vector<double> c) {
  auto g = ZemaxGlass::glassWithName("test");
  g->setFormula(formula);
  g->setCoefficientValuesFromDoubles(c.data(), c.size());
  return g;
}

// N-BK7, SCHOTT datasheet Sellmeier coefficients B1, C1, B2, C2, B3, C3.
std::shared_ptr<ZemaxGlass> nbk7() {
  return zemax(2, {1.03961212, 0.00600069867, 0.231792344, 0.0200179144, 1.01046945, 103.560653});
}

}  // namespace

// Published refractive indices of N-BK7 (SCHOTT datasheet, 6 decimals) and of fused silica
// (Malitson 1965, nd = 1.458464 at the helium d line, within the 6th decimal).
TEST(CatalogFormula, SellmeierMatchesPublishedIndices) {
  struct Case {
    const char* name;
    double lambda, n;
  };
  auto bk7 = nbk7();
  for (const Case& c : {Case{"d", 0.58756, 1.516800}, Case{"F", 0.48613, 1.522376}, Case{"C", 0.65627, 1.514322},
                        Case{"1 um", 1.0, 1.507502}}) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(bk7->indexAtWavelengthInMicrons(c.lambda), c.n, 1.5e-6);
  }
  auto silica = zemax(2, {0.6961663, 0.0684043 * 0.0684043, 0.4079426, 0.1162414 * 0.1162414, 0.8974794,
                          9.896161 * 9.896161});
  EXPECT_NEAR(silica->indexAtWavelengthInMicrons(0.5875618), 1.458464, 2e-6);
}

// Each catalog law at one wavelength with small coefficients, against the value worked out
// by hand from the law as written (λ in µm, L = λ²).
TEST(CatalogFormula, EveryZemaxLawAgainstHandValues) {
  struct Case {
    const char* name;
    int formula;
    std::vector<double> c;
    double lambda, expected;
  };
  const std::vector<Case> cases{
      // n² = 2 + 0.01·0.25 + 0.01/0.25 = 2.0425
      {"1 Schott", 1, {2.0, 0.01, 0.01, 0, 0, 0}, 0.5, std::sqrt(2.0425)},
      // n² = 1 + 0.25/(0.25 − 0.01) = 49/24
      {"2 Sellmeier 1", 2, {1, 0.01, 0, 0, 0, 0}, 0.5, std::sqrt(49.0 / 24.0)},
      // n = 1.5 + 0.1/(1 − 0.028) + 0.01·1 = 1.612880658436214
      {"3 Herzberger", 3, {1.5, 0.1, 0, 0.01, 0, 0}, 1.0, 1.612880658436214},
      // n² = 1 + 0.5 + 1/(1 − 0.1²) + 0.01/(1 − 0.2²) = 1.5 + 1.0101010101 + 0.0104166667
      {"4 Sellmeier 2", 4, {0.5, 1.0, 0.1, 0.01, 0.2}, 1.0, std::sqrt(2.520517676767677)},
      // n = 1.5 + 0.01/0.5 + 0.001/0.5^3.5 = 1.52 + 0.001·11.313708499
      {"5 Conrady", 5, {1.5, 0.01, 0.001}, 0.5, 1.531313708498985},
      // n² = 1 + 0.5/0.99 + 0.3/0.98 + 0.1/0.97 + 0.05/0.96
      {"6 Sellmeier 3", 6, {0.5, 0.01, 0.3, 0.02, 0.1, 0.03, 0.05, 0.04}, 1.0, std::sqrt(1.966349070868585)},
      // n² = 2 + 0.01/(0.25 − 0.02) − 0.01·0.25 = 2.040978260869565
      {"7 Handbook of Optics 1", 7, {2.0, 0.01, 0.02, 0.01}, 0.5, std::sqrt(2.040978260869565)},
      // n² = 1.5 + 0.5·0.25/0.23 − 0.02·0.25 = 2.038478260869565
      {"8 Handbook of Optics 2", 8, {1.5, 0.5, 0.02, 0.02}, 0.5, std::sqrt(2.038478260869565)},
      // n² = 1 + 1/(1 − 0.01) + 0.5/(1 − 100) = 2.005050505050505
      {"9 Sellmeier 4", 9, {1.0, 1.0, 0.01, 0.5, 100}, 1.0, std::sqrt(2.005050505050505)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(zemax(c.formula, c.c)->indexAtWavelengthInMicrons(c.lambda), c.expected, 1e-13);
  }
}

TEST(CatalogFormula, ExponentialOsloAndFailingLaws) {
  auto exponential = zemax(100, {1.5, 0.16, 4.7});
  EXPECT_NEAR(exponential->indexAtWavelengthInMicrons(0.5), 1.5 + 0.16 * std::exp(-2.35), 1e-15);

  // OSLO's Sellmeier keeps B1 B2 B3 C1 C2 C3: the same glass as Zemax formula 2.
  auto oslo = orb::platform::makeObject<OsloGlass>();
  oslo->setFormula(2);
  const double c[6] = {1.03961212, 0.231792344, 1.01046945, 0.00600069867, 0.0200179144, 103.560653};
  oslo->setCoefficientValuesFromDoubles(c, 6);
  EXPECT_NEAR(oslo->indexAtWavelengthInMicrons(0.5), nbk7()->indexAtWavelengthInMicrons(0.5), 1e-15);
  oslo->setFormula(4);
  EXPECT_EQ(oslo->indexAtWavelengthInMicrons(0.5), 0.0);
  EXPECT_EQ(oslo->coefficientNames().size(), 10u);
  EXPECT_EQ(oslo->coefficientNames()[9], "c9");

  // At a pole or under a negative square the answer is +∞, never NaN.
  EXPECT_EQ(zemax(2, {1, 0.25, 0, 0, 0, 0})->indexAtWavelengthInMicrons(0.5), HUGE_VAL);
  EXPECT_EQ(zemax(1, {-1, 0, 0, 0, 0, 0})->indexAtWavelengthInMicrons(0.5), HUGE_VAL);
}

TEST(CatalogFormula, MenusNamesAndCoefficientRows) {
  auto g = zemax(7, {});
  ASSERT_EQ(g->formulaNames().size(), 14u);
  EXPECT_EQ(g->formulaNames()[0], "Exponential");
  EXPECT_EQ(g->formulaNames()[1], "Schott");
  EXPECT_EQ(g->formulaNames()[9], "Handbook of Optics 2");
  EXPECT_EQ(g->formulaNames()[13], "Extended 3");
  EXPECT_EQ(g->formulaName(), "Handbook of Optics 1");
  g->setFormula(42);
  EXPECT_EQ(g->formulaName(), "unknown");

  auto s = nbk7();
  std::vector<std::string> order;
  for (const auto& row : s->invertedCoefficientDictionary())
    order.push_back(row.asDictionary().get("coefficientName").asString());
  EXPECT_EQ(order, (std::vector<std::string>{"K1", "K2", "K3", "L1", "L2", "L3"}));

  // Coefficients by name, through key-value coding too.
  EXPECT_EQ(s->valueForKey("K2").asDouble(), 0.231792344);
  EXPECT_EQ(s->valueForKey("Q7").asDouble(), 0.0);
  s->setValueForKey("L3", 100.0);
  EXPECT_EQ(s->coefficientValue()[5], 100.0);
  s->setCoefficientValue(5.0, "nope");  // ignored
  s->setCoefficientIsVariable(true, "K1");
  s->setCoefficientIsVariable(true, "L2");
  EXPECT_EQ(s->keyPathsForVariables(), (Array{"K1", "L2"}));
  s->setIsMutable(false);
  EXPECT_FALSE(s->hasVariables());
}

TEST(CatalogFormula, ValidWavelengthRange) {
  auto g = nbk7();
  EXPECT_TRUE(g->validWavelengthInMicrons(0.0));
  EXPECT_TRUE(g->validWavelengthInMicrons(1e9));
  g->setWavelengthRange(0.3, 2.5);
  EXPECT_FALSE(g->validWavelengthInMicrons(0.29));
  EXPECT_TRUE(g->validWavelengthInMicrons(2.5));
}

// A guess must reproduce the given index at the given wavelength for the laws whose
// starting values are built to (model, exponential, Schott, the Sellmeier 1, 3 and 5 forms,
// the extended forms).
TEST(CatalogFormula, GuessesReproduceTheGivenIndex) {
  for (int formula : {1, 2, 6, 10, 11, 12, 13, 100}) {
    SCOPED_TRACE(formula);
    auto g = zemax(formula, {});
    g->guessForWavelengthInMicrons(0.5, 1.5);
    EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.5), 1.5, 1e-14);
  }
  auto model = Glass::glass();
  model->guessForWavelengthInMicrons(0.5, 1.62);
  EXPECT_EQ(model->referenceIndex(), 1.62);

  auto oslo = orb::platform::makeObject<OsloGlass>();
  oslo->setFormula(2);
  oslo->guessForWavelengthInMicrons(0.5, 1.5);
  EXPECT_NEAR(oslo->indexAtWavelengthInMicrons(0.5), 1.5, 1e-14);
}

TEST(CatalogFormula, DynamicReferenceDataFollowTheCoefficients) {
  auto g = nbk7();
  g->setReferenceDataIsDynamic(true);
  EXPECT_NEAR(g->referenceIndex(), 1.5168, 1e-5);
  EXPECT_NEAR(g->referenceAbbe(), 64.17, 0.01);
}

TEST(CatalogArchive, ZemaxGlassRoundTripAndVariableFlags) {
  registerArchiveClasses();
  auto g = nbk7();
  g->setVersion(std::string("SCHOTT.AGF"));
  g->setCatalogName(std::string("SCHOTT"));
  g->setCatalogType(std::string("ZEMAX"));
  g->setAlpha(7.1, 8.3);
  g->setCoefficientIsVariable(true, "K1");  // not mutable: not archived
  auto data = orb::platform::KeyedArchiver::archivedDataWithRootObject(Value(g));
  auto back = orb::platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<ZemaxGlass>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->coefficientValue(), g->coefficientValue());
  EXPECT_EQ(back->catalogName(), "SCHOTT");
  EXPECT_EQ(back->alphaExtended(), 8.3);
  EXPECT_EQ(back->lambdaMax(), HUGE_VAL);
  EXPECT_FALSE(back->hasVariables());
  EXPECT_EQ(back->indexAtWavelengthInMicrons(0.5), g->indexAtWavelengthInMicrons(0.5));

  g->setIsMutable(true);
  g->setCoefficientIsVariable(true, "L3");
  auto data2 = orb::platform::KeyedArchiver::archivedDataWithRootObject(Value(g));
  auto back2 = orb::platform::KeyedUnarchiver::unarchiveObjectWithData(data2).asObject<ZemaxGlass>();
  EXPECT_TRUE(back2->coefficientIsVariableForName("L3"));
}

// --- Tabulated glasses --------------------------------------------------------------------

namespace {
Value row(double w, double n) { return Dictionary{{"wavelength", w}, {"indexOfRefraction", n}}; }
}  // namespace

TEST(TabulatedGlass, PassesThroughItsKnotsInAnyRowOrder) {
  auto g = orb::platform::makeObject<GlassWithIndexData>();
  EXPECT_EQ(g->formula(), 999);
  EXPECT_EQ(g->formulaName(), "Spline");
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.587562), 1.525, 1e-12);
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.486133), 1.532, 1e-12);
  // Extrapolated beyond both ends, continuing the trend.
  EXPECT_GT(g->indexAtWavelengthInMicrons(0.45), 1.532);
  EXPECT_LT(g->indexAtWavelengthInMicrons(0.70), 1.518);

  auto shuffled = orb::platform::makeObject<GlassWithIndexData>();
  shuffled->setIndexData(Array{row(587.562, 1.525), row(486.133, 1.532), row(656.279, 1.518)});
  for (double lambda : {0.45, 0.5, 0.6, 0.7})
    EXPECT_DOUBLE_EQ(shuffled->indexAtWavelengthInMicrons(lambda), g->indexAtWavelengthInMicrons(lambda));
  EXPECT_TRUE(shuffled->coefficientNames().empty());
}

TEST(TabulatedGlass, UnitsEmptyRowsAndCatalogFormulas) {
  auto g = orb::platform::makeObject<GlassWithIndexData>();
  g->setDataWavelengthUnits("micron");
  g->setIndexData(Array{row(0.5876, 1.6), row(0.4861, 1.61), row(0.6563, 1.595), row(0.5876, 1.7)});
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(0.5876), 1.6, 1e-12);  // repeated wavelength: first row kept

  auto empty = orb::platform::makeObject<GlassWithIndexData>();
  empty->setIndexData(Array());
  EXPECT_FALSE(empty->hasInterpolator());
  EXPECT_EQ(empty->indexAtWavelengthInMicrons(0.5), 0.0);

  empty->setFormula(2);
  const double c[6] = {1.03961212, 0.00600069867, 0.231792344, 0.0200179144, 1.01046945, 103.560653};
  empty->setCoefficientValuesFromDoubles(c, 6);
  EXPECT_EQ(empty->indexAtWavelengthInMicrons(0.5), nbk7()->indexAtWavelengthInMicrons(0.5));
}

TEST(TabulatedGlass, ArchiveKeepsRowsAndMakesTheGlassMutable) {
  registerArchiveClasses();
  auto g = orb::platform::makeObject<GlassWithIndexData>();
  g->setDataWavelengthUnits("micron");
  g->setIndexData(Array{row(0.5, 1.6), row(0.6, 1.59), row(0.7, 1.585)});
  auto data = orb::platform::KeyedArchiver::archivedDataWithRootObject(Value(g));
  auto back = orb::platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<GlassWithIndexData>();
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isMutable());
  EXPECT_EQ(back->dataWavelengthUnits(), "micron");
  EXPECT_NEAR(back->indexAtWavelengthInMicrons(0.6), 1.59, 1e-12);
}
