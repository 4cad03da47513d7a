#include "lens/Surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lens/ArchiveClasses.h"
#include "lens/CircularAperture.h"
#include "lens/SurfaceTypeRegistry.h"
#include "materials/Glass.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/NotificationCenter.h"
#include "TestCoder.h"

namespace orb::lens {
namespace {

using foundation::XY;
using foundation::XYZ;
constexpr double kInf = std::numeric_limits<double>::infinity();

std::shared_ptr<Surface> conic(double c, double k) {
  auto s = Surface::create();
  s->setCurvature(c);
  s->setConicConstant(k);
  return s;
}

// A stand-in for the lens: holds the surfaces and answers glass requests by name.
class FakeLens : public platform::Object, public SurfaceContainer, public SurfaceDelegate {
 public:
  std::vector<std::shared_ptr<Surface>> surfaces;
  std::vector<std::string> namesAsked;

  const std::vector<std::shared_ptr<Surface>>& containedSurfaces() const override { return surfaces; }
  std::shared_ptr<materials::Glass> localVersionOfGlass(const std::shared_ptr<materials::Glass>& g) override {
    return g;
  }
  std::shared_ptr<materials::Glass> glassForName(const std::string& name,
                                                 const std::shared_ptr<materials::Glass>&) override {
    namesAsked.push_back(name);
    return materials::Glass::glassWithIndex(1.5, 60);
  }
  void newGlassForSurface(Surface&) override {}
  void replaceSurfaceWithSurfaceOfType(Surface&, const std::string&) override {}

