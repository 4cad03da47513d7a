#include "foundation/platform/Utf8.h"

namespace orb::foundation {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
}  // namespace

DecodedCharacter decodeUtf8(std::string_view text, std::size_t position) {
  if (position >= text.size()) return {0, 0};
  const auto lead = static_cast<unsigned char>(text[position]);
  if (lead < 0x80) return {lead, 1};

  std::size_t length;
  char32_t codePoint;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    return {kReplacement, 1};
  }
  if (position + length > text.size()) return {kReplacement, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[position + i]);
    if (!isContinuation(byte)) return {kReplacement, 1};
    codePoint = (codePoint << 6) | (byte & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    return {kReplacement, 1};
  return {codePoint, length};
}

void appendUtf8(std::string& text, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    text.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    text.push_back(static_cast<char>(0xC0 | (c >> 6)));
    text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    text.push_back(static_cast<char>(0xE0 | (c >> 12)));
    text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    text.push_back(static_cast<char>(0xF0 | (c >> 18)));
    text.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace orb::foundation
