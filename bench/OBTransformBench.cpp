// Mapping points and directions into and out of surface frames: done per ray per surface.
#include <benchmark/benchmark.h>

#include <vector>

#include "foundation/objects/OBTransform.h"
#include "foundation/objects/TransformStack.h"

namespace {

using namespace orb::foundation;

OBTransform tiltedFrame() {
  TransformStack s;
  xformTranslate(s, {1, -2, 40});
  xformRotateX(s, 7.5);
  xformRotateY(s, -3);
  TransformationMatrix f{}, inv{};
  xformGetTop(s, &f, &inv);
  return OBTransform(f, inv);
}

std::vector<XYZ> samplePoints(int n) {
  std::vector<XYZ> v(n);
  for (int i = 0; i < n; ++i) v[i] = {0.01 * i, -0.02 * i, 0.5};
  return v;
}

void BM_OBTransformPointThereAndBack(benchmark::State& state) {
  const OBTransform t = tiltedFrame();
  const std::vector<XYZ> points = samplePoints(1024);
  for (auto _ : state)
    for (const XYZ& p : points) benchmark::DoNotOptimize(t.transformFromGlobal(t.transformToGlobal(p)));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
}
BENCHMARK(BM_OBTransformPointThereAndBack);

void BM_OBTransformDirectionThereAndBack(benchmark::State& state) {
  const OBTransform t = tiltedFrame();
  const std::vector<XYZ> directions = samplePoints(1024);
  for (auto _ : state)
    for (const XYZ& d : directions) benchmark::DoNotOptimize(t.rotateFromGlobal(t.rotateToGlobal(d)));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(directions.size()));
}
BENCHMARK(BM_OBTransformDirectionThereAndBack);

}  // namespace
