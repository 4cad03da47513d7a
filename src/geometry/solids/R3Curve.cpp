#include "geometry/solids/R3Curve.h"

#include <algorithm>
#include <unordered_set>

#include "geometry/solids/Cloaked.h"
#include "geometry/solids/Coding.h"
#include "geometry/solids/PointCoalescer.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/R3Quadric.h"

namespace orb::geometry {

R3Curve::R3Curve(R3PointPtr q0, R3PointPtr q1) {
  setQ0(std::move(q0));
  setQ1(std::move(q1));
}

void R3Curve::encodeWithCoder(platform::Coder& coder) const {
  coding::requireKeyedArchiver(coder);
  coding::encodePoint(coder, "q0", m_q0);
  coding::encodePoint(coder, "q1", m_q1);
}

void R3Curve::initWithCoder(const platform::Coder& coder) {
  coding::requireKeyedArchiver(coder);
  setQ0(coding::decodePoint(coder, "q0"));
  setQ1(coding::decodePoint(coder, "q1"));
}

void R3Curve::setQ0(R3PointPtr q0) {
  m_q0 = std::move(q0);
  m_v[0] = m_q0;
}

void R3Curve::setQ1(R3PointPtr q1) {
  m_q1 = std::move(q1);
  m_v[1] = m_q1;
}

R3PointArray R3Curve::endpoints() const {
  if (!hasEnds()) return {};
  return {m_q0, m_q1};
}

R3CurvePtr R3Curve::regenerateWithStartingPoint(R3PointPtr, R3PointPtr) const { return nullptr; }
R3CurvePtr R3Curve::projectionOntoPlane(const R3Plane&) const { return nullptr; }
R3PointPtr R3Curve::pointForParameter(double) const { return nullptr; }
double R3Curve::parameterForPoint(const XYZValue&) const { return 0.0; }
R3PointPtr R3Curve::tangentForPoint(const XYZValue&) const { return nullptr; }
double R3Curve::parameterForIntersectionWithLine(const R3Line&) const { return 0.0; }
R3PointArray R3Curve::intersectionsWithPlane(const R3Plane&) const { return {}; }
R3CurveArray R3Curve::daughtersForFissionPoints(const R3PointArray&) const { return {}; }
bool R3Curve::closeEnoughToPoint(const XYZValue&) const { return true; }
std::shared_ptr<R3Quadric> R3Curve::quadricWithDirector(const XYZValue&) const { return nullptr; }
double R3Curve::momentForPoint(const XYZValue&, const XYZValue&) const { return 0.0; }
R3PointArray R3Curve::tangentPointsForLocus(const XYZValue&, const XYZValue&) const { return {}; }
R3CurvePtr R3Curve::embeddingCurve() const { return std::const_pointer_cast<R3Curve>(self()); }
R3PointPtr R3Curve::segmentAreaVector() const { return R3Point::origin(); }

bool R3Curve::intervalContainsPoint(const XYZValue& p) const {
  const double t = parameterForPoint(p);
  return 0 <= t && t <= 1;
}

bool R3Curve::intervalContainsPoint(const XYZValue& p, double fuzz) const {
  const double t = parameterForPoint(p);
  return -fuzz <= t && t <= 1 + fuzz;
}

R3PointArray R3Curve::closeEnoughPointsFromArray(const R3PointArray& points) const {
  R3PointArray out;
  for (const auto& p : points)
    if (p && closeEnoughToPoint(*p)) out.push_back(p);
  return out;
}

R3PointArray R3Curve::representativeTangentPoints() const {
  R3PointArray out;
  double t = 0;
  for (int i = 0; i < 6; ++i, t += 0.2) {
    const auto p = pointForParameter(t);
    out.push_back(p ? tangentForPoint(*p) : nullptr);
  }
  return out;
}

R3PointArray R3Curve::beads() const {
  R3PointArray out;
  for (double t = 0; t <= 1; t += 0.1)
    if (auto p = pointForParameter(t)) out.push_back(std::move(p));
  return out;
}

R3PointArray R3Curve::beadsWithPointCoalescer(PointCoalescer& coalescer) const {
  R3PointArray out;
  for (const auto& p : beads()) {
    auto r = std::dynamic_pointer_cast<R3Point>(coalescer.addPoint(p));
    if (r && std::find(out.begin(), out.end(), r) == out.end()) out.push_back(r);
  }
  return out;
}

std::shared_ptr<Cloaked> R3Curve::necklace() const {
  return Cloaked::instanceWithContent(std::const_pointer_cast<R3Curve>(self()), ObjectSet::setWithObjects(beads()));
}

std::shared_ptr<Cloaked> R3Curve::necklaceWithPointCoalescer(PointCoalescer& coalescer) const {
  return Cloaked::instanceWithContent(std::const_pointer_cast<R3Curve>(self()),
                                      ObjectSet::setWithObjects(beadsWithPointCoalescer(coalescer)));
}

void R3Curve::dumpPointsToFile(std::FILE* file, double t0, double t1) const {
  if (!file) return;
  for (double t = t0; t <= t1 + 0.005; t += 0.01)
    if (const auto p = pointForParameter(t)) std::fprintf(file, "%g %g %g\n", p->x(), p->y(), p->z());
}

std::string R3Curve::linkFlags() const {
  const auto on = [](const std::weak_ptr<platform::Object>& w) { return w.expired() ? "0" : "1"; };
  return platform::format("[%s%s%s%s][%s%s]", on(m_em[0]), on(m_ep[0]), on(m_em[1]), on(m_ep[1]), on(m_f[0]),
                          on(m_f[1]));
}

R3PointArray R3Curve::endpointsOfCurves(const R3CurveArray& curves) {
  struct Hash {
    std::size_t operator()(const R3PointPtr& p) const { return p->hash(); }
  };
  struct Eq {
    bool operator()(const R3PointPtr& a, const R3PointPtr& b) const { return a->isEqualTo(*b); }
  };
  std::unordered_set<R3PointPtr, Hash, Eq> set;
  R3PointArray out;
  for (const auto& c : curves)
    if (c && c->hasEnds())
      for (const auto& p : {c->q0(), c->q1()})
        if (set.insert(p).second) out.push_back(p);
  return out;
}

R3PointPtr R3Curve::commonEndpointForCurveA(const R3Curve& a, const R3Curve& b) {
  if (!a.hasEnds() || !b.hasEnds()) return nullptr;
  if (a.q1()->isEqualTo(*b.q0()) || a.q1()->isEqualTo(*b.q1())) return a.q1();
  if (a.q0()->isEqualTo(*b.q0()) || a.q0()->isEqualTo(*b.q1())) return a.q0();
  return nullptr;
}

R3PointArray R3Curve::tangentPairForCurveA(const R3Curve& a, const R3Curve& b) {
  if (!a.hasEnds() || !b.hasEnds()) return {};
  const auto tangent = [](const R3Curve& c, const R3PointPtr& p, bool negate) -> R3PointPtr {
    auto t = c.tangentForPoint(*p);
    if (t && negate) return R3Point::pointWithXYZ({-t->x(), -t->y(), -t->z()});
    return t;
  };
  if (a.q1()->isEqualTo(*b.q0())) return {tangent(a, a.q1(), false), tangent(b, b.q0(), false)};
  if (a.q1()->isEqualTo(*b.q1())) return {tangent(a, a.q1(), false), tangent(b, b.q1(), true)};
  if (a.q0()->isEqualTo(*b.q0())) return {tangent(a, a.q0(), true), tangent(b, b.q0(), false)};
  if (a.q0()->isEqualTo(*b.q1())) return {tangent(a, a.q0(), true), tangent(b, b.q1(), true)};
  return {};
}

std::vector<PointAndParameter> R3Curve::sortedArrayOfPointAndParameterForPoints(const R3PointArray& points,
                                                                               const R3Curve& curve) {
  std::vector<PointAndParameter> records;
  records.reserve(points.size());
  for (const auto& p : points) records.emplace_back(p, curve.parameterForPoint(*p));
  std::stable_sort(records.begin(), records.end());
  return records;
}

R3PointArray R3Curve::sortedArrayOfPoints(const R3PointArray& points, const R3Curve& curve, bool filter,
                                          double inset) {
  if (points.size() < 2) return points;
  R3PointArray out;
  for (const auto& r : sortedArrayOfPointAndParameterForPoints(points, curve)) {
    if (filter && !(inset < r.parameter() && r.parameter() < 1 - inset)) continue;
    out.push_back(std::static_pointer_cast<R3Point>(r.point()));
  }
  return out;
}

R3PointArray PointFilter::pointsInArray(const R3PointArray& points, const R3Curve& curve) {
  R3PointArray out;
  for (const auto& p : points)
    if (curve.intervalContainsPoint(*p)) out.push_back(p);
  return out;
}

R3PointArray PointFilter::pointsInArray(const R3PointArray& points, const R3Curve& curve, double fuzz) {
  R3PointArray out;
  for (const auto& p : points)
    if (curve.intervalContainsPoint(*p, fuzz)) out.push_back(p);
  return out;
}

}  // namespace orb::geometry
