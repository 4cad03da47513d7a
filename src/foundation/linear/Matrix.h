#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/linear/VKSeries.h"

namespace orb::foundation {

/// The class a matrix answers, kept as a tag so that the result-class rules
/// survive copying and slicing: every `Matrix` value remembers whether it is a general,
/// column, row, square, mutable or symplectic matrix.
enum class MatrixClass { Matrix, ColumnMatrix, RowMatrix, SquareMatrix, MutableMatrix, SymplecticMatrix };

/// "Matrix", "ColumnMatrix", ... : the class's own name.
const char* matrixClassName(MatrixClass matrixClass);

class ColumnMatrix;
class RowMatrix;
class SquareMatrix;
class SymplecticMatrix;

/// The dense real matrix of the system: 4 × 4 transfer matrices of framed rays, normal
/// equations of the minimisers, images of the intensity and point-spread analyses.
///
/// Values: copying copies the elements. Storage is row-major, element (i, j) at
/// i · nCols + j. Dimensions never change after construction.
///
/// Bounds: `at` reads 0 outside the matrix and `atPut` ignores a position outside it, so
/// sums of matrices of different sizes and zero padding are well defined. Indices are
/// unsigned; a negative index converted to `std::size_t` is simply out of range.
///
/// Result classes: every operation that makes a new matrix gives it a class by the rules
/// `classForTranspose` and `classForProductWithClass` (or the receiver's class); the
/// subclasses below (`ColumnMatrix`, `RowMatrix`, `SquareMatrix`, `MutableMatrix`,
/// `SymplecticMatrix`) add no data, only constructors and operations, and convert from a
/// `Matrix` explicitly (e.g. `ColumnMatrix x(a.timesMatrix(b));`).
class Matrix {
 public:
  /// 0 × 0.
  Matrix() : Matrix(0, 0) {}
  /// rows × cols zeros.
  Matrix(std::size_t rows, std::size_t cols);
  /// rows × cols filled row-major from `rowMajorData` (rows · cols doubles).
  Matrix(std::size_t rows, std::size_t cols, const double* rowMajorData);
  /// rows × cols from a list of rows (missing elements 0, extra ones ignored).
  Matrix(std::size_t rows, std::size_t cols, std::initializer_list<std::initializer_list<double>> elements);

  // --- Making (class Matrix) --------------------------------------------------------
  static Matrix matrixWithDimensions(std::size_t rows, std::size_t cols) { return Matrix(rows, cols); }
  static Matrix matrixWithDimensions(std::size_t rows, std::size_t cols, const double* rowMajorData) {
    return Matrix(rows, cols, rowMajorData);
  }
  /// `initWithDimensions::carray:`: `rowPointers` holds `rows` pointers to `cols` doubles.
  static Matrix matrixWithCArray(std::size_t rows, std::size_t cols, const double* const* rowPointers);
  /// A copy with class Matrix.
  static Matrix matrixWithMatrix(const Matrix& other);
  /// `initWithMatrix:rows:cols:`: rows × cols with the other's elements at the same
  /// positions; positions outside the other read 0 (cut or zero-padded).
  static Matrix matrixWithMatrix(const Matrix& other, std::size_t rows, std::size_t cols);
  /// `initPaddedWithMatrix:`: 2p × 2q zeros, p and q the smallest powers of two not below
  /// the other's rows and cols (at least 1), the other copied into the top-left corner.
  /// 3 × 5 → 8 × 16, 4 × 4 → 8 × 8, 1 × 1 → 2 × 2.
  static Matrix paddedWithMatrix(const Matrix& other);
  /// n × n identity, always of class Matrix.
  static Matrix identityMatrixWithDimension(std::size_t n);

  // --- Access and description -------------------------------------------------------
  MatrixClass matrixClass() const { return m_class; }
  const char* className() const { return matrixClassName(m_class); }
  std::size_t nRows() const { return m_nRows; }
  std::size_t nCols() const { return m_nCols; }
  std::size_t numberOfElements() const { return m_nRows * m_nCols; }
  /// The element, or 0 outside the matrix.
  double at(std::size_t row, std::size_t col) const {
    return (row < m_nRows && col < m_nCols) ? m_storage[row * m_nCols + col] : 0.0;
  }
  /// Stores the element; a position outside the matrix is ignored.
  void atPut(std::size_t row, std::size_t col, double value) {
    if (row < m_nRows && col < m_nCols) m_storage[row * m_nCols + col] = value;
  }
  /// The contiguous row-major storage (nRows · nCols doubles).
  double* rowMajorStorage() { return m_storage.data(); }
  const double* rowMajorStorage() const { return m_storage.data(); }

