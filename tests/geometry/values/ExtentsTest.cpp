#include "geometry/values/Extents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/values/ArchiveClasses.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace orb::geometry {
namespace {

using foundation::XYZ;

void expectBounds(const Extents& e, double x0, double x1, double y0, double y1, double z0, double z1) {
  EXPECT_EQ(e.xMin(), x0) << e.description();
  EXPECT_EQ(e.xMax(), x1) << e.description();
  EXPECT_EQ(e.yMin(), y0) << e.description();
  EXPECT_EQ(e.yMax(), y1) << e.description();
  EXPECT_EQ(e.zMin(), z0) << e.description();
  EXPECT_EQ(e.zMax(), z1) << e.description();
}

TEST(ExtentsTest, FirstAbsorbedPointSetsAllSixBounds) {
  auto e = MutableExtents::extents();
  EXPECT_FALSE(e->active());
  e->absorbPoint({1, 2, 3});
  EXPECT_TRUE(e->active());
  expectBounds(*e, 1, 1, 2, 2, 3, 3);  // not stretched to the origin
  EXPECT_EQ(e->radius(), 0);
  EXPECT_EQ(e->volume(), 0);
  EXPECT_EQ(e->center(), (XYZ{1, 2, 3}));

  e->absorb(-1, 5, 3);
  expectBounds(*e, -1, 1, 2, 5, 3, 3);
  const double more[3] = {4, 0, -2};
  e->absorbDoubles(more);
  expectBounds(*e, -1, 4, 0, 5, -2, 3);
  EXPECT_EQ(e->radius(), 2.5);
  EXPECT_DOUBLE_EQ(e->circumscribedRadius(), 0.5 * std::sqrt(25.0 + 25 + 25));

  e->absorb(std::numeric_limits<double>::quiet_NaN(), 0, 0);  // never replaces a bound
  expectBounds(*e, -1, 4, 0, 5, -2, 3);
}

TEST(ExtentsTest, AbsorbingBoxes) {
  auto e = MutableExtents::extents();
  e->absorbExtents(*Extents::extentsWithCenter({10, 10, 10}, 1));
  expectBounds(*e, 9, 11, 9, 11, 9, 11);
  e->absorbExtents(*Extents::extentsWithCorner({0, 10, 10}, {1, 0.5, 5}));
  expectBounds(*e, 0, 11, 9, 11, 9, 15);

  // An empty box holds no points: its stored zeros must not drag the box to the origin.
  e->absorbExtents(*Extents::extents());
  expectBounds(*e, 0, 11, 9, 11, 9, 15);
  auto fresh = MutableExtents::extents();
  fresh->absorbExtents(*Extents::extents());
  EXPECT_FALSE(fresh->active());
}

TEST(ExtentsTest, ContainmentIsClosedWithoutFuzzAndStrictWithIt) {
  const auto cube = Extents::extentsWithCenter({0, 0, 0}, 1);
  EXPECT_EQ(cube->description(), "x(-1,1)y(-1,1)z(-1,1)");
  const XYZ onFace{1, 0, 0};
  EXPECT_TRUE(cube->containsPoint(onFace));
  EXPECT_FALSE(cube->containsPoint(onFace, 0));
  EXPECT_TRUE(cube->containsPoint(onFace, 1e-12));
  EXPECT_FALSE(cube->containsPoint({1 + 1e-9, 0, 0}));
  EXPECT_FALSE(cube->containsPoint({std::numeric_limits<double>::quiet_NaN(), 0, 0}));
}

TEST(ExtentsTest, NegativeSizeUntilOrientedAndSettersActivate) {
  const auto e = Extents::extentsWithCorner({0, 0, 0}, {-2, 1, 1});
  EXPECT_EQ(e->xMin(), 0);
  EXPECT_EQ(e->xMax(), -2);
  EXPECT_EQ(e->xRange(), -2);
  auto m = e->mutableCopy();
  m->orient();
  expectBounds(*m, -2, 0, 0, 1, 0, 1);
  EXPECT_EQ(e->xMin(), 0);  // the copy is independent

  auto s = MutableExtents::extents();
  s->setYMax(4);
  EXPECT_TRUE(s->active());
  expectBounds(*s, 0, 0, 0, 4, 0, 0);

  EXPECT_NE(std::dynamic_pointer_cast<MutableExtents>(s->copy()), nullptr);
  EXPECT_EQ(std::dynamic_pointer_cast<MutableExtents>(e->copy()), nullptr);
}

TEST(ExtentsTest, RangesAreObservableThroughTheirBounds) {
  auto e = MutableExtents::extents();
  e->absorb(0, 0, 0);
  int xRangeChanges = 0;
  auto observation = e->addObserver("xRange", [&](const platform::ObservedChange&) { ++xRangeChanges; });
  e->absorb(2, 0, 0);
  e->absorb(1, 0, 0);  // inside: nothing changes
  e->setValueForKey("xMin", -1.0);
  EXPECT_EQ(xRangeChanges, 2);
  EXPECT_EQ(e->valueForKey("xRange").asDouble(), 3);
}

TEST(ExtentsTest, KeyedArchiveRoundTrip) {
  registerArchiveClasses();
  auto e = MutableExtents::extents();
  e->absorb(-1.25, 2, 1e-300);
  e->absorb(3, 7.5, -4);
  const auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(e));
  const auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<MutableExtents>();
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->active());
  expectBounds(*back, -1.25, 3, 2, 7.5, -4, 1e-300);

  const auto empty = platform::KeyedUnarchiver::unarchiveObjectWithData(
                         platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(Extents::extents())))
                         .asObject<Extents>();
  ASSERT_NE(empty, nullptr);
  EXPECT_FALSE(empty->active());
}

}  // namespace
}  // namespace orb::geometry
