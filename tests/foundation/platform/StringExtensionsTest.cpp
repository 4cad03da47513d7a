#include "foundation/platform/StringExtensions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/platform/NumberExtensions.h"
#include "platform/Exception.h"

namespace orb::foundation {
namespace {

TEST(StringExtensions, TurnsCamelCaseIntoASentence) {
  struct Case {
    const char* identifier;
    const char* sentence;
  };
  const std::vector<Case> cases = {
      {"setValue:forKey:", "Set value for key"},
      {"camelToEnglish", "Camel to english"},
      {"lens", "Lens"},
      {"URL", "U r l"},
      {"a:B", "A b"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.identifier);
    EXPECT_EQ(camelToEnglish(c.identifier), c.sentence);
  }
}

TEST(StringExtensions, SplitsLines) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"empty", "", {}},
      {"no-terminator", "a", {"a"}},
      {"final-terminator-adds-no-line", "a\nb\n", {"a", "b"}},
      {"every-terminator", "a\r\nb\rc\nd\u2028e\u2029f\u0085g", {"a", "b", "c", "d", "e", "f", "g"}},
      {"empty-lines-kept", "a\n\n\r\nb", {"a", "", "", "b"}},
      {"only-a-terminator", "\n", {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(lines(c.text), c.lines);
  }
}

TEST(StringExtensions, ReadsUnsignedValues) {
  EXPECT_EQ(unsignedIntValue("  42x"), 42u);
  EXPECT_EQ(unsignedIntValue("x"), 0u);
  EXPECT_EQ(unsignedIntValue("-1"), UINT32_MAX);
  EXPECT_EQ(unsignedIntValue("3000000000"), 3000000000u);  // past the int range
  EXPECT_EQ(unsignedIntValue("99999999999"), UINT32_MAX);
  EXPECT_EQ(unsignedLongLongValue("18446744073709551615"), UINT64_MAX);
  EXPECT_EQ(unsignedLongLongValue("-2"), UINT64_MAX - 1);
  EXPECT_EQ(intValue("99999999999"), INT32_MAX);
}

TEST(NumberExtensions, ApplyFunctionsToNumberValues) {
  EXPECT_DOUBLE_EQ(asinh(platform::Value(1.0)).asDouble(), std::asinh(1.0));
  EXPECT_DOUBLE_EQ(erfc(platform::Value(1)).asDouble(), std::erfc(1.0));
  EXPECT_TRUE(std::isnan(acosh(platform::Value(0.5)).asDouble()));
  EXPECT_EQ(csqrt(platform::Value(-4.0)), std::complex<double>(0, 2));
  EXPECT_EQ(csqrt(platform::Value(9)), std::complex<double>(3, 0));
  EXPECT_THROW(erf(platform::Value("1")), platform::Exception);
}

}  // namespace
}  // namespace orb::foundation
