#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/objects/XY.h"
#include "platform/Object.h"
#include "platform/Value.h"

namespace orb::geometry {

/// An immutable 2-vector as an object: parameter-plane coordinates answered by surface
/// and polar maps. Equality is exact per component; the hash is computed once.
class XYValue : public platform::Object {
 public:
  XYValue() : XYValue(0, 0) {}
  XYValue(double x, double y);
  explicit XYValue(const foundation::XY& xy) : XYValue(xy.x, xy.y) {}

  static std::shared_ptr<XYValue> valueWithXY(const foundation::XY& xy);
  static std::shared_ptr<XYValue> valueWithDoubles(double x, double y);

  double x() const { return m_xy.x; }
  double y() const { return m_xy.y; }
  foundation::XY xy() const { return m_xy; }
  double abs() const;
  /// Two double numbers x, y.
  platform::Array xyArray() const;

  /// "(%g,%g)".
  std::string description() const override;
  std::string className() const override { return "XYValue"; }
  bool isEqualTo(const platform::Object& other) const override;
  std::size_t hash() const override { return m_hash; }

 private:
  foundation::XY m_xy;
  std::uint64_t m_hash;
};

/// A small mutable holder of an XY.
class WrappedXY : public platform::Object {
 public:
  explicit WrappedXY(const foundation::XY& xy = {0, 0}) : m_xy(xy) {}
  static std::shared_ptr<WrappedXY> wrap(const foundation::XY& xy);

  void setXY(const foundation::XY& xy) { m_xy = xy; }
  foundation::XY xy() const { return m_xy; }
  double x() const { return m_xy.x; }
  double y() const { return m_xy.y; }
  /// "%g<>%g".
  std::string description() const override;
  std::string className() const override { return "WrappedXY"; }

 private:
  foundation::XY m_xy;
};

}  // namespace orb::geometry
