#include "optimisation/Optimizer.h"

#include <cmath>

#include "foundation/linear/VKInterval.h"
#include "foundation/minimise/GoldenSectionSearch.h"
#include "foundation/minimise/LevenbergMarquardt.h"
#include "foundation/minimise/NelderMead.h"
#include "lens/Lens.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"

namespace orb::optimisation {

using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Setting {
  const char* key;
  double factory;
};
constexpr Setting kStandardError{"oStandardError", 1e-6};
constexpr Setting kStepSize{"oStepSize", 1e-5};
constexpr Setting kFunctionValue{"oFunctionValue", 0};
constexpr Setting kUniverseRadius{"oUniverseRadius", kInfinity};
constexpr const char* kIterationLimitKey = "oIterationLimit";
constexpr const char* kPreferredTagKey = "oPreferredOptimizerTag";

// Damping factors of the optimiser's Levenberg–Marquardt runs, in place of the minimiser's
// own ×1.5 after a rejected step and ×0.1 after an accepted one (which suit ray aiming, a
// nearly linear problem). When the operands cannot all reach their targets, as a focal
// length against a spot size, the residuals stay large and the damping that works hardly
// changes between steps, and dropping it to a tenth after each success costs about six
// rejected steps, each an evaluation and an iteration of the limit, to climb back.
constexpr double kDampingBoostFactor = 5;
constexpr double kDampingDropFactor = 0.5;

// The four reals are kept in single precision.
double floatSetting(const platform::UserDefaults& d, const Setting& s) {
  const Value v = d.objectForKey(s.key);
  return static_cast<float>(v.isNumber() ? v.asDouble() : s.factory);
}

std::int64_t integerSetting(const platform::UserDefaults& d, const char* key, std::int64_t factory) {
  const Value v = d.objectForKey(key);
  return v.isNumber() ? v.asInt() : factory;
}

}  // namespace

std::shared_ptr<Optimizer> Optimizer::create(platform::UserDefaults& defaults) {
  return platform::makeObject<Optimizer>(defaults);
}

Optimizer::Optimizer(platform::UserDefaults& defaults)
    : m_defaults(&defaults), m_variables(VariablesController::create(defaults)) {
  const std::int64_t tag = integerSetting(defaults, kPreferredTagKey, kLevenbergMarquardtTag);
  m_preferredMinimizerTag = tag < 0 ? kLevenbergMarquardtTag : static_cast<unsigned>(tag);
  useUserDefaults();
  setMonitorsLive();
}

const platform::KeyTable& Optimizer::classKeys() {
  using K = platform::Keys<Optimizer>;
  static const platform::KeyTable table(
      &analysis::OBCalculator::classKeys(),
      {
          K::property("convergenceStandardError", &Optimizer::convergenceStandardError,
                      &Optimizer::setConvergenceStandardError),
          K::property("convergenceSize", &Optimizer::convergenceSize, &Optimizer::setConvergenceSize),
          K::property("convergenceValue", &Optimizer::convergenceValue, &Optimizer::setConvergenceValue),
          K::property("universeRadius", &Optimizer::universeRadius, &Optimizer::setUniverseRadius),
          K::property("maxIteration", &Optimizer::maxIteration, &Optimizer::setMaxIteration),
          K::property("preferredMinimizerTag", &Optimizer::preferredMinimizerTag, &Optimizer::setPreferredMinimizerTag),
          K::getter("chatter", &Optimizer::chatter),
          K::getter("isOptimizing", &Optimizer::isOptimizing),
          K::getter("evaluations", &Optimizer::evaluations),
          K::getter("iteration", &Optimizer::iteration),
          K::getter("statusDictionary", &Optimizer::statusDictionary)
              .dependsOn({"chatter", "evaluations", "iteration"}),
          K::getter("meritMonitor", &Optimizer::meritMonitor),
          K::getter("variablesMonitor", &Optimizer::variablesMonitor),
      });
  return table;
}

// --- settings ----------------------------------------------------------------------------------------

void Optimizer::useUserDefaults() {
  setConvergenceStandardError(floatSetting(*m_defaults, kStandardError));
  setConvergenceSize(floatSetting(*m_defaults, kStepSize));
  setConvergenceValue(floatSetting(*m_defaults, kFunctionValue));
  setUniverseRadius(floatSetting(*m_defaults, kUniverseRadius));
  const std::int64_t limit = integerSetting(*m_defaults, kIterationLimitKey, 100);
  setMaxIteration(limit < 0 ? 0 : static_cast<std::uint64_t>(limit));
}

