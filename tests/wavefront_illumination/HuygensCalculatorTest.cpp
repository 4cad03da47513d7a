#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "LogCapture.h"
#include "OTFTestSupport.h"
#include "ZemaxLens.h"
#include "analysis/ParallelTrace.h"
#include "analysis/PlotDictionary.h"
#include "foundation/linear/FFT.h"
#include "foundation/quadrature/SpecialFunctions.h"
#include "lens/CircularAperture.h"
#include "lens/Field.h"
#include "lens/Surface.h"
#include "platform/Exception.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"
#include "wavefront_illumination/HuygensCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using analysis::plot::kName;
using analysis::plot::kXSeries;
using analysis::plot::kYSeries;
using foundation::XYZ;
using platform::Value;

constexpr double kLambdaNMicrons = 0.55 * 5;

// A Huygens calculator on the F/5 paraboloid: many rays, a fine screen, one wave.
std::shared_ptr<HuygensCalculator> fineCalculator(int pointsPerSide, double spacingMicrons, std::uint64_t rings = 30) {
  auto c = platform::makeObject<HuygensCalculator>();
  c->setNumberOfRays(analysis::RaysCalculator::hexagonalNumber(rings));
  c->setScreenNumberOfPointsPerSide(pointsPerSide);
  c->setScreenDelta(spacingMicrons);
  return c;
}

// The largest gap between an intensity field (FFT order, spacing in µm) scaled to its
// centre and the Airy pattern (2J₁(x)/x)², x = πr/(λN).
double worstAiryMismatch(const foundation::Matrix& I, double deltaMicrons, double lambdaNMicrons) {
  const int n = static_cast<int>(I.nRows());
  const double peak = I.at(0, 0);
  double worst = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double a = foundation::fftSignedFrequency(n, i) * deltaMicrons;
      const double b = foundation::fftSignedFrequency(n, j) * deltaMicrons;
      const double x = M_PI * std::hypot(a, b) / lambdaNMicrons;
      const double airy = x == 0 ? 1 : std::pow(2 * foundation::besselJ1(x) / x, 2);
      worst = std::max(worst, std::abs(I.at(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) / peak - airy));
    }
  return worst;
}