  /// "ClassName rows*cols".
  std::string description() const;
  /// "[a b;c d]" with "%g" elements; "[]" without rows.
  std::string matlabDescription() const;
  /// The rows, each a vector of the row's elements.
  std::vector<std::vector<double>> array() const;
  /// Logs "%d : %d : %g" (row, column, value) per element.
  void dumpToLog() const;
  /// The same, only for elements whose absolute value exceeds `threshold`.
  void dumpToLogForSizeLargerThan(double threshold) const;
  /// One line per row, one character per element: "1" exactly 1, " " exactly 0 (and
  /// NaN), "~" other |x| < 0.001, "+" / "-" larger positive / negative.
  std::string sparsityPattern() const;
  /// `sparsityPattern` written to standard output.
  void printSparsityPattern() const;

  // --- Reductions -------------------------------------------------------------------
  /// Σ (i, i) for i below both dimensions.
  double trace() const;
  /// Σ of all elements; 0 when empty.
  double elementSum() const;
  /// The element (signed) of largest magnitude, the first in storage order among equals;
  /// NaN for an empty matrix.
  double elementOfLargestMagnitude() const;
  /// Sizes 1, 2, 3 by formula (row count decides); any other size NaN. A
  /// SymplecticMatrix answers 1 without computing.
  double determinant() const;
  /// Square and |max element of (Aᵀ·A − I)| < 1e-10.
  bool isUnitary() const;

  // --- Result classes -----------------------------------------------------------------
  /// Matrix and SquareMatrix (and the others) keep their class; Column ↔ Row.
  MatrixClass classForTranspose() const;
  /// ColumnMatrix when the right factor is a ColumnMatrix; else the receiver's class when
  /// both classes are equal; else Matrix. Symplectic × Symplectic stays Symplectic.
  MatrixClass classForProductWithClass(MatrixClass rightClass) const;

  // --- New matrices from operations -------------------------------------------------
  Matrix transpose() const;
  /// nRows × b.nCols, Σ over k below min(nCols, b.nRows); class by
  /// `classForProductWithClass`.
  Matrix timesMatrix(const Matrix& b) const;
  Matrix timesColumnMatrix(const Matrix& b) const { return timesMatrix(b); }
  /// `timesMatrix` as a ColumnMatrix.
  ColumnMatrix timesColumnVector(const Matrix& b) const;
  /// Element-wise product over the receiver's dimensions, receiver's class.
  Matrix hadamardProductWithMatrix(const Matrix& b) const;
  /// s · A, receiver's class.
  Matrix scaledBy(double s) const;
  /// s · A + t · B over A's dimensions, receiver's class.
  Matrix scaledByPlusMatrixScaledBy(double s, const Matrix& b, double t) const;
  /// A + t · B over A's dimensions, receiver's class.
  Matrix plusMatrixScaledBy(const Matrix& b, double t) const;
  /// A + B over the larger row and column counts (missing elements count 0).
  Matrix plusMatrix(const Matrix& b) const;
  /// A − B over the larger row and column counts.
  Matrix minusMatrix(const Matrix& b) const;
  /// 1 × nCols of column sums, receiver's class.
  Matrix sumAlongFirstDimension() const;
  VKSeries sumAlongFirstDimensionAsSeries() const;
  VKSeries sumAlongSecondDimensionAsSeries() const;
  /// The nCols elements of row i (zeros for a row outside).
  VKSeries seriesFromRow(std::size_t i) const;
  /// The nRows elements of column j.
  VKSeries seriesFromColumn(std::size_t j) const;
  /// General inverse through LAPACK dgetrf/dgetri, receiver's class. Raises
  /// "NSInternalInconsistencyException" "inverse requires a square matrix" when not
  /// square; a singular matrix logs "Call dgetrf error" and answers nothing. A
  /// SymplecticMatrix answers its symplectic inverse (no LAPACK call).
  std::optional<Matrix> inverse() const;

