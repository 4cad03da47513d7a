#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/RaysAtSurfaceCalculator.h"
#include "tracing/RayWithFrame.h"

namespace orb::wavefront {

/// The irradiance at the surface of interest along two ray fans, without binning: every
/// fan ray carries its transfer matrix, and the irradiance where it lands is 1/|D|, D the
/// determinant of the 2 × 2 block that says how far a small bundle round the ray has
/// spread (positions against start positions for an object at infinity, 1 W/mm²
/// incident; against start directions otherwise, 1 kW/sr). A sagittal (x) and a
/// tangential (y) fan are traced for each field and wave of interest, each giving one
/// curve; optional sum curves add the curves of one direction.
///
/// A caustic (D = 0) gives +∞; the plot engine leaves non-finite points out of lines and
/// axis ranges, and the sums carry +∞ rather than the NaN of ∞ − ∞.
///
/// Keys: "plotSagittal", "plotTangential", "plotSum", "includeFieldWeight",
/// "includeSurfaceAngle" (each asks for new curves; all persisted).
class IntensityFanCalculator : public analysis::RaysAtSurfaceCalculator {
 public:
  using FramedRays = std::vector<tracing::RayWithFrame>;
  using FramedRaysPtr = std::shared_ptr<const FramedRays>;

  /// 101 rays per fan, both fans plotted, units "mm".
  IntensityFanCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "IntensityFanCalculator"; }

  bool plotSagittal() const { return m_plotSagittal.load(); }
  void setPlotSagittal(bool on);
  bool plotTangential() const { return m_plotTangential.load(); }
  void setPlotTangential(bool on);
  bool plotSum() const { return m_plotSum.load(); }
  void setPlotSum(bool on);
  bool includeFieldWeight() const { return m_includeFieldWeight.load(); }
  void setIncludeFieldWeight(bool on);
  bool includeSurfaceAngle() const { return m_includeSurfaceAngle.load(); }
  void setIncludeSurfaceAngle(bool on);

  /// The traced fan rays (local frame of the surface when local coordinates are on),
  /// the y fan ("tags.direction" 1) first; null before the first calculation.
  FramedRaysPtr framedRays() const;

  /// The y fans then the x fans of every field and wave of interest, as framed rays.
  void generateInitialRays() override;
  /// Traces the fans (lens lock held by the stage) and publishes them.
  void traceRays() override;
  void generateCurves() override;

  /// The curve of one fan: the live rays of that direction, field and wave, in order;
  /// none when no such ray lives. `atInfinity` picks the determinant.
  std::optional<platform::Dictionary> extractCurveForDirection(int direction, const FieldPtr& field,
                                                               const WavePtr& wave, const FramedRays& rays,
                                                               bool atInfinity) const;
  /// The piecewise-linear sum of the curves on the union of their abscissae: a point
  /// shared by two segments of one curve counts half from each, a curve's ends fully.
  platform::Dictionary sumOfCurves(const std::vector<platform::Dictionary>& curves, int direction) const;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 private:
  std::atomic<bool> m_plotSagittal{true}, m_plotTangential{true}, m_plotSum{false}, m_includeFieldWeight{false},
      m_includeSurfaceAngle{false};
  FramedRays m_workingFramed;  // worker, lens lock
  FramedRaysPtr m_framed;      // own lock
};

}  // namespace orb::wavefront
