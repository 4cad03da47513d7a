#include "wavefront_illumination/FGOTFCalculator.h"

#include <algorithm>
#include <cmath>

#include "analysis/PlotDictionary.h"
#include "foundation/quadrature/SpecialFunctions.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/ParaxialMeasurement.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::VKSeries;
using platform::Array;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

namespace {
constexpr double kTwoPi = 6.283185307179586;

bool isLengthUnit(const std::string& unit) {
  const auto& lengths = analysis::RaysAtSurfaceCalculator::lengthUnits();
  return std::find(lengths.begin(), lengths.end(), unit) != lengths.end();
}
}  // namespace

FGOTFCalculator::FGOTFCalculator() {
  setNumberOfRays(127);
  setNumberOfDefocusValues(21);
  setDefocusUnits("micron");
  setMaximumDefocus(500.0);
  setSpatialFrequency(10.0);
  setShowLegend(true);
}

const platform::KeyTable& FGOTFCalculator::classKeys() {
  using K = platform::Keys<FGOTFCalculator>;
  using F = FGOTFCalculator;
  static const platform::KeyTable table(
      &GOTFCalculator::classKeys(),
      {
          K::property("numberOfDefocusValues", &F::numberOfDefocusValues, &F::setNumberOfDefocusValues),
          K::property("maximumDefocus", &F::maximumDefocus, &F::setMaximumDefocus),
          K::property("defocusUnits", &F::defocusUnits, &F::setDefocusUnits),
          K::property("spatialFrequency", &F::spatialFrequency, &F::setSpatialFrequency),
          K::property("plotCalibrationCurve", &F::plotCalibrationCurve, &F::setPlotCalibrationCurve),
          K::property("plotUnity", &F::plotUnity, &F::setPlotUnity),
      });
  return table;
}

void FGOTFCalculator::setNumberOfDefocusValues(int n) {
  setForCalculation("numberOfDefocusValues", m_numberOfDefocusValues, std::max(n, 0));
}
void FGOTFCalculator::setMaximumDefocus(double defocus) {
  setForCalculation("maximumDefocus", m_maximumDefocus, defocus);
}
std::string FGOTFCalculator::defocusUnits() const {
  std::lock_guard lock(m_defocusUnitsMutex);
  return m_defocusUnits;
}
void FGOTFCalculator::setDefocusUnits(const std::string& unit) {
  if (!isLengthUnit(unit))
    platform::Exception::raise("ValueError", "defocus units: \"%s\" is not a length unit", unit.c_str());
  const double millimetres = maximumDefocus() / scaleForUnits(defocusUnits());
  changeValueForKey("defocusUnits", [&] {
    std::lock_guard lock(m_defocusUnitsMutex);
    m_defocusUnits = unit;
  });
  if (!isRestoring()) setMaximumDefocus(millimetres * scaleForUnits(unit));
}
void FGOTFCalculator::setSpatialFrequency(double frequency) {
  setForCalculation("spatialFrequency", m_spatialFrequency, frequency);
}
void FGOTFCalculator::setPlotCalibrationCurve(bool on) {
  setForCurves("plotCalibrationCurve", m_plotCalibrationCurve, on);
}
void FGOTFCalculator::setPlotUnity(bool on) {
  setForCurves("plotUnity", m_plotUnity, on);
}

void FGOTFCalculator::setUnits(const std::string& unit) {
  const double before = scaleForUnits(units());
  const double physical = spatialFrequency() * before;
  GOTFCalculator::setUnits(unit);
  const double after = scaleForUnits(units());
  if (!isRestoring() && before > 0 && after > 0) setSpatialFrequency(physical / after);
}

void FGOTFCalculator::setDivideByFocalLength(bool on) {
  if (on == divideByFocalLength()) return;
  const double before = scaleForUnits(units());
  double physical = spatialFrequency() * before;
  const analysis::LensPtr l = lens();
  const double f = l ? std::abs(tracing::focalLength(*l)) : 0.0;
  // As for the range: without a focal length the number stays as it is.
  const bool convert = !isRestoring() && before > 0 && std::isfinite(f) && f > 0;
  if (convert) physical = divideByFocalLength() ? physical / f : physical * f;
  GOTFCalculator::setDivideByFocalLength(on);
  const double after = scaleForUnits(units());
  if (convert && after > 0) setSpatialFrequency(physical / after);
}

