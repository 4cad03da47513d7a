#include "materials/IndexFitter.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "foundation/minimise/GoldenSectionSearch.h"
#include "foundation/minimise/NelderMead.h"
#include "materials/GlassWithIndexData.h"
#include "materials/ZemaxGlass.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::materials {

using foundation::VKSeries;
using platform::Array;
using platform::Dictionary;
using platform::Keys;
using platform::Value;

namespace {

constexpr int kPlotPoints = 100;
// Restarts of the downhill simplex in one fit: each may only lower χ², so the cap merely
// bounds the time a fit takes on data no formula matches.
constexpr int kMaxSimplexRuns = 20;

/// Holds a flag set for the life of the guard.
struct FlagGuard {
  explicit FlagGuard(bool& flag) : m_flag(flag), m_old(flag) { flag = true; }
  ~FlagGuard() { m_flag = m_old; }
  bool& m_flag;
  bool m_old;
};

double numberIn(const Value& row, const char* key) {
  if (!row.isDictionary()) return 0;
  const Value* v = row.asDictionary().find(key);
  return v && v->isNumber() ? v->asDouble() : 0;
}

Array numbers(const std::vector<double>& values) {
  return Array(values.begin(), values.end());
}

std::shared_ptr<GlassWithIndexData> withIndexData(const std::shared_ptr<Glass>& g) {
  return std::dynamic_pointer_cast<GlassWithIndexData>(g);
}

}  // namespace

IndexFitter::IndexFitter() {
  auto g = platform::makeObject<ZemaxGlass>();
  g->setIsMutable(true);
  g->setFormula(5);
  g->setName("untitled");
  g->setVersion(std::string("default"));
  g->setColor(platform::Color::make(2.0 / 3, 2.0 / 3, 2.0 / 3));
  m_glass = g;
  m_glassArray = {g};
  m_indexData = GlassWithIndexData::defaultIndexData();
  // Offered for fitting: every coefficient is a variable, as after setGlass.
  g->makeAllCoefficientsVariable();
  observeGlass();
  updateCoefficientData();
  updatePlotDictionary();
}

// --- The glass ----------------------------------------------------------------------------

void IndexFitter::observeGlass() {
  m_glassObservations.clear();
  if (!m_glass) return;
  for (const char* key : {"formula", "coefficientDictionary"})
    m_glassObservations.push_back(m_glass->addObserver(key, [this](const platform::ObservedChange&) { glassDidChange(); }));
}

void IndexFitter::glassDidChange() {
  if (m_ignoreGlassChanges) return;
  updateCoefficientData();
  updatePlotDictionary();
}

void IndexFitter::setGlass(std::shared_ptr<Glass> glass) {
  platform::log("%s setGlass: %s", description().c_str(), glass ? glass->description().c_str() : "(null)");
  FlagGuard quiet(m_ignoreGlassChanges);
  changeValueForKey("glass", [&] { m_glass = std::move(glass); });
  observeGlass();
  if (!m_glass) return;
  const Glass& current = *m_glass;
  if (typeid(current) == typeid(Glass)) {
    setDynamicReferenceIndex(false);
    setDynamicReferenceAbbe(false);
    setDynamicReferencePartialDispersion(false);
  }
  if (auto data = withIndexData(m_glass)) {
    changeValueForKey("indexData", [&] { m_indexData = data->indexData(); });
    setAndAnnounce("unitsTag", m_unitsTag, data->dataWavelengthUnits() == "nm" ? 1 : 0);
  }
  m_glass->makeAllCoefficientsVariable();
  updateCoefficientData();
  updatePlotDictionary();
}

void IndexFitter::setGlassArray(std::vector<std::shared_ptr<Glass>> glasses) {
  changeValueForKey("glassArray", [&] { m_glassArray = std::move(glasses); });
}

Dictionary IndexFitter::glassDictionary() const { return m_glass ? m_glass->dictionary() : Dictionary(); }

void IndexFitter::setGlassDictionary(const Dictionary& dictionary) {
  if (!m_glass) return;
  {
    FlagGuard quiet(m_ignoreGlassChanges);
    if (const Value* name = dictionary.find("name"); name && name->isString()) m_glass->setName(name->asString());
    if (const Value* formula = dictionary.find("formulaName"); formula && formula->isString())
      m_glass->setFormulaName(formula->asString());
    if (const Value* c = dictionary.find("coefficientDictionary"); c && c->isDictionary()) {
      m_glass->setCoefficientValuesFromDictionary(c->asDictionary());
      m_glass->coefficientsChanged();
    }
  }
  updateCoefficientData();
  updatePlotDictionary();
}

