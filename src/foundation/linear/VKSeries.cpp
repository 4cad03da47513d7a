#include "foundation/linear/VKSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/Exception.h"

namespace orb::foundation {

void VKSeries::requireCount(const VKSeries& other, std::size_t needed) {
  if (other.count() < needed)
    platform::Exception::raise("NSInternalInconsistencyException", "series of %zu elements where %zu are needed",
                               other.count(), needed);
}

VKSeries VKSeries::seriesWithCount(std::size_t count, double start, double end) {
  VKSeries s(count);
  if (count == 0) return s;
  s.m_data[0] = start;
  if (count == 1) return s;
  const double step = (end - start) / static_cast<double>(count - 1);
  for (std::size_t i = 1; i + 1 < count; ++i) s.m_data[i] = static_cast<double>(i) * step + start;
  s.m_data[count - 1] = end;  // set, not computed, so the range ends without rounding
  return s;
}

VKSeries VKSeries::seriesFromSeries(const VKSeries& a, const VKSeries& b, double scale) {
  VKSeries s(b.count());
  s.setValue(b, scale);
  s.addSeries(a);
  return s;
}

double VKSeries::integralWithRespectToSeries(const VKSeries& x, const VKSeries& y) {
  const std::size_t n = x.count();
  if (n < 2) return 0;
  requireCount(y, n);
  double sum = 0;
  for (std::size_t i = 1; i < n; ++i) sum += 0.5 * (y.m_data[i - 1] + y.m_data[i]) * (x.m_data[i] - x.m_data[i - 1]);
  return sum;
}

double VKSeries::averageWithRespectToSeries(const VKSeries& x, const VKSeries& y) {
  const std::size_t n = x.count();
  if (n == 0) return 0;
  requireCount(y, n);
  if (n == 1) return y.m_data[0];
  double integral = 0, span = 0, midpoints = 0;
  for (std::size_t i = 1; i < n; ++i) {
    const double step = x.m_data[i] - x.m_data[i - 1];
    const double mid = 0.5 * (y.m_data[i - 1] + y.m_data[i]);
    integral += mid * step;
    span += step;
    midpoints += mid;
  }
  // A zero span would give 0/0 (or ±infinity); a NaN span still propagates.
  if (span == 0) return midpoints / static_cast<double>(n - 1);
  return integral / span;
}

std::string VKSeries::detailedDescription() const {
  constexpr std::size_t kShown = 7;
  std::string s = "(";
  const std::size_t shown = std::min(count(), kShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i) s += ",";
    s += platform::format("%e", m_data[i]);
  }
  if (count() > kShown) s += ",...";
  return s + ")";
}

double VKSeries::mean() const {
  if (m_data.empty()) return 0;
  double sum = 0;
  for (double v : m_data) sum += v;
  return sum / static_cast<double>(count());
}

double VKSeries::variance() const {
  if (m_data.empty()) return 0;
  const double m = mean();
  double sum = 0;
  for (double v : m_data) sum += (v - m) * (v - m);
  return sum / static_cast<double>(count());
}

double VKSeries::standardDeviation() const {
  const std::size_t n = count();
  if (n == 0) return 0;
  if (n == 1) return std::numeric_limits<double>::infinity();
  return std::sqrt(static_cast<double>(n) * variance() / static_cast<double>(n - 1));
}

double VKSeries::min() const { return m_data.empty() ? 0 : *std::min_element(m_data.begin(), m_data.end()); }

double VKSeries::max() const { return m_data.empty() ? 0 : *std::max_element(m_data.begin(), m_data.end()); }

double VKSeries::normSquared() const {
  double sum = 0;
  for (double v : m_data) sum += v * v;
  return sum;
}

double VKSeries::norm() const { return std::sqrt(normSquared()); }

void VKSeries::addDouble(double c) {
  for (double& v : m_data) v += c;
}

void VKSeries::scaleBy(double s) {
  for (double& v : m_data) v *= s;
}

void VKSeries::addSeries(const VKSeries& a) {
  requireCount(a, count());
  for (std::size_t i = 0; i < count(); ++i) m_data[i] += a.m_data[i];
}

void VKSeries::addSeries(const VKSeries& a, double scale) {
  requireCount(a, count());
  for (std::size_t i = 0; i < count(); ++i) m_data[i] += scale * a.m_data[i];
}

void VKSeries::setValue(const VKSeries& a) {
  requireCount(a, count());
  std::copy_n(a.m_data.begin(), count(), m_data.begin());
}

void VKSeries::setValue(const VKSeries& a, double scale) {
  requireCount(a, count());
  for (std::size_t i = 0; i < count(); ++i) m_data[i] = scale * a.m_data[i];
}

void VKSeries::setValuePlus(const VKSeries& a, const VKSeries& b) {
  requireCount(a, count());
  requireCount(b, count());
  for (std::size_t i = 0; i < count(); ++i) m_data[i] = a.m_data[i] + b.m_data[i];
}

void VKSeries::setValueMinus(const VKSeries& a, const VKSeries& b) {
  requireCount(a, count());
  requireCount(b, count());
  for (std::size_t i = 0; i < count(); ++i) m_data[i] = a.m_data[i] - b.m_data[i];
}

void VKSeries::cumsumInSitu() {
  for (std::size_t i = 1; i < count(); ++i) m_data[i] += m_data[i - 1];
}

}  // namespace orb::foundation
