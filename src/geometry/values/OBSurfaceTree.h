#pragma once

#include <array>
#include <memory>
#include <optional>

#include "foundation/objects/XYZ.h"
#include "geometry/values/OctTree.h"

namespace orb::geometry {

class DxfSink;
class OutlinableSurface;

/// The outline mesh of a lens surface: a z-locked SurfaceOctTree (a quadtree) over the
/// square of the surface's semidiameter, whose cells draw or write the quadrilateral of
/// their four corners lifted onto the sag. Cells with a corner where the sag is undefined
/// give nothing, so the mesh stops at the last cells wholly in the valid region.
///
/// Every cell refers to the surface without owning it: the surface outlives its tree.
class OBSurfaceTree : public SurfaceOctTree {
 public:
  /// The root: centred at the origin, inscribed radius the semidiameter, z locked.
  explicit OBSurfaceTree(const OutlinableSurface& surface);

  /// The tree the 3-D view and the DXF export draw: a uniform 8 × 8 grid, then every cell
  /// not outside the apertures refined to 64 × 64 cells of the root square.
  static std::unique_ptr<OBSurfaceTree> outline(const OutlinableSurface& surface);

  const OutlinableSurface& surface() const { return *m_surface; }
  OBSurfaceTree* daughter(int i) const { return static_cast<OBSurfaceTree*>(m_daughter[i].get()); }

  /// Filled quadrilateral (`selected` NO) or its outline (YES), with per-corner normals.
  void drawContentObjectShrunk(bool shrunk, bool selected, DrawingSink& sink) const override;
  /// The DXF twin of drawContentObjectsSurface.
  void dxfContentObjectsSurface(bool surface, bool interior, bool shrunk, bool selected, DxfSink& sink) const;
  /// One four-corner face (DXF mode 7); the flags are ignored.
  void dxfContentObjectShrunk(bool shrunk, bool selected, DxfSink& sink) const;

  /// The corners (xMax, yMax), (xMin, yMax), (xMin, yMin), (xMax, yMin) on the sag, or
  /// nothing when the sag is undefined at any of them.
  std::optional<std::array<foundation::XYZ, 4>> liftedCorners() const;

 protected:
  OBSurfaceTree(const OutlinableSurface& surface, const foundation::XYZ& center, double inscribedRadius);
  std::unique_ptr<OctTree> makeDaughter(const foundation::XYZ& center, double inscribedRadius) const override;

 private:
  const OutlinableSurface* m_surface;
};

}  // namespace orb::geometry
