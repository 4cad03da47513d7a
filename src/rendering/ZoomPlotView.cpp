#include "rendering/ZoomPlotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <cstring>

#include "foundation/polynomial/Interpolator.h"
#include "platform/Color.h"
#include "rendering/QtPlotBackEnd.h"

namespace orb::rendering {

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

bool flag(const Dictionary& d, const char* key, bool fallback = false) {
  const Value* v = d.find(key);
  return v && v->isNumber() ? v->asBool() : fallback;
}

std::optional<double> number(const Dictionary& d, const char* key) {
  const Value* v = d.find(key);
  if (v && v->isNumber()) return v->asDouble();
  return std::nullopt;
}

std::string text(const Dictionary& d, const char* key) {
  const Value* v = d.find(key);
  return v && v->isString() ? v->asString() : std::string();
}

// The common "layerTitle" of a set of curves: the first one met, kept only while every
// later one agrees.
struct LayerTitles {
  std::optional<std::string> title;
  bool agree = false;
  void see(const Dictionary& curve) {
    const Value* t = curve.find("layerTitle");
    if (!t || !t->isString()) return;
    if (!title) {
      title = t->asString();
      agree = true;
    } else if (*title != t->asString()) {
      agree = false;
    }
  }
  std::string or_(const std::string& fallback) const { return title && agree ? *title : fallback; }
};

PlotSeriesReader& seriesReader() {
  static PlotSeriesReader reader;
  return reader;
}

}  // namespace

void setPlotSeriesReader(PlotSeriesReader reader) { seriesReader() = std::move(reader); }

std::vector<double> plotSeriesValues(const Value& series) {
  if (series.isObject() && seriesReader())
    if (auto values = seriesReader()(series)) return std::move(*values);
  switch (series.kind()) {
    case Value::Kind::Array: {
      std::vector<double> out;
      out.reserve(series.asArray().size());
      for (const Value& v : series.asArray()) out.push_back(v.isNumber() ? v.asDouble() : std::nan(""));
      return out;
    }
    case Value::Kind::Data: {
      const platform::Data& bytes = series.asData();
      std::vector<double> out(bytes.size() / sizeof(double));
      if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(double));
      return out;
    }
    case Value::Kind::Object: {
      Value inner;
      try {
        inner = series.asObject()->valueForKey("array");
      } catch (const platform::Exception&) {
        return {};
      }
      if (inner.isArray() || inner.kind() == Value::Kind::Data) return plotSeriesValues(inner);
      return {};
    }
    default: return {};
  }
}

ZoomPlotView::ZoomPlotView(QWidget* parent) : ZoomView(parent) {
  m_port = plotPortCreate();
  m_graph = plotGraphCreate();
  plotGraphSetPort(m_graph, m_port);
  setMouseMode(Zoom);
  // The plot makes its own isotropy, from the dictionary.
  m_zoomedToFit = true;
  setIsotropic(false);
}

ZoomPlotView::~ZoomPlotView() {
  plotPortRelease(m_port);
  plotGraphFree(m_graph);
}

void ZoomPlotView::setPlotDictionary(Dictionary dictionary) {
  m_plotDictionary = std::move(dictionary);
  m_filteredPlotDictionary.reset();
  update();
}

void ZoomPlotView::bindPlotDictionary(const std::shared_ptr<platform::Object>& object, std::string keyPath) {
  std::weak_ptr<platform::Object> weak = object;
  auto pull = [this, weak, keyPath] {
    auto o = weak.lock();
    Value v = o ? o->valueForKeyPath(keyPath) : Value();
    setPlotDictionary(v.isDictionary() ? v.asDictionary() : Dictionary());
  };
  m_binding = object->addObserver(keyPath, [pull](const platform::ObservedChange&) { pull(); });
  pull();
}

void ZoomPlotView::unbindPlotDictionary() { m_binding = platform::Observation(); }

const Dictionary& ZoomPlotView::filteredPlotDictionary() {
  if (!m_filteredPlotDictionary) m_filteredPlotDictionary = filteredVersionOfPlotDictionary(m_plotDictionary);
  return *m_filteredPlotDictionary;
}

void ZoomPlotView::setFilteredPlotDictionary(std::optional<Dictionary> dictionary) {
  m_filteredPlotDictionary = std::move(dictionary);
}

