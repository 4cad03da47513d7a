#include "geometry/solids/R3Cylinder.h"

#include <cmath>

#include "geometry/solids/Coding.h"
#include "geometry/solids/ConicKernel.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "geometry/solids/Vector3.h"

namespace orb::geometry {

using foundation::XYZ;

R3Cylinder::R3Cylinder(R3PointPtr center, R3PointPtr basisX, R3PointPtr basisY, double radius)
    : m_c(std::move(center)), m_x(std::move(basisX)), m_y(std::move(basisY)), m_r(radius) {
  m_z = R3Point::pointWithXYZ(v3::cross(m_x->xyz(), m_y->xyz()));
}

std::shared_ptr<R3Cylinder> R3Cylinder::cylinderWithCenter(R3PointPtr c, R3PointPtr x, R3PointPtr y, double r) {
  return platform::makeObject<R3Cylinder>(std::move(c), std::move(x), std::move(y), r);
}

std::string R3Cylinder::description() const {
  return platform::format("%s(c=%s,x=%s,y=%s,r=%g)", R3Surface::description().c_str(), m_c->description().c_str(),
                          m_x->description().c_str(), m_y->description().c_str(), m_r);
}

XYZ R3Cylinder::local(const XYZ& p) const {
  const XYZ d = v3::sub(p, m_c->xyz());
  return {v3::dot(d, m_x->xyz()), v3::dot(d, m_y->xyz()), v3::dot(d, m_z->xyz())};
}

R3PointPtr R3Cylinder::testPoint() const { return R3Point::pointWithXYZ(v3::addScaled(m_c->xyz(), m_x->xyz(), m_r)); }

R3PointPtr R3Cylinder::normalForPoint(const XYZValue& p) const {
  const XYZ l = local(p.xyz());
  return R3Point::pointWithXYZ(v3::scale(v3::add(v3::scale(m_x->xyz(), l.x), v3::scale(m_y->xyz(), l.y)), 1 / m_r));
}

R3PointPtr R3Cylinder::closestPointToPoint(const XYZValue& p) const {
  const XYZ l = local(p.xyz());
  const double rho = std::hypot(l.x, l.y), r = std::fabs(m_r);
  XYZ radial = rho == 0 ? v3::scale(m_x->xyz(), r)
                        : v3::scale(v3::add(v3::scale(m_x->xyz(), l.x), v3::scale(m_y->xyz(), l.y)), r / rho);
  return R3Point::pointWithXYZ(v3::add(v3::add(m_c->xyz(), radial), v3::scale(m_z->xyz(), l.z)));
}

double R3Cylinder::distanceToPoint(const XYZValue& p) const {
  const XYZ l = local(p.xyz());
  return std::fabs(std::hypot(l.x, l.y) - std::fabs(m_r));
}

bool R3Cylinder::advancingUponPoint(const XYZValue& p) const {
  const XYZ l = local(p.xyz());
  const double rho2 = l.x * l.x + l.y * l.y;
  return m_r >= 0 ? rho2 > m_r * m_r : rho2 < m_r * m_r;
}

double R3Cylinder::momentForPoint(const XYZValue& p, const XYZValue& d) const {
  const XYZ q = v3::sub(p.xyz(), m_c->xyz());
  return v3::dot(q, v3::cross(d.xyz(), m_z->xyz())) / (v3::norm(d.xyz()) * m_r);
}

std::shared_ptr<R3Quadric> R3Cylinder::quadric() const {
  // ½·s·((u² + v²)/r² − 1) with u = (p − c)·x, v = (p − c)·y: the block M = s(xxᵀ + yyᵀ)/r².
  const double s = m_r >= 0 ? 1 : -1, k = s / (m_r * m_r);
  const XYZ x = m_x->xyz(), y = m_y->xyz(), c = m_c->xyz();
  const double M[3][3] = {{k * (x.x * x.x + y.x * y.x), k * (x.x * x.y + y.x * y.y), k * (x.x * x.z + y.x * y.z)},
                          {0, k * (x.y * x.y + y.y * y.y), k * (x.y * x.z + y.y * y.z)},
                          {0, 0, k * (x.z * x.z + y.z * y.z)}};
  const double sym[3][3] = {{M[0][0], M[0][1], M[0][2]}, {M[0][1], M[1][1], M[1][2]}, {M[0][2], M[1][2], M[2][2]}};
  const XYZ g = {sym[0][0] * c.x + sym[0][1] * c.y + sym[0][2] * c.z,
                 sym[1][0] * c.x + sym[1][1] * c.y + sym[1][2] * c.z,
                 sym[2][0] * c.x + sym[2][1] * c.y + sym[2][2] * c.z};
  QuadricCoefficients q{};
  q.xx = sym[0][0], q.xy = sym[0][1], q.xz = sym[0][2], q.yy = sym[1][1], q.yz = sym[1][2], q.zz = sym[2][2];
  q.xt = -g.x, q.yt = -g.y, q.zt = -g.z;
  q.tt = v3::dot(c, g) - s;
  return R3Quadric::instanceWithCoefficients(q);
}

std::shared_ptr<R3Plane> R3Cylinder::limbPlaneForProjectionPlane(const R3Plane& plane) const {
  return quadric()->limbPlaneForProjectionPlane(plane);
}
std::shared_ptr<R3Plane> R3Cylinder::limbPlaneForObservationPoint(const XYZValue& e) const {
  return quadric()->limbPlaneForObservationPoint(e);
}
std::shared_ptr<R3Plane> R3Cylinder::limbPlaneForObservationPoint(const XYZValue& e, double w) const {
  return quadric()->limbPlaneForObservationPoint(e, w);
}

R3PointArray R3Cylinder::intersectionsWithCurve(const R3Curve& curve) const {
  if (const auto* line = dynamic_cast<const R3Line*>(&curve)) return intersectionsWithLine(*line);
  return {};
}

int R3Cylinder::roots(const R3Line& line, double* t) const {
  const XYZ q = local(line.start());
  const XYZ v = line.directorXYZ();
  const double du = v3::dot(v, m_x->xyz()), dv = v3::dot(v, m_y->xyz());
  if (du == 0 && dv == 0) return 0;
  const double alpha = du * du + dv * dv, beta = 2 * (q.x * du + q.y * dv);
  const double gamma = q.x * q.x + q.y * q.y - m_r * m_r;
  const double D = beta * beta - 4 * alpha * gamma;
  if (!(D > 0)) return 0;
  const double s = std::sqrt(D);
  int n = 0;
  for (double root : {(s - beta) / (2 * alpha), (-beta - s) / (2 * alpha)})
    if (!line.hasEnds() || (0 < root && root < 1)) t[n++] = root;
  return n;
}

R3PointArray R3Cylinder::intersectionsWithLine(const R3Line& line) const {
  double t[2];
  const int n = roots(line, t);
  R3PointArray out;
  for (int i = 0; i < n; ++i) out.push_back(line.pointForParameter(t[i]));
  return out;
}

int R3Cylinder::getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const {
  double t[2];
  const int n = roots(line, t);
  int count = 0;
  for (int i = 0; i < n; ++i) writeParameter(t[i], out, count, capacity);
  return count;
}

std::shared_ptr<R3Ellipse> R3Cylinder::ellipseOfIntersectionWithPlane(const R3Plane& plane) const {
  double n[3] = {plane.a(), plane.b(), plane.c()};
  const XYZ z = m_z->xyz();
  const double axis[3] = {z.x, z.y, z.z};
  double U[3], V[3];
  if (cylinderPlaneSection(n, axis, U, V, std::fabs(m_r)) != 0) return nullptr;
  // The centre: where the axis line meets the plane.
  const XYZ c = m_c->xyz();
  const XYZ N = {plane.a(), plane.b(), plane.c()};
  const double t = (plane.d() - v3::dot(N, c)) / v3::dot(N, z);
  return R3Ellipse::ellipseWithCenter(R3Point::pointWithXYZ(v3::addScaled(c, z, t)), R3Point::pointWithDoubles(U),
                                      R3Point::pointWithDoubles(V));
}

R3CurveArray R3Cylinder::linesOfIntersectionWithParallelPlane(const R3Plane& plane) const {
  const double r = std::fabs(m_r);
  const auto circle = R3Ellipse::ellipseWithCenter(m_c, R3Point::pointWithXYZ(v3::scale(m_x->xyz(), r)),
                                                   R3Point::pointWithXYZ(v3::scale(m_y->xyz(), r)));
  R3CurveArray out;
  for (const auto& p : circle->intersectionsWithPlane(plane)) out.push_back(R3Line::lineWithPoint(p, m_z));
  return out;
}

R3CurveArray R3Cylinder::intersectionsWithPlane(const R3Plane& plane) const {
  if (auto e = ellipseOfIntersectionWithPlane(plane)) return {R3CurvePtr(e)};
  return linesOfIntersectionWithParallelPlane(plane);
}

// --- R3CylinderZ ------------------------------------------------------------------------

R3CylinderZ::R3CylinderZ(double radius)
    : R3Cylinder(R3Point::origin(), R3Point::xAxis(), R3Point::yAxis(), radius) {}

std::shared_ptr<R3CylinderZ> R3CylinderZ::cylinderWithRadius(double radius) {
  return platform::makeObject<R3CylinderZ>(radius);
}

void R3CylinderZ::encodeWithCoder(platform::Coder& coder) const {
  coding::requireKeyedArchiver(coder);
  coder.encodeDouble("r", radius());
}

void R3CylinderZ::initWithCoder(const platform::Coder& coder) {
  coding::requireKeyedArchiver(coder);
  setRadius(coder.decodeDouble("r"));
}

std::string R3CylinderZ::description() const {
  return platform::format("%s(r=%g)", R3Surface::description().c_str(), radius());
}

std::shared_ptr<R3Cylinder> R3CylinderZ::cylinder() const {
  return R3Cylinder::cylinderWithCenter(R3Point::origin(), R3Point::xAxis(), R3Point::yAxis(), radius());
}

std::shared_ptr<R3Plane> R3CylinderZ::limbPlaneForProjectionPlane(const R3Plane& plane) const {
  return R3Plane::planeWithCoefficients(plane.a(), plane.b(), 0, 0);
}

std::shared_ptr<R3Plane> R3CylinderZ::limbPlaneForObservationPoint(const XYZValue& e) const {
  return limbPlaneForObservationPoint(e, 1);
}

std::shared_ptr<R3Plane> R3CylinderZ::limbPlaneForObservationPoint(const XYZValue& e, double w) const {
  const double r2 = radius() * radius();
  return R3Plane::planeWithCoefficients(e.x() / r2, e.y() / r2, 0, w);
}

std::shared_ptr<PolarMap> R3CylinderZ::polarMapForLocus(const R3PointPtr& locus) const {
  return std::make_shared<CylPolarMap>(std::static_pointer_cast<const R3CylinderZ>(shared_from_this()), locus);
}

}  // namespace orb::geometry
