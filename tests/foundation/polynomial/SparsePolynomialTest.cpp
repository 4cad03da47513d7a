#include "foundation/polynomial/SparsePolynomial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

TEST(SparsePolynomialTest, EmptyPolynomialIsTrivialZero) {
  const SparsePolynomial p;
  EXPECT_TRUE(p.isTrivial());
  EXPECT_EQ(p.evaluateAt(2.5), 0.0);
  EXPECT_EQ(p.evaluateGradientAt(2.5), 0.0);
  EXPECT_EQ(p.evaluateSecondGradientAt(2.5), 0.0);
  EXPECT_EQ(p.description(), "");
  EXPECT_EQ(p.coefficientForPower(3), 0.0);
}

TEST(SparsePolynomialTest, KeepsPowersDescendingAndZeroedTermsInPlace) {
  SparsePolynomial p;
  p.setCoefficient(0.0, 5);  // absent and zero: not stored
  p.setCoefficient(2.0, 2);
  p.setCoefficient(6.0, 6);
  p.setCoefficient(4.0, 4);
  EXPECT_EQ(p.powers(), (std::vector<int>{6, 4, 2}));
  EXPECT_EQ(p.description(), "6(6.000000e+00)4(4.000000e+00)2(2.000000e+00)");
  EXPECT_EQ(p.coefficientForPower(4), 4.0);

  p.setCoefficient(0.0, 4);
  EXPECT_EQ(p.powers(), (std::vector<int>{6, 4, 2}));
  EXPECT_FALSE(p.isTrivial());
  p.setCoefficient(-0.0, 6);
  p.setCoefficient(0.0, 2);
  EXPECT_TRUE(p.isTrivial());
  p.setCoefficient(NAN, 1);
  EXPECT_FALSE(p.isTrivial());
}

TEST(SparsePolynomialTest, ValueAndDerivativesOfDigitSequences) {
  SparsePolynomial p;
  for (int k = 1; k <= 9; ++k) p.setCoefficient(k, k);
  EXPECT_NEAR(p.evaluateAt(0.1), 0.123456789, 1e-15);
  EXPECT_EQ(p.evaluateAt(10.0), 9876543210.0);
  // Σ k²·x^(k−1) and Σ k²(k−1)·x^(k−2), by hand at x = 10 and x = 0.1.
  double first = 0.0, second = 0.0;
  for (int k = 1; k <= 9; ++k) {
    first += k * k * std::pow(0.1, k - 1);
    if (k >= 2) second += k * k * (k - 1) * std::pow(0.1, k - 2);
  }
  EXPECT_NEAR(p.evaluateGradientAt(0.1), first, 1e-14);
  EXPECT_NEAR(p.evaluateSecondGradientAt(0.1), second, 1e-13);

  SparsePolynomial line;
  line.setCoefficient(3.0, 1);
  line.setCoefficient(7.0, 0);
  EXPECT_EQ(line.evaluateAt(2.0), 13.0);
  EXPECT_EQ(line.evaluateGradientAt(2.0), 3.0);
  EXPECT_EQ(line.evaluateSecondGradientAt(2.0), 0.0);
}

TEST(SparsePolynomialTest, TruncatedExponentialAndFiniteDifferences) {
  SparsePolynomial p;
  double factorial = 1.0;
  for (int k = 0; k <= 20; ++k) {
    if (k > 0) factorial *= k;
    p.setCoefficient(1.0 / factorial, k);
  }
  for (double x : {1.0, -1.0}) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(p.evaluateAt(x), std::exp(x), 1e-15);
    EXPECT_NEAR(p.evaluateGradientAt(x), std::exp(x), 1e-15);
    EXPECT_NEAR(p.evaluateSecondGradientAt(x), std::exp(x), 1e-15);
  }

  // An asphere-like even polynomial with gaps: derivatives against central differences.
  SparsePolynomial sag;
  sag.setCoefficient(-3.2e-3, 4);
  sag.setCoefficient(0.05, 2);
  sag.setCoefficient(1.7e-6, 10);
  sag.setCoefficient(2.5e-5, 7);
  const double h = 1e-4;
  for (double x : {-2.0, -0.3, 0.0, 0.7, 1.9}) {
    SCOPED_TRACE(x);
    const double fd1 = (sag.evaluateAt(x + h) - sag.evaluateAt(x - h)) / (2 * h);
    const double fd2 = (sag.evaluateGradientAt(x + h) - sag.evaluateGradientAt(x - h)) / (2 * h);
    EXPECT_NEAR(sag.evaluateGradientAt(x), fd1, 1e-9);
    EXPECT_NEAR(sag.evaluateSecondGradientAt(x), fd2, 1e-9);
  }
}

}  // namespace
}  // namespace orb::foundation
