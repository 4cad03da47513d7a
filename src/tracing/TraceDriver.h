#pragma once

#include <cstddef>
#include <cstdint>

#include <span>

namespace orb::lens {
class Lens;
class Surface;
}  // namespace orb::lens

namespace orb::tracing {

class Ray;
class RayBundle;
class RayWithFrame;

/// How a trace treats the rays. The named constructors are the traditional short forms.
struct TraceOptions {
  /// Acquire and bend with the first-order operations of pushers and turners (about the
  /// vertex planes) instead of the exact ones.
  bool paraxially = false;
  /// Kill rays that a surface's aperture does not pass ("Aperture does not pass ray").
  /// The target surface's aperture is never tested.
  bool checkApertures = true;
  /// Set automatic and pickup semidiameters, and floating apertures, from the rays as
  /// they cross each surface. Changes the lens: only for the system update.
  bool updateSemidiameters = false;
  /// Skip the turners' validation before exact refraction (light pipes and elbows kill
  /// rays there), so every ray is bent as the surface's law says.
  bool analysisMode = false;
  /// Rays from which a column trace is split over the cores; 0 keeps the driver's own
  /// threshold. Callers whose runs are already long (a diffraction grid) may lower it.
  std::size_t parallelFromRays = 0;

  /// Exact, apertures as given.
  static TraceOptions checkingApertures(bool check) { return {false, check, false, false}; }
  /// Paraxial traces never test apertures; exact ones do.
  static TraceOptions paraxial(bool paraxially) { return {paraxially, !paraxially, false, false}; }
  /// Analysis traces never test apertures and skip validation.
  static TraceOptions analysis(bool analysisMode) { return {false, !analysisMode, false, analysisMode}; }
};

/// Carries rays (global coordinates, momentum form) through the lens to `toSurface` (the
/// last surface when null), surface by surface: every ray crosses one surface before the
/// next is visited. At each surface the rays move into its frame, its pusher acquires
/// them, its aperture is tested, its turner bends them (not at the target, which the rays
/// end on in the incident medium) and trajectories grow; a surface of infinite thickness
/// ends the trace whatever the target. Rays come back in global coordinates.
///
/// Answers the ray-surface interactions per second of the surface loop; 0 with no
/// surfaces, when the target is the object surface, or when the thread is cancelled (the
/// rays of a cancelled trace are to be discarded).
///
/// What the driver prepares for a lens (pushers, turners, names, scratch space) is kept
/// with the lens and reused until any model object announces a change (the frames are
/// read afresh every call); traces of one lens on several threads each use a plan of their
/// own. Callers that edit a lens while others trace it lock it.
///
/// It clears the lens's trace warning, and stores "Ray trace
/// failure (name : reason)" there (when none is set) before re-raising any exception.
/// A surface whose pusher or turner is unknown raises "Unsupported". Graded media are stepped through by the gradient pusher, ray by ray.
///
/// Lost rays are never an error: pushers, turners and apertures kill them with a cause.
double traceRays(lens::Lens& lens, std::span<Ray> rays, const lens::Surface* toSurface = nullptr,
                 const TraceOptions& options = {});
/// Framed rays: the same trace, also carrying the basis and transfer matrix.
double traceRays(lens::Lens& lens, std::span<RayWithFrame> rays, const lens::Surface* toSurface = nullptr,
                 const TraceOptions& options = {});

/// A bundle: the same trace in columns, the rows' wave indexes resolved through the
/// bundle's wave table (a row without a known wave takes the primary one). Rays that die
/// get their cause and the index of the surface in the lens, with the bundle's
/// surfaceNicknames set to the lens's. Paraxial traces and semidiameter updates go ray by
/// ray, with the same result.
double traceRays(lens::Lens& lens, RayBundle& rays, const lens::Surface* toSurface = nullptr,
                 const TraceOptions& options = {});

/// One ray; answers the ray.
Ray& traceRay(lens::Lens& lens, Ray& ray, const lens::Surface* toSurface = nullptr, const TraceOptions& options = {});
RayWithFrame& traceRay(lens::Lens& lens, RayWithFrame& ray, const lens::Surface* toSurface = nullptr,
                       const TraceOptions& options = {});

/// √(largest x² + y²) over the live rays' positions; 0 when none lives.
double maximumRadiusForRays(std::span<const Ray> rays);

/// Rays the column trace has handed from an iterative surface's Newton crossing to the
/// bracketing one-ray acquisition, counted since the program started: benchmarks print it
/// to show how rarely the fast path is left.
std::uint64_t iterativeFallbackRays();

/// Sizes the semidiameters from a y-fan of `numberOfRaysPerField` rays for every field,
/// traced paraxially to the last surface without apertures.
void updateSemidiameters(lens::Lens& lens);
/// The same with real rays, apertures checked.
void updateSemidiametersUsingRealRays(lens::Lens& lens);

}  // namespace orb::tracing
