#pragma once

#include <array>
#include <cstddef>

#include "foundation/linear/Quaternion.h"
#include "rendering/BasicOpenGLView.h"

namespace orb::rendering {

/// The ease-in, ease-out curve of the glides: (3 − 2p)·p².
double smoothstep(double p);

/// Rotation glides turn about one axis: the rotation that carries `from` into `to`, the
/// short way round (at most 180°); angle 0 when the two agree.
GLRotation glideRotation(const GLRotation& from, const GLRotation& to);
/// The orientation a glide from `from` has reached after turning `angle` degrees of its
/// glide rotation.
GLRotation rotationAlongGlide(const foundation::Quaternion& from, const GLRotation& glide, double angle);

foundation::Quaternion quaternionOf(const GLRotation& rotation);
GLRotation rotationOf(const foundation::Quaternion& q);

/// A GL view whose view changes glide: a new world rotation, zoom box or world centre set
/// through a target setter is reached over about a second on the 60 Hz timer, easing in and
/// out. When the last frame took more than 0.1 s the change jumps instead. The arrow keys
/// turn the view by quarter turns, Home goes to the XY orientation.
class SmoothOpenGLView : public BasicOpenGLView {
 public:
  static constexpr double kSlowFrameSeconds = 0.1;

  explicit SmoothOpenGLView(QWidget* parent = nullptr, platform::UserDefaults* defaults = nullptr);

  void setTargetWorldRotation(const GLRotation& rotation) override;
  void setTargetZoomData(const ZoomData& data) override;
  void setTargetWorldCenter(const std::array<float, 3>& center) override;

  void animationForTimer() override;
  void updateWorldRotationForTimeDelta(double dt);
  void updateZoomForTimeDelta(double dt);
  void updateWorldCenterForTimeDelta(double dt);

  bool animatingWorldRotation() const { return m_animatingWorldRotation; }
  bool animatingZoom() const { return m_animatingZoom; }
  bool animatingWorldCenter() const { return m_animatingWorldCenter; }
  const GLRotation& targetWorldRotation() const { return m_targetWorldRotation; }
  /// The rotation of the glide in progress, at its present angle, and its full angle.
  const GLRotation& worldEigenRotation() const { return m_worldEigenRotation; }
  double worldEigenRotationFullAngle() const { return m_worldEigenRotationFullAngle; }

  /// The zoom box a glide ends at (the present one when none runs).
  ZoomData activeZoomData() const { return m_animatingZoom ? m_zoomFinal : zoomData(); }
  std::array<float, 3> activeWorldCenter() const { return m_animatingWorldCenter ? m_centerFinal : worldCenter(); }
  /// The window box `zoom` would get at the present size.
  ZoomData windowDataForZoomData(const ZoomData& zoom) const;
  /// 64 bytes: the zoom box, then the window box, as eight doubles; shorter data is ignored.
  void setExtendedZoomData(const unsigned char* data, std::size_t size);
  static std::array<unsigned char, 64> extendedZoomData(const ZoomData& zoom, const ZoomData& window);
  /// Stops a zoom glide and goes back to the box before it.
  void cancelZoom();

  void setTargetWorldQuaternion(const foundation::Quaternion& q);
  /// The target of the rotation glide in progress, else the world rotation.
  foundation::Quaternion targetWorldQuaternion() const;
  /// Turns the target orientation further by `q` (applied after it).
  void augmentWorldRotationByQuaternion(const foundation::Quaternion& q);

  void scrollWheel(double delta, double vx, double vy) override;
  /// A drag takes over from a glide of what it moves, which would otherwise overwrite it.
  void rotateMouseDown(QMouseEvent* event) override;
  void panMouseDown(QMouseEvent* event) override;
  void adjustHorizontalScroller() override;
  void adjustVerticalScroller() override;
  /// The key actions: the arrows turn by 90°, Home orients to XY; others are swallowed.
  void keyDown(int key);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool glidesAreTooSlow() const { return lastRenderingTime() > kSlowFrameSeconds; }

  bool m_animatingWorldRotation = false;
  foundation::Quaternion m_initialWorldQuaternion{1, 0, 0, 0};
  GLRotation m_targetWorldRotation{0, 1, 0, 0};
  GLRotation m_worldEigenRotation{0, 1, 0, 0};
  double m_worldEigenRotationFullAngle = 0, m_worldEigenRotationParameter = 0;

  bool m_animatingZoom = false;
  double m_zoomParameter = 0;
  ZoomData m_zoomInitial, m_zoomFinal, m_windowInitial, m_windowFinal;

  bool m_animatingWorldCenter = false;
  double m_worldCenterParameter = 0;
  std::array<float, 3> m_centerInitial{0, 0, 0}, m_centerFinal{0, 0, 0};
};

}  // namespace orb::rendering
