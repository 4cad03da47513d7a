#pragma once

#include <QPointF>
#include <QRectF>
#include <array>
#include <functional>

#include "platform/Value.h"
#include "rendering/ActiveMouseView.h"
#include "rendering/ZoomHistory.h"

class QScrollBar;
class QWheelEvent;

namespace orb::rendering {

/// An axis-aligned 2-D box in user units: what zoom-to-fit shows.
struct ZoomExtents {
  double xMin = -100, xMax = 100, yMin = -100, yMax = 100;
};

/// The zoomable 2-D view: a data range in user units mapped onto the bounds (equal x and
/// y scales when isotropic), zoom by dragged rectangle, click, wheel or zoom-to-fit, pan
/// with the hand, optional scroll bars, and a back/forward history of its own.
///
/// Mouse modes: 0 select, 1 zoom, 2 pan, 3 contextual menu. Alt alone (or Meta, since
/// window managers often take Alt-drags) selects zoom; Ctrl alone pans, or shows the
/// menu cursor when the view has a menu.
///
/// "View" points here have y growing upwards from the bottom of the widget, as the plot
/// engine has them; `viewPoint(event)` converts from Qt's widget coordinates.
class ZoomView : public ActiveMouseView {
 public:
  enum MouseMode { Select = 0, Zoom = 1, Pan = 2, ContextMenu = 3 };
  enum class ScrollPart { DecrementPage = 1, Knob = 2, IncrementPage = 3, DecrementLine = 4, IncrementLine = 5, KnobSlot = 6 };

  explicit ZoomView(QWidget* parent = nullptr);

  double xMin() const { return m_xMin; }
  double xMax() const { return m_xMax; }
  double yMin() const { return m_yMin; }
  double yMax() const { return m_yMax; }
  /// Plain setters: no history, no window update.
  void setXMin(double v) { m_xMin = v; }
  void setXMax(double v) { m_xMax = v; }
  void setYMin(double v) { m_yMin = v; }
  void setYMax(double v) { m_yMax = v; }
  /// The outer limits the scroll bars span and zooming out grows.
  std::array<double, 4> limits() const { return {m_xMinMin, m_xMaxMax, m_yMinMin, m_yMaxMax}; }
  void setLimits(double xMinMin, double xMaxMax, double yMinMin, double yMaxMax);
  /// The window range actually mapped onto the bounds.
  QRectF userRect() const;
  double pixelWidth() const { return m_gPixelX; }

  bool isotropic() const { return m_isotropic; }
  void setIsotropic(bool isotropic);
  void setReverseVerticalScrollAction(bool reverse) { m_reverseVerticalScrollAction = reverse; }

  ZoomData zoomData() const { return {m_xMin, m_xMax, m_yMin, m_yMax}; }
  /// Applies at once, recording nothing.
  void setZoomData(const ZoomData& data);
  /// Ignores data shorter than 32 bytes.
  void setZoomDataBytes(const unsigned char* data, std::size_t size);
  /// Records the present range in the history, then applies `data`.
  virtual void setTargetZoomData(const ZoomData& data);
  /// Data range and window range at once (eight values), no isotropic adjustment.
  void setExtendedZoomData(const std::array<double, 8>& values);
  /// The window range the view would show for `data`.
  ZoomData windowDataForZoomData(const ZoomData& data) const;

  /// Places the background image in user coordinates: image point (H, V) lands on user
  /// point (Z, Y) and N image units span L user units. The values persist as "ZV…" defaults.
  bool useImageCalibration() const { return m_useImageCalibration; }
  double imageCalibrationZ() const { return m_imageCalibrationZ; }
  double imageCalibrationY() const { return m_imageCalibrationY; }
  double imageCalibrationL() const { return m_imageCalibrationL; }
  double imageCalibrationH() const { return m_imageCalibrationH; }
  double imageCalibrationV() const { return m_imageCalibrationV; }
  double imageCalibrationN() const { return m_imageCalibrationN; }
  void setUseImageCalibration(bool use);
  void setImageCalibrationZ(double v);
  void setImageCalibrationY(double v);
  void setImageCalibrationL(double v);
  void setImageCalibrationH(double v);
  void setImageCalibrationV(double v);
  void setImageCalibrationN(double v);
  /// "backgroundColor" (a colour), "backgroundImage" (PNG data, nil when none),
  /// "useImageCalibration" and "imageCalibrationZ/Y/L/H/V/N", for saving a window.
  platform::Dictionary restorationData() const;
  /// Windows call it when they close; animated views stop their timer.
  virtual void invalidateAnimationTimer() {}

  virtual ZoomExtents extents() const { return {}; }
  virtual double zoomToFitScaleFactor() const { return 1.0; }
  virtual void zoomToFit();
  /// The next zoom-to-fit jumps and records nothing (a new window shows its content at once).
  void waitForZoomToFit() { m_suspendUntilZoomToFit = true; }
  virtual void zoomToFitDone() {}

  virtual void zoom(const QRectF& rect, bool out);
  void zoomInRect(const QRectF& rect) { zoom(rect, false); }
  void zoomOutRect(const QRectF& rect) { zoom(rect, true); }
  void zoomOn(QPointF userPoint, double scale, bool out);
  virtual void immediateZoom(const QRectF& rect, bool out);
  void immediateZoomOn(QPointF userPoint, double scale, bool out);
  void shiftBy(double dx, double dy);

