#include "foundation/linear/Matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "LogCapture.h"

namespace orb::foundation {
namespace {

/// |largest element of a − b|.
double maxDifference(const Matrix& a, const Matrix& b) { return std::fabs(a.minusMatrix(b).elementOfLargestMagnitude()); }

Matrix randomMatrix(std::size_t rows, std::size_t cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  Matrix m(rows, cols);
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j) m.atPut(i, j, u(gen));
  return m;
}

TEST(MatrixTest, ResultClassTable) {
  const Matrix general(2, 2);
  const ColumnMatrix column(2);
  const RowMatrix row(2);
  const SquareMatrix square(2);
  const SymplecticMatrix symplectic(2);
  const MutableMatrix mut(2, 2);
  struct Case {
    std::string name;
    const Matrix& left;
    const Matrix& right;
    MatrixClass expected;
  };
  const std::vector<Case> cases = {
      {"column x column", column, column, MatrixClass::ColumnMatrix},
      {"square x column", square, column, MatrixClass::ColumnMatrix},
      {"general x column", general, column, MatrixClass::ColumnMatrix},
      {"column x row", column, row, MatrixClass::Matrix},
      {"square x square", square, square, MatrixClass::SquareMatrix},
      {"square x general", square, general, MatrixClass::Matrix},
      {"general x square", general, square, MatrixClass::Matrix},
      {"symplectic x symplectic", symplectic, symplectic, MatrixClass::SymplecticMatrix},
      {"symplectic x square", symplectic, square, MatrixClass::Matrix},
      {"square x symplectic", square, symplectic, MatrixClass::Matrix},
      {"symplectic x column", symplectic, column, MatrixClass::ColumnMatrix},
      {"mutable x mutable", mut, mut, MatrixClass::MutableMatrix},
      {"general x general", general, general, MatrixClass::Matrix},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.left.timesMatrix(c.right).matrixClass(), c.expected);
    EXPECT_EQ(c.left.classForProductWithClass(c.right.matrixClass()), c.expected);
  }
  // Transpose swaps column and row; other classes keep theirs.
  EXPECT_EQ(column.transpose().matrixClass(), MatrixClass::RowMatrix);
  EXPECT_EQ(row.transpose().matrixClass(), MatrixClass::ColumnMatrix);
  EXPECT_EQ(ColumnMatrix(column.transpose().transpose()).matrixClass(), MatrixClass::ColumnMatrix);
  EXPECT_EQ(column.transpose().transpose().matrixClass(), MatrixClass::ColumnMatrix);
  EXPECT_EQ(square.transpose().matrixClass(), MatrixClass::SquareMatrix);
  EXPECT_EQ(general.transpose().matrixClass(), MatrixClass::Matrix);
  // The receiver's class for element operations; timesColumnVector is always a column.
  EXPECT_EQ(square.scaledBy(2).matrixClass(), MatrixClass::SquareMatrix);
  EXPECT_EQ(square.plusMatrix(general).matrixClass(), MatrixClass::SquareMatrix);
  EXPECT_EQ(general.timesColumnVector(general).matrixClass(), MatrixClass::ColumnMatrix);
  EXPECT_EQ(Matrix::identityMatrixWithDimension(3).matrixClass(), MatrixClass::Matrix);
  EXPECT_EQ(SquareMatrix::identityMatrixWithDimension(3).matrixClass(), MatrixClass::SquareMatrix);
  // The tag survives copying into a base value.
  const Matrix sliced = symplectic;
  EXPECT_EQ(sliced.matrixClass(), MatrixClass::SymplecticMatrix);
  EXPECT_EQ(column.transpose().description(), "RowMatrix 1*2");
}

