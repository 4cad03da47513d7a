#pragma once

#include <ostream>
#include <string>

namespace orb::foundation {

/// A 2-vector; as a complex number `x` is the real part and `y` the imaginary part.
/// Also packs a sine and cosine pair.
struct XY {
  double x;
  double y;

  friend bool operator==(const XY&, const XY&) = default;
};

constexpr XY vector2Make(double x, double y) { return XY{x, y}; }

std::string toString(const XY& v);
inline void PrintTo(const XY& v, std::ostream* os) { *os << toString(v); }

}  // namespace orb::foundation
