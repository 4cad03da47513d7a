#pragma once

namespace orb::geometry {

/// The local expansion of a surface's implicit function at a point on it: the gradient
/// (gx, gy, gz) and the second derivatives. Analytic surfaces and the lens model's
/// surfaces answer it; for a sag surface z = f(x, y) the gradient is (∂f/∂x, ∂f/∂y, −1).
struct SurfaceTaylorExpansion {
  double gx, gy, gz;
  double hxx, hxy, hyy, hxz, hyz, hzz;
};

}  // namespace orb::geometry
