#include "foundation/platform/PasswordKeyedData.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exception.h"

namespace orb::foundation {
namespace {

platform::Data bytes(std::string_view text) { return {text.begin(), text.end()}; }

platform::Data fromHex(std::string_view hex) {
  platform::Data out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

// Pins the stored format: AES-128, CBC, zero IV, PKCS7. The first block is the FIPS-197
// example (a zero IV leaves it plain AES); the second, a whole block of padding chained
// to it, is what CBC gives.
TEST(PasswordKeyedData, EnciphersInTheStoredFormat) {
  const std::string password("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16);
  const platform::Data plain = fromHex("00112233445566778899aabbccddeeff");
  EXPECT_EQ(orbellineDataEncryptedWithPassword(plain, password),
            fromHex("69c4e0d86a7b0430d8cdb78070b4c55a9e978e6d16b086570ef794ef97984232"));
}

TEST(PasswordKeyedData, DecipheringReturnsTheData) {
  for (const std::size_t size : {0u, 1u, 15u, 16u, 17u, 1000u}) {
    SCOPED_TRACE(size);
    platform::Data plain(size);
    for (std::size_t i = 0; i < size; ++i) plain[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const platform::Data cipher = orbellineDataEncryptedWithPassword(plain, "abcde12");
    EXPECT_EQ(cipher.size(), (size / 16 + 1) * 16);
    EXPECT_EQ(orbellineDataDecryptedWithPassword(cipher, "abcde12"), plain);
  }
}

TEST(PasswordKeyedData, KeysFromTheFirstSixteenAsciiBytes) {
  EXPECT_EQ(orbellineCryptokeyWithPassword("0123456789abcdefWXYZ"), orbellineCryptokeyWithPassword("0123456789abcdef"));
  EXPECT_EQ(orbellineDataEncryptedWithPassword(bytes("glass"), "0123456789abcdefWXYZ"),
            orbellineDataEncryptedWithPassword(bytes("glass"), "0123456789abcdef"));
  EXPECT_EQ(orbellineCryptokeyWithPassword("abc"), (CryptoKey{'a', 'b', 'c'}));  // the rest zero

  // A non-ASCII password would otherwise key everything alike.
  EXPECT_THROW(orbellineCryptokeyWithPassword("pässword"), platform::Exception);
  EXPECT_THROW(orbellineDataEncryptedWithPassword(bytes("glass"), "pässword"), platform::Exception);
}

TEST(PasswordKeyedData, BadInputGivesNothingOrOtherBytes) {
  const platform::Data plain = bytes("N-BK7 1.5168 64.17, and a few more blocks of catalog text");
  const platform::Data cipher = orbellineDataEncryptedWithPassword(plain, "abcde12");

  for (const char* wrong : {"abcde13", "", "abcde12 "}) {
    SCOPED_TRACE(wrong);
    const auto decoded = orbellineDataDecryptedWithPassword(cipher, wrong);
    if (decoded) {
      EXPECT_NE(*decoded, plain);
    }
  }
  EXPECT_FALSE(orbellineDataDecryptedWithPassword(cipher, "pässword").has_value());

  struct Case {
    const char* name;
    platform::Data data;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"not-whole-blocks", platform::Data(cipher.begin(), cipher.end() - 1)},
      {"plain-text", bytes("0123456789abcdef")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto decoded = orbellineDataDecryptedWithPassword(c.data, "abcde12");
    if (decoded) {
      EXPECT_NE(*decoded, plain);
    }
  }
  EXPECT_FALSE(orbellineDataDecryptedWithPassword({}, "abcde12").has_value());
}

}  // namespace
}  // namespace orb::foundation
