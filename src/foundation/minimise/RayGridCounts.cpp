#include "foundation/minimise/RayGridCounts.h"

#include <cmath>

namespace orb::foundation {

std::uint32_t squareOfUnsigned(std::uint32_t n) { return n * n; }

std::uint32_t integerSquareRoot(std::uint32_t n) {
  // The floating-point root is at most one short; the products are taken in 64 bits.
  std::uint64_t s = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
  while (s * s < n) ++s;
  return static_cast<std::uint32_t>(s);
}

std::uint32_t centeredHexagonalNumber(std::uint32_t n) { return 3 * n * (n + 1) + 1; }

std::uint32_t hexagonalRingCountForPoints(std::uint32_t count) {
  if (count < 2) return 0;
  const double estimate = (std::sqrt(12.0 * (count - 1.0) + 9.0) - 3.0) / 6.0;
  std::uint64_t n = static_cast<std::uint64_t>(estimate);
  while (3 * n * (n + 1) + 1 < count) ++n;
  return static_cast<std::uint32_t>(n);
}

}  // namespace orb::foundation
