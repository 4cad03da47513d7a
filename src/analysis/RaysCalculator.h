#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analysis/LensRoles.h"
#include "analysis/OBCalculator.h"
#include "analysis/ParallelTrace.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/Observation.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"
#include "tracing/TraceDriver.h"

namespace orb::lens {
class Field;
class LensBeam;
class Surface;
class Wave;
}  // namespace orb::lens

namespace orb::analysis {

/// The index value that means "none chosen" in restoration dictionaries; its 32-bit form
/// is accepted for surfaces (older documents).
inline constexpr std::int64_t kNotFound = std::numeric_limits<std::int64_t>::max();
inline constexpr std::int64_t kNotFound32 = 0x7fffffff;

/// Traces a set of rays through the lens: chooses fields, wavelengths, beams and emitters
/// of interest, samples the entrance pupil in a fan pattern, traces real and paraxial
/// rays to the surface of interest under the lens's lock and colours them. Every ray
/// analysis inherits its calculate stage and changes the start rays
/// (`generateInitialRays`), the trace (`traceRays`) and the curves.
///
/// Choices are kept as lens key paths ("s3", "f0", "w1", "b0"; empty for the default:
/// image surface, all fields, all waves, all beams), so the document's rename maps rewrite
/// them, and persisted as indexes. Make it with platform::makeObject.
///
/// The field rays are made and traced as columns (a tracing::RayBundle, every wave in one
/// bundle) and kept so: analyses read the traced bundle (`tracedBundle()`) without a Ray
/// per row. Beams, emitters and the paraxial marginal and chief rays are Rays.
///
/// Threads: settings are written on the main thread and read by the worker; the string
/// settings sit behind a small mutex, the numbers are atomic. The traced results are
/// replaced under the calculator's own lock (platform::Synchronized(this)); readers take
/// a snapshot (`tracedBundle()`, `rays()`) and keep it as long as they like.
class RaysCalculator : public OBCalculator, public LensUser {
 public:
  using Rays = std::vector<tracing::Ray>;
  using RaysPtr = std::shared_ptr<const Rays>;
  using FieldPtr = std::shared_ptr<lens::Field>;
  using WavePtr = std::shared_ptr<lens::Wave>;
  using SurfacePtr = std::shared_ptr<lens::Surface>;
  using BeamPtr = std::shared_ptr<lens::LensBeam>;

  /// Field rays as columns, and what a Ray of a row needs besides: rows run wave by wave,
  /// field by field, each run of one field and wave following the pupil pattern.
  struct TracedBundle {
    tracing::RayBundle rays;
    /// The unit-pupil points of every run (before a field's vignetting).
    tracing::pupil::Points pupil;
    /// The first live row of each run (after the trace), and that row traced as a Ray of
    /// its own: columns keep no surface normal, and the Airy outline needs the one there.
    std::vector<std::size_t> leadRows;
    std::vector<tracing::Ray> leadRays;

    /// The traced lead Ray of `row`, or null when the row leads no run.
    const tracing::Ray* leadRay(std::size_t row) const;
    /// Every row as a Ray, with its field, wave and pupil coordinate tags; surface normals
    /// (which columns do not keep) only on the lead rows.
    Rays toRays() const;
  };
  using BundlePtr = std::shared_ptr<const TracedBundle>;

  /// Rays per field and wave from the user default "spotDiagramNumberOfRays" (271 when it
  /// is not registered); hexapolar fan; rays coloured by field (fixed blue), beams by beam
  /// (fixed red), emitters fixed red. Observes "emissionChangedNotification".
  RaysCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "RaysCalculator"; }

  // --- lens user ------------------------------------------------------------------------------
  LensPtr lens() const override;
  /// A different lens stops the running work first; a ready lens asks for calculation.
  void setLens(LensPtr lens) override;
  /// Initial choices: first field, first beam, first emitting surface; with fewer than two
  /// fields and several waves, colour by wave and analyse all waves, else the primary wave.
  void firstTimeWithLens(const LensPtr& lens) override;
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;
  bool workCanStart() override;

  // --- pupil sampling ----------------------------------------------------------------------------
  /// "x-fan", "y-fan", "x-fan plus", "y-fan plus", "x-fan minus", "y-fan minus", "random",
  /// "hexapolar", "square", "spiral"; subclasses may offer others (also "golden",
  /// "square square", "centered fft").
  virtual std::vector<std::string> possibleFanTypes() const;
  std::string fanType() const;
  /// A type outside possibleFanTypes becomes the first entry; then the ray count is
  /// synchronised with the pattern. Empty stores "none" and stops there.
  void setFanType(const std::string& fanType);
  /// 0…11 by the traditional menu tags; above 11 "y-fan".
  void setFanTypeTag(int tag);

