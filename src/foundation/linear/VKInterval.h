#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orb::foundation {

/// A pair of doubles kept in the order given (b may be below a): a search interval of the
/// root finders and the line minimiser, a parameter range of curves and surfaces.
class VKInterval {
 public:
  constexpr VKInterval(double a, double b) : m_a(a), m_b(b) {}
  static constexpr VKInterval intervalWithDoubles(double a, double b) { return VKInterval(a, b); }
  static constexpr VKInterval unitInterval() { return VKInterval(0, 1); }

  constexpr double a() const { return m_a; }
  constexpr double b() const { return m_b; }
  constexpr double min() const { return m_a < m_b ? m_a : m_b; }
  constexpr double max() const { return m_b > m_a ? m_b : m_a; }
  constexpr double mid() const { return (m_a + m_b) * 0.5; }
  /// "(%e,%e)" with a and b.
  std::string description() const;

  /// The overlap, ordered low to high, or nothing unless it has positive length
  /// (intervals that only touch do not intersect).
  std::optional<VKInterval> intersectionWithInterval(const VKInterval& other) const;
  /// The overlaps with each interval in turn, leaving out the empty ones.
  std::vector<VKInterval> intersectionWithIntervals(const std::vector<VKInterval>& others) const;

  friend constexpr bool operator==(const VKInterval&, const VKInterval&) = default;

 private:
  double m_a;
  double m_b;
};

inline void PrintTo(const VKInterval& i, std::ostream* os) { *os << i.description(); }

}  // namespace orb::foundation
