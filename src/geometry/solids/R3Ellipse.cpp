#include "geometry/solids/R3Ellipse.h"

#include <cmath>

#include "geometry/solids/Coding.h"
#include "geometry/solids/ConicKernel.h"
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

bool regenerates(const XYZ& a, const XYZ& b) {
  return std::fabs(a.x - b.x) <= 0.0001 && std::fabs(a.y - b.y) <= 0.0001 && std::fabs(a.z - b.z) <= 0.0001;
}

/// The solutions (cos θ, sin θ) of a·cos θ − b·sin θ = k, in the order that puts
/// cos = (a·k + |b|·w)/R first, w = √(R − k²). Written without dividing by b so that a
/// configuration with b = 0 is answered too. None when |k| ≥ √R (or R = 0), unless
/// `touching`, which then answers the nearest direction twice.
int solveCosSin(double a, double b, double k, bool touching, double cs[2][2]) {
  const double R = a * a + b * b;
  if (!(R > 0)) return 0;
  double disc = R - k * k;
  if (!(disc > 0)) {
    if (!touching) return 0;
    disc = 0;
  }
  const double w = (b < 0 ? -1 : 1) * std::sqrt(disc);
  for (int i = 0; i < 2; ++i) {
    const double wi = i == 0 ? w : -w;
    cs[i][0] = (a * k + b * wi) / R;
    cs[i][1] = (-b * k + a * wi) / R;
  }
  return 2;
}

}  // namespace

R3Ellipse::R3Ellipse(R3PointPtr c, R3PointPtr u, R3PointPtr v, R3PointPtr q0, R3PointPtr q1)
    : R3Curve(std::move(q0), std::move(q1)), m_c(std::move(c)), m_u(std::move(u)), m_v(std::move(v)) {
  m_uu = m_u->dot(*m_u);
  m_vv = m_v->dot(*m_v);
}

std::vector<double> R3Ellipse::test() {
  const auto ellipse = ellipseWithCenter(R3Point::origin(), R3Point::pointWithDoubles(1, 0, 0),
                                         R3Point::pointWithDoubles(0, 0.5, 0.2));
  const auto a = R3Point::pointWithDoubles(0.5, -1, 3), b = R3Point::pointWithDoubles(-0.5, 1, 3);
  const auto line = R3Line::lineWithPoint(a, R3Point::pointWithXYZ(v3::sub(b->xyz(), a->xyz())));
  const auto points = ellipse->pointsTangentToLine(*line);
  std::string list;
  for (const auto& p : points) list += (list.empty() ? "" : ", ") + p->description();
  platform::log("P = (%s)", list.c_str());
  std::vector<double> zeros;
  for (const auto& p : points) {
    zeros.push_back(ellipse->tangentForPoint(*p)->dot(*normalToPlaneContainingPoints(*a, *b, *p)));
    platform::log("zero ?= %e", zeros.back());
  }
  return zeros;
}

void R3Ellipse::encodeWithCoder(platform::Coder& coder) const {
  R3Curve::encodeWithCoder(coder);
  coding::encodePoint(coder, "c", m_c);
  coding::encodePoint(coder, "u", m_u);
  coding::encodePoint(coder, "v", m_v);
}

void R3Ellipse::initWithCoder(const platform::Coder& coder) {
  R3Curve::initWithCoder(coder);
  m_c = coding::decodePoint(coder, "c");
  m_u = coding::decodePoint(coder, "u");
  m_v = coding::decodePoint(coder, "v");
  if (!m_c || !m_u || !m_v)
    throw platform::Exception("NSInvalidArchiveOperationException", "R3Ellipse needs a centre and two axes");
  m_uu = m_u->dot(*m_u);
  m_vv = m_v->dot(*m_v);
  m_t0 = -M_PI;
}

std::shared_ptr<R3Ellipse> R3Ellipse::ellipseWithCenter(R3PointPtr c, R3PointPtr u, R3PointPtr v) {
  return platform::makeObject<R3Ellipse>(std::move(c), std::move(u), std::move(v));
}

std::shared_ptr<R3Ellipse> R3Ellipse::ellipseWithEllipse(const R3Ellipse& e) {
  return ellipseWithCenter(e.m_c, e.m_u, e.m_v);
}

