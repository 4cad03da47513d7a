#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "InterchangeTestSupport.h"
#include "interchange/TiltedTelescopeReader.h"

namespace orb::interchange::test {

namespace {
std::vector<std::shared_ptr<lens::Surface>> surfacesOf(const platform::Dictionary& d) {
  return objectsUnder(d, "surfaceArray");
}
}  // namespace

// The hand-made file: N = 2 announces three surface lines; the columns are radius,
// thickness, tilt, conic, rTan, coma, lineComa; the divergence type is always 0.
TEST(TiltedTelescopeReader, FileColumnsLandWhereTheyBelong) {
  std::ifstream in(lensFilePath("fixtures/telescope.txt"));
  std::stringstream text;
  text << in.rdbuf();
  const auto d = readTiltedTelescopeString(text.str());
  EXPECT_EQ(d.get("systemName").asString(), "Two-mirror tilted telescope");
  EXPECT_EQ(d.get("sourceDivergenceType").asDouble(), 0);
  EXPECT_EQ(d.get("sourceDivergenceValue").asDouble(), 0.05);
  EXPECT_EQ(d.get("unitCode").asString(), "mm");
  const auto s = surfacesOf(d);
  ASSERT_EQ(s.size(), 3u);
  EXPECT_DOUBLE_EQ(s[0]->curvature(), -1 / 2000.0);
  EXPECT_EQ(s[0]->thickness(), -800);
  EXPECT_EQ(s[0]->conicConstant(), -1.1);  // the fourth column, not the third
  EXPECT_EQ(s[1]->conicConstant(), -3.2);
  EXPECT_EQ(s[2]->curvature(), 0);
  const auto terms = d.get("componentTermArray").asArray();
  ASSERT_EQ(terms.size(), 3u);
  const auto& second = terms[1].asDictionary();
  EXPECT_EQ(second.get("tilt").asDouble(), -2.5);
  EXPECT_EQ(second.get("rTan").asDouble(), -690);
  EXPECT_EQ(second.get("coma").asDouble(), 0.03);
  EXPECT_EQ(second.get("lineComa").asDouble(), 0.04);
}

TEST(TiltedTelescopeReader, CountsAndShortTexts) {
  struct Case {
    const char* text;
    std::size_t surfaces;
  };
  const Case cases[] = {
      {"One\n0\n1 2\nU in\n100 5 0 0 0 0 0\n", 1},        // N = 0: one surface
      {"Neg\n-3\n1 2\nU in\n100 5 0 0 0 0 0\n", 0},       // negative N: none
      {"Short\n5\n1 2\nU in\n100 5 0 0 0 0 0\n", 1},      // fewer lines than announced
      {"Huge\n2000000000\n1\nU in\n", 0},                 // a count no text can hold
      {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto d = readTiltedTelescopeString(c.text);
    EXPECT_EQ(surfacesOf(d).size(), c.surfaces);
  }
  const auto negative = readTiltedTelescopeString("Neg\n-3\n7.5 2\nU in\n");
  EXPECT_EQ(negative.get("systemName").asString(), "Neg");
  EXPECT_EQ(negative.get("sourceDivergenceValue").asDouble(), 7.5);
  EXPECT_EQ(negative.get("unitCode").asString(), "in");
  // A number that does not read keeps the value of the surface before.
  const auto kept = surfacesOf(readTiltedTelescopeString("K\n1\n1 2\nU in\n100 5 0 -2 0 0 0\n200 x\n"));
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_DOUBLE_EQ(kept[1]->curvature(), 1 / 200.0);
  EXPECT_EQ(kept[1]->thickness(), 5);
  EXPECT_EQ(kept[1]->conicConstant(), -2);
}

}  // namespace orb::interchange::test
