#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/minimise/MersenneTwister.h"
#include "geometry/values/DrawingSink.h"
#include "geometry/values/OutlinableSurface.h"
#include "lens/ArchiveClasses.h"
#include "lens/AspectAperture.h"
#include "lens/CircularAperture.h"
#include "lens/SpiderAperture.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb;
using namespace orb::lens;
using foundation::VKInterval;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Box : geometry::BoxProtocol {
  double x0, x1, y0, y1;
  Box(double xa, double xb, double ya, double yb) : x0(xa), x1(xb), y0(ya), y1(yb) {}
  double xMin() const override { return x0; }
  double xMax() const override { return x1; }
  double yMin() const override { return y0; }
  double yMax() const override { return y1; }
  double zMin() const override { return -1; }
  double zMax() const override { return 1; }
};

std::shared_ptr<Aperture> decentred(std::shared_ptr<Aperture> a, double dx, double dy) {
  a->setDecenterX(dx);
  a->setDecenterY(dy);
  return a;
}

}  // namespace

TEST(Aperture, PassTestsByShape) {
  struct Case {
    const char* name;
    std::shared_ptr<Aperture> aperture;
    double x, y;
    bool passes;
  };
  auto annulus = [] { return CircularAperture::annulusWithMinRadius(1, 5); };
  auto ring = [] { return CircularObscuration::annulusWithMinRadius(1, 5); };
  auto slit = [] { return RectangularAperture::apertureWithXRadius(kInf, 2); };
  auto ellipse = [] { return EllipticalAperture::apertureWithXRadius(4, 2); };
  const Case cases[] = {
      {"annulus-inside", annulus(), 3, 0, true},
      {"annulus-hole", annulus(), 0.5, 0, false},
      {"annulus-rim-exactly", annulus(), 0, 5, true},
      {"annulus-inner-rim-exactly", annulus(), 1, 0, true},
      {"annulus-outside", annulus(), 0, 5.1, false},
      {"obscuration-inside", ring(), 3, 0, false},
      {"obscuration-hole", ring(), 0.5, 0, true},
      {"obscuration-outside", ring(), 0, 5.1, true},
      {"decentred-disc", decentred(CircularAperture::annulusWithMinRadius(0, 1), 10, -10), 10.5, -10.5, true},
      {"decentred-disc-origin", decentred(CircularAperture::annulusWithMinRadius(0, 1), 10, -10), 0, 0, false},
      {"slit-far-in-x", slit(), 1e6, 1.9, true},
      {"slit-beyond-y", slit(), 0, 2.1, false},
      {"ellipse-x-axis", ellipse(), 3.9, 0, true},
      {"ellipse-corner", ellipse(), 3, 1.5, false},  // (3/4)² + (1.5/2)² = 1.125
      {"ellipse-obscured", EllipticalObscuration::apertureWithXRadius(4, 2), 3.9, 0, false},
      {"rectangle-corner", RectangularAperture::apertureWithXRadius(4, 2), 3.9, 1.9, true},
      {"rectangle-obscured-corner", RectangularObscuration::apertureWithXRadius(4, 2), 3.9, 1.9, false},
      {"rectangle-obscuration-outside", RectangularObscuration::apertureWithXRadius(4, 2), 4.1, 0, true},
      {"floating-as-circular", [] {
         auto f = FloatingAperture::aperture();
         f->followSemidiameter(2);
         return std::shared_ptr<Aperture>(f);
       }(), 0, 2.01, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.aperture->passesPoint(c.x, c.y), c.passes);
  }
}

TEST(Aperture, SoftAperturesPassEverything) {
  for (const auto& name : Aperture::apertureTypes()) {
    SCOPED_TRACE(name);
    auto a = Aperture::apertureOfType(name, platform::Dictionary{{"rMin", 0.0}, {"rMax", 1.0}, {"xRadius", 1.0},
                                                                  {"yRadius", 1.0}});
    a->setValueForKey("isSoft", true);
    EXPECT_TRUE(a->passesPoint(0, 0));
    EXPECT_TRUE(a->passesPoint(100, 0));
  }
}

