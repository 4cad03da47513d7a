#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/Thread.h"
#include "ZemaxLens.h"
#include "tracing/LensSummary.h"
#include "wavefront_illumination/ThroughputAgent.h"
#include "wavefront_illumination/ThroughputCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using analysis::plot::kName;
using analysis::plot::kXSeries;
using analysis::plot::kYSeries;
using platform::Value;
using tracing::Ray;

constexpr double kTwoPi = 2 * M_PI;

// An object point 100 mm before a plane stop whose clear aperture of radius
// 100·0.1/√0.99 passes exactly the cone of numerical aperture 0.1 in air, the image
// plane 10 mm behind it.
std::string coneLensText() {
  return platform::format(
      "MODE SEQ\nUNIT MM X W X CM MR CPMM\nOBNA 0.1 0\nFTYP 1 0 1 1 0 0 0\nXFLN 0\nYFLN 0\nWAVM 1 0.55 1\n"
      "SURF 0\n  TYPE STANDARD\n  DISZ 100\n"
      "SURF 1\n  STOP\n  TYPE STANDARD\n  DISZ 10\n  CLAP 0 %.15g\n"
      "SURF 2\n  TYPE STANDARD\n  DISZ 0\n",
      10 / std::sqrt(0.99));
}
const double kConeSolidAngle = kTwoPi * (1 - std::sqrt(0.99));  // 0.031495 sr

// Two spheres centred on the object point: every ray of the forward hemisphere meets
// both at normal incidence, rim rays included, so the whole hemisphere passes. With
// `immersed` the object and image spaces are a glass of index 1.5.
std::string hemisphereLensText(bool immersed = false) {
  const char* glass = immersed ? "  GLAS ___BLANK 1 0 1.5 60\n" : "";
  return platform::format(
      "MODE SEQ\nUNIT MM X W X CM MR CPMM\nOBNA 0.5 0\nFTYP 1 0 1 1 0 0 0\nXFLN 0\nYFLN 0\nWAVM 1 0.5875618 1\n"
      "SURF 0\n  TYPE STANDARD\n  DISZ 10\n%s"
      "SURF 1\n  STOP\n  TYPE STANDARD\n  CURV -0.1\n  DISZ 5\n%s"
      "SURF 2\n  TYPE STANDARD\n  CURV -0.0666666666666666667\n  DISZ 0\n",
      glass, glass);
}

// An object at infinity, the stop a plane of clear aperture radius 5 (entrance pupil 10),
// the image plane 50 mm behind it.
std::string pupilLensText() {
  return "MODE SEQ\nUNIT MM X W X CM MR CPMM\nENPD 10\nFTYP 0 0 1 1 0 0 0\nXFLN 0\nYFLN 0\nWAVM 1 0.55 1\n"
         "SURF 0\n  TYPE STANDARD\n  DISZ INFINITY\n"
         "SURF 1\n  STOP\n  TYPE STANDARD\n  DISZ 50\n  CLAP 0 5\n"
         "SURF 2\n  TYPE STANDARD\n  DISZ 0\n";
}

std::shared_ptr<lens::Field> axial() { return lens::Field::field(); }

foundation::VKInterval measure(const analysis::LensPtr& l, int initial, int search) {
  ThroughputAgent agent;
  agent.setLens(l);
  agent.setInitialDepth(initial);
  agent.setSearchDepth(search);
  return agent.throughputForField(axial(), l->primaryWave());
}

// --- the agent against closed forms ---------------------------------------------------------------

TEST(ThroughputAgent, FullyPassingHemisphereIsTwoPiWithEqualBounds) {
  for (bool immersed : {false, true}) {
    auto l = support::lensFromZemaxText(hemisphereLensText(immersed));
    ASSERT_FALSE(tracing::isObjectAtInfinity(*l));
    for (int initial : {0, 2}) {
      const auto i = measure(l, initial, 6);
      EXPECT_NEAR(i.min(), kTwoPi, 1e-9) << initial << immersed;
      EXPECT_NEAR(i.max(), kTwoPi, 1e-9) << initial << immersed;
    }
  }
}

