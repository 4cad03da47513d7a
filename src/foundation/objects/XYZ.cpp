#include "foundation/objects/XYZ.h"

#include "platform/Exception.h"

namespace orb::foundation {

std::string toString(const XYZ& v) { return platform::format("(%.17g, %.17g, %.17g)", v.x, v.y, v.z); }

}  // namespace orb::foundation
