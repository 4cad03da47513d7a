#include "analysis/LayoutCalculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <unistd.h>

#include "DxfReading.h"
#include "RayAnalysisTestSupport.h"
#include "geometry/values/Extents.h"
#include "interchange/DxfWriter.h"
#include "lens/CircularAperture.h"
#include "lens/SurfaceTilted.h"
#include "materials/Glass.h"
#include "platform/Color.h"

// The singlet below is worked by hand: R1 = 50, R2 = −50, d = 5, n = 1.5 gives
// f = 50.847 and a back focus of 49.15; sags at 10 are ±(50 − √2400) = ±1.0102051.

namespace orb::analysis {
namespace {

using testing::drainMainLoop;
using testing::pumpUntil;
using testing::TestDocument;

constexpr double kInf = std::numeric_limits<double>::infinity();

std::shared_ptr<lens::Surface> surface(double radius, double thickness) {
  auto s = lens::Surface::create();
  if (radius != 0) s->setCurvature(1 / radius);
  s->setThickness(thickness);
  return s;
}

std::shared_ptr<materials::Glass> coloured(double n, double r, double g, double b) {
  auto glass = materials::Glass::glassWithIndex(n);
  glass->setColor(platform::Color::make(r, g, b));
  return glass;
}

// Object at infinity, then `inner` (glasses set by the caller), then the image plane.
LensPtr lensOf(const std::vector<std::shared_ptr<lens::Surface>>& inner) {
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  lens->insertInSurfaces(surface(0, kInf));
  for (const auto& s : inner) lens->insertInSurfaces(s);
  lens->insertInSurfaces(surface(0, 0));
  lens->setStopSurface(inner.front());
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(20);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  for (const auto& s : inner) s->setSemidiameterForGUI(10);
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);
  return lens;
}

LensPtr singlet() {
  auto s1 = surface(50, 5), s2 = surface(-50, 49.15);
  s1->setGlass(coloured(1.5, 0.2, 0.4, 0.8));
  return lensOf({s1, s2});
}

struct Traced {
  std::shared_ptr<TestDocument> document;
  std::shared_ptr<LayoutCalculator> calculator = platform::makeObject<LayoutCalculator>();
  std::shared_ptr<OBCalculatorUpdater> updater;
  std::unique_ptr<LensBuffer> buffer;
  explicit Traced(LensPtr lens) {
    drainMainLoop();
    document = platform::makeObject<TestDocument>(std::move(lens));
    updater = OBCalculatorUpdater::make(calculator);
  }
  ~Traced() {
    buffer.reset();
    updater.reset();
    calculator.reset();
    drainMainLoop();
  }
  bool run() {
    if (!buffer) buffer = std::make_unique<LensBuffer>(document, calculator);
    document->postLensIsReady();
    return settle();
  }
  bool settle() {
    return pumpUntil([&] {
      return calculator->tracedRays() && !calculator->needsWork() && !calculator->hasWorkerThread() &&
             !platform::RunLoop::main().hasPendingWork();
    });
  }
};

TEST(LayoutCalculatorTest, TracesAFanWithTrajectoriesAndMeasuresItsExtents) {
  Traced t(singlet());
  t.calculator->setParaxialMarginalFlag(true);
  ASSERT_TRUE(t.run());
  const auto rays = t.calculator->tracedRays();
  ASSERT_EQ(rays->size(), 9u);  // a y-fan of 9
  const auto& surfaces = t.document->lens()->surfaceArray();
  for (const tracing::Ray& r : *rays) {
    ASSERT_TRUE(r.isAlive());
    ASSERT_TRUE(r.trajectory());
    EXPECT_EQ(r.trajectory()->back().surface, surfaces.back().get());
    EXPECT_NEAR(r.trajectory()->back().position.z, 54.15, 1e-9);
  }
  const auto paraxial = t.calculator->tracedParaxialRays();
  ASSERT_EQ(paraxial->size(), 1u);
  EXPECT_EQ(paraxial->front().tags().name(), std::optional<std::string>("marginal"));
  EXPECT_EQ(paraxial->front().tags().color()->green(), 1);

  // The object at infinity is skipped: the box runs from the first vertex to the image,
  // ±10 across (the semidiameters and the pupil).
  const auto e = t.calculator->extents();
  EXPECT_NEAR(e->zMin(), 0, 1e-9);
  EXPECT_NEAR(e->zMax(), 54.15, 1e-9);
  EXPECT_NEAR(e->yMax(), 10, 1e-9);
  EXPECT_NEAR(e->xMin(), -10, 1e-9);
}

TEST(LayoutCalculatorTest, SuppressingVignettedRaysNeedsNoNewTrace) {
  auto lens = singlet();
  lens->surfaceArray()[1]->setAperture(lens::CircularAperture::annulusWithMinRadius(0, 5));
  Traced t(lens);
  ASSERT_TRUE(t.run());
  const auto traced = t.calculator->tracedRays();
  EXPECT_EQ(t.calculator->raysOfInterest()->size(), 9u);
  t.calculator->setSuppressVignetted(true);
  EXPECT_FALSE(t.calculator->needsCalculation());
  EXPECT_EQ(t.calculator->tracedRays(), traced);
  // Pupil heights −10 … 10 in steps of 2.5 through an aperture of 5: ±7.5 and ±10 die.
  EXPECT_EQ(t.calculator->raysOfInterest()->size(), 5u);
}

TEST(LayoutCalculatorTest, SettingsThatChangeNothingAskForNothing) {
  auto c = platform::makeObject<LayoutCalculator>();
  c->setNeedsCalculation(false);
  c->setParaxialMarginalRayColor(c->paraxialMarginalRayColor());
  EXPECT_FALSE(c->needsCalculation());
  c->setParaxialMarginalRayColor(platform::Color::make(0.5, 0.5, 0.5));
  EXPECT_TRUE(c->needsCalculation());
  // Only strings set the colour option through key-value coding.
  c->setValueForKey("surfaceColorOption", platform::Value(3));
  EXPECT_EQ(c->surfaceColorOption(), "surface");
  c->setValueForKey("surfaceColorOption", platform::Value("glass"));
  EXPECT_EQ(c->surfaceColorOption(), "glass");

  // A surface that is not axisymmetric makes the fan square.
  auto tilted = lens::Surface::create<lens::SurfaceTilted>();
  tilted->setThickness(10);
  auto lens = lensOf({surface(0, 10), tilted});
  c->firstTimeWithLens(lens);
  EXPECT_EQ(c->fanType(), "square");

  // Settings survive as a restoration dictionary, surfaces as indexes.
  c->setIndexOfFirstSurface(2);
  c->setDrawStopAperture(true);
  auto d = platform::makeObject<LayoutCalculator>();
  d->applyRestorationDictionary(c->restorationDictionary());
  EXPECT_EQ(d->firstSurfaceKeyPath(), "s2");
  EXPECT_TRUE(d->drawStopAperture());
  EXPECT_EQ(d->surfaceColorOption(), "glass");
}

TEST(LayoutCalculatorTest, SelectionByRectangle) {
  auto c = platform::makeObject<LayoutCalculator>();
  auto lens = singlet();  // vertices at z = 0, 5 and 54.15
  c->setLens(lens);
  const auto& s = lens->surfaceArray();
  struct Case {
    double x0, width;
    int before, first, last;  // −1: none
  };
  for (const Case k : {Case{-1, 2, 0, 1, 1}, Case{-1, 10, 0, 1, 2}, Case{4, 60, 1, 2, 3}, Case{1, 2, 3, -1, -1},
                       Case{100, 10, 3, -1, -1}}) {
    SCOPED_TRACE(::testing::Message() << k.x0 << " + " << k.width);
    c->selectSurfacesByRect(k.x0, k.width);
    auto at = [&](int i) { return i < 0 ? nullptr : s[static_cast<std::size_t>(i)]; };
    EXPECT_EQ(c->surfaceBeforeSelection(), at(k.before));
    EXPECT_EQ(c->firstSelectedSurface(), at(k.first));
    EXPECT_EQ(c->lastSelectedSurface(), at(k.last));
    if (k.first < 0)
      EXPECT_FALSE(c->selectedSurfaceRange());
    else
      EXPECT_EQ(c->selectedSurfaceRange(), (std::pair<std::size_t, std::size_t>(k.first, k.last)));
  }
  // Picked surfaces select their index range.
  c->selectSurfacesByArray({s[2], s[1]});
  EXPECT_EQ(c->selectedSurfaceRange(), (std::pair<std::size_t, std::size_t>(1, 2)));
  EXPECT_EQ(c->surfaceBeforeSelection(), s[0]);
  // Two layouts keep their own selections.
  auto other = platform::makeObject<LayoutCalculator>();
  other->setLens(lens);
  other->selectSurfacesByRect(100, 1);
  EXPECT_EQ(c->firstSelectedSurface(), s[1]);
}

TEST(LayoutCalculatorTest, DraggingABlockChangesTheThicknessesAround) {
  auto c = platform::makeObject<LayoutCalculator>();
  auto lens = singlet();
  c->setLens(lens);
  const auto& s = lens->surfaceArray();
  // The second surface alone: the first gets thicker, the second thinner, by dz.
  c->beginMovingRect(4, 2);
  EXPECT_EQ(c->moveRectBy(1.5), std::nullopt);
  EXPECT_DOUBLE_EQ(s[1]->thickness(), 6.5);
  EXPECT_DOUBLE_EQ(s[2]->thickness(), 47.65);
  // The whole lens: the object surface is ahead, so the drawing shifts back by −dz.
  c->beginMovingRect(-1, 10);
  EXPECT_EQ(c->moveRectBy(2), -2.0);
  EXPECT_DOUBLE_EQ(s[2]->thickness(), 45.65);
  EXPECT_TRUE(std::isinf(s[0]->thickness()));
}

TEST(LayoutCalculatorTest, PositionsNameASurfaceOrTheGlassThere) {
  auto c = platform::makeObject<LayoutCalculator>();
  c->setLens(singlet());
  EXPECT_EQ(c->keyPathForPosition(0.1, 0.1), std::optional<std::string>("s1"));
  EXPECT_EQ(c->keyPathForPosition(4.8, 0.1), std::optional<std::string>("s2"));
  EXPECT_EQ(c->keyPathForPosition(2.5, 0.1), std::optional<std::string>("s1.glass"));
  EXPECT_EQ(c->keyPathForPosition(-3, 0.1), std::nullopt);
  EXPECT_EQ(c->commentForPosition(1), "no comment");
}

// --- drawing -----------------------------------------------------------------------------------

struct RecordingPainter : lens::Painter2D {
  int fills = 0, strokes = 0, depth = 0;
  std::vector<std::shared_ptr<const platform::Color>> fillColors;
  std::shared_ptr<const platform::Color> color;
  void saveGraphicsState() override { ++depth; }
  void restoreGraphicsState() override { --depth; }
  void concat(const lens::PlanarAffineTransform&) override {}
  void setColor(const std::shared_ptr<const platform::Color>& c) override { color = c; }
  void stroke(const lens::PlanarBezierPath&) override { ++strokes; }
  void fill(const lens::PlanarBezierPath&) override {
    ++fills;
    fillColors.push_back(color);
  }
  void fillCircle(foundation::XY, double) override {}
  void strokeCircle(foundation::XY, double) override {}
  void strokePath(const lens::PlanarPath&, double) override {}
  void fillSquare(foundation::XY, double) override {}
};

TEST(LayoutCalculatorTest, LensBodiesFollowTheMediumColours) {
  struct Case {
    const char* name;
    bool sameColour, crossSection;
    int fills;
  };
  for (const Case k : {Case{"two glasses", false, true, 4}, Case{"one colour", true, true, 2},
                       Case{"outlines", false, false, 0}}) {
    SCOPED_TRACE(k.name);
    // A cemented doublet: crown, flint, air.
    auto s1 = surface(60, 6), s2 = surface(-40, 2), s3 = surface(-200, 50);
    s1->setGlass(coloured(1.52, 0.1, 0.2, 0.9));
    s2->setGlass(k.sameColour ? coloured(1.62, 0.1, 0.2, 0.9) : coloured(1.62, 0.9, 0.2, 0.1));
    auto c = platform::makeObject<LayoutCalculator>();
    c->setLens(lensOf({s1, s2, s3}));
    c->setColorsCrossSection(k.crossSection);
    RecordingPainter p;
    c->drawZY(p, {});
    EXPECT_EQ(p.fills, k.fills);
    EXPECT_EQ(p.depth, 0);
    if (k.fills == 4) {
      EXPECT_EQ(p.fillColors[0]->blue(), 0.9);  // the crown body first
      EXPECT_EQ(p.fillColors[2]->red(), 0.9);
    }
  }
}

TEST(LayoutCalculatorTest, MirrorsHideTheirDummySurfaceAndZXStartsBodiesAtGlass) {
  // A fold mirror followed by a plain surface at the same place: only the mirror is
  // drawn (three profile strokes per surface).
  auto mirror = surface(-100, 0), dummy = surface(0, -50);
  mirror->setIsMirror(true);
  auto c = platform::makeObject<LayoutCalculator>();
  c->setLens(lensOf({mirror, dummy}));
  RecordingPainter zy;
  c->drawZY(zy, {});
  EXPECT_EQ(zy.strokes, 2 * 3);  // the mirror and the image plane
  RecordingPainter zx;
  c->drawZX(zx, {});
  EXPECT_EQ(zx.strokes, 3 * 3);

  // In ZX a glass of index 1 starts no body.
  auto s1 = surface(50, 5), s2 = surface(-50, 40);
  s1->setGlass(coloured(1.0, 1, 0, 0));
  auto air = platform::makeObject<LayoutCalculator>();
  air->setLens(lensOf({s1, s2}));
  RecordingPainter p;
  air->drawZX(p, {});
  EXPECT_EQ(p.fills, 0);
  s1->setGlass(coloured(1.5, 1, 0, 0));
  RecordingPainter q;
  air->drawZX(q, {});
  EXPECT_EQ(q.fills, 2);
}

// The second principal point of the hand-worked singlet: φ = 0.02 − (5/1.5)·0.01² gives
// f = 50.847; the plane lies f·d·φ1/n = 1.6949 before the last surface (z = 3.3051) and the
// focus at 5 + 49.152. A ray parallel at the marginal height 10 (entrance pupil 20, stop at
// the first surface) bends there towards the focus.
TEST(LayoutCalculatorTest, SecondPrincipalPointConstructionStartsWhereTheMarginalRayEnters) {
  struct Painter : RecordingPainter {
    std::vector<lens::PlanarBezierPath> paths;
    std::vector<foundation::XY> dots;
    void stroke(const lens::PlanarBezierPath& p) override { paths.push_back(p); }
    void fillCircle(foundation::XY at, double) override { dots.push_back(at); }
  };
  Traced t(singlet());
  t.calculator->setDrawsSecondPrincipalPointConstruction(true);
  t.calculator->setParaxialMarginalFlag(true);
  ASSERT_TRUE(t.run());
  Painter p;
  t.calculator->drawZY(p, {});
  ASSERT_EQ(p.dots.size(), 1u);
  const double f = 1 / (0.02 - 5 / 1.5 * 1e-4), p2 = 5 - f * 5 * 0.01 / 1.5, f2 = p2 + f;
  EXPECT_NEAR(p.dots[0].x, p2, 1e-3);
  EXPECT_EQ(p.dots[0].y, 0);
  ASSERT_FALSE(p.paths.empty());
  const auto& e = p.paths.back().elements();  // the construction is stroked last
  ASSERT_EQ(e.size(), 4u);
  // In at the first surface's vertex plane (a paraxial ray), across to the plane, down to
  // the focus.
  EXPECT_EQ(e[0].point.x, 0);
  EXPECT_NEAR(e[0].point.y, 10, 1e-9);
  EXPECT_NEAR(e[1].point.x, p2, 1e-3);
  EXPECT_NEAR(e[1].point.y, 10, 1e-9);
  EXPECT_EQ(e[2].point, e[1].point);
  EXPECT_NEAR(e[3].point.x, f2, 1e-3);
  EXPECT_EQ(e[3].point.y, 0);
}

// --- DXF export --------------------------------------------------------------------------------

std::string exported(const LayoutCalculator& c, const platform::Dictionary& options = {}) {
  std::ostringstream out;
  interchange::DxfWriter writer(out);
  c.exportToDXF(writer, options);
  EXPECT_TRUE(writer.good());
  return out.str();
}

// The hand-worked singlet written out and read back: the surfaces' faces lie on their
// spheres and planes within the rims, rays run from the first to the last surface drawn.
TEST(LayoutCalculatorTest, DxfExportOfASingletReadsBack) {
  Traced t(singlet());
  t.calculator->setParaxialMarginalFlag(true);
  ASSERT_TRUE(t.run());
  const auto& s = t.document->lens()->surfaceArray();
  t.calculator->setFirstSurface(s[1]);  // the two refracting surfaces and the image plane
  t.calculator->setSurfaceColorOption("glass");

  const std::string text = exported(*t.calculator);
  const support::Drawing d = support::parseDxf(text);
  EXPECT_EQ(d.sections, (std::vector<std::string>{"HEADER", "TABLES", "BLOCKS", "ENTITIES"}));
  ASSERT_EQ(d.comments.size(), 2u);
  EXPECT_EQ(d.comments[1], "rays");
  // Extents: the first vertex to the image, ±10 across.
  EXPECT_NEAR(d.extMin.z, 0, 1e-6);
  EXPECT_NEAR(d.extMax.z, 54.15, 1e-6);
  EXPECT_NEAR(d.extMax.y, 10, 1e-6);

  // Rays follow the faces in the file: split the entities there.
  const std::size_t raysAt = text.find("999\nrays\n");
  ASSERT_NE(raysAt, std::string::npos);
  const support::Drawing surfacesOnly = support::parseDxf(text.substr(0, raysAt) + "0\nENDSEC\n0\nEOF\n");
  int onFront = 0, onBack = 0, onImage = 0, rims = 0;
  const int blue = interchange::DxfWriter::colorNumber(0.2, 0.4, 0.8);
  for (const support::Entity& e : surfacesOnly.entities) {
    // Faces of the swept surfaces and the lines of their rims, each on one surface.
    const foundation::XYZ p = e.corners[0];
    if (e.type == "3DLINE") {
      ++rims;
      if (std::fabs(p.z - 54.15) > 1e-6) {
        for (const foundation::XYZ& q : e.points()) EXPECT_NEAR(std::hypot(q.x, q.y), 10, 1e-5);
      }
    }
    EXPECT_LE(std::hypot(p.x, p.y), 10 + 1e-6);
    if (std::fabs(p.z - 54.15) < 1e-6) {
      ++onImage;
      continue;
    }
    const bool front = p.z < 2.5;
    for (const foundation::XYZ& q : e.points()) {
      const double centre = front ? 50 : 5 - 50;
      EXPECT_NEAR(std::hypot(q.x, q.y, q.z - centre), 50, 1e-5) << (front ? "front" : "back");
    }
    // The glass colour is the first surface's; the second faces air.
    if (front) {
      EXPECT_EQ(e.color, blue);
    }
    ++(front ? onFront : onBack);
  }
  EXPECT_GT(onFront, 16);
  EXPECT_GT(onBack, 16);
  EXPECT_GT(onImage, 0);
  EXPECT_EQ(rims, 3 * 16);  // 16 segments per turn, the default

  // Nine real rays and the paraxial marginal ray, two segments each (s1 → s2 → image);
  // the paraxial ray in its own green.
  const auto lines = support::parseDxf("0\nSECTION\n2\nENTITIES\n" + text.substr(raysAt)).entities;
  ASSERT_EQ(lines.size(), 20u);
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    ASSERT_EQ(lines[i].type, "3DLINE");
    EXPECT_NEAR(lines[i].corners[0].z, 0, 1.1) << "starts on the first surface";
    EXPECT_NEAR(lines[i + 1].corners[1].z, 54.15, 1e-6) << "ends on the image";
    EXPECT_EQ(lines[i].corners[1].z, lines[i + 1].corners[0].z);
  }
  EXPECT_EQ(lines.back().color, 3);

