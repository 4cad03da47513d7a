#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lens/ArchiveClasses.h"
#include "lens/AspectAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/SurfaceBiconic.h"
#include "lens/SurfaceConicY.h"
#include "lens/SurfaceDiffuser.h"
#include "lens/SurfaceKinoform.h"
#include "lens/SurfaceParaxialXY.h"
#include "lens/SurfacePoly.h"
#include "lens/SurfaceToric.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/SurfaceVortex.h"
#include "lens/SurfaceZernikeSag.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb;
using namespace orb::lens;
using foundation::XY;
using foundation::XYZ;

namespace {

class FreeformSurfaces : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { registerArchiveClasses(); }
};

void set(Surface& s, const std::string& title, double value) {
  auto p = s.parameterForTitle(title);
  ASSERT_TRUE(p) << title;
  p->setValue(value);
}

template <class T>
std::shared_ptr<T> make(std::vector<std::pair<std::string, double>> values, double radius = 0, double conic = 0) {
  auto s = Surface::create<T>();
  if (radius != 0) s->setRadiusOfCurvature(radius);
  s->setConicConstant(conic);
  for (const auto& [title, value] : values) set(*s, title, value);
  return s;
}

// Sphere of radius R (centre on +z at R) at height r: the reference profile.
double sphereSag(double R, double r) { return R - std::copysign(std::sqrt(R * R - r * r), R); }

// The unit normal from central differences of the sag, pointing to +z.
XYZ normalByDifferences(const Surface& s, XY q) {
  const double h = 1e-6;
  const double sx = (s.sagAtQ({q.x + h, q.y}) - s.sagAtQ({q.x - h, q.y})) / (2 * h);
  const double sy = (s.sagAtQ({q.x, q.y + h}) - s.sagAtQ({q.x, q.y - h})) / (2 * h);
  const double l = std::sqrt(sx * sx + sy * sy + 1);
  return {-sx / l, -sy / l, 1 / l};
}

void expectNormalMatchesSag(const Surface& s, XY q) {
  const XYZ n = s.surfaceNormalAtPosition({q.x, q.y, s.sagAtQ(q)});
  const XYZ d = normalByDifferences(s, q);
  EXPECT_NEAR(n.x, d.x, 1e-7) << "at " << q.x << ", " << q.y;
  EXPECT_NEAR(n.y, d.y, 1e-7) << "at " << q.x << ", " << q.y;
  EXPECT_NEAR(n.z, d.z, 1e-7) << "at " << q.x << ", " << q.y;
  const XYZ m = s.surfaceNormalAtQ(q);
  EXPECT_NEAR(m.x, d.x, 1e-7);
  EXPECT_NEAR(m.y, d.y, 1e-7);
}

// Second derivatives of a sag surface (gz = −1) against differences of the sag.
void expectCurvaturesMatchSag(const Surface& s, XY q) {
  const double h = 1e-4;
  auto z = [&](double dx, double dy) { return s.sagAtQ({q.x + dx, q.y + dy}); };
  const double zxx = (z(h, 0) - 2 * z(0, 0) + z(-h, 0)) / (h * h);
  const double zyy = (z(0, h) - 2 * z(0, 0) + z(0, -h)) / (h * h);
  const double zxy = (z(h, h) - z(h, -h) - z(-h, h) + z(-h, -h)) / (4 * h * h);
  const auto e = s.taylorExpansionAtPosition({q.x, q.y, z(0, 0)});
  EXPECT_EQ(e.gz, -1);
  EXPECT_NEAR(e.hxx, zxx, 2e-5) << "at " << q.x << ", " << q.y;
  EXPECT_NEAR(e.hyy, zyy, 2e-5) << "at " << q.x << ", " << q.y;
  EXPECT_NEAR(e.hxy, zxy, 2e-5) << "at " << q.x << ", " << q.y;
}

std::shared_ptr<Surface> roundTrip(const std::shared_ptr<Surface>& s) {
  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{s});
  return std::dynamic_pointer_cast<Surface>(
      platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray()[0].asObject());
}

}  // namespace

// --- registry and archive -------------------------------------------------------------------

