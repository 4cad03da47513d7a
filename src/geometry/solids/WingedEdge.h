#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "geometry/values/R3Point.h"
#include "platform/Object.h"

namespace orb::geometry {

class R3Curve;
class Manifold;
class WEFace;

using R3PointPtr = std::shared_ptr<R3Point>;
using R3PointArray = std::vector<R3PointPtr>;

/// The link slots of one edge of a winged-edge net. Index k names the edge's end k (0 at
/// its q0, 1 at its q1). The slots never own what they hold: the net's faces own the edges
/// (and a face array has to outlive every walk over its edges); vertices are the edges' own
/// end points.
///
/// v[k]: the vertex at end k (after linking, equal vertices are one object).
/// ep[k]: the next edge of a walk that arrives at v[k] along this edge.
/// em[k]: the previous edge of a walk that leaves v[k] along this edge.
/// f[0] / f[1]: the face that walks this edge from v[0] to v[1] / from v[1] to v[0].
/// A walk "in direction d" goes from v[1−d] to v[d].
class WingedEdge {
 public:
  using Slots = std::array<std::weak_ptr<platform::Object>, 2>;
  virtual ~WingedEdge() = default;

  Slots& v() { return m_v; }
  Slots& em() { return m_em; }
  Slots& ep() { return m_ep; }
  Slots& f() { return m_f; }
  const Slots& v() const { return m_v; }
  const Slots& em() const { return m_em; }
  const Slots& ep() const { return m_ep; }
  const Slots& f() const { return m_f; }

 protected:
  Slots m_v, m_em, m_ep, m_f;
};

/// An edge as the nets hold it: a curve or a proxy (both objects and winged edges).
using WEEdgePtr = std::shared_ptr<platform::Object>;
using WEEdgeArray = std::vector<WEEdgePtr>;

/// The winged-edge slots of an edge object; raises "WE" / "Not a winged edge" for any
/// other object (a net built from foreign objects is a programming error).
WingedEdge& wingedEdge(const platform::Object& edge);
/// Whether a slot holds exactly this object (a dead slot holds nothing).
inline bool slotHolds(const std::weak_ptr<platform::Object>& slot, const platform::Object* object) {
  const auto held = slot.lock();
  return held && held.get() == object;
}
/// The vertex held by a slot, or null.
R3PointPtr slotVertex(const std::weak_ptr<platform::Object>& slot);

/// A face of a net: its edges in walking order. Edges point at their faces weakly, so the
/// caller keeps the face array alive while it uses the links.
class WEFace : public platform::Object {
 public:
  WEFace() = default;
  explicit WEFace(WEEdgeArray edges) : m_edges(std::move(edges)) {}

  std::string className() const override { return "WEFace"; }
  /// "(edge, edge, …)".
  std::string description() const override;

  WEEdgeArray& edges() { return m_edges; }
  const WEEdgeArray& edges() const { return m_edges; }
  std::size_t count() const { return m_edges.size(); }
  /// The edge at i as a curve (null for a proxy).
  std::shared_ptr<R3Curve> curveAt(std::size_t i) const;

 private:
  WEEdgeArray m_edges;
};

using WEFacePtr = std::shared_ptr<WEFace>;
using WEFaceArray = std::vector<WEFacePtr>;

/// Lets one curve take part in several nets: the proxy carries its own link slots.
class WEProxy : public platform::Object, public WingedEdge {
 public:
  /// v[0] and v[1] start as the curve's q0 and q1.
  explicit WEProxy(std::shared_ptr<R3Curve> curve);
  static std::shared_ptr<WEProxy> proxyWithCurve(std::shared_ptr<R3Curve> curve);

  std::string className() const override { return "WEProxy"; }
  std::string description() const override;
  const std::shared_ptr<R3Curve>& curve() const { return m_curve; }

 private:
  std::shared_ptr<R3Curve> m_curve;
};

/// Walks the links from an edge: each step takes ep at the vertex reached and matches the
/// direction of the next edge at the shared vertex.
class WEEdgeEnumerator {
 public:
  /// Walks `edge` in direction d (from v[1−d] to v[d]) first.
  explicit WEEdgeEnumerator(WEEdgePtr edge, int directionIndex = 1);
  /// From the face's first edge, in the direction the face walks it; raises
  /// NSInternalInconsistencyException when that edge does not refer to the face.
  explicit WEEdgeEnumerator(const WEFacePtr& face);
  virtual ~WEEdgeEnumerator() = default;

  /// When set, a closed walk hands out its first edge once more at the end, so callers see
  /// every consecutive pair including the closing one.
  void setRepeatsInitialEdgeIfClosed(bool on) { m_repeatsInitialEdgeIfClosed = on; }

  /// The next edge or null. Raises "WE" / "Can not match vertices" when a link leads to an
  /// edge that does not share the vertex reached, and "WE" / "Face walk does not close"
  /// when a face's walk runs past as many edges as the face holds (links that cycle
  /// elsewhere would otherwise never end).
  WEEdgePtr nextObject();
  const WEEdgePtr& edge() const { return m_edge; }
  const WEEdgePtr& initialEdge() const { return m_initialEdge; }
  int directionIndex() const { return m_d; }
  /// The vertex the current edge leads to, or null.
  R3PointPtr vertex() const;
  /// The vertex the current edge starts from, or null.
  R3PointPtr leadingVertex() const;
  bool closed() const { return m_closed; }

