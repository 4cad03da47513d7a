#include "materials/OsloGlass.h"

#include <algorithm>
#include <cmath>

#include "materials/CatalogText.h"

namespace orb::materials {

std::shared_ptr<OsloGlass> OsloGlass::glassWithCString(std::string_view line, std::string* why) {
  auto g = platform::makeObject<OsloGlass>();
  if (!g->takePropertiesFromCString(line, why)) return nullptr;
  return g;
}

std::shared_ptr<Glass> OsloGlass::makeEmpty() const { return platform::makeObject<OsloGlass>(); }

void OsloGlass::initWithGlass(const Glass& other) {
  ZemaxGlass::initWithGlass(other);
  if (auto g = dynamic_cast<const OsloGlass*>(&other)) {
    m_CFSAP = g->m_CFSAP;
    m_hardness = g->m_hardness;
    m_dndT = g->m_dndT;
    m_transmission400nm25mm = g->m_transmission400nm25mm;
  }
}

// One glass per line: name, nd, Vd, density, dn/dT, expansion (×10), transmission at
// 400 nm, an unused number, hardness, three words, the formula and its coefficients, the
// thermal formula and its coefficients, an unused integer and the transmission pairs.
// Every count is checked against what the line holds and what the glass can store.
namespace {
constexpr double kMaxCount = 1e6;  // no line holds more words; a formula number is far smaller
}  // namespace

bool OsloGlass::takePropertiesFromCString(std::string_view line, std::string* why) {
  const auto w = detail::words(line);
  std::size_t at = 0;
  auto fail = [&](const std::string& what) {
    if (why) *why = what;
    return false;
  };
  auto number = [&](const char* what, double& out) {
    if (at >= w.size()) return fail(platform::format("missing %s", what));
    auto v = detail::leadingNumber(w[at]);
    if (!v) return fail(platform::format("%s is not a number: \"%.*s\"", what, static_cast<int>(w[at].size()), w[at].data()));
    out = *v;
    ++at;
    return true;
  };
  auto count = [&](const char* what, long long& out) {
    double v = 0;
    if (!number(what, v)) return false;
    // Bounded before the conversion: a count past the range of an integer is no count.
    if (v < 0 || v != std::floor(v) || v > kMaxCount) return fail(platform::format("%s is not a count: %g", what, v));
    out = static_cast<long long>(v);
    return true;
  };

  if (w.empty()) return fail("no glass name");
  const std::string name(w[at++]);
  double nd, vd, density, dndT, alpha, t400, unused, hardness;
  if (!number("nd", nd) || !number("Vd", vd) || !number("density", density) || !number("dn/dT", dndT) ||
      !number("thermal expansion", alpha) || !number("transmission at 400 nm", t400) || !number("field 8", unused) ||
      !number("hardness", hardness))
    return false;
  if (at + 3 > w.size()) return fail("missing CFSAP words");
  std::string cfsap = std::string(w[at]) + " " + std::string(w[at + 1]) + " " + std::string(w[at + 2]);
  at += 3;
  long long formulaNumber, n;
  if (!count("formula", formulaNumber) || !count("coefficient count", n)) return false;
  if (n > static_cast<long long>(kMaxCoefficients))
    return fail(platform::format("coefficient count %lld exceeds %zu", n, kMaxCoefficients));
  double coefficients[kMaxCoefficients] = {};
  for (long long i = 0; i < n; ++i)
    if (!number("coefficient", coefficients[i])) return false;
  long long formulaThermal, m;
  if (!count("thermal formula", formulaThermal) || !count("thermal coefficient count", m)) return false;
  if (at + static_cast<std::size_t>(m) > w.size()) return fail("fewer thermal coefficients than counted");
  at += static_cast<std::size_t>(m);
  long long ignored, k;
  if (!count("field after the thermal data", ignored) || !count("transmission pair count", k)) return false;
  if (at + 2 * static_cast<std::size_t>(k) > w.size()) return fail("fewer transmission pairs than counted");
  platform::Array records;
  for (long long i = 0; i < k; ++i) {
    double lambda, t;
    if (!number("transmission wavelength", lambda) || !number("transmission", t)) return false;
    records.push_back(platform::Dictionary{{"wavelength", lambda}, {"transmission", t}, {"thickness", 5.0}});
  }

  // Only now that the whole line has been read is the glass changed.
  setName(name);
  setNameInCatalog(name);
  // nd and Vd are stored as the catalog gives them, without renaming.
  setReferenceIndex(nd);
  setReferenceAbbe(vd);
  setDensity(density);
  m_dndT = dndT;
  setAlpha(alpha / 10.0, alphaExtended());
  m_transmission400nm25mm = t400;
  m_hardness = hardness;
  m_CFSAP = std::move(cfsap);
  setFormula(static_cast<int>(formulaNumber));
  setCoefficientValuesFromDoubles(coefficients, static_cast<std::size_t>(n));
  setFormulaT(static_cast<int>(formulaThermal));
  setNCoefficientDataT(static_cast<std::size_t>(m));
  setTransmissionArray(std::move(records));
  return true;
}

bool OsloGlass::validWavelengthInMicrons(double) const { return true; }

const std::vector<int>& OsloGlass::formulaNumbers() const {
  static const std::vector<int> numbers{1, 5, 2, 3};
  return numbers;
}

const std::vector<std::string>& OsloGlass::formulaNames() const {
  static const std::vector<std::string> names{"Schott", "Herzberger", "Sellmeier 1", "Conrady"};
  return names;
}

const std::vector<std::string>& OsloGlass::coefficientNames() const {
  static const std::vector<std::string> schott{"A0", "A2", "B2", "B4", "B6", "B8"};
  static const std::vector<std::string> sellmeier{"B1", "B2", "B3", "C1", "C2", "C3"};
  static const std::vector<std::string> conrady{"n0", "A", "B"};
  static const std::vector<std::string> herzberger{"A", "B", "C", "D", "E", "F"};
  static const std::vector<std::string> generic{"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9"};
  switch (formula()) {
    case 1: return schott;
    case 2: return sellmeier;
    case 3: return conrady;
    case 5: return herzberger;
    default: return generic;
  }
}

bool OsloGlass::hasKnownFormula() const {
  const auto& numbers = formulaNumbers();
  return std::find(numbers.begin(), numbers.end(), formula()) != numbers.end();
}

double OsloGlass::indexAtWavelengthInMicrons(double lambda) const {
  const double L = lambda * lambda;
  double n;
  switch (formula()) {
    case 1: {
      const double iL = 1.0 / L;
      n = std::sqrt(c(0) + c(1) * L + iL * (c(2) + iL * (c(3) + iL * (c(4) + iL * c(5)))));
      break;
    }
    case 2:
      n = std::sqrt(1.0 + c(0) * L / (L - c(3)) + c(1) * L / (L - c(4)) + c(2) * L / (L - c(5)));
      break;
    case 3:
      n = c(0) + c(1) / lambda + c(2) / std::pow(lambda, 3.5);
      break;
    case 5: {
      const double H = 1.0 / (L - 0.028);
      n = c(0) + c(1) * H + c(2) * H * H + L * (c(3) + L * (c(4) + L * c(5)));
      break;
    }
    default:
      return 0.0;  // no law is known for these numbers
  }
  return std::isnan(n) ? HUGE_VAL : n;
}

void OsloGlass::guessForWavelengthInMicrons(double lambda, double n) {
  switch (formula()) {
    case 1: zemaxGuess(1, lambda, n); break;
    case 3: zemaxGuess(5, lambda, n); break;
    case 5: zemaxGuess(3, lambda, n); break;
    case 2: {
      // The Sellmeier 1 guess (each term m/3 at the given wavelength) in OSLO's order.
      const double L = lambda * lambda, m = n * n - 1.0;
      for (std::size_t i = 0; i < 3; ++i) {
        storeCoefficient(i, m / 6);
        storeCoefficient(i + 3, L / 2);
      }
      coefficientsChanged();
      break;
    }
    default: break;
  }
}

}  // namespace orb::materials
