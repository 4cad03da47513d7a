#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/Reference.h"

namespace orb::platform {

class NotificationQueue;

/// The main thread's queue of work. Other threads hand results to the main thread through
/// performOnMainThread, which never waits. Headless (tests, tools) the loop is drained
/// with runUntilIdle(); the application drives it from its event loop: it installs a
/// wake-up handler that schedules runOnce() and calls it again while it answers true.
///
/// One pass (runOnce) runs the work queued before it began, then posts the
/// as-soon-as-possible notifications of its queues; only a pass that found nothing else
/// to do posts the when-idle notifications.
class RunLoop {
 public:
  static RunLoop& main();

  /// Queues `work` for the loop's thread; callable from any thread.
  void perform(std::function<void()> work);
  /// Queues `work` to run only if the object behind `target` still exists then.
  void perform(Reference target, std::function<void()> work);

  /// One pass; true when it did anything (more may be pending).
  bool runOnce();
  /// Passes until nothing is left, idle notifications included.
  void runUntilIdle();
  /// True when work or notifications are waiting.
  bool hasPendingWork() const;

  /// Called, from any thread, whenever work arrives while none was pending.
  void setWakeUpHandler(std::function<void()> handler);

  // Notification queues attach themselves to the loop that drains them.
  void attach(NotificationQueue* queue);
  void detach(NotificationQueue* queue);
  void wakeUp();

 private:
  mutable std::mutex m_mutex;
  std::vector<std::function<void()>> m_work;
  std::vector<NotificationQueue*> m_queues;
  std::function<void()> m_wakeUp;
};

/// Queues `work` on the main run loop without waiting for it.
void performOnMainThread(std::function<void()> work);
/// As above, skipped when the target object has gone by then.
void performOnMainThread(Reference target, std::function<void()> work);

}  // namespace orb::platform