Dictionary ZoomPlotView::filteredVersionOfPlotDictionary(const Dictionary& dictionary) const {
  bool transpose = flag(dictionary, "transposeAxes"), expands = flag(dictionary, "scaleOnlyExpands");
  if (!transpose && !expands) return dictionary;
  Dictionary copy = dictionary;
  if (expands)
    for (const auto& [key, value] : m_scaleOnlyExpandsDictionary) copy.set(key, value);
  if (!transpose) return copy;
  if (const Value* curves = copy.find("curves"); curves && curves->isArray()) {
    Array exchanged;
    for (const Value& c : curves->asArray())
      exchanged.push_back(c.isDictionary() ? Value(dictionaryExchangingXY(c.asDictionary())) : c);
    copy.set("curves", std::move(exchanged));
  }
  return dictionaryExchangingXY(copy);
}

Dictionary ZoomPlotView::dictionaryExchangingXY(const Dictionary& dictionary) {
  // Three passes over the keys: x… → $…, y… → x…, $… → y….
  Dictionary d = dictionary;
  auto pass = [&d](char from, char to) {
    for (const Value& key : d.keys()) {
      if (!key.isString() || key.asString().empty() || key.asString()[0] != from) continue;
      Value value = d.get(key);
      d.remove(key);
      d.set(std::string(1, to) + key.asString().substr(1), value);
    }
  };
  pass('x', '$');
  pass('y', 'x');
  pass('$', 'y');
  return d;
}

void ZoomPlotView::drawContent(QPainter& painter, const Dictionary&) {
  setFilteredPlotDictionary(std::nullopt);
  QtPlotBackEnd backEnd(painter, height(), font());
  backEnd.setLineWidth(1.0);
  plotPortSetBackEnd(m_port, &backEnd);
  plotPortSetFrame(m_port, 0, width(), height(), 0);
  drawGraph();
  plotPortSetBackEnd(m_port, nullptr);
}

void ZoomPlotView::styleCurve(const void* context, PlotGraph* graph) {
  PlotBackEnd* backEnd = graph->port->backEnd;
  if (!context) {
    plotPortSetDash(graph->port, 0);
    graph->drawLines = true;
    graph->drawDots = graph->drawSquares = false;
    return;
  }
  const Dictionary& c = *static_cast<const Dictionary*>(context);
  if (auto color = c.get("color").objectIf<platform::Color>()) {
    if (backEnd) backEnd->setColor({color->red(), color->green(), color->blue(), color->alpha()});
  } else if (flag(c, "useColorHavingGoodContrastAgainstBackground")) {
    if (backEnd) backEnd->setColor(drawingContrastColor());
  }
  plotPortSetDash(graph->port, flag(c, "dashed") ? 1 : 0);
  graph->drawLines = flag(c, "drawAsLines", true);
  graph->drawDots = flag(c, "drawAsDots");
  graph->drawSquares = flag(c, "drawAsSquares");
  if (auto size = number(c, "dotSize")) graph->markerSize = *size;
  if (auto width = number(c, "lineWidth"); width && backEnd) backEnd->setLineWidth(*width);
}

void ZoomPlotView::addCurve(Curve& curve) {
  // A producer's short series must not be read past its end.
  int count = int(std::min(curve.x.size(), curve.y.size()));
  plotGraphAddCurve(m_graph, count, curve.x.data(), curve.y.data(), nullptr, &curve.dictionary);
}

