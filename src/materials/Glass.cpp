#include "materials/Glass.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "materials/GlassCatalog.h"
#include "platform/Coder.h"
#include "platform/Log.h"

namespace orb::materials {

using platform::Array;
using platform::Dictionary;
using platform::Keys;
using platform::Value;

namespace {

std::atomic<unsigned long> g_nonameCounter{1};

/// Any law whose arithmetic fails (a pole, the root of a negative number) answers +∞, so
/// a tracer sees an impossible index rather than a NaN that poisons every later sum.
inline double finiteOrInfinity(double n) { return std::isnan(n) ? HUGE_VAL : n; }

Value optionalValue(const std::optional<std::string>& s) { return s ? Value(*s) : Value(); }
std::optional<std::string> optionalString(const Value& v) {
  if (v.isNil()) return std::nullopt;
  return v.asString();
}

}  // namespace

Glass::Glass() : m_name(platform::format("noname-%lu", g_nonameCounter.fetch_add(1))) {}

Glass::~Glass() = default;

// --- Factories ----------------------------------------------------------------------------

std::shared_ptr<Glass> Glass::glass() { return platform::makeObject<Glass>(); }

std::shared_ptr<Glass> Glass::glassWithName(std::string name) {
  auto g = glass();
  g->setName(std::move(name));
  return g;
}

std::shared_ptr<Glass> Glass::dummyGlassWithName(std::string name) {
  auto g = glassWithName(std::move(name));
  g->setIsDummy(true);
  return g;
}

std::shared_ptr<Glass> Glass::dummyGlassWithName(std::string name, double nd, double vd) {
  auto g = dummyGlassWithName(std::move(name));
  g->setReferenceIndex(nd);
  g->setReferenceAbbe(vd);
  return g;
}

std::shared_ptr<Glass> Glass::glassWithIndex(double nd) {
  auto g = glass();
  g->setReferenceIndex(nd);
  g->setName(platform::format("%g", nd));
  return g;
}

std::shared_ptr<Glass> Glass::glassWithIndex(double nd, double vd) {
  auto g = glass();
  g->setReferenceIndex(nd);
  g->setReferenceAbbe(vd);
  g->setName(platform::format("%g,%g", nd, vd));
  return g;
}

std::shared_ptr<Glass> Glass::mutableGlass() {
  auto g = glass();
  g->setIsMutable(true);
  return g;
}

std::shared_ptr<Glass> Glass::mutableGlassWithGlass(const Glass& source) {
  auto g = source.makeEmpty();
  g->initWithGlass(source);
  g->removeVariables();
  g->setIsMutable(true);
  if (!source.isMutable() && g->name().rfind("m-", 0) != 0) g->setName("m-" + g->name());
  g->setVersion(std::nullopt);
  return g;
}

std::shared_ptr<Glass> Glass::makeEmpty() const { return platform::makeObject<Glass>(); }

void Glass::initWithGlass(const Glass& other) {
  // Through the setters and in this order, as a dynamically named glass renames itself
  // from the data set last.
  setName(other.m_name);
  setGlassCode(other.m_glassCode);
  setDynamicName(other.m_dynamicName);
  setDynamicNameType(other.m_dynamicNameType);
  setVersion(other.m_version);
  setFormula(other.m_formula);
  setReferenceIndex(other.m_referenceIndex);
  setReferenceAbbe(other.m_referenceAbbe);
  setReferencePartialDispersion(other.m_referencePartialDispersion);
  setReferenceIndexIsVariable(other.m_referenceIndexIsVariable);
  setReferenceAbbeIsVariable(other.m_referenceAbbeIsVariable);
  setColor(other.color());
  setTransmissionArray(other.m_transmissionArray);
  setIsDummy(other.m_isDummy);
  setIsMutable(other.m_isMutable);
}

void Glass::initWithDictionary(const Dictionary& dictionary) {
  for (const auto& [key, value] : dictionary) {
    if (!key.isString()) continue;
    const std::string& k = key.asString();
    if (k == "formulaName" || k == "coefficientDictionary") continue;  // below, in order
    if (k == "colorForFigures") {
      if (value.kind() == Value::Kind::Data) setColor(platform::Color::fromArchivedData(value.asData()));
      continue;
    }
    if (!keys().find(k)) {
      platform::log("Glass dictionary: passed over key \"%s\"", k.c_str());
      continue;
    }
    setValueForKey(k, value);
  }
  if (const Value* f = dictionary.find("formulaName"); f && f->isString()) setFormulaName(f->asString());
  if (const Value* c = dictionary.find("coefficientDictionary"); c && c->isDictionary()) {
    setCoefficientValuesFromDictionary(c->asDictionary());
    coefficientsChanged();
  }
}

std::shared_ptr<Glass> Glass::copy() const {
  std::lock_guard lock(m_copyMutex);
  auto g = makeEmpty();
  g->initWithGlass(*this);
  g->m_rememberedIndexInContainer = m_rememberedIndexInContainer;
  g->setColorNumber(colorNumber());
  return g;
}

// --- Accessors ----------------------------------------------------------------------------

void Glass::setName(std::string name) { setAndAnnounce("name", m_name, std::move(name)); }
void Glass::setVersion(std::optional<std::string> version) { setAndAnnounce("version", m_version, std::move(version)); }
void Glass::setGlassCode(std::optional<std::string> code) { setAndAnnounce("glassCode", m_glassCode, std::move(code)); }
void Glass::setTransmissionArray(Value array) {
  setAndAnnounce("transmissionArray", m_transmissionArray, std::move(array));
}

void Glass::addTransmission(double wavelengthMicrons, double transmission, double thickness) {
  Array records = m_transmissionArray.isArray() ? m_transmissionArray.asArray() : Array();
  records.push_back(
      Dictionary{{"wavelength", wavelengthMicrons}, {"transmission", transmission}, {"thickness", thickness}});
  setTransmissionArray(std::move(records));
}

void Glass::setUsageCount(int count) { setAndAnnounce("usageCount", m_usageCount, count); }

void Glass::setReferenceIndex(double nd) {
  setAndAnnounce("referenceIndex", m_referenceIndex, nd);
  invalidateModelFit();
  updateNameIfDynamic();
}

void Glass::setReferenceAbbe(double vd) {
  setAndAnnounce("referenceAbbe", m_referenceAbbe, vd);
  invalidateModelFit();
  updateNameIfDynamic();
}

void Glass::setReferencePartialDispersion(double p) {
  setAndAnnounce("referencePartialDispersion", m_referencePartialDispersion, p);
  invalidateModelFit();
}

void Glass::setReferenceIndexIsVariable(bool v) { setAndAnnounce("referenceIndexIsVariable", m_referenceIndexIsVariable, v); }
void Glass::setReferenceAbbeIsVariable(bool v) { setAndAnnounce("referenceAbbeIsVariable", m_referenceAbbeIsVariable, v); }
void Glass::setIsDummy(bool dummy) { setAndAnnounce("isDummy", m_isDummy, dummy); }

bool Glass::isDummyWithIndex() const { return m_isDummy && m_referenceIndex > 1.0 && std::isfinite(m_referenceIndex); }

void Glass::setIsMutable(bool isMutable) {
  setAndAnnounce("isMutable", m_isMutable, isMutable);
  if (!isMutable) {
    setReferenceIndexIsVariable(false);
    setReferenceAbbeIsVariable(false);
  }
}

void Glass::setFormula(int formula) { setAndAnnounce("formula", m_formula, formula); }

void Glass::setContainer(std::weak_ptr<GlassCatalog> container) {
  changeValueForKey("container", [&] { m_container = std::move(container); });
}

// --- Naming -------------------------------------------------------------------------------

const std::vector<std::string>& Glass::dynamicNameTypes() {
  static const std::vector<std::string> types{"xxxyyy", "xxx:yyy"};
  return types;
}

void Glass::setDynamicName(bool dynamic) {
  if (dynamic == m_dynamicName) return;
  setAndAnnounce("dynamicName", m_dynamicName, dynamic);
  if (dynamic)
    updateNameIfDynamic();
  else
    setName("G" + m_name);
}

void Glass::setDynamicNameType(std::optional<std::string> type) {
  setAndAnnounce("dynamicNameType", m_dynamicNameType, std::move(type));
  updateNameIfDynamic();
}

namespace {
// Glass codes are a few digits; index and Abbe number come from files and may be anything,
// so they are bounded before they become integers.
int codeDigits(double x) {
  if (std::isnan(x)) return 0;
  return static_cast<int>(std::trunc(std::clamp(x, -1e6, 1e6)));
}
}  // namespace

std::string Glass::dynamicNameFromReferenceData() const {
  int i = codeDigits((m_referenceIndex - 1.0) * 1000.0 + 0.5);
  if (i >= 1000) i -= 999;
  int v = codeDigits(m_referenceAbbe * 10.0 + 0.5);
  const std::string type = m_dynamicNameType.value_or("");
  if (type == "xxxyyy") return platform::format("%03d%03d", i, v);
  if (type == "xxx:yyy") return platform::format("%03d:%03d", i, v);
  if (m_referenceAbbe == 0) return platform::format("%g", m_referenceIndex);
  return platform::format("%g,%g", m_referenceIndex, m_referenceAbbe);
}

void Glass::updateNameIfDynamic() {
  if (m_dynamicName) setName(dynamicNameFromReferenceData());
}

bool Glass::validateName(std::string& name) {
  std::erase_if(name, [](unsigned char c) { return std::isspace(c) != 0; });
  return true;
}

// --- Queries ------------------------------------------------------------------------------

std::size_t Glass::indexInContainer() const {
  auto container = m_container.lock();
  if (!container) return kNotFound;
  const auto& glasses = container->glassArray();
  for (std::size_t i = 0; i < glasses.size(); ++i)
    if (glasses[i].get() == this) return i;
  return kNotFound;
}

bool Glass::isModel() const { return !m_isDummy && typeid(*this) == typeid(Glass); }

bool Glass::hasVariables() const { return m_referenceIndexIsVariable || m_referenceAbbeIsVariable; }

Array Glass::keyPathsForVariables() const {
  Array paths;
  if (m_referenceIndexIsVariable) paths.push_back("referenceIndex");
  if (m_referenceAbbeIsVariable) paths.push_back("referenceAbbe");
  return paths;
}

void Glass::removeVariables() {
  setReferenceIndexIsVariable(false);
  setReferenceAbbeIsVariable(false);
}

std::string Glass::referenceIndexVariabilityTitle() const { return m_isMutable ? "dynamic" : "variable"; }
std::string Glass::referenceAbbeVariabilityTitle() const { return m_isMutable ? "dynamic" : "variable"; }

std::shared_ptr<platform::Color> Glass::displayColor() const {
  if (color()) return color();
  static const auto lightGrey = platform::Color::make(0.667, 0.667, 0.667);
  static const auto brown = platform::Color::make(0.6, 0.4, 0.2);
  return m_referenceIndex == 1.0 ? lightGrey : brown;
}

std::string Glass::glassDescription() const {
  if (isDummyWithIndex())
    return platform::format("unknown glass, model nd=%g, Vd=%g from the file", m_referenceIndex, m_referenceAbbe);
  if (m_isDummy || m_referenceIndex == 0) return "unknown glass";
  if (m_isMutable) return platform::format("mutable glass nd=%g", m_referenceIndex);
  const char* ndMark = m_referenceIndexIsVariable ? "*" : "";
  if (m_referenceAbbe == 0 && !m_referenceAbbeIsVariable)
    return platform::format("model glass, nd=%g%s", m_referenceIndex, ndMark);
  return platform::format("model glass, nd=%g%s, Vd=%g%s", m_referenceIndex, ndMark, m_referenceAbbe,
                          m_referenceAbbeIsVariable ? "*" : "");
}

std::string Glass::twoLiner() const {
  return platform::format("%s\n%s", m_name.c_str(), m_version ? m_version->c_str() : "(null)");
}

std::string Glass::description() const {
  return platform::format("%s.%s(0x%lx)[%s]%s", m_name.c_str(), m_version ? m_version->c_str() : "(null)",
                          static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(this)), className().c_str(),
                          m_isMutable ? "T" : "");
}

