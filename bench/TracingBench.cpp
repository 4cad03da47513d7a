#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <span>
#include <vector>

#include "tracing/Pusher.h"
#include "tracing/Ray.h"
#include "tracing/Turner.h"

namespace {

using orb::foundation::XYZ;
using namespace orb::tracing;

// Back to the start state without copying tags (which would dominate the paused time).
void reset(std::vector<Ray>& rays, const std::vector<Ray>& start) {
  for (std::size_t i = 0; i < rays.size(); ++i) {
    rays[i].setPosition(start[i].position());
    rays[i].setMomentum(start[i].momentum());
    rays[i].setOpticalPathLength(0);
  }
}

// 10⁶ rays from a field point onto a sphere (R = 50) and into glass: pusher then turner,
// one thread. Rays are reset outside the timed region (manual timing).
void BM_RefractMillionRaysAtSphere(benchmark::State& state) {
  const auto sphere = ConicShape::make(0.02, 0, "1");
  PusherConicoid pusher(sphere);
  TurnerStandard turner(sphere);
  constexpr int kSide = 1000;
  std::vector<Ray> start;
  start.reserve(kSide * kSide);
  for (int i = 0; i < kSide; ++i)
    for (int j = 0; j < kSide; ++j)
      start.emplace_back(XYZ{-10 + 20.0 * i / kSide, -10 + 20.0 * j / kSide, -5}, XYZ{0, 0.05, 1}, 1.0);
  std::vector<Ray> rays = start;
  for (auto _ : state) {
    reset(rays, start);
    const auto t0 = std::chrono::steady_clock::now();
    pusher.acquireRays(rays);
    turner.refractRays(rays, 1.5168);
    benchmark::DoNotOptimize(rays.data());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(rays.size()));
}
BENCHMARK(BM_RefractMillionRaysAtSphere)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same work in blocks of 1024 rays (push then turn each block while it is in cache):
// what a trace driver gains by visiting a surface block by block.
void BM_RefractMillionRaysAtSphereInBlocks(benchmark::State& state) {
  const auto sphere = ConicShape::make(0.02, 0, "1");
  PusherConicoid pusher(sphere);
  TurnerStandard turner(sphere);
  constexpr int kSide = 1000;
  std::vector<Ray> start;
  start.reserve(kSide * kSide);
  for (int i = 0; i < kSide; ++i)
    for (int j = 0; j < kSide; ++j)
      start.emplace_back(XYZ{-10 + 20.0 * i / kSide, -10 + 20.0 * j / kSide, -5}, XYZ{0, 0.05, 1}, 1.0);
  std::vector<Ray> rays = start;
  for (auto _ : state) {
    reset(rays, start);
    const auto t0 = std::chrono::steady_clock::now();
    const std::span<Ray> all(rays);
    for (std::size_t i = 0; i < all.size(); i += 1024) {
      const auto block = all.subspan(i, std::min<std::size_t>(1024, all.size() - i));
      pusher.acquireRays(block);
      turner.refractRays(block, 1.5168);
    }
    benchmark::DoNotOptimize(rays.data());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(rays.size()));
}
BENCHMARK(BM_RefractMillionRaysAtSphereInBlocks)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