// A spider stops rays on its arms: four arms 1 wide along ±x and ±y, three arms at 0°,
// 120° and 240° (none along −x).
TEST(Aperture, SpiderStopsRaysOnItsArms) {
  struct Case {
    const char* name;
    int arms;
    double x, y;
    bool passes;
  };
  const Case cases[] = {
      {"on-first-arm", 4, 3, 0.4, false},   {"beside-first-arm", 4, 3, 0.6, true},
      {"on-opposite-arm", 4, -3, -0.4, false}, {"on-y-arm", 4, 0.3, -7, false},
      {"between-arms", 4, 2, 2, true},      {"centre", 4, 0, 0, false},
      {"three-no-arm-at-180", 3, -3, 0.2, true}, {"three-arm-at-120", 3, -1.5, 2.598, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto spider = SpiderAperture::spiderWithNumberOfArms(c.arms, 1);
    EXPECT_EQ(spider->passesPoint(c.x, c.y), c.passes);
  }
  auto decentredSpider = SpiderAperture::spiderWithNumberOfArms(4, 1);
  decentredSpider->setDecenterX(10);
  EXPECT_FALSE(decentredSpider->passesPoint(13, 0.4));
  EXPECT_TRUE(decentredSpider->passesPoint(0.4, 3));
  EXPECT_TRUE(SpiderAperture::spiderWithNumberOfArms(0, 1)->passesPoint(0, 0));
}

TEST(Aperture, BoxTests) {
  struct Case {
    const char* name;
    std::shared_ptr<Aperture> aperture;
    Box box;
    int expected;
  };
  auto annulus = [] { return CircularAperture::annulusWithMinRadius(1, 5); };
  auto ellipse = [] { return EllipticalAperture::apertureWithXRadius(4, 2); };
  auto rectangle = [] { return RectangularAperture::apertureWithXRadius(4, 2); };
  const Case cases[] = {
      {"annulus-inside-hole", annulus(), Box(-0.5, 0.5, -0.5, 0.5), 2},
      {"annulus-in-ring", annulus(), Box(2, 3, 0, 1), 1},
      {"annulus-outside", annulus(), Box(6, 7, 6, 7), 2},
      {"annulus-across-rim", annulus(), Box(4, 6, -1, 1), 0},
      {"annulus-around-hole", annulus(), Box(-3, 3, -3, 3), 0},   // corners in the ring, hole inside
      {"annulus-whole-disc-inside-box", annulus(), Box(-6, 6, -6, 6), 0},
      {"annulus-rim-between-corners", annulus(), Box(4.9, 6, -1, 1), 0},
      {"degenerate-annulus", CircularAperture::annulusWithMinRadius(2, 2), Box(-1, 1, -1, 1), 2},
      {"decentred-disc", decentred(CircularAperture::annulusWithMinRadius(0, 1), 10, 0), Box(9.5, 10.5, -0.5, 0.5), 1},
      {"obscuration-uses-aperture-test", CircularObscuration::annulusWithMinRadius(1, 5), Box(2, 3, 0, 1), 1},
      {"ellipse-inside", ellipse(), Box(-1, 1, -1, 1), 1},
      {"ellipse-outside", ellipse(), Box(4.5, 5, 0, 1), 2},
      {"ellipse-across", ellipse(), Box(3, 5, -0.5, 0.5), 0},
      {"ellipse-inside-box", ellipse(), Box(-5, 5, -3, 3), 0},
      {"rectangle-inside", rectangle(), Box(-4, 4, -2, 2), 1},
      {"rectangle-outside", rectangle(), Box(4.1, 5, 0, 1), 2},
      {"rectangle-across", rectangle(), Box(3, 5, 0, 1), 0},
      {"base-inside", Aperture::aperture(), Box(-1e9, 1e9, -1e9, 1e9), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.aperture->boxSurfaceTest(c.box), c.expected);
  }
}

TEST(Aperture, ZemaxCommandsOfEveryType) {
  struct Case {
    const char* type;
    const char* commands;
  };
  const platform::Dictionary info{{"rMin", 1.0}, {"rMax", 4.0}, {"xRadius", 2.5}, {"yRadius", 3.0}};
  const Case cases[] = {
      {"Floating aperture", "FLAP 1 4\n"},       {"Circular aperture", "CLAP 1 4\n"},
      {"Elliptical aperture", "ELAP 2.5 3\n"},   {"Rectangular aperture", "SQAP 2.5 3\n"},
      {"Circular obscuration", "OBSC 1 4\n\n"},  {"Elliptical obscuration", "ELOB 2.5 3\n"},
      {"Rectangular obscuration", "SQOB 2.5 3\n\n"}, {"Spider", "SPID 0 0\n"},
  };
  ASSERT_EQ(Aperture::apertureTypes().size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].type);
    EXPECT_EQ(Aperture::apertureTypes()[i], cases[i].type) << "menu order";
    auto a = Aperture::apertureOfType(cases[i].type, info);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->apertureType(), cases[i].type);
    EXPECT_EQ(a->zemaxCommands(), cases[i].commands);
  }
  EXPECT_EQ(SpiderAperture::spiderWithNumberOfArms(3, 0.25)->zemaxCommands(), "SPID 3 0.25\n");
  auto disc = decentred(CircularAperture::annulusWithMinRadius(0, 4), 0, 1);
  EXPECT_EQ(disc->zemaxCommands(), "CLAP 0 4\nOBDC 0 1\n\n");
  EXPECT_EQ(Aperture::apertureOfType("Hexagonal aperture"), nullptr);
  EXPECT_EQ(Aperture::aperture()->apertureType(), std::nullopt);
}