R3PointPtr R3Ellipse::normalToPlaneContainingPoints(const XYZValue& a, const XYZValue& b, const XYZValue& c) {
  return std::static_pointer_cast<R3Point>(
      R3Point::pointWithXYZ(v3::sub(b.xyz(), a.xyz()))->normalizedCross(*R3Point::pointWithXYZ(v3::sub(c.xyz(), a.xyz()))));
}

std::string R3Ellipse::description() const {
  return platform::format("%sc%su%sv%s", R3Curve::description().c_str(), m_c->description().c_str(),
                          m_u->description().c_str(), m_v->description().c_str());
}

std::string R3Ellipse::sortableDescription() const {
  return platform::format("%s c%s u%s v%s", R3Curve::sortableDescription().c_str(), m_c->description().c_str(),
                          m_u->description().c_str(), m_v->description().c_str());
}

R3PointPtr R3Ellipse::normal() const { return std::static_pointer_cast<R3Point>(m_u->normalizedCross(*m_v)); }

std::shared_ptr<R3Plane> R3Ellipse::plane() const { return R3Plane::planeWithNormal(*normal(), *m_c); }

XYZ R3Ellipse::pointAt(double cosTheta, double sinTheta) const {
  return v3::add(v3::add(m_c->xyz(), v3::scale(m_u->xyz(), cosTheta)), v3::scale(m_v->xyz(), sinTheta));
}

R3PointPtr R3Ellipse::pointForCosTheta(double cosTheta, double sinTheta) const {
  return R3Point::pointWithXYZ(pointAt(cosTheta, sinTheta));
}

R3PointPtr R3Ellipse::velocityWithRespectToAngleForCosTheta(double cosTheta, double sinTheta) const {
  return R3Point::pointWithXYZ(v3::sub(v3::scale(m_v->xyz(), cosTheta), v3::scale(m_u->xyz(), sinTheta)));
}

R3PointPtr R3Ellipse::tangentForCosTheta(double cosTheta, double sinTheta) const {
  return R3Point::pointWithXYZ(v3::normalize(v3::sub(v3::scale(m_v->xyz(), cosTheta), v3::scale(m_u->xyz(), sinTheta))));
}

R3PointPtr R3Ellipse::pointForAngle(double theta) const { return pointForCosTheta(std::cos(theta), std::sin(theta)); }

XYZ R3Ellipse::cosSin(const XYZValue& p) const {
  const XYZ d = v3::sub(p.xyz(), m_c->xyz());
  return {v3::dot(d, m_u->xyz()) / m_uu, v3::dot(d, m_v->xyz()) / m_vv, 0};
}

double R3Ellipse::angleForPoint(const XYZValue& p) const {
  const XYZ cs = cosSin(p);
  const double theta = m_thetaFinder.angleForDoubles(cs.x, cs.y);
  if (debugOutput()) {
    const XYZ d = v3::sub(p.xyz(), m_c->xyz());
    const double nd = v3::dot(normal()->xyz(), d), r = cs.x * cs.x + cs.y * cs.y;
    if (std::fabs(nd) > 0.01 || std::fabs(r - 1) > 0.01)
      platform::log("%s angleForPoint: %s (n dot d = %g, cosTheta*cosTheta + sinTheta*sinTheta = %.6f)",
                    description().c_str(), p.description().c_str(), nd, r);
    const XYZ regen = pointAt(std::cos(theta), std::sin(theta));
    if (!regenerates(regen, p.xyz()))
      platform::log("angleForPoint does not regenerate point: input %+.7f,%+.7f,%+.7f regen %+.7f,%+.7f,%+.7f",
                    p.x(), p.y(), p.z(), regen.x, regen.y, regen.z);
  }
  return theta;
}

double R3Ellipse::angleForParameter(double s) const { return 2 * M_PI * s + m_t0; }
double R3Ellipse::parameterForAngle(double theta) const { return (theta - m_t0) / (2 * M_PI); }

R3PointPtr R3Ellipse::pointForParameter(double s) const { return pointForAngle(angleForParameter(s)); }

double R3Ellipse::parameterForPoint(const XYZValue& p) const {
  const double s = parameterForAngle(angleForPoint(p));
  if (debugOutput()) {
    const auto q = pointForParameter(s);
    if (!regenerates(q->xyz(), p.xyz()))
      platform::log("parameterForCoordinate does not regenerate point: before %+.7f,%+.7f,%+.7f (s = %g) after "
                    "%+.7f,%+.7f,%+.7f",
                    p.x(), p.y(), p.z(), s, q->x(), q->y(), q->z());
  }
  return s;
}

