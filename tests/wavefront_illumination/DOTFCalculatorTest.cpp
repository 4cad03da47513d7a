#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <algorithm>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "foundation/linear/FFT.h"
#include "foundation/quadrature/SpecialFunctions.h"
#include "lens/Field.h"
#include "lens/SurfaceParaxial.h"
#include "tracing/Regeneration.h"
#include "wavefront_illumination/DOTFCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using analysis::plot::kName;
using analysis::plot::kTitle;
using analysis::plot::kXSeries;
using analysis::plot::kYLabel;
using analysis::plot::kYSeries;
using Grid = DOTFCalculator::PupilGrid;
using platform::Value;

constexpr double kLambda = 0.00055;  // mm

// An n × n grid of cell centres over [−1, 1]², cells outside the unit circle dead, the
// wavefront W(x, y) in waves.
Grid circularGrid(int n, const std::function<double(double, double)>& waves = {}) {
  Grid g;
  g.n = n;
  g.wavelength = kLambda;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double x = (i + 0.5) * 2 / n - 1, y = (j + 0.5) * 2 / n - 1;
      const bool inside = x * x + y * y <= 1;
      g.alive.push_back(inside);
      g.opd.push_back(inside && waves ? waves(x, y) * kLambda : 0.0);
    }
  return g;
}

std::size_t liveCells(const Grid& g) {
  std::size_t k = 0;
  for (auto a : g.alive) k += a;
  return k;
}

// The aberration-free pupil of 16 cells a side: 208 live cells, whose autocorrelation at
// a shift of s cells is the number of cells still overlapping over 208 (counted by
// hand from the cell pattern). The FFT pipeline along both axes and the brute-force sums
// along both axes give the same numbers.
TEST(DOTFCalculator, PerfectPupilOfSixteenCellsGivesTheOverlapCounts) {
  const double expected[17] = {1,     .9231, .8462, .7692, .6923, .6154, .5385, .4712, .4038,
                               .3365, .2692, .2115, .1538, .1058, .0577, .0288, 0};
  const Grid g = circularGrid(16);
  ASSERT_EQ(liveCells(g), 208u);
  for (bool fftOrder : {false, true}) {
    SCOPED_TRACE(fftOrder);
    // The same cells listed in the other order: FFT order starts at the centre and wraps.
    Grid h = g;
    h.fftOrder = fftOrder;
    if (fftOrder)
      for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j) {
          const int u = (i < 8 ? i : i - 16) + 8, v = (j < 8 ? j : j - 16) + 8;
          h.alive[i * 16 + j] = g.alive[u * 16 + v];
        }
    const auto t = DOTFCalculator::transferForGrid(h, 0);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->otf.nRows(), 32u);
    for (int s = 0; s <= 16; ++s) {
      EXPECT_NEAR(std::hypot(t->otf.at(0, s).x, t->otf.at(0, s).y), expected[s], 5e-5) << "s " << s;
      EXPECT_NEAR(std::hypot(t->otf.at(s, 0).x, t->otf.at(s, 0).y), expected[s], 5e-5) << "s " << s;
    }
  }
  const auto brute = DOTFCalculator::bruteForceForGrid(g);
  ASSERT_TRUE(brute);
  ASSERT_EQ(brute->rows.size(), 16u);  // one step short of the cut-off
  for (int s = 0; s < 16; ++s) {
    EXPECT_NEAR(brute->rows[s].real(), expected[s], 5e-5) << "s " << s;
    EXPECT_NEAR(brute->columns[s].real(), expected[s], 5e-5) << "s " << s;
    EXPECT_NEAR(brute->rows[s].imag(), 0, 1e-12);
  }
}

// Finer grids approach the diffraction-limited MTF of a circular pupil; 128 cells a side
// read at u = ν/ν_c between samples by linear interpolation.
TEST(DOTFCalculator, FineGridApproachesTheCircularPupilMTF) {
  const int n = 128;
  const Grid g = circularGrid(n);
  const auto t = DOTFCalculator::transferForGrid(g, 0);
  const auto brute = DOTFCalculator::bruteForceForGrid(g);
  ASSERT_TRUE(t && brute);
  const std::pair<double, double> reference[] = {{0, 1},           {0.1, 0.87289}, {0.25, 0.68504}, {0.5, 0.39100},
                                                 {0.75, 0.14429},  {0.9, 0.03739}, {1, 0}};
  for (const auto& [u, mtf] : reference) {
    EXPECT_NEAR(circularPupilMTF(u), mtf, 1e-5);  // the published values themselves
    const double s = u * n;
    const int k = std::min(static_cast<int>(s), n - 1);
    const double f = s - k;
    auto fft = [&](int i) { return t->otf.at(0, static_cast<std::size_t>(i)).x; };
    EXPECT_NEAR(fft(k) + f * (fft(k + 1) - fft(k)), mtf, 0.013) << "u " << u;
    auto sum = [&](int i) { return i < n ? brute->columns[static_cast<std::size_t>(i)].real() : 0.0; };
    EXPECT_NEAR(sum(k) + f * (sum(k + 1) - sum(k)), mtf, 0.013) << "u " << u;
  }
}

