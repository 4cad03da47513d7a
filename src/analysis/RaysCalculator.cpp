#include "analysis/RaysCalculator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "foundation/objects/VKColoredObject.h"
#include "lens/Emission.h"
#include "lens/Field.h"
#include "lens/LensBeam.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"
#include "tracing/Emitters.h"
#include "tracing/OBBeam.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {

using platform::Dictionary;
using platform::Value;
using tracing::Ray;

namespace {

constexpr std::uint64_t kFallbackNumberOfRays = 271;

const std::vector<std::string>& fanTypesByTag() {
  static const std::vector<std::string> types{"x-fan",       "y-fan",       "random",        "hexapolar",
                                              "square",      "spiral",      "x-fan plus",    "y-fan plus",
                                              "x-fan minus", "y-fan minus", "square square", "centered fft"};
  return types;
}

bool isHexFan(const std::string& fan) { return fan == "random" || fan == "hexapolar" || fan == "spiral"; }
// "fft" is the name older documents used for the square FFT grid.
bool isSquareFan(const std::string& fan) { return fan == "square" || fan == "fft"; }

std::uint32_t clampCount(std::uint64_t n) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xffffffffu));
}

Value stringOrNil(const std::string& s) { return s.empty() ? Value() : Value(s); }
std::string stringFrom(const Value& v) { return v.isString() ? v.asString() : std::string(); }

std::shared_ptr<platform::Color> withAlphaOf(const std::shared_ptr<platform::Color>& color,
                                             const std::shared_ptr<platform::Color>& alphaSource) {
  if (!color || !alphaSource) return color;
  return platform::Color::make(color->red(), color->green(), color->blue(), alphaSource->alpha());
}

std::shared_ptr<platform::Color> colorOf(const platform::Object* object) {
  if (const auto* colored = dynamic_cast<const foundation::VKColoredObject*>(object)) return colored->color();
  return nullptr;
}

}  // namespace

// --- construction ------------------------------------------------------------------------------

RaysCalculator::RaysCalculator() {
  std::int64_t n = 0;
  try {
    n = platform::UserDefaults::standard().integerForKey("spotDiagramNumberOfRays");
  } catch (const platform::Exception&) {
  }
  const std::uint64_t count = n > 0 ? static_cast<std::uint64_t>(n) : kFallbackNumberOfRays;
  m_numberOfRays = count;
  m_beamNumberOfRays = count;
  m_emissionNumberOfRays = count;
  m_fixedRayColor = platform::Color::make(0, 0, 1);
  m_fixedBeamColor = platform::Color::make(1, 0, 0);
  m_fixedEmissionColor = platform::Color::make(1, 0, 0);
  m_emissionObservation = platform::NotificationCenter::defaultCenter().addObserver(
      "emissionChangedNotification", Value(), [this](const platform::Notification&) { emissionChanged(); });
}

void RaysCalculator::willDeallocate() {
  m_emissionObservation = {};
  OBCalculator::willDeallocate();
}

const platform::KeyTable& RaysCalculator::classKeys() {
  using K = platform::Keys<RaysCalculator>;
  using R = RaysCalculator;
  auto stringKey = [](std::string key, std::string (R::*get)() const, void (R::*set)(const std::string&)) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return stringOrNil((static_cast<const R&>(o).*get)()); };
    e.set = [set](platform::Object& o, const Value& v) { (static_cast<R&>(o).*set)(stringFrom(v)); };
    return e;
  };
  auto colorKey = [](std::string key, std::shared_ptr<platform::Color> (R::*get)() const,
                     void (R::*set)(std::shared_ptr<platform::Color>)) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return Value((static_cast<const R&>(o).*get)()); };
    e.set = [set](platform::Object& o, const Value& v) {
      (static_cast<R&>(o).*set)(v.asObject<platform::Color>());
    };
    return e;
  };
  static const platform::KeyTable table(
      &OBCalculator::classKeys(),
      {
          K::getter("lens", &R::lens),
          K::property("paraxial", &R::paraxial, &R::setParaxial),
          K::property("paraxialMarginalFlag", &R::paraxialMarginalFlag, &R::setParaxialMarginalFlag),
          K::property("paraxialChiefFlag", &R::paraxialChiefFlag, &R::setParaxialChiefFlag),
          K::property("numberOfRays", &R::numberOfRays, &R::setNumberOfRays),
          K::property("beamNumberOfRays", &R::beamNumberOfRays, &R::setBeamNumberOfRays),
          K::property("emissionNumberOfRays", &R::emissionNumberOfRays, &R::setEmissionNumberOfRays),
          K::property("spiralPhase", &R::spiralPhase, &R::setSpiralPhase),
          stringKey("fanType", &R::fanType, &R::setFanType),
          K::property("numberOfRaysQuantum", &R::numberOfRaysQuantum, &R::setNumberOfRaysQuantum)
              .dependsOn({"numberOfRays", "fanType"}),
          K::getter("patternComment", &R::patternComment).dependsOn({"numberOfRays", "fanType"}),
          K::property("beamNumberOfRaysQuantum", &R::beamNumberOfRaysQuantum, &R::setBeamNumberOfRaysQuantum)
              .dependsOn({"beamNumberOfRays"}),
          K::property("emissionNumberOfRaysQuantum", &R::emissionNumberOfRaysQuantum,
                      &R::setEmissionNumberOfRaysQuantum)
              .dependsOn({"emissionNumberOfRays"}),
          K::getter("fanIsRandom", &R::fanIsRandom).dependsOn({"fanType", "surface"}),
          stringKey("surfaceOfInterestKeyPath", &R::surfaceOfInterestKeyPath, &R::setSurfaceOfInterestKeyPath),
          stringKey("fieldOfInterestKeyPath", &R::fieldOfInterestKeyPath, &R::setFieldOfInterestKeyPath),
          stringKey("waveOfInterestKeyPath", &R::waveOfInterestKeyPath, &R::setWaveOfInterestKeyPath),
          stringKey("beamOfInterestKeyPath", &R::beamOfInterestKeyPath, &R::setBeamOfInterestKeyPath),
          stringKey("emissionSurfaceKeyPath", &R::emissionSurfaceKeyPath, &R::setEmissionSurfaceKeyPath),
          platform::KeyEntry{"surfaceOfInterest",
                             [](const platform::Object& o) {
                               return Value(static_cast<const R&>(o).surfaceOfInterest());
                             }}
              .dependsOn({"lens", "surfaceOfInterestKeyPath"}),
          platform::KeyEntry{"fieldOfInterest",
                             [](const platform::Object& o) {
                               return Value(static_cast<const R&>(o).fieldOfInterest());
                             }}
              .dependsOn({"lens", "fieldOfInterestKeyPath"}),
          platform::KeyEntry{"waveOfInterest",
                             [](const platform::Object& o) {
                               return Value(static_cast<const R&>(o).waveOfInterest());
                             }}
              .dependsOn({"lens", "waveOfInterestKeyPath"}),
          platform::KeyEntry{"beamOfInterest",
                             [](const platform::Object& o) {
                               return Value(static_cast<const R&>(o).beamOfInterest());
                             }}
              .dependsOn({"lens", "beamOfInterestKeyPath"}),
          platform::KeyEntry{"emissionSurface",
                             [](const platform::Object& o) {
                               return Value(static_cast<const R&>(o).emissionSurface());
                             }}
              .dependsOn({"lens", "emissionSurfaceKeyPath"}),
          K::property("indexOfSurfaceOfInterest", &R::indexOfSurfaceOfInterest, &R::setIndexOfSurfaceOfInterest),
          K::property("indexOfFieldOfInterest", &R::indexOfFieldOfInterest, &R::setIndexOfFieldOfInterest),
          K::property("indexOfWaveOfInterest", &R::indexOfWaveOfInterest, &R::setIndexOfWaveOfInterest),
          K::property("indexOfBeamOfInterest", &R::indexOfBeamOfInterest, &R::setIndexOfBeamOfInterest),
          K::property("indexOfEmissionSurface", &R::indexOfEmissionSurface, &R::setIndexOfEmissionSurface),
          stringKey("rayColorOption", &R::rayColorOption, &R::setRayColorOption),
          colorKey("fixedRayColor", &R::fixedRayColor, &R::setFixedRayColor),
          stringKey("beamColorOption", &R::beamColorOption, &R::setBeamColorOption),
          colorKey("fixedBeamColor", &R::fixedBeamColor, &R::setFixedBeamColor),
          stringKey("emissionColorOption", &R::emissionColorOption, &R::setEmissionColorOption),
          colorKey("fixedEmissionColor", &R::fixedEmissionColor, &R::setFixedEmissionColor),
      });
  return table;
}

