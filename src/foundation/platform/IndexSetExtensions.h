#pragma once

#include <cstddef>
#include <limits>
#include <set>
#include <vector>

namespace orb::foundation {

/// A set of indexes (rows selected in a table, surfaces picked in a view).
using IndexSet = std::set<std::size_t>;

/// The "no such index" location of an IndexRange.
inline constexpr std::size_t kNotFound = std::numeric_limits<std::size_t>::max();

/// A run of indexes: location and length.
struct IndexRange {
  std::size_t location = kNotFound;
  std::size_t length = 0;
  friend bool operator==(const IndexRange&, const IndexRange&) = default;
};

/// The indexes, ascending.
std::vector<std::size_t> allIndexes(const IndexSet& indexes);

/// {first, count} when the indexes are contiguous (one index gives length 1);
/// {kNotFound, 0} when there are none or they have gaps.
IndexRange range(const IndexSet& indexes);

}  // namespace orb::foundation
