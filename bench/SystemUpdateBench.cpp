// The small traces a designer waits for many times over: the semidiameter update of every
// system update (a y-fan per field, sized surface by surface), the whole system update,
// and the hexapolar operands the optimiser evaluates at every point. Each lens is opened
// once, as the document opens it, before the timing.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "ExampleLens.h"
#include "lens/Lens.h"
#include "optimisation/ArchiveClasses.h"
#include "optimisation/MeritoidHexRays.h"
#include "tracing/Regeneration.h"
#include "tracing/TraceDriver.h"

namespace {

using namespace orb;

std::shared_ptr<lens::Lens> openedLens(const std::string& file) {
  static std::map<std::string, std::shared_ptr<lens::Lens>> lenses;
  auto& lens = lenses[file];
  if (!lens) lens = bench::exampleLens(file);
  return lens;
}

// The real-ray update (the program's default) and the paraxial one.
void BM_SemidiameterUpdate(benchmark::State& state, const std::string& file, bool realRays) {
  auto lens = openedLens(file);
  for (auto _ : state) {
    if (realRays)
      tracing::updateSemidiametersUsingRealRays(*lens);
    else
      tracing::updateSemidiameters(*lens);
  }
  state.counters["rays"] =
      static_cast<double>(lens->numberOfRaysPerField()) * static_cast<double>(lens->fieldArray().size());
  state.counters["surfaces"] = static_cast<double>(lens->surfaceArray().size());
}
BENCHMARK_CAPTURE(BM_SemidiameterUpdate, DoubleGaussReal, std::string("DoubleGauss.zmx"), true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SemidiameterUpdate, DoubleGaussParaxial, std::string("DoubleGauss.zmx"), false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SemidiameterUpdate, AsphericCameraLensReal, std::string("AsphericCameraLens.zmx"), true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SemidiameterUpdate, AsphericCameraLensParaxial, std::string("AsphericCameraLens.zmx"), false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SemidiameterUpdate, DoubleGaussRelayReal, std::string("DoubleGaussRelay.zmx"), true)
    ->Unit(benchmark::kMicrosecond);

// The whole update: placement, solves, paraxial data, aiming tables, semidiameters, Seidel sums.
void BM_SystemUpdate(benchmark::State& state, const std::string& file) {
  tracing::registerSystemGenerator();
  auto lens = openedLens(file);
  for (auto _ : state) lens->generateSystemFromParaxialSpecification();
}
BENCHMARK_CAPTURE(BM_SystemUpdate, DoubleGauss, std::string("DoubleGauss.zmx"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SystemUpdate, AsphericCameraLens, std::string("AsphericCameraLens.zmx"))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SystemUpdate, DoubleGaussRelay, std::string("DoubleGaussRelay.zmx"))
    ->Unit(benchmark::kMicrosecond);

// One hexapolar operand at 0.7 field, polychromatic, 127 pupil points per wave.
template <class Operand>
void hexRayOperand(benchmark::State& state, const std::string& file) {
  optimisation::registerArchiveClasses();
  auto lens = openedLens(file);
  lens->setIsReady(true);
  auto m = optimisation::Meritoid::make<Operand>();
  m->setHy(0.7);
  m->setMonochromatic(false);
  m->setTarget(0);
  m->setLens(lens);
  for (auto _ : state) m->evaluate();
  state.counters["value"] = m->value();
}
void BM_RMSSpotOperand(benchmark::State& state, const std::string& file) {
  hexRayOperand<optimisation::MeritoidRMS>(state, file);
}
void BM_RMSOPDOperand(benchmark::State& state, const std::string& file) {
  hexRayOperand<optimisation::MeritoidRMSOPD>(state, file);
}
BENCHMARK_CAPTURE(BM_RMSSpotOperand, DoubleGauss, std::string("DoubleGauss.zmx"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RMSOPDOperand, DoubleGauss, std::string("DoubleGauss.zmx"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RMSSpotOperand, AsphericCameraLens, std::string("AsphericCameraLens.zmx"))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RMSOPDOperand, AsphericCameraLens, std::string("AsphericCameraLens.zmx"))
    ->Unit(benchmark::kMicrosecond);

}  // namespace