// --- lens user ---------------------------------------------------------------------------------

LensPtr RaysCalculator::lens() const {
  std::lock_guard lock(m_lensMutex);
  return m_lens;
}

void RaysCalculator::setLens(LensPtr newLens) {
  if (newLens != lens() && !isDeallocating()) stopWork();
  changeValueForKey("lens", [&] {
    std::lock_guard lock(m_lensMutex);
    m_lens = std::move(newLens);
  });
  if (lensIsReady(lens().get())) setNeedsCalculation(true);
}

void RaysCalculator::firstTimeWithLens(const LensPtr& l) {
  if (!l) return;
  auto pathOf = [&](const std::shared_ptr<platform::Object>& o) -> std::string {
    if (!o) return {};
    return l->keyPathForObject(*o).value_or(std::string());
  };
  setFieldOfInterestKeyPath(l->fieldArray().empty() ? std::string() : pathOf(l->fieldArray().front()));
  setBeamOfInterestKeyPath(l->countOfBeamArray() ? pathOf(l->objectInBeamArrayAtIndex(0)) : std::string());
  std::string emitter;
  for (const auto& s : l->surfaceArray())
    if (s && s->emission()) {
      emitter = pathOf(s);
      break;
    }
  setEmissionSurfaceKeyPath(emitter);
  if (l->countOfFieldArray() < 2 && l->countOfWaveArray() > 1) {
    setRayColorOption("wave");
    setWaveOfInterestKeyPath({});
  } else {
    setWaveOfInterestKeyPath(pathOf(l->primaryWave()));
  }
}

void RaysCalculator::setLensKeyPathUpdateDictionary(const Dictionary& renames) {
  auto rewrite = [&](const char* key, std::string (RaysCalculator::*get)() const,
                     void (RaysCalculator::*set)(const std::string&)) {
    const std::string present = (this->*get)();
    if (present.empty()) return;
    const Value* renamed = renames.find(Value(present));
    if (renamed && renamed->isString()) (this->*set)(renamed->asString());
    (void)key;
  };
  rewrite("surfaceOfInterestKeyPath", &RaysCalculator::surfaceOfInterestKeyPath,
          &RaysCalculator::setSurfaceOfInterestKeyPath);
  rewrite("fieldOfInterestKeyPath", &RaysCalculator::fieldOfInterestKeyPath,
          &RaysCalculator::setFieldOfInterestKeyPath);
  rewrite("waveOfInterestKeyPath", &RaysCalculator::waveOfInterestKeyPath,
          &RaysCalculator::setWaveOfInterestKeyPath);
  rewrite("beamOfInterestKeyPath", &RaysCalculator::beamOfInterestKeyPath,
          &RaysCalculator::setBeamOfInterestKeyPath);
  rewrite("emissionSurfaceKeyPath", &RaysCalculator::emissionSurfaceKeyPath,
          &RaysCalculator::setEmissionSurfaceKeyPath);
}

