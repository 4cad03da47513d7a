#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/PlaneManifold.h"
#include "geometry/solids/PointCoalescer.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/SurfacePatch.h"
#include "platform/Exception.h"

namespace orb::geometry {
namespace {

R3PointPtr P(double x, double y) { return R3Point::pointWithDoubles(x, y, 0); }
R3CurvePtr S(const R3PointPtr& a, const R3PointPtr& b) { return R3LineSegment::lineSegmentWithStartingPoint(a, b); }

std::shared_ptr<PlaneManifold> xyManifold() {
  return PlaneManifold::manifoldWithPlane(R3Plane::planeWithCoefficients(0, 0, 1, 0));
}

/// The x-ranges of segments on the x axis, sorted.
std::vector<std::pair<double, double>> spans(const R3CurveArray& curves) {
  std::vector<std::pair<double, double>> out;
  for (const auto& c : curves)
    out.emplace_back(std::min(c->q0()->x(), c->q1()->x()), std::max(c->q0()->x(), c->q1()->x()));
  std::sort(out.begin(), out.end());
  return out;
}

WEFaceArray linkedFaces(const std::shared_ptr<PlaneManifold>& m, const R3CurveArray& edges) {
  WELinker linker(m);
  linker.linkWingedEdges(edges);
  return linker.addFacesToEdges(edges);
}

WEFacePtr positiveFace(const std::shared_ptr<PlaneManifold>& m, const WEFaceArray& faces) {
  for (const auto& f : faces)
    if (m->areaOfFace(f) > 0) return f;
  return nullptr;
}

TEST(PlaneManifoldTest, FrameOfTheXYPlane) {
  const auto m = xyManifold();
  EXPECT_TRUE(m->xAxis()->isEqualTo(*R3Point::pointWithDoubles(0, 1, 0)));
  EXPECT_TRUE(m->yAxis()->isEqualTo(*R3Point::pointWithDoubles(-1, 0, 0)));
  EXPECT_TRUE(m->zAxis()->isEqualTo(*R3Point::pointWithDoubles(0, 0, 1)));
}

TEST(PlaneManifoldTest, CrossingsOfSegmentsAndArcs) {
  const auto m = xyManifold();
  const auto x = m->intersectionsOfCurveA(*S(P(-1, -1), P(1, 1)), *S(P(-1, 1), P(1, -1)));
  ASSERT_EQ(x.size(), 1u);
  EXPECT_NEAR(x[0]->x(), 0, 1e-15);
  EXPECT_NEAR(x[0]->y(), 0, 1e-15);
  // Parallel segments never cross, overlapping or not; segments that miss do not either.
  EXPECT_TRUE(m->intersectionsOfCurveA(*S(P(0, 0), P(2, 0)), *S(P(1, 0), P(3, 0))).empty());
  EXPECT_TRUE(m->intersectionsOfCurveA(*S(P(0, 0), P(1, 0)), *S(P(2, -1), P(2, 1))).empty());
  // A chord through the unit circle meets it at x = ±√(1 − 0.25).
  const auto circle = R3Ellipse::ellipseWithCenter(P(0, 0), P(1, 0), P(0, 1));
  const auto chord = m->intersectionsOfCurveA(*S(P(-2, 0.5), P(2, 0.5)), *circle);
  ASSERT_EQ(chord.size(), 2u);
  for (const auto& p : chord) {
    EXPECT_NEAR(std::fabs(p->x()), std::sqrt(0.75), 1e-12);
    EXPECT_NEAR(p->y(), 0.5, 1e-12);
  }
  EXPECT_EQ(m->intersectionsOfCurveA(*circle, *S(P(-2, 0.5), P(0, 0.5))).size(), 1u);
  // Unit circles about (0, 0) and (1, 0) cross at (1/2, ±√3/2).
  const auto other = R3Ellipse::ellipseWithCenter(P(1, 0), P(1, 0), P(0, 1));
  const auto both = m->intersectionsOfCurveA(*circle, *other);
  ASSERT_EQ(both.size(), 2u);
  for (const auto& p : both) {
    EXPECT_NEAR(p->x(), 0.5, 1e-9);
    EXPECT_NEAR(std::fabs(p->y()), std::sqrt(3.0) / 2, 1e-9);
  }
}

TEST(PlaneManifoldTest, PointFilterFuzz) {
  const auto segment = S(P(0, 0), P(1, 0));
  const auto kept = PointFilter::pointsInArray({P(-5e-11, 0), P(-2e-10, 0), P(0.5, 0)}, *segment, 1e-10);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0]->x(), -5e-11);
  EXPECT_EQ(kept[1]->x(), 0.5);
}

