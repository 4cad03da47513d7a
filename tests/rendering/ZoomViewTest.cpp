#include "rendering/ZoomView.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cmath>
#include <limits>

#include "platform/UserDefaults.h"
#include "rendering/SmoothZoomView.h"

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

// An animated view driven by hand: a fixed clock, steps through updateZoomForTimeDelta.
struct SmoothZoomFixture : ::testing::Test {
  struct View : SmoothZoomView {
    int fitsDone = 0;
    void zoomToFitDone() override { ++fitsDone; }
  } view;
  double clock = 1000;
  void SetUp() override {
    view.resize(200, 200);
    view.setIsotropic(false);
    view.setClock([this] { return clock; });
    view.setZoomData({0, 10, 0, 10});
  }
};

TEST_F(SmoothZoomFixture, GlidesWithTheEasingAndArrivesAfterOneSecond) {
  view.setTargetZoomData({0, 20, -10, 10});
  ASSERT_TRUE(view.animatingZoom());
  EXPECT_TRUE(view.animationTimerActive());
  EXPECT_EQ(view.activeZoomData(), (ZoomData{0, 20, -10, 10}));
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 10, 0, 10}));  // nothing moved yet
  // (3 − 2p)p²: 0.15625 at p = 0.25, one half at p = 0.5.
  view.updateZoomForTimeDelta(0.25);
  EXPECT_NEAR(view.xMax(), 10 + 10 * 0.15625, 1e-12);
  EXPECT_NEAR(view.yMin(), 0 - 10 * 0.15625, 1e-12);
  // The timer ticks add the clock's advance (and the last drawing time, here none).
  clock += 0.25;
  view.animationForTimer();
  EXPECT_NEAR(view.xMax(), 15, 1e-12);
  EXPECT_NEAR(view.userRect().right(), 15, 1e-12);  // the window range glides too
  EXPECT_NEAR(view.yMin(), -5, 1e-12);
  clock += 0.5;
  view.animationForTimer();
  EXPECT_FALSE(view.animatingZoom());
  EXPECT_FALSE(view.animationTimerActive());
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 20, -10, 10}));

  view.backAction();
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 10, 0, 10}));
  view.forwardAction();
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 20, -10, 10}));
}

TEST_F(SmoothZoomFixture, JumpsWhenItCannotGlide) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  view.setTargetZoomData({0, inf, 0, 10});
  EXPECT_FALSE(view.animatingZoom());
  EXPECT_EQ(view.xMax(), inf);
  view.setZoomData({0, 10, 0, 10});
  view.setTargetZoomData({std::nan(""), 10, 0, 10});
  EXPECT_FALSE(view.animatingZoom());
  EXPECT_TRUE(std::isnan(view.xMin()));
  // Drawing slower than 0.1 s a frame: no animation either.
  view.setZoomData({0, 10, 0, 10});
  view.setLastRenderingTime(0.2);
  view.setTargetZoomData({0, 5, 0, 5});
  EXPECT_FALSE(view.animatingZoom());
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 5, 0, 5}));
  view.backAction();
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 10, 0, 10}));
}

TEST_F(SmoothZoomFixture, CancelWheelAndTimerEndTheGlide) {
  view.setTargetZoomData({0, 20, 0, 20});
  view.updateZoomForTimeDelta(0.5);
  view.cancelZoom();
  EXPECT_FALSE(view.animatingZoom());
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 10, 0, 10}));
  EXPECT_FALSE(view.canGoBack());

  view.setTargetZoomData({0, 20, 0, 20});
  view.updateZoomForTimeDelta(0.5);  // halfway: 0…15
  test::wheel(&view, {100, 100}, 120);
  EXPECT_FALSE(view.animatingZoom());
  // The wheel zoomed from what was on screen, about the pointer at (7.5, 7.5).
  EXPECT_NEAR(view.xMax() - view.xMin(), 15 * std::exp(-0.05), 1e-9);

  view.setTargetZoomData({0, 20, 0, 20});
  view.invalidateAnimationTimer();
  EXPECT_FALSE(view.animationTimerActive());
}

