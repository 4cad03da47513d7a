#pragma once

#include <utility>
#include <vector>

namespace orb::foundation {

/// One-dimensional interpolation of a tabulated function, with a switch that lets
/// subclasses answer beyond the table. Answering may update search hints and caches, so
/// one object serves one thread at a time.
class Interpolator {
 public:
  virtual ~Interpolator() = default;

  /// 0 in the base class.
  virtual double valueAt(double x);
  void setAllowsExtrapolation(bool allows) { m_allowsExtrapolation = allows; }
  bool allowsExtrapolation() const { return m_allowsExtrapolation; }

 private:
  bool m_allowsExtrapolation = false;
};

/// Straight lines between tabulated points, over increasing abscissae. Answers 0 outside
/// the closed range of the table, whatever the extrapolation switch says.
class LinearInterpolator final : public Interpolator {
 public:
  LinearInterpolator() = default;
  LinearInterpolator(std::vector<double> x, std::vector<double> y) : m_x(std::move(x)), m_y(std::move(y)) {}
  static LinearInterpolator linearInterpolatorForX(std::vector<double> x, std::vector<double> y) {
    return LinearInterpolator(std::move(x), std::move(y));
  }

  void setXArray(std::vector<double> x) { m_x = std::move(x); }
  void setYArray(std::vector<double> y) { m_y = std::move(y); }
  const std::vector<double>& xArray() const { return m_x; }
  const std::vector<double>& yArray() const { return m_y; }

  double valueAt(double x) override;

 private:
  std::vector<double> m_x;
  std::vector<double> m_y;
};

}  // namespace orb::foundation
