#include "app/QtRunLoopDriver.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationQueue.h"
#include "platform/RunLoop.h"

namespace orb::app {
namespace {

using platform::Notification;
using platform::NotificationQueue;
using platform::PostingStyle;

TEST(QtRunLoopDriver, WorkerResultReachesTheMainThreadWhileQtLoopRuns) {
  const auto mainThread = std::this_thread::get_id();
  std::thread::id ranOn;
  QEventLoop loop;
  QTimer guard;  // hang guard only
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
  guard.start(60'000);
  std::thread worker([&] {
    platform::performOnMainThread([&] {
      ranOn = std::this_thread::get_id();
      loop.exit(0);
    });
  });
  EXPECT_EQ(loop.exec(), 0);
  worker.join();
  EXPECT_EQ(ranOn, mainThread);
}

// A chain of work that keeps re-queuing itself, as-soon-as-possible notifications posted
// along the way, and a when-idle notification queued first: the idle one must wait for
// all of it, and each ASAP notification goes out before the chain's next step.
TEST(QtRunLoopDriver, AsSoonAsPossibleBeforeIdleAndIdleOnlyWhenNothingElsePends) {
  std::vector<std::string> events;
  auto& center = platform::NotificationCenter::defaultCenter();
  auto asap = center.addObserver("driverTestASAP", {}, [&](const Notification&) { events.push_back("asap"); });
  auto idle = center.addObserver("driverTestIdle", {}, [&](const Notification&) { events.push_back("idle"); });

  auto& queue = NotificationQueue::defaultQueue();
  queue.enqueue(Notification("driverTestIdle"), PostingStyle::WhenIdle);
  std::function<void(int)> step = [&](int k) {
    events.push_back("work " + std::to_string(k));
    if (k == 1) queue.enqueue(Notification("driverTestASAP"), PostingStyle::ASAP);
    if (k < 3) platform::performOnMainThread([&, k] { step(k + 1); });
  };
  std::thread worker([&] { platform::performOnMainThread([&] { step(0); }); });
  worker.join();

  ASSERT_TRUE(testing::pumpUntil([&] { return !events.empty() && events.back() == "idle"; }));
  EXPECT_EQ(events, (std::vector<std::string>{"work 0", "work 1", "asap", "work 2", "work 3", "idle"}));
}

}  // namespace
}  // namespace orb::app
