#include "interchange/TextDecoding.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "foundation/platform/Utf8.h"

namespace orb::interchange {

const char* textEncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf16LE: return "UTF-16LE";
    case TextEncoding::Utf16BE: return "UTF-16BE";
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Utf8WithMark: return "UTF-8 with byte-order mark";
    case TextEncoding::Ascii: return "ASCII";
    case TextEncoding::Latin1: return "ISO-8859-1";
  }
  return "?";
}

namespace {

std::string fromUtf16(std::span<const std::uint8_t> bytes, bool littleEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](std::size_t i) -> char32_t {
    return littleEndian ? char32_t(bytes[i] | (bytes[i + 1] << 8)) : char32_t((bytes[i] << 8) | bytes[i + 1]);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
      char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    foundation::appendUtf8(out, c);
  }
  return out;
}

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    auto d = foundation::decodeUtf8(text, i);
    // A malformed sequence decodes as U+FFFD of one byte; a genuine U+FFFD takes three.
    if (d.codePoint == 0xFFFD && d.length == 1) return false;
    i += d.length;
  }
  return true;
}

}  // namespace

DecodedText decodeText(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    return {fromUtf16(bytes.subspan(2), true), TextEncoding::Utf16LE};
  if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
    return {fromUtf16(bytes.subspan(2), false), TextEncoding::Utf16BE};
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    return {std::string(bytes.begin() + 3, bytes.end()), TextEncoding::Utf8WithMark};

  std::string raw(bytes.begin(), bytes.end());
  bool ascii = true;
  for (unsigned char c : raw)
    if (c >= 0x80) ascii = false;
  if (ascii) return {std::move(raw), TextEncoding::Ascii};
  if (isValidUtf8(raw)) return {std::move(raw), TextEncoding::Utf8};

  // ISO-8859-1 maps each byte to the code point of the same number. Clearing bit 7
  // instead would turn a maker's "Ø18 mm" into "X18 mm".
  std::string latin;
  latin.reserve(bytes.size() + bytes.size() / 8);
  for (std::uint8_t b : bytes) foundation::appendUtf8(latin, b);
  return {std::move(latin), TextEncoding::Latin1};
}

std::optional<std::string> encodeText(std::string_view text, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) return std::string(text);
  if (encoding == TextEncoding::Utf8WithMark) return "\xEF\xBB\xBF" + std::string(text);
  const bool utf16 = encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
  const char32_t limit = utf16 ? 0x10FFFF : encoding == TextEncoding::Latin1 ? 0xFF : 0x7F;
  std::string out;
  out.reserve(utf16 ? 2 * text.size() + 2 : text.size());
  auto unit = [&](char32_t u) {
    const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
    if (encoding == TextEncoding::Utf16LE) out += {low, high};
    else out += {high, low};
  };
  if (utf16) unit(0xFEFF);
  for (std::size_t i = 0; i < text.size();) {
    const auto d = foundation::decodeUtf8(text, i);
    i += d.length;
    const char32_t c = d.codePoint;
    if (c > limit) return std::nullopt;
    if (!utf16) {
      out += static_cast<char>(c);
    } else if (c < 0x10000) {
      unit(c);
    } else {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::optional<DecodedText> readTextFile(const std::filesystem::path& path, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (why) *why = path.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    if (why) *why = path.string() + ": read error";
    return std::nullopt;
  }
  return decodeText(bytes);
}

}  // namespace orb::interchange
