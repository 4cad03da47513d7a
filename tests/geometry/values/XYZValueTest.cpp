#include "geometry/values/XYZValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "geometry/values/R3Point.h"
#include "geometry/values/XYValue.h"
#include "platform/Exception.h"

namespace orb::geometry {
namespace {

void expectXYZ(const XYZValue& v, double x, double y, double z, double tol = 0) {
  EXPECT_NEAR(v.x(), x, tol) << v.description();
  EXPECT_NEAR(v.y(), y, tol) << v.description();
  EXPECT_NEAR(v.z(), z, tol) << v.description();
}

TEST(XYZValueTest, NormalizedKeepsUnitVectorsAndRaisesForZero) {
  const auto nearlyUnit = XYZValue::valueWithDoubles(0, 0, 1.0000000000000005);
  EXPECT_EQ(nearlyUnit->normalized().get(), nearlyUnit.get());

  const auto two = XYZValue::valueWithDoubles(0, 0, 2);
  const auto unit = two->normalized();
  EXPECT_NE(unit.get(), two.get());
  expectXYZ(*unit, 0, 0, 1);

  try {
    XYZValue::valueWithDoubles(0, 0, 0)->normalized();
    FAIL() << "normalising the zero vector must raise";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
    EXPECT_EQ(e.reason(), "[(0,0,0) normalized] can not normalize zero length vector");
  }
  const auto x = XYZValue::valueWithDoubles(1, 0, 0);
  try {
    x->normalizedCross(*XYZValue::valueWithDoubles(2, 0, 0));
    FAIL() << "a zero cross product must raise";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.reason(), "[(1,0,0) normalizedCross: (2,0,0)] can not normalize zero length vector");
  }
  expectXYZ(*x->normalizedCross(*XYZValue::valueWithDoubles(0, 3, 0)), 0, 0, 1);
}

TEST(XYZValueTest, AlgebraKeepsTheReceiversClass) {
  const auto p = R3Point::pointWithDoubles(1, 2, 3);
  const auto q = XYZValue::valueWithDoubles(4, -5, 6);
  struct Case {
    std::string name;
    std::shared_ptr<XYZValue> result;
    double x, y, z;
  };
  const std::vector<Case> cases = {
      {"cross", p->cross(*q), 2 * 6 - 3 * -5, 3 * 4 - 1 * 6, 1 * -5 - 2 * 4},
      {"scaledBy", p->scaledBy(-2), -2, -4, -6},
      {"negated", p->negated(), -1, -2, -3},
      {"minus", p->minus(*q), -3, 7, -3},
      {"plus", p->plus(*q), 5, -3, 9},
      {"plus scaled", p->plus(*q, 0.5), 3, -0.5, 6},
      {"linear combination", p->scaledBy(2, *q, -1), -2, 9, 0},
      {"copy", p->copy(), 1, 2, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectXYZ(*c.result, c.x, c.y, c.z);
    EXPECT_NE(std::dynamic_pointer_cast<R3Point>(c.result), nullptr);
  }
  EXPECT_EQ(std::dynamic_pointer_cast<R3Point>(q->plus(*p)), nullptr);
  EXPECT_DOUBLE_EQ(p->dot(*q), 4 - 10 + 18);
  EXPECT_DOUBLE_EQ(XYZValue::valueWithDoubles(2, 3, 6)->abs(), 7);
  EXPECT_EQ(q->description(), "(4,-5,6)");
  EXPECT_EQ(p->description(), "(1.00,2.00,3.00)");
  EXPECT_EQ(p->preciseDescription(), "(1.000000000000000e+00,2.000000000000000e+00,3.000000000000000e+00)");
}

TEST(XYZValueTest, EqualityIsExactAcrossSubclassesWithMatchingHashes) {
  const auto v = XYZValue::valueWithDoubles(1, 2, 3);
  const auto p = R3Point::pointWithDoubles(1, 2, 3);
  EXPECT_TRUE(v->isEqualTo(*p));
  EXPECT_TRUE(p->isEqualTo(*v));
  EXPECT_EQ(v->hash(), p->hash());
  EXPECT_FALSE(v->isEqualTo(*XYZValue::valueWithDoubles(1, 2, std::nextafter(3.0, 4.0))));
  EXPECT_FALSE(v->isEqualTo(*XYValue::valueWithDoubles(1, 2)));

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto n = XYZValue::valueWithDoubles(nan, 0, 0);
  EXPECT_FALSE(n->isEqualTo(*n));

  // −0 equals +0, so the two must hash alike for hashed collections to work.
  const auto negativeZero = XYZValue::valueWithDoubles(-0.0, 1, -0.0);
  const auto positiveZero = XYZValue::valueWithDoubles(0.0, 1, 0.0);
  EXPECT_TRUE(negativeZero->isEqualTo(*positiveZero));
  EXPECT_EQ(negativeZero->hash(), positiveZero->hash());
  EXPECT_EQ(XYValue::valueWithDoubles(-0.0, 2)->hash(), XYValue::valueWithDoubles(0.0, 2)->hash());
  EXPECT_NE(XYZValue::valueWithDoubles(1, 2, 3)->hash(), XYZValue::valueWithDoubles(3, 2, 1)->hash());
}

TEST(R3PointTest, OrthogonalUnitVectorUsesTheSmallestComponentsAxis) {
  const double h = 1 / std::sqrt(2.0);
  struct Case {
    std::string name;
    double px, py, pz, x, y, z;
  };
  const std::vector<Case> cases = {
      {"tie picks x", 1, 1, 1, 0, h, -h},
      {"y smallest", 3, 0, 0, 0, 0, 1},
      {"x and z tie at zero: x kept", 0, 2, 0, 0, 0, -1},
      {"y smallest of three", 3, 1, 2, -2 / std::sqrt(13.0), 0, 3 / std::sqrt(13.0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto p = R3Point::pointWithDoubles(c.px, c.py, c.pz);
    const auto u = p->orthogonalUnitVector();
    expectXYZ(*u, c.x, c.y, c.z, 1e-15);
    EXPECT_NEAR(u->dot(*p), 0, 1e-15);
  }
}

TEST(R3PointTest, ProjectionsOntoPlanes) {
  const auto p = R3Point::pointWithDoubles(1, 2, 3);
  // The plane x + y + z = 3: the foot of the perpendicular is p − (6 − 3)/3·(1, 1, 1).
  expectXYZ(*p->projectionOntoPlane({1, 1, 1, 3}), 0, 1, 2, 1e-15);
  expectXYZ(*p->projectionOntoPlane({0, 0, 0, 5}), 1, 2, 3);  // no normal: the point itself
  expectXYZ(*p->radialProjectionOntoPlane({0, 0, 1, 6}), 2, 4, 6);
  const auto parallel = R3Point::pointWithDoubles(1, 0, 0)->radialProjectionOntoPlane({0, 0, 1, 1});
  EXPECT_FALSE(std::isfinite(parallel->x()));

  double r[3] = {7, 7, 7};
  const double q[3] = {0, 0, 0}, along[3] = {1, 0, 0}, normal[3] = {0, 0, 1};
  EXPECT_EQ(projectAlongDirectionOntoPlane(q, along, normal, r, 2), -1);
  EXPECT_EQ(r[0], 7);  // untouched on failure
  double s[3] = {1, 1, 1};
  const double oblique[3] = {1, 0, 1};
  EXPECT_EQ(projectAlongDirectionOntoPlane(s, oblique, normal, s, 4), 0);  // in place
  EXPECT_EQ(s[0], 4);
  EXPECT_EQ(s[1], 1);
  EXPECT_EQ(s[2], 4);
}

TEST(R3PointTest, NamedPointsAndAverages) {
  expectXYZ(*R3Point::origin(), 0, 0, 0);
  expectXYZ(*R3Point::zAxis(), 0, 0, 1);
  const auto mean = R3Point::averageOfPoints({XYZValue::valueWithDoubles(1, 2, 3), R3Point::pointWithDoubles(3, 4, -3)});
  expectXYZ(*mean, 2, 3, 0);
  const auto none = R3Point::averageOfPoints({});
  EXPECT_TRUE(std::isnan(none->x()) && std::isnan(none->y()) && std::isnan(none->z()));
}

TEST(XYValueTest, ValuesAndWrapper) {
  const auto v = XYValue::valueWithDoubles(3, 4);
  EXPECT_EQ(v->abs(), 5);
  EXPECT_EQ(v->description(), "(3,4)");
  EXPECT_TRUE(v->isEqualTo(*XYValue::valueWithXY({3, 4})));
  EXPECT_FALSE(v->isEqualTo(*XYZValue::valueWithDoubles(3, 4, 0)));
  EXPECT_EQ(v->xyArray(), (platform::Array{3.0, 4.0}));
  auto w = WrappedXY::wrap({1.5, -2});
  w->setXY({2, 3});
  EXPECT_EQ(w->description(), "2<>3");
}

}  // namespace
}  // namespace orb::geometry
