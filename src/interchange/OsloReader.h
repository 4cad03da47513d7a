#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/PrescriptionReading.h"
#include "platform/Value.h"

namespace orb::interchange {

/// Reads an OSLO lens file (.len) into a lens dictionary (see LensDictionary.h), one
/// command a line, dispatched on the four-character code of the line's first word. LEN
/// starts the system with the object surface; NXT closes a surface and begins the next.
/// Tilts and decentres (TLA TLB TLC DCX DCY, with DT and BEN) become coordinate breaks
/// when the surface is closed. Asphere lines (AD … AG, AS0 … AS12) store coefficients on
/// the current surface, made an asphere or odd asphere. A glass given by its indices (GLA
/// name n1 n2 …) becomes a tabulated glass at the file's wavelengths; "PK" pickups name a
/// surface relative to the current one.
///
/// Never fails on content; none only when `onTrouble` answers "Give up".
std::optional<platform::Dictionary> readOsloString(std::string_view text, const PrescriptionReadOptions& options = {});
std::optional<platform::Dictionary> readOsloLines(const std::vector<std::string>& lines,
                                                  const PrescriptionReadOptions& options = {});

}  // namespace orb::interchange
