// Levenberg–Marquardt as the optimiser runs it: a derivative-free least-squares fit of
// ten variables, counting residual evaluations per solve.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <optional>

#include "foundation/minimise/LevenbergMarquardt.h"
#include "foundation/minimise/NelderMead.h"

namespace {

using namespace orb::foundation;

constexpr std::size_t kVariables = 10;

// The extended Rosenbrock function: five independent valleys (10 (x₂ᵢ₊₁ − x₂ᵢ²), 1 − x₂ᵢ),
// minimum 0 at all ones.
struct ExtendedRosenbrock {
  long evaluations = 0;
  std::optional<VKSeries> residuals(const VKSeries& x) {
    ++evaluations;
    VKSeries r(x.count());
    for (std::size_t i = 0; i + 1 < x.count(); i += 2) {
      r.atPut(i, 10 * (x.at(i + 1) - x.at(i) * x.at(i)));
      r.atPut(i + 1, 1 - x.at(i));
    }
    return r;
  }
};

VKSeries classicStart() {
  VKSeries x(kVariables);
  for (std::size_t i = 0; i < kVariables; i += 2) {
    x.atPut(i, -1.2);
    x.atPut(i + 1, 1);
  }
  return x;
}

void BM_LevenbergMarquardtExtendedRosenbrock10(benchmark::State& state) {
  ExtendedRosenbrock problem;
  const LeastSquaresFunctor functor(problem, &ExtendedRosenbrock::residuals);
  const VKSeries start = classicStart();
  double iterations = 0;
  long runs = 0;
  for (auto _ : state) {
    LevenbergMarquardt lm;
    lm.setConvergenceValue(1e-20);
    lm.setConvergenceStandardError(0);
    LeastSquaresSimplex simplex = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(start, 1e-6);
    lm.minimizeLeastSquaresFunctor(functor, simplex);
    if (!lm.converged()) state.SkipWithError(lm.returnCodeDescription().c_str());
    iterations = static_cast<double>(lm.iteration());
    ++runs;
  }
  state.counters["evaluations"] = static_cast<double>(problem.evaluations) / static_cast<double>(runs);
  state.counters["iterations"] = iterations;
}
BENCHMARK(BM_LevenbergMarquardtExtendedRosenbrock10)->Unit(benchmark::kMicrosecond);

// Two variables with the ray aiming's settings: one solve per field and wavelength.
void BM_LevenbergMarquardtTwoVariables(benchmark::State& state) {
  Rosenbrock problem;
  const LeastSquaresFunctor functor(problem, &Rosenbrock::residuals);
  const VKSeries start = VKSeries::seriesWithArray({-1.2, 1});
  long runs = 0;
  for (auto _ : state) {
    LevenbergMarquardt lm;
    lm.setConvergenceStandardError(0);
    lm.setConvergenceSize(0);
    lm.setConvergenceValue(1e-12);
    lm.setMaxIteration(100);
    LeastSquaresSimplex simplex = NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(start, 1e-5);
    lm.minimizeLeastSquaresFunctor(functor, simplex);
    if (!lm.converged()) state.SkipWithError(lm.returnCodeDescription().c_str());
    ++runs;
  }
  state.counters["evaluations"] = static_cast<double>(problem.evaluations()) / static_cast<double>(runs);
}
BENCHMARK(BM_LevenbergMarquardtTwoVariables)->Unit(benchmark::kMicrosecond);

}  // namespace
