#pragma once

#include "lens/Surface.h"

namespace orb::lens {

/// A conic cylinder curved in y only: z = s(y), s the conic profile of the surface's
/// curvature and conic constant. Made directly (files of other programs), never by name.
class SurfaceConicY : public Surface {
 public:
  std::string type() const override { return "ConicY"; }
  std::optional<std::string> zemaxType() const override { return std::nullopt; }
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceConicY"; }
  std::string_view pusherName() const override { return "PusherConicY"; }
  bool isAxisymmetric() const override { return false; }

  bool validQ(const foundation::XY& q) const override { return conicSection().validOrdinate(q.y); }
  double sagAtQ(const foundation::XY& q) const override { return conicSection().sagAtOrdinate(q.y); }
  foundation::XY sagGradientAtQ(const foundation::XY& q) const override {
    return {0, conicSection().sagGradientAtOrdinate(q.y)};
  }
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override {
    geometry::SurfaceTaylorExpansion e{};
    e.gy = conicSection().sagGradientAtOrdinate(p.y);
    e.gz = -1;
    e.hyy = conicSection().sagSecondGradientAtOrdinate(p.y);
    return e;
  }
  /// Unlimited across x; limited by the conic's maximum ordinate in y; cut by the aperture.
  void appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented, bool upper,
                        bool backwards) const override;
};

}  // namespace orb::lens
