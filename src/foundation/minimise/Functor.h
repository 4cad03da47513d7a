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

template <class Signature>
class BoundFunction;

/// What every function object shares: a callable bound once, to any callable or to a
/// method of an object it does not own; each call is then one indirect call with no
/// lookup and no allocation.
template <class R, class... Args>
class BoundFunction<R(Args...)> {
 public:
  using Function = std::function<R(Args...)>;

  /// Unbound, for subclasses that compute their values themselves.
  BoundFunction() = default;
  explicit BoundFunction(Function function) : m_function(std::move(function)) {}
  /// Bound to `object.*selector(...)`; the object is not owned.
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  BoundFunction(T& object, Method selector) : m_function(bindMethod(object, selector)) {}

  /// Rebinds; the values change at once.
  template <class T, class Method>
    requires std::is_member_function_pointer_v<Method>
  void setObject(T& object, Method selector) {
    m_function = bindMethod(object, selector);
  }
  void setFunction(Function function) { m_function = std::move(function); }
  bool isBound() const { return static_cast<bool>(m_function); }

 protected:
  R call(const char* className, Args... args) const {
    if (!m_function) raiseUnbound(className);
    return m_function(std::forward<Args>(args)...);
  }

 private:
  Function m_function;
};

}  // namespace detail

/// A function of one double, given to the root finders, the line minimiser and the
/// quadrature rules. Subclasses that compute the value themselves override valueAt and
/// may stay unbound; calling an unbound plain Functor raises
/// "NSInternalInconsistencyException".
class Functor : public detail::BoundFunction<double(double)> {
 public:
  using BoundFunction::BoundFunction;
  Functor(const Functor&) = default;
  Functor& operator=(const Functor&) = default;
  virtual ~Functor() = default;

  /// Always a plain Functor, whatever class asks.
  template <class T, class Method>
  static Functor functorWithObject(T& object, Method selector) {
    return Functor(object, selector);
  }

  virtual double valueAt(double x) const { return call("Functor", x); }
};

}  // namespace orb::foundation
