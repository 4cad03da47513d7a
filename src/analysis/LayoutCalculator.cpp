#include "analysis/LayoutCalculator.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>

#include "geometry/values/Extents.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {

using platform::Dictionary;
using platform::Value;
using tracing::Ray;

namespace {

bool isInfinite(double t) { return !(std::abs(t) < std::numeric_limits<double>::infinity()); }

std::int64_t surfaceIndexIn(const std::string& keyPath) {
  long long index = 0;
  int consumed = 0;
  if (keyPath.size() < 2 || keyPath[0] != 's') return kNotFound;
  if (std::sscanf(keyPath.c_str() + 1, "%lld%n", &index, &consumed) != 1 || index < 0 ||
      static_cast<std::size_t>(consumed) + 1 != keyPath.size())
    return kNotFound;
  return index;
}

std::string surfaceKeyPath(std::int64_t index) {
  if (index < 0 || index == kNotFound || index == kNotFound32) return {};
  return "s" + std::to_string(index);
}

std::optional<std::size_t> indexOf(const std::vector<std::shared_ptr<lens::Surface>>& surfaces,
                                   const lens::Surface* surface) {
  for (std::size_t i = 0; i < surfaces.size(); ++i)
    if (surfaces[i].get() == surface) return i;
  return std::nullopt;
}

}  // namespace

LayoutCalculator::LayoutCalculator() {
  setFanType("y-fan");
  setNumberOfRays(9);
  setFixedRayColor(platform::Color::make(0, 0, 1, 0.5));
  setFixedBeamColor(platform::Color::make(1, 0, 0, 0.5));
  setFixedEmissionColor(platform::Color::make(1, 0, 0, 0.5));
  m_fixedSurfaceColor = platform::Color::make(1, 0.5, 0);
  m_marginalColor = platform::Color::make(0, 1, 0);
  m_chiefColor = platform::Color::make(1, 0, 0);
  m_axialColor = platform::Color::make(0, 0, 1);
  m_testColor = platform::Color::make(0, 1, 0);
}

void LayoutCalculator::willDeallocate() {
  {
    platform::Synchronized lock(this);
    m_tracedRays.reset();
    m_tracedParaxialRays.reset();
    m_raysOfInterest.reset();
    m_axialRay.reset();
    m_testRayTraced.reset();
  }
  RaysCalculator::willDeallocate();
}

