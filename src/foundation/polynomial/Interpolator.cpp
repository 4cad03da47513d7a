#include "foundation/polynomial/Interpolator.h"

#include <algorithm>

namespace orb::foundation {

double Interpolator::valueAt(double) { return 0.0; }

double LinearInterpolator::valueAt(double x) {
  const std::size_t n = std::min(m_x.size(), m_y.size());
  if (n == 0 || !(x >= m_x[0])) return 0.0;
  std::size_t j = 0;
  while (j < n && !(m_x[j] > x)) ++j;
  if (j == n) {
    // The last abscissa belongs to the table; beyond it there is nothing to answer.
    return x == m_x[n - 1] ? m_y[n - 1] : 0.0;
  }
  return m_y[j - 1] + (x - m_x[j - 1]) * (m_y[j] - m_y[j - 1]) / (m_x[j] - m_x[j - 1]);
}

}  // namespace orb::foundation