  // --- Diagonal slices (k a signed offset; positions the walk misses stay 0) ----------
  /// The diagonal from (k, 0) (k ≥ 0) or (0, −k), stored at 0, 1, 2, ...; logs
  /// "allocating for %lu elements".
  VKSeries seriesFromDiagonal(long k) const;
  /// The same walk, stored at the element's row (length nRows).
  VKSeries rowDiagonal(long k) const;
  /// The same walk, stored at the element's column (length nCols).
  VKSeries columnDiagonal(long k) const;
  /// The anti-diagonal row + column = k + min(nRows, nCols) − 1, stored by row.
  VKSeries rowSkewDiagonal(long k) const;
  /// The same anti-diagonal, stored by column.
  VKSeries columnSkewDiagonal(long k) const;
  /// Interpolated slices through a non-square matrix.
  VKSeries rowSoftDiagonal(long k) const;
  VKSeries columnSoftDiagonal(long k) const;
  VKSeries rowSoftSkewDiagonal(long k) const;
  VKSeries columnSoftSkewDiagonal(long k) const;

  // --- In place (the MutableMatrix operations; every matrix here is mutable) -------
  /// x → pow(x, p) for every element.
  void raiseElementsToPower(double p);
  /// x → s · x for every element.
  void scaleBy(double s);
  /// (i, j) += s · B(i, j) over the receiver's dimensions.
  void addMatrixScaledBy(const Matrix& b, double s);

  /// Same dimensions and elements (the class is not compared).
  friend bool operator==(const Matrix& a, const Matrix& b) {
    return a.m_nRows == b.m_nRows && a.m_nCols == b.m_nCols && a.m_storage == b.m_storage;
  }

 protected:
  Matrix(MatrixClass matrixClass, std::size_t rows, std::size_t cols);
  /// A copy of `other` answering `matrixClass`.
  Matrix(MatrixClass matrixClass, const Matrix& other);
  void setMatrixClass(MatrixClass matrixClass) { m_class = matrixClass; }
  /// The general LAPACK inverse (no symplectic shortcut).
  std::optional<Matrix> lapackInverse() const;

 private:
  MatrixClass m_class = MatrixClass::Matrix;
  std::size_t m_nRows = 0;
  std::size_t m_nCols = 0;
  std::vector<double> m_storage;
};

/// n × 1; single-index access reads row i of column 0.
class ColumnMatrix : public Matrix {
 public:
  ColumnMatrix() : ColumnMatrix(0) {}
  explicit ColumnMatrix(std::size_t n) : Matrix(MatrixClass::ColumnMatrix, n, 1) {}
  /// The elements of a series.
  explicit ColumnMatrix(const VKSeries& values);
  /// A copy of any matrix (its dimensions kept), answering ColumnMatrix.
  explicit ColumnMatrix(const Matrix& other) : Matrix(MatrixClass::ColumnMatrix, other) {}
  ColumnMatrix(std::initializer_list<double> values);

  static ColumnMatrix columnMatrixWithDimension(std::size_t n) { return ColumnMatrix(n); }

  double at(std::size_t i) const { return Matrix::at(i, 0); }
  void atPut(std::size_t i, double value) { Matrix::atPut(i, 0, value); }
  using Matrix::at;
  using Matrix::atPut;
  /// Σ A(i) · B(i) over the receiver's rows.
  double innerProductWithColumnMatrix(const ColumnMatrix& b) const;
  double dot(const ColumnMatrix& b) const { return innerProductWithColumnMatrix(b); }
  /// Column 0 as a series of nRows elements.
  VKSeries asSeries() const { return seriesFromColumn(0); }
};

/// 1 × n; single-index access reads column i of row 0.
class RowMatrix : public Matrix {
 public:
  RowMatrix() : RowMatrix(0) {}
  explicit RowMatrix(std::size_t n) : Matrix(MatrixClass::RowMatrix, 1, n) {}
  explicit RowMatrix(const Matrix& other) : Matrix(MatrixClass::RowMatrix, other) {}

  static RowMatrix rowMatrixWithDimension(std::size_t n) { return RowMatrix(n); }

