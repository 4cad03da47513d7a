#include "app/tables/ColorThing.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/objects/VKColoredObject.h"
#include "platform/Color.h"
#include "platform/NotificationCenter.h"
#include "platform/Object.h"

namespace orb::app {
namespace {

using foundation::VKColoredObject;

/// The least an array controller is: an object answering "arrangedObjects".
class ArrayController : public platform::Object {
 public:
  platform::Array m_arrangedObjects;

  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys() {
    static const platform::KeyTable table(
        &Object::classKeys(), {platform::Keys<ArrayController>::field("arrangedObjects", &ArrayController::m_arrangedObjects)});
    return table;
  }
};

struct ColorThingTest : ::testing::Test {
  /// A controller arranging `count` fresh coloured objects, all but the last coloured.
  std::shared_ptr<ArrayController> controllerWith(int count) {
    auto controller = platform::makeObject<ArrayController>();
    platform::Array objects;
    for (int i = 0; i < count; ++i) {
      auto o = platform::makeObject<VKColoredObject>();
      if (i + 1 < count) o->setColor(platform::Color::make(0.1 * i, 0.2, 0.3));
      objects.push_back(platform::Value(o));
    }
    controller->setValueForKey("arrangedObjects", objects);
    return controller;
  }
  static std::shared_ptr<VKColoredObject> arranged(const ArrayController& c, std::size_t i) {
    return c.m_arrangedObjects.at(i).asObject<VKColoredObject>();
  }

  void SetUp() override {
    m_posts = platform::NotificationCenter::defaultCenter().addObserver(
        ColorThing::kColorChangedNotification, {}, [this](const platform::Notification& n) { m_seen.push_back(n); });
  }

  std::vector<platform::Notification> m_seen;
  platform::Observation m_posts;
};

TEST_F(ColorThingTest, ColourEditPostsNumberToColourDictionaryOnce) {
  auto controller = controllerWith(3);
  ColorThing thing;
  thing.setArrayController(controller);
  EXPECT_TRUE(m_seen.empty()) << "watching alone posts nothing";

  auto first = arranged(*controller, 0);
  auto copyOfFirst = platform::makeObject<VKColoredObject>();
  copyOfFirst->setColorNumber(first->colorNumber());
  auto red = platform::Color::make(1, 0, 0);
  first->setValueForKey("color", platform::Value(red));

  ASSERT_EQ(m_seen.size(), 1u);
  EXPECT_TRUE(m_seen[0].userInfo.empty());
  const platform::Dictionary& colors = m_seen[0].object.asDictionary();
  ASSERT_EQ(colors.size(), 3u);
  EXPECT_EQ(colors.get(first->colorNumber()).objectIf<platform::Color>(), red);
  EXPECT_EQ(colors.get(arranged(*controller, 1)->colorNumber()).objectIf<platform::Color>(),
            arranged(*controller, 1)->color());
  const platform::Value* uncoloured = colors.find(arranged(*controller, 2)->colorNumber());
  ASSERT_NE(uncoloured, nullptr);
  EXPECT_TRUE(uncoloured->isNil());

  // What receivers do with it: an object of the same number takes the very colour.
  copyOfFirst->updateColorWithDictionary(colors);
  EXPECT_EQ(copyOfFirst->color(), red);
}

TEST_F(ColorThingTest, SameControllerTwiceWatchesOnce) {
  auto controller = controllerWith(2);
  ColorThing thing;
  thing.setArrayController(controller);
  thing.setArrayController(controller);
  arranged(*controller, 1)->setColor(platform::Color::make(0, 0, 1));
  EXPECT_EQ(m_seen.size(), 1u);
}

TEST_F(ColorThingTest, SwitchingControllersStopsWatchingTheOldOne) {
  auto oldController = controllerWith(2);
  auto newController = controllerWith(2);
  ColorThing thing;
  thing.setArrayController(oldController);
  thing.setArrayController(newController);
  EXPECT_EQ(thing.arrayController(), newController);

  arranged(*oldController, 0)->setColor(platform::Color::make(0, 1, 0));
  EXPECT_TRUE(m_seen.empty());

  arranged(*newController, 0)->setColor(platform::Color::make(0, 1, 0));
  ASSERT_EQ(m_seen.size(), 1u);
  EXPECT_TRUE(m_seen[0].object.asDictionary().contains(arranged(*newController, 0)->colorNumber()));

  thing.setArrayController(nullptr);
  arranged(*newController, 1)->setColor(platform::Color::make(0, 1, 0));
  EXPECT_EQ(m_seen.size(), 1u);
}

TEST_F(ColorThingTest, NewlyArrangedObjectsAreWatched) {
  auto controller = controllerWith(1);
  ColorThing thing;
  thing.setArrayController(controller);
  auto added = platform::makeObject<VKColoredObject>();
  platform::Array objects = controller->m_arrangedObjects;
  objects.push_back(platform::Value(added));
  controller->setValueForKey("arrangedObjects", objects);  // the arrangement itself changes colours
  m_seen.clear();
  added->setColor(platform::Color::make(1, 1, 0));
  ASSERT_EQ(m_seen.size(), 1u);
  EXPECT_EQ(m_seen[0].object.asDictionary().size(), 2u);
}

}  // namespace
}  // namespace orb::app
