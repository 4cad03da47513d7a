#include "geometry/solids/WingedEdge.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "geometry/solids/Manifold.h"
#include "geometry/solids/PointCoalescer.h"
#include "geometry/solids/R3Curve.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

namespace {

const char* text(const std::shared_ptr<platform::Object>& o) {
  static thread_local std::string buffer;
  buffer = o ? o->description() : std::string("(null)");
  return buffer.c_str();
}

std::string describe(const std::weak_ptr<platform::Object>& slot) {
  const auto o = slot.lock();
  return o ? o->description() : std::string("(null)");
}

unsigned long identity(const void* p) { return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(p)); }

R3Curve& curveOf(const WEEdgePtr& edge) {
  auto* curve = dynamic_cast<R3Curve*>(edge.get());
  if (!curve) throw platform::Exception("WE", "Not a curve");
  return *curve;
}

}  // namespace

WingedEdge& wingedEdge(const platform::Object& edge) {
  auto* we = dynamic_cast<WingedEdge*>(const_cast<platform::Object*>(&edge));
  if (!we) throw platform::Exception("WE", "Not a winged edge");
  return *we;
}

R3PointPtr slotVertex(const std::weak_ptr<platform::Object>& slot) {
  return std::dynamic_pointer_cast<R3Point>(slot.lock());
}

// --- WEFace ---------------------------------------------------------------------------------

std::string WEFace::description() const {
  std::string s = "(";
  for (std::size_t i = 0; i < m_edges.size(); ++i) {
    if (i) s += ", ";
    s += m_edges[i] ? m_edges[i]->description() : std::string("(null)");
  }
  return s + ")";
}

std::shared_ptr<R3Curve> WEFace::curveAt(std::size_t i) const { return std::dynamic_pointer_cast<R3Curve>(m_edges.at(i)); }

// --- WEProxy --------------------------------------------------------------------------------

WEProxy::WEProxy(std::shared_ptr<R3Curve> curve) : m_curve(std::move(curve)) {
  if (m_curve) {
    m_v[0] = m_curve->q0();
    m_v[1] = m_curve->q1();
  }
}

std::shared_ptr<WEProxy> WEProxy::proxyWithCurve(std::shared_ptr<R3Curve> curve) {
  return platform::makeObject<WEProxy>(std::move(curve));
}

std::string WEProxy::description() const {
  return "WEProxy[" + (m_curve ? m_curve->description() : std::string("(null)")) + "]";
}

// --- WEEdgeEnumerator -----------------------------------------------------------------------

WEEdgeEnumerator::WEEdgeEnumerator(WEEdgePtr edge, int directionIndex)
    : m_initialEdge(std::move(edge)), m_d(directionIndex) {}

WEEdgeEnumerator::WEEdgeEnumerator(const WEFacePtr& face) : m_d(1) {
  if (!face || face->edges().empty())
    throw platform::Exception("NSInternalInconsistencyException",
                              "*** WEEdgeEnumerator: " + std::string(text(face)) + " face is not referenced by edge");
  m_initialEdge = face->edges().front();
  m_limit = face->edges().size();
  const auto& we = wingedEdge(*m_initialEdge);
  if (slotHolds(we.f()[0], face.get()))
    m_d = 1;
  else if (slotHolds(we.f()[1], face.get()))
    m_d = 0;
  else
    throw platform::Exception("NSInternalInconsistencyException",
                              "*** WEEdgeEnumerator: " + face->description() + " face is not referenced by edge");
}

