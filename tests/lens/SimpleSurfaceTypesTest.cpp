#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/TransformStack.h"
#include "lens/ArchiveClasses.h"
#include "lens/CoordinateBreak.h"
#include "lens/SimpleSurfaceTypes.h"
#include "lens/SolveCodes.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfaceAsphereOdd.h"
#include "lens/SurfaceGrating.h"
#include "lens/SurfaceParaxial.h"
#include "lens/SurfaceTilted.h"
#include "lens/SurfaceTypeRegistry.h"
#include "materials/Glass.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb;
using namespace orb::lens;
using foundation::TransformationMatrix;
using foundation::TransformStack;
using foundation::XY;
using foundation::XYZ;

namespace {

class SimpleSurfaceTypes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    registerArchiveClasses();
    registerSimpleSurfaceTypes(SurfaceTypeRegistry::shared());
    registerSimpleSurfaceArchiveClasses();
  }
  static const SurfaceTypeRegistry& registry() { return SurfaceTypeRegistry::shared(); }
};

void setParameter(Surface& s, const std::string& title, double value) {
  auto p = s.parameterForTitle(title);
  ASSERT_TRUE(p) << title;
  p->setValue(value);
}

/// The frame left on a stack that started at the identity after one break.
TransformationMatrix breakFrame(const std::vector<std::pair<std::string, double>>& parameters) {
  auto b = Surface::create<CoordinateBreak>();
  for (const auto& [title, value] : parameters) b->parameterForTitle(title)->setValue(value);
  TransformStack stack;
  foundation::xformPush(stack);
  b->implementCoordinateBreak(stack);
  TransformationMatrix forward;
  foundation::xformGetTop(stack, &forward, nullptr);
  return forward;
}

/// 3×3 rotation in a 4×4 matrix, rows as the break's definition writes them.
TransformationMatrix rotation(char axis, double degrees) {
  const double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
  TransformationMatrix m = TransformationMatrix::identity();
  switch (axis) {
    case 'x':
      m(1, 1) = c, m(1, 2) = -s, m(2, 1) = s, m(2, 2) = c;
      break;
    case 'y':
      m(0, 0) = c, m(0, 2) = -s, m(2, 0) = s, m(2, 2) = c;
      break;
    default:
      m(0, 0) = c, m(0, 1) = -s, m(1, 0) = s, m(1, 1) = c;
  }
  return m;
}

void expectNear(const TransformationMatrix& a, const TransformationMatrix& b, double tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

std::shared_ptr<platform::Object> roundTrip(const platform::Value& root, std::size_t index) {
  auto data = platform::KeyedArchiver::archivedDataWithRootObject(root);
  return platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray()[index].asObject();
}

}  // namespace

// --- coordinate break ------------------------------------------------------------------------

TEST_F(SimpleSurfaceTypes, BreakOrderDecidesWhereTheDecentreActs) {
  // rz = 90, dx = 1: rotate first (order 0) and the decentre lands on the old y axis.
  for (int order : {0, 1}) {
    SCOPED_TRACE(order);
    const auto frame = breakFrame({{"rz", 90}, {"dx", 1}, {"order", order}});
    const XYZ origin = applyToPoint(frame, {0, 0, 0});
    const XYZ xAxis = applyToDirection(frame, {1, 0, 0});
    EXPECT_EQ(origin, order == 0 ? (XYZ{0, 1, 0}) : (XYZ{1, 0, 0})) << "quarter turns are exact";
    EXPECT_EQ(xAxis, (XYZ{0, 1, 0}));
  }
}

