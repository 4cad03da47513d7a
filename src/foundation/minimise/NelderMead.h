#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/Minimiser.h"
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
/// first. Vertices whose value is NaN rank as +infinity. It stops when the sample
/// standard deviation of the vertices' values falls below convergenceStandardError, two
/// vertices come closer than convergenceSize, or a vertex's coordinate norm exceeds
/// universeRadius; the least-squares run resets the evaluation count.
class NelderMead : public Minimiser {
 public:
  NelderMead() : Minimiser(1e-6, std::numeric_limits<double>::infinity()) {}

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

  void setDebugOutput(bool v) { m_debugOutput = v; }

  /// The Gauss–Newton point in the affine hull of an evaluated three-vertex least-squares
  /// simplex, evaluated with the functor: with dᵢ = rᵢ₊₁ − r₀ it solves
  /// [dᵢ·dⱼ + ε δᵢⱼ] w = [−dᵢ·r₀] (ε = 1e-12 × ridgeFactor()) and returns the vertex at
  /// (1 − Σ w) x₀ + Σ wᵢ xᵢ₊₁. Nothing for another number of vertices, a vertex without
  /// residuals, a singular system, or counts that differ (then code 101).
  std::optional<CoordinateResidualsAndFunctionValue> nuggetForSimplex(const LeastSquaresSimplex& simplex,
                                                                      const LeastSquaresFunctor& functor);
  /// The Cramer solution of the 2 × 2 system `matrix` (row-major) · x = `vector`; not
  /// finite when the determinant is 0.
  static std::array<double, 2> twoByTwoCramerForMatrix(const double* matrix, const double* vector);
  /// The point (x, y) itself as residuals, whose least-squares minimum is the origin;
  /// counts evaluations.
  VKSeries parabolaResiduals(const VKSeries& xy);
  /// The factor of the ridge that nuggetForSimplex adds: 0 until a least-squares run of
  /// this class, 0.01 after (process-wide).
  static double ridgeFactor();

 private:
  detail::SimplexRunSettings settings() const;

};

}  // namespace orb::foundation
