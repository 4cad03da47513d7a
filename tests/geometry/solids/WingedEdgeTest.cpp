#include <gtest/gtest.h>

#include "ExpectRaises.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/PlaneManifold.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/WingedEdge.h"
#include "platform/Exception.h"

namespace orb::geometry {
namespace {

R3PointPtr P(double x, double y) { return R3Point::pointWithDoubles(x, y, 0); }
R3CurvePtr S(const R3PointPtr& a, const R3PointPtr& b) { return R3LineSegment::lineSegmentWithStartingPoint(a, b); }

using support::expectRaises;

/// A net in the plane z = 0, linked and traced.
struct Net {
  std::shared_ptr<PlaneManifold> manifold = PlaneManifold::manifoldWithPlane(R3Plane::planeWithCoefficients(0, 0, 1, 0));
  WELinker linker{manifold};
  R3CurveArray edges;
  WEFaceArray faces;

  explicit Net(R3CurveArray e) : edges(std::move(e)) {
    linker.linkWingedEdges(edges);
    faces = linker.addFacesToEdges(edges);
  }
  std::vector<double> areas() const {
    std::vector<double> a;
    for (const auto& f : faces) a.push_back(manifold->areaOfFace(f));
    std::sort(a.begin(), a.end());
    return a;
  }
  WEFacePtr faceWithArea(double sign) const {
    for (const auto& f : faces)
      if (manifold->areaOfFace(f) * sign > 0) return f;
    return nullptr;
  }
};

R3CurveArray unitSquare() {
  const auto a = P(0, 0), b = P(1, 0), c = P(1, 1), d = P(0, 1);
  // One side reversed: the walk has to turn its direction round at the shared vertex.
  return {S(a, b), S(b, c), S(d, c), S(d, a)};
}

TEST(WingedEdgeTest, SquareLinksIntoAnInnerAndAnOuterFace) {
  Net net(unitSquare());
  ASSERT_EQ(net.faces.size(), 2u);
  for (const auto& f : net.faces) EXPECT_EQ(f->count(), 4u);
  const auto areas = net.areas();
  EXPECT_NEAR(areas[0], -1, 1e-15);
  EXPECT_NEAR(areas[1], 1, 1e-15);
  EXPECT_NEAR(net.manifold->totalTurnAngleOfFace(net.faceWithArea(+1)), 2 * M_PI, 1e-12);
  EXPECT_NEAR(net.manifold->totalTurnAngleOfFace(net.faceWithArea(-1)), -2 * M_PI, 1e-12);
  for (const auto& e : net.edges) {
    // Every edge lies in both faces, once in each direction.
    ASSERT_FALSE(e->f()[0].expired());
    ASSERT_FALSE(e->f()[1].expired());
    EXPECT_NE(e->f()[0].lock(), e->f()[1].lock());
  }
  // Corners turn by exactly π/2: no kinks; the inner face's walk sees its vertices in order.
  EXPECT_TRUE(net.manifold->kinksForFace(net.faceWithArea(+1)).empty());
  const auto inner = net.faceWithArea(+1);
  EXPECT_EQ(WEVertexEnumerator::verticesOfFace(inner).size(), 4u);
  const auto mean = net.manifold->meanVectorOfFace(inner);
  EXPECT_NEAR(mean->x(), 0.5, 1e-15);
  EXPECT_NEAR(mean->y(), 0.5, 1e-15);
  const auto turns = net.manifold->turnAnglesOfFace(inner);
  ASSERT_EQ(turns.size(), 4u);
  for (double t : turns) EXPECT_NEAR(t, M_PI / 2, 1e-12);
  EXPECT_NEAR(net.manifold->totalTurnVectorOfFace(inner)->z(), 4, 1e-12);
}

TEST(WingedEdgeTest, EndsWithinTheToleranceMeet) {
  // Two sides end a rounding apart at (1, 1): the linker makes them one vertex, and the
  // turns and areas follow the links, not an exact comparison of the points.
  const auto a = P(0, 0), b = P(1, 0), d = P(0, 1);
  Net net({S(a, b), S(b, P(1, 1)), S(d, P(1 + 1e-12, 1)), S(d, a)});
  ASSERT_EQ(net.faces.size(), 2u);
  const auto areas = net.areas();
  EXPECT_NEAR(areas[0], -1, 1e-11);
  EXPECT_NEAR(areas[1], 1, 1e-11);
  EXPECT_NEAR(net.manifold->totalTurnAngleOfFace(net.faceWithArea(+1)), 2 * M_PI, 1e-9);
  EXPECT_NEAR(net.manifold->totalTurnAngleOfFace(net.faceWithArea(-1)), -2 * M_PI, 1e-9);
}

TEST(WingedEdgeTest, RepeatingTheFirstEdgeShowsTheClosingPair) {
  Net net({S(P(0, 0), P(1, 0)), S(P(1, 0), P(0, 1)), S(P(0, 1), P(0, 0))});
  for (bool repeat : {false, true}) {
    WEEdgeEnumerator walk(net.faces.front());
    walk.setRepeatsInitialEdgeIfClosed(repeat);
    int count = 0;
    while (walk.nextObject()) ++count;
    EXPECT_EQ(count, repeat ? 4 : 3);
    EXPECT_TRUE(walk.closed());
  }
}

TEST(WingedEdgeTest, ThreeEdgesAtAVertexTakeTheExtremeTurns) {
  // A theta graph: A and B joined straight, over C and under D.
  const auto A = P(0, 0), B = P(2, 0), C = P(1, 1), D = P(1, -1);
  const auto AB = S(A, B), AC = S(A, C), AD = S(A, D);
  Net net({AB, AC, S(C, B), AD, S(D, B)});
  // Arriving at A along AB (heading −x): the turn onto AD is +3π/4, onto AC −3π/4.
  EXPECT_EQ(AB->ep()[0].lock(), AD);
  EXPECT_EQ(AB->em()[0].lock(), AC);
  const auto areas = net.areas();
  ASSERT_EQ(areas.size(), 3u);
  EXPECT_NEAR(areas[0], -2, 1e-14);
  EXPECT_NEAR(areas[1], 1, 1e-14);
  EXPECT_NEAR(areas[2], 1, 1e-14);
}

TEST(WingedEdgeTest, ClosedCurveFormsOneFaceOnEachSide) {
  const auto circle = R3Ellipse::ellipseWithCenter(P(0, 0), P(1, 0), P(0, 1));
  Net net({circle});
  ASSERT_EQ(net.faces.size(), 2u);
  EXPECT_EQ(net.faces[0]->count(), 1u);
  EXPECT_EQ(net.faces[1]->count(), 1u);
  EXPECT_TRUE(circle->ep()[0].expired() && circle->ep()[1].expired());
}

TEST(WingedEdgeTest, LinkingFailuresRaiseTheirNamedExceptions) {
  const auto manifold = PlaneManifold::manifoldWithPlane(R3Plane::planeWithCoefficients(0, 0, 1, 0));
  WELinker linker(manifold);
  // An open chain: its loose end has no mate.
  const auto loose = S(P(0, 0), P(1, 0));
  expectRaises([&] { linker.linkWingedEdges({loose, S(P(1, 0), P(1, 1))}); }, "NSInternalInconsistencyException",
               loose->description() + " does not have mates");
  // A full-turn arc starts and ends at one vertex: it is not its own mate there.
  const auto start = P(1, 0);
  const auto loop = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), start, start);
  expectRaises([&] { linker.linkWingedEdges({loop}); }, "NSInternalInconsistencyException",
               loop->description() + " does not have mates");
  // Two copies of one side leave the turn at their vertex ambiguous.
  const auto A = P(0, 0), B = P(1, 0), C = P(0, 1);
  expectRaises([&] { linker.linkWingedEdges({S(A, B), S(B, C), S(B, C), S(C, A)}); },
               "NSInternalInconsistencyException", "Two mates with same plus angle");
  // The inset is restored also when linking raises.
  linker.setInset(0.25);
  EXPECT_THROW(linker.linkWingedEdges({S(A, B)}, 0.01), platform::Exception);
  EXPECT_EQ(linker.inset(), 0.25);
}

