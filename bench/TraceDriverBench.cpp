#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <vector>

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
  struct Spec {
    double radius, thickness;
    std::shared_ptr<materials::Glass> glass;
    bool stop;
  };
  auto ssk2 = materials::Glass::glassWithIndex(1.6223, 53.17);
  auto sk16 = materials::Glass::glassWithIndex(1.62041, 60.32);
  auto f5 = materials::Glass::glassWithIndex(1.60342, 38.03);
  const double inf = std::numeric_limits<double>::infinity();
  const Spec specs[] = {{0, inf, nullptr, false},         {54.153246, 8.746658, ssk2, false},
                        {152.52192, 0.5, nullptr, false},  {35.950624, 14, sk16, false},
                        {0, 3.776966, f5, false},          {22.269925, 14.253059, nullptr, false},
                        {0, 12.428129, nullptr, true},     {-25.685033, 3.776966, f5, false},
                        {0, 10.833929, sk16, false},       {-36.980221, 0.5, nullptr, false},
                        {196.41733, 6.858175, sk16, false}, {-67.14755, 57.314538, nullptr, false},
                        {0, 0, nullptr, false}};
  auto lens = lens::Lens::create();
  foundation::TransformStack stack;
  foundation::xformPush(stack);
  foundation::xformLoadIdentity(stack);
  bool first = true;
  for (const Spec& spec : specs) {
    auto s = lens::Surface::create<lens::Surface>();
    if (spec.radius != 0) s->setCurvature(1 / spec.radius);
    s->setThickness(spec.thickness);
    lens->insertInSurfaces(s);
    if (spec.glass) s->setGlass(spec.glass);
    if (spec.stop) s->setIsStop(true);
    if (first) {
      first = false;
      continue;
    }
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
