#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "interchange/LensDictionary.h"
#include "interchange/ZemaxWriter.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/RunLoop.h"
#include "tracing/Regeneration.h"
#include "LogCapture.h"
#include "ParaxialLens.h"
#include "ZemaxLens.h"

namespace orb::tracing {
namespace {

using paraxialtest::kInf;
using paraxialtest::makeLens;
using paraxialtest::Spec;

// Hand-placed rays at one surface of radius R centred on the axis (centre at z = R), z
// measured from its vertex; y the height of a ray that arrives parallel to the axis.

// Refracted from air into index n: the triangle at the centre of curvature gives the
// axis crossing L′ = R + R·sin I′ / sin U′, with sin I = y/R, sin I′ = sin I / n and
// U′ = I − I′ the ray's angle with the axis. Paraxially L′ = nR / (n − 1).
double sphereAxisCrossing(double R, double n, double y) {
  const double I = std::asin(y / R), Iprime = std::asin(y / R / n);
  return R + R * std::sin(Iprime) / std::sin(I - Iprime);
}

// The same ray where it is at height T: it leaves the sphere at (y, R − √(R² − y²)) with
// slope −tan U′.
double sphereHeightCrossing(double R, double n, double y, double T) {
  const double I = std::asin(y / R), Iprime = std::asin(y / R / n);
  return R - std::sqrt(R * R - y * y) + (y - T) / std::tan(I - Iprime);
}

// From an axial object point d before the vertex at angle U to the axis (tan U given):
// the ray passes the centre of curvature at (d + R)·sin U, so sin I = (d + R)·sin U / R;
// refraction turns it by I − I′ towards the axis, U′ = U − I + I′ < 0, and it crosses
// the axis R·sin I′ / sin(−U′) behind the centre. Paraxially n/l′ + 1/d = (n − 1)/R.
double sphereAxisCrossingFromPoint(double R, double n, double d, double tanU) {
  const double U = std::atan(tanU);
  const double I = std::asin((d + R) * std::sin(U) / R), Iprime = std::asin(std::sin(I) / n);
  return R + R * std::sin(Iprime) / std::sin(I - Iprime - U);
}

// Reflected by a concave mirror (R < 0): the triangle of the centre C, the point struck
// and the axis crossing has equal angles I at C and at the point, so the crossing lies
// |R| / (2 cos I) from C towards the vertex. Paraxially R/2.
double mirrorAxisCrossing(double R, double y) {
  const double cosI = std::sqrt(1 - (y / R) * (y / R));
  return R + std::abs(R) / (2 * cosI);
}

class SolveApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { registerSystemGenerator(); }
  void TearDown() override {
    lens::Lens::setSystemGenerator(nullptr);
    platform::RunLoop::main().runUntilIdle();
  }
};

// A sphere in air (R = 50 into n = 1.5, 40 mm beam) and a concave mirror (R = −200, 80 mm
// beam) have strong spherical aberration: the real ray through a pupil zone crosses the
// axis well before the paraxial focus (150 and −100). Zones 1 (the default) and 0 keep
// the paraxial solve; a zone whose ray misses the surface falls back to it and says so.
TEST_F(SolveApplicationTest, MarginalHeightSolveFollowsTheRealRayOfItsZone) {
  const std::vector<Spec> sphere{{0, kInf}, {50, 100, 1.5, true}, {0, 0}};
  const std::vector<Spec> nearSphere{{0, 200}, {50, 100, 1.5, true}, {0, 0}};
  const std::vector<Spec> mirror{{0, kInf}, {-200, -50, 1, true, true}, {0, 0}};
  struct Case {
    const char* name;
    const std::vector<Spec>* specs;
    double epd, zone, target, thickness;
    bool lost = false;
  };
  const std::vector<Case> cases{
      {"sphere-zone-0.7-focus", &sphere, 40, 0.7, 0, sphereAxisCrossing(50, 1.5, 14)},
      {"sphere-zone-0.7-height-3", &sphere, 40, 0.7, 3, sphereHeightCrossing(50, 1.5, 14, 3)},
      {"sphere-lower-zone-0.5", &sphere, 40, -0.5, 0, sphereAxisCrossing(50, 1.5, -10)},
      {"sphere-zone-1-paraxial-focus", &sphere, 40, 1, 0, 150},
      {"sphere-zone-0-paraxial-focus", &sphere, 40, 0, 0, 150},
      // Paraxial ray from h = 20 at slope −20/150 down to 3: 17 · 150/20.
      {"sphere-zone-1-paraxial-height-3", &sphere, 40, 1, 3, 127.5},
      // y = 60 misses a sphere of radius 50.
      {"sphere-zone-3-lost", &sphere, 40, 3, 0, 150, true},
      // A 40 mm pupil on the sphere seen from 200 mm: tan U = 0.7 · 20/200. Paraxial
      // image at 300 (1.5/l′ = 0.5/50 − 1/200).
      {"near-object-zone-0.7-focus", &nearSphere, 40, 0.7, 0, sphereAxisCrossingFromPoint(50, 1.5, 200, 0.07)},
      {"near-object-zone-1-paraxial-focus", &nearSphere, 40, 1, 0, 300},
      {"mirror-zone-0.7-focus", &mirror, 80, 0.7, 0, mirrorAxisCrossing(-200, 28)},
      {"mirror-zone-1-paraxial-focus", &mirror, 80, 1, 0, -100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::LogCapture log;
    auto lens = makeLens(*c.specs, c.epd);
    const auto& s = lens->surfaceArray()[1];
    s->setThicknessSolveTypeTargetZone(2, c.target, c.zone);
    generateSystemFromParaxialSpecification(*lens);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    EXPECT_TRUE(s->thicknessSolveImplemented());
    EXPECT_NEAR(s->thickness(), c.thickness, 1e-9);
    EXPECT_EQ(log.contains("real ray at pupil zone 3 can not be traced"), c.lost) << log.text();
  }
  // The zone's focus is where spherical aberration puts it, not the paraxial one.
  EXPECT_LT(sphereAxisCrossing(50, 1.5, 14), 150 - 2);
  EXPECT_GT(mirrorAxisCrossing(-200, 28), -100 + 0.9);
}

// A Zemax file saved at its 0.7-zone focus stays there when it is opened, and writes its
// solve back as it read it; a file without a zone, or with zone 0, keeps the paraxial
// focus nR/(n − 1).
TEST_F(SolveApplicationTest, ZemaxMarginalHeightSolveKeepsItsZone) {
  struct Case {
    const char* line;
    double zone;  // 0: the paraxial focus
    const char* written;
  };
  const std::vector<Case> cases{
      {"MAZH 0 0.7", 0.7, " MAZH 0 0.7\n"},
      {"MAZH 0 0", 0, " MAZH 0 0\n"},
      {"MAZH 0", 0, " MAZH 0 1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    auto lens = support::lensFromZemaxText(std::string("MODE SEQ\nUNIT MM X W X CM MR CPMM\nENPD 40\n"
                                                       "WAVM 1 0.5875618 1\nPWAV 1\n"
                                                       "SURF 0\n  DISZ INFINITY\n"
                                                       "SURF 1\n  STOP\n  CURV 0.02\n  DISZ 100\n"
                                                       "  GLAS ___BLANK 1 0 1.5 40 0 0 0\n  ") +
                                           c.line + "\nSURF 2\n  DISZ 0\n");
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    const auto& s = lens->surfaceArray()[1];
    // The model glass gives nd = 1.5 to its fit's accuracy; the focus uses its index.
    const double n = s->medium()->indexOfRefractionAtWavelengthInMicrons(lens->primaryWave()->wavelengthInMicrons());
    ASSERT_NEAR(n, 1.5, 1e-6);
    EXPECT_NEAR(s->thickness(), c.zone == 0 ? n * 50 / (n - 1) : sphereAxisCrossing(50, n, c.zone * 20), 1e-9);
    const std::string text =
        interchange::zemaxStringForModel(interchange::lensDictionaryFromLens(*lens), [](const std::string&) {});
    EXPECT_NE(text.find(c.written), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace orb::tracing
