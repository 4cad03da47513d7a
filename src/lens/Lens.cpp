#include "lens/Lens.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <mutex>

#include "lens/CircularAperture.h"
#include "lens/Field.h"
#include "lens/LensBeam.h"
#include "lens/LensGlassResolver.h"
#include "lens/LensKeyPath.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
#include "materials/GlassCatalog.h"
#include "materials/GrinDispersion.h"
#include "materials/UniformMedium.h"
#include "materials/ZemaxGlass.h"
#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationQueue.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"

namespace orb::lens {

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr unsigned kNameAndSender = platform::Coalescing::OnName | platform::Coalescing::OnSender;

std::mutex g_generatorMutex;
Lens::SystemGenerator g_generator;

template <class T>
Array toArray(const std::vector<std::shared_ptr<T>>& members) {
  Array out;
  out.reserve(members.size());
  for (const auto& m : members) out.push_back(Value(m));
  return out;
}

template <class T>
std::vector<std::shared_ptr<T>> fromArray(const Value& v) {
  std::vector<std::shared_ptr<T>> out;
  if (v.isNil()) return out;
  for (const auto& element : v.asArray()) {
    // A "$null" in an archived array decodes to nil; a lens never holds a missing member.
    if (element.isNil()) platform::Exception::raise("NSInvalidArgumentException", "an array of lens members holds a null");
    out.push_back(element.asObject<T>());
  }
  return out;
}

Value optionalString(const std::optional<std::string>& s) { return s ? Value(*s) : Value(); }
std::optional<std::string> toOptionalString(const Value& v) {
  if (v.isNil()) return std::nullopt;
  return v.asString();
}

template <class T>
std::size_t indexOfIdentical(const std::vector<std::shared_ptr<T>>& array, const platform::Object* object) {
  for (std::size_t i = 0; i < array.size(); ++i)
    if (array[i].get() == object) return i;
  return array.size();
}

template <class T>
std::size_t indexOfEqual(const std::vector<std::shared_ptr<T>>& array, const platform::Object& object) {
  for (std::size_t i = 0; i < array.size(); ++i)
    if (array[i] && (array[i].get() == &object || array[i]->isEqualTo(object))) return i;
  return array.size();
}

// Two media are the same material when they are one object, or uniform media of one glass.
bool sameMedium(const std::shared_ptr<materials::Medium>& a, const std::shared_ptr<materials::Medium>& b) {
  if (a == b) return true;
  auto ua = std::dynamic_pointer_cast<materials::UniformMedium>(a);
  auto ub = std::dynamic_pointer_cast<materials::UniformMedium>(b);
  if (!ua || !ub || !ua->glass() || !ub->glass()) return false;
  return ua->glass() == ub->glass() || ua->glass()->isEqualTo(*ub->glass());
}

// The paraxial quantity that seeds the divergence value of each source divergence type.
const char* seedingKey(int type) {
  static const char* const keys[] = {"entrancePupilDiameter",
                                     "infiniteConjugateImageSpaceFocalRatio",
                                     "objectSpaceNumericalAperture",
                                     nullptr,
                                     "imageSpaceFocalRatio",
                                     "objectConeAngleInDegrees",
                                     "infiniteConjugateImageSpaceNumericalAperture",
                                     "objectSpaceFocalRatio",
                                     "imageSpaceNumericalAperture"};
  return type >= 0 && type <= 8 ? keys[type] : nullptr;
}

}  // namespace

// --- making ------------------------------------------------------------------------------------

void Lens::setSystemGenerator(SystemGenerator generator) {
  std::lock_guard lock(g_generatorMutex);
  g_generator = std::move(generator);
}

Lens::Lens() : m_glassCatalog(materials::GlassCatalog::glassCatalog()) {}
Lens::~Lens() = default;

std::shared_ptr<Lens> Lens::create() {
  auto lens = platform::makeObject<Lens>();
  lens->init();
  return lens;
}

void Lens::init() {
  m_notes.clear();
  validateFields();
  validateWaves();
  m_fieldType = "Angle";
  m_sourceDivergenceType = 0;
  m_sourceDivergenceValue = 1.0;
  m_numberOfRaysPerField = 21;
  setAmbientIndexOfRefraction(1.0);
  auto& defaults = platform::UserDefaults::standard();
  if (!defaults.objectForKey("rayAcquisitionTolerance").isNil())
    m_rayAcquisitionTolerance = defaults.doubleForKey("rayAcquisitionTolerance");
  if (!defaults.objectForKey("lightPipeMaxBounces").isNil())
    m_lightPipeMaxBounces = static_cast<int>(defaults.doubleForKey("lightPipeMaxBounces"));
  m_rayAimingTolerance = 1e-6;
  m_useRealRaysToUpdateSemidiameters = true;
  startWatchingSelf();
  startObservingNotifications();
}

void Lens::willDeallocate() {
  stopWatchingSelf();
  stopObservingNotifications();
  m_memberObservations.clear();
  // Members may outlive the lens (held by an editor or an undo record): they must not
  // keep pointing at it.
  for (const auto& s : m_surfaces) unlinkSurface(*s);
  for (const auto& g : m_glassCatalog->glassArray()) unlinkGlass(*g);
}

const std::vector<std::string>& Lens::fieldTypes() {
  static const std::vector<std::string> types{"Angle", "Object height", "Image height"};
  return types;
}

const std::vector<std::string>& Lens::coderKeys() {
  static const std::vector<std::string> keys{
      "fieldArray",         "waveArray",         "surfaceArray",       "glassArray",
      "fieldType",          "preferredCatalogs", "systemName",         "unitCode",
      "notes",              "sourceDivergenceType", "sourceDivergenceValue", "useTelecentricMode",
      "useAfocalAnalysis",  "useRealRaysToUpdateSemidiameters", "useRayAiming", "rayAimingTolerance",
      "beamArray",          "ambientMedium"};
  return keys;
}

const std::vector<std::string>& Lens::keyPathsAffectedByParaxialData() {
  static const std::vector<std::string> keys{"entrancePupilDiameter",
                                             "entrancePupilLocation",
                                             "entrancePupilMagnification",
                                             "exitPupilDiameter",
                                             "exitPupilLocation",
                                             "focalLength",
                                             "imageSpaceIndexOfRefraction",
                                             "imageSpaceFocalRatio",
                                             "imageSpaceNumericalAperture",
                                             "infiniteConjugateImageSpaceFocalRatio",
                                             "infiniteConjugateImageSpaceNumericalAperture",
                                             "magnification",
                                             "minification",
                                             "objectConeAngleInDegrees",
                                             "objectSpaceFocalRatio",
                                             "objectSpaceIndexOfRefraction",
                                             "objectSpaceNumericalAperture",
                                             "entrancePupilDiameterDetermined",
                                             "objectSpaceNumericalApertureDetermined"};
  return keys;
}

void Lens::checkIndex(std::size_t index, std::size_t count, const char* what) const {
  if (index >= count)
    platform::Exception::raise("NSRangeException", "index %zu beyond bounds [0 .. %zu) of the lens's %s", index, count,
                               what);
}

// --- watching members -----------------------------------------------------------------------------

void Lens::unwatch(const platform::Object& member) { m_memberObservations.erase(&member); }

void Lens::announceKeyPathsForVariables() {
  willChangeValueForKey("keyPathsForVariables");
  didChangeValueForKey("keyPathsForVariables");
}

void Lens::watchSurface(Surface& surface) {
  auto& obs = m_memberObservations[&surface];
  obs.clear();
  obs.push_back(surface.addObserver("keyPathsForVariables",
                                    [this](const platform::ObservedChange&) { announceKeyPathsForVariables(); }));
  obs.push_back(surface.addObserver("isStop", [this, s = &surface](const platform::ObservedChange& c) {
    if (!c.newValue.isNil() && c.newValue.asBool()) surfaceIsBecomingStop(*s);
  }));
  obs.push_back(
      surface.addObserver("surfaceGestalt", [this](const platform::ObservedChange&) { enqueueLensChangedNotification(); }));
}

void Lens::watchField(Field& field) {
  auto& obs = m_memberObservations[&field];
  obs.clear();
  obs.push_back(
      field.addObserver("descriptionY", [this](const platform::ObservedChange&) { enqueueLensChangedNotification(); }));
}

void Lens::watchWave(Wave& wave) {
  auto& obs = m_memberObservations[&wave];
  obs.clear();
  for (const char* key : {"wavelength", "weight"})
    obs.push_back(wave.addObserver(key, [this](const platform::ObservedChange&) { enqueueLensChangedNotification(); }));
  obs.push_back(wave.addObserver("isPrimary", [this, w = &wave](const platform::ObservedChange& c) {
    // A wave losing the flag changes nothing: the wave taking it over announces.
    if (c.newValue.isNil() || !c.newValue.asBool()) return;
    waveIsBecomingPrimary(*w);
    enqueueLensChangedNotification();
  }));
}

void Lens::watchGlass(materials::Glass& glass) {
  auto& obs = m_memberObservations[&glass];
  obs.clear();
  obs.push_back(glass.addObserver("keyPathsForVariables",
                                  [this](const platform::ObservedChange&) { announceKeyPathsForVariables(); }));
}

