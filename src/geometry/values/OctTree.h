#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/OBTransform.h"
#include "foundation/objects/XYZ.h"
#include "geometry/values/BoxProtocol.h"

namespace orb::geometry {

class DrawingSink;

/// A cube (centre, inscribed radius r) that splits into up to eight daughter cubes of half
/// the size, recursively. A locked axis is not split: the daughters keep the parent's
/// coordinate there and are half as thick, so locks turn the tree into a quadtree, a
/// binary tree or a chain.
///
/// Daughter slot i has the signs of subcellDisplacementSignsForIndex(i): bit 0 x, bit 1 y,
/// bit 2 z, a clear bit the plus side. Daughters are made through makeDaughter, so
/// subclasses get daughters of their own kind.
class OctTree : public BoxProtocol {
 public:
  /// Centre (0, 0, 0), radius 1.
  OctTree() : OctTree({0, 0, 0}, 1) {}
  OctTree(const foundation::XYZ& center, double inscribedRadius)
      : m_center(center), m_inscribedRadius(inscribedRadius) {}
  ~OctTree() override = default;
  OctTree(const OctTree&) = delete;
  OctTree& operator=(const OctTree&) = delete;

  foundation::XYZ center() const { return m_center; }
  double inscribedRadius() const { return m_inscribedRadius; }
  double xMin() const override { return m_center.x - m_inscribedRadius; }
  double xMax() const override { return m_center.x + m_inscribedRadius; }
  double yMin() const override { return m_center.y - m_inscribedRadius; }
  double yMax() const override { return m_center.y + m_inscribedRadius; }
  double zMin() const override { return m_center.z - m_inscribedRadius; }
  double zMax() const override { return m_center.z + m_inscribedRadius; }
  /// 8·r³.
  double volume() const { return 8 * m_inscribedRadius * m_inscribedRadius * m_inscribedRadius; }
  /// "OctTree[%g](%g,%g,%g)".
  std::string description() const;

  /// The owner's frame for the cell; the tree only keeps it.
  const std::shared_ptr<const foundation::OBTransform>& transform() const { return m_transform; }
  void setTransform(std::shared_ptr<const foundation::OBTransform> t) { m_transform = std::move(t); }
  /// A number the owner may give the cell.
  std::uint32_t index() const { return m_index; }
  void setIndex(std::uint32_t i) { m_index = i; }

  bool isLeaf() const { return m_isLeaf; }
  void setIsLeaf(bool leaf) { m_isLeaf = leaf; }
  /// Leaf exactly when no slot holds a daughter.
  void updateIsLeaf();
  bool hasDaughters() const;
  OctTree* daughter(int i) const { return m_daughter[i].get(); }
  void setLockX(bool lock) { m_lockX = lock; }
  void setLockY(bool lock) { m_lockY = lock; }
  void setLockZ(bool lock) { m_lockZ = lock; }

  /// Releases every daughter; the cell becomes a leaf.
  void releaseDaughters();
  /// Splits the cell: daughters of radius r/2 in the slots whose bits are clear on every
  /// locked axis (8, 4, 2 or 1), each inheriting the locks. Existing daughters are replaced.
  virtual void subdivide();

  std::size_t nodeCount() const;
  /// 1 for a cell flagged leaf, else the sum over the daughters.
  std::size_t leafCount() const;
  /// 1 for a lone cell.
  std::size_t depth() const;
  /// Pre-order: the cell, then each daughter's subtree in slot order.
  void addNodesToArray(std::vector<OctTree*>& nodes);
  std::vector<OctTree*> allNodes();
  /// The cells flagged leaf, in slot order.
  void addLeavesToArray(std::vector<OctTree*>& leaves);
  std::vector<OctTree*> allLeaves();

  /// The offset from the centre to daughter i's centre: ±r/2 per slot sign, 0 on a locked
  /// axis, (0, 0, 0) outside 0 to 7.
  foundation::XYZ subcellDisplacementForIndex(int i) const;

