#include "materials/GlassWithCoefficients.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

#include "platform/Coder.h"

namespace orb::materials {

using platform::Array;
using platform::Dictionary;
using platform::Value;

std::shared_ptr<Glass> GlassWithCoefficients::makeEmpty() const { return platform::makeObject<GlassWithCoefficients>(); }

void GlassWithCoefficients::initWithGlass(const Glass& other) {
  Glass::initWithGlass(other);
  if (auto g = dynamic_cast<const GlassWithCoefficients*>(&other)) {
    m_nCoefficientData = g->m_nCoefficientData;
    m_coefficientValue = g->m_coefficientValue;
    if (isMutable()) m_coefficientIsVariable = g->m_coefficientIsVariable;
  }
  m_referenceDataIsDynamic = other.referenceDataIsDynamic();
}

// --- Coefficient storage ------------------------------------------------------------------

Array GlassWithCoefficients::coefficientArray() const {
  return Array(m_coefficientValue.begin(), m_coefficientValue.begin() + static_cast<std::ptrdiff_t>(m_nCoefficientData));
}

void GlassWithCoefficients::setCoefficientArray(const Array& values) {
  std::array<double, kMaxCoefficients> d{};
  const std::size_t n = std::min(values.size(), kMaxCoefficients);
  for (std::size_t i = 0; i < n; ++i) d[i] = values[i].asDouble();
  setCoefficientValuesFromDoubles(d.data(), n);
}

void GlassWithCoefficients::setCoefficientValuesFromDoubles(const double* values, std::size_t count) {
  const std::size_t n = std::min(count, kMaxCoefficients);
  for (std::size_t i = 0; i < kMaxCoefficients; ++i) m_coefficientValue[i] = i < n ? values[i] : 0.0;
  m_nCoefficientData = n;
  coefficientsChanged();
}

void GlassWithCoefficients::zeroCoefficients() {
  m_coefficientValue.fill(0.0);
  coefficientsChanged();
}

void GlassWithCoefficients::makeAllCoefficientsVariable() {
  willChangeValueForKey("keyPathsForVariables");
  m_coefficientIsVariable.fill(true);
  didChangeValueForKey("keyPathsForVariables");
}

void GlassWithCoefficients::removeVariables() {
  willChangeValueForKey("keyPathsForVariables");
  m_coefficientIsVariable.fill(false);
  didChangeValueForKey("keyPathsForVariables");
}

void GlassWithCoefficients::setIsMutable(bool isMutable) {
  storeIsMutable(isMutable);
  if (!isMutable) removeVariables();
}

// --- Names --------------------------------------------------------------------------------

const std::vector<int>& GlassWithCoefficients::formulaNumbers() const {
  static const std::vector<int> numbers{100};
  return numbers;
}

const std::vector<std::string>& GlassWithCoefficients::formulaNames() const {
  static const std::vector<std::string> names{"Exponential"};
  return names;
}

const std::vector<std::string>& GlassWithCoefficients::coefficientNames() const {
  static const std::vector<std::string> exponential{"n0", "A", "B"};
  if (formula() == 100) return exponential;
  return Glass::coefficientNames();
}

int GlassWithCoefficients::positionOfCoefficient(std::string_view name) const {
  const auto& names = coefficientNames();
  if (&names == &Glass::coefficientNames()) return -1;  // the model's nd and Vd, not stored here
  for (std::size_t i = 0; i < names.size() && i < kMaxCoefficients; ++i)
    if (names[i] == name) return static_cast<int>(i);
  return -1;
}

bool GlassWithCoefficients::isModelNamed() const { return &coefficientNames() == &Glass::coefficientNames(); }

double GlassWithCoefficients::coefficientNamed(std::string_view name) const {
  int p = positionOfCoefficient(name);
  return p < 0 ? 0.0 : m_coefficientValue[static_cast<std::size_t>(p)];
}

Dictionary GlassWithCoefficients::coefficientDictionary() const {
  if (isModelNamed()) return Glass::coefficientDictionary();
  const auto& names = coefficientNames();
  Dictionary d;
  for (std::size_t i = 0; i < names.size(); ++i) d.set(names[i], m_coefficientValue[i]);
  m_nCoefficientData = names.size();
  return d;
}

Array GlassWithCoefficients::invertedCoefficientDictionary() const {
  if (isModelNamed()) return Glass::invertedCoefficientDictionary();
  std::vector<std::string> names = coefficientNames();
  std::stable_sort(names.begin(), names.end(),
                   [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  Array rows;
  for (const auto& name : names)
    rows.push_back(Dictionary{{"coefficientName", name},
                              {"coefficientValue", coefficientNamed(name)},
                              {"coefficientIsVariable", coefficientIsVariableForName(name)}});
  return rows;
}

void GlassWithCoefficients::setCoefficientValue(double value, std::string_view name) {
  if (isModelNamed()) {
    if (name == "referenceIndex" || name == "referenceAbbe") Glass::setCoefficientValue(value, name);
    return;
  }
  int p = positionOfCoefficient(name);
  if (p < 0) return;
  m_coefficientValue[static_cast<std::size_t>(p)] = value;
  coefficientsChanged();
}

void GlassWithCoefficients::setCoefficientIsVariable(bool variable, std::string_view name) {
  if (isModelNamed()) {
    if (name == "referenceIndex" || name == "referenceAbbe") Glass::setCoefficientIsVariable(variable, name);
    return;
  }
  int p = positionOfCoefficient(name);
  if (p < 0) return;
  willChangeValueForKey("keyPathsForVariables");
  m_coefficientIsVariable[static_cast<std::size_t>(p)] = variable;
  didChangeValueForKey("keyPathsForVariables");
}

bool GlassWithCoefficients::coefficientIsVariableForName(std::string_view name) const {
  if (isModelNamed())
    return (name == "referenceIndex" || name == "referenceAbbe") && Glass::coefficientIsVariableForName(name);
  int p = positionOfCoefficient(name);
  return p >= 0 && m_coefficientIsVariable[static_cast<std::size_t>(p)];
}

void GlassWithCoefficients::setCoefficientValuesFromDictionary(const Dictionary& d) {
  if (isModelNamed()) return;
  const auto& names = coefficientNames();
  for (std::size_t i = 0; i < names.size(); ++i)
    if (const Value* v = d.find(names[i]); v && v->isNumber()) m_coefficientValue[i] = v->asDouble();
}

void GlassWithCoefficients::coefficientsChanged() {
  Glass::coefficientsChanged();
  if (m_referenceDataIsDynamic) updateReferenceDataUsingGlass(*this);
}

void GlassWithCoefficients::setReferenceDataIsDynamic(bool dynamic) {
  m_referenceDataIsDynamic = dynamic;
  if (dynamic) updateReferenceDataUsingGlass(*this);
}

bool GlassWithCoefficients::hasVariables() const {
  for (std::size_t i = 0; i < m_nCoefficientData; ++i)
    if (m_coefficientIsVariable[i]) return true;
  return false;
}

Array GlassWithCoefficients::keyPathsForVariables() const {
  if (isModelNamed()) return Glass::keyPathsForVariables();
  const auto& names = coefficientNames();
  m_nCoefficientData = names.size();
  Array paths;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (m_coefficientIsVariable[i]) paths.push_back(names[i]);
  return paths;
}

// --- Laws ---------------------------------------------------------------------------------

double GlassWithCoefficients::coefficientIndexAtWavelengthInMicrons(double lambda) const {
  if (formula() == 100) {
    const double n = c(0) + c(1) * std::exp(-c(2) * lambda);
    return std::isnan(n) ? HUGE_VAL : n;
  }
  return modelIndexAtWavelengthInMicrons(lambda);
}

double GlassWithCoefficients::indexAtWavelengthInMicrons(double lambda) const {
  return coefficientIndexAtWavelengthInMicrons(lambda);
}

void GlassWithCoefficients::guessForWavelengthInMicrons(double lambda, double n) {
  if (formula() != 100) {
    Glass::guessForWavelengthInMicrons(lambda, n);
    return;
  }
  storeCoefficient(0, n - 0.16 * std::exp(-4.7 * lambda));
  storeCoefficient(1, 0.16);
  storeCoefficient(2, 4.7);
  coefficientsChanged();
}

// --- Key-value coding and archive ---------------------------------------------------------

Value GlassWithCoefficients::valueForUndefinedKey(std::string_view key) const {
  int p = positionOfCoefficient(key);
  return p >= 0 ? m_coefficientValue[static_cast<std::size_t>(p)] : 0.0;
}

void GlassWithCoefficients::setValueForUndefinedKey(std::string_view key, const Value& value) {
  int p = positionOfCoefficient(key);
  if (p < 0) {
    Glass::setValueForUndefinedKey(key, value);
    return;
  }
  m_coefficientValue[static_cast<std::size_t>(p)] = value.asDouble();
  coefficientsChanged();
}

void GlassWithCoefficients::encodeWithCoder(platform::Coder& coder) const {
  Glass::encodeWithCoder(coder);
  const std::size_t n = std::min(isModelNamed() ? std::size_t(0) : coefficientNames().size(), kMaxCoefficients);
  coder.encodeInt("nCoefficientData", static_cast<std::int64_t>(n));
  for (std::size_t i = 0; i < n; ++i) coder.encodeDouble(platform::format("coefficientData%zu", i), m_coefficientValue[i]);
  if (isMutable())
    for (std::size_t i = 0; i < n; ++i)
      coder.encodeBool(platform::format("coefficientIsVariable%zu", i), m_coefficientIsVariable[i]);
  coder.encodeBool("referenceDataIsDynamic", m_referenceDataIsDynamic);
}

void GlassWithCoefficients::initWithCoder(const platform::Coder& coder) {
  Glass::initWithCoder(coder);
  // A count beyond the storage is cut to it: the archive may come from anywhere.
  const std::int64_t stored = coder.decodeInt("nCoefficientData");
  const std::size_t n = stored < 0 ? 0 : std::min(static_cast<std::size_t>(stored), kMaxCoefficients);
  m_nCoefficientData = n;
  for (std::size_t i = 0; i < n; ++i) m_coefficientValue[i] = coder.decodeDouble(platform::format("coefficientData%zu", i));
  if (isMutable())
    for (std::size_t i = 0; i < n; ++i)
      m_coefficientIsVariable[i] = coder.decodeBool(platform::format("coefficientIsVariable%zu", i));
  m_referenceDataIsDynamic = coder.decodeBool("referenceDataIsDynamic");
  if (m_referenceDataIsDynamic) updateReferenceDataUsingGlass(*this);
}

}  // namespace orb::materials
