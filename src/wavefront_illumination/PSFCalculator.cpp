#include "wavefront_illumination/PSFCalculator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "analysis/PlotDictionary.h"
#include "foundation/linear/FFT.h"
#include "foundation/polynomial/Resampler.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/ParaxialMeasurement.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::Matrix;
using foundation::VKSeries;
using platform::Array;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

namespace {

// to[k] = from[k] (with `root` its square root, negative values 0) for k < n. The image
// is far larger than the caches and is not read again here: stores that bypass the caches
// save reading every line before it is written; the pass ends with a store fence.
void copyRun(double* to, const double* from, std::size_t n, bool root) {
  std::size_t k = 0;
#if defined(__SSE2__)
  if (reinterpret_cast<std::uintptr_t>(to) % 16 == 0) {
    const __m128d zero = _mm_setzero_pd();
    for (; k + 2 <= n; k += 2) {
      const __m128d v = _mm_loadu_pd(from + k);
      // max(0, v) answers v when v is NaN or a zero, as std::max(v, 0.0) does.
      _mm_stream_pd(to + k, root ? _mm_sqrt_pd(_mm_max_pd(zero, v)) : v);
    }
  }
#endif
  for (; k < n; ++k) to[k] = root ? std::sqrt(std::max(from[k], 0.0)) : from[k];
}

// The field in centred order into `out` (the field's size): zero displacement in the
// middle, the most negative first; with `root` the square root of each value (negative
// ones 0). Rows go over the cores: for a 2048² field this pass is a whole-field copy.
void centredInto(const Matrix& m, Matrix& out, bool root) {
  const int rows = static_cast<int>(m.nRows()), cols = static_cast<int>(m.nCols());
  // Row by row in two runs: the row's upper half (from ⌈cols/2⌉) first, then its lower.
  const std::size_t n = m.nCols(), half = static_cast<std::size_t>(cols / 2), upper = n - half;
  const double* in = m.rowMajorStorage();
  double* o = out.rowMajorStorage();
  tbb::parallel_for(tbb::blocked_range<int>(0, rows, 16), [&](const tbb::blocked_range<int>& range) {
    for (int r = range.begin(); r != range.end(); ++r) {
      const double* from = in + static_cast<std::size_t>(foundation::fftShiftIndex(rows, r)) * n;
      double* to = o + static_cast<std::size_t>(r) * n;
      copyRun(to, from + upper, half, root);
      copyRun(to + half, from, upper, root);
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
  });
}

// The field's column sums (the first dimension summed) or row sums, as Matrix's
// sumAlong…AsSeries make them, each sum in the same order, over the cores; the column
// sums go a row at a time through blocks of columns instead of down each column.
VKSeries lineSums(const Matrix& m, bool columns) {
  const std::size_t rows = m.nRows(), cols = m.nCols();
  const double* v = m.rowMajorStorage();
  std::vector<double> sums(columns ? cols : rows, 0.0);
  if (columns) {
    constexpr std::size_t kBlock = 256;
    tbb::parallel_for(tbb::blocked_range<std::size_t>(0, (cols + kBlock - 1) / kBlock),
                      [&](const tbb::blocked_range<std::size_t>& range) {
                        for (std::size_t b = range.begin(); b != range.end(); ++b) {
                          const std::size_t c0 = b * kBlock, c1 = std::min(cols, c0 + kBlock);
                          double* s = sums.data();
                          for (std::size_t r = 0; r < rows; ++r) {
                            const double* row = v + r * cols;
                            for (std::size_t c = c0; c < c1; ++c) s[c] += row[c];
                          }
                        }
                      });
  } else {
    tbb::parallel_for(tbb::blocked_range<std::size_t>(0, rows, 16), [&](const tbb::blocked_range<std::size_t>& range) {
      for (std::size_t r = range.begin(); r != range.end(); ++r) {
        double sum = 0;
        for (std::size_t c = 0; c < cols; ++c) sum += v[r * cols + c];
        sums[r] = sum;
      }
    });
  }
  VKSeries out(sums.size());
  for (std::size_t k = 0; k < sums.size(); ++k) out.atPut(k, sums[k]);
  return out;
}

Matrix centred(const Matrix& m) {
  Matrix out(m.nRows(), m.nCols());
  centredInto(m, out, false);
  return out;
}

}  // namespace

PSFCalculator::PSFCalculator() { setResampleImageWidth(128); }

const platform::KeyTable& PSFCalculator::classKeys() {
  using K = platform::Keys<PSFCalculator>;
  using P = PSFCalculator;
  static const platform::KeyTable table(
      &OTFCalculator::classKeys(),
      {
          K::property("useImageEnhancement", &P::useImageEnhancement, &P::setUseImageEnhancement),
          K::property("useFalseColor", &P::useFalseColor, &P::setUseFalseColor),
          K::property("useNegativeImage", &P::useNegativeImage, &P::setUseNegativeImage),
          K::property("drawsAiryDisk", &P::drawsAiryDisk, &P::setDrawsAiryDisk),
          K::property("resampleImage", &P::resampleImage, &P::setResampleImage),
          K::property("drawRays", &P::drawRays, &P::setDrawRays),
          K::property("resampleImageWidth", &P::resampleImageWidth, &P::setResampleImageWidth),
          K::property("resampleCurves", &P::resampleCurves, &P::setResampleCurves),
          K::property("plotOTF", &P::plotOTF, &P::setPlotOTF),
          K::property("plotDisplacementDataRange", &P::plotDisplacementDataRange, &P::setPlotDisplacementDataRange),
          K::property("maximumDisplacement", &P::maximumDisplacement, &P::setMaximumDisplacement),
      });
  return table;
}

void PSFCalculator::willDeallocate() {
  {
    platform::Synchronized lock(this);
    m_cache.clear();
    m_intensityField.reset();
  }
  m_imageOfPSF.reset();
  {
    std::lock_guard<std::mutex> lock(m_imageSpareMutex);
    m_imageSpare.reset();
  }
  OTFCalculator::willDeallocate();
}

// --- the field and its cache ----------------------------------------------------------------------------

PSFCalculator::FieldMatrix PSFCalculator::intensityField() const {
  platform::Synchronized lock(this);
  return m_intensityField;
}

void PSFCalculator::setIntensityField(FieldMatrix field) {
  platform::Synchronized lock(this);
  m_intensityField = std::move(field);
}

std::string PSFCalculator::keyForField(const lens::Field& field, const lens::Wave* wave) {
  return field.shortDescription() + ";" + (wave ? wave->description() : std::string("(null)"));
}

void PSFCalculator::cacheIntensityFieldForField(const lens::Field& field, const lens::Wave* wave) {
  platform::Synchronized lock(this);
  if (m_intensityField) m_cache[keyForField(field, wave)] = m_intensityField;
}

PSFCalculator::FieldMatrix PSFCalculator::retreiveIntensityFieldForField(const lens::Field& field,
                                                                        const lens::Wave* wave) const {
  platform::Synchronized lock(this);
  const auto it = m_cache.find(keyForField(field, wave));
  return it == m_cache.end() ? nullptr : it->second;
}

void PSFCalculator::clearIntensityFieldCache() {
  platform::Synchronized lock(this);
  m_cache.clear();
}

// --- display options --------------------------------------------------------------------------------------

void PSFCalculator::setImageFlag(const char* key, std::atomic<bool>& member, bool on) {
  setAndAnnounce(key, member, on);
  generateImageOfPSF();
}
void PSFCalculator::setUseImageEnhancement(bool on) { setImageFlag("useImageEnhancement", m_useImageEnhancement, on); }
void PSFCalculator::setUseFalseColor(bool on) { setImageFlag("useFalseColor", m_useFalseColor, on); }
void PSFCalculator::setUseNegativeImage(bool on) { setImageFlag("useNegativeImage", m_useNegativeImage, on); }
void PSFCalculator::setDrawsAiryDisk(bool on) { setImageFlag("drawsAiryDisk", m_drawsAiryDisk, on); }
void PSFCalculator::setResampleImage(bool on) { setImageFlag("resampleImage", m_resampleImage, on); }
void PSFCalculator::setDrawRays(bool on) { setImageFlag("drawRays", m_drawRays, on); }
void PSFCalculator::setResampleImageWidth(int width) {
  setAndAnnounce("resampleImageWidth", m_resampleImageWidth, width);
  generateImageOfPSF();
}
void PSFCalculator::setResampleCurves(bool on) { setForCurves("resampleCurves", m_resampleCurves, on); }
void PSFCalculator::setPlotOTF(bool on) { setForCurves("plotOTF", m_plotOTF, on); }
void PSFCalculator::setPlotDisplacementDataRange(bool on) {
  setForCurves("plotDisplacementDataRange", m_plotDisplacementDataRange, on);
}
void PSFCalculator::setMaximumDisplacement(double displacement) {
  setForCurves("maximumDisplacement", m_maximumDisplacement, displacement);
}

// --- image ---------------------------------------------------------------------------------------------------

std::optional<PSFImage> PSFCalculator::makeImageOfPSF() const {
  const FieldMatrix field = intensityField();
  if (!field) return std::nullopt;
  PSFImage image;
  const int n = static_cast<int>(field->nRows());
  // The storage of an image the views no longer show, when it fits: every element is
  // written, and fresh pages of a 2048² image cost more than the copy itself.
  {
    std::lock_guard<std::mutex> lock(m_imageSpareMutex);
    if (m_imageSpare && m_imageSpare->nRows() == field->nRows() && m_imageSpare->nCols() == field->nCols()) {
      image.values = std::move(*m_imageSpare);
      m_imageSpare.reset();
    }
  }
  if (image.values.nRows() != field->nRows() || image.values.nCols() != field->nCols())
    image.values = Matrix(field->nRows(), field->nCols());
  centredInto(*field, image.values, useImageEnhancement());
  image.falseColor = useFalseColor();
  image.negative = useNegativeImage();
  image.width = static_cast<int>(field->nCols());
  image.height = n;
  const bool airy = drawsAiryDisk(), rays = drawRays();
  // The width applies whenever anything is drawn over the field, not only on resampling,
  // so that the overlay is drawn finer than the field's pixels.
  if (resampleImage() || airy || rays) {
    const int w = resampleImageWidth();
    if (w > image.width) {
      image.pixelsPerElement = static_cast<double>(static_cast<float>(w) / static_cast<float>(image.width));
      image.width = image.height = w;
    }
  }
  const double f = image.pixelsPerElement;
  image.pixelsPerMillimetre = f / fieldPitchMM(0);
  image.origin = image.width / 2.0 + (n % 2 == 0 ? 0.5 * f : 0.0);
  const analysis::LensPtr l = lens();
  if (airy && l) {
    platform::Synchronized lensLock(l.get());
    image.airyDiskRadius = tracing::airyDiskRadius(*l);
  }
  if (rays)
    if (const BundlePtr traced = tracedBundle())
      for (std::size_t i = 0; i < traced->rays.size(); ++i)
        if (traced->rays.alive[i]) image.rayPositions.push_back({traced->rays.qx[i], traced->rays.qy[i]});
  return image;
}

void PSFCalculator::generateImageOfPSF() {
  auto image = makeImageOfPSF();
  if (!image) return;
  auto publish = [this, image = std::move(*image)]() mutable {
    std::optional<PSFImage> replaced;
    changeValueForKey("imageOfPSF", [&] {
      replaced = std::move(m_imageOfPSF);
      m_imageOfPSF = std::move(image);
    });
    // The replaced image's storage serves the next one.
    if (replaced && replaced->values.numberOfElements() > 0) {
      std::lock_guard<std::mutex> lock(m_imageSpareMutex);
      m_imageSpare = std::move(replaced->values);
    }
  };
  if (platform::isMainThread())
    publish();
  else
    performOnMainThreadForRun(std::move(publish));
}

// --- line spread ---------------------------------------------------------------------------------------------

double PSFCalculator::fieldPitchMM(int) const { return screenDeltaMM() / imageRescaleFactor(); }
double PSFCalculator::fieldPitchInUserUnits(int) const { return deltaInUserUnits() / imageRescaleFactor(); }

std::optional<Array> PSFCalculator::extractLSFCurvesForDirection(int d, const FieldPtr& field, const WavePtr& wave,
                                                                 std::string* problem) {
  if (!field) return std::nullopt;
  const FieldMatrix m = retreiveIntensityFieldForField(*field, wave.get());
  if (!m) return std::nullopt;
  const VKSeries sums = lineSums(*m, d != 0);
  const int n = static_cast<int>(sums.count());
  const double delta = fieldPitchInUserUnits(d);
  VKSeries x(sums.count()), y(sums.count());
  for (int k = 0; k < n; ++k) {
    const auto p = static_cast<std::size_t>(foundation::fftUnshiftIndex(n, k));
    x.atPut(p, foundation::fftSignedFrequency(n, k) * delta);
    y.atPut(p, sums.at(static_cast<std::size_t>(k)));
  }
  if (plotDisplacementDataRange()) setAndAnnounce("maximumDisplacement", m_maximumDisplacement, delta * n * 0.5);
  if (resampleCurves() && n >= 2) {
    auto r = foundation::Resampler::resample(x, y);
    x = std::move(r.x);
    y = std::move(r.y);
  }
  const double peak = y.count() ? y.max() : 0.0;
  if (peak > 0 && std::isfinite(peak))
    y.scaleBy(1 / peak);
  else if (problem)
    *problem = "Field " + field->shortDescription() + ": the point-spread function is zero; its line spread is not scaled";

  return Array{Value(sectionCurveWithSeries(std::move(x), std::move(y), field, wave, d, "LSF"))};
}

Dictionary PSFCalculator::sectionCurveWithSeries(foundation::VKSeries x, foundation::VKSeries y, const FieldPtr& field,
                                      const WavePtr& wave, int direction, const char* yLabel) const {
  const std::string base =
      wave ? field->shortDescription() + " " + wave->wavelengthShortString() : field->shortDescription();
  const bool byWave = fieldsOfInterest().size() < 2 && wave;
  Dictionary c{{plot::kXSeries, SeriesValue::make(std::move(x))},
               {plot::kYSeries, SeriesValue::make(std::move(y))},
               {plot::kLineWidth, 2.0},
               {plot::kField, Value(field)},
               {plot::kLayer, Value(byWave ? wave->description() : field->description())},
               {plot::kName, base + (direction ? " (y)" : " (x)")},
               {plot::kYLabel, yLabel},
               {plot::kUpdateColor, true}};
  if (wave) c.set(Value(plot::kWave), Value(wave));
  if (!direction) c.set(Value(plot::kDashed), true);
  c.set(Value(plot::kColor), Value(colorForDictionary(c)));
  return c;
}

// --- export ---------------------------------------------------------------------------------------------------

bool PSFCalculator::exportToFile(std::FILE* file) {
  if (!file) return false;
  platform::Synchronized lock(this);
  if (!m_intensityField) return false;
  writeField(file, *m_intensityField);
  return true;
}

void PSFCalculator::writeField(std::FILE* file, const Matrix& field) {
  const Matrix out = centred(field);
  for (std::size_t r = 0; r < out.nRows(); ++r) {
    for (std::size_t c = 0; c < out.nCols(); ++c) std::fprintf(file, c ? " %e" : "%e", out.at(r, c));
    std::fputc('\n', file);
  }
}

void PSFCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  OTFCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"plotDisplacementDataRange", "useImageEnhancement", "useFalseColor", "useNegativeImage",
                          "drawsAiryDisk", "resampleImage", "resampleImageWidth", "drawRays", "resampleCurves",
                          "plotOTF", "maximumDisplacement"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::wavefront
