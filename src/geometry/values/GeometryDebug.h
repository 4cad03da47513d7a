#pragma once

namespace orb::geometry {

/// Whether the geometry kernels write their per-call diagnostics (intermediate values of
/// root solvers, voxel copies) to the log. Off by default: they run per ray and per cell.
bool debugOutput();
void setDebugOutput(bool on);

}  // namespace orb::geometry
