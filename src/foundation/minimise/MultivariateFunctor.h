#pragma once

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/Functor.h"

namespace orb::foundation {

/// A function of a coordinate vector, minimised by the simplex minimisers. Bound and
/// called as Functor is; the coordinate is passed by reference, never copied.
class MultivariateFunctor : public detail::BoundFunction<double(const VKSeries&)> {
 public:
  using BoundFunction::BoundFunction;
  MultivariateFunctor(const MultivariateFunctor&) = default;
  MultivariateFunctor& operator=(const MultivariateFunctor&) = default;
  virtual ~MultivariateFunctor() = default;

  template <class T, class Method>
  static MultivariateFunctor multivariateFunctorWithObject(T& object, Method selector) {
    return MultivariateFunctor(object, selector);
  }

  virtual double valueAtCoordinate(const VKSeries& coordinate) const {
    return call("MultivariateFunctor", coordinate);
  }
};

}  // namespace orb::foundation
