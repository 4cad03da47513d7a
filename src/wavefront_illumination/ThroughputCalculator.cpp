#include "wavefront_illumination/ThroughputCalculator.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/PlotDictionary.h"
#include "foundation/polynomial/Resampler.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/RayGeneration.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::VKSeries;
using platform::Array;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kOneOverFourPi = 0.07957747154594767;
constexpr double kOneOverTwoPi = 0.15915494309189535;

Value stringArray(const std::vector<std::string>& names) {
  Array a;
  for (const auto& n : names) a.push_back(n);
  return Value(std::move(a));
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

/// n·sin θ of the cone whose solid angle is q: cos θ = 1 − q/2π.
double numericalApertureOfSolidAngle(double q, double index) {
  return index * std::sin(std::acos(std::clamp(1 - q * kOneOverTwoPi, -1.0, 1.0)));
}

}  // namespace

// --- throughput ------------------------------------------------------------------------------------

ThroughputCalculator::ThroughputCalculator() {
  m_abscissa = availableAbscissas().front();
  m_ordinate = availableOrdinatesForFiniteConjugate().front();
}

const platform::KeyTable& ThroughputCalculator::classKeys() {
  using K = platform::Keys<ThroughputCalculator>;
  using T = ThroughputCalculator;
  platform::KeyEntry abscissas{"availableAbscissas",
                               [](const platform::Object& o) { return stringArray(static_cast<const T&>(o).availableAbscissas()); }};
  platform::KeyEntry ordinates{"availableOrdinates",
                               [](const platform::Object& o) { return stringArray(static_cast<const T&>(o).availableOrdinates()); }};
  platform::KeyEntry searches{"searchTypes",
                              [](const platform::Object& o) { return stringArray(static_cast<const T&>(o).searchTypes()); }};
  static const platform::KeyTable table(
      &analysis::FieldScanCalculator::classKeys(),
      {
          K::property("numberOfFields", &T::numberOfFields, &T::setNumberOfFields),
          K::property("initialDepth", &T::initialDepth, &T::setInitialDepth),
          K::property("searchDepth", &T::searchDepth, &T::setSearchDepth),
          K::property("resampleCurves", &T::resampleCurves, &T::setResampleCurves),
          K::property("abscissa", &T::abscissa, &T::setAbscissa).dependsOn({"lens"}),
          K::property("ordinate", &T::ordinate, &T::setOrdinate).dependsOn({"lens"}),
          K::property("quantityToPlot", &T::ordinate, &T::setQuantityToPlot),
          K::property("useLensObjectSpaceNumericalAperture", &T::useLensObjectSpaceNumericalAperture,
                      &T::setUseLensObjectSpaceNumericalAperture),
          K::getter("NYI", &T::NYI),
          K::getter("infiniteConjugate", &T::infiniteConjugate),
          K::getter("average", &T::average),
          std::move(abscissas).dependsOn({"lens"}),
          std::move(ordinates).dependsOn({"lens"}),
          std::move(searches).dependsOn({"lens"}),
      });
  return table;
}

std::vector<std::string> ThroughputCalculator::availableOrdinatesForInfiniteConjugate() {
  return {"Area (square mm)", "Effective pupil diameter (mm)"};
}
std::vector<std::string> ThroughputCalculator::availableOrdinatesForFiniteConjugate() {
  return {"Solid angle", "Sphere fraction", "Hemisphere fraction", "Numerical aperture"};
}
std::vector<std::string> ThroughputCalculator::availableAbscissas() const { return {"Field y"}; }

bool ThroughputCalculator::lensObjectIsAtInfinity() const {
  const analysis::LensPtr l = lens();
  return l && tracing::isObjectAtInfinity(*l);
}

std::vector<std::string> ThroughputCalculator::availableOrdinates() const {
  return lensObjectIsAtInfinity() ? availableOrdinatesForInfiniteConjugate() : availableOrdinatesForFiniteConjugate();
}

std::vector<std::string> ThroughputCalculator::searchTypes() const {
  return {lensObjectIsAtInfinity() ? "Hexagon" : "Spherical octahedron"};
}