void Lens::watchBeam(LensBeam& beam) {
  auto& obs = m_memberObservations[&beam];
  obs.clear();
  obs.push_back(
      beam.addObserver("beamGestalt", [this](const platform::ObservedChange&) { enqueueLensChangedNotification(); }));
  obs.push_back(beam.addObserver("keyPathsForVariables",
                                 [this](const platform::ObservedChange&) { announceKeyPathsForVariables(); }));
}

void Lens::linkSurface(Surface& surface) {
  surface.setNotificationToken(reference());
  surface.setDelegate(self());
  surface.setContainer(self());
}

void Lens::unlinkSurface(Surface& surface) {
  surface.setNotificationToken({});
  surface.setDelegate(nullptr);
  surface.setContainer(nullptr);
}

void Lens::linkGlass(materials::Glass& glass) {
  glass.setContainer(m_glassCatalog);
  if (!isDeallocating()) glass.setDelegate(std::static_pointer_cast<materials::GlassReplacer>(self()));
}

void Lens::unlinkGlass(materials::Glass& glass) {
  glass.setDelegate({});
  glass.setContainer({});
}

// --- surfaces ----------------------------------------------------------------------------------------

void Lens::installSurfaces(Surfaces surfaces) {
  changeValueForKey("surfaceArray", [&] {
    for (const auto& s : m_surfaces) {
      unwatch(*s);
      unlinkSurface(*s);
    }
    m_surfaces = std::move(surfaces);
    // In order: a pickup's source precedes it, so each surface finds its sources linked.
    for (const auto& s : m_surfaces) {
      watchSurface(*s);
      linkSurface(*s);
    }
  });
}

void Lens::setSurfaceArray(Surfaces surfaces) { installSurfaces(std::move(surfaces)); }

std::shared_ptr<Surface> Lens::objectInSurfaceArrayAtIndex(std::size_t index) const {
  checkIndex(index, m_surfaces.size(), "surfaces");
  return m_surfaces[index];
}

void Lens::insertObjectInSurfaceArrayAtIndex(std::shared_ptr<Surface> surface, std::size_t index) {
  checkIndex(index, m_surfaces.size() + 1, "surfaces");
  Surface& s = *surface;
  changeValueForKey("surfaceArray", [&] {
    m_surfaces.insert(m_surfaces.begin() + static_cast<std::ptrdiff_t>(index), std::move(surface));
    watchSurface(s);
    linkSurface(s);
  });
  broadcastRenameMap(keypath::renameMapForInsertion('s', index, m_surfaces.size()));
}

void Lens::removeObjectFromSurfaceArrayAtIndex(std::size_t index) {
  checkIndex(index, m_surfaces.size(), "surfaces");
  auto removed = m_surfaces[index];
  changeValueForKey("surfaceArray", [&] {
    unwatch(*removed);
    unlinkSurface(*removed);
    m_surfaces.erase(m_surfaces.begin() + static_cast<std::ptrdiff_t>(index));
  });
  // Pickups and solves of the remaining surfaces must not keep reading a surface that is
  // no longer part of the system.
  for (const auto& s : m_surfaces) s->detachSurface(removed);
  broadcastRenameMap(keypath::renameMapForRemoval('s', index, m_surfaces.size()));
}

void Lens::replaceObjectInSurfaceArrayAtIndex(std::size_t index, std::shared_ptr<Surface> surface) {
  checkIndex(index, m_surfaces.size(), "surfaces");
  auto old = m_surfaces[index];
  changeValueForKey("surfaceArray", [&] {
    unwatch(*old);
    const Dictionary info{{"oldSurface", Value(old)}, {"newSurface", Value(surface)}};
    for (const auto& s : m_surfaces) s->surfaceReplacement(info);
    surface->surfaceReplacement(info);
    unlinkSurface(*old);
    m_surfaces[index] = surface;
    watchSurface(*surface);
    linkSurface(*surface);
  });
}

void Lens::insertInSurfaces(std::shared_ptr<Surface> surface) {
  insertObjectInSurfaceArrayAtIndex(std::move(surface), m_surfaces.size());
}

void Lens::broadcastRenameMap(const Dictionary& map) {
  // Only the document's own lens tells its document; copies have no delegate anyway.
  if (!m_watchingSelf) return;
  if (auto d = delegate()) d->setLensKeyPathUpdateDictionary(map);
}

// --- fields ------------------------------------------------------------------------------------------------

void Lens::setFieldArray(Fields fields) {
  changeValueForKey("fieldArray", [&] {
    for (const auto& f : m_fields) unwatch(*f);
    m_fields = std::move(fields);
    for (const auto& f : m_fields) watchField(*f);
  });
}

std::shared_ptr<Field> Lens::objectInFieldArrayAtIndex(std::size_t index) const {
  checkIndex(index, m_fields.size(), "fields");
  return m_fields[index];
}

void Lens::insertObjectInFieldArrayAtIndex(std::shared_ptr<Field> field, std::size_t index) {
  checkIndex(index, m_fields.size() + 1, "fields");
  changeValueForKey("fieldArray", [&] {
    watchField(*field);
    m_fields.insert(m_fields.begin() + static_cast<std::ptrdiff_t>(index), std::move(field));
  });
}

void Lens::removeObjectFromFieldArrayAtIndex(std::size_t index) {
  checkIndex(index, m_fields.size(), "fields");
  changeValueForKey("fieldArray", [&] {
    unwatch(*m_fields[index]);
    m_fields.erase(m_fields.begin() + static_cast<std::ptrdiff_t>(index));
  });
}

void Lens::replaceObjectInFieldArrayAtIndex(std::size_t index, std::shared_ptr<Field> field) {
  checkIndex(index, m_fields.size(), "fields");
  changeValueForKey("fieldArray", [&] {
    unwatch(*m_fields[index]);
    watchField(*field);
    m_fields[index] = std::move(field);
  });
}

void Lens::validateFields() {
  if (m_fields.empty()) insertObjectInFieldArrayAtIndex(Field::field(), 0);
}

// --- waves ---------------------------------------------------------------------------------------------------

void Lens::setWaveArray(Waves waves) {
  changeValueForKey("waveArray", [&] {
    for (const auto& w : m_waves) unwatch(*w);
    m_waves = std::move(waves);
    for (const auto& w : m_waves) watchWave(*w);
  });
}

std::shared_ptr<Wave> Lens::objectInWaveArrayAtIndex(std::size_t index) const {
  checkIndex(index, m_waves.size(), "waves");
  return m_waves[index];
}

void Lens::insertObjectInWaveArrayAtIndex(std::shared_ptr<Wave> wave, std::size_t index) {
  checkIndex(index, m_waves.size() + 1, "waves");
  if (wave->isPrimary())
    for (const auto& w : m_waves) w->setIsPrimary(false);
  changeValueForKey("waveArray", [&] {
    watchWave(*wave);
    m_waves.insert(m_waves.begin() + static_cast<std::ptrdiff_t>(index), std::move(wave));
  });
}

void Lens::removeObjectFromWaveArrayAtIndex(std::size_t index) {
  checkIndex(index, m_waves.size(), "waves");
  changeValueForKey("waveArray", [&] {
    unwatch(*m_waves[index]);
    m_waves.erase(m_waves.begin() + static_cast<std::ptrdiff_t>(index));
  });
}

void Lens::replaceObjectInWaveArrayAtIndex(std::size_t index, std::shared_ptr<Wave> wave) {
  checkIndex(index, m_waves.size(), "waves");
  changeValueForKey("waveArray", [&] {
    unwatch(*m_waves[index]);
    m_waves[index] = std::move(wave);
    watchWave(*m_waves[index]);
  });
}

std::shared_ptr<Wave> Lens::primaryWave() {
  for (const auto& w : m_waves)
    if (w->isPrimary()) return w;
  if (!m_waves.empty()) {
    m_waves.front()->setIsPrimary(true);
    return m_waves.front();
  }
  auto w = Wave::wave();
  w->setIsPrimary(true);
  insertObjectInWaveArrayAtIndex(w, 0);
  return w;
}

void Lens::waveIsBecomingPrimary(const Wave& wave) {
  for (const auto& w : m_waves)
    if (w.get() != &wave && w->isPrimary()) w->setIsPrimary(false);
}

// --- glasses ---------------------------------------------------------------------------------------------------

const Lens::Glasses& Lens::glassArray() const { return m_glassCatalog->glassArray(); }

void Lens::setGlassArray(Glasses glasses) {
  changeValueForKey("glassArray", [&] {
    for (const auto& g : glassArray()) {
      unwatch(*g);
      unlinkGlass(*g);
    }
    while (m_glassCatalog->count()) m_glassCatalog->removeLastObject();
    for (auto& g : glasses) m_glassCatalog->addObject(g);
    for (const auto& g : glassArray()) {
      linkGlass(*g);
      watchGlass(*g);
    }
  });
}

std::shared_ptr<materials::Glass> Lens::objectInGlassArrayAtIndex(std::size_t index) const {
  checkIndex(index, glassArray().size(), "glasses");
  return glassArray()[index];
}

