#include "foundation/linear/Matrix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>

#include "platform/Exception.h"
#include "platform/Log.h"

// LAPACK (Fortran calling convention: every argument by address).
extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work, const int* lwork, int* info);
}

namespace orb::foundation {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::size_t smallestPowerOfTwoNotBelow(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace

const char* matrixClassName(MatrixClass matrixClass) {
  switch (matrixClass) {
    case MatrixClass::Matrix: return "Matrix";
    case MatrixClass::ColumnMatrix: return "ColumnMatrix";
    case MatrixClass::RowMatrix: return "RowMatrix";
    case MatrixClass::SquareMatrix: return "SquareMatrix";
    case MatrixClass::MutableMatrix: return "MutableMatrix";
    case MatrixClass::SymplecticMatrix: return "SymplecticMatrix";
  }
  return "Matrix";
}

// ---------------------------------------------------------------------------------------
// Making

Matrix::Matrix(MatrixClass matrixClass, std::size_t rows, std::size_t cols)
    : m_class(matrixClass), m_nRows(rows), m_nCols(cols), m_storage(rows * cols, 0.0) {}

Matrix::Matrix(MatrixClass matrixClass, const Matrix& other)
    : m_class(matrixClass), m_nRows(other.m_nRows), m_nCols(other.m_nCols), m_storage(other.m_storage) {}

Matrix::Matrix(std::size_t rows, std::size_t cols) : Matrix(MatrixClass::Matrix, rows, cols) {}

Matrix::Matrix(std::size_t rows, std::size_t cols, const double* rowMajorData) : Matrix(rows, cols) {
  std::copy(rowMajorData, rowMajorData + rows * cols, m_storage.begin());
}

Matrix::Matrix(std::size_t rows, std::size_t cols, std::initializer_list<std::initializer_list<double>> elements)
    : Matrix(rows, cols) {
  std::size_t i = 0;
  for (const auto& row : elements) {
    std::size_t j = 0;
    for (double v : row) atPut(i, j++, v);
    ++i;
  }
}

Matrix Matrix::matrixWithCArray(std::size_t rows, std::size_t cols, const double* const* rowPointers) {
  Matrix m(rows, cols);
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j) m.atPut(i, j, rowPointers[i][j]);
  return m;
}

Matrix Matrix::matrixWithMatrix(const Matrix& other) { return Matrix(MatrixClass::Matrix, other); }

Matrix Matrix::matrixWithMatrix(const Matrix& other, std::size_t rows, std::size_t cols) {
  Matrix m(rows, cols);
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j) m.atPut(i, j, other.at(i, j));
  return m;
}

Matrix Matrix::paddedWithMatrix(const Matrix& other) {
  const std::size_t p = smallestPowerOfTwoNotBelow(other.nRows());
  const std::size_t q = smallestPowerOfTwoNotBelow(other.nCols());
  Matrix m(2 * p, 2 * q);
  for (std::size_t i = 0; i < other.nRows(); ++i)
    for (std::size_t j = 0; j < other.nCols(); ++j) m.atPut(i, j, other.at(i, j));
  return m;
}

Matrix Matrix::identityMatrixWithDimension(std::size_t n) {
  Matrix m(n, n);
  for (std::size_t i = 0; i < n; ++i) m.atPut(i, i, 1.0);
  return m;
}

// ---------------------------------------------------------------------------------------
// Description

std::string Matrix::description() const {
  return platform::format("%s %zu*%zu", className(), m_nRows, m_nCols);
}

std::string Matrix::matlabDescription() const {
  std::string s = "[";
  for (std::size_t i = 0; i < m_nRows; ++i) {
    if (i) s += ";";
    for (std::size_t j = 0; j < m_nCols; ++j) {
      if (j) s += " ";
      s += platform::format("%g", at(i, j));
    }
  }
  return s + "]";
}

