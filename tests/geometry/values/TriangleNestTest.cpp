#include "geometry/values/TriangleNest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace orb::geometry {
namespace {

using foundation::XYZ;

struct Mesh {
  TriangleNestVertexArray vertices;
  TriangleNestEdgeArray edges;
  TriangleNestArray triangles;

  std::vector<TriangleNest*> leaves() {
    std::vector<TriangleNest*> out;
    for (auto& t : triangles) t->addLeavesToArray(out);
    return out;
  }
  double leafArea() {
    double sum = 0;
    for (auto* t : leaves()) sum += t->area();
    return sum;
  }
};

TEST(TriangleNestTest, HexagonSeedAndSharedEdgeSplit) {
  Mesh m;
  TriangleNest::hexagonWithRadius(1, m.vertices, m.edges, m.triangles);
  EXPECT_EQ(m.vertices.size(), 7u);
  EXPECT_EQ(m.edges.size(), 12u);
  EXPECT_EQ(m.triangles.size(), 6u);
  const double s = 1.73205080756888;
  EXPECT_NEAR(m.leafArea(), 1.5 * s, 1e-14);
  for (auto& t : m.triangles) {
    // Counter-clockwise seen from +z, and edge k joins v[k] and v[k + 1].
    const XYZ a = t->v()[0]->q(), b = t->v()[1]->q(), c = t->v()[2]->q();
    EXPECT_GT((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x), 0);
    for (int k = 0; k < 3; ++k) {
      const std::set<TriangleNestVertex*> ends(t->e()[k]->v().begin(), t->e()[k]->v().end());
      EXPECT_EQ(ends, (std::set<TriangleNestVertex*>{t->v()[k], t->v()[(k + 1) % 3]}));
    }
  }

  for (auto& t : m.triangles) t->subdivideLeavesUsingVertexArray(m.vertices, m.edges);
  EXPECT_EQ(m.vertices.size(), 19u);  // each of the 12 edges got one midpoint
  EXPECT_EQ(m.edges.size(), 54u);     // 12 + 24 halves + 18 inner
  EXPECT_EQ(m.leaves().size(), 24u);
  EXPECT_NEAR(m.leafArea(), 1.5 * s, 1e-14);
  // Every daughter's edge k still joins its v[k] and v[k + 1], whichever way the shared
  // half was made.
  for (auto* t : m.leaves())
    for (int k = 0; k < 3; ++k) {
      const std::set<TriangleNestVertex*> ends(t->e()[k]->v().begin(), t->e()[k]->v().end());
      EXPECT_EQ(ends, (std::set<TriangleNestVertex*>{t->v()[k], t->v()[(k + 1) % 3]})) << t->description();
    }
  // A nest that has daughters is not split again.
  m.triangles[0]->subdivideLeafUsingVertexArray(m.vertices, m.edges);
  EXPECT_EQ(m.vertices.size(), 19u);
}

TEST(TriangleNestTest, OctahedronAreasAreSpherical) {
  Mesh m;
  TriangleNest::octahedronUsingVertexArray(m.vertices, m.edges, m.triangles);
  EXPECT_EQ(m.vertices.size(), 6u);
  EXPECT_EQ(m.edges.size(), 12u);
  ASSERT_EQ(m.triangles.size(), 8u);
  for (auto& t : m.triangles) {
    EXPECT_NEAR(t->area(), M_PI / 2, 1e-15);
    // Counter-clockwise seen from outside.
    const XYZ a = t->v()[0]->q(), b = t->v()[1]->q(), c = t->v()[2]->q();
    const XYZ n{(b.y - a.y) * (c.z - a.z) - (b.z - a.z) * (c.y - a.y), (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z),
                (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)};
    EXPECT_GT(n.x * (a.x + b.x + c.x) + n.y * (a.y + b.y + c.y) + n.z * (a.z + b.z + c.z), 0);
  }
  EXPECT_NEAR(m.leafArea(), 4 * M_PI, 1e-14);

  for (auto& t : m.triangles) t->subdivideLeavesUsingVertexArray(m.vertices, m.edges);
  EXPECT_EQ(m.vertices.size(), 18u);
  for (auto& v : m.vertices) {
    const XYZ q = v->q();
    EXPECT_NEAR(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z), 1, 1e-15);
    EXPECT_NE(dynamic_cast<TriangleNestSphericalVertex*>(v.get()), nullptr);
  }
  for (auto* t : m.leaves()) EXPECT_NE(dynamic_cast<SphericalTriangleNest*>(t), nullptr);
  EXPECT_NEAR(m.leafArea(), 4 * M_PI, 1e-13);