void Lens::insertObjectInGlassArrayAtIndex(std::shared_ptr<materials::Glass> glass, std::size_t index) {
  checkIndex(index, glassArray().size() + 1, "glasses");
  changeValueForKey("glassArray", [&] {
    materials::Glass& g = *glass;
    m_glassCatalog->insertObject(std::move(glass), index);
    linkGlass(g);
    watchGlass(g);
    // Later glasses changed their index: let those watching "indexInContainer" know.
    for (const auto& other : glassArray()) other->setContainer(m_glassCatalog);
  });
}

void Lens::removeObjectFromGlassArrayAtIndex(std::size_t index) {
  checkIndex(index, glassArray().size(), "glasses");
  changeValueForKey("glassArray", [&] {
    auto g = glassArray()[index];
    unwatch(*g);
    unlinkGlass(*g);
    m_glassCatalog->removeObjectAtIndex(index);
    for (const auto& other : glassArray()) other->setContainer(m_glassCatalog);
  });
}

void Lens::replaceObjectInGlassArrayAtIndex(std::size_t index, std::shared_ptr<materials::Glass> glass) {
  checkIndex(index, glassArray().size(), "glasses");
  changeValueForKey("glassArray", [&] {
    auto old = glassArray()[index];
    unwatch(*old);
    unlinkGlass(*old);
    materials::Glass& g = *glass;
    m_glassCatalog->replaceObjectAtIndex(index, std::move(glass));
    linkGlass(g);
    watchGlass(g);
  });
}

// --- beams -----------------------------------------------------------------------------------------------------

void Lens::setBeamArray(std::optional<Beams> beams) {
  changeValueForKey("beamArray", [&] {
    if (m_beams)
      for (const auto& b : *m_beams) unwatch(*b);
    m_beams = std::move(beams);
    if (m_beams)
      for (const auto& b : *m_beams) watchBeam(*b);
  });
}

std::shared_ptr<LensBeam> Lens::objectInBeamArrayAtIndex(std::size_t index) const {
  checkIndex(index, countOfBeamArray(), "beams");
  return (*m_beams)[index];
}

void Lens::insertObjectInBeamArrayAtIndex(std::shared_ptr<LensBeam> beam, std::size_t index) {
  checkIndex(index, countOfBeamArray() + 1, "beams");
  changeValueForKey("beamArray", [&] {
    if (!m_beams) {
      m_beams.emplace();
      m_beams->reserve(10);
    }
    watchBeam(*beam);
    m_beams->insert(m_beams->begin() + static_cast<std::ptrdiff_t>(index), std::move(beam));
  });
  broadcastRenameMap(keypath::renameMapForInsertion('b', index, m_beams->size()));
}

void Lens::removeObjectFromBeamArrayAtIndex(std::size_t index) {
  checkIndex(index, countOfBeamArray(), "beams");
  changeValueForKey("beamArray", [&] {
    unwatch(*(*m_beams)[index]);
    m_beams->erase(m_beams->begin() + static_cast<std::ptrdiff_t>(index));
  });
  broadcastRenameMap(keypath::renameMapForRemoval('b', index, m_beams->size()));
}

void Lens::replaceObjectInBeamArrayAtIndex(std::size_t index, std::shared_ptr<LensBeam> beam) {
  checkIndex(index, countOfBeamArray(), "beams");
  changeValueForKey("beamArray", [&] {
    unwatch(*(*m_beams)[index]);
    watchBeam(*beam);
    (*m_beams)[index] = std::move(beam);
  });
}

// --- configurations ---------------------------------------------------------------------------------------------

void Lens::setMulticonfigurationArray(Array configurations) {
  setAndAnnounce("multiconfigurationArray", m_multiconfigurations, std::move(configurations));
  if (!m_multiconfigurations.empty()) setConfiguration(m_multiconfigurations.front());
}

void Lens::storeMulticonfigurationArray(Array configurations) {
  setAndAnnounce("multiconfigurationArray", m_multiconfigurations, std::move(configurations));
}

Value Lens::objectInMulticonfigurationArrayAtIndex(std::size_t index) const {
  checkIndex(index, m_multiconfigurations.size(), "configurations");
  return m_multiconfigurations[index];
}

void Lens::setConfiguration(const Value& configuration) {
  Value chosen = configuration;
  if (chosen.isNumber()) {
    const auto n = chosen.asInt();
    if (n < 0 || static_cast<std::size_t>(n) >= m_multiconfigurations.size()) {
      platform::log("configuration %lld does not exist", static_cast<long long>(n));
      return;
    }
    chosen = m_multiconfigurations[static_cast<std::size_t>(n)];
  }
  if (chosen.isNil()) {
    setAndAnnounce("configuration", m_configuration, std::nullopt);
    return;
  }
  const Dictionary& values = chosen.asDictionary();
  setValuesForKeyPathsWithDictionary(values);
  setAndAnnounce("configuration", m_configuration, values);
}

std::optional<std::string> Lens::configurationDescription() const {
  if (!m_configuration) return std::nullopt;
  return m_configuration->description();
}

void Lens::setValuesForKeyPathsWithDictionary(const Dictionary& values) {
  for (const auto& [key, value] : values) {
    try {
      // Configurations read from Zemax files carry {value, isVariable} per path; the value
      // is what the path takes.
      const Value* inner = value.isDictionary() ? value.asDictionary().find("value") : nullptr;
      setValueForKeyPath(key.asString(), inner ? *inner : value);
    } catch (const platform::Exception& e) {
      platform::log("%s: %s", e.name().c_str(), e.reason().c_str());
    }
  }
}

// --- settings ---------------------------------------------------------------------------------------------------

void Lens::setFieldType(std::string type) { setAndAnnounce("fieldType", m_fieldType, std::move(type)); }

std::optional<std::size_t> Lens::fieldTypeIndex() const {
  const auto& types = fieldTypes();
  auto it = std::find(types.begin(), types.end(), m_fieldType);
  if (it == types.end()) return std::nullopt;
  return static_cast<std::size_t>(it - types.begin());
}

void Lens::setFieldTypeIndex(std::size_t index) {
  checkIndex(index, fieldTypes().size(), "field types");
  setFieldType(fieldTypes()[index]);
}

void Lens::setSystemName(std::optional<std::string> name) {
  setAndAnnounce("systemName", m_systemName, std::move(name));
  if (auto d = delegate()) d->updateChangeCount();
}

void Lens::setUnitCode(std::optional<std::string> code) { setAndAnnounce("unitCode", m_unitCode, std::move(code)); }

void Lens::setNotes(std::string notes) {
  setAndAnnounce("notes", m_notes, std::move(notes));
  if (auto d = delegate()) d->updateChangeCount();
}

void Lens::addToNotes(const std::string& text) { setNotes(m_notes.empty() ? text : m_notes + "\n" + text); }

void Lens::setPreferredCatalogs(std::optional<std::vector<std::string>> catalogs) {
  setAndAnnounce("preferredCatalogs", m_preferredCatalogs, std::move(catalogs));
}

void Lens::setSourceDivergenceType(int type) {
  if (type == m_sourceDivergenceType) return;
  setAndAnnounce("sourceDivergenceType", m_sourceDivergenceType, type);
  if (type < 0 || type > 8) return;
  if (type == 3) {
    if (auto stop = stopSurface()) stop->setSemidiameterSolveType(Surface::kSemiFixed);
    return;
  }
  const Value* seed = m_paraxialData.find(seedingKey(type));
  if (seed && seed->isNumber() && std::isfinite(seed->asDouble())) setSourceDivergenceValue(seed->asDouble());
}

void Lens::setSourceDivergenceValue(double value) {
  setAndAnnounce("sourceDivergenceValue", m_sourceDivergenceValue, value);
}

void Lens::setEntrancePupilDiameter(double value) {
  setSourceDivergenceType(0);
  setSourceDivergenceValue(value);
}
void Lens::setInfiniteConjugateImageSpaceFocalRatio(double value) {
  setSourceDivergenceType(1);
  setSourceDivergenceValue(value);
}
void Lens::setObjectSpaceNumericalAperture(double value) {
  setSourceDivergenceType(2);
  setSourceDivergenceValue(value);
}
void Lens::setObjectSpaceConeAngleInDegrees(double value) {
  setSourceDivergenceType(5);
  setSourceDivergenceValue(value);
}

