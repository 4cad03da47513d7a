#pragma once

#include <memory>
#include <string>

#include "materials/Glass.h"
#include "platform/Object.h"

namespace orb::materials {

/// Shows a glass's index at one wavelength: the little calculator beside the glass
/// tables. `wavelengthOfInterest` is text whose leading number is the wavelength in µm
/// ("0.58756 d").
class IndexCalculator : public platform::Object {
 public:
  const std::shared_ptr<Glass>& glass() const { return m_glass; }
  void setGlass(std::shared_ptr<Glass> glass);
  const std::string& wavelengthOfInterest() const { return m_wavelengthOfInterest; }
  void setWavelengthOfInterest(std::string text);

  bool validGlass() const { return m_glass != nullptr; }
  /// The glass's index at the wavelength; 0 without a glass or a number.
  double indexAtWavelengthOfInterest() const;
  /// The glass accepts the wavelength.
  bool validWavelength() const;

  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  std::shared_ptr<Glass> m_glass;
  std::string m_wavelengthOfInterest = "0.58756 d";
};

}  // namespace orb::materials
