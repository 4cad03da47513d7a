#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/Thread.h"

namespace orb::foundation::testing {

/// Runs `body` on a worker thread and cancels the worker the moment the body calls the
/// hook it is given; the hook returns once the cancellation is visible on the worker. A
/// body that calls the hook inside a function being minimised therefore sees the cancel
/// at a definite point of the run.
inline void runOnWorkerCancelledAtHook(const std::function<void(const std::function<void()>& cancelHere)>& body) {
  platform::ConditionLock reached(0);
  platform::WorkerThread worker("cancel-test", [&] {
    body([&] {
      reached.lock();
      reached.unlockWithCondition(1);
      while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
    });
  });
  if (reached.lockWhenCondition(1, std::chrono::seconds(20))) {
    reached.unlock();
  } else {
    ADD_FAILURE() << "the body never reached its cancellation point";
  }
  worker.cancel();
  worker.join();
}

}  // namespace orb::foundation::testing