double FGOTFCalculator::spatialFrequencyInCyclesPerMillimeter() const {
  double f = spatialFrequency() * scaleForUnits(units());
  const analysis::LensPtr l = lens();
  if (!afocal() && divideByFocalLength() && l) f /= std::abs(tracing::focalLength(*l));
  return f;
}

double FGOTFCalculator::diffractionScaleInMillimeters() const {
  const analysis::LensPtr l = lens();
  if (!l) return 0;
  platform::Synchronized lensLock(l.get());
  return tracing::diffractionLength(*l);
}

VKSeries FGOTFCalculator::defocusSeries() const {
  const double m = maximumDefocus();
  return VKSeries::seriesWithCount(static_cast<std::size_t>(numberOfDefocusValues()), -m, m);
}

std::optional<Array> FGOTFCalculator::extractCurvesForDirection(int d, const FieldPtr& field, const WavePtr& wave,
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
  const VKSeries z = defocusSeries();
  const std::size_t n = z.count();
  VKSeries re(n), im(n), modulus(n);
  const double k = kTwoPi * spatialFrequencyInCyclesPerMillimeter();
  const double toMillimetres = 1 / scaleForUnits(defocusUnits());
  std::vector<double> u(rows.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (platform::currentThreadIsCancelled()) return std::nullopt;
    // Each ray carried dz along its direction to the plane displaced by dz, as
    // Ray::virtualPropagate does, then taken about the unweighted centroid.
    const double dz = z.at(i) * toMillimetres;
    double centroid = 0;
    for (std::size_t j = 0; j < rows.size(); ++j) {
      const std::size_t r = rows[j];
      u[j] = d ? b.qy[r] + dz * b.py[r] / b.pz[r] : b.qx[r] + dz * b.px[r] / b.pz[r];
      centroid += u[j];
    }
    centroid /= static_cast<double>(rows.size());
    for (double& x : u) x -= centroid;
    const std::complex<double> h = weightedPhasor(u, *weights, k);
    re.atPut(i, h.real());
    im.atPut(i, h.imag());
  }
  if (useHybridForm()) {
    const double D = diffractionScaleInMillimeters();
    if (isUsableScale(D)) {
      const double mtf = diffractionLimitedMTF(spatialFrequencyInCyclesPerMillimeter() * D);
      re.scaleBy(mtf);
      im.scaleBy(mtf);
    } else if (problem) {
      *problem = "No diffraction limit for the hybrid form: the lens has no image-space F-number";
    }
  }
  for (std::size_t i = 0; i < n; ++i) modulus.atPut(i, std::hypot(re.at(i), im.at(i)));

  const char* tag = d ? "T" : "S";
  const Value layer(field->description());
  Dictionary m{{plot::kXSeries, SeriesValue::make(z)},
               {plot::kYSeries, SeriesValue::make(std::move(modulus))},
               {plot::kLineWidth, 2.0},
               {plot::kField, Value(field)},
               {plot::kLayer, layer},
               {plot::kName, wave ? platform::format(" %s %s (%s)", field->shortDescription().c_str(),
                                                     wave->wavelengthShortString().c_str(), tag)
                                  : platform::format(" %s poly (%s)", field->shortDescription().c_str(), tag)},
               {plot::kUpdateColor, true}};
  if (wave) m.set(Value(plot::kWave), Value(wave));
  if (!d) m.set(Value(plot::kDashed), true);
  m.set(Value(plot::kColor), Value(colorForDictionary(m)));
  Array out{Value(std::move(m))};
  if (plotComplex()) {
    const char* direction = d ? "tangential" : "sagittal";
    Dictionary r{{plot::kXSeries, SeriesValue::make(z)},
                 {plot::kYSeries, SeriesValue::make(std::move(re))},
                 {plot::kField, Value(field)},
                 {plot::kLayer, layer},
                 {plot::kName, platform::format("Re (%s)", direction)}};
    Dictionary i{{plot::kXSeries, SeriesValue::make(z)},
                 {plot::kYSeries, SeriesValue::make(std::move(im))},
                 {plot::kField, Value(field)},
                 {plot::kLayer, layer},
                 {plot::kName, platform::format("Im (%s)", direction)},
                 {plot::kUpdateColor, true}};
    for (Dictionary* c : {&r, &i}) {
      if (wave) c->set(Value(plot::kWave), Value(wave));
      if (!d) c->set(Value(plot::kDashed), true);
    }
    i.set(Value(plot::kColor), Value(colorForDictionary(i)));
    out.push_back(Value(std::move(r)));
    out.push_back(Value(std::move(i)));
  }
  return out;
}