// For any wavefront the directly summed autocorrelation has the moduli of the FFT OTF
// (row shifts the first column, column shifts the first row); a wavefront symmetric
// about the centre (defocus plus spherical aberration) has a real OTF.
TEST(DOTFCalculator, BruteForceAgreesWithTheFFTForAnyWavefront) {
  const Grid coma =
      circularGrid(32, [](double x, double y) { return 0.8 * (x * x + y * y) * y + 0.3 * x - 0.2 * x * y; });
  const auto t = DOTFCalculator::transferForGrid(coma, 1);
  const auto brute = DOTFCalculator::bruteForceForGrid(coma);
  ASSERT_TRUE(t && brute);
  for (std::size_t s = 0; s < 32; ++s) {
    const auto row = t->otf.at(s, 0), column = t->otf.at(0, s);
    EXPECT_NEAR(std::abs(brute->rows[s]), std::hypot(row.x, row.y), 1e-12) << s;
    EXPECT_NEAR(std::abs(brute->columns[s]), std::hypot(column.x, column.y), 1e-12) << s;
  }
  EXPECT_GT(std::abs(brute->columns[8].imag()), 1e-3);  // coma shifts the phase

  const Grid symmetric = circularGrid(32, [](double x, double y) {
    const double r2 = x * x + y * y;
    return 0.5 * r2 + 0.25 * r2 * r2;
  });
  const auto even = DOTFCalculator::bruteForceForGrid(symmetric);
  ASSERT_TRUE(even);
  for (std::size_t s = 0; s < 32; ++s) {
    EXPECT_NEAR(even->rows[s].imag(), 0, 1e-12);
    EXPECT_NEAR(even->columns[s].imag(), 0, 1e-12);
  }
}

// The intensity field obeys Parseval (its sum is the matrix size times the live cells),
// peaks at zero displacement where every cell adds in phase, and is point-symmetric for
// a perfect pupil. Its section, interpolated 4 times finer, is the Airy pattern
// [2J₁(v)/v]², v = πr/(λN), with the first dark ring at r = 1.21967 λN; its column sums
// are the line spread, the Airy pattern integrated along the line.
TEST(DOTFCalculator, IntensityIsTheAiryPatternAndKeepsItsEnergy) {
  const int n = 64;
  const Grid g = circularGrid(n);
  const double cells = static_cast<double>(liveCells(g));
  const auto plain = DOTFCalculator::transferForGrid(g, 0);
  ASSERT_TRUE(plain);
  const auto& I = plain->intensity;
  ASSERT_EQ(I.nRows(), 2u * n);
  double sum = 0, peak = 0;
  for (std::size_t r = 0; r < I.nRows(); ++r)
    for (std::size_t c = 0; c < I.nCols(); ++c) {
      sum += I.at(r, c);
      peak = std::max(peak, I.at(r, c));
      const std::size_t mr = (I.nRows() - r) % I.nRows(), mc = (I.nCols() - c) % I.nCols();
      EXPECT_NEAR(I.at(r, c), I.at(mr, mc), 1e-9 * cells * cells);
    }
  EXPECT_NEAR(sum, 4.0 * n * n * cells, 1e-9 * sum);
  EXPECT_NEAR(I.at(0, 0), cells * cells, 1e-9 * cells * cells);
  EXPECT_EQ(peak, I.at(0, 0));

  // Order 2: 8 samples per λN (the pupil spans n cells; the field 2n·4 samples).
  const auto fine = DOTFCalculator::transferForGrid(g, 2);
  ASSERT_TRUE(fine);
  const auto& F = fine->intensity;
  ASSERT_EQ(F.nRows(), 8u * n);
  const double samplesPerLambdaN = 8;
  auto airy = [](double v) {
    const double a = std::abs(v) < 1e-12 ? 1 : 2 * foundation::besselJ1(v) / v;
    return a * a;
  };
  for (int k = 0; k <= 24; ++k) {  // out to 3 λN along x and along y
    const double v = M_PI * k / samplesPerLambdaN;
    EXPECT_NEAR(F.at(static_cast<std::size_t>(k), 0) / F.at(0, 0), airy(v), 0.004) << "k " << k;
    EXPECT_NEAR(F.at(0, static_cast<std::size_t>(k)) / F.at(0, 0), airy(v), 0.004) << "k " << k;
  }
  // The first dark ring: the smallest sample between 0.8 and 1.6 λN lies at 1.22 λN.
  int darkest = 7;
  for (int k = 7; k <= 13; ++k)
    if (F.at(static_cast<std::size_t>(k), 0) < F.at(static_cast<std::size_t>(darkest), 0)) darkest = k;
  EXPECT_NEAR(darkest / samplesPerLambdaN, 1.21967, 0.5 / samplesPerLambdaN);
  EXPECT_LT(F.at(static_cast<std::size_t>(darkest), 0) / F.at(0, 0), 2e-3);

  // The line spread against a numerical line integral of the Airy pattern.
  auto lineIntegral = [&](double x) {  // x in λN
    double s = 0;
    const double h = 0.005;
    for (double y = -40; y <= 40; y += h) s += airy(M_PI * std::hypot(x, y)) * h;
    return s;
  };
  const double l0 = lineIntegral(0);
  auto lsf = [&](int k) {
    double s = 0;
    for (std::size_t c = 0; c < F.nCols(); ++c) s += F.at(static_cast<std::size_t>(k), c);
    return s;
  };
  for (int k : {4, 8, 12, 16}) EXPECT_NEAR(lsf(k) / lsf(0), lineIntegral(k / samplesPerLambdaN) / l0, 0.01) << k;
}

