#include "materials/UniformMedium.h"

#include "platform/Coder.h"

namespace orb::materials {

std::shared_ptr<UniformMedium> UniformMedium::mediumWithGlass(std::shared_ptr<Glass> glass) {
  return platform::makeObject<UniformMedium>(std::move(glass));
}

std::shared_ptr<UniformMedium> UniformMedium::ambientMedium() { return mediumWithGlass(Glass::glassWithIndex(1.0)); }

double UniformMedium::indexOfRefractionAtWavelengthInMicrons(double lambda) const {
  return m_glass ? m_glass->indexAtWavelengthInMicrons(lambda) : 1.0;
}

std::string UniformMedium::description() const {
  return Medium::description() + " glass=" + (m_glass ? m_glass->description() : std::string("(null)"));
}

void UniformMedium::encodeWithCoder(platform::Coder& coder) const {
  Medium::encodeWithCoder(coder);
  coder.encodeObject("glass", m_glass ? platform::Value(m_glass) : platform::Value());
}

void UniformMedium::initWithCoder(const platform::Coder& coder) {
  Medium::initWithCoder(coder);
  m_glass = coder.decodeObjectOfClass<Glass>("glass");
}

const platform::KeyTable& UniformMedium::classKeys() {
  static const platform::KeyTable table = [] {
    platform::KeyEntry glassKey;
    glassKey.key = "glass";
    glassKey.get = [](const platform::Object& o) {
      const auto& g = static_cast<const UniformMedium&>(o).m_glass;
      return g ? platform::Value(g) : platform::Value();
    };
    return platform::KeyTable(&Medium::classKeys(), {glassKey});
  }();
  return table;
}

}  // namespace orb::materials