// --- Rows ---------------------------------------------------------------------------------

void IndexFitter::indexDataDidChange() {
  // A glass with index data shares the rows: its spline follows every edit.
  if (auto data = withIndexData(m_glass)) data->setIndexData(m_indexData);
  updatePlotDictionary();
}

void IndexFitter::setIndexData(Array rows) {
  changeValueForKey("indexData", [&] { m_indexData = std::move(rows); });
  indexDataDidChange();
}

const Value& IndexFitter::objectInIndexDataAtIndex(std::size_t index) const {
  if (index >= m_indexData.size())
    platform::Exception::raise("NSRangeException", "index %zu beyond the %zu index rows", index, m_indexData.size());
  return m_indexData[index];
}

void IndexFitter::insertObjectInIndexDataAtIndex(const Value& row, std::size_t) {
  Dictionary d = row.isDictionary() ? row.asDictionary() : Dictionary();
  // Each missing number gets its default, so no row reads as λ = 0.
  if (!d.find("wavelength")) d.set("wavelength", wavelengthDataInNanometers() ? 550.0 : 0.55);
  if (!d.find("indexOfRefraction")) d.set("indexOfRefraction", 1.5);
  changeValueForKey("indexData", [&] { m_indexData.push_back(std::move(d)); });
  indexDataDidChange();
}

void IndexFitter::removeObjectFromIndexDataAtIndex(std::size_t index) {
  if (index >= m_indexData.size()) return;
  changeValueForKey("indexData", [&] { m_indexData.erase(m_indexData.begin() + static_cast<std::ptrdiff_t>(index)); });
  indexDataDidChange();
}

void IndexFitter::setIndexDataValue(std::size_t row, const std::string& key, double value) {
  if (row >= m_indexData.size() || (key != "wavelength" && key != "indexOfRefraction")) return;
  changeValueForKey("indexData", [&] {
    Dictionary d = m_indexData[row].isDictionary() ? m_indexData[row].asDictionary() : Dictionary();
    d.set(key, value);
    m_indexData[row] = std::move(d);
  });
  indexDataDidChange();
}

void IndexFitter::updateCoefficientData() {
  Array rows;
  if (m_glass)
    for (const Value& row : m_glass->invertedCoefficientDictionary()) {
      const Value* variable = row.asDictionary().find("coefficientIsVariable");
      if (variable && variable->asBool()) rows.push_back(row);
    }
  setAndAnnounce("coefficientData", m_coefficientData, std::move(rows));
}

// The rows hold "coefficientValue": that is the field whose edits go into the glass.
void IndexFitter::setCoefficientDataValue(std::size_t row, const std::string& key, const Value& value) {
  if (row >= m_coefficientData.size() || !m_glass) return;
  const std::string name = m_coefficientData[row].asDictionary().find("coefficientName")->asString();
  if (key == "coefficientValue") {
    m_glass->setCoefficientValue(value.asDouble(), name);
  } else if (key == "coefficientIsVariable") {
    m_glass->setCoefficientIsVariable(value.asBool(), name);
  } else {
    return;
  }
  updateCoefficientData();
  updatePlotDictionary();
}

// --- Actions ------------------------------------------------------------------------------

void IndexFitter::clearCoefficients() {
  if (!m_glass) return;
  {
    FlagGuard quiet(m_ignoreGlassChanges);
    m_glass->zeroCoefficients();
  }
  updateCoefficientData();
  updatePlotDictionary();
}

void IndexFitter::setTypicalCoefficients() {
  if (!m_glass) return;
  double lambda = 0.465, n = 1.5;
  if (!m_indexData.empty()) {
    const auto w = rowWavelengths();
    const auto i = rowIndices();
    lambda = *std::min_element(w.begin(), w.end()) * scale();
    n = *std::max_element(i.begin(), i.end());
  }
  {
    FlagGuard quiet(m_ignoreGlassChanges);
    m_glass->guessForWavelengthInMicrons(lambda, n);
  }
  updateCoefficientData();
  updatePlotDictionary();
}

