#include "geometry/values/OctTree.h"

#include <algorithm>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/Voxel.h"
#include "platform/Exception.h"

namespace orb::geometry {

using foundation::XYZ;

std::string OctTree::description() const {
  return platform::format("OctTree[%g](%g,%g,%g)", m_inscribedRadius, m_center.x, m_center.y, m_center.z);
}

bool OctTree::hasDaughters() const {
  return std::any_of(m_daughter.begin(), m_daughter.end(), [](const auto& d) { return d != nullptr; });
}

void OctTree::updateIsLeaf() { m_isLeaf = !hasDaughters(); }

void OctTree::releaseDaughters() {
  for (auto& d : m_daughter) d.reset();
  m_isLeaf = true;
}

std::unique_ptr<OctTree> OctTree::makeDaughter(const XYZ& center, double inscribedRadius) const {
  return std::make_unique<OctTree>(center, inscribedRadius);
}

void OctTree::subdivide() {
  const int lockedBits = (m_lockX ? 1 : 0) | (m_lockY ? 2 : 0) | (m_lockZ ? 4 : 0);
  for (int i = 0; i < 8; ++i) {
    if (i & lockedBits) {
      m_daughter[i].reset();
      continue;
    }
    const XYZ d = subcellDisplacementForIndex(i);
    auto cell = makeDaughter({m_center.x + d.x, m_center.y + d.y, m_center.z + d.z}, m_inscribedRadius / 2);
    cell->m_lockX = m_lockX;
    cell->m_lockY = m_lockY;
    cell->m_lockZ = m_lockZ;
    m_daughter[i] = std::move(cell);
  }
  m_isLeaf = false;
}

std::size_t OctTree::nodeCount() const {
  std::size_t n = 1;
  for (const auto& d : m_daughter)
    if (d) n += d->nodeCount();
  return n;
}

std::size_t OctTree::leafCount() const {
  if (m_isLeaf) return 1;
  std::size_t n = 0;
  for (const auto& d : m_daughter)
    if (d) n += d->leafCount();
  return n;
}

std::size_t OctTree::depth() const {
  std::size_t deepest = 0;
  for (const auto& d : m_daughter)
    if (d) deepest = std::max(deepest, d->depth());
  return 1 + deepest;
}

void OctTree::addNodesToArray(std::vector<OctTree*>& nodes) {
  nodes.push_back(this);
  for (auto& d : m_daughter)
    if (d) d->addNodesToArray(nodes);
}

std::vector<OctTree*> OctTree::allNodes() {
  std::vector<OctTree*> nodes;
  addNodesToArray(nodes);
  return nodes;
}

void OctTree::addLeavesToArray(std::vector<OctTree*>& leaves) {
  if (m_isLeaf) {
    leaves.push_back(this);
    return;
  }
  for (auto& d : m_daughter)
    if (d) d->addLeavesToArray(leaves);
}

std::vector<OctTree*> OctTree::allLeaves() {
  std::vector<OctTree*> leaves;
  addLeavesToArray(leaves);
  return leaves;
}

XYZ OctTree::subcellDisplacementForIndex(int i) const {
  const XYZ s = subcellDisplacementSignsForIndex(i);
  const double h = m_inscribedRadius / 2;
  return {m_lockX ? 0 : s.x * h, m_lockY ? 0 : s.y * h, m_lockZ ? 0 : s.z * h};
}

void OctTree::drawCell(DrawingSink& sink) const {
  const double x0 = xMin(), x1 = xMax(), y0 = yMin(), y1 = yMax(), z0 = zMin(), z1 = zMax();
  for (double x : {x0, x1}) {
    sink.begin(DrawMode::LineLoop);
    sink.vertex({x, y0, z0});
    sink.vertex({x, y0, z1});
    sink.vertex({x, y1, z1});
    sink.vertex({x, y1, z0});
    sink.end();
  }
  sink.begin(DrawMode::Lines);
  for (const auto& [y, z] : {std::pair{y0, z0}, std::pair{y0, z1}, std::pair{y1, z1}, std::pair{y1, z0}}) {
    sink.vertex({x0, y, z});
    sink.vertex({x1, y, z});
  }
  sink.end();
}

void OctTree::drawLeaves(DrawingSink& sink) const {
  if (m_isLeaf) {
    drawCell(sink);
    return;
  }
  for (const auto& d : m_daughter)
    if (d) d->drawLeaves(sink);
}

// --- SurfaceOctTree ------------------------------------------------------------------------

std::unique_ptr<OctTree> SurfaceOctTree::makeDaughter(const XYZ& center, double inscribedRadius) const {
  return std::make_unique<SurfaceOctTree>(center, inscribedRadius);
}

void SurfaceOctTree::subdivide() {
  OctTree::subdivide();
  for (auto& d : m_daughter)
    if (d) static_cast<SurfaceOctTree&>(*d).m_relationToSurface = m_relationToSurface;
}

void SurfaceOctTree::classify(const BoxSurfaceTest* bounder) {
  if (m_relationToSurface != 0) return;
  const int answer = bounder ? bounder->boxSurfaceTest(*this) : 0;
  if (answer == 2)
    m_relationToSurface = 1;
  else if (answer == 1)
    m_relationToSurface = -1;
}

void SurfaceOctTree::refine(unsigned depth, const BoxSurfaceTest* bounder, bool onlyStraddling) {
  classify(bounder);
  if (depth == 0) {
    releaseDaughters();
    return;
  }
  if (!hasDaughters()) {
    const bool split = onlyStraddling ? m_relationToSurface == 0 : m_relationToSurface != 1;
    if (!split) return;
    subdivide();
  }
  for (auto& d : m_daughter)
    if (d) static_cast<SurfaceOctTree&>(*d).refine(depth - 1, bounder, onlyStraddling);
}

void SurfaceOctTree::subdivideToDepthWithinSurface(unsigned depth, const BoxSurfaceTest* bounder) {
  refine(depth, bounder, false);
}

void SurfaceOctTree::subdivideToDepthConvergingOnSurface(unsigned depth, const BoxSurfaceTest* bounder) {
  refine(depth, bounder, true);
}

bool SurfaceOctTree::trimUsingRelationToSurface(int relation) {
  if (!m_isLeaf) {
    for (auto& d : m_daughter)
      if (d && static_cast<SurfaceOctTree&>(*d).trimUsingRelationToSurface(relation)) d.reset();
    updateIsLeaf();
  }
  return m_isLeaf && m_relationToSurface != relation;
}

void SurfaceOctTree::addNontrivialLeavesToArray(std::vector<SurfaceOctTree*>& leaves) {
  if (hasDaughters()) {
    for (auto& d : m_daughter)
      if (d) static_cast<SurfaceOctTree&>(*d).addNontrivialLeavesToArray(leaves);
    return;
  }
  if (isNontrivial()) leaves.push_back(this);
}

std::vector<SurfaceOctTree*> SurfaceOctTree::nontrivialLeaves() {
  std::vector<SurfaceOctTree*> leaves;
  addNontrivialLeavesToArray(leaves);
  return leaves;
}

int SurfaceOctTree::bits() const {
  switch (m_relationToSurface) {
    case -1:
      return 0x65;
    case 1:
      return 0x59;
    default:
      return 0x56;
  }
}

void SurfaceOctTree::drawUsingBits(int mask, DrawingSink& sink) const {
  if (hasDaughters()) {
    for (const auto& d : m_daughter)
      if (d) static_cast<const SurfaceOctTree&>(*d).drawUsingBits(mask, sink);
    return;
  }
  if (bits() & mask) drawCell(sink);
}

void SurfaceOctTree::drawContentObjectsSurface(bool surface, bool interior, bool shrunk, bool selected,
                                               DrawingSink& sink) const {
  forEachChosenCell(surface, interior,
                    [&](const SurfaceOctTree& cell) { cell.drawContentObjectShrunk(shrunk, selected, sink); });
}

void SurfaceOctTree::drawContentObjectShrunk(bool, bool, DrawingSink&) const {}

}  // namespace orb::geometry
