#include "geometry/solids/PolarMap.h"

#include <cmath>

#include "geometry/solids/PlaneManifold.h"
#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Ellipsoid.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/Vector3.h"
#include "geometry/values/GeometryDebug.h"
#include "geometry/values/SurfaceMap.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

using foundation::XY;
using foundation::XYZ;

void planeFrame(const XYZ& z, XYZ& x, XYZ& y) {
  x = v3::normalize(v3::cross(z, v3::leastAxis(z)));
  y = v3::cross(z, x);
}

// --- PolarMap -----------------------------------------------------------------------------

PolarMap::PolarMap(R3PointPtr locus) : m_q0(std::move(locus)) {
  if (!m_q0) throw platform::Exception("NSInternalInconsistencyException", "a polar map needs a locus");
}

std::string PolarMap::description() const { return platform::format("PolarMap(q0=%s)", m_q0->description().c_str()); }

R3PointPtr PolarMap::normal() const { return R3Point::zAxis(); }

R3PointPtr PolarMap::pointForSagittalCoordinate(double s, double c, double sn) const {
  return R3Point::pointWithDoubles(m_q0->x() + c * s, m_q0->y() + sn * s, m_q0->z());
}

R3PointPtr PolarMap::directorForSagittalCoordinate(double, double c, double sn) const {
  return R3Point::pointWithDoubles(c, sn, 0);
}

double PolarMap::surfaceElementSizeForSagittalCoordinate(double, double, double) const { return 1; }
double PolarMap::surfaceElementSizeForPoint(const XYZValue&) const { return 1; }

XY PolarMap::R2ForR3(const XYZValue& p) const { return {p.x() - m_q0->x(), p.y() - m_q0->y()}; }

std::shared_ptr<R3Plane> PolarMap::planeForCosTheta(double c, double sn) const {
  return R3Plane::planeWithCoefficients(sn, -c, 0, sn * m_q0->x() - c * m_q0->y());
}

double PolarMap::sagittalCoordinateForPoint(const XYZValue& p, double c, double sn) const {
  return (p.x() - m_q0->x()) * c + (p.y() - m_q0->y()) * sn;
}

std::vector<double> PolarMap::sagittalCoordinatesForPoints(const R3PointArray& points, double c, double sn) const {
  std::vector<double> out;
  for (const auto& p : points) out.push_back(sagittalCoordinateForPoint(*p, c, sn));
  return out;
}

double PolarMap::angleForPoint(const XYZValue& p) const { return std::atan2(p.y() - m_q0->y(), p.x() - m_q0->x()); }

std::vector<double> PolarMap::anglesForPoints(const R3PointArray& points) const {
  std::vector<double> out;
  for (const auto& p : points) out.push_back(angleForPoint(*p));
  return out;
}

double PolarMap::angleForDirector(const XYZValue& d) const { return std::atan2(d.y(), d.x()); }

double PolarMap::radiusForPoint(const XYZValue& p) const {
  const double theta = angleForPoint(p);
  return std::fabs(sagittalCoordinateForPoint(p, std::cos(theta), std::sin(theta)));
}

// --- R3PlanePolarMap ------------------------------------------------------------------------

R3PlanePolarMap::R3PlanePolarMap(const R3Plane& plane, R3PointPtr locus) : PolarMap(std::move(locus)) {
  m_z = plane.normal()->xyz();
  planeFrame(m_z, m_x, m_y);
}

R3PointPtr R3PlanePolarMap::normal() const { return R3Point::pointWithXYZ(m_z); }

R3PointPtr R3PlanePolarMap::pointForSagittalCoordinate(double s, double c, double sn) const {
  return R3Point::pointWithXYZ(v3::addScaled(locus()->xyz(), v3::add(v3::scale(m_x, c), v3::scale(m_y, sn)), s));
}

R3PointPtr R3PlanePolarMap::directorForSagittalCoordinate(double, double c, double sn) const {
  return R3Point::pointWithXYZ(v3::add(v3::scale(m_x, c), v3::scale(m_y, sn)));
}

XY R3PlanePolarMap::R2ForR3(const XYZValue& p) const {
  const XYZ d = v3::sub(p.xyz(), locus()->xyz());
  return {v3::dot(d, m_x), v3::dot(d, m_y)};
}

std::shared_ptr<R3Plane> R3PlanePolarMap::planeForCosTheta(double c, double sn) const {
  return R3Plane::planeWithNormal(*R3Point::pointWithXYZ(v3::sub(v3::scale(m_x, sn), v3::scale(m_y, c))), *locus());
}