// A perfect F/5 image at 0.55 µm is the Airy pattern: (2J₁(x)/x)² with x = πr/(λN), its
// first dark ring at 1.21967·λN = 3.3541 µm, enclosing 1 − J₀² − J₁² = 0.83778 of the
// power (the power in the whole pattern being I₀·4(λN)²/π).
TEST(HuygensCalculator, PerfectLensGivesTheAiryPattern) {
  Window<HuygensCalculator> window(paraboloidF5(), fineCalculator(32, 0.25));
  ASSERT_TRUE(window.run());
  // The first lens chose a screen of five diffraction scales; this one samples finer.
  window.calculator->setScreenNumberOfPointsPerSide(32);
  window.calculator->setScreenDelta(0.25);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(window.calculator->status(), "");
  const auto I = window.calculator->intensityField();
  ASSERT_TRUE(I);
  ASSERT_EQ(I->nRows(), 32u);
  const double peak = I->at(0, 0);
  ASSERT_GT(peak, 0);
  const double delta = 0.25;  // µm
  double inside = 0;
  const double rZero = 1.21967 * kLambdaNMicrons;
  for (int i = 0; i < 32; ++i)
    for (int j = 0; j < 32; ++j) {
      const double a = foundation::fftSignedFrequency(32, i) * delta, b = foundation::fftSignedFrequency(32, j) * delta;
      if (std::hypot(a, b) < rZero)
        inside += I->at(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) / peak * delta * delta;
    }
  EXPECT_LT(worstAiryMismatch(*I, delta, kLambdaNMicrons), 0.01);  // the pattern, point by point
  const double x0 = M_PI * 1.21967;
  const double ee = 1 - std::pow(foundation::besselJ0(x0), 2) - std::pow(foundation::besselJ1(x0), 2);
  EXPECT_NEAR(ee, 0.83778, 1e-5);
  EXPECT_NEAR(inside / (4 * kLambdaNMicrons * kLambdaNMicrons / M_PI), ee, 0.01);

  // The dark ring itself, by the plain sum along a radius in steps of 5 nm.
  const auto rays = window.calculator->raysAtExitPupil();
  ASSERT_TRUE(rays);
  double best = 0, bestValue = INFINITY;
  for (double r = 3.0; r <= 3.7; r += 0.005) {
    const double v = std::norm(window.calculator->amplitudeForRays(*rays, 0.00055, XYZ{r * 1e-3, 0, 0}));
    if (v < bestValue) bestValue = v, best = r;
  }
  EXPECT_NEAR(best, 3.3541, 0.02);
  EXPECT_LT(bestValue / std::norm(window.calculator->amplitudeForRays(*rays, 0.00055, XYZ{0, 0, 0})), 1e-4);

  // Its line spread is Struve's, S(2πx/(λN)), peak 1, on the screen's abscissae.
  window.calculator->setScreenNumberOfPointsPerSide(64);
  window.calculator->setScreenDelta(0.5);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(window.calculator->plotDictionary()->get("title").asString(), "Huygens LSF (550nm)");
  for (const Value& c : window.curves()) {
    const auto& x = seriesOf(c, kXSeries);
    const auto& y = seriesOf(c, kYSeries);
    ASSERT_EQ(x.count(), 64u);
    EXPECT_NEAR(x.at(0), -32 * 0.5e-3, 1e-12);  // mm, the most negative first
    for (std::size_t k = 0; k < x.count(); ++k)
      EXPECT_NEAR(y.at(k), OTFCalculator::struvesFunctionAt(2 * M_PI * x.at(k) / kLambdaNF5), 0.02) << x.at(k);
  }

  // Its MTF from the LSF's transform starts at 1 and falls as the diffraction limit, in
  // steps of 1/(n·spacing); the cached fields serve it without a new sum.
  const auto summed = window.calculator->amplitudeField();
  window.calculator->setPlotOTF(true);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(window.calculator->amplitudeField(), summed);
  const auto& plot = *window.calculator->plotDictionary();
  EXPECT_EQ(plot.get("title").asString(), "Huygens MTF (550nm)");
  EXPECT_EQ(plot.get("xLabel").asString(), "frequency (cycles/mm)");
  EXPECT_NEAR(plot.get("xMax").asDouble(), kCutoffF5, 1e-6);
  const auto curves = window.curves();
  ASSERT_EQ(curves.size(), 2u);
  for (const Value& c : curves) {
    const auto& nu = seriesOf(c, kXSeries);
    const auto& m = seriesOf(c, kYSeries);
    ASSERT_EQ(nu.count(), 32u);
    EXPECT_NEAR(nu.at(1), 1 / (64 * 0.5e-3), 1e-9);
    EXPECT_NEAR(m.at(0), 1, 1e-12);
    for (std::size_t k = 0; k < nu.count(); ++k)
      EXPECT_NEAR(m.at(k), circularPupilMTF(nu.at(k) / kCutoffF5), 0.03) << nu.at(k);
  }
  EXPECT_EQ(curvesNamed(curves, "0,0 550nm (y)").size(), 1u);
  EXPECT_EQ(curvesNamed(curves, "0,0 550nm (x)").size(), 1u);
}

// Without a wave of interest the intensities of the waves are averaged with the waves'
// weights, each wave first brought to unit power: the sum gives a wave the power λ²·(rays
// through the pupil), its amplitude lacking the Huygens integral's 1/λ, and every ray
// passes this mirror. The mean is put back on the scale of one wave, the powers' weighted
// mean. Waves that all weigh nothing leave nothing to average, which the status says.
TEST(HuygensCalculator, PolychromaticFieldIsTheWeightedMean) {
  auto lens = paraboloidF5();
  auto blue = lens::Wave::wave(), red = lens::Wave::wave();
  blue->setWavelengthInMicrons(0.5);
  blue->setWeight(1);
  blue->setIsPrimary(true);
  red->setWavelengthInMicrons(0.6);
  red->setWeight(3);
  lens->setWaveArray({blue, red});
  Window<HuygensCalculator> window(lens, platform::makeObject<HuygensCalculator>());
  ASSERT_TRUE(window.run());
  auto& c = *window.calculator;
  ASSERT_FALSE(c.waveOfInterest());  // one field, two waves: all of them
  c.setScreenNumberOfPointsPerSide(16);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(c.plotDictionary()->get("title").asString(), "Huygens LSF (polychromatic)");
  const auto mean = c.intensityField();
  ASSERT_TRUE(mean);
  const auto field = lens->fieldArray().front();
  const auto b = c.monochromaticOpticalFieldForField(field, blue), r = c.monochromaticOpticalFieldForField(field, red);
  ASSERT_TRUE(b && r);
  const double b2 = 0.5 * 0.5, r2 = 0.6 * 0.6, scale = (b2 + 3 * r2) / 4;
  for (std::size_t i = 0; i < 16; ++i)
    for (std::size_t j = 0; j < 16; ++j)
      EXPECT_NEAR(mean->at(i, j), scale * (b->intensityField->at(i, j) / b2 + 3 * r->intensityField->at(i, j) / r2) / 4,
                  1e-12 * mean->at(0, 0));
  // The blue Airy disc is the smaller: the mean is not either wave's pattern.
  EXPECT_GT(b->intensityField->at(0, 0) / b->intensityField->at(4, 0), r->intensityField->at(0, 0) / r->intensityField->at(4, 0));
  EXPECT_EQ(*c.amplitudeField(), *b->amplitudeField);  // the primary wave's

  blue->setWeight(0);
  red->setWeight(0);
  window.document->postLensIsReady();
  EXPECT_TRUE(pumpUntil([&] { return !c.status().empty() && !c.needsWork() && !c.hasWorkerThread() && !c.isBusy(); }));
  EXPECT_EQ(c.status(), "Field 0,0: the weights of its wavelengths sum to zero");
}