TEST_F(SimpleSurfaceTypes, BreakMatchesItsRotationsAtAnyAngle) {
  const double dx = 1.5, dy = -0.25, rx = 30, ry = -45, rz = 20;
  const auto translation = TransformationMatrix::translation({dx, dy, 0});
  const auto rotateFirst = rotation('z', rz) * rotation('y', ry) * rotation('x', rx) * translation;
  const auto decentreFirst = translation * rotation('x', rx) * rotation('y', ry) * rotation('z', rz);
  const std::vector<std::pair<std::string, double>> common{{"dx", dx}, {"dy", dy}, {"rx", rx}, {"ry", ry}, {"rz", rz}};
  auto withOrder = [&](double order) {
    auto p = common;
    p.push_back({"order", order});
    return p;
  };
  expectNear(breakFrame(withOrder(0)), rotateFirst, 1e-15);
  expectNear(breakFrame(withOrder(1)), decentreFirst, 1e-15);

  // The inverse kept beside the forward matrix undoes it.
  auto b = Surface::create<CoordinateBreak>();
  for (const auto& [title, value] : withOrder(0)) b->parameterForTitle(title)->setValue(value);
  TransformStack stack;
  foundation::xformPush(stack);
  b->implementCoordinateBreak(stack);
  TransformationMatrix forward, inverse;
  foundation::xformGetTop(stack, &forward, &inverse);
  expectNear(inverse * forward, TransformationMatrix::identity(), 1e-15);
  EXPECT_EQ(stack.nodes.size(), 1u) << "the break's own node is popped";
}

TEST_F(SimpleSurfaceTypes, SuccessiveBreaksCompose) {
  // The second break decentres along the x axis the first one turned onto the old y.
  auto first = Surface::create<CoordinateBreak>();
  first->setValueForKey("rz", 90.0);
  auto second = Surface::create<CoordinateBreak>();
  second->setValueForKey("dx", 2.0);
  TransformStack stack;
  foundation::xformPush(stack);
  first->implementCoordinateBreak(stack);
  second->implementCoordinateBreak(stack);
  XYZ origin{0, 0, 0};
  foundation::xformApplyTop(stack, origin, true);
  EXPECT_EQ(origin, (XYZ{0, 2, 0}));
}

TEST_F(SimpleSurfaceTypes, BreakDropsGlassAndMirrorButKeepsTheRest) {
  auto lensSurface = Surface::create();
  lensSurface->setGlassName("N-BK7");
  lensSurface->setThickness(5);
  lensSurface->setComment("fold");
  auto b = registry().surfaceOfType("COORDBRK", lensSurface.get());
  ASSERT_TRUE(dynamic_cast<CoordinateBreak*>(b.get()));
  EXPECT_FALSE(b->glass());
  EXPECT_EQ(b->thickness(), 5);
  EXPECT_EQ(b->comment(), "fold");
  EXPECT_TRUE(b->isCoordinateBreak());
  EXPECT_FALSE(b->canEditCurvatureSolveType());
  EXPECT_FALSE(b->canEditGlassSolveType());

  auto mirror = Surface::create();
  mirror->setIsMirror(true);
  EXPECT_FALSE(registry().surfaceOfType("Break", mirror.get())->isMirror());

  auto brk = std::static_pointer_cast<CoordinateBreak>(registry().surfaceOfType("Break"));
  brk->setRx(12.5);
  EXPECT_EQ(brk->valueForKey("rx").asDouble(), 12.5);
}

// --- registry ------------------------------------------------------------------------------------

