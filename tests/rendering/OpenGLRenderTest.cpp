// The GL base view drawing a real picture (Mesa under Xvfb): a model with a box and an
// overlay renders, the snapshot comes back top row first, display lists are reused, and
// GL errors reach the overlay's error line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QTest>

#include "GLTestModel.h"
#include "platform/UserDefaults.h"
#include "rendering/BasicOpenGLView.h"
#include "rendering/ViewSnapshot.h"

namespace orb::rendering {
namespace {

struct Rgb {
  int r, g, b;
};
Rgb at(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  return {c.red(), c.green(), c.blue()};
}
bool near(Rgb a, Rgb b, int tolerance = 3) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

class OpenGLRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!BasicOpenGLView::contextAvailable()) GTEST_SKIP() << "no OpenGL context on this display";
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<platform::UserDefaults>(dir.path().toStdString());
    view = std::make_unique<BasicOpenGLView>(nullptr, defaults.get());
    view->restoreFactoryColors();
    view->setUsesLight(false);  // flat colours, so pixels can be checked exactly
    view->setWorldRotation({0, 1, 0, 0});
    view->setModel(model);
    view->resize(400, 400);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    render();
  }
  /// Draws a frame now into the view's framebuffer.
  void render() {
    view->repaint();
    QApplication::processEvents();
  }

  QTemporaryDir dir;
  std::unique_ptr<platform::UserDefaults> defaults;
  std::shared_ptr<test::BoxModel> model = platform::makeObject<test::BoxModel>();
  std::unique_ptr<BasicOpenGLView> view;
  const Rgb background{74, 148, 186};  // factory clear colour (0.29, 0.58, 0.73)
};

TEST_F(OpenGLRenderTest, SnapshotComesBackTopRowFirst) {
  const QImage image = imageFromView(*view);
  ASSERT_EQ(image.size(), QSize(400, 400));
  // The red square fills x, y ∈ [0, 80) from the top left; the cube's front face the
  // middle of the bottom-right quadrant (300, 300); the rest is background.
  EXPECT_TRUE(near(at(image, 2, 2), {255, 0, 0}));
  EXPECT_TRUE(near(at(image, 78, 78), {255, 0, 0}));
  EXPECT_TRUE(near(at(image, 2, 397), background));
  EXPECT_TRUE(near(at(image, 397, 2), background));
  EXPECT_TRUE(near(at(image, 300, 300), {0, 255, 0}));
  EXPECT_TRUE(near(at(image, 200, 200), background));
  EXPECT_GE(model->draws, 1);
  EXPECT_EQ(view->cameraSize(), (std::array<double, 2>{400, 400}));
}

TEST_F(OpenGLRenderTest, HelpOverlayDrawsOverTheModel) {
  view->setDrawsHelp(true);
  render();
  const auto layout = view->overlayLayout();
  ASSERT_TRUE(layout.help);
  const QImage image = imageFromView(*view);
  // Inside the help box left of its text: the half-transparent green box over the
  // background, (0, 0.5, 0)·0.5 + background·0.5.
  const int x = int(layout.help->x()) + 2, y = int(layout.help->y()) + 12;
  const Rgb box = at(image, x, y);
  EXPECT_TRUE(near(box, {background.r / 2, 64 + background.g / 2, background.b / 2}, 6))
      << box.r << "," << box.g << "," << box.b;
  // The help text itself is white on the box.
  int white = 0;
  for (int yy = int(layout.help->y()); yy < int(layout.help->y()) + 16; ++yy)
    for (int xx = x; xx < x + 120; ++xx) white += at(image, xx, yy).r > 200 && at(image, xx, yy).b > 200;
  EXPECT_GT(white, 10);
  // The model is still there.
  EXPECT_TRUE(near(at(image, 2, 2), {255, 0, 0}));

  // The info block sits 10 pixels above the bottom left corner, on a grey box.
  view->setDrawsHelp(false);
  view->setDrawsInfo(true);
  render();
  const auto info = view->overlayLayout().info;
  ASSERT_TRUE(info);
  ASSERT_NE(view->infoText(), nullptr);
  EXPECT_TRUE(view->infoText()->string().startsWith("b (0, 0) (400 x 400) \nf ("));
  const QImage withInfo = imageFromView(*view);
  const Rgb grey = at(withInfo, int(info->x()) + 2, 400 - 10 - 4);
  EXPECT_TRUE(near(grey, {64 + background.r / 2, 64 + background.g / 2, 64 + background.b / 2}, 6))
      << grey.r << "," << grey.g << "," << grey.b;
}

TEST_F(OpenGLRenderTest, LitViewInDefaultOrientationShowsTheBox) {
  view->setUsesLight(true);
  view->restoreDefaultOrientation();
  view->setDrawsBoundingBox(true);
  render();
  const QImage image = imageFromView(*view);
  int changed = 0;
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4) changed += !near(at(image, x, y), background);
  EXPECT_GT(changed, 100);
  EXPECT_TRUE(model->lastOptions.get("drawsBoundingBox").asBool());
  EXPECT_EQ(view->reportError(), 0u);
}

TEST_F(OpenGLRenderTest, DisplayListIsCompiledOnceUntilRegenerationIsAsked) {
  view->setUsesDisplayList(true);
  view->setNeedsDisplayListRegeneration();
  render();
  const int afterCompile = model->draws;
  render();
  render();
  EXPECT_EQ(model->draws, afterCompile) << "later frames call the list";
  EXPECT_TRUE(near(at(imageFromView(*view), 2, 2), {255, 0, 0}));
  view->setDrawsAxes(true);  // changes what the list holds
  render();
  EXPECT_EQ(model->draws, afterCompile + 1);
}

TEST_F(OpenGLRenderTest, PrintingSnapshotHasAWhiteBackgroundAndTheViewKeepsItsOwn) {
  const QImage printed = view->viewForPrinting();
  EXPECT_TRUE(near(at(printed, 2, 397), {255, 255, 255}));
  EXPECT_TRUE(near(at(printed, 2, 2), {255, 0, 0}));
  EXPECT_DOUBLE_EQ(view->clearColor()->red(), 0.29);
  render();
  EXPECT_TRUE(near(at(imageFromView(*view), 2, 397), background));

  // Already white: the snapshot is taken as the view stands, without drawing again.
  view->setClearColor(platform::Color::make(1, 1, 1, 1));
  render();
  const int draws = model->draws;
  EXPECT_TRUE(near(at(view->viewForPrinting(), 2, 397), {255, 255, 255}));
  EXPECT_EQ(model->draws, draws);
}

TEST_F(OpenGLRenderTest, CopyPutsTheSnapshotOnTheClipboard) {
  QApplication::clipboard()->clear();
  view->copy();
  const QImage copied = QApplication::clipboard()->image();
  ASSERT_EQ(copied.size(), QSize(400, 400));
  EXPECT_TRUE(near(at(copied, 2, 2), {255, 0, 0}));
  EXPECT_TRUE(near(at(copied, 300, 300), {0, 255, 0}));
}

TEST_F(OpenGLRenderTest, GLErrorsReachTheErrorLine) {
  model->issueBadCall = true;
  view->setDrawsInfo(true);
  render();
  ASSERT_NE(view->errorText(), nullptr);
  EXPECT_TRUE(view->errorText()->string().startsWith("OpenGL error: invalid enumerant (at time: "))
      << view->errorText()->string().toStdString();
  EXPECT_TRUE(view->overlayLayout().error.has_value());
}

}  // namespace
}  // namespace orb::rendering
