#pragma once

#include <QColor>
#include <QPainter>
#include <functional>
#include <memory>
#include <vector>

#include "lens/PlanarDrawing.h"
#include "rendering/PlanarView.h"

namespace orb::analysis {
class LayoutCalculator;
}

namespace orb::app {

/// The layout's 2-D painter on a QPainter that already maps lens units onto the
/// view. Paths keep the default width of 1 as one screen point; any other width
/// is in lens units (the layout asks for multiples of the pixel width).
class QtPainter2D : public lens::Painter2D {
 public:
  explicit QtPainter2D(QPainter& painter);

  void saveGraphicsState() override;
  void restoreGraphicsState() override;
  void concat(const lens::PlanarAffineTransform& transform) override;
  void setColor(const std::shared_ptr<const platform::Color>& color) override;
  void stroke(const lens::PlanarBezierPath& path) override;
  void fill(const lens::PlanarBezierPath& path) override;
  void fillCircle(foundation::XY centre, double radius) override;
  void strokeCircle(foundation::XY centre, double radius) override;
  void strokePath(const lens::PlanarPath& path, double lineWidth) override;
  void fillSquare(foundation::XY centre, double side) override;

 private:
  QPen penOfWidth(double lineWidth) const;
  QPainter& m_painter;
  QColor m_color = Qt::black;
  std::vector<QColor> m_savedColors;
};

/// The layout calculator as the planar view's model: the sections drawn through
/// QtPainter2D, the calculator's box, and the view's selection turned into
/// surface selections and thickness drags. A drag raises the immediate-update
/// flag from its first step to its end, and its end is reported
/// (`setMoveEndedHandler`) so the document can close the drag's one undo step.
/// Main thread.
class LayoutPlanarModel : public rendering::PlanarViewModel {
 public:
  explicit LayoutPlanarModel(const std::shared_ptr<analysis::LayoutCalculator>& calculator);
  ~LayoutPlanarModel() override;

  void drawZY(QPainter& painter, const platform::Dictionary& contentOptions) override;
  void drawZX(QPainter& painter, const platform::Dictionary& contentOptions) override;
  /// The calculator's box; null while there is nothing to draw.
  std::shared_ptr<geometry::Extents> extents() const override;
  void beginMovingRect(const QRectF& rect) override;
  std::optional<double> moveRectBy(double dz) override;
  void endMovingRect() override;
  /// Surfaces cannot be inserted from the layout yet; the paste is logged and
  /// dropped.
  void pasteFromMimeData(const QMimeData& data) override;
  void setFixedSurfaceColor(const QColor& color) override;
  void setSurfaceColorOption(const std::string& option) override;

  void setMoveEndedHandler(std::function<void()> handler) { m_moveEnded = std::move(handler); }
  bool isMoving() const { return m_moving; }
  std::shared_ptr<analysis::LayoutCalculator> calculator() const { return m_calculator.lock(); }

 private:
  std::weak_ptr<analysis::LayoutCalculator> m_calculator;
  std::function<void()> m_moveEnded;
  bool m_moving = false;
};

}  // namespace orb::app
