#include "geometry/values/OctTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/Extents.h"
#include "geometry/values/Voxel.h"

namespace orb::geometry {
namespace {

using foundation::XYZ;

/// A bounder answering from a function of the cell.
class FakeBounder : public BoxSurfaceTest {
 public:
  explicit FakeBounder(std::function<int(const BoxProtocol&)> f) : m_f(std::move(f)) {}
  int boxSurfaceTest(const BoxProtocol& cell) const override {
    ++calls;
    return m_f(cell);
  }
  mutable int calls = 0;

 private:
  std::function<int(const BoxProtocol&)> m_f;
};

/// The unit ball's classification of an axis-aligned box.
int ballTest(const BoxProtocol& b) {
  auto nearest = [](double lo, double hi) { return lo > 0 ? lo : hi < 0 ? hi : 0.0; };
  const double n = std::hypot(nearest(b.xMin(), b.xMax()), nearest(b.yMin(), b.yMax()), nearest(b.zMin(), b.zMax()));
  const double f = std::hypot(std::max(-b.xMin(), b.xMax()), std::max(-b.yMin(), b.yMax()),
                              std::max(-b.zMin(), b.zMax()));
  return n >= 1 ? 2 : f <= 1 ? 1 : 0;
}

struct CountingSink : DrawingSink {
  void begin(DrawMode) override { ++primitives; }
  void normal(const XYZ&) override {}
  void vertex(const XYZ&) override { ++vertices; }
  void end() override {}
  int primitives = 0, vertices = 0;
};

TEST(OctTreeTest, SubdivisionFillsSlotsBySign) {
  OctTree root({0, 0, 0}, 2);
  root.subdivide();
  EXPECT_EQ(root.nodeCount(), 9u);
  EXPECT_EQ(root.leafCount(), 8u);
  EXPECT_EQ(root.depth(), 2u);
  EXPECT_FALSE(root.isLeaf());
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const XYZ s = subcellDisplacementSignsForIndex(i);
    ASSERT_NE(root.daughter(i), nullptr);
    EXPECT_EQ(root.daughter(i)->center(), s);
    EXPECT_EQ(root.daughter(i)->inscribedRadius(), 1);
  }
  EXPECT_EQ(root.daughter(0)->center(), (XYZ{1, 1, 1}));
  EXPECT_EQ(root.daughter(7)->center(), (XYZ{-1, -1, -1}));
  EXPECT_EQ(root.allNodes().size(), 9u);
  EXPECT_EQ(root.allNodes()[1], root.daughter(0));
  EXPECT_EQ(root.allLeaves().size(), 8u);
  EXPECT_EQ(root.description(), "OctTree[2](0,0,0)");
  EXPECT_EQ(root.subcellDisplacementForIndex(8), (XYZ{0, 0, 0}));
  EXPECT_EQ(subcellDisplacementSignsForIndex(-1), (XYZ{0, 0, 0}));

  root.releaseDaughters();
  EXPECT_TRUE(root.isLeaf());
  EXPECT_EQ(root.nodeCount(), 1u);
  EXPECT_EQ(root.depth(), 1u);
}

TEST(OctTreeTest, LockedAxesShrinkInsteadOfSplitting) {
  OctTree quad({0, 0, 0}, 2);
  quad.setLockZ(true);
  quad.subdivide();
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    if (i < 4) {
      ASSERT_NE(quad.daughter(i), nullptr);
      EXPECT_EQ(quad.daughter(i)->center().z, 0);
      EXPECT_EQ(quad.daughter(i)->inscribedRadius(), 1);
    } else {
      EXPECT_EQ(quad.daughter(i), nullptr);
    }
  }
  quad.daughter(3)->subdivide();  // inherits the lock
  EXPECT_EQ(quad.daughter(3)->nodeCount(), 5u);

  OctTree chain({1, 2, 3}, 2);
  chain.setLockX(true);
  chain.setLockY(true);
  chain.setLockZ(true);
  chain.subdivide();
  EXPECT_EQ(chain.nodeCount(), 2u);
  EXPECT_EQ(chain.daughter(0)->center(), (XYZ{1, 2, 3}));
  EXPECT_EQ(chain.daughter(0)->inscribedRadius(), 1);
}

TEST(SurfaceOctTreeTest, UniformRefinementWithoutBounder) {
  SurfaceOctTree root({0, 0, 0}, 8);
  root.setLockZ(true);
  root.subdivideToDepthWithinSurface(3, nullptr);
  const auto leaves = root.allLeaves();
  EXPECT_EQ(leaves.size(), 64u);
  for (const auto* leaf : leaves) EXPECT_EQ(leaf->inscribedRadius(), 1);
  EXPECT_EQ(root.depth(), 4u);
  EXPECT_EQ(root.nontrivialLeaves().size(), 64u);
  // Depth 0 prunes back to the root.
  root.subdivideToDepthWithinSurface(0, nullptr);
  EXPECT_EQ(root.nodeCount(), 1u);
}

