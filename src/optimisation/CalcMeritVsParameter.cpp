#include "optimisation/CalcMeritVsParameter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/PlotDictionary.h"
#include "lens/Lens.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"
#include "optimisation/VariableDescriptor.h"

namespace orb::optimisation {

using analysis::SeriesValue;
using foundation::VKSeries;
using platform::Array;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

std::shared_ptr<CalcMeritVsParameter> CalcMeritVsParameter::create(platform::UserDefaults& defaults) {
  return platform::makeObject<CalcMeritVsParameter>(defaults);
}

const platform::KeyTable& CalcMeritVsParameter::classKeys() {
  using K = platform::Keys<CalcMeritVsParameter>;
  using C = CalcMeritVsParameter;
  static const platform::KeyTable table(
      &analysis::OBCalculator::classKeys(),
      {
          K::property("includeFocusKeyPath", &C::includeFocusKeyPath, &C::setIncludeFocusKeyPath),
          K::property("includeWavelengthKeyPath", &C::includeWavelengthKeyPath, &C::setIncludeWavelengthKeyPath),
          K::property("constructionKeyPath", &C::constructionKeyPath, &C::setConstructionKeyPath),
          K::getter("keyPathIsValid", &C::keyPathIsValid),
          K::getter("keyPathIsMutable", &C::keyPathIsMutable),
          K::property("nominalValue", &C::nominalValue, &C::setNominalValue),
          K::property("delta", &C::delta, &C::setDelta),
          K::property("minimumValue", &C::minimumValue, &C::setMinimumValue),
          K::property("maximumValue", &C::maximumValue, &C::setMaximumValue),
          K::property("numberOfPoints", &C::numberOfPoints, &C::setNumberOfPoints),
          K::property("xLabel", &C::xLabel, &C::setXLabel),
          K::property("yLabel", &C::yLabel, &C::setYLabel),
          K::property("interpreterError", &C::interpreterError, &C::setInterpreterError),
          K::property("calculationTypeTag", &C::calculationTypeTag, &C::setCalculationTypeTag),
          K::getter("lensProvidesFocusKeyPath", &C::lensProvidesFocusKeyPath).dependsOn({"lens"}),
      });
  return table;
}

// --- lens and key paths ------------------------------------------------------------------------------

void CalcMeritVsParameter::setLens(LensPtr lens) {
  m_lensWatch.remove();
  willChangeValueForKey("lens");
  m_lens = std::move(lens);
  didChangeValueForKey("lens");
  if (!m_lens) return;
  m_lensWatch = m_lens->addObserver("keyPathsForVariables", [this](const platform::ObservedChange&) {
    if (isBusy()) return;
    willChangeValueForKey("keyPathsForVariables");
    didChangeValueForKey("keyPathsForVariables");
  });
  if (m_constructionKeyPath.empty()) keyPathsForVariables();  // picks the first offered
  updateNominalValue();
}

std::vector<std::string> CalcMeritVsParameter::keyPathsForVariables() {
  if (!m_lens) return {"NO LENS"};
  std::vector<std::string> paths = m_lens->keyPathsForVariables();
  auto add = [&](const std::optional<std::string>& p) {
    if (p && std::find(paths.begin(), paths.end(), *p) == paths.end()) paths.push_back(*p);
  };
  if (m_includeFocusKeyPath) add(m_lens->focusKeyPath());
  if (m_includeWavelengthKeyPath) add(lens::Lens::wavelengthKeyPath());
  if (m_constructionKeyPath.empty() && !paths.empty()) setConstructionKeyPath(paths.front());
  return paths;
}

bool CalcMeritVsParameter::lensProvidesFocusKeyPath() const {
  if (!m_lens) return false;
  const auto focus = m_lens->focusKeyPath();
  if (!focus) return false;
  const auto paths = m_lens->keyPathsForVariables();
  return std::find(paths.begin(), paths.end(), *focus) != paths.end();
}

void CalcMeritVsParameter::setConstructionKeyPath(const std::string& keyPath) {
  setAndAnnounce("constructionKeyPath", m_constructionKeyPath, keyPath);
  updateNominalValue();
  setXLabel(keyPath);
  lookupDelta();
}

void CalcMeritVsParameter::updateNominalValue() {
  setInterpreterError({});
  auto invalid = [this] {
    setAndAnnounce("keyPathIsValid", m_keyPathIsValid, false);
    setAndAnnounce("keyPathIsMutable", m_keyPathIsMutable, false);
  };
  if (!m_lens || m_constructionKeyPath.empty()) return invalid();
  Value v;
  try {
    v = m_lens->valueForKeyPath(m_constructionKeyPath);
  } catch (const platform::Exception& e) {
    setInterpreterError(e.reason());
    return invalid();
  }
  if (!v.isNumber()) return invalid();
  setAndAnnounce("keyPathIsValid", m_keyPathIsValid, true);
  setNominalValue(v.asDouble());
  bool mutableKeyPath = true;
  try {
    m_lens->copy()->setValueForKeyPath(m_constructionKeyPath, m_nominalValue);
  } catch (const platform::Exception& e) {
    platform::log("%s", e.what());
    mutableKeyPath = false;
  }
  setAndAnnounce("keyPathIsMutable", m_keyPathIsMutable, mutableKeyPath);
}

void CalcMeritVsParameter::saveNominalValue() {
  if (m_lens && !m_constructionKeyPath.empty()) m_lens->setValueForKeyPath(m_constructionKeyPath, m_nominalValue);
}

void CalcMeritVsParameter::setLensKeyPathUpdateDictionary(const Dictionary& renames) {
  const auto dot = m_constructionKeyPath.find('.');
  const Value* mapped = renames.find(m_constructionKeyPath.substr(0, dot));
  if (!mapped || !mapped->isString()) return;
  setConstructionKeyPath(mapped->asString() +
                         (dot == std::string::npos ? std::string() : m_constructionKeyPath.substr(dot)));
}

void CalcMeritVsParameter::setDelta(double delta) {
  setAndAnnounce("delta", m_delta, delta);
  if (m_constructionKeyPath.empty()) return;
  const std::string last = VariableDescriptor::lastElementOfKeyPath(m_constructionKeyPath);
  Dictionary deltas = m_defaults->dictionaryForKey(kMeritPlotDeltaDictionaryKey);
  if (const Value* stored = deltas.find(last); stored && stored->isNumber() && stored->asDouble() == delta) return;
  deltas.set(last, delta);
  m_defaults->setObject(kMeritPlotDeltaDictionaryKey, deltas);
}

void CalcMeritVsParameter::lookupDelta() {
  const Dictionary deltas = m_defaults->dictionaryForKey(kMeritPlotDeltaDictionaryKey);
  const Value* stored = deltas.find(VariableDescriptor::lastElementOfKeyPath(m_constructionKeyPath));
  if (stored && stored->isNumber()) setDelta(stored->asDouble());
}

void CalcMeritVsParameter::setCalculationTypeTag(std::int32_t tag) {
  setAndAnnounce("calculationTypeTag", m_calculationTypeTag, tag);
  updatePlotDictionary();
}

void CalcMeritVsParameter::addRestorationDataToDictionary(Dictionary& d) const {
  OBCalculator::addRestorationDataToDictionary(d);
  d.set("includeFocusKeyPath", m_includeFocusKeyPath);
  d.set("includeWavelengthKeyPath", m_includeWavelengthKeyPath);
  d.set("constructionKeyPath", m_constructionKeyPath);
  d.set("nominalValue", m_nominalValue);
  d.set("delta", m_delta);
  d.set("minimumValue", m_minimumValue);
  d.set("maximumValue", m_maximumValue);
  d.set("numberOfPoints", m_numberOfPoints);
}

// --- the scan --------------------------------------------------------------------------------------------

void CalcMeritVsParameter::startCalculation() { orderWork(); }

bool CalcMeritVsParameter::workCanStart() {
  if (!OBCalculator::workCanStart()) return false;
  const char* refusal = nullptr;
  if (hasWorkerThread())
    refusal = "Worker thread conflict";
  else if (!m_keyPathIsValid)
    refusal = m_lens ? "Key path is invalid" : "No lens";
  else if (!m_lens)
    refusal = "No lens";
  else if (m_constructionKeyPath.empty())
    refusal = "No key path specified";
  else if (m_numberOfPoints < 1)
    refusal = "Number of points must be at least 1";
  else if (!meritFunction())
    refusal = "No merit function";
  if (refusal) setInterpreterError(refusal);
  return refusal == nullptr;
}

void CalcMeritVsParameter::workWillStart() {
  OBCalculator::workWillStart();
  setWorkDone(0);
  updateProgress();
  // The worker scans copies fixed now; the document's objects stay on the main thread.
  m_scanLens = m_lens->copy();
  m_scanMerit = meritFunction()->copy();
  m_scanKeyPath = m_constructionKeyPath;
  m_scanNominal = m_nominalValue;
  m_scanDelta = m_delta;
  m_scanPoints = m_numberOfPoints;
}

void CalcMeritVsParameter::workerKernel() {
  const LensPtr lens = m_scanLens;
  const MeritFunctionPtr merit = m_scanMerit;
  if (!lens || !merit) return;
  if (!lens->isReady()) {
    lens->generateSystemFromParaxialSpecification();
    lens->setIsReady(true);
  }
  merit->setLens(lens);
  const std::size_t n = static_cast<std::size_t>(m_scanPoints);
  VKSeries x(n), y(n);
  Array residualSeries, termSeries;
  const double step = n >= 2 ? 2 * m_scanDelta / static_cast<double>(n - 1) : 0.0;
  const double start = m_scanNominal - m_scanDelta;
  setWorkToDo(static_cast<double>(n));
  for (std::size_t i = 0; i < n; ++i) {
    if (platform::currentThreadIsCancelled()) return;
    setWorkDone(static_cast<double>(i + 1));
    performOnMainThreadForRun([this] { updateProgress(); });
    x.atPut(i, start + static_cast<double>(i) * step);
    y.atPut(i, kNaN);
    try {
      lens->setValueForKeyPath(m_scanKeyPath, x.at(i));
      lens->generateSystemFromParaxialSpecification();
      merit->setLens(lens);
      merit->evaluate();
      y.atPut(i, merit->doubleValue());
      residualSeries.push_back(merit->residualsUnmerged());
      termSeries.push_back(merit->values());
    } catch (const platform::Exception& e) {
      platform::log("x=%s fail: %s", x.detailedDescription().c_str(), e.what());
      // Failed points keep their place, so every view stays aligned with x.
      residualSeries.push_back(Value());
      termSeries.push_back(Value());
    }
  }
  if (platform::currentThreadIsCancelled()) return;
  setWorkResult(Dictionary{{"constructionKeyPath", m_scanKeyPath},
                           {"name", merit->name()},
                           {"x", SeriesValue::make(x)},
                           {"y", SeriesValue::make(y)},
                           {"residualSeries", residualSeries},
                           {"termSeries", termSeries}});
}

void CalcMeritVsParameter::workDidStop(const analysis::WorkResult& result) {
  OBCalculator::workDidStop(result);
  m_scanLens.reset();
  m_scanMerit.reset();
  if (result) setResultDictionary(*result);
  updatePlotDictionary();
}

Array CalcMeritVsParameter::curves(const Array& entries, const char* type) const {
  Array out;
  const Value x = m_resultDictionary.get("x");
  const std::string keyPath =
      m_resultDictionary.get("constructionKeyPath").isString() ? m_resultDictionary.get("constructionKeyPath").asString() : "";
  const auto live = meritFunction();
  const auto first = std::find_if(entries.begin(), entries.end(), [](const Value& v) { return v.isArray(); });
  if (first == entries.end()) return out;
  const std::size_t count = first->asArray().size();
  auto entryAt = [&](const Value& point, std::size_t j) -> Value {
    if (!point.isArray() || j >= point.asArray().size()) return Value();
    return point.asArray()[j];
  };
  for (std::size_t j = 0; j < count; ++j) {
    MeritoidPtr op = live && j < live->countOfMeritoidArray() ? live->objectInMeritoidArrayAtIndex(j) : nullptr;
    if (op && !op->included()) continue;
    const std::string name = op ? op->displayIdentifier() : std::to_string(j);
    const double number = op ? op->number() : static_cast<double>(j);
    const Value color = op ? Value(op->color()) : Value();
    auto curve = [&](VKSeries ys, const std::string& curveName, const std::string& yLabel) {
      Dictionary c{{plot::kXSeries, x}, {plot::kYSeries, SeriesValue::make(std::move(ys))}, {plot::kName, curveName},
                   {plot::kXLabel, keyPath}, {plot::kYLabel, yLabel}};
      if (!color.isNil()) c.set(plot::kColor, color);
      out.push_back(std::move(c));
    };
    const std::string numberText = platform::format("%g", number);
    if (!entryAt(*first, j).isArray()) {
      VKSeries ys(entries.size());
      for (std::size_t i = 0; i < entries.size(); ++i) {
        const Value e = entryAt(entries[i], j);
        ys.atPut(i, e.isNumber() ? e.asDouble() : kNaN);
      }
      curve(std::move(ys), name, platform::format("%s %s (%s)", type, numberText.c_str(), name.c_str()));
    } else {
      VKSeries lower(entries.size()), upper(entries.size());
      for (std::size_t i = 0; i < entries.size(); ++i) {
        const Value e = entryAt(entries[i], j);
        double mean = kNaN, deviation = kNaN;
        if (e.isArray()) {
          VKSeries values(e.asArray().size());
          for (std::size_t k = 0; k < values.count(); ++k)
            values.atPut(k, e.asArray()[k].isNumber() ? e.asArray()[k].asDouble() : kNaN);
          mean = values.mean();
          deviation = values.standardDeviation();
        }
        lower.atPut(i, mean - deviation);
        upper.atPut(i, mean + deviation);
      }
      curve(std::move(lower), name + " (-)", platform::format("%s %s (%s) -", type, numberText.c_str(), name.c_str()));
      curve(std::move(upper), name + " (+)", platform::format("%s %s (%s) +", type, numberText.c_str(), name.c_str()));
    }
  }
  return out;
}

void CalcMeritVsParameter::updatePlotDictionary() {
  if (m_resultDictionary.empty()) {
    setPlotDictionary(std::nullopt);
    return;
  }
  Array curveList;
  std::string yLabel, title;
  switch (m_calculationTypeTag) {
    case 0: {
      const Value name = m_resultDictionary.get("name");
      curveList.push_back(Dictionary{{plot::kXSeries, m_resultDictionary.get("x")},
                                     {plot::kYSeries, m_resultDictionary.get("y")},
                                     {plot::kColor, Value(platform::Color::make(0, 0, 1))},
                                     {plot::kName, name.isString() ? name : Value("")},
                                     {plot::kXLabel, m_resultDictionary.get("constructionKeyPath")},
                                     {plot::kYLabel, "value"}});
      yLabel = "sum of squares";
      title = "Merit function total scan";
      break;
    }
    case 1:
      curveList = curves(m_resultDictionary.get("residualSeries").isArray()
                             ? m_resultDictionary.get("residualSeries").asArray()
                             : Array(),
                         "residual");
      yLabel = "residual";
      title = "Merit function residual scan";
      break;
    case 2:
      curveList = curves(
          m_resultDictionary.get("termSeries").isArray() ? m_resultDictionary.get("termSeries").asArray() : Array(),
          "term");
      yLabel = curveList.size() == 1 ? curveList[0].asDictionary().get(plot::kName).asString() : "term values";
      title = "Merit function values scan";
      break;
    default:
      yLabel = m_yLabel;
      title = "unknown option";
  }
  setPlotDictionary(Dictionary{{plot::kCurves, curveList},
                               {plot::kTitle, title},
                               {plot::kXLabel, m_xLabel},
                               {plot::kYLabel, yLabel},
                               {plot::kXTight, true}});
}

}  // namespace orb::optimisation
