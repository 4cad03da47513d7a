#include "foundation/linear/ComplexMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/linear/FFT.h"

namespace orb::foundation {
namespace {

ComplexMatrix randomComplex(std::size_t rows, std::size_t cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  ComplexMatrix m(rows, cols);
  for (std::size_t i = 0; i < m.numberOfElements(); ++i) m.rowMajorStorage()[i] = XY{u(gen), u(gen)};
  return m;
}

/// max |a − b| over the elements, relative to max |b| (1 when b is zero).
double relativeDifference(const ComplexMatrix& a, const ComplexMatrix& b) {
  double d = 0, scale = 0;
  for (std::size_t i = 0; i < a.numberOfElements(); ++i) {
    const XY p = a.rowMajorStorage()[i], q = b.rowMajorStorage()[i];
    d = std::max(d, std::hypot(p.x - q.x, p.y - q.y));
    scale = std::max(scale, std::hypot(q.x, q.y));
  }
  return d / (scale > 0 ? scale : 1);
}

struct Shape {
  std::size_t rows, cols;
};
const std::vector<Shape> kShapes = {{1, 1}, {2, 2}, {1, 16}, {16, 1}, {8, 4}, {4, 8}, {32, 32}, {64, 256}};

TEST(ComplexMatrixTest, Making) {
  Matrix real(3, 5);
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 5; ++j) real.atPut(i, j, double(i * 5 + j + 1));
  const ComplexMatrix p = ComplexMatrix::paddedWithMatrix(real);
  ASSERT_EQ(p.nRows(), 8u);
  ASSERT_EQ(p.nCols(), 16u);
  for (std::size_t i = 0; i < 8; ++i)
    for (std::size_t j = 0; j < 16; ++j)
      EXPECT_EQ(p.at(i, j), (XY{i < 3 && j < 5 ? real.at(i, j) : 0.0, 0})) << i << "," << j;
  EXPECT_EQ(p.re(), Matrix::paddedWithMatrix(real));
  EXPECT_EQ(ComplexMatrix(real).re(), real);
  EXPECT_EQ(p.description(), "ComplexMatrix 8*16");
  // Out of bounds.
  ComplexMatrix m = randomComplex(2, 3, 1);
  const ComplexMatrix before = m;
  EXPECT_EQ(m.at(2, 0), (XY{0, 0}));
  EXPECT_EQ(m.at(0, 3), (XY{0, 0}));
  m.atPut(2, 0, XY{1, 1});
  m.atPut(0, 3, XY{1, 1});
  EXPECT_EQ(m, before);
}

TEST(ComplexMatrixTest, ElementOperations) {
  ComplexMatrix a(1, 2);
  a.atPut(0, 0, XY{0, 1});
  a.atPut(0, 1, XY{3, 4});
  ComplexMatrix b = a;
  b.inPlaceHadamardProductWithComplexMatrix(a);
  EXPECT_EQ(b.at(0, 0), (XY{-1, 0}));
  EXPECT_EQ(b.at(0, 1), (XY{-7, 24}));
  EXPECT_EQ(a.squaredMagnitude(), Matrix(1, 2, {{1, 25}}));
  ComplexMatrix c = a;
  c.inPlaceSquaredMagnitude();
  EXPECT_EQ(c.at(0, 1), (XY{25, 0}));
  c.scaleByReal(2);
  EXPECT_EQ(c.at(0, 1), (XY{50, 0}));
  c.addComplexMatrixScaledByReal(a, -1);
  EXPECT_EQ(c.at(0, 0), (XY{2, -1}));
  c.inPlaceHadamardProductWithMatrix(Matrix(1, 1, {{3}}));  // the missing element reads 0
  EXPECT_EQ(c.at(0, 0), (XY{6, -3}));
  EXPECT_EQ(c.at(0, 1), (XY{0, 0}));
}

TEST(ComplexMatrixTest, TwoDimensionalRoundTripOnTableOfShapes) {
  for (Shape s : kShapes) {
    SCOPED_TRACE(testing::Message() << s.rows << "x" << s.cols);
    ComplexMatrix delta(s.rows, s.cols);
    delta.atPut(0, 0, XY{1, 0});
    delta.inPlaceFFT();
    for (std::size_t i = 0; i < delta.numberOfElements(); ++i) {
      EXPECT_NEAR(delta.rowMajorStorage()[i].x, 1.0, 1e-15);
      EXPECT_NEAR(delta.rowMajorStorage()[i].y, 0.0, 1e-15);
    }
    const ComplexMatrix x = randomComplex(s.rows, s.cols, unsigned(s.rows * 31 + s.cols));
    ComplexMatrix y = x;
    y.inPlaceFFT();
    y.inPlaceInverseFFT();
    EXPECT_LT(relativeDifference(y, x), 1e-14);
  }
}

TEST(ComplexMatrixTest, FFTWPathEqualsOwnModuleOnRandomData) {
  for (Shape s : kShapes) {
    SCOPED_TRACE(testing::Message() << s.rows << "x" << s.cols);
    const ComplexMatrix x = randomComplex(s.rows, s.cols, unsigned(s.rows + 1000 * s.cols));
    ComplexMatrix own = x, fftw = x;
    own.inPlaceFFT();
    fftw.inPlaceFFTWithFFTW();
    EXPECT_LT(relativeDifference(fftw, own), 1e-14);
    own.inPlaceInverseFFT();
    fftw.inPlaceInverseFFTWithFFTW();
    EXPECT_LT(relativeDifference(fftw, own), 1e-14);
    EXPECT_LT(relativeDifference(fftw, x), 1e-14);
    // A second call reuses the plan made for the size; the result is the same.
    ComplexMatrix again = x;
    again.inPlaceFFTWithFFTW();
    ComplexMatrix first = x;
    first.inPlaceFFTWithFFTW();
    EXPECT_EQ(again, first);
  }
}

TEST(ComplexMatrixTest, ColumnTransformsAgreeWithModule) {
  for (Shape s : kShapes) {
    SCOPED_TRACE(testing::Message() << s.rows << "x" << s.cols);
    const ComplexMatrix x = randomComplex(s.rows, s.cols, unsigned(7 * s.rows + s.cols));
    ComplexMatrix columns = x;
    columns.inPlaceColumnForwardFFT();
    ComplexMatrix expected(s.rows, s.cols);
    for (std::size_t c = 0; c < s.cols; ++c) {
      std::vector<XY> column(s.rows);
      for (std::size_t r = 0; r < s.rows; ++r) column[r] = x.at(r, c);
      ASSERT_EQ(fft_forward(column.data(), int(s.rows)), 0);
      for (std::size_t r = 0; r < s.rows; ++r) expected.atPut(r, c, column[r]);
    }
    EXPECT_LT(relativeDifference(columns, expected), 1e-14);
    columns.inPlaceColumnInverseFFT();
    EXPECT_LT(relativeDifference(columns, x), 1e-14);
  }
  // Any column length works with FFTW: 6 rows round-trip.
  const ComplexMatrix six = randomComplex(6, 3, 5);
  ComplexMatrix m = six;
  m.inPlaceColumnForwardFFT();
  m.inPlaceColumnInverseFFT();
  EXPECT_LT(relativeDifference(m, six), 1e-14);
}

TEST(ComplexMatrixTest, DiagonalSkewShiftsColumns) {
  for (std::size_t n : {8u, 16u}) {
    SCOPED_TRACE(n);
    const ComplexMatrix x = randomComplex(n, n, unsigned(n));
    ComplexMatrix skewed = x;
    skewed.inPlaceDiagonalSkew();
    for (std::size_t c = 0; c < n; ++c) {
      const int kc = fftSignedFrequencyHalf(int(n), int(c));
      for (std::size_t j = 0; j < n; ++j) {
        const std::size_t from = std::size_t((int(j) + kc + int(n)) % int(n));
        EXPECT_NEAR(skewed.at(j, c).x, x.at(from, c).x, 1e-13) << j << "," << c;
        EXPECT_NEAR(skewed.at(j, c).y, x.at(from, c).y, 1e-13) << j << "," << c;
      }
    }
  }
}

TEST(ComplexMatrixTest, BadSizeLeavesMatrixUnchanged) {
  ComplexMatrix m = randomComplex(6, 4, 9);
  const ComplexMatrix before = m;
  testing::internal::CaptureStderr();
  m.inPlaceFFT();
  m.inPlaceInverseFFT();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "fft2d: input array must have dimensions a power of 2fft2d: input array must have dimensions a power of 2");
  EXPECT_EQ(m, before);
}

TEST(ComplexMatrixTest, TransformsFromSeveralThreads) {
  // The 2-D transforms serialise on the process-wide lock and the plan table is filled
  // under it; results from worker threads equal the single-threaded ones.
  const ComplexMatrix x = randomComplex(64, 32, 11);
  ComplexMatrix reference = x;
  reference.inPlaceFFT();
  std::vector<ComplexMatrix> results(6, x);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t)
    threads.emplace_back([&results, t] {
      if (t % 3 == 0) results[t].inPlaceFFT();
      else if (t % 3 == 1) results[t].inPlaceFFTWithFFTW();
      else {
        ComplexMatrix other(16 + 16 * t, 8);  // plans for new sizes made concurrently
        other.inPlaceColumnForwardFFT();
        results[t].inPlaceFFT();
      }
    });
  for (std::thread& th : threads) th.join();
  for (const ComplexMatrix& r : results) EXPECT_LT(relativeDifference(r, reference), 1e-14);
}

}  // namespace
}  // namespace orb::foundation
