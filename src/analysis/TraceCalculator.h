#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analysis/RaysCalculator.h"
#include "analysis/TestRayGenerator.h"
#include "platform/Observation.h"
#include "tracing/RayWithFrame.h"

namespace orb::analysis {

/// The single-ray trace listing: one test ray, named by a field and a pupil specification
/// (testray::Specification), traced with a recorded trajectory to the surface of interest,
/// and listed as text: where it starts, its position and momentum at every surface (the
/// stop marked '*'), then its final state with the transfer matrix measured by a swarm of
/// eight neighbouring rays, or why and where it died. An impossible specification lists
/// the exception's text in place of the trace.
///
/// With a field of interest the field specification is that field; the wave is the wave
/// of interest, else a new wave of `customWavelength`.
class TraceCalculator : public RaysCalculator {
 public:
  /// 633 nm, the basis order from the user default "transformationMatrixBasisString";
  /// observes "lensCommentChangedNotification".
  TraceCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "TraceCalculator"; }

  // --- settings (main thread); those that name the ray ask for a new trace -------------
  double testRayHX() const { return m_hx.load(); }
  void setTestRayHX(double v);
  double testRayHY() const { return m_hy.load(); }
  void setTestRayHY(double v);
  double testRayPX() const { return m_px.load(); }
  void setTestRayPX(double v);
  double testRayPY() const { return m_py.load(); }
  void setTestRayPY(double v);
  /// 0 reduced field, 1 angle, 2 momentum, 3 tangent, 4 position (1–3 not implemented).
  int fieldSpecificationTag() const { return m_fieldTag.load(); }
  void setFieldSpecificationTag(int tag);
  /// 0 reduced pupil, 1 paraxial position at the stop, 2 momentum, 3 tangent.
  int pupilSpecificationTag() const { return m_pupilTag.load(); }
  void setPupilSpecificationTag(int tag);
  double customWavelength() const { return m_customWavelength.load(); }
  /// Traces again only when no wave of interest is chosen.
  void setCustomWavelength(double nanometres);
  bool rayPositionInLocalCoordinates() const { return m_positionLocal.load(); }
  /// Lists the same trace again in the other frame, without tracing.
  void setRayPositionInLocalCoordinates(bool on);
  bool rayMomentumInLocalCoordinates() const { return m_momentumLocal.load(); }
  void setRayMomentumInLocalCoordinates(bool on);
  std::string transformationMatrixBasisString() const;
  void setTransformationMatrixBasisString(const std::string& basis);
  static const std::vector<std::string>& transformationMatrixBasisStrings();

  // --- texts of the specifications -------------------------------------------------------
  std::string fieldSpecString() const;
  std::string fieldLabelX() const;
  std::string fieldLabelY() const;
  std::string pupilSpecString() const;
  std::string pupilLabelX() const;
  std::string pupilLabelY() const;
  bool fieldIsMomentum() const { return fieldSpecificationTag() == 2 || fieldSpecificationTag() == 3; }
  bool pupilIsMomentum() const { return pupilSpecificationTag() == 2 || pupilSpecificationTag() == 3; }
  /// "Hx = 0, Hy = 1" and the like.
  std::string fieldSpecEquation() const;
  std::string pupilSpecEquation() const;
  bool noFieldOrWavesShouldBeWarned() const { return false; }

  /// The listing (main thread); empty before the first trace.
  const std::string& listing() const { return m_listing; }
  void setListing(std::string listing);

  // --- work ----------------------------------------------------------------------------------
  /// The framed test ray of the present settings (lens lock held). Raises as
  /// testray::makeTestRay.
  tracing::RayWithFrame testRayWithPresentSettings();
  void calculate() override;
  void generateInitialRays() override;
  void traceRays() override;
  /// The listing of the last trace, as text.
  std::string listingText() const;
  /// Rebuilds the listing from the last trace; on the main thread at once, else handed to it.
  void updateListing();
  /// "Numerical transfer matrix:\n…" from the traced swarm; empty without one.
  std::string swarmAnalysisString() const;

  /// "Save Data…": the listing as it stands.
  bool exportToFile(std::FILE* file) override;
  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  void willDeallocate() override;

 private:
  void traceSettingChanged(const char* key, std::function<void()> set);

  std::atomic<double> m_hx{0}, m_hy{0}, m_px{0}, m_py{0};
  std::atomic<int> m_fieldTag{0}, m_pupilTag{0};
  std::atomic<double> m_customWavelength{633};
  std::atomic<bool> m_positionLocal{false}, m_momentumLocal{false};
  mutable std::mutex m_basisMutex;
  std::string m_basisString;
  std::string m_listing;

  // The last trace, replaced under the calculator's own lock.
  std::optional<tracing::RayWithFrame> m_workingStart, m_workingTraced;
  std::vector<tracing::Ray> m_workingSwarm;
  std::optional<tracing::RayWithFrame> m_start, m_traced;
  std::vector<tracing::Ray> m_swarm;
  platform::Observation m_commentObservation;
};

}  // namespace orb::analysis
