#pragma once

#include <QOpenGLWidget>
#include <QSurfaceFormat>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Color.h"
#include "platform/NotificationCenter.h"
#include "platform/Value.h"
#include "rendering/GLViewHistory.h"
#include "rendering/MouseOpenGLView.h"
#include "rendering/OpenGLAnimation.h"
#include "rendering/OpenGLCamera.h"
#include "rendering/OpenGLOverlay.h"
#include "rendering/StringTexture.h"

class QTimer;
class QScrollBar;
class QMenu;
class QWheelEvent;

namespace orb::geometry {
class Extents;
}
namespace orb::platform {
class UserDefaults;
}

namespace orb::rendering {

/// What a GL view draws: the model draws itself with fixed-function GL calls, given the
/// view's options, and tells how far it reaches. Drawing holds `drawingMutex`; a model that
/// takes new data from worker threads takes the same lock.
class OpenGLModel {
 public:
  virtual ~OpenGLModel() = default;
  virtual void drawUsingOpenGL(const platform::Dictionary& options) = 0;
  /// May throw; the view then shows its default ±100 cube.
  virtual std::shared_ptr<geometry::Extents> extents() const = 0;
  virtual std::recursive_mutex& drawingMutex() = 0;
};

/// A GL view that shows its size ("width,height") while it is being resized and hides it
/// a second after the last change.
class SizeOpenGLView : public MouseOpenGLView {
 public:
  explicit SizeOpenGLView(QWidget* parent = nullptr);

  std::string sizeString() const;
  bool sizeStringVisible() const { return m_sizeStringVisible; }
  void setSizeStringVisible(bool visible);
  void hideSizeString() { setSizeStringVisible(false); }
  /// Called when the size string or its visibility changes, for whatever shows it.
  void setSizeStringChangedHandler(std::function<void()> handler) { m_sizeStringChanged = std::move(handler); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool m_sizeStringVisible = false;
  QTimer* m_hideTimer;
  std::function<void()> m_sizeStringChanged;
};

/// The base of the 3-D views: an orthographic camera over a zoom box, rotations about a
/// rotation centre, lighting and materials, an optional display list, the settings kept in
/// the user defaults under "OpenGL …", the 60 Hz animation clock with tumbling, and a text
/// overlay. Drawing is GL 1.x fixed function on a compatibility-profile context.
class BasicOpenGLView : public SizeOpenGLView {
 public:
  /// Double-buffered, 16-bit depth, compatibility profile, synchronised to the display.
  static QSurfaceFormat basicPixelFormat();
  /// Whether a context of that format can be made and made current here (checked once):
  /// without one the views draw nothing.
  static bool contextAvailable();

  /// Settings come from `defaults` (the standard user defaults when null), which must
  /// outlive the view. The constructor restores this class's colours and flags; a subclass
  /// that overrides `restoreDefaultFlags` calls it again from its own constructor.
  explicit BasicOpenGLView(QWidget* parent = nullptr, platform::UserDefaults* defaults = nullptr);
  ~BasicOpenGLView() override;

  // Model.
  void setModel(const std::shared_ptr<OpenGLModel>& model);
  std::shared_ptr<OpenGLModel> model() const { return m_model.lock(); }
  /// For "modelChangedNotification": acts only when the notification's object (or the
  /// object a reference in it names) is this view's model.
  void modelChanged(const platform::Notification& notification);
  void updateExtents();
  /// The model's box, or the ±100 cube about the origin when there is none.
  std::shared_ptr<geometry::Extents> extents() const;
  virtual platform::Dictionary optionsDictionary() const;

