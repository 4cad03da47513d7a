// What even aspheres and ray aiming cost a bulk trace: one condenser surface as an
// asphere and as a sphere, the double Gauss with every surface after the object an
// asphere, and aimed rays made and traced through the 31-surface relay. Lenses are read
// from Zemax text as the document opens a file. Threads: 1 or 8, through the driver's
// parallel engine.
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ExampleLens.h"
#include "interchange/TextDecoding.h"
#include "lens/Lens.h"
#include "tracing/PupilPatterns.h"
#include "tracing/RayBundle.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"
#include "ZemaxLens.h"

namespace {

using namespace orb;

constexpr std::uint32_t kRays = 1000000;

const tracing::pupil::Points& millionPupil() {
  static const tracing::pupil::Points p = tracing::pupil::squareArrayOfPointsInUnitCircle(kRays);
  return p;
}

// Surfaces a traced bundle reached after the object surface: a live ray every one, a dead
// ray those up to the one it died at (its attempt there is work too), a ray that never
// started none. The same rule for every lens here, so their figures compare.
std::uint64_t raySurfaces(const tracing::RayBundle& traced, std::size_t surfaces) {
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < traced.size(); ++i) {
    if (traced.alive[i])
      n += surfaces - 1;
    else if (traced.diedAt[i] != tracing::RayBundle::kNoSurface)
      n += traced.diedAt[i];
  }
  return n;
}

