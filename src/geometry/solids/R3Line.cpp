#include "geometry/solids/R3Line.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/platform/ArrayExtensions.h"
#include "geometry/solids/Coding.h"
#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "geometry/solids/Vector3.h"
#include "platform/Exception.h"

namespace orb::geometry {

using foundation::XYZ;

namespace {

bool samePoint(const R3PointPtr& a, const R3PointPtr& b) { return a->isEqualTo(*b); }

/// Apart by at least tol on some axis: the per-coordinate test that keeps tiny segments out.
bool apart(const XYZ& a, const XYZ& b, double tol) {
  return std::fabs(a.x - b.x) >= tol || std::fabs(a.y - b.y) >= tol || std::fabs(a.z - b.z) >= tol;
}

}  // namespace

R3Line::R3Line(R3PointPtr point, R3PointPtr director) : R3Curve(std::move(point), nullptr) {
  m_director = std::move(director);
  cache();
}

R3Line::R3Line(R3PointPtr q0, R3PointPtr q1, bool) : R3Curve(q0, q1) {
  m_director = R3Point::pointWithXYZ(v3::sub(q1->xyz(), q0->xyz()));
  cache();
}

void R3Line::encodeWithCoder(platform::Coder& coder) const {
  R3Curve::encodeWithCoder(coder);
  coding::encodePoint(coder, "director", m_director);
}

void R3Line::initWithCoder(const platform::Coder& coder) {
  R3Curve::initWithCoder(coder);
  m_director = coding::decodePoint(coder, "director");
  if (!q0() || !m_director)
    throw platform::Exception("NSInvalidArchiveOperationException", "R3Line needs a point and a director");
  cache();
}

void R3Line::cache() {
  m_start = q0()->xyz();
  m_d = m_director->xyz();
  m_dd = v3::dot(m_d, m_d);
}

std::shared_ptr<R3Line> R3Line::lineWithPoint(R3PointPtr point, R3PointPtr director) {
  return platform::makeObject<R3Line>(std::move(point), std::move(director));
}

std::shared_ptr<R3Line> R3Line::lineWithPoint(const XYZ& point, const XYZ& director) {
  return lineWithPoint(R3Point::pointWithXYZ(point), R3Point::pointWithXYZ(director));
}

std::shared_ptr<R3Line> R3Line::lineWithLine(const R3Line& line) { return lineWithPoint(line.q0(), line.director()); }

std::shared_ptr<R3Line> R3Line::lineWithStartingPoint(R3PointPtr q0, R3PointPtr q1) {
  return platform::makeObject<R3Line>(std::move(q0), std::move(q1), true);
}

std::string R3Line::description() const {
  return platform::format("%s q0=%s director=%s", R3Curve::description().c_str(), q0()->description().c_str(),
                          m_director->description().c_str());
}

std::string R3Line::sortableDescription() const {
  return platform::format("%s q0%s d%s", R3Curve::sortableDescription().c_str(), q0()->description().c_str(),
                          m_director->description().c_str());
}

XYZ R3Line::pointAt(double t) const { return v3::addScaled(m_start, m_d, t); }

R3PointPtr R3Line::pointForParameter(double t) const { return R3Point::pointWithXYZ(pointAt(t)); }

double R3Line::parameterForPoint(const XYZValue& p) const { return v3::dot(v3::sub(p.xyz(), m_start), m_d) / m_dd; }

R3PointPtr R3Line::closestPointToLocus(const XYZValue& p) const {
  double t = parameterForPoint(p);
  if (hasEnds()) t = std::clamp(t, 0.0, 1.0);
  return pointForParameter(t);
}

double R3Line::distanceToPoint(const XYZValue& p) const {
  double t = parameterForPoint(p);
  if (hasEnds()) t = std::clamp(t, 0.0, 1.0);
  return v3::norm(v3::sub(p.xyz(), pointAt(t)));
}

double R3Line::parameterForIntersectionWithPlane(const R3Plane& plane) const {
  const XYZ n = {plane.a(), plane.b(), plane.c()};
  const double k = v3::dot(n, m_d);
  if (k == 0) return std::numeric_limits<double>::infinity();
  return (plane.d() - v3::dot(n, m_start)) / k;
}

R3PointPtr R3Line::intersectionWithPlane(const R3Plane& plane) const {
  const double t = parameterForIntersectionWithPlane(plane);
  if (std::isinf(t)) return nullptr;
  return pointForParameter(t);
}

R3PointArray R3Line::intersectionsWithPlane(const R3Plane& plane) const {
  if (auto p = intersectionWithPlane(plane)) return {p};
  return {};
}

R3PointArray R3Line::intersectionsWithCylinder(const R3CylinderZ& cylinder) const {
  R3PointArray out;
  if (m_d.x == 0 && m_d.y == 0) return out;
  const double r = cylinder.radius();
  const double alpha = m_d.x * m_d.x + m_d.y * m_d.y;
  const double beta = 2 * (m_start.x * m_d.x + m_start.y * m_d.y);
  const double gamma = m_start.x * m_start.x + m_start.y * m_start.y - r * r;
  const double D = beta * beta - 4 * alpha * gamma;
  if (!(D > 0)) return out;
  const double s = std::sqrt(D);
  for (double t : {(s - beta) / (2 * alpha), (-beta - s) / (2 * alpha)})
    if (!hasEnds() || (0 < t && t < 1)) out.push_back(pointForParameter(t));
  return out;
}

R3CurveArray R3Line::daughtersForFissionPoints(const R3PointArray& points) const {
  const auto sorted = foundation::runToOne(sortedArrayOfPoints(points, *this), samePoint);
  return R3LineSegment::segmentsForPoints(sorted, 1e-7);
}

R3CurveArray R3Line::daughtersForSortedMilestones(const std::vector<PointAndParameter>& milestones) const {
  return R3LineSegment::segmentsForMilestones(milestones, 1e-7);
}

R3CurveArray R3Line::daughtersForSortedParameters(const std::vector<double>& parameters) const {
  return daughtersForSortedParameters(parameters.data(), static_cast<int>(parameters.size()));
}

R3CurveArray R3Line::daughtersForSortedParameters(const double* parameters, int count) const {
  R3CurveArray out;
  if (count < 2) return out;
  R3PointPtr previous = pointForParameter(parameters[0]);
  for (int i = 1; i < count; ++i) {
    R3PointPtr p = pointForParameter(parameters[i]);
    if (apart(previous->xyz(), p->xyz(), 1e-7)) out.push_back(platform::makeObject<R3LineSegment>(previous, p));
    previous = p;
  }
  return out;
}

std::shared_ptr<R3Quadric> R3Line::quadricWithDirector(const XYZValue& D) const {
  const auto n = D.normalizedCross(*m_director);
  const double h = n->dot(*q0());
  QuadricCoefficients k{};
  k.xt = n->x() / 2, k.yt = n->y() / 2, k.zt = n->z() / 2, k.tt = -h;
  return R3Quadric::instanceWithCoefficients(k);
}

double R3Line::momentForPoint(const XYZValue& p, const XYZValue& D) const {
  return v3::dot(v3::sub(p.xyz(), m_start), v3::cross(D.xyz(), m_d));
}

// --- R3LineSegment ------------------------------------------------------------------------

namespace {
R3PointPtr checkedDistinct(const R3PointPtr& q0, const R3PointPtr& q1) {
  if (!q0 || !q1 || q0->isEqualTo(*q1))
    throw platform::Exception("R3LineSegment", "Must have distinct endpoints");
  return q0;
}
}  // namespace

R3LineSegment::R3LineSegment(R3PointPtr q0, R3PointPtr q1) : R3Line(checkedDistinct(q0, q1), q1, true) {}

std::shared_ptr<R3LineSegment> R3LineSegment::lineSegmentWithStartingPoint(R3PointPtr q0, R3PointPtr q1) {
  return platform::makeObject<R3LineSegment>(std::move(q0), std::move(q1));
}

std::shared_ptr<R3LineSegment> R3LineSegment::lineSegmentWithPoint(const R3PointPtr& p, const R3PointPtr& d) {
  return lineSegmentWithStartingPoint(R3Point::pointWithXYZ(v3::sub(p->xyz(), d->xyz())),
                                      R3Point::pointWithXYZ(v3::add(p->xyz(), d->xyz())));
}

std::vector<std::shared_ptr<R3LineSegment>> R3LineSegment::lineSegmentLoopWithPoints(const R3PointArray& points) {
  std::vector<std::shared_ptr<R3LineSegment>> out;
  for (std::size_t i = 0; i < points.size(); ++i)
    out.push_back(lineSegmentWithStartingPoint(points[i], points[(i + 1) % points.size()]));
  return out;
}

R3CurveArray R3LineSegment::segmentsForPoints(const R3PointArray& points, double tol) {
  R3CurveArray out;
  for (std::size_t i = 1; i < points.size(); ++i)
    if (apart(points[i - 1]->xyz(), points[i]->xyz(), tol))
      out.push_back(lineSegmentWithStartingPoint(points[i - 1], points[i]));
  return out;
}

R3CurveArray R3LineSegment::segmentsForMilestones(const std::vector<PointAndParameter>& milestones, double tol) {
  R3PointArray points;
  for (const auto& m : milestones) points.push_back(std::static_pointer_cast<R3Point>(m.point()));
  return segmentsForPoints(points, tol);
}

std::string R3LineSegment::description() const {
  const auto id = [](const std::weak_ptr<platform::Object>& w) {
    return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(w.lock().get()));
  };
  return platform::format("R3LineSegment[%s %s (0x%lx 0x%lx)%s]", q0()->description().c_str(),
                          q1()->description().c_str(), id(v()[0]), id(v()[1]), linkFlags().c_str());
}

