#pragma once

#include <memory>

#include "foundation/minimise/Functor.h"

namespace orb::foundation {

/// Another functor's value plus a constant: with offset −c a search for f(x) = c becomes
/// a root search.
class FunctorWithOffset : public Functor {
 public:
  /// Shares ownership of `functor`; raises "NSInternalInconsistencyException" when null.
  FunctorWithOffset(std::shared_ptr<const Functor> functor, double offset);
  static FunctorWithOffset functorWithFunctor(std::shared_ptr<const Functor> functor, double offset) {
    return FunctorWithOffset(std::move(functor), offset);
  }

  const Functor& functor() const { return *m_functor; }
  double offset() const { return m_offset; }

  double valueAt(double x) const override { return m_functor->valueAt(x) + m_offset; }

 private:
  std::shared_ptr<const Functor> m_functor;
  double m_offset;
};

}  // namespace orb::foundation