void Lens::setUseTelecentricMode(bool on) { setAndAnnounce("useTelecentricMode", m_useTelecentricMode, on); }
void Lens::setUseAfocalAnalysis(bool on) { setAndAnnounce("useAfocalAnalysis", m_useAfocalAnalysis, on); }
void Lens::setUseRealRaysToUpdateSemidiameters(bool on) {
  setAndAnnounce("useRealRaysToUpdateSemidiameters", m_useRealRaysToUpdateSemidiameters, on);
}
void Lens::setUseRayAiming(bool on) { setAndAnnounce("useRayAiming", m_useRayAiming, on); }
void Lens::setRayAimingTolerance(double t) { setAndAnnounce("rayAimingTolerance", m_rayAimingTolerance, t); }
void Lens::setUseRayAdjusting(bool on) { setAndAnnounce("useRayAdjusting", m_useRayAdjusting, on); }
void Lens::setChecksAperturesDuringRayAdjusting(bool on) {
  setAndAnnounce("checksAperturesDuringRayAdjusting", m_checksAperturesDuringRayAdjusting, on);
}
void Lens::setRenormalizePupilCoordinatesByStopAperture(bool on) {
  setAndAnnounce("renormalizePupilCoordinatesByStopAperture", m_renormalizePupil, on);
}
void Lens::setNumberOfRaysPerField(int count) { setAndAnnounce("numberOfRaysPerField", m_numberOfRaysPerField, count); }
void Lens::setRayAcquisitionTolerance(double t) { setAndAnnounce("rayAcquisitionTolerance", m_rayAcquisitionTolerance, t); }
void Lens::setLightPipeMaxBounces(int bounces) { setAndAnnounce("lightPipeMaxBounces", m_lightPipeMaxBounces, bounces); }
void Lens::setTrack(double track) { setAndAnnounce("track", m_track, track); }
void Lens::setAutoloadCatalogType(std::optional<std::string> type) {
  setAndAnnounce("autoloadCatalogType", m_autoloadCatalogType, std::move(type));
}

void Lens::setAmbientMedium(std::shared_ptr<materials::Medium> medium) {
  setAndAnnounce("ambientMedium", m_ambientMedium, std::move(medium));
}

double Lens::ambientIndexOfRefraction() const {
  if (!m_ambientMedium) return 1.0;
  // At the primary wave, as every other first-order index; a lens without one yet uses d.
  double lambda = materials::spectral::kLambdaD;
  for (const auto& w : m_waves)
    if (w->isPrimary()) {
      lambda = w->wavelengthInMicrons();
      break;
    }
  return m_ambientMedium->indexOfRefractionAtWavelengthInMicrons(lambda);
}

void Lens::setAmbientIndexOfRefraction(double index) {
  setAmbientMedium(materials::UniformMedium::mediumWithGlass(materials::Glass::glassWithIndex(index)));
}

void Lens::setParaxialData(Dictionary data) { setAndAnnounce("paraxialData", m_paraxialData, std::move(data)); }
void Lens::setCardinalData(Dictionary data) { setAndAnnounce("cardinalData", m_cardinalData, std::move(data)); }
void Lens::setStopTransferMatrix(Dictionary data) {
  setAndAnnounce("stopTransferMatrix", m_stopTransferMatrix, std::move(data));
}

// --- special surfaces -------------------------------------------------------------------------------------------

std::shared_ptr<Surface> Lens::objectSurface() const { return m_surfaces.empty() ? nullptr : m_surfaces.front(); }
std::shared_ptr<Surface> Lens::imageSurface() const { return m_surfaces.empty() ? nullptr : m_surfaces.back(); }

std::shared_ptr<Surface> Lens::systemSurface() const {
  for (std::size_t i = 1; i < m_surfaces.size(); ++i)
    if (!m_surfaces[i]->isCoordinateBreak()) return m_surfaces[i];
  return nullptr;
}

std::shared_ptr<Surface> Lens::stopSurface() const {
  for (const auto& s : m_surfaces)
    if (s->isStop()) return s;
  return nullptr;
}

void Lens::setStopSurface(const std::shared_ptr<Surface>& surface) {
  for (const auto& s : m_surfaces)
    if (s != surface && s->isStop()) s->setIsStop(false);
  if (surface) surface->setIsStop(true);
}

void Lens::surfaceIsBecomingStop(const Surface& surface) {
  for (const auto& s : m_surfaces)
    if (s.get() != &surface && s->isStop()) s->setIsStop(false);
}

void Lens::validateStop() {
  if (m_surfaces.size() < 2 || stopSurface()) return;
  if (auto s = systemSurface()) s->setIsStop(true);
}

bool Lens::stopHasAperture() const {
  auto stop = stopSurface();
  return stop && stop->apertureObject();
}

void Lens::addApertureToStop() {
  auto stop = stopSurface();
  if (!stop) return;
  stop->setAperture(FloatingAperture::aperture());
  enqueueLensChangedNotification();
}

std::shared_ptr<Surface> Lens::focusSurface() const {
  const std::size_t n = m_surfaces.size();
  if (n <= 2) return nullptr;
  for (std::size_t i = n - 2; i >= 2; --i)
    if (!m_surfaces[i]->isCoordinateBreak()) return m_surfaces[i];
  return m_surfaces[1];
}

std::shared_ptr<materials::Medium> Lens::imageMedium() const {
  if (m_surfaces.size() < 2) return nullptr;
  return m_surfaces[m_surfaces.size() - 2]->medium();
}

std::shared_ptr<Surface> Lens::lastInterfaceSurface() const {
  if (m_surfaces.size() < 2) return nullptr;
  const auto medium = imageMedium();
  std::size_t i = m_surfaces.size() - 2;
  while (i > 0 && sameMedium(m_surfaces[i - 1]->medium(), medium)) --i;
  return m_surfaces[i];
}

Array Lens::surfaceArrayWithNullImage() const {
  Array out = toArray(m_surfaces);
  if (!out.empty()) out.back() = Value();
  return out;
}

void Lens::scaleLengthsByFactor(double factor) {
  for (const auto& s : m_surfaces) s->scaleByFactor(factor);
  if (m_sourceDivergenceType == 0) setSourceDivergenceValue(m_sourceDivergenceValue * factor);
}

bool Lens::replaceSurfaceWithType(const std::shared_ptr<Surface>& surface, const std::string& type) {
  auto replacement = SurfaceTypeRegistry::shared().surfaceOfType(type, surface.get());
  const std::size_t index = indexOfEqual(m_surfaces, *surface);
  if (index == m_surfaces.size()) return false;
  auto& queue = platform::NotificationQueue::defaultQueue();
  queue.enqueue(platform::Notification("startSurfaceReplacementNotification", Value(self())),
                platform::PostingStyle::Now, platform::Coalescing::OnName);
  replaceObjectInSurfaceArrayAtIndex(index, replacement);
  queue.enqueue(platform::Notification("endSurfaceReplacementNotification", Value(self())),
                platform::PostingStyle::Now, platform::Coalescing::OnName);
  return true;
}

void Lens::replaceSurfaceWithSurfaceOfType(Surface& surface, const std::string& type) {
  const std::size_t index = indexOfIdentical(m_surfaces, &surface);
  if (index < m_surfaces.size()) replaceSurfaceWithType(m_surfaces[index], type);
}

// --- delegate ---------------------------------------------------------------------------------------------------

void Lens::setDelegate(const std::shared_ptr<LensDelegate>& delegate) {
  m_delegate = delegate;
  if (delegate) resolveGlass();
}

void Lens::undo() {
  if (auto d = delegate()) d->undo();
}

// --- key paths ---------------------------------------------------------------------------------------------------

Value Lens::valueForUndefinedKey(std::string_view key) const {
  if (key.empty()) return {};
  auto ref = keypath::scanMemberName(key);
  if (!ref) return OBObject::valueForUndefinedKey(key);
  if (!ref->index) return {};
  const std::size_t i = *ref->index;
  switch (ref->letter) {
    case 's': return i < m_surfaces.size() ? Value(m_surfaces[i]) : Value();
    case 'w': return i < m_waves.size() ? Value(m_waves[i]) : Value();
    case 'f': return i < m_fields.size() ? Value(m_fields[i]) : Value();
    case 'g': return i < glassArray().size() ? Value(glassArray()[i]) : Value();
    case 'b': return i < countOfBeamArray() ? Value((*m_beams)[i]) : Value();
    default: return {};
  }
}

void Lens::setValueForUndefinedKey(std::string_view, const Value&) {}

std::optional<std::string> Lens::keyPathForObject(const platform::Object& member) const {
  auto name = [&](char letter, const auto& array) -> std::optional<std::string> {
    if (indexOfEqual(array, member) == array.size()) return std::nullopt;
    const std::size_t identical = indexOfIdentical(array, &member);
    if (identical == array.size()) return std::nullopt;
    return keypath::memberName(letter, identical);
  };
  if (auto n = name('s', m_surfaces)) return n;
  if (auto n = name('w', m_waves)) return n;
  if (auto n = name('f', m_fields)) return n;
  if (auto n = name('g', glassArray())) return n;
  if (m_beams)
    if (auto n = name('b', *m_beams)) return n;
  return std::nullopt;
}

std::vector<std::string> Lens::keyPathsForVariables() const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < m_surfaces.size(); ++i)
    for (const auto& p : m_surfaces[i]->keyPathsForVariables()) out.push_back(keypath::memberName('s', i) + "." + p);
  const auto& glasses = glassArray();
  for (std::size_t i = 0; i < glasses.size(); ++i) {
    if (glasses[i]->usageCount() <= 0) continue;
    for (const auto& p : glasses[i]->keyPathsForVariables())
      out.push_back(keypath::memberName('g', i) + "." + p.asString());
  }
  if (m_beams)
    for (std::size_t i = 0; i < m_beams->size(); ++i)
      for (const auto& p : (*m_beams)[i]->keyPathsForVariables()) out.push_back(keypath::memberName('b', i) + "." + p);
  return out;
}

