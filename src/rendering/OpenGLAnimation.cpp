#include "rendering/OpenGLAnimation.h"

#include <algorithm>
#include <cmath>

#include "rendering/Trackball.h"

namespace orb::rendering {

const std::vector<std::string>& animationTypes() {
  static const std::vector<std::string> types{"none", "tumble", "object z"};
  return types;
}

double AnimationClock::tick(double now, bool animated) {
  if (animated) {
    const double dt = now - m_time;
    if (dt > kLongestStep) return -1;
    m_time = now;
    return dt;
  }
  m_time = now;
  return -1;
}

void Tumbler::step(float dt, GLRotation& objectRotation) {
  for (int i = 0; i < 3; ++i) {
    rVel[i] += rAccel[i] * dt * kRate;
    if (rVel[i] > 1) {
      rVel[i] = 1;
      rAccel[i] = -rAccel[i];
    }
    if (rVel[i] < -1) {
      rVel[i] = -1;
      rAccel[i] = -rAccel[i];
    }
    rRot[i] += rVel[i] * dt * kRate;
    while (rRot[i] > 360) rRot[i] -= 360;
    while (rRot[i] < -360) rRot[i] += 360;
  }
  TrackballRotation accumulated{objectRotation.angle, objectRotation.x, objectRotation.y, objectRotation.z};
  trackballAddRotation({rRot[0], 1, 0, 0}, accumulated);
  trackballAddRotation({rRot[1], 0, 1, 0}, accumulated);
  trackballAddRotation({rRot[2], 0, 0, 1}, accumulated);
  objectRotation = {accumulated[0], accumulated[1], accumulated[2], accumulated[3]};
}

}  // namespace orb::rendering
