#pragma once

#include <atomic>
#include <cstddef>

namespace orb::bench {

/// Bytes held through operator new, counted by the benchmark binary's replacement of the
/// global operators (AllocationMeter.cpp): what a ray set costs at its peak.
struct AllocationMeter {
  static std::atomic<std::size_t> current;
  static std::atomic<std::size_t> peak;
  /// Peak := current, so the next peak is measured from here.
  static void resetPeak() { peak.store(current.load()); }
};

}  // namespace orb::bench
