#pragma once

#include <string>
#include <vector>

#include "foundation/linear/Matrix.h"
#include "foundation/polynomial/Polynomial.h"

namespace orb::foundation {

/// c·x^i·y^j·z^l.
using ThreeMonomial = Monomial<3>;

/// A polynomial in x, y, z with exact and numerical means over triangles of 3-space and a
/// linear change of variables. Triangles are nine doubles: the corners A, B, C, each x, y,
/// z; barycentric (a, b, c) stands for a·A + b·B + c·C.
class ThreePolynomial final : public MonomialPolynomial<3, ThreePolynomial> {
 public:
  using MonomialPolynomial::at;
  double at(double x, double y, double z) const {
    const double p[3] = {x, y, z};
    return at(p);
  }

  /// The monomials' "XXYZ" forms by index.
  std::vector<std::string> xyzDescription() const;

  /// A column of index(0, 0, N) + 1 rows for the order N, row `index` holding the
  /// coefficient of that monomial and zeros elsewhere.
  ColumnMatrix standardColumnMatrixRepresentation() const;
  /// Replaces the monomials by the non-zero rows of a column (NaN counts as non-zero).
  void setFromStandardColumnMatrixRepresentation(const Matrix& column);
  static ThreePolynomial polynomialWithStandardColumnMatrixRepresentation(const Matrix& column);

  /// The polynomial in new variables (u, v, w) under x = M0·u + M3·v + M6·w,
  /// y = M1·u + M4·v + M7·w, z = M2·u + M5·v + M8·w: with a triangle's corners, its
  /// barycentric form; with the columns of a rotation, a change of frame.
  ThreePolynomial polynomialByTransformingToTriangleCoordinates(const double* M) const;
  /// For a polynomial in barycentric coordinates: its mean over the triangle,
  /// Σ c·2·i!·j!·l!/(i + j + l + 2)!.
  double triangleIntegrate() const;
  /// The exact mean over the triangle A, B, C.
  double integrateTriangleCoordinates(const double* triangle) const;
  /// The same mean by the quadrature rule that the order needs: 10 points up to order
  /// 5, 21 up to 9, the degree-13 rule up to 13; 0 above 13.
  double numQuadForTriangleCoordinates(const double* triangle) const;

 private:
  /// The substitution, handing each transformed monomial with its coefficient to `sink`.
  template <class Sink>
  void forEachTransformedMonomial(const double* M, Sink&& sink) const;
};

/// A flattened snapshot of a ThreePolynomial for repeated evaluation: terms in one
/// array, powers built by multiplication into scratch tables. The tables are rewritten
/// by every call, so an evaluator serves one thread at a time.
class ThreePolynomialEvaluator {
 public:
  explicit ThreePolynomialEvaluator(const ThreePolynomial& polynomial);

  double at(const double* x);
  /// Means over the triangle A, B, C by rules exact to total degree 5, 9 and 13.
  double numQuad5ForTriangleCoordinates(const double* triangle);
  double numQuad9ForTriangleCoordinates(const double* triangle);
  double numQuad13ForTriangleCoordinates(const double* triangle);

 private:
  struct Term {
    unsigned k[3];
    double coefficient;
  };
  struct RulePoint {
    double a, b, weight;
  };
  double rule(const std::vector<RulePoint>& points, const double* triangle);

  unsigned m_n[3] = {0, 0, 0};
  std::vector<double> m_p[3];
  std::vector<Term> m_data;
};

}  // namespace orb::foundation
