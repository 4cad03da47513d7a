#pragma once

#include <cstdint>
#include <string_view>

namespace orb::interchange {

/// The dispatch code of a command word in Zemax, OSLO and CODE V text: its first four
/// bytes upper-cased, the first byte most significant. A blank or a zero byte ends the
/// word early and the remaining positions are blanks, so "REM" gives 'REM ' and
/// "SURFACE" gives 'SURF'.
constexpr std::uint32_t fourCharCodeFromCString(std::string_view word) {
  std::uint32_t code = 0;
  bool ended = false;
  for (std::size_t i = 0; i < 4; ++i) {
    char c = (!ended && i < word.size()) ? word[i] : ' ';
    if (c == '\0' || c == ' ') {
      ended = true;
      c = ' ';
    }
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    code = (code << 8) | static_cast<std::uint8_t>(c);
  }
  return code;
}

static_assert(fourCharCodeFromCString("SURFACE") == fourCharCodeFromCString("SURF"));
static_assert(fourCharCodeFromCString("rem") == ((std::uint32_t('R') << 24) | ('E' << 16) | ('M' << 8) | ' '));

}  // namespace orb::interchange
