#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"

namespace orb::lens {
class Field;
class Lens;
class Surface;
class Wave;
}  // namespace orb::lens

namespace orb::tracing {

class RayAimer;

/// Test rays: fields × pupil coordinates × waves turned into rays in object space that,
/// traced to the stop, leave their field point and cross the stop at their pupil
/// coordinate ((0, 0) its centre, (0, 1) its top edge). Without aiming the rays are placed
/// by the first-order stop transfer matrix ("A", "B": stop height A·y + B·u of a paraxial
/// ray of height y at global z = 0 and slope u); with aiming set up and on, real rays are
/// adjusted until they meet the stop (RayAimer).
///
/// Field values mean degrees ("Angle") or lens units ("Object height", "Image height").
/// Every ray carries its field and pupil coordinate in its tags, and a wave.
///
/// Reads the lens's paraxial data (objectSpaceIndexOfRefraction, entrancePupilDiameter,
/// objectSpaceNumericalAperture, focalLength, magnification) as the system update left it.
/// Writes only the lens's ray-generation warning.

using Fields = std::vector<std::shared_ptr<lens::Field>>;
using Waves = std::vector<std::shared_ptr<lens::Wave>>;

// --- Field helpers -----------------------------------------------------------------------
/// The first field at (0, 0); a new default field when there is none.
std::shared_ptr<lens::Field> axialField(const lens::Lens& lens);
/// The field with the largest y (the first of equals); null without fields.
std::shared_ptr<lens::Field> chiefField(const lens::Lens& lens);
/// Largest √(x² + y²) over the fields; 0 without fields.
double maxRadialField(const lens::Lens& lens);
/// Largest |x| or |y| over the fields; 0 without fields.
double maxField(const lens::Lens& lens);
double minFieldY(const lens::Lens& lens);
double maxFieldY(const lens::Lens& lens);
/// A new field at H × maxField.
std::shared_ptr<lens::Field> fieldForH(const lens::Lens& lens, const foundation::XY& h);
/// n fields from 0 to maxField along y (n = 1 gives the axial one).
Fields fieldFanWithNumberOfPoints(const lens::Lens& lens, std::size_t n);
inline Fields fieldFan(const lens::Lens& lens) { return fieldFanWithNumberOfPoints(lens, 21); }

// --- Coordinates -------------------------------------------------------------------------
/// Degrees to radians.
foundation::XY angleCoordinateForAngleField(const lens::Field& field);
foundation::XY heightCoordinateForObjectHeightField(const lens::Field& field);
/// atan(image height / focal length).
foundation::XY angleCoordinateForImageHeightField(const lens::Lens& lens, const lens::Field& field);
/// Image height / magnification.
foundation::XY heightCoordinateForImageHeightField(const lens::Lens& lens, const lens::Field& field);
/// The unit direction at angle r = |a| from the axis in the azimuth of a; +z for a = 0.
foundation::XYZ chiefRayDirectionForAngleCoordinate(const foundation::XY& angles);
/// A vignetted field squeezes and shifts the unit pupil into [PXA, PXB] × [PYA, PYB].
pupil::Points vignettePupilCoordinates(std::span<const foundation::XY> pupilCoordinates, const lens::Field& field);

/// The lens's object-space index: the paraxial data's value, else the object medium's
/// index at the primary wave.
double objectSpaceIndexOfRefraction(lens::Lens& lens);

// --- Ray makers ------------------------------------------------------------------------
/// The rays of one field (tagged with it), pupil coordinates vignetted first. Sets the
/// ray-generation warning for an unknown field type and then answers no rays. `aimer`
/// null: paraxial placement.
std::vector<Ray> raysForField(lens::Lens& lens, const std::shared_ptr<lens::Field>& field,
                              const lens::Surface& surfaceZero, std::span<const foundation::XY> pupilCoordinates,
                              RayAimer* aimer = nullptr);
std::vector<Ray> raysForAngleCoordinate(lens::Lens& lens, const foundation::XY& angles, const lens::Surface& surfaceZero,
                                        std::span<const foundation::XY> pupilCoordinates, RayAimer* aimer = nullptr);
std::vector<Ray> raysForHeightCoordinate(lens::Lens& lens, const foundation::XY& heights,
                                         const lens::Surface& surfaceZero,
                                         std::span<const foundation::XY> pupilCoordinates, RayAimer* aimer = nullptr);

/// Every field's rays, field by field, in the primary wave. None (and the ray-generation
/// warning) when the lens has no surfaces or an object-height field meets an object at
/// infinity. With `restrictToPupil`, rays outside the unit pupil come back dead.
/// Ray aiming is used when it is set up and on.
std::optional<std::vector<Ray>> raysForFields(lens::Lens& lens, const Fields& fields,
                                              std::span<const foundation::XY> pupilCoordinates,
                                              bool restrictToPupil = false);
/// One copy of the field rays per wave, wave by wave (field-major within a wave); empty
/// when no ray was made.
std::vector<Ray> raysForFields(lens::Lens& lens, const Fields& fields, std::span<const foundation::XY> pupilCoordinates,
                               const Waves& waves, bool restrictToPupil = false);
/// The same under the lens's lock, as worker threads call it; `suspendRayAiming` places
/// the rays paraxially for this call only (the lens's setting is not touched).
std::vector<Ray> raysForFieldsSuspendingRayAiming(lens::Lens& lens, const Fields& fields,
                                                  std::span<const foundation::XY> pupilCoordinates, const Waves& waves,
                                                  bool suspendRayAiming, bool restrictToPupil = false);

/// The rays of raysForFields(lens, fields, pupilCoordinates, waves) written straight into
/// columns (the primary wave alone when `waves` is empty): wave by wave, field by field,
/// each row tagged with its field. Every ray is made in the columns: placed paraxially from
/// an object at infinity split over the cores; aimed rays are adjusted a field at a time on
/// their rows (RayAimer::adjustPositionsOfRows, adjustMomentaOfRows) in the primary wave and
/// copied for the other waves.
/// None as raysForFields.
std::optional<RayBundle> bundleForFields(lens::Lens& lens, const Fields& fields,
                                         std::span<const foundation::XY> pupilCoordinates, const Waves& waves = {},
                                         bool restrictToPupil = false);
/// The same rays written into `bundle`, whose columns keep their capacity: a calculator
/// that runs again and again fills the memory it already has instead of fresh pages.
/// False (the bundle left empty) where bundleForFields answers none, and when the calling
/// worker is cancelled.
/// With `suspendRayAiming` the rays are placed paraxially whatever the lens's setting.
bool fillBundleForFields(RayBundle& bundle, lens::Lens& lens, const Fields& fields,
                         std::span<const foundation::XY> pupilCoordinates, const Waves& waves = {},
                         bool restrictToPupil = false, bool suspendRayAiming = false);

/// Kills ray i when pupil coordinate i lies outside the unit circle.
void pupilStampRays(std::span<Ray> rays, std::span<const foundation::XY> pupilCoordinates);

/// The ray of field H × maxField at pupil coordinate P, in `wave` (the primary one when
/// null); none when no ray was made.
std::optional<Ray> rayForH(lens::Lens& lens, const foundation::XY& h, const foundation::XY& p,
                           const std::shared_ptr<lens::Wave>& wave = nullptr, bool suspendRayAiming = false);
/// The axial field's ray through the top of the stop, primary wave.
std::optional<Ray> marginalRay(lens::Lens& lens);
/// The chief field's ray through the stop's centre, primary wave; none without fields.
std::optional<Ray> chiefRay(lens::Lens& lens);

}  // namespace orb::tracing
