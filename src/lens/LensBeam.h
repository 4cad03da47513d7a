#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/VKColoredObject.h"

namespace orb::lens {

/// What the lens needs of a beam source it holds (the Gaussian beams of the tracing layer
/// derive from this). A beam announces any change of its model keys through the summary
/// key "beamGestalt" and changes of its variables through "keyPathsForVariables"; both
/// must be key-value keys of the subclass.
class LensBeam : public foundation::VKColoredObject {
 public:
  /// An independent beam with the same settings.
  virtual std::shared_ptr<LensBeam> copyBeam() const = 0;
  /// Key paths (relative to the beam) of its values that are optimisation variables.
  virtual std::vector<std::string> keyPathsForVariables() const { return {}; }
};

}  // namespace orb::lens
