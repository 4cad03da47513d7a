#include <gtest/gtest.h>

#include <cstdlib>

#include "foundation/objects/OBObject.h"
#include "foundation/objects/VKColoredObject.h"
#include "platform/Color.h"

using namespace orb::foundation;
using orb::platform::Color;
using orb::platform::Dictionary;
using orb::platform::Exception;
using orb::platform::makeObject;
using orb::platform::Value;

namespace {

/// Records what its tear-down saw, the way a lens stops observing in its last release.
class TearDownProbe : public VKObject {
 public:
  explicit TearDownProbe(bool* sawDeallocating) : m_saw(sawDeallocating) {}

 protected:
  void willDeallocate() override { *m_saw = deallocating(); }

 private:
  bool* m_saw;
};

}  // namespace

TEST(VKObject, OnlyTheLastReleaseMarksDeallocating) {
  bool sawDeallocating = false;
  auto a = makeObject<TearDownProbe>(&sawDeallocating);
  auto b = a;
  auto ref = a->reference();
  a.reset();
  EXPECT_FALSE(b->deallocating());
  EXPECT_TRUE(ref.isAlive());
  b.reset();
  EXPECT_TRUE(sawDeallocating);
  EXPECT_FALSE(ref.isAlive());
  EXPECT_EQ(ref.lock(), nullptr);
}

TEST(OBObject, ReferenceIsStableWeakAndComparable) {
  auto a = makeObject<OBObject>();
  auto b = makeObject<OBObject>();
  EXPECT_EQ(a->reference(), a->reference());
  EXPECT_NE(a->reference(), b->reference());
  EXPECT_EQ(Value(a->reference()).hash(), Value(a->reference()).hash());
  Dictionary byReference{{a->reference(), "a"}, {b->reference(), "b"}};
  EXPECT_EQ(byReference.get(a->reference()).asString(), "a");
  // The reference does not keep its object alive.
  auto ref = a->reference();
  std::weak_ptr<OBObject> weak = a;
  a.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(ref.isAlive());
  EXPECT_EQ(ref.get(), nullptr);
}

TEST(OBObject, EmptyKeyRaisesUndefinedKeyException) {
  auto a = makeObject<OBObject>();
  try {
    a->valueForKey("");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), "NSUnknownKeyException");
  }
}

TEST(VKColoredObject, FirstObjectOfTheProcessIsNumberOne) {
  // A fresh process is needed to see the counter's starting value.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        VKColoredObject first;
        VKColoredObject second;
        std::exit(first.colorNumber() == 1 && second.colorNumber() == 2 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(VKColoredObject, SetColorNumberRaisesTheCounterButNeverLowersIt) {
  VKColoredObject a;
  const std::uint64_t high = a.colorNumber() + 10;
  a.setColorNumber(high);
  VKColoredObject next;
  EXPECT_EQ(next.colorNumber(), high + 1);
  a.setColorNumber(3);
  EXPECT_EQ(a.colorNumber(), 3u);
  VKColoredObject later;
  EXPECT_EQ(later.colorNumber(), high + 2);
  // A copy keeps its source's number, so one entry recolours both.
  VKColoredObject copy;
  copy.setColorNumber(next.colorNumber());
  auto red = Color::make(1, 0, 0);
  Dictionary colors{{next.colorNumber(), red}};
  next.updateColorWithDictionary(colors);
  copy.updateColorWithDictionary(colors);
  EXPECT_EQ(next.color(), red);
  EXPECT_EQ(copy.color(), red);
}

TEST(VKColoredObject, UpdateColorIgnoresMissingNilAndTheColourAlreadyHeld) {
  auto o = makeObject<VKColoredObject>();
  auto blue = Color::make(0, 0, 1);
  o->setColor(blue);
  int changes = 0;
  auto watch = o->addObserver("color", [&](const auto&) { ++changes; });

  o->updateColorWithDictionary(Dictionary{{o->colorNumber() + 1, Color::make(1, 0, 0)}});
  o->updateColorWithDictionary(Dictionary{{o->colorNumber(), Value()}});
  o->updateColorWithDictionary(Dictionary{{o->colorNumber(), blue}});
  EXPECT_EQ(o->color(), blue);
  EXPECT_EQ(changes, 0);

  auto green = Color::make(0, 1, 0);
  o->updateColorWithDictionary(Dictionary{{o->colorNumber(), green}});
  EXPECT_EQ(o->color(), green);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(o->valueForKey("colorNumber").asInt(), static_cast<std::int64_t>(o->colorNumber()));
}
