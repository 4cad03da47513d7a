// How many Levenberg–Marquardt iterations and merit evaluations the optimiser needs to
// converge, run as the window runs it (Optimizer::startOptimization on its worker, the
// main run loop pumped), with the iteration limit raised so one run goes to the end.
// The counters, not the time, are the figures of interest.
#include <benchmark/benchmark.h>

#include "CookeTripletLens.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <thread>

#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "optimisation/ArchiveClasses.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/MeritoidHexRays.h"
#include "optimisation/MeritoidKeyPath.h"
#include "optimisation/Optimizer.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "tracing/LensSummary.h"
#include "tracing/Regeneration.h"

namespace {

using namespace orb;

/// User defaults of the benchmark's own (no remembered scales), removed afterwards.
class ScratchDefaults {
 public:
  ScratchDefaults() {
    m_dir = std::filesystem::temp_directory_path() / ("orb-optimizer-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_dir);
    m_defaults = platform::makeObject<platform::UserDefaults>(m_dir.string());
  }
  ~ScratchDefaults() {
    m_defaults.reset();
    std::filesystem::remove_all(m_dir);
  }
  platform::UserDefaults& operator*() { return *m_defaults; }

 private:
  std::filesystem::path m_dir;
  std::shared_ptr<platform::UserDefaults> m_defaults;
};

std::shared_ptr<lens::Lens> cookeTriplet(std::initializer_list<std::size_t> variable) {
  return test::cookeTripletWithVariableCurvatures(ORB_EXAMPLES_DIR, variable);
}

/// The optimiser window's singlet: plano-convex, nd 1.5168, 4 mm thick, stop on the front,
/// entrance pupil 10, fields 0° and 5°, front curvature 0.01 variable.
std::shared_ptr<lens::Lens> singlet() {
  optimisation::registerArchiveClasses();
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  auto object = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  auto front = lens::Surface::create();
  front->setCurvature(0.01);
  front->setThickness(4);
  front->setGlass(materials::Glass::glassWithIndex(1.5168));
  auto back = lens::Surface::create();
  back->setThickness(97);
  auto image = lens::Surface::create();
  for (const auto& s : {object, front, back, image}) lens->insertInSurfaces(s);
  lens->setStopSurface(front);
  front->setCurvatureSolveType(1);
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(10);
  auto axis = lens::Field::field();
  auto edge = lens::Field::field();
  edge->setY(5);
  lens->setFieldArray({axis, edge});
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);
  return lens;
}

optimisation::MeritFunctionPtr focalLengthMerit(double target) {
  auto f = optimisation::MeritFunction::create();
  auto focal = optimisation::MeritoidKeyPath::makeKind("Focal Length", "lens.focalLength");
  focal->setTarget(target);
  focal->setTolerance(0.01);
  f->addMeritoid(focal);
  return f;
}

/// Focal length 95 and the on-axis RMS spot (polychromatic, 127 rays, target 0, 1 µm).
optimisation::MeritFunctionPtr focalLengthAndSpotMerit() {
  auto f = focalLengthMerit(95);
  auto spot = optimisation::Meritoid::make<optimisation::MeritoidRMS>();
  spot->setIdentifier("RMS Spot Size");
  spot->setHy(0);
  spot->setTarget(0);
  f->addMeritoid(spot);
  return f;
}

/// One Levenberg–Marquardt run to its end, with the counts it needed as counters.
void runToConvergence(benchmark::State& state, const std::shared_ptr<lens::Lens>& lens,
                      const optimisation::MeritFunctionPtr& merit, double targetFocalLength) {
  if (!lens) {
    state.SkipWithError("no lens");
    return;
  }
  ScratchDefaults defaults;
  std::uint64_t iterations = 0, evaluations = 0;
  double focalLength = 0, value = 0;
  std::string chatter;
  for (auto _ : state) {
    state.PauseTiming();
    auto working = lens->copy();
    working->setIsReady(true);
    auto analyzer = merit->copy();
    auto optimizer = optimisation::Optimizer::create(*defaults);
    optimizer->setPreferredMinimizerTag(optimisation::Optimizer::kLevenbergMarquardtTag);
    optimizer->setMaxIteration(5000);
    optimizer->setLens(working);
    optimizer->setAnalyzer(analyzer);
    platform::RunLoop::main().runUntilIdle();
    state.ResumeTiming();
    optimizer->startOptimization();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while ((optimizer->isBusy() || optimizer->isOptimizing()) && std::chrono::steady_clock::now() < limit)
      if (!platform::RunLoop::main().runOnce()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    platform::RunLoop::main().runUntilIdle();
    iterations = optimizer->iteration();
    evaluations = optimizer->evaluations();
    chatter = optimizer->chatter();
    focalLength = tracing::focalLength(*working);
    value = analyzer->doubleValue();
  }
  state.counters["iterations"] = static_cast<double>(iterations);
  state.counters["evaluations"] = static_cast<double>(evaluations);
  state.counters["merit"] = value;
  state.counters["focalLengthError"] = focalLength - targetFocalLength;
  state.SetLabel(chatter);
}

// Curvatures of both faces of the front element and of the front of the rear one: the
// focal length cannot be changed without defocusing the fixed image plane, so the minimum
// keeps large spot residuals and the focal length lands a little off 95.
void BM_OptimizerTripletFocalLengthAndSpot(benchmark::State& state) {
  runToConvergence(state, cookeTriplet({1, 2, 5}), focalLengthAndSpotMerit(), 95);
}
BENCHMARK(BM_OptimizerTripletFocalLengthAndSpot)->Unit(benchmark::kMillisecond)->Iterations(1);

// The first element's curvatures and the middle one's front: the minimum lies at 95.18 mm.
void BM_OptimizerTripletFocalLengthAndSpotFrontCurvatures(benchmark::State& state) {
  runToConvergence(state, cookeTriplet({1, 2, 3}), focalLengthAndSpotMerit(), 95);
}
BENCHMARK(BM_OptimizerTripletFocalLengthAndSpotFrontCurvatures)->Unit(benchmark::kMillisecond)->Iterations(1);

// The front faces of the three elements: both targets nearly reachable.
void BM_OptimizerTripletFocalLengthAndSpotFrontFaces(benchmark::State& state) {
  runToConvergence(state, cookeTriplet({1, 3, 5}), focalLengthAndSpotMerit(), 95);
}
BENCHMARK(BM_OptimizerTripletFocalLengthAndSpotFrontFaces)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OptimizerTripletFocalLength(benchmark::State& state) {
  runToConvergence(state, cookeTriplet({1, 2, 5}), focalLengthMerit(95), 95);
}
BENCHMARK(BM_OptimizerTripletFocalLength)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OptimizerSingletFocalLength(benchmark::State& state) {
  runToConvergence(state, singlet(), focalLengthMerit(100), 100);
}
BENCHMARK(BM_OptimizerSingletFocalLength)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
