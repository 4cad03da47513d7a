#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/LensRoles.h"

namespace orb::optimisation {

/// The derived system quantities that operand scripts read after "lens." and that the
/// lens itself does not answer by key-value coding (sums over surfaces, Seidel and
/// Conrady terms, cardinal points): each computed from the lens's last system update.
/// Names outside the table are left to the lens's own keys.
std::optional<double> derivedLensQuantity(analysis::Lens& lens, const std::string& name);
const std::vector<std::string>& derivedLensQuantityNames();

/// The value-based operand kinds: display identifier and the key path they read.
struct KeyPathOperandKind {
  const char* identifier;
  const char* script;
};
const std::vector<KeyPathOperandKind>& keyPathOperandKinds();

}  // namespace orb::optimisation
