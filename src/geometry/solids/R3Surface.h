#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geometry/solids/R3Curve.h"
#include "geometry/values/SurfaceTaylorExpansion.h"
#include "platform/Object.h"

namespace orb::geometry {

class PolarMap;
class R3Line;
class R3Plane;
class R3Quadric;
class R3Cylinder;
class R3CylinderZ;

/// An analytic surface of 3-space. Every operation has a neutral default so that a
/// subclass overrides only what its geometry supports.
///
/// Line intersections: getIntersectionParametersForLine writes the crossings in the order
/// each surface documents (callers that take "the first" rely on it) and raises
/// "array overflow" when a further one would not fit; for a line with ends only parameters
/// strictly between 0 and 1 count. A ray that must find the next wall, from inside a tube
/// or a cone as much as from outside, asks nearestIntersectionParameterForLine instead.
///
/// Surfaces are immutable; the base compares by identity.
class R3Surface : public platform::Object {
 public:
  std::string className() const override { return "R3Surface"; }

  virtual R3PointArray intersectionsWithLine(const R3Line& line) const;
  /// The unit normal, pointing to the advancing side; null where undefined.
  virtual R3PointPtr normalForPoint(const XYZValue& p) const;
  virtual R3PointPtr closestPointToPoint(const XYZValue& p) const;
  /// The distance to closestPointToPoint (NaN when the surface has none).
  virtual double distanceToPoint(const XYZValue& p) const;
  virtual std::shared_ptr<R3Quadric> quadric() const;
  virtual std::shared_ptr<R3Plane> limbPlaneForProjectionPlane(const R3Plane& plane) const;
  virtual std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e) const;
  virtual std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e, double w) const;
  virtual R3PointPtr testPoint() const;
  virtual bool advancingUponOrigin() const;
  /// True strictly on the side the outward normal points into.
  virtual bool advancingUponPoint(const XYZValue& p) const;
  virtual R3PointArray intersectionsWithCurve(const R3Curve& curve) const;
  virtual std::vector<double> intersectionParametersForLine(const R3Line& line) const;
  /// Writes at most `capacity` line parameters to `out`, in the surface's order, and
  /// returns how many; raises NSInternalInconsistencyException "array overflow" when a
  /// further one would not fit.
  virtual int getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const;
  /// The smallest crossing parameter beyond `epsilon` (the next wall along a ray, whether
  /// the ray starts inside or outside), or none.
  std::optional<double> nearestIntersectionParameterForLine(const R3Line& line, double epsilon) const;
  virtual std::shared_ptr<PolarMap> polarMapForLocus(const R3PointPtr& locus) const;
  virtual std::string nickname() const { return description(); }
  virtual SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const;

  // --- curves where two surfaces meet -------------------------------------------------
  static R3CurveArray curvesOfIntersectionOfPlane(const R3Plane& a, const R3Plane& b);
  /// The ellipse of the section, else the lines of a plane parallel to the axis (possibly
  /// none).
  static R3CurveArray curvesOfIntersectionOfCylinder(const R3Cylinder& cylinder, const R3Plane& plane);
  static R3CurveArray curvesOfIntersectionOfCylinderZ(const R3CylinderZ& cylinder, const R3Plane& plane);
  /// Dispatches on the kinds of the two surfaces; pairs it cannot intersect are logged
  /// and give an empty array.
  static R3CurveArray curvesOfIntersectionOfSurface(const R3Surface& a, const R3Surface& b);

 protected:
  /// Appends t to out[count] or raises "array overflow".
  static void writeParameter(double t, double* out, int& count, int capacity);
};

using R3SurfacePtr = std::shared_ptr<R3Surface>;

}  // namespace orb::geometry