  void add(const std::shared_ptr<Surface>& s) {
    surfaces.push_back(s);
    auto self = std::static_pointer_cast<FakeLens>(shared_from_this());
    s->setContainer(self);
    s->setDelegate(self);
  }
};

TEST(SurfaceProfile, ConicSagAgainstClosedForms) {
  struct Case {
    const char* name;
    double k;
    double sag;
  };
  // c = 0.1 at r = 6: sphere 10 − √64; paraboloid c·r²/2; hyperboloid c·r²/(1 + √(1 + c²r²)).
  const Case cases[] = {{"sphere", 0, 2.0}, {"paraboloid", -1, 1.8}, {"hyperboloid", -2, 1.661904}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = conic(0.1, c.k);
    EXPECT_NEAR(s->sagAtRadius(6), c.sag, 5e-7);
    EXPECT_NEAR(s->sagAtQ({6 / std::sqrt(2.0), -6 / std::sqrt(2.0)}), c.sag, 5e-7);
  }
  EXPECT_DOUBLE_EQ(conic(0.1, -1)->sagAtRadius(1000), 0.1 * 1000 * 1000 / 2) << "a paraboloid is valid everywhere";
  EXPECT_EQ(conic(0, 0)->sagAtRadius(5), 0);
}

TEST(SurfaceProfile, MaximumOrdinateAndValidity) {
  auto sphere = conic(0.1, 0);
  EXPECT_DOUBLE_EQ(sphere->maximumOrdinate(), 10);
  EXPECT_DOUBLE_EQ(sphere->sagAtMaximumOrdinate(), 10);
  EXPECT_TRUE(sphere->validRadius(9.999));
  EXPECT_FALSE(sphere->validRadius(10));
  EXPECT_EQ(sphere->sagGradientAtRadius(10), kInf);
  EXPECT_DOUBLE_EQ(sphere->sagAtRadius(12), 0.1 * 144) << "beyond the valid range the sag falls back to c·r²";

  EXPECT_EQ(conic(0.1, -2)->maximumOrdinate(), kInf) << "hyperboloid";
  EXPECT_EQ(conic(0, 0)->maximumOrdinate(), kInf);
  EXPECT_EQ(conic(0, 0)->sagAtMaximumOrdinate(), -kInf);
  EXPECT_DOUBLE_EQ(conic(0.05, 1)->maximumOrdinate(), 1 / std::sqrt(2 * 0.05 * 0.05)) << "oblate";

  auto semi = conic(0.1, 0);
  semi->setSemidiameterSolveType(Surface::kSemiMaximum);
  semi->setCurvature(0.2);
  EXPECT_DOUBLE_EQ(semi->semidiameter(), 5) << "the maximum semidiameter solve follows the curvature";
}

TEST(SurfaceProfile, NormalAndTaylorExpansionMatchFiniteDifferencesOfTheSag) {
  struct Case {
    const char* name;
    double c, k;
  };
  const Case surfaces[] = {
      {"sphere", 0.1, 0}, {"concave-prolate", -0.08, -0.6}, {"hyperboloid", 0.05, -3}, {"oblate", 0.07, 0.8}};
  const XY points[] = {{0, 0}, {1.5, -2}, {0, 3}, {-2.5, 0.5}};
  for (const auto& sc : surfaces) {
    auto s = conic(sc.c, sc.k);
    for (const auto& q : points) {
      SCOPED_TRACE(std::string(sc.name) + " at " + foundation::toString(q));
      auto f = [&](double x, double y) { return s->sagAtQ({x, y}); };
      const double h1 = 1e-5, h2 = 1e-3;
      const double fx = (f(q.x + h1, q.y) - f(q.x - h1, q.y)) / (2 * h1);
      const double fy = (f(q.x, q.y + h1) - f(q.x, q.y - h1)) / (2 * h1);
      const double f0 = f(q.x, q.y);
      const double fxx = (f(q.x + h2, q.y) - 2 * f0 + f(q.x - h2, q.y)) / (h2 * h2);
      const double fyy = (f(q.x, q.y + h2) - 2 * f0 + f(q.x, q.y - h2)) / (h2 * h2);
      const double fxy =
          (f(q.x + h2, q.y + h2) - f(q.x + h2, q.y - h2) - f(q.x - h2, q.y + h2) + f(q.x - h2, q.y - h2)) /
          (4 * h2 * h2);

      const XYZ p{q.x, q.y, f0};
      const auto t = s->taylorExpansionAtPosition(p);
      EXPECT_NEAR(t.gx, fx, 1e-8);
      EXPECT_NEAR(t.gy, fy, 1e-8);
      EXPECT_EQ(t.gz, -1);
      EXPECT_NEAR(t.hxx, fxx, 1e-6);
      EXPECT_NEAR(t.hyy, fyy, 1e-6);
      EXPECT_NEAR(t.hxy, fxy, 1e-6);
      EXPECT_EQ(t.hxz, 0);
      EXPECT_EQ(t.hyz, 0);
      EXPECT_EQ(t.hzz, 0);

      const double l = std::sqrt(fx * fx + fy * fy + 1);
      for (const XYZ& n : {s->surfaceNormalAtQ(q), s->surfaceNormalAtPosition(p)}) {
        EXPECT_NEAR(n.x, -fx / l, 1e-8);
        EXPECT_NEAR(n.y, -fy / l, 1e-8);
        EXPECT_NEAR(n.z, 1 / l, 1e-8);
      }
      EXPECT_NEAR(s->implicitFunctionAtPosition({q.x, q.y, f0 + 0.25}), -0.25, 1e-12);
    }
  }
  EXPECT_EQ(conic(-0.3, 0)->surfaceNormalAtQ({0, 0}), (XYZ{0, 0, 1})) << "+z at the vertex whatever the curvature";
}

TEST(SurfaceValues, InputsThatCannotBeStored) {
  auto s = Surface::create();
  for (double bad : {kInf, -kInf, std::nan("")}) {
    s->setCurvature(0.2);
    s->setCurvature(bad);
    EXPECT_EQ(s->curvature(), 0);
  }
  s->setRadiusOfCurvature(0);
  EXPECT_EQ(s->curvature(), 0);
  EXPECT_EQ(s->radiusOfCurvature(), kInf);
  s->setRadiusOfCurvature(-25);
  EXPECT_DOUBLE_EQ(s->curvature(), -0.04);
  s->setSemidiameter(4);
  s->setSemidiameter(kInf);
  EXPECT_EQ(s->semidiameter(), 4);
  s->setComment("  front  \t");
  EXPECT_EQ(s->comment(), "front");
}

TEST(SurfaceShape, FlipAndScale) {
  auto s = conic(0.1, -0.5);
  s->setThickness(3);
  s->setSemidiameter(4);
  s->setThicknessSolveTypeTarget(3, 1.5);  // chief ray height: a length
  s->scaleByFactor(2);
  EXPECT_DOUBLE_EQ(s->curvature(), 0.05);
  EXPECT_DOUBLE_EQ(s->thickness(), 6);
  EXPECT_DOUBLE_EQ(s->semidiameter(), 8);
  EXPECT_DOUBLE_EQ(s->thicknessSolveTarget(), 3);
  EXPECT_EQ(s->conicConstant(), -0.5);

  s->setThicknessSolveTypeTarget(5, 0.7);  // a pickup's target is no length
  s->scaleByFactor(2);
  EXPECT_EQ(s->thicknessSolveTarget(), 0.7);

  s->flip();
  EXPECT_DOUBLE_EQ(s->curvature(), -0.025);
}

TEST(SurfaceFrame, ExitFrameAndPlanarRestrictions) {
  auto s = Surface::create();
  s->setThickness(7);
  foundation::TransformStack stack;
  foundation::xformPush(stack);
  foundation::xformRotateX(stack, 90);
  s->implementCoordinateBreak(stack);  // nothing for the base type
  foundation::TransformationMatrix forward, inverse;
  foundation::xformGetTop(stack, &forward, &inverse);
  s->setLocalToGlobalCoordinateTransformationMatrix(forward, inverse);
  s->implementExitFrame(stack);

  XYZ next{0, 0, 0};
  foundation::xformApplyTop(stack, next, true);
  const XYZ expected = s->transform().rotateToGlobal({0, 0, 7});
  EXPECT_NEAR(next.x, expected.x, 1e-12);
  EXPECT_NEAR(next.y, expected.y, 1e-12);
  EXPECT_NEAR(next.z, expected.z, 1e-12);
  EXPECT_EQ(s->originInGlobalCoordinates(), (XYZ{0, 0, 0}));

  foundation::TransformationMatrix m = foundation::TransformationMatrix::identity();
  for (int i = 0; i < 12; ++i) m(i / 4, i % 4) = i + 1;  // distinct entries show each pick
  s->setLocalToGlobalCoordinateTransformationMatrix(m, m);
  const auto zy = s->zyAffineTransform();
  EXPECT_EQ((std::vector<double>{zy.m11, zy.m12, zy.m21, zy.m22, zy.tX, zy.tY}),
            (std::vector<double>{m(2, 2), m(1, 2), m(2, 1), m(1, 1), m(2, 3), m(1, 3)}));
  const auto zx = s->zxAffineTransform();
  EXPECT_EQ((std::vector<double>{zx.m11, zx.m12, zx.m21, zx.m22, zx.tX, zx.tY}),
            (std::vector<double>{11, 3, 9, 1, 12, 4}));
}

TEST(SurfaceCopy, CopyOwnsItsFrameGlassAndAperture) {
  auto s = conic(0.02, -1);
  s->setGlass(materials::Glass::glassWithIndex(1.6, 40));
  s->setAperture(CircularAperture::annulusWithMinRadius(1, 5));
  foundation::TransformationMatrix shifted = foundation::TransformationMatrix::translation({0, 0, 3});
  s->setLocalToGlobalCoordinateTransformationMatrix(shifted, foundation::TransformationMatrix::translation({0, 0, -3}));

  auto c = s->copy();
  EXPECT_EQ(c->className(), "Surface");
  EXPECT_EQ(c->curvature(), 0.02);
  EXPECT_EQ(c->conicConstant(), -1);
  EXPECT_EQ(c->colorNumber(), s->colorNumber());
  ASSERT_TRUE(c->glass());
  EXPECT_NE(c->glass(), s->glass());
  EXPECT_EQ(c->glass()->name(), s->glass()->name());
  ASSERT_TRUE(c->apertureObject());
  EXPECT_NE(c->apertureObject(), s->apertureObject());
  EXPECT_EQ(c->transform(), s->transform());

  // Regenerating the copy (on a worker's lens copy) must not move the original.
  c->setLocalToGlobalCoordinateTransformationMatrix(foundation::TransformationMatrix::identity(),
                                                    foundation::TransformationMatrix::identity());
  EXPECT_DOUBLE_EQ(s->zInGlobalCoordinates(), 3);
}

TEST(SurfaceArchive, PlaneStoresInfiniteRadiusAndReadsBackAsCurvatureZero) {
  auto s = Surface::create();
  test::DictionaryCoder coder;
  s->encodeWithCoder(coder);
  EXPECT_EQ(coder.values.get("radiusOfCurvature").asDouble(), kInf);
  EXPECT_FALSE(coder.values.contains("glass"));
  EXPECT_FALSE(coder.values.contains("surfaceType")) << "the archived class carries the type";

  auto back = platform::makeObject<Surface>();
  back->initWithCoder(coder);
  EXPECT_EQ(back->curvature(), 0);
  EXPECT_FALSE(back->glass());

  test::SequentialCoder sequential;
  try {
    s->encodeWithCoder(sequential);
    FAIL() << "a non-keyed coder must be refused";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_EQ(e.reason(), "Surface only supports NSKeyedArchiver coders");
  }
}

TEST(SurfaceArchive, RoundTripThroughKeyedArchiveKeepsValuesSolvesAndReferences) {
  lens::registerArchiveClasses();
  auto first = conic(0.04, -0.3);
  first->setThickness(5);
  first->setComment("front");
  first->setGlass(materials::Glass::glassWithIndex(1.5168, 64.17));
  auto second = Surface::create();
  second->setIsStop(true);
  second->setSemidiameter(6.5);
  second->setThicknessSolveTypeSurfaceScaleOffset(5, first, 2, 0.25);
  second->setCurvatureSolveTypeTargetZone(2, -0.1, 0.7);
  second->setIsMirror(true);
  second->setAperture(CircularAperture::annulusWithMinRadius(0.5, 6));

  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{first, second});
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray();
  auto a = back[0].asObject<Surface>();
  auto b = back[1].asObject<Surface>();

