#include "app/windows/OBWindow.h"

#include <QCloseEvent>
#include <QWindowStateChangeEvent>

#include "app/windows/SmartWindowController.h"
#include "platform/Exception.h"

namespace orb::app {

OBWindow::OBWindow(SmartWindowController* controller) : m_controller(controller) {}

OBWindow::~OBWindow() = default;

void OBWindow::setFrameOrigin(const QPoint& origin) {
  if (m_ignoreOneSetFrameOrigin) {
    m_ignoreOneSetFrameOrigin = false;
    return;
  }
  move(origin);
}

void OBWindow::encodeRestorableState(platform::Dictionary& state) const {
  const QRect f = frameGeometry();
  state.set("NSWindowFrame", platform::format("%d %d %d %d", f.x(), f.y(), f.width(), f.height()));
  if (m_controller) {
    state.set("controllerClassName", m_controller->controllerClassName());
    state.set("nibName", m_controller->nibName());
  }
}

void OBWindow::closeEvent(QCloseEvent* event) {
  if (m_controller && !m_controller->windowShouldClose()) {
    event->ignore();
    return;
  }
  event->accept();
  if (m_controller) m_controller->windowDidCloseByUser();
}

void OBWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (!m_controller) return;
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    m_controller->windowDidBecomeMain();
  } else if (event->type() == QEvent::WindowStateChange) {
    const auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
    if (isMinimized() && !(old & Qt::WindowMinimized))
      m_controller->windowDidMiniaturize();
    else if (!isMinimized() && (old & Qt::WindowMinimized))
      m_controller->windowDidDeminiaturize();
  }
}

}  // namespace orb::app