  // Camera.
  ZoomData zoomData() const { return {m_xMin, m_xMax, m_yMin, m_yMax}; }
  void setZoomData(const ZoomData& data);
  /// Ignores null or data shorter than 32 bytes.
  void setZoomDataBytes(const unsigned char* data, std::size_t size);
  ZoomData windowBox() const { return m_window; }
  std::array<double, 2> pixelScale() const { return {m_pixelX, m_pixelY}; }
  void setDepthLimits(double zMin, double zMax);
  std::array<double, 2> depthLimits() const { return {m_zMinMin, m_zMaxMax}; }
  void adjustWindow();
  /// View point (y up from the bottom of the bounds) to model point.
  std::array<double, 2> userPointForViewPoint(double px, double py) const;
  std::array<double, 2> cameraSize() const { return m_cameraSize; }

  const GLRotation& worldRotation() const { return m_worldRotation; }
  void setWorldRotation(const GLRotation& rotation);
  void setWorldRotationData(const unsigned char* data, std::size_t size);
  const GLRotation& objectRotation() const { return m_objectRotation; }
  void setObjectRotation(const GLRotation& rotation);
  const GLRotation& trackballRotation() const { return m_trackballRotation; }
  void setTrackballRotation(const GLRotation& rotation);
  std::array<float, 3> worldCenter() const { return m_worldCenter; }
  void setWorldCenterData(const unsigned char* data, std::size_t size);
  std::array<float, 3> rotationCenter() const { return m_rotationCenter; }
  void setRotationCenterData(const unsigned char* data, std::size_t size);
  void restoreDefaultOrientation();
  const GLRotation& lightRotation() const { return m_lightRotation; }
  const GLRotation& lightTrackballRotation() const { return m_lightTrackballRotation; }

  // ---- Mouse modes and gestures -----------------------------------------------------------
  enum MouseMode { kSelectMode = 0, kZoomMode = 1, kRotateMode = 2, kPanMode = 3, kLightMode = 4 };

  QCursor cursorForMouseMode(int mode) const override;
  int otherMouseMode() const override { return kLightMode; }
  /// Alt alone zooms; Control alone pans (when it is not the contextual menu's); any other
  /// combination keeps the present mode.
  int mouseModeForModifiers(Qt::KeyboardModifiers modifiers) const override;
  /// Zoom chosen again fits the model; rotate chosen again turns to the next orientation.
  void mouseModeStress() override;
  /// A mode menu's item chose the mode `tag`.
  void mouseModeActionFromMenuItem(int tag) { setMouseMode(tag); }
  /// For the menu titled "Mode": its items whose data are the modes 0 to 4 are enabled and
  /// the present mode's item is checked.
  void menuNeedsUpdate(QMenu* menu) const;

  void leftMouseDown(QMouseEvent* event) override;
  void leftMouseDragged(QMouseEvent* event) override;
  void leftMouseUp(QMouseEvent* event) override;
  void rightMouseDown(QMouseEvent* event) override;
  void rightMouseDragged(QMouseEvent* event) override;
  void rightMouseUp(QMouseEvent* event) override;
  void otherMouseDown(QMouseEvent* event) override;
  void otherMouseDragged(QMouseEvent* event) override;
  void otherMouseUp(QMouseEvent* event) override;

  virtual void selectMouseDown(QMouseEvent*) {}
  virtual void selectMouseDragged(QMouseEvent*) {}
  virtual void selectMouseUp(QMouseEvent*) {}
  virtual void zoomMouseDown(QMouseEvent* event);
  virtual void zoomMouseDragged(QMouseEvent* event);
  virtual void zoomMouseUp(QMouseEvent* event);
  virtual void rotateMouseDown(QMouseEvent* event);
  virtual void rotateMouseDragged(QMouseEvent* event);
  virtual void rotateMouseUp(QMouseEvent* event);
  virtual void panMouseDown(QMouseEvent* event);
  virtual void panMouseDragged(QMouseEvent* event);
  virtual void panMouseUp(QMouseEvent*) {}
  virtual void lightMouseDown(QMouseEvent* event);
  virtual void lightMouseDragged(QMouseEvent* event);
  virtual void lightMouseUp(QMouseEvent* event);
  virtual void dollyMouseDown(QMouseEvent*) {}
  virtual void dollyMouseDragged(QMouseEvent*) {}
  virtual void dollyMouseUp(QMouseEvent*) {}
  /// Composes the drag rotation into the world rotation at the end of a rotate drag.
  void endTrackball();
  void endLightTrackball();