// The intensity is band-limited (the pupil's autocorrelation fits the 2n grid), so the
// field interpolated 2^p times finer passes through the plain field's samples (scaled by
// the finer transform's 1/4^p), for power-of-two grids (the parallel row and column
// passes) and others (the 2-D transform).
TEST(DOTFCalculator, InterpolatedFieldPassesThroughTheSamples) {
  for (int n : {16, 12}) {
    SCOPED_TRACE(n);
    const Grid g = circularGrid(n, [](double x, double y) { return 0.3 * x * y + 0.2 * y * y * y; });
    const auto plain = DOTFCalculator::transferForGrid(g, 0);
    const auto fine = DOTFCalculator::transferForGrid(g, 2);
    ASSERT_TRUE(plain && fine);
    ASSERT_EQ(fine->intensity.nRows(), 8u * n);
    const double scale = plain->intensity.at(0, 0);
    for (std::size_t r = 0; r < 2u * n; ++r)
      for (std::size_t c = 0; c < 2u * n; ++c)
        EXPECT_NEAR(fine->intensity.at(4 * r, 4 * c) * 16, plain->intensity.at(r, c), 1e-9 * scale);
  }
}

// No live cell: no OTF (the normalisation would divide by zero), and it says why.
TEST(DOTFCalculator, DarkPupilHasNoTransferFunction) {
  Grid g = circularGrid(8);
  std::fill(g.alive.begin(), g.alive.end(), 0);
  std::string problem;
  EXPECT_FALSE(DOTFCalculator::transferForGrid(g, 2, &problem));
  EXPECT_EQ(problem, "no ray passes the pupil");
  EXPECT_FALSE(DOTFCalculator::bruteForceForGrid(g));
}

TEST(DOTFCalculator, GridSettings) {
  auto c = platform::makeObject<DOTFCalculator>();
  EXPECT_EQ(c->numberOfRaysPerSide(), 16);
  EXPECT_EQ(c->numberOfRays(), 256u);
  EXPECT_EQ(c->maximumSpatialFrequency(), 100.0);
  EXPECT_FALSE(c->plotSpatialFrequencyPhysicalRange());
  EXPECT_TRUE(c->plotOTF());
  EXPECT_DOUBLE_EQ(c->imageRescaleFactor(), 8.0);
  c->setInterpolationOrder(0);
  EXPECT_DOUBLE_EQ(c->imageRescaleFactor(), 2.0);

  struct Case {
    int perSide, bits;
  } cases[] = {{16, 4}, {17, 5}, {1, 0}, {2, 1}, {1024, 10}};
  for (const Case& k : cases) {
    c->setNumberOfRaysPerSide(k.perSide);
    EXPECT_EQ(c->numberOfRaysPerSideBits(), k.bits) << k.perSide;
    EXPECT_EQ(c->numberOfPointsPerSide(), k.perSide);  // equal counts follow
    EXPECT_EQ(c->numberOfRays(), static_cast<std::uint64_t>(k.perSide) * k.perSide);
  }
  c->setNumberOfRaysPerSideBits(0);
  EXPECT_EQ(c->numberOfRaysPerSide(), 1);
  c->setNumberOfPointsPerSideBits(5);
  EXPECT_EQ(c->numberOfRaysPerSide(), 32);
  c->setNumberOfRays(1000);  // typed in: the grid that holds it
  EXPECT_EQ(c->numberOfRaysPerSide(), 32);
  EXPECT_EQ(c->numberOfRays(), 1024u);
}

TEST(DOTFCalculator, PairWiseMagnitudesAndComplexParts) {
  auto curve = [](std::vector<double> y, const char* label) {
    platform::Dictionary d{{kYSeries, analysis::SeriesValue::make(foundation::VKSeries(y.size(), y.data()))}};
    if (label) d.set(Value(kYLabel), label);
    return Value(std::move(d));
  };
  const platform::Array in{curve({3, 0}, "Re"), curve({4, -2}, "Im"), curve({1, 1}, "Re")};
  const auto out = DOTFCalculator::curvesByAddingPairWiseMagnitudesToCurves(in);
  ASSERT_EQ(out.size(), 3u);  // the unpaired last curve is dropped
  EXPECT_EQ(seriesOf(out[2], kYSeries).at(0), 5);
  EXPECT_EQ(seriesOf(out[2], kYSeries).at(1), 2);
  EXPECT_EQ(out[2].asDictionary().get(kYLabel).asString(), "MTF");
  const auto kept = DOTFCalculator::curvesByRemovingComplexPartFromCurves({in[0], curve({1}, nullptr), out[2]});
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_FALSE(kept[0].asDictionary().get(kYLabel).isString());
}

