#pragma once

#include <array>
#include <memory>

#include "materials/GrinDispersion.h"
#include "materials/NonuniformMedium.h"

namespace orb::materials {

/// A radial and axial gradient, ρ = x² + y² and z in the local frame, with the base index
///   nb = n0 + nr2·ρ + nr4·ρ² + nz1·z + nz2·z² + nz3·z³ + nz4·z⁴.
/// Without a dispersion the index is nb at every wavelength; with one it is D(nb, λ), the
/// GrinDispersion's law.
class Medium5 : public NonuniformMedium {
 public:
  /// n0, nr2, nr4, nz1, nz2, nz3, nz4.
  using Coefficients = std::array<double, 7>;

  Medium5() = default;
  Medium5(std::optional<foundation::OBTransform> transform, const Coefficients& c, double integrationStep);
  static std::shared_ptr<Medium5> withTransform(std::optional<foundation::OBTransform> transform,
                                                const Coefficients& coefficients, double integrationStep);

  Coefficients coefficients() const { return {m_n0, m_nr2, m_nr4, m_nz1, m_nz2, m_nz3, m_nz4}; }
  const std::shared_ptr<GrinDispersion>& grinDispersion() const { return m_grinDispersion; }
  /// Set once by the surface that makes the medium, before it is traced (logged).
  void setGrinDispersion(std::shared_ptr<GrinDispersion> dispersion);

  /// nb at a local position.
  double baseIndex(const foundation::XYZ& position) const;
  double indexOfRefractionAtWave(double lambda, const foundation::XYZ& position) const override;
  /// n²/2 at a local position.
  double n22AtWave(double lambda, const foundation::XYZ& position) const;
  foundation::XYZ forceAtWave(double lambda, const foundation::XYZ& position) const override;
  foundation::XYZTensor forceGradientAtWave(double lambda, const foundation::XYZ& position) const override;
  /// α0 = nb on the axis at z, α1 = nr2, α2 = nr4.
  void getAlphaCoefficients(double& alpha0, double& alpha1, double& alpha2, double z) const override;

  /// Index, force and force gradient in one pass: what a gradient-index step needs, at a
  /// third of the cost of asking for them one by one.
  void evaluateAtWave(double lambda, const foundation::XYZ& position, double& n, foundation::XYZ& force,
                      foundation::XYZTensor& forceGradient) const;

  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 protected:
  void willDeallocate() override;

 private:
  /// D, D′ and D″ at base index nb (identity without a dispersion).
  void dispersion(double nb, double lambda, double& d, double& d1, double& d2) const;

  double m_n0 = 0, m_nr2 = 0, m_nr4 = 0, m_nz1 = 0, m_nz2 = 0, m_nz3 = 0, m_nz4 = 0;
  std::shared_ptr<GrinDispersion> m_grinDispersion;
};

}  // namespace orb::materials
