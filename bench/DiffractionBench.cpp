#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "AllocationMeter.h"
#include "analysis/OBCalculatorUpdater.h"
#include "analysis/PlotDictionary.h"
#include "ExampleLens.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/RunLoop.h"
#include "wavefront_illumination/DOTFCalculator.h"

namespace {

using namespace orb;

// Runs a calculator's calculations to their end on the main loop. The main thread sleeps
// while it has nothing to do, as in the application, instead of spinning on a core the
// worker's pool could use.
template <class Calculator>
class Settler {
 public:
  Settler(platform::RunLoop& loop, Calculator& calculator) : m_loop(loop), m_calculator(calculator) {
    m_loop.setWakeUpHandler([this] {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_work = true;
      }
      m_woken.notify_one();
    });
  }
  ~Settler() { m_loop.setWakeUpHandler(nullptr); }

  /// One calculation from scratch, to its plot.
  void calculate() {
    m_calculator.setPlotDictionary(std::nullopt);
    m_calculator.setNeedsCalculation(true);
    while (!m_calculator.plotDictionary() || m_calculator.needsWork() || m_calculator.hasWorkerThread() ||
           m_loop.hasPendingWork()) {
      if (m_loop.runOnce()) continue;
      // A worker's end is not always announced through the loop: look again soon.
      std::unique_lock<std::mutex> lock(m_mutex);
      m_woken.wait_for(lock, std::chrono::microseconds(200), [&] { return m_work; });
      m_work = false;
    }
  }

 private:
  platform::RunLoop& m_loop;
  Calculator& m_calculator;
  std::mutex m_mutex;
  std::condition_variable m_woken;
  bool m_work = false;
};

// The FFT point-spread function of a 256 × 256 pupil grid on the double Gauss
// (examples/DoubleGauss.zmx): a whole run of the point-spread calculator (start rays,
// trace, OPDs, the 512² FFT and the order-2 interpolation to 2048², the sections and the
// image), driven by the updater and the main run loop as in the application.
// Args: threads (0: every core); grids (0: the first field in the primary wave, 1: every
// field in every wave, 9 grids whose trace is large enough for the pool).
void BM_DiffractionPSFDoubleGauss256(benchmark::State& state) {
  const int threads = state.range(0) > 0 ? static_cast<int>(state.range(0))
                                         : static_cast<int>(std::thread::hardware_concurrency());
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  auto lens = bench::exampleLens("DoubleGauss.zmx");
  auto calculator = platform::makeObject<wavefront::DPSFCalculator>();
  calculator->setNumberOfRaysPerSideBits(8);
  calculator->setLens(lens);
  calculator->setFieldOfInterest(state.range(1) ? nullptr : lens->fieldArray().front());
  calculator->setWaveOfInterest(state.range(1) ? nullptr : lens->primaryWave());
  auto updater = analysis::OBCalculatorUpdater::make(calculator);
  auto& loop = platform::RunLoop::main();
  std::optional<Settler<wavefront::DPSFCalculator>> settler(std::in_place, loop, *calculator);
  // The first run makes the FFT plans; the first two fill the storage kept from run to
  // run (a field and an image stay readable while the next are made).
  for (int warmUp = 0; warmUp < 2; ++warmUp) settler->calculate();
  for (auto _ : state) settler->calculate();
  state.counters["threads"] = threads;
  state.counters["rays"] = static_cast<double>(calculator->tracedBundle()->rays.size());
  state.counters["fieldSide"] = static_cast<double>(calculator->intensityField()->nRows());
  if (!calculator->status().empty()) state.SetLabel(calculator->status());
  updater.reset();
  settler.reset();
  calculator.reset();
  loop.runUntilIdle();
}
BENCHMARK(BM_DiffractionPSFDoubleGauss256)
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({1, 1})
    ->Args({8, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10)
    ->Repetitions(3);

}  // namespace

