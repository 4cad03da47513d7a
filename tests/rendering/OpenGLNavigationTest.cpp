// The GL views' mouse modes, gestures, zooming, scrolling, orientation presets, back/forward
// history and glides, driven through their event handlers without a GL context.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "GLTestModel.h"
#include "ViewTestSupport.h"
#include "foundation/linear/Quaternion.h"
#include "platform/UserDefaults.h"
#include "rendering/GLViewHistory.h"
#include "rendering/SmoothOpenGLView.h"

namespace orb::rendering {
namespace {

using test::click;
using test::sendMouse;
using foundation::Quaternion;
using foundation::XYZ;

// ---- history ------------------------------------------------------------------------------

// A value with a target setter that records its inverse, as the views' setters do.
struct Recorded {
  GLViewHistory history;
  int value = 0;
  void setTarget(int v) {
    const int previous = value;
    history.record([this, previous] { setTarget(previous); });
    value = v;
  }
};

TEST(GLViewHistory, StepsOfOnePassGoBackTogetherAndForwardAgain) {
  Recorded r;
  r.setTarget(1);
  r.history.endGrouping();
  r.setTarget(2);
  r.setTarget(3);  // same pass as 2: one step
  r.history.setActionName("Zoom to fit");
  r.history.endGrouping();
  EXPECT_EQ(r.history.undoCount(), 2u);
  EXPECT_EQ(r.history.undoActionName(), "Zoom to fit");
  r.history.undo();
  EXPECT_EQ(r.value, 1);
  EXPECT_EQ(r.history.redoActionName(), "Zoom to fit");
  r.history.undo();
  EXPECT_EQ(r.value, 0);
  EXPECT_FALSE(r.history.canUndo());
  r.history.redo();
  EXPECT_EQ(r.value, 1);
  r.history.redo();
  EXPECT_EQ(r.value, 3);
  EXPECT_FALSE(r.history.canRedo());
  // A new change after going back drops the forward steps.
  r.history.undo();
  r.setTarget(7);
  EXPECT_FALSE(r.history.canRedo());
}

TEST(GLViewHistory, KeepsTheNewestHundredSteps) {
  Recorded r;
  for (int i = 1; i <= 130; ++i) {
    r.setTarget(i);
    r.history.endGrouping();
  }
  EXPECT_EQ(r.history.undoCount(), GLViewHistory::kLevels);
  while (r.history.canUndo()) r.history.undo();
  EXPECT_EQ(r.value, 30);
}

// ---- views --------------------------------------------------------------------------------

class NavigationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<platform::UserDefaults>(dir.path().toStdString());
    defaults->registerDefaultsFromResource();
  }
  // A square view on the ±1 box: 200 points per unit... 0.005 units per point.
  template <class View>
  std::unique_ptr<View> makeView() {
    auto view = std::make_unique<View>(nullptr, defaults.get());
    view->resize(400, 400);
    view->setZoomData({-1, 1, -1, 1});
    view->invalidateAnimationTimer();
    view->setClock([this] { return clock; });
    view->animationForTimer();  // the animation clock starts from the test's clock
    return view;
  }
  // Steps the view's timer until its glides end (at most `limit` ticks of 1/60 s).
  static void runGlides(SmoothOpenGLView& view, double& clock, int limit = 200) {
    for (int i = 0; i < limit && (view.animatingWorldRotation() || view.animatingZoom() || view.animatingWorldCenter());
         ++i) {
      clock += 1.0 / 60;
      view.animationForTimer();
    }
  }
  void endPass(BasicOpenGLView& view) { view.backManager().endGrouping(); }

  QTemporaryDir dir;
  std::unique_ptr<platform::UserDefaults> defaults;
  double clock = 1000;
};

Quaternion q(const GLRotation& r) { return quaternionOf(r); }

