// The GL base views' arithmetic and settings, without a GL context: camera boxes,
// animation clock and tumbling, overlay layout, snapshot row order, user defaults and
// model notifications.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QQuaternion>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <thread>

#include "GLTestModel.h"
#include "RecordingGL.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "rendering/BasicOpenGLView.h"
#include "rendering/OpenGLAnimation.h"
#include "rendering/OpenGLArc.h"
#include "rendering/OpenGLCamera.h"
#include "rendering/OpenGLOverlay.h"
#include "rendering/ViewSnapshot.h"

namespace orb::rendering {
namespace {

// ---- camera -----------------------------------------------------------------------------

struct WindowCase {
  const char* name;
  ZoomData zoom;
  double w, h;
  ZoomData expected;
};

TEST(OpenGLCamera, WindowBoxWidensTheZoomBoxToTheViewsAspect) {
  const WindowCase cases[] = {
      // 400 × 200 view on a 2 × 2 box: x scale 200/unit, y 100/unit → x widened to ±2.
      {"wide view", {-1, 1, -1, 1}, 400, 200, {-2, 2, -1, 1}},
      // 200 × 400: y widened to ±2.
      {"tall view", {-1, 1, -1, 1}, 200, 400, {-1, 1, -2, 2}},
      // Matching aspect: unchanged; centre kept off the origin.
      {"matching", {10, 14, 0, 2}, 200, 100, {10, 14, 0, 2}},
      {"off centre wide", {10, 14, 0, 2}, 400, 100, {8, 16, 0, 2}},
      // Zero x span: rx counts as 1, ry = 100/2 → the y branch: half = (50/1)·2/2 = 50.
      {"zero width", {3, 3, -1, 1}, 200, 100, {3, 3, -50, 50}},
      // Both spans zero: the y branch with a zero half-width, which becomes 1.
      {"zero box", {0, 0, 5, 5}, 200, 100, {0, 0, 4, 6}},
  };
  for (const auto& c : cases) {
    const ZoomData got = windowBoxForZoomBox(c.zoom, c.w, c.h);
    EXPECT_DOUBLE_EQ(got.xMin, c.expected.xMin) << c.name;
    EXPECT_DOUBLE_EQ(got.xMax, c.expected.xMax) << c.name;
    EXPECT_DOUBLE_EQ(got.yMin, c.expected.yMin) << c.name;
    EXPECT_DOUBLE_EQ(got.yMax, c.expected.yMax) << c.name;
  }
}

TEST(OpenGLCamera, ViewWithoutAreaKeepsTheZoomBoxFinite) {
  for (auto [w, h] : {std::pair{0.0, 100.0}, {100.0, 0.0}, {0.0, 0.0}}) {
    const ZoomData got = windowBoxForZoomBox({-1, 1, -2, 2}, w, h);
    EXPECT_EQ(got, (ZoomData{-1, 1, -2, 2})) << w << "×" << h;
  }
}

TEST(OpenGLCamera, PixelScaleAndViewPointMapping) {
  const ZoomData window{-2, 2, -1, 1};
  const auto scale = pixelScaleForWindowBox(window, 400, 200);
  EXPECT_DOUBLE_EQ(scale[0], 0.01);
  EXPECT_DOUBLE_EQ(scale[1], 0.01);
  // The bounds' centre is the window's centre; the bottom-left corner its minimum.
  auto p = userPointForViewPoint(window, 0, 0, 400, 200, 200, 100);
  EXPECT_DOUBLE_EQ(p[0], 0);
  EXPECT_DOUBLE_EQ(p[1], 0);
  p = userPointForViewPoint(window, 0, 0, 400, 200, 0, 0);
  EXPECT_DOUBLE_EQ(p[0], -2);
  EXPECT_DOUBLE_EQ(p[1], -1);
  p = userPointForViewPoint(window, 10, 20, 400, 200, 110, 70);
  EXPECT_DOUBLE_EQ(p[0], -1);
  EXPECT_DOUBLE_EQ(p[1], -0.5);
}

TEST(OpenGLCamera, ExchangeDataShorterThanItsFormIsIgnored) {
  const float rotation[4] = {90, 0, 0, 1};
  unsigned char bytes[16];
  std::memcpy(bytes, rotation, 16);
  EXPECT_FALSE(GLRotation::fromBytes(bytes, 15));
  EXPECT_FALSE(GLRotation::fromBytes(nullptr, 16));
  EXPECT_EQ(*GLRotation::fromBytes(bytes, 16), (GLRotation{90, 0, 0, 1}));
  EXPECT_FALSE(centerFromBytes(bytes, 8));
  EXPECT_TRUE(centerFromBytes(bytes, 12));
}

// ---- rim arc --------------------------------------------------------------------------------

TEST(OpenGLArc, SegmentsFollowTheCircleInWholeSteps) {
  struct Case {
    const char* name;
    int n;
    double start, end;
    int segments;
    double firstDegrees, lastDegrees;
  } cases[] = {
      {"quarter in 22.5° steps", 16, 0, 90, 4, 0, 90},
      {"equal angles: full circle", 16, 45, 45, 16, 45, 405},
      {"across zero: one 30° step", 16, 350, 20, 1, 350, 380},
      {"short arc: one step", 16, 0, 10, 1, 0, 10},
      {"uneven span: 100° in 4 steps of 25°", 16, 0, 100, 4, 0, 100},
      {"angles past a turn", 8, 400, 490, 2, 40, 130},
  };
  const double profile[3] = {5, 123, -2};
  for (const auto& c : cases) {
    test::RecordingGL gl;
    openGLArc(gl, c.n, c.start, c.end, profile);
    ASSERT_EQ(gl.primitives.size(), 1u) << c.name;
    const auto& v = gl.primitives[0].vertices;
    ASSERT_EQ(v.size(), 2u * c.segments) << c.name;
    const double a0 = c.firstDegrees * M_PI / 180, a1 = c.lastDegrees * M_PI / 180;
    EXPECT_NEAR(v.front().x, 5 * std::cos(a0), 1e-9) << c.name;
    EXPECT_NEAR(v.front().y, 5 * std::sin(a0), 1e-9) << c.name;
    EXPECT_NEAR(v.back().x, 5 * std::cos(a1), 1e-9) << c.name;
    EXPECT_NEAR(v.back().y, 5 * std::sin(a1), 1e-9) << c.name;
    for (std::size_t i = 0; i < v.size(); ++i) {
      EXPECT_NEAR(std::hypot(v[i].x, v[i].y), 5, 1e-9) << c.name;
      EXPECT_EQ(v[i].z, -2) << c.name;
      if (i % 2 == 1 && i + 1 < v.size()) {
        EXPECT_EQ(v[i], v[i + 1]) << c.name << ": segments join";
      }
    }
  }
  test::RecordingGL none;
  openGLArc(none, 2, 0, 90, profile);
  EXPECT_TRUE(none.primitives.empty());
}

// ---- animation ----------------------------------------------------------------------------

TEST(OpenGLAnimation, TypesInMenuOrder) {
  EXPECT_EQ(animationTypes(), (std::vector<std::string>{"none", "tumble", "object z"}));
}

TEST(OpenGLAnimation, ClockDropsTicksAfterALongGapUntilSwitchedOffAndOn) {
  AnimationClock clock(100);
  EXPECT_NEAR(clock.tick(100.5, true), 0.5, 1e-12);
  // 10.5 s later: no step, and the time is not refreshed, so later ticks fail too.
  EXPECT_LT(clock.tick(111.0, true), 0);
  EXPECT_LT(clock.tick(111.1, true), 0);
  EXPECT_DOUBLE_EQ(clock.time(), 100.5);
  // A tick while not animated refreshes the time; animation then resumes.
  EXPECT_LT(clock.tick(112, false), 0);
  EXPECT_NEAR(clock.tick(112.25, true), 0.25, 1e-12);
}

TEST(OpenGLAnimation, TumbleStepFollowsVelocityAndAcceleration) {
  Tumbler t;
  GLRotation object{0, 1, 0, 0};
  const float dt = 0.5f;  // a·dt·30 = 15·a
  t.step(dt, object);
  // v = v0 + a·dt·30, angle = v·dt·30 (degrees) per axis.
  const float v[3] = {0.3f + 0.003f * 15, 0.1f - 0.005f * 15, 0.2f + 0.004f * 15};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(t.rVel[i], v[i], 1e-6) << i;
    EXPECT_NEAR(t.rRot[i], v[i] * 15, 1e-5) << i;
  }
  // The object rotation is the x turn, then y, then z, composed as quaternions.
  const QQuaternion expected = QQuaternion::fromAxisAndAngle(0, 0, 1, v[2] * 15) *
                               QQuaternion::fromAxisAndAngle(0, 1, 0, v[1] * 15) *
                               QQuaternion::fromAxisAndAngle(1, 0, 0, v[0] * 15);
  QVector3D axis;
  float angle = 0;
  expected.getAxisAndAngle(&axis, &angle);
  EXPECT_NEAR(object.angle, angle, 1e-2);
  EXPECT_NEAR(object.x, axis.x(), 1e-3);
  EXPECT_NEAR(object.y, axis.y(), 1e-3);
  EXPECT_NEAR(object.z, axis.z(), 1e-3);
}

TEST(OpenGLAnimation, VelocityClampsAtOneAndAccelerationTurns) {
  Tumbler t;
  t.rVel = {0.99f, -0.99f, 0.5f};
  t.rAccel = {0.003f, -0.003f, 0.0f};
  GLRotation object;
  t.step(1.0f, object);  // a·dt·30 = ±0.09 passes ±1
  EXPECT_FLOAT_EQ(t.rVel[0], 1);
  EXPECT_FLOAT_EQ(t.rAccel[0], -0.003f);
  EXPECT_FLOAT_EQ(t.rVel[1], -1);
  EXPECT_FLOAT_EQ(t.rAccel[1], 0.003f);
  EXPECT_FLOAT_EQ(t.rVel[2], 0.5f);
  // A full velocity turns 30° per second.
  EXPECT_FLOAT_EQ(t.rRot[0], 30);
  EXPECT_FLOAT_EQ(t.rRot[1], -30);
  // Angles stay within ±360.
  t.rRot = {350, -350, 0};
  t.rVel = {1, -1, 0};
  t.rAccel = {0, 0, 0};
  t.step(1.0f, object);
  EXPECT_FLOAT_EQ(t.rRot[0], 20);
  EXPECT_FLOAT_EQ(t.rRot[1], -20);
}

// ---- overlay ------------------------------------------------------------------------------

TEST(OpenGLOverlay, HelpAloneIsCentredAThirdDown) {
  OverlayInput in;
  in.drawsHelp = true;
  in.width = 401;
  in.height = 300;
  in.helpSize = QSizeF(200, 30);
  in.infoSize = QSizeF(100, 50);
  in.messageSize = QSizeF(80, 18);
  in.time = in.messageTime = 1;
  const auto layout = layoutOverlay(in);
  ASSERT_TRUE(layout.help);
  EXPECT_EQ(*layout.help, QPointF(100, 90));
  EXPECT_FALSE(layout.info);
  EXPECT_FALSE(layout.message);
  EXPECT_FALSE(layout.error);
}

TEST(OpenGLOverlay, InfoBlockAndFadingMessages) {
  OverlayInput in;
  in.drawsInfo = true;
  in.width = 400;
  in.height = 300;
  in.infoSize = QSizeF(150, 60);
  in.messageSize = QSizeF(80, 18);
  in.errorSize = QSizeF(90, 14);
  in.messageTime = 5;
  in.errorTime = 5;
  struct Case {
    double t;
    bool shown;
    double strength;
  } cases[] = {{5, true, 1.0}, {10, true, 0.5}, {14.9, true, 0.01}, {15, false, 0}, {20, false, 0}};
  for (const auto& c : cases) {
    in.time = c.t;
    const auto layout = layoutOverlay(in);
    ASSERT_TRUE(layout.info);
    EXPECT_EQ(*layout.info, QPointF(10, 300 - 60 - 10));
    EXPECT_EQ(layout.message.has_value(), c.shown) << c.t;
    if (!c.shown) continue;
    EXPECT_NEAR(layout.messageStrength, c.strength, 1e-9) << c.t;
    // Without a camera line the first line sits at 13; the error follows the message.
    EXPECT_EQ(*layout.message, QPointF(10, 13));
    ASSERT_TRUE(layout.error);
    EXPECT_EQ(*layout.error, QPointF(10, 13 + 18 + 3));
  }
  in.time = 6;
  in.cameraSize = QSizeF(200, 20);
  const auto withCamera = layoutOverlay(in);
  EXPECT_EQ(*withCamera.camera, QPointF(10, 10));
  EXPECT_EQ(*withCamera.message, QPointF(10, 20 + 3 + 10));
}

// ---- snapshot rows ---------------------------------------------------------------------------

TEST(ViewSnapshot, FlipSwapsRowsAndKeepsTheMiddleOne) {
  // Rows of two bytes plus padding; three rows: the middle stays.
  unsigned char three[] = {1, 1, 0, 2, 2, 0, 3, 3, 0};
  flipRowsInPlace(three, 3, 3);
  EXPECT_EQ(std::vector<unsigned char>(three, three + 9), (std::vector<unsigned char>{3, 3, 0, 2, 2, 0, 1, 1, 0}));
  unsigned char four[] = {1, 2, 3, 4};
  flipRowsInPlace(four, 1, 4);
  EXPECT_EQ(std::vector<unsigned char>(four, four + 4), (std::vector<unsigned char>{4, 3, 2, 1}));
  unsigned char one[] = {7};
  flipRowsInPlace(one, 1, 1);
  EXPECT_EQ(one[0], 7);
}

// ---- the view without drawing -----------------------------------------------------------------

class BasicOpenGLViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<platform::UserDefaults>(dir.path().toStdString());
    defaults->registerDefaultsFromResource();
  }
  QTemporaryDir dir;
  std::unique_ptr<platform::UserDefaults> defaults;
};