  /// The cube's twelve edges: two face loops and four joining lines.
  void drawCell(DrawingSink& sink) const;
  /// drawCell on every cell flagged leaf, in slot order.
  void drawLeaves(DrawingSink& sink) const;

 protected:
  /// A new cell of the receiver's own kind; subclasses pass on what their cells share.
  virtual std::unique_ptr<OctTree> makeDaughter(const foundation::XYZ& center, double inscribedRadius) const;

  foundation::XYZ m_center;
  double m_inscribedRadius;
  bool m_isLeaf = true;
  std::array<std::unique_ptr<OctTree>, 8> m_daughter;
  bool m_lockX = false, m_lockY = false, m_lockZ = false;
  std::uint32_t m_index = 0;
  std::shared_ptr<const foundation::OBTransform> m_transform;
};

/// An oct-tree whose cells know how they lie against a solid: +1 outside, −1 inside, 0 not
/// yet classified or straddling its surface. Refines toward the solid or its boundary
/// through a bounder (any BoxSurfaceTest; a missing bounder answers 0), trims, and draws
/// its cells by relation.
class SurfaceOctTree : public OctTree {
 public:
  using OctTree::OctTree;

  int relationToSurface() const { return m_relationToSurface; }
  void setRelationToSurface(int relation) { m_relationToSurface = relation; }
  SurfaceOctTree* daughter(int i) const { return static_cast<SurfaceOctTree*>(m_daughter[i].get()); }

  /// The oct-tree split; every new daughter takes the parent's relation.
  void subdivide() override;
  /// Classifies and refines every cell that is not outside, down to `depth` more levels;
  /// at depth 0 a cell drops its daughters. A relation once set sticks.
  void subdivideToDepthWithinSurface(unsigned depth, const BoxSurfaceTest* bounder);
  /// The same walk, refining only the cells that straddle the surface.
  void subdivideToDepthConvergingOnSurface(unsigned depth, const BoxSurfaceTest* bounder);
  /// Removes, bottom up, the leaves whose relation is not `relation`; answers whether the
  /// cell is now a leaf whose relation is not `relation` (its parent then removes it).
  bool trimUsingRelationToSurface(int relation);

  /// Relation other than +1 (outside).
  bool isNontrivial() const { return m_relationToSurface != 1; }
  void addNontrivialLeavesToArray(std::vector<SurfaceOctTree*>& leaves);
  std::vector<SurfaceOctTree*> nontrivialLeaves();

  /// 0x65 for inside, 0x59 for outside, 0x56 otherwise.
  int bits() const;
  /// drawCell on every daughterless cell whose bits share a set bit with `mask`.
  void drawUsingBits(int mask, DrawingSink& sink) const;
  /// Draws the daughterless cells chosen by relation (0 with `surface`, −1 with
  /// `interior`, +1 never) through drawContentObjectShrunk.
  void drawContentObjectsSurface(bool surface, bool interior, bool shrunk, bool selected, DrawingSink& sink) const;
  /// Draws this cell's content; nothing here.
  virtual void drawContentObjectShrunk(bool shrunk, bool selected, DrawingSink& sink) const;

 protected:
  std::unique_ptr<OctTree> makeDaughter(const foundation::XYZ& center, double inscribedRadius) const override;
  /// Visits the daughterless cells chosen by relation, in slot order.
  template <class F>
  void forEachChosenCell(bool surface, bool interior, F&& visit) const;

 private:
  void classify(const BoxSurfaceTest* bounder);
  void refine(unsigned depth, const BoxSurfaceTest* bounder, bool onlyStraddling);

  int m_relationToSurface = 0;
};

template <class F>
void SurfaceOctTree::forEachChosenCell(bool surface, bool interior, F&& visit) const {
  if (hasDaughters()) {
    for (const auto& d : m_daughter)
      if (d) static_cast<const SurfaceOctTree&>(*d).forEachChosenCell(surface, interior, visit);
    return;
  }
  if ((m_relationToSurface == 0 && surface) || (m_relationToSurface == -1 && interior)) visit(*this);
}

}  // namespace orb::geometry
