#include "rendering/BasicOpenGLView.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QOpenGLContext>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "geometry/values/Extents.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "rendering/GLColors.h"
#include "rendering/GLDrawing.h"
#include "rendering/GLSink.h"
#include "rendering/ViewSnapshot.h"

namespace orb::rendering {

namespace {

constexpr const char* kClearColorKey = "OpenGL clearColor";
constexpr const char* kAmbientColorKey = "OpenGL lightAmbientColor";
constexpr const char* kDiffuseColorKey = "OpenGL lightDiffuseColor";
constexpr const char* kSpecularColorKey = "OpenGL lightSpecularColor";
constexpr const char* kUsesLightKey = "OpenGL usesLight";
constexpr const char* kDrawsHelpKey = "OpenGL drawsHelp";
constexpr const char* kPolygonModeFrontKey = "OpenGL polygonModeFront";
constexpr const char* kPolygonModeBackKey = "OpenGL polygonModeBack";
constexpr const char* kClockwiseIsFrontKey = "OpenGL clockwiseIsFront";
constexpr const char* kEnablesCullFaceKey = "OpenGL enablesCullFace";
constexpr const char* kAnimationTypeKey = "OpenGL animationType";
constexpr const char* kIsAnimatedKey = "OpenGL isAnimated";
constexpr const char* kDrawsBoundingBoxKey = "OpenGL drawsBoundingBox";
constexpr const char* kUsesAntialiasingKey = "OpenGL usesAntialiasing";

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::shared_ptr<platform::Color> colorOr(const std::shared_ptr<platform::Color>& color, double grey) {
  return color ? color : platform::Color::make(grey, grey, grey, 1);
}

QColor qColor(float r, float g, float b, float a) { return QColor::fromRgbF(r, g, b, a); }

GLenum polygonModeFor(const std::string& mode) {
  if (mode == "point") return GL_POINT;
  if (mode == "line") return GL_LINE;
  return GL_FILL;
}

void material(GLenum faces, const float* ambientDiffuse, const float* specular) {
  glMaterialfv(faces, GL_AMBIENT_AND_DIFFUSE, ambientDiffuse);
  glMaterialfv(faces, GL_SPECULAR, specular);
  glMaterialf(GL_FRONT, GL_SHININESS, 32.0f);
}

void colouredMaterial(const float* colour) {
  static const float specular[4] = {1, 1, 1, 0.8f};
  material(GL_FRONT_AND_BACK, colour, specular);
  glColor4fv(colour);
}

std::string formatted(const char* format, auto... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// SizeOpenGLView

SizeOpenGLView::SizeOpenGLView(QWidget* parent) : MouseOpenGLView(parent), m_hideTimer(new QTimer(this)) {
  m_hideTimer->setSingleShot(true);
  m_hideTimer->setInterval(1000);
  QObject::connect(m_hideTimer, &QTimer::timeout, this, [this] { hideSizeString(); });
}

std::string SizeOpenGLView::sizeString() const { return formatted("%g,%g", double(width()), double(height())); }

void SizeOpenGLView::setSizeStringVisible(bool visible) {
  if (m_sizeStringVisible == visible) return;
  m_sizeStringVisible = visible;
  if (m_sizeStringChanged) m_sizeStringChanged();
}

void SizeOpenGLView::resizeEvent(QResizeEvent* event) {
  QOpenGLWidget::resizeEvent(event);
  // Qt has no live-resize bracket: every resize shows the size, and a second of calm hides it.
  if (isVisible()) {
    setSizeStringVisible(true);
    m_hideTimer->start();
  }
  if (m_sizeStringChanged) m_sizeStringChanged();
}

// ---------------------------------------------------------------------------------------
// BasicOpenGLView: creation

bool BasicOpenGLView::contextAvailable() {
  static const bool available = [] {
    QOffscreenSurface surface;
    surface.setFormat(basicPixelFormat());
    surface.create();
    QOpenGLContext context;
    context.setFormat(basicPixelFormat());
    return context.create() && context.makeCurrent(&surface);
  }();
  return available;
}

QSurfaceFormat BasicOpenGLView::basicPixelFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setVersion(2, 1);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setDepthBufferSize(16);
  format.setSwapInterval(1);
  return format;
}

BasicOpenGLView::BasicOpenGLView(QWidget* parent, platform::UserDefaults* defaults)
    : SizeOpenGLView(parent),
      m_defaults(defaults ? defaults : &platform::UserDefaults::standard()),
      m_clock(steadySeconds) {
  setFormat(basicPixelFormat());
  setFocusPolicy(Qt::StrongFocus);
  // A new view turns under a left drag.
  setMouseMode(kRotateMode);
  m_overlayFont = QFont("Helvetica", 12);
  initializeStartTime();
  m_animationClock.setTime(now());
  restoreDefaultOrientation();
  restoreDefaultColors();
  restoreDefaultFlags();
  createHelpString();
  createMessageString();
  m_modelObservation = platform::NotificationCenter::defaultCenter().addObserver(
      "modelChangedNotification", {}, [this](const platform::Notification& n) {
        // Posted on another thread, the change is taken up on the view's own.
        if (QThread::currentThread() == thread())
          modelChanged(n);
        else
          QMetaObject::invokeMethod(this, [this, n] { modelChanged(n); }, Qt::QueuedConnection);
      });
  startAnimationTimer();
}

BasicOpenGLView::~BasicOpenGLView() {
  m_modelObservation.remove();
  invalidateAnimationTimer();
  if (m_displayList != 0 && context()) {
    makeCurrent();
    clearDisplayList();
    doneCurrent();
  }
}

// ---------------------------------------------------------------------------------------
// Model

void BasicOpenGLView::setModel(const std::shared_ptr<OpenGLModel>& model) {
  m_model = model;
  m_needsDisplayListRegeneration = true;
  updateExtents();
  update();
}

void BasicOpenGLView::modelChanged(const platform::Notification& notification) {
  const auto model = m_model.lock();
  if (!model) return;
  platform::Object* sender = nullptr;
  if (notification.object.kind() == platform::Value::Kind::Reference)
    sender = notification.object.asReference().get();
  else if (notification.object.isObject())
    sender = notification.object.asObject().get();
  if (!sender || dynamic_cast<OpenGLModel*>(sender) != model.get()) return;
  m_needsDisplayListRegeneration = true;
  updateExtents();
  update();
}

void BasicOpenGLView::updateExtents() {
  m_modelExtents.reset();
  if (const auto model = m_model.lock()) {
    try {
      m_modelExtents = model->extents();
    } catch (...) {
      m_modelExtents.reset();
    }
  }
}

std::shared_ptr<geometry::Extents> BasicOpenGLView::extents() const {
  return m_modelExtents ? m_modelExtents : geometry::Extents::extentsWithCenter({0, 0, 0}, 100);
}

platform::Dictionary BasicOpenGLView::optionsDictionary() const {
  platform::Dictionary options;
  options.set("drawsBoundingBox", m_drawsBoundingBox);
  options.set("polygonsAreOpaque", m_polygonsAreOpaque);
  return options;
}

// ---------------------------------------------------------------------------------------
// Camera

void BasicOpenGLView::setZoomData(const ZoomData& data) {
  m_xMin = data.xMin;
  m_xMax = data.xMax;
  m_yMin = data.yMin;
  m_yMax = data.yMax;
  adjustWindow();
  adjustHorizontalScroller();
  adjustVerticalScroller();
}

void BasicOpenGLView::setZoomDataBytes(const unsigned char* data, std::size_t size) {
  if (const auto zoom = ZoomData::fromBytes(data, size)) setZoomData(*zoom);
}

void BasicOpenGLView::setDepthLimits(double zMin, double zMax) {
  m_zMinMin = zMin;
  m_zMaxMax = zMax;
  update();
}

void BasicOpenGLView::adjustWindow() {
  const double w = width(), h = height();
  m_window = windowBoxForZoomBox(zoomData(), w, h);
  const auto scale = pixelScaleForWindowBox(m_window, w, h);
  m_pixelX = scale[0];
  m_pixelY = scale[1];
  // The projection is loaded from the window box at the start of each frame.
  update();
}

std::array<double, 2> BasicOpenGLView::userPointForViewPoint(double px, double py) const {
  return rendering::userPointForViewPoint(m_window, 0, 0, width(), height(), px, py);
}

void BasicOpenGLView::setWorldRotation(const GLRotation& rotation) {
  m_worldRotation = rotation;
  update();
}

void BasicOpenGLView::setWorldRotationData(const unsigned char* data, std::size_t size) {
  if (const auto r = GLRotation::fromBytes(data, size)) setWorldRotation(*r);
}

void BasicOpenGLView::setObjectRotation(const GLRotation& rotation) {
  m_objectRotation = rotation;
  update();
}

void BasicOpenGLView::setTrackballRotation(const GLRotation& rotation) {
  m_trackballRotation = rotation;
  update();
}

void BasicOpenGLView::setWorldCenterData(const unsigned char* data, std::size_t size) {
  if (const auto c = centerFromBytes(data, size)) setWorldCenter(*c);
}

void BasicOpenGLView::setRotationCenterData(const unsigned char* data, std::size_t size) {
  if (const auto c = centerFromBytes(data, size)) {
    m_rotationCenter = *c;
    update();
  }
}

void BasicOpenGLView::restoreDefaultOrientation() { setWorldRotation(kDefaultWorldRotation); }

// ---------------------------------------------------------------------------------------
// Appearance

void BasicOpenGLView::setClearColor(std::shared_ptr<platform::Color> color) {
  m_clearColor = colorOr(color, 0);
  update();
}
void BasicOpenGLView::setAmbientColor(std::shared_ptr<platform::Color> color) {
  m_ambientColor = colorOr(color, 1);
  update();
}
void BasicOpenGLView::setDiffuseColor(std::shared_ptr<platform::Color> color) {
  m_diffuseColor = colorOr(color, 1);
  update();
}
void BasicOpenGLView::setSpecularColor(std::shared_ptr<platform::Color> color) {
  m_specularColor = colorOr(color, 1);
  update();
}

std::shared_ptr<platform::Color> BasicOpenGLView::colorHavingGoodContrastAgainstBackground() const {
  const auto& c = *m_clearColor;
  return c.red() + c.green() + c.blue() > 1.5 ? platform::Color::make(0, 0, 0, 1) : platform::Color::make(1, 1, 1, 1);
}

void BasicOpenGLView::setUsesLight(bool on) {
  m_usesLight = on;
  update();
}
void BasicOpenGLView::setUsesTwoLights(bool on) {
  m_usesTwoLights = on;
  update();
}
void BasicOpenGLView::setUsesAntialiasing(bool on) {
  m_usesAntialiasing = on;
  update();
}

// Setters that change what the display list holds mark it for regeneration.
#define ORB_REGENERATING_SETTER(name, member, type) \
  void BasicOpenGLView::name(type value) {          \
    member = value;                                 \
    m_needsDisplayListRegeneration = true;          \
    update();                                       \
  }
ORB_REGENERATING_SETTER(setPolygonModeFront, m_polygonModeFront, const std::string&)
ORB_REGENERATING_SETTER(setPolygonModeBack, m_polygonModeBack, const std::string&)
ORB_REGENERATING_SETTER(setClockwiseIsFront, m_clockwiseIsFront, bool)
ORB_REGENERATING_SETTER(setReversesNormal, m_reversesNormal, bool)
ORB_REGENERATING_SETTER(setEnablesCullFace, m_enablesCullFace, bool)
ORB_REGENERATING_SETTER(setDrawsBoundingBox, m_drawsBoundingBox, bool)
ORB_REGENERATING_SETTER(setDrawsAxes, m_drawsAxes, bool)
ORB_REGENERATING_SETTER(setDrawsPlane, m_drawsPlane, bool)
#undef ORB_REGENERATING_SETTER

// ---------------------------------------------------------------------------------------
// Settings

void BasicOpenGLView::saveDefaultColors() {
  auto& d = defaults();
  d.setColor(m_clearColor, kClearColorKey);
  d.setColor(m_ambientColor, kAmbientColorKey);
  d.setColor(m_diffuseColor, kDiffuseColorKey);
  d.setColor(m_specularColor, kSpecularColorKey);
}

void BasicOpenGLView::restoreDefaultColors() {
  const auto& d = defaults();
  setClearColor(colorOr(d.colorForKey(kClearColorKey), 0));
  setAmbientColor(colorOr(d.colorForKey(kAmbientColorKey), 1));
  setDiffuseColor(colorOr(d.colorForKey(kDiffuseColorKey), 1));
  setSpecularColor(colorOr(d.colorForKey(kSpecularColorKey), 1));
  update();
}

void BasicOpenGLView::restoreFactoryColors() {
  setClearColor(platform::Color::make(0.29, 0.58, 0.73, 1));
  setAmbientColor(platform::Color::make(0.2, 0.2, 0.2, 1));
  setDiffuseColor(platform::Color::make(0.62, 0.62, 0.62, 1));
  setSpecularColor(platform::Color::make(1, 1, 1, 1));
  update();
}

void BasicOpenGLView::saveDefaultFlags() {
  auto& d = defaults();
  d.setObject(kUsesLightKey, m_usesLight);
  d.setObject(kDrawsHelpKey, m_drawsHelp);
  d.setObject(kPolygonModeFrontKey, m_polygonModeFront);
  d.setObject(kPolygonModeBackKey, m_polygonModeBack);
  d.setObject(kClockwiseIsFrontKey, m_clockwiseIsFront);
  d.setObject(kEnablesCullFaceKey, m_enablesCullFace);
  d.setObject(kAnimationTypeKey, m_animationType);
  d.setObject(kIsAnimatedKey, m_isAnimated);
  d.setObject(kDrawsBoundingBoxKey, m_drawsBoundingBox);
}

void BasicOpenGLView::restoreDefaultFlags() {
  const auto& d = defaults();
  m_usesDisplayList = false;
  setDrawsHelp(d.boolForKey(kDrawsHelpKey));
  setClockwiseIsFront(d.boolForKey(kClockwiseIsFrontKey));
  setEnablesCullFace(d.boolForKey(kEnablesCullFaceKey));
  setUsesLight(d.boolForKey(kUsesLightKey));
  setDrawsBoundingBox(d.boolForKey(kDrawsBoundingBoxKey));
  setAnimationType(d.stringForKey(kAnimationTypeKey));
  setPolygonModeFront(d.stringForKey(kPolygonModeFrontKey));
  setPolygonModeBack(d.stringForKey(kPolygonModeBackKey));
}

void BasicOpenGLView::restoreFactoryFlags() {
  setUsesLight(true);
  setDrawsHelp(false);
  setPolygonModeFront("fill");
  setPolygonModeBack("fill");
  setClockwiseIsFront(false);
  setEnablesCullFace(false);
  setAnimationType(animationTypes().front());
  setDrawsBoundingBox(false);
  setUsesAntialiasing(defaults().boolForKey(kUsesAntialiasingKey));
  setDrawsInfo(false);
  m_needsDisplayListRegeneration = true;
  update();
}

// ---------------------------------------------------------------------------------------
// Animation

void BasicOpenGLView::startAnimationTimer() {
  if (m_timer) return;
  m_timer = new QTimer(this);
  m_timer->setTimerType(Qt::PreciseTimer);
  m_timer->setInterval(static_cast<int>(std::lround(AnimationClock::kInterval * 1000)));
  // Qt timers keep firing during drags and resizes: no run-loop modes to add.
  QObject::connect(m_timer, &QTimer::timeout, this, [this] { animationForTimer(); });
  m_timer->start();
}

void BasicOpenGLView::invalidateAnimationTimer() {
  if (!m_timer) return;
  m_timer->stop();
  delete m_timer;
  m_timer = nullptr;
}

bool BasicOpenGLView::animationTimerIsRunning() const { return m_timer && m_timer->isActive(); }

void BasicOpenGLView::setAnimationType(const std::string& type) {
  const auto& types = animationTypes();
  m_animationType = std::find(types.begin(), types.end(), type) != types.end() ? type : types.front();
  setIsAnimated(m_animationType != types.front());
}

void BasicOpenGLView::setIsAnimated(bool on) {
  m_isAnimated = on;
  if (!on) update();
}

void BasicOpenGLView::animationForTimer() {
  const double dt = m_animationClock.tick(now(), m_isAnimated);
  if (dt < 0) return;
  updateObjectRotationForTimeDelta(dt);
  update();
}

void BasicOpenGLView::updateObjectRotationForTimeDelta(double dt) {
  if (m_animationType != "tumble") return;
  m_tumbler.step(static_cast<float>(dt), m_objectRotation);
}

void BasicOpenGLView::initializeStartTime() { m_startTime = now(); }

double BasicOpenGLView::elapsedTime() const { return now() - m_startTime; }

void BasicOpenGLView::setClock(std::function<double()> clock) {
  m_clock = std::move(clock);
  initializeStartTime();
  m_animationClock.setTime(now());
}

// ---------------------------------------------------------------------------------------
// Overlay

void BasicOpenGLView::setDrawsInfo(bool on) {
  m_drawsInfo = on;
  update();
}
void BasicOpenGLView::setDrawsHelp(bool on) {
  m_drawsHelp = on;
  update();
}
void BasicOpenGLView::setDrawsCaps(bool on) {
  m_drawsCaps = on;
  update();
}

void BasicOpenGLView::createHelpString() {
  m_helpText = std::make_unique<StringTexture>(
      "'i': toggle info \n'h': toggle help    'c': toggle OpenGL caps", m_overlayFont, qColor(1, 1, 1, 1),
      qColor(0, 0.5f, 0, 0.5f), qColor(0.3f, 0.8f, 0.3f, 0.8f));
}

void BasicOpenGLView::createMessageString() {
  m_messageText = std::make_unique<StringTexture>("No messages...", m_overlayFont, qColor(1, 1, 1, 1),
                                                qColor(0.5f, 0.5f, 0.5f, 0.5f), qColor(0.8f, 0.8f, 0.8f, 0.8f));
}

void BasicOpenGLView::noteUpdate() {
  m_messageTime = elapsedTime();
  m_messageText->setString(QString::fromStdString(formatted("update at %0.1f secs", m_messageTime)));
}

void BasicOpenGLView::updateInfoString() {
  const QRect f = geometry();
  std::string renderer = "(no renderer)", version = "(no version)";
  if (QOpenGLContext::currentContext() == context() && context()) {
    if (const auto* r = glGetString(GL_RENDERER)) renderer = reinterpret_cast<const char*>(r);
    if (const auto* v = glGetString(GL_VERSION)) version = reinterpret_cast<const char*>(v);
  }
  const auto text = formatted("b (%g, %g) (%g x %g) \nf (%g, %g) (%g x %g) \n%s \n%s", 0.0, 0.0, double(width()),
                              double(height()), double(f.x()), double(f.y()), double(f.width()),
                              double(f.height()), renderer.c_str(), version.c_str());
  if (!m_infoText)
    m_infoText = std::make_unique<StringTexture>("", m_overlayFont, qColor(1, 1, 1, 1), qColor(0.5f, 0.5f, 0.5f, 0.5f),
                                               qColor(0.8f, 0.8f, 0.8f, 0.8f));
  m_infoText->setString(QString::fromStdString(text));
}

void BasicOpenGLView::updateCameraString() {
  const auto text = formatted("Camera corners (%0.1f, %0.1f) (%0.1f, %0.1f)", m_xMin, m_yMin, m_xMax, m_yMax);
  if (!m_cameraText)
    m_cameraText = std::make_unique<StringTexture>("", m_overlayFont, qColor(1, 1, 1, 1),
                                                 qColor(0.5f, 0.5f, 0.5f, 0.5f), qColor(0.8f, 0.8f, 0.8f, 0.8f));
  m_cameraText->setString(QString::fromStdString(text));
}

OverlayLayout BasicOpenGLView::overlayLayout() const {
  OverlayInput in;
  in.drawsInfo = m_drawsInfo;
  in.drawsHelp = m_drawsHelp;
  in.width = static_cast<float>(m_cameraSize[0]);
  in.height = static_cast<float>(m_cameraSize[1]);
  if (m_infoText) in.infoSize = m_infoText->frameSize();
  if (m_cameraText) in.cameraSize = m_cameraText->frameSize();
  if (m_helpText) in.helpSize = m_helpText->frameSize();
  if (m_messageText) in.messageSize = m_messageText->frameSize();
  if (m_errorText) in.errorSize = m_errorText->frameSize();
  in.time = elapsedTime();
  in.messageTime = m_messageTime;
  in.errorTime = m_errorTime;
  return layoutOverlay(in);
}

void BasicOpenGLView::drawInfo() {
  const float w = static_cast<float>(m_cameraSize[0]), h = static_cast<float>(m_cameraSize[1]);
  if (w <= 0 || h <= 0) return;
  const OverlayLayout layout = overlayLayout();
  const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);  // the textures hold premultiplied colour
  glEnable(GL_TEXTURE_RECTANGLE);
  GLint matrixMode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  // View pixels, origin at the top left, y down.
  glScalef(2.0f / w, -2.0f / h, 1.0f);
  glTranslatef(-w / 2.0f, -h / 2.0f, 0.0f);
  glColor4f(1, 1, 1, 1);
  GLSink& gl = immediateGL();
  if (layout.info) m_infoText->drawAtPoint(gl, layout.info->x(), layout.info->y());
  if (layout.camera) m_cameraText->drawAtPoint(gl, layout.camera->x(), layout.camera->y());
  if (layout.help) m_helpText->drawAtPoint(gl, layout.help->x(), layout.help->y());
  if (layout.message) {
    const auto a = static_cast<float>(layout.messageStrength);
    glColor4f(a, a, a, a);
    m_messageText->drawAtPoint(gl, layout.message->x(), layout.message->y());
  }
  if (layout.error) {
    const auto a = static_cast<float>(layout.errorStrength);
    glColor4f(a, a, a, a);
    m_errorText->drawAtPoint(gl, layout.error->x(), layout.error->y());
  }
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrixMode));
  glDisable(GL_TEXTURE_RECTANGLE);
  glDisable(GL_BLEND);
  if (depthTest) glEnable(GL_DEPTH_TEST);
  reportError();
}