void ZoomPlotView::drawGraph() {
  const Dictionary d = filteredPlotDictionary();
  plotGraphReset(m_graph);
  m_graph->axisMode = flag(d, "drawZeroLines", true) ? 2 : 1;
  const Value* curvesValue = d.find("curves");
  bool testPattern = flag(d, "drawTestPattern") && !curvesValue;

  m_curves.clear();
  if (curvesValue && curvesValue->isArray()) {
    for (const Value& c : curvesValue->asArray()) {
      if (!c.isDictionary()) continue;
      Curve curve{c.asDictionary(), {}, {}};
      curve.dictionary.remove("frameMinY");
      curve.dictionary.remove("frameMaxY");
      curve.x = plotSeriesValues(curve.dictionary.get("xSeries"));
      curve.y = plotSeriesValues(curve.dictionary.get("ySeries"));
      m_curves.push_back(std::move(curve));
    }
  }
  LayerTitles titles;
  for (auto it = m_curves.rbegin(); it != m_curves.rend(); ++it) addCurve(*it);
  for (const Curve& c : m_curves) titles.see(c.dictionary);

  std::vector<double> patternX, patternY1, patternY2;
  if (testPattern) {
    for (int i = 0; i < 100; ++i) {
      double t = i / 10.0;
      patternX.push_back(t * std::cos(t));
      patternY1.push_back(t * std::sin(t));
      patternY2.push_back(t * std::sin(3 * t));
    }
    plotGraphAddCurve(m_graph, 100, patternX.data(), patternY2.data(), nullptr, nullptr);
    plotGraphAddCurve(m_graph, 100, patternX.data(), patternY1.data(), nullptr, nullptr);
  }

  m_graph->styleCallback = [this](const void* context, PlotGraph* graph) { styleCurve(context, graph); };
  m_graph->nameCallback = [](const void* context) -> std::optional<std::string> {
    if (!context) return std::nullopt;
    const Value* name = static_cast<const Dictionary*>(context)->find("name");
    if (name && name->isString()) return name->asString();
    return std::nullopt;
  };
  plotPortSetDash(m_port, 0);

  if (flag(d, "scaleOnlyExpands") && d.contains("xDataMin")) {
    plotGraphSetDataExtents(m_graph, number(d, "xDataMin").value_or(INFINITY), number(d, "xDataMax").value_or(-INFINITY),
                            number(d, "yDataMin").value_or(INFINITY), number(d, "yDataMax").value_or(-INFINITY));
  }
  if (d.contains("centerAxis")) m_graph->centerAxis = flag(d, "centerAxis");
  if (d.contains("equalAxis")) m_graph->equalAxis = flag(d, "equalAxis");
  if (d.contains("isotropic")) m_graph->isotropic = flag(d, "isotropic");
  if (d.contains("plotTight")) {
    bool tight = flag(d, "plotTight");
    plotGraphSetTight(m_graph, PlotAxisId::X, tight, tight);
    plotGraphSetTight(m_graph, PlotAxisId::Y, tight, tight);
  }
  if (d.contains("xTight")) plotGraphSetTight(m_graph, PlotAxisId::X, flag(d, "xTight"), flag(d, "xTight"));
  if (d.contains("yTight")) plotGraphSetTight(m_graph, PlotAxisId::Y, flag(d, "yTight"), flag(d, "yTight"));
  if (auto v = number(d, "xMin")) plotGraphSetMin(m_graph, PlotAxisId::X, *v);
  if (auto v = number(d, "xMax")) plotGraphSetMax(m_graph, PlotAxisId::X, *v);
  if (auto v = number(d, "yMin")) plotGraphSetMin(m_graph, PlotAxisId::Y, *v);
  if (auto v = number(d, "yMax")) plotGraphSetMax(m_graph, PlotAxisId::Y, *v);
  if (!m_zoomedToFit) {
    plotGraphSetMin(m_graph, PlotAxisId::X, xMin());
    plotGraphSetMax(m_graph, PlotAxisId::X, xMax());
    plotGraphSetMin(m_graph, PlotAxisId::Y, yMin());
    plotGraphSetMax(m_graph, PlotAxisId::Y, yMax());
  }
  if (auto v = d.find("showLegend"); v && v->isNumber()) m_graph->legend = int(v->asInt());

  std::vector<Value> layers;
  if (flag(d, "multiplot")) {
    for (const Curve& c : m_curves) {
      const Value* layer = c.dictionary.find("layer");
      if (layer && !layer->isNil() && std::find(layers.begin(), layers.end(), *layer) == layers.end())
        layers.push_back(*layer);
    }
  }
  const std::string title = text(d, "title"), xLabel = text(d, "xLabel"), yLabel = text(d, "yLabel");
  int bands = 1;
  if (!layers.empty()) {
    bands = int(layers.size());
    m_frameDeltaY = double(height()) / bands;
    plotPortSetFrame(m_port, 0, width(), m_frameDeltaY, 0);
    plotGraphLayout(m_graph);
    plotGraphClearCurves(m_graph);
    double bottom = 0;
    for (const Value& layer : layers) {
      LayerTitles bandTitles;
      for (auto it = m_curves.rbegin(); it != m_curves.rend(); ++it) {
        const Value* own = it->dictionary.find("layer");
        if (own && !own->isNil() && !(*own == layer)) continue;
        it->dictionary.set("frameMinY", bottom);
        it->dictionary.set("frameMaxY", bottom + m_frameDeltaY);
        addCurve(*it);
      }
      for (const Curve& c : m_curves) {
        const Value* own = c.dictionary.find("layer");
        if (!own || own->isNil() || *own == layer) bandTitles.see(c.dictionary);
      }
      plotPortSetFrame(m_port, 0, width(), bottom + m_frameDeltaY, bottom);
      plotGraphDrawBand(m_graph);
      plotGraphDrawTitles(m_graph, bandTitles.or_(title), xLabel, yLabel);
      plotGraphClearCurves(m_graph);
      bottom += m_frameDeltaY;
    }
  } else {
    plotGraphDraw(m_graph);
    plotGraphDrawTitles(m_graph, titles.or_(title), xLabel, yLabel);
  }

  double dxMin, dxMax, dyMin, dyMax, rxMin, rxMax, ryMin, ryMax;
  plotGraphGetWorkingDataExtents(m_graph, dxMin, dxMax, dyMin, dyMax);
  plotGraphGetRanges(m_graph, rxMin, rxMax, ryMin, ryMax);
  m_scaleOnlyExpandsDictionary = Dictionary{{"xDataMin", dxMin}, {"xDataMax", dxMax}, {"yDataMin", dyMin}, {"yDataMax", dyMax}};
  if (m_zoomedToFit) {
    setXMin(rxMin);
    setXMax(rxMax);
    setYMin(ryMin);
    setYMax(ryMax);
    updateWindowUserCoordinates();
  }
  m_feedbackDictionary = Dictionary{{"xMin", rxMin}, {"xMax", rxMax}, {"yMin", ryMin}, {"yMax", ryMax}};
  if (flag(d, "transposeAxes")) {
    m_scaleOnlyExpandsDictionary = dictionaryExchangingXY(m_scaleOnlyExpandsDictionary);
    m_feedbackDictionary = dictionaryExchangingXY(m_feedbackDictionary);
  }
  if (std::isfinite(dxMin) && std::isfinite(dxMax) && std::isfinite(dyMin) && std::isfinite(dyMax))
    setLimits(dxMin, dxMax, dyMin, dyMax);
  plotGraphClearCurves(m_graph);

  // The drawn curves, with their bands, are what the filtered dictionary shows now.
  if (curvesValue && curvesValue->isArray()) {
    Array drawn;
    for (const Curve& c : m_curves) drawn.push_back(c.dictionary);
    Dictionary filtered = d;
    filtered.set("curves", std::move(drawn));
    m_filteredPlotDictionary = std::move(filtered);
  }

  // Only a drawing of curves sets the band height to keep: the empty view a window shows
  // before its first result would otherwise make the first result's bands grow the
  // window to several times its height.
  if (!m_curves.empty()) {
    if (m_bandsOfLastCurves != 0 && m_bandsOfLastCurves != bands) {
      int newHeight = int(std::lround(bands * (double(height()) / m_bandsOfLastCurves)));
      QTimer::singleShot(0, this, [this, newHeight] { multiplotTransition(newHeight); });
    }
    m_bandsOfLastCurves = bands;
  }
  m_numberOfMultiplots = bands;
}