TEST(SurfaceOctTreeTest, WithinRefinesInsideCellsAndConvergingOnlyStraddlingOnes) {
  struct Case {
    const char* name;
    int answer;
    std::size_t withinNodes, convergingNodes;
  };
  // One level below a root that the bounder classifies.
  const Case cases[] = {{"outside", 2, 1, 1}, {"inside", 1, 9, 1}, {"across", 0, 9, 9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBounder b([&](const BoxProtocol&) { return c.answer; });
    SurfaceOctTree within, converging;
    within.subdivideToDepthWithinSurface(1, &b);
    converging.subdivideToDepthConvergingOnSurface(1, &b);
    EXPECT_EQ(within.nodeCount(), c.withinNodes);
    EXPECT_EQ(converging.nodeCount(), c.convergingNodes);
  }
  // A relation, once set, sticks: daughters of an inside cell are never asked.
  FakeBounder inside([](const BoxProtocol&) { return 1; });
  SurfaceOctTree root;
  root.subdivideToDepthWithinSurface(2, &inside);
  EXPECT_EQ(inside.calls, 1);
  EXPECT_EQ(root.leafCount(), 64u);
  for (auto* leaf : root.nontrivialLeaves()) EXPECT_EQ(leaf->relationToSurface(), -1);
}

TEST(SurfaceOctTreeTest, BallRefinementAndTrimming) {
  FakeBounder ball(ballTest);
  SurfaceOctTree root({0, 0, 0}, 1.5);
  root.subdivideToDepthConvergingOnSurface(4, &ball);
  std::size_t across = 0, inside = 0;
  for (auto* leaf : root.nontrivialLeaves()) {
    // Each kept leaf's relation is the ball's own verdict on it.
    EXPECT_EQ(leaf->relationToSurface(), ballTest(*leaf) == 1 ? -1 : 0) << leaf->description();
    if (leaf->relationToSurface() == 0) {
      ++across;
      EXPECT_EQ(leaf->inscribedRadius(), 1.5 / 16);  // only cells across the sphere reach the bottom
    } else {
      ++inside;
    }
  }
  EXPECT_GT(across, 0u);
  EXPECT_GT(inside, 0u);
  // Keep only the cells across the surface: inside and outside leaves go, bottom up.
  EXPECT_FALSE(root.trimUsingRelationToSurface(0));
  const auto kept = root.allLeaves();
  for (auto* leaf : kept) EXPECT_EQ(static_cast<SurfaceOctTree*>(leaf)->relationToSurface(), 0);
  EXPECT_EQ(kept.size(), across);

  SurfaceOctTree allOutside;
  allOutside.subdivide();
  for (int i = 0; i < 8; ++i) allOutside.daughter(i)->setRelationToSurface(1);
  EXPECT_TRUE(allOutside.trimUsingRelationToSurface(-1));
  EXPECT_TRUE(allOutside.isLeaf());
  EXPECT_EQ(allOutside.nodeCount(), 1u);
}

TEST(SurfaceOctTreeTest, DrawingByBitsAndByRelation) {
  SurfaceOctTree root;
  root.subdivide();
  root.daughter(0)->setRelationToSurface(-1);
  root.daughter(1)->setRelationToSurface(1);
  EXPECT_EQ(root.daughter(0)->bits(), 0x65);
  EXPECT_EQ(root.daughter(1)->bits(), 0x59);
  EXPECT_EQ(root.daughter(2)->bits(), 0x56);
  CountingSink insideOnly;
  root.drawUsingBits(0x20, insideOnly);  // only 0x65 has bit 5
  EXPECT_EQ(insideOnly.primitives, 3);    // one cell: two face loops and the joining lines
  EXPECT_EQ(insideOnly.vertices, 16);
  CountingSink all;
  root.drawLeaves(all);
  EXPECT_EQ(all.primitives, 24);
}

TEST(VoxelTest, FacesAreOutsideAVoxelButInsideExtents) {
  const Voxel v({0, 0, 0}, 1);
  EXPECT_FALSE(v.containsPoint({1, 0, 0}));
  EXPECT_TRUE(v.containsPoint({0.999, 0, 0}));
  EXPECT_TRUE(Extents(XYZ{0, 0, 0}, 1).containsPoint({1, 0, 0}));
  EXPECT_EQ(v.cornerWithIndex(6), (XYZ{1, -1, -1}));
  EXPECT_EQ(v.cornerWithIndex(8), (XYZ{0, 0, 0}));
  EXPECT_EQ(v.volumeInUnitsOf(0.5), 64);
  const auto box = Extents::extentsWithCorner({0, 0, 0}, {2, 6, 4});
  const Voxel enclosing = Voxel::voxelEnclosingExtents(*box);
  EXPECT_EQ(enclosing.center(), (XYZ{1, 3, 2}));
  EXPECT_EQ(enclosing.inscribedRadius(), 3);
  EXPECT_EQ(Voxel::voxelWithVoxel(nullptr).center(), (XYZ{0, 0, 0}));
}

}  // namespace
}  // namespace orb::geometry