// --- through the lens -------------------------------------------------------------------------------

std::vector<platform::Dictionary> named(const platform::Array& curves, const std::string& name) {
  std::vector<platform::Dictionary> out;
  for (const auto& c : curves)
    if (c.asDictionary().get(kName).asString() == name) out.push_back(c.asDictionary());
  return out;
}

// The F/5 paraboloid is perfect on axis: its traced grid of 16 a side gives the 208-cell
// overlap counts from the cut-off's 1/16 steps, the brute-force markers agree, and the
// frequency axis ends at the cut-off 1/(λN).
TEST(DOTFCalculator, ParaboloidOTFIsThePerfectPupils) {
  auto calculator = platform::makeObject<DOTFCalculator>();
  calculator->setShowBruteForce(true);
  Window<DOTFCalculator> window(paraboloidF5(), calculator);
  ASSERT_TRUE(window.run());
  EXPECT_EQ(calculator->status(), "");
  const auto& plot = *calculator->plotDictionary();
  EXPECT_EQ(plot.get(kTitle).asString(), "Diffraction OTF (550nm)");
  const auto& curves = window.curves();
  const double expected[17] = {1,     .9231, .8462, .7692, .6923, .6154, .5385, .4712, .4038,
                               .3365, .2692, .2115, .1538, .1058, .0577, .0288, 0};
  for (const char* name : {"0,0 550nm (T)", "0,0 550nm (S)"}) {
    const auto c = named(curves, name);
    ASSERT_EQ(c.size(), 1u) << name;
    const auto& x = *analysis::SeriesValue::from(c[0].get(kXSeries));
    const auto& y = *analysis::SeriesValue::from(c[0].get(kYSeries));
    ASSERT_EQ(y.count(), 17u);
    // The step is the traced pupil's, paraxial on axis to (h/f)² of a cell: 2e-5.
    EXPECT_NEAR(x.at(16), kCutoffF5, 5e-5 * kCutoffF5);
    for (std::size_t s = 0; s < 17; ++s) EXPECT_NEAR(y.at(s), expected[s], 2e-4) << name << " s " << s;
  }
  // Two brute-force moduli (dots for row shifts, squares for columns), n samples each.
  const auto brute = named(curves, "brute");
  ASSERT_EQ(brute.size(), 2u);
  for (const auto& b : brute) {
    EXPECT_EQ(b.get(kYLabel).asString(), "MTF");
    const auto& y = *analysis::SeriesValue::from(b.get(kYSeries));
    ASSERT_EQ(y.count(), 16u);
    for (std::size_t s = 0; s < 16; ++s) EXPECT_NEAR(y.at(s), expected[s], 2e-4);
  }
  EXPECT_EQ(named(curves, "diffraction limit").size(), 1u);
  // The MTF reads the OTF alone: no point-spread field is made for it.
  EXPECT_FALSE(calculator->intensityField());
}

// The same window with plotOTF off shows the line spread; two waves of weight zero (no
// wave of interest) have no average, and the rays and points per side must agree.
TEST(DOTFCalculator, LineSpreadAndTheStatusOfWhatCannotBeComputed) {
  auto calculator = platform::makeObject<DOTFCalculator>();
  calculator->setPlotOTF(false);
  Window<DOTFCalculator> window(paraboloidF5(), calculator);
  ASSERT_TRUE(window.run());
  EXPECT_EQ(calculator->plotDictionary()->get(kTitle).asString(), "Diffraction LSF (550nm)");
  const auto lsf = named(window.curves(), "0,0 550nm (y)");
  ASSERT_EQ(lsf.size(), 1u);
  const auto& x = *analysis::SeriesValue::from(lsf[0].get(kXSeries));
  const auto& y = *analysis::SeriesValue::from(lsf[0].get(kYSeries));
  ASSERT_EQ(y.count(), 128u);
  EXPECT_EQ(y.at(64), 1.0);  // the peak at zero displacement
  EXPECT_EQ(x.at(64), 0.0);
  EXPECT_NEAR(x.at(65), kLambdaNF5 / 8, 5e-5 * kLambdaNF5 / 8);  // the traced pupil's step
  for (std::size_t k = 1; k < 64; ++k) EXPECT_NEAR(y.at(64 + k), y.at(64 - k), 1e-9);

  // Rays and points per side differ: no OTF.
  calculator->setUseEqualNumberOfRaysAndPoints(false);
  calculator->setNumberOfPointsPerSide(8);
  ASSERT_TRUE(window.settle());
  EXPECT_NE(calculator->status().find("the rays and points per side differ"), std::string::npos)
      << calculator->status();

  // Two waves of weight 0 and no wave of interest.
  calculator->setUseEqualNumberOfRaysAndPoints(true);
  auto lens = window.document->lens();
  auto second = lens::Wave::wave();
  second->setWavelengthInMicrons(0.65);
  lens->setWaveArray({lens->primaryWave(), second});
  for (const auto& w : lens->waveArray()) w->setWeight(0);
  calculator->setWaveOfInterest(nullptr);
  ASSERT_TRUE(window.run());
  EXPECT_NE(calculator->status().find("the weights of its wavelengths sum to zero"), std::string::npos)
      << calculator->status();
  EXPECT_TRUE(named(window.curves(), "0,0 (y)").empty());
}

