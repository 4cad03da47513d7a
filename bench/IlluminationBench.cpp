#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "AllocationMeter.h"
#include "lens/ArchiveClasses.h"
#include "lens/Emission.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Object.h"
#include "tracing/Emitters.h"
#include "tracing/OBBeam.h"
#include "tracing/Regeneration.h"
#include "wavefront_illumination/ScreenCalculator.h"

namespace {

using namespace orb;

// The homogenizing rod of examples/HomogenizingRod.orb (a square N-BK7 rod 5 mm across
// and 60 mm long) with a Lambertian emitter of NA 0.3 on its entrance face: its rays
// bounce off the walls several times on the way to the exit face, the screen.
struct LitRod {
  std::shared_ptr<lens::Lens> lens;
  std::shared_ptr<wavefront::ScreenCalculator> screen;
  std::vector<tracing::Ray> start;
};

const LitRod& litRod() {
  static const LitRod rod = [] {
    tracing::registerSystemGenerator();
    tracing::registerTracingClasses();
    lens::registerArchiveClasses();
    LitRod r;
    const auto root =
        platform::KeyedUnarchiver::unarchiveObjectWithFile(std::string(ORB_EXAMPLES_DIR) + "/HomogenizingRod.orb")
            .asDictionary();
    r.lens = root.get("lens").asObject<lens::Lens>();
    r.lens->stopWatchingSelf();
    r.lens->generateSystemFromParaxialSpecification();
    auto face = r.lens->surfaceArray()[1];
    face->setEmissionType("Lambertian emission");
    face->emission()->setNumericalAperture(0.3);
    r.lens->setIsReady(true);
    r.screen = platform::makeObject<wavefront::ScreenCalculator>();
    r.screen->setLens(r.lens);
    r.start = dynamic_cast<const tracing::RayEmission&>(*face->emission()).randomRaysWithCount(1000000);
    return r;
  }();
  return rod;
}

// The screen's work on 10⁶ emitter rays: the trace through the rod to its exit face, on
// the worker alone (1) or on tracer threads each with its own copy of the lens (8), and
// the binning into 32 × 32 bins of 0.25 mm. Timed by hand: copying the start rays back
// for the next iteration is left out.
void BM_IrradianceScreenRod(benchmark::State& state) {
  const LitRod& rod = litRod();
  const auto threads = static_cast<std::size_t>(state.range(0));
  const std::vector<const platform::Object*> emitters{rod.lens->surfaceArray()[1].get()};
  std::vector<tracing::Ray> rays;
  double lit = 0;
  std::size_t heap = 0;
  for (auto _ : state) {
    rays = rod.start;
    bench::AllocationMeter::resetPeak();
    const std::size_t before = bench::AllocationMeter::current.load();
    const auto start = std::chrono::steady_clock::now();
    if (threads > 1)
      rod.screen->atomicTraceRaysWithNumberOfThreads(rays, threads);
    else
      rod.screen->atomicTraceRays(rays);
    const foundation::Matrix field = rod.screen->intensityFieldForRays(rays, emitters, 32, 32, 0.25, 0.25, false, false);
    lit = field.elementSum();
    benchmark::DoNotOptimize(lit);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    heap = bench::AllocationMeter::peak.load() - before;
  }
  state.counters["rays on screen"] = lit;
  // What the trace and the binning hold at their peak: lens copies, threads, the bins;
  // nothing that grows with the ray count.
  state.counters["peak heap KB"] = static_cast<double>(heap) / 1024;
  state.counters["rays/s"] =
      benchmark::Counter(static_cast<double>(rod.start.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IrradianceScreenRod)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The binning alone: one pass over 10⁶ traced rays into a plain array.
void BM_IrradianceScreenBinning(benchmark::State& state) {
  const LitRod& rod = litRod();
  const std::vector<const platform::Object*> emitters{rod.lens->surfaceArray()[1].get()};
  std::vector<tracing::Ray> rays = rod.start;
  rod.screen->atomicTraceRaysWithNumberOfThreads(rays, 8);
  for (auto _ : state) {
    const foundation::Matrix field = rod.screen->intensityFieldForRays(rays, emitters, 32, 32, 0.25, 0.25, false, false);
    benchmark::DoNotOptimize(field.elementSum());
  }
  state.counters["rays/s"] =
      benchmark::Counter(static_cast<double>(rays.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IrradianceScreenBinning)->Unit(benchmark::kMillisecond);

}  // namespace
