#include "lens/SurfaceConicY.h"

namespace orb::lens {

std::shared_ptr<Surface> SurfaceConicY::makeEmpty() const { return platform::makeObject<SurfaceConicY>(); }

}  // namespace orb::lens
