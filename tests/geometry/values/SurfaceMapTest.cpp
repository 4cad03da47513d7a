#include "geometry/values/SurfaceMap.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"

namespace orb::geometry {
namespace {

TEST(SurfaceMapTest, PlaneThroughTheLocus) {
  const SurfaceMap map(R3Point::pointWithDoubles(1, 2, 3));
  const auto atOrigin = map.R3ForR2(*XYValue::valueWithDoubles(0, 0));
  EXPECT_TRUE(atOrigin->isEqualTo(*R3Point::pointWithDoubles(1, 2, 3)));
  const auto u = map.R2ForR3(*R3Point::pointWithDoubles(4, 6, 9));
  EXPECT_TRUE(u->isEqualTo(*XYValue::valueWithDoubles(3, 4)));  // the point's z is ignored
  EXPECT_TRUE(map.R3ForR2(*u)->isEqualTo(*R3Point::pointWithDoubles(4, 6, 3)));
  EXPECT_EQ(map.surfaceElementSizeForR2(*u), 1.0);
  EXPECT_TRUE(map.tangentR3ForTangentR2(*XYValue::valueWithDoubles(0.5, -1), *u)
                  ->isEqualTo(*R3Point::pointWithDoubles(0.5, -1, 0)));
  EXPECT_TRUE(map.R2ArrayForR3Array({}).empty());
  const auto array = map.R2ArrayForR3Array({R3Point::pointWithDoubles(1, 2, 0), XYZValue::valueWithDoubles(0, 0, 0)});
  ASSERT_EQ(array.size(), 2u);
  EXPECT_TRUE(array[1]->isEqualTo(*XYValue::valueWithDoubles(-1, -2)));
}

TEST(SurfaceMapTest, SubclassMappingsAreUsedForArrays) {
  struct Doubling : SurfaceMap {
    using SurfaceMap::SurfaceMap;
    std::shared_ptr<XYValue> R2ForR3(const XYZValue& p) const override {
      return XYValue::valueWithDoubles(2 * p.x(), 2 * p.y());
    }
  };
  const Doubling map(R3Point::origin());
  EXPECT_TRUE(map.R2ArrayForR3Array({R3Point::pointWithDoubles(1, 2, 3)})[0]->isEqualTo(*XYValue::valueWithDoubles(2, 4)));
  EXPECT_THROW(SurfaceMap(nullptr), platform::Exception);
}

}  // namespace
}  // namespace orb::geometry
