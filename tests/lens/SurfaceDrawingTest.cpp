#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/Extents.h"
#include "lens/ArchiveClasses.h"
#include "lens/CircularAperture.h"
#include "lens/Elbow.h"
#include "lens/LightPipe.h"
#include "lens/Surface.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfaceTilted.h"
#include "platform/Value.h"

// Sags by hand: a sphere of radius R at height r has sag R − √(R² − r²).

namespace orb::lens {
namespace {

using foundation::XYZ;
using geometry::DrawMode;

struct Recorder : geometry::DrawingSink {
  std::vector<std::pair<DrawMode, std::vector<XYZ>>> primitives;
  void begin(DrawMode mode) override { primitives.push_back({mode, {}}); }
  void normal(const XYZ&) override {}
  void vertex(const XYZ& p) override { primitives.back().second.push_back(p); }
  void end() override {}
  std::size_t count(DrawMode mode, std::size_t perItem) const {
    std::size_t n = 0;
    for (const auto& [m, v] : primitives)
      if (m == mode) n += v.size() / perItem;
    return n;
  }
};

std::shared_ptr<Surface> sphere(double radius, double semidiameter) {
  auto s = Surface::create();
  s->setCurvature(1 / radius);
  s->setSemidiameter(semidiameter);
  return s;
}

TEST(SurfaceDrawingTest, ProfilesSampleWhatIsThere) {
  // A plane: two points, from the inner radius of a centred annulus.
  auto plane = Surface::create();
  plane->setSemidiameter(8);
  plane->setAperture(CircularAperture::annulusWithMinRadius(3, 8));
  const auto p = plane->shapeSequence();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].x, 3);
  EXPECT_EQ(p[1].x, 8);

  // A sphere whose semidiameter passes its radius is sampled up to the radius only.
  const auto s = sphere(5, 9)->shapeSequence();
  ASSERT_GE(s.size(), 3u);
  EXPECT_EQ(s.front().x, 0);
  EXPECT_NEAR(s.back().x, 5, 1e-12);
  EXPECT_NEAR(s.back().z, 5, 1e-9);
  const auto& mid = s[s.size() / 2];
  EXPECT_NEAR(mid.z, 5 - std::sqrt(25 - mid.x * mid.x), 1e-12);

  // An asphere of curvature 0 but an r² term is still curved.
  auto asphere = Surface::create<SurfaceAsphere>();
  asphere->setSemidiameter(4);
  asphere->setValueForKey("a2", 0.01);
  const auto a = asphere->shapeSequence();
  ASSERT_GT(a.size(), 2u);
  EXPECT_NEAR(a.back().z, 0.16, 1e-12);
}

TEST(SurfaceDrawingTest, ExtentsOfAxisymmetricAndTiltedSurfaces) {
  // R 50 at semidiameter 10: sag 50 − √2400 = 1.0102051.
  const auto e = sphere(50, 10)->extents();
  EXPECT_NEAR(e->xMin(), -10, 1e-12);
  EXPECT_NEAR(e->yMax(), 10, 1e-12);
  EXPECT_NEAR(e->zMin(), 0, 1e-12);
  EXPECT_NEAR(e->zMax(), 1.0102051, 1e-7);
  const auto back = sphere(-50, 10)->extents();
  EXPECT_NEAR(back->zMin(), -1.0102051, 1e-7);
  EXPECT_NEAR(back->zMax(), 0, 1e-12);

  // A tilted plane z = 0.1·y spans its rim only: y ±10 gives z ±1.
  auto tilted = Surface::create<SurfaceTilted>();
  tilted->setSemidiameter(10);
  tilted->setValueForKey("tiltY", 0.1);
  const auto t = tilted->extents();
  EXPECT_NEAR(t->zMin(), -1, 1e-12);
  EXPECT_NEAR(t->zMax(), 1, 1e-12);
  EXPECT_NEAR(t->xMax(), 10, 1e-12);
}