WEEdgePtr WEEdgeEnumerator::nextObject() {
  if (!m_started) {
    m_started = true;
    m_edge = m_initialEdge;
    if (!m_edge) m_done = true;
    return m_edge;
  }
  if (m_done || !m_edge) {
    m_edge = nullptr;
    return nullptr;
  }
  const WEEdgePtr previous = m_edge;
  const auto& P = wingedEdge(*previous);
  WEEdgePtr next = P.ep()[m_d].lock();
  if (!next) {
    m_done = true;
    m_edge = nullptr;
    return nullptr;
  }
  const auto reached = P.v()[m_d].lock();
  const auto& N = wingedEdge(*next);
  int d = m_d;
  if (slotHolds(N.v()[1 - d], reached.get())) {
    // same direction
  } else if (slotHolds(N.v()[d], reached.get())) {
    d = 1 - d;
  } else {
    platform::log("edge = %s", text(next));
    platform::log("previousEdge = %s", text(previous));
    throw platform::Exception("WE", "Can not match vertices");
  }
  if (next == m_initialEdge) {
    m_done = true;
    m_closed = true;
    if (m_repeatsInitialEdgeIfClosed) {
      m_d = d;
      m_edge = next;
      return next;
    }
    m_edge = nullptr;
    return nullptr;
  }
  if (m_limit && ++m_steps >= m_limit) throw platform::Exception("WE", "Face walk does not close");
  m_d = d;
  m_edge = next;
  return next;
}

R3PointPtr WEEdgeEnumerator::vertex() const { return m_edge ? slotVertex(wingedEdge(*m_edge).v()[m_d]) : nullptr; }

R3PointPtr WEEdgeEnumerator::leadingVertex() const {
  return m_edge ? slotVertex(wingedEdge(*m_edge).v()[1 - m_d]) : nullptr;
}

R3PointPtr WEVertexEnumerator::nextObject() {
  if (!WEEdgeEnumerator::nextObject()) return nullptr;
  return vertex();
}

R3PointArray WEVertexEnumerator::verticesOfFace(const WEFacePtr& face) {
  WEVertexEnumerator walk(face);
  R3PointArray out;
  while (auto v = walk.nextObject()) out.push_back(v);
  if (!walk.closed()) throw platform::Exception("WEVertexEnumerator", "Open face");
  return out;
}

// --- WEEdgeOfFaceEnumerator -----------------------------------------------------------------

WEEdgeOfFaceEnumerator::WEEdgeOfFaceEnumerator(WEFacePtr face) : m_face(std::move(face)) {
  if (m_face && !m_face->edges().empty()) m_initialEdge = m_face->edges().front();
}

int WEEdgeOfFaceEnumerator::directionIndex() const {
  if (!m_edge) return 0;
  const auto& we = wingedEdge(*m_edge);
  if (slotHolds(we.f()[0], m_face.get())) return 1;
  if (slotHolds(we.f()[1], m_face.get())) return 0;
  throw platform::Exception("WEEdgeOfFaceEnumerator", "Face is not referenced by edge");
}

WEEdgePtr WEEdgeOfFaceEnumerator::nextObject() {
  if (!m_started) {
    m_started = true;
    m_edge = m_initialEdge;
    return m_edge;
  }
  if (!m_edge) return nullptr;
  WEEdgePtr next = wingedEdge(*m_edge).ep()[directionIndex()].lock();
  if (next == m_initialEdge) {
    m_closed = true;
    next = nullptr;
  } else if (next && ++m_steps >= m_face->edges().size()) {
    throw platform::Exception("WEEdgeOfFaceEnumerator", "Face walk does not close");
  }
  m_edge = next;
  return m_edge;
}

R3PointPtr WEEdgeOfFaceEnumerator::vertex() const {
  return m_edge ? slotVertex(wingedEdge(*m_edge).v()[directionIndex()]) : nullptr;
}

// --- WELinker: ends and mates ---------------------------------------------------------------

WELinker::WELinker(std::shared_ptr<const Manifold> manifold) : m_manifold(std::move(manifold)) {}

void WELinker::identifyEndsForCurves(const std::vector<std::shared_ptr<R3Curve>>& curves) {
  PointCoalescer coalescer(1e-10);
  for (const auto& c : curves) {
    if (!c->hasEnds()) continue;
    c->v()[0] = coalescer.addPoint(c->q0());
    c->v()[1] = coalescer.addPoint(c->q1());
  }
}

void WELinker::identifyEndsForEdgeProxies(const std::vector<std::shared_ptr<WEProxy>>& proxies) {
  PointCoalescer coalescer(1e-10);
  for (const auto& p : proxies)
    for (int k = 0; k < 2; ++k)
      if (auto v = slotVertex(p->v()[k])) p->v()[k] = coalescer.addPoint(v);
}

