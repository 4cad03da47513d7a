#include "wavefront_illumination/GOTFCalculator.h"

#include <algorithm>
#include <cmath>

#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::VKSeries;
using platform::Array;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

GOTFCalculator::GOTFCalculator() {
  setNumberOfRays(127);
  setNumberOfSpatialFrequencies(101);
  setMaximumSpatialFrequency(20.0);
  setUnits("mm");
  setPlotTight(true);
  setShowLegend(true);
}

const platform::KeyTable& GOTFCalculator::classKeys() {
  using K = platform::Keys<GOTFCalculator>;
  using G = GOTFCalculator;
  static const platform::KeyTable table(
      &OTFCalculator::classKeys(),
      {
          K::property("numberOfSpatialFrequencies", &G::numberOfSpatialFrequencies, &G::setNumberOfSpatialFrequencies),
          K::property("useHybridForm", &G::useHybridForm, &G::setUseHybridForm),
          K::property("usePerfectImaging", &G::usePerfectImaging, &G::setUsePerfectImaging),
      });
  return table;
}

void GOTFCalculator::setNumberOfSpatialFrequencies(int n) {
  setForCalculation("numberOfSpatialFrequencies", m_numberOfSpatialFrequencies, std::max(n, 0));
}
void GOTFCalculator::setUseHybridForm(bool on) {
  setForCurves("useHybridForm", m_useHybridForm, on);
}
void GOTFCalculator::setUsePerfectImaging(bool on) {
  setForCurves("usePerfectImaging", m_usePerfectImaging, on);
}

tracing::pupil::Points GOTFCalculator::pupilCoordinatesForRealRays() const {
  const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(numberOfRays(), 1u << 24));
  return tracing::pupil::hexapolarArrayOfPointsInUnitCircle(n);
}

// --- the transform ------------------------------------------------------------------------------------

std::complex<double> GOTFCalculator::weightedPhasor(std::span<const double> u, std::span<const double> w, double k) {
  double re = 0, im = 0;
  for (std::size_t j = 0; j < u.size(); ++j) {
    const double phase = k * u[j];
    re += w[j] * std::cos(phase);
    im += w[j] * std::sin(phase);
  }
  return {re, im};
}

std::vector<std::size_t> GOTFCalculator::selectRows(const tracing::RayBundle& b, const lens::Field* field,
                                                    const lens::Wave* wave) {
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (!b.alive[i]) continue;
    if (b.field[i] >= b.fields.size() || b.fields[b.field[i]].get() != field) continue;
    if (wave && (b.wave[i] >= b.waves.size() || b.waves[b.wave[i]].get() != wave)) continue;
    rows.push_back(i);
  }
  return rows;
}

std::optional<std::vector<double>> GOTFCalculator::normalisedWeights(const tracing::RayBundle& b,
                                                                     std::span<const std::size_t> rows) {
  std::vector<double> w;
  w.reserve(rows.size());
  double sum = 0;
  for (std::size_t i : rows) {
    const double weight = b.wave[i] < b.waves.size() && b.waves[b.wave[i]] ? b.waves[b.wave[i]]->weight() : 1.0;
    w.push_back(weight);
    sum += weight;
  }
  // Weights of zero are allowed on waves; a set of nothing but them has no mean.
  if (!(sum > 0) || !std::isfinite(sum)) return std::nullopt;
  for (double& x : w) x /= sum;
  return w;
}

std::string GOTFCalculator::curveName(const lens::Field& field, int direction, const char* part) {
  return field.shortDescription() + (direction ? " (T" : " (S") + part + ")";
}