bool RaysCalculator::workCanStart() { return OBCalculator::workCanStart() && lensIsReady(lens().get()); }

// --- pupil sampling ----------------------------------------------------------------------------

std::vector<std::string> RaysCalculator::possibleFanTypes() const {
  return {"x-fan", "y-fan", "x-fan plus", "y-fan plus", "x-fan minus",
          "y-fan minus", "random", "hexapolar", "square", "spiral"};
}

std::string RaysCalculator::stringSetting(const std::string& member) const {
  std::lock_guard lock(m_settingsMutex);
  return member;
}

std::string RaysCalculator::fanType() const { return stringSetting(m_fanType); }

void RaysCalculator::setFanType(const std::string& requested) {
  std::string fan = requested;
  if (!fan.empty()) {
    const auto possible = possibleFanTypes();
    if (std::find(possible.begin(), possible.end(), fan) == possible.end()) fan = possible.front();
  }
  changeValueForKey("fanType", [&] {
    std::lock_guard lock(m_settingsMutex);
    m_fanType = fan;
  });
  if (fan.empty()) return;
  synchronizeWithFanType();
  setNeedsCalculation(true);
}

void RaysCalculator::setFanTypeTag(int tag) {
  const auto& types = fanTypesByTag();
  setFanType(tag >= 0 && tag < static_cast<int>(types.size()) ? types[static_cast<std::size_t>(tag)] : "y-fan");
}

void RaysCalculator::setNumberOfRays(std::uint64_t n) {
  setAndAnnounce("numberOfRays", m_numberOfRays, n);
  setNeedsCalculation(true);
}
void RaysCalculator::setBeamNumberOfRays(std::uint64_t n) {
  setAndAnnounce("beamNumberOfRays", m_beamNumberOfRays, n);
  setNeedsCalculation(true);
}
void RaysCalculator::setEmissionNumberOfRays(std::uint64_t n) {
  setAndAnnounce("emissionNumberOfRays", m_emissionNumberOfRays, n);
  setNeedsCalculation(true);
}
void RaysCalculator::setSpiralPhase(double phase) {
  setAndAnnounce("spiralPhase", m_spiralPhase, phase);
  setNeedsCalculation(true);
}
void RaysCalculator::setParaxial(bool on) {
  setAndAnnounce("paraxial", m_paraxial, on);
  setNeedsCalculation(true);
}
void RaysCalculator::setParaxialMarginalFlag(bool on) {
  setAndAnnounce("paraxialMarginalFlag", m_paraxialMarginalFlag, on);
  setNeedsCalculation(true);
}
void RaysCalculator::setParaxialChiefFlag(bool on) {
  setAndAnnounce("paraxialChiefFlag", m_paraxialChiefFlag, on);
  setNeedsCalculation(true);
}

std::uint64_t RaysCalculator::hexagonalNumber(std::uint64_t r) { return 3 * r * (r + 1) + 1; }

std::uint64_t RaysCalculator::ringCount(std::uint64_t n) {
  if (n < 2) return 0;
  const double estimate = (std::sqrt(12.0 * static_cast<double>(n - 1) + 9.0) - 3.0) / 6.0;
  std::uint64_t r = estimate > 0 ? static_cast<std::uint64_t>(estimate) : 0;
  while (hexagonalNumber(r) < n) ++r;
  return r;
}

std::uint64_t RaysCalculator::squareSide(std::uint64_t n) {
  std::uint64_t k = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(n)));
  while (k * k < n) ++k;
  return k;
}

bool RaysCalculator::usesHexNumber() const { return isHexFan(fanType()); }
bool RaysCalculator::usesSquareNumber() const { return isSquareFan(fanType()); }

std::uint64_t RaysCalculator::numberOfRaysQuantum() const {
  if (usesHexNumber()) return ringCount(numberOfRays());
  if (usesSquareNumber()) return squareSide(numberOfRays());
  return numberOfRays();
}

void RaysCalculator::setNumberOfRaysQuantum(std::uint64_t q) {
  if (usesHexNumber())
    setNumberOfRays(hexagonalNumber(q));
  else if (usesSquareNumber())
    setNumberOfRays(q * q);
  else
    setNumberOfRays(q);
}

void RaysCalculator::synchronizeWithFanType() {
  const std::uint64_t n = numberOfRays();
  if (usesHexNumber()) {
    const std::uint64_t h = hexagonalNumber(ringCount(n));
    if (h != n) setNumberOfRays(h);
  } else if (usesSquareNumber()) {
    const std::uint64_t k = squareSide(n);
    if (k * k != n) setNumberOfRays(k * k);
  }
}

std::string RaysCalculator::patternComment() const {
  const std::uint64_t n = numberOfRays();
  if (usesHexNumber()) {
    const std::uint64_t r = ringCount(n);
    if (hexagonalNumber(r) == n) return platform::format("hex(%d)", static_cast<int>(r));
  } else if (usesSquareNumber()) {
    const std::uint64_t k = squareSide(n);
    if (k * k == n) return platform::format("%d x %d", static_cast<int>(k), static_cast<int>(k));
  }
  return {};
}

bool RaysCalculator::fanIsRandom() const {
  if (fanType() == "random") return true;
  const LensPtr l = lens();
  if (!l) return false;
  // A lens with a diffuser answers "isRandom" once the tracing layer offers diffusers.
  const Value random = [&] {
    try {
      return l->valueForKey("isRandom");
    } catch (const platform::Exception&) {
      return Value();
    }
  }();
  return random.isNumber() && random.asBool();
}

bool RaysCalculator::curvesAreContinuous() const {
  static const std::vector<std::string> continuous{"spiral", "x-fan", "x-fan plus", "x-fan minus",
                                                   "y-fan",  "y-fan plus", "y-fan minus"};
  const std::string fan = fanType();
  return std::find(continuous.begin(), continuous.end(), fan) != continuous.end();
}