TEST_F(BasicOpenGLViewTest, StartsFromTheDefaultsWithTheTimerRunning) {
  BasicOpenGLView view(nullptr, defaults.get());
  EXPECT_EQ(view.worldRotation(), kDefaultWorldRotation);
  EXPECT_TRUE(view.animationTimerIsRunning());
  EXPECT_EQ(view.animationType(), "none");
  EXPECT_FALSE(view.isAnimated());
  EXPECT_TRUE(view.usesLight());
  EXPECT_FALSE(view.usesDisplayList());
  // The factory defaults register the lens view's look: white background, grey ambient light.
  EXPECT_EQ(view.clearColor()->red() + view.clearColor()->green() + view.clearColor()->blue(), 3);
  EXPECT_DOUBLE_EQ(view.ambientColor()->red(), 0.2);
  EXPECT_DOUBLE_EQ(view.diffuseColor()->green(), 158.0 / 255.0);
  // With nothing registered or saved, a view falls back to a black background and white lights.
  QTemporaryDir emptyDir;
  platform::UserDefaults empty(emptyDir.path().toStdString());
  BasicOpenGLView bare(nullptr, &empty);
  EXPECT_EQ(bare.clearColor()->red() + bare.clearColor()->green() + bare.clearColor()->blue(), 0);
  EXPECT_EQ(bare.ambientColor()->red(), 1);
  EXPECT_EQ(view.zoomData(), (ZoomData{-1, 1, -1, 1}));
  EXPECT_EQ(view.depthLimits(), (std::array<double, 2>{-1, 1}));
  view.invalidateAnimationTimer();
  EXPECT_FALSE(view.animationTimerIsRunning());
  EXPECT_EQ(BasicOpenGLView::basicPixelFormat().depthBufferSize(), 16);
  EXPECT_EQ(BasicOpenGLView::basicPixelFormat().profile(), QSurfaceFormat::CompatibilityProfile);
  EXPECT_EQ(BasicOpenGLView::basicPixelFormat().swapInterval(), 1);
}

