#include "wavefront_illumination/OTFCalculator.h"

#include <algorithm>
#include <cmath>

#include "analysis/PlotDictionary.h"
#include "foundation/quadrature/SpecialFunctions.h"
#include "lens/Lens.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/ParaxialMeasurement.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

OTFCalculator::OTFCalculator() {
  setMaximumSpatialFrequency(20.0);
  setUnits("mm");
}

const platform::KeyTable& OTFCalculator::classKeys() {
  using K = platform::Keys<OTFCalculator>;
  using O = OTFCalculator;
  static const platform::KeyTable table(
      &RaysAtSurfaceCalculator::classKeys(),
      {
          K::property("minimumSpatialFrequency", &O::minimumSpatialFrequency, &O::setMinimumSpatialFrequency),
          // Observers of the maximum hear when the physical range rewrites it.
          K::property("maximumSpatialFrequency", &O::maximumSpatialFrequency, &O::setMaximumSpatialFrequency)
              .dependsOn({"plotSpatialFrequencyPhysicalRange"}),
          K::property("plotDiffractionLimit", &O::plotDiffractionLimit, &O::setPlotDiffractionLimit),
          K::property("plotSpatialFrequencyPhysicalRange", &O::plotSpatialFrequencyPhysicalRange,
                      &O::setPlotSpatialFrequencyPhysicalRange),
          K::property("plotComplex", &O::plotComplex, &O::setPlotComplex),
          K::getter("spatialFrequencyUnits", &O::spatialFrequencyUnits).dependsOn({"units"}),
      });
  return table;
}

std::vector<std::string> OTFCalculator::possibleFanTypes() const {
  return {"random", "hexapolar", "golden", "spiral", "square", "centered fft"};
}

// --- frequency range ------------------------------------------------------------------------------

void OTFCalculator::setMinimumSpatialFrequency(double frequency) {
  setAndAnnounce("minimumSpatialFrequency", m_minimumSpatialFrequency, frequency);
  setPlotSpatialFrequencyPhysicalRange(false);
  setNeedsGenerateCurves(true);
}

void OTFCalculator::setMaximumSpatialFrequency(double frequency) {
  setAndAnnounce("maximumSpatialFrequency", m_maximumSpatialFrequency, frequency);
  setPlotSpatialFrequencyPhysicalRange(false);
  setNeedsGenerateCurves(true);
}

void OTFCalculator::setPlotDiffractionLimit(bool on) {
  setForCurves("plotDiffractionLimit", m_plotDiffractionLimit, on);
}

void OTFCalculator::setPlotSpatialFrequencyPhysicalRange(bool on) {
  setAndAnnounce("plotSpatialFrequencyPhysicalRange", m_plotSpatialFrequencyPhysicalRange, on);
  if (!on) return;
  // Written past the setter, which would turn the flag off again. Without a lens (or an
  // aperture) there is no cut-off yet: the curve stage applies it once there is.
  const double cutoff = diffractionLimitSpatialFrequencyInUserUnits();
  if (std::isfinite(cutoff) && cutoff > 0 && cutoff != maximumSpatialFrequency()) {
    setAndAnnounce("maximumSpatialFrequency", m_maximumSpatialFrequency, cutoff);
    setNeedsGenerateCurves(true);
  }
}

void OTFCalculator::setPlotComplex(bool on) {
  setForCurves("plotComplex", m_plotComplex, on);
}

std::string OTFCalculator::spatialFrequencyUnits() const { return "cycles/" + units(); }

void OTFCalculator::setRange(double minimum, double maximum) {
  setMinimumSpatialFrequency(minimum);
  setMaximumSpatialFrequency(maximum);
}

void OTFCalculator::setUnits(const std::string& unit) {
  const bool physical = plotSpatialFrequencyPhysicalRange();
  const double before = scaleForUnits(units());
  const double minimum = minimumSpatialFrequency() * before, maximum = maximumSpatialFrequency() * before;
  RaysAtSurfaceCalculator::setUnits(unit);
  if (m_restoring) return;
  const double after = scaleForUnits(units());
  if (before > 0 && after > 0) setRange(minimum / after, maximum / after);
  if (physical) setPlotSpatialFrequencyPhysicalRange(true);
}