void ThroughputCalculator::setNumberOfFields(int n) {
  setAndAnnounce("numberOfFields", m_numberOfFields, n);
  setNeedsCalculation(true);
}

void ThroughputCalculator::setInitialDepth(int depth) {
  if (depth > 3) return;
  depth = std::max(depth, 0);
  setAndAnnounce("initialDepth", m_initialDepth, depth);
  if (searchDepth() < depth) setAndAnnounce("searchDepth", m_searchDepth, depth);
  setNeedsCalculation(true);
}

void ThroughputCalculator::setSearchDepth(int depth) {
  if (depth > 16) return;
  depth = std::max(depth, 0);
  setAndAnnounce("searchDepth", m_searchDepth, depth);
  if (initialDepth() > depth) setAndAnnounce("initialDepth", m_initialDepth, depth);
  setNeedsCalculation(true);
}

void ThroughputCalculator::setResampleCurves(bool on) {
  setAndAnnounce("resampleCurves", m_resampleCurves, on);
  setNeedsGenerateCurves(true);
}

std::string ThroughputCalculator::abscissa() const {
  std::lock_guard lock(m_namesMutex);
  return m_abscissa;
}
void ThroughputCalculator::setAbscissa(const std::string& name) {
  changeValueForKey("abscissa", [&] {
    std::lock_guard lock(m_namesMutex);
    m_abscissa = name;
  });
  setNeedsGenerateCurves(true);
}
std::string ThroughputCalculator::ordinate() const {
  std::lock_guard lock(m_namesMutex);
  return m_ordinate;
}
void ThroughputCalculator::setOrdinate(const std::string& name) {
  changeValueForKey("ordinate", [&] {
    std::lock_guard lock(m_namesMutex);
    m_ordinate = name;
  });
  setNeedsGenerateCurves(true);
}
void ThroughputCalculator::setQuantityToPlot(const std::string& name) {
  platform::logText("setQuantityToPlot deprecated, forwarding to setOrdinate");
  setOrdinate(name);
}

void ThroughputCalculator::setUseLensObjectSpaceNumericalAperture(bool on) {
  if (on == useLensObjectSpaceNumericalAperture()) return;
  setAndAnnounce("useLensObjectSpaceNumericalAperture", m_useLensObjectSpaceNumericalAperture, on);
  setNeedsCalculation(true);
}

void ThroughputCalculator::validateNames() {
  const auto abscissas = availableAbscissas();
  if (!contains(abscissas, abscissa())) setAbscissa(abscissas.front());
  const auto ordinates = availableOrdinates();
  if (!contains(ordinates, ordinate())) setOrdinate(ordinates.front());
}

void ThroughputCalculator::setLens(analysis::LensPtr l) {
  FieldScanCalculator::setLens(std::move(l));
  validateNames();
}

bool ThroughputCalculator::workCanStart() {
  // Both conjugates are supported, so this never holds work back.
  m_NYI = false;
  return FieldScanCalculator::workCanStart() && !m_NYI;
}

void ThroughputCalculator::generateInitialRays() {
  // The agents make their own rays.
  validateNames();
}

void ThroughputCalculator::traceRays() { platform::log("%s traceRays should not be called", className().c_str()); }

void ThroughputCalculator::noteStatus(std::string text) {
  performOnMainThreadForRun([this, text = std::move(text)] { setStatus(text); });
}

ThroughputCalculator::FieldPtr ThroughputCalculator::scanField() {
  std::lock_guard lock(m_namesMutex);
  if (!m_field) m_field = lens::Field::field();
  return m_field;
}

// --- the measurement ------------------------------------------------------------------------------

