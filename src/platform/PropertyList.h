#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace orb::platform {

enum class PlistFormat { Binary, XML };

/// Property lists: the file form of user defaults, keyed archives and resource tables.
/// Values map one to one: bool, integer, real (NaN and infinities included), string,
/// data, array, dictionary (string keys). Reading accepts binary and XML alike and
/// raises a clear Exception on damaged input.
namespace plist {

Data serialize(const Value& value, PlistFormat format);
Value parse(const Data& bytes, const std::string& what = "property list");

/// Serializes and parses the result again, raising when it would not read back: what
/// libplist writes for some strings it cannot read, and a good file must not be replaced
/// by one that cannot be opened.
Data serializeReadably(const Value& value, PlistFormat format, const std::string& what);
void verifyReadable(const Data& bytes, const std::string& what);

/// Reads a whole file; nothing when it cannot be opened.
std::optional<Data> readFile(const std::string& path);
/// platform::writeFileAtomically, for callers that think in property lists.
void writeFileAtomically(const std::string& path, const Data& bytes);

Value readPlistFile(const std::string& path);
void writePlistFile(const std::string& path, const Value& value, PlistFormat format);

}  // namespace plist
}  // namespace orb::platform