  /// A wheel turn of `delta` notches at view point (vx, vy) (y up): +1 shows exp(−0.05) of
  /// the box about the point, −1 exp(0.05) times it; 0 does nothing.
  virtual void scrollWheel(double delta, double vx, double vy);
  /// An event's point in view coordinates, y up from the bottom of the bounds.
  std::array<double, 2> viewPointForEvent(const QMouseEvent* event) const;
  bool drawsZoomRect() const { return m_drawsZoomRect; }
  /// The rubber band of a zoom drag, in model units: x, y, width, height.
  std::array<double, 4> zoomRect() const { return m_zoomRect; }

  // ---- Zoom, scrolling, orientation, history ---------------------------------------------
  /// Records the present zoom box in the history, then shows `data`.
  virtual void setTargetZoomData(const ZoomData& data);
  /// Shows the rectangle (x, y, width, height in model units), or with `out` shrinks the
  /// present view into its place; one history step.
  void zoom(double x, double y, double width, double height, bool out);
  /// As `zoom`, never animated, and wheel bursts within 0.3 s make one history step.
  void immediateZoom(double x, double y, double width, double height, bool out);
  /// Zooms the window box by `scale` about the model point (px, py).
  void zoomOn(double px, double py, double scale, bool out);
  void immediateZoomOn(double px, double py, double scale, bool out);
  void zoomToFit();
  /// Fits at once and leaves nothing to go back to.
  void immediateZoomToFit();
  /// Draws no content until the next fit, which then jumps.
  void waitForZoomToFit() { m_suspendUntilZoomToFit = true; }
  bool suspendsUntilZoomToFit() const { return m_suspendUntilZoomToFit; }
  virtual std::shared_ptr<geometry::Extents> extentsForZoomToFit();
  virtual std::array<float, 3> worldCenterDataForExtents(const geometry::Extents& extents) const;
  virtual bool zoomToFitExpandsToEncloseTrackball() const { return true; }
  virtual double zoomToFitRadiusForExtents(const geometry::Extents& extents) const;
  virtual double zoomToFitScaleFactor() const { return 1.0; }
  virtual std::array<float, 3> rotationCenterDataForWorldCenterData(const std::array<float, 3>& center) const {
    return center;
  }

  /// Sets the world centre and the rotation centre that goes with it.
  void setWorldCenter(const std::array<float, 3>& center);
  virtual void setTargetWorldCenter(const std::array<float, 3>& center);
  virtual void setTargetWorldRotation(const GLRotation& rotation);
  void setTargetWorldRotationData(const unsigned char* data, std::size_t size);
  std::array<unsigned char, 12> worldCenterBytes() const;
  std::array<unsigned char, 16> worldRotationBytes() const;

  /// Scroll limits xMinMin, xMaxMax, yMinMin, yMaxMax.
  ZoomData scrollLimits() const { return {m_xMinMin, m_xMaxMax, m_yMinMin, m_yMaxMax}; }
  /// Six floats: the scroll limits in x and y, then the depth limits; null or short data is
  /// ignored.
  void setExtentsData(const unsigned char* data, std::size_t size);
  std::array<unsigned char, 24> extentsData() const;
  /// Moves the zoom box, widening the scroll limits to include it.
  void shiftBy(double dx, double dy);

