#include "lens/Surface.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "lens/Aperture.h"
#include "lens/CircularAperture.h"
#include "lens/Emission.h"
#include "materials/Glass.h"
#include "materials/Medium.h"
#include "materials/UniformMedium.h"
#include "platform/Coder.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationQueue.h"

namespace orb::lens {

using foundation::XY;
using foundation::XYZ;
using geometry::SurfaceTaylorExpansion;
using platform::format;
using platform::Keys;
using platform::Value;

namespace {

std::string trimmed(const std::string& s) {
  auto isSpace = [](unsigned char ch) { return std::isspace(ch) != 0; };
  auto begin = std::find_if_not(s.begin(), s.end(), isSpace);
  auto end = std::find_if_not(s.rbegin(), s.rend(), isSpace).base();
  return begin < end ? std::string(begin, end) : std::string();
}

// Identity of the objects behind two handles, also when one of them has expired.
bool sameOwner(const std::weak_ptr<Surface>& a, const std::shared_ptr<Surface>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

Surface::Surface() = default;
Surface::~Surface() = default;

void Surface::willDeallocate() {
  // Observers capture this surface; drop them before any member goes.
  m_parameterObservations.clear();
  m_glassObservations.clear();
  m_apertureObservations.clear();
  m_emissionObservations.clear();
  if (m_aperture) m_aperture->setSurface(nullptr);
  if (m_emission) m_emission->setSurface(nullptr);
}

// --- creation --------------------------------------------------------------------------

void Surface::init() {
  generateParameterArray();
  parametersDidChange();
}

void Surface::initWithSurface(const Surface& other) {
  // The frame is copied, not shared: a copy regenerated on a worker thread must not move
  // the surfaces of the lens it came from.
  m_transform = other.m_transform;
  setComment(other.m_comment);
  rebuildConic(other.m_conic.c, other.m_conic.k);
  m_thickness = other.m_thickness;
  m_isStop = other.m_isStop;
  m_semidiameter = other.m_semidiameter;
  m_semidiameterSolve = other.m_semidiameterSolve;
  m_conicSolve = other.m_conicSolve;
  m_curvatureSolve = other.m_curvatureSolve;
  m_thicknessSolve = other.m_thicknessSolve;
  m_glassSolve = other.m_glassSolve;
  // Each target is taken after its code, so the sticky flags end cleared.
  m_curvatureSolveTargetSticky = false;
  m_thicknessSolveTargetSticky = false;
  m_isMirror = other.m_isMirror;
  if (!other.m_isMirror && other.m_glass) setGlass(other.m_glass->copy());
  m_isMirror = other.m_isMirror;
  setAperture(other.m_aperture ? other.m_aperture->copy() : nullptr);
  setEmission(other.m_emission ? other.m_emission->copy() : nullptr);
  setColor(other.color());
  generateParameterArray();
  std::vector<std::shared_ptr<Parameter>> backedUp;
  for (const auto& [title, parameter] : other.m_parameterBackup) backedUp.push_back(parameter);
  absorbParametersFromArray(backedUp);
  absorbParametersFromArray(other.m_parameterArray);
  parametersDidChange();
}

std::shared_ptr<Surface> Surface::makeEmpty() const { return platform::makeObject<Surface>(); }

std::shared_ptr<Surface> Surface::copy() const {
  auto s = makeEmpty();
  s->initWithSurface(*this);
  s->setColorNumber(colorNumber());
  return s;
}

// --- type ------------------------------------------------------------------------------

void Surface::setType(const std::string& type) {
  if (auto d = delegate()) d->replaceSurfaceWithSurfaceOfType(*this, type);
}

std::vector<std::shared_ptr<const Surface>> Surface::zemaxSurfaces() const {
  return {std::static_pointer_cast<const Surface>(shared_from_this())};
}

// --- stored values ------------------------------------------------------------------------

void Surface::setComment(std::string comment) { setAndAnnounce("comment", m_comment, trimmed(comment)); }

void Surface::rebuildConic(double c, double k) {
  m_conic.setCurvature(c);
  m_conic.setConicConstant(k);
}

void Surface::setCurvature(double curvature) {
  if (!std::isfinite(curvature)) curvature = 0;
  changeValueForKey("curvature", [&] { rebuildConic(curvature, m_conic.k); });
  maximizeSemidiameter();
}

double Surface::radiusOfCurvature() const { return 1 / m_conic.c; }

// 1/0 is infinite, which setCurvature stores as 0; 1/±∞ is 0.
void Surface::setRadiusOfCurvature(double radius) { setCurvature(1 / radius); }

void Surface::setThickness(double thickness) { setAndAnnounce("thickness", m_thickness, thickness); }

void Surface::setConicConstant(double conicConstant) {
  changeValueForKey("conicConstant", [&] { rebuildConic(m_conic.c, conicConstant); });
  maximizeSemidiameter();
}

void Surface::setIsStop(bool isStop) { setAndAnnounce("isStop", m_isStop, isStop); }

bool Surface::canBecomeStop() const {
  auto index = indexInContainer();
  return !(index && *index == 0);
}

void Surface::setIsMirror(bool isMirror) {
  if (isMirror && m_glass) setGlass(nullptr);
  setAndAnnounce("isMirror", m_isMirror, isMirror);
}

void Surface::setSemidiameter(double semidiameter) {
  if (std::isinf(semidiameter) || std::isnan(semidiameter)) return;
  setAndAnnounce("semidiameter", m_semidiameter, semidiameter);
}

void Surface::setSemidiameterForGUI(double semidiameter) {
  setSemidiameter(semidiameter);
  setSemidiameterSolveType(kSemiFixed);
}

// --- profile -------------------------------------------------------------------------------

bool Surface::validQ(const XY& q) const { return validRadius(std::sqrt(q.x * q.x + q.y * q.y)); }

double Surface::sagAtQ(const XY& q) const { return sagAtRadius(std::sqrt(q.x * q.x + q.y * q.y)); }

XY Surface::sagGradientAtQ(const XY& q) const {
  const double r = std::sqrt(q.x * q.x + q.y * q.y);
  if (r == 0) return {0, 0};
  const double g = sagGradientAtRadius(r);
  return {q.x * g / r, q.y * g / r};
}

double Surface::sag() const { return sagAtQ({0, m_semidiameter}); }

XYZ Surface::surfaceNormalAtQ(const XY& q) const {
  if (isAxisymmetric()) {
    const double r2 = q.x * q.x + q.y * q.y;
    if (!(r2 > 0)) return {0, 0, 1};
    const double r = std::sqrt(r2);
    const double g = sagGradientAtRadius(r);
    const double l = std::sqrt(1 + g * g);
    return {-g * q.x / (r * l), -g * q.y / (r * l), 1 / l};
  }
  const XY g = sagGradientAtQ(q);
  const double l = std::sqrt(g.x * g.x + g.y * g.y + 1);
  return {-g.x / l, -g.y / l, 1 / l};
}

double Surface::implicitFunctionAtPosition(const XYZ& p) const { return sagAtQ({p.x, p.y}) - p.z; }

namespace {

// The expansion of f(x, y) − z·dz for a radial function f with f'(r) = g1, f''(r) = g2.
SurfaceTaylorExpansion radialExpansion(double x, double y, double g1, double g2, double dz) {
  SurfaceTaylorExpansion t{};
  const double r2 = x * x + y * y;
  if (r2 > 0) {
    const double r = std::sqrt(r2);
    const double gr = g1 / r;
    const double cx2 = x * x / r2, cy2 = y * y / r2;
    t.gx = x * gr;
    t.gy = y * gr;
    t.hxx = g2 * cx2 + (1 - cx2) * gr;
    t.hyy = g2 * cy2 + (1 - cy2) * gr;
    t.hxy = (g2 - gr) * x * y / r2;
  } else {
    t.gx = t.gy = t.hxy = 0;
    t.hxx = t.hyy = g2;
  }
  t.gz = -dz;
  t.hxz = t.hyz = t.hzz = 0;
  return t;
}

}  // namespace

SurfaceTaylorExpansion Surface::taylorExpansionAtPosition(const XYZ& p) const {
  const double r = std::sqrt(p.x * p.x + p.y * p.y);
  return radialExpansion(p.x, p.y, sagGradientAtRadius(r), sagSecondGradientAtRadius(r), 1);
}

XYZ Surface::surfaceNormalAtPosition(const XYZ& p) const {
  const SurfaceTaylorExpansion t = taylorExpansionAtPosition(p);
  const double l = std::sqrt(t.gx * t.gx + t.gy * t.gy + t.gz * t.gz);
  return {-t.gx / l, -t.gy / l, -t.gz / l};
}

SurfaceTaylorExpansion Surface::phaseTaylorExpansionAtPosition(const XYZ& p) const {
  const double r = std::sqrt(p.x * p.x + p.y * p.y);
  return radialExpansion(p.x, p.y, phaseRadialGradientAtRadius(r), phaseRadialSecondGradientAtRadius(r), 0);
}

bool Surface::canDrawAxisymmetric() const { return isAxisymmetric() && (!m_aperture || m_aperture->isAxisymmetric()); }

// --- frame -----------------------------------------------------------------------------------

void Surface::setLocalToGlobalCoordinateTransformationMatrix(const foundation::TransformationMatrix& localToGlobal,
                                                             const foundation::TransformationMatrix& globalToLocal) {
  m_transform.setLocalToGlobalCoordinateTransformationMatrix(localToGlobal, globalToLocal);
  frameDidChange();
}

void Surface::implementCoordinateBreak(foundation::TransformStack&) const {}

void Surface::implementExitFrame(foundation::TransformStack& stack) const {
  foundation::xformTranslate(stack, {0, 0, m_thickness});
}

XYZ Surface::originInGlobalCoordinates() const { return m_transform.transformToGlobal({0, 0, 0}); }

PlanarAffineTransform Surface::zyAffineTransform() const {
  const auto& m = m_transform.localToGlobalCoordinateTransformationMatrix();
  return {m(2, 2), m(1, 2), m(2, 1), m(1, 1), m(2, 3), m(1, 3)};
}

PlanarAffineTransform Surface::zxAffineTransform() const {
  const auto& m = m_transform.localToGlobalCoordinateTransformationMatrix();
  return {m(2, 2), m(0, 2), m(2, 0), m(0, 0), m(2, 3), m(0, 3)};
}

// --- shape changes -----------------------------------------------------------------------------

void Surface::flip() { setCurvature(-m_conic.c); }

void Surface::scaleByFactor(double f) {
  setCurvature(m_conic.c / f);
  setThickness(m_thickness * f);
  switch (m_thicknessSolve.type) {
    case 2:
    case 3:
    case 7:
    case 8:  // the targets that are lengths
      setThicknessSolveTarget(m_thicknessSolve.target * f);
      break;
    default:
      break;
  }
  setSemidiameter(m_semidiameter * f);
}

// --- tracing ----------------------------------------------------------------------------------

std::string_view Surface::pusherNameWithMedium(const materials::Medium* medium) const {
  if (medium && !medium->isUniform()) return "PusherGraded";
  return pusherName();
}

std::shared_ptr<materials::Medium> Surface::medium() const {
  if (!m_medium && m_glass) m_medium = materials::UniformMedium::mediumWithGlass(m_glass);
  return m_medium;
}

// --- glass ----------------------------------------------------------------------------------------

void Surface::observeGlass(const std::string& key) {
  m_glassObservations.push_back(m_glass->addObserver(key, [this, key](const platform::ObservedChange&) {
    if (key == "name") {
      willChangeValueForKey("glassName");
      didChangeValueForKey("glassName");
      broadcastSurfaceChangedNotification();
    } else if (key == "glassDescription") {
      willChangeValueForKey("glassDescription");
      didChangeValueForKey("glassDescription");
      broadcastSurfaceChangedNotification();
    } else if (key == "indexInContainer") {
      willChangeValueForKey("glassNumber");
      didChangeValueForKey("glassNumber");
    } else {
      platform::log("glass changed keyPath %s, what to do?", key.c_str());
    }
  }));
}

void Surface::setGlass(std::shared_ptr<materials::Glass> glass) {
  m_medium.reset();
  if (m_isMirror) setAndAnnounce("isMirror", m_isMirror, false);
  auto d = delegate();
  if (d && glass) glass = d->localVersionOfGlass(glass);
  if (glass == m_glass) return;
  changeValueForKey("glass", [&] {
    m_glassObservations.clear();
    m_glass = std::move(glass);
    if (m_glass)
      for (const char* key : {"name", "glassDescription", "indexInContainer"}) observeGlass(key);
  });
  if (d) d->newGlassForSurface(*this);
}

std::optional<std::string> Surface::glassName() const {
  if (m_isMirror) return std::string("MIRROR");
  if (m_glass) return m_glass->name();
  return std::nullopt;
}

void Surface::setGlassName(const std::string& name) {
  // The first word only: catalogs and other programs' files put remarks after the name.
  auto isSpace = [](unsigned char ch) { return std::isspace(ch) != 0; };
  auto begin = std::find_if_not(name.begin(), name.end(), isSpace);
  auto end = std::find_if(begin, name.end(), isSpace);
  std::string word(begin, end);
  if (word.empty()) {
    setGlass(nullptr);
    if (m_isMirror) setAndAnnounce("isMirror", m_isMirror, false);
    return;
  }
  std::string upper = word;
  for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (upper == "MIRROR") {
    setGlass(nullptr);
    setAndAnnounce("isMirror", m_isMirror, true);
    return;
  }
  auto d = delegate();
  setGlass(d ? d->glassForName(word, m_glass) : materials::Glass::dummyGlassWithName(word));
}

std::optional<std::size_t> Surface::glassNumber() const {
  if (!m_glass) return std::nullopt;
  const std::size_t index = m_glass->indexInContainer();
  if (index == materials::Glass::kNotFound) return std::nullopt;
  return index;
}

std::shared_ptr<platform::Color> Surface::glassColor() const {
  if (!m_glass) return platform::Color::make(1, 1, 1);
  return m_glass->displayColor();
}

bool Surface::glassIsGood() const { return m_isMirror || !m_glass || m_glass->glassIsGood(); }

void Surface::resolveGlass() {
  auto d = delegate();
  if (!d) return;
  if (m_glass && m_glass->isDummy())
    setGlass(d->glassForName(m_glass->name(), m_glass));
  else
    d->newGlassForSurface(*this);
}

// --- aperture and emission -------------------------------------------------------------------

std::shared_ptr<const geometry::BoxSurfaceTest> Surface::aperture() const { return m_aperture; }

void Surface::setAperture(std::shared_ptr<Aperture> aperture) {
  changeValueForKey("aperture", [&] {
    m_apertureObservations.clear();
    if (m_aperture) m_aperture->setSurface(nullptr);
    m_aperture = std::move(aperture);
    if (!m_aperture) return;
    m_apertureObservations.push_back(m_aperture->addObserver("apertureGestalt", [this](const platform::ObservedChange&) {
      willChangeValueForKey("stopLetter");
      didChangeValueForKey("stopLetter");
      broadcastSurfaceChangedNotification();
    }));
    m_apertureObservations.push_back(
        m_aperture->addObserver("keyPathsForVariables", [this](const platform::ObservedChange&) {
          willChangeValueForKey("keyPathsForVariables");
          didChangeValueForKey("keyPathsForVariables");
        }));
    m_aperture->setSurface(weak_from_this().lock());
    if (m_emission) m_aperture->setIsSoft(true);
  });
}

std::shared_ptr<Aperture> Surface::makeFullAperture() const {
  return CircularAperture::annulusWithMinRadius(0, m_semidiameter);
}

std::shared_ptr<const geometry::BoxSurfaceTest> Surface::fullAperture() const { return makeFullAperture(); }

std::optional<std::string> Surface::apertureType() const {
  if (!m_aperture) return std::nullopt;
  return m_aperture->apertureType();
}

std::vector<std::string> Surface::apertureTypes() { return Aperture::apertureTypes(); }

void Surface::setApertureType(const std::string& name) {
  const platform::Dictionary current = m_aperture ? m_aperture->information() : makeFullAperture()->information();
  for (const auto& [key, value] : current) m_apertureInformation.set(key, value);
  setAperture(Aperture::apertureOfType(name, m_apertureInformation));
}

void Surface::setEmission(std::shared_ptr<Emission> emission) {
  changeValueForKey("emission", [&] {
    m_emissionObservations.clear();
    if (m_emission) m_emission->setSurface(nullptr);
    m_emission = std::move(emission);
    if (m_emission) {
      m_emissionObservations.push_back(m_emission->addObserver(
          "emissionGestalt", [this](const platform::ObservedChange&) { broadcastSurfaceChangedNotification(); }));
      m_emissionObservations.push_back(
          m_emission->addObserver("keyPathsForVariables", [this](const platform::ObservedChange&) {
            willChangeValueForKey("keyPathsForVariables");
            didChangeValueForKey("keyPathsForVariables");
          }));
      m_emission->setSurface(weak_from_this().lock());
    }
  });
  if (m_aperture) m_aperture->setIsSoft(m_emission != nullptr);
}

std::optional<std::string> Surface::emissionType() const {
  if (!m_emission) return std::nullopt;
  return m_emission->emissionType();
}

std::vector<std::string> Surface::emissionTypes() { return Emission::emissionTypes(); }

void Surface::setEmissionType(const std::string& name) {
  if (m_emission)
    for (const auto& [key, value] : m_emission->information()) m_emissionInformation.set(key, value);
  setEmission(Emission::emissionOfType(name, m_emissionInformation));
}

// --- parameters --------------------------------------------------------------------------------

const std::vector<std::string>& Surface::parameterTitleArray() const {
  static const std::vector<std::string> none;
  return none;
}

const platform::Dictionary& Surface::parameterDefaultsDictionary() const {
  static const platform::Dictionary none;
  return none;
}

void Surface::startWatchingParameter(std::size_t index) {
  auto& parameter = m_parameterArray[index];
  std::weak_ptr<Parameter> weak = parameter;
  std::vector<platform::Observation> observations;
  observations.push_back(parameter->addObserver("solveType", [this, weak](const platform::ObservedChange&) {
    if (auto p = weak.lock()) p->howAboutSolveSurface(suitableParameterSolveSurface());
    willChangeValueForKey("keyPathsForVariables");
    didChangeValueForKey("keyPathsForVariables");
    parametersDidChange();
    broadcastSurfaceChangedNotification();
  }));
  for (const char* key : {"solveSurface", "solveScale"})
    observations.push_back(parameter->addObserver(key, [this](const platform::ObservedChange&) {
      parametersDidChange();
      broadcastSurfaceChangedNotification();
    }));
  observations.push_back(parameter->addObserver("value", [this, weak](const platform::ObservedChange&) {
    parametersDidChange();
    broadcastSurfaceChangedNotification();
    if (auto p = weak.lock()) {
      willChangeValueForKey(p->title());
      didChangeValueForKey(p->title());
    }
  }));
  m_parameterObservations.insert(m_parameterObservations.begin() + static_cast<std::ptrdiff_t>(index),
                                 std::move(observations));
}

void Surface::setParameterArray(std::vector<std::shared_ptr<Parameter>> parameters) {
  changeValueForKey("parameterArray", [&] {
    m_parameterObservations.clear();
    m_parameterArray = std::move(parameters);
    for (std::size_t i = 0; i < m_parameterArray.size(); ++i) startWatchingParameter(i);
  });
}

void Surface::insertObjectInParameterArrayAtIndex(std::shared_ptr<Parameter> parameter, std::size_t index) {
  if (!parameter) return;
  index = std::min(index, m_parameterArray.size());
  changeValueForKey("parameterArray", [&] {
    m_parameterArray.insert(m_parameterArray.begin() + static_cast<std::ptrdiff_t>(index), std::move(parameter));
    startWatchingParameter(index);
  });
}

void Surface::removeObjectFromParameterArrayAtIndex(std::size_t index) {
  if (index >= m_parameterArray.size()) return;
  changeValueForKey("parameterArray", [&] {
    m_parameterObservations.erase(m_parameterObservations.begin() + static_cast<std::ptrdiff_t>(index));
    m_parameterArray.erase(m_parameterArray.begin() + static_cast<std::ptrdiff_t>(index));
  });
}

void Surface::replaceObjectInParameterArrayAtIndex(std::size_t index, std::shared_ptr<Parameter> parameter) {
  if (index >= m_parameterArray.size() || !parameter) return;
  changeValueForKey("parameterArray", [&] {
    m_parameterObservations.erase(m_parameterObservations.begin() + static_cast<std::ptrdiff_t>(index));
    m_parameterArray[index] = std::move(parameter);
    startWatchingParameter(index);
  });
}

void Surface::generateParameterArray() {
  std::vector<std::shared_ptr<Parameter>> parameters;
  for (const auto& title : parameterTitleArray()) {
    auto p = Parameter::parameter();
    p->setTitle(title);
    parameters.push_back(std::move(p));
  }
  setParameterArray(std::move(parameters));
  for (const auto& [title, value] : parameterDefaultsDictionary())
    if (auto p = parameterForTitle(title.asString())) p->setValue(value.asDouble());
}

void Surface::validateParameterArray() {
  const auto& defaults = parameterDefaultsDictionary();
  for (const auto& title : parameterTitleArray()) {
    if (parameterForTitle(title)) continue;
    auto p = Parameter::parameter();
    p->setTitle(title);
    if (const Value* value = defaults.find(Value(title))) p->setValue(value->asDouble());
    insertObjectInParameterArrayAtIndex(std::move(p), m_parameterArray.size());
  }
}

void Surface::absorbParametersFromArray(const std::vector<std::shared_ptr<Parameter>>& parameters) {
  std::vector<std::string> titlesAtStart;
  for (const auto& p : m_parameterArray) titlesAtStart.push_back(p->title());
  for (const auto& p : parameters) {
    if (!p) continue;
    auto it = std::find_if(m_parameterArray.begin(), m_parameterArray.end(),
                           [&](const auto& own) { return own->title() == p->title(); });
    if (it != m_parameterArray.end())
      replaceObjectInParameterArrayAtIndex(static_cast<std::size_t>(it - m_parameterArray.begin()), p->copy());
    else
      m_parameterBackup[p->title()] = p->copy();
  }
  for (const auto& title : titlesAtStart) m_parameterBackup.erase(title);
}

std::shared_ptr<Parameter> Surface::parameterForTitle(std::string_view title) const {
  for (const auto& p : m_parameterArray)
    if (p->title() == title) return p;
  return nullptr;
}

std::optional<double> Surface::parameterValue(std::string_view title) const {
  if (auto p = parameterForTitle(title)) return p->value();
  return std::nullopt;
}

std::optional<std::vector<std::shared_ptr<Surface>>> Surface::possibleParameterSolveSurfaces() const {
  auto c = container();
  auto index = indexInContainer();
  if (!c || !index || *index == 0 || m_parameterArray.empty()) return std::nullopt;
  const std::string& title = m_parameterArray.front()->title();
  std::vector<std::shared_ptr<Surface>> out;
  const auto& surfaces = c->containedSurfaces();
  for (std::size_t i = 0; i < *index; ++i) {
    const auto& titles = surfaces[i]->parameterTitleArray();
    if (std::find(titles.begin(), titles.end(), title) != titles.end()) out.push_back(surfaces[i]);
  }
  return out;
}

std::shared_ptr<Surface> Surface::suitableParameterSolveSurface() const {
  auto possible = possibleParameterSolveSurfaces();
  if (!possible || possible->empty()) return nullptr;
  return possible->back();
}

void Surface::implementParameterPickups() {
  for (const auto& p : m_parameterArray) p->implementSolve();
}

Value Surface::valueForUndefinedKey(std::string_view key) const {
  if (auto p = parameterForTitle(key)) return p->value();
  return VKColoredObject::valueForUndefinedKey(key);
}

void Surface::setValueForUndefinedKey(std::string_view key, const Value& value) {
  if (auto p = parameterForTitle(key)) return p->setValueForKey("value", value);
  VKColoredObject::setValueForUndefinedKey(key, value);
}

// --- solves: inputs --------------------------------------------------------------------------------

void Surface::setSolveSurface(SolveInputs& solve, std::string_view key, const std::shared_ptr<Surface>& surface) {
  changeValueForKey(key, [&] { solve.surface = surface; });
}

void Surface::setThicknessSolveType(int type) {
  setAndAnnounce("thicknessSolveType", m_thicknessSolve.type, type);
  if (type == 2) {
    setAndAnnounce("thicknessSolveTarget", m_thicknessSolve.target, 0.0);
    setAndAnnounce("thicknessSolveZone", m_thicknessSolve.zone, 1.0);
  }
  if (thicknessSolveNeedsSurface(type) && !thicknessSolveSurface())
    setThicknessSolveSurface(suitableSolveSurface());
  if (type == 7) m_thicknessSolveTargetSticky = true;
}

void Surface::setThicknessSolveTarget(double target) {
  setAndAnnounce("thicknessSolveTarget", m_thicknessSolve.target, target);
  m_thicknessSolveTargetSticky = false;
}
void Surface::setThicknessSolveZone(double zone) { setAndAnnounce("thicknessSolveZone", m_thicknessSolve.zone, zone); }
void Surface::setThicknessSolveSurface(const std::shared_ptr<Surface>& surface) {
  setSolveSurface(m_thicknessSolve, "thicknessSolveSurface", surface);
}
void Surface::setThicknessSolveScale(double scale) {
  setAndAnnounce("thicknessSolveScale", m_thicknessSolve.scale, scale);
}
void Surface::setThicknessSolveOffset(double offset) {
  setAndAnnounce("thicknessSolveOffset", m_thicknessSolve.offset, offset);
}

void Surface::setCurvatureSolveType(int type) {
  setAndAnnounce("curvatureSolveType", m_curvatureSolve.type, type);
  if (curvatureSolveNeedsSurface(type) && !curvatureSolveSurface()) setCurvatureSolveSurface(suitableSolveSurface());
  if (type == 3) m_curvatureSolveTargetSticky = true;
}
void Surface::setCurvatureSolveTarget(double target) {
  setAndAnnounce("curvatureSolveTarget", m_curvatureSolve.target, target);
  m_curvatureSolveTargetSticky = false;
}
void Surface::setCurvatureSolveZone(double zone) { setAndAnnounce("curvatureSolveZone", m_curvatureSolve.zone, zone); }
void Surface::setCurvatureSolveSurface(const std::shared_ptr<Surface>& surface) {
  setSolveSurface(m_curvatureSolve, "curvatureSolveSurface", surface);
}
void Surface::setCurvatureSolveScale(double scale) {
  setAndAnnounce("curvatureSolveScale", m_curvatureSolve.scale, scale);
}

void Surface::setSemidiameterSolveType(int type) {
  setAndAnnounce("semidiameterSolveType", m_semidiameterSolve.type, type);
  if (type == kSemiPickup) {
    if (!semidiameterSolveSurface()) setSemidiameterSolveSurface(suitableSolveSurface());
  } else {
    maximizeSemidiameter();
  }
}
void Surface::setSemidiameterSolveSurface(const std::shared_ptr<Surface>& surface) {
  setSolveSurface(m_semidiameterSolve, "semidiameterSolveSurface", surface);
}

void Surface::setConicSolveType(int type) { setAndAnnounce("conicSolveType", m_conicSolve.type, type); }
void Surface::setConicSolveSurface(const std::shared_ptr<Surface>& surface) {
  setSolveSurface(m_conicSolve, "conicSolveSurface", surface);
}
void Surface::setConicSolveScale(double scale) { setAndAnnounce("conicSolveScale", m_conicSolve.scale, scale); }

void Surface::setGlassSolveType(int type) {
  setAndAnnounce("glassSolveType", m_glassSolve.type, type);
  if (type == 1 && !glassSolveSurface()) setGlassSolveSurface(suitableGlassSolveSurface());
}
void Surface::setGlassSolveSurface(const std::shared_ptr<Surface>& surface) {
  setSolveSurface(m_glassSolve, "glassSolveSurface", surface);
}

// The type goes first: choosing the marginal-height solve resets the target and zone, which
// would throw away the values the caller (a file reader) gives with it.
void Surface::setThicknessSolveTypeTarget(int type, double target) {
  setThicknessSolveType(type);
  setThicknessSolveTarget(target);
  if (type == 7) m_thicknessSolveTargetSticky = true;
}
void Surface::setThicknessSolveTypeTargetZone(int type, double target, double zone) {
  setThicknessSolveType(type);
  setThicknessSolveTarget(target);
  setThicknessSolveZone(zone);
  if (type == 7) m_thicknessSolveTargetSticky = true;
}
void Surface::setThicknessSolveTypeSurface(int type, const std::shared_ptr<Surface>& surface) {
  setThicknessSolveSurface(surface);
  setThicknessSolveType(type);
}
void Surface::setThicknessSolveTypeSurfaceTarget(int type, const std::shared_ptr<Surface>& surface, double target) {
  setThicknessSolveSurface(surface);
  setThicknessSolveType(type);
  setThicknessSolveTarget(target);
  if (type == 7) m_thicknessSolveTargetSticky = true;
}
void Surface::setThicknessSolveTypeSurfaceScaleOffset(int type, const std::shared_ptr<Surface>& surface, double scale,
                                                      double offset) {
  setThicknessSolveSurface(surface);
  setThicknessSolveScale(scale);
  setThicknessSolveOffset(offset);
  setThicknessSolveType(type);
}
void Surface::setCurvatureSolveTypeTarget(int type, double target) {
  setCurvatureSolveTarget(target);
  setCurvatureSolveType(type);
}
void Surface::setCurvatureSolveTypeTargetZone(int type, double target, double zone) {
  setCurvatureSolveTarget(target);
  setCurvatureSolveZone(zone);
  setCurvatureSolveType(type);
}
void Surface::setCurvatureSolveTypeSurfaceScale(int type, const std::shared_ptr<Surface>& surface, double scale) {
  setCurvatureSolveSurface(surface);
  setCurvatureSolveScale(scale);
  setCurvatureSolveType(type);
}
void Surface::setConicSolveTypeSurfaceScale(int type, const std::shared_ptr<Surface>& surface, double scale) {
  setConicSolveSurface(surface);
  setConicSolveScale(scale);
  setConicSolveType(type);
}

std::optional<double> Surface::pickupThickness() const {
  if (m_thicknessSolve.type != 5) return std::nullopt;
  auto source = thicknessSolveSurface();
  if (!source) return std::nullopt;
  return source->thickness() * m_thicknessSolve.scale + m_thicknessSolve.offset;
}

void Surface::setCurvatureSolveOutcome(bool implemented, std::string errorMessage) {
  m_curvatureSolveImplemented = implemented;
  m_curvatureSolveErrorMessage = std::move(errorMessage);
}
void Surface::setThicknessSolveOutcome(bool implemented, std::string errorMessage) {
  m_thicknessSolveImplemented = implemented;
  m_thicknessSolveErrorMessage = std::move(errorMessage);
}

// --- solves: bookkeeping ------------------------------------------------------------------------------

bool Surface::curvatureSolveIsNontrivial() const {
  const int t = m_curvatureSolve.type;
  return t == 2 || t == 3 || t == 4 || t == 9 || t == 10 || t == 11;
}

bool Surface::canEditGlassName() const { return !m_glass || (!m_glass->isModel() && !m_glass->isMutable()); }

void Surface::maximizeSemidiameter() {
  if (m_semidiameterSolve.type != kSemiMaximum) return;
  const double maximum = maximumSingleValuedSemidiameter();
  if (std::isfinite(maximum)) setSemidiameter(maximum);
}

std::shared_ptr<Surface> Surface::suitableSolveSurface() const {
  auto c = container();
  auto index = indexInContainer();
  if (!c || !index || *index == 0) return nullptr;
  return c->containedSurfaces()[*index - 1];
}

std::shared_ptr<Surface> Surface::suitableGlassSolveSurface() const {
  auto c = container();
  auto index = indexInContainer();
  if (!c || !index) return nullptr;
  const auto& surfaces = c->containedSurfaces();
  for (std::size_t i = *index; i-- > 0;)
    if (surfaces[i]->glass()) return surfaces[i];
  return nullptr;
}

std::optional<std::vector<std::shared_ptr<Surface>>> Surface::possibleSolveSurfaces() const {
  auto c = container();
  auto index = indexInContainer();
  if (!c || !index) return std::nullopt;
  const auto& surfaces = c->containedSurfaces();
  return std::vector<std::shared_ptr<Surface>>(surfaces.begin(), surfaces.begin() + static_cast<std::ptrdiff_t>(*index));
}

bool Surface::isInSameContainer(const Surface& other) const {
  return !m_container.owner_before(other.m_container) && !other.m_container.owner_before(m_container);
}

bool Surface::invalidSolveSurface(const std::shared_ptr<platform::Object>& source) const {
  if (!source) return false;
  auto surface = std::dynamic_pointer_cast<Surface>(source);
  if (!surface) return true;
  if (!isInSameContainer(*surface)) {
    platform::log("container mismatch");
    platform::log("self = %s", description().c_str());
    platform::log("surface = %s", surface->description().c_str());
    return true;
  }
  auto own = indexInContainer();
  auto theirs = surface->indexInContainer();
  if (own && theirs && *theirs > *own) {
    platform::log("out of order");
    return true;
  }
  return false;
}

void Surface::validateSolveSurfaces() {
  if (m_semidiameterSolve.type != kSemiPickup) setSemidiameterSolveSurface(nullptr);
  if (m_conicSolve.type != 2) setConicSolveSurface(nullptr);
  if (!curvatureSolveSurfaceRequired()) setCurvatureSolveSurface(nullptr);
  if (!thicknessSolveSurfaceRequired()) setThicknessSolveSurface(nullptr);
  if (!glassSolveSurfaceRequired()) setGlassSolveSurface(nullptr);

  if (auto s = semidiameterSolveSurface(); s && invalidSolveSurface(s)) {
    setSemidiameterSolveType(kSemiFixed);
    setSemidiameterSolveSurface(nullptr);
  }
  if (auto s = conicSolveSurface(); s && invalidSolveSurface(s)) {
    setConicSolveType(0);
    setConicSolveSurface(nullptr);
  }
  if (auto s = curvatureSolveSurface(); s && invalidSolveSurface(s)) {
    setCurvatureSolveType(0);
    setCurvatureSolveSurface(nullptr);
  }
  if (auto s = thicknessSolveSurface(); s && invalidSolveSurface(s)) {
    setThicknessSolveType(0);
    setThicknessSolveSurface(nullptr);
  }
  if (auto s = glassSolveSurface(); s && invalidSolveSurface(s)) {
    setGlassSolveType(0);
    setGlassSolveSurface(nullptr);
  }
  for (const auto& p : m_parameterArray) p->validateSolveForSurface(*this);
}

void Surface::replaceSurface(const std::shared_ptr<Surface>& oldSurface, const std::shared_ptr<Surface>& newSurface) {
  struct Slot {
    SolveInputs* solve;
    const char* key;
    int pickup;
    int fallback;
  };
  if (!oldSurface) return;
  const Slot slots[] = {
      {&m_semidiameterSolve, "semidiameterSolveSurface", kSemiPickup, kSemiFixed},
      {&m_conicSolve, "conicSolveSurface", 2, 0},
      {&m_curvatureSolve, "curvatureSolveSurface", 4, 0},
      {&m_thicknessSolve, "thicknessSolveSurface", 5, 0},
      {&m_glassSolve, "glassSolveSurface", 1, 0},
  };
  for (const auto& slot : slots) {
    if (!sameOwner(slot.solve->surface, oldSurface)) continue;
    if (!newSurface && slot.solve->type == slot.pickup) {
      const std::string typeKey = std::string(slot.key, std::string_view(slot.key).size() - 7) + "Type";
      setAndAnnounce(typeKey, slot.solve->type, slot.fallback);
    }
    setSolveSurface(*slot.solve, slot.key, newSurface);
  }
}

void Surface::surfaceReplacement(const platform::Dictionary& userInfo) {
  auto oldSurface = userInfo.get("oldSurface").objectIf<Surface>();
  auto newSurface = userInfo.get("newSurface").objectIf<Surface>();
  replaceSurface(oldSurface, newSurface);
  for (const auto& p : m_parameterArray) p->surfaceReplacement(userInfo);
}

void Surface::detachSurface(const std::shared_ptr<Surface>& surface) {
  replaceSurface(surface, nullptr);
  for (const auto& p : m_parameterArray) p->detachSurface(surface);
}

std::vector<std::string> Surface::keyPathsForVariables() const {
  std::vector<std::string> out;
  if (m_semidiameterSolve.type == kSemiVariable) out.push_back("semidiameter");
  if (m_curvatureSolve.type == 1) out.push_back("curvature");
  if (m_conicSolve.type == 1) out.push_back("conicConstant");
  if (m_thicknessSolve.type == 1) out.push_back("thickness");
  for (const auto& p : m_parameterArray)
    if (p->solveType() == Parameter::kVariable) out.push_back(p->title());
  if (m_aperture)
    for (const auto& k : m_aperture->keyPathsForVariables()) out.push_back("aperture." + k);
  if (m_emission)
    for (const auto& k : m_emission->keyPathsForVariables()) out.push_back("emission." + k);
  return out;
}

// --- container, delegate and identity -------------------------------------------------------------------

void Surface::setContainer(const std::shared_ptr<SurfaceContainer>& container) {
  changeValueForKey("container", [&] { m_container = container; });
  if (container) validateSolveSurfaces();
}

void Surface::setDelegate(const std::shared_ptr<SurfaceDelegate>& delegate) {
  m_delegate = delegate;
  if (delegate) resolveGlass();
}

std::optional<std::size_t> Surface::indexInContainer() const {
  auto c = container();
  if (!c) return std::nullopt;
  const auto& surfaces = c->containedSurfaces();
  for (std::size_t i = 0; i < surfaces.size(); ++i)
    if (surfaces[i].get() == this) return i;
  return std::nullopt;
}

std::shared_ptr<Surface> Surface::nextSurface() const {
  auto c = container();
  auto index = indexInContainer();
  if (!c || !index) return nullptr;
  const auto& surfaces = c->containedSurfaces();
  return *index + 1 < surfaces.size() ? surfaces[*index + 1] : nullptr;
}

std::string Surface::nickname() const {
  auto index = indexInContainer();
  // Outside any lens the index is "not found" (the largest signed long), as files and
  // listings have always shown it.
  std::string s = format("%lu", index ? static_cast<unsigned long>(*index)
                                      : static_cast<unsigned long>(std::numeric_limits<long>::max()));
  if (!m_comment.empty()) s += format(" (%s)", m_comment.c_str());
  if (m_isStop) s += " [Stop]";
  return s;
}

std::string Surface::description() const {
  if (auto index = indexInContainer()) return format("s%ld", static_cast<long>(*index));
  return VKColoredObject::description();
}

std::optional<std::string> Surface::stopLetter() const {
  if (!m_aperture) return m_isStop ? std::optional<std::string>("STO") : std::nullopt;
  return std::string(m_isStop ? "*ST" : "*");
}

double Surface::edgeThickness() const {
  double e = thickness() - sagAtRadius(m_semidiameter);
  if (auto next = nextSurface()) e += next->sagAtRadius(next->semidiameter());
  return e;
}

void Surface::broadcastSurfaceChangedNotification() const {
  // A surface outside any lens has nobody to tell; posting with no sender would reach
  // every observer of the name.
  if (m_notificationToken.isNull()) return;
  platform::NotificationQueue::defaultQueue().enqueue(
      platform::Notification("surfaceChangedNotification", Value(m_notificationToken)), platform::PostingStyle::Now,
      platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void Surface::postNotificationWithName(const std::string& name) const {
  platform::NotificationQueue::defaultQueue().enqueue(platform::Notification(name, Value(reference())),
                                                      platform::PostingStyle::WhenIdle,
                                                      platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void Surface::setSeidel(double s1, double s2, double s3, double s4, double s5) {
  m_s[0] = s1;
  m_s[1] = s2;
  m_s[2] = s3;
  m_s[3] = s4;
  m_s[4] = s5;
}

void Surface::setConrady(double c1, double c2) {
  m_c1 = c1;
  m_c2 = c2;
}

// --- listings ----------------------------------------------------------------------------------------------

void Surface::appendSurfaceDataToString(std::string& out) const {
  auto index = indexInContainer();
  const std::string stop = stopLetter().value_or("");
  const std::string glass = glassName().value_or("");
  out += format("%6ld %-4s %-11s %-8s %10.4f %10.4f %-9s %10.4f\n", index ? static_cast<long>(*index) : -1L,
                stop.c_str(), m_comment.c_str(), type().c_str(), radiusOfCurvature(), thickness(), glass.c_str(),
                m_semidiameter);
}

void Surface::appendAdditionalSurfaceDataToString(std::string& out) const {
  const unsigned long index = static_cast<unsigned long>(indexInContainer().value_or(static_cast<std::size_t>(-1)));
  if (m_conic.k != 0) out += format("s%lu.conicConstant = %g\n", index, m_conic.k);
  for (const auto& p : m_parameterArray)
    if (p->value() != 0) out += format("s%lu.%s = %e\n", index, p->title().c_str(), p->value());
}

void Surface::appendApertureDataToString(std::string& out) const {
  if (!m_aperture) return;
  const unsigned long index = static_cast<unsigned long>(indexInContainer().value_or(static_cast<std::size_t>(-1)));
  out += format("s%lu.aperture = %s\n", index, m_aperture->apertureDescription().c_str());
}

void Surface::appendTransformationDescriptionToString(std::string& out) const {
  const auto& m = m_transform.localToGlobalCoordinateTransformationMatrix();
  out += "\n";
  for (int row = 0; row < 3; ++row) {
    out += format("%9.4f %9.4f %9.4f %12.4e", m(row, 0), m(row, 1), m(row, 2), m(row, 3));
    if (row == 0) out += "  " + nickname();
    out += "\n";
  }
}

void Surface::appendParaxialTraceToString(std::string& out) const {
  const auto& d = m_paraxialTraceData;
  out += format("%9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f", d.h, d.u, d.hbar, d.ubar, d.dun, d.a, d.abar);
  out += "  " + nickname() + "\n";
}

void Surface::appendSeidelToString(std::string& out) const {
  out += format("%9.6f %9.6f %9.6f %9.6f %9.6f %9.6f %9.6f", m_s[0], m_s[1], m_s[2], m_s[3], m_s[4], m_c1, m_c2);
  out += "  " + nickname() + "\n";
}

// --- key-value coding and archive -----------------------------------------------------------------------------

const std::vector<std::string>& Surface::coderKeys() {
  // "thicknessSolveOffset" is new; files without it read as offset 0, and readers that do
  // not know it pass over it.
  static const std::vector<std::string> keys{
      "comment",          "radiusOfCurvature",     "thickness",           "conicConstant",
      "isStop",           "semidiameter",          "semidiameterSolveType", "semidiameterSolveSurface",
      "conicSolveType",   "conicSolveSurface",     "conicSolveScale",     "curvatureSolveType",
      "curvatureSolveTarget", "curvatureSolveZone", "curvatureSolveSurface", "curvatureSolveScale",
      "thicknessSolveType", "thicknessSolveTarget", "thicknessSolveZone", "thicknessSolveSurface",
      "thicknessSolveScale", "thicknessSolveOffset", "glassSolveType",     "glassSolveSurface",
      "glass",            "isMirror",              "aperture",            "emission",
      "parameterArray",   "color"};
  return keys;
}

void Surface::encodeWithCoder(platform::Coder& coder) const {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Surface only supports NSKeyedArchiver coders");
  for (const auto& key : coderKeys()) {
    if (key == "thicknessSolveOffset" && m_thicknessSolve.offset == 0) continue;  // files stay as they were
    Value value = valueForKey(key);
    if (!value.isNil()) coder.encodeObject(key, value);
  }
}

void Surface::initWithCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Surface only supports NSKeyedArchiver coders");
  if (coder.containsValueForKey("surfaceType")) {
    Value type = coder.decodeObject("surfaceType");
    if (type.isString()) m_surfaceType = type.asString();
  }
  for (const auto& key : coderKeys()) {
    if (!coder.containsValueForKey(key)) continue;
    // A value of the wrong kind is passed over, so one odd entry does not lose the file.
    try {
      setValueForKey(key, coder.decodeObject(key));
    } catch (const platform::Exception&) {
    }
  }
  validateParameterArray();
  parametersDidChange();
}

namespace {

template <class T>
std::shared_ptr<T> optionalObject(const Value& v) {
  return v.isNil() ? nullptr : v.asObject<T>();
}

Value optionalString(const std::optional<std::string>& s) { return s ? Value(*s) : Value(); }

platform::Array stringArray(const std::vector<std::string>& strings) {
  platform::Array a;
  for (const auto& s : strings) a.push_back(Value(s));
  return a;
}

}  // namespace

const platform::KeyTable& Surface::classKeys() {
  using K = Keys<Surface>;
  using platform::KeyEntry;
  auto surfaceKey = [](std::string key, std::shared_ptr<Surface> (Surface::*get)() const,
                       void (Surface::*set)(const std::shared_ptr<Surface>&)) {
    KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return Value((static_cast<const Surface&>(o).*get)()); };
    e.set = [set](platform::Object& o, const Value& v) {
      (static_cast<Surface&>(o).*set)(optionalObject<Surface>(v));
    };
    return e;
  };
  auto custom = [](std::string key, std::function<Value(const Surface&)> get,
                   std::function<void(Surface&, const Value&)> set = {}) {
    KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return get(static_cast<const Surface&>(o)); };
    if (set) e.set = [set](platform::Object& o, const Value& v) { set(static_cast<Surface&>(o), v); };
    return e;
  };
  static const platform::KeyTable table(
      &VKColoredObject::classKeys(),
      {
          K::property("comment", &Surface::comment, &Surface::setComment),
          K::property("curvature", &Surface::curvature, &Surface::setCurvature),
          K::property("radiusOfCurvature", &Surface::radiusOfCurvature, &Surface::setRadiusOfCurvature)
              .dependsOn({"curvature"}),
          K::property("thickness", &Surface::thickness, &Surface::setThickness),
          K::property("conicConstant", &Surface::conicConstant, &Surface::setConicConstant),
          K::property("isStop", &Surface::isStop, &Surface::setIsStop),
          K::property("isMirror", &Surface::isMirror, &Surface::setIsMirror),
          K::property("semidiameter", &Surface::semidiameter, &Surface::setSemidiameter),
          K::property("semidiameterForGUI", &Surface::semidiameterForGUI, &Surface::setSemidiameterForGUI)
              .dependsOn({"semidiameter"}),
          K::property("semidiameterSolveType", &Surface::semidiameterSolveType, &Surface::setSemidiameterSolveType),
          surfaceKey("semidiameterSolveSurface", &Surface::semidiameterSolveSurface,
                     &Surface::setSemidiameterSolveSurface),
          K::property("conicSolveType", &Surface::conicSolveType, &Surface::setConicSolveType),
          surfaceKey("conicSolveSurface", &Surface::conicSolveSurface, &Surface::setConicSolveSurface),
          K::property("conicSolveScale", &Surface::conicSolveScale, &Surface::setConicSolveScale),
          K::property("curvatureSolveType", &Surface::curvatureSolveType, &Surface::setCurvatureSolveType),
          K::property("curvatureSolveTarget", &Surface::curvatureSolveTarget, &Surface::setCurvatureSolveTarget),
          K::property("curvatureSolveZone", &Surface::curvatureSolveZone, &Surface::setCurvatureSolveZone),
          surfaceKey("curvatureSolveSurface", &Surface::curvatureSolveSurface, &Surface::setCurvatureSolveSurface),
          K::property("curvatureSolveScale", &Surface::curvatureSolveScale, &Surface::setCurvatureSolveScale),
          K::property("thicknessSolveType", &Surface::thicknessSolveType, &Surface::setThicknessSolveType),
          K::property("thicknessSolveTarget", &Surface::thicknessSolveTarget, &Surface::setThicknessSolveTarget),
          K::property("thicknessSolveZone", &Surface::thicknessSolveZone, &Surface::setThicknessSolveZone),
          surfaceKey("thicknessSolveSurface", &Surface::thicknessSolveSurface, &Surface::setThicknessSolveSurface),
          K::property("thicknessSolveScale", &Surface::thicknessSolveScale, &Surface::setThicknessSolveScale),
          K::property("thicknessSolveOffset", &Surface::thicknessSolveOffset, &Surface::setThicknessSolveOffset),
          K::property("glassSolveType", &Surface::glassSolveType, &Surface::setGlassSolveType),
          surfaceKey("glassSolveSurface", &Surface::glassSolveSurface, &Surface::setGlassSolveSurface),
          custom(
              "glass", [](const Surface& s) { return Value(s.glass()); },
              [](Surface& s, const Value& v) { s.setGlass(optionalObject<materials::Glass>(v)); }),
          custom(
              "glassName", [](const Surface& s) { return optionalString(s.glassName()); },
              [](Surface& s, const Value& v) { s.setGlassName(v.isNil() ? std::string() : v.asString()); })
              .dependsOn({"glass", "isMirror"}),
          custom("glassNumber",
                 [](const Surface& s) {
                   auto n = s.glassNumber();
                   return n ? Value(static_cast<std::int64_t>(*n)) : Value();
                 })
              .dependsOn({"glass"}),
          K::getter("glassIsGood", &Surface::glassIsGood).dependsOn({"glass", "isMirror"}),
          K::getter("canEditGlassName", &Surface::canEditGlassName).dependsOn({"glass"}),
          K::getter("glassColor", &Surface::glassColor).dependsOn({"glass"}),
          custom(
              "aperture", [](const Surface& s) { return Value(s.apertureObject()); },
              [](Surface& s, const Value& v) { s.setAperture(optionalObject<Aperture>(v)); }),
          custom(
              "apertureType", [](const Surface& s) { return optionalString(s.apertureType()); },
              [](Surface& s, const Value& v) { s.setApertureType(v.asString()); })
              .dependsOn({"aperture"}),
          custom(
              "emission", [](const Surface& s) { return Value(s.emission()); },
              [](Surface& s, const Value& v) { s.setEmission(optionalObject<Emission>(v)); }),
          custom(
              "emissionType", [](const Surface& s) { return optionalString(s.emissionType()); },
              [](Surface& s, const Value& v) { s.setEmissionType(v.asString()); })
              .dependsOn({"emission"}),
          custom(
              "parameterArray",
              [](const Surface& s) {
                platform::Array a;
                for (const auto& p : s.parameterArray()) a.push_back(Value(p));
                return Value(a);
              },
              [](Surface& s, const Value& v) {
                std::vector<std::shared_ptr<Parameter>> parameters;
                if (!v.isNil())
                  for (const auto& element : v.asArray()) {
                    if (element.isNil())
                      platform::Exception::raise("NSInvalidArgumentException", "the parameter array holds a null");
                    parameters.push_back(element.asObject<Parameter>());
                  }
                s.setParameterArray(std::move(parameters));
              }),
          K::getter("type", &Surface::type),
          custom("zemaxType", [](const Surface& s) { return optionalString(s.zemaxType()); }),
          custom("indexInContainer",
                 [](const Surface& s) {
                   auto i = s.indexInContainer();
                   return i ? Value(static_cast<std::int64_t>(*i)) : Value();
                 })
              .dependsOn({"container"}),
          K::getter("nickname", &Surface::nickname).dependsOn({"indexInContainer", "comment", "isStop"}),
          K::getter("canBecomeStop", &Surface::canBecomeStop).dependsOn({"indexInContainer"}),
          custom("stopLetter", [](const Surface& s) { return optionalString(s.stopLetter()); })
              .dependsOn({"isStop", "aperture"}),
          K::getter("maximumSingleValuedSemidiameter", &Surface::maximumSingleValuedSemidiameter)
              .dependsOn({"conicConstant", "radiusOfCurvature"}),
          K::getter("edgeThickness", &Surface::edgeThickness),
          K::getter("hasExtraData", &Surface::hasExtraData).dependsOn({"aperture", "emission"}),
          K::getter("canEditSemidiameter", &Surface::canEditSemidiameter).dependsOn({"semidiameterSolveType"}),
          K::getter("canEditThickness", &Surface::canEditThickness).dependsOn({"thicknessSolveType"}),
          K::getter("canEditCurvature", &Surface::canEditCurvature).dependsOn({"curvatureSolveType"}),
          K::getter("canEditConicConstant", &Surface::canEditConicConstant).dependsOn({"conicSolveType"}),
          K::getter("canEditGlass", &Surface::canEditGlass).dependsOn({"glassSolveType"}),
          custom("keyPathsForVariables", [](const Surface& s) { return Value(stringArray(s.keyPathsForVariables())); })
              .dependsOn({"aperture", "emission", "glass", "semidiameterSolveType", "curvatureSolveType",
                          "thicknessSolveType", "conicSolveType"}),
          // Solve texts and menus (defined with the solve tables).
          K::getter("thicknessSolveLetter", &Surface::thicknessSolveLetter).dependsOn({"thicknessSolveType"}),
          K::getter("curvatureSolveLetter", &Surface::curvatureSolveLetter).dependsOn({"curvatureSolveType"}),
          custom("semidiameterSolveLetter", [](const Surface& s) { return optionalString(s.semidiameterSolveLetter()); })
              .dependsOn({"semidiameterSolveType"}),
          K::getter("conicLetter", &Surface::conicLetter).dependsOn({"conicSolveType"}),
          K::getter("glassLetter", &Surface::glassLetter).dependsOn({"glass", "glassSolveType"}),
          K::getter("thicknessDescription", &Surface::thicknessDescription)
              .dependsOn({"thicknessSolveType", "thicknessSolveSurface", "thicknessSolveScale", "thicknessSolveTarget",
                          "thicknessSolveOffset"}),
          K::getter("curvatureDescription", &Surface::curvatureDescription)
              .dependsOn({"curvatureSolveType", "curvatureSolveSurface", "curvatureSolveTarget"}),
          K::getter("semidiameterDescription", &Surface::semidiameterDescription)
              .dependsOn({"semidiameterSolveType", "semidiameterSolveSurface", "conicConstant", "radiusOfCurvature"}),
          K::getter("conicDescription", &Surface::conicDescription)
              .dependsOn({"conicSolveType", "conicSolveSurface", "conicConstant"}),
          K::getter("glassDescription", &Surface::glassDescription).dependsOn({"glassSolveType", "glassSolveSurface"}),
          K::getter("fixedConicDescription", &Surface::fixedConicDescription).dependsOn({"conicConstant"}),
          K::getter("coatingDescription", &Surface::coatingDescription),
          custom("thicknessSolveDescriptors", [](const Surface&) { return Value(stringArray(thicknessSolveDescriptors())); }),
          custom("curvatureSolveDescriptors", [](const Surface&) { return Value(stringArray(curvatureSolveDescriptors())); }),
          custom("semidiameterSolveDescriptors",
                 [](const Surface&) { return Value(stringArray(semidiameterSolveDescriptors())); }),
          custom("glassSolveDescriptors", [](const Surface& s) { return Value(stringArray(s.glassSolveDescriptors())); })
              .dependsOn({"glass", "glassSolveType", "container"}),
          K::property("thicknessSolveDescriptor", &Surface::thicknessSolveDescriptor,
                      &Surface::setThicknessSolveDescriptor)
              .dependsOn({"thicknessSolveType"}),
          K::property("curvatureSolveDescriptor", &Surface::curvatureSolveDescriptor,
                      &Surface::setCurvatureSolveDescriptor)
              .dependsOn({"curvatureSolveType"}),
          K::property("semidiameterSolveDescriptor", &Surface::semidiameterSolveDescriptor,
                      &Surface::setSemidiameterSolveDescriptor)
              .dependsOn({"semidiameterSolveType"}),
          K::property("glassSolveDescriptor", &Surface::glassSolveDescriptor, &Surface::setGlassSolveDescriptor)
              .dependsOn({"glass", "glassSolveType", "glassSolveSurface"}),
          K::getter("thicknessSolveDescriptorVisible", &Surface::thicknessSolveDescriptorVisible)
              .dependsOn({"container"}),
          custom("keyPathsForSolves", [](const Surface& s) { return Value(stringArray(s.keyPathsForSolves())); }),
          K::getter("surfaceGestalt", &Surface::surfaceGestalt)
              .dependsOn({"radiusOfCurvature",  "thickness",          "conicConstant",         "isStop",
                          "semidiameter",       "semidiameterSolveType", "semidiameterSolveSurface",
                          "conicSolveType",     "conicSolveSurface",  "conicSolveScale",       "curvatureSolveType",
                          "curvatureSolveTarget", "curvatureSolveZone", "curvatureSolveSurface",
                          "curvatureSolveScale", "thicknessSolveType", "thicknessSolveTarget",
                          "thicknessSolveZone", "thicknessSolveSurface", "thicknessSolveScale",
                          "thicknessSolveOffset", "glassSolveType",   "glassSolveSurface",     "glass",
                          "aperture",           "emission",           "parameterArray",        "isMirror",
                          "comment"}),
      });
  return table;
}

}  // namespace orb::lens