  // Surface axes only on request: three more lines per drawn surface.
  platform::Dictionary axes;
  axes.set("drawsSurfaceAxes", true);
  EXPECT_EQ(support::parseDxf(exported(*t.calculator, axes)).entities.size(), d.entities.size() + 3 * 3);
}

// The object surface at infinity is not drawn; nothing of a lens without rays still makes
// a whole file; a file that cannot be written is said so and leaves nothing behind.
TEST(LayoutCalculatorTest, DxfExportFilesAreWholeOrAbsent) {
  auto c = platform::makeObject<LayoutCalculator>();
  c->setLens(singlet());
  const support::Drawing d = support::parseDxf(exported(*c));
  EXPECT_EQ(d.comments.back(), "rays");
  for (const auto& e : d.entities) EXPECT_TRUE(std::isfinite(e.corners[0].z));

  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("orb-layout-dxf-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string error;
  EXPECT_TRUE(c->exportToDXFFile((dir / "singlet.dxf").string(), {}, &error)) << error;
  std::ifstream in(dir / "singlet.dxf");
  EXPECT_EQ(support::parseDxf({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}).entities.size(),
            d.entities.size());

  const std::string missing = (dir / "no such folder" / "singlet.dxf").string();
  EXPECT_FALSE(c->exportToDXFFile(missing, {}, &error));
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir / "no such folder"));
  fs::remove_all(dir);
}

