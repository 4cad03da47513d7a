#pragma once

#include "lens/Surface.h"

namespace orb::lens {

/// A conic with its own radius and conic constant in each meridian (Zemax "BICONICX"):
/// y takes the surface's radius and conic constant, x the parameters "Rx" and "kx".
/// With S = (1 + kx)cx²x² + (1 + ky)cy²y²: z = (cx x² + cy y²)/(1 + √(1 − S)).
class SurfaceBiconic : public Surface {
 public:
  std::string type() const override { return "Biconic"; }
  std::optional<std::string> zemaxType() const override { return std::string("BICONICX"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceBiconic"; }
  std::string_view pusherName() const override { return "PusherIterative"; }

  double radiusOfCurvatureX() const { return m_rx; }
  double conicConstantX() const { return m_kx; }
  double radiusOfCurvatureY() const { return radiusOfCurvature(); }
  double conicConstantY() const { return conicConstant(); }
  /// 0 for a radius of 0 or ±∞ (flat in that meridian).
  double curvatureX() const { return m_cx; }
  double curvatureY() const { return curvature(); }

  bool isAxisymmetric() const override { return false; }
  bool isPlanarInAppearance() const override { return false; }
  void parametersDidChange() override;

  bool validQ(const foundation::XY& q) const override { return S(q) < 1; }
  /// Past the valid region the denominator is 1.
  double sagAtQ(const foundation::XY& q) const override;
  foundation::XY sagGradientAtQ(const foundation::XY& q) const override;
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;
  double maximumRadius() const override;

  /// Negates "Rx", then the base flip.
  void flip() override;
  /// The base scaling, then "Rx" × f.
  void scaleByFactor(double f) override;

 private:
  double S(const foundation::XY& q) const;
  double m_rx = 0, m_kx = 0, m_cx = 0;
};

}  // namespace orb::lens