// The point-spread sections of the perfect F/5 lens: peak 1 at zero, the first dark ring
// at 1.21967·λN = 3.3541 µm, and the Airy pattern as the reference.
TEST(DOTFCalculator, PointSpreadSectionsHaveTheAiryDarkRing) {
  auto calculator = platform::makeObject<DPSFCalculator>();
  calculator->setNumberOfRaysPerSideBits(6);
  Window<DPSFCalculator> window(paraboloidF5(), calculator);
  ASSERT_TRUE(window.run());
  EXPECT_EQ(calculator->status(), "");
  EXPECT_EQ(calculator->plotDictionary()->get(kTitle).asString(), "FFT PSF (550nm)");
  EXPECT_EQ(named(window.curves(), "Airy pattern").size(), 1u);
  for (const char* name : {"0,0 550nm (x)", "0,0 550nm (y)"}) {
    const auto c = named(window.curves(), name);
    ASSERT_EQ(c.size(), 1u) << name;
    const auto& x = *analysis::SeriesValue::from(c[0].get(kXSeries));
    const auto& y = *analysis::SeriesValue::from(c[0].get(kYSeries));
    std::size_t zero = 0, darkest = 0;
    for (std::size_t k = 0; k < x.count(); ++k) {
      if (x.at(k) == 0) zero = k;
      const double r = x.at(k) / kLambdaNF5;
      if (r > 0.8 && r < 1.6 && (darkest == 0 || y.at(k) < y.at(darkest))) darkest = k;
    }
    EXPECT_EQ(y.at(zero), 1.0);
    EXPECT_NEAR(x.at(darkest), 3.3541e-3, kLambdaNF5 / 16) << name;
  }
}

// --- every wavelength and every field at its own scale -----------------------------------------

// The curve's ordinate at x, linear between its samples.
double valueAt(const platform::Dictionary& curve, double at) {
  const auto& x = *analysis::SeriesValue::from(curve.get(kXSeries));
  const auto& y = *analysis::SeriesValue::from(curve.get(kYSeries));
  for (std::size_t k = 1; k < x.count(); ++k)
    if (x.at(k) >= at) {
      const double f = (at - x.at(k - 1)) / (x.at(k) - x.at(k - 1));
      return y.at(k - 1) + f * (y.at(k) - y.at(k - 1));
    }
  return NAN;
}

// The perfect F/5 mirror in 0.55 µm (primary) and 0.7 µm, 64 cells a side: each wave's
// MTF is the circular pupil's at its own cut-off 1/(λN), and the polychromatic MTF the
// weighted mean of the two at the same frequency. Discretising the pupil costs about
// 0.01 at 64 cells (see FineGridApproachesTheCircularPupilMTF).
TEST(DOTFCalculator, EveryWavelengthAtItsOwnCutOff) {
  auto lens = paraboloidF5();
  auto red = lens::Wave::wave();
  red->setWavelengthInMicrons(0.7);
  lens->setWaveArray({lens->primaryWave(), red});
  auto calculator = platform::makeObject<DOTFCalculator>();
  calculator->setNumberOfRaysPerSideBits(6);
  calculator->setInterpolationOrder(0);
  calculator->setPlotDiffractionLimit(false);
  Window<DOTFCalculator> window(lens, calculator);
  ASSERT_TRUE(window.run());  // the calculator's lens, whose waves are chosen below
  auto cutoff = [](double microns) { return 1 / (microns * 1e-3 * 5); };
  auto mtf = [&](double nu, double microns) { return circularPupilMTF(nu / cutoff(microns)); };
  struct Case {
    std::shared_ptr<lens::Wave> wave;  // none: polychromatic
    double greenWeight, redWeight;
    const char* curve;
  };
  const Case cases[] = {{red, 1, 1, "0,0 700nm (T)"},
                        {lens->primaryWave(), 1, 1, "0,0 550nm (T)"},
                        {nullptr, 1, 1, "0,0 (T)"},
                        {nullptr, 1, 2, "0,0 (S)"}};
  for (const auto& k : cases) {
    lens->primaryWave()->setWeight(k.greenWeight);
    red->setWeight(k.redWeight);
    calculator->setWaveOfInterest(k.wave);
    ASSERT_TRUE(window.run());
    const auto c = named(window.curves(), k.curve);
    ASSERT_EQ(c.size(), 1u) << k.curve;
    for (double nu : {50.0, 106.4, 200.0, 280.0}) {
      double expected = 0;
      if (k.wave)
        expected = mtf(nu, k.wave->wavelengthInMicrons());
      else
        expected = (k.greenWeight * mtf(nu, 0.55) + k.redWeight * mtf(nu, 0.7)) / (k.greenWeight + k.redWeight);
      EXPECT_NEAR(valueAt(c[0], nu), expected, 0.012) << k.curve << " at " << nu << " c/mm";
    }
  }
  // The drawn diffraction limit is that of the wavelength shown.
  calculator->setWaveOfInterest(red);
  calculator->setPlotDiffractionLimit(true);
  ASSERT_TRUE(window.run());
  const auto limit = named(window.curves(), "diffraction limit");
  ASSERT_EQ(limit.size(), 1u);
  EXPECT_NEAR(valueAt(limit[0], 80), mtf(80, 0.7), 1e-3);
}

