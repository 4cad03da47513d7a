#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace orb::foundation {

/// Base64 text of the data (RFC 4648 alphabet, "=" padding), on one line. The length
/// argument is accepted from callers that pass a line length but never breaks lines.
std::string base64StringFromData(const platform::Data& data, std::int32_t length = 0);

/// The bytes of Base64 text. Characters outside the alphabet (line breaks, blanks) are
/// skipped; the first "=" ends the text. A trailing group that cannot make a whole byte
/// (a single value before "=", or values left over at the end without "=") is dropped.
platform::Data dataFromBase64String(std::string_view text);

}  // namespace orb::foundation