ThroughputCalculator::Scan ThroughputCalculator::generateThroughputVersusFieldDataForWave(const WavePtr& wave) {
  Scan scan;
  const analysis::LensPtr l = lens();
  const int n = numberOfFields();
  if (!l || n <= 0) return scan;
  const double lo = tracing::minFieldY(*l), hi = tracing::maxFieldY(*l);
  std::vector<double> heights;
  if (n == 1) {
    heights.push_back((lo + hi) / 2);
  } else {
    for (int i = 0; i < n; ++i) heights.push_back(lo + i * (hi - lo) / (n - 1));
  }
  std::vector<double> lower(heights.size(), 0.0), upper(heights.size(), 0.0);

  ThroughputAgent agent;
  agent.setLens(l);
  agent.setSearchDepth(searchDepth());
  agent.setInitialDepth(initialDepth());
  agent.setUseLensObjectSpaceNumericalAperture(useLensObjectSpaceNumericalAperture());
  const FieldPtr field = scanField();
  for (std::size_t i = 0; i < heights.size(); ++i) {
    field->setY(heights[i]);
    if (platform::currentThreadIsCancelled()) break;
    const foundation::VKInterval bounds = agent.throughputForField(field, wave);
    lower[i] = bounds.min();
    upper[i] = bounds.max();
  }
  scan.heights = VKSeries::seriesWithArray(heights);
  scan.lower = VKSeries::seriesWithArray(lower);
  scan.upper = VKSeries::seriesWithArray(upper);
  return scan;
}

void ThroughputCalculator::generateDataKernel() {
  const analysis::LensPtr l = lens();
  if (!l) return;
  m_infiniteConjugate = tracing::isObjectAtInfinity(*l);
  auto data = std::make_shared<std::map<std::string, Scan>>();
  for (const WavePtr& wave : wavesOfInterest()) {
    if (platform::currentThreadIsCancelled()) return;
    (*data)[wave->description()] = generateThroughputVersusFieldDataForWave(wave);
  }
  if (platform::currentThreadIsCancelled()) return;
  platform::Synchronized lock(this);
  m_data = std::move(data);
}

std::shared_ptr<const std::map<std::string, ThroughputCalculator::Scan>> ThroughputCalculator::throughputData() const {
  platform::Synchronized lock(const_cast<ThroughputCalculator*>(this));
  return m_data;
}

bool ThroughputCalculator::runKernel() {
  const analysis::LensPtr l = lens();
  if (!l) return false;
  // The agents trace the document's lens: hold it still until they are done.
  platform::Synchronized lensLock(l.get());
  if (!l->isReady() || l->surfaceArray().empty()) return false;
  if (!fieldOfInterestKeyPath().empty() && !fieldOfInterest()) return false;
  if (!waveOfInterestKeyPath().empty() && !waveOfInterest()) return false;
  try {
    generateDataKernel();
  } catch (const platform::Exception& e) {
    platform::log("Exception: %s", e.what());
    noteStatus(e.name() + ": " + e.reason());
    return false;
  }
  return true;
}

void ThroughputCalculator::calculate() {
  if (platform::currentThreadIsCancelled()) return;
  const bool measured = runKernel();
  if (platform::currentThreadIsCancelled() || !measured) return;
  setNeedsCalculation(false);
  setNeedsGenerateCurves(true);
}

double ThroughputCalculator::convertThroughput(const std::string& name, double q, double index) {
  if (name == "Area (square mm)" || name == "Solid angle") return q;
  if (name == "Sphere fraction") return q * kOneOverFourPi;
  if (name == "Hemisphere fraction") return q * kOneOverTwoPi;
  if (name == "Numerical aperture") return numericalApertureOfSolidAngle(q, index);
  if (name == "Effective pupil diameter (mm)") return 2 * std::sqrt(std::max(q, 0.0) / M_PI);
  return std::numeric_limits<double>::quiet_NaN();
}