  virtual QPointF userPointForViewPoint(QPointF viewPoint);
  virtual QPointF viewPointForUserPoint(QPointF userPoint);
  QPointF viewPoint(const QMouseEvent* event) const;
  void updateWindowUserCoordinates();
  void adjustWindow();

  ZoomHistory& backManager() { return m_history; }
  bool canGoBack() const { return m_history.canGoBack(); }
  bool canGoForward() const { return m_history.canGoForward(); }
  void backAction();
  void forwardAction();

  /// Scroll bars placed by the window; either may be null.
  void setScrollers(QScrollBar* horizontal, QScrollBar* vertical);
  void horizontalScrollAction(ScrollPart part, double knobValue = 0);
  void verticalScrollAction(ScrollPart part, double knobValue = 0);

  /// Seconds on a steady clock; tests replace it to merge wheel bursts without waiting.
  void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

  bool drawsZoomRect() const { return m_drawsZoomRect; }
  QRectF zoomRect() const { return m_zoomRect; }

  // Mouse modes.
  int otherMouseMode() const override { return Pan; }
  int mouseModeForModifiers(Qt::KeyboardModifiers modifiers) const override;
  QCursor cursorForMouseMode(int mode) const override;
  bool disableContextualMenus() const override { return false; }
  bool drawsFocusRing() const override { return false; }
  void mouseModeStress() override;
  /// Whether the view offers a contextual menu (Ctrl then shows the menu cursor).
  virtual bool hasContextMenu() const { return false; }

  void drawRect(QPainter& painter) override;
  void mouseMoved(QMouseEvent* event) override;
  void otherMouseDown(QMouseEvent* event) override;
  void otherMouseDragged(QMouseEvent* event) override;
  void otherMouseUp(QMouseEvent* event) override;

 protected:
  /// Maps the user rectangle onto the bounds (y up).
  virtual void setupTransformation(QPainter& painter);
  /// "pixelWidth", "defaultColor", "xMin", "xMax", "yMin", "yMax".
  platform::Dictionary contentOptions() const;
  /// Draws the calibrated background image when calibration is on; subclasses call it first.
  virtual void drawContent(QPainter& painter, const platform::Dictionary& options);
  /// The background image placed by the calibration, in user coordinates.
  void drawCalibratedBackgroundImage(QPainter& painter);
  /// The uncalibrated image covers the view only while calibration is off.
  void drawBackgroundImage(QPainter& painter) override;
  virtual void drawBoxes(QPainter& painter);
  virtual void drawViewBoxes(QPainter&) {}
  /// Applies a state from the history.
  virtual void goToZoomData(const ZoomData& data) { setZoomData(data); }
  void recordHistory(const char* actionName) { m_history.record(zoomData(), actionName); }
  double now() const { return m_clock(); }
  /// The read-out follows the pointer (user units), valid after 0.1 s.
  void updateMouseReadout(QPointF viewPoint);
  /// The pending target came from zoom-to-fit (an animated view calls zoomToFitDone on arrival).
  bool zoomingToFit() const { return m_zoomingToFit; }
  void setZoomingToFit(bool zooming) { m_zoomingToFit = zooming; }

  void shadowMouseDown(QMouseEvent* event) override;
  void shadowMouseDragged(QMouseEvent* event) override;
  void shadowMouseUp(QMouseEvent* event) override;
  virtual void selectMouseDown(QMouseEvent*) {}
  virtual void selectMouseDragged(QMouseEvent*) {}
  virtual void selectMouseUp(QMouseEvent*) {}
  void zoomMouseDown(QMouseEvent* event);
  void zoomMouseDragged(QMouseEvent* event);
  void zoomMouseUp(QMouseEvent* event);
  void panMouseDown(QMouseEvent* event);
  void panMouseDragged(QMouseEvent* event);
  void panMouseUp(QMouseEvent* event);
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  ZoomData zoomedRange(const QRectF& rect, bool out) const;
  void updateZoomRectForMouseEvent(QMouseEvent* event);
  void prepareToUndoScrolling();
  void adjustHorizontalScroller();
  void adjustVerticalScroller();

  QScrollBar* m_hScroller = nullptr;
  QScrollBar* m_vScroller = nullptr;
  bool m_reverseVerticalScrollAction = false;
  bool m_scrolling = false;
  double m_xMin = -1, m_xMax = 1, m_yMin = -1, m_yMax = 1;
  double m_xMinMin = 0, m_xMaxMax = 0, m_yMinMin = 0, m_yMaxMax = 0;
  double m_xMinWindow = -1, m_xMaxWindow = 1, m_yMinWindow = -1, m_yMaxWindow = 1;
  double m_gPixelX = 1, m_gPixelY = 1;
  bool m_isotropic = true;
  bool m_useImageCalibration = false;
  double m_imageCalibrationZ = 0, m_imageCalibrationY = 0, m_imageCalibrationL = 0;
  double m_imageCalibrationH = 0, m_imageCalibrationV = 0, m_imageCalibrationN = 0;
  bool m_drawsZoomRect = false;
  QRectF m_zoomRect;
  QPointF m_pressViewPoint, m_pressUserPoint, m_panViewPoint;
  double m_timeAtLastZoom = -1e300;
  bool m_zoomingToFit = false;
  bool m_suspendUntilZoomToFit = false;
  ZoomHistory m_history;
  std::function<double()> m_clock;
};

}  // namespace orb::rendering
