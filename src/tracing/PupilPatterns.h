#pragma once

#include <cstdint>
#include <vector>

#include "foundation/objects/XY.h"

namespace orb::tracing {

/// Normalised pupil coordinates ((0, 0) the stop's centre, (0, 1) its top edge) that ray
/// generation turns into rays. Each pattern is rebuilt per request in a fixed order, so a
/// request always yields the same points (the random pattern excepted). The hexagonal
/// patterns round the count up to a centred hexagonal number 3K(K + 1) + 1.
namespace pupil {

using Points = std::vector<foundation::XY>;

/// n points (t·dx, t·dy), t from −1 to +1 in equal steps with the middle one exactly 0;
/// one point gives (dx, dy).
Points bidirectionalFan(std::uint32_t n, double dx, double dy);
Points xFan(std::uint32_t n);
Points yFan(std::uint32_t n);
/// n points (t·dx, t·dy), t from 0 to 1; one point gives (dx, dy).
Points radialFan(std::uint32_t n, double dx, double dy);
/// Cell centres of an nx × ny grid over [−1, 1]², x-major.
Points pointsInFourSquare(std::uint32_t nx, std::uint32_t ny);
/// The same grid in the wrapped order of a discrete Fourier transform (0, 1, …, −1),
/// shifted by half a cell when the count is even.
Points fftPointsInFourSquare(std::uint32_t nx, std::uint32_t ny);
/// Grid points of spacing 1/(K + 0.5) strictly inside the unit circle, centre first, with
/// the smallest K that gives at least n.
Points squareArrayOfPointsInUnitCircle(std::uint32_t n);
/// The centre, then rings k = 1…K of 6k points at radius k/(K + 0.5).
Points hexapolarArrayOfPointsInUnitCircle(std::uint32_t n);
/// n points uniform in the unit disc by rejection, from the shared random generator.
Points randomPointsInUnitCircle(std::uint32_t n);
/// H(K) points along an Archimedean spiral of K turns, equally spaced in arc length, the
/// last near radius N/(N + 0.5), turned by `phaseDegrees`. A request for 0 or 1 points
/// gives the centre alone.
Points spiralInUnitCircle(std::uint32_t n, double phaseDegrees);
/// The same points as spiralInUnitCircle.
Points goldenSpiralInUnitCircle(std::uint32_t n, double phaseDegrees);

}  // namespace pupil
}  // namespace orb::tracing
