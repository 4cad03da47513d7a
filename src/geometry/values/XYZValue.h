#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/objects/XYZ.h"
#include "platform/Object.h"
#include "platform/Value.h"

namespace orb::geometry {

/// An immutable 3-vector as an object, for points and directions that travel through
/// collections, dictionaries and coalescers (where identity matters). Computation uses the
/// plain foundation::XYZ record; this is its shared, hashable form.
///
/// Every operation that makes a new vector makes it of the receiver's own class (through
/// `withComponents`), so arithmetic on an R3Point yields an R3Point.
/// Make instances with the static factories or platform::makeObject.
class XYZValue : public platform::Object {
 public:
  XYZValue() : XYZValue(0, 0, 0) {}
  XYZValue(double x, double y, double z);
  explicit XYZValue(const foundation::XYZ& v) : XYZValue(v.x, v.y, v.z) {}
  /// From three consecutive doubles x, y, z.
  explicit XYZValue(const double* xyz) : XYZValue(xyz[0], xyz[1], xyz[2]) {}

  static std::shared_ptr<XYZValue> valueWithXYZ(const foundation::XYZ& v);
  static std::shared_ptr<XYZValue> valueWithDoubles(double x, double y, double z);
  static std::shared_ptr<XYZValue> valueWithDoubles(const double* xyz);

  /// A new object of the receiver's class with these components.
  virtual std::shared_ptr<XYZValue> withComponents(double x, double y, double z) const;
  std::shared_ptr<XYZValue> withXYZ(const foundation::XYZ& v) const { return withComponents(v.x, v.y, v.z); }
  /// A new instance of the receiver's class with the same components.
  std::shared_ptr<XYZValue> copy() const { return withComponents(m_x, m_y, m_z); }

  double x() const { return m_x; }
  double y() const { return m_y; }
  double z() const { return m_z; }
  foundation::XYZ xyz() const { return {m_x, m_y, m_z}; }
  /// Three double numbers x, y, z.
  platform::Array xyzArray() const;

  double abs() const;
  double dot(const XYZValue& other) const { return m_x * other.m_x + m_y * other.m_y + m_z * other.m_z; }
  std::shared_ptr<XYZValue> cross(const XYZValue& other) const;
  /// The unit cross product; raises NSInternalInconsistencyException when it is zero.
  std::shared_ptr<XYZValue> normalizedCross(const XYZValue& other) const;
  /// The unit vector of the same direction: the receiver itself when already of unit
  /// length to 1e-15; raises NSInternalInconsistencyException for the zero vector.
  std::shared_ptr<XYZValue> normalized() const;
  std::shared_ptr<XYZValue> scaledBy(double s) const;
  std::shared_ptr<XYZValue> negated() const;
  std::shared_ptr<XYZValue> minus(const XYZValue& other) const;
  std::shared_ptr<XYZValue> plus(const XYZValue& other) const;
  /// self + s·other.
  std::shared_ptr<XYZValue> plus(const XYZValue& other, double s) const;
  /// a·self + b·other.
  std::shared_ptr<XYZValue> scaledBy(double a, const XYZValue& other, double b) const;

  /// "(%g,%g,%g)".
  std::string description() const override;
  std::string className() const override { return "XYZValue"; }
  /// Equal to any XYZValue (of any subclass) whose components compare == one by one.
  bool isEqualTo(const platform::Object& other) const override;
  /// Of the component bytes, with −0 read as +0 so that equal values hash alike.
  std::size_t hash() const override { return m_hash; }

 private:
  double m_x, m_y, m_z;
  std::uint64_t m_hash;  // computed once at construction: values never change
};

/// Moves p along u onto the plane n·q = d: r = p + t·u with t = (d − n·p)/(n·u). Returns −1
/// and leaves r untouched when n·u is exactly 0, else 0. r may be p itself.
int projectAlongDirectionOntoPlane(const double* p, const double* u, const double* n, double* r, double d);

namespace detail {
/// A well-mixed hash of `count` doubles' bytes, −0 read as +0.
std::uint64_t hashDoubles(const double* values, int count);
}  // namespace detail

}  // namespace orb::geometry
