#include "foundation/minimise/VKMath.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "platform/Log.h"

namespace orb::foundation {

namespace {

constexpr double kWideningFactor = 1.6;
constexpr int kMaximumHalvings = 100;

std::atomic<bool> gDebugOutput{false};

bool differInSign(double u, double v) { return signOfDouble(u) != signOfDouble(v); }

// The shared halving of isolateRootOfFunctor and both bisections. Returns true when the
// bracket [a, b] became narrower than `tolerance` or could not be split any further.
bool halve(const Functor& functor, double& a, double& fa, double& b, double& fb, double tolerance,
           int maxHalvings, bool debug) {
  for (int i = 0;; ++i) {
    if (debug) platform::log("f(%.6e)=%.2e  |  f(%.6e)=%.2e", a, fa, b, fb);
    // |b − a|, so that a doublet given high end first is narrowed rather than accepted at once.
    if (tolerance > std::fabs(b - a)) return true;
    const double m = 0.5 * (a + b);
    if (m == a || m == b) return true;
    if (i >= maxHalvings) return false;
    const double fm = functor.valueAt(m);
    if (debug) platform::log("f(%.6e)=%.2e | f(%.6e)=%.2e | f(%.6e)=%.2e", a, fa, m, fm, b, fb);
    if (differInSign(fm, fa)) {
      b = m;
      fb = fm;
    } else {
      a = m;
      fa = fm;
    }
  }
}

}  // namespace

bool VKMath::debugOutput() { return gDebugOutput.load(std::memory_order_relaxed); }
void VKMath::setDebugOutput(bool on) { gDebugOutput.store(on, std::memory_order_relaxed); }

double VKMath::magnitudeOf(double x, double y) { return y > 0 ? std::fabs(x) : -std::fabs(x); }

std::optional<VKInterval> VKMath::findIntervalContainingRootOfFunctor(const Functor& functor,
                                                                     const VKInterval& interval,
                                                                     int maximumNumberOfExpansions, bool fixedLeft,
                                                                     bool fixedRight) {
  const bool debug = debugOutput();
  double a = interval.min(), b = interval.max();
  if (a == b) {
    if (fixedLeft && fixedRight) return std::nullopt;
    if (!fixedLeft && !fixedRight) return interval;
    // Open the degenerate interval on its free side by the smallest step that shows.
    bool opened = false;
    for (double delta = 1e-6, k = 0; k < 20 && !opened; ++k, delta *= 2) {
      if (fixedRight && b - delta != b) {
        a = b - delta;
        opened = true;
      } else if (fixedLeft && a + delta != a) {
        b = a + delta;
        opened = true;
      }
    }
    if (!opened) return interval;
  }
  double fa = functor.valueAt(a), fb = functor.valueAt(b);
  if (debug) platform::log("f(%.6e)=%.2e  []  f(%.6e)=%.2e", a, fa, b, fb);
  if (fa == 0) return VKInterval(a, a);
  if (fb == 0) return VKInterval(b, b);
  if (differInSign(fa, fb)) {
    if (debug) platform::log("bracket after %d expansions", 0);
    return VKInterval(a, b);
  }
  if (fixedLeft && fixedRight) return std::nullopt;
  for (int expansion = 1; expansion <= maximumNumberOfExpansions; ++expansion) {
    if (!fixedLeft && !fixedRight) {
      const double d = kWideningFactor * (b - a);
      a -= d;
      b += d;
    } else if (fixedRight) {
      a -= kWideningFactor * (b - a);
    } else {
      b += kWideningFactor * (b - a);
    }
    fa = functor.valueAt(a);
    fb = functor.valueAt(b);
    if (debug) platform::log("f(%.6e)=%.2e  []  f(%.6e)=%.2e", a, fa, b, fb);
    if (differInSign(fa, fb)) {
      if (debug) platform::log("bracket after %d expansions", expansion);
      return VKInterval(a, b);
    }
  }
  if (debug) platform::log(" no interval found");
  return std::nullopt;
}

std::optional<VKInterval> VKMath::findIntervalContainingRootOfFunctorOnInterval(const Functor& functor,
                                                                               const VKInterval& interval,
                                                                               int /*recursionDepth*/) {
  const bool debug = debugOutput();
  const double a = interval.min(), b = interval.max();
  const double fa = functor.valueAt(a), fb = functor.valueAt(b);
  if (debug) platform::log("f(%.6e)=%.2e  []  f(%.6e)=%.2e", a, fa, b, fb);
  if (fa == 0) return VKInterval(a, a);
  if (fb == 0) return VKInterval(b, b);
  if (differInSign(fa, fb)) return VKInterval(a, b);
  VKInterval result(a, b);
  if (b > a) {
    const double step = (b - a) / 100;
    for (int k = 0;; ++k) {
      const double x = a + k * step;
      if (!(x < b)) break;
      if (differInSign(functor.valueAt(x), fa)) {
        result = VKInterval(x, b);
        break;
      }
    }
  }
  if (debug) platform::log("f(%.6e)=%.2e  []  f(%.6e)=%.2e", result.a(), functor.valueAt(result.a()), result.b(),
                           functor.valueAt(result.b()));
  return result;
}

std::optional<VKInterval> VKMath::isolateRootOfFunctor(const Functor& functor, const VKInterval& interval,
                                                       double size) {
  const bool debug = debugOutput();
  if (debug)
    platform::log("isolateRootOfFunctor: %p byCollapsingInterval: %s toSize: %g", static_cast<const void*>(&functor),
                  interval.description().c_str(), size);
  double a = interval.min(), b = interval.max();
  double fa = functor.valueAt(a);
  if (fa == 0) return VKInterval(a, a);
  double fb = functor.valueAt(b);
  if (fb == 0) return VKInterval(b, b);
  if (!differInSign(fa, fb)) {
    if (debug) platform::log("root not bracketed");
    return std::nullopt;
  }
  if (!halve(functor, a, fa, b, fb, size, kMaximumHalvings, debug)) {
    platform::log("maximum iterations (%d) exceeded", kMaximumHalvings);
    return std::nullopt;
  }
  if (debug) platform::log("root found");
  return VKInterval(a, b);
}

double VKMath::bisectToFindRootOfFunctor(const Functor& functor, const VKInterval& interval, double tolerance) {
  const bool debug = debugOutput();
  double a = interval.min(), b = interval.max();
  double fa = functor.valueAt(a);
  if (fa == 0) return a;
  double fb = functor.valueAt(b);
  if (fb == 0) return b;
  if (!differInSign(fa, fb)) return std::numeric_limits<double>::infinity();
  if (!halve(functor, a, fa, b, fb, tolerance, kMaximumHalvings, debug))
    platform::log("maximum iterations (%d) exceeded", kMaximumHalvings);
  else if (debug)
    platform::log("root found");
  return 0.5 * (a + b);
}

double VKMath::bisectToFindRootOfFunctor(const Functor& functor, const VKBracketingDoublet& doublet,
                                         double tolerance, int maxIteration) {
  const bool debug = debugOutput();
  double a = doublet.first.coordinate, fa = doublet.first.functionValue;
  double b = doublet.second.coordinate, fb = doublet.second.functionValue;
  if (fa == 0) return a;
  if (fb == 0) return b;
  if (!differInSign(fa, fb)) return std::numeric_limits<double>::infinity();
  if (!halve(functor, a, fa, b, fb, tolerance, std::max(maxIteration, 0), debug) && debug)
    platform::log("maximum iterations (%d) exceeded", maxIteration);
  return 0.5 * (a + b);
}

VKBracketingDoublet VKMath::bracketRootOfFunctor(const Functor& functor, const VKBracketingDoublet& doublet,
                                                 double stepsize, int maxIteration) {
  VKCoordinateAndFunctionValue kept = doublet.first;
  VKCoordinateAndFunctionValue tried = doublet.second;
  double h = stepsize;
  for (int i = 0; i < maxIteration; ++i) {
    tried.coordinate = kept.coordinate + h;
    tried.functionValue = functor.valueAt(tried.coordinate);
    if (differInSign(tried.functionValue, kept.functionValue)) break;
    if (std::fabs(tried.functionValue) > std::fabs(kept.functionValue))
      h = -h;  // uphill in |f|: turn round, keeping the better point
    else
      kept = tried;
  }
  return {kept, tried};
}

}  // namespace orb::foundation