TEST(MatrixTest, PaddingAndCutting) {
  Matrix m(3, 5);
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 5; ++j) m.atPut(i, j, double(10 * i + j + 1));
  const Matrix p = Matrix::paddedWithMatrix(m);
  ASSERT_EQ(p.nRows(), 8u);
  ASSERT_EQ(p.nCols(), 16u);
  for (std::size_t i = 0; i < 8; ++i)
    for (std::size_t j = 0; j < 16; ++j) EXPECT_EQ(p.at(i, j), (i < 3 && j < 5) ? m.at(i, j) : 0.0) << i << "," << j;
  EXPECT_EQ(Matrix::paddedWithMatrix(Matrix(4, 4)).nRows(), 8u);
  EXPECT_EQ(Matrix::paddedWithMatrix(Matrix(1, 1)).nCols(), 2u);
  EXPECT_EQ(Matrix::paddedWithMatrix(Matrix(0, 0)).nRows(), 2u);
  // Cut back to the original.
  EXPECT_EQ(Matrix::matrixWithMatrix(p, 3, 5), m);
}

TEST(MatrixTest, OutOfBoundsReadsZeroAndIgnoresWrites) {
  Matrix m(2, 2, {{1, 2}, {3, 4}});
  EXPECT_EQ(m.at(5, 0), 0.0);
  EXPECT_EQ(m.at(0, 2), 0.0);
  EXPECT_EQ(m.at(std::size_t(-1), 0), 0.0);
  m.atPut(5, 0, 9);
  m.atPut(0, 2, 9);
  EXPECT_EQ(m, Matrix(2, 2, {{1, 2}, {3, 4}}));
  // Mixed sizes: sums span the larger dimensions, products the common inner range.
  const Matrix a(2, 3, {{1, 2, 3}, {4, 5, 6}});
  const Matrix b(3, 2, {{1, 1}, {1, 1}, {1, 1}});
  const Matrix sum = a.plusMatrix(b);
  EXPECT_EQ(sum.nRows(), 3u);
  EXPECT_EQ(sum.nCols(), 3u);
  EXPECT_EQ(sum.at(2, 2), 0.0);
  EXPECT_EQ(sum.at(0, 2), 3.0);
  EXPECT_EQ(sum.at(2, 0), 1.0);
  const Matrix product = a.timesMatrix(Matrix(2, 2, {{1, 0}, {0, 1}}));  // k < 2 only
  EXPECT_EQ(product, Matrix(2, 2, {{1, 2}, {4, 5}}));
}

TEST(MatrixTest, ReductionsAndDescriptions) {
  const Matrix m(2, 2, {{-5, 1}, {5, 2}});
  EXPECT_EQ(m.elementOfLargestMagnitude(), -5.0);  // first among equal magnitudes
  EXPECT_EQ(m.trace(), -3.0);
  EXPECT_EQ(m.elementSum(), 3.0);
  EXPECT_EQ(m.determinant(), -15.0);
  EXPECT_DOUBLE_EQ(Matrix(3, 3, {{2, 0, 1}, {1, 3, 2}, {1, 1, 2}}).determinant(), 6.0);
  EXPECT_TRUE(std::isnan(Matrix::identityMatrixWithDimension(4).determinant()));
  EXPECT_EQ(m.matlabDescription(), "[-5 1;5 2]");
  EXPECT_EQ(Matrix().matlabDescription(), "[]");
  EXPECT_EQ(Matrix(2, 2, {{1, 0}, {0.0005, -2}}).sparsityPattern(), "1 \n~-\n");
  EXPECT_TRUE(Matrix(2, 2, {{0, 1}, {-1, 0}}).isUnitary());
  EXPECT_FALSE(m.isUnitary());
  EXPECT_FALSE(Matrix(2, 3).isUnitary());
  EXPECT_EQ(m.sumAlongFirstDimensionAsSeries().array(), (std::vector<double>{0, 3}));
  EXPECT_EQ(m.sumAlongSecondDimensionAsSeries().array(), (std::vector<double>{-4, 7}));
  EXPECT_EQ(m.sumAlongFirstDimension(), Matrix(1, 2, {{0, 3}}));
}

