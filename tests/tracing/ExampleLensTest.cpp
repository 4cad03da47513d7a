// The 30-surface example lens as a user opens it: it must trace cleanly, and the
// semidiameters its opening leaves must be those of the aimed y-fans traced ray by ray.
#include <gtest/gtest.h>

#include "ZemaxLens.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "lens/ArchiveClasses.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayAiming.h"
#include "tracing/RayGeneration.h"
#include "tracing/Regeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

// Read, made and updated as the document opens a Zemax file.
std::shared_ptr<lens::Lens> openExample(const std::string& name) {
  return support::lensFromZemaxFile(std::string(ORB_SOURCE_DIR) + "/examples/" + name);
}

// A meridional ray from the object point (0, h) aimed here, not by the program's aimer:
// a secant search on its direction tangent until it crosses the stop at `target`.
Ray aimedMeridionalRay(lens::Lens& lens, double h, double target) {
  const lens::Surface& object = *lens.surfaceArray().front();
  const foundation::XYZ start = object.transform().transformToGlobal({0, h, 0});
  const double n = objectSpaceIndexOfRefraction(lens);
  auto rayWithTangent = [&](double t) { return Ray(start, {0, t, 1}, n); };
  auto miss = [&](double t) {
    Ray r = rayWithTangent(t);
    traceRay(lens, r, lens.stopSurface().get(), TraceOptions::analysis(true));
    EXPECT_TRUE(r.isAlive());
    return r.y() - target;
  };
  const double scale = std::abs(lens.rayAiming().yStopPlus);
  double t0 = 0, t1 = 1e-3, f0 = miss(t0), f1 = miss(t1);
  for (int i = 0; i < 50 && std::abs(f1) > 1e-13 * scale && f1 != f0; ++i) {
    const double t2 = t1 - f1 * (t1 - t0) / (f1 - f0);
    t0 = t1, f0 = f1, t1 = t2, f1 = miss(t1);
  }
  EXPECT_LE(std::abs(f1), 1e-11 * scale);
  return rayWithTangent(t1);
}

TEST(ExampleLensTest, RelayOpensWithAimingAndTracesEveryFanRay) {
  auto lens = openExample("DoubleGaussRelay.zmx");
  ASSERT_TRUE(lens);
  ASSERT_EQ(lens->surfaceArray().size(), 31u);
  EXPECT_FALSE(lens->warningReSystemGeneration()) << *lens->warningReSystemGeneration();
  EXPECT_TRUE(lens->useRayAiming());
  EXPECT_TRUE(lens->rayAiming().isSetup);
  EXPECT_TRUE(lens->useRealRaysToUpdateSemidiameters());
  ASSERT_EQ(lens->fieldArray().size(), 4u);
  ASSERT_EQ(lens->waveArray().size(), 3u);

  // Every ray of every field's fan, in every wave, reaches the image alive.
  std::vector<Ray> rays = raysForFields(*lens, lens->fieldArray(), pupil::yFan(21), lens->waveArray());
  ASSERT_EQ(rays.size(), 4u * 21u * 3u);
  traceRays(*lens, rays);
  for (const Ray& r : rays) EXPECT_TRUE(r.isAlive());

  // The two halves mirror each other through the stop's centre, so the chief ray (aimed
  // in the primary wave) leaves the relay as it entered, towards the mirrored object
  // point (0, −14) at the object's distance; the image plane lies `shift` nearer.
  const Ray chief = *rayForH(*lens, {0, 1}, {0, 0});
  Ray traced = chief;
  traceRay(*lens, traced);
  ASSERT_TRUE(traced.isAlive());
  const auto& surfaces = lens->surfaceArray();
  const double shift = surfaces[surfaces.size() - 2]->thickness() - surfaces.front()->thickness();
  EXPECT_NEAR(traced.y(), -14 + chief.py() / chief.pz() * shift, 1e-8);
  EXPECT_NEAR(traced.x(), 0, 1e-12);
  EXPECT_NEAR(traced.py() / traced.pz(), chief.py() / chief.pz(), 1e-9);
  // The file's thicknesses are rounded to the micron.
  EXPECT_NEAR(lens->paraxialData().get("magnification").asDouble(), -1, 1e-7);
}

TEST(ExampleLensTest, RelaySemidiametersAreThoseOfTheAimedFansTracedOneByOne) {
  auto lens = openExample("DoubleGaussRelay.zmx");
  ASSERT_TRUE(lens);
  const auto& surfaces = lens->surfaceArray();
  const double stopRadius = lens->rayAiming().yStopPlus;
  const pupil::Points fan = pupil::yFan(static_cast<std::uint32_t>(lens->numberOfRaysPerField()));

  std::vector<double> largest(surfaces.size(), 0.0);
  for (const auto& field : lens->fieldArray()) {
    for (const foundation::XY& p : fan) {
      const Ray start = aimedMeridionalRay(*lens, field->y(), p.y * stopRadius);
      largest.front() = std::max(largest.front(), std::abs(start.y()));
      for (std::size_t k = 1; k < surfaces.size(); ++k) {
        Ray r = start;
        traceRay(*lens, r, surfaces[k].get(), TraceOptions::analysis(true));
        ASSERT_TRUE(r.isAlive());
        largest[k] = std::max(largest[k], std::hypot(r.x(), r.y()));
      }
    }
  }
  for (std::size_t k = 0; k < surfaces.size(); ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(surfaces[k]->semidiameterSolveType(), lens::Surface::kSemiAutomatic);
    EXPECT_NEAR(surfaces[k]->semidiameter(), largest[k], 1e-9 * largest[k]);
  }
}


