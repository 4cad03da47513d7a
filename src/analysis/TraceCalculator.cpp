#include "analysis/TraceCalculator.h"

#include <cstdio>

#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/LensDelegate.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"
#include "tracing/TraceDriver.h"

namespace orb::analysis {

using platform::Dictionary;
using platform::Value;
using tracing::Ray;
using tracing::RayWithFrame;

namespace {

constexpr const char* kBasisDefaultsKey = "transformationMatrixBasisString";

struct SpecTexts {
  const char* spec;
  const char* x;
  const char* y;
};
constexpr SpecTexts kFieldTexts[] = {{"reduced field coordinates", "Hx", "Hy"},
                                     {"angle in degrees", "degX", "degY"},
                                     {"momentum", "px", "py"},
                                     {"tangent", "ux", "uy"},
                                     {"position", "qx", "qy"}};
constexpr SpecTexts kPupilTexts[] = {{"reduced pupil coordinates", "Px", "Py"},
                                     {"paraxial position at stop", "qx", "qy"},
                                     {"momentum", "px", "py"},
                                     {"tangent", "ux", "uy"}};

template <std::size_t N>
const SpecTexts& textsFor(const SpecTexts (&table)[N], int tag) {
  static const SpecTexts unknown{"unknown", "x", "y"};
  return tag >= 0 && std::size_t(tag) < N ? table[tag] : unknown;
}

}  // namespace

TraceCalculator::TraceCalculator() {
  try {
    m_basisString = platform::UserDefaults::standard().stringForKey(kBasisDefaultsKey);
  } catch (const platform::Exception&) {
  }
  if (m_basisString.empty()) m_basisString = "(px,py,qx,qy)";
  m_commentObservation = platform::NotificationCenter::defaultCenter().addObserver(
      "lensCommentChangedNotification", Value(), [this](const platform::Notification&) { updateListing(); });
}

void TraceCalculator::willDeallocate() {
  m_commentObservation = {};
  try {
    platform::UserDefaults::standard().setObject(kBasisDefaultsKey, Value(transformationMatrixBasisString()));
  } catch (const platform::Exception&) {
  }
  RaysCalculator::willDeallocate();
}

const platform::KeyTable& TraceCalculator::classKeys() {
  using K = platform::Keys<TraceCalculator>;
  using T = TraceCalculator;
  static const platform::KeyTable table(
      &RaysCalculator::classKeys(),
      {K::property("testRayHX", &T::testRayHX, &T::setTestRayHX),
       K::property("testRayHY", &T::testRayHY, &T::setTestRayHY),
       K::property("testRayPX", &T::testRayPX, &T::setTestRayPX),
       K::property("testRayPY", &T::testRayPY, &T::setTestRayPY),
       K::property("fieldSpecificationTag", &T::fieldSpecificationTag, &T::setFieldSpecificationTag),
       K::property("pupilSpecificationTag", &T::pupilSpecificationTag, &T::setPupilSpecificationTag),
       K::property("customWavelength", &T::customWavelength, &T::setCustomWavelength),
       K::property("rayPositionInLocalCoordinates", &T::rayPositionInLocalCoordinates,
                   &T::setRayPositionInLocalCoordinates),
       K::property("rayMomentumInLocalCoordinates", &T::rayMomentumInLocalCoordinates,
                   &T::setRayMomentumInLocalCoordinates),
       K::property("transformationMatrixBasisString", &T::transformationMatrixBasisString,
                   &T::setTransformationMatrixBasisString),
       K::getter("listing", &T::listing),
       K::getter("fieldSpecString", &T::fieldSpecString).dependsOn({"fieldSpecificationTag"}),
       K::getter("fieldLabelX", &T::fieldLabelX).dependsOn({"fieldSpecificationTag"}),
       K::getter("fieldLabelY", &T::fieldLabelY).dependsOn({"fieldSpecificationTag"}),
       K::getter("fieldIsMomentum", &T::fieldIsMomentum).dependsOn({"fieldSpecificationTag"}),
       K::getter("pupilSpecString", &T::pupilSpecString).dependsOn({"pupilSpecificationTag"}),
       K::getter("pupilLabelX", &T::pupilLabelX).dependsOn({"pupilSpecificationTag"}),
       K::getter("pupilLabelY", &T::pupilLabelY).dependsOn({"pupilSpecificationTag"}),
       K::getter("pupilIsMomentum", &T::pupilIsMomentum).dependsOn({"pupilSpecificationTag"}),
       K::getter("noFieldOrWavesShouldBeWarned", &T::noFieldOrWavesShouldBeWarned)});
  return table;
}

// --- settings ----------------------------------------------------------------------------------

void TraceCalculator::traceSettingChanged(const char* key, std::function<void()> set) {
  changeValueForKey(key, set);
  setNeedsCalculation(true);
}
void TraceCalculator::setTestRayHX(double v) { traceSettingChanged("testRayHX", [&] { m_hx = v; }); }
void TraceCalculator::setTestRayHY(double v) { traceSettingChanged("testRayHY", [&] { m_hy = v; }); }
void TraceCalculator::setTestRayPX(double v) { traceSettingChanged("testRayPX", [&] { m_px = v; }); }
void TraceCalculator::setTestRayPY(double v) { traceSettingChanged("testRayPY", [&] { m_py = v; }); }
void TraceCalculator::setFieldSpecificationTag(int tag) {
  traceSettingChanged("fieldSpecificationTag", [&] { m_fieldTag = tag; });
}
void TraceCalculator::setPupilSpecificationTag(int tag) {
  traceSettingChanged("pupilSpecificationTag", [&] { m_pupilTag = tag; });
}
void TraceCalculator::setCustomWavelength(double nanometres) {
  changeValueForKey("customWavelength", [&] { m_customWavelength = nanometres; });
  if (waveOfInterestKeyPath().empty()) setNeedsCalculation(true);
}
void TraceCalculator::setRayPositionInLocalCoordinates(bool on) {
  changeValueForKey("rayPositionInLocalCoordinates", [&] { m_positionLocal = on; });
  updateListing();
}
void TraceCalculator::setRayMomentumInLocalCoordinates(bool on) {
  changeValueForKey("rayMomentumInLocalCoordinates", [&] { m_momentumLocal = on; });
  updateListing();
}
std::string TraceCalculator::transformationMatrixBasisString() const {
  std::lock_guard lock(m_basisMutex);
  return m_basisString;
}
void TraceCalculator::setTransformationMatrixBasisString(const std::string& basis) {
  traceSettingChanged("transformationMatrixBasisString", [&] {
    std::lock_guard lock(m_basisMutex);
    m_basisString = basis;
  });
}
const std::vector<std::string>& TraceCalculator::transformationMatrixBasisStrings() {
  static const std::vector<std::string> list{"(px,py,qx,qy)", "(px,qx,py,qy)", "(py,qy,px,qx)",
                                             "(qx,px,qy,py)", "(qx,qy,px,py)", "(qy,py,qx,px)"};
  return list;
}

std::string TraceCalculator::fieldSpecString() const { return textsFor(kFieldTexts, fieldSpecificationTag()).spec; }
std::string TraceCalculator::fieldLabelX() const { return textsFor(kFieldTexts, fieldSpecificationTag()).x; }
std::string TraceCalculator::fieldLabelY() const { return textsFor(kFieldTexts, fieldSpecificationTag()).y; }
std::string TraceCalculator::pupilSpecString() const { return textsFor(kPupilTexts, pupilSpecificationTag()).spec; }
std::string TraceCalculator::pupilLabelX() const { return textsFor(kPupilTexts, pupilSpecificationTag()).x; }
std::string TraceCalculator::pupilLabelY() const { return textsFor(kPupilTexts, pupilSpecificationTag()).y; }
std::string TraceCalculator::fieldSpecEquation() const {
  return platform::format("%s = %g, %s = %g", fieldLabelX().c_str(), testRayHX(), fieldLabelY().c_str(), testRayHY());
}
std::string TraceCalculator::pupilSpecEquation() const {
  return platform::format("%s = %g, %s = %g", pupilLabelX().c_str(), testRayPX(), pupilLabelY().c_str(), testRayPY());
}

void TraceCalculator::setListing(std::string listing) {
  changeValueForKey("listing", [&] { m_listing = std::move(listing); });
}

// --- work --------------------------------------------------------------------------------------

RayWithFrame TraceCalculator::testRayWithPresentSettings() {
  const LensPtr l = lens();
  if (!l) platform::Exception::raise("NSInternalInconsistencyException", "%s", testray::kInconsistentSpecification);
  testray::Specification spec;
  spec.fieldTag = fieldSpecificationTag();
  spec.field = {testRayHX(), testRayHY()};
  spec.pupilTag = pupilSpecificationTag();
  spec.pupil = {testRayPX(), testRayPY()};
  spec.definedField = fieldOfInterest();
  spec.wave = waveOfInterest();
  if (!spec.wave) {
    spec.wave = lens::Wave::wave();
    spec.wave->setWavelengthInNanometers(customWavelength());
  }
  Ray ray = testray::makeTestRay(*l, spec);
  ray.setWave(spec.wave);
  return RayWithFrame(ray);
}

void TraceCalculator::generateInitialRays() {
  m_workingStart.reset();
  m_workingTraced.reset();
  m_workingSwarm.clear();
  RayWithFrame ray = testRayWithPresentSettings();
  ray.tags().isTestRay = true;
  ray.enableTrajectory();
  m_workingStart = std::move(ray);
}

void TraceCalculator::traceRays() {
  const LensPtr l = lens();
  if (!l || !m_workingStart) return;
  const SurfacePtr target = surfaceOfInterest();
  const auto options = tracing::TraceOptions::paraxial(paraxial());
  platform::Synchronized lensLock(l.get());
  RayWithFrame ray = *m_workingStart;
  std::vector<Ray> swarm = ray.swarm();
  tracing::traceRay(*l, ray, target.get(), options);
  if (!swarm.empty()) tracing::traceRays(*l, std::span<Ray>(swarm), target.get(), options);
  // The layout views draw what rays() holds: the test ray and its satellites.
  workingRays().clear();
  workingRays().push_back(ray.ray());
  workingRays().insert(workingRays().end(), swarm.begin(), swarm.end());
  m_workingTraced = std::move(ray);
  m_workingSwarm = std::move(swarm);
}

void TraceCalculator::calculate() {
  m_workingStart.reset();
  m_workingTraced.reset();
  m_workingSwarm.clear();
  const bool wasNeeded = needsCalculation();
  RaysCalculator::calculate();
  if (platform::currentThreadIsCancelled() || (wasNeeded && needsCalculation())) return;
  {
    platform::Synchronized lock(this);
    m_start = std::move(m_workingStart);
    m_traced = std::move(m_workingTraced);
    m_swarm = std::move(m_workingSwarm);
  }
  std::string text;
  if (const LensPtr l = lens()) {
    // The listing reads the lens (field of interest, stop, frames) as the worker traced it.
    platform::Synchronized lensLock(l.get());
    text = listingText();
  }
  performOnMainThreadForRun([this, text = std::move(text)]() mutable { setListing(std::move(text)); });
}

std::string TraceCalculator::swarmAnalysisString() const {
  platform::Synchronized lock(this);
  if (!m_traced || m_swarm.size() < 8) return {};
  for (const Ray& r : m_swarm)
    if (r.tags().swarmID == tracing::SwarmID::None) return {};
  return "Numerical transfer matrix:\n" +
         m_traced->formattedDescriptionOfTransferMatrix(m_traced->transferMatrixWithSwarm(m_swarm));
}

std::string TraceCalculator::listingText() const {
  std::optional<RayWithFrame> start, traced;
  {
    platform::Synchronized lock(this);
    start = m_start;
    traced = m_traced;
  }
  const LensPtr l = lens();
  std::string s;
  const auto delegate = l ? l->delegate() : nullptr;
  s += platform::format("File: %s\n\n", delegate ? delegate->displayName().c_str() : "");
  if (paraxial()) s += "Paraxial trace\n";
  if (const FieldPtr field = fieldOfInterest())
    s += platform::format("Using defined field: %s\n", field->description().c_str());
  else
    s += platform::format("Field specified by: %s\n%s\n", fieldSpecString().c_str(), fieldSpecEquation().c_str());
  s += platform::format("Pupil specified by: %s\n%s\n\n", pupilSpecString().c_str(), pupilSpecEquation().c_str());
  if (start) {
    s += "Initial ray state (global coordinates):\n";
    s += start->ray().formattedDescription();
    s += platform::format("\nWavelength = %gnm\n\n", start->wave() ? start->wave()->wavelengthInNanometers() : 0.0);
  }
  if (const auto e = exception()) {
    s += e->reason();
    return s;
  }
  if (!traced) {
    s += "NO RAY TO LIST";
    return s;
  }
  s += "Ray data is after refraction, except for final surface\n";
  s += platform::format("Ray position coordinate frame: %s\n", rayPositionInLocalCoordinates() ? "local" : "global");
  s += platform::format("Ray momentum coordinate frame: %s\n", rayMomentumInLocalCoordinates() ? "local" : "global");
  s += "\n";
  s += platform::format("%10s %10s %10s | %12s %12s %12s | %s\n", "qx", "qy", "qz", "px", "py", "pz", "surface");
  const auto stop = l ? l->stopSurface() : nullptr;
  if (const tracing::Trajectory* trajectory = traced->trajectory())
    for (tracing::RayVertex v : *trajectory) {
      const auto* surface = dynamic_cast<const lens::Surface*>(v.surface);
      if (surface) {
        const auto& localFromGlobal = surface->transform().globalToLocalCoordinateTransformationMatrix();
        if (rayPositionInLocalCoordinates()) v.transformPositionByMatrix(localFromGlobal);
        if (rayMomentumInLocalCoordinates()) v.transformMomentumByMatrix(localFromGlobal);
      }
      s += platform::format("%10.4f %10.4f %10.4f | %12.6f %12.6f %12.6f |%c%s\n", v.position.x, v.position.y,
                            v.position.z, v.momentum.x, v.momentum.y, v.momentum.z,
                            surface && surface == stop.get() ? '*' : ' ',
                            surface ? surface->nickname().c_str() : "");
    }
  if (traced->isAlive()) {
    traced->tags().setValueForKey("transferMatrixBasisString", Value(transformationMatrixBasisString()));
    s += "\nFinal ray state (global coordinates):\n";
    s += traced->formattedDescription();
    s += "\n";
    s += swarmAnalysisString();
  } else {
    s += "\nTrace stopped before ray reached image surface\n";
    s += platform::format("Reason: %s\n", traced->tags().causeOfDeath ? traced->tags().causeOfDeath : "unknown");
    s += platform::format("Surface: %s\n", traced->tags().diedAtSurface.c_str());
  }
  return s;
}

void TraceCalculator::updateListing() {
  if (platform::isMainThread()) {
    setListing(listingText());
    return;
  }
  std::string text = listingText();
  platform::performOnMainThread(reference(), [this, text = std::move(text)]() mutable { setListing(std::move(text)); });
}

bool TraceCalculator::exportToFile(std::FILE* file) {
  if (m_listing.empty()) return false;
  return std::fwrite(m_listing.data(), 1, m_listing.size(), file) == m_listing.size();
}

void TraceCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"customWavelength", "testRayHX", "testRayHY", "testRayPX", "testRayPY",
                          "pupilSpecificationTag", "fieldSpecificationTag", "rayPositionInLocalCoordinates",
                          "rayMomentumInLocalCoordinates", "transformationMatrixBasisString"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