TEST(ManifoldTest, CanonicalKeysMakeEachCurveOnce) {
  const auto m = xyManifold();
  const auto a = P(0, 0), b = P(1, 0);
  const auto forward = S(a, b), backward = S(P(1, 0), P(0, 0));
  EXPECT_FALSE(m->curvesAreUniqueInArray({forward, backward}));
  EXPECT_EQ(m->uniqueCurvesWithCurves({forward, backward}).size(), 1u);
  EXPECT_EQ(forward->key(), backward->key());
  // Segments a thousandth apart are different edges and both stay.
  const auto near = S(P(0, 0.001), P(1, 0.001));
  EXPECT_TRUE(m->curvesAreUniqueInArray({forward, near}));
  EXPECT_EQ(m->uniqueCurvesWithCurves({forward, near}).size(), 2u);
  EXPECT_EQ(R3Curve::uniqueCurvesFromArray({forward, backward, near}).size(), 2u);
  // Arcs: the same arc twice is one; the complementary arc of the circle is another.
  const auto arc = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), P(1, 0), P(0, 1));
  const auto same = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), P(1, 0), P(0, 1));
  const auto rest = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), P(0, 1), P(1, 0));
  EXPECT_EQ(m->uniqueCurvesWithCurves({arc, same, rest}).size(), 2u);
}

TEST(ManifoldTest, OverlappingPiecesOfOneLineMeetOnlyAtEnds) {
  const auto m = xyManifold();
  const auto pieces = m->nonoverlappingCurvesWithCurves({S(P(0, 0), P(2, 0)), S(P(1, 0), P(3, 0))});
  const std::vector<std::pair<double, double>> want{{0, 1}, {1, 2}, {2, 3}};
  EXPECT_EQ(spans(pieces), want);
  // Disjoint pieces of one line keep their gap.
  const auto apart = m->nonoverlappingCurvesWithCurves({S(P(0, 0), P(1, 0)), S(P(2, 0), P(3, 0))});
  const std::vector<std::pair<double, double>> gap{{0, 1}, {2, 3}};
  EXPECT_EQ(spans(apart), gap);
}

TEST(ManifoldTest, CrossingCurvesAreCutAtOneSharedPoint) {
  const auto m = xyManifold();
  const auto cut = m->nonintersectingCurvesWithCurves({S(P(-1, -1), P(1, 1)), S(P(-1, 1), P(1, -1))});
  ASSERT_EQ(cut.size(), 4u);
  // Every piece ends at the one crossing object.
  R3PointPtr centre;
  for (const auto& c : cut)
    for (const auto& p : c->endpoints())
      if (std::fabs(p->x()) < 1e-12) {
        if (!centre) centre = p;
        EXPECT_EQ(p, centre);
      }
  ASSERT_TRUE(centre);
  // A segment whose ends coalesce is dropped.
  const auto tiny = m->nonintersectingCurvesWithCurves({S(P(0, 0), P(1e-11, 0)), S(P(0, 1), P(1, 1))});
  EXPECT_EQ(tiny.size(), 1u);
}

