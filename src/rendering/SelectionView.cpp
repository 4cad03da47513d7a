#include "rendering/SelectionView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "analysis/ImmediateUpdate.h"
#include "rendering/Cursors.h"

namespace orb::rendering {
namespace {

constexpr double kHandle = 2.0;    // half the thickness of a resize handle
constexpr double kBandHalf = 5.0;  // half the height of the move band
constexpr double kDragSlop = 2.0;  // a press that moves no further is a click

// Half-open, as hit tests of adjacent handles must not both claim their common edge.
bool inside(QPointF p, const QRectF& r) {
  return p.x() >= r.x() && p.x() < r.x() + r.width() && p.y() >= r.y() && p.y() < r.y() + r.height();
}

void fillAndStroke(QPainter& painter, const QRectF& r, QColor c, double fillAlpha, double strokeAlpha) {
  QColor fill = c, stroke = c;
  fill.setAlphaF(float(fillAlpha));
  stroke.setAlphaF(float(strokeAlpha));
  QPen pen(stroke);
  pen.setCosmetic(true);
  pen.setWidthF(1.0);
  painter.setPen(pen);
  painter.setBrush(fill);
  painter.drawRect(r);
}

}  // namespace

SelectionView::SelectionView(QWidget* parent) : SmoothZoomView(parent) { m_drawnMouseMode = mouseMode(); }

SelectionView::~SelectionView() {
  // A view closed in the middle of a move must not leave the analyses hurrying.
  if (m_moving) analysis::setImmediateUpdate(false);
}

void SelectionView::setSelectionRect(const QRectF& rect, bool shown) {
  m_selectionRect = rect;
  m_drawSelectionRect = shown;
  m_latentSelectionRect = false;
  update();
}

QRectF SelectionView::viewRectForUserRect(const QRectF& r) {
  QPointF a = viewPointForUserPoint(r.topLeft()), b = viewPointForUserPoint(r.bottomRight());
  return QRectF(a, b).normalized();
}

// The handle geometry reads only the present mapping; the mapping functions are not const
// because subclasses may override them.
QRectF SelectionView::viewRectForSelection() const {
  QRectF s = const_cast<SelectionView*>(this)->viewRectForUserRect(m_selectionRect);
  return {s.x() + kHandle, s.y() + kHandle, s.width() - 2 * kHandle, s.height() - 2 * kHandle};
}

QRectF SelectionView::viewRectForResizeBottom() const {
  QRectF s = const_cast<SelectionView*>(this)->viewRectForUserRect(m_selectionRect);
  return {s.x() + kHandle, s.y() - kHandle, s.width() - 2 * kHandle, 2 * kHandle};
}

QRectF SelectionView::viewRectForResizeTop() const {
  QRectF s = const_cast<SelectionView*>(this)->viewRectForUserRect(m_selectionRect);
  return {s.x() + kHandle, s.y() + s.height() - kHandle, s.width() - 2 * kHandle, 2 * kHandle};
}

QRectF SelectionView::viewRectForResizeLeft() const {
  QRectF s = const_cast<SelectionView*>(this)->viewRectForUserRect(m_selectionRect);
  return {s.x() - kHandle, s.y() + kHandle, 2 * kHandle, s.height() - 2 * kHandle};
}

QRectF SelectionView::viewRectForResizeRight() const {
  QRectF s = const_cast<SelectionView*>(this)->viewRectForUserRect(m_selectionRect);
  return {s.x() + s.width() - kHandle, s.y() + kHandle, 2 * kHandle, s.height() - 2 * kHandle};
}

QRectF SelectionView::viewRectForSurfaceMove() const {
  QRectF s = viewRectForSelection();
  double a = const_cast<SelectionView*>(this)->viewPointForUserPoint(QPointF(0, 0)).y();
  if (s.y() <= a - kBandHalf && s.y() + s.height() >= a + kBandHalf)
    return {s.x(), a - kBandHalf, s.width(), 2 * kBandHalf};
  return {};
}

QMenu* SelectionView::menuForViewPoint(QPointF p) const {
  if (m_drawSelectionRect && inside(p, viewRectForSelection())) return m_selectionMenu;
  return m_graphicsMenu;
}

void SelectionView::contextMenuEvent(QContextMenuEvent* event) {
  QPointF p(event->pos().x(), height() - event->pos().y());
  if (QMenu* menu = menuForViewPoint(p)) {
    menu->exec(event->globalPos());
    event->accept();
  } else {
    SmoothZoomView::contextMenuEvent(event);
  }
}

void SelectionView::copy() {
  if (!m_drawSelectionRect) SmoothZoomView::copy();
}

void SelectionView::mouseModeStress() {
  SmoothZoomView::mouseModeStress();
  if (mouseMode() != Select) return;
  if (m_drawSelectionRect) {
    m_drawSelectionRect = false;
    m_latentSelectionRect = true;
  } else if (m_latentSelectionRect) {
    m_drawSelectionRect = true;
    m_latentSelectionRect = false;
  }
  update();
}

bool SelectionView::event(QEvent* e) {
  if (e->type() == QEvent::CursorChange && mouseMode() != m_drawnMouseMode) {
    m_drawnMouseMode = mouseMode();
    if (m_drawSelectionRect) update();
  }
  return SmoothZoomView::event(e);
}

QCursor SelectionView::cursorForViewPoint(QPointF p) const {
  if (mouseMode() == Select && m_drawSelectionRect) {
    QRectF band = viewRectForSurfaceMove();
    if (!band.isEmpty() && inside(p, band)) return leftRightCursor();
    if (inside(p, viewRectForResizeTop()) || inside(p, viewRectForResizeBottom())) return Qt::SizeVerCursor;
    if (inside(p, viewRectForResizeLeft()) || inside(p, viewRectForResizeRight())) return Qt::SizeHorCursor;
  }
  return cursorForMouseMode(mouseMode());
}

void SelectionView::mouseMoved(QMouseEvent* event) {
  SmoothZoomView::mouseMoved(event);
  // Qt has no cursor rectangles: the handles are hit-tested as the pointer moves.
  if (!mouseIsDown()) setCursor(cursorForViewPoint(viewPoint(event)));
}

void SelectionView::selectMouseDown(QMouseEvent* event) {
  QPointF p = viewPoint(event);
  m_pressViewPoint = m_lastViewPoint = p;
  m_previousUserPoint = userPointForViewPoint(p);
  m_resizeBottom = m_resizeTop = m_resizeLeft = m_resizeRight = m_moving = m_pressedInside = false;
  if (m_drawSelectionRect) {
    stopDragTiming();
    QRectF band = viewRectForSurfaceMove();
    if (cursorForViewPoint(p).shape() == Qt::SizeVerCursor) {
      // Where the handles overlap (a flat selection) the top one wins from its y − 1 up.
      if (p.y() < viewRectForResizeTop().y() - 1.0)
        m_resizeBottom = true;
      else
        m_resizeTop = true;
    } else if (inside(p, viewRectForResizeLeft())) {
      m_resizeLeft = true;
    } else if (inside(p, viewRectForResizeRight())) {
      m_resizeRight = true;
    } else if (!band.isEmpty() && inside(p, band)) {
      beginMovingRect(m_selectionRect);
      m_moving = true;
      analysis::setImmediateUpdate(true);
    } else if (inside(p, viewRectForSelection())) {
      m_pressedInside = true;
    }
  }
  if (!(m_resizeBottom || m_resizeTop || m_resizeLeft || m_resizeRight || m_moving || m_pressedInside)) {
    // A new rectangle: the old selection goes, so that a click outside it deselects.
    m_drawSelectionRect = false;
    m_latentSelectionRect = false;
    m_selectionRect = QRectF(m_previousUserPoint, QSizeF(0, 0));
    update();
  }
}

void SelectionView::selectMouseDragged(QMouseEvent* event) {
  if (m_pressedInside) return;
  if (m_moving)
    dragSelectionRectForMouseEvent(event);
  else if (m_resizeBottom)
    resizeBottomForMouseEvent(event);
  else if (m_resizeTop)
    resizeTopForMouseEvent(event);
  else if (m_resizeLeft)
    resizeLeftForMouseEvent(event);
  else if (m_resizeRight)
    resizeRightForMouseEvent(event);
  else
    updateSelectionRectForMouseEvent(event);
  updateMouseReadout(viewPoint(event));
}

void SelectionView::selectMouseUp(QMouseEvent* event) {
  if (m_pressedInside) {
    m_pressedInside = false;
  } else if (m_moving) {
    m_moving = false;
    analysis::setImmediateUpdate(false);
    endMovingRect();
  } else if (m_resizeBottom || m_resizeTop || m_resizeLeft || m_resizeRight) {
    m_resizeBottom = m_resizeTop = m_resizeLeft = m_resizeRight = false;
    // An edge dragged past its opposite one leaves a rectangle of negative size.
    m_selectionRect = m_selectionRect.normalized();
  } else {
    updateSelectionRectForMouseEvent(event);
    updateMouseReadout(viewPoint(event));
    beginMovingRect(m_selectionRect);  // the model takes the new selection
  }
  setCursor(cursorForViewPoint(viewPoint(event)));
}

void SelectionView::updateSelectionRectForMouseEvent(QMouseEvent* event) {
  QPointF v = viewPoint(event);
  m_userPoint = userPointForViewPoint(v);
  m_selectionRect = QRectF(m_previousUserPoint, m_userPoint).normalized();
  if (std::abs(v.x() - m_pressViewPoint.x()) > kDragSlop || std::abs(v.y() - m_pressViewPoint.y()) > kDragSlop)
    m_drawSelectionRect = true;
  update();
}

void SelectionView::resizeBy(QMouseEvent* event, bool bottom, bool top, bool left, bool right) {
  m_userPoint = userPointForViewPoint(viewPoint(event));
  QPointF d = m_userPoint - m_previousUserPoint;
  QRectF& r = m_selectionRect;
  double x = r.x(), y = r.y(), w = r.width(), h = r.height();
  if (bottom) {
    y += d.y();
    h -= d.y();
  }
  if (top) h += d.y();
  if (left) {
    x += d.x();
    w -= d.x();
  }
  if (right) w += d.x();
  r = QRectF(x, y, w, h);
  m_previousUserPoint = m_userPoint;
  update();
}

void SelectionView::resizeBottomForMouseEvent(QMouseEvent* event) { resizeBy(event, true, false, false, false); }
void SelectionView::resizeTopForMouseEvent(QMouseEvent* event) { resizeBy(event, false, true, false, false); }
void SelectionView::resizeLeftForMouseEvent(QMouseEvent* event) { resizeBy(event, false, false, true, false); }
void SelectionView::resizeRightForMouseEvent(QMouseEvent* event) { resizeBy(event, false, false, false, true); }

void SelectionView::applyModelShift(std::optional<double> shift) {
  if (!shift) return;
  // The model scrolled the view to follow what moved.
  setXMin(xMin() + *shift);
  setXMax(xMax() + *shift);
  m_selectionRect.translate(*shift, 0);
  adjustWindow();
}

void SelectionView::dragSelectionRectForMouseEvent(QMouseEvent* event) {
  QPointF v = viewPoint(event);
  double dx = userPointForViewPoint(v).x() - userPointForViewPoint(m_lastViewPoint).x();
  m_lastViewPoint = v;
  applyModelShift(moveRectBy(dx));
  m_selectionRect.translate(dx, 0);
  update();
}

void SelectionView::moveSelectionRectBy(double dx) {
  beginMovingRect(m_selectionRect);
  applyModelShift(moveRectBy(dx));
  endMovingRect();
  m_selectionRect.translate(dx, 0);
  update();
}

void SelectionView::keyPressEvent(QKeyEvent* event) {
  if (m_drawSelectionRect && (event->key() == Qt::Key_Right || event->key() == Qt::Key_Left)) {
    // Out of the way until the mouse moves again.
    setCursor(Qt::BlankCursor);
    moveSelectionRectBy(event->key() == Qt::Key_Right ? 0.1 : -0.1);
    event->accept();
    return;
  }
  SmoothZoomView::keyPressEvent(event);
}

void SelectionView::drawBoxes(QPainter& painter) {
  SmoothZoomView::drawBoxes(painter);
  if (!m_drawSelectionRect) return;
  QColor c = colorHavingGoodContrastAgainstBackground();
  painter.save();
  if (mouseMode() == Select)
    fillAndStroke(painter, m_selectionRect, c, 0.1, 1.0);
  else
    fillAndStroke(painter, m_selectionRect, c, 0.02, 0.2);
  painter.restore();
}

void SelectionView::drawViewBoxes(QPainter& painter) {
  SmoothZoomView::drawViewBoxes(painter);
  if (!m_drawSelectionRect) return;
  QRectF band = viewRectForSurfaceMove();
  if (band.isEmpty()) return;
  QColor c = colorHavingGoodContrastAgainstBackground();
  painter.save();
  // View boxes are in view coordinates, y up.
  painter.translate(0, height());
  painter.scale(1, -1);
  if (mouseMode() == Select)
    fillAndStroke(painter, band, c, 0.2, 1.0);
  else
    fillAndStroke(painter, band, c, 0.02, 0.2);
  painter.restore();
}

}  // namespace orb::rendering