std::optional<Dictionary> FGOTFCalculator::curveForDiffractionLimit() const {
  const double D = diffractionScaleInMillimeters();
  if (!isUsableScale(D)) return std::nullopt;
  const VKSeries z = defocusSeries();
  VKSeries y(z.count());
  y.addDouble(diffractionLimitedMTF(spatialFrequencyInCyclesPerMillimeter() * D));
  return Dictionary{{plot::kXSeries, SeriesValue::make(z)},
                    {plot::kYSeries, SeriesValue::make(std::move(y))},
                    {plot::kColor, Value(platform::Color::make(1, 0, 0))},
                    {plot::kName, "limit"}};
}

Dictionary FGOTFCalculator::unityCurve() const {
  const VKSeries z = defocusSeries();
  VKSeries y(z.count());
  y.addDouble(1.0);
  return Dictionary{{plot::kXSeries, SeriesValue::make(z)},
                    {plot::kYSeries, SeriesValue::make(std::move(y))},
                    {plot::kColor, Value(platform::Color::make(0, 0, 0))},
                    {plot::kName, "unity"}};
}

std::optional<Dictionary> FGOTFCalculator::calibrationCurve() const {
  const analysis::LensPtr l = lens();
  if (!l) return std::nullopt;
  const double NA = tracing::imageSpaceNumericalAperture(*l);
  const double f = spatialFrequencyInCyclesPerMillimeter();
  const VKSeries z = defocusSeries();
  VKSeries y(z.count());
  const double toMillimetres = 1 / scaleForUnits(defocusUnits());
  const bool complex = plotComplex();
  for (std::size_t i = 0; i < z.count(); ++i) {
    const double a = z.at(i) * toMillimetres * kTwoPi * f * NA;
    const double v = a == 0 ? 1.0 : 2 * foundation::besselJ1(a) / a;
    y.atPut(i, complex ? v : std::abs(v));
  }
  if (useHybridForm()) {
    const double D = diffractionScaleInMillimeters();
    if (isUsableScale(D)) y.scaleBy(diffractionLimitedMTF(f * D));
  }
  return Dictionary{{plot::kXSeries, SeriesValue::make(z)},
                    {plot::kYSeries, SeriesValue::make(std::move(y))},
                    {plot::kColor, Value(platform::Color::make(1, 0, 0))},
                    {plot::kName, "calibration"}};
}

void FGOTFCalculator::generateCurves() {
  const auto fields = fieldsOfInterest();
  if (fields.empty() || numberOfRays() == 0) return;
  const WavePtr wave = waveOfInterest();
  Array curves;
  std::vector<std::string> problems;
  if (!appendFieldCurves({0, 1}, wave, curves, problems)) return;
  if (plotDiffractionLimit()) {
    if (auto c = curveForDiffractionLimit())
      curves.push_back(Value(std::move(*c)));
    else
      problems.push_back("No diffraction limit: the lens has no image-space F-number");
  }
  if (plotCalibrationCurve())
    if (auto c = calibrationCurve()) curves.push_back(Value(std::move(*c)));
  if (plotUnity()) curves.push_back(Value(unityCurve()));
  analysis::setValueOnEveryCurve(curves, plot::kXLabel, "defocus");
  analysis::setValueOnEveryCurve(curves, plot::kYLabel, "contrast");
  analysis::setValueOnEveryCurve(curves, plot::kXFormat, "%g");
  analysis::setValueOnEveryCurve(curves, plot::kYFormat, "%g");

  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), platform::format("%s, freq=%g %s, %s",
                                              useHybridForm() ? "Thru-focus hybrid OTF" : "Thru-focus GOTF",
                                              spatialFrequency(), spatialFrequencyUnits().c_str(),
                                              wave ? wave->wavelengthShortString().c_str() : "polychromatic"));
  d.set(Value(plot::kXLabel), "defocus (" + defocusUnits() + ")");
  d.set(Value(plot::kYLabel), "contrast");
  d.set(Value(plot::kXTight), true);
  d.set(Value(plot::kYMax), 1.0);
  if (!plotComplex()) {
    d.set(Value(plot::kYMin), 0.0);
    d.set(Value(plot::kYTight), false);
  }
  publishPlotDictionary(std::move(d));
  noteProblems(problems);
  setNeedsGenerateCurves(false);
}

void FGOTFCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  GOTFCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"numberOfDefocusValues", "defocusUnits", "maximumDefocus", "spatialFrequency",
                          "plotCalibrationCurve", "plotUnity"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::wavefront
