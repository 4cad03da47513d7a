#include "materials/IndexFitter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "materials/IndexCalculator.h"
#include "materials/ZemaxGlass.h"

using namespace orb::materials;
using orb::platform::Array;
using orb::platform::Dictionary;
using orb::platform::Value;

namespace {

Array rows(const std::vector<std::pair<double, double>>& data) {
  Array a;
  for (auto [lambda, n] : data) a.push_back(Dictionary{{"wavelength", lambda}, {"indexOfRefraction", n}});
  return a;
}

std::shared_ptr<ZemaxGlass> mutableZemaxGlass(int formula) {
  auto g = orb::platform::makeObject<ZemaxGlass>();
  g->setIsMutable(true);
  g->setFormula(formula);
  return g;
}

double conrady(double n0, double a, double b, double lambdaMicrons) {
  return n0 + a / lambdaMicrons + b / std::pow(lambdaMicrons, 3.5);
}

}  // namespace

TEST(IndexFitter, NewFitterPlotsDefaultRowsAndFitCurve) {
  auto fitter = IndexFitter::indexFitter();
  const Dictionary& plot = fitter->plotDictionary();
  EXPECT_EQ(plot.find("title")->asString(), "untitled");
  EXPECT_EQ(plot.find("xLabel")->asString(), "wavelength (nm)");
  const Array& curves = plot.find("curves")->asArray();
  ASSERT_EQ(curves.size(), 2u);
  const Array& dataX = curves[0].asDictionary().find("xSeries")->asArray();
  ASSERT_EQ(dataX.size(), 3u);
  EXPECT_EQ(dataX[0].asDouble(), 656.279);
  const Array& fitX = curves[1].asDictionary().find("xSeries")->asArray();
  ASSERT_EQ(fitX.size(), 100u);
  EXPECT_EQ(fitX.front().asDouble(), 365);
  EXPECT_EQ(fitX.back().asDouble(), 1000);

  fitter->setUnitsTag(0);
  EXPECT_DOUBLE_EQ(fitter->lambdaMin(), 0.365);
  EXPECT_DOUBLE_EQ(fitter->lambdaMax(), 1.0);
  fitter->insertObjectInIndexDataAtIndex(Dictionary(), 0);
  const Dictionary& added = fitter->indexData().back().asDictionary();
  EXPECT_EQ(added.find("wavelength")->asDouble(), 0.55);
  EXPECT_EQ(added.find("indexOfRefraction")->asDouble(), 1.5);
}

TEST(IndexFitter, ConradyFitRecoversItsCoefficients) {
  // Rows from n = 1.5 + 0.01/λ + 0.001/λ^3.5 (λ in µm), wavelengths in nm.
  auto fitter = IndexFitter::indexFitter();
  std::vector<std::pair<double, double>> data;
  for (double nm : {400.0, 480.0, 550.0, 650.0, 800.0, 1000.0}) data.push_back({nm, conrady(1.5, 0.01, 0.001, nm / 1000)});
  fitter->setIndexData(rows(data));
  fitter->setTypicalCoefficients();
  fitter->fit();
  auto g = std::dynamic_pointer_cast<ZemaxGlass>(fitter->glass());
  EXPECT_LT(fitter->chiSquared(), 1e-14);
  EXPECT_NEAR(g->coefficientNamed("n0"), 1.5, 1e-6);
  EXPECT_NEAR(g->coefficientNamed("A"), 0.01, 1e-6);
  EXPECT_NEAR(g->coefficientNamed("B"), 0.001, 1e-6);
}

TEST(IndexFitter, SellmeierFitReproducesCatalogIndicesOfNBK7) {
  // The maker's Sellmeier law for N-BK7 (B1 B2 B3, C1 C2 C3 in µm²). Its indices agree
  // with the datasheet's five-decimal values (e.g. nd 1.51680); rows are taken from the law
  // itself, since rounded values carry ±5e-6 of noise no smooth law follows.
  const double b[3] = {1.03961212, 0.231792344, 1.01046945};
  const double c[3] = {0.00600069867, 0.0200179144, 103.560653};
  auto sellmeier = [&](double nm) {
    const double l2 = nm * nm * 1e-6;
    double n2 = 1;
    for (int i = 0; i < 3; ++i) n2 += b[i] * l2 / (l2 - c[i]);
    return std::sqrt(n2);
  };
  ASSERT_NEAR(sellmeier(587.56), 1.51680, 5e-6);
  std::vector<std::pair<double, double>> catalog;
  for (double nm : {404.66, 435.83, 486.13, 587.56, 656.27, 1013.98}) catalog.push_back({nm, sellmeier(nm)});
  auto fitter = IndexFitter::indexFitter();
  auto glass = mutableZemaxGlass(2);
  // The coefficients cut to three figures, as a melt refit starts.
  const double start[] = {1.04, 0.006, 0.232, 0.02, 1.01, 104.0};
  glass->setCoefficientValuesFromDoubles(start, 6);
  fitter->setGlass(glass);
  fitter->setIndexData(rows(catalog));
  fitter->fit();
  for (auto [nm, n] : catalog) EXPECT_NEAR(glass->indexAtWavelengthInMicrons(nm / 1000), n, 1e-6) << nm;
}

