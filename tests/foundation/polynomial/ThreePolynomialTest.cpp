#include "foundation/polynomial/ThreePolynomial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

double factorial(unsigned n) { return std::tgamma(n + 1.0); }

/// Mean of x^i·y^j over the triangle (0,0,0), (1,0,0), (0,1,0): 2·i!·j!/(i + j + 2)!.
double unitTriangleMean(unsigned i, unsigned j) { return 2.0 * factorial(i) * factorial(j) / factorial(i + j + 2); }

constexpr double kUnitTriangle[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
constexpr double kSkewTriangle[9] = {0.3, -1.2, 2.0, 2.5, 0.4, -0.7, -1.1, 1.9, 0.6};

ThreePolynomial randomPolynomial(unsigned order, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> coefficient(-1.0, 1.0);
  ThreePolynomial p;
  for (unsigned n = 0; n <= order; ++n) {
    for (unsigned i = 0; i <= n; ++i) {
      for (unsigned j = 0; i + j <= n; ++j) p.addMonomial(ThreeMonomial(i, j, n - i - j, coefficient(random)));
    }
  }
  return p;
}

TEST(ThreePolynomialTest, GradedIndices) {
  const std::vector<std::string> names = {"S",  "X",  "Y",  "Z",   "XX",  "XY",  "XZ",
                                          "YY", "YZ", "ZZ", "XXX", "XXY", "XXZ", "XYY"};
  const std::vector<ThreeMonomial::Exponents> exponents = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 0, 0},
                                                           {1, 1, 0}, {1, 0, 1}, {0, 2, 0}, {0, 1, 1}, {0, 0, 2},
                                                           {3, 0, 0}, {2, 1, 0}, {2, 0, 1}, {1, 2, 0}};
  for (unsigned i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(ThreeMonomial::indexForK(exponents[i]), i);
    EXPECT_EQ(ThreeMonomial(exponents[i], 1.0).xyzDescription(), names[i]);
  }
  EXPECT_EQ(ThreeMonomial(2, 1, 4, 3.0).monomialByCyclicPermutationOfExponents().k(),
            (ThreeMonomial::Exponents{4, 2, 1}));
}

TEST(ThreePolynomialTest, MeansOverTrianglesExactAndByQuadrature) {
  const ThreePolynomial unit = ThreePolynomial::unitPolynomial();
  EXPECT_DOUBLE_EQ(unit.triangleIntegrate(), 1.0);
  EXPECT_NEAR(unit.integrateTriangleCoordinates(kSkewTriangle), 1.0, 1e-15);
  EXPECT_NEAR(unit.numQuadForTriangleCoordinates(kSkewTriangle), 1.0, 1e-12);

  // Monomials x^i·y^j over the unit triangle against the closed form, for every rule.
  struct Case {
    unsigned i, j;
    double tolerance;  // the 10- and 21-point rules are tabulated to ~13 digits
  };
  for (const Case c : {Case{0, 5, 1e-10}, Case{3, 2, 1e-10}, Case{4, 5, 1e-10}, Case{9, 0, 1e-10},
                       Case{6, 7, 1e-14}, Case{13, 0, 1e-14}, Case{5, 8, 1e-14}}) {
    SCOPED_TRACE(std::to_string(c.i) + "," + std::to_string(c.j));
    const ThreePolynomial p = ThreePolynomial::polynomialWithMonomial(ThreeMonomial(c.i, c.j, 0, 1.0));
    const double expected = unitTriangleMean(c.i, c.j);
    EXPECT_NEAR(p.integrateTriangleCoordinates(kUnitTriangle), expected, 1e-15);
    EXPECT_NEAR(p.numQuadForTriangleCoordinates(kUnitTriangle), expected, c.tolerance);
  }
  EXPECT_EQ(ThreePolynomial::polynomialWithMonomial(ThreeMonomial(14, 0, 0, 1.0))
                .numQuadForTriangleCoordinates(kUnitTriangle),
            0.0);

  // Full polynomials of orders 5, 9 and 13 on a skew triangle: exact mean = rule.
  for (const auto& [order, tolerance] : std::vector<std::pair<unsigned, double>>{{5, 1e-9}, {9, 1e-9}, {13, 1e-11}}) {
    SCOPED_TRACE(order);
    const ThreePolynomial p = randomPolynomial(order, order);
    const double exact = p.integrateTriangleCoordinates(kSkewTriangle);
    EXPECT_NEAR(p.numQuadForTriangleCoordinates(kSkewTriangle), exact, tolerance * std::fabs(exact) + tolerance);
  }
}

TEST(ThreePolynomialTest, ChangeOfVariablesPreservesValues) {
  const ThreePolynomial p = randomPolynomial(4, 7);
  // Columns of a rotation about (1, 1, 1): Q(u) = P(M·u).
  const double c = std::cos(0.7), s = std::sin(0.7), k = (1 - c) / 3, r = s / std::sqrt(3.0);
  const double M[9] = {c + k, k + r, k - r, k - r, c + k, k + r, k + r, k - r, c + k};
  const ThreePolynomial q = p.polynomialByTransformingToTriangleCoordinates(M);
  for (const auto& u : std::vector<std::array<double, 3>>{{0.2, -1.0, 0.5}, {1.5, 0.3, -0.8}}) {
    const double x[3] = {M[0] * u[0] + M[3] * u[1] + M[6] * u[2], M[1] * u[0] + M[4] * u[1] + M[7] * u[2],
                         M[2] * u[0] + M[5] * u[1] + M[8] * u[2]};
    EXPECT_NEAR(q.at(u.data()), p.at(x), 1e-12);
  }
  ThreePolynomialEvaluator evaluator(p);
  const double x[3] = {0.4, -0.9, 1.3};
  EXPECT_NEAR(evaluator.at(x), p.at(x), 1e-13);
  EXPECT_EQ(p.polynomialByCyclicPermutation().polynomialByCyclicPermutation().polynomialByCyclicPermutation(), p);
}

TEST(ThreePolynomialTest, ColumnMatrixRepresentation) {
  ThreePolynomial sum;
  sum.addMonomial(ThreeMonomial(1, 0, 0, 1.0));
  sum.addMonomial(ThreeMonomial(0, 1, 0, 1.0));
  const ThreePolynomial binomial = sum.polynomialByRaisingToPower(10, ~0u);
  EXPECT_EQ(binomial.monomialCount(), 11u);
  EXPECT_EQ(binomial.monomialMatchingSignature(4, 6, 0)->coefficient(), 210.0);
  const ColumnMatrix column = binomial.standardColumnMatrixRepresentation();
  EXPECT_EQ(column.nRows(), 286u);
  EXPECT_EQ(ThreePolynomial::polynomialWithStandardColumnMatrixRepresentation(column), binomial);

  const ColumnMatrix four{2.0, 0.0, -1.0, 3.0};
  const ThreePolynomial small = ThreePolynomial::polynomialWithStandardColumnMatrixRepresentation(four);
  EXPECT_EQ(small.monomialCount(), 3u);
  EXPECT_FALSE(small.monomialMatchingSignature(1, 0, 0));
  EXPECT_EQ(small.monomialMatchingSignature(0, 1, 0)->coefficient(), -1.0);
  EXPECT_EQ(small.monomialMatchingSignature(0, 0, 1)->coefficient(), 3.0);
}

}  // namespace
}  // namespace orb::foundation
