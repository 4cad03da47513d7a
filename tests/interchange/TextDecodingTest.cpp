#include "interchange/TextDecoding.h"

#include <gtest/gtest.h>

#include <optional>
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
      {"utf8-bom", bytes({0xEF, 0xBB, 0xBF, 'A', 0xC3, 0x98}), "A\xC3\x98", TextEncoding::Utf8WithMark},
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

// The bytes written back are those the decoder takes for the same text and encoding; an
// encoding without room for a character refuses the text.
TEST(TextDecoding, EncodingWritesWhatTheDecoderReads) {
  struct Case {
    const char* name;
    std::string text;
    TextEncoding encoding;
    std::optional<std::vector<std::uint8_t>> output;
  };
  const std::vector<Case> cases = {
      {"latin1", "\xC3\x98" "18 \xC2\xB5m", TextEncoding::Latin1, bytes({0xD8, '1', '8', ' ', 0xB5, 'm'})},
      {"latin1-no-lambda", "\xCE\xBB", TextEncoding::Latin1, std::nullopt},
      {"ascii", "SURF\r\n", TextEncoding::Ascii, bytes({'S', 'U', 'R', 'F', '\r', '\n'})},
      {"ascii-no-o-slash", "\xC3\x98", TextEncoding::Ascii, std::nullopt},
      {"utf8", "A\xC3\x98", TextEncoding::Utf8, bytes({'A', 0xC3, 0x98})},
      {"utf8-bom", "A\xC3\x98", TextEncoding::Utf8WithMark, bytes({0xEF, 0xBB, 0xBF, 'A', 0xC3, 0x98})},
      {"utf16le", "N\xCE\xBB\xF0\x9F\x98\x80", TextEncoding::Utf16LE,
       bytes({0xFF, 0xFE, 'N', 0, 0xBB, 0x03, 0x3D, 0xD8, 0x00, 0xDE})},
      {"utf16be", "N\xC3\x98", TextEncoding::Utf16BE, bytes({0xFE, 0xFF, 0, 'N', 0, 0xD8})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto encoded = encodeText(c.text, c.encoding);
    ASSERT_EQ(encoded.has_value(), c.output.has_value());
    if (!encoded) continue;
    EXPECT_EQ(std::vector<std::uint8_t>(encoded->begin(), encoded->end()), *c.output);
    const auto decoded = decodeText(*c.output);
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(decoded.encoding, c.encoding);
  }
}

TEST(TextDecoding, MissingFileSaysWhy) {
  std::string why;
  EXPECT_FALSE(readTextFile("/nonexistent/lens.zmx", &why));
  EXPECT_NE(why.find("/nonexistent/lens.zmx"), std::string::npos);
}

}  // namespace
}  // namespace orb::interchange
