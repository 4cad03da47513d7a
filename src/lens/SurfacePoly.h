#pragma once

#include <array>
#include <limits>

#include "lens/SolveCodes.h"
#include "lens/Surface.h"

namespace orb::lens {

/// A free-form patch over the rectangle ["xMin", "xMax"] × ["yMin", "yMax"] of the local
/// x–y plane, sag Σ c_ij x^i y^j (i, j = 0 … 9, parameters "x%dy%d"). No vertex curvature
/// or conic of its own; no Zemax equivalent.
class SurfacePoly : public Surface, public solve::FixedCurvatureType {
 public:
  static constexpr int kOrder = 10;

  std::string type() const override { return "Polynomial"; }
  std::optional<std::string> zemaxType() const override { return std::nullopt; }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfacePoly"; }
  std::string_view pusherName() const override { return "PusherIterative"; }
  std::string_view turnerName() const override { return "TurnerPoly"; }
  bool isAxisymmetric() const override { return false; }
  bool isPlanarInAppearance() const override { return false; }
  bool canEditCurvature() const override { return false; }
  bool canEditCurvatureSolveType() const override { return false; }
  std::string fixedCurvatureDescription() const override { return "polynomial surface has no vertex curvature"; }
  double maximumRadius() const override { return std::numeric_limits<double>::infinity(); }

  void parametersDidChange() override;
  double xMinimum() const { return m_xMin; }
  double xMaximum() const { return m_xMax; }
  double yMinimum() const { return m_yMin; }
  double yMaximum() const { return m_yMax; }
  /// c_ij, the coefficient of x^i y^j.
  double coefficient(int i, int j) const { return m_c[i][j]; }

  /// Inside the rectangle, borders included.
  bool validQ(const foundation::XY& q) const override;
  double sagAtQ(const foundation::XY& q) const override;
  foundation::XY sagGradientAtQ(const foundation::XY& q) const override;
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;
  /// The rectangle, centred on its middle.
  std::shared_ptr<const geometry::BoxSurfaceTest> fullAperture() const override;

  /// Negates every coefficient (the bounds stay), then the base flip.
  void flip() override;
  /// The base scaling, then the bounds × f and c_ij × f^(1 − i − j).
  void scaleByFactor(double f) override;

 private:
  /// ∂^(dx+dy) sag / ∂x^dx ∂y^dy at q.
  double derivative(const foundation::XY& q, int dx, int dy) const;
  double m_xMin = -1, m_xMax = 1, m_yMin = -2, m_yMax = 2;
  std::array<std::array<double, kOrder>, kOrder> m_c{};
};

}  // namespace orb::lens
