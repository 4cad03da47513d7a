#include "materials/ZemaxGlass.h"

#include <charconv>
#include <cmath>

#include "platform/Coder.h"
#include "platform/Log.h"

namespace orb::materials {

using platform::Keys;
using platform::Value;

namespace {

Value optionalValue(const std::optional<std::string>& s) { return s ? Value(*s) : Value(); }
std::optional<std::string> optionalString(const Value& v) {
  if (v.isNil()) return std::nullopt;
  return v.asString();
}

/// The shortest text that reads back as exactly `v`: catalog entries we write must give
/// the same glass when read again, to the last bit of every coefficient.
std::string exact(double v, std::chars_format format) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v, format);
  return std::string(buffer, result.ptr);
}
std::string sci(double v) { return exact(v, std::chars_format::scientific); }
std::string fixedExact(double v) {
  // At least six decimals, as catalogs print nd and Vd, more when the value needs them.
  std::string shortest = exact(v, std::chars_format::fixed);
  std::string six = platform::format("%f", v);
  return std::strtod(six.c_str(), nullptr) == v ? six : shortest;
}

}  // namespace

std::shared_ptr<ZemaxGlass> ZemaxGlass::glassWithName(std::string name) {
  auto g = platform::makeObject<ZemaxGlass>();
  g->setName(name);
  g->setNameInCatalog(std::move(name));
  return g;
}

std::shared_ptr<Glass> ZemaxGlass::makeEmpty() const { return platform::makeObject<ZemaxGlass>(); }

void ZemaxGlass::initWithGlass(const Glass& other) {
  GlassWithCoefficients::initWithGlass(other);
  auto g = dynamic_cast<const ZemaxGlass*>(&other);
  if (!g) return;
  setNameInCatalog(g->m_nameInCatalog);
  setGlassCode(g->glassCode());
  setCatalogName(g->m_catalogName);
  setCatalogType(g->m_catalogType);
  setFormula(g->formula());
  setNCoefficientData(g->nCoefficientData());
  setWavelengthRange(g->m_lambdaMin, g->m_lambdaMax);
  setAlpha(g->m_alpha, g->m_alphaExtended);
  setDensity(g->m_density);
  setDispersionDeviation(g->m_dispersionDeviation);
  m_formulaT = g->m_formulaT;
  m_nCoefficientDataT = g->m_nCoefficientDataT;
  m_thermalDataString = g->m_thermalDataString;
  m_otherDataString = g->m_otherDataString;
}

void ZemaxGlass::setNameInCatalog(std::string name) { setAndAnnounce("nameInCatalog", m_nameInCatalog, std::move(name)); }
void ZemaxGlass::setCatalogName(std::optional<std::string> name) { setAndAnnounce("catalogName", m_catalogName, std::move(name)); }
void ZemaxGlass::setCatalogType(std::optional<std::string> type) { setAndAnnounce("catalogType", m_catalogType, std::move(type)); }

void ZemaxGlass::setWavelengthRange(double min, double max) {
  setAndAnnounce("lambdaMin", m_lambdaMin, min);
  setAndAnnounce("lambdaMax", m_lambdaMax, max);
}

void ZemaxGlass::setAlpha(double alpha, double extended) {
  setAndAnnounce("alpha", m_alpha, alpha);
  setAndAnnounce("alphaExtended", m_alphaExtended, extended);
}

void ZemaxGlass::setDensity(double density) { setAndAnnounce("density", m_density, density); }
void ZemaxGlass::setDispersionDeviation(double d) { setAndAnnounce("dispersionDeviation", m_dispersionDeviation, d); }

std::string ZemaxGlass::catalogTypeDescriptor() const { return m_catalogType.value_or("(null)") + " glass catalog"; }

std::string ZemaxGlass::glassDescription() const {
  if (isMutable()) return Glass::glassDescription();
  return isGlassFromCatalog() ? "Catalog glass" : "Unknown provenance";
}

std::string ZemaxGlass::threeLiner() const {
  return platform::format("%s\n%s catalog:\n%s", m_nameInCatalog.c_str(), m_catalogType.value_or("(null)").c_str(),
                          m_catalogName.value_or("(null)").c_str());
}

bool ZemaxGlass::validWavelengthInMicrons(double lambda) const { return m_lambdaMin <= lambda && lambda <= m_lambdaMax; }

// --- Formulas -----------------------------------------------------------------------------

