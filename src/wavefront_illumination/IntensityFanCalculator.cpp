#include "wavefront_illumination/IntensityFanCalculator.h"

#include <algorithm>
#include <cmath>

#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/PupilPatterns.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;
using tracing::RayWithFrame;
namespace plot = analysis::plot;

namespace {

template <class T>
bool sameMember(const std::shared_ptr<T>& a, const std::shared_ptr<T>& b) {
  return a == b || (a && b && a->isEqualTo(*b));
}

// Element (row, col) of a transfer matrix in the state order (px, py, qx, qy).
constexpr std::size_t at(std::size_t row, std::size_t col) { return row * 4 + col; }
constexpr std::size_t kPx = 0, kPy = 1, kQx = 2, kQy = 3;

}  // namespace

IntensityFanCalculator::IntensityFanCalculator() {
  setNumberOfRays(101);
  setUnits("mm");
}

const platform::KeyTable& IntensityFanCalculator::classKeys() {
  using K = platform::Keys<IntensityFanCalculator>;
  using F = IntensityFanCalculator;
  static const platform::KeyTable table(
      &RaysAtSurfaceCalculator::classKeys(),
      {
          K::property("plotSagittal", &F::plotSagittal, &F::setPlotSagittal),
          K::property("plotTangential", &F::plotTangential, &F::setPlotTangential),
          K::property("plotSum", &F::plotSum, &F::setPlotSum),
          K::property("includeFieldWeight", &F::includeFieldWeight, &F::setIncludeFieldWeight),
          K::property("includeSurfaceAngle", &F::includeSurfaceAngle, &F::setIncludeSurfaceAngle),
      });
  return table;
}

void IntensityFanCalculator::setPlotSagittal(bool on) {
  setAndAnnounce("plotSagittal", m_plotSagittal, on);
  setNeedsGenerateCurves(true);
}
void IntensityFanCalculator::setPlotTangential(bool on) {
  setAndAnnounce("plotTangential", m_plotTangential, on);
  setNeedsGenerateCurves(true);
}
void IntensityFanCalculator::setPlotSum(bool on) {
  setAndAnnounce("plotSum", m_plotSum, on);
  setNeedsGenerateCurves(true);
}
void IntensityFanCalculator::setIncludeFieldWeight(bool on) {
  setAndAnnounce("includeFieldWeight", m_includeFieldWeight, on);
  setNeedsGenerateCurves(true);
}
void IntensityFanCalculator::setIncludeSurfaceAngle(bool on) {
  setAndAnnounce("includeSurfaceAngle", m_includeSurfaceAngle, on);
  setNeedsGenerateCurves(true);
}

IntensityFanCalculator::FramedRaysPtr IntensityFanCalculator::framedRays() const {
  platform::Synchronized lock(this);
  return m_framed;
}

// --- rays ------------------------------------------------------------------------------------------

void IntensityFanCalculator::generateInitialRays() {
  m_workingFramed.clear();
  const analysis::LensPtr l = lens();
  const auto fields = fieldsOfInterest();
  const auto waves = wavesOfInterest();
  const auto m = static_cast<std::uint32_t>(std::min<std::uint64_t>(numberOfRays(), 0xffffffffu));
  if (!l || fields.empty() || waves.empty() || m == 0) return;
  for (const int direction : {1, 0}) {
    const tracing::pupil::Points points = direction ? tracing::pupil::yFan(m) : tracing::pupil::xFan(m);
    for (tracing::Ray& r : tracing::raysForFields(*l, fields, points, waves)) {
      r.tags().direction = direction;
      m_workingFramed.emplace_back(r);
    }
  }
}

void IntensityFanCalculator::traceRays() {
  const analysis::LensPtr l = lens();
  if (!l) return;
  const SurfacePtr target = surfaceOfInterest();
  if (!m_workingFramed.empty())
    tracing::traceRays(*l, std::span<RayWithFrame>(m_workingFramed), target.get(),
                       tracing::TraceOptions::paraxial(paraxial()));
  if (platform::currentThreadIsCancelled()) return;
  if (useLocalCoordinates() && target) {
    const auto& localFromGlobal = target->transform().globalToLocalCoordinateTransformationMatrix();
    for (RayWithFrame& r : m_workingFramed)
      if (r.isAlive()) r.transformByMatrix(localFromGlobal);
  }
  auto traced = std::make_shared<const FramedRays>(std::move(m_workingFramed));
  m_workingFramed.clear();
  {
    platform::Synchronized lock(this);
    m_framed = std::move(traced);
  }
  setNeedsGenerateCurves(true);
}

