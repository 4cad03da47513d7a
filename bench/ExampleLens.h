#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "ZemaxLens.h"

namespace orb::bench {

/// A lens file of examples/ (or any path), read and updated as the document opens it: the
/// reader, the lens made from its dictionary, stop, fields and waves validated, then the
/// system update (paraxial data, placement, semidiameters). The lens does not watch itself,
/// so nothing re-runs the update behind the benchmark's back.
inline std::shared_ptr<lens::Lens> lensFromFile(const std::string& path) { return support::lensFromZemaxFile(path); }

inline std::shared_ptr<lens::Lens> exampleLens(const std::string& name) {
  return lensFromFile(std::string(ORB_EXAMPLES_DIR) + "/" + name);
}

}  // namespace orb::bench
