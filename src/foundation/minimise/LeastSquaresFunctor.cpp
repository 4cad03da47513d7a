#include "foundation/minimise/LeastSquaresFunctor.h"

#include <limits>

namespace orb::foundation {

double LeastSquaresFunctor::valueAtCoordinate(const VKSeries& coordinate) const {
  const std::optional<VKSeries> residuals = residualsAt(coordinate);
  if (!residuals) return std::numeric_limits<double>::infinity();
  return 0.5 * residuals->sumOfSquares();
}

}  // namespace orb::foundation
