#pragma once

#include "lens/SolveCodes.h"
#include "lens/Surface.h"

namespace orb::lens {

/// A plane that spreads rays: before each refraction the diffracter asks it for a new
/// random phase gradient, normal in each of x and y with a spread set by "fwhm". A lens
/// holding one traces differently from run to run.
class SurfaceDiffuser : public Surface, public solve::FixedCurvatureType {
 public:
  std::string type() const override { return "Diffuser"; }
  std::optional<std::string> zemaxType() const override { return std::nullopt; }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceDiffuser"; }
  std::string_view turnerName() const override { return "Diffracter"; }
  bool canEditCurvature() const override { return false; }
  bool canEditCurvatureSolveType() const override { return false; }
  std::string fixedCurvatureDescription() const override { return "diffuser surface is planar"; }
  void parametersDidChange() override;

  /// Two standard normal deviates of the shared generator, × fwhm × 78.2.
  void randomizePhaseGradients() const;
  void turnerWillRefractRay() const override { randomizePhaseGradients(); }
  double phaseGradientX() const { return m_gx; }
  double phaseGradientY() const { return m_gy; }

  foundation::XYZ phaseTangentGradientAtPosition(const foundation::XYZ&) const override { return {m_gx, m_gy, 0}; }
  geometry::SurfaceTaylorExpansion phaseTaylorExpansionAtPosition(const foundation::XYZ&) const override {
    geometry::SurfaceTaylorExpansion e{};
    e.gx = m_gx;
    e.gy = m_gy;
    return e;
  }
  double phaseAtPosition(const foundation::XYZ&) const override { return 0; }

 private:
  double m_fwhm = 0;
  // The current draw: a trace's state, not the model's.
  mutable double m_gx = 0, m_gy = 0;
};

}  // namespace orb::lens
