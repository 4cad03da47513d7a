#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/NotificationQueue.h"
#include "platform/Object.h"
#include "platform/RunLoop.h"

using namespace orb::platform;

namespace {

/// A private center, queue and loop per test, so nothing leaks between tests.
struct Fixture : ::testing::Test {
  NotificationCenter center;
  RunLoop loop;
  NotificationQueue queue{center, loop};
  std::vector<std::string> delivered;  // "name@sender"
  std::vector<Observation> observations;

  void record(const std::string& name, Value sender = {}) {
    observations.push_back(center.addObserver(name, std::move(sender), [this](const Notification& n) {
      std::string who = n.object.isNil() ? "-" : n.object.kind() == Value::Kind::String ? n.object.asString() : "ref";
      delivered.push_back(n.name + "@" + who);
    }));
  }
};

using NotificationCenterTest = Fixture;
using NotificationQueueTest = Fixture;

}  // namespace

TEST_F(NotificationCenterTest, ObserversFilterByNameAndSender) {
  auto lensA = makeObject<Object>();
  auto lensB = makeObject<Object>();
  int fromA = 0, anyChange = 0, everything = 0;
  auto o1 = center.addObserver("lensChangedNotification", lensA->reference(), [&](const Notification&) { ++fromA; });
  auto o2 = center.addObserver("lensChangedNotification", {}, [&](const Notification&) { ++anyChange; });
  auto o3 = center.addObserver("", {}, [&](const Notification&) { ++everything; });
  center.post("lensChangedNotification", lensA->reference());
  center.post("lensChangedNotification", lensB->reference());
  center.post("workDoneNotification", lensA->reference());
  EXPECT_EQ(fromA, 1);
  EXPECT_EQ(anyChange, 2);
  EXPECT_EQ(everything, 3);
  o1.remove();
  center.post("lensChangedNotification", lensA->reference());
  EXPECT_EQ(fromA, 1);
}

TEST_F(NotificationQueueTest, PostingStylesAndCoalescing) {
  record("");
  for (int i = 0; i < 10; ++i) queue.enqueue({"changed", "A"}, PostingStyle::ASAP);
  queue.enqueue({"changed", "B"}, PostingStyle::ASAP);
  queue.enqueue({"tidy", "A"}, PostingStyle::WhenIdle);
  loop.perform([this] { delivered.push_back("work"); });
  EXPECT_TRUE(delivered.empty());  // nothing before the loop runs

  queue.enqueue({"now", "A"}, PostingStyle::Now);
  EXPECT_EQ(delivered, (std::vector<std::string>{"now@A"}));  // at once

  loop.runUntilIdle();
  EXPECT_EQ(delivered, (std::vector<std::string>{"now@A", "work", "changed@A", "changed@B", "tidy@A"}));
}

TEST_F(NotificationQueueTest, CoalescingByNameOnlyMergesSenders) {
  record("");
  queue.enqueue({"changed", "A"}, PostingStyle::ASAP, Coalescing::OnName);
  queue.enqueue({"changed", "B"}, PostingStyle::ASAP, Coalescing::OnName);
  queue.enqueue({"changed", "C"}, PostingStyle::ASAP, Coalescing::None);
  queue.enqueue({"changed", "C"}, PostingStyle::ASAP, Coalescing::None);
  loop.runUntilIdle();
  EXPECT_EQ(delivered, (std::vector<std::string>{"changed@B", "changed@C", "changed@C"}));
}

TEST_F(NotificationQueueTest, IdlePostsWaitForWorkThatArrivesMeanwhile) {
  record("");
  queue.enqueue({"idle", "A"}, PostingStyle::WhenIdle);
  loop.perform([this] {
    delivered.push_back("work");
    loop.perform([this] { delivered.push_back("more work"); });
  });
  loop.runUntilIdle();
  EXPECT_EQ(delivered, (std::vector<std::string>{"work", "more work", "idle@A"}));
}

TEST_F(NotificationQueueTest, NotificationOfAGoneSenderIsDropped) {
  record("");
  auto lens = makeObject<Object>();
  auto survivor = makeObject<Object>();
  queue.enqueue({"lensChangedNotification", lens->reference()}, PostingStyle::ASAP);
  queue.enqueue({"lensChangedNotification", survivor->reference()}, PostingStyle::ASAP);
  lens.reset();
  loop.runUntilIdle();
  EXPECT_EQ(delivered, (std::vector<std::string>{"lensChangedNotification@ref"}));
}

TEST_F(NotificationQueueTest, ObserverMayRemoveAnotherDuringDelivery) {
  Observation second;
  int secondCalls = 0;
  auto first = center.addObserver("n", {}, [&](const Notification&) { second.remove(); });
  second = center.addObserver("n", {}, [&](const Notification&) { ++secondCalls; });
  center.post("n");
  EXPECT_EQ(secondCalls, 0);
}

TEST(RunLoopTest, WakeUpHandlerHearsOfNewWorkFromAnyThread) {
  RunLoop loop;
  int wakeUps = 0;
  loop.setWakeUpHandler([&] { ++wakeUps; });
  loop.perform([] {});
  loop.perform([] {});  // already pending: no second wake-up
  EXPECT_EQ(wakeUps, 1);
  EXPECT_TRUE(loop.hasPendingWork());
  loop.runUntilIdle();
  EXPECT_FALSE(loop.hasPendingWork());
}
