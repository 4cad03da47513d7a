#include "platform/NotificationQueue.h"

#include <algorithm>

#include "platform/RunLoop.h"

namespace orb::platform {

namespace {
bool coalesces(const Notification& queued, const Notification& incoming, unsigned mask) {
  if (mask == Coalescing::None) return false;
  if ((mask & Coalescing::OnName) && queued.name != incoming.name) return false;
  if ((mask & Coalescing::OnSender) && !(queued.object == incoming.object)) return false;
  return true;
}
}  // namespace

NotificationQueue::NotificationQueue(NotificationCenter& center, RunLoop& loop) : m_center(center), m_loop(loop) {
  m_loop.attach(this);
}

NotificationQueue::~NotificationQueue() { m_loop.detach(this); }

NotificationQueue& NotificationQueue::defaultQueue() {
  static auto* queue = new NotificationQueue(NotificationCenter::defaultCenter(), RunLoop::main());
  return *queue;
}

void NotificationQueue::dequeueMatching(const Notification& notification, unsigned coalesceMask) {
  std::lock_guard lock(m_mutex);
  for (auto* q : {&m_asap, &m_idle})
    q->erase(std::remove_if(q->begin(), q->end(),
                            [&](const Notification& n) { return coalesces(n, notification, coalesceMask); }),
             q->end());
}

void NotificationQueue::enqueue(Notification notification, PostingStyle style, unsigned coalesceMask) {
  dequeueMatching(notification, coalesceMask);
  if (style == PostingStyle::Now) {
    if (!notification.senderIsGone()) m_center.post(notification);
    return;
  }
  {
    std::lock_guard lock(m_mutex);
    (style == PostingStyle::ASAP ? m_asap : m_idle).push_back(std::move(notification));
  }
  m_loop.wakeUp();
}

// Posts what was queued when the call began; notifications enqueued by observers during
// delivery wait for the next pass, so a feedback loop cannot starve the run loop.
bool NotificationQueue::postFrom(std::deque<Notification>& queue) {
  std::unique_lock lock(m_mutex);
  // A run loop asks on every turn; an empty queue must not cost the allocation a deque
  // makes as it is constructed.
  if (queue.empty()) return false;
  std::deque<Notification> batch;
  batch.swap(queue);
  lock.unlock();
  for (const auto& n : batch)
    if (!n.senderIsGone()) m_center.post(n);
  return !batch.empty();
}

bool NotificationQueue::postASAP() { return postFrom(m_asap); }
bool NotificationQueue::postIdle() { return postFrom(m_idle); }

bool NotificationQueue::hasASAP() const {
  std::lock_guard lock(m_mutex);
  return !m_asap.empty();
}

bool NotificationQueue::hasIdle() const {
  std::lock_guard lock(m_mutex);
  return !m_idle.empty();
}

}  // namespace orb::platform