tracing::pupil::Points RaysCalculator::pupilCoordinatesForRealRays() const {
  namespace pupil = tracing::pupil;
  const std::string fan = fanType();
  const std::uint32_t n = clampCount(numberOfRays());
  if (fan == "x-fan") return pupil::xFan(n);
  if (fan == "y-fan") return pupil::yFan(n);
  if (fan == "x-fan plus") return pupil::radialFan(n, 1, 0);
  if (fan == "y-fan plus") return pupil::radialFan(n, 0, 1);
  if (fan == "x-fan minus") return pupil::radialFan(n, -1, 0);
  if (fan == "y-fan minus") return pupil::radialFan(n, 0, -1);
  if (fan == "random") return pupil::randomPointsInUnitCircle(n);
  if (fan == "hexapolar") return pupil::hexapolarArrayOfPointsInUnitCircle(n);
  if (fan == "square") return pupil::squareArrayOfPointsInUnitCircle(n);
  if (fan == "spiral") return pupil::spiralInUnitCircle(n, spiralPhase());
  if (fan == "golden") return pupil::goldenSpiralInUnitCircle(n, spiralPhase());
  const std::uint32_t k = clampCount(squareSide(n));
  if (fan == "square square") return pupil::pointsInFourSquare(k, k);
  if (fan == "centered fft") return pupil::fftPointsInFourSquare(k, k);
  return {};
}

// --- selections --------------------------------------------------------------------------------

void RaysCalculator::setKeyPath(std::string& member, const std::string& key, const std::string& value) {
  bool changed = false;
  changeValueForKey(key, [&] {
    std::lock_guard lock(m_settingsMutex);
    changed = member != value;
    member = value;
  });
  // Another field, wave, surface or beam is another result, whoever chose it.
  if (changed) setNeedsCalculation(true);
}

std::string RaysCalculator::surfaceOfInterestKeyPath() const { return stringSetting(m_surfaceOfInterestKeyPath); }
std::string RaysCalculator::fieldOfInterestKeyPath() const { return stringSetting(m_fieldOfInterestKeyPath); }
std::string RaysCalculator::waveOfInterestKeyPath() const { return stringSetting(m_waveOfInterestKeyPath); }
std::string RaysCalculator::beamOfInterestKeyPath() const { return stringSetting(m_beamOfInterestKeyPath); }
std::string RaysCalculator::emissionSurfaceKeyPath() const { return stringSetting(m_emissionSurfaceKeyPath); }

void RaysCalculator::setSurfaceOfInterestKeyPath(const std::string& p) {
  setKeyPath(m_surfaceOfInterestKeyPath, "surfaceOfInterestKeyPath", p);
}
void RaysCalculator::setFieldOfInterestKeyPath(const std::string& p) {
  setKeyPath(m_fieldOfInterestKeyPath, "fieldOfInterestKeyPath", p);
}
void RaysCalculator::setWaveOfInterestKeyPath(const std::string& p) {
  setKeyPath(m_waveOfInterestKeyPath, "waveOfInterestKeyPath", p);
}
void RaysCalculator::setBeamOfInterestKeyPath(const std::string& p) {
  setKeyPath(m_beamOfInterestKeyPath, "beamOfInterestKeyPath", p);
}
void RaysCalculator::setEmissionSurfaceKeyPath(const std::string& p) {
  setKeyPath(m_emissionSurfaceKeyPath, "emissionSurfaceKeyPath", p);
  postModelChangedNotification();
}

std::shared_ptr<platform::Object> RaysCalculator::objectAtKeyPath(const std::string& keyPath) const {
  const LensPtr l = lens();
  if (!l || keyPath.empty()) return nullptr;
  try {
    return l->valueForKey(keyPath).objectIf<platform::Object>();
  } catch (const platform::Exception&) {
    return nullptr;
  }
}

std::string RaysCalculator::keyPathFor(const std::shared_ptr<platform::Object>& member) const {
  const LensPtr l = lens();
  if (!l || !member) return {};
  return l->keyPathForObject(*member).value_or(std::string());
}

RaysCalculator::SurfacePtr RaysCalculator::surfaceOfInterest() const {
  if (auto s = std::dynamic_pointer_cast<lens::Surface>(objectAtKeyPath(surfaceOfInterestKeyPath()))) return s;
  const LensPtr l = lens();
  return l ? l->imageSurface() : nullptr;
}

void RaysCalculator::setSurfaceOfInterest(const SurfacePtr& surface) {
  const LensPtr l = lens();
  const bool isImage = l && surface && surface == l->imageSurface();
  setSurfaceOfInterestKeyPath(isImage ? std::string() : keyPathFor(surface));
  setNeedsCalculation(true);
}

RaysCalculator::FieldPtr RaysCalculator::fieldOfInterest() const {
  return std::dynamic_pointer_cast<lens::Field>(objectAtKeyPath(fieldOfInterestKeyPath()));
}
void RaysCalculator::setFieldOfInterest(const FieldPtr& field) {
  setFieldOfInterestKeyPath(keyPathFor(field));
  setNeedsCalculation(true);
}
std::vector<RaysCalculator::FieldPtr> RaysCalculator::fieldsOfInterest() const {
  if (FieldPtr f = fieldOfInterest()) return {f};
  const LensPtr l = lens();
  return l ? l->fieldArray() : std::vector<FieldPtr>{};
}

RaysCalculator::WavePtr RaysCalculator::waveOfInterest() const {
  return std::dynamic_pointer_cast<lens::Wave>(objectAtKeyPath(waveOfInterestKeyPath()));
}
void RaysCalculator::setWaveOfInterest(const WavePtr& wave) {
  setWaveOfInterestKeyPath(keyPathFor(wave));
  setNeedsCalculation(true);
}
std::vector<RaysCalculator::WavePtr> RaysCalculator::wavesOfInterest() const {
  if (WavePtr w = waveOfInterest()) return {w};
  const LensPtr l = lens();
  return l ? l->waveArray() : std::vector<WavePtr>{};
}

