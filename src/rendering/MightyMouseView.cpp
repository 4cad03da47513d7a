#include "rendering/MightyMouseView.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace orb::rendering {

MightyMouseView::MightyMouseView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(cursorForMouseMode(m_mouseMode));
}

void MightyMouseView::setMouseMode(int mode) {
  m_mouseMode = mode;
  setCursor(cursorForMouseMode(mode));
}

void MightyMouseView::setTemporaryMouseMode(int mode) {
  if (!m_mouseModeIsTemporary) m_permanentMouseMode = m_mouseMode;
  m_mouseModeIsTemporary = true;
  setMouseMode(mode);
}

void MightyMouseView::restorePermanentMouseMode() {
  if (m_mouseModeIsTemporary) setMouseMode(m_permanentMouseMode);
  m_mouseModeIsTemporary = false;
}

void MightyMouseView::mouseModeAction() {
  if (m_mouseMode == m_mouseModeButton) mouseModeStress();
  m_mouseModeButton = m_mouseMode;
}

int MightyMouseView::mouseModeForModifiers(Qt::KeyboardModifiers) const { return 0; }

QCursor MightyMouseView::cursorForMouseMode(int) const { return defaultCursor(); }

void MightyMouseView::flagsChanged(Qt::KeyboardModifiers modifiers) {
  if (disablePseudoSuper() || m_mouseIsDown) return;
  // Shift belongs to the gestures themselves; the keypad flag is no key the user holds.
  Qt::KeyboardModifiers held = modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  if (held != Qt::NoModifier)
    setTemporaryMouseMode(mouseModeForModifiers(held));
  else
    restorePermanentMouseMode();
  synchronizeCursorWithMouseMode();
}

void MightyMouseView::synchronizeCursorWithMouseMode() {
  if (rect().contains(mapFromGlobal(QCursor::pos()))) setCursor(cursorForMouseMode(m_mouseMode));
}

MightyMouseView::Route MightyMouseView::routeForMode() const {
  if (m_mouseMode == rightMouseMode()) return Route::Right;
  if (m_mouseMode == otherMouseMode()) return Route::Other;
  return Route::Left;
}

void MightyMouseView::mousePressEvent(QMouseEvent* event) {
  if (!m_enabled || m_mouseIsDown) return;
  // Modifier keys held before the press reach an unfocused view only with the press.
  flagsChanged(event->modifiers());
  m_mouseIsDown = true;
  m_pressButton = event->button();
  switch (event->button()) {
    case Qt::LeftButton: m_pressRoute = routeForMode(); break;
    case Qt::RightButton: m_pressRoute = Route::Right; break;
    default: m_pressRoute = Route::Other; break;
  }
  switch (m_pressRoute) {
    case Route::Right: rightMouseDown(event); break;
    case Route::Other: otherMouseDown(event); break;
    case Route::Left: leftMouseDown(event); break;
  }
}

void MightyMouseView::mouseMoveEvent(QMouseEvent* event) {
  if (!m_mouseIsDown) {
    if (event->buttons() == Qt::NoButton) mouseMoved(event);
    return;
  }
  switch (m_pressRoute) {
    case Route::Right: rightMouseDragged(event); break;
    case Route::Other: otherMouseDragged(event); break;
    case Route::Left: leftMouseDragged(event); break;
  }
}

void MightyMouseView::mouseReleaseEvent(QMouseEvent* event) {
  if (!m_mouseIsDown || event->button() != m_pressButton) return;
  switch (m_pressRoute) {
    case Route::Right: rightMouseUp(event); break;
    case Route::Other: otherMouseUp(event); break;
    case Route::Left: leftMouseUp(event); break;
  }
  // Whatever a subclass does, the press is over.
  m_mouseIsDown = false;
}

void MightyMouseView::leftMouseUp(QMouseEvent* event) {
  m_mouseIsDown = false;
  flagsChanged(event->modifiers());
}

void MightyMouseView::rightMouseUp(QMouseEvent* event) {
  m_mouseIsDown = false;
  flagsChanged(event->modifiers());
}

void MightyMouseView::otherMouseUp(QMouseEvent* event) {
  m_mouseIsDown = false;
  flagsChanged(event->modifiers());
}

void MightyMouseView::keyPressEvent(QKeyEvent* event) {
  flagsChanged(event->modifiers());
  QWidget::keyPressEvent(event);
}

void MightyMouseView::keyReleaseEvent(QKeyEvent* event) {
  flagsChanged(event->modifiers());
  QWidget::keyReleaseEvent(event);
}

void MightyMouseView::enterEvent(QEnterEvent* event) {
  setCursor(cursorForMouseMode(m_mouseMode));
  QWidget::enterEvent(event);
}

}  // namespace orb::rendering
