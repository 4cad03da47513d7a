// Distortion, field curvature, the sine condition and geometric encircled energy against
// closed forms and a meridional trace written here, independent of the tracer.
#include <gtest/gtest.h>

#include "ZemaxLens.h"

#include <cmath>
#include <limits>
#include <vector>

#include "RayAnalysisTestSupport.h"
#include "analysis/FieldScanCalculator.h"
#include "analysis/GEECalculator.h"
#include "analysis/LSACalculator.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "tracing/LensSummary.h"

namespace orb::analysis {
namespace {

using testing::mirrorLens;
using testing::seriesOf;
using testing::Window;

constexpr double kDeg = M_PI / 180;

// --- an independent meridional trace of spherical surfaces -----------------------------------

struct Sphere {
  double z, c, nAfter;  // vertex, curvature, index behind it
};

// The lens as spheres from surface 1 (vertex at z = 0) to the image plane.
std::vector<Sphere> spheresOf(const lens::Lens& l, double microns) {
  std::vector<Sphere> out;
  double z = 0;
  const auto& s = l.surfaceArray();
  for (std::size_t k = 1; k < s.size(); ++k) {
    const auto& glass = s[k]->glass();
    out.push_back({z, s[k]->curvature(), glass ? glass->indexAtWavelengthInMicrons(microns) : 1.0});
    z += s[k]->thickness();
  }
  return out;
}

// Paraxial y–nu trace from z = 0 with height y and slope u; answers (height, slope) at the
// vertex of sphere `last` (before it bends the ray).
std::pair<double, double> paraxialTo(const std::vector<Sphere>& s, std::size_t last, double y, double u) {
  double n = 1;
  for (std::size_t k = 0; k < last; ++k) {
    if (k > 0) y += (s[k].z - s[k - 1].z) * u;
    const double nu = n * u - y * s[k].c * (s[k].nAfter - n);
    n = s[k].nAfter, u = nu / n;
  }
  y += (s[last].z - s[last - 1].z) * u;
  return {y, u};
}

// Exact meridional trace of the ray through (z = 0, y) at angle `theta` to the axis; its
// height on the last sphere (a plane).
double realHeightAtImage(const std::vector<Sphere>& s, double y, double theta) {
  double z = 0, dz = std::cos(theta), dy = std::sin(theta), n = 1;
  for (std::size_t k = 0; k < s.size(); ++k) {
    double t;
    if (s[k].c == 0) {
      t = (s[k].z - z) / dz;
    } else {
      const double r = 1 / s[k].c, zc = s[k].z + r;
      const double b = dz * (z - zc) + dy * y, cc = (z - zc) * (z - zc) + y * y - r * r;
      const double root = std::sqrt(b * b - cc);
      const double t1 = -b - root, t2 = -b + root;
      t = std::abs(z + t1 * dz - s[k].z) < std::abs(z + t2 * dz - s[k].z) ? t1 : t2;
    }
    z += t * dz, y += t * dy;
    if (k + 1 == s.size()) break;
    // Unit normal along the ray's travel, then Snell's law in vector form.
    double nz = 1, ny = 0;
    if (s[k].c != 0) {
      const double r = 1 / s[k].c;
      nz = (z - (s[k].z + r)) / r, ny = y / r;
      nz = -nz, ny = -ny;  // the centre side of the surface
      if (nz * dz + ny * dy < 0) nz = -nz, ny = -ny;
    }
    const double mu = n / s[k].nAfter, cos1 = nz * dz + ny * dy;
    const double cos2 = std::sqrt(1 - mu * mu * (1 - cos1 * cos1));
    dz = mu * dz + (cos2 - mu * cos1) * nz;
    dy = mu * dy + (cos2 - mu * cos1) * ny;
    n = s[k].nAfter;
  }
  return y;
}

TEST(DistortionTest, DoubleGaussMatchesAnIndependentChiefRayTrace) {
  auto l = support::lensFromZemaxFile(std::string(ORB_SOURCE_DIR) + "/examples/DoubleGauss.zmx");
  auto c = platform::makeObject<DistortionCalculator>();
  c->setNumberOfRays(8);  // 0°, 2°, …, 14°
  Window window(l, c);
  c->setWaveOfInterest(l->primaryWave());
  ASSERT_TRUE(window.run());
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Distortion");
  EXPECT_EQ(plot.get(plot::kXLabel).asString(), "image coordinate (mm)");
  ASSERT_EQ(window.curves().size(), 1u);
  ASSERT_EQ(seriesOf(window.curves()[0], plot::kYSeries).count(), 8u);

  // The reference is the paraxial chief ray on the image surface; at the paraxial focal
  // plane that is f·tan θ. The example's image plane lies a little inside the focus, so
  // it is checked where it is and again refocused.
  const std::size_t lastGap = l->surfaceArray().size() - 2;
  for (bool refocused : {false, true}) {
    SCOPED_TRACE(refocused ? "at the paraxial focus" : "as the example has it");
    auto spheres = spheresOf(*l, l->primaryWave()->wavelengthInMicrons());
    std::size_t stop = 0;
    for (std::size_t k = 1; k < l->surfaceArray().size(); ++k)
      if (l->surfaceArray()[k]->isStop()) stop = k - 1;
    const auto [yLast, uLast] = paraxialTo(spheres, spheres.size() - 1, 1, 0);
    const double f = -1 / uLast;
    EXPECT_NEAR(f, 100, 0.5);
    if (refocused) {
      EXPECT_NEAR(yLast, 0, 1e-12);
    } else {
      // Move the image plane to where the axial paraxial ray crosses the axis.
      const double shift = -yLast / uLast;
      EXPECT_GT(std::abs(shift), 0.01);
      l->surfaceArray()[lastGap]->setThickness(l->surfaceArray()[lastGap]->thickness() + shift);
    }
    const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
    const auto& d = seriesOf(window.curves()[0], plot::kYSeries);
    EXPECT_EQ(d.at(0), 0);  // the axial point
    // Stop height A·y + B·u of a paraxial ray from z = 0: the chief ray starts at −B·u/A.
    const double A = paraxialTo(spheres, stop, 1, 0).first, B = paraxialTo(spheres, stop, 0, 1).first;
    for (int degrees : {10, 14}) {
      SCOPED_TRACE(degrees);
      const double u = std::tan(degrees * kDeg), y0 = -B * u / A;
      const double reference = refocused ? f * u : paraxialTo(spheres, spheres.size() - 1, y0, u).first;
      const double real = realHeightAtImage(spheres, y0, degrees * kDeg);
      const std::size_t i = std::size_t(degrees / 2);
      EXPECT_NEAR(std::abs(x.at(i)), std::abs(real), 1e-9);
      EXPECT_NEAR(d.at(i), 100 * (real / reference - 1), 1e-4);
    }
    if (!refocused) {
      l->generateSystemFromParaxialSpecification();
      ASSERT_TRUE(window.run());
    }
  }
}

// With ray aiming on, the real chief ray starts where it reaches the middle of the real
// stop, but distortion is still measured against the paraxial chief ray of the field. Off
// the paraxial focus the two paraxial rays part (their slopes differ by the start's shift
// over f), so the image plane is put 3 mm inside the focus to tell them apart.
TEST(DistortionTest, AimedChiefRaysAreReferredToTheParaxialChiefRay) {
  auto l = support::lensFromZemaxFile(std::string(ORB_SOURCE_DIR) + "/examples/DoubleGauss.zmx");
  l->setUseRayAiming(true);
  auto spheres = spheresOf(*l, l->primaryWave()->wavelengthInMicrons());
  const auto [yLast, uLast] = paraxialTo(spheres, spheres.size() - 1, 1, 0);
  const auto& lastGap = l->surfaceArray()[l->surfaceArray().size() - 2];
  lastGap->setThickness(lastGap->thickness() - yLast / uLast - 3);
  l->generateSystemFromParaxialSpecification();
  ASSERT_TRUE(l->rayAiming().isSetup);
  spheres = spheresOf(*l, l->primaryWave()->wavelengthInMicrons());
  const auto [yDefocused, uDefocused] = paraxialTo(spheres, spheres.size() - 1, 1, 0);
  ASSERT_NEAR(-yDefocused / uDefocused, 3, 1e-9);  // the plane sits 3 mm before the focus

  auto c = platform::makeObject<DistortionCalculator>();
  c->setNumberOfRays(8);  // 0°, 2°, …, 14°
  Window window(l, c);
  c->setWaveOfInterest(l->primaryWave());
  ASSERT_TRUE(window.run());
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& d = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(d.count(), 8u);

  // The paraxial chief ray from z = 0 crosses the stop's vertex: start height −B·u/A, with
  // A, B the stop heights of the rays (1, 0) and (0, 1); then traced on to the image plane.
  std::size_t stop = 0;
  for (std::size_t k = 1; k < l->surfaceArray().size(); ++k)
    if (l->surfaceArray()[k]->isStop()) stop = k - 1;
  const double A = paraxialTo(spheres, stop, 1, 0).first, B = paraxialTo(spheres, stop, 0, 1).first;
  for (int degrees : {10, 14}) {
    SCOPED_TRACE(degrees);
    const double u = std::tan(degrees * kDeg);
    const double reference = paraxialTo(spheres, spheres.size() - 1, -B * u / A, u).first;
    const std::size_t i = std::size_t(degrees / 2);
    // D = y/y_p − 1 gives back the reference height y_p the plot used.
    const double used = x.at(i) / (1 + d.at(i) / 100);
    EXPECT_NEAR(used / reference - 1, 0, 1e-9);
  }
}

// A mirror whose stop sits at its centre of curvature: every chief ray meets the mirror
// along its normal and returns through the centre, so it lands at (|R|/2)·tan θ on the
// paraxial focal plane, as the paraxial chief ray does: no distortion. The fans about
// the chief ray focus on the sphere of radius |R|/2 about the centre, (|R|/2)(1 − cos θ)
// beyond the plane, sagittal and tangential alike.
LensPtr mirrorWithStopAtCentre(const std::vector<double>& fieldDegrees) {
  return testing::mirrorBehindStop(-200, 200, 0, fieldDegrees);
}

TEST(DistortionTest, MirrorWithTheStopAtItsCentreHasNone) {
  auto c = platform::makeObject<DistortionCalculator>();
  c->setNumberOfRays(3);  // 0°, 5°, 10°
  Window window(mirrorWithStopAtCentre({0, 10}), c);
  ASSERT_TRUE(window.run());
  const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& d = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(x.count(), 3u);
  EXPECT_NEAR(std::abs(x.at(2)), 100 * std::tan(10 * kDeg), 1e-9);
  EXPECT_NEAR(std::abs(x.at(2)), 17.6327, 5e-5);
  for (double v : d) EXPECT_NEAR(v, 0, 1e-9);
}

TEST(FieldCurvatureTest, MirrorWithTheStopAtItsCentreFocusesOnAConcentricSphere) {
  auto c = platform::makeObject<FieldCurvature>();
  c->setNumberOfRays(3);
  Window window(mirrorWithStopAtCentre({0, 10}), c);
  ASSERT_TRUE(window.run());
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Field curvature");
  ASSERT_EQ(window.curves().size(), 2u);  // S then T of the one wave
  const auto& s = window.curves()[0].asDictionary();
  const auto& t = window.curves()[1].asDictionary();
  EXPECT_EQ(s.get(plot::kName).asString(), "curvature (S)");
  EXPECT_TRUE(s.get(plot::kDashed).asBool());
  EXPECT_EQ(t.get(plot::kName).asString(), "curvature (T)");
  for (const auto* curve : {&window.curves()[0], &window.curves()[1]}) {
    const auto& x = seriesOf(*curve, plot::kXSeries);
    const auto& y = seriesOf(*curve, plot::kYSeries);
    ASSERT_EQ(y.count(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_DOUBLE_EQ(x.at(i), 5.0 * double(i));
      EXPECT_NEAR(std::abs(y.at(i)), 100 * (1 - std::cos(x.at(i) * kDeg)), 2e-4 * (1 + i)) << i;
    }
    EXPECT_GT(std::abs(y.at(2)), 1.5);
  }
}

TEST(FieldCurvatureTest, TwoWavesGiveSandTOfEachInTurn) {
  auto l = mirrorLens(-200, 0);  // one field: every wave is analysed
  auto waves = lens::Wave::FdC();
  l->setWaveArray({waves[0], waves[1]});
  auto c = platform::makeObject<FieldCurvature>();
  Window window(l, c);
  ASSERT_TRUE(window.run());
  ASSERT_EQ(window.curves().size(), 4u);
  const char* names[] = {"curvature (S)", "curvature (T)", "curvature (S)", "curvature (T)"};
  for (std::size_t k = 0; k < 4; ++k) {
    const auto& curve = window.curves()[k].asDictionary();
    EXPECT_EQ(curve.get(plot::kName).asString(), names[k]);
    EXPECT_EQ(curve.get(plot::kWave).asObject<lens::Wave>(), waves[k / 2]);
  }
}

// A paraboloid sends the ray of height h to the focus from a distance f + h²/(4f): the
// real focal length there is that distance, so OSC = 1 − u′/sin U′ = −h²/(4f²); at the
// pupil centre (0 / 0) the cubic through the neighbours gives 0.
TEST(OSCTest, ParaboloidOffenceIsQuadraticInTheHeightAndZeroOnAxis) {
  auto c = platform::makeObject<OSCCalculator>();
  c->setNumberOfRays(21);
  Window window(mirrorLens(-200, -1), c);
  ASSERT_TRUE(window.run());
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Offense against sine condition");
  EXPECT_EQ(plot.get(plot::kYLabel).asString(), "OSC'");
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& x = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& y = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(x.count(), 21u);
  const double f = 100;
  for (std::size_t i = 0; i < 21; ++i) {
    const double h = 10 * x.at(i);
    EXPECT_NEAR(y.at(i), -h * h / (4 * f * f), 1e-12) << i;
  }
  EXPECT_EQ(x.at(10), 0);
  EXPECT_NEAR(y.at(10), 0, 1e-15);
}

TEST(OSCTest, CentreNearAnEndOfTheFanPlotsAsZero) {
  auto c = platform::makeObject<OSCCalculator>();
  c->setNumberOfRays(3);  // −1, 0, 1: the centre has one neighbour on each side
  Window window(mirrorLens(-200, -1), c);
  ASSERT_TRUE(window.run());
  const auto& y = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(y.count(), 3u);
  EXPECT_EQ(y.at(1), 0);
  EXPECT_NEAR(y.at(0), -100.0 / 40000, 1e-12);
}

// On the mirror (the stop) rays from infinity land where they were aimed: the hexapolar
// pupil, a uniformly filled disc of radius 10. E(r) = (r/ρ)² within the sampling.
TEST(GEETest, UniformlyFilledDiscGathersTheSquareOfTheRadius) {
  auto l = mirrorLens(-200, 0);
  auto c = platform::makeObject<GEECalculator>();
  c->setFanType("hexapolar");
  const std::uint64_t rings = 30;
  c->setNumberOfRays(RaysCalculator::hexagonalNumber(rings));
  Window window(l, c);
  window.buffer = std::make_unique<LensBuffer>(window.document, c);
  c->setSurfaceOfInterest(l->surfaceArray()[1]);  // the mirror
  ASSERT_TRUE(window.run());
  const auto& plot = *c->plotDictionary();
  EXPECT_EQ(plot.get(plot::kTitle).asString(), "Geometrical encircled energy");
  EXPECT_EQ(plot.get(plot::kXLabel).asString(), "radius (mm)");
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& r = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& e = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(r.count(), RaysCalculator::hexagonalNumber(rings));
  // The outer ring sits within the disc's edge by half a ring spacing.
  EXPECT_LE(r.at(r.count() - 1), 10);
  EXPECT_GT(r.at(r.count() - 1), 10 * (1 - 1.0 / double(rings)));
  EXPECT_DOUBLE_EQ(c->maximumRadius(), plot.get(plot::kXMax).asDouble());
  EXPECT_GT(plot.get(plot::kXMax).asDouble(), r.at(r.count() - 1));
  for (std::size_t i = 0; i < r.count(); ++i) {
    const double rho = r.at(i) / 10;
    ASSERT_NEAR(e.at(i), rho * rho, 2.5 / double(rings)) << i;
  }
  EXPECT_EQ(e.at(0), 0);
  EXPECT_EQ(e.at(e.count() - 1), 1);

  // Ensquared radii never exceed encircled ones; a square of half-side ρ holds it all.
  std::vector<double> encircled(r.begin(), r.end());
  c->setUseEnsquared(true);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(c->plotDictionary()->get(plot::kTitle).asString(), "Geometrical ensquared energy");
  const auto& sq = seriesOf(window.curves()[0], plot::kXSeries);
  for (std::size_t i = 0; i < sq.count(); ++i) EXPECT_LE(sq.at(i), encircled[i] + 1e-12);
}

// A sphere has spherical aberration: the ray of height h crosses the axis R/(2 cos θ) from
// the centre (sin θ = h/R), so it meets the paraxial focal plane at
// h·(L − R/2)/(L − sag), L = R − R/(2 cos θ) from the vertex. The marginal rays (h = ±10)
// land furthest out, both at the same radius, where the curve climbs from 19/20 to 1 in
// one step: the range must lie beyond that radius for the climb to show.
TEST(GEETest, RangeHoldsTheRiseToTheWholeEnergy) {
  auto c = platform::makeObject<GEECalculator>();
  c->setFanType("y-fan");
  c->setNumberOfRays(21);  // pupil −1, −0.9, …, 1: symmetric, so the centroid is on axis
  c->setUnits("micron");
  Window window(mirrorLens(-200, 0), c);
  ASSERT_TRUE(window.run());
  ASSERT_EQ(window.curves().size(), 1u);
  const auto& r = seriesOf(window.curves()[0], plot::kXSeries);
  const auto& e = seriesOf(window.curves()[0], plot::kYSeries);
  ASSERT_EQ(r.count(), 21u);

  const double R = 200, h = 10, cosTheta = std::sqrt(1 - (h / R) * (h / R));
  const double L = R - R / (2 * cosTheta), sag = R - std::sqrt(R * R - h * h);
  const double marginal = 1000 * std::abs(h * (L - R / 2) / (L - sag));  // µm
  EXPECT_NEAR(marginal, 12.571, 5e-4);
  EXPECT_NEAR(r.at(19), marginal, 1e-9);
  EXPECT_NEAR(r.at(20), marginal, 1e-9);
  EXPECT_EQ(e.at(20), 1);

  const double xMax = c->plotDictionary()->get(plot::kXMax).asDouble();
  EXPECT_DOUBLE_EQ(c->maximumRadius(), xMax);
  // Every radius, the last step up to 1 included, lies visibly inside the range.
  EXPECT_GE(xMax - marginal, 0.02 * xMax);
  EXPECT_LE(xMax, 1.2 * marginal);  // and the range still follows the data
}

// Two confocal mirrors: the primary (R = −256) focuses 128 before itself, where the convex
// secondary (R = −128), 64 before the primary, has its focus too, so the beam leaves
// parallel and the focal length is infinite. Dividing radii by it gives no curve.
TEST(GEETest, DividingByAnInfiniteFocalLengthGivesNoCurve) {
  tracing::registerSystemGenerator();
  auto l = lens::Lens::create();
  l->stopWatchingSelf();
  auto object = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  auto primary = lens::Surface::create();
  primary->setCurvature(-1.0 / 256);
  primary->setThickness(-64);
  auto secondary = lens::Surface::create();
  secondary->setCurvature(-1.0 / 128);
  secondary->setThickness(100);
  auto image = lens::Surface::create();
  for (const auto& s : {object, primary, secondary, image}) l->insertInSurfaces(s);
  primary->setIsMirror(true);
  secondary->setIsMirror(true);
  l->setStopSurface(primary);
  testing::finishedMirrorLens(l, {0});
  ASSERT_TRUE(std::isinf(tracing::focalLength(*l)));

  auto c = platform::makeObject<GEECalculator>();
  Window window(l, c);
  ASSERT_TRUE(window.run());  // plain radii: a curve
  ASSERT_EQ(window.curves().size(), 1u);
  EXPECT_EQ(c->status(), "");

  c->setDivideByFocalLength(true);
  ASSERT_TRUE(testing::pumpUntil([&] {
    return !c->needsWork() && !c->hasWorkerThread() && !platform::RunLoop::main().hasPendingWork();
  }));
  EXPECT_FALSE(c->plotDictionary().has_value());
  EXPECT_NE(c->status().find("No finite focal length"), std::string::npos) << c->status();
}

TEST(GEETest, UnitsKeepThePhysicalRangeAndAFixedRangeStaysFixed) {
  auto c = platform::makeObject<GEECalculator>();
  EXPECT_EQ(c->numberOfRays(), 127u);
  EXPECT_TRUE(c->useEntireRadiusRange());
  c->setMaximumRadius(0.02);
  EXPECT_FALSE(c->useEntireRadiusRange());
  EXPECT_FALSE(c->scaleOnlyExpands());
  c->setUnits("micron");
  EXPECT_NEAR(c->maximumRadius(), 20, 1e-12);
  c->setUnits("mm");
  EXPECT_NEAR(c->maximumRadius(), 0.02, 1e-15);

  auto l = mirrorLens(-200, 0);
  Window window(l, c);
  window.buffer = std::make_unique<LensBuffer>(window.document, c);
  c->setSurfaceOfInterest(l->surfaceArray()[1]);  // the mirror
  ASSERT_TRUE(window.run());
  EXPECT_DOUBLE_EQ(c->maximumRadius(), 0.02);  // not overwritten by the data
  EXPECT_DOUBLE_EQ(c->plotDictionary()->get(plot::kXMax).asDouble(), 0.02);
  const auto saved = c->restorationDictionary();
  EXPECT_DOUBLE_EQ(saved.get("maximumRadius").asDouble(), 0.02);
  EXPECT_FALSE(saved.get("useEntireRadiusRange").asBool());
}

}  // namespace
}  // namespace orb::analysis
