#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/VKColoredObject.h"

namespace orb::lens {

/// One wavelength of a prescription, with a weight and a primary flag (the lens keeps
/// exactly one wave primary). The value is held in the wave's own unit, `wavelengthUnit`
/// metres per unit; new and decoded waves use nanometres.
///
/// Keys (all observable): "wavelength", "wavelengthUnit", "weight", "isPrimary",
/// "wavelengthInMicrons", "wavelengthInNanometers" (settable), "wavelengthInMillimeters",
/// "wavelengthString", "wavelengthShortString", "description", "color", "colorNumber".
class Wave : public foundation::VKColoredObject {
 public:
  static constexpr double kNanometre = 1e-9;
  static constexpr double kMicrometre = 1e-6;
  static constexpr double kMillimetre = 1e-3;

  /// A new wave at 587.56 nm (the helium d line), weight 1, not primary.
  static std::shared_ptr<Wave> wave();
  /// Three new waves at 486.13, 587.56 and 656.27 nm (F, d, C), the middle one primary.
  static std::vector<std::shared_ptr<Wave>> FdC();

  /// In the wave's own unit.
  double wavelength() const { return m_wavelength; }
  void setWavelength(double wavelength);
  /// Metres per unit of `wavelength` (1e-9: nanometres).
  double wavelengthUnit() const { return m_wavelengthUnit; }
  void setWavelengthUnit(double unit);

  double wavelengthInMillimeters() const { return m_wavelength * m_wavelengthUnit / kMillimetre; }
  double wavelengthInMicrons() const { return m_wavelength * m_wavelengthUnit / kMicrometre; }
  double wavelengthInNanometers() const { return m_wavelength * m_wavelengthUnit / kNanometre; }
  /// Store the value converted into the wave's own unit.
  void setWavelengthInMicrons(double microns);
  void setWavelengthInNanometers(double nanometres);

  double weight() const { return m_weight; }
  void setWeight(double weight);
  bool isPrimary() const { return m_isPrimary; }
  void setIsPrimary(bool primary);

  /// "Wave{%gnm,w=%g}".
  std::string description() const override;
  /// "%gnm", or "%gnm (primary)" for the primary wave.
  std::string wavelengthString() const;
  /// "%gnm".
  std::string wavelengthShortString() const;

  /// An independent wave with the same values, colour and colour number.
  std::shared_ptr<Wave> copy() const;

  std::string className() const override { return "Wave"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

  /// Keyed coders only ("Wave only supports NSKeyedArchiver coders"). Decoding converts
  /// to nanometres; an archive without a unit (older files) holds micrometres.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 private:
  double m_wavelengthUnit = kNanometre;
  double m_wavelength = 587.56;
  double m_weight = 1;
  bool m_isPrimary = false;
};

}  // namespace orb::lens
