#pragma once

#include <QColor>
#include <QPainter>
#include <functional>
#include <memory>
#include <string>
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
/// Each selection the view makes, and the surfaces a paste inserts, are reported
/// as surface indexes (`setSelectionHandler`). Main thread.
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
  /// Inserts the pasted surfaces into the lens where the surface table would: at
  /// the last selected surface, before the image surface without a selection (never
  /// before the object surface). All of them in one pass, so the document makes one
  /// undo step of the paste; the new surfaces become the selection. False when the
  /// data holds no surfaces or there is no lens.
  bool pasteFromMimeData(const QMimeData& data) override;
  void setFixedSurfaceColor(const QColor& color) override;
  void setSurfaceColorOption(const std::string& option) override;

  void setMoveEndedHandler(std::function<void()> handler) { m_moveEnded = std::move(handler); }
  void setSelectionHandler(std::function<void(const std::vector<std::size_t>&)> handler) {
    m_selectionChanged = std::move(handler);
  }
  /// Names the undo step a paste is about to make.
  void setUndoNamer(std::function<void(const std::string&)> namer) { m_undoNamer = std::move(namer); }
  /// The calculator's selection as surface indexes.
  std::vector<std::size_t> selectedSurfaceIndexes() const;
  bool isMoving() const { return m_moving; }
  std::shared_ptr<analysis::LayoutCalculator> calculator() const { return m_calculator.lock(); }

 private:
  std::weak_ptr<analysis::LayoutCalculator> m_calculator;
  std::function<void()> m_moveEnded;
  std::function<void(const std::vector<std::size_t>&)> m_selectionChanged;
  std::function<void(const std::string&)> m_undoNamer;
  bool m_moving = false;
};

}  // namespace orb::app
