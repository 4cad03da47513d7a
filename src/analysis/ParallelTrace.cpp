#include "analysis/ParallelTrace.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

#include "lens/Lens.h"
#include "lens/SurfaceDiffuser.h"
#include "platform/Exception.h"
#include "platform/Thread.h"
#include "tracing/RayWithFrame.h"

namespace orb::analysis {

void traceFramedRays(lens::Lens& lens, std::span<tracing::RayWithFrame> rays, const lens::Surface* toSurface,
                     const tracing::TraceOptions& options) {
  const std::size_t chunks = (rays.size() + kFramedChunkRays - 1) / kFramedChunkRays;
  const auto& surfaces = lens.surfaceArray();
  // A diffuser draws a random number per ray from state of its own: one trace, in order.
  const bool drawsRandomly = std::any_of(surfaces.begin(), surfaces.end(), [](const auto& s) {
    return dynamic_cast<const lens::SurfaceDiffuser*>(s.get()) != nullptr;
  });
  if (chunks < 2 || options.updateSemidiameters || drawsRandomly) {
    tracing::traceRays(lens, rays, toSurface, options);
    return;
  }
  auto chunk = [&](std::size_t c) {
    return rays.subspan(c * kFramedChunkRays, std::min(kFramedChunkRays, rays.size() - c * kFramedChunkRays));
  };
  // The first chunk on the calling thread, alone: it clears the trace warning (the other
  // chunks' clearing then changes nothing and announces nothing) and fills what the lens
  // makes lazily on first use (media, interpolators) before other threads read it.
  tracing::traceRays(lens, chunk(0), toSurface, options);
  const std::atomic<bool>* cancelFlag = platform::currentThreadCancelledFlag();
  auto cancelled = [&] { return cancelFlag && cancelFlag->load(std::memory_order_relaxed); };
  if (cancelled()) return;

  // One trace stops at its first failing ray; here every chunk below the lowest failure
  // runs on, so that the failure raised is the one trace's.
  std::vector<std::exception_ptr> errors(chunks);
  std::atomic<std::size_t> lowestFailure{chunks};
  tbb::parallel_for(tbb::blocked_range<std::size_t>(1, chunks, 1), [&](const tbb::blocked_range<std::size_t>& r) {
    for (std::size_t c = r.begin(); c != r.end(); ++c) {
      if (cancelled() || c > lowestFailure.load(std::memory_order_relaxed)) return;
      try {
        tracing::traceRays(lens, chunk(c), toSurface, options);
      } catch (...) {
        errors[c] = std::current_exception();
        std::size_t seen = lowestFailure.load();
        while (c < seen && !lowestFailure.compare_exchange_weak(seen, c)) {
        }
      }
    }
  });
  if (cancelled()) return;
  const std::size_t failed = lowestFailure.load();
  if (failed == chunks) return;
  // Concurrent failures race to leave their text on the lens: the one raised wins.
  try {
    std::rethrow_exception(errors[failed]);
  } catch (const platform::Exception& e) {
    lens.setWarningReTrace(platform::format("Ray trace failure (%s : %s)", e.name().c_str(), e.reason().c_str()));
    throw;
  }
}

}  // namespace orb::analysis
