#include <gtest/gtest.h>

#include "ExpectRaises.h"

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/Cloaked.h"
#include "geometry/solids/PointCoalescer.h"
#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "platform/Exception.h"

namespace orb::geometry {
namespace {

using foundation::XYZ;

R3PointPtr P(double x, double y, double z) { return R3Point::pointWithDoubles(x, y, z); }

void expectNear(const R3PointPtr& p, const XYZ& want, double tol) {
  ASSERT_TRUE(p);
  EXPECT_NEAR(p->x(), want.x, tol);
  EXPECT_NEAR(p->y(), want.y, tol);
  EXPECT_NEAR(p->z(), want.z, tol);
}

using support::expectRaises;

std::shared_ptr<R3Ellipse> unitCircle() { return R3Ellipse::ellipseWithCenter(P(0, 0, 0), P(1, 0, 0), P(0, 1, 0)); }

TEST(CurveTest, SegmentsNeedDistinctEnds) {
  expectRaises([] { R3LineSegment::lineSegmentWithStartingPoint(P(1, 2, 3), P(1, 2, 3)); }, "R3LineSegment",
               "Must have distinct endpoints");
  expectRaises([] { R3LineSegment::lineSegmentLoopWithPoints({P(1, 2, 3)}); }, "R3LineSegment",
               "Must have distinct endpoints");
  EXPECT_EQ(R3LineSegment::lineSegmentLoopWithPoints({P(0, 0, 0), P(1, 0, 0), P(0, 1, 0)}).size(), 3u);
}

TEST(CurveTest, LinesClampOnlyWithEnds) {
  const auto free = R3Line::lineWithPoint(P(0, 0, 0), P(2, 0, 0));
  const auto bounded = R3Line::lineWithStartingPoint(P(0, 0, 0), P(2, 0, 0));
  EXPECT_FALSE(free->hasEnds());
  EXPECT_TRUE(bounded->hasEnds());
  expectNear(free->closestPointToLocus(*P(5, 1, 0)), {5, 0, 0}, 0);
  expectNear(bounded->closestPointToLocus(*P(5, 1, 0)), {2, 0, 0}, 0);
  EXPECT_DOUBLE_EQ(bounded->distanceToPoint(*P(5, 4, 0)), 5);
  EXPECT_DOUBLE_EQ(free->parameterForPoint(*P(3, 7, 0)), 1.5);

  const auto plane = R3Plane::planeWithCoefficients(1, 0, 0, 4);
  EXPECT_DOUBLE_EQ(bounded->parameterForIntersectionWithPlane(*plane), 2);
  EXPECT_TRUE(std::isinf(bounded->parameterForIntersectionWithPlane(*R3Plane::planeWithCoefficients(0, 1, 0, 4))));
  // A segment reports a plane crossing only on itself, its ends included.
  const auto segment = R3LineSegment::lineSegmentWithStartingPoint(P(0, 0, 0), P(2, 0, 0));
  EXPECT_FALSE(segment->intersectionWithPlane(*plane));
  EXPECT_EQ(segment->intersectionWithPlane(*R3Plane::planeWithCoefficients(1, 0, 0, 2)), segment->q1());
  // Its cylinder crossings exclude the ends: the cylinder r = 2 passes through q1.
  EXPECT_TRUE(segment->intersectionsWithCylinder(*R3CylinderZ::cylinderWithRadius(2)).empty());
  EXPECT_EQ(R3Line::lineWithPoint(P(-5, 0, 0), P(1, 0, 0))->intersectionsWithCylinder(*R3CylinderZ::cylinderWithRadius(2)).size(), 2u);
}

TEST(CurveTest, FissionSplitsInParameterOrder) {
  const auto segment = R3LineSegment::lineSegmentWithStartingPoint(P(0, 0, 0), P(4, 0, 0));
  const auto daughters = segment->daughtersForFissionPoints({P(3, 0, 0), P(1, 0, 0), P(1, 0, 0), P(4, 0, 0)});
  ASSERT_EQ(daughters.size(), 3u);
  EXPECT_EQ(daughters[0]->q0(), segment->q0());
  expectNear(daughters[0]->q1(), {1, 0, 0}, 0);
  expectNear(daughters[1]->q1(), {3, 0, 0}, 0);
  EXPECT_EQ(daughters[2]->q1(), segment->q1());
  EXPECT_EQ(segment->daughtersForFissionPoints({segment->q0(), segment->q1()}).size(), 1u);
  EXPECT_TRUE(R3Line::lineWithPoint(P(0, 0, 0), P(1, 0, 0))->daughtersForFissionPoints({P(2, 0, 0)}).empty());

  // Sorting: the filter drops points at exactly 0 and 1; one point comes back as given.
  const auto sorted = R3Curve::sortedArrayOfPoints({P(4, 0, 0), P(2, 0, 0), P(0, 0, 0)}, *segment, true, 0);
  ASSERT_EQ(sorted.size(), 1u);
  expectNear(sorted[0], {2, 0, 0}, 0);
  const R3PointArray single{P(9, 9, 9)};
  EXPECT_EQ(R3Curve::sortedArrayOfPoints(single, *segment, true, 0), single);

  // Full circle split at two points: a closed chain of two arcs.
  const auto arcs = unitCircle()->daughtersForFissionPoints({P(0, 1, 0), P(0, -1, 0)});
  ASSERT_EQ(arcs.size(), 2u);
  EXPECT_TRUE(arcs[0]->q1()->isEqualTo(*arcs[1]->q0()));
  EXPECT_TRUE(arcs[1]->q1()->isEqualTo(*arcs[0]->q0()));
}

TEST(CurveTest, CommonEndsAndTangentPairs) {
  const auto a = R3LineSegment::lineSegmentWithStartingPoint(P(0, 0, 0), P(1, 0, 0));
  const auto b = R3LineSegment::lineSegmentWithStartingPoint(P(1, 0, 0), P(1, 1, 0));
  expectNear(R3Curve::commonEndpointForCurveA(*a, *b), {1, 0, 0}, 0);
  const auto pair = R3Curve::tangentPairForCurveA(*b, *a);  // b starts where a ends
  ASSERT_EQ(pair.size(), 2u);
  expectNear(pair[0], {0, -1, 0}, 0);  // along B into the common point
  expectNear(pair[1], {-1, 0, 0}, 0);  // along A away from it
  EXPECT_EQ(R3Curve::endpointsOfCurves({a, b}).size(), 3u);
}

TEST(CurveTest, EllipsePlaneCrossingsAndParameters) {
  const auto circle = unitCircle();
  EXPECT_EQ(circle->intersectionsWithPlane(*R3Plane::planeWithCoefficients(1, 0, 0, 0.5)).size(), 2u);
  const auto touch = circle->intersectionsWithPlane(*R3Plane::planeWithCoefficients(1, 0, 0, 1));
  ASSERT_EQ(touch.size(), 1u);
  expectNear(touch[0], {1, 0, 0}, 1e-15);
  EXPECT_TRUE(circle->intersectionsWithPlane(*R3Plane::planeWithCoefficients(1, 0, 0, 2)).empty());
  EXPECT_TRUE(circle->intersectionsWithPlane(*R3Plane::planeWithCoefficients(0, 0, 1, 0)).empty());

  // A full ellipse starts and ends at c − u.
  EXPECT_DOUBLE_EQ(circle->parameterForPoint(*P(-1, 0, 0)), 1);
  EXPECT_DOUBLE_EQ(circle->parameterForPoint(*P(1, 0, 0)), 0.5);
  expectNear(circle->pointForParameter(0.25), {0, -1, 0}, 1e-15);

  // An arc across the angle π maps continuously: from 3π/4 to 5π/4.
  const double h = std::sqrt(0.5);
  const auto arc = R3EllipseSegment::ellipseSegmentWithEllipse(*circle, P(-h, h, 0), P(-h, -h, 0));
  EXPECT_NEAR(arc->parameterForPoint(*P(-1, 0, 0)), 0.5, 1e-15);
  EXPECT_NEAR(arc->parameterForPoint(*arc->q1()), 1, 1e-15);
  EXPECT_FALSE(arc->intervalContainsPoint(*P(1, 0, 0)));  // off the arc
  expectNear(arc->pointForParameter(0.5), {-1, 0, 0}, 1e-15);
  EXPECT_EQ(arc->intersectionsWithPlane(*R3Plane::planeWithCoefficients(0, 1, 0, 0)).size(), 1u);
  // The region between a quarter arc and its chord: π/4 − ½.
  const auto quarter = R3EllipseSegment::ellipseSegmentWithEllipse(*circle, P(1, 0, 0), P(0, 1, 0));
  EXPECT_NEAR(quarter->segmentArea(), M_PI / 4 - 0.5, 1e-15);
  // Equal ends make the full turn.
  const auto loop = R3EllipseSegment::ellipseSegmentWithEllipse(*circle, P(1, 0, 0), P(1, 0, 0));
  EXPECT_NEAR(loop->endAngle() - loop->referenceAngle(), 2 * M_PI, 1e-15);
}

TEST(CurveTest, TangentPointsSeenFromAPoint) {
  // Tangents from (2, 0) to the unit circle touch it at (½, ±√3/2), also when the axis
  // configuration makes u·m vanish.
  const auto points = unitCircle()->pointsTangentToLine(*R3Line::lineWithPoint(P(2, 0, 0), P(0, 0, 1)));
  ASSERT_EQ(points.size(), 2u);
  for (const auto& p : points) {
    EXPECT_NEAR(p->x(), 0.5, 1e-15);
    EXPECT_NEAR(std::fabs(p->y()), std::sqrt(0.75), 1e-15);
  }
  EXPECT_NEAR(points[0]->y() + points[1]->y(), 0, 1e-15);
  // A general ellipse and locus: each tangent line passes through the locus.
  const auto e = R3Ellipse::ellipseWithCenter(P(0.3, 0.1, 0), P(0, 1, 0), P(-2, 0, 0));
  const auto locus = P(1.5, 2.5, 0);
  const auto touching = e->tangentPointsForLocus(*locus, *P(0, 0, 1));
  ASSERT_EQ(touching.size(), 2u);
  for (const auto& p : touching) {
    const auto t = e->tangentForPoint(*p);
    const double cross = t->x() * (locus->y() - p->y()) - t->y() * (locus->x() - p->x());
    EXPECT_NEAR(cross, 0, 1e-12);
    EXPECT_TRUE(e->closeEnoughToPoint(*p));
  }
  EXPECT_TRUE(unitCircle()->pointsTangentToLine(*R3Line::lineWithPoint(P(0.5, 0, 0), P(0, 0, 1))).empty());
}

TEST(CurveTest, ConesMomentsAndSweptQuadrics) {
  const auto circle = unitCircle();
  // The cone from (0, 0, 1) through the unit circle: negative inside, zero on it.
  EXPECT_NEAR(circle->valueForQuadricConeAtPoint(*P(0.5, 0, 0.5), *P(0, 0, 1)), 0, 1e-15);
  EXPECT_LT(circle->valueForQuadricConeAtPoint(*P(0, 0, 0), *P(0, 0, 1)), 0);
  EXPECT_GT(circle->valueForQuadricConeAtPoint(*P(2, 0, 0), *P(0, 0, 1)), 0);
  double M[9];
  expectRaises([&] { circle->getQuadricConeMatrix(M, *P(3, 0, 0)); }, "NSInternalInconsistencyException",
               "getQuadricConeMatrix:relativeToPoint: point is in plane of ellipse");

  EXPECT_DOUBLE_EQ(circle->momentForPoint(*P(0.5, 0, -1), *P(0, 0, 1)), -0.75);
  EXPECT_TRUE(std::isinf(circle->momentForPoint(*P(0.5, 0, -1), *P(1, 0, 0))));

  const auto tube = circle->quadricWithDirector(*P(0, 0, 1));
  EXPECT_NEAR(tube->valueAtPoint(*P(0, 1, 7)), 0, 1e-15);
  const auto wall = R3LineSegment::lineSegmentWithStartingPoint(P(1, 0, 0), P(1, 1, 0))->quadricWithDirector(*P(0, 0, 1));
  EXPECT_NEAR(wall->valueAtPoint(*P(1, 5, 9)), 0, 1e-15);
  EXPECT_NE(wall->valueAtPoint(*P(2, 5, 9)), 0);
}

TEST(CurveTest, ProjectionOfATiltedCircle) {
  // A unit circle in the plane x = z, projected along z onto z = 0: semi-axes √½ and 1.
  const double h = std::sqrt(0.5);
  const auto tilted = R3Ellipse::ellipseWithCenter(P(0, 0, 0), P(0, 1, 0), P(h, 0, h));
  const auto projected = std::dynamic_pointer_cast<R3Ellipse>(tilted->projectionOntoPlane(*R3Plane::planeWithCoefficients(0, 0, 1, 0)));
  ASSERT_TRUE(projected);
  EXPECT_NEAR(projected->semiminorAxis()->abs(), h, 1e-12);
  EXPECT_NEAR(projected->semimajorAxis()->abs(), 1, 1e-12);
  for (double s : {0.1, 0.3, 0.55, 0.8}) {
    const auto p = tilted->pointForParameter(s);
    EXPECT_TRUE(projected->closeEnoughToPoint(*P(p->x(), p->y(), 0))) << s;
  }
}

TEST(CurveTest, EllipseSelfTestFindsTangentsThatMeetItsLine) {
  // The ellipse c = 0, u = (1, 0, 0), v = (0, 0.5, 0.2) and the line through (0.5, −1, 3)
  // and (−0.5, 1, 3): each tangent point's tangent lies in the plane of the line and the
  // point, so its component along that plane's normal vanishes.
  const auto zeros = R3Ellipse::test();
  ASSERT_EQ(zeros.size(), 2u);
  for (double z : zeros) EXPECT_NEAR(z, 0, 1e-12);
}

TEST(CurveTest, NecklacesIdentifyCurvesByTheirBeads) {
  const auto a = R3LineSegment::lineSegmentWithStartingPoint(P(0.1, 0.2, 0.3), P(1.7, -2.9, 3.3));
  const auto same = R3LineSegment::lineSegmentWithStartingPoint(P(0.1, 0.2, 0.3), P(1.7, -2.9, 3.3));
  const auto reversed = R3LineSegment::lineSegmentWithStartingPoint(P(1.7, -2.9, 3.3), P(0.1, 0.2, 0.3));
  const auto beside = R3LineSegment::lineSegmentWithStartingPoint(P(0.1, 0.2, 0.3 + 1e-6), P(1.7, -2.9, 3.3 + 1e-6));

  // The same segment made twice: one necklace (equal, same hash) whose content is each curve.
  const auto na = a->necklace(), nSame = same->necklace();
  EXPECT_EQ(na->content(), a);
  EXPECT_EQ(std::static_pointer_cast<ObjectSet>(na->cloak())->members().size(), 11u);  // t = 0, 0.1, … 1
  EXPECT_TRUE(na->isEqualTo(*nSame));
  EXPECT_EQ(na->hash(), nSame->hash());
  EXPECT_FALSE(na->isEqualTo(*beside->necklace()));

  // Coalesced beads: the segment walked the other way strings the same beads within the
  // tolerance; one a micrometre beside it does not.
  PointCoalescer coalescer(1e-10);
  const auto ca = a->necklaceWithPointCoalescer(coalescer), cReversed = reversed->necklaceWithPointCoalescer(coalescer);
  EXPECT_TRUE(ca->isEqualTo(*cReversed));
  EXPECT_EQ(ca->hash(), cReversed->hash());
  EXPECT_EQ(cReversed->content(), reversed);
  EXPECT_FALSE(ca->isEqualTo(*beside->necklaceWithPointCoalescer(coalescer)));

  // A closed curve: eleven beads, the last (t = 0.9999999999999999) near the first but its own.
  const auto circle = unitCircle()->necklace();
  EXPECT_EQ(std::static_pointer_cast<ObjectSet>(circle->cloak())->members().size(), 11u);
}

}  // namespace
}  // namespace orb::geometry