  double at(std::size_t i) const { return Matrix::at(0, i); }
  void atPut(std::size_t i, double value) { Matrix::atPut(0, i, value); }
  using Matrix::at;
  using Matrix::atPut;
};

/// A matrix whose in-place operations the analyses use on images; the operations
/// themselves are on `Matrix`. Kept as a class for the result-class rules.
class MutableMatrix : public Matrix {
 public:
  MutableMatrix() : MutableMatrix(0, 0) {}
  MutableMatrix(std::size_t rows, std::size_t cols) : Matrix(MatrixClass::MutableMatrix, rows, cols) {}
  explicit MutableMatrix(const Matrix& other) : Matrix(MatrixClass::MutableMatrix, other) {}
};

/// n × n, with Cholesky factorisation, triangular solves and the symplectic tests.
class SquareMatrix : public Matrix {
 public:
  SquareMatrix() : SquareMatrix(0) {}
  /// n × n zeros.
  explicit SquareMatrix(std::size_t n) : Matrix(MatrixClass::SquareMatrix, n, n) {}
  /// n × n from a list of rows.
  SquareMatrix(std::size_t n, std::initializer_list<std::initializer_list<double>> elements);
  /// A copy of any matrix (its dimensions kept), answering SquareMatrix.
  explicit SquareMatrix(const Matrix& other) : Matrix(MatrixClass::SquareMatrix, other) {}

  static SquareMatrix matrixWithDimension(std::size_t n) { return SquareMatrix(n); }
  /// n × n identity of class SquareMatrix.
  static SquareMatrix identityMatrixWithDimension(std::size_t n);

  // --- Triangular forms and solves (n = nRows unknowns; zero pivots not guarded) ---
  /// Sets every element above the diagonal to 0.
  void makeLowerTriangular();
  /// Every element above the diagonal exactly 0 (NaN gives false); true without rows.
  bool isLowerTriangular() const;
  /// Lower triangular with every diagonal element exactly 1.
  bool isUnitLowerTriangular() const;
  /// Solves L·x = b with the receiver as lower triangular L.
  ColumnMatrix forwardSubstitute(const ColumnMatrix& b) const;
  /// Solves U·x = b with the receiver as upper triangular U.
  ColumnMatrix backSubstitute(const ColumnMatrix& b) const;
  /// Solves Lᵀ·x = b with the receiver as lower triangular L.
  ColumnMatrix transposeBackSubstitute(const ColumnMatrix& b) const;

  // --- Cholesky -----------------------------------------------------------------------
  /// L, lower triangular with zeros above the diagonal, L·Lᵀ = receiver (only the
  /// lower triangle is read); nothing when not square or a pivot is not positive.
  std::optional<SquareMatrix> choleskyDecomposition() const;
  /// The same in place: the lower triangle and diagonal become L, the upper triangle is
  /// left alone; false (receiver partly overwritten) on failure; true without rows.
  bool choleskyDecompose();
  /// x with receiver · x = b through L; nothing when the decomposition fails.
  std::optional<ColumnMatrix> choleskySolve(const ColumnMatrix& b) const;
  /// (Π Lᵢᵢ)²; NaN when there is no factorisation.
  double choleskyDeterminant() const;
  /// The 2 × 2 Cramer solution (no test of the determinant).
  ColumnMatrix twoByTwoCramerSolve(const ColumnMatrix& b) const;
  /// Self-test without caller: logs a 3 × 3 Cholesky solve step by step.
  static void testCholeskySolve();

  // --- Symplectic tests and projections (h = ⌊n / 2⌋) -------------------------------
  /// n × n J = [[0, I], [−I, 0]]; zeros when n < 2.
  SymplecticMatrix symplecticJ() const;
  /// [[Dᵀ, −Bᵀ], [−Cᵀ, Aᵀ]] in the receiver's class (M⁻¹ when M is symplectic).
  Matrix symplecticConjugate() const;
  /// The Cayley projection (I + V)(I − V)⁻¹, V = ½(W♯ − W), W = (I − M)(I + M)⁻¹;
  /// nothing when one of the inverses fails.
  std::optional<Matrix> symplecticPart() const;
  /// |largest element of Mᵀ·J·M − J|.
  double symplecticError() const;
  /// symplecticError < 1e-6.
  bool isSymplectic() const;

 protected:
  SquareMatrix(MatrixClass matrixClass, std::size_t n) : Matrix(matrixClass, n, n) {}
  SquareMatrix(MatrixClass matrixClass, const Matrix& other) : Matrix(matrixClass, other) {}
};

inline void PrintTo(const Matrix& m, std::ostream* os) { *os << m.description() << " " << m.matlabDescription(); }

}  // namespace orb::foundation

#include "foundation/linear/SymplecticMatrix.h"
