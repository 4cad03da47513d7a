#include "app/windows/OBWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindowStateChangeEvent>

#include "app/windows/SmartWindowController.h"
#include "platform/Exception.h"

#include <algorithm>
#include <array>
#include <charconv>

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

QRect OBWindow::standardFrame() const {
  QScreen* shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
  const QRect available = shownOn ? shownOn->availableGeometry() : frameGeometry();
  return m_controller ? m_controller->windowWillUseStandardFrame(available) : available;
}

namespace {
/// The window geometry (inside the decorations) whose frame is `frame`.
QRect geometryForFrame(const QWidget& window, const QRect& frame) {
  const QRect outer = window.frameGeometry(), inner = window.geometry();
  return frame.adjusted(inner.left() - outer.left(), inner.top() - outer.top(), inner.right() - outer.right(),
                        inner.bottom() - outer.bottom());
}
}  // namespace

void OBWindow::zoom() {
  if (isMaximized() || isFullScreen()) showNormal();
  if (m_zoomed && frameGeometry() == m_zoomedFrame) {
    m_zoomed = false;
    setGeometry(geometryForFrame(*this, m_userFrame));
    return;
  }
  if (!m_zoomed) m_userFrame = frameGeometry();
  m_zoomedFrame = standardFrame();
  m_zoomed = true;
  setGeometry(geometryForFrame(*this, m_zoomedFrame));
}

namespace {
/// "x y width height": four whole numbers and nothing else, the size above 0.
std::optional<std::array<int, 4>> frameNumbers(const std::string& text) {
  std::array<int, 4> v{};
  const char* p = text.data();
  const char* const end = text.data() + text.size();
  const auto skipBlanks = [&] {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
  };
  for (int& n : v) {
    skipBlanks();
    const auto [next, error] = std::from_chars(p, end, n);
    if (error != std::errc() || next == p) return std::nullopt;  // no number, or out of range
    p = next;
  }
  skipBlanks();
  if (p != end || v[2] <= 0 || v[3] <= 0) return std::nullopt;
  return v;
}
}  // namespace

std::optional<QRect> OBWindow::restoredFrame(const std::string& text, const QRect& available) {
  const auto v = frameNumbers(text);
  if (!v || !available.isValid()) return std::nullopt;
  const int w = std::min((*v)[2], available.width());
  const int h = std::min((*v)[3], available.height());
  // In 64 bits: a far-off origin must not overflow on its way back to the screen.
  const auto place = [](int at, int size, int low, int span) {
    return static_cast<int>(std::clamp<long long>(at, low, static_cast<long long>(low) + span - size));
  };
  return QRect(place((*v)[0], w, available.x(), available.width()),
               place((*v)[1], h, available.y(), available.height()), w, h);
}

std::optional<QRect> OBWindow::restoredFrame(const std::string& text) {
  const auto v = frameNumbers(text);
  if (!v) return std::nullopt;
  // The screen under the frame's top-left corner, else the primary one.
  QScreen* screen = QGuiApplication::screenAt(QPoint((*v)[0], (*v)[1]));
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? restoredFrame(text, screen->availableGeometry()) : std::nullopt;
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
    // Maximised by the title bar: a window whose controller keeps a shape of its own zooms
    // to its standard frame instead (after this event, as the window system expects).
    if (isMaximized() && !(old & Qt::WindowMaximized)) {
      const QRect available = screen() ? screen()->availableGeometry() : QRect();
      if (standardFrame() != available) {
        const QRect before = normalGeometry();
        QMetaObject::invokeMethod(
            this,
            [this, before] {
              showNormal();
              if (before.isValid()) setGeometry(before);
              m_zoomed = false;
              zoom();
            },
            Qt::QueuedConnection);
      }
    }
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
