#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb::platform;

namespace {

/// A binary property list of the given encoded objects (marker byte first), the first
/// being the top; references and offsets are as wide as they need to be.
Data binaryPlist(const std::vector<Data>& objects, unsigned refSize = 1) {
  Data out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<std::uint64_t> offsets;
  for (const auto& o : objects) {
    offsets.push_back(out.size());
    out.insert(out.end(), o.begin(), o.end());
  }
  const std::uint64_t table = out.size();
  unsigned offsetSize = 1;
  while ((table >> (8 * offsetSize)) != 0) ++offsetSize;
  auto be = [&](std::uint64_t v, unsigned n) {
    for (unsigned i = n; i-- > 0;) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  for (auto o : offsets) be(o, offsetSize);
  for (int i = 0; i < 6; ++i) out.push_back(0);
  out.push_back(static_cast<std::uint8_t>(offsetSize));
  out.push_back(static_cast<std::uint8_t>(refSize));
  be(objects.size(), 8);
  be(0, 8);
  be(table, 8);
  return out;
}

Data utf16(std::initializer_list<std::uint16_t> units) {
  Data o{static_cast<std::uint8_t>(0x60 | units.size())};
  for (auto u : units) {
    o.push_back(static_cast<std::uint8_t>(u >> 8));
    o.push_back(static_cast<std::uint8_t>(u));
  }
  return o;
}

std::string deepXml(int levels) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
  for (int i = 0; i < levels; ++i) s += "<array>";
  for (int i = 0; i < levels; ++i) s += "</array>";
  return s + "</plist>\n";
}

Data bytesOf(const std::string& s) { return Data(s.begin(), s.end()); }

}  // namespace

// libplist aborts when asked for a string with a NUL before its end, and parses or frees
// deep nesting by recursion: each of these must come back as an exception, not a crash.
TEST(PropertyList, HostileBytesRaiseInsteadOfCrashing) {
  std::vector<Data> deepBinary;
  for (std::uint32_t i = 0; i < 200000; ++i) {
    deepBinary.push_back(i + 1 < 200000 ? Data{0xA1, static_cast<std::uint8_t>((i + 1) >> 16),
                                               static_cast<std::uint8_t>((i + 1) >> 8), static_cast<std::uint8_t>(i + 1)}
                                        : Data{0xA0});
  }
  struct Case {
    const char* name;
    Data bytes;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"utf16-string-with-nul", binaryPlist({utf16({'a', 0, 'b'})}), "NUL"},
      {"utf16-key-with-nul", binaryPlist({{0xD1, 1, 2}, utf16({'k', 0}), {0x51, 'v'}}), "NUL"},
      {"ascii-string-with-nul", binaryPlist({{0x53, 'a', 0, 'b'}}), "NUL"},
      {"xml-200000-deep", bytesOf(deepXml(200000)), "nested too deeply"},
      {"binary-200000-deep", binaryPlist(deepBinary, 3), "nested too deeply"},
      // Every reference to an entry makes libplist copy it: 60 levels of two references.
      {"binary-shared-chain", [] {
         std::vector<Data> chain;
         for (std::uint8_t i = 0; i < 60; ++i) chain.push_back(Data{0xA2, static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 1)});
         chain.push_back(Data{0xA0});
         return binaryPlist(chain);
       }(), "expand"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      plist::parse(c.bytes);
      ADD_FAILURE() << "parsed";
    } catch (const Exception& e) {
      EXPECT_NE(e.reason().find(c.reason), std::string::npos) << e.reason();
    }
    EXPECT_THROW(KeyedUnarchiver::unarchiveObjectWithData(c.bytes), Exception);
  }
  // Nesting up to the limit the readers accept is still read.
  EXPECT_NO_THROW(plist::parse(bytesOf(deepXml(1000))));
}

// Strings whose bytes are not UTF-8 are read as Latin-1, so that what was read can be
// written and read again.
TEST(PropertyList, StringsThatAreNotUtf8AreReadAsLatin1AndWriteBack) {
  const Value read = plist::parse(binaryPlist({{0x54, 'c', 'a', 0xE9, 0xFF}}));
  EXPECT_EQ(read, Value("ca\u00e9\u00ff"));
  // The overlong NUL a file may hold is two Latin-1 characters, not a NUL.
  const Value overlong = plist::parse(binaryPlist({{0x53, 'x', 0xC0, 0x80}}));
  EXPECT_EQ(overlong, Value("x\u00c0\u0080"));
  const Value key = plist::parse(binaryPlist({{0xD1, 1, 2}, {0x52, 0xB5, 'm'}, {0x51, 'v'}}));
  EXPECT_TRUE(key.asDictionary().contains(Value("\u00b5m")));
  for (auto format : {PlistFormat::Binary, PlistFormat::XML}) {
    EXPECT_EQ(plist::parse(plist::serialize(read, format)), read);
    EXPECT_EQ(plist::parse(plist::serialize(key, format)), key);
    EXPECT_EQ(plist::parse(plist::serialize(overlong, format)), overlong);
  }
  // Valid UTF-8, in or out of the basic plane, is kept as it is.
  const Value utf8("\u00e9\u4e2d");
  EXPECT_EQ(plist::parse(plist::serialize(utf8, PlistFormat::Binary)), utf8);
}

// A value libplist would write as bytes it cannot read back never replaces a good file.
TEST(PropertyList, AFileIsOnlyReplacedByOneThatReadsBack) {
  const auto dir = std::filesystem::temp_directory_path() / ("orb-plist-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "settings.plist").string();
  plist::writePlistFile(path, Value(Dictionary{{"name", "good"}}), PlistFormat::Binary);
  // Overlong forms of NUL: libplist writes them as a NUL, which it cannot read back.
  for (const char* bad : {"x\xC0\x80yz", "x\xE0\x80yz", "\xC0\xC0"}) {
    SCOPED_TRACE(bad);
    try {
      plist::writePlistFile(path, Value(Dictionary{{"name", bad}}), PlistFormat::Binary);
    } catch (const Exception& e) {
      EXPECT_NE(e.reason().find("read back"), std::string::npos) << e.reason();
    }
    EXPECT_NO_THROW(plist::readPlistFile(path));
    // Documents go through the same check.
    const std::string document = (dir / "lens.orb").string();
    KeyedArchiver::archiveRootObjectToFile(Value("good"), document);
    EXPECT_THROW(KeyedArchiver::archiveRootObjectToFile(Value(Array{bad}), document), Exception);
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithFile(document), Value("good"));
  }
  std::filesystem::remove_all(dir);
}
