#include "rendering/ImageCreator.h"

#include <QColor>
#include <QRgba64>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <vector>

#include "foundation/linear/FFT.h"

namespace orb::rendering {

using foundation::ComplexMatrix;
using foundation::Matrix;

namespace {

constexpr double kBlueHue = 0.666;

struct Range {
  double lo = 0, hi = 0;
};

/// A colour component in [0, 1]; NaN (from NaN or infinite elements) reads as 0.
double unit(double x) { return std::isnan(x) ? 0.0 : std::clamp(x, 0.0, 1.0); }

/// Which element pixel (x, y) shows: the row index runs left to right, the column index
/// upward (y counts from the top), and fftOrder brings element (0, 0) to the centre.
class Layout {
 public:
  Layout(std::size_t nRows, std::size_t nCols, bool fftOrder)
      : m_rows(static_cast<int>(nRows)), m_cols(static_cast<int>(nCols)), m_fft(fftOrder) {}
  int width() const { return m_rows; }
  int height() const { return m_cols; }
  std::size_t row(int x) const { return static_cast<std::size_t>(m_fft ? foundation::fftShiftIndex(m_rows, x) : x); }
  std::size_t column(int y) const {
    const int j = m_cols - 1 - y;
    return static_cast<std::size_t>(m_fft ? foundation::fftShiftIndex(m_cols, j) : j);
  }

 private:
  int m_rows, m_cols;
  bool m_fft;
};

/// Calls f(x, y, row, column) for every pixel, in tiles: the image's rows run along the
/// matrix's columns, so a plain scan would stride through one of them.
template <class F>
void forEachPixel(const Layout& layout, F&& f) {
  constexpr int kTile = 64;
  const int w = layout.width(), h = layout.height();
  std::vector<std::size_t> rows, columns;
  for (int x = 0; x < w; ++x) rows.push_back(layout.row(x));
  for (int y = 0; y < h; ++y) columns.push_back(layout.column(y));
  for (int x0 = 0; x0 < w; x0 += kTile)
    for (int y0 = 0; y0 < h; y0 += kTile) {
      const int x1 = std::min(x0 + kTile, w), y1 = std::min(y0 + kTile, h);
      for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) f(x, y, rows[static_cast<std::size_t>(x)], columns[static_cast<std::size_t>(y)]);
    }
}

bool shown(const ImageMask* mask, std::size_t index) { return !mask || (index < mask->size() && (*mask)[index]); }

/// The range of the shown elements; NaN elements are left out. False colour starts from
/// the first shown element, grey from 0, so that its range always contains 0 (the first
/// element enters the range too: brightness never exceeds 1).
Range rangeOf(const Matrix& m, const ImageMask* mask, bool fromZero) {
  Range r;
  bool first = !fromZero;
  const double* v = m.rowMajorStorage();
  for (std::size_t i = 0, n = m.numberOfElements(); i < n; ++i) {
    if (!shown(mask, i) || std::isnan(v[i])) continue;
    if (first) {
      r.lo = r.hi = v[i];
      first = false;
    } else {
      r.lo = std::min(r.lo, v[i]);
      r.hi = std::max(r.hi, v[i]);
    }
  }
  return r;
}

/// A 16-bit image of the matrix; `colour` gives each shown element's colour, masked-out
/// elements get `hidden`.
template <class Colour>
QImage realImage(const Matrix& m, const ImageMask* mask, bool fftOrder, QRgba64 hidden, Colour colour) {
  const Layout layout(m.nRows(), m.nCols(), fftOrder);
  if (layout.width() == 0 || layout.height() == 0) return {};
  QImage image(layout.width(), layout.height(), QImage::Format_RGBA64);
  const std::size_t nCols = m.nCols();
  const double* v = m.rowMajorStorage();
  uchar* bits = image.bits();
  const auto stride = static_cast<std::size_t>(image.bytesPerLine());
  forEachPixel(layout, [&](int x, int y, std::size_t i, std::size_t j) {
    const std::size_t index = i * nCols + j;
    reinterpret_cast<QRgba64*>(bits + static_cast<std::size_t>(y) * stride)[x] =
        shown(mask, index) ? colour(v[index]) : hidden;
  });
  return image;
}

QImage falseColourImage(const Matrix& m, const ImageMask* mask, bool fftOrder, bool negative, Range r) {
  const double span = r.hi - r.lo;
  const QRgba64 black = QColor::fromHsvF(0, 0.5f, 0, 1).rgba64();
  return realImage(m, mask, fftOrder, black, [&](double v) {
    const double t = r.lo != r.hi ? (v - r.lo) * kBlueHue / span : 0.0;
    const double hue = unit(negative ? t : kBlueHue - t);
    return QColor::fromHsvF(static_cast<float>(hue), 0.5f, 1, 1).rgba64();
  });
}

QImage greyImage(const Matrix& m, const ImageMask* mask, bool fftOrder, bool negative, Range r) {
  const double span = r.hi - r.lo;
  const QRgba64 darkRed = QColor::fromHsvF(0, 0.5f, 0.1f, 1).rgba64();
  return realImage(m, mask, fftOrder, darkRed, [&](double v) {
    double b = r.lo != r.hi ? (v - r.lo) / span : 0.5;
    if (negative) b = 1 - b;
    // A grey of no saturation is its brightness on every channel (as the HSB colour would be).
    const auto level = static_cast<quint16>(unit(b) * 65535 + 0.5);
    return qRgba64(level, level, level, 65535);
  });
}

QImage complexImage(const ComplexMatrix& m, bool fftOrder) {
  const Layout layout(m.nRows(), m.nCols(), fftOrder);
  if (layout.width() == 0 || layout.height() == 0) return {};
  QImage image(layout.width(), layout.height(), QImage::Format_ARGB32);
  uchar* bits = image.bits();
  const auto stride = static_cast<std::size_t>(image.bytesPerLine());
  forEachPixel(layout, [&](int x, int y, std::size_t i, std::size_t j) {
    const auto z = m.at(i, j);
    double hue = std::atan2(z.y, z.x) / (2 * std::numbers::pi);
    if (hue < 0) hue += 1;
    // Magnitudes above 1 saturate fully rather than leave the colour's range.
    const double saturation = unit(std::sqrt(std::hypot(z.x, z.y)));
    reinterpret_cast<QRgb*>(bits + static_cast<std::size_t>(y) * stride)[x] =
        QColor::fromHsvF(static_cast<float>(unit(hue)), static_cast<float>(saturation), 1, 1).rgba();
  });
  return image;
}

Matrix ramp() {
  Matrix m(256, 1);
  for (std::size_t i = 0; i < 256; ++i) m.atPut(i, 0, static_cast<double>(i));
  return m;
}

QImage makeComplexKey() {
  ComplexMatrix m(128, 128);
  for (std::size_t i = 0; i < 128; ++i)
    for (std::size_t j = 0; j < 128; ++j)
      m.atPut(i, j, {-1 + static_cast<double>(i) / 64, -1 + static_cast<double>(j) / 64});
  return complexImage(m, false);
}

// The class family's range: shared by all its callers.
std::atomic<double> g_uMin{0}, g_uMax{0};

void setClassRange(Range r) {
  g_uMin.store(r.lo);
  g_uMax.store(r.hi);
}

}  // namespace