// ---------------------------------------------------------------------------------------
// Errors

unsigned BasicOpenGLView::reportError() {
  const GLenum code = glGetError();
  if (code != GL_NO_ERROR) {
    const auto* text = gluErrorString(code);
    reportErrorWithCString(text ? reinterpret_cast<const char*>(text) : "unknown error");
  }
  return code;
}

void BasicOpenGLView::reportErrorWithCString(const char* text) {
  m_errorTime = static_cast<float>(elapsedTime());
  const auto message = formatted("OpenGL error: %s (at time: %0.1f secs).", text, double(m_errorTime));
  platform::logText(message);
  if (!m_errorText)
    m_errorText = std::make_unique<StringTexture>("", QFont("Monaco", 9), qColor(1, 1, 1, 1), qColor(1, 0, 0, 0.3f),
                                                qColor(1, 0, 0, 0.8f));
  m_errorText->setString(QString::fromStdString(message));
}

// ---------------------------------------------------------------------------------------
// Copy and print

void BasicOpenGLView::copyGraphics() {
  const QImage image = imageFromView(*this);
  if (!image.isNull()) QApplication::clipboard()->setImage(image);
}

QImage BasicOpenGLView::viewForPrinting() {
  const auto& c = *m_clearColor;
  if (c.red() == 1 && c.green() == 1 && c.blue() == 1 && c.alpha() == 1) return imageFromView(*this);
  const auto saved = m_clearColor;
  m_clearColor = platform::Color::make(1, 1, 1, 1);
  // Draw once with the white background straight into the view's framebuffer, read it back,
  // then restore the colour; the next frame shows the view as before.
  QImage image;
  if (isValid()) {
    makeCurrent();
    paintGL();
    image = imageFromView(*this);
  }
  m_clearColor = saved;
  update();
  return image;
}

