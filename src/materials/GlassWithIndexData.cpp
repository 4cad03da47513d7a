#include "materials/GlassWithIndexData.h"

#include <algorithm>
#include <cmath>

#include "platform/Coder.h"
#include "platform/Log.h"

namespace orb::materials {

using platform::Array;
using platform::Dictionary;
using platform::Value;

GlassWithIndexData::GlassWithIndexData() {
  setFormula(kSplineFormula);
  setIndexData(defaultIndexData());
}

std::shared_ptr<Glass> GlassWithIndexData::makeEmpty() const { return platform::makeObject<GlassWithIndexData>(); }

void GlassWithIndexData::initWithGlass(const Glass& other) {
  ZemaxGlass::initWithGlass(other);
  if (auto g = dynamic_cast<const GlassWithIndexData*>(&other)) {
    setDataWavelengthUnits(g->m_dataWavelengthUnits);
    setIndexData(g->m_indexData);
  } else {
    setIndexData(Array());
  }
}

Array GlassWithIndexData::defaultIndexData() {
  auto row = [](double nm, double n) { return Value(Dictionary{{"wavelength", nm}, {"indexOfRefraction", n}}); };
  return Array{row(656.279, 1.518), row(587.562, 1.525), row(486.133, 1.532)};
}

void GlassWithIndexData::setIndexData(Array rows) {
  changeValueForKey("indexData", [&] { m_indexData = std::move(rows); });
  updateInterpolator();
}

void GlassWithIndexData::setDataWavelengthUnits(std::string units) {
  m_dataUnitsAreMicrons = units == "micron";
  setAndAnnounce("dataWavelengthUnits", m_dataWavelengthUnits, std::move(units));
}

void GlassWithIndexData::updateInterpolator() {
  std::vector<std::pair<double, double>> points;
  for (const auto& row : m_indexData) {
    if (!row.isDictionary()) continue;
    const Value* w = row.asDictionary().find("wavelength");
    const Value* n = row.asDictionary().find("indexOfRefraction");
    if (w && n && w->isNumber() && n->isNumber()) points.emplace_back(w->asDouble(), n->asDouble());
  }
  std::stable_sort(points.begin(), points.end(), [](auto& a, auto& b) { return a.first < b.first; });
  // The spline needs strictly increasing abscissae: a repeated wavelength keeps its first row.
  std::vector<double> x, y;
  for (const auto& [w, n] : points) {
    if (!x.empty() && w == x.back()) {
      platform::log("%s: index data repeat wavelength %g; later row passed over", name().c_str(), w);
      continue;
    }
    x.push_back(w);
    y.push_back(n);
  }
  std::lock_guard lock(m_interpolatorMutex);
  if (x.empty()) {
    m_interpolator.reset();
    return;
  }
  m_interpolator = foundation::SplineInterpolator::splineInterpolatorForX(x, y);
  m_interpolator->setAllowsExtrapolation(true);
}

const std::vector<int>& GlassWithIndexData::formulaNumbers() const {
  static const std::vector<int> numbers = [] {
    std::vector<int> n{kSplineFormula, 100};
    const auto& z = formulaNumbersZemax();
    n.insert(n.end(), z.begin(), z.end());
    return n;
  }();
  return numbers;
}

const std::vector<std::string>& GlassWithIndexData::formulaNames() const {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n{"Spline", "Exponential"};
    const auto& z = formulaNamesZemax();
    n.insert(n.end(), z.begin(), z.end());
    return n;
  }();
  return names;
}

const std::vector<std::string>& GlassWithIndexData::coefficientNames() const {
  static const std::vector<std::string> none;
  return formula() == kSplineFormula ? none : ZemaxGlass::coefficientNames();
}

Dictionary GlassWithIndexData::coefficientDictionary() const {
  return formula() == kSplineFormula ? Dictionary() : ZemaxGlass::coefficientDictionary();
}

double GlassWithIndexData::indexAtWavelengthInMicrons(double lambda) const {
  if (formula() != kSplineFormula) return ZemaxGlass::indexAtWavelengthInMicrons(lambda);
  std::lock_guard lock(m_interpolatorMutex);
  if (!m_interpolator) return 0.0;
  const double n = m_interpolator->valueAt(m_dataUnitsAreMicrons ? lambda : lambda * 1000.0);
  return std::isnan(n) ? HUGE_VAL : n;
}

std::string GlassWithIndexData::description() const {
  return platform::format("%s[%zu]", ZemaxGlass::description().c_str(), m_indexData.size());
}

void GlassWithIndexData::encodeWithCoder(platform::Coder& coder) const {
  ZemaxGlass::encodeWithCoder(coder);
  coder.encodeObject("dataWavelengthUnits", m_dataWavelengthUnits);
  coder.encodeObject("indexData", m_indexData);
}

void GlassWithIndexData::initWithCoder(const platform::Coder& coder) {
  ZemaxGlass::initWithCoder(coder);
  std::string units = coder.decodeString("dataWavelengthUnits");
  setDataWavelengthUnits(units.empty() ? "nm" : units);
  Value rows = coder.decodeObject("indexData");
  setIndexData(rows.isArray() && !platform::holdsObject(rows) ? rows.asArray() : Array());  // plain rows only
  setIsMutable(true);
}

const platform::KeyTable& GlassWithIndexData::classKeys() {
  using K = platform::Keys<GlassWithIndexData>;
  static const platform::KeyTable table(
      &ZemaxGlass::classKeys(),
      {
          K::property("dataWavelengthUnits", &GlassWithIndexData::dataWavelengthUnits,
                      &GlassWithIndexData::setDataWavelengthUnits),
          K::property("indexData", &GlassWithIndexData::indexData, &GlassWithIndexData::setIndexData),
      });
  return table;
}

}  // namespace orb::materials
