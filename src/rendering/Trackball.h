#pragma once

#include <array>
#include <cstdint>

namespace orb::rendering {

/// A rotation as the views keep it: angle in degrees, then the axis x, y, z. The zero
/// rotation has angle 0.
using TrackballRotation = std::array<float, 4>;

/// The virtual trackball: a ball of radius half the smaller side of the view, centred in
/// it; a point of the view lies on the ball at height √(r² − x² − y²), or at height 0
/// outside it. One drag at a time: the state is process-wide (main thread).
struct TrackballState {
  float radius = 0;
  std::int64_t centerX = 0, centerY = 0;
  std::array<float, 3> start{}, current{};
};

/// Begins a drag at view point (x, y) in a view of the given origin and size.
void trackballStart(int x, int y, int originX, int originY, int width, int height);
/// The rotation from the drag's start to (x, y). A move below 0.001 in both directions
/// leaves `rotation` as it was; a move along the start's own direction (no axis) makes it
/// the zero rotation.
void trackballRoll(int x, int y, TrackballRotation& rotation);
/// Sets all four components to 0.
void trackballZero(TrackballRotation& rotation);
/// Replaces `accumulated` by the rotation `increment` applied after it (quaternion
/// product increment · accumulated).
void trackballAddRotation(const TrackballRotation& increment, TrackballRotation& accumulated);

/// The state of the drag in progress, for inspection.
const TrackballState& trackballState();

}  // namespace orb::rendering
