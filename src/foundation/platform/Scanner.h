#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/platform/CharacterSet.h"

namespace orb::foundation {

/// A text scanner over UTF-8 text: the lens-file readers walk their lines with it.
///
/// Every scan first passes over the characters to be skipped (blanks and line ends unless
/// told otherwise), then tries to read its item. A scan that fails leaves the scan location
/// where it was, skipped characters included, so callers can try another reading (the
/// lens-file scans below say where they differ). Out parameters may be null when only
/// the move matters; they are written only on success unless a method says otherwise.
///
/// The scan location counts bytes of the UTF-8 text. Numbers always use "." as decimal
/// separator, whatever the process locale. String matching ignores ASCII case unless the
/// scanner is made case sensitive.
class Scanner {
 public:
  explicit Scanner(std::string text);

  const std::string& string() const { return m_text; }

  std::size_t scanLocation() const { return m_location; }
  /// Raises "NSRangeException" for a location past the end of the text.
  void setScanLocation(std::size_t location);

  const CharacterSet& charactersToBeSkipped() const { return m_skip; }
  void setCharactersToBeSkipped(CharacterSet skip) { m_skip = std::move(skip); }

  bool caseSensitive() const { return m_caseSensitive; }
  void setCaseSensitive(bool caseSensitive) { m_caseSensitive = caseSensitive; }

  /// True when nothing but characters to be skipped remains. Does not move.
  bool isAtEnd() const;

  // Integers: an optional sign and decimal digits. A value out of range is clamped to
  // the type's limit, and all its digits are consumed.
  bool scanInt(int* out = nullptr);
  bool scanInteger(std::int64_t* out = nullptr);
  bool scanLongLong(long long* out = nullptr);
  /// Decimal digits with an optional "+".
  bool scanUnsignedLongLong(unsigned long long* out = nullptr);
  /// Hexadecimal digits with an optional "0x" or "0X".
  bool scanHexInt(unsigned* out = nullptr);
  bool scanHexLongLong(unsigned long long* out = nullptr);

  /// A decimal floating-point number: optional sign, digits with an optional fraction
  /// (".5" and "5." are numbers), optional exponent. An "e" not followed by digits is
  /// left unread. Magnitudes out of range give ±infinity or a signed zero. "inf" and "nan"
  /// are words, not numbers: lens files use such words as names.
  bool scanDouble(double* out = nullptr);
  bool scanFloat(float* out = nullptr);

  /// The given text, matched by the scanner's case rule; `out` gets it as it stands in
  /// the scanned text.
  bool scanString(std::string_view string, std::string* out = nullptr);
  /// Everything up to the given text (or to the end when it never comes); fails when
  /// nothing lies before it.
  bool scanUpToString(std::string_view stop, std::string* out = nullptr);
  /// The longest run of characters in the set; fails when there is none.
  bool scanCharactersFromSet(const CharacterSet& set, std::string* out = nullptr);
  /// The longest run of characters not in the set; fails when there is none.
  bool scanUpToCharactersFromSet(const CharacterSet& set, std::string* out = nullptr);

  // --- Reading lens files ---------------------------------------------------------------

  /// A Hollerith field: a positive count n, the letter H, then exactly n characters taken
  /// as they stand (blanks included). A count of 0 or less, or no H after it, fails with
  /// the location after the count; a count running past the end of the text fails with
  /// the location restored.
  bool scanHollerithIntoString(std::string* out = nullptr);

  /// The text from the scan location to the end.
  std::string remainderString() const;

  /// A double-quoted string. Inside it a backslash takes the next character literally;
  /// in the result each backslash–quote pair becomes a quote (done in two passes, so a
  /// backslash before an escaped quote goes too) and other backslashes stay. Without a
  /// closing quote the string runs to the end of the text.
  ///
  /// `out` is cleared first. Fails, with the location restored, when no opening quote
  /// stands at the location. Also fails, with the location just after the opening quote,
  /// when that quote ends the text or the string is empty ("").
  bool scanQuotedString(std::string* out = nullptr);

  /// Scans numbers one after another into out[0], out[1], … until one fails or ten are
  /// read; returns how many were read. Elements after the last one read are untouched.
  int scanUpToTenDoublesInto(std::span<double, 10> out);

 private:
  /// The location after the characters to be skipped, from the current location.
  std::size_t skipped() const;
  /// Whether `string` stands at byte `at`, by the scanner's case rule.
  bool matchesAt(std::size_t at, std::string_view string) const;
  bool scanSignedDecimal(long long min, long long max, long long* out);
  bool scanHex(unsigned long long max, unsigned long long* out);

  std::string m_text;
  std::size_t m_location = 0;
  CharacterSet m_skip = CharacterSet::whitespaceAndNewlineCharacterSet();
  bool m_caseSensitive = false;
};

}  // namespace orb::foundation
