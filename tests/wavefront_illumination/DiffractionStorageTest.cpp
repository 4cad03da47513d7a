#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "foundation/linear/FFT.h"
#include "platform/Thread.h"
#include "wavefront_illumination/DOTFCalculator.h"

// Storage kept from run to run by the point-spread calculators: a field, OTF or image
// made in recycled storage holds its own values, never an earlier run's.

namespace orb::wavefront {
namespace {

using foundation::Matrix;
using Grid = DOTFCalculator::PupilGrid;

constexpr double kLambda = 0.00055;  // mm

// n × n cell centres over [−1, 1]², dead outside the unit circle; W = a·(x² + y²) + b·x³
// waves (defocus and a coma-like odd term, so the field is not symmetric).
Grid grid(int n, double a, double b) {
  Grid g;
  g.n = n;
  g.wavelength = kLambda;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double x = (i + 0.5) * 2 / n - 1, y = (j + 0.5) * 2 / n - 1;
      const bool inside = x * x + y * y <= 1;
      g.alive.push_back(inside);
      g.opd.push_back(inside ? (a * (x * x + y * y) + b * x * x * x) * kLambda : 0.0);
    }
  return g;
}

double largestDifference(const double* a, const double* b, std::size_t n) {
  double d = 0;
  for (std::size_t k = 0; k < n; ++k) d = std::max(d, std::abs(a[k] - b[k]));
  return d;
}

// A perfect pupil of 16 cells (208 live): the unnormalised point spread at zero
// displacement is 208², and interpolation by 2^p reproduces the coarse samples scaled by
// 4^−p. Then an aberrated pupil through the same workspace, whose spare field, OTF and
// buffers hold the first pupil's values, comes out as from a fresh pipeline.
TEST(DiffractionStorage, RecycledTransferStorageHoldsOnlyTheNewGrid) {
  DOTFCalculator::Workspace workspace;
  const auto coarse = DOTFCalculator::transferForGrid(grid(16, 0, 0), 0);
  ASSERT_TRUE(coarse);
  EXPECT_NEAR(coarse->intensity.at(0, 0), 208.0 * 208.0, 1e-7);
  auto perfect = DOTFCalculator::transferForGrid(grid(16, 0, 0), 2, nullptr, &workspace);
  ASSERT_TRUE(perfect);
  ASSERT_EQ(perfect->intensity.nRows(), 128u);
  for (std::size_t r = 0; r < 32; r += 3)
    for (std::size_t c = 0; c < 32; c += 5)
      EXPECT_NEAR(perfect->intensity.at(4 * r, 4 * c), coarse->intensity.at(r, c) / 16, 1e-8) << r << "," << c;
  // Hand the results back as the calculator does, then run other grids through them.
  workspace.giveBack(std::make_shared<const Matrix>(std::move(perfect->intensity)));
  workspace.giveBackTransfer(std::make_shared<const foundation::ComplexMatrix>(std::move(perfect->otf)));
  for (int order : {2, 0}) {
    SCOPED_TRACE(order);
    const Grid aberrated = grid(16, 0.7, 0.4);
    const auto reused = DOTFCalculator::transferForGrid(aberrated, order, nullptr, &workspace);
    const auto fresh = DOTFCalculator::transferForGrid(aberrated, order);
    ASSERT_TRUE(reused && fresh);
    ASSERT_EQ(reused->intensity.nRows(), fresh->intensity.nRows());
    EXPECT_LT(largestDifference(reused->intensity.rowMajorStorage(), fresh->intensity.rowMajorStorage(),
                                fresh->intensity.numberOfElements()),
              1e-9);
    EXPECT_LT(largestDifference(reinterpret_cast<const double*>(reused->otf.rowMajorStorage()),
                                reinterpret_cast<const double*>(fresh->otf.rowMajorStorage()),
                                2 * fresh->otf.numberOfElements()),
              1e-12);
    // The aberration lowers the peak below the perfect pupil's.
    EXPECT_LT(reused->intensity.at(0, 0), 208.0 * 208.0 / (order ? 16 : 1));
    workspace.giveBack(std::make_shared<const Matrix>(std::move(reused->intensity)));
    workspace.giveBackTransfer(std::make_shared<const foundation::ComplexMatrix>(std::move(reused->otf)));
  }
}

// The published image's storage serves the next image: a new field of the same size
// gives exactly its own centred values (and square roots under enhancement), with no
// element left from the image before.
TEST(DiffractionStorage, RecycledImageStorageHoldsOnlyTheNewField) {
  ASSERT_TRUE(platform::isMainThread());
  auto calculator = platform::makeObject<PSFCalculator>();
  auto first = std::make_shared<Matrix>(6, 6);
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) first->atPut(r, c, 1000.0 + 10.0 * r + c);
  calculator->setIntensityField(first);
  calculator->generateImageOfPSF();
  ASSERT_TRUE(calculator->imageOfPSF());
  // Element (r, c) of the image is field element (r + 3, c + 3) mod 6.
  EXPECT_EQ(calculator->imageOfPSF()->values.at(0, 0), 1033.0);
  auto second = std::make_shared<Matrix>(6, 6);
  second->atPut(0, 0, 9);
  second->atPut(5, 1, -4);  // no square root of a negative value: 0
  calculator->setIntensityField(second);
  calculator->generateImageOfPSF();  // the first image's storage is spare now
  calculator->setUseImageEnhancement(true);  // makes and publishes again
  const auto& image = calculator->imageOfPSF();
  ASSERT_TRUE(image);
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c)
      EXPECT_EQ(image->values.at(r, c), r == 3 && c == 3 ? 3.0 : 0.0) << r << "," << c;
}

}  // namespace
}  // namespace orb::wavefront