void Optimizer::useFactoryDefaults() {
  setConvergenceStandardError(kStandardError.factory);
  setConvergenceSize(kStepSize.factory);
  setConvergenceValue(kFunctionValue.factory);
  setUniverseRadius(kUniverseRadius.factory);
  setMaxIteration(100);
}

void Optimizer::saveDefaults() {
  m_defaults->setObject(kStandardError.key, static_cast<float>(m_convergenceStandardError));
  m_defaults->setObject(kStepSize.key, static_cast<float>(m_convergenceSize));
  m_defaults->setObject(kFunctionValue.key, static_cast<float>(m_convergenceValue));
  m_defaults->setObject(kUniverseRadius.key, static_cast<float>(m_universeRadius));
  m_defaults->setObject(kIterationLimitKey, static_cast<std::int64_t>(m_maxIteration));
}

void Optimizer::restoreFactoryDefaults(platform::UserDefaults& defaults) {
  for (const Setting& s : {kStandardError, kStepSize, kFunctionValue, kUniverseRadius})
    defaults.setObject(s.key, static_cast<float>(s.factory));
  defaults.setObject(kIterationLimitKey, 100);
  defaults.setObject(kPreferredTagKey, 1);
}

void Optimizer::setUniverseRadius(double radius) {
  setAndAnnounce("universeRadius", m_universeRadius, (radius > 0 || std::isnan(radius)) ? radius : kInfinity);
}

void Optimizer::addRestorationDataToDictionary(Dictionary& d) const {
  OBCalculator::addRestorationDataToDictionary(d);
  d.set("convergenceStandardError", m_convergenceStandardError);
  d.set("convergenceSize", m_convergenceSize);
  d.set("convergenceValue", m_convergenceValue);
  d.set("universeRadius", m_universeRadius);
  d.set("maxIteration", static_cast<std::int64_t>(m_maxIteration));
}

// --- lens, analyzer, variables ------------------------------------------------------------------------

void Optimizer::setLens(LensPtr lens) {
  if (isBusy()) return;
  m_lens = std::move(lens);
  if (!m_lens) return;
  m_variables->setLens(m_lens);
  setNeedsCalculation(true);
}

void Optimizer::setLensKeyPathUpdateDictionary(const Dictionary& renames) {
  if (!isBusy()) m_variables->setLensKeyPathUpdateDictionary(renames);
}

void Optimizer::setAnalyzer(MeritFunctionPtr analyzer) {
  if (isBusy()) {
    platform::log("setAnalyzer snubbed");
    return;
  }
  m_analyzer = std::move(analyzer);
  m_activeAnalyzer = m_analyzer;
  setMonitorsLive();
  setNeedsCalculation(true);
}

void Optimizer::setupEnabledVariables() { m_enabledVariables = m_variables->enabledVariables(); }

void Optimizer::setMonitorsLive() {
  setAndAnnounce("meritMonitor", m_meritMonitor, Value(m_analyzer));
  setAndAnnounce("variablesMonitor", m_variablesMonitor, Value(m_variables));
}

// --- status ---------------------------------------------------------------------------------------------

void Optimizer::setChatter(const std::string& chatter) { setAndAnnounce("chatter", m_chatter, chatter); }

void Optimizer::chatterFromWorker(const std::string& text) {
  // Delivered even after a stop: the last word of a stopped run is still its own.
  platform::RunLoop::main().perform(reference(), [this, text] { setChatter(text); });
}

Dictionary Optimizer::statusDictionary() const {
  return Dictionary{{"chatter", m_chatter},
                    {"iteration", static_cast<std::int64_t>(m_iteration)},
                    {"evaluations", static_cast<std::int64_t>(m_evaluations)}};
}

// --- objective functions ----------------------------------------------------------------------------------

Optimizer::CoordinateData Optimizer::coordinateData() const {
  CoordinateData data{VKSeries(m_enabledVariables.size()), VKSeries(m_enabledVariables.size())};
  for (std::size_t i = 0; i < m_enabledVariables.size(); ++i) {
    data.coordinate.atPut(i, m_enabledVariables[i]->value());
    data.scale.atPut(i, m_enabledVariables[i]->scale());
  }
  return data;
}