bool Glass::isEqualTo(const platform::Object& other) const {
  if (this == &other) return true;
  auto g = dynamic_cast<const Glass*>(&other);
  return g && g->m_name == m_name && m_version && g->m_version && *m_version == *g->m_version;
}

std::size_t Glass::hash() const { return std::hash<std::string>()(m_name); }

// --- Dispersion ---------------------------------------------------------------------------

bool Glass::validWavelengthInMicrons(double) const { return true; }

double Glass::indexAtWavelengthInMicrons(double lambda) const { return modelIndexAtWavelengthInMicrons(lambda); }

double Glass::modelIndexAtWavelengthInMicrons(double lambda) const {
  const double nd = m_referenceIndex;
  if (m_referenceAbbe < 0)  // linear dispersion; 0.17014 µm is λC − λF
    return finiteOrInfinity(nd + (lambda - spectral::kLambdaD) * (nd - 1.0) / (-0.17014 * m_referenceAbbe));
  double a = m_sellmeierA.load(std::memory_order_acquire);
  if (a == 0) {
    generateSellmeierCoefficients();
    a = m_sellmeierA.load(std::memory_order_acquire);
  }
  if (a == -1) return nd;
  const double b = m_sellmeierB.load(std::memory_order_relaxed);
  return finiteOrInfinity(std::sqrt(1.0 + a / (1.0 - b / (lambda * lambda))));
}