// --- curves ----------------------------------------------------------------------------------------

std::optional<Dictionary> IntensityFanCalculator::extractCurveForDirection(int d, const FieldPtr& field,
                                                                          const WavePtr& wave, const FramedRays& rays,
                                                                          bool atInfinity) const {
  double g = atInfinity ? 1.0 : 1000.0;
  if (includeFieldWeight() && field) g *= field->weight();
  const bool surfaceAngle = includeSurfaceAngle();
  std::vector<double> xs, ys;
  for (const RayWithFrame& r : rays) {
    if (!r.isAlive() || r.tags().direction.value_or(-1) != d) continue;
    if (!sameMember(r.tags().field, field) || !sameMember(r.wave(), wave)) continue;
    const auto& M = r.transfer();
    const double det = atInfinity ? M[at(kQx, kQx)] * M[at(kQy, kQy)] - M[at(kQy, kQx)] * M[at(kQx, kQy)]
                                  : M[at(kQx, kPx)] * M[at(kQy, kPy)] - M[at(kQy, kPx)] * M[at(kQx, kPy)];
    double y = g / std::abs(det);  // +∞ at a caustic
    if (surfaceAngle) {
      const foundation::XYZ u = r.unitDirector(), n = r.surfaceNormal();
      y *= std::abs(u.x * n.x + u.y * n.y + u.z * n.z);
    }
    xs.push_back(d ? r.y() : r.x());
    ys.push_back(y);
  }
  if (xs.empty()) return std::nullopt;
  VKSeries x(xs.size(), xs.data()), y(ys.size(), ys.data());
  x.scaleBy(scaleForUnits(units()));
  const bool byField = fieldsOfInterest().size() >= 2;
  const char* letter = d ? "T" : "S";
  Dictionary c{{plot::kXSeries, SeriesValue::make(std::move(x))},
               {plot::kYSeries, SeriesValue::make(std::move(y))},
               {plot::kLineWidth, 2.0},
               {plot::kXLabel, d ? "y" : "x"},
               {plot::kYLabel, "I"},
               {plot::kName, platform::format("%s (%s, %s)", letter, field ? field->shortDescription().c_str() : "",
                                              wave ? wave->wavelengthShortString().c_str() : "")},
               {plot::kUpdateColor, true}};
  if (field) c.set(Value(plot::kField), Value(field));
  if (wave) c.set(Value(plot::kWave), Value(wave));
  if (byField && field)
    c.set(Value(plot::kLayer), Value(field->description()));
  else if (wave)
    c.set(Value(plot::kLayer), Value(wave->description()));
  if (!d) c.set(Value(plot::kDashed), true);
  c.set(Value(plot::kColor), Value(colorForDictionary(c)));
  return c;
}