double R3PlanePolarMap::sagittalCoordinateForPoint(const XYZValue& p, double c, double sn) const {
  return v3::dot(v3::sub(p.xyz(), locus()->xyz()), v3::add(v3::scale(m_x, c), v3::scale(m_y, sn)));
}

double R3PlanePolarMap::angleForPoint(const XYZValue& p) const {
  const XYZ d = v3::sub(p.xyz(), locus()->xyz());
  return std::atan2(v3::dot(d, m_y), v3::dot(d, m_x));
}

double R3PlanePolarMap::angleForDirector(const XYZValue& d) const {
  return std::atan2(v3::dot(d.xyz(), m_y), v3::dot(d.xyz(), m_x));
}

// --- CylPolarMap ----------------------------------------------------------------------------

CylPolarMap::CylPolarMap(std::shared_ptr<const R3CylinderZ> cylinder, R3PointPtr locus)
    : PolarMap(std::move(locus)), m_cylinder(std::move(cylinder)) {
  const auto& q = *this->locus();
  if (std::fabs(std::hypot(q.x(), q.y()) - std::fabs(radius())) > 1e-6) {
    platform::log("cylinder %s", m_cylinder->description().c_str());
    platform::log("locus %s", q.description().c_str());
  }
}

double CylPolarMap::radius() const { return m_cylinder->radius(); }

R3PointPtr CylPolarMap::normal() const { return m_cylinder->normalForPoint(*locus()); }

R3PointPtr CylPolarMap::pointForSagittalCoordinate(double s, double c, double sn) const {
  const double r = radius(), x = s / r, cx = std::cos(x), sx = std::sin(x);
  const XYZ q = locus()->xyz();
  const double k = 1 / std::sqrt(cx * cx + c * c * sx * sx);
  return R3Point::pointWithDoubles((q.x * cx - q.y * c * sx) * k, (q.y * cx + q.x * c * sx) * k, q.z + k * r * sn * sx);
}

R3PointPtr CylPolarMap::directorForSagittalCoordinate(double s, double c, double sn) const {
  const double r = radius(), x = s / r, cx = std::cos(x), sx = std::sin(x);
  const XYZ q = locus()->xyz();
  return R3Point::pointWithDoubles((-q.x * sx - q.y * c * cx) / r, (q.x * c * cx - q.y * sx) / r, sn * cx);
}

double CylPolarMap::surfaceElementSizeForSagittalCoordinate(double s, double c, double) const {
  // In cylindrical coordinates the point has the azimuth φ = atan2(c·sin x, cos x) and the
  // height z = r·σ·sin x/√D, D = cos²x + c²·sin²x; the element r·dφ·dz works out to
  // r·sin x/D^(3/2) ds dθ.
  const double x = s / radius(), sx = std::sin(x), cx = std::cos(x);
  const double sinc = x == 0 ? 1 : sx / x;
  const double D = sx * sx * c * c + cx * cx;
  return sinc / (D * std::sqrt(D));
}

double CylPolarMap::surfaceElementSizeForPoint(const XYZValue& p) const {
  const double theta = angleForPoint(p), c = std::cos(theta), sn = std::sin(theta);
  return surfaceElementSizeForSagittalCoordinate(sagittalCoordinateForPoint(p, c, sn), c, sn);
}

namespace {
// A point 0.1 out along the 54° ray of `map` lies in that ray's plane: the distance
// between them, logged with the map, the plane and the point.
template <class Map>
double distanceOfARayPointFromItsPlane(const Map& map) {
  const double c = 0.5877852522924732, sn = 0.8090169943749473;  // 54°
  const auto plane = map.planeForCosTheta(c, sn);
  const auto q = map.pointForSagittalCoordinate(0.1, c, sn);
  const double distance = plane->distanceToPoint(*q);
  platform::log("map = %s", map.description().c_str());
  platform::log("plane = %s", plane->description().c_str());
  platform::log("q = %s", q->description().c_str());
  platform::log("distance to plane: %e (should be zero)", distance);
  return distance;
}
}  // namespace

double CylPolarMap::testPlane() {
  const auto cylinder = R3CylinderZ::cylinderWithRadius(2.43);
  return distanceOfARayPointFromItsPlane(
      CylPolarMap(cylinder, R3Point::pointWithDoubles(2.381561784154217, -0.4827664738319988, 10.0)));
}