// The two-term model n² = 1 + A·λ²/(λ² − B) with A tied to nd, B found by bisection so that
// nF − nC = (nd − 1)/Vd. The working constants are locals: concurrent fits share nothing,
// and the mutex only keeps two threads from fitting the same glass twice.
void Glass::generateSellmeierCoefficients() const {
  using namespace spectral;
  std::lock_guard lock(m_fitMutex);
  if (m_sellmeierA.load(std::memory_order_acquire) != 0) return;
  const double nd = m_referenceIndex, vd = m_referenceAbbe;
  double a = 0, b = 0;
  if (nd < 1.0) {
    a = -1;
  } else if (vd == 0) {
    a = nd * nd - 1.0;
  } else {
    // A non-zero partial dispersion cannot be honoured by a two-term law; it is ignored
    // rather than leaving the glass without any fit (which would answer n = 1).
    const double m = nd * nd - 1.0;
    const double k = (nd - 1.0) / vd;
    const double gF = m * kLambdaF2 / kLambdaD2;
    const double gC = m * kLambdaC2 / kLambdaD2;
    auto f = [&](double bb) {
      return k - std::sqrt(1.0 + gF * (kLambdaD2 - bb) / (kLambdaF2 - bb)) +
             std::sqrt(1.0 + gC * (kLambdaD2 - bb) / (kLambdaC2 - bb));
    };
    // f(0) = k > 0 and f → −∞ as B → λF², so the bracket always holds a root.
    double lo = 0, hi = kLambdaF2, flo = f(lo);
    const double tolerance = 2.363223769e-9;
    for (int i = 0; i < 100 && hi - lo >= tolerance; ++i) {
      const double mid = 0.5 * (lo + hi);
      if (mid == lo || mid == hi) break;
      const double fm = f(mid);
      if (fm == 0) {
        lo = hi = mid;
        break;
      }
      if ((fm > 0) == (flo > 0)) {
        lo = mid;
        flo = fm;
      } else {
        hi = mid;
      }
    }
    b = 0.5 * (lo + hi);
    a = (kLambdaD2 - b) * m / kLambdaD2;
    if (a == 0) a = -1;  // nd exactly 1: no dispersion either way
  }
  m_sellmeierB.store(b, std::memory_order_relaxed);
  m_sellmeierA.store(a, std::memory_order_release);
}