const platform::KeyTable& LayoutCalculator::classKeys() {
  using K = platform::Keys<LayoutCalculator>;
  using L = LayoutCalculator;
  auto stringKey = [](std::string key, std::string (L::*get)() const, void (L::*set)(const std::string&)) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return Value((static_cast<const L&>(o).*get)()); };
    // Only a string (or nil, as empty) is taken; anything else is ignored.
    e.set = [set](platform::Object& o, const Value& v) {
      if (v.isString()) (static_cast<L&>(o).*set)(v.asString());
      else if (v.isNil()) (static_cast<L&>(o).*set)(std::string());
    };
    return e;
  };
  auto colorKey = [](std::string key, ColorPtr (L::*get)() const, void (L::*set)(ColorPtr)) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return Value((static_cast<const L&>(o).*get)()); };
    e.set = [set](platform::Object& o, const Value& v) { (static_cast<L&>(o).*set)(v.asObject<platform::Color>()); };
    return e;
  };
  static const platform::KeyTable table(
      &RaysCalculator::classKeys(),
      {
          stringKey("surfaceColorOption", &L::surfaceColorOption, &L::setSurfaceColorOption),
          colorKey("fixedSurfaceColor", &L::fixedSurfaceColor, &L::setFixedSurfaceColor),
          K::property("colorsCrossSection", &L::colorsCrossSection, &L::setColorsCrossSection),
          colorKey("paraxialMarginalRayColor", &L::paraxialMarginalRayColor, &L::setParaxialMarginalRayColor),
          colorKey("paraxialChiefRayColor", &L::paraxialChiefRayColor, &L::setParaxialChiefRayColor),
          colorKey("axialRayColor", &L::axialRayColor, &L::setAxialRayColor),
          colorKey("testRayColor", &L::testRayColor, &L::setTestRayColor),
          K::property("showsAxialRay", &L::showsAxialRay, &L::setShowsAxialRay),
          K::property("showTestRay", &L::showTestRay, &L::setShowTestRay),
          K::property("testRayHX", &L::testRayHX, &L::setTestRayHX),
          K::property("testRayHY", &L::testRayHY, &L::setTestRayHY),
          K::property("testRayPX", &L::testRayPX, &L::setTestRayPX),
          K::property("testRayPY", &L::testRayPY, &L::setTestRayPY),
          stringKey("transformationMatrixBasisString", &L::transformationMatrixBasisString,
                    &L::setTransformationMatrixBasisString),
          K::property("realMarginalFlag", &L::realMarginalFlag, &L::setRealMarginalFlag),
          K::property("realChiefFlag", &L::realChiefFlag, &L::setRealChiefFlag),
          K::property("generateFieldFan", &L::generateFieldFan, &L::setGenerateFieldFan),
          K::property("drawsSecondPrincipalPointConstruction", &L::drawsSecondPrincipalPointConstruction,
                      &L::setDrawsSecondPrincipalPointConstruction),
          K::property("usesBeams", &L::usesBeams, &L::setUsesBeams),
          K::property("usesEmissionSurfaces", &L::usesEmissionSurfaces, &L::setUsesEmissionSurfaces),
          K::property("suppressVignetted", &L::suppressVignetted, &L::setSuppressVignetted),
          K::property("drawStopAperture", &L::drawStopAperture, &L::setDrawStopAperture),
          K::property("suppressFloatingStopAperture", &L::suppressFloatingStopAperture,
                      &L::setSuppressFloatingStopAperture),
          K::property("drawNonstopApertures", &L::drawNonstopApertures, &L::setDrawNonstopApertures),
          K::property("suppressFloatingNonstopAperture", &L::suppressFloatingNonstopAperture,
                      &L::setSuppressFloatingNonstopAperture),
          stringKey("firstSurfaceKeyPath", &L::firstSurfaceKeyPath, &L::setFirstSurfaceKeyPath),
          stringKey("lastSurfaceKeyPath", &L::lastSurfaceKeyPath, &L::setLastSurfaceKeyPath),
          stringKey("coordinateReferenceSurfaceKeyPath", &L::coordinateReferenceSurfaceKeyPath,
                    &L::setCoordinateReferenceSurfaceKeyPath),
          platform::KeyEntry{"firstSurface",
                             [](const platform::Object& o) { return Value(static_cast<const L&>(o).firstSurface()); }}
              .dependsOn({"lens", "firstSurfaceKeyPath"}),
          platform::KeyEntry{"lastSurface",
                             [](const platform::Object& o) { return Value(static_cast<const L&>(o).lastSurface()); }}
              .dependsOn({"lens", "lastSurfaceKeyPath"}),
          platform::KeyEntry{"coordinateReferenceSurface",
                             [](const platform::Object& o) {
                               return Value(static_cast<const L&>(o).coordinateReferenceSurface());
                             }}
              .dependsOn({"lens", "coordinateReferenceSurfaceKeyPath"}),
          K::property("indexOfFirstSurface", &L::indexOfFirstSurface, &L::setIndexOfFirstSurface),
          K::property("indexOfLastSurface", &L::indexOfLastSurface, &L::setIndexOfLastSurface),
          K::property("indexOfCoordinateReferenceSurface", &L::indexOfCoordinateReferenceSurface,
                      &L::setIndexOfCoordinateReferenceSurface),
      });
  return table;
}

// --- settings ------------------------------------------------------------------------------------

const std::vector<std::string>& LayoutCalculator::possibleSurfaceColorOptions() {
  static const std::vector<std::string> options{"fixed", "surface", "glass"};
  return options;
}

std::vector<std::string> LayoutCalculator::possibleFanTypes() const {
  return {"x-fan",  "y-fan",     "x-fan plus", "y-fan plus", "x-fan minus", "y-fan minus",
          "random", "hexapolar", "golden",     "square",     "centered fft"};
}

const std::vector<std::string>& LayoutCalculator::transformationMatrixBasisStrings() {
  static const std::vector<std::string> bases{"(px,py,qx,qy)", "(px,qx,py,qy)", "(py,qy,px,qx)",
                                              "(qx,px,qy,py)", "(qx,qy,px,py)", "(qy,py,qx,px)"};
  return bases;
}

