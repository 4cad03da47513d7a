#include "tracing/OBBeam.h"

#include <cmath>
#include <numbers>

#include "foundation/minimise/MersenneTwister.h"
#include "lens/Wave.h"
#include "platform/ArchiveRegistry.h"
#include "platform/Coder.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "tracing/Emitters.h"

namespace orb::tracing {

using foundation::XYZ;
using platform::Value;

namespace {

constexpr double kDefaultWavelength = 633;

// The polar method's second deviate, kept for the next call. Per thread: worker threads
// draw beam and emitter rays at once, and a shared unguarded cache would be a data race.
thread_local bool g_haveCachedDeviate = false;
thread_local double g_cachedDeviate = 0;

}  // namespace

double gaussianDeviate() {
  if (g_haveCachedDeviate) {
    g_haveCachedDeviate = false;
    return g_cachedDeviate;
  }
  double a, b, s;
  do {
    a = 2 * foundation::mersenneTwisterRandom() - 1;
    b = 2 * foundation::mersenneTwisterRandom() - 1;
    s = a * a + b * b;
  } while (s >= 1 || s == 0);  // s = 0 would give 0·∞
  const double f = std::sqrt(-2 * std::log(s) / s);
  g_cachedDeviate = b * f;
  g_haveCachedDeviate = true;
  return a * f;
}

OBBeam::OBBeam() { setupDefaults(); }

std::shared_ptr<OBBeam> OBBeam::beam() { return platform::makeObject<OBBeam>(); }

void OBBeam::setupDefaults() {
  setName("noname");
  setIndexOfRefraction(1.0);
  setPositionX(0), setPositionY(0), setPositionZ(0);
  setWavelengthInNanometers(kDefaultWavelength);
  setGaussianWaistRadius(0.05);
  setGaussianDistanceFromWaist(0);
  setEmSquared(1.0);
  for (const auto& k : possibleVariables()) setIsVariable(k, false);
  setColor(platform::Color::make(0, 1, 1));
}

void OBBeam::setName(const std::string& name) { setAndAnnounce("name", m_name, name); }
void OBBeam::setIndexOfRefraction(double n) { setAndAnnounce("indexOfRefraction", m_indexOfRefraction, n); }
void OBBeam::setPositionX(double v) { setAndAnnounce("positionX", m_positionX, v); }
void OBBeam::setPositionY(double v) { setAndAnnounce("positionY", m_positionY, v); }
void OBBeam::setPositionZ(double v) { setAndAnnounce("positionZ", m_positionZ, v); }
void OBBeam::setWavelengthInNanometers(double nm) {
  setAndAnnounce("wavelengthInNanometers", m_wavelengthInNanometers, nm == 0 ? kDefaultWavelength : nm);
}
void OBBeam::setGaussianWaistRadius(double w0) { setAndAnnounce("gaussianWaistRadius", m_gaussianWaistRadius, w0); }
void OBBeam::setGaussianDistanceFromWaist(double d) {
  setAndAnnounce("gaussianDistanceFromWaist", m_gaussianDistanceFromWaist, d);
}
void OBBeam::setEmSquared(double m2) { setAndAnnounce("emSquared", m_emSquared, std::max(1.0, m2)); }

std::string OBBeam::description() const {
  return platform::format("Beam(x=%g,y=%g,z=%g,w0=%g)", m_positionX, m_positionY, m_positionZ, m_gaussianWaistRadius);
}

const std::vector<std::string>& OBBeam::possibleVariables() {
  static const std::vector<std::string> keys{"positionX",           "positionY",
                                             "positionZ",           "wavelengthInNanometers",
                                             "gaussianWaistRadius", "gaussianDistanceFromWaist"};
  return keys;
}

const std::vector<std::string>& OBBeam::variabilityKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (const auto& v : possibleVariables()) k.push_back(v + "IsVariable");
    return k;
  }();
  return keys;
}

