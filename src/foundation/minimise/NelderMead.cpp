#include "foundation/minimise/NelderMead.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "foundation/minimise/SimplexSupport.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/Thread.h"

namespace orb::foundation {

namespace {

using Code = NelderMead::ReturnCode;

std::atomic<double> g_ridgeFactor{0.0};

template <class Vertex>
std::vector<Vertex> buildSimplex(const VKSeries& point, const double* sizes, double size) {
  const std::size_t n = point.count();
  std::vector<Vertex> simplex;
  simplex.reserve(n + 1);
  simplex.emplace_back(point);
  for (std::size_t i = 0; i < n; ++i) {
    simplex.emplace_back(point);
    simplex.back().coordinate().atAdd(i, sizes ? sizes[i] : size);
  }
  return simplex;
}

void requireSizes(const VKSeries& point, const VKSeries& sizes) {
  if (sizes.count() < point.count())
    platform::Exception::raise("NSInternalInconsistencyException", "%zu simplex sizes for a point of %zu elements",
                               sizes.count(), point.count());
}

// Writes α·x + β·y into out, element by element (all of one count).
void combine(VKSeries& out, double alpha, const VKSeries& x, double beta, const VKSeries& y) {
  double* o = out.data();
  const double* px = x.data();
  const double* py = y.data();
  for (std::size_t k = 0; k < out.count(); ++k) o[k] = alpha * px[k] + beta * py[k];
}

template <class Vertex>
std::string describeSimplex(const std::vector<Vertex>& simplex) {
  std::string s = "(";
  for (const Vertex& v : simplex) s += "\n  " + v.detailedDescription();
  return s + "\n)";
}

// One downhill-simplex run, for plain and least-squares vertices alike: Vertex::evaluate
// with the functor gives the value (and the residuals of a least-squares vertex).
template <class Vertex, class F>
detail::SimplexRunOutcome runSimplex(const F& functor, std::vector<Vertex>& simplex,
                                     const detail::SimplexRunSettings& s) {
  detail::SimplexRunOutcome out;
  const std::size_t m = simplex.size();
  if (m < 3) {
    out.returnCode = Code::kTooFewDimensions;
    return out;
  }
  // Vertices of unequal dimension would make every step read past the shorter ones.
  if (!detail::coordinatesAgree(simplex)) {
    out.returnCode = Code::kMismatchedCoordinates;
    return out;
  }
  const std::size_t n = m - 1;
  const std::size_t dim = simplex[0].coordinate().count();
  for (Vertex& v : simplex) v.evaluate(functor);
  detail::sortSimplex(simplex);
  if (s.abortBeforeSetup && platform::currentThreadIsCancelled()) {
    platform::log("abort before setup");
    out.returnCode = Code::kUserAborted;
    return out;
  }

  // Work space for the whole run: the centroid, the worst point before the step, and the
  // three trial vertices (swapped into the simplex when accepted, so nothing is allocated
  // per iteration beyond what the functor itself does).
  VKSeries centroid(dim), worst(dim);
  Vertex reflected{VKSeries(dim)}, expanded{VKSeries(dim)}, contracted{VKSeries(dim)};

  for (out.iteration = 0;; ++out.iteration) {
    if (platform::currentThreadIsCancelled()) {
      out.returnCode = Code::kUserAborted;
      break;
    }
    if (s.debugOutput) platform::log("sorted simplex: %s", describeSimplex(simplex).c_str());
    const double f0 = simplex[0].functionValue();
    const double fn = simplex[n].functionValue();
    const double fn1 = simplex[n - 1].functionValue();
    if (f0 == fn) {
      out.returnCode = Code::kNoPerceptibleGradient;
      break;
    }
    if (out.iteration > s.maxIteration) {
      out.returnCode = Code::kMaxIterationsExceeded;
      break;
    }
    if (s.convergenceValue > f0) {
      out.returnCode = Code::kConvergedByFunctionValue;
      break;
    }
    if (detail::anyVertexOutside(simplex, s.universeRadius)) {
      out.returnCode = Code::kFellOffUniverse;
      break;
    }
    if (s.convergenceSize > 0 && s.convergenceSize > detail::smallestVertexDistance(simplex)) {
      out.returnCode = Code::kConvergedBySimplexSize;
      break;
    }
    if (s.convergenceStandardError > 0) {
      double mean = 0;
      for (const Vertex& v : simplex) mean += v.functionValue();
      mean /= static_cast<double>(m);
      double sum = 0;
      for (const Vertex& v : simplex) sum += (v.functionValue() - mean) * (v.functionValue() - mean);
      const double standardError = std::sqrt(sum / static_cast<double>(n));
      if (s.debugOutput) platform::log("standardError = %e", standardError);
      if (s.convergenceStandardError > standardError) {
        out.returnCode = Code::kConvergedByStandardError;
        break;
      }
    }

    // Centroid of all but the worst vertex.
    std::fill(centroid.begin(), centroid.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i) centroid.addSeries(simplex[i].coordinate());
    centroid.scaleBy(1.0 / static_cast<double>(n));
    worst.setValue(simplex[n].coordinate());

    combine(reflected.coordinate(), 2, centroid, -1, worst);
    reflected.evaluate(functor);
    const double fr = reflected.functionValue();
    if (fr < f0) {
      if (s.debugOutput) platform::log("reflection better than best");
      combine(expanded.coordinate(), 2, reflected.coordinate(), -1, centroid);
      expanded.evaluate(functor);
      // Judged against the best value, not against the reflection.
      std::swap(simplex[n], expanded.functionValue() < f0 ? expanded : reflected);
    } else if (fr <= fn1) {
      if (s.debugOutput) platform::log("accept reflection");
      std::swap(simplex[n], reflected);
    } else {
      if (s.debugOutput) platform::log("reflection not better than second best");
      if (fr < fn) {
        if (s.debugOutput) platform::log("reflection becomes new worst");
        std::swap(simplex[n], reflected);
      }
      combine(contracted.coordinate(), 0.5, centroid, 0.5, worst);
      contracted.evaluate(functor);
      if (s.debugOutput)
        platform::log("contraction coordinate: %s value: %g", contracted.coordinate().detailedDescription().c_str(),
                      contracted.functionValue());
      if (contracted.functionValue() <= fn) {
        if (s.debugOutput) platform::log("contract");
        std::swap(simplex[n], contracted);
      } else {
        if (s.debugOutput) platform::log("shrink");
        for (std::size_t i = 1; i <= n; ++i) {
          combine(simplex[i].coordinate(), 0.5, simplex[i].coordinate(), 0.5, simplex[0].coordinate());
          simplex[i].evaluate(functor);
        }
      }
    }
    detail::sortSimplex(simplex);
  }
  if (s.debugOutput) {
    platform::log("final value = %g", simplex[0].functionValue());
    platform::log("return code = %d (%s)", out.returnCode, NelderMead::returnCodeDescription(out.returnCode).c_str());
    platform::log("iterations  = %lld", static_cast<long long>(out.iteration));
  }
  return out;
}

}  // namespace

namespace detail {

SimplexRunOutcome minimizeSimplex(const MultivariateFunctor& functor, Simplex& simplex,
                                  const SimplexRunSettings& settings) {
  return runSimplex(functor, simplex, settings);
}

}  // namespace detail

Simplex NelderMead::euclideanSimplexWithInitialPoint(const VKSeries& point, double size) {
  return buildSimplex<CoordinateAndFunctionValue>(point, nullptr, size);
}

Simplex NelderMead::euclideanSimplexWithInitialPoint(const VKSeries& point, const VKSeries& sizes) {
  requireSizes(point, sizes);
  return buildSimplex<CoordinateAndFunctionValue>(point, sizes.data(), 0);
}

LeastSquaresSimplex NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(const VKSeries& point, double size) {
  return buildSimplex<CoordinateResidualsAndFunctionValue>(point, nullptr, size);
}

LeastSquaresSimplex NelderMead::euclideanLeastSquaresSimplexWithInitialPoint(const VKSeries& point,
                                                                             const VKSeries& sizes) {
  requireSizes(point, sizes);
  return buildSimplex<CoordinateResidualsAndFunctionValue>(point, sizes.data(), 0);
}

detail::SimplexRunSettings NelderMead::settings() const {
  detail::SimplexRunSettings s;
  s.convergenceStandardError = m_convergenceStandardError;
  s.convergenceSize = m_convergenceSize;
  s.convergenceValue = m_convergenceValue;
  s.universeRadius = m_universeRadius;
  s.maxIteration = static_cast<std::int64_t>(
      std::min<std::uint64_t>(m_maxIteration, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
  s.debugOutput = m_debugOutput;
  return s;
}

void NelderMead::minimizeFunctor(const MultivariateFunctor& functor, Simplex& simplex) {
  m_returnCode = kNoReturnCode;
  m_iteration = 0;
  const detail::SimplexRunOutcome out = runSimplex(functor, simplex, settings());
  m_returnCode = out.returnCode;
  m_iteration = static_cast<std::uint64_t>(out.iteration);
}

void NelderMead::minimizeLeastSquaresFunctor(const LeastSquaresFunctor& functor, LeastSquaresSimplex& simplex) {
  m_returnCode = kNoReturnCode;
  m_iteration = 0;
  m_evaluations = 0;
  g_ridgeFactor.store(0.01);
  detail::SimplexRunSettings s = settings();
  s.abortBeforeSetup = false;
  const detail::SimplexRunOutcome out = runSimplex(functor, simplex, s);
  m_returnCode = out.returnCode;
  m_iteration = static_cast<std::uint64_t>(out.iteration);
}

bool NelderMead::converged() const {
  return m_returnCode == kNoReturnCode || m_returnCode == kConvergedByFunctionValue ||
         m_returnCode == kConvergedBySimplexSize || m_returnCode == kConvergedByStandardError;
}

std::string NelderMead::returnCodeDescription(std::int32_t code) {
  switch (code) {
    case kNoReturnCode: return "no return code generated";
    case kMaxIterationsExceeded: return "maximum number of iterations exceeded";
    case kConvergedByFunctionValue: return "converged by function value";
    case kConvergedBySimplexSize: return "converged by simplex size";
    case kFellOffUniverse: return "fell off the edge of the universe";
    case kConvergedByStandardError: return "converged by standard error";
    case kNoPerceptibleGradient: return "no perceptible gradient";
    case kTooFewDimensions: return "can not minimize in less than 2 dimensions";
    case kUserAborted: return "user aborted";
    default: return "unknown return code";
  }
}

std::string NelderMead::returnCodeDescription() const { return returnCodeDescription(m_returnCode); }

double NelderMead::ridgeFactor() { return g_ridgeFactor.load(); }

std::array<double, 2> NelderMead::twoByTwoCramerForMatrix(const double* matrix, const double* vector) {
  const double det = matrix[0] * matrix[3] - matrix[1] * matrix[2];
  return {(vector[0] * matrix[3] - matrix[1] * vector[1]) / det, (matrix[0] * vector[1] - matrix[2] * vector[0]) / det};
}

std::optional<CoordinateResidualsAndFunctionValue> NelderMead::nuggetForSimplex(const LeastSquaresSimplex& simplex,
                                                                                const LeastSquaresFunctor& functor) {
  // The Cramer solve is 2 × 2: only a simplex of three vertices has a meaning here.
  if (simplex.size() != 3) return std::nullopt;
  for (const auto& v : simplex)
    if (!v.residuals()) return std::nullopt;
  const std::size_t dim = simplex[0].coordinate().count();
  const std::size_t p = simplex[0].residuals()->count();
  for (const auto& v : simplex)
    if (v.coordinate().count() != dim || v.residuals()->count() != p) {
      m_returnCode = kMismatchedCoordinates;
      return std::nullopt;
    }
  const VKSeries& r0 = *simplex[0].residuals();
  std::array<VKSeries, 2> d{VKSeries(p), VKSeries(p)};
  for (std::size_t i = 0; i < 2; ++i) d[i].setValueMinus(*simplex[i + 1].residuals(), r0);
  auto dot = [p](const VKSeries& a, const VKSeries& b) {
    double s = 0;
    for (std::size_t k = 0; k < p; ++k) s += a.at(k) * b.at(k);
    return s;
  };
  const double ridge = 1e-12 * ridgeFactor();
  const double a[4] = {dot(d[0], d[0]) + ridge, dot(d[0], d[1]), dot(d[1], d[0]), dot(d[1], d[1]) + ridge};
  const double b[2] = {-dot(d[0], r0), -dot(d[1], r0)};
  const std::array<double, 2> w = twoByTwoCramerForMatrix(a, b);
  if (!std::isfinite(w[0]) || !std::isfinite(w[1])) return std::nullopt;
  VKSeries x(dim);
  x.addSeries(simplex[0].coordinate(), 1 - w[0] - w[1]);
  x.addSeries(simplex[1].coordinate(), w[0]);
  x.addSeries(simplex[2].coordinate(), w[1]);
  CoordinateResidualsAndFunctionValue nugget(std::move(x));
  nugget.evaluate(functor);
  return nugget;
}

VKSeries NelderMead::parabolaResiduals(const VKSeries& xy) {
  ++m_evaluations;
  if (m_debugOutput)
    platform::log("[%lu] f(%e, %e) -> (%e, %e) -> %e", static_cast<unsigned long>(m_evaluations), xy.at(0), xy.at(1),
                  xy.at(0), xy.at(1), xy.at(0) * xy.at(0) + xy.at(1) * xy.at(1));
  return xy;
}

}  // namespace orb::foundation
