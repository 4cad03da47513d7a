#include "foundation/linear/FFT.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

namespace orb::foundation {

namespace {

/// Exactly one bit set in the 32-bit value (0 fails); negative sizes fail as well.
bool isPowerOfTwo(int n) {
  if (n <= 0) return false;
  const auto u = static_cast<std::uint32_t>(n);
  return (u & (u - 1)) == 0;
}

void report(const char* message) {
  std::fputs(message, stderr);
  std::fflush(stderr);
}

/// Exchanges element k with element k + n/2 for k < n/2, every `stride`th element.
void swapHalves(XY* data, int n, int stride = 1) {
  const int h = n / 2;
  for (int k = 0; k < h; ++k) std::swap(data[k * stride], data[(k + h) * stride]);
}

void conjugate(XY* data, int n) {
  for (int k = 0; k < n; ++k) data[k].y = -data[k].y;
}

/// The core: decimation in frequency with the kernel e^(+2πi·jk/n): radix-4 passes from
/// the largest span down (each the same as two radix-2 passes, so the ordinary bit
/// reversal applies), one radix-2 pass when log₂n is odd, then the bit-reversal
/// permutation into natural order. The twiddle factor w = e^(+2πi·j/span) of a pass is
/// computed exactly every 16th index and by rotation through the pass's unit step in
/// between; w² and w³ follow by products.
void core(XY* x, int n) {
  constexpr double kTwoPi = 6.28318530717958647692;
  int span = n;
  for (; span >= 4; span >>= 2) {
    const int q = span / 4;
    const double theta = kTwoPi / span;
    const double c1 = std::cos(theta), s1 = std::sin(theta);
    double wr = 1, wi = 0;
    for (int j = 0; j < q; ++j) {
      if ((j & 15) == 0) {
        wr = std::cos(theta * j);
        wi = std::sin(theta * j);
      } else {
        const double t = wr * c1 - wi * s1;
        wi = wr * s1 + wi * c1;
        wr = t;
      }
      const double w2r = wr * wr - wi * wi, w2i = 2 * wr * wi;
      const double w3r = w2r * wr - w2i * wi, w3i = w2r * wi + w2i * wr;
      for (int s = j; s < n; s += span) {
        XY& a0 = x[s];
        XY& a1 = x[s + q];
        XY& a2 = x[s + 2 * q];
        XY& a3 = x[s + 3 * q];
        const double t0r = a0.x + a2.x, t0i = a0.y + a2.y;
        const double t1r = a0.x - a2.x, t1i = a0.y - a2.y;
        const double t2r = a1.x + a3.x, t2i = a1.y + a3.y;
        const double t3r = -(a1.y - a3.y), t3i = a1.x - a3.x;  // i · (a1 − a3)
        a0.x = t0r + t2r;
        a0.y = t0i + t2i;
        const double br = t0r - t2r, bi = t0i - t2i;
        a1.x = br * w2r - bi * w2i;
        a1.y = br * w2i + bi * w2r;
        const double cr = t1r + t3r, ci = t1i + t3i;
        a2.x = cr * wr - ci * wi;
        a2.y = cr * wi + ci * wr;
        const double dr = t1r - t3r, di = t1i - t3i;
        a3.x = dr * w3r - di * w3i;
        a3.y = dr * w3i + di * w3r;
      }
    }
  }
  if (span == 2)  // the last radix-2 pass: twiddle 1
    for (int s = 0; s < n; s += 2) {
      XY& a = x[s];
      XY& b = x[s + 1];
      const double dr = a.x - b.x, di = a.y - b.y;
      a.x += b.x;
      a.y += b.y;
      b.x = dr;
      b.y = di;
    }
  // Bit reversal.
  for (int i = 0, j = 0; i < n; ++i) {
    if (i < j) std::swap(x[i], x[j]);
    int m = n >> 1;
    while (m >= 1 && (j & m)) {
      j ^= m;
      m >>= 1;
    }
    j |= m;
  }
}

}  // namespace

void fft_kernel(int inverse, int n, XY* data) {
  if (n < 1) return;
  if (inverse == 0) {
    conjugate(data, n);
    core(data, n);
    swapHalves(data, n);
    conjugate(data, n);
  } else {
    swapHalves(data, n);
    core(data, n);
    const double scale = 1.0 / n;
    for (int k = 0; k < n; ++k) {
      data[k].x *= scale;
      data[k].y *= scale;
    }
  }
}

int fft_forward(XY* data, int n) {
  if (!isPowerOfTwo(n)) {
    report("fft_forward: input array must have dimensions a power of 2");
    return -1;
  }
  fft_kernel(0, n, data);
  if (n >= 2) swapHalves(data, n);
  return 0;
}

int fft_reverse(XY* data, int n) {
  if (!isPowerOfTwo(n)) {
    report("fft_reverse: input array must have dimensions a power of 2");
    return -1;
  }
  if (n >= 2) swapHalves(data, n);
  fft_kernel(1, n, data);
  return 0;
}

namespace {

bool checkSizes2D(int rows, int cols) {
  if (isPowerOfTwo(rows) && isPowerOfTwo(cols)) return true;
  report("fft2d: input array must have dimensions a power of 2");
  return false;
}

/// Row halves, then the column halves in every row: centred ↔ natural in both directions.
void swapHalves2D(XY* data, int rows, int cols) {
  if (rows >= 2) {
    const int h = rows / 2;
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < cols; ++c) std::swap(data[r * cols + c], data[(r + h) * cols + c]);
  }
  if (cols >= 2)
    for (int r = 0; r < rows; ++r) swapHalves(data + r * cols, cols);
}

}  // namespace

