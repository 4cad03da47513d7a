#include "analysis/OPDCalculator.h"

#include <cmath>
#include <limits>

#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"

namespace orb::analysis {

using foundation::VKSeries;
using foundation::XYZ;
using platform::Dictionary;
using platform::Value;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
XYZ minus(const XYZ& a, const XYZ& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// The reference entry is subtracted from every entry once all are known.
void applyReference(OPDCalculator::Series& s, std::size_t referenceIndex) {
  if (referenceIndex >= s.opd.count()) return;
  const double reference = s.opd.at(referenceIndex);
  if (!std::isfinite(reference)) return;
  s.opd.addDouble(-reference);
  s.referenced = true;
}
}  // namespace

OPDCalculator::Series OPDCalculator::opdSeries(std::span<const RayState> rays, const XYZ& E, std::size_t referenceIndex,
                                               const XYZ& S) {
  Series s;
  s.opd = VKSeries(rays.size());
  const XYZ axis = minus(E, S);
  const double R2 = dot(axis, axis);
  double k = 0, n2 = 0;
  bool first = true;
  for (std::size_t i = 0; i < rays.size(); ++i) {
    const RayState& r = rays[i];
    if (!r.alive) continue;  // keeps its slot
    const XYZ D = minus(r.position, S);
    const double m2 = dot(r.momentum, r.momentum);
    if (first) {
      k = std::sqrt(R2 / m2);
      n2 = m2;
      first = false;
    }
    const double b = dot(r.momentum, D) / m2;
    const double g = (dot(D, D) - R2) / (2 * m2);
    const double disc = b * b - 2 * g;
    if (!(disc >= 0) || !std::isfinite(disc) || m2 == 0) {
      s.opd.atPut(i, kNaN);
      ++s.invalid;
      continue;
    }
    // Of the two crossings take the one on the exit pupil's side of the centre: the
    // wavefront is compared where it leaves the pupil, whichever way the rays travel.
    const double far = -b + std::sqrt(disc), near = -b - std::sqrt(disc);
    auto side = [&](double step) {
      const XYZ on{D.x + step * r.momentum.x, D.y + step * r.momentum.y, D.z + step * r.momentum.z};
      return dot(on, axis);
    };
    const bool useFar = side(far) >= side(near);
    const double t = useFar ? far - k : near + k;
    s.opd.atPut(i, -(r.opticalPathLength + t * n2));
  }
  applyReference(s, referenceIndex);
  return s;
}

OPDCalculator::Series OPDCalculator::afocalOpdSeries(std::span<const RayState> rays, const XYZ& E,
                                                     std::size_t referenceIndex, const XYZ& Q) {
  Series s;
  s.opd = VKSeries(rays.size());
  double n2 = 0;
  bool first = true;
  for (std::size_t i = 0; i < rays.size(); ++i) {
    const RayState& r = rays[i];
    if (!r.alive) continue;
    if (first) {
      n2 = dot(r.momentum, r.momentum);
      first = false;
    }
    const double along = dot(r.momentum, Q);
    const double t = dot(minus(E, r.position), Q) / along;
    if (along == 0 || !std::isfinite(t)) {
      s.opd.atPut(i, kNaN);
      ++s.invalid;
      continue;
    }
    s.opd.atPut(i, -(r.opticalPathLength + t * n2));
  }
  applyReference(s, referenceIndex);
  return s;
}

XYZ OPDCalculator::positionCentroid(std::span<const RayState> rays) {
  XYZ c{0, 0, 0};
  std::size_t n = 0;
  for (const RayState& r : rays)
    if (r.alive) c = {c.x + r.position.x, c.y + r.position.y, c.z + r.position.z}, ++n;
  return n ? XYZ{c.x / n, c.y / n, c.z / n} : XYZ{0, 0, 0};
}

XYZ OPDCalculator::momentumCentroid(std::span<const RayState> rays) {
  XYZ c{0, 0, 0};
  std::size_t n = 0;
  for (const RayState& r : rays)
    if (r.alive) c = {c.x + r.momentum.x, c.y + r.momentum.y, c.z + r.momentum.z}, ++n;
  return n ? XYZ{c.x / n, c.y / n, c.z / n} : XYZ{0, 0, 0};
}

std::vector<OPDCalculator::RayState> OPDCalculator::statesOfRows(const tracing::RayBundle& b,
                                                                 std::span<const std::size_t> rows) {
  std::vector<RayState> out;
  out.reserve(rows.size());
  for (std::size_t i : rows)
    out.push_back({{b.qx[i], b.qy[i], b.qz[i]}, {b.px[i], b.py[i], b.pz[i]}, b.opticalPathLength[i], b.alive[i] != 0});
  return out;
}

std::vector<OPDCalculator::RayState> OPDCalculator::statesOfRays(std::span<const tracing::Ray> rays) {
  std::vector<RayState> out;
  out.reserve(rays.size());
  for (const tracing::Ray& r : rays) out.push_back({r.position(), r.momentum(), r.opticalPathLength(), r.isAlive()});
  return out;
}

OPDCalculator::OPDCalculator() = default;

const platform::KeyTable& OPDCalculator::classKeys() {
  using O = OPDCalculator;
  platform::KeyEntry unitsKey{"units", [](const platform::Object& o) { return Value(static_cast<const O&>(o).units()); },
                              [](platform::Object& o, const Value& v) {
                                static_cast<O&>(o).setUnits(v.isString() ? v.asString() : std::string());
                              }};
  platform::KeyEntry possibleUnitsKey{"possibleUnits", [](const platform::Object&) {
                                        platform::Array a;
                                        for (const auto& u : opdUnits()) a.push_back(u);
                                        return Value(std::move(a));
                                      }};
  static const platform::KeyTable table(&RaysAtSurfaceCalculator::classKeys(),
                                        {std::move(unitsKey), std::move(possibleUnitsKey)});
  return table;
}

const std::vector<std::string>& OPDCalculator::opdUnits() {
  static const std::vector<std::string> u = [] {
    std::vector<std::string> v{"waves"};
    for (const auto& l : lengthUnits()) v.push_back(l);
    return v;
  }();
  return u;
}

double OPDCalculator::opdScaleForUnits(const std::string& unit) {
  const auto& lengths = lengthUnits();
  for (std::size_t i = 0; i < lengths.size(); ++i)
    if (lengths[i] == unit) return lengthScaleFactors()[i];
  return 0;
}

std::string OPDCalculator::units() const {
  std::lock_guard lock(m_opdUnitsMutex);
  return m_opdUnits;
}

void OPDCalculator::setUnits(const std::string& unit) {
  const auto& all = opdUnits();
  const std::string chosen = std::find(all.begin(), all.end(), unit) != all.end() ? unit : "waves";
  changeValueForKey("units", [&] {
    std::lock_guard lock(m_opdUnitsMutex);
    m_opdUnits = chosen;
  });
  unitsChanged();
}

XYZ OPDCalculator::exitPupilCenterInRayFrame() const {
  const LensPtr l = lens();
  if (!l) return {0, 0, 0};
  const XYZ E = tracing::exitPupilCenter(*l);
  if (!useLocalCoordinates()) return E;
  const SurfacePtr target = surfaceOfInterest();
  return target ? target->transform().transformFromGlobal(E) : XYZ{0, 0, 0};
}

std::optional<Dictionary> OPDCalculator::extractCurve(const TracedFan& fan, int direction, const FieldPtr& field,
                                                      const WavePtr& wave, const XYZ& E, std::size_t fieldCount,
                                                      std::size_t& invalid) const {
  const auto rows = selectRows(fan, direction, field.get(), wave.get());
  if (rows.empty()) return std::nullopt;
  const auto states = statesOfRows(fan.rays, rows);
  const std::size_t reference = rows.size() / 2;
  Series s = afocal() ? afocalOpdSeries(states, E, reference, momentumCentroid(states))
                      : opdSeries(states, E, reference, positionCentroid(states));
  invalid += s.invalid;
  if (!s.referenced) {
    // Without its reference every value would carry the raw optical path: no curve.
    ++invalid;
    return std::nullopt;
  }
  double scale = opdScaleForUnits(units());
  if (scale == 0) scale = 1 / wave->wavelengthInMillimeters();
  std::vector<double> xs, ys;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const double v = s.opd.at(k);
    if (!std::isfinite(v)) continue;  // no OPD for a ray that misses the reference
    const foundation::XY p = fan.pupil(rows[k]);
    xs.push_back(direction == 0 ? p.x : p.y);
    ys.push_back(v * scale);
  }
  if (xs.empty()) return std::nullopt;
  Dictionary d{{plot::kXSeries, SeriesValue::make(VKSeries::seriesWithArray(xs))},
               {plot::kYSeries, SeriesValue::make(VKSeries::seriesWithArray(ys))},
               {plot::kField, Value(field)},
               {plot::kWave, Value(wave)},
               {plot::kYLabel, "OPD"},
               {plot::kLayer, fieldCount >= 2 ? Value(field->description()) : Value(wave->description())},
               {plot::kUpdateColor, true}};
  if (direction == 1) {
    d.set(Value(plot::kName), "t (" + field->shortDescription() + ")");
    d.set(Value(plot::kXLabel), "PY");
  } else {
    d.set(Value(plot::kName), "s (" + field->shortDescription() + ")");
    d.set(Value(plot::kXLabel), "PX");
    d.set(Value(plot::kDashed), true);
  }
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

void OPDCalculator::generateCurves() {
  const FanPtr fan = tracedFan();
  const auto fields = fieldsOfInterest();
  const auto waves = wavesOfInterest();
  if (!fan || fields.empty() || waves.empty() || numberOfRays() == 0) return;
  const XYZ E = exitPupilCenterInRayFrame();
  platform::Array curves;
  std::size_t invalid = 0;
  for (const FieldPtr& field : fields)
    for (const WavePtr& wave : waves) {
      if (platform::currentThreadIsCancelled()) return;
      for (int direction : {0, 1})
        if (auto c = extractCurve(*fan, direction, field, wave, E, fields.size(), invalid))
          curves.push_back(Value(std::move(*c)));
    }
  if (invalid) noteStatus(platform::format("%zu rays have no OPD: they miss the reference sphere", invalid));
  if (platform::currentThreadIsCancelled()) return;
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), "OPD plot");
  d.set(Value(plot::kXLabel), "pupil coordinate");
  d.set(Value(plot::kYLabel), "OPD (" + units() + ")");
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

}  // namespace orb::analysis