const std::vector<int>& ZemaxGlass::formulaNumbersZemax() {
  static const std::vector<int> numbers{1, 3, 2, 4, 6, 9, 5, 7, 8, 10, 11, 12, 13};
  return numbers;
}

const std::vector<std::string>& ZemaxGlass::formulaNamesZemax() {
  static const std::vector<std::string> names{"Schott",      "Herzberger",  "Sellmeier 1",
                                              "Sellmeier 2", "Sellmeier 3", "Sellmeier 4",
                                              "Conrady",     "Handbook of Optics 1", "Handbook of Optics 2",
                                              "Extended",    "Sellmeier 5", "Extended 2",
                                              "Extended 3"};
  return names;
}

const std::vector<int>& ZemaxGlass::formulaNumbers() const {
  static const std::vector<int> numbers = [] {
    std::vector<int> n{100};
    n.insert(n.end(), formulaNumbersZemax().begin(), formulaNumbersZemax().end());
    return n;
  }();
  return numbers;
}

const std::vector<std::string>& ZemaxGlass::formulaNames() const {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n{"Exponential"};
    n.insert(n.end(), formulaNamesZemax().begin(), formulaNamesZemax().end());
    return n;
  }();
  return names;
}

const std::vector<std::string>& ZemaxGlass::coefficientNames() const {
  static const std::vector<std::string> names[kLastZemaxFormula + 1] = {
      {},
      {"A0", "A2", "B2", "B4", "B6", "B8"},
      {"K1", "L1", "K2", "L2", "K3", "L3"},
      {"A", "B", "C", "D", "E", "F"},
      {"A", "B1", "L1", "B2", "L2"},
      {"n0", "A", "B"},
      {"K1", "L1", "K2", "L2", "K3", "L3", "K4", "L4"},
      {"A", "B", "C", "D"},
      {"A", "B", "C", "D"},
      {"A", "B", "C", "D", "E"},
      {"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7"},
      {"K1", "L1", "K2", "L2", "K3", "L3", "K4", "L4", "K5", "L5"},
      {"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7"},
      {"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8"},
  };
  const int f = formula();
  if (isZemaxFormula(f)) return names[f];
  return GlassWithCoefficients::coefficientNames();
}

double ZemaxGlass::indexAtWavelengthInMicrons(double lambda) const { return zemaxIndexAtWavelengthInMicrons(lambda); }

double ZemaxGlass::zemaxIndexAtWavelengthInMicrons(double lambda) const {
  const double L = lambda * lambda;
  double n;
  switch (formula()) {
    case 1: {
      const double iL = 1.0 / L;
      n = std::sqrt(c(0) + c(1) * L + iL * (c(2) + iL * (c(3) + iL * (c(4) + iL * c(5)))));
      break;
    }
    case 2:
      n = std::sqrt(1.0 + c(0) * L / (L - c(1)) + c(2) * L / (L - c(3)) + c(4) * L / (L - c(5)));
      break;
    case 3: {
      const double H = 1.0 / (L - 0.028);
      n = c(0) + c(1) * H + c(2) * H * H + L * (c(3) + L * (c(4) + L * c(5)));
      break;
    }
    case 4:
      n = std::sqrt(1.0 + c(0) + c(1) * L / (L - c(2) * c(2)) + c(3) / (L - c(4) * c(4)));
      break;
    case 5:
      n = c(0) + c(1) / lambda + c(2) / std::pow(lambda, 3.5);
      break;
    case 6:
      n = std::sqrt(1.0 + c(0) * L / (L - c(1)) + c(2) * L / (L - c(3)) + c(4) * L / (L - c(5)) +
                    c(6) * L / (L - c(7)));
      break;
    case 7:
      n = std::sqrt(c(0) + c(1) / (L - c(2)) - c(3) * L);
      break;
    case 8:
      n = std::sqrt(c(0) + c(1) * L / (L - c(2)) - c(3) * L);
      break;
    case 9:
      n = std::sqrt(c(0) + c(1) * L / (L - c(2)) + c(3) * L / (L - c(4)));
      break;
    case 10: {
      const double iL = 1.0 / L;
      n = std::sqrt(c(0) + c(1) * L + iL * (c(2) + iL * (c(3) + iL * (c(4) + iL * (c(5) + iL * (c(6) + iL * c(7)))))));
      break;
    }
    case 11:
      n = std::sqrt(1.0 + c(0) * L / (L - c(1)) + c(2) * L / (L - c(3)) + c(4) * L / (L - c(5)) +
                    c(6) * L / (L - c(7)) + c(8) * L / (L - c(9)));
      break;
    case 12: {
      const double iL = 1.0 / L;
      n = std::sqrt(c(0) + L * (c(1) + L * (c(6) + L * c(7))) + iL * (c(2) + iL * (c(3) + iL * (c(4) + iL * c(5)))));
      break;
    }
    case 13: {
      const double iL = 1.0 / L;
      n = std::sqrt(c(0) + L * (c(1) + L * c(2)) +
                    iL * (c(3) + iL * (c(4) + iL * (c(5) + iL * (c(6) + iL * (c(7) + iL * c(8)))))));
      break;
    }
    default:
      return coefficientIndexAtWavelengthInMicrons(lambda);
  }
  return std::isnan(n) ? HUGE_VAL : n;
}