foundation::VKSeries Glass::indexAtWavelengthInMicronsSeries(const foundation::VKSeries& lambdas) const {
  foundation::VKSeries out(lambdas.count());
  for (std::size_t i = 0; i < lambdas.count(); ++i) out.atPut(i, indexAtWavelengthInMicrons(lambdas.at(i)));
  return out;
}

foundation::VKSeries Glass::indexAtWavelengthInNanometersSeries(const foundation::VKSeries& lambdas) const {
  foundation::VKSeries out(lambdas.count());
  for (std::size_t i = 0; i < lambdas.count(); ++i) out.atPut(i, indexAtWavelengthInMicrons(lambdas.at(i) / 1000.0));
  return out;
}

void Glass::updateReferenceIndexUsingGlass(const Glass& other) {
  setReferenceIndex(other.indexAtWavelengthInMicrons(spectral::kLambdaD));
}

void Glass::updateReferenceAbbeUsingGlass(const Glass& other) {
  const double nd = other.indexAtWavelengthInMicrons(spectral::kLambdaD);
  const double nF = other.indexAtWavelengthInMicrons(spectral::kLambdaF);
  const double nC = other.indexAtWavelengthInMicrons(spectral::kLambdaC);
  setReferenceAbbe((nd - 1.0) / (nF - nC));
}

