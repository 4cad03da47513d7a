#pragma once

#include <memory>
#include <string>

#include "materials/Glass.h"
#include "materials/Medium.h"

namespace orb::materials {

/// A medium of one glass: the glass's index at the wavelength, the same everywhere.
/// Surfaces make theirs from their glass; the lens's ambient medium is one of a model
/// glass of index 1.
class UniformMedium : public Medium {
 public:
  UniformMedium() = default;
  explicit UniformMedium(std::shared_ptr<Glass> glass) : m_glass(std::move(glass)) {}
  static std::shared_ptr<UniformMedium> mediumWithGlass(std::shared_ptr<Glass> glass);
  /// The vacuum a lens fills surfaces without a medium with: a model glass of index 1.
  static std::shared_ptr<UniformMedium> ambientMedium();

  const std::shared_ptr<Glass>& glass() const { return m_glass; }

  /// The glass's index at λ µm; 1 without a glass.
  double indexOfRefractionAtWavelengthInMicrons(double lambda) const override;

  /// "<inherited> glass=<glass>".
  std::string description() const override;

  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  std::shared_ptr<Glass> m_glass;
};

}  // namespace orb::materials