R3PointArray R3Ellipse::intersectionsWithPlane(const R3Plane& plane) const {
  const XYZ N = {plane.a(), plane.b(), plane.c()};
  const double e = plane.d() - v3::dot(N, m_c->xyz());
  const double alpha = v3::dot(N, m_u->xyz()), beta = v3::dot(N, m_v->xyz());
  const double R = alpha * alpha + beta * beta;
  // R = 0: the plane is parallel to the ellipse's (no point) or holds all of it (no
  // isolated point either).
  if (!(R > 0)) return {};
  double D = R - e * e;
  if (std::fabs(D) < 1e-10 * R) D = 0;
  if (D == 0) return {pointForCosTheta(alpha * e / R, beta * e / R)};
  if (D < 0) return {};
  const double s = std::sqrt(D);
  return {pointForCosTheta((alpha * e - beta * s) / R, (beta * e + alpha * s) / R),
          pointForCosTheta((alpha * e + beta * s) / R, (beta * e - alpha * s) / R)};
}

R3PointPtr R3Ellipse::tangentForPoint(const XYZValue& p) const {
  const XYZ cs = cosSin(p);
  return tangentForCosTheta(cs.x, cs.y);
}

R3PointPtr R3Ellipse::velocityWithRespectToParameterForPoint(const XYZValue& p) const {
  const XYZ cs = cosSin(p);
  return std::static_pointer_cast<R3Point>(
      velocityWithRespectToAngleForCosTheta(cs.x, cs.y)->scaledBy(angleParameterDerivative()));
}

R3PointArray R3Ellipse::pointsTangentToLine(const R3Line& line) const {
  const XYZ w = v3::sub(m_c->xyz(), line.start());
  const XYZ D = line.directorXYZ();
  const XYZ m = v3::cross(w, D);
  const double k = v3::dot(D, v3::cross(m_u->xyz(), m_v->xyz()));
  const double a = v3::dot(m_v->xyz(), m), b = v3::dot(m_u->xyz(), m);
  double cs[2][2];
  if (solveCosSin(a, b, k, false, cs) == 0) return {};
  return {pointForCosTheta(cs[0][0], cs[0][1]), pointForCosTheta(cs[1][0], cs[1][1])};
}

R3PointArray R3Ellipse::pointsTangentToVector(const XYZValue& Dv, const XYZValue& p) const {
  const XYZ w = v3::sub(m_c->xyz(), p.xyz());
  const XYZ D = Dv.xyz();
  const XYZ m = v3::cross(D, w);
  const double k = v3::dot(D, v3::cross(m_u->xyz(), m_v->xyz()));
  const double a = v3::dot(m_v->xyz(), m), b = v3::dot(m_u->xyz(), m);
  double cs[2][2];
  if (solveCosSin(-a, -b, k, true, cs) == 0) return {};
  return {pointForCosTheta(cs[1][0], cs[1][1]), pointForCosTheta(cs[0][0], cs[0][1])};
}

R3PointArray R3Ellipse::pointsWhereTangentIsOrthogonalToDirection(const XYZValue& D) const {
  const double alpha = v3::dot(m_u->xyz(), D.xyz()), beta = v3::dot(m_v->xyz(), D.xyz());
  const double r = std::hypot(alpha, beta);
  if (!(r > 0)) return {};  // D along the normal: every tangent is perpendicular to it
  return {pointForCosTheta(alpha / r, beta / r), pointForCosTheta(-alpha / r, -beta / r)};
}

R3CurveArray R3Ellipse::daughtersForFissionPoints(const R3PointArray& points) const {
  R3PointArray sequence = sortedArrayOfPoints(points, *this);
  if (!sequence.empty()) sequence.push_back(sequence.front());
  return R3EllipseSegment::daughtersOfEllipse(*this, sequence);
}

bool R3Ellipse::closeEnoughToPoint(const XYZValue& p) const {
  const XYZ d = v3::sub(p.xyz(), m_c->xyz());
  const XYZ cs = cosSin(p);
  const double nd = v3::dot(normal()->xyz(), d);
  const bool close = std::fabs(nd) <= 1e-6 && std::fabs(cs.x * cs.x + cs.y * cs.y - 1) <= 1e-6;
  if (!close && debugOutput())
    platform::log("%s closeEnoughToPoint: %s (n dot d = %g, cosTheta = %g, sinTheta = %g)", description().c_str(),
                  p.description().c_str(), nd, cs.x, cs.y);
  return close;
}

