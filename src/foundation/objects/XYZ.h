#pragma once

#include <ostream>
#include <string>

namespace orb::foundation {

/// A point, direction or optical momentum in 3-space, or the value of an XYZ-valued
/// function object. A plain record passed by value on every hot path.
struct XYZ {
  double x;
  double y;
  double z;

  friend bool operator==(const XYZ&, const XYZ&) = default;
};

constexpr XYZ vector3Make(double x, double y, double z) { return XYZ{x, y, z}; }

/// "(x, y, z)" with full precision, for diagnostics and test failures.
std::string toString(const XYZ& v);
inline void PrintTo(const XYZ& v, std::ostream* os) { *os << toString(v); }

}  // namespace orb::foundation
