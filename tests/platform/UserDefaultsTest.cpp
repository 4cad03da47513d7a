#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/PropertyList.h"
#include "platform/Resources.h"

using namespace orb::platform;
namespace fs = std::filesystem;

namespace {

struct UserDefaultsTest : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("orb-defaults-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::shared_ptr<UserDefaults> open() { return makeObject<UserDefaults>(dir.string()); }
};

}  // namespace

TEST_F(UserDefaultsTest, UserValuesOverrideFactoryValuesAndSurviveARestart) {
  {
    auto d = open();
    d->registerDefaults(Dictionary{{"numberOfUndoLevels", 50}, {"oStandardError", 1e-6}});
    EXPECT_EQ(d->integerForKey("numberOfUndoLevels"), 50);
    d->setObject("numberOfUndoLevels", 10);
    d->registerDefaults(Dictionary{{"numberOfUndoLevels", 99}});  // never overrides the user
    EXPECT_EQ(d->integerForKey("numberOfUndoLevels"), 10);
  }
  auto again = open();  // a new instance on the same directory, as after a restart
  EXPECT_EQ(again->integerForKey("numberOfUndoLevels"), 10);
  EXPECT_TRUE(again->objectForKey("oStandardError").isNil());  // factory values are not persisted
  again->registerDefaults(Dictionary{{"numberOfUndoLevels", 50}});
  again->removeObject("numberOfUndoLevels");
  EXPECT_EQ(again->integerForKey("numberOfUndoLevels"), 50);
}

TEST_F(UserDefaultsTest, TypedGettersConvertAndDefault) {
  auto d = open();
  d->registerDefaults(Dictionary{{"flag", "YES"}, {"text", "1.5"}, {"n", 3}, {"list", Array{1, 2}}});
  EXPECT_TRUE(d->boolForKey("flag"));
  EXPECT_DOUBLE_EQ(d->doubleForKey("text"), 1.5);
  EXPECT_EQ(d->stringForKey("n"), "3");
  EXPECT_EQ(d->arrayForKey("list").size(), 2u);
  EXPECT_EQ(d->doubleForKey("absent"), 0.0);
  EXPECT_FALSE(d->boolForKey("absent"));
  EXPECT_TRUE(d->dictionaryForKey("list").empty());
}

TEST_F(UserDefaultsTest, ObserversHearChangesOfTheirKey) {
  auto d = open();
  d->registerDefaults(Dictionary{{"rayAcquisitionTolerance", 1e-4}});
  std::vector<double> seen;
  auto obs = d->addObserver("rayAcquisitionTolerance", [&](const ObservedChange& c) { seen.push_back(c.newValue.asDouble()); });
  d->setObject("rayAcquisitionTolerance", 1e-6);
  d->setObject("somethingElse", 1);
  d->setValueForKey("rayAcquisitionTolerance", 1e-5);  // key-value coding reaches the same store
  EXPECT_EQ(seen, (std::vector<double>{1e-6, 1e-5}));
}

TEST_F(UserDefaultsTest, ColoursAreStoredAsData) {
  auto d = open();
  d->setColor(Color::make(0.29, 0.58, 0.73), "OpenGL clearColor");
  EXPECT_EQ(d->objectForKey("OpenGL clearColor").kind(), Value::Kind::Data);
  auto back = open()->colorForKey("OpenGL clearColor");
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isEqualTo(*Color::make(0.29, 0.58, 0.73)));
  EXPECT_EQ(d->colorForKey("absent"), nullptr);
}

TEST_F(UserDefaultsTest, BadValuesAndDamagedFilesNeverCostTheGoodFile) {
  auto d = open();
  d->setObject("kept", "yes");
  EXPECT_THROW(d->setObject("bad", Value(d->reference())), Exception);
  EXPECT_EQ(open()->stringForKey("kept"), "yes");

  // A damaged file is reported and ignored, not fatal.
  { std::ofstream(d->path(), std::ios::trunc) << "<?xml version=\"1.0\"?><plist><dict><key>cut"; }
  auto fresh = open();
  EXPECT_TRUE(fresh->objectForKey("kept").isNil());
  fresh->setObject("kept", "again");
  EXPECT_EQ(open()->stringForKey("kept"), "again");
}

TEST(FactoryDefaults, TheResourceFileRegisters) {
  auto path = resources::pathFor("UserDefaults", "plist");
  ASSERT_TRUE(path) << "resources/UserDefaults.plist not found";
  auto d = makeObject<UserDefaults>((fs::temp_directory_path() / "orb-factory-unused").string());
  ASSERT_TRUE(d->registerDefaultsFromResource());
  EXPECT_GT(d->integerForKey("numberOfUndoLevels"), 0);
  EXPECT_GT(d->doubleForKey("rayAcquisitionTolerance"), 0.0);
  EXPECT_TRUE(std::isinf(d->doubleForKey("oUniverseRadius")));
}
