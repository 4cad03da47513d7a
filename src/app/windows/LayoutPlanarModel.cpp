#include "app/windows/LayoutPlanarModel.h"

#include <QMimeData>
#include <QPainterPath>
#include <algorithm>
#include <QTransform>

#include "analysis/ImmediateUpdate.h"
#include "analysis/LayoutCalculator.h"
#include "app/tables/SurfaceTable.h"
#include "lens/Surface.h"
#include "geometry/values/Extents.h"
#include "platform/Color.h"
#include "platform/Log.h"

namespace orb::app {

namespace {

QPainterPath painterPathOf(const lens::PlanarBezierPath& path) {
  QPainterPath out;
  for (const auto& e : path.elements()) {
    switch (e.op) {
      case lens::PlanarBezierPath::Op::Move:
        out.moveTo(e.point.x, e.point.y);
        break;
      case lens::PlanarBezierPath::Op::Line:
        out.lineTo(e.point.x, e.point.y);
        break;
      case lens::PlanarBezierPath::Op::Close:
        out.closeSubpath();
        break;
    }
  }
  return out;
}

}  // namespace

// --- QtPainter2D
// ---------------------------------------------------------------------------

QtPainter2D::QtPainter2D(QPainter& painter) : m_painter(painter) {}

void QtPainter2D::saveGraphicsState() {
  m_painter.save();
  m_savedColors.push_back(m_color);
}

void QtPainter2D::restoreGraphicsState() {
  if (m_savedColors.empty()) return;  // unbalanced: keep the painter's own state intact
  m_painter.restore();
  m_color = m_savedColors.back();
  m_savedColors.pop_back();
}

void QtPainter2D::concat(const lens::PlanarAffineTransform& t) {
  m_painter.setTransform(QTransform(t.m11, t.m12, t.m21, t.m22, t.tX, t.tY), true);
}

void QtPainter2D::setColor(const std::shared_ptr<const platform::Color>& color) {
  m_color =
      color ? QColor::fromRgbF(float(color->red()), float(color->green()), float(color->blue()), float(color->alpha()))
            : QColor(Qt::black);
}

QPen QtPainter2D::penOfWidth(double lineWidth) const {
  QPen pen(m_color);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  if (lineWidth == 1.0 || !(lineWidth > 0)) {
    pen.setCosmetic(true);
    pen.setWidthF(1.0);
  } else {
    pen.setWidthF(lineWidth);
  }
  return pen;
}

void QtPainter2D::stroke(const lens::PlanarBezierPath& path) {
  if (path.empty()) return;
  m_painter.strokePath(painterPathOf(path), penOfWidth(path.lineWidth()));
}

void QtPainter2D::fill(const lens::PlanarBezierPath& path) {
  if (path.empty()) return;
  m_painter.fillPath(painterPathOf(path), m_color);
}

void QtPainter2D::fillCircle(foundation::XY centre, double radius) {
  QPainterPath p;
  p.addEllipse(QPointF(centre.x, centre.y), radius, radius);
  m_painter.fillPath(p, m_color);
}

void QtPainter2D::strokeCircle(foundation::XY centre, double radius) {
  QPainterPath p;
  p.addEllipse(QPointF(centre.x, centre.y), radius, radius);
  m_painter.strokePath(p, penOfWidth(1.0));
}

void QtPainter2D::strokePath(const lens::PlanarPath& path, double lineWidth) {
  QPainterPath p;
  for (const auto& s : path) {
    p.moveTo(s.from.x, s.from.y);
    p.lineTo(s.to.x, s.to.y);
  }
  m_painter.strokePath(p, penOfWidth(lineWidth));
}

void QtPainter2D::fillSquare(foundation::XY centre, double side) {
  m_painter.fillRect(QRectF(centre.x - side / 2, centre.y - side / 2, side, side), m_color);
}

// --- LayoutPlanarModel
// -----------------------------------------------------------------------

LayoutPlanarModel::LayoutPlanarModel(const std::shared_ptr<analysis::LayoutCalculator>& calculator)
    : m_calculator(calculator) {}

LayoutPlanarModel::~LayoutPlanarModel() {
  if (m_moving) analysis::setImmediateUpdate(false);
}

void LayoutPlanarModel::drawZY(QPainter& painter, const platform::Dictionary& options) {
  const auto calculator = m_calculator.lock();
  if (!calculator) return;
  QtPainter2D p(painter);
  calculator->drawZY(p, analysis::LayoutCalculator::DrawOptions::from(options));
}

void LayoutPlanarModel::drawZX(QPainter& painter, const platform::Dictionary& options) {
  const auto calculator = m_calculator.lock();
  if (!calculator) return;
  QtPainter2D p(painter);
  calculator->drawZX(p, analysis::LayoutCalculator::DrawOptions::from(options));
}

std::shared_ptr<geometry::Extents> LayoutPlanarModel::extents() const {
  const auto calculator = m_calculator.lock();
  auto box = calculator ? calculator->extents() : nullptr;
  if (!box || !box->active()) return nullptr;
  return box;
}

void LayoutPlanarModel::beginMovingRect(const QRectF& rect) {
  const QRectF r = rect.normalized();
  const auto calculator = m_calculator.lock();
  if (!calculator) return;
  calculator->beginMovingRect(r.x(), r.width());
  if (m_selectionChanged) m_selectionChanged(selectedSurfaceIndexes());
}

std::vector<std::size_t> LayoutPlanarModel::selectedSurfaceIndexes() const {
  std::vector<std::size_t> indexes;
  const auto calculator = m_calculator.lock();
  if (const auto range = calculator ? calculator->selectedSurfaceRange() : std::nullopt)
    for (std::size_t i = range->first; i <= range->second; ++i) indexes.push_back(i);
  return indexes;
}

std::optional<double> LayoutPlanarModel::moveRectBy(double dz) {
  const auto calculator = m_calculator.lock();
  if (!calculator) return std::nullopt;
  if (!m_moving) {
    // Analyses answer at once while the block is dragged, and the document
    // takes no snapshot of the intermediate lenses: the drag is one edit.
    m_moving = true;
    analysis::setImmediateUpdate(true);
  }
  return calculator->moveRectBy(dz);
}

void LayoutPlanarModel::endMovingRect() {
  if (const auto calculator = m_calculator.lock()) calculator->endMovingRect();
  if (!m_moving) return;
  m_moving = false;
  analysis::setImmediateUpdate(false);
  if (m_moveEnded) m_moveEnded();
}

bool LayoutPlanarModel::pasteFromMimeData(const QMimeData& data) {
  const auto calculator = m_calculator.lock();
  const auto lens = calculator ? calculator->lens() : nullptr;
  if (!lens) return false;
  const auto decoded = DNDArrayController::unarchiveObjects(data.data(QString::fromUtf8(kSurfacePasteboardType)));
  if (!decoded || decoded->empty() ||
      !std::all_of(decoded->begin(), decoded->end(),
                   [](const ObjectPtr& o) { return std::dynamic_pointer_cast<lens::Surface>(o) != nullptr; }))
    return false;
  // The surface table's own paste, on the layout's selection: the same checks and the
  // same preparation of foreign surfaces (solves and the stop flag dropped).
  SurfaceArrayController table(lens);
  const std::size_t count = table.arrangedObjects().size();
  std::vector<std::size_t> at = selectedSurfaceIndexes();
  if (count > 0)
    at = {std::clamp<std::size_t>(at.empty() ? count - 1 : at.back(), std::min<std::size_t>(1, count - 1), count - 1)};
  table.setSelectionIndexes(at);
  if (m_undoNamer) m_undoNamer("Paste Surfaces");
  if (!table.pasteFromMimeData(&data)) return false;
  const auto inserted = table.selectionIndexes();
  calculator->selectSurfacesByArray([&] {
    std::vector<std::shared_ptr<platform::Object>> surfaces;
    for (std::size_t i : inserted)
      if (auto s = table.surfaceAt(i)) surfaces.push_back(s);
    return surfaces;
  }());
  if (m_selectionChanged) m_selectionChanged(inserted);
  return true;
}

void LayoutPlanarModel::setFixedSurfaceColor(const QColor& color) {
  if (const auto calculator = m_calculator.lock())
    calculator->setFixedSurfaceColor(
        platform::Color::make(color.redF(), color.greenF(), color.blueF(), color.alphaF()));
}

void LayoutPlanarModel::setSurfaceColorOption(const std::string& option) {
  if (const auto calculator = m_calculator.lock()) calculator->setSurfaceColorOption(option);
}

}  // namespace orb::app