WEEdgeArray WELinker::edgesFrom(const WEEdgeArray& edges, const platform::Object* vertex) {
  WEEdgeArray out;
  for (const auto& e : edges) {
    const auto& we = wingedEdge(*e);
    if (slotHolds(we.v()[0], vertex) || slotHolds(we.v()[1], vertex)) out.push_back(e);
  }
  return out;
}

void WELinker::transferTopologyFromFace(const WEFacePtr& oldFace, const WEFacePtr& newFace) {
  const auto& A = oldFace->edges();
  const auto& B = newFace->edges();
  const auto counterpart = [&](const std::weak_ptr<platform::Object>& slot) -> WEEdgePtr {
    const auto held = slot.lock();
    const auto it = std::find(A.begin(), A.end(), held);
    if (!held || it == A.end()) return nullptr;
    const auto i = static_cast<std::size_t>(it - A.begin());
    return i < B.size() ? B[i] : nullptr;
  };
  for (std::size_t i = 0; i < A.size() && i < B.size(); ++i) {
    auto& a = wingedEdge(*A[i]);
    auto& b = wingedEdge(*B[i]);
    if (slotHolds(a.f()[0], oldFace.get())) {
      b.f()[0] = newFace;
      b.em()[0] = counterpart(a.em()[0]);
      b.ep()[1] = counterpart(a.ep()[1]);
    } else if (slotHolds(a.f()[1], oldFace.get())) {
      b.f()[1] = newFace;
      b.em()[1] = counterpart(a.em()[1]);
      b.ep()[0] = counterpart(a.ep()[0]);
    }
  }
}

double WELinker::tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, const XYZValue& vertex) const {
  if (m_inset == 0) return m_manifold->tangentAngleForCurveA(a, b, vertex);
  return m_manifold->tangentAngleForCurveA(a, b, vertex, m_inset);
}

void WELinker::linkWingedEdges(const std::vector<std::shared_ptr<R3Curve>>& curves) {
  identifyEndsForCurves(curves);
  WEEdgeArray E(curves.begin(), curves.end());
  for (const auto& c : curves)
    for (int k = 0; k < 2; ++k) {
      c->em()[k].reset();
      c->ep()[k].reset();
    }
  const auto sortedDescriptions = [&] {
    std::vector<std::string> d;
    for (const auto& c : curves) d.push_back(c->description());
    std::sort(d.begin(), d.end());
    std::string s;
    for (const auto& x : d) s += x + "\n";
    return s;
  };
  for (const auto& e : curves) {
    for (int k = 0; k < 2; ++k) {
      const auto vertex = slotVertex(e->v()[k]);
      if (!vertex || (!e->em()[k].expired() && !e->ep()[k].expired())) continue;
      WEEdgeArray mates = edgesFrom(E, vertex.get());
      const auto self = std::find(mates.begin(), mates.end(), WEEdgePtr(e));
      if (self != mates.end()) mates.erase(self);
      if (mates.empty()) {
        platform::log("Error in WELinker+Curve linkWingedEdges");
        platform::log("self = %s", m_manifold->description().c_str());
        platform::log("Mate not found");
        platform::log("edge = %s", e->description().c_str());
        platform::log("edges = %s", sortedDescriptions().c_str());
        throw platform::Exception("NSInternalInconsistencyException", e->description() + " does not have mates");
      }
      WEEdgePtr plus, minus;
      double plusAngle = 0, minusAngle = 0;
      const auto ambiguous = [&](const char* side, double edgeAngle, const WEEdgePtr& mate, double mateAngle) {
        std::string list;
        for (const auto& m : mates) list += m->description() + "\n";
        platform::log("====================================");
        platform::log("mates = %s", list.c_str());
        platform::log("edge = %s, %sAngle = %g", e->description().c_str(), side, edgeAngle);
        platform::log("mate = %s, mateAngle = %g", mate->description().c_str(), mateAngle);
      };
      for (const auto& m : mates) {
        // The ends that meet are known from the vertex slots: ends within the coalescing
        // tolerance that are not exactly equal still meet.
        const auto& mate = curveOf(m);
        const bool mateAtEnd = !slotHolds(mate.v()[0], vertex.get());
        const double a = m_manifold->tangentAngleAtEnds(*e, k == 1, mate, mateAtEnd, m_inset);
        if (!plus) {
          plus = minus = m;
          plusAngle = minusAngle = a;
          continue;
        }
        if (a > plusAngle) {
          plus = m;
          plusAngle = a;
        } else if (a == plusAngle) {
          ambiguous("ep", plusAngle, m, a);
          throw platform::Exception("NSInternalInconsistencyException", "Two mates with same plus angle");
        }
        if (a < minusAngle) {
          minus = m;
          minusAngle = a;
        } else if (a == minusAngle) {
          ambiguous("em", minusAngle, m, a);
          throw platform::Exception("NSInternalInconsistencyException", "Two mates with same minus angle");
        }
      }
      e->ep()[k] = plus;
      e->em()[k] = minus;
    }
  }
  for (const auto& e : curves)
    for (int k = 0; k < 2; ++k) {
      if (e->v()[k].expired()) continue;
      if (e->em()[k].expired() || e->ep()[k].expired()) {
        platform::log("Incomplete link for %s", e->description().c_str());
        platform::log("     v %d %s", k, describe(e->v()[k]).c_str());
        platform::log("\tem %d %s", k, describe(e->em()[k]).c_str());
        platform::log("\tep %d %s", k, describe(e->ep()[k]).c_str());
        throw platform::Exception("NSInternalInconsistencyException",
                                  "Incomplete link for " + e->description() + " (see log for details)");
      }
    }
}

