#include "wavefront_illumination/IntensityCalculator.h"

#include <algorithm>
#include <cmath>

#include "foundation/linear/ComplexMatrix.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"

namespace orb::wavefront {

using foundation::ComplexMatrix;
using foundation::Matrix;
using platform::Dictionary;
using platform::Value;

const platform::KeyTable& IntensityCalculator::classKeys() {
  using K = platform::Keys<IntensityCalculator>;
  using I = IntensityCalculator;
  static const platform::KeyTable table(
      &RaysAtSurfaceCalculator::classKeys(),
      {
          K::property("useImageEnhancement", &I::useImageEnhancement, &I::setUseImageEnhancement),
          K::property("useFalseColor", &I::useFalseColor, &I::setUseFalseColor),
          K::property("useNegativeImage", &I::useNegativeImage, &I::setUseNegativeImage),
          K::property("drawsAiryDisk", &I::drawsAiryDisk, &I::setDrawsAiryDisk),
          K::property("resampleImage", &I::resampleImage, &I::setResampleImage),
          K::property("drawRays", &I::drawRays, &I::setDrawRays),
          K::property("resampleImageWidth", &I::resampleImageWidth, &I::setResampleImageWidth),
          K::property("resampleCurves", &I::resampleCurves, &I::setResampleCurves),
          K::property("blurEnabled", &I::blurEnabled, &I::setBlurEnabled),
          K::property("blur", &I::blur, &I::setBlur),
          K::getter("intensitySum", &I::intensitySum).dependsOn({"intensityField"}),
      });
  return table;
}

void IntensityCalculator::willDeallocate() {
  {
    platform::Synchronized lock(this);
    m_intensityField.reset();
  }
  m_image.reset();
  RaysAtSurfaceCalculator::willDeallocate();
}

// --- the field ---------------------------------------------------------------------------------

IntensityCalculator::FieldMatrix IntensityCalculator::intensityField() const {
  platform::Synchronized lock(this);
  return m_intensityField;
}

void IntensityCalculator::setIntensityField(FieldMatrix field) {
  changeValueForKey("intensityField", [&] {
    platform::Synchronized lock(this);
    m_intensityField = std::move(field);
  });
}

double IntensityCalculator::intensitySum() const {
  const FieldMatrix field = intensityField();
  return field ? field->elementSum() : 0.0;
}

// --- display options ---------------------------------------------------------------------------

void IntensityCalculator::setImageFlag(const char* key, std::atomic<bool>& member, bool on) {
  setAndAnnounce(key, member, on);
  generateImageOfIntensityField();
}
void IntensityCalculator::setUseImageEnhancement(bool on) {
  setImageFlag("useImageEnhancement", m_useImageEnhancement, on);
}
void IntensityCalculator::setUseFalseColor(bool on) { setImageFlag("useFalseColor", m_useFalseColor, on); }
void IntensityCalculator::setUseNegativeImage(bool on) { setImageFlag("useNegativeImage", m_useNegativeImage, on); }
void IntensityCalculator::setDrawsAiryDisk(bool on) { setImageFlag("drawsAiryDisk", m_drawsAiryDisk, on); }
void IntensityCalculator::setResampleImage(bool on) { setImageFlag("resampleImage", m_resampleImage, on); }
void IntensityCalculator::setDrawRays(bool on) { setImageFlag("drawRays", m_drawRays, on); }
void IntensityCalculator::setResampleImageWidth(int width) {
  setAndAnnounce("resampleImageWidth", m_resampleImageWidth, width);
  generateImageOfIntensityField();
}
void IntensityCalculator::setResampleCurves(bool on) {
  storeResampleCurves(on);
  setNeedsGenerateCurves(true);
}
void IntensityCalculator::setBlurEnabled(bool on) {
  setAndAnnounce("blurEnabled", m_blurEnabled, on);
  setNeedsGenerateCurves(true);
}
void IntensityCalculator::setBlur(double blur) {
  // NaN fails the comparison too and becomes 0.
  setAndAnnounce("blur", m_blur, blur >= 1e-10 ? blur : 0.0);
  setNeedsGenerateCurves(true);
}

// --- blur ------------------------------------------------------------------------------------------

Matrix IntensityCalculator::blurredVersionOfIntensityField(const Matrix& field) const {
  const double b = blur();
  if (!(b > 0) || field.numberOfElements() == 0) return field;
  ComplexMatrix padded = ComplexMatrix::paddedWithMatrix(field);
  const std::size_t rows = padded.nRows(), cols = padded.nCols();
  // The kernel centred on element (0, 0), wrapping round the edges.
  auto signedIndex = [](std::size_t k, std::size_t n) {
    return k < n / 2 ? static_cast<double>(k) : static_cast<double>(k) - static_cast<double>(n);
  };
  ComplexMatrix kernel(rows, cols);
  foundation::XY* k = kernel.rowMajorStorage();
  for (std::size_t i = 0; i < rows; ++i) {
    const double si = signedIndex(i, rows) / b;
    for (std::size_t j = 0; j < cols; ++j) {
      const double sj = signedIndex(j, cols) / b;
      k[i * cols + j] = {std::exp(-(si * si + sj * sj)), 0};
    }
  }
  kernel.inPlaceFFT();
  // Zero frequency 1: the convolution keeps the total power. The kernel's sum is at
  // least its centre element, 1, so this never divides by zero.
  kernel.scaleByReal(1 / kernel.at(0, 0).x);
  padded.inPlaceFFT();
  padded.inPlaceHadamardProductWithComplexMatrix(kernel);
  padded.inPlaceInverseFFT();
  return Matrix::matrixWithMatrix(padded.re(), field.nRows(), field.nCols());
}

// --- image and export ------------------------------------------------------------------------------

std::optional<IntensityImage> IntensityCalculator::makeImageOfIntensityField() const {
  IntensityImage image;
  {
    platform::Synchronized lock(this);
    if (!m_intensityField) return std::nullopt;
    image.values = *m_intensityField;
  }
  if (useImageEnhancement()) {
    // Blurred counts can come out a rounding error below zero.
    double* v = image.values.rowMajorStorage();
    for (std::size_t i = 0; i < image.values.numberOfElements(); ++i) v[i] = std::sqrt(std::max(v[i], 0.0));
  }
  image.falseColor = useFalseColor();
  image.negative = useNegativeImage();
  return image;
}

void IntensityCalculator::generateImageOfIntensityField() {
  auto image = makeImageOfIntensityField();
  if (!image) return;
  auto publish = [this, image = std::move(*image)]() mutable {
    changeValueForKey("imageOfIntensityField", [&] { m_image = std::move(image); });
  };
  if (platform::isMainThread())
    publish();
  else
    performOnMainThreadForRun(std::move(publish));
}

bool IntensityCalculator::exportToFile(std::FILE* file) {
  if (!file) return false;
  platform::Synchronized lock(this);
  if (!m_intensityField) return false;
  const Matrix& m = *m_intensityField;
  for (std::size_t r = 0; r < m.nRows(); ++r) {
    for (std::size_t c = 0; c < m.nCols(); ++c) std::fprintf(file, c ? " %e" : "%e", m.at(r, c));
    std::fputc('\n', file);
  }
  return true;
}

void IntensityCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysAtSurfaceCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"useImageEnhancement", "useFalseColor", "useNegativeImage", "drawsAiryDisk", "resampleImage",
                          "resampleImageWidth", "drawRays", "resampleCurves", "blurEnabled", "blur"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::wavefront