// Whether two rotations turn every vector alike (quaternions equal up to sign).
::testing::AssertionResult sameRotation(const GLRotation& a, const GLRotation& b, double tolerance = 1e-4) {
  const Quaternion p = q(a), r = q(b);
  const double dot = p.w * r.w + p.x * r.x + p.y * r.y + p.z * r.z;
  if (std::abs(std::abs(dot) - 1) < tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.angle << "° about " << a.x << "," << a.y << "," << a.z << ") vs ("
                                       << b.angle << "° about " << b.x << "," << b.y << "," << b.z << ")";
}

TEST_F(NavigationTest, ModifierKeysSwitchModesWhileHeld) {
  auto view = makeView<BasicOpenGLView>();
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  struct Case {
    Qt::KeyboardModifiers held;
    int mode;
    bool temporary;
  };
  const Case cases[] = {
      {Qt::AltModifier, BasicOpenGLView::kZoomMode, true},
      {Qt::ControlModifier, BasicOpenGLView::kPanMode, true},
      // Both together keep the present mode, marked temporary.
      {Qt::AltModifier | Qt::ControlModifier, BasicOpenGLView::kRotateMode, true},
      // Shift and the command key belong to the gestures and menus.
      {Qt::ShiftModifier, BasicOpenGLView::kRotateMode, false},
      {Qt::MetaModifier, BasicOpenGLView::kRotateMode, false},
  };
  for (const auto& c : cases) {
    view->flagsChanged(c.held);
    EXPECT_EQ(view->mouseMode(), c.mode) << int(c.held);
    EXPECT_EQ(view->mouseModeIsTemporary(), c.temporary) << int(c.held);
    view->flagsChanged(Qt::NoModifier);
    EXPECT_EQ(view->mouseMode(), BasicOpenGLView::kRotateMode);
    EXPECT_FALSE(view->mouseModeIsTemporary());
  }
}

TEST_F(NavigationTest, ModeMenuChecksThePresentMode) {
  auto view = makeView<BasicOpenGLView>();
  QMenu menu("Mode");
  for (int tag = 0; tag <= 5; ++tag) {
    QAction* item = menu.addAction(QString::number(tag));
    item->setData(tag);
    item->setEnabled(false);
  }
  view->mouseModeActionFromMenuItem(BasicOpenGLView::kPanMode);
  view->menuNeedsUpdate(&menu);
  for (QAction* item : menu.actions()) {
    const int tag = item->data().toInt();
    EXPECT_EQ(item->isEnabled(), tag <= 4) << tag;
    EXPECT_EQ(item->isChecked(), tag == BasicOpenGLView::kPanMode) << tag;
  }
}

TEST_F(NavigationTest, ModifierReleasedDuringADragActsWhenTheDragEnds) {
  auto view = makeView<BasicOpenGLView>();
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  sendMouse(view.get(), QEvent::MouseButtonPress, {200, 200}, Qt::LeftButton, Qt::AltModifier);
  EXPECT_EQ(view->mouseMode(), BasicOpenGLView::kZoomMode);
  view->flagsChanged(Qt::NoModifier);
  EXPECT_EQ(view->mouseMode(), BasicOpenGLView::kZoomMode);
  sendMouse(view.get(), QEvent::MouseButtonRelease, {200, 200}, Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(view->mouseMode(), BasicOpenGLView::kRotateMode);
  // The Alt click zoomed in two times about the centre.
  EXPECT_EQ(view->zoomData(), (ZoomData{-0.5, 0.5, -0.5, 0.5}));
}

// A view whose Control and right button belong to the contextual menu.
class MenuView : public BasicOpenGLView {
 public:
  using BasicOpenGLView::BasicOpenGLView;
  bool disableContextualMenus() const override { return false; }
};

TEST_F(NavigationTest, ContextualMenusTakeControlAndTheRightButton) {
  auto view = makeView<MenuView>();
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  view->flagsChanged(Qt::ControlModifier);
  EXPECT_EQ(view->mouseMode(), BasicOpenGLView::kRotateMode);
  EXPECT_FALSE(view->mouseModeIsTemporary());
  sendMouse(view.get(), QEvent::MouseButtonPress, {200, 200}, Qt::RightButton);
  EXPECT_FALSE(view->mouseIsDown());
  sendMouse(view.get(), QEvent::MouseMove, {300, 200}, Qt::RightButton);
  sendMouse(view.get(), QEvent::MouseButtonRelease, {300, 200}, Qt::RightButton);
  EXPECT_EQ(view->zoomData(), (ZoomData{-1, 1, -1, 1}));
}

TEST_F(NavigationTest, DisabledViewAndStrayDragsDoNothing) {
  auto view = makeView<BasicOpenGLView>();
  view->setWorldRotation({0, 0, 0, 1});
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  view->setMouseEnabled(false);
  click(view.get(), {200, 200}, {300, 200});
  EXPECT_EQ(view->worldRotation(), (GLRotation{0, 0, 0, 1}));
  view->setMouseEnabled(true);
  sendMouse(view.get(), QEvent::MouseMove, {300, 200}, Qt::LeftButton);
  sendMouse(view.get(), QEvent::MouseButtonRelease, {300, 200}, Qt::LeftButton);
  EXPECT_EQ(view->worldRotation(), (GLRotation{0, 0, 0, 1}));
  EXPECT_FALSE(view->canGoBack());
}

TEST_F(NavigationTest, RotateDragTurnsByTheTrackballAngle) {
  // On a ball of radius 200 (half of 400), a drag from the centre by 100 points turns by
  // asin(100/200) = 30° about the axis in the screen plane perpendicular to the drag.
  struct Case {
    const char* name;
    QPointF to;  // widget coordinates, y down
    GLRotation expected;
  };
  const Case cases[] = {
      {"right", {300, 200}, {30, 0, 1, 0}},
      {"up", {200, 100}, {30, -1, 0, 0}},
      {"down-left", {200 - 100 / std::sqrt(2.0), 200 + 100 / std::sqrt(2.0)},
       {30, float(1 / std::sqrt(2.0)), float(-1 / std::sqrt(2.0)), 0}},
  };
  for (const auto& c : cases) {
    auto view = makeView<BasicOpenGLView>();
    view->setWorldRotation({0, 0, 0, 1});
    view->setPresentOrientation("XY");
    view->setMouseMode(BasicOpenGLView::kRotateMode);
    sendMouse(view.get(), QEvent::MouseButtonPress, {200, 200}, Qt::LeftButton);
    sendMouse(view.get(), QEvent::MouseMove, c.to, Qt::LeftButton);
    EXPECT_TRUE(sameRotation(view->trackballRotation(), c.expected, 1e-3)) << c.name;
    EXPECT_EQ(view->worldRotation(), (GLRotation{0, 0, 0, 1})) << c.name;
    EXPECT_EQ(view->presentOrientation(), "") << c.name;
    sendMouse(view.get(), QEvent::MouseButtonRelease, c.to, Qt::LeftButton);
    EXPECT_EQ(view->trackballRotation().angle, 0) << c.name;
    EXPECT_TRUE(sameRotation(view->worldRotation(), c.expected, 1e-3)) << c.name;
    // One step back to where the drag began.
    view->backAction();
    EXPECT_EQ(view->worldRotation(), (GLRotation{0, 0, 0, 1})) << c.name;
  }
}

TEST_F(NavigationTest, DragRotationComposesAfterTheWorldRotation) {
  auto view = makeView<BasicOpenGLView>();
  view->setWorldRotation({90, 0, 0, 1});
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  click(view.get(), {200, 200}, {300, 200});
  // Model x first turns to screen y (world), then the drag about screen y leaves it there.
  const XYZ x = foundation::quaternionRotateVector({1, 0, 0}, q(view->worldRotation()));
  EXPECT_NEAR(x.x, 0, 1e-5);
  EXPECT_NEAR(x.y, 1, 1e-5);
  // Model y turned to screen −x, then 30° about screen y takes it toward +z.
  const XYZ y = foundation::quaternionRotateVector({0, 1, 0}, q(view->worldRotation()));
  EXPECT_NEAR(y.x, -std::cos(M_PI / 6), 1e-5);
  EXPECT_NEAR(y.z, std::sin(M_PI / 6), 1e-5);
}

TEST_F(NavigationTest, LightDragTurnsTheLightNotTheView) {
  auto view = makeView<BasicOpenGLView>();
  view->setWorldRotation({0, 0, 0, 1});
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  sendMouse(view.get(), QEvent::MouseButtonPress, {200, 200}, Qt::MiddleButton);
  sendMouse(view.get(), QEvent::MouseMove, {300, 200}, Qt::MiddleButton);
  sendMouse(view.get(), QEvent::MouseButtonRelease, {300, 200}, Qt::MiddleButton);
  EXPECT_TRUE(sameRotation(view->lightRotation(), {30, 0, 1, 0}, 1e-3));
  EXPECT_EQ(view->worldRotation(), (GLRotation{0, 0, 0, 1}));
  EXPECT_FALSE(view->canGoBack());
  // Mode 4 with the left button reaches the same gesture.
  view->setMouseMode(BasicOpenGLView::kLightMode);
  click(view.get(), {200, 200}, {300, 200});
  EXPECT_TRUE(sameRotation(view->lightRotation(), {60, 0, 1, 0}, 1e-3));
}

TEST_F(NavigationTest, PanFollowsThePointerAndGoesBackInOneStep) {
  auto view = makeView<BasicOpenGLView>();
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  // The right button pans in any mode: 100 points right and 40 up is 0.5 and 0.2 units.
  sendMouse(view.get(), QEvent::MouseButtonPress, {200, 200}, Qt::RightButton);
  sendMouse(view.get(), QEvent::MouseMove, {250, 180}, Qt::RightButton);
  sendMouse(view.get(), QEvent::MouseMove, {300, 160}, Qt::RightButton);
  sendMouse(view.get(), QEvent::MouseButtonRelease, {300, 160}, Qt::RightButton);
  const ZoomData z = view->zoomData();
  EXPECT_NEAR(z.xMin, -1.5, 1e-12);
  EXPECT_NEAR(z.xMax, 0.5, 1e-12);
  EXPECT_NEAR(z.yMin, -1.2, 1e-12);
  EXPECT_NEAR(z.yMax, 0.8, 1e-12);
  // The scroll limits grew to hold the moved box.
  EXPECT_NEAR(view->scrollLimits().xMin, -1.5, 1e-12);
  EXPECT_EQ(view->backManager().undoActionName(), "Pan");
  view->backAction();
  EXPECT_EQ(view->zoomData(), (ZoomData{-1, 1, -1, 1}));
}

TEST_F(NavigationTest, ZoomGestureClicksAndRectangles) {
  auto view = makeView<BasicOpenGLView>();
  view->setMouseMode(BasicOpenGLView::kZoomMode);
  // A click zooms in two times about the point; a Shift click out.
  click(view.get(), {300, 100}, {300, 100});  // the model point (0.5, 0.5)
  EXPECT_EQ(view->zoomData(), (ZoomData{-0.25, 0.75, -0.25, 0.75}));
  click(view.get(), {200, 200}, {200, 200}, Qt::ShiftModifier);  // (0.25, 0.25)
  EXPECT_EQ(view->zoomData(), (ZoomData{-0.75, 1.25, -0.75, 1.25}));
  // A move of two points or less is still a click.
  sendMouse(view.get(), QEvent::MouseButtonPress, {200, 200}, Qt::LeftButton);
  sendMouse(view.get(), QEvent::MouseMove, {202, 198}, Qt::LeftButton);
  EXPECT_FALSE(view->drawsZoomRect());
  sendMouse(view.get(), QEvent::MouseButtonRelease, {202, 198}, Qt::LeftButton);
  EXPECT_NEAR(view->zoomData().xMax - view->zoomData().xMin, 1, 1e-12);
  // A drag shows that rectangle: here x 0.5..1.5, y 0.5..1 in model units.
  view->setZoomData({-1, 1, -1, 1});
  sendMouse(view.get(), QEvent::MouseButtonPress, {300, 100}, Qt::LeftButton);
  sendMouse(view.get(), QEvent::MouseMove, {350, 150}, Qt::LeftButton);
  EXPECT_TRUE(view->drawsZoomRect());
  sendMouse(view.get(), QEvent::MouseMove, {400, 50}, Qt::LeftButton);
  sendMouse(view.get(), QEvent::MouseButtonRelease, {400, 50}, Qt::LeftButton);
  EXPECT_FALSE(view->drawsZoomRect());
  EXPECT_EQ(view->zoomData(), (ZoomData{0.5, 1, 0.5, 0.75}));
  EXPECT_EQ(view->backManager().undoActionName(), "Zoom");
}

TEST_F(NavigationTest, ZoomRectangleEdgeCases) {
  auto view = makeView<BasicOpenGLView>();
  // Zero height: one model unit.
  view->zoom(0, 0.25, 2, 0, false);
  EXPECT_EQ(view->zoomData(), (ZoomData{0, 2, 0.25, 1.25}));
  // Out: the present box (centre (1, 0.75), 2 × 1) shrinks into the rectangle's place.
  // s = max(2/4, 1/2) = 0.5; rectangle centre (2, 1.75).
  view->zoom(0, 0.75, 4, 2, true);
  EXPECT_EQ(view->zoomData(), (ZoomData{1 + (0 - 2) * 0.5, 1 + (2 - 2) * 0.5, 0.75 + (0.25 - 1.75) * 0.5,
                                        0.75 + (1.25 - 1.75) * 0.5}));
  // Zooming out of a box with no width records a step and changes nothing.
  view->setZoomData({3, 3, 0, 1});
  endPass(*view);
  const auto steps = view->backManager().undoCount();
  view->zoom(0, 0, 1, 1, true);
  EXPECT_EQ(view->zoomData(), (ZoomData{3, 3, 0, 1}));
  EXPECT_EQ(view->backManager().undoCount(), steps + 1);
}

TEST_F(NavigationTest, WheelBurstsMakeOneHistoryStepEach) {
  auto view = makeView<BasicOpenGLView>();
  // One notch towards the screen shows exp(−0.05) of the box about the pointer.
  test::wheel(view.get(), {300, 200}, 120);
  const double s = std::exp(-0.05);
  EXPECT_NEAR(view->zoomData().xMin, 0.5 + (-1 - 0.5) * s, 1e-12);
  EXPECT_NEAR(view->zoomData().xMax, 0.5 + (1 - 0.5) * s, 1e-12);
  EXPECT_NEAR(view->zoomData().yMax, s, 1e-12);
  endPass(*view);
  for (int i = 0; i < 9; ++i) {
    clock += 0.03;
    test::wheel(view.get(), {300, 200}, -120);
    endPass(*view);
  }
  EXPECT_EQ(view->backManager().undoCount(), 1u);
  clock += 0.31;
  test::wheel(view.get(), {300, 200}, 120);
  endPass(*view);
  EXPECT_EQ(view->backManager().undoCount(), 2u);
  // Deltas that sum to nothing do nothing.
  const ZoomData before = view->zoomData();
  clock += 1;
  view->scrollWheel(0, 100, 100);
  EXPECT_EQ(view->zoomData(), before);
  EXPECT_EQ(view->backManager().undoCount(), 2u);
  view->backAction();
  view->backAction();
  EXPECT_EQ(view->zoomData(), (ZoomData{-1, 1, -1, 1}));
}

TEST_F(NavigationTest, ScrollersStepWithinTheLimits) {
  using V = BasicOpenGLView;
  struct Case {
    const char* name;
    bool vertical;
    int part;
    double knob;
    double expectedMin, expectedMax;
  };
  // Limits −10..10 in x and y, box −8..−4 in x (width 4), 4..8 in y.
  const Case cases[] = {
      {"page left stops at the limit", false, V::kDecrementPage, 0, -10, -6},
      {"page right", false, V::kIncrementPage, 0, -4, 0},
      {"line left", false, V::kDecrementLine, 0, -8.4, -4.4},
      {"line right", false, V::kIncrementLine, 0, -7.6, -3.6},
      {"knob half way", false, V::kKnob, 0.5, -2, 2},
      {"page up stops at the limit", true, V::kDecrementPage, 0, 6, 10},
      {"page down", true, V::kIncrementPage, 0, 0, 4},
      {"line up", true, V::kDecrementLine, 0, 4.4, 8.4},
      {"knob at the top", true, V::kKnobSlot, 0, 6, 10},
  };
  for (const auto& c : cases) {
    auto view = makeView<BasicOpenGLView>();
    const float limits[6] = {-10, 10, -10, 10, -1, 1};
    view->setExtentsData(reinterpret_cast<const unsigned char*>(limits), sizeof limits);
    view->setZoomData({-8, -4, 4, 8});
    if (c.vertical)
      view->verticalScrollAction(c.part, c.knob);
    else
      view->horizontalScrollAction(c.part, c.knob);
    const ZoomData z = view->zoomData();
    EXPECT_NEAR(c.vertical ? z.yMin : z.xMin, c.expectedMin, 1e-12) << c.name;
    EXPECT_NEAR(c.vertical ? z.yMax : z.xMax, c.expectedMax, 1e-12) << c.name;
  }
}

TEST_F(NavigationTest, ScrollerStateAndScrollBursts) {
  auto view = makeView<BasicOpenGLView>();
  const float limits[6] = {-10, 10, -10, 10, -1, 1};
  view->setExtentsData(reinterpret_cast<const unsigned char*>(limits), sizeof limits);
  view->setZoomData({-8, -4, 4, 8});
  EXPECT_TRUE(view->horizontalScroller().enabled);
  EXPECT_DOUBLE_EQ(view->horizontalScroller().knobProportion, 0.2);
  EXPECT_DOUBLE_EQ(view->horizontalScroller().value, 2.0 / 16);
  EXPECT_DOUBLE_EQ(view->verticalScroller().value, 2.0 / 16);  // from the top
  view->setReverseVerticalScrollAction(true);
  view->adjustVerticalScroller();
  EXPECT_DOUBLE_EQ(view->verticalScroller().value, 14.0 / 16);
  // Steps less than a second apart are one step back.
  for (int i = 0; i < 5; ++i) {
    clock += 0.5;
    view->horizontalScrollAction(BasicOpenGLView::kIncrementLine);
    QCoreApplication::processEvents();
  }
  clock += 1.5;
  view->horizontalScrollAction(BasicOpenGLView::kIncrementLine);
  QCoreApplication::processEvents();
  EXPECT_EQ(view->backManager().undoCount(), 2u);
  EXPECT_EQ(view->backManager().undoActionName(), "Scroll");
  // All of the range in view: the scroller is off and scrolling changes nothing.
  view->setZoomData({-20, 20, -20, 20});
  EXPECT_FALSE(view->horizontalScroller().enabled);
  view->horizontalScrollAction(BasicOpenGLView::kDecrementPage);
  view->verticalScrollAction(BasicOpenGLView::kKnob, 0.3);
  EXPECT_EQ(view->zoomData(), (ZoomData{-20, 20, -20, 20}));
}

TEST_F(NavigationTest, AttachedScrollBarsFollowAndDriveTheBox) {
  auto view = makeView<BasicOpenGLView>();
  QScrollBar horizontal(Qt::Horizontal), vertical(Qt::Vertical);
  const float limits[6] = {-10, 10, -10, 10, -1, 1};
  view->setExtentsData(reinterpret_cast<const unsigned char*>(limits), sizeof limits);
  view->attachScrollBars(&horizontal, &vertical);
  view->setZoomData({-8, -4, 4, 8});
  // The knob covers a fifth of the bar: page / (range + page) = 0.2.
  const double proportion = double(horizontal.pageStep()) / (horizontal.maximum() + horizontal.pageStep());
  EXPECT_NEAR(proportion, 0.2, 1e-3);
  EXPECT_NEAR(double(horizontal.value()) / horizontal.maximum(), 2.0 / 16, 1e-3);
  EXPECT_TRUE(horizontal.isEnabled());
  horizontal.triggerAction(QAbstractSlider::SliderPageStepAdd);
  QCoreApplication::processEvents();
  EXPECT_EQ(view->zoomData().xMin, -4);
  EXPECT_NEAR(double(horizontal.value()) / horizontal.maximum(), 6.0 / 16, 1e-3);
  vertical.triggerAction(QAbstractSlider::SliderSingleStepAdd);  // down: lower y
  QCoreApplication::processEvents();
  EXPECT_NEAR(view->zoomData().yMax, 7.6, 1e-12);
}

TEST_F(NavigationTest, OrientationPresetsPutTheirAxesAcrossAndUp) {
  // Each preset named "AB" shows model axis A to the right and model axis B upwards.
  auto view = makeView<BasicOpenGLView>();
  const auto axis = [](char c) -> XYZ {
    return c == 'X' ? XYZ{1, 0, 0} : c == 'Y' ? XYZ{0, 1, 0} : XYZ{0, 0, 1};
  };
  for (std::string name : {"XY", "YZ", "ZX", "XZ", "ZY", "YX"}) {
    view->orient(name);
    EXPECT_EQ(view->presentOrientation(), name);
    const Quaternion r = q(view->worldRotation());
    const XYZ across = foundation::quaternionRotateVector(axis(name[0]), r);
    const XYZ up = foundation::quaternionRotateVector(axis(name[1]), r);
    EXPECT_NEAR(across.x, 1, 1e-6) << name;
    EXPECT_NEAR(up.y, 1, 1e-6) << name;
  }
  view->orient("nonsense");
  EXPECT_EQ(view->presentOrientation(), "YX");
  view->orientXY90();
  EXPECT_EQ(view->worldRotation(), (GLRotation{90, 0, 0, 1}));
}

TEST_F(NavigationTest, TurnSequenceWrapsAndStartsOverAfterADrag) {
  auto view = makeView<BasicOpenGLView>();
  EXPECT_EQ(view->orientationFollowing("XY"), "YZ");
  EXPECT_EQ(view->orientationFollowing("YZ"), "XZ");
  EXPECT_EQ(view->orientationFollowing("XZ"), "ZX");
  EXPECT_EQ(view->orientationFollowing("ZX"), "YX");
  EXPECT_EQ(view->orientationFollowing("YX"), "XY");
  EXPECT_EQ(view->orientationFollowing("ZY"), "XY");
  EXPECT_EQ(view->orientationFollowing(""), "XY");
  view->orient("XZ");
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  click(view.get(), {200, 200}, {260, 230});
  EXPECT_EQ(view->presentOrientation(), "");
  // Choosing rotate a second time turns, from the event loop.
  view->mouseModeAction();
  view->mouseModeAction();
  QCoreApplication::processEvents();
  EXPECT_EQ(view->presentOrientation(), "XY");
  EXPECT_EQ(view->worldRotation(), (GLRotation{0, 0, 0, 1}));
}

TEST_F(NavigationTest, ZoomToFitEnclosesTheTurningModelInOneStep) {
  auto view = makeView<BasicOpenGLView>();
  auto model = std::make_shared<test::BoxModel>();  // the ±1 cube
  view->setModel(model);
  view->setZoomData({5, 6, 5, 6});
  endPass(*view);
  view->setMouseMode(BasicOpenGLView::kZoomMode);
  view->mouseModeAction();
  view->mouseModeAction();  // zoom chosen again: fit
  const double r = std::sqrt(3.0);
  EXPECT_NEAR(view->zoomData().xMin, -r, 1e-12);
  EXPECT_NEAR(view->zoomData().yMax, r, 1e-12);
  EXPECT_EQ(view->scrollLimits(), view->zoomData());
  EXPECT_NEAR(view->depthLimits()[1], 100 * model->extents()->radius(), 1e-9);
  EXPECT_EQ(view->backManager().undoActionName(), "Zoom to fit");
  view->backAction();
  EXPECT_EQ(view->zoomData(), (ZoomData{5, 6, 5, 6}));
  // After an immediate fit there is nothing to go back to.
  view->immediateZoomToFit();
  EXPECT_FALSE(view->canGoBack());
  EXPECT_FALSE(view->suspendsUntilZoomToFit());
}

// ---- glides ---------------------------------------------------------------------------------

TEST(Glide, SmoothstepEasesInAndOut) {
  EXPECT_DOUBLE_EQ(smoothstep(0), 0);
  EXPECT_DOUBLE_EQ(smoothstep(0.5), 0.5);
  EXPECT_DOUBLE_EQ(smoothstep(1), 1);
  EXPECT_DOUBLE_EQ(smoothstep(0.25), 0.15625);
}

TEST(Glide, RotationTakesTheShortWay) {
  struct Case {
    GLRotation from, to;
    double angle;  // magnitude of the glide
  };
  const Case cases[] = {
      {{350, 0, 0, 1}, {10, 0, 0, 1}, 20},
      {{10, 0, 0, 1}, {350, 0, 0, 1}, 20},
      {{0, 0, 0, 1}, {190, 1, 0, 0}, 170},
      {{45, 0, 1, 0}, {45, 0, 1, 0}, 0},
  };
  for (const auto& c : cases) {
    const GLRotation g = glideRotation(c.from, c.to);
    EXPECT_NEAR(std::abs(g.angle), c.angle, 1e-3) << c.from.angle << "→" << c.to.angle;
    // The full glide lands on the target.
    EXPECT_TRUE(sameRotation(rotationAlongGlide(q(c.from), g, g.angle), c.to));
  }
}

TEST_F(NavigationTest, GlideFrom350To10PassesThrough20Degrees) {
  auto view = makeView<SmoothOpenGLView>();
  view->setWorldRotation({350, 0, 0, 1});
  view->setTargetWorldRotation({10, 0, 0, 1});
  EXPECT_TRUE(view->animatingWorldRotation());
  EXPECT_NEAR(std::abs(view->worldEigenRotationFullAngle()), 20, 1e-3);
  // Every intermediate orientation is a turn about z within 20° of the start.
  double largest = 0;
  int ticks = 0;
  while (view->animatingWorldRotation() && ticks < 200) {
    clock += 1.0 / 60;
    view->animationForTimer();
    ++ticks;
    const Quaternion rel = foundation::quaternionDivide(q(view->worldRotation()), q({350, 0, 0, 1}));
    const double travelled = 2 * std::acos(std::min(1.0, std::abs(rel.w))) * 180 / M_PI;
    largest = std::max(largest, travelled);
  }
  EXPECT_NEAR(ticks, 60, 1);
  EXPECT_LE(largest, 20 + 1e-3);
  EXPECT_GT(largest, 19);
  EXPECT_EQ(view->worldRotation(), (GLRotation{10, 0, 0, 1}));
}

TEST_F(NavigationTest, RepeatingTheGlidingTargetChangesNothing) {
  auto view = makeView<SmoothOpenGLView>();
  view->setWorldRotation({0, 0, 0, 1});
  view->setTargetWorldRotation({90, 1, 0, 0});
  clock += 0.25;
  view->animationForTimer();
  const GLRotation midway = view->worldRotation();
  const auto steps = view->backManager().undoCount();
  view->setTargetWorldRotation({90, 1, 0, 0});
  EXPECT_EQ(view->backManager().undoCount(), steps);
  EXPECT_EQ(view->worldRotation(), midway);
  // s(0.25) = 0.15625 of the way.
  EXPECT_TRUE(sameRotation(midway, {float(90 * 0.15625), 1, 0, 0}));
  runGlides(*view, clock);
  EXPECT_EQ(view->worldRotation(), (GLRotation{90, 1, 0, 0}));
}

TEST_F(NavigationTest, FourRightArrowsComeBackToTheStart) {
  auto view = makeView<SmoothOpenGLView>();
  const GLRotation start = view->worldRotation();  // the default three-quarter view
  for (int i = 0; i < 4; ++i) {
    view->keyDown(Qt::Key_Right);
    clock += 0.05;
    view->animationForTimer();
  }
  runGlides(*view, clock);
  EXPECT_TRUE(sameRotation(view->worldRotation(), start));
  // One press is a quarter turn about the screen's y axis, after the present orientation.
  view->keyDown(Qt::Key_Right);
  runGlides(*view, clock);
  const Quaternion expected = foundation::quaternionMultiply(q({90, 0, 1, 0}), q(start));
  EXPECT_TRUE(sameRotation(view->worldRotation(), rotationOf(expected)));
  view->keyDown(Qt::Key_Home);
  runGlides(*view, clock);
  EXPECT_TRUE(sameRotation(view->worldRotation(), {0, 0, 0, 1}));
}

TEST_F(NavigationTest, ZoomGlideEasesBothBoxesAndTheWheelTakesOver) {
  auto view = makeView<SmoothOpenGLView>();
  view->resize(800, 400);
  view->setZoomData({-1, 1, -1, 1});
  EXPECT_EQ(view->windowBox(), (ZoomData{-2, 2, -1, 1}));
  view->setTargetZoomData({0, 2, 0, 2});
  EXPECT_TRUE(view->animatingZoom());
  EXPECT_EQ(view->activeZoomData(), (ZoomData{0, 2, 0, 2}));
  clock += 0.5;
  view->animationForTimer();
  // Half way on the curve: the mean of the start and end boxes, window boxes alike.
  EXPECT_EQ(view->zoomData(), (ZoomData{-0.5, 1.5, -0.5, 1.5}));
  EXPECT_EQ(view->windowBox(), (ZoomData{-1.5, 2.5, -0.5, 1.5}));
  // The wheel zooms from there and the glide is over.
  view->scrollWheel(1, 400, 200);
  EXPECT_FALSE(view->animatingZoom());
  const ZoomData wheeled = view->zoomData();
  EXPECT_NEAR(wheeled.yMax - wheeled.yMin, 2 * std::exp(-0.05), 1e-12);
  clock += 0.6;
  view->animationForTimer();
  EXPECT_EQ(view->zoomData(), wheeled);
}

TEST_F(NavigationTest, DragsTakeOverFromRunningGlides) {
  auto view = makeView<SmoothOpenGLView>();
  view->setWorldRotation({0, 0, 0, 1});
  view->setMouseMode(BasicOpenGLView::kRotateMode);
  view->setTargetWorldRotation({90, 1, 0, 0});
  clock += 0.5;
  view->animationForTimer();
  const GLRotation midway = view->worldRotation();
  click(view.get(), {200, 200}, {300, 200});
  clock += 1;
  view->animationForTimer();
  // The drag's 30° about y follows the half-way orientation and stays.
  const Quaternion expected = foundation::quaternionMultiply(q({30, 0, 1, 0}), q(midway));
  EXPECT_TRUE(sameRotation(view->worldRotation(), rotationOf(expected), 1e-3));
  // A pan during a zoom glide moves the intermediate box, which then stays.
  view->setTargetZoomData({0, 2, 0, 2});
  clock += 0.5;
  view->animationForTimer();
  sendMouse(view.get(), QEvent::MouseButtonPress, {200, 200}, Qt::RightButton);
  sendMouse(view.get(), QEvent::MouseMove, {300, 200}, Qt::RightButton);
  sendMouse(view.get(), QEvent::MouseButtonRelease, {300, 200}, Qt::RightButton);
  clock += 1;
  view->animationForTimer();
  EXPECT_FALSE(view->animatingZoom());
  EXPECT_NEAR(view->zoomData().xMin, -0.5 - 0.5, 1e-12);
  EXPECT_NEAR(view->zoomData().yMin, -0.5, 1e-12);
}

TEST_F(NavigationTest, UnboundedZoomTargetJumps) {
  auto view = makeView<SmoothOpenGLView>();
  view->setTargetZoomData({-INFINITY, 1, -1, 1});
  EXPECT_FALSE(view->animatingZoom());
  EXPECT_EQ(view->zoomData().xMin, -INFINITY);
}

TEST_F(NavigationTest, SmoothFitGlidesAndGoesBackInOneStep) {
  auto view = makeView<SmoothOpenGLView>();
  auto model = std::make_shared<test::BoxModel>();
  view->setModel(model);
  const float centre[3] = {4, 4, 0};
  view->setWorldCenterData(reinterpret_cast<const unsigned char*>(centre), sizeof centre);
  view->setZoomData({5, 6, 5, 6});
  endPass(*view);
  view->zoomToFit();
  EXPECT_TRUE(view->animatingZoom());
  EXPECT_TRUE(view->animatingWorldCenter());
  runGlides(*view, clock);
  EXPECT_EQ(view->worldCenter(), (std::array<float, 3>{0, 0, 0}));
  EXPECT_EQ(view->rotationCenter(), (std::array<float, 3>{0, 0, 0}));
  EXPECT_NEAR(view->zoomData().xMax, std::sqrt(3.0), 1e-12);
  endPass(*view);
  EXPECT_EQ(view->backManager().undoCount(), 1u);
  view->backAction();
  runGlides(*view, clock);
  EXPECT_EQ(view->zoomData(), (ZoomData{5, 6, 5, 6}));
  EXPECT_EQ(view->worldCenter(), (std::array<float, 3>{4, 4, 0}));
  view->forwardAction();
  runGlides(*view, clock);
  EXPECT_NEAR(view->zoomData().xMax, std::sqrt(3.0), 1e-12);
}

TEST_F(NavigationTest, CancelledZoomGoesBackToTheBoxBeforeIt) {
  auto view = makeView<SmoothOpenGLView>();
  view->setTargetZoomData({0, 2, 0, 2});
  clock += 0.3;
  view->animationForTimer();
  view->cancelZoom();
  runGlides(*view, clock);
  EXPECT_EQ(view->zoomData(), (ZoomData{-1, 1, -1, 1}));
}

}  // namespace
}  // namespace orb::rendering
