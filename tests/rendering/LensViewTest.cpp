// The 3-D lens view without a GL context: the walk over selection hit records, the
// drawing options of a fresh view and the rotation-centre lock.
#include <gtest/gtest.h>

#include <QMatrix4x4>
#include <QTemporaryDir>

#include "geometry/values/Extents.h"
#include "platform/UserDefaults.h"
#include "rendering/OBOpenGL.h"

namespace orb::rendering {
namespace {

TEST(LensViewSelection, NearestHitIsTheSmallestMinimumDepthEarlierOnTies) {
  struct Case {
    const char* what;
    std::vector<std::uint32_t> buffer;
    int hits;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"no hits", {}, 0, 0},
      {"one hit", {1, 50, 60, 7}, 1, 7},
      {"nearer later record wins", {1, 90, 95, 3, 1, 20, 30, 4}, 2, 4},
      {"farther later record loses", {1, 20, 30, 3, 1, 90, 95, 4}, 2, 3},
      {"tie keeps the earlier", {1, 20, 30, 3, 1, 20, 25, 4}, 2, 3},
      {"record without names is skipped", {0, 1, 2, 1, 40, 50, 9}, 2, 9},
      {"first name 0 counts as nothing", {1, 10, 20, 0, 1, 80, 90, 5}, 2, 5},
      {"several names: the first counts", {2, 30, 40, 6, 8, 1, 50, 60, 2}, 2, 6},
      // Depths are unsigned: 0xF0000000 is far, not negative.
      {"depths compare unsigned", {1, 0xF0000000u, 0xF0000001u, 1, 1, 5, 6, 2}, 2, 2},
      {"record past the buffer ends the walk", {1, 50, 60, 7, 3, 1, 2}, 2, 7},
  };
  for (const Case& c : cases)
    EXPECT_EQ(nearestNameInSelectionBuffer(c.buffer.data(), c.buffer.size(), c.hits), c.expected) << c.what;
}

class LensViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<platform::UserDefaults>(dir.path().toStdString());
    view = std::make_unique<OBOpenGL>(nullptr, defaults.get());
    view->resize(400, 400);
  }
  QTemporaryDir dir;
  std::unique_ptr<platform::UserDefaults> defaults;
  std::unique_ptr<OBOpenGL> view;
};

TEST_F(LensViewTest, FreshViewHandsItsModelTheLensOptions) {
  const platform::Dictionary options = view->optionsDictionary();
  EXPECT_EQ(options.size(), 6u);
  EXPECT_EQ(options.get("numberOfSegmentsPerRevolution").asInt(), 16);
  EXPECT_EQ(options.get("phiMin").asDouble(), 0);
  EXPECT_EQ(options.get("phiMax").asDouble(), 360);
  EXPECT_FALSE(options.get("drawsSurfaceAxes").asBool());
  EXPECT_EQ(options.get("surfaceAxesLength").asDouble(), 0);
  EXPECT_EQ(options.get("drawsBoundingBox").asBool(), view->drawsBoundingBox());
  EXPECT_EQ(options.find(platform::Value("polygonsAreOpaque")), nullptr);
  EXPECT_TRUE(view->usesDisplayList());
  // A left drag turns a new view.
  EXPECT_EQ(view->mouseMode(), BasicOpenGLView::kRotateMode);

  view->setPhiMin(90);
  view->setPhiMax(180);
  view->restoreFullRevolved();
  EXPECT_EQ(view->phiMin(), 0);
  EXPECT_EQ(view->phiMax(), 360);
  view->setNumberOfRadialSegments(12);
  EXPECT_EQ(defaults->integerForKey("numberOfRadialSegments"), 12);
  EXPECT_EQ(view->turnSequence(), (std::vector<std::string>{"ZY", "ZX", "XY"}));
}

TEST_F(LensViewTest, RotationCentreMovesWithoutMovingThePicture) {
  view->setZoomData({-1, 1, -1, 1});
  view->setWorldRotation({30, 1, 0, 0});
  // The projection of a model point: the rotation about the centre, then the zoom box.
  auto projected = [&](const std::array<double, 3>& p) {
    const auto c = view->rotationCenter();
    QMatrix4x4 m;
    m.translate(c[0], c[1], c[2]);
    const auto& w = view->worldRotation();
    m.rotate(w.angle, w.x, w.y, w.z);
    m.translate(-c[0], -c[1], -c[2]);
    const QVector3D e = m.map(QVector3D(float(p[0]), float(p[1]), float(p[2])));
    const auto z = view->zoomData();
    return std::array<double, 2>{(e.x() - z.xMin) / (z.xMax - z.xMin), (e.y() - z.yMin) / (z.yMax - z.yMin)};
  };
  const std::array<double, 3> point{0.3, -0.2, 0.7};
  const auto before = projected(point);
  view->setRotationCenter({0.5, 0.4, 2.0});
  const auto after = projected(point);
  EXPECT_NEAR(after[0], before[0], 1e-6);
  EXPECT_NEAR(after[1], before[1], 1e-6);
  EXPECT_TRUE(view->rotationCenterIsLocked());
  EXPECT_EQ(view->rotationCenterDataForWorldCenterData({9, 9, 9}), (std::array<float, 3>{0.5f, 0.4f, 2.0f}));

  view->setZoomToFitExtents(geometry::Extents::extentsWithCenter({0.5, 0.4, 2}, 0.1), "s3");
  EXPECT_DOUBLE_EQ(view->extentsForZoomToFit()->xMax(), 0.6);
  // Select mode chosen again: back to the world centre and the whole model.
  view->setMouseMode(BasicOpenGLView::kSelectMode);
  view->mouseModeStress();
  EXPECT_FALSE(view->rotationCenterIsLocked());
  EXPECT_EQ(view->zoomToFitComment(), "");
  EXPECT_EQ(view->rotationCenterDataForWorldCenterData({9, 9, 9}), (std::array<float, 3>{9, 9, 9}));
}

}  // namespace
}  // namespace orb::rendering
