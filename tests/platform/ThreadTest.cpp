#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Object.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"

using namespace orb::platform;

TEST(WorkerThreadTest, CancelFromOutsideIsSeenByWorkOnTheThread) {
  ConditionLock started(0);
  std::atomic<bool> sawCancel{false};
  std::string nameSeen;
  WorkerThread worker("worker", [&] {
    nameSeen = currentThreadName();
    started.lock();
    started.unlockWithCondition(1);
    while (!currentThreadIsCancelled()) std::this_thread::yield();  // a long loop that polls, as tracing does
    sawCancel = true;
  });
  started.lockWhenCondition(1);
  started.unlock();
  EXPECT_FALSE(currentThreadIsCancelled());  // the flag is per thread
  worker.cancel();
  worker.join();
  EXPECT_TRUE(worker.isFinished());
  EXPECT_EQ(nameSeen, "worker");
  EXPECT_TRUE(sawCancel);
}

TEST(WorkerThreadTest, AnEscapingExceptionDoesNotEndTheProcess) {
  WorkerThread worker("thrower", [] { throw Exception("OBException", "boom"); });
  worker.join();
  EXPECT_TRUE(worker.isFinished());
}

TEST(WorkerThreadTest, ResultsReachTheMainLoopWithoutWaiting) {
  RunLoop& loop = RunLoop::main();
  loop.runUntilIdle();
  auto target = makeObject<Object>();
  auto gone = makeObject<Object>();
  int delivered = 0;
  {
    WorkerThread worker("tracer-0", [&, t = target->reference(), g = gone->reference()] {
      performOnMainThread([&] { ++delivered; });
      performOnMainThread(t, [&] { ++delivered; });
      performOnMainThread(g, [&] { delivered += 100; });
    });
  }
  gone.reset();  // its queued work must be skipped
  EXPECT_EQ(delivered, 0);
  loop.runUntilIdle();
  EXPECT_EQ(delivered, 2);
  EXPECT_TRUE(isMainThread());
}

TEST(SynchronizedTest, RecursiveForOneThreadExclusiveAcrossThreads) {
  int shared = 0;
  const int key = 0;
  auto add = [&] {
    for (int i = 0; i < 20000; ++i) {
      Synchronized outer(&key);
      Synchronized inner(&key);  // the same thread may lock again
      ++shared;
    }
  };
  {
    WorkerThread a("a", add), b("b", add);
    add();
  }
  EXPECT_EQ(shared, 60000);
  Synchronized whole(Synchronized::processWide());
  EXPECT_THROW(Synchronized::unlock(&shared), Exception);
}

TEST(ConditionLockTest, TimedWaitGivesUpWhenTheConditionNeverComes) {
  ConditionLock lock(0);
  EXPECT_FALSE(lock.lockWhenCondition(1, std::chrono::milliseconds(20)));
  EXPECT_TRUE(lock.tryLockWhenCondition(0));
  EXPECT_FALSE(lock.tryLock());
  lock.unlockWithCondition(2);
  EXPECT_EQ(lock.condition(), 2);
}
