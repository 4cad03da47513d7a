#include "foundation/minimise/LevenbergMarquardt.h"

#include <algorithm>
#include <cmath>

#include "foundation/linear/Matrix.h"
#include "foundation/minimise/SimplexSupport.h"
#include "platform/Log.h"
#include "platform/Thread.h"

namespace orb::foundation {

// ---------------------------------------------------------------------------------------
// Trajectory

void LevenbergMarquardtTrajectory::appendFunctionValue(double value) {
  m_values[static_cast<std::size_t>(m_nextSlot)] = value;
  m_nextSlot = (m_nextSlot + 1) % kNumberOfSlots;
  m_numberOfOccupiedSlots = std::min(m_numberOfOccupiedSlots + 1, kNumberOfSlots);
}

double LevenbergMarquardtTrajectory::standardDeviation() const {
  if (m_numberOfOccupiedSlots < kNumberOfSlots) return std::numeric_limits<double>::infinity();
  double mean = 0;
  for (double v : m_values) mean += v;
  mean /= kNumberOfSlots;
  double sum = 0;
  for (double v : m_values) sum += (v - mean) * (v - mean);
  return std::sqrt(sum / (kNumberOfSlots - 1));
}

// ---------------------------------------------------------------------------------------
// Damped Gauss–Newton step

struct LevenbergMarquardt::Workspace {
  std::vector<double> columns;  // n columns dᵢ = rᵢ₊₁ − r₀ of p residuals each
  SquareMatrix a;
  ColumnMatrix b;
};

bool LevenbergMarquardt::nuggetCoordinate(const LeastSquaresSimplex& simplex, Workspace& work,
                                          VKSeries& coordinate) const {
  const std::size_t n = simplex.size() - 1;
  const std::optional<VKSeries>& r0 = simplex[0].residuals();
  if (!r0) return false;
  const std::size_t p = r0->count();
  work.columns.assign(n * p, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::optional<VKSeries>& ri = simplex[i + 1].residuals();
    // A vertex without residuals (or with a different number of them) says nothing about
    // its direction: its column stays zero, and the damping alone keeps the step from
    // moving that way.
    if (!ri || ri->count() != p) continue;
    double* d = work.columns.data() + i * p;
    for (std::size_t k = 0; k < p; ++k) d[k] = ri->data()[k] - r0->data()[k];
  }
  if (work.a.nRows() != n) {
    work.a = SquareMatrix(n);
    work.b = ColumnMatrix(n);
  }
  const double ridge = m_damping * m_h * m_h;
  for (std::size_t i = 0; i < n; ++i) {
    const double* di = work.columns.data() + i * p;
    for (std::size_t j = 0; j <= i; ++j) {
      const double* dj = work.columns.data() + j * p;
      double dot = 0;
      for (std::size_t k = 0; k < p; ++k) dot += di[k] * dj[k];
      work.a.atPut(i, j, dot);
      work.a.atPut(j, i, dot);
    }
    work.a.atPut(i, i, work.a.at(i, i) + ridge);
    double dr = 0;
    for (std::size_t k = 0; k < p; ++k) dr += di[k] * r0->data()[k];
    work.b.atPut(i, -dr);
  }
  const std::optional<ColumnMatrix> w = work.a.choleskySolve(work.b);
  if (!w) return false;
  const VKSeries& x0 = simplex[0].coordinate();
  coordinate.setValue(x0);
  for (std::size_t i = 0; i < n; ++i) {
    const double wi = w->at(i);
    const VKSeries& xi = simplex[i + 1].coordinate();
    for (std::size_t k = 0; k < coordinate.count(); ++k) coordinate.data()[k] += wi * (xi.data()[k] - x0.data()[k]);
  }
  return std::isfinite(coordinate.norm());
}

std::optional<CoordinateResidualsAndFunctionValue> LevenbergMarquardt::nuggetForSimplex(
    const LeastSquaresSimplex& simplex, const LeastSquaresFunctor& functor) {
  if (simplex.size() < 2 || !detail::coordinatesAgree(simplex)) return std::nullopt;
  Workspace work;
  CoordinateResidualsAndFunctionValue nugget{VKSeries(simplex[0].coordinate().count())};
  if (!nuggetCoordinate(simplex, work, nugget.coordinate())) return std::nullopt;
  nugget.evaluate(functor);
  return nugget;
}

// ---------------------------------------------------------------------------------------
// Bounds

namespace {

double boundAt(const std::vector<double>& bounds, std::size_t i, double unbounded) {
  return i < bounds.size() ? bounds[i] : unbounded;
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

bool LevenbergMarquardt::projectIntoBoundsNugget(CoordinateResidualsAndFunctionValue& vertex) const {
  bool moved = false;
  VKSeries& x = vertex.coordinate();
  for (std::size_t i = 0; i < x.count(); ++i) {
    const double lower = boundAt(m_lowerBounds, i, -kInfinity);
    const double upper = boundAt(m_upperBounds, i, kInfinity);
    if (lower > x.at(i)) {
      if (m_debugOutput) platform::log("coordinate[%zu] = %g < %g, replacing by bound", i, x.at(i), lower);
      x.atPut(i, lower);
      moved = true;
    }
    if (x.at(i) > upper) {
      if (m_debugOutput) platform::log("coordinate[%zu] = %g > %g, replacing by bound", i, x.at(i), upper);
      x.atPut(i, upper);
      moved = true;
    }
  }
  return moved;
}

bool LevenbergMarquardt::conformToBoundsSimplex(LeastSquaresSimplex& simplex) const {
  if (simplex.empty() || (m_lowerBounds.empty() && m_upperBounds.empty())) return false;
  bool mirrored = false;
  const VKSeries& x0 = simplex[0].coordinate();
  // Every element, not only the one a freshly built simplex displaces: after sorting and
  // moving, vertex v need not differ from vertex 0 along element v − 1 alone.
  for (std::size_t v = 1; v < simplex.size(); ++v) {
    VKSeries& x = simplex[v].coordinate();
    for (std::size_t i = 0; i < std::min(x.count(), x0.count()); ++i) {
      if (boundAt(m_lowerBounds, i, -kInfinity) > x.at(i)) {
        if (m_debugOutput)
          platform::log("vertex %zu x[%zu] = %g < %g, reflecting", v, i, x.at(i), boundAt(m_lowerBounds, i, 0));
        x.atPut(i, 2 * x0.at(i) - x.at(i));
        mirrored = true;
      }
      if (x.at(i) > boundAt(m_upperBounds, i, kInfinity)) {
        if (m_debugOutput)
          platform::log("vertex %zu x[%zu] = %g > %g, reflecting", v, i, x.at(i), boundAt(m_upperBounds, i, 0));
        x.atPut(i, 2 * x0.at(i) - x.at(i));
        mirrored = true;
      }
    }
  }
  return mirrored;
}

// ---------------------------------------------------------------------------------------
// Minimisation

void LevenbergMarquardt::minimizeLeastSquaresFunctor(const LeastSquaresFunctor& functor,
                                                     LeastSquaresSimplex& simplex) {
  m_evaluations = 0;
  m_returnCode = kNoReturnCode;
  m_iteration = 0;
  const std::size_t m = simplex.size();
  if (m == 0) {
    m_returnCode = kFellOffUniverse;
    return;
  }
  if (m == 1) {
    m_returnCode = kTooFewDegreesOfFreedom;
    return;
  }
  if (!detail::coordinatesAgree(simplex)) {
    m_returnCode = kMismatchedCoordinates;
    return;
  }
  const std::size_t n = m - 1;
  for (CoordinateResidualsAndFunctionValue& v : simplex) v.evaluate(functor);
  detail::sortSimplex(simplex);
  if (m_debugOutput) {
    platform::log("------------ Initial point");
    platform::log("coordinate: %s", simplex[0].coordinate().detailedDescription().c_str());
    platform::log("     value: %g", simplex[0].functionValue());
  }

  LevenbergMarquardtTrajectory trajectory;
  Workspace work;
  CoordinateResidualsAndFunctionValue nugget{VKSeries(simplex[0].coordinate().count())};
  double lastStep = kInfinity;
  for (;; ++m_iteration) {
    if (m_debugOutput) platform::log("------------ Beginning of iteration: %llu", (unsigned long long)m_iteration);
    if (platform::currentThreadIsCancelled()) {
      if (m_debugOutput) platform::log("LM cancelled");
      m_returnCode = kUserAborted;
      break;
    }
    const double f0 = simplex[0].functionValue();
    if (f0 == simplex[n].functionValue()) {
      m_returnCode = m_iteration == 0 ? kNoPerceptibleGradient : kConvergedByStepSize;
      break;
    }
    if (m_iteration > m_maxIteration) {
      m_returnCode = kMaxIterationsExceeded;
      break;
    }
    if (m_convergenceValue > f0) {
      m_returnCode = kConvergedByFunctionValue;
      break;
    }
    if (detail::anyVertexOutside(simplex, m_universeRadius)) {
      m_returnCode = kFellOffUniverse;
      break;
    }
    if (m_convergenceSize > 0 && m_convergenceSize > detail::smallestVertexDistance(simplex)) {
      m_returnCode = kConvergedBySimplexSize;
      break;
    }
    if (m_convergenceStandardError > 0) {
      const double spread = trajectory.standardDeviation();
      if (m_debugOutput) platform::log("LevenbergMarquardtTrajectory standardDeviation returned %g", spread);
      if (m_convergenceStandardError > spread) {
        m_returnCode = kConvergedByStandardError;
        break;
      }
    }
    if (m_convergenceStepSize > 0 && m_convergenceStepSize > lastStep) {
      m_returnCode = kConvergedByStepSize;
      break;
    }

    if (m_debugOutput) platform::log("damping = %e", m_damping);
    if (!nuggetCoordinate(simplex, work, nugget.coordinate())) {
      // No usable step from this damping: treat it as a failed step and damp harder.
      if (m_debugOutput) platform::log("damped system not solvable, rejected");
      m_damping = std::max(m_damping * m_boostFactor, kMinimumDamping);
      continue;
    }
    // Evaluated where it will be used: a clamped point must carry its own value.
    projectIntoBoundsNugget(nugget);
    nugget.evaluate(functor);
    if (platform::currentThreadIsCancelled()) {
      if (m_debugOutput) platform::log("LM cancelled");
      m_returnCode = kUserAborted;
      break;
    }
    if (m_debugOutput) platform::log("nugget %s", nugget.detailedDescription().c_str());
    lastStep = 0;
    for (std::size_t k = 0; k < nugget.coordinate().count(); ++k) {
      const double d = simplex[0].coordinate().at(k) - nugget.coordinate().at(k);
      lastStep += d * d;
    }
    lastStep = std::sqrt(lastStep);
    if (m_debugOutput) platform::log("stepSize = %e", lastStep);

    if (f0 >= nugget.functionValue()) {
      if (m_debugOutput) platform::log("accepted");
      m_damping = std::max(m_damping * m_dropFactor, std::min(m_damping, kMinimumDamping));
      // The displaced vertices travel with the best point, keeping their offsets.
      const VKSeries& x0 = simplex[0].coordinate();
      const VKSeries& xN = nugget.coordinate();
      for (std::size_t i = 1; i <= n; ++i) {
        double* x = simplex[i].coordinate().data();
        for (std::size_t k = 0; k < xN.count(); ++k) x[k] += xN.data()[k] - x0.data()[k];
      }
      std::swap(simplex[0], nugget);
      if (conformToBoundsSimplex(simplex) && m_debugOutput)
        platform::log("simplex reoriented to respect bounds, re-evaluating...");
      for (std::size_t i = 1; i <= n; ++i) simplex[i].evaluate(functor);
      detail::sortSimplex(simplex);
      trajectory.appendFunctionValue(simplex[0].functionValue());
      if (m_debugOutput) platform::log("------------ Accepted %s", simplex[0].detailedDescription().c_str());
    } else {
      if (m_debugOutput) platform::log("rejected");
      m_damping = std::max(m_damping * m_boostFactor, kMinimumDamping);
    }
  }
  if (m_debugOutput) {
    platform::log("final value = %g", simplex[0].functionValue());
    platform::log("return code = %d (%s)", m_returnCode, returnCodeDescription().c_str());
    platform::log("iterations  = %llu", (unsigned long long)m_iteration);
  }
}

bool LevenbergMarquardt::converged() const {
  return m_returnCode == kNoReturnCode || m_returnCode == kConvergedByFunctionValue ||
         m_returnCode == kConvergedBySimplexSize || m_returnCode == kConvergedByStandardError;
}

std::string LevenbergMarquardt::returnCodeDescription(std::int32_t code) {
  switch (code) {
    case kTooFewDegreesOfFreedom: return "too few degrees of freedom";
    case kConvergedByStepSize: return "converged by step size";
    default:
      // The rest share the simplex minimiser's texts.
      if (code < 0 || code > kConvergedByStepSize) return "unknown return code";
      return NelderMead::returnCodeDescription(code);
  }
}

std::string LevenbergMarquardt::returnCodeDescription() const { return returnCodeDescription(m_returnCode); }

// ---------------------------------------------------------------------------------------
// Test function

double Rosenbrock::value(const VKSeries& xy) {
  ++m_evaluations;
  const double x = xy.at(0), y = xy.at(1);
  const double a = m_d * (y - x * x);
  return a * a + (1 - x) * (1 - x);
}

VKSeries Rosenbrock::residuals(const VKSeries& xy) {
  ++m_evaluations;
  const double x = xy.at(0), y = xy.at(1);
  VKSeries r(2);
  r.atPut(0, m_d * (y - x * x));
  r.atPut(1, 1 - x);
  if (m_debugOutput) platform::log("[%d] f(%e, %e) -> (%e, %e)", m_evaluations, x, y, r.at(0), r.at(1));
  return r;
}

}  // namespace orb::foundation