void BasicOpenGLView::print() {
  const QImage image = viewForPrinting();
  if (image.isNull()) return;
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  QPainter painter(&printer);
  const QRect page = painter.viewport();
  QSize size = image.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  painter.setViewport(page.x(), page.y(), size.width(), size.height());
  painter.setWindow(image.rect());
  painter.drawImage(0, 0, image);
}

// Keys are swallowed; held modifiers still switch the mouse mode.
void BasicOpenGLView::keyPressEvent(QKeyEvent* event) { MouseOpenGLView::keyPressEvent(event); }

// ---------------------------------------------------------------------------------------
// GL

void BasicOpenGLView::initializeGL() {
  // A new context (the widget may have been re-parented) holds none of the old lists.
  m_displayList = 0;
  m_needsDisplayListRegeneration = true;
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_NORMALIZE);
  glShadeModel(GL_SMOOTH);
  glFrontFace(GL_CCW);
  glPolygonOffset(1, 1);
  glEnable(GL_POLYGON_OFFSET_FILL);
  rendering::glClearColor(*m_clearColor);
  updateLighting();
  setupDefaultMaterial();
  updateInfoString();
}

void BasicOpenGLView::resizeGL(int, int) {
  const std::array<double, 2> size{double(width()), double(height())};
  if (size == m_cameraSize) return;
  m_cameraSize = size;
  adjustWindow();
  updateInfoString();
  noteUpdate();
}

