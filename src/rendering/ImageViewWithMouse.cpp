#include "rendering/ImageViewWithMouse.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolTip>

#include "rendering/TooltipLikeWindow.h"

namespace orb::rendering {

// --- ImageViewWithMouse --------------------------------------------------------------------------

ImageViewWithMouse::ImageViewWithMouse(QWidget* parent) : ImageView(parent) {}

std::optional<QPointF> ImageViewWithMouse::fractionalImageCoordinatesForLocation(QPointF p) const {
  const QRectF frame(imageFrame());
  if (!(frame.width() > 0) || !(frame.height() > 0)) return std::nullopt;
  // Qt's y grows downward; the unit square's y grows upward from the image's bottom edge.
  return QPointF((p.x() - frame.x()) / frame.width(), (frame.y() + frame.height() - p.y()) / frame.height());
}

std::optional<QPointF> ImageViewWithMouse::fractionalImageCoordinatesForLocationInWindow(QPointF windowPoint) const {
  return fractionalImageCoordinatesForLocation(mapFrom(window(), windowPoint));
}

void ImageViewWithMouse::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return ImageView::mousePressEvent(event);
  if (const auto point = fractionalImageCoordinatesForLocation(event->position()); point && m_delegate)
    m_delegate(*point);
  event->accept();
}

// --- OBImageView ------------------------------------------------------------------------------------

std::unique_ptr<QWidget> showInstantTooltip(const QString& text, QPoint bottomLeft) {
  auto* label = new QLabel(text);
  label->setFont(QToolTip::font());
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  label->setContentsMargins(3, 2, 3, 2);
  label->adjustSize();
  const QSize size = label->size();
  auto window = tooltipLikeWindowWithContentRect(QRect(QPoint(bottomLeft.x(), bottomLeft.y() - size.height()), size));
  label->setParent(window.get());
  label->move(0, 0);
  window->show();
  return window;
}

OBImageView::OBImageView(QWidget* parent) : ImageView(parent) {}

OBImageView::~OBImageView() = default;

QPoint OBImageView::instantTooltipAnchor() const { return mapToGlobal(QPoint(width() + 4, height())); }

void OBImageView::hideInstantTooltip() { m_tooltip.reset(); }

void OBImageView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return ImageView::mousePressEvent(event);
  hideInstantTooltip();
  if (!toolTip().isEmpty()) m_tooltip = showInstantTooltip(toolTip(), instantTooltipAnchor());
  event->accept();
}

void OBImageView::leaveEvent(QEvent* event) {
  hideInstantTooltip();
  ImageView::leaveEvent(event);
}

void OBImageView::hideEvent(QHideEvent* event) {
  hideInstantTooltip();
  ImageView::hideEvent(event);
}

}  // namespace orb::rendering