TEST(WingedEdgeTest, CorruptLinksAreReportedNotFollowed) {
  Net net(unitSquare());
  auto& e0 = net.edges[0];
  // Point e0 onward to the opposite side, which does not touch the vertex e0 reaches.
  for (int k = 0; k < 2; ++k) e0->ep()[k] = net.edges[2];
  expectRaises([&] { net.linker.addFacesToEdges(net.edges); }, "WELinker", "Inconsistent links in addFacesToEdges");
  WEFacePtr face = platform::makeObject<WEFace>(WEEdgeArray{e0});
  e0->f()[0] = face;
  expectRaises(
      [&] {
        WEEdgeEnumerator walk(face);
        while (walk.nextObject()) {
        }
      },
      "WE", "Can not match vertices");
  const auto stranger = platform::makeObject<WEFace>(WEEdgeArray{net.edges[1]});
  net.edges[1]->f()[0].reset();
  net.edges[1]->f()[1].reset();
  EXPECT_THROW(WEEdgeEnumerator{stranger}, platform::Exception);
  WEEdgeOfFaceEnumerator byFace(stranger);
  byFace.nextObject();
  expectRaises([&] { byFace.directionIndex(); }, "WEEdgeOfFaceEnumerator", "Face is not referenced by edge");
}

TEST(WingedEdgeTest, AWalkThatLeavesItsFaceStops) {
  Net net(unitSquare());
  // A face of one edge whose links lead round the whole square: the walk must not go on
  // past the face.
  const auto& e = net.edges[0];
  const auto face = platform::makeObject<WEFace>(WEEdgeArray{e});
  e->f()[0] = face;
  expectRaises([&] { WEVertexEnumerator::verticesOfFace(face); }, "WE", "Face walk does not close");
  expectRaises(
      [&] {
        WEEdgeOfFaceEnumerator walk(face);
        while (walk.nextObject()) {
        }
      },
      "WEEdgeOfFaceEnumerator", "Face walk does not close");
}

