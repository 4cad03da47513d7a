#include "foundation/polynomial/SplineInterpolator.h"

#include <algorithm>

namespace orb::foundation {

SplineInterpolator::SplineInterpolator(VKSeries x, VKSeries y) : m_x(std::move(x)), m_y(std::move(y)) {
  dataChanged();
}

void SplineInterpolator::dataChanged() {
  // A y series shorter than x must not be read past its end.
  m_n = std::min(m_x.count(), m_y.count());
  clear();
}

void SplineInterpolator::setXSeries(VKSeries x) {
  m_x = std::move(x);
  dataChanged();
}

void SplineInterpolator::setYSeries(VKSeries y) {
  m_y = std::move(y);
  dataChanged();
}

void SplineInterpolator::setLowerDerivative(double slope) {
  m_lowerDerivative = slope;
  m_lowerDerivativeDetermined = true;
  clear();
}

void SplineInterpolator::setUpperDerivative(double slope) {
  m_upperDerivative = slope;
  m_upperDerivativeDetermined = true;
  clear();
}

void SplineInterpolator::clear() {
  m_y2.reset();
  m_c.reset();
}

void SplineInterpolator::generateY2Series() {
  const std::size_t n = m_n;
  VKSeries y2(n);
  m_previousLocation = 0;
  if (n < 2) {  // no interval, no curvature
    m_y2 = std::move(y2);
    return;
  }
  const double* x = m_x.data();
  const double* y = m_y.data();
  std::vector<double> u(n, 0.0);
  if (m_lowerDerivativeDetermined) {
    y2.atPut(0, -0.5);
    u[0] = (3.0 / (x[1] - x[0])) * ((y[1] - y[0]) / (x[1] - x[0]) - m_lowerDerivative);
  }
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double sigma = (x[i] - x[i - 1]) / (x[i + 1] - x[i - 1]);
    const double p = sigma * y2.at(i - 1) + 2.0;
    y2.atPut(i, (sigma - 1.0) / p);
    const double jump = (y[i + 1] - y[i]) / (x[i + 1] - x[i]) - (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
    u[i] = (6.0 * jump / (x[i + 1] - x[i - 1]) - sigma * u[i - 1]) / p;
  }
  double q = 0.0;
  double w = 0.0;
  if (m_upperDerivativeDetermined) {
    q = 0.5;
    w = (3.0 / (x[n - 1] - x[n - 2])) * (m_upperDerivative - (y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]));
  }
  y2.atPut(n - 1, (w - q * u[n - 2]) / (q * y2.at(n - 2) + 1.0));
  for (std::size_t k = n - 1; k-- > 0;) y2.atPut(k, y2.at(k) * y2.at(k + 1) + u[k]);
  m_y2 = std::move(y2);
}

void SplineInterpolator::generateCSeries() {
  if (!m_y2) generateY2Series();
  const std::size_t n = m_n;
  VKSeries c(n);
  const double* x = m_x.data();
  const double* y = m_y.data();
  const double* y2 = m_y2->data();
  // c_i: the integral up to knot i, split into the shares of each knot in its two
  // neighbouring intervals.
  for (std::size_t i = 1; i < n; ++i) {
    const double h = x[i] - x[i - 1];
    if (h <= 0.0) break;
    const double left = (y[i] - y2[i] * h * h / 12.0) * h / 2.0;
    if (i == n - 1) {
      c.atPut(i, c.at(i - 1) + left);
      break;
    }
    const double hNext = x[i + 1] - x[i];
    if (hNext <= 0.0) break;
    const double right = (y[i] - y2[i] * hNext * hNext / 12.0) * hNext / 2.0;
    c.atPut(i, c.at(i - 1) + left + right);
  }
  m_c = std::move(c);
}

std::size_t SplineInterpolator::locationForX(double xValue) const {
  const std::size_t n = m_n;
  if (n == 0) return 0;
  const double* x = m_x.data();
  std::size_t lo = m_previousLocation < n ? m_previousLocation : 0;
  std::size_t hi = lo + 1 < n ? lo + 1 : lo;
  std::size_t step = 1;
  while (hi < n && x[hi] <= xValue) {
    hi += step;
    step *= 2;
    if (hi >= n) hi = n;
  }
  while (x[lo] > xValue) {
    if (step > lo) {
      lo = 0;
      break;
    }
    lo -= step;
    step *= 2;
  }
  while (hi - lo >= 2) {
    const std::size_t mid = (lo + hi) / 2;
    if (xValue <= x[mid]) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return lo;
}

double SplineInterpolator::valueAt(double xValue) {
  const std::size_t n = m_n;
  if (n == 0) return 0.0;
  const double* x = m_x.data();
  const double* y = m_y.data();
  if (n == 1) {
    if (!allowsExtrapolation() && !(xValue == x[0])) return 0.0;
    return y[0];
  }
  std::size_t j = locationForX(xValue);
  std::size_t k = j + 1;
  if (k > n - 1) {
    if (!allowsExtrapolation()) return 0.0;
    j = n - 2;
    k = n - 1;
  }
  double value;
  if (n == 3) {
    const double t = xValue - x[1];
    const double h0 = x[0] - x[1];
    const double h2 = x[2] - x[1];
    const double D = h0 * h2 * h2 - h0 * h0 * h2;
    const double b = (h2 * h2 * (y[0] - y[1]) - h0 * h0 * (y[2] - y[1])) / D;
    const double a = (h0 * (y[2] - y[1]) - h2 * (y[0] - y[1])) / D;
    value = (a * t + b) * t + y[1];
  } else if (n == 2) {
    if (x[1] - x[0] <= 0.0) return 0.0;
    value = y[0] + (xValue - x[0]) * (y[1] - y[0]) / (x[1] - x[0]);
  } else {
    if (!m_y2) generateY2Series();
    const double* y2 = m_y2->data();
    const double h = x[k] - x[j];
    if (h <= 0.0) return 0.0;
    const double A = (x[k] - xValue) / h;
    const double B = (xValue - x[j]) / h;
    value = A * y[j] + B * y[k] + ((A * A * A - A) * y2[j] + (B * B * B - B) * y2[k]) * h * h / 6.0;
  }
  m_previousLocation = j;
  return value;
}

double SplineInterpolator::evaluateIntegral(double xValue) {
  const std::size_t n = m_n;
  if (n == 0) return 0.0;
  if (!m_c) generateCSeries();
  const double* x = m_x.data();
  const double* y = m_y.data();
  const double* y2 = m_y2->data();
  const double* c = m_c->data();
  const std::size_t j = locationForX(xValue);
  const std::size_t k = j + 1;
  if (k > n - 1) return c[n - 1];
  const double h = x[k] - x[j];
  if (h <= 0.0) return 0.0;
  const double A = (x[k] - xValue) / h;
  const double B = (xValue - x[j]) / h;
  const double A2 = A * A, B2 = B * B;
  m_previousLocation = j;
  return c[j] - y[j] * A2 * h / 2.0 + y[k] * B2 * h / 2.0 +
         (h * h / 6.0) * (y2[j] * (A2 * h / 2.0 - A2 * A2 * h / 4.0) + y2[k] * (B2 * B2 * h / 4.0 - B2 * h / 2.0));
}

}  // namespace orb::foundation