const std::vector<std::string>& OBBeam::coderKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k{"name",
                               "color",
                               "positionX",
                               "positionY",
                               "positionZ",
                               "wavelengthInNanometers",
                               "gaussianWaistRadius",
                               "gaussianDistanceFromWaist",
                               "indexOfRefraction",
                               "emSquared"};
    for (const auto& v : variabilityKeys()) k.push_back(v);
    return k;
  }();
  return keys;
}

namespace {
int variableIndex(const std::string& key) {
  const auto& keys = OBBeam::possibleVariables();
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) return static_cast<int>(i);
  return -1;
}
}  // namespace

bool OBBeam::isVariable(const std::string& key) const {
  const int i = variableIndex(key);
  return i >= 0 && m_variable[i];
}

void OBBeam::setIsVariable(const std::string& key, bool variable) {
  const int i = variableIndex(key);
  if (i < 0) platform::Exception::raise("NSUnknownKeyException", "OBBeam has no variable %s", key.c_str());
  setAndAnnounce(key + "IsVariable", m_variable[i], variable);
}

std::vector<std::string> OBBeam::keyPathsForVariables() const {
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < possibleVariables().size(); ++i)
    if (m_variable[i]) paths.push_back(possibleVariables()[i]);
  return paths;
}

double OBBeam::angularSpread() const {
  const double lambda = (m_wavelengthInNanometers > 0 ? m_wavelengthInNanometers : kDefaultWavelength) * 1e-6;
  return lambda * m_emSquared / (2 * std::numbers::pi * m_gaussianWaistRadius);
}

std::vector<Ray> OBBeam::randomRaysWithCount(std::size_t count) const {
  const double n = m_indexOfRefraction;
  const double theta = angularSpread();
  // Also refuses a zero waist (θ infinite) and a NaN spread.
  if (!(theta <= 0.5 * std::abs(n))) platform::Exception::raise("OBException", "beam divergence too large");
  auto wave = lens::Wave::wave();
  wave->setWavelengthInNanometers(m_wavelengthInNanometers > 0 ? m_wavelengthInNanometers : kDefaultWavelength);
  std::vector<Ray> rays;
  rays.reserve(count);
  const double half = m_gaussianWaistRadius / 2;  // w0 is twice the σ of the intensity profile
  for (std::size_t i = 0; i < count; ++i) {
    const XYZ q{m_positionX + gaussianDeviate() * half, m_positionY + gaussianDeviate() * half, m_positionZ};
    double px, py;
    do {
      px = gaussianDeviate() * theta;
      py = gaussianDeviate() * theta;
    } while (px * px + py * py >= n * n);
    const double pz = std::sqrt(n * n - px * px - py * py);
    Ray r = Ray::rayWithPosition(q, XYZ{px, py, pz}, n);
    r.setWave(wave);
    rays.push_back(std::move(r));
  }
  for (Ray& r : rays) r.virtualPropagate(m_gaussianDistanceFromWaist);
  return rays;
}

std::shared_ptr<OBBeam> OBBeam::copy() const {
  auto b = beam();
  b->m_name = m_name;
  b->m_indexOfRefraction = m_indexOfRefraction;
  b->m_positionX = m_positionX, b->m_positionY = m_positionY, b->m_positionZ = m_positionZ;
  b->m_wavelengthInNanometers = m_wavelengthInNanometers;
  b->m_gaussianWaistRadius = m_gaussianWaistRadius;
  b->m_gaussianDistanceFromWaist = m_gaussianDistanceFromWaist;
  b->m_emSquared = m_emSquared;
  for (int i = 0; i < 6; ++i) b->m_variable[i] = m_variable[i];
  b->setColor(color());
  b->setColorNumber(colorNumber());
  return b;
}

void OBBeam::encodeWithCoder(platform::Coder& coder) const {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "OBBeam class requires NSKeyedArchiver");
  for (const auto& key : coderKeys()) {
    const Value v = valueForKey(key);
    if (!v.isNil()) coder.encodeObject(key, v);
  }
}

void OBBeam::initWithCoder(const platform::Coder& coder) {
  setupDefaults();
  for (const auto& key : coderKeys()) setValueForKey(key, coder.decodeObject(key));
}

