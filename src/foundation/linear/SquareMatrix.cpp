// SquareMatrix (declared in Matrix.h): triangular solves, Cholesky and the symplectic
// tests and projections of Parts 1.104 and 1.105.

#include <cmath>
#include <limits>

#include "foundation/linear/Matrix.h"
#include "platform/Log.h"

namespace orb::foundation {

SquareMatrix::SquareMatrix(std::size_t n, std::initializer_list<std::initializer_list<double>> elements)
    : SquareMatrix(MatrixClass::SquareMatrix, Matrix(n, n, elements)) {}

SquareMatrix SquareMatrix::identityMatrixWithDimension(std::size_t n) {
  SquareMatrix m(n);
  for (std::size_t i = 0; i < n; ++i) m.atPut(i, i, 1.0);
  return m;
}

// ---------------------------------------------------------------------------------------
// Triangular forms and solves

void SquareMatrix::makeLowerTriangular() {
  for (std::size_t i = 0; i < nRows(); ++i)
    for (std::size_t j = i + 1; j < nCols(); ++j) atPut(i, j, 0.0);
}

bool SquareMatrix::isLowerTriangular() const {
  for (std::size_t i = 0; i < nRows(); ++i)
    for (std::size_t j = i + 1; j < nCols(); ++j)
      if (!(at(i, j) == 0.0)) return false;
  return true;
}

bool SquareMatrix::isUnitLowerTriangular() const {
  if (!isLowerTriangular()) return false;
  for (std::size_t i = 0; i < nRows(); ++i)
    if (!(at(i, i) == 1.0)) return false;
  return true;
}

ColumnMatrix SquareMatrix::forwardSubstitute(const ColumnMatrix& b) const {
  ColumnMatrix x(b);
  const std::size_t n = nRows();
  for (std::size_t i = 0; i < n; ++i) {
    double sum = b.at(i);
    for (std::size_t k = 0; k < i; ++k) sum -= at(i, k) * x.at(k);
    x.atPut(i, sum / at(i, i));
  }
  return x;
}

ColumnMatrix SquareMatrix::backSubstitute(const ColumnMatrix& b) const {
  ColumnMatrix x(b);
  const std::size_t n = nRows();
  for (std::size_t i = n; i-- > 0;) {
    double sum = b.at(i);
    for (std::size_t k = n - 1; k > i; --k) sum -= at(i, k) * x.at(k);
    x.atPut(i, sum / at(i, i));
  }
  return x;
}

ColumnMatrix SquareMatrix::transposeBackSubstitute(const ColumnMatrix& b) const {
  ColumnMatrix x(b);
  const std::size_t n = nRows();
  for (std::size_t i = n; i-- > 0;) {
    double sum = b.at(i);
    for (std::size_t k = n - 1; k > i; --k) sum -= at(k, i) * x.at(k);
    x.atPut(i, sum / at(i, i));
  }
  return x;
}

// ---------------------------------------------------------------------------------------
// Cholesky

std::optional<SquareMatrix> SquareMatrix::choleskyDecomposition() const {
  if (nRows() != nCols()) return std::nullopt;
  SquareMatrix l(nRows());
  const std::size_t n = nRows();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      double sum = at(i, j);
      for (std::size_t k = 0; k < j; ++k) sum -= l.at(i, k) * l.at(j, k);
      l.atPut(i, j, sum / l.at(j, j));
    }
    double d = at(i, i);
    for (std::size_t k = 0; k < i; ++k) d -= l.at(i, k) * l.at(i, k);
    if (!(d > 0)) return std::nullopt;  // also a NaN pivot
    l.atPut(i, i, std::sqrt(d));
  }
  return l;
}

bool SquareMatrix::choleskyDecompose() {
  if (nRows() != nCols()) return false;
  const std::size_t n = nRows();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      double sum = at(i, j);
      for (std::size_t k = 0; k < j; ++k) sum -= at(i, k) * at(j, k);
      atPut(i, j, sum / at(j, j));
    }
    double d = at(i, i);
    for (std::size_t k = 0; k < i; ++k) d -= at(i, k) * at(i, k);
    if (!(d > 0)) return false;
    atPut(i, i, std::sqrt(d));
  }
  return true;
}

std::optional<ColumnMatrix> SquareMatrix::choleskySolve(const ColumnMatrix& b) const {
  const std::optional<SquareMatrix> l = choleskyDecomposition();
  if (!l) return std::nullopt;
  return l->transposeBackSubstitute(l->forwardSubstitute(b));
}

double SquareMatrix::choleskyDeterminant() const {
  const std::optional<SquareMatrix> l = choleskyDecomposition();
  if (!l) return std::numeric_limits<double>::quiet_NaN();
  double product = 1;
  for (std::size_t i = 0; i < nRows(); ++i) product *= l->at(i, i);
  return product * product;
}

