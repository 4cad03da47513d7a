#include "rendering/ZoomView.h"

#include <QBuffer>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/Color.h"
#include "platform/UserDefaults.h"
#include "rendering/QtPlotBackEnd.h"

namespace orb::rendering {
namespace {
constexpr int kScrollerRange = 10000;

double defaultsNumber(const char* key) { return platform::UserDefaults::standard().doubleForKey(key); }
// The calibration keeps single precision in the defaults.
void storeDefaultsNumber(const char* key, double v) {
  platform::UserDefaults::standard().setObject(key, platform::Value(static_cast<float>(v)));
}
}  // namespace

ZoomView::ZoomView(QWidget* parent) : ActiveMouseView(parent) {
  m_clock = [] {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
  };
  // Stored as a boolean, but any number reads: its integer part is the flag.
  m_useImageCalibration = std::trunc(defaultsNumber("ZVUseImageCalibration")) != 0;
  m_imageCalibrationZ = defaultsNumber("ZVImageCalibrationZ");
  m_imageCalibrationY = defaultsNumber("ZVImageCalibrationY");
  m_imageCalibrationL = defaultsNumber("ZVImageCalibrationL");
  m_imageCalibrationH = defaultsNumber("ZVImageCalibrationH");
  m_imageCalibrationV = defaultsNumber("ZVImageCalibrationV");
  m_imageCalibrationN = defaultsNumber("ZVImageCalibrationN");
  updateWindowUserCoordinates();
}

void ZoomView::setUseImageCalibration(bool use) {
  m_useImageCalibration = use;
  platform::UserDefaults::standard().setObject("ZVUseImageCalibration", platform::Value(use));
  update();
}

#define ORB_CALIBRATION_SETTER(Name)                          \
  void ZoomView::setImageCalibration##Name(double v) {        \
    m_imageCalibration##Name = v;                             \
    storeDefaultsNumber("ZVImageCalibration" #Name, v);       \
    update();                                                 \
  }
ORB_CALIBRATION_SETTER(Z)
ORB_CALIBRATION_SETTER(Y)
ORB_CALIBRATION_SETTER(L)
ORB_CALIBRATION_SETTER(H)
ORB_CALIBRATION_SETTER(V)
ORB_CALIBRATION_SETTER(N)
#undef ORB_CALIBRATION_SETTER

platform::Dictionary ZoomView::restorationData() const {
  QColor c = backgroundColor().toRgb();
  platform::Value image;
  if (!backgroundImage().isNull()) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    backgroundImage().save(&buffer, "PNG");
    image = platform::Value(platform::Data(png.begin(), png.end()));
  }
  return platform::Dictionary{{"backgroundColor", platform::Color::make(c.redF(), c.greenF(), c.blueF(), c.alphaF())},
                              {"backgroundImage", image},
                              {"useImageCalibration", m_useImageCalibration},
                              {"imageCalibrationZ", m_imageCalibrationZ},
                              {"imageCalibrationY", m_imageCalibrationY},
                              {"imageCalibrationL", m_imageCalibrationL},
                              {"imageCalibrationH", m_imageCalibrationH},
                              {"imageCalibrationV", m_imageCalibrationV},
                              {"imageCalibrationN", m_imageCalibrationN}};
}

void ZoomView::drawBackgroundImage(QPainter& painter) {
  if (!m_useImageCalibration) ActiveMouseView::drawBackgroundImage(painter);
}

void ZoomView::drawContent(QPainter& painter, const platform::Dictionary&) {
  if (drawsBackgroundImage() && m_useImageCalibration) drawCalibratedBackgroundImage(painter);
}

void ZoomView::drawCalibratedBackgroundImage(QPainter& painter) {
  const QImage& image = backgroundImage();
  // N = 0 would scale by infinity; no placement is defined then.
  if (image.isNull() || m_imageCalibrationN == 0 || !std::isfinite(m_imageCalibrationL / m_imageCalibrationN)) return;
  double k = m_imageCalibrationL / m_imageCalibrationN;
  QSizeF size = image.deviceIndependentSize();
  painter.save();
  painter.translate(m_imageCalibrationZ, m_imageCalibrationY);
  painter.scale(k, k);
  painter.translate(-m_imageCalibrationH, -m_imageCalibrationV);
  // Image coordinates run up from the image's bottom-left corner like user coordinates,
  // while QImage rows run down: flip about the image's own height.
  painter.translate(0, size.height());
  painter.scale(1, -1);
  painter.drawImage(QRectF(QPointF(0, 0), size), image);
  painter.restore();
}