double IndexFitter::valueAtCoordinate(const VKSeries& coordinate) {
  if (!m_glass) return 0;
  const std::size_t n = std::min(coordinate.count(), m_coefficientData.size());
  for (std::size_t i = 0; i < n; ++i)
    m_glass->setCoefficientValue(coordinate.at(i),
                                 m_coefficientData[i].asDictionary().find("coefficientName")->asString());
  const double s = scale();
  double sum = 0;
  for (const Value& row : m_indexData) {
    const double r = m_glass->indexAtWavelengthInMicrons(numberIn(row, "wavelength") * s) -
                     numberIn(row, "indexOfRefraction");
    sum += r * r;
  }
  return sum;
}

double IndexFitter::valueForDouble(double x) { return valueAtCoordinate(VKSeries::seriesWithDouble(x)); }

// Two or more variables: downhill simplex from steps of 1% of each value (1e-8 where it is
// 0), with every convergence test off and 1000 iterations, then again from the best point
// found — each restart shakes a collapsed simplex loose — while a run still lowers χ².
// The best point seen is the result, whatever a run's return code: a run that reaches an
// exact fit ends "no perceptible gradient" (every vertex at χ² = 0), and that is no reason
// to fall back to a worse point. One variable: golden section from [v, v + 1% of v]. The
// glass is left at the result and χ² is its value there.
void IndexFitter::fit() {
  if (!m_glass) return;
  updateCoefficientData();
  {
    FlagGuard quiet(m_ignoreGlassChanges);
    auto data = withIndexData(m_glass);
    if (data && data->formula() == GlassWithIndexData::kSplineFormula) {
      data->setIndexData(m_indexData);
      setAndAnnounce("chiSquared", m_chiSquared, 0.0);
    } else if (m_coefficientData.size() >= 2) {
      const std::size_t k = m_coefficientData.size();
      auto stepsFor = [k](const VKSeries& point) {
        VKSeries sizes(k);
        for (std::size_t i = 0; i < k; ++i) {
          const double step = 0.01 * std::fabs(point.at(i));
          sizes.atPut(i, step == 0 ? 1e-8 : step);
        }
        return sizes;
      };
      VKSeries best(k);
      for (std::size_t i = 0; i < k; ++i)
        best.atPut(i, m_coefficientData[i].asDictionary().find("coefficientValue")->asDouble());
      double bestValue = valueAtCoordinate(best);
      if (std::isnan(bestValue)) bestValue = HUGE_VAL;
      foundation::MultivariateFunctor functor([this](const VKSeries& x) { return valueAtCoordinate(x); });
      foundation::NelderMead minimiser;
      minimiser.setConvergenceStandardError(0);
      minimiser.setConvergenceSize(0);
      minimiser.setConvergenceValue(0);
      minimiser.setMaxIteration(1000);
      for (int run = 0; run < kMaxSimplexRuns && bestValue > 0; ++run) {
        auto simplex = foundation::NelderMead::euclideanSimplexWithInitialPoint(best, stepsFor(best));
        minimiser.setIteration(0);
        minimiser.minimizeFunctor(functor, simplex);
        const foundation::CoordinateAndFunctionValue& found = simplex.front();
        const bool improved = found.functionValue() < bestValue;
        if (improved) {
          best = found.coordinate();
          bestValue = found.functionValue();
        }
        if (!improved && run >= 1) break;
      }
      setAndAnnounce("chiSquared", m_chiSquared, valueAtCoordinate(best));
    } else if (m_coefficientData.size() == 1) {
      const double v = m_coefficientData[0].asDictionary().find("coefficientValue")->asDouble();
      const double step = 0.01 * std::fabs(v);
      foundation::GoldenSectionSearch search;
      search.setConvergenceStandardError(0);
      search.setConvergenceSize(0);
      search.setConvergenceValue(0);
      search.setMaxIteration(1000);
      const foundation::Functor functor([this](double x) { return valueForDouble(x); });
      const auto best = search.minimizeFunctor(functor, foundation::VKInterval(v, v + (step == 0 ? 1e-8 : step)), 0);
      // The search's last evaluation need not be its best point: leave the glass at the best.
      setAndAnnounce("chiSquared", m_chiSquared, valueForDouble(best.coordinate));
    }
  }
  m_glass->coefficientsChanged();
  updateCoefficientData();
  updatePlotDictionary();
}

