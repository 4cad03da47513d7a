#pragma once

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/LeastSquaresFunctor.h"
#include "foundation/minimise/MultivariateFunctor.h"

namespace orb::foundation {

/// One vertex of a simplex: a coordinate and the function value there (0 until
/// evaluated). A value type: a vertex owns its coordinate, so a minimiser moving or
/// shrinking the simplex never changes a series the caller still holds.
class CoordinateAndFunctionValue {
 public:
  explicit CoordinateAndFunctionValue(VKSeries coordinate) : m_coordinate(std::move(coordinate)) {}
  static CoordinateAndFunctionValue fromCoordinate(VKSeries coordinate) {
    return CoordinateAndFunctionValue(std::move(coordinate));
  }

  const VKSeries& coordinate() const { return m_coordinate; }
  VKSeries& coordinate() { return m_coordinate; }
  void setCoordinate(VKSeries coordinate) { m_coordinate = std::move(coordinate); }
  /// Copies the values into the vertex's own series (reusing its storage).
  void setCoordinateValue(const VKSeries& coordinate) { m_coordinate = coordinate; }

  double functionValue() const { return m_f; }
  void setFunctionValue(double f) { m_f = f; }

  /// The value becomes the functor's value at the coordinate.
  void evaluate(const MultivariateFunctor& functor) { m_f = functor.valueAtCoordinate(m_coordinate); }

  /// The value as the simplex minimisers rank it: NaN counts as +infinity, so it sorts
  /// last and never becomes the best vertex.
  double rankingValue() const { return std::isnan(m_f) ? std::numeric_limits<double>::infinity() : m_f; }
  /// −1 when the other value is greater, +1 when this one is, 0 otherwise, with NaN
  /// ranked as +infinity: a strict weak order, safe for sorting.
  int functionValueComparison(const CoordinateAndFunctionValue& other) const {
    const double mine = rankingValue(), theirs = other.rankingValue();
    return mine < theirs ? -1 : (mine > theirs ? 1 : 0);
  }

  /// "(coordinate)->value".
  std::string detailedDescription() const;

 protected:
  VKSeries m_coordinate;
  double m_f = 0;
};

/// A least-squares vertex: also the residual vector at the coordinate (nothing until
/// evaluated, or where the functor finds the point inadmissible). After evaluate() the
/// value is ½ · Σ rᵢ², or +infinity without residuals.
class CoordinateResidualsAndFunctionValue : public CoordinateAndFunctionValue {
 public:
  explicit CoordinateResidualsAndFunctionValue(VKSeries coordinate)
      : CoordinateAndFunctionValue(std::move(coordinate)) {}
  static CoordinateResidualsAndFunctionValue fromCoordinate(VKSeries coordinate) {
    return CoordinateResidualsAndFunctionValue(std::move(coordinate));
  }

  const std::optional<VKSeries>& residuals() const { return m_residuals; }
  void setResiduals(std::optional<VKSeries> residuals) { m_residuals = std::move(residuals); }

  void evaluate(const LeastSquaresFunctor& functor) {
    m_residuals = functor.residualsAt(m_coordinate);
    m_f = m_residuals ? 0.5 * m_residuals->sumOfSquares() : std::numeric_limits<double>::infinity();
  }

  /// "(coordinate)->(residuals)->value".
  std::string detailedDescription() const;

 private:
  std::optional<VKSeries> m_residuals;
};

}  // namespace orb::foundation
