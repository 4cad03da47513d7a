#include "rendering/OBOpenGL.h"

#include <GL/gl.h>

#include <QLabel>
#include <QMatrix4x4>
#include <QMouseEvent>
#include <QTimer>
#include <cstring>

#include "foundation/objects/GLObject.h"
#include "geometry/values/Extents.h"
#include "platform/UserDefaults.h"
#include "rendering/GLColors.h"

namespace orb::rendering {

namespace {

constexpr const char* kRadialSegmentsKey = "numberOfRadialSegments";
constexpr int kSelectionBufferSize = 256;

bool g_picking = false;
GLuint g_selectionBuffer[kSelectionBufferSize];

}  // namespace

bool openGLIsPicking() { return g_picking; }

void loadOpenGLSelectionName(std::uint32_t name) {
  if (g_picking) glLoadName(name);
}

std::uint32_t nearestNameInSelectionBuffer(const std::uint32_t* buffer, std::size_t size, int hits) {
  std::uint32_t best = 0, bestDepth = 0;
  std::size_t i = 0;
  for (int h = 0; h < hits; ++h) {
    if (i + 3 > size) break;
    const std::uint32_t n = buffer[i], minDepth = buffer[i + 1];
    if (n == 0) {
      i += 3;
      continue;
    }
    if (i + 3 + n > size) break;
    if (best == 0 || minDepth < bestDepth) {
      best = buffer[i + 3];
      bestDepth = minDepth;
    }
    i += 3 + n;
  }
  return best;
}

OBOpenGL::OBOpenGL(QWidget* parent, platform::UserDefaults* defaults) : SmoothOpenGLView(parent, defaults) {
  OBOpenGL::restoreDefaultFlags();
}

OBOpenGL::~OBOpenGL() {
  if (m_popover) delete m_popover.data();
}

void OBOpenGL::restoreDefaultFlags() {
  BasicOpenGLView::restoreDefaultFlags();
  setUsesDisplayList(true);
}

void OBOpenGL::restoreFactoryColors() {
  setClearColor(platform::Color::make(1, 1, 1, 1));
  setAmbientColor(platform::Color::make(0.2, 0.2, 0.2, 1));
  const double diffuse = 158.0 / 255.0;
  setDiffuseColor(platform::Color::make(diffuse, diffuse, diffuse, 1));
  setSpecularColor(platform::Color::make(1, 1, 1, 1));
  setNeedsDisplayListRegeneration();
  update();
}

void OBOpenGL::otherMouseDown(QMouseEvent* event) { panMouseDown(event); }
void OBOpenGL::otherMouseDragged(QMouseEvent* event) { panMouseDragged(event); }
void OBOpenGL::otherMouseUp(QMouseEvent* event) {
  panMouseUp(event);
  SmoothOpenGLView::otherMouseUp(event);
}

// ---------------------------------------------------------------------------------------
// Options

platform::Dictionary OBOpenGL::optionsDictionary() const {
  platform::Dictionary options;
  options.set("numberOfSegmentsPerRevolution", static_cast<std::int64_t>(m_numberOfSegmentsPerRevolution));
  options.set("phiMin", m_phiMin);
  options.set("phiMax", m_phiMax);
  options.set("drawsSurfaceAxes", m_drawsSurfaceAxes);
  options.set("surfaceAxesLength", m_surfaceAxesLength);
  options.set("drawsBoundingBox", drawsBoundingBox());
  return options;
}

#define ORB_LENS_VIEW_SETTER(name, member, type) \
  void OBOpenGL::name(type value) {              \
    member = value;                              \
    setNeedsDisplayListRegeneration();           \
    update();                                    \
  }
ORB_LENS_VIEW_SETTER(setNumberOfSegmentsPerRevolution, m_numberOfSegmentsPerRevolution, int)
ORB_LENS_VIEW_SETTER(setPhiMin, m_phiMin, double)
ORB_LENS_VIEW_SETTER(setPhiMax, m_phiMax, double)
ORB_LENS_VIEW_SETTER(setDrawsSurfaceAxes, m_drawsSurfaceAxes, bool)
ORB_LENS_VIEW_SETTER(setSurfaceAxesLength, m_surfaceAxesLength, double)
#undef ORB_LENS_VIEW_SETTER

int OBOpenGL::numberOfRadialSegments() const { return static_cast<int>(defaults().integerForKey(kRadialSegmentsKey)); }

void OBOpenGL::setNumberOfRadialSegments(int n) {
  defaults().setObject(kRadialSegmentsKey, static_cast<std::int64_t>(n));
  setNeedsDisplayListRegeneration();
  update();
}

void OBOpenGL::restoreFullRevolved() {
  setPhiMin(0);
  setPhiMax(360);
}

// ---------------------------------------------------------------------------------------
// Rotation centre and framing

void OBOpenGL::shift(double dx, double dy) {
  ZoomData z = zoomData();
  z.xMin += dx, z.xMax += dx, z.yMin += dy, z.yMax += dy;
  setZoomData(z);
}

std::array<double, 2> OBOpenGL::modelViewTranslation() const {
  const auto c = rotationCenter();
  QMatrix4x4 m;
  m.translate(c[0], c[1], c[2]);
  const GLRotation& t = trackballRotation();
  if (t.angle != 0) m.rotate(t.angle, t.x, t.y, t.z);
  const GLRotation& w = worldRotation();
  m.rotate(w.angle, w.x, w.y, w.z);
  const GLRotation& o = objectRotation();
  if (o.angle != 0) m.rotate(o.angle, o.x, o.y, o.z);
  m.translate(-c[0], -c[1], -c[2]);
  return {m(0, 3), m(1, 3)};
}

void OBOpenGL::setRotationCenter(const std::array<double, 3>& center) {
  const auto before = modelViewTranslation();
  const float c[3] = {static_cast<float>(center[0]), static_cast<float>(center[1]), static_cast<float>(center[2])};
  unsigned char bytes[sizeof c];
  std::memcpy(bytes, c, sizeof c);
  setRotationCenterData(bytes, sizeof bytes);
  const auto after = modelViewTranslation();
  shift(after[0] - before[0], after[1] - before[1]);
  m_rotationCenterLocked = true;
}

std::array<float, 3> OBOpenGL::rotationCenterDataForWorldCenterData(const std::array<float, 3>& center) const {
  return m_rotationCenterLocked ? rotationCenter() : SmoothOpenGLView::rotationCenterDataForWorldCenterData(center);
}

void OBOpenGL::setZoomToFitExtents(std::shared_ptr<geometry::Extents> extents, std::string comment) {
  m_zoomToFitExtents = std::move(extents);
  m_zoomToFitComment = std::move(comment);
}

std::shared_ptr<geometry::Extents> OBOpenGL::extentsForZoomToFit() {
  return m_zoomToFitExtents ? m_zoomToFitExtents : SmoothOpenGLView::extentsForZoomToFit();
}

void OBOpenGL::zoomToSystem() {
  m_rotationCenterLocked = false;
  setZoomToFitExtents(nullptr, {});
  zoomToFit();
}

void OBOpenGL::mouseModeStress() {
  if (mouseMode() == kSelectMode) {
    const auto w = worldCenter();
    setRotationCenter({w[0], w[1], w[2]});
    m_rotationCenterLocked = false;
    setZoomToFitExtents(nullptr, {});
    update();
  }
  SmoothOpenGLView::mouseModeStress();
}

// ---------------------------------------------------------------------------------------
// Picking

std::uint32_t OBOpenGL::pick(double x, double y) {
  if (!isValid()) return 0;
  makeCurrent();
  const auto user = userPointForViewPoint(x, y);
  const auto pixel = pixelScale();
  const auto depth = depthLimits();
  glSelectBuffer(kSelectionBufferSize, g_selectionBuffer);
  glRenderMode(GL_SELECT);
  glInitNames();
  glPushName(0);
  // A box four pixels across about the point.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(user[0] - 2 * pixel[0], user[0] + 2 * pixel[0], user[1] - 2 * pixel[1], user[1] + 2 * pixel[1], depth[0],
          depth[1]);
  updateModelView();
  // Straight drawing, not the display list, so that the names reach the buffer.
  g_picking = true;
  drawContent();
  g_picking = false;
  const GLint hits = glRenderMode(GL_RENDER);
  const std::uint32_t name =
      hits > 0 ? nearestNameInSelectionBuffer(g_selectionBuffer, kSelectionBufferSize, hits) : 0;
  updateProjection();
  doneCurrent();
  update();
  return name;
}

