#include "materials/GrinDispersion.h"

#include <algorithm>
#include <cmath>

#include "foundation/platform/CharacterSet.h"
#include "foundation/platform/Scanner.h"
#include "platform/Coder.h"

namespace orb::materials {

using platform::Keys;

namespace {

/// p(x), p′(x), p″(x) of Σj<count c[j]·x^j by Horner's rule; the constant term counts
/// even when `count` is 0.
inline void polynomialWithDerivatives(const GrinDispersion::Row& c, int count, double x, double& p, double& dp,
                                      double& d2p) {
  p = 0, dp = 0, d2p = 0;
  for (int j = std::max(count, 1) - 1; j >= 0; --j) {
    d2p = d2p * x + 2 * dp;
    dp = dp * x + p;
    p = p * x + c[j];
  }
}

inline double polynomial(const GrinDispersion::Row& c, int count, double x) {
  double p = 0;
  for (int j = std::max(count, 1) - 1; j >= 0; --j) p = p * x + c[j];
  return p;
}

inline double finiteOrInfinity(double n) { return std::isnan(n) ? HUGE_VAL : n; }

}  // namespace

GrinDispersion::GrinDispersion() {
  m_K[0][0] = 0.11098;
  m_K[0][2] = -0.06172;
  setReferenceIndexIsVariable(true);
}

std::shared_ptr<Glass> GrinDispersion::makeEmpty() const { return platform::makeObject<GrinDispersion>(); }

void GrinDispersion::initWithGlass(const Glass& other) {
  Glass::initWithGlass(other);
  if (auto* g = dynamic_cast<const GrinDispersion*>(&other)) {
    setLambdaMin(g->m_lambdaMin);
    setLambdaMax(g->m_lambdaMax);
    setLambdaRef(g->m_lambdaRef);
    setNK(g->m_nK);
    setNL(g->m_nL);
    // Whole tables: the law always reads column 0, even with a count of 0.
    m_K = g->m_K;
    m_L = g->m_L;
  }
}

void GrinDispersion::setNK(int n) { setAndAnnounce("nK", m_nK, std::clamp(n, 0, kMaxTerms)); }
void GrinDispersion::setNL(int n) { setAndAnnounce("nL", m_nL, std::clamp(n, 0, kMaxTerms)); }
void GrinDispersion::setK(int i, int j, double value) { m_K.at(i).at(j) = value; }
void GrinDispersion::setL(int i, int j, double value) { m_L.at(i).at(j) = value; }

std::string GrinDispersion::coefficientKey(char table, int i, int j) {
  return platform::format("%c%d%d", table, i, j);
}

// --- The law ------------------------------------------------------------------------------

double GrinDispersion::indexOfRefractionForBaseValue(double n0, double lambda) const {
  const double w = lambda * lambda;
  double sum = 0;
  for (int i = 0; i < 3; ++i) sum += polynomial(m_K[i], m_nK, n0) / (w - polynomial(m_L[i], m_nL, n0));
  return finiteOrInfinity(std::sqrt(n0 * n0 + (w - m_lambdaRef * m_lambdaRef) * sum));
}

// With N = n² = n0² + c·Σ Ki/(w − Li), c = λ² − λref², w = λ²:
//   N′ = 2n0 + c·Σ (Ki′/d + Ki·Li′/d²),  d = w − Li,
//   N″ = 2 + c·Σ (Ki″/d + (2Ki′Li′ + Ki·Li″)/d² + 2Ki·Li′²/d³),
//   n′ = N′/(2n),  n″ = (N″ − 2n′²)/(2n).
// Analytic rather than difference quotients: a central second difference with a step of
// 1e-6 loses about half the digits of n to cancellation, which the force gradient feels.
void GrinDispersion::derivativesForBaseValue(double n0, double lambda, double& n, double& dn, double& d2n) const {
  const double w = lambda * lambda;
  const double c = w - m_lambdaRef * m_lambdaRef;
  double sum = 0, dsum = 0, d2sum = 0;
  for (int i = 0; i < 3; ++i) {
    double k, dk, d2k, l, dl, d2l;
    polynomialWithDerivatives(m_K[i], m_nK, n0, k, dk, d2k);
    polynomialWithDerivatives(m_L[i], m_nL, n0, l, dl, d2l);
    const double r = 1.0 / (w - l);
    sum += k * r;
    dsum += (dk + k * dl * r) * r;
    d2sum += (d2k + (2 * dk * dl + k * d2l + 2 * k * dl * dl * r) * r) * r;
  }
  const double nn = n0 * n0 + c * sum;
  n = std::sqrt(nn);
  dn = (2 * n0 + c * dsum) / (2 * n);
  d2n = (2 + c * d2sum - 2 * dn * dn) / (2 * n);
  n = finiteOrInfinity(n);
}

double GrinDispersion::dndnrefForBaseValue(double n0, double lambda) const {
  double n, dn, d2n;
  derivativesForBaseValue(n0, lambda, n, dn, d2n);
  return dn;
}

double GrinDispersion::d2ndnref2ForBaseValue(double n0, double lambda) const {
  double n, dn, d2n;
  derivativesForBaseValue(n0, lambda, n, dn, d2n);
  return d2n;
}

double GrinDispersion::indexAtWavelengthInMicrons(double lambda) const {
  return indexOfRefractionForBaseValue(referenceIndex(), lambda);
}

std::string GrinDispersion::glassDescription() const {
  return isDummy() ? "unknown GRIN dispersion" : "GRIN dispersion";
}

// --- Library entries ----------------------------------------------------------------------

std::shared_ptr<GrinDispersion> GrinDispersion::withScanner(foundation::Scanner& scanner, std::string* why,
                                                            bool* hadName) {
  if (hadName) *hadName = false;
  const std::size_t start = scanner.scanLocation();
  std::string name;
  if (!scanner.scanCharactersFromSet(foundation::CharacterSet::alphanumericCharacterSet(), &name)) {
    scanner.setScanLocation(start);
    return nullptr;
  }
  if (hadName) *hadName = true;

  // On a malformed entry, pass over the numbers that follow so the next name is next.
  auto refuse = [&](std::string reason) -> std::shared_ptr<GrinDispersion> {
    if (why) *why = std::move(reason);
    while (scanner.scanDouble()) {
    }
    return nullptr;
  };
  auto number = [&](double& out) { return scanner.scanDouble(&out); };

  auto g = platform::makeObject<GrinDispersion>();
  g->setName(name);
  // An entry defines every term it uses; the defaults must not leak into it.
  g->m_K = {};
  g->m_L = {};
  double range[3];
  for (double& v : range)
    if (!number(v)) return refuse("wavelength range and reference wavelength expected");
  double counts[2];
  for (double& v : counts)
    if (!number(v)) return refuse("term counts nK and nL expected");
  for (int c = 0; c < 2; ++c)
    if (counts[c] < 0 || counts[c] > kMaxTerms || counts[c] != std::floor(counts[c]))
      return refuse(platform::format("%s = %g: a count must be a whole number from 0 to %d", c == 0 ? "nK" : "nL",
                                     counts[c], kMaxTerms));
  const int nK = static_cast<int>(counts[0]);
  const int nL = static_cast<int>(counts[1]);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < nK; ++j)
      if (!number(g->m_K[i][j])) return refuse(platform::format("K row %d: %d numbers expected", i, nK));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < nL; ++j)
      if (!number(g->m_L[i][j])) return refuse(platform::format("L row %d: %d numbers expected", i, nL));
  g->setLambdaMin(range[0]);
  g->setLambdaMax(range[1]);
  g->setLambdaRef(range[2]);
  g->setNK(nK);
  g->setNL(nL);
  return g;
}

