// What a user waits for when a lens file opens: the Zemax text read, the lens made from
// it, the system update and the real-ray semidiameters, as the document does it. The
// glass catalog is loaded once, before the first iteration, as the program does at start.
#include <benchmark/benchmark.h>

#include <string>

#include "ExampleLens.h"
#include "lens/Lens.h"

namespace {

using namespace orb;

void BM_OpenLens(benchmark::State& state, const std::string& file) {
  benchmark::DoNotOptimize(bench::exampleLens(file));  // catalogs and class tables, once
  for (auto _ : state) {
    auto lens = bench::exampleLens(file);
    benchmark::DoNotOptimize(lens.get());
  }
  auto lens = bench::exampleLens(file);
  state.counters["surfaces"] = static_cast<double>(lens->surfaceArray().size());
}

BENCHMARK_CAPTURE(BM_OpenLens, DoubleGauss, std::string("DoubleGauss.zmx"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenLens, DoubleGaussRelay, std::string("DoubleGaussRelay.zmx"))->Unit(benchmark::kMillisecond);
// Four even aspheres, ray aiming on, nine fields: the aiming tables and the aimed
// semidiameter fans are what the opening adds over the spherical lenses.
BENCHMARK_CAPTURE(BM_OpenLens, AsphericCameraLens, std::string("AsphericCameraLens.zmx"))->Unit(benchmark::kMillisecond);

}  // namespace
