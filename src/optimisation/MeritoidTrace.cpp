#include "optimisation/MeritoidTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/TestRayGenerator.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/Thread.h"
#include "tracing/RayWithFrame.h"
#include "tracing/TraceDriver.h"

namespace orb::optimisation {

using platform::Value;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int indexIn(const std::vector<std::string>& list, const std::string& s) {
  const auto it = std::find(list.begin(), list.end(), s);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

// "M.xx" and "M.xy" name transfer-matrix elements as the ray names its position ("x" is
// qx), row first like every "M." key: ∂qx/∂qx₀ and ∂qx/∂qy₀, from the ray's start state
// to its end, in the ray's own transverse frame.
std::string rayKeyPath(const std::string& key) {
  if (key == "M.xx") return "M.qxqx";
  if (key == "M.xy") return "M.qxqy";
  return key;
}

// Only a framed ray carries a transfer matrix; plain rays are cheaper, so the others use them.
bool readsTransferMatrix(const std::string& keyPath) {
  return keyPath.starts_with("M.") || keyPath.starts_with("transferMatrix.");
}
}  // namespace

const platform::KeyTable& MeritoidTrace::classKeys() {
  using M = MeritoidTrace;
  using K = platform::Keys<M>;
  static const std::vector<std::string> sources{"included", "value",     "calculationUnits", "displayUnits",
                                                "target",   "tolerance", "valueKey"};
  static const platform::KeyTable table(
      &Meritoid::classKeys(),
      {
          K::property("fieldX", &M::fieldX, &M::setFieldX),
          K::property("fieldY", &M::fieldY, &M::setFieldY),
          K::property("pupilX", &M::pupilX, &M::setPupilX),
          K::property("pupilY", &M::pupilY, &M::setPupilY),
          K::property("fieldSpecifier", &M::fieldSpecifier, &M::setFieldSpecifier),
          K::property("pupilSpecifier", &M::pupilSpecifier, &M::setPupilSpecifier),
          K::property("wavelengthInNanometers", &M::wavelengthInNanometers, &M::setWavelengthInNanometers),
          K::property("useLocalCoordinates", &M::useLocalCoordinates, &M::setUseLocalCoordinates),
          K::property("valueKey", &M::valueKey, &M::setValueKey),
          K::property("fieldSpecificationTag", &M::fieldSpecificationTag, &M::setFieldSpecificationTag)
              .dependsOn({"fieldSpecifier"}),
          K::property("pupilSpecificationTag", &M::pupilSpecificationTag, &M::setPupilSpecificationTag)
              .dependsOn({"pupilSpecifier"}),
          K::getter("fieldLabelX", &M::fieldLabelX).dependsOn({"fieldSpecifier"}),
          K::getter("fieldLabelY", &M::fieldLabelY).dependsOn({"fieldSpecifier"}),
          K::getter("pupilLabelX", &M::pupilLabelX).dependsOn({"pupilSpecifier"}),
          K::getter("pupilLabelY", &M::pupilLabelY).dependsOn({"pupilSpecifier"}),
          K::getter("fieldIsMomentum", &M::fieldIsMomentum).dependsOn({"fieldSpecifier"}),
          K::getter("pupilIsMomentum", &M::pupilIsMomentum).dependsOn({"pupilSpecifier"}),
          platform::Keys<Meritoid>::getter("isDimensionless", &Meritoid::isDimensionless)
              .dependsOn({"identifier", "valueKey"}),
          platform::Keys<Meritoid>::getter("displayValue", &Meritoid::displayValue)
              .dependsOn({"value", "calculationUnits", "displayUnits", "target", "valueKey"}),
          platform::Keys<Meritoid>::getter("residual", &Meritoid::residual).dependsOn(sources),
          platform::Keys<Meritoid>::getter("contribution", &Meritoid::contribution).dependsOn(sources),
      });
  return table;
}

const std::vector<std::string>& MeritoidTrace::fieldSpecifiers() {
  static const std::vector<std::string> s{"reduced", "angle", "momentum", "tangent", "position"};
  return s;
}
const std::vector<std::string>& MeritoidTrace::pupilSpecifiers() {
  static const std::vector<std::string> s{"reduced", "pstop", "momentum", "tangent"};
  return s;
}
const std::vector<std::string>& MeritoidTrace::possibleValueKeys() {
  static const std::vector<std::string> k{"x", "y", "z", "px", "py", "pz", "ux", "uy", "M.xx", "M.xy"};
  return k;
}
const std::vector<std::string>& MeritoidTrace::valueKeysForPosition() {
  static const std::vector<std::string> k{"x", "y", "z", "qx", "qy", "qz"};
  return k;
}

void MeritoidTrace::nontrivialize() {
  Meritoid::nontrivialize();
  setFieldSpecifier("reduced");
  setPupilSpecifier("reduced");
  setWavelengthInNanometers(633);
  setValueKey(possibleValueKeys().front());
}

std::vector<std::string> MeritoidTrace::coderKeys() const {
  std::vector<std::string> keys = Meritoid::coderKeys();
  for (const char* k : {"fieldX", "fieldY", "pupilX", "pupilY", "fieldSpecifier", "pupilSpecifier",
                        "wavelengthInNanometers", "useLocalCoordinates", "valueKey"})
    keys.push_back(k);
  return keys;
}

bool MeritoidTrace::isDimensionless() const { return indexIn(valueKeysForPosition(), m_valueKey) < 0; }

void MeritoidTrace::setValueKey(const std::string& k) {
  mark("valueKey", m_valueKey, k);
  validateUnits();
}

int MeritoidTrace::fieldSpecificationTag() const { return indexIn(fieldSpecifiers(), m_fieldSpecifier); }
void MeritoidTrace::setFieldSpecificationTag(int tag) {
  setFieldSpecifier(tag >= 0 && tag < 5 ? fieldSpecifiers()[static_cast<std::size_t>(tag)] : std::string());
}
int MeritoidTrace::pupilSpecificationTag() const { return indexIn(pupilSpecifiers(), m_pupilSpecifier); }
void MeritoidTrace::setPupilSpecificationTag(int tag) {
  setPupilSpecifier(tag >= 0 && tag < 4 ? pupilSpecifiers()[static_cast<std::size_t>(tag)] : std::string());
}

std::string MeritoidTrace::fieldLabelX() const {
  static const char* const labels[] = {"Hx", "degX", "px", "ux", "qx"};
  const int t = fieldSpecificationTag();
  return t < 0 ? std::string() : labels[t];
}
std::string MeritoidTrace::fieldLabelY() const {
  static const char* const labels[] = {"Hy", "degY", "py", "uy", "qy"};
  const int t = fieldSpecificationTag();
  return t < 0 ? std::string() : labels[t];
}
std::string MeritoidTrace::pupilLabelX() const {
  static const char* const labels[] = {"Px", "qx", "px", "ux"};
  const int t = pupilSpecificationTag();
  return t < 0 ? std::string() : labels[t];
}
std::string MeritoidTrace::pupilLabelY() const {
  static const char* const labels[] = {"Py", "qy", "py", "uy"};
  const int t = pupilSpecificationTag();
  return t < 0 ? std::string() : labels[t];
}
bool MeritoidTrace::fieldIsMomentum() const {
  const int t = fieldSpecificationTag();
  return t == 2 || t == 3;
}
bool MeritoidTrace::pupilIsMomentum() const {
  const int t = pupilSpecificationTag();
  return t == 2 || t == 3;
}

void MeritoidTrace::evaluation() {
  const LensPtr l = lens();
  if (!l) {
    setEvaluationMessage("No lens");
    setEvaluationValue(kNaN);
    return;
  }
  bool reading = false;
  try {
    platform::Synchronized lock(l.get());
    analysis::testray::Specification spec;
    spec.fieldTag = fieldSpecificationTag();
    spec.field = {m_fieldX, m_fieldY};
    spec.pupilTag = pupilSpecificationTag();
    spec.pupil = {m_pupilX, m_pupilY};
    spec.wave = lens::Wave::wave();
    spec.wave->setWavelengthInNanometers(m_wavelengthInNanometers);
    tracing::Ray made = analysis::testray::makeTestRay(*l, spec);
    made.setWave(spec.wave);
    const std::string keyPath = rayKeyPath(m_valueKey);
    // Generic: a framed ray must be traced and moved through its own overloads.
    auto traceAndRead = [&](auto& ray) {
      tracing::traceRay(*l, ray);
      if (!ray.isAlive()) {
        setEvaluationMessage("Ray is vignetted");
        setEvaluationValue(kNaN);
        return;
      }
      reading = true;
      if (m_useLocalCoordinates)
        ray.transformByMatrix(l->imageSurface()->transform().globalToLocalCoordinateTransformationMatrix());
      const Value v = ray.valueForKeyPath(keyPath);
      if (!v.isNumber()) platform::Exception::raise("NSUnknownKeyException", "no ray key %s", m_valueKey.c_str());
      setEvaluationValue(v.asDouble());
    };
    if (readsTransferMatrix(keyPath)) {
      tracing::RayWithFrame framed(made);
      traceAndRead(framed);
    } else {
      traceAndRead(made);
    }
  } catch (const platform::Exception& e) {
    platform::log("[%g] %s catches %s", number(), identifier().c_str(), e.what());
    setEvaluationMessage(reading ? "Invalid key path" : e.reason());
    setEvaluationValue(kNaN);
  }
}

}  // namespace orb::optimisation