TEST_F(FreeformSurfaces, ZemaxWordsAndMenuNamesMakeTheirTypes) {
  struct Row {
    const char* key;
    const char* className;
    std::optional<std::string> zemaxType;
  };
  const std::vector<Row> rows{
      {"TOROIDAL", "SurfaceToricY", "TOROIDAL"},      {"Toric Y", "SurfaceToricY", "TOROIDAL"},
      {"Toric X", "SurfaceToricX", std::nullopt},     {"BICONICX", "SurfaceBiconic", "BICONICX"},
      {"Biconic", "SurfaceBiconic", "BICONICX"},      {"ZERNSURF", "SurfaceZernikeSag", "ZERNSURF"},
      {"SZERNSAG", "SurfaceZernikeSag", "ZERNSURF"},  {"Zernike", "SurfaceZernikeSag", "ZERNSURF"},
      {"BINARY_2", "SurfaceKinoform", "BINARY_2"},    {"Kinoform", "SurfaceKinoform", "BINARY_2"},
      {"FRESNELS", "SurfaceFresnel", "FRESNELS"},     {"Fresnel", "SurfaceFresnel", "FRESNELS"},
      {"PARAX_XY", "SurfaceParaxialXY", "PARAX_XY"},  {"Paraxial XY", "SurfaceParaxialXY", "PARAX_XY"},
      {"Paraxial Fly Eye", "SurfaceParaxialFlyEye", "PARAXIAL"},
      {"Polynomial", "SurfacePoly", std::nullopt},    {"Vortex", "SurfaceVortex", std::nullopt},
      {"Diffuser", "SurfaceDiffuser", std::nullopt},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.key);
    auto s = SurfaceTypeRegistry::shared().surfaceOfType(r.key);
    EXPECT_EQ(s->className(), r.className);
    EXPECT_EQ(s->zemaxType(), r.zemaxType);
    EXPECT_EQ(s->parameterArray().size(), s->parameterTitleArray().size());
  }
  // Every menu name is registered.
  for (const auto& name : SurfaceTypeRegistry::types())
    EXPECT_TRUE(SurfaceTypeRegistry::shared().isRegistered(name)) << name;
}

TEST_F(FreeformSurfaces, DefaultsAndTitlesAreThoseOfEachType) {
  auto fly = Surface::create<SurfaceParaxialFlyEye>();
  for (auto [t, v] : std::vector<std::pair<const char*, double>>{{"f", 42}, {"dx", 3}, {"dy", 4}, {"nx", 13}, {"ny", 10}})
    EXPECT_EQ(fly->parameterValue(t), v) << t;
  auto xy = Surface::create<SurfaceParaxialXY>();
  EXPECT_EQ(xy->parameterValue("powerX"), 0);
  EXPECT_EQ(xy->parameterValue("powerY"), 0.01);
  auto zern = Surface::create<SurfaceZernikeSag>();
  EXPECT_EQ(zern->parameterValue("n"), 36);
  EXPECT_EQ(zern->parameterValue("R"), 10);
  EXPECT_EQ(zern->parameterTitleArray().size(), 10u + 2 + 36);
  EXPECT_EQ(Surface::create<SurfaceKinoform>()->parameterTitleArray().size(), 1u + 8 + 2 + 198);
  EXPECT_EQ(Surface::create<SurfaceKinoform>()->parameterValue("m"), 1);
  EXPECT_EQ(Surface::create<SurfacePoly>()->parameterTitleArray().size(), 104u);
  EXPECT_EQ(Surface::create<SurfaceVortex>()->parameterValue("pitch"), 0.3);
  EXPECT_EQ(Surface::create<SurfaceDiffuser>()->parameterValue("fwhm"), 5);
  EXPECT_EQ(Surface::create<SurfaceToricY>()->parameterTitleArray(),
            (std::vector<std::string>{"toricR", "a2", "a4", "a6", "a8", "a10", "a12", "a14"}));
}

