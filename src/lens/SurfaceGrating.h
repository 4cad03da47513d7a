#pragma once

#include "lens/Surface.h"

namespace orb::lens {

/// A linear diffraction grating on the base conic: "T" lines per micron, used in order
/// "m" (default 1). The lines run along x, so the phase grows along y: φ = 2000π·m·T·y
/// (radians per lens unit, lens units in mm).
class SurfaceGrating : public Surface {
 public:
  std::string type() const override { return "Grating"; }
  std::optional<std::string> zemaxType() const override { return std::string("DGRATING"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceGrating"; }
  std::string_view turnerName() const override { return "Diffracter"; }

  /// 2000π·m·T.
  double phaseGradient() const { return m_phaseGradient; }
  void parametersDidChange() override;

  double phaseAtPosition(const foundation::XYZ& p) const override { return m_phaseGradient * p.y; }
  foundation::XYZ phaseTangentGradientAtPosition(const foundation::XYZ&) const override {
    return {0, m_phaseGradient, 0};
  }
  geometry::SurfaceTaylorExpansion phaseTaylorExpansionAtPosition(const foundation::XYZ& p) const override;

 private:
  double m_phaseGradient = 0;
};

}  // namespace orb::lens
