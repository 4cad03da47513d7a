#include <benchmark/benchmark.h>

#include "materials/Medium5.h"

using namespace orb::materials;

// One gradient-index step's worth of medium work: index, force and force gradient.
static void BM_Medium5IndexForceGradient(benchmark::State& state) {
  auto m = Medium5::withTransform(orb::foundation::OBTransform(), {1.6, -0.05, 0.01, 0.02, -0.003, 4e-4, -5e-5}, 0.1);
  if (state.range(0)) m->setGrinDispersion(orb::platform::makeObject<GrinDispersion>());
  orb::foundation::XYZ p{0.3, -0.2, 1.5};
  double n;
  orb::foundation::XYZ f;
  orb::foundation::XYZTensor g;
  for (auto _ : state) {
    m->evaluateAtWave(0.55, p, n, f, g);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(f);
    benchmark::DoNotOptimize(g);
    p.z += 1e-9;
  }
}
BENCHMARK(BM_Medium5IndexForceGradient)->Arg(0)->Arg(1);
