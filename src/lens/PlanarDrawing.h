#pragma once

#include <vector>

#include "foundation/objects/XY.h"

namespace orb::lens {

/// One straight mark of a planar (zy or zx) drawing: `from` and `to` hold (z, y) or
/// (z, x) in the surface's local frame, z first.
struct PlanarSegment {
  foundation::XY from;
  foundation::XY to;

  friend bool operator==(const PlanarSegment&, const PlanarSegment&) = default;
};

/// Separate segments (each starts with a move), as the planar layout strokes them.
using PlanarPath = std::vector<PlanarSegment>;

/// Where the model draws planar marks; the planar layout views implement it. Lengths are
/// in drawing units (lens units) of the current section.
class PlanarSink {
 public:
  virtual ~PlanarSink() = default;
  virtual void strokePath(const PlanarPath& path, double lineWidth) = 0;
  /// A filled, axis-aligned square of side `side` centred at (z, y) or (z, x).
  virtual void fillSquare(foundation::XY centre, double side) = 0;
};

}  // namespace orb::lens
