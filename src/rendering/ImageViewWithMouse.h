#pragma once

#include <QPointF>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

#include "rendering/ImageView.h"

namespace orb::rendering {

/// An image view that reports where it is clicked, as a point of the unit square over the
/// image: (0, 0) at the image's lower-left corner, (1, 1) at its upper-right (y upward).
class ImageViewWithMouse : public ImageView {
 public:
  /// Receives the clicked point (`setPointInUnitSquare`).
  using Delegate = std::function<void(QPointF pointInUnitSquare)>;

  explicit ImageViewWithMouse(QWidget* parent = nullptr);

  void setDelegate(Delegate delegate) { m_delegate = std::move(delegate); }

  /// The point of the unit square under `viewPoint` (view coordinates, y downward):
  /// outside [0, 1] when the point lies beside the image; none while the image has no area.
  std::optional<QPointF> fractionalImageCoordinatesForLocation(QPointF viewPoint) const;
  /// The same for a point in the window's coordinates.
  std::optional<QPointF> fractionalImageCoordinatesForLocationInWindow(QPointF windowPoint) const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Delegate m_delegate;
};

/// An image view whose tool tip shows at once when it is clicked, just right of the view
/// and level with its bottom edge. The tip stays until the next click, until the mouse
/// leaves the view or the view hides.
class OBImageView : public ImageView {
 public:
  explicit OBImageView(QWidget* parent = nullptr);
  ~OBImageView() override;

  /// The tip's window while it shows, else null.
  QWidget* instantTooltip() const { return m_tooltip.get(); }
  /// Where the tip's lower-left corner goes, in global coordinates.
  QPoint instantTooltipAnchor() const;
  void hideInstantTooltip();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  std::unique_ptr<QWidget> m_tooltip;
};

}  // namespace orb::rendering
