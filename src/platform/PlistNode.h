#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PropertyList.h"
#include "platform/Value.h"

namespace orb::platform::detail {

/// Owns a libplist node tree (frees it on scope exit unless released).
class PlistHolder {
 public:
  explicit PlistHolder(plist_t node = nullptr) : m_node(node) {}
  ~PlistHolder() {
    if (m_node) plist_free(m_node);
  }
  PlistHolder(const PlistHolder&) = delete;
  PlistHolder& operator=(const PlistHolder&) = delete;
  plist_t get() const { return m_node; }
  plist_t release() {
    plist_t n = m_node;
    m_node = nullptr;
    return n;
  }

 private:
  plist_t m_node;
};

/// Nesting and size beyond these only come from damaged or hostile files; they are
/// refused before libplist, which recurses and copies shared entries, sees the bytes.
constexpr std::size_t kMaxPlistNesting = 5000;
constexpr std::uint64_t kMaxPlistNodes = 1u << 22;

/// Refuses, as Exception(errorName, "<what> is damaged: ..."), bytes that would take
/// libplist too deep, expand too far, or hold a string with a NUL character.
void checkBeforeParsing(const Data& bytes, const std::string& what, const std::string& errorName);

/// Parses binary or XML; raises "NSInvalidArchiveOperationException"-free plain errors as
/// Exception(name, "<what> is damaged ...").
plist_t parseNode(const Data& bytes, const std::string& what, const std::string& errorName);
Data serializeNode(plist_t node, PlistFormat format);

/// The integer of a UID node: a binary UID, or the XML form {CF$UID = n}.
std::optional<std::uint64_t> uidOf(plist_t node);
/// The text of a string node (empty for anything else). Bytes that are not UTF-8 are read
/// as Latin-1, so every string read can be written again; a NUL character is refused.
std::string stringOf(plist_t node);
/// The keys and values of a dictionary node, keys read as stringOf reads strings.
std::vector<std::pair<std::string, plist_t>> dictionaryItems(plist_t dict);

/// The elements of an array node, in one pass (libplist walks its list on every indexed
/// lookup, which makes indexing in a loop quadratic).
std::vector<plist_t> arrayItems(plist_t array);

/// Plain values only (no UIDs); dictionaries need string keys.
plist_t toNode(const Value& value);
Value fromNode(plist_t node, int depth = 0);

}  // namespace orb::platform::detail