// The F/5 paraboloid (free of chromatic aberration) with waves of these wavelengths (µm)
// and weights, the first primary.
analysis::LensPtr paraboloidWithWaves(const std::vector<double>& microns, const std::vector<double>& weights) {
  auto lens = paraboloidF5();
  std::vector<std::shared_ptr<lens::Wave>> waves;
  for (std::size_t i = 0; i < microns.size(); ++i) {
    auto w = lens::Wave::wave();
    w->setWavelengthInMicrons(microns[i]);
    w->setWeight(weights[i]);
    waves.push_back(w);
  }
  waves.front()->setIsPrimary(true);
  lens->setWaveArray(waves);
  return lens;
}

// A perfect lens's polychromatic point spread is the sum of its waves' Airy patterns, a
// wave of power P peaking at P·π/(4λ²N²), so scaled to its centre it is
// Σ (s/λ²)·(2J₁(x)/x)² / Σ s/λ², x = πr/(λN), s the waves' shares of the power, which must
// be their weights' shares. F/5, the F, d and C lines alike and F:C as 1:2: 1.5 µm from
// the centre the F, d, C patterns are 0.359, 0.500, 0.568 and the mean 0.453, which the
// sum's own shares, growing as weight·λ² (0.233, 0.341, 0.425), would make 0.476.
TEST(HuygensCalculator, PolychromaticPointSpreadIsTheWeightedMeanOfTheWaves) {
  struct Case {
    std::vector<double> microns, weights;
  };
  for (const Case& k : {Case{{0.4861, 0.5876, 0.6563}, {1, 1, 1}}, Case{{0.4861, 0.6563}, {1, 2}}}) {
    Window<HuygensCalculator> window(paraboloidWithWaves(k.microns, k.weights), fineCalculator(32, 0.25));
    ASSERT_TRUE(window.run());
    window.calculator->setScreenNumberOfPointsPerSide(32);
    window.calculator->setScreenDelta(0.25);
    ASSERT_TRUE(window.settle());
    ASSERT_FALSE(window.calculator->waveOfInterest());
    const auto I = window.calculator->intensityField();
    ASSERT_TRUE(I);
    double worst = 0;
    for (int i = 0; i < 32; ++i)
      for (int j = 0; j < 32; ++j) {
        const double r =
            std::hypot(foundation::fftSignedFrequency(32, i), foundation::fftSignedFrequency(32, j)) * 0.25;
        double mean = 0, sum = 0;
        for (std::size_t w = 0; w < k.microns.size(); ++w) {
          const double x = M_PI * r / (k.microns[w] * 5), s = k.weights[w] / (k.microns[w] * k.microns[w]);
          mean += s * (x == 0 ? 1 : std::pow(2 * foundation::besselJ1(x) / x, 2));
          sum += s;
        }
        worst = std::max(worst, std::abs(I->at(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) / I->at(0, 0) -
                                         mean / sum));
      }
    EXPECT_LT(worst, 0.005) << k.microns.size() << " waves";
  }
}

