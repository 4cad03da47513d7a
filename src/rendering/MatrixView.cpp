#include "rendering/MatrixView.h"

#include <QImage>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace orb::rendering {

VKMatrixView::VKMatrixView(QWidget* parent) : ActiveMouseView(parent) {}

VKMatrixView::MatrixPtr VKMatrixView::matrix() const {
  std::lock_guard lock(m_lock);
  return m_matrix;
}

void VKMatrixView::setMatrix(MatrixPtr matrix) {
  {
    std::lock_guard lock(m_lock);
    m_matrix = std::move(matrix);
  }
  auto redisplay = [this] {
    setBackgroundColor(palette().color(QPalette::Base));
    update();
  };
  // Widgets are touched on their own thread only; a queued call dies with the view.
  if (QThread::currentThread() == thread())
    redisplay();
  else
    QMetaObject::invokeMethod(this, redisplay, Qt::QueuedConnection);
}

void VKMatrixView::setEnhance(bool enhance) {
  m_enhance = enhance;
  update();
}

double VKMatrixView::matrixElementSizeForMatrix(const foundation::Matrix& matrix, QSizeF frame) const {
  constexpr double none = std::numeric_limits<double>::infinity();
  const double byWidth = matrix.nRows() ? frame.width() / double(matrix.nRows()) : none;
  const double byHeight = matrix.nCols() ? frame.height() / double(matrix.nCols()) : none;
  double s = std::min(byWidth, byHeight);
  if (!std::isfinite(s) || s < 0) s = 0;
  return usesIntegerMatrixElementSize() ? std::floor(s) : s;
}

void VKMatrixView::frameWillRepresentMatrix(const foundation::Matrix& matrix) {
  std::lock_guard lock(m_lock);
  const double s = matrixElementSizeForMatrix(matrix, QSizeF(width(), height()));
  m_matrixElementSize = s;
  m_x0 = std::floor((width() - double(matrix.nRows()) * s) / 2);
  m_y0 = std::floor((height() - double(matrix.nCols()) * s) / 2);
}

QRectF VKMatrixView::rectForMinI(double minI, double maxI, double minJ, double maxJ) const {
  const double s = m_matrixElementSize;
  if (usesIntegerMatrixElementSize())
    return QRectF(m_x0 + minI * s, m_y0 + minJ * s, (maxI - minI) * s, (maxJ - minJ) * s);
  const double left = std::floor(minI * s), bottom = std::floor(minJ * s);
  return QRectF(m_x0 + left, m_y0 + bottom, std::floor(maxI * s) - left, std::floor(maxJ * s) - bottom);
}

QRectF VKMatrixView::toWidget(const QRectF& viewRect) const {
  return QRectF(viewRect.x(), height() - viewRect.y() - viewRect.height(), viewRect.width(), viewRect.height());
}

QPointF VKMatrixView::viewPointForWidgetPoint(QPointF widgetPoint) const {
  return QPointF(widgetPoint.x(), height() - widgetPoint.y());
}

QPointF VKMatrixView::userPointForViewPoint(QPointF p) {
  std::lock_guard lock(m_lock);
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  if (!m_matrix) return QPointF(nan, nan);
  frameWillRepresentMatrix(*m_matrix);
  const double s = m_matrixElementSize;
  const double w = s * double(m_matrix->nRows()), h = s * double(m_matrix->nCols());
  if (!(w > 0) || !(h > 0)) return QPointF(nan, nan);
  return QPointF((p.x() - m_x0) / w, (p.y() - m_y0) / h);
}

void VKMatrixView::resetPOI() {
  if (auto d = m_delegate.lock()) d->setDrawsElementCursor(false);
  update();
}

// --- drawing ----------------------------------------------------------------------------------

void VKMatrixView::drawRect(QPainter& painter) {
  ActiveMouseView::drawRect(painter);
  std::lock_guard lock(m_lock);
  if (!m_matrix || m_matrix->numberOfElements() == 0) return;
  const MatrixPtr matrix = m_matrix;
  frameWillRepresentMatrix(*matrix);
  drawMatrix(painter, *matrix);
  if (auto d = m_delegate.lock()) {
    drawSelectionIndicatorForMatrix(painter, *matrix, *d);
    drawCircle(painter, *d);
  }
}

void VKMatrixView::drawMatrix(QPainter& painter, const foundation::Matrix& matrix) {
  const std::size_t n = matrix.nRows(), m = matrix.nCols();
  const double* values = matrix.rowMajorStorage();
  // Normalised by the largest magnitude; NaN elements count as nothing. Without a
  // usable scale (all zero, or an infinite element) every cell is black.
  double largest = 0;
  for (std::size_t k = 0; k < n * m; ++k)
    if (!std::isnan(values[k])) largest = std::max(largest, std::fabs(values[k]));
  const double a = (largest > 0 && std::isfinite(largest)) ? 1 / largest : 0;

  // Cell edges rounded down, as rectForMinI places them: neighbours share edges and a
  // cell narrower than a unit may vanish. The cells become one image in a single pass.
  std::vector<int> xEdge(n + 1), yEdge(m + 1);
  for (std::size_t i = 0; i <= n; ++i) xEdge[i] = int(rectForMinI(0, double(i), 0, 0).width());
  for (std::size_t j = 0; j <= m; ++j) yEdge[j] = int(rectForMinI(0, 0, 0, double(j)).height());
  const int w = xEdge[n], h = yEdge[m];
  if (w <= 0 || h <= 0) return;
  QImage image(w, h, QImage::Format_RGB32);
  for (std::size_t i = 0; i < n; ++i) {
    if (xEdge[i + 1] <= xEdge[i]) continue;
    for (std::size_t j = 0; j < m; ++j) {
      if (yEdge[j + 1] <= yEdge[j]) continue;
      double g = a * values[i * m + j];
      g = g > 0 ? std::min(g, 1.0) : 0.0;  // NaN too
      if (m_enhance) g = std::sqrt(g);
      const int level = int(std::lround(g * 255));
      const QRgb grey = qRgb(level, level, level);
      // Image rows run downwards from the picture's top edge.
      for (int y = h - yEdge[j + 1]; y < h - yEdge[j]; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row + xEdge[i], row + xEdge[i + 1], grey);
      }
    }
  }
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(toWidget(QRectF(m_x0, m_y0, w, h)).topLeft(), image);
  painter.restore();
}

