#include "geometry/values/TriangleNest.h"

#include <cmath>

#include "platform/Exception.h"

namespace orb::geometry {

using foundation::XYZ;

namespace {

XYZ cross(const XYZ& a, const XYZ& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(const XYZ& a) { return std::sqrt(dot(a, a)); }

XYZ normalizedOrRaise(const XYZ& a) {
  const double l = length(a);
  if (l == 0)
    platform::Exception::raise("NSInternalInconsistencyException",
                               "[(%g,%g,%g) normalized] can not normalize zero length vector", a.x, a.y, a.z);
  return {a.x / l, a.y / l, a.z / l};
}

std::string describe(const XYZ& q) { return platform::format("(%g,%g,%g)", q.x, q.y, q.z); }

}  // namespace

// --- vertices ------------------------------------------------------------------------------

std::unique_ptr<TriangleNestVertex> TriangleNestVertex::makeMidwayBetweenPair(const TriangleNestVertex& a,
                                                                              const TriangleNestVertex& b) const {
  const XYZ& p = a.q();
  const XYZ& r = b.q();
  return std::make_unique<TriangleNestVertex>(XYZ{0.5 * p.x + 0.5 * r.x, 0.5 * p.y + 0.5 * r.y, 0.5 * p.z + 0.5 * r.z});
}

std::unique_ptr<TriangleNestVertex> TriangleNestVertex::makeMidwayBetweenTriple(const TriangleNestVertex& a,
                                                                                const TriangleNestVertex& b,
                                                                                const TriangleNestVertex& c) const {
  const XYZ &p = a.q(), &r = b.q(), &s = c.q();
  return std::make_unique<TriangleNestVertex>(
      XYZ{(p.x + r.x + s.x) / 3, (p.y + r.y + s.y) / 3, (p.z + r.z + s.z) / 3});
}

std::string TriangleNestVertex::description() const { return describe(m_q) + (m_flagged ? "*" : ""); }

std::unique_ptr<TriangleNestVertex> TriangleNestSphericalVertex::makeMidwayBetweenPair(
    const TriangleNestVertex& a, const TriangleNestVertex& b) const {
  const XYZ &p = a.q(), &r = b.q();
  return std::make_unique<TriangleNestSphericalVertex>(normalizedOrRaise({p.x + r.x, p.y + r.y, p.z + r.z}));
}

std::unique_ptr<TriangleNestVertex> TriangleNestSphericalVertex::makeMidwayBetweenTriple(
    const TriangleNestVertex& a, const TriangleNestVertex& b, const TriangleNestVertex& c) const {
  const XYZ &p = a.q(), &r = b.q(), &s = c.q();
  return std::make_unique<TriangleNestSphericalVertex>(
      normalizedOrRaise({p.x + r.x + s.x, p.y + r.y + s.y, p.z + r.z + s.z}));
}

std::string TriangleNestEdge::description() const {
  return "[" + m_v[0]->description() + m_v[1]->description() + "]";
}

// --- seeds ---------------------------------------------------------------------------------

void TriangleNest::hexagonWithRadius(double radius, TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges,
                                     TriangleNestArray& triangles) {
  // The seed's own value of √3, kept so that meshes (and their areas) match the ones the
  // illumination analyses were calibrated with.
  const double s = 1.73205080756888;
  const double R = radius;
  const XYZ corners[7] = {{0, 0, 0},           {R, 0, 0},  {R / 2, s * R / 2, 0}, {-R / 2, s * R / 2, 0},
                          {-R, 0, 0},          {-R / 2, -s * R / 2, 0}, {R / 2, -s * R / 2, 0}};
  TriangleNestVertex* V[7];
  for (int i = 0; i < 7; ++i) {
    vertices.push_back(std::make_unique<TriangleNestVertex>(corners[i]));
    V[i] = vertices.back().get();
  }
  TriangleNestEdge* E[12];
  for (int k = 0; k < 6; ++k) {
    edges.push_back(std::make_unique<TriangleNestEdge>(V[0], V[k + 1]));
    E[k] = edges.back().get();
  }
  for (int k = 0; k < 6; ++k) {
    edges.push_back(std::make_unique<TriangleNestEdge>(V[k + 1], V[(k + 1) % 6 + 1]));
    E[6 + k] = edges.back().get();
  }
  for (int k = 0; k < 6; ++k)
    triangles.push_back(std::make_unique<TriangleNest>(std::array{V[0], V[k + 1], V[(k + 1) % 6 + 1]},
                                                       std::array{E[k], E[6 + k], E[(k + 1) % 6]}));
}

void TriangleNest::octahedronUsingVertexArray(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges,
                                              TriangleNestArray& triangles) {
  const XYZ corners[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
  TriangleNestVertex* P[6];
  for (int i = 0; i < 6; ++i) {
    vertices.push_back(std::make_unique<TriangleNestSphericalVertex>(corners[i]));
    P[i] = vertices.back().get();
  }
  enum { A, B, C, D, E, F };
  auto edge = [&](int a, int b) {
    edges.push_back(std::make_unique<TriangleNestEdge>(P[a], P[b]));
    return edges.back().get();
  };
  TriangleNestEdge *AB = edge(A, B), *BC = edge(B, C), *CA = edge(C, A), *BD = edge(B, D), *DC = edge(D, C),
                   *DE = edge(D, E), *EC = edge(E, C), *EA = edge(E, A), *AF = edge(A, F), *BF = edge(B, F),
                   *DF = edge(D, F), *EF = edge(E, F);
  auto face = [&](int a, int b, int c, TriangleNestEdge* e0, TriangleNestEdge* e1, TriangleNestEdge* e2) {
    triangles.push_back(std::make_unique<SphericalTriangleNest>(std::array{P[a], P[b], P[c]}, std::array{e0, e1, e2}));
  };
  face(A, B, C, AB, BC, CA);
  face(B, D, C, BD, DC, BC);
  face(D, E, C, DE, EC, DC);
  face(E, A, C, EA, CA, EC);
  face(A, F, B, AF, BF, AB);
  face(B, F, D, BF, DF, BD);
  face(D, F, E, DF, EF, DE);
  face(E, F, A, EF, AF, EA);
}

// --- nests ---------------------------------------------------------------------------------

std::unique_ptr<TriangleNest> TriangleNest::makeDaughter(const std::array<TriangleNestVertex*, 3>& v,
                                                         const std::array<TriangleNestEdge*, 3>& e) const {
  return std::make_unique<TriangleNest>(v, e);
}

void TriangleNest::generateCenterUsingVertexArray(TriangleNestVertexArray& vertices) {
  vertices.push_back(m_v[0]->makeMidwayBetweenTriple(*m_v[0], *m_v[1], *m_v[2]));
  m_centerVertex = vertices.back().get();
}

double TriangleNest::area() const {
  const XYZ &o = m_v[0]->q(), &p = m_v[1]->q(), &r = m_v[2]->q();
  return 0.5 * length(cross({p.x - o.x, p.y - o.y, p.z - o.z}, {r.x - o.x, r.y - o.y, r.z - o.z}));
}

std::string TriangleNest::description() const {
  std::string d = "{";
  for (const auto* v : m_v) d += v->description();
  d += "}<";
  for (const auto* e : m_e) d += e->description();
  return d + ">";
}

int TriangleNest::flaggedCount() const {
  return int(m_v[0]->flagged()) + int(m_v[1]->flagged()) + int(m_v[2]->flagged());
}

template <class Keep>
void TriangleNest::addLeavesIf(std::vector<TriangleNest*>& leaves, Keep keep) {
  if (isLeaf()) {
    if (keep(*this)) leaves.push_back(this);
    return;
  }
  for (auto& d : m_daughter)
    if (d) d->addLeavesIf(leaves, keep);
}

void TriangleNest::addLeavesToArray(std::vector<TriangleNest*>& leaves) {
  addLeavesIf(leaves, [](const TriangleNest&) { return true; });
}
void TriangleNest::addLeavesWithAllVerticesFlaggedToArray(std::vector<TriangleNest*>& leaves) {
  addLeavesIf(leaves, [](const TriangleNest& n) { return n.flaggedCount() == 3; });
}
void TriangleNest::addLeavesWithAnyVerticesFlaggedToArray(std::vector<TriangleNest*>& leaves) {
  addLeavesIf(leaves, [](const TriangleNest& n) { return n.flaggedCount() > 0; });
}
void TriangleNest::addLeavesWithSomeButNotAllVerticesFlaggedToArray(std::vector<TriangleNest*>& leaves) {
  addLeavesIf(leaves, [](const TriangleNest& n) { return n.flaggedCount() == 1 || n.flaggedCount() == 2; });
}

void TriangleNest::subdivideLeafUsingVertexArray(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges) {
  if (!isLeaf()) return;  // splitting again would orphan the daughters and their edges
  TriangleNestVertex* M[3];
  TriangleNestEdge* nearHalf[3];
  TriangleNestEdge* farHalf[3];
  for (int k = 0; k < 3; ++k) {
    TriangleNestVertex* a = m_v[k];
    TriangleNestVertex* b = m_v[(k + 1) % 3];
    TriangleNestEdge* edge = m_e[k];
    if (!edge->daughter()[0]) {
      vertices.push_back(a->makeMidwayBetweenPair(*a, *b));
      TriangleNestVertex* mid = vertices.back().get();
      edges.push_back(std::make_unique<TriangleNestEdge>(mid, a));
      edge->daughter()[0] = edges.back().get();
      edges.push_back(std::make_unique<TriangleNestEdge>(mid, b));
      edge->daughter()[1] = edges.back().get();
    }
    TriangleNestEdge* half0 = edge->daughter()[0];
    TriangleNestEdge* half1 = edge->daughter()[1];
    M[k] = half0->v()[0];
    // The neighbour on the other side runs the edge the other way round.
    const bool sameWay = half0->v()[1] == a;
    nearHalf[k] = sameWay ? half0 : half1;
    farHalf[k] = sameWay ? half1 : half0;
  }
  auto inner = [&](TriangleNestVertex* p, TriangleNestVertex* q) {
    edges.push_back(std::make_unique<TriangleNestEdge>(p, q));
    return edges.back().get();
  };
  TriangleNestEdge* Ea = inner(M[0], M[2]);
  TriangleNestEdge* Eb = inner(M[1], M[0]);
  TriangleNestEdge* Ec = inner(M[2], M[1]);
  m_daughter[0] = makeDaughter({m_v[0], M[0], M[2]}, {nearHalf[0], Ea, farHalf[2]});
  m_daughter[1] = makeDaughter({m_v[1], M[1], M[0]}, {nearHalf[1], Eb, farHalf[0]});
  m_daughter[2] = makeDaughter({m_v[2], M[2], M[1]}, {nearHalf[2], Ec, farHalf[1]});
  m_daughter[3] = makeDaughter({M[0], M[1], M[2]}, {Eb, Ec, Ea});
}

template <class Split>
void TriangleNest::subdivideLeavesIf(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges, Split split) {
  if (isLeaf()) {
    if (split(*this)) subdivideLeafUsingVertexArray(vertices, edges);
    return;
  }
  for (auto& d : m_daughter)
    if (d) d->subdivideLeavesIf(vertices, edges, split);
}

void TriangleNest::subdivideLeavesUsingVertexArray(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges) {
  subdivideLeavesIf(vertices, edges, [](const TriangleNest&) { return true; });
}

namespace {
bool someButNotAll(const TriangleNest& n) { return n.flaggedCount() == 1 || n.flaggedCount() == 2; }
bool anyChecked(const TriangleNest& n) { return n.v()[0]->checked() || n.v()[1]->checked() || n.v()[2]->checked(); }
}  // namespace

void TriangleNest::subdivideLeafIfSomeButNotAllVerticesFlaggedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                                               TriangleNestEdgeArray& edges) {
  if (someButNotAll(*this)) subdivideLeafUsingVertexArray(vertices, edges);
}
void TriangleNest::subdivideLeavesWithSomeButNotAllVerticesFlaggedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                                                   TriangleNestEdgeArray& edges) {
  subdivideLeavesIf(vertices, edges, someButNotAll);
}
void TriangleNest::subdivideLeafIfAnyVertexCheckedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                                   TriangleNestEdgeArray& edges) {
  if (anyChecked(*this)) subdivideLeafUsingVertexArray(vertices, edges);
}
void TriangleNest::subdivideLeavesWithAnyVertexCheckedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                                       TriangleNestEdgeArray& edges) {
  subdivideLeavesIf(vertices, edges, anyChecked);
}

