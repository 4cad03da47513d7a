#pragma once

#include <cmath>

namespace orb::geometry {

/// Ascending order of doubles with every NaN after every number (NaNs equivalent to each
/// other): a strict weak order whatever the values, so a sort with it is always defined.
/// Plain `<` is not one once a NaN is among the values.
inline bool lessNaNLast(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a < b;
}

/// Descending order of the numbers, NaNs still last.
inline bool greaterNaNLast(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a > b;
}

/// Three-way form of lessNaNLast: −1, 0 or 1.
inline int compareNaNLast(double a, double b) { return lessNaNLast(a, b) ? -1 : lessNaNLast(b, a) ? 1 : 0; }

}  // namespace orb::geometry