  std::uint64_t numberOfRays() const { return m_numberOfRays.load(); }
  virtual void setNumberOfRays(std::uint64_t n);
  std::uint64_t beamNumberOfRays() const { return m_beamNumberOfRays.load(); }
  void setBeamNumberOfRays(std::uint64_t n);
  std::uint64_t emissionNumberOfRays() const { return m_emissionNumberOfRays.load(); }
  void setEmissionNumberOfRays(std::uint64_t n);
  double spiralPhase() const { return m_spiralPhase.load(); }
  void setSpiralPhase(double phase);

  /// H(r) = 3r(r + 1) + 1, the points of a hexagonal pattern of r rings.
  static std::uint64_t hexagonalNumber(std::uint64_t rings);
  /// The fewest rings whose pattern holds n points (0 for n below 2).
  static std::uint64_t ringCount(std::uint64_t n);
  /// The smallest k with k² ≥ n.
  static std::uint64_t squareSide(std::uint64_t n);
  bool usesHexNumber() const;
  bool usesSquareNumber() const;
  /// Rings (hexagonal fans), side (square fans), else the count itself.
  std::uint64_t numberOfRaysQuantum() const;
  void setNumberOfRaysQuantum(std::uint64_t q);
  std::uint64_t beamNumberOfRaysQuantum() const { return ringCount(beamNumberOfRays()); }
  void setBeamNumberOfRaysQuantum(std::uint64_t q) { setBeamNumberOfRays(hexagonalNumber(q)); }
  std::uint64_t emissionNumberOfRaysQuantum() const { return ringCount(emissionNumberOfRays()); }
  void setEmissionNumberOfRaysQuantum(std::uint64_t q) { setEmissionNumberOfRays(hexagonalNumber(q)); }
  /// Rounds the ray count up to what the pattern can hold.
  void synchronizeWithFanType();
  /// "hex(2)", "4 x 4", or empty when the count is not a full pattern.
  std::string patternComment() const;
  bool fanIsRandom() const;
  /// Fans drawn as connected lines (spiral and the one-dimensional fans).
  bool curvesAreContinuous() const;
  /// The unit-pupil points of one field and wave, by the fan type; analyses that always
  /// sample one pattern override it.
  virtual tracing::pupil::Points pupilCoordinatesForRealRays() const;
  /// Whether the field rays are placed paraxially even where the lens aims its rays.
  virtual bool suspendsRayAiming() const { return false; }

  bool paraxial() const { return m_paraxial.load(); }
  void setParaxial(bool on);
  bool paraxialMarginalFlag() const { return m_paraxialMarginalFlag.load(); }
  void setParaxialMarginalFlag(bool on);
  bool paraxialChiefFlag() const { return m_paraxialChiefFlag.load(); }
  void setParaxialChiefFlag(bool on);

  // --- selections (main thread, or the worker under the lens lock) -----------------------------
  std::string surfaceOfInterestKeyPath() const;
  void setSurfaceOfInterestKeyPath(const std::string& keyPath);
  std::string fieldOfInterestKeyPath() const;
  void setFieldOfInterestKeyPath(const std::string& keyPath);
  std::string waveOfInterestKeyPath() const;
  void setWaveOfInterestKeyPath(const std::string& keyPath);
  std::string beamOfInterestKeyPath() const;
  void setBeamOfInterestKeyPath(const std::string& keyPath);
  std::string emissionSurfaceKeyPath() const;
  /// Also posts the model-changed notification.
  void setEmissionSurfaceKeyPath(const std::string& keyPath);

