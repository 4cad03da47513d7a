// What users wait for when a lens is traced in bulk: the double Gauss of examples/, read
// and updated as the document does it, 10⁶ rays of its 14° field, apertures on. Each
// figure is printed beside the reference kernel's, measured in the same run.
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "AllocationMeter.h"
#include "ExampleLens.h"
#include "ReferenceKernel.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace {

using namespace orb;

constexpr std::uint32_t kRays = 1000000;

struct Scene {
  std::shared_ptr<lens::Lens> lens = bench::exampleLens("DoubleGauss.zmx");
  tracing::Fields fields{tracing::chiefField(*lens)};
  tracing::pupil::Points pupil = tracing::pupil::squareArrayOfPointsInUnitCircle(kRays);

  std::vector<tracing::Ray> generate() { return *tracing::raysForFields(*lens, fields, pupil); }
};

Scene& scene() {
  static Scene s;
  return s;
}

int threadsOf(const benchmark::State& state) {
  return state.range(0) > 0 ? static_cast<int>(state.range(0)) : static_cast<int>(std::thread::hardware_concurrency());
}

// Runs f(begin, end) over `threads` equal slices of [0, n), each on its own thread.
template <class F>
void slices(std::size_t n, int threads, F f) {
  if (threads <= 1) return f(std::size_t{0}, n);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] { f(n * t / threads, n * (t + 1) / threads); });
  for (auto& th : pool) th.join();
}