TEST(MatrixTest, InPlaceOperations) {
  MutableMatrix m(Matrix(2, 2, {{1, 2}, {3, 4}}));
  m.raiseElementsToPower(2);
  EXPECT_EQ(m, Matrix(2, 2, {{1, 4}, {9, 16}}));
  m.scaleBy(0.5);
  m.addMatrixScaledBy(Matrix(1, 1, {{2}}), 2);  // missing elements of the other read 0
  EXPECT_EQ(m, Matrix(2, 2, {{4.5, 2}, {4.5, 8}}));
  EXPECT_EQ(m.matrixClass(), MatrixClass::MutableMatrix);
}

TEST(MatrixTest, DiagonalSlices) {
  const Matrix m(3, 3, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  orb::test::LogCapture capture;
  const VKSeries upper = m.seriesFromDiagonal(-1);
  const std::string log = capture.text();
  EXPECT_EQ(upper.array(), (std::vector<double>{2, 6}));
  EXPECT_NE(log.find("allocating for 2 elements"), std::string::npos) << log;
  EXPECT_EQ(m.rowDiagonal(1).array(), (std::vector<double>{0, 4, 8}));
  EXPECT_EQ(m.columnDiagonal(1).array(), (std::vector<double>{4, 8, 0}));
  EXPECT_EQ(m.rowSkewDiagonal(0).array(), (std::vector<double>{3, 5, 7}));
  EXPECT_EQ(m.rowSkewDiagonal(-1).array(), (std::vector<double>{2, 4, 0}));
  EXPECT_EQ(m.columnSkewDiagonal(1).array(), (std::vector<double>{0, 8, 6}));
  // On a square matrix the soft diagonals are the plain ones.
  EXPECT_EQ(m.rowSoftDiagonal(0).array(), (std::vector<double>{1, 5, 9}));
  EXPECT_EQ(m.columnSoftDiagonal(0).array(), (std::vector<double>{1, 5, 9}));
  EXPECT_EQ(m.rowSoftSkewDiagonal(0).array(), (std::vector<double>{3, 5, 7}));
  EXPECT_EQ(m.columnSoftSkewDiagonal(0).array(), (std::vector<double>{7, 5, 3}));
  // 3 × 5: the main soft diagonal reads columns 0, 2, 4; a 5 × 3 one interpolates.
  const Matrix wide(3, 5, {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, {11, 12, 13, 14, 15}});
  EXPECT_EQ(wide.rowSoftDiagonal(0).array(), (std::vector<double>{1, 8, 15}));
  EXPECT_EQ(wide.transpose().columnSoftDiagonal(0).array(), (std::vector<double>{1, 8, 15}));
  const VKSeries across = wide.columnSoftDiagonal(0);  // rows 0, 0.5, 1, 1.5, 2
  EXPECT_EQ(across.array(), (std::vector<double>{1, 4.5, 8, 11.5, 15}));
}

TEST(MatrixTest, Cholesky) {
  const SquareMatrix a(2, {{4, 2}, {2, 3}});
  const std::optional<SquareMatrix> l = a.choleskyDecomposition();
  ASSERT_TRUE(l);
  EXPECT_EQ(l->at(0, 0), 2.0);
  EXPECT_EQ(l->at(0, 1), 0.0);
  EXPECT_EQ(l->at(1, 0), 1.0);
  EXPECT_DOUBLE_EQ(l->at(1, 1), std::sqrt(2.0));
  EXPECT_TRUE(l->isLowerTriangular());
  EXPECT_FALSE(l->isUnitLowerTriangular());
  EXPECT_DOUBLE_EQ(a.choleskyDeterminant(), 8.0);
  EXPECT_FALSE(SquareMatrix(2, {{1, 2}, {2, 1}}).choleskyDecomposition());
  EXPECT_FALSE(SquareMatrix(Matrix(2, 3)).choleskyDecomposition());

  // In place: the upper triangle is left as it was.
  SquareMatrix inPlace = a;
  ASSERT_TRUE(inPlace.choleskyDecompose());
  EXPECT_EQ(inPlace.at(0, 1), 2.0);
  inPlace.makeLowerTriangular();
  EXPECT_EQ(inPlace, *l);
  SquareMatrix indefinite(2, {{1, 2}, {2, 1}});
  EXPECT_FALSE(indefinite.choleskyDecompose());
  EXPECT_TRUE(SquareMatrix(0).choleskyDecompose());

  // Solve on a table of sizes: M = Bᵀ·B + n·I is positive definite.
  for (std::size_t n : {1u, 2u, 3u, 7u, 20u}) {
    SCOPED_TRACE(n);
    const Matrix b = randomMatrix(n, n, unsigned(n));
    const SquareMatrix m(b.transpose().timesMatrix(b).plusMatrix(Matrix::identityMatrixWithDimension(n).scaledBy(double(n))));
    ColumnMatrix rhs(n);
    for (std::size_t i = 0; i < n; ++i) rhs.atPut(i, double(i) - 1.5);
    const std::optional<ColumnMatrix> x = m.choleskySolve(rhs);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->matrixClass(), MatrixClass::ColumnMatrix);
    EXPECT_LT(maxDifference(m.timesMatrix(*x), rhs), 1e-12);
  }
  const ColumnMatrix cramer = SquareMatrix(2, {{2, 1}, {1, 3}}).twoByTwoCramerSolve(ColumnMatrix{3, 5});
  EXPECT_DOUBLE_EQ(cramer.at(0), 0.8);
  EXPECT_DOUBLE_EQ(cramer.at(1), 1.4);
  EXPECT_DOUBLE_EQ((ColumnMatrix{1, 2, 3}.dot(ColumnMatrix{4, 5, 6})), 32.0);
}