int fft2d(XY* data, int rows, int cols, int inverse) {
  if (!checkSizes2D(rows, cols)) return -1;
  // One scratch block: a row, or four columns gathered together (a cache line holds four
  // elements, so the strided gather reads each line once).
  constexpr int kColumnsPerGather = 4;
  std::vector<XY> scratch;
  try {
    const std::size_t rowNeed = static_cast<std::size_t>(cols);
    const std::size_t columnNeed = static_cast<std::size_t>(rows) * kColumnsPerGather;
    scratch.resize(rowNeed > columnNeed ? rowNeed : columnNeed);
  } catch (const std::bad_alloc&) {
    report("Insufficient storage for fft buffers");
    return -1;
  }
  XY* v = scratch.data();
  if (cols >= 2)
    for (int r = 0; r < rows; ++r) {
      XY* row = data + static_cast<std::ptrdiff_t>(r) * cols;
      for (int c = 0; c < cols; ++c) v[c] = row[c];
      fft_kernel(inverse, cols, v);
      for (int c = 0; c < cols; ++c) row[c] = v[c];
    }
  if (rows >= 2)
    for (int c0 = 0; c0 < cols; c0 += kColumnsPerGather) {
      const int width = cols - c0 < kColumnsPerGather ? cols - c0 : kColumnsPerGather;
      for (int r = 0; r < rows; ++r) {
        const XY* in = data + static_cast<std::ptrdiff_t>(r) * cols + c0;
        for (int k = 0; k < width; ++k) v[k * rows + r] = in[k];
      }
      for (int k = 0; k < width; ++k) fft_kernel(inverse, rows, v + k * rows);
      for (int r = 0; r < rows; ++r) {
        XY* out = data + static_cast<std::ptrdiff_t>(r) * cols + c0;
        for (int k = 0; k < width; ++k) out[k] = v[k * rows + r];
      }
    }
  return 0;
}

int fft2d_forward(XY* data, int rows, int cols) {
  const int result = fft2d(data, rows, cols, 0);
  if (result != 0) return result;
  swapHalves2D(data, rows, cols);
  return 0;
}

int fft2d_reverse(XY* data, int rows, int cols) {
  // Mend: the size is checked before the halves are exchanged, so a bad size leaves the
  // data as it was.
  if (!checkSizes2D(rows, cols)) return -1;
  swapHalves2D(data, rows, cols);
  return fft2d(data, rows, cols, 1);
}

int fftShiftIndex(int n, int i) {
  const int lo = n / 2, hi = n - n / 2;
  return i < lo ? i + hi : i - lo;
}

int fftUnshiftIndex(int n, int i) {
  const int lo = n / 2, hi = n - n / 2;
  return i < hi ? i + lo : i - hi;
}

int fftSignedFrequency(int n, int i) { return i < n - n / 2 ? i : i - n; }

int fftSignedFrequencyHalf(int n, int i) { return i < n / 2 ? i : i - n; }

int fftShiftIndex2D(int n, int r, int c) { return fftShiftIndex(n, r) * n + fftShiftIndex(n, c); }

}  // namespace orb::foundation