void Glass::updateReferencePartialDispersionUsingGlass(const Glass& other) {
  const double nd = other.indexAtWavelengthInMicrons(spectral::kLambdaD);
  const double nF = other.indexAtWavelengthInMicrons(spectral::kLambdaF);
  const double nC = other.indexAtWavelengthInMicrons(spectral::kLambdaC);
  setReferencePartialDispersion((nF - nd) / (nF - nC));
}

void Glass::updateReferenceDataUsingGlass(const Glass& other) {
  updateReferenceIndexUsingGlass(other);
  updateReferenceAbbeUsingGlass(other);
  updateReferencePartialDispersionUsingGlass(other);
}

void Glass::setGlassCodeFromReferenceIndexAndAbbe() {
  int i = codeDigits(1000.0 * m_referenceIndex + 0.5) % 1000;
  int v = std::min(codeDigits(10.0 * m_referenceAbbe + 0.5), 999);
  setGlassCode(platform::format("%03d%03d", i, v));
}

// --- Formulas and coefficients ------------------------------------------------------------

const std::vector<int>& Glass::formulaNumbers() const {
  static const std::vector<int> numbers{0};
  return numbers;
}

const std::vector<std::string>& Glass::formulaNames() const {
  static const std::vector<std::string> names{"Model"};
  return names;
}

std::string Glass::formulaName() const {
  const auto& numbers = formulaNumbers();
  const auto& names = formulaNames();
  for (std::size_t i = 0; i < numbers.size() && i < names.size(); ++i)
    if (numbers[i] == m_formula) return names[i];
  return "unknown";
}

bool Glass::hasKnownFormula() const {
  if (m_formula == 0) return true;  // the model law itself
  const auto& numbers = formulaNumbers();
  return std::find(numbers.begin(), numbers.end(), m_formula) != numbers.end();
}

void Glass::setFormulaName(const std::string& name) {
  const auto& numbers = formulaNumbers();
  const auto& names = formulaNames();
  for (std::size_t i = 0; i < numbers.size() && i < names.size(); ++i)
    if (names[i] == name) {
      setFormula(numbers[i]);
      return;
    }
}

const std::vector<std::string>& Glass::coefficientNames() const {
  static const std::vector<std::string> names{"referenceIndex", "referenceAbbe"};
  return names;
}

Dictionary Glass::coefficientDictionary() const {
  return Dictionary{{"referenceIndex", m_referenceIndex}, {"referenceAbbe", m_referenceAbbe}};
}

Array Glass::invertedCoefficientDictionary() const {
  Array rows;
  for (const auto& name : coefficientNames())
    rows.push_back(Dictionary{{"coefficientName", name},
                              {"coefficientValue", valueForKey(name)},
                              {"coefficientIsVariable", coefficientIsVariableForName(name)}});
  return rows;
}

void Glass::setCoefficientValue(double value, std::string_view name) { setValueForKey(name, value); }

void Glass::setCoefficientIsVariable(bool variable, std::string_view name) {
  setValueForKey(std::string(name) + "IsVariable", variable);
}