TEST_F(FreeformSurfaces, EachTypeRoundTripsThroughTheKeyedArchive) {
  const std::vector<std::shared_ptr<Surface>> surfaces{
      make<SurfaceToricX>({{"toricR", 40}, {"a4", 1e-6}}, 80),
      make<SurfaceToricY>({{"toricR", -40}}, 80, -0.5),
      make<SurfaceBiconic>({{"Rx", 60}, {"kx", -1}}, 120),
      make<SurfaceZernikeSag>({{"A4", 0.01}, {"A7", -0.002}, {"R", 5}}, 90),
      make<SurfaceKinoform>({{"nterm", 2}, {"rnorm", 5}, {"b2", -30}, {"b4", 2}}, 200),
      make<SurfaceFresnel>({{"a4", 1e-4}}, 50),
      make<SurfacePoly>({{"x1y1", 0.01}, {"x2y0", 0.02}}),
      make<SurfaceConicY>({}, 30),
      make<SurfaceParaxialXY>({{"powerX", 0.02}}),
      make<SurfaceParaxialFlyEye>({{"nx", 4}}),
      make<SurfaceVortex>({{"pitch", 0.7}}),
      make<SurfaceDiffuser>({{"fwhm", 2}}),
  };
  for (const auto& s : surfaces) {
    SCOPED_TRACE(s->className());
    s->setThickness(2.5);
    auto back = roundTrip(s);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->className(), s->className());
    EXPECT_EQ(back->thickness(), 2.5);
    for (const auto& p : s->parameterArray()) EXPECT_EQ(back->parameterValue(p->title()), p->value()) << p->title();
    // The caches come back with the parameters.
    EXPECT_EQ(back->sagAtQ({0.7, -1.1}), s->sagAtQ({0.7, -1.1}));
    EXPECT_EQ(back->phaseAtPosition({0.7, -1.1, 0}), s->phaseAtPosition({0.7, -1.1, 0}));
    EXPECT_EQ(back->pusherName(), s->pusherName());
    EXPECT_EQ(back->turnerName(), s->turnerName());
  }
}

// --- toric ---------------------------------------------------------------------------------

TEST_F(FreeformSurfaces, ToricYIsTheProfileSweptAboutItsToroidAxis) {
  // Profile: sphere of radius 100 in y; swept about the axis parallel to y at z = Rt.
  for (double rt : {50.0, -70.0}) {
    SCOPED_TRACE(rt);
    auto s = make<SurfaceToricY>({{"toricR", rt}}, 100);
    for (XY q : {XY{0, 0}, XY{3, 0}, XY{0, 7}, XY{4, -6}, XY{-9, 12}}) {
      const double z = s->sagAtQ(q);
      // The point lies on the circle about the axis whose radius reaches the profile.
      EXPECT_NEAR(std::hypot(q.x, rt - z), std::abs(rt - sphereSag(100, q.y)), 1e-12);
      EXPECT_TRUE(s->validQ(q));
      expectNormalMatchesSag(*s, q);
      EXPECT_NEAR(s->implicitFunctionAtPosition({q.x, q.y, z}), 0, 1e-12);
    }
    // At the vertex the curvatures are 1/Ry across y and 1/Rt across x.
    const auto e = s->taylorExpansionAtPosition({0, 0, 0});
    EXPECT_NEAR(e.hyy, 1.0 / 100, 1e-15);
    EXPECT_NEAR(e.hxx, 1.0 / rt, 1e-15);
    EXPECT_EQ(s->pusherName(), "PusherIterative");
  }
}

TEST_F(FreeformSurfaces, ToricExpansionIsTheDerivativeOfItsImplicitFunction) {
  auto s = make<SurfaceToricX>({{"toricR", 35}, {"a4", 2e-6}}, -60, 0.3);
  const XYZ p{4, -5, 1.2};  // off the surface: the expansion is of F everywhere
  const double h = 1e-5;
  auto F = [&](double dx, double dy, double dz) { return s->implicitFunctionAtPosition({p.x + dx, p.y + dy, p.z + dz}); };
  const auto e = s->taylorExpansionAtPosition(p);
  EXPECT_NEAR(e.gx, (F(h, 0, 0) - F(-h, 0, 0)) / (2 * h), 1e-8);
  EXPECT_NEAR(e.gy, (F(0, h, 0) - F(0, -h, 0)) / (2 * h), 1e-8);
  EXPECT_NEAR(e.gz, (F(0, 0, h) - F(0, 0, -h)) / (2 * h), 1e-8);
  const double k = 1e-3;
  EXPECT_NEAR(e.hyy, (F(0, k, 0) - 2 * F(0, 0, 0) + F(0, -k, 0)) / (k * k), 1e-6);
  EXPECT_NEAR(e.hzz, (F(0, 0, k) - 2 * F(0, 0, 0) + F(0, 0, -k)) / (k * k), 1e-6);
  EXPECT_NEAR(e.hyz, (F(0, k, k) - F(0, k, -k) - F(0, -k, k) + F(0, -k, -k)) / (4 * k * k), 1e-6);
  EXPECT_NEAR(e.hxx, (F(k, 0, 0) - 2 * F(0, 0, 0) + F(-k, 0, 0)) / (k * k), 1e-6);
}

