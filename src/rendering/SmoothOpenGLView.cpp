#include "rendering/SmoothOpenGLView.h"

#include <QKeyEvent>
#include <cmath>
#include <cstring>

namespace orb::rendering {

namespace {

bool allFinite(const ZoomData& a, const ZoomData& b) {
  for (double v : {a.xMin, a.xMax, a.yMin, a.yMax, b.xMin, b.xMax, b.yMin, b.yMax})
    if (!std::isfinite(v)) return false;
  return true;
}

double mix(double a, double b, double s) { return a * (1 - s) + b * s; }

ZoomData mix(const ZoomData& a, const ZoomData& b, double s) {
  return {mix(a.xMin, b.xMin, s), mix(a.xMax, b.xMax, s), mix(a.yMin, b.yMin, s), mix(a.yMax, b.yMax, s)};
}

}  // namespace

double smoothstep(double p) { return (3 - 2 * p) * p * p; }

foundation::Quaternion quaternionOf(const GLRotation& r) {
  return foundation::quaternionFromAxisAngle({r.angle, r.x, r.y, r.z});
}

GLRotation rotationOf(const foundation::Quaternion& q) {
  const auto a = foundation::quaternionToAxisAngle(q);
  return {a.angle, a.x, a.y, a.z};
}

GLRotation glideRotation(const GLRotation& from, const GLRotation& to) {
  const foundation::Quaternion e = foundation::quaternionDivide(quaternionOf(to), quaternionOf(from));
  const double length = std::sqrt(e.w * e.w + e.x * e.x + e.y * e.y + e.z * e.z);
  const double vector = std::sqrt(e.x * e.x + e.y * e.y + e.z * e.z);
  // A vanishing half-angle has no axis worth turning about.
  if (!(length > 0) || std::atan2(vector, std::abs(e.w)) < 1e-7) return {0, 1, 0, 0};
  // The conversion gives the angle in (−180°, 180°]: the short way.
  return rotationOf(e);
}

GLRotation rotationAlongGlide(const foundation::Quaternion& from, const GLRotation& glide, double angle) {
  const GLRotation step{static_cast<float>(angle), glide.x, glide.y, glide.z};
  return rotationOf(foundation::quaternionMultiply(from, quaternionOf(step)));
}

SmoothOpenGLView::SmoothOpenGLView(QWidget* parent, platform::UserDefaults* defaults)
    : BasicOpenGLView(parent, defaults) {}

// ---------------------------------------------------------------------------------------
// Rotation

void SmoothOpenGLView::setTargetWorldRotation(const GLRotation& rotation) {
  if (m_animatingWorldRotation && m_targetWorldRotation == rotation) return;
  if (worldRotation() == rotation) return;
  const GLRotation previous = worldRotation();
  backManager().record([this, previous] { setTargetWorldRotation(previous); });
  backManager().setActionName("Rotation");
  startAnimationTimer();
  if (glidesAreTooSlow()) {
    m_animatingWorldRotation = false;
    setWorldRotation(rotation);
    return;
  }
  m_targetWorldRotation = rotation;
  m_initialWorldQuaternion = quaternionOf(worldRotation());
  m_worldEigenRotation = glideRotation(worldRotation(), rotation);
  m_worldEigenRotationFullAngle = m_worldEigenRotation.angle;
  m_worldEigenRotationParameter = 0;
  m_animatingWorldRotation = true;
  update();
}

void SmoothOpenGLView::updateWorldRotationForTimeDelta(double dt) {
  m_worldEigenRotationParameter += dt;
  if (m_worldEigenRotationParameter >= 1) {
    m_animatingWorldRotation = false;
    setWorldRotation(m_targetWorldRotation);
  } else {
    const double angle = smoothstep(m_worldEigenRotationParameter) * m_worldEigenRotationFullAngle;
    m_worldEigenRotation.angle = static_cast<float>(angle);
    setWorldRotation(rotationAlongGlide(m_initialWorldQuaternion, m_worldEigenRotation, angle));
  }
  update();
}

void SmoothOpenGLView::setTargetWorldQuaternion(const foundation::Quaternion& q) {
  setTargetWorldRotation(rotationOf(q));
}

foundation::Quaternion SmoothOpenGLView::targetWorldQuaternion() const {
  return quaternionOf(m_animatingWorldRotation ? m_targetWorldRotation : worldRotation());
}

void SmoothOpenGLView::augmentWorldRotationByQuaternion(const foundation::Quaternion& q) {
  setTargetWorldQuaternion(foundation::quaternionMultiply(q, targetWorldQuaternion()));
}

// ---------------------------------------------------------------------------------------
// Zoom

ZoomData SmoothOpenGLView::windowDataForZoomData(const ZoomData& zoom) const {
  return windowBoxForZoomBox(zoom, width(), height());
}

void SmoothOpenGLView::setTargetZoomData(const ZoomData& data) {
  if (data == zoomData()) return;
  if (m_animatingZoom && data == m_zoomFinal) return;
  const ZoomData previous = zoomData();
  backManager().record([this, previous] { setTargetZoomData(previous); });
  backManager().setActionName("Zoom");
  startAnimationTimer();
  if (glidesAreTooSlow()) {
    m_animatingZoom = false;
    setZoomData(data);
    return;
  }
  m_zoomInitial = zoomData();
  m_windowInitial = windowBox();
  m_zoomFinal = data;
  m_windowFinal = windowDataForZoomData(data);
  if (allFinite(m_zoomInitial, m_zoomFinal)) {
    m_zoomParameter = 0;
    m_animatingZoom = true;
  } else {
    m_animatingZoom = false;
    setZoomData(data);
  }
}

void SmoothOpenGLView::updateZoomForTimeDelta(double dt) {
  m_zoomParameter += dt;
  if (m_zoomParameter >= 1) {
    m_animatingZoom = false;
    setZoomData(m_zoomFinal);
    return;
  }
  const double s = smoothstep(m_zoomParameter);
  setZoomAndWindowBoxes(mix(m_zoomInitial, m_zoomFinal, s), mix(m_windowInitial, m_windowFinal, s));
}

std::array<unsigned char, 64> SmoothOpenGLView::extendedZoomData(const ZoomData& zoom, const ZoomData& window) {
  const double values[8] = {zoom.xMin,   zoom.xMax,   zoom.yMin,   zoom.yMax,
                            window.xMin, window.xMax, window.yMin, window.yMax};
  std::array<unsigned char, 64> out;
  std::memcpy(out.data(), values, sizeof values);
  return out;
}

void SmoothOpenGLView::setExtendedZoomData(const unsigned char* data, std::size_t size) {
  if (!data || size < 64) return;
  double v[8];
  std::memcpy(v, data, sizeof v);
  setZoomAndWindowBoxes({v[0], v[1], v[2], v[3]}, {v[4], v[5], v[6], v[7]});
}

void SmoothOpenGLView::cancelZoom() {
  if (!m_animatingZoom) return;
  m_animatingZoom = false;
  backManager().undo();
}

// The scrollers move once, when a zoom glide ends.
void SmoothOpenGLView::adjustHorizontalScroller() {
  if (!m_animatingZoom) BasicOpenGLView::adjustHorizontalScroller();
}

void SmoothOpenGLView::adjustVerticalScroller() {
  if (!m_animatingZoom) BasicOpenGLView::adjustVerticalScroller();
}

void SmoothOpenGLView::scrollWheel(double delta, double vx, double vy) {
  // The wheel takes over from the intermediate box.
  m_animatingZoom = false;
  BasicOpenGLView::scrollWheel(delta, vx, vy);
}

void SmoothOpenGLView::rotateMouseDown(QMouseEvent* event) {
  m_animatingWorldRotation = false;
  BasicOpenGLView::rotateMouseDown(event);
}

void SmoothOpenGLView::panMouseDown(QMouseEvent* event) {
  if (m_animatingZoom) {
    m_animatingZoom = false;
    adjustHorizontalScroller();
    adjustVerticalScroller();
  }
  BasicOpenGLView::panMouseDown(event);
}

// ---------------------------------------------------------------------------------------
// Centre

void SmoothOpenGLView::setTargetWorldCenter(const std::array<float, 3>& center) {
  if (center == worldCenter()) return;
  if (m_animatingWorldCenter && center == m_centerFinal) return;
  const auto previous = worldCenter();
  backManager().record([this, previous] { setTargetWorldCenter(previous); });
  backManager().setActionName("Center");
  startAnimationTimer();
  if (glidesAreTooSlow()) {
    m_animatingWorldCenter = false;
    setWorldCenter(center);
    return;
  }
  m_centerInitial = worldCenter();
  m_centerFinal = center;
  bool finite = true;
  for (int i = 0; i < 3; ++i) finite = finite && std::isfinite(m_centerInitial[i]) && std::isfinite(m_centerFinal[i]);
  if (finite) {
    m_worldCenterParameter = 0;
    m_animatingWorldCenter = true;
  } else {
    m_animatingWorldCenter = false;
    setWorldCenter(center);
  }
}

void SmoothOpenGLView::updateWorldCenterForTimeDelta(double dt) {
  m_worldCenterParameter += dt;
  if (m_worldCenterParameter >= 1) {
    m_animatingWorldCenter = false;
    setWorldCenter(m_centerFinal);
  } else {
    const double s = smoothstep(m_worldCenterParameter);
    std::array<float, 3> c;
    for (int i = 0; i < 3; ++i) c[i] = static_cast<float>(mix(m_centerInitial[i], m_centerFinal[i], s));
    setWorldCenter(c);
  }
  update();
}

// ---------------------------------------------------------------------------------------
// Timer and keys

void SmoothOpenGLView::animationForTimer() {
  const double dt = (now() - animationTime()) + lastRenderingTime();
  if (m_animatingWorldRotation) updateWorldRotationForTimeDelta(dt);
  if (m_animatingZoom) updateZoomForTimeDelta(dt);
  if (m_animatingWorldCenter) updateWorldCenterForTimeDelta(dt);
  BasicOpenGLView::animationForTimer();
}

void SmoothOpenGLView::keyDown(int key) {
  switch (key) {
    case Qt::Key_Up: augmentWorldRotationByQuaternion({1, -1, 0, 0}); break;
    case Qt::Key_Down: augmentWorldRotationByQuaternion({1, 1, 0, 0}); break;
    case Qt::Key_Left: augmentWorldRotationByQuaternion({1, 0, -1, 0}); break;
    case Qt::Key_Right: augmentWorldRotationByQuaternion({1, 0, 1, 0}); break;
    case Qt::Key_Home: orientXY(); break;
    default: break;
  }
}

void SmoothOpenGLView::keyPressEvent(QKeyEvent* event) {
  keyDown(event->key());
  BasicOpenGLView::keyPressEvent(event);
}

}  // namespace orb::rendering