void VKMatrixView::frameRect(QPainter& painter, const QRectF& viewRect, const QColor& color) const {
  const QRectF r = toWidget(viewRect);
  if (r.width() <= 0 || r.height() <= 0) return;
  painter.fillRect(QRectF(r.left(), r.top(), r.width(), 1), color);
  painter.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), color);
  painter.fillRect(QRectF(r.left(), r.top(), 1, r.height()), color);
  painter.fillRect(QRectF(r.right() - 1, r.top(), 1, r.height()), color);
}

void VKMatrixView::drawSelectionIndicatorForMatrix(QPainter& painter, const foundation::Matrix& matrix,
                                                   const VKMatrixViewDelegate& delegate) {
  const auto n = static_cast<std::int64_t>(matrix.nRows()), m = static_cast<std::int64_t>(matrix.nCols());
  if (delegate.drawsSliceCursor() && delegate.useSlice()) {
    const std::int64_t k = delegate.sliceIndex();
    const int b = delegate.binDimension();
    const auto kd = double(k);
    if (!delegate.useDiagonal()) {
      const QRectF band = b != 0 ? rectForMinI(0, double(n), kd, kd + 1) : rectForMinI(kd, kd + 1, 0, double(m));
      frameRect(painter, band, Qt::cyan);
    } else {
      auto cell = [&](double i, double j) { frameRect(painter, rectForMinI(i, i + 1, j, j + 1), Qt::green); };
      const bool skew = delegate.useSkew();
      if (n == m) {
        if (!skew) {
          for (std::int64_t j = std::max<std::int64_t>(0, -k); j < n && j + k < n; ++j) cell(double(j + k), double(j));
        } else {
          // i + j = n − 1 + k
          for (std::int64_t i = std::max<std::int64_t>(0, k); i < n && n - 1 + k - i >= 0; ++i)
            cell(double(i), double(n - 1 + k - i));
        }
      } else if (b != 1) {
        // One cell per column along the corner-to-corner line; a single column has no line.
        if (m > 1) {
          const double slope = double(n - 1) / double(m - 1);
          for (std::int64_t j = skew ? 0 : std::max<std::int64_t>(-k, 0); j < m; ++j) {
            const std::int64_t t = skew ? m - 1 + k - j : j + k;
            if (t < 0) break;
            const double i = double(t) * slope;
            if (i > double(n - 1)) {
              if (skew) continue;
              break;
            }
            cell(i, double(j));
          }
        }
      } else if (n > 1) {
        const double slope = double(m - 1) / double(n - 1);
        for (std::int64_t i = skew ? 0 : std::max<std::int64_t>(k, 0); i < n; ++i) {
          const std::int64_t t = skew ? n - 1 + k - i : i - k;
          if (t < 0) break;
          const double j = double(t) * slope;
          if (j > double(m - 1)) {
            if (skew) continue;
            break;
          }
          cell(double(i), j);
        }
      }
    }
  }
  if (delegate.drawsElementCursor()) {
    const auto [pi, pj] = delegate.matrixIndexForMonitorPoint();
    const double i = std::isfinite(pi) ? std::trunc(std::max(pi, 0.0)) : 0;
    const double j = std::isfinite(pj) ? std::trunc(std::max(pj, 0.0)) : 0;
    frameRect(painter, rectForMinI(i, i + 1, j, j + 1), Qt::red);
  }
}

void VKMatrixView::drawCircle(QPainter& painter, const VKMatrixViewDelegate& delegate) {
  if (!delegate.useCircle()) return;
  const QRectF c = delegate.circleRect();
  if (!std::isfinite(c.x()) || !std::isfinite(c.y()) || !std::isfinite(c.width()) || !std::isfinite(c.height())) return;
  painter.save();
  painter.setPen(QPen(Qt::red, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(toWidget(rectForMinI(c.x(), c.x() + c.width(), c.y(), c.y() + c.height())));
  painter.restore();
}

// --- mouse ------------------------------------------------------------------------------------

bool VKMatrixView::reportPoint(QMouseEvent* event) {
  auto d = m_delegate.lock();
  if (!d) return false;
  const QPointF p = userPointForViewPoint(viewPointForWidgetPoint(event->position()));
  if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return false;
  d->setPointInUnitSquare(p.x(), p.y());
  update();
  return true;
}

void VKMatrixView::leftMouseDown(QMouseEvent* event) { reportPoint(event); }

void VKMatrixView::leftMouseDragged(QMouseEvent* event) {
  if (QRectF(rect()).contains(event->position())) reportPoint(event);
}

void VKMatrixView::leftMouseUp(QMouseEvent* event) {
  if (reportPoint(event))
    if (auto d = m_delegate.lock()) d->kick();
  update();
  MightyMouseView::leftMouseUp(event);
}

}  // namespace orb::rendering