std::vector<double> CylPolarMap::testSurfaceElementSize() {
  const CylPolarMap map(R3CylinderZ::cylinderWithRadius(2), R3Point::pointWithDoubles(2, 0, 0));
  std::vector<double> sizes;
  for (const auto& [s, theta] : {std::pair{0.0, 0.1}, {0.1, 0.1}, {0.5, 0.9}}) {
    sizes.push_back(map.surfaceElementSizeForSagittalCoordinate(s, std::cos(theta), std::sin(theta)));
    platform::log("s = %g", sizes.back());
  }
  return sizes;
}

bool CylPolarMap::test() {
  const bool planeHolds = testPlane() < 1e-12;
  testSurfaceElementSize();
  return planeHolds;
}

XY CylPolarMap::R2ForR3(const XYZValue& p) const {
  const XYZ q = locus()->xyz();
  const double u = (q.x * p.y() - q.y * p.x()) / radius();
  const double n = std::hypot(u, p.z());
  return {u / n, p.z() / n};
}

std::shared_ptr<R3Plane> CylPolarMap::planeForCosTheta(double c, double sn) const {
  const XYZ q = locus()->xyz();
  const double r = radius();
  auto plane = R3Plane::planeWithCoefficients(sn * q.y / r, -sn * q.x / r, c, c * q.z);
  if (debugOutput()) platform::log("*** plane = %s", plane->description().c_str());
  return plane;
}

double CylPolarMap::sagittalCoordinateForPoint(const XYZValue& p, double c, double sn) const {
  const XYZ q = locus()->xyz();
  const double r = radius();
  const double u = (q.x * p.y() - q.y * p.x()) / r, v = (q.x * p.x() + q.y * p.y()) / r;
  return r * std::atan2(c * u + sn * (p.z() - q.z), v);
}

double CylPolarMap::angleForPoint(const XYZValue& p) const {
  const XYZ q = locus()->xyz();
  const double u = (q.x * p.y() - q.y * p.x()) / radius();
  return std::atan2(p.z() - q.z, u);
}

double CylPolarMap::angleForDirector(const XYZValue& d) const {
  const XYZ q = locus()->xyz();
  return std::atan2(d.z(), (q.x * d.y() - q.y * d.x()) / radius());
}

std::vector<double> CylPolarMap::sagittalLimits() const { return {-M_PI * radius(), M_PI * radius()}; }

R3PointPtr CylPolarMap::antipodalPoint() const {
  return R3Point::pointWithDoubles(-locus()->x(), -locus()->y(), locus()->z());
}

// --- EllipsoidPolarMap ----------------------------------------------------------------------

EllipsoidPolarMap::EllipsoidPolarMap(std::shared_ptr<const R3Ellipsoid> ellipsoid, R3PointPtr locus)
    : PolarMap(std::move(locus)), m_ellipsoid(std::move(ellipsoid)) {
  const auto normal = m_ellipsoid->normalForPoint(*this->locus());
  setTangentManifold(PlaneManifold::manifoldWithPlane(R3Plane::planeWithNormal(*normal, *this->locus())));
}

void EllipsoidPolarMap::setTangentManifold(std::shared_ptr<const PlaneManifold> manifold) {
  m_tangentManifold = std::move(manifold);
  m_x = m_tangentManifold->xAxis()->xyz();
  m_y = m_tangentManifold->yAxis()->xyz();
  m_n = m_tangentManifold->zAxis()->xyz();
}

R3PointPtr EllipsoidPolarMap::normal() const { return R3Point::pointWithXYZ(m_n); }

std::shared_ptr<R3Plane> EllipsoidPolarMap::planeForCosTheta(double c, double sn) const {
  return R3Plane::planeWithNormal(*R3Point::pointWithXYZ(v3::sub(v3::scale(m_y, c), v3::scale(m_x, sn))), *locus());
}

std::shared_ptr<R3Ellipse> EllipsoidPolarMap::ellipseForCosTheta(double c, double sn) const {
  const auto plane = planeForCosTheta(c, sn);
  auto ellipse = m_ellipsoid->ellipseOfIntersectionWithPlane(*plane);
  // The kernel's section may run either way round; walked against the direction a ray would
  // run backwards, and the rays θ and θ + π would both cover one half of the section.
  double alpha = ellipse->angleForPoint(*locus());
  const XYZ d = v3::add(v3::scale(m_x, c), v3::scale(m_y, sn));
  if (v3::dot(ellipse->velocityWithRespectToAngleForCosTheta(std::cos(alpha), std::sin(alpha))->xyz(), d) < 0) {
    ellipse = R3Ellipse::ellipseWithCenter(ellipse->center(), ellipse->semiminorAxis(),
                                           R3Point::pointWithXYZ(v3::scale(ellipse->semimajorAxis()->xyz(), -1)));
    alpha = ellipse->angleForPoint(*locus());
  }
  ellipse->thetaFinder().setThetaCut(alpha - M_PI, alpha);
  ellipse->setReferenceAngle(alpha);
  return ellipse;
}