Array ThroughputCalculator::generateCurvesForWave(const WavePtr& wave) {
  Array curves;
  const auto data = throughputData();
  const analysis::LensPtr l = lens();
  if (!data || !wave || !l) return curves;
  const auto it = data->find(wave->description());
  if (it == data->end()) return curves;
  const Scan& scan = it->second;
  const std::string name = ordinate();
  // A mirror system's image space has a negative index; the aperture is still positive.
  const double nPrime = std::abs(tracing::imageSpaceIndexOfRefraction(*l));
  const std::size_t count = scan.heights.count();
  VKSeries lower(count), upper(count), mean(count);
  for (std::size_t i = 0; i < count; ++i) {
    lower.atPut(i, convertThroughput(name, scan.lower.at(i), nPrime));
    upper.atPut(i, convertThroughput(name, scan.upper.at(i), nPrime));
    mean.atPut(i, (lower.at(i) + upper.at(i)) / 2);
  }
  m_average = VKSeries::averageWithRespectToSeries(scan.heights, mean);

  const bool resample = resampleCurves() && count >= 2;
  const FieldPtr field = scanField();
  const std::string base = wave->wavelengthShortString();
  auto curve = [&](const std::string& suffix, const VKSeries& x, const VKSeries& y, const char* yLabel) {
    Dictionary c{{plot::kName, base + suffix},
                 {plot::kXSeries, SeriesValue::make(x)},
                 {plot::kYSeries, SeriesValue::make(y)},
                 {plot::kField, Value(field)},
                 {plot::kWave, Value(wave)},
                 {plot::kXLabel, "x"},
                 {plot::kYLabel, yLabel},
                 {plot::kLayer, Value(wave->description())}};
    return c;
  };
  auto asMeasured = [&](Dictionary& c) {
    c.set(Value(plot::kDrawAsLines), !resample);
    c.set(Value(plot::kDrawAsDots), true);
    c.set(Value(plot::kDotSize), 4.0);
  };
  auto colored = [&](Dictionary& c) {
    c.set(Value(plot::kUpdateColor), true);
    c.set(Value(plot::kColor), Value(colorForDictionary(c)));
  };
  auto resampled = [&](const VKSeries& y) { return foundation::Resampler::resample(scan.heights, y); };

  Dictionary m = curve("", scan.heights, mean, "y");
  asMeasured(m);
  curves.push_back(Value(std::move(m)));
  if (resample) {
    const auto r = resampled(mean);
    Dictionary c = curve(" (resampled)", r.x, r.y, "y");
    colored(c);
    curves.push_back(Value(std::move(c)));
  }
  for (const auto& [suffix, series, yLabel] :
       {std::tuple{" min", &lower, "ymin"}, std::tuple{" max", &upper, "ymax"}}) {
    Dictionary c = curve(suffix, scan.heights, *series, yLabel);
    asMeasured(c);
    c.set(Value(plot::kDashed), true);
    colored(c);
    curves.push_back(Value(std::move(c)));
    if (resample) {
      const auto r = resampled(*series);
      Dictionary rc = curve(std::string(suffix) + " (resampled)", r.x, r.y, yLabel);
      rc.set(Value(plot::kDashed), true);
      colored(rc);
      curves.push_back(Value(std::move(rc)));
    }
  }
  return curves;
}

void ThroughputCalculator::generateCurves() {
  Array curves;
  bool anyPasses = false;
  const auto data = throughputData();
  for (const WavePtr& wave : wavesOfInterest()) {
    if (platform::currentThreadIsCancelled()) return;
    for (Value& c : generateCurvesForWave(wave)) curves.push_back(std::move(c));
  }
  if (data)
    for (const auto& [key, scan] : *data)
      for (double u : scan.upper) anyPasses = anyPasses || u > 0;
  if (platform::currentThreadIsCancelled()) return;
  // A plot of zeros must say why.
  noteStatus(data && !data->empty() && !anyPasses ? "No ray passes the lens at any field height" : "");

  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), platform::format("average = %g", average()));
  d.set(Value(plot::kXLabel), "field y");
  d.set(Value(plot::kYLabel), ordinate());
  d.set(Value(plot::kYMin), 0.0);
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

void ThroughputCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  FieldScanCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"numberOfFields", "searchDepth", "resampleCurves", "abscissa", "ordinate"})
    d.set(Value(key), valueForKey(key));
}

// --- filtering ---------------------------------------------------------------------------------------

