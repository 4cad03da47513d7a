// The hot evaluations of the polynomial and quadrature code: an asphere's sag with its
// derivatives per ray, spline lookups of the ray aimer, Gauss–Legendre sums.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "foundation/polynomial/QuarticSolver.h"
#include "foundation/polynomial/SparsePolynomial.h"
#include "foundation/polynomial/SplineInterpolator.h"
#include "foundation/quadrature/GaussLegendreIntegrator.h"
#include "foundation/quadrature/SpecialFunctions.h"

namespace {

using namespace orb::foundation;

void BM_SparsePolynomialSagAndDerivatives(benchmark::State& state) {
  SparsePolynomial sag;  // an even asphere to r¹⁶
  for (int p = 4; p <= 16; p += 2) sag.setCoefficient(1e-3 / p, p);
  double r = 0.0;
  for (auto _ : state) {
    r += 1e-6;
    benchmark::DoNotOptimize(sag.evaluateAt(r) + sag.evaluateGradientAt(r) + sag.evaluateSecondGradientAt(r));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SparsePolynomialSagAndDerivatives);

void BM_SplineValueSweep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<double> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = i * 0.1;
    y[i] = std::sin(x[i]);
  }
  SplineInterpolator spline = SplineInterpolator::splineInterpolatorForX(x, y);
  const double span = x.back();
  double t = 0.0;
  for (auto _ : state) {
    t += 1e-3;  // slowly moving argument: the hunt finds the interval in a step or two
    if (t > span) t = 0.0;
    benchmark::DoNotOptimize(spline.valueAt(t));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplineValueSweep)->Arg(64)->Arg(4096);

void BM_SplineValueRandom(benchmark::State& state) {
  const int n = 4096;
  std::vector<double> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = i * 0.1;
    y[i] = std::sin(x[i]);
  }
  SplineInterpolator spline = SplineInterpolator::splineInterpolatorForX(x, y);
  unsigned seed = 1;
  for (auto _ : state) {
    seed = seed * 1664525u + 1013904223u;
    benchmark::DoNotOptimize(spline.valueAt((seed >> 8) * (409.5 / 16777216.0)));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplineValueRandom);

void BM_GaussLegendreIntegrate(benchmark::State& state) {
  const auto rule = GaussLegendreIntegrator::integratorForOrder(static_cast<int>(state.range(0)));
  double a = 0.0;
  for (auto _ : state) {
    a += 1e-9;
    benchmark::DoNotOptimize(rule->integrate([](double x) { return besselJ1(x) / (x + 1.0); }, a, 10.0));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GaussLegendreIntegrate)->Arg(16)->Arg(96);

void BM_GaussLegendreNodes(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<double> nodes(n), weights(n);
  for (auto _ : state) {
    gaussLegendreNodes(n, nodes.data(), weights.data());
    benchmark::DoNotOptimize(weights.data());
  }
}
BENCHMARK(BM_GaussLegendreNodes)->Arg(16)->Arg(96);

void BM_QuarticComplexRoots(benchmark::State& state) {
  double coefficients[5] = {24.0, -50.0, 35.0, -10.0, 1.0};
  double roots[8];
  for (auto _ : state) {
    coefficients[0] += 1e-12;
    solveQuarticComplexRoots(coefficients, roots);
    benchmark::DoNotOptimize(roots);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuarticComplexRoots);

}  // namespace
