#include "lens/Wave.h"

#include "platform/Coder.h"
#include "platform/Color.h"
#include "platform/Exception.h"

namespace orb::lens {

using platform::format;
using platform::Keys;

std::shared_ptr<Wave> Wave::wave() { return platform::makeObject<Wave>(); }

std::vector<std::shared_ptr<Wave>> Wave::FdC() {
  std::vector<std::shared_ptr<Wave>> waves;
  for (double nm : {486.13, 587.56, 656.27}) {
    auto w = wave();
    w->setWavelengthInNanometers(nm);
    waves.push_back(std::move(w));
  }
  waves[1]->setIsPrimary(true);
  return waves;
}

void Wave::setWavelength(double wavelength) { setAndAnnounce("wavelength", m_wavelength, wavelength); }
void Wave::setWavelengthUnit(double unit) { setAndAnnounce("wavelengthUnit", m_wavelengthUnit, unit); }
void Wave::setWavelengthInMicrons(double microns) { setWavelength(microns * kMicrometre / m_wavelengthUnit); }
void Wave::setWavelengthInNanometers(double nanometres) { setWavelength(nanometres * kNanometre / m_wavelengthUnit); }
void Wave::setWeight(double weight) { setAndAnnounce("weight", m_weight, weight); }
void Wave::setIsPrimary(bool primary) { setAndAnnounce("isPrimary", m_isPrimary, primary); }

std::string Wave::description() const { return format("Wave{%gnm,w=%g}", wavelengthInNanometers(), m_weight); }
std::string Wave::wavelengthString() const {
  return format(m_isPrimary ? "%gnm (primary)" : "%gnm", wavelengthInNanometers());
}
std::string Wave::wavelengthShortString() const { return format("%gnm", wavelengthInNanometers()); }

std::shared_ptr<Wave> Wave::copy() const {
  auto w = wave();
  w->m_wavelengthUnit = m_wavelengthUnit;
  w->m_wavelength = m_wavelength;
  w->m_weight = m_weight;
  w->m_isPrimary = m_isPrimary;
  w->setColor(color());  // colours are immutable, so sharing one is a copy
  w->setColorNumber(colorNumber());
  return w;
}

void Wave::encodeWithCoder(platform::Coder& coder) const {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Wave only supports NSKeyedArchiver coders");
  coder.encodeDouble("wavelengthUnit", m_wavelengthUnit);
  coder.encodeDouble("wavelength", m_wavelength);
  coder.encodeDouble("weight", m_weight);
  coder.encodeBool("isPrimary", m_isPrimary);
  coder.encodeObject("color", platform::Value(color()));
}

void Wave::initWithCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Wave only supports NSKeyedArchiver coders");
  double unit = coder.decodeDouble("wavelengthUnit");
  if (unit == 0) unit = kMicrometre;  // archives from before the unit was stored held microns
  setWavelengthUnit(kNanometre);
  setWavelength(coder.decodeDouble("wavelength") * unit / kNanometre);
  setWeight(coder.decodeDouble("weight"));
  setIsPrimary(coder.decodeBool("isPrimary"));
  setColor(coder.decodeObjectOfClass<platform::Color>("color"));
}

const platform::KeyTable& Wave::classKeys() {
  using K = Keys<Wave>;
  static const platform::KeyTable table(
      &VKColoredObject::classKeys(),
      {
          K::property("wavelength", &Wave::wavelength, &Wave::setWavelength),
          K::property("wavelengthUnit", &Wave::wavelengthUnit, &Wave::setWavelengthUnit),
          K::property("weight", &Wave::weight, &Wave::setWeight),
          K::property("isPrimary", &Wave::isPrimary, &Wave::setIsPrimary),
          K::property("wavelengthInMicrons", &Wave::wavelengthInMicrons, &Wave::setWavelengthInMicrons)
              .dependsOn({"wavelength", "wavelengthUnit"}),
          K::property("wavelengthInNanometers", &Wave::wavelengthInNanometers, &Wave::setWavelengthInNanometers)
              .dependsOn({"wavelength", "wavelengthUnit"}),
          K::getter("wavelengthInMillimeters", &Wave::wavelengthInMillimeters)
              .dependsOn({"wavelength", "wavelengthUnit"}),
          // The primary mark is part of the text, so it changes with the flag too.
          K::getter("wavelengthString", &Wave::wavelengthString).dependsOn({"wavelength", "wavelengthUnit", "isPrimary"}),
          K::getter("wavelengthShortString", &Wave::wavelengthShortString).dependsOn({"wavelength", "wavelengthUnit"}),
          K::getter("description", &Wave::description).dependsOn({"wavelength", "wavelengthUnit", "weight"}),
      });
  return table;
}

}  // namespace orb::lens