// The default rows are the F, d and C lines; three rows fix n0, A and B of Conrady's law
// exactly, so a new fitter (every coefficient 0) must land on them in one fit. References:
// a known law sampled at those wavelengths, and the 3 × 3 solve of the default indices.
TEST(IndexFitter, NewFitterRecoversAnExactConradyLawInOneFit) {
  const double lambdas[3] = {0.656279, 0.587562, 0.486133};
  struct Case {
    const char* name;
    double n[3];          // indices at the three wavelengths
    double expected[3];   // n0, A, B; NaN: solve from n by Cramer's rule
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {"known law", {conrady(1.62, 0.012, 0.0009, lambdas[0]), conrady(1.62, 0.012, 0.0009, lambdas[1]),
                     conrady(1.62, 0.012, 0.0009, lambdas[2])}, {1.62, 0.012, 0.0009}},
      {"default rows", {1.518, 1.525, 1.532}, {nan, nan, nan}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double expected[3] = {c.expected[0], c.expected[1], c.expected[2]};
    if (std::isnan(expected[0])) {
      // Rows (1, 1/λ, λ^-3.5) · (n0, A, B) = n.
      double m[3][3];
      for (int i = 0; i < 3; ++i) m[i][0] = 1, m[i][1] = 1 / lambdas[i], m[i][2] = std::pow(lambdas[i], -3.5);
      auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
      };
      const double d = det(m);
      for (int k = 0; k < 3; ++k) {
        double mk[3][3];
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) mk[i][j] = j == k ? c.n[i] : m[i][j];
        expected[k] = det(mk) / d;
      }
    }
    auto fitter = IndexFitter::indexFitter();
    fitter->setIndexData(rows({{656.279, c.n[0]}, {587.562, c.n[1]}, {486.133, c.n[2]}}));
    auto g = std::dynamic_pointer_cast<ZemaxGlass>(fitter->glass());
    for (const char* name : {"n0", "A", "B"}) ASSERT_EQ(g->coefficientNamed(name), 0) << name;
    fitter->fit();
    EXPECT_LT(fitter->chiSquared(), 1e-12);
    EXPECT_NEAR(g->coefficientNamed("n0"), expected[0], 1e-8);
    EXPECT_NEAR(g->coefficientNamed("A"), expected[1], 1e-8);
    EXPECT_NEAR(g->coefficientNamed("B"), expected[2], 1e-9);
    // The coefficient rows show the fitted values.
    for (const Value& row : fitter->coefficientData()) {
      const Dictionary& d = row.asDictionary();
      EXPECT_EQ(d.find("coefficientValue")->asDouble(), g->coefficientNamed(d.find("coefficientName")->asString()));
    }
  }
}

// A single variable is found by golden section; the glass is left at the best point found
// and χ² is its value there.
TEST(IndexFitter, OneVariableFitLeavesGlassAtBestPoint) {
  auto fitter = IndexFitter::indexFitter();
  fitter->setIndexData(rows({{500, 1.52}, {600, 1.52}, {700, 1.52}}));
  auto g = std::dynamic_pointer_cast<ZemaxGlass>(fitter->glass());
  g->setCoefficientIsVariable(false, "A");
  g->setCoefficientIsVariable(false, "B");
  fitter->updateCoefficientData();
  ASSERT_EQ(fitter->coefficientData().size(), 1u);
  fitter->fit();
  EXPECT_NEAR(g->coefficientNamed("n0"), 1.52, 1e-7);
  double sum = 0;
  for (double nm : {500.0, 600.0, 700.0}) sum += std::pow(g->indexAtWavelengthInMicrons(nm / 1000) - 1.52, 2);
  EXPECT_DOUBLE_EQ(fitter->chiSquared(), sum);
}

TEST(IndexFitter, CoefficientRowEditsReachTheGlass) {
  auto fitter = IndexFitter::indexFitter();
  const Array& coefficientRows = fitter->coefficientData();
  std::size_t row = coefficientRows.size();
  for (std::size_t i = 0; i < coefficientRows.size(); ++i)
    if (coefficientRows[i].asDictionary().find("coefficientName")->asString() == "n0") row = i;
  ASSERT_LT(row, coefficientRows.size());
  fitter->setCoefficientDataValue(row, "coefficientValue", 1.65);
  auto g = std::dynamic_pointer_cast<ZemaxGlass>(fitter->glass());
  EXPECT_EQ(g->coefficientNamed("n0"), 1.65);
  EXPECT_EQ(fitter->coefficientData()[row].asDictionary().find("coefficientValue")->asDouble(), 1.65);
  // The plot follows: the fit curve is the new constant index.
  const Array& fit = fitter->plotDictionary().find("curves")->asArray()[1].asDictionary().find("ySeries")->asArray();
  EXPECT_EQ(fit[0].asDouble(), 1.65);
}

TEST(IndexFitter, GeneratedRowsSpanTheRange) {
  auto fitter = IndexFitter::indexFitter();
  fitter->setLambdaMinGUI(400);
  fitter->setLambdaMaxGUI(700);
  fitter->generateIndexData();
  ASSERT_EQ(fitter->countOfIndexData(), 100u);
  EXPECT_EQ(fitter->indexData().front().asDictionary().find("wavelength")->asDouble(), 400);
  EXPECT_EQ(fitter->indexData().back().asDictionary().find("wavelength")->asDouble(), 700);
}

TEST(IndexCalculator, IndexAtTheLeadingNumber) {
  auto calc = orb::platform::makeObject<IndexCalculator>();
  EXPECT_FALSE(calc->validGlass());
  EXPECT_EQ(calc->indexAtWavelengthOfInterest(), 0);
  calc->setGlass(Glass::glassWithIndex(1.5168, 64.17));
  EXPECT_NEAR(calc->indexAtWavelengthOfInterest(), 1.5168, 1e-9);  // "0.58756 d"
  EXPECT_TRUE(calc->validWavelength());
}
