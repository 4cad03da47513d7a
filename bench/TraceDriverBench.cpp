#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <vector>

#include "DoubleGauss.h"
#include "foundation/objects/TransformStack.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace {

using namespace orb;

// The f = 100 mm, F/3 double Gauss: eleven spherical surfaces, the stop between the
// doublets, 14° field, surfaces placed along z as the system update places them.
std::shared_ptr<lens::Lens> doubleGauss() {
  std::size_t stopIndex = 0;
  auto lens = bench::doubleGaussLens(stopIndex);
  lens->surfaceArray()[stopIndex]->setIsStop(true);
  foundation::TransformStack stack;
  foundation::xformPush(stack);
  foundation::xformLoadIdentity(stack);
  for (std::size_t i = 1; i < lens->surfaceArray().size(); ++i) {
    const auto& s = lens->surfaceArray()[i];
    foundation::TransformationMatrix forward, inverse;
    foundation::xformGetTop(stack, &forward, &inverse);
    s->setLocalToGlobalCoordinateTransformationMatrix(forward, inverse);
    s->implementExitFrame(stack);
  }
  platform::Dictionary data;
  data.set("objectSpaceIndexOfRefraction", 1.0);
  data.set("entrancePupilDiameter", 33.33);
  lens->setParaxialData(data);
  platform::Dictionary stop;  // first-order stop heights of (h = 1, u = 0) and (h = 0, u = 1)
  stop.set("A", 0.6);
  stop.set("B", 21.0);
  lens->setStopTransferMatrix(stop);
  lens->fieldArray().front()->setY(14);
  return lens;
}

// 10⁶ rays of the full field through the whole lens, one thread, no trajectories. The
// counter is the driver's own answer: ray-surface interactions per second.
void BM_TraceMillionRaysThroughDoubleGauss(benchmark::State& state) {
  auto lens = doubleGauss();
  const auto start =
      *tracing::raysForFields(*lens, lens->fieldArray(), tracing::pupil::squareArrayOfPointsInUnitCircle(1000000));
  std::vector<tracing::Ray> rays = start;
  double rate = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < rays.size(); ++i) {
      rays[i].setPosition(start[i].position());
      rays[i].setMomentum(start[i].momentum());
      rays[i].setOpticalPathLength(0);
      rays[i].setIsAlive(true);
    }
    state.ResumeTiming();
    rate = tracing::traceRays(*lens, rays);
    benchmark::DoNotOptimize(rays.data());
  }
  std::size_t alive = 0;
  for (const auto& r : rays) alive += r.isAlive();
  state.counters["interactionsPerSecond"] = rate;
  state.counters["liveRays"] = static_cast<double>(alive);
}
BENCHMARK(BM_TraceMillionRaysThroughDoubleGauss)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