void ZoomPlotView::multiplotTransition(int newViewHeight) {
  QWidget* w = window();
  int delta = newViewHeight - height();
  int h = std::max(w->height() + delta, w->minimumHeight());
  w->resize(w->width(), h);
  update();
}

void ZoomPlotView::zoomToFit() {
  ZoomView::zoomToFit();
  m_zoomedToFit = true;
  update();
}

void ZoomPlotView::zoom(const QRectF& rect, bool out) {
  ZoomView::zoom(rect, out);
  m_zoomedToFit = false;
}

void ZoomPlotView::immediateZoom(const QRectF& rect, bool out) {
  ZoomView::immediateZoom(rect, out);
  m_zoomedToFit = false;
}

ZoomExtents ZoomPlotView::extents() const {
  double xMin, xMax, yMin, yMax;
  plotGraphGetWorkingDataExtents(m_graph, xMin, xMax, yMin, yMax);
  if (!(xMin <= xMax) || !(yMin <= yMax)) plotGraphGetRanges(m_graph, xMin, xMax, yMin, yMax);
  return {xMin, xMax, yMin, yMax};
}

QPointF ZoomPlotView::userPointForViewPoint(QPointF p) {
  if (m_numberOfMultiplots == 0) return ZoomView::userPointForViewPoint(p);
  double bottom = 0, top = height();
  if (m_numberOfMultiplots > 1 && m_frameDeltaY != 0) {
    bottom = std::trunc(p.y() / m_frameDeltaY) * m_frameDeltaY;
    top = bottom + m_frameDeltaY;
  }
  plotPortSetFrame(m_port, 0, width(), top, bottom);
  plotGraphApplyMargins(m_graph);
  plotGraphApplyToPort(m_graph);
  double u, v;
  plotGraphViewToUser(m_graph, p.x(), p.y(), u, v);
  return {u, v};
}

