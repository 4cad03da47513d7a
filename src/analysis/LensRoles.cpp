#include "analysis/LensRoles.h"

namespace orb::analysis {

bool lensIsReady(const Lens* lens) {
  return lens && lens->isReady();
}

}  // namespace orb::analysis
