#pragma once

#include <string>
#include <vector>

#include "platform/Coder.h"

namespace orb::lens::test {

/// A keyed coder over a plain dictionary: shows exactly which keys an object writes,
/// and lets a test hand an object an archive of its own making (older files).
class DictionaryCoder : public platform::Coder {
 public:
  platform::Dictionary values;

  bool allowsKeyedCoding() const override { return true; }
  void encodeObject(std::string_view key, const platform::Value& v) override { values.set(std::string(key), v); }
  void encodeDouble(std::string_view key, double v) override { values.set(std::string(key), v); }
  void encodeInt(std::string_view key, std::int64_t v) override { values.set(std::string(key), v); }
  void encodeBool(std::string_view key, bool v) override { values.set(std::string(key), v); }
  bool containsValueForKey(std::string_view key) const override { return values.contains(std::string(key)); }
  platform::Value decodeObject(std::string_view key) const override { return values.get(std::string(key)); }
  double decodeDouble(std::string_view key) const override {
    auto v = values.get(std::string(key));
    return v.isNil() ? 0 : v.asDouble();
  }
  std::int64_t decodeInt(std::string_view key) const override {
    auto v = values.get(std::string(key));
    return v.isNil() ? 0 : v.asInt();
  }
  bool decodeBool(std::string_view key) const override {
    auto v = values.get(std::string(key));
    return !v.isNil() && v.asBool();
  }

  std::vector<std::string> keys() const {
    std::vector<std::string> k;
    for (const auto& key : values.keys()) k.push_back(key.asString());
    return k;
  }
};

/// A coder that is not keyed.
class SequentialCoder : public platform::Coder {};

}  // namespace orb::lens::test
