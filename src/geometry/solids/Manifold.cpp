#include "geometry/solids/Manifold.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_set>

#include "geometry/solids/PointCoalescer.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/Vector3.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

using foundation::XYZ;

namespace {

[[noreturn]] void unrecognized(const char* selector) {
  throw platform::Exception("NSInvalidArgumentException",
                            std::string("-[Manifold ") + selector + "]: unrecognized selector sent to instance");
}

R3PointPtr negatedPoint(const R3PointPtr& p) { return p ? R3Point::pointWithXYZ(v3::negate(p->xyz())) : nullptr; }

/// The key text of a coalesced representative: its components to the last bit, so that
/// representatives that differ anywhere give different keys (a rounded print would merge
/// distinct curves).
std::string keyText(const std::shared_ptr<XYZValue>& p) {
  return platform::format("(%.17g,%.17g,%.17g)", p->x(), p->y(), p->z());
}

std::shared_ptr<XYZValue> pointValue(const XYZ& v) { return R3Point::pointWithXYZ(v); }

XYZ closestPointOfLineToOrigin(const R3Line& line) {
  const XYZ p = line.start(), d = line.directorXYZ();
  const double dd = v3::dot(d, d);
  return dd > 0 ? v3::addScaled(p, d, -v3::dot(p, d) / dd) : p;
}

/// The coalescers of one keying pass.
struct Keyer {
  PointCoalescer P{1e-10}, K{1e-10}, Q{1e-10};
  UnorientedCoalescer U{1e-10}, A{1e-10};

  std::string lineKey(const R3Line& line) {
    return "L " + keyText(P.addPoint(pointValue(closestPointOfLineToOrigin(line)))) + " " +
           keyText(U.addPoint(pointValue(v3::normalize(line.directorXYZ()))));
  }
  std::string ellipseKey(const R3Ellipse& e) {
    if (e.isCircle())
      return "C " + keyText(K.addPoint(e.center())) + " " +
             keyText(A.addPoint(pointValue(v3::scale(e.normal()->xyz(), e.semimajorAxis()->abs()))));
    return "E " + keyText(K.addPoint(e.center())) + " " + keyText(A.addPoint(e.semimajorAxis())) + " " +
           keyText(A.addPoint(e.semiminorAxis()));
  }
};

}  // namespace

// --- geometry the subclass supplies ----------------------------------------------------------

R3PointArray Manifold::intersectionsOfCurveA(const R3Curve&, const R3Curve&, PointCoalescer&) const {
  unrecognized("intersectionsOfCurveA:curveB:coalescer:");
}
double Manifold::areaOfTriangleWithVertices(const XYZValue&, const XYZValue&, const XYZValue&) const {
  unrecognized("areaOfTriangleWithVertices:::");
}
double Manifold::angleForPoint(const XYZValue&, const XYZValue&, const XYZValue&) const {
  unrecognized("angleForPoint:tangentA:tangentB:");
}

// --- turn angles ------------------------------------------------------------------------------

namespace {

struct Corner {
  R3PointPtr vertex;
  bool atEndA, atEndB;  // A meets at its q1 / B meets at its q1
};

std::optional<Corner> sharedEnd(const R3Curve& a, const R3Curve& b) {
  if (!a.hasEnds() || !b.hasEnds()) return std::nullopt;
  if (a.q1()->isEqualTo(*b.q0())) return Corner{a.q1(), true, false};
  if (a.q1()->isEqualTo(*b.q1())) return Corner{a.q1(), true, true};
  if (a.q0()->isEqualTo(*b.q0())) return Corner{a.q0(), false, false};
  if (a.q0()->isEqualTo(*b.q1())) return Corner{a.q0(), false, true};
  return std::nullopt;
}

/// The tangent of a curve at its end (q1 when atEnd) or a fraction `inset` in from it,
/// pointing into the end when `into`, away from it otherwise.
R3PointPtr endTangent(const R3Curve& c, bool atEnd, double inset, bool into) {
  const R3PointPtr at = inset == 0 ? (atEnd ? c.q1() : c.q0()) : c.pointForParameter(atEnd ? 1 - inset : inset);
  auto t = c.tangentForPoint(*at);
  if (!t) return nullptr;
  // The tangent runs with growing parameter: into q1, away from q0.
  return into == atEnd ? t : negatedPoint(t);
}

}  // namespace

