#include "geometry/solids/BSIG.h"

#include <algorithm>
#include <cmath>

#include "foundation/quadrature/GaussLegendreIntegrator.h"
#include "geometry/solids/LimbGenerator.h"
#include "geometry/solids/Ordering.h"
#include "geometry/solids/PlaneManifold.h"
#include "geometry/solids/PointCoalescer.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Hull.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/Vector3.h"
#include "geometry/solids/WingedEdge.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

using foundation::XYZ;

namespace {

/// Whether the view along n sees the ellipse's plane edge-on (its projection is a segment).
bool isEdgeOn(const R3Ellipse& ellipse, const XYZ& n) {
  return std::fabs(v3::dot(ellipse.normal()->xyz(), v3::normalize(n))) < 1e-9;
}

}  // namespace

std::shared_ptr<R3Plane> BSIG::firstProjectionPlane() {
  return R3Plane::planeWithCoefficients(1.0, 1.4142135623730951, 3.141592653589793, 0);
}

std::shared_ptr<R3Plane> BSIG::alternativeProjectionPlane() {
  return R3Plane::planeWithCoefficients(1.0, 2.718281828459045, 3.141592653589793, 0);
}

double BSIG::volumeOfHull(const R3Hull& hull) {
  const std::vector<std::shared_ptr<const R3ToR1Map>> unit{std::make_shared<R3ToR1MapConstant>(1.0)};
  double result = 0;
  try {
    integralThroughPlane(*firstProjectionPlane(), hull, unit, &result);
  } catch (const platform::Exception& e) {
    platform::log("volumeOfHull failed with first projection plane");
    platform::log("exception = %s", e.what());
    platform::log("Trying alternative projection");
    try {
      integralThroughPlane(*alternativeProjectionPlane(), hull, unit, &result);
    } catch (const platform::Exception& e2) {
      platform::log("volumeOfHull failed with second projection plane");
      platform::log("exception = %s", e2.what());
      throw;
    }
  }
  return result;
}

XYZ BSIG::firstMomentVectorOfHull(const R3Hull& hull) {
  const std::vector<std::shared_ptr<const R3ToR1Map>> d{std::make_shared<R3ToR1MapX>(), std::make_shared<R3ToR1MapY>(),
                                                        std::make_shared<R3ToR1MapZ>()};
  double r[3] = {0, 0, 0};
  integralThroughPlane(*firstProjectionPlane(), hull, d, r);
  return {r[0], r[1], r[2]};
}

foundation::XYZTensor BSIG::secondMomentTensorOfHull(const R3Hull& hull) {
  const std::vector<std::shared_ptr<const R3ToR1Map>> d{
      std::make_shared<R3ToR1MapXX>(), std::make_shared<R3ToR1MapXY>(), std::make_shared<R3ToR1MapXZ>(),
      std::make_shared<R3ToR1MapYY>(), std::make_shared<R3ToR1MapYZ>(), std::make_shared<R3ToR1MapZZ>()};
  double r[6] = {0, 0, 0, 0, 0, 0};
  integralThroughPlane(*firstProjectionPlane(), hull, d, r);
  return {r[0], r[1], r[2], r[1], r[3], r[4], r[2], r[4], r[5]};
}

void BSIG::integralThroughPlane(const R3Plane& plane, const R3Hull& hull,
                                const std::vector<std::shared_ptr<const R3ToR1Map>>& densities, double* result) {
  const XYZ n = plane.normal()->xyz();
  auto manifold = PlaneManifold::manifoldWithPlane(R3Plane::planeWithPlane(plane));
  R3CurveArray curves = projectionOfHull(hull, plane);
  curves = manifold->nonoverlappingCurvesWithCurves(curves);
  curves = manifold->nonintersectingCurvesWithCurves(curves);
  curves = manifold->uniqueCurvesWithCurves(curves);

  WELinker linker(manifold);
  linker.linkWingedEdges(curves, 0.01);
  const auto faces = linker.addFacesToEdges(curves);
  int negative = 0;
  for (const auto& f : faces)
    if (manifold->areaOfFace(f) < 0) ++negative;
  if (negative >= 2) {
    std::vector<WEEdgeArray> edgeSets;
    for (const auto& f : faces) edgeSets.push_back(f->edges());
    platform::log("There are %lu networks", static_cast<unsigned long>(NetAnalysis::mergeIntersectingArrays(edgeSets).size()));
  }
  const auto nodeArrays = manifold->nodeAndWeightArraysForFaces(faces);

  const std::size_t count = densities.size();
  std::fill(result, result + count, 0.0);
  const auto rule = foundation::GaussLegendreIntegrator::integratorForOrder(5);
  const auto& patches = hull.patches();
  std::vector<R3SurfacePtr> surfaces;
  for (const auto& p : patches) surfaces.push_back(p->surface());
  for (const auto& nodes : nodeArrays)
    for (const auto& node : nodes) {
      const auto line = R3Line::lineWithPoint(node.point()->xyz(), n);
      // The segments are the same for every density: find them once per node.
      auto segments = segmentsAlongLine(*line, patches);
      if (segments.size() >= 2) segments = Advancers::curvesNotAdvancedUpon(segments, surfaces);
      for (std::size_t k = 0; k < count; ++k) {
        const LineFunctor f(line, densities[k]);
        double sum = 0;
        for (const auto& s : segments)
          sum += rule->integrateFunctor(f, line->parameterForPoint(*s->q0()), line->parameterForPoint(*s->q1()));
        result[k] += node.parameter() * sum;
      }
    }
}

