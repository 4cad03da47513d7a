#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace orb::rendering::test {

inline void sendMouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, at, w->mapToGlobal(at), button, held, modifiers);
  QApplication::sendEvent(w, &event);
}

/// A press, optional drag to `to`, and release of the left button.
inline void click(QWidget* w, QPointF at, QPointF to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  sendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, modifiers);
  if (to != at) sendMouse(w, QEvent::MouseMove, to, Qt::LeftButton, modifiers);
  sendMouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, modifiers);
}

inline void wheel(QWidget* w, QPointF at, int angleY) {
  QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, angleY), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &event);
}

}  // namespace orb::rendering::test
