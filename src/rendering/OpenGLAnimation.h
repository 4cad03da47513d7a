#pragma once

#include <array>
#include <string>
#include <vector>

#include "rendering/OpenGLCamera.h"

namespace orb::rendering {

/// The animation types a view offers, in menu order: "none", "tumble", "object z".
const std::vector<std::string>& animationTypes();

/// The 60 Hz clock of an animated view: decides whether a tick steps the animation and by
/// how much. A gap of more than 10 s (a sleeping machine, a stalled process) would make one
/// huge jump, so such a tick is dropped and, as `time` is not refreshed, so is every later
/// one until the animation is switched off and on again.
class AnimationClock {
 public:
  static constexpr double kTicksPerSecond = 60.0;
  static constexpr double kLongestStep = 10.0;
  /// 1/60 s as the timer interval, in single precision.
  static constexpr float kInterval = 1.0f / 60.0f;

  explicit AnimationClock(double now = 0) : m_time(now) {}
  /// The step for a tick at `now`, or a negative value when this tick steps nothing.
  double tick(double now, bool animated);
  double time() const { return m_time; }
  void setTime(double now) { m_time = now; }

 private:
  double m_time;
};

/// Tumbling: on each axis an angular velocity (degrees per 1/30 s) that accelerates until it
/// reaches ±1 and then swings back, so the model turns about all three axes at changing
/// rates.
struct Tumbler {
  static constexpr float kRate = 30.0f;

  std::array<float, 3> rVel{0.3f, 0.1f, 0.2f};
  std::array<float, 3> rAccel{0.003f, -0.005f, 0.004f};
  /// Degrees turned since the last drawn frame, per axis.
  std::array<float, 3> rRot{0, 0, 0};

  /// Advances velocities and angles by `dt` seconds and composes the turn about x, then y,
  /// then z into `objectRotation`.
  void step(float dt, GLRotation& objectRotation);
};

}  // namespace orb::rendering
