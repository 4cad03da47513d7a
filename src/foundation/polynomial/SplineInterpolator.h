#pragma once

#include <optional>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "foundation/polynomial/Interpolator.h"

namespace orb::foundation {

/// A cubic spline through (xᵢ, yᵢ), xᵢ strictly increasing, with natural ends unless an end
/// slope is set. The second derivatives and the running integrals at the knots are
/// computed on first use and dropped by every setter; the interval found last is where
/// the next search starts, so slowly moving arguments cost O(1). One knot gives a
/// constant, two the straight line, three the parabola through them.
///
/// Beyond the last knot the spline answers 0 unless extrapolation is allowed, then the
/// last cubic is extended; below the first knot the first cubic is always extended.
class SplineInterpolator final : public Interpolator {
 public:
  SplineInterpolator() : m_x(0), m_y(0) {}
  SplineInterpolator(VKSeries x, VKSeries y);
  static SplineInterpolator splineInterpolatorForX(const std::vector<double>& x, const std::vector<double>& y) {
    return SplineInterpolator(VKSeries::seriesWithArray(x), VKSeries::seriesWithArray(y));
  }

  void setXSeries(VKSeries x);
  void setYSeries(VKSeries y);
  const VKSeries& xSeries() const { return m_x; }
  const VKSeries& ySeries() const { return m_y; }
  /// The slope at the first knot; once set, that end is no longer natural.
  void setLowerDerivative(double slope);
  void setUpperDerivative(double slope);

  /// The cached second derivatives and running integrals, when computed.
  const std::optional<VKSeries>& y2Series() const { return m_y2; }
  const std::optional<VKSeries>& cSeries() const { return m_c; }
  void setY2Series(VKSeries y2) { m_y2 = std::move(y2); }
  void setCSeries(VKSeries c) { m_c = std::move(c); }
  /// Drops both caches.
  void clear();
  void generateY2Series();
  void generateCSeries();

  /// The knot count: the shorter of the two series.
  std::size_t count() const { return m_n; }
  /// The interval [x_j, x_{j+1}) holding x, hunting from the last one used: an inner knot
  /// x_k gives k − 1, above the table n − 1, below it 0. Does not move the hint.
  std::size_t locationForX(double x) const;

  double valueAt(double x) override;
  /// An antiderivative F of the cubic spline (also for two or three knots):
  /// F(b) − F(a) is the integral from a to b within the knots; above the table it stays
  /// at F(x_{n−1}).
  double evaluateIntegral(double x);

 private:
  void dataChanged();

  std::size_t m_n = 0;
  VKSeries m_x;
  VKSeries m_y;
  std::optional<VKSeries> m_y2;
  std::optional<VKSeries> m_c;
  double m_lowerDerivative = 0.0;
  double m_upperDerivative = 0.0;
  bool m_lowerDerivativeDetermined = false;
  bool m_upperDerivativeDetermined = false;
  std::size_t m_previousLocation = 0;
};

}  // namespace orb::foundation
