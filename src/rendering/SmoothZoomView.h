#pragma once

#include <QTimer>
#include <array>

#include "rendering/ZoomView.h"

namespace orb::rendering {

/// A zoom view whose zoom changes glide over one second: the data and window ranges are
/// eased from where they are to the target at 60 steps a second. Slow drawing (a frame
/// over 0.1 s) or a target with a non-finite bound jumps at once instead.
class SmoothZoomView : public ZoomView {
 public:
  explicit SmoothZoomView(QWidget* parent = nullptr);
  ~SmoothZoomView() override;

  void setTargetZoomData(const ZoomData& data) override;
  bool animatingZoom() const { return m_animatingZoom; }
  /// The data range the view is heading for (the present one when idle).
  ZoomData activeZoomData() const;
  /// Stops a running animation and drops its history step.
  void cancelZoom();
  void startAnimationTimer();
  void invalidateAnimationTimer() override;
  bool animationTimerActive() const { return m_timer != nullptr && m_timer->isActive(); }

  /// One timer tick: advances by the time since the previous tick plus the last drawing time.
  void animationForTimer();
  /// Advances the animation parameter by `dt` seconds (an animation lasts one second).
  void updateZoomForTimeDelta(double dt);
  double zoomParameter() const { return m_zoomParameter; }
  double lastRenderingTime() const { return m_lastRenderingTime; }
  /// Tests pretend slow drawing with it.
  void setLastRenderingTime(double seconds) { m_lastRenderingTime = seconds; }

  void drawRect(QPainter& painter) override;

 protected:
  void wheelEvent(QWheelEvent* event) override;
  /// History steps land at once, ending a glide under way.
  void goToZoomData(const ZoomData& data) override;

 private:
  void stopAnimation();
  QTimer* m_timer = nullptr;
  bool m_animatingZoom = false;
  double m_zoomParameter = 0;
  std::array<double, 8> m_initial{}, m_final{};
  double m_time = 0;
  double m_lastRenderingTime = 0;
};

}  // namespace orb::rendering