double Manifold::tangentAngleForCurveA(const R3Curve& a, const R3Curve& b) const { return tangentAngleForCurveA(a, b, 0.0); }

double Manifold::tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, double inset) const {
  const auto corner = sharedEnd(a, b);
  if (!corner) return 0;
  const auto tA = endTangent(a, corner->atEndA, inset, true);
  const auto tB = endTangent(b, corner->atEndB, inset, false);
  if (!tA || !tB) return 0;
  return angleForPoint(*corner->vertex, *tA, *tB);
}

double Manifold::tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, const XYZValue& vertex) const {
  R3PointPtr tA, tB;
  if (a.hasEnds() && a.q1()->isEqualTo(vertex))
    tA = a.tangentForPoint(vertex);
  else if (a.hasEnds() && a.q0()->isEqualTo(vertex))
    tA = negatedPoint(a.tangentForPoint(*a.q0()));
  else
    platform::log("tangentAngleForCurveA: %s curveB: %s vertex: %s", a.description().c_str(), b.description().c_str(),
                  vertex.description().c_str());
  if (b.hasEnds() && b.q0()->isEqualTo(vertex))
    tB = b.tangentForPoint(*b.q0());
  else if (b.hasEnds() && b.q1()->isEqualTo(vertex))
    tB = negatedPoint(b.tangentForPoint(*b.q1()));
  if (!tA || !tB) return 0;
  return angleForPoint(vertex, *tA, *tB);
}

double Manifold::tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, const XYZValue& vertex,
                                       double inset) const {
  R3PointPtr tA, tB;
  if (a.hasEnds() && a.q1()->isEqualTo(vertex))
    tA = endTangent(a, true, inset, true);
  else if (a.hasEnds() && a.q0()->isEqualTo(vertex))
    tA = endTangent(a, false, inset, true);
  if (b.hasEnds() && b.q0()->isEqualTo(vertex))
    tB = endTangent(b, false, inset, false);
  else if (b.hasEnds() && b.q1()->isEqualTo(vertex))
    tB = endTangent(b, true, inset, false);
  if (!tA || !tB) return 0;
  return angleForPoint(vertex, *tA, *tB);
}

double Manifold::tangentAngleAtEnds(const R3Curve& a, bool atEndA, const R3Curve& b, bool atEndB, double inset) const {
  if (!a.hasEnds() || !b.hasEnds()) return 0;
  const auto tA = endTangent(a, atEndA, inset, true);
  const auto tB = endTangent(b, atEndB, inset, false);
  if (!tA || !tB) return 0;
  return angleForPoint(atEndA ? *a.q1() : *a.q0(), *tA, *tB);
}

R3PointPtr Manifold::turnVectorForCurveA(const R3Curve& a, const R3Curve& b) const {
  const auto corner = sharedEnd(a, b);
  if (!corner) return R3Point::origin();
  const auto tA = endTangent(a, corner->atEndA, 0, true);
  const auto tB = endTangent(b, corner->atEndB, 0, false);
  if (!tA || !tB) return R3Point::origin();
  return R3Point::pointWithXYZ(v3::cross(tA->xyz(), tB->xyz()));
}

namespace {

/// One step of a face walk: the edge and the direction it is walked in (1: towards q1).
struct Step {
  const platform::Object* edge;
  int d;
};

/// Calls visit(previous, next, vertex reached at the end of previous) for each
/// consecutive pair of the face walk, the closing pair included when `repeat`.
template <class Visit>
void forEachPair(const WEFacePtr& face, bool repeat, Visit visit) {
  WEEdgeEnumerator walk(face);
  walk.setRepeatsInitialEdgeIfClosed(repeat);
  WEEdgePtr previous;
  int previousD = 0;
  R3PointPtr reached;
  while (auto edge = walk.nextObject()) {
    if (previous) visit(Step{previous.get(), previousD}, Step{edge.get(), walk.directionIndex()}, reached);
    previous = edge;
    previousD = walk.directionIndex();
    reached = walk.vertex();
  }
}

const R3Curve& asCurve(const platform::Object& o) {
  const auto* c = dynamic_cast<const R3Curve*>(&o);
  if (!c) throw platform::Exception("NSInternalInconsistencyException", "Manifold faces hold curves");
  return *c;
}

}  // namespace

// The walks know which ends meet (the previous edge arrives at its end d, the next leaves
// from its end 1 − d), so turns are taken there rather than found by comparing points.

