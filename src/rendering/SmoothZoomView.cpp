#include "rendering/SmoothZoomView.h"

#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace orb::rendering {
namespace {
// 1/60 s, as the single-precision interval it always was.
constexpr double kFrameInterval = double(1.0f / 60.0f);
constexpr double kSlowRendering = 0.1;

std::array<double, 8> extended(const ZoomData& d, const ZoomData& w) {
  return {d.xMin, d.xMax, d.yMin, d.yMax, w.xMin, w.xMax, w.yMin, w.yMax};
}
}  // namespace

SmoothZoomView::SmoothZoomView(QWidget* parent) : ZoomView(parent) {}

SmoothZoomView::~SmoothZoomView() { invalidateAnimationTimer(); }

ZoomData SmoothZoomView::activeZoomData() const {
  if (!m_animatingZoom) return zoomData();
  return {m_final[0], m_final[1], m_final[2], m_final[3]};
}

void SmoothZoomView::startAnimationTimer() {
  if (!m_timer) {
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(int(std::lround(kFrameInterval * 1000)));
    QObject::connect(m_timer, &QTimer::timeout, this, [this] { animationForTimer(); });
  }
  m_time = now();
  if (!m_timer->isActive()) m_timer->start();
}

void SmoothZoomView::invalidateAnimationTimer() {
  delete m_timer;
  m_timer = nullptr;
}

void SmoothZoomView::animationForTimer() {
  double t = now();
  if (m_animatingZoom) updateZoomForTimeDelta((t - m_time) + m_lastRenderingTime);
  m_time = t;
}

void SmoothZoomView::setTargetZoomData(const ZoomData& d) {
  if (d == zoomData() || (m_animatingZoom && d == activeZoomData())) return;
  recordHistory("Zoom");
  if (m_lastRenderingTime > kSlowRendering) {
    m_animatingZoom = false;
    ZoomView::setTargetZoomData(d);
    return;
  }
  QRectF w = userRect();
  m_initial = extended(zoomData(), {w.left(), w.right(), w.top(), w.bottom()});
  m_final = extended(d, windowDataForZoomData(d));
  bool finite = true;
  for (int i = 0; i < 4; ++i) finite = finite && std::isfinite(m_initial[i]) && std::isfinite(m_final[i]);
  if (!finite) {
    m_animatingZoom = false;
    ZoomView::setTargetZoomData(d);
    return;
  }
  m_zoomParameter = 0;
  m_animatingZoom = true;
  // The timer runs only while something moves; the first tick counts from now.
  startAnimationTimer();
}

void SmoothZoomView::updateZoomForTimeDelta(double dt) {
  if (!m_animatingZoom) return;
  m_zoomParameter += dt;
  double t = m_zoomParameter;
  if (t < 1) {
    double ease = (3 - 2 * t) * t * t;
    std::array<double, 8> v;
    for (int i = 0; i < 8; ++i) v[i] = m_initial[i] + (m_final[i] - m_initial[i]) * ease;
    setExtendedZoomData(v);
    return;
  }
  m_animatingZoom = false;
  if (m_timer) m_timer->stop();
  setZoomData({m_final[0], m_final[1], m_final[2], m_final[3]});
  if (zoomingToFit()) {
    setZoomingToFit(false);
    zoomToFitDone();
  }
}

void SmoothZoomView::cancelZoom() {
  if (!m_animatingZoom) return;
  m_animatingZoom = false;
  if (m_timer) m_timer->stop();
  setZoomingToFit(false);
  // The step recorded for this animation goes; the view returns to where it started.
  backManager().dropLast();
  setZoomData({m_initial[0], m_initial[1], m_initial[2], m_initial[3]});
}

void SmoothZoomView::goToZoomData(const ZoomData& data) {
  stopAnimation();
  ZoomView::goToZoomData(data);
}

void SmoothZoomView::stopAnimation() {
  if (!m_animatingZoom) return;
  m_animatingZoom = false;
  if (m_timer) m_timer->stop();
  setZoomingToFit(false);
}

void SmoothZoomView::drawRect(QPainter& painter) {
  double start = now();
  ZoomView::drawRect(painter);
  m_lastRenderingTime = now() - start;
}

void SmoothZoomView::wheelEvent(QWheelEvent* event) {
  // The wheel zooms from what is on screen; the glide would fight it.
  stopAnimation();
  ZoomView::wheelEvent(event);
}

}  // namespace orb::rendering