// The point spread at each wavelength has its first dark ring at 1.2197·λN, and the
// FFT's Strehl ratio of a quarter wave of defocus is sinc²(π/4) = 0.8106: the F/5
// paraboloid with its image plane δ = 0.25λ / (1 − cos u') beyond focus, sin u' = 10/√(10² +
// 99.75²) for the edge ray (the paraboloid's sag at 10 is 0.25), 64 cells a side.
TEST(DOTFCalculator, DarkRingsAtEachWavelengthAndTheStrehlOfDefocus) {
  auto lens = paraboloidF5();
  auto red = lens::Wave::wave();
  red->setWavelengthInMicrons(0.7);
  lens->setWaveArray({lens->primaryWave(), red});
  auto calculator = platform::makeObject<DPSFCalculator>();
  calculator->setNumberOfRaysPerSideBits(6);
  Window<DPSFCalculator> window(lens, calculator);
  ASSERT_TRUE(window.run());
  for (const auto& wave : {lens->primaryWave(), red}) {
    calculator->setWaveOfInterest(wave);
    ASSERT_TRUE(window.run());
    const double lambdaN = wave->wavelengthInMillimeters() * 5;
    const std::string name = "0,0 " + wave->wavelengthShortString() + " (y)";
    const auto c = named(window.curves(), name);
    ASSERT_EQ(c.size(), 1u) << name;
    const auto& x = *analysis::SeriesValue::from(c[0].get(kXSeries));
    const auto& y = *analysis::SeriesValue::from(c[0].get(kYSeries));
    std::size_t darkest = 0;
    for (std::size_t k = 0; k < x.count(); ++k) {
      const double r = x.at(k) / lambdaN;
      if (r > 0.9 && r < 1.5 && (darkest == 0 || y.at(k) < y.at(darkest))) darkest = k;
    }
    EXPECT_NEAR(x.at(darkest) / lambdaN, 1.2197, 1.0 / 16) << name;
    const auto airy = named(window.curves(), "Airy pattern");
    ASSERT_EQ(airy.size(), 1u);
    EXPECT_NEAR(valueAt(airy[0], 1.2197 * lambdaN), 0, 1e-4) << "the Airy pattern of " << name;
  }

  calculator->setWaveOfInterest(lens->primaryWave());
  const double lambda = 0.00055, sinU = 10 / std::hypot(10.0, 99.75);
  const double delta = 0.25 * lambda / (1 - std::sqrt(1 - sinU * sinU));
  lens->surfaceArray()[1]->setThickness(-100 - delta);
  lens->generateSystemFromParaxialSpecification();
  auto centre = [&](bool perfect) {
    calculator->setUsePerfectOPD(perfect);
    calculator->setNeedsCalculation(true);
    EXPECT_TRUE(window.run());
    return calculator->intensityField()->at(0, 0);
  };
  const double defocused = centre(false), perfect = centre(true);
  const double x = M_PI / 4;
  EXPECT_NEAR(defocused / perfect, std::pow(std::sin(x) / x, 2), 0.004);
}

// An ideal lens (a paraxial surface, f = 100, F/20) at 20°: the pupil seen from the image
// is cos²θ as tall as on axis and cos θ as wide, and a flat image plane tilted by θ to the
// chief ray stretches the tangential pattern by 1/cos θ. So the cut-offs are ν_c·cos²θ
// (T) and ν_c·cos θ (S) across the chief ray, and ν_c·cos³θ (T) on the image plane.
TEST(DOTFCalculator, EveryFieldAtItsOwnCutOff) {
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  auto object = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  auto ideal = lens::Surface::create<lens::SurfaceParaxial>();
  ideal->setValueForKey("f", 100.0);
  ideal->setThickness(100);
  auto image = lens::Surface::create();
  for (const std::shared_ptr<lens::Surface>& s : {object, std::shared_ptr<lens::Surface>(ideal), image})
    lens->insertInSurfaces(s);
  lens->setStopSurface(ideal);
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(5);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  auto field = lens::Field::field();
  field->setY(20);
  lens->setFieldArray({field});
  lens->primaryWave()->setWavelengthInMicrons(0.5876);
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);

  auto calculator = platform::makeObject<DOTFCalculator>();
  calculator->setNumberOfRaysPerSideBits(6);
  calculator->setInterpolationOrder(0);
  calculator->setUsePerfectOPD(true);
  Window<DOTFCalculator> window(lens, calculator);
  const double cutoff = 1 / (0.5876e-3 * 20), c = std::cos(20 * M_PI / 180);
  for (bool onImagePlane : {false, true}) {
    calculator->setCorrectForAngleOfIncidence(onImagePlane);
    ASSERT_TRUE(window.run());
    const auto t = named(window.curves(), "0,20 587.6nm (T)"), s = named(window.curves(), "0,20 587.6nm (S)");
    ASSERT_EQ(t.size(), 1u);
    ASSERT_EQ(s.size(), 1u);
    const double tangential = cutoff * c * c * (onImagePlane ? c : 1), sagittal = cutoff * c;
    for (double nu : {20.0, 42.5, 60.0}) {
      EXPECT_NEAR(valueAt(t[0], nu), circularPupilMTF(nu / tangential), 0.012) << "T at " << nu << ", " << onImagePlane;
      EXPECT_NEAR(valueAt(s[0], nu), circularPupilMTF(nu / sagittal), 0.012) << "S at " << nu << ", " << onImagePlane;
    }
  }
}