// Defocus alone, W020 = δ/(8N²) for the image plane moved by δ, leaves a uniform circular
// pupil the Strehl ratio [sin(πW020/λ)/(πW020/λ)]²: 0.8106 at λ/4, 0.4053 at λ/2, 0.0901 at
// 3λ/4. It is the centre intensity against that of the same lens with the perfect
// wavefront, to 0.004: seen from the screen the pupil plane is not quite uniform (1/r and
// the obliquity fall 0.75 % to the rim) and its defocus not purely quadratic (a ρ⁴ part
// of (3/4)(ρ/R)², 0.75 % at the rim). The perfect wavefront's centre is the focused lens's
// but for (R/(R + δ))², the longer way from the pupil (R = 100). From the pupil plane and
// the reference sphere alike.
TEST(HuygensCalculator, DefocusStrehlAndThePerfectWavefront) {
  auto centre = [](double delta, bool sphere, bool perfect) {
    auto lens = paraboloidF5();
    lens->surfaceArray()[1]->setThickness(-100 - delta);  // the image plane past the focus
    auto c = fineCalculator(8, 0.5);
    c->setUseReferenceSphere(sphere);
    c->setUsePerfectOPD(perfect);
    Window<HuygensCalculator> window(lens, c);
    EXPECT_TRUE(window.run());
    EXPECT_EQ(c->status(), "");
    const auto I = c->intensityField();
    return I ? I->at(0, 0) : 0.0;
  };
  for (bool sphere : {false, true}) {
    const double focused = centre(0, sphere, false);
    ASSERT_GT(focused, 0);
    EXPECT_NEAR(centre(0, sphere, true) / focused, 1, 1e-4) << sphere;  // nothing to correct
    for (double waves : {0.25, 0.5, 0.75}) {
      const double delta = 8 * 25 * waves * 0.00055;
      const double perfect = centre(delta, sphere, true);
      const double x = M_PI * waves, strehl = std::pow(std::sin(x) / x, 2);
      EXPECT_NEAR(centre(delta, sphere, false) / perfect, strehl, 0.004) << waves << " waves, sphere " << sphere;
      EXPECT_NEAR(perfect / focused, std::pow(100 / (100 + delta), 2), 1e-4) << waves << " waves, sphere " << sphere;
    }
  }
  const double x = M_PI / 4;
  EXPECT_NEAR(std::pow(std::sin(x) / x, 2), 0.8106, 5e-5);
}

// The rays a sum takes, off the axis where the sphere and the plane part most: on the
// pupil plane (through the mirror's vertex, z = 100) by default; with the reference
// sphere at the distance of the pupil centre from the screen's centre Q (the centroid of
// the rays where they meet the image plane z = 0); with the perfect wavefront all with
// the same path to Q, path + |Q − P|.
TEST(HuygensCalculator, ReferenceSphereAndPerfectWavefrontRays) {
  auto lens = paraboloidF5({0, 1});
  Window<HuygensCalculator> window(lens, fineCalculator(8, 0.5, 8));
  ASSERT_TRUE(window.run());
  auto& c = *window.calculator;
  const auto field = lens->fieldArray()[1];
  c.setFieldOfInterest(field);
  ASSERT_TRUE(window.settle());
  const XYZ E = c.pupilCenterOfSum();
  EXPECT_NEAR(E.z, 100, 1e-9);
  auto live = [](const HuygensCalculator::FramedRays& rays) {
    HuygensCalculator::FramedRays out;
    for (const auto& r : rays)
      if (r.isAlive()) out.push_back(r);
    return out;
  };
  const auto plane = live(c.raysForSumOfField(field, nullptr));
  ASSERT_GT(plane.size(), 200u);
  XYZ Q{0, 0, 0};
  for (const auto& r : plane) {
    EXPECT_NEAR(r.position().z, 100, 1e-9);
    const double t = -r.position().z / r.momentum().z;
    Q.x += r.position().x + t * r.momentum().x, Q.y += r.position().y + t * r.momentum().y;
  }
  Q.x /= static_cast<double>(plane.size()), Q.y /= static_cast<double>(plane.size());
  EXPECT_NEAR(Q.y, 100 * std::tan(M_PI / 180), 0.01);  // the image of a 1° field
  const double R = std::hypot(E.x - Q.x, E.y - Q.y, E.z);

  // Either option asks for a new sum, not the cached fields' curves.
  const auto summed = c.amplitudeField();
  c.setUseReferenceSphere(true);
  ASSERT_TRUE(window.settle());
  EXPECT_NE(c.amplitudeField(), summed);
  const auto sphere = live(c.raysForSumOfField(field, nullptr));
  ASSERT_EQ(sphere.size(), plane.size());
  double furthest = 0;
  for (std::size_t i = 0; i < sphere.size(); ++i) {
    const XYZ& p = sphere[i].position();
    EXPECT_NEAR(std::hypot(p.x - Q.x, p.y - Q.y, p.z), R, 1e-9);
    furthest = std::max(furthest, std::abs(p.z - 100));
    // Moved along the ray, its path grown by the way it went.
    const XYZ& q = plane[i].position();
    const double way = std::hypot(p.x - q.x, p.y - q.y, p.z - q.z) * (p.z < q.z ? 1 : -1);
    EXPECT_NEAR(sphere[i].opticalPathLength() - plane[i].opticalPathLength(), way, 1e-9);
  }
  EXPECT_GT(furthest, 0.1);  // the sphere is not the plane

  c.setUseReferenceSphere(false);
  const auto fromSphere = c.amplitudeField();
  c.setUsePerfectOPD(true);
  ASSERT_TRUE(window.settle());
  EXPECT_NE(c.amplitudeField(), fromSphere);
  const auto perfect = live(c.raysForSumOfField(field, nullptr));
  ASSERT_EQ(perfect.size(), plane.size());
  const auto toQ = [&](const tracing::RayWithFrame& r) {
    const XYZ& p = r.position();
    return r.opticalPathLength() + std::hypot(p.x - Q.x, p.y - Q.y, p.z);
  };
  double spread = 0;
  for (const auto& r : plane) spread = std::max(spread, std::abs(toQ(r) - toQ(plane.front())));
  EXPECT_GT(spread, 1e-5);  // the coma of the field, 1° off the axis
  for (const auto& r : perfect) EXPECT_NEAR(toQ(r), toQ(perfect.front()), 1e-9);
}

