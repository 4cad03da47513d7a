#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geometry/values/DrawingSink.h"
#include "geometry/values/Extents.h"
#include "lens/ArchiveClasses.h"
#include "lens/CircularAperture.h"
#include "lens/Elbow.h"
#include "lens/LightPipe.h"
#include "lens/Surface.h"
#include "lens/AspectAperture.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfaceConicY.h"
#include "lens/SurfacePoly.h"
#include "lens/SurfaceTilted.h"
#include "lens/SurfaceToric.h"
#include "lens/SurfaceZernikeSag.h"
#include "platform/Value.h"

// Sags by hand: a sphere of radius R at height r has sag R − √(R² − r²).

namespace orb::lens {
namespace {

using foundation::XYZ;
using geometry::DrawMode;

struct Recorder : geometry::DrawingSink {
  std::vector<std::pair<DrawMode, std::vector<XYZ>>> primitives;
  std::vector<XYZ> normals;  // the normal current at each primitive's start
  XYZ currentNormal{0, 0, 0};
  std::vector<XYZ> colors;
  std::vector<std::string> state;  // line widths and lighting, in order
  void begin(DrawMode mode) override {
    primitives.push_back({mode, {}});
    normals.push_back(currentNormal);
  }
  void normal(const XYZ& n) override { currentNormal = n; }
  void vertex(const XYZ& p) override { primitives.back().second.push_back(p); }
  void end() override {}
  void color(const XYZ& rgb) override { colors.push_back(rgb); }
  void lineWidth(double w) override { state.push_back("width " + std::to_string(static_cast<int>(w))); }
  void setLighting(bool on) override { state.push_back(on ? "lit" : "unlit"); }
  std::size_t primitivesOf(DrawMode mode) const {
    std::size_t n = 0;
    for (const auto& [m, v] : primitives) n += m == mode;
    return n;
  }
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
    // A plane's profile starts on the axis: one triangle per step.
    EXPECT_EQ(r.primitivesOf(DrawMode::Polygon), c.quads) << c.options.description();
    // The box's twelve edges: two loops of four and four joining lines.
    EXPECT_EQ(r.count(DrawMode::Lines, 2) + r.count(DrawMode::LineLoop, 1), c.boxLines) << c.options.description();
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

// --- free-form meshes -------------------------------------------------------------------------------

std::shared_ptr<SurfacePoly> polynomial(double xMin, double xMax, double yMin, double yMax,
                                        const std::vector<std::pair<std::string, double>>& terms) {
  auto s = Surface::create<SurfacePoly>();
  s->setValueForKey("xMin", xMin);
  s->setValueForKey("xMax", xMax);
  s->setValueForKey("yMin", yMin);
  s->setValueForKey("yMax", yMax);
  for (const auto& [title, c] : terms) s->setValueForKey(title, c);
  return s;
}

// The box is the rectangle and the mesh's sag range, whatever the semidiameter (the rim
// circle has nothing to do with a polynomial patch); the drawing is the 15 × 15 cells and
// the four edges, all on the rectangle.
TEST(SurfaceDrawingTest, PolynomialIsBoxedAndDrawnOverItsRectangle) {
  struct Case {
    const char* name;
    std::shared_ptr<SurfacePoly> s;
    double semidiameter;
    double zMin, zMax;  // by hand
  };
  // z = 0.1 x² + 0.2 y on x 0…4, y 1…3: lowest 0.2 at (0, 1), highest 2.2 at (4, 3).
  const std::vector<Case> cases{
      {"constant 0.5 on the default rectangle", polynomial(-1, 1, -2, 2, {{"x0y0", 0.5}}), 5, 0.5, 0.5},
      {"off-centre, semidiameter 0", polynomial(0, 4, 1, 3, {{"x2y0", 0.1}, {"x0y1", 0.2}}), 0, 0.2, 2.2},
      {"off-centre, semidiameter 10", polynomial(0, 4, 1, 3, {{"x2y0", 0.1}, {"x0y1", 0.2}}), 10, 0.2, 2.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.s->setSemidiameter(c.semidiameter);
    const auto e = c.s->extents();
    EXPECT_EQ(e->xMin(), c.s->xMin());
    EXPECT_EQ(e->xMax(), c.s->xMax());
    EXPECT_EQ(e->yMin(), c.s->yMin());
    EXPECT_EQ(e->yMax(), c.s->yMax());
    EXPECT_NEAR(e->zMin(), c.zMin, 1e-12);
    EXPECT_NEAR(e->zMax(), c.zMax, 1e-12);

    for (const bool reversed : {false, true}) {
      Recorder r;
      c.s->drawUsingOpenGL(r, {{"drawAlsoReversed", reversed}});
      EXPECT_EQ(r.count(DrawMode::Polygon, 4), reversed ? 450u : 225u);
      EXPECT_EQ(r.count(DrawMode::LineStrip, 16), 4u);
      for (std::size_t k = 0; k < r.primitives.size(); ++k) {
        const bool back = k >= 225 && r.primitives[k].first == DrawMode::Polygon;
        if (r.primitives[k].first == DrawMode::Polygon) {
          EXPECT_EQ(r.normals[k].z > 0, !back) << k;
        }
        for (const XYZ& p : r.primitives[k].second) {
          EXPECT_TRUE(p.x >= c.s->xMin() && p.x <= c.s->xMax() && p.y >= c.s->yMin() && p.y <= c.s->yMax());
          EXPECT_NEAR(p.z, c.s->sagAtQ({p.x, p.y}), 1e-12);
        }
      }
    }
  }
  // The first cell of the off-centre patch, corner by corner.
  Recorder r;
  cases[1].s->drawUsingOpenGL(r);
  const double dx = 4.0 / 15, dy = 2.0 / 15;
  const auto sag = [](double x, double y) { return 0.1 * x * x + 0.2 * y; };
  const std::vector<XYZ> first{{0, 1, sag(0, 1)}, {dx, 1, sag(dx, 1)}, {dx, 1 + dy, sag(dx, 1 + dy)},
                               {0, 1 + dy, sag(0, 1 + dy)}};
  ASSERT_EQ(r.primitives[0].second.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(r.primitives[0].second[k].x, first[k].x, 1e-15);
    EXPECT_NEAR(r.primitives[0].second[k].y, first[k].y, 1e-15);
    EXPECT_NEAR(r.primitives[0].second[k].z, first[k].z, 1e-15);
  }
  // Edits rebuild the mesh.
  cases[1].s->setValueForKey("x0y0", 1.0);
  EXPECT_NEAR(cases[1].s->extents()->zMax(), 3.2, 1e-12);
}

TEST(SurfaceDrawingTest, PolynomialWritesItsCellsAndEdgesAsDxf) {
  struct Faces : geometry::DxfSink {
    std::vector<std::pair<int, std::vector<XYZ>>> primitives;
    void dxfBegin(int mode) override { primitives.push_back({mode, {}}); }
    void dxfVertex(double x, double y, double z) override { primitives.back().second.push_back({x, y, z}); }
    void dxfEnd() override {}
  };
  auto s = polynomial(0, 4, 1, 3, {{"x1y1", 0.05}});
  for (const bool reversed : {false, true}) {
    Faces f;
    s->dxfWithOptions(f, {{"drawAlsoReversed", reversed}});
    int quads = 0, strips = 0;
    for (const auto& [mode, corners] : f.primitives) {
      if (mode == geometry::DxfSink::kFourCornerFaces) {
        ++quads;
        EXPECT_EQ(corners.size(), 4u);
      }
      if (mode == geometry::DxfSink::kLineStrip) {
        ++strips;
        EXPECT_EQ(corners.size(), 16u);
      }
      for (const XYZ& p : corners) EXPECT_NEAR(p.z, 0.05 * p.x * p.y, 1e-12);
    }
    EXPECT_EQ(quads, reversed ? 450 : 225);
    EXPECT_EQ(strips, 4);
  }
}

// The planar section is the rectangle's part of each half axis (none below the axis for
// x 0…4, y 1…3), cut where an aperture blocks; each piece of an aperture's cut starts anew.
TEST(SurfaceDrawingTest, PolynomialSectionsFollowTheRectangleAndTheAperture) {
  auto s = polynomial(0, 4, 1, 3, {{"x0y1", 0.2}});  // z = 0.2 y on x = 0
  PlanarBezierPath upper, lower;
  s->appendHalfToPath(upper, {}, false, true, false);
  s->appendHalfToPath(lower, {}, false, false, false);
  EXPECT_TRUE(lower.empty());
  ASSERT_EQ(upper.elements().size(), 101u);
  EXPECT_EQ(upper.elements().front().point, (foundation::XY{0.2, 1}));  // (z, y)
  EXPECT_NEAR(upper.elements().back().point.x, 0.6, 1e-15);
  EXPECT_EQ(upper.elements().back().point.y, 3);

  // An obscuration over y 1.5 … 2.5 splits the section in two, each starting with a move.
  auto band = RectangularObscuration::apertureWithXRadius(10, 0.5);
  band->setDecenterY(2);
  s->setAperture(band);
  PlanarBezierPath cut;
  s->appendHalfToPath(cut, {}, false, true, false);
  ASSERT_EQ(cut.elements().size(), 202u);
  EXPECT_EQ(cut.elements()[0].op, PlanarBezierPath::Op::Move);
  EXPECT_EQ(cut.elements()[101].op, PlanarBezierPath::Op::Move);
  EXPECT_EQ(cut.elements()[100].point.y, 1.5);
  EXPECT_EQ(cut.elements()[101].point.y, 2.5);
  // Backwards: the far piece first, each from its far end.
  PlanarBezierPath back;
  s->appendHalfToPath(back, {}, false, true, true);
  ASSERT_EQ(back.elements().size(), 202u);
  EXPECT_EQ(back.elements()[0].point.y, 3);
  EXPECT_EQ(back.elements()[101].point.y, 1.5);
}

// Sag by hand for one Zernike term over R = 10, asphere flat, semidiameter 5 (ρ ≤ 0.5):
// A4 √3 (2ρ² − 1) is lowest at the centre, inside the rim, which a rim-only box misses;
// A2 · 2ρ cos φ tilts the patch in x.
TEST(SurfaceDrawingTest, ZernikeMeshBoxesTheDepartureInsideTheRim) {
  const double s3 = std::sqrt(3.0);
  struct Case {
    const char* term;
    double a;
    double zMin, zMax;
  };
  for (const Case& c : {Case{"A4", 0.5, -0.5 * s3, 0.5 * s3 * (2 * 0.25 - 1)}, Case{"A2", 0.1, -0.1, 0.1}}) {
    SCOPED_TRACE(c.term);
    auto s = Surface::create<SurfaceZernikeSag>();
    s->setValueForKey("R", 10.0);
    s->setValueForKey(c.term, c.a);
    s->setSemidiameter(5);
    const auto e = s->extents();
    EXPECT_NEAR(e->zMin(), c.zMin, 1e-12);
    EXPECT_NEAR(e->zMax(), c.zMax, 1e-12);
    EXPECT_NEAR(e->xMin(), -5, 1e-12);
    EXPECT_NEAR(e->xMax(), 5, 1e-12);
    EXPECT_NEAR(e->yMax(), 5, 1e-12);

    const auto m = s->meshData();
    EXPECT_EQ(m.meshX.at(0, 0), 0);                  // the centre
    EXPECT_NEAR(m.meshX.at(15, 0), 5, 1e-15);        // the rim at φ = 0
    EXPECT_NEAR(m.meshY.at(15, 15), 0, 1e-12);       // and again at φ = 360
    EXPECT_EQ(m.meshZ.at(15, 0), s->sagAtQ({5, 0}));
  }

  // A quarter: 225 cells and 32 lines, every point in the first quadrant.
  auto s = Surface::create<SurfaceZernikeSag>();
  s->setValueForKey("A4", 0.5);
  s->setSemidiameter(5);
  Recorder r;
  s->drawUsingOpenGL(r, {{"phiMin", 0}, {"phiMax", 90}, {"drawAlsoReversed", true}});
  EXPECT_EQ(r.count(DrawMode::Polygon, 4), 450u);
  EXPECT_EQ(r.count(DrawMode::LineStrip, 16), 32u);
  for (const auto& [mode, v] : r.primitives)
    for (const XYZ& p : v) {
      EXPECT_GE(p.x, -1e-12);
      EXPECT_GE(p.y, -1e-12);
      EXPECT_NEAR(p.z, s->sagAtQ({p.x, p.y}), 1e-12);
    }
}

// --- sections of torics and cylinders -------------------------------------------------------------------

// Each meridian ends at its own limit: the profile's maximum ordinate (a sphere of radius 5
// ends at 5) in the profile's meridian, |Rt| = 8 across it, ∞ across a conic cylinder;
// never beyond the semidiameter 10. The sags by hand: the profile's sphere at 5 is 5; across
// it the sweep circle Rt − √(Rt² − t²) at 8 is 8.
TEST(SurfaceDrawingTest, ToricAndCylinderSectionsStopAtEachMeridiansLimit) {
  auto toricY = Surface::create<SurfaceToricY>();
  auto toricX = Surface::create<SurfaceToricX>();
  for (const auto& s : {std::shared_ptr<Surface>(toricY), std::shared_ptr<Surface>(toricX)}) {
    s->setRadiusOfCurvature(5);
    s->setValueForKey("toricR", 8.0);
    s->setSemidiameter(10);
  }
  auto cylinder = Surface::create<SurfaceConicY>();
  cylinder->setRadiusOfCurvature(5);
  cylinder->setSemidiameter(10);
  struct Case {
    const char* name;
    const Surface* s;
    bool xOriented;
    double end, sagAtEnd;
  };
  const std::vector<Case> cases{
      {"toric Y, y", toricY.get(), false, 5, 5},   {"toric Y, x", toricY.get(), true, 8, 8},
      {"toric X, x", toricX.get(), true, 5, 5},    {"toric X, y", toricX.get(), false, 8, 8},
      {"cylinder, y", cylinder.get(), false, 5, 5}, {"cylinder, x", cylinder.get(), true, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlanarBezierPath upper, lower;
    c.s->appendHalfToPath(upper, {}, c.xOriented, true, false);
    c.s->appendHalfToPath(lower, {}, c.xOriented, false, true);
    ASSERT_EQ(upper.elements().size(), 101u);
    ASSERT_EQ(lower.elements().size(), 101u);
    EXPECT_EQ(upper.elements().front().point, (foundation::XY{0, 0}));
    EXPECT_NEAR(upper.elements().back().point.y, c.end, 1e-12);
    EXPECT_NEAR(upper.elements().back().point.x, c.sagAtEnd, 1e-9);
    // The lower half backwards runs from the axis out to −end.
    EXPECT_NEAR(lower.elements().front().point.y, 0, 1e-12);
    EXPECT_NEAR(lower.elements().back().point.y, -c.end, 1e-12);
  }
}

// Obscurations on a toric leave gaps in its section: a central one of radius 2 the band
// |t| < 2 (each half then starts at its edge), a ring from 4 to 6 a gap inside each half,
// after which the section starts anew with a move.
TEST(SurfaceDrawingTest, ObscurationShowsAsAGapInTheToricSection) {
  auto s = Surface::create<SurfaceToricY>();
  s->setRadiusOfCurvature(20);
  s->setValueForKey("toricR", 30.0);
  s->setSemidiameter(10);
  for (const bool xOriented : {false, true}) {
    SCOPED_TRACE(xOriented);
    // In the profile's meridian (y) the sag is the sphere of radius 20; across, the circle
    // of radius 30.
    const double R = xOriented ? 30 : 20;
    const auto sag = [R](double t) { return R - std::sqrt(R * R - t * t); };

    s->setAperture(CircularObscuration::annulusWithMinRadius(0, 2));
    PlanarBezierPath upper, lower;
    s->appendHalfToPath(upper, {}, xOriented, true, false);  // 2 … 10
    s->appendHalfToPath(lower, {}, xOriented, false, true);  // −2 … −10
    ASSERT_EQ(upper.elements().size(), 101u);
    ASSERT_EQ(lower.elements().size(), 101u);
    EXPECT_EQ(upper.elements()[0].op, PlanarBezierPath::Op::Move);
    EXPECT_EQ(upper.elements()[0].point.y, 2);
    EXPECT_NEAR(upper.elements()[0].point.x, sag(2), 1e-12);
    EXPECT_EQ(upper.elements()[100].point.y, 10);
    EXPECT_EQ(lower.elements()[0].point.y, -2);
    EXPECT_EQ(lower.elements()[100].point.y, -10);
    for (const auto* path : {&upper, &lower})
      for (const auto& e : path->elements()) EXPECT_GE(std::abs(e.point.y), 2);

    s->setAperture(CircularObscuration::annulusWithMinRadius(4, 6));
    PlanarBezierPath ring;
    s->appendHalfToPath(ring, {}, xOriented, true, false);  // 0 … 4, then 6 … 10
    ASSERT_EQ(ring.elements().size(), 202u);
    EXPECT_EQ(ring.elements()[0].point.y, 0);
    EXPECT_EQ(ring.elements()[100].point.y, 4);
    EXPECT_EQ(ring.elements()[101].op, PlanarBezierPath::Op::Move);
    EXPECT_EQ(ring.elements()[101].point.y, 6);
    EXPECT_NEAR(ring.elements()[101].point.x, sag(6), 1e-12);
  }
}

// --- axes ------------------------------------------------------------------------------------------------

TEST(SurfaceDrawingTest, AxesAreDrawnUnlitInTheirColours) {
  Recorder r;
  sphere(30, 5)->drawAxesUsingOpenGL(r, {{"surfaceAxesLength", 4}});
  ASSERT_EQ(r.primitives.size(), 1u);
  EXPECT_EQ(r.primitives[0].first, DrawMode::Lines);
  EXPECT_EQ(r.primitives[0].second,
            (std::vector<XYZ>{{0, 0, 0}, {4, 0, 0}, {0, 0, 0}, {0, 4, 0}, {0, 0, 0}, {0, 0, 4}}));
  EXPECT_EQ(r.colors, (std::vector<XYZ>{{0.7, 0.2, 0.2}, {0.2, 0.7, 0.2}, {0.2, 0.2, 1.0}}));
  EXPECT_EQ(r.state, (std::vector<std::string>{"unlit", "width 2", "width 1", "lit"}));
}

}  // namespace
}  // namespace orb::lens