void Optimizer::updateLensWithCoordinate(const VKSeries& x) {
  m_variables->suspendUpdate();
  for (std::size_t i = 0; i < m_enabledVariables.size() && i < x.count(); ++i) m_enabledVariables[i]->setValue(x.at(i));
  m_variables->resumeUpdate();
  if (m_postsMonitors.load()) {
    Dictionary snapshot;
    platform::Array descriptors;
    for (const auto& d : m_variables->arrayOfVariableDescriptors()) descriptors.push_back(d->dictionary());
    snapshot.set("arrayOfVariableDescriptors", std::move(descriptors));
    performOnMainThreadForRun(
        [this, snapshot = std::move(snapshot)] { setAndAnnounce("variablesMonitor", m_variablesMonitor, Value(snapshot)); });
  }
}

void Optimizer::noteEvaluation(const VKSeries& x, double merit) {
  if (!std::isfinite(merit)) return;  // never a best point
  if (!m_best || merit < m_best->second) m_best = std::make_pair(x, merit);
}

double Optimizer::evaluateActive(const VKSeries& x) {
  updateLensWithCoordinate(x);
  m_activeAnalyzer->setLens(m_variables->lens());
  m_activeAnalyzer->evaluate();
  const double merit = m_activeAnalyzer->doubleValue();
  noteEvaluation(x, merit);
  const std::uint64_t evaluations = ++m_workerEvaluations;
  if (m_postsMonitors.load()) {
    Dictionary monitor{{"doubleValue", merit}, {"contributionSummary", m_activeAnalyzer->contributionSummary()}};
    const std::uint64_t iteration = m_minimizer ? m_minimizer->iteration() : 0;
    performOnMainThreadForRun([this, monitor = std::move(monitor), evaluations, iteration] {
      setAndAnnounce("meritMonitor", m_meritMonitor, Value(monitor));
      setAndAnnounce("evaluations", m_evaluations, evaluations);
      setAndAnnounce("iteration", m_iteration, iteration);
    });
  }
  return merit;
}

double Optimizer::valueAtCoordinate(const VKSeries& x) {
  // A cancelled evaluation must not look like a perfect lens.
  if (platform::currentThreadIsCancelled()) return kInfinity;
  if (boundsViolatedByCoordinate(x)) return kInfinity;
  const double merit = evaluateActive(x);
  return std::isfinite(merit) ? merit : kInfinity;
}

std::optional<VKSeries> Optimizer::residualsAtCoordinate(const VKSeries& x) {
  if (platform::currentThreadIsCancelled()) return std::nullopt;
  if (boundsViolatedByCoordinate(x)) return std::nullopt;
  evaluateActive(x);
  const std::vector<double> r = m_activeAnalyzer->residuals();
  for (double v : r)
    if (!std::isfinite(v)) return std::nullopt;
  return VKSeries(r.size(), r.data());
}

double Optimizer::value(double x) { return valueAtCoordinate(VKSeries::seriesWithDouble(x)); }

bool Optimizer::boundsViolatedByCoordinate(const VKSeries& x) const {
  if (x.norm() > m_universeRadius) return true;
  for (std::size_t i = 0; i < m_enabledVariables.size() && i < x.count(); ++i) {
    const double lo = m_enabledVariables[i]->minimum(), hi = m_enabledVariables[i]->maximum(), v = x.at(i);
    if (hi > lo) {
      if (v < lo || v > hi) return true;
    } else if (lo > hi) {
      if (hi < v && v < lo) return true;
    } else {
      return true;
    }
  }
  return false;
}

bool Optimizer::verifyInitialCoordinate(const VKSeries& x) {
  if (x.norm() > m_universeRadius) {
    chatterFromWorker(platform::format("initial coordinate is outside universe (universeRadius = %g)", m_universeRadius));
    return false;
  }
  for (std::size_t i = 0; i < m_enabledVariables.size() && i < x.count(); ++i) {
    const auto& d = *m_enabledVariables[i];
    const double lo = d.minimum(), hi = d.maximum(), v = x.at(i);
    if (hi > lo && (v < lo || v > hi)) {
      chatterFromWorker(platform::format("initial value of variable %s not inside interval (%g, %g)",
                                         d.keyPath().c_str(), lo, hi));
      return false;
    }
    if (lo == hi) {
      chatterFromWorker(platform::format("variable %s has null interval", d.keyPath().c_str()));
      return false;
    }
    if (lo > hi && hi < v && v < lo) {
      chatterFromWorker(platform::format("initial value of variable %s not outside interval (%g, %g)",
                                         d.keyPath().c_str(), hi, lo));
      return false;
    }
  }
  return true;
}

// --- runs --------------------------------------------------------------------------------------------------

void Optimizer::startOptimization() {
  stopWork();
  setupEnabledVariables();
  if (!workCanStartOptimization()) return;
  workWillStartOptimization();
  startWork();
}

