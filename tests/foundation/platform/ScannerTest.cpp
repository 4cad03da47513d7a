#include "foundation/platform/Scanner.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace orb::foundation {
namespace {

TEST(CharacterSet, CombinesAndInvertsRanges) {
  const CharacterSet digits = CharacterSet::decimalDigitCharacterSet();
  const CharacterSet notDigits = digits.invertedSet();
  EXPECT_FALSE(notDigits.characterIsMember(U'5'));
  EXPECT_TRUE(notDigits.characterIsMember(U'a'));
  EXPECT_TRUE(notDigits.characterIsMember(U'\U0010FFFF'));
  EXPECT_EQ(notDigits.invertedSet(), digits);

  const CharacterSet some = CharacterSet::characterSetWithCharactersInString("αb").unionWith(digits);
  EXPECT_TRUE(some.characterIsMember(U'α'));
  EXPECT_TRUE(some.characterIsMember(U'b'));
  EXPECT_TRUE(some.characterIsMember(U'0'));
  EXPECT_FALSE(some.characterIsMember(U'β'));
  EXPECT_TRUE(CharacterSet::uppercaseLetterCharacterSet().characterIsMember(U'Ä'));
  EXPECT_FALSE(CharacterSet::uppercaseLetterCharacterSet().characterIsMember(U'ä'));
}

struct DoubleCase {
  const char* name;
  const char* text;
  bool ok;
  double value;
  const char* rest;  // what remains after the scan
};

TEST(Scanner, ScansDoublesAndLeavesWhatFollows) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<DoubleCase> cases = {
      {"plain", "1.5", true, 1.5, ""},
      {"blanks-sign-exponent", " \n -2.5e3x", true, -2500, "x"},
      {"explicit-plus", "+3", true, 3, ""},
      {"leading-point", ".5 a", true, 0.5, " a"},
      {"trailing-point", "5.", true, 5, ""},
      {"exponent-without-digits", "1e", true, 1, "e"},
      {"exponent-sign-without-digits", "1e+x", true, 1, "e+x"},
      {"comma-is-not-a-separator", "1,5", true, 1, ",5"},
      {"overflow-is-infinite", "-1e999", true, -inf, ""},
      {"underflow-is-zero", "1e-999", true, 0, ""},
      {"lone-point", ". 1", false, 0, ". 1"},
      {"lone-sign", "- 1", false, 0, "- 1"},
      {"infinity-is-a-word", "inf", false, 0, "inf"},
      {"nan-is-a-word", "nan", false, 0, "nan"},
      {"empty", "", false, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scanner scanner(c.text);
    double value = -42;
    EXPECT_EQ(scanner.scanDouble(&value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : -42);
    EXPECT_EQ(scanner.remainderString(), c.ok ? std::string(c.rest) : std::string(c.text));
  }
}

TEST(Scanner, DoublesIgnoreTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"})
    if (std::setlocale(LC_NUMERIC, name)) {
      switched = true;
      break;
    }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
  Scanner scanner("1.5");
  double value = 0;
  const bool ok = scanner.scanDouble(&value);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_TRUE(ok);
  EXPECT_EQ(value, 1.5);
}

TEST(Scanner, ScansIntegersClampingOverflow) {
  struct Case {
    const char* name;
    const char* text;
    bool ok;
    long long value;
    const char* rest;
  };
  const std::vector<Case> cases = {
      {"digits-then-word", "42abc", true, 42, "abc"},
      {"negative", " -7", true, -7, ""},
      {"fraction-left-unread", "3.9", true, 3, ".9"},
      {"overflow-consumes-all-digits", "99999999999 x", true, INT_MAX, " x"},
      {"negative-overflow", "-99999999999", true, INT_MIN, ""},
      {"smallest-int", "-2147483648", true, INT_MIN, ""},
      {"sign-alone", "+ 1", false, 0, "+ 1"},
      {"word", "abc", false, 0, "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scanner scanner(c.text);
    int value = -42;
    EXPECT_EQ(scanner.scanInt(&value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : -42);
    EXPECT_EQ(scanner.remainderString(), c.rest);
  }

  long long wide = 0;
  EXPECT_TRUE(Scanner("-9223372036854775808").scanLongLong(&wide));
  EXPECT_EQ(wide, LLONG_MIN);
  EXPECT_TRUE(Scanner("99999999999999999999").scanLongLong(&wide));
  EXPECT_EQ(wide, LLONG_MAX);
  unsigned long long unsignedWide = 0;
  EXPECT_TRUE(Scanner("18446744073709551615").scanUnsignedLongLong(&unsignedWide));
  EXPECT_EQ(unsignedWide, ULLONG_MAX);
  EXPECT_FALSE(Scanner("-1").scanUnsignedLongLong(&unsignedWide));

  unsigned hex = 0;
  EXPECT_TRUE(Scanner("0x1F").scanHexInt(&hex));
  EXPECT_EQ(hex, 31u);
  Scanner bareZero("0xg");
  EXPECT_TRUE(bareZero.scanHexInt(&hex));
  EXPECT_EQ(hex, 0u);
  EXPECT_EQ(bareZero.remainderString(), "xg");
}

TEST(Scanner, FailedScanRestoresTheLocationBeforeSkipping) {
  Scanner scanner("   abc 12");
  EXPECT_FALSE(scanner.scanInt());
  EXPECT_FALSE(scanner.scanString("x"));
  EXPECT_FALSE(scanner.scanCharactersFromSet(CharacterSet::decimalDigitCharacterSet()));
  EXPECT_EQ(scanner.scanLocation(), 0u);
  std::string word;
  EXPECT_TRUE(scanner.scanUpToCharactersFromSet(CharacterSet::whitespaceCharacterSet(), &word));
  EXPECT_EQ(word, "abc");
  EXPECT_FALSE(scanner.isAtEnd());
  EXPECT_TRUE(scanner.scanInt());
  EXPECT_TRUE(scanner.isAtEnd());
}

TEST(Scanner, MatchesTextIgnoringCaseUnlessToldOtherwise) {
  Scanner scanner("Surface 3 END rest");
  std::string matched;
  EXPECT_TRUE(scanner.scanString("SURF", &matched));
  EXPECT_EQ(matched, "Surf");  // as it stands in the text
  std::string before;
  EXPECT_TRUE(scanner.scanUpToString("end", &before));
  EXPECT_EQ(before, "ace 3 ");
  EXPECT_FALSE(scanner.scanUpToString("end"));  // nothing before it

  scanner.setCaseSensitive(true);
  EXPECT_FALSE(scanner.scanString("end"));
  EXPECT_TRUE(scanner.scanString("END"));
  EXPECT_TRUE(scanner.scanUpToString("never", &before));
  EXPECT_EQ(before, "rest");
  EXPECT_TRUE(scanner.isAtEnd());
}

TEST(Scanner, SkipsOnlyTheCharactersItIsGiven) {
  Scanner scanner("  ;;12;x  ");
  scanner.setCharactersToBeSkipped(CharacterSet::characterSetWithCharactersInString(" ;"));
  int value = 0;
  EXPECT_TRUE(scanner.scanInt(&value));
  EXPECT_EQ(value, 12);
  scanner.setCharactersToBeSkipped(CharacterSet());
  std::string punctuation;
  EXPECT_TRUE(scanner.scanCharactersFromSet(CharacterSet::punctuationCharacterSet(), &punctuation));
  EXPECT_EQ(punctuation, ";");
  EXPECT_TRUE(scanner.scanString("x"));
  EXPECT_FALSE(scanner.isAtEnd());  // blanks count when nothing is skipped
}

TEST(Scanner, ScansMultiByteCharactersWhole) {
  Scanner scanner("αβγ\u2003δ1");
  std::string word;
  EXPECT_TRUE(scanner.scanCharactersFromSet(CharacterSet::letterCharacterSet(), &word));
  EXPECT_EQ(word, "αβγ");
  // U+2003 (em space) is white space and skipped.
  EXPECT_TRUE(scanner.scanUpToCharactersFromSet(CharacterSet::decimalDigitCharacterSet(), &word));
  EXPECT_EQ(word, "δ");
}

TEST(Scanner, RefusesALocationPastTheEnd) {
  Scanner scanner("abc");
  scanner.setScanLocation(3);
  EXPECT_TRUE(scanner.isAtEnd());
  try {
    scanner.setScanLocation(4);
    FAIL() << "expected an exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSRangeException");
  }
}

struct FieldCase {
  const char* name;
  const char* text;
  bool ok;
  const char* field;
  std::size_t location;  // scan location afterwards
};

TEST(Scanner, ScansHollerithFields) {
  const std::vector<FieldCase> cases = {
      {"takes-exactly-n", "5HHELLO WORLD", true, "HELLO", 7},
      {"keeps-blanks", " 3H a b", true, " a ", 6},
      {"lower-case-h", "2hxy", true, "xy", 4},
      {"counts-characters-not-bytes", "2Hαβ!", true, "αβ", 6},
      {"count-past-the-end-restores", "  5Habc", false, "", 0},
      {"zero-count", "0Hx", false, "", 1},
      {"negative-count", "-2Hxy", false, "", 2},
      {"no-h", "3 abc", false, "", 1},
      {"no-count", "Habc", false, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scanner scanner(c.text);
    std::string field = "untouched";
    EXPECT_EQ(scanner.scanHollerithIntoString(&field), c.ok);
    EXPECT_EQ(field, c.ok ? std::string(c.field) : "untouched");
    EXPECT_EQ(scanner.scanLocation(), c.location);
  }
}

TEST(Scanner, ScansQuotedStrings) {
  const std::vector<FieldCase> cases = {
      {"escaped-quote", "\"ab\\\"c\" rest", true, "ab\"c", 7},
      {"after-blanks", "  \"lens 1\"", true, "lens 1", 10},
      {"other-backslashes-stay", "\"a\\\\b\"", true, "a\\\\b", 6},
      {"second-pass-unescapes-again", "\"x\\\\\\\"y\"", true, "x\\\"y", 8},
      {"unterminated-runs-to-end", "\"abc", true, "abc", 4},
      {"empty-string", "\"\" x", false, "", 1},
      {"quote-at-end", "  \"", false, "", 3},
      {"no-quote-restores", "  abc", false, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scanner scanner(c.text);
    std::string out = "stale";
    EXPECT_EQ(scanner.scanQuotedString(&out), c.ok);
    EXPECT_EQ(out, c.field);  // cleared even on failure
    EXPECT_EQ(scanner.scanLocation(), c.location);
  }
}

TEST(Scanner, ScansUpToTenDoubles) {
  std::array<double, 10> out;
  out.fill(-1);
  Scanner few("1 2 3 x");
  EXPECT_EQ(few.scanUpToTenDoublesInto(out), 3);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(out[3], -1);
  EXPECT_EQ(few.remainderString(), " x");

  Scanner many("1 2 3 4 5 6 7 8 9 10 11 12");
  EXPECT_EQ(many.scanUpToTenDoublesInto(out), 10);
  EXPECT_EQ(out[9], 10);
  EXPECT_EQ(many.remainderString(), " 11 12");

  Scanner none("x");
  EXPECT_EQ(none.scanUpToTenDoublesInto(out), 0);
}

}  // namespace
}  // namespace orb::foundation
