// Zemax surface types beyond the standard ones: each opens as its own surface type with
// its parameters, writes back to the same text, and traces as its optics say.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "InterchangeTestSupport.h"
#include "interchange/LensDictionary.h"
#include "interchange/ZemaxWriter.h"
#include "lens/CoordinateBreak.h"
#include "lens/SurfaceToric.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"
#include "tracing/RayWithFrame.h"
#include "tracing/Regeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::interchange::test {
namespace {

std::shared_ptr<lens::Lens> regeneratedLens(const platform::Dictionary& d) {
  tracing::registerSystemGenerator();
  auto lens = lensFromDictionary(d);
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

std::string quietWrite(const lens::Lens& lens) {
  return zemaxStringForModel(lensDictionaryFromLens(lens), [](const std::string&) {});
}

// Focal lengths in the x and y sections, from the axial probe's transfer matrix.
std::pair<double, double> focalLengthsXY(lens::Lens& lens) {
  const tracing::RayWithFrame r = tracing::tracedAxialFrameRay(lens);
  return {-1 / r.transfer()[0 * 4 + 2], -1 / r.transfer()[1 * 4 + 3]};
}

std::string oneSurfaceLens(const std::string& block) {
  return "MODE SEQ\nUNIT MM\nENPD 10\nFTYP 0 0 1 1 0 0 0\nXFLN 0\nYFLN 0\nWAVM 1 0.55 1\n"
         "SURF 0\n  DISZ INFINITY\nSURF 1\n  STOP\n" +
         block + "  DISZ 100\nSURF 2\n  DISZ 0\n";
}

}  // namespace

TEST(ZemaxSurfaceTypes, EachTypeOpensWithItsParametersAndWritesBack) {
  struct Case {
    const char* type;
    std::string lines;
    const char* className;
    std::vector<std::pair<const char*, double>> values;
  };
  const std::vector<Case> cases = {
      {"TOROIDAL", "  PARM 0 0\n  PARM 1 50\n  PARM 2 1e-05\n", "SurfaceToricY", {{"toricR", 50}, {"a2", 1e-5}}},
      {"BICONICX", "  PARM 1 60\n  PARM 2 -1\n", "SurfaceBiconic", {{"Rx", 60}, {"kx", -1}}},
      {"DGRATING", "  PARM 1 0.2\n  PARM 2 -1\n", "SurfaceGrating", {{"T", 0.2}, {"m", -1}}},
      {"PARAXIAL", "  PARM 1 80\n  PARM 2 1\n", "SurfaceParaxial", {{"f", 80}}},
      {"PARAX_XY", "  PARM 1 0.02\n  PARM 2 0.01\n", "SurfaceParaxialXY", {{"powerX", 0.02}, {"powerY", 0.01}}},
      {"ZERNSURF", "  PARM 1 0.0001\n  XDAT 1 11 0 0 1\n  XDAT 2 5 0 0 1\n  XDAT 6 0.01 0 0 1\n", "SurfaceZernikeSag",
       {{"a2", 1e-4}, {"n", 11}, {"R", 5}, {"A4", 0.01}}},
      {"BINARY_2",
       "  PARM 0 2\n  PARM 1 0.0001\n  XDAT 1 2 0 0 1\n  XDAT 2 10 0 0 1\n  XDAT 3 -100 0 0 1\n  XDAT 4 5 0 0 1\n",
       "SurfaceKinoform", {{"m", 2}, {"a2", 1e-4}, {"nterm", 2}, {"rnorm", 10}, {"b2", -100}, {"b4", 5}}},
      {"FRESNELS", "  PARM 2 1e-06\n", "SurfaceFresnel", {{"a4", 1e-6}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const ReadOutcome read = readZemaxText(oneSurfaceLens(std::string("  TYPE ") + c.type + "\n" + c.lines));
    ASSERT_TRUE(read.dictionary);
    EXPECT_TRUE(read.troubles.empty());
    auto lens = regeneratedLens(*read.dictionary);
    EXPECT_FALSE(lens->warning()) << *lens->warning();
    const auto& s = lens->surfaceArray()[1];
    EXPECT_EQ(s->className(), c.className);
    for (const auto& [title, value] : c.values) EXPECT_EQ(s->parameterValue(title), value) << title;
    // Written and read again: the same type and values.
    const std::string text = quietWrite(*lens);
    EXPECT_NE(text.find(std::string(" TYPE ") + c.type + "\n"), std::string::npos) << text;
    const ReadOutcome again = readZemaxText(text);
    ASSERT_TRUE(again.dictionary);
    auto back = lensFromDictionary(*again.dictionary)->surfaceArray()[1];
    EXPECT_EQ(back->className(), c.className);
    for (const auto& p : s->parameterArray()) EXPECT_EQ(back->parameterValue(p->title()), p->value()) << p->title();
  }
}

// An ideal lens focuses a collimated beam at f with equal optical paths, in one-ray and
// bulk traces alike; an anamorphic one has its two focal lengths 1/powerX, 1/powerY.
TEST(ZemaxSurfaceTypes, IdealLensFilesFocusAsTheirPowersSay) {
  const ReadOutcome read = readZemaxText(oneSurfaceLens("  TYPE PARAXIAL\n  PARM 1 100\n"));
  ASSERT_TRUE(read.dictionary);
  auto lens = regeneratedLens(*read.dictionary);
  ASSERT_FALSE(lens->warning()) << *lens->warning();
  EXPECT_NEAR(*tracing::numberForKey(lens->paraxialData(), "focalLength"), 100, 1e-12);
  std::vector<tracing::Ray> rays;
  tracing::RayBundle bundle;
  for (double x : {-4.0, 0.0, 3.0})
    for (double y : {-5.0, 0.0, 1.0, 4.5}) {
      tracing::Ray r({x, y, 0}, {0, 0, 1}, 1);
      r.setWave(lens->waveArray()[0]);
      rays.push_back(r);
      bundle.append(r);
    }
  tracing::traceRays(*lens, rays);
  tracing::traceRays(*lens, bundle);
  for (std::size_t i = 0; i < rays.size(); ++i) {
    ASSERT_TRUE(rays[i].isAlive());
    EXPECT_NEAR(rays[i].x(), 0, 1e-12);
    EXPECT_NEAR(rays[i].y(), 0, 1e-12);
    EXPECT_NEAR(rays[i].opticalPathLength(), rays[0].opticalPathLength(), 1e-12);
    EXPECT_NEAR(bundle.ray(i).y(), rays[i].y(), 1e-13);
    EXPECT_NEAR(bundle.ray(i).opticalPathLength(), rays[i].opticalPathLength(), 1e-12);
  }

  const ReadOutcome xy = readZemaxText(oneSurfaceLens("  TYPE PARAX_XY\n  PARM 1 0.02\n  PARM 2 0.01\n"));
  ASSERT_TRUE(xy.dictionary);
  auto anamorph = regeneratedLens(*xy.dictionary);
  ASSERT_FALSE(anamorph->warning()) << *anamorph->warning();
  auto [fx, fy] = focalLengthsXY(*anamorph);
  EXPECT_NEAR(fx, 50, 1e-12);
  EXPECT_NEAR(fy, 100, 1e-12);
}

// Every surface type goes through the system update and through one-ray and bulk traces
// alike: the bulk trace carries what its column kernels do not cover ray by ray.
TEST(ZemaxSurfaceTypes, EveryTypeTracesAfterTheSystemUpdate) {
  struct Case {
    const char* type;
    std::vector<std::pair<const char*, double>> values;
  };
  const std::vector<Case> cases = {
      {"Toric X", {{"toricR", 40}}},      {"Toric Y", {{"toricR", 0}}},
      {"Biconic", {{"Rx", 60}}},          {"Zernike", {{"A5", 0.01}, {"R", 6}}},
      {"Kinoform", {{"nterm", 1}, {"rnorm", 5}, {"b2", -200}}},
      {"Fresnel", {{"a4", 1e-5}}},        {"Polynomial", {{"xMin", -8}, {"xMax", 8}, {"yMin", -8}, {"yMax", 8}, {"x0y2", 0.01}}},
      {"Paraxial XY", {{"powerX", 0.02}}}, {"Paraxial Fly Eye", {{"nx", 4}, {"ny", 4}}},
      {"Vortex", {}},                      {"Diffuser", {{"fwhm", 0}}},
      {"Grating", {{"T", 0.3}}},          {"Paraxial", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const ReadOutcome read = readZemaxText(oneSurfaceLens("  CURV 0.01\n  GLAS N-BK7\n"));
    ASSERT_TRUE(read.dictionary);
    auto lens = lensFromDictionary(*read.dictionary);
    auto s = lens::SurfaceTypeRegistry::shared().surfaceOfType(c.type, lens->surfaceArray()[1].get());
    for (const auto& [title, value] : c.values) s->parameterForTitle(title)->setValue(value);
    lens->replaceObjectInSurfaceArrayAtIndex(1, s);
    lens->validateStop();
    lens->validateFields();
    lens->validateWaves();
    lens->generateSystemFromParaxialSpecification();
    ASSERT_FALSE(lens->warning()) << *lens->warning();
    std::vector<tracing::Ray> rays;
    tracing::RayBundle bundle;
    for (double x : {-3.0, 0.5})
      for (double y : {-4.0, 0.0, 2.0}) {
        tracing::Ray r({x, y, -5}, {0, 0.02, 1}, 1);
        r.setWave(lens->waveArray()[0]);
        rays.push_back(r);
        bundle.append(r);
      }
    tracing::traceRays(*lens, rays);
    tracing::traceRays(*lens, bundle);
    ASSERT_FALSE(lens->warning()) << *lens->warning();
    for (std::size_t i = 0; i < rays.size(); ++i) {
      ASSERT_TRUE(rays[i].isAlive()) << i << " " << rays[i].tags().causeOfDeath;
      EXPECT_TRUE(std::isfinite(rays[i].y()) && std::isfinite(rays[i].opticalPathLength()));
      EXPECT_NEAR(bundle.ray(i).x(), rays[i].x(), 1e-12);
      EXPECT_NEAR(bundle.ray(i).y(), rays[i].y(), 1e-12);
    }
  }
}

// Zemax's parameter 2 of a paraxial lens is its OPD mode: a lenslet array goes out as its
// lenslet focal length alone, not with its pitch in the OPD mode.
TEST(ZemaxSurfaceTypes, FlyEyeGoesOutAsAPlainParaxialLens) {
  const ReadOutcome read = readZemaxText(oneSurfaceLens("  TYPE PARAXIAL\n  PARM 1 80\n"));
  ASSERT_TRUE(read.dictionary);
  auto lens = lensFromDictionary(*read.dictionary);
  auto fly = lens::SurfaceTypeRegistry::shared().surfaceOfType("Paraxial Fly Eye", lens->surfaceArray()[1].get());
  lens->replaceObjectInSurfaceArrayAtIndex(1, fly);
  EXPECT_EQ(fly->parameterValue("f"), 80);
  const std::string text = quietWrite(*lens);
  EXPECT_NE(text.find(" TYPE PARAXIAL\n"), std::string::npos);
  EXPECT_NE(text.find(" PARM 1 80\n"), std::string::npos);
  EXPECT_EQ(text.find(" PARM 2 "), std::string::npos) << text;
  EXPECT_EQ(text.find(" XDAT "), std::string::npos) << text;
}

// A plano-toric singlet, curved side first: each section is a plano-convex lens, whose
// focal length is R/(n − 1) whatever its thickness. The y section has the profile radius
// 100, the x section the rotation radius 50; N-BK7 at 587.56 nm has n = 1.516800.
TEST(ZemaxSurfaceTypes, ToricSingletHasItsTwoThinLensFocalLengths) {
  const ReadOutcome read = readZemaxFile("fixtures/toric_singlet.zmx");
  ASSERT_TRUE(read.dictionary);
  EXPECT_TRUE(read.troubles.empty());
  auto lens = regeneratedLens(*read.dictionary);
  ASSERT_FALSE(lens->warning()) << *lens->warning();
  const double n = 1.516800;
  auto [fx, fy] = focalLengthsXY(*lens);
  EXPECT_NEAR(fy, 100 / (n - 1), 2e-3);
  EXPECT_NEAR(fx, 50 / (n - 1), 2e-3);
  EXPECT_NEAR(*tracing::numberForKey(lens->paraxialData(), "focalLength"), fy, 1e-9);

  // The same toric turned a quarter (Toric X) goes out as breaks around a Toric Y, and
  // comes back with the two focal lengths exchanged. (A window in front keeps the breaks
  // from leading the system, where they would turn the object space instead.)
  const auto& s = lens->surfaceArray();
  auto turned = lens::SurfaceTypeRegistry::shared().surfaceOfType("Toric X", s[1].get());
  lens->replaceObjectInSurfaceArrayAtIndex(1, turned);
  auto window = lens::Surface::create();
  window->setThickness(1);
  lens->insertObjectInSurfaceArrayAtIndex(window, 1);
  lens->generateSystemFromParaxialSpecification();
  auto [gx, gy] = focalLengthsXY(*lens);
  EXPECT_NEAR(gx, fy, 1e-9);
  EXPECT_NEAR(gy, fx, 1e-9);
  const ReadOutcome again = readZemaxText(quietWrite(*lens));
  ASSERT_TRUE(again.dictionary);
  auto reread = regeneratedLens(*again.dictionary);
  ASSERT_EQ(reread->surfaceArray().size(), 7u);
  EXPECT_EQ(reread->surfaceArray()[2]->comment(), "<toric-x>");
  EXPECT_EQ(reread->surfaceArray()[3]->className(), "SurfaceToricY");
  EXPECT_EQ(reread->surfaceArray()[4]->comment(), "</toric-x>");
  auto [hx, hy] = focalLengthsXY(*reread);
  EXPECT_NEAR(hx, gx, 1e-9);
  EXPECT_NEAR(hy, gy, 1e-9);
}

TEST(ZemaxSurfaceTypes, ToroidalStockLensOpensWithoutTrouble) {
  const ReadOutcome read = readZemaxFile("thorlabs_lj1598l1.zmx");
  ASSERT_TRUE(read.dictionary);
  EXPECT_TRUE(read.troubles.empty());
  auto lens = regeneratedLens(*read.dictionary);
  EXPECT_FALSE(lens->warning()) << *lens->warning();
  EXPECT_EQ(lens->surfaceArray()[1]->className(), "SurfaceToricY");
  // Rotation radius 0: a cylinder of radius 1/0.495 in y, flat in x.
  auto [fx, fy] = focalLengthsXY(*lens);
  EXPECT_TRUE(std::isinf(fx) || std::abs(fx) > 1e12);
  EXPECT_GT(fy, 0);
}

// The transmission grating of another program's test data: 0.2 lines per µm used in
// order −1 at 0.587 µm, behind 5 mm of N-BK7. Rays leave it at sin θ′ = mλT = −0.1174
// in air and reach the image plane 30 mm on.
TEST(ZemaxSurfaceTypes, TransmissionGratingFileTracesItsDiffractedOrder) {
  const ReadOutcome read = readZemaxFile("flat_transmission_grating.zmx");
  ASSERT_TRUE(read.dictionary);
  auto lens = regeneratedLens(*read.dictionary);
  ASSERT_FALSE(lens->warning()) << *lens->warning();
  const auto& s = lens->surfaceArray();
  ASSERT_EQ(s[3]->className(), "SurfaceGrating");
  const double sinT = -1 * 0.587 * 0.2, tanT = sinT / std::sqrt(1 - sinT * sinT);
  std::vector<tracing::Ray> rays;
  tracing::RayBundle bundle;
  for (double y : {-4.0, 0.0, 2.5}) {
    tracing::Ray r({0, y, 0}, {0, 0, 1}, 1);
    r.setWave(lens->waveArray()[0]);
    rays.push_back(r);
    bundle.append(r);
  }
  tracing::traceRays(*lens, rays);
  EXPECT_FALSE(lens->warning()) << *lens->warning();
  tracing::traceRays(*lens, bundle);
  const double zImage = s.back()->zInGlobalCoordinates(), zGrating = s[3]->zInGlobalCoordinates();
  for (std::size_t i = 0; i < rays.size(); ++i) {
    const tracing::Ray& r = rays[i];
    ASSERT_TRUE(r.isAlive()) << r.tags().causeOfDeath;
    const double y0 = i == 0 ? -4.0 : i == 1 ? 0.0 : 2.5;
    EXPECT_NEAR(r.py() / std::hypot(r.py(), r.pz()), sinT, 1e-12);
    EXPECT_NEAR(r.y(), y0 + (zImage - zGrating) * tanT, 1e-10);
    // The bulk trace carries the grating through the same law.
    const tracing::Ray b = bundle.ray(i);
    EXPECT_NEAR(b.y(), r.y(), 1e-12);
    EXPECT_NEAR(b.opticalPathLength(), r.opticalPathLength(), 1e-12);
  }
}

}  // namespace orb::interchange::test
