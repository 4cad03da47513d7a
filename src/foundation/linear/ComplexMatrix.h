#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "foundation/linear/Matrix.h"
#include "foundation/objects/XY.h"

namespace orb::foundation {

namespace detail {
/// Storage aligned to 64 bytes, so that every matrix has the alignment the FFTW plans
/// were made for and they can be reused from matrix to matrix.
template <class T>
struct AlignedAllocator {
  using value_type = T;
  static constexpr std::align_val_t kAlignment{64};
  AlignedAllocator() = default;
  template <class U>
  AlignedAllocator(const AlignedAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlignment)); }
  void deallocate(T* p, std::size_t) { ::operator delete(p, kAlignment); }
  template <class U>
  friend bool operator==(const AlignedAllocator&, const AlignedAllocator<U>&) {
    return true;
  }
};
}  // namespace detail

/// The dense complex matrix of the wave-optics analyses: pupil fields, point-spread
/// functions and transfer functions are formed, Fourier-transformed, multiplied element by
/// element and squared in magnitude here.
///
/// Storage: nRows · nCols `XY` records row-major (re in x, im in y), exactly the complex
/// array of the FFT module, so the 2-D transforms run on it directly. Values: copying
/// copies the elements. `at` reads (0, 0) outside the matrix and `atPut` ignores a
/// position outside it.
///
/// Transforms and threads: the 2-D transforms (`inPlaceFFT`, `inPlaceInverseFFT` through
/// our own FFT module, and the FFTW pair `inPlaceFFTWithFFTW`, `inPlaceInverseFFTWithFFTW`)
/// run while holding the process-wide lock `platform::Synchronized::processWide()`, so no
/// two of them run at once in the process. The column transforms use FFTW3 in double
/// precision: their plans are made under the same lock and
/// kept for reuse by size; the transforms themselves run without the lock, since a matrix
/// belongs to one worker at a time.
class ComplexMatrix {
 public:
  /// 0 × 0.
  ComplexMatrix() : ComplexMatrix(0, 0) {}
  /// rows × cols of (0, 0).
  ComplexMatrix(std::size_t rows, std::size_t cols);
  /// The real matrix's dimensions, element (r, c) = (real(r, c), 0).
  explicit ComplexMatrix(const Matrix& real);

  static ComplexMatrix matrixWithDimensions(std::size_t rows, std::size_t cols) { return ComplexMatrix(rows, cols); }
  static ComplexMatrix matrixWithMatrix(const Matrix& real) { return ComplexMatrix(real); }
  static ComplexMatrix matrixWithComplexMatrix(const ComplexMatrix& other) { return other; }
  /// `initPaddedWithMatrix:`: 2p × 2q of (0, 0), p and q the smallest powers of two not
  /// below the real matrix's row and column counts (at least 1), the real matrix copied
  /// into the top-left corner. The dimensions are powers of two, as the 2-D FFT requires.
  static ComplexMatrix paddedWithMatrix(const Matrix& real);

  /// "ComplexMatrix rows*cols".
  std::string description() const;
  std::size_t nRows() const { return m_nRows; }
  std::size_t nCols() const { return m_nCols; }
  std::size_t numberOfElements() const { return m_nRows * m_nCols; }
  /// The contiguous row-major storage; callers may fill it directly.
  XY* rowMajorStorage() { return m_storage.data(); }
  const XY* rowMajorStorage() const { return m_storage.data(); }
  /// The element, or (0, 0) outside the matrix.
  XY at(std::size_t row, std::size_t col) const {
    return (row < m_nRows && col < m_nCols) ? m_storage[row * m_nCols + col] : XY{0, 0};
  }
  /// Stores the element; ignored outside the matrix.
  void atPut(std::size_t row, std::size_t col, XY value) {
    if (row < m_nRows && col < m_nCols) m_storage[row * m_nCols + col] = value;
  }

  // --- Transforms -------------------------------------------------------------------
  /// Under the process-wide lock, `fft2d_forward` on the storage: natural order,
  /// unnormalised. A side that is not a power of two leaves the matrix unchanged (the FFT
  /// module writes its message).
  void inPlaceFFT();
  /// Under the process-wide lock, `fft2d_reverse`: normalised by 1/(nRows · nCols).
  void inPlaceInverseFFT();
  /// The same transform as `inPlaceFFT` through FFTW3 (any size): natural order,
  /// unnormalised; agrees with the FFT module to rounding.
  void inPlaceFFTWithFFTW();
  /// The same transform as `inPlaceInverseFFT` through FFTW3, normalised.
  void inPlaceInverseFFTWithFFTW();
  /// Every column transformed separately, direction +1 forward (e^(−2πi·jk/n),
  /// unnormalised) or −1 inverse (e^(+2πi·jk/n), unnormalised), n = nRows (any n).
  void inPlaceColumnFFT(int direction);
  void inPlaceColumnForwardFFT() { inPlaceColumnFFT(+1); }
  /// The inverse column transform scaled by 1/nRows: undoes `inPlaceColumnForwardFFT`.
  void inPlaceColumnInverseFFT();
  /// Element (r, c) times e^(iφ), φ = (2π / nCols) · kc · kr with
  /// kr = fftSignedFrequencyHalf(nRows, r), kc = fftSignedFrequencyHalf(nCols, c).
  void inPlaceMomentumSpaceSkewAlongColumns();
  /// Column forward FFT, momentum-space skew, column inverse FFT: column c moves up by
  /// kc · nRows / nCols rows (cyclically), so the diagonal becomes a row-aligned profile.
  void inPlaceDiagonalSkew();

  // --- Element operations -----------------------------------------------------------
  /// New real matrix of re² + im².
  Matrix squaredMagnitude() const;
  /// New real matrix of the real parts.
  Matrix re() const;
  /// Every element becomes (re² + im², 0).
  void inPlaceSquaredMagnitude();
  /// Every element times s.
  void scaleByReal(double s);
  /// (r, c) += s · B(r, c) over the receiver's dimensions ((0, 0) outside B).
  void addComplexMatrixScaledByReal(const ComplexMatrix& b, double s);
  /// Both parts of (r, c) times M(r, c) (0 outside M).
  void inPlaceHadamardProductWithMatrix(const Matrix& m);
  /// (r, c) becomes the complex product A(r, c) · B(r, c).
  void inPlaceHadamardProductWithComplexMatrix(const ComplexMatrix& b);

  friend bool operator==(const ComplexMatrix& a, const ComplexMatrix& b) {
    return a.m_nRows == b.m_nRows && a.m_nCols == b.m_nCols && a.m_storage == b.m_storage;
  }

 private:
  std::size_t m_nRows = 0;
  std::size_t m_nCols = 0;
  std::vector<XY, detail::AlignedAllocator<XY>> m_storage;
};

}  // namespace orb::foundation
