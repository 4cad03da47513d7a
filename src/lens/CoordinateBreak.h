#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lens/Surface.h"

namespace orb::lens {

/// A surface that bends no light but moves the frame of every later surface: decentres
/// "dx", "dy" (lens units) and tilts "rx", "ry", "rz" (degrees) about the local axes,
/// in the order chosen by "order" (0: rotate z, y, x, then decentre; otherwise decentre,
/// then rotate x, y, z). Its thickness then moves along the new local z axis.
///
/// A break carries no glass (the medium before it continues), is never the stop and has
/// no curvature of its own.
class CoordinateBreak : public Surface {
 public:
  std::string type() const override { return "Break"; }
  std::optional<std::string> zemaxType() const override { return std::string("COORDBRK"); }
  const std::vector<std::string>& parameterTitleArray() const override;

  /// Takes the base conversion, then drops glass, glass pickup and mirror flag.
  void initWithSurface(const Surface& other) override;
  std::shared_ptr<Surface> makeEmpty() const override;

  bool isCoordinateBreak() const override { return true; }
  /// A break draws nothing; its box is the cube of its semidiameter about the vertex.
  std::shared_ptr<geometry::MutableExtents> extents() const override;
  void drawUsingOpenGL(geometry::DrawingSink&, const platform::Dictionary& = {}) const override {}
  void dxfWithOptions(geometry::DxfSink&, const platform::Dictionary& = {}) const override {}
  bool canEditCurvatureSolveType() const override { return false; }
  bool canEditGlassSolveType() const override { return false; }
  // A break is a change of frame, not an optical surface: it holds no glass and can be
  // neither the stop nor curved.
  bool canBecomeStop() const override { return false; }
  bool canEditCurvature() const override { return false; }
  bool canEditGlass() const override { return false; }
  bool glassIsGood() const override { return true; }
  std::optional<std::string> glassName() const override { return std::string("-"); }

  /// forward ← forward · B and inverse ← B⁻¹ · inverse, with B the break in its order.
  void implementCoordinateBreak(foundation::TransformStack& stack) const override;

  void setRx(double degrees);
  void parametersDidChange() override;

  std::string className() const override { return "CoordinateBreak"; }

 private:
  double m_dx = 0, m_dy = 0, m_rx = 0, m_ry = 0, m_rz = 0;
  int m_order = 0;
};

/// Composes a coordinate break onto the top of `stack` (angles in degrees). With order 0
/// the break is Rz·Ry·Rx·T, otherwise T·Rx·Ry·Rz, where T translates by (dx, dy, 0) and
/// each R rotates by the parameter angle with the rows (1,0,0),(0,c,−s),(0,s,c) about x,
/// (c,0,−s),(0,1,0),(s,0,c) about y and (c,−s,0),(s,c,0),(0,0,1) about z. Quarter turns
/// are exact.
void composeCoordinateBreak(foundation::TransformStack& stack, double dx, double dy, double rx, double ry, double rz,
                            int order);

}  // namespace orb::lens
