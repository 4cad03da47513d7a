#pragma once

#include <array>
#include <memory>

#include "materials/NonuniformMedium.h"

namespace orb::materials {

/// A radial gradient without dispersion, ρ = x² + y² in the local frame:
///   n² = n0² + nr2·ρ + nr4·ρ² + nr6·ρ³ + nr8·ρ⁴ + nr10·ρ⁵ + nr12·ρ⁶.
class Medium2 : public NonuniformMedium {
 public:
  /// n0, nr2, nr4, nr6, nr8, nr10, nr12.
  using Coefficients = std::array<double, 7>;

  Medium2() = default;
  Medium2(std::optional<foundation::OBTransform> transform, const Coefficients& c, double integrationStep);
  static std::shared_ptr<Medium2> withTransform(std::optional<foundation::OBTransform> transform,
                                                const Coefficients& coefficients, double integrationStep);

  double n0() const { return m_n0; }
  Coefficients coefficients() const { return {m_n0, m_nr2, m_nr4, m_nr6, m_nr8, m_nr10, m_nr12}; }

  double indexOfRefractionAtWave(double lambda, const foundation::XYZ& position) const override;
  /// n²/2 at a local position.
  double n22(const foundation::XYZ& position) const;
  foundation::XYZ forceAtWave(double lambda, const foundation::XYZ& position) const override;
  foundation::XYZTensor forceGradientAtWave(double lambda, const foundation::XYZ& position) const override;
  void getAlphaCoefficients(double& alpha0, double& alpha1, double& alpha2, double z) const override;

  /// Every force and gradient evaluation also differentiates numerically (central
  /// differences, step 1e-5) and logs a disagreement beyond 1e-6; the returned values are
  /// never changed. On by default; costs six extra evaluations per call.
  static void setSelfChecking(bool on);
  static bool selfChecking();

  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  foundation::XYZ analyticForce(const foundation::XYZ& position) const;
  foundation::XYZTensor analyticForceGradient(const foundation::XYZ& position) const;

  double m_n0 = 0, m_nr2 = 0, m_nr4 = 0, m_nr6 = 0, m_nr8 = 0, m_nr10 = 0, m_nr12 = 0;
};

}  // namespace orb::materials
