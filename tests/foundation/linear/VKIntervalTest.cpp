#include "foundation/linear/VKInterval.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

TEST(VKIntervalTest, KeepsOrderButKnowsItsEnds) {
  const VKInterval i(3, -1);
  EXPECT_EQ(i.a(), 3);
  EXPECT_EQ(i.b(), -1);
  EXPECT_EQ(i.min(), -1);
  EXPECT_EQ(i.max(), 3);
  EXPECT_EQ(i.mid(), 1);
  EXPECT_EQ(i.description(), "(3.000000e+00,-1.000000e+00)");
  EXPECT_EQ(VKInterval::unitInterval(), VKInterval(0, 1));
}

TEST(VKIntervalTest, Intersection) {
  struct Case {
    std::string name;
    VKInterval first, second;
    std::optional<VKInterval> expected;
  };
  const std::vector<Case> cases = {
      {"touching", {0, 1}, {1, 2}, std::nullopt},
      {"reversed and overlapping", {3, 0}, {1, 5}, VKInterval(1, 3)},
      {"both reversed", {3, 0}, {5, 1}, VKInterval(1, 3)},
      {"nested", {0, 10}, {4, 2}, VKInterval(2, 4)},
      {"disjoint", {0, 1}, {2, 3}, std::nullopt},
      {"degenerate", {0, 2}, {1, 1}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.first.intersectionWithInterval(c.second), c.expected);
    EXPECT_EQ(c.second.intersectionWithInterval(c.first), c.expected);
  }
  const std::vector<VKInterval> overlaps =
      VKInterval(0, 10).intersectionWithIntervals({{-5, 1}, {20, 30}, {12, 9}, {10, 11}});
  EXPECT_EQ(overlaps, (std::vector<VKInterval>{{0, 1}, {9, 10}}));
}

}  // namespace
}  // namespace orb::foundation
