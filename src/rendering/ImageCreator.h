#pragma once

#include <QImage>

#include <vector>

#include "foundation/linear/ComplexMatrix.h"
#include "foundation/linear/Matrix.h"

namespace orb::rendering {

/// Which elements of a matrix an image shows: one entry per element in row-major order
/// (row · nCols + column). Entries missing at the end of a short mask count as not shown.
using ImageMask = std::vector<bool>;

/// Makes images of matrices: real ones in false colour (blue for the minimum to red for the
/// maximum) or grey, complex ones with the phase as hue and the magnitude as saturation,
/// and the colour keys that go with them.
///
/// The image is nRows pixels wide and nCols high: the row index runs left to right and the
/// column index upward. With fftOrder the element read is shifted on both axes so that the
/// zero-frequency element (0, 0) lands at the centre. Real images are 16 bits per sample
/// (RGBA64), complex ones 8 (ARGB32).
///
/// One creator belongs to one analysis and is used by one thread at a time; it keeps the
/// value range of its latest real image (or key), which labels the key.
class VKImageCreator {
 public:
  /// The range of the latest real image; both 0 before the first.
  double uMin() const { return m_uMin; }
  double uMax() const { return m_uMax; }

  /// False colour over the range of the shown elements (masked-out ones are black);
  /// `negative` swaps the ends (maximum blue). A constant matrix is all blue.
  QImage imageFromMatrix(const foundation::Matrix& matrix, const ImageMask* mask = nullptr, bool fftOrder = false,
                         bool negative = false);
  /// Grey over a range that always contains 0 (the darkest level is 0, not the minimum);
  /// masked-out elements are a dark red so that they stand apart from black.
  QImage grayImageFromMatrix(const foundation::Matrix& matrix, const ImageMask* mask = nullptr, bool fftOrder = false,
                             bool negative = false);
  /// Hue from the phase, saturation the square root of the magnitude (magnitudes are
  /// expected in 0 … 1; larger ones saturate). The range is left as it is.
  QImage imageFromComplexMatrix(const foundation::ComplexMatrix& matrix, bool fftOrder = false) const;

  /// The false-colour key: a 256 × 1 strip of the ramp 0 … 255 (blue to red, or red to
  /// blue). Leaves the range at 0 … 255, so read the data image's range before asking.
  QImage hueReferenceImageNegative(bool negative);
  /// The grey key, likewise.
  QImage grayReferenceImageNegative(bool negative);
  /// The complex key: real parts −1 … 63/64 left to right, imaginary parts upward, in
  /// steps of 1/64. Made once per process and shared.
  QImage complexReferenceImage() const;

 private:
  double m_uMin = 0, m_uMax = 0;
};

/// The same images with one process-wide range, for callers that keep no creator. The
/// range is shared by every caller, so only one thread should make real images through it.
class VKImageCreation {
 public:
  static double uMin();
  static double uMax();
  static QImage imageFromMatrix(const foundation::Matrix& matrix, const ImageMask* mask = nullptr,
                                bool fftOrder = false, bool negative = false);
  static QImage grayImageFromMatrix(const foundation::Matrix& matrix, const ImageMask* mask = nullptr,
                                    bool fftOrder = false, bool negative = false);
  static QImage imageFromComplexMatrix(const foundation::ComplexMatrix& matrix, bool fftOrder = false);
  static QImage hueReferenceImageNegative(bool negative);
  static QImage grayReferenceImageNegative(bool negative);
  /// Made once per process (its own copy, apart from VKImageCreator's).
  static QImage complexReferenceImage();
};

}  // namespace orb::rendering