std::string R3LineSegment::sortableDescription() const {
  return platform::format("%s q0%s q1%s", R3Curve::sortableDescription().c_str(), q0()->description().c_str(),
                          q1()->description().c_str());
}

R3CurvePtr R3LineSegment::regenerateWithStartingPoint(R3PointPtr a, R3PointPtr b) const {
  return lineSegmentWithStartingPoint(std::move(a), std::move(b));
}

R3PointPtr R3LineSegment::tangentForPoint(const XYZValue&) const {
  return R3Point::pointWithXYZ(v3::normalize(directorXYZ()));
}

R3PointPtr R3LineSegment::intersectionWithPlane(const R3Plane& plane) const {
  const XYZ n = {plane.a(), plane.b(), plane.c()};
  const double k = v3::dot(n, directorXYZ());
  if (k == 0) return nullptr;
  const double t = (plane.d() - v3::dot(n, start())) / k;
  if (!(0 <= t && t <= 1)) return nullptr;
  return pointForParameter(t);
}

R3PointPtr R3LineSegment::pointForParameter(double t) const {
  if (t == 0) return q0();
  if (t == 1) return q1();
  return R3Line::pointForParameter(t);
}

double R3LineSegment::parameterForPoint(const XYZValue& p) const {
  if (p.isEqualTo(*q0())) return 0;
  if (p.isEqualTo(*q1())) return 1;
  return R3Line::parameterForPoint(p);
}