TEST(ManifoldTest, AreasKinksAndPointInFace) {
  const auto m = xyManifold();
  // A thin triangle: the turn at its sharp corner exceeds π/2.
  const auto faces = linkedFaces(m, {S(P(0, 0), P(4, 0)), S(P(4, 0), P(0, 1)), S(P(0, 1), P(0, 0))});
  const auto inner = positiveFace(m, faces);
  ASSERT_TRUE(inner);
  EXPECT_NEAR(m->areaOfFace(inner), 2, 1e-14);
  EXPECT_NEAR(m->totalAreaOfFaces(faces), 0, 1e-14);
  EXPECT_NEAR(m->totalAreaOfPositiveAreaFaces(faces), 2, 1e-14);
  // The sharp corners turn by more than π/2; the right angle at the origin is no kink.
  const auto kinks = m->kinksForFace(inner);
  ASSERT_EQ(kinks.size(), 2u);
  for (const auto& k : kinks) EXPECT_TRUE(k->isEqualTo(*P(4, 0)) || k->isEqualTo(*P(0, 1)));
  EXPECT_TRUE(m->face(inner, *P(1, 0.25)));
  EXPECT_FALSE(m->face(inner, *P(3, 0.9)));
  EXPECT_FALSE(m->face(inner, *P(-1, 0.5)));
  // A disk bounded by two half-circle arcs: the segment areas carry the curved part.
  const auto upper = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), P(1, 0), P(-1, 0));
  const auto lower = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), P(-1, 0), P(1, 0));
  const auto disk = linkedFaces(m, {upper, lower});
  ASSERT_EQ(disk.size(), 2u);
  EXPECT_NEAR(m->areaOfFace(positiveFace(m, disk)), M_PI, 1e-12);
  EXPECT_TRUE(m->face(positiveFace(m, disk), *P(0.2, 0.3)));
}

R3CurveArray loop(const R3PointArray& points) {
  R3CurveArray out;
  for (const auto& s : R3LineSegment::lineSegmentLoopWithPoints(points)) out.push_back(s);
  return out;
}

double sumOf(const NodeAndWeightArray& nodes, const std::function<double(double, double)>& f) {
  double sum = 0;
  for (const auto& n : nodes) sum += n.parameter() * f(n.point()->x(), n.point()->y());
  return sum;
}

TEST(ManifoldTest, QuadratureOverASquareIsExactForPolynomials) {
  const auto m = xyManifold();
  const auto faces = linkedFaces(m, loop({P(0, 0), P(1, 0), P(1, 1), P(0, 1)}));
  const auto inner = positiveFace(m, faces);
  ASSERT_TRUE(inner);
  const auto nodes = m->nodeAndWeightArrayForFace(inner);
  // Four vertex values of u: up to three strips of 3 × 3 nodes.
  EXPECT_EQ(nodes.size() % 9, 0u);
  EXPECT_GE(nodes.size(), 9u);
  EXPECT_NEAR(sumOf(nodes, [](double, double) { return 1; }), 1, 1e-14);
  EXPECT_NEAR(sumOf(nodes, [](double x, double) { return x * x; }), 1.0 / 3, 1e-14);
  EXPECT_NEAR(sumOf(nodes, [](double x, double y) { return x * y; }), 0.25, 1e-14);
  EXPECT_TRUE(m->face(inner, *nodes.front().point()));  // the first node lies inside
  EXPECT_NEAR(m->areaQuadratureForFaces(faces), 1, 1e-14);
  for (const auto& f : faces) {
    if (f == inner) continue;
    EXPECT_TRUE(m->nodeAndWeightArrayForFace(f).empty());
  }
  // The frame turns away from the edge directions (0 and π/2): to the diagonal.
  EXPECT_NEAR(std::fabs(m->rotationAngleForQuadratureFrameOnFace(inner)), M_PI / 4, 1e-12);
}

TEST(ManifoldTest, QuadratureOverADisk) {
  const auto m = xyManifold();
  const auto upper = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), P(1, 0), P(-1, 0));
  const auto lower = R3EllipseSegment::ellipseSegmentWithCenter(P(0, 0), P(1, 0), P(0, 1), P(-1, 0), P(1, 0));
  const auto faces = linkedFaces(m, {upper, lower});
  const auto nodes = m->nodeAndWeightArrayForFace(positiveFace(m, faces));
  EXPECT_NEAR(sumOf(nodes, [](double, double) { return 1; }), M_PI, 1e-6);
  EXPECT_NEAR(sumOf(nodes, [](double x, double) { return x * x; }), M_PI / 4, 1e-6);
}

