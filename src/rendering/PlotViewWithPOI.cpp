#include "rendering/PlotViewWithPOI.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "platform/UserDefaults.h"
#include "rendering/QtPlotBackEnd.h"

namespace orb::rendering {

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

std::string text(const Dictionary& d, const char* key) {
  const Value* v = d.find(key);
  return v && v->isString() ? v->asString() : std::string();
}

/// The band (bottom, top in view units) a multiplot drew the curve in.
std::optional<std::pair<double, double>> bandOf(const Dictionary& curve) {
  const Value* bottom = curve.find("frameMinY");
  const Value* top = curve.find("frameMaxY");
  if (!bottom || !bottom->isNumber() || !top || !top->isNumber()) return std::nullopt;
  return std::make_pair(bottom->asDouble(), top->asDouble());
}

struct Points {
  std::vector<double> x, y;
  std::size_t count() const { return std::min(x.size(), y.size()); }
};

Points pointsOf(const Dictionary& curve) {
  return {plotSeriesValues(curve.get("xSeries")), plotSeriesValues(curve.get("ySeries"))};
}

const Dictionary* curveAt(const Array& curves, std::size_t index) {
  if (index >= curves.size() || !curves[index].isDictionary()) return nullptr;
  return &curves[index].asDictionary();
}

// Wrapping steps; an index already past the end counts as the last.
std::size_t next(std::size_t index, std::size_t count) { return index + 1 >= count ? 0 : index + 1; }
std::size_t previous(std::size_t index, std::size_t count) {
  return index == 0 || index >= count ? count - 1 : index - 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------

PlotViewWithPOI::PlotViewWithPOI(QWidget* parent) : ZoomPlotView(parent) { nontrivialize(); }

void PlotViewWithPOI::nontrivialize() {
  setMouseMode(Select);
  resetCurveAndPointOfInterest();
}

void PlotViewWithPOI::resetCurveAndPointOfInterest() { setIndices(kNotFound, kNotFound); }

void PlotViewWithPOI::resetPOI() {
  resetCurveAndPointOfInterest();
  update();
}

void PlotViewWithPOI::setCurveAndPointOfInterest(std::size_t curve, std::size_t point) {
  setIndices(curve, point);
  update();
}

void PlotViewWithPOI::pointOfInterestChanged() {
  if (m_poiChanged) m_poiChanged();
}

void PlotViewWithPOI::mouseModeStress() {
  if (mouseMode() == Select)
    resetPOI();
  else
    ZoomPlotView::mouseModeStress();
}

Array PlotViewWithPOI::drawnCurves() {
  const Value* curves = filteredPlotDictionary().find("curves");
  return curves && curves->isArray() ? curves->asArray() : Array();
}

void PlotViewWithPOI::restoreDataCoordinateSystemForCurve(const Dictionary& curve) {
  if (auto band = bandOf(curve))
    plotPortSetFrame(port(), 0, width(), band->second, band->first);
  else
    plotPortSetFrame(port(), 0, width(), height(), 0);
  plotGraphApplyMargins(graph());
  plotGraphApplyToPort(graph());
}

// ---------------------------------------------------------------------------------------
// Picking

void PlotViewWithPOI::setCurveAndPointOfInterestFromViewPoint(QPointF p) {
  resetCurveAndPointOfInterest();
  const Array curves = drawnCurves();
  bool chosen = false;
  double chosenDistance = INFINITY;
  // Later curves are drawn on top: they are met first and keep ties.
  for (std::size_t i = curves.size(); i-- > 0;) {
    const Dictionary* curve = curveAt(curves, i);
    if (!curve) continue;
    if (auto band = bandOf(*curve); band && (p.y() < band->first || p.y() > band->second)) continue;
    restoreDataCoordinateSystemForCurve(*curve);
    // Distances are measured on screen, so a click outside the plot area still finds the
    // point nearest to it.
    const Points points = pointsOf(*curve);
    std::size_t best = kNotFound;
    double bestDistance = INFINITY;
    for (std::size_t j = 0; j < points.count(); ++j) {
      if (!std::isfinite(points.y[j])) continue;
      double x, y;
      plotGraphUserToView(graph(), points.x[j], points.y[j], x, y);
      double d = std::hypot(x - p.x(), y - p.y());
      if (d < bestDistance) {
        best = j;
        bestDistance = d;
      }
    }
    if (best == kNotFound) continue;
    if (!chosen || bestDistance < chosenDistance) {
      chosen = true;
      chosenDistance = bestDistance;
      setIndices(i, best);
    }
  }
}

void PlotViewWithPOI::selectMouseDown(QMouseEvent* event) {
  if (event->modifiers() & Qt::ShiftModifier) {
    resetPOI();
    return;
  }
  setCurveAndPointOfInterestFromViewPoint(viewPoint(event));
  update();
}

// ---------------------------------------------------------------------------------------
// Stepping

void PlotViewWithPOI::stepPointOfInterest(bool forward) {
  if (!hasPointOfInterest()) return;
  const Array curves = drawnCurves();
  const Dictionary* curve = curveAt(curves, indexOfCurveOfInterest());
  if (!curve) return;
  const std::size_t count = pointsOf(*curve).x.size();
  if (count == 0) return;
  const std::size_t point = indexOfPointOfInterest();
  setIndices(indexOfCurveOfInterest(), forward ? next(point, count) : previous(point, count));
  update();
}

void PlotViewWithPOI::stepCurveOfInterest(bool forward) {
  if (!hasPointOfInterest()) return;
  const std::size_t count = drawnCurves().size();
  if (count == 0) return;
  const std::size_t curve = indexOfCurveOfInterest();
  setIndices(forward ? next(curve, count) : previous(curve, count), indexOfPointOfInterest());
  update();
}

void PlotViewWithPOI::incrementPointOfInterest() { stepPointOfInterest(true); }
void PlotViewWithPOI::decrementPointOfInterest() { stepPointOfInterest(false); }
void PlotViewWithPOI::incrementCurveOfInterest() { stepCurveOfInterest(true); }
void PlotViewWithPOI::decrementCurveOfInterest() { stepCurveOfInterest(false); }

void PlotViewWithPOI::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Right: incrementPointOfInterest(); break;
    case Qt::Key_Left: decrementPointOfInterest(); break;
    case Qt::Key_Up: incrementCurveOfInterest(); break;
    case Qt::Key_Down: decrementCurveOfInterest(); break;
    default: ZoomPlotView::keyPressEvent(event); return;
  }
  event->accept();
  // The marker is what the user watches now.
  if (!m_cursorHidden) {
    m_cursorHidden = true;
    setCursor(Qt::BlankCursor);
  }
}

