#include "foundation/linear/FFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

namespace orb::foundation {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<XY> randomData(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<XY> v(n);
  for (XY& z : v) z = XY{u(gen), u(gen)};
  return v;
}

double maxDifference(const std::vector<XY>& a, const std::vector<XY>& b) {
  double d = 0;
  for (std::size_t i = 0; i < a.size(); ++i) d = std::max(d, std::hypot(a[i].x - b[i].x, a[i].y - b[i].y));
  return d;
}

/// The definition, summed directly: X[k] = Σⱼ x[j] · e^(sign · 2πi·jk/n).
std::vector<XY> naiveDFT(const std::vector<XY>& x, int sign) {
  const std::size_t n = x.size();
  std::vector<XY> out(n);
  for (std::size_t k = 0; k < n; ++k) {
    std::complex<double> sum = 0;
    for (std::size_t j = 0; j < n; ++j)
      sum += std::complex<double>(x[j].x, x[j].y) *
             std::polar(1.0, sign * 2 * kPi * double((j * k) % n) / double(n));
    out[k] = XY{sum.real(), sum.imag()};
  }
  return out;
}

TEST(FFTTest, KnownTransforms) {
  std::vector<XY> delta = {{1, 0}, {0, 0}, {0, 0}, {0, 0}};
  ASSERT_EQ(fft_forward(delta.data(), 4), 0);
  EXPECT_LT(maxDifference(delta, {{1, 0}, {1, 0}, {1, 0}, {1, 0}}), 1e-15);
  std::vector<XY> shifted = {{0, 0}, {1, 0}, {0, 0}, {0, 0}};
  ASSERT_EQ(fft_forward(shifted.data(), 4), 0);
  EXPECT_LT(maxDifference(shifted, {{1, 0}, {0, -1}, {-1, 0}, {0, 1}}), 1e-15);
  // n = 1 leaves the element unchanged both ways.
  XY one{3, -2};
  EXPECT_EQ(fft_forward(&one, 1), 0);
  EXPECT_EQ(fft_reverse(&one, 1), 0);
  EXPECT_EQ(one, (XY{3, -2}));
}

TEST(FFTTest, IdentitiesOnTableOfSizes) {
  for (int n : {1, 2, 4, 8, 16, 64, 1024, 4096}) {
    SCOPED_TRACE(n);
    const std::vector<XY> x = randomData(std::size_t(n), unsigned(n));
    // Delta → all ones.
    std::vector<XY> delta(std::size_t(n), XY{0, 0});
    delta[0] = XY{1, 0};
    ASSERT_EQ(fft_forward(delta.data(), n), 0);
    EXPECT_LT(maxDifference(delta, std::vector<XY>(std::size_t(n), XY{1, 0})), 1e-14);
    // Against the definition (sizes small enough to sum directly).
    std::vector<XY> forward = x;
    ASSERT_EQ(fft_forward(forward.data(), n), 0);
    if (n <= 1024) {
      EXPECT_LT(maxDifference(forward, naiveDFT(x, -1)), 1e-11);
    }
    // Parseval: Σ|X|² = n · Σ|x|².
    double energyX = 0, energyF = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      energyX += x[i].x * x[i].x + x[i].y * x[i].y;
      energyF += forward[i].x * forward[i].x + forward[i].y * forward[i].y;
    }
    EXPECT_NEAR(energyF, n * energyX, 1e-12 * n * energyX);
    // Round trip.
    ASSERT_EQ(fft_reverse(forward.data(), n), 0);
    EXPECT_LT(maxDifference(forward, x), 1e-14 * std::log2(double(2 * n)));
    // The inverse alone against the definition, normalised.
    std::vector<XY> inverse = x;
    ASSERT_EQ(fft_reverse(inverse.data(), n), 0);
    if (n <= 1024) {
      std::vector<XY> expected = naiveDFT(x, +1);
      for (XY& z : expected) z = XY{z.x / n, z.y / n};
      EXPECT_LT(maxDifference(inverse, expected), 1e-13);
    }
  }
}

TEST(FFTTest, KernelUsesCentredOrder) {
  // The kernel alone: natural data → centred spectrum, and back.
  const std::vector<XY> x = randomData(8, 3);
  std::vector<XY> centred = x;
  fft_kernel(0, 8, centred.data());
  const std::vector<XY> natural = naiveDFT(x, -1);
  for (int k = 0; k < 8; ++k) {
    EXPECT_NEAR(centred[std::size_t(fftShiftIndex(8, k))].x, natural[std::size_t(k)].x, 1e-13);
    EXPECT_NEAR(centred[std::size_t(fftShiftIndex(8, k))].y, natural[std::size_t(k)].y, 1e-13);
  }
  fft_kernel(1, 8, centred.data());
  EXPECT_LT(maxDifference(centred, x), 1e-14);
}