void OTFCalculator::setDivideByFocalLength(bool on) {
  if (on == divideByFocalLength()) return;
  const bool physical = plotSpatialFrequencyPhysicalRange();
  const double before = scaleForUnits(units());
  double minimum = minimumSpatialFrequency() * before, maximum = maximumSpatialFrequency() * before;
  // Cycles per millimetre times |f| are cycles per radian. Without a focal length (no lens
  // yet, as when saved settings are restored, or an afocal lens) nothing can be converted:
  // the numbers stay as they are rather than become 0 or infinite.
  const analysis::LensPtr l = lens();
  const double f = l ? std::abs(tracing::focalLength(*l)) : 0.0;
  const bool convert = !m_restoring && before > 0 && std::isfinite(f) && f > 0;
  if (convert) {
    if (divideByFocalLength()) {
      minimum /= f, maximum /= f;
    } else {
      minimum *= f, maximum *= f;
    }
  }
  RaysAtSurfaceCalculator::setDivideByFocalLength(on);
  const double after = scaleForUnits(units());
  if (convert && after > 0) setRange(minimum / after, maximum / after);
  if (physical && !m_restoring) setPlotSpatialFrequencyPhysicalRange(true);
}

// --- diffraction scale ------------------------------------------------------------------------------

double OTFCalculator::diffractionScaleForLens(lens::Lens& l) const {
  // Paraxial values change only in the change cycle on the main thread; they are read
  // without the lens lock, which a running trace may hold for seconds.
  if (afocal()) return tracing::diffractionAngle(l);
  const double length = tracing::diffractionLength(l);
  return divideByFocalLength() ? length / std::abs(tracing::focalLength(l)) : length;
}

double OTFCalculator::diffractionScale() const {
  const analysis::LensPtr l = lens();
  return l ? diffractionScaleForLens(*l) : 0.0;
}

bool OTFCalculator::isUsableScale(double scale) { return std::isfinite(scale) && scale > 0; }

double OTFCalculator::diffractionLimitSpatialFrequency() const { return 2 / diffractionScale(); }
double OTFCalculator::diffractionScaleInUserUnits() const { return diffractionScale() * scaleForUnits(units()); }
double OTFCalculator::diffractionLimitSpatialFrequencyInUserUnits() const { return 2 / diffractionScaleInUserUnits(); }
double OTFCalculator::deltaInUserUnits() const { return 0.5 * diffractionScaleInUserUnits(); }

// --- reference curves --------------------------------------------------------------------------------

double OTFCalculator::diffractionLimitedMTF(double v) {
  v = std::abs(v);  // the MTF is even in the frequency
  if (!(v < 2)) return 0;
  return std::acos(v / 2) * 0.6366197723675814 + std::sqrt(1 - 0.25 * v * v) * (v / -3.141592653589793);
}

std::optional<Dictionary> OTFCalculator::curveForDiffractionLimitedMTF(double wavelengthRatio) const {
  const double scale = diffractionScaleInUserUnits() * wavelengthRatio;
  if (!isUsableScale(scale)) return std::nullopt;
  VKSeries x = VKSeries::seriesWithCount(100, minimumSpatialFrequency(), maximumSpatialFrequency());
  VKSeries y(100);
  for (std::size_t i = 0; i < 100; ++i) y.atPut(i, diffractionLimitedMTF(x.at(i) * scale));
  return Dictionary{{plot::kXSeries, SeriesValue::make(std::move(x))},
                    {plot::kYSeries, SeriesValue::make(std::move(y))},
                    {plot::kColor, Value(platform::Color::make(1, 0, 0))},
                    {plot::kName, "diffraction limit"},
                    {plot::kYLabel, "MTF"}};
}

