#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ExampleLens.h"
#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/LeastSquaresFunctor.h"
#include "foundation/minimise/LevenbergMarquardt.h"
#include "foundation/minimise/NelderMead.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "optimisation/ArchiveClasses.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/MeritoidHexRays.h"
#include "optimisation/VariablesController.h"
#include "platform/Object.h"
#include "platform/UserDefaults.h"
#include "tracing/Regeneration.h"

namespace {

using namespace orb;
using foundation::VKSeries;

// The optimiser's inner loop on examples/DoubleGauss.zmx: ten variables (the curvatures of
// every surface but the object, the stop and the image) written into a private copy of
// the lens, its change cycle, then an RMS-spot merit function of three operands (on axis,
// 0.7 and full field; polychromatic, 127 rays each, target 0, so residuals per ray)
// measured on it. This is what Optimizer::evaluateActive does per point, less the monitor
// snapshots it posts to the main thread.
class SpotProblem {
 public:
  SpotProblem() {
    optimisation::registerArchiveClasses();
    tracing::registerSystemGenerator();
    m_dir = std::filesystem::temp_directory_path() / ("orb-optimisation-bench-" + std::to_string(::getpid()));
    m_defaults = platform::makeObject<platform::UserDefaults>(m_dir.string());
    m_lens = bench::exampleLens("DoubleGauss.zmx");
    for (std::size_t i = 1; i + 1 < m_lens->surfaceArray().size(); ++i) {
      const auto& s = m_lens->surfaceArray()[i];
      if (!s->isStop()) s->setCurvatureSolveType(1);
    }
    m_lens->generateSystemFromParaxialSpecification();
    m_lens->setIsReady(true);
    m_merit = optimisation::MeritFunction::create();
    for (const double hy : {0.0, 0.7, 1.0}) {
      auto spot = optimisation::Meritoid::make<optimisation::MeritoidRMS>();
      spot->setIdentifier("RMS Spot Size");
      spot->setHy(hy);
      spot->setTarget(0);
      spot->setTolerance(1);  // in the operand's display units, µm
      m_merit->addMeritoid(spot);
    }
    m_merit->setLens(m_lens);
    m_variables = optimisation::VariablesController::create(*m_defaults);
    m_variables->setLens(m_lens);
    m_enabled = m_variables->enabledVariables();
    m_start = VKSeries(m_enabled.size());
    for (std::size_t i = 0; i < m_enabled.size(); ++i) m_start.atPut(i, m_enabled[i]->value());
  }
  ~SpotProblem() {
    m_variables.reset();
    m_defaults.reset();
    std::filesystem::remove_all(m_dir);
  }

  std::size_t variableCount() const { return m_enabled.size(); }
  const VKSeries& start() const { return m_start; }

  /// The residual vector at `x`; nothing when the merit is not finite.
  std::optional<VKSeries> residualsAt(const VKSeries& x) {
    ++evaluations;
    m_variables->suspendUpdate();
    for (std::size_t i = 0; i < m_enabled.size(); ++i) m_enabled[i]->setValue(x.at(i));
    m_variables->resumeUpdate();
    m_merit->setLens(m_lens);
    m_merit->evaluate();
    if (!std::isfinite(m_merit->doubleValue())) return std::nullopt;
    const std::vector<double> r = m_merit->residuals();
    return VKSeries(r.size(), r.data());
  }
  double merit() const { return m_merit->doubleValue(); }
  std::size_t residualCount() const { return m_merit->residuals().size(); }

  std::uint64_t evaluations = 0;

 private:
  std::filesystem::path m_dir;
  std::shared_ptr<platform::UserDefaults> m_defaults;
  std::shared_ptr<lens::Lens> m_lens;
  optimisation::MeritFunctionPtr m_merit;
  std::shared_ptr<optimisation::VariablesController> m_variables;
  optimisation::VariablesController::Descriptors m_enabled;
  VKSeries m_start{0};
};

SpotProblem& spotProblem() {
  static SpotProblem problem;
  return problem;
}

// One merit evaluation: alternating between two nearby points, so every evaluation writes
// new values and re-measures every operand.
void BM_OptimisationSpotMeritEvaluation(benchmark::State& state) {
  SpotProblem& p = spotProblem();
  VKSeries other = p.start();
  other.atPut(0, other.at(0) * (1 + 1e-4));
  bool flip = false;
  if (!p.residualsAt(p.start())) {
    state.SkipWithError("the merit of the double Gauss is not finite");
    return;
  }
  state.counters["merit"] = p.merit();
  const std::uint64_t before = p.evaluations;
  for (auto _ : state) {
    auto r = p.residualsAt(flip ? other : p.start());
    flip = !flip;
    benchmark::DoNotOptimize(r);
  }
  state.counters["evaluations/s"] =
      benchmark::Counter(static_cast<double>(p.evaluations - before), benchmark::Counter::kIsRate);
  state.counters["variables"] = static_cast<double>(p.variableCount());
  state.counters["residuals"] = static_cast<double>(p.residualCount());
}
BENCHMARK(BM_OptimisationSpotMeritEvaluation)->Unit(benchmark::kMillisecond);

// One Levenberg–Marquardt iteration from the start as the optimiser sets it up: the
// least-squares simplex of n + 1 points (the differences that stand in for the Jacobian)
// evaluated, then one damped step evaluated.
void BM_OptimisationLevenbergMarquardtIteration(benchmark::State& state) {
  SpotProblem& p = spotProblem();
  VKSeries scale(p.variableCount());
  for (std::size_t i = 0; i < p.variableCount(); ++i) scale.atPut(i, 0.01);  // the default variable scale
  scale.scaleBy(1e-4);
  const foundation::LeastSquaresFunctor functor([&p](const VKSeries& x) { return p.residualsAt(x); });
  std::uint64_t evaluations = 0;
  for (auto _ : state) {
    const std::uint64_t before = p.evaluations;
    foundation::LevenbergMarquardt lm;
    lm.setMaxIteration(1);
    lm.setInfinitesmal(1e-4);
    auto simplex = foundation::NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(p.start(), scale);
    lm.minimizeLeastSquaresFunctor(functor, simplex);
    benchmark::DoNotOptimize(simplex);
    evaluations += p.evaluations - before;
  }
  state.counters["evaluations/iteration"] =
      static_cast<double>(evaluations) / static_cast<double>(state.iterations());
  state.counters["evaluations/s"] = benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OptimisationLevenbergMarquardtIteration)->Unit(benchmark::kMillisecond);

}  // namespace
