#pragma once

#include <optional>
#include <string_view>
#include <vector>
#include <string>

#include "platform/Value.h"

namespace orb::interchange {

/// Reads the fixed-layout text of a telescope of tilted components into a lens
/// dictionary: line 1 the system name, line 2 the surface count N (N + 1 surface lines
/// follow), line 3 the source divergence (first number; its type is always 0), line 4 a
/// word and the unit code, then one line per surface: radius, thickness, tilt, conic,
/// rTan, coma, lineComa. A number that does not read keeps the value the one before it
/// had (0 at first); a text shorter than its count gives the surfaces it holds.
platform::Dictionary readTiltedTelescopeString(std::string_view text);
platform::Dictionary readTiltedTelescopeLines(const std::vector<std::string>& lines);

}  // namespace orb::interchange
