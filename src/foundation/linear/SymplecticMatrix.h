#pragma once

#include "foundation/linear/Matrix.h"

namespace orb::foundation {

/// The 4 × 4 transfer matrix of a framed ray, rows and columns ordered px, py, qx, qy
/// (p transverse optical momentum, q transverse position). Named accessors read
/// (row, column), row first: `qypx` is element (3, 0). The determinant is taken as 1 and
/// the inverse is the cheap symplectic inverse, whether or not the matrix is in fact
/// symplectic.
class SymplecticMatrix : public SquareMatrix {
 public:
  /// 4 × 4 zeros.
  SymplecticMatrix() : SymplecticMatrix(4) {}
  /// n × n zeros.
  explicit SymplecticMatrix(std::size_t n) : SquareMatrix(MatrixClass::SymplecticMatrix, n) {}
  SymplecticMatrix(std::size_t n, std::initializer_list<std::initializer_list<double>> elements);
  /// A copy of any matrix (its dimensions kept), answering SymplecticMatrix.
  explicit SymplecticMatrix(const Matrix& other) : SquareMatrix(MatrixClass::SymplecticMatrix, other) {}

  static SymplecticMatrix matrixWithDimension(std::size_t n) { return SymplecticMatrix(n); }
  /// n × n identity of class SymplecticMatrix (4 × 4 is the default transfer matrix).
  static SymplecticMatrix identityMatrixWithDimension(std::size_t n = 4);

  /// Always 1.
  double determinant() const { return 1.0; }
  /// `symplecticInverse` (never empty; the optional keeps the `Matrix` signature).
  std::optional<Matrix> inverse() const { return Matrix(symplecticInverse()); }
  /// [[Dᵀ, −Bᵀ], [−Cᵀ, Aᵀ]].
  SymplecticMatrix symplecticInverse() const;
  /// Replaces every element by that of `symplecticPart`; unchanged when that fails.
  /// Returns whether the projection succeeded.
  bool symplectify();

  double pxpx() const { return at(0, 0); }
  double pxpy() const { return at(0, 1); }
  double pxqx() const { return at(0, 2); }
  double pxqy() const { return at(0, 3); }
  double pypx() const { return at(1, 0); }
  double pypy() const { return at(1, 1); }
  double pyqx() const { return at(1, 2); }
  double pyqy() const { return at(1, 3); }
  double qxpx() const { return at(2, 0); }
  double qxpy() const { return at(2, 1); }
  double qxqx() const { return at(2, 2); }
  double qxqy() const { return at(2, 3); }
  double qypx() const { return at(3, 0); }
  double qypy() const { return at(3, 1); }
  double qyqx() const { return at(3, 2); }
  double qyqy() const { return at(3, 3); }
};

}  // namespace orb::foundation
