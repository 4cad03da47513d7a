#include "foundation/platform/Scanner.h"

#include <locale.h>
#include <stdlib.h>

#include <climits>

#include "foundation/platform/Utf8.h"
#include "platform/Exception.h"

namespace orb::foundation {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// strtod follows LC_NUMERIC, which Qt sets from the user's locale later on; a "C" locale
// object of our own keeps "1.5" one and a half everywhere.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

Scanner::Scanner(std::string text) : m_text(std::move(text)) {}

void Scanner::setScanLocation(std::size_t location) {
  if (location > m_text.size())
    platform::Exception::raise("NSRangeException", "scan location %zu is past the end of a text of %zu bytes",
                               location, m_text.size());
  m_location = location;
}

std::size_t Scanner::skipped() const {
  std::size_t p = m_location;
  if (m_skip.isEmpty()) return p;
  while (p < m_text.size()) {
    const DecodedCharacter d = decodeUtf8(m_text, p);
    if (!m_skip.characterIsMember(d.codePoint)) break;
    p += d.length;
  }
  return p;
}

bool Scanner::isAtEnd() const { return skipped() >= m_text.size(); }

bool Scanner::matchesAt(std::size_t at, std::string_view string) const {
  if (at > m_text.size() || m_text.size() - at < string.size()) return false;
  if (m_caseSensitive) return m_text.compare(at, string.size(), string) == 0;
  // ASCII bytes never occur inside a multi-byte UTF-8 sequence, so folding bytes is safe.
  for (std::size_t i = 0; i < string.size(); ++i)
    if (foldAscii(m_text[at + i]) != foldAscii(string[i])) return false;
  return true;
}

bool Scanner::scanSignedDecimal(long long min, long long max, long long* out) {
  std::size_t p = skipped();
  bool negative = false;
  if (p < m_text.size() && (m_text[p] == '+' || m_text[p] == '-')) negative = m_text[p++] == '-';
  if (p >= m_text.size() || !isDigit(m_text[p])) return false;

  // Accumulate the magnitude, clamping at the limit of the sign's side.
  const unsigned long long limit =
      negative ? static_cast<unsigned long long>(-(min + 1)) + 1 : static_cast<unsigned long long>(max);
  unsigned long long magnitude = 0;
  bool clamped = false;
  for (; p < m_text.size() && isDigit(m_text[p]); ++p) {
    const unsigned digit = static_cast<unsigned>(m_text[p] - '0');
    if (clamped || magnitude > (limit - digit) / 10) {
      clamped = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  long long value;
  if (clamped)
    value = negative ? min : max;
  else if (negative)
    value = magnitude == limit ? min : -static_cast<long long>(magnitude);
  else
    value = static_cast<long long>(magnitude);
  if (out) *out = value;
  m_location = p;
  return true;
}

bool Scanner::scanInt(int* out) {
  long long v;
  if (!scanSignedDecimal(INT_MIN, INT_MAX, &v)) return false;
  if (out) *out = static_cast<int>(v);
  return true;
}

bool Scanner::scanInteger(std::int64_t* out) {
  long long v;
  if (!scanSignedDecimal(INT64_MIN, INT64_MAX, &v)) return false;
  if (out) *out = static_cast<std::int64_t>(v);
  return true;
}

bool Scanner::scanLongLong(long long* out) { return scanSignedDecimal(LLONG_MIN, LLONG_MAX, out); }

bool Scanner::scanUnsignedLongLong(unsigned long long* out) {
  std::size_t p = skipped();
  if (p < m_text.size() && m_text[p] == '+') ++p;
  if (p >= m_text.size() || !isDigit(m_text[p])) return false;
  unsigned long long value = 0;
  bool clamped = false;
  for (; p < m_text.size() && isDigit(m_text[p]); ++p) {
    const unsigned digit = static_cast<unsigned>(m_text[p] - '0');
    if (clamped || value > (ULLONG_MAX - digit) / 10) {
      clamped = true;
      continue;
    }
    value = value * 10 + digit;
  }
  if (out) *out = clamped ? ULLONG_MAX : value;
  m_location = p;
  return true;
}

bool Scanner::scanHex(unsigned long long max, unsigned long long* out) {
  std::size_t p = skipped();
  // Take "0x" as a prefix only when a hex digit follows; "0x" alone reads as 0.
  if (p + 2 < m_text.size() && m_text[p] == '0' && (m_text[p + 1] == 'x' || m_text[p + 1] == 'X') &&
      hexValue(m_text[p + 2]) >= 0)
    p += 2;
  if (p >= m_text.size() || hexValue(m_text[p]) < 0) return false;
  unsigned long long value = 0;
  bool clamped = false;
  for (int digit; p < m_text.size() && (digit = hexValue(m_text[p])) >= 0; ++p) {
    if (clamped || value > (max - static_cast<unsigned>(digit)) / 16) {
      clamped = true;
      continue;
    }
    value = value * 16 + static_cast<unsigned>(digit);
  }
  if (out) *out = clamped ? max : value;
  m_location = p;
  return true;
}

bool Scanner::scanHexInt(unsigned* out) {
  unsigned long long v;
  if (!scanHex(UINT_MAX, &v)) return false;
  if (out) *out = static_cast<unsigned>(v);
  return true;
}

bool Scanner::scanHexLongLong(unsigned long long* out) { return scanHex(ULLONG_MAX, out); }

bool Scanner::scanDouble(double* out) {
  const std::size_t start = skipped();
  std::size_t p = start;
  const std::size_t n = m_text.size();
  if (p < n && (m_text[p] == '+' || m_text[p] == '-')) ++p;
  std::size_t digits = 0;
  for (; p < n && isDigit(m_text[p]); ++p) ++digits;
  if (p < n && m_text[p] == '.') {
    std::size_t q = p + 1;
    std::size_t fraction = 0;
    for (; q < n && isDigit(m_text[q]); ++q) ++fraction;
    // A lone "." is not part of a number ("." or "-." reads nothing).
    if (digits + fraction > 0) {
      p = q;
      digits += fraction;
    }
  }
  if (digits == 0) return false;
  if (p < n && (m_text[p] == 'e' || m_text[p] == 'E')) {
    std::size_t q = p + 1;
    if (q < n && (m_text[q] == '+' || m_text[q] == '-')) ++q;
    if (q < n && isDigit(m_text[q])) {
      while (q < n && isDigit(m_text[q])) ++q;
      p = q;
    }
  }
  // The extent is already a valid decimal number; strtod_l only converts it, correctly
  // rounded, with overflow to ±HUGE_VAL and underflow towards zero.
  const std::string number = m_text.substr(start, p - start);
  const double value = strtod_l(number.c_str(), nullptr, cLocale());
  if (out) *out = value;
  m_location = p;
  return true;
}

bool Scanner::scanFloat(float* out) {
  double v;
  if (!scanDouble(&v)) return false;
  if (out) *out = static_cast<float>(v);
  return true;
}

bool Scanner::scanString(std::string_view string, std::string* out) {
  const std::size_t p = skipped();
  if (string.empty() || !matchesAt(p, string)) return false;
  if (out) *out = m_text.substr(p, string.size());
  m_location = p + string.size();
  return true;
}

bool Scanner::scanUpToString(std::string_view stop, std::string* out) {
  const std::size_t p = skipped();
  std::size_t end = m_text.size();
  if (!stop.empty()) {
    for (std::size_t at = p; at + stop.size() <= m_text.size(); ++at) {
      if (matchesAt(at, stop)) {
        end = at;
        break;
      }
    }
  }
  if (end == p) return false;
  if (out) *out = m_text.substr(p, end - p);
  m_location = end;
  return true;
}

bool Scanner::scanCharactersFromSet(const CharacterSet& set, std::string* out) {
  const std::size_t p = skipped();
  std::size_t end = p;
  while (end < m_text.size()) {
    const DecodedCharacter d = decodeUtf8(m_text, end);
    if (!set.characterIsMember(d.codePoint)) break;
    end += d.length;
  }
  if (end == p) return false;
  if (out) *out = m_text.substr(p, end - p);
  m_location = end;
  return true;
}

bool Scanner::scanUpToCharactersFromSet(const CharacterSet& set, std::string* out) {
  const std::size_t p = skipped();
  std::size_t end = p;
  while (end < m_text.size()) {
    const DecodedCharacter d = decodeUtf8(m_text, end);
    if (set.characterIsMember(d.codePoint)) break;
    end += d.length;
  }
  if (end == p) return false;
  if (out) *out = m_text.substr(p, end - p);
  m_location = end;
  return true;
}

bool Scanner::scanHollerithIntoString(std::string* out) {
  const std::size_t start = m_location;
  int count;
  if (!scanInt(&count)) return false;
  if (count <= 0) return false;
  if (!scanString("H")) return false;
  // The count is in characters; a field cut short by the end of the text is malformed,
  // and taking what is there would silently misalign every field after it.
  std::size_t end = m_location;
  for (int i = 0; i < count; ++i) {
    if (end >= m_text.size()) {
      m_location = start;
      return false;
    }
    end += decodeUtf8(m_text, end).length;
  }
  if (out) *out = m_text.substr(m_location, end - m_location);
  m_location = end;
  return true;
}

std::string Scanner::remainderString() const { return m_text.substr(m_location); }

bool Scanner::scanQuotedString(std::string* out) {
  if (out) out->clear();
  if (!scanString("\"")) return false;
  const std::size_t contentStart = m_location;
  if (contentStart >= m_text.size()) return false;

  std::size_t p = contentStart;
  bool escaped = false;
  for (; p < m_text.size(); ++p) {
    const char c = m_text[p];
    if (escaped) {
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (c == '"') {
      break;
    }
  }
  if (p == contentStart) return false;  // "" is no name

  if (out) {
    std::string content = m_text.substr(contentStart, p - contentStart);
    for (int pass = 0; pass < 2; ++pass) {
      std::string unescaped;
      unescaped.reserve(content.size());
      for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\\' && i + 1 < content.size() && content[i + 1] == '"') {
          unescaped.push_back('"');
          ++i;
        } else {
          unescaped.push_back(content[i]);
        }
      }
      content = std::move(unescaped);
    }
    *out = std::move(content);
  }
  m_location = p < m_text.size() ? p + 1 : p;
  return true;
}

int Scanner::scanUpToTenDoublesInto(std::span<double, 10> out) {
  int count = 0;
  while (count < 10 && scanDouble(&out[static_cast<std::size_t>(count)])) ++count;
  return count;
}

}  // namespace orb::foundation
