#include "rendering/StringTexture.h"

#include <gtest/gtest.h>

#include <QOpenGLContext>

#include "LogCapture.h"
#include "RecordingGL.h"

namespace orb::rendering {
namespace {

// The largest alpha in a rectangle of the image.
int maxAlpha(const QImage& image, int x0, int y0, int x1, int y1) {
  int a = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) a = std::max(a, qAlpha(image.pixel(x, y)));
  return a;
}

TEST(StringTexture, FrameIsTheTextPlusTwiceTheMargin) {
  StringTexture empty(QString{});
  EXPECT_EQ(empty.marginSize(), QSizeF(4, 2));
  EXPECT_EQ(empty.frameSize(), QSizeF(8, 4));

  StringTexture text(QStringLiteral("Camera corners (0.0, 0.0) (1.0, 1.0)"));
  const QSizeF size = text.stringSize();
  ASSERT_GT(size.width(), 20);
  ASSERT_GT(size.height(), 5);
  EXPECT_EQ(text.frameSize(), QSizeF(size.width() + 8, size.height() + 4));
  text.setMargins(10, 5);
  EXPECT_EQ(text.frameSize(), QSizeF(size.width() + 20, size.height() + 10));
  // Two lines are taller than one.
  text.setString(QStringLiteral("Camera corners\nsecond line"));
  EXPECT_GT(text.frameSize().height(), size.height() * 1.5 + 10);
}

TEST(StringTexture, StaticFrameStaysUntilDynamicAgain) {
  StringTexture text(QStringLiteral("A fairly long line of overlay text"));
  const QSizeF dynamic = text.frameSize();
  text.useStaticFrame(108, 18);
  EXPECT_TRUE(text.staticFrame());
  EXPECT_EQ(text.frameSize(), QSizeF(108, 18));
  text.setString(QStringLiteral("another"));
  text.setMargins(1, 1);
  EXPECT_EQ(text.frameSize(), QSizeF(108, 18));
  EXPECT_EQ(text.image().size(), QSize(108, 18));
  text.useDynamicFrame();
  EXPECT_FALSE(text.staticFrame());
  EXPECT_EQ(text.frameSize(), QSizeF(text.stringSize().width() + 2, text.stringSize().height() + 2));
  EXPECT_NE(text.frameSize(), dynamic);
}

TEST(StringTexture, TransparentBoxLeavesOnlyTheTextOpaque) {
  StringTexture text(QStringLiteral("Hello"));
  const QImage image = text.image();
  const QSizeF frame = text.frameSize();
  ASSERT_EQ(image.size(), QSize(int(std::ceil(frame.width())), int(std::ceil(frame.height()))));
  EXPECT_EQ(image.format(), QImage::Format_RGBA8888_Premultiplied);
  const int w = image.width(), h = image.height();
  EXPECT_GT(maxAlpha(image, 4, 2, w - 4, h - 2), 200);  // the text
  EXPECT_EQ(maxAlpha(image, 0, 0, 3, h), 0);            // left margin
  EXPECT_EQ(maxAlpha(image, 0, h - 1, w, h), 0);        // bottom margin
  // White text: premultiplied, so every pixel has r = g = b = a.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb p = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
      const auto* bytes = reinterpret_cast<const unsigned char*>(&p);
      ASSERT_TRUE(bytes[0] == bytes[3] && bytes[1] == bytes[3] && bytes[2] == bytes[3]) << x << "," << y;
    }
}

TEST(StringTexture, BoxAndBorderFillTheFrame) {
  StringTexture text(QStringLiteral("x"), QFont(), QColor(255, 255, 255), QColor(0, 128, 0), QColor(255, 0, 0));
  text.useStaticFrame(40, 20);
  const QImage image = text.image().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(39, 19), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(20, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(1, 1), qRgb(0, 128, 0));
  EXPECT_EQ(image.pixel(38, 2), qRgb(0, 128, 0));
}

TEST(StringTexture, WithoutAContextNothingIsDrawnAndEachAttemptIsLogged) {
  ASSERT_EQ(QOpenGLContext::currentContext(), nullptr);
  StringTexture text(QStringLiteral("no context"));
  test::RecordingGL gl;
  orb::test::LogCapture capture;
  text.drawAtPoint(gl, 10, 10);
  text.drawWithBounds(gl, 0, 0, 50, 10);
  const std::string log = capture.text();
  EXPECT_TRUE(gl.primitives.empty());
  EXPECT_EQ(text.texName(), 0u);
  const std::string message = "StringTexture -genTexture: Failure to get current OpenGL context";
  const auto first = log.find(message);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find(message, first + 1), std::string::npos);
}

}  // namespace
}  // namespace orb::rendering
