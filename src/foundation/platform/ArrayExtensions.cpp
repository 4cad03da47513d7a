#include "foundation/platform/ArrayExtensions.h"

#include "platform/Log.h"

namespace orb::foundation {

platform::Array merge(const platform::Array& array) {
  platform::Array out;
  for (const platform::Value& element : array) {
    if (element.isArray()) {
      const platform::Array& inner = element.asArray();
      out.insert(out.end(), inner.begin(), inner.end());
    } else {
      out.push_back(element);
    }
  }
  return out;
}

namespace {

std::vector<platform::Array> sampleArrays() {
  return {{}, {"0"}, {"0", "0"}, {"0", "0", "0"}, {"0", "0", "0", "0", "0"}, {"1", "2", "2"}, {"1", "2", "2", "1"},
          {"1", "2", "1"}};
}

void logSamples(const char* title, platform::Array (*operation)(const platform::Array&)) {
  platform::log("%s", title);
  for (const platform::Array& sample : sampleArrays())
    platform::log("%s -> %s", sample.description().c_str(), operation(sample).description().c_str());
}

}  // namespace

void testRunToOne() {
  logSamples("testRunToOne", [](const platform::Array& a) { return runToOne(a); });
}

void testAnnihilatePairs() {
  logSamples("testAnnihilatePairs", [](const platform::Array& a) { return annihilatePairs(a); });
}

}  // namespace orb::foundation