// A stop at the mirror's front focal plane puts the exit pupil at infinity (image space
// telecentric): the sum starts from the plane one focal length before the image (the
// mirror's vertex plane, z = 100) and the F/5 paraboloid still gives the Airy pattern and
// the diffraction-limited MTF.
TEST(HuygensCalculator, TelecentricLensGivesTheAiryPattern) {
  auto lens = mirrorBehindStop(-200, 100, 0);
  lens->surfaceArray()[2]->setConicConstant(-1);
  lens->primaryWave()->setWavelengthInMicrons(0.55);
  EXPECT_FALSE(std::isfinite(tracing::exitPupilLocation(*lens)));
  EXPECT_NEAR(tracing::imageSpaceFocalRatio(*lens), 5, 1e-9);
  Window<HuygensCalculator> window(lens, fineCalculator(32, 0.25));
  ASSERT_TRUE(window.run());
  auto& c = *window.calculator;
  c.setScreenNumberOfPointsPerSide(32);
  c.setScreenDelta(0.25);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(c.status(), "");
  const XYZ E = c.pupilCenterOfSum();
  EXPECT_NEAR(E.x, 0, 1e-9);
  EXPECT_NEAR(E.y, 0, 1e-9);
  EXPECT_NEAR(E.z, 100, 1e-9);
  const auto I = c.intensityField();
  ASSERT_TRUE(I);
  EXPECT_LT(worstAiryMismatch(*I, 0.25, kLambdaNMicrons), 0.005);

  c.setScreenNumberOfPointsPerSide(64);
  c.setScreenDelta(0.5);
  c.setPlotOTF(true);
  ASSERT_TRUE(window.settle());
  for (const Value& curve : window.curves()) {
    const auto& nu = seriesOf(curve, kXSeries);
    const auto& m = seriesOf(curve, kYSeries);
    for (std::size_t k = 0; k < nu.count(); ++k)
      EXPECT_NEAR(m.at(k), circularPupilMTF(nu.at(k) / kCutoffF5), 0.03) << nu.at(k);
  }
}

// A calculator whose summation threads are started by the test.
class StartingHuygens : public HuygensCalculator {
 public:
  std::function<std::shared_ptr<platform::WorkerThread>(std::string, std::function<void()>)> starter;
  std::shared_ptr<platform::WorkerThread> startSummationThread(std::string name, std::function<void()> body) override {
    return starter ? starter(std::move(name), std::move(body))
                   : HuygensCalculator::startSummationThread(std::move(name), std::move(body));
  }
};

