#include "geometry/solids/R3Ellipsoid.h"

#include <cmath>

#include "geometry/solids/ConicKernel.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "geometry/solids/Vector3.h"
#include "geometry/values/GeometryDebug.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

using foundation::XYZ;

namespace {

/// The polar section in local coordinates: centre and the (shorter, longer) axes, or
/// failure.
bool localSection(const XYZ& axes, const XYZ& pole, double h, XYZ& centre, XYZ& minor, XYZ& major) {
  const double semi[3] = {axes.x, axes.y, axes.z}, p[3] = {pole.x, pole.y, pole.z};
  double g[3], m[3], a1[3], a2[3];
  if (ellipsoidPolarSection(semi, p, g, m, a1, a2, h) != 0) return false;
  centre = {m[0], m[1], m[2]};
  major = {a1[0], a1[1], a1[2]};
  minor = {a2[0], a2[1], a2[2]};
  return true;
}

}  // namespace

R3Ellipsoid::R3Ellipsoid(R3PointPtr center, R3PointPtr u, R3PointPtr v, R3PointPtr w)
    : m_center(std::move(center)), m_u(std::move(u)), m_v(std::move(v)), m_w(std::move(w)) {
  m_a = m_u->abs(), m_b = m_v->abs(), m_c = m_w->abs();
}

std::shared_ptr<R3Ellipsoid> R3Ellipsoid::ellipsoidWithCenter(R3PointPtr c, R3PointPtr u, R3PointPtr v, R3PointPtr w) {
  return platform::makeObject<R3Ellipsoid>(std::move(c), std::move(u), std::move(v), std::move(w));
}

std::shared_ptr<R3Ellipsoid> R3Ellipsoid::ellipsoidWithRadii(double a, double b, double c) {
  return ellipsoidWithCenter(R3Point::origin(), R3Point::pointWithDoubles(a, 0, 0), R3Point::pointWithDoubles(0, b, 0),
                             R3Point::pointWithDoubles(0, 0, c));
}

std::shared_ptr<R3Ellipsoid> R3Ellipsoid::unitSphere() { return ellipsoidWithRadii(1, 1, 1); }

std::shared_ptr<R3Ellipsoid> R3Ellipsoid::unitSphereWithCenter(R3PointPtr center) { return sphereWithCenter(center, 1); }

std::shared_ptr<R3Ellipsoid> R3Ellipsoid::sphereWithCenter(R3PointPtr center, double r) {
  return ellipsoidWithCenter(std::move(center), R3Point::pointWithDoubles(r, 0, 0), R3Point::pointWithDoubles(0, r, 0),
                             R3Point::pointWithDoubles(0, 0, r));
}

std::shared_ptr<R3Ellipsoid> R3Ellipsoid::sphereWithRadius(double r) { return sphereWithCenter(R3Point::origin(), r); }

std::string R3Ellipsoid::description() const {
  return platform::format("%s(c=%s,u=%s,v=%s,w=%s)", R3Surface::description().c_str(),
                          m_center->description().c_str(), m_u->description().c_str(), m_v->description().c_str(),
                          m_w->description().c_str());
}

XYZ R3Ellipsoid::localDirection(const XYZ& d) const {
  return {v3::dot(d, m_u->xyz()) / m_a, v3::dot(d, m_v->xyz()) / m_b, v3::dot(d, m_w->xyz()) / m_c};
}

XYZ R3Ellipsoid::local(const XYZ& p) const { return localDirection(v3::sub(p, m_center->xyz())); }

R3PointPtr R3Ellipsoid::testPoint() const { return R3Point::pointWithXYZ(v3::add(m_center->xyz(), m_u->xyz())); }

R3PointPtr R3Ellipsoid::normalForPoint(const XYZValue& p) const {
  const XYZ l = local(p.xyz());
  const XYZ n = v3::add(v3::add(v3::scale(m_u->xyz(), l.x / (m_a * m_a * m_a)), v3::scale(m_v->xyz(), l.y / (m_b * m_b * m_b))),
                        v3::scale(m_w->xyz(), l.z / (m_c * m_c * m_c)));
  return R3Point::pointWithXYZ(v3::normalize(n));
}

bool R3Ellipsoid::advancingUponPoint(const XYZValue& p) const { return quadric()->advancingUponPoint(p); }

