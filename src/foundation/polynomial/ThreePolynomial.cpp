#include "foundation/polynomial/ThreePolynomial.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "foundation/quadrature/GaussLegendreIntegrator.h"
#include "foundation/quadrature/TriangleQuadrature.h"

namespace orb::foundation {

std::vector<std::string> ThreePolynomial::xyzDescription() const {
  std::vector<std::string> descriptions;
  for (const auto& entry : m_monomials) descriptions.push_back(entry.second.xyzDescription());
  return descriptions;
}

ColumnMatrix ThreePolynomial::standardColumnMatrixRepresentation() const {
  ColumnMatrix column(ThreeMonomial::indexForK({0, 0, order()}) + 1);
  for (const auto& entry : m_monomials) column.atPut(entry.first, entry.second.coefficient());
  return column;
}

void ThreePolynomial::setFromStandardColumnMatrixRepresentation(const Matrix& column) {
  m_monomials.clear();
  const std::size_t rows = column.nRows();
  std::size_t index = 0;
  // Exponents in index order: by order, then x from high to low, then y from high to low.
  for (unsigned n = 0; index < rows; ++n) {
    for (unsigned i = n + 1; i-- > 0 && index < rows;) {
      for (unsigned j = n - i + 1; j-- > 0 && index < rows; ++index) {
        const double value = column.at(index, 0);
        if (!(value == 0.0)) addMonomial(ThreeMonomial(i, j, n - i - j, value));
      }
    }
  }
}

ThreePolynomial ThreePolynomial::polynomialWithStandardColumnMatrixRepresentation(const Matrix& column) {
  ThreePolynomial p;
  p.setFromStandardColumnMatrixRepresentation(column);
  return p;
}

template <class Sink>
void ThreePolynomial::forEachTransformedMonomial(const double* M, Sink&& sink) const {
  // Powers of the three linear forms, each table built once up to the largest exponent.
  std::vector<ThreePolynomial> powers[3];
  for (std::size_t r = 0; r < 3; ++r) {
    ThreePolynomial linear;
    linear.addMonomial(ThreeMonomial(1, 0, 0, M[r]));
    linear.addMonomial(ThreeMonomial(0, 1, 0, M[3 + r]));
    linear.addMonomial(ThreeMonomial(0, 0, 1, M[6 + r]));
    const unsigned top = orderOfCoordinate(r);
    powers[r].reserve(top + 1);
    powers[r].push_back(unitPolynomial());
    for (unsigned e = 1; e <= top; ++e) powers[r].push_back(powers[r].back().polynomialByMultiplyingPolynomial(linear));
  }
  for (const auto& entry : m_monomials) {
    const auto& k = entry.second.k();
    const ThreePolynomial term =
        powers[0][k[0]].polynomialByMultiplyingPolynomial(powers[1][k[1]]).polynomialByMultiplyingPolynomial(powers[2][k[2]]);
    sink(term, entry.second.coefficient());
  }
}

ThreePolynomial ThreePolynomial::polynomialByTransformingToTriangleCoordinates(const double* M) const {
  ThreePolynomial result;
  forEachTransformedMonomial(M, [&result](const ThreePolynomial& term, double c) { result.addPolynomial(term, c); });
  return result;
}

double ThreePolynomial::triangleIntegrate() const {
  double sum = 0.0;
  for (const auto& entry : m_monomials) {
    const auto& k = entry.second.k();
    sum += entry.second.coefficient() * 2.0 * std::tgamma(k[0] + 1.0) * std::tgamma(k[1] + 1.0) *
           std::tgamma(k[2] + 1.0) / std::tgamma(k[0] + k[1] + k[2] + 3.0);
  }
  return sum;
}

double ThreePolynomial::integrateTriangleCoordinates(const double* triangle) const {
  double sum = 0.0;
  forEachTransformedMonomial(triangle,
                             [&sum](const ThreePolynomial& term, double c) { sum += c * term.triangleIntegrate(); });
  return sum;
}

double ThreePolynomial::numQuadForTriangleCoordinates(const double* triangle) const {
  const unsigned n = order();
  if (n > 13) return 0.0;
  ThreePolynomialEvaluator evaluator(*this);
  if (n <= 5) return evaluator.numQuad5ForTriangleCoordinates(triangle);
  if (n <= 9) return evaluator.numQuad9ForTriangleCoordinates(triangle);
  return evaluator.numQuad13ForTriangleCoordinates(triangle);
}

ThreePolynomialEvaluator::ThreePolynomialEvaluator(const ThreePolynomial& polynomial) {
  m_data.reserve(polynomial.monomialCount());
  for (const auto& entry : polynomial.monomials()) {
    const auto& k = entry.second.k();
    m_data.push_back(Term{{k[0], k[1], k[2]}, entry.second.coefficient()});
    for (std::size_t r = 0; r < 3; ++r) m_n[r] = std::max(m_n[r], k[r]);
  }
  for (std::size_t r = 0; r < 3; ++r) m_p[r].assign(m_n[r] + 1, 1.0);
}

double ThreePolynomialEvaluator::at(const double* x) {
  for (std::size_t r = 0; r < 3; ++r) {
    double* p = m_p[r].data();
    for (unsigned e = 1; e <= m_n[r]; ++e) p[e] = p[e - 1] * x[r];
  }
  double sum = 0.0;
  for (const Term& t : m_data) sum += t.coefficient * m_p[0][t.k[0]] * m_p[1][t.k[1]] * m_p[2][t.k[2]];
  return sum;
}

double ThreePolynomialEvaluator::rule(const std::vector<RulePoint>& points, const double* P) {
  double sum = 0.0;
  for (const RulePoint& q : points) {
    const double c = 1.0 - q.a - q.b;
    double x[3];
    for (int r = 0; r < 3; ++r) x[r] = q.a * P[r] + q.b * P[3 + r] + c * P[6 + r];
    sum += q.weight * at(x);
  }
  return 0.5 * sum;
}

double ThreePolynomialEvaluator::numQuad5ForTriangleCoordinates(const double* triangle) {
  static const std::vector<RulePoint> kPoints = [] {
    std::vector<RulePoint> points;
    for (const auto& row : kTriangleRule10) points.push_back({row[0], row[1], row[2]});
    return points;
  }();
  return rule(kPoints, triangle);
}

double ThreePolynomialEvaluator::numQuad9ForTriangleCoordinates(const double* triangle) {
  // Symmetric: every distinct permutation of each barycentric triple.
  static const std::vector<RulePoint> kPoints = [] {
    constexpr double kOrbits[5][4] = {
        {0.0451890097844, 0.0451890097844, 0.9096219804312, 0.0519871420646},
        {0.7475124727339, 0.0304243617288, 0.2220631655373, 0.0707034101784},
        {0.1369912012649, 0.2182900709714, 0.6447187277637, 0.0909390760952},
        {0.0369603304334, 0.4815198347833, 0.4815198347833, 0.103234405138},
        {0.4036039798179, 0.4036039798179, 0.1927920403641, 0.1881601469167},
    };
    constexpr int kPermutations[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    std::vector<RulePoint> points;
    for (const auto& orbit : kOrbits) {
      std::vector<std::array<double, 2>> seen;
      for (const auto& p : kPermutations) {
        const std::array<double, 2> ab = {orbit[p[0]], orbit[p[1]]};
        if (std::find(seen.begin(), seen.end(), ab) != seen.end()) continue;
        seen.push_back(ab);
        points.push_back({ab[0], ab[1], orbit[3]});
      }
    }
    return points;
  }();
  return rule(kPoints, triangle);
}

double ThreePolynomialEvaluator::numQuad13ForTriangleCoordinates(const double* triangle) {
  // A collapsed (Duffy) product of Gauss–Legendre rules: a = u, b = (1 − u)·v with
  // weight w_u·w_v·(1 − u). The Jacobian raises the degree in u by one, so 8 points in u
  // and 7 in v integrate total degree 13 exactly.
  static const std::vector<RulePoint> kPoints = [] {
    const GaussLegendreRule u = gaussLegendreRuleCreate(8);
    const GaussLegendreRule v = gaussLegendreRuleCreate(7);
    std::vector<RulePoint> points;
    for (int i = 0; i < u.n; ++i) {
      const double a = (1.0 + u.nodes[i]) / 2.0;
      for (int j = 0; j < v.n; ++j) {
        const double t = (1.0 + v.nodes[j]) / 2.0;
        points.push_back({a, (1.0 - a) * t, u.weights[i] * v.weights[j] * (1.0 - a)});
      }
    }
    return points;
  }();
  return rule(kPoints, triangle);
}

}  // namespace orb::foundation
