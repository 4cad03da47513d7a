#include "foundation/minimise/FunctorWithOffset.h"

#include "platform/Exception.h"

namespace orb::foundation {

FunctorWithOffset::FunctorWithOffset(std::shared_ptr<const Functor> functor, double offset)
    : m_functor(std::move(functor)), m_offset(offset) {
  if (!m_functor) throw platform::Exception("NSInternalInconsistencyException", "FunctorWithOffset needs a functor");
}

}  // namespace orb::foundation