std::shared_ptr<const foundation::GLObject> OBOpenGL::selectAt(const QPoint& point) {
  const std::uint32_t name = pick(point.x(), height() - point.y());
  auto object = foundation::GLObject::glObjectForName(name);
  m_lastPicked = object;
  if (!object) return nullptr;
  PickedObjectInfo info;
  if (const auto pickable = std::dynamic_pointer_cast<PickableOpenGLModel>(model()))
    info = pickable->infoForPickedObject(*object);
  else
    info.description = object->description();
  if (info.isSurface) {
    // The view stays put; the next fit frames the surface and turns go about its vertex.
    setRotationCenter(info.origin);
    setZoomToFitExtents(info.extents, info.description);
  }
  showDescription(info.description, point);
  return object;
}

void OBOpenGL::selectMouseDown(QMouseEvent* event) {
  // The first click of a double click has already picked.
  if (event->type() == QEvent::MouseButtonDblClick) return;
  selectAt(event->position().toPoint());
}

void OBOpenGL::selectMouseUp(QMouseEvent*) { closePopoverLater(); }

void OBOpenGL::showDescription(const std::string& text, const QPoint& at) {
  if (m_popover) m_popover->close();
  auto* label = new QLabel(QString::fromStdString(text), nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
  label->setAttribute(Qt::WA_DeleteOnClose);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->setStyleSheet("QLabel { background: rgb(255, 245, 194); color: black; padding: 2px; }");
  label->adjustSize();
  // Above the click, as a popover off its top edge.
  const QPoint global = mapToGlobal(at);
  label->move(global.x() - label->width() / 2, global.y() - label->height() - 2);
  label->show();
  m_popover = label;
}

void OBOpenGL::closePopoverLater() {
  if (!m_popover) return;
  QTimer::singleShot(500, m_popover.data(), &QWidget::close);
  m_popover = nullptr;
}

// ---------------------------------------------------------------------------------------
// Lighting: two directional lights, front and back, whatever the base's two-light flag.

void OBOpenGL::updateLighting() {
  if (!usesLight()) {
    glDisable(GL_LIGHTING);
    return;
  }
  glEnable(GL_LIGHTING);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
  const float* ambient = rgba(*ambientColor());
  const float* diffuse = rgba(*diffuseColor());
  const float* specular = rgba(*specularColor());
  static const float front[4] = {0, 0, 1, 0}, back[4] = {0, 0, -1, 0};
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  glEnable(GL_LIGHT0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  loadLightTransform();
  glLightfv(GL_LIGHT0, GL_POSITION, front);
  glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT1, GL_SPECULAR, specular);
  glLightfv(GL_LIGHT1, GL_POSITION, back);
  glEnable(GL_LIGHT1);
  glPopMatrix();
}

}  // namespace orb::rendering