// The brute-force markers lie on the curve they check in both orderings of the grid.
TEST(DOTFCalculator, BruteForceMarkersInBothOrderings) {
  auto calculator = platform::makeObject<DOTFCalculator>();
  calculator->setShowBruteForce(true);
  auto lens = paraboloidF5({1});
  // Off focus, so that the wavefront is not flat and the orderings differ.
  lens->surfaceArray()[1]->setThickness(-100.05);
  lens->generateSystemFromParaxialSpecification();
  Window<DOTFCalculator> window(lens, calculator);
  for (bool fftOrder : {false, true}) {
    calculator->setUseNewOrdering(fftOrder);
    ASSERT_TRUE(window.run());
    const auto brute = named(window.curves(), "brute");
    ASSERT_EQ(brute.size(), 2u);  // dots and squares
    const auto t = named(window.curves(), "0,1 550nm (T)"), s = named(window.curves(), "0,1 550nm (S)");
    ASSERT_EQ(t.size(), 1u);
    ASSERT_EQ(s.size(), 1u);
    // Row shifts (dots) check S, column shifts (squares) check T.
    for (std::size_t k : {std::size_t{0}, std::size_t{1}}) {
      const auto& curve = k == 0 ? s[0] : t[0];
      const auto& x = *analysis::SeriesValue::from(brute[k].get(kXSeries));
      const auto& y = *analysis::SeriesValue::from(brute[k].get(kYSeries));
      for (std::size_t i = 0; i < x.count(); ++i)
        EXPECT_NEAR(y.at(i), valueAt(curve, x.at(i) * (1 - 1e-12)), 1e-9) << fftOrder << " marker " << i;
    }
  }
}

// --- what an MTF run makes and holds -------------------------------------------------------------

std::string exported(PSFCalculator& calculator) {
  std::FILE* f = std::tmpfile();
  if (!f) return "(no file)";
  std::string text = calculator.exportToFile(f) ? "" : "(nothing exported)";
  std::rewind(f);
  char buffer[1 << 14];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, got);
  std::fclose(f);
  return text;
}

// The MTF window's run makes no point-spread field, and its transfer function is the one
// a run that makes the field (the line spread) computes, element for element: on the
// perfect F/5 mirror the circular pupil's MTF at the cut-off 1/(λN), within the 0.012 of
// 64 cells. Its export still writes the field the run would have made. One wave of
// interest, and the weighted average of two waves (0.55 and 0.7 µm), whose OTFs meet on
// a common grid.
TEST(DOTFCalculator, MTFRunMakesNoFieldAndHasTheSameTransferFunction) {
  for (bool polychromatic : {false, true}) {
    SCOPED_TRACE(polychromatic ? "two waves" : "one wave");
    auto lens = paraboloidF5();
    auto red = lens::Wave::wave();
    red->setWavelengthInMicrons(0.7);
    lens->setWaveArray({lens->primaryWave(), red});
    auto mtf = platform::makeObject<DOTFCalculator>();
    auto lsf = platform::makeObject<DOTFCalculator>();
    lsf->setPlotOTF(false);
    for (const auto& c : {mtf, lsf}) {
      c->setNumberOfRaysPerSideBits(6);
      c->setInterpolationOrder(1);
    }
    Window<DOTFCalculator> mtfWindow(lens, mtf), lsfWindow(lens, lsf);
    for (auto* w : {&mtfWindow, &lsfWindow}) {
      ASSERT_TRUE(w->run());  // the calculator's lens, whose wave is chosen now
      w->calculator->setWaveOfInterest(polychromatic ? nullptr : lens->primaryWave());
      ASSERT_TRUE(w->run());
    }
    EXPECT_EQ(mtf->status(), "");
    EXPECT_FALSE(mtf->intensityField());
    // The line spread's field: 2n·2 a side.
    ASSERT_TRUE(lsf->intensityField());
    EXPECT_EQ(lsf->intensityField()->nRows(), 256u);

    const auto a = mtf->opticalTransferFunction(), b = lsf->opticalTransferFunction();
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->numberOfElements(), b->numberOfElements());
    for (std::size_t k = 0; k < a->numberOfElements(); ++k) {
      ASSERT_EQ(a->rowMajorStorage()[k].x, b->rowMajorStorage()[k].x) << k;
      ASSERT_EQ(a->rowMajorStorage()[k].y, b->rowMajorStorage()[k].y) << k;
    }
    // One wave: its own cut-off. Two of weight 1: the mean of both at each frequency.
    auto expected = [&](double nu) {
      const double blue = circularPupilMTF(nu / kCutoffF5), longer = circularPupilMTF(nu * 0.0007 * 5);
      return polychromatic ? (blue + longer) / 2 : blue;
    };
    const std::string name = polychromatic ? "0,0 (T)" : "0,0 550nm (T)";
    const auto t = named(mtfWindow.curves(), name);
    ASSERT_EQ(t.size(), 1u) << name;
    for (double u : {0.1, 0.25, 0.5, 0.75})
      EXPECT_NEAR(valueAt(t[0], u * kCutoffF5), expected(u * kCutoffF5), 0.012) << "at " << u << " of the cut-off";

    // Saved data: the field, as the run that makes it writes it (to the FFT's round-off:
    // FFTW's measured plans may differ between the two).
    auto numbers = [](const std::string& text) {
      std::vector<double> v;
      std::istringstream in(text);
      for (double x; in >> x;) v.push_back(x);
      return v;
    };
    const auto written = numbers(exported(*lsf)), made = numbers(exported(*mtf));
    ASSERT_EQ(written.size(), 256u * 256u);
    ASSERT_EQ(made.size(), written.size());
    const double peak = *std::max_element(written.begin(), written.end());
    for (std::size_t k = 0; k < made.size(); ++k) ASSERT_NEAR(made[k], written[k], 1e-9 * peak) << k;
    EXPECT_FALSE(mtf->intensityField());
  }
}