bool Glass::coefficientIsVariableForName(std::string_view name) const {
  return valueForKey(std::string(name) + "IsVariable").asBool();
}

void Glass::coefficientsChanged() {
  willChangeValueForKey("coefficientDictionary");
  didChangeValueForKey("coefficientDictionary");
}

void Glass::guessForWavelengthInMicrons(double, double n) {
  if (m_formula == 0) setReferenceIndex(n);
}

void Glass::setGlass(const std::shared_ptr<Glass>& glass) {
  auto self = std::static_pointer_cast<Glass>(shared_from_this());
  if (auto d = delegate()) d->replaceGlass(self, glass);
}

// --- Glass dictionary and archive ---------------------------------------------------------

Dictionary Glass::dictionary() const {
  Dictionary d;
  d.set("name", m_name);
  if (m_version) d.set("version", *m_version);
  d.set("referenceIndex", m_referenceIndex);
  d.set("referenceAbbe", m_referenceAbbe);
  d.set("referenceIndexIsVariable", m_referenceIndexIsVariable);
  d.set("referenceAbbeIsVariable", m_referenceAbbeIsVariable);
  d.set("referencePartialDispersion", m_referencePartialDispersion);
  if (color()) d.set("colorForFigures", color()->archivedData());
  d.set("formulaName", formulaName());
  d.set("coefficientDictionary", coefficientDictionary());
  if (!m_transmissionArray.isNil()) d.set("transmissionArray", m_transmissionArray);
  return d;
}

void Glass::requireKeyedCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Only supports NSKeyedArchiver coders");
}

void Glass::encodeWithCoder(platform::Coder& coder) const {
  requireKeyedCoder(coder);
  coder.encodeObject("name", m_name);
  coder.encodeBool("dynamicName", m_dynamicName);
  coder.encodeObject("version", optionalValue(m_version));
  coder.encodeObject("glassCode", optionalValue(m_glassCode));
  coder.encodeDouble("referenceIndex", m_referenceIndex);
  coder.encodeDouble("referenceAbbe", m_referenceAbbe);
  coder.encodeDouble("referencePartialDispersion", m_referencePartialDispersion);
  coder.encodeObject("color", Value(color()));
  coder.encodeObject("transmissionArray", m_transmissionArray);
  coder.encodeBool("referenceIndexIsVariable", m_referenceIndexIsVariable);
  coder.encodeBool("referenceAbbeIsVariable", m_referenceAbbeIsVariable);
  coder.encodeInt("formula", m_formula);
  if (m_dynamicNameType) coder.encodeObject("dynamicNameType", *m_dynamicNameType);
  if (m_isDummy) coder.encodeBool("isDummy", true);
  if (m_isMutable) coder.encodeBool("isMutable", true);
}

void Glass::initWithCoder(const platform::Coder& coder) {
  requireKeyedCoder(coder);
  if (coder.containsValueForKey("name")) setName(coder.decodeString("name"));
  setDynamicName(coder.decodeBool("dynamicName"));
  setVersion(optionalString(coder.decodeObject("version")));
  setGlassCode(optionalString(coder.decodeObject("glassCode")));
  setReferenceIndex(coder.decodeDouble("referenceIndex"));
  setReferenceAbbe(coder.decodeDouble("referenceAbbe"));
  setReferencePartialDispersion(coder.decodeDouble("referencePartialDispersion"));
  setFormula(static_cast<int>(coder.decodeInt("formula")));
  setColor(coder.decodeObjectOfClass<platform::Color>("color"));
  // Records are plain values; anything else (the glass itself, in a damaged file) is passed over.
  const Value transmission = coder.decodeObject("transmissionArray");
  setTransmissionArray(transmission.isArray() && !platform::holdsObject(transmission) ? transmission : Value());
  if (coder.containsValueForKey("dynamicNameType")) setDynamicNameType(optionalString(coder.decodeObject("dynamicNameType")));
  if (coder.containsValueForKey("referenceIndexIsVariable"))
    setReferenceIndexIsVariable(coder.decodeBool("referenceIndexIsVariable"));
  if (coder.containsValueForKey("referenceAbbeIsVariable"))
    setReferenceAbbeIsVariable(coder.decodeBool("referenceAbbeIsVariable"));
  if (coder.containsValueForKey("isDummy")) setIsDummy(coder.decodeBool("isDummy"));
  if (coder.containsValueForKey("isMutable")) setIsMutable(coder.decodeBool("isMutable"));
}

