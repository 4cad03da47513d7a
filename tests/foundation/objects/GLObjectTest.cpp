#include "foundation/objects/GLObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace orb::foundation {
namespace {

struct Pickable : GLObject {
  std::string text;
  explicit Pickable(std::string t = "pickable") : text(std::move(t)) {}
  std::string description() const override { return text; }
};

TEST(GLObjectTest, NamesAreIssuedOnceAndFoundWhileTheOwnerLives) {
  auto a = std::make_shared<Pickable>("a");
  auto b = std::make_shared<Pickable>("b");
  EXPECT_EQ(a->glName(), 0u);
  const auto na = a->nameForOpenGL(a), nb = b->nameForOpenGL(b);
  EXPECT_NE(na, 0u);
  EXPECT_NE(na, nb);
  EXPECT_EQ(a->nameForOpenGL(a), na) << "a name is kept for the object's life";
  EXPECT_EQ(GLObject::keyForName(na), std::to_string(na));
  EXPECT_EQ(a->keyForNameDictionary(), std::to_string(na));
  ASSERT_TRUE(GLObject::glObjectForName(na));
  EXPECT_EQ(GLObject::glObjectForName(na)->description(), "a");
  EXPECT_EQ(GLObject::glObjectForName(nb).get(), b.get());
  EXPECT_FALSE(GLObject::glObjectForName(0));
  EXPECT_FALSE(GLObject::glObjectForName(nb + 1000000));

  const Pickable copy(*a);
  EXPECT_EQ(copy.glName(), 0u) << "a copy is a new object";
}

TEST(GLObjectTest, FreedObjectsAreNeverReturned) {
  auto a = std::make_shared<Pickable>();
  const auto name = a->nameForOpenGL(a);
  auto held = GLObject::glObjectForName(name);
  a.reset();
  ASSERT_TRUE(held) << "an answer keeps the object alive";
  EXPECT_EQ(held->description(), "pickable");
  held.reset();
  EXPECT_FALSE(GLObject::glObjectForName(name));

  // Objects living in an array owned elsewhere (rays) go with the array.
  auto array = std::make_shared<std::vector<Pickable>>(3);
  std::vector<std::uint32_t> names;
  for (const Pickable& p : *array) names.push_back(p.nameForOpenGL(array));
  for (auto n : names) EXPECT_TRUE(GLObject::glObjectForName(n));
  array.reset();
  for (auto n : names) EXPECT_FALSE(GLObject::glObjectForName(n));
}

TEST(GLObjectTest, TheCounterSkipsZeroWhenItWraps) {
  GLObject::setLastNameForTesting(0xFFFFFFFEu);
  auto a = std::make_shared<Pickable>(), b = std::make_shared<Pickable>();
  EXPECT_EQ(a->nameForOpenGL(a), 0xFFFFFFFFu);
  EXPECT_EQ(b->nameForOpenGL(b), 1u);
  EXPECT_EQ(GLObject::glObjectForName(1).get(), b.get());
}

TEST(GLObjectTest, ReleaseOnAnotherThreadWhileLookingUpNeverYieldsAFreedObject) {
  std::atomic<bool> done{false};
  std::atomic<std::uint32_t> current{0};
  std::thread releaser([&] {
    for (int i = 0; i < 20000; ++i) {
      auto p = std::make_shared<Pickable>("alive");
      current = p->nameForOpenGL(p);
    }
    done = true;
  });
  int found = 0;
  while (!done) {
    if (auto o = GLObject::glObjectForName(current)) {
      ASSERT_EQ(o->description(), "alive");
      ++found;
    }
  }
  releaser.join();
  SUCCEED() << found << " lookups found a live object";
}

}  // namespace
}  // namespace orb::foundation