std::shared_ptr<R3Quadric> R3Ellipsoid::quadric() const {
  const double s = m_inverted ? -1 : 1;
  double M[3][3] = {};
  for (const auto& axis : {m_u->xyz(), m_v->xyz(), m_w->xyz()}) {
    const double k = s / (v3::dot(axis, axis) * v3::dot(axis, axis));
    const double e[3] = {axis.x, axis.y, axis.z};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) M[i][j] += k * e[i] * e[j];
  }
  const XYZ c = m_center->xyz();
  const XYZ g = {M[0][0] * c.x + M[0][1] * c.y + M[0][2] * c.z, M[1][0] * c.x + M[1][1] * c.y + M[1][2] * c.z,
                 M[2][0] * c.x + M[2][1] * c.y + M[2][2] * c.z};
  QuadricCoefficients q{};
  q.xx = M[0][0], q.xy = M[0][1], q.xz = M[0][2], q.yy = M[1][1], q.yz = M[1][2], q.zz = M[2][2];
  q.xt = -g.x, q.yt = -g.y, q.zt = -g.z, q.tt = v3::dot(c, g) - s;
  return R3Quadric::instanceWithCoefficients(q);
}

R3PointArray R3Ellipsoid::intersectionsWithLine(const R3Line& line) const { return quadric()->intersectionsWithLine(line); }

std::vector<double> R3Ellipsoid::intersectionParametersForLine(const R3Line& line) const {
  return quadric()->intersectionParametersForLine(line);
}

int R3Ellipsoid::getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const {
  return quadric()->getIntersectionParametersForLine(line, out, capacity);
}

std::shared_ptr<R3Plane> R3Ellipsoid::limbPlaneForProjectionPlane(const R3Plane& plane) const {
  return quadric()->limbPlaneForProjectionPlane(plane);
}
std::shared_ptr<R3Plane> R3Ellipsoid::limbPlaneForObservationPoint(const XYZValue& e) const {
  return quadric()->limbPlaneForObservationPoint(e);
}
std::shared_ptr<R3Plane> R3Ellipsoid::limbPlaneForObservationPoint(const XYZValue& e, double w) const {
  return quadric()->limbPlaneForObservationPoint(e, w);
}

R3PointPtr R3Ellipsoid::closestPointToPoint(const XYZValue& p) const {
  const XYZ l = local(p.xyz());
  double x, y, z;
  closestPointOnEllipsoid(&x, &y, &z, m_a, m_b, m_c, l.x, l.y, l.z);
  const XYZ q = v3::add(m_center->xyz(), v3::add(v3::add(v3::scale(m_u->xyz(), x / m_a), v3::scale(m_v->xyz(), y / m_b)),
                                                 v3::scale(m_w->xyz(), z / m_c)));
  return R3Point::pointWithXYZ(q);
}

std::shared_ptr<PolarMap> R3Ellipsoid::polarMapForLocus(const R3PointPtr& locus) const {
  return std::make_shared<EllipsoidPolarMap>(std::static_pointer_cast<const R3Ellipsoid>(shared_from_this()), locus);
}

std::shared_ptr<R3Ellipse> R3Ellipsoid::section(const XYZ& pole, double h) const {
  XYZ m, minor, major;
  if (!localSection({m_a, m_b, m_c}, pole, h, m, minor, major))
    throw platform::Exception("R3Ellipsoid", "EllipsoidLimb failed");
  const auto out = [&](const XYZ& l) {
    return v3::add(v3::add(v3::scale(m_u->xyz(), l.x / m_a), v3::scale(m_v->xyz(), l.y / m_b)),
                   v3::scale(m_w->xyz(), l.z / m_c));
  };
  return R3Ellipse::ellipseWithCenter(R3Point::pointWithXYZ(v3::add(m_center->xyz(), out(m))),
                                      R3Point::pointWithXYZ(out(minor)), R3Point::pointWithXYZ(out(major)));
}

std::shared_ptr<R3Ellipse> R3Ellipsoid::limbForProjectionPlane(const R3Plane& plane) const {
  return section(localDirection({plane.a(), plane.b(), plane.c()}), 0);
}

std::shared_ptr<R3Ellipse> R3Ellipsoid::limbForObservationPoint(const XYZValue& e) const {
  return section(local(e.xyz()), 1);
}

std::shared_ptr<R3Ellipse> R3Ellipsoid::limbForObservationPoint(const XYZValue& e, double w) const {
  return section(local(e.xyz()), w);
}

std::shared_ptr<R3Ellipse> R3Ellipsoid::ellipseOfIntersectionWithPlane(const R3Plane& plane) const {
  const XYZ N = {plane.a(), plane.b(), plane.c()};
  const XYZ n = localDirection(N);
  const double d = plane.d() - v3::dot(N, m_center->xyz());
  return section({n.x * m_a * m_a, n.y * m_b * m_b, n.z * m_c * m_c}, d);
}

