#include "foundation/platform/TicToc.h"

#include <array>
#include <chrono>
#include <limits>
#include <mutex>

#include "platform/Log.h"

namespace orb::foundation {

namespace {

using Clock = std::chrono::steady_clock;

struct Stopwatch {
  std::mutex mutex;  // analysis workers may time their work too
  std::array<Clock::time_point, TicToc::kCapacity> starts;
  std::size_t depth = 0;
};

Stopwatch& stopwatch() {
  static Stopwatch instance;
  return instance;
}

}  // namespace

void TicToc::tic(const std::optional<std::string>& label) {
  Stopwatch& s = stopwatch();
  std::lock_guard lock(s.mutex);
  if (s.depth < kCapacity) s.starts[s.depth] = Clock::now();
  if (label)
    platform::log("[%zu] tic %s", s.depth, label->c_str());
  else
    platform::log("[%zu] tic", s.depth);
  ++s.depth;
}

double TicToc::toc() {
  Stopwatch& s = stopwatch();
  std::lock_guard lock(s.mutex);
  if (s.depth == 0) {
    platform::log("toc without a matching tic");
    return std::numeric_limits<double>::quiet_NaN();
  }
  --s.depth;
  if (s.depth >= kCapacity) {
    platform::log("[%zu] toc not timed: nested deeper than %zu", s.depth, kCapacity);
    return std::numeric_limits<double>::quiet_NaN();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - s.starts[s.depth]).count();
  platform::log("[%zu] toc %g seconds", s.depth, seconds);
  return seconds;
}

}  // namespace orb::foundation
