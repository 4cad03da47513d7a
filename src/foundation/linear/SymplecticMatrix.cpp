#include "foundation/linear/SymplecticMatrix.h"

namespace orb::foundation {

namespace detail {
void writeSymplecticConjugate(const Matrix& m, Matrix& r);  // SquareMatrix.cpp
}

SymplecticMatrix::SymplecticMatrix(std::size_t n, std::initializer_list<std::initializer_list<double>> elements)
    : SquareMatrix(MatrixClass::SymplecticMatrix, Matrix(n, n, elements)) {}

SymplecticMatrix SymplecticMatrix::identityMatrixWithDimension(std::size_t n) {
  SymplecticMatrix m(n);
  for (std::size_t i = 0; i < n; ++i) m.atPut(i, i, 1.0);
  return m;
}

SymplecticMatrix SymplecticMatrix::symplecticInverse() const {
  SymplecticMatrix r(nRows());
  detail::writeSymplecticConjugate(*this, r);
  return r;
}

bool SymplecticMatrix::symplectify() {
  const std::optional<Matrix> part = symplecticPart();
  if (!part) return false;
  for (std::size_t i = 0; i < nRows(); ++i)
    for (std::size_t j = 0; j < nCols(); ++j) atPut(i, j, part->at(i, j));
  return true;
}

}  // namespace orb::foundation
