#include "rendering/ZoomView.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QTemporaryFile>
#include <cmath>

#include "ViewTestSupport.h"

namespace orb::rendering {
namespace {

using test::click;

// A 200 × 200 view showing 0…10 × 0…10 with equal scales, so view and user agree.
struct ZoomFixture : ::testing::Test {
  ZoomView view;
  double clock = 1000;
  void SetUp() override {
    view.resize(200, 200);
    view.setIsotropic(false);
    view.setZoomData({0, 10, 0, 10});
    view.setClock([this] { return clock; });
  }
  void expectRange(double xMin, double xMax, double yMin, double yMax) {
    EXPECT_NEAR(view.xMin(), xMin, 1e-9);
    EXPECT_NEAR(view.xMax(), xMax, 1e-9);
    EXPECT_NEAR(view.yMin(), yMin, 1e-9);
    EXPECT_NEAR(view.yMax(), yMax, 1e-9);
  }
};

TEST_F(ZoomFixture, ModifiersSelectTemporaryModes) {
  struct Case {
    const char* name;
    Qt::KeyboardModifiers modifiers;
    int mode;
  };
  const Case cases[] = {
      {"alt-zooms", Qt::AltModifier, ZoomView::Zoom},
      {"meta-zooms-too", Qt::MetaModifier, ZoomView::Zoom},
      {"ctrl-pans", Qt::ControlModifier, ZoomView::Pan},
      {"shift-is-ignored", Qt::ShiftModifier | Qt::AltModifier, ZoomView::Zoom},
      {"other-combinations-select", Qt::AltModifier | Qt::ControlModifier, ZoomView::Select},
      {"shift-alone-keeps-the-mode", Qt::ShiftModifier, ZoomView::Pan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.setMouseMode(ZoomView::Pan);
    view.flagsChanged(c.modifiers);
    EXPECT_EQ(view.mouseMode(), c.mode);
    view.flagsChanged(Qt::NoModifier);
    EXPECT_EQ(view.mouseMode(), ZoomView::Pan);
  }
}

TEST_F(ZoomFixture, ModifierHeldAtPressActsUntilRelease) {
  view.setMouseMode(ZoomView::Select);
  test::sendMouse(&view, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::AltModifier);
  EXPECT_EQ(view.mouseMode(), ZoomView::Zoom);
  view.flagsChanged(Qt::NoModifier);  // Alt released during the press: nothing yet
  EXPECT_EQ(view.mouseMode(), ZoomView::Zoom);
  test::sendMouse(&view, QEvent::MouseButtonRelease, {100, 100}, Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(view.mouseMode(), ZoomView::Select);
  expectRange(2.5, 7.5, 2.5, 7.5);  // the press zoomed
}

TEST_F(ZoomFixture, ClickHalvesShiftClickDoublesDragZooms) {
  view.setMouseMode(ZoomView::Zoom);
  click(&view, {100, 100}, {100, 100});
  expectRange(2.5, 7.5, 2.5, 7.5);
  click(&view, {100, 100}, {100, 100}, Qt::ShiftModifier);
  expectRange(0, 10, 0, 10);
  // Two points or less is still a click.
  click(&view, {100, 100}, {102, 98});
  EXPECT_NEAR(view.xMax() - view.xMin(), 5, 1e-9);
  EXPECT_NEAR(view.yMax() - view.yMin(), 5, 1e-9);
  view.setZoomData({0, 10, 0, 10});
  click(&view, {50, 50}, {150, 150});  // a rectangle (Qt's y grows downwards)
  expectRange(2.5, 7.5, 2.5, 7.5);
  EXPECT_FALSE(view.drawsZoomRect());
}

TEST_F(ZoomFixture, WheelBurstIsOneBackStep) {
  for (int i = 0; i < 10; ++i) {
    test::wheel(&view, {100, 100}, 120);
    clock += 0.05;
  }
  EXPECT_NEAR(view.xMax() - view.xMin(), 10 * std::exp(-0.05 * 10), 1e-9);
  clock += 1.0;
  test::wheel(&view, {100, 100}, -120);  // after a pause: a step of its own
  view.backAction();
  EXPECT_NEAR(view.xMax() - view.xMin(), 10 * std::exp(-0.05 * 10), 1e-9);
  view.backAction();
  expectRange(0, 10, 0, 10);
  EXPECT_FALSE(view.canGoBack());
  view.forwardAction();
  EXPECT_NEAR(view.xMax() - view.xMin(), 10 * std::exp(-0.5), 1e-9);
}

TEST_F(ZoomFixture, ZoomToFitCanBeUndoneAndRedone) {
  view.zoomToFit();  // the default extents, ±100
  expectRange(-100, 100, -100, 100);
  view.backAction();
  expectRange(0, 10, 0, 10);
  view.forwardAction();
  expectRange(-100, 100, -100, 100);
  // Waiting for the first zoom-to-fit: a jump with no history.
  ZoomView fresh;
  fresh.waitForZoomToFit();
  fresh.zoomToFit();
  EXPECT_FALSE(fresh.canGoBack());
}

TEST_F(ZoomFixture, PanMovesTheRangeWithThePointer) {
  view.setMouseMode(ZoomView::Pan);
  click(&view, {100, 100}, {120, 80});  // right 20 and up 20 points: 1 user unit each
  expectRange(-1, 9, -1, 9);
  view.backAction();
  expectRange(0, 10, 0, 10);
}

TEST(ZoomView, IsotropicWindowWidensTheNarrowAxis) {
  ZoomView view;
  view.resize(400, 200);
  view.setZoomData({0, 10, 0, 10});
  QRectF w = view.userRect();
  EXPECT_NEAR(w.left(), -5, 1e-12);
  EXPECT_NEAR(w.right(), 15, 1e-12);
  EXPECT_NEAR(w.top(), 0, 1e-12);
  EXPECT_NEAR(w.bottom(), 10, 1e-12);
  EXPECT_NEAR(view.pixelWidth(), 20.0 / 400, 1e-15);
  // The data range itself is unchanged.
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 10, 0, 10}));
}

TEST(ZoomView, ZoomDataBytesRoundTripAndShortDataIsIgnored) {
  ZoomView view;
  ZoomData d{1, 2, 3, 4};
  auto bytes = d.bytes();
  view.setZoomDataBytes(bytes.data(), bytes.size());
  EXPECT_EQ(view.zoomData(), d);
  view.setZoomDataBytes(bytes.data(), 31);
  EXPECT_EQ(view.zoomData(), d);
}

TEST(ZoomHistory, KeepsAHundredLevels) {
  ZoomHistory h;
  for (int i = 0; i < 150; ++i) h.record({double(i), 1, 0, 1}, "Zoom");
  EXPECT_EQ(h.backCount(), ZoomHistory::kLevels);
  ZoomData current{150, 1, 0, 1};
  for (int i = 149; i >= 50; --i) {
    auto d = h.back(current);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->xMin, i);
    current = *d;
  }
  EXPECT_FALSE(h.canGoBack());
}

