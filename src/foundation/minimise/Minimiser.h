#pragma once

#include <cstdint>

namespace orb::foundation {

/// What the minimisers share: the convergence thresholds, the iteration limit and count,
/// the evaluation count and how the last run ended. Each minimiser says what its
/// thresholds mean for it; a threshold of 0 never stops a run.
class Minimiser {
 public:
  double convergenceStandardError() const { return m_convergenceStandardError; }
  void setConvergenceStandardError(double v) { m_convergenceStandardError = v; }
  double convergenceSize() const { return m_convergenceSize; }
  void setConvergenceSize(double v) { m_convergenceSize = v; }
  /// Stop when the best value falls below this.
  double convergenceValue() const { return m_convergenceValue; }
  void setConvergenceValue(double v) { m_convergenceValue = v; }
  double universeRadius() const { return m_universeRadius; }
  void setUniverseRadius(double v) { m_universeRadius = v; }
  std::uint64_t maxIteration() const { return m_maxIteration; }
  void setMaxIteration(std::uint64_t v) { m_maxIteration = v; }
  std::uint64_t iteration() const { return m_iteration; }
  void setIteration(std::uint64_t v) { m_iteration = v; }
  /// Reset at the start of a run; for the caller's functions to count in.
  std::uint64_t evaluations() const { return m_evaluations; }
  void setEvaluations(std::uint64_t v) { m_evaluations = v; }
  std::int32_t returnCode() const { return m_returnCode; }
  void setReturnCode(std::int32_t v) { m_returnCode = v; }
  bool debugOutput() const { return m_debugOutput; }

 protected:
  Minimiser(double convergenceSize, double universeRadius)
      : m_convergenceSize(convergenceSize), m_universeRadius(universeRadius) {}

  std::int32_t m_returnCode = 0;
  double m_convergenceStandardError = 1e-6;
  double m_convergenceSize;
  double m_convergenceValue = 0;
  double m_universeRadius;
  std::uint64_t m_maxIteration = 1000;
  std::uint64_t m_iteration = 0;
  std::uint64_t m_evaluations = 0;
  bool m_debugOutput = false;
};

}  // namespace orb::foundation
