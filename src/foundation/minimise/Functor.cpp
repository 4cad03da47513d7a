#include "foundation/minimise/Functor.h"

#include "platform/Exception.h"

namespace orb::foundation::detail {

void raiseUnbound(const char* className) {
  platform::Exception::raise("NSInternalInconsistencyException", "%s called before it was bound", className);
}

}  // namespace orb::foundation::detail
