#include "foundation/objects/XYZTensor.h"

#include "platform/Exception.h"

namespace orb::foundation {

std::string toString(const XYZTensor& t) {
  return platform::format("((%.17g, %.17g, %.17g), (%.17g, %.17g, %.17g), (%.17g, %.17g, %.17g))", t.xx, t.xy,
                          t.xz, t.yx, t.yy, t.yz, t.zx, t.zy, t.zz);
}

}  // namespace orb::foundation