// The threaded field is the plain Huygens sum at every point, whether the threads run,
// some of them cannot be started, or the worker sums alone.
TEST(HuygensCalculator, ThreadedFieldIsThePlainSum) {
  Window<StartingHuygens> window(mirrorLens(-200, 0, {0, 1}), platform::makeObject<StartingHuygens>());
  window.calculator->setNumberOfRays(analysis::RaysCalculator::hexagonalNumber(9));  // 271
  ASSERT_TRUE(window.run());
  window.calculator->setFieldOfInterest(window.document->lens()->fieldArray()[1]);  // off the axis: asymmetric
  ASSERT_TRUE(window.settle());
  const auto rays = window.calculator->raysAtExitPupil();
  ASSERT_TRUE(rays);
  HuygensCalculator::FramedRays live;
  for (const auto& r : *rays)
    if (r.isAlive() && r.tags().field == window.document->lens()->fieldArray()[1]) live.push_back(r);
  ASSERT_GT(live.size(), 200u);
  const double lambda = live.front().wave()->wavelengthInMillimeters();
  const XYZ p = live.front().position(), m = live.front().momentum();
  const XYZ centre{p.x + 100 * m.x, p.y + 100 * m.y, p.z + 100 * m.z};  // near the image is enough
  const XYZ normal{0.05, -0.1, 1};
  const auto points = HuygensCalculator::pointsWithGridSize(16, 16, centre, normal, 0.002);

  auto& c = *window.calculator;
  c.setSwarmThreadCount(1);
  const auto alone = c.amplitudeFieldForRays(live, points, 16);
  ASSERT_TRUE(alone);
  double scale = 0;
  for (std::size_t k = 0; k < points.size(); ++k) scale = std::max(scale, std::abs(c.amplitudeForRays(live, lambda, points[k])));
  for (std::size_t k = 0; k < points.size(); ++k) {
    const auto expected = c.amplitudeForRays(live, lambda, points[k]);
    const auto got = alone->rowMajorStorage()[k];
    ASSERT_NEAR(got.x, expected.real(), 1e-10 * scale) << k;
    ASSERT_NEAR(got.y, expected.imag(), 1e-10 * scale) << k;
  }
  // 271 rays × 256 points ≥ 65536: threads, each point summed as the worker sums it.
  c.setSwarmThreadCount(0);
  EXPECT_EQ(*c.amplitudeFieldForRays(live, points, 16), *alone);
  c.setSwarmThreadCount(5);
  int started = 0;
  c.starter = [&](std::string name, std::function<void()> body) -> std::shared_ptr<platform::WorkerThread> {
    if (++started % 2) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::make_shared<platform::WorkerThread>(std::move(name), std::move(body));
  };
  EXPECT_EQ(*c.amplitudeFieldForRays(live, points, 16), *alone);  // two of four threads not started
  EXPECT_EQ(started, 4);  // the worker sums one share itself
  c.starter = [](std::string, std::function<void()>) -> std::shared_ptr<platform::WorkerThread> {
    throw std::runtime_error("no threads");
  };
  EXPECT_EQ(*c.amplitudeFieldForRays(live, points, 16), *alone);  // none started
  c.starter = nullptr;
  // Fewer than 65536 products: the worker alone, the same field.
  const auto small = HuygensCalculator::pointsWithGridSize(8, 8, centre, normal, 0.002);
  HuygensCalculator::FramedRays few(live.begin(), live.begin() + 200);  // 200 × 64 = 12800
  c.setSwarmThreadCount(0);
  const auto f1 = c.amplitudeFieldForRays(few, small, 8);
  c.setSwarmThreadCount(1);
  EXPECT_EQ(*c.amplitudeFieldForRays(few, small, 8), *f1);
}

// Halting stops every summation thread at its next point; the worker gets no field and
// returns as soon as its threads have.
TEST(HuygensCalculator, HaltStopsTheSwarm) {
  Window<StartingHuygens> window(paraboloidF5(), platform::makeObject<StartingHuygens>());
  ASSERT_TRUE(window.run());
  const auto rays = window.calculator->raysAtExitPupil();
  ASSERT_TRUE(rays);
  const auto points = HuygensCalculator::pointsWithGridSize(64, 64, XYZ{0, 0, 0}, XYZ{0, 0, 1}, 0.001);
  auto& c = *window.calculator;
  c.setSwarmThreadCount(4);
  std::atomic<int> started{0};
  std::atomic<bool> halted{false};
  c.starter = [&](std::string name, std::function<void()> body) {
    ++started;
    return std::make_shared<platform::WorkerThread>(std::move(name), [&halted, body = std::move(body)] {
      while (!halted) std::this_thread::yield();
      body();
    });
  };
  std::optional<foundation::ComplexMatrix> result = foundation::ComplexMatrix(1, 1);
  std::thread worker([&] { result = c.amplitudeFieldForRays(*rays, points, 64); });
  while (started < 3) std::this_thread::yield();  // the worker's own share waits for none
  c.haltSwarm();
  halted = true;
  worker.join();
  EXPECT_FALSE(result);
}

// Stopping the run in the middle of a sum cancels the summation threads with the worker:
// the stop returns with nothing running and the calculator not busy.
TEST(HuygensCalculator, StopEndsARunningSum) {
  Window<HuygensCalculator> window(paraboloidF5(), fineCalculator(256, 0.1, 40));  // 3·10⁸ phasors
  auto& c = *window.calculator;
  window.buffer = std::make_unique<analysis::LensBuffer>(window.document, window.calculator);
  window.document->postLensIsReady();
  ASSERT_TRUE(pumpUntil([&] { return c.progressPercentage() > 0 || (c.updateProgress(), false); }));
  c.stopWork();
  EXPECT_FALSE(c.hasWorkerThread());
  drainMainLoop();
  EXPECT_FALSE(c.isBusy());
  EXPECT_FALSE(c.plotDictionary());  // the stopped sum published nothing
}