TEST(SurfaceDrawingTest, SweptSolidFollowsTheOptions) {
  auto plane = Surface::create();
  plane->setSemidiameter(5);
  struct Case {
    platform::Dictionary options;
    std::size_t quads, boxLines, rimPoints;
  };
  const std::vector<Case> cases{
      {{}, 16, 0, 17},
      {{{"drawAlsoReversed", true}}, 32, 0, 17},
      {{{"drawBoundingBox", true}, {"numberOfSegmentsPerRevolution", 8}}, 8, 12, 9},
      // A quarter: 90° in steps of 360/16.
      {{{"phiMin", 0}, {"phiMax", 90}}, 4, 0, 5},
      {{{"numberOfSegmentsPerRevolution", 2}}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Recorder r;
    plane->drawUsingOpenGL(r, c.options);
    EXPECT_EQ(r.count(DrawMode::Quads, 4), c.quads) << c.options.description();
    EXPECT_EQ(r.count(DrawMode::Lines, 2), c.boxLines) << c.options.description();
    EXPECT_EQ(r.count(DrawMode::LineStrip, 1), c.rimPoints) << c.options.description();
  }
  // The rim lies at the semidiameter.
  Recorder r;
  plane->drawUsingOpenGL(r);
  for (const auto& [mode, v] : r.primitives)
    if (mode == DrawMode::LineStrip)
      for (const XYZ& q : v) EXPECT_NEAR(std::hypot(q.x, q.y), 5, 1e-12);
}

TEST(SurfaceDrawingTest, PlanarProfilesAndTheirHalves) {
  auto s = sphere(20, 6);
  PlanarBezierPath upper, lower, plane;
  s->appendHalfToPath(upper, {}, false, true, false);
  s->appendHalfToPath(lower, {}, false, false, true);
  ASSERT_EQ(upper.elements().size(), 101u);
  EXPECT_EQ(upper.elements().front().op, PlanarBezierPath::Op::Move);
  EXPECT_EQ(upper.elements()[1].op, PlanarBezierPath::Op::Line);
  // (z, t): the upper half runs 0 → 6, the lower one backwards from 0 to −6.
  EXPECT_NEAR(upper.elements().back().point.y, 6, 1e-12);
  EXPECT_NEAR(upper.elements().back().point.x, 20 - std::sqrt(400 - 36), 1e-12);
  EXPECT_NEAR(lower.elements().front().point.y, 0, 1e-12);
  EXPECT_NEAR(lower.elements().back().point.y, -6, 1e-12);
  auto flat = Surface::create();
  flat->setSemidiameter(3);
  flat->appendHalfToPath(plane, {1, 0, 0, 1, 7, 0}, true, true, false);
  ASSERT_EQ(plane.elements().size(), 4u);
  EXPECT_NEAR(plane.elements().back().point.x, 7, 0);  // shifted by the transform
}

TEST(SurfaceDrawingTest, PipesDrawTheirOwnOutline) {
  registerArchiveClasses();
  struct Painter : Painter2D {
    std::vector<PlanarBezierPath> stroked;
    void saveGraphicsState() override {}
    void restoreGraphicsState() override {}
    void concat(const PlanarAffineTransform&) override {}
    void setColor(const std::shared_ptr<const platform::Color>&) override {}
    void stroke(const PlanarBezierPath& p) override { stroked.push_back(p); }
    void fill(const PlanarBezierPath&) override {}
    void fillCircle(foundation::XY, double) override {}
    void strokeCircle(foundation::XY, double) override {}
    void strokePath(const PlanarPath&, double) override {}
    void fillSquare(foundation::XY, double) override {}
  };
  Painter painter;
  EXPECT_FALSE(sphere(10, 2)->entityDrawZY(painter, {}));
  auto round = Surface::create<LightPipe>();
  round->setValueForKey("nside", 0.0);
  round->setThickness(30);
  EXPECT_TRUE(round->entityDrawZY(painter, {}));
  ASSERT_EQ(painter.stroked.size(), 1u);
  EXPECT_EQ(painter.stroked[0].elements().size(), 8u);  // four segments
  auto elbow = Surface::create<Elbow>();
  EXPECT_TRUE(elbow->entityDrawZX(painter, {}));
  const auto box = elbow->extents();
  EXPECT_NEAR(box->zMin(), 0, 1e-12);
  EXPECT_NEAR(box->zMax(), 110 * std::sin(10 * std::acos(-1) / 180), 1e-9);
  EXPECT_NEAR(box->yMin(), -10, 1e-12);
}

// A tapered square pipe as DXF: four wall quads and two end faces of two triangles, every
// corner on the square of the inscribed radius at its end (1 at the entrance, 2 at the exit).
TEST(SurfaceDrawingTest, PipesWriteTheirSolidAsFaces) {
  registerArchiveClasses();
  struct Faces : geometry::DxfSink {
    std::vector<std::pair<int, std::vector<XYZ>>> primitives;
    void dxfBegin(int mode) override { primitives.push_back({mode, {}}); }
    void dxfVertex(double x, double y, double z) override { primitives.back().second.push_back({x, y, z}); }
    void dxfEnd() override {}
  };
  auto pipe = Surface::create<LightPipe>();
  pipe->setValueForKey("nside", 4.0);
  pipe->setValueForKey("rin", 1.0);
  pipe->setValueForKey("rout", 2.0);
  pipe->setThickness(10);
  Faces faces;
  pipe->dxfWithOptions(faces);
  int quads = 0, triangles = 0;
  for (const auto& [mode, corners] : faces.primitives) {
    (mode == geometry::DxfSink::kFourCornerFaces ? quads : triangles) += 1;
    for (const XYZ& c : corners) {
      const double half = c.z == 0 ? 1 : 2;
      EXPECT_TRUE(c.z == 0 || std::fabs(c.z - 10) < 1e-12);
      EXPECT_NEAR(std::fabs(c.x), half, 1e-12);
      EXPECT_NEAR(std::fabs(c.y), half, 1e-12);
    }
  }
  EXPECT_EQ(quads, 4);
  EXPECT_EQ(triangles, 4);

  // The elbow writes the quads it draws.
  auto elbow = Surface::create<Elbow>();
  Faces elbowFaces;
  elbow->dxfWithOptions(elbowFaces);
  Recorder drawn;
  elbow->drawUsingOpenGL(drawn);
  std::size_t written = 0;
  for (const auto& [mode, corners] : elbowFaces.primitives) written += corners.size() / 4;
  EXPECT_GT(written, 0u);
  EXPECT_EQ(written, drawn.count(DrawMode::Quads, 4));
}

}  // namespace
}  // namespace orb::lens
