#pragma once

#include <string>
#include <vector>

#include "platform/Value.h"

namespace orb::lens {
class Lens;
}

namespace orb::interchange {

/// The lens dictionary: the one exchange form between the prescription readers, the
/// lens and the Zemax writer. String keys hold the model objects themselves (surfaces,
/// fields, waves, glasses: not copies) and plain values; a missing key and a nil value
/// mean the same. Readers fill it; Lens::setValuesForDesiredKeysWithDictionary applies
/// the keys the lens knows (see that function for which and in what order); the writer
/// turns one back into text.
///
/// Keys the lens applies:
///   "surfaceArray"      Array of Surface, object surface first, image surface last
///   "fieldArray"        Array of Field (x, y, weight, pupil limits PXA PXB PYA PYB)
///   "waveArray"         Array of Wave (microns, weight, one primary)
///   "glassArray"        Array of Glass belonging to the lens (a Zemax glass section)
///   "fieldType"         "Angle", "Object height" or "Image height"
///   "systemName", "unitCode" (as the file gives it, e.g. "MM"), "notes" (lines joined by "\n")
///   "sourceDivergenceType"  0 entrance pupil diameter, 1 image-space F/# at infinite
///                       conjugate, 2 object-space NA, 3 floating stop, 4 paraxial working
///                       F/#, 5 object cone angle (degrees), 6 and 8 image-space NA,
///                       7 object-space F/#
///   "sourceDivergenceValue", "useRayAiming", "preferredCatalogs" (upper-case names)
///   "multiconfigurationArray"  Array of Dictionary: lens key path → {"value", "isVariable"}
///
/// Keys that travel with a Zemax read for whoever wants them (the lens ignores them):
///   "meritFunction" (the merit-operand lines), "referenceSurfaceIndex" (GLRF),
///   "globalCoordinateReferenceSurfaceIndex" (GLRS), "paraxialIgnoreCoordinateBreaks"
///   (PICB), "referenceOPDSetting" (ROPD), "numberOfMulticonfigurations" (MNUM),
///   "zemaxCatalogString" (GCAT as written).
namespace lensdictionary {
inline constexpr const char* kSurfaceArray = "surfaceArray";
inline constexpr const char* kFieldArray = "fieldArray";
inline constexpr const char* kWaveArray = "waveArray";
inline constexpr const char* kGlassArray = "glassArray";
inline constexpr const char* kFieldType = "fieldType";
inline constexpr const char* kSystemName = "systemName";
inline constexpr const char* kUnitCode = "unitCode";
inline constexpr const char* kNotes = "notes";
inline constexpr const char* kSourceDivergenceType = "sourceDivergenceType";
inline constexpr const char* kSourceDivergenceValue = "sourceDivergenceValue";
inline constexpr const char* kUseRayAiming = "useRayAiming";
inline constexpr const char* kPreferredCatalogs = "preferredCatalogs";
inline constexpr const char* kMulticonfigurationArray = "multiconfigurationArray";
inline constexpr const char* kMeritFunction = "meritFunction";
inline constexpr const char* kZemaxCatalogString = "zemaxCatalogString";
}  // namespace lensdictionary

/// The twelve keys that Zemax text can carry.
const std::vector<std::string>& lensKeysForZemax();

/// The dictionary a document hands to the writer: the lens's values for the Zemax keys,
/// plus its configurations. The objects are the lens's own.
platform::Dictionary lensDictionaryFromLens(const lens::Lens& lens);

/// A value of the dictionary, nil when the key is missing.
platform::Value lensDictionaryValue(const platform::Dictionary& dictionary, const char* key);

}  // namespace orb::interchange