RaysCalculator::BeamPtr RaysCalculator::beamOfInterest() const {
  return std::dynamic_pointer_cast<lens::LensBeam>(objectAtKeyPath(beamOfInterestKeyPath()));
}
void RaysCalculator::setBeamOfInterest(const BeamPtr& beam) {
  setBeamOfInterestKeyPath(keyPathFor(beam));
  setNeedsCalculation(true);
}
std::vector<RaysCalculator::BeamPtr> RaysCalculator::beamsOfInterest() const {
  if (!usesBeams()) return {};
  if (BeamPtr b = beamOfInterest()) return {b};
  const LensPtr l = lens();
  return l && l->beamArray() ? *l->beamArray() : std::vector<BeamPtr>{};
}

RaysCalculator::SurfacePtr RaysCalculator::emissionSurface() const {
  return std::dynamic_pointer_cast<lens::Surface>(objectAtKeyPath(emissionSurfaceKeyPath()));
}
void RaysCalculator::setEmissionSurface(const SurfacePtr& surface) {
  setEmissionSurfaceKeyPath(keyPathFor(surface));
  setNeedsCalculation(true);
}
std::vector<RaysCalculator::SurfacePtr> RaysCalculator::emissionSurfaces() const {
  std::vector<SurfacePtr> emitters;
  if (const LensPtr l = lens())
    for (const auto& s : l->surfaceArray())
      if (s && s->emission()) emitters.push_back(s);
  return emitters;
}
std::vector<RaysCalculator::SurfacePtr> RaysCalculator::emissionSurfacesOfInterest() const {
  if (!usesEmissionSurfaces()) return {};
  if (SurfacePtr s = emissionSurface()) return {s};
  return emissionSurfaces();
}

bool RaysCalculator::fullMatrixShouldBeWarned() const {
  return fieldsOfInterest().size() >= 2 && wavesOfInterest().size() >= 2;
}

void RaysCalculator::emissionChanged() {
  const SurfacePtr s = emissionSurface();
  if (s && !s->emission()) setEmissionSurfaceKeyPath({});
}

// --- restoration indexes -------------------------------------------------------------------------

std::int64_t RaysCalculator::indexIn(const std::string& keyPath, char letter) const {
  if (keyPath.size() < 2 || keyPath[0] != letter) return kNotFound;
  long long index = 0;
  int consumed = 0;
  if (std::sscanf(keyPath.c_str() + 1, "%lld%n", &index, &consumed) != 1 || index < 0) return kNotFound;
  return index;
}

namespace {
std::string keyPathForIndex(char letter, std::int64_t index) {
  if (index < 0 || index == kNotFound) return {};
  return platform::format("%c%lld", letter, static_cast<long long>(index));
}
}  // namespace

std::int64_t RaysCalculator::indexOfSurfaceOfInterest() const { return indexIn(surfaceOfInterestKeyPath(), 's'); }
void RaysCalculator::setIndexOfSurfaceOfInterest(std::int64_t index) {
  setSurfaceOfInterestKeyPath(index == kNotFound32 ? std::string() : keyPathForIndex('s', index));
}
std::int64_t RaysCalculator::indexOfFieldOfInterest() const { return indexIn(fieldOfInterestKeyPath(), 'f'); }
void RaysCalculator::setIndexOfFieldOfInterest(std::int64_t index) {
  setFieldOfInterestKeyPath(keyPathForIndex('f', index));
}
std::int64_t RaysCalculator::indexOfWaveOfInterest() const { return indexIn(waveOfInterestKeyPath(), 'w'); }
void RaysCalculator::setIndexOfWaveOfInterest(std::int64_t index) {
  setWaveOfInterestKeyPath(keyPathForIndex('w', index));
}
std::int64_t RaysCalculator::indexOfBeamOfInterest() const { return indexIn(beamOfInterestKeyPath(), 'b'); }
void RaysCalculator::setIndexOfBeamOfInterest(std::int64_t index) {
  setBeamOfInterestKeyPath(keyPathForIndex('b', index));
}
std::int64_t RaysCalculator::indexOfEmissionSurface() const { return indexIn(emissionSurfaceKeyPath(), 's'); }
void RaysCalculator::setIndexOfEmissionSurface(std::int64_t index) {
  setEmissionSurfaceKeyPath(index == kNotFound32 ? std::string() : keyPathForIndex('s', index));
}

// --- colours -----------------------------------------------------------------------------------

const std::vector<std::string>& RaysCalculator::possibleRayColorOptions() {
  static const std::vector<std::string> options{"fixed", "field", "wave"};
  return options;
}
const std::vector<std::string>& RaysCalculator::possibleBeamColorOptions() {
  static const std::vector<std::string> options{"fixed", "beam"};
  return options;
}
const std::vector<std::string>& RaysCalculator::possibleEmissionColorOptions() {
  static const std::vector<std::string> options{"fixed", "emitter"};
  return options;
}

std::string RaysCalculator::rayColorOption() const { return stringSetting(m_rayColorOption); }
std::string RaysCalculator::beamColorOption() const { return stringSetting(m_beamColorOption); }
std::string RaysCalculator::emissionColorOption() const { return stringSetting(m_emissionColorOption); }

std::shared_ptr<platform::Color> RaysCalculator::fixedRayColor() const {
  std::lock_guard lock(m_settingsMutex);
  return m_fixedRayColor;
}
std::shared_ptr<platform::Color> RaysCalculator::fixedBeamColor() const {
  std::lock_guard lock(m_settingsMutex);
  return m_fixedBeamColor;
}
std::shared_ptr<platform::Color> RaysCalculator::fixedEmissionColor() const {
  std::lock_guard lock(m_settingsMutex);
  return m_fixedEmissionColor;
}