 private:
  WEEdgePtr m_initialEdge, m_edge;
  int m_d;
  bool m_started = false, m_done = false, m_closed = false, m_repeatsInitialEdgeIfClosed = false;
  std::size_t m_limit = 0;  // edges a face walk may visit (0: unbounded walk from an edge)
  std::size_t m_steps = 0;
};

/// Hands out the vertices reached along a walk.
class WEVertexEnumerator : public WEEdgeEnumerator {
 public:
  using WEEdgeEnumerator::WEEdgeEnumerator;
  /// The vertex reached after the next step, or null at the end.
  R3PointPtr nextObject();
  /// The vertices of a face in walking order; raises "WEVertexEnumerator" / "Open face"
  /// when the walk does not close.
  static R3PointArray verticesOfFace(const WEFacePtr& face);
};

/// Walks a face by its face slots alone: each edge's direction is read from which of its
/// face slots holds the face.
class WEEdgeOfFaceEnumerator {
 public:
  explicit WEEdgeOfFaceEnumerator(WEFacePtr face);
  WEEdgePtr nextObject();
  /// 1 when the current edge's f[0] is the face, 0 when its f[1] is or there is no current
  /// edge; raises "WEEdgeOfFaceEnumerator" / "Face is not referenced by edge" otherwise.
  int directionIndex() const;
  R3PointPtr vertex() const;
  const WEEdgePtr& edge() const { return m_edge; }
  bool closed() const { return m_closed; }

 private:
  WEFacePtr m_face;
  WEEdgePtr m_initialEdge, m_edge;
  bool m_closed = false, m_started = false;
  std::size_t m_steps = 0;
};

/// Links a net of curves lying in a manifold and traces its faces. At every vertex an edge
/// continues (ep) to the mate of the largest turn and is preceded (em) by the mate of the
/// smallest, so each face lies to the left of its walk: bounded faces run
/// counter-clockwise about the manifold's normal, the outer face clockwise.
class WELinker {
 public:
  explicit WELinker(std::shared_ptr<const Manifold> manifold);
  static std::shared_ptr<WELinker> linkerWithManifold(std::shared_ptr<const Manifold> manifold) {
    return std::make_shared<WELinker>(std::move(manifold));
  }

  const std::shared_ptr<const Manifold>& manifold() const { return m_manifold; }
  void setManifold(std::shared_ptr<const Manifold> manifold) { m_manifold = std::move(manifold); }
  /// The fraction of a curve in from a vertex at which tangents are taken (0: at the vertex).
  double inset() const { return m_inset; }
  void setInset(double inset) { m_inset = inset; }

  /// Coalesces the curves' ends (1e-10) into shared vertices v[0], v[1].
  static void identifyEndsForCurves(const std::vector<std::shared_ptr<R3Curve>>& curves);
  static void identifyEndsForEdgeProxies(const std::vector<std::shared_ptr<WEProxy>>& proxies);
  /// The edges, in order, one of whose vertices is this very object.
  static WEEdgeArray edgesFrom(const WEEdgeArray& edges, const platform::Object* vertex);
  /// Copies the links of one face onto a face of corresponding edges (equal length).
  static void transferTopologyFromFace(const WEFacePtr& oldFace, const WEFacePtr& newFace);

  /// Raises NSInternalInconsistencyException "%@ does not have mates", "Two mates with same
  /// plus angle", "Two mates with same minus angle" or "Incomplete link for %@ (see log for
  /// details)".
  void linkWingedEdges(const std::vector<std::shared_ptr<R3Curve>>& curves);
  /// The same with this inset for the duration (restored also when linking raises).
  void linkWingedEdges(const std::vector<std::shared_ptr<R3Curve>>& curves, double inset);
  /// As linkWingedEdges for proxies, but problems are logged and the linking goes on.
  void linkWingedEdgeProxies(const std::vector<std::shared_ptr<WEProxy>>& proxies);
  /// Every edge ends up in two faces, once in each direction. Raises "WELinker" /
  /// "Inconsistent links in addFacesToEdges" or "Infinite cycle in addFacesToEdges".
  WEFaceArray addFacesToEdges(const WEEdgeArray& edges) const;
  WEFaceArray addFacesToEdges(const std::vector<std::shared_ptr<R3Curve>>& curves) const;

  double tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, const XYZValue& vertex) const;
  double tangentAngleForProxyA(const WEProxy& a, const WEProxy& b) const;
  double tangentAngleForProxyA(const WEProxy& a, const WEProxy& b, double inset) const;
  static R3PointPtr commonEndpointForProxyA(const WEProxy& a, const WEProxy& b);
  /// ±2π for a simple closed loop.
  double totalTurnAngleOfProxyFace(const WEFacePtr& face) const;
  R3PointArray kinksForProxyFace(const WEFacePtr& face) const;

 private:
  std::shared_ptr<const Manifold> m_manifold;
  double m_inset = 0;
};

}  // namespace orb::geometry
