#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/objects/OBObject.h"
#include "platform/Observation.h"
#include "platform/Value.h"

namespace orb::platform {
class ConditionLock;
class WorkerThread;
struct Notification;
}  // namespace orb::platform

namespace orb::analysis {

/// Name of the completion notification; its object is the controller's reference and
/// its user info the run's result (empty when the run produced none).
inline constexpr const char* kWorkDoneNotification = "workDoneNotification";

/// What a run hands to the main thread: a dictionary, or nothing (a failed, empty or
/// stopped run).
using WorkResult = std::optional<platform::Dictionary>;

/// Runs one piece of work at a time on a thread of its own, named "worker", and reports
/// its end to the main thread. Subclasses supply `workerKernel` and react through the
/// hooks; they never touch the thread or the hand-shake lock.
///
/// Life of a run: `orderWork` stops any running work, asks `workCanStart`, then starts a
/// worker and returns once it runs. The kernel polls `platform::currentThreadIsCancelled()`.
/// When it returns uncancelled, its result reaches `workDidStop` on the main thread,
/// through a coalesced "workDoneNotification" (or directly while immediate update is on).
/// `stopWork` cancels the worker and the helper threads registered with `addSubthread`,
/// waits until the kernel has returned, and calls `workDidStop` with no result.
///
/// Every start and every stop begins a new run generation; whatever a run hands to the
/// main thread (completion, `performOnMainThreadForRun`) is checked against it there, so
/// nothing of a stopped run is delivered after the stop, even if it was already queued.
///
/// Make controllers with platform::makeObject: the last release stops the running work
/// (and waits for it) before the object goes, so a kernel never outlives its controller
/// and nothing is called back on a controller that is gone. A kernel must not keep a
/// strong reference to its own controller.
///
/// Locks: the machinery itself takes no object lock, but kernels take the lens lock and
/// then the calculator lock; never call `stopWork` (or release the last owner) while
/// holding either, or the worker can never finish.
class WorkerController : public foundation::OBObject {
 public:
  WorkerController();
  ~WorkerController() override;

  /// Stops running work, then starts a new run if `workCanStart` agrees.
  void orderWork();
  /// The start hand-shake: returns once the worker is running; then `workDidStart`.
  void startWork();
  /// Cancels the run and its helper threads, waits for the kernel to return, withdraws a
  /// pending completion, then calls `workDidStop` with no result. Calling it from the
  /// worker thread itself raises "NSInternalInconsistencyException".
  void stopWork();

  /// True from the moment a worker has registered until its kernel and delivery are done.
  bool hasWorkerThread() const { return m_hasWorker.load(std::memory_order_acquire); }

  /// The result the kernel leaves for the main thread; cleared when a run starts.
  void setWorkResult(WorkResult result);
  WorkResult workResult() const;

  /// Registers a helper thread of the running kernel: `stopWork` cancels it with the
  /// worker. The kernel still joins its helpers before it returns.
  void addSubthread(std::weak_ptr<platform::WorkerThread> thread);

  /// The completion notification for `result`.
  platform::Notification workDoneNotification(const WorkResult& result) const;

  // --- hooks (an override calls its base first) ---------------------------------------
  /// Asked by orderWork after the stop; false vetoes the start.
  virtual bool workCanStart() { return true; }
  /// Called by orderWork just before startWork.
  virtual void workWillStart() {}
  /// Called at the end of startWork, on the caller's thread.
  virtual void workDidStart() {}
  /// With the result on the main thread when uncancelled work ends; with nothing on the
  /// caller's thread at the end of every stopWork.
  virtual void workDidStop(const WorkResult& result) { (void)result; }
  /// A progress hook for subclasses; the machinery never calls it.
  virtual void workDidProgress() {}

 protected:
  /// The work itself, on the worker thread.
  virtual void workerKernel() {}
  /// Called on the worker thread when the kernel raised; `text` is "name: reason". The
  /// run then counts as failed and delivers no result.
  virtual void workDidRaise(const std::string& text) { (void)text; }

  /// From the worker (or its helpers): runs `work` on the main thread later, without
  /// waiting, unless this run has been stopped by then or the controller is gone.
  void performOnMainThreadForRun(std::function<void()> work);

  void willDeallocate() override;

 private:
  void workerWork(const std::shared_ptr<platform::ConditionLock>& lock, std::uint64_t generation);
  void deliverCompletion(WorkResult result, std::uint64_t generation);
  void enqueueWorkDoneNotification(const WorkResult& result);
  void dequeueWorkDoneNotification();
  void workDoneWithNotification(const platform::Notification& notification);
  /// Cancels the worker and its helpers and waits until the worker has finished.
  void cancelAndWait();

  mutable std::mutex m_mutex;  // guards the fields below up to m_subthreads
  std::shared_ptr<platform::ConditionLock> m_workerLock;
  std::unique_ptr<platform::WorkerThread> m_thread;
  WorkResult m_workResult;
  std::vector<std::weak_ptr<platform::WorkerThread>> m_subthreads;

  std::atomic<bool> m_hasWorker{false};
  std::atomic<std::uint64_t> m_generation{0};  // moved on by every start and stop
  std::atomic<std::uint64_t> m_activeRun{0};   // the generation the present worker runs for
  platform::Observation m_workDoneObservation;
};

}  // namespace orb::analysis
