#include "tracing/SolveApplication.h"

#include <cmath>

#include "lens/Surface.h"
#include "platform/Log.h"

namespace orb::tracing {

namespace {

bool isMirror(const lens::Surface& s) { return s.isMirror() && !s.isCoordinateBreak(); }

// Exit slope of a paraxial ray of height h and slope u for curvature c, and its inverse.
double exitSlope(const lens::Surface& s, const SolveContext& k, double h, double u, double c) {
  if (isMirror(s)) return -(u + 2 * c * h);
  return (k.n * u - (k.nPrime - k.n) * h * c) / k.nPrime;
}
double curvatureForExitSlope(const lens::Surface& s, const SolveContext& k, double h, double u, double uPrime) {
  if (isMirror(s)) return -(u + uPrime) / (2 * h);
  return (k.n * u - k.nPrime * uPrime) / ((k.nPrime - k.n) * h);
}

// The thickness that puts the next vertex plane where the real ray of the zone reaches
// height `target`: the ray leaves the surface at (y, z) (z the sag there) with direction
// (M, N), so it stands at that height at z + (target − y)·N/M. In reflected space N < 0
// and the thickness comes out negative, as the paraxial one does. None when the ray is
// lost; not finite when it runs parallel to the axis.
std::optional<double> realMarginalHeightThickness(const SolveContext& k, double target, double zone) {
  if (!k.realMarginalRay) return std::nullopt;
  const std::optional<LeavingRay> ray = k.realMarginalRay(zone);
  if (!ray) return std::nullopt;
  return ray->position.z + (target - ray->position.y) * ray->direction.z / ray->direction.y;
}

constexpr const char* kNoMarginal = "No normalized marginal ray";
constexpr const char* kNoChief = "No chief ray";
constexpr const char* kUnimplemented = "Unimplemented in v1.1";

}  // namespace

void applyCurvatureSolve(lens::Surface& s, const SolveContext& k) {
  s.setCurvatureSolveOutcome(true, "");
  const bool sticky = s.curvatureSolveTargetSticky();
  const double c = s.curvature();
  switch (s.curvatureSolveType()) {
    case 2:
      if (!k.normalised) return s.setCurvatureSolveOutcome(false, kNoMarginal);
      if (sticky) return s.setCurvatureSolveTypeTarget(2, exitSlope(s, k, k.h, k.u, c));
      return s.setCurvature(curvatureForExitSlope(s, k, k.h, k.u, s.curvatureSolveTarget()));
    case 11: {
      // A focal ratio is a convergence along the light, whichever way it runs: a positive
      // F focuses, behind a mirror too. Slopes here are dy/dz, and the sign of n′ is the
      // direction of travel after the surface.
      if (!k.normalised) return s.setCurvatureSolveOutcome(false, kNoMarginal);
      const double travel = k.nPrime < 0 ? -1.0 : 1.0;
      if (sticky) return s.setCurvatureSolveTypeTarget(11, -0.5 / (travel * exitSlope(s, k, k.h, k.u, c)));
      return s.setCurvature(curvatureForExitSlope(s, k, k.h, k.u, travel * -0.5 / s.curvatureSolveTarget()));
    }
    case 3:
      if (!k.chiefDefined) return s.setCurvatureSolveOutcome(false, kNoChief);
      if (sticky) return s.setCurvatureSolveTypeTarget(3, exitSlope(s, k, k.hbar, k.ubar, c));
      return s.setCurvature(curvatureForExitSlope(s, k, k.hbar, k.ubar, s.curvatureSolveTarget()));
    case 4: {
      auto source = s.curvatureSolveSurface();
      if (!source) return s.setCurvatureSolveOutcome(false, "No master surface");
      return s.setCurvature(source->curvature() / s.curvatureSolveScale());
    }
    case 5: return s.setCurvature(-k.u / k.h);
    case 6:
      if (!k.chiefDefined) return s.setCurvatureSolveOutcome(false, kNoChief);
      return s.setCurvature(-k.ubar / k.hbar);
    case 7:
      if (isMirror(s)) return s.setCurvature(0);
      return s.setCurvature(-k.u * (k.n + k.nPrime) / (k.n * k.h));
    case 8: return s.setCurvatureSolveOutcome(false, kUnimplemented);
    case 9:
      if (auto source = s.curvatureSolveSurface()) s.setRadiusOfCurvature(source->track() - s.track());
      return;
    case 10:
      if (auto source = s.curvatureSolveSurface())
        s.setRadiusOfCurvature(source->radiusOfCurvature() - (s.track() - source->track()));
      return;
    default: return;
  }
}

void applyConicPickup(lens::Surface& s) {
  if (s.conicSolveType() != 2) return;
  if (auto source = s.conicSolveSurface()) s.setConicConstant(source->conicConstant() * s.conicSolveScale());
}

void applyThicknessSolve(lens::Surface& s, const SolveContext& k) {
  s.setThicknessSolveOutcome(true, "");
  const int code = s.thicknessSolveType();
  // Slopes are dy/dz, so a distance to a height is a z-thickness in reflected space too.
  auto store = [&s](double t) {
    if (std::isfinite(t)) return s.setThickness(t);
    s.setThicknessSolveOutcome(false, "No solution (ray parallel to the axis)");
  };
  switch (code) {
    case 0:
    case 1: return;
    case 2: {
      const double target = s.thicknessSolveTarget();
      const double zone = s.thicknessSolveZone();
      // Zone 1 (every new surface's) and zone 0 (files' "paraxial") ask for the paraxial
      // ray; any other zone for the real ray through it, whose focus spherical aberration
      // moves away from the paraxial one.
      if (zone != 0 && zone != 1) {
        if (auto t = realMarginalHeightThickness(k, target, zone)) return store(*t);
        platform::logWarningOnce(s.nickname(), "real marginal height solve",
                                 "%s: the real ray at pupil zone %g can not be traced through the surface (it "
                                 "misses, is totally reflected or the pupil is unknown); its marginal ray height "
                                 "solve uses the paraxial ray",
                                 s.nickname().c_str(), zone);
      }
      if (target != 0 && !k.normalised) return s.setThicknessSolveOutcome(false, kNoMarginal);
      return store((target * zone - k.h) / k.u);
    }
    case 3:
      if (!k.chiefDefined) return s.setThicknessSolveOutcome(false, kNoChief);
      return store((s.thicknessSolveTarget() - k.hbar) / k.ubar);
    case 5:
      if (auto t = s.pickupThickness()) store(*t);
      return;
    case 7: {
      auto source = s.thicknessSolveSurface();
      if (!source) return;
      if (s.thicknessSolveTargetSticky()) {
        // Keeps the thickness; the target follows it (setting the type again keeps it sticky).
        const double target = s.thickness() + s.track() - source->track();
        s.setThicknessSolveTypeTarget(7, target);
        return;
      }
      return store(s.thicknessSolveTarget() + source->track() - s.track());
    }
    case 8:
      if (auto source = s.thicknessSolveSurface()) store(s.thicknessSolveTarget() - source->thickness());
      return;
    case 9:
      if (auto source = s.thicknessSolveSurface())
        store(source->radiusOfCurvature() - (s.track() - source->track()));
      return;
    case 4: {
      const double r = s.semidiameter();
      const auto next = s.nextSurface();
      return store(s.thicknessSolveTarget() + s.sagAtRadius(r) - (next ? next->sagAtRadius(r) : 0.0));
    }
    default:
      platform::log("unimplemented thickness solve %d", code);
      return s.setThicknessSolveOutcome(false, kUnimplemented);
  }
}

}  // namespace orb::tracing
