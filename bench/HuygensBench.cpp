#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "ExampleLens.h"
#include "analysis/OBCalculatorUpdater.h"
#include "lens/Lens.h"
#include "platform/RunLoop.h"
#include "wavefront_illumination/HuygensCalculator.h"

namespace {

using namespace orb;

// The Huygens point-spread curve stage of the double Gauss on its axis at the primary
// wave: 64 × 64 screen points, about 10⁴ rays, summed by the worker alone (1) or by 8
// summation threads; driven by the updater and the main run loop as in the application.
// Each iteration asks for a new sum (the rays stay as traced). `requested`: the ray count
// asked for; the hexapolar pattern rounds it up to whole rings.
void huygensPSFDoubleGauss(benchmark::State& state, std::uint64_t requested) {
  auto lens = bench::exampleLens("DoubleGauss.zmx");
  auto calculator = platform::makeObject<wavefront::HuygensCalculator>();
  calculator->setNumberOfRays(requested);
  calculator->setScreenNumberOfPointsPerSide(64);
  calculator->setScreenDelta(0.5);
  calculator->setSwarmThreadCount(static_cast<unsigned>(state.range(0)));
  calculator->setLens(lens);
  calculator->setFieldOfInterest(lens->fieldArray().front());
  calculator->setWaveOfInterest(lens->primaryWave());
  auto updater = analysis::OBCalculatorUpdater::make(calculator);
  auto& loop = platform::RunLoop::main();
  auto settle = [&] {
    while (!calculator->plotDictionary() || calculator->needsWork() || calculator->hasWorkerThread() ||
           loop.hasPendingWork())
      loop.runOnce();
  };
  settle();
  std::size_t rays = 0;
  if (const auto exit = calculator->raysAtExitPupil())
    for (const auto& r : *exit) rays += r.isAlive();
  for (auto _ : state) {
    calculator->setPlotDictionary(std::nullopt);
    calculator->setScreenDelta(calculator->screenDelta());  // the same screen, summed again
    settle();
  }
  state.counters["threads"] = static_cast<double>(state.range(0));
  state.counters["rays"] = static_cast<double>(rays);
  state.counters["phasors/s"] = benchmark::Counter(static_cast<double>(rays) * 64 * 64,
                                                   benchmark::Counter::kIsIterationInvariantRate);
  updater.reset();
  calculator.reset();
  loop.runUntilIdle();
}
void BM_HuygensPSFDoubleGauss(benchmark::State& state) { huygensPSFDoubleGauss(state, 10000); }
BENCHMARK(BM_HuygensPSFDoubleGauss)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
// 65 rings: 12,871 rays.
void BM_HuygensPSFDoubleGauss65Rings(benchmark::State& state) { huygensPSFDoubleGauss(state, 12871); }
BENCHMARK(BM_HuygensPSFDoubleGauss65Rings)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The sum alone, on the calling thread or 8 summation threads: the exit-pupil rays of the
// same run onto 64 × 64 points about the paraxial image.
void BM_HuygensSumDoubleGauss(benchmark::State& state) {
  auto lens = bench::exampleLens("DoubleGauss.zmx");
  auto calculator = platform::makeObject<wavefront::HuygensCalculator>();
  calculator->setNumberOfRays(10000);
  calculator->setLens(lens);
  calculator->setFieldOfInterest(lens->fieldArray().front());
  calculator->setWaveOfInterest(lens->primaryWave());
  calculator->calculate();
  const auto exit = calculator->raysAtExitPupil();
  if (!exit) {
    state.SkipWithError("no rays");
    return;
  }
  std::size_t rays = 0;
  for (const auto& r : *exit) rays += r.isAlive();
  const auto points = wavefront::HuygensCalculator::pointsWithGridSize(64, 64, {0, 0, 0}, {0, 0, 1}, 0.0005);
  calculator->setSwarmThreadCount(static_cast<unsigned>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(calculator->amplitudeFieldForRays(*exit, points, 64));
  state.counters["threads"] = static_cast<double>(state.range(0));
  state.counters["rays"] = static_cast<double>(rays);
  state.counters["phasors/s"] = benchmark::Counter(static_cast<double>(rays) * 64 * 64,
                                                   benchmark::Counter::kIsIterationInvariantRate);
  calculator.reset();
  platform::RunLoop::main().runUntilIdle();
}
// CPU time is the whole process's: against the worker alone it shows what the threads
// add besides the sum itself, whatever else the machine is running.
BENCHMARK(BM_HuygensSumDoubleGauss)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(5);

}  // namespace
