#include "foundation/minimise/NelderMeadUsingSeries.h"

namespace orb::foundation {

void NelderMeadUsingSeries::minimizeFunctor(const MultivariateFunctor& functor, Simplex& simplex) {
  m_returnCode = 0;
  m_iteration = 0;
  detail::SimplexRunSettings s;
  s.convergenceStandardError = m_convergenceStandardError;
  s.convergenceSize = m_convergenceSize;
  s.convergenceValue = m_convergenceValue;
  s.universeRadius = m_universeRadius;
  s.maxIteration = m_maxIteration;
  s.debugOutput = m_debugOutput;
  s.abortBeforeSetup = false;
  const detail::SimplexRunOutcome out = detail::minimizeSimplex(functor, simplex, s);
  m_returnCode = out.returnCode;
  m_iteration = static_cast<std::int32_t>(out.iteration);
}

}  // namespace orb::foundation
