#pragma once

#include "foundation/objects/XY.h"

// The FFT module: our own in-place complex discrete Fourier transforms of
// power-of-two length in double precision, one- and two-dimensional, and the index maps
// between the transform's natural (wrapped) order and the centred order of images.
//
// Data: n complex elements laid out as `XY` records (re in x, im in y); a 2-D array is
// rows × cols elements row-major (element (r, c) at r · cols + c).
//
// Definitions, natural order (zero frequency at index 0):
//   forward  X[k] = Σⱼ x[j] · e^(−2πi·jk/n), not normalised;
//   inverse  x[j] = (1/n) · Σₖ X[k] · e^(+2πi·jk/n);
//   2-D: along every row, then along every column; the inverse is normalised by
//   1/(rows · cols).
//
// Failures: a size that is not a power of two (0 included) writes the function's message
// to standard error, without a newline, and returns −1 before touching the data; an
// exhausted allocator writes "Insufficient storage for fft buffers" and returns −1.
// Nothing is raised. The functions keep no state between calls: calls on different data
// may run at once on several threads, without a lock.

namespace orb::foundation {

/// In place, the forward transform in natural order; 0, or −1 for a bad size
/// ("fft_forward: input array must have dimensions a power of 2").
int fft_forward(XY* data, int n);
/// In place, the normalised inverse in natural order; 0 or −1
/// ("fft_reverse: input array must have dimensions a power of 2").
int fft_reverse(XY* data, int n);
/// In place, the 2-D forward transform in natural order; 0 or −1
/// ("fft2d: input array must have dimensions a power of 2").
int fft2d_forward(XY* data, int rows, int cols);
/// In place, the normalised 2-D inverse in natural order; 0 or −1 (data untouched then).
int fft2d_reverse(XY* data, int rows, int cols);
/// The kernel's row and column passes (inverse 0 forward, 1 inverse), each row and
/// column left in the kernel's own order (see `fft_kernel`); 0 or −1.
int fft2d(XY* data, int rows, int cols, int inverse);
/// The 1-D kernel in its own centred convention: forward (inverse = 0) maps natural-order
/// data to a centred spectrum (the e^(−) transform with its halves exchanged); inverse
/// (inverse = 1) maps a centred spectrum to natural-order data, normalised by 1/n. n must
/// be a power of two (not checked here).
void fft_kernel(int inverse, int n, XY* data);

/// Centred position of wrapped index i: i + ⌈n/2⌉ when i < ⌊n/2⌋, else i − ⌊n/2⌋.
int fftShiftIndex(int n, int i);
/// Wrapped position of centred index i: i + ⌊n/2⌋ when i < ⌈n/2⌉, else i − ⌈n/2⌉.
int fftUnshiftIndex(int n, int i);
/// Signed frequency of wrapped index i: i when i < ⌈n/2⌉, else i − n.
int fftSignedFrequency(int n, int i);
/// Signed frequency with the threshold ⌊n/2⌋: i when i < ⌊n/2⌋, else i − n.
int fftSignedFrequencyHalf(int n, int i);
/// Row-major index in an n × n array of (fftShiftIndex(n, r), fftShiftIndex(n, c)).
int fftShiftIndex2D(int n, int r, int c);

}  // namespace orb::foundation
