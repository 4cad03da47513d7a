#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/FanRaysCalculator.h"
#include "foundation/linear/VKSeries.h"
#include "foundation/objects/XYZ.h"

namespace orb::analysis {

/// Optical-path-difference fans: for every field and wave of interest, the wavefront
/// error of a sagittal and a tangential fan against a reference sphere through the
/// exit-pupil centre, against the pupil coordinate.
///
/// The OPD series (class functions) turn traced rays into OPDs in lens units, one entry
/// per ray in order: the optical path of the reference ray to the reference sphere minus
/// that of each ray. Dead rays keep their slots (0 before the shift). A live ray whose line
/// misses the sphere (or, afocal, runs parallel to the reference plane) has no OPD: its
/// entry is NaN, and `invalid` counts such rays. A reference ray that is dead or missed
/// leaves the series unshifted.
class OPDCalculator : public FanRaysCalculator {
 public:
  /// What the series reads of a ray.
  struct RayState {
    foundation::XYZ position, momentum;
    double opticalPathLength = 0;
    bool alive = false;
  };
  struct Series {
    foundation::VKSeries opd{0};
    std::size_t invalid = 0;
    bool referenced = false;  ///< the reference ray's value was subtracted
  };

  /// Reference sphere about `center` through `exitPupilCenter`.
  static Series opdSeries(std::span<const RayState> rays, const foundation::XYZ& exitPupilCenter,
                          std::size_t referenceIndex, const foundation::XYZ& center);
  /// Reference plane through `exitPupilCenter` normal to `momentum`.
  static Series afocalOpdSeries(std::span<const RayState> rays, const foundation::XYZ& exitPupilCenter,
                                std::size_t referenceIndex, const foundation::XYZ& momentum);
  /// Mean position (or momentum) of the live rays; the zero vector when none lives.
  static foundation::XYZ positionCentroid(std::span<const RayState> rays);
  static foundation::XYZ momentumCentroid(std::span<const RayState> rays);
  static std::vector<RayState> statesOfRows(const tracing::RayBundle& bundle, std::span<const std::size_t> rows);
  static std::vector<RayState> statesOfRays(std::span<const tracing::Ray> rays);

  /// 21 rays a fan, OPD in waves.
  OPDCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "OPDCalculator"; }

  /// "waves", then the length units.
  static const std::vector<std::string>& opdUnits();
  /// 0 ("waves": divide by the wavelength in mm), then the length factors; 0 for others.
  static double opdScaleForUnits(const std::string& unit);
  std::string units() const;
  /// A unit outside opdUnits becomes "waves".
  void setUnits(const std::string& unit) override;

  /// The exit-pupil centre in the frame the rays were traced into.
  foundation::XYZ exitPupilCenterInRayFrame() const;
  /// One fan's curve; none when no ray of it lives or none has an OPD.
  std::optional<platform::Dictionary> extractCurve(const TracedFan& fan, int direction, const FieldPtr& field,
                                                   const WavePtr& wave, const foundation::XYZ& exitPupilCenter,
                                                   std::size_t fieldCount, std::size_t& invalid) const;
  void generateCurves() override;

 private:
  mutable std::mutex m_opdUnitsMutex;
  std::string m_opdUnits = "waves";
};

}  // namespace orb::analysis
