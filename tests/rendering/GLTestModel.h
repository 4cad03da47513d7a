#pragma once

#include <GL/gl.h>

#include <mutex>
#include <stdexcept>

#include "geometry/values/Extents.h"
#include "platform/Object.h"
#include "rendering/BasicOpenGLView.h"

namespace orb::rendering::test {

/// A model for the GL views: a red square in the top-left corner of the ±1 box (seen
/// along z) and a green cube in the bottom-right quadrant, drawn in flat colours so that
/// pixels can be checked with lighting off. Counts its drawings.
class BoxModel : public platform::Object, public OpenGLModel {
 public:
  void drawUsingOpenGL(const platform::Dictionary& options) override {
    ++draws;
    lastOptions = options;
    glColor4f(1, 0, 0, 1);
    glBegin(GL_QUADS);
    glVertex3d(-1, 0.6, 0);
    glVertex3d(-0.6, 0.6, 0);
    glVertex3d(-0.6, 1, 0);
    glVertex3d(-1, 1, 0);
    glEnd();
    glColor4f(0, 1, 0, 1);
    const double c[3] = {0.5, -0.5, 0}, h = 0.25;
    glBegin(GL_QUADS);
    for (int axis = 0; axis < 3; ++axis)
      for (int side = -1; side <= 1; side += 2) {
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& k : corners) {
          double p[3];
          p[axis] = c[axis] + side * h;
          p[u] = c[u] + k[0] * h;
          p[v] = c[v] + k[1] * h;
          glVertex3dv(p);
        }
      }
    glEnd();
    if (issueBadCall) glEnable(0xFFFF);
  }
  std::shared_ptr<geometry::Extents> extents() const override {
    if (throwsOnExtents) throw std::runtime_error("no extents");
    return geometry::Extents::extentsWithCenter({0, 0, 0}, 1);
  }
  std::recursive_mutex& drawingMutex() override { return mutex; }

  int draws = 0;
  bool throwsOnExtents = false;
  bool issueBadCall = false;
  platform::Dictionary lastOptions;
  std::recursive_mutex mutex;
};

}  // namespace orb::rendering::test
