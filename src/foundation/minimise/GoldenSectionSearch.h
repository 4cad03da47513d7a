#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/linear/VKInterval.h"
#include "foundation/minimise/Functor.h"
#include "foundation/minimise/MinimiserRecords.h"

#include "foundation/minimise/Minimiser.h"

namespace orb::foundation {

/// Minimisation of a function of one variable by golden-section search: the optimiser's
/// minimiser when a single variable is enabled, and the index fitter's. One object per
/// run: configure, run on the calling thread, then read returnCode and iteration.
///
/// Every search polls the current thread's cancelled flag once per iteration (code 5) and
/// stops when an end of its bracket leaves the ball of `universeRadius` (code 6). It also
/// stops when Σ (fᵢ − mean)² over the bracket's values (a sum of squares, neither divided
/// nor rooted) falls below convergenceStandardError. maxIteration also limits the
/// bracketing expansions; convergenceSize and convergenceValue are stored for symmetry
/// with the other minimisers, and the searches take their step-size tolerance as an
/// argument instead.
class GoldenSectionSearch : public Minimiser {
 public:
  GoldenSectionSearch() : Minimiser(1e-6, 1e10) {}

  enum ReturnCode : std::int32_t {
    kNoReturnCode = 0,
    kMaxIterationsExceeded = 1,
    kConvergedByStepSize = 2,
    kNoPerceptibleGradient = 3,
    kConvergedByStandardError = 4,
    kUserAborted = 5,
    kOutsideUniverse = 6,
  };

  /// The minimum of a function bracketed downhill from `interval`, located to within
  /// `stepsizeTolerance`. When no bracket is found (the function keeps falling past the
  /// iteration limit or the universe, or the run is cancelled) the code says so and the
  /// lowest point seen is returned.
  VKCoordinateAndFunctionValue minimizeFunctor(const Functor& functor, const VKInterval& interval,
                                               double stepsizeTolerance);
  /// Search within a bracket (a, c) whose inner point b is the best known; it may stop
  /// before evaluating anything when the bracket is already narrower than the tolerance.
  VKCoordinateAndFunctionValue minimizeFunctor(const Functor& functor, const VKBracketingTriplet& triplet,
                                               double stepsizeTolerance);
  /// Search between two ends whose values are given; the first pass never stops on size.
  VKCoordinateAndFunctionValue minimizeFunctor(const Functor& functor, const VKBracketingDoublet& doublet,
                                               double stepsizeTolerance);

  /// The text of the current code; "unknown return code" for any other value.
  std::string returnCodeDescription() const;
  static std::string returnCodeDescription(std::int32_t code);
  /// Observers of returnCodeDescription watch these keys.
  static std::vector<std::string> keyPathsForValuesAffectingReturnCodeDescription() { return {"returnCode"}; }


 private:
  bool shouldStopBeforeIteration(double end1, double end2);

};

}  // namespace orb::foundation
