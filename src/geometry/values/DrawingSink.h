#pragma once

#include "foundation/objects/XYZ.h"

namespace orb::geometry {

/// Primitive kinds of immediate-mode drawing. A polygon is one convex face of any number
/// of corners.
enum class DrawMode { Lines, LineLoop, LineStrip, Triangles, Quads, Polygon };

/// Where geometry draws itself: the rendering layer implements it with fixed-function GL
/// (begin/normal/vertex/end), so this layer needs no graphics library.
class DrawingSink {
 public:
  virtual ~DrawingSink() = default;
  virtual void begin(DrawMode mode) = 0;
  /// The normal for the vertices that follow.
  virtual void normal(const foundation::XYZ& n) = 0;
  virtual void vertex(const foundation::XYZ& p) = 0;
  virtual void end() = 0;
  /// Unlit colour (components 0–1) of what follows; sinks without colours ignore it.
  virtual void color(const foundation::XYZ&) {}
  virtual void lineWidth(double) {}
  /// Switches lighting off for marks that must keep their own colour, and on again.
  virtual void setLighting(bool) {}
};

/// The DXF writer's primitives, as geometry writes faces through them. The writer applies
/// its own current transform to each vertex.
class DxfSink {
 public:
  /// DXF primitive modes.
  enum Mode { kSeparateLines = 1, kLineStrip = 3, kTriangles = 4, kFourCornerFaces = 7 };

  virtual ~DxfSink() = default;
  /// Starts a primitive and clears the vertex buffer.
  virtual void dxfBegin(int mode) = 0;
  /// Buffers a vertex; in mode 7 every fourth vertex emits one 3DFACE.
  virtual void dxfVertex(double x, double y, double z) = 0;
  /// Ends the primitive; vertices still buffered are dropped.
  virtual void dxfEnd() = 0;
  /// The colour of the entities that follow (components 0–1); sinks without colours
  /// ignore it.
  virtual void dxfSetColorRGB(double, double, double) {}
};

}  // namespace orb::geometry
