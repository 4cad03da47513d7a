#pragma once

#include "foundation/linear/VKSeries.h"

namespace orb::foundation {

/// A sampled curve put on a five times finer, evenly spaced grid by a natural spline
/// without extrapolation: the output has 5n points from x₀ to x_{n−1}.
class Resampler {
 public:
  struct Resampled {
    VKSeries x;
    VKSeries y;
  };
  struct ResampledComplex {
    VKSeries x;
    VKSeries magnitude;  ///< √(re² + im²) of the resampled parts
    VKSeries re;
    VKSeries im;
  };

  static Resampled resample(const VKSeries& x, const VKSeries& y);
  /// Splines through the real and the imaginary part; the magnitude is recomputed from
  /// them, so the input magnitude is not read.
  static ResampledComplex resampleComplexFunction(const VKSeries& x, const VKSeries& magnitude, const VKSeries& re,
                                                  const VKSeries& im);
};

}  // namespace orb::foundation
