#include "analysis/RayFanCalculator.h"

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

RayFanCalculator::RayFanCalculator() = default;

const platform::KeyTable& RayFanCalculator::classKeys() {
  using K = platform::Keys<RayFanCalculator>;
  using R = RayFanCalculator;
  static const platform::KeyTable table(&RaysAtSurfaceCalculator::classKeys(),
                                        {K::property("plotSagittal", &R::plotSagittal, &R::setPlotSagittal),
                                         K::property("plotTangential", &R::plotTangential, &R::setPlotTangential)});
  return table;
}

void RayFanCalculator::setPlotSagittal(bool on) {
  changeValueForKey("plotSagittal", [&] { m_plotSagittal = on; });
  setNeedsGenerateCurves(true);
}

void RayFanCalculator::setPlotTangential(bool on) {
  changeValueForKey("plotTangential", [&] { m_plotTangential = on; });
  setNeedsGenerateCurves(true);
}

std::optional<Dictionary> RayFanCalculator::extractCurve(const TracedFan& fan, int direction, const FieldPtr& field,
                                                         const WavePtr& wave, std::size_t fieldCount) {
  const auto rows = selectRows(fan, direction, field.get(), wave.get());
  if (rows.empty()) return std::nullopt;
  const tracing::RayBundle& b = fan.rays;
  VKSeries xs(rows.size()), ys(rows.size());
  const bool isAfocal = afocal();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const std::size_t i = rows[k];
    const foundation::XY p = fan.pupil(i);
    xs.atPut(k, direction == 0 ? p.x : p.y);
    ys.atPut(k, isAfocal ? (direction == 0 ? b.px[i] : b.py[i]) / b.pz[i] : (direction == 0 ? b.qx[i] : b.qy[i]));
  }
  if (!isAfocal && divideByFocalLength()) {
    const LensPtr l = lens();
    const double f = l ? tracing::focalLength(*l) : 0;
    if (f != 0 && std::isfinite(f))
      ys.scaleBy(1 / f);
    else
      noteStatus("No finite focal length: values are not divided by it");
  }
  ys.scaleBy(scaleForUnits(units()));
  const std::string prefix = direction == 0 ? "S" : "T";
  Dictionary d{{plot::kXSeries, SeriesValue::make(std::move(xs))},
               {plot::kYSeries, SeriesValue::make(std::move(ys))},
               {plot::kField, Value(field)},
               {plot::kWave, Value(wave)},
               {plot::kLayer, fieldCount >= 2 ? Value(field->description()) : Value(wave->description())},
               {plot::kXLabel, direction == 0 ? "Px" : "Py"},
               {plot::kYLabel, direction == 0 ? "x'" : "y'"},
               {plot::kName, prefix + " (" + field->shortDescription() + ", " + wave->wavelengthShortString() + ")"},
               {plot::kUpdateColor, true}};
  if (direction == 0) d.set(Value(plot::kDashed), true);
  d.set(Value(plot::kColor), Value(colorForDictionary(d)));
  return d;
}

namespace {
void shiftCurve(Value& curve, double by) {
  Dictionary d = curve.asDictionary();
  VKSeries ys = *SeriesValue::from(d.get(plot::kYSeries));
  ys.addDouble(by);
  d.set(Value(plot::kYSeries), SeriesValue::make(std::move(ys)));
  curve = Value(std::move(d));
}
}  // namespace

void RayFanCalculator::generateCurves() {
  const FanPtr fan = tracedFan();
  const auto fields = fieldsOfInterest();
  const auto waves = wavesOfInterest();
  if (!fan || fields.empty() || waves.empty() || numberOfRays() == 0) return;
  const bool sagittal = plotSagittal(), tangential = plotTangential();
  platform::Array curves;
  for (const FieldPtr& field : fields) {
    if (platform::currentThreadIsCancelled()) return;
    double S = 0, T = 0, W = 0;
    platform::Array sCurves, tCurves;
    for (const WavePtr& wave : waves) {
      double w = wave->weight();
      if (w == 0 && waves.size() == 1) w = 1;
      if (sagittal)
        if (auto c = extractCurve(*fan, 0, field, wave, fields.size())) {
          S += SeriesValue::from(c->get(plot::kYSeries))->mean() * w;
          sCurves.push_back(Value(*c));
          curves.push_back(Value(std::move(*c)));
        }
      if (tangential)
        if (auto c = extractCurve(*fan, 1, field, wave, fields.size())) {
          T += SeriesValue::from(c->get(plot::kYSeries))->mean() * w;
          tCurves.push_back(Value(*c));
          curves.push_back(Value(std::move(*c)));
        }
      W += w;
    }
    if (subtractCentroid() && !(sCurves.empty() && tCurves.empty())) {
      if (W == 0) {
        noteStatus("Centroid not subtracted for field " + field->shortDescription() +
                   ": its waves' weights sum to zero");
      } else {
        // The field's curves are the last ones appended; shift them in place.
        const std::size_t count = sCurves.size() + tCurves.size();
        for (std::size_t k = curves.size() - count; k < curves.size(); ++k) {
          const bool isSagittal = curves[k].asDictionary().find(Value(plot::kDashed)) != nullptr;
          shiftCurve(curves[k], isSagittal ? -S / W : -T / W);
        }
      }
    }
  }
  setValueOnEveryCurve(curves, plot::kXFormat, Value("%g"));
  if (platform::currentThreadIsCancelled()) return;
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), "Transverse ray fan");
  d.set(Value(plot::kXLabel), "pupil coordinate");
  d.set(Value(plot::kYLabel), std::string(afocal() ? "direction (" : "intercept (") + units() + ")");
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

}  // namespace orb::analysis
