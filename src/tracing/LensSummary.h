#pragma once

#include <memory>

#include "foundation/objects/XYZ.h"

namespace orb::lens {
class Lens;
class Wave;
}  // namespace orb::lens

namespace orb::materials {
class Glass;
}

namespace orb::tracing {

/// The system quantities that tables, merit operands and listings show, read from a lens
/// that a system update has measured. Lengths in lens units (mm), angles in degrees where
/// named so. Only adjustFocus changes the lens.

// --- the last paraxial measurement, each under its own key of paraxialData (0 when absent)
double entrancePupilDiameter(const lens::Lens& lens);
double entrancePupilLocation(const lens::Lens& lens);
double entrancePupilMagnification(const lens::Lens& lens);
double exitPupilDiameter(const lens::Lens& lens);
/// From the image surface, along the final axial ray.
double exitPupilLocation(const lens::Lens& lens);
double focalLength(const lens::Lens& lens);
/// Signed: negative in reflected image space.
double imageSpaceIndexOfRefraction(const lens::Lens& lens);
double imageSpaceFocalRatio(const lens::Lens& lens);
double imageSpaceNumericalAperture(const lens::Lens& lens);
double infiniteConjugateImageSpaceFocalRatio(const lens::Lens& lens);
double infiniteConjugateImageSpaceNumericalAperture(const lens::Lens& lens);
double magnification(const lens::Lens& lens);
double minification(const lens::Lens& lens);
double objectConeAngleInDegrees(const lens::Lens& lens);
double objectSpaceFocalRatio(const lens::Lens& lens);
double objectSpaceNumericalAperture(const lens::Lens& lens);
// objectSpaceIndexOfRefraction (the stored value, else a fresh measurement) lives with
// the ray generation, its first user: RayGeneration.h.
bool entrancePupilDiameterDetermined(const lens::Lens& lens);
bool objectSpaceNumericalApertureDetermined(const lens::Lens& lens);
/// Global coordinates; (0, 0, 0) before the first measurement.
foundation::XYZ exitPupilCenter(const lens::Lens& lens);
foundation::XYZ exitPupilNormal(const lens::Lens& lens);

// --- sums and minima over the surfaces ------------------------------------------------------
/// The object surface's thickness is infinite (either sign).
bool isObjectAtInfinity(const lens::Lens& lens);
/// The thicknesses after the object surface, the image surface's included.
double totalTrack(const lens::Lens& lens);
/// The smallest thickness among surfaces with a glass; +∞ when none has one.
double glassThickness(const lens::Lens& lens);
/// The smallest edge thickness among surfaces with a glass; +∞ when none has one.
double edgeThickness(const lens::Lens& lens);
/// A diffuser makes every trace random, so analyses must not cache its rays.
bool isRandom(const lens::Lens& lens);

// --- indices --------------------------------------------------------------------------------
/// The glass's index at the wave's wavelength; the ambient index with no glass.
double indexOfRefractionForWave(const lens::Lens& lens, const lens::Wave& wave,
                                const std::shared_ptr<materials::Glass>& glass);
/// (n(λshortest) − n(λlongest)) / n(λprimary) over the lens's waves; 0 with no glass, a
/// single wave, or n(λprimary) = 0.
double dispersionForGlass(lens::Lens& lens, const std::shared_ptr<materials::Glass>& glass);

// --- the sine condition and the refocus -----------------------------------------------------
/// 1 − (u′·sin U)/(sin U′·u) from the axial marginal ray traced really and paraxially,
/// read in the image surface's frame (1 − u′/sin U′ for an object at infinity). NaN when
/// the lens makes no marginal ray or the real one is lost on the way.
double offenseAgainstSineCondition(lens::Lens& lens);
/// Moves the focus surface's thickness by the paraxial distance from the image surface to
/// the axial focus (for a finite object, its paraxial image), and removes its thickness
/// solve, which would otherwise undo the change. Nothing without a focus surface.
void adjustFocus(lens::Lens& lens);

}  // namespace orb::tracing