std::vector<std::vector<double>> Matrix::array() const {
  std::vector<std::vector<double>> rows(m_nRows, std::vector<double>(m_nCols));
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) rows[i][j] = at(i, j);
  return rows;
}

void Matrix::dumpToLog() const {
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) platform::log("%d : %d : %g", int(i), int(j), at(i, j));
}

void Matrix::dumpToLogForSizeLargerThan(double threshold) const {
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j)
      if (std::fabs(at(i, j)) > threshold) platform::log("%d : %d : %g", int(i), int(j), at(i, j));
}

std::string Matrix::sparsityPattern() const {
  std::string s;
  for (std::size_t i = 0; i < m_nRows; ++i) {
    for (std::size_t j = 0; j < m_nCols; ++j) {
      const double x = at(i, j);
      char c = ' ';
      if (x == 1.0) c = '1';
      else if (x == 0.0 || std::isnan(x)) c = ' ';
      else if (std::fabs(x) < 0.001) c = '~';
      else if (x > 0) c = '+';
      else c = '-';
      s += c;
    }
    s += '\n';
  }
  return s;
}

void Matrix::printSparsityPattern() const {
  const std::string s = sparsityPattern();
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------
// Reductions

double Matrix::trace() const {
  double sum = 0;
  const std::size_t n = std::min(m_nRows, m_nCols);
  for (std::size_t i = 0; i < n; ++i) sum += at(i, i);
  return sum;
}

double Matrix::elementSum() const {
  double sum = 0;
  for (double v : m_storage) sum += v;
  return sum;
}

double Matrix::elementOfLargestMagnitude() const {
  if (m_storage.empty()) return kNaN;
  double best = m_storage[0];
  for (double v : m_storage)
    if (std::fabs(v) > std::fabs(best)) best = v;
  return best;
}

double Matrix::determinant() const {
  if (m_class == MatrixClass::SymplecticMatrix) return 1.0;
  switch (m_nRows) {
    case 1: return at(0, 0);
    case 2: return at(0, 0) * at(1, 1) - at(0, 1) * at(1, 0);
    case 3:
      return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
             at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
             at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
    default: return kNaN;
  }
}

bool Matrix::isUnitary() const {
  if (m_nRows != m_nCols) return false;
  if (m_nRows == 0) return true;
  const Matrix e = transpose().timesMatrix(*this).minusMatrix(identityMatrixWithDimension(m_nRows));
  return std::fabs(e.elementOfLargestMagnitude()) < 1e-10;
}

// ---------------------------------------------------------------------------------------
// Result classes

MatrixClass Matrix::classForTranspose() const {
  if (m_class == MatrixClass::ColumnMatrix) return MatrixClass::RowMatrix;
  if (m_class == MatrixClass::RowMatrix) return MatrixClass::ColumnMatrix;
  return m_class;
}

MatrixClass Matrix::classForProductWithClass(MatrixClass rightClass) const {
  if (rightClass == MatrixClass::ColumnMatrix) return MatrixClass::ColumnMatrix;
  if (rightClass == m_class) return m_class;  // includes Symplectic × Symplectic
  return MatrixClass::Matrix;
}

// ---------------------------------------------------------------------------------------
// New matrices

Matrix Matrix::transpose() const {
  Matrix t(classForTranspose(), m_nCols, m_nRows);
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) t.atPut(j, i, at(i, j));
  return t;
}

Matrix Matrix::timesMatrix(const Matrix& b) const {
  Matrix p(classForProductWithClass(b.m_class), m_nRows, b.m_nCols);
  const std::size_t inner = std::min(m_nCols, b.m_nRows);
  if (inner == 0) return p;
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < b.m_nCols; ++j) {
      double sum = 0;
      for (std::size_t k = 0; k < inner; ++k) sum += at(i, k) * b.at(k, j);
      p.atPut(i, j, sum);
    }
  return p;
}

