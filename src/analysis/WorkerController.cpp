#include "analysis/WorkerController.h"

#include "analysis/ImmediateUpdate.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationQueue.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"

namespace orb::analysis {

using platform::ConditionLock;
using platform::Dictionary;
using platform::Notification;

namespace {
// Conditions of the hand-shake lock.
constexpr int kRegistered = 0;  // the worker has registered; the starter may release it
constexpr int kGo = 1;          // the worker holds the lock for the whole of its kernel
constexpr int kIdle = 2;        // no worker, or the worker has finished
constexpr int kDetached = 3;    // the starter has made the thread; the worker may register

thread_local const WorkerController* t_runningController = nullptr;
}  // namespace

WorkerController::WorkerController() {
  m_workDoneObservation = platform::NotificationCenter::defaultCenter().addObserver(
      kWorkDoneNotification, reference(), [this](const Notification& n) { workDoneWithNotification(n); });
}

WorkerController::~WorkerController() {
  // Normally done by willDeallocate; here for controllers not made by makeObject.
  m_generation.fetch_add(1);
  cancelAndWait();
}

void WorkerController::willDeallocate() {
  m_workDoneObservation.remove();
  m_generation.fetch_add(1);
  cancelAndWait();
  OBObject::willDeallocate();
}

void WorkerController::orderWork() {
  stopWork();
  if (!workCanStart()) return;
  workWillStart();
  startWork();
}

void WorkerController::startWork() {
  if (t_runningController == this)
    throw platform::Exception("NSInternalInconsistencyException", "startWork called from its own worker thread");
  bool peculiar;
  {
    std::lock_guard lock(m_mutex);
    peculiar = m_workerLock && m_workerLock->condition() != kIdle;
  }
  // Two workers must never run one controller: a leftover one is stopped like any other
  // run (so its busy mark is taken back); one that finished by itself is just joined.
  if (peculiar) {
    platform::log("workerLock condition peculiar");
    stopWork();
  }
  cancelAndWait();

  auto workerLock = std::make_shared<ConditionLock>(kIdle);
  workerLock->lockWhenCondition(kIdle);
  const std::uint64_t generation = m_generation.fetch_add(1) + 1;
  m_activeRun.store(generation);
  {
    std::lock_guard lock(m_mutex);
    m_workResult.reset();  // a run that sets nothing must not hand on the previous result
    m_subthreads.clear();
    m_workerLock = workerLock;
    m_thread = std::make_unique<platform::WorkerThread>(
        "worker", [this, workerLock, generation] { workerWork(workerLock, generation); });
  }
  workerLock->unlockWithCondition(kDetached);
  workerLock->lockWhenCondition(kRegistered);
  workerLock->unlockWithCondition(kGo);
  workDidStart();
}

void WorkerController::workerWork(const std::shared_ptr<ConditionLock>& lock, std::uint64_t generation) {
  lock->lockWhenCondition(kDetached);
  m_hasWorker.store(true, std::memory_order_release);
  lock->unlockWithCondition(kRegistered);
  lock->lockWhenCondition(kGo);

  t_runningController = this;
  bool failed = false;
  try {
    workerKernel();
  } catch (const platform::Exception& e) {
    failed = true;
    workDidRaise(e.what());
  } catch (const std::exception& e) {
    // Anything escaping would leave the hand-shake lock held and stopWork waiting forever.
    failed = true;
    workDidRaise(e.what());
  } catch (...) {
    failed = true;
    workDidRaise("unknown exception");
  }
  t_runningController = nullptr;

  WorkResult result;
  if (!failed && !platform::currentThreadIsCancelled()) result = workResult();
  if (!platform::currentThreadIsCancelled()) deliverCompletion(std::move(result), generation);
  m_hasWorker.store(false, std::memory_order_release);
  lock->unlockWithCondition(kIdle);
}

void WorkerController::deliverCompletion(WorkResult result, std::uint64_t generation) {
  const bool immediate = isImmediateUpdate();
  platform::RunLoop::main().perform(
      [ref = reference(), generation, immediate, result = std::move(result)] {
        auto self = std::static_pointer_cast<WorkerController>(ref.lock());
        if (!self || self->m_generation.load() != generation) return;
        if (immediate)
          self->workDidStop(result);
        else
          self->enqueueWorkDoneNotification(result);
      });
}

void WorkerController::performOnMainThreadForRun(std::function<void()> work) {
  const std::uint64_t generation = m_activeRun.load();
  platform::RunLoop::main().perform([ref = reference(), generation, work = std::move(work)] {
    auto self = std::static_pointer_cast<WorkerController>(ref.lock());
    if (self && self->m_generation.load() == generation) work();
  });
}

void WorkerController::stopWork() {
  if (t_runningController == this)
    throw platform::Exception("NSInternalInconsistencyException", "stopWork called from its own worker thread");
  m_generation.fetch_add(1);  // from here on nothing of the present run is delivered
  if (platform::isMainThread())
    dequeueWorkDoneNotification();
  else
    platform::RunLoop::main().perform(reference(), [this] { dequeueWorkDoneNotification(); });
  cancelAndWait();
  workDidStop(std::nullopt);
}

void WorkerController::cancelAndWait() {
  std::shared_ptr<ConditionLock> workerLock;
  std::unique_ptr<platform::WorkerThread> thread;
  {
    std::lock_guard lock(m_mutex);
    for (auto& weak : m_subthreads)
      if (auto sub = weak.lock()) sub->cancel();
    m_subthreads.clear();
    if (m_thread) m_thread->cancel();
    workerLock = std::move(m_workerLock);
    thread = std::move(m_thread);
  }
  if (workerLock) {
    workerLock->lockWhenCondition(kIdle);  // the kernel has returned and delivery is done
    workerLock->unlockWithCondition(kIdle);
  }
  thread.reset();  // joins: the thread body ends right after releasing the lock
}

void WorkerController::setWorkResult(WorkResult result) {
  std::lock_guard lock(m_mutex);
  m_workResult = std::move(result);
}

WorkResult WorkerController::workResult() const {
  std::lock_guard lock(m_mutex);
  return m_workResult;
}

void WorkerController::addSubthread(std::weak_ptr<platform::WorkerThread> thread) {
  std::lock_guard lock(m_mutex);
  if (m_thread && m_thread->isCancelled()) {
    if (auto sub = thread.lock()) sub->cancel();  // stopped already: the helper ends at once
    return;
  }
  m_subthreads.push_back(std::move(thread));
}

Notification WorkerController::workDoneNotification(const WorkResult& result) const {
  return Notification(kWorkDoneNotification, reference(), result.value_or(Dictionary()));
}

void WorkerController::enqueueWorkDoneNotification(const WorkResult& result) {
  platform::NotificationQueue::defaultQueue().enqueue(workDoneNotification(result), platform::PostingStyle::ASAP,
                                                      platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void WorkerController::dequeueWorkDoneNotification() {
  platform::NotificationQueue::defaultQueue().dequeueMatching(
      workDoneNotification(std::nullopt), platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void WorkerController::workDoneWithNotification(const Notification& notification) {
  if (notification.userInfo.empty())
    workDidStop(std::nullopt);
  else
    workDidStop(notification.userInfo);
}

}  // namespace orb::analysis
