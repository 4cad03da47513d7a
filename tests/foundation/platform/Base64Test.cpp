#include "foundation/platform/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orb::foundation {
namespace {

platform::Data bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Base64, EncodesAndDecodesKnownVectors) {
  struct Case {
    const char* plain;
    const char* encoded;
  };
  const std::vector<Case> cases = {
      {"", ""},           {"a", "YQ=="},         {"ab", "YWI="},           {"abc", "YWJj"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(base64StringFromData(bytes(c.plain)), c.encoded);
    EXPECT_EQ(dataFromBase64String(c.encoded), bytes(c.plain));
  }
}

TEST(Base64, RoundTripsEveryByteOnOneLine) {
  platform::Data all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(255 - i));
  for (const std::int32_t length : {0, 64, 76, -1}) {
    SCOPED_TRACE(length);
    const std::string text = base64StringFromData(all, length);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(dataFromBase64String(text), all);
  }
}

TEST(Base64, DecodesLeniently) {
  struct Case {
    const char* name;
    const char* text;
    const char* plain;
  };
  const std::vector<Case> cases = {
      {"line-breaks-and-blanks", "Zm9v\r\nYm\tFy \n", "foobar"},
      {"line-break-in-padding-group", "YW\nI=", "ab"},
      {"non-ascii-skipped-whole", "Zm\u00e99vYmFy", "foobar"},
      {"nothing-after-first-equals", "YQ==YWJj", "a"},
      {"single-value-before-equals", "YWJjY=", "abc"},
      {"unpadded-tail-dropped", "YWJjYQ", "abc"},
      {"only-junk", "!!\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dataFromBase64String(c.text), bytes(c.plain));
  }
}

}  // namespace
}  // namespace orb::foundation
