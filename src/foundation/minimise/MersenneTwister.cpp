#include "foundation/minimise/MersenneTwister.h"

#include <array>
#include <mutex>

namespace orb::foundation {

namespace {

constexpr int kDegree = 624;
constexpr int kMiddle = 397;
constexpr std::uint32_t kMatrixA = 0x9908b0dfU;
constexpr std::uint32_t kUpperMask = 0x80000000U;
constexpr std::uint32_t kLowerMask = 0x7fffffffU;
constexpr std::uint32_t kDefaultSeed = 4357;

struct Generator {
  std::mutex mutex;
  std::array<std::uint32_t, kDegree> words{};
  int index = kDegree + 1;  // one past "all used": never seeded

  void seed(std::uint32_t s) {
    words[0] = s;
    for (int i = 1; i < kDegree; ++i) words[i] = 69069U * words[i - 1];  // mod 2³² by unsigned wrap
    index = kDegree;
  }

  void regenerate() {
    auto twist = [this](int k, int next, int partner) {
      const std::uint32_t y = (words[k] & kUpperMask) | (words[next] & kLowerMask);
      words[k] = words[partner] ^ (y >> 1) ^ ((y & 1U) ? kMatrixA : 0U);
    };
    for (int k = 0; k < kDegree - 1; ++k) twist(k, k + 1, (k + kMiddle) % kDegree);
    twist(kDegree - 1, 0, kMiddle - 1);
  }

  std::uint32_t next() {
    if (index >= kDegree) {
      if (index == kDegree + 1) seed(kDefaultSeed);
      regenerate();
      index = 0;
    }
    std::uint32_t y = words[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680U;
    y ^= (y << 15) & 0xefc60000U;
    y ^= y >> 18;
    return y;
  }
};

Generator& generator() {
  static Generator g;
  return g;
}

}  // namespace

double mersenneTwisterRandom() {
  Generator& g = generator();
  std::uint32_t y;
  {
    std::lock_guard<std::mutex> lock(g.mutex);
    y = g.next();
  }
  return static_cast<double>(y) / 4294967295.0;
}

void mersenneTwisterSeed(std::uint32_t seed) {
  Generator& g = generator();
  std::lock_guard<std::mutex> lock(g.mutex);
  g.seed(seed);
}

}  // namespace orb::foundation
