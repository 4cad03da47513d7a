#include "tracing/Ray.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>

#include "geometry/values/XYValue.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::tracing {

using foundation::XY;
using foundation::XYZ;
using platform::Value;

namespace {

std::string format(const char* fmt, auto... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, fmt, args...);
  return buffer;
}

double length(const XYZ& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

constexpr const char* kSwarmNames[] = {nullptr, "qxp", "qxm", "qyp", "qym", "pxp", "pxm", "pyp", "pym"};

}  // namespace

// --- Causes of death ----------------------------------------------------------------------

const char* causeOfDeath::intern(std::string_view text) {
  static constexpr const char* known[] = {
      kMissedSurface,  kUnableToHitActiveSide,   kPusherTiltedSurfaceMiss, kMissesSurface,
      kDidNotHitActiveSide, kInvalidCoord,      kInvalidRadius,           kTIR,
      kInvalidIndex,   kApertureDoesNotPass,     kPupilStampKills,         kDoesNotEnterPipe,
      kDoesNotEnterGenericPipe, kMissesAllPipeSurfaces, kBounceback,       kFTIR,
      kTooManyBounces, kOutsideAcceptanceRadius};
  for (const char* k : known)
    if (text == k) return k;
  // Texts from key-value writers outside the fixed list: kept for the life of the process.
  static std::mutex mutex;
  static std::set<std::string, std::less<>> others;
  std::lock_guard lock(mutex);
  return others.emplace(text).first->c_str();
}

const char* swarmIDName(SwarmID id) { return kSwarmNames[static_cast<int>(id)]; }

// --- Tags -------------------------------------------------------------------------------

RayTags::RayTags(const RayTags& o)
    : field(o.field),
      pupilCoordinate(o.pupilCoordinate),
      direction(o.direction),
      lockColor(o.lockColor),
      isAxialRay(o.isAxialRay),
      isTestRay(o.isTestRay),
      swarmID(o.swarmID),
      causeOfDeath(o.causeOfDeath),
      diedAtSurface(o.diedAtSurface),
      m_other(o.m_other ? std::make_unique<platform::Dictionary>(*o.m_other) : nullptr) {}

RayTags& RayTags::operator=(const RayTags& o) {
  if (this != &o) {
    RayTags copy(o);
    *this = std::move(copy);
  }
  return *this;
}

RayTags::~RayTags() = default;

std::shared_ptr<platform::Color> RayTags::color() const {
  return m_other ? m_other->get("color").objectIf<platform::Color>() : nullptr;
}

void RayTags::setColor(std::shared_ptr<platform::Color> color) { setValueForKey("color", Value(std::move(color))); }

std::optional<std::string> RayTags::name() const {
  if (!m_other) return std::nullopt;
  if (const Value* v = m_other->find("name"); v && v->isString()) return v->asString();
  return std::nullopt;
}

std::optional<std::string> RayTags::transferMatrixBasisString() const {
  if (!m_other) return std::nullopt;
  if (const Value* v = m_other->find("transferMatrixBasisString"); v && v->isString()) return v->asString();
  return std::nullopt;
}

Value RayTags::valueForKey(std::string_view key) const {
  if (key == "field") return Value(field);
  if (key == "pupilCoordinate")
    return pupilCoordinate ? Value(geometry::XYValue::valueWithXY(*pupilCoordinate)) : Value();
  if (key == "direction") return direction ? Value(*direction) : Value();
  if (key == "lockColor") return lockColor ? Value(true) : Value();
  if (key == "isAxialRay") return isAxialRay ? Value(true) : Value();
  if (key == "isTestRay") return isTestRay ? Value(true) : Value();
  if (key == "swarmID") return swarmID == SwarmID::None ? Value() : Value(swarmIDName(swarmID));
  if (key == "causeOfDeath") return causeOfDeath ? Value(causeOfDeath) : Value();
  if (key == "diedAtSurface") return diedAtSurface.empty() ? Value() : Value(diedAtSurface);
  return m_other ? m_other->get(Value(key)) : Value();
}

