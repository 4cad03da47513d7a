#include "app/windows/OBWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindowStateChangeEvent>

#include "app/windows/SmartWindowController.h"
#include "platform/Exception.h"

#include <algorithm>
#include <charconv>
#include <climits>

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

std::optional<QRect> OBWindow::restoredFrame(const std::string& text, const QRect& available) {
  int v[4];
  const char* p = text.data();
  const char* const end = text.data() + text.size();
  for (int& n : v) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    const auto [next, error] = std::from_chars(p, end, n);
    if (error != std::errc() || next == p) return std::nullopt;  // no number, or out of range
    p = next;
  }
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p != end || v[2] <= 0 || v[3] <= 0 || !available.isValid()) return std::nullopt;
  const int w = std::min(v[2], available.width());
  const int h = std::min(v[3], available.height());
  // In 64 bits: a far-off origin must not overflow on its way back to the screen.
  const auto place = [](int at, int size, int low, int span) {
    return static_cast<int>(std::clamp<long long>(at, low, static_cast<long long>(low) + span - size));
  };
  return QRect(place(v[0], w, available.x(), available.width()), place(v[1], h, available.y(), available.height()),
               w, h);
}

std::optional<QRect> OBWindow::restoredFrame(const std::string& text) {
  QScreen* screen = nullptr;
  if (const auto unbounded = restoredFrame(text, QRect(INT_MIN / 2, INT_MIN / 2, INT_MAX, INT_MAX)))
    screen = QGuiApplication::screenAt(unbounded->center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return std::nullopt;
  return restoredFrame(text, screen->availableGeometry());
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

QString shownWindowTitle(const QWidget& window) {
  QString title = window.windowTitle();
  return title.replace(QStringLiteral("[*]"), window.isWindowModified() ? QStringLiteral("*") : QString());
}

}  // namespace orb::app