TEST_F(SimpleSurfaceTypes, RegistryMakesEachTypeByBothNames) {
  struct Row {
    const char* menu;
    const char* zemax;
    std::vector<std::string> titles;
  };
  const std::vector<Row> rows{
      {"Break", "COORDBRK", {"dx", "dy", "rx", "ry", "rz", "order"}},
      {"Asphere", "EVENASPH", {"a2", "a4", "a6", "a8", "a10", "a12", "a14", "a16", "a18", "a20"}},
      {"Odd Asphere", "ODDASPHE", {"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10"}},
      {"Grating", "DGRATING", {"T", "m"}},
      {"Paraxial", "PARAXIAL", {"f"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.menu);
    auto byMenu = registry().surfaceOfType(r.menu);
    auto byCode = registry().surfaceOfType(r.zemax);
    EXPECT_EQ(byMenu->className(), byCode->className());
    EXPECT_EQ(byMenu->type(), r.menu);
    EXPECT_EQ(byMenu->zemaxType(), std::optional<std::string>(r.zemax));
    std::vector<std::string> titles;
    for (const auto& p : byMenu->parameterArray()) titles.push_back(p->title());
    EXPECT_EQ(titles, r.titles);
  }
}

TEST_F(SimpleSurfaceTypes, TiltedPlaneIsNotMadeByName) {
  for (const char* name : {"Tilted", "TILTSURF"}) {
    SCOPED_TRACE(name);
    try {
      registry().surfaceOfType(name);
      ADD_FAILURE() << "made a tilted plane by name";
    } catch (const platform::Exception& e) {
      EXPECT_EQ(e.name(), "OBException");
      EXPECT_EQ(e.reason(), "Unimplemented surface");
    }
  }
}

// --- aspheres ---------------------------------------------------------------------------------------

TEST_F(SimpleSurfaceTypes, AsphereSagIsConicPlusPolynomial) {
  const double c = 0.02, k = -0.5, a4 = 1e-5, a6 = -2e-8, a2 = 1e-3;
  auto s = Surface::create<SurfaceAsphere>();
  s->setCurvature(c);
  s->setConicConstant(k);
  setParameter(*s, "a2", a2);
  setParameter(*s, "a4", a4);
  setParameter(*s, "a6", a6);
  ASSERT_TRUE(s->sagPolynomial());
  auto expected = [&](double r) {
    return c * r * r / (1 + std::sqrt(1 - (1 + k) * c * c * r * r)) + a2 * r * r + a4 * std::pow(r, 4) +
           a6 * std::pow(r, 6);
  };
  const double h = 1e-4;
  for (double r : {0.0, 3.0, 12.5, 30.0}) {
    SCOPED_TRACE(r);
    EXPECT_NEAR(s->sagAtRadius(r), expected(r), 1e-14 * (1 + std::abs(expected(r))));
    EXPECT_NEAR(s->sagAtQ(XY{0.6 * r, 0.8 * r}), expected(r), 1e-13);
    const double fd1 = (expected(r + h) - expected(r - h)) / (2 * h);
    const double fd2 = (expected(r + h) - 2 * expected(r) + expected(r - h)) / (h * h);
    EXPECT_NEAR(s->sagGradientAtRadius(r), fd1, 1e-8);
    EXPECT_NEAR(s->sagSecondGradientAtRadius(r), fd2, 1e-5);
  }
  EXPECT_FALSE(s->isPlanarInAppearance());
}

TEST_F(SimpleSurfaceTypes, AsphereTaylorExpansionMatchesItsSag) {
  // What the tracer reads off an asphere, against central differences of sagAtQ.
  auto s = Surface::create<SurfaceAsphere>();
  s->setCurvature(-0.04);
  s->setConicConstant(0.7);
  setParameter(*s, "a4", -3e-5);
  setParameter(*s, "a6", 4e-8);
  const double h = 1e-4;
  auto z = [&](double x, double y) { return s->sagAtQ({x, y}); };
  for (XY q : {XY{0, 0}, XY{2.5, -1}, XY{-4, 6}}) {
    SCOPED_TRACE(testing::Message() << q.x << ", " << q.y);
    const auto t = s->taylorExpansionAtPosition({q.x, q.y, z(q.x, q.y)});
    EXPECT_NEAR(t.gx, (z(q.x + h, q.y) - z(q.x - h, q.y)) / (2 * h), 1e-9);
    EXPECT_NEAR(t.gy, (z(q.x, q.y + h) - z(q.x, q.y - h)) / (2 * h), 1e-9);
    EXPECT_EQ(t.gz, -1);
    EXPECT_NEAR(t.hxx, (z(q.x + h, q.y) - 2 * z(q.x, q.y) + z(q.x - h, q.y)) / (h * h), 1e-5);
    EXPECT_NEAR(t.hyy, (z(q.x, q.y + h) - 2 * z(q.x, q.y) + z(q.x, q.y - h)) / (h * h), 1e-5);
    EXPECT_NEAR(t.hxy,
                (z(q.x + h, q.y + h) - z(q.x + h, q.y - h) - z(q.x - h, q.y + h) + z(q.x - h, q.y - h)) / (4 * h * h),
                1e-5);
  }
}

TEST_F(SimpleSurfaceTypes, AsphereBeyondItsConicIsPinnedToTheRim) {
  auto s = Surface::create<SurfaceAsphere>();
  s->setCurvature(0.1);  // sphere of radius 10
  setParameter(*s, "a4", 1e-4);
  const double rim = 10 + 1e-4 * 1e4;  // conic sag at r = 10 plus a4·10⁴
  EXPECT_DOUBLE_EQ(s->sagAtMaximumOrdinate(), rim);
  EXPECT_DOUBLE_EQ(s->sagAtRadius(11), rim);
  EXPECT_EQ(s->sagGradientAtRadius(11), 0);
  EXPECT_EQ(s->sagSecondGradientAtRadius(11), 0);
  EXPECT_FALSE(s->validRadius(11));

  auto hyperbola = Surface::create<SurfaceAsphere>();
  hyperbola->setCurvature(0.1);
  hyperbola->setConicConstant(-2);
  setParameter(*hyperbola, "a4", 1e-4);
  EXPECT_FALSE(std::isnan(hyperbola->sagAtMaximumOrdinate())) << "no rim to add the polynomial at";
}

TEST_F(SimpleSurfaceTypes, AsphereWithoutCoefficientsIsItsConic) {
  auto conic = Surface::create();
  auto asphere = Surface::create<SurfaceAsphere>();
  auto odd = Surface::create<SurfaceAsphereOdd>();
  setParameter(*odd, "a9", 0.5);
  setParameter(*odd, "a10", -0.5);
  for (Surface* s : std::initializer_list<Surface*>{conic.get(), asphere.get(), odd.get()}) {
    s->setCurvature(0.05);
    s->setConicConstant(-0.3);
  }
  EXPECT_FALSE(asphere->sagPolynomial());
  EXPECT_FALSE(odd->sagPolynomial()) << "a9 and a10 do not enter the sag";
  for (double r : {0.0, 4.0, 15.0}) {
    EXPECT_EQ(asphere->sagAtRadius(r), conic->sagAtRadius(r));
    EXPECT_EQ(odd->sagAtRadius(r), conic->sagAtRadius(r));
    EXPECT_EQ(odd->sagGradientAtRadius(r), conic->sagGradientAtRadius(r));
  }
}

TEST_F(SimpleSurfaceTypes, OddAsphereUsesEveryPower) {
  auto s = Surface::create<SurfaceAsphereOdd>();
  setParameter(*s, "a1", 0.01);
  setParameter(*s, "a3", -2e-4);
  setParameter(*s, "a8", 1e-9);
  auto z = [](double r) { return 0.01 * r - 2e-4 * r * r * r + 1e-9 * std::pow(r, 8); };
  for (double r : {0.5, 2.0, 7.0}) EXPECT_NEAR(s->sagAtRadius(r), z(r), 1e-15 * (1 + std::abs(z(r))));
}

TEST_F(SimpleSurfaceTypes, ScalingAnAsphereScalesItsShape) {
  // a_e → a_e·f^(1−e) keeps the profile similar: z'(f·r) = f·z(r).
  struct Row {
    const char* name;
    std::shared_ptr<SurfaceAsphere> surface;
    std::vector<std::pair<std::string, int>> coefficients;  // title, exponent
  };
  const std::vector<Row> rows{
      {"even", Surface::create<SurfaceAsphere>(), {{"a2", 2}, {"a4", 4}, {"a6", 6}, {"a20", 20}}},
      {"odd", Surface::create<SurfaceAsphereOdd>(), {{"a1", 1}, {"a3", 3}, {"a4", 4}, {"a10", 10}}},
  };
  const double f = 2.5;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    auto& s = *r.surface;
    s.setCurvature(0.02);
    s.setConicConstant(-0.4);
    s.setThickness(4);
    for (const auto& [title, e] : r.coefficients) setParameter(s, title, 1e-2 * std::pow(0.2, e));
    std::vector<double> before, sags;
    for (const auto& [title, e] : r.coefficients) before.push_back(s.parameterValue(title).value());
    for (double radius : {1.0, 3.0, 6.0}) sags.push_back(s.sagAtRadius(radius));

    s.scaleByFactor(f);
    for (std::size_t i = 0; i < r.coefficients.size(); ++i) {
      const auto& [title, e] = r.coefficients[i];
      EXPECT_DOUBLE_EQ(s.parameterValue(title).value(), before[i] * std::pow(f, 1 - e)) << title;
    }
    EXPECT_DOUBLE_EQ(s.thickness(), 4 * f);
    const double radii[] = {1.0, 3.0, 6.0};
    for (std::size_t i = 0; i < 3; ++i) {
      // a9 and a10 of the odd asphere do not enter the sag, so the check holds for both.
      EXPECT_NEAR(s.sagAtRadius(f * radii[i]), f * sags[i], 1e-14 * (1 + std::abs(f * sags[i]))) << radii[i];
    }
  }
}

