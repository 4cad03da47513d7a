#include "tracing/TurnerLightPipe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ExpectRaises.h"
#include "LensFixture.h"
#include "geometry/solids/R3Hull.h"
#include "geometry/solids/R3Plane.h"
#include "lens/ArchiveClasses.h"
#include "lens/Elbow.h"
#include "lens/Emission.h"
#include "lens/LightPipe.h"
#include "lens/SurfaceTypeRegistry.h"
#include "materials/Glass.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "lens/Field.h"
#include "tracing/PupilPatterns.h"
#include "tracing/RayBundle.h"
#include "tracing/RayGeneration.h"
#include "tracing/RayWithFrame.h"
#include "tracing/Regeneration.h"
#include "tracing/SurfaceShape.h"
#include "tracing/TraceDriver.h"

// Reference values here are worked by hand: a straight pipe with walls parallel to its
// axis is a stack of mirrors, so a ray's path is the straight line of the unfolded pipe,
// folded back at each wall; the elbow's walls in the plane x = 0 are circles about the
// bend's centre.

namespace orb::tracing {
namespace {

using foundation::XYZ;
constexpr double kDeg = std::numbers::pi / 180;

// The coordinate u of the unfolded pipe (walls at ±a) folded back into [−a, a]: the
// folded position, the sign the momentum component has after the folds, and the number
// of walls crossed.
struct Folded {
  double x;
  double sign;
  int walls;
};
Folded fold(double u0, double u, double a) {
  const auto cell = [a](double v) { return static_cast<int>(std::floor((v + a) / (2 * a))); };
  const int walls = std::abs(cell(u) - cell(u0));
  const double w = std::fmod(std::fmod(u + a, 4 * a) + 4 * a, 4 * a);
  return w < 2 * a ? Folded{w - a, 1, walls} : Folded{3 * a - w, -1, walls};
}

class LightPipeTest : public ::testing::Test {
 protected:
  void SetUp() override { lens::registerArchiveClasses(); }

  // Collimated space in air, the pipe of glass n = 1.5 (the stop), the image on its exit
  // face.
  std::shared_ptr<lens::Lens> pipeLens(const std::shared_ptr<lens::Surface>& pipe) {
    auto l = lens::Lens::create();
    auto object = lens::Surface::create<lens::Surface>();
    object->setThickness(testing::kInfinity);
    l->insertInSurfaces(object);
    pipe->setGlass(materials::Glass::glassWithIndex(1.5));
    pipe->setIsStop(true);
    l->insertInSurfaces(pipe);
    l->insertInSurfaces(lens::Surface::create<lens::Surface>());
    testing::placeSurfaces(*l);
    return l;
  }

  static std::shared_ptr<lens::LightPipe> pipe(double nside, double rin, double rout, double length) {
    auto p = lens::Surface::create<lens::LightPipe>();
    p->setValueForKey("nside", nside);
    p->setValueForKey("rin", rin);
    p->setValueForKey("rout", rout);
    p->setThickness(length);
    return p;
  }

