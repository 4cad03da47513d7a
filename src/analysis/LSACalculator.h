#pragma once

#include <optional>
#include <string>

#include "analysis/FanRaysCalculator.h"

namespace orb::analysis {

/// A meridional fan from the axial field, the base of the longitudinal analyses: one
/// y-fan of `numberOfRays` pupil points per wave of interest, in the local frame of the
/// surface of interest. Subclasses give the title, the y label and one curve per wave.
class AxialFanCalculator : public FanRaysCalculator {
 public:
  AxialFanCalculator();
  std::string className() const override { return "AxialFanCalculator"; }

  virtual std::string plotTitle() const { return "undefined"; }
  virtual std::string yLabel() const { return "undefined"; }
  /// The curve of one wave of the axial fan; none by default.
  virtual std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, const FieldPtr& field,
                                                           const WavePtr& wave, std::size_t waveCount) {
    (void)fan, (void)field, (void)wave, (void)waveCount;
    return std::nullopt;
  }
  void generateCurves() override;
  /// The Lagrange polynomial through the points (x[k], y[k]) of `nodes`, at `at`: how the
  /// curves fill the pupil centre, where their quantity is 0 / 0.
  static double lagrangeValueAt(const std::vector<double>& x, const std::vector<double>& y,
                                const std::vector<std::size_t>& nodes, double at);

 protected:
  void fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const override;
  std::vector<FieldPtr> fanFields() const override;
};

/// Longitudinal spherical aberration: where each ray of the axial fan crosses the axis,
/// as a z distance from the surface of interest (lens units), against its pupil
/// coordinate PY. The ray on the axis has no crossing; it takes the value interpolated
/// from its nearest neighbours (four when they exist).
class LSACalculator : public AxialFanCalculator {
 public:
  std::string className() const override { return "LSACalculator"; }
  std::string plotTitle() const override { return "Longitudinal spherical aberration"; }
  std::string yLabel() const override { return "LSA"; }
  std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, const FieldPtr& field, const WavePtr& wave,
                                                   std::size_t waveCount) override;
};

/// Offence against the sine condition of the axial fan: OSC = 1 − (sin U · u′)/(u · sin U′)
/// from the real and paraxial ray of each pupil point (object at infinity: 1 − u′/sin U′,
/// the entrance height cancelling), against the pupil coordinate PY. The pupil centre,
/// where the ratio is 0 / 0, takes the cubic through its two neighbours on either side,
/// or 0 when it lies within two points of an end.
class OSCCalculator : public AxialFanCalculator {
 public:
  std::string className() const override { return "OSCCalculator"; }
  std::string plotTitle() const override { return "Offense against sine condition"; }
  std::string yLabel() const override { return "OSC'"; }
  std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, const FieldPtr& field, const WavePtr& wave,
                                                   std::size_t waveCount) override;

 protected:
  bool keepsStartAndParaxialRows() const override { return true; }
};

}  // namespace orb::analysis