struct RecordingDragoutView : DragoutImageView {
  QString unreadable;
  void reportUnreadableImage(const QString& path) override { unreadable = path; }
};

TEST(DragoutImageView, ContrastColourFollowsTheBackground) {
  struct Case {
    const char* name;
    QColor background, contrast;
  };
  const Case cases[] = {
      {"grey-sum-exactly-1.5", QColor::fromRgbF(0.5, 0.5, 0.5), Qt::white},
      {"lighter-grey", QColor::fromRgbF(0.6, 0.5, 0.5), Qt::black},
      {"black", Qt::black, Qt::white},
  };
  DragoutImageView view;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.setBackgroundColor(c.background);
    EXPECT_EQ(view.colorHavingGoodContrastAgainstBackground(), c.contrast);
  }
}

TEST(DragoutImageView, PressAndHoldArmsOnlyInSelectModeWithoutMoving) {
  RecordingDragoutView view;
  view.resize(100, 100);
  test::sendMouse(&view, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton);
  EXPECT_TRUE(view.dragTimerActive());
  test::sendMouse(&view, QEvent::MouseMove, {60, 50}, Qt::LeftButton);  // moved first: never armed
  EXPECT_FALSE(view.dragTimerActive());
  EXPECT_FALSE(view.mouseWillDragData());
  test::sendMouse(&view, QEvent::MouseButtonRelease, {60, 50}, Qt::LeftButton);

  view.setMouseMode(1);
  test::sendMouse(&view, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton);
  EXPECT_FALSE(view.dragTimerActive());
  test::sendMouse(&view, QEvent::MouseButtonRelease, {50, 50}, Qt::LeftButton);

  // What the timer does when it fires: arm, with the contents ready as PDF.
  view.setMouseMode(0);
  view.dragStart();
  EXPECT_TRUE(view.mouseWillDragData());
  EXPECT_TRUE(view.dragHighlight());
  EXPECT_TRUE(view.pdfData().startsWith("%PDF"));
  test::sendMouse(&view, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton);
  test::sendMouse(&view, QEvent::MouseButtonRelease, {50, 50}, Qt::LeftButton);
  EXPECT_FALSE(view.dragHighlight());
  EXPECT_FALSE(view.mouseWillDragData());
}

TEST(DragoutImageView, PastesColoursImagesAndImageFiles) {
  RecordingDragoutView view;
  QMimeData colour;
  colour.setColorData(QColor(Qt::red));
  EXPECT_TRUE(view.pasteFromMimeData(&colour));
  EXPECT_EQ(view.backgroundColor(), QColor(Qt::red));

  QMimeData image;
  QImage picture(4, 2, QImage::Format_RGB32);
  picture.fill(Qt::green);
  image.setImageData(picture);
  EXPECT_TRUE(view.pasteFromMimeData(&image));
  EXPECT_EQ(view.backgroundImage().size(), QSize(4, 2));

  QTemporaryFile notAnImage;
  ASSERT_TRUE(notAnImage.open());
  notAnImage.write("plain text");
  notAnImage.close();
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(notAnImage.fileName())});
  EXPECT_FALSE(view.pasteFromMimeData(&file));
  EXPECT_EQ(view.unreadable, notAnImage.fileName());
  EXPECT_EQ(view.backgroundImage().size(), QSize(4, 2));  // unchanged

  QMimeData nothing;
  nothing.setText("words");
  EXPECT_FALSE(view.pasteFromMimeData(&nothing));
}

}  // namespace
}  // namespace orb::rendering