TEST_F(SimpleSurfaceTypes, FlippingAnAsphereMirrorsItsSag) {
  auto s = Surface::create<SurfaceAsphere>();
  s->setCurvature(0.03);
  s->setConicConstant(-1);
  setParameter(*s, "a4", 2e-5);
  const double z = s->sagAtRadius(5);
  s->flip();
  EXPECT_DOUBLE_EQ(s->sagAtRadius(5), -z);
  EXPECT_EQ(s->parameterValue("a4"), -2e-5);
}

TEST_F(SimpleSurfaceTypes, AsphereToStandardAndBackRestoresItsCoefficients) {
  auto asphere = registry().surfaceOfType("Asphere");
  asphere->setCurvature(0.01);
  setParameter(*asphere, "a4", 3e-6);
  auto standard = registry().surfaceOfType("Standard", asphere.get());
  EXPECT_FALSE(standard->parameterForTitle("a4"));
  auto again = registry().surfaceOfType("Asphere", standard.get());
  ASSERT_TRUE(dynamic_cast<SurfaceAsphere*>(again.get()));
  EXPECT_EQ(again->parameterValue("a4"), 3e-6);
  EXPECT_EQ(again->sagAtRadius(10), asphere->sagAtRadius(10)) << "the polynomial is rebuilt";
}

