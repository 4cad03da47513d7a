#pragma once

#include <functional>
#include <type_traits>
#include <utility>

#include "foundation/minimise/Functor.h"
#include "foundation/objects/XYZ.h"

namespace orb::foundation {

/// A function from one double to an XYZ: the integrand of vector quadratures. Bound and
/// called as Functor is.
class FunctorXYZ {
 public:
  using Function = std::function<XYZ(double)>;

  FunctorXYZ() = default;
  explicit FunctorXYZ(Function function) : m_function(std::move(function)) {}
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  FunctorXYZ(T& object, Method selector) : m_function(detail::bindMethod(object, selector)) {}
  FunctorXYZ(const FunctorXYZ&) = default;
  FunctorXYZ& operator=(const FunctorXYZ&) = default;
  virtual ~FunctorXYZ() = default;

  /// Always a plain FunctorXYZ.
  template <class T, class Method>
  static FunctorXYZ functorWithObject(T& object, Method selector) {
    return FunctorXYZ(object, selector);
  }

  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  void setObject(T& object, Method selector) {
    m_function = detail::bindMethod(object, selector);
  }
  void setFunction(Function function) { m_function = std::move(function); }
  bool isBound() const { return static_cast<bool>(m_function); }

  virtual XYZ xyzValueAt(double x) const {
    if (!m_function) detail::raiseUnbound("FunctorXYZ");
    return m_function(x);
  }

 private:
  Function m_function;
};

}  // namespace orb::foundation