void setRate(benchmark::State& state, std::uint64_t interactionsPerIteration) {
  state.counters["MraySurf/s"] = benchmark::Counter(static_cast<double>(interactionsPerIteration) * 1e-6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// Ray-surface interactions of one trace of `start`, by the driver's rule (live rays met by
// a turner), counted by the reference kernel.
std::uint64_t interactions(const std::vector<tracing::Ray>& start, lens::Lens& lens);

// --- The reference kernel --------------------------------------------------------------

struct ReferenceColumns {
  std::vector<double> qx, qy, qz, px, py, pz, opl;
  std::vector<double> alive;
  explicit ReferenceColumns(const std::vector<tracing::Ray>& rays) {
    for (const auto& r : rays) {
      qx.push_back(r.x()), qy.push_back(r.y()), qz.push_back(r.z());
      px.push_back(r.px()), py.push_back(r.py()), pz.push_back(r.pz());
      opl.push_back(r.opticalPathLength()), alive.push_back(r.isAlive() ? 1.0 : 0.0);
    }
  }
  bench::ReferenceKernel::Columns columns() {
    return {qx.data(), qy.data(), qz.data(), px.data(), py.data(), pz.data(), opl.data(), alive.data()};
  }
};

void BM_ReferenceKernel(benchmark::State& state) {
  Scene& s = scene();
  const auto rays = s.generate();
  const bench::ReferenceKernel kernel(*s.lens, *s.lens->primaryWave());
  const ReferenceColumns start(rays);
  const int threads = threadsOf(state);
  std::uint64_t steps = 0;
  ReferenceColumns work = start;  // reused, as the driver benchmarks reuse theirs
  for (auto _ : state) {
    state.PauseTiming();
    work = start;
    state.ResumeTiming();
    std::atomic<std::uint64_t> count{0};
    auto c = work.columns();
    slices(rays.size(), threads, [&](std::size_t b, std::size_t e) {
      const bench::ReferenceKernel::Columns part{c.qx + b, c.qy + b, c.qz + b, c.px + b,
                                                 c.py + b, c.pz + b, c.opl + b, c.alive + b};
      count += kernel.trace(part, e - b);
    });
    steps = count;
  }
  // The same rays through the driver must land where the kernel put them.
  std::vector<tracing::Ray> traced = rays;
  tracing::traceRays(*s.lens, traced);
  ReferenceColumns ref(rays);
  kernel.trace(ref.columns(), rays.size());
  double deviation = 0;
  std::size_t disagreeing = 0;
  for (std::size_t i = 0; i < traced.size(); ++i) {
    disagreeing += traced[i].isAlive() != (ref.alive[i] != 0);
    if (traced[i].isAlive() && ref.alive[i] != 0)
      deviation = std::max({deviation, std::abs(traced[i].x() - ref.qx[i]), std::abs(traced[i].y() - ref.qy[i])});
  }
  setRate(state, steps);
  state.counters["threads"] = threads;
  state.counters["maxDevMm"] = deviation;
  state.counters["fateDiffers"] = static_cast<double>(disagreeing);
}
std::uint64_t interactions(const std::vector<tracing::Ray>& start, lens::Lens& lens) {
  ReferenceColumns columns(start);
  return bench::ReferenceKernel(lens, *lens.primaryWave()).trace(columns.columns(), start.size());
}

BENCHMARK(BM_ReferenceKernel)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// --- The trace driver ----------------------------------------------------------------
// Threads: 1, or every core, through the driver's own parallel engine.

std::unique_ptr<tbb::global_control> limitThreads(int threads) {
  return std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism, threads);
}

// Trace only, plain rays (what the analyses hold): made once, copied back before each
// (untimed) iteration.
void BM_TraceDriverRays(benchmark::State& state) {
  Scene& s = scene();
  const auto start = s.generate();
  const std::uint64_t perIteration = interactions(start, *s.lens);
  const int threads = threadsOf(state);
  const auto limit = limitThreads(threads);
  std::vector<tracing::Ray> rays;
  for (auto _ : state) {
    state.PauseTiming();
    rays = start;
    state.ResumeTiming();
    tracing::traceRays(*s.lens, rays);
    benchmark::DoNotOptimize(rays.data());
  }
  setRate(state, perIteration);
  state.counters["threads"] = threads;
}
BENCHMARK(BM_TraceDriverRays)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// Trace only, the same rays as a bundle.
void BM_TraceDriverBundle(benchmark::State& state) {
  Scene& s = scene();
  const std::uint64_t perIteration = interactions(s.generate(), *s.lens);
  const tracing::RayBundle start = *tracing::bundleForFields(*s.lens, s.fields, s.pupil);
  const int threads = threadsOf(state);
  const auto limit = limitThreads(threads);
  tracing::RayBundle rays;
  for (auto _ : state) {
    state.PauseTiming();
    rays = start;
    state.ResumeTiming();
    tracing::traceRays(*s.lens, rays);
    benchmark::DoNotOptimize(rays.qx.data());
  }
  setRate(state, perIteration);
  state.counters["threads"] = threads;
}
BENCHMARK(BM_TraceDriverBundle)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// The fixed cost of a trace call, which the many small traces of aiming, solves and the
// optimiser pay: a few rays of the same field traced again and again, as plain rays and
// as a bundle. Args: rays per call.
void BM_SmallTrace(benchmark::State& state) {
  Scene& s = scene();
  const auto count = static_cast<std::uint32_t>(state.range(0));
  const tracing::pupil::Points pupil = tracing::pupil::squareArrayOfPointsInUnitCircle(count);
  const std::vector<tracing::Ray> start = *tracing::raysForFields(*s.lens, s.fields, pupil);
  const tracing::RayBundle startBundle = *tracing::bundleForFields(*s.lens, s.fields, pupil);
  const bool bundle = state.range(1) != 0;
  std::vector<tracing::Ray> rays = start;
  tracing::RayBundle columns = startBundle;
  for (auto _ : state) {
    if (bundle) {
      columns = startBundle;
      tracing::traceRays(*s.lens, columns);
      benchmark::DoNotOptimize(columns.qx.data());
    } else {
      rays = start;
      tracing::traceRays(*s.lens, rays);
      benchmark::DoNotOptimize(rays.data());
    }
  }
  state.counters["rays"] = static_cast<double>(start.size());
  state.counters["bundle"] = bundle;
}
BENCHMARK(BM_SmallTrace)->Args({1, 0})->Args({64, 0})->Args({1, 1})->Args({64, 1})->Unit(benchmark::kMicrosecond);

// Making the rays alone: as plain rays (field, pupil pattern, placement, tags) and as a
// bundle.
void BM_GenerateRays(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    auto rays = s.generate();
    benchmark::DoNotOptimize(rays.data());
  }
  state.counters["Mrays/s"] = benchmark::Counter(kRays * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GenerateRays)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// Args: threads (0: every core); 1 to fill the same bundle again and again, as a
// calculator that runs after every edit does, 0 for fresh columns each time (first-touch
// page faults included).
void BM_GenerateBundle(benchmark::State& state) {
  Scene& s = scene();
  const int threads = threadsOf(state);
  const auto limit = limitThreads(threads);
  tracing::RayBundle rays;
  for (auto _ : state) {
    if (state.range(1)) {
      tracing::fillBundleForFields(rays, *s.lens, s.fields, s.pupil);
      benchmark::DoNotOptimize(rays.qx.data());
    } else {
      auto fresh = tracing::bundleForFields(*s.lens, s.fields, s.pupil);
      benchmark::DoNotOptimize(fresh->qx.data());
    }
  }
  state.counters["Mrays/s"] = benchmark::Counter(kRays * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["threads"] = threads;
}
BENCHMARK(BM_GenerateBundle)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);

// What a user waits for: the rays made and traced, and the bytes held at the peak.
void BM_GenerateAndTraceRays(benchmark::State& state) {
  Scene& s = scene();
  const std::uint64_t perIteration = interactions(s.generate(), *s.lens);
  const int threads = threadsOf(state);
  const auto limit = limitThreads(threads);
  std::size_t peak = 0;
  for (auto _ : state) {
    bench::AllocationMeter::resetPeak();
    const std::size_t before = bench::AllocationMeter::current.load();
    auto rays = s.generate();
    tracing::traceRays(*s.lens, rays);
    benchmark::DoNotOptimize(rays.data());
    peak = bench::AllocationMeter::peak.load() - before;
  }
  setRate(state, perIteration);
  state.counters["threads"] = threads;
  state.counters["bytes/ray"] = static_cast<double>(peak) / kRays;
}
BENCHMARK(BM_GenerateAndTraceRays)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// Args as BM_GenerateBundle's.
void BM_GenerateAndTraceBundle(benchmark::State& state) {
  Scene& s = scene();
  const std::uint64_t perIteration = interactions(s.generate(), *s.lens);
  const int threads = threadsOf(state);
  const auto limit = limitThreads(threads);
  std::size_t peak = 0;
  tracing::RayBundle kept;
  for (auto _ : state) {
    bench::AllocationMeter::resetPeak();
    const std::size_t before = bench::AllocationMeter::current.load();
    if (state.range(1)) {
      tracing::fillBundleForFields(kept, *s.lens, s.fields, s.pupil);
      tracing::traceRays(*s.lens, kept);
      benchmark::DoNotOptimize(kept.qx.data());
    } else {
      auto rays = tracing::bundleForFields(*s.lens, s.fields, s.pupil);
      tracing::traceRays(*s.lens, *rays);
      benchmark::DoNotOptimize(rays->qx.data());
    }
    peak = bench::AllocationMeter::peak.load() - before;
  }
  setRate(state, perIteration);
  state.counters["threads"] = threads;
  // Reused columns are held before the iteration starts: count them as the fresh ones.
  const std::size_t held = kept.size() * (7 * sizeof(double) + 4 + 2 * 2 + sizeof(const char*));
  state.counters["bytes/ray"] = static_cast<double>(peak + held) / kRays;
}
BENCHMARK(BM_GenerateAndTraceBundle)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);

}  // namespace
