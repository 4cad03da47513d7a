#pragma once

#include <functional>
#include <type_traits>
#include <utility>

namespace orb::foundation {

namespace detail {

/// A callable that sends its arguments to `method` of `object`. The object is not owned:
/// the caller keeps it alive for as long as the callable is used.
template <class T, class Method>
auto bindMethod(T& object, Method method) {
  return [target = &object, method](auto&&... args) {
    return std::invoke(method, *target, std::forward<decltype(args)>(args)...);
  };
}

/// Raises "NSInternalInconsistencyException": a function object was called unbound.
[[noreturn]] void raiseUnbound(const char* className);

}  // namespace detail

/// A function of one double, given to the root finders, the line minimiser and the
/// quadrature rules. It is bound once, to a callable or to a method of an object it does
/// not own, and each call is then one indirect call with no lookup and no allocation.
/// Subclasses that compute the value themselves override valueAt and may stay unbound;
/// calling an unbound plain Functor raises "NSInternalInconsistencyException".
class Functor {
 public:
  using Function = std::function<double(double)>;

  /// Unbound, for subclasses that override valueAt.
  Functor() = default;
  explicit Functor(Function function) : m_function(std::move(function)) {}
  /// Bound to `object.*selector(double) -> double`; the object is not owned.
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  Functor(T& object, Method selector) : m_function(detail::bindMethod(object, selector)) {}
  /// A copy takes over the binding.
  Functor(const Functor&) = default;
  Functor& operator=(const Functor&) = default;
  virtual ~Functor() = default;

  /// Always a plain Functor, whatever class asks.
  template <class T, class Method>
  static Functor functorWithObject(T& object, Method selector) {
    return Functor(object, selector);
  }

  /// Rebinds; the values change at once.
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  void setObject(T& object, Method selector) {
    m_function = detail::bindMethod(object, selector);
  }
  void setFunction(Function function) { m_function = std::move(function); }
  bool isBound() const { return static_cast<bool>(m_function); }

  virtual double valueAt(double x) const {
    if (!m_function) detail::raiseUnbound("Functor");
    return m_function(x);
  }

 private:
  Function m_function;
};

}  // namespace orb::foundation