void RayTags::setValueForKey(std::string_view key, const Value& value) {
  const bool nil = value.isNil();
  if (key == "field") {
    field = value.asObject<lens::Field>();
  } else if (key == "pupilCoordinate") {
    if (nil) {
      pupilCoordinate.reset();
    } else if (auto xy = value.objectIf<geometry::XYValue>()) {
      pupilCoordinate = xy->xy();
    } else {
      const platform::Array& a = value.asArray();
      pupilCoordinate = XY{a.at(0).asDouble(), a.at(1).asDouble()};
    }
  } else if (key == "direction") {
    direction = nil ? std::nullopt : std::optional<int>(static_cast<int>(value.asInt()));
  } else if (key == "lockColor") {
    lockColor = !nil && value.asBool();
  } else if (key == "isAxialRay") {
    isAxialRay = !nil && value.asBool();
  } else if (key == "isTestRay") {
    isTestRay = !nil && value.asBool();
  } else if (key == "swarmID") {
    swarmID = SwarmID::None;
    if (!nil)
      for (int i = 1; i < 9; ++i)
        if (value.asString() == kSwarmNames[i]) swarmID = static_cast<SwarmID>(i);
  } else if (key == "causeOfDeath") {
    causeOfDeath = nil ? nullptr : causeOfDeath::intern(value.asString());
  } else if (key == "diedAtSurface") {
    diedAtSurface = nil ? std::string() : value.asString();
  } else if (nil) {
    if (m_other) m_other->remove(Value(key));
  } else {
    if (!m_other) m_other = std::make_unique<platform::Dictionary>();
    m_other->set(Value(key), value);
  }
}

std::vector<std::string> RayTags::allKeys() const {
  std::vector<std::string> keys;
  for (const char* k : {"field", "pupilCoordinate", "direction", "lockColor", "isAxialRay", "isTestRay", "swarmID",
                        "causeOfDeath", "diedAtSurface"})
    if (!valueForKey(k).isNil()) keys.emplace_back(k);
  if (m_other)
    for (const auto& [k, v] : *m_other) keys.push_back(k.asString());
  return keys;
}

// --- Ray --------------------------------------------------------------------------------

Ray::Ray(const XYZ& position, const XYZ& direction, double n) : m_position(position), m_indexIsNegative(n < 0) {
  const double s = n / length(direction);
  m_momentum = XYZ{direction.x * s, direction.y * s, direction.z * s};
}

void Ray::kill(const char* cause, std::string_view surfaceNickname) {
  m_isAlive = false;
  m_tags.causeOfDeath = cause;
  m_tags.diedAtSurface.assign(surfaceNickname);
}

double Ray::p() const { return length(m_momentum); }
double Ray::thetax() const { return std::atan(m_momentum.x / m_momentum.z); }
double Ray::thetay() const { return std::atan(m_momentum.y / m_momentum.z); }

double Ray::theta() const {
  return std::atan(std::sqrt(m_momentum.x * m_momentum.x + m_momentum.y * m_momentum.y) / m_momentum.z);
}

XY Ray::angle() const {
  const double r = std::sqrt(m_momentum.x * m_momentum.x + m_momentum.y * m_momentum.y);
  if (!(r > 0)) return XY{0, 0};
  const double s = std::atan(r / m_momentum.z) / r;
  return XY{m_momentum.x * s, m_momentum.y * s};
}

XYZ Ray::unitDirector() const {
  const double n = indexOfRefraction();
  return XYZ{m_momentum.x / n, m_momentum.y / n, m_momentum.z / n};
}

double Ray::weight() const { return m_wave ? m_wave->weight() : 1.0; }

double Ray::transverseMomentumAmplitude() const {
  const XYZ& a = m_momentum;
  const XYZ& b = m_surfaceNormal;
  return length(XYZ{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x});
}

