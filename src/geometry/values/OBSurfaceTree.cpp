#include "geometry/values/OBSurfaceTree.h"

#include <cmath>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/OBSurfaceBounder.h"
#include "geometry/values/OutlinableSurface.h"

namespace orb::geometry {

using foundation::XYZ;

OBSurfaceTree::OBSurfaceTree(const OutlinableSurface& surface)
    : OBSurfaceTree(surface, {0, 0, 0}, surface.semidiameter()) {
  setLockZ(true);
}

OBSurfaceTree::OBSurfaceTree(const OutlinableSurface& surface, const XYZ& center, double inscribedRadius)
    : SurfaceOctTree(center, inscribedRadius), m_surface(&surface) {}

std::unique_ptr<OctTree> OBSurfaceTree::makeDaughter(const XYZ& center, double inscribedRadius) const {
  return std::unique_ptr<OctTree>(new OBSurfaceTree(*m_surface, center, inscribedRadius));
}

std::unique_ptr<OBSurfaceTree> OBSurfaceTree::outline(const OutlinableSurface& surface) {
  auto tree = std::make_unique<OBSurfaceTree>(surface);
  tree->subdivideToDepthWithinSurface(3, nullptr);
  const OBSurfaceBounder bounder(surface);
  tree->subdivideToDepthWithinSurface(6, &bounder);
  return tree;
}

std::optional<std::array<XYZ, 4>> OBSurfaceTree::liftedCorners() const {
  std::array<XYZ, 4> corners = {XYZ{xMax(), yMax(), 0}, XYZ{xMin(), yMax(), 0}, XYZ{xMin(), yMin(), 0},
                                XYZ{xMax(), yMin(), 0}};
  for (XYZ& c : corners) {
    const foundation::XY q{c.x, c.y};
    if (!m_surface->validQ(q)) return std::nullopt;
    c.z = m_surface->sagAtQ(q);
  }
  return corners;
}

void OBSurfaceTree::drawContentObjectShrunk(bool, bool selected, DrawingSink& sink) const {
  const auto corners = liftedCorners();
  if (!corners) return;
  std::array<XYZ, 4> normals;
  for (int i = 0; i < 4; ++i) {
    const SurfaceTaylorExpansion t = m_surface->taylorExpansionAtPosition((*corners)[i]);
    const double length = std::sqrt(t.gx * t.gx + t.gy * t.gy + t.gz * t.gz);
    normals[i] = {t.gx / length, t.gy / length, t.gz / length};
  }
  sink.begin(selected ? DrawMode::LineLoop : DrawMode::Quads);
  for (int i = 0; i < 4; ++i) {
    sink.normal(normals[i]);
    sink.vertex((*corners)[i]);
  }
  sink.end();
}

void OBSurfaceTree::dxfContentObjectsSurface(bool surface, bool interior, bool shrunk, bool selected,
                                             DxfSink& sink) const {
  forEachChosenCell(surface, interior, [&](const SurfaceOctTree& cell) {
    static_cast<const OBSurfaceTree&>(cell).dxfContentObjectShrunk(shrunk, selected, sink);
  });
}

void OBSurfaceTree::dxfContentObjectShrunk(bool, bool, DxfSink& sink) const {
  const auto corners = liftedCorners();
  if (!corners) return;
  sink.dxfBegin(DxfSink::kFourCornerFaces);
  for (const XYZ& c : *corners) sink.dxfVertex(c.x, c.y, c.z);
  sink.dxfEnd();
}

}  // namespace orb::geometry
