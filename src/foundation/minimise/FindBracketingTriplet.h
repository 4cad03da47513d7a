#pragma once

#include <cstdint>
#include <limits>

#include "foundation/linear/VKInterval.h"
#include "foundation/minimise/Functor.h"
#include "foundation/minimise/MinimiserRecords.h"

namespace orb::foundation {

/// Downhill bracketing of a one-dimensional minimum: golden-ratio expansion from an
/// interval, sped up by parabolic extrapolation, until the function turns up again.
class FindBracketingTriplet {
 public:
  /// How a bracketing run ended.
  enum class Outcome {
    Bracketed,        ///< the triplet brackets a minimum
    ExpansionLimit,   ///< `maxExpansions` steps went downhill without turning up
    OutsideUniverse,  ///< the next point would have left the ball of `universeRadius`
    Cancelled,        ///< the current thread was cancelled
  };

  /// Bounds on the search, so that a function falling without end cannot run it forever.
  struct Limits {
    /// Downhill steps before giving up. Each step widens the search by a factor of at
    /// least 1.618, so 200 steps cover any range a double can describe.
    std::uint64_t maxExpansions = 200;
    /// No point farther from 0 than this is evaluated.
    double universeRadius = std::numeric_limits<double>::infinity();
  };

  struct Result {
    /// A bracket when `outcome` is Bracketed; otherwise the last three points, c the lowest.
    VKBracketingTriplet triplet;
    Outcome outcome = Outcome::Bracketed;
    std::uint64_t expansions = 0;
  };

  /// The bracket found downhill from the interval's ends (searching from the end with the
  /// larger value towards the smaller), with the default limits.
  static VKBracketingTriplet findBracketingTripletOfFunctor(const Functor& functor, const VKInterval& interval);
  static Result findBracketingTripletOfFunctor(const Functor& functor, const VKInterval& interval,
                                               const Limits& limits);

  /// Logs every expansion; one process-wide flag.
  static void setDebugOutput(bool on);
  static bool debugOutput();
};

}  // namespace orb::foundation