void Ray::transformByMatrix(const foundation::TransformationMatrix& m) {
  m_position = foundation::applyToPoint(m, m_position);
  m_momentum = foundation::applyToDirection(m, m_momentum);
  m_surfaceNormal = foundation::applyToDirection(m, m_surfaceNormal);
}

void Ray::transformPositionByMatrix(const foundation::TransformationMatrix& m) {
  m_position = foundation::applyToPoint(m, m_position);
}

void Ray::displaceBy(const XYZ& d) {
  m_position.x += d.x;
  m_position.y += d.y;
  m_position.z += d.z;
}

void Ray::displaceByMomentumScaledBy(double s) {
  m_position.x += s * m_momentum.x;
  m_position.y += s * m_momentum.y;
  m_position.z += s * m_momentum.z;
}

void Ray::virtualPropagate(double dz) {
  m_position.x += dz * m_momentum.x / m_momentum.z;
  m_position.y += dz * m_momentum.y / m_momentum.z;
}

void Ray::rescaleToIndexOfRefraction(double n) {
  const double s = n / p();
  m_momentum = XYZ{m_momentum.x * s, m_momentum.y * s, m_momentum.z * s};
}

void Ray::paraxialScaleByFactor(double f) {
  if (f == 1) return;
  m_position.x *= f;
  m_position.y *= f;
  const double uxs = f * m_momentum.x / m_momentum.z;
  const double uys = f * m_momentum.y / m_momentum.z;
  const double pz = p() / std::sqrt(1 + uxs * uxs + uys * uys);
  m_momentum = XYZ{pz * uxs, pz * uys, pz};
}

// --- Key-value access --------------------------------------------------------------------

Value Ray::valueForKeyPath(std::string_view key) const {
  if (key.starts_with("tags.")) {
    const std::string_view tag = key.substr(5);
    if (tag == "wave") return Value(m_wave);
    return m_tags.valueForKey(tag);
  }
  if (key == "x" || key == "qx") return x();
  if (key == "y" || key == "qy") return y();
  if (key == "z" || key == "qz") return z();
  if (key == "px") return px();
  if (key == "py") return py();
  if (key == "pz") return pz();
  if (key == "p") return p();
  if (key == "ux") return ux();
  if (key == "uy") return uy();
  if (key == "thetax") return thetax();
  if (key == "thetay") return thetay();
  if (key == "theta") return theta();
  if (key == "tx") return tx();
  if (key == "ty") return ty();
  if (key == "indexOfRefraction") return indexOfRefraction();
  if (key == "indexOfRefractionIsNegative") return m_indexIsNegative;
  if (key == "opticalPathLength") return m_opticalPathLength;
  if (key == "isAlive") return m_isAlive;
  if (key == "isReflected" || key == "isRetrograde") return m_isReflected;
  if (key == "weight") return weight();
  if (key == "transverseMomentumAmplitude") return transverseMomentumAmplitude();
  if (key == "wave") return Value(m_wave);
  if (key == "seidelA") return seidelA;
  if (key == "seidelD") return seidelD;
  if (key == "seidelT") return seidelT;
  if (key == "dispersion") return dispersion;
  if (key == "colorJump") return colorJump;
  if (key == "description") return description();
  if (key == "formattedDescription") return formattedDescription();
  return Value();
}

void Ray::setValueForKeyPath(std::string_view key, const Value& value) {
  if (key.starts_with("tags.")) {
    const std::string_view tag = key.substr(5);
    if (tag == "wave")
      m_wave = value.asObject<lens::Wave>();
    else
      m_tags.setValueForKey(tag, value);
  } else if (key == "isAlive") {
    m_isAlive = value.asBool();
  } else if (key == "isReflected") {
    m_isReflected = value.asBool();
  } else if (key == "opticalPathLength") {
    m_opticalPathLength = value.asDouble();
  } else if (key == "indexOfRefractionIsNegative") {
    // Stored from the integer part: 0.5 means no.
    m_indexIsNegative = static_cast<long long>(value.asDouble()) != 0;
  } else if (key == "wave") {
    m_wave = value.asObject<lens::Wave>();
  } else {
    platform::Exception::raise("NSUnknownKeyException", "Ray: no settable key %.*s", static_cast<int>(key.size()),
                               key.data());
  }
}