  /// The scroller parts: pages and lines down and up, the knob and the knob's slot.
  enum ScrollerPart { kDecrementPage = 1, kKnob = 2, kIncrementPage = 3, kDecrementLine = 4, kIncrementLine = 5,
                      kKnobSlot = 6 };
  struct Scroller {
    bool enabled = false;
    double knobProportion = 1, value = 0;
  };
  /// `value` (0 to 1) is the knob's position for the knob parts.
  void horizontalScrollAction(int part, double value = 0);
  void verticalScrollAction(int part, double value = 0);
  virtual void adjustHorizontalScroller();
  virtual void adjustVerticalScroller();
  const Scroller& horizontalScroller() const { return m_hScroller; }
  const Scroller& verticalScroller() const { return m_vScroller; }
  bool reverseVerticalScrollAction() const { return m_reverseVerticalScrollAction; }
  void setReverseVerticalScrollAction(bool on) { m_reverseVerticalScrollAction = on; }
  /// Drives two scroll bars (either may be null) from the scrollers and back.
  void attachScrollBars(QScrollBar* horizontal, QScrollBar* vertical);

  void orient(const std::string& name);
  /// The action of an orientation control: orients to the label of the chosen segment
  /// ("XY", "ZY", …; an accelerator's '&' is ignored).
  void orientBySegmentedControl(const QString& segmentLabel);
  void orientXY();
  void orientXY90();
  void orientYZ();
  void orientZX();
  void orientXZ();
  void orientZY();
  void orientYX();
  /// The preset last applied; empty after a rotate drag.
  const std::string& presentOrientation() const { return m_presentOrientation; }
  void setPresentOrientation(const std::string& name) { m_presentOrientation = name; }
  virtual std::vector<std::string> turnSequence() const;
  /// The next name of the turn sequence, wrapping; the first for a name not in it.
  std::string orientationFollowing(const std::string& name) const;
  /// Turns to the orientation following the present one, from the event loop.
  void turnAction();
  void turnToNextOrientation() { orient(orientationFollowing(m_presentOrientation)); }

  /// The view's back/forward history (made on first use).
  GLViewHistory& backManager();
  void backAction() { backManager().undo(); }
  void forwardAction() { backManager().redo(); }
  bool canGoBack() { return backManager().canUndo(); }
  bool canGoForward() { return backManager().canRedo(); }

  // Appearance.
  std::shared_ptr<platform::Color> clearColor() const { return m_clearColor; }
  void setClearColor(std::shared_ptr<platform::Color> color);
  std::shared_ptr<platform::Color> ambientColor() const { return m_ambientColor; }
  void setAmbientColor(std::shared_ptr<platform::Color> color);
  std::shared_ptr<platform::Color> diffuseColor() const { return m_diffuseColor; }
  void setDiffuseColor(std::shared_ptr<platform::Color> color);
  std::shared_ptr<platform::Color> specularColor() const { return m_specularColor; }
  void setSpecularColor(std::shared_ptr<platform::Color> color);
  /// Black against a light background (red + green + blue above 1.5), else white.
  std::shared_ptr<platform::Color> colorHavingGoodContrastAgainstBackground() const;

  bool usesLight() const { return m_usesLight; }
  void setUsesLight(bool on);
  bool usesTwoLights() const { return m_usesTwoLights; }
  void setUsesTwoLights(bool on);
  bool usesAntialiasing() const { return m_usesAntialiasing; }
  void setUsesAntialiasing(bool on);
  const std::string& polygonModeFront() const { return m_polygonModeFront; }
  void setPolygonModeFront(const std::string& mode);
  const std::string& polygonModeBack() const { return m_polygonModeBack; }
  void setPolygonModeBack(const std::string& mode);
  bool polygonsAreOpaque() const { return m_polygonsAreOpaque; }
  bool clockwiseIsFront() const { return m_clockwiseIsFront; }
  void setClockwiseIsFront(bool on);
  bool reversesNormal() const { return m_reversesNormal; }
  void setReversesNormal(bool on);
  bool enablesCullFace() const { return m_enablesCullFace; }
  void setEnablesCullFace(bool on);
  bool drawsBoundingBox() const { return m_drawsBoundingBox; }
  void setDrawsBoundingBox(bool on);
  bool drawsAxes() const { return m_drawsAxes; }
  void setDrawsAxes(bool on);
  bool drawsPlane() const { return m_drawsPlane; }
  void setDrawsPlane(bool on);

