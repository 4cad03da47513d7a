#include "foundation/objects/XY.h"

#include "platform/Exception.h"

namespace orb::foundation {

std::string toString(const XY& v) { return platform::format("(%.17g, %.17g)", v.x, v.y); }

}  // namespace orb::foundation
