#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/RaysAtSurfaceCalculator.h"
#include "tracing/RayWithFrame.h"

namespace orb::analysis {

/// The paraxial focus against wavelength: for every field of interest, the chief ray of
/// each of `numberOfRays` wavelengths spread evenly over [λmin, λmax] nanometres is traced
/// with its transfer matrix, and the distance from the surface of interest to the paraxial
/// focus of that wavelength is read from the matrix (lens units).
///
/// The wavelengths are the calculator's own, not the lens's. One wavelength is taken at
/// the middle of the range.
class ChromaticFocalShiftCalculator : public RaysAtSurfaceCalculator {
 public:
  using FramedRays = std::vector<tracing::RayWithFrame>;

  /// 400 to 900 nm in 21 steps.
  ChromaticFocalShiftCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "ChromaticFocalShiftCalculator"; }

  double lambdaMin() const { return m_lambdaMin.load(); }
  void setLambdaMin(double nanometres);
  double lambdaMax() const { return m_lambdaMax.load(); }
  void setLambdaMax(double nanometres);
  /// The scan's wavelengths as new waves; none for a count of 0.
  std::vector<WavePtr> scanWaves() const;

  /// The last traced chief rays; null before the first trace or after a failed one.
  std::shared_ptr<const FramedRays> tracedChiefRays() const;

  void calculate() override;
  void generateInitialRays() override;
  void traceRays() override;
  /// Wavelength (nm) and focus distance of the live chief rays of `field`; none without one.
  std::optional<platform::Dictionary> extractCurve(const FramedRays& rays, const FieldPtr& field) const;
  void generateCurves() override;
  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 private:
  void noteStatus(std::string text);

  std::atomic<double> m_lambdaMin{400}, m_lambdaMax{900};
  std::shared_ptr<FramedRays> m_working;       // worker, lens lock held
  std::shared_ptr<const FramedRays> m_traced;  // under the calculator's own lock
};

}  // namespace orb::analysis
