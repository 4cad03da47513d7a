#pragma once

#include <array>
#include <cmath>

#include "foundation/linear/Matrix.h"
#include "lens/SurfaceAsphere.h"

namespace orb::lens {

/// An even asphere plus a freeform departure: Σ A_j Z_j(x/R, y/R) over the first "n"
/// (at most 36) Zernike polynomials in Noll's ordering and normalisation, R the
/// normalisation radius "R" (Zemax "ZERNSURF"; "SZERNSAG" is read as the same).
class SurfaceZernikeSag : public SurfaceAsphere {
 public:
  static constexpr int kTerms = 36;

  std::string type() const override { return "Zernike"; }
  std::optional<std::string> zemaxType() const override { return std::string("ZERNSURF"); }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceZernikeSag"; }
  std::string_view turnerName() const override { return "TurnerZernike"; }
  bool isAxisymmetric() const override { return false; }

  /// Noll term j (1 … 36) at the normalised point (x, y); 0 for any other j.
  static double zernike(int j, double x, double y);

  void parametersDidChange() override;
  int numberOfTerms() const { return m_n; }
  double normalizationRadius() const { return m_radius; }

  double zernikeSagAtQ(const foundation::XY& q) const;
  /// Central differences of each term (step 1e-5 in normalised units).
  foundation::XY zernikeSagGradientAtQ(const foundation::XY& q) const;
  /// The departure's first and second derivatives in x and y (z terms 0).
  geometry::SurfaceTaylorExpansion zernikeTaylorExpansionAtPosition(const foundation::XYZ& p) const;

  double sagAtQ(const foundation::XY& q) const override;
  foundation::XY sagGradientAtQ(const foundation::XY& q) const override;
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;

  static constexpr int kMeshSize = 16;
  /// The polar mesh the surface is drawn from: element (i, k) at radius
  /// i · semidiameter / 15 and azimuth phiMin + k (phiMax − phiMin) / 15 (degrees).
  struct Mesh {
    foundation::Matrix meshX, meshY, meshZ;
  };
  Mesh meshData(double phiMin = 0, double phiMax = 360) const;
  /// The box of the rim points and of the full-turn mesh, so that the departure's
  /// extremes inside the rim count.
  std::shared_ptr<geometry::MutableExtents> extents() const override;
  /// One quad per mesh cell (again facing back with "drawAlsoReversed") over "phiMin" …
  /// "phiMax", then line strips along every mesh row and column.
  void drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options = {}) const override;

  /// Negates A1 … A36, then the asphere flip.
  void flip() override;
  /// The asphere scaling, then the normalisation radius and the coefficients (sags) × f.
  void scaleByFactor(double f) override;

 private:
  /// No terms, or a normalisation radius of 0 (or not finite) that leaves no disc to
  /// normalise over: the surface is its asphere, as with "n" 0.
  bool hasDeparture() const { return m_n >= 1 && m_radius != 0 && std::isfinite(m_radius); }
  int m_n = 0;
  double m_radius = 10;
  std::array<double, kTerms> m_coefficient{};
};

}  // namespace orb::lens