// --- VKImageCreator ---------------------------------------------------------------------------

QImage VKImageCreator::imageFromMatrix(const Matrix& matrix, const ImageMask* mask, bool fftOrder, bool negative) {
  const Range r = rangeOf(matrix, mask, false);
  m_uMin = r.lo;
  m_uMax = r.hi;
  return falseColourImage(matrix, mask, fftOrder, negative, r);
}

QImage VKImageCreator::grayImageFromMatrix(const Matrix& matrix, const ImageMask* mask, bool fftOrder, bool negative) {
  const Range r = rangeOf(matrix, mask, true);
  m_uMin = r.lo;
  m_uMax = r.hi;
  return greyImage(matrix, mask, fftOrder, negative, r);
}

QImage VKImageCreator::imageFromComplexMatrix(const ComplexMatrix& matrix, bool fftOrder) const {
  return complexImage(matrix, fftOrder);
}

QImage VKImageCreator::hueReferenceImageNegative(bool negative) {
  return imageFromMatrix(ramp(), nullptr, false, negative);
}

QImage VKImageCreator::grayReferenceImageNegative(bool negative) {
  return grayImageFromMatrix(ramp(), nullptr, false, negative);
}

QImage VKImageCreator::complexReferenceImage() const {
  static const QImage key = makeComplexKey();  // made once, by whichever thread asks first
  return key;
}

// --- VKImageCreation ----------------------------------------------------------------------------

double VKImageCreation::uMin() { return g_uMin.load(); }
double VKImageCreation::uMax() { return g_uMax.load(); }

QImage VKImageCreation::imageFromMatrix(const Matrix& matrix, const ImageMask* mask, bool fftOrder, bool negative) {
  const Range r = rangeOf(matrix, mask, false);
  setClassRange(r);
  return falseColourImage(matrix, mask, fftOrder, negative, r);
}

QImage VKImageCreation::grayImageFromMatrix(const Matrix& matrix, const ImageMask* mask, bool fftOrder,
                                            bool negative) {
  const Range r = rangeOf(matrix, mask, true);
  setClassRange(r);
  return greyImage(matrix, mask, fftOrder, negative, r);
}

QImage VKImageCreation::imageFromComplexMatrix(const ComplexMatrix& matrix, bool fftOrder) {
  return complexImage(matrix, fftOrder);
}

QImage VKImageCreation::hueReferenceImageNegative(bool negative) {
  return imageFromMatrix(ramp(), nullptr, false, negative);
}

QImage VKImageCreation::grayReferenceImageNegative(bool negative) {
  return grayImageFromMatrix(ramp(), nullptr, false, negative);
}

QImage VKImageCreation::complexReferenceImage() {
  static const QImage key = makeComplexKey();
  return key;
}

}  // namespace orb::rendering
