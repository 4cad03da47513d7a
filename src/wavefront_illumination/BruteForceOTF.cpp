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
}  // namespace

std::optional<DOTFCalculator::BruteForce> DOTFCalculator::bruteForceForGrid(const PupilGrid& g) {
  const int n = g.n;
  if (n <= 0 || g.opd.size() < static_cast<std::size_t>(n) * n) return std::nullopt;
  std::vector<std::complex<double>> P(static_cast<std::size_t>(n) * n);
  const double k = kTwoPi / g.wavelength;
  // Cells in their places across the pupil, whichever order the grid was traced in: a
  // shift of s cells is then the frequency s·step in both orderings.
  std::vector<std::size_t> place(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    place[static_cast<std::size_t>(i)] = static_cast<std::size_t>(signedGridIndex(n, i, g.fftOrder) + n / 2);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const std::size_t cell = static_cast<std::size_t>(i) * n + static_cast<std::size_t>(j);
      if (g.alive[cell])
        P[place[static_cast<std::size_t>(i)] * n + place[static_cast<std::size_t>(j)]] = std::polar(1.0, g.opd[cell] * k);
    }
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
  out.stepX = g.stepX;
  out.stepY = g.stepY;
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
  return bruteForceCurves(*sums);
}

Array DOTFCalculator::bruteForceCurves(const BruteForce& sums) const {
  const std::size_t n = sums.rows.size();
  // Row shifts step along pupil x, column shifts along pupil y, each at its grid's step.
  const double reference = referenceStep();
  auto abscissae = [&](double step) {
    double ratio = step / reference;
    if (!std::isfinite(ratio) || !(ratio > 0)) ratio = 1;
    const double delta = diffractionLimitSpatialFrequencyInUserUnits() / numberOfPointsPerSide() * ratio;
    VKSeries x(n);
    for (std::size_t s = 0; s < n; ++s) x.atPut(s, static_cast<double>(s) * delta);
    return x;
  };
  const VKSeries xRows = abscissae(sums.stepX), xColumns = abscissae(sums.stepY);
  auto part = [&](const std::vector<std::complex<double>>& v, bool imaginary) {
    VKSeries y(n);
    for (std::size_t s = 0; s < n; ++s) y.atPut(s, imaginary ? v[s].imag() : v[s].real());
    return y;
  };
  auto curve = [&](VKSeries y, bool rowShifts, bool imaginary) {
    Dictionary c{{plot::kXSeries, SeriesValue::make(rowShifts ? xRows : xColumns)},
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
  return Array{curve(part(sums.rows, false), true, false), curve(part(sums.rows, true), true, true),
               curve(part(sums.columns, false), false, false), curve(part(sums.columns, true), false, true)};
}

std::optional<DOTFCalculator::BruteForce> DOTFCalculator::averagedBruteForce(const std::vector<BruteForce>& parts,
                                                                             const std::vector<double>& weights) {
  if (parts.empty() || parts.size() != weights.size()) return std::nullopt;
  BruteForce out;
  for (const BruteForce& p : parts) {
    out.stepX = std::max(out.stepX, p.stepX);
    out.stepY = std::max(out.stepY, p.stepY);
  }
  const std::size_t n = parts.front().rows.size();
  out.rows.assign(n, 0);
  out.columns.assign(n, 0);
  // A sum at shift s taken at the common step: the part's own shift s·ratio, cubic between
  // its samples; a negative shift is the conjugate, none reaches beyond the cut-off.
  auto at = [](const std::vector<std::complex<double>>& v, double t) {
    const auto m = static_cast<int>(v.size());
    const CubicTaps taps = cubicTaps(t);
    std::complex<double> sum = 0;
    for (int k = 0; k < 4; ++k) {
      const int s = taps.first + k;
      if (s >= m || s <= -m) continue;
      sum += taps.w[k] * (s < 0 ? std::conj(v[static_cast<std::size_t>(-s)]) : v[static_cast<std::size_t>(s)]);
    }
    return sum;
  };
  double total = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const BruteForce& p = parts[k];
    if (p.rows.size() != n || p.columns.size() != n || !(p.stepX > 0) || !(p.stepY > 0)) continue;
    for (std::size_t s = 0; s < n; ++s) {
      out.rows[s] += weights[k] * at(p.rows, static_cast<double>(s) * out.stepX / p.stepX);
      out.columns[s] += weights[k] * at(p.columns, static_cast<double>(s) * out.stepY / p.stepY);
    }
    total += weights[k];
  }
  if (!(total > 0)) return std::nullopt;
  for (auto& v : out.rows) v /= total;
  for (auto& v : out.columns) v /= total;
  return out;
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
  std::vector<BruteForce> parts;
  std::vector<double> partWeights;
  for (std::size_t w = 0; w < waves.size(); ++w) {
    if (platform::currentThreadIsCancelled()) return std::nullopt;
    if ((*weights)[w] == 0) continue;
    const auto grid = gridForRows(b, rowsFor(b, field.get(), waves[w].get()), centroid, problem);
    if (!grid) continue;
    auto sums = bruteForceForGrid(*grid);
    if (!sums) continue;
    parts.push_back(std::move(*sums));
    partWeights.push_back((*weights)[w]);
  }
  const auto average = averagedBruteForce(parts, partWeights);
  if (!average) return std::nullopt;
  return bruteForceCurves(*average);
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