std::vector<std::string> Lens::keyPathsForSolves() const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < m_surfaces.size(); ++i)
    for (const auto& p : m_surfaces[i]->keyPathsForSolves()) out.push_back(keypath::memberName('s', i) + "." + p);
  return out;
}

std::optional<std::string> Lens::focusKeyPath() const {
  auto focus = focusSurface();
  if (!focus) return std::nullopt;
  return keypath::memberName('s', indexOfIdentical(m_surfaces, focus.get())) + ".thickness";
}

// --- change cycle ------------------------------------------------------------------------------------------------

void Lens::setIsBusy(bool busy) { setAndAnnounce("isBusy", m_isBusy, busy); }
void Lens::setIsReady(bool ready) { setAndAnnounce("isReady", m_isReady, ready); }

void Lens::enqueueLensChangedNotification() {
  // A lens that runs no cycles of its own (a copy) has nobody to tell.
  if (!m_observingNotifications) return;
  platform::NotificationQueue::defaultQueue().enqueue(
      platform::Notification("lensChangedNotification", Value(reference())), platform::PostingStyle::ASAP,
      kNameAndSender);
}

void Lens::dequeueLensChangedNotification() {
  platform::NotificationQueue::defaultQueue().dequeueMatching(
      platform::Notification("lensChangedNotification", Value(reference())), kNameAndSender);
}

void Lens::postLensChangedNotification() {
  platform::NotificationQueue::defaultQueue().enqueue(
      platform::Notification("lensChangedNotification", Value(reference())), platform::PostingStyle::Now,
      kNameAndSender);
}

void Lens::trigger() { postLensChangedNotification(); }

void Lens::enqueueLensCommentChangedNotification() {
  platform::NotificationQueue::defaultQueue().enqueue(
      platform::Notification("lensCommentChangedNotification", Value(reference())), platform::PostingStyle::WhenIdle,
      kNameAndSender);
}

void Lens::surfaceCommentChanged() {
  for (const char* key : {"transformationMatrixListing", "prescriptionListing", "seidelListing"}) {
    willChangeValueForKey(key);
    didChangeValueForKey(key);
  }
  enqueueLensCommentChangedNotification();
}

void Lens::generateSystemFromParaxialSpecification() {
  SystemGenerator generator;
  {
    std::lock_guard lock(g_generatorMutex);
    generator = g_generator;
  }
  if (generator) {
    generator(*this);
    return;
  }
  glassCheck();
  grinCheck();
}

void Lens::lensChanged() {
  setWarningReUpdate(std::nullopt);
  dequeueLensChangedNotification();
  auto fail = [this](const std::string& name, const std::string& reason) {
    dequeueLensChangedNotification();
    if (!warningReUpdate())
      setWarningReUpdate(platform::format("System update failure (%s : %s)", name.c_str(), reason.c_str()));
    setIsBusy(false);
    platform::log("System update failure (%s : %s)", name.c_str(), reason.c_str());
  };
  // The failure is the lens's state (its warning), not the run loop's: nothing escapes.
  try {
    setIsBusy(true);
    if (auto d = delegate()) d->primeUndoForLensChange();
    {
      // Workers read the lens under its lock while they trace; the update rewrites what
      // they read (paraxial data, positions, semidiameters), so it waits for them.
      platform::Synchronized lock(this);
      generateSystemFromParaxialSpecification();
    }
    setIsReady(true);
    if (auto d = delegate()) d->lensIsReady();
    setIsBusy(false);
  } catch (const platform::Exception& e) {
    fail(e.name(), e.reason());
  } catch (const std::exception& e) {
    fail("std::exception", e.what());
  }
}

void Lens::startWatchingSelf() {
  if (m_watchingSelf) return;
  m_watchingSelf = true;
  m_selfObservations.push_back(
      addObserver("modelGestalt", [this](const platform::ObservedChange&) { enqueueLensChangedNotification(); }));
  auto& defaults = platform::UserDefaults::standard();
  m_selfObservations.push_back(defaults.addObserver("rayAcquisitionTolerance", [this](const platform::ObservedChange&) {
    setRayAcquisitionTolerance(platform::UserDefaults::standard().doubleForKey("rayAcquisitionTolerance"));
  }));
  m_selfObservations.push_back(defaults.addObserver("lightPipeMaxBounces", [this](const platform::ObservedChange&) {
    setLightPipeMaxBounces(static_cast<int>(platform::UserDefaults::standard().integerForKey("lightPipeMaxBounces")));
  }));
}

void Lens::stopWatchingSelf() {
  if (!m_watchingSelf) return;
  m_watchingSelf = false;
  m_selfObservations.clear();
}

void Lens::startObservingNotifications() {
  if (m_observingNotifications) return;
  m_observingNotifications = true;
  auto& center = platform::NotificationCenter::defaultCenter();
  const Value me(reference());
  m_notificationObservations.push_back(center.addObserver(
      "surfaceChangedNotification", me, [this](const platform::Notification&) { enqueueLensChangedNotification(); }));
  m_notificationObservations.push_back(
      center.addObserver("lensChangedNotification", me, [this](const platform::Notification&) { lensChanged(); }));
  m_notificationObservations.push_back(center.addObserver(
      "surfaceCommentChangedNotification", me, [this](const platform::Notification&) { surfaceCommentChanged(); }));
  m_notificationObservations.push_back(center.addObserver(
      "systemGlassCatalogResetNotification", {}, [this](const platform::Notification&) { resolveGlass(); }));
}

void Lens::stopObservingNotifications() {
  if (!m_observingNotifications) return;
  m_observingNotifications = false;
  m_notificationObservations.clear();
}

// --- warnings -----------------------------------------------------------------------------------------------------

void Lens::setWarningReUpdate(std::optional<std::string> w) { setWarning("warningReUpdate", m_warningReUpdate, std::move(w)); }
void Lens::setWarningReGlass(std::optional<std::string> w) { setWarning("warningReGlass", m_warningReGlass, std::move(w)); }
void Lens::setWarningReGrinDispersion(std::optional<std::string> w) {
  setWarning("warningReGrinDispersion", m_warningReGrinDispersion, std::move(w));
}
void Lens::setWarningReSystemGeneration(std::optional<std::string> w) {
  setWarning("warningReSystemGeneration", m_warningReSystemGeneration, std::move(w));
}
void Lens::setWarningReRayGeneration(std::optional<std::string> w) {
  setWarning("warningReRayGeneration", m_warningReRayGeneration, std::move(w));
}
void Lens::setWarningReTrace(std::optional<std::string> w) { setWarning("warningReTrace", m_warningReTrace, std::move(w)); }

std::optional<std::string> Lens::lockedWarning(const std::optional<std::string>& field) const {
  std::lock_guard lock(m_warningMutex);
  return field;
}

void Lens::setWarning(std::string_view key, std::optional<std::string>& field, std::optional<std::string> value) {
  {
    std::lock_guard lock(m_warningMutex);
    if (field == value) return;
  }
  changeValueForKey(key, [&] {
    std::lock_guard lock(m_warningMutex);
    field = std::move(value);
  });
}

std::optional<std::string> Lens::warning() const {
  std::lock_guard lock(m_warningMutex);
  for (const auto* w : {&m_warningReUpdate, &m_warningReGlass, &m_warningReGrinDispersion,
                        &m_warningReSystemGeneration, &m_warningReRayGeneration, &m_warningReTrace})
    if (*w) return *w;
  return std::nullopt;
}

// --- glasses: resolution and bookkeeping --------------------------------------------------------------------------

std::shared_ptr<materials::Glass> Lens::localVersionOfGlass(const std::shared_ptr<materials::Glass>& glass) {
  if (!glass) return nullptr;
  const auto& glasses = glassArray();
  const std::size_t i = indexOfEqual(glasses, *glass);
  return i < glasses.size() ? glasses[i] : glass;
}

std::shared_ptr<materials::GlassCatalog> Lens::localGlassLibrary() const {
  auto d = delegate();
  return d ? d->localGlassCatalog() : nullptr;
}

std::shared_ptr<materials::Glass> Lens::lookupGlassWithName(const std::string& name, const Glasses& library) const {
  return glassresolution::lookupGlassWithName(name, library, m_preferredCatalogs.value_or(std::vector<std::string>{}));
}