  EXPECT_EQ(a->curvature(), 0.04);
  EXPECT_EQ(a->conicConstant(), -0.3);
  EXPECT_EQ(a->thickness(), 5);
  EXPECT_EQ(a->comment(), "front");
  ASSERT_TRUE(a->glass());
  EXPECT_EQ(a->glass()->name(), first->glass()->name());
  EXPECT_FALSE(a->isMirror());

  EXPECT_TRUE(b->isStop());
  EXPECT_EQ(b->curvature(), 0);
  EXPECT_EQ(b->semidiameter(), 6.5);
  EXPECT_EQ(b->thicknessSolveType(), 5);
  EXPECT_EQ(b->thicknessSolveSurface(), a) << "the reference is the decoded first surface";
  EXPECT_EQ(b->thicknessSolveScale(), 2);
  EXPECT_EQ(b->thicknessSolveOffset(), 0.25) << "the pickup's offset survives the file";
  EXPECT_EQ(b->curvatureSolveType(), 2);
  EXPECT_EQ(b->curvatureSolveTarget(), -0.1);
  EXPECT_EQ(b->curvatureSolveZone(), 0.7);
  EXPECT_FALSE(b->curvatureSolveTargetSticky());
  EXPECT_TRUE(b->isMirror());
  EXPECT_FALSE(b->glass());
  ASSERT_TRUE(b->apertureObject());
  EXPECT_EQ(b->apertureObject()->rMin(), 0.5);
  EXPECT_EQ(b->apertureObject()->surface().get(), b.get()) << "the aperture knows its surface again";
  EXPECT_EQ(b->stopLetter(), "*ST");
  EXPECT_EQ(b->pickupThickness(), 5 * 2 + 0.25);
}

TEST(SurfaceArchive, OddValuesAreSkippedAndMissingParametersAdded) {
  lens::registerArchiveClasses();
  test::DictionaryCoder coder;
  coder.values.set("thickness", "not a number");
  coder.values.set("semidiameter", 3.0);
  auto asphere = SurfaceTypeRegistry::shared().surfaceOfType("Asphere");
  asphere->initWithCoder(coder);
  EXPECT_EQ(asphere->thickness(), 0);
  EXPECT_EQ(asphere->semidiameter(), 3);
  EXPECT_TRUE(asphere->parameterForTitle("a4")) << "titles missing from the file come with their defaults";
}

TEST(SurfaceTypes, RegistryByMenuNameAndZemaxCode) {
  lens::registerArchiveClasses();
  auto& registry = SurfaceTypeRegistry::shared();
  for (const char* name : {"STANDARD", "Standard"}) {
    SCOPED_TRACE(name);
    auto s = registry.surfaceOfType(name);
    EXPECT_EQ(s->className(), "Surface");
    EXPECT_EQ(s->type(), "Standard");
    EXPECT_EQ(s->zemaxType(), "STANDARD");
  }
  EXPECT_EQ(registry.surfaceOfType("COORDBRK")->className(), registry.surfaceOfType("Break")->className());
  for (const char* name : {"Tilted", "TILTSURF", "nonsense"}) {
    SCOPED_TRACE(name);
    try {
      registry.surfaceOfType(name);
      FAIL() << "not made by name";
    } catch (const platform::Exception& e) {
      EXPECT_EQ(e.name(), "OBException");
      EXPECT_EQ(e.reason(), "Unimplemented surface");
    }
  }
  EXPECT_EQ(SurfaceTypeRegistry::types().size(), 17u);
  EXPECT_EQ(SurfaceTypeRegistry::zemaxTypes().size(), 51u);
}

TEST(SurfaceTypes, TypeChangesKeepValuesAndParameters) {
  lens::registerArchiveClasses();
  auto& registry = SurfaceTypeRegistry::shared();
  auto asphere = registry.surfaceOfType("Asphere");
  asphere->setCurvature(0.03);
  asphere->setThickness(4);
  asphere->setValueForKey("a4", platform::Value(1e-5));
  EXPECT_EQ(asphere->valueForKey("a4").asDouble(), 1e-5);

  auto standard = registry.surfaceOfType("Standard", asphere.get());
  EXPECT_EQ(standard->curvature(), 0.03);
  EXPECT_EQ(standard->thickness(), 4);
  EXPECT_TRUE(standard->parameterArray().empty());
  EXPECT_THROW(standard->valueForKey("a4"), platform::Exception) << "a title the type lacks is no key";

  auto again = registry.surfaceOfType("Asphere", standard.get());
  EXPECT_EQ(again->valueForKey("a4").asDouble(), 1e-5) << "restored from the backup";
  EXPECT_TRUE(again->parameterBackupDictionary().empty());
  EXPECT_EQ(again->transform(), asphere->transform());
}

TEST(SurfaceGlass, NamesMirrorsAndTheFirstWord) {
  auto lens = platform::makeObject<FakeLens>();
  auto s = Surface::create();
  lens->add(s);
  s->setGlassName("  mIrRoR  ");
  EXPECT_TRUE(s->isMirror());
  EXPECT_FALSE(s->glass());
  EXPECT_EQ(s->glassName(), "MIRROR");
  EXPECT_TRUE(s->glassIsGood());

  s->setGlassName("N-BK7 from the catalog");
  EXPECT_EQ(lens->namesAsked, std::vector<std::string>{"N-BK7"});
  EXPECT_FALSE(s->isMirror());
  EXPECT_TRUE(s->glass());

  s->setGlassName("   ");
  EXPECT_FALSE(s->glass());
  EXPECT_FALSE(s->glassName());

  auto alone = Surface::create();
  alone->setGlassName("SF11");
  ASSERT_TRUE(alone->glass());
  EXPECT_TRUE(alone->glass()->isDummy()) << "without a lens the name stays a dummy glass";
}

TEST(SurfaceInLens, IdentityEdgeThicknessAndReferenceBookkeeping) {
  auto lens = platform::makeObject<FakeLens>();
  auto s0 = Surface::create(), s1 = conic(0.1, 0), s2 = conic(-0.05, 0);
  for (const auto& s : {s0, s1, s2}) lens->add(s);
  s1->setThickness(2);
  s1->setSemidiameter(6);
  s2->setSemidiameter(4);
  s1->setComment("front");
  s1->setIsStop(true);
  EXPECT_EQ(s1->nickname(), "1 (front) [Stop]");
  EXPECT_EQ(s1->description(), "s1");
  EXPECT_EQ(s1->stopLetter(), "STO");
  EXPECT_FALSE(s0->canBecomeStop());
  EXPECT_EQ(s1->nextSurface(), s2);
  // 2 − (10 − 8) + (−20 + √(400 − 16)).
  EXPECT_NEAR(s1->edgeThickness(), 2 - 2 + (-20 + std::sqrt(384.0)), 1e-12);
  EXPECT_NEAR(s2->edgeThickness(), -(-20 + std::sqrt(384.0)), 1e-12) << "the last surface: only its own sag";

  std::string listing;
  s1->appendSurfaceDataToString(listing);
  s1->setConicConstant(-1);
  s1->appendAdditionalSurfaceDataToString(listing);
  EXPECT_EQ(listing,
            "     1 STO  front       Standard    10.0000     2.0000               6.0000\n"
            "s1.conicConstant = -1\n");

  s2->setCurvatureSolveType(4);
  EXPECT_EQ(s2->curvatureSolveSurface(), s1) << "a pickup takes the surface before";
  std::swap(lens->surfaces[1], lens->surfaces[2]);  // the source now follows s2
  s2->validateSolveSurfaces();
  EXPECT_EQ(s2->curvatureSolveType(), 0);
  EXPECT_FALSE(s2->curvatureSolveSurface());

  s1->setThicknessSolveTypeSurfaceScaleOffset(5, s0, 1, 0);
  s1->setCurvatureSolveTypeTarget(2, 0.5);
  s1->detachSurface(s0);
  EXPECT_EQ(s1->thicknessSolveType(), 0) << "a pickup without source becomes fixed";
  EXPECT_FALSE(s1->thicknessSolveSurface());
  EXPECT_EQ(s1->curvatureSolveType(), 2) << "solves without reference are untouched";
}

TEST(SurfaceObservation, SummaryKeyAndChangeNotification) {
  lens::registerArchiveClasses();
  auto lens = platform::makeObject<FakeLens>();
  auto s = SurfaceTypeRegistry::shared().surfaceOfType("Asphere");
  lens->add(s);
  s->setNotificationToken(lens->reference());

  int gestalt = 0, a4 = 0, posted = 0;
  auto o1 = s->addObserver("surfaceGestalt", [&](const platform::ObservedChange&) { ++gestalt; });
  auto o2 = s->addObserver("a4", [&](const platform::ObservedChange&) { ++a4; });
  auto o3 = platform::NotificationCenter::defaultCenter().addObserver(
      "surfaceChangedNotification", platform::Value(lens->reference()), [&](const platform::Notification&) { ++posted; });

  s->setThickness(3);
  s->setRadiusOfCurvature(50);
  s->setGlassName("mirror");
  EXPECT_EQ(gestalt, 3);
  EXPECT_EQ(posted, 0) << "the surface's own keys reach the lens by observation";

  s->parameterForTitle("a4")->setValue(2e-6);
  EXPECT_EQ(a4, 1);
  EXPECT_EQ(posted, 1);
  EXPECT_EQ(s->keyPathsForVariables(), std::vector<std::string>{});
  s->parameterForTitle("a6")->setSolveType(Parameter::kVariable);
  EXPECT_EQ(s->keyPathsForVariables(), std::vector<std::string>{"a6"});
}

}  // namespace
}  // namespace orb::lens