// The chief ray of an object point behind a central obscuration is lost: the base ray
// is the middle of the first passing run of the fan from −90° up. The fan steps by
// 0.18°; the rays up to 490 pass beside the obscuration (|100·tan t| > 3 up to
// t = −1.8°), ray 0, grazing the stop plane, whether or not it meets it: the base ray is
// ray 245, at −45.9°.
TEST(ThroughputAgent, ObscuredChiefRayGivesTheMiddleOfTheFirstPassingRun) {
  std::string text = coneLensText();
  const auto clap = text.find("  CLAP");
  text.replace(clap, text.find('\n', clap) - clap, "  OBSC 0 3");
  auto l = support::lensFromZemaxText(text);
  ThroughputAgent agent;
  agent.setLens(l);
  const auto base = agent.baseRayForField(axial(), l->primaryWave());
  ASSERT_TRUE(base);
  const auto d = base->unitDirector();
  EXPECT_NEAR(d.x, 0, 1e-12);
  EXPECT_NEAR(std::atan2(d.y, d.z) * 180 / M_PI, -45.9, 1e-9);
  // An unobscured chief ray is the base ray itself, untraced.
  auto open = support::lensFromZemaxText(coneLensText());
  agent.setLens(open);
  const auto chief = agent.baseRayForField(axial(), open->primaryWave());
  ASSERT_TRUE(chief);
  EXPECT_NEAR(chief->unitDirector().z, 1, 1e-12);
  EXPECT_EQ(chief->position().z, open->surfaceArray().front()->transform().transformToGlobal({0, 0, 0}).z);
}

TEST(ThroughputAgent, ConeOfNumericalAperturePointOneIsBracketedAndTightens) {
  auto l = support::lensFromZemaxText(coneLensText());
  double previousWidth = 1e9;
  for (int depth : {6, 8, 10}) {
    SCOPED_TRACE(depth);
    const auto i = measure(l, 3, depth);
    EXPECT_LE(i.min(), kConeSolidAngle);
    EXPECT_GE(i.max(), kConeSolidAngle);
    const double width = i.max() - i.min();
    EXPECT_LT(width, previousWidth);
    previousWidth = width;
  }
  // At depth 10 the bounds are within 3 % of each other, their middle within 0.2 % of
  // 2π(1 − √0.99).
  const auto fine = measure(l, 3, 10);
  EXPECT_LT(fine.max() - fine.min(), 0.03 * kConeSolidAngle);
  EXPECT_NEAR(fine.mid(), kConeSolidAngle, 0.002 * kConeSolidAngle);
}

TEST(ThroughputAgent, InfiniteObjectBracketsThePupilAreaAndTightens) {
  auto l = support::lensFromZemaxText(pupilLensText());
  ASSERT_TRUE(tracing::isObjectAtInfinity(*l));
  ASSERT_NEAR(tracing::entrancePupilDiameter(*l), 10, 1e-9);
  const double area = M_PI * 100 / 4;
  double previousWidth = 1e9;
  for (int depth : {4, 6, 8}) {
    SCOPED_TRACE(depth);
    const auto i = measure(l, 3, depth);
    EXPECT_LE(i.min(), area);
    EXPECT_GE(i.max(), area);
    EXPECT_LT(i.max() - i.min(), previousWidth);
    previousWidth = i.max() - i.min();
  }
  EXPECT_LT(previousWidth, 0.02 * area);
}

// Search depth equal to the initial depth: no boundary refinement, and the depth
// reached is the initial one.
TEST(ThroughputAgent, SearchDepthAtTheInitialDepthRefinesNothing) {
  auto l = support::lensFromZemaxText(coneLensText());
  ThroughputAgent agent;
  agent.setLens(l);
  agent.setInitialDepth(2);
  agent.setSearchDepth(2);
  ASSERT_TRUE(agent.generateSamplingDataForField(axial(), l->primaryWave()));
  EXPECT_EQ(agent.presentDepth(), 2);
  // Four faces split twice: 64 leaves, none of them refined further.
  std::vector<geometry::TriangleNest*> leaves;
  for (const auto& t : agent.samplingTriangles()) t->addLeavesToArray(leaves);
  EXPECT_EQ(leaves.size(), 64u);
}

