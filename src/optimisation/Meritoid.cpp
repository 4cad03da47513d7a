#include "optimisation/Meritoid.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"

namespace orb::optimisation {

using platform::Array;
using platform::Value;

namespace {

const char* const kMicro = "\u00b5";

std::string micro(const char* rest) { return std::string(kMicro) + rest; }

void requireKeyedCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    throw platform::Exception("NSInvalidArchiveOperationException", "Class only supports NSKeyedArchiver coders");
}

const std::vector<std::string> kResidualSources{"included", "value", "calculationUnits", "displayUnits", "target",
                                                "tolerance"};

}  // namespace

const platform::KeyTable& Meritoid::classKeys() {
  using K = platform::Keys<Meritoid>;
  static const platform::KeyTable table(
      &foundation::VKObject::classKeys(),
      {
          K::property("lens", &Meritoid::lens, &Meritoid::setLens),
          K::property("identifier", &Meritoid::identifier, &Meritoid::setIdentifier),
          K::property("value", &Meritoid::value, &Meritoid::setValue),
          K::property("needsEvaluation", &Meritoid::needsEvaluation, &Meritoid::setNeedsEvaluation),
          K::property("target", &Meritoid::target, &Meritoid::setTarget),
          K::property("tolerance", &Meritoid::tolerance, &Meritoid::setTolerance),
          K::property("importance", &Meritoid::importance, &Meritoid::setImportance),
          K::property("included", &Meritoid::included, &Meritoid::setIncluded),
          K::property("calculationUnits", &Meritoid::calculationUnits, &Meritoid::setCalculationUnits),
          K::property("displayUnits", &Meritoid::displayUnits, &Meritoid::setDisplayUnits),
          K::property("color", &Meritoid::color, &Meritoid::setColor),
          K::property("number", &Meritoid::number, &Meritoid::setNumber),
          K::property("message", &Meritoid::message, &Meritoid::setMessage),
          K::getter("isDimensionless", &Meritoid::isDimensionless).dependsOn({"identifier"}),
          platform::KeyEntry{"possibleUnits",
                             [](const platform::Object& o) -> Value {
                               Array a;
                               for (const auto& u : static_cast<const Meritoid&>(o).possibleUnits()) a.push_back(u);
                               return a;
                             }}
              .dependsOn({"isDimensionless"}),
          K::getter("displayIdentifier", &Meritoid::displayIdentifier).dependsOn({"identifier"}),
          K::getter("displayValue", &Meritoid::displayValue)
              .dependsOn({"value", "calculationUnits", "displayUnits", "target"}),
          K::getter("residual", &Meritoid::residual).dependsOn(kResidualSources),
          K::getter("contribution", &Meritoid::contribution).dependsOn(kResidualSources),
          K::getter("percentile", &Meritoid::percentile).dependsOn({"importance"}),
      });
  return table;
}

std::string Meritoid::description() const {
  return platform::format("[%g] 0x%lx %s", m_number, reinterpret_cast<unsigned long>(this), m_identifier.c_str());
}

// --- defaults --------------------------------------------------------------------------------

std::string Meritoid::defaultCalculationUnits() const { return isDimensionless() ? std::string() : "mm"; }
std::string Meritoid::defaultDisplayUnits() const { return isDimensionless() ? std::string() : "mm"; }

void Meritoid::nontrivialize() {
  setCalculationUnits(defaultCalculationUnits());
  setDisplayUnits(defaultDisplayUnits());
  setStoredTolerance(0.01);
  setIncluded(true);
}

std::vector<std::string> Meritoid::coderKeys() const {
  return {"identifier", "target", "tolerance", "importance", "included", "calculationUnits", "displayUnits",
          "number", "color"};
}

std::vector<std::string> Meritoid::conformationKeys() const {
  std::vector<std::string> keys{"lens"};
  for (auto& k : coderKeys()) keys.push_back(std::move(k));
  return keys;
}

// --- lens and evaluation -------------------------------------------------------------------------

void Meritoid::setLens(LensPtr lens) {
  const bool marks = lens != nullptr;
  setAndAnnounce("lens", m_lens, std::move(lens));
  if (marks) setNeedsEvaluation(true);
}

void Meritoid::preEvaluation() {
  setNeedsEvaluation(false);
  setMessage({});
}

void Meritoid::postEvaluation() {
  std::string message = std::move(m_evaluationMessage);
  m_evaluationMessage.clear();
  if (message.empty() && m_included && !hasUsableTolerance()) message = kToleranceNotPositiveMessage;
  setMessage(message);
  platform::Dictionary result = std::move(m_evaluationResult);
  m_evaluationResult.clear();
  for (const auto& [key, value] : result)
    if (key.isString()) setValueForKey(key.asString(), value);
  setValue(m_evaluationValue);
}

void Meritoid::evaluate() {
  preEvaluation();
  evaluation();
  postEvaluation();
}

