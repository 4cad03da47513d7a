#include "rendering/GLDrawing.h"

#include <cmath>
#include <numbers>

#include "foundation/objects/OBTransform.h"
#include "geometry/values/DrawingSink.h"
#include "geometry/values/Extents.h"
#include "geometry/values/SweepDrawing.h"
#include "rendering/GLSink.h"

namespace orb::rendering {

using foundation::XYZ;

void openGLSphere(GLSink& gl, int segments) {
  if (segments < 4) {
    gl.beginPrimitive(GLPrimitive::Points);
    gl.vertex({0, 0, 0});
    gl.end();
    return;
  }
  const int bands = segments / 2;
  // π / bands is 2π / n for an even n; for an odd n it still closes the sphere at the pole.
  const double dTheta = std::numbers::pi / bands, dLambda = 2 * std::numbers::pi / segments;
  for (int i = 0; i < bands; ++i) {
    const double theta0 = i * dTheta - std::numbers::pi / 2, theta1 = (i + 1) * dTheta - std::numbers::pi / 2;
    const double c0 = std::cos(theta0), s0 = std::sin(theta0), c1 = std::cos(theta1), s1 = std::sin(theta1);
    gl.beginPrimitive(GLPrimitive::QuadStrip);
    for (int k = 0; k <= segments; ++k) {
      const double lambda = k * dLambda, cl = std::cos(lambda), sl = std::sin(lambda);
      const XYZ upper{c1 * cl, s1, c1 * sl}, lower{c0 * cl, s0, c0 * sl};
      gl.normal(upper), gl.vertex(upper);
      gl.normal(lower), gl.vertex(lower);
    }
    gl.end();
  }
}

void columnMajorFromRowMajor(const double* rowMajor, double* columnMajor) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) columnMajor[r + 4 * c] = rowMajor[4 * r + c];
}

void openGLMultMatrixRowMajor(GLSink& gl, const double* rowMajor) {
  double columnMajor[16];
  columnMajorFromRowMajor(rowMajor, columnMajor);
  gl.multMatrix(columnMajor);
}

void transformOpenGL(GLSink& gl, const foundation::OBTransform& transform) {
  transform.transformOpenGL([&gl](const double* rowMajor) { openGLMultMatrixRowMajor(gl, rowMajor); });
}

void drawUsingOpenGL(geometry::DrawingSink& gl, const geometry::Extents& e) { geometry::drawExtents(gl, e); }

}  // namespace orb::rendering
