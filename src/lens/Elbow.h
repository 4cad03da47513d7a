#pragma once

#include <memory>
#include <vector>

#include "lens/LightPipe.h"

namespace orb::geometry {
class R3Torus;
}

namespace orb::lens {

/// A circular rod of radius "rminor" bent along an arc of radius "rmajor" through
/// "theta" degrees, towards +y about the centre (0, rmajor, 0). The surface is the
/// entrance face; the surfaces after it stand in its exit frame, turned by the bend.
/// Its length is the arc length of the centre line, whatever thickness was stored.
class Elbow : public PlanarFaceSurface {
 public:
  std::string type() const override { return "Elbow"; }
  std::string className() const override { return "Elbow"; }
  std::shared_ptr<Surface> makeEmpty() const override;
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::string fixedCurvatureDescription() const override { return "elbow surface is planar"; }
  std::string thicknessDescription() const override { return "parameter-dependent"; }
  bool canEditThickness() const override { return false; }
  bool canEditThicknessSolveType() const override { return false; }
  void parametersDidChange() override;
  /// "TurnerElbow" for a bend above 0°, else "Turner".
  std::string_view turnerName() const override;

  double rmajor() const { return m_rmajor; }
  double rminor() const { return m_rminor; }
  double numericalAperture() const { return m_na; }
  /// "theta" clamped to [0, 360].
  double thetaDeg() const;
  double thetaRad() const { return thetaDeg() * 0.017453292519943295; }
  /// rmajor · thetaRad: the arc length of the centre line.
  double thickness() const override { return m_rmajor * thetaRad(); }

  /// z = 0, outward normal −z.
  std::shared_ptr<geometry::R3Plane> entrancePlane() const;
  /// Through the end of the centre line, (0, R(1 − cos θ), R sin θ), normal to the exit
  /// direction (0, sin θ, cos θ).
  std::shared_ptr<geometry::R3Plane> exitPlane() const;
  /// [entrance plane, exit plane, torus]; made afresh on every call.
  std::vector<std::shared_ptr<geometry::R3Surface>> surfacesForPresentConfiguration() const;
  std::vector<std::shared_ptr<geometry::R3Surface>> surfaces() const { return surfacesForPresentConfiguration(); }
  /// The end of the centre line in the local frame.
  foundation::XYZ exitPoint() const;

  /// Translation to the exit point, then the turn by the bend about x: local z goes to
  /// (0, sin θ, cos θ) and y to (0, cos θ, −sin θ).
  void implementExitFrame(foundation::TransformStack& stack) const override;

  /// The tube as quads: options "numberOfSegmentsPerRevolution" (16), "phiMin" and
  /// "phiMax" (degrees, 0 and 360) choose the part of the tube drawn.
  void drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options = {}) const override;
  /// The tube's faces, as drawUsingOpenGL draws them.
  void dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options = {}) const override;
  /// The box of the bent rod.
  std::shared_ptr<geometry::MutableExtents> extents() const override;
  /// The section of zyOutline, whatever the plane.
  bool entityDrawZY(Painter2D& painter, const PlanarAffineTransform& transform) const override;
  bool entityDrawZX(Painter2D& painter, const PlanarAffineTransform& transform) const override {
    return entityDrawZY(painter, transform);
  }
  /// The section in the plane x = 0 as (z, y): the outer and inner arcs of the bend
  /// joined at both ends, the arcs in steps of at most 1°. Drawn whatever the plane.
  PlanarPath zyOutline() const;
  PlanarPath zxOutline() const { return zyOutline(); }

 private:
  double m_rminor = 10, m_rmajor = 100, m_theta = 10, m_na = 1;
};

}  // namespace orb::lens