void BasicOpenGLView::updateProjection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(m_window.xMin, m_window.xMax, m_window.yMin, m_window.yMax, m_zMinMin, m_zMaxMax);
  glMatrixMode(GL_MODELVIEW);
}

void BasicOpenGLView::updateModelView() {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(m_rotationCenter[0], m_rotationCenter[1], m_rotationCenter[2]);
  if (m_trackballRotation.angle != 0)
    glRotatef(m_trackballRotation.angle, m_trackballRotation.x, m_trackballRotation.y, m_trackballRotation.z);
  glRotatef(m_worldRotation.angle, m_worldRotation.x, m_worldRotation.y, m_worldRotation.z);
  if (m_objectRotation.angle != 0)
    glRotatef(m_objectRotation.angle, m_objectRotation.x, m_objectRotation.y, m_objectRotation.z);
  m_tumbler.rRot = {0, 0, 0};
  glTranslatef(-m_rotationCenter[0], -m_rotationCenter[1], -m_rotationCenter[2]);
}

void BasicOpenGLView::loadLightTransform() {
  if (m_lightTrackballRotation.angle != 0)
    glRotatef(m_lightTrackballRotation.angle, m_lightTrackballRotation.x, m_lightTrackballRotation.y,
              m_lightTrackballRotation.z);
  glRotatef(m_lightRotation.angle, m_lightRotation.x, m_lightRotation.y, m_lightRotation.z);
}

