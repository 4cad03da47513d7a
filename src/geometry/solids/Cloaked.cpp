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

}  // namespace orb::geometry
