#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Object.h"

using namespace orb::platform;

namespace {

class Part : public Object {
 public:
  double m_thickness = 1;
  double m_curvature = 0;
  std::shared_ptr<Part> m_next;

  double power() const { return m_curvature * 0.5; }

  const KeyTable& keys() const override { return classKeys(); }
  static const KeyTable& classKeys() {
    static const KeyTable table(&Object::classKeys(),
                                {
                                    Keys<Part>::field("thickness", &Part::m_thickness),
                                    Keys<Part>::field("curvature", &Part::m_curvature),
                                    Keys<Part>::field("next", &Part::m_next),
                                    Keys<Part>::getter("power", &Part::power).dependsOn({"curvature"}),
                                    // A summary key: nil-valued, changes with every model key.
                                    KeyEntry{.key = "anyChange", .get = [](const Object&) { return Value(); }}
                                        .dependsOnEveryKey(),
                                });
    return table;
  }
};

}  // namespace

TEST(KeyValueObserving, EachChangeArrivesOnceWithOldAndNewValues) {
  auto p = makeObject<Part>();
  std::vector<std::pair<double, double>> seen;
  auto obs = p->addObserver(
      "thickness", [&](const ObservedChange& c) { seen.emplace_back(c.oldValue.asDouble(), c.newValue.asDouble()); },
      ObservingOptions::Old | ObservingOptions::New);
  p->setValueForKey("thickness", 2.0);
  p->setValueForKey("thickness", 3.0);
  p->setValueForKey("curvature", 0.1);  // another key: not seen
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(1.0, 2.0));
  EXPECT_EQ(seen[1], std::make_pair(2.0, 3.0));
  obs.remove();
  p->setValueForKey("thickness", 4.0);
  EXPECT_EQ(seen.size(), 2u);
}

TEST(KeyValueObserving, DependentAndSummaryKeysFire) {
  auto p = makeObject<Part>();
  int power = 0, summary = 0;
  auto a = p->addObserver("power", [&](const ObservedChange& c) {
    ++power;
    EXPECT_DOUBLE_EQ(c.newValue.asDouble(), 0.25);
  });
  auto b = p->addObserver("anyChange", [&](const ObservedChange&) { ++summary; });
  p->setValueForKey("curvature", 0.5);
  p->setValueForKey("thickness", 5.0);
  p->willChangeValueForKey("computedElsewhere");  // keys outside the table count too
  p->didChangeValueForKey("computedElsewhere");
  EXPECT_EQ(power, 1);
  EXPECT_EQ(summary, 3);
}

TEST(KeyValueObserving, KeyPathFollowsReplacedChildren) {
  auto root = makeObject<Part>();
  auto first = makeObject<Part>();
  root->setValueForKey("next", first);
  std::vector<double> seen;
  auto obs = root->addObserver("next.thickness", [&](const ObservedChange& c) { seen.push_back(c.newValue.asDouble()); });
  first->setValueForKey("thickness", 2.0);
  auto second = makeObject<Part>();
  second->m_thickness = 9;
  root->setValueForKey("next", second);  // the path's value changes: 2 -> 9
  first->setValueForKey("thickness", 3.0);  // no longer on the path
  second->setValueForKey("thickness", 10.0);
  EXPECT_EQ(seen, (std::vector<double>{2.0, 9.0, 10.0}));
}

TEST(KeyValueObserving, RemovalDuringDeliveryIsSafe) {
  auto p = makeObject<Part>();
  int firstCalls = 0, secondCalls = 0;
  Observation second;
  Observation first = p->addObserver("thickness", [&](const ObservedChange&) {
    ++firstCalls;
    first.remove();   // removes itself
    second.remove();  // and another observer due in the same delivery
  });
  second = p->addObserver("thickness", [&](const ObservedChange&) { ++secondCalls; });
  p->setValueForKey("thickness", 2.0);
  p->setValueForKey("thickness", 3.0);
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 0);
}

TEST(KeyValueObserving, ObservationOutlivingItsObjectIsHarmless) {
  Observation obs;
  {
    auto p = makeObject<Part>();
    obs = p->addObserver("thickness", [](const ObservedChange&) {});
  }
  obs.remove();
  SUCCEED();
}

// An observation removed on one thread while another thread is inside its observer: the
// removal waits for that call to end (the owner may free what the observer uses next),
// and no call starts after it. An observer may also remove its own observation.
TEST(KeyValueObserving, RemovalWaitsForACallInProgressOnAnotherThread) {
  auto p = makeObject<Part>();
  std::atomic<bool> inside{false}, release{false}, finished{false};
  std::atomic<int> calls{0};
  Observation obs = p->addObserver("thickness", [&](const ObservedChange&) {
    ++calls;
    inside = true;
    while (!release) std::this_thread::yield();
    finished = true;
  });
  std::thread worker([&] { p->setValueForKey("thickness", 2.0); });
  while (!inside) std::this_thread::yield();
  std::atomic<bool> removed{false};
  std::thread remover([&] {
    obs.remove();
    removed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(removed) << "removed while the observer was still running";
  release = true;
  remover.join();
  worker.join();
  EXPECT_TRUE(finished);
  p->setValueForKey("thickness", 3.0);
  EXPECT_EQ(calls, 1);

  Observation self;
  int selfCalls = 0;
  self = p->addObserver("thickness", [&](const ObservedChange&) {
    ++selfCalls;
    self.remove();
  });
  p->setValueForKey("thickness", 4.0);
  p->setValueForKey("thickness", 5.0);
  EXPECT_EQ(selfCalls, 1);
}
