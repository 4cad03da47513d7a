#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace orb::platform {

/// What an object's encodeWithCoder / initWithCoder talk to. Only keyed coders do
/// anything: every call on another kind of coder raises "NSInvalidArchiveOperationException"
/// with "Require NSKeyedArchiver", which is how classes refuse non-keyed archiving.
class Coder {
 public:
  virtual ~Coder() = default;
  virtual bool allowsKeyedCoding() const { return false; }

  // Encoding: numbers inline, anything else (strings, data, arrays, dictionaries,
  // objects) as a shared entry of the archive.
  virtual void encodeObject(std::string_view key, const Value& value);
  virtual void encodeDouble(std::string_view key, double value);
  virtual void encodeInt(std::string_view key, std::int64_t value);
  virtual void encodeBool(std::string_view key, bool value);

  // Decoding: absent keys give nil, 0 or false.
  virtual bool containsValueForKey(std::string_view key) const;
  virtual Value decodeObject(std::string_view key) const;
  virtual double decodeDouble(std::string_view key) const;
  virtual std::int64_t decodeInt(std::string_view key) const;
  virtual bool decodeBool(std::string_view key) const;

  /// The object under `key` as a T; nil gives null, anything else raises.
  template <class T>
  std::shared_ptr<T> decodeObjectOfClass(std::string_view key) const;
  /// An array whose elements must all be T objects.
  template <class T>
  std::vector<std::shared_ptr<T>> decodeArrayOfClass(std::string_view key) const;
  /// A string, or empty when absent; raises for other kinds.
  std::string decodeString(std::string_view key) const;

 protected:
  [[noreturn]] static void requireKeyed();
  [[noreturn]] static void wrongClass(std::string_view key, const Value& found);
};

template <class T>
std::shared_ptr<T> Coder::decodeObjectOfClass(std::string_view key) const {
  Value v = decodeObject(key);
  if (v.isNil()) return nullptr;
  auto t = v.objectIf<T>();
  if (!t) wrongClass(key, v);
  return t;
}

template <class T>
std::vector<std::shared_ptr<T>> Coder::decodeArrayOfClass(std::string_view key) const {
  Value v = decodeObject(key);
  std::vector<std::shared_ptr<T>> out;
  if (v.isNil()) return out;
  if (!v.isArray()) wrongClass(key, v);
  for (const auto& element : v.asArray()) {
    auto t = element.objectIf<T>();
    if (!t) wrongClass(key, element);
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace orb::platform
