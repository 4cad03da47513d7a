#include "platform/RunLoop.h"

#include <algorithm>

#include "platform/NotificationQueue.h"

namespace orb::platform {

RunLoop& RunLoop::main() {
  static auto* loop = new RunLoop();  // never destroyed: workers may post during exit
  return *loop;
}

void RunLoop::perform(std::function<void()> work) {
  bool wasEmpty;
  {
    std::lock_guard lock(m_mutex);
    wasEmpty = m_work.empty();
    m_work.push_back(std::move(work));
  }
  if (wasEmpty) wakeUp();
}

void RunLoop::perform(Reference target, std::function<void()> work) {
  perform([target = std::move(target), work = std::move(work)] {
    if (target.isAlive()) work();
  });
}

bool RunLoop::runOnce() {
  std::vector<std::function<void()>> work;
  std::vector<NotificationQueue*> queues;
  {
    std::lock_guard lock(m_mutex);
    work.swap(m_work);
    queues = m_queues;
  }
  bool did = !work.empty();
  for (auto& w : work) w();
  for (auto* q : queues) did |= q->postASAP();
  if (did) return true;
  for (auto* q : queues) did |= q->postIdle();
  return did;
}

void RunLoop::runUntilIdle() {
  while (runOnce()) {
  }
}

bool RunLoop::hasPendingWork() const {
  std::lock_guard lock(m_mutex);
  if (!m_work.empty()) return true;
  return std::any_of(m_queues.begin(), m_queues.end(), [](auto* q) { return q->hasASAP() || q->hasIdle(); });
}

void RunLoop::setWakeUpHandler(std::function<void()> handler) {
  std::lock_guard lock(m_mutex);
  m_wakeUp = std::move(handler);
}

void RunLoop::wakeUp() {
  std::function<void()> handler;
  {
    std::lock_guard lock(m_mutex);
    handler = m_wakeUp;
  }
  if (handler) handler();
}

void RunLoop::attach(NotificationQueue* queue) {
  std::lock_guard lock(m_mutex);
  m_queues.push_back(queue);
}

void RunLoop::detach(NotificationQueue* queue) {
  std::lock_guard lock(m_mutex);
  m_queues.erase(std::remove(m_queues.begin(), m_queues.end(), queue), m_queues.end());
}

void performOnMainThread(std::function<void()> work) { RunLoop::main().perform(std::move(work)); }
void performOnMainThread(Reference target, std::function<void()> work) {
  RunLoop::main().perform(std::move(target), std::move(work));
}

}  // namespace orb::platform
