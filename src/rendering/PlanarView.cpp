#include "rendering/PlanarView.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>

#include "geometry/values/Extents.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace orb::rendering {

namespace {

bool defaultsFlag(const char* key, bool fallback) {
  const platform::Value v = platform::UserDefaults::standard().objectForKey(key);
  return v.isNumber() ? v.asBool() : fallback;
}

double numberIn(const platform::Dictionary& d, const char* key) {
  const platform::Value* v = d.find(platform::Value(key));
  return v && v->isNumber() ? v->asDouble() : std::nan("");
}

std::shared_ptr<geometry::MutableExtents> section(double xMin, double xMax, double yMin, double yMax, double zMin,
                                                  double zMax) {
  auto out = geometry::MutableExtents::extents();
  out->absorb(xMin, yMin, zMin);
  out->absorb(xMax, yMax, zMax);
  return out;
}

// Margins of a printed layout, in points: the footer needs the deeper bottom
// one.
constexpr double kSideMargin = 72.0;
constexpr double kBottomMargin = 90.0;

}  // namespace

std::shared_ptr<geometry::MutableExtents> zySectionOf(const geometry::Extents& e) {
  if (!e.active()) return nullptr;
  return section(e.zMin(), e.zMax(), e.yMin(), e.yMax(), e.xMin(), e.xMax());
}

std::shared_ptr<geometry::MutableExtents> zxSectionOf(const geometry::Extents& e) {
  if (!e.active()) return nullptr;
  return section(e.zMin(), e.zMax(), e.xMin(), e.xMax(), e.yMin(), e.yMax());
}

double trueScalePrintFactor(double windowWidth, double boundsWidth) {
  if (!(boundsWidth > 0) || !(windowWidth > 0) || !std::isfinite(windowWidth)) return 1.0;
  return windowWidth * 72.0 / 25.4 / boundsWidth;
}

// --- PlanarView
// ------------------------------------------------------------------------------

PlanarView::PlanarView(QWidget* parent) : SelectionView(parent) {
  m_drawOpticalAxis = defaultsFlag("drawOpticalAxis", true);
  setMouseMode(Zoom);
}

void PlanarView::setModel(const std::shared_ptr<PlanarViewModel>& model) {
  m_model = model;
  if (model) {
    model->setFixedSurfaceColor(Qt::black);
    model->setSurfaceColorOption("fixed");
  }
  update();
}

void PlanarView::setOrientation(int orientation) {
  m_orientation = orientation;
  update();
}

void PlanarView::setDrawOpticalAxis(bool draws) {
  m_drawOpticalAxis = draws;
  update();
}

ZoomExtents PlanarView::extents() const {
  const auto model = m_model.lock();
  const auto box = model ? model->extents() : nullptr;
  std::shared_ptr<geometry::MutableExtents> s;
  if (box) {
    if (m_orientation == ZY) s = zySectionOf(*box);
    if (m_orientation == ZX) s = zxSectionOf(*box);
  }
  if (!s) return SelectionView::extents();
  return {s->xMin(), s->xMax(), s->yMin(), s->yMax()};
}

bool PlanarView::validateOptions(const platform::Dictionary& o) {
  return numberIn(o, "yMax") > numberIn(o, "yMin") && numberIn(o, "xMax") > numberIn(o, "xMin");
}

void PlanarView::drawContent(QPainter& painter, const platform::Dictionary& options) {
  if (!validateOptions(options)) return;
  SelectionView::drawContent(painter, options);
  if (const auto model = m_model.lock()) {
    painter.save();
    if (m_orientation == ZY) model->drawZY(painter, options);
    if (m_orientation == ZX) model->drawZX(painter, options);
    painter.restore();
  }
  if (m_drawOpticalAxis) {
    QColor c = colorHavingGoodContrastAgainstBackground();
    c.setAlphaF(0.5f);
    QPen pen(c);
    pen.setCosmetic(true);
    pen.setWidthF(1.0);
    painter.save();
    painter.setPen(pen);
    const QRectF window = userRect();
    painter.drawLine(QPointF(window.left(), 0), QPointF(window.right(), 0));
    painter.restore();
  }
}