TEST_F(FreeformSurfaces, ToricWithoutToroidRadiusIsACylinderOnTheConicPusher) {
  auto y = make<SurfaceToricY>({{"toricR", 0}}, 40, -0.8);
  auto x = make<SurfaceToricX>({{"toricR", 0}}, 40, -0.8);
  auto cylinder = make<SurfaceConicY>({}, 40, -0.8);
  EXPECT_TRUE(std::isinf(y->toroidRadius()));
  for (XY q : {XY{0, 5}, XY{12, 5}, XY{-30, -9}, XY{7, 0}}) {
    EXPECT_EQ(y->sagAtQ(q), cylinder->sagAtQ(q));
    EXPECT_EQ(x->sagAtQ({q.y, q.x}), cylinder->sagAtQ(q));
    EXPECT_NEAR(y->sagAtQ(q), sphereSag(40, 0) + cylinder->conicSection().sagAtOrdinate(q.y), 0);
  }
  EXPECT_EQ(y->pusherName(), "PusherConicY");
  EXPECT_EQ(x->pusherName(), "PusherConicX");
  EXPECT_EQ(cylinder->sagAtQ({25, 0}), 0);
  // Aspheric terms need the iterative pusher.
  set(*y, "a4", 1e-7);
  EXPECT_EQ(y->pusherName(), "PusherIterative");
}

TEST_F(FreeformSurfaces, ToricFlipMirrorsTheShapeAndTwiceRestoresIt) {
  auto s = make<SurfaceToricY>({{"toricR", 45}, {"a4", 3e-6}}, 100, -0.2);
  const XY q{5, -8};
  const double before = s->sagAtQ(q);
  s->flip();
  EXPECT_EQ(s->parameterValue("toricR"), -45);
  EXPECT_NEAR(s->sagAtQ(q), -before, 1e-13);
  s->flip();
  EXPECT_EQ(s->parameterValue("toricR"), 45);
  EXPECT_EQ(s->sagAtQ(q), before);
}

TEST_F(FreeformSurfaces, ToricXGoesToZemaxAsAToricYBetweenQuarterTurns) {
  auto s = make<SurfaceToricX>({{"toricR", 30}, {"a6", 1e-9}}, 70);
  s->setThickness(4);
  const auto written = s->zemaxSurfaces();
  ASSERT_EQ(written.size(), 3u);
  EXPECT_TRUE(written[0]->isCoordinateBreak());
  EXPECT_EQ(written[0]->comment(), "<toric-x>");
  EXPECT_EQ(written[0]->parameterValue("rz"), 90);
  EXPECT_EQ(written[0]->thickness(), 0);
  EXPECT_EQ(written[1]->className(), "SurfaceToricY");
  EXPECT_EQ(written[1]->thickness(), 4);
  EXPECT_EQ(written[1]->parameterValue("toricR"), 30);
  EXPECT_EQ(written[1]->parameterValue("a6"), 1e-9);
  EXPECT_EQ(written[2]->comment(), "</toric-x>");
  EXPECT_EQ(written[2]->parameterValue("rz"), -90);
  // Turned a quarter about z the Toric Y is the Toric X: (x, y) → (−y, x) in its frame.
  for (XY q : {XY{3, 4}, XY{-6, 2}}) EXPECT_EQ(written[1]->sagAtQ({q.y, -q.x}), s->sagAtQ(q));
}

// --- biconic -----------------------------------------------------------------------------------

TEST_F(FreeformSurfaces, BiconicMeridiansAreTheirOwnConics) {
  // x: parabola of radius 50 (kx = −1); y: sphere of radius 100.
  auto s = make<SurfaceBiconic>({{"Rx", 50}, {"kx", -1}}, 100);
  EXPECT_DOUBLE_EQ(s->sagAtQ({3, 0}), 9.0 / 100);
  EXPECT_NEAR(s->sagAtQ({0, 4}), sphereSag(100, 4), 1e-14);
  EXPECT_DOUBLE_EQ(s->maximumRadius(), 100);  // the parabola is unbounded
  for (XY q : {XY{3, 4}, XY{-10, 20}, XY{0, 0}, XY{15, -2}}) {
    expectNormalMatchesSag(*s, q);
    expectCurvaturesMatchSag(*s, q);
  }
  // Rx = 0: flat in x, curved in y.
  set(*s, "Rx", 0);
  EXPECT_EQ(s->sagAtQ({8, 0}), 0);
  EXPECT_NEAR(s->sagAtQ({0, 4}), sphereSag(100, 4), 1e-14);
  // Past the valid region S ≥ 1.
  EXPECT_FALSE(s->validQ({0, 100.5}));
}

