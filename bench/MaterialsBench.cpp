#include <benchmark/benchmark.h>

#include <vector>

#include "materials/Glass.h"
#include "materials/ZemaxGlass.h"

using namespace orb::materials;

namespace {

std::shared_ptr<ZemaxGlass> sellmeierGlass() {
  auto g = ZemaxGlass::glassWithName("N-BK7");
  g->setFormula(2);
  const double c[6] = {1.03961212, 0.00600069867, 0.231792344, 0.0200179144, 1.01046945, 103.560653};
  g->setCoefficientValuesFromDoubles(c, 6);
  return g;
}

std::vector<double> wavelengths(std::size_t n) {
  std::vector<double> w(n);
  for (std::size_t i = 0; i < n; ++i) w[i] = 0.4 + 0.6 * static_cast<double>(i) / static_cast<double>(n);
  return w;
}

// Index of a Sellmeier (AGF formula 2) glass at 10⁶ wavelengths through the virtual law.
void BM_SellmeierIndexMillionWavelengths(benchmark::State& state) {
  auto glass = sellmeierGlass();
  const Glass& g = *glass;
  const auto w = wavelengths(1000000);
  for (auto _ : state) {
    double sum = 0;
    for (double lambda : w) sum += g.indexAtWavelengthInMicrons(lambda);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(w.size()));
}
BENCHMARK(BM_SellmeierIndexMillionWavelengths)->Unit(benchmark::kMillisecond);

// The model glass (fitted two-term law) for comparison.
void BM_ModelGlassIndexMillionWavelengths(benchmark::State& state) {
  auto glass = Glass::glassWithIndex(1.5168, 64.17);
  const auto w = wavelengths(1000000);
  for (auto _ : state) {
    double sum = 0;
    for (double lambda : w) sum += glass->indexAtWavelengthInMicrons(lambda);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(w.size()));
}
BENCHMARK(BM_ModelGlassIndexMillionWavelengths)->Unit(benchmark::kMillisecond);

}  // namespace
