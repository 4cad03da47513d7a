#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

namespace orb::app::testing {

/// Runs Qt's event loop (and with it the platform loop) until `done` holds; the
/// deadline only guards against a hang.
inline bool pumpUntil(const std::function<bool()>& done) {
  QDeadlineTimer guard(60'000);
  while (!done()) {
    if (guard.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::yieldCurrentThread();
  }
  return true;
}

/// Lets every posted event and pending deletion run.
inline void settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

}  // namespace orb::app::testing
