#include "geometry/solids/LimbGenerator.h"

#include <cmath>

#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Ellipsoid.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/Vector3.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

namespace {

std::string listOf(const R3PointArray& points) {
  std::string s = "(";
  for (std::size_t i = 0; i < points.size(); ++i) s += (i ? ", " : "") + points[i]->description();
  return s + ")";
}

R3PointArray crossingsOf(const R3CurveArray& edges, const R3Plane& plane) {
  R3PointArray out;
  for (const auto& e : edges)
    for (auto& p : e->intersectionsWithPlane(plane)) out.push_back(std::move(p));
  return out;
}

}  // namespace

R3CurveArray LimbGenerator::limbsForPatches(const SurfacePatchArray& patches, const XYZValue& e, double w) {
  R3CurveArray out;
  for (const auto& p : patches)
    for (auto& c : limbsForPatch(*p, e, w)) out.push_back(std::move(c));
  return out;
}

R3CurveArray LimbGenerator::limbsForPatch(const SurfacePatch& patch, const XYZValue& e, double w) {
  const auto& surface = patch.surface();
  if (dynamic_cast<const R3Plane*>(surface.get())) return {};
  if (const auto* z = dynamic_cast<const R3CylinderZ*>(surface.get()))
    return limbsForCylinder(*z->cylinder(), patch.edges(), e, w);
  if (const auto* c = dynamic_cast<const R3Cylinder*>(surface.get())) return limbsForCylinder(*c, patch.edges(), e, w);
  if (const auto* s = dynamic_cast<const R3Ellipsoid*>(surface.get())) return limbsForEllipsoid(*s, patch.edges(), e, w);
  throw platform::Exception("NSInternalInconsistencyException",
                            "limbsForPatch does not recognize class " + surface->className());
}

R3CurveArray LimbGenerator::limbsForCylinder(const R3Cylinder& cylinder, const R3CurveArray& edges, const XYZValue& e,
                                             double w) {
  if (w != 0) {
    const double rho = std::hypot(e.x(), e.y()) / w;
    if (std::fabs(cylinder.radius()) + 1e-6 >= rho) return {};
  }
  const auto L = cylinder.limbPlaneForObservationPoint(e, w);
  if (!L) return {};
  const auto s = v3::cross(cylinder.director()->xyz(), L->normal()->xyz());
  const auto crossings = crossingsOf(edges, *L);
  if (crossings.size() % 2) {
    platform::log("Found odd number of crossings");
    platform::log("crossings = %s", listOf(crossings).c_str());
  }
  R3PointArray upper, lower;
  for (const auto& p : crossings) {
    const auto n = cylinder.normalForPoint(*p);
    (n && v3::dot(n->xyz(), s) > 0 ? upper : lower).push_back(p);
  }
  if (upper.size() % 2 || lower.size() % 2) {
    platform::log("Odd number of upper and/or lower crossings");
    platform::log("%zu upperCrossings = %s", upper.size(), listOf(upper).c_str());
    platform::log("%zu lowerCrossings = %s", lower.size(), listOf(lower).c_str());
  }
  R3CurveArray out;
  for (const auto* side : {&upper, &lower}) {
    if (side->empty()) continue;
    const auto line = R3Line::lineWithPoint(side->front(), cylinder.director());
    for (auto& piece : line->daughtersForFissionPoints(*side)) out.push_back(std::move(piece));
  }
  return out;
}

R3CurveArray LimbGenerator::limbsForEllipsoid(const R3Ellipsoid& ellipsoid, const R3CurveArray& edges,
                                              const XYZValue& e, double w) {
  const auto L = ellipsoid.limbPlaneForObservationPoint(e, w);
  const auto E = ellipsoid.limbForObservationPoint(e, w);
  if (!L || !E) return {};
  const auto crossings = crossingsOf(edges, *L);
  if (crossings.empty()) return {E};
  return E->daughtersForFissionPoints(crossings);
}

std::vector<std::shared_ptr<R3Plane>> LimbGenerator::limbPlanesForPatches(const SurfacePatchArray& patches,
                                                                          const XYZValue& e, double w) {
  std::vector<std::shared_ptr<R3Plane>> out;
  for (const auto& p : patches)
    if (auto plane = p->surface()->limbPlaneForObservationPoint(e, w)) out.push_back(std::move(plane));
  return out;
}

}  // namespace orb::geometry
