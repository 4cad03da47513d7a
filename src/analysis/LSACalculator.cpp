#include "analysis/LSACalculator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/RayGeneration.h"

namespace orb::analysis {

using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;

AxialFanCalculator::AxialFanCalculator() {
  setRayColorOption("wave");
  setUseLocalCoordinates(true);
}

void AxialFanCalculator::fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const {
  points = tracing::pupil::yFan(static_cast<std::uint32_t>(std::min<std::uint64_t>(numberOfRays(), 1u << 20)));
  direction.assign(points.size(), 1);
}

std::vector<RaysCalculator::FieldPtr> AxialFanCalculator::fanFields() const {
  const LensPtr l = lens();
  if (!l) return {};
  return {tracing::axialField(*l)};
}

void AxialFanCalculator::generateCurves() {
  const FanPtr fan = tracedFan();
  const auto waves = wavesOfInterest();
  if (!fan || waves.empty() || numberOfRays() == 0 || fan->rays.fields.empty()) return;
  platform::Array curves;
  for (const FieldPtr& field : fan->rays.fields)
    for (const WavePtr& wave : waves) {
      if (platform::currentThreadIsCancelled()) return;
      if (auto c = extractCurve(*fan, field, wave, waves.size())) curves.push_back(Value(std::move(*c)));
    }
  if (platform::currentThreadIsCancelled()) return;
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), plotTitle());
  d.set(Value(plot::kXLabel), "pupil coordinate");
  d.set(Value(plot::kYLabel), yLabel());
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

double AxialFanCalculator::lagrangeValueAt(const std::vector<double>& x, const std::vector<double>& y,
                                            const std::vector<std::size_t>& nodes, double at) {
  double sum = 0;
  for (std::size_t k : nodes) {
    double term = y[k];
    for (std::size_t j : nodes)
      if (j != k) term *= (at - x[j]) / (x[k] - x[j]);
    sum += term;
  }
  return sum;
}

namespace {
// Lagrange value at x[m] through the (up to four) nearest points with finite values.
std::optional<double> interpolateAt(const std::vector<double>& x, const std::vector<double>& y, std::size_t m) {
  std::vector<std::size_t> near;
  for (std::size_t k = 0; k < x.size(); ++k)
    if (k != m && std::isfinite(y[k])) near.push_back(k);
  std::sort(near.begin(), near.end(), [m](std::size_t a, std::size_t b) {
    const auto da = a > m ? a - m : m - a, db = b > m ? b - m : m - b;
    return da != db ? da < db : a < b;
  });
  if (near.size() > 4) near.resize(4);
  if (near.size() < 2) return std::nullopt;
  return AxialFanCalculator::lagrangeValueAt(x, y, near, x[m]);
}
}  // namespace

std::optional<Dictionary> LSACalculator::extractCurve(const TracedFan& fan, const FieldPtr& field, const WavePtr& wave,
                                                      std::size_t waveCount) {
  const auto rows = selectRows(fan, 1, field.get(), wave.get());
  if (rows.empty()) return std::nullopt;
  const tracing::RayBundle& b = fan.rays;
  std::vector<double> xs, ys;
  for (std::size_t i : rows) {
    xs.push_back(fan.pupil(i).y);
    ys.push_back(-b.qy[i] * b.pz[i] / b.py[i]);  // z step along the ray to y = 0
  }
  // A ray along the axis never crosses it: take its neighbours' trend instead.
  std::vector<double> keptX, keptY;
  for (std::size_t m = 0; m < xs.size(); ++m) {
    double v = ys[m];
    if (!std::isfinite(v)) {
      const auto fill = interpolateAt(xs, ys, m);
      if (!fill) continue;
      v = *fill;
    }
    keptX.push_back(xs[m]);
    keptY.push_back(v);
  }
  if (keptX.empty()) {
    noteStatus("No longitudinal aberration for " + wave->wavelengthString() +
               ": no ray of the fan crosses the axis");
    return std::nullopt;
  }
  Dictionary d{{plot::kName, wave->wavelengthString()},
               {plot::kXLabel, "PY"},
               {plot::kYLabel, "z"},
               {plot::kXFormat, "%g"},
               {plot::kYFormat, "%g"},
               {plot::kXSeries, SeriesValue::make(VKSeries::seriesWithArray(keptX))},
               {plot::kYSeries, SeriesValue::make(VKSeries::seriesWithArray(keptY))},
               {plot::kField, Value(field)},
               {plot::kWave, Value(wave)},
               {plot::kLayer, Value(wave->description())},
               {plot::kUpdateColor, true}};
  (void)waveCount;
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

// --- offence against the sine condition ---------------------------------------------------

std::optional<Dictionary> OSCCalculator::extractCurve(const TracedFan& fan, const FieldPtr& field, const WavePtr& wave,
                                                      std::size_t waveCount) {
  const auto rows = selectRows(fan, -1, field.get(), wave.get());
  if (rows.empty()) return std::nullopt;
  const LensPtr l = lens();
  const bool atInfinity = l && tracing::isObjectAtInfinity(*l);
  const tracing::RayBundle& R = fan.rays;
  const tracing::RayBundle& I = fan.start;
  const tracing::RayBundle& P = fan.paraxial;
  std::vector<double> xs, ys;
  std::optional<std::size_t> undefined;
  for (std::size_t i : rows) {
    if (i >= P.size() || i >= I.size() || !P.alive[i]) continue;
    const double sinUPrime = std::sin(std::atan(R.py[i] / R.pz[i]));
    const double uPrime = P.py[i] / P.pz[i];
    double ratio;
    if (atInfinity) {
      const double h = I.qy[i];
      ratio = (uPrime * h) / (sinUPrime * h);
    } else {
      const double sinU = std::sin(std::atan(I.py[i] / I.pz[i]));
      const double u = I.py[i] / I.pz[i];
      ratio = (sinU * uPrime) / (u * sinUPrime);
    }
    xs.push_back(fan.pupil(i).y);
    ys.push_back(1 - ratio);
    if (std::isnan(ys.back())) undefined = ys.size() - 1;
  }
  if (xs.empty()) return std::nullopt;
  if (undefined) {
    const std::size_t k = *undefined;
    ys[k] = 0;
    if (k >= 2 && k + 2 < ys.size()) ys[k] = lagrangeValueAt(xs, ys, {k - 2, k - 1, k + 1, k + 2}, xs[k]);
  }
  Dictionary d{{plot::kName, wave->wavelengthString()},
               {plot::kXLabel, "PY"},
               {plot::kYLabel, "OSC"},
               {plot::kXFormat, "%g"},
               {plot::kYFormat, "%g"},
               {plot::kXSeries, SeriesValue::make(VKSeries::seriesWithArray(xs))},
               {plot::kYSeries, SeriesValue::make(VKSeries::seriesWithArray(ys))},
               {plot::kField, Value(field)},
               {plot::kWave, Value(wave)},
               {plot::kLayer, Value(wave->description())},
               {plot::kUpdateColor, true}};
  (void)waveCount;
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

}  // namespace orb::analysis
