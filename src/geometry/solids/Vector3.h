#pragma once

#include <cmath>

#include "foundation/objects/XYZ.h"

namespace orb::geometry::v3 {

// Plain arithmetic on XYZ records for the surface and curve kernels; R3Point keeps the
// object form, these keep the hot paths free of allocation.

using foundation::XYZ;

inline XYZ add(const XYZ& a, const XYZ& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline XYZ sub(const XYZ& a, const XYZ& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline XYZ scale(const XYZ& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
/// a + s·b.
inline XYZ addScaled(const XYZ& a, const XYZ& b, double s) { return {a.x + s * b.x, a.y + s * b.y, a.z + s * b.z}; }
inline double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline XYZ cross(const XYZ& a, const XYZ& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double norm(const XYZ& a) { return std::sqrt(dot(a, a)); }
/// a/|a|; the zero vector stays zero.
inline XYZ normalize(const XYZ& a) {
  const double n = norm(a);
  return n > 0 ? scale(a, 1 / n) : a;
}
inline XYZ negate(const XYZ& a) { return {-a.x, -a.y, -a.z}; }

/// The unit coordinate vector of the axis on which w has its smallest magnitude (ties go to
/// the earlier axis): the safest helper axis for building a perpendicular.
inline XYZ leastAxis(const XYZ& w) {
  const double ax = std::fabs(w.x), ay = std::fabs(w.y), az = std::fabs(w.z);
  if (ax <= ay && ax <= az) return {1, 0, 0};
  if (ay <= az) return {0, 1, 0};
  return {0, 0, 1};
}
/// The unit vector w × e normalised, e the least axis of w.
inline XYZ perpendicularUnit(const XYZ& w) { return normalize(cross(w, leastAxis(w))); }

}  // namespace orb::geometry::v3
