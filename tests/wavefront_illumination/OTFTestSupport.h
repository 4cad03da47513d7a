#pragma once

#include <cmath>
#include <memory>

#include "RayAnalysisTestSupport.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "tracing/LensSummary.h"

namespace orb::wavefront::testing {

using namespace orb::analysis::testing;

/// An on-axis paraboloidal mirror of focal length 100 and entrance pupil 20 (F/5, image
/// space NA 0.1) at 0.55 µm: a perfect image, whose diffraction cut-off 1/(λN) is
/// 363.64 cycles/mm.
inline analysis::LensPtr paraboloidF5(const std::vector<double>& fieldAngles = {0}) {
  auto lens = mirrorLens(-200, -1, fieldAngles);
  lens->primaryWave()->setWavelengthInMicrons(0.55);
  return lens;
}

inline constexpr double kLambdaNF5 = 0.00055 * 5;  // mm
inline constexpr double kCutoffF5 = 1 / kLambdaNF5;  // 363.64 cycles/mm

/// The MTF of an aberration-free circular pupil at u = ν/ν_c, written out here as the
/// textbook has it so the code's own form is checked against it.
inline double circularPupilMTF(double u) {
  if (u >= 1) return 0;
  return 2 / M_PI * (std::acos(u) - u * std::sqrt(1 - u * u));
}

}  // namespace orb::wavefront::testing
