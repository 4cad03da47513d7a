#include "geometry/solids/R3Hull.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "foundation/platform/ArrayExtensions.h"
#include "geometry/solids/BSIG.h"
#include "geometry/solids/Coding.h"
#include "geometry/solids/PointCoalescer.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"
#include "geometry/values/GeometryDebug.h"
#include "platform/Log.h"

namespace orb::geometry {

namespace {

std::atomic<int> nextReferenceNumber{0};

/// The key that identifies a surface among a hull's walls: a plane by its exact
/// coefficients, so that two walls a rounding apart are never taken for one.
std::string surfaceKey(const R3Surface& s) {
  if (const auto* plane = dynamic_cast<const R3Plane*>(&s)) return plane->exactDescription();
  return s.description();
}

}  // namespace

R3Hull::R3Hull(SurfacePatchArray patches) : m_referenceNumber(nextReferenceNumber++), m_patches(std::move(patches)) {
  makeEdges();
}

R3Hull::R3Hull() : m_referenceNumber(nextReferenceNumber++) {}

void R3Hull::encodeWithCoder(platform::Coder& coder) const {
  coding::requireKeyedArchiver(coder);
  platform::Array patches;
  for (const auto& p : m_patches) patches.push_back(platform::Value(p));
  coder.encodeObject("patches", platform::Value(std::move(patches)));
}

void R3Hull::initWithCoder(const platform::Coder& coder) {
  coding::requireKeyedArchiver(coder);
  m_patches = coder.decodeArrayOfClass<SurfacePatch>("patches");
  // Points archive as their doubles, so each edge comes back with its own end points; a
  // corner is one object again once coalesced, as the build made it (points, eulerSum and
  // the edge groups compare end points by identity).
  PointCoalescer coalescer(1e-10);
  for (const auto& patch : m_patches)
    for (const auto& edge : patch->edges()) {
      if (edge->q0()) edge->setQ0(coalescer.addPointAs(edge->q0()));
      if (edge->q1()) edge->setQ1(coalescer.addPointAs(edge->q1()));
    }
  m_haveEdges = false;
}

std::shared_ptr<R3Hull> R3Hull::hullWithPatches(SurfacePatchArray patches) {
  return platform::makeObject<R3Hull>(std::move(patches));
}

std::string R3Hull::description() const {
  std::string list = "(";
  for (std::size_t i = 0; i < m_patches.size(); ++i) list += (i ? ", " : "") + m_patches[i]->description();
  return platform::format("Hull#%d[%s)]", m_referenceNumber, list.c_str());
}

std::shared_ptr<R3Hull> R3Hull::hullWithSurfaces(const std::vector<R3SurfacePtr>& S) {
  PointCoalescer coalescer(1e-10);
  struct Entry {
    R3SurfacePtr surface;
    R3CurveArray edges;
  };
  std::map<std::string, Entry> entries;
  for (const auto& s : S) {
    auto& entry = entries[surfaceKey(*s)];
    entry.surface = s;  // a later equal surface replaces the earlier
  }
  for (std::size_t i = 0; i < S.size(); ++i)
    for (std::size_t j = i + 1; j < S.size(); ++j) {
      const auto curves = R3Surface::curvesOfIntersectionOfSurface(*S[i], *S[j]);
      if (curves.empty()) continue;
      std::vector<R3SurfacePtr> others;
      for (const auto& s : S)
        if (s != S[i] && s != S[j]) others.push_back(s);
      for (const auto& c : curves) {
        R3PointArray points;
        for (const auto& o : others)
          for (const auto& p : o->intersectionsWithCurve(*c))
            points.push_back(std::static_pointer_cast<R3Point>(coalescer.addPoint(p)));
        const R3CurveArray pieces = points.empty() ? R3CurveArray{c} : c->daughtersForFissionPoints(points);
        for (const auto& piece : Advancers::curvesNotAdvancedUpon(pieces, others)) {
          entries[surfaceKey(*S[i])].edges.push_back(piece);
          entries[surfaceKey(*S[j])].edges.push_back(piece);
        }
      }
    }
  SurfacePatchArray patches;
  for (const auto& [key, entry] : entries) {
    if (entry.edges.empty()) continue;
    const auto edges = R3Curve::uniqueCurvesFromArray(entry.edges);
    for (const auto& group : connectedEdgesForEdges(edges)) {
      if (group.empty()) continue;
      const bool allSegments = foundation::areKindOfClass<R3LineSegment>(group);
      if (group.size() >= (allSegments ? 3u : 1u)) patches.push_back(SurfacePatch::patchWithSurface(entry.surface, group));
    }
  }
  if (patches.empty()) return nullptr;
  return hullWithPatches(std::move(patches));
}

std::vector<R3CurveArray> R3Hull::connectedEdgesForEdges(const R3CurveArray& E) {
  R3CurveArray ended, closed;
  for (const auto& e : E) (e->hasEnds() ? ended : closed).push_back(e);
  std::vector<R3PointArray> ends;
  for (const auto& e : ended) ends.push_back(e->endpoints());
  const auto components = NetAnalysis::mergeIntersectingArrays(ends);
  std::vector<R3CurveArray> groups;
  if (components.size() < 2) {
    groups.push_back(ended);
  } else {
    for (const auto& component : components) {
      R3CurveArray group;
      for (const auto& e : ended)
        if (std::find(component.begin(), component.end(), e->q0()) != component.end()) group.push_back(e);
      groups.push_back(std::move(group));
    }
  }
  if (closed.empty()) return groups;
  R3CurveArray all;
  for (const auto& g : groups) all.insert(all.end(), g.begin(), g.end());
  all.insert(all.end(), closed.begin(), closed.end());
  return {all};
}

void R3Hull::makeEdges() const {
  R3CurveArray all;
  for (const auto& p : m_patches) all.insert(all.end(), p->edges().begin(), p->edges().end());
  m_edges = R3Curve::uniqueCurvesFromArray(all);
  m_haveEdges = true;
}

const R3CurveArray& R3Hull::edges() const {
  if (!m_haveEdges) makeEdges();
  return m_edges;
}

R3PointArray R3Hull::points() const {
  R3PointArray out;
  for (const auto& e : edges())
    for (const auto& p : e->endpoints())
      if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
  return out;
}

int R3Hull::eulerSum() const {
  return static_cast<int>(points().size()) - static_cast<int>(edges().size()) + static_cast<int>(m_patches.size());
}

std::shared_ptr<R3Hull> R3Hull::intersectionWithHull(const R3Hull& other) const {
  std::vector<R3SurfacePtr> kept;
  for (const auto* hull : {this, &other})
    for (const auto& patch : hull->m_patches) {
      const auto q = patch->surface()->quadric();
      const bool repeated = std::any_of(kept.begin(), kept.end(), [&](const R3SurfacePtr& k) {
        const auto kq = k->quadric();
        return q && kq && kq->deviationFromQuadric(q.get()) < 1e-6;
      });
      if (!repeated) kept.push_back(patch->surface());
    }
  return hullWithSurfaces(kept);
}

R3PointPtr R3Hull::testPointForPatch(const SurfacePatch& patch) const {
  if (debugOutput()) platform::log("testPointForPatch: %s", patch.description().c_str());
  const auto& edges = patch.edges();
  if (edges.empty()) return patch.surface()->testPoint();
  const auto q = edges.front()->pointForParameter(0.455323);
  const auto t = q ? edges.front()->tangentForPoint(*q) : nullptr;
  if (!q || !t) return patch.surface()->testPoint();
  const auto plane = R3Plane::planeWithNormal(*t, *q);
  const auto generators = R3Surface::curvesOfIntersectionOfSurface(*patch.surface(), *plane);
  R3PointArray fission;
  for (const auto& e : edges)
    for (const auto& p : e->intersectionsWithPlane(*plane)) fission.push_back(p);
  R3CurveArray candidates;
  for (const auto& g : generators)
    for (const auto& d : g->daughtersForFissionPoints(g->closeEnoughPointsFromArray(fission))) candidates.push_back(d);
  if (candidates.size() >= 2) candidates = Advancers::curvesNotAdvancedUpon(candidates, m_patches);
  // No interior piece: the surface's own test point is the best origin there is.
  if (candidates.empty()) return patch.surface()->testPoint();
  return candidates.front()->testPoint();
}

double R3Hull::surfaceArea() const {
  if (!m_haveSurfaceArea) {
    double sum = 0;
    for (const auto& p : m_patches) sum += p->areaWithOrigin(testPointForPatch(*p));
    m_surfaceArea = sum;
    m_haveSurfaceArea = true;
  }
  return m_surfaceArea;
}

double R3Hull::volume() const {
  if (!m_haveVolume) {
    m_volume = BSIG::volumeOfHull(*this);
    m_haveVolume = true;
  }
  return m_volume;
}

foundation::XYZ R3Hull::firstMomentVector() const {
  if (!m_haveFirstMomentVector) {
    m_firstMomentVector = BSIG::firstMomentVectorOfHull(*this);
    m_haveFirstMomentVector = true;
  }
  return m_firstMomentVector;
}

foundation::XYZTensor R3Hull::secondMomentTensor() const {
  if (!m_haveSecondMomentTensor) {
    m_secondMomentTensor = BSIG::secondMomentTensorOfHull(*this);
    m_haveSecondMomentTensor = true;
  }
  return m_secondMomentTensor;
}

}  // namespace orb::geometry