// --- R3EllipsoidAA -----------------------------------------------------------------------

std::shared_ptr<R3EllipsoidAA> R3EllipsoidAA::ellipsoidWithRadii(double a, double b, double c) {
  return platform::makeObject<R3EllipsoidAA>(a, b, c);
}

std::string R3EllipsoidAA::description() const {
  return platform::format("%s(a=%g,b=%g,c=%g)", R3Surface::description().c_str(), m_a, m_b, m_c);
}

std::shared_ptr<R3Ellipsoid> R3EllipsoidAA::ellipsoid() const { return R3Ellipsoid::ellipsoidWithRadii(m_a, m_b, m_c); }

R3PointPtr R3EllipsoidAA::testPoint() const { return R3Point::pointWithDoubles(m_a, 0, 0); }

R3PointPtr R3EllipsoidAA::normalForPoint(const XYZValue& p) const {
  return R3Point::pointWithXYZ(v3::normalize({p.x() / (m_a * m_a), p.y() / (m_b * m_b), p.z() / (m_c * m_c)}));
}

bool R3EllipsoidAA::advancingUponPoint(const XYZValue& p) const {
  const double q = p.x() * p.x() / (m_a * m_a) + p.y() * p.y() / (m_b * m_b) + p.z() * p.z() / (m_c * m_c);
  return m_inverted ? q < 1 : q > 1;
}

std::shared_ptr<R3Quadric> R3EllipsoidAA::quadric() const {
  const double s = m_inverted ? -1 : 1;
  QuadricCoefficients q{};
  q.xx = s / (m_a * m_a), q.yy = s / (m_b * m_b), q.zz = s / (m_c * m_c), q.tt = -s;
  return R3Quadric::instanceWithCoefficients(q);
}

R3PointArray R3EllipsoidAA::intersectionsWithLine(const R3Line& line) const {
  return quadric()->intersectionsWithLine(line);
}

std::vector<double> R3EllipsoidAA::intersectionParametersForLine(const R3Line& line) const {
  return quadric()->intersectionParametersForLine(line);
}

int R3EllipsoidAA::getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const {
  return quadric()->getIntersectionParametersForLine(line, out, capacity);
}

std::shared_ptr<R3Plane> R3EllipsoidAA::limbPlaneForProjectionPlane(const R3Plane& plane) const {
  return R3Plane::planeWithCoefficients(plane.a() / (m_a * m_a), plane.b() / (m_b * m_b), plane.c() / (m_c * m_c), 0);
}

std::shared_ptr<R3Plane> R3EllipsoidAA::limbPlaneForObservationPoint(const XYZValue& e) const {
  return R3Plane::planeWithCoefficients(e.x() / (m_a * m_a), e.y() / (m_b * m_b), e.z() / (m_c * m_c), 1);
}

R3PointPtr R3EllipsoidAA::closestPointToPoint(const XYZValue& p) const {
  double x, y, z;
  closestPointOnEllipsoid(&x, &y, &z, m_a, m_b, m_c, p.x(), p.y(), p.z());
  return R3Point::pointWithDoubles(x, y, z);
}

void R3EllipsoidAA::getCurvatureMatrix(double* M, double* offset, const XYZ& position) const {
  const double values[9] = {1 / (m_a * m_a), 0, 0, 0, 1 / (m_b * m_b), 0, 0, 0, 1 / (m_c * m_c)};
  std::copy(values, values + 9, M);
  offset[0] = position.x, offset[1] = position.y, offset[2] = position.z;
}

std::shared_ptr<R3Ellipse> R3EllipsoidAA::section(const XYZ& pole, double h) const {
  XYZ m, minor, major;
  if (!localSection({m_a, m_b, m_c}, pole, h, m, minor, major))
    throw platform::Exception("R3EllipsoidAA", "EllipsoidLimb failed");
  return R3Ellipse::ellipseWithCenter(R3Point::pointWithXYZ(m), R3Point::pointWithXYZ(minor),
                                      R3Point::pointWithXYZ(major));
}

std::shared_ptr<R3Ellipse> R3EllipsoidAA::limbForProjectionPlane(const R3Plane& plane) const {
  return section({plane.a(), plane.b(), plane.c()}, 0);
}

std::shared_ptr<R3Ellipse> R3EllipsoidAA::ellipseOfIntersectionWithPlane(const R3Plane& plane) const {
  return section({plane.a() * m_a * m_a, plane.b() * m_b * m_b, plane.c() * m_c * m_c}, plane.d());
}

}  // namespace orb::geometry
