#include "foundation/platform/DictionaryExtensions.h"

#include <algorithm>
#include <vector>

namespace orb::foundation {

namespace {

bool lessIgnoringCase(const std::string& a, const std::string& b) {
  auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) {
    return static_cast<unsigned char>(fold(x)) < static_cast<unsigned char>(fold(y));
  });
}

}  // namespace

platform::Array array(const platform::Dictionary& dictionary) { return arrayWithKeyKey(dictionary, "key", "value"); }

platform::Array arrayWithKeyKey(const platform::Dictionary& dictionary, const std::string& keyKey,
                                const std::string& valueKey) {
  platform::Array keys = dictionary.keys();
  const bool allStrings = std::all_of(keys.begin(), keys.end(), [](const platform::Value& k) { return k.isString(); });
  if (allStrings)
    std::stable_sort(keys.begin(), keys.end(), [](const platform::Value& a, const platform::Value& b) {
      return lessIgnoringCase(a.asString(), b.asString());
    });

  platform::Array rows;
  rows.reserve(keys.size());
  for (const platform::Value& key : keys) {
    platform::Dictionary row;
    row.set(keyKey, key);
    row.set(valueKey, dictionary.get(key));
    rows.emplace_back(std::move(row));
  }
  return rows;
}

std::optional<platform::Array> dictionaries(const platform::Dictionary& dictionary) {
  if (dictionary.empty()) return std::nullopt;
  // Check every column before building anything, so a bad one fails cleanly.
  std::vector<std::pair<platform::Value, const platform::Array*>> columns;
  for (const auto& [key, value] : dictionary) columns.emplace_back(key, &value.asArray());

  const std::size_t count = columns.front().second->size();
  platform::Array out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    platform::Dictionary entry;
    for (const auto& [key, column] : columns)
      if (i < column->size()) entry.set(key, (*column)[i]);
    out.emplace_back(std::move(entry));
  }
  return out;
}

}  // namespace orb::foundation