void RaysCalculator::setRayColorOption(const std::string& option) {
  setKeyPath(m_rayColorOption, "rayColorOption", option);
  updateRayColors();
}
void RaysCalculator::setBeamColorOption(const std::string& option) {
  setKeyPath(m_beamColorOption, "beamColorOption", option);
  updateRayColors();
}
void RaysCalculator::setEmissionColorOption(const std::string& option) {
  setKeyPath(m_emissionColorOption, "emissionColorOption", option);
  updateRayColors();
}

void RaysCalculator::setFixedRayColor(std::shared_ptr<platform::Color> color) {
  changeValueForKey("fixedRayColor", [&] {
    std::lock_guard lock(m_settingsMutex);
    m_fixedRayColor = std::move(color);
  });
  updateRayColors();
}
void RaysCalculator::setFixedBeamColor(std::shared_ptr<platform::Color> color) {
  changeValueForKey("fixedBeamColor", [&] {
    std::lock_guard lock(m_settingsMutex);
    m_fixedBeamColor = std::move(color);
  });
  updateRayColors();
}
void RaysCalculator::setFixedEmissionColor(std::shared_ptr<platform::Color> color) {
  changeValueForKey("fixedEmissionColor", [&] {
    std::lock_guard lock(m_settingsMutex);
    m_fixedEmissionColor = std::move(color);
  });
  updateRayColors();
}

std::shared_ptr<platform::Color> RaysCalculator::colorFor(bool lockColor,
                                                          const std::shared_ptr<platform::Color>& ownColor,
                                                          const platform::Object* beam, const platform::Object* emitter,
                                                          const platform::Object* field,
                                                          const platform::Object* wave) const {
  if (lockColor && ownColor) return ownColor;
  std::shared_ptr<platform::Color> fixed, chosen;
  if (beam) {
    fixed = fixedBeamColor();
    if (beamColorOption() != "fixed") chosen = withAlphaOf(colorOf(beam), fixed);
  } else if (emitter) {
    fixed = fixedEmissionColor();
    if (emissionColorOption() != "fixed") chosen = withAlphaOf(colorOf(emitter), fixed);
  } else {
    fixed = fixedRayColor();
    const std::string option = rayColorOption();
    if (option == "field") chosen = withAlphaOf(colorOf(field), fixed);
    else if (option == "wave") chosen = withAlphaOf(colorOf(wave), fixed);
  }
  return chosen ? chosen : fixed;
}

std::shared_ptr<platform::Color> RaysCalculator::colorForDictionary(const Dictionary& tags) const {
  auto object = [&](const char* key) -> std::shared_ptr<platform::Object> {
    const Value* v = tags.find(Value(key));
    return v ? v->objectIf<platform::Object>() : nullptr;
  };
  const Value* lock = tags.find(Value("lockColor"));
  const bool locked = lock && lock->isNumber() && lock->asBool();
  const auto beam = object("beam"), emitter = object("emissionSurface"), field = object("field"),
             wave = object("wave");
  return colorFor(locked, std::dynamic_pointer_cast<platform::Color>(object("color")), beam.get(), emitter.get(),
                  field.get(), wave.get());
}

std::shared_ptr<platform::Color> RaysCalculator::colorForRay(const Ray& ray) const {
  const auto& tags = ray.tags();
  const auto beam = tags.valueForKey("beam").objectIf<platform::Object>();
  const auto emitter = tags.valueForKey("emissionSurface").objectIf<platform::Object>();
  return colorFor(tags.lockColor, tags.color(), beam.get(), emitter.get(), tags.field.get(), ray.wave().get());
}

void RaysCalculator::updateColorsWithDictionary(const Dictionary& colors) {
  {
    platform::Synchronized lock(this);
    std::vector<const platform::Object*> seen;
    auto adopt = [&](const std::shared_ptr<platform::Object>& o) {
      if (!o || std::find(seen.begin(), seen.end(), o.get()) != seen.end()) return;
      seen.push_back(o.get());
      if (auto colored = std::dynamic_pointer_cast<foundation::VKColoredObject>(o))
        colored->updateColorWithDictionary(colors);
    };
    // The bundle's tables hold every field and wave of its rows.
    if (m_bundle) {
      for (const auto& f : m_bundle->rays.fields) adopt(f);
      for (const auto& w : m_bundle->rays.waves) adopt(w);
    }
    if (m_otherRays)
      for (const Ray& r : *m_otherRays) {
        adopt(r.tags().valueForKey("beam").objectIf<platform::Object>());
        adopt(r.tags().field);
        adopt(r.wave());
        adopt(r.tags().valueForKey("emissionSurface").objectIf<platform::Object>());
      }
  }
  updateRayColors();
}

void RaysCalculator::updateRayColors() { postModelChangedNotification(); }

void RaysCalculator::postModelChangedNotification() {
  // Not while the object is being made or going: no views can be listening then.
  if (isDeallocating() || weak_from_this().expired()) return;
  platform::NotificationCenter::defaultCenter().post("modelChangedNotification", Value(reference()));
}

bool RaysCalculator::canRandomize() const {
  return fanIsRandom() || usesEmissionSurfaces() || !beamOfInterestKeyPath().empty();
}

// --- results -----------------------------------------------------------------------------------

namespace {

// The bundle's rows as rays, then the other rays.
RaysCalculator::RaysPtr joined(const RaysCalculator::BundlePtr& bundle, const RaysCalculator::RaysPtr& others) {
  auto all = std::make_shared<RaysCalculator::Rays>(bundle ? bundle->toRays() : RaysCalculator::Rays{});
  if (others) all->insert(all->end(), others->begin(), others->end());
  return all;
}

}  // namespace

const Ray* RaysCalculator::TracedBundle::leadRay(std::size_t row) const {
  const auto it = std::lower_bound(leadRows.begin(), leadRows.end(), row);
  if (it == leadRows.end() || *it != row) return nullptr;
  return &leadRays[static_cast<std::size_t>(it - leadRows.begin())];
}

