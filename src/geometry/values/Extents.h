#pragma once

#include <memory>
#include <string>

#include "foundation/objects/XYZ.h"
#include "geometry/values/BoxProtocol.h"
#include "platform/Object.h"

namespace orb::geometry {

class MutableExtents;

/// An axis-aligned bounding box: the box of a surface's shape, of a layout, of a DXF file.
/// `active` says whether the box holds anything; a new box has all bounds 0 and is inactive.
/// Queries read the stored bounds whether active or not. Keyed-archived as "Extents".
class Extents : public platform::Object, public BoxProtocol {
 public:
  Extents() = default;
  /// The cube [c − r, c + r] on every axis, active.
  Extents(const foundation::XYZ& center, double inscribedRadius);
  /// min = corner, max = corner + size per axis, active; a negative size leaves min > max
  /// on that axis until MutableExtents::orient.
  static std::shared_ptr<Extents> withCorner(const foundation::XYZ& corner, const foundation::XYZ& size);
  /// A copy of another box's bounds and `active`.
  explicit Extents(const Extents& other);

  static std::shared_ptr<Extents> extents();
  static std::shared_ptr<Extents> extentsWithCenter(const foundation::XYZ& center, double inscribedRadius);
  static std::shared_ptr<Extents> extentsWithCorner(const foundation::XYZ& corner, const foundation::XYZ& size) {
    return withCorner(corner, size);
  }

  /// A new box of the receiver's own class with the same contents.
  virtual std::shared_ptr<Extents> copy() const;
  std::shared_ptr<MutableExtents> mutableCopy() const;

  double xMin() const override { return m_xMin; }
  double xMax() const override { return m_xMax; }
  double yMin() const override { return m_yMin; }
  double yMax() const override { return m_yMax; }
  double zMin() const override { return m_zMin; }
  double zMax() const override { return m_zMax; }
  bool active() const { return m_active; }

  double xRange() const { return m_xMax - m_xMin; }
  double yRange() const { return m_yMax - m_yMin; }
  double zRange() const { return m_zMax - m_zMin; }
  /// Half the largest range.
  double radius() const;
  /// Half the diagonal.
  double circumscribedRadius() const;
  double volume() const { return xRange() * yRange() * zRange(); }
  foundation::XYZ center() const;
  /// Closed box: a point on a face is inside.
  bool containsPoint(const foundation::XYZ& p) const;
  /// Strictly inside the box widened by `fuzz` on every side.
  bool containsPoint(const foundation::XYZ& p, double fuzz) const;

  /// "x(%g,%g)y(%g,%g)z(%g,%g)".
  std::string description() const override;
  std::string className() const override { return "Extents"; }

  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 protected:
  void copyFrom(const Extents& other);

  double m_xMin = 0, m_xMax = 0, m_yMin = 0, m_yMax = 0, m_zMin = 0, m_zMax = 0;
  bool m_active = false;
};

/// The growing form: starts empty and absorbs points and boxes; the first point sets all
/// six bounds, later ones only widen them. Keyed-archived as "MutableExtents".
class MutableExtents : public Extents {
 public:
  using Extents::Extents;
  MutableExtents() = default;
  explicit MutableExtents(const Extents& other) : Extents(other) {}

  static std::shared_ptr<MutableExtents> extents();

  std::shared_ptr<Extents> copy() const override;

  /// Each setter stores the bound and makes the box active (the other bounds stay as they are).
  void setXMin(double v);
  void setXMax(double v);
  void setYMin(double v);
  void setYMax(double v);
  void setZMin(double v);
  void setZMax(double v);

  void absorbPoint(const foundation::XYZ& p) { absorb(p.x, p.y, p.z); }
  void absorb(double x, double y, double z);
  void absorbDoubles(const double* xyz) { absorb(xyz[0], xyz[1], xyz[2]); }
  /// Grows to contain another box. An inactive box holds nothing and changes nothing.
  void absorbExtents(const Extents& other);
  /// Swaps min and max on every axis where min > max.
  void orient();

  std::string className() const override { return "MutableExtents"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  void setBound(const char* key, double& bound, double v);
  void setAll(double x0, double x1, double y0, double y1, double z0, double z1, bool active);
};

}  // namespace orb::geometry
