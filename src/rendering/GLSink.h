#pragma once

#include "geometry/values/DrawingSink.h"

namespace orb::rendering {

/// Every primitive kind the GL drawing helpers issue; the geometry layer's modes are a
/// subset.
enum class GLPrimitive { Points, Lines, LineLoop, LineStrip, Triangles, Quads, QuadStrip, Polygon };

GLPrimitive glPrimitiveFor(geometry::DrawMode mode);

/// Fixed-function drawing as the rendering layer issues it. Geometry, surfaces, apertures
/// and surface trees draw into it through the geometry layer's DrawingSink; the helpers
/// here add the primitives, matrix and texture calls that layer has no use for.
/// `immediateGL()` sends everything to the current context; tests record it instead.
class GLSink : public geometry::DrawingSink {
 public:
  virtual void beginPrimitive(GLPrimitive primitive) = 0;
  void begin(geometry::DrawMode mode) final { beginPrimitive(glPrimitiveFor(mode)); }
  /// Texture coordinates for the vertices that follow.
  virtual void texCoord(double s, double t) = 0;
  /// Multiplies the current matrix by a column-major 4 × 4 matrix.
  virtual void multMatrix(const double* columnMajor) = 0;
  /// Binds a rectangle texture (pixel coordinates).
  virtual void bindRectangleTexture(unsigned textureName) = 0;
};

/// The sink onto whatever GL context is current (glBegin, glNormal3d, glVertex3d, …).
/// Main thread, inside a view's drawing.
GLSink& immediateGL();

}  // namespace orb::rendering
