#pragma once

#include <functional>
#include <optional>

#include "foundation/objects/XYZ.h"

namespace orb::lens {
class Surface;
}

namespace orb::tracing {

/// A real ray as it leaves a surface, in that surface's local frame.
struct LeavingRay {
  foundation::XYZ position;
  foundation::XYZ direction;  ///< along the light; not necessarily of unit length
};

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
  /// The axial field's real ray at pupil coordinate (0, zone), primary wave, as it leaves
  /// the surface; none when it is lost on the way. Unset where no real ray can be traced.
  std::function<std::optional<LeavingRay>(double zone)> realMarginalRay;
};

/// Applies the surface's curvature solve (before the surface bends the frame ray) and
/// records its outcome on the surface; then its conic pickup.
void applyCurvatureSolve(lens::Surface& surface, const SolveContext& before);
void applyConicPickup(lens::Surface& surface);
/// Applies the thickness solve with the rays as they leave the surface. A result that is
/// not finite (a ray parallel to the axis) keeps the old thickness and says why. The
/// marginal-height solve at a pupil zone other than 0 and 1 follows the real ray through
/// that zone, and the paraxial ray when the real one is lost.
void applyThicknessSolve(lens::Surface& surface, const SolveContext& after);

}  // namespace orb::tracing
