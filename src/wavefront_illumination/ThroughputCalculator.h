#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analysis/FieldScanCalculator.h"
#include "foundation/linear/VKSeries.h"
#include "wavefront_illumination/ThroughputAgent.h"

namespace orb::wavefront {

/// Throughput against field height: for each wave of interest, `numberOfFields` heights
/// from the lens's smallest to its largest field y, each measured by a throughput agent
/// (the passing pupil area in mm² for an object at infinity, the passing solid angle in
/// steradians for a finite object) and plotted as its lower and upper bounds and their
/// mean, converted into the chosen ordinate. It traces no rays of its own: the agents do
/// the work in the calculate stage, under the lens's lock.
///
/// Keys besides the field scan's: "numberOfFields" (3), "initialDepth" (0, at most 3),
/// "searchDepth" (8, at most 16), "resampleCurves", "abscissa", "ordinate",
/// "useLensObjectSpaceNumericalAperture", and the read-only "availableAbscissas",
/// "availableOrdinates", "searchTypes" (all depending on the lens), "NYI",
/// "infiniteConjugate", "average".
class ThroughputCalculator : public analysis::FieldScanCalculator {
 public:
  /// One wave's scan: field heights and the bounds at each.
  struct Scan {
    foundation::VKSeries heights{0}, lower{0}, upper{0};
  };

  ThroughputCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "ThroughputCalculator"; }

  // --- names offered to the interface -------------------------------------------------------------
  static std::vector<std::string> availableOrdinatesForInfiniteConjugate();
  static std::vector<std::string> availableOrdinatesForFiniteConjugate();
  virtual std::vector<std::string> availableAbscissas() const;
  /// By the lens's conjugate (finite without a lens).
  virtual std::vector<std::string> availableOrdinates() const;
  /// "Hexagon" at infinity, "Spherical octahedron" for a finite object.
  std::vector<std::string> searchTypes() const;
  bool lensObjectIsAtInfinity() const;

  // --- settings ----------------------------------------------------------------------------------------
  int numberOfFields() const { return m_numberOfFields.load(); }
  void setNumberOfFields(int n);
  int initialDepth() const { return m_initialDepth.load(); }
  /// Ignored above 3; raises the search depth to it when that is lower.
  void setInitialDepth(int depth);
  int searchDepth() const { return m_searchDepth.load(); }
  /// Ignored above 16; lowers the initial depth to it when that is higher.
  void setSearchDepth(int depth);
  bool resampleCurves() const { return m_resampleCurves.load(); }
  void setResampleCurves(bool on);
  std::string abscissa() const;
  void setAbscissa(const std::string& name);
  std::string ordinate() const;
  void setOrdinate(const std::string& name);
  /// The old name of the ordinate setting.
  void setQuantityToPlot(const std::string& name);
  bool useLensObjectSpaceNumericalAperture() const { return m_useLensObjectSpaceNumericalAperture.load(); }
  void setUseLensObjectSpaceNumericalAperture(bool on);
  /// Never set: both conjugates are supported.
  bool NYI() const { return m_NYI.load(); }
  /// The lens's object was at infinity at the last calculation.
  bool infiniteConjugate() const { return m_infiniteConjugate.load(); }
  /// The mean of the last plotted mean curve over the field.
  double average() const { return m_average.load(); }

  // --- the measurement (worker, lens lock held) ------------------------------------------------------
  /// The scan of one wave; no heights for numberOfFields ≤ 0, the middle of the field
  /// range for 1. A height that cannot be sampled measures [0, 0].
  Scan generateThroughputVersusFieldDataForWave(const WavePtr& wave);
  /// Scans every wave of interest, keyed by the wave's description.
  virtual void generateDataKernel();
  /// The last measured scans; null before the first calculation.
  std::shared_ptr<const std::map<std::string, Scan>> throughputData() const;

  /// q (mm² or sr) in the ordinate `name`: the area or solid angle itself, its fraction of
  /// the sphere or hemisphere, the numerical aperture n·sin θ of the cone of that solid
  /// angle, or the diameter of the disc of that area. NaN for an unknown name.
  static double convertThroughput(const std::string& name, double q, double index);