void PlanarView::beginMovingRect(const QRectF& rect) {
  if (const auto model = m_model.lock()) model->beginMovingRect(rect);
}

std::optional<double> PlanarView::moveRectBy(double dx) {
  const auto model = m_model.lock();
  return model ? model->moveRectBy(dx) : std::nullopt;
}

void PlanarView::endMovingRect() {
  if (const auto model = m_model.lock()) model->endMovingRect();
}

bool PlanarView::pasteFromMimeData(const QMimeData* data) {
  if (!data) return false;
  if (data->hasFormat(QString::fromUtf8(kSurfacePasteboardType))) {
    const auto model = m_model.lock();
    platform::log("Handing pasteboard contents off to %s", model ? "the layout" : "no model");
    return model && model->pasteFromMimeData(*data);
  }
  if (data->hasColor() || data->hasImage() || data->hasUrls() || data->hasFormat(QString::fromUtf8(kPDFMimeType)))
    return DragoutImageView::pasteFromMimeData(data);
  // A glass dropped on no surface in particular has nowhere to go.
  return data->hasFormat(QString::fromUtf8(kGlassPasteboardType));
}

void PlanarView::paste() {
  if (const QMimeData* data = QApplication::clipboard()->mimeData()) pasteFromMimeData(data);
}

void PlanarView::dragEnterEvent(QDragEnterEvent* event) { event->ignore(); }
void PlanarView::dragMoveEvent(QDragMoveEvent* event) { event->ignore(); }
void PlanarView::dropEvent(QDropEvent* event) { event->ignore(); }

void PlanarView::print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  printTo(printer, defaultsFlag("printLensToScale", false));
}

void PlanarView::printTo(QPrinter& printer, bool toScale) {
  printer.setPageMargins(QMarginsF(kSideMargin, kSideMargin, kSideMargin, kBottomMargin), QPageLayout::Point);
  QPainter painter(&printer);
  if (!painter.isActive()) return;
  // Device units per point on this printer.
  const double perPoint = printer.resolution() / 72.0;
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const QRectF area(0, 0, page.width(), page.height());
  const double w = width(), h = height();
  if (w <= 0 || h <= 0) return;
  double scale;  // device units per view point
  if (toScale) {
    scale = trueScalePrintFactor(userRect().width(), w) * perPoint;
  } else {
    scale = std::min(area.width() / w, area.height() / h);
  }
  painter.save();
  painter.setClipRect(area);
  painter.translate(area.center().x() - w * scale / 2, area.center().y() - h * scale / 2);
  painter.scale(scale, scale);
  painter.setClipRect(QRectF(0, 0, w, h), Qt::IntersectClip);
  drawRect(painter);
  painter.restore();

  // The footer sits in the bottom margin, below the printable area.
  QFont font = painter.font();
  font.setPointSizeF(9);
  painter.setFont(font);
  painter.setPen(Qt::black);
  const QString footer =
      footerComment() + QStringLiteral("    ") + QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
  painter.setClipping(false);
  painter.drawText(QRectF(0, area.bottom() + 18 * perPoint, area.width(), 24 * perPoint), Qt::AlignLeft | Qt::AlignTop,
                   footer);
}

// --- FrozenPlanarView
// -----------------------------------------------------------------------------

FrozenPlanarView::FrozenPlanarView(QWidget* parent) : PlanarView(parent) { setMouseMode(Select); }

void FrozenPlanarView::leftMouseDown(QMouseEvent* event) {
  PlanarView::leftMouseDown(event);
  // No press-and-hold here: the first drag of any press takes the picture out.
  QTimer::singleShot(0, this, [this] {
    if (mouseIsDown()) dragStart();
  });
}

void FrozenPlanarView::wheelEvent(QWheelEvent* event) { event->accept(); }

}  // namespace orb::rendering
