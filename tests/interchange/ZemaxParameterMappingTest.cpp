#include "interchange/ZemaxParameterMapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "lens/ArchiveClasses.h"
#include "lens/CoordinateBreak.h"
#include "lens/Parameter.h"
#include "lens/Surface.h"

namespace orb::interchange {
namespace {

TEST(ZemaxParameterMapping, RangesSplitTheListBetweenParametersAndExtraData) {
  struct Case {
    const char* name;
    const char* type;
    std::size_t count;
    ZemaxParameterRanges expected;
  };
  const std::vector<Case> cases = {
      {"plain-three", "STANDARD", 3, {1, 3, 1, 1}},
      {"zernike-fourteen", "SZERNSAG", 14, {1, 10, 1, 5}},
      {"kinoform-twelve", "KINOFORM", 12, {0, 8, 1, 4}},
      {"none", "STANDARD", 0, {1, 0, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = zemaxParameterRanges(c.type, c.count);
    EXPECT_EQ(r.firstParameter, c.expected.firstParameter);
    EXPECT_EQ(r.lastParameter, c.expected.lastParameter);
    EXPECT_EQ(r.firstExtraData, c.expected.firstExtraData);
    EXPECT_EQ(r.lastExtraData, c.expected.lastExtraData);
  }
}

TEST(ZemaxParameterMapping, IndicesReachTheirPositionsAndNothingBeyond) {
  lens::registerArchiveClasses();
  auto cb = lens::Surface::create<lens::CoordinateBreak>();  // six parameters: dx dy rx ry rz order
  EXPECT_EQ(parameterForZemaxParameterIndex(*cb, 1)->title(), "dx");
  EXPECT_EQ(parameterForZemaxParameterIndex(*cb, 6)->title(), "order");
  EXPECT_EQ(parameterForZemaxParameterIndex(*cb, 0), nullptr);  // wraps below the first index
  EXPECT_EQ(parameterForZemaxParameterIndex(*cb, 7), nullptr);
  EXPECT_EQ(parameterIndexForZemaxExtraDataIndex(*cb, 1), 6u);  // right after the parameters
  EXPECT_EQ(parameterForZemaxExtraDataIndex(*cb, 1), nullptr);

  std::vector<std::string> messages;
  MessageSink sink = [&](const std::string& m) { messages.push_back(m); };
  setParameterValueForZemaxParameterIndex(*cb, 3, 45, sink);
  EXPECT_EQ(cb->parameterValue("rx"), 45);
  setParameterValueForZemaxParameterIndex(*cb, 9, 0, sink);
  EXPECT_TRUE(messages.empty()) << "an empty slot is not news";
  setParameterValueForZemaxExtraDataIndex(*cb, 1, 2.5, sink);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("ignoring this nontrivial extra datum"), std::string::npos);

  auto source = lens::Surface::create<lens::CoordinateBreak>();
  setParameterPickupForZemaxParameterIndex(*cb, 2, source, 2, 0.5);
  auto p = cb->parameterForTitle("dy");
  EXPECT_EQ(p->solveType(), lens::Parameter::kPickup);
  EXPECT_EQ(p->solveSurface(), source);
  EXPECT_EQ(p->solveScale(), 2);
  EXPECT_EQ(p->solveOffset(), 0.5);
  setParameterVariableForZemaxParameterIndex(*cb, 42);  // out of range: nothing happens
  EXPECT_EQ(cb->keyPathsForVariables().size(), 0u);

  auto plain = lens::Surface::create();
  EXPECT_EQ(parameterForZemaxParameterIndex(*plain, 1), nullptr);
  plain->setSemidiameterSolveType(lens::Surface::kSemiVariable);
  EXPECT_EQ(zemaxSemidiameterSolveType(*plain), 1);
}

// Zemax's angle field (x, y) has tan x = L/N and tan y = M/N; the lens's angle is the
// angle off the axis, √(x² + y²), turned toward atan2(y, x). Closed forms: (45°, 45°) is
// the direction ∝ (1, 1, 1), atan √2 = 54.735610° off the axis at 45°; (60°, 45°) is
// ∝ (√3, 1, 1), atan 2 = 63.434949° off the axis at 30°; (30°, −30°) is ∝ (1, −1, √3),
// atan √(2/3) = 39.231520° off the axis at −45°. On either axis the two agree.
TEST(ZemaxParameterMapping, AngleFieldsBetweenTangentAnglesAndTheLens) {
  const double degrees = 180 / M_PI;
  const double a = std::atan(std::sqrt(2.0)) * degrees, b = std::atan(2.0) * degrees,
               c = std::atan(std::sqrt(2.0 / 3)) * degrees;
  struct Case {
    const char* name;
    AngleField file, lens;
  };
  const std::vector<Case> cases = {
      {"diagonal", {45, 45}, {a / std::sqrt(2.0), a / std::sqrt(2.0)}},
      {"sixty-forty-five", {60, 45}, {b * std::sqrt(3.0) / 2, b / 2}},
      {"thirty-minus-thirty", {30, -30}, {c / std::sqrt(2.0), -c / std::sqrt(2.0)}},
      {"y-axis", {0, 17.5}, {0, 17.5}},
      {"x-axis", {-80, 0}, {-80, 0}},
      {"centre", {0, 0}, {0, 0}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const AngleField lens = lensAngleFieldFromTangentAngles(k.file);
    EXPECT_NEAR(lens.x, k.lens.x, 1e-12);
    EXPECT_NEAR(lens.y, k.lens.y, 1e-12);
    const AngleField file = tangentAnglesFromLensAngleField(k.lens);
    EXPECT_NEAR(file.x, k.file.x, 1e-12);
    EXPECT_NEAR(file.y, k.file.y, 1e-12);
  }
  // Each undoes the other over the field angles a lens has.
  for (const AngleField p : {AngleField{1e-6, 2e-6}, AngleField{-3, 4}, AngleField{20, -35}, AngleField{-50, -30},
                             AngleField{5, 70}}) {
    SCOPED_TRACE(testing::Message() << p.x << ", " << p.y);
    const AngleField there = tangentAnglesFromLensAngleField(lensAngleFieldFromTangentAngles(p));
    EXPECT_NEAR(there.x, p.x, 1e-12);
    EXPECT_NEAR(there.y, p.y, 1e-12);
    const AngleField back = lensAngleFieldFromTangentAngles(tangentAnglesFromLensAngleField(p));
    EXPECT_NEAR(back.x, p.x, 1e-12);
    EXPECT_NEAR(back.y, p.y, 1e-12);
  }
}

}  // namespace
}  // namespace orb::interchange