double BSIG::integralAlongLine(const R3Line& line, const SurfacePatchArray& patches, const R3ToR1Map& density) {
  auto segments = segmentsAlongLine(line, patches);
  if (segments.size() >= 2) {
    std::vector<R3SurfacePtr> surfaces;
    for (const auto& p : patches) surfaces.push_back(p->surface());
    segments = Advancers::curvesNotAdvancedUpon(segments, surfaces);
  }
  const auto rule = foundation::GaussLegendreIntegrator::integratorForOrder(5);
  const auto ownLine = R3Line::lineWithLine(line);
  const LineFunctor f(ownLine, std::shared_ptr<const R3ToR1Map>(std::shared_ptr<const R3ToR1Map>{}, &density));
  double sum = 0;
  for (const auto& s : segments)
    sum += rule->integrateFunctor(f, line.parameterForPoint(*s->q0()), line.parameterForPoint(*s->q1()));
  return sum;
}

// --- outline ---------------------------------------------------------------------------------------

R3CurveArray BSIG::projectionOfHull(const R3Hull& hull, const R3Plane& plane) {
  const auto& edges = hull.edges();
  const auto& normal = *plane.normal();
  const auto limbPlanes = LimbGenerator::limbPlanesForPatches(hull.patches(), normal, 0);
  const auto limbs = LimbGenerator::limbsForPatches(hull.patches(), normal, 0);
  R3CurveArray curves;
  for (const auto& edge : edges) {
    const auto* ellipse = dynamic_cast<const R3Ellipse*>(edge.get());
    const bool edgeOn = ellipse && isEdgeOn(*ellipse, normal.xyz());
    if ((limbPlanes.empty() && !edgeOn) || dynamic_cast<const R3LineSegment*>(edge.get())) {
      curves.push_back(edge);
      continue;
    }
    PointCoalescer coalescer(1e-10);
    R3PointArray ends;
    if (edge->hasEnds())
      for (const auto& p : edge->endpoints()) ends.push_back(std::static_pointer_cast<R3Point>(coalescer.addPoint(p)));
    R3PointArray points;
    for (const auto& L : limbPlanes)
      for (const auto& p : edge->intersectionsWithPlane(*L)) {
        auto r = std::static_pointer_cast<R3Point>(coalescer.addPoint(p));
        if (std::find(ends.begin(), ends.end(), r) != ends.end()) continue;
        if (std::find(points.begin(), points.end(), r) == points.end()) points.push_back(r);
      }
    if (edgeOn) {
      // Seen edge-on, an arc projects onto a line; cut it where it turns back, so that every
      // piece projects onto a segment between its projected ends.
      const auto across = R3Point::pointWithXYZ(v3::cross(normal.xyz(), ellipse->normal()->xyz()));
      for (const auto& p : ellipse->pointsWhereTangentIsOrthogonalToDirection(*across)) {
        auto r = std::static_pointer_cast<R3Point>(coalescer.addPoint(p));
        if (std::find(ends.begin(), ends.end(), r) != ends.end()) continue;
        if (std::find(points.begin(), points.end(), r) == points.end()) points.push_back(r);
      }
    }
    if (points.empty()) {
      curves.push_back(edge);
    } else {
      for (auto& d : edge->daughtersForFissionPoints(points)) curves.push_back(std::move(d));
    }
  }
  curves.insert(curves.end(), limbs.begin(), limbs.end());
  R3CurveArray out;
  for (auto& c : edgesProjectedOntoPlane(curves, plane))
    if (c) out.push_back(std::move(c));
  return out;
}

