#include "rendering/GLColors.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/Color.h"

namespace orb::rendering {
namespace {

TEST(GLColors, ComponentsInOrder) {
  const platform::Color color(0.25, 0.5, 0.75, 0.125);
  float out[4] = {};
  getRedGreenBlueAlphaIntoArray(color, out);
  const float* ring = rgba(color);
  for (const float* c : {static_cast<const float*>(out), ring}) {
    EXPECT_FLOAT_EQ(c[0], 0.25f);
    EXPECT_FLOAT_EQ(c[1], 0.5f);
    EXPECT_FLOAT_EQ(c[2], 0.75f);
    EXPECT_FLOAT_EQ(c[3], 0.125f);
  }
}

TEST(GLColors, RingReusesASlotEveryEightCalls) {
  const platform::Color first(1, 0, 0, 1);
  const float* held = rgba(first);
  std::set<const float*> slots{held};
  for (int i = 1; i < kRgbaRingSize; ++i) {
    slots.insert(rgba(platform::Color(0, 0, static_cast<double>(i) / 8, 1)));
    // The seven calls after it leave the held colour alone.
    EXPECT_FLOAT_EQ(held[0], 1.0f);
    EXPECT_FLOAT_EQ(held[2], 0.0f);
  }
  EXPECT_EQ(slots.size(), static_cast<std::size_t>(kRgbaRingSize));
  const float* ninth = rgba(platform::Color(0, 1, 0, 0.5));
  EXPECT_EQ(ninth, held);
  EXPECT_FLOAT_EQ(held[1], 1.0f);  // the slot now holds the ninth colour
  EXPECT_FLOAT_EQ(held[3], 0.5f);
}

}  // namespace
}  // namespace orb::rendering
