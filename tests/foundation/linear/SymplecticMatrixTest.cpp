#include "foundation/linear/SymplecticMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace orb::foundation {
namespace {

double maxDifference(const Matrix& a, const Matrix& b) { return std::fabs(a.minusMatrix(b).elementOfLargestMagnitude()); }

/// A symplectic 2h × 2h matrix: a product of shears [[I, S], [0, I]] and [[I, 0], [S, I]]
/// with random symmetric S, and a block [[A, 0], [0, A⁻ᵀ]].
SymplecticMatrix randomSymplectic(std::size_t h, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  const std::size_t n = 2 * h;
  SymplecticMatrix m = SymplecticMatrix::identityMatrixWithDimension(n);
  for (int round = 0; round < 3; ++round) {
    SymplecticMatrix upper = SymplecticMatrix::identityMatrixWithDimension(n);
    SymplecticMatrix lower = SymplecticMatrix::identityMatrixWithDimension(n);
    for (std::size_t i = 0; i < h; ++i)
      for (std::size_t j = i; j < h; ++j) {
        const double s = u(gen), t = u(gen);
        upper.atPut(i, h + j, s);
        upper.atPut(j, h + i, s);
        lower.atPut(h + i, j, t);
        lower.atPut(h + j, i, t);
      }
    m = SymplecticMatrix(m.timesMatrix(upper).timesMatrix(lower));
  }
  // [[A, 0], [0, A⁻ᵀ]] with A = I + small random.
  SquareMatrix a(h);
  for (std::size_t i = 0; i < h; ++i)
    for (std::size_t j = 0; j < h; ++j) a.atPut(i, j, (i == j ? 1.0 : 0.0) + 0.3 * u(gen));
  const Matrix aInvT = a.inverse()->transpose();
  SymplecticMatrix block(n);
  for (std::size_t i = 0; i < h; ++i)
    for (std::size_t j = 0; j < h; ++j) {
      block.atPut(i, j, a.at(i, j));
      block.atPut(h + i, h + j, aInvT.at(i, j));
    }
  return SymplecticMatrix(m.timesMatrix(block));
}

TEST(SymplecticMatrixTest, UnitMatrixJ) {
  const SymplecticMatrix j = SquareMatrix(4).symplecticJ();
  for (std::size_t r = 0; r < 4; ++r)
    for (std::size_t c = 0; c < 4; ++c) {
      double expected = 0;
      if (c == r + 2) expected = 1;
      if (r == c + 2) expected = -1;
      EXPECT_EQ(j.at(r, c), expected) << r << "," << c;
    }
  // Jᵀ·J·J = J, and J is its own conjugate's negative (J⁻¹ = −J).
  EXPECT_EQ(j.transpose().timesMatrix(j).timesMatrix(j), j);
  EXPECT_EQ(j.symplecticConjugate(), j.scaledBy(-1));
  EXPECT_EQ(j.symplecticConjugate().matrixClass(), MatrixClass::SymplecticMatrix);
  EXPECT_TRUE(j.isSymplectic());
  EXPECT_EQ(SquareMatrix(1).symplecticJ(), Matrix(1, 1));
}

TEST(SymplecticMatrixTest, Predicates) {
  const SquareMatrix id = SquareMatrix::identityMatrixWithDimension(4);
  EXPECT_EQ(id.symplecticConjugate(), id);
  EXPECT_TRUE(id.isSymplectic());
  EXPECT_DOUBLE_EQ(SquareMatrix(id.scaledBy(2)).symplecticError(), 3.0);
  EXPECT_FALSE(SquareMatrix(id.scaledBy(2)).isSymplectic());
}

TEST(SymplecticMatrixTest, ConjugateIsInverseOnTableOfSizes) {
  for (std::size_t h : {1u, 2u, 3u}) {
    for (unsigned seed : {1u, 2u, 3u}) {
      SCOPED_TRACE(testing::Message() << "h=" << h << " seed=" << seed);
      const SymplecticMatrix m = randomSymplectic(h, seed);
      const std::size_t n = 2 * h;
      ASSERT_LT(m.symplecticError(), 1e-12);
      const Matrix id = Matrix::identityMatrixWithDimension(n);
      EXPECT_LT(maxDifference(m.symplecticConjugate().timesMatrix(m), id), 1e-12);
      EXPECT_LT(maxDifference(m.symplecticInverse().timesMatrix(m), id), 1e-12);
      const std::optional<Matrix> inverse = m.inverse();  // the symplectic shortcut
      ASSERT_TRUE(inverse);
      EXPECT_EQ(inverse->matrixClass(), MatrixClass::SymplecticMatrix);
      EXPECT_LT(maxDifference(m.timesMatrix(*inverse), id), 1e-12);
      // The same through a Matrix value: the class tag picks the shortcut there too.
      const Matrix asMatrix = m;
      EXPECT_EQ(*asMatrix.inverse(), *inverse);
      // And it agrees with the general LAPACK inverse.
      EXPECT_LT(maxDifference(*SquareMatrix(m).inverse(), *inverse), 1e-10);
      // Symplectic × symplectic stays symplectic, in class and in fact.
      const Matrix product = m.timesMatrix(randomSymplectic(h, seed + 10));
      EXPECT_EQ(product.matrixClass(), MatrixClass::SymplecticMatrix);
      EXPECT_TRUE(SquareMatrix(product).isSymplectic());
      EXPECT_EQ(m.determinant(), 1.0);
    }
  }
}

TEST(SymplecticMatrixTest, SymplectifyProjects) {
  const SymplecticMatrix m = randomSymplectic(2, 7);
  SymplecticMatrix same = m;
  ASSERT_TRUE(same.symplectify());
  EXPECT_LT(maxDifference(same, m), 1e-12);
  // A perturbed matrix comes back symplectic and near where it was.
  SymplecticMatrix perturbed = m;
  perturbed.atPut(0, 1, perturbed.at(0, 1) + 1e-4);
  perturbed.atPut(3, 2, perturbed.at(3, 2) - 2e-4);
  EXPECT_GT(perturbed.symplecticError(), 1e-5);
  ASSERT_TRUE(perturbed.symplectify());
  EXPECT_LT(perturbed.symplecticError(), 1e-12);
  EXPECT_LT(maxDifference(perturbed, m), 1e-3);
}

TEST(SymplecticMatrixTest, NamedElements) {
  SymplecticMatrix m;
  for (std::size_t r = 0; r < 4; ++r)
    for (std::size_t c = 0; c < 4; ++c) m.atPut(r, c, double(10 * r + c));
  EXPECT_EQ(m.qyqx(), 32.0);
  EXPECT_EQ(m.qypy(), 31.0);
  EXPECT_EQ(m.pyqy(), 13.0);
  EXPECT_EQ(m.pxpx(), 0.0);
  EXPECT_EQ(m.qxpx(), 20.0);
  EXPECT_EQ(m.pxqy(), 3.0);
  EXPECT_EQ(m.qyqy(), 33.0);
  EXPECT_EQ(m.nRows(), 4u);
}

}  // namespace
}  // namespace orb::foundation