std::string LayoutCalculator::surfaceColorOption() const {
  std::lock_guard lock(m_layoutMutex);
  return m_surfaceColorOption;
}

void LayoutCalculator::setSurfaceColorOption(const std::string& option) {
  changeValueForKey("surfaceColorOption", [&] {
    std::lock_guard lock(m_layoutMutex);
    m_surfaceColorOption = option;
  });
  postModelChangedNotification();
}

#define ORB_COLOR_GETTER(name, member)                 \
  LayoutCalculator::ColorPtr LayoutCalculator::name() const { \
    std::lock_guard lock(m_layoutMutex);               \
    return member;                                     \
  }
ORB_COLOR_GETTER(fixedSurfaceColor, m_fixedSurfaceColor)
ORB_COLOR_GETTER(paraxialMarginalRayColor, m_marginalColor)
ORB_COLOR_GETTER(paraxialChiefRayColor, m_chiefColor)
ORB_COLOR_GETTER(axialRayColor, m_axialColor)
ORB_COLOR_GETTER(testRayColor, m_testColor)
#undef ORB_COLOR_GETTER

void LayoutCalculator::setColor(ColorPtr& member, const char* key, ColorPtr color, bool needsCalculation) {
  {
    std::lock_guard lock(m_layoutMutex);
    if (member == color) return;  // the same object again changes nothing
  }
  // Copied: a colour the caller goes on changing must not change the drawing.
  if (color) color = platform::Color::make(color->red(), color->green(), color->blue(), color->alpha());
  changeValueForKey(key, [&] {
    std::lock_guard lock(m_layoutMutex);
    member = std::move(color);
  });
  if (needsCalculation)
    setNeedsCalculation(true);
  else
    postModelChangedNotification();
}

void LayoutCalculator::setFixedSurfaceColor(ColorPtr c) { setColor(m_fixedSurfaceColor, "fixedSurfaceColor", c, false); }
void LayoutCalculator::setParaxialMarginalRayColor(ColorPtr c) {
  setColor(m_marginalColor, "paraxialMarginalRayColor", c, true);
}
void LayoutCalculator::setParaxialChiefRayColor(ColorPtr c) { setColor(m_chiefColor, "paraxialChiefRayColor", c, true); }
void LayoutCalculator::setAxialRayColor(ColorPtr c) { setColor(m_axialColor, "axialRayColor", c, true); }
void LayoutCalculator::setTestRayColor(ColorPtr c) { setColor(m_testColor, "testRayColor", c, true); }

namespace {
template <class Atomic, class T>
void store(LayoutCalculator& c, const char* key, Atomic& member, T value) {
  c.changeValueForKey(key, [&] { member = value; });
}
}  // namespace

