#include "app/QtRunLoopDriver.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <mutex>

#include "platform/RunLoop.h"

namespace orb::app {

// The wake-up handler is called on worker threads and may race with the driver's
// destruction; it reaches the driver only through this guarded pointer.
struct QtRunLoopDriver::Shared {
  std::mutex mutex;
  QtRunLoopDriver* driver = nullptr;
  std::atomic<bool> scheduled{false};

  void schedule() {
    std::lock_guard lock(mutex);
    if (!driver || scheduled.exchange(true)) return;
    QMetaObject::invokeMethod(driver, &QtRunLoopDriver::pass, Qt::QueuedConnection);
  }
};

QtRunLoopDriver::QtRunLoopDriver(QObject* parent) : QObject(parent), m_shared(std::make_shared<Shared>()) {
  m_shared->driver = this;
  std::weak_ptr<Shared> shared = m_shared;
  auto& loop = platform::RunLoop::main();
  loop.setWakeUpHandler([shared] {
    if (auto s = shared.lock()) s->schedule();
  });
  // Work queued before the driver existed (defaults, launch-time notifications).
  if (loop.hasPendingWork()) m_shared->schedule();
}

QtRunLoopDriver::~QtRunLoopDriver() {
  platform::RunLoop::main().setWakeUpHandler({});
  std::lock_guard lock(m_shared->mutex);
  m_shared->driver = nullptr;
}

void QtRunLoopDriver::pass() {
  // Cleared before the pass, so work that arrives during it schedules the next one.
  m_shared->scheduled = false;
  ++m_passes;
  if (platform::RunLoop::main().runOnce()) m_shared->schedule();
}

bool isMainThread() {
  const auto* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace orb::app