// --- spherical -----------------------------------------------------------------------------

std::unique_ptr<TriangleNest> SphericalTriangleNest::makeDaughter(const std::array<TriangleNestVertex*, 3>& v,
                                                                  const std::array<TriangleNestEdge*, 3>& e) const {
  return std::make_unique<SphericalTriangleNest>(v, e);
}

double SphericalTriangleNest::turnAngleOnSphereForCoordinateTriple(const XYZ& a, const XYZ& b, const XYZ& c) {
  XYZ u = cross(a, b), w = cross(b, c);
  const double lu = length(u), lw = length(w), lb = length(b);
  if (lu == 0 || lw == 0 || lb == 0) return 0;  // coincident or opposite points: no direction to turn from
  u = {u.x / lu, u.y / lu, u.z / lu};
  w = {w.x / lw, w.y / lw, w.z / lw};
  const XYZ bHat{b.x / lb, b.y / lb, b.z / lb};
  return std::atan2(dot(bHat, cross(u, w)), dot(u, w));
}

double SphericalTriangleNest::areaOfSphericalTriangleWithVertices(const XYZ& a, const XYZ& b, const XYZ& c) {
  return 6.283185307179586 - (turnAngleOnSphereForCoordinateTriple(a, b, c) +
                              turnAngleOnSphereForCoordinateTriple(b, c, a) +
                              turnAngleOnSphereForCoordinateTriple(c, a, b));
}

double SphericalTriangleNest::area() const {
  return areaOfSphericalTriangleWithVertices(v()[0]->q(), v()[1]->q(), v()[2]->q());
}

}  // namespace orb::geometry
