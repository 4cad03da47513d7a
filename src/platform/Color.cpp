#include "platform/Color.h"

#include <functional>

#include "platform/Coder.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

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

void Color::encodeWithCoder(Coder& coder) const {
  coder.encodeDouble("red", m_red);
  coder.encodeDouble("green", m_green);
  coder.encodeDouble("blue", m_blue);
  coder.encodeDouble("alpha", m_alpha);
}

void Color::initWithCoder(const Coder& coder) {
  m_red = coder.decodeDouble("red");
  m_green = coder.decodeDouble("green");
  m_blue = coder.decodeDouble("blue");
  m_alpha = coder.containsValueForKey("alpha") ? coder.decodeDouble("alpha") : 1.0;
}

Data Color::archivedData() const {
  return KeyedArchiver::archivedDataWithRootObject(Value(make(m_red, m_green, m_blue, m_alpha)));
}

std::shared_ptr<Color> Color::fromArchivedData(const Data& data) {
  try {
    return KeyedUnarchiver::unarchiveObjectWithData(data).objectIf<Color>();
  } catch (const Exception&) {
    return nullptr;
  }
}

}  // namespace orb::platform
