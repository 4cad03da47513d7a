#pragma once

#include "lens/SurfaceAsphere.h"

namespace orb::lens {

/// An even asphere ("a2" … "a16") carrying a rotationally symmetric diffractive phase
/// (Zemax "BINARY_2"): φ(r) = m · Σ_{k ≤ nterm} b_2k (r/rnorm)^2k radians, used in order
/// "m". The diffracter adds the phase's tangential gradient to each ray.
class SurfaceKinoform : public SurfaceAsphere {
 public:
  static constexpr int kMaximumPhaseTerms = 198;

  std::string type() const override { return "Kinoform"; }
  std::optional<std::string> zemaxType() const override { return std::string("BINARY_2"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  const std::vector<std::string>& parameterTitleArrayForAsphericCoefficients() const override;
  int maximumExponent() const override { return 16; }
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceKinoform"; }
  std::string_view turnerName() const override { return "Diffracter"; }

  void parametersDidChange() override;
  double diffractionOrder() const { return m_order; }
  double normalizationRadius() const { return m_rnorm; }
  /// Σ b_2k/rnorm^2k · r^2k; null when there is no non-zero term.
  const foundation::SparsePolynomial* phasePolynomial() const { return m_hasPhase ? &m_phase : nullptr; }

  double phaseAtRadius(double r) const override;
  double phaseRadialGradientAtRadius(double r) const override;
  double phaseRadialSecondGradientAtRadius(double r) const override;
  double phaseAtPosition(const foundation::XYZ& p) const override;
  /// The gradient within the tangent plane whose horizontal radial part is m·P′(r).
  foundation::XYZ phaseTangentGradientAtPosition(const foundation::XYZ& p) const override;
  /// The asphere scaling, then the normalisation radius × f, so the phase keeps its shape.
  void scaleByFactor(double f) override;

 private:
  double m_order = 1, m_rnorm = 1;
  foundation::SparsePolynomial m_phase;
  bool m_hasPhase = false;
};

/// An asphere flattened onto its vertex plane: rays are met on z = 0 but bent by the
/// asphere's slope there (Zemax "FRESNELS").
class SurfaceFresnel : public SurfaceAsphere {
 public:
  std::string type() const override { return "Fresnel"; }
  std::optional<std::string> zemaxType() const override { return std::string("FRESNELS"); }
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceFresnel"; }
  bool isPlanarInAppearance() const override { return true; }
  std::string_view pusherName() const override { return "Pusher"; }
};

}  // namespace orb::lens