  m.triangles[0]->generateCenterUsingVertexArray(m.vertices);
  const XYZ c = m.triangles[0]->centerVertex()->q();
  EXPECT_NEAR(c.x, 1 / std::sqrt(3.0), 1e-15);
  EXPECT_NEAR(c.z, 1 / std::sqrt(3.0), 1e-15);
}

TEST(TriangleNestTest, TurnAngles) {
  const XYZ x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  const double h = 1 / std::sqrt(2.0);
  EXPECT_NEAR(SphericalTriangleNest::turnAngleOnSphereForCoordinateTriple(x, y, z), M_PI / 2, 1e-15);
  EXPECT_NEAR(SphericalTriangleNest::turnAngleOnSphereForCoordinateTriple(x, {h, h, 0}, y), 0, 1e-15);
  EXPECT_EQ(SphericalTriangleNest::turnAngleOnSphereForCoordinateTriple(x, x, y), 0);  // coincident
  // A small triangle has almost its flat area.
  const double e = 1e-3;
  const XYZ a{1, 0, 0}, b{std::cos(e), std::sin(e), 0}, c{std::cos(e), 0, std::sin(e)};
  EXPECT_NEAR(SphericalTriangleNest::areaOfSphericalTriangleWithVertices(a, b, c), e * e / 2, 1e-9);
}

TEST(TriangleNestTest, FlaggedLeavesBracketTheRegion) {
  Mesh m;
  TriangleNest::hexagonWithRadius(2, m.vertices, m.edges, m.triangles);
  // Pass the centre and the corner on +x.
  m.vertices[0]->setFlagged(true);
  m.vertices[1]->setFlagged(true);
  std::vector<TriangleNest*> all, any, some;
  for (auto& t : m.triangles) {
    t->addLeavesWithAllVerticesFlaggedToArray(all);
    t->addLeavesWithAnyVerticesFlaggedToArray(any);
    t->addLeavesWithSomeButNotAllVerticesFlaggedToArray(some);
  }
  EXPECT_TRUE(all.empty());
  EXPECT_EQ(any.size(), 6u);
  EXPECT_EQ(some.size(), 6u);

  for (auto& t : m.triangles) t->subdivideLeavesWithSomeButNotAllVerticesFlaggedUsingVertexArray(m.vertices, m.edges);
  EXPECT_EQ(m.leaves().size(), 24u);
  // Nothing flagged at all, or everything flagged: nothing to refine.
  Mesh n;
  TriangleNest::hexagonWithRadius(1, n.vertices, n.edges, n.triangles);
  for (auto& t : n.triangles) t->subdivideLeavesWithSomeButNotAllVerticesFlaggedUsingVertexArray(n.vertices, n.edges);
  EXPECT_EQ(n.leaves().size(), 6u);
  n.vertices[3]->setChecked(true);
  for (auto& t : n.triangles) t->subdivideLeavesWithAnyVertexCheckedUsingVertexArray(n.vertices, n.edges);
  EXPECT_EQ(n.leaves().size(), 6u + 2 * 3);  // the two triangles at that corner split
  n.vertices[1]->setPassenger(42);
  EXPECT_EQ(std::any_cast<int>(n.vertices[1]->passenger()), 42);
  EXPECT_EQ(n.vertices[0]->description(), "(0,0,0)");
}

}  // namespace
}  // namespace orb::geometry
