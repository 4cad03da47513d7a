#include "analysis/LensRoles.h"

namespace orb::analysis {

bool lensIsReady(const Lens* lens) {
  if (!lens) return false;
  const platform::Value ready = lens->valueForKey("isReady");
  return !ready.isNil() && ready.asBool();
}

}  // namespace orb::analysis
