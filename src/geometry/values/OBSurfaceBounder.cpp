#include "geometry/values/OBSurfaceBounder.h"

#include "geometry/values/OutlinableSurface.h"

namespace orb::geometry {

OBSurfaceBounder::OBSurfaceBounder(const OutlinableSurface& surface)
    : m_fullAperture(surface.fullAperture()), m_aperture(surface.aperture()) {}

int OBSurfaceBounder::boxSurfaceTest(const BoxProtocol& cell) const {
  const int a = m_fullAperture ? m_fullAperture->boxSurfaceTest(cell) : 1;
  const int b = m_aperture ? m_aperture->boxSurfaceTest(cell) : 1;
  if (a == 2) return 2;
  if (a == 1) return b == 1 ? 1 : b == 2 ? 2 : 0;
  return b == 2 ? 2 : 0;
}

}  // namespace orb::geometry
