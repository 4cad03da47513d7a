#pragma once

#include "lens/Surface.h"

namespace orb::lens {

/// A surface that fills the space behind it, up to the next surface, with a medium whose
/// index varies with position. The medium is made from the parameters and the surface's
/// frame when first needed, and dropped when either changes.
class SurfaceGradientZemax : public Surface {
 public:
  bool canEditThicknessSolveType() const override { return false; }
  bool canEditGlass() const override { return true; }
  bool canEditGlassSolveType() const override { return false; }
  std::shared_ptr<platform::Color> glassColor() const override;
  /// A gradient surface always has its own medium behind it.
  bool precedesAmbient() const override { return false; }
  void parametersDidChange() override;
  std::shared_ptr<materials::Medium> medium() const override;
  /// Gradient surfaces contribute no Seidel sums.
  void appendSeidelToString(std::string& out) const override;

 protected:
  /// Makes the medium from the parameters and the frame, and caches it.
  virtual void conjureMedium() const = 0;
  void frameDidChange() override;
  double parameterOr(std::string_view title, double fallback) const { return parameterValue(title).value_or(fallback); }
};

/// A radial gradient, n² = n0² + nr2·r² + … + nr12·r¹², without dispersion and without glass.
class SurfaceGradient2 : public SurfaceGradientZemax {
 public:
  std::string type() const override { return "Gradient 2"; }
  std::optional<std::string> zemaxType() const override { return std::string("GRINSUR2"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceGradient2"; }
  bool canEditGlass() const override { return false; }
  bool canEditGlassSolveType() const override { return false; }
  std::string glassDescription() const override { return "No glass allowed"; }
  bool glassIsGood() const override { return true; }
  std::optional<std::string> glassName() const override { return std::string("-"); }

 protected:
  void conjureMedium() const override;
};

/// A radial and axial gradient, nb = n0 + nr2·r² + nr4·r⁴ + nz1·z + … + nz4·z⁴, with the
/// dispersion of a gradient-dispersion glass when it has one; rays are confined to the
/// semidiameter.
class SurfaceGradient5 : public SurfaceGradientZemax {
 public:
  std::string type() const override { return "Gradient 5"; }
  std::optional<std::string> zemaxType() const override { return std::string("GRINSUR5"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceGradient5"; }
  std::string glassDescription() const override;
  bool glassIsGood() const override;
  /// Made again when the semidiameter (its bounce radius) has changed since.
  std::shared_ptr<materials::Medium> medium() const override;

 protected:
  void conjureMedium() const override;
};

}  // namespace orb::lens