std::optional<Array> GOTFCalculator::extractCurvesForDirection(int d, const FieldPtr& field, const WavePtr& wave,
                                                               const tracing::RayBundle& b,
                                                               std::string* problem) const {
  if (!field) return std::nullopt;
  const auto rows = selectRows(b, field.get(), wave.get());
  if (rows.empty()) return std::nullopt;
  const auto weights = normalisedWeights(b, rows);
  if (!weights) {
    if (problem) *problem = "Field " + field->shortDescription() + ": the weights of its wavelengths sum to zero";
    return std::nullopt;
  }

  const auto n = static_cast<std::size_t>(numberOfSpatialFrequencies());
  const VKSeries nu = VKSeries::seriesWithCount(n, minimumSpatialFrequency(), maximumSpatialFrequency());
  VKSeries re(n), im(n), modulus(n);
  const double s = scaleForUnits(units());
  const bool isAfocal = afocal();
  const analysis::LensPtr l = lens();
  const double F = !isAfocal && divideByFocalLength() && l ? tracing::focalLength(*l) : 1.0;

  // Intercepts (or, afocal, direction tangents) about their unweighted centroid.
  std::vector<double> u;
  u.reserve(rows.size());
  for (std::size_t i : rows) {
    const double value = isAfocal ? (d ? b.py[i] : b.px[i]) / b.pz[i] : (d ? b.qy[i] : b.qx[i]);
    u.push_back(value);
  }
  double centroid = 0;
  for (double x : u) centroid += x;
  centroid /= static_cast<double>(u.size());
  const bool perfect = usePerfectImaging();
  for (double& x : u) x = perfect ? 0.0 : (x - centroid) / F;

  for (std::size_t k = 0; k < n; ++k) {
    const std::complex<double> h = weightedPhasor(u, *weights, nu.at(k) * 6.283185307179586 * s);
    re.atPut(k, h.real());
    im.atPut(k, h.imag());
  }
  if (useHybridForm()) {
    const double D = diffractionScale();
    if (isUsableScale(D)) {
      for (std::size_t k = 0; k < n; ++k) {
        const double mtf = diffractionLimitedMTF(nu.at(k) * s * D);
        re.atPut(k, re.at(k) * mtf);
        im.atPut(k, im.at(k) * mtf);
      }
    } else if (problem) {
      *problem = "No diffraction limit for the hybrid form: the lens has no image-space F-number";
    }
  }
  for (std::size_t k = 0; k < n; ++k) modulus.atPut(k, std::hypot(re.at(k), im.at(k)));

  // Every part of a field in the field's band, so multiplot keeps them together.
  const Value layer(field->shortDescription());
  auto curve = [&](VKSeries y, const char* part) {
    Dictionary c{{plot::kXSeries, SeriesValue::make(nu)},
                 {plot::kYSeries, SeriesValue::make(std::move(y))},
                 {plot::kField, Value(field)},
                 {plot::kLayer, layer},
                 {plot::kName, curveName(*field, d, part)},
                 {plot::kUpdateColor, true}};
    if (wave) c.set(Value(plot::kWave), Value(wave));
    if (!d) c.set(Value(plot::kDashed), true);
    return c;
  };
  Array out;
  Dictionary m = curve(std::move(modulus), "");
  m.set(Value(plot::kLineWidth), 2.0);
  m.set(Value(plot::kColor), Value(colorForDictionary(m)));
  out.push_back(Value(std::move(m)));
  if (plotComplex()) {
    for (auto& [series, part] : {std::pair{&re, "r"}, std::pair{&im, "i"}}) {
      Dictionary c = curve(std::move(*series), part);
      c.set(Value(plot::kColor), Value(colorForDictionary(c)));
      out.push_back(Value(std::move(c)));
    }
  }
  return out;
}

bool GOTFCalculator::appendFieldCurves(std::initializer_list<int> directions, const WavePtr& wave, Array& curves,
                                       std::vector<std::string>& problems) const {
  const BundlePtr traced = tracedBundle();
  if (!traced) return !platform::currentThreadIsCancelled();
  for (const FieldPtr& field : fieldsOfInterest())
    for (int d : directions) {
      if (platform::currentThreadIsCancelled()) return false;
      std::string problem;
      if (auto c = extractCurvesForDirection(d, field, wave, traced->rays, &problem))
        for (Value& v : *c) curves.push_back(std::move(v));
      if (!problem.empty()) problems.push_back(std::move(problem));
    }
  return !platform::currentThreadIsCancelled();
}

void GOTFCalculator::generateCurves() {
  applyPhysicalRangeForCurves();
  const auto fields = fieldsOfInterest();
  if (fields.empty() || numberOfRays() == 0) return;
  const WavePtr wave = waveOfInterest();
  Array curves;
  std::vector<std::string> problems;
  if (!appendFieldCurves({1, 0}, wave, curves, problems)) return;
  if (plotDiffractionLimit()) {
    if (auto c = curveForDiffractionLimitedMTF())
      curves.push_back(Value(std::move(*c)));
    else
      problems.push_back("No diffraction limit: the lens has no image-space F-number");
  }
  analysis::setValueOnEveryCurve(curves, plot::kXLabel, "f");
  analysis::setValueOnEveryCurve(curves, plot::kYLabel, "contrast");
  analysis::setValueOnEveryCurve(curves, plot::kXFormat, "%g");
  analysis::setValueOnEveryCurve(curves, plot::kYFormat, "%f");
  if (platform::currentThreadIsCancelled()) return;

  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  const std::string waveText = wave ? wave->wavelengthShortString() : "polychromatic";
  d.set(Value(plot::kTitle), (useHybridForm() ? "Hybrid OTF (" : "Geometrical OTF (") + waveText + ")");
  d.set(Value(plot::kXLabel), "frequency (" + spatialFrequencyUnits() + ")");
  d.set(Value(plot::kYLabel), "contrast");
  d.set(Value(plot::kYTight), false);
  d.set(Value(plot::kYMax), 1.0);
  if (!plotComplex()) d.set(Value(plot::kYMin), 0.0);
  publishPlotDictionary(std::move(d));
  noteProblems(problems);
  setNeedsGenerateCurves(false);
}

double GOTFCalculator::value() const {
  const auto& d = plotDictionary();
  if (!d) return 0;
  const Value curves = d->get(plot::kCurves);
  if (!curves.isArray()) return 0;
  for (const Value& c : curves.asArray()) {
    if (!c.isDictionary()) continue;
    const Value y = c.asDictionary().get("y");
    if (!y.isString() || y.asString() != "y") continue;
    const auto* series = SeriesValue::from(c.asDictionary().get(plot::kYSeries));
    return series && series->count() ? series->at(0) : 0.0;
  }
  return 0;
}

void GOTFCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  OTFCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"numberOfSpatialFrequencies", "useHybridForm", "usePerfectImaging"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::wavefront
