// The drawing helpers and text textures through a real GL context. The offscreen platform
// gives one only where a display server is reachable (under Xvfb, for instance); without
// one these tests skip.

#include <gtest/gtest.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>
#include <memory>

#include <GL/gl.h>
#include <GL/glext.h>

#include "foundation/objects/OBTransform.h"
#include "geometry/values/Extents.h"
#include "lens/CircularAperture.h"
#include "rendering/GLDrawing.h"
#include "rendering/GLSink.h"
#include "rendering/StringTexture.h"

namespace orb::rendering {
namespace {

class GLContext : public ::testing::Test {
 protected:
  static constexpr int kSize = 64;

  void SetUp() override {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(16);
    context = std::make_unique<QOpenGLContext>();
    context->setFormat(format);
    if (!context->create()) GTEST_SKIP() << "no OpenGL context on this platform";
    surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(context->format());
    surface->create();
    if (!context->makeCurrent(surface.get())) GTEST_SKIP() << "the OpenGL context cannot be made current";
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
    fbo = std::make_unique<QOpenGLFramebufferObject>(kSize, kSize, fboFormat);
    if (!fbo->isValid() || !fbo->bind()) GTEST_SKIP() << "no framebuffer object";
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }

  void TearDown() override {
    if (context && QOpenGLContext::currentContext() == context.get()) {
      fbo.reset();
      context->doneCurrent();
    }
  }

  std::unique_ptr<QOpenGLContext> context;
  std::unique_ptr<QOffscreenSurface> surface;
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
};

TEST_F(GLContext, RowMajorFrameBecomesTheModelViewMatrix) {
  const foundation::TransformationMatrix local{{0, -1, 0, 1, 1, 0, 0, 2, 0, 0, 1, 10, 0, 0, 0, 1}};
  transformOpenGL(immediateGL(), foundation::OBTransform(local, foundation::TransformationMatrix::identity()));
  double m[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  double expected[16];
  columnMajorFromRowMajor(local.data(), expected);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(m[k], expected[k]) << k;
  EXPECT_EQ(m[14], 10);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLContext, SolidsAndSphereDraw) {
  glColor3f(1, 0, 0);
  glScaled(0.5, 0.5, 0.5);
  openGLSphere(immediateGL(), 10);
  const foundation::XYZ ring[4] = {{1.2, 0, -0.2}, {1.8, 0, -0.2}, {1.8, 0, 0.2}, {1.2, 0, 0.2}};
  glColor3f(0, 1, 0);
  openGLClosedSurfaceOfRevolution(immediateGL(), 4, ring, 16, false, 300, 60);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  const QImage image = fbo->toImage().convertToFormat(QImage::Format_RGB32);
  // The sphere of radius 0.5 in the middle; the ring's part at azimuth 0 at x ≈ 0.75.
  EXPECT_EQ(image.pixel(kSize / 2, kSize / 2), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(kSize / 2 + 24, kSize / 2), qRgb(0, 255, 0));
  // Nothing at azimuth 180°, which the partial sweep leaves out.
  EXPECT_EQ(image.pixel(kSize / 2 - 24, kSize / 2), qRgb(0, 0, 0));
}

TEST_F(GLContext, LowerLayersDrawThroughTheImmediateSink) {
  // An obscuring disc of radius 0.5 and, around it, the box of the unit cube: geometry and
  // lens objects draw into the sink without knowing GL.
  glColor3f(0, 0, 1);
  lens::CircularObscuration::annulusWithMinRadius(0, 0.5)->drawUsingOpenGL(immediateGL());
  glColor3f(1, 1, 0);
  drawUsingOpenGL(immediateGL(), geometry::Extents({0, 0, 0}, 0.75));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  const QImage image = fbo->toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(image.pixel(kSize / 2, kSize / 2), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(kSize / 2 + 20, kSize / 2 + 20), qRgb(0, 0, 0));
  // The box's edge at x = 0.75 runs along column 56 of 64.
  int lit = 0;
  for (int y = 0; y < kSize; ++y)
    for (int x = 54; x <= 57; ++x) lit += image.pixel(x, y) == qRgb(255, 255, 0);
  EXPECT_GT(lit, kSize / 2);
}

TEST_F(GLContext, TextTextureDrawsItsImageTopRowFirst) {
  // Overlay coordinates: pixels, origin top left, y down.
  glMatrixMode(GL_PROJECTION);
  glOrtho(0, kSize, kSize, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_TEXTURE_RECTANGLE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(1, 1, 1, 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

  StringTexture text(QStringLiteral("Ag"), QFont(), QColor(255, 255, 255), QColor(0, 0, 255, 128),
                     QColor(255, 0, 0, 255));
  text.useStaticFrame(40, 30);  // taller than the text: the room is left on top
  const QImage expected = text.image();
  text.drawAtPoint(immediateGL(), 5, 7);
  ASSERT_NE(text.texName(), 0u);
  EXPECT_EQ(text.texSize(), QSizeF(40, 30));
  glDisable(GL_TEXTURE_RECTANGLE);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  const QImage drawn = fbo->toImage().convertToFormat(QImage::Format_RGBA8888_Premultiplied);
  // Premultiplied pixels over black come out as their colour bytes.
  int mismatches = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const uchar* e = expected.constScanLine(y) + 4 * x;
      const uchar* d = drawn.constScanLine(y + 7) + 4 * (x + 5);
      for (int c = 0; c < 3; ++c) mismatches += std::abs(int(e[c]) - int(d[c])) > 2;
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(drawn.pixel(2, 2), qRgba(0, 0, 0, 255));  // outside the quad

  // A setter discards the texture; the next draw makes it again.
  text.setTextColor(QColor(255, 255, 0));
  EXPECT_EQ(text.texName(), 0u);
  text.drawAtPoint(immediateGL(), 5, 7);
  EXPECT_NE(text.texName(), 0u);
}

}  // namespace
}  // namespace orb::rendering
