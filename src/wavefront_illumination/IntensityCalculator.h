#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "analysis/RaysAtSurfaceCalculator.h"
#include "foundation/linear/Matrix.h"

namespace orb::wavefront {

/// What the irradiance image shows, made headless for the views to paint: the field in
/// natural order (element (0, 0) the first row and column of the screen), its square
/// root under image enhancement, and how to colour it.
struct IntensityImage {
  foundation::Matrix values;
  bool falseColor = false;
  bool negative = false;
};

/// The base of the analyses that show an irradiance field at a surface: the field (a
/// real matrix in natural order), its image and display options, an optional Gaussian
/// blur that keeps the total power, the total power itself and a plain-text export. It
/// computes no field: a subclass computes one in its curve stage, passes it through
/// `blurredVersionOfIntensityField` when the blur is on, installs it with
/// `setIntensityField` and refreshes the image with `generateImageOfIntensityField`.
///
/// The field sits behind the calculator's own lock (platform::Synchronized(this)); the
/// image maker and the export copy or read it under that lock.
///
/// Keys: "useImageEnhancement", "useFalseColor", "useNegativeImage", "drawsAiryDisk",
/// "resampleImage", "drawRays", "resampleImageWidth" (each makes the image again),
/// "resampleCurves", "blurEnabled", "blur" (new curves), "intensitySum" (depends on
/// "intensityField"), all but the last persisted.
class IntensityCalculator : public analysis::RaysAtSurfaceCalculator {
 public:
  using FieldMatrix = std::shared_ptr<const foundation::Matrix>;

  IntensityCalculator() = default;

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "IntensityCalculator"; }

  // --- the field --------------------------------------------------------------------------
  FieldMatrix intensityField() const;
  /// Stores the field and announces "intensityField" (and "intensitySum").
  void setIntensityField(FieldMatrix field);
  /// The sum of every element of the field; 0 without one.
  virtual double intensitySum() const;
  virtual double imageRescaleFactor() const { return 1.0; }

  // --- display options ----------------------------------------------------------------------
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
  /// The subclass's curves read it; here it only asks for new curves.
  virtual void setResampleCurves(bool on);

  // --- blur ------------------------------------------------------------------------------------
  bool blurEnabled() const { return m_blurEnabled.load(); }
  void setBlurEnabled(bool on);
  /// In matrix elements; anything below 1e-10 (negative values too) is stored as 0.
  double blur() const { return m_blur.load(); }
  void setBlur(double blur);
  /// The field convolved with exp(−(di² + dj²)/b²) by FFT (zero padding, so nothing wraps
  /// round), normalised so that the power stays; the argument itself for b = 0.
  foundation::Matrix blurredVersionOfIntensityField(const foundation::Matrix& field) const;

  // --- image and export --------------------------------------------------------------------------
  /// The image of the present field with the display options; none without a field.
  std::optional<IntensityImage> makeImageOfIntensityField() const;
  /// Makes the image and hands it to the main thread (announced as
  /// "imageOfIntensityField"); without a field the old image stays.
  void generateImageOfIntensityField();
  /// The last published image (main thread).
  const std::optional<IntensityImage>& imageOfIntensityField() const { return m_image; }
  /// The field, one line per row of "%e" numbers separated by single blanks; false
  /// (nothing written) without a field.
  bool exportToFile(std::FILE* file) override;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  void willDeallocate() override;
  /// Stores and announces the flag without asking for any stage.
  void storeResampleCurves(bool on) { setAndAnnounce("resampleCurves", m_resampleCurves, on); }

 private:
  void setImageFlag(const char* key, std::atomic<bool>& member, bool on);

  FieldMatrix m_intensityField;          // under the calculator's own lock
  std::optional<IntensityImage> m_image;  // main thread
  std::atomic<bool> m_useImageEnhancement{false}, m_useFalseColor{false}, m_useNegativeImage{false},
      m_drawsAiryDisk{false}, m_resampleImage{false}, m_drawRays{false};
  std::atomic<int> m_resampleImageWidth{128};
  std::atomic<bool> m_resampleCurves{false}, m_blurEnabled{false};
  std::atomic<double> m_blur{1.0};
};

}  // namespace orb::wavefront
