#include "geometry/solids/PointCoalescer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "geometry/solids/Cloaked.h"
#include "geometry/solids/PointAndParameter.h"
#include "geometry/values/R3Point.h"

namespace orb::geometry {
namespace {

std::shared_ptr<XYZValue> pt(double x, double y, double z) { return R3Point::pointWithDoubles(x, y, z); }

TEST(PointCoalescerTest, NearbyPointsBecomeTheEarliestRepresentative) {
  PointCoalescer c;
  const auto a = pt(1, 0, 0);
  EXPECT_EQ(c.addPoint(a), a);
  EXPECT_EQ(c.addPoint(a), a);  // the same object is stored once
  EXPECT_EQ(c.addPoint(pt(1 + 5e-11, 0, 0)), a);
  const auto b = pt(1 + 2e-10, 0, 0);
  EXPECT_EQ(c.addPoint(b), b);
  EXPECT_EQ(c.pointArray(), (std::vector<std::shared_ptr<XYZValue>>{a, b}));
  EXPECT_EQ(c.addPoint(nullptr), nullptr);

  PointCoalescer d;
  const auto first = pt(0, 0, 0), second = pt(1.5e-10, 0, 0);
  d.addPoint(first);
  EXPECT_EQ(d.addPoint(second), second);
  // Within tolerance of both: the earlier one wins.
  EXPECT_EQ(d.addPoint(pt(0.75e-10, 0, 0)), first);
}

TEST(PointCoalescerTest, MatchingIsPerAxisNotByDistance) {
  PointCoalescer c(1e-3);
  const auto a = pt(0, 0, 0);
  c.addPoint(a);
  // 0.9e-3 off on every axis: 1.56e-3 away, yet inside the box of half-width 1e-3.
  EXPECT_EQ(c.addPoint(pt(0.9e-3, 0.9e-3, -0.9e-3)), a);
  const auto p = pt(1e-3, 0, 0);  // on the box's face: not a match (strict)
  EXPECT_EQ(c.addPoint(p), p);

  const auto batch = c.addPointsInArray({pt(5, 5, 5), pt(5, 5, 5 + 1e-4), a});
  EXPECT_EQ(batch[0], batch[1]);
  EXPECT_EQ(batch[2], a);
  EXPECT_EQ(c.pointArray().size(), 3u);
}

TEST(PointCoalescerTest, CoalesceWithoutAddingAndTypedResults) {
  PointCoalescer c;
  const auto a = pt(1, 2, 3);
  const auto q = pt(7, 8, 9);
  EXPECT_EQ(c.coalescePoint(q, false), q);
  EXPECT_TRUE(c.pointArray().empty());
  c.addPoint(a);
  EXPECT_EQ(c.coalescePoint(pt(1, 2, 3), false), a);
  const auto typed = c.addPointAs(R3Point::pointWithDoubles(1, 2, 3 + 1e-12));
  EXPECT_EQ(typed, a);
}

TEST(PointCoalescerTest, UnorientedMatchesEitherSign) {
  UnorientedCoalescer c;
  const auto up = pt(0, 0, 1);
  c.addPoint(up);
  EXPECT_EQ(c.addPoint(pt(0, 0, -1)), up);
  EXPECT_EQ(c.addPoint(pt(0, 1e-11, -1)), up);
  const auto side = pt(1, 0, 0);
  EXPECT_EQ(c.addPoint(side), side);
  EXPECT_EQ(c.pointArray().size(), 2u);
}

TEST(PointAndParameterTest, OrderedByParameter) {
  std::vector<PointAndParameter> v = {{pt(0, 0, 0), 3}, {pt(1, 0, 0), -1}, {pt(2, 0, 0), 2}};
  std::sort(v.begin(), v.end());
  EXPECT_EQ(v[0].parameter(), -1);
  EXPECT_EQ(v[2].parameter(), 3);
  EXPECT_EQ(v[0].compare(v[1]), -1);
  EXPECT_EQ(v[1].compare(v[0]), 1);
  EXPECT_EQ(PointAndParameter(pt(0, 0, 0), 2).compare(PointAndParameter(pt(9, 9, 9), 2)), 0);
  EXPECT_EQ(v[0].description(), "(1.00,0.00,0.00) (-1.000000e+00)");
}

TEST(CloakedTest, TheCloakDecidesEquality) {
  const auto content1 = pt(1, 1, 1), content2 = pt(2, 2, 2);
  const auto a = Cloaked::instanceWithContent(content1, XYZValue::valueWithDoubles(0, 0, 1));
  const auto b = Cloaked::instanceWithContent(content2, R3Point::pointWithDoubles(0, 0, 1));
  const auto c = Cloaked::instanceWithContent(content1, XYZValue::valueWithDoubles(0, 1, 0));
  EXPECT_TRUE(a->isEqualTo(*b));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(a->isEqualTo(*c));
  EXPECT_FALSE(a->isEqualTo(*content1));
  EXPECT_EQ(a->content(), content1);
  EXPECT_EQ(a->description(), "(0,0,1) (1.00,1.00,1.00)");
  // The content is not kept alive by its wrapper.
  auto temporary = pt(3, 3, 3);
  const auto d = Cloaked::instanceWithContent(temporary, XYZValue::valueWithDoubles(1, 0, 0));
  temporary.reset();
  EXPECT_EQ(d->content(), nullptr);
}

}  // namespace
}  // namespace orb::geometry
