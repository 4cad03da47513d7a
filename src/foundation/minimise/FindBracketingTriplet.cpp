#include "foundation/minimise/FindBracketingTriplet.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

#include "foundation/minimise/VKMath.h"
#include "platform/Log.h"
#include "platform/Thread.h"

namespace orb::foundation {

namespace {

constexpr double kGoldenRatio = 1.618034;
constexpr double kGrowthLimit = 100;
constexpr double kTiny = 1e-20;

std::atomic<bool> gDebugOutput{false};

}  // namespace

void FindBracketingTriplet::setDebugOutput(bool on) { gDebugOutput.store(on, std::memory_order_relaxed); }
bool FindBracketingTriplet::debugOutput() { return gDebugOutput.load(std::memory_order_relaxed); }

VKBracketingTriplet FindBracketingTriplet::findBracketingTripletOfFunctor(const Functor& functor,
                                                                        const VKInterval& interval) {
  return findBracketingTripletOfFunctor(functor, interval, Limits{}).triplet;
}

FindBracketingTriplet::Result FindBracketingTriplet::findBracketingTripletOfFunctor(const Functor& functor,
                                                                                   const VKInterval& interval,
                                                                                   const Limits& limits) {
  const bool debug = debugOutput();
  double a = interval.min(), b = interval.max();
  double fa = functor.valueAt(a), fb = functor.valueAt(b);
  if (fb > fa) {
    std::swap(a, b);
    std::swap(fa, fb);
  }
  Result result;
  double c = b + kGoldenRatio * (b - a);
  double fc = 0;
  auto outside = [&](double x) { return !(std::fabs(x) <= limits.universeRadius); };
  auto shift = [&](double u, double fu) {
    a = b;
    fa = fb;
    b = c;
    fb = fc;
    c = u;
    fc = fu;
  };
  auto finish = [&](double x0, double f0, double x1, double f1, double x2, double f2, Outcome outcome) {
    result.triplet = {{x0, f0}, {x1, f1}, {x2, f2}};
    result.outcome = outcome;
    if (debug) {
      platform::log("FindBracketingTriplet returns triplet:");
      platform::log("  a=%e\tfa=%e", x0, f0);
      platform::log("  b=%e\tfb=%e", x1, f1);
      platform::log("  c=%e\tfc=%e", x2, f2);
    }
    return result;
  };
  // Before c has a value the best we can hand back is the two ends.
  if (outside(c)) return finish(a, fa, b, fb, b, fb, Outcome::OutsideUniverse);
  fc = functor.valueAt(c);

  while (fb > fc) {
    if (debug) {
      platform::log("bracketing triplet iteration:");
      platform::log("  a=%g\tfa=%g", a, fa);
      platform::log("  b=%g\tfb=%g", b, fb);
      platform::log("  c=%g\tfc=%g", c, fc);
    }
    if (platform::currentThreadIsCancelled()) return finish(a, fa, b, fb, c, fc, Outcome::Cancelled);
    if (result.expansions >= limits.maxExpansions) return finish(a, fa, b, fb, c, fc, Outcome::ExpansionLimit);
    ++result.expansions;

    const double r = (b - a) * (fb - fc);
    const double q = (b - c) * (fb - fa);
    double u = b - ((b - c) * q - (b - a) * r) / (2 * VKMath::magnitudeOf(std::max(std::fabs(q - r), kTiny), q - r));
    const double ulim = b + kGrowthLimit * (c - b);
    double fu;
    if ((b - u) * (u - c) > 0) {
      // Parabolic point between b and c.
      fu = functor.valueAt(u);
      if (fu < fc) return finish(b, fb, u, fu, c, fc, Outcome::Bracketed);
      if (fu > fb) return finish(a, fa, b, fb, u, fu, Outcome::Bracketed);
      u = c + kGoldenRatio * (c - b);
      if (outside(u)) return finish(a, fa, b, fb, c, fc, Outcome::OutsideUniverse);
      fu = functor.valueAt(u);
    } else if ((c - u) * (u - ulim) > 0) {
      // Parabolic point beyond c, within the growth limit.
      if (outside(u)) return finish(a, fa, b, fb, c, fc, Outcome::OutsideUniverse);
      fu = functor.valueAt(u);
      if (fu < fc) {
        // Still falling beyond c: move on by one point and step out by the golden ratio.
        shift(u, fu);
        u = c + kGoldenRatio * (c - b);
        if (outside(u)) return finish(a, fa, b, fb, c, fc, Outcome::OutsideUniverse);
        fu = functor.valueAt(u);
      }
    } else if ((u - ulim) * (ulim - c) >= 0) {
      u = ulim;
      if (outside(u)) return finish(a, fa, b, fb, c, fc, Outcome::OutsideUniverse);
      fu = functor.valueAt(u);
    } else {
      u = c + kGoldenRatio * (c - b);
      if (outside(u)) return finish(a, fa, b, fb, c, fc, Outcome::OutsideUniverse);
      fu = functor.valueAt(u);
    }
    shift(u, fu);
  }
  return finish(a, fa, b, fb, c, fc, Outcome::Bracketed);
}

}  // namespace orb::foundation
