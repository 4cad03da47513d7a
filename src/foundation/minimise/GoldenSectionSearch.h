#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/linear/VKInterval.h"
#include "foundation/minimise/Functor.h"
#include "foundation/minimise/MinimiserRecords.h"

namespace orb::foundation {

/// Minimisation of a function of one variable by golden-section search: the optimiser's
/// minimiser when a single variable is enabled, and the index fitter's. One object per
/// run: configure, run on the calling thread, then read returnCode and iteration.
///
/// Every search polls the current thread's cancelled flag once per iteration (code 5) and
/// stops when an end of its bracket leaves the ball of `universeRadius` (code 6).
class GoldenSectionSearch {
 public:
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

  /// Stop when Σ (fᵢ − mean)² over the bracket's values falls below this (a sum of
  /// squares, neither divided nor rooted).
  double convergenceStandardError() const { return m_convergenceStandardError; }
  void setConvergenceStandardError(double v) { m_convergenceStandardError = v; }
  /// Stored for symmetry with the other minimisers; the searches take their step-size
  /// tolerance as an argument instead.
  double convergenceSize() const { return m_convergenceSize; }
  void setConvergenceSize(double v) { m_convergenceSize = v; }
  /// Stored, never read.
  double convergenceValue() const { return m_convergenceValue; }
  void setConvergenceValue(double v) { m_convergenceValue = v; }
  /// Stop when a bracket end lies farther than this from 0.
  double universeRadius() const { return m_universeRadius; }
  void setUniverseRadius(double v) { m_universeRadius = v; }
  /// Iteration limit (also the limit on bracketing expansions).
  std::uint64_t maxIteration() const { return m_maxIteration; }
  void setMaxIteration(std::uint64_t v) { m_maxIteration = v; }
  std::uint64_t iteration() const { return m_iteration; }
  void setIteration(std::uint64_t v) { m_iteration = v; }
  std::int32_t returnCode() const { return m_returnCode; }
  void setReturnCode(std::int32_t v) { m_returnCode = v; }
  bool debugOutput() const { return m_debugOutput; }

 private:
  bool shouldStopBeforeIteration(double end1, double end2);

  std::int32_t m_returnCode = kNoReturnCode;
  double m_convergenceStandardError = 1e-6;
  double m_convergenceSize = 1e-6;
  double m_convergenceValue = 0;
  double m_universeRadius = 1e10;
  std::uint64_t m_maxIteration = 1000;
  std::uint64_t m_iteration = 0;
  bool m_debugOutput = false;
};

}  // namespace orb::foundation
