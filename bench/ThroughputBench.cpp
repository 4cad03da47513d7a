#include <benchmark/benchmark.h>

#include "ExampleLens.h"
#include "lens/Aperture.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "wavefront_illumination/ThroughputAgent.h"

namespace {

using namespace orb;

// The acceptance of the double Gauss (examples/DoubleGauss.zmx) with a hard stop at its
// semidiameter, on the axis in the primary wave: one call of the acceptance agent as the
// optimiser's acceptance operand makes it (mesh, traces, cumulative area).
// Args: initial depth, search depth.
void BM_AcceptanceDoubleGauss(benchmark::State& state) {
  auto lens = bench::exampleLens("DoubleGauss.zmx");
  auto stop = lens->stopSurface();
  stop->setAperture(lens::Aperture::apertureOfType(
      "Circular aperture", platform::Dictionary{{"rMin", 0.0}, {"rMax", stop->semidiameter()}}));
  wavefront::AcceptanceAgent agent;
  agent.setLens(lens);
  agent.setInitialDepth(static_cast<int>(state.range(0)));
  agent.setSearchDepth(static_cast<int>(state.range(1)));
  const auto field = lens::Field::field();
  const auto wave = lens->primaryWave();
  std::size_t vertices = 0;
  for (auto _ : state) {
    auto f = agent.generateAcceptanceDataForField(field, wave);
    benchmark::DoNotOptimize(f);
    vertices = agent.samplingVertices().size();
  }
  state.counters["rays"] = benchmark::Counter(static_cast<double>(vertices));
  state.counters["rays/s"] =
      benchmark::Counter(static_cast<double>(vertices) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AcceptanceDoubleGauss)->Args({3, 8})->Args({3, 12})->Unit(benchmark::kMillisecond);

}  // namespace
