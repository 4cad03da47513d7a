#include "geometry/values/XYZValue.h"

#include <cmath>
#include <cstring>

#include "platform/Exception.h"

namespace orb::geometry {

namespace detail {
std::uint64_t hashDoubles(const double* values, int count) {
  // FNV-1a over the bytes, then a final avalanche; −0 is folded onto +0 first because
  // equality treats them as equal.
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (int i = 0; i < count; ++i) {
    double v = values[i] == 0 ? 0.0 : values[i];
    unsigned char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    for (unsigned char b : bytes) {
      h ^= b;
      h *= 0x100000001b3ULL;
    }
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}
}  // namespace detail

XYZValue::XYZValue(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {
  const double c[3] = {x, y, z};
  m_hash = detail::hashDoubles(c, 3);
}

std::shared_ptr<XYZValue> XYZValue::valueWithXYZ(const foundation::XYZ& v) {
  return platform::makeObject<XYZValue>(v.x, v.y, v.z);
}
std::shared_ptr<XYZValue> XYZValue::valueWithDoubles(double x, double y, double z) {
  return platform::makeObject<XYZValue>(x, y, z);
}
std::shared_ptr<XYZValue> XYZValue::valueWithDoubles(const double* xyz) {
  return platform::makeObject<XYZValue>(xyz[0], xyz[1], xyz[2]);
}

std::shared_ptr<XYZValue> XYZValue::withComponents(double x, double y, double z) const {
  return platform::makeObject<XYZValue>(x, y, z);
}

platform::Array XYZValue::xyzArray() const { return platform::Array{m_x, m_y, m_z}; }

double XYZValue::abs() const { return std::sqrt(m_x * m_x + m_y * m_y + m_z * m_z); }

std::shared_ptr<XYZValue> XYZValue::cross(const XYZValue& o) const {
  return withComponents(m_y * o.m_z - m_z * o.m_y, m_z * o.m_x - m_x * o.m_z, m_x * o.m_y - m_y * o.m_x);
}

std::shared_ptr<XYZValue> XYZValue::normalizedCross(const XYZValue& o) const {
  const double cx = m_y * o.m_z - m_z * o.m_y, cy = m_z * o.m_x - m_x * o.m_z, cz = m_x * o.m_y - m_y * o.m_x;
  const double length = std::sqrt(cx * cx + cy * cy + cz * cz);
  if (length == 0)
    platform::Exception::raise("NSInternalInconsistencyException",
                               "[%s normalizedCross: %s] can not normalize zero length vector",
                               description().c_str(), o.description().c_str());
  return withComponents(cx / length, cy / length, cz / length);
}

std::shared_ptr<XYZValue> XYZValue::normalized() const {
  const double length = abs();
  if (std::fabs(length - 1) < 1e-15)
    return std::const_pointer_cast<XYZValue>(std::static_pointer_cast<const XYZValue>(shared_from_this()));
  if (length == 0)
    platform::Exception::raise("NSInternalInconsistencyException",
                               "[%s normalized] can not normalize zero length vector", description().c_str());
  return withComponents(m_x / length, m_y / length, m_z / length);
}

std::shared_ptr<XYZValue> XYZValue::scaledBy(double s) const { return withComponents(s * m_x, s * m_y, s * m_z); }
std::shared_ptr<XYZValue> XYZValue::negated() const { return withComponents(-m_x, -m_y, -m_z); }
std::shared_ptr<XYZValue> XYZValue::minus(const XYZValue& o) const {
  return withComponents(m_x - o.m_x, m_y - o.m_y, m_z - o.m_z);
}
std::shared_ptr<XYZValue> XYZValue::plus(const XYZValue& o) const {
  return withComponents(m_x + o.m_x, m_y + o.m_y, m_z + o.m_z);
}
std::shared_ptr<XYZValue> XYZValue::plus(const XYZValue& o, double s) const {
  return withComponents(m_x + s * o.m_x, m_y + s * o.m_y, m_z + s * o.m_z);
}
std::shared_ptr<XYZValue> XYZValue::scaledBy(double a, const XYZValue& o, double b) const {
  return withComponents(a * m_x + b * o.m_x, a * m_y + b * o.m_y, a * m_z + b * o.m_z);
}

std::string XYZValue::description() const { return platform::format("(%g,%g,%g)", m_x, m_y, m_z); }

bool XYZValue::isEqualTo(const platform::Object& other) const {
  const auto* o = dynamic_cast<const XYZValue*>(&other);
  return o && m_x == o->m_x && m_y == o->m_y && m_z == o->m_z;
}

int projectAlongDirectionOntoPlane(const double* p, const double* u, const double* n, double* r, double d) {
  const double s = n[0] * u[0] + n[1] * u[1] + n[2] * u[2];
  if (s == 0) return -1;
  const double t = (d - (n[0] * p[0] + n[1] * p[1] + n[2] * p[2])) / s;
  const double px = p[0], py = p[1], pz = p[2];  // r may alias p
  r[0] = px + t * u[0];
  r[1] = py + t * u[1];
  r[2] = pz + t * u[2];
  return 0;
}

}  // namespace orb::geometry