// A lens of F-number or wavelength 0 traces rays to NaN. No "nan" reaches the file: a
// ray's line ends at its last finite point, one left without a segment is counted.
TEST(LayoutCalculatorTest, DxfExportLeavesOutRaysTracedToNaN) {
  Traced t(singlet());
  t.calculator->setParaxialMarginalFlag(true);
  ASSERT_TRUE(t.run());
  // The traced trajectories (s1, s2, image) are poisoned in place, as such a trace leaves
  // them: ray 0 loses its image point (s1 → s2 remains), ray 1 its point on s2 (only s1
  // remains: left out).
  const auto& s = t.document->lens()->surfaceArray();
  t.calculator->setFirstSurface(s[1]);
  const auto rays = t.calculator->raysOfInterest();
  ASSERT_GE(rays->size(), 2u);
  auto trajectoryOf = [&](std::size_t i) { return const_cast<tracing::Trajectory*>((*rays)[i].trajectory()); };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  trajectoryOf(0)->back().position.z = nan;
  for (tracing::RayVertex& v : *trajectoryOf(1))
    if (v.surface == s[2].get()) v.position.y = nan;

  std::ostringstream out;
  interchange::DxfWriter writer(out);
  EXPECT_EQ(t.calculator->exportToDXF(writer, {}), 1u);
  const std::string text = out.str();
  EXPECT_EQ(text.find("nan"), std::string::npos);
  // Nine real rays and the paraxial marginal ray, two segments each, less ray 0's last
  // and both of ray 1's.
  const auto raysAt = text.find("999\nrays\n");
  ASSERT_NE(raysAt, std::string::npos);
  const auto lines = support::parseDxf("0\nSECTION\n2\nENTITIES\n" + text.substr(raysAt)).entities;
  EXPECT_EQ(lines.size(), 20u - 1 - 2);
  for (const auto& e : lines)
    for (const foundation::XYZ& q : e.points()) EXPECT_TRUE(std::isfinite(q.x + q.y + q.z));

  const auto path = std::filesystem::temp_directory_path() / ("orb-layout-nan-" + std::to_string(::getpid()) + ".dxf");
  std::string error;
  std::size_t leftOut = 0;
  EXPECT_TRUE(t.calculator->exportToDXFFile(path.string(), {}, &error, &leftOut)) << error;
  EXPECT_EQ(leftOut, 1u);
  std::filesystem::remove(path);
}