R3CurveArray BSIG::edgesProjectedOntoPlane(const R3CurveArray& curves, const R3Plane& plane) {
  PointCoalescer coalescer(1e-10);
  R3CurveArray out;
  for (const auto& c : curves) {
    R3CurvePtr p;
    try {
      const auto* ellipse = dynamic_cast<const R3Ellipse*>(c.get());
      if (ellipse && isEdgeOn(*ellipse, plane.normal()->xyz())) {
        // No ellipse to answer: a piece with ends projects onto the segment between them.
        if (c->hasEnds()) {
          const auto a = R3Point::pointWithXYZ(plane.closestPointToPoint(*c->q0())->xyz());
          const auto b = R3Point::pointWithXYZ(plane.closestPointToPoint(*c->q1())->xyz());
          if (!a->isEqualTo(*b)) p = R3LineSegment::lineSegmentWithStartingPoint(a, b);
        }
      } else {
        p = c->projectionOntoPlane(plane);
      }
      if (p && p->hasEnds()) {
        const auto r0 = std::static_pointer_cast<R3Point>(coalescer.addPoint(p->q0()));
        const auto r1 = std::static_pointer_cast<R3Point>(coalescer.addPoint(p->q1()));
        if (r0 != p->q0() || r1 != p->q1()) p = p->regenerateWithStartingPoint(r0, r1);
      }
    } catch (const platform::Exception&) {
      p = nullptr;
    }
    out.push_back(p);
  }
  return out;
}

// --- lines through the patches -------------------------------------------------------------------

R3PointArray BSIG::intersectionsOfLine(const R3Line& line, const SurfacePatchArray& patches) {
  R3PointArray out;
  for (const auto& p : patches)
    for (auto& x : p->surface()->intersectionsWithLine(line)) out.push_back(std::move(x));
  return out;
}

std::vector<double> BSIG::parametersForWhichLine(const R3Line& line, const SurfacePatchArray& patches) {
  std::vector<double> out;
  for (const auto& p : patches)
    for (double t : p->surface()->intersectionParametersForLine(line)) out.push_back(t);
  return out;
}

int BSIG::getParametersForWhichLine(const R3Line& line, const SurfacePatchArray& patches, double* out, int length) {
  int count = 0;
  for (const auto& p : patches) {
    double room[8];
    const int n = p->surface()->getIntersectionParametersForLine(line, room, 8);
    for (int i = 0; i < n; ++i) {
      if (count >= length) throw platform::Exception("NSInternalInconsistencyException", "array overflow");
      out[count++] = room[i];
    }
  }
  return count;
}

std::vector<PointAndParameter> BSIG::sortedArrayOfPointAndParameterWhereLine(const R3Line& line,
                                                                             const SurfacePatchArray& patches) {
  return R3Curve::sortedArrayOfPointAndParameterForPoints(intersectionsOfLine(line, patches), line);
}

int BSIG::compareParameters(double a, double b) { return compareNaNLast(a, b); }

R3CurveArray BSIG::segmentsAlongLine(const R3Line& line, const SurfacePatchArray& patches) {
  double t[64];
  int n = getParametersForWhichLine(line, patches, t, 64);
  std::sort(t, t + n, parameterLess);
  while (n > 0 && std::isnan(t[n - 1])) --n;  // a crossing that is no number bounds nothing
  return Advancers::curvesNotAdvancedUpon(line.daughtersForSortedParameters(t, n), patches);
}

R3PointArray BSIG::coalescedEndpointsOfSegments(const R3CurveArray& segments) {
  PointCoalescer coalescer(1e-10);
  R3PointArray out;
  for (const auto& s : segments)
    for (const auto& p : s->endpoints()) out.push_back(std::static_pointer_cast<R3Point>(coalescer.addPoint(p)));
  return out;
}

SurfacePatchArray BSIG::patchesInArray(const SurfacePatchArray& patches, const R3CurveArray& segments) {
  SurfacePatchArray out;
  for (const auto& p : patches)
    for (const auto& s : segments)
      if (s->hasEnds() && (std::fabs(p->surface()->distanceToPoint(*s->q0())) < 1e-10 ||
                           std::fabs(p->surface()->distanceToPoint(*s->q1())) < 1e-10))
        out.push_back(p);
  return out;
}

SurfacePatchArray BSIG::patchesOfHull(const R3Hull& hull, const R3Line& line) {
  return patchesInArray(hull.patches(), segmentsAlongLine(line, hull.patches()));
}

}  // namespace orb::geometry