TEST(HuygensCalculator, ScreenSettings) {
  auto c = platform::makeObject<HuygensCalculator>();
  EXPECT_EQ(c->screenNumberOfPointsPerSide(), 32);
  EXPECT_EQ(c->screenWidthUnits(), "micron");
  EXPECT_EQ(c->numberOfRays(), 256u);
  EXPECT_EQ(c->fanType(), "hexapolar");
  EXPECT_TRUE(c->needsProgressMonitor());
  c->setValueForKey("screenNumberOfPointsPerSideGUI", Value(64));
  EXPECT_EQ(c->screenDelta(), 1.0);
  c->setValueForKey("screenDeltaGUI", Value(2.0));
  EXPECT_EQ(c->screenWidth(), 128.0);
  c->setValueForKey("screenWidthGUI", Value(64.0));
  EXPECT_EQ(c->screenDelta(), 1.0);
  c->setValueForKey("screenDeltaGUI", Value(2.0));
  c->setScreenNumberOfPointsPerSide(32);
  c->setScreenWidth(64.0);
  c->setValueForKey("screenWidthUnitsGUI", Value("mm"));
  EXPECT_NEAR(c->screenDelta(), 0.002, 1e-15);
  EXPECT_NEAR(c->screenWidth(), 0.064, 1e-15);
  EXPECT_NEAR(c->screenDeltaMM(), 0.002, 1e-15);
  c->setScreenWidthUnits("parsec");  // not a length unit: ignored
  EXPECT_EQ(c->screenWidthUnits(), "mm");

  // The settings travel in the restoration dictionary.
  c->setSuppressObliquityFactor(true);
  c->setValueForKey("plotSpatialFrequencyDataRange", Value(true));
  auto restored = platform::makeObject<HuygensCalculator>();
  restored->applyRestorationDictionary(c->restorationDictionary());
  EXPECT_EQ(restored->screenWidthUnits(), "mm");
  EXPECT_EQ(restored->screenNumberOfPointsPerSide(), 32);
  EXPECT_NEAR(restored->screenDelta(), 0.002, 1e-15);
  EXPECT_NEAR(restored->screenWidth(), 0.064, 1e-15);
  EXPECT_TRUE(restored->suppressObliquityFactor());
  EXPECT_TRUE(restored->plotSpatialFrequencyDataRange());

  // The screen's axes: row offsets along u = ŷ × n, column offsets along v = n × u, FFT
  // order (index 0 the centre, the upper half negative).
  const auto p = HuygensCalculator::pointsWithGridSize(4, 4, XYZ{1, 2, 3}, XYZ{0, 0, 1}, 0.5);
  ASSERT_EQ(p.size(), 16u);
  EXPECT_EQ(p[0], (XYZ{1, 2, 3}));
  EXPECT_EQ(p[1 * 4 + 0], (XYZ{1.5, 2, 3}));
  EXPECT_EQ(p[0 * 4 + 1], (XYZ{1, 2.5, 3}));
  EXPECT_EQ(p[3 * 4 + 2], (XYZ{0.5, 1, 3}));  // offsets −1 and −2
  const auto along = HuygensCalculator::pointsWithGridSize(2, 2, XYZ{0, 0, 0}, XYZ{0, 1, 0}, 1);
  for (const auto& q : along) EXPECT_EQ(q.y, 0);  // a normal along y still has a screen across it
  EXPECT_TRUE(HuygensCalculator::pointsWithGridSize(0, 4, XYZ{}, XYZ{0, 0, 1}, 1).empty());

  // The first lens sets the width to five diffraction scales, to 0.001 mm: 2λN = 0.0123456
  // mm at F/5 gives 0.062 mm, shown as 62 µm.
  auto lens = paraboloidF5();
  lens->primaryWave()->setWavelengthInMicrons(1.23456);
  auto fresh = platform::makeObject<HuygensCalculator>();
  EXPECT_NEAR(fresh->diffractionScaleForLens(*lens), 0.0123456, 1e-12);
  fresh->firstTimeWithLens(lens);
  EXPECT_NEAR(fresh->screenWidth(), 62, 1e-9);
  EXPECT_NEAR(fresh->screenDelta(), 62.0 / 32, 1e-12);  // the screen summed is the one shown
}

// A lens without fields gives the calculator nothing to do: an "Abort" it shows.
TEST(HuygensCalculator, NoFieldsIsAnAbort) {
  auto lens = paraboloidF5();
  lens->setFieldArray({});
  auto c = platform::makeObject<HuygensCalculator>();
  c->setLens(lens);
  try {
    c->generateCurves();
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "Abort");
    EXPECT_EQ(e.reason(), "No fields of interest");
  }
  EXPECT_THROW(c->finalizeCurves(), platform::Exception);

  Window<HuygensCalculator> window(lens, platform::makeObject<HuygensCalculator>());
  window.buffer = std::make_unique<analysis::LensBuffer>(window.document, window.calculator);
  window.document->postLensIsReady();
  EXPECT_TRUE(pumpUntil([&] { return !window.calculator->status().empty() && !window.calculator->isBusy(); }));
  EXPECT_EQ(window.calculator->status(), "Abort: No fields of interest");
}