void IndexFitter::generateIndexData() {
  if (!m_glass) return;
  const VKSeries lambdas = VKSeries::seriesWithCount(kPlotPoints, m_lambdaMin, m_lambdaMax);
  Array rows;
  for (double lambda : lambdas)
    rows.push_back(Dictionary{{"wavelength", lambda},
                              {"indexOfRefraction", m_glass->indexAtWavelengthInMicrons(lambda * scale())}});
  setIndexData(std::move(rows));
}

// --- Settings -----------------------------------------------------------------------------

void IndexFitter::setLambdaMinGUI(double v) {
  setAndAnnounce("wavelengthRangeDeterminedByData", m_wavelengthRangeDeterminedByData, false);
  setAndAnnounce("lambdaMin", m_lambdaMin, v);
  updatePlotDictionary();
}

void IndexFitter::setLambdaMaxGUI(double v) {
  setAndAnnounce("wavelengthRangeDeterminedByData", m_wavelengthRangeDeterminedByData, false);
  setAndAnnounce("lambdaMax", m_lambdaMax, v);
  updatePlotDictionary();
}

void IndexFitter::setWavelengthRangeDeterminedByData(bool on) {
  setAndAnnounce("wavelengthRangeDeterminedByData", m_wavelengthRangeDeterminedByData, on);
  if (on) updateRangeFromData();
  updatePlotDictionary();
}

void IndexFitter::updateRangeFromData() {
  if (m_indexData.empty()) return;
  const auto w = rowWavelengths();
  setAndAnnounce("lambdaMin", m_lambdaMin, *std::min_element(w.begin(), w.end()));
  setAndAnnounce("lambdaMax", m_lambdaMax, *std::max_element(w.begin(), w.end()));
}

void IndexFitter::setDynamicReferenceIndex(bool on) {
  setAndAnnounce("dynamicReferenceIndex", m_dynamicReferenceIndex, on);
  if (on) updateReferenceQuantities();
}

void IndexFitter::setDynamicReferenceAbbe(bool on) {
  setAndAnnounce("dynamicReferenceAbbe", m_dynamicReferenceAbbe, on);
  if (on) updateReferenceQuantities();
}

void IndexFitter::setDynamicReferencePartialDispersion(bool on) {
  setAndAnnounce("dynamicReferencePartialDispersion", m_dynamicReferencePartialDispersion, on);
  if (on) updateReferenceQuantities();
}

void IndexFitter::setDynamicCode(bool on) {
  setAndAnnounce("dynamicCode", m_dynamicCode, on);
  if (on) updatePlotDictionary();
}

void IndexFitter::setPlotResidual(bool on) {
  setAndAnnounce("plotResidual", m_plotResidual, on);
  updatePlotDictionary();
}

void IndexFitter::setUnitsTag(int tag) {
  if (tag != m_unitsTag && !m_wavelengthRangeDeterminedByData) {
    const double factor = m_unitsTag == 1 ? 0.001 : 1000.0;
    setAndAnnounce("lambdaMin", m_lambdaMin, m_lambdaMin * factor);
    setAndAnnounce("lambdaMax", m_lambdaMax, m_lambdaMax * factor);
  }
  setAndAnnounce("unitsTag", m_unitsTag, tag);
  if (auto data = withIndexData(m_glass)) data->setDataWavelengthUnits(tag == 1 ? "nm" : "micron");
  updatePlotDictionary();
}

void IndexFitter::updateReferenceQuantities() {
  if (!m_glass) return;
  FlagGuard quiet(m_ignoreGlassChanges);
  if (m_dynamicReferenceIndex) m_glass->updateReferenceIndexUsingGlass(*m_glass);
  if (m_dynamicReferenceAbbe) m_glass->updateReferenceAbbeUsingGlass(*m_glass);
  if (m_dynamicReferencePartialDispersion) m_glass->updateReferencePartialDispersionUsingGlass(*m_glass);
  if (m_dynamicCode) m_glass->setGlassCodeFromReferenceIndexAndAbbe();
}

// --- The plot -----------------------------------------------------------------------------

std::vector<double> IndexFitter::rowWavelengths() const {
  std::vector<double> w;
  for (const Value& row : m_indexData) w.push_back(numberIn(row, "wavelength"));
  return w;
}

std::vector<double> IndexFitter::rowIndices() const {
  std::vector<double> n;
  for (const Value& row : m_indexData) n.push_back(numberIn(row, "indexOfRefraction"));
  return n;
}

