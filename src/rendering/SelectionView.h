#pragma once

#include <QPointF>
#include <QRectF>
#include <optional>

#include "rendering/SmoothZoomView.h"

class QMenu;

namespace orb::rendering {

/// A smoothly zooming view on which the user draws a selection rectangle in user
/// coordinates, resizes it by its edges and drags what lies under it along the horizontal
/// axis. It knows nothing of what it selects: the rectangle and the movement go to hooks a
/// subclass forwards to its model. The arrow keys nudge the selection; the context menu is
/// the selection menu inside the selection, the graphics menu elsewhere.
class SelectionView : public SmoothZoomView {
 public:
  explicit SelectionView(QWidget* parent = nullptr);
  ~SelectionView() override;

  bool drawsSelectionRect() const { return m_drawSelectionRect; }
  bool latentSelectionRect() const { return m_latentSelectionRect; }
  QRectF selectionRect() const { return m_selectionRect; }
  void setSelectionRect(const QRectF& rect, bool shown = true);
  /// Moves the objects under the selection and the selection itself by `dx` user units.
  void moveSelectionRectBy(double dx);

  // Handle rectangles in view coordinates (y up).
  QRectF viewRectForUserRect(const QRectF& userRect);
  QRectF viewRectForSelection() const;
  QRectF viewRectForResizeBottom() const;
  QRectF viewRectForResizeTop() const;
  QRectF viewRectForResizeLeft() const;
  QRectF viewRectForResizeRight() const;
  /// The band across the horizontal axis by which the selection is dragged; empty unless
  /// the selection reaches 5 px above and below the axis.
  QRectF viewRectForSurfaceMove() const;

  void setGraphicsMenu(QMenu* menu) { m_graphicsMenu = menu; }
  void setSelectionMenu(QMenu* menu) { m_selectionMenu = menu; }
  QMenu* graphicsMenu() const { return m_graphicsMenu; }
  QMenu* selectionMenu() const { return m_selectionMenu; }
  /// The menu for a context click at `viewPoint` (y up).
  QMenu* menuForViewPoint(QPointF viewPoint) const;
  bool hasContextMenu() const override { return m_graphicsMenu != nullptr || m_selectionMenu != nullptr; }

  bool disableContextualMenus() const override { return false; }
  bool disablePseudoSuper() const override { return !disableContextualMenus(); }
  void mouseModeStress() override;
  /// Nothing while a selection is shown, else the whole view.
  void copy() override;

  /// The cursor for a pointer at `viewPoint` (y up): handles in select mode, else the mode's.
  QCursor cursorForViewPoint(QPointF viewPoint) const;
  void mouseMoved(QMouseEvent* event) override;

 protected:
  // Hooks the planar view forwards to its model.
  virtual void beginMovingRect(const QRectF& rect) { (void)rect; }
  virtual std::optional<double> moveRectBy(double dx) {
    (void)dx;
    return std::nullopt;
  }
  virtual void endMovingRect() {}
  virtual void transferSelectionToModel() {}

  void selectMouseDown(QMouseEvent* event) override;
  void selectMouseDragged(QMouseEvent* event) override;
  void selectMouseUp(QMouseEvent* event) override;
  void updateSelectionRectForMouseEvent(QMouseEvent* event);
  void dragSelectionRectForMouseEvent(QMouseEvent* event);
  void resizeBottomForMouseEvent(QMouseEvent* event);
  void resizeTopForMouseEvent(QMouseEvent* event);
  void resizeLeftForMouseEvent(QMouseEvent* event);
  void resizeRightForMouseEvent(QMouseEvent* event);

  void drawBoxes(QPainter& painter) override;
  void drawViewBoxes(QPainter& painter) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  /// Drawing depends on the mode: a mode change (seen as its cursor change) redisplays.
  bool event(QEvent* event) override;

 private:
  /// Applies a shift the model answered: the data range and the selection follow it.
  void applyModelShift(std::optional<double> shift);
  void resizeBy(QMouseEvent* event, bool bottom, bool top, bool left, bool right);

  bool m_drawSelectionRect = false;
  QRectF m_selectionRect;
  bool m_latentSelectionRect = false;
  QMenu* m_graphicsMenu = nullptr;
  QMenu* m_selectionMenu = nullptr;
  // Gesture state of the press under way.
  QPointF m_pressViewPoint, m_lastViewPoint, m_userPoint, m_previousUserPoint;
  bool m_resizeBottom = false, m_resizeTop = false, m_resizeLeft = false, m_resizeRight = false;
  bool m_moving = false, m_pressedInside = false;
  int m_drawnMouseMode = 0;
};

}  // namespace orb::rendering
