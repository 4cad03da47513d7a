#include "platform/Color.h"

#include <functional>

namespace orb::platform {

std::string Color::description() const {
  return format("Color(%g, %g, %g, %g)", m_red, m_green, m_blue, m_alpha);
}

bool Color::isEqualTo(const Object& other) const {
  auto c = dynamic_cast<const Color*>(&other);
  return c && c->m_red == m_red && c->m_green == m_green && c->m_blue == m_blue && c->m_alpha == m_alpha;
}

std::size_t Color::hash() const {
  std::hash<double> h;
  return h(m_red) ^ (h(m_green) << 1) ^ (h(m_blue) << 2) ^ (h(m_alpha) << 3);
}

}  // namespace orb::platform
