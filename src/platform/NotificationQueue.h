#pragma once

#include <deque>
#include <mutex>

#include "platform/NotificationCenter.h"

namespace orb::platform {

class RunLoop;

enum class PostingStyle {
  Now,       ///< post at once (after removing the queued matches)
  ASAP,      ///< post at the end of the current run-loop pass
  WhenIdle,  ///< post when the run loop has nothing else to do
};

namespace Coalescing {
enum : unsigned { None = 0, OnName = 1, OnSender = 2 };
}

/// Gathers bursts of notifications and posts them through a notification center from
/// its run loop. Enqueuing with coalescing first removes the queued notifications that
/// match by name and/or sender, so ten quick posts of one change arrive once. A queued
/// notification whose sender (a Reference) has gone by delivery time is dropped.
class NotificationQueue {
 public:
  NotificationQueue(NotificationCenter& center, RunLoop& loop);
  ~NotificationQueue();
  NotificationQueue(const NotificationQueue&) = delete;
  NotificationQueue& operator=(const NotificationQueue&) = delete;

  /// The queue of the main run loop, posting to the default center.
  static NotificationQueue& defaultQueue();

  void enqueue(Notification notification, PostingStyle style,
               unsigned coalesceMask = Coalescing::OnName | Coalescing::OnSender);
  /// Removes queued notifications matching `notification` under `coalesceMask`.
  void dequeueMatching(const Notification& notification, unsigned coalesceMask);

  // Driven by the run loop.
  bool postASAP();
  bool postIdle();
  bool hasASAP() const;
  bool hasIdle() const;

 private:
  bool postFrom(std::deque<Notification>& queue);
  NotificationCenter& m_center;
  RunLoop& m_loop;
  mutable std::mutex m_mutex;
  std::deque<Notification> m_asap;
  std::deque<Notification> m_idle;
};

}  // namespace orb::platform
