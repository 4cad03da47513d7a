#include "analysis/GEECalculator.h"

#include <algorithm>
#include <cmath>

#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"

namespace orb::analysis {

using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;

namespace {
// A whole ring of rays often lands at the largest radius, so the curve climbs straight up
// to the full fraction there; a range ending at that radius hides the climb in the frame
// and the curve seems to stop short of 1.
constexpr double kRangeHeadroom = 1.05;
}  // namespace

GEECalculator::GEECalculator() { setNumberOfRays(127); }

const platform::KeyTable& GEECalculator::classKeys() {
  using K = platform::Keys<GEECalculator>;
  using G = GEECalculator;
  static const platform::KeyTable table(
      &RaysAtSurfaceCalculator::classKeys(),
      {K::property("maximumRadius", &G::maximumRadius, &G::setMaximumRadius),
       K::property("useEntireRadiusRange", &G::useEntireRadiusRange, &G::setUseEntireRadiusRange),
       K::property("useEnsquared", &G::useEnsquared, &G::setUseEnsquared)});
  return table;
}

void GEECalculator::setMaximumRadius(double r) {
  changeValueForKey("maximumRadius", [&] { m_maximumRadius = r; });
  setUseEntireRadiusRange(false);
  setScaleOnlyExpands(false);
  setNeedsGenerateCurves(true);
}

void GEECalculator::setUseEntireRadiusRange(bool on) {
  changeValueForKey("useEntireRadiusRange", [&] { m_useEntireRadiusRange = on; });
  setNeedsGenerateCurves(true);
}

void GEECalculator::setUseEnsquared(bool on) {
  changeValueForKey("useEnsquared", [&] { m_useEnsquared = on; });
  setNeedsGenerateCurves(true);
}

void GEECalculator::setUnits(const std::string& unit) {
  const double oldScale = scaleForUnits(units());
  const double physical = oldScale > 0 ? maximumRadius() / oldScale : maximumRadius();
  RaysAtSurfaceCalculator::setUnits(unit);
  const double newScale = scaleForUnits(units());
  changeValueForKey("maximumRadius", [&] { m_maximumRadius = newScale > 0 ? physical * newScale : physical; });
}

std::optional<Dictionary> GEECalculator::extractCurve(const TracedBundle& traced, const FieldPtr& field,
                                                      const WavePtr& wave, double& largest) const {
  const tracing::RayBundle& b = traced.rays;
  const bool isAfocal = afocal();
  std::vector<double> u, v;  // positions, or direction tangents when afocal
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (!b.alive[i]) continue;
    if (b.field[i] >= b.fields.size() || b.fields[b.field[i]] != field) continue;
    if (b.wave[i] >= b.waves.size() || b.waves[b.wave[i]] != wave) continue;
    u.push_back(isAfocal ? b.px[i] / b.pz[i] : b.qx[i]);
    v.push_back(isAfocal ? b.py[i] / b.pz[i] : b.qy[i]);
  }
  if (u.empty()) return std::nullopt;
  double cx = u.front(), cy = v.front();
  if (subtractCentroid()) {
    cx = cy = 0;
    for (std::size_t k = 0; k < u.size(); ++k) cx += u[k], cy += v[k];
    cx /= double(u.size()), cy /= double(v.size());
  }
  const bool squared = useEnsquared();
  std::vector<double> radii(u.size());
  for (std::size_t k = 0; k < u.size(); ++k) {
    const double dx = u[k] - cx, dy = v[k] - cy;
    radii[k] = squared ? std::max(std::abs(dx), std::abs(dy)) : std::hypot(dx, dy);
  }
  std::sort(radii.begin(), radii.end());
  largest = std::max(largest, radii.back());
  const std::size_t n = radii.size();
  std::vector<double> fraction(n, 1.0);
  for (std::size_t k = 0; k + 1 < n; ++k) fraction[k] = double(k) / double(n - 1);
  Dictionary d{{plot::kXSeries, SeriesValue::make(VKSeries::seriesWithArray(radii))},
               {plot::kYSeries, SeriesValue::make(VKSeries::seriesWithArray(fraction))},
               {plot::kField, Value(field)},
               {plot::kWave, Value(wave)},
               {plot::kLayer, Value(fieldsOfInterest().size() >= 2 ? field->description() : wave->description())},
               {plot::kName, "(" + field->shortDescription() + ", " + wave->wavelengthShortString() + ")"},
               {plot::kUpdateColor, true}};
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

void GEECalculator::generateCurves() {
  const BundlePtr traced = tracedBundle();
  const auto fields = fieldsOfInterest();
  const auto waves = wavesOfInterest();
  const LensPtr l = lens();
  if (!traced || !l || fields.empty() || waves.empty() || numberOfRays() == 0) return;
  double scale = scaleForUnits(units());
  if (!afocal() && divideByFocalLength()) {
    // An afocal lens (or one not measured) would give infinite or undefined radii.
    const double f = tracing::focalLength(*l);
    if (f == 0 || !std::isfinite(f)) {
      RaysAtSurfaceCalculator::generateCurves();  // clears the plot
      performOnMainThreadForRun([this] { setStatus("No finite focal length: the radii cannot be divided by it"); });
      return;
    }
    scale /= std::abs(f);
  }
  double largest = 0;
  std::vector<Dictionary> curves;
  for (const FieldPtr& field : fields)
    for (const WavePtr& wave : waves) {
      if (platform::currentThreadIsCancelled()) return;
      if (auto c = extractCurve(*traced, field, wave, largest)) curves.push_back(std::move(*c));
    }
  largest *= scale;
  platform::Array list;
  for (Dictionary& c : curves) {
    VKSeries x = *SeriesValue::from(c.get(plot::kXSeries));
    for (double& r : x) r *= scale;
    c.set(Value(plot::kXSeries), SeriesValue::make(std::move(x)));
    c.set(Value(plot::kXLabel), "r");
    c.set(Value(plot::kYLabel), "E");
    c.set(Value(plot::kXFormat), "%g");
    c.set(Value(plot::kYFormat), "%g");
    list.push_back(Value(std::move(c)));
  }
  if (platform::currentThreadIsCancelled()) return;
  const bool entireRange = useEntireRadiusRange();
  const double xMax = entireRange ? largest * kRangeHeadroom : maximumRadius();
  if (entireRange)
    performOnMainThreadForRun([this, xMax] { changeValueForKey("maximumRadius", [&] { m_maximumRadius = xMax; }); });
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(list)));
  d.set(Value(plot::kTitle), useEnsquared() ? "Geometrical ensquared energy" : "Geometrical encircled energy");
  d.set(Value(plot::kXLabel), "radius (" + units() + ")");
  d.set(Value(plot::kYLabel), "fraction");
  d.set(Value(plot::kYMin), 0.0);
  d.set(Value(plot::kYMax), 1.0);
  d.set(Value(plot::kXMin), 0.0);
  d.set(Value(plot::kXMax), xMax);
  d.set(Value(plot::kXTight), false);
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

void GEECalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysAtSurfaceCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"maximumRadius", "useEntireRadiusRange", "useEnsquared"}) d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