// One field's rays aimed together land where aiming them one by one puts them: on the
// stop at their pupil coordinate, from the same start. From infinity the start point
// moves (the double Gauss, aiming switched on); from a finite object the start direction
// tilts (the relay).
TEST(ExampleLensTest, RaysAimedTogetherMatchRaysAimedOneByOne) {
  const pupil::Points points{{0, -1}, {0, -0.5}, {0, 0}, {0, 0.5}, {0, 1},   {1, 0},
                             {-1, 0}, {0.5, 0.5}, {-0.7, 0.3}, {0.6, -0.8}, {0.3, 0.95}};
  for (const char* name : {"DoubleGauss.zmx", "DoubleGaussRelay.zmx"}) {
    SCOPED_TRACE(name);
    auto lens = openExample(name);
    ASSERT_TRUE(lens);
    lens->setUseRayAiming(true);
    lens->generateSystemFromParaxialSpecification();
    ASSERT_TRUE(lens->rayAiming().isSetup);
    const auto& state = lens->rayAiming();
    const bool fromInfinity = lens->fieldType() == "Angle";
    const double h = 14;  // either lens's largest field: degrees, millimetres
    RayAimer aimer(*lens);
    const double n = objectSpaceIndexOfRefraction(*lens);
    Ray start{{0, 0, 0}, {0, 0, 1}, n};
    if (fromInfinity) {
      const foundation::XY angles{0, h * std::acos(-1.0) / 180};
      start = Ray(aimer.chiefRayPositionForAngleCoordinate(angles), chiefRayDirectionForAngleCoordinate(angles), n);
    } else {
      const lens::Surface& object = *lens->surfaceArray().front();
      start = Ray(object.transform().transformToGlobal({0, h, 0}), aimer.chiefRayMomentumForHeightCoordinate({0, h}),
                  n);
    }
    std::vector<Ray> together(points.size(), start), single(points.size(), start);
    if (fromInfinity)
      aimer.adjustPositionsOfRays(together, points);
    else
      aimer.adjustMomentaOfRays(together, points);
    for (std::size_t i = 0; i < points.size(); ++i) {
      SCOPED_TRACE(i);
      if (fromInfinity)
        aimer.adjustPositionOfRay(single[i], points[i]);
      else
        aimer.adjustMomentumOfRay(single[i], points[i]);
      ASSERT_TRUE(together[i].isAlive());
      ASSERT_TRUE(single[i].isAlive());
      Ray atStop = together[i];
      traceRay(*lens, atStop, lens->stopSurface().get(), TraceOptions::analysis(true));
      const double radius = state.yStopPlus;
      EXPECT_NEAR(atStop.x(), points[i].x * state.xStopPlus, 1e-9 * radius);
      EXPECT_NEAR(atStop.y(), points[i].y * radius, 1e-9 * radius);
      // Start points or directions, as far apart as two misses within the tolerance allow.
      EXPECT_NEAR(together[i].x(), single[i].x(), 1e-8 * radius);
      EXPECT_NEAR(together[i].y(), single[i].y(), 1e-8 * radius);
      EXPECT_NEAR(together[i].px(), single[i].px(), 1e-9);
      EXPECT_NEAR(together[i].py(), single[i].py(), 1e-9);
      EXPECT_NEAR(together[i].pz(), single[i].pz(), 1e-9);
    }
  }
}

// Bundles made with aiming suspended are placed as with aiming switched off, on a lens
// that aims (the double Gauss at 14°, whose stop sees the paraxial pupil shifted).
TEST(ExampleLensTest, SuspendedAimingPlacesRaysParaxially) {
  auto lens = openExample("DoubleGauss.zmx");
  ASSERT_TRUE(lens);
  const pupil::Points points{{0, -1}, {0, 0}, {0, 1}, {1, 0}, {-0.6, 0.5}};
  const Fields fields{lens->fieldArray().back()};
  RayBundle unaimed, suspended, aimed;
  lens->setUseRayAiming(false);
  lens->generateSystemFromParaxialSpecification();
  ASSERT_TRUE(fillBundleForFields(unaimed, *lens, fields, points));
  lens->setUseRayAiming(true);
  lens->generateSystemFromParaxialSpecification();
  ASSERT_TRUE(lens->rayAiming().isSetup);
  ASSERT_TRUE(fillBundleForFields(suspended, *lens, fields, points, {}, false, true));
  ASSERT_TRUE(fillBundleForFields(aimed, *lens, fields, points));
  ASSERT_EQ(suspended.size(), unaimed.size());
  double moved = 0;
  for (std::size_t i = 0; i < unaimed.size(); ++i) {
    EXPECT_NEAR(suspended.qx[i], unaimed.qx[i], 1e-12);
    EXPECT_NEAR(suspended.qy[i], unaimed.qy[i], 1e-12);
    EXPECT_NEAR(suspended.py[i], unaimed.py[i], 1e-15);
    moved = std::max(moved, std::abs(aimed.qy[i] - unaimed.qy[i]));
  }
  EXPECT_GT(moved, 1e-3);  // aiming itself does move them
}

}  // namespace
}  // namespace orb::tracing