// A screen of 30 points a side has an image and line spreads but cannot be transformed:
// no MTF, "ERROR" in the log and in the status. A power of two brings the MTF back from
// the cached fields.
TEST(HuygensCalculator, ScreenNotAPowerOfTwoGivesNoOTF) {
  Window<HuygensCalculator> window(paraboloidF5(), fineCalculator(30, 0.5, 6));
  ASSERT_TRUE(window.run());
  EXPECT_EQ(window.calculator->screenNumberOfPointsPerSide(), 30);
  ASSERT_EQ(window.curves().size(), 2u);  // the line spreads
  EXPECT_EQ(window.calculator->plotDictionary()->get("title").asString(), "Huygens LSF (550nm)");
  EXPECT_TRUE(window.calculator->imageOfPSF());
  orb::test::LogCapture capture;
  window.calculator->setPlotOTF(true);
  ASSERT_TRUE(window.settle());
  // The status says why; no raw message of the transform reaches the log.
  EXPECT_EQ(capture.text().find("fft_forward"), std::string::npos) << capture.text();
  EXPECT_TRUE(window.curves().empty());
  EXPECT_EQ(window.calculator->status().rfind("ERROR", 0), 0u) << window.calculator->status();
  window.calculator->setScreenNumberOfPointsPerSide(32);
  ASSERT_TRUE(window.settle());
  EXPECT_EQ(window.curves().size(), 2u);
}

// Rays that all die leave no field: the stage ends without curves, says why and is not
// left busy.
TEST(HuygensCalculator, NoLiveRaysEndsTheStage) {
  auto lens = paraboloidF5();
  auto c = platform::makeObject<HuygensCalculator>();
  Window<HuygensCalculator> window(lens, c);
  ASSERT_TRUE(window.run());
  // An aperture that passes nothing inside the 20 mm pupil.
  lens->surfaceArray()[1]->setAperture(lens::CircularAperture::annulusWithMinRadius(50, 60));
  window.document->postLensIsReady();
  EXPECT_TRUE(pumpUntil([&] { return !c->status().empty() && !c->needsWork() && !c->hasWorkerThread() && !c->isBusy(); }));
  EXPECT_EQ(c->status(), "Field 0,0: no rays reach the screen");
}

// The framed rays traced in chunks over eight threads: the exit-pupil rays are the run on
// one thread's, bit for bit (the triplet's off-axis field, where the rays are asymmetric).
// That the chunks make one trace is held in the analysis tests (ParallelTrace).
TEST(HuygensCalculator, ThreadedTraceIsTheSerialRun) {
  auto lens = support::lensFromZemaxFile(std::string(ORB_TEST_DATA_DIR) + "/lenses/lens1.zmx");
  auto run = [&](int threads) {
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
    auto c = platform::makeObject<HuygensCalculator>();
    c->setNumberOfRays(analysis::RaysCalculator::hexagonalNumber(40));  // 4921: ten chunks
    c->setLens(lens);
    c->setFieldOfInterest(lens->fieldArray().back());
    c->setWaveOfInterest(lens->primaryWave());
    c->calculate();
    const auto exit = c->raysAtExitPupil();
    platform::RunLoop::main().runUntilIdle();
    return exit;
  };
  const auto serial = run(1);
  const auto threaded = run(8);
  ASSERT_TRUE(serial && threaded);
  ASSERT_GT(serial->size(), 2 * analysis::kFramedChunkRays);
  ASSERT_EQ(threaded->size(), serial->size());
  auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (std::size_t i = 0; i < serial->size(); ++i) {
    const auto &a = (*threaded)[i], &b = (*serial)[i];
    ASSERT_EQ(a.isAlive(), b.isAlive()) << i;
    const XYZ pa = a.position(), pb = b.position(), ma = a.momentum(), mb = b.momentum();
    ASSERT_TRUE(same(pa.x, pb.x) && same(pa.y, pb.y) && same(pa.z, pb.z)) << i;
    ASSERT_TRUE(same(ma.x, mb.x) && same(ma.y, mb.y) && same(ma.z, mb.z)) << i;
    ASSERT_TRUE(same(a.opticalPathLength(), b.opticalPathLength())) << i;
    ASSERT_TRUE(same(a.amplitudeFactor(), b.amplitudeFactor())) << i;
    for (std::size_t k = 0; k < a.transfer().size(); ++k) ASSERT_TRUE(same(a.transfer()[k], b.transfer()[k])) << i;
  }
}

}  // namespace
}  // namespace orb::wavefront