// The numerical-aperture restriction samples the cone itself: the lens's own cone of
// NA 0.1 then passes whole, and both bounds come close to the cap's solid angle from
// below (its rim is a polygon of 4·2^depth sides).
TEST(ThroughputAgent, NumericalApertureRestrictionSamplesTheCone) {
  auto l = support::lensFromZemaxText(hemisphereLensText());
  l->setSourceDivergenceType(2);  // object-space NA
  l->setSourceDivergenceValue(0.1);
  l->generateSystemFromParaxialSpecification();
  ASSERT_NEAR(tracing::objectSpaceNumericalAperture(*l), 0.1, 1e-9);
  ThroughputAgent agent;
  agent.setLens(l);
  agent.setUseLensObjectSpaceNumericalAperture(true);
  agent.setInitialDepth(3);
  agent.setSearchDepth(3);
  EXPECT_NEAR(agent.objectSpaceConeHalfAngle(), std::asin(0.1), 1e-12);
  const auto i = agent.throughputForField(axial(), l->primaryWave());
  EXPECT_EQ(i.min(), i.max());
  EXPECT_LE(i.max(), kConeSolidAngle);
  EXPECT_GT(i.max(), 0.99 * kConeSolidAngle);
  for (const auto& v : agent.samplingVertices()) {
    const auto* r = ThroughputAgent::passengerRay(*v);
    if (!r || v->q().z < 0.5) continue;  // the unused back vertex of the seed
    EXPECT_LE(std::acos(v->q().z), std::asin(0.1) + 1e-12);
  }
}

// A lens that passes nothing: no base ray, [0, 0]; a cancelled thread: the same.
TEST(ThroughputAgent, NothingPassingGivesAZeroInterval) {
  auto l = support::lensFromZemaxText(coneLensText());
  FilteringAgent agent;
  agent.setLens(l);
  agent.setFilterType("Radius");
  agent.setFilterRadius(1e-9);  // no ray of an object point 5 mm off the axis lands on it
  auto field = axial();
  field->setY(5);
  EXPECT_FALSE(agent.baseRayForField(field, l->primaryWave()));
  const auto i = agent.throughputForField(field, l->primaryWave());
  EXPECT_EQ(i.min(), 0);
  EXPECT_EQ(i.max(), 0);
}

// On a cancelled thread sampling stops: [0, 0] and no acceptance data; the same agent
// measures again on a thread that is not cancelled.
TEST(ThroughputAgent, CancelledThreadGivesNothing) {
  auto l = support::lensFromZemaxText(coneLensText());
  AcceptanceAgent agent;
  agent.setLens(l);
  std::optional<foundation::VKInterval> interval;
  std::optional<std::optional<CumulativeArea>> acceptance;
  platform::WorkerThread thread("worker", [&] {
    while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
    interval = agent.throughputForField(axial(), l->primaryWave());
    acceptance = agent.generateAcceptanceDataForField(axial(), l->primaryWave());
  });
  thread.cancel();
  thread.join();
  ASSERT_TRUE(interval && acceptance);
  EXPECT_EQ(*interval, foundation::VKInterval(0, 0));
  EXPECT_FALSE(*acceptance);
  EXPECT_GT(agent.throughputForField(axial(), l->primaryWave()).max(), 0);
}

// The radius filter kills what lies beyond the radius, with its cause, whether or not a
// surface is the target; "None" and "Surface" without a target surface filter nothing.
TEST(FilteringAgent, RadiusFilterKillsBeyondTheRadius) {
  std::vector<Ray> rays{Ray({0.6, 0.8, 0}, {0, 0, 1}, 1), Ray({0.6, 0.81, 0}, {0, 0, 1}, 1),
                        Ray({0, 0, 0}, {0, 0, 1}, 1)};
  FilteringAgent agent;
  for (const char* type : {"None", "Surface", ""}) {
    agent.setFilterType(type);
    auto copy = rays;
    agent.filterRays(copy, nullptr);
    for (const Ray& r : copy) EXPECT_TRUE(r.isAlive()) << type;
  }
  agent.setFilterType("Radius");
  agent.setFilterRadius(1.0);
  agent.filterRays(rays, nullptr);
  EXPECT_TRUE(rays[0].isAlive());  // on the circle
  EXPECT_FALSE(rays[1].isAlive());
  EXPECT_STREQ(rays[1].tags().causeOfDeath, "Ray radius outside acceptance radius");
  EXPECT_TRUE(rays[2].isAlive());
}