double R3Ellipse::momentForPoint(const XYZValue& p, const XYZValue& Dv) const {
  const XYZ n = normal()->xyz(), D = Dv.xyz();
  const XYZ d = v3::sub(p.xyz(), m_c->xyz());
  const double nD = v3::dot(n, D);
  if (!(nD > 0)) return INFINITY;
  const XYZ q = v3::addScaled(d, D, -v3::dot(n, d) / nD);
  const double x = v3::dot(q, m_u->xyz()) / m_uu, y = v3::dot(q, m_v->xyz()) / m_vv;
  return x * x + y * y - 1;
}

double R3Ellipse::parameterForIntersectionWithLine(const R3Line& line) const {
  const auto p = line.intersectionWithPlane(*plane());
  return p ? parameterForPoint(*p) : NAN;
}

void R3Ellipse::getQuadricConeMatrix(double* M, const XYZValue& apex) const {
  const XYZ d = v3::sub(m_c->xyz(), apex.xyz());
  const XYZ n = normal()->xyz(), u = m_u->xyz(), v = m_v->xyz();
  const double h = v3::dot(d, n);
  if (std::fabs(h) < 1e-10)
    throw platform::Exception("NSInternalInconsistencyException",
                              "getQuadricConeMatrix:relativeToPoint: point is in plane of ellipse");
  const double a = v3::dot(d, u), b = v3::dot(d, v), U2 = m_uu * m_uu, V2 = m_vv * m_vv;
  const double k = (a * a / U2 + b * b / V2 - 1) / (h * h);
  const double U[3] = {u.x, u.y, u.z}, V[3] = {v.x, v.y, v.z}, N[3] = {n.x, n.y, n.z};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      M[3 * i + j] = U[i] * U[j] / U2 - a / (h * U2) * (N[i] * U[j] + U[i] * N[j]) + V[i] * V[j] / V2 -
                     b / (h * V2) * (N[i] * V[j] + V[i] * N[j]) + k * N[i] * N[j];
}

double R3Ellipse::valueForQuadricConeAtPoint(const XYZValue& x, const XYZValue& apex) const {
  double M[9];
  getQuadricConeMatrix(M, apex);
  const XYZ w = v3::sub(x.xyz(), apex.xyz());
  const double W[3] = {w.x, w.y, w.z};
  double sum = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) sum += W[i] * M[3 * i + j] * W[j];
  return sum;
}

R3PointArray R3Ellipse::tangentPointsForLocus(const XYZValue& locus, const XYZValue& axis) const {
  return pointsTangentToLine(*R3Line::lineWithPoint(locus.xyz(), axis.xyz()));
}

R3PointPtr R3Ellipse::closestPointToLocus(const XYZValue& p) const {
  const double A = std::sqrt(m_uu), B = std::sqrt(m_vv);
  const XYZ d = v3::sub(p.xyz(), m_c->xyz());
  double x, y;
  closestPointOnEllipse(&x, &y, A, B, v3::dot(d, m_u->xyz()) / A, v3::dot(d, m_v->xyz()) / B);
  auto candidate = pointForCosTheta(x / A, y / B);
  if (hasEnds() && !intervalContainsPoint(*candidate)) {
    const double d0 = v3::norm(v3::sub(q0()->xyz(), p.xyz())), d1 = v3::norm(v3::sub(q1()->xyz(), p.xyz()));
    return d0 < d1 ? q0() : q1();
  }
  return candidate;
}

std::shared_ptr<R3Quadric> R3Ellipse::quadricWithDirector(const XYZValue&) const {
  const XYZ U = v3::scale(m_u->xyz(), 1 / m_uu), V = v3::scale(m_v->xyz(), 1 / m_vv), c = m_c->xyz();
  const double Ua[3] = {U.x, U.y, U.z}, Va[3] = {V.x, V.y, V.z};
  double M[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) M[i][j] = Ua[i] * Ua[j] + Va[i] * Va[j];
  const XYZ g = {M[0][0] * c.x + M[0][1] * c.y + M[0][2] * c.z, M[1][0] * c.x + M[1][1] * c.y + M[1][2] * c.z,
                 M[2][0] * c.x + M[2][1] * c.y + M[2][2] * c.z};
  QuadricCoefficients k{};
  k.xx = M[0][0], k.xy = M[0][1], k.xz = M[0][2], k.yy = M[1][1], k.yz = M[1][2], k.zz = M[2][2];
  k.xt = -g.x, k.yt = -g.y, k.zt = -g.z, k.tt = v3::dot(c, g) - 1;
  auto q = R3Quadric::instanceWithCoefficients(k);
  if (debugOutput())
    platform::log("c + u -> %g, c + v -> %g", q->valueAt(v3::add(c, m_u->xyz())), q->valueAt(v3::add(c, m_v->xyz())));
  return q;
}