// --- Archive and keys ---------------------------------------------------------------------

void GrinDispersion::encodeWithCoder(platform::Coder& coder) const {
  Glass::encodeWithCoder(coder);
  coder.encodeDouble("lambdaMin", m_lambdaMin);
  coder.encodeDouble("lambdaMax", m_lambdaMax);
  coder.encodeDouble("lambdaRef", m_lambdaRef);
  coder.encodeInt("nK", m_nK);
  coder.encodeInt("nL", m_nL);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < m_nK; ++j) coder.encodeDouble(coefficientKey('K', i, j), m_K[i][j]);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < m_nL; ++j) coder.encodeDouble(coefficientKey('L', i, j), m_L[i][j]);
}

void GrinDispersion::initWithCoder(const platform::Coder& coder) {
  Glass::initWithCoder(coder);
  setLambdaMin(coder.decodeDouble("lambdaMin"));
  setLambdaMax(coder.decodeDouble("lambdaMax"));
  setLambdaRef(coder.decodeDouble("lambdaRef"));
  setNK(static_cast<int>(coder.decodeInt("nK")));
  setNL(static_cast<int>(coder.decodeInt("nL")));
  // Only the used terms are archived; the rest are zero, not the defaults of a new object.
  m_K = {};
  m_L = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < m_nK; ++j) m_K[i][j] = coder.decodeDouble(coefficientKey('K', i, j));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < m_nL; ++j) m_L[i][j] = coder.decodeDouble(coefficientKey('L', i, j));
}

const platform::KeyTable& GrinDispersion::classKeys() {
  using K = Keys<GrinDispersion>;
  static const platform::KeyTable table(
      &Glass::classKeys(),
      {
          K::property("lambdaMin", &GrinDispersion::lambdaMin, &GrinDispersion::setLambdaMin),
          K::property("lambdaMax", &GrinDispersion::lambdaMax, &GrinDispersion::setLambdaMax),
          K::property("lambdaRef", &GrinDispersion::lambdaRef, &GrinDispersion::setLambdaRef),
          K::property("nK", &GrinDispersion::nK, &GrinDispersion::setNK),
          K::property("nL", &GrinDispersion::nL, &GrinDispersion::setNL),
      });
  return table;
}

}  // namespace orb::materials