ColumnMatrix Matrix::timesColumnVector(const Matrix& b) const { return ColumnMatrix(timesMatrix(b)); }

Matrix Matrix::hadamardProductWithMatrix(const Matrix& b) const {
  Matrix r(m_class, m_nRows, m_nCols);
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) r.atPut(i, j, at(i, j) * b.at(i, j));
  return r;
}

Matrix Matrix::scaledBy(double s) const {
  Matrix r(m_class, m_nRows, m_nCols);
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) r.atPut(i, j, s * at(i, j));
  return r;
}

Matrix Matrix::scaledByPlusMatrixScaledBy(double s, const Matrix& b, double t) const {
  Matrix r(m_class, m_nRows, m_nCols);
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) r.atPut(i, j, s * at(i, j) + t * b.at(i, j));
  return r;
}

Matrix Matrix::plusMatrixScaledBy(const Matrix& b, double t) const {
  Matrix r(m_class, m_nRows, m_nCols);
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) r.atPut(i, j, at(i, j) + t * b.at(i, j));
  return r;
}

Matrix Matrix::plusMatrix(const Matrix& b) const {
  const std::size_t rows = std::max(m_nRows, b.m_nRows), cols = std::max(m_nCols, b.m_nCols);
  Matrix r(m_class, rows, cols);
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j) r.atPut(i, j, at(i, j) + b.at(i, j));
  return r;
}

Matrix Matrix::minusMatrix(const Matrix& b) const {
  const std::size_t rows = std::max(m_nRows, b.m_nRows), cols = std::max(m_nCols, b.m_nCols);
  Matrix r(m_class, rows, cols);
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j) r.atPut(i, j, at(i, j) - b.at(i, j));
  return r;
}

Matrix Matrix::sumAlongFirstDimension() const {
  Matrix r(m_class, 1, m_nCols);
  for (std::size_t j = 0; j < m_nCols; ++j) {
    double sum = 0;
    for (std::size_t i = 0; i < m_nRows; ++i) sum += at(i, j);
    r.atPut(0, j, sum);
  }
  return r;
}

VKSeries Matrix::sumAlongFirstDimensionAsSeries() const {
  VKSeries s(m_nCols);
  for (std::size_t j = 0; j < m_nCols; ++j) {
    double sum = 0;
    for (std::size_t i = 0; i < m_nRows; ++i) sum += at(i, j);
    s.atPut(j, sum);
  }
  return s;
}

VKSeries Matrix::sumAlongSecondDimensionAsSeries() const {
  VKSeries s(m_nRows);
  for (std::size_t i = 0; i < m_nRows; ++i) {
    double sum = 0;
    for (std::size_t j = 0; j < m_nCols; ++j) sum += at(i, j);
    s.atPut(i, sum);
  }
  return s;
}

VKSeries Matrix::seriesFromRow(std::size_t i) const {
  VKSeries s(m_nCols);
  for (std::size_t j = 0; j < m_nCols; ++j) s.atPut(j, at(i, j));
  return s;
}

VKSeries Matrix::seriesFromColumn(std::size_t j) const {
  VKSeries s(m_nRows);
  for (std::size_t i = 0; i < m_nRows; ++i) s.atPut(i, at(i, j));
  return s;
}

std::optional<Matrix> Matrix::inverse() const {
  if (m_class == MatrixClass::SymplecticMatrix) {
    if (m_nRows != m_nCols)
      platform::Exception::raise("NSInternalInconsistencyException", "inverse requires a square matrix");
    return Matrix(SymplecticMatrix(*this).symplecticInverse());
  }
  return lapackInverse();
}