void LayoutCalculator::setColorsCrossSection(bool on) {
  store(*this, "colorsCrossSection", m_colorsCrossSection, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setShowsAxialRay(bool on) {
  store(*this, "showsAxialRay", m_showsAxialRay, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setShowTestRay(bool on) {
  store(*this, "showTestRay", m_showTestRay, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setTestRayCoordinate(int i, const char* key, double v) {
  store(*this, key, m_testRay[i], v);
  setNeedsCalculation(true);
}
void LayoutCalculator::setRealMarginalFlag(bool on) {
  store(*this, "realMarginalFlag", m_realMarginal, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setRealChiefFlag(bool on) {
  store(*this, "realChiefFlag", m_realChief, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setGenerateFieldFan(bool on) {
  store(*this, "generateFieldFan", m_generateFieldFan, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setDrawsSecondPrincipalPointConstruction(bool on) {
  store(*this, "drawsSecondPrincipalPointConstruction", m_drawsConstruction, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setUsesBeams(bool on) {
  store(*this, "usesBeams", m_usesBeams, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setUsesEmissionSurfaces(bool on) {
  store(*this, "usesEmissionSurfaces", m_usesEmission, on);
  setNeedsCalculation(true);
}
void LayoutCalculator::setApertureFlag(int i, const char* key, bool on) {
  changeValueForKey(key, [&] { m_apertureFlags[i] = on; });
}

std::string LayoutCalculator::transformationMatrixBasisString() const {
  std::lock_guard lock(m_layoutMutex);
  return m_basis;
}

void LayoutCalculator::setTransformationMatrixBasisString(const std::string& basis) {
  changeValueForKey("transformationMatrixBasisString", [&] {
    std::lock_guard lock(m_layoutMutex);
    m_basis = basis;
  });
  setNeedsCalculation(true);
}

void LayoutCalculator::setSuppressVignetted(bool on) {
  store(*this, "suppressVignetted", m_suppressVignetted, on);
  RaysPtr traced = tracedRays();
  {
    platform::Synchronized lock(this);
    m_raysOfInterest = traced ? std::make_shared<const Rays>(raysOfInterestWithRays(*traced)) : nullptr;
  }
  postModelChangedNotification();
}

// --- surface range ---------------------------------------------------------------------------------

std::string LayoutCalculator::firstSurfaceKeyPath() const {
  std::lock_guard lock(m_layoutMutex);
  return m_firstKeyPath;
}
std::string LayoutCalculator::lastSurfaceKeyPath() const {
  std::lock_guard lock(m_layoutMutex);
  return m_lastKeyPath;
}
std::string LayoutCalculator::coordinateReferenceSurfaceKeyPath() const {
  std::lock_guard lock(m_layoutMutex);
  return m_referenceKeyPath;
}

void LayoutCalculator::setRangeKeyPath(std::string& member, const char* key, const std::string& value) {
  changeValueForKey(key, [&] {
    std::lock_guard lock(m_layoutMutex);
    member = value;
  });
  postModelChangedNotification();
}

void LayoutCalculator::setFirstSurfaceKeyPath(const std::string& k) { setRangeKeyPath(m_firstKeyPath, "firstSurfaceKeyPath", k); }
void LayoutCalculator::setLastSurfaceKeyPath(const std::string& k) { setRangeKeyPath(m_lastKeyPath, "lastSurfaceKeyPath", k); }
void LayoutCalculator::setCoordinateReferenceSurfaceKeyPath(const std::string& k) {
  setRangeKeyPath(m_referenceKeyPath, "coordinateReferenceSurfaceKeyPath", k);
}

LayoutCalculator::SurfacePtr LayoutCalculator::surfaceAt(const std::string& keyPath) const {
  if (keyPath.empty()) return nullptr;
  return std::dynamic_pointer_cast<lens::Surface>(objectAtKeyPath(keyPath));
}

LayoutCalculator::SurfacePtr LayoutCalculator::firstSurface() const { return surfaceAt(firstSurfaceKeyPath()); }
LayoutCalculator::SurfacePtr LayoutCalculator::lastSurface() const { return surfaceAt(lastSurfaceKeyPath()); }
LayoutCalculator::SurfacePtr LayoutCalculator::coordinateReferenceSurface() const {
  return surfaceAt(coordinateReferenceSurfaceKeyPath());
}
void LayoutCalculator::setFirstSurface(const SurfacePtr& s) { setFirstSurfaceKeyPath(s ? keyPathFor(s) : ""); }
void LayoutCalculator::setLastSurface(const SurfacePtr& s) { setLastSurfaceKeyPath(s ? keyPathFor(s) : ""); }
void LayoutCalculator::setCoordinateReferenceSurface(const SurfacePtr& s) {
  setCoordinateReferenceSurfaceKeyPath(s ? keyPathFor(s) : "");
}

std::int64_t LayoutCalculator::indexOfFirstSurface() const { return surfaceIndexIn(firstSurfaceKeyPath()); }
std::int64_t LayoutCalculator::indexOfLastSurface() const { return surfaceIndexIn(lastSurfaceKeyPath()); }
std::int64_t LayoutCalculator::indexOfCoordinateReferenceSurface() const {
  return surfaceIndexIn(coordinateReferenceSurfaceKeyPath());
}
void LayoutCalculator::setIndexOfFirstSurface(std::int64_t i) { setFirstSurfaceKeyPath(surfaceKeyPath(i)); }
void LayoutCalculator::setIndexOfLastSurface(std::int64_t i) { setLastSurfaceKeyPath(surfaceKeyPath(i)); }
void LayoutCalculator::setIndexOfCoordinateReferenceSurface(std::int64_t i) {
  setCoordinateReferenceSurfaceKeyPath(surfaceKeyPath(i));
}

void LayoutCalculator::resetFirstAndLastSurfaces() {
  setFirstSurfaceKeyPath("");
  setLastSurfaceKeyPath("");
}

void LayoutCalculator::setLensKeyPathUpdateDictionary(const Dictionary& renames) {
  RaysCalculator::setLensKeyPathUpdateDictionary(renames);
  auto rewrite = [&](std::string (LayoutCalculator::*get)() const, void (LayoutCalculator::*set)(const std::string&)) {
    const std::string present = (this->*get)();
    if (present.empty()) return;
    const Value* renamed = renames.find(Value(present));
    if (renamed && renamed->isString()) (this->*set)(renamed->asString());
  };
  rewrite(&LayoutCalculator::firstSurfaceKeyPath, &LayoutCalculator::setFirstSurfaceKeyPath);
  rewrite(&LayoutCalculator::lastSurfaceKeyPath, &LayoutCalculator::setLastSurfaceKeyPath);
  rewrite(&LayoutCalculator::coordinateReferenceSurfaceKeyPath, &LayoutCalculator::setCoordinateReferenceSurfaceKeyPath);
}

// --- rays ------------------------------------------------------------------------------------------------

void LayoutCalculator::firstTimeWithLens(const LensPtr& l) {
  RaysCalculator::firstTimeWithLens(l);
  if (!l) return;
  // A layout draws every field's beam, as one expects of a drawing of the whole lens.
  setFieldOfInterestKeyPath({});
  for (const auto& s : l->surfaceArray())
    if (!s->isAxisymmetric()) {
      setFanType("square");
      break;
    }
}

std::vector<LayoutCalculator::FieldPtr> LayoutCalculator::fieldsOfInterest() const {
  if (generateFieldFan())
    if (const LensPtr l = lens()) return tracing::fieldFan(*l);
  return RaysCalculator::fieldsOfInterest();
}

tracing::pupil::Points LayoutCalculator::pupilCoordinatesForRealRays() const {
  if (!realMarginalFlag() && !realChiefFlag()) return RaysCalculator::pupilCoordinatesForRealRays();
  tracing::pupil::Points points;
  if (realMarginalFlag()) points.push_back({0, 1});
  if (realChiefFlag()) points.push_back({0, 0});
  return points;
}

void LayoutCalculator::generateInitialRays() {
  RaysCalculator::generateInitialRays();
  const LensPtr l = lens();
  if (!l) return;
  for (Ray& r : workingInitialParaxialRays()) {
    // The paraxial marginal ray comes first when both are made.
    const bool marginal = paraxialMarginalFlag() && &r == &workingInitialParaxialRays().front();
    r.tags().setColor(marginal ? paraxialMarginalRayColor() : paraxialChiefRayColor());
    r.tags().setValueForKey("name", Value(marginal ? "marginal" : "chief"));
  }
  // The field rays of the columns become Rays: the layout needs their trajectories.
  Rays rays;
  if (TracedBundle* b = workingInitialBundle()) rays = b->toRays();
  for (Ray& r : workingInitialRays()) rays.push_back(std::move(r));
  if (showsAxialRay())
    if (auto axial = tracing::rayForH(*l, {0, 0}, {0, 0})) {
      axial->tags().setColor(axialRayColor());
      axial->tags().lockColor = true;
      axial->tags().isAxialRay = true;
      rays.push_back(std::move(*axial));
    }
  if (showTestRay())
    if (auto test = tracing::rayForH(*l, {testRayHX(), testRayHY()}, {testRayPX(), testRayPY()})) {
      test->tags().setColor(testRayColor());
      test->tags().lockColor = true;
      test->tags().setValueForKey("transferMatrixBasisString", Value(transformationMatrixBasisString()));
      test->tags().isTestRay = true;
      rays.push_back(std::move(*test));
    }
  workingInitialRays() = std::move(rays);
}

void LayoutCalculator::traceRays() {
  const LensPtr l = lens();
  if (!l) return;
  Rays paraxialRays = workingInitialParaxialRays(), rays = workingInitialRays();
  if (paraxialRays.empty() && rays.empty()) return;
  for (Ray& r : paraxialRays) r.enableTrajectory();
  for (Ray& r : rays) r.enableTrajectory();
  platform::Synchronized lensLock(l.get());
  if (!paraxialRays.empty())
    tracing::traceRays(*l, std::span<Ray>(paraxialRays), nullptr, tracing::TraceOptions::paraxial(true));
  if (!rays.empty()) tracing::traceRays(*l, std::span<Ray>(rays), nullptr, tracing::TraceOptions::paraxial(paraxial()));
  if (platform::currentThreadIsCancelled()) return;
  {
    platform::Synchronized lock(this);
    m_workerRays = std::move(rays);
    m_workerParaxialRays = std::move(paraxialRays);
  }
  setWorkResult(Dictionary{{"tracedRays", true}});
}

void LayoutCalculator::workWillStart() {
  RaysCalculator::workWillStart();
  platform::Synchronized lock(this);
  m_axialRay.reset();
  m_testRayTraced.reset();
}

void LayoutCalculator::workDidStop(const WorkResult& result) {
  RaysCalculator::workDidStop(result);
  if (!result) return;
  {
    platform::Synchronized lock(this);
    m_tracedRays = std::make_shared<const Rays>(std::move(m_workerRays));
    m_tracedParaxialRays = std::make_shared<const Rays>(std::move(m_workerParaxialRays));
    m_workerRays.clear();
    m_workerParaxialRays.clear();
    m_raysOfInterest = std::make_shared<const Rays>(raysOfInterestWithRays(*m_tracedRays));
    m_axialRay.reset();
    m_testRayTraced.reset();
    for (const Ray& r : *m_tracedRays) {
      if (r.tags().isAxialRay && !m_axialRay) m_axialRay = r;
      if (r.tags().isTestRay && !m_testRayTraced) m_testRayTraced = r;
    }
  }
  postModelChangedNotification();
}

RaysCalculator::RaysPtr LayoutCalculator::tracedRays() const {
  platform::Synchronized lock(this);
  return m_tracedRays;
}
RaysCalculator::RaysPtr LayoutCalculator::tracedParaxialRays() const {
  platform::Synchronized lock(this);
  return m_tracedParaxialRays;
}
RaysCalculator::RaysPtr LayoutCalculator::raysOfInterest() const {
  platform::Synchronized lock(this);
  return m_raysOfInterest;
}
std::optional<Ray> LayoutCalculator::axialRay() const {
  platform::Synchronized lock(this);
  return m_axialRay;
}
std::optional<Ray> LayoutCalculator::testRay() const {
  platform::Synchronized lock(this);
  return m_testRayTraced;
}

LayoutCalculator::Rays LayoutCalculator::raysOfInterestWithRays(const Rays& rays) const {
  if (!suppressVignetted()) return rays;
  Rays live;
  for (const Ray& r : rays)
    if (r.isAlive()) live.push_back(r);
  return live;
}

// --- surfaces and extents -----------------------------------------------------------------------------

std::vector<LayoutCalculator::SurfacePtr> LayoutCalculator::surfacesOfInterest() const {
  const LensPtr l = lens();
  if (!l) return {};
  const auto& all = l->surfaceArray();
  if (all.empty()) return {};
  const SurfacePtr first = firstSurface(), last = lastSurface();
  const std::size_t begin = first ? indexOf(all, first.get()).value_or(0) : 0;
  const std::size_t end = last ? indexOf(all, last.get()).value_or(all.size() - 1) : all.size() - 1;
  if (begin > end) return {};
  return {all.begin() + static_cast<std::ptrdiff_t>(begin), all.begin() + static_cast<std::ptrdiff_t>(end) + 1};
}

std::vector<LayoutCalculator::Placed> LayoutCalculator::placedSurfaces(SurfacePtr* skipped) const {
  const SurfacePtr reference = coordinateReferenceSurface();
  std::vector<Placed> placed;
  bool finiteMet = false;
  for (const SurfacePtr& s : surfacesOfInterest()) {
    if (isInfinite(s->thickness())) {
      if (finiteMet) break;
      if (skipped) *skipped = s;
      continue;
    }
    finiteMet = true;
    foundation::XYZ o = s->originInGlobalCoordinates();
    if (reference) o = reference->transform().transformFromGlobal(o);
    placed.push_back({s, o.z});
  }
  return placed;
}

std::shared_ptr<geometry::MutableExtents> LayoutCalculator::extents() const {
  auto e = geometry::MutableExtents::extents();
  const SurfacePtr reference = coordinateReferenceSurface();
  auto toFrame = [&](foundation::XYZ p) { return reference ? reference->transform().transformFromGlobal(p) : p; };
  for (const Placed& p : placedSurfaces(nullptr)) {
    const auto box = p.surface->extents();
    if (!box->active()) continue;
    for (int i = 0; i < 8; ++i) {
      const foundation::XYZ corner{i & 1 ? box->xMax() : box->xMin(), i & 2 ? box->yMax() : box->yMin(),
                                   i & 4 ? box->zMax() : box->zMin()};
      e->absorbPoint(toFrame(p.surface->transform().transformToGlobal(corner)));
    }
  }
  const auto surfaces = surfacesOfInterest();
  auto isOfInterest = [&](const platform::Object* s) {
    return std::any_of(surfaces.begin(), surfaces.end(), [s](const SurfacePtr& x) { return x.get() == s; });
  };
  if (const RaysPtr rays = raysOfInterest())
    for (const Ray& r : *rays)
      if (const auto* t = r.trajectory())
        for (const tracing::RayVertex& v : *t)
          // A ray traced to NaN (an F-number or wavelength of 0) has no place in the box.
          if (isOfInterest(v.surface) && std::isfinite(v.position.x) && std::isfinite(v.position.y) &&
              std::isfinite(v.position.z))
            e->absorbPoint(toFrame(v.position));
  return e;
}

// --- selection and drag ------------------------------------------------------------------------------------

void LayoutCalculator::selectSurfacesByRect(double x0, double width) {
  m_before.reset(), m_first.reset(), m_last.reset();
  const auto surfaces = surfacesOfInterest();
  if (surfaces.empty()) return tellSelectedSurfaces();
  SurfacePtr skipped;
  auto placed = placedSurfaces(&skipped);
  if (skipped) m_before = skipped;
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.z < b.z; });
  bool running = false, ended = false;
  for (const Placed& p : placed) {
    if (ended) break;
    if (p.z < x0) {
      if (!running) m_before = p.surface;
      continue;
    }
    if (p.z < x0 + width) {
      if (!running) m_first = p.surface;
      m_last = p.surface;
      running = true;
    } else {
      ended = true;
    }
  }
  const SurfacePtr first = m_first.lock(), last = m_last.lock();
  for (const SurfacePtr& s : surfaces) {
    if (s == first || s == last) break;
    m_before = s;
  }
  if (first && last && first->indexInContainer() > last->indexInContainer()) std::swap(m_first, m_last);
  tellSelectedSurfaces();
}

void LayoutCalculator::tellSelectedSurfaces() {
  m_selectedRange.reset();
  const LensPtr l = lens();
  if (!l) return;
  const auto& all = l->surfaceArray();
  const SurfacePtr first = m_first.lock(), last = m_last.lock(), before = m_before.lock();
  // Nothing selected selects nothing, not the surface past the range.
  if (!first) return;
  const auto start = indexOf(all, first.get());
  if (!start) return;
  const auto end = last ? indexOf(all, last.get()) : start;
  m_selectedRange = std::pair{*start, end.value_or(*start)};
  (void)before;
}

void LayoutCalculator::selectSurfacesByArray(const std::vector<std::shared_ptr<platform::Object>>& objects) {
  m_selectedRange.reset();
  m_before.reset(), m_first.reset(), m_last.reset();
  const LensPtr l = lens();
  if (!l) return;
  const auto& all = l->surfaceArray();
  std::vector<std::size_t> indexes;
  for (const auto& o : objects)
    if (auto s = std::dynamic_pointer_cast<lens::Surface>(o))
      if (auto i = indexOf(all, s.get())) indexes.push_back(*i);
  if (indexes.empty()) return;
  std::sort(indexes.begin(), indexes.end());
  const std::size_t lo = indexes.front(), hi = indexes.back();
  if (lo > 0) m_before = all[lo - 1];
  m_first = all[lo];
  m_last = all[hi];
  m_selectedRange = std::pair{lo, hi};
}

std::optional<std::pair<double, double>> LayoutCalculator::bandOfSelectedSurfaces() const {
  if (!m_selectedRange) return std::nullopt;
  const auto [first, last] = *m_selectedRange;
  const auto placed = placedSurfaces(nullptr);
  const double inf = std::numeric_limits<double>::infinity();
  double lo = inf, hi = -inf, zMin = inf, zMax = -inf;
  auto selected = [&](const Placed& p) {
    const auto i = p.surface->indexInContainer();
    return i && *i >= first && *i <= last;
  };
  for (const Placed& p : placed) {
    zMin = std::min(zMin, p.z), zMax = std::max(zMax, p.z);
    if (selected(p)) lo = std::min(lo, p.z), hi = std::max(hi, p.z);
  }
  if (lo > hi) return std::nullopt;
  double below = -inf, above = inf;
  for (const Placed& p : placed)
    if (!selected(p)) {
      if (p.z < lo) below = std::max(below, p.z);
      if (p.z > hi) above = std::min(above, p.z);
    }
  const double margin = zMax > zMin ? (zMax - zMin) / 10 : 1.0;
  return std::pair{std::isfinite(below) ? (below + lo) / 2 : lo - margin,
                   std::isfinite(above) ? (hi + above) / 2 : hi + margin};
}

void LayoutCalculator::beginMovingRect(double x0, double width) {
  selectSurfacesByRect(x0, width);
  m_ahead.reset();
  m_blockLast.reset();
  const LensPtr l = lens();
  const SurfacePtr before = m_before.lock();
  if (m_first.lock()) {
    m_ahead = before;
  } else if (before && l) {
    const auto i = before->indexInContainer();
    // With nothing selected and the object surface (or none) before, no surface is ahead.
    if (i && *i != 0) m_ahead = l->surfaceArray()[*i - 1];
  }
  m_blockLast = m_last;
}

std::optional<double> LayoutCalculator::moveRectBy(double dz) {
  const SurfacePtr ahead = m_ahead.lock(), last = m_blockLast.lock();
  if (ahead == last) return std::nullopt;
  if (ahead) ahead->setThickness(ahead->thickness() + dz);
  if (!last) return std::nullopt;
  last->setThickness(last->thickness() - dz);
  const bool aheadIsObject = !ahead || ahead->indexInContainer() == std::optional<std::size_t>(0);
  const bool lastIsObject = last->indexInContainer() == std::optional<std::size_t>(0);
  if (aheadIsObject && !lastIsObject) return -dz;
  return std::nullopt;
}

std::optional<std::string> LayoutCalculator::keyPathForPosition(double z, double pixelWidth) const {
  const double tolerance = pixelWidth > 0 ? 5 * pixelWidth : 5.0;
  SurfacePtr chosen, medium;
  double chosenDistance = 0;
  const SurfacePtr reference = coordinateReferenceSurface();
  for (const SurfacePtr& s : surfacesOfInterest()) {
    if (isInfinite(s->thickness())) continue;
    foundation::XYZ o = s->originInGlobalCoordinates();
    if (reference) o = reference->transform().transformFromGlobal(o);
    if (o.z < z) medium = s;
    const double d = std::abs(z - o.z);
    if (d < tolerance && (!chosen || d < chosenDistance)) chosen = s, chosenDistance = d;
  }
  if (chosen) return keyPathFor(chosen);
  if (medium && medium->glass()) return keyPathFor(medium) + ".glass";
  return std::nullopt;
}

void LayoutCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysCalculator::addRestorationDataToDictionary(d);
  for (const char* key :
       {"surfaceColorOption", "fixedSurfaceColor", "indexOfFirstSurface", "indexOfLastSurface",
        "indexOfCoordinateReferenceSurface", "suppressVignetted", "generateFieldFan", "realMarginalFlag",
        "realChiefFlag", "drawStopAperture", "suppressFloatingStopAperture", "drawNonstopApertures",
        "suppressFloatingNonstopAperture", "showTestRay", "testRayColor", "transformationMatrixBasisString",
        "testRayHX", "testRayHY", "testRayPX", "testRayPY", "usesEmissionSurfaces", "usesBeams"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