// The point-spread window's run still makes its field and its image: 2n·4 a side at
// order 2.
TEST(DOTFCalculator, PointSpreadRunStillMakesItsFieldAndImage) {
  auto calculator = platform::makeObject<DPSFCalculator>();
  Window<DPSFCalculator> window(paraboloidF5(), calculator);
  ASSERT_TRUE(window.run());
  ASSERT_TRUE(calculator->intensityField());
  EXPECT_EQ(calculator->intensityField()->nRows(), 128u);
  ASSERT_TRUE(calculator->imageOfPSF());
  EXPECT_EQ(calculator->imageOfPSF()->values.nRows(), 128u);
}

// A run is sized from its grid before anything is traced or allocated, against the
// memory available (set here, so that the case does not depend on the machine). Bytes
// by hand: an OTF grid (2n)²·16, rays n²·160 each, and for the line spread six fields of
// (2n·2^order)² doubles and the column pass 2n·(2n·2^order)·16. A run that does not fit
// traces nothing, makes nothing, shows no curves and says what it needs and what there is.
TEST(DOTFCalculator, RunBeyondTheAvailableMemoryIsRefusedBeforeItAllocates) {
  struct Case {
    bool plotOTF;
    int bits, order;
    double available;
    const char* status;  // "" for a run that fits
  } cases[] = {
      // 4 194 304 + 10 485 760 bytes.
      {true, 8, 4, 10e6, "needs 15 MB but 10 MB is available; reduce rays per side or interpolation"},
      {true, 8, 4, 20e6, ""},
      // The same grid for the line spread: 6·8192²·8 + 512·8192·16 more.
      {false, 8, 4, 1e9, "needs 3.3 GB but 1.0 GB is available; reduce rays per side or interpolation"},
      // 1024 a side at order 4: six fields of 32768² doubles alone are 51.5 GB.
      {false, 10, 4, 20e9, "needs 52.8 GB but 20.0 GB is available; reduce rays per side or interpolation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    auto calculator = platform::makeObject<DOTFCalculator>();
    calculator->setPlotOTF(c.plotOTF);
    calculator->setNumberOfRaysPerSideBits(c.bits);
    calculator->setInterpolationOrder(c.order);
    calculator->setMemoryBudget(c.available);
    Window<DOTFCalculator> window(paraboloidF5(), calculator);  // one wave: of interest
    ASSERT_TRUE(window.run());
    EXPECT_EQ(calculator->status(), c.status);
    if (*c.status) {
      EXPECT_TRUE(window.curves().empty());
      EXPECT_FALSE(calculator->tracedBundle());
      EXPECT_FALSE(calculator->opticalTransferFunction());
      EXPECT_FALSE(calculator->intensityField());
      EXPECT_FALSE(calculator->pupilImages());
    } else {
      EXPECT_FALSE(window.curves().empty());
      EXPECT_TRUE(calculator->opticalTransferFunction());
    }
  }
  // Unset, the budget is what the machine has available.
  auto calculator = platform::makeObject<DOTFCalculator>();
  EXPECT_EQ(calculator->memoryBudget(), DOTFCalculator::availableMemory());
  EXPECT_GT(DOTFCalculator::availableMemory(), 0);
}

}  // namespace
}  // namespace orb::wavefront