void PlotViewWithPOI::mouseMoved(QMouseEvent* event) {
  if (m_cursorHidden) {
    m_cursorHidden = false;
    setCursor(cursorForMouseMode(mouseMode()));
  }
  ZoomPlotView::mouseMoved(event);
}

// ---------------------------------------------------------------------------------------
// Drawing and description

void PlotViewWithPOI::drawContent(QPainter& painter, const Dictionary& options) {
  ZoomPlotView::drawContent(painter, options);
  plotPointOfInterestWithCurves(drawnCurves(), painter);
  // After the drawing pass, when the indices are known to fit.
  QTimer::singleShot(0, this, [this] { updatePointOfInterestDescription(); });
}

void PlotViewWithPOI::plotPointOfInterestWithCurves(const Array& curves, QPainter& painter) {
  if (!hasPointOfInterest()) return;
  const Dictionary* curve = curveAt(curves, indexOfCurveOfInterest());
  const Points points = curve ? pointsOf(*curve) : Points();
  if (!curve || indexOfPointOfInterest() >= points.count()) {
    resetCurveAndPointOfInterest();
    return;
  }
  restoreDataCoordinateSystemForCurve(*curve);
  double x = points.x[indexOfPointOfInterest()], y = points.y[indexOfPointOfInterest()];
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  double sx2, sy2;
  plotPortScaleSquared(port(), sx2, sy2);
  if (!(sx2 > 0) || !(sy2 > 0)) return;
  const double hx = 3 / std::sqrt(sx2), hy = 3 / std::sqrt(sy2);  // 6 view units wide

  painter.save();
  QtPlotBackEnd backEnd(painter, height(), font());
  backEnd.setLineWidth(1.0);
  backEnd.setColor({1, 0, 0, 1});
  plotPortSetBackEnd(port(), &backEnd);
  plotPortSetDash(port(), 0);
  bool clipping = plotPortSetClipping(port(), true);
  plotPortMoveTo(port(), x - hx, y - hy);
  plotPortDrawTo(port(), x - hx, y + hy);
  plotPortDrawTo(port(), x + hx, y + hy);
  plotPortDrawTo(port(), x + hx, y - hy);
  plotPortDrawTo(port(), x - hx, y - hy);
  plotPortSetClipping(port(), clipping);
  plotPortSetBackEnd(port(), nullptr);
  painter.restore();
}

void PlotViewWithPOI::updatePointOfInterestDescription() {
  std::string description;
  double abscissa = 0, ordinate = 0;
  if (hasPointOfInterest()) {
    const Array curves = drawnCurves();
    const Dictionary* curve = curveAt(curves, indexOfCurveOfInterest());
    const Points points = curve ? pointsOf(*curve) : Points();
    if (curve && indexOfPointOfInterest() < points.count()) {
      abscissa = points.x[indexOfPointOfInterest()];
      ordinate = points.y[indexOfPointOfInterest()];
      // Curves usually carry their own axis labels; otherwise the plot's, so that the
      // text never names nothing.
      const Dictionary& plot = filteredPlotDictionary();
      std::string xLabel = text(*curve, "xLabel"), yLabel = text(*curve, "yLabel");
      if (xLabel.empty()) xLabel = text(plot, "xLabel");
      if (yLabel.empty()) yLabel = text(plot, "yLabel");
      if (xLabel.empty()) xLabel = "x";
      if (yLabel.empty()) yLabel = "y";
      const Value* name = curve->find("name");
      if (name && name->isString()) description = name->asString() + ", ";
      description += xLabel + " = " + formatDouble(text(*curve, "xFormat"), abscissa) + ", " + yLabel + " = " +
                     formatDouble(text(*curve, "yFormat"), ordinate);
    }
  }
  bool changed = description != m_description || abscissa != m_abscissa || ordinate != m_ordinate;
  m_description = std::move(description);
  m_abscissa = abscissa;
  m_ordinate = ordinate;
  if (changed) pointOfInterestChanged();
}

