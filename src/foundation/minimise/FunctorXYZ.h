#pragma once

#include "foundation/minimise/Functor.h"
#include "foundation/objects/XYZ.h"

namespace orb::foundation {

/// A function from one double to an XYZ: the integrand of vector quadratures. Bound and
/// called as Functor is.
class FunctorXYZ : public detail::BoundFunction<XYZ(double)> {
 public:
  using BoundFunction::BoundFunction;
  FunctorXYZ(const FunctorXYZ&) = default;
  FunctorXYZ& operator=(const FunctorXYZ&) = default;
  virtual ~FunctorXYZ() = default;

  /// Always a plain FunctorXYZ.
  template <class T, class Method>
  static FunctorXYZ functorWithObject(T& object, Method selector) {
    return FunctorXYZ(object, selector);
  }

  virtual XYZ xyzValueAt(double x) const { return call("FunctorXYZ", x); }
};

}  // namespace orb::foundation
