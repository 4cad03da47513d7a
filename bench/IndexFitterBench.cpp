#include <benchmark/benchmark.h>

#include <memory>

#include "materials/IndexFitter.h"
#include "platform/Value.h"

using orb::materials::IndexFitter;
using orb::platform::Array;
using orb::platform::Dictionary;

// One Fit from a new fitter (every coefficient 0) on the three C, d, F rows of a crown:
// what the user waits for after pressing Fit in the index fitter window.
static void BM_IndexFitterThreeRowsFromZero(benchmark::State& state) {
  const Array rows{Dictionary{{"wavelength", 656.279}, {"indexOfRefraction", 1.518}},
                   Dictionary{{"wavelength", 587.562}, {"indexOfRefraction", 1.525}},
                   Dictionary{{"wavelength", 486.133}, {"indexOfRefraction", 1.532}}};
  double chi2 = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto fitter = IndexFitter::indexFitter();
    fitter->setIndexData(rows);
    state.ResumeTiming();
    fitter->fit();
    chi2 = fitter->chiSquared();
    benchmark::DoNotOptimize(chi2);
  }
  state.counters["chi2"] = chi2;
}
BENCHMARK(BM_IndexFitterThreeRowsFromZero)->Unit(benchmark::kMillisecond);
