#pragma once

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cstddef>

namespace orb::analysis {

/// Rows per chunk of the per-row passes over a traced bundle: a chunk's columns stay in
/// cache, and per-chunk partial sums are added in chunk order, so results do not depend
/// on how the chunks were spread over the threads.
inline constexpr std::size_t kChunkRows = 16384;
/// Below this many rows a pass stays on the calling thread: the analyses' worker is a
/// fresh thread each run, and its first hand-over to the pool costs more than a pass over
/// a spot diagram's 10⁵ rows.
inline constexpr std::size_t kParallelRows = std::size_t{1} << 18;

inline std::size_t chunkCount(std::size_t rows) { return (rows + kChunkRows - 1) / kChunkRows; }

/// body(chunk, begin, end) for every chunk of [0, rows), over the cores for large row
/// counts. Pool threads have no cancelled flag: bodies poll the calling worker's
/// (platform::currentThreadCancelledFlag()) and return at once when it is set.
template <class Body>
void parallelChunks(std::size_t rows, Body&& body) {
  const std::size_t chunks = chunkCount(rows);
  auto one = [&](std::size_t c) { body(c, c * kChunkRows, std::min(rows, (c + 1) * kChunkRows)); };
  if (rows < kParallelRows) {
    for (std::size_t c = 0; c < chunks; ++c) one(c);
    return;
  }
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, chunks, 1), [&](const tbb::blocked_range<std::size_t>& r) {
    for (std::size_t c = r.begin(); c != r.end(); ++c) one(c);
  });
}

}  // namespace orb::analysis