void BasicOpenGLView::updateLighting() {
  if (!m_usesLight) {
    glDisable(GL_LIGHTING);
    return;
  }
  glEnable(GL_LIGHTING);
  const float* ambient = rgba(*m_ambientColor);
  const float* diffuse = rgba(*m_diffuseColor);
  const float* specular = rgba(*m_specularColor);
  static const float front[4] = {0, 0, 1, 0}, back[4] = {0, 0, -1, 0};
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  loadLightTransform();
  glEnable(GL_LIGHT0);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  glLightfv(GL_LIGHT0, GL_POSITION, front);
  if (m_usesTwoLights) {
    glEnable(GL_LIGHT1);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT1, GL_POSITION, back);
  } else {
    glDisable(GL_LIGHT1);
  }
  glPopMatrix();
}

void BasicOpenGLView::setupRedMaterial() {
  static const float c[4] = {1, 0, 0, 0.5f};
  colouredMaterial(c);
}
void BasicOpenGLView::setupGreenMaterial() {
  static const float c[4] = {0, 1, 0, 1};
  colouredMaterial(c);
}
void BasicOpenGLView::setupBlueMaterial() {
  static const float c[4] = {0, 0, 1, 1};
  colouredMaterial(c);
}
void BasicOpenGLView::setupDefaultMaterial() {
  static const float white[4] = {1, 1, 1, 0.8f};
  static const float frontEmission[4] = {0.2f, 0, 0, 0.8f}, backEmission[4] = {0, 0.2f, 0, 0.8f};
  material(GL_FRONT, white, white);
  material(GL_BACK, white, white);
  glMaterialfv(GL_FRONT, GL_EMISSION, frontEmission);
  glMaterialfv(GL_BACK, GL_EMISSION, backEmission);
  glColor4fv(white);
}