const platform::KeyTable& OBBeam::classKeys() {
  using platform::KeyEntry;
  using platform::Object;
  auto scalar = [](std::string key, double (OBBeam::*get)() const, void (OBBeam::*set)(double)) {
    KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const Object& o) { return Value((static_cast<const OBBeam&>(o).*get)()); };
    e.set = [set](Object& o, const Value& v) {
      if (!v.isNil()) (static_cast<OBBeam&>(o).*set)(v.asDouble());
    };
    return e;
  };
  static const platform::KeyTable table = [&] {
    std::vector<KeyEntry> entries;
    KeyEntry name;
    name.key = "name";
    name.get = [](const Object& o) { return Value(static_cast<const OBBeam&>(o).name()); };
    name.set = [](Object& o, const Value& v) {
      if (!v.isNil()) static_cast<OBBeam&>(o).setName(v.asString());
    };
    entries.push_back(std::move(name));
    entries.push_back(scalar("indexOfRefraction", &OBBeam::indexOfRefraction, &OBBeam::setIndexOfRefraction));
    entries.push_back(scalar("positionX", &OBBeam::positionX, &OBBeam::setPositionX));
    entries.push_back(scalar("positionY", &OBBeam::positionY, &OBBeam::setPositionY));
    entries.push_back(scalar("positionZ", &OBBeam::positionZ, &OBBeam::setPositionZ));
    entries.push_back(
        scalar("wavelengthInNanometers", &OBBeam::wavelengthInNanometers, &OBBeam::setWavelengthInNanometers));
    entries.push_back(scalar("gaussianWaistRadius", &OBBeam::gaussianWaistRadius, &OBBeam::setGaussianWaistRadius));
    entries.push_back(scalar("gaussianDistanceFromWaist", &OBBeam::gaussianDistanceFromWaist,
                             &OBBeam::setGaussianDistanceFromWaist));
    entries.push_back(scalar("emSquared", &OBBeam::emSquared, &OBBeam::setEmSquared));
    for (const auto& variable : possibleVariables()) {
      KeyEntry flag;
      flag.key = variable + "IsVariable";
      flag.get = [variable](const Object& o) { return Value(static_cast<const OBBeam&>(o).isVariable(variable)); };
      flag.set = [variable](Object& o, const Value& v) {
        if (!v.isNil()) static_cast<OBBeam&>(o).setIsVariable(variable, v.asBool());
      };
      entries.push_back(std::move(flag));
    }
    KeyEntry variables;
    variables.key = "keyPathsForVariables";
    variables.get = [](const Object& o) {
      platform::Array a;
      for (const auto& k : static_cast<const OBBeam&>(o).keyPathsForVariables()) a.push_back(k);
      return Value(std::move(a));
    };
    entries.push_back(std::move(variables).dependsOn(variabilityKeys()));
    KeyEntry gestalt;
    gestalt.key = "beamGestalt";
    gestalt.get = [](const Object&) { return Value(); };
    entries.push_back(std::move(gestalt).dependsOn(possibleVariables()));
    KeyEntry description;
    description.key = "description";
    description.get = [](const Object& o) { return Value(static_cast<const OBBeam&>(o).description()); };
    entries.push_back(std::move(description).dependsOn({"positionX", "positionY", "positionZ", "gaussianWaistRadius"}));
    KeyEntry shortDescription;
    shortDescription.key = "shortDescription";
    shortDescription.get = [](const Object& o) { return Value(static_cast<const OBBeam&>(o).shortDescription()); };
    entries.push_back(std::move(shortDescription).dependsOn({"name"}));
    return platform::KeyTable(&VKColoredObject::classKeys(), std::move(entries));
  }();
  return table;
}

void registerTracingClasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  if (!registry.byName("VKColoredObject")) registry.registerAbstract("VKColoredObject", "VKObject");
  if (!registry.byName("OBBeam")) registry.registerClass<OBBeam>("OBBeam", "VKColoredObject");
  registerEmissionTypes();
}

}  // namespace orb::tracing
