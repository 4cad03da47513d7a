#include "analysis/FieldScanCalculator.h"

#include <cmath>

#include "analysis/PlotDictionary.h"
#include "lens/Aperture.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {

using foundation::VKSeries;
using foundation::XY;
using platform::Dictionary;
using platform::Value;

namespace {
constexpr double kDegreesPerRadian = 180 / M_PI;
}

// --- field fans ----------------------------------------------------------------------------------

std::vector<RaysCalculator::FieldPtr> FieldFanScan::fanFields() const {
  const LensPtr l = lens();
  if (!l || numberOfRays() == 0) return {};
  return tracing::fieldFanWithNumberOfPoints(*l, std::min<std::uint64_t>(numberOfRays(), 10000));
}

void FieldFanScan::fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const {
  points = {{0, 0}};
  direction = {1};
}

void FieldFanScan::publishCurves(platform::Array curves, const std::string& title, const std::string& xLabel,
                                 const std::string& yLabel) {
  if (platform::currentThreadIsCancelled()) return;
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), title);
  d.set(Value(plot::kXLabel), xLabel);
  d.set(Value(plot::kYLabel), yLabel);
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

namespace {
Dictionary curveOf(std::vector<double> xs, std::vector<double> ys, const RaysCalculator::WavePtr& wave) {
  return Dictionary{{plot::kXSeries, SeriesValue::make(VKSeries::seriesWithArray(xs))},
                    {plot::kYSeries, SeriesValue::make(VKSeries::seriesWithArray(ys))},
                    {plot::kWave, Value(wave)},
                    {plot::kUpdateColor, true}};
}
}  // namespace

// --- chief-ray angle ---------------------------------------------------------------------------