void BasicOpenGLView::drawLight() {
  GLSink& gl = immediateGL();
  const double radius = extents()->radius();
  const double mark = radius / 40;
  const GLboolean lit = glIsEnabled(GL_LIGHTING), culls = glIsEnabled(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glMatrixMode(GL_MODELVIEW);
  // The world centre, where the ball sits in the model.
  glPushMatrix();
  glTranslatef(m_worldCenter[0], m_worldCenter[1], m_worldCenter[2]);
  glScaled(mark, mark, mark);
  glColor4f(1, 0, 0, 1);
  openGLSphere(gl, 10);
  glPopMatrix();
  // The light's frame is an eye frame (the light turns with the light drag, not with the
  // model), centred where the eye sees the world centre and one model radius across.
  GLdouble modelView[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
  const double c[3] = {m_worldCenter[0], m_worldCenter[1], m_worldCenter[2]};
  double eye[3];
  for (int i = 0; i < 3; ++i)
    eye[i] = modelView[i] * c[0] + modelView[4 + i] * c[1] + modelView[8 + i] * c[2] + modelView[12 + i];
  glPushMatrix();
  glLoadIdentity();
  glTranslated(eye[0], eye[1], eye[2]);
  loadLightTransform();
  glScaled(radius, radius, radius);
  glColor4f(0.8f, 0.8f, 0.1f, 1);
  glBegin(GL_LINES);
  glVertex3d(0, 0, 0);
  glVertex3d(0, 0, 1);
  glEnd();
  glPushMatrix();
  glTranslated(0, 0, 1);
  glScaled(1.0 / 40, 1.0 / 40, 1.0 / 400);
  openGLSphere(gl, 10);
  glPopMatrix();
  glColor4f(0.1f, 0.1f, 0.1f, 1);
  glEnable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  openGLSphere(gl, 20);
  glPopMatrix();
  if (!culls) glDisable(GL_CULL_FACE);
  if (lit) glEnable(GL_LIGHTING);
}

void BasicOpenGLView::setupPolygonMode() {
  glPolygonMode(GL_FRONT, polygonModeFor(m_polygonModeFront));
  glPolygonMode(GL_BACK, polygonModeFor(m_polygonModeBack));
  m_polygonsAreOpaque = polygonModeFor(m_polygonModeFront) == GL_FILL && polygonModeFor(m_polygonModeBack) == GL_FILL;
}

void BasicOpenGLView::clearDisplayList() {
  if (m_displayList != 0) glDeleteLists(m_displayList, 1);
  m_displayList = 0;
}

void BasicOpenGLView::compileDisplayList() {
  clearDisplayList();
  m_displayList = glGenLists(1);
  if (m_displayList == 0) return;
  glNewList(m_displayList, GL_COMPILE);
  drawContent();
  glEndList();
}

void BasicOpenGLView::compileAndExecuteDisplayList() {
  clearDisplayList();
  m_displayList = glGenLists(1);
  if (m_displayList == 0) {
    drawContent();
    return;
  }
  glNewList(m_displayList, GL_COMPILE_AND_EXECUTE);
  drawContent();
  glEndList();
}

void BasicOpenGLView::drawContent() {
  setupPolygonMode();
  setOpenGLReversesNormals(m_reversesNormal);
  glFrontFace(m_clockwiseIsFront ? GL_CW : GL_CCW);
  if (m_enablesCullFace)
    glEnable(GL_CULL_FACE);
  else
    glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);

  if (const auto model = m_model.lock()) {
    std::lock_guard lock(model->drawingMutex());
    model->drawUsingOpenGL(optionsDictionary());
  }

  glLoadName(0);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);

  const auto box = extents();
  if (m_drawsBoundingBox) {
    const double x[2] = {box->xMin(), box->xMax()}, y[2] = {box->yMin(), box->yMax()},
                 z[2] = {box->zMin(), box->zMax()};
    glLineWidth(1);
    setupRedMaterial();
    glNormal3f(1, 0, 0);
    glBegin(GL_LINES);
    for (double b : y)
      for (double c : z) {
        glVertex3d(x[0], b, c);
        glVertex3d(x[1], b, c);
      }
    glEnd();
    setupGreenMaterial();
    glNormal3f(0, 1, 0);
    glBegin(GL_LINES);
    for (double a : x)
      for (double c : z) {
        glVertex3d(a, y[0], c);
        glVertex3d(a, y[1], c);
      }
    glEnd();
    setupBlueMaterial();
    glNormal3f(0, 0, 1);
    glBegin(GL_LINES);
    for (double a : x)
      for (double b : y) {
        glVertex3d(a, b, z[0]);
        glVertex3d(a, b, z[1]);
      }
    glEnd();
  }
  if (m_drawsAxes) {
    glLineWidth(1);
    glBegin(GL_LINES);
    setupRedMaterial();
    glVertex4f(0, 0, 0, 1);
    glVertex4f(1, 0, 0, 0);
    setupGreenMaterial();
    glVertex4f(0, 0, 0, 1);
    glVertex4f(0, 1, 0, 0);
    setupBlueMaterial();
    glVertex4f(0, 0, 0, 1);
    glVertex4f(0, 0, 1, 0);
    glEnd();
    glLineWidth(1);
  }
  if (m_drawsPlane) {
    setupDefaultMaterial();
    glNormal3f(m_reversesNormal ? -1.0f : 1.0f, 0, 0);
    glBegin(GL_POLYGON);
    glVertex3d(0, box->yMin(), box->zMin());
    glVertex3d(0, box->yMax(), box->zMin());
    glVertex3d(0, box->yMax(), box->zMax());
    glVertex3d(0, box->yMin(), box->zMax());
    glEnd();
  }
}