TEST_F(BasicOpenGLViewTest, SettingsRoundTripThroughTheOpenGLKeys) {
  BasicOpenGLView view(nullptr, defaults.get());
  view.restoreFactoryColors();
  view.setUsesLight(false);
  view.setDrawsHelp(true);
  view.setPolygonModeFront("line");
  view.setPolygonModeBack("point");
  view.setClockwiseIsFront(true);
  view.setEnablesCullFace(true);
  view.setAnimationType("tumble");
  view.setDrawsBoundingBox(true);
  view.saveDefaultColors();
  view.saveDefaultFlags();

  const auto clear = defaults->colorForKey("OpenGL clearColor");
  ASSERT_TRUE(clear);
  EXPECT_DOUBLE_EQ(clear->red(), 0.29);
  EXPECT_DOUBLE_EQ(clear->green(), 0.58);
  EXPECT_DOUBLE_EQ(clear->blue(), 0.73);
  EXPECT_DOUBLE_EQ(defaults->colorForKey("OpenGL lightAmbientColor")->red(), 0.2);
  EXPECT_DOUBLE_EQ(defaults->colorForKey("OpenGL lightDiffuseColor")->green(), 0.62);
  EXPECT_DOUBLE_EQ(defaults->colorForKey("OpenGL lightSpecularColor")->blue(), 1);
  EXPECT_FALSE(defaults->boolForKey("OpenGL usesLight"));
  EXPECT_TRUE(defaults->boolForKey("OpenGL drawsHelp"));
  EXPECT_EQ(defaults->stringForKey("OpenGL polygonModeFront"), "line");
  EXPECT_EQ(defaults->stringForKey("OpenGL polygonModeBack"), "point");
  EXPECT_TRUE(defaults->boolForKey("OpenGL clockwiseIsFront"));
  EXPECT_TRUE(defaults->boolForKey("OpenGL enablesCullFace"));
  EXPECT_EQ(defaults->stringForKey("OpenGL animationType"), "tumble");
  EXPECT_TRUE(defaults->boolForKey("OpenGL isAnimated"));
  EXPECT_TRUE(defaults->boolForKey("OpenGL drawsBoundingBox"));

  BasicOpenGLView restored(nullptr, defaults.get());
  EXPECT_DOUBLE_EQ(restored.clearColor()->blue(), 0.73);
  EXPECT_FALSE(restored.usesLight());
  EXPECT_TRUE(restored.drawsHelp());
  EXPECT_EQ(restored.polygonModeFront(), "line");
  EXPECT_EQ(restored.polygonModeBack(), "point");
  EXPECT_TRUE(restored.clockwiseIsFront());
  EXPECT_TRUE(restored.enablesCullFace());
  EXPECT_EQ(restored.animationType(), "tumble");
  EXPECT_TRUE(restored.isAnimated());
  EXPECT_TRUE(restored.drawsBoundingBox());

  // Factory flags undo it all, and take antialiasing from its stored value.
  defaults->setObject("OpenGL usesAntialiasing", true);
  restored.setDrawsInfo(true);
  restored.restoreFactoryFlags();
  EXPECT_TRUE(restored.usesLight());
  EXPECT_FALSE(restored.drawsHelp());
  EXPECT_FALSE(restored.drawsInfo());
  EXPECT_EQ(restored.polygonModeFront(), "fill");
  EXPECT_EQ(restored.animationType(), "none");
  EXPECT_FALSE(restored.isAnimated());
  EXPECT_TRUE(restored.usesAntialiasing());
  EXPECT_TRUE(restored.needsDisplayListRegeneration());
}

