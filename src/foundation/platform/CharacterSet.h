#pragma once

#include <bitset>
#include <string_view>
#include <utility>
#include <vector>

namespace orb::foundation {

/// An immutable set of Unicode code points, for the scanner's skipping and its
/// set-driven scans. Held as sorted, disjoint ranges with an ASCII bitmap in front, so the
/// common case (lens files are ASCII) is one bit test.
///
/// The named sets cover ASCII fully and Latin-1, Latin Extended, Greek and Cyrillic for
/// letters and case; digits are the ASCII digits only, which is what number scanning
/// accepts anyway.
class CharacterSet {
 public:
  /// The empty set: a scanner skipping it skips nothing.
  CharacterSet() = default;

  /// Blanks and tabs (Unicode space separators).
  static const CharacterSet& whitespaceCharacterSet();
  /// Line feed, carriage return, form feed, vertical tab, U+0085, U+2028, U+2029.
  static const CharacterSet& newlineCharacterSet();
  /// The union of the two above: what a scanner skips unless told otherwise.
  static const CharacterSet& whitespaceAndNewlineCharacterSet();
  static const CharacterSet& decimalDigitCharacterSet();
  static const CharacterSet& letterCharacterSet();
  static const CharacterSet& uppercaseLetterCharacterSet();
  static const CharacterSet& lowercaseLetterCharacterSet();
  static const CharacterSet& alphanumericCharacterSet();
  /// Punctuation proper: ! " # % & ' ( ) * , - . / : ; ? @ [ \ ] _ { } and their
  /// Latin-1 and general-punctuation kin; not the symbols $ + < = > ^ ` | ~.
  static const CharacterSet& punctuationCharacterSet();

  /// Every code point of UTF-8 text.
  static CharacterSet characterSetWithCharactersInString(std::string_view utf8);
  /// The code points first … last, both included.
  static CharacterSet characterSetWithRange(char32_t first, char32_t last);

  bool characterIsMember(char32_t c) const;
  CharacterSet invertedSet() const;
  CharacterSet unionWith(const CharacterSet& other) const;
  bool isEmpty() const { return m_ranges.empty(); }

  friend bool operator==(const CharacterSet& a, const CharacterSet& b) { return a.m_ranges == b.m_ranges; }

 private:
  using Range = std::pair<char32_t, char32_t>;
  explicit CharacterSet(std::vector<Range> ranges);
  void normalise();

  std::vector<Range> m_ranges;  // sorted, disjoint, not adjacent
  std::bitset<128> m_ascii;
};

}  // namespace orb::foundation