double EllipsoidPolarMap::surfaceElementSizeForSagittalCoordinate(double s, double c, double sn) const {
  const auto e = ellipseForCosTheta(c, sn);
  const double phi = e->angleForParameter(s / m_lengthScale), cp = std::cos(phi), sp = std::sin(phi);
  // dφ/ds: the ellipse's angle per unit of its parameter, over the length scale.
  const XYZ T = v3::scale(e->velocityWithRespectToAngleForCosTheta(cp, sp)->xyz(),
                          e->angleParameterDerivative() / m_lengthScale);
  if (std::fabs(s) < 1e-9) return v3::dot(T, T);
  const XYZ P = e->pointAt(cp, sp);
  const XYZ d = v3::add(v3::scale(m_x, c), v3::scale(m_y, sn)), m = v3::sub(v3::scale(m_y, c), v3::scale(m_x, sn));
  const XYZ N = m_ellipsoid->normalForPoint(*R3Point::pointWithXYZ(P))->xyz();
  const double speed = v3::norm(T);
  const double tilt = std::fabs(v3::dot(N, v3::cross(v3::scale(T, 1 / speed), m)));
  return speed * std::fabs(v3::dot(d, v3::sub(P, locus()->xyz()))) / (std::fabs(s) * tilt);
}

double EllipsoidPolarMap::surfaceElementSizeForPoint(const XYZValue& p) const {
  const double theta = angleForPoint(p), c = std::cos(theta), sn = std::sin(theta);
  return surfaceElementSizeForSagittalCoordinate(sagittalCoordinateForPoint(p, c, sn), c, sn);
}

double EllipsoidPolarMap::testPlane() {
  const EllipsoidPolarMap map(R3Ellipsoid::sphereWithRadius(2.43),
                              R3Point::pointWithDoubles(1.215, 0.729, 1.9741413323265384));
  return distanceOfARayPointFromItsPlane(map);
}

bool EllipsoidPolarMap::test() { return testPlane() < 1e-12; }

R3PointPtr EllipsoidPolarMap::pointForSagittalCoordinate(double s, double c, double sn) const {
  return ellipseForCosTheta(c, sn)->pointForParameter(s / M_PI);
}

R3PointPtr EllipsoidPolarMap::directorForSagittalCoordinate(double s, double c, double sn) const {
  const auto e = ellipseForCosTheta(c, sn);
  return e->tangentForPoint(*e->pointForParameter(s / M_PI));
}

XY EllipsoidPolarMap::R2ForR3(const XYZValue& p) const { return {v3::dot(m_x, p.xyz()), v3::dot(m_y, p.xyz())}; }

double EllipsoidPolarMap::sagittalCoordinateForPoint(const XYZValue& p, double c, double sn) const {
  return ellipseForCosTheta(c, sn)->parameterForPoint(p) * M_PI;
}

double EllipsoidPolarMap::angleForPoint(const XYZValue& p) const {
  const XYZ d = v3::sub(p.xyz(), locus()->xyz());
  return std::atan2(v3::dot(m_y, d), v3::dot(m_x, d));
}

double EllipsoidPolarMap::angleForDirector(const XYZValue& d) const {
  return std::atan2(v3::dot(m_y, d.xyz()), v3::dot(m_x, d.xyz()));
}

// --- SurfaceMapPolarMap ---------------------------------------------------------------------

SurfaceMapPolarMap::SurfaceMapPolarMap(std::shared_ptr<const SurfaceMap> map)
    : PolarMap(map->locus()), m_map(std::move(map)) {}

R3PointPtr SurfaceMapPolarMap::pointForSagittalCoordinate(double s, double c, double sn) const {
  const auto w0 = m_map->R2ForR3(*locus());
  return m_map->R3ForR2(XYValue(w0->x() + s * c, w0->y() + s * sn));
}

R3PointPtr SurfaceMapPolarMap::directorForSagittalCoordinate(double s, double c, double sn) const {
  const auto w0 = m_map->R2ForR3(*locus());
  return m_map->tangentR3ForTangentR2(XYValue(c, sn), XYValue(w0->x() + s * c, w0->y() + s * sn));
}

double SurfaceMapPolarMap::surfaceElementSizeForPoint(const XYZValue& p) const {
  return m_map->surfaceElementSizeForR2(*m_map->R2ForR3(p));
}

}  // namespace orb::geometry
