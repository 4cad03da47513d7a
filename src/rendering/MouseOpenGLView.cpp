#include "rendering/MouseOpenGLView.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace orb::rendering {

MouseOpenGLView::MouseOpenGLView(QWidget* parent) : QOpenGLWidget(parent) {
  setMouseTracking(true);
  setCursor(defaultCursor());
}

void MouseOpenGLView::setMouseMode(int mode) {
  m_mouseMode = mode;
  setCursor(cursorForMouseMode(mode));
  if (m_mouseModeChanged) m_mouseModeChanged(mode);
}

void MouseOpenGLView::setTemporaryMouseMode(int mode) {
  if (!m_mouseModeIsTemporary) m_permanentMouseMode = m_mouseMode;
  m_mouseModeIsTemporary = true;
  setMouseMode(mode);
}

void MouseOpenGLView::restorePermanentMouseMode() {
  if (m_mouseModeIsTemporary) setMouseMode(m_permanentMouseMode);
  m_mouseModeIsTemporary = false;
  setCursor(cursorForMouseMode(m_mouseMode));
}

void MouseOpenGLView::mouseModeAction() {
  if (m_mouseMode == m_mouseModeButton) mouseModeStress();
  m_mouseModeButton = m_mouseMode;
}

Qt::KeyboardModifiers MouseOpenGLView::modeModifiers(Qt::KeyboardModifiers modifiers) const {
  Qt::KeyboardModifiers ignored = Qt::ShiftModifier | Qt::KeypadModifier | Qt::MetaModifier;
  if (!disableContextualMenus()) ignored |= Qt::ControlModifier;
  return modifiers & ~ignored;
}

void MouseOpenGLView::flagsChanged(Qt::KeyboardModifiers modifiers) {
  if (m_mouseIsDown) return;
  const Qt::KeyboardModifiers held = modeModifiers(modifiers);
  if (held != Qt::NoModifier)
    setTemporaryMouseMode(mouseModeForModifiers(held));
  else
    restorePermanentMouseMode();
  synchronizeCursorWithMouseMode();
}

void MouseOpenGLView::synchronizeCursorWithMouseMode() {
  if (rect().contains(mapFromGlobal(QCursor::pos()))) setCursor(cursorForMouseMode(m_mouseMode));
}

void MouseOpenGLView::mouseDown(QMouseEvent* event) {
  if (!m_enabled || m_mouseIsDown) return;
  // Modifiers pressed while another window had the keys reach this view with the press.
  flagsChanged(event->modifiers());
  m_pressButton = event->button();
  if (m_pressButton == Qt::RightButton && !disableContextualMenus()) {
    // The platform's contextual menu takes it.
    event->ignore();
    return;
  }
  m_mouseIsDown = true;
  switch (m_pressButton) {
    case Qt::LeftButton:
      m_pressRoute = m_mouseMode == rightMouseMode()   ? Route::Right
                     : m_mouseMode == otherMouseMode() ? Route::Other
                                                       : Route::Left;
      break;
    case Qt::RightButton: m_pressRoute = Route::Right; break;
    default: m_pressRoute = Route::Other; break;
  }
  switch (m_pressRoute) {
    case Route::Right: rightMouseDown(event); break;
    case Route::Other: otherMouseDown(event); break;
    case Route::Left: leftMouseDown(event); break;
  }
}

void MouseOpenGLView::mouseDragged(QMouseEvent* event) {
  if (!m_mouseIsDown) return;
  switch (m_pressRoute) {
    case Route::Right: rightMouseDragged(event); break;
    case Route::Other: otherMouseDragged(event); break;
    case Route::Left: leftMouseDragged(event); break;
  }
}

void MouseOpenGLView::mouseUp(QMouseEvent* event) {
  if (!m_mouseIsDown || event->button() != m_pressButton) return;
  switch (m_pressRoute) {
    case Route::Right: rightMouseUp(event); break;
    case Route::Other: otherMouseUp(event); break;
    case Route::Left: leftMouseUp(event); break;
  }
  // Whatever a subclass does, the press is over.
  m_mouseIsDown = false;
}

void MouseOpenGLView::endMouseDown(QMouseEvent* event) {
  m_mouseIsDown = false;
  flagsChanged(event->modifiers());
}

void MouseOpenGLView::leftMouseUp(QMouseEvent* event) { endMouseDown(event); }
void MouseOpenGLView::rightMouseUp(QMouseEvent* event) { endMouseDown(event); }
void MouseOpenGLView::otherMouseUp(QMouseEvent* event) { endMouseDown(event); }

void MouseOpenGLView::mousePressEvent(QMouseEvent* event) { mouseDown(event); }
void MouseOpenGLView::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() != Qt::NoButton) mouseDragged(event);
}
void MouseOpenGLView::mouseReleaseEvent(QMouseEvent* event) { mouseUp(event); }

void MouseOpenGLView::keyPressEvent(QKeyEvent* event) {
  flagsChanged(event->modifiers());
  event->accept();
}

void MouseOpenGLView::keyReleaseEvent(QKeyEvent* event) {
  flagsChanged(event->modifiers());
  event->accept();
}

void MouseOpenGLView::enterEvent(QEnterEvent* event) {
  setCursor(cursorForMouseMode(m_mouseMode));
  QOpenGLWidget::enterEvent(event);
}

}  // namespace orb::rendering