// --- Keys ---------------------------------------------------------------------------------

const platform::KeyTable& Glass::classKeys() {
  using K = Keys<Glass>;
  auto optionalProperty = [](std::string key, const std::optional<std::string>& (Glass::*get)() const,
                             void (Glass::*set)(std::optional<std::string>)) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return optionalValue((static_cast<const Glass&>(o).*get)()); };
    e.set = [set](platform::Object& o, const Value& v) { (static_cast<Glass&>(o).*set)(optionalString(v)); };
    return e;
  };
  static const platform::KeyTable table(
      &VKColoredObject::classKeys(),
      {
          K::property("name", &Glass::name, &Glass::setName),
          optionalProperty("version", &Glass::version, &Glass::setVersion),
          optionalProperty("glassCode", &Glass::glassCode, &Glass::setGlassCode),
          K::property("dynamicName", &Glass::dynamicName, &Glass::setDynamicName),
          optionalProperty("dynamicNameType", &Glass::dynamicNameType, &Glass::setDynamicNameType),
          K::property("referenceIndex", &Glass::referenceIndex, &Glass::setReferenceIndex),
          K::property("referenceAbbe", &Glass::referenceAbbe, &Glass::setReferenceAbbe),
          K::property("referencePartialDispersion", &Glass::referencePartialDispersion,
                      &Glass::setReferencePartialDispersion),
          K::property("referenceIndexIsVariable", &Glass::referenceIndexIsVariable,
                      &Glass::setReferenceIndexIsVariable),
          K::property("referenceAbbeIsVariable", &Glass::referenceAbbeIsVariable, &Glass::setReferenceAbbeIsVariable),
          K::property("transmissionArray", &Glass::transmissionArray, &Glass::setTransmissionArray),
          K::property("formula", &Glass::formula, &Glass::setFormula),
          K::property("formulaName", &Glass::formulaName, &Glass::setFormulaName).dependsOn({"formula"}),
          K::property("isDummy", &Glass::isDummy, &Glass::setIsDummy),
          K::property("isMutable", &Glass::isMutable, &Glass::setIsMutable),
          K::property("usageCount", &Glass::usageCount, &Glass::setUsageCount),
          K::getter("coefficientDictionary", &Glass::coefficientDictionary).dependsOn({"formula"}),
          K::getter("invertedCoefficientDictionary", &Glass::invertedCoefficientDictionary)
              .dependsOn({"coefficientDictionary"}),
          K::getter("indexInContainer", &Glass::indexInContainer).dependsOn({"container"}),
          K::getter("twoLiner", &Glass::twoLiner).dependsOn({"name", "version"}),
          K::getter("glassDescription", &Glass::glassDescription)
              .dependsOn({"referenceIndex", "referenceAbbe", "referenceIndexIsVariable", "referenceAbbeIsVariable",
                          "isMutable"}),
          K::getter("keyPathsForVariables", &Glass::keyPathsForVariables)
              .dependsOn({"referenceIndexIsVariable", "referenceAbbeIsVariable"}),
          K::getter("isModel", &Glass::isModel),
          K::getter("isEditable", &Glass::isEditable).dependsOn({"isModel", "isMutable"}),
          K::getter("glassIsGood", &Glass::glassIsGood),
          K::getter("hasVariables", &Glass::hasVariables),
          K::getter("isGlassFromCatalog", &Glass::isGlassFromCatalog),
          K::getter("referenceIndexVariabilityTitle", &Glass::referenceIndexVariabilityTitle),
          K::getter("referenceAbbeVariabilityTitle", &Glass::referenceAbbeVariabilityTitle),
      });
  return table;
}

}  // namespace orb::materials