TEST(FFTTest, BadSizesLeaveDataAlone) {
  struct Case {
    std::string name;
    int rows, cols;
  };
  for (int n : {0, 6, -4}) {
    SCOPED_TRACE(n);
    std::vector<XY> data = randomData(8, 1);
    const std::vector<XY> before = data;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fft_forward(data.data(), n), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "fft_forward: input array must have dimensions a power of 2");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fft_reverse(data.data(), n), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "fft_reverse: input array must have dimensions a power of 2");
    EXPECT_EQ(data, before);
  }
  for (const Case& c : std::vector<Case>{{"6 rows", 6, 4}, {"0 cols", 4, 0}, {"3 cols", 2, 3}, {"0 rows", 0, 8}}) {
    SCOPED_TRACE(c.name);
    std::vector<XY> data = randomData(32, 2);
    const std::vector<XY> before = data;
    for (int direction = 0; direction < 2; ++direction) {
      testing::internal::CaptureStderr();
      EXPECT_EQ(direction == 0 ? fft2d_forward(data.data(), c.rows, c.cols) : fft2d_reverse(data.data(), c.rows, c.cols),
                -1);
      EXPECT_EQ(testing::internal::GetCapturedStderr(), "fft2d: input array must have dimensions a power of 2");
      EXPECT_EQ(data, before);  // the mend: fft2d_reverse no longer swaps halves first
    }
  }
}

TEST(FFTTest, TwoDimensional) {
  // 4 × 8: a 1 at (0, 0) gives all ones; a 1 at (0, 1) gives e^(−2πi·c/8) in every row.
  std::vector<XY> a(32, XY{0, 0});
  a[0] = XY{1, 0};
  ASSERT_EQ(fft2d_forward(a.data(), 4, 8), 0);
  EXPECT_LT(maxDifference(a, std::vector<XY>(32, XY{1, 0})), 1e-15);
  std::vector<XY> b(32, XY{0, 0});
  b[1] = XY{1, 0};
  ASSERT_EQ(fft2d_forward(b.data(), 4, 8), 0);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 8; ++c) {
      EXPECT_NEAR(b[std::size_t(r * 8 + c)].x, std::cos(-2 * kPi * c / 8), 1e-15);
      EXPECT_NEAR(b[std::size_t(r * 8 + c)].y, std::sin(-2 * kPi * c / 8), 1e-15);
    }
  // Against row-then-column 1-D transforms, round trip and Parseval on a table of shapes.
  struct Shape {
    int rows, cols;
  };
  for (Shape s : {Shape{1, 1}, Shape{1, 8}, Shape{8, 1}, Shape{2, 2}, Shape{16, 4}, Shape{64, 128}}) {
    SCOPED_TRACE(testing::Message() << s.rows << "x" << s.cols);
    const std::vector<XY> x = randomData(std::size_t(s.rows * s.cols), unsigned(s.rows + 7 * s.cols));
    std::vector<XY> expected = x;
    for (int r = 0; r < s.rows; ++r) fft_forward(expected.data() + r * s.cols, s.cols);
    for (int c = 0; c < s.cols; ++c) {
      std::vector<XY> column(std::size_t(s.rows));
      for (int r = 0; r < s.rows; ++r) column[std::size_t(r)] = expected[std::size_t(r * s.cols + c)];
      fft_forward(column.data(), s.rows);
      for (int r = 0; r < s.rows; ++r) expected[std::size_t(r * s.cols + c)] = column[std::size_t(r)];
    }
    std::vector<XY> y = x;
    ASSERT_EQ(fft2d_forward(y.data(), s.rows, s.cols), 0);
    EXPECT_LT(maxDifference(y, expected), 1e-12);
    double energyX = 0, energyY = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      energyX += x[i].x * x[i].x + x[i].y * x[i].y;
      energyY += y[i].x * y[i].x + y[i].y * y[i].y;
    }
    EXPECT_NEAR(energyY, double(x.size()) * energyX, 1e-12 * double(x.size()) * energyX);
    ASSERT_EQ(fft2d_reverse(y.data(), s.rows, s.cols), 0);
    EXPECT_LT(maxDifference(y, x), 1e-14);
  }
}

TEST(FFTTest, IndexMaps) {
  const std::vector<int> shift5 = {3, 4, 0, 1, 2};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(fftShiftIndex(5, i), shift5[std::size_t(i)]);
    EXPECT_EQ(fftUnshiftIndex(5, fftShiftIndex(5, i)), i);
  }
  const std::vector<int> shift4 = {2, 3, 0, 1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(fftShiftIndex(4, i), shift4[std::size_t(i)]);
    EXPECT_EQ(fftUnshiftIndex(4, fftShiftIndex(4, i)), i);
  }
  EXPECT_EQ(fftSignedFrequency(5, 2), 2);
  EXPECT_EQ(fftSignedFrequencyHalf(5, 2), -3);
  EXPECT_EQ(fftSignedFrequency(4, 2), -2);
  EXPECT_EQ(fftSignedFrequencyHalf(4, 2), -2);
  EXPECT_EQ(fftSignedFrequency(4, 1), 1);
  EXPECT_EQ(fftShiftIndex2D(4, 0, 1), 2 * 4 + 3);
}

}  // namespace
}  // namespace orb::foundation
