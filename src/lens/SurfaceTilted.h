#pragma once

#include "lens/SolveCodes.h"
#include "lens/Surface.h"

namespace orb::lens {

/// A plane through the vertex tilted by the slopes "tiltX" and "tiltY":
/// z = tiltX·x + tiltY·y. Not offered by the type registry (it exists to read other
/// programs' files); always planar, never axisymmetric.
class SurfaceTilted : public Surface, public solve::FixedCurvatureType {
 public:
  // The curvature is fixed by the type (see FixedCurvatureType).
  bool canEditCurvature() const override { return false; }
  std::string type() const override { return "Tilted"; }
  std::optional<std::string> zemaxType() const override { return std::string("TILTSURF"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceTilted"; }
  std::string_view pusherName() const override { return "PusherTilted"; }

  bool isAxisymmetric() const override { return false; }
  bool canEditCurvatureSolveType() const override { return false; }
  std::string fixedCurvatureDescription() const override { return "tilted surface is always planar"; }

  void parametersDidChange() override;

  // A plane: valid everywhere, with constant slopes and no second derivatives.
  bool validQ(const foundation::XY&) const override { return true; }
  double sagAtQ(const foundation::XY& q) const override { return m_tiltX * q.x + m_tiltY * q.y; }
  foundation::XY sagGradientAtQ(const foundation::XY&) const override { return {m_tiltX, m_tiltY}; }
  foundation::XYZ surfaceNormalAtQ(const foundation::XY& q) const override;
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;

 private:
  double m_tiltX = 0, m_tiltY = 0;
};

}  // namespace orb::lens
