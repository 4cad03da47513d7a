// The semidiameter update sizes every surface from a y-fan per field, made in columns and
// traced as one bundle. Each surface is checked against the same fans made as rays and
// traced one ray at a time to that surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TiltedAsphereLens.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::tracing {
namespace {

TEST(BundledSemidiameterTest, EverySurfaceMatchesItsRaysTracedOneAtATime) {
  struct Case {
    const char* name;
    bool aiming, realRays;
  };
  for (const Case& c : {Case{"real rays", false, true}, Case{"real rays, aimed", true, true},
                        Case{"paraxial rays", false, false}, Case{"paraxial rays, aimed", true, false}}) {
    SCOPED_TRACE(c.name);
    auto lens = support::tiltedAsphereLens(c.aiming);
    ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
    ASSERT_EQ(lens->rayAiming().isSetup, c.aiming);
    if (c.realRays)
      updateSemidiametersUsingRealRays(*lens);
    else
      updateSemidiameters(*lens);

    // The update's own options, less the update: exact rays meet the apertures of the
    // surfaces before; paraxial rays meet none.
    const TraceOptions options =
        c.realRays ? TraceOptions::checkingApertures(true) : TraceOptions{true, false, false, true};
    const auto count = static_cast<std::uint32_t>(lens->numberOfRaysPerField());
    const std::optional<std::vector<Ray>> fans = raysForFields(*lens, lens->fieldArray(), pupil::yFan(count));
    ASSERT_TRUE(fans);
    ASSERT_EQ(fans->size(), 3u * count);
    const auto& surfaces = lens->surfaceArray();
    EXPECT_EQ(surfaces.front()->semidiameter(), 0.0);  // object at infinity
    std::size_t lost = 0;
    for (std::size_t k = 1; k < surfaces.size(); ++k) {
      const lens::Surface& s = *surfaces[k];
      double r2 = 0;
      for (Ray ray : *fans) {
        traceRay(*lens, ray, &s, options);
        if (!ray.isAlive()) {
          ++lost;
          continue;
        }
        const foundation::XYZ q = s.transform().transformFromGlobal(ray.position());
        r2 = std::max(r2, q.x * q.x + q.y * q.y);
      }
      const double expected = std::sqrt(r2);
      ASSERT_GT(expected, 1.0) << "surface " << k;
      EXPECT_NEAR(s.semidiameter(), expected, 1e-12 * expected) << "surface " << k;
    }
    // The clear aperture of surface 5 stops part of the outer fan before surfaces 6 and 7.
    if (c.realRays)
      EXPECT_GT(lost, 0u);
    else
      EXPECT_EQ(lost, 0u);
  }
}

}  // namespace
}  // namespace orb::tracing
