// Matrices and FFTs: the 2-D FFT of the point-spread and OTF analyses, our own module
// against the FFTW path, and the general LAPACK inverse.
#include <benchmark/benchmark.h>

#include <random>

#include "foundation/linear/ComplexMatrix.h"
#include "foundation/linear/Matrix.h"

namespace {

using orb::foundation::ComplexMatrix;
using orb::foundation::Matrix;
using orb::foundation::XY;

ComplexMatrix randomComplex(std::size_t n) {
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> u(-1, 1);
  ComplexMatrix m(n, n);
  for (std::size_t i = 0; i < m.numberOfElements(); ++i) m.rowMajorStorage()[i] = XY{u(gen), u(gen)};
  return m;
}

// One forward 2-D transform per iteration, each followed by a rescale by 1/n so that the
// values stay bounded over the loop; the rescale is one pass over the storage, the same
// for both paths. The ratio of the two timings is the cost of our own module.
void BM_FFT2D_OwnModule(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  ComplexMatrix m = randomComplex(n);
  const double scale = 1.0 / static_cast<double>(n);
  for (auto _ : state) {
    m.inPlaceFFT();
    m.scaleByReal(scale);
    benchmark::DoNotOptimize(m.rowMajorStorage());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_FFT2D_OwnModule)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_FFT2D_FFTW(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  ComplexMatrix m = randomComplex(n);
  const double scale = 1.0 / static_cast<double>(n);
  m.inPlaceFFTWithFFTW();  // the plan is made once per size, outside the timing
  for (auto _ : state) {
    m.inPlaceFFTWithFFTW();
    m.scaleByReal(scale);
    benchmark::DoNotOptimize(m.rowMajorStorage());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(BM_FFT2D_FFTW)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_MatrixInverse(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::mt19937 gen(2);
  std::uniform_real_distribution<double> u(-1, 1);
  Matrix a(n, n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) a.atPut(i, j, u(gen) + (i == j ? 4.0 : 0.0));
  for (auto _ : state) benchmark::DoNotOptimize(a.inverse());
}
BENCHMARK(BM_MatrixInverse)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
