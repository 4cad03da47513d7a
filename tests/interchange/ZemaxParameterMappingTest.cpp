#include "interchange/ZemaxParameterMapping.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orb::interchange
