#pragma once

#include "platform/Value.h"

namespace orb::lens {

/// The 3-D drawing options of surfaces and solids, read from an options dictionary
/// (every key optional; a number where a number is expected, else the default).
struct DrawingOptions {
  int segmentsPerRevolution = 16;
  double phiMin = 0, phiMax = 360;
  bool drawAlsoReversed = false, drawBoundingBox = false;
  /// Absent means no axes.
  bool drawsSurfaceAxes = false;
  double surfaceAxesLength = 10;

  static DrawingOptions from(const platform::Dictionary& options);
};

}  // namespace orb::lens
