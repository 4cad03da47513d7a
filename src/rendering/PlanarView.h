#pragma once

#include <QColor>
#include <memory>
#include <optional>
#include <string>

#include "platform/Value.h"
#include "rendering/SelectionView.h"

class QMimeData;
class QPainter;
class QPrinter;

namespace orb::geometry {
class Extents;
class MutableExtents;
}  // namespace orb::geometry

namespace orb::rendering {

/// The pasteboard types a layout takes besides pictures and colours.
inline constexpr const char* kGlassPasteboardType = "Glass pasteboard type";
inline constexpr const char* kSurfacePasteboardType = "application/x-orbelline-surfaces";

/// The ZY section of a lens box: x ← z, y ← y, z ← x. Null for an empty box.
std::shared_ptr<geometry::MutableExtents> zySectionOf(const geometry::Extents& extents);
/// The ZX section of a lens box: x ← z, y ← x, z ← y. Null for an empty box.
std::shared_ptr<geometry::MutableExtents> zxSectionOf(const geometry::Extents& extents);

/// How much a layout picture is enlarged on paper so that lens millimetres
/// print as millimetres: the window shows `windowWidth` lens units across
/// `boundsWidth` points, and paper has 72/25.4 points per millimetre. 1 for a
/// degenerate view.
double trueScalePrintFactor(double windowWidth, double boundsWidth);

/// What a planar layout shows: the lens drawn into the view's painter, already
/// mapped to lens units (z across, y or x up). Every operation is optional; the
/// defaults do nothing.
class PlanarViewModel {
 public:
  virtual ~PlanarViewModel() = default;
  virtual void drawZY(QPainter& painter, const platform::Dictionary& contentOptions) {
    (void)painter, (void)contentOptions;
  }
  virtual void drawZX(QPainter& painter, const platform::Dictionary& contentOptions) {
    (void)painter, (void)contentOptions;
  }
  /// The lens's box in lens coordinates; null when the model has none.
  virtual std::shared_ptr<geometry::Extents> extents() const { return nullptr; }
  /// A selection rectangle in (z, y) lens units is new or about to be dragged.
  virtual void beginMovingRect(const QRectF& rect) { (void)rect; }
  /// The selection is dragged by `dz`; answers a shift the view must follow, if
  /// any.
  virtual std::optional<double> moveRectBy(double dz) {
    (void)dz;
    return std::nullopt;
  }
  virtual void endMovingRect() {}
  /// Surfaces pasted onto the layout; false when none were taken.
  virtual bool pasteFromMimeData(const QMimeData& data) {
    (void)data;
    return false;
  }
  virtual void setFixedSurfaceColor(const QColor& color) { (void)color; }
  virtual void setSurfaceColorOption(const std::string& option) { (void)option; }
};

/// A lens layout as a 2-D section: the optical axis across, y (orientation ZY)
/// or x (orientation ZX) up, drawn by a model the view does not own (the window
/// keeps it alive). Adds to the selection view the optical axis line,
/// zoom-to-fit on the model's box with a 5 % margin, paste of surfaces into the
/// model and printing, optionally at true scale. Drops are refused; pasting
/// goes through the paste command.
class PlanarView : public SelectionView {
 public:
  enum Orientation { ZY = 0, ZX = 1 };

  explicit PlanarView(QWidget* parent = nullptr);

  std::shared_ptr<PlanarViewModel> model() const { return m_model.lock(); }
  /// Surfaces draw in black here: the model is told a fixed black surface
  /// colour.
  void setModel(const std::shared_ptr<PlanarViewModel>& model);
  int orientation() const { return m_orientation; }
  void setOrientation(int orientation);
  void orientZY() { setOrientation(ZY); }
  void orientZX() { setOrientation(ZX); }
  bool drawOpticalAxis() const { return m_drawOpticalAxis; }
  void setDrawOpticalAxis(bool draws);
  void modelChanged() { update(); }

  /// The model's box as the section of the present orientation; the default box
  /// without one.
  ZoomExtents extents() const override;
  double zoomToFitScaleFactor() const override { return 1.05; }
  /// An empty or inverted range draws nothing.
  static bool validateOptions(const platform::Dictionary& contentOptions);

  /// There is no object under the mouse in a layout, so there is nothing to
  /// say.
  std::string commentForPresentMousePosition() const override { return {}; }

  /// Surfaces go to the model (false when it takes none); colours, pictures and
  /// image files become the background; a glass is accepted and ignored. False
  /// when nothing usable is offered.
  virtual bool pasteFromMimeData(const QMimeData* data);
  void paste();

  /// "printLensToScale" chooses true scale (clipped to the page) or fit to the
  /// page.
  void print();
  /// Prints onto `printer` (tests pass a PDF printer).
  void printTo(QPrinter& printer, bool toScale);
  static QString footerComment() { return QStringLiteral("Orbelline"); }

 protected:
  void drawContent(QPainter& painter, const platform::Dictionary& contentOptions) override;
  void beginMovingRect(const QRectF& rect) override;
  std::optional<double> moveRectBy(double dx) override;
  void endMovingRect() override;

  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  std::weak_ptr<PlanarViewModel> m_model;
  bool m_drawOpticalAxis = true;
  int m_orientation = ZY;
};

/// A layout that can only be looked at and dragged out: select mode, the first
/// drag of any press takes the picture out, no wheel zoom, no selection,
/// nothing pasted or dropped.
class FrozenPlanarView : public PlanarView {
 public:
  explicit FrozenPlanarView(QWidget* parent = nullptr);

  bool pasteFromMimeData(const QMimeData*) override { return false; }
  void leftMouseDown(QMouseEvent* event) override;

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void selectMouseDown(QMouseEvent*) override {}
  void selectMouseDragged(QMouseEvent*) override {}
  void selectMouseUp(QMouseEvent*) override {}
};

}  // namespace orb::rendering