void WELinker::linkWingedEdges(const std::vector<std::shared_ptr<R3Curve>>& curves, double inset) {
  struct Restore {
    WELinker& linker;
    double previous;
    ~Restore() { linker.m_inset = previous; }
  } restore{*this, m_inset};
  m_inset = inset;
  linkWingedEdges(curves);
}

void WELinker::linkWingedEdgeProxies(const std::vector<std::shared_ptr<WEProxy>>& proxies) {
  identifyEndsForEdgeProxies(proxies);
  WEEdgeArray E(proxies.begin(), proxies.end());
  for (const auto& p : proxies)
    for (int k = 0; k < 2; ++k) {
      p->em()[k].reset();
      p->ep()[k].reset();
    }
  for (const auto& e : proxies) {
    for (int k = 0; k < 2; ++k) {
      const auto vertex = slotVertex(e->v()[k]);
      if (!vertex || (!e->em()[k].expired() && !e->ep()[k].expired())) continue;
      WEEdgeArray mates = edgesFrom(E, vertex.get());
      mates.erase(std::remove(mates.begin(), mates.end(), WEEdgePtr(e)), mates.end());
      if (mates.empty()) {
        platform::log("Error in WELinker linkWingedEdges");
        platform::log("self = %s", m_manifold->description().c_str());
        platform::log("Mate not found");
        platform::log("edge = %s", e->description().c_str());
        continue;
      }
      WEEdgePtr plus, minus;
      double plusAngle = 0, minusAngle = 0;
      for (const auto& m : mates) {
        const double a = tangentAngleForProxyA(*e, dynamic_cast<const WEProxy&>(*m), m_inset);
        if (!plus) {
          plus = minus = m;
          plusAngle = minusAngle = a;
          continue;
        }
        if (a > plusAngle) {
          plus = m;
          plusAngle = a;
        } else if (a == plusAngle) {
          platform::log("====================================");
          platform::log("edge = %s, epAngle = %g", e->description().c_str(), plusAngle);
          platform::log("mate = %s, mateAngle = %g", m->description().c_str(), a);
        }
        if (a < minusAngle) {
          minus = m;
          minusAngle = a;
        } else if (a == minusAngle) {
          platform::log("====================================");
          platform::log("edge = %s, emAngle = %g", e->description().c_str(), minusAngle);
          platform::log("mate = %s, mateAngle = %g", m->description().c_str(), a);
        }
      }
      e->ep()[k] = plus;
      e->em()[k] = minus;
    }
  }
  for (const auto& e : proxies)
    if (e->em()[0].expired() || e->em()[1].expired() || e->ep()[0].expired() || e->ep()[1].expired()) {
      platform::log("Incomplete link for %s", e->description().c_str());
      platform::log("\tem 0 %s", describe(e->em()[0]).c_str());
      platform::log("\tem 1 %s", describe(e->em()[1]).c_str());
      platform::log("\tep 0 %s", describe(e->ep()[0]).c_str());
      platform::log("\tep 1 %s", describe(e->ep()[1]).c_str());
    }
}

