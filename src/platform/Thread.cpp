#include "platform/Thread.h"

#include <pthread.h>

#include <unordered_map>

#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::platform {

struct WorkerThread::State {
  std::string name;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> finished{false};
};

namespace {
thread_local WorkerThread::State* t_state = nullptr;
const std::thread::id g_mainThread = std::this_thread::get_id();
}  // namespace

WorkerThread::WorkerThread(std::string name, std::function<void()> body) : m_state(std::make_shared<State>()) {
  m_state->name = std::move(name);
  m_thread = std::thread([state = m_state, body = std::move(body)] {
    t_state = state.get();
    setCurrentThreadName(state->name);
    try {
      body();
    } catch (const std::exception& e) {
      log("uncaught exception on thread %s: %s", state->name.c_str(), e.what());
    } catch (...) {
      log("uncaught exception on thread %s", state->name.c_str());
    }
    state->finished = true;
    t_state = nullptr;
  });
}

WorkerThread::~WorkerThread() {
  cancel();
  join();
}

const std::string& WorkerThread::name() const { return m_state->name; }
void WorkerThread::cancel() { m_state->cancelled = true; }
bool WorkerThread::isCancelled() const { return m_state->cancelled; }
bool WorkerThread::isFinished() const { return m_state->finished; }

void WorkerThread::join() {
  if (!m_thread.joinable()) return;
  if (m_thread.get_id() == std::this_thread::get_id()) {
    m_thread.detach();  // the body is ending itself; the state outlives it
    return;
  }
  m_thread.join();
}

bool currentThreadIsCancelled() { return t_state && t_state->cancelled.load(std::memory_order_relaxed); }

const std::atomic<bool>* currentThreadCancelledFlag() { return t_state ? &t_state->cancelled : nullptr; }

void setCurrentThreadName(const std::string& name) {
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

std::string currentThreadName() {
  if (t_state) return t_state->name;
  char buf[32] = {0};
  pthread_getname_np(pthread_self(), buf, sizeof buf);
  return buf;
}

bool isMainThread() { return std::this_thread::get_id() == g_mainThread; }

// --- ConditionLock ------------------------------------------------------------------------

void ConditionLock::lock() {
  std::unique_lock lk(m_mutex);
  m_changed.wait(lk, [this] { return !m_locked; });
  m_locked = true;
}

bool ConditionLock::tryLock() {
  std::lock_guard lk(m_mutex);
  if (m_locked) return false;
  m_locked = true;
  return true;
}

void ConditionLock::unlock() {
  {
    std::lock_guard lk(m_mutex);
    m_locked = false;
  }
  m_changed.notify_all();
}

void ConditionLock::lockWhenCondition(int condition) {
  std::unique_lock lk(m_mutex);
  m_changed.wait(lk, [&] { return !m_locked && m_condition == condition; });
  m_locked = true;
}

bool ConditionLock::tryLockWhenCondition(int condition) {
  std::lock_guard lk(m_mutex);
  if (m_locked || m_condition != condition) return false;
  m_locked = true;
  return true;
}

bool ConditionLock::lockWhenCondition(int condition, std::chrono::milliseconds timeout) {
  std::unique_lock lk(m_mutex);
  if (!m_changed.wait_for(lk, timeout, [&] { return !m_locked && m_condition == condition; })) return false;
  m_locked = true;
  return true;
}

void ConditionLock::unlockWithCondition(int condition) {
  {
    std::lock_guard lk(m_mutex);
    m_locked = false;
    m_condition = condition;
  }
  m_changed.notify_all();
}

int ConditionLock::condition() const {
  std::lock_guard lk(m_mutex);
  return m_condition;
}

// --- Synchronized -------------------------------------------------------------------------

namespace {
struct KeyedLock {
  std::recursive_mutex mutex;
  int users = 0;
};
std::mutex g_tableMutex;
std::unordered_map<const void*, std::unique_ptr<KeyedLock>>& lockTable() {
  static auto* table = new std::unordered_map<const void*, std::unique_ptr<KeyedLock>>();
  return *table;
}
}  // namespace

void Synchronized::lock(const void* key) {
  KeyedLock* entry;
  {
    std::lock_guard lk(g_tableMutex);
    auto& slot = lockTable()[key];
    if (!slot) slot = std::make_unique<KeyedLock>();
    ++slot->users;
    entry = slot.get();
  }
  entry->mutex.lock();
}

void Synchronized::unlock(const void* key) {
  std::lock_guard lk(g_tableMutex);
  auto it = lockTable().find(key);
  if (it == lockTable().end())
    throw Exception("NSInternalInconsistencyException", "unlock of an object lock that is not held");
  it->second->mutex.unlock();
  if (--it->second->users == 0) lockTable().erase(it);
}

const void* Synchronized::processWide() {
  static const char key = 0;
  return &key;
}

Synchronized::Synchronized(const void* key) : m_key(key) { lock(key); }
Synchronized::~Synchronized() { unlock(m_key); }

}  // namespace orb::platform