TEST(Aperture, DerivedExtentsAndTexts) {
  auto annulus = CircularAperture::annulusWithMinRadius(1, 5);
  EXPECT_EQ(annulus->xIntervals(), (std::vector<VKInterval>{VKInterval(-5, -1), VKInterval(1, 5)}));
  EXPECT_EQ(annulus->xMin(), -5);
  EXPECT_EQ(annulus->valueForKey("yRadius").asDouble(), 5);
  EXPECT_TRUE(annulus->isAxisymmetric());
  EXPECT_EQ(annulus->description(), "CircularAperture(1,5)");
  annulus->setDecenterY(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(annulus->isDecentered());

  auto rectangle = RectangularAperture::apertureWithXRadius(2, 3);
  rectangle->setDecenterX(1);
  EXPECT_EQ(rectangle->rMax(), 3);
  EXPECT_EQ(rectangle->rMin(), 0);
  EXPECT_EQ(rectangle->xIntervals(), (std::vector<VKInterval>{VKInterval(-1, 3)}));
  // An obscuration passes the rest of the axis: outside its span and through its hole.
  auto obscuration = CircularObscuration::annulusWithMinRadius(1, 5);
  EXPECT_EQ(obscuration->xIntervals(),
            (std::vector<VKInterval>{VKInterval(-kInf, -5), VKInterval(-1, 1), VKInterval(5, kInf)}));
  auto bar = RectangularObscuration::apertureWithXRadius(2, 3);
  bar->setDecenterY(1);
  EXPECT_EQ(bar->yIntervals(), (std::vector<VKInterval>{VKInterval(-kInf, -2), VKInterval(4, kInf)}));
  EXPECT_EQ(EllipticalObscuration::apertureWithXRadius(2, 3)->xIntervals(),
            (std::vector<VKInterval>{VKInterval(-kInf, -2), VKInterval(2, kInf)}));
  EXPECT_FALSE(rectangle->isAxisymmetric());
  EXPECT_EQ(rectangle->apertureDescription(), "radii: x 2, y 3; decenter: x 1, y 0");
  EXPECT_EQ(Aperture::aperture()->xMin(), -kInf);
  EXPECT_EQ(FloatingAperture::aperture()->apertureDescription(), "equal to semidiameter");
}

TEST(Aperture, RandomPointsLieInTheirShapes) {
  foundation::mersenneTwisterSeed(4357);
  std::vector<std::shared_ptr<Aperture>> generators{
      decentred(CircularAperture::annulusWithMinRadius(1, 5), 2, 3),
      decentred(CircularAperture::annulusWithMinRadius(0, 2), -1, 0),
      decentred(EllipticalAperture::apertureWithXRadius(4, 1), 0, 5),
      decentred(RectangularAperture::apertureWithXRadius(1, 3), 7, 0),
  };
  for (const auto& a : generators) {
    SCOPED_TRACE(a->className());
    ASSERT_TRUE(a->canGenerateRandomPoint());
    for (int i = 0; i < 200; ++i) {
      auto p = a->randomPointInAperture();
      EXPECT_TRUE(a->passesPoint(p.x, p.y)) << p.x << ", " << p.y;
    }
  }
  EXPECT_FALSE(CircularObscuration::annulusWithMinRadius(0, 1)->canGenerateRandomPoint());
  EXPECT_FALSE(RectangularObscuration::apertureWithXRadius(1, 1)->canGenerateRandomPoint());
  EXPECT_FALSE(SpiderAperture::spiderWithNumberOfArms(3, 1)->canGenerateRandomPoint());
}

TEST(Aperture, InformationAndCopies) {
  auto disc = CircularAperture::annulusWithMinRadius(1, 3);
  disc->setDecenterX(0.5);
  disc->setRMaxIsVariable(true);
  auto info = disc->information();
  EXPECT_EQ(info.get("xRadius").asDouble(), 3);
  EXPECT_EQ(info.get("decenterX").asDouble(), 0.5);

  // Switching types carries what the new type takes: the ellipse takes the decentre and
  // the radii the disc reports.
  auto ellipse = Aperture::apertureOfType("Elliptical aperture", info);
  EXPECT_EQ(ellipse->xRadius(), 3);
  EXPECT_EQ(ellipse->decenterX(), 0.5);
  auto floating = Aperture::apertureOfType("Floating aperture", info);
  EXPECT_EQ(floating->rMax(), 3);
  EXPECT_EQ(floating->decenterX(), 0) << "a floating aperture takes only its radii";

  auto copy = disc->copy();
  EXPECT_TRUE(std::dynamic_pointer_cast<CircularAperture>(copy));
  EXPECT_EQ(copy->rMin(), 1);
  EXPECT_TRUE(copy->keyPathsForVariables().empty()) << "variable flags are not copied";
  EXPECT_EQ(disc->keyPathsForVariables(), std::vector<std::string>{"rMax"});

  auto spider = SpiderAperture::spiderWithNumberOfArms(4, 0.5);
  auto spiderCopy = std::dynamic_pointer_cast<SpiderAperture>(spider->copy());
  ASSERT_TRUE(spiderCopy);
  EXPECT_EQ(spiderCopy->numberOfArms(), 4);
  EXPECT_EQ(spiderCopy->widthOfArms(), 0.5);
  EXPECT_FALSE(spiderCopy->passesPoint(2, 0));
}

TEST(Aperture, ArchiveRoundTripKeepsTypeAndValuesButNotSoftness) {
  lens::registerArchiveClasses();
  auto disc = decentred(CircularObscuration::annulusWithMinRadius(1, 3), 0.5, -2);
  disc->setDecenterYIsVariable(true);
  disc->setIsSoft(true);
  auto spider = SpiderAperture::spiderWithNumberOfArms(3, 0.2);
  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{disc, spider});
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray();
  auto d = back[0].asObject<CircularObscuration>();
  EXPECT_EQ(d->rMin(), 1);
  EXPECT_EQ(d->rMax(), 3);
  EXPECT_EQ(d->decenterY(), -2);
  EXPECT_TRUE(d->decenterYIsVariable());
  EXPECT_FALSE(d->isSoft()) << "the surface sets softness again";
  auto s = back[1].asObject<SpiderAperture>();
  EXPECT_EQ(s->numberOfArms(), 3);
  EXPECT_FALSE(s->passesPoint(1, 0.05));
}