TEST_F(FreeformSurfaces, BiconicWithEqualMeridiansIsTheConic) {
  auto conic = make<Surface>({}, -80, -0.6);
  auto s = make<SurfaceBiconic>({{"Rx", -80}, {"kx", -0.6}}, -80, -0.6);
  for (XY q : {XY{3, 4}, XY{-20, 11}, XY{0, 30}}) {
    EXPECT_NEAR(s->sagAtQ(q), conic->sagAtQ(q), 1e-13);
    const XYZ a = s->surfaceNormalAtQ(q), b = conic->surfaceNormalAtQ(q);
    EXPECT_NEAR(a.x, b.x, 1e-13);
    EXPECT_NEAR(a.y, b.y, 1e-13);
  }
  s->scaleByFactor(2);
  EXPECT_EQ(s->parameterValue("Rx"), -160);
  EXPECT_NEAR(s->radiusOfCurvature(), -160, 1e-12);
}

// --- Zernike ---------------------------------------------------------------------------------------

TEST_F(FreeformSurfaces, ZernikeTermsAreNollsPolynomials) {
  struct Row {
    int j;
    std::function<double(double, double)> z;  // of ρ, φ
  };
  const double s3 = std::sqrt(3), s6 = std::sqrt(6), s8 = std::sqrt(8), s5 = std::sqrt(5);
  const std::vector<Row> rows{
      {1, [](double, double) { return 1.0; }},
      {2, [](double r, double f) { return 2 * r * std::cos(f); }},
      {3, [](double r, double f) { return 2 * r * std::sin(f); }},
      {4, [&](double r, double) { return s3 * (2 * r * r - 1); }},
      {5, [&](double r, double f) { return s6 * r * r * std::sin(2 * f); }},
      {6, [&](double r, double f) { return s6 * r * r * std::cos(2 * f); }},
      {7, [&](double r, double f) { return s8 * (3 * r * r * r - 2 * r) * std::sin(f); }},
      {8, [&](double r, double f) { return s8 * (3 * r * r * r - 2 * r) * std::cos(f); }},
      {11, [&](double r, double) { return s5 * (6 * std::pow(r, 4) - 6 * r * r + 1); }},
      {22, [](double r, double) { return std::sqrt(7.0) * (20 * std::pow(r, 6) - 30 * std::pow(r, 4) + 12 * r * r - 1); }},
      {36, [](double r, double f) { return 4 * std::pow(r, 7) * std::cos(7 * f); }},
  };
  for (const auto& row : rows)
    for (auto [r, f] : {std::pair{0.3, 0.4}, std::pair{0.9, -2.0}, std::pair{1.2, 2.9}}) {
      EXPECT_NEAR(SurfaceZernikeSag::zernike(row.j, r * std::cos(f), r * std::sin(f)), row.z(r, f), 1e-12)
          << "Z" << row.j << " at ρ " << r;
    }
  EXPECT_EQ(SurfaceZernikeSag::zernike(37, 0.5, 0.5), 0);
  EXPECT_EQ(SurfaceZernikeSag::zernike(0, 0.5, 0.5), 0);
}

TEST_F(FreeformSurfaces, ZernikeDepartureAddsToTheAsphere) {
  auto s = make<SurfaceZernikeSag>({{"A4", 0.02}, {"R", 8}}, 150);
  auto base = make<SurfaceAsphere>({}, 150);
  // Only A4: at x = R the departure is √3·A4.
  EXPECT_NEAR(s->sagAtQ({8, 0}) - base->sagAtQ({8, 0}), std::sqrt(3) * 0.02, 1e-15);
  EXPECT_NEAR(s->zernikeSagAtQ({0, 0}), -std::sqrt(3) * 0.02, 1e-15);
  set(*s, "A7", -0.003);
  set(*s, "a4", 1e-6);
  base = make<SurfaceAsphere>({{"a4", 1e-6}}, 150);
  for (XY q : {XY{2, 3}, XY{-5, 1}, XY{0.5, -6}}) {
    expectNormalMatchesSag(*s, q);
    expectCurvaturesMatchSag(*s, q);
  }
  // n = 0: an ordinary asphere; n = 40: all 36 terms.
  set(*s, "n", 0);
  EXPECT_EQ(s->sagAtQ({2, 3}), base->sagAtQ({2, 3}));
  set(*s, "n", 40);
  set(*s, "A4", 0);
  set(*s, "A7", 0);
  set(*s, "A36", 0.1);
  EXPECT_NEAR(s->sagAtQ({8, 0}) - base->sagAtQ({8, 0}), 0.4, 1e-14);  // 4ρ⁷cos 0 at ρ = 1
  s->flip();
  EXPECT_EQ(s->parameterValue("A36"), -0.1);
  EXPECT_EQ(s->parameterValue("n"), 40);
  s->flip();
  EXPECT_EQ(s->parameterValue("A36"), 0.1);
}