// --- Texts -------------------------------------------------------------------------------

std::string Ray::description() const {
  return format("Ray{x=(%g,%g,%g),p=(%g,%g,%g)%s}", m_position.x, m_position.y, m_position.z, m_momentum.x,
                m_momentum.y, m_momentum.z, m_isAlive ? "" : ",dead");
}

std::string Ray::deadDescription() const {
  return format("Ray is dead\nCause of death: %s\nDied at surface %s\n",
                m_tags.causeOfDeath ? m_tags.causeOfDeath : "(null)",
                m_tags.diedAtSurface.empty() ? "(null)" : m_tags.diedAtSurface.c_str());
}

std::string Ray::formattedDescription() const {
  if (!m_isAlive) return deadDescription();
  return format("Position: %9.3f %9.3f %9.3f\n", m_position.x, m_position.y, m_position.z) +
         format("Momentum: %9.6f %9.6f %9.6f\n", m_momentum.x, m_momentum.y, m_momentum.z);
}

// --- Sets of rays --------------------------------------------------------------------------

namespace {
template <class Get>
XYZ liveMean(std::span<const Ray> rays, Get get) {
  XYZ sum{0, 0, 0};
  std::size_t count = 0;
  for (const Ray& r : rays) {
    if (!r.isAlive()) continue;
    const XYZ& v = get(r);
    sum.x += v.x;
    sum.y += v.y;
    sum.z += v.z;
    ++count;
  }
  if (count == 0) return XYZ{0, 0, 0};
  return XYZ{sum.x / count, sum.y / count, sum.z / count};
}
}  // namespace

XYZ Ray::positionCentroidOfLiveRays(std::span<const Ray> rays) {
  return liveMean(rays, [](const Ray& r) -> const XYZ& { return r.position(); });
}

XYZ Ray::momentumCentroidOfLiveRays(std::span<const Ray> rays) {
  return liveMean(rays, [](const Ray& r) -> const XYZ& { return r.momentum(); });
}

std::optional<std::size_t> Ray::liveRayClosestToPoint(std::span<const Ray> rays, const XYZ& point) {
  std::optional<std::size_t> best;
  double bestDistance = 0;
  for (std::size_t i = 0; i < rays.size(); ++i) {
    if (!rays[i].isAlive()) continue;
    const XYZ& q = rays[i].position();
    const double d = (q.x - point.x) * (q.x - point.x) + (q.y - point.y) * (q.y - point.y) +
                     (q.z - point.z) * (q.z - point.z);
    if (!best || d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

double Ray::distanceAlongRayForClosestApproachToRay(const Ray& a, const Ray& b) {
  const XYZ& A = a.position();
  const XYZ& B = b.position();
  const XYZ& pa = a.momentum();
  const XYZ& pb = b.momentum();
  auto dot = [](const XYZ& u, const XYZ& v) { return u.x * v.x + u.y * v.y + u.z * v.z; };
  const XYZ ba{B.x - A.x, B.y - A.y, B.z - A.z};
  const XYZ ab{-ba.x, -ba.y, -ba.z};
  const double c = dot(pa, pb), aa = dot(pa, pa), bb = dot(pb, pb);
  const double d1 = dot(ba, pb), d2 = dot(ab, pa);
  const double D = c * c - aa * bb;
  const double s = (c * d1 + bb * d2) / D;
  const double t = (c * d2 + aa * d1) / D;
  platform::log("s = %g, t = %g", s, t);
  return s * std::sqrt(aa);
}

// --- Vertices ------------------------------------------------------------------------------

std::string RayVertex::description() const {
  return format("<RayVertex>q=(%g,%g,%g)p=(%g,%g,%g) surface %s", position.x, position.y, position.z, momentum.x,
                momentum.y, momentum.z, surface ? surface->description().c_str() : "(null)");
}

}  // namespace orb::tracing