void IndexFitter::updatePlotDictionary() {
  if (!m_glass) return;
  updateReferenceQuantities();
  if (m_wavelengthRangeDeterminedByData) updateRangeFromData();
  const std::string& name = m_glass->name();
  const double s = scale();

  std::vector<double> x = rowWavelengths();
  std::vector<double> y = rowIndices();
  if (m_plotResidual)
    for (std::size_t i = 0; i < x.size(); ++i) y[i] -= m_glass->indexAtWavelengthInMicrons(x[i] * s);
  Array curves;
  curves.push_back(Dictionary{{"xSeries", numbers(x)},
                              {"ySeries", numbers(y)},
                              {"drawAsLines", false},
                              {"drawAsDots", true},
                              {"dotSize", 5},
                              {"name", "data"},
                              {"xLabel", "wavelength"},
                              {"yLabel", name + " (data)"}});
  if (!m_plotResidual) {
    const VKSeries lambdas = VKSeries::seriesWithCount(kPlotPoints, m_lambdaMin, m_lambdaMax);
    std::vector<double> fx(lambdas.begin(), lambdas.end()), fy;
    for (double lambda : fx) fy.push_back(m_glass->indexAtWavelengthInMicrons(lambda * s));
    curves.push_back(Dictionary{{"xSeries", numbers(fx)},
                                {"ySeries", numbers(fy)},
                                {"color", Value(platform::Color::make(0, 0, 0))},
                                {"name", "fit"},
                                {"xLabel", "wavelength"},
                                {"yLabel", name + " (fit)"}});
  }
  Dictionary plot{{"curves", std::move(curves)},
                  {"title", name},
                  {"xLabel", std::string("wavelength (") + (wavelengthDataInNanometers() ? "nm" : "micron") + ")"},
                  {"yLabel", m_plotResidual ? "residual (data - formula)" : "refractive index"},
                  {"xMin", m_lambdaMin},
                  {"xMax", m_lambdaMax}};
  setAndAnnounce("plotDictionary", m_plotDictionary, std::move(plot));
}

const platform::KeyTable& IndexFitter::classKeys() {
  using K = Keys<IndexFitter>;
  static const platform::KeyTable table(
      &platform::Object::classKeys(),
      {
          K::getter("indexData", &IndexFitter::indexData),
          K::getter("coefficientData", &IndexFitter::coefficientData),
          K::getter("chiSquared", &IndexFitter::chiSquared),
          K::getter("lambdaMin", &IndexFitter::lambdaMin),
          K::getter("lambdaMax", &IndexFitter::lambdaMax),
          K::property("lambdaMinGUI", &IndexFitter::lambdaMinGUI, &IndexFitter::setLambdaMinGUI).dependsOn({"lambdaMin"}),
          K::property("lambdaMaxGUI", &IndexFitter::lambdaMaxGUI, &IndexFitter::setLambdaMaxGUI).dependsOn({"lambdaMax"}),
          K::property("wavelengthRangeDeterminedByData", &IndexFitter::wavelengthRangeDeterminedByData,
                      &IndexFitter::setWavelengthRangeDeterminedByData),
          K::property("dynamicReferenceIndex", &IndexFitter::dynamicReferenceIndex, &IndexFitter::setDynamicReferenceIndex),
          K::property("dynamicReferenceAbbe", &IndexFitter::dynamicReferenceAbbe, &IndexFitter::setDynamicReferenceAbbe),
          K::property("dynamicReferencePartialDispersion", &IndexFitter::dynamicReferencePartialDispersion,
                      &IndexFitter::setDynamicReferencePartialDispersion),
          K::property("dynamicCode", &IndexFitter::dynamicCode, &IndexFitter::setDynamicCode),
          K::property("plotResidual", &IndexFitter::plotResidual, &IndexFitter::setPlotResidual),
          K::property("unitsTag", &IndexFitter::unitsTag, &IndexFitter::setUnitsTag),
          K::getter("wavelengthDataInNanometers", &IndexFitter::wavelengthDataInNanometers).dependsOn({"unitsTag"}),
          K::getter("glassDictionary", &IndexFitter::glassDictionary).dependsOn({"glass"}),
          K::getter("plotDictionary", &IndexFitter::plotDictionary),
      });
  return table;
}

}  // namespace orb::materials
