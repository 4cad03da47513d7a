#pragma once

#include <memory>
#include <string>

#include "geometry/solids/Ordering.h"
#include "geometry/values/XYZValue.h"
#include "platform/Exception.h"

namespace orb::geometry {

/// A point with a number (a curve parameter, a quadrature weight), ordered by the number.
class PointAndParameter {
 public:
  PointAndParameter(std::shared_ptr<XYZValue> point, double parameter)
      : m_point(std::move(point)), m_parameter(parameter) {}

  const std::shared_ptr<XYZValue>& point() const { return m_point; }
  double parameter() const { return m_parameter; }

  /// 1 when this parameter is greater, −1 when smaller, else 0 (ascending by parameter,
  /// a NaN parameter after every number, so sorting records is always defined).
  int compare(const PointAndParameter& other) const { return compareNaNLast(m_parameter, other.m_parameter); }
  friend bool operator<(const PointAndParameter& a, const PointAndParameter& b) { return a.compare(b) < 0; }

  /// "%@ (%e)".
  std::string description() const {
    return (m_point ? m_point->description() : std::string("(null)")) + platform::format(" (%e)", m_parameter);
  }

 private:
  std::shared_ptr<XYZValue> m_point;
  double m_parameter;
};

}  // namespace orb::geometry
