#pragma once

#include <atomic>
#include <limits>
#include <optional>
#include <string>

#include "analysis/FanRaysCalculator.h"

namespace orb::analysis {

/// Field scans plot a quantity against the field coordinate; rays are coloured fixed or
/// by wave.
class FieldScanCalculator : public FanRaysCalculator {
 public:
  FieldScanCalculator() { setRayColorOption("wave"); }
  std::string className() const override { return "FieldScanCalculator"; }
};

/// The field fan of the chief-ray angle, distortion and field curvature: `numberOfRays`
/// fields from the axis to the largest field along +y, by default the chief ray of each.
class FieldFanScan : public FieldScanCalculator {
 public:
  std::string className() const override { return "FieldFanScan"; }

 protected:
  std::vector<FieldPtr> fanFields() const override;
  void fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const override;
  /// Publishes the curves with the plot's title and axis labels.
  void publishCurves(platform::Array curves, const std::string& title, const std::string& xLabel,
                     const std::string& yLabel);
};

/// The angle of the chief ray at the surface of interest over a fan of `numberOfRays`
/// fields from the axis to the largest field along y, one curve per wave of interest. A
/// field whose chief ray is lost gives no point.
class ChiefRayAngle : public FieldFanScan {
 public:
  std::string className() const override { return "ChiefRayAngle"; }
  std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, const WavePtr& wave) const;
  void generateCurves() override;
};

/// Distortion: per wave, the percentage by which the real chief ray's height on the
/// surface of interest departs from the paraxial chief ray's, D = y/y_p − 1, against the
/// real height; afocal, the real image angle against the paraxial direction tangent,
/// against the angle in degrees. The axial field plots at 0. The paraxial chief ray starts
/// from the field's paraxial start, whether or not the real one is aimed.
class DistortionCalculator : public FieldFanScan {
 public:
  std::string className() const override { return "DistortionCalculator"; }
  std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, const WavePtr& wave) const;
  void generateCurves() override;

 protected:
  bool keepsStartAndParaxialRows() const override { return true; }
  bool startsParaxialRowsUnaimed() const override { return true; }
};

/// Field curvature: per wave, where the sagittal and the tangential foci of small fans
/// about the chief ray (pupil ±0.01) lie along z from the surface of interest, against the
/// field coordinate. A field whose fan is lost plots as not a number (a gap).
class FieldCurvature : public FieldFanScan {
 public:
  /// Pupil offset of the fans about the chief ray, in units of the pupil radius.
  static constexpr double kFanOffset = 0.01;
  std::string className() const override { return "FieldCurvature"; }
  /// `direction` 0 sagittal, 1 tangential.
  std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, int direction, const WavePtr& wave) const;
  void generateCurves() override;

 protected:
  void fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const override;
};

/// Cut-off ray scan: for each of `numberOfRays` field heights from −F to F (F the largest
/// field), the pupil coordinate (or the ray's momentum component) at which rays along the
/// scan direction start to be cut off by the aperture of the surface of interest, found by
/// bisection on [0, maximumPupilCoordinate]. +∞ where nothing is cut off up to the end of
/// the interval, 0 where the axial ray is already cut off.
class CRSCalculator : public FieldScanCalculator {
 public:
  CRSCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "CRSCalculator"; }

  double maximumPupilCoordinate() const { return m_maximumPupilCoordinate.load(); }
  void setMaximumPupilCoordinate(double p);
  double pupilCoordinateTolerance() const { return m_pupilCoordinateTolerance.load(); }
  void setPupilCoordinateTolerance(double t);
  /// 0 +y, 1 −y, 2 +x, 3 −x.
  int direction() const { return m_direction.load(); }
  void setDirection(int direction);
  bool plotAngle() const { return m_plotAngle.load(); }
  void setPlotAngle(bool on);
  bool plotInMilliradians() const { return m_plotInMilliradians.load(); }
  void setPlotInMilliradians(bool on);

  /// The scan's pupil point for coordinate p.
  foundation::XY pupilCoordinateFromP(double p) const;
  /// +1 when the ray of field height y, pupil coordinate p and `wave` reaches the surface
  /// of interest and passes its aperture, −1 otherwise. Lens lock held.
  double crossingFunction(double fieldY, double p, const WavePtr& wave) const;
  /// The plotted value at the cut-off of field height y (before the milliradian factor).
  double cutoffForFieldValue(double fieldY, const WavePtr& wave) const;
  std::string title() const;
  void generateCurves() override;
  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  std::vector<FieldPtr> fanFields() const override { return {}; }  // the scan traces its own rays

 private:
  double plottedValue(double fieldY, double p, const WavePtr& wave) const;

  std::atomic<double> m_maximumPupilCoordinate{1.2}, m_pupilCoordinateTolerance{1e-6};
  std::atomic<int> m_direction{0};
  std::atomic<bool> m_plotAngle{false}, m_plotInMilliradians{false};
};

}  // namespace orb::analysis