std::string PlotViewWithPOI::safeDoubleFormat(const std::string& format) {
  static const std::string fallback = "%e";
  if (format.empty() || format.size() > 100) return fallback;
  int conversions = 0;
  const std::size_t n = format.size();
  auto digits = [&](std::size_t& i) {
    std::size_t start = i;
    while (i < n && format[i] >= '0' && format[i] <= '9') ++i;
    return i - start <= 2;
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (format[i] == '\0') return fallback;
    if (format[i] != '%') continue;
    if (++i < n && format[i] == '%') continue;  // a literal percent sign
    while (i < n && (format[i] == '-' || format[i] == '+' || format[i] == ' ' || format[i] == '#' || format[i] == '0'))
      ++i;
    if (!digits(i)) return fallback;
    if (i < n && format[i] == '.') {
      ++i;
      if (!digits(i)) return fallback;
    }
    if (i < n && format[i] == 'l') ++i;  // "%lf" is a double too; "L" would not be
    if (i >= n || !std::strchr("eEfFgGaA", format[i])) return fallback;
    ++conversions;
  }
  return conversions == 1 ? format : fallback;
}

std::string PlotViewWithPOI::formatDouble(const std::string& format, double value) {
  const std::string checked = safeDoubleFormat(format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  int size = std::snprintf(nullptr, 0, checked.c_str(), value);
  if (size < 0) return {};
  std::string out(std::size_t(size) + 1, '\0');
  std::snprintf(out.data(), out.size(), checked.c_str(), value);
#pragma GCC diagnostic pop
  out.resize(std::size_t(size));
  return out;
}

// ---------------------------------------------------------------------------------------
// PlotViewRegeneratingPOI

QPointF PlotViewRegeneratingPOI::viewPointForCurve(const Dictionary& curve, std::size_t index) {
  restoreDataCoordinateSystemForCurve(curve);
  const Points points = pointsOf(curve);
  if (index >= points.count()) return {NAN, NAN};
  double x, y;
  plotGraphUserToView(graph(), points.x[index], points.y[index], x, y);
  return {x, y};
}

std::size_t PlotViewRegeneratingPOI::closestPointOnCurve(const Dictionary& curve, QPointF p) {
  restoreDataCoordinateSystemForCurve(curve);
  const Points points = pointsOf(curve);
  std::size_t best = kNotFound;
  double bestDistance = INFINITY;
  for (std::size_t j = 0; j < points.count(); ++j) {
    if (!std::isfinite(points.x[j]) || !std::isfinite(points.y[j])) continue;
    double x, y;
    plotGraphUserToView(graph(), points.x[j], points.y[j], x, y);
    double d = (x - p.x()) * (x - p.x()) + (y - p.y()) * (y - p.y());
    if (d < bestDistance) {
      best = j;
      bestDistance = d;
    }
  }
  return best;
}

void PlotViewRegeneratingPOI::changeCurveIndexBy(int delta) {
  if (!hasPointOfInterest()) return;
  const Array curves = drawnCurves();
  if (curves.empty()) return;
  const Dictionary* present = curveAt(curves, indexOfCurveOfInterest());
  QPointF at = present ? viewPointForCurve(*present, indexOfPointOfInterest()) : QPointF(NAN, NAN);
  std::size_t curve = delta > 0 ? next(indexOfCurveOfInterest(), curves.size())
                                : previous(indexOfCurveOfInterest(), curves.size());
  std::size_t point = 0;
  if (const Dictionary* target = curveAt(curves, curve)) {
    std::size_t closest = std::isfinite(at.x()) && std::isfinite(at.y()) ? closestPointOnCurve(*target, at) : kNotFound;
    // Without a place to keep, the new curve's first point still lets the user step on.
    if (closest != kNotFound) point = closest;
  }
  setIndices(curve, point);
  update();
}

// ---------------------------------------------------------------------------------------
// SpotView

SpotView::SpotView(QWidget* parent) : SpotView(parent, platform::UserDefaults::standard()) {}

SpotView::SpotView(QWidget* parent, const platform::UserDefaults& defaults) : PlotViewWithPOI(parent) {
  Value black = defaults.objectForKey("spotDiagramsUseBlackBackground");
  setBackgroundColor(black.isNumber() && black.asBool() ? QColor(Qt::black) : QColor(Qt::white));
}

}  // namespace orb::rendering
