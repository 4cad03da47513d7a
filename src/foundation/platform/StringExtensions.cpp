#include "foundation/platform/StringExtensions.h"

#include <cstdint>

#include "foundation/platform/CharacterSet.h"
#include "foundation/platform/Scanner.h"
#include "foundation/platform/Utf8.h"

namespace orb::foundation {

std::string camelToEnglish(std::string_view identifier) {
  Scanner scanner{std::string(identifier)};
  const std::string& text = scanner.string();
  std::string result;
  while (!scanner.isAtEnd()) {
    const DecodedCharacter d = decodeUtf8(text, scanner.scanLocation());
    scanner.setScanLocation(scanner.scanLocation() + d.length);
    if (d.codePoint == U':') continue;
    if (result.empty()) {
      appendUtf8(result, toUpperAscii(d.codePoint));
    } else {
      result.push_back(' ');
      appendUtf8(result, toLowerAscii(d.codePoint));
    }

    std::string word;
    if (scanner.scanUpToCharactersFromSet(CharacterSet::uppercaseLetterCharacterSet(), &word)) {
      // A keyword ends at its colon; the next keyword starts after it.
      if (const auto colon = word.find(':'); colon != std::string::npos) {
        scanner.setScanLocation(scanner.scanLocation() - (word.size() - colon));
        word.resize(colon);
      }
      result += word;
    }
  }
  return result;
}

std::vector<std::string> lines(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t terminator = 0;
    const unsigned char c = static_cast<unsigned char>(text[p]);
    if (c == '\n') {
      terminator = 1;
    } else if (c == '\r') {
      terminator = (p + 1 < text.size() && text[p + 1] == '\n') ? 2 : 1;
    } else if (c >= 0x80) {
      const DecodedCharacter d = decodeUtf8(text, p);
      if (d.codePoint == 0x85 || d.codePoint == 0x2028 || d.codePoint == 0x2029) terminator = d.length;
      else {
        p += d.length;
        continue;
      }
    }
    if (terminator == 0) {
      ++p;
      continue;
    }
    out.emplace_back(text.substr(start, p - start));
    p += terminator;
    start = p;
  }
  if (start < text.size()) out.emplace_back(text.substr(start));
  return out;
}

int intValue(std::string_view text) {
  int value = 0;
  Scanner(std::string(text)).scanInt(&value);
  return value;
}

long long longLongValue(std::string_view text) {
  long long value = 0;
  Scanner(std::string(text)).scanLongLong(&value);
  return value;
}

namespace {

bool startsNegative(std::string_view text) {
  Scanner scanner{std::string(text)};
  return scanner.scanString("-");
}

/// A non-negative number read in full and clamped to `max`.
unsigned long long nonNegativeValue(std::string_view text, unsigned long long max) {
  unsigned long long value = 0;
  Scanner(std::string(text)).scanUnsignedLongLong(&value);
  return value > max ? max : value;
}

}  // namespace

std::uint32_t unsignedIntValue(std::string_view text) {
  if (startsNegative(text)) return static_cast<std::uint32_t>(intValue(text));
  return static_cast<std::uint32_t>(nonNegativeValue(text, UINT32_MAX));
}

std::uint64_t unsignedLongLongValue(std::string_view text) {
  if (startsNegative(text)) return static_cast<std::uint64_t>(longLongValue(text));
  return nonNegativeValue(text, UINT64_MAX);
}

}  // namespace orb::foundation
