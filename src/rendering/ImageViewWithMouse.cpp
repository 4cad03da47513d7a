#include "rendering/ImageViewWithMouse.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolTip>

#include "rendering/InstantTooltip.h"

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

OBImageView::OBImageView(QWidget* parent) : ImageView(parent) {}

OBImageView::~OBImageView() = default;

QPoint OBImageView::instantTooltipAnchor() const { return mapToGlobal(QPoint(width() + 4, height())); }

void OBImageView::hideInstantTooltip() { m_tooltip.reset(); }

void OBImageView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return ImageView::mousePressEvent(event);
  hideInstantTooltip();
  if (!toolTip().isEmpty()) m_tooltip = OBInstantTooltip::show(toolTip(), instantTooltipAnchor());
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