  // A ray in air at z = −1 whose momentum is (px, py, ·), aimed to cross z = 0 at (x, y).
  static Ray airRay(double x, double y, double px, double py) {
    const double pz = std::sqrt(1 - px * px - py * py);
    return Ray(XYZ{x - px / pz, y - py / pz, -1}, XYZ{px, py, pz}, 1.0);
  }
};

TEST_F(LightPipeTest, TypesAreMadeByMenuNameWithTheirDefaults) {
  auto& registry = lens::SurfaceTypeRegistry::shared();
  auto p = registry.surfaceOfType("Light pipe");
  EXPECT_EQ(p->className(), "LightPipe");
  EXPECT_FALSE(p->zemaxType().has_value());
  EXPECT_EQ(p->curvatureDescription(), "light pipe surface is planar");
  EXPECT_FALSE(p->canEditCurvature());
  for (auto [title, value] : std::vector<std::pair<const char*, double>>{
           {"nside", 6}, {"rin", 10}, {"rout", 10}, {"theta0", 0}, {"NA", 0}, {"flattening", 0}})
    EXPECT_EQ(p->parameterValue(title), value) << title;

  auto e = std::dynamic_pointer_cast<lens::Elbow>(registry.surfaceOfType("Elbow"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->curvatureDescription(), "elbow surface is planar");
  EXPECT_EQ(e->thicknessDescription(), "parameter-dependent");
  EXPECT_FALSE(e->canEditThickness());
  // 100 · 10° in radians, whatever thickness is stored.
  e->setThickness(3);
  EXPECT_NEAR(e->thickness(), 17.453293, 5e-7);
  EXPECT_NEAR(e->exitPoint().y, 100 * (1 - std::cos(10 * kDeg)), 1e-12);
  EXPECT_NEAR(e->exitPoint().y, 1.519225, 5e-7);
  EXPECT_NEAR(e->exitPoint().z, 17.364818, 5e-7);

  // Both keep their parameters through the archive.
  e->setValueForKey("rmajor", 50.0);
  e->setValueForKey("theta", 30.0);
  p->setValueForKey("nside", 5.0);
  p->setValueForKey("flattening", 0.25);
  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{p, e});
  const auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray();
  ASSERT_EQ(back.size(), 2u);
  auto p2 = back[0].asObject<lens::LightPipe>();
  auto e2 = back[1].asObject<lens::Elbow>();
  ASSERT_TRUE(p2 && e2);
  EXPECT_EQ(p2->numberOfSides(), 5);
  EXPECT_EQ(p2->flattening(), 0.25);
  EXPECT_EQ(e2->rmajor(), 50);
  EXPECT_NEAR(e2->thickness(), 50 * 30 * kDeg, 1e-12);
}

TEST_F(LightPipeTest, TurnerChoiceFollowsLengthSidesAndBend) {
  struct Case {
    double nside, length;
    const char* turner;
  };
  for (const Case c : {Case{6, 10, "TurnerLightPipe"}, Case{3, 10, "TurnerLightPipe"}, Case{2.5, 10, "TurnerLightPipeGeneric"},
                       Case{0, 10, "TurnerLightPipeGeneric"}, Case{6, 0, "Turner"}, Case{0, -1, "Turner"}}) {
    SCOPED_TRACE(c.nside);
    EXPECT_EQ(pipe(c.nside, 1, 1, c.length)->turnerName(), c.turner);
  }
  // Pipes of no length have only their faces; "nside" past 99 counts as 99; the cone
  // pipe traces on a cone but draws 32 sides.
  EXPECT_EQ(pipe(6, 1, 1, 0)->planes().size(), 2u);
  EXPECT_EQ(pipe(150, 1, 1, 5)->planes().size(), 101u);
  EXPECT_EQ(pipe(0, 1, 1, 5)->planes().size(), 34u);
  EXPECT_EQ(pipe(0, 1, 1, 5)->surfaces().size(), 3u);

  auto e = lens::Surface::create<lens::Elbow>();
  for (auto [theta, turner, thickness] : std::vector<std::tuple<double, const char*, double>>{
           {10, "TurnerElbow", 100 * 10 * kDeg}, {0, "Turner", 0}, {-5, "Turner", 0}, {400, "TurnerElbow", 100 * 2 * std::numbers::pi}}) {
    e->setValueForKey("theta", theta);
    EXPECT_EQ(e->turnerName(), turner) << theta;
    EXPECT_NEAR(e->thickness(), thickness, 1e-9) << theta;
  }
}

TEST_F(LightPipeTest, SidePlanesMeetTheRadiiAtBothEnds) {
  // A tapered, flattened, turned pipe: each plane passes at s·rin from the axis at z = 0
  // and s·rout at z = L in its direction, with s = 1 on x and 1 − f on y.
  const double rin = 3, rout = 5, L = 20, f = 0.4, theta0 = 30;
  const auto planes = lens::LightPipe::sidePlanes(4, rin, rout, L, f, theta0);
  ASSERT_EQ(planes.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const double phi = i * std::numbers::pi / 2, s = i % 2 == 0 ? 1 : 1 - f, psi = phi + theta0 * kDeg;
    const auto& p = *planes[static_cast<std::size_t>(i)];
    EXPECT_NEAR(std::hypot(std::hypot(p.a(), p.b()), p.c()), 1, 1e-15);
    for (auto [z, r] : {std::pair{0.0, rin}, std::pair{L, rout}}) {
      const XYZ q{s * r * std::cos(psi), s * r * std::sin(psi), z};
      EXPECT_NEAR(p.a() * q.x + p.b() * q.y + p.c() * q.z, p.d(), 1e-12) << i;
    }
  }
  EXPECT_TRUE(lens::LightPipe::sidePlanes(0, 1, 1, 1, 0, 0).empty());
  // Equal radii and no flattening: walls parallel to the axis.
  for (const auto& p : lens::LightPipe::sidePlanes(7, 2, 2, 9, 0, 0)) EXPECT_EQ(p->c(), 0);
}

TEST_F(LightPipeTest, HullAndOutlineOfAHexagonalPipe) {
  auto p = pipe(6, 10, 10, 40);
  auto hull = p->hull();
  ASSERT_TRUE(hull);
  EXPECT_EQ(hull->patches().size(), 8u);
  // Corners of the hexagon lie at 10/cos 30° on ±y: the side view spans that in y and
  // the length in z.
  const auto outline = p->zyOutline();
  ASSERT_FALSE(outline.empty());
  double zMin = 1e9, zMax = -1e9, yMin = 1e9, yMax = -1e9;
  for (const auto& s : outline)
    for (const auto& q : {s.from, s.to}) {
      zMin = std::min(zMin, q.x), zMax = std::max(zMax, q.x);
      yMin = std::min(yMin, q.y), yMax = std::max(yMax, q.y);
    }
  EXPECT_NEAR(zMin, 0, 1e-9);
  EXPECT_NEAR(zMax, 40, 1e-9);
  EXPECT_NEAR(yMax, 10 / std::cos(30 * kDeg), 1e-9);
  EXPECT_NEAR(yMin, -10 / std::cos(30 * kDeg), 1e-9);
  // A new length is seen at once.
  p->setThickness(25);
  EXPECT_NEAR(p->planes()[1]->d(), 25, 0);
}

TEST_F(LightPipeTest, OnAxisBundleCrossesAStraightPipeUnchanged) {
  const double L = 50;
  auto l = pipeLens(pipe(4, 2, 2, L));
  std::vector<Ray> rays;
  for (double x : {-1.9, 0.0, 0.7})
    for (double y : {-1.5, 0.0, 1.9}) rays.push_back(airRay(x, y, 0, 0));
  traceRays(*l, std::span<Ray>(rays));
  for (const Ray& r : rays) {
    ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
    EXPECT_NEAR(r.pz(), 1.5, 1e-15);
    EXPECT_EQ(r.px(), 0);
    EXPECT_NEAR(r.z(), L, 1e-12);
    // One in air before the face, n·L inside.
    EXPECT_NEAR(r.opticalPathLength(), 1 + 1.5 * L, 1e-12);
  }
  EXPECT_NEAR(rays[0].x(), -1.9, 1e-15);
  EXPECT_NEAR(rays[0].y(), -1.5, 1e-15);
}

TEST_F(LightPipeTest, SkewRayFollowsTheUnfoldedPipe) {
  // Square pipe (walls x, y = ±2) and, for the meridional ray, the round pipe of radius
  // 2, whose section in y = 0 is the same pair of walls. The walls crossed by the
  // unfolded line are the bounces.
  const double a = 2, L = 50;
  struct Case {
    double nside, x0, y0, px, py;
  };
  for (const Case c : {Case{4, 0.3, -0.5, 0.2, 0.1}, Case{4, -1.2, 1.1, -0.35, 0.25}, Case{0, 0.3, 0, 0.2, 0},
                       Case{0, -1.7, 0, 0.4, 0}}) {
    SCOPED_TRACE(::testing::Message() << "nside " << c.nside << " x0 " << c.x0);
    const double pz = std::sqrt(2.25 - c.px * c.px - c.py * c.py);  // inside the glass
    const Folded fx = fold(c.x0, c.x0 + c.px / pz * L, a), fy = fold(c.y0, c.y0 + c.py / pz * L, a);
    const int bounces = fx.walls + fy.walls;
    ASSERT_GE(bounces, 1);

    auto l = pipeLens(pipe(c.nside, a, a, L));
    l->setLightPipeMaxBounces(bounces);
    Ray r = airRay(c.x0, c.y0, c.px, c.py);
    r.enableTrajectory();
    traceRay(*l, r);
    ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
    EXPECT_NEAR(r.x(), fx.x, 1e-9);
    EXPECT_NEAR(r.y(), fy.x, 1e-9);
    EXPECT_NEAR(r.z(), L, 1e-9);
    EXPECT_NEAR(r.px(), fx.sign * c.px, 1e-12);
    EXPECT_NEAR(r.py(), fy.sign * c.py, 1e-12);
    EXPECT_NEAR(r.pz(), pz, 1e-12);
    // Optical path: n times the unfolded length (|p| = n, so that length is L·n/pz).
    const double inside = L / pz * 1.5;
    const double before = 1 / std::sqrt(1 - c.px * c.px - c.py * c.py);
    EXPECT_NEAR(r.opticalPathLength(), before + 1.5 * inside, 1e-9);
    // The trajectory holds the start, the entrance, each reflection and the exit.
    std::size_t atPipe = 0;
    for (const RayVertex& v : *r.trajectory()) atPipe += v.surface == l->surfaceArray()[1].get();
    EXPECT_EQ(atPipe, static_cast<std::size_t>(bounces) + 2);

    // One bounce fewer allowed: the last reflection is made and the ray then dies.
    l->setLightPipeMaxBounces(bounces - 1);
    Ray limited = airRay(c.x0, c.y0, c.px, c.py);
    traceRay(*l, limited);
    EXPECT_FALSE(limited.isAlive());
    EXPECT_STREQ(limited.tags().causeOfDeath, causeOfDeath::kTooManyBounces);
    EXPECT_EQ(limited.tags().diedAtSurface, l->surfaceArray()[1]->nickname());

    // The column trace takes pipes ray by ray, to the same end.
    l->setLightPipeMaxBounces(bounces);
    RayBundle bundle;
    bundle.append(airRay(c.x0, c.y0, c.px, c.py));
    traceRays(*l, bundle);
    const Ray b = bundle.ray(0);
    ASSERT_TRUE(b.isAlive());
    EXPECT_NEAR(b.x(), fx.x, 1e-9);
    EXPECT_NEAR(b.py(), fy.sign * c.py, 1e-12);
  }
}

TEST_F(LightPipeTest, BounceLimitZeroOrNegativeStopsAtTheFirstWall) {
  for (int limit : {0, -3}) {
    auto l = pipeLens(pipe(4, 2, 2, 50));
    l->setLightPipeMaxBounces(limit);
    Ray r = airRay(0.3, 0, 0.2, 0);
    traceRay(*l, r);
    EXPECT_STREQ(r.tags().causeOfDeath, causeOfDeath::kTooManyBounces) << limit;
    // The reflection was made before the ray died: it stands on the wall x = 2.
    EXPECT_NEAR(r.x(), 2, 1e-12);
    EXPECT_LT(r.px(), 0);
  }
}

TEST_F(LightPipeTest, EdgeHitsReflectAboutTheMeanPlane) {
  // A ray aimed at the edge x = y = 2 of the square pipe: the two walls are met at the
  // same point and the mean plane (normal (1, 1, 0)/√2) turns both transverse components.
  const double L = 50;
  auto l = pipeLens(pipe(4, 2, 2, L));
  const double px = 0.1, pz = std::sqrt(2.25 - 2 * px * px);
  Ray r = airRay(0, 0, px, px);
  traceRay(*l, r);
  ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
  const double u = px / pz * L;  // unfolded transverse travel, the same in x and y
  const Folded f = fold(0, u, 2);
  EXPECT_NEAR(r.x(), f.x, 1e-9);
  EXPECT_NEAR(r.y(), f.x, 1e-9);
  EXPECT_NEAR(r.px(), f.sign * px, 1e-12);
  EXPECT_NEAR(r.py(), f.sign * px, 1e-12);
}

TEST_F(LightPipeTest, NarrowingPipeSendsARayBack) {
  // rin 10, rout 1 over 10: a ray along the axis at x = 9 meets the wall of normal
  // (10, 0, 9)/√181, turns to (−0.9946, 0, 0.1049), meets the opposite wall and comes
  // back with pz < 0 to the entrance face: two reflections, then "Bounceback".
  auto l = pipeLens(pipe(4, 10, 1, 10));
  for (int limit : {1, 2}) {
    l->setLightPipeMaxBounces(limit);
    Ray r = airRay(9, 0, 0, 0);
    traceRay(*l, r);
    EXPECT_FALSE(r.isAlive());
    EXPECT_STREQ(r.tags().causeOfDeath, limit == 1 ? causeOfDeath::kTooManyBounces : causeOfDeath::kBounceback);
  }
}

TEST_F(LightPipeTest, NarrowingRoundPipeTakesTheNearerWall) {
  // A round pipe narrowing from 2 to 0.5 over 15 is a cone with its apex at z = 20. A ray
  // from the axis with slope s inside meets the wall where s·z = 2 − 0.1·z, and the line
  // meets the cone's other nappe again at s·z = 0.1·z − 2, beyond the exit face: the wall
  // met is the nearer crossing.
  auto l = pipeLens(pipe(0, 2, 0.5, 15));
  l->setLightPipeMaxBounces(0);
  const double px = 0.075, s = px / std::sqrt(2.25 - px * px);
  Ray r = airRay(0, 0, px, 0);
  traceRay(*l, r);
  EXPECT_STREQ(r.tags().causeOfDeath, causeOfDeath::kTooManyBounces);
  const double z = 2 / (0.1 + s);
  EXPECT_NEAR(r.z(), z, 1e-9);
  EXPECT_NEAR(r.x(), s * z, 1e-9);
  EXPECT_LT(r.px(), 0);
}

TEST_F(LightPipeTest, WallNumericalApertureLetsSteepRaysEscape) {
  // n = 1.5 into air: a wall NA of √(1.5² − 1). A ray meeting a wall at less than the
  // critical incidence 41.8103° has a normal momentum above the NA and escapes ("FTIR");
  // a ray just beyond it is reflected. With NA 0 nothing escapes.
  const double na = std::sqrt(1.5 * 1.5 - 1);
  EXPECT_NEAR(std::asin(1 / 1.5) / kDeg, 41.8103, 5e-5);
  auto l = pipeLens(pipe(4, 2, 2, 100));
  auto& p = static_cast<lens::LightPipe&>(*l->surfaceArray()[1]);
  struct Case {
    double incidence, na;
    bool escapes;
  };
  for (const Case c : {Case{41.76, na, true}, Case{41.86, na, false}, Case{30, 0, false}}) {
    SCOPED_TRACE(c.incidence);
    p.setValueForKey("NA", c.na);
    auto turner = makeTurner(p.turnerName(), shapeOfSurface(p));
    const double alpha = (90 - c.incidence) * kDeg;  // to the axis
    Ray r(XYZ{0, 0, 0}, XYZ{std::sin(alpha), 0, std::cos(alpha)}, 1.5);
    turner->setLightPipeMaxBounces(1000);
    turner->processRay(r);
    if (c.escapes) {
      EXPECT_STREQ(r.tags().causeOfDeath, causeOfDeath::kFTIR);
      EXPECT_NEAR(r.x(), 2, 1e-12);  // at the first wall
    } else {
      EXPECT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
      EXPECT_NEAR(r.z(), 100, 1e-9);
    }
  }
}

TEST_F(LightPipeTest, EntranceTestsKillRaysOutsideThePipe) {
  auto l = pipeLens(pipe(4, 2, 2, 50));
  Ray outside = airRay(2.5, 0, 0, 0), onWall = airRay(2, 0, 0, 0), inside = airRay(1.9, 0, 0, 0);
  for (Ray* r : {&outside, &onWall, &inside}) traceRay(*l, *r, nullptr, TraceOptions::checkingApertures(false));
  EXPECT_STREQ(outside.tags().causeOfDeath, causeOfDeath::kDoesNotEnterPipe);
  EXPECT_STREQ(onWall.tags().causeOfDeath, causeOfDeath::kDoesNotEnterPipe);
  EXPECT_TRUE(inside.isAlive());

  // The round pipe tests as it refracts, in analysis traces too.
  auto round = pipeLens(pipe(0, 2, 2, 50));
  Ray r = airRay(2.5, 0, 0, 0);
  traceRay(*round, r, nullptr, TraceOptions::analysis(true));
  EXPECT_STREQ(r.tags().causeOfDeath, causeOfDeath::kDoesNotEnterGenericPipe);
}

TEST_F(LightPipeTest, PipeTurnersRefuseOtherSurfaces) {
  auto plain = lens::Surface::create<lens::Surface>();
  support::expectRaises([&] { makeTurner("TurnerLightPipe", shapeOfSurface(*plain)); }, "TurnerLightPipe",
                        "Must have LightPipe class for TurnerLightPipe");
  support::expectRaises([&] { makeTurner("TurnerLightPipeGeneric", shapeOfSurface(*plain)); }, "TurnerLightPipe",
                        "Must have LightPipe class for TurnerLightPipe");
  support::expectRaises([&] { makeTurner("TurnerElbow", shapeOfSurface(*plain)); }, "TurnerElbow",
                        "Must have Elbow class for TurnerElbow");
}

TEST_F(LightPipeTest, ParaxialRayCrossesARoundPipeToItsExitFace) {
  const double L = 30;
  auto l = pipeLens(pipe(0, 2, 2, L));
  Ray r = airRay(0.5, 0, 0.01, 0);
  traceRay(*l, r, nullptr, TraceOptions::paraxial(true));
  ASSERT_TRUE(r.isAlive());
  // First order: u' = u/n in the glass, no walls.
  const double u = 0.01 / std::sqrt(1 - 1e-4), u1 = u / 1.5;
  EXPECT_NEAR(r.z(), L, 1e-12);
  EXPECT_NEAR(r.x(), 0.5 + u1 * L, 1e-12);
}

// The example a user opens: a square rod of N-BK7 (5 mm across, 60 long) 2 mm behind a
// point source of NA 0.4, the image on its exit face. Set ORB_WRITE_EXAMPLES to write it
// again; the test reads the committed file.
TEST_F(LightPipeTest, HomogenizingRodExampleFillsTheExitFace) {
  const char* resources = std::getenv("ORBELLINE_RESOURCES");
  ASSERT_TRUE(resources);
  const std::string path = std::string(resources) + "/../examples/HomogenizingRod.orb";
  tracing::registerSystemGenerator();
  if (std::getenv("ORB_WRITE_EXAMPLES")) {
    auto l = lens::Lens::create();
    auto object = lens::Surface::create<lens::Surface>();
    object->setThickness(2);
    l->insertInSurfaces(object);
    auto rod = pipe(4, 2.5, 2.5, 60);
    rod->setComment("homogenizing rod");
    l->insertInSurfaces(rod);
    rod->setGlass(testing::nbk7());
    l->insertInSurfaces(lens::Surface::create<lens::Surface>());
    l->setStopSurface(rod);
    // An emitter on the entrance face lights the rod for the irradiance screen.
    rod->setEmissionType("Lambertian emission");
    if (rod->emission()) rod->emission()->setNumericalAperture(0.3);
    l->setFieldType("Object height");
    std::vector<std::shared_ptr<lens::Field>> fields;
    for (double y : {0.0, 0.5}) {
      auto f = lens::Field::field();
      f->setY(y);
      fields.push_back(f);
    }
    l->setFieldArray(fields);
    l->setSourceDivergenceType(2);
    l->setSourceDivergenceValue(0.4);
    l->setNotes("A square homogenizing rod: the light of a point source fills the exit face.");
    l->generateSystemFromParaxialSpecification();
    platform::KeyedArchiver::archiveRootObjectToFile(platform::Value(platform::Dictionary{{"lens", platform::Value(l)}}),
                                                    path);
  }
  auto root = platform::KeyedUnarchiver::unarchiveObjectWithFile(path).asDictionary();
  auto l = root.get("lens").asObject<lens::Lens>();
  ASSERT_TRUE(l);
  l->generateSystemFromParaxialSpecification();
  ASSERT_FALSE(l->warningReSystemGeneration().has_value()) << *l->warningReSystemGeneration();
  const auto& rod = dynamic_cast<const lens::LightPipe&>(*l->surfaceArray()[1]);
  EXPECT_EQ(rod.numberOfSides(), 4);
  ASSERT_TRUE(rod.emission());
  EXPECT_EQ(rod.emission()->numericalAperture(), 0.3);
  auto rays = raysForFields(*l, l->fieldArray(), pupil::squareArrayOfPointsInUnitCircle(200));
  ASSERT_TRUE(rays && rays->size() > 100);
  traceRays(*l, std::span<Ray>(*rays));
  double reach = 0;
  for (const Ray& r : *rays) {
    ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
    EXPECT_LE(std::max(std::abs(r.x()), std::abs(r.y())), 2.5 + 1e-9);
    reach = std::max(reach, std::abs(r.y()));
  }
  // Rays of NA 0.4 cross the rod several times: the exit face is filled to its walls.
  EXPECT_GT(reach, 2.3);
}

// --- Elbow -------------------------------------------------------------------------------------

class ElbowTest : public LightPipeTest {
 protected:
  std::shared_ptr<lens::Lens> elbowLens() {
    auto e = lens::Surface::create<lens::Elbow>();
    return pipeLens(e);
  }
};

TEST_F(ElbowTest, SurfacesAfterTheElbowStandInItsExitFrame) {
  auto l = elbowLens();
  const auto& image = *l->surfaceArray()[2];
  const XYZ origin = image.originInGlobalCoordinates();
  EXPECT_NEAR(origin.x, 0, 1e-12);
  EXPECT_NEAR(origin.y, 1.519225, 5e-7);
  EXPECT_NEAR(origin.z, 17.364818, 5e-7);
  const XYZ axis = image.transform().rotateToGlobal({0, 0, 1});
  const XYZ up = image.transform().rotateToGlobal({0, 1, 0});
  EXPECT_NEAR(axis.y, std::sin(10 * kDeg), 1e-15);
  EXPECT_NEAR(axis.z, std::cos(10 * kDeg), 1e-15);
  EXPECT_NEAR(up.y, std::cos(10 * kDeg), 1e-15);
  EXPECT_NEAR(up.z, -std::sin(10 * kDeg), 1e-15);
}

TEST_F(ElbowTest, ParaxialAxialRayLeavesOnTheExitAxis) {
  auto l = elbowLens();
  Ray r = airRay(0, 0, 0, 0);
  traceRay(*l, r, nullptr, TraceOptions::paraxial(true));
  ASSERT_TRUE(r.isAlive());
  // Globally: at the end of the centre line, its momentum turned by the bend about x.
  EXPECT_NEAR(r.x(), 0, 1e-12);
  EXPECT_NEAR(r.y(), 100 * (1 - std::cos(10 * kDeg)), 1e-12);
  EXPECT_NEAR(r.z(), 100 * std::sin(10 * kDeg), 1e-12);
  EXPECT_NEAR(r.px(), 0, 1e-12);
  EXPECT_NEAR(r.py(), 1.5 * std::sin(10 * kDeg), 1e-12);
  EXPECT_NEAR(r.pz(), 1.5 * std::cos(10 * kDeg), 1e-12);
  EXPECT_NEAR(r.opticalPathLength(), 1 + 1.5 * 100 * 10 * kDeg, 1e-9);
}

TEST_F(ElbowTest, ExactRaysMeetTheWallsOfTheBend) {
  const double R = 100, a = 10, theta = 10 * kDeg;
  auto l = elbowLens();
  // Along the axis: no wall before the exit plane y sin θ + z cos θ = R sin θ, met at
  // z = R tan θ (17.6327).
  {
    auto turner = makeTurner("TurnerElbow", shapeOfSurface(*l->surfaceArray()[1]));
    Ray r(XYZ{0, 0, 0}, XYZ{0, 0, 1.5}, 1.5);
    turner->processRay(r);
    ASSERT_TRUE(r.isAlive());
    EXPECT_NEAR(r.y(), 0, 1e-12);
    EXPECT_NEAR(r.z(), R * std::tan(theta), 1e-9);
    EXPECT_NEAR(R * std::tan(theta), 17.6327, 5e-5);
  }
  // At y = −9, along z: the outer wall, the circle of radius R + a about (0, R) in the
  // plane x = 0, is met where z² = (R + a)² − (R + 9)²; the reflected ray then meets the
  // exit plane.
  auto turner = makeTurner("TurnerElbow", shapeOfSurface(*l->surfaceArray()[1]));
  Ray r(XYZ{0, -9, 0}, XYZ{0, 0, 1.5}, 1.5);
  r.enableTrajectory();
  turner->processRay(r);
  ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
  const double z1 = std::sqrt((R + a) * (R + a) - (R + 9) * (R + 9));
  const XYZ n{0, (-9 - R) / (R + a), z1 / (R + a)};
  const double mn = 1.5 * n.z;
  const XYZ m{0, -2 * mn * n.y, 1.5 - 2 * mn * n.z};
  const double s = (R * std::sin(theta) - (-9 * std::sin(theta) + z1 * std::cos(theta))) /
                   (m.y * std::sin(theta) + m.z * std::cos(theta));
  ASSERT_EQ(r.trajectory()->size(), 2u);  // the entrance and the reflection
  EXPECT_NEAR(r.trajectory()->back().position.y, -9, 1e-9);
  EXPECT_NEAR(r.trajectory()->back().position.z, z1, 1e-9);
  EXPECT_NEAR(r.y(), -9 + s * m.y, 1e-9);
  EXPECT_NEAR(r.z(), z1 + s * m.z, 1e-9);
  EXPECT_NEAR(r.py(), m.y, 1e-12);
  EXPECT_NEAR(r.pz(), m.z, 1e-12);
  EXPECT_NEAR(r.opticalPathLength(), 1.5 * z1 + 2.25 * s, 1e-9);
}

TEST_F(ElbowTest, RaysOutsideTheRodDoNotEnterUnlessAnalysed) {
  auto l = elbowLens();
  Ray r = airRay(0, -10.5, 0, 0);
  traceRay(*l, r, nullptr, TraceOptions::checkingApertures(false));
  EXPECT_STREQ(r.tags().causeOfDeath, causeOfDeath::kDoesNotEnterPipe);
  Ray analysed = airRay(0, -10.5, 0, 0);
  traceRay(*l, analysed, nullptr, TraceOptions::analysis(true));
  EXPECT_STRNE(analysed.tags().causeOfDeath, causeOfDeath::kDoesNotEnterPipe);
}

TEST_F(ElbowTest, SystemUpdatePlacesSurfacesAfterTheBend) {
  auto l = elbowLens();
  l->setValueForKeyPath("s1.theta", 30.0);
  generateSystemFromParaxialSpecification(*l);
  const XYZ origin = l->surfaceArray()[2]->originInGlobalCoordinates();
  EXPECT_NEAR(origin.y, 100 * (1 - std::cos(30 * kDeg)), 1e-9);
  EXPECT_NEAR(origin.z, 100 * std::sin(30 * kDeg), 1e-9);
  EXPECT_NEAR(l->surfaceArray()[1]->thickness(), 100 * 30 * kDeg, 1e-12);
}

}  // namespace
}  // namespace orb::tracing
