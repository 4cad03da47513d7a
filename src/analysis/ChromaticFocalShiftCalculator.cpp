#include "analysis/ChromaticFocalShiftCalculator.h"

#include <cmath>

#include "analysis/ParallelTrace.h"
#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {

using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;

ChromaticFocalShiftCalculator::ChromaticFocalShiftCalculator() { setNumberOfRays(21); }

const platform::KeyTable& ChromaticFocalShiftCalculator::classKeys() {
  using K = platform::Keys<ChromaticFocalShiftCalculator>;
  using C = ChromaticFocalShiftCalculator;
  static const platform::KeyTable table(&RaysAtSurfaceCalculator::classKeys(),
                                        {K::property("lambdaMin", &C::lambdaMin, &C::setLambdaMin),
                                         K::property("lambdaMax", &C::lambdaMax, &C::setLambdaMax)});
  return table;
}

void ChromaticFocalShiftCalculator::setLambdaMin(double nm) {
  changeValueForKey("lambdaMin", [&] { m_lambdaMin = nm; });
  setNeedsCalculation(true);
}

void ChromaticFocalShiftCalculator::setLambdaMax(double nm) {
  changeValueForKey("lambdaMax", [&] { m_lambdaMax = nm; });
  setNeedsCalculation(true);
}

std::vector<RaysCalculator::WavePtr> ChromaticFocalShiftCalculator::scanWaves() const {
  const std::uint64_t n = std::min<std::uint64_t>(numberOfRays(), 10000);
  const double low = lambdaMin(), high = lambdaMax();
  std::vector<WavePtr> waves;
  for (std::uint64_t i = 0; i < n; ++i) {
    auto w = lens::Wave::wave();
    w->setWavelengthInNanometers(n == 1 ? (low + high) / 2 : low + (high - low) * double(i) / double(n - 1));
    w->setIsPrimary(false);
    waves.push_back(std::move(w));
  }
  return waves;
}

std::shared_ptr<const ChromaticFocalShiftCalculator::FramedRays> ChromaticFocalShiftCalculator::tracedChiefRays()
    const {
  platform::Synchronized lock(const_cast<ChromaticFocalShiftCalculator*>(this));
  return m_traced;
}

void ChromaticFocalShiftCalculator::noteStatus(std::string text) {
  performOnMainThreadForRun([this, text = std::move(text)] { setStatus(text); });
}

void ChromaticFocalShiftCalculator::calculate() {
  m_working.reset();
  RaysAtSurfaceCalculator::calculate();
  if (platform::currentThreadIsCancelled()) return;
  if (auto e = exception()) {
    {
      platform::Synchronized lock(this);
      m_traced.reset();
    }
    noteStatus(e->name() + ": " + e->reason());
  }
}

void ChromaticFocalShiftCalculator::generateInitialRays() {
  m_working.reset();
  const LensPtr l = lens();
  if (!l) return;
  const auto fields = fieldsOfInterest();
  const auto waves = scanWaves();
  if (fields.empty() || waves.empty()) return;
  const foundation::XY centre{0, 0};
  const auto rays = tracing::raysForFields(*l, fields, std::span(&centre, 1), waves);
  auto framed = std::make_shared<FramedRays>();
  framed->reserve(rays.size());
  for (const tracing::Ray& r : rays) framed->emplace_back(r);
  m_working = std::move(framed);
}

void ChromaticFocalShiftCalculator::traceRays() {
  RaysAtSurfaceCalculator::traceRays();
  const LensPtr l = lens();
  std::shared_ptr<FramedRays> rays = std::move(m_working);
  if (!l || platform::currentThreadIsCancelled()) return;
  if (rays) {
    const SurfacePtr target = surfaceOfInterest();
    platform::Synchronized lensLock(l.get());
    traceFramedRays(*l, std::span<tracing::RayWithFrame>(*rays), target.get(),
                    tracing::TraceOptions::paraxial(paraxial()));
    if (platform::currentThreadIsCancelled()) return;
  }
  {
    platform::Synchronized lock(this);
    m_traced = std::move(rays);
  }
  setNeedsGenerateCurves(true);
}

std::optional<Dictionary> ChromaticFocalShiftCalculator::extractCurve(const FramedRays& rays,
                                                                      const FieldPtr& field) const {
  const LensPtr l = lens();
  if (!l) return std::nullopt;
  const double n = std::abs(tracing::imageSpaceIndexOfRefraction(*l));
  const bool atInfinity = tracing::isObjectAtInfinity(*l);
  std::vector<double> xs, ys;
  for (const tracing::RayWithFrame& r : rays) {
    if (!r.isAlive() || r.tags().field.get() != field.get() || !r.wave()) continue;
    const foundation::SymplecticMatrix M = r.transferMatrix();
    const double s = r.isRetrograde() ? n : -n;
    const double y = atInfinity ? s * M.qyqy() / M.pyqy() : s * M.qypy() / M.pypy();
    if (!std::isfinite(y)) continue;  // afocal for this wavelength: no focus to plot
    xs.push_back(r.wave()->wavelengthInNanometers());
    ys.push_back(y);
  }
  if (xs.empty()) return std::nullopt;
  Dictionary d{{plot::kXSeries, SeriesValue::make(VKSeries::seriesWithArray(xs))},
               {plot::kYSeries, SeriesValue::make(VKSeries::seriesWithArray(ys))},
               {plot::kField, Value(field)},
               {plot::kLayer, Value(field->description())},
               {plot::kName, "(" + field->shortDescription() + ")"},
               {plot::kXLabel, "λ"},
               {plot::kYLabel, "shift"},
               {plot::kXFormat, "%g"},
               {plot::kYFormat, "%g"},
               {plot::kUpdateColor, true}};
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

void ChromaticFocalShiftCalculator::generateCurves() {
  const auto rays = tracedChiefRays();
  const auto fields = fieldsOfInterest();
  if (!rays || fields.empty() || numberOfRays() == 0) return;
  platform::Array curves;
  for (const FieldPtr& field : fields) {
    if (platform::currentThreadIsCancelled()) return;
    if (auto c = extractCurve(*rays, field)) curves.push_back(Value(std::move(*c)));
  }
  if (platform::currentThreadIsCancelled()) return;
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), "Chromatic focal shift");
  d.set(Value(plot::kXLabel), "wavelength (nm)");
  d.set(Value(plot::kYLabel), "shift (mm)");
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

void ChromaticFocalShiftCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysAtSurfaceCalculator::addRestorationDataToDictionary(d);
  d.set(Value("lambdaMin"), lambdaMin());
  d.set(Value("lambdaMax"), lambdaMax());
}

}  // namespace orb::analysis