Dictionary IntensityFanCalculator::sumOfCurves(const std::vector<Dictionary>& curves, int d) const {
  auto seriesOf = [](const Dictionary& c, const char* key) -> const VKSeries* {
    const Value* v = c.find(Value(key));
    return v ? SeriesValue::from(*v) : nullptr;
  };
  std::vector<double> X;
  for (const Dictionary& c : curves)
    if (const VKSeries* x = seriesOf(c, plot::kXSeries)) X.insert(X.end(), x->begin(), x->end());
  std::sort(X.begin(), X.end());
  X.erase(std::unique(X.begin(), X.end()), X.end());
  std::vector<double> Y(X.size(), 0.0);

  for (const Dictionary& c : curves) {
    const VKSeries* xs = seriesOf(c, plot::kXSeries);
    const VKSeries* ys = seriesOf(c, plot::kYSeries);
    if (!xs || !ys) continue;
    const std::size_t m = std::min(xs->count(), ys->count());
    for (std::size_t k = 1; k < m; ++k) {
      const double xa = xs->at(k - 1), xb = xs->at(k), ya = ys->at(k - 1), yb = ys->at(k);
      const bool aFirst = xa <= xb;
      const double lo = aFirst ? xa : xb, hi = aFirst ? xb : xa, ylo = aFirst ? ya : yb, yhi = aFirst ? yb : ya;
      if (lo == hi) continue;
      // Ends shared with a neighbouring segment of this curve count half from each.
      const bool startShared = k >= 2, endShared = k + 1 < m;
      const bool loShared = aFirst ? startShared : endShared, hiShared = aFirst ? endShared : startShared;
      const bool infinite = !std::isfinite(ylo) || !std::isfinite(yhi);
      for (auto it = std::lower_bound(X.begin(), X.end(), lo); it != X.end() && *it <= hi; ++it) {
        const double x = *it;
        double v;
        if (x == lo)
          v = loShared ? ylo / 2 : ylo;
        else if (x == hi)
          v = hiShared ? yhi / 2 : yhi;
        else if (infinite)  // towards a caustic the interpolation is unbounded, never ∞ − ∞
          v = std::isinf(ylo) ? ylo : std::isinf(yhi) ? yhi : std::nan("");
        else
          v = ylo + (x - lo) * (yhi - ylo) / (hi - lo);
        Y[static_cast<std::size_t>(it - X.begin())] += v;
      }
    }
  }
  const char* letter = d ? "T" : "S";
  Dictionary sum{{plot::kXSeries, SeriesValue::make(VKSeries(X.size(), X.data()))},
                 {plot::kYSeries, SeriesValue::make(VKSeries(Y.size(), Y.data()))},
                 {plot::kLineWidth, 2.0},
                 {plot::kXLabel, d ? "y" : "x"},
                 {plot::kYLabel, "I"},
                 {plot::kName, platform::format("sum %s", letter)},
                 {plot::kUpdateColor, true}};
  if (!d) sum.set(Value(plot::kDashed), true);
  sum.set(Value(plot::kColor), Value(colorForDictionary(sum)));
  return sum;
}

void IntensityFanCalculator::generateCurves() {
  if (platform::currentThreadIsCancelled()) return;
  const analysis::LensPtr l = lens();
  const auto fields = fieldsOfInterest();
  const auto waves = wavesOfInterest();
  const FramedRaysPtr rays = framedRays();
  if (!l || fields.empty() || waves.empty() || numberOfRays() == 0 || !rays) {
    RaysAtSurfaceCalculator::generateCurves();
    return;
  }
  bool atInfinity;
  {
    platform::Synchronized lensLock(l.get());
    atInfinity = tracing::isObjectAtInfinity(*l);
  }
  std::vector<Dictionary> all, sagittal, tangential;
  for (const FieldPtr& f : fields)
    for (const WavePtr& w : waves) {
      if (plotSagittal())
        if (auto c = extractCurveForDirection(0, f, w, *rays, atInfinity)) {
          sagittal.push_back(*c);
          all.push_back(std::move(*c));
        }
      if (plotTangential())
        if (auto c = extractCurveForDirection(1, f, w, *rays, atInfinity)) {
          tangential.push_back(*c);
          all.push_back(std::move(*c));
        }
    }
  if (plotSum()) {
    all.push_back(sumOfCurves(sagittal, 0));
    all.push_back(sumOfCurves(tangential, 1));
  }
  platform::Array curves;
  for (Dictionary& c : all) {
    c.set(Value(plot::kXFormat), Value("%g"));
    curves.push_back(Value(std::move(c)));
  }
  if (platform::currentThreadIsCancelled()) return;

  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), Value(atInfinity ? "Incident intensity 1 W/mm^2" : "Incident intensity 1 kW/sr"));
  d.set(Value(plot::kXLabel), Value(platform::format("position (%s)", units().c_str())));
  d.set(Value(plot::kYLabel), Value("intensity (W/mm^2)"));
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

void IntensityFanCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysAtSurfaceCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"plotTangential", "plotSagittal", "includeSurfaceAngle", "plotSum", "includeFieldWeight"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::wavefront
