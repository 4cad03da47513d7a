#pragma once

#include <limits>

#include "lens/SurfaceAsphere.h"

namespace orb::lens {

/// A toric: an aspheric profile s(u) in one meridian (u), swept around an axis parallel
/// to that meridian at the toroid radius "toricR" (Rt) across the other meridian (v).
/// Rt = 0 means no sweep: a cylinder. Not offered by itself: SurfaceToricX takes its
/// profile along x, SurfaceToricY (Zemax "TOROIDAL") along y.
///
/// The profile is the even asphere of the base conic plus "a2" … "a14".
class SurfaceToric : public SurfaceAsphere {
 public:
  const std::vector<std::string>& parameterTitleArray() const override;
  const std::vector<std::string>& parameterTitleArrayForAsphericCoefficients() const override;
  int maximumExponent() const override { return 14; }
  void updateSagPolynomial() override;

  /// +∞ for a cylinder ("toricR" 0).
  double toroidRadius() const { return m_rt; }
  bool isAxisymmetric() const override { return false; }
  /// The profile runs along x (Toric X) or y (Toric Y).
  virtual bool profileAlongX() const = 0;

  bool validQ(const foundation::XY& q) const override;
  double sagAtQ(const foundation::XY& q) const override;
  foundation::XY sagGradientAtQ(const foundation::XY& q) const override;
  double implicitFunctionAtPosition(const foundation::XYZ& p) const override;
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;
  double maximumRadius() const override;
  double sagAtMaximumRadius() const override;
  /// A square of half-width the semidiameter.
  std::shared_ptr<const geometry::BoxSurfaceTest> fullAperture() const override;

  /// A cylinder without aspheric terms is a quadric curved in one meridian: the closed
  /// form pusher of that meridian. Otherwise the iterative one.
  std::string_view pusherName() const override;

  /// The section in one meridian, limited by the profile's maximum ordinate in the
  /// profile's meridian and by |Rt| across it, cut by the aperture.
  void appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented, bool upper,
                        bool backwards) const override;

  /// Negates "toricR", then the asphere flip.
  void flip() override;
  /// The asphere scaling, then "toricR" × f.
  void scaleByFactor(double f) override;

 protected:
  /// (u, v) of a point (x, y).
  foundation::XY toUV(const foundation::XY& q) const { return profileAlongX() ? q : foundation::XY{q.y, q.x}; }
  foundation::XY fromUV(const foundation::XY& g) const { return profileAlongX() ? g : foundation::XY{g.y, g.x}; }

 private:
  double m_rt = std::numeric_limits<double>::infinity();
};

/// Profile along x, swept in y.
class SurfaceToricX : public SurfaceToric {
 public:
  std::string type() const override { return "Toric X"; }
  std::optional<std::string> zemaxType() const override { return std::nullopt; }
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceToricX"; }
  bool profileAlongX() const override { return true; }
  /// Zemax knows only the y form: a break turning 90° about z, the same toric as a
  /// Toric Y, and a break turning back.
  std::vector<std::shared_ptr<const Surface>> zemaxSurfaces() const override;
};

/// Profile along y, swept in x (Zemax "TOROIDAL").
class SurfaceToricY : public SurfaceToric {
 public:
  std::string type() const override { return "Toric Y"; }
  std::optional<std::string> zemaxType() const override { return std::string("TOROIDAL"); }
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceToricY"; }
  bool profileAlongX() const override { return false; }
};

}  // namespace orb::lens
