#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <thread>

#include "AllocationMeter.h"
#include "analysis/OBCalculatorUpdater.h"
#include "analysis/PlotDictionary.h"
#include "analysis/SpotDiagramCalculator.h"
#include "DoubleGauss.h"
#include "ExampleLens.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "platform/RunLoop.h"
#include "tracing/Regeneration.h"

namespace {

using namespace orb;

// The f = 100 mm, F/3 double Gauss, regenerated as the document does it; fields 0°, 10°
// and 14°, waves F, d, C.
std::shared_ptr<lens::Lens> regeneratedDoubleGauss() {
  tracing::registerSystemGenerator();
  std::size_t stop = 0;
  auto lens = bench::doubleGaussLens(stop);
  lens->setStopSurface(lens->surfaceArray()[stop]);
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(33.3);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  std::vector<std::shared_ptr<lens::Field>> fields;
  for (double angle : {0.0, 10.0, 14.0}) {
    auto f = lens::Field::field();
    f->setY(angle);
    fields.push_back(f);
  }
  lens->setFieldArray(fields);
  lens->setWaveArray(lens::Wave::FdC());
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);
  return lens;
}

// A whole spot-diagram run (start rays, trace, curves, publication) on its one worker
// thread, driven by the updater and the main run loop as in the application.
void BM_SpotDiagramDoubleGaussThreeFieldsThreeWaves(benchmark::State& state) {
  // Threads: 1, or every core (0), for the analyses' parallel engine.
  const int threads = state.range(0) > 0 ? static_cast<int>(state.range(0))
                                         : static_cast<int>(std::thread::hardware_concurrency());
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  auto lens = state.range(1) ? bench::exampleLens("DoubleGauss.zmx") : regeneratedDoubleGauss();
  auto calculator = platform::makeObject<analysis::SpotDiagramCalculator>();
  calculator->setNumberOfRays(10000);  // hexapolar: 10267 rays (58 rings) per field and wave
  calculator->setLens(lens);
  calculator->setFieldOfInterest(nullptr);
  calculator->setWaveOfInterest(nullptr);
  auto updater = analysis::OBCalculatorUpdater::make(calculator);
  auto& loop = platform::RunLoop::main();
  auto settle = [&] {
    while (!calculator->plotDictionary() || calculator->needsWork() || calculator->hasWorkerThread() ||
           loop.hasPendingWork())
      loop.runOnce();
  };
  settle();
  for (auto _ : state) {
    calculator->setPlotDictionary(std::nullopt);
    calculator->setNeedsCalculation(true);
    settle();
  }
  std::size_t points = 0;
  for (const auto& c : calculator->plotDictionary()->get(analysis::plot::kCurves).asArray())
    if (const auto* s = analysis::SeriesValue::from(c.asDictionary().get(analysis::plot::kXSeries)))
      points += s->count();
  state.counters["threads"] = threads;
  state.counters["rays"] = static_cast<double>(calculator->rays()->size());
  state.counters["spotPoints"] = static_cast<double>(points);
  updater.reset();
  calculator.reset();
  loop.runUntilIdle();
}
// Args: threads (0: every core), lens (1: read from examples/DoubleGauss.zmx, 0: built here).
BENCHMARK(BM_SpotDiagramDoubleGaussThreeFieldsThreeWaves)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// Peak memory of a spot diagram of about 10⁶ rays (3 fields × 3 waves × 111 111), by a
// fresh calculator each time: nothing of an earlier run is held or freed on the way, so
// the peak is what one whole run (start rays, trace, curves, publication) needs.
void BM_SpotDiagramMillionRaysMemory(benchmark::State& state) {
  const int threads = state.range(0) > 0 ? static_cast<int>(state.range(0))
                                         : static_cast<int>(std::thread::hardware_concurrency());
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  auto lens = bench::exampleLens("DoubleGauss.zmx");
  auto& loop = platform::RunLoop::main();
  std::size_t peak = 0, rays = 0;
  for (auto _ : state) {
    auto calculator = platform::makeObject<analysis::SpotDiagramCalculator>();
    calculator->setNumberOfRays(111111);  // per field and wave
    calculator->setLens(lens);
    calculator->setFieldOfInterest(nullptr);
    calculator->setWaveOfInterest(nullptr);
    loop.runUntilIdle();
    bench::AllocationMeter::resetPeak();
    const std::size_t before = bench::AllocationMeter::current.load();
    auto updater = analysis::OBCalculatorUpdater::make(calculator);
    while (!calculator->plotDictionary() || calculator->needsWork() || calculator->hasWorkerThread() ||
           loop.hasPendingWork())
      loop.runOnce();
    peak = std::max(peak, bench::AllocationMeter::peak.load() - before);
    rays = calculator->tracedBundle()->rays.size();
    updater.reset();
    calculator.reset();
    loop.runUntilIdle();
  }
  state.counters["threads"] = threads;
  state.counters["rays"] = static_cast<double>(rays);
  state.counters["bytes/ray"] = static_cast<double>(peak) / static_cast<double>(rays);
}
// Args: threads (0: every core).
BENCHMARK(BM_SpotDiagramMillionRaysMemory)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

// How long stopping takes: a spot diagram of 5 × 10⁵ rays (3 fields × 3 waves × 55 555) is
// started and stopped 5 ms later, while it makes or traces its rays; the time is that of
// the stop alone (cancel, wait for the worker, withdraw its delivery). It should stay well
// under 50 ms: generation and tracing poll the cancelled flag per chunk and block.
void BM_SpotDiagramStopLatency(benchmark::State& state) {
  auto lens = bench::exampleLens("DoubleGauss.zmx");
  auto calculator = platform::makeObject<analysis::SpotDiagramCalculator>();
  calculator->setNumberOfRays(55555);
  calculator->setLens(lens);
  calculator->setFieldOfInterest(nullptr);
  calculator->setWaveOfInterest(nullptr);
  auto& loop = platform::RunLoop::main();
  loop.runUntilIdle();
  double worst = 0;
  for (auto _ : state) {
    calculator->scheduleWorkerTaskIndex(analysis::OBCalculator::kCalculateTask);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = std::chrono::steady_clock::now();
    calculator->stopWork();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    worst = std::max(worst, seconds);
    loop.runUntilIdle();
  }
  state.counters["worst ms"] = worst * 1000;
}
BENCHMARK(BM_SpotDiagramStopLatency)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
