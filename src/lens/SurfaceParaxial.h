#pragma once

#include "lens/SolveCodes.h"
#include "lens/Surface.h"

namespace orb::lens {

/// An ideal thin lens of focal length "f" (default 100) on a plane: it images without
/// aberration, so its curvature is not the user's to set.
class SurfaceParaxial : public Surface, public solve::FixedCurvatureType {
 public:
  // The curvature is fixed by the type (see FixedCurvatureType).
  bool canEditCurvature() const override { return false; }
  std::string type() const override { return "Paraxial"; }
  std::optional<std::string> zemaxType() const override { return std::string("PARAXIAL"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceParaxial"; }
  std::string_view pusherName() const override { return "PusherParaxial"; }
  std::string_view turnerName() const override { return "TurnerParaxial"; }

  bool canEditCurvatureSolveType() const override { return false; }
  std::string fixedCurvatureDescription() const override { return "paraxial surface is planar"; }

  /// The focal length, cached for the turner.
  double focalLength() const { return m_f; }
  void parametersDidChange() override;
  /// The base scaling, then the focal length × f.
  void scaleByFactor(double f) override;

 private:
  double m_f = 0;
};

}  // namespace orb::lens
