#include "materials/IndexCalculator.h"

#include "materials/CatalogText.h"

namespace orb::materials {

using platform::Keys;

void IndexCalculator::setGlass(std::shared_ptr<Glass> glass) {
  changeValueForKey("glass", [&] { m_glass = std::move(glass); });
}

void IndexCalculator::setWavelengthOfInterest(std::string text) {
  setAndAnnounce("wavelengthOfInterest", m_wavelengthOfInterest, std::move(text));
}

double IndexCalculator::indexAtWavelengthOfInterest() const {
  if (!m_glass) return 0;
  const auto lambda = detail::leadingNumber(m_wavelengthOfInterest);
  return lambda ? m_glass->indexAtWavelengthInMicrons(*lambda) : 0;
}

bool IndexCalculator::validWavelength() const {
  if (!m_glass) return false;
  const auto lambda = detail::leadingNumber(m_wavelengthOfInterest);
  return lambda && m_glass->validWavelengthInMicrons(*lambda);
}

const platform::KeyTable& IndexCalculator::classKeys() {
  using K = Keys<IndexCalculator>;
  static const platform::KeyTable table = [] {
    platform::KeyEntry glassKey;
    glassKey.key = "glass";
    glassKey.get = [](const platform::Object& o) {
      const auto& g = static_cast<const IndexCalculator&>(o).m_glass;
      return g ? platform::Value(g) : platform::Value();
    };
    glassKey.set = [](platform::Object& o, const platform::Value& v) {
      static_cast<IndexCalculator&>(o).setGlass(v.isNil() ? nullptr : v.asObject<Glass>());
    };
    return platform::KeyTable(
        &platform::Object::classKeys(),
        {std::move(glassKey),
         K::property("wavelengthOfInterest", &IndexCalculator::wavelengthOfInterest,
                     &IndexCalculator::setWavelengthOfInterest),
         K::getter("validGlass", &IndexCalculator::validGlass).dependsOn({"glass"}),
         K::getter("indexAtWavelengthOfInterest", &IndexCalculator::indexAtWavelengthOfInterest)
             .dependsOn({"wavelengthOfInterest", "glass"}),
         K::getter("validWavelength", &IndexCalculator::validWavelength).dependsOn({"wavelengthOfInterest", "glass"})});
  }();
  return table;
}

}  // namespace orb::materials
