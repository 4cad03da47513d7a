#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orb::foundation {

/// The monomial c·x₀^k₀·…·x_{N−1}^k_{N−1}. Monomials of one kind compare equal by their
/// exponents alone (their graded index); the coefficient is the only mutable part once
/// made. TwoMonomial and ThreeMonomial are its two kinds.
template <std::size_t N>
class Monomial {
 public:
  using Exponents = std::array<unsigned, N>;

  /// The unit monomial 1.
  Monomial() : Monomial(Exponents{}, 1.0) {}
  Monomial(const Exponents& k, double coefficient) : m_k(k), m_coefficient(coefficient), m_index(indexForK(k)) {}
  Monomial(unsigned i, unsigned j, double coefficient)
    requires(N == 2)
      : Monomial(Exponents{i, j}, coefficient) {}
  Monomial(unsigned i, unsigned j, unsigned l, double coefficient)
    requires(N == 3)
      : Monomial(Exponents{i, j, l}, coefficient) {}

  static Monomial unitMonomial() { return Monomial(); }
  static Monomial monomialWithK(const Exponents& k, double coefficient) { return Monomial(k, coefficient); }
  static Monomial monomialWithSignature(unsigned i, unsigned j, double coefficient)
    requires(N == 2)
  {
    return Monomial(i, j, coefficient);
  }
  static Monomial monomialWithSignature(unsigned i, unsigned j, unsigned l, double coefficient)
    requires(N == 3)
  {
    return Monomial(i, j, l, coefficient);
  }

  /// Graded position: lower total order first; within an order, higher powers of the
  /// earlier coordinates first. Two: 1, x, y, x², xy, y², …; three: 1, x, y, z, x², xy,
  /// xz, y², yz, z², x³, …. It is Σ_r C(s_r + N−1−r, N−r), s_r the sum of the exponents
  /// from coordinate r on.
  static unsigned indexForK(const Exponents& k) {
    unsigned index = 0;
    unsigned suffix = 0;
    for (std::size_t r = N; r-- > 0;) {
      suffix += k[r];
      index += binomial(suffix + static_cast<unsigned>(N - 1 - r), static_cast<unsigned>(N - r));
    }
    return index;
  }

  unsigned index() const { return m_index; }
  std::size_t hash() const { return m_index; }
  const Exponents& k() const { return m_k; }
  unsigned order() const {
    unsigned n = 0;
    for (unsigned e : m_k) n += e;
    return n;
  }
  unsigned orderOfCoordinate(std::size_t coordinate) const {
    assert(coordinate < N && "monomial coordinate out of range");
    return m_k[coordinate];
  }
  double coefficient() const { return m_coefficient; }
  void setCoefficient(double c) { m_coefficient = c; }
  void scaleBy(double s) { m_coefficient *= s; }
  /// Folds a fixed value of one coordinate into the coefficient; the exponent stays.
  void presetCoordinate(std::size_t coordinate, double value) {
    m_coefficient *= std::pow(value, static_cast<double>(orderOfCoordinate(coordinate)));
  }

  Monomial monomialByMultiplyingMonomial(const Monomial& other) const {
    Exponents k = m_k;
    for (std::size_t r = 0; r < N; ++r) k[r] += other.m_k[r];
    return Monomial(k, m_coefficient * other.m_coefficient);
  }
  /// Nothing when the coordinate does not occur.
  std::optional<Monomial> monomialByDifferentiatingCoordinate(std::size_t coordinate) const {
    const unsigned e = orderOfCoordinate(coordinate);
    if (e == 0) return std::nullopt;
    Exponents k = m_k;
    k[coordinate] = e - 1;
    return Monomial(k, m_coefficient * e);
  }
  /// Coordinate r takes the exponent of coordinate r−1 (the first takes the last's):
  /// for two variables x and y swap, for three (x, y, z) take those of (z, x, y).
  Monomial monomialByCyclicPermutationOfExponents() const {
    Exponents k;
    for (std::size_t r = 0; r < N; ++r) k[r] = m_k[(r + N - 1) % N];
    return Monomial(k, m_coefficient);
  }

  /// "[i][j](c)" (one bracket per exponent, coefficient as %g).
  std::string description() const {
    std::string text;
    char buffer[64];
    for (unsigned e : m_k) {
      std::snprintf(buffer, sizeof buffer, "[%u]", e);
      text += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "(%g)", m_coefficient);
    return text + buffer;
  }
  /// "X" i times then "Y" j times; "S" for a constant.
  std::string xyDescription() const
    requires(N == 2)
  {
    return letters();
  }
  /// "X" i times, "Y" j times, "Z" l times; "S" for a constant.
  std::string xyzDescription() const
    requires(N == 3)
  {
    return letters();
  }

