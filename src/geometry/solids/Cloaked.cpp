#include "geometry/solids/Cloaked.h"

namespace orb::geometry {

std::string Cloaked::description() const {
  const auto content = m_content.lock();
  return (m_cloak ? m_cloak->description() : std::string("(null)")) + " " +
         (content ? content->description() : std::string("(null)"));
}

bool Cloaked::isEqualTo(const platform::Object& other) const {
  const auto* o = dynamic_cast<const Cloaked*>(&other);
  if (!o) return false;
  if (!m_cloak || !o->m_cloak) return m_cloak == o->m_cloak;
  return m_cloak->isEqualTo(*o->m_cloak);
}

ObjectSet::ObjectSet(const std::vector<std::shared_ptr<platform::Object>>& members) {
  for (const auto& m : members)
    if (m && !containsObject(*m)) {
      m_members.push_back(m);
      m_hash += m->hash() * 0x9e3779b97f4a7c15ull;  // a sum, so that order does not matter
    }
}

bool ObjectSet::containsObject(const platform::Object& object) const {
  for (const auto& m : m_members)
    if (m->isEqualTo(object)) return true;
  return false;
}

std::string ObjectSet::description() const {
  std::string out = "{";
  for (std::size_t i = 0; i < m_members.size(); ++i) out += (i ? ", " : "") + m_members[i]->description();
  return out + "}";
}

bool ObjectSet::isEqualTo(const platform::Object& other) const {
  const auto* o = dynamic_cast<const ObjectSet*>(&other);
  if (!o || o->m_members.size() != m_members.size() || o->m_hash != m_hash) return false;
  for (const auto& m : m_members)
    if (!o->containsObject(*m)) return false;
  return true;
}

}  // namespace orb::geometry
