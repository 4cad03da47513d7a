#include "foundation/platform/IndexSetExtensions.h"

namespace orb::foundation {

std::vector<std::size_t> allIndexes(const IndexSet& indexes) { return {indexes.begin(), indexes.end()}; }

IndexRange range(const IndexSet& indexes) {
  if (indexes.empty()) return {};
  const std::size_t first = *indexes.begin();
  const std::size_t last = *indexes.rbegin();
  // A set holds distinct indexes, so it is contiguous exactly when it spans its count.
  if (last - first + 1 != indexes.size()) return {};
  return {first, indexes.size()};
}

}  // namespace orb::foundation