TEST(ManifoldTest, InverseDistanceConvolutionOfASpike) {
  constexpr int n = 16;
  double h[n] = {}, g[n];
  h[3] = 1;
  ASSERT_EQ(inverseDistanceConvolution(n, h, g), 0);
  // g(k) = w(k − 3) with w(0) = n and w(m) = 1/(circular distance m).
  EXPECT_NEAR(g[3], n, 1e-12);
  EXPECT_NEAR(g[4], 1, 1e-12);
  EXPECT_NEAR(g[2], 1, 1e-12);
  EXPECT_NEAR(g[7], 1.0 / 4, 1e-12);
  EXPECT_NEAR(g[15], 1.0 / 4, 1e-12);
  EXPECT_NE(inverseDistanceConvolution(12, h, g), 0);  // not a power of two
}

TEST(ManifoldTest, NestedNetsAreJoinedByABridge) {
  const auto m = xyManifold();
  R3CurveArray edges = loop({P(0, 0), P(4, 0), P(4, 4), P(0, 4)});
  for (const auto& e : loop({P(1, 1), P(2, 1), P(2, 2), P(1, 2)})) edges.push_back(e);
  const auto faces = m->unifyEdgeArray(edges);
  ASSERT_EQ(edges.size(), 9u);
  EXPECT_TRUE(dynamic_cast<const R3LineSegment*>(edges.back().get()));
  // One network now: the ring (16 − 1), the hole (1) and the outside (−16).
  std::vector<double> areas;
  for (const auto& f : faces) areas.push_back(m->areaOfFace(f));
  std::sort(areas.begin(), areas.end());
  ASSERT_EQ(areas.size(), 3u);
  EXPECT_NEAR(areas[0], -16, 1e-12);
  EXPECT_NEAR(areas[1], 1, 1e-12);
  EXPECT_NEAR(areas[2], 15, 1e-12);
  EXPECT_TRUE(PlaneManifold::verifySegmentsAreInteriorDisjoint({S(P(0, 0), P(1, 0)), S(P(1, 0), P(2, 0))}));
  EXPECT_FALSE(PlaneManifold::verifySegmentsAreInteriorDisjoint({S(P(0, 0), P(2, 0)), S(P(1, 0), P(3, 0))}));
}

TEST(NetAnalysisTest, GroupsAndPairs) {
  using Groups = std::vector<std::vector<std::string>>;
  const Groups merged = NetAnalysis::mergeIntersectingArrays(Groups{{"a", "b"}, {"c"}, {"b", "d"}});
  EXPECT_EQ(merged, (Groups{{"a", "b", "d"}, {"c"}}));
  // Chains joined only through a later array still merge.
  EXPECT_EQ(NetAnalysis::mergeIntersectingArrays(Groups{{"a"}, {"b"}, {"a", "b"}}), (Groups{{"a", "b"}}));
  const auto pairs = NetAnalysis::edgesForLoops(Groups{{"p", "q", "r"}});
  EXPECT_EQ(pairs.size(), 3u);
  EXPECT_TRUE(pairs.count({"r", "p"}));
  EXPECT_EQ(NetAnalysis::verticesForChains(Groups{{"a", "b"}, {"b", "c"}}).size(), 3u);
}

TEST(NetAnalysisTest, AdvancersFilterCurvesByTheirTestPoints) {
  const R3CurveArray curves{S(P(0, 0), P(1, 0)), S(P(2, 0), P(3, 0))};
  EXPECT_EQ(Advancers::curvesNotAdvancedUpon(curves, std::vector<R3SurfacePtr>{}).size(), 2u);
  const std::vector<R3SurfacePtr> wall{R3Plane::planeWithCoefficients(1, 0, 0, 1.5)};
  const auto kept = Advancers::curvesNotAdvancedUpon(curves, wall);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0], curves[0]);
  EXPECT_EQ(Advancers::firstObjectInArray(wall, *P(2, 0)), wall[0]);
}

}  // namespace
}  // namespace orb::geometry
