#pragma once

#include "lens/SurfaceParaxial.h"

namespace orb::lens {

/// An ideal anamorphic thin lens with the powers "powerX" and "powerY" (1/lens units;
/// Zemax "PARAX_XY").
class SurfaceParaxialXY : public SurfaceParaxial {
 public:
  std::string type() const override { return "Paraxial XY"; }
  std::optional<std::string> zemaxType() const override { return std::string("PARAX_XY"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceParaxialXY"; }
  std::string_view turnerName() const override { return "TurnerParaxialXY"; }
  bool isAxisymmetric() const override { return false; }
  /// The base scaling, then both powers × 1/k.
  void scaleByFactor(double k) override;
};

/// A rectangular array of "nx" × "ny" identical ideal lenslets of focal length "f" on the
/// pitches "dx", "dy", centred on the vertex. Written to Zemax as a plain paraxial lens.
class SurfaceParaxialFlyEye : public SurfaceParaxial {
 public:
  std::string type() const override { return "Paraxial Fly Eye"; }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceParaxialFlyEye"; }
  std::string_view turnerName() const override { return "TurnerParaxialFlyEye"; }
  bool isAxisymmetric() const override { return false; }
  /// The base scaling (the focal length too), then the pitches × k; the counts stay.
  void scaleByFactor(double k) override;
};

}  // namespace orb::lens