TEST_F(SmoothZoomFixture, ZoomToFitIsDoneOnArrival) {
  view.zoomToFit();
  EXPECT_TRUE(view.animatingZoom());
  EXPECT_EQ(view.fitsDone, 0);
  view.updateZoomForTimeDelta(1.0);
  EXPECT_EQ(view.fitsDone, 1);
  EXPECT_EQ(view.zoomData(), (ZoomData{-100, 100, -100, 100}));
  view.backAction();
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 10, 0, 10}));
}

// Calibration defaults live in the shared defaults: each test puts them back.
struct CalibrationFixture : ::testing::Test {
  static constexpr const char* kKeys[] = {"ZVUseImageCalibration", "ZVImageCalibrationZ", "ZVImageCalibrationY",
                                          "ZVImageCalibrationL",   "ZVImageCalibrationH", "ZVImageCalibrationV",
                                          "ZVImageCalibrationN"};
  void TearDown() override {
    for (const char* k : kKeys) platform::UserDefaults::standard().removeObject(k);
  }
};

TEST_F(CalibrationFixture, PlacesImagePointHVOnUserPointZY) {
  // A 10 × 10 image, red in its upper half and blue in its lower half, on a 100 × 100
  // view of 0…100: one view point per user unit, widget row = 100 − user y.
  QImage image(10, 10, QImage::Format_RGB32);
  image.fill(Qt::blue);
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 10; ++col) image.setPixelColor(col, row, Qt::red);
  struct Case {
    const char* name;
    double z, y, l, h, v, n;
    QPoint red, blue, outside;  // user points
  };
  const Case cases[] = {
      // Corner (0, 0) at (50, 30), twice the size: user 50…70 × 30…50.
      {"corner", 50, 30, 20, 0, 0, 10, {60, 45}, {60, 35}, {45, 35}},
      // Centre (5, 5) at (50, 50), twice the size: user 40…60 × 40…60.
      {"centre", 50, 50, 20, 5, 5, 10, {45, 55}, {45, 45}, {65, 45}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZoomView view;
    view.resize(100, 100);
    view.setIsotropic(false);
    view.setZoomData({0, 100, 0, 100});
    view.setBackgroundColor(Qt::white);
    view.setBackgroundImage(image);
    view.setUseImageCalibration(true);
    view.setImageCalibrationZ(c.z);
    view.setImageCalibrationY(c.y);
    view.setImageCalibrationL(c.l);
    view.setImageCalibrationH(c.h);
    view.setImageCalibrationV(c.v);
    view.setImageCalibrationN(c.n);
    QImage shot = view.grab().toImage();
    auto at = [&](QPoint u) { return shot.pixelColor(u.x(), 100 - u.y()); };
    EXPECT_EQ(at(c.red), QColor(Qt::red));
    EXPECT_EQ(at(c.blue), QColor(Qt::blue));
    EXPECT_EQ(at(c.outside), QColor(Qt::white));  // the uncalibrated cover is suppressed
    EXPECT_EQ(at({2, 98}), QColor(Qt::white));
    view.setUseImageCalibration(false);  // back to covering the view: upper half red
    shot = view.grab().toImage();
    EXPECT_EQ(at({2, 98}), QColor(Qt::red));
  }
}

