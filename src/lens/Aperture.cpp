#include "lens/Aperture.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <typeindex>

#include "geometry/values/OutlinableSurface.h"
#include "lens/AspectAperture.h"
#include "lens/CircularAperture.h"
#include "lens/SpiderAperture.h"
#include "platform/Coder.h"
#include "platform/Exception.h"

namespace orb::lens {

using foundation::VKInterval;
using platform::format;
using platform::Keys;
using platform::Value;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct ApertureTypeEntry {
  std::string name;
  std::type_index type;
  std::function<std::shared_ptr<Aperture>()> make;
};

template <class T>
ApertureTypeEntry entry(std::string name) {
  return {std::move(name), std::type_index(typeid(T)),
          [] { return std::static_pointer_cast<Aperture>(platform::makeObject<T>()); }};
}

// The one place that lists the aperture types, in menu order.
const std::vector<ApertureTypeEntry>& apertureRegistry() {
  static const std::vector<ApertureTypeEntry> registry{
      entry<FloatingAperture>("Floating aperture"),
      entry<CircularAperture>("Circular aperture"),
      entry<EllipticalAperture>("Elliptical aperture"),
      entry<RectangularAperture>("Rectangular aperture"),
      entry<CircularObscuration>("Circular obscuration"),
      entry<EllipticalObscuration>("Elliptical obscuration"),
      entry<RectangularObscuration>("Rectangular obscuration"),
      entry<SpiderAperture>("Spider"),
  };
  return registry;
}

}  // namespace

// --- Registry ---------------------------------------------------------------------------

const std::vector<std::string>& Aperture::apertureTypes() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& e : apertureRegistry()) n.push_back(e.name);
    return n;
  }();
  return names;
}

std::shared_ptr<Aperture> Aperture::apertureOfType(const std::string& name, const platform::Dictionary& information) {
  for (const auto& e : apertureRegistry())
    if (e.name == name) {
      auto a = e.make();
      a->setInformation(information);
      return a;
    }
  return nullptr;
}

std::shared_ptr<Aperture> Aperture::aperture() { return platform::makeObject<Aperture>(); }

std::optional<std::string> Aperture::apertureType() const {
  std::optional<std::string> name;
  for (const auto& e : apertureRegistry())
    if (e.type == std::type_index(typeid(*this))) name = e.name;
  return name;
}

// --- Stored values ----------------------------------------------------------------------

void Aperture::setIsSoft(bool soft) { setAndAnnounce("isSoft", m_isSoft, soft); }
void Aperture::setDecenterX(double x) { setAndAnnounce("decenterX", m_decenterX, x); }
void Aperture::setDecenterY(double y) { setAndAnnounce("decenterY", m_decenterY, y); }
void Aperture::setDecenterXIsVariable(bool v) { setAndAnnounce("decenterXIsVariable", m_decenterXIsVariable, v); }
void Aperture::setDecenterYIsVariable(bool v) { setAndAnnounce("decenterYIsVariable", m_decenterYIsVariable, v); }

// --- Derived geometry -------------------------------------------------------------------

double Aperture::xMin() const { return -kInfinity; }
double Aperture::xMax() const { return kInfinity; }
double Aperture::yMin() const { return -kInfinity; }
double Aperture::yMax() const { return kInfinity; }
std::vector<VKInterval> Aperture::xIntervals() const { return {VKInterval(xMin(), xMax())}; }
std::vector<VKInterval> Aperture::yIntervals() const { return {VKInterval(yMin(), yMax())}; }

std::vector<VKInterval> Aperture::complementOf(std::vector<VKInterval> blocked) {
  std::sort(blocked.begin(), blocked.end(), [](const VKInterval& p, const VKInterval& q) { return p.min() < q.min(); });
  std::vector<VKInterval> open;
  double from = -std::numeric_limits<double>::infinity();
  for (const VKInterval& b : blocked) {
    if (from < b.min()) open.emplace_back(from, b.min());
    from = std::max(from, b.max());
  }
  if (from < std::numeric_limits<double>::infinity()) open.emplace_back(from, std::numeric_limits<double>::infinity());
  return open;
}

// "Not equal" so that a NaN decentre counts as decentred.
bool Aperture::isDecentered() const { return !(m_decenterX == 0) || !(m_decenterY == 0); }

bool Aperture::shapePasses(double, double) const { return true; }
int Aperture::boxSurfaceTest(const geometry::BoxProtocol&) const { return 1; }

std::vector<std::string> Aperture::keyPathsForVariables() const {
  std::vector<std::string> paths;
  for (const auto& k : possibleVariables())
    if (valueForKey(k + "IsVariable").asBool()) paths.push_back(k);
  return paths;
}

// --- Information, copying -------------------------------------------------------------

const std::vector<std::string>& Aperture::informationExportKeys() {
  static const std::vector<std::string> keys{"isSoft", "decenterX", "decenterY", "xRadius", "yRadius", "rMin", "rMax"};
  return keys;
}

platform::Dictionary Aperture::information() const {
  platform::Dictionary d;
  for (const auto& key : informationExportKeys()) d.set(key, valueForKey(key));
  return d;
}

void Aperture::setInformation(const platform::Dictionary& information) {
  for (const auto& key : informationImportKeys()) {
    const Value* v = information.find(Value(key));
    if (v && !v->isNil()) setValueForKey(key, *v);
  }
}

std::shared_ptr<Aperture> Aperture::copy() const {
  auto a = makeEmpty();
  a->setInformation(information());
  a->copyUninformedStateFrom(*this);
  return a;
}

// --- Texts -------------------------------------------------------------------------------

