// The hexapolar operands trace their rays as one bundle. Their per-ray entries are checked
// against the same rays made as rays, traced one at a time and reduced as each operand
// defines its entries, on a lens with aspheres, a decentred and tilted rear group and a
// clear aperture that vignettes the field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "TiltedAsphereLens.h"
#include "analysis/OPDCalculator.h"
#include "optimisation/ArchiveClasses.h"
#include "optimisation/MeritoidHexRays.h"
#include "tracing/LensSummary.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::optimisation {
namespace {

using tracing::Ray;

constexpr foundation::XY kH{0.3, 1.0};  // of the 6° field: vignetted by the clear aperture

// The operand's rays, made as rays (wave by wave) and traced one at a time.
std::vector<Ray> raysTracedOneAtATime(lens::Lens& lens) {
  const auto points = tracing::pupil::hexapolarArrayOfPointsInUnitCircle(127);
  std::vector<Ray> rays = tracing::raysForFields(lens, {tracing::fieldForH(lens, kH)}, points, lens.waveArray());
  for (Ray& ray : rays) tracing::traceRay(lens, ray);
  return rays;
}

template <class Operand>
std::shared_ptr<Operand> evaluatedOperand(const std::shared_ptr<lens::Lens>& lens) {
  registerArchiveClasses();
  auto m = Meritoid::make<Operand>();
  m->setHx(kH.x);
  m->setHy(kH.y);
  m->setMonochromatic(false);
  m->setTarget(0);
  m->setLens(lens);
  m->evaluate();
  return m;
}

void expectEntries(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  double scale = 0;
  for (double e : expected) scale = std::max(scale, std::abs(e));
  ASSERT_GT(scale, 0);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12 * scale) << i;
}

TEST(HexRayBundleTest, SpotEntriesMatchRaysTracedOneAtATime) {
  for (const bool aiming : {false, true}) {
    SCOPED_TRACE(aiming ? "aimed" : "not aimed");
    auto lens = support::tiltedAsphereLens(aiming);
    auto m = evaluatedOperand<MeritoidRMS>(lens);
    ASSERT_EQ(m->message(), "");

    // Live rays in the image surface's frame, each weighted by its wave: s = √w · √(N/Σw),
    // entries s·(x − x̄), s·(y − ȳ) about the s²-weighted centroid, 0 for a lost ray.
    std::vector<Ray> rays = raysTracedOneAtATime(*lens);
    const auto& toLocal = lens->imageSurface()->transform().globalToLocalCoordinateTransformationMatrix();
    double n = 0, sumW = 0;
    for (Ray& r : rays)
      if (r.isAlive()) {
        r.transformByMatrix(toLocal);
        n += 1, sumW += r.weight();
      }
    ASSERT_GT(n, 0);
    ASSERT_LT(n, static_cast<double>(rays.size()));  // the aperture took some
    double sw = 0, cx = 0, cy = 0;
    for (const Ray& r : rays)
      if (r.isAlive()) {
        const double w = r.weight() * n / sumW;
        sw += w, cx += w * r.x(), cy += w * r.y();
      }
    cx /= sw, cy /= sw;
    std::vector<double> expected(2 * rays.size(), 0.0);
    double sumSquares = 0;
    for (std::size_t i = 0; i < rays.size(); ++i) {
      if (!rays[i].isAlive()) continue;
      const double s = std::sqrt(rays[i].weight() * n / sumW);
      expected[2 * i] = s * (rays[i].x() - cx);
      expected[2 * i + 1] = s * (rays[i].y() - cy);
      sumSquares += expected[2 * i] * expected[2 * i] + expected[2 * i + 1] * expected[2 * i + 1];
    }
    expectEntries(m->entries(), expected);
    EXPECT_NEAR(m->value(), std::sqrt(sumSquares / n), 1e-12 * m->value());
  }
}

TEST(HexRayBundleTest, OpticalPathEntriesMatchRaysTracedOneAtATime) {
  for (const bool aiming : {false, true}) {
    SCOPED_TRACE(aiming ? "aimed" : "not aimed");
    auto lens = support::tiltedAsphereLens(aiming);
    auto m = evaluatedOperand<MeritoidRMSOPD>(lens);
    ASSERT_EQ(m->message(), "");

    // Wave by wave: OPD against the wave's centre ray on a sphere about the centroid,
    // times √(|w/W| · M) for M waves of total weight W.
    const std::vector<Ray> rays = raysTracedOneAtATime(*lens);
    const auto& waves = lens->waveArray();
    const std::size_t perWave = rays.size() / waves.size();
    double W = 0;
    for (const auto& w : waves) W += w->weight();
    const foundation::XYZ E = tracing::exitPupilCenter(*lens);
    std::vector<double> expected(rays.size(), 0.0);
    std::size_t lost = 0;
    for (std::size_t w = 0; w < waves.size(); ++w) {
      const std::span<const Ray> group(rays.data() + w * perWave, perWave);
      const auto states = analysis::OPDCalculator::statesOfRays(group);
      ASSERT_TRUE(states[0].alive);
      const auto series =
          analysis::OPDCalculator::opdSeries(states, E, 0, analysis::OPDCalculator::positionCentroid(states));
      const double factor = std::sqrt(waves[w]->weight() / W * static_cast<double>(waves.size()));
      for (std::size_t k = 0; k < perWave; ++k) {
        if (!group[k].isAlive()) {
          ++lost;
          continue;
        }
        expected[w * perWave + k] = series.opd.at(k) * factor;
      }
    }
    EXPECT_GT(lost, 0u);
    expectEntries(m->entries(), expected);
  }
}

}  // namespace
}  // namespace orb::optimisation
