#pragma once

#include <cstdint>

namespace orb::foundation {

// Counts of the square and hexagonal ray grids. A square grid of side s has
// squareOfUnsigned(s) rays, and integerSquareRoot(count) is the side that holds `count`;
// a hexagonal grid of n rings has centeredHexagonalNumber(n) rays, and
// hexagonalRingCountForPoints(count) is the ring count that holds `count`. Ray counts are
// far below 2³²; larger ones are outside these functions' range.

/// n · n.
std::uint32_t squareOfUnsigned(std::uint32_t n);
/// The ceiling square root: the smallest s with s · s ≥ n (10 → 4, 9 → 3, 0 → 0).
std::uint32_t integerSquareRoot(std::uint32_t n);
/// 3n(n + 1) + 1: a centre point and n hexagonal rings (0 → 1, 1 → 7, 2 → 19).
std::uint32_t centeredHexagonalNumber(std::uint32_t n);
/// The fewest rings whose grid holds `count` points; 0 below 2 points (7 → 1, 8 → 2).
std::uint32_t hexagonalRingCountForPoints(std::uint32_t count);

}  // namespace orb::foundation
