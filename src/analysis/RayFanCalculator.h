#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "analysis/FanRaysCalculator.h"
#include "foundation/linear/VKSeries.h"

namespace orb::analysis {

/// Transverse ray-aberration fans: for every field and wave of interest, where the rays
/// of a sagittal and a tangential pupil fan land on the surface of interest (afocal: their
/// direction tangents), against their pupil coordinate, optionally less each field's
/// wave-weighted centroid.
///
/// Curves come field by field, wave by wave, sagittal (dashed) before tangential; names
/// "S (field, wave)" and "T (field, wave)". Title "Transverse ray fan", y label
/// "intercept (unit)" or "direction (unit)".
class RayFanCalculator : public FanRaysCalculator {
 public:
  RayFanCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "RayFanCalculator"; }

  bool plotSagittal() const { return m_plotSagittal.load(); }
  void setPlotSagittal(bool on);
  bool plotTangential() const { return m_plotTangential.load(); }
  void setPlotTangential(bool on);

  /// One fan's curve (direction 0 sagittal, 1 tangential) before any centroid shift;
  /// none when no ray of it lives. Without a finite focal length nothing is divided by it,
  /// and the status says so.
  std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, int direction, const FieldPtr& field,
                                                   const WavePtr& wave, std::size_t fieldCount);
  void generateCurves() override;

 private:
  std::atomic<bool> m_plotSagittal{true}, m_plotTangential{true};
};

}  // namespace orb::analysis