double Manifold::totalTurnAngleOfFace(const WEFacePtr& face) const {
  double sum = 0;
  forEachPair(face, true, [&](const Step& p, const Step& n, const R3PointPtr&) {
    sum += tangentAngleAtEnds(asCurve(*p.edge), p.d == 1, asCurve(*n.edge), n.d == 0);
  });
  return sum;
}

std::vector<double> Manifold::turnAnglesOfFace(const WEFacePtr& face) const {
  std::vector<double> out;
  WEEdgeEnumerator walk(face);
  WEEdgePtr first, previous;
  int firstD = 0, previousD = 0;
  while (auto edge = walk.nextObject()) {
    const int d = walk.directionIndex();
    if (!first) first = edge, firstD = d;
    if (previous) out.push_back(tangentAngleAtEnds(asCurve(*previous), previousD == 1, asCurve(*edge), d == 0));
    previous = edge;
    previousD = d;
  }
  if (walk.closed() && previous)
    out.push_back(tangentAngleAtEnds(asCurve(*previous), previousD == 1, asCurve(*first), firstD == 0));
  return out;
}

R3PointPtr Manifold::totalTurnVectorOfFace(const WEFacePtr& face) const {
  XYZ sum{0, 0, 0};
  forEachPair(face, true, [&](const Step& p, const Step& n, const R3PointPtr&) {
    const auto& a = asCurve(*p.edge);
    const auto& b = asCurve(*n.edge);
    if (!a.hasEnds() || !b.hasEnds()) return;
    const auto tA = endTangent(a, p.d == 1, 0, true);
    const auto tB = endTangent(b, n.d == 0, 0, false);
    if (tA && tB) sum = v3::add(sum, v3::cross(tA->xyz(), tB->xyz()));
  });
  return R3Point::pointWithXYZ(sum);
}

R3PointArray Manifold::kinksForFace(const WEFacePtr& face, double angleThreshold) const {
  R3PointArray out;
  forEachPair(face, true, [&](const Step& p, const Step& n, const R3PointPtr& vertex) {
    const double turn = tangentAngleAtEnds(asCurve(*p.edge), p.d == 1, asCurve(*n.edge), n.d == 0);
    if (std::fabs(turn) > angleThreshold && vertex) out.push_back(vertex);
  });
  return out;
}

R3PointArray Manifold::kinksForFace(const WEFacePtr& face) const { return kinksForFace(face, M_PI / 2); }

R3PointPtr Manifold::meanVectorOfFace(const WEFacePtr& face) const {
  WEVertexEnumerator walk(face);
  XYZ sum{0, 0, 0};
  int n = 0;
  while (auto v = walk.nextObject()) {
    sum = v3::add(sum, v->xyz());
    ++n;
  }
  return R3Point::pointWithXYZ(v3::scale(sum, 1.0 / n));
}

// --- areas --------------------------------------------------------------------------------------

double Manifold::areaOfFace(const WEFacePtr& face) const {
  R3PointArray w;
  {
    WEVertexEnumerator walk(face);
    while (auto v = walk.nextObject()) w.push_back(v);
  }
  double area = 0;
  for (std::size_t i = 1; i + 1 < w.size(); ++i) area += areaOfTriangleWithVertices(*w[0], *w[i], *w[i + 1]);
  WEEdgeEnumerator walk(face);
  while (auto edge = walk.nextObject()) {
    const auto& c = asCurve(*edge);
    if (c.hasEnds()) area += segmentAreaForCurve(c, walk.directionIndex() == 1 ? *c.q1() : *c.q0());
  }
  return area;
}

double Manifold::totalAreaOfFaces(const WEFaceArray& faces) const {
  double sum = 0;
  for (const auto& f : faces) sum += areaOfFace(f);
  return sum;
}

double Manifold::totalAreaOfPositiveAreaFaces(const WEFaceArray& faces) const {
  double sum = 0;
  for (const auto& f : faces) {
    const double a = areaOfFace(f);
    if (a > 0) sum += a;
  }
  return sum;
}

// --- curve sets -------------------------------------------------------------------------------

