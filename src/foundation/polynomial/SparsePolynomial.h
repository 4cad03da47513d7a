#pragma once

#include <string>
#include <vector>

namespace orb::foundation {

/// A polynomial in one variable that keeps only its non-zero terms: the sag of aspheric
/// surfaces and the radial phase of kinoforms. Powers are zero or more, distinct and kept
/// highest first, so that value and derivatives come out of one Horner pass with no power
/// function and no allocation.
class SparsePolynomial {
 public:
  SparsePolynomial() = default;
  static SparsePolynomial sparsePolynomial() { return SparsePolynomial(); }

  /// The stored coefficient, 0 for an absent power.
  double coefficientForPower(int power) const;
  /// Overwrites a stored power's coefficient (zero too: the term keeps its place).
  /// A new power enters in order, unless its coefficient is ±0 (NaN does enter).
  void setCoefficient(double coefficient, int power);
  /// True with no terms or only zero coefficients.
  bool isTrivial() const;

  std::size_t termCount() const { return m_power.size(); }
  /// The stored powers, highest first.
  const std::vector<int>& powers() const { return m_power; }
  const std::vector<double>& coefficients() const { return m_coefficient; }

  /// Σ c·x^p.
  double evaluateAt(double x) const;
  /// Σ p·c·x^(p−1) over p > 0.
  double evaluateGradientAt(double x) const;
  /// Σ p·(p−1)·c·x^(p−2) over p ≥ 2.
  double evaluateSecondGradientAt(double x) const;

  /// "%d(%e)" per term in stored order, no separator; "" with no terms.
  std::string description() const;

 private:
  /// Horner over the stored decreasing powers of the `derivative`-th derivative.
  double evaluate(double x, int derivative) const;

  std::vector<int> m_power;
  std::vector<double> m_coefficient;
};

}  // namespace orb::foundation
