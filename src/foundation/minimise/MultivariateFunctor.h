#pragma once

#include <functional>
#include <type_traits>
#include <utility>

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/Functor.h"

namespace orb::foundation {

/// A function of a coordinate vector, minimised by the simplex minimisers. Bound and
/// called as Functor is; the coordinate is passed by reference, never copied.
class MultivariateFunctor {
 public:
  using Function = std::function<double(const VKSeries&)>;

  MultivariateFunctor() = default;
  explicit MultivariateFunctor(Function function) : m_function(std::move(function)) {}
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  MultivariateFunctor(T& object, Method selector) : m_function(detail::bindMethod(object, selector)) {}
  MultivariateFunctor(const MultivariateFunctor&) = default;
  MultivariateFunctor& operator=(const MultivariateFunctor&) = default;
  virtual ~MultivariateFunctor() = default;

  template <class T, class Method>
  static MultivariateFunctor multivariateFunctorWithObject(T& object, Method selector) {
    return MultivariateFunctor(object, selector);
  }

  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  void setObject(T& object, Method multivariateSelector) {
    m_function = detail::bindMethod(object, multivariateSelector);
  }
  void setFunction(Function function) { m_function = std::move(function); }
  bool isBound() const { return static_cast<bool>(m_function); }

  virtual double valueAtCoordinate(const VKSeries& coordinate) const {
    if (!m_function) detail::raiseUnbound("MultivariateFunctor");
    return m_function(coordinate);
  }

 private:
  Function m_function;
};

}  // namespace orb::foundation