void ZoomView::setLimits(double xMinMin, double xMaxMax, double yMinMin, double yMaxMax) {
  m_xMinMin = xMinMin;
  m_xMaxMax = xMaxMax;
  m_yMinMin = yMinMin;
  m_yMaxMax = yMaxMax;
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

QRectF ZoomView::userRect() const {
  return {m_xMinWindow, m_yMinWindow, m_xMaxWindow - m_xMinWindow, m_yMaxWindow - m_yMinWindow};
}

void ZoomView::setIsotropic(bool isotropic) {
  m_isotropic = isotropic;
  adjustWindow();
}

ZoomData ZoomView::windowDataForZoomData(const ZoomData& d) const {
  if (!m_isotropic) return d;
  double dx = d.xMax - d.xMin, dy = d.yMax - d.yMin;
  double w = width(), h = height();
  double sx = dx != 0 ? w / dx : 1, sy = dy != 0 ? h / dy : 1;
  ZoomData out = d;
  if (sx > sy) {
    double r = (sx / sy) * dx / 2;
    if (r == 0) r = 1;
    double c = (d.xMin + d.xMax) / 2;
    out.xMin = c - r;
    out.xMax = c + r;
  } else {
    double r = (sy / sx) * dy / 2;
    if (r == 0) r = 1;
    double c = (d.yMin + d.yMax) / 2;
    out.yMin = c - r;
    out.yMax = c + r;
  }
  return out;
}

void ZoomView::updateWindowUserCoordinates() {
  ZoomData w = windowDataForZoomData(zoomData());
  m_xMinWindow = w.xMin;
  m_xMaxWindow = w.xMax;
  m_yMinWindow = w.yMin;
  m_yMaxWindow = w.yMax;
  if (width() > 0) m_gPixelX = (m_xMaxWindow - m_xMinWindow) / width();
  if (height() > 0) m_gPixelY = (m_yMaxWindow - m_yMinWindow) / height();
}

void ZoomView::adjustWindow() {
  updateWindowUserCoordinates();
  update();
}

void ZoomView::setZoomData(const ZoomData& d) {
  m_xMin = d.xMin;
  m_xMax = d.xMax;
  m_yMin = d.yMin;
  m_yMax = d.yMax;
  adjustWindow();
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

void ZoomView::setZoomDataBytes(const unsigned char* data, std::size_t size) {
  if (auto d = ZoomData::fromBytes(data, size)) setZoomData(*d);
}

void ZoomView::setTargetZoomData(const ZoomData& d) {
  recordHistory("Zoom");
  setZoomData(d);
  if (m_zoomingToFit) {
    zoomToFitDone();
    m_zoomingToFit = false;
  }
}

void ZoomView::setExtendedZoomData(const std::array<double, 8>& v) {
  m_xMin = v[0];
  m_xMax = v[1];
  m_yMin = v[2];
  m_yMax = v[3];
  m_xMinWindow = v[4];
  m_xMaxWindow = v[5];
  m_yMinWindow = v[6];
  m_yMaxWindow = v[7];
  if (width() > 0) m_gPixelX = (m_xMaxWindow - m_xMinWindow) / width();
  if (height() > 0) m_gPixelY = (m_yMaxWindow - m_yMinWindow) / height();
  update();
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

void ZoomView::zoomToFit() {
  ZoomExtents e = extents();
  bool jump = m_suspendUntilZoomToFit;
  m_suspendUntilZoomToFit = false;
  double f = zoomToFitScaleFactor();
  setLimits(e.xMin, e.xMax, e.yMin, e.yMax);
  ZoomData d{e.xMin, e.xMax, e.yMin, e.yMax};
  if (f != 1.0) {
    d = {(e.xMax + e.xMin - f * (e.xMax - e.xMin)) / 2, (e.xMax + e.xMin + f * (e.xMax - e.xMin)) / 2,
         (e.yMax + e.yMin - f * (e.yMax - e.yMin)) / 2, (e.yMax + e.yMin + f * (e.yMax - e.yMin)) / 2};
  }
  m_zoomingToFit = true;
  if (jump) {
    setZoomData(d);
    zoomToFitDone();
    m_zoomingToFit = false;
  } else {
    m_history.record(zoomData(), "Zoom to fit");
    setTargetZoomData(d);
  }
}

ZoomData ZoomView::zoomedRange(const QRectF& r, bool out) const {
  if (!out) return {r.left(), r.right(), r.top(), r.bottom()};
  double w = m_xMax - m_xMin, h = m_yMax - m_yMin;
  double k = std::max(w / r.width(), h / r.height());
  double cx = (m_xMin + m_xMax) / 2, cy = (m_yMin + m_yMax) / 2;
  QPointF m = r.center();
  return {cx + (m_xMin - m.x()) * k, cx + (m_xMax - m.x()) * k, cy + (m_yMin - m.y()) * k, cy + (m_yMax - m.y()) * k};
}

void ZoomView::zoom(const QRectF& r, bool out) {
  if (r.width() == 0 || r.height() == 0) return;
  if (out && (m_xMax == m_xMin || m_yMax == m_yMin)) return;
  recordHistory("Zoom");
  ZoomData d = zoomedRange(r, out);
  // Zooming out grows the outer limits, about the centre of the model's extents.
  ZoomExtents e = extents();
  double ex = (e.xMin + e.xMax) / 2, ey = (e.yMin + e.yMax) / 2;
  double hx = std::max({e.xMax - ex, d.xMax - ex, ex - d.xMin, ex - e.xMin});
  double hy = std::max({e.yMax - ey, d.yMax - ey, ey - d.yMin, ey - e.yMin});
  setLimits(ex - hx, ex + hx, ey - hy, ey + hy);
  setTargetZoomData(d);
}

void ZoomView::zoomOn(QPointF p, double f, bool out) {
  QPointF a(p.x() + f * (m_xMinWindow - p.x()), p.y() + f * (m_yMinWindow - p.y()));
  QPointF b(p.x() + f * (m_xMaxWindow - p.x()), p.y() + f * (m_yMaxWindow - p.y()));
  zoom(QRectF(a, b).normalized(), out);
}

void ZoomView::immediateZoom(const QRectF& r, bool out) {
  // A zero-sized rectangle can only come from a zero range; there is nothing to scale.
  if (out && (r.width() == 0 || r.height() == 0)) return;
  ZoomData d = zoomedRange(r, out);
  double t = now();
  if (t - m_timeAtLastZoom > 0.3) recordHistory("Zoom");
  m_timeAtLastZoom = t;
  setZoomData(d);
}

void ZoomView::immediateZoomOn(QPointF p, double f, bool out) {
  QPointF a(p.x() + f * (m_xMinWindow - p.x()), p.y() + f * (m_yMinWindow - p.y()));
  QPointF b(p.x() + f * (m_xMaxWindow - p.x()), p.y() + f * (m_yMaxWindow - p.y()));
  immediateZoom(QRectF(a, b).normalized(), out);
}

void ZoomView::shiftBy(double dx, double dy) {
  m_xMin += dx;
  m_xMax += dx;
  m_yMin += dy;
  m_yMax += dy;
  m_xMinMin = std::min(m_xMinMin, m_xMin);
  m_xMaxMax = std::max(m_xMaxMax, m_xMax);
  m_yMinMin = std::min(m_yMinMin, m_yMin);
  m_yMaxMax = std::max(m_yMaxMax, m_yMax);
  adjustWindow();
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

QPointF ZoomView::userPointForViewPoint(QPointF p) {
  double w = width(), h = height();
  return {p.x() * (m_xMaxWindow - m_xMinWindow) / w + m_xMinWindow,
          p.y() * (m_yMaxWindow - m_yMinWindow) / h + m_yMinWindow};
}

QPointF ZoomView::viewPointForUserPoint(QPointF u) {
  return {(u.x() - m_xMinWindow) * width() / (m_xMaxWindow - m_xMinWindow),
          (u.y() - m_yMinWindow) * height() / (m_yMaxWindow - m_yMinWindow)};
}

QPointF ZoomView::viewPoint(const QMouseEvent* event) const {
  return {event->position().x(), height() - event->position().y()};
}

void ZoomView::backAction() {
  if (auto d = m_history.back(zoomData())) goToZoomData(*d);
}

void ZoomView::forwardAction() {
  if (auto d = m_history.forward(zoomData())) goToZoomData(*d);
}

int ZoomView::mouseModeForModifiers(Qt::KeyboardModifiers m) const {
  if (m == Qt::AltModifier || m == Qt::MetaModifier) return Zoom;
  if (m == Qt::ControlModifier) return hasContextMenu() ? ContextMenu : Pan;
  return Select;
}

QCursor ZoomView::cursorForMouseMode(int mode) const {
  switch (mode) {
    case Select: return Qt::PointingHandCursor;
    case Zoom: return Qt::CrossCursor;
    case Pan: return Qt::OpenHandCursor;
    case ContextMenu: return Qt::WhatsThisCursor;
    default: return Qt::ArrowCursor;
  }
}

void ZoomView::mouseModeStress() {
  if (mouseMode() == Zoom) zoomToFit();
}

platform::Dictionary ZoomView::contentOptions() const {
  PlotColor c = fromQColor(colorHavingGoodContrastAgainstBackground());
  return platform::Dictionary{{"pixelWidth", m_gPixelX},
                              {"defaultColor", platform::Color::make(c.red, c.green, c.blue, c.alpha)},
                              {"xMin", m_xMin},
                              {"xMax", m_xMax},
                              {"yMin", m_yMin},
                              {"yMax", m_yMax}};
}

void ZoomView::setupTransformation(QPainter& painter) {
  QRectF u = userRect();
  if (u.width() == 0 || u.height() == 0) return;
  painter.translate(width() / 2.0, height() / 2.0);
  painter.scale(width() / u.width(), -height() / u.height());
  painter.translate(-(u.x() + u.width() / 2), -(u.y() + u.height() / 2));
  QPen pen = painter.pen();
  pen.setCosmetic(true);  // one screen point wide whatever the scale
  pen.setWidthF(1.0);
  painter.setPen(pen);
}

void ZoomView::drawRect(QPainter& painter) {
  ActiveMouseView::drawRect(painter);
  painter.save();
  setupTransformation(painter);
  drawContent(painter, contentOptions());
  drawBoxes(painter);
  painter.restore();
  drawViewBoxes(painter);
}

void ZoomView::drawBoxes(QPainter& painter) {
  if (!m_drawsZoomRect) return;
  QColor c = colorHavingGoodContrastAgainstBackground();
  QColor fill = c;
  fill.setAlphaF(0.1f);
  painter.save();
  QPen pen(c);
  pen.setCosmetic(true);
  painter.setPen(pen);
  painter.setBrush(fill);
  painter.drawRect(m_zoomRect);
  painter.restore();
}

void ZoomView::updateMouseReadout(QPointF viewPoint) {
  QPointF u = userPointForViewPoint(viewPoint);
  setXMouse(u.x());
  setYMouse(u.y());
  setMouseValidAfterDelay(true, 0.1);
}

void ZoomView::mouseMoved(QMouseEvent* event) {
  if (rect().contains(event->position().toPoint()))
    updateMouseReadout(viewPoint(event));
  else
    setMouseValidAfterDelay(false, 0.1);
}

void ZoomView::shadowMouseDown(QMouseEvent* event) {
  switch (mouseMode()) {
    case Select: selectMouseDown(event); break;
    case Zoom: zoomMouseDown(event); break;
    case Pan: panMouseDown(event); break;
    default: break;
  }
}

void ZoomView::shadowMouseDragged(QMouseEvent* event) {
  switch (mouseMode()) {
    case Select: selectMouseDragged(event); break;
    case Zoom: zoomMouseDragged(event); break;
    case Pan: panMouseDragged(event); break;
    default: break;
  }
}

void ZoomView::shadowMouseUp(QMouseEvent* event) {
  switch (mouseMode()) {
    case Select: selectMouseUp(event); break;
    case Zoom: zoomMouseUp(event); break;
    case Pan: panMouseUp(event); break;
    default: break;
  }
}

void ZoomView::zoomMouseDown(QMouseEvent* event) {
  m_pressViewPoint = viewPoint(event);
  m_pressUserPoint = userPointForViewPoint(m_pressViewPoint);
  m_zoomRect = QRectF(m_pressUserPoint, QSizeF(0, 0));
  m_drawsZoomRect = false;
}

void ZoomView::updateZoomRectForMouseEvent(QMouseEvent* event) {
  QPointF v = viewPoint(event);
  QPointF u = userPointForViewPoint(v);
  m_zoomRect = QRectF(m_pressUserPoint, u).normalized();
  if (std::abs(v.x() - m_pressViewPoint.x()) > 2.0 || std::abs(v.y() - m_pressViewPoint.y()) > 2.0)
    m_drawsZoomRect = true;
  update();
  updateMouseReadout(v);
}

void ZoomView::zoomMouseDragged(QMouseEvent* event) { updateZoomRectForMouseEvent(event); }

void ZoomView::zoomMouseUp(QMouseEvent* event) {
  updateZoomRectForMouseEvent(event);
  bool out = event->modifiers() & Qt::ShiftModifier;
  if (!m_drawsZoomRect) {
    zoomOn(m_zoomRect.topLeft(), 0.5, out);
  } else {
    m_drawsZoomRect = false;
    zoom(m_zoomRect, out);
  }
}

void ZoomView::panMouseDown(QMouseEvent* event) {
  setCursor(Qt::ClosedHandCursor);
  m_panViewPoint = viewPoint(event);
  recordHistory("Pan");
}

void ZoomView::panMouseDragged(QMouseEvent* event) {
  QPointF v = viewPoint(event);
  QPointF before = userPointForViewPoint(m_panViewPoint), after = userPointForViewPoint(v);
  shiftBy(before.x() - after.x(), before.y() - after.y());
  m_panViewPoint = v;
  update();
}

void ZoomView::panMouseUp(QMouseEvent*) { setCursor(Qt::OpenHandCursor); }

void ZoomView::otherMouseDown(QMouseEvent* event) { panMouseDown(event); }
void ZoomView::otherMouseDragged(QMouseEvent* event) { panMouseDragged(event); }
void ZoomView::otherMouseUp(QMouseEvent* event) {
  panMouseUp(event);
  ActiveMouseView::otherMouseUp(event);
}

void ZoomView::wheelEvent(QWheelEvent* event) {
  // One notch is 120 eighths of a degree, one unit of the wheel.
  float s = float(event->angleDelta().x()) / 120.0f + float(event->angleDelta().y()) / 120.0f;
  if (s == 0) return;
  QPointF v(event->position().x(), height() - event->position().y());
  immediateZoomOn(userPointForViewPoint(v), std::exp(-0.05 * s), false);
  event->accept();
}

void ZoomView::resizeEvent(QResizeEvent* event) {
  ActiveMouseView::resizeEvent(event);
  adjustWindow();
}

void ZoomView::setScrollers(QScrollBar* horizontal, QScrollBar* vertical) {
  m_hScroller = horizontal;
  m_vScroller = vertical;
  auto connectScroller = [this](QScrollBar* bar, bool isHorizontal) {
    if (!bar) return;
    bar->setRange(0, kScrollerRange);
    QObject::connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, isHorizontal](int action) {
      ScrollPart part;
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: part = ScrollPart::IncrementLine; break;
        case QAbstractSlider::SliderSingleStepSub: part = ScrollPart::DecrementLine; break;
        case QAbstractSlider::SliderPageStepAdd: part = ScrollPart::IncrementPage; break;
        case QAbstractSlider::SliderPageStepSub: part = ScrollPart::DecrementPage; break;
        case QAbstractSlider::SliderMove: part = ScrollPart::Knob; break;
        default: return;
      }
      double value = double(bar->sliderPosition()) / bar->maximum();
      if (isHorizontal)
        horizontalScrollAction(part, value);
      else
        verticalScrollAction(part, value);
    });
  };
  connectScroller(horizontal, true);
  connectScroller(vertical, false);
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

void ZoomView::prepareToUndoScrolling() {
  if (m_scrolling) return;
  double t = now();
  if (t - m_timeAtLastZoom > 1.0) recordHistory("Scroll");
  m_timeAtLastZoom = t;
  m_scrolling = true;
  QTimer::singleShot(0, this, [this] { m_scrolling = false; });
}

void ZoomView::horizontalScrollAction(ScrollPart part, double knob) {
  prepareToUndoScrolling();
  double w = m_xMax - m_xMin, s = m_xMaxMax - m_xMinMin;
  ZoomData before = zoomData();
  switch (part) {
    case ScrollPart::DecrementPage:
    case ScrollPart::DecrementLine:
      m_xMin = std::max(m_xMin - (part == ScrollPart::DecrementPage ? w : 0.1 * w), m_xMinMin);
      m_xMax = m_xMin + w;
      break;
    case ScrollPart::IncrementPage:
    case ScrollPart::IncrementLine:
      m_xMax = std::min(m_xMax + (part == ScrollPart::IncrementPage ? w : 0.1 * w), m_xMaxMax);
      m_xMin = m_xMax - w;
      break;
    case ScrollPart::Knob:
    case ScrollPart::KnobSlot:
      m_xMin = m_xMinMin + knob * (s - w);
      m_xMax = m_xMin + w;
      break;
  }
  if (part != ScrollPart::Knob && part != ScrollPart::KnobSlot) adjustHorizontalScroller();
  if (!(before == zoomData())) adjustWindow();
}

void ZoomView::verticalScrollAction(ScrollPart part, double knob) {
  prepareToUndoScrolling();
  double h = m_yMax - m_yMin, s = m_yMaxMax - m_yMinMin;
  ZoomData before = zoomData();
  bool up = part == ScrollPart::DecrementPage || part == ScrollPart::DecrementLine;
  bool page = part == ScrollPart::DecrementPage || part == ScrollPart::IncrementPage;
  if (m_reverseVerticalScrollAction) up = !up;
  if (part == ScrollPart::Knob || part == ScrollPart::KnobSlot) {
    if (m_reverseVerticalScrollAction) {
      m_yMin = m_yMinMin + knob * (s - h);
      m_yMax = m_yMin + h;
    } else {
      m_yMax = m_yMaxMax - knob * (s - h);
      m_yMin = m_yMax - h;
    }
  } else if (up) {
    m_yMax = std::min(m_yMax + (page ? h : 0.1 * h), m_yMaxMax);
    m_yMin = m_yMax - h;
  } else {
    m_yMin = std::max(m_yMin - (page ? h : 0.1 * h), m_yMinMin);
    m_yMax = m_yMin + h;
  }
  if (part != ScrollPart::Knob && part != ScrollPart::KnobSlot) adjustVerticalScroller();
  if (!(before == zoomData())) adjustWindow();
}

namespace {
void setScroller(QScrollBar* bar, double proportion, double value, bool enabled) {
  if (!bar) return;
  QSignalBlocker block(bar);
  bar->setEnabled(enabled);
  if (!enabled) return;
  proportion = std::clamp(proportion, 0.0, 0.999);
  bar->setPageStep(int(std::lround(kScrollerRange * proportion / (1 - proportion))));
  bar->setValue(int(std::lround(std::clamp(value, 0.0, 1.0) * kScrollerRange)));
}
}  // namespace

void ZoomView::adjustHorizontalScroller() {
  double w = m_xMax - m_xMin, s = m_xMaxMax - m_xMinMin;
  setScroller(m_hScroller, w / s, (m_xMin - m_xMinMin) / (s - w), s > w);
}

void ZoomView::adjustVerticalScroller() {
  double h = m_yMax - m_yMin, s = m_yMaxMax - m_yMinMin;
  double value = m_reverseVerticalScrollAction ? (m_yMin - m_yMinMin) / (s - h) : (m_yMaxMax - m_yMax) / (s - h);
  setScroller(m_vScroller, h / s, value, s > h);
}

}  // namespace orb::rendering