TEST_F(BasicOpenGLViewTest, SizeStringShowsWhileResizingAndHidesASecondLater) {
  BasicOpenGLView view(nullptr, defaults.get());
  int changes = 0;
  view.setSizeStringChangedHandler([&changes] { ++changes; });
  view.resize(300, 200);
  EXPECT_EQ(view.sizeString(), "300,200");
  EXPECT_FALSE(view.sizeStringVisible()) << "a hidden view shows no size";
  view.show();
  view.resize(320, 240);
  EXPECT_EQ(view.sizeString(), "320,240");
  EXPECT_TRUE(view.sizeStringVisible());
  EXPECT_GT(changes, 0);
  view.hideSizeString();
  EXPECT_FALSE(view.sizeStringVisible());
}

TEST_F(BasicOpenGLViewTest, UnknownAnimationTypeCountsAsNone) {
  defaults->setObject("OpenGL animationType", std::string("spin"));
  BasicOpenGLView view(nullptr, defaults.get());
  EXPECT_EQ(view.animationType(), "none");
  EXPECT_FALSE(view.isAnimated());
}

TEST_F(BasicOpenGLViewTest, TimerTickTumblesByTheElapsedStep) {
  BasicOpenGLView view(nullptr, defaults.get());
  double clock = 1000;
  view.setClock([&clock] { return clock; });
  view.setAnimationType("tumble");
  clock += 0.1;
  view.animationForTimer();
  // One step of 0.1 s: angle about x = (0.3 + 0.003·3)·3 = 0.927°, and so on.
  EXPECT_NEAR(view.tumbler().rRot[0], (0.3f + 0.009f) * 3, 1e-5);
  EXPECT_NEAR(view.tumbler().rRot[1], (0.1f - 0.015f) * 3, 1e-5);
  EXPECT_NEAR(view.tumbler().rRot[2], (0.2f + 0.012f) * 3, 1e-5);
  EXPECT_GT(view.objectRotation().angle, 0);
  // 10.5 s of silence: nothing moves, now or on the next tick.
  const GLRotation before = view.objectRotation();
  clock += 10.5;
  view.animationForTimer();
  clock += 0.1;
  view.animationForTimer();
  EXPECT_EQ(view.objectRotation(), before);
  // "object z" steps nothing.
  view.setAnimationType("object z");
  clock += 0.1;
  view.animationForTimer();
  clock += 0.1;
  view.animationForTimer();
  EXPECT_EQ(view.objectRotation(), before);
}

