// The brute-force check of the diffraction OTF: the pupil's autocorrelation summed
// directly, shift by shift along each grid axis, without any FFT, drawn as markers over
// the FFT curves.
#include <cmath>
#include <complex>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "platform/Thread.h"
#include "wavefront_illumination/DOTFCalculator.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::VKSeries;
using foundation::XYZ;
using platform::Array;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

namespace {
constexpr double kTwoPi = 6.283185307179586;

const VKSeries* ySeries(const Value& curve) {
  return curve.isDictionary() ? SeriesValue::from(curve.asDictionary().get(plot::kYSeries)) : nullptr;
}

// The curve with `y` as its ordinates.
void setYSeries(Value& curve, VKSeries y) {
  Dictionary c = curve.asDictionary();
  c.set(Value(plot::kYSeries), SeriesValue::make(std::move(y)));
  curve = Value(std::move(c));
}
}  // namespace

std::optional<DOTFCalculator::BruteForce> DOTFCalculator::bruteForceForGrid(const PupilGrid& g) {
  const int n = g.n;
  if (n <= 0 || g.opd.size() < static_cast<std::size_t>(n) * n) return std::nullopt;
  std::vector<std::complex<double>> P(static_cast<std::size_t>(n) * n);
  const double k = kTwoPi / g.wavelength;
  for (std::size_t c = 0; c < P.size(); ++c)
    if (g.alive[c]) P[c] = std::polar(1.0, g.opd[c] * k);
  auto at = [&](int r, int c) { return P[static_cast<std::size_t>(r) * n + c]; };
  const auto* cancelled = platform::currentThreadCancelledFlag();
  auto stop = [cancelled] { return cancelled && cancelled->load(); };
  // Rows: Σ conj(P(r, c))·P(r − s, c); columns: Σ P(r, c)·conj(P(r, c − s)). Each shift
  // is summed in the same order on whichever core takes it.
  auto rowSum = [&](int s) {
    std::complex<double> sum = 0;
    for (int r = s; r < n; ++r)
      for (int c = 0; c < n; ++c) sum += std::conj(at(r, c)) * at(r - s, c);
    return sum;
  };
  auto columnSum = [&](int s) {
    std::complex<double> sum = 0;
    for (int r = 0; r < n; ++r)
      for (int c = s; c < n; ++c) sum += at(r, c) * std::conj(at(r, c - s));
    return sum;
  };
  const double norm = rowSum(0).real();
  if (!(norm > 0)) return std::nullopt;  // no live cell
  BruteForce out;
  out.rows.resize(static_cast<std::size_t>(n));
  out.columns.resize(static_cast<std::size_t>(n));
  tbb::parallel_for(tbb::blocked_range<int>(0, 2 * n), [&](const tbb::blocked_range<int>& range) {
    for (int k = range.begin(); k != range.end(); ++k) {
      if (stop()) return;
      if (k < n)
        out.rows[static_cast<std::size_t>(k)] = rowSum(k) / norm;
      else
        out.columns[static_cast<std::size_t>(k - n)] = columnSum(k - n) / norm;
    }
  });
  if (stop()) return std::nullopt;
  return out;
}

std::optional<Array> DOTFCalculator::bruteForceCurvesForRows(const tracing::RayBundle& b,
                                                             std::span<const std::size_t> rows, const XYZ& centroid,
                                                             std::string* problem) {
  const auto grid = gridForRows(b, rows, centroid, problem);
  if (!grid) return std::nullopt;
  const auto sums = bruteForceForGrid(*grid);
  if (!sums) {
    if (problem && !platform::currentThreadIsCancelled()) *problem = "no ray passes the pupil";
    return std::nullopt;
  }
  const std::size_t n = sums->rows.size();
  const double delta = diffractionLimitSpatialFrequencyInUserUnits() / numberOfPointsPerSide();
  VKSeries x(n);
  for (std::size_t s = 0; s < n; ++s) x.atPut(s, static_cast<double>(s) * delta);
  auto part = [&](const std::vector<std::complex<double>>& v, bool imaginary) {
    VKSeries y(n);
    for (std::size_t s = 0; s < n; ++s) y.atPut(s, imaginary ? v[s].imag() : v[s].real());
    return y;
  };
  auto curve = [&](VKSeries y, bool rowShifts, bool imaginary) {
    Dictionary c{{plot::kXSeries, SeriesValue::make(x)},
                 {plot::kYSeries, SeriesValue::make(std::move(y))},
                 {plot::kColor, Value(imaginary ? platform::Color::make(1, 0, 1) : platform::Color::make(0, 1, 1))},
                 {plot::kName, "brute"},
                 {plot::kYLabel, imaginary ? "Im" : "Re"}};
    if (rowShifts) {
      c.set(Value(plot::kDrawAsLines), false);
      c.set(Value(plot::kDrawAsDots), true);
      c.set(Value(plot::kDotSize), 4.0);
    } else {
      c.set(Value(plot::kDrawAsSquares), true);
      c.set(Value(plot::kDotSize), 5.0);
    }
    return Value(std::move(c));
  };
  return Array{curve(part(sums->rows, false), true, false), curve(part(sums->rows, true), true, true),
               curve(part(sums->columns, false), false, false), curve(part(sums->columns, true), false, true)};
}

