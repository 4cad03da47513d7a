#pragma once

#include <optional>

#include "platform/Value.h"

namespace orb::lens {
class Lens;
}

namespace orb::tracing {

/// First-order measurements by the classical y-nu trace over the prescription's vertex
/// curvatures, thicknesses and indices at the primary wave: a check on the framed-ray
/// measurement that shares none of its tracing. Centred systems only: coordinate breaks
/// count as powerless planes, tilts and decentres are ignored.
///
/// Slopes are dy/dz of each surface's local frame; indices carry a sign that a mirror
/// flips, so thicknesses in reflected space are negative, as the prescription holds them.
/// The lens must have been placed by a system update (the track values are not used).

/// Height and slope of one paraxial ray at a surface, before that surface bends it.
struct YNu {
  double y = 0, u = 0, n = 1;
};

/// Traces the ray (y0, u0) from the first vertex to surface `toIndex` (the image surface
/// when none); none without an object and a further surface.
std::optional<YNu> traceYNu(const lens::Lens& lens, double y0, double u0, std::optional<std::size_t> toIndex = {});

double measureFocalLengthTraditional(lens::Lens& lens);
double measureEntrancePupilLocationTraditional(lens::Lens& lens);
double measureEntrancePupilMagnificationTraditional(lens::Lens& lens);
/// From the image surface along +z of its frame.
double measureExitPupilLocationTraditional(lens::Lens& lens);
double measureExitPupilDiameterTraditional(lens::Lens& lens);
/// 0 for an object at infinity.
double measureMagnificationTraditional(lens::Lens& lens);
/// {"A","B","C","D"} as the framed stop transfer matrix.
platform::Dictionary stopTransferMatrixTraditional(lens::Lens& lens);
void measureStopTransferMatrixTraditional(lens::Lens& lens);
/// The thirteen cardinal entries, placed as the framed ones.
platform::Dictionary cardinalDataTraditional(lens::Lens& lens);
void measureCardinalPointsTraditional(lens::Lens& lens);

}  // namespace orb::tracing