void BasicOpenGLView::scheduleFramesPerSecond() {
  if (!(m_lastRenderingTime > 0)) return;
  const double fps = 1.0 / m_lastRenderingTime;
  QTimer::singleShot(0, this, [this, fps] {
    m_framesPerSecond = fps;
    if (m_framesPerSecondChanged) m_framesPerSecondChanged(fps);
  });
}

void BasicOpenGLView::paintGL() {
  const qreal ratio = devicePixelRatioF();
  glViewport(0, 0, static_cast<GLint>(width() * ratio), static_cast<GLint>(height() * ratio));
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_STENCIL_TEST);
  updateProjection();
  updateModelView();
  rendering::glClearColor(*m_clearColor);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDepthMask(GL_TRUE);
  updateLighting();
  setupDefaultMaterial();
  if (m_usesAntialiasing)
    glEnable(GL_LINE_SMOOTH);
  else
    glDisable(GL_LINE_SMOOTH);

  if (!m_suspendUntilZoomToFit) {
    const double start = now();
    if (m_needsDisplayListRegeneration) {
      clearDisplayList();
      m_needsDisplayListRegeneration = false;
    }
    if (m_usesDisplayList) {
      if (m_displayList != 0)
        glCallList(m_displayList);
      else
        compileAndExecuteDisplayList();
    } else {
      drawContent();
    }
    m_lastRenderingTime = now() - start;
    scheduleFramesPerSecond();
  }
  glDisable(GL_LIGHTING);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  if (mouseMode() == kLightMode) {
    drawLight();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  }
  if (m_drawsZoomRect) drawZoomRect();
  if (m_drawsInfo || m_drawsHelp || m_drawsCaps) drawInfo();
  // QOpenGLWidget swaps the buffers after this returns.
  reportError();
}

}  // namespace orb::rendering