TEST(MatrixTest, TriangularSolves) {
  const SquareMatrix lower(3, {{2, 0, 0}, {1, 3, 0}, {4, -1, 5}});
  const ColumnMatrix b{2, 7, 13};
  EXPECT_LT(maxDifference(lower.timesMatrix(lower.forwardSubstitute(b)), b), 1e-14);
  const SquareMatrix upper(lower.transpose());
  EXPECT_LT(maxDifference(upper.timesMatrix(upper.backSubstitute(b)), b), 1e-14);
  EXPECT_LT(maxDifference(upper.timesMatrix(lower.transposeBackSubstitute(b)), b), 1e-14);
}

TEST(MatrixTest, InverseTimesMatrixIsIdentityOnTableOfSizes) {
  for (std::size_t n : {1u, 2u, 3u, 4u, 10u, 50u}) {
    SCOPED_TRACE(n);
    const SquareMatrix a(randomMatrix(n, n, 100 + unsigned(n)).plusMatrix(Matrix::identityMatrixWithDimension(n).scaledBy(2)));
    const std::optional<Matrix> inverse = a.inverse();
    ASSERT_TRUE(inverse);
    EXPECT_EQ(inverse->matrixClass(), MatrixClass::SquareMatrix);
    EXPECT_LT(maxDifference(inverse->timesMatrix(a), Matrix::identityMatrixWithDimension(n)), 1e-12);
    EXPECT_LT(maxDifference(a.timesMatrix(*inverse), Matrix::identityMatrixWithDimension(n)), 1e-12);
  }
  // A non-symmetric small case checked by hand: [[1, 2], [3, 4]]⁻¹ = [[−2, 1], [1.5, −0.5]].
  const std::optional<Matrix> small = Matrix(2, 2, {{1, 2}, {3, 4}}).inverse();
  ASSERT_TRUE(small);
  EXPECT_LT(maxDifference(*small, Matrix(2, 2, {{-2, 1}, {1.5, -0.5}})), 1e-15);
}

TEST(MatrixTest, InverseFailures) {
  orb::test::LogCapture capture;
  const std::optional<Matrix> singular = Matrix(3, 3, {{1, 2, 3}, {2, 4, 6}, {0, 0, 1}}).inverse();
  const std::string log = capture.text();
  EXPECT_FALSE(singular);
  EXPECT_NE(log.find("Call dgetrf error"), std::string::npos) << log;
  try {
    (void)Matrix(3, 2).inverse();
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
    EXPECT_EQ(e.reason(), "inverse requires a square matrix");
  }
}

}  // namespace
}  // namespace orb::foundation