// Two flat faces 10 across, 2 apart, drawn in four segments per turn in the fixed red:
// each face is four triangles from its centre and a rim of four lines, nothing else
// (no rays were traced). The file is checked against its golden copy and read back.
TEST(LayoutCalculatorTest, DxfOfTwoFlatFacesMatchesItsGoldenCopy) {
  auto s1 = surface(0, 2), s2 = surface(0, 3);
  s1->setGlass(coloured(1.5, 0.2, 0.4, 0.8));
  auto lens = lensOf({s1, s2});
  auto c = platform::makeObject<LayoutCalculator>();
  c->setLens(lens);
  c->setFirstSurface(s1);
  c->setLastSurface(s2);
  c->setSurfaceColorOption("fixed");
  c->setFixedSurfaceColor(platform::Color::make(1, 0, 0));
  platform::Dictionary options;
  options.set("numberOfSegmentsPerRevolution", 4);
  const std::string text = exported(*c, options);

  const support::Drawing d = support::parseDxf(text);
  ASSERT_EQ(d.entities.size(), 16u);
  for (std::size_t i = 0; i < d.entities.size(); ++i) {
    const support::Entity& e = d.entities[i];
    const double z = i < 8 ? 0 : 2;  // the first face's faces and rim, then the second's
    EXPECT_EQ(e.color, 1);
    EXPECT_EQ(e.type, i % 8 < 4 ? "3DFACE" : "3DLINE");
    for (const foundation::XYZ& p : e.points()) {
      EXPECT_EQ(p.z, z);
      EXPECT_TRUE(std::hypot(p.x, p.y) < 1e-12 || std::fabs(std::hypot(p.x, p.y) - 10) < 1e-12);
    }
  }
  EXPECT_EQ(d.extMin.z, 0);
  EXPECT_EQ(d.extMax.z, 2);

  std::ifstream golden(std::string(ORB_TEST_DATA_DIR) + "/dxf/two-flat-faces.dxf");
  ASSERT_TRUE(golden) << "tests/data/dxf/two-flat-faces.dxf";
  const std::string expected{std::istreambuf_iterator<char>(golden), std::istreambuf_iterator<char>()};
  if (std::getenv("ORB_WRITE_GOLDEN")) std::ofstream(std::string(ORB_TEST_DATA_DIR) + "/dxf/two-flat-faces.dxf") << text;
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace orb::analysis
