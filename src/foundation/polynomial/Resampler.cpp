#include "foundation/polynomial/Resampler.h"

#include <cmath>

#include "foundation/polynomial/SplineInterpolator.h"

namespace orb::foundation {

namespace {

/// 5n abscissae from x₀ to x_{n−1}.
VKSeries fineGrid(const VKSeries& x) {
  const std::size_t n = x.count();
  const std::size_t m = 5 * n;
  VKSeries grid(m);
  if (n == 0) return grid;
  const double x0 = x.at(0);
  const double step = (x.at(n - 1) - x0) / static_cast<double>(m - 1);
  for (std::size_t i = 0; i < m; ++i) grid.atPut(i, x0 + static_cast<double>(i) * step);
  return grid;
}

VKSeries sample(SplineInterpolator& spline, const VKSeries& grid) {
  VKSeries values(grid.count());
  for (std::size_t i = 0; i < grid.count(); ++i) values.atPut(i, spline.valueAt(grid.at(i)));
  return values;
}

}  // namespace

Resampler::Resampled Resampler::resample(const VKSeries& x, const VKSeries& y) {
  SplineInterpolator spline(x, y);
  VKSeries grid = fineGrid(x);
  VKSeries values = sample(spline, grid);
  return {std::move(grid), std::move(values)};
}

Resampler::ResampledComplex Resampler::resampleComplexFunction(const VKSeries& x, const VKSeries&,
                                                               const VKSeries& re, const VKSeries& im) {
  SplineInterpolator reSpline(x, re);
  SplineInterpolator imSpline(x, im);
  VKSeries grid = fineGrid(x);
  VKSeries reValues = sample(reSpline, grid);
  VKSeries imValues = sample(imSpline, grid);
  VKSeries magnitude(grid.count());
  for (std::size_t i = 0; i < grid.count(); ++i) magnitude.atPut(i, std::sqrt(reValues.at(i) * reValues.at(i) + imValues.at(i) * imValues.at(i)));
  return {std::move(grid), std::move(magnitude), std::move(reValues), std::move(imValues)};
}

}  // namespace orb::foundation