// A normalisation radius of 0 leaves no disc to normalise over: the surface is its asphere
// (as with n = 0), never NaN, in sag, slope and curvatures, on the axis and off it.
TEST_F(FreeformSurfaces, ZernikeWithoutNormalisationRadiusIsItsAsphere) {
  auto s = make<SurfaceZernikeSag>({{"A1", 0.3}, {"A4", 0.02}, {"A7", -0.01}, {"R", 0}, {"a4", 1e-6}}, 150);
  auto base = make<SurfaceAsphere>({{"a4", 1e-6}}, 150);
  for (XY q : {XY{0, 0}, XY{2, 3}, XY{-5, 0}}) {
    SCOPED_TRACE(q.x);
    EXPECT_EQ(s->sagAtQ(q), base->sagAtQ(q));
    EXPECT_EQ(s->sagGradientAtQ(q), base->sagGradientAtQ(q));
    const auto e = s->taylorExpansionAtPosition({q.x, q.y, s->sagAtQ(q)});
    const auto b = base->taylorExpansionAtPosition({q.x, q.y, base->sagAtQ(q)});
    EXPECT_EQ(e.hxx, b.hxx);
    EXPECT_EQ(e.hxy, b.hxy);
    EXPECT_EQ(e.hyy, b.hyy);
  }
}

// --- kinoform and Fresnel ------------------------------------------------------------------------------

TEST_F(FreeformSurfaces, KinoformPhaseIsTheOrderTimesItsNormalisedPolynomial) {
  auto s = make<SurfaceKinoform>({{"m", 2}, {"nterm", 2}, {"rnorm", 4}, {"b2", -50}, {"b4", 3}});
  for (double r : {0.0, 1.0, 2.5, 4.0}) {
    const double rho = r / 4;
    EXPECT_NEAR(s->phaseAtRadius(r), 2 * (-50 * rho * rho + 3 * std::pow(rho, 4)), 1e-12) << r;
    EXPECT_NEAR(s->phaseRadialGradientAtRadius(r), 2 * (-50 * 2 * r / 16 + 3 * 4 * r * r * r / 256), 1e-12) << r;
  }
  // On a plane the tangential gradient is radial with the phase's slope.
  const XYZ g = s->phaseTangentGradientAtPosition({1.2, -1.6, 0});
  EXPECT_NEAR(g.x, s->phaseRadialGradientAtRadius(2) * 0.6, 1e-12);
  EXPECT_NEAR(g.y, s->phaseRadialGradientAtRadius(2) * -0.8, 1e-12);
  EXPECT_NEAR(g.z, 0, 1e-15);
  EXPECT_EQ(s->phaseTangentGradientAtPosition({0, 0, 0}), (XYZ{0, 0, 0}));
  // On a curved kinoform the gradient lies in the tangent plane and its horizontal radial
  // part is still m·P′(r).
  s->setRadiusOfCurvature(20);
  const XYZ p{1.2, -1.6, s->sagAtQ({1.2, -1.6})};
  const XYZ t = s->phaseTangentGradientAtPosition(p), n = s->surfaceNormalAtPosition(p);
  EXPECT_NEAR(t.x * n.x + t.y * n.y + t.z * n.z, 0, 1e-12);
  EXPECT_NEAR(t.x * 0.6 - t.y * 0.8, s->phaseRadialGradientAtRadius(2), 1e-12);
  // Without a normalisation radius the terms have no scale: no phase, not infinities.
  set(*s, "rnorm", 0);
  EXPECT_EQ(s->phasePolynomial(), nullptr);
  EXPECT_EQ(s->phaseTangentGradientAtPosition({1, 1, s->sagAtQ({1, 1})}), (XYZ{0, 0, 0}));
  set(*s, "rnorm", 4);
  // No terms, or no phase coefficients: no phase.
  set(*s, "nterm", 0);
  EXPECT_EQ(s->phasePolynomial(), nullptr);
  EXPECT_EQ(s->phaseAtRadius(3), 0);
  // More terms than exist: all 198.
  set(*s, "nterm", 500);
  set(*s, "b396", 0.25);
  EXPECT_NEAR(s->phaseAtRadius(4), 2 * (-50 + 3 + 0.25), 1e-12);
}