std::optional<Dictionary> ChiefRayAngle::extractCurve(const TracedFan& fan, const WavePtr& wave) const {
  const auto rows = selectRows(fan, -1, nullptr, wave.get());
  if (rows.empty()) return std::nullopt;
  const tracing::RayBundle& b = fan.rays;
  std::vector<double> xs, ys;
  // Rows follow the field fan in order, one chief ray each.
  for (std::size_t i : rows) {
    if (b.field[i] >= b.fields.size()) continue;
    const double r = std::hypot(b.px[i], b.py[i]);
    const double ty = r > 0 ? b.py[i] * (std::atan(r / b.pz[i]) / r) : 0.0;
    xs.push_back(b.fields[b.field[i]]->y());
    ys.push_back(ty * kDegreesPerRadian);
  }
  Dictionary d = curveOf(std::move(xs), std::move(ys), wave);
  d.set(Value(plot::kXLabel), "field");
  d.set(Value(plot::kYLabel), "angle");
  d.set(Value(plot::kName), wave->wavelengthString());
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

void ChiefRayAngle::generateCurves() {
  const FanPtr fan = tracedFan();
  const auto waves = wavesOfInterest();
  if (!fan || waves.empty() || numberOfRays() == 0) return;
  platform::Array curves;
  for (const WavePtr& wave : waves) {
    if (platform::currentThreadIsCancelled()) return;
    if (auto c = extractCurve(*fan, wave)) curves.push_back(Value(std::move(*c)));
  }
  publishCurves(std::move(curves), "Chief ray angle", "Field coordinate", "Angle (degrees)");
}

// --- distortion ----------------------------------------------------------------------------------

std::optional<Dictionary> DistortionCalculator::extractCurve(const TracedFan& fan, const WavePtr& wave) const {
  const auto rows = selectRows(fan, -1, nullptr, wave.get());
  if (rows.empty()) return std::nullopt;
  const tracing::RayBundle& R = fan.rays;
  const tracing::RayBundle& P = fan.paraxial;
  const bool isAfocal = afocal();
  std::vector<double> xs, ys;
  for (std::size_t i : rows) {
    if (i >= P.size()) continue;
    double x, d;
    if (isAfocal) {
      // The real angle against the paraxial tangent: the paraxial trace is linear in it.
      const double theta = std::atan(R.py[i] / R.pz[i]);
      const double uy = P.py[i] / P.pz[i];
      x = theta * kDegreesPerRadian;
      d = uy == 0 ? 0.0 : theta / uy - 1;
    } else {
      x = R.qy[i];
      d = P.qy[i] == 0 ? 0.0 : R.qy[i] / P.qy[i] - 1;
    }
    xs.push_back(x);
    ys.push_back(d * 100);
  }
  Dictionary d = curveOf(std::move(xs), std::move(ys), wave);
  d.set(Value(plot::kName), wave->wavelengthString());
  d.set(Value(plot::kXLabel), isAfocal ? "theta'" : "y'");
  d.set(Value(plot::kXFormat), "%g");
  d.set(Value(plot::kYLabel), "D");
  d.set(Value(plot::kYFormat), "%.4f%%");
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

void DistortionCalculator::generateCurves() {
  const FanPtr fan = tracedFan();
  const auto waves = wavesOfInterest();
  if (!fan || waves.empty() || numberOfRays() == 0) return;
  platform::Array curves;
  for (const WavePtr& wave : waves) {
    if (platform::currentThreadIsCancelled()) return;
    if (auto c = extractCurve(*fan, wave)) curves.push_back(Value(std::move(*c)));
  }
  publishCurves(std::move(curves), "Distortion", afocal() ? "image angle (degrees)" : "image coordinate (mm)",
                "distortion (percent)");
}

// --- field curvature -----------------------------------------------------------------------------

void FieldCurvature::fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const {
  // Tangential fan first, then sagittal, each through the chief ray.
  points = {{0, 0}, {0, kFanOffset}, {0, -kFanOffset}, {0, 0}, {kFanOffset, 0}, {-kFanOffset, 0}};
  direction = {1, 1, 1, 0, 0, 0};
}

std::optional<Dictionary> FieldCurvature::extractCurve(const TracedFan& fan, int direction,
                                                       const WavePtr& wave) const {
  const auto rows = selectRows(fan, direction, nullptr, wave.get());
  if (rows.empty()) return std::nullopt;
  const tracing::RayBundle& b = fan.rays;
  const double wx = direction == 0 ? 1 : 0, wy = direction == 0 ? 0 : 1;
  std::vector<double> xs, ys;
  // Every fan field gets its point; one whose rays are lost is a gap (not a number).
  for (std::size_t f = 0; f < b.fields.size(); ++f) {
    std::vector<tracing::Ray> rays;
    for (std::size_t i : rows)
      if (b.field[i] == f) rays.push_back(b.ray(i));
    xs.push_back(b.fields[f]->y());
    ys.push_back(estimatedDistanceToFocus(rays, wx, wy).value_or(std::numeric_limits<double>::quiet_NaN()));
  }
  Dictionary d = curveOf(std::move(xs), std::move(ys), wave);
  d.set(Value(plot::kName), direction == 0 ? "curvature (S)" : "curvature (T)");
  d.set(Value(plot::kXLabel), "field");
  d.set(Value(plot::kYLabel), "focus");
  if (direction == 0) d.set(Value(plot::kDashed), true);
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

void FieldCurvature::generateCurves() {
  const FanPtr fan = tracedFan();
  const auto waves = wavesOfInterest();
  if (!fan || waves.empty() || numberOfRays() == 0) return;
  platform::Array curves;
  for (const WavePtr& wave : waves)
    for (int direction : {0, 1}) {
      if (platform::currentThreadIsCancelled()) return;
      if (auto c = extractCurve(*fan, direction, wave)) curves.push_back(Value(std::move(*c)));
    }
  publishCurves(std::move(curves), "Field curvature", "Field coordinate", "Focus (mm)");
}

// --- cut-off ray scan ----------------------------------------------------------------------------

CRSCalculator::CRSCalculator() = default;

const platform::KeyTable& CRSCalculator::classKeys() {
  using K = platform::Keys<CRSCalculator>;
  using C = CRSCalculator;
  static const platform::KeyTable table(
      &RaysAtSurfaceCalculator::classKeys(),
      {K::property("maximumPupilCoordinate", &C::maximumPupilCoordinate, &C::setMaximumPupilCoordinate),
       K::property("pupilCoordinateTolerance", &C::pupilCoordinateTolerance, &C::setPupilCoordinateTolerance),
       K::property("direction", &C::direction, &C::setDirection),
       K::property("plotAngle", &C::plotAngle, &C::setPlotAngle),
       K::property("plotInMilliradians", &C::plotInMilliradians, &C::setPlotInMilliradians)});
  return table;
}

void CRSCalculator::setMaximumPupilCoordinate(double p) {
  changeValueForKey("maximumPupilCoordinate", [&] { m_maximumPupilCoordinate = p; });
  setNeedsCalculation(true);
}
void CRSCalculator::setPupilCoordinateTolerance(double t) {
  changeValueForKey("pupilCoordinateTolerance", [&] { m_pupilCoordinateTolerance = t; });
  setNeedsCalculation(true);
}
void CRSCalculator::setDirection(int direction) {
  changeValueForKey("direction", [&] { m_direction = direction; });
  setNeedsCalculation(true);
}
void CRSCalculator::setPlotAngle(bool on) {
  changeValueForKey("plotAngle", [&] { m_plotAngle = on; });
  setNeedsCalculation(true);
}
void CRSCalculator::setPlotInMilliradians(bool on) {
  changeValueForKey("plotInMilliradians", [&] { m_plotInMilliradians = on; });
  setNeedsCalculation(true);
}

XY CRSCalculator::pupilCoordinateFromP(double p) const {
  switch (direction()) {
    case 0: return {0, p};
    case 1: return {0, -p};
    case 2: return {p, 0};
    case 3: return {-p, 0};
    default: return {0, 0};
  }
}

double CRSCalculator::crossingFunction(double fieldY, double p, const WavePtr& wave) const {
  const LensPtr l = lens();
  if (!l) return -1;
  auto field = lens::Field::field();
  field->setY(fieldY);
  const XY pupil = pupilCoordinateFromP(p);
  auto rays = tracing::raysForFields(*l, {field}, std::span(&pupil, 1), {wave});
  if (rays.size() != 1) return -1;
  tracing::Ray& ray = rays.front();
  const SurfacePtr target = surfaceOfInterest();
  tracing::traceRays(*l, std::span(&ray, 1), target.get(), tracing::TraceOptions::paraxial(paraxial()));
  if (!ray.isAlive()) return -1;
  // The trace never tests the target's own aperture: that is the one scanned here.
  if (target)
    if (const auto& aperture = target->apertureObject())
      if (!aperture->passesPoint(target->transform().transformFromGlobal(ray.position()))) return -1;
  return 1;
}

double CRSCalculator::plottedValue(double fieldY, double p, const WavePtr& wave) const {
  const XY pupil = pupilCoordinateFromP(p);
  const bool alongY = direction() == 0 || direction() == 1;
  if (!plotAngle()) return alongY ? pupil.y : pupil.x;
  if (!std::isfinite(p)) return p;
  const LensPtr l = lens();
  if (!l) return 0;
  auto field = lens::Field::field();
  field->setY(fieldY);
  auto rays = tracing::raysForFields(*l, {field}, std::span(&pupil, 1), {wave});
  if (rays.size() != 1) return 0;
  return alongY ? rays.front().py() : rays.front().px();
}

double CRSCalculator::cutoffForFieldValue(double fieldY, const WavePtr& wave) const {
  double lo = 0, hi = maximumPupilCoordinate();
  const double flo = crossingFunction(fieldY, lo, wave), fhi = crossingFunction(fieldY, hi, wave);
  if (flo == fhi) {
    // No change of sign: nothing is cut off up to the end, or the axial ray already is.
    const double p = fhi > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return plottedValue(fieldY, p, wave);
  }
  const double tolerance = std::max(pupilCoordinateTolerance(), 1e-15);
  while (hi - lo > tolerance) {
    if (platform::currentThreadIsCancelled()) break;
    const double mid = (lo + hi) / 2;
    (crossingFunction(fieldY, mid, wave) == flo ? lo : hi) = mid;
  }
  return plottedValue(fieldY, (lo + hi) / 2, wave);
}

std::string CRSCalculator::title() const {
  switch (direction()) {
    case 0: return "Cutoff, +y scan";
    case 1: return "Cutoff, -y scan";
    case 2: return "Cutoff, +x scan";
    case 3: return "Cutoff, -x scan";
    default: return "";
  }
}

void CRSCalculator::generateCurves() {
  const LensPtr l = lens();
  const auto waves = wavesOfInterest();
  const std::uint64_t n = std::min<std::uint64_t>(numberOfRays(), 10000);
  if (!l || waves.empty() || n == 0) return;
  platform::Array curves;
  bool nothingCut = true;
  {
    platform::Synchronized lensLock(l.get());
    const double F = tracing::maxField(*l);
    const double factor = plotAngle() && plotInMilliradians() ? 1000 : 1;
    auto layerField = lens::Field::field();
    for (const WavePtr& wave : waves) {
      std::vector<double> xs, ys;
      for (std::uint64_t i = 0; i < n; ++i) {
        if (platform::currentThreadIsCancelled()) return;
        const double x = n == 1 ? 0.0 : -F + double(i) * 2 * F / double(n - 1);
        xs.push_back(x);
        ys.push_back(cutoffForFieldValue(x, wave) * factor);
        nothingCut = nothingCut && std::isinf(ys.back()) && ys.back() > 0;
      }
      Dictionary d{{plot::kName, wave->wavelengthShortString()},
                   {plot::kXSeries, SeriesValue::make(VKSeries::seriesWithArray(xs))},
                   {plot::kYSeries, SeriesValue::make(VKSeries::seriesWithArray(ys))},
                   {plot::kField, Value(layerField)},
                   {plot::kWave, Value(wave)},
                   {plot::kLayer, Value(layerField->description())},
                   {plot::kXLabel, "x"},
                   {plot::kYLabel, "y"},
                   {plot::kUpdateColor, true}};
      d.set(Value(plot::kColor), Value(colorForDictionary(d)));
      curves.push_back(Value(std::move(d)));
    }
  }
  // An empty plot must not look like a failure.
  if (nothingCut)
    noteStatus(platform::format("No ray is cut off up to pupil coordinate %g at any field height",
                                maximumPupilCoordinate()));
  const bool alongY = direction() == 0 || direction() == 1;
  std::string yLabel = plotAngle() ? (alongY ? "py" : "px") : (alongY ? "Py" : "Px");
  if (plotAngle() && plotInMilliradians()) yLabel += " (mrad)";
  // Field heights are angles for an angle field.
  const std::string xLabel = l->fieldType() == "Angle" ? "field y (deg)" : "field y (mm)";
  if (platform::currentThreadIsCancelled()) return;
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), title());
  d.set(Value(plot::kXLabel), xLabel);
  d.set(Value(plot::kYLabel), yLabel);
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

void CRSCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysAtSurfaceCalculator::addRestorationDataToDictionary(d);
  for (const char* key :
       {"maximumPupilCoordinate", "pupilCoordinateTolerance", "direction", "plotAngle", "plotInMilliradians"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
