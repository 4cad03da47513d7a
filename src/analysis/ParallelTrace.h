#pragma once

#include <cstddef>
#include <span>

#include "tracing/TraceDriver.h"

namespace orb::lens {
class Lens;
class Surface;
}  // namespace orb::lens

namespace orb::tracing {
class RayWithFrame;
}  // namespace orb::tracing

namespace orb::analysis {

/// Rays from which an analysis's bundle trace is split over the cores (the driver's own
/// threshold is set for callers whose runs are short). An analysis bundle holds every
/// field × wave of interest, 10⁴ rays each for a spot diagram, and its worker waits for
/// the whole trace: the driver's split of blocks is the same whatever the thread count,
/// so the rays are the same bit for bit.
inline constexpr std::size_t kAnalysisParallelTraceRays = std::size_t{1} << 14;

/// Framed rays per task of traceFramedRays: a multiple of the driver's one-ray block.
inline constexpr std::size_t kFramedChunkRays = 512;

/// tracing::traceRays for framed rays (which the driver carries one by one), in chunks
/// spread over the cores, each chunk its own trace of the shared lens: rays are
/// independent, so the result is that of one trace bit for bit. Lenses whose tracing
/// draws random numbers (a diffuser), semidiameter updates and short runs go in one trace
/// on the calling thread.
///
/// The caller holds the lens lock, as for one trace. Pool threads poll the calling
/// worker's cancelled flag between chunks; a cancelled run leaves rays to discard. A
/// failure is raised as the one trace would raise it: the lowest failing chunk's
/// exception, with the lens's trace warning naming it.
void traceFramedRays(lens::Lens& lens, std::span<tracing::RayWithFrame> rays, const lens::Surface* toSurface,
                     const tracing::TraceOptions& options);

}  // namespace orb::analysis
