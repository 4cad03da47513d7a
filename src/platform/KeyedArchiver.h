#pragma once

#include <plist/plist.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Coder.h"
#include "platform/PropertyList.h"

namespace orb::platform {

/// Writes a graph of values and objects as a keyed archive: a property list with
/// "$archiver", "$version", "$top" and "$objects", objects referring to each other by UID
/// and naming their class (and its superclasses) in "$class" entries. An object reached
/// twice is written once, so sharing and cycles survive the round trip.
class KeyedArchiver : public Coder {
 public:
  KeyedArchiver();
  ~KeyedArchiver() override;
  KeyedArchiver(const KeyedArchiver&) = delete;
  KeyedArchiver& operator=(const KeyedArchiver&) = delete;

  bool allowsKeyedCoding() const override { return true; }
  void encodeObject(std::string_view key, const Value& value) override;
  void encodeDouble(std::string_view key, double value) override;
  void encodeInt(std::string_view key, std::int64_t value) override;
  void encodeBool(std::string_view key, bool value) override;

  /// Encodes `root` under "root" of "$top".
  void encodeRootObject(const Value& root);
  /// The finished archive.
  Data archivedData(PlistFormat format = PlistFormat::Binary);

  static Data archivedDataWithRootObject(const Value& root, PlistFormat format = PlistFormat::Binary);
  /// Writes atomically (platform::writeFileAtomically), and only an archive that reads
  /// back: a failure leaves an existing file whole. Raises on failure.
  static void archiveRootObjectToFile(const Value& root, const std::string& path,
                                      PlistFormat format = PlistFormat::Binary);

 private:
  std::uint64_t encodeValue(const Value& value);
  std::uint64_t reserve();
  std::optional<std::uint64_t> sharedUID(const Value& value) const;
  std::uint64_t reserveShared(const Value& value);
  std::uint64_t classUID(const std::string& name);
  void setInCurrent(std::string_view key, plist_t node);

  std::vector<plist_t> m_objects;  // index = UID; slot 0 is "$null"
  std::unordered_map<const Object*, std::uint64_t> m_objectUIDs;
  std::unordered_map<std::string, std::uint64_t> m_stringUIDs;
  std::unordered_map<const void*, std::uint64_t> m_sharedUIDs;  // data, arrays, dictionaries by storage
  std::vector<Value> m_keptAlive;
  std::unordered_map<std::string, std::uint64_t> m_classUIDs;
  std::vector<plist_t> m_current;  // the dictionaries of the objects being encoded
  plist_t m_top;
};

}  // namespace orb::platform
