#pragma once

#include <memory>

#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "geometry/values/BoxProtocol.h"
#include "geometry/values/SurfaceTaylorExpansion.h"

namespace orb::geometry {

/// What the surface tree needs of a lens surface, in the surface's local frame and lens
/// units. The lens model's Surface implements it; apertures are BoxSurfaceTest objects
/// (2 outside the passing region, 1 inside, 0 across). The tree never changes the surface.
class OutlinableSurface {
 public:
  virtual ~OutlinableSurface() = default;
  /// The inscribed radius of the tree's root square.
  virtual double semidiameter() const = 0;
  /// The circular aperture of the semidiameter (or the surface type's own full aperture).
  virtual std::shared_ptr<const BoxSurfaceTest> fullAperture() const = 0;
  /// The clear aperture or obscuration; null when the surface has none.
  virtual std::shared_ptr<const BoxSurfaceTest> aperture() const = 0;
  /// Whether the sag is defined at q.
  virtual bool validQ(const foundation::XY& q) const = 0;
  virtual double sagAtQ(const foundation::XY& q) const = 0;
  /// At a point on the surface; the tree uses the gradient as the drawing normal.
  virtual SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const = 0;
};

}  // namespace orb::geometry