TEST(WingedEdgeTest, TopologyCopiesOntoCorrespondingEdges) {
  Net net(unitSquare());
  const auto inner = net.faceWithArea(+1);
  WEEdgeArray copies;
  for (const auto& e : inner->edges()) {
    const auto& c = dynamic_cast<const R3Curve&>(*e);
    copies.push_back(R3LineSegment::lineSegmentWithStartingPoint(c.q0(), c.q1()));
  }
  const auto copy = platform::makeObject<WEFace>(copies);
  WELinker::transferTopologyFromFace(inner, copy);
  WEEdgeOfFaceEnumerator walk(copy);
  std::size_t count = 0;
  while (auto e = walk.nextObject()) {
    EXPECT_EQ(e, copies[count]);
    ++count;
  }
  EXPECT_EQ(count, 4u);
  EXPECT_TRUE(walk.closed());
}

TEST(WingedEdgeTest, VerticesOfAnOpenFaceRaise) {
  const auto a = S(P(0, 0), P(1, 0)), b = S(P(1, 0), P(2, 0));
  b->v()[0] = a->v()[1].lock();
  a->ep()[1] = b;
  const auto face = platform::makeObject<WEFace>(WEEdgeArray{a, b});
  a->f()[0] = face;
  b->f()[0] = face;
  expectRaises([&] { WEVertexEnumerator::verticesOfFace(face); }, "WEVertexEnumerator", "Open face");
}

TEST(WingedEdgeTest, ProxiesLinkTheirOwnNet) {
  const auto manifold = PlaneManifold::manifoldWithPlane(R3Plane::planeWithCoefficients(0, 0, 1, 0));
  WELinker linker(manifold);
  std::vector<std::shared_ptr<WEProxy>> proxies;
  for (const auto& c : unitSquare()) proxies.push_back(WEProxy::proxyWithCurve(c));
  linker.linkWingedEdgeProxies(proxies);
  const auto faces = linker.addFacesToEdges(WEEdgeArray(proxies.begin(), proxies.end()));
  ASSERT_EQ(faces.size(), 2u);
  std::vector<double> turns;
  for (const auto& f : faces) turns.push_back(linker.totalTurnAngleOfProxyFace(f));
  std::sort(turns.begin(), turns.end());
  EXPECT_NEAR(turns[0], -2 * M_PI, 1e-12);
  EXPECT_NEAR(turns[1], 2 * M_PI, 1e-12);
  // The curves themselves stay unlinked.
  for (const auto& p : proxies) EXPECT_TRUE(p->curve()->ep()[0].expired());
}

}  // namespace
}  // namespace orb::geometry