  // --- life cycle --------------------------------------------------------------------------------------
  void setLens(analysis::LensPtr lens) override;
  bool workCanStart() override;
  void generateInitialRays() override;
  void traceRays() override;
  void calculate() override;
  void generateCurves() override;
  /// The curves of one wave's scan, converted into the ordinate.
  platform::Array generateCurvesForWave(const WavePtr& wave);
  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  /// Replaces the abscissa and the ordinate by the first available ones when the lens
  /// does not offer them.
  void validateNames();
  /// Shows `text` as the status of this run (main thread, later).
  void noteStatus(std::string text);
  /// The calculation under the lens lock; false when the lens cannot be measured.
  bool runKernel();
  FieldPtr scanField();

  std::atomic<bool> m_infiniteConjugate{false};

 private:
  std::atomic<int> m_numberOfFields{3}, m_initialDepth{0}, m_searchDepth{8};
  std::atomic<bool> m_resampleCurves{false}, m_useLensObjectSpaceNumericalAperture{false}, m_NYI{false};
  std::atomic<double> m_average{0};
  mutable std::mutex m_namesMutex;
  std::string m_abscissa, m_ordinate;
  FieldPtr m_field;  // the field moved through the heights (names mutex)
  std::shared_ptr<const std::map<std::string, Scan>> m_data;  // calculator's own lock
};

/// The throughput calculator with the filter settings of a filtering agent: "filterType"
/// ("None", "Surface", "Radius") and "filterRadius" (1.0, lens units); "usesFilterRadius"
/// follows the type. The throughput scan itself is not filtered.
class FilteringCalculator : public ThroughputCalculator {
 public:
  FilteringCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "FilteringCalculator"; }

  static std::vector<std::string> availableFilterTypes();
  std::string filterType() const;
  void setFilterType(const std::string& type);
  double filterRadius() const { return m_filterRadius.load(); }
  void setFilterRadius(double radius);
  bool usesFilterRadius() const { return filterType() == "Radius"; }
  static void filterRaysByRadius(std::span<tracing::Ray> rays, double radius) {
    FilteringAgent::filterRaysByRadius(rays, radius);
  }

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 private:
  mutable std::mutex m_filterMutex;
  std::string m_filterType;
  std::atomic<double> m_filterRadius{1.0};
};

/// Acceptance: for each field and wave of interest, the passing solid angle (or pupil
/// area) of the rays whose transverse momentum at the last surface is below s, against s,
/// measured by an acceptance agent with the filter settings.
class AcceptanceCalculator : public FilteringCalculator {
 public:
  AcceptanceCalculator();
  std::string className() const override { return "AcceptanceCalculator"; }

  /// "Acceptance NA", "Transverse momentum" (the same x values).
  std::vector<std::string> availableAbscissas() const override;
  /// The throughput names, then "OSNA fraction" (finite objects) and "Relative".
  std::vector<std::string> availableOrdinates() const override;

  /// The field's description followed by the wave's.
  static std::string keyForField(const lens::Field& field, const lens::Wave& wave);
  void generateDataKernel() override;
  /// The last measured functions by keyForField; an entry is absent where the agent could
  /// not sample. Null before the first calculation.
  std::shared_ptr<const std::map<std::string, CumulativeArea>> acceptanceData() const;
  /// The largest passing area of the entry (0 when absent).
  double maximumAcceptanceForField(const FieldPtr& field, const WavePtr& wave) const;
  /// The largest over the fields and waves of interest, NaN ignored; 0 when none.
  double maximumAcceptance() const;

  /// The curve of one field and wave; none when its entry is absent or the ordinate
  /// cannot be formed (then `problem` says why).
  std::optional<platform::Dictionary> generateAcceptanceCurvesForField(const FieldPtr& field, const WavePtr& wave,
                                                                       double maximumAcceptance,
                                                                       std::string* problem = nullptr) const;
  void generateCurves() override;

 private:
  std::shared_ptr<const std::map<std::string, CumulativeArea>> m_acceptance;  // calculator's own lock
};

}  // namespace orb::wavefront