std::optional<Matrix> Matrix::lapackInverse() const {
  if (m_nRows != m_nCols)
    platform::Exception::raise("NSInternalInconsistencyException", "inverse requires a square matrix");
  const int n = static_cast<int>(m_nRows);
  if (n == 0) return Matrix(m_class, 0, 0);
  std::vector<int> ipiv;
  std::vector<double> a;
  try {
    ipiv.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    platform::Exception::raise("NSInternalInconsistencyException", "malloc failure (ipiv)\n");
  }
  try {
    a.resize(m_storage.size());
  } catch (const std::bad_alloc&) {
    platform::Exception::raise("NSInternalInconsistencyException", "malloc failure (a)\n");
  }
  // Column-major copy, as LAPACK expects: element (i, j) at i + j · n.
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) a[i + j * m_nRows] = at(i, j);

  int info = 0;
  dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
  if (info != 0) {
    platform::log("Call dgetrf error");
    return std::nullopt;
  }
  int lwork = -1;
  double optimal = 0;
  dgetri_(&n, a.data(), &n, ipiv.data(), &optimal, &lwork, &info);
  lwork = std::max(1, static_cast<int>(optimal));
  std::vector<double> work;
  try {
    work.resize(static_cast<std::size_t>(lwork));
  } catch (const std::bad_alloc&) {
    platform::log("work malloc error");
    return std::nullopt;
  }
  dgetri_(&n, a.data(), &n, ipiv.data(), work.data(), &lwork, &info);
  if (info != 0) {
    platform::log("Call dgetri error");
    return std::nullopt;
  }
  Matrix r(m_class, m_nRows, m_nCols);
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) r.atPut(i, j, a[i + j * m_nRows]);
  return r;
}

// ---------------------------------------------------------------------------------------
// Diagonal slices

VKSeries Matrix::seriesFromDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  long r0 = k >= 0 ? k : 0, c0 = k >= 0 ? 0 : -k;
  long length = 0;
  if (r0 < m && c0 < n) length = std::min(m - r0, n - c0);
  platform::log("allocating for %lu elements", static_cast<unsigned long>(length));
  VKSeries s(static_cast<std::size_t>(length));
  for (long t = 0; t < length; ++t) s.atPut(std::size_t(t), at(std::size_t(r0 + t), std::size_t(c0 + t)));
  return s;
}

VKSeries Matrix::rowDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nRows);
  for (long r = k >= 0 ? k : 0, c = k >= 0 ? 0 : -k; r < m && c < n; ++r, ++c)
    s.atPut(std::size_t(r), at(std::size_t(r), std::size_t(c)));
  return s;
}

VKSeries Matrix::columnDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nCols);
  for (long r = k >= 0 ? k : 0, c = k >= 0 ? 0 : -k; r < m && c < n; ++r, ++c)
    s.atPut(std::size_t(c), at(std::size_t(r), std::size_t(c)));
  return s;
}

VKSeries Matrix::rowSkewDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nRows);
  if (m == 0 || n == 0) return s;
  const long d = k + std::min(m, n) - 1;
  if (d < 0) return s;
  for (long r = std::min(d, m - 1), c = d - r; r >= 0 && c < n; --r, ++c)
    s.atPut(std::size_t(r), at(std::size_t(r), std::size_t(c)));
  return s;
}

VKSeries Matrix::columnSkewDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nCols);
  if (m == 0 || n == 0) return s;
  const long d = k + std::min(m, n) - 1;
  if (d < 0) return s;
  for (long r = std::min(d, m - 1), c = d - r; r >= 0 && c < n; --r, ++c)
    s.atPut(std::size_t(c), at(std::size_t(r), std::size_t(c)));
  return s;
}