std::shared_ptr<materials::Glass> Lens::glassForName(const std::string& name,
                                                     const std::shared_ptr<materials::Glass>& current) {
  if (auto model = glassresolution::parseModelGlassName(name)) {
    // Retyping the numbers of a model glass edits that glass rather than making another.
    auto glass = current && current->isModel() ? current : materials::Glass::glassWithName(name);
    glass->setReferenceIndex(model->nd);
    if (model->vd) glass->setReferenceAbbe(*model->vd);
    glass->setDynamicNameType(model->dynamicNameType);
    glass->setDynamicName(true);
    return glass;
  }
  // The name as written, found anywhere in the search order, wins over a variant spelling
  // ("N-" + name, dashes dropped) found earlier: SF5 is SCHOTT's SF5, not its N-SF5.
  const std::vector<std::string> preferred = m_preferredCatalogs.value_or(std::vector<std::string>{});
  std::vector<const Glasses*> libraries{&glassArray()};
  const auto local = localGlassLibrary();
  if (local) libraries.push_back(&local->glassArray());
  const auto system = glassresolution::systemGlassLibrary();
  if (system) libraries.push_back(&system->glassArray());
  for (const auto* library : libraries)
    if (auto g = glassresolution::lookupGlassWithName(name, *library, preferred, glassresolution::NameMatch::Exact))
      return g;
  std::shared_ptr<materials::GlassCatalog> defaultLibrary;
  if (m_autoloadCatalogType == "ZEMAX") defaultLibrary = materials::GlassCatalog::defaultZemaxGlassLibrary();
  if (m_autoloadCatalogType == "OSLO") defaultLibrary = materials::GlassCatalog::defaultOsloGlassLibrary();
  // A copy: the library's glass must not become a member of this lens (nor of several).
  if (defaultLibrary)
    if (auto g = defaultLibrary->lookupGlassWithName(name)) return g->copy();
  for (const auto* library : libraries)
    if (auto g = glassresolution::lookupGlassWithName(name, *library, preferred, glassresolution::NameMatch::Variant))
      return g;
  // What the lens file said of a glass no catalog holds (a Zemax GLAS line's nd and Vd)
  // still refracts better than the vacuum of a bare dummy.
  auto sameName = [](const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
      return std::toupper(x) == std::toupper(y);
    });
  };
  if (current && current->isDummyWithIndex() && sameName(current->name(), name)) return current;
  return materials::Glass::dummyGlassWithName(name);
}

void Lens::newGlassForSurface(Surface& surface) {
  auto glass = surface.glass();
  if (glass && !glass->isDummy()) {
    const auto& glasses = glassArray();
    if (indexOfIdentical(glasses, glass.get()) == glasses.size()) {
      const std::size_t equal = indexOfEqual(glasses, *glass);
      if (equal < glasses.size()) {
        surface.setGlass(glasses[equal]);  // one object per glass in the lens
        return;
      }
      insertObjectInGlassArrayAtIndex(glass, glasses.size());
    }
  }
  updateGlassUsageCount();
}

std::function<bool(const std::shared_ptr<Field>&)> Lens::vignettedFieldPredicate() {
  return [](const std::shared_ptr<Field>& field) { return field && field->vignetted(); };
}

void Lens::updateGlassUsageCount() const {
  for (const auto& g : glassArray()) g->setUsageCount(0);
  for (const auto& s : m_surfaces)
    if (s->glass()) s->glass()->setUsageCount(1);
}

std::vector<std::string> Lens::listGlassConnectivity() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < m_surfaces.size(); ++i) {
    const auto glass = m_surfaces[i] ? m_surfaces[i]->glass() : nullptr;
    if (!glass) continue;
    const auto container = glass->container();
    const bool inLens = container && container == m_glassCatalog;
    const std::size_t index = glass->indexInContainer();
    const std::string indexText =
        index == materials::Glass::kNotFound ? std::string("-") : std::to_string(index);
    const char* containerName = !container ? "none" : inLens ? "lens" : "other";
    lines.push_back(platform::format("s%zu %d g%s %s usageCount=%d container=%s", i, inLens ? 1 : 0,
                                     indexText.c_str(), glass->name().c_str(), glass->usageCount(),
                                     containerName));
    platform::logText(lines.back());
  }
  return lines;
}

void Lens::synchronizeGlassArray() {
  for (const auto& s : m_surfaces) {
    auto glass = s->glass();
    if (!glass || indexOfIdentical(glassArray(), glass.get()) < glassArray().size()) continue;
    const std::size_t twin = indexOfEqual(glassArray(), *glass);
    if (twin < glassArray().size() && glassArray()[twin]->usageCount() == 0) {
      platform::log("remove dopplelganger %s", glassArray()[twin]->description().c_str());
      removeObjectFromGlassArrayAtIndex(twin);
    }
    insertObjectInGlassArrayAtIndex(glass, glassArray().size());
  }
  updateGlassUsageCount();
}

bool Lens::replaceGlass(const std::shared_ptr<materials::Glass>& oldGlass,
                        const std::shared_ptr<materials::Glass>& newGlass) {
  const bool used = std::any_of(m_surfaces.begin(), m_surfaces.end(), [&](const auto& s) { return s->glass() == oldGlass; });
  if (!used) return false;
  GlassReplacementQuestion question;
  if (newGlass) {
    question.messageText = "Global glass replacement";
    question.informativeText = platform::format("Glass %s will be replaced with %s on all surfaces",
                                                oldGlass->name().c_str(), newGlass->name().c_str());
  } else {
    question.messageText = "Global glass removal";
    question.informativeText = platform::format("Glass %s will be removed from all surfaces", oldGlass->name().c_str());
  }
  auto apply = [weak = std::weak_ptr<Lens>(self()), oldGlass, newGlass](bool goAhead) {
    auto lens = weak.lock();
    if (!lens || !goAhead) return;
    for (const auto& s : lens->surfaceArray())
      if (s->glass() == oldGlass) s->setGlass(newGlass);
  };
  // The answer may come at once (scripts, the default) or later (a sheet): a refusal that
  // comes at once reaches the caller as an exception, a later one is simply not applied.
  struct Pending {
    bool inCall = true;
    std::optional<bool> answer;
  };
  auto pending = std::make_shared<Pending>();
  auto answer = [pending, apply](bool goAhead) {
    if (pending->inCall)
      pending->answer = goAhead;
    else
      apply(goAhead);
  };
  if (auto d = delegate())
    d->askGlassReplacement(question, answer);
  else
    answer(true);
  pending->inCall = false;
  if (pending->answer) {
    if (!*pending->answer) platform::Exception::raise("ValueError", "Removal refused");
    apply(true);
  }
  return true;
}

void Lens::resolveGlass() {
  const Surfaces surfaces = m_surfaces;  // resolution may replace glasses, not surfaces
  for (const auto& s : surfaces) s->resolveGlass();
}

std::vector<std::string> Lens::namesOfUnknownGlasses() const {
  std::vector<std::string> names;
  for (const auto& s : m_surfaces) {
    const auto& g = s->glass();
    if (g && g->isDummy() && std::find(names.begin(), names.end(), g->name()) == names.end()) names.push_back(g->name());
  }
  return names;
}

bool Lens::glassCheck() {
  setWarningReGlass(std::nullopt);
  std::vector<std::string> unknown;  // traced as vacuum
  std::vector<std::string> notes;    // traced, but not with the glass's own data
  std::vector<const materials::Glass*> checked;
  for (const auto& s : m_surfaces) {
    const auto& g = s->glass();
    if (!g || std::find(checked.begin(), checked.end(), g.get()) != checked.end()) continue;
    checked.push_back(g.get());
    const std::string& name = g->name();
    if (g->isDummyWithIndex()) {
      const std::string note = platform::format("Unknown glass %s: model glass %g/%g from the file used", name.c_str(),
                                                g->referenceIndex(), g->referenceAbbe());
      if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(note);
      platform::logWarningOnce(name, "unknown glass",
                               "glass %s is in none of the loaded glass catalogs: the lens traces it as a model "
                               "glass of nd %g, Vd %g from the lens file. Load the catalog that holds it for its "
                               "own dispersion",
                               name.c_str(), g->referenceIndex(), g->referenceAbbe());
      continue;
    }
    if (g->isDummy()) {
      if (std::find(unknown.begin(), unknown.end(), name) == unknown.end()) unknown.push_back(name);
      platform::logWarningOnce(name, "unknown glass",
                               "glass %s is in none of the loaded glass catalogs and is traced as vacuum. Load the "
                               "catalog that holds it or choose another glass",
                               name.c_str());
      continue;
    }
    if (!g->hasKnownFormula())
      notes.push_back(platform::format("Glass %s: dispersion formula %d is not known; index from nd and Vd used",
                                       name.c_str(), g->formula()));
    // Outside its range a formula is extrapolated, often far from the material's index.
    for (const auto& w : m_waves) {
      const double lambda = w->wavelengthInMicrons();
      if (g->validWavelengthInMicrons(lambda)) continue;
      if (auto z = dynamic_cast<const materials::ZemaxGlass*>(g.get()))
        notes.push_back(platform::format("Glass %s used at %g µm, outside its range %g–%g µm", name.c_str(), lambda,
                                         z->lambdaMin(), z->lambdaMax()));
      else
        notes.push_back(platform::format("Glass %s used at %g µm, outside its range", name.c_str(), lambda));
      break;
    }
  }
  if (unknown.empty() && notes.empty()) return true;
  std::string text;
  if (!unknown.empty()) {
    text = unknown.size() == 1 ? "Unknown glass: " : "Unknown glasses: ";
    for (std::size_t i = 0; i < unknown.size(); ++i) text += (i ? ", " : "") + unknown[i];
  }
  for (const auto& note : notes) text += (text.empty() ? "" : "; ") + note;
  setWarningReGlass(text);
  return false;
}

void Lens::grinCheck() {
  std::optional<std::string> text;
  for (const auto& s : m_surfaces) {
    if (s->type() != "Gradient 5" || dynamic_cast<const materials::GrinDispersion*>(s->glass().get())) continue;
    const std::string name = s->glassName().value_or("(none)");
    text = text ? *text + ", " + name : "Gradient 5 surface can not use glass: " + name;
  }
  setWarningReGrinDispersion(text);
}

