#pragma once

#include <memory>
#include <vector>

#include "geometry/solids/R3Curve.h"
#include "geometry/solids/SurfacePatch.h"

namespace orb::geometry {

class R3Cylinder;
class R3Ellipsoid;
class R3Plane;

/// The outlines (limbs) of curved patches seen from an observer given homogeneously: the
/// point e with weight w ≠ 0 sits at e/w; w = 0 looks along e from infinity.
struct LimbGenerator {
  /// The limbs of all patches, in patch order.
  static R3CurveArray limbsForPatches(const SurfacePatchArray& patches, const XYZValue& e, double w);
  /// None for a plane; raises NSInternalInconsistencyException "limbsForPatch does not
  /// recognize class %@" for a surface it cannot outline.
  static R3CurveArray limbsForPatch(const SurfacePatch& patch, const XYZValue& e, double w);
  /// The generator lines where the line of sight grazes the cylinder, split where the
  /// patch edges cross them; none for an observer inside.
  static R3CurveArray limbsForCylinder(const R3Cylinder& cylinder, const R3CurveArray& edges, const XYZValue& e,
                                       double w);
  static R3CurveArray limbsForEllipsoid(const R3Ellipsoid& ellipsoid, const R3CurveArray& edges, const XYZValue& e,
                                        double w);
  /// Each patch surface's limb plane, where it has one, in patch order.
  static std::vector<std::shared_ptr<R3Plane>> limbPlanesForPatches(const SurfacePatchArray& patches,
                                                                    const XYZValue& e, double w);
};

}  // namespace orb::geometry
