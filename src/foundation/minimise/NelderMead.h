#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/CoordinateAndFunctionValue.h"
#include "foundation/minimise/LeastSquaresFunctor.h"
#include "foundation/minimise/MultivariateFunctor.h"

namespace orb::foundation {

/// A simplex of n + 1 vertices in n-dimensional coordinate space. The minimisers reorder
/// it, replace and move its vertices, and leave it sorted best first: vertex 0 is the
/// result.
using Simplex = std::vector<CoordinateAndFunctionValue>;
using LeastSquaresSimplex = std::vector<CoordinateResidualsAndFunctionValue>;

namespace detail {

/// What the two downhill-simplex classes share of a run's settings.
struct SimplexRunSettings {
  double convergenceStandardError = 1e-6;
  double convergenceSize = 1e-6;
  double convergenceValue = 0;
  double universeRadius = std::numeric_limits<double>::infinity();
  std::int64_t maxIteration = 1000;
  bool debugOutput = false;
  /// Test the cancelled flag once more between evaluating the start and the first step.
  bool abortBeforeSetup = true;
};

struct SimplexRunOutcome {
  std::int32_t returnCode = 0;
  std::int64_t iteration = 0;
};

SimplexRunOutcome minimizeSimplex(const MultivariateFunctor& functor, Simplex& simplex,
                                  const SimplexRunSettings& settings);

}  // namespace detail

/// Downhill-simplex minimisation without derivatives (reflection 1, expansion 2,
/// contraction ½, shrink ½). The optimiser's choice when the user prefers it; also the
/// builder of the starting simplices of the least-squares minimisers.
///
/// A run never raises: it ends with a return code (see returnCodeDescription), polls the
/// current thread's cancelled flag once per iteration, and leaves the simplex sorted best
/// first. Vertices whose value is NaN rank as +infinity.
class NelderMead {
 public:
  enum ReturnCode : std::int32_t {
    kNoReturnCode = 0,
    kMaxIterationsExceeded = 1,
    kConvergedByFunctionValue = 2,
    kConvergedBySimplexSize = 3,
    kFellOffUniverse = 4,
    kConvergedByStandardError = 5,
    kNoPerceptibleGradient = 6,
    kTooFewDimensions = 7,
    kUserAborted = 8,
    /// Vertices whose coordinates differ in count; nothing is evaluated.
    kMismatchedCoordinates = 101,
  };

  /// Vertex 0 at `point`, vertex i + 1 at `point` with element i increased by `size`.
  /// Unevaluated. A point without elements gives the single vertex 0.
  static Simplex euclideanSimplexWithInitialPoint(const VKSeries& point, double size);
  /// As above with element i increased by sizes[i]; `sizes` needs at least as many
  /// elements as the point ("NSInternalInconsistencyException" otherwise).
  static Simplex euclideanSimplexWithInitialPoint(const VKSeries& point, const VKSeries& sizes);
  static LeastSquaresSimplex euclideanLeastSquaresSimplexWithInitialPoint(const VKSeries& point, double size);
  static LeastSquaresSimplex euclideanLeastSquaresSimplexWithInitialPoint(const VKSeries& point,
                                                                          const VKSeries& sizes);

  /// Minimises the functor's value, moving the simplex.
  void minimizeFunctor(const MultivariateFunctor& functor, Simplex& simplex);
  /// Minimises ½ Σ rᵢ² of the functor's residuals; vertices keep their residuals.
  void minimizeLeastSquaresFunctor(const LeastSquaresFunctor& functor, LeastSquaresSimplex& simplex);

  /// True for codes 0, 2, 3 and 5.
  bool converged() const;
  std::string returnCodeDescription() const;
  static std::string returnCodeDescription(std::int32_t code);
  static std::vector<std::string> keyPathsForValuesAffectingReturnCodeDescription() { return {"returnCode"}; }

  /// Stop when the sample standard deviation of the vertices' values falls below this
  /// (0: never).
  double convergenceStandardError() const { return m_convergenceStandardError; }
  void setConvergenceStandardError(double v) { m_convergenceStandardError = v; }
  /// Stop when two vertices come closer than this (0: never).
  double convergenceSize() const { return m_convergenceSize; }
  void setConvergenceSize(double v) { m_convergenceSize = v; }
  /// Stop when the best value falls below this.
  double convergenceValue() const { return m_convergenceValue; }
  void setConvergenceValue(double v) { m_convergenceValue = v; }
  /// Stop when a vertex's coordinate norm exceeds this.
  double universeRadius() const { return m_universeRadius; }
  void setUniverseRadius(double v) { m_universeRadius = v; }
  std::uint64_t maxIteration() const { return m_maxIteration; }
  void setMaxIteration(std::uint64_t v) { m_maxIteration = v; }
  std::uint64_t iteration() const { return m_iteration; }
  void setIteration(std::uint64_t v) { m_iteration = v; }
  /// Reset by the least-squares run; for the caller's functions to count in.
  std::uint64_t evaluations() const { return m_evaluations; }
  void setEvaluations(std::uint64_t v) { m_evaluations = v; }
  std::int32_t returnCode() const { return m_returnCode; }
  void setReturnCode(std::int32_t v) { m_returnCode = v; }
  bool debugOutput() const { return m_debugOutput; }
  void setDebugOutput(bool v) { m_debugOutput = v; }

 private:
  detail::SimplexRunSettings settings() const;

  std::int32_t m_returnCode = kNoReturnCode;
  double m_convergenceStandardError = 1e-6;
  double m_convergenceSize = 1e-6;
  double m_convergenceValue = 0;
  double m_universeRadius = std::numeric_limits<double>::infinity();
  std::uint64_t m_maxIteration = 1000;
  std::uint64_t m_iteration = 0;
  std::uint64_t m_evaluations = 0;
  bool m_debugOutput = false;
};

}  // namespace orb::foundation