TEST_F(CalibrationFixture, DefaultsAreReadAtCreationAndWrittenBySetters) {
  auto& defaults = platform::UserDefaults::standard();
  struct Case {
    const char* name;
    double stored;
    bool use;
  };
  // Read as a number: its integer part is the flag.
  const Case cases[] = {{"one", 1, true}, {"fraction-above-one", 1.7, true}, {"fraction-below-one", 0.4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    defaults.setObject("ZVUseImageCalibration", c.stored);
    defaults.setObject("ZVImageCalibrationL", 2.5);
    ZoomView view;
    EXPECT_EQ(view.useImageCalibration(), c.use);
    EXPECT_EQ(view.imageCalibrationL(), 2.5);
  }
  ZoomView view;
  view.setUseImageCalibration(false);
  EXPECT_EQ(defaults.objectForKey("ZVUseImageCalibration").kind(), platform::Value(false).kind());
  view.setImageCalibrationZ(0.1);  // kept in single precision
  EXPECT_EQ(defaults.doubleForKey("ZVImageCalibrationZ"), double(0.1f));
  EXPECT_EQ(view.imageCalibrationZ(), 0.1);
}

TEST_F(CalibrationFixture, RestorationDataHoldsBackgroundAndCalibration) {
  ZoomView view;
  view.setBackgroundColor(QColor::fromRgbF(0.25, 0.5, 0.75));
  view.setUseImageCalibration(true);
  view.setImageCalibrationN(4);
  platform::Dictionary d = view.restorationData();
  for (const char* key : {"backgroundColor", "backgroundImage", "useImageCalibration", "imageCalibrationZ",
                          "imageCalibrationY", "imageCalibrationL", "imageCalibrationH", "imageCalibrationV",
                          "imageCalibrationN"})
    EXPECT_TRUE(d.contains(key)) << key;
  EXPECT_TRUE(d.get("backgroundImage").isNil());
  EXPECT_TRUE(d.get("useImageCalibration").asBool());
  EXPECT_EQ(d.get("imageCalibrationN").asDouble(), 4);
  auto colour = d.get("backgroundColor").asObject<platform::Color>();
  ASSERT_TRUE(colour);
  EXPECT_NEAR(colour->blue(), 0.75, 1e-4);

  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::green);
  view.setBackgroundImage(image);
  platform::Data png = view.restorationData().get("backgroundImage").asData();
  QImage back = QImage::fromData(png.data(), int(png.size()), "PNG");
  EXPECT_EQ(back.size(), QSize(3, 2));
}

TEST(BindingView, RedisplaysOnBoundChangesUntilUnbound) {
  struct CountingView : ActiveMouseView {
    int paints = 0;
    void paintEvent(QPaintEvent* event) override {
      ++paints;
      ActiveMouseView::paintEvent(event);
    }
  } view;
  view.resize(50, 50);
  view.show();
  QApplication::processEvents();
  QTemporaryDir dir;
  auto object = platform::makeObject<platform::UserDefaults>(dir.path().toStdString());
  view.bind("value", object, "watched");
  EXPECT_EQ(view.boundKeyPath("value"), "watched");
  int before = view.paints;
  object->setObject("watched", 1);
  QApplication::processEvents();
  EXPECT_GT(view.paints, before);

  before = view.paints;
  object->setObject("other", 1);  // not bound
  QApplication::processEvents();
  EXPECT_EQ(view.paints, before);

  view.unbind("value");
  object->setObject("watched", 2);
  QApplication::processEvents();
  EXPECT_EQ(view.paints, before);
  EXPECT_FALSE(view.isBound("value"));
}

TEST(DragoutImageView, SizeStringShowsWhileResizing) {
  DragoutImageView view;
  view.resize(50, 40);
  view.show();
  QApplication::processEvents();
  view.setSizeStringVisible(false);
  view.resize(120, 80);
  EXPECT_TRUE(view.sizeStringVisible());
  EXPECT_EQ(view.sizeString(), "120,80");
  EXPECT_TRUE(view.sizeStringTimerActive());  // hides it a second after the last resize
  // A view laid out before it is shown is not being resized by the user.
  DragoutImageView hidden;
  hidden.resize(120, 80);
  EXPECT_FALSE(hidden.sizeStringVisible());
}

}  // namespace
}  // namespace orb::rendering