ColumnMatrix SquareMatrix::twoByTwoCramerSolve(const ColumnMatrix& b) const {
  const double det = at(0, 0) * at(1, 1) - at(0, 1) * at(1, 0);
  ColumnMatrix x(2);
  x.atPut(0, (b.at(0) * at(1, 1) - at(0, 1) * b.at(1)) / det);
  x.atPut(1, (at(0, 0) * b.at(1) - at(1, 0) * b.at(0)) / det);
  return x;
}

void SquareMatrix::testCholeskySolve() {
  const SquareMatrix m(3, {{1, 2, 1}, {2, 5, 3}, {1, 3, 9}});
  const ColumnMatrix b{1.1, 2.2, 3.3};
  platform::log("=== Test solution of matrix equation M*x = b");
  platform::log("M = %s", m.matlabDescription().c_str());
  platform::log("b = %s", b.matlabDescription().c_str());
  platform::log("=== Using choleskySolve");
  const std::optional<ColumnMatrix> x = m.choleskySolve(b);
  if (!x) return;
  platform::log("x = %s", x->matlabDescription().c_str());
  platform::log("Mx = %s", m.timesMatrix(*x).matlabDescription().c_str());
  platform::log("=== Step by step");
  const SquareMatrix l = *m.choleskyDecomposition();
  const Matrix lt = l.transpose();
  platform::log("L = %s", l.matlabDescription().c_str());
  platform::log("L' = %s", lt.matlabDescription().c_str());
  platform::log("LL' = %s", l.timesMatrix(lt).matlabDescription().c_str());
  const ColumnMatrix y = l.forwardSubstitute(b);
  platform::log("y = %s", y.matlabDescription().c_str());
  platform::log("Ly = %s", l.timesMatrix(y).matlabDescription().c_str());
  const ColumnMatrix x2 = l.transposeBackSubstitute(y);
  platform::log("x = %s", x2.matlabDescription().c_str());
  const Matrix mx = m.timesMatrix(x2);
  platform::log("Mx = %s", mx.matlabDescription().c_str());
  platform::log("Mx - b = %s", mx.minusMatrix(b).matlabDescription().c_str());
  platform::log("=== Test class adaptation");
  platform::log("x class = %s", x2.className());
  platform::log("x' class = %s", matrixClassName(x2.classForTranspose()));
}

// ---------------------------------------------------------------------------------------
// Symplectic tests and projections

SymplecticMatrix SquareMatrix::symplecticJ() const {
  const std::size_t n = nRows(), h = n / 2;
  SymplecticMatrix j(n);
  if (n < 2) return j;
  for (std::size_t i = 0; i < h; ++i) {
    j.atPut(i, h + i, 1.0);
    j.atPut(h + i, i, -1.0);
  }
  return j;
}

namespace detail {

/// [[Dᵀ, −Bᵀ], [−Cᵀ, Aᵀ]] of M = [[A, B], [C, D]] written into r (zeroed, n × n).
void writeSymplecticConjugate(const Matrix& m, Matrix& r) {
  const std::size_t n = m.nRows(), h = n / 2;
  if (n < 2) return;
  for (std::size_t i = 0; i < h; ++i)
    for (std::size_t j = 0; j < h; ++j) {
      r.atPut(i, j, m.at(h + j, h + i));
      r.atPut(h + i, j, -m.at(h + j, i));
      r.atPut(i, h + j, -m.at(j, h + i));
      r.atPut(h + i, h + j, m.at(j, i));
    }
}

}  // namespace detail

Matrix SquareMatrix::symplecticConjugate() const {
  SquareMatrix r(matrixClass(), nRows());
  detail::writeSymplecticConjugate(*this, r);
  return r;
}

std::optional<Matrix> SquareMatrix::symplecticPart() const {
  const std::size_t n = nRows();
  const SquareMatrix id = identityMatrixWithDimension(n);
  // The identity's class (SquareMatrix) keeps I ± M general, so that the inverses below
  // go through LAPACK even for a SymplecticMatrix receiver.
  const std::optional<Matrix> inversePlus = id.plusMatrix(*this).inverse();
  if (!inversePlus) return std::nullopt;
  const SquareMatrix w(id.minusMatrix(*this).timesMatrix(*inversePlus));
  const Matrix v = w.symplecticConjugate().scaledByPlusMatrixScaledBy(0.5, w, -0.5);
  const std::optional<Matrix> inverseMinus = id.minusMatrix(v).inverse();
  if (!inverseMinus) return std::nullopt;
  return SquareMatrix(matrixClass(), id.plusMatrix(v).timesMatrix(*inverseMinus));
}

double SquareMatrix::symplecticError() const {
  const SymplecticMatrix j = symplecticJ();
  const Matrix e = transpose().timesMatrix(j).timesMatrix(*this).plusMatrixScaledBy(j, -1.0);
  return std::fabs(e.elementOfLargestMagnitude());
}

bool SquareMatrix::isSymplectic() const { return symplecticError() < 1e-6; }

}  // namespace orb::foundation
