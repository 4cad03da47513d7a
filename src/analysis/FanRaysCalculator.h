#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/RaysAtSurfaceCalculator.h"
#include "tracing/PupilPatterns.h"
#include "tracing/RayBundle.h"

namespace orb::analysis {

/// The ray calculator of the fan analyses (ray fans, OPD fans, axial fans): one pupil
/// pattern per field and wave of interest, whose points each belong to a fan direction
/// (0 sagittal, 1 tangential), traced as one bundle to the surface of interest and kept
/// in its local frame when local coordinates are on.
///
/// Rows run wave by wave, field by field, each run following the pattern, so a row's
/// pupil point and direction are those of pattern point row mod pattern size.
///
/// A failure while making or tracing the rays becomes the calculator's status ("name:
/// reason") and clears the traced fan, so no stale curves stand for a lens that could not
/// be traced.
class FanRaysCalculator : public RaysAtSurfaceCalculator {
 public:
  struct TracedFan {
    tracing::RayBundle rays;
    tracing::pupil::Points pattern;      ///< one run's unit-pupil points
    std::vector<std::uint8_t> direction;  ///< per pattern point
    /// Only for analyses that compare real with first-order rays (keepsStartAndParaxialRows):
    /// the rows as made, and the same rows traced paraxially, row for row with `rays` (in
    /// the same frame); with startsParaxialRowsUnaimed the paraxial rows start unaimed.
    tracing::RayBundle start, paraxial;
    std::size_t patternIndex(std::size_t row) const { return row % pattern.size(); }
    foundation::XY pupil(std::size_t row) const { return pattern[patternIndex(row)]; }
  };
  using FanPtr = std::shared_ptr<const TracedFan>;

  FanRaysCalculator();
  std::string className() const override { return "FanRaysCalculator"; }

  /// The last traced fan; null before the first trace or after a failed one.
  FanPtr tracedFan() const;

  void calculate() override;
  void generateInitialRays() override;
  void traceRays() override;

  /// The live rows of `fan` in `direction` (-1 any), field and wave (null: any), in order.
  static std::vector<std::size_t> selectRows(const TracedFan& fan, int direction, const lens::Field* field,
                                             const lens::Wave* wave);

 protected:
  /// One run's pupil points and their directions: by default the tangential y-fan of
  /// `numberOfRays` points followed by the sagittal x-fan.
  virtual void fanPattern(tracing::pupil::Points& points, std::vector<std::uint8_t>& direction) const;
  virtual std::vector<FieldPtr> fanFields() const { return fieldsOfInterest(); }
  virtual std::vector<WavePtr> fanWaves() const { return wavesOfInterest(); }
  /// Keep the start rows and trace a paraxial copy beside the real fan.
  virtual bool keepsStartAndParaxialRows() const { return false; }
  /// With keepsStartAndParaxialRows: start the paraxial copy from rows placed paraxially
  /// (ray aiming suspended), so that it holds each field's paraxial rays rather than the
  /// aimed rows traced paraxially. The two differ off the paraxial focus.
  virtual bool startsParaxialRowsUnaimed() const { return false; }
  /// Shows `text` as the status of this run (main thread, later).
  void noteStatus(std::string text);

 private:
  std::shared_ptr<TracedFan> m_working;  // worker, lens lock held
  FanPtr m_fan;                          // under the calculator's own lock
};

}  // namespace orb::analysis
