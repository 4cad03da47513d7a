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

}  // namespace orb::analysis
