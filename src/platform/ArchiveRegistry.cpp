#include "platform/ArchiveRegistry.h"

#include "platform/Color.h"

namespace orb::platform {

ArchiveRegistry& ArchiveRegistry::shared() {
  static auto* registry = new ArchiveRegistry();
  return *registry;
}

// The platform's own classes; other layers add theirs at start-up.
ArchiveRegistry::ArchiveRegistry() {
  registerAbstract("NSObject", "");
  registerClass<Color>("NSColor", "NSObject");
}

void ArchiveRegistry::add(Entry entry, const std::type_info& type) {
  std::lock_guard lock(m_mutex);
  m_byType[std::type_index(type)] = entry.name;
  m_byName[entry.name] = std::move(entry);
}

void ArchiveRegistry::registerAbstract(const std::string& name, const std::string& superName) {
  std::lock_guard lock(m_mutex);
  m_byName[name] = Entry{name, superName, nullptr};
}

const ArchiveRegistry::Entry* ArchiveRegistry::byName(const std::string& name) const {
  std::lock_guard lock(m_mutex);
  auto it = m_byName.find(name);
  return it == m_byName.end() ? nullptr : &it->second;
}

const ArchiveRegistry::Entry* ArchiveRegistry::byType(const std::type_info& type) const {
  std::lock_guard lock(m_mutex);
  auto it = m_byType.find(std::type_index(type));
  if (it == m_byType.end()) return nullptr;
  auto e = m_byName.find(it->second);
  return e == m_byName.end() ? nullptr : &e->second;
}

std::vector<std::string> ArchiveRegistry::hierarchy(const std::string& name) const {
  std::vector<std::string> out;
  std::string current = name;
  while (!current.empty() && out.size() < 64) {
    out.push_back(current);
    const Entry* e = byName(current);
    current = e ? e->superName : std::string();
  }
  return out;
}

}  // namespace orb::platform
