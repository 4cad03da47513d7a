#include "foundation/minimise/GoldenSectionSearch.h"

#include <algorithm>
#include <cmath>

#include "foundation/minimise/FindBracketingTriplet.h"
#include "platform/Log.h"
#include "platform/Thread.h"

namespace orb::foundation {

namespace {

// 2 − 1.618034: the inner point that survives a shrink is where the next iteration's
// inner point on that side falls, so each iteration costs one new evaluation.
constexpr double kInnerStep = 0.381966;

// One inner point of the bracket and whether it still lies where the next iteration
// wants it.
struct InnerPoint {
  double x = 0;
  double f = 0;
  bool valid = false;
};

}  // namespace

std::string GoldenSectionSearch::returnCodeDescription(std::int32_t code) {
  switch (code) {
    case kNoReturnCode: return "no return code generated";
    case kMaxIterationsExceeded: return "maximum number of iterations exceeded";
    case kConvergedByStepSize: return "converged by step size";
    case kNoPerceptibleGradient: return "no perceptible gradient";
    case kConvergedByStandardError: return "converged by standard error";
    case kUserAborted: return "user aborted";
    case kOutsideUniverse: return "coordinate outside universe";
    default: return "unknown return code";
  }
}

std::string GoldenSectionSearch::returnCodeDescription() const { return returnCodeDescription(m_returnCode); }

bool GoldenSectionSearch::shouldStopBeforeIteration(double end1, double end2) {
  if (platform::currentThreadIsCancelled()) {
    m_returnCode = kUserAborted;
    return true;
  }
  if (std::fabs(end1) > m_universeRadius || std::fabs(end2) > m_universeRadius) {
    if (m_debugOutput) platform::log("points outside universe");
    m_returnCode = kOutsideUniverse;
    return true;
  }
  return false;
}

VKCoordinateAndFunctionValue GoldenSectionSearch::minimizeFunctor(const Functor& functor,
                                                                  const VKBracketingTriplet& triplet,
                                                                  double tolerance) {
  double a = triplet.a.coordinate, fa = triplet.a.functionValue;
  double b = triplet.b.coordinate, fb = triplet.b.functionValue;
  double c = triplet.c.coordinate, fc = triplet.c.functionValue;
  InnerPoint ia, ic;  // a′ near a, c′ near c
  m_iteration = 0;
  for (;;) {
    if (m_debugOutput) platform::log("f(%e) = %e | f(%e) = %e | f(%e) = %e", a, fa, b, fb, c, fc);
    if (shouldStopBeforeIteration(a, c)) break;
    const double s = kInnerStep * (c - a);
    if (tolerance > std::fabs(s)) {
      m_returnCode = kConvergedByStepSize;
      break;
    }
    const double mean = (fa + fb + fc) / 3;
    const double spread = (fa - mean) * (fa - mean) + (fb - mean) * (fb - mean) + (fc - mean) * (fc - mean);
    if (m_convergenceStandardError > spread) {
      m_returnCode = kConvergedByStandardError;
      break;
    }
    if (!ia.valid) {
      ia = {a + s, functor.valueAt(a + s), true};
      if (m_debugOutput) platform::log("a': f(%e) = %e", ia.x, ia.f);
    }
    if (!ic.valid) {
      ic = {c - s, functor.valueAt(c - s), true};
      if (m_debugOutput) platform::log("c': f(%e) = %e", ic.x, ic.f);
    }

    // Carry the best interior point along as b.
    double bx = b, bf = fb;
    if (ia.f <= bf) bx = ia.x, bf = ia.f;
    if (ic.f <= bf) bx = ic.x, bf = ic.f;
    if (bx < std::min(a, c) || bx > std::max(a, c)) {
      if (ia.f < ic.f)
        bx = ia.x, bf = ia.f;
      else
        bx = ic.x, bf = ic.f;
    }
    b = bx;
    fb = bf;

    if (ia.f < ic.f) {
      if (fa > ia.f) {
        c = ic.x, fc = ic.f;
        ic = ia;
        ia.valid = false;
      } else {
        c = ia.x, fc = ia.f;
        ia.valid = ic.valid = false;
      }
    } else if (ic.f < ia.f) {
      if (fc > ic.f) {
        a = ia.x, fa = ia.f;
        ia = ic;
        ic.valid = false;
      } else {
        a = ic.x, fa = ic.f;
        ia.valid = ic.valid = false;
      }
    } else {
      if (fa <= ia.f) {
        if (m_debugOutput) platform::log("GoldenSectionSearch, no improvement possible");
        m_returnCode = kNoPerceptibleGradient;
        break;
      }
      a = ia.x, fa = ia.f;
      c = ic.x, fc = ic.f;
      ia.valid = ic.valid = false;
    }
    if (++m_iteration > m_maxIteration) {
      m_returnCode = kMaxIterationsExceeded;
      platform::log("GoldenSectionSearch max iterations exceeded");
      break;
    }
  }
  if (m_debugOutput) platform::log("termination of triplet minimization");
  if (fc > fa) return fb < fa ? VKCoordinateAndFunctionValue{b, fb} : VKCoordinateAndFunctionValue{a, fa};
  return fb < fc ? VKCoordinateAndFunctionValue{b, fb} : VKCoordinateAndFunctionValue{c, fc};
}

VKCoordinateAndFunctionValue GoldenSectionSearch::minimizeFunctor(const Functor& functor,
                                                                  const VKBracketingDoublet& doublet,
                                                                  double tolerance) {
  double a = doublet.first.coordinate, fa = doublet.first.functionValue;
  double b = doublet.second.coordinate, fb = doublet.second.functionValue;
  InnerPoint ia, ib;  // a′ near a, b′ near b
  m_iteration = 0;
  for (;;) {
    if (m_debugOutput) platform::log("a : f(%e) = %e\nb : f(%e) = %e", a, fa, b, fb);
    if (shouldStopBeforeIteration(a, b)) break;
    const double s = kInnerStep * (b - a);
    if (m_iteration != 0 && tolerance > std::fabs(s)) {
      m_returnCode = kConvergedByStepSize;
      break;
    }
    const double mean = (fa + fb) / 2;
    if (m_convergenceStandardError > (fa - mean) * (fa - mean) + (fb - mean) * (fb - mean)) {
      m_returnCode = kConvergedByStandardError;
      break;
    }
    if (!ia.valid) ia = {a + s, functor.valueAt(a + s), true};
    if (!ib.valid) ib = {b - s, functor.valueAt(b - s), true};
    if (m_debugOutput) platform::log("a': f(%e) = %e\nb': f(%e) = %e", ia.x, ia.f, ib.x, ib.f);

    if (ia.f < ib.f) {
      if (fa > ia.f) {
        b = ib.x, fb = ib.f;
        ib = ia;
        ia.valid = false;
      } else {
        b = ia.x, fb = ia.f;
        ia.valid = ib.valid = false;
      }
    } else if (ib.f < ia.f) {
      if (fb > ib.f) {
        a = ia.x, fa = ia.f;
        ia = ib;
        ib.valid = false;
      } else {
        a = ib.x, fa = ib.f;
        ia.valid = ib.valid = false;
      }
    } else {
      if (fa <= ia.f) {
        if (m_debugOutput) platform::log("GoldenSectionSearch, no improvement possible");
        m_returnCode = kNoPerceptibleGradient;
        break;
      }
      a = ia.x, fa = ia.f;
      b = ib.x, fb = ib.f;
      ia.valid = ib.valid = false;
    }
    if (++m_iteration > m_maxIteration) {
      m_returnCode = kMaxIterationsExceeded;
      platform::log("GoldenSectionSearch max iterations exceeded");
      break;
    }
  }
  if (m_debugOutput) platform::log("termination of doublet minimization");
  return fa < fb ? VKCoordinateAndFunctionValue{a, fa} : VKCoordinateAndFunctionValue{b, fb};
}

VKCoordinateAndFunctionValue GoldenSectionSearch::minimizeFunctor(const Functor& functor,
                                                                  const VKInterval& interval, double tolerance) {
  FindBracketingTriplet::Limits limits;
  limits.maxExpansions = m_maxIteration;
  limits.universeRadius = m_universeRadius;
  const FindBracketingTriplet::Result bracket =
      FindBracketingTriplet::findBracketingTripletOfFunctor(functor, interval, limits);
  const VKBracketingTriplet& t = bracket.triplet;
  if (bracket.outcome != FindBracketingTriplet::Outcome::Bracketed) {
    m_iteration = bracket.expansions;
    switch (bracket.outcome) {
      case FindBracketingTriplet::Outcome::Cancelled: m_returnCode = kUserAborted; break;
      case FindBracketingTriplet::Outcome::OutsideUniverse: m_returnCode = kOutsideUniverse; break;
      default:
        m_returnCode = kMaxIterationsExceeded;
        platform::log("GoldenSectionSearch max iterations exceeded");
        break;
    }
    // Downhill all the way: the last point reached is the lowest.
    VKCoordinateAndFunctionValue best = t.a;
    for (const VKCoordinateAndFunctionValue& p : {t.b, t.c})
      if (p.functionValue < best.functionValue) best = p;
    return best;
  }
  if (m_debugOutput)
    platform::log("initial bracketing triplet\na: f(%e) = %e\nb: f(%e) = %e\nc: f(%e) = %e", t.a.coordinate,
                  t.a.functionValue, t.b.coordinate, t.b.functionValue, t.c.coordinate, t.c.functionValue);
  const VKCoordinateAndFunctionValue result = minimizeFunctor(functor, t, tolerance);
  if (m_debugOutput)
    platform::log("end interval minimization, result: f(%e) = %e", result.coordinate, result.functionValue);
  return result;
}

}  // namespace orb::foundation
