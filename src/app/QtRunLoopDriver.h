#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/RunLoop.h"

namespace orb::app {

/// Drives the platform's main run loop (queued work, as-soon-as-possible and when-idle
/// notifications) from Qt's event loop, so model and worker code never sees Qt.
///
/// Work arriving from any thread posts one queued call to the main thread; each call runs
/// one pass of the platform loop and, while that pass did something, queues the next
/// pass behind the Qt events already waiting. So input and painting interleave with
/// model work, as-soon-as-possible notifications go out within the pass that follows
/// their posting, and when-idle notifications only in a pass that found nothing else.
///
/// One driver per application, made on the main thread after the QApplication.
class QtRunLoopDriver : public QObject {
  Q_OBJECT
 public:
  explicit QtRunLoopDriver(QObject* parent = nullptr);
  ~QtRunLoopDriver() override;

  /// Number of passes run so far (for diagnostics and tests).
  long passCount() const { return m_passes; }

 private:
  void pass();

  struct Shared;
  std::shared_ptr<Shared> m_shared;
  long m_passes = 0;
};

bool isMainThread();

/// Runs `work` at once on the main thread; from any other thread it goes through the
/// platform's main loop (whose own lock orders the hand-off, visibly to a thread checker,
/// unlike Qt's event queue) and is skipped there if `guard` has gone by then.
template <class T>
void onMainThread(const QPointer<T>& guard, std::function<void()> work) {
  if (!guard) return;
  if (isMainThread()) {
    work();
    return;
  }
  platform::performOnMainThread([guard, work = std::move(work)] {
    if (guard) work();
  });
}

}  // namespace orb::app
