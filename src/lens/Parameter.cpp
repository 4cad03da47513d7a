#include "lens/Parameter.h"

#include <algorithm>

#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/NotificationQueue.h"

namespace orb::lens {

using platform::format;
using platform::Keys;
using platform::Value;

std::shared_ptr<Parameter> Parameter::parameter() { return platform::makeObject<Parameter>(); }

std::shared_ptr<Parameter> Parameter::parameterWithTitle(std::string title, double value) {
  auto p = parameter();
  p->m_title = std::move(title);
  p->m_value = value;
  return p;
}

void Parameter::setTitle(std::string title) { setAndAnnounce("title", m_title, std::move(title)); }
void Parameter::setValue(double value) { setAndAnnounce("value", m_value, value); }
void Parameter::setSolveType(int type) { setAndAnnounce("solveType", m_solveType, type); }
void Parameter::setSolveSurface(const std::shared_ptr<platform::Object>& surface) {
  setAndAnnounce("solveSurface", m_solveSurface, std::weak_ptr<platform::Object>(surface));
}
void Parameter::setSolveScale(double scale) { setAndAnnounce("solveScale", m_solveScale, scale); }
void Parameter::setSolveOffset(double offset) { setAndAnnounce("solveOffset", m_solveOffset, offset); }

const std::vector<std::string>& Parameter::solveDescriptors() {
  static const std::vector<std::string> descriptors{"  (fixed at user-specified value)",
                                                    "V (variable for optimization)", "P (pick up...)"};
  return descriptors;
}

const std::vector<int>& Parameter::solveKeys() {
  static const std::vector<int> keys{kFixed, kVariable, kPickup};
  return keys;
}

std::string Parameter::solveDescriptor() const {
  const auto& keys = solveKeys();
  auto it = std::find(keys.begin(), keys.end(), m_solveType);
  return it == keys.end() ? std::string() : solveDescriptors()[static_cast<std::size_t>(it - keys.begin())];
}

void Parameter::setSolveDescriptor(std::string descriptor) {
  const auto& descriptors = solveDescriptors();
  auto it = std::find(descriptors.begin(), descriptors.end(), descriptor);
  if (it == descriptors.end()) return;
  willChangeValueForKey("solveDescriptor");
  setSolveType(solveKeys()[static_cast<std::size_t>(it - descriptors.begin())]);
  didChangeValueForKey("solveDescriptor");
  touchSolve();
}

void Parameter::touchSolve() {
  if (m_solveType != kPickup) return;
  Value self(std::static_pointer_cast<Parameter>(std::const_pointer_cast<platform::Object>(weak_from_this().lock())));
  platform::NotificationQueue::defaultQueue().enqueue(
      platform::Notification("parameterSolveRequiresAttention", std::move(self)), platform::PostingStyle::WhenIdle,
      platform::Coalescing::OnName);
}

ParameterSurface* Parameter::sourceSurface(std::shared_ptr<platform::Object>& keepAlive) const {
  keepAlive = m_solveSurface.lock();
  return dynamic_cast<ParameterSurface*>(keepAlive.get());
}

std::string Parameter::solveDescription() const {
  switch (m_solveType) {
    case kFixed:
      return "fixed";
    case kVariable:
      return "variable";
    case kPickup: {
      std::shared_ptr<platform::Object> keep;
      ParameterSurface* source = sourceSurface(keep);
      std::string name = source ? source->nickname() : keep ? keep->description() : std::string("none");
      if (m_solveOffset == 0) return format("pickup from surface %s with scale %g", name.c_str(), m_solveScale);
      return format("pickup from surface %s with scale %g, offset %g", name.c_str(), m_solveScale, m_solveOffset);
    }
    default:
      return "unknown solve type";
  }
}

void Parameter::implementSolve() {
  if (m_solveType != kPickup) return;
  std::shared_ptr<platform::Object> keep;
  ParameterSurface* source = sourceSurface(keep);
  if (!source) return;
  std::shared_ptr<Parameter> from = source->parameterForKey(m_title);
  if (!from) return;
  setValue(from->value() * m_solveScale + m_solveOffset);
}

void Parameter::validateSolveForSurface(const ParameterSurface& owner) {
  if (m_solveType != kPickup && solveSurface()) setSolveSurface(nullptr);
  if (owner.invalidSolveSurface(solveSurface())) {
    if (m_solveType == kPickup) setSolveType(kFixed);
    setSolveSurface(nullptr);
  }
}

void Parameter::removeSolve() {
  if (m_solveType != kPickup) return;
  setSolveType(kFixed);
  setSolveSurface(nullptr);
}

void Parameter::removeVariable() {
  if (m_solveType == kVariable) setSolveType(kFixed);
}

void Parameter::surfaceReplacement(const platform::Dictionary& replacement) {
  replaceSurface(replacement.get("oldSurface").objectIf<platform::Object>(),
                 replacement.get("newSurface").objectIf<platform::Object>());
}

void Parameter::detachSurface(const std::shared_ptr<platform::Object>& surface) { replaceSurface(surface, nullptr); }

void Parameter::replaceSurface(const std::shared_ptr<platform::Object>& oldSurface,
                               const std::shared_ptr<platform::Object>& newSurface) {
  if (!oldSurface || solveSurface() != oldSurface) return;
  if (m_solveType == kPickup && !newSurface) setSolveType(kFixed);
  setSolveSurface(newSurface);
}

void Parameter::howAboutSolveSurface(const std::shared_ptr<platform::Object>& surface) {
  if (m_solveType == kPickup && !solveSurface()) setSolveSurface(surface);
}

void Parameter::negate() { setValue(m_value == 0 ? 0.0 : -m_value); }

void Parameter::scaleByFactor(double factor) { setValue(m_value == 0 || factor == 0 ? 0.0 : m_value * factor); }

const platform::Dictionary& Parameter::parameterDescriptionDictionary() {
  static const platform::Dictionary dictionary = [] {
    platform::Dictionary d{
        {"toricR", "Toric radius (mm)"},
        {"T", "Lines per micron"},
        {"m", "Diffraction order"},
        {"nterm", "Number of terms included"},
        {"rnorm", "Normalization radius (mm)"},
        {"dx", "Displacement in x direction (mm)"},
        {"dy", "Displacement in y direction (mm)"},
        {"nx", "Cells in x direction"},
        {"ny", "Cells in y direction"},
        {"f", "Focal length (mm)"},
        {"rx", "Rotation about x (degrees)"},
        {"ry", "Rotation about y (degrees)"},
        {"rz", "Rotation about z in degrees"},
        {"order", "0=dx,dy,rx,ry,rz 1=rz,ry,rx,dx,dy"},
        {"Rx", "Radius of curvature in x direction (mm)"},
        {"kx", "Conic constant in x direction"},
    };
    for (int power = 2; power <= 20; power += 2) {
      d.set(format("a%d", power), format("Aspheric coefficient of r^%d", power));
      d.set(format("b%d", power), format("Phase polynomial coefficient of r^%d", power));
    }
    return d;
  }();
  return dictionary;
}

std::optional<std::string> Parameter::parameterDescription() const {
  const Value* entry = parameterDescriptionDictionary().find(Value(m_title));
  if (!entry) return std::nullopt;
  return entry->asString();
}

std::string Parameter::description() const { return format("{%s = %g}", m_title.c_str(), m_value); }

std::shared_ptr<Parameter> Parameter::copy() const {
  auto p = parameter();
  p->m_title = m_title;
  p->m_value = m_value;
  p->m_solveType = m_solveType;
  p->m_solveSurface = m_solveSurface;
  p->m_solveScale = m_solveScale;
  p->m_solveOffset = m_solveOffset;
  return p;
}

void Parameter::encodeWithCoder(platform::Coder& coder) const {
  coder.encodeObject("title", m_title);
  coder.encodeDouble("value", m_value);
  coder.encodeInt("solveType", m_solveType);
  coder.encodeObject("solveSurface", Value(solveSurface()));
  coder.encodeDouble("solveScale", m_solveScale);
  // Left out at its default, so archives without offsets read as before.
  if (m_solveOffset != 0) coder.encodeDouble("solveOffset", m_solveOffset);
}

void Parameter::initWithCoder(const platform::Coder& coder) {
  setTitle(coder.decodeString("title"));
  setValue(coder.decodeDouble("value"));
  setSolveType(static_cast<int>(coder.decodeInt("solveType")));
  setSolveSurface(coder.decodeObjectOfClass<platform::Object>("solveSurface"));
  setSolveScale(coder.decodeDouble("solveScale"));
  setSolveOffset(coder.decodeDouble("solveOffset"));
}

const platform::KeyTable& Parameter::classKeys() {
  using K = Keys<Parameter>;
  auto stringList = [](std::string key, const std::vector<std::string>& (*list)()) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [list](const platform::Object&) {
      platform::Array a;
      for (const auto& s : list()) a.push_back(s);
      return Value(std::move(a));
    };
    return e;
  };
  platform::KeyEntry keysEntry;
  keysEntry.key = "solveKeys";
  keysEntry.get = [](const platform::Object&) {
    static const Value keys = [] {
      platform::Array a;
      for (int k : solveKeys()) a.push_back(Value(k));
      return Value(std::move(a));
    }();
    return keys;
  };
  platform::KeyEntry descriptionEntry;
  descriptionEntry.key = "parameterDescription";
  descriptionEntry.get = [](const platform::Object& o) {
    auto d = static_cast<const Parameter&>(o).parameterDescription();
    return d ? Value(*d) : Value();
  };
  static const platform::KeyTable table(
      &platform::Object::classKeys(),
      {
          K::property("title", &Parameter::title, &Parameter::setTitle),
          K::property("value", &Parameter::value, &Parameter::setValue),
          K::property("solveType", &Parameter::solveType, &Parameter::setSolveType),
          K::property("solveSurface", &Parameter::solveSurface, &Parameter::setSolveSurface),
          K::property("solveScale", &Parameter::solveScale, &Parameter::setSolveScale),
          K::property("solveOffset", &Parameter::solveOffset, &Parameter::setSolveOffset),
          K::property("solveDescriptor", &Parameter::solveDescriptor, &Parameter::setSolveDescriptor)
              .dependsOn({"solveType"}),
          K::getter("solveIsNontrivial", &Parameter::solveIsNontrivial).dependsOn({"solveType"}),
          K::getter("solveDescription", &Parameter::solveDescription)
              .dependsOn({"solveType", "solveSurface", "solveScale", "solveOffset"}),
          std::move(descriptionEntry).dependsOn({"title"}),
          K::getter("description", &Parameter::description).dependsOn({"title", "value"}),
          stringList("solveDescriptors", &Parameter::solveDescriptors),
          std::move(keysEntry),
      });
  return table;
}

}  // namespace orb::lens
