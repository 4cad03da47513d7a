#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "wavefront_illumination/GOTFCalculator.h"

namespace orb::wavefront {

/// The geometrical (or hybrid) OTF modulus at one spatial frequency against defocus: the
/// traced rays of each field are carried straight on (without tracing) through a
/// symmetric range of defocus values and transformed at each as the geometric OTF does.
/// Reference curves: the in-focus diffraction limit ("limit"), the geometric OTF of a
/// perfect lens, whose defocused spot is a uniform disc of radius z·NA ("calibration",
/// 2·J₁(a)/a with a = 2π·f·NA·z), and unity.
///
/// Keys besides GOTFCalculator's: "numberOfDefocusValues" (21), "maximumDefocus" (500, in
/// the defocus units), "defocusUnits" ("micron"; changing it converts the maximum),
/// "spatialFrequency" (10 cycles per user unit, kept physically unchanged when the units
/// change), "plotCalibrationCurve", "plotUnity"; all persisted.
class FGOTFCalculator : public GOTFCalculator {
 public:
  FGOTFCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "FGOTFCalculator"; }

  int numberOfDefocusValues() const { return m_numberOfDefocusValues.load(); }
  void setNumberOfDefocusValues(int n);
  double maximumDefocus() const { return m_maximumDefocus.load(); }
  void setMaximumDefocus(double defocus);
  std::string defocusUnits() const;
  /// A length unit; converts the maximum defocus. Another name raises "ValueError".
  void setDefocusUnits(const std::string& unit);
  double spatialFrequency() const { return m_spatialFrequency.load(); }
  void setSpatialFrequency(double frequency);
  bool plotCalibrationCurve() const { return m_plotCalibrationCurve.load(); }
  void setPlotCalibrationCurve(bool on);
  bool plotUnity() const { return m_plotUnity.load(); }
  void setPlotUnity(bool on);

  void setUnits(const std::string& unit) override;
  void setDivideByFocalLength(bool on) override;

  /// The frequency in cycles/mm: divided by |focal length| when dividing by it.
  double spatialFrequencyInCyclesPerMillimeter() const;
  /// The lens's diffraction length 2λN (mm); 0 without a lens.
  double diffractionScaleInMillimeters() const;
  /// −max … +max in the defocus units, both ends included.
  foundation::VKSeries defocusSeries() const;

  std::optional<platform::Array> extractCurvesForDirection(int direction, const FieldPtr& field, const WavePtr& wave,
                                                           const tracing::RayBundle& bundle,
                                                           std::string* problem = nullptr) const override;
  /// None when the lens has no usable diffraction scale.
  std::optional<platform::Dictionary> curveForDiffractionLimit() const;
  /// None without a lens.
  std::optional<platform::Dictionary> calibrationCurve() const;
  platform::Dictionary unityCurve() const;
  void generateCurves() override;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 private:
  std::atomic<int> m_numberOfDefocusValues{21};
  std::atomic<double> m_maximumDefocus{500.0};
  std::atomic<double> m_spatialFrequency{10.0};
  std::atomic<bool> m_plotCalibrationCurve{false}, m_plotUnity{false};
  mutable std::mutex m_defocusUnitsMutex;
  std::string m_defocusUnits = "micron";
};

}  // namespace orb::wavefront