RaysCalculator::Rays RaysCalculator::TracedBundle::toRays() const {
  Rays out;
  const std::size_t n = rays.size();
  out.reserve(n);
  tracing::pupil::Points points;
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const bool newRun = i == 0 || rays.field[i] != rays.field[i - 1] || rays.wave[i] != rays.wave[i - 1] ||
                        i - runStart == pupil.size();
    if (newRun) {
      runStart = i;
      const std::uint16_t f = rays.field[i];
      points = f < rays.fields.size() && rays.fields[f] ? tracing::vignettePupilCoordinates(pupil, *rays.fields[f])
                                                          : pupil;
    }
    out.push_back(rays.ray(i));
    if (i - runStart < points.size()) out.back().tags().pupilCoordinate = points[i - runStart];
    if (const Ray* lead = leadRay(i)) out.back().setSurfaceNormal(lead->surfaceNormal());
  }
  return out;
}

RaysCalculator::BundlePtr RaysCalculator::tracedBundle() const {
  platform::Synchronized lock(this);
  return m_bundle;
}
RaysCalculator::RaysPtr RaysCalculator::rays() const {
  BundlePtr bundle;
  RaysPtr others;
  {
    platform::Synchronized lock(this);
    if (m_rays || !m_published) return m_rays;
    bundle = m_bundle;
    others = m_otherRays;
  }
  // Made outside the lock: a large bundle takes a while, and the worker may publish.
  RaysPtr made = joined(bundle, others);
  platform::Synchronized lock(this);
  if (!m_rays && m_bundle == bundle && m_otherRays == others) m_rays = made;
  return made;
}
RaysCalculator::RaysPtr RaysCalculator::otherRays() const {
  platform::Synchronized lock(this);
  return m_otherRays;
}
RaysCalculator::RaysPtr RaysCalculator::paraxialRays() const {
  platform::Synchronized lock(this);
  return m_paraxialRays;
}
RaysCalculator::RaysPtr RaysCalculator::initialRays() const {
  BundlePtr bundle;
  RaysPtr others;
  {
    platform::Synchronized lock(this);
    if (m_initialRays || !m_published) return m_initialRays;
    bundle = m_initialBundle;
    others = m_otherInitialRays;
  }
  RaysPtr made = joined(bundle, others);
  platform::Synchronized lock(this);
  if (!m_initialRays && m_initialBundle == bundle && m_otherInitialRays == others) m_initialRays = made;
  return made;
}
RaysCalculator::RaysPtr RaysCalculator::initialParaxialRays() const {
  platform::Synchronized lock(this);
  return m_initialParaxialRays;
}
std::optional<platform::Exception> RaysCalculator::exception() const {
  platform::Synchronized lock(this);
  return m_exception;
}

void RaysCalculator::publishResults() {
  BundlePtr bundle = std::move(m_workingBundle);
  BundlePtr initialBundle = keepsInitialRays() ? std::move(m_workingInitialBundle) : nullptr;
  auto others = std::make_shared<const Rays>(std::move(m_workingRays));
  auto otherInitial = std::make_shared<const Rays>(std::move(m_workingInitialRays));
  auto paraxial = std::make_shared<const Rays>(std::move(m_workingParaxialRays));
  auto initialParaxial = std::make_shared<const Rays>(std::move(m_workingInitialParaxialRays));
  {
    platform::Synchronized lock(this);
    std::swap(m_bundle, bundle);
    std::swap(m_initialBundle, initialBundle);
    m_otherRays = std::move(others);
    m_otherInitialRays = std::move(otherInitial);
    m_paraxialRays = std::move(paraxial);
    m_initialParaxialRays = std::move(initialParaxial);
    m_rays.reset();
    m_initialRays.reset();
    m_published = true;
  }
  // The replaced bundles go here, outside the lock; one that nobody else holds is kept for
  // the next run to fill (it was made non-const by this calculator).
  if (bundle && bundle.use_count() == 1) m_spareBundle = std::const_pointer_cast<TracedBundle>(std::move(bundle));
}

// --- stages ------------------------------------------------------------------------------------

void RaysCalculator::calculate() {
  if (platform::currentThreadIsCancelled()) return;
  const LensPtr l = lens();
  if (!l) return;
  platform::Synchronized lensLock(l.get());
  if (!l->isReady() || l->surfaceArray().empty() || l->stopTransferMatrix().empty()) return;
  // A chosen field or wave that has gone from the lens: leave the old result.
  if (!fieldOfInterestKeyPath().empty() && !fieldOfInterest()) return;
  if (!waveOfInterestKeyPath().empty() && !waveOfInterest()) return;

  {
    platform::Synchronized lock(this);
    m_exception.reset();
  }
  m_workingInitialRays.clear();
  m_workingInitialParaxialRays.clear();
  m_workingRays.clear();
  m_workingParaxialRays.clear();
  m_workingInitialBundle.reset();
  m_workingBundle.reset();
  try {
    if (!platform::currentThreadIsCancelled()) generateInitialRays();
    if (!platform::currentThreadIsCancelled()) traceRays();
  } catch (const platform::Exception& e) {
    platform::log("Exception: %s", e.what());
    {
      platform::Synchronized lock(this);
      m_exception = e;
    }
    // Shown where the user looks, not only logged.
    performOnMainThreadForRun([this, text = e.name() + ": " + e.reason()] { setStatus(text); });
  }
  if (platform::currentThreadIsCancelled()) {  // a cancelled trace's rays are discarded
    m_workingInitialBundle.reset();
    m_workingBundle.reset();
    return;
  }
  publishResults();
  setNeedsCalculation(false);
}