// --- WELinker: faces ------------------------------------------------------------------------

WEFaceArray WELinker::addFacesToEdges(const std::vector<std::shared_ptr<R3Curve>>& curves) const {
  return addFacesToEdges(WEEdgeArray(curves.begin(), curves.end()));
}

WEFaceArray WELinker::addFacesToEdges(const WEEdgeArray& edges) const {
  for (const auto& e : edges) {
    auto& we = wingedEdge(*e);
    we.f()[0].reset();
    we.f()[1].reset();
  }
  WEFaceArray faces;
  // Walks the face that takes e in direction `d0` (its slot 1 − d0), from the vertex it
  // reaches, always through ep at the end reached.
  const auto trace = [&](const WEEdgePtr& e, int d0) {
    auto face = platform::makeObject<WEFace>();
    faces.push_back(face);
    auto& start = wingedEdge(*e);
    start.f()[1 - d0] = face;
    face->edges().push_back(e);
    int d = d0;
    WEEdgePtr previous = e;
    auto w = start.v()[d].lock();
    WEEdgePtr next = start.ep()[d].lock();
    while (next && next != e) {
      auto& N = wingedEdge(*next);
      int slot;
      if (slotHolds(N.v()[1 - d], w.get())) {
        slot = 1 - d;
      } else if (slotHolds(N.v()[d], w.get())) {
        slot = d;
        d = 1 - d;
      } else {
        platform::log("Error: Inconsistent links in addFacesToEdges");
        platform::log("previousEdge = %s", text(previous));
        platform::log("edge = %s", text(next));
        const auto v0 = N.v()[0].lock(), v1 = N.v()[1].lock();
        platform::log("edge v 0       0x%lx = %s", identity(v0.get()), text(v0));
        platform::log("edge v 1       0x%lx = %s", identity(v1.get()), text(v1));
        platform::log("previousVertex 0x%lx = %s", identity(w.get()), text(w));
        throw platform::Exception("WELinker", "Inconsistent links in addFacesToEdges");
      }
      if (!N.f()[slot].expired()) throw platform::Exception("WELinker", "Infinite cycle in addFacesToEdges");
      N.f()[slot] = face;
      face->edges().push_back(next);
      w = N.v()[d].lock();
      previous = next;
      next = N.ep()[d].lock();
    }
  };
  for (const auto& e : edges)
    if (wingedEdge(*e).f()[1].expired()) trace(e, 0);
  for (const auto& e : edges)
    if (wingedEdge(*e).f()[0].expired()) trace(e, 1);
  return faces;
}

// --- WELinker: proxy angles -----------------------------------------------------------------

namespace {

struct ProxyCorner {
  R3PointPtr vertex;
  double tA = 0, tB = 0;  // parameters at which the tangents are taken
  bool negateA = false, negateB = false;
};

bool sameVertex(const std::weak_ptr<platform::Object>& a, const std::weak_ptr<platform::Object>& b) {
  const auto pa = a.lock(), pb = b.lock();
  return pa && pb && pa->isEqualTo(*pb);
}

std::optional<ProxyCorner> proxyCorner(const WEProxy& A, const WEProxy& B, double inset) {
  if (sameVertex(A.v()[1], B.v()[0])) return ProxyCorner{slotVertex(A.v()[1]), 1 - inset, inset, false, false};
  if (sameVertex(A.v()[1], B.v()[1])) return ProxyCorner{slotVertex(A.v()[1]), 1 - inset, 1 - inset, false, true};
  if (sameVertex(A.v()[0], B.v()[0])) return ProxyCorner{slotVertex(A.v()[0]), inset, inset, true, false};
  if (sameVertex(A.v()[0], B.v()[1])) return ProxyCorner{slotVertex(A.v()[0]), inset, 1 - inset, true, true};
  return std::nullopt;
}

}  // namespace