bool Optimizer::workCanStart() {
  bool ok = OBCalculator::workCanStart();
  if (!m_lens) {
    setChatter("no lens defined");
    ok = false;
  }
  if (!m_analyzer) {
    setChatter("no analyzer defined");
    ok = false;
  }
  return ok;
}

bool Optimizer::workCanStartOptimization() {
  if (!workCanStart()) return false;
  setupEnabledVariables();
  if (m_enabledVariables.empty()) {
    setChatter("no variables enabled");
    return false;
  }
  return true;
}

void Optimizer::workWillStartOptimization() {
  OBCalculator::workWillStart();
  setAndAnnounce("meritMonitor", m_meritMonitor, Value());
  setAndAnnounce("variablesMonitor", m_variablesMonitor, Value());
  setAndAnnounce("iteration", m_iteration, std::uint64_t{0});
  setAndAnnounce("evaluations", m_evaluations, std::uint64_t{0});
  m_workerEvaluations = 0;
  setChatter({});
  m_activeLens = m_lens->copy();
  runChangeCycle(*m_activeLens);
  m_activeAnalyzer = m_analyzer->copy();
  m_activeAnalyzer->setLens(m_activeLens);
  m_variables->setLens(m_activeLens);
  m_variables->setRebuildSuspended(true);
  setupEnabledVariables();
  m_startCoordinate = coordinateData().coordinate;
  m_best.reset();
  m_postsMonitors = true;
}

void Optimizer::workDidStart() {
  OBCalculator::workDidStart();
  setAndAnnounce("isOptimizing", m_isOptimizing, m_activeLens != nullptr);
}

void Optimizer::workerKernel() {
  if (m_activeLens)
    optimizationKernel();
  else
    OBCalculator::workerKernel();
}

void Optimizer::optimizationKernel() {
  if (!m_activeLens || !m_activeAnalyzer) return;
  struct ClearMinimizer {
    foundation::Minimiser*& m;
    ~ClearMinimizer() { m = nullptr; }
  } clear{m_minimizer};
  chatterFromWorker("Setting up...");
  const CoordinateData data = coordinateData();
  const VKSeries& x0 = data.coordinate;
  VKSeries s = data.scale;
  if (!verifyInitialCoordinate(x0)) return;
  try {
    valueAtCoordinate(x0);  // the start is the first best point
    const std::size_t n = x0.count();
    if (m_preferredMinimizerTag == kLevenbergMarquardtTag) {
      chatterFromWorker("Levenberg-Marquardt minimizer is setting up");
      foundation::LevenbergMarquardt lm;
      m_minimizer = &lm;
      lm.setConvergenceStandardError(m_convergenceStandardError);
      lm.setConvergenceSize(0);
      lm.setConvergenceStepSize(m_convergenceSize);
      lm.setConvergenceValue(m_convergenceValue);
      lm.setUniverseRadius(m_universeRadius);
      lm.setMaxIteration(m_maxIteration);
      lm.setBoostFactor(kDampingBoostFactor);
      lm.setDropFactor(kDampingDropFactor);
      // The minimiser clamps into closed intervals; a forbidden gap (minimum above maximum)
      // is left to the residual function, which has no residuals inside it.
      std::vector<double> lower, upper;
      for (const auto& d : m_enabledVariables) {
        const bool interval = d->maximum() > d->minimum();
        lower.push_back(interval ? d->minimum() : -kInfinity);
        upper.push_back(interval ? d->maximum() : kInfinity);
      }
      lm.setLowerBounds(std::move(lower));
      lm.setUpperBounds(std::move(upper));
      s.scaleBy(1e-4);
      lm.setInfinitesmal(1e-4);
      auto simplex = foundation::NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(x0, s);
      const foundation::LeastSquaresFunctor functor(
          [this](const VKSeries& x) { return residualsAtCoordinate(x); });
      chatterFromWorker("Levenberg-Marquardt minimizer is running");
      lm.minimizeLeastSquaresFunctor(functor, simplex);
      chatterFromWorker(lm.returnCodeDescription());
    } else if (m_preferredMinimizerTag == kNelderMeadTag && n > 1) {
      chatterFromWorker("Nelder Mead minimizer is setting up");
      foundation::NelderMead nm;
      m_minimizer = &nm;
      nm.setConvergenceStandardError(m_convergenceStandardError);
      nm.setConvergenceSize(m_convergenceSize);
      nm.setConvergenceValue(m_convergenceValue);
      nm.setUniverseRadius(m_universeRadius);
      nm.setMaxIteration(m_maxIteration);
      auto simplex = foundation::NelderMead::euclideanSimplexWithInitialPoint(x0, s);
      const foundation::MultivariateFunctor functor([this](const VKSeries& x) { return valueAtCoordinate(x); });
      chatterFromWorker("Nelder Mead minimizer is running");
      nm.minimizeFunctor(functor, simplex);
      chatterFromWorker(nm.returnCodeDescription());
    } else if (m_preferredMinimizerTag == kNelderMeadTag) {
      const double x = x0.at(0), d = s.at(0);
      foundation::GoldenSectionSearch search;
      m_minimizer = &search;
      search.setConvergenceStandardError(m_convergenceStandardError);
      search.setConvergenceSize(m_convergenceSize);
      search.setConvergenceValue(m_convergenceValue);
      search.setUniverseRadius(m_universeRadius);
      search.setMaxIteration(m_maxIteration);
      const foundation::Functor functor([this](double v) { return value(v); });
      chatterFromWorker("Golden section search for minimum is running");
      search.minimizeFunctor(functor, foundation::VKInterval(x, x + d), m_convergenceSize);
      chatterFromWorker(search.returnCodeDescription());
    } else {
      chatterFromWorker("did not recognize minimizer tag");
    }
  } catch (const std::exception& e) {
    platform::log("workerKernel detects exception: %s", e.what());
    chatterFromWorker("Exception occured, optimization aborted");
    m_best.reset();  // the document's lens keeps its starting values
    throw;
  }
}