namespace {

// The FFT pipeline alone for one 256² grid (a perfect circular pupil): the 512² pupil
// transform, the squared magnitude, the interpolation of order Arg to 512·2^order a side,
// and the OTF.
void BM_DiffractionTransferForGrid256(benchmark::State& state) {
  using orb::wavefront::DOTFCalculator;
  DOTFCalculator::PupilGrid g;
  g.n = 256;
  g.wavelength = 0.00055;
  for (int i = 0; i < g.n; ++i)
    for (int j = 0; j < g.n; ++j) {
      const double x = (i + 0.5) * 2 / g.n - 1, y = (j + 0.5) * 2 / g.n - 1;
      g.alive.push_back(x * x + y * y <= 1);
      g.opd.push_back(0.0001 * (x * x + y * y));
    }
  const int order = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  // Kept from run to run, as the calculator keeps it.
  DOTFCalculator::Workspace workspace;
  auto run = [&] {
    auto t = DOTFCalculator::transferForGrid(g, order, nullptr, &workspace);
    workspace.giveBack(std::make_shared<const orb::foundation::Matrix>(std::move(t->intensity)));
    workspace.giveBackTransfer(std::make_shared<const orb::foundation::ComplexMatrix>(std::move(t->otf)));
  };
  run();  // makes the plans
  for (auto _ : state) run();
  state.counters["threads"] = threads;
}
// Args: interpolation order, threads.
BENCHMARK(BM_DiffractionTransferForGrid256)
    ->Args({0, 1})
    ->Args({2, 1})
    ->Args({2, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

namespace {

// The FFT MTF of a 256 × 256 pupil grid on the double Gauss (examples/DoubleGauss.zmx),
// first field, primary wave: a whole run of the transfer calculator driven by the updater
// and the main run loop, with the field interpolated at order 0 or 2. Beside the time,
// the most memory the calculator held at once over the timed runs, from before it was
// made: its kept storage and plans included, as a user's machine must hold them.
// Args: interpolation order, threads.
void BM_FFTMTFDoubleGauss256(benchmark::State& state) {
  using namespace orb;
  const int order = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  auto lens = bench::exampleLens("DoubleGauss.zmx");
  auto& loop = platform::RunLoop::main();
  loop.runUntilIdle();
  const std::size_t baseline = bench::AllocationMeter::current.load();
  auto calculator = platform::makeObject<wavefront::DOTFCalculator>();
  calculator->setNumberOfRaysPerSideBits(8);
  calculator->setInterpolationOrder(order);
  calculator->setLens(lens);
  calculator->setFieldOfInterest(lens->fieldArray().front());
  calculator->setWaveOfInterest(lens->primaryWave());
  auto updater = analysis::OBCalculatorUpdater::make(calculator);
  std::optional<Settler<wavefront::DOTFCalculator>> settler(std::in_place, loop, *calculator);
  // Plans made and the kept storage filled, as in the point-spread benchmark.
  for (int warmUp = 0; warmUp < 2; ++warmUp) settler->calculate();
  std::size_t peak = 0;
  for (auto _ : state) {
    bench::AllocationMeter::resetPeak();
    settler->calculate();
    peak = std::max(peak, bench::AllocationMeter::peak.load() - baseline);
  }
  state.counters["order"] = order;
  state.counters["threads"] = threads;
  state.counters["raysPerSide"] = calculator->numberOfRaysPerSide();
  state.counters["fieldSide"] = calculator->intensityField() ? calculator->intensityField()->nRows() : 0.0;
  state.counters["peakMB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
  if (!calculator->status().empty()) state.SetLabel(calculator->status());
  updater.reset();
  settler.reset();
  calculator.reset();
  loop.runUntilIdle();
}
BENCHMARK(BM_FFTMTFDoubleGauss256)
    ->Args({0, 1})
    ->Args({2, 1})
    ->Args({0, 8})
    ->Args({2, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace
