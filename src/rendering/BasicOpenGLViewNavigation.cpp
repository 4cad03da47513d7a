// BasicOpenGLView: the mouse gestures, zooming, scrolling, orientation presets and the
// back/forward history.
#include <GL/gl.h>

#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/values/Extents.h"
#include "rendering/BasicOpenGLView.h"
#include "rendering/GLColors.h"
#include "rendering/Trackball.h"

namespace orb::rendering {

namespace {

// Wheel bursts and scroller bursts closer than these make one history step.
constexpr double kWheelBurstSeconds = 0.3;
constexpr double kScrollBurstSeconds = 1.0;
// A zoom drag that moves no more than this (view points) in both directions is a click.
constexpr double kClickTolerance = 2.0;
// Resolution of an attached scroll bar.
constexpr int kScrollBarSteps = 10000;

GLRotation glRotation(const TrackballRotation& r) { return {r[0], r[1], r[2], r[3]}; }
TrackballRotation asTrackball(const GLRotation& r) { return {r.angle, r.x, r.y, r.z}; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Modes

QCursor BasicOpenGLView::cursorForMouseMode(int mode) const {
  switch (mode) {
    case kSelectMode: return Qt::PointingHandCursor;
    case kZoomMode: return Qt::CrossCursor;
    case kPanMode: return Qt::OpenHandCursor;
    default: return Qt::ArrowCursor;
  }
}

int BasicOpenGLView::mouseModeForModifiers(Qt::KeyboardModifiers modifiers) const {
  if (modifiers == Qt::AltModifier) return kZoomMode;
  if (modifiers == Qt::ControlModifier && disableContextualMenus()) return kPanMode;
  return mouseMode();
}

void BasicOpenGLView::mouseModeStress() {
  if (mouseMode() == kZoomMode)
    zoomToFit();
  else if (mouseMode() == kRotateMode)
    turnAction();
}

void BasicOpenGLView::menuNeedsUpdate(QMenu* menu) const {
  if (!menu || menu->title() != "Mode") return;
  for (QAction* item : menu->actions()) {
    bool isMode = false;
    const int tag = item->data().toInt(&isMode);
    if (!isMode || tag < kSelectMode || tag > kLightMode) continue;
    item->setEnabled(true);
    item->setCheckable(true);
    item->setChecked(tag == mouseMode());
  }
}

std::array<double, 2> BasicOpenGLView::viewPointForEvent(const QMouseEvent* event) const {
  const QPointF p = event->position();
  return {p.x(), height() - p.y()};
}

// ---------------------------------------------------------------------------------------
// Dispatch

void BasicOpenGLView::leftMouseDown(QMouseEvent* event) {
  switch (mouseMode()) {
    case kSelectMode: selectMouseDown(event); break;
    case kZoomMode: zoomMouseDown(event); break;
    case kRotateMode: rotateMouseDown(event); break;
    case kPanMode: panMouseDown(event); break;
    case kLightMode: lightMouseDown(event); break;
    default: break;
  }
}

void BasicOpenGLView::leftMouseDragged(QMouseEvent* event) {
  switch (mouseMode()) {
    case kSelectMode: selectMouseDragged(event); break;
    case kZoomMode: zoomMouseDragged(event); break;
    case kRotateMode: rotateMouseDragged(event); break;
    case kPanMode: panMouseDragged(event); break;
    case kLightMode: lightMouseDragged(event); break;
    default: break;
  }
}

void BasicOpenGLView::leftMouseUp(QMouseEvent* event) {
  switch (mouseMode()) {
    case kSelectMode: selectMouseUp(event); break;
    case kZoomMode: zoomMouseUp(event); break;
    case kRotateMode: rotateMouseUp(event); break;
    case kPanMode: panMouseUp(event); break;
    case kLightMode: lightMouseUp(event); break;
    default: break;
  }
  MouseOpenGLView::leftMouseUp(event);
}

void BasicOpenGLView::rightMouseDown(QMouseEvent* event) {
  if (disableContextualMenus()) panMouseDown(event);
}

void BasicOpenGLView::rightMouseDragged(QMouseEvent* event) {
  if (disableContextualMenus()) panMouseDragged(event);
}

void BasicOpenGLView::rightMouseUp(QMouseEvent* event) {
  if (disableContextualMenus()) panMouseUp(event);
  MouseOpenGLView::rightMouseUp(event);
}

void BasicOpenGLView::otherMouseDown(QMouseEvent* event) { lightMouseDown(event); }
void BasicOpenGLView::otherMouseDragged(QMouseEvent* event) { lightMouseDragged(event); }
void BasicOpenGLView::otherMouseUp(QMouseEvent* event) {
  lightMouseUp(event);
  MouseOpenGLView::otherMouseUp(event);
}

// ---------------------------------------------------------------------------------------
// Gestures

void BasicOpenGLView::zoomMouseDown(QMouseEvent* event) {
  m_pressViewPoint = viewPointForEvent(event);
  m_pressUserPoint = userPointForViewPoint(m_pressViewPoint[0], m_pressViewPoint[1]);
  m_zoomRect = {m_pressUserPoint[0], m_pressUserPoint[1], 0, 0};
}

void BasicOpenGLView::updateZoomRectForMouseEvent(QMouseEvent* event) {
  const auto v = viewPointForEvent(event);
  const auto u = userPointForViewPoint(v[0], v[1]);
  m_zoomRect = {std::min(u[0], m_pressUserPoint[0]), std::min(u[1], m_pressUserPoint[1]),
                std::abs(u[0] - m_pressUserPoint[0]), std::abs(u[1] - m_pressUserPoint[1])};
  m_drawsZoomRect = std::abs(v[0] - m_pressViewPoint[0]) > kClickTolerance ||
                    std::abs(v[1] - m_pressViewPoint[1]) > kClickTolerance;
  update();
}

void BasicOpenGLView::zoomMouseDragged(QMouseEvent* event) { updateZoomRectForMouseEvent(event); }

void BasicOpenGLView::zoomMouseUp(QMouseEvent* event) {
  updateZoomRectForMouseEvent(event);
  const bool out = event->modifiers().testFlag(Qt::ShiftModifier);
  if (!m_drawsZoomRect) {
    zoomOn(m_zoomRect[0], m_zoomRect[1], 0.5, out);
  } else {
    m_drawsZoomRect = false;
    zoom(m_zoomRect[0], m_zoomRect[1], m_zoomRect[2], m_zoomRect[3], out);
  }
}

void BasicOpenGLView::drawZoomRect() {
  const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const auto colour = colorHavingGoodContrastAgainstBackground();
  const double x0 = m_zoomRect[0], y0 = m_zoomRect[1], x1 = x0 + m_zoomRect[2], y1 = y0 + m_zoomRect[3];
  glColor4d(colour->red(), colour->green(), colour->blue(), 0.1);
  glBegin(GL_QUADS);
  glVertex3d(x0, y0, 0);
  glVertex3d(x1, y0, 0);
  glVertex3d(x1, y1, 0);
  glVertex3d(x0, y1, 0);
  glEnd();
  glColor4d(colour->red(), colour->green(), colour->blue(), 1);
  glBegin(GL_LINE_LOOP);
  glVertex3d(x0, y0, 0);
  glVertex3d(x1, y0, 0);
  glVertex3d(x1, y1, 0);
  glVertex3d(x0, y1, 0);
  glEnd();
  glPopMatrix();
  if (depthTest) glEnable(GL_DEPTH_TEST);
}

void BasicOpenGLView::rotateMouseDown(QMouseEvent* event) {
  // Tumbling stops and picks up again from the accelerations.
  tumbler().rVel = {0, 0, 0};
  const auto v = viewPointForEvent(event);
  trackballStart(static_cast<int>(v[0]), static_cast<int>(v[1]), 0, 0, width(), height());
  const GLRotation previous = worldRotation();
  backManager().record([this, previous] { setTargetWorldRotation(previous); });
  backManager().setActionName("Rotation");
}

void BasicOpenGLView::rotateMouseDragged(QMouseEvent* event) {
  const auto v = viewPointForEvent(event);
  TrackballRotation r = asTrackball(m_trackballRotation);
  trackballRoll(static_cast<int>(v[0]), static_cast<int>(v[1]), r);
  m_trackballRotation = glRotation(r);
  m_presentOrientation.clear();
  update();
}

void BasicOpenGLView::rotateMouseUp(QMouseEvent*) { endTrackball(); }

void BasicOpenGLView::endTrackball() {
  if (m_trackballRotation.angle != 0) {
    TrackballRotation world = asTrackball(m_worldRotation);
    trackballAddRotation(asTrackball(m_trackballRotation), world);
    m_worldRotation = glRotation(world);
  }
  m_trackballRotation = {0, 0, 0, 0};
  update();
}

void BasicOpenGLView::panMouseDown(QMouseEvent* event) {
  setCursor(Qt::ClosedHandCursor);
  m_lastPanPoint = viewPointForEvent(event);
  const ZoomData previous = zoomData();
  backManager().record([this, previous] { setTargetZoomData(previous); });
  backManager().setActionName("Pan");
}

void BasicOpenGLView::panMouseDragged(QMouseEvent* event) { mousePan(event); }

void BasicOpenGLView::mousePan(QMouseEvent* event) {
  const auto v = viewPointForEvent(event);
  const auto from = userPointForViewPoint(m_lastPanPoint[0], m_lastPanPoint[1]);
  const auto to = userPointForViewPoint(v[0], v[1]);
  // The scene follows the pointer.
  shiftBy(from[0] - to[0], from[1] - to[1]);
  m_lastPanPoint = v;
  update();
}

void BasicOpenGLView::lightMouseDown(QMouseEvent* event) {
  m_pressViewPoint = viewPointForEvent(event);
  trackballStart(static_cast<int>(m_pressViewPoint[0]), static_cast<int>(m_pressViewPoint[1]), 0, 0, width(),
                 height());
}

void BasicOpenGLView::lightMouseDragged(QMouseEvent* event) {
  const auto v = viewPointForEvent(event);
  TrackballRotation r = asTrackball(m_lightTrackballRotation);
  trackballRoll(static_cast<int>(v[0]), static_cast<int>(v[1]), r);
  m_lightTrackballRotation = glRotation(r);
  update();
}

void BasicOpenGLView::lightMouseUp(QMouseEvent*) { endLightTrackball(); }

void BasicOpenGLView::endLightTrackball() {
  if (m_lightTrackballRotation.angle != 0) {
    TrackballRotation light = asTrackball(m_lightRotation);
    trackballAddRotation(asTrackball(m_lightTrackballRotation), light);
    m_lightRotation = glRotation(light);
  }
  m_lightTrackballRotation = {0, 0, 0, 0};
  update();
}

void BasicOpenGLView::scrollWheel(double delta, double vx, double vy) {
  const float d = static_cast<float>(delta);
  if (d == 0) return;
  const auto p = userPointForViewPoint(vx, vy);
  immediateZoomOn(p[0], p[1], std::exp(-0.05 * d), false);
}

void BasicOpenGLView::wheelEvent(QWheelEvent* event) {
  // One notch of a wheel is 120 eighths of a degree: one line.
  const QPoint a = event->angleDelta();
  const double delta = (a.x() + a.y()) / 120.0;
  const QPointF p = event->position();
  scrollWheel(delta, p.x(), height() - p.y());
  event->accept();
}

// ---------------------------------------------------------------------------------------
// Zoom

GLViewHistory& BasicOpenGLView::backManager() {
  if (!m_backManager) {
    m_backManager = std::make_unique<GLViewHistory>();
    // The changes of one pass of the event loop are one step.
    m_backManager->setGroupOpenedHandler([this] {
      QTimer::singleShot(0, this, [this] {
        if (m_backManager) m_backManager->endGrouping();
      });
    });
  }
  return *m_backManager;
}

void BasicOpenGLView::setTargetZoomData(const ZoomData& data) {
  const ZoomData previous = zoomData();
  backManager().record([this, previous] { setTargetZoomData(previous); });
  setZoomData(data);
}

namespace {

// The box that `zoom` goes to; false when a zoom out starts from a box with no width or
// height, which has no scale to shrink.
bool zoomedBox(const ZoomData& present, double x, double y, double w, double h, bool out, ZoomData& box) {
  if (!out) {
    box = {x, x + w, y, y + h};
    return true;
  }
  const double dx = present.xMax - present.xMin, dy = present.yMax - present.yMin;
  if (dx == 0 || dy == 0) return false;
  const double s = std::max(dx / w, dy / h);
  const double cx = (present.xMin + present.xMax) / 2, cy = (present.yMin + present.yMax) / 2;
  const double rx = x + w / 2, ry = y + h / 2;
  box = {cx + (present.xMin - rx) * s, cx + (present.xMax - rx) * s, cy + (present.yMin - ry) * s,
         cy + (present.yMax - ry) * s};
  return true;
}

}  // namespace

void BasicOpenGLView::zoom(double x, double y, double w, double h, bool out) {
  if (w == 0) w = 1;
  if (h == 0) h = 1;
  const ZoomData previous = zoomData();
  backManager().record([this, previous] { setTargetZoomData(previous); });
  backManager().setActionName("Zoom");
  ZoomData box;
  if (!zoomedBox(previous, x, y, w, h, out, box)) return;
  setTargetZoomData(box);
}

void BasicOpenGLView::immediateZoom(double x, double y, double w, double h, bool out) {
  ZoomData box;
  // A zero rectangle has no scale to zoom out by.
  const bool zooms = !(out && (w == 0 || h == 0)) && zoomedBox(zoomData(), x, y, w, h, out, box);
  const double t = now();
  if (t - m_timeAtLastZoom > kWheelBurstSeconds) {
    const ZoomData previous = zoomData();
    backManager().record([this, previous] { setTargetZoomData(previous); });
    backManager().setActionName("Zoom");
  }
  m_timeAtLastZoom = t;
  if (zooms) setZoomData(box);
}

void BasicOpenGLView::zoomOn(double px, double py, double scale, bool out) {
  const ZoomData& wb = m_window;
  const double x0 = (wb.xMin - px) * scale + px, y0 = (wb.yMin - py) * scale + py;
  const double x1 = (wb.xMax - px) * scale + px, y1 = (wb.yMax - py) * scale + py;
  zoom(x0, y0, x1 - x0, y1 - y0, out);
}

void BasicOpenGLView::immediateZoomOn(double px, double py, double scale, bool out) {
  const ZoomData& wb = m_window;
  const double x0 = (wb.xMin - px) * scale + px, y0 = (wb.yMin - py) * scale + py;
  const double x1 = (wb.xMax - px) * scale + px, y1 = (wb.yMax - py) * scale + py;
  immediateZoom(x0, y0, x1 - x0, y1 - y0, out);
}

std::shared_ptr<geometry::Extents> BasicOpenGLView::extentsForZoomToFit() {
  updateExtents();
  return extents();
}

std::array<float, 3> BasicOpenGLView::worldCenterDataForExtents(const geometry::Extents& e) const {
  return {static_cast<float>((e.xMin() + e.xMax()) / 2), static_cast<float>((e.yMin() + e.yMax()) / 2),
          static_cast<float>((e.zMin() + e.zMax()) / 2)};
}

double BasicOpenGLView::zoomToFitRadiusForExtents(const geometry::Extents& e) const {
  return e.circumscribedRadius();
}

void BasicOpenGLView::zoomToFit() {
  const auto fit = extentsForZoomToFit();
  double lo[3] = {fit->xMin(), fit->yMin(), fit->zMin()}, hi[3] = {fit->xMax(), fit->yMax(), fit->zMax()};
  const bool suspended = m_suspendUntilZoomToFit;
  m_suspendUntilZoomToFit = false;
  const auto centre = worldCenterDataForExtents(*fit);
  if (zoomToFitExpandsToEncloseTrackball()) {
    // The box that holds the sphere the model turns in.
    const double r = zoomToFitRadiusForExtents(*fit);
    const auto p = rotationCenterDataForWorldCenterData(centre);
    for (int i = 0; i < 3; ++i) {
      lo[i] = p[i] - r;
      hi[i] = p[i] + r;
    }
  }
  if (const double f = zoomToFitScaleFactor(); f != 1.0) {
    for (int i = 0; i < 3; ++i) {
      const double mid = (lo[i] + hi[i]) / 2, half = (hi[i] - lo[i]) / 2 * f;
      lo[i] = mid - half;
      hi[i] = mid + half;
    }
  }
  const ZoomData box{lo[0], hi[0], lo[1], hi[1]};
  m_xMinMin = box.xMin;
  m_xMaxMax = box.xMax;
  m_yMinMin = box.yMin;
  m_yMaxMax = box.yMax;
  const double radius = extents()->radius();
  setDepthLimits(m_rotationCenter[2] - 100 * radius, m_rotationCenter[2] + 100 * radius);
  if (suspended) {
    setWorldCenter(centre);
    setZoomData(box);
  } else {
    setTargetWorldCenter(centre);
    setTargetZoomData(box);
    if (backManager().groupingIsOpen()) backManager().setActionName("Zoom to fit");
  }
}

void BasicOpenGLView::immediateZoomToFit() {
  waitForZoomToFit();
  zoomToFit();
  backManager().removeAllActions();
}

// ---------------------------------------------------------------------------------------
// Centre and rotation

void BasicOpenGLView::setWorldCenter(const std::array<float, 3>& center) {
  m_worldCenter = center;
  m_rotationCenter = rotationCenterDataForWorldCenterData(center);
  update();
}

void BasicOpenGLView::setTargetWorldCenter(const std::array<float, 3>& center) {
  const auto previous = m_worldCenter;
  backManager().record([this, previous] { setTargetWorldCenter(previous); });
  setWorldCenter(center);
}

void BasicOpenGLView::setTargetWorldRotation(const GLRotation& rotation) {
  const GLRotation previous = m_worldRotation;
  backManager().record([this, previous] { setTargetWorldRotation(previous); });
  setWorldRotation(rotation);
}

void BasicOpenGLView::setTargetWorldRotationData(const unsigned char* data, std::size_t size) {
  if (const auto r = GLRotation::fromBytes(data, size)) setTargetWorldRotation(*r);
}

std::array<unsigned char, 12> BasicOpenGLView::worldCenterBytes() const {
  std::array<unsigned char, 12> out;
  std::memcpy(out.data(), m_worldCenter.data(), out.size());
  return out;
}

std::array<unsigned char, 16> BasicOpenGLView::worldRotationBytes() const {
  const float f[4] = {m_worldRotation.angle, m_worldRotation.x, m_worldRotation.y, m_worldRotation.z};
  std::array<unsigned char, 16> out;
  std::memcpy(out.data(), f, out.size());
  return out;
}

// ---------------------------------------------------------------------------------------
// Scrolling

void BasicOpenGLView::setExtentsData(const unsigned char* data, std::size_t size) {
  if (!data || size < 6 * sizeof(float)) return;
  float f[6];
  std::memcpy(f, data, sizeof f);
  m_xMinMin = f[0];
  m_xMaxMax = f[1];
  m_yMinMin = f[2];
  m_yMaxMax = f[3];
  m_zMinMin = f[4];
  m_zMaxMax = f[5];
  adjustWindow();
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

std::array<unsigned char, 24> BasicOpenGLView::extentsData() const {
  const float f[6] = {float(m_xMinMin), float(m_xMaxMax), float(m_yMinMin),
                      float(m_yMaxMax), float(m_zMinMin), float(m_zMaxMax)};
  std::array<unsigned char, 24> out;
  std::memcpy(out.data(), f, out.size());
  return out;
}

void BasicOpenGLView::setZoomAndWindowBoxes(const ZoomData& zoom, const ZoomData& window) {
  m_xMin = zoom.xMin;
  m_xMax = zoom.xMax;
  m_yMin = zoom.yMin;
  m_yMax = zoom.yMax;
  m_window = window;
  const auto scale = pixelScaleForWindowBox(m_window, width(), height());
  m_pixelX = scale[0];
  m_pixelY = scale[1];
  update();
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

void BasicOpenGLView::shiftBy(double dx, double dy) {
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

void BasicOpenGLView::prepareToUndoScrolling() {
  if (m_scrolling) return;
  const double t = now();
  if (t - m_timeAtLastZoom > kScrollBurstSeconds) {
    const ZoomData previous = zoomData();
    backManager().record([this, previous] { setTargetZoomData(previous); });
    backManager().setActionName("Scroll");
  }
  m_timeAtLastZoom = t;
  QTimer::singleShot(0, this, [this] { m_scrolling = false; });
  m_scrolling = true;
}

void BasicOpenGLView::applyScrolledXRange(double xMin, double xMax) {
  if (xMin == m_xMin && xMax == m_xMax) return;
  m_xMin = xMin;
  m_xMax = xMax;
  adjustWindow();
}

void BasicOpenGLView::applyScrolledYRange(double yMin, double yMax) {
  if (yMin == m_yMin && yMax == m_yMax) return;
  m_yMin = yMin;
  m_yMax = yMax;
  adjustWindow();
}

void BasicOpenGLView::horizontalScrollAction(int part, double value) {
  const double w = m_xMax - m_xMin, W = m_xMaxMax - m_xMinMin;
  // A disabled scroller (all of the range in view) sends nothing.
  if (!(W > w)) return;
  prepareToUndoScrolling();
  double xMin = m_xMin, xMax = m_xMax;
  switch (part) {
    case kDecrementPage: xMin = std::max(xMin - w, m_xMinMin); xMax = xMin + w; break;
    case kIncrementPage: xMax = std::min(xMax + w, m_xMaxMax); xMin = xMax - w; break;
    case kDecrementLine: xMin = std::max(xMin - 0.1 * w, m_xMinMin); xMax = xMin + w; break;
    case kIncrementLine: xMax = std::min(xMax + 0.1 * w, m_xMaxMax); xMin = xMax - w; break;
    case kKnob:
    case kKnobSlot: xMin = m_xMinMin + value * (W - w); xMax = xMin + w; break;
    default: return;
  }
  applyScrolledXRange(xMin, xMax);
  if (part != kKnob && part != kKnobSlot) adjustHorizontalScroller();
}

void BasicOpenGLView::verticalScrollAction(int part, double value) {
  const double h = m_yMax - m_yMin, H = m_yMaxMax - m_yMinMin;
  if (!(H > h)) return;
  prepareToUndoScrolling();
  double yMin = m_yMin, yMax = m_yMax;
  // By default the scroller's top is the top of the model: its decrements raise y.
  const auto raise = [&](double step) {
    yMax = std::min(yMax + step, m_yMaxMax);
    yMin = yMax - h;
  };
  const auto lower = [&](double step) {
    yMin = std::max(yMin - step, m_yMinMin);
    yMax = yMin + h;
  };
  const bool reversed = m_reverseVerticalScrollAction;
  switch (part) {
    case kDecrementPage: reversed ? lower(h) : raise(h); break;
    case kIncrementPage: reversed ? raise(h) : lower(h); break;
    case kDecrementLine: reversed ? lower(0.1 * h) : raise(0.1 * h); break;
    case kIncrementLine: reversed ? raise(0.1 * h) : lower(0.1 * h); break;
    case kKnob:
    case kKnobSlot:
      if (reversed) {
        yMin = m_yMinMin + value * (H - h);
        yMax = yMin + h;
      } else {
        yMax = m_yMaxMax - value * (H - h);
        yMin = yMax - h;
      }
      break;
    default: return;
  }
  applyScrolledYRange(yMin, yMax);
  if (part != kKnob && part != kKnobSlot) adjustVerticalScroller();
}

namespace {

void showOnScrollBar(QScrollBar* bar, const BasicOpenGLView::Scroller& s) {
  if (!bar) return;
  bar->setEnabled(s.enabled);
  const double p = std::clamp(s.knobProportion, 0.0, 0.999);
  bar->setRange(0, kScrollBarSteps);
  bar->setPageStep(std::max(1, static_cast<int>(std::lround(kScrollBarSteps * p / (1 - p)))));
  bar->setValue(static_cast<int>(std::lround(s.value * kScrollBarSteps)));
}

}  // namespace

void BasicOpenGLView::adjustHorizontalScroller() {
  const double w = m_xMax - m_xMin, W = m_xMaxMax - m_xMinMin;
  m_hScroller.enabled = W > w;
  if (m_hScroller.enabled) {
    m_hScroller.knobProportion = w / W;
    m_hScroller.value = (m_xMin - m_xMinMin) / (W - w);
  }
  m_syncingScrollBars = true;
  showOnScrollBar(m_hScrollBar, m_hScroller);
  m_syncingScrollBars = false;
}

void BasicOpenGLView::adjustVerticalScroller() {
  const double h = m_yMax - m_yMin, H = m_yMaxMax - m_yMinMin;
  m_vScroller.enabled = H > h;
  if (m_vScroller.enabled) {
    m_vScroller.knobProportion = h / H;
    m_vScroller.value = m_reverseVerticalScrollAction ? (m_yMin - m_yMinMin) / (H - h) : (m_yMaxMax - m_yMax) / (H - h);
  }
  m_syncingScrollBars = true;
  showOnScrollBar(m_vScrollBar, m_vScroller);
  m_syncingScrollBars = false;
}

void BasicOpenGLView::attachScrollBars(QScrollBar* horizontal, QScrollBar* vertical) {
  m_hScrollBar = horizontal;
  m_vScrollBar = vertical;
  const auto connectBar = [this](QScrollBar* bar, bool isHorizontal) {
    if (!bar) return;
    QObject::connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, isHorizontal](int action) {
      if (m_syncingScrollBars) return;
      int part = 0;
      switch (action) {
        case QAbstractSlider::SliderSingleStepSub: part = kDecrementLine; break;
        case QAbstractSlider::SliderSingleStepAdd: part = kIncrementLine; break;
        case QAbstractSlider::SliderPageStepSub: part = kDecrementPage; break;
        case QAbstractSlider::SliderPageStepAdd: part = kIncrementPage; break;
        case QAbstractSlider::SliderMove: part = kKnob; break;
        default: return;
      }
      const double value = double(bar->sliderPosition()) / kScrollBarSteps;
      if (isHorizontal)
        horizontalScrollAction(part, value);
      else
        verticalScrollAction(part, value);
      // The bar applies its own step after this signal; put it where the view is.
      if (part != kKnob)
        QTimer::singleShot(0, this, [this, isHorizontal] {
          isHorizontal ? adjustHorizontalScroller() : adjustVerticalScroller();
        });
    });
  };
  connectBar(horizontal, true);
  connectBar(vertical, false);
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

// ---------------------------------------------------------------------------------------
// Orientation

void BasicOpenGLView::orientXY() {
  m_presentOrientation = "XY";
  setTargetWorldRotation({0, 0, 0, 1});
}
void BasicOpenGLView::orientXY90() {
  m_presentOrientation = "XY";
  setTargetWorldRotation({90, 0, 0, 1});
}
void BasicOpenGLView::orientYZ() {
  m_presentOrientation = "YZ";
  setTargetWorldRotation({120, -1, -1, -1});
}
void BasicOpenGLView::orientZX() {
  m_presentOrientation = "ZX";
  setTargetWorldRotation({120, 1, 1, 1});
}
void BasicOpenGLView::orientXZ() {
  m_presentOrientation = "XZ";
  setTargetWorldRotation({-90, 1, 0, 0});
}
void BasicOpenGLView::orientZY() {
  m_presentOrientation = "ZY";
  setTargetWorldRotation({90, 0, 1, 0});
}
void BasicOpenGLView::orientYX() {
  m_presentOrientation = "YX";
  setTargetWorldRotation({180, -1, -1, 0});
}

void BasicOpenGLView::orient(const std::string& name) {
  if (name == "XY")
    orientXY();
  else if (name == "YZ")
    orientYZ();
  else if (name == "ZX")
    orientZX();
  else if (name == "XZ")
    orientXZ();
  else if (name == "ZY")
    orientZY();
  else if (name == "YX")
    orientYX();
}

void BasicOpenGLView::orientBySegmentedControl(const QString& segmentLabel) {
  QString name = segmentLabel;
  name.remove(QLatin1Char('&'));
  orient(name.trimmed().toStdString());
}

std::vector<std::string> BasicOpenGLView::turnSequence() const { return {"XY", "YZ", "XZ", "ZX", "YX"}; }

std::string BasicOpenGLView::orientationFollowing(const std::string& name) const {
  const auto sequence = turnSequence();
  if (sequence.empty()) return {};
  const auto it = std::find(sequence.begin(), sequence.end(), name);
  if (it == sequence.end() || std::next(it) == sequence.end()) return sequence.front();
  return *std::next(it);
}

void BasicOpenGLView::turnAction() {
  QTimer::singleShot(0, this, [this] { turnToNextOrientation(); });
}

}  // namespace orb::rendering
