#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace orb::platform {

/// A named thread with a cancelled flag. The body runs at once; any code it calls can ask
/// currentThreadIsCancelled() and stop early. An exception escaping the body is logged,
/// never allowed to end the process. Destroying the thread cancels it and waits for it.
class WorkerThread {
 public:
  WorkerThread(std::string name, std::function<void()> body);
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  const std::string& name() const;
  /// Asks the body to stop; it sees the flag at its next poll.
  void cancel();
  bool isCancelled() const;
  bool isFinished() const;
  /// Waits for the body to return (no-op when called on this very thread).
  void join();

  struct State;

 private:
  std::shared_ptr<State> m_state;
  std::thread m_thread;
};

/// The cancelled flag of the calling thread: false on threads not made by WorkerThread.
bool currentThreadIsCancelled();
/// The calling thread's flag itself, for work it hands to a thread pool: pool threads
/// have no flag of their own, so they poll this one. Null on threads not made by
/// WorkerThread; it lives as long as the WorkerThread.
const std::atomic<bool>* currentThreadCancelledFlag();
/// Names the calling thread for the OS (visible to debuggers and `top -H`; 15 bytes).
void setCurrentThreadName(const std::string& name);
std::string currentThreadName();
/// True on the thread that started the process.
bool isMainThread();

/// A lock with an integer condition, for thread hand-shakes: a thread can take the lock
/// only when the condition has a given value, and sets the condition as it lets go.
/// Not tied to a thread: one thread may lock it and another unlock it.
class ConditionLock {
 public:
  explicit ConditionLock(int condition = 0) : m_condition(condition) {}

  void lock();
  bool tryLock();
  void unlock();
  void lockWhenCondition(int condition);
  bool tryLockWhenCondition(int condition);
  /// False when the lock could not be had before the time ran out.
  bool lockWhenCondition(int condition, std::chrono::milliseconds timeout);
  void unlockWithCondition(int condition);
  int condition() const;

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_locked = false;
  int m_condition;
};

/// Recursive locks keyed by an object's address: every piece of code that locks the same
/// object shares one lock (a lens while its rays are traced, a calculator while its rays
/// are replaced). Entries exist only while held.
class Synchronized {
 public:
  explicit Synchronized(const void* key);
  ~Synchronized();
  Synchronized(const Synchronized&) = delete;
  Synchronized& operator=(const Synchronized&) = delete;

  static void lock(const void* key);
  static void unlock(const void* key);
  /// The key of the one process-wide lock (2-D FFTs and other non-reentrant library work).
  static const void* processWide();

 private:
  const void* m_key;
};

}  // namespace orb::platform