// --- copy ----------------------------------------------------------------------------------------------------------

std::shared_ptr<Lens> Lens::copy() const {
  platform::Synchronized lock(this);
  auto lens = platform::makeObject<Lens>();
  lens->initWithLens(*this);
  return lens;
}

void Lens::initWithLens(const Lens& source) {
  source.updateGlassUsageCount();
  for (const auto& g : source.glassArray()) g->rememberIndexInContainer();

  // Unused glasses are copied here; the glasses in use arrive with the copied surfaces.
  Glasses unused;
  for (const auto& g : source.glassArray())
    if (g->usageCount() == 0) unused.push_back(g->copy());
  setGlassArray(std::move(unused));

  Surfaces surfaces;
  for (const auto& s : source.m_surfaces) surfaces.push_back(s->copy());
  for (const auto& copied : surfaces)
    for (std::size_t i = 0; i < surfaces.size(); ++i)
      copied->surfaceReplacement({{"oldSurface", Value(source.m_surfaces[i])}, {"newSurface", Value(surfaces[i])}});
  installSurfaces(std::move(surfaces));

  Glasses glasses = glassArray();
  std::stable_sort(glasses.begin(), glasses.end(), [](const auto& a, const auto& b) {
    return a->rememberedIndexInContainer() < b->rememberedIndexInContainer();
  });
  setGlassArray(std::move(glasses));

  Fields fields;
  for (const auto& f : source.m_fields) fields.push_back(f->copy());
  setFieldArray(std::move(fields));
  Waves waves;
  for (const auto& w : source.m_waves) waves.push_back(w->copy());
  setWaveArray(std::move(waves));
  if (source.m_beams) {
    Beams beams;
    for (const auto& b : *source.m_beams) beams.push_back(b->copyBeam());
    setBeamArray(std::move(beams));
  }

  setFieldType(source.m_fieldType);
  setSystemName(source.m_systemName);
  setUnitCode(source.m_unitCode);
  setNotes(source.m_notes);
  m_sourceDivergenceType = source.m_sourceDivergenceType;
  setSourceDivergenceValue(source.m_sourceDivergenceValue);
  setUseTelecentricMode(source.m_useTelecentricMode);
  setUseAfocalAnalysis(source.m_useAfocalAnalysis);
  setUseRealRaysToUpdateSemidiameters(source.m_useRealRaysToUpdateSemidiameters);
  setUseRayAiming(source.m_useRayAiming);
  setUseRayAdjusting(source.m_useRayAdjusting);
  setChecksAperturesDuringRayAdjusting(source.m_checksAperturesDuringRayAdjusting);
  setRayAimingTolerance(source.m_rayAimingTolerance);
  setRenormalizePupilCoordinatesByStopAperture(source.m_renormalizePupil);
  setRayAcquisitionTolerance(source.m_rayAcquisitionTolerance);
  setLightPipeMaxBounces(source.m_lightPipeMaxBounces);
  // Analyses of a copy trace as many rays per field as the document's lens.
  setNumberOfRaysPerField(source.m_numberOfRaysPerField);
  m_rayAiming = source.m_rayAiming;  // interpolators shared, as they are read-only once built
  setParaxialData(source.m_paraxialData);
  setCardinalData(source.m_cardinalData);
  setStopTransferMatrix(source.m_stopTransferMatrix);
  setAmbientMedium(source.m_ambientMedium);
  setIsReady(source.m_isReady.load());
}

// --- dictionaries ---------------------------------------------------------------------------------------------------

Dictionary Lens::dictionary() const {
  Dictionary d;
  for (const auto& key : coderKeys()) d.set(key, valueForKey(key));
  return d;
}

void Lens::setValuesForDesiredKeysWithDictionary(const std::optional<Dictionary>& lensDictionary) {
  setWarningReUpdate(std::nullopt);
  setBeamArray(Beams{});
  setGlassArray({});
  setSurfaceArray({});
  setWaveArray({});
  setFieldArray({});
  if (!lensDictionary) return;
  static const char* const keys[] = {"fieldType",         "systemName",   "unitCode",      "notes",
                                     "apodizationType",   "apodizationFactor", "useRayAiming", "beamArray",
                                     "preferredCatalogs", "glassArray",   "surfaceArray",  "fieldArray",
                                     "waveArray",         "sourceDivergenceType", "sourceDivergenceValue",
                                     "multiconfigurationArray"};
  for (const char* key : keys) {
    const Value* v = lensDictionary->find(key);
    if (v && !v->isNil()) setValueForKey(key, *v);
  }
  updateGlassUsageCount();
}

// --- archive ---------------------------------------------------------------------------------------------------------

void Lens::encodeWithCoder(platform::Coder& coder) const {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Lens class only supports NSKeyedArchiver coders");
  for (const auto& key : coderKeys()) coder.encodeObject(key, valueForKey(key));
}

void Lens::initWithCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Lens class only supports NSKeyedArchiver coders");
  init();
  // A key an older archive lacks keeps the new-lens default.
  for (const auto& key : coderKeys())
    if (coder.containsValueForKey(key)) setValueForKey(key, coder.decodeObject(key));
  synchronizeGlassArray();
}

// --- keys ----------------------------------------------------------------------------------------------------------------

const platform::KeyTable& Lens::classKeys() {
  static const platform::KeyTable table = [] { return platform::KeyTable(&OBObject::classKeys(), makeKeyEntries()); }();
  return table;
}

