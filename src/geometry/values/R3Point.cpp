#include "geometry/values/R3Point.h"

#include <cmath>

#include "platform/Exception.h"

namespace orb::geometry {

std::shared_ptr<R3Point> R3Point::pointWithDoubles(double x, double y, double z) {
  return platform::makeObject<R3Point>(x, y, z);
}
std::shared_ptr<R3Point> R3Point::pointWithDoubles(const double* xyz) {
  return platform::makeObject<R3Point>(xyz[0], xyz[1], xyz[2]);
}
std::shared_ptr<R3Point> R3Point::pointWithXYZ(const foundation::XYZ& v) {
  return platform::makeObject<R3Point>(v.x, v.y, v.z);
}
std::shared_ptr<R3Point> R3Point::origin() { return platform::makeObject<R3Point>(); }
std::shared_ptr<R3Point> R3Point::xAxis() { return platform::makeObject<R3Point>(1, 0, 0); }
std::shared_ptr<R3Point> R3Point::yAxis() { return platform::makeObject<R3Point>(0, 1, 0); }
std::shared_ptr<R3Point> R3Point::zAxis() { return platform::makeObject<R3Point>(0, 0, 1); }

std::shared_ptr<R3Point> R3Point::averageOfPoints(const std::vector<std::shared_ptr<XYZValue>>& points) {
  double sx = 0, sy = 0, sz = 0, count = 0;
  for (const auto& p : points) {
    sx += p->x();
    sy += p->y();
    sz += p->z();
    count += 1;
  }
  return platform::makeObject<R3Point>(sx / count, sy / count, sz / count);
}

std::shared_ptr<XYZValue> R3Point::withComponents(double x, double y, double z) const {
  return platform::makeObject<R3Point>(x, y, z);
}

std::string R3Point::description() const { return platform::format("(%.2f,%.2f,%.2f)", x(), y(), z()); }
std::string R3Point::preciseDescription() const {
  return platform::format("(%.15e,%.15e,%.15e)", x(), y(), z());
}

std::shared_ptr<R3Point> R3Point::projectionOntoPlane(const PlaneEquation& plane) const {
  double r[3] = {x(), y(), z()};
  const double n[3] = {plane.a, plane.b, plane.c};
  projectAlongDirectionOntoPlane(r, n, n, r, plane.d);
  return pointWithDoubles(r);
}

std::shared_ptr<R3Point> R3Point::radialProjectionOntoPlane(const PlaneEquation& plane) const {
  const double s = plane.d / (plane.a * x() + plane.b * y() + plane.c * z());
  return pointWithDoubles(s * x(), s * y(), s * z());
}

std::shared_ptr<R3Point> R3Point::orthogonalUnitVector() const {
  int axis = 0;
  double smallest = std::fabs(x());
  if (smallest > std::fabs(y())) {
    axis = 1;
    smallest = std::fabs(y());
  }
  if (smallest > std::fabs(z())) axis = 2;
  const double e[3] = {axis == 0 ? 1.0 : 0.0, axis == 1 ? 1.0 : 0.0, axis == 2 ? 1.0 : 0.0};
  const double cx = y() * e[2] - z() * e[1], cy = z() * e[0] - x() * e[2], cz = x() * e[1] - y() * e[0];
  const double length = std::sqrt(cx * cx + cy * cy + cz * cz);
  return pointWithDoubles(cx / length, cy / length, cz / length);
}

}  // namespace orb::geometry