std::string Aperture::zemaxCommands() const {
  auto command = zemaxCommandForApertureType();
  if (!command) return {};
  std::string text = *command + "\n";
  if (isDecentered()) text += format("OBDC %g %g\n", m_decenterX, m_decenterY) + "\n";
  return text;
}

// --- Drawing ----------------------------------------------------------------------------

void Aperture::zyDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const {
  PlanarPath path = zyBezierPathRepresentation();
  if (!path.empty()) sink.strokePath(path, pixelWidth);
}

void Aperture::zxDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const {
  PlanarPath path = zxBezierPathRepresentation();
  if (!path.empty()) sink.strokePath(path, pixelWidth);
}

void Aperture::drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options) const {
  DrawOptions o;
  if (const Value* n = options.find(Value("numberOfSegmentsPerRevolution")); n && n->isNumber())
    o.segmentsPerRevolution = static_cast<int>(n->asInt());
  if (const Value* r = options.find(Value("drawAlsoReversed")); r && r->isNumber()) o.drawAlsoReversed = r->asBool();
  draw(sink, o);
}

void Aperture::draw(geometry::DrawingSink&, const DrawOptions&) const {}

double Aperture::surfaceSag(double x, double y) const {
  auto owner = m_surface.lock();
  auto* surface = dynamic_cast<const geometry::OutlinableSurface*>(owner.get());
  if (!surface || !surface->validQ(foundation::XY{x, y})) return 0;
  return surface->sagAtQ(foundation::XY{x, y});
}

// --- Archive, keys -----------------------------------------------------------------------

void Aperture::encodeWithCoder(platform::Coder& coder) const {
  coder.encodeDouble("decenterX", m_decenterX);
  coder.encodeDouble("decenterY", m_decenterY);
  coder.encodeBool("decenterXIsVariable", m_decenterXIsVariable);
  coder.encodeBool("decenterYIsVariable", m_decenterYIsVariable);
}

void Aperture::initWithCoder(const platform::Coder& coder) {
  setDecenterX(coder.decodeDouble("decenterX"));
  setDecenterY(coder.decodeDouble("decenterY"));
  setDecenterXIsVariable(coder.decodeBool("decenterXIsVariable"));
  setDecenterYIsVariable(coder.decodeBool("decenterYIsVariable"));
}

std::vector<platform::KeyEntry> Aperture::summaryKeyEntries(const std::vector<std::string>& model,
                                                          const std::vector<std::string>& variableFlags) {
  using K = Keys<Aperture>;
  platform::KeyEntry variables;
  variables.key = "keyPathsForVariables";
  variables.get = [](const platform::Object& o) {
    platform::Array a;
    for (const auto& k : static_cast<const Aperture&>(o).keyPathsForVariables()) a.push_back(k);
    return Value(std::move(a));
  };
  platform::KeyEntry gestalt;
  gestalt.key = "apertureGestalt";
  gestalt.get = [](const platform::Object&) { return Value(); };
  std::vector<platform::KeyEntry> entries;
  entries.push_back(K::getter("apertureDescription", &Aperture::apertureDescription).dependsOn(model));
  entries.push_back(std::move(gestalt).dependsOn(model));
  entries.push_back(std::move(variables).dependsOn(variableFlags));
  entries.push_back(K::getter("zemaxCommands", &Aperture::zemaxCommands).dependsOn(model));
  platform::KeyEntry description;
  description.key = "description";
  description.get = [](const platform::Object& o) { return Value(o.description()); };
  entries.push_back(std::move(description).dependsOn(model));
  return entries;
}

const platform::KeyTable& Aperture::classKeys() {
  using K = Keys<Aperture>;
  auto optionalText = [](std::string key, std::optional<std::string> (Aperture::*get)() const) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) {
      auto t = (static_cast<const Aperture&>(o).*get)();
      return t ? Value(*t) : Value();
    };
    return e;
  };
  static const platform::KeyTable table(&VKObject::classKeys(), [&] {
    std::vector<platform::KeyEntry> entries{
        K::property("isSoft", &Aperture::isSoft, &Aperture::setIsSoft),
        K::property("decenterX", &Aperture::decenterX, &Aperture::setDecenterX),
        K::property("decenterY", &Aperture::decenterY, &Aperture::setDecenterY),
        K::property("decenterXIsVariable", &Aperture::decenterXIsVariable, &Aperture::setDecenterXIsVariable),
        K::property("decenterYIsVariable", &Aperture::decenterYIsVariable, &Aperture::setDecenterYIsVariable),
        K::getter("surface", &Aperture::surface),
        K::getter("xRadius", &Aperture::xRadius),
        K::getter("yRadius", &Aperture::yRadius),
        K::getter("rMin", &Aperture::rMin),
        K::getter("rMax", &Aperture::rMax),
        K::getter("xMin", &Aperture::xMin).dependsOn({"decenterX"}),
        K::getter("xMax", &Aperture::xMax).dependsOn({"decenterX"}),
        K::getter("yMin", &Aperture::yMin).dependsOn({"decenterY"}),
        K::getter("yMax", &Aperture::yMax).dependsOn({"decenterY"}),
        K::getter("isDecentered", &Aperture::isDecentered).dependsOn({"decenterX", "decenterY"}),
        K::getter("isAxisymmetric", &Aperture::isAxisymmetric).dependsOn({"decenterX", "decenterY"}),
        K::getter("canGenerateRandomPoint", &Aperture::canGenerateRandomPoint),
        optionalText("apertureType", &Aperture::apertureType),
        optionalText("sheetNibName", &Aperture::sheetNibName),
    };
    for (auto& e : summaryKeyEntries({"isSoft", "decenterX", "decenterY"}, {"decenterXIsVariable", "decenterYIsVariable"}))
      entries.push_back(std::move(e));
    return entries;
  }());
  return table;
}

}  // namespace orb::lens