std::map<std::string, R3CurveArray> Manifold::partitionDictionaryForCurves(const R3CurveArray& curves) const {
  Keyer k;
  std::map<std::string, R3CurveArray> partition;
  for (const auto& c : curves) {
    std::string key;
    if (const auto* s = dynamic_cast<const R3LineSegment*>(c.get())) {
      k.P.addPoint(pointValue(closestPointOfLineToOrigin(*s)));
      k.U.addPoint(pointValue(v3::normalize(s->directorXYZ())));
      key = "LS " + keyText(k.P.addPoint(pointValue(v3::add(s->q0()->xyz(), s->q1()->xyz())))) + " " +
            keyText(k.U.addPoint(pointValue(v3::sub(s->q0()->xyz(), s->q1()->xyz()))));
    } else if (const auto* l = dynamic_cast<const R3Line*>(c.get())) {
      key = k.lineKey(*l);
    } else if (const auto* es = dynamic_cast<const R3EllipseSegment*>(c.get())) {
      const XYZ normal = es->normal()->xyz();
      if (!es->isCircle()) {
        const auto K = k.K.addPoint(es->center());
        const auto m = k.A.addPoint(es->semiminorAxis());
        const auto M = k.A.addPoint(es->semimajorAxis());
        const bool forward = v3::dot(v3::cross(m->xyz(), M->xyz()), normal) > 0;
        const auto Q0 = k.Q.addPoint(forward ? es->q0() : es->q1());
        const auto Q1 = k.Q.addPoint(forward ? es->q1() : es->q0());
        key = "ES " + keyText(K) + " " + keyText(m) + " " + keyText(M) + " " + keyText(Q0) + " " + keyText(Q1);
      } else {
        const auto K = k.K.addPoint(es->center());
        const auto N = k.A.addPoint(pointValue(v3::scale(normal, es->semimajorAxis()->abs())));
        const bool forward = v3::dot(N->xyz(), normal) > 0;
        const auto Q0 = k.Q.addPoint(forward ? es->q0() : es->q1());
        const auto Q1 = k.Q.addPoint(forward ? es->q1() : es->q0());
        key = "CS " + keyText(K) + " " + keyText(N) + " " + keyText(Q0) + " " + keyText(Q1);
      }
    } else if (const auto* e = dynamic_cast<const R3Ellipse*>(c.get())) {
      key = k.ellipseKey(*e);
    } else {
      continue;
    }
    partition[key].push_back(c);
    c->setKey(key);
  }
  return partition;
}

R3CurveArray Manifold::uniqueCurvesWithCurves(const R3CurveArray& curves) const {
  const auto partition = partitionDictionaryForCurves(curves);
  R3CurveArray out;
  for (const auto& [key, members] : partition) out.push_back(members.front());
  // Curves of other kinds have no key; they are kept as they are rather than lost.
  for (const auto& c : curves)
    if (!dynamic_cast<const R3Line*>(c.get()) && !dynamic_cast<const R3Ellipse*>(c.get())) out.push_back(c);
  return out;
}

bool Manifold::curvesAreUniqueInArray(const R3CurveArray& curves) const {
  for (const auto& [key, members] : partitionDictionaryForCurves(curves))
    if (members.size() >= 2) {
      std::string list;
      for (const auto& m : members) list += m->description() + "\n";
      platform::log("partition = %s", list.c_str());
      return false;
    }
  return true;
}

std::map<std::string, R3CurveArray> Manifold::partitionDictionaryForMotherCurves(const R3CurveArray& curves) const {
  Keyer k;
  std::map<std::string, R3CurveArray> partition;
  for (const auto& c : curves) {
    std::string key;
    if (const auto* s = dynamic_cast<const R3LineSegment*>(c.get()))
      key = k.lineKey(*s);
    else if (const auto* e = dynamic_cast<const R3Ellipse*>(c.get()))
      key = k.ellipseKey(*e);
    else
      continue;
    partition[key].push_back(c);
    c->setKey(key);
  }
  return partition;
}