TEST_F(BasicOpenGLViewTest, ModelNotificationsActOnlyForTheirOwnModel) {
  BasicOpenGLView view(nullptr, defaults.get());
  auto model = platform::makeObject<test::BoxModel>();
  auto other = platform::makeObject<test::BoxModel>();
  view.setModel(model);
  EXPECT_DOUBLE_EQ(view.extents()->xMax(), 1);

  model->throwsOnExtents = true;
  auto& center = platform::NotificationCenter::defaultCenter();
  center.post("modelChangedNotification", other->reference());
  center.post("modelChangedNotification", platform::Value(std::shared_ptr<platform::Object>(other)));
  EXPECT_DOUBLE_EQ(view.extents()->xMax(), 1) << "another model changes nothing";

  // Its own model, by reference: the extents are asked again and fail → the ±100 cube.
  center.post("modelChangedNotification", model->reference());
  EXPECT_DOUBLE_EQ(view.extents()->xMax(), 100);
  EXPECT_DOUBLE_EQ(view.extents()->zMin(), -100);
  EXPECT_TRUE(view.needsDisplayListRegeneration());

  // From a worker thread the change waits for the view's own thread.
  model->throwsOnExtents = false;
  std::thread([&] { center.post("modelChangedNotification", model->reference()); }).join();
  EXPECT_DOUBLE_EQ(view.extents()->xMax(), 100);
  QCoreApplication::processEvents();
  EXPECT_DOUBLE_EQ(view.extents()->xMax(), 1);

  const auto options = view.optionsDictionary();
  EXPECT_FALSE(options.get("drawsBoundingBox").asBool());
  EXPECT_TRUE(options.get("polygonsAreOpaque").asBool());
}