void ZemaxGlass::guessForWavelengthInMicrons(double lambda, double n) {
  const int f = formula();
  if (isZemaxFormula(f))
    zemaxGuess(f, lambda, n);
  else
    GlassWithCoefficients::guessForWavelengthInMicrons(lambda, n);
}

void ZemaxGlass::zemaxGuess(int f, double lambda, double n) {
  const double L = lambda * lambda, m = n * n - 1.0;
  auto set = [this](std::initializer_list<double> values) {
    std::size_t i = 0;
    for (double v : values) storeCoefficient(i++, v);
  };
  switch (f) {
    case 1: set({n * n, 0, 0, 0, 0, 0}); break;
    case 2: set({m / 6, L / 2, m / 6, L / 2, m / 6, L / 2}); break;
    case 3:
      if (L < 0.028) platform::log("warning: Herzberger no good below certain lam=%gum", 0.1673320053068151);
      set({0.99 * n, 0.01 * n * (L - 0.028), 0, 0, 0, 0});
      break;
    case 4: set({0.9 * m, 0.0375 * m * L, lambda / 2, 0.0375 * m * L, lambda / 2}); break;
    case 5: set({0.9 * n, 0.1 * lambda, 0}); break;
    case 6: set({0.1875 * m, L / 4, 0.1875 * m, L / 4, 0.1875 * m, L / 4, 0.1875 * m, L / 4}); break;
    case 7: set({0.9 * n * n, 0.1 * n * n * L, L / 2, 0}); break;
    case 8: set({0.9 * n * n, 0.1 * n * n, L / 2, 0}); break;
    case 9: set({0.9 * n * n, 0.05 * n * n, L / 2, 0.05 * n, L / 2}); break;
    case 10:
    case 12:
    case 13: set({n * n, 0, 0, 0, 0, 0, 0, 0, 0}); break;
    case 11: set({0.15 * m, L / 4, 0.15 * m, L / 4, 0.15 * m, L / 4, 0.15 * m, L / 4, 0.15 * m, L / 4}); break;
    default: return;
  }
  coefficientsChanged();
}

// --- AGF entry ----------------------------------------------------------------------------

std::string ZemaxGlass::agfEntry() const {
  std::string out;
  std::string nm = name();
  if (version() && !version()->empty()) nm += "@" + *version();
  std::string code = glassCode().value_or("");
  if (code.empty()) code = "0";
  out += "NM " + nm + " " + std::to_string(formula()) + " " + code + " " + fixedExact(referenceIndex()) + " " +
         fixedExact(referenceAbbe()) + "\n";
  out += "ED " + sci(m_alpha) + " " + sci(m_alphaExtended) + " " + sci(m_density) + " " + sci(m_dispersionDeviation) + "\n";
  const std::size_t n = isModelNamed() ? 0 : std::min(coefficientNames().size(), kMaxCoefficients);
  const_cast<ZemaxGlass*>(this)->setNCoefficientData(n);
  out += "CD";
  for (std::size_t i = 0; i < n; ++i) out += " " + sci(c(i));
  out += "\n";
  if (m_thermalDataString) out += *m_thermalDataString + "\n";
  if (m_otherDataString) out += *m_otherDataString + "\n";
  if (std::isinf(m_lambdaMax))
    out += "LD " + sci(0.2) + " " + sci(2.0) + "\n";
  else
    out += "LD " + sci(m_lambdaMin) + " " + sci(m_lambdaMax) + "\n";
  if (transmissionArray().isArray())
    for (const auto& record : transmissionArray().asArray()) {
      if (!record.isDictionary()) continue;
      const auto& d = record.asDictionary();
      auto number = [&](const char* key) {
        const Value* v = d.find(key);
        return v && v->isNumber() ? v->asDouble() : 0.0;
      };
      out += "IT " + sci(number("wavelength")) + " " + sci(number("transmission")) + " " + sci(number("thickness")) + "\n";
    }
  return out;
}

