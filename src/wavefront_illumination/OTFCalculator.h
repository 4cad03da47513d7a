#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "analysis/RaysAtSurfaceCalculator.h"
#include "foundation/linear/VKSeries.h"

namespace orb::wavefront {

/// The common base of the transfer-function and line-spread analyses (geometric,
/// through-focus, FFT diffraction and Huygens). It adds the spatial-frequency range, kept
/// physically unchanged when the length units or the divide-by-focal-length mode change,
/// the lens's diffraction scale, and two reference curves: the diffraction-limited MTF of
/// an aberration-free circular pupil and the diffraction-limited line-spread function.
/// It publishes no plot itself; subclasses call its curve makers from generateCurves.
///
/// Frequencies are held in cycles per user unit (`units()`); times scaleForUnits(units())
/// they are cycles per millimetre, or cycles per radian for angle units (afocal systems,
/// division by the focal length).
///
/// Keys: "minimumSpatialFrequency", "maximumSpatialFrequency", "plotDiffractionLimit",
/// "plotSpatialFrequencyPhysicalRange", "plotComplex" (all persisted), and the read-only
/// "spatialFrequencyUnits" (depends on "units").
class OTFCalculator : public analysis::RaysAtSurfaceCalculator {
 public:
  /// A range of 0 to 20 cycles/mm.
  OTFCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "OTFCalculator"; }

  /// "random", "hexapolar", "golden", "spiral", "square", "centered fft".
  std::vector<std::string> possibleFanTypes() const override;

  // --- frequency range (cycles per user unit) --------------------------------------------------
  double minimumSpatialFrequency() const { return m_minimumSpatialFrequency.load(); }
  /// Turns the physical range off and asks for new curves.
  void setMinimumSpatialFrequency(double frequency);
  double maximumSpatialFrequency() const { return m_maximumSpatialFrequency.load(); }
  void setMaximumSpatialFrequency(double frequency);
  bool plotDiffractionLimit() const { return m_plotDiffractionLimit.load(); }
  void setPlotDiffractionLimit(bool on);
  /// On: the maximum becomes the diffraction cut-off (without turning the flag off again).
  bool plotSpatialFrequencyPhysicalRange() const { return m_plotSpatialFrequencyPhysicalRange.load(); }
  void setPlotSpatialFrequencyPhysicalRange(bool on);
  bool plotComplex() const { return m_plotComplex.load(); }
  void setPlotComplex(bool on);
  /// "cycles/<units>".
  std::string spatialFrequencyUnits() const;

  /// Converts the range so that it stays physically the same.
  void setUnits(const std::string& unit) override;
  /// The same across the change between lengths and angles (through |focal length|).
  void setDivideByFocalLength(bool on) override;

  // --- diffraction scale ------------------------------------------------------------------------
  /// Afocal: the lens's diffraction angle (rad); else its diffraction length 2λN (mm),
  /// divided by |focal length| when dividing by the focal length. 0 when the lens gives
  /// none (no lens, no aperture, no focal length).
  double diffractionScaleForLens(lens::Lens& lens) const;
  double diffractionScale() const;
  /// Whether the lens has a usable diffraction scale (finite and positive).
  static bool isUsableScale(double scale);
  /// 2 / diffractionScale: the cut-off in cycles/mm (or per radian).
  double diffractionLimitSpatialFrequency() const;
  double diffractionScaleInUserUnits() const;
  double diffractionLimitSpatialFrequencyInUserUnits() const;
  /// One step of λN in user units.
  virtual double deltaInUserUnits() const;
  virtual int curveNumberOfPoints() const { return 10; }

  // --- reference curves ---------------------------------------------------------------------------
  /// The MTF of an aberration-free circular pupil at the normalised frequency v (frequency
  /// times diffraction scale): (2/π)(acos(v/2) − (v/2)√(1 − v²/4)); 0 from v = 2 on.
  static double diffractionLimitedMTF(double v);
  /// 100 samples over the range, red, "diffraction limit". None without a usable scale.
  /// `wavelengthRatio`: the wavelength shown over the primary one, whose limit it is by default.
  std::optional<platform::Dictionary> curveForDiffractionLimitedMTF(double wavelengthRatio = 1) const;
  /// S(x) = 3π·H₁(x)/(2x²), the normalised first-order Struve function (1 at x = 0): the
  /// line-spread function of an aberration-free circular pupil at x = 2πx'/(λN). Its
  /// power series up to |x| = 20, the large-argument form through Y₁ beyond.
  static double struvesFunctionAt(double x);
  /// 201 samples from xMin to xMax of S(2·M·x), red, "Struve's diffraction limit".
  static platform::Dictionary curveForDiffractionLimitedLSF(double xMin, double xMax, double M);
  /// Over ±curveNumberOfPoints·λN/2 with M = 2π/diffractionScaleInUserUnits; none without
  /// a usable scale.
  std::optional<platform::Dictionary> curveForDiffractionLimitedLSF() const;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;
  /// Saved numbers are already in the saved units: restoring the units, the
  /// divide-by-focal-length mode or the defocus units converts nothing, whatever the order
  /// of the keys.
  void applyRestorationDictionary(const platform::Dictionary& dictionary) override;

 protected:
  /// Setters of settings that need new rays, or only new curves: store, announce, ask.
  template <class M, class V>
  void setForCalculation(std::string_view key, M& member, V&& value) {
    setAndAnnounce(key, member, std::forward<V>(value));
    setNeedsCalculation(true);
  }
  template <class M, class V>
  void setForCurves(std::string_view key, M& member, V&& value) {
    setAndAnnounce(key, member, std::forward<V>(value));
    setNeedsGenerateCurves(true);
  }
  /// True while saved settings are applied (main thread).
  bool isRestoring() const { return m_restoring; }
  /// Shows `text` as the status of this run (main thread, later).
  void noteStatus(std::string text);
  /// The problems of a curve stage as one status ("a; b"), each once; nothing when there
  /// are none.
  void noteProblems(const std::vector<std::string>& problems);
  /// The cut-off in user units when the physical range is on: stored as the maximum and
  /// announced on the main thread. From the curve stage.
  void applyPhysicalRangeForCurves();

 private:
  void setRange(double minimum, double maximum);

  bool m_restoring = false;
  std::atomic<double> m_minimumSpatialFrequency{0}, m_maximumSpatialFrequency{20.0};
  std::atomic<bool> m_plotDiffractionLimit{false}, m_plotSpatialFrequencyPhysicalRange{false}, m_plotComplex{false};
};

}  // namespace orb::wavefront
