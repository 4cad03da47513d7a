#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace orb::foundation {

/// A process-wide stopwatch for timing nested stretches of work while debugging:
/// `tic` pushes a start time, `toc` pops it and answers the seconds since. Both log to
/// standard error with the nesting depth.
class TicToc {
 public:
  /// How many nested start times are kept. Deeper tics are counted, so tics and tocs
  /// still pair up, but are not timed.
  static constexpr std::size_t kCapacity = 100;

  static void tic(const std::optional<std::string>& label);
  static void tic() { tic(std::nullopt); }
  /// The seconds since the matching tic; NaN when there is no start time to measure
  /// from (no matching tic, or one nested deeper than kCapacity).
  static double toc();
};

}  // namespace orb::foundation
