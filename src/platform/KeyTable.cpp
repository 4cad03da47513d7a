#include "platform/KeyTable.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

namespace orb::platform {

KeyTable::KeyTable(const KeyTable* parent, std::vector<KeyEntry> entries)
    : m_parent(parent), m_entries(std::move(entries)) {
  for (std::size_t i = 0; i < m_entries.size(); ++i) m_index.emplace(m_entries[i].key, i);
  buildDependents();
}

const KeyEntry* KeyTable::find(std::string_view key) const {
  for (const KeyTable* t = this; t; t = t->m_parent) {
    auto it = t->m_index.find(key);
    if (it != t->m_index.end()) return &t->m_entries[it->second];
  }
  return nullptr;
}

std::vector<std::string> KeyTable::allKeys() const {
  std::vector<std::string> keys = m_parent ? m_parent->allKeys() : std::vector<std::string>();
  for (const auto& e : m_entries)
    if (std::find(keys.begin(), keys.end(), e.key) == keys.end()) keys.push_back(e.key);
  return keys;
}

// Precomputes, for every key, the closure of keys that change with it, so announcing a
// change never allocates or searches at run time. A summary key changes with every key
// except the summary keys themselves (which would otherwise feed each other).
void KeyTable::buildDependents() {
  std::vector<std::string> keys = allKeys();
  std::unordered_map<std::string, std::vector<std::string>> direct;
  for (const auto& k : keys) {
    const KeyEntry* e = find(k);
    if (e->affectedByAll) m_summaryKeys.push_back(k);
    for (const auto& source : e->affectedBy) direct[source].push_back(k);
  }
  auto closure = [&](const std::string& start) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen{start};
    std::deque<std::string> queue{start};
    bool startIsSummary = std::find(m_summaryKeys.begin(), m_summaryKeys.end(), start) != m_summaryKeys.end();
    if (!startIsSummary)
      for (const auto& s : m_summaryKeys)
        if (seen.insert(s).second) {
          out.push_back(s);
          queue.push_back(s);
        }
    while (!queue.empty()) {
      std::string k = queue.front();
      queue.pop_front();
      auto it = direct.find(k);
      if (it == direct.end()) continue;
      for (const auto& d : it->second)
        if (seen.insert(d).second) {
          out.push_back(d);
          queue.push_back(d);
        }
    }
    return out;
  };
  for (const auto& k : keys) m_dependents.emplace(k, closure(k));
  for (const auto& [k, _] : direct)
    if (!m_dependents.count(k)) m_dependents.emplace(k, closure(k));
  // Keys outside the table (computed keys answered by valueForUndefinedKey) still count
  // as model keys for the summary keys.
  m_dependents.emplace(std::string(), closure(std::string()));
}

const std::vector<std::string>& KeyTable::dependentsOf(std::string_view key) const {
  auto it = m_dependents.find(key);
  if (it != m_dependents.end()) return it->second;
  return m_dependents.at(std::string());
}

}  // namespace orb::platform