// --- grating, paraxial lens, tilted plane -------------------------------------------------------------

TEST_F(SimpleSurfaceTypes, GratingPhaseGrowsAcrossItsLines) {
  auto g = Surface::create<SurfaceGrating>();
  EXPECT_EQ(g->parameterValue("m"), 1) << "first order by default";
  EXPECT_EQ(g->phaseGradient(), 0) << "no lines, no phase";
  setParameter(*g, "T", 0.6);
  setParameter(*g, "m", -2);
  const double k = 2 * M_PI * 600 * -2;  // 600 lines per mm, order −2, radians per mm
  EXPECT_NEAR(g->phaseGradient(), k, 1e-10);
  EXPECT_NEAR(g->phaseAtPosition({7, 0.25, 1}), k * 0.25, 1e-10);
  EXPECT_EQ(g->phaseTangentGradientAtPosition({7, 0.25, 1}), (XYZ{0, g->phaseGradient(), 0}));
  const auto t = g->phaseTaylorExpansionAtPosition({1, 2, 0});
  EXPECT_EQ(t.gx, 0);
  EXPECT_EQ(t.gy, g->phaseGradient());
  EXPECT_EQ(t.gz, 0);
  EXPECT_EQ(t.hyy, 0);
  EXPECT_EQ(g->turnerName(), "Diffracter");
}

TEST_F(SimpleSurfaceTypes, ParaxialLensScalesItsFocalLength) {
  auto p = Surface::create<SurfaceParaxial>();
  EXPECT_EQ(p->focalLength(), 100);
  p->setThickness(10);
  p->scaleByFactor(2);
  EXPECT_EQ(p->parameterValue("f"), 200);
  EXPECT_EQ(p->focalLength(), 200);
  EXPECT_EQ(p->thickness(), 20);
  EXPECT_FALSE(p->canEditCurvatureSolveType());
  EXPECT_EQ(p->pusherName(), "PusherParaxial");
  EXPECT_EQ(p->turnerName(), "TurnerParaxial");
}

TEST_F(SimpleSurfaceTypes, TiltedPlaneSagAndNormal) {
  auto t = Surface::create<SurfaceTilted>();
  setParameter(*t, "tiltX", 0.1);
  setParameter(*t, "tiltY", -0.3);
  EXPECT_FALSE(t->isAxisymmetric());
  const XY q{4, -2};
  EXPECT_DOUBLE_EQ(t->sagAtQ(q), 0.1 * 4 + 0.3 * 2);
  // The normal against finite differences of the sag.
  const double h = 1e-6;
  const double gx = (t->sagAtQ({q.x + h, q.y}) - t->sagAtQ({q.x - h, q.y})) / (2 * h);
  const double gy = (t->sagAtQ({q.x, q.y + h}) - t->sagAtQ({q.x, q.y - h})) / (2 * h);
  const double l = std::sqrt(gx * gx + gy * gy + 1);
  const XYZ n = t->surfaceNormalAtQ(q);
  EXPECT_NEAR(n.x, -gx / l, 1e-9);
  EXPECT_NEAR(n.y, -gy / l, 1e-9);
  EXPECT_NEAR(n.z, 1 / l, 1e-9);
  const XYZ viaTaylor = t->surfaceNormalAtPosition({q.x, q.y, t->sagAtQ(q)});
  EXPECT_NEAR(viaTaylor.x, n.x, 1e-15);
  EXPECT_NEAR(viaTaylor.y, n.y, 1e-15);
  EXPECT_NEAR(viaTaylor.z, n.z, 1e-15);
  EXPECT_EQ(t->pusherName(), "PusherTilted");
}

