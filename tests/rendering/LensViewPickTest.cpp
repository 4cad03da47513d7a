// Picking in the 3-D lens view with a real GL context (Mesa under Xvfb): of two
// overlapping quads the nearer is picked whatever the drawing order, empty space picks
// nothing, and a picked surface becomes the rotation centre without moving the picture.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QApplication>
#include <QOffscreenSurface>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "foundation/objects/GLObject.h"
#include "geometry/values/Extents.h"
#include "platform/Object.h"
#include "platform/UserDefaults.h"
#include "rendering/OBOpenGL.h"

namespace orb::rendering {
namespace {

struct Quad : foundation::GLObject {
  std::string name;
  double x0, x1, z;
  Quad(std::string n, double a, double b, double depth) : name(std::move(n)), x0(a), x1(b), z(depth) {}
  std::string description() const override { return name; }
};

/// Two quads across y ∈ [−0.5, 0.5]: "far" over x ∈ [−0.8, 0.2] at z = −0.5 and "near" over
/// x ∈ [−0.2, 0.8] at z = +0.5, drawn in the order given. "near" counts as a surface.
class QuadModel : public platform::Object, public PickableOpenGLModel {
 public:
  std::shared_ptr<Quad> farQuad = std::make_shared<Quad>("far", -0.8, 0.2, -0.5);
  std::shared_ptr<Quad> nearQuad = std::make_shared<Quad>("near", -0.2, 0.8, 0.5);
  bool nearFirst = false;

  void drawUsingOpenGL(const platform::Dictionary&) override {
    glDisable(GL_LIGHTING);
    for (const auto& q : nearFirst ? std::vector{nearQuad, farQuad} : std::vector{farQuad, nearQuad}) {
      loadOpenGLSelectionName(q->nameForOpenGL(q));
      glColor3f(1, 0, 0);
      glBegin(GL_QUADS);
      glVertex3d(q->x0, -0.5, q->z);
      glVertex3d(q->x1, -0.5, q->z);
      glVertex3d(q->x1, 0.5, q->z);
      glVertex3d(q->x0, 0.5, q->z);
      glEnd();
      loadOpenGLSelectionName(0);
    }
  }
  std::shared_ptr<geometry::Extents> extents() const override {
    return geometry::Extents::extentsWithCenter({0, 0, 0}, 1);
  }
  std::recursive_mutex& drawingMutex() override { return mutex; }
  PickedObjectInfo infoForPickedObject(const foundation::GLObject& object) const override {
    PickedObjectInfo info;
    info.description = object.description();
    if (&object == nearQuad.get()) {
      info.isSurface = true;
      info.origin = {0.3, 0, 0.5};
      info.extents = geometry::Extents::extentsWithCenter({0.3, 0, 0.5}, 0.5);
    }
    return info;
  }
  std::recursive_mutex mutex;
};

class LensViewPickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!BasicOpenGLView::contextAvailable()) GTEST_SKIP() << "no OpenGL context on this display";
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<platform::UserDefaults>(dir.path().toStdString());
    view = std::make_unique<OBOpenGL>(nullptr, defaults.get());
    view->setModel(model);
    view->resize(400, 400);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->setWorldRotation({0, 1, 0, 0});  // looking down −z: larger z is nearer
    view->setZoomData({-1, 1, -1, 1});
    view->setDepthLimits(-10, 10);
    QApplication::processEvents();
  }
  /// The widget point (y down) over the model point (x, y) with the ±1 box in 400 × 400.
  static QPoint widgetPoint(double x, double y) { return QPoint(int(200 + 200 * x), int(200 - 200 * y)); }
  std::uint32_t pickAt(double x, double y) { return view->pick(200 + 200 * x, 200 + 200 * y); }

  QTemporaryDir dir;
  std::unique_ptr<platform::UserDefaults> defaults;
  std::shared_ptr<QuadModel> model = platform::makeObject<QuadModel>();
  std::unique_ptr<OBOpenGL> view;
};