// --- Archive and keys ---------------------------------------------------------------------

void ZemaxGlass::encodeWithCoder(platform::Coder& coder) const {
  GlassWithCoefficients::encodeWithCoder(coder);
  coder.encodeObject("nameInCatalog", m_nameInCatalog);
  coder.encodeObject("catalogName", optionalValue(m_catalogName));
  coder.encodeObject("catalogType", optionalValue(m_catalogType));
  coder.encodeDouble("lambdaMin", m_lambdaMin);
  coder.encodeDouble("lambdaMax", m_lambdaMax);
  coder.encodeDouble("alpha", m_alpha);
  coder.encodeDouble("alphaExtended", m_alphaExtended);
  coder.encodeDouble("density", m_density);
  coder.encodeDouble("dispersionDeviation", m_dispersionDeviation);
}

void ZemaxGlass::initWithCoder(const platform::Coder& coder) {
  GlassWithCoefficients::initWithCoder(coder);
  setNameInCatalog(coder.decodeString("nameInCatalog"));
  setCatalogName(optionalString(coder.decodeObject("catalogName")));
  setCatalogType(optionalString(coder.decodeObject("catalogType")));
  setReferenceIndex(coder.decodeDouble("referenceIndex"));
  setReferenceAbbe(coder.decodeDouble("referenceAbbe"));
  setWavelengthRange(coder.decodeDouble("lambdaMin"),
                     coder.containsValueForKey("lambdaMax") ? coder.decodeDouble("lambdaMax") : HUGE_VAL);
  setAlpha(coder.decodeDouble("alpha"), coder.decodeDouble("alphaExtended"));
  setDensity(coder.decodeDouble("density"));
  setDispersionDeviation(coder.decodeDouble("dispersionDeviation"));
}

namespace {
platform::KeyEntry coefficientArrayKey() {
  platform::KeyEntry e;
  e.key = "coefficientArray";
  e.get = [](const platform::Object& o) { return Value(static_cast<const ZemaxGlass&>(o).coefficientArray()); };
  e.set = [](platform::Object& o, const Value& v) { static_cast<ZemaxGlass&>(o).setCoefficientArray(v.asArray()); };
  return e;
}
}  // namespace

const platform::KeyTable& ZemaxGlass::classKeys() {
  using K = Keys<ZemaxGlass>;
  auto optionalField = [](std::string key, std::optional<std::string> ZemaxGlass::*member) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [member](const platform::Object& o) { return optionalValue(static_cast<const ZemaxGlass&>(o).*member); };
    e.set = [member](platform::Object& o, const Value& v) { static_cast<ZemaxGlass&>(o).*member = optionalString(v); };
    e.setAnnounces = true;
    return e;
  };
  static const platform::KeyTable table(
      &GlassWithCoefficients::classKeys(),
      {
          K::property("nameInCatalog", &ZemaxGlass::nameInCatalog, &ZemaxGlass::setNameInCatalog),
          optionalField("catalogName", &ZemaxGlass::m_catalogName),
          optionalField("catalogType", &ZemaxGlass::m_catalogType),
          K::field("lambdaMin", &ZemaxGlass::m_lambdaMin),
          K::field("lambdaMax", &ZemaxGlass::m_lambdaMax),
          K::field("alpha", &ZemaxGlass::m_alpha),
          K::field("alphaExtended", &ZemaxGlass::m_alphaExtended),
          K::field("density", &ZemaxGlass::m_density),
          K::field("dispersionDeviation", &ZemaxGlass::m_dispersionDeviation),
          K::field("formulaT", &ZemaxGlass::m_formulaT),
          K::field("nCoefficientDataT", &ZemaxGlass::m_nCoefficientDataT),
          optionalField("thermalDataString", &ZemaxGlass::m_thermalDataString),
          optionalField("otherDataString", &ZemaxGlass::m_otherDataString),
          K::getter("catalogTypeDescriptor", &ZemaxGlass::catalogTypeDescriptor).dependsOn({"catalogType"}),
          K::getter("threeLiner", &ZemaxGlass::threeLiner)
              .dependsOn({"nameInCatalog", "catalogType", "catalogName"}),
          coefficientArrayKey(),
      });
  return table;
}

}  // namespace orb::materials