TEST_F(BasicOpenGLViewTest, ContrastColourAndIgnoredShortPayloads) {
  BasicOpenGLView view(nullptr, defaults.get());
  view.setClearColor(platform::Color::make(0.5, 0.5, 0.5));  // sum exactly 1.5 → white
  EXPECT_EQ(view.colorHavingGoodContrastAgainstBackground()->red(), 1);
  view.setClearColor(platform::Color::make(0.5, 0.5, 0.51));
  EXPECT_EQ(view.colorHavingGoodContrastAgainstBackground()->red(), 0);

  view.setZoomData({-3, 3, -2, 2});
  const auto bytes = ZoomData{0, 1, 0, 1}.bytes();
  view.setZoomDataBytes(bytes.data(), 31);
  view.setZoomDataBytes(nullptr, 32);
  EXPECT_EQ(view.zoomData(), (ZoomData{-3, 3, -2, 2}));
  view.setZoomDataBytes(bytes.data(), 32);
  EXPECT_EQ(view.zoomData(), (ZoomData{0, 1, 0, 1}));

  const float centre[3] = {1, 2, 3};
  unsigned char c[12];
  std::memcpy(c, centre, 12);
  view.setWorldCenterData(c, 8);
  EXPECT_EQ(view.worldCenter(), (std::array<float, 3>{0, 0, 0}));
  view.setWorldCenterData(c, 12);
  EXPECT_EQ(view.worldCenter(), (std::array<float, 3>{1, 2, 3}));
}

}  // namespace
}  // namespace orb::rendering