void setRayCounters(benchmark::State& state, std::uint64_t raySurfacesPerIteration, std::uint64_t raysPerIteration) {
  const double rs = static_cast<double>(raySurfacesPerIteration);
  state.counters["MraySurf/s"] = benchmark::Counter(rs * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
  // Inverted rates: seconds each, printed with an SI prefix ("437.5ns").
  const auto perOne = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
  state.counters["perRaySurf"] = benchmark::Counter(rs, perOne);
  state.counters["perRay"] = benchmark::Counter(static_cast<double>(raysPerIteration), perOne);
}

// The trace alone of `start`, copied back before each iteration (untimed).
void traceBundle(benchmark::State& state, lens::Lens& lens, const tracing::RayBundle& start) {
  const int threads = static_cast<int>(state.range(0));
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  tracing::RayBundle rays;
  for (auto _ : state) {
    state.PauseTiming();
    rays = start;
    state.ResumeTiming();
    tracing::traceRays(lens, rays);
    benchmark::DoNotOptimize(rays.qx.data());
  }
  // Counted on the last iteration's rays: every iteration traces the same.
  const std::uint64_t perIteration = raySurfaces(rays, lens.surfaceArray().size());
  std::uint64_t alive = 0;
  for (std::size_t i = 0; i < rays.size(); ++i) alive += rays.alive[i];
  setRayCounters(state, perIteration, start.size());
  state.counters["threads"] = threads;
  state.counters["surfaces"] = static_cast<double>(lens.surfaceArray().size());
  state.counters["aliveFraction"] = static_cast<double>(alive) / static_cast<double>(start.size());
}

// --- One surface: an even asphere against a sphere of the same vertex curvature ---------

// A glass condenser of one surface, 40 mm across at f ≈ 88 mm, imaging into the glass:
// its conic is the ellipsoid -1/n² that images infinity sharply, and a4, a6 bend its zone.
std::string condenserText(bool aspheric) {
  std::ostringstream z;
  z << "MODE SEQ\nUNIT MM X W X CM MR CPMM\nENPD 40\nFTYP 0 0 1 1 0 0 0\nXFLN 0\nYFLN 0\nFWGN 1\n"
       "PWAV 1\nWAVM 1 0.5875618 1\n"
       "SURF 0\n  TYPE STANDARD\n  CURV 0\n  DISZ INFINITY\n"
       "SURF 1\n  STOP\n";
  if (aspheric)
    z << "  TYPE EVENASPH\n  CURV 0.0333333333333\n  CONI -0.4346\n  PARM 2 -2e-07\n  PARM 3 1e-10\n";
  else
    z << "  TYPE STANDARD\n  CURV 0.0333333333333\n";
  z << "  DISZ 88.05\n  GLAS N-BK7 1 0 1.51680 64.17\n"
       "SURF 2\n  TYPE STANDARD\n  CURV 0\n  DISZ 0\n";
  return z.str();
}

struct Condenser {
  std::shared_ptr<lens::Lens> lens;
  tracing::RayBundle start;
  explicit Condenser(bool aspheric) : lens(support::lensFromZemaxText(condenserText(aspheric), "condenser")) {
    start = *tracing::bundleForFields(*lens, {tracing::chiefField(*lens)}, millionPupil());
  }
};

// Args: threads.
void BM_TraceOneAsphere(benchmark::State& state) {
  static Condenser c(true);
  traceBundle(state, *c.lens, c.start);
}
BENCHMARK(BM_TraceOneAsphere)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

void BM_TraceOneSphere(benchmark::State& state) {
  static Condenser c(false);
  traceBundle(state, *c.lens, c.start);
}
BENCHMARK(BM_TraceOneSphere)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// --- The double Gauss with its surfaces as even aspheres --------------------------------

std::string exampleText(const std::string& name) {
  const std::string path = std::string(ORB_EXAMPLES_DIR) + "/" + name;
  std::string why;
  auto decoded = interchange::readTextFile(path, &why);
  if (!decoded) throw std::runtime_error(path + ": " + why);
  return decoded->text;
}

// examples/DoubleGauss.zmx with its 12 surfaces after the object (10 refracting, the stop
// and the image) made even aspheres of small 4th- and 6th-order terms, alternating in
// sign: a few micrometres of sag at the rim, so every ray that passed still passes.
std::string asphericDoubleGaussText() {
  std::istringstream in(exampleText("DoubleGauss.zmx"));
  std::ostringstream out;
  std::string line;
  int surface = -1;
  while (std::getline(in, line)) {
    if (line.rfind("SURF ", 0) == 0) surface = std::stoi(line.substr(5));
    if (surface >= 1 && line.find("TYPE STANDARD") != std::string::npos) {
      const double sign = surface % 2 ? 1.0 : -1.0;
      out << "  TYPE EVENASPH\n  PARM 2 " << sign * 1e-8 << "\n  PARM 3 " << -sign * 5e-12 << "\n";
      continue;
    }
    out << line << "\n";
  }
  return out.str();
}

struct DoubleGaussScene {
  std::shared_ptr<lens::Lens> lens;
  tracing::RayBundle start;
  explicit DoubleGaussScene(bool aspheric)
      : lens(aspheric ? support::lensFromZemaxText(asphericDoubleGaussText(), "aspheric double Gauss")
                      : bench::exampleLens("DoubleGauss.zmx")) {
    start = *tracing::bundleForFields(*lens, {tracing::chiefField(*lens)}, millionPupil());
  }
};

// 10⁶ rays of the 14° field, apertures on. Args: threads; 1 for the aspheric lens, 0 for
// the file's spherical one, counted by the same rule.
void BM_TraceDoubleGaussAspheres(benchmark::State& state) {
  static DoubleGaussScene spherical(false), aspheric(true);
  DoubleGaussScene& s = state.range(1) ? aspheric : spherical;
  traceBundle(state, *s.lens, s.start);
  state.counters["aspheric"] = static_cast<double>(state.range(1));
}
BENCHMARK(BM_TraceDoubleGaussAspheres)
    ->Args({1, 1})
    ->Args({8, 1})
    ->Args({1, 0})
    ->Args({8, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);

// --- Aimed rays through the relay ------------------------------------------------------

// 10⁶ rays of the relay's 14 mm field (a finite object, ray aiming on as the file says),
// made and traced: what a user waits for. Args: threads.
void BM_GenerateAndTraceAimedRelay(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  static const std::shared_ptr<lens::Lens> relay = bench::exampleLens("DoubleGaussRelay.zmx");
  if (!relay->useRayAiming()) {
    state.SkipWithError("the relay's ray aiming is off");
    return;
  }
  const tracing::Fields fields{tracing::chiefField(*relay)};
  std::uint64_t perIteration = 0, rays = 0, alive = 0;
  for (auto _ : state) {
    auto bundle = tracing::bundleForFields(*relay, fields, millionPupil());
    tracing::traceRays(*relay, *bundle);
    benchmark::DoNotOptimize(bundle->qx.data());
    state.PauseTiming();
    perIteration = raySurfaces(*bundle, relay->surfaceArray().size());
    rays = bundle->size();
    alive = 0;
    for (std::size_t i = 0; i < bundle->size(); ++i) alive += bundle->alive[i];
    state.ResumeTiming();
  }
  setRayCounters(state, perIteration, rays);
  state.counters["threads"] = threads;
  state.counters["surfaces"] = static_cast<double>(relay->surfaceArray().size());
  state.counters["aliveFraction"] = rays ? static_cast<double>(alive) / static_cast<double>(rays) : 0.0;
}
BENCHMARK(BM_GenerateAndTraceAimedRelay)->Arg(1)->Arg(8)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace
