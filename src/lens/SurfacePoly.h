#pragma once

#include <array>
#include <limits>

#include "foundation/linear/Matrix.h"
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

  static constexpr int kMeshSize = 16;

  /// The base hook, then the bounds, coefficients and mesh from the parameters.
  void parametersDidChange() override;
  double xMin() const { return m_xMin; }
  double xMax() const { return m_xMax; }
  double yMin() const { return m_yMin; }
  double yMax() const { return m_yMax; }
  /// c_ij, the coefficient of x^i y^j.
  double coefficient(int i, int j) const { return m_c[i][j]; }

  /// Inside the rectangle, borders included.
  bool validQ(const foundation::XY& q) const override;
  double sagAtQ(const foundation::XY& q) const override;
  foundation::XY sagGradientAtQ(const foundation::XY& q) const override;
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;
  /// The rectangle, centred on its middle.
  std::shared_ptr<const geometry::BoxSurfaceTest> fullAperture() const override;

  /// The sag on the 16 × 16 grid over the rectangle: row i, column j at
  /// x_i = xMin + i (xMax − xMin)/15, y_j = yMin + j (yMax − yMin)/15.
  const foundation::Matrix& meshData() const { return m_mesh; }
  /// The grid's x_i and y_j.
  double meshX(int i) const { return m_xMin + i * (m_xMax - m_xMin) / (kMeshSize - 1); }
  double meshY(int j) const { return m_yMin + j * (m_yMax - m_yMin) / (kMeshSize - 1); }

  /// The rectangle in x and y, the mesh's lowest to highest sag in z; the semidiameter
  /// plays no part.
  std::shared_ptr<geometry::MutableExtents> extents() const override;
  /// One quad per mesh cell (again facing back with "drawAlsoReversed"), then the four
  /// edges of the mesh as line strips.
  void drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options = {}) const override;
  /// The same cells and edges as DXF entities.
  void dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options = {}) const override;
  /// The rectangle's part of the half axis, [max(xMin, 0), xMax] upper and
  /// [xMin, min(xMax, 0)] lower (y alike), cut by the aperture.
  void appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented, bool upper,
                        bool backwards) const override;

  /// Negates every coefficient (the bounds stay), then the base flip.
  void flip() override;
  /// The base scaling, then the bounds × f and c_ij × f^(1 − i − j).
  void scaleByFactor(double f) override;

 private:
  /// ∂^(dx+dy) sag / ∂x^dx ∂y^dy at q.
  double derivative(const foundation::XY& q, int dx, int dy) const;
  void updateMeshData();
  double m_xMin = -1, m_xMax = 1, m_yMin = -2, m_yMax = 2;
  std::array<std::array<double, kOrder>, kOrder> m_c{};
  // Built with the parameters, so drawing and extents on any thread only read it.
  foundation::Matrix m_mesh{kMeshSize, kMeshSize};
};

}  // namespace orb::lens