R3CurvePtr R3Ellipse::projectionOntoPlane(const R3Plane& plane) const {
  const double u[3] = {m_u->x(), m_u->y(), m_u->z()}, v[3] = {m_v->x(), m_v->y(), m_v->z()};
  double w[3], k[3], rho;
  int rc = cylinderOfEllipse(u, v, w, k, &rho);
  const XYZ N = plane.normal()->xyz();
  const double n[3] = {N.x, N.y, N.z};
  double kPrime[3] = {0, 0, 0}, rhoPrime = 0;  // a failed step leaves a null axis, and no ellipse
  if (rc == 0) rc = projectCylinderSection(w, k, n, n, kPrime, &rhoPrime, rho);
  if (rc != 0) platform::log("rc = %d", rc);
  double centre[3];
  const double c[3] = {m_c->x(), m_c->y(), m_c->z()};
  projectAlongDirectionOntoPlane(c, n, n, centre, plane.d() / v3::norm({plane.a(), plane.b(), plane.c()}));
  double normalCopy[3] = {n[0], n[1], n[2]}, U[3], V[3];
  if (cylinderPlaneSection(normalCopy, kPrime, U, V, rhoPrime) != 0) return nullptr;
  if (w[0] * plane.a() + w[1] * plane.b() + w[2] * plane.c() < 0) V[0] = -V[0], V[1] = -V[1], V[2] = -V[2];
  return ellipseWithCenter(R3Point::pointWithDoubles(centre), R3Point::pointWithDoubles(U),
                           R3Point::pointWithDoubles(V));
}

void R3Ellipse::drawUsingOpenGL(DrawingSink& sink) const {
  sink.begin(DrawMode::LineStrip);
  sink.normal({0, 0, 1});
  for (double s = 0; s <= 1; s += 0.1) sink.vertex(pointForParameter(s)->xyz());
  sink.end();
}

// --- R3EllipseSegment ---------------------------------------------------------------------

R3EllipseSegment::R3EllipseSegment(R3PointPtr c, R3PointPtr u, R3PointPtr v, R3PointPtr q0, R3PointPtr q1)
    : R3Ellipse(std::move(c), std::move(u), std::move(v), std::move(q0), std::move(q1)) {
  activateThetaFinder();
}

std::shared_ptr<R3EllipseSegment> R3EllipseSegment::ellipseSegmentWithCenter(R3PointPtr c, R3PointPtr u, R3PointPtr v,
                                                                             R3PointPtr q0, R3PointPtr q1) {
  return platform::makeObject<R3EllipseSegment>(std::move(c), std::move(u), std::move(v), std::move(q0),
                                                std::move(q1));
}

std::shared_ptr<R3EllipseSegment> R3EllipseSegment::ellipseSegmentWithEllipse(const R3Ellipse& e, R3PointPtr q0,
                                                                              R3PointPtr q1) {
  return ellipseSegmentWithCenter(e.center(), e.semiminorAxis(), e.semimajorAxis(), std::move(q0), std::move(q1));
}

R3CurveArray R3EllipseSegment::daughtersOfEllipse(const R3Ellipse& e, const R3PointArray& points) {
  R3CurveArray out;
  for (std::size_t i = 1; i < points.size(); ++i) out.push_back(ellipseSegmentWithEllipse(e, points[i - 1], points[i]));
  return out;
}

R3PointPtr R3EllipseSegment::areaVectorOfTriangleWithVertices(const XYZValue& a, const XYZValue& b,
                                                             const XYZValue& c) {
  return R3Point::pointWithXYZ(v3::scale(v3::cross(v3::sub(b.xyz(), a.xyz()), v3::sub(c.xyz(), a.xyz())), 0.5));
}

