#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "lens/PlanarDrawing.h"
#include "lens/SolveCodes.h"
#include "lens/Surface.h"
#include "platform/Value.h"  // Dictionary

namespace orb::geometry {
class DrawingSink;
class R3Hull;
class R3Plane;
class R3Quadric;
class R3Surface;
}  // namespace orb::geometry

namespace orb::lens {

/// The optical surfaces whose own face is a plane through the vertex and whose length
/// and walls come from their parameters: light pipes and elbows. The face is a plane
/// whatever curvature the surface carries (a type change keeps the old one).
class PlanarFaceSurface : public Surface, public solve::FixedCurvatureType {
 public:
  bool canEditCurvature() const override { return false; }
  bool canEditCurvatureSolveType() const override { return false; }
  std::optional<std::string> zemaxType() const override { return std::nullopt; }
  std::string_view pusherName() const override { return "Pusher"; }
  bool isPlanarInAppearance() const override { return true; }

  bool validOrdinate(double) const override { return true; }
  double sagAtOrdinate(double) const override { return 0; }
  double sagGradientAtOrdinate(double) const override { return 0; }
  double sagSecondGradientAtOrdinate(double) const override { return 0; }
  double maximumOrdinate() const override;
  double sagAtMaximumOrdinate() const override { return 0; }
  double maximumRadius() const override { return maximumOrdinate(); }
  double sagAtMaximumRadius() const override { return 0; }
};

/// A solid, tapered rod that carries light from its entrance face (this surface, z = 0)
/// to its exit face (z = thickness) by reflection at its side walls. The cross-section is
/// a regular polygon of "nside" sides, or an ellipse when "nside" is below 3; it grows
/// linearly from the inscribed radius "rin" to "rout", turned by "theta0" degrees about
/// the axis and squeezed in y by "flattening". "NA" above 0 lets rays whose momentum
/// along the wall normal exceeds it escape through the wall.
///
/// The bounding planes and the hull are built on first use and dropped when a parameter
/// or the thickness changes; they may be asked for from several threads.
class LightPipe : public PlanarFaceSurface {
 public:
  ~LightPipe() override;

  std::string type() const override { return "Light pipe"; }
  std::string className() const override { return "LightPipe"; }
  std::shared_ptr<Surface> makeEmpty() const override;
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::string fixedCurvatureDescription() const override { return "light pipe surface is planar"; }
  void parametersDidChange() override;
  /// "Turner" for a pipe of no length (a flat refracting face), "TurnerLightPipeGeneric"
  /// for "nside" below 3, else "TurnerLightPipe".
  std::string_view turnerName() const override;

  /// "nside" as an integer, at most 99 (values above count as 99).
  int numberOfSides() const;
  /// "nside" as read for the choice of turner.
  double nside() const { return m_nside; }
  double rin() const { return m_rin; }
  double rout() const { return m_rout; }
  double theta0() const { return m_theta0; }
  double numericalAperture() const { return m_na; }
  /// "flattening" clamped to [−100, 0.99].
  double flattening() const;

  /// z = 0 with outward normal −z.
  static std::shared_ptr<geometry::R3Plane> entrancePlane();
  /// z = L with outward normal +z.
  static std::shared_ptr<geometry::R3Plane> exitPlane(double length);
  /// The n side planes of the polygonal pipe, outward normals, at distance s·rin from the
  /// axis at z = 0 and s·rout at z = L in direction φ + theta0 (s the flattening's radius
  /// factor at φ = 2πi/n); none when n < 1.
  static std::vector<std::shared_ptr<geometry::R3Plane>> sidePlanes(int n, double rin, double rout, double length,
                                                                  double flattening, double theta0Degrees);
  /// The elliptic cone x² + g·y² − (rin + k·z)² = 0, g = 1/(1 − f)², k = (rout − rin)/L.
  static std::shared_ptr<geometry::R3Quadric> quadric(double rin, double rout, double length, double flattening);

  /// [entrance, exit] followed, for a pipe of positive length, by the side planes
  /// (32 when "nside" is below 3): the solid the hull and drawings show.
  std::vector<std::shared_ptr<geometry::R3Plane>> planesForPresentConfiguration() const;
  /// [entrance, exit] followed by the side planes, or the cone for "nside" below 3: what
  /// rays bounce in. Made afresh on every call.
  std::vector<std::shared_ptr<geometry::R3Surface>> surfacesForPresentConfiguration() const;
  std::vector<std::shared_ptr<geometry::R3Surface>> surfaces() const { return surfacesForPresentConfiguration(); }
  /// Cached planesForPresentConfiguration of the current thickness.
  std::vector<std::shared_ptr<geometry::R3Plane>> planes() const;
  /// The solid bounded by planes(); null (logged "LightPipe hull failed (…)") when it can
  /// not be built, and tried again on the next call.
  std::shared_ptr<geometry::R3Hull> hull() const;
  void forgetPlanesAndHull() const;

  /// Every patch of the hull, drawn in the pipe's local frame.
  void drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options = {}) const override;
  /// The side walls as four-corner faces and the two end faces as triangles.
  void dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options = {}) const override;
  /// The corners of the section at height z (the polygon of the drawn solid, 32 sides for
  /// a round pipe), in the order of the side planes; none for a pipe of no length.
  std::vector<foundation::XYZ> cornersAt(double z) const;
  /// The box of the solid: the polygon's corners (or the ellipse) at both ends.
  std::shared_ptr<geometry::MutableExtents> extents() const override;
  bool entityDrawZY(Painter2D& painter, const PlanarAffineTransform& transform) const override;
  bool entityDrawZX(Painter2D& painter, const PlanarAffineTransform& transform) const override;
  /// The outline in the plane x = 0 as (z, y), or y = 0 as (z, x): the hull's projection
  /// for polygonal pipes, the trapezium from ±rin to ±rout for circular ones (the
  /// flattening is not drawn).
  PlanarPath zyOutline() const;
  PlanarPath zxOutline() const;

 private:
  PlanarPath outlineInPlane(bool zy) const;

  double m_nside = 6, m_rin = 10, m_rout = 10, m_theta0 = 0, m_na = 0, m_flattening = 0;
  mutable std::mutex m_cacheMutex;
  mutable std::vector<std::shared_ptr<geometry::R3Plane>> m_planes;
  mutable double m_planesLength = 0;
  mutable std::shared_ptr<geometry::R3Hull> m_hull;
};

}  // namespace orb::lens