FilteringCalculator::FilteringCalculator() : m_filterType(availableFilterTypes().front()) {}

const platform::KeyTable& FilteringCalculator::classKeys() {
  using K = platform::Keys<FilteringCalculator>;
  using F = FilteringCalculator;
  platform::KeyEntry types{"availableFilterTypes", [](const platform::Object&) { return stringArray(availableFilterTypes()); }};
  static const platform::KeyTable table(&ThroughputCalculator::classKeys(),
                                        {
                                            K::property("filterType", &F::filterType, &F::setFilterType),
                                            K::property("filterRadius", &F::filterRadius, &F::setFilterRadius),
                                            K::getter("usesFilterRadius", &F::usesFilterRadius).dependsOn({"filterType"}),
                                            std::move(types),
                                        });
  return table;
}

std::vector<std::string> FilteringCalculator::availableFilterTypes() { return {"None", "Surface", "Radius"}; }

std::string FilteringCalculator::filterType() const {
  std::lock_guard lock(m_filterMutex);
  return m_filterType;
}
void FilteringCalculator::setFilterType(const std::string& type) {
  changeValueForKey("filterType", [&] {
    std::lock_guard lock(m_filterMutex);
    m_filterType = type;
  });
  setNeedsCalculation(true);
}
void FilteringCalculator::setFilterRadius(double radius) {
  setAndAnnounce("filterRadius", m_filterRadius, radius);
  setNeedsCalculation(true);
}

void FilteringCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  ThroughputCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"filterType", "filterRadius"}) d.set(Value(key), valueForKey(key));
}

// --- acceptance -------------------------------------------------------------------------------------

AcceptanceCalculator::AcceptanceCalculator() {
  setAbscissa(availableAbscissas().front());
  setOrdinate(availableOrdinatesForFiniteConjugate().front());
  setFilterType(availableFilterTypes().front());
  setFilterRadius(1.0);
}

std::vector<std::string> AcceptanceCalculator::availableAbscissas() const {
  return {"Acceptance NA", "Transverse momentum"};
}

std::vector<std::string> AcceptanceCalculator::availableOrdinates() const {
  std::vector<std::string> names = ThroughputCalculator::availableOrdinates();
  if (!lensObjectIsAtInfinity()) names.push_back("OSNA fraction");
  names.push_back("Relative");
  return names;
}

std::string AcceptanceCalculator::keyForField(const lens::Field& field, const lens::Wave& wave) {
  return field.description() + wave.description();
}

void AcceptanceCalculator::generateDataKernel() {
  const analysis::LensPtr l = lens();
  if (!l) return;
  AcceptanceAgent agent;
  agent.setLens(l);
  agent.setSearchDepth(searchDepth());
  agent.setInitialDepth(initialDepth());
  agent.setFilterType(filterType());
  agent.setFilterRadius(filterRadius());
  m_infiniteConjugate = tracing::isObjectAtInfinity(*l);
  auto data = std::make_shared<std::map<std::string, CumulativeArea>>();
  for (const FieldPtr& field : fieldsOfInterest())
    for (const WavePtr& wave : wavesOfInterest()) {
      if (platform::currentThreadIsCancelled()) return;
      if (!field || !wave) continue;
      if (auto f = agent.generateAcceptanceDataForField(field, wave)) (*data)[keyForField(*field, *wave)] = std::move(*f);
    }
  if (platform::currentThreadIsCancelled()) return;
  platform::Synchronized lock(this);
  m_acceptance = std::move(data);
}

std::shared_ptr<const std::map<std::string, CumulativeArea>> AcceptanceCalculator::acceptanceData() const {
  platform::Synchronized lock(const_cast<AcceptanceCalculator*>(this));
  return m_acceptance;
}

double AcceptanceCalculator::maximumAcceptanceForField(const FieldPtr& field, const WavePtr& wave) const {
  const auto data = acceptanceData();
  if (!data || !field || !wave) return 0;
  const auto it = data->find(keyForField(*field, *wave));
  if (it == data->end() || it->second.y.count() == 0) return 0;
  return std::max(it->second.y.max(), 0.0);
}