void R3EllipseSegment::initWithCoder(const platform::Coder& coder) {
  R3Ellipse::initWithCoder(coder);
  if (!hasEnds()) throw platform::Exception("NSInvalidArchiveOperationException", "R3EllipseSegment needs its ends");
  activateThetaFinder();
}

void R3EllipseSegment::activateThetaFinder() {
  const double theta0 = angleForPoint(*q0());
  double theta1 = angleForPoint(*q1());
  if (theta1 <= theta0) theta1 += 2 * M_PI;
  m_thetaFinder.setThetaCut((theta0 + theta1) / 2 - M_PI, theta0);
  m_t0 = theta0;
  m_t1 = theta1;
  if (debugOutput()) {
    if (!regenerates(pointForParameter(0)->xyz(), q0()->xyz())) platform::log("ellipse does not regenerate q0");
    if (!regenerates(pointForParameter(1)->xyz(), q1()->xyz())) platform::log("ellipse does not regenerate q1");
  }
}

std::string R3EllipseSegment::description() const {
  return platform::format("R3EllipseSegment[u=%s,v=%s,q0=%s,q1=%s,m=%s%s]", m_u->description().c_str(),
                          m_v->description().c_str(), q0()->description().c_str(), q1()->description().c_str(),
                          pointForParameter(0.5)->description().c_str(), linkFlags().c_str());
}

std::string R3EllipseSegment::sortableDescription() const {
  return platform::format("%s q0%s q1%s", R3Ellipse::sortableDescription().c_str(), q0()->description().c_str(),
                          q1()->description().c_str());
}

R3CurveArray R3EllipseSegment::daughtersForFissionPoints(const R3PointArray& points) const {
  R3PointArray sequence{q0()};
  for (const auto& p : sortedArrayOfPoints(points, *this)) sequence.push_back(p);
  sequence.push_back(q1());
  return daughtersOfEllipse(*this, sequence);
}

R3CurvePtr R3EllipseSegment::regenerateWithStartingPoint(R3PointPtr a, R3PointPtr b) const {
  return ellipseSegmentWithEllipse(*this, std::move(a), std::move(b));
}

R3CurvePtr R3EllipseSegment::projectionOntoPlane(const R3Plane& plane) const {
  const auto full = std::dynamic_pointer_cast<R3Ellipse>(R3Ellipse::projectionOntoPlane(plane));
  if (!full) return nullptr;
  const auto project = [&](const R3PointPtr& p) { return R3Point::pointWithXYZ(plane.closestPointToPoint(*p)->xyz()); };
  return ellipseSegmentWithEllipse(*full, project(q0()), project(q1()));
}

double R3EllipseSegment::angleForParameter(double s) const { return m_t0 + (m_t1 - m_t0) * s; }
double R3EllipseSegment::parameterForAngle(double theta) const { return (theta - m_t0) / (m_t1 - m_t0); }

R3PointArray R3EllipseSegment::pointsTangentToLine(const R3Line& line) const {
  return PointFilter::pointsInArray(R3Ellipse::pointsTangentToLine(line), *this);
}

R3PointArray R3EllipseSegment::intersectionsWithPlane(const R3Plane& plane) const {
  return PointFilter::pointsInArray(R3Ellipse::intersectionsWithPlane(plane), *this);
}

R3PointArray R3EllipseSegment::pointsWhereTangentIsOrthogonalToDirection(const XYZValue& D) const {
  return PointFilter::pointsInArray(R3Ellipse::pointsWhereTangentIsOrthogonalToDirection(D), *this);
}

R3PointPtr R3EllipseSegment::sectorAreaVector() const {
  return R3Point::pointWithXYZ(v3::scale(v3::cross(m_u->xyz(), m_v->xyz()), (m_t1 - m_t0) / 2));
}

double R3EllipseSegment::sectorArea() const { return std::sqrt(m_uu * m_vv) * (m_t1 - m_t0) / 2; }

R3PointPtr R3EllipseSegment::segmentAreaVector() const {
  const auto triangle = areaVectorOfTriangleWithVertices(*q0(), *m_c, *q1());
  return R3Point::pointWithXYZ(v3::add(sectorAreaVector()->xyz(), triangle->xyz()));
}

std::shared_ptr<R3Ellipse> R3EllipseSegment::ellipse() const { return ellipseWithEllipse(*this); }

}  // namespace orb::geometry
