#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/PrescriptionReading.h"
#include "platform/Value.h"

namespace orb::interchange {

/// Reads a CODE V sequence file (.seq) into a lens dictionary (see LensDictionary.h).
/// Lines hold commands separated by ";", "!" starts a comment; each command dispatches on
/// the four-character code of its first word. Surfaces are built as they are met (S, SO,
/// SI with radius or curvature, thickness and glass); fields, wavelengths, private glasses
/// (PRV … PWL … END) and zoom values are gathered and made into model objects at the end,
/// where an image surface is appended unless SI gave one.
///
/// Glasses: "REFL" makes a mirror; "1.5168:64.17" (nd:Vd) and "517.642" (glass code) are
/// model glasses; a private glass's name takes that glass; any other name is left for the
/// lens to resolve ("NAME_MAKER" prefers that maker's catalog). Decentres and tilts of a
/// surface (XDE YDE ZDE ADE BDE CDE) become a coordinate break before it; with DAR the
/// frame is restored by a second break after it.
///
/// "DIM I" lenses are converted to millimetres (every length, the pupil diameter, image
/// heights and zoom thicknesses), since the lens traces in millimetres; "units" still says
/// the file's unit.
///
/// Never fails on content; none only when `onTrouble` answers "Give up".
std::optional<platform::Dictionary> readCodeVString(std::string_view text, const PrescriptionReadOptions& options = {});
std::optional<platform::Dictionary> readCodeVLines(const std::vector<std::string>& lines,
                                                   const PrescriptionReadOptions& options = {});

}  // namespace orb::interchange
