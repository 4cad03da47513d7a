#include "lens/Emission.h"

#include <mutex>

#include "lens/Wave.h"
#include "platform/Coder.h"
#include "platform/Exception.h"

namespace orb::lens {

using platform::format;
using platform::Keys;
using platform::Value;

namespace {

struct RegistryEntry {
  std::string name;
  std::type_index type;
  Emission::Factory make;
};

struct Registry {
  std::mutex mutex;
  std::vector<RegistryEntry> entries;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void Emission::registerEmissionType(const std::string& name, const std::type_info& type, Factory factory) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  for (auto& e : r.entries)
    if (e.name == name) {  // registering again replaces, keeping the order
      e.type = std::type_index(type);
      e.make = std::move(factory);
      return;
    }
  r.entries.push_back(RegistryEntry{name, std::type_index(type), std::move(factory)});
}

std::vector<std::string> Emission::emissionTypes() {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> names;
  for (const auto& e : r.entries) names.push_back(e.name);
  return names;
}

std::shared_ptr<Emission> Emission::emissionOfType(const std::string& name, const platform::Dictionary& information) {
  Factory make;
  {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& e : r.entries)
      if (e.name == name) make = e.make;
  }
  if (!make) return nullptr;
  auto emission = make();
  emission->setInformation(information);
  return emission;
}

std::shared_ptr<Emission> Emission::emission() { return platform::makeObject<Emission>(); }

std::optional<std::string> Emission::emissionType() const {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  std::optional<std::string> name;
  for (const auto& e : r.entries)
    if (e.type == std::type_index(typeid(*this))) name = e.name;
  return name;
}

void Emission::setWavelengthInNanometers(double nm) { setAndAnnounce("wavelengthInNanometers", m_wavelengthInNanometers, nm); }
void Emission::setNumericalAperture(double na) { setAndAnnounce("numericalAperture", m_numericalAperture, na); }

std::vector<std::string> Emission::informationExportKeys() const { return {"numericalAperture", "wavelengthInNanometers"}; }

platform::Dictionary Emission::information() const {
  platform::Dictionary d;
  for (const auto& key : informationExportKeys()) d.set(key, valueForKey(key));
  return d;
}

void Emission::setInformation(const platform::Dictionary& information) {
  if (information.empty()) return;
  for (const auto& key : informationImportKeys()) {
    const Value* v = information.find(Value(key));
    if (v && !v->isNil()) setValueForKey(key, *v);
  }
}

std::shared_ptr<Wave> Emission::wave() const {
  auto w = Wave::wave();
  w->setWavelengthInNanometers(m_wavelengthInNanometers);
  return w;
}

std::vector<std::string> Emission::keyPathsForVariables() const {
  std::vector<std::string> paths;
  for (const auto& k : possibleVariables())
    if (valueForKey(k + "IsVariable").asBool()) paths.push_back(k);
  return paths;
}

std::string Emission::description() const {
  return format("%s(%gnm,%g)", className().c_str(), m_wavelengthInNanometers, m_numericalAperture);
}

std::string Emission::emissionDescription() const {
  return format("wavelength %gnm\ncutoff N.A. %g", m_wavelengthInNanometers, m_numericalAperture);
}

std::shared_ptr<Emission> Emission::copy() const {
  auto e = makeEmpty();
  e->setInformation(information());
  return e;
}

void Emission::encodeWithCoder(platform::Coder& coder) const {
  coder.encodeDouble("wavelengthInNanometers", m_wavelengthInNanometers);
  coder.encodeDouble("numericalAperture", m_numericalAperture);
}

void Emission::initWithCoder(const platform::Coder& coder) {
  setNumericalAperture(coder.decodeDouble("numericalAperture"));
  setWavelengthInNanometers(coder.decodeDouble("wavelengthInNanometers"));
}

const platform::KeyTable& Emission::classKeys() {
  using K = Keys<Emission>;
  platform::KeyEntry wave;
  wave.key = "wave";
  wave.get = [](const platform::Object& o) { return Value(static_cast<const Emission&>(o).wave()); };
  platform::KeyEntry type;
  type.key = "emissionType";
  type.get = [](const platform::Object& o) {
    auto t = static_cast<const Emission&>(o).emissionType();
    return t ? Value(*t) : Value();
  };
  platform::KeyEntry variables;
  variables.key = "keyPathsForVariables";
  variables.get = [](const platform::Object& o) {
    platform::Array a;
    for (const auto& k : static_cast<const Emission&>(o).keyPathsForVariables()) a.push_back(k);
    return Value(std::move(a));
  };
  platform::KeyEntry gestalt;
  gestalt.key = "emissionGestalt";
  gestalt.get = [](const platform::Object&) { return Value(); };
  static const platform::KeyTable table(
      &VKObject::classKeys(),
      {
          K::property("wavelengthInNanometers", &Emission::wavelengthInNanometers, &Emission::setWavelengthInNanometers),
          K::property("numericalAperture", &Emission::numericalAperture, &Emission::setNumericalAperture),
          std::move(wave).dependsOn({"wavelengthInNanometers"}),
          K::getter("emissionDescription", &Emission::emissionDescription)
              .dependsOn({"numericalAperture", "wavelengthInNanometers"}),
          std::move(gestalt).dependsOn({"numericalAperture", "wavelengthInNanometers"}),
          std::move(type),
          std::move(variables),
          K::getter("description", &Emission::description).dependsOn({"numericalAperture", "wavelengthInNanometers"}),
      });
  return table;
}

}  // namespace orb::lens
