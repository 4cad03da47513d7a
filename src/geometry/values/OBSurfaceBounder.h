#pragma once

#include <memory>

#include "geometry/values/BoxProtocol.h"

namespace orb::geometry {

class OutlinableSurface;

/// Classifies cells of a surface tree against a surface's apertures: outside when either
/// the full aperture or the clear aperture excludes the cell's x-y square, inside when both
/// contain it, across otherwise. A surface without an aperture is bounded by its full
/// aperture alone.
///
/// The two apertures are asked for once, at construction: a bounder lives for one tree
/// build, during which the surface does not change.
class OBSurfaceBounder : public BoxSurfaceTest {
 public:
  explicit OBSurfaceBounder(const OutlinableSurface& surface);

  /// 2 outside, 1 inside, 0 across.
  int boxSurfaceTest(const BoxProtocol& cell) const override;

 private:
  std::shared_ptr<const BoxSurfaceTest> m_fullAperture;
  std::shared_ptr<const BoxSurfaceTest> m_aperture;  // null: contains every cell
};

}  // namespace orb::geometry
