#include "foundation/polynomial/TwoPolynomial.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orb::foundation {
namespace {

TEST(TwoPolynomialTest, MonomialIndexOrderAndIdentity) {
  const std::vector<std::pair<std::string, TwoMonomial>> graded = {
      {"S", {0, 0, 1}},   {"X", {1, 0, 1}},   {"Y", {0, 1, 1}},   {"XX", {2, 0, 1}}, {"XY", {1, 1, 1}},
      {"YY", {0, 2, 1}},  {"XXX", {3, 0, 1}}, {"XXY", {2, 1, 1}}, {"XYY", {1, 2, 1}}, {"YYY", {0, 3, 1}},
  };
  for (unsigned i = 0; i < graded.size(); ++i) {
    SCOPED_TRACE(graded[i].first);
    EXPECT_EQ(graded[i].second.index(), i);
    EXPECT_EQ(graded[i].second.xyDescription(), graded[i].first);
  }
  const TwoMonomial a(2, 1, 2.0);
  EXPECT_EQ(a, TwoMonomial(2, 1, -5.0));  // the coefficient takes no part
  EXPECT_EQ(a.description(), "[2][1](2)");
  const TwoMonomial ab = a.monomialByMultiplyingMonomial(TwoMonomial(0, 1, 3.0));
  EXPECT_EQ(ab.k(), (TwoMonomial::Exponents{2, 2}));
  EXPECT_EQ(ab.coefficient(), 6.0);
  EXPECT_FALSE(TwoMonomial(0, 3, 1.0).monomialByDifferentiatingCoordinate(0));
  const auto dy = a.monomialByDifferentiatingCoordinate(1);
  ASSERT_TRUE(dy);
  EXPECT_EQ(dy->k(), (TwoMonomial::Exponents{2, 0}));
  EXPECT_EQ(dy->coefficient(), 2.0);
  EXPECT_EQ(a.monomialByCyclicPermutationOfExponents().k(), (TwoMonomial::Exponents{1, 2}));
  TwoMonomial preset = a;
  preset.presetCoordinate(0, 3.0);
  EXPECT_EQ(preset.coefficient(), 18.0);
  EXPECT_EQ(preset.k(), a.k());
}

TEST(TwoPolynomialTest, AddingMergesAndCancels) {
  TwoPolynomial p;
  p.addMonomial(TwoMonomial(1, 0, 2.0));
  p.addMonomial(TwoMonomial(0, 0, 0.0));
  EXPECT_EQ(p.monomialCount(), 1u);
  p.addMonomial(TwoMonomial(1, 0, -2.0));
  EXPECT_TRUE(p.isZero());
  EXPECT_EQ(p.order(), 0u);
  EXPECT_EQ(p.orderOfCoordinate(1), 0u);
  EXPECT_EQ(p.sumOfCoefficients(), 0.0);
  EXPECT_EQ(p.at(2.0, 3.0), 0.0);

  TwoPolynomial q;
  q.addMonomial(TwoMonomial(0, 1, 1.0));
  q.addMonomial(TwoMonomial(1, 0, 1.0));
  q.addMonomial(TwoMonomial(0, 0, 1.0));
  const std::vector<TwoMonomial> ordered = q.monomialArray();
  ASSERT_EQ(ordered.size(), 3u);
  EXPECT_EQ(ordered[0].k(), (TwoMonomial::Exponents{0, 0}));
  EXPECT_EQ(ordered[1].k(), (TwoMonomial::Exponents{1, 0}));
  EXPECT_EQ(ordered[2].k(), (TwoMonomial::Exponents{0, 1}));
  q.subtractPolynomial(q);
  EXPECT_TRUE(q.isZero());

  TwoPolynomial r;
  r.addMonomial(TwoMonomial(2, 0, 0.5));
  r.addMonomial(TwoMonomial(0, 2, 0.25));
  r.zeroCoefficientsBelow(0.5);
  EXPECT_TRUE(r.monomialMatchingSignature(2, 0));
  EXPECT_FALSE(r.monomialMatchingSignature(0, 2));
}

TEST(TwoPolynomialTest, PowersProductsAndDerivatives) {
  TwoPolynomial sum;
  sum.addMonomial(TwoMonomial(1, 0, 1.0));
  sum.addMonomial(TwoMonomial(0, 1, 1.0));
  EXPECT_TRUE(sum.polynomialByRaisingToPower(3, 2).isZero());
  EXPECT_EQ(sum.polynomialByRaisingToPower(0, 2), TwoPolynomial::unitPolynomial());
  const TwoPolynomial cube = sum.polynomialByRaisingToPower(3, ~0u);
  ASSERT_EQ(cube.monomialCount(), 4u);
  EXPECT_EQ(cube.monomialMatchingSignature(3, 0)->coefficient(), 1.0);
  EXPECT_EQ(cube.monomialMatchingSignature(2, 1)->coefficient(), 3.0);
  EXPECT_EQ(cube.monomialMatchingSignature(1, 2)->coefficient(), 3.0);
  EXPECT_EQ(cube.monomialMatchingSignature(0, 3)->coefficient(), 1.0);

  // (x − 2y)(2x + 5y) = 2x² + xy − 10y²; truncated at order 1 nothing is left.
  TwoPolynomial a, b;
  a.addMonomial(TwoMonomial(1, 0, 1.0));
  a.addMonomial(TwoMonomial(0, 1, -2.0));
  b.addMonomial(TwoMonomial(1, 0, 2.0));
  b.addMonomial(TwoMonomial(0, 1, 5.0));
  const TwoPolynomial ab = a.polynomialByMultiplyingPolynomial(b);
  for (double x : {-1.5, 0.25, 2.0}) {
    for (double y : {-0.5, 3.0}) EXPECT_DOUBLE_EQ(ab.at(x, y), 2 * x * x + x * y - 10 * y * y);
  }
  EXPECT_TRUE(a.polynomialByMultiplyingPolynomial(b, 1).isZero());
  EXPECT_EQ(ab.order(), 2u);
  EXPECT_EQ(ab.orderOfCoordinate(0), 2u);

  // ∂/∂x and ∂/∂y of 2x² + xy − 10y² against the hand derivatives.
  const TwoPolynomial dx = ab.polynomialByDifferentiatingCoordinate(0);
  const TwoPolynomial dy = ab.polynomialByDifferentiatingCoordinate(1);
  EXPECT_DOUBLE_EQ(dx.at(1.5, -2.0), 4 * 1.5 - 2.0);
  EXPECT_DOUBLE_EQ(dy.at(1.5, -2.0), 1.5 + 40.0);
  EXPECT_TRUE(TwoPolynomial::unitPolynomial().polynomialByDifferentiatingCoordinate(1).isZero());

  const TwoPolynomial swapped = ab.polynomialByCyclicPermutation();
  EXPECT_DOUBLE_EQ(swapped.at(0.3, 1.7), ab.at(1.7, 0.3));
  TwoPolynomial preset = ab;
  preset.presetCoordinate(1, 2.0);
  EXPECT_DOUBLE_EQ(preset.sumOfCoefficients(), ab.at(1.0, 2.0));
}

}  // namespace
}  // namespace orb::foundation
