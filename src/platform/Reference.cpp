#include "platform/Reference.h"

#include "platform/Exception.h"
#include "platform/Object.h"

namespace orb::platform {

std::shared_ptr<Object> Reference::lock() const {
  if (!isAlive()) return nullptr;
  return m_weak.lock();
}

std::string Reference::description() const {
  if (!m_anchor) return "<reference nil>";
  return format("<reference %p%s>", static_cast<const void*>(m_anchor->object), isAlive() ? "" : " (gone)");
}

}  // namespace orb::platform
