#include "foundation/platform/CharacterSet.h"

#include <algorithm>

#include "foundation/platform/Utf8.h"

namespace orb::foundation {

namespace {
constexpr char32_t kLastCodePoint = 0x10FFFF;

CharacterSet fromRanges(std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
  CharacterSet set;
  for (const auto& [first, last] : ranges) set = set.unionWith(CharacterSet::characterSetWithRange(first, last));
  return set;
}
}  // namespace

CharacterSet::CharacterSet(std::vector<Range> ranges) : m_ranges(std::move(ranges)) { normalise(); }

void CharacterSet::normalise() {
  std::sort(m_ranges.begin(), m_ranges.end());
  std::vector<Range> merged;
  for (const Range& r : m_ranges) {
    if (r.first > r.second) continue;
    if (!merged.empty() && r.first <= merged.back().second + 1)
      merged.back().second = std::max(merged.back().second, r.second);
    else
      merged.push_back(r);
  }
  m_ranges = std::move(merged);
  m_ascii.reset();
  for (const Range& r : m_ranges)
    for (char32_t c = r.first; c <= r.second && c < 128; ++c) m_ascii.set(c);
}

bool CharacterSet::characterIsMember(char32_t c) const {
  if (c < 128) return m_ascii.test(c);
  // First range whose end is at or past c.
  auto it = std::lower_bound(m_ranges.begin(), m_ranges.end(), c,
                             [](const Range& r, char32_t value) { return r.second < value; });
  return it != m_ranges.end() && it->first <= c;
}

CharacterSet CharacterSet::invertedSet() const {
  std::vector<Range> gaps;
  char32_t next = 0;
  for (const Range& r : m_ranges) {
    if (r.first > next) gaps.emplace_back(next, r.first - 1);
    next = r.second + 1;
  }
  if (next <= kLastCodePoint) gaps.emplace_back(next, kLastCodePoint);
  return CharacterSet(std::move(gaps));
}

CharacterSet CharacterSet::unionWith(const CharacterSet& other) const {
  std::vector<Range> all = m_ranges;
  all.insert(all.end(), other.m_ranges.begin(), other.m_ranges.end());
  return CharacterSet(std::move(all));
}

CharacterSet CharacterSet::characterSetWithRange(char32_t first, char32_t last) {
  last = std::min(last, kLastCodePoint);
  if (first > last) return {};
  return CharacterSet({{first, last}});
}

CharacterSet CharacterSet::characterSetWithCharactersInString(std::string_view utf8) {
  std::vector<Range> ranges;
  for (std::size_t i = 0; i < utf8.size();) {
    const DecodedCharacter d = decodeUtf8(utf8, i);
    ranges.emplace_back(d.codePoint, d.codePoint);
    i += d.length;
  }
  return CharacterSet(std::move(ranges));
}

const CharacterSet& CharacterSet::whitespaceCharacterSet() {
  static const CharacterSet set = fromRanges(
      {{0x09, 0x09}, {0x20, 0x20}, {0xA0, 0xA0}, {0x1680, 0x1680}, {0x2000, 0x200A}, {0x202F, 0x202F},
       {0x205F, 0x205F}, {0x3000, 0x3000}});
  return set;
}

const CharacterSet& CharacterSet::newlineCharacterSet() {
  static const CharacterSet set = fromRanges({{0x0A, 0x0D}, {0x85, 0x85}, {0x2028, 0x2029}});
  return set;
}

const CharacterSet& CharacterSet::whitespaceAndNewlineCharacterSet() {
  static const CharacterSet set = whitespaceCharacterSet().unionWith(newlineCharacterSet());
  return set;
}

const CharacterSet& CharacterSet::decimalDigitCharacterSet() {
  static const CharacterSet set = characterSetWithRange('0', '9');
  return set;
}

const CharacterSet& CharacterSet::uppercaseLetterCharacterSet() {
  static const CharacterSet set = [] {
    CharacterSet s =
        fromRanges({{'A', 'Z'}, {0xC0, 0xD6}, {0xD8, 0xDE}, {0x391, 0x3A1}, {0x3A3, 0x3A9}, {0x400, 0x42F}});
    // Latin Extended-A pairs upper and lower case, upper on the even code point.
    for (char32_t c = 0x100; c < 0x138; c += 2) s = s.unionWith(characterSetWithRange(c, c));
    return s;
  }();
  return set;
}

const CharacterSet& CharacterSet::lowercaseLetterCharacterSet() {
  static const CharacterSet set = [] {
    CharacterSet s = fromRanges({{'a', 'z'}, {0xB5, 0xB5}, {0xDF, 0xF6}, {0xF8, 0xFF}, {0x3AC, 0x3CE}, {0x430, 0x45F}});
    for (char32_t c = 0x101; c < 0x138; c += 2) s = s.unionWith(characterSetWithRange(c, c));
    return s;
  }();
  return set;
}

const CharacterSet& CharacterSet::letterCharacterSet() {
  static const CharacterSet set = uppercaseLetterCharacterSet()
                                      .unionWith(lowercaseLetterCharacterSet())
                                      .unionWith(fromRanges({{0xAA, 0xAA}, {0xBA, 0xBA}, {0x100, 0x24F}, {0x370, 0x373},
                                                             {0x376, 0x377}, {0x37B, 0x37D}, {0x386, 0x386},
                                                             {0x388, 0x3FF}, {0x400, 0x481}, {0x48A, 0x52F}}));
  return set;
}

const CharacterSet& CharacterSet::alphanumericCharacterSet() {
  static const CharacterSet set = letterCharacterSet().unionWith(decimalDigitCharacterSet());
  return set;
}

const CharacterSet& CharacterSet::punctuationCharacterSet() {
  static const CharacterSet set = characterSetWithCharactersInString("!\"#%&'()*,-./:;?@[\\]_{}").unionWith(
      fromRanges({{0xA1, 0xA1}, {0xA7, 0xA7}, {0xAB, 0xAB}, {0xB6, 0xB7}, {0xBB, 0xBB}, {0xBF, 0xBF},
                  {0x2010, 0x2027}, {0x2030, 0x2043}, {0x2045, 0x2051}, {0x2053, 0x205E}}));
  return set;
}

}  // namespace orb::foundation