TEST_F(FreeformSurfaces, FresnelLiesFlatButKeepsTheAspheresSlope) {
  auto s = make<SurfaceFresnel>({{"a4", 1e-5}}, 60);
  auto a = make<SurfaceAsphere>({{"a4", 1e-5}}, 60);
  EXPECT_TRUE(s->isPlanarInAppearance());
  EXPECT_EQ(s->pusherName(), "Pusher");
  const XYZ n = s->surfaceNormalAtQ({3, 4}), m = a->surfaceNormalAtQ({3, 4});
  EXPECT_EQ(n, m);
  EXPECT_GT(std::abs(n.y), 0.05);
}

// --- conic Y, paraxial XY, fly's eye ----------------------------------------------------------------------

TEST_F(FreeformSurfaces, ConicYIsCurvedInYOnly) {
  auto s = make<SurfaceConicY>({}, 25, -0.5);
  EXPECT_EQ(s->sagAtQ({10, 0}), 0);
  EXPECT_NEAR(s->sagAtQ({10, 5}), s->conicSection().sagAtOrdinate(5), 0);
  EXPECT_FALSE(s->isAxisymmetric());
  EXPECT_EQ(s->pusherName(), "PusherConicY");
  for (XY q : {XY{4, 3}, XY{-7, -9}}) {
    expectNormalMatchesSag(*s, q);
    expectCurvaturesMatchSag(*s, q);
  }
}

TEST_F(FreeformSurfaces, ScalingKeepsIdealLensesInProportion) {
  auto xy = make<SurfaceParaxialXY>({{"powerX", 0.04}, {"powerY", 0.01}});
  xy->scaleByFactor(2);
  EXPECT_EQ(xy->parameterValue("powerX"), 0.02);
  EXPECT_EQ(xy->parameterValue("powerY"), 0.005);
  auto fly = Surface::create<SurfaceParaxialFlyEye>();
  fly->scaleByFactor(2);
  EXPECT_EQ(fly->parameterValue("dx"), 6);
  EXPECT_EQ(fly->parameterValue("dy"), 8);
  EXPECT_EQ(fly->parameterValue("f"), 84);
  EXPECT_EQ(fly->parameterValue("nx"), 13);
  EXPECT_EQ(fly->parameterValue("ny"), 10);
}

TEST_F(FreeformSurfaces, ScalingMakesASimilarSurface) {
  // Scaled by k, the sag at k·q is k times the sag at q, and the phase at k·q is the
  // phase at q.
  const double k = 2.5;
  const std::vector<std::shared_ptr<Surface>> surfaces{
      make<SurfaceToricX>({{"toricR", 40}, {"a4", 1e-6}}, 80),
      make<SurfaceToricY>({{"toricR", -30}, {"a2", 1e-3}}, 70, -0.5),
      make<SurfaceBiconic>({{"Rx", 60}, {"kx", -1}}, 120),
      make<SurfaceZernikeSag>({{"A4", 0.01}, {"A8", -0.002}, {"R", 5}, {"a4", 2e-6}}, 90),
      make<SurfaceKinoform>({{"nterm", 2}, {"rnorm", 5}, {"b2", -30}, {"b4", 2}, {"a6", 1e-8}}, 200),
      make<SurfacePoly>({{"x0y0", 0.1}, {"x1y1", 0.01}, {"x2y3", 0.002}, {"x0y2", -0.03}}),
      make<SurfaceConicY>({}, 30, 0.4),
  };
  for (const auto& s : surfaces) {
    SCOPED_TRACE(s->className());
    auto scaled = s->copy();
    scaled->scaleByFactor(k);
    for (XY q : {XY{0.6, -0.9}, XY{-0.3, 1.4}}) {
      EXPECT_NEAR(scaled->sagAtQ({k * q.x, k * q.y}), k * s->sagAtQ(q), 1e-13);
      EXPECT_NEAR(scaled->phaseAtPosition({k * q.x, k * q.y, 0}), s->phaseAtPosition({q.x, q.y, 0}), 1e-12);
    }
  }
  auto vortex = make<SurfaceVortex>({{"pitch", 0.4}});
  vortex->scaleByFactor(k);
  EXPECT_EQ(vortex->pitch(), 1.0);
}

// --- polynomial -----------------------------------------------------------------------------------------