  /// The chosen surface, else the lens's image surface.
  SurfacePtr surfaceOfInterest() const;
  /// Choosing the image surface stores the default.
  void setSurfaceOfInterest(const SurfacePtr& surface);
  FieldPtr fieldOfInterest() const;
  void setFieldOfInterest(const FieldPtr& field);
  /// The chosen field alone, else every field of the lens.
  virtual std::vector<FieldPtr> fieldsOfInterest() const;
  WavePtr waveOfInterest() const;
  void setWaveOfInterest(const WavePtr& wave);
  std::vector<WavePtr> wavesOfInterest() const;
  BeamPtr beamOfInterest() const;
  virtual void setBeamOfInterest(const BeamPtr& beam);
  /// Empty unless `usesBeams`.
  virtual std::vector<BeamPtr> beamsOfInterest() const;
  SurfacePtr emissionSurface() const;
  void setEmissionSurface(const SurfacePtr& surface);
  /// Every surface with an emission.
  std::vector<SurfacePtr> emissionSurfaces() const;
  /// Empty unless `usesEmissionSurfaces`.
  std::vector<SurfacePtr> emissionSurfacesOfInterest() const;
  virtual bool usesBeams() const { return false; }
  virtual bool usesEmissionSurfaces() const { return false; }
  /// Rays from which this calculator's trace is split over the cores; 0 leaves it to the
  /// trace driver, whose threshold is set for short runs.
  virtual std::size_t parallelTraceFromRays() const { return kAnalysisParallelTraceRays; }
  /// Two or more fields and two or more waves of interest.
  bool fullMatrixShouldBeWarned() const;

  /// Restoration indexes: the number in the stored key path, kNotFound for none.
  std::int64_t indexOfSurfaceOfInterest() const;
  void setIndexOfSurfaceOfInterest(std::int64_t index);
  std::int64_t indexOfFieldOfInterest() const;
  void setIndexOfFieldOfInterest(std::int64_t index);
  std::int64_t indexOfWaveOfInterest() const;
  void setIndexOfWaveOfInterest(std::int64_t index);
  std::int64_t indexOfBeamOfInterest() const;
  void setIndexOfBeamOfInterest(std::int64_t index);
  std::int64_t indexOfEmissionSurface() const;
  void setIndexOfEmissionSurface(std::int64_t index);

  // --- colours ---------------------------------------------------------------------------------
  static const std::vector<std::string>& possibleRayColorOptions();
  static const std::vector<std::string>& possibleBeamColorOptions();
  static const std::vector<std::string>& possibleEmissionColorOptions();
  std::string rayColorOption() const;
  void setRayColorOption(const std::string& option);
  std::shared_ptr<platform::Color> fixedRayColor() const;
  void setFixedRayColor(std::shared_ptr<platform::Color> color);
  virtual std::string beamColorOption() const;
  void setBeamColorOption(const std::string& option);
  virtual std::shared_ptr<platform::Color> fixedBeamColor() const;
  void setFixedBeamColor(std::shared_ptr<platform::Color> color);
  void setDefaultBeamColor(std::shared_ptr<platform::Color> color) { setFixedBeamColor(std::move(color)); }
  virtual std::string emissionColorOption() const;
  void setEmissionColorOption(const std::string& option);
  virtual std::shared_ptr<platform::Color> fixedEmissionColor() const;
  void setFixedEmissionColor(std::shared_ptr<platform::Color> color);

  /// The colour for a tag or curve dictionary ("lockColor", "color", "beam",
  /// "emissionSurface", "field", "wave"), by the colour options.
  std::shared_ptr<platform::Color> colorForDictionary(const platform::Dictionary& tags) const;
  /// The same for a ray's tags.
  std::shared_ptr<platform::Color> colorForRay(const tracing::Ray& ray) const;
  /// Adopts new colours for the fields, waves, beams and emitting surfaces of the traced
  /// rays, then recolours.
  void updateColorsWithDictionary(const platform::Dictionary& colors) override;
  virtual void updateRayColors();
  /// "modelChangedNotification" at once with the calculator's reference (the ray views).
  void postModelChangedNotification();

  /// New random rays.
  void randomize() { setNeedsCalculation(true); }
  void randomizeBeam() { setNeedsCalculation(true); }
  /// Whether a "randomize" action makes sense now.
  bool canRandomize() const;

  // --- results (snapshots; any thread) ------------------------------------------------------------
  /// The traced field rays; null before the first calculation or when none were made.
  BundlePtr tracedBundle() const;
  /// Every traced ray as a Ray: the bundle's rows, then the other rays (beams, emitters).
  /// Made on first request after a calculation and kept: the calculation never makes it.
  RaysPtr rays() const;
  /// The traced rays outside the bundle (beams, emitters).
  RaysPtr otherRays() const;
  RaysPtr paraxialRays() const;
  /// The start rays, as `rays()`; the bundle's start rows only while keepsInitialRays()
  /// (a trace works on its rows in place, and keeping a copy doubles the memory).
  RaysPtr initialRays() const;
  RaysPtr initialParaxialRays() const;
  bool keepsInitialRays() const { return m_keepsInitialRays.load(); }
  void setKeepsInitialRays(bool keep) { m_keepsInitialRays = keep; }
  double tracePerformanceMetric() const { return m_tracePerformanceMetric.load(); }
  /// The last exception of making or tracing rays.
  std::optional<platform::Exception> exception() const;