// The cone lens with the radius filter at the image plane, 10 mm behind the stop: the
// rays that land within r = 2 come from the cone of tan θ = 2/110.
TEST(FilteringAgent, RadiusFilterNarrowsTheCone) {
  auto l = support::lensFromZemaxText(coneLensText());
  FilteringAgent agent;
  agent.setLens(l);
  agent.setFilterType("Radius");
  agent.setFilterRadius(2.0);
  agent.setInitialDepth(3);
  agent.setSearchDepth(10);
  const auto i = agent.throughputForField(axial(), l->primaryWave());
  const double expected = kTwoPi * (1 - std::cos(std::atan(2.0 / 110)));
  EXPECT_LE(i.min(), expected);
  EXPECT_GE(i.max(), expected);
  EXPECT_NEAR(i.mid(), expected, 0.02 * expected);
}

// --- the cumulative area function -----------------------------------------------------------------

struct Mesh {
  geometry::TriangleNestVertexArray vertices;
  geometry::TriangleNestEdgeArray edges;
  geometry::TriangleNestArray triangles;
};

// A flat triangle of area 1/2 whose vertices carry rays of the given transverse momenta
// (momentum (s, 0, √(1 − s²)) against the normal +z).
geometry::TriangleNest* triangleWithMomenta(Mesh& mesh, double s0, double s1, double s2) {
  const double s[3] = {s0, s1, s2};
  const foundation::XYZ q[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  std::array<geometry::TriangleNestVertex*, 3> v;
  for (int k = 0; k < 3; ++k) {
    mesh.vertices.push_back(std::make_unique<geometry::TriangleNestVertex>(q[k]));
    v[k] = mesh.vertices.back().get();
    Ray r({0, 0, 0}, {s[k], 0, std::sqrt(1 - s[k] * s[k])}, 1);
    v[k]->setPassenger(r);
  }
  std::array<geometry::TriangleNestEdge*, 3> e;
  for (int k = 0; k < 3; ++k) {
    mesh.edges.push_back(std::make_unique<geometry::TriangleNestEdge>(v[k], v[(k + 1) % 3]));
    e[k] = mesh.edges.back().get();
  }
  mesh.triangles.push_back(std::make_unique<geometry::TriangleNest>(v, e));
  return mesh.triangles.back().get();
}

// F(s) of one triangle, for a linear s over it: the area fraction below s is
// (s − s0)²/((s1 − s0)(s2 − s0)) up to s1 and 1 − (s2 − s)²/((s2 − s1)(s2 − s0)) beyond.
TEST(AcceptanceAgent, CumulativeAreaOfATriangleFollowsItsLinearMomentum) {
  struct Case {
    const char* name;
    double s0, s1, s2;
    std::vector<std::pair<double, double>> knots;  // (s, F) expected at the knots
  };
  const std::vector<Case> cases = {
      {"equal momenta: a step of the whole area", 0.3, 0.3, 0.3, {{0.3, 0.5}}},
      {"general", 0.1, 0.2, 0.5, {{0.1, 0}, {0.2, 0.5 * 0.1 / 0.4}, {0.5, 0.5}}},
      {"two low equal", 0.1, 0.1, 0.4, {{0.1, 0}, {0.4, 0.5}}},
      {"two high equal", 0.1, 0.4, 0.4, {{0.1, 0}, {0.4, 0.5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Mesh mesh;
    auto* t = triangleWithMomenta(mesh, c.s2, c.s0, c.s1);  // order of the vertices does not matter
    const CumulativeArea f = AcceptanceAgent::cumulativeAreaFunctionForTriangles({t});
    ASSERT_EQ(f.x.count(), c.knots.size());
    for (std::size_t k = 0; k < c.knots.size(); ++k) {
      EXPECT_NEAR(f.x.at(k), c.knots[k].first, 1e-12);
      EXPECT_NEAR(f.y.at(k), c.knots[k].second, 1e-12);
    }
  }
  EXPECT_EQ(AcceptanceAgent::cumulativeAreaFunctionForTriangles({}).x.count(), 0u);
}

// Two triangles add; knots closer than 0.0001 to the last kept one are thinned away.
TEST(AcceptanceAgent, CumulativeAreaAddsTrianglesAndThinsCloseKnots) {
  Mesh mesh;
  auto* a = triangleWithMomenta(mesh, 0.2, 0.2, 0.2);
  auto* b = triangleWithMomenta(mesh, 0.20005, 0.20005, 0.20005);
  auto* c = triangleWithMomenta(mesh, 0.6, 0.6, 0.6);
  const CumulativeArea f = AcceptanceAgent::cumulativeAreaFunctionForTriangles({c, b, a});
  ASSERT_EQ(f.x.count(), 2u);
  EXPECT_NEAR(f.y.at(0), 0.5, 1e-12);
  EXPECT_NEAR(f.y.at(1), 1.5, 1e-12);
}

// The acceptance of the NA 0.1 cone: F rises to the passing solid angle at a transverse
// momentum of 0.1 (the rays keep their angle through the plane surfaces).
TEST(AcceptanceAgent, AcceptanceOfTheConeEndsAtItsNumericalAperture) {
  auto l = support::lensFromZemaxText(coneLensText());
  AcceptanceAgent agent;
  agent.setLens(l);
  agent.setInitialDepth(3);
  agent.setSearchDepth(9);
  const auto f = agent.generateAcceptanceDataForField(axial(), l->primaryWave());
  ASSERT_TRUE(f);
  ASSERT_GE(f->x.count(), 10u);
  EXPECT_NEAR(f->x.at(0), 0, 1e-3);
  EXPECT_LE(f->x.at(f->x.count() - 1), 0.1 + 1e-12);
  EXPECT_GT(f->x.at(f->x.count() - 1), 0.099);
  // F ends at the lower bound of the passing solid angle.
  EXPECT_LE(f->y.at(f->y.count() - 1), kConeSolidAngle);
  EXPECT_GT(f->y.at(f->y.count() - 1), 0.95 * kConeSolidAngle);
  // Where the mesh is fine, F(s) is the cap of sin θ = s: 2π(1 − √(1 − s²)). (Near the
  // axis the four seed faces meet, and the cap is the square inscribed in it.)
  std::size_t compared = 0;
  for (std::size_t k = 0; k < f->x.count(); ++k) {
    const double s = f->x.at(k);
    if (s < 0.06 || s > 0.097) continue;
    const double cap = kTwoPi * (1 - std::sqrt(1 - s * s));
    EXPECT_NEAR(f->y.at(k), cap, 0.03 * cap) << s;
    ++compared;
  }
  EXPECT_GT(compared, 10u);
  // The contract the optimiser reads: interior triangles whose vertices carry live rays.
  const auto interior = agent.interiorTriangles();
  ASSERT_FALSE(interior.empty());
  for (const auto* v : interior.front()->v()) {
    const Ray* r = ThroughputAgent::passengerRay(*v);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->isAlive());
  }
}

// --- the calculators ------------------------------------------------------------------------------

TEST(ThroughputCalculator, OrdinatesConvertTheMeasuredQuantity) {
  struct Case {
    const char* name;
    double q, index, expected;
  };
  const std::vector<Case> cases = {
      {"Solid angle", 1.25, 1, 1.25},
      {"Area (square mm)", 78.5, 1, 78.5},
      {"Sphere fraction", kTwoPi, 1, 0.5},
      {"Hemisphere fraction", kTwoPi, 1, 1},
      {"Numerical aperture", kTwoPi, 1.5, 1.5},
      {"Numerical aperture", kConeSolidAngle, 1, 0.1},
      {"Effective pupil diameter (mm)", M_PI * 25, 1, 10},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(ThroughputCalculator::convertThroughput(c.name, c.q, c.index), c.expected, 1e-12) << c.name;
  EXPECT_TRUE(std::isnan(ThroughputCalculator::convertThroughput("Relative", 1, 1)));
}

TEST(ThroughputCalculator, DepthLimitsAndTheirCoupling) {
  auto c = platform::makeObject<ThroughputCalculator>();
  EXPECT_EQ(c->initialDepth(), 0);
  EXPECT_EQ(c->searchDepth(), 8);
  c->setSearchDepth(2);
  c->setInitialDepth(3);  // raises the search depth
  EXPECT_EQ(c->searchDepth(), 3);
  c->setSearchDepth(1);  // lowers the initial depth
  EXPECT_EQ(c->initialDepth(), 1);
  c->setSearchDepth(17);  // beyond the limit: ignored
  EXPECT_EQ(c->searchDepth(), 1);
  c->setInitialDepth(4);
  EXPECT_EQ(c->initialDepth(), 1);
  c->setSearchDepth(16);
  EXPECT_EQ(c->searchDepth(), 16);
}

TEST(ThroughputCalculator, NamesFollowTheConjugate) {
  auto c = platform::makeObject<ThroughputCalculator>();
  EXPECT_EQ(c->ordinate(), "Solid angle");
  EXPECT_EQ(c->abscissa(), "Field y");
  c->setLens(support::lensFromZemaxText(pupilLensText()));
  EXPECT_EQ(c->ordinate(), "Area (square mm)");  // not offered at infinity: replaced
  EXPECT_EQ(c->searchTypes(), std::vector<std::string>{"Hexagon"});
  c->setOrdinate("Effective pupil diameter (mm)");
  c->setLens(support::lensFromZemaxText(coneLensText()));
  EXPECT_EQ(c->ordinate(), "Solid angle");

  auto a = platform::makeObject<AcceptanceCalculator>();
  EXPECT_EQ(a->abscissa(), "Acceptance NA");
  EXPECT_EQ(a->filterType(), "None");
  EXPECT_EQ(a->filterRadius(), 1.0);
  a->setLens(support::lensFromZemaxText(coneLensText()));
  EXPECT_EQ(a->availableOrdinates().back(), "Relative");
  EXPECT_EQ(a->availableOrdinates()[4], "OSNA fraction");
  a->setFilterType("Radius");
  EXPECT_TRUE(a->valueForKey("usesFilterRadius").asBool());
  const auto restored = a->restorationDictionary();
  for (const char* key : {"numberOfFields", "searchDepth", "resampleCurves", "abscissa", "ordinate", "filterType",
                          "filterRadius"})
    EXPECT_FALSE(restored.get(key).isNil()) << key;
  EXPECT_TRUE(restored.get("initialDepth").isNil());
}

// The hemisphere lens through the window's wiring: one height scanned at the middle of
// the field range, every ordinate of a fully passing hemisphere.
TEST(ThroughputCalculator, HemisphereInEveryOrdinate) {
  auto calculator = platform::makeObject<ThroughputCalculator>();
  calculator->setNumberOfFields(1);
  calculator->setSearchDepth(4);
  Window<ThroughputCalculator> window(support::lensFromZemaxText(hemisphereLensText(true)), calculator);
  ASSERT_TRUE(window.run());
  EXPECT_EQ(calculator->status(), "");
  const double nPrime = std::abs(tracing::imageSpaceIndexOfRefraction(*window.document->lens()));
  for (const auto& [ordinate, expected] : std::vector<std::pair<std::string, double>>{
           {"Solid angle", kTwoPi}, {"Hemisphere fraction", 1}, {"Sphere fraction", 0.5}, {"Numerical aperture", nPrime}}) {
    SCOPED_TRACE(ordinate);
    calculator->setOrdinate(ordinate);
    ASSERT_TRUE(window.settle());
    const auto& curves = window.curves();
    ASSERT_EQ(curves.size(), 3u);  // mean, min, max
    for (const Value& c : curves) {
      ASSERT_EQ(seriesOf(c, kYSeries).count(), 1u);
      EXPECT_NEAR(seriesOf(c, kYSeries).at(0), expected, 1e-9);
    }
    EXPECT_EQ(calculator->plotDictionary()->get(analysis::plot::kYLabel).asString(), ordinate);
  }
  EXPECT_NEAR(nPrime, 1.5, 1e-6);  // the model glass at the d line
}

TEST(ThroughputCalculator, ScansTheFieldHeightsPerWave) {
  auto calculator = platform::makeObject<ThroughputCalculator>();
  calculator->setNumberOfFields(3);
  calculator->setSearchDepth(5);
  calculator->setResampleCurves(true);
  auto l = support::lensFromZemaxText(pupilLensText());
  auto f = lens::Field::field();
  f->setY(2);
  l->setFieldArray({l->fieldArray().front(), f});
  l->generateSystemFromParaxialSpecification();
  Window<ThroughputCalculator> window(l, calculator);
  ASSERT_TRUE(window.run());
  const auto data = calculator->throughputData();
  ASSERT_TRUE(data);
  ASSERT_EQ(data->size(), 1u);
  const auto& scan = data->begin()->second;
  ASSERT_EQ(scan.heights.count(), 3u);
  EXPECT_EQ(scan.heights.at(0), 0);
  EXPECT_EQ(scan.heights.at(1), 1);
  EXPECT_EQ(scan.heights.at(2), 2);
  // The stop's area seen along the field angle: (π·25)·cos θ.
  for (std::size_t i = 0; i < 3; ++i) {
    const double area = M_PI * 25 * std::cos(scan.heights.at(i) * M_PI / 180);
    EXPECT_LE(scan.lower.at(i), area);
    EXPECT_GE(scan.upper.at(i), area);
  }
  // Mean, resampled mean, min, min resampled, max, max resampled.
  ASSERT_EQ(window.curves().size(), 6u);
  EXPECT_EQ(window.curves()[1].asDictionary().get(kName).asString(),
            l->primaryWave()->wavelengthShortString() + " (resampled)");
  EXPECT_EQ(seriesOf(window.curves()[1], kXSeries).count(), 15u);
}

TEST(AcceptanceCalculator, PlotsTheConeAndScalesRelative) {
  auto calculator = platform::makeObject<AcceptanceCalculator>();
  calculator->setSearchDepth(8);
  Window<AcceptanceCalculator> window(support::lensFromZemaxText(coneLensText()), calculator);
  ASSERT_TRUE(window.run());
  ASSERT_EQ(window.curves().size(), 1u);
  const foundation::VKSeries y = seriesOf(window.curves()[0], kYSeries);
  EXPECT_LE(y.at(y.count() - 1), kConeSolidAngle);
  EXPECT_GT(y.at(y.count() - 1), 0.9 * kConeSolidAngle);
  EXPECT_EQ(window.curves()[0].asDictionary().get(kName).asString().rfind("y(", 0), 0u);

  calculator->setOrdinate("Relative");
  ASSERT_TRUE(window.settle());
  const auto& relative = seriesOf(window.curves()[0], kYSeries);
  EXPECT_NEAR(relative.at(relative.count() - 1), 1, 1e-12);

  // The lens's object-space NA is 0.1: the fraction of its cone.
  calculator->setOrdinate("OSNA fraction");
  ASSERT_TRUE(window.settle());
  const auto& osna = seriesOf(window.curves()[0], kYSeries);
  ASSERT_EQ(osna.count(), y.count());
  for (std::size_t k = 0; k < y.count(); ++k) EXPECT_NEAR(osna.at(k), y.at(k) / kConeSolidAngle, 1e-12);
}

// Nothing passes: the relative ordinate has nothing to divide by, and says so.
TEST(AcceptanceCalculator, NothingPassingGivesAStatusNotInfinities) {
  auto calculator = platform::makeObject<AcceptanceCalculator>();
  calculator->setSearchDepth(3);
  calculator->setFilterType("Radius");
  calculator->setFilterRadius(1e-9);
  calculator->setOrdinate("Relative");
  auto l = support::lensFromZemaxText(coneLensText());
  l->fieldArray().front()->setY(5);
  Window<AcceptanceCalculator> window(l, calculator);
  ASSERT_TRUE(window.run());
  EXPECT_TRUE(window.curves().empty());
  EXPECT_NE(calculator->status(), "");
  EXPECT_EQ(calculator->maximumAcceptance(), 0);
}

}  // namespace
}  // namespace orb::wavefront