std::optional<Array> DOTFCalculator::bruteForcePolychromaticCurvesForField(const FieldPtr& field,
                                                                          std::string* problem) {
  const BundlePtr traced = tracedBundle();
  if (!traced || !field) return std::nullopt;
  const tracing::RayBundle& b = traced->rays;
  const auto waves = wavesOfInterest();
  const auto weights = waveWeights(waves);
  if (!weights) {
    if (problem) *problem = "the weights of its wavelengths sum to zero";
    return std::nullopt;
  }
  const XYZ centroid = centroidOf(b, rowsFor(b, field.get(), nullptr));
  std::optional<Array> sum;
  double total = 0;
  for (std::size_t w = 0; w < waves.size(); ++w) {
    if (platform::currentThreadIsCancelled()) return std::nullopt;
    const double weight = (*weights)[w];
    if (weight == 0) continue;
    auto curves = bruteForceCurvesForRows(b, rowsFor(b, field.get(), waves[w].get()), centroid, problem);
    if (!curves) continue;
    if (!sum) {
      sum = std::move(curves);
      for (Value& c : *sum)
        if (const VKSeries* y = ySeries(c)) {
          VKSeries scaled = *y;
          scaled.scaleBy(weight);
          setYSeries(c, std::move(scaled));
        }
    } else {
      for (std::size_t i = 0; i < sum->size() && i < curves->size(); ++i) {
        const VKSeries* into = ySeries((*sum)[i]);
        const VKSeries* add = ySeries((*curves)[i]);
        if (!into || !add) continue;
        VKSeries y = *into;
        y.addSeries(*add, weight);
        setYSeries((*sum)[i], std::move(y));
      }
    }
    total += weight;
  }
  if (!sum || !(total > 0)) return std::nullopt;
  for (Value& c : *sum)
    if (const VKSeries* y = ySeries(c)) {
      VKSeries scaled = *y;
      scaled.scaleBy(1 / total);
      setYSeries(c, std::move(scaled));
    }
  return sum;
}

Array DOTFCalculator::curvesByAddingPairWiseMagnitudesToCurves(const Array& curves) {
  Array out;
  for (std::size_t k = 1; k < curves.size(); k += 2) {
    const Value& a = curves[k - 1];
    const Value& b = curves[k];
    const VKSeries* ya = ySeries(a);
    const VKSeries* yb = ySeries(b);
    out.push_back(a);
    out.push_back(b);
    if (!ya || !yb) continue;
    VKSeries m(ya->count());
    for (std::size_t i = 0; i < ya->count(); ++i) m.atPut(i, std::hypot(ya->at(i), i < yb->count() ? yb->at(i) : 0.0));
    Dictionary c = a.asDictionary();
    c.set(Value(plot::kYSeries), SeriesValue::make(std::move(m)));
    c.set(Value(plot::kYLabel), "MTF");
    out.push_back(Value(std::move(c)));
  }
  return out;
}

Array DOTFCalculator::curvesByRemovingComplexPartFromCurves(const Array& curves) {
  Array out;
  for (const Value& c : curves) {
    const Value label = c.isDictionary() ? c.asDictionary().get(plot::kYLabel) : Value();
    if (label.isString() && (label.asString() == "Re" || label.asString() == "Im")) continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace orb::wavefront