double WELinker::tangentAngleForProxyA(const WEProxy& a, const WEProxy& b) const {
  return tangentAngleForProxyA(a, b, 0);
}

double WELinker::tangentAngleForProxyA(const WEProxy& a, const WEProxy& b, double inset) const {
  const auto corner = proxyCorner(a, b, inset);
  if (!corner) return 0;
  const auto tangent = [&](const R3Curve& c, double t, const R3PointPtr& end, bool negate) {
    const auto at = inset == 0 ? end : c.pointForParameter(t);
    auto v = c.tangentForPoint(*at);
    return negate ? std::static_pointer_cast<R3Point>(v->negated()) : v;
  };
  const auto endA = slotVertex(corner->negateA ? a.v()[0] : a.v()[1]);
  const auto endB = slotVertex(corner->negateB ? b.v()[1] : b.v()[0]);
  const auto tA = tangent(*a.curve(), corner->tA, endA, corner->negateA);
  const auto tB = tangent(*b.curve(), corner->tB, endB, corner->negateB);
  return m_manifold->angleForPoint(*corner->vertex, *tA, *tB);
}

R3PointPtr WELinker::commonEndpointForProxyA(const WEProxy& a, const WEProxy& b) {
  const auto corner = proxyCorner(a, b, 0);
  return corner ? corner->vertex : nullptr;
}

namespace {

/// Walks a proxy face through ep, calling visit(edge, next) for every consecutive pair
/// including the closing one; `what` names the operation in the inconsistency message.
template <class Visit>
void walkProxyFace(const WEFacePtr& face, const char* what, Visit visit) {
  if (!face || face->edges().empty()) return;
  const WEEdgePtr first = face->edges().front();
  const auto& F = wingedEdge(*first);
  int d;
  if (slotHolds(F.f()[0], face.get()))
    d = 1;
  else if (slotHolds(F.f()[1], face.get()))
    d = 0;
  else
    throw platform::Exception("WELinker", "Face is not referenced by edge");
  WEEdgePtr edge = first;
  for (std::size_t guard = 0; guard <= 4 * face->edges().size() + 4; ++guard) {
    const WEEdgePtr next = wingedEdge(*edge).ep()[d].lock();
    if (!next) return;
    visit(*edge, *next);
    if (next == first) return;
    const auto& N = wingedEdge(*next);
    if (slotHolds(N.em()[1 - d], edge.get())) {
      // same direction
    } else if (slotHolds(N.em()[d], edge.get())) {
      d = 1 - d;
    } else {
      throw platform::Exception("WELinker", std::string("Inconsistent links in ") + what);
    }
    edge = next;
  }
  throw platform::Exception("WELinker", std::string("Inconsistent links in ") + what);
}

}  // namespace

double WELinker::totalTurnAngleOfProxyFace(const WEFacePtr& face) const {
  double sum = 0;
  walkProxyFace(face, "totalTurnAngleOfFace", [&](const platform::Object& a, const platform::Object& b) {
    sum += tangentAngleForProxyA(dynamic_cast<const WEProxy&>(a), dynamic_cast<const WEProxy&>(b));
  });
  return sum;
}

R3PointArray WELinker::kinksForProxyFace(const WEFacePtr& face) const {
  R3PointArray out;
  walkProxyFace(face, "kinksForFace", [&](const platform::Object& a, const platform::Object& b) {
    const auto& A = dynamic_cast<const WEProxy&>(a);
    const auto& B = dynamic_cast<const WEProxy&>(b);
    if (std::fabs(tangentAngleForProxyA(A, B)) > M_PI / 2)
      if (auto p = commonEndpointForProxyA(A, B)) out.push_back(p);
  });
  return out;
}

}  // namespace orb::geometry
