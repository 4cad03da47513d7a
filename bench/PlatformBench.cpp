#include <benchmark/benchmark.h>

#include "platform/Object.h"

using namespace orb::platform;

namespace {

class Thing : public Object {
 public:
  double m_thickness = 5.0;
  const KeyTable& keys() const override { return classKeys(); }
  static const KeyTable& classKeys() {
    static const KeyTable table(&Object::classKeys(), {Keys<Thing>::field("thickness", &Thing::m_thickness)});
    return table;
  }
};

// Key-value coding is for editing and binding; this shows what it costs against a field read.
void BM_KeyValueGet(benchmark::State& state) {
  auto t = makeObject<Thing>();
  for (auto _ : state) benchmark::DoNotOptimize(t->valueForKey("thickness").asDouble());
}
BENCHMARK(BM_KeyValueGet);

void BM_DirectMemberRead(benchmark::State& state) {
  auto t = makeObject<Thing>();
  for (auto _ : state) {
    benchmark::DoNotOptimize(t->m_thickness);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DirectMemberRead);

void BM_SetWithoutObservers(benchmark::State& state) {
  auto t = makeObject<Thing>();
  double v = 0;
  for (auto _ : state) t->setValueForKey("thickness", v += 1);
}
BENCHMARK(BM_SetWithoutObservers);

}  // namespace
