#pragma once

#include <optional>

#include "foundation/objects/XYZ.h"
#include "platform/Value.h"
#include "tracing/RayWithFrame.h"

namespace orb::lens {
class Lens;
class Surface;
class Wave;
}  // namespace orb::lens

namespace orb::tracing {

/// First-order optics of a lens measured with one framed ray traced along the axis: its
/// transfer matrix is the system's paraxial matrix. The regeneration runs these and leaves
/// the results in the lens's paraxialData, cardinalData and stopTransferMatrix; readers
/// use the accessors in LensSummary.h.
///
/// Units: lens units (mm); wavelengths of waves in µm; angles in degrees where named so.
///
/// Object-space basis: the framed ray's transfer matrix works in optical momentum (n·u),
/// so with an object space of index n₀ ≠ 1 its raw readings aH and bU carry stray factors
/// of n₀. Every measurement here goes through AxialBasis, which holds two true rays:
/// ray a leaves the first vertex on the axis with unit slope, ray b leaves at unit height
/// parallel to the axis.
struct AxialBasis {
  double aH = 0, aU = 1, bH = 1, bU = 0;
  /// Heights, and slopes dy/ds along the direction of travel, of the two rays where the
  /// framed ray now stands (its initial index is the object-space one).
  static AxialBasis of(const RayWithFrame& ray);
  /// Height and slope of the ray `slope`·a + `height`·b.
  double heightOf(double slope, double height) const { return slope * aH + height * bH; }
  double slopeOf(double slope, double height) const { return slope * aU + height * bU; }
};

/// +1 while the ray travels towards +z of its frame, −1 once reflected: turns slopes along
/// the direction of travel into slopes dy/dz of the local frame.
double travelSign(const RayWithFrame& ray);

/// Index of the object surface's medium (the ambient one when it has none) at `wave`.
double objectSpaceIndexOfRefractionAtWave(lens::Lens& lens, const lens::Wave& wave);
double measureObjectSpaceIndexOfRefraction(lens::Lens& lens);

/// The probe at the origin along +z in object-space index, primary wave.
RayWithFrame axialFrameRay(lens::Lens& lens);
/// The same at the object surface's global z when the object is finite.
RayWithFrame axialFrameRayAtObject(lens::Lens& lens);
/// The axial probe traced (analysis mode, no apertures) to `toSurface` (null: the end).
RayWithFrame tracedAxialFrameRay(lens::Lens& lens, const lens::Surface* toSurface = nullptr);

/// Signed index after the last surface: negative in reflected image space.
double measureImageSpaceIndexOfRefraction(lens::Lens& lens);
/// Effective focal length, 1 / power.
double measureFocalLength(lens::Lens& lens);
/// Distance from the first vertex to the entrance pupil (along +z).
double measureEntrancePupilLocation(lens::Lens& lens);
/// Stop-side slope of a ray of unit object-space slope through the pupil centre.
double measureEntrancePupilMagnification(lens::Lens& lens);
/// The entrance pupil diameter whose marginal ray fills the stop's semidiameter (real
/// rays, at most three); the estimate so far when a ray is lost, 0 when the first is.
double floatByStopSizeEntrancePupilDiameter(lens::Lens& lens);
/// "exitPupilLocation" (from the image surface, along the final ray), "exitPupilCenter",
/// "exitPupilNormal" (XYZValue).
platform::Dictionary measureExitPupilPositionData(lens::Lens& lens);
/// 2 × the marginal ray's height in the exit pupil (uses the paraxial data's exit pupil
/// location and the lens's marginal ray).
double measureExitPupilDiameter(lens::Lens& lens);
double halfAngleOfViewInDegrees(lens::Lens& lens);
/// Paraxial lateral magnification (object at infinity: qypy of the object-space probe).
double measureMagnification(lens::Lens& lens);
double measureMagnificationX(lens::Lens& lens);
/// Stores {"A","B","C","D"}: stop height = A·y + B·u and stop slope = C·y + D·u of a
/// paraxial ray of height y and slope u at the first vertex.
void measureStopTransferMatrix(lens::Lens& lens);
/// Stores the thirteen cardinal entries; first-side positions from the first vertex,
/// second-side ones from the last interface, both along +z.
void measureCardinalPoints(lens::Lens& lens);
/// The cardinal entries from the true basis at the image surface; `endSign` is the
/// travelSign there.
platform::Dictionary cardinalDataFromBasis(lens::Lens& lens, const AxialBasis& end, double endSign);

/// The paraxial data up to `level` (0: object index; 1: entrance pupil; 2: focal length,
/// exit pupil, magnification), with the aperture specification in all its derivable forms.
platform::Dictionary measureParaxialDataToLevel(lens::Lens& lens, int level);

/// 1.21967 · λ[mm] · image-space F-number.
double airyDiskRadiusWithWave(const lens::Lens& lens, const lens::Wave& wave);
double airyDiskRadius(lens::Lens& lens);
/// 2 · λ[mm] · |image-space F-number|.
double diffractionLength(lens::Lens& lens);
/// λ[mm] / exit pupil diameter.
double diffractionAngle(lens::Lens& lens);

// --- readings of the stored dictionaries ----------------------------------------------------
/// The number under `key`; none when absent or not a number.
std::optional<double> numberForKey(const platform::Dictionary& d, const char* key);
double cardinalValue(const lens::Lens& lens, const char* key);
inline double firstNodalPoint(const lens::Lens& l) { return cardinalValue(l, "firstNodalPoint"); }
inline double firstPrincipalPoint(const lens::Lens& l) { return cardinalValue(l, "firstPrincipalPoint"); }
inline double firstPrincipalFocus(const lens::Lens& l) { return cardinalValue(l, "firstPrincipalFocus"); }
inline double secondNodalPoint(const lens::Lens& l) { return cardinalValue(l, "secondNodalPoint"); }
inline double secondPrincipalPoint(const lens::Lens& l) { return cardinalValue(l, "secondPrincipalPoint"); }
inline double secondPrincipalFocus(const lens::Lens& l) { return cardinalValue(l, "secondPrincipalFocus"); }
inline double firstFocalLength(const lens::Lens& l) { return cardinalValue(l, "firstFocalLength"); }
inline double secondFocalLength(const lens::Lens& l) { return cardinalValue(l, "secondFocalLength"); }
inline double cardinalThickness(const lens::Lens& l) { return cardinalValue(l, "thickness"); }
inline double backFocalLength(const lens::Lens& l) { return secondPrincipalFocus(l); }

}  // namespace orb::tracing