TEST(Aperture, GestaltAndVariablesAreObservable) {
  auto disc = CircularAperture::annulusWithMinRadius(0, 1);
  int gestalt = 0, variables = 0;
  auto a = disc->addObserver("apertureGestalt", [&](const platform::ObservedChange&) { ++gestalt; });
  auto b = disc->addObserver("keyPathsForVariables", [&](const platform::ObservedChange&) { ++variables; });
  disc->setValueForKey("rMax", 2.0);
  disc->setValueForKey("decenterX", 1.0);
  disc->setValueForKey("rMinIsVariable", true);
  EXPECT_EQ(gestalt, 2);
  EXPECT_EQ(variables, 1);
  EXPECT_EQ(disc->valueForKey("keyPathsForVariables"), platform::Value(platform::Array{"rMin"}));
}

// --- Drawing ----------------------------------------------------------------------------

namespace {

struct RecordingSink : geometry::DrawingSink {
  std::vector<std::pair<geometry::DrawMode, std::vector<foundation::XYZ>>> primitives;
  void begin(geometry::DrawMode mode) override { primitives.push_back({mode, {}}); }
  void normal(const foundation::XYZ&) override {}
  void vertex(const foundation::XYZ& p) override { primitives.back().second.push_back(p); }
  void end() override {}
};

struct RecordingPlanarSink : PlanarSink {
  std::vector<std::pair<foundation::XY, double>> squares;
  PlanarPath stroked;
  void strokePath(const PlanarPath& path, double) override { stroked.insert(stroked.end(), path.begin(), path.end()); }
  void fillSquare(foundation::XY centre, double side) override { squares.push_back({centre, side}); }
};

/// A sphere-like test surface with sag y²/10 along y and x²/20 along x.
class BowlSurface : public platform::Object, public geometry::OutlinableSurface {
 public:
  double semidiameter() const override { return 10; }
  std::shared_ptr<const geometry::BoxSurfaceTest> fullAperture() const override { return nullptr; }
  std::shared_ptr<const geometry::BoxSurfaceTest> aperture() const override { return nullptr; }
  bool validQ(const foundation::XY&) const override { return true; }
  double sagAtQ(const foundation::XY& q) const override { return q.x * q.x / 20 + q.y * q.y / 10; }
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ&) const override { return {}; }
};

}  // namespace

