#include "platform/Coder.h"

#include "platform/Exception.h"

namespace orb::platform {

void Coder::requireKeyed() { throw Exception("NSInvalidArchiveOperationException", "Require NSKeyedArchiver"); }

void Coder::wrongClass(std::string_view key, const Value& found) {
  std::string shown = found.description();
  if (shown.size() > 80) shown = shown.substr(0, 77) + "...";
  Exception::raise("NSInvalidArchiveOperationException", "value for key %.*s has the wrong class: %s",
                   static_cast<int>(key.size()), key.data(), shown.c_str());
}

void Coder::encodeObject(std::string_view, const Value&) { requireKeyed(); }
void Coder::encodeDouble(std::string_view, double) { requireKeyed(); }
void Coder::encodeInt(std::string_view, std::int64_t) { requireKeyed(); }
void Coder::encodeBool(std::string_view, bool) { requireKeyed(); }
bool Coder::containsValueForKey(std::string_view) const { requireKeyed(); }
Value Coder::decodeObject(std::string_view) const { requireKeyed(); }
double Coder::decodeDouble(std::string_view) const { requireKeyed(); }
std::int64_t Coder::decodeInt(std::string_view) const { requireKeyed(); }
bool Coder::decodeBool(std::string_view) const { requireKeyed(); }

std::string Coder::decodeString(std::string_view key) const {
  Value v = decodeObject(key);
  if (v.isNil()) return {};
  if (!v.isString()) wrongClass(key, v);
  return v.asString();
}

}  // namespace orb::platform
