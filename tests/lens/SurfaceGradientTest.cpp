#include "lens/SurfaceGradient.h"

#include <gtest/gtest.h>

#include <cmath>

#include "lens/ArchiveClasses.h"
#include "lens/SurfaceTypeRegistry.h"
#include "materials/GrinDispersion.h"
#include "materials/Medium2.h"
#include "materials/Medium5.h"
#include "materials/ZemaxGlass.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb;
using namespace orb::lens;

namespace {

class GradientSurfaces : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { registerArchiveClasses(); }
};

TEST_F(GradientSurfaces, RegisteredUnderBothNamesWithTheirParametersButNotInTheMenu) {
  struct Case {
    const char *name, *zemax;
    std::vector<std::string> titles;
    std::vector<std::pair<std::string, double>> defaults;
  };
  const Case cases[] = {
      {"Gradient 2", "GRINSUR2", {"dt", "n0", "nr2", "nr4", "nr6", "nr8", "nr10", "nr12"},
       {{"dt", 0.1}, {"n0", 1.5}, {"nr2", 0.001}, {"nr4", 0}}},
      {"Gradient 5", "GRINSUR5", {"dt", "n0", "nr2", "nr4", "nz1", "nz2", "nz3", "nz4"},
       {{"dt", 0.1}, {"n0", 1.5}, {"nz1", 0.001}, {"nr2", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* key : {c.name, c.zemax}) {
      auto s = SurfaceTypeRegistry::shared().surfaceOfType(key);
      EXPECT_EQ(s->type(), c.name);
      EXPECT_EQ(s->zemaxType(), c.zemax);
      EXPECT_EQ(s->parameterTitleArray(), c.titles);
      for (const auto& [title, value] : c.defaults) EXPECT_EQ(s->parameterValue(title).value_or(-1), value) << title;
      EXPECT_FALSE(s->precedesAmbient());
      EXPECT_FALSE(s->canEditThicknessSolveType());
      EXPECT_FALSE(s->canEditGlassSolveType());
    }
    const auto& menu = SurfaceTypeRegistry::types();
    EXPECT_EQ(std::find(menu.begin(), menu.end(), c.name), menu.end());
  }
}

TEST_F(GradientSurfaces, MediaAreMadeFromTheParametersInOrder) {
  auto g2 = SurfaceTypeRegistry::shared().surfaceOfType("Gradient 2");
  const char* t2[] = {"n0", "nr2", "nr4", "nr6", "nr8", "nr10", "nr12"};
  for (int i = 0; i < 7; ++i) g2->setValueForKey(t2[i], 1.0 + i);
  g2->setValueForKey("dt", 0.25);
  auto m2 = std::dynamic_pointer_cast<materials::Medium2>(g2->medium());
  ASSERT_TRUE(m2);
  EXPECT_EQ(m2->coefficients(), (materials::Medium2::Coefficients{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(m2->integrationStep(), 0.25);

  auto g5 = SurfaceTypeRegistry::shared().surfaceOfType("Gradient 5");
  const char* t5[] = {"n0", "nr2", "nr4", "nz1", "nz2", "nz3", "nz4"};
  for (int i = 0; i < 7; ++i) g5->setValueForKey(t5[i], 1.0 + i);
  g5->setSemidiameter(2.5);
  auto m5 = std::dynamic_pointer_cast<materials::Medium5>(g5->medium());
  ASSERT_TRUE(m5);
  EXPECT_EQ(m5->coefficients(), (materials::Medium5::Coefficients{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(m5->bounceRadius(), 2.5);
  EXPECT_EQ(m5->grinDispersion(), nullptr);
  // A new semidiameter is a new wall.
  g5->setSemidiameter(3);
  EXPECT_EQ(std::dynamic_pointer_cast<materials::Medium5>(g5->medium())->bounceRadius(), 3);
}

TEST_F(GradientSurfaces, GlassRulesAndTexts) {
  auto g2 = SurfaceTypeRegistry::shared().surfaceOfType("Gradient 2");
  EXPECT_EQ(g2->glassDescription(), "No glass allowed");
  EXPECT_EQ(g2->glassName(), "-");
  EXPECT_TRUE(g2->glassIsGood());
  EXPECT_FALSE(g2->canEditGlass());

  auto g5 = SurfaceTypeRegistry::shared().surfaceOfType("Gradient 5");
  EXPECT_TRUE(g5->canEditGlass());
  EXPECT_EQ(g5->glassDescription(), "Dispersionless");
  EXPECT_TRUE(g5->glassIsGood());
  g5->setGlass(materials::ZemaxGlass::glassWithName("N-BK7"));
  EXPECT_EQ(g5->glassDescription(), "Gradient 5 must use a GRIN dispersion glass");
  EXPECT_FALSE(g5->glassIsGood());
  auto dispersion = platform::makeObject<materials::GrinDispersion>();
  g5->setGlass(dispersion);
  EXPECT_TRUE(g5->glassIsGood());
  auto m5 = std::dynamic_pointer_cast<materials::Medium5>(g5->medium());
  ASSERT_TRUE(m5);
  EXPECT_EQ(m5->grinDispersion(), dispersion);

  std::string seidel;
  g5->appendSeidelToString(seidel);
  EXPECT_NE(seidel.find("GRADIENT SURFACE SEIDEL NYI  "), std::string::npos);
  EXPECT_EQ(seidel.back(), '\n');
}

TEST_F(GradientSurfaces, ArchiveKeepsTheTypeAndParameters) {
  auto g = SurfaceTypeRegistry::shared().surfaceOfType("Gradient 2");
  g->setValueForKey("nr2", -0.1);
  const auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(g));
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<Surface>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->type(), "Gradient 2");
  EXPECT_EQ(back->parameterValue("nr2"), -0.1);
  EXPECT_NEAR(back->medium()->indexOfRefractionAtWaveGlobalCoordinate(0.55, {1, 0, 0}), std::sqrt(2.15), 1e-15);
}

}  // namespace
