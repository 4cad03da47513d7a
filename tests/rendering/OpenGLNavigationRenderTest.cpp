// The gliding GL view drawing real pictures (Mesa under Xvfb): a zoom to a rectangle fills
// the view with what was in it, the rubber band shows while dragging, and an orientation
// preset turns the picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QTest>

#include "GLTestModel.h"
#include "ViewTestSupport.h"
#include "platform/UserDefaults.h"
#include "rendering/SmoothOpenGLView.h"
#include "rendering/ViewSnapshot.h"

namespace orb::rendering {
namespace {

bool isColour(const QImage& image, int x, int y, int r, int g, int b, int tolerance = 3) {
  const QColor c = image.pixelColor(x, y);
  return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
         std::abs(c.blue() - b) <= tolerance;
}

class SmoothViewRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!BasicOpenGLView::contextAvailable()) GTEST_SKIP() << "no OpenGL context on this display";
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<platform::UserDefaults>(dir.path().toStdString());
    view = std::make_unique<SmoothOpenGLView>(nullptr, defaults.get());
    view->restoreFactoryColors();
    view->setUsesLight(false);
    view->setWorldRotation({0, 1, 0, 0});
    view->setModel(model);
    view->resize(400, 400);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->setZoomData({-1, 1, -1, 1});
    view->setDepthLimits(-10, 10);
    view->setClock([this] { return clock; });
    view->animationForTimer();
    render();
  }
  void render() {
    view->repaint();
    QApplication::processEvents();
  }
  void finishGlides() {
    for (int i = 0; i < 200 && (view->animatingZoom() || view->animatingWorldRotation()); ++i) {
      clock += 1.0 / 60;
      view->animationForTimer();
    }
  }

  QTemporaryDir dir;
  std::unique_ptr<platform::UserDefaults> defaults;
  std::shared_ptr<test::BoxModel> model = platform::makeObject<test::BoxModel>();
  std::unique_ptr<SmoothOpenGLView> view;
  double clock = 1000;
};

TEST_F(SmoothViewRenderTest, ZoomDragShowsTheBandThenFillsTheViewWithTheRectangle) {
  view->setMouseMode(BasicOpenGLView::kZoomMode);
  // The red square spans widget points 0..80 from the top left; drag over its inner part.
  test::sendMouse(view.get(), QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
  test::sendMouse(view.get(), QEvent::MouseMove, {70, 70}, Qt::LeftButton);
  render();
  ASSERT_TRUE(view->drawsZoomRect());
  // Against the light factory background the band is black: its outline at full strength.
  const QImage band = imageFromView(*view);
  EXPECT_TRUE(isColour(band, 40, 70, 0, 0, 0, 40));
  test::sendMouse(view.get(), QEvent::MouseButtonRelease, {70, 70}, Qt::LeftButton);
  finishGlides();
  render();
  const QImage image = imageFromView(*view);
  for (auto [x, y] : {std::pair{2, 2}, {397, 2}, {2, 397}, {397, 397}, {200, 200}})
    EXPECT_TRUE(isColour(image, x, y, 255, 0, 0)) << x << "," << y;
}

TEST_F(SmoothViewRenderTest, YXPresetMirrorsThePictureAcrossTheDiagonal) {
  view->orient("YX");
  finishGlides();
  render();
  const QImage image = imageFromView(*view);
  // Model x now runs up the screen and y across: the red square moves to the bottom right.
  EXPECT_TRUE(isColour(image, 397, 397, 255, 0, 0));
  EXPECT_FALSE(isColour(image, 2, 2, 255, 0, 0));
  // And the green cube from the bottom right to the top left quadrant.
  EXPECT_TRUE(isColour(image, 100, 100, 0, 255, 0));
}

}  // namespace
}  // namespace orb::rendering
