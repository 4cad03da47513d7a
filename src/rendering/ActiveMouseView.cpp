#include "rendering/ActiveMouseView.h"

#include <QMouseEvent>
#include <QTimer>
#include <cmath>

namespace orb::rendering {

void ActiveMouseView::setXMouse(double x) {
  m_xMouse = x;
  readoutChanged();
}

void ActiveMouseView::setYMouse(double y) {
  m_yMouse = y;
  readoutChanged();
}

void ActiveMouseView::setMouseValid(bool valid) {
  m_mouseValid = valid;
  readoutChanged();
}

void ActiveMouseView::setMouseValidAfterDelay(bool valid, double seconds) {
  // Bound to the view: a view closed in the meantime drops the call.
  QTimer::singleShot(int(std::lround(seconds * 1000)), this, [this, valid] { setMouseValid(valid); });
}

std::string ActiveMouseView::commentForPresentMousePosition() const {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g,%g", m_xMouse, m_yMouse);
  return buffer;
}

void ActiveMouseView::mouseMoved(QMouseEvent* event) {
  QPointF p = event->position();
  bool inside = rect().contains(p.toPoint());
  if (inside) {
    m_xMouse = p.x();
    m_yMouse = height() - p.y();
    readoutChanged();
  }
  setMouseValidAfterDelay(inside, 0.1);
}

void ActiveMouseView::leaveEvent(QEvent* event) {
  setMouseValid(false);
  BindingView::leaveEvent(event);
}

}  // namespace orb::rendering
