#include "geometry/values/Extents.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/Coder.h"
#include "platform/Exception.h"

namespace orb::geometry {

using foundation::XYZ;
using platform::KeyEntry;
using platform::KeyTable;
using platform::Object;
using platform::Value;

Extents::Extents(const XYZ& c, double r)
    : m_xMin(c.x - r), m_xMax(c.x + r), m_yMin(c.y - r), m_yMax(c.y + r), m_zMin(c.z - r), m_zMax(c.z + r),
      m_active(true) {}

Extents::Extents(const Extents& other) : Object(), BoxProtocol() { copyFrom(other); }

void Extents::copyFrom(const Extents& o) {
  m_xMin = o.xMin();
  m_xMax = o.xMax();
  m_yMin = o.yMin();
  m_yMax = o.yMax();
  m_zMin = o.zMin();
  m_zMax = o.zMax();
  m_active = o.active();
}

std::shared_ptr<Extents> Extents::extents() { return platform::makeObject<Extents>(); }

std::shared_ptr<Extents> Extents::extentsWithCenter(const XYZ& center, double inscribedRadius) {
  return platform::makeObject<Extents>(center, inscribedRadius);
}

std::shared_ptr<Extents> Extents::withCorner(const XYZ& corner, const XYZ& size) {
  auto e = platform::makeObject<Extents>();
  e->m_xMin = corner.x;
  e->m_xMax = corner.x + size.x;
  e->m_yMin = corner.y;
  e->m_yMax = corner.y + size.y;
  e->m_zMin = corner.z;
  e->m_zMax = corner.z + size.z;
  e->m_active = true;
  return e;
}

std::shared_ptr<Extents> Extents::copy() const { return platform::makeObject<Extents>(*this); }

std::shared_ptr<MutableExtents> Extents::mutableCopy() const { return platform::makeObject<MutableExtents>(*this); }

double Extents::radius() const { return 0.5 * std::max({xRange(), yRange(), zRange()}); }

double Extents::circumscribedRadius() const {
  return 0.5 * std::sqrt(xRange() * xRange() + yRange() * yRange() + zRange() * zRange());
}

XYZ Extents::center() const { return {(m_xMin + m_xMax) / 2, (m_yMin + m_yMax) / 2, (m_zMin + m_zMax) / 2}; }

bool Extents::containsPoint(const XYZ& p) const {
  return m_xMin <= p.x && p.x <= m_xMax && m_yMin <= p.y && p.y <= m_yMax && m_zMin <= p.z && p.z <= m_zMax;
}

bool Extents::containsPoint(const XYZ& p, double f) const {
  return m_xMin - f < p.x && p.x < m_xMax + f && m_yMin - f < p.y && p.y < m_yMax + f && m_zMin - f < p.z &&
         p.z < m_zMax + f;
}

std::string Extents::description() const {
  return platform::format("x(%g,%g)y(%g,%g)z(%g,%g)", m_xMin, m_xMax, m_yMin, m_yMax, m_zMin, m_zMax);
}

void Extents::encodeWithCoder(platform::Coder& coder) const {
  coder.encodeDouble("xMin", m_xMin);
  coder.encodeDouble("xMax", m_xMax);
  coder.encodeDouble("yMin", m_yMin);
  coder.encodeDouble("yMax", m_yMax);
  coder.encodeDouble("zMin", m_zMin);
  coder.encodeDouble("zMax", m_zMax);
  coder.encodeBool("active", m_active);
}

void Extents::initWithCoder(const platform::Coder& coder) {
  m_xMin = coder.decodeDouble("xMin");
  m_xMax = coder.decodeDouble("xMax");
  m_yMin = coder.decodeDouble("yMin");
  m_yMax = coder.decodeDouble("yMax");
  m_zMin = coder.decodeDouble("zMin");
  m_zMax = coder.decodeDouble("zMax");
  m_active = coder.decodeBool("active");
}

namespace {

KeyEntry boundKey(std::string key, double (Extents::*get)() const) {
  KeyEntry e;
  e.key = std::move(key);
  e.get = [get](const Object& o) { return Value((static_cast<const Extents&>(o).*get)()); };
  return e;
}

KeyEntry rangeKey(std::string key, double (Extents::*get)() const, std::string lo, std::string hi) {
  return boundKey(std::move(key), get).dependsOn({std::move(lo), std::move(hi)});
}

KeyEntry settableBound(std::string key, double (Extents::*get)() const, void (MutableExtents::*set)(double)) {
  KeyEntry e = boundKey(std::move(key), get);
  e.set = [set](Object& o, const Value& v) { (static_cast<MutableExtents&>(o).*set)(v.asDouble()); };
  return e;
}

}  // namespace

const KeyTable& Extents::classKeys() {
  static const KeyTable table(
      &Object::classKeys(),
      {boundKey("xMin", &Extents::xMin), boundKey("xMax", &Extents::xMax), boundKey("yMin", &Extents::yMin),
       boundKey("yMax", &Extents::yMax), boundKey("zMin", &Extents::zMin), boundKey("zMax", &Extents::zMax),
       [] {
         KeyEntry e;
         e.key = "active";
         e.get = [](const Object& o) { return Value(static_cast<const Extents&>(o).active()); };
         return e;
       }(),
       rangeKey("xRange", &Extents::xRange, "xMin", "xMax"), rangeKey("yRange", &Extents::yRange, "yMin", "yMax"),
       rangeKey("zRange", &Extents::zRange, "zMin", "zMax")});
  return table;
}

// --- MutableExtents ----------------------------------------------------------------------

std::shared_ptr<MutableExtents> MutableExtents::extents() { return platform::makeObject<MutableExtents>(); }

std::shared_ptr<Extents> MutableExtents::copy() const { return platform::makeObject<MutableExtents>(*this); }

const KeyTable& MutableExtents::classKeys() {
  static const KeyTable table(
      &Extents::classKeys(),
      {settableBound("xMin", &Extents::xMin, &MutableExtents::setXMin),
       settableBound("xMax", &Extents::xMax, &MutableExtents::setXMax),
       settableBound("yMin", &Extents::yMin, &MutableExtents::setYMin),
       settableBound("yMax", &Extents::yMax, &MutableExtents::setYMax),
       settableBound("zMin", &Extents::zMin, &MutableExtents::setZMin),
       settableBound("zMax", &Extents::zMax, &MutableExtents::setZMax)});
  return table;
}

void MutableExtents::setBound(const char* key, double& bound, double v) {
  const bool activates = !m_active;
  if (activates) willChangeValueForKey("active");
  willChangeValueForKey(key);
  bound = v;
  m_active = true;
  didChangeValueForKey(key);
  if (activates) didChangeValueForKey("active");
}

void MutableExtents::setXMin(double v) { setBound("xMin", m_xMin, v); }
void MutableExtents::setXMax(double v) { setBound("xMax", m_xMax, v); }
void MutableExtents::setYMin(double v) { setBound("yMin", m_yMin, v); }
void MutableExtents::setYMax(double v) { setBound("yMax", m_yMax, v); }
void MutableExtents::setZMin(double v) { setBound("zMin", m_zMin, v); }
void MutableExtents::setZMax(double v) { setBound("zMax", m_zMax, v); }

// Absorbing is on the path of every surface's extents computation: a bound is announced
// only when it moves, which costs one atomic load when nobody observes the box.
void MutableExtents::absorb(double x, double y, double z) {
  if (!m_active) {
    setAll(x, x, y, y, z, z, true);
    return;
  }
  if (m_xMin > x)
    setAndAnnounce("xMin", m_xMin, x);
  else if (x > m_xMax)
    setAndAnnounce("xMax", m_xMax, x);
  if (m_yMin > y)
    setAndAnnounce("yMin", m_yMin, y);
  else if (y > m_yMax)
    setAndAnnounce("yMax", m_yMax, y);
  if (m_zMin > z)
    setAndAnnounce("zMin", m_zMin, z);
  else if (z > m_zMax)
    setAndAnnounce("zMax", m_zMax, z);
}

void MutableExtents::absorbExtents(const Extents& b) {
  if (!b.active()) return;  // an empty box has nothing to add; its stored zeros are no points
  if (!m_active) {
    setAll(b.xMin(), b.xMax(), b.yMin(), b.yMax(), b.zMin(), b.zMax(), true);
    return;
  }
  if (m_xMin > b.xMin()) setAndAnnounce("xMin", m_xMin, b.xMin());
  if (b.xMax() > m_xMax) setAndAnnounce("xMax", m_xMax, b.xMax());
  if (m_yMin > b.yMin()) setAndAnnounce("yMin", m_yMin, b.yMin());
  if (b.yMax() > m_yMax) setAndAnnounce("yMax", m_yMax, b.yMax());
  if (m_zMin > b.zMin()) setAndAnnounce("zMin", m_zMin, b.zMin());
  if (b.zMax() > m_zMax) setAndAnnounce("zMax", m_zMax, b.zMax());
}

void MutableExtents::setAll(double x0, double x1, double y0, double y1, double z0, double z1, bool active) {
  static const char* const kKeys[] = {"xMin", "xMax", "yMin", "yMax", "zMin", "zMax", "active"};
  for (const char* k : kKeys) willChangeValueForKey(k);
  m_xMin = x0;
  m_xMax = x1;
  m_yMin = y0;
  m_yMax = y1;
  m_zMin = z0;
  m_zMax = z1;
  m_active = active;
  for (const char* k : kKeys) didChangeValueForKey(k);
}

void MutableExtents::orient() {
  if (m_xMin > m_xMax || m_yMin > m_yMax || m_zMin > m_zMax)
    setAll(std::min(m_xMin, m_xMax), std::max(m_xMin, m_xMax), std::min(m_yMin, m_yMax), std::max(m_yMin, m_yMax),
           std::min(m_zMin, m_zMax), std::max(m_zMin, m_zMax), m_active);
}

}  // namespace orb::geometry
