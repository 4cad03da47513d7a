#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orb::lens {

/// The solve codes of a surface's values and what the editor shows for them: a letter
/// beside the value, the entries of the solve menu ("descriptors", index-aligned with
/// the codes they choose) and a one-line description. Codes are stored as plain ints
/// because archives and other programs' lens files carry them as numbers; a code this
/// build does not know is kept and shown as "?".
///
/// Which inputs a code uses: a target, a pupil zone, a reference surface (which must
/// precede the surface in the same lens), a scale and, for the thickness pickup, an
/// offset. The regeneration computes the values; these tables only name the codes.
namespace solve {

// --- thickness ------------------------------------------------------------------------
enum ThicknessCode : int {
  kThicknessFixed = 0,
  kThicknessVariable = 1,
  kThicknessMarginalHeight = 2,
  kThicknessChiefHeight = 3,
  kThicknessEdge = 4,
  kThicknessPickup = 5,
  kThicknessOpd = 6,
  kThicknessTotalLength = 7,
  kThicknessCompensator = 8,
  kThicknessCenterOfCurvature = 9,
};

/// "" for fixed, "V", "M", "C", "E", "P", "O", "T", "S", "X"; "?" for other codes.
std::string thicknessSolveLetter(int code);
/// The menu, codes 0 … 9 in order.
const std::vector<std::string>& thicknessSolveDescriptors();
const std::vector<int>& thicknessSolveKeys();
/// Pickup, total length, compensator and centre of curvature need a reference surface.
bool thicknessSolveSurfaceRequired(int code);
/// Codes 2 … 9 ask the user for inputs.
bool thicknessSolveIsNontrivial(int code);
/// Fixed and variable thicknesses are typed by the user.
inline bool canEditThickness(int code) { return code == kThicknessFixed || code == kThicknessVariable; }
/// What the editor shows for the thickness. `reference` is the reference surface's
/// nickname ("none" without one). A pickup names its offset when it has one.
std::string thicknessDescription(int code, double target, double zone, double scale, double offset,
                                 const std::string& reference);

// --- curvature ------------------------------------------------------------------------
enum CurvatureCode : int {
  kCurvatureFixed = 0,
  kCurvatureVariable = 1,
  kCurvatureMarginalAngle = 2,
  kCurvatureChiefAngle = 3,
  kCurvaturePickup = 4,
  kCurvatureMarginalNormal = 5,
  kCurvatureChiefNormal = 6,
  kCurvatureAplanatic = 7,
  kCurvatureElementPower = 8,
  kCurvatureConcentricSurface = 9,
  kCurvatureConcentricRadius = 10,
  kCurvatureFocalRatio = 11,
};

/// " " for fixed, "V", "M", "C", "P", "N", "n", "A", "X", "S", "R", "F"; "?" otherwise.
std::string curvatureSolveLetter(int code);
/// The menu, codes 0 … 11 in order.
const std::vector<std::string>& curvatureSolveDescriptors();
const std::vector<int>& curvatureSolveKeys();
/// Pickup and the two concentric solves need a reference surface.
bool curvatureSolveSurfaceRequired(int code);
/// Codes that ask the user for inputs (2, 3, 4, 9, 10, 11); the normal, aplanatic and
/// element-power solves need none.
bool curvatureSolveIsNontrivial(int code);
inline bool canEditCurvature(int code) { return code == kCurvatureFixed || code == kCurvatureVariable; }
std::string curvatureDescription(int code, double target, double scale, const std::string& reference);

// --- semidiameter ---------------------------------------------------------------------
enum SemidiameterCode : int {
  kSemidiameterAutomatic = 0,
  kSemidiameterFixed = 1,
  kSemidiameterPickup = 2,
  kSemidiameterMaximum = 3,
  kSemidiameterVariable = 4,
};

/// None for automatic, "U", "P", "M", "V"; "?" otherwise.
std::optional<std::string> semidiameterSolveLetter(int code);
/// The menu in the order automatic, pick up, maximum, fixed, variable.
const std::vector<std::string>& semidiameterSolveDescriptors();
/// Codes 0, 2, 3, 1, 4, index-aligned with the descriptors.
const std::vector<int>& semidiameterSolveKeys();
inline bool semidiameterSolveSurfaceRequired(int code) { return code == kSemidiameterPickup; }
/// Fixed and pickup ask the user for inputs.
inline bool semidiameterSolveIsNontrivial(int code) {
  return code == kSemidiameterFixed || code == kSemidiameterPickup;
}
inline bool canEditSemidiameter(int code) { return code != kSemidiameterPickup && code != kSemidiameterMaximum; }
/// `maximumSingleValued` is the largest semidiameter the profile allows (may be ∞).
std::string semidiameterDescription(int code, double maximumSingleValued, const std::string& reference);

// --- conic constant -------------------------------------------------------------------
enum ConicCode : int { kConicFixed = 0, kConicVariable = 1, kConicPickup = 2 };

/// "", "V", "P"; "?" otherwise.
std::string conicLetter(int code);
inline bool conicSolveSurfaceRequired(int code) { return code == kConicPickup; }
inline bool canEditConicConstant(int code) { return code != kConicPickup; }
/// The shape of a conic constant k: "oblate ellipsoid" (k > 0), "sphere", "prolate
/// ellipsoid" (−1 < k < 0), "parabola" (k = −1), "hyperboloid" (k < −1, and NaN).
std::string fixedConicDescription(double k);
std::string conicDescription(int code, double k, const std::string& reference);

// --- glass ----------------------------------------------------------------------------
enum GlassCode : int { kGlassAsSet = 0, kGlassPickup = 1 };

inline bool glassSolveSurfaceRequired(int code) { return code == kGlassPickup; }
inline bool canEditGlass(int code) { return code != kGlassPickup; }
/// "P" for a pickup, "M" for a model glass, "m" for a mutable one, else "".
std::string glassLetter(int code, bool isModelGlass, bool isMutableGlass);
/// "pick up from surface %@" for a pickup, `glassOwnDescription` (the glass's own text,
/// none without a glass) for code 0, "unknown glass solve type" otherwise.
std::optional<std::string> glassDescription(int code, const std::string& reference,
                                            const std::optional<std::string>& glassOwnDescription);

/// Implemented by surface types whose curvature is not the user's to set (the paraxial
/// and tilted planes): the editor shows why in place of the curvature solve.
class FixedCurvatureType {
 public:
  virtual ~FixedCurvatureType() = default;
  virtual std::string fixedCurvatureDescription() const = 0;
};

/// The nickname used in descriptions when a solve has no reference surface.
inline constexpr const char* kNoReference = "none";

}  // namespace solve
}  // namespace orb::lens
