#pragma once

#include <plist/plist.h>

#include <string>
#include <vector>

#include "platform/Coder.h"
#include "platform/PlistNode.h"
#include "platform/PropertyList.h"

namespace orb::platform {

/// Reads a keyed archive (binary or XML property list). Only classes registered with
/// ArchiveRegistry are made; a damaged, truncated or hostile archive raises
/// "NSInvalidArchiveOperationException" with a reason, never crashes.
class KeyedUnarchiver : public Coder {
 public:
  explicit KeyedUnarchiver(const Data& archive);
  ~KeyedUnarchiver() override;
  KeyedUnarchiver(const KeyedUnarchiver&) = delete;
  KeyedUnarchiver& operator=(const KeyedUnarchiver&) = delete;

  bool allowsKeyedCoding() const override { return true; }
  bool containsValueForKey(std::string_view key) const override;
  Value decodeObject(std::string_view key) const override;
  double decodeDouble(std::string_view key) const override;
  std::int64_t decodeInt(std::string_view key) const override;
  bool decodeBool(std::string_view key) const override;

  /// The object under "root" of "$top" (or its only entry).
  Value decodeRootObject();

  static Value unarchiveObjectWithData(const Data& archive);
  static Value unarchiveObjectWithFile(const std::string& path);

 private:
  Value decodeUID(std::uint64_t uid) const;
  Value decodeNode(plist_t node, std::uint64_t uid) const;
  Value decodeInline(std::string_view key) const;
  plist_t item(std::string_view key) const;
  [[noreturn]] void damaged(const std::string& why) const;

  std::uint64_t countExpanded(std::uint64_t sum, std::uint64_t uid) const;

  detail::PlistHolder m_root;
  std::vector<plist_t> m_objects;  // the $objects entries, indexed once: libplist walks a list per lookup
  std::uint32_t m_count = 0;
  mutable std::vector<Value> m_decoded;
  mutable std::vector<unsigned char> m_state;  // 0 not yet, 1 in progress, 2 done
  mutable std::vector<plist_t> m_current;
  mutable std::vector<std::uint64_t> m_expanded;  // values under a decoded collection, every copy counted
  mutable int m_depth = 0;
};

}  // namespace orb::platform
