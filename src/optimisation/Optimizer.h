#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "analysis/OBCalculator.h"
#include "foundation/linear/VKSeries.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/VariablesController.h"

namespace orb::foundation {
class Minimiser;
}
namespace orb::platform {
class UserDefaults;
}

namespace orb::optimisation {

/// Minimises one merit function (the analyzer) over the enabled variables of the
/// document's lens, on the calculator's worker, working on a private copy of the lens and
/// of the merit function. Levenberg–Marquardt on the residual vector (preferred tag 1),
/// Nelder–Mead on the merit value (tag 0), or golden-section search when tag 0 has a
/// single variable. When the run ends, also after a stop, the best point it measured is
/// written into the document's lens as one change (one change cycle, so the document
/// records one undo step); a run that fails or never starts leaves the lens alone.
///
/// The objective functions treat a point outside the bounds, a cancelled evaluation and a
/// non-finite merit alike as inadmissible (+infinity, or no residuals), so none of them
/// can pass for a minimum.
///
/// Status: `chatter` says what the optimiser does or why it stopped; the merit and
/// variables monitors show the live objects while idle and snapshot dictionaries during a
/// run. Settings live in the user defaults ("oStandardError", "oStepSize",
/// "oFunctionValue", "oUniverseRadius", "oIterationLimit", "oPreferredOptimizerTag").
class Optimizer : public analysis::OBCalculator, public analysis::LensUser {
 public:
  static constexpr unsigned kNelderMeadTag = 0;
  static constexpr unsigned kLevenbergMarquardtTag = 1;

  /// `defaults` holds the settings and remembered scales; it must outlive the optimiser.
  static std::shared_ptr<Optimizer> create(platform::UserDefaults& defaults);
  explicit Optimizer(platform::UserDefaults& defaults);

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "Optimizer"; }

  // --- settings ---------------------------------------------------------------------------
  void useUserDefaults();
  void useFactoryDefaults();
  void saveDefaults();
  /// Writes the factory settings into the defaults (the minimiser tag included).
  static void restoreFactoryDefaults(platform::UserDefaults& defaults);
  double convergenceStandardError() const { return m_convergenceStandardError; }
  void setConvergenceStandardError(double v) { setAndAnnounce("convergenceStandardError", m_convergenceStandardError, v); }
  double convergenceSize() const { return m_convergenceSize; }
  void setConvergenceSize(double v) { setAndAnnounce("convergenceSize", m_convergenceSize, v); }
  double convergenceValue() const { return m_convergenceValue; }
  void setConvergenceValue(double v) { setAndAnnounce("convergenceValue", m_convergenceValue, v); }
  double universeRadius() const { return m_universeRadius; }
  /// 0 or a negative radius means no limit.
  void setUniverseRadius(double radius);
  std::uint64_t maxIteration() const { return m_maxIteration; }
  void setMaxIteration(std::uint64_t v) { setAndAnnounce("maxIteration", m_maxIteration, v); }
  unsigned preferredMinimizerTag() const { return m_preferredMinimizerTag; }
  void setPreferredMinimizerTag(unsigned tag) { setAndAnnounce("preferredMinimizerTag", m_preferredMinimizerTag, tag); }
  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

  // --- lens, analyzer, variables ----------------------------------------------------------------
  LensPtr lens() const override { return m_lens; }
  /// Ignored while busy; hands the lens to the variables.
  void setLens(LensPtr lens) override;
  void firstTimeWithLens(const LensPtr& lens) override { (void)lens; }
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;
  const MeritFunctionPtr& analyzer() const { return m_analyzer; }
  /// Ignored while busy ("setAnalyzer snubbed").
  void setAnalyzer(MeritFunctionPtr analyzer);
  const std::shared_ptr<VariablesController>& variablesController() const { return m_variables; }
  void setupEnabledVariables();
  const VariablesController::Descriptors& enabledVariables() const { return m_enabledVariables; }

  /// Called on the main thread just before the best point is written into the document's
  /// lens: the document names its undo step here.
  void setWillApplyBestPoint(std::function<void()> hook) { m_willApplyBestPoint = std::move(hook); }

