#pragma once

#include <memory>
#include <vector>

#include "foundation/objects/XYZ.h"
#include "foundation/objects/XYZTensor.h"
#include "geometry/solids/PointAndParameter.h"
#include "geometry/solids/R3Curve.h"
#include "geometry/solids/SurfacePatch.h"
#include "geometry/values/R3ToR1Map.h"

namespace orb::geometry {

class R3Hull;
class R3Line;
class R3Plane;

/// Integrals of scalar fields over the solid of a hull, without meshing it: the hull's
/// outline seen along a plane's normal is linked into planar faces, a product Gauss rule
/// over the faces gives nodes with area weights, and the field is integrated along the
/// line through each node where it runs inside the hull. Also the outline itself.
struct BSIG {
  /// The plane x + √2·y + π·z = 0, a direction unlikely to line up with any wall.
  static std::shared_ptr<R3Plane> firstProjectionPlane();
  /// x + e·y + π·z = 0, the volume's second try.
  static std::shared_ptr<R3Plane> alternativeProjectionPlane();

  /// Retries once on the alternative plane; a second failure propagates.
  static double volumeOfHull(const R3Hull& hull);
  /// (∫x, ∫y, ∫z) over the solid.
  static foundation::XYZ firstMomentVectorOfHull(const R3Hull& hull);
  /// ∫ of the products of coordinates over the solid (symmetric).
  static foundation::XYZTensor secondMomentTensorOfHull(const R3Hull& hull);
  /// result[k] = ∫ densities[k] over the solid, projecting onto the plane.
  static void integralThroughPlane(const R3Plane& plane, const R3Hull& hull,
                                   const std::vector<std::shared_ptr<const R3ToR1Map>>& densities, double* result);
  /// ∫ density along the parts of the line inside the patches; 0 for a line that misses.
  static double integralAlongLine(const R3Line& line, const SurfacePatchArray& patches, const R3ToR1Map& density);

  /// The hull's outline seen along the plane's normal, in the plane: the projected edges,
  /// cut where the limbs meet them, and the projected limbs. No null entries.
  static R3CurveArray projectionOfHull(const R3Hull& hull, const R3Plane& plane);
  /// One entry per curve: its projection with coalesced ends, or null where it has none.
  static R3CurveArray edgesProjectedOntoPlane(const R3CurveArray& curves, const R3Plane& plane);

  static R3PointArray intersectionsOfLine(const R3Line& line, const SurfacePatchArray& patches);
  static std::vector<double> parametersForWhichLine(const R3Line& line, const SurfacePatchArray& patches);
  /// Writes the crossing parameters of every patch surface (room for 8 each) into `out`;
  /// raises NSInternalInconsistencyException "array overflow" past `length`.
  static int getParametersForWhichLine(const R3Line& line, const SurfacePatchArray& patches, double* out,
                                       int length);
  static std::vector<PointAndParameter> sortedArrayOfPointAndParameterWhereLine(const R3Line& line,
                                                                                const SurfacePatchArray& patches);
  /// The pieces of the line between consecutive crossings that lie inside the patches.
  static R3CurveArray segmentsAlongLine(const R3Line& line, const SurfacePatchArray& patches);
  static R3PointArray coalescedEndpointsOfSegments(const R3CurveArray& segments);
  /// Patches whose surface passes within 1e-10 of an end of a segment (once per segment).
  static SurfacePatchArray patchesInArray(const SurfacePatchArray& patches, const R3CurveArray& segments);
  static SurfacePatchArray patchesOfHull(const R3Hull& hull, const R3Line& line);

  /// Three-way order of crossing parameters, NaN after every number: a consistent
  /// comparison, so sorting with it is always defined.
  static int compareParameters(double a, double b);
  static bool parameterLess(double a, double b) { return compareParameters(a, b) < 0; }
};

}  // namespace orb::geometry
