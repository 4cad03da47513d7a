#include "lens/SurfaceConicY.h"

#include <limits>

namespace orb::lens {

std::shared_ptr<Surface> SurfaceConicY::makeEmpty() const { return platform::makeObject<SurfaceConicY>(); }

void SurfaceConicY::appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                                     bool upper, bool backwards) const {
  const double limit = xOriented ? std::numeric_limits<double>::infinity() : conicSection().maximumOrdinate();
  appendMeridianHalfToPath(path, transform, xOriented, upper, backwards, limit);
}

}  // namespace orb::lens
