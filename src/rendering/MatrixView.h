#pragma once

#include <QRectF>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "foundation/linear/Matrix.h"
#include "rendering/ActiveMouseView.h"

namespace orb::rendering {

/// What a matrix view asks of the object behind it: where the user points (in the unit
/// square over the picture), and which cursors to draw. The view does not own its
/// delegate. Every cursor is off by default.
class VKMatrixViewDelegate {
 public:
  virtual ~VKMatrixViewDelegate() = default;

  virtual void setDrawsElementCursor(bool draws) = 0;
  /// (0, 0) is the picture's lower-left corner, (1, 1) its upper-right one.
  virtual void setPointInUnitSquare(double u, double v) = 0;
  /// The user let go of the button: recompute.
  virtual void kick() = 0;

  virtual bool useCircle() const { return false; }
  /// x, y, width, height in cell units (rows along x, columns along y).
  virtual QRectF circleRect() const { return {}; }
  virtual bool drawsSliceCursor() const { return false; }
  virtual bool useSlice() const { return false; }
  virtual bool useDiagonal() const { return false; }
  virtual bool useSkew() const { return false; }
  /// Not 0: the slice is a column (index j); 0: a row (index i).
  virtual int binDimension() const { return 1; }
  virtual std::int64_t sliceIndex() const { return 0; }
  virtual bool drawsElementCursor() const { return false; }
  /// Row and column of the marked element.
  virtual std::pair<double, double> matrixIndexForMonitorPoint() const { return {0, 0}; }
};

/// A real matrix as a picture of square grey cells, with optional cursors for a slice,
/// one element and a circle; clicks and drags go to the delegate as unit-square points.
///
/// View coordinates here have y upwards from the bottom edge (as the mouse read-out
/// has): row i of the matrix runs along x, column j upwards, cell (i, j) covering
/// x0 + i·s … x0 + (i + 1)·s and likewise y with j. Only `toWidget` turns them into
/// the widget's own y-down coordinates.
///
/// The matrix may be replaced from any thread: it is swapped, drawn and read for a
/// point under the view's own lock.
class VKMatrixView : public ActiveMouseView {
 public:
  using MatrixPtr = std::shared_ptr<const foundation::Matrix>;

  explicit VKMatrixView(QWidget* parent = nullptr);

  MatrixPtr matrix() const;
  /// Replaces the matrix; the background becomes the controls' background and the view
  /// redraws.
  void setMatrix(MatrixPtr matrix);
  bool enhance() const { return m_enhance; }
  /// Grey levels become the square roots of the normalised values.
  void setEnhance(bool enhance);
  std::weak_ptr<VKMatrixViewDelegate> delegate() const { return m_delegate; }
  void setDelegate(std::weak_ptr<VKMatrixViewDelegate> delegate) { m_delegate = std::move(delegate); }

  double x0() const { return m_x0; }
  double y0() const { return m_y0; }
  double matrixElementSize() const { return m_matrixElementSize; }

  /// Cells may take fractional sizes.
  virtual bool usesIntegerMatrixElementSize() const { return false; }
  /// The smaller of width / rows and height / columns (the width ratio alone without
  /// columns); 0 for an empty matrix.
  double matrixElementSizeForMatrix(const foundation::Matrix& matrix, QSizeF frame) const;
  /// Sets the cell size for the view's size and centres the picture.
  void frameWillRepresentMatrix(const foundation::Matrix& matrix);
  /// A block of cells in view coordinates. With fractional sizes every product is
  /// rounded down first, so that neighbouring cells share their edges.
  QRectF rectForMinI(double minI, double maxI, double minJ, double maxJ) const;
  /// The point in the unit square over the picture of a point in view coordinates; NaN
  /// without a picture.
  QPointF userPointForViewPoint(QPointF viewPoint);
  /// A widget position (y down) in view coordinates (y up).
  QPointF viewPointForWidgetPoint(QPointF widgetPoint) const;

  /// Hides the element cursor.
  void resetPOI();

  bool drawsFocusRing() const override { return false; }
  bool disableContextualMenus() const override { return false; }

  void drawRect(QPainter& painter) override;
  void leftMouseDown(QMouseEvent* event) override;
  void leftMouseDragged(QMouseEvent* event) override;
  void leftMouseUp(QMouseEvent* event) override;

 protected:
  void drawMatrix(QPainter& painter, const foundation::Matrix& matrix);
  void drawSelectionIndicatorForMatrix(QPainter& painter, const foundation::Matrix& matrix,
                                       const VKMatrixViewDelegate& delegate);
  void drawCircle(QPainter& painter, const VKMatrixViewDelegate& delegate);

 private:
  /// A rectangle in view coordinates as the widget's y-down rectangle.
  QRectF toWidget(const QRectF& viewRect) const;
  void frameRect(QPainter& painter, const QRectF& viewRect, const QColor& color) const;
  /// Reports the event's point to the delegate; false without a delegate or a picture.
  bool reportPoint(QMouseEvent* event);

  mutable std::recursive_mutex m_lock;
  MatrixPtr m_matrix;
  std::weak_ptr<VKMatrixViewDelegate> m_delegate;
  bool m_enhance = false;
  double m_x0 = 0, m_y0 = 0;
  double m_matrixElementSize = 0;
};

}  // namespace orb::rendering