  // Display list.
  bool usesDisplayList() const { return m_usesDisplayList; }
  void setUsesDisplayList(bool on) { m_usesDisplayList = on; }
  bool needsDisplayListRegeneration() const { return m_needsDisplayListRegeneration; }
  void setNeedsDisplayListRegeneration() { m_needsDisplayListRegeneration = true; }

  // Settings in the user defaults.
  void saveDefaultColors();
  void restoreDefaultColors();
  /// The factory colours; views with a look of their own override them.
  virtual void restoreFactoryColors();
  void saveDefaultFlags();
  virtual void restoreDefaultFlags();
  void restoreFactoryFlags();

  // Animation.
  void startAnimationTimer();
  void invalidateAnimationTimer();
  bool animationTimerIsRunning() const;
  const std::string& animationType() const { return m_animationType; }
  /// An unknown type counts as "none".
  void setAnimationType(const std::string& type);
  bool isAnimated() const { return m_isAnimated; }
  void setIsAnimated(bool on);
  /// One tick of the 60 Hz timer, at the clock's present time.
  virtual void animationForTimer();
  virtual void updateObjectRotationForTimeDelta(double dt);
  const Tumbler& tumbler() const { return m_tumbler; }
  Tumbler& tumbler() { return m_tumbler; }
  void initializeStartTime();
  double elapsedTime() const;
  /// Seconds on a steady clock; tests replace it to step the animation without waiting.
  void setClock(std::function<double()> clock);

  // Overlay.
  bool drawsInfo() const { return m_drawsInfo; }
  void setDrawsInfo(bool on);
  bool drawsHelp() const { return m_drawsHelp; }
  void setDrawsHelp(bool on);
  bool drawsCaps() const { return m_drawsCaps; }
  void setDrawsCaps(bool on);
  void updateInfoString();
  void updateCameraString();
  /// Notes a change of the view's geometry in the message line.
  void noteUpdate();
  OverlayLayout overlayLayout() const;
  const StringTexture* messageText() const { return m_messageText.get(); }
  const StringTexture* errorText() const { return m_errorText.get(); }
  const StringTexture* infoText() const { return m_infoText.get(); }

  // Errors.
  /// Reads the GL error flag; a non-zero code is reported. Returns the code.
  unsigned reportError();
  void reportErrorWithCString(const char* text);

  // Frames.
  double lastRenderingTime() const { return m_lastRenderingTime; }
  double framesPerSecond() const { return m_framesPerSecond; }
  /// Told the frame rate after each drawn frame (from the event loop, not from inside the
  /// drawing), for whatever shows it.
  void setFramesPerSecondHandler(std::function<void(double)> handler) { m_framesPerSecondChanged = std::move(handler); }

  // Copy and print.
  /// Puts the view's picture on the clipboard.
  void copyGraphics();
  void copy() { copyGraphics(); }
  /// The picture on a white background, for printing; the view is redrawn white only when
  /// its background is not white already.
  QImage viewForPrinting();
  /// Prints the picture through the print dialog.
  void print();

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

  void updateProjection();
  void updateModelView();
  virtual void updateLighting();
  void loadLightTransform();
  void setupPolygonMode();
  virtual void drawContent();
  /// Where the light comes from: a red ball at the world centre and, in the light's frame,
  /// a yellow line to a flattened ball and a dark wire sphere. Drawn while the light mode
  /// is in force, so that a light drag shows what it turns.
  void drawLight();
  /// Draws the overlay blocks over the picture, in view pixels from the top left.
  virtual void drawInfo();
  void clearDisplayList();
  void compileDisplayList();
  void compileAndExecuteDisplayList();

  static void setupRedMaterial();
  static void setupGreenMaterial();
  static void setupBlueMaterial();
  static void setupDefaultMaterial();

