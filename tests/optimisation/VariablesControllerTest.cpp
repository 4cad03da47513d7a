#include "optimisation/VariablesController.h"

#include <gtest/gtest.h>

#include "OptimisationTestSupport.h"
#include "lens/Surface.h"

namespace orb::optimisation {
namespace {

using testing::TempDefaults;

VariableDescriptorPtr descriptorFor(const VariablesController& c, const std::string& keyPath) {
  for (const auto& d : c.arrayOfVariableDescriptors())
    if (d->keyPath() == keyPath) return d;
  return nullptr;
}

TEST(VariablesControllerTest, DescriptorsFollowTheLensVariables) {
  TempDefaults defaults;
  auto lens = testing::singletLens(0.01, true, true, -0.005);
  auto c = VariablesController::create(*defaults);
  c->setLens(lens);
  ASSERT_EQ(c->arrayOfVariableDescriptors().size(), 2u);
  auto d = descriptorFor(*c, "s1.curvature");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->value(), 0.01);
  EXPECT_EQ(d->nominalValue(), 0.01);
  EXPECT_EQ(d->scale(), 0.01);  // nothing remembered anywhere
  EXPECT_EQ(d->minimum(), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(d->enabled());
  EXPECT_EQ(descriptorFor(*c, "s2.curvature")->value(), -0.005);

  // An edit reaches the lens at once.
  d->setValue(0.012);
  EXPECT_EQ(testing::curvatureOf(*lens, 1), 0.012);
  d->setEnabled(false);
  EXPECT_EQ(c->enabledVariables().size(), 1u);
}

TEST(VariablesControllerTest, FocusIsIncludedOnce) {
  TempDefaults defaults;
  auto lens = testing::singletLens(0.01);
  auto c = VariablesController::create(*defaults);
  c->setLens(lens);
  c->setIncludeFocus(true);
  ASSERT_TRUE(lens->focusKeyPath().has_value());
  EXPECT_TRUE(descriptorFor(*c, *lens->focusKeyPath()));
  EXPECT_EQ(c->arrayOfVariableDescriptors().size(), 2u);
  lens->surfaceArray()[2]->setThicknessSolveType(1);  // the lens lists the focus itself now
  c->updateArrayOfVariableDescriptors();
  EXPECT_EQ(c->arrayOfVariableDescriptors().size(), 2u);
}

TEST(VariablesControllerTest, RemembersSettingsAcrossRemovalAndRename) {
  TempDefaults defaults;
  auto lens = testing::singletLens(0.01);
  auto c = VariablesController::create(*defaults);
  c->setLens(lens);
  auto d = descriptorFor(*c, "s1.curvature");
  d->setScale(0.2);
  d->setMinimum(-1);
  d->setMaximum(1);
  d->setEnabled(false);

  lens->surfaceArray()[1]->setCurvatureSolveType(0);
  c->updateArrayOfVariableDescriptors();
  EXPECT_TRUE(c->arrayOfVariableDescriptors().empty());
  lens->surfaceArray()[1]->setCurvatureSolveType(1);
  c->updateArrayOfVariableDescriptors();
  auto back = descriptorFor(*c, "s1.curvature");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->scale(), 0.2);
  EXPECT_EQ(back->minimum(), -1);
  EXPECT_EQ(back->maximum(), 1);
  EXPECT_FALSE(back->enabled());

  // A surface inserted before s1 renames it to s2; its settings go along.
  c->setLensKeyPathUpdateDictionary(platform::Dictionary{{"s1", "s2"}, {"s10", "s11"}});
  auto renamed = descriptorFor(*c, "s2.curvature");
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->scale(), 0.2);
  EXPECT_FALSE(renamed->enabled());
  ASSERT_TRUE(c->scaleMemory()->entryForKeyPath("s2.curvature").has_value());
}

TEST(VariablesControllerTest, ScalesAreRememberedByLastKeyPathComponent) {
  TempDefaults defaults;
  (*defaults).setObject(kOptimizerScaleDictionaryKey, platform::Dictionary{{"curvature", 0.05}});
  auto lens = testing::singletLens(0.01, true, true);
  auto c = VariablesController::create(*defaults);
  c->setLens(lens);
  EXPECT_EQ(descriptorFor(*c, "s1.curvature")->scale(), 0.05);
  EXPECT_EQ(c->scaleForLastElementOfKeyPath("s7.thickness"), 0.01);

  int writes = 0;
  auto watch = (*defaults).addObserver(kOptimizerScaleDictionaryKey, [&](const platform::ObservedChange&) { ++writes; });
  descriptorFor(*c, "s2.curvature")->setScale(0.05);  // equal to the stored one
  EXPECT_EQ(writes, 0);
  descriptorFor(*c, "s2.curvature")->setScale(0.07);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(c->scaleForLastElementOfKeyPath("s5.curvature"), 0.07);
}

TEST(VariablesControllerTest, SliderPinsAndDeltaWidens) {
  TempDefaults defaults;
  auto lens = testing::singletLens(0.01);
  auto c = VariablesController::create(*defaults);
  c->setLens(lens);
  auto d = descriptorFor(*c, "s1.curvature");
  d->setValue(0.02);
  EXPECT_EQ(d->slider(), 1.0);
  EXPECT_NEAR(*d->delta(), 0.01, 1e-15);
  d->setValue(0.015);
  EXPECT_NEAR(*d->slider(), 0.5, 1e-12);
  EXPECT_NEAR(*d->delta(), 0.01, 1e-15);
  d->setValue(-0.02);
  EXPECT_EQ(d->slider(), -1.0);
  EXPECT_NEAR(*d->delta(), 0.03, 1e-15);
}

}  // namespace
}  // namespace orb::optimisation