R3CurveArray Manifold::nonoverlappingCurvesWithCurves(const R3CurveArray& curves) const {
  R3CurveArray out;
  for (const auto& [key, members] : partitionDictionaryForMotherCurves(curves)) {
    if (members.size() == 1) {
      out.push_back(members.front());
      continue;
    }
    PointCoalescer coalescer(1e-10);
    R3PointArray points;
    for (const auto& m : members)
      for (const auto& p : m->endpoints()) {
        auto r = std::static_pointer_cast<R3Point>(coalescer.addPoint(p));
        if (std::find(points.begin(), points.end(), r) == points.end()) points.push_back(r);
      }
    const auto mother = members.front()->embeddingCurve();
    for (const auto& piece : mother->daughtersForFissionPoints(points)) {
      const auto t = piece->testPoint();
      if (t && std::any_of(members.begin(), members.end(), [&](const R3CurvePtr& m) { return m->intervalContainsPoint(*t); }))
        out.push_back(piece);
    }
  }
  // Curves that no supporting line or ellipse holds are kept, not dropped.
  for (const auto& c : curves)
    if (!dynamic_cast<const R3LineSegment*>(c.get()) && !dynamic_cast<const R3Ellipse*>(c.get())) out.push_back(c);
  return out;
}

R3CurveArray Manifold::nonintersectingCurvesWithCurves(const R3CurveArray& curves, double tolerance) const {
  PointCoalescer coalescer(tolerance);
  R3CurveArray kept;
  for (const auto& c : curves) {
    if (!c->hasEnds()) {
      kept.push_back(c);
      continue;
    }
    const auto r0 = std::static_pointer_cast<R3Point>(coalescer.addPoint(c->q0()));
    const auto r1 = std::static_pointer_cast<R3Point>(coalescer.addPoint(c->q1()));
    if (r0 == c->q0() && r1 == c->q1()) {
      kept.push_back(c);
    } else if (r0 == r1) {
      platform::log("Terminating zero length curve %s", c->description().c_str());
    } else if (auto regenerated = c->regenerateWithStartingPoint(r0, r1)) {
      kept.push_back(regenerated);
    }
  }
  std::vector<R3PointArray> cuts(kept.size());
  const auto addCut = [](R3PointArray& list, const R3Curve& c, const R3PointPtr& p) {
    if (p == c.q0() || p == c.q1()) return;
    if (std::find(list.begin(), list.end(), p) == list.end()) list.push_back(p);
  };
  for (std::size_t i = 0; i < kept.size(); ++i)
    for (std::size_t j = i + 1; j < kept.size(); ++j) {
      for (const auto& x : intersectionsOfCurveA(*kept[i], *kept[j], coalescer)) {
        const auto p = std::static_pointer_cast<R3Point>(coalescer.addPoint(x));
        addCut(cuts[i], *kept[i], p);
        addCut(cuts[j], *kept[j], p);
      }
    }
  R3CurveArray out;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (cuts[i].empty()) {
      out.push_back(kept[i]);
      continue;
    }
    for (auto& d : kept[i]->daughtersForFissionPoints(cuts[i])) out.push_back(std::move(d));
  }
  return out;
}

// --- quadrature -------------------------------------------------------------------------------

std::vector<NodeAndWeightArray> Manifold::nodeAndWeightArraysForFaces(const WEFaceArray& faces) const {
  std::vector<NodeAndWeightArray> out;
  try {
    for (const auto& f : faces) out.push_back(nodeAndWeightArrayForFace(f));
  } catch (const platform::Exception& e) {
    std::string list;
    for (const auto& f : faces) list += f->description() + "\n";
    platform::log("*** %s nodeAndWeightArraysForFaces: %s", description().c_str(), list.c_str());
    platform::log("<exception>");
    platform::log("  <name>%s</name>", e.name().c_str());
    platform::log("  <reason>%s</reason>", e.reason().c_str());
    platform::log("</exception>");
    platform::log("<throw/>");
    throw;
  }
  return out;
}

double Manifold::sumOfWeightsInNodeAndWeightArray(const NodeAndWeightArray& array) {
  double sum = 0;
  for (const auto& n : array) sum += n.parameter();
  return sum;
}

double Manifold::sumOfWeightsInNodeAndWeightArrays(const std::vector<NodeAndWeightArray>& arrays) {
  double sum = 0;
  for (const auto& a : arrays) sum += sumOfWeightsInNodeAndWeightArray(a);
  return sum;
}

double Manifold::areaQuadratureForFaces(const WEFaceArray& faces) const {
  return sumOfWeightsInNodeAndWeightArrays(nodeAndWeightArraysForFaces(faces));
}

// --- the curve class's own use ----------------------------------------------------------------

R3CurveArray R3Curve::uniqueCurvesFromArray(const R3CurveArray& curves) { return Manifold().uniqueCurvesWithCurves(curves); }

}  // namespace orb::geometry