  /// Same exponents; the coefficient plays no part.
  friend bool operator==(const Monomial& a, const Monomial& b) { return a.m_index == b.m_index; }

 private:
  static unsigned binomial(unsigned n, unsigned r) {
    if (r > n) return 0;
    unsigned long long value = 1;
    for (unsigned i = 1; i <= r; ++i) value = value * (n - r + i) / i;
    return static_cast<unsigned>(value);
  }
  std::string letters() const {
    if (order() == 0) return "S";
    std::string text;
    for (std::size_t r = 0; r < N; ++r) text.append(m_k[r], "XYZ"[r]);
    return text;
  }

  Exponents m_k;
  double m_coefficient;
  unsigned m_index;
};

/// A polynomial as a set of monomials of one kind, at most one per combination of
/// exponents, kept by graded index (so enumeration is lowest order first).
template <class M>
class Polynomial {
 public:
  using MonomialType = M;

  std::size_t monomialCount() const { return m_monomials.size(); }
  bool isZero() const { return m_monomials.empty(); }
  /// The monomials by ascending index, lowest order first.
  std::vector<M> monomialArray() const {
    std::vector<M> array;
    array.reserve(m_monomials.size());
    for (const auto& entry : m_monomials) array.push_back(entry.second);
    return array;
  }
  /// Index → monomial, for enumeration.
  const std::map<unsigned, M>& monomials() const { return m_monomials; }

 protected:
  std::map<unsigned, M> m_monomials;
};

/// The arithmetic shared by TwoPolynomial and ThreePolynomial. Every adding operation
/// keeps out zero coefficients: a sum that cancels exactly removes its monomial, so like
/// terms merge and cancelling terms vanish as products and powers are formed. Operations
/// that answer a polynomial leave the receiver unchanged.
template <std::size_t N, class Derived>
class MonomialPolynomial : public Polynomial<Monomial<N>> {
 public:
  using MonomialN = Monomial<N>;

  static Derived polynomial() { return Derived(); }
  static Derived polynomialWithMonomial(const MonomialN& m) {
    Derived p;
    p.m_monomials.emplace(m.index(), m);
    return p;
  }
  static Derived polynomialWithPolynomial(const Derived& other) { return other; }
  static Derived unitPolynomial() { return polynomialWithMonomial(MonomialN::unitMonomial()); }

  /// The largest total order, 0 when empty.
  unsigned order() const {
    unsigned n = 0;
    for (const auto& entry : this->m_monomials) n = std::max(n, entry.second.order());
    return n;
  }
  /// The largest exponent of one coordinate, 0 when empty.
  unsigned orderOfCoordinate(std::size_t coordinate) const {
    unsigned n = 0;
    for (const auto& entry : this->m_monomials) n = std::max(n, entry.second.orderOfCoordinate(coordinate));
    return n;
  }

  std::optional<MonomialN> monomialMatchingMonomial(const MonomialN& m) const {
    const auto found = this->m_monomials.find(m.index());
    if (found == this->m_monomials.end()) return std::nullopt;
    return found->second;
  }
  std::optional<MonomialN> monomialMatchingSignature(unsigned i, unsigned j) const
    requires(N == 2)
  {
    return monomialMatchingMonomial(MonomialN(i, j, 0.0));
  }
  std::optional<MonomialN> monomialMatchingSignature(unsigned i, unsigned j, unsigned l) const
    requires(N == 3)
  {
    return monomialMatchingMonomial(MonomialN(i, j, l, 0.0));
  }

