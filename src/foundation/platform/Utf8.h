#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orb::foundation {

/// One code point decoded from UTF-8 text.
struct DecodedCharacter {
  char32_t codePoint = 0;
  /// Bytes taken from the text; at least 1 whenever the position was inside the text.
  std::size_t length = 0;
};

/// Decodes the code point starting at byte `position`. A malformed or truncated sequence
/// gives U+FFFD with length 1, so a walk over any bytes always makes progress. Past the
/// end gives length 0.
DecodedCharacter decodeUtf8(std::string_view text, std::size_t position);

/// Appends the UTF-8 form of a code point (U+FFFD for values that are not code points).
void appendUtf8(std::string& text, char32_t codePoint);

/// ASCII-only case mapping; other code points are returned unchanged. Lens files are
/// ASCII, and a full Unicode case table is not worth its weight here.
inline char32_t toUpperAscii(char32_t c) { return (c >= U'a' && c <= U'z') ? c - 32 : c; }
inline char32_t toLowerAscii(char32_t c) { return (c >= U'A' && c <= U'Z') ? c + 32 : c; }

}  // namespace orb::foundation