void ZoomPlotView::mouseMoved(QMouseEvent* event) {
  if (m_numberOfMultiplots == 0) return;
  QPointF p = viewPoint(event);
  double bottom = 0, top = height();
  if (m_numberOfMultiplots > 1 && m_frameDeltaY != 0) {
    bottom = std::trunc(p.y() / m_frameDeltaY) * m_frameDeltaY;
    top = bottom + m_frameDeltaY;
  }
  plotPortSetFrame(m_port, 0, width(), top, bottom);
  plotGraphApplyMargins(m_graph);
  plotGraphApplyToPort(m_graph);
  double u, v;
  bool inside = plotGraphViewToUser(m_graph, p.x(), p.y(), u, v);
  if (inside) {
    setXMouse(u);
    setYMouse(v);
  }
  setMouseValidAfterDelay(inside, 0.1);
}

void ZoomPlotView::mouseDoubleClickEvent(QMouseEvent* event) {
  m_doubleClick = true;
  mousePressEvent(event);
}

void ZoomPlotView::leftMouseUp(QMouseEvent* event) {
  ZoomView::leftMouseUp(event);
  if (m_doubleClick) {
    m_doubleClick = false;
    zoomToFit();
  }
}

std::string ZoomPlotView::commentForPresentMousePosition() const {
  const Curve* nearest = nullptr;
  double best = INFINITY;
  for (auto it = m_curves.rbegin(); it != m_curves.rend(); ++it) {
    std::size_t n = std::min(it->x.size(), it->y.size());
    foundation::LinearInterpolator interpolator(std::vector<double>(it->x.begin(), it->x.begin() + n),
                                                std::vector<double>(it->y.begin(), it->y.begin() + n));
    double distance = std::abs(yMouse() - interpolator.valueAt(xMouse()));
    if (!nearest || distance < best) {
      nearest = &*it;
      best = distance;
    }
  }
  if (!nearest) return {};
  if (const Value* name = nearest->dictionary.find("name"); name && name->isString()) return name->asString();
  return text(nearest->dictionary, "yLabel") + " vs " + text(nearest->dictionary, "xLabel");
}

void ZoomPlotView::drawBoxes(QPainter& painter) {
  if (!drawsZoomRect()) return;
  plotPortSetFrame(m_port, 0, width(), height(), 0);
  plotGraphApplyMargins(m_graph);
  plotGraphApplyToPort(m_graph);
  QRectF r = zoomRect();
  double x0, y0, x1, y1;
  plotPortUserToView(m_port, r.left(), r.top(), x0, y0);
  plotPortUserToView(m_port, r.right(), r.bottom(), x1, y1);
  QRectF box(QPointF(x0, height() - y0), QPointF(x1, height() - y1));
  QColor c = colorHavingGoodContrastAgainstBackground();
  QColor fill = c;
  fill.setAlphaF(0.1f);
  painter.save();
  painter.setPen(c);
  painter.setBrush(fill);
  painter.drawRect(box.normalized());
  painter.restore();
}

}  // namespace orb::rendering