std::vector<platform::KeyEntry> Lens::makeKeyEntries() {
  using platform::KeyEntry;
  using platform::Object;
  auto get = [](std::string key, std::function<Value(const Lens&)> g) {
    KeyEntry e;
    e.key = std::move(key);
    e.get = [g = std::move(g)](const Object& o) { return g(static_cast<const Lens&>(o)); };
    return e;
  };
  auto prop = [get](std::string key, std::function<Value(const Lens&)> g, std::function<void(Lens&, const Value&)> s) {
    KeyEntry e = get(std::move(key), std::move(g));
    e.set = [s = std::move(s)](Object& o, const Value& v) { s(static_cast<Lens&>(o), v); };
    return e;
  };
  auto flag = [prop](std::string key, bool (Lens::*g)() const, void (Lens::*s)(bool)) {
    return prop(std::move(key), [g](const Lens& l) { return Value((l.*g)()); },
                [s](Lens& l, const Value& v) { (l.*s)(v.asBool()); });
  };
  auto real = [prop](std::string key, double (Lens::*g)() const, void (Lens::*s)(double)) {
    return prop(std::move(key), [g](const Lens& l) { return Value((l.*g)()); },
                [s](Lens& l, const Value& v) { (l.*s)(v.asDouble()); });
  };
  auto integer = [prop](std::string key, int (Lens::*g)() const, void (Lens::*s)(int)) {
    return prop(std::move(key), [g](const Lens& l) { return Value((l.*g)()); },
                [s](Lens& l, const Value& v) { (l.*s)(static_cast<int>(v.asInt())); });
  };
  // Getters answer a reference or, for the locked warnings, a copy.
  auto text = [prop](std::string key, auto g, void (Lens::*s)(std::optional<std::string>)) {
    return prop(std::move(key), [g](const Lens& l) { return optionalString((l.*g)()); },
                [s](Lens& l, const Value& v) { (l.*s)(toOptionalString(v)); });
  };
  auto dictionaryKey = [prop](std::string key, const Dictionary& (Lens::*g)() const, void (Lens::*s)(Dictionary)) {
    return prop(std::move(key), [g](const Lens& l) { return Value((l.*g)()); },
                [s](Lens& l, const Value& v) { (l.*s)(v.isNil() ? Dictionary() : v.asDictionary()); });
  };

  std::vector<KeyEntry> entries{
      prop("surfaceArray", [](const Lens& l) { return Value(toArray(l.m_surfaces)); },
           [](Lens& l, const Value& v) { l.setSurfaceArray(fromArray<Surface>(v)); }),
      get("surfaces", [](const Lens& l) { return Value(toArray(l.m_surfaces)); }).dependsOn({"surfaceArray"}),
      prop("fieldArray", [](const Lens& l) { return Value(toArray(l.m_fields)); },
           [](Lens& l, const Value& v) { l.setFieldArray(fromArray<Field>(v)); }),
      prop("waveArray", [](const Lens& l) { return Value(toArray(l.m_waves)); },
           [](Lens& l, const Value& v) { l.setWaveArray(fromArray<Wave>(v)); }),
      prop("glassArray", [](const Lens& l) { return Value(toArray(l.glassArray())); },
           [](Lens& l, const Value& v) { l.setGlassArray(fromArray<materials::Glass>(v)); }),
      prop("beamArray", [](const Lens& l) { return l.m_beams ? Value(toArray(*l.m_beams)) : Value(); },
           [](Lens& l, const Value& v) {
             if (v.isNil())
               l.setBeamArray(std::nullopt);
             else
               l.setBeamArray(fromArray<LensBeam>(v));
           }),
      prop("multiconfigurationArray", [](const Lens& l) { return Value(l.m_multiconfigurations); },
           [](Lens& l, const Value& v) { l.setMulticonfigurationArray(v.isNil() ? Array() : v.asArray()); }),
      prop("configuration", [](const Lens& l) { return l.m_configuration ? Value(*l.m_configuration) : Value(); },
           [](Lens& l, const Value& v) { l.setConfiguration(v); }),
      get("configurationDescription", [](const Lens& l) { return optionalString(l.configurationDescription()); })
          .dependsOn({"configuration"}),

      prop("fieldType", [](const Lens& l) { return Value(l.m_fieldType); },
           [](Lens& l, const Value& v) { l.setFieldType(v.isNil() ? std::string("Angle") : v.asString()); }),
      prop("fieldTypeIndex",
           [](const Lens& l) {
             auto i = l.fieldTypeIndex();
             return i ? Value(*i) : Value();
           },
           [](Lens& l, const Value& v) { l.setFieldTypeIndex(static_cast<std::size_t>(v.asInt())); })
          .dependsOn({"fieldType"}),
      text("systemName", &Lens::systemName, &Lens::setSystemName),
      text("unitCode", &Lens::unitCode, &Lens::setUnitCode),
      prop("notes", [](const Lens& l) { return Value(l.m_notes); },
           [](Lens& l, const Value& v) { l.setNotes(v.isNil() ? std::string() : v.asString()); }),
      prop("preferredCatalogs",
           [](const Lens& l) {
             if (!l.m_preferredCatalogs) return Value();
             Array a;
             for (const auto& c : *l.m_preferredCatalogs) a.push_back(c);
             return Value(a);
           },
           [](Lens& l, const Value& v) {
             if (v.isNil()) return l.setPreferredCatalogs(std::nullopt);
             std::vector<std::string> catalogs;
             for (const auto& c : v.asArray()) catalogs.push_back(c.asString());
             l.setPreferredCatalogs(std::move(catalogs));
           }),
      integer("sourceDivergenceType", &Lens::sourceDivergenceType, &Lens::setSourceDivergenceType),
      real("sourceDivergenceValue", &Lens::sourceDivergenceValue, &Lens::setSourceDivergenceValue),
      get("canEditSourceDivergenceValue", [](const Lens& l) { return Value(l.canEditSourceDivergenceValue()); })
          .dependsOn({"sourceDivergenceType"}),
      flag("useTelecentricMode", &Lens::useTelecentricMode, &Lens::setUseTelecentricMode),
      flag("useAfocalAnalysis", &Lens::useAfocalAnalysis, &Lens::setUseAfocalAnalysis),
      flag("useRealRaysToUpdateSemidiameters", &Lens::useRealRaysToUpdateSemidiameters,
           &Lens::setUseRealRaysToUpdateSemidiameters),
      flag("useRayAiming", &Lens::useRayAiming, &Lens::setUseRayAiming),
      real("rayAimingTolerance", &Lens::rayAimingTolerance, &Lens::setRayAimingTolerance),
      flag("useRayAdjusting", &Lens::useRayAdjusting, &Lens::setUseRayAdjusting),
      flag("checksAperturesDuringRayAdjusting", &Lens::checksAperturesDuringRayAdjusting,
           &Lens::setChecksAperturesDuringRayAdjusting),
      flag("renormalizePupilCoordinatesByStopAperture", &Lens::renormalizePupilCoordinatesByStopAperture,
           &Lens::setRenormalizePupilCoordinatesByStopAperture),
      integer("numberOfRaysPerField", &Lens::numberOfRaysPerField, &Lens::setNumberOfRaysPerField),
      real("rayAcquisitionTolerance", &Lens::rayAcquisitionTolerance, &Lens::setRayAcquisitionTolerance),
      integer("lightPipeMaxBounces", &Lens::lightPipeMaxBounces, &Lens::setLightPipeMaxBounces),
      real("track", &Lens::track, &Lens::setTrack),
      text("autoloadCatalogType", &Lens::autoloadCatalogType, &Lens::setAutoloadCatalogType),
      prop("ambientMedium", [](const Lens& l) { return Value(l.m_ambientMedium); },
           [](Lens& l, const Value& v) { l.setAmbientMedium(v.asObject<materials::Medium>()); }),
      real("ambientIndexOfRefraction", &Lens::ambientIndexOfRefraction, &Lens::setAmbientIndexOfRefraction)
          .dependsOn({"ambientMedium"}),
      dictionaryKey("paraxialData", &Lens::paraxialData, &Lens::setParaxialData),
      dictionaryKey("cardinalData", &Lens::cardinalData, &Lens::setCardinalData),
      dictionaryKey("stopTransferMatrix", &Lens::stopTransferMatrix, &Lens::setStopTransferMatrix),

      flag("isBusy", &Lens::isBusy, &Lens::setIsBusy),
      flag("isReady", &Lens::isReady, &Lens::setIsReady),
      text("warningReUpdate", &Lens::warningReUpdate, &Lens::setWarningReUpdate),
      text("warningReGlass", &Lens::warningReGlass, &Lens::setWarningReGlass),
      text("warningReGrinDispersion", &Lens::warningReGrinDispersion, &Lens::setWarningReGrinDispersion),
      text("warningReSystemGeneration", &Lens::warningReSystemGeneration, &Lens::setWarningReSystemGeneration),
      text("warningReRayGeneration", &Lens::warningReRayGeneration, &Lens::setWarningReRayGeneration),
      text("warningReTrace", &Lens::warningReTrace, &Lens::setWarningReTrace),
      get("warning", [](const Lens& l) { return optionalString(l.warning()); })
          .dependsOn({"warningReUpdate", "warningReSystemGeneration", "warningReGlass", "warningReTrace",
                      "warningReGrinDispersion", "warningReRayGeneration"}),

      get("modelGestalt", [](const Lens&) { return Value(); })
          .dependsOn({"ambientIndexOfRefraction", "ambientMedium", "checksAperturesDuringRayAdjusting", "fieldArray",
                      "fieldType", "numberOfRaysPerField", "rayAcquisitionTolerance", "lightPipeMaxBounces",
                      "rayAimingTolerance", "renormalizePupilCoordinatesByStopAperture", "sourceDivergenceType",
                      "sourceDivergenceValue", "surfaceArray", "useAfocalAnalysis", "useRayAdjusting",
                      "useRayAiming", "useRealRaysToUpdateSemidiameters", "useTelecentricMode", "waveArray",
                      "glassArray", "beamArray"}),
      get("keyPathsForVariables",
          [](const Lens& l) {
            Array a;
            for (const auto& p : l.keyPathsForVariables()) a.push_back(p);
            return Value(a);
          })
          .dependsOn({"glassArray", "surfaceArray", "beamArray"}),
      get("keyPathsForSolves",
          [](const Lens& l) {
            Array a;
            for (const auto& p : l.keyPathsForSolves()) a.push_back(p);
            return Value(a);
          })
          .dependsOn({"surfaceArray"}),
      get("focusKeyPath", [](const Lens& l) { return optionalString(l.focusKeyPath()); }).dependsOn({"surfaceArray"}),
      get("wavelengthKeyPath", [](const Lens&) { return Value(wavelengthKeyPath()); }),
      get("primaryWave", [](const Lens& l) { return Value(const_cast<Lens&>(l).primaryWave()); })
          .dependsOn({"waveArray"}),
      get("objectSurface", [](const Lens& l) { return Value(l.objectSurface()); }).dependsOn({"surfaceArray"}),
      get("imageSurface", [](const Lens& l) { return Value(l.imageSurface()); }).dependsOn({"surfaceArray"}),
      get("stopSurface", [](const Lens& l) { return Value(l.stopSurface()); }).dependsOn({"surfaceArray"}),
      get("focusSurface", [](const Lens& l) { return Value(l.focusSurface()); }).dependsOn({"surfaceArray"}),
      get("stopHasAperture", [](const Lens& l) { return Value(l.stopHasAperture()); }).dependsOn({"isReady"}),
      get("surfaceArrayWithNullImage", [](const Lens& l) { return Value(l.surfaceArrayWithNullImage()); })
          .dependsOn({"surfaceArray"}),
  };
  for (const auto& key : keyPathsAffectedByParaxialData())
    entries.push_back(get(key, [key](const Lens& l) { return l.m_paraxialData.get(key); }).dependsOn({"paraxialData"}));
  // The aperture setters choose the divergence type as well as the value.
  for (auto& e : entries) {
    if (e.key == "entrancePupilDiameter")
      e.set = [](Object& o, const Value& v) { static_cast<Lens&>(o).setEntrancePupilDiameter(v.asDouble()); };
    if (e.key == "infiniteConjugateImageSpaceFocalRatio")
      e.set = [](Object& o, const Value& v) {
        static_cast<Lens&>(o).setInfiniteConjugateImageSpaceFocalRatio(v.asDouble());
      };
    if (e.key == "objectSpaceNumericalAperture")
      e.set = [](Object& o, const Value& v) { static_cast<Lens&>(o).setObjectSpaceNumericalAperture(v.asDouble()); };
  }
  return entries;
}

}  // namespace orb::lens