double AcceptanceCalculator::maximumAcceptance() const {
  double M = 0;
  for (const FieldPtr& field : fieldsOfInterest())
    for (const WavePtr& wave : wavesOfInterest()) {
      const double m = maximumAcceptanceForField(field, wave);
      if (!std::isnan(m)) M = std::max(M, m);
    }
  return M;
}

std::optional<Dictionary> AcceptanceCalculator::generateAcceptanceCurvesForField(const FieldPtr& field,
                                                                                const WavePtr& wave, double M,
                                                                                std::string* problem) const {
  const auto data = acceptanceData();
  const analysis::LensPtr l = lens();
  if (!data || !field || !wave || !l) return std::nullopt;
  const auto it = data->find(keyForField(*field, *wave));
  if (it == data->end()) return std::nullopt;
  const CumulativeArea& f = it->second;
  const std::string name = ordinate();
  const double n = tracing::objectSpaceIndexOfRefraction(*l);
  // The divisor of a ratio; a zero one would plot infinities.
  double divisor = 1;
  if (name == "Relative") {
    divisor = M;
    if (!(divisor > 0) || !std::isfinite(divisor)) {
      if (problem) *problem = "Nothing passes: there is no largest acceptance to be relative to";
      return std::nullopt;
    }
  } else if (name == "OSNA fraction") {
    const double r = tracing::objectSpaceNumericalAperture(*l) / n;
    divisor = std::abs(r) >= 1 || !std::isfinite(r) ? kTwoPi : kTwoPi * (1 - std::cos(std::asin(r)));
    if (!(divisor > 0)) {
      if (problem) *problem = "The lens has no object-space numerical aperture to take a fraction of";
      return std::nullopt;
    }
  }
  VKSeries y(f.y.count());
  for (std::size_t i = 0; i < f.y.count(); ++i) {
    const double q = f.y.at(i);
    double v;
    if (name == "Relative" || name == "OSNA fraction")
      v = q / divisor;
    else
      v = convertThroughput(name, q, n);
    y.atPut(i, v);
  }
  Dictionary c{{plot::kName, platform::format("y(%s, %s)", field->shortDescription().c_str(),
                                              wave->wavelengthShortString().c_str())},
               {plot::kXSeries, SeriesValue::make(f.x)},
               {plot::kYSeries, SeriesValue::make(std::move(y))},
               {plot::kField, Value(field)},
               {plot::kWave, Value(wave)},
               {plot::kXLabel, "x"},
               {plot::kYLabel, "y"},
               {plot::kDrawAsLines, !resampleCurves()},
               {plot::kLayer, Value(wave->description())},
               {plot::kUpdateColor, true}};
  c.set(Value(plot::kColor), Value(colorForDictionary(c)));
  return c;
}

void AcceptanceCalculator::generateCurves() {
  const double M = maximumAcceptance();
  Array curves;
  std::vector<std::string> problems;
  for (const FieldPtr& field : fieldsOfInterest())
    for (const WavePtr& wave : wavesOfInterest()) {
      if (platform::currentThreadIsCancelled()) return;
      std::string problem;
      if (auto c = generateAcceptanceCurvesForField(field, wave, M, &problem)) curves.push_back(Value(std::move(*c)));
      if (!problem.empty() && std::find(problems.begin(), problems.end(), problem) == problems.end())
        problems.push_back(problem);
    }
  if (platform::currentThreadIsCancelled()) return;
  const auto data = acceptanceData();
  if (data && data->empty() && !fieldsOfInterest().empty() && !wavesOfInterest().empty())
    problems.push_back("No ray passes the lens for the fields and wavelengths chosen");
  std::string status;
  for (const auto& p : problems) status += (status.empty() ? "" : "; ") + p;
  noteStatus(status);

  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), "");
  d.set(Value(plot::kXLabel), abscissa());
  d.set(Value(plot::kYLabel), ordinate());
  d.set(Value(plot::kYMin), 0.0);
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

}  // namespace orb::wavefront
