#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "foundation/minimise/NelderMead.h"

namespace orb::foundation {

/// The plain downhill-simplex minimiser in its series-only form: the same steps, stop
/// tests and codes as NelderMead::minimizeFunctor, with 32-bit iteration counts, builders
/// as instance methods, and no extra cancellation test between evaluating the start and
/// the first iteration. It has no `converged`.
class NelderMeadUsingSeries {
 public:
  Simplex euclideanSimplexWithInitialPoint(const VKSeries& point, double size) const {
    return NelderMead::euclideanSimplexWithInitialPoint(point, size);
  }
  Simplex euclideanSimplexWithInitialPoint(const VKSeries& point, const VKSeries& sizes) const {
    return NelderMead::euclideanSimplexWithInitialPoint(point, sizes);
  }

  void minimizeFunctor(const MultivariateFunctor& functor, Simplex& simplex);

  std::string returnCodeDescription() const { return NelderMead::returnCodeDescription(m_returnCode); }
  static std::vector<std::string> keyPathsForValuesAffectingReturnCodeDescription() { return {"returnCode"}; }

  double convergenceStandardError() const { return m_convergenceStandardError; }
  void setConvergenceStandardError(double v) { m_convergenceStandardError = v; }
  double convergenceSize() const { return m_convergenceSize; }
  void setConvergenceSize(double v) { m_convergenceSize = v; }
  double convergenceValue() const { return m_convergenceValue; }
  void setConvergenceValue(double v) { m_convergenceValue = v; }
  double universeRadius() const { return m_universeRadius; }
  void setUniverseRadius(double v) { m_universeRadius = v; }
  std::int32_t maxIteration() const { return m_maxIteration; }
  void setMaxIteration(std::int32_t v) { m_maxIteration = v; }
  std::int32_t iteration() const { return m_iteration; }
  void setIteration(std::int32_t v) { m_iteration = v; }
  std::int32_t returnCode() const { return m_returnCode; }
  void setReturnCode(std::int32_t v) { m_returnCode = v; }
  bool debugOutput() const { return m_debugOutput; }

 private:
  bool m_debugOutput = false;
  std::int32_t m_returnCode = 0;
  double m_convergenceStandardError = 1e-6;
  double m_convergenceSize = 1e-6;
  double m_convergenceValue = 0;
  double m_universeRadius = std::numeric_limits<double>::infinity();
  std::int32_t m_maxIteration = 1000;
  std::int32_t m_iteration = 0;
};

}  // namespace orb::foundation
