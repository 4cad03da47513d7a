#pragma once

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/linear/Matrix.h"
#include "foundation/linear/VKSeries.h"
#include "foundation/objects/XY.h"
#include "wavefront_illumination/OTFCalculator.h"

namespace orb::wavefront {

/// What the point-spread image shows, made headless for the views to paint: the field
/// centred (zero displacement in the middle), its square root under image enhancement,
/// how to colour it, and the geometry of the Airy circle and ray marks drawn over it.
struct PSFImage {
  foundation::Matrix values;  ///< centred order; row 0 is the most negative displacement
  bool falseColor = false;
  bool negative = false;
  /// Size of the drawn image in pixels: the field's size, or the resample width when an
  /// overlay or resampling is asked for and it is larger.
  int width = 0, height = 0;
  /// Pixels per field element (f ≥ 1) and per millimetre (or radian) of the image plane.
  double pixelsPerElement = 1, pixelsPerMillimetre = 0;
  /// Where zero displacement lands, in pixels from the image's corner (both axes).
  double origin = 0;
  std::optional<double> airyDiskRadius;         ///< mm, when the Airy disk is drawn
  std::vector<foundation::XY> rayPositions;     ///< mm, when the rays are drawn
};

/// The base of the point-spread analyses (FFT diffraction and Huygens): the current
/// intensity field, a square real matrix in FFT order (element (0, 0) zero displacement,
/// the upper half of each axis the negative displacements), a cache of fields by field
/// and wave, the point-spread image and its display options, the line-spread curves cut
/// from a cached field, and the text export of the field. It computes no field itself.
///
/// The field's pitch is screenDeltaMM / imageRescaleFactor, screenDeltaMM = 1 / the
/// diffraction cut-off (λN for a focal system). Subclasses store a new field with
/// setIntensityField (the image and the export read it under the calculator's lock).
class PSFCalculator : public OTFCalculator {
 public:
  using FieldMatrix = std::shared_ptr<const foundation::Matrix>;

  PSFCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "PSFCalculator"; }

  // --- the field and its cache ---------------------------------------------------------------------
  FieldMatrix intensityField() const;
  void setIntensityField(FieldMatrix field);
  /// "<field short description>;<wave description>", "(null)" for no wave.
  static std::string keyForField(const lens::Field& field, const lens::Wave* wave);
  /// Keeps the current field under the key; nothing without a current field.
  void cacheIntensityFieldForField(const lens::Field& field, const lens::Wave* wave);
  FieldMatrix retreiveIntensityFieldForField(const lens::Field& field, const lens::Wave* wave) const;
  void clearIntensityFieldCache();

  virtual double screenDeltaMM() const { return 1 / diffractionLimitSpatialFrequency(); }
  /// Pixels per screenDeltaMM step of a subclass's finer field.
  virtual double imageRescaleFactor() const { return 1.0; }
  /// The field's pitch along rows (direction 0, x) or columns (nonzero, y), in millimetres
  /// (radians afocal) and in user units: screenDeltaMM / imageRescaleFactor unless the
  /// field's own sampling says otherwise (another wavelength, an oblique field).
  virtual double fieldPitchMM(int direction) const;
  virtual double fieldPitchInUserUnits(int direction) const;

  // --- display options ------------------------------------------------------------------------------
  bool useImageEnhancement() const { return m_useImageEnhancement.load(); }
  void setUseImageEnhancement(bool on);
  bool useFalseColor() const { return m_useFalseColor.load(); }
  void setUseFalseColor(bool on);
  bool useNegativeImage() const { return m_useNegativeImage.load(); }
  void setUseNegativeImage(bool on);
  bool drawsAiryDisk() const { return m_drawsAiryDisk.load(); }
  void setDrawsAiryDisk(bool on);
  bool resampleImage() const { return m_resampleImage.load(); }
  void setResampleImage(bool on);
  bool drawRays() const { return m_drawRays.load(); }
  void setDrawRays(bool on);
  int resampleImageWidth() const { return m_resampleImageWidth.load(); }
  void setResampleImageWidth(int width);
  bool resampleCurves() const { return m_resampleCurves.load(); }
  void setResampleCurves(bool on);
  bool plotOTF() const { return m_plotOTF.load(); }
  void setPlotOTF(bool on);
  bool plotDisplacementDataRange() const { return m_plotDisplacementDataRange.load(); }
  void setPlotDisplacementDataRange(bool on);
  double maximumDisplacement() const { return m_maximumDisplacement.load(); }
  void setMaximumDisplacement(double displacement);

  // --- image, curves, export ---------------------------------------------------------------------------
  /// The image of the current field with the display options; none without a field.
  std::optional<PSFImage> makeImageOfPSF() const;
  /// The last published image (main thread; announced as "imageOfPSF").
  const std::optional<PSFImage>& imageOfPSF() const { return m_imageOfPSF; }
  /// Makes the image and hands it to the main thread; leaves the old one without a field.
  void generateImageOfPSF();
  /// The line-spread curve of the cached field (direction nonzero: column sums, y), from
  /// the most negative displacement to the most positive, peak 1. None when nothing is
  /// cached; a field whose line sums are all zero is left unscaled and `problem` says so.
  std::optional<platform::Array> extractLSFCurvesForDirection(int direction, const FieldPtr& field,
                                                              const WavePtr& wave, std::string* problem = nullptr);
  /// The field centred, one line per row of "%e" numbers separated by blanks; false
  /// (nothing written) without a field.
  bool exportToFile(std::FILE* file) override;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  void willDeallocate() override;
  /// What exportToFile writes of a field.
  static void writeField(std::FILE* file, const foundation::Matrix& field);
  /// One section of a field as a plot curve: x (direction 0) dashed, y solid, named by the
  /// field (and wave), layered by wave when one field is of interest.
  platform::Dictionary sectionCurveWithSeries(foundation::VKSeries x, foundation::VKSeries y, const FieldPtr& field,
                                    const WavePtr& wave, int direction, const char* yLabel) const;

 private:
  void setImageFlag(const char* key, std::atomic<bool>& member, bool on);

  FieldMatrix m_intensityField;                 // under the calculator's own lock
  std::map<std::string, FieldMatrix> m_cache;   // the same
  std::optional<PSFImage> m_imageOfPSF;         // main thread
  /// The values of the last replaced image, storage for the next one.
  mutable std::mutex m_imageSpareMutex;
  mutable std::optional<foundation::Matrix> m_imageSpare;
  std::atomic<bool> m_useImageEnhancement{false}, m_useFalseColor{false}, m_useNegativeImage{false},
      m_drawsAiryDisk{false}, m_resampleImage{false}, m_drawRays{false};
  std::atomic<int> m_resampleImageWidth{128};
  std::atomic<bool> m_resampleCurves{false}, m_plotOTF{false}, m_plotDisplacementDataRange{false};
  std::atomic<double> m_maximumDisplacement{0};
};

}  // namespace orb::wavefront
