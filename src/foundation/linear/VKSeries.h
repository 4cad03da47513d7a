#pragma once

#include <cassert>
#include <concepts>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace orb::foundation {

/// What the numeric interfaces need of a vector of numbers: count, element read and
/// write, the sum of squares and a readable description.
template <class T>
concept ArrayOfNumbersProtocol = requires(T& a, const T& ca, std::size_t i, double v) {
  { ca.count() } -> std::convertible_to<std::size_t>;
  { ca.at(i) } -> std::convertible_to<double>;
  a.atPut(i, v);
  { ca.sumOfSquares() } -> std::convertible_to<double>;
  { ca.detailedDescription() } -> std::convertible_to<std::string>;
};

/// The vector of every numeric interface: coordinates of minimisers, residuals, rows and
/// columns of matrices, sampled curves. A fixed count of contiguous doubles, copied by
/// value. Element access is a plain load (indices are asserted in debug builds only);
/// operations that combine two series raise "NSInternalInconsistencyException" when the
/// other one is too short, a single check per call rather than per element.
class VKSeries {
 public:
  /// `count` zeros. There is no default constructor: a series always has a count.
  explicit VKSeries(std::size_t count) : m_data(count, 0.0) {}
  /// A copy of `count` doubles.
  VKSeries(std::size_t count, const double* data) : m_data(data, data + count) {}

  static VKSeries seriesWithCount(std::size_t count) { return VKSeries(count); }
  static VKSeries seriesWithCount(std::size_t count, const double* data) { return VKSeries(count, data); }
  /// `count` equally spaced values from start to end; the last is `end` exactly.
  static VKSeries seriesWithCount(std::size_t count, double start, double end);
  static VKSeries seriesWithDouble(double value) { return VKSeries(1, &value); }
  static VKSeries seriesWithArray(const std::vector<double>& values) {
    return VKSeries(values.size(), values.data());
  }
  static VKSeries seriesWithSeries(const VKSeries& other) { return other; }
  /// a + scale · b, with the count of b.
  static VKSeries seriesFromSeries(const VKSeries& a, const VKSeries& b, double scale);
  /// Trapezoid integral of y over the abscissae x (0 for fewer than two points).
  static double integralWithRespectToSeries(const VKSeries& x, const VKSeries& y);
  /// Trapezoid mean of y over x: the integral divided by the span of x. Where the span is
  /// zero (all abscissae equal, or a path that returns to its start) it is the mean of the
  /// trapezoid midpoints with unit steps.
  static double averageWithRespectToSeries(const VKSeries& x, const VKSeries& y);

  std::size_t count() const { return m_data.size(); }
  double* data() { return m_data.data(); }
  const double* data() const { return m_data.data(); }
  double at(std::size_t i) const {
    assert(i < count() && "series index out of range");
    return m_data[i];
  }
  void atPut(std::size_t i, double value) {
    assert(i < count() && "series index out of range");
    m_data[i] = value;
  }
  void atAdd(std::size_t i, double value) {
    assert(i < count() && "series index out of range");
    m_data[i] += value;
  }
  double* begin() { return m_data.data(); }
  double* end() { return m_data.data() + m_data.size(); }
  const double* begin() const { return m_data.data(); }
  const double* end() const { return m_data.data() + m_data.size(); }

  /// The elements as a plain vector.
  std::vector<double> array() const { return m_data; }
  /// "(%e,%e,...)" with all elements up to seven, then the first seven and ",...)"; "()"
  /// when empty.
  std::string detailedDescription() const;

  // Statistics; each gives 0 for an empty series.
  double mean() const;
  /// Σ (xᵢ − mean)² / n: the population variance.
  double variance() const;
  /// sqrt(n · variance / (n − 1)), the sample deviation; +infinity for one element.
  double standardDeviation() const;
  double min() const;
  double max() const;
  double normSquared() const;
  double sumOfSquares() const { return normSquared(); }
  double norm() const;

  // In place, over this series' count; another series must have at least as many.
  void addDouble(double c);
  void scaleBy(double s);
  void addSeries(const VKSeries& a);
  void addSeries(const VKSeries& a, double scale);
  void setValue(const VKSeries& a);
  void setValue(const VKSeries& a, double scale);
  void setValuePlus(const VKSeries& a, const VKSeries& b);
  void setValueMinus(const VKSeries& a, const VKSeries& b);
  /// Running sum: element i becomes x₀ + … + xᵢ.
  void cumsumInSitu();

  friend bool operator==(const VKSeries&, const VKSeries&) = default;

 private:
  /// Raises unless `other` holds at least `needed` elements.
  static void requireCount(const VKSeries& other, std::size_t needed);

  std::vector<double> m_data;
};

static_assert(ArrayOfNumbersProtocol<VKSeries>);

inline void PrintTo(const VKSeries& s, std::ostream* os) { *os << s.detailedDescription(); }

}  // namespace orb::foundation
