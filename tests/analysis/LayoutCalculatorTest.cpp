#include "analysis/LayoutCalculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "RayAnalysisTestSupport.h"
#include "geometry/values/Extents.h"
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

}  // namespace
}  // namespace orb::analysis
