#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "foundation/polynomial/SplineInterpolator.h"
#include "platform/Object.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"

namespace orb::lens {
class Lens;
class Surface;
}  // namespace orb::lens

namespace orb::tracing {

/// Ray aiming makes real rays meet the aperture stop where their pupil coordinate says,
/// in three layers:
/// - stop extents: the real half-widths of the stop (the lens's yStopPlus … xStopMinus),
///   against which pupil coordinates are scaled;
/// - aiming tables, rebuilt by every system update: splines over the fraction of the
///   largest field of the real chief ray's start point (angle fields: QY, QZ) or start
///   direction (height fields: PY, PZ), each from root searches at 100 fractions run in
///   step (one trace per step for all of them);
/// - adjusting: a search per test ray that moves its start point (object at infinity) or
///   tilts its momentum (finite object) until it meets the stop at the target; a field's
///   rays are searched together (Newton steps, one trace per step for all of them), a ray
///   that this leaves unsettled by a least-squares search of its own. The searches run in
///   columns (a RayBundle of trial rows, traced over the cores); a large fan first aims a
///   sample of its rays and starts the rest from a polynomial fitted to them, so most rays
///   need one Newton step.

/// One aiming table as the lens holds it (Lens::RayAimingState's interpolator slots).
/// Built once per system update and then only read; readers copy the spline, whose
/// lookups move a search hint.
class RayAimingTable : public platform::Object {
 public:
  explicit RayAimingTable(foundation::SplineInterpolator spline) : m_spline(std::move(spline)) {}
  const foundation::SplineInterpolator& spline() const { return m_spline; }
  std::string className() const override { return "RayAimingTable"; }

 private:
  foundation::SplineInterpolator m_spline;
};

/// (0, sin a, cos a).
foundation::XYZ chiefRayDirectionForAngle(double angle);

/// Sets the four stop extents: from the stop's aperture when pupil coordinates are
/// renormalised by it, else from four rays of the axial field (P = (0, ±1), (±1, 0)),
/// placed paraxially and traced to the stop. A ray that does not get there switches ray
/// aiming off and leaves a system-generation warning naming it.
void determineStopExtents(lens::Lens& lens);
/// Clears the tables, finds the stop extents and, with aiming on, rebuilds the tables for
/// the lens's field type; then marks aiming set up.
void rayAimingSetup(lens::Lens& lens);
/// Angle tables up to `maximumAngle` radians (object at infinity).
void rayAimingSetupForMaximumAngle(lens::Lens& lens, double maximumAngle);
/// Height tables up to `maximumHeight` lens units (finite object).
void rayAimingSetupForMaximumHeight(lens::Lens& lens, double maximumHeight);

/// The aiming of one generation call. It copies the tables and stop extents when made and
/// keeps every scratch value of the searches itself, so analyses on different threads
/// aiming rays through one lens never share state. Traces go through the lens (the lens
/// must not change meanwhile; ray generation holds the lens's lock).
class RayAimer {
 public:
  explicit RayAimer(lens::Lens& lens);

  /// Table lookups for a field: the chief ray's start point for angles (radians), its
  /// start momentum for object heights; ((0, 0, 0) and (0, 0, n) without tables).
  foundation::XYZ chiefRayPositionForAngleCoordinate(const foundation::XY& angles);
  foundation::XYZ chiefRayMomentumForHeightCoordinate(const foundation::XY& heights);

  /// Moves the ray's start point (on the system surface's sag) until it meets the stop at
  /// (Px · xStopPlus, Py · yStopPlus); kills the ray when no such point is found.
  void adjustPositionOfRay(Ray& ray, const foundation::XY& pupilCoordinate);
  /// The same by tilting the ray's momentum (its length kept) from its start point.
  void adjustMomentumOfRay(Ray& ray, const foundation::XY& pupilCoordinate);

  /// Many rays at once (one field's), ray i to pupil coordinate i: damped Newton steps
  /// on all of them together, each round one column trace of every unsettled ray and one
  /// of the two finite-difference neighbours of those not yet on target. A ray the joint search does not settle is adjusted on
  /// its own as above, so the outcome is that of the one-ray calls to the aiming accuracy.
  void adjustPositionsOfRays(std::span<Ray> rays, std::span<const foundation::XY> pupilCoordinates);
  void adjustMomentaOfRays(std::span<Ray> rays, std::span<const foundation::XY> pupilCoordinates);

  /// The same on rows [begin, begin + pupilCoordinates.size()) of `bundle` (one field's
  /// rays as they start, row i to pupil coordinate i): settled rows get their start point or
  /// momentum; a row left unsettled goes through the one-ray search, and a row that search
  /// cannot aim is left dead (its start as it came, no cause), as the one-ray call leaves it.
  void adjustPositionsOfRows(RayBundle& bundle, std::size_t begin, std::span<const foundation::XY> pupilCoordinates);
  void adjustMomentaOfRows(RayBundle& bundle, std::size_t begin, std::span<const foundation::XY> pupilCoordinates);

  /// Stop-plane misses (x − targetX, y − targetY) of the base ray moved to (x, y) or tilted
  /// by (u, v); none when the ray does not reach the stop.
  std::optional<foundation::VKSeries> adjustPositionOfRayResidualEvaluator(const foundation::VKSeries& xy);
  std::optional<foundation::VKSeries> adjustMomentumOfRayResidualEvaluator(const foundation::VKSeries& uv);

 private:
  std::optional<foundation::VKSeries> residualsOfTrace();
  template <class Evaluator>
  void adjust(Ray& ray, const foundation::XY& pupilCoordinate, const foundation::VKSeries& start,
              Evaluator evaluator);
  /// The joint search over rows [begin, begin + n) of `rows`, n = pupilCoordinates.size():
  /// `place(i, c, q, p)` gives row i's start (position q, momentum p) for coordinates c.
  /// `c` holds the starting coordinates and comes back with the best found; answers which
  /// rows it settled.
  template <class Place>
  std::vector<std::uint8_t> searchTogether(const RayBundle& rows, std::size_t begin,
                                           std::span<const foundation::XY> pupilCoordinates,
                                           std::vector<foundation::XY>& c, double step, const Place& place);
  /// The Newton rounds for the rows `which` (offsets from begin) from c[i].
  template <class Place>
  void newtonRounds(const RayBundle& rows, std::size_t begin, std::span<const foundation::XY> pupilCoordinates,
                    std::span<const std::size_t> which, std::vector<foundation::XY>& c,
                    std::vector<std::uint8_t>& settled, double step, const Place& place);
  double acceptedMiss() const;

  lens::Lens& m_lens;
  const lens::Surface* m_stop;
  const lens::Surface* m_systemSurface;
  bool m_checkApertures;
  double m_maximumField;
  double m_objectIndex;
  double m_xStopPlus, m_yStopPlus;
  std::optional<foundation::SplineInterpolator> m_qy, m_qz, m_py, m_pz;

  // Trial rows of the joint search, kept so that their columns keep their capacity.
  RayBundle m_trials;

  // Scratch of the search in progress.
  Ray* m_baseRay = nullptr;
  Ray m_trial{{0, 0, 0}, {0, 0, 1}, 1};
  double m_targetX = 0, m_targetY = 0;
  foundation::XYZ m_initialMomentum{0, 0, 1}, m_u{1, 0, 0}, m_v{0, 1, 0};
};

}  // namespace orb::tracing