TEST_F(LensViewPickTest, TheNearerOfTwoOverlappingQuadsIsPickedAndEmptySpacePicksNothing) {
  for (bool nearFirst : {false, true}) {
    model->nearFirst = nearFirst;
    view->setNeedsDisplayListRegeneration();
    const auto nearName = model->nearQuad->nameForOpenGL(model->nearQuad);
    const auto farName = model->farQuad->nameForOpenGL(model->farQuad);
    EXPECT_EQ(pickAt(0, 0), nearName) << "overlap, near drawn first: " << nearFirst;
    EXPECT_EQ(pickAt(-0.6, 0.2), farName) << "far quad alone";
    EXPECT_EQ(pickAt(0.6, -0.2), nearName) << "near quad alone";
    EXPECT_EQ(pickAt(0, 0.9), 0u) << "above both";
    EXPECT_EQ(pickAt(-0.95, 0), 0u) << "left of both";
  }
  EXPECT_FALSE(openGLIsPicking()) << "the flag is only up while the model draws for a pick";
}

TEST_F(LensViewPickTest, PickingASurfaceCentresRotationOnItAndShowsItsDescription) {
  EXPECT_EQ(view->selectAt(widgetPoint(0.5, 0.9)), nullptr);
  EXPECT_FALSE(view->popover());
  EXPECT_FALSE(view->rotationCenterIsLocked());

  // A ray-like object: shown, the centre stays.
  auto picked = view->selectAt(widgetPoint(-0.6, 0));
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->description(), "far");
  EXPECT_FALSE(view->rotationCenterIsLocked());
  ASSERT_TRUE(view->popover());
  EXPECT_TRUE(view->popover()->isVisible());

  view->setWorldRotation({30, 1, 0, 0});
  view->setDepthLimits(-10, 10);
  const auto before = view->zoomData();
  picked = view->selectAt(widgetPoint(0.6, 0));
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->description(), "near");
  EXPECT_TRUE(view->rotationCenterIsLocked());
  EXPECT_EQ(view->rotationCenter(), (std::array<float, 3>{0.3f, 0, 0.5f}));
  EXPECT_EQ(view->zoomToFitComment(), "near");
  EXPECT_DOUBLE_EQ(view->extentsForZoomToFit()->xMin(), -0.2);
  EXPECT_NE(view->zoomData().yMin, before.yMin) << "the box follows the new centre";
  // Still the same object under the same pixel: the picture has not moved.
  EXPECT_EQ(view->selectAt(widgetPoint(0.6, 0)), picked);
  EXPECT_EQ(view->lastPickedObject(), picked);
}

TEST_F(LensViewPickTest, AClickInSelectModePicksAndTheReleaseClosesThePopupSoonAfter) {
  view->setMouseMode(BasicOpenGLView::kSelectMode);
  QTest::mousePress(view.get(), Qt::LeftButton, {}, widgetPoint(0, 0));
  ASSERT_TRUE(view->lastPickedObject());
  EXPECT_EQ(view->lastPickedObject()->description(), "near");
  QPointer<QWidget> popup = view->popover();
  ASSERT_TRUE(popup);
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, widgetPoint(0, 0));
  EXPECT_TRUE(popup) << "still up right after the release";
  EXPECT_TRUE(QTest::qWaitFor([&] { return popup.isNull(); }, 2000));

  // The second click of a double click picks nothing: the first one has.
  const QPointF farPoint = widgetPoint(-0.6, 0);
  QMouseEvent second(QEvent::MouseButtonDblClick, farPoint, view->mapToGlobal(farPoint), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view.get(), &second);
  ASSERT_TRUE(view->lastPickedObject());
  EXPECT_EQ(view->lastPickedObject()->description(), "near");
  QMouseEvent release(QEvent::MouseButtonRelease, farPoint, view->mapToGlobal(farPoint), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(view.get(), &release);
}

TEST_F(LensViewPickTest, AFreedObjectIsNeverFoundAgain) {
  const auto name = model->nearQuad->nameForOpenGL(model->nearQuad);
  ASSERT_EQ(pickAt(0.6, 0), name);
  model->nearQuad = std::make_shared<Quad>("near again", -0.2, 0.8, 0.5);
  EXPECT_FALSE(foundation::GLObject::glObjectForName(name));
  view->setNeedsDisplayListRegeneration();
  const auto again = pickAt(0.6, 0);
  EXPECT_NE(again, name);
  ASSERT_TRUE(foundation::GLObject::glObjectForName(again));
  EXPECT_EQ(foundation::GLObject::glObjectForName(again)->description(), "near again");
}

}  // namespace
}  // namespace orb::rendering
