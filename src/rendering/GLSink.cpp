#include "rendering/GLSink.h"

#include <GL/gl.h>
#include <GL/glext.h>

namespace orb::rendering {

GLPrimitive glPrimitiveFor(geometry::DrawMode mode) {
  switch (mode) {
    case geometry::DrawMode::Lines: return GLPrimitive::Lines;
    case geometry::DrawMode::LineLoop: return GLPrimitive::LineLoop;
    case geometry::DrawMode::LineStrip: return GLPrimitive::LineStrip;
    case geometry::DrawMode::Triangles: return GLPrimitive::Triangles;
    case geometry::DrawMode::Quads: return GLPrimitive::Quads;
    case geometry::DrawMode::Polygon: return GLPrimitive::Polygon;
  }
  return GLPrimitive::Lines;
}

namespace {

GLenum glEnumFor(GLPrimitive primitive) {
  switch (primitive) {
    case GLPrimitive::Points: return GL_POINTS;
    case GLPrimitive::Lines: return GL_LINES;
    case GLPrimitive::LineLoop: return GL_LINE_LOOP;
    case GLPrimitive::LineStrip: return GL_LINE_STRIP;
    case GLPrimitive::Triangles: return GL_TRIANGLES;
    case GLPrimitive::Quads: return GL_QUADS;
    case GLPrimitive::QuadStrip: return GL_QUAD_STRIP;
    case GLPrimitive::Polygon: return GL_POLYGON;
  }
  return GL_POINTS;
}

class ImmediateGL final : public GLSink {
 public:
  void beginPrimitive(GLPrimitive primitive) override { glBegin(glEnumFor(primitive)); }
  void normal(const foundation::XYZ& n) override { glNormal3d(n.x, n.y, n.z); }
  void vertex(const foundation::XYZ& p) override { glVertex3d(p.x, p.y, p.z); }
  void end() override { glEnd(); }
  void color(const foundation::XYZ& rgb) override { glColor3d(rgb.x, rgb.y, rgb.z); }
  void lineWidth(double width) override { glLineWidth(static_cast<GLfloat>(width)); }
  void setLighting(bool on) override { on ? glEnable(GL_LIGHTING) : glDisable(GL_LIGHTING); }
  void texCoord(double s, double t) override { glTexCoord2d(s, t); }
  void multMatrix(const double* columnMajor) override { glMultMatrixd(columnMajor); }
  void bindRectangleTexture(unsigned textureName) override { glBindTexture(GL_TEXTURE_RECTANGLE, textureName); }
};

}  // namespace

GLSink& immediateGL() {
  static ImmediateGL sink;
  return sink;
}

}  // namespace orb::rendering