namespace {

/// M(r, x) interpolated between columns ⌊x⌋ and ⌊x⌋ + 1 (x ≥ 0).
double interpolateAlongRow(const Matrix& m, long r, double x) {
  const long n = static_cast<long>(m.nCols());
  const long c0 = static_cast<long>(std::floor(x));
  double v = 0;
  if (c0 < n) v += m.at(std::size_t(r), std::size_t(c0)) * (double(c0) + 1 - x);
  if (c0 + 1 < n) v += m.at(std::size_t(r), std::size_t(c0 + 1)) * (x - double(c0));
  return v;
}

/// M(y, c) interpolated between rows ⌊y⌋ and ⌊y⌋ + 1 (y ≥ 0).
double interpolateAlongColumn(const Matrix& m, double y, long c) {
  const long rows = static_cast<long>(m.nRows());
  const long r0 = static_cast<long>(std::floor(y));
  double v = 0;
  if (r0 < rows) v += m.at(std::size_t(r0), std::size_t(c)) * (double(r0) + 1 - y);
  if (r0 + 1 < rows) v += m.at(std::size_t(r0 + 1), std::size_t(c)) * (y - double(r0));
  return v;
}

}  // namespace

VKSeries Matrix::rowSoftDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nRows);
  const double slope = double(n - 1) / double(m - 1);
  for (long r = std::max(k, 0L); r < m; ++r) {
    const double x = double(r - k) * slope;
    if (!(x <= double(n - 1))) break;
    s.atPut(std::size_t(r), interpolateAlongRow(*this, r, x));
  }
  return s;
}

VKSeries Matrix::columnSoftDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nCols);
  if (n == 0 || (k < 0 && -k >= n)) return s;
  const double slope = double(m - 1) / double(n - 1);
  long t = std::max(k, 0L), c = t - k;
  for (;;) {
    const double y = double(t) * slope;
    if (!(y <= double(m - 1))) break;
    s.atPut(std::size_t(c), interpolateAlongColumn(*this, y, c));
    if (c + 1 >= n) break;
    ++t;
    ++c;
  }
  return s;
}

VKSeries Matrix::rowSoftSkewDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nRows);
  const double slope = double(n - 1) / double(m - 1);
  for (long r = 0; r < m; ++r) {
    const double x = double(m - 1 + k - r) * slope;
    if (x < 0) break;
    if (x <= double(n - 1)) s.atPut(std::size_t(r), interpolateAlongRow(*this, r, x));
    if (r == m - 1 + k) break;
  }
  return s;
}

VKSeries Matrix::columnSoftSkewDiagonal(long k) const {
  const long m = static_cast<long>(m_nRows), n = static_cast<long>(m_nCols);
  VKSeries s(m_nCols);
  const double slope = double(m - 1) / double(n - 1);
  for (long c = 0; c < n; ++c) {
    const double y = double(n - 1 + k - c) * slope;
    if (y < 0) break;
    if (y <= double(m - 1)) s.atPut(std::size_t(c), interpolateAlongColumn(*this, y, c));
    if (c == n - 1 + k) break;
  }
  return s;
}

// ---------------------------------------------------------------------------------------
// In place

void Matrix::raiseElementsToPower(double p) {
  for (double& v : m_storage) v = std::pow(v, p);
}

void Matrix::scaleBy(double s) {
  for (double& v : m_storage) v *= s;
}

void Matrix::addMatrixScaledBy(const Matrix& b, double s) {
  for (std::size_t i = 0; i < m_nRows; ++i)
    for (std::size_t j = 0; j < m_nCols; ++j) m_storage[i * m_nCols + j] += s * b.at(i, j);
}

// ---------------------------------------------------------------------------------------
// ColumnMatrix

ColumnMatrix::ColumnMatrix(const VKSeries& values) : ColumnMatrix(values.count()) {
  for (std::size_t i = 0; i < values.count(); ++i) atPut(i, values.at(i));
}

ColumnMatrix::ColumnMatrix(std::initializer_list<double> values) : ColumnMatrix(values.size()) {
  std::size_t i = 0;
  for (double v : values) atPut(i++, v);
}

double ColumnMatrix::innerProductWithColumnMatrix(const ColumnMatrix& b) const {
  double sum = 0;
  for (std::size_t i = 0; i < nRows(); ++i) sum += at(i) * b.at(i);
  return sum;
}

}  // namespace orb::foundation