  // --- actions ------------------------------------------------------------------------------------
  void startOptimization();
  void stopOptimization() { stopWork(); }
  /// Halves each enabled variable's scale while a step of it changes the merit by more
  /// than twice its value (at most kMaxScaleHalvings times per variable), on a private
  /// copy of the lens; a probe outside the bounds always halves. Main thread, while idle.
  void adjustScale();
  static constexpr int kMaxScaleHalvings = 30;

  // --- status ---------------------------------------------------------------------------------------
  const std::string& chatter() const { return m_chatter; }
  void setChatter(const std::string& chatter);
  bool isOptimizing() const { return m_isOptimizing; }
  std::uint64_t evaluations() const { return m_evaluations; }
  std::uint64_t iteration() const { return m_iteration; }
  platform::Dictionary statusDictionary() const;
  /// The analyzer while idle, a dictionary of "doubleValue" and "contributionSummary"
  /// during a run.
  const platform::Value& meritMonitor() const { return m_meritMonitor; }
  /// The variables controller while idle, a dictionary holding
  /// "arrayOfVariableDescriptors" during a run.
  const platform::Value& variablesMonitor() const { return m_variablesMonitor; }

  // --- objective functions (worker thread during a run) ---------------------------------------------------
  /// "coordinate" and "scale" of the enabled variables.
  struct CoordinateData {
    foundation::VKSeries coordinate{0};
    foundation::VKSeries scale{0};
  };
  CoordinateData coordinateData() const;
  double valueAtCoordinate(const foundation::VKSeries& x);
  std::optional<foundation::VKSeries> residualsAtCoordinate(const foundation::VKSeries& x);
  double value(double x);
  void updateLensWithCoordinate(const foundation::VKSeries& x);
  bool boundsViolatedByCoordinate(const foundation::VKSeries& x) const;
  /// False, with the reason as chatter, when the start lies outside the bounds.
  bool verifyInitialCoordinate(const foundation::VKSeries& x);
  /// The best point measured so far in this run.
  std::optional<std::pair<foundation::VKSeries, double>> best() const { return m_best; }

  // --- worker --------------------------------------------------------------------------------------------
  bool workCanStart() override;
  bool workCanStartOptimization();
  void workWillStartOptimization();
  void workDidStart() override;
  void workDidStop(const analysis::WorkResult& result) override;

 protected:
  void workerKernel() override;
  void optimizationKernel();

 private:
  void chatterFromWorker(const std::string& text);
  void noteEvaluation(const foundation::VKSeries& x, double merit);
  double evaluateActive(const foundation::VKSeries& x);
  void setMonitorsLive();
  void applyBestPoint();

  platform::UserDefaults* m_defaults;
  std::shared_ptr<VariablesController> m_variables;
  LensPtr m_lens;
  MeritFunctionPtr m_analyzer;
  LensPtr m_activeLens;
  MeritFunctionPtr m_activeAnalyzer;
  VariablesController::Descriptors m_enabledVariables;
  std::optional<std::pair<foundation::VKSeries, double>> m_best;
  std::optional<foundation::VKSeries> m_startCoordinate;
  bool m_isOptimizing = false;
  std::string m_chatter;
  foundation::Minimiser* m_minimizer = nullptr;  // of the running kernel, worker only
  std::uint64_t m_evaluations = 0;
  std::uint64_t m_iteration = 0;
  std::atomic<std::uint64_t> m_workerEvaluations{0};
  // Set before a run's worker starts and cleared after it ends: the worker posts its
  // snapshots to the main thread only while a run is on.
  std::atomic<bool> m_postsMonitors{false};
  double m_convergenceStandardError = 1e-6;
  double m_convergenceSize = 1e-5;
  double m_convergenceValue = 0;
  double m_universeRadius = std::numeric_limits<double>::infinity();
  std::uint64_t m_maxIteration = 100;
  unsigned m_preferredMinimizerTag = kLevenbergMarquardtTag;
  platform::Value m_meritMonitor;
  platform::Value m_variablesMonitor;
  std::function<void()> m_willApplyBestPoint;
};

}  // namespace orb::optimisation