void Meritoid::initWithMeritoid(const Meritoid& other) {
  const std::vector<std::string> mine = conformationKeys();
  for (const auto& key : other.conformationKeys()) {
    if (std::find(mine.begin(), mine.end(), key) == mine.end()) continue;
    if (key == "tolerance")
      setStoredTolerance(other.tolerance());
    else if (key == "color")
      setColor(other.m_color);
    else
      setValueForKey(key, other.valueForKey(key));
  }
}

std::shared_ptr<Meritoid> Meritoid::makeEmpty() const { return make<Meritoid>(); }

std::shared_ptr<Meritoid> Meritoid::clone() const {
  platform::Synchronized lock(this);
  auto copy = makeEmpty();
  copy->initWithMeritoid(*this);
  return copy;
}

// --- units -----------------------------------------------------------------------------------------

const std::vector<std::string>& Meritoid::lengthUnits() {
  static const std::vector<std::string> units{"waves", "nm", micro("m"), "mm", "cm", "m", micro("inch"), "mil",
                                              "inch"};
  return units;
}

std::vector<std::string> Meritoid::possibleUnits() const {
  if (isDimensionless()) return {std::string()};
  return lengthUnits();
}

double Meritoid::mksValueOfUnits(const std::string& units) const {
  if (units == "waves") {
    if (!m_lens) return 0;
    std::shared_ptr<lens::Wave> primary;
    for (const auto& w : m_lens->waveArray())
      if (w && w->isPrimary()) {
        primary = w;
        break;
      }
    if (!primary && !m_lens->waveArray().empty()) primary = m_lens->waveArray().front();
    return primary ? primary->wavelengthInMicrons() * 1e-6 : 0;
  }
  if (units == "nm") return 1e-9;
  if (units == micro("m")) return 1e-6;
  if (units == "mm") return 0.001;
  if (units == "cm") return 0.01;
  if (units == "m") return 1;
  if (units == micro("inch")) return 2.54e-8;
  if (units == "mil") return 2.54e-5;
  if (units == "inch") return 0.0254;
  return 1;
}

double Meritoid::convert(double value, const std::string& from, const std::string& to) const {
  if (from == to) return value;
  return value * mksValueOfUnits(from) / mksValueOfUnits(to);
}

void Meritoid::validateUnits() {
  const auto units = possibleUnits();
  auto offered = [&](const std::string& u) { return std::find(units.begin(), units.end(), u) != units.end(); };
  if (!offered(m_calculationUnits)) setCalculationUnits(defaultCalculationUnits());
  if (!offered(m_displayUnits)) setAndAnnounce("displayUnits", m_displayUnits, defaultDisplayUnits());
}

double Meritoid::displayValue() const {
  if (isDimensionless()) return m_value;
  return convert(m_value, m_calculationUnits, m_displayUnits);
}

// --- residuals ----------------------------------------------------------------------------------------

double Meritoid::baseResidual() const {
  if (!m_included || !hasUsableTolerance()) return 0;
  return (displayValue() - m_target) / m_tolerance;
}

std::vector<double> Meritoid::residuals() const { return {baseResidual()}; }

Value Meritoid::residual() const {
  const std::vector<double> r = residuals();
  if (!hasResidualArray()) return r.empty() ? 0.0 : r.front();
  Array a;
  a.reserve(r.size());
  for (double x : r) a.emplace_back(x);
  return a;
}

double Meritoid::contribution() const {
  double sum = 0;
  for (double r : residuals()) sum += r * r;
  return 0.5 * sum;
}

// --- accessors -------------------------------------------------------------------------------------------

void Meritoid::setIdentifier(const std::string& identifier) {
  setAndAnnounce("identifier", m_identifier, identifier);
  validateUnits();
}

void Meritoid::setTolerance(double tolerance) {
  if (!(tolerance > 0)) return;  // a zero or negative tolerance makes no residual
  setAndAnnounce("tolerance", m_tolerance, tolerance);
}

void Meritoid::setDisplayUnits(const std::string& units) {
  if (!units.empty()) {
    const auto offered = possibleUnits();
    if (std::find(offered.begin(), offered.end(), units) == offered.end()) return;
  }
  setAndAnnounce("displayUnits", m_displayUnits, units);
}

std::shared_ptr<platform::Color> Meritoid::color() const {
  if (m_color) return m_color;
  static const auto blue = platform::Color::make(0, 0, 1);
  return blue;
}

// --- archiving ----------------------------------------------------------------------------------------------

void Meritoid::encodeWithCoder(platform::Coder& coder) const {
  requireKeyedCoder(coder);
  for (const auto& key : coderKeys()) {
    Value v = key == "color" ? Value(m_color) : valueForKey(key);
    if (!v.isNil()) coder.encodeObject(key, v);
  }
}

void Meritoid::initWithCoder(const platform::Coder& coder) {
  requireKeyedCoder(coder);
  nontrivialize();
  for (const auto& key : coderKeys()) {
    if (!coder.containsValueForKey(key)) continue;
    const Value v = coder.decodeObject(key);
    if (key == "tolerance")
      setStoredTolerance(v.isNil() ? 0.0 : v.asDouble());
    else if (key == "color")
      setColor(v.objectIf<platform::Color>());
    else
      setValueForKey(key, v);
  }
}

}  // namespace orb::optimisation
