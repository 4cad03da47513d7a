#include "geometry/values/XYValue.h"

#include <cmath>

#include "geometry/values/XYZValue.h"
#include "platform/Exception.h"

namespace orb::geometry {

XYValue::XYValue(double x, double y) : m_xy{x, y} {
  const double c[2] = {x, y};
  m_hash = detail::hashDoubles(c, 2);
}

std::shared_ptr<XYValue> XYValue::valueWithXY(const foundation::XY& xy) { return platform::makeObject<XYValue>(xy); }
std::shared_ptr<XYValue> XYValue::valueWithDoubles(double x, double y) {
  return platform::makeObject<XYValue>(x, y);
}

double XYValue::abs() const { return std::sqrt(m_xy.x * m_xy.x + m_xy.y * m_xy.y); }
platform::Array XYValue::xyArray() const { return platform::Array{m_xy.x, m_xy.y}; }
std::string XYValue::description() const { return platform::format("(%g,%g)", m_xy.x, m_xy.y); }

bool XYValue::isEqualTo(const platform::Object& other) const {
  const auto* o = dynamic_cast<const XYValue*>(&other);
  return o && m_xy.x == o->m_xy.x && m_xy.y == o->m_xy.y;
}

std::shared_ptr<WrappedXY> WrappedXY::wrap(const foundation::XY& xy) { return platform::makeObject<WrappedXY>(xy); }
std::string WrappedXY::description() const { return platform::format("%g<>%g", m_xy.x, m_xy.y); }

}  // namespace orb::geometry
