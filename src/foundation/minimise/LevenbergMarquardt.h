#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/Minimiser.h"
#include "foundation/minimise/CoordinateAndFunctionValue.h"
#include "foundation/minimise/LeastSquaresFunctor.h"
#include "foundation/minimise/NelderMead.h"

namespace orb::foundation {

/// The last ten accepted best values of a Levenberg–Marquardt run, whose spread is one of
/// its stop tests.
class LevenbergMarquardtTrajectory {
 public:
  static constexpr int kNumberOfSlots = 10;

  /// Overwrites the oldest value once all slots are full.
  void appendFunctionValue(double value);
  /// The sample standard deviation of the stored values (divided by 9); +infinity until
  /// all ten slots are filled, so the spread cannot stop a run before ten accepted steps.
  double standardDeviation() const;

 private:
  std::array<double, kNumberOfSlots> m_values{};
  int m_numberOfOccupiedSlots = 0;
  int m_nextSlot = 0;
};

/// Minimises ½ Σ rᵢ(x)² within optional box bounds, without derivatives: the Jacobian is
/// taken from the residual differences across a small simplex that travels with the best
/// point (as built by NelderMead::euclideanLeastSquaresSimplexWithInitialPoint). The
/// optimiser's preferred minimiser and the ray-aiming solver.
///
/// Each iteration solves the damped normal equations (DᵀD + λh²I) w = −Dᵀr₀ for the
/// simplex Jacobian D, steps to x₀ + Σ wᵢ (xᵢ₊₁ − x₀), clamps that point into the bounds
/// and evaluates it there. An improvement (ties included) is accepted, the simplex moved
/// with it and λ divided by ten (never below kMinimumDamping); anything else, including a
/// system too ill-conditioned to solve, is rejected and λ raised by half.
///
/// A run never raises; it ends with a return code, polls the current thread's cancelled
/// flag twice per iteration and leaves the simplex sorted best first. It stops when the
/// spread of the last ten accepted values falls below convergenceStandardError, the last
/// step is shorter than convergenceStepSize, two vertices come closer than
/// convergenceSize, or a vertex's coordinate norm exceeds universeRadius.
class LevenbergMarquardt : public Minimiser {
 public:
  LevenbergMarquardt() : Minimiser(0, std::numeric_limits<double>::infinity()) {}

  enum ReturnCode : std::int32_t {
    kNoReturnCode = 0,
    kMaxIterationsExceeded = 1,
    kConvergedByFunctionValue = 2,
    kConvergedBySimplexSize = 3,
    kFellOffUniverse = 4,
    kConvergedByStandardError = 5,
    kNoPerceptibleGradient = 6,
    kTooFewDegreesOfFreedom = 7,
    kUserAborted = 8,
    kConvergedByStepSize = 9,
    /// Vertices whose coordinates differ in count; nothing is evaluated.
    kMismatchedCoordinates = 101,
  };

  /// The damping never drops below this after an accepted step: without a floor it
  /// underflows to 0 over a long run, and a rank-deficient Jacobian then has no solution.
  static constexpr double kMinimumDamping = 1e-12;

  /// Moves the simplex towards the least-squares minimum; the result is vertex 0.
  void minimizeLeastSquaresFunctor(const LeastSquaresFunctor& functor, LeastSquaresSimplex& simplex);

  /// The damped Gauss–Newton point of a sorted, evaluated simplex, evaluated with the
  /// functor (not clamped into the bounds); nothing when the damped system has no
  /// Cholesky factorisation or vertex 0 has no residuals.
  std::optional<CoordinateResidualsAndFunctionValue> nuggetForSimplex(const LeastSquaresSimplex& simplex,
                                                                      const LeastSquaresFunctor& functor);
  /// Clamps the vertex's coordinate into the bounds in place, without evaluating it;
  /// true when an element moved. Elements beyond a bound list's length are unbounded.
  bool projectIntoBoundsNugget(CoordinateResidualsAndFunctionValue& vertex) const;
  /// Mirrors through vertex 0 every element of a displaced vertex that lies beyond a
  /// bound, so the simplex keeps its size on the admissible side; nothing is evaluated.
  /// True when any element was mirrored.
  bool conformToBoundsSimplex(LeastSquaresSimplex& simplex) const;

  /// True for codes 0, 2, 3 and 5 (code 9, "converged by step size", is not).
  bool converged() const;
  std::string returnCodeDescription() const;
  static std::string returnCodeDescription(std::int32_t code);
  static std::vector<std::string> keyPathsForValuesAffectingReturnCodeDescription() { return {"returnCode"}; }

  /// Lower and upper bounds by coordinate index (±infinity or a short list: unbounded).
  void setLowerBounds(std::vector<double> bounds) { m_lowerBounds = std::move(bounds); }
  void setUpperBounds(std::vector<double> bounds) { m_upperBounds = std::move(bounds); }
  const std::vector<double>& lowerBounds() const { return m_lowerBounds; }
  const std::vector<double>& upperBounds() const { return m_upperBounds; }
  /// The simplex displacement scale h by which the damping is scaled (λh² on the diagonal).
  void setInfinitesmal(double h) { m_h = h; }
  double infinitesmal() const { return m_h; }

  /// λ; carried over from one run of the object to the next.
  double damping() const { return m_damping; }
  void setDamping(double v) { m_damping = v; }
  /// Damping multiplier after a rejected step.
  double boostFactor() const { return m_boostFactor; }
  void setBoostFactor(double v) { m_boostFactor = v; }
  /// Damping multiplier after an accepted step.
  double dropFactor() const { return m_dropFactor; }
  void setDropFactor(double v) { m_dropFactor = v; }

  /// Stop when the last step was shorter than this (0: never).
  double convergenceStepSize() const { return m_convergenceStepSize; }
  void setConvergenceStepSize(double v) { m_convergenceStepSize = v; }
  void setDebugOutput(bool v) { m_debugOutput = v; }

  /// Work space of the damped solve, kept for a whole run.
  struct Workspace;

 private:
  bool nuggetCoordinate(const LeastSquaresSimplex& simplex, Workspace& work, VKSeries& coordinate) const;

  double m_convergenceStepSize = 0;
  double m_damping = 0.01;
  double m_boostFactor = 1.5;
  double m_dropFactor = 0.1;
  double m_h = 1e-6;
  std::vector<double> m_lowerBounds;
  std::vector<double> m_upperBounds;
};

/// The Rosenbrock valley as residuals (D (y − x²), 1 − x), D the difficulty (10): the test
/// problem of the least-squares minimisers, with its minimum 0 at (1, 1).
class Rosenbrock {
 public:
  double difficulty() const { return m_d; }
  void setDifficulty(double d) { m_d = d; }
  std::int32_t evaluations() const { return m_evaluations; }
  void setDebugOutput(bool v) { m_debugOutput = v; }

  /// (D (y − x²))² + (1 − x)².
  double value(const VKSeries& xy);
  VKSeries residuals(const VKSeries& xy);

 private:
  double m_d = 10;
  bool m_debugOutput = false;
  std::int32_t m_evaluations = 0;
};

}  // namespace orb::foundation
