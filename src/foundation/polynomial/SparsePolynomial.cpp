#include "foundation/polynomial/SparsePolynomial.h"

#include <cstdio>

namespace orb::foundation {

namespace {

/// x^e by repeated multiplication: exponents are small and exact products keep the
/// results reproducible across platforms' pow().
inline double power(double x, int e) {
  if (e == 1) return x;
  double p = 1.0;
  for (int i = 0; i < e; ++i) p *= x;
  return p;
}

}  // namespace

double SparsePolynomial::coefficientForPower(int power) const {
  for (std::size_t i = 0; i < m_power.size(); ++i) {
    if (m_power[i] == power) return m_coefficient[i];
  }
  return 0.0;
}

void SparsePolynomial::setCoefficient(double coefficient, int power) {
  std::size_t i = 0;
  while (i < m_power.size() && m_power[i] > power) ++i;
  if (i < m_power.size() && m_power[i] == power) {
    m_coefficient[i] = coefficient;
    return;
  }
  if (coefficient == 0.0) return;
  m_power.insert(m_power.begin() + static_cast<std::ptrdiff_t>(i), power);
  m_coefficient.insert(m_coefficient.begin() + static_cast<std::ptrdiff_t>(i), coefficient);
}

bool SparsePolynomial::isTrivial() const {
  for (double c : m_coefficient) {
    if (!(c == 0.0)) return false;
  }
  return true;
}

double SparsePolynomial::evaluate(double x, int derivative) const {
  double sum = 0.0;
  int previous = 0;
  for (std::size_t i = 0; i < m_power.size(); ++i) {
    const int p = m_power[i];
    if (p < derivative) break;  // powers decrease: no later term contributes either
    double factor = m_coefficient[i];
    for (int d = 0; d < derivative; ++d) factor *= p - d;
    const int e = p - derivative;
    if (previous > e) sum *= power(x, previous - e);
    sum += factor;
    previous = e;
  }
  if (previous > 0) sum *= power(x, previous);
  return sum;
}

double SparsePolynomial::evaluateAt(double x) const { return evaluate(x, 0); }
double SparsePolynomial::evaluateGradientAt(double x) const { return evaluate(x, 1); }
double SparsePolynomial::evaluateSecondGradientAt(double x) const { return evaluate(x, 2); }

std::string SparsePolynomial::description() const {
  std::string text;
  char buffer[64];
  for (std::size_t i = 0; i < m_power.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%d(%e)", m_power[i], m_coefficient[i]);
    text += buffer;
  }
  return text;
}

}  // namespace orb::foundation