TEST_F(FreeformSurfaces, PolynomialSagIsItsCoefficientsOverTheRectangle) {
  auto s = make<SurfacePoly>({{"x0y0", 0.5}});
  EXPECT_EQ(s->sagAtQ({0.3, -1.7}), 0.5);
  EXPECT_EQ(s->surfaceNormalAtQ({0.3, -1.7}), (XYZ{0, 0, 1}));
  // Full aperture: the rectangle, centred on its middle.
  auto full = std::dynamic_pointer_cast<const RectangularAperture>(s->fullAperture());
  ASSERT_TRUE(full);
  EXPECT_EQ(full->xRadius(), 1);
  EXPECT_EQ(full->yRadius(), 2);
  EXPECT_EQ(full->decenterX(), 0);
  for (auto [t, v] : std::vector<std::pair<const char*, double>>{{"xMin", 0}, {"xMax", 4}, {"yMin", 1}, {"yMax", 3}})
    set(*s, t, v);
  full = std::dynamic_pointer_cast<const RectangularAperture>(s->fullAperture());
  EXPECT_EQ(full->xRadius(), 2);
  EXPECT_EQ(full->yRadius(), 1);
  EXPECT_EQ(full->decenterX(), 2);
  EXPECT_EQ(full->decenterY(), 2);
  EXPECT_TRUE(s->validQ({4, 3}));
  EXPECT_TRUE(s->validQ({0, 1}));
  EXPECT_FALSE(s->validQ({4.0001, 2}));
  // z = 0.5 + 0.1 x − 0.02 x y + 0.003 y³ x².
  set(*s, "x1y0", 0.1);
  set(*s, "x1y1", -0.02);
  set(*s, "x2y3", 0.003);
  const double x = 1.5, y = 2.5;
  EXPECT_NEAR(s->sagAtQ({x, y}), 0.5 + 0.1 * x - 0.02 * x * y + 0.003 * y * y * y * x * x, 1e-15);
  expectNormalMatchesSag(*s, {x, y});
  expectCurvaturesMatchSag(*s, {x, y});
  s->flip();
  EXPECT_EQ(s->parameterValue("x2y3"), -0.003);
  EXPECT_EQ(s->parameterValue("xMax"), 4);
}

// --- vortex and diffuser ------------------------------------------------------------------------------------

TEST_F(FreeformSurfaces, VortexAnswersTheSlopeOfItsRamp) {
  auto s = make<SurfaceVortex>({{"pitch", 0.4}});
  EXPECT_EQ(s->sagAtQ({1, 1}), 0);
  // z = p·atan2(y, x): ∂z/∂x = −p y/r², ∂z/∂y = p x/r².
  const auto e = s->taylorExpansionAtPosition({3, 4, 0});
  EXPECT_NEAR(e.gx, -0.4 * 4 / 25, 1e-15);
  EXPECT_NEAR(e.gy, 0.4 * 3 / 25, 1e-15);
  EXPECT_EQ(e.gz, -1);
  const auto c = s->taylorExpansionAtPosition({1e-11, 0, 0});
  EXPECT_EQ(c.gx, 0);
  EXPECT_EQ(c.gy, 0);
  EXPECT_EQ(s->pusherName(), "Pusher");
  EXPECT_FALSE(SurfaceVortex::debugLogging());
}

TEST_F(FreeformSurfaces, DiffuserDrawsANewGradientForEachRefraction) {
  auto s = make<SurfaceDiffuser>({{"fwhm", 0}});
  s->turnerWillRefractRay();
  EXPECT_EQ(s->phaseTangentGradientAtPosition({1, 2, 0}), (XYZ{0, 0, 0}));
  set(*s, "fwhm", 3);
  s->turnerWillRefractRay();
  const XYZ first = s->phaseTangentGradientAtPosition({1, 2, 0});
  s->turnerWillRefractRay();
  const XYZ second = s->phaseTangentGradientAtPosition({1, 2, 0});
  EXPECT_NE(first, second);
  EXPECT_EQ(first.z, 0);
  EXPECT_TRUE(std::isfinite(first.x) && std::isfinite(first.y));
  // The draws are normal deviates scaled by fwhm · 78.2: their spread over many draws.
  double sum = 0, sum2 = 0;
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    s->randomizePhaseGradients();
    sum += s->phaseGradientX();
    sum2 += s->phaseGradientX() * s->phaseGradientX();
  }
  const double sigma = std::sqrt(sum2 / n - (sum / n) * (sum / n));
  EXPECT_NEAR(sigma, 3 * 78.2, 0.05 * 3 * 78.2);
}