double OTFCalculator::struvesFunctionAt(double x) {
  const double x2 = x * x;
  if (x2 > 400) {
    // The alternating power series loses digits to cancellation past x = 20 (1e-4 of the
    // value by x = 31), and a cut at x² = 1000 would drop a tail still 0.2 % of the peak;
    // the large-argument form H₁(x) = Y₁(x) + (2/π)(1 + 1/x² − 3/x⁴ + 45/x⁶ − 1575/x⁸)
    // is good to 1e-10 of S from x = 20 on.
    const double ax = std::abs(x), u = 1 / x2;
    const double h1 = foundation::besselY1(ax) + (2 / M_PI) * (1 + u * (1 + u * (-3 + u * (45 - 1575 * u))));
    return 3 * M_PI * h1 / (2 * x2);
  }
  // S(x) = 3·Σₖ (−x²)ᵏ / ((2k+1)!!·(2k+3)!!), the two double factorials built up in q.
  double a = 3, p = 1, q = 1, sum = 0;
  for (int k = 0; k < 100; ++k) {
    q /= a;
    sum += p * q;
    if (std::abs(p * q) < 1e-10) break;
    p *= -x2;
    q /= a;
    a += 2;
  }
  return 3 * sum;
}

Dictionary OTFCalculator::curveForDiffractionLimitedLSF(double xMin, double xMax, double M) {
  VKSeries x(201), y(201);
  for (std::size_t i = 0; i <= 200; ++i) {
    const double xi = xMin + static_cast<double>(i) * (xMax - xMin) / 200;
    x.atPut(i, xi);
    y.atPut(i, struvesFunctionAt(2 * M * xi));
  }
  return Dictionary{{plot::kXSeries, SeriesValue::make(std::move(x))},
                    {plot::kYSeries, SeriesValue::make(std::move(y))},
                    {plot::kColor, Value(platform::Color::make(1, 0, 0))},
                    {plot::kName, "Struve's diffraction limit"},
                    {plot::kYLabel, "LSF"}};
}

std::optional<Dictionary> OTFCalculator::curveForDiffractionLimitedLSF() const {
  const double scale = diffractionScaleInUserUnits();
  if (!isUsableScale(scale)) return std::nullopt;
  const double h = curveNumberOfPoints() * deltaInUserUnits() * 0.5;
  return curveForDiffractionLimitedLSF(-h, h, 6.283185307179586 / scale);
}

// --- helpers for the curve stages -------------------------------------------------------------------

void OTFCalculator::noteStatus(std::string text) {
  performOnMainThreadForRun([this, text = std::move(text)] { setStatus(text); });
}

void OTFCalculator::noteProblems(const std::vector<std::string>& problems) {
  std::string status;
  std::vector<std::string> said;
  for (const auto& p : problems) {
    if (std::find(said.begin(), said.end(), p) != said.end()) continue;  // one field's problem in both directions
    said.push_back(p);
    status += (status.empty() ? "" : "; ") + p;
  }
  if (!status.empty()) noteStatus(std::move(status));
}

void OTFCalculator::applyPhysicalRangeForCurves() {
  if (!plotSpatialFrequencyPhysicalRange()) return;
  const double cutoff = diffractionLimitSpatialFrequencyInUserUnits();
  if (!(std::isfinite(cutoff) && cutoff > 0)) {
    noteStatus("No diffraction cut-off: the lens has no image-space F-number");
    return;
  }
  m_maximumSpatialFrequency = cutoff;
  performOnMainThreadForRun([this] {
    willChangeValueForKey("maximumSpatialFrequency");
    didChangeValueForKey("maximumSpatialFrequency");
  });
}

void OTFCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysAtSurfaceCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"minimumSpatialFrequency", "maximumSpatialFrequency", "plotDiffractionLimit",
                          "plotSpatialFrequencyPhysicalRange", "plotComplex"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::wavefront

namespace orb::wavefront {

void OTFCalculator::applyRestorationDictionary(const Dictionary& dictionary) {
  m_restoring = true;
  try {
    RaysAtSurfaceCalculator::applyRestorationDictionary(dictionary);
  } catch (...) {
    m_restoring = false;
    throw;
  }
  m_restoring = false;
  // The range as saved, then the physical range (when saved on) over it.
  auto restore = [&](const char* key, std::atomic<double>& member) {
    if (const Value* v = dictionary.find(Value(key)); v && v->isNumber()) setAndAnnounce(key, member, v->asDouble());
  };
  restore("minimumSpatialFrequency", m_minimumSpatialFrequency);
  restore("maximumSpatialFrequency", m_maximumSpatialFrequency);
  if (const Value* v = dictionary.find(Value("plotSpatialFrequencyPhysicalRange")); v && v->isNumber())
    setPlotSpatialFrequencyPhysicalRange(v->asBool());
}

}  // namespace orb::wavefront
