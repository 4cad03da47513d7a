#pragma once

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/MultivariateFunctor.h"

namespace orb::foundation {

/// A function from a coordinate to a residual vector, minimised in the least-squares
/// sense. No residuals (an empty optional) mark an inadmissible point, such as a lens
/// whose rays fail to trace: the minimisers rank it worst.
class LeastSquaresFunctor : public MultivariateFunctor {
 public:
  using ResidualFunction = std::function<std::optional<VKSeries>(const VKSeries&)>;

  LeastSquaresFunctor() = default;
  explicit LeastSquaresFunctor(ResidualFunction residualFunction) : m_residualFunction(std::move(residualFunction)) {}
  /// Bound to `object.*selector(const VKSeries&)` returning a VKSeries or an optional one;
  /// the object is not owned.
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  LeastSquaresFunctor(T& object, Method selector) : m_residualFunction(detail::bindMethod(object, selector)) {}

  template <class T, class Method>
  static LeastSquaresFunctor leastSquaresFunctorWithObject(T& object, Method selector) {
    return LeastSquaresFunctor(object, selector);
  }

  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  void setObjectResidualSelector(T& object, Method residualSelector) {
    m_residualFunction = detail::bindMethod(object, residualSelector);
  }
  void setResidualFunction(ResidualFunction residualFunction) { m_residualFunction = std::move(residualFunction); }

  /// The residuals at the coordinate, or nothing at an inadmissible point.
  std::optional<VKSeries> residualsAt(const VKSeries& coordinate) const {
    if (!m_residualFunction) detail::raiseUnbound("LeastSquaresFunctor");
    return m_residualFunction(coordinate);
  }

  /// The least-squares value ½ · Σ rᵢ², or +infinity at an inadmissible point.
  double valueAtCoordinate(const VKSeries& coordinate) const override;

 private:
  ResidualFunction m_residualFunction;
};

}  // namespace orb::foundation
