#pragma once

#include <optional>

#include "foundation/linear/VKInterval.h"
#include "foundation/minimise/Functor.h"
#include "foundation/minimise/MinimiserRecords.h"

namespace orb::foundation {

/// −1 below 0, +1 above 0, 0 for 0 and NaN. Two values "differ in sign" when these
/// differ, so a zero or NaN value differs in sign from every non-zero one.
constexpr int signOfDouble(double x) { return x < 0 ? -1 : (x > 0 ? 1 : 0); }

/// Root finding for functions of one variable: widen an interval until the function
/// changes sign, then narrow it by halving. Failure is reported through the result
/// (nothing, or +infinity), never by an exception.
class VKMath {
 public:
  /// An interval whose ends differ in sign, found by widening `interval` by a factor 4.2
  /// per expansion (1.6 times the width on each free side); [x, x] at an exact zero of an
  /// end; nothing when no sign change turns up. A fixed end never moves. A degenerate
  /// interval comes back unevaluated when neither end is fixed, and is first opened by the
  /// smallest of 1e-6, 2e-6, … 0.524288 that changes the free end when one end is fixed.
  static std::optional<VKInterval> findIntervalContainingRootOfFunctor(const Functor& functor,
                                                                      const VKInterval& interval,
                                                                      int maximumNumberOfExpansions = 42,
                                                                      bool fixedLeft = false, bool fixedRight = false);

  /// Ends as above; otherwise the first of 100 equal steps from the low end whose value
  /// differs in sign from the low end's gives [x, max]; failing that, the interval itself.
  static std::optional<VKInterval> findIntervalContainingRootOfFunctorOnInterval(const Functor& functor,
                                                                                const VKInterval& interval,
                                                                                int recursionDepth = 0);

  /// Halves a sign-changing interval until it is narrower than `size` (or cannot be split
  /// in doubles). Nothing when the ends do not differ in sign, or after 100 halvings.
  static std::optional<VKInterval> isolateRootOfFunctor(const Functor& functor, const VKInterval& interval,
                                                        double size = 1e-10);

  /// The midpoint of the interval halved to below `tolerance`; an end at an exact zero;
  /// +infinity when the ends do not differ in sign. After 100 halvings the midpoint as it
  /// stands (and a log line).
  static double bisectToFindRootOfFunctor(const Functor& functor, const VKInterval& interval,
                                          double tolerance = 1e-10);

  /// Bisection from a doublet whose values are given (not evaluated again), with at most
  /// `maxIteration` halvings; the ends may come in either order.
  static double bisectToFindRootOfFunctor(const Functor& functor, const VKBracketingDoublet& doublet,
                                          double tolerance, int maxIteration);

  /// Walks from the doublet's first point in steps of `stepsize` (turning back once |f|
  /// grows) until the sign changes, at most `maxIteration` steps. The result is the last
  /// pair kept and the last point tried, a bracket only when their values differ in sign;
  /// its first coordinate may be the larger.
  static VKBracketingDoublet bracketRootOfFunctor(const Functor& functor, const VKBracketingDoublet& doublet,
                                                  double stepsize, int maxIteration);

  /// |x| with the sign of y: positive only when y > 0 (y zero or NaN gives −|x|).
  static double magnitudeOf(double x, double y);

  /// Logs the steps of the root finders; one process-wide flag.
  static bool debugOutput();
  static void setDebugOutput(bool on);
};

}  // namespace orb::foundation
