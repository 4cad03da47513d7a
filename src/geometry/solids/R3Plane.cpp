#include "geometry/solids/R3Plane.h"

#include <cmath>

#include "geometry/solids/Coding.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Quadric.h"
#include "geometry/solids/Vector3.h"
#include "platform/Exception.h"

namespace orb::geometry {

using foundation::XYZ;

R3Plane::R3Plane(double a, double b, double c, double d) { setCoefficients(a, b, c, d); }

void R3Plane::setCoefficients(double a, double b, double c, double d) {
  m_a = a, m_b = b, m_c = c, m_d = d;
  const double n = std::sqrt(a * a + b * b + c * c);
  m_normal = n > 0 ? R3Point::pointWithDoubles(a / n, b / n, c / n) : nullptr;
  const double k[4] = {a, b, c, d};
  m_hash = detail::hashDoubles(k, 4);
}

void R3Plane::encodeWithCoder(platform::Coder& coder) const {
  coding::requireKeyedArchiver(coder);
  coder.encodeDouble("a", m_a);
  coder.encodeDouble("b", m_b);
  coder.encodeDouble("c", m_c);
  coder.encodeDouble("d", m_d);
}

void R3Plane::initWithCoder(const platform::Coder& coder) {
  coding::requireKeyedArchiver(coder);
  setCoefficients(coder.decodeDouble("a"), coder.decodeDouble("b"), coder.decodeDouble("c"), coder.decodeDouble("d"));
}

std::shared_ptr<R3Plane> R3Plane::planeWithCoefficients(double a, double b, double c, double d) {
  return platform::makeObject<R3Plane>(a, b, c, d);
}

std::shared_ptr<R3Plane> R3Plane::planeWithPlane(const R3Plane& p) {
  return planeWithCoefficients(p.m_a, p.m_b, p.m_c, p.m_d);
}

std::shared_ptr<R3Plane> R3Plane::planeWithNormal(const XYZValue& n, const XYZValue& p) {
  return planeWithCoefficients(n.x(), n.y(), n.z(), n.dot(p));
}

std::shared_ptr<R3Plane> R3Plane::planeWithCoefficients(double a, double b, double c, double d, double s,
                                                        const XYZ& t) {
  return planeWithCoefficients(a, b, c, s * d + a * t.x + b * t.y + c * t.z);
}

std::string R3Plane::description() const { return platform::format("Plane[%g,%g,%g,%g]", m_a, m_b, m_c, m_d); }

std::string R3Plane::exactDescription() const {
  return platform::format("Plane[%.17g,%.17g,%.17g,%.17g]", m_a, m_b, m_c, m_d);
}

bool R3Plane::isEqualTo(const platform::Object& other) const {
  const auto* p = dynamic_cast<const R3Plane*>(&other);
  return p && p->m_a == m_a && p->m_b == m_b && p->m_c == m_c && p->m_d == m_d;
}

const R3PointPtr& R3Plane::normal() const {
  if (!m_normal) throw platform::Exception("NSInternalInconsistencyException", "R3Plane requires nontrivial normal");
  return m_normal;
}

double R3Plane::freedomForPoint(const XYZValue& p) const { return m_a * p.x() + m_b * p.y() + m_c * p.z() - m_d; }

double R3Plane::distanceToPoint(const XYZValue& p) const {
  return std::fabs(m_d - (m_a * p.x() + m_b * p.y() + m_c * p.z())) / std::sqrt(m_a * m_a + m_b * m_b + m_c * m_c);
}

R3PointPtr R3Plane::closestPointToPoint(const XYZValue& p) const {
  const XYZ n = {m_a, m_b, m_c};
  const double t = (m_d - v3::dot(n, p.xyz())) / v3::dot(n, n);
  return R3Point::pointWithXYZ(v3::addScaled(p.xyz(), n, t));
}

R3PointPtr R3Plane::closestPointToOrigin() const {
  const XYZ n = {m_a, m_b, m_c};
  return R3Point::pointWithXYZ(v3::scale(n, m_d / v3::dot(n, n)));
}

SurfaceTaylorExpansion R3Plane::taylorExpansionAtPosition(const XYZ&) const {
  SurfaceTaylorExpansion e{};
  e.gx = -m_a, e.gy = -m_b, e.gz = -m_c;
  return e;
}

bool R3Plane::coincidesWithPlane(const R3Plane& o) const {
  const double dot = m_a * o.m_a + m_b * o.m_b + m_c * o.m_c + m_d * o.m_d;
  const double n1 = m_a * m_a + m_b * m_b + m_c * m_c + m_d * m_d;
  const double n2 = o.m_a * o.m_a + o.m_b * o.m_b + o.m_c * o.m_c + o.m_d * o.m_d;
  return 1 - dot * dot / (n1 * n2) < 1e-10;
}

std::shared_ptr<R3Quadric> R3Plane::quadric() const {
  QuadricCoefficients k{};
  k.xt = m_a, k.yt = m_b, k.zt = m_c, k.tt = -2 * m_d;
  return R3Quadric::instanceWithCoefficients(k);
}

std::shared_ptr<PolarMap> R3Plane::polarMapForLocus(const R3PointPtr& locus) const {
  return std::make_shared<R3PlanePolarMap>(*this, locus);
}

std::optional<double> R3Plane::lineParameter(const R3Line& line) const {
  const XYZ n = {m_a, m_b, m_c};
  const double k = v3::dot(n, line.directorXYZ());
  if (!(std::fabs(k) > 1e-10)) return std::nullopt;
  return (m_d - v3::dot(n, line.start())) / k;
}

R3PointArray R3Plane::intersectionsWithLine(const R3Line& line) const {
  if (const auto t = lineParameter(line)) return {R3Point::pointWithXYZ(line.pointAt(*t))};
  return {};
}

std::vector<double> R3Plane::intersectionParametersForLine(const R3Line& line) const {
  if (const auto t = lineParameter(line)) return {*t};
  return {};
}

int R3Plane::getIntersectionParametersForLine(const R3Line& line, double* out, int) const {
  const auto t = lineParameter(line);
  if (!t) return 0;
  out[0] = *t;
  return 1;
}

R3PointArray R3Plane::intersectionsWithCurve(const R3Curve& curve) const {
  if (const auto* line = dynamic_cast<const R3Line*>(&curve)) return intersectionsWithLine(*line);
  if (const auto* ellipse = dynamic_cast<const R3Ellipse*>(&curve)) return ellipse->intersectionsWithPlane(*this);
  return {};
}

std::shared_ptr<R3Line> R3Plane::lineOfIntersectionWithPlane(const R3Plane& o) const {
  const XYZ direction = v3::cross(normal()->xyz(), o.normal()->xyz());
  if (v3::norm(direction) < 1e-10) return nullptr;
  const XYZ n1 = {m_a, m_b, m_c}, n2 = {o.m_a, o.m_b, o.m_c};
  const double n11 = v3::dot(n1, n1), n22 = v3::dot(n2, n2), n12 = v3::dot(n1, n2);
  const double det = n11 * n22 - n12 * n12;
  if (!(std::fabs(det) > 1e-10)) return nullptr;
  const double alpha = (m_d * n22 - n12 * o.m_d) / det, beta = (n11 * o.m_d - n12 * m_d) / det;
  const XYZ point = v3::add(v3::scale(n1, alpha), v3::scale(n2, beta));
  return R3Line::lineWithPoint(point, v3::normalize(direction));
}

}  // namespace orb::geometry
