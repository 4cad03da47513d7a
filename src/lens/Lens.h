#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/objects/OBObject.h"
#include "lens/LensDelegate.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "platform/Observation.h"

namespace orb::materials {
class GlassCatalog;
class Medium;
}  // namespace orb::materials

namespace orb::lens {

class Field;
class Wave;
class LensBeam;

/// The root of one optical prescription: the surfaces from object (index 0) to image (last
/// index), the field points, the wavelengths, the lens's own glasses, the beams and the
/// system settings.
///
/// Change cycle: every edit of the lens or a member is observed and queued as one
/// "lensChangedNotification" (as soon as possible, coalesced by name and sender, object
/// `reference()`); on delivery the lens sets `isBusy`, asks its delegate to prime undo,
/// regenerates (the installed system generator), sets `isReady`, tells the delegate
/// `lensIsReady` and clears `isBusy`. A failure is stored as "System update failure
/// (name : reason)" and never escapes into the run loop.
///
/// Key paths: "s3.thickness", "w0.wavelength", "f1.y", "g2.name", "b0.…" read and write
/// through valueForKeyPath / setValueForKeyPath; a member name past the end, without a
/// number or with a negative one reads as nil and is not written.
///
/// Threads: a lens lives on the main thread. Tracing threads lock it with
/// platform::Synchronized keyed by the Lens pointer; copy() takes the same lock, so a worker
/// can copy the document's lens.
///
/// Make lenses with Lens::create() (a new lens), copy(), or a keyed archive.
class Lens : public foundation::OBObject,
             public SurfaceContainer,
             public SurfaceDelegate,
             public materials::GlassReplacer {
 public:
  using Surfaces = std::vector<std::shared_ptr<Surface>>;
  using Fields = std::vector<std::shared_ptr<Field>>;
  using Waves = std::vector<std::shared_ptr<Wave>>;
  using Glasses = std::vector<std::shared_ptr<materials::Glass>>;
  using Beams = std::vector<std::shared_ptr<LensBeam>>;

  /// The regeneration of the system from its paraxial specification. The tracing layer
  /// installs it at start-up; it must run glassCheck() and grinCheck(). Without one the
  /// update only runs those two checks.
  using SystemGenerator = std::function<void(Lens&)>;
  static void setSystemGenerator(SystemGenerator generator);

  /// A new lens: no surfaces, one field at (0, 0), one primary wave of 587.56 nm, field
  /// type "Angle", divergence type 0 with value 1, 21 rays per field, watching itself.
  static std::shared_ptr<Lens> create();

  Lens();
  ~Lens() override;

  /// The field types, in menu order.
  static const std::vector<std::string>& fieldTypes();
  static const std::vector<std::string>& coderKeys();
  /// The keys of paraxialData that the lens also answers as its own keys.
  static const std::vector<std::string>& keyPathsAffectedByParaxialData();

  // --- surfaces --------------------------------------------------------------------------
  const Surfaces& surfaceArray() const { return m_surfaces; }
  void setSurfaceArray(Surfaces surfaces);
  std::size_t countOfSurfaceArray() const { return m_surfaces.size(); }
  std::shared_ptr<Surface> objectInSurfaceArrayAtIndex(std::size_t index) const;
  void insertObjectInSurfaceArrayAtIndex(std::shared_ptr<Surface> surface, std::size_t index);
  void removeObjectFromSurfaceArrayAtIndex(std::size_t index);
  void replaceObjectInSurfaceArrayAtIndex(std::size_t index, std::shared_ptr<Surface> surface);
  /// Appends (the key "surfaces").
  void insertInSurfaces(std::shared_ptr<Surface> surface);

  // --- fields, waves, glasses, beams -----------------------------------------------------
  const Fields& fieldArray() const { return m_fields; }
  void setFieldArray(Fields fields);
  std::size_t countOfFieldArray() const { return m_fields.size(); }
  std::shared_ptr<Field> objectInFieldArrayAtIndex(std::size_t index) const;
  void insertObjectInFieldArrayAtIndex(std::shared_ptr<Field> field, std::size_t index);
  void removeObjectFromFieldArrayAtIndex(std::size_t index);
  void replaceObjectInFieldArrayAtIndex(std::size_t index, std::shared_ptr<Field> field);

  const Waves& waveArray() const { return m_waves; }
  void setWaveArray(Waves waves);
  std::size_t countOfWaveArray() const { return m_waves.size(); }
  std::shared_ptr<Wave> objectInWaveArrayAtIndex(std::size_t index) const;
  /// A primary wave takes the flag from every wave already present.
  void insertObjectInWaveArrayAtIndex(std::shared_ptr<Wave> wave, std::size_t index);
  void removeObjectFromWaveArrayAtIndex(std::size_t index);
  void replaceObjectInWaveArrayAtIndex(std::size_t index, std::shared_ptr<Wave> wave);

  /// The lens's own glasses; their container is the lens's glass catalog and their
  /// delegate the lens.
  const Glasses& glassArray() const;
  const std::shared_ptr<materials::GlassCatalog>& glassCatalog() const { return m_glassCatalog; }
  void setGlassArray(Glasses glasses);
  std::size_t countOfGlassArray() const { return glassArray().size(); }
  std::shared_ptr<materials::Glass> objectInGlassArrayAtIndex(std::size_t index) const;
  void insertObjectInGlassArrayAtIndex(std::shared_ptr<materials::Glass> glass, std::size_t index);
  void removeObjectFromGlassArrayAtIndex(std::size_t index);
  void replaceObjectInGlassArrayAtIndex(std::size_t index, std::shared_ptr<materials::Glass> glass);

  /// None in a new lens; the first insertion makes it.
  const std::optional<Beams>& beamArray() const { return m_beams; }
  void setBeamArray(std::optional<Beams> beams);
  std::size_t countOfBeamArray() const { return m_beams ? m_beams->size() : 0; }
  std::shared_ptr<LensBeam> objectInBeamArrayAtIndex(std::size_t index) const;
  void insertObjectInBeamArrayAtIndex(std::shared_ptr<LensBeam> beam, std::size_t index);
  void removeObjectFromBeamArrayAtIndex(std::size_t index);
  void replaceObjectInBeamArrayAtIndex(std::size_t index, std::shared_ptr<LensBeam> beam);

  // --- configurations --------------------------------------------------------------------
  const platform::Array& multiconfigurationArray() const { return m_multiconfigurations; }
  /// A non-empty array makes its first configuration current.
  void setMulticonfigurationArray(platform::Array configurations);
  /// Replaces the configurations without applying one: editing a configuration's values
  /// is not choosing it.
  void storeMulticonfigurationArray(platform::Array configurations);
  std::size_t countOfMulticonfigurationArray() const { return m_multiconfigurations.size(); }
  platform::Value objectInMulticonfigurationArrayAtIndex(std::size_t index) const;
  const std::optional<platform::Dictionary>& configuration() const { return m_configuration; }
  /// A dictionary of key path → value, or a number indexing multiconfigurationArray: its
  /// paths are applied and it becomes the current configuration.
  void setConfiguration(const platform::Value& configuration);
  std::optional<std::string> configurationDescription() const;
  /// Applies each path; a path that fails is logged and passed over.
  void setValuesForKeyPathsWithDictionary(const platform::Dictionary& values);

  // --- settings ----------------------------------------------------------------------------
  const std::string& fieldType() const { return m_fieldType; }
  void setFieldType(std::string type);
  /// Position in fieldTypes(); none for a type outside them.
  std::optional<std::size_t> fieldTypeIndex() const;
  void setFieldTypeIndex(std::size_t index);
  const std::optional<std::string>& systemName() const { return m_systemName; }
  void setSystemName(std::optional<std::string> name);
  const std::optional<std::string>& unitCode() const { return m_unitCode; }
  void setUnitCode(std::optional<std::string> code);
  const std::string& notes() const { return m_notes; }
  void setNotes(std::string notes);
  void addToNotes(const std::string& text);
  const std::optional<std::vector<std::string>>& preferredCatalogs() const { return m_preferredCatalogs; }
  void setPreferredCatalogs(std::optional<std::vector<std::string>> catalogs);

  int sourceDivergenceType() const { return m_sourceDivergenceType; }
  /// A new type takes its value from the current paraxial data, so the system stays as
  /// it is; type 3 (floating stop) fixes the stop's semidiameter instead.
  void setSourceDivergenceType(int type);
  double sourceDivergenceValue() const { return m_sourceDivergenceValue; }
  void setSourceDivergenceValue(double value);
  bool canEditSourceDivergenceValue() const { return m_sourceDivergenceType != 3; }
  void setEntrancePupilDiameter(double value);
  void setInfiniteConjugateImageSpaceFocalRatio(double value);
  void setObjectSpaceNumericalAperture(double value);
  void setObjectSpaceConeAngleInDegrees(double value);

  bool useTelecentricMode() const { return m_useTelecentricMode; }
  void setUseTelecentricMode(bool on);
  void setForceChiefRayTelecentric(bool on) { setUseTelecentricMode(on); }
  bool useAfocalAnalysis() const { return m_useAfocalAnalysis; }
  void setUseAfocalAnalysis(bool on);
  bool useRealRaysToUpdateSemidiameters() const { return m_useRealRaysToUpdateSemidiameters; }
  void setUseRealRaysToUpdateSemidiameters(bool on);
  bool useRayAiming() const { return m_useRayAiming; }
  void setUseRayAiming(bool on);
  double rayAimingTolerance() const { return m_rayAimingTolerance; }
  void setRayAimingTolerance(double tolerance);
  bool useRayAdjusting() const { return m_useRayAdjusting; }
  void setUseRayAdjusting(bool on);
  bool checksAperturesDuringRayAdjusting() const { return m_checksAperturesDuringRayAdjusting; }
  void setChecksAperturesDuringRayAdjusting(bool on);
  bool renormalizePupilCoordinatesByStopAperture() const { return m_renormalizePupil; }
  void setRenormalizePupilCoordinatesByStopAperture(bool on);
  int numberOfRaysPerField() const { return m_numberOfRaysPerField; }
  void setNumberOfRaysPerField(int count);
  double rayAcquisitionTolerance() const { return m_rayAcquisitionTolerance; }
  void setRayAcquisitionTolerance(double tolerance);
  int lightPipeMaxBounces() const { return m_lightPipeMaxBounces; }
  void setLightPipeMaxBounces(int bounces);
  double track() const { return m_track; }
  void setTrack(double track);
  const std::optional<std::string>& autoloadCatalogType() const { return m_autoloadCatalogType; }
  void setAutoloadCatalogType(std::optional<std::string> type);

  /// The medium around the system (a uniform medium of index 1 in a new lens).
  const std::shared_ptr<materials::Medium>& ambientMedium() const { return m_ambientMedium; }
  void setAmbientMedium(std::shared_ptr<materials::Medium> medium);
  double ambientIndexOfRefraction() const;
  void setAmbientIndexOfRefraction(double index);

  // --- results of the paraxial measurement (held, not computed, here) ------------------------
  const platform::Dictionary& paraxialData() const { return m_paraxialData; }
  void setParaxialData(platform::Dictionary data);
  const platform::Dictionary& cardinalData() const { return m_cardinalData; }
  void setCardinalData(platform::Dictionary data);
  const platform::Dictionary& stopTransferMatrix() const { return m_stopTransferMatrix; }
  void setStopTransferMatrix(platform::Dictionary data);

  /// Ray-aiming state, owned by the aiming code; the lens keeps and copies it.
  struct RayAimingState {
    bool isSetup = false;
    double maximumField = 0;
    std::shared_ptr<platform::Object> interpolatorQY, interpolatorQZ, interpolatorPY, interpolatorPZ;
    double yStopPlus = 0, yStopMinus = 0, xStopPlus = 0, xStopMinus = 0;
  };
  RayAimingState& rayAiming() { return m_rayAiming; }
  const RayAimingState& rayAiming() const { return m_rayAiming; }

  // --- special surfaces and members -----------------------------------------------------------
  std::shared_ptr<Surface> objectSurface() const;
  std::shared_ptr<Surface> imageSurface() const;
  /// The first surface after the object surface that is not a coordinate break.
  std::shared_ptr<Surface> systemSurface() const;
  std::shared_ptr<Surface> stopSurface() const;
  void setStopSurface(const std::shared_ptr<Surface>& surface);
  void surfaceIsBecomingStop(const Surface& surface);
  /// With at least two surfaces and no stop, the system surface becomes the stop.
  void validateStop();
  bool stopHasAperture() const;
  /// Gives the stop a floating aperture.
  void addApertureToStop();
  /// The surface whose thickness focuses the image (see focusKeyPath); none for 2 or fewer.
  std::shared_ptr<Surface> focusSurface() const;
  std::shared_ptr<materials::Medium> imageMedium() const;
  std::shared_ptr<Surface> lastInterfaceSurface() const;
  /// The surfaces with the image surface replaced by nil.
  platform::Array surfaceArrayWithNullImage() const;
  /// The first primary wave; else the first wave made primary; else a new primary wave.
  std::shared_ptr<Wave> primaryWave();
  void waveIsBecomingPrimary(const Wave& wave);
  /// At least one field.
  void validateFields();
  /// Picks the vignetted fields out of a field array ("vignetted == YES"), e.g. with
  /// std::copy_if; a null entry is not vignetted.
  static std::function<bool(const std::shared_ptr<Field>&)> vignettedFieldPredicate();
  void validateWaves() { primaryWave(); }
  void scaleLengthsByFactor(double factor);
  /// Replaces `surface` by a surface of another type made from it, announcing the swap
  /// with "startSurfaceReplacementNotification" / "endSurfaceReplacementNotification".
  bool replaceSurfaceWithType(const std::shared_ptr<Surface>& surface, const std::string& type);

  // --- delegate --------------------------------------------------------------------------------
  std::shared_ptr<LensDelegate> delegate() const { return m_delegate.lock(); }
  /// Held weakly. Setting one re-resolves the glasses (the document's catalog may hold
  /// names the lens could not resolve).
  void setDelegate(const std::shared_ptr<LensDelegate>& delegate);
  void undo();

  // --- key paths ---------------------------------------------------------------------------------
  /// Member names ("s3"); nil for no number, a negative number or an index past the end;
  /// a first letter other than s, b, g, f, w raises "NSUnknownKeyException".
  platform::Value valueForUndefinedKey(std::string_view key) const override;
  /// Keys the lens does not define (other programs' keys, a bare member name) are ignored.
  void setValueForUndefinedKey(std::string_view key, const platform::Value& value) override;
  /// "s3", "w0", … for a member; none for an object outside the lens.
  std::optional<std::string> keyPathForObject(const platform::Object& member) const;
  std::vector<std::string> keyPathsForVariables() const;
  std::vector<std::string> keyPathsForSolves() const;
  std::optional<std::string> focusKeyPath() const;
  static std::string wavelengthKeyPath() { return "primaryWave.wavelength"; }

  // --- change cycle ---------------------------------------------------------------------------------
  bool isBusy() const { return m_isBusy; }
  void setIsBusy(bool busy);
  bool isReady() const { return m_isReady.load(); }
  void setIsReady(bool ready);
  /// Runs the change cycle now, dropping any queued one.
  void trigger();
  void enqueueLensChangedNotification();
  void dequeueLensChangedNotification();
  void postLensChangedNotification();
  void enqueueLensCommentChangedNotification();
  /// A surface comment, or the document's name, changed: the listings that show them are
  /// announced changed and "lensCommentChangedNotification" is enqueued. The handler of
  /// "surfaceCommentChangedNotification".
  void surfaceCommentChanged();
  /// The cycle itself (the handler of "lensChangedNotification").
  void lensChanged();
  /// Regeneration through the installed system generator.
  void generateSystemFromParaxialSpecification();
  /// Starts/stops watching the lens's own keys and observing the notifications it handles.
  void startWatchingSelf();
  void stopWatchingSelf();
  void startObservingNotifications();
  void stopObservingNotifications();

  // --- warnings --------------------------------------------------------------------------------------
  std::optional<std::string> warningReUpdate() const { return lockedWarning(m_warningReUpdate); }
  void setWarningReUpdate(std::optional<std::string> w);
  std::optional<std::string> warningReGlass() const { return lockedWarning(m_warningReGlass); }
  void setWarningReGlass(std::optional<std::string> w);
  std::optional<std::string> warningReGrinDispersion() const { return lockedWarning(m_warningReGrinDispersion); }
  void setWarningReGrinDispersion(std::optional<std::string> w);
  std::optional<std::string> warningReSystemGeneration() const { return lockedWarning(m_warningReSystemGeneration); }
  void setWarningReSystemGeneration(std::optional<std::string> w);
  std::optional<std::string> warningReRayGeneration() const { return lockedWarning(m_warningReRayGeneration); }
  void setWarningReRayGeneration(std::optional<std::string> w);
  std::optional<std::string> warningReTrace() const { return lockedWarning(m_warningReTrace); }
  void setWarningReTrace(std::optional<std::string> w);
  /// The most important warning set: update, glass, gradient dispersion, system
  /// generation, ray generation, trace.
  std::optional<std::string> warning() const;

  // --- glasses ---------------------------------------------------------------------------------------
  std::shared_ptr<materials::Glass> localVersionOfGlass(const std::shared_ptr<materials::Glass>& glass) override;
  /// Number names give model glasses; then the lens's glasses, the document's, the
  /// system's and the default library of autoloadCatalogType, first for the name as
  /// written and only then for its variant spellings; else a dummy glass (`current`
  /// itself when it is a dummy of that name carrying its file's index).
  std::shared_ptr<materials::Glass> glassForName(const std::string& name,
                                                 const std::shared_ptr<materials::Glass>& current) override;
  void newGlassForSurface(Surface& surface) override;
  std::shared_ptr<materials::Glass> lookupGlassWithName(const std::string& name,
                                                        const Glasses& library) const;
  std::shared_ptr<materials::GlassCatalog> localGlassLibrary() const;
  /// Asks the delegate; on "go ahead" every surface holding `oldGlass` takes `newGlass`.
  /// False when no surface holds it. A refusal given at once raises "ValueError"
  /// "Removal refused".
  bool replaceGlass(const std::shared_ptr<materials::Glass>& oldGlass,
                    const std::shared_ptr<materials::Glass>& newGlass) override;
  void resolveGlass();
  std::vector<std::string> namesOfUnknownGlasses() const;
  /// Sets warningReGlass from the unknown glasses, those that stand in with their file's
  /// nd and Vd, glasses of an unknown formula and glasses used outside their wavelength
  /// range; true when there is nothing to say.
  bool glassCheck();
  void grinCheck();
  /// Marks each lens glass in use by a surface (usageCount 1) or not (0).
  void updateGlassUsageCount() const;
  void synchronizeGlassArray();
  /// Diagnostic: one logged line per surface with a glass, "s<surface> <1 when the glass's
  /// container is the lens's glass array> g<index in its container> <glass name> usageCount=<n>
  /// container=<lens|none|other>". Glass and container are named, never printed as
  /// addresses, so logs compare across runs and leak no memory layout. Answers the lines.
  std::vector<std::string> listGlassConnectivity() const;

  // --- SurfaceContainer / SurfaceDelegate --------------------------------------------------------
  const std::vector<std::shared_ptr<Surface>>& containedSurfaces() const override { return m_surfaces; }
  void replaceSurfaceWithSurfaceOfType(Surface& surface, const std::string& type) override;

  // --- copy, dictionaries, archive -----------------------------------------------------------------
  /// An independent lens under the source's lock: new members, pickups pointing into the
  /// copy, glasses in the source's order. A copy neither watches itself nor runs change
  /// cycles, and has no delegate.
  std::shared_ptr<Lens> copy() const;
  /// The lens's values under its model keys (a lensDictionary): importers make one, undo
  /// snapshots archive one.
  platform::Dictionary dictionary() const;
  /// Replaces the members and settings by those of `lensDictionary` (none: an empty lens).
  /// The caller validates stop, fields and waves afterwards.
  void setValuesForDesiredKeysWithDictionary(const std::optional<platform::Dictionary>& lensDictionary);

  std::string className() const override { return "Lens"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  /// Keyed coders only ("Lens class only supports NSKeyedArchiver coders").
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  void willDeallocate() override;

 private:
  static std::vector<platform::KeyEntry> makeKeyEntries();
  /// The new-lens defaults.
  void init();
  void initWithLens(const Lens& source);
  std::shared_ptr<Lens> self() { return std::static_pointer_cast<Lens>(shared_from_this()); }

  void linkSurface(Surface& surface);
  void unlinkSurface(Surface& surface);
  void watchSurface(Surface& surface);
  void watchField(Field& field);
  void watchWave(Wave& wave);
  void watchGlass(materials::Glass& glass);
  void watchBeam(LensBeam& beam);
  void unwatch(const platform::Object& member);
  void linkGlass(materials::Glass& glass);
  void unlinkGlass(materials::Glass& glass);
  void announceKeyPathsForVariables();
  void broadcastRenameMap(const platform::Dictionary& map);
  void checkIndex(std::size_t index, std::size_t count, const char* what) const;
  void installSurfaces(Surfaces surfaces);

  Surfaces m_surfaces;
  Fields m_fields;
  Waves m_waves;
  std::shared_ptr<materials::GlassCatalog> m_glassCatalog;
  std::optional<Beams> m_beams;
  platform::Array m_multiconfigurations;
  std::optional<platform::Dictionary> m_configuration;

  std::string m_fieldType = "Angle";
  std::optional<std::string> m_systemName;
  std::optional<std::string> m_unitCode;
  std::string m_notes;
  std::optional<std::vector<std::string>> m_preferredCatalogs;
  int m_sourceDivergenceType = 0;
  double m_sourceDivergenceValue = 1.0;
  bool m_useTelecentricMode = false;
  bool m_useAfocalAnalysis = false;
  bool m_useRealRaysToUpdateSemidiameters = true;
  bool m_useRayAiming = false;
  double m_rayAimingTolerance = 1e-6;
  bool m_useRayAdjusting = false;
  bool m_checksAperturesDuringRayAdjusting = false;
  bool m_renormalizePupil = false;
  int m_numberOfRaysPerField = 21;
  double m_rayAcquisitionTolerance = 1e-4;
  int m_lightPipeMaxBounces = 100;
  double m_track = 0;
  std::optional<std::string> m_autoloadCatalogType;
  std::shared_ptr<materials::Medium> m_ambientMedium;
  platform::Dictionary m_paraxialData;
  platform::Dictionary m_cardinalData;
  platform::Dictionary m_stopTransferMatrix;
  RayAimingState m_rayAiming;

  bool m_isBusy = false;
  // Set on the main thread, read by workers under the lens lock: no torn or stale reads.
  std::atomic<bool> m_isReady{false};
  // Warnings are written by traces on worker threads and read by the interface: each is
  // read and written under this lock, and an unchanged warning is not announced again.
  mutable std::mutex m_warningMutex;
  std::optional<std::string> lockedWarning(const std::optional<std::string>& field) const;
  void setWarning(std::string_view key, std::optional<std::string>& field, std::optional<std::string> value);
  std::optional<std::string> m_warningReUpdate;
  std::optional<std::string> m_warningReGlass;
  std::optional<std::string> m_warningReGrinDispersion;
  std::optional<std::string> m_warningReSystemGeneration;
  std::optional<std::string> m_warningReRayGeneration;
  std::optional<std::string> m_warningReTrace;

  std::weak_ptr<LensDelegate> m_delegate;
  bool m_watchingSelf = false;
  bool m_observingNotifications = false;
  std::vector<platform::Observation> m_selfObservations;
  std::vector<platform::Observation> m_notificationObservations;
  std::unordered_map<const platform::Object*, std::vector<platform::Observation>> m_memberObservations;
};

}  // namespace orb::lens
