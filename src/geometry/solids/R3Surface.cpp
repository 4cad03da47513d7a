#include "geometry/solids/R3Surface.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

R3PointArray R3Surface::intersectionsWithLine(const R3Line&) const { return {}; }
R3PointPtr R3Surface::normalForPoint(const XYZValue&) const { return nullptr; }
R3PointPtr R3Surface::closestPointToPoint(const XYZValue&) const { return nullptr; }

double R3Surface::distanceToPoint(const XYZValue& p) const {
  const auto q = closestPointToPoint(p);
  if (!q) return std::numeric_limits<double>::quiet_NaN();
  return p.minus(*q)->abs();
}

std::shared_ptr<R3Quadric> R3Surface::quadric() const { return nullptr; }
std::shared_ptr<R3Plane> R3Surface::limbPlaneForProjectionPlane(const R3Plane&) const { return nullptr; }
std::shared_ptr<R3Plane> R3Surface::limbPlaneForObservationPoint(const XYZValue&) const { return nullptr; }
std::shared_ptr<R3Plane> R3Surface::limbPlaneForObservationPoint(const XYZValue&, double) const { return nullptr; }
R3PointPtr R3Surface::testPoint() const { return nullptr; }
bool R3Surface::advancingUponOrigin() const { return advancingUponPoint(*R3Point::origin()); }
bool R3Surface::advancingUponPoint(const XYZValue&) const { return false; }
R3PointArray R3Surface::intersectionsWithCurve(const R3Curve&) const { return {}; }
std::vector<double> R3Surface::intersectionParametersForLine(const R3Line&) const { return {}; }
int R3Surface::getIntersectionParametersForLine(const R3Line&, double*, int) const { return 0; }
std::shared_ptr<PolarMap> R3Surface::polarMapForLocus(const R3PointPtr&) const { return nullptr; }
SurfaceTaylorExpansion R3Surface::taylorExpansionAtPosition(const foundation::XYZ&) const { return {}; }

std::optional<double> R3Surface::nearestIntersectionParameterForLine(const R3Line& line, double epsilon) const {
  double t[4];
  const int n = getIntersectionParametersForLine(line, t, 4);
  std::optional<double> best;
  for (int i = 0; i < n; ++i)
    if (t[i] > epsilon && (!best || t[i] < *best)) best = t[i];
  return best;
}

void R3Surface::writeParameter(double t, double* out, int& count, int capacity) {
  if (count >= capacity) throw platform::Exception("NSInternalInconsistencyException", "array overflow");
  out[count++] = t;
}

R3CurveArray R3Surface::curvesOfIntersectionOfPlane(const R3Plane& a, const R3Plane& b) {
  if (auto line = a.lineOfIntersectionWithPlane(b)) return {R3CurvePtr(line)};
  return {};
}

R3CurveArray R3Surface::curvesOfIntersectionOfCylinder(const R3Cylinder& cylinder, const R3Plane& plane) {
  if (auto e = cylinder.ellipseOfIntersectionWithPlane(plane)) return {R3CurvePtr(e)};
  return cylinder.linesOfIntersectionWithParallelPlane(plane);
}

R3CurveArray R3Surface::curvesOfIntersectionOfCylinderZ(const R3CylinderZ& cylinder, const R3Plane& plane) {
  if (auto e = cylinder.ellipseOfIntersectionWithPlane(plane)) return {R3CurvePtr(e)};
  return cylinder.linesOfIntersectionWithParallelPlane(plane);
}

R3CurveArray R3Surface::curvesOfIntersectionOfSurface(const R3Surface& A, const R3Surface& B) {
  static std::atomic<bool> warnedCylinders{false};
  if (const auto* planeB = dynamic_cast<const R3Plane*>(&B)) {
    if (const auto* planeA = dynamic_cast<const R3Plane*>(&A)) return curvesOfIntersectionOfPlane(*planeA, *planeB);
    if (const auto* cyl = dynamic_cast<const R3Cylinder*>(&A)) return curvesOfIntersectionOfCylinder(*cyl, *planeB);
    if (const auto* cyl = dynamic_cast<const R3CylinderZ*>(&A)) return curvesOfIntersectionOfCylinderZ(*cyl, *planeB);
  } else if (dynamic_cast<const R3Cylinder*>(&B) || dynamic_cast<const R3CylinderZ*>(&B)) {
    if (const auto* planeA = dynamic_cast<const R3Plane*>(&A)) {
      if (const auto* cyl = dynamic_cast<const R3Cylinder*>(&B)) return curvesOfIntersectionOfCylinder(*cyl, *planeA);
      return curvesOfIntersectionOfCylinderZ(dynamic_cast<const R3CylinderZ&>(B), *planeA);
    }
    if (dynamic_cast<const R3CylinderZ*>(&A)) {
      if (!warnedCylinders.exchange(true)) platform::log("Warning: cylinders are assumed to be nonintersecting");
      return {};
    }
  }
  platform::log("A = %s", A.description().c_str());
  platform::log("B = %s", B.description().c_str());
  return {};
}

}  // namespace orb::geometry