void RaysCalculator::generateInitialRays() {
  const LensPtr l = lens();
  if (!l) return;
  Rays paraxialStart;
  if (paraxialMarginalFlag())
    if (auto r = tracing::marginalRay(*l)) paraxialStart.push_back(std::move(*r));
  if (paraxialChiefFlag())
    if (auto r = tracing::chiefRay(*l)) paraxialStart.push_back(std::move(*r));

  const auto fields = fieldsOfInterest();
  const auto waves = wavesOfInterest();
  if (!fields.empty() && !waves.empty() && numberOfRays() != 0) {
    std::shared_ptr<TracedBundle> start = m_spareBundle ? std::move(m_spareBundle) : std::make_shared<TracedBundle>();
    start->pupil = pupilCoordinatesForRealRays();
    start->leadRows.clear();
    start->leadRays.clear();
    if (!tracing::fillBundleForFields(start->rays, *l, fields, start->pupil, waves, false, suspendsRayAiming()))
      start->rays.clear();
    if (!start->rays.empty()) m_workingInitialBundle = std::move(start);
  }
  // Beams and emitters add their random rays beside the bundle.
  Rays others;
  for (const BeamPtr& b : beamsOfInterest()) {
    const auto* beam = dynamic_cast<const tracing::OBBeam*>(b.get());
    if (!beam || beamNumberOfRays() == 0) continue;
    Rays made = beam->randomRaysWithCount(beamNumberOfRays());
    // A lens wave at the beam's wavelength stands for it, so per-wave selections find the rays.
    std::shared_ptr<lens::Wave> same;
    for (const WavePtr& w : waves)
      if (w && made.size() && made.front().wave() &&
          w->wavelengthInNanometers() == made.front().wave()->wavelengthInNanometers())
        same = w;
    for (Ray& r : made) {
      if (same) r.setWave(same);
      r.tags().setValueForKey("beam", Value(b));
      others.push_back(std::move(r));
    }
  }
  for (const SurfacePtr& s : emissionSurfacesOfInterest()) {
    const auto* emission = dynamic_cast<const tracing::RayEmission*>(s->emission().get());
    if (!emission || emissionNumberOfRays() == 0) continue;
    for (Ray& r : emission->randomRaysWithCount(emissionNumberOfRays())) {
      r.tags().setValueForKey("emissionSurface", Value(s));
      others.push_back(std::move(r));
    }
  }
  m_workingInitialRays = std::move(others);
  m_workingInitialParaxialRays = std::move(paraxialStart);
}

void RaysCalculator::traceRays() {
  const LensPtr l = lens();
  if (!l) return;
  m_workingParaxialRays = m_workingInitialParaxialRays;
  m_workingRays = m_workingInitialRays;
  const SurfacePtr target = surfaceOfInterest();
  platform::Synchronized lensLock(l.get());
  if (!m_workingParaxialRays.empty())
    tracing::traceRays(*l, std::span<Ray>(m_workingParaxialRays), target.get(), tracing::TraceOptions::paraxial(true));
  tracing::TraceOptions options = tracing::TraceOptions::paraxial(paraxial());
  options.parallelFromRays = parallelTraceFromRays();
  double metric = 0;
  if (m_workingInitialBundle) {
    // The start rows are traced in place unless a copy is to be kept.
    m_workingBundle = keepsInitialRays() ? std::make_shared<TracedBundle>(*m_workingInitialBundle)
                                         : std::move(m_workingInitialBundle);
    metric = tracing::traceRays(*l, m_workingBundle->rays, target.get(), options);
    if (!platform::currentThreadIsCancelled()) traceLeadRays(*l, *m_workingBundle, target.get(), options);
  }
  if (!m_workingRays.empty() || !m_workingBundle)
    metric = tracing::traceRays(*l, std::span<Ray>(m_workingRays), target.get(), options);
  m_tracePerformanceMetric = metric;
}

void RaysCalculator::traceLeadRays(lens::Lens& l, TracedBundle& traced, const lens::Surface* target,
                                   const tracing::TraceOptions& options) {
  const tracing::RayBundle& b = traced.rays;
  traced.leadRows.clear();
  traced.leadRays.clear();
  // Each run's first live row, made again as a Ray from its field, wave and pupil point;
  // the ray-generation warning stays the one of the bundle's generation.
  const std::optional<std::string> warning = l.warningReRayGeneration();
  Rays start;
  const std::size_t n = b.size(), perRun = traced.pupil.size();
  std::size_t runStart = 0;
  bool found = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (i == 0 || b.field[i] != b.field[i - 1] || b.wave[i] != b.wave[i - 1] || i - runStart == perRun)
      runStart = i, found = false;
    if (found || !b.alive[i]) continue;
    found = true;
    const std::size_t k = i - runStart;
    if (k >= perRun || b.field[i] >= b.fields.size() || b.wave[i] >= b.waves.size()) continue;
    Rays made = tracing::raysForFields(l, {b.fields[b.field[i]]}, std::span(&traced.pupil[k], 1), {b.waves[b.wave[i]]});
    if (made.size() != 1) continue;
    traced.leadRows.push_back(i);
    start.push_back(std::move(made.front()));
  }
  l.setWarningReRayGeneration(warning);
  if (start.empty()) return;
  tracing::traceRays(l, std::span<Ray>(start), target, options);
  traced.leadRays = std::move(start);
}

void RaysCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  OBCalculator::addRestorationDataToDictionary(d);
  for (const char* key :
       {"paraxial", "paraxialMarginalFlag", "paraxialChiefFlag", "numberOfRays", "fanType", "indexOfBeamOfInterest",
        "indexOfEmissionSurface", "indexOfSurfaceOfInterest", "indexOfFieldOfInterest", "indexOfWaveOfInterest",
        "spiralPhase", "rayColorOption", "fixedRayColor", "beamColorOption", "fixedBeamColor", "fixedEmissionColor",
        "emissionColorOption", "emissionNumberOfRays"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
