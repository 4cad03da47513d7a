#include "interchange/TextDecoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orb::interchange {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> b) { return std::vector<std::uint8_t>(b.begin(), b.end()); }

TEST(TextDecoding, EachEncodingGivesTheSameUtf8Text) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> input;
    std::string text;
    TextEncoding encoding;
  };
  const std::vector<Case> cases = {
      {"utf16le-bom", bytes({0xFF, 0xFE, 'N', 0, 0xD8, 0, '\r', 0, '\n', 0}), "N\xC3\x98\r\n", TextEncoding::Utf16LE},
      {"utf16be-bom", bytes({0xFE, 0xFF, 0, 'N', 0, 0xD8}), "N\xC3\x98", TextEncoding::Utf16BE},
      {"utf16-surrogate-pair", bytes({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80", TextEncoding::Utf16LE},
      {"utf8-bom", bytes({0xEF, 0xBB, 0xBF, 'A', 0xC3, 0x98}), "A\xC3\x98", TextEncoding::Utf8},
      {"utf8", bytes({'A', 0xC3, 0x98}), "A\xC3\x98", TextEncoding::Utf8},
      {"ascii", bytes({'S', 'U', 'R', 'F', '\r', '\n'}), "SURF\r\n", TextEncoding::Ascii},
      // A lone Latin-1 byte is no UTF-8: it is taken as ISO-8859-1, not stripped of bit 7.
      {"latin1", bytes({0xD8, '1', '8', ' ', 0xB5, 'm'}), "\xC3\x98" "18 \xC2\xB5m", TextEncoding::Latin1},
      {"empty", {}, "", TextEncoding::Ascii},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto decoded = decodeText(c.input);
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.encoding, c.encoding) << textEncodingName(decoded.encoding);
  }
}

TEST(TextDecoding, MissingFileSaysWhy) {
  std::string why;
  EXPECT_FALSE(readTextFile("/nonexistent/lens.zmx", &why));
  EXPECT_NE(why.find("/nonexistent/lens.zmx"), std::string::npos);
}

}  // namespace
}  // namespace orb::interchange
