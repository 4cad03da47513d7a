// Series statistics over long sampled curves, as the minimisers and scans use them.
#include <benchmark/benchmark.h>

#include "foundation/linear/VKSeries.h"

namespace {

using orb::foundation::VKSeries;

void BM_VKSeriesStandardDeviation(benchmark::State& state) {
  const VKSeries s = VKSeries::seriesWithCount(static_cast<std::size_t>(state.range(0)), -1, 3);
  for (auto _ : state) benchmark::DoNotOptimize(s.standardDeviation());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_VKSeriesStandardDeviation)->Arg(1 << 20);

void BM_VKSeriesSetValueMinus(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const VKSeries a = VKSeries::seriesWithCount(n, 0, 1), b = VKSeries::seriesWithCount(n, 1, 0);
  VKSeries out(n);
  for (auto _ : state) {
    out.setValueMinus(a, b);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_VKSeriesSetValueMinus)->Arg(1 << 20);

}  // namespace
