#include "lens/CoordinateBreak.h"

#include "geometry/values/Extents.h"

#include <algorithm>
#include <cmath>

namespace orb::lens {

using foundation::TransformationMatrix;
using foundation::TransformStack;

const std::vector<std::string>& CoordinateBreak::parameterTitleArray() const {
  static const std::vector<std::string> titles{"dx", "dy", "rx", "ry", "rz", "order"};
  return titles;
}

void CoordinateBreak::initWithSurface(const Surface& other) {
  Surface::initWithSurface(other);
  setGlass(nullptr);
  setGlassSolveType(0);
  setIsMirror(false);
}

std::shared_ptr<Surface> CoordinateBreak::makeEmpty() const { return platform::makeObject<CoordinateBreak>(); }

void CoordinateBreak::setRx(double degrees) {
  if (auto p = parameterForTitle("rx")) p->setValue(degrees);
}

void CoordinateBreak::parametersDidChange() {
  Surface::parametersDidChange();
  m_dx = parameterValue("dx").value_or(0);
  m_dy = parameterValue("dy").value_or(0);
  m_rx = parameterValue("rx").value_or(0);
  m_ry = parameterValue("ry").value_or(0);
  m_rz = parameterValue("rz").value_or(0);
  // The order is a code; a stored 0.9 is not "order 1".
  const double order = parameterValue("order").value_or(0);
  m_order = std::isfinite(order) ? static_cast<int>(std::clamp(order, -1e6, 1e6)) : 0;  // bounded: UB past int
}

std::shared_ptr<geometry::MutableExtents> CoordinateBreak::extents() const {
  return platform::makeObject<geometry::MutableExtents>(*geometry::Extents::extentsWithCenter({0, 0, 0}, semidiameter()));
}

void CoordinateBreak::implementCoordinateBreak(TransformStack& stack) const {
  composeCoordinateBreak(stack, m_dx, m_dy, m_rx, m_ry, m_rz, m_order);
}

void composeCoordinateBreak(TransformStack& stack, double dx, double dy, double rx, double ry, double rz, int order) {
  // Build the break on a node of its own, then compose it onto the frame below: the
  // stack keeps the node's storage, so repeated layouts do not allocate.
  xformPush(stack);
  xformLoadIdentity(stack);
  // The stack's rotations turn the other way round from the break's angles.
  if (order != 0) {
    xformTranslate(stack, {dx, dy, 0});
    xformRotateX(stack, -rx);
    xformRotateY(stack, -ry);
    xformRotateZ(stack, -rz);
  } else {
    xformRotateZ(stack, -rz);
    xformRotateY(stack, -ry);
    xformRotateX(stack, -rx);
    xformTranslate(stack, {dx, dy, 0});
  }
  TransformationMatrix forward, inverse;
  xformGetTop(stack, &forward, &inverse);
  xformPop(stack);
  xformConcat(stack, forward, inverse);
}

}  // namespace orb::lens