  void addMonomial(const MonomialN& m) { addMonomial(m, 1.0); }
  /// Adds s·m. A zero addend changes nothing; a sum that is exactly 0 removes the term.
  void addMonomial(const MonomialN& m, double scale) {
    const double a = scale * m.coefficient();
    if (a == 0.0) return;
    const auto found = this->m_monomials.find(m.index());
    if (found == this->m_monomials.end()) {
      MonomialN copy = m;
      copy.setCoefficient(a);
      this->m_monomials.emplace(m.index(), copy);
      return;
    }
    const double sum = found->second.coefficient() + a;
    if (sum == 0.0) {
      this->m_monomials.erase(found);
    } else {
      found->second.setCoefficient(sum);
    }
  }
  void addPolynomial(const Derived& other) { addPolynomial(other, 1.0); }
  void addPolynomial(const Derived& other, double scale) {
    if (&other == this) {  // adding to itself: walk a snapshot
      const Derived copy = other;
      addPolynomial(copy, scale);
      return;
    }
    for (const auto& entry : other.m_monomials) addMonomial(entry.second, scale);
  }
  void subtractPolynomial(const Derived& other) { addPolynomial(other, -1.0); }
  void scaleBy(double s) {
    for (auto& entry : this->m_monomials) entry.second.scaleBy(s);
  }
  /// Removes every monomial with |c| strictly below the threshold.
  void zeroCoefficientsBelow(double threshold) {
    std::erase_if(this->m_monomials, [threshold](const auto& entry) {
      return std::fabs(entry.second.coefficient()) < threshold;
    });
  }
  /// The value with every coordinate 1.
  double sumOfCoefficients() const {
    double sum = 0.0;
    for (const auto& entry : this->m_monomials) sum += entry.second.coefficient();
    return sum;
  }
  void presetCoordinate(std::size_t coordinate, double value) {
    for (auto& entry : this->m_monomials) entry.second.presetCoordinate(coordinate, value);
  }

  Derived polynomialByMultiplyingMonomial(const MonomialN& m) const {
    Derived product;
    for (const auto& entry : this->m_monomials) product.addMonomial(entry.second.monomialByMultiplyingMonomial(m));
    return product;
  }
  Derived polynomialByMultiplyingPolynomial(const Derived& other) const {
    return polynomialByMultiplyingPolynomial(other, std::numeric_limits<unsigned>::max());
  }
  /// The product without the terms of total order above `maximumOrder`.
  Derived polynomialByMultiplyingPolynomial(const Derived& other, unsigned maximumOrder) const {
    Derived product;
    for (const auto& mine : this->m_monomials) {
      const unsigned myOrder = mine.second.order();
      if (myOrder > maximumOrder) continue;
      for (const auto& theirs : other.m_monomials) {
        if (theirs.second.order() > maximumOrder - myOrder) continue;
        product.addMonomial(mine.second.monomialByMultiplyingMonomial(theirs.second));
      }
    }
    return product;
  }
  /// The receiver to the power n, truncated at total order `maximumOrder` after every
  /// factor; power 0 is the unit polynomial.
  Derived polynomialByRaisingToPower(unsigned n, unsigned maximumOrder) const {
    Derived result = unitPolynomial();
    for (unsigned i = 0; i < n; ++i) {
      result = result.polynomialByMultiplyingPolynomial(static_cast<const Derived&>(*this), maximumOrder);
    }
    return result;
  }
  Derived polynomialByDifferentiatingCoordinate(std::size_t coordinate) const {
    Derived derivative;
    for (const auto& entry : this->m_monomials) {
      if (auto d = entry.second.monomialByDifferentiatingCoordinate(coordinate)) derivative.addMonomial(*d);
    }
    return derivative;
  }
  Derived polynomialByCyclicPermutation() const {
    Derived permuted;
    for (const auto& entry : this->m_monomials) permuted.addMonomial(entry.second.monomialByCyclicPermutationOfExponents());
    return permuted;
  }

  /// The value at the point x[0 … N−1], by pow() per factor (not for hot loops: use
  /// ThreePolynomialEvaluator there).
  double at(const double* x) const {
    double sum = 0.0;
    for (const auto& entry : this->m_monomials) {
      double term = entry.second.coefficient();
      for (std::size_t r = 0; r < N; ++r) term *= std::pow(x[r], static_cast<double>(entry.second.k()[r]));
      sum += term;
    }
    return sum;
  }

  /// "(\n    m1,\n    m2\n)" with the monomials' descriptions by index.
  std::string description() const {
    std::string text = "(";
    bool first = true;
    for (const auto& entry : this->m_monomials) {
      text += first ? "\n    " : ",\n    ";
      text += entry.second.description();
      first = false;
    }
    return text + "\n)";
  }

  /// Same monomials with the same coefficients.
  friend bool operator==(const MonomialPolynomial& a, const MonomialPolynomial& b) {
    if (a.m_monomials.size() != b.m_monomials.size()) return false;
    for (auto i = a.m_monomials.begin(), j = b.m_monomials.begin(); i != a.m_monomials.end(); ++i, ++j) {
      if (i->first != j->first || i->second.coefficient() != j->second.coefficient()) return false;
    }
    return true;
  }
};

}  // namespace orb::foundation