R3CurvePtr R3LineSegment::projectionOntoPlane(const R3Plane& plane) const {
  const double n[3] = {plane.a(), plane.b(), plane.c()};
  double a[3], b[3];
  const XYZ p0 = q0()->xyz(), p1 = q1()->xyz();
  const double s0[3] = {p0.x, p0.y, p0.z}, s1[3] = {p1.x, p1.y, p1.z};
  projectAlongDirectionOntoPlane(s0, n, n, a, plane.d());
  projectAlongDirectionOntoPlane(s1, n, n, b, plane.d());
  auto A = R3Point::pointWithDoubles(a), B = R3Point::pointWithDoubles(b);
  if (A->isEqualTo(*B)) return nullptr;
  return lineSegmentWithStartingPoint(A, B);
}

void R3LineSegment::drawUsingOpenGL(DrawingSink& sink) const {
  sink.begin(DrawMode::LineStrip);
  sink.vertex(q0()->xyz());
  sink.vertex(q1()->xyz());
  sink.end();
}

R3CurveArray R3LineSegment::piecesForPoints(const R3PointArray& points, double tol) const {
  if (points.empty()) return {std::const_pointer_cast<R3Curve>(self())};
  R3PointArray chain{q0()};
  for (const auto& p : sortedArrayOfPoints(points, *this)) chain.push_back(p);
  chain.push_back(q1());
  return segmentsForPoints(chain, tol);
}

R3CurveArray R3LineSegment::daughtersForFissionPoints(const R3PointArray& points) const {
  R3PointArray chain{q0()};
  for (const auto& p : foundation::runToOne(sortedArrayOfPoints(points, *this, true, 0), samePoint))
    chain.push_back(p);
  chain.push_back(q1());
  return segmentsForPoints(chain, 1e-7);
}

double R3LineSegment::parameterForIntersectionWithLine(const R3Line& line) const {
  const auto n = director()->normalizedCross(*director()->cross(*line.director()));
  const auto plane = R3Plane::planeWithNormal(*n, *q0());
  return line.parameterForIntersectionWithPlane(*plane);
}

R3CurvePtr R3LineSegment::embeddingCurve() const { return R3Line::lineWithPoint(q0(), director()); }

}  // namespace orb::geometry
