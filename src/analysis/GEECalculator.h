#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "analysis/RaysAtSurfaceCalculator.h"

namespace orb::analysis {

/// Geometrical encircled (or ensquared) energy: for each field and wave of interest, the
/// fraction of the traced rays that land within a radius of a reference point on the
/// surface of interest (the centroid, or the first ray), against that radius, in the
/// display unit. Every ray weighs the same; the first of n sorted radii has fraction 0,
/// the last 1. A lone ray plots as the single point (r, 1). Dividing by the focal length
/// publishes no curve, and says why in the status, when that length is 0 or infinite.
class GEECalculator : public RaysAtSurfaceCalculator {
 public:
  /// 127 rays (six hexapolar rings), radius range following the data.
  GEECalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "GEECalculator"; }

  /// The x range of the plot, in the display unit.
  double maximumRadius() const { return m_maximumRadius.load(); }
  /// Fixes the x range: turns the entire-range option and scale-only-expands off.
  void setMaximumRadius(double r);
  bool useEntireRadiusRange() const { return m_useEntireRadiusRange.load(); }
  /// On, every generation sets maximumRadius a little (5%) beyond the largest radius
  /// found, so the curve's last rise to the full fraction shows inside the plot.
  void setUseEntireRadiusRange(bool on);
  bool useEnsquared() const { return m_useEnsquared.load(); }
  /// Half the side of the square (max |dx|, |dy|) in place of the radius.
  void setUseEnsquared(bool on);
  /// Keeps the physical maximum radius across the change of unit.
  void setUnits(const std::string& unit) override;

  /// The curve of one field and wave from the traced rows; none when no row is alive.
  /// `largest` grows to the largest radius met (millimetres or radians).
  std::optional<platform::Dictionary> extractCurve(const TracedBundle& traced, const FieldPtr& field,
                                                   const WavePtr& wave, double& largest) const;
  void generateCurves() override;
  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 private:
  std::atomic<double> m_maximumRadius{0.02};
  std::atomic<bool> m_useEntireRadiusRange{true}, m_useEnsquared{false};
};

}  // namespace orb::analysis
