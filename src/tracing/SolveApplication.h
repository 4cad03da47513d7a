#pragma once

namespace orb::lens {
class Surface;
}

namespace orb::tracing {

/// What the paraxial frame ray knows at one surface during the system update. Heights in
/// lens units; slopes dy/dz of the surface's local frame; indices signed (negative in
/// reflected space), so the same formulas hold before and after mirrors.
struct SolveContext {
  double h = 0, u = 0;        ///< marginal ray
  double hbar = 0, ubar = 0;  ///< chief ray
  double n = 1;               ///< index before the surface
  double nPrime = 1;          ///< index after it (−n at a mirror)
  bool normalised = false;    ///< the marginal ray has its true scale
  bool chiefDefined = false;  ///< the stop has been passed
};

/// Applies the surface's curvature solve (before the surface bends the frame ray) and
/// records its outcome on the surface; then its conic pickup.
void applyCurvatureSolve(lens::Surface& surface, const SolveContext& before);
void applyConicPickup(lens::Surface& surface);
/// Applies the thickness solve with the rays as they leave the surface. A result that is
/// not finite (a ray parallel to the axis) keeps the old thickness and says why.
void applyThicknessSolve(lens::Surface& surface, const SolveContext& after);

}  // namespace orb::tracing
