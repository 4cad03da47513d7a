#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "foundation/linear/VKSeries.h"

// Steps the simplex minimisers share. Library-private.

namespace orb::foundation::detail {

/// Sorts best first, keeping the order of equal values. After one step only one vertex is
/// out of place, so insertion is linear; it moves vertices by swapping and never allocates.
template <class Vertex>
void sortSimplex(std::vector<Vertex>& simplex) {
  for (std::size_t i = 1; i < simplex.size(); ++i)
    for (std::size_t j = i; j > 0 && simplex[j].functionValueComparison(simplex[j - 1]) < 0; --j)
      std::swap(simplex[j], simplex[j - 1]);
}

/// The smallest Euclidean distance between two vertices (all pairs).
template <class Vertex>
double smallestVertexDistance(const std::vector<Vertex>& simplex) {
  double smallest = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < simplex.size(); ++i) {
    const VKSeries& xi = simplex[i].coordinate();
    for (std::size_t j = i + 1; j < simplex.size(); ++j) {
      const VKSeries& xj = simplex[j].coordinate();
      double d2 = 0;
      for (std::size_t k = 0; k < xi.count(); ++k) {
        const double d = xi.data()[k] - xj.data()[k];
        d2 += d * d;
      }
      smallest = std::min(smallest, std::sqrt(d2));
    }
  }
  return smallest;
}

/// True when some vertex's coordinate norm exceeds the radius.
template <class Vertex>
bool anyVertexOutside(const std::vector<Vertex>& simplex, double radius) {
  for (const Vertex& v : simplex)
    if (v.coordinate().norm() > radius) return true;
  return false;
}

/// True when every coordinate has the count of vertex 0's.
template <class Vertex>
bool coordinatesAgree(const std::vector<Vertex>& simplex) {
  for (const Vertex& v : simplex)
    if (v.coordinate().count() != simplex.front().coordinate().count()) return false;
  return true;
}

}  // namespace orb::foundation::detail