TEST(ApertureDrawing, AnnulusBandsFollowTheDecentreAndOptions) {
  auto disc = decentred(CircularAperture::annulusWithMinRadius(0, 2), 1, 0);
  RecordingSink sink;
  disc->drawUsingOpenGL(sink, platform::Dictionary{{"numberOfSegmentsPerRevolution", 8}, {"drawAlsoReversed", true}});
  ASSERT_EQ(sink.primitives.size(), 1u) << "no inner band without a hole";
  const auto& quads = sink.primitives[0].second;
  EXPECT_EQ(quads.size(), 8u * 4 * 2);
  for (const auto& v : quads) {
    double r = std::hypot(v.x - 1, v.y);
    EXPECT_TRUE(std::abs(r - 2) < 1e-12 || std::abs(r - 2.4) < 1e-12) << r;
  }

  RecordingSink defaults;
  RectangularObscuration::apertureWithXRadius(1, 2)->drawUsingOpenGL(defaults);
  ASSERT_EQ(defaults.primitives.size(), 2u);
  EXPECT_EQ(defaults.primitives[0].first, geometry::DrawMode::LineLoop);
  EXPECT_EQ(defaults.primitives[1].second.size(), 4u) << "one filled quad, not reversed";
}

TEST(ApertureDrawing, PlanarMarks) {
  auto annulus = decentred(CircularAperture::annulusWithMinRadius(1, 2), 0, 3);
  EXPECT_EQ(annulus->zyBezierPathRepresentation(),
            (PlanarPath{{{0, -1}, {0, 1}}, {{0, 5}, {0, 7}}, {{0, 2}, {0, 4}}}));
  EXPECT_EQ(CircularObscuration::annulusWithMinRadius(0, 2)->zxBezierPathRepresentation(),
            (PlanarPath{{{0, -2}, {0, 2}}}));
  EXPECT_EQ(RectangularAperture::apertureWithXRadius(1, 2)->zxBezierPathRepresentation(),
            (PlanarPath{{{0, -2}, {0, -1}}, {{0, 1}, {0, 2}}}));
  EXPECT_TRUE(EllipticalAperture::apertureWithXRadius(1, 2)->zyBezierPathRepresentation().empty());

  // The rim marks sit on the surface at the decentred rim: sag y²/10 at y = 3 ∓ 2.
  auto surface = platform::makeObject<BowlSurface>();
  auto disc = decentred(CircularAperture::annulusWithMinRadius(0, 2), 0, 3);
  disc->setSurface(surface);
  RecordingPlanarSink planar;
  disc->zyDrawWithPixelWidth(planar, 0.1);
  ASSERT_EQ(planar.squares.size(), 2u);
  EXPECT_DOUBLE_EQ(planar.squares[0].first.x, 0.1);
  EXPECT_DOUBLE_EQ(planar.squares[0].first.y, 1);
  EXPECT_DOUBLE_EQ(planar.squares[1].first.x, 2.5);
  EXPECT_DOUBLE_EQ(planar.squares[1].first.y, 5);
  EXPECT_DOUBLE_EQ(planar.squares[0].second, 0.3);
  ASSERT_EQ(planar.stroked.size(), 2u);
  EXPECT_DOUBLE_EQ(planar.stroked[0].from.y, 1 - 1.5);
  EXPECT_DOUBLE_EQ(planar.stroked[1].to.y, 5 + 1.5);
}
