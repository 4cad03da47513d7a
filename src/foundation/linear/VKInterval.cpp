#include "foundation/linear/VKInterval.h"

#include <algorithm>

#include "platform/Exception.h"

namespace orb::foundation {

std::string VKInterval::description() const { return platform::format("(%e,%e)", m_a, m_b); }

std::optional<VKInterval> VKInterval::intersectionWithInterval(const VKInterval& other) const {
  const double lo = std::max(min(), other.min());
  const double hi = std::min(max(), other.max());
  if (!(hi > lo)) return std::nullopt;
  return VKInterval(lo, hi);
}

std::vector<VKInterval> VKInterval::intersectionWithIntervals(const std::vector<VKInterval>& others) const {
  std::vector<VKInterval> result;
  for (const VKInterval& other : others)
    if (auto overlap = intersectionWithInterval(other)) result.push_back(*overlap);
  return result;
}

}  // namespace orb::foundation