  // --- stages -----------------------------------------------------------------------------------
  /// Under the lens lock: make the start rays, trace them. A lens that is not ready, has no
  /// surfaces or no stop transfer matrix leaves the flag set and the old rays in place.
  void calculate() override;
  /// Paraxial marginal and chief rays as flagged; field rays over the pupil pattern for
  /// each field and wave of interest, as one bundle; beam and emitter rays. Lens lock held.
  virtual void generateInitialRays();
  /// Traces the start rays to the surface of interest (the bundle in place), and each
  /// run's first live row again as a Ray for its surface normal. Lens lock held.
  virtual void traceRays();

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  void willDeallocate() override;
  /// The traced arrays for in-place work by the stage that owns them (worker, lens lock):
  /// the rays outside the bundle, the paraxial rays, the bundle (null when none).
  Rays& workingRays() { return m_workingRays; }
  Rays& workingParaxialRays() { return m_workingParaxialRays; }
  TracedBundle* workingBundle() { return m_workingBundle.get(); }
  /// The start rays of this run as generateInitialRays left them (worker, lens lock).
  TracedBundle* workingInitialBundle() { return m_workingInitialBundle.get(); }
  Rays& workingInitialRays() { return m_workingInitialRays; }
  Rays& workingInitialParaxialRays() { return m_workingInitialParaxialRays; }
  /// The lens value at a stored key path; null for none or a missing member.
  std::shared_ptr<platform::Object> objectAtKeyPath(const std::string& keyPath) const;
  std::string keyPathFor(const std::shared_ptr<platform::Object>& member) const;

 private:
  std::string stringSetting(const std::string& member) const;
  void setKeyPath(std::string& member, const std::string& key, const std::string& value);
  std::int64_t indexIn(const std::string& keyPath, char letter) const;
  void emissionChanged();
  void traceLeadRays(lens::Lens& lens, TracedBundle& traced, const lens::Surface* target,
                     const tracing::TraceOptions& options);
  void publishResults();
  std::shared_ptr<platform::Color> colorFor(bool lockColor, const std::shared_ptr<platform::Color>& ownColor,
                                            const platform::Object* beam, const platform::Object* emitter,
                                            const platform::Object* field, const platform::Object* wave) const;

  LensPtr m_lens;  // main thread writes; the worker reads its own copy of the pointer
  mutable std::mutex m_lensMutex;

  mutable std::mutex m_settingsMutex;  // the strings and colours below
  std::string m_fanType = "hexapolar";
  std::string m_surfaceOfInterestKeyPath, m_fieldOfInterestKeyPath, m_waveOfInterestKeyPath;
  std::string m_beamOfInterestKeyPath, m_emissionSurfaceKeyPath;
  std::string m_rayColorOption = "field", m_beamColorOption = "beam", m_emissionColorOption = "fixed";
  std::shared_ptr<platform::Color> m_fixedRayColor, m_fixedBeamColor, m_fixedEmissionColor;

  std::atomic<bool> m_paraxial{false}, m_paraxialMarginalFlag{false}, m_paraxialChiefFlag{false};
  std::atomic<std::uint64_t> m_numberOfRays{0}, m_beamNumberOfRays{0}, m_emissionNumberOfRays{0};
  std::atomic<double> m_spiralPhase{0};
  std::atomic<double> m_tracePerformanceMetric{0};
  std::atomic<bool> m_keepsInitialRays{false};

  // Worker-side working arrays (lens lock held) and the published snapshots (own lock).
  Rays m_workingInitialRays, m_workingInitialParaxialRays, m_workingRays, m_workingParaxialRays;
  std::shared_ptr<TracedBundle> m_workingInitialBundle, m_workingBundle;
  /// A published bundle no reader holds any more, refilled by the next run: its columns
  /// are memory already touched, where fresh ones cost a page fault every 4 KB. Worker only.
  std::shared_ptr<TracedBundle> m_spareBundle;
  bool m_published = false;
  BundlePtr m_bundle, m_initialBundle;
  RaysPtr m_otherRays, m_otherInitialRays, m_initialParaxialRays, m_paraxialRays;
  // Made from the snapshots above on first request.
  mutable RaysPtr m_rays, m_initialRays;
  std::optional<platform::Exception> m_exception;

  platform::Observation m_emissionObservation;
};

}  // namespace orb::analysis