// --- archive -----------------------------------------------------------------------------------------

TEST_F(SimpleSurfaceTypes, EachTypeRoundTripsThroughTheKeyedArchive) {
  struct Row {
    const char* name;
    std::shared_ptr<Surface> surface;
    std::vector<std::pair<std::string, double>> values;
  };
  const std::vector<Row> rows{
      {"break", Surface::create<CoordinateBreak>(), {{"dx", 1.25}, {"rz", -30}, {"order", 1}}},
      {"asphere", Surface::create<SurfaceAsphere>(), {{"a4", 1e-5}, {"a20", -3e-30}}},
      {"odd-asphere", Surface::create<SurfaceAsphereOdd>(), {{"a1", 0.01}, {"a9", 7}}},
      {"grating", Surface::create<SurfaceGrating>(), {{"T", 0.3}, {"m", -1}}},
      {"paraxial", Surface::create<SurfaceParaxial>(), {{"f", -50}}},
      {"tilted", Surface::create<SurfaceTilted>(), {{"tiltX", 0.2}, {"tiltY", 0.05}}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    r.surface->setThickness(3.5);
    for (const auto& [title, value] : r.values) setParameter(*r.surface, title, value);
    auto back = std::dynamic_pointer_cast<Surface>(roundTrip(platform::Array{r.surface}, 0));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->className(), r.surface->className());
    EXPECT_EQ(back->thickness(), 3.5);
    ASSERT_EQ(back->parameterArray().size(), r.surface->parameterArray().size());
    for (const auto& p : r.surface->parameterArray())
      EXPECT_EQ(back->parameterValue(p->title()), p->value()) << p->title();
    // Caches are rebuilt on decoding: the geometry answers as before.
    EXPECT_EQ(back->sagAtQ({1.5, -2}), r.surface->sagAtQ({1.5, -2}));
    EXPECT_EQ(back->phaseAtPosition({0, 1, 0}), r.surface->phaseAtPosition({0, 1, 0}));
  }
}

TEST_F(SimpleSurfaceTypes, ThicknessPickupOffsetSurvivesTheArchive) {
  auto source = Surface::create();
  auto follower = Surface::create<CoordinateBreak>();
  follower->setThicknessSolveTypeSurfaceScaleOffset(solve::kThicknessPickup, source, 2, 0.5);
  EXPECT_NE(follower->thicknessDescription().find("with scale 2, offset 0.5"), std::string::npos);
  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{source, follower});
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray();
  auto decoded = back[1].asObject<Surface>();
  EXPECT_EQ(decoded->thicknessSolveType(), solve::kThicknessPickup);
  EXPECT_EQ(decoded->thicknessSolveScale(), 2);
  EXPECT_EQ(decoded->thicknessSolveOffset(), 0.5);
  EXPECT_EQ(decoded->thicknessSolveSurface(), back[0].asObject<Surface>());
}

TEST_F(SimpleSurfaceTypes, FixedTypesRefuseTheEditsTheyCannotTake) {
  using orb::platform::makeObject;
  auto brk = makeObject<orb::lens::CoordinateBreak>();
  EXPECT_FALSE(brk->canBecomeStop());
  EXPECT_FALSE(brk->canEditCurvature());
  EXPECT_FALSE(brk->canEditGlass());
  EXPECT_TRUE(brk->glassIsGood());
  EXPECT_EQ(brk->glassName(), std::optional<std::string>("-"));
  EXPECT_FALSE(makeObject<orb::lens::SurfaceParaxial>()->canEditCurvature());
  EXPECT_FALSE(makeObject<orb::lens::SurfaceTilted>()->canEditCurvature());
  EXPECT_TRUE(makeObject<orb::lens::SurfaceAsphere>()->canEditCurvature());
}