void Optimizer::workDidStop(const analysis::WorkResult& result) {
  OBCalculator::workDidStop(result);
  if (m_activeLens) applyBestPoint();
  setMonitorsLive();
}

void Optimizer::applyBestPoint() {
  m_postsMonitors = false;
  m_variables->setRebuildSuspended(false);
  const bool moved = m_best && m_startCoordinate && !(m_best->first == *m_startCoordinate);
  if (moved && m_lens) {
    m_variables->suspendUpdate();
    for (std::size_t i = 0; i < m_enabledVariables.size() && i < m_best->first.count(); ++i)
      m_enabledVariables[i]->setValue(m_best->first.at(i));
    if (m_willApplyBestPoint) m_willApplyBestPoint();
    m_variables->updateLens(m_lens);
    m_variables->resumeUpdate();
  }
  if (m_best && m_analyzer) m_analyzer->setDoubleValue(m_best->second);
  m_activeAnalyzer = m_analyzer;
  if (m_variables->lens() != m_lens) {
    m_variables->setLens(m_lens);
    setupEnabledVariables();
  }
  m_activeLens = nullptr;
  m_startCoordinate.reset();
  setAndAnnounce("isOptimizing", m_isOptimizing, false);
}

// --- scale adjustment -------------------------------------------------------------------------------------

void Optimizer::adjustScale() {
  if (isBusy() || !m_lens || !m_analyzer) return;
  setupEnabledVariables();
  if (m_enabledVariables.empty()) {
    setChatter("no variables enabled");
    return;
  }
  // Probes run on a private copy, so the document's lens and its undo are never touched.
  m_activeLens = m_lens->copy();
  runChangeCycle(*m_activeLens);
  m_activeAnalyzer = m_analyzer->copy();
  m_variables->setLens(m_activeLens);
  setupEnabledVariables();
  const CoordinateData data = coordinateData();
  VKSeries x = data.coordinate;
  const VKSeries x0 = data.coordinate;
  const double f0 = valueAtCoordinate(x);
  const double threshold = 2 * std::abs(f0);
  for (std::size_t i = 0; i < m_enabledVariables.size(); ++i) {
    const auto& d = m_enabledVariables[i];
    setChatter(platform::format("checking variable %s", d->keyPath().c_str()));
    double scale = d->scale() > 0 ? d->scale() : 1.0;
    int halvings = 0;  // both directions together
    for (const double direction : {1.0, -1.0}) {
      for (;; ++halvings) {
        x.atPut(i, x0.at(i) + direction * scale);
        const double f = valueAtCoordinate(x);
        x.atPut(i, x0.at(i));
        if (!(std::abs(f) > threshold) || halvings >= kMaxScaleHalvings || !(scale / 2 > 0)) break;
        scale /= 2;
        d->setScale(scale);
      }
    }
  }
  m_variables->setLens(m_lens);
  m_activeLens = nullptr;
  m_activeAnalyzer = m_analyzer;
  setupEnabledVariables();
  m_best.reset();
}

}  // namespace orb::optimisation