  platform::UserDefaults& defaults() const { return *m_defaults; }
  double now() const { return m_clock(); }
  /// The time of the last animation tick.
  double animationTime() const { return m_animationClock.time(); }
  /// Sets the zoom and window boxes as given (the window box is not derived), then the
  /// pixel scale and the scrollers.
  void setZoomAndWindowBoxes(const ZoomData& zoom, const ZoomData& window);
  void drawZoomRect();
  /// The rubber band from the press point to the event's point; shown once it spans more
  /// than two points.
  void updateZoomRectForMouseEvent(QMouseEvent* event);
  void mousePan(QMouseEvent* event);
  void prepareToUndoScrolling();
  void applyScrolledXRange(double xMin, double xMax);
  void applyScrolledYRange(double yMin, double yMax);

 private:
  void createHelpString();
  void createMessageString();
  void scheduleFramesPerSecond();

  platform::UserDefaults* m_defaults;
  std::weak_ptr<OpenGLModel> m_model;
  std::shared_ptr<geometry::Extents> m_modelExtents;

  double m_xMin = -1, m_xMax = 1, m_yMin = -1, m_yMax = 1;
  ZoomData m_window{-1, 1, -1, 1};
  double m_zMinMin = -1, m_zMaxMax = 1;
  double m_pixelX = 1, m_pixelY = 1;
  std::array<double, 2> m_cameraSize{0, 0};

  GLRotation m_trackballRotation{0, 1, 0, 0}, m_worldRotation = kDefaultWorldRotation, m_objectRotation{0, 1, 0, 0};
  GLRotation m_lightTrackballRotation{0, 1, 0, 0}, m_lightRotation{0, 1, 0, 0};
  std::array<float, 3> m_worldCenter{0, 0, 0}, m_rotationCenter{0, 0, 0};
  Tumbler m_tumbler;

  bool m_usesDisplayList = false;
  unsigned m_displayList = 0;
  bool m_needsDisplayListRegeneration = true;

  std::shared_ptr<platform::Color> m_clearColor, m_ambientColor, m_diffuseColor, m_specularColor;
  bool m_usesLight = true, m_usesTwoLights = false, m_usesAntialiasing = false;
  std::string m_polygonModeFront = "fill", m_polygonModeBack = "fill";
  bool m_polygonsAreOpaque = true;
  bool m_clockwiseIsFront = false, m_enablesCullFace = false, m_reversesNormal = false;
  bool m_drawsBoundingBox = false, m_drawsAxes = false, m_drawsPlane = false;

  bool m_drawsInfo = false, m_drawsHelp = false, m_drawsCaps = false;
  QFont m_overlayFont;
  std::unique_ptr<StringTexture> m_infoText, m_helpText, m_messageText, m_errorText, m_cameraText;
  double m_messageTime = -1e9;
  float m_errorTime = -1e9f;

  std::function<double()> m_clock;
  double m_startTime = 0;
  AnimationClock m_animationClock;
  QTimer* m_timer = nullptr;
  bool m_isAnimated = false;
  std::string m_animationType = "none";

  double m_lastRenderingTime = 0, m_framesPerSecond = 0;
  std::function<void(double)> m_framesPerSecondChanged;
  bool m_suspendUntilZoomToFit = false;
  platform::Observation m_modelObservation;

  double m_xMinMin = -1, m_xMaxMax = 1, m_yMinMin = -1, m_yMaxMax = 1;
  std::unique_ptr<GLViewHistory> m_backManager;
  double m_timeAtLastZoom = -1e300;
  bool m_scrolling = false;
  bool m_reverseVerticalScrollAction = false;
  Scroller m_hScroller, m_vScroller;
  QScrollBar* m_hScrollBar = nullptr;
  QScrollBar* m_vScrollBar = nullptr;
  bool m_syncingScrollBars = false;
  std::string m_presentOrientation;
  bool m_drawsZoomRect = false;
  std::array<double, 2> m_pressViewPoint{0, 0}, m_pressUserPoint{0, 0}, m_lastPanPoint{0, 0};
  std::array<double, 4> m_zoomRect{0, 0, 0, 0};
};

}  // namespace orb::rendering
