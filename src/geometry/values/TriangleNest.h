#pragma once

#include <any>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/XYZ.h"

namespace orb::geometry {

/// A vertex of a triangle nest with the caller's two marks and an attached object (the
/// illumination agents: whether the vertex's ray passes, whether to refine there, the ray).
class TriangleNestVertex {
 public:
  explicit TriangleNestVertex(const foundation::XYZ& q) : m_q(q) {}
  virtual ~TriangleNestVertex() = default;

  /// A new vertex of the receiver's kind midway between two vertices: ½a + ½b.
  virtual std::unique_ptr<TriangleNestVertex> makeMidwayBetweenPair(const TriangleNestVertex& a,
                                                                    const TriangleNestVertex& b) const;
  /// A new vertex of the receiver's kind at the centroid of three.
  virtual std::unique_ptr<TriangleNestVertex> makeMidwayBetweenTriple(const TriangleNestVertex& a,
                                                                      const TriangleNestVertex& b,
                                                                      const TriangleNestVertex& c) const;

  const foundation::XYZ& q() const { return m_q; }
  void setQ(const foundation::XYZ& q) { m_q = q; }
  bool flagged() const { return m_flagged; }
  void setFlagged(bool f) { m_flagged = f; }
  bool checked() const { return m_checked; }
  void setChecked(bool c) { m_checked = c; }
  const std::any& passenger() const { return m_passenger; }
  std::any& passenger() { return m_passenger; }
  void setPassenger(std::any p) { m_passenger = std::move(p); }

  /// "(%g,%g,%g)" of q, then "*" when flagged.
  std::string description() const;

 private:
  foundation::XYZ m_q;
  bool m_flagged = false;
  bool m_checked = false;
  std::any m_passenger;
};

/// A vertex on the unit sphere: its midpoints are projected back onto the sphere.
class TriangleNestSphericalVertex : public TriangleNestVertex {
 public:
  using TriangleNestVertex::TriangleNestVertex;
  /// (a + b) normalised; raises NSInternalInconsistencyException for opposite points.
  std::unique_ptr<TriangleNestVertex> makeMidwayBetweenPair(const TriangleNestVertex& a,
                                                            const TriangleNestVertex& b) const override;
  std::unique_ptr<TriangleNestVertex> makeMidwayBetweenTriple(const TriangleNestVertex& a,
                                                              const TriangleNestVertex& b,
                                                              const TriangleNestVertex& c) const override;
};

/// An edge between two vertices; once split, its two halves, each starting at the midpoint.
/// Halves are shared by the two triangles on either side, so a midpoint is made once.
class TriangleNestEdge {
 public:
  TriangleNestEdge(TriangleNestVertex* a, TriangleNestVertex* b) : m_v{a, b} {}
  std::array<TriangleNestVertex*, 2>& v() { return m_v; }
  const std::array<TriangleNestVertex*, 2>& v() const { return m_v; }
  std::array<TriangleNestEdge*, 2>& daughter() { return m_daughter; }
  const std::array<TriangleNestEdge*, 2>& daughter() const { return m_daughter; }
  /// "[%@%@]" of the two end points.
  std::string description() const;

 private:
  std::array<TriangleNestVertex*, 2> m_v;
  std::array<TriangleNestEdge*, 2> m_daughter{nullptr, nullptr};
};

class TriangleNest;
/// The caller's stores: every vertex and edge ever made is owned by these; the seed
/// triangles by the triangle array, daughters by their parent. They must outlive the nests.
using TriangleNestVertexArray = std::vector<std::unique_ptr<TriangleNestVertex>>;
using TriangleNestEdgeArray = std::vector<std::unique_ptr<TriangleNestEdge>>;
using TriangleNestArray = std::vector<std::unique_ptr<TriangleNest>>;

/// An adaptive triangle mesh over a flat disc (hexagon seed) or the unit sphere of
/// directions (octahedron seed). Each triangle splits into four at its edge midpoints;
/// only leaves split. Edge k joins v[k] and v[(k + 1) mod 3].
class TriangleNest {
 public:
  TriangleNest(const std::array<TriangleNestVertex*, 3>& v, const std::array<TriangleNestEdge*, 3>& e)
      : m_v(v), m_e(e) {}
  virtual ~TriangleNest() = default;
  TriangleNest(const TriangleNest&) = delete;
  TriangleNest& operator=(const TriangleNest&) = delete;

  /// Six counter-clockwise triangles around the origin in the plane z = 0, corners at
  /// radius R: appends 7 vertices, 12 edges and 6 triangles.
  static void hexagonWithRadius(double radius, TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges,
                                TriangleNestArray& triangles);
  /// The eight faces of the octahedron inscribed in the unit sphere, counter-clockwise
  /// seen from outside: appends 6 vertices, 12 edges and 8 spherical triangles.
  static void octahedronUsingVertexArray(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges,
                                         TriangleNestArray& triangles);

  std::array<TriangleNestVertex*, 3>& v() { return m_v; }
  const std::array<TriangleNestVertex*, 3>& v() const { return m_v; }
  std::array<TriangleNestEdge*, 3>& e() { return m_e; }
  const std::array<TriangleNestEdge*, 3>& e() const { return m_e; }
  TriangleNest* daughter(int i) const { return m_daughter[i].get(); }
  bool isLeaf() const { return !m_daughter[0]; }

  TriangleNestVertex* centerVertex() const { return m_centerVertex; }
  void setCenterVertex(TriangleNestVertex* v) { m_centerVertex = v; }
  /// Makes the centroid vertex (of v[0]'s kind), adds it to the array and keeps it.
  void generateCenterUsingVertexArray(TriangleNestVertexArray& vertices);

  /// The flat triangle's area.
  virtual double area() const;
  /// "{%@%@%@}<%@%@%@>" of the vertices and the edges.
  std::string description() const;

  void addLeavesToArray(std::vector<TriangleNest*>& leaves);
  void addLeavesWithAllVerticesFlaggedToArray(std::vector<TriangleNest*>& leaves);
  void addLeavesWithAnyVerticesFlaggedToArray(std::vector<TriangleNest*>& leaves);
  void addLeavesWithSomeButNotAllVerticesFlaggedToArray(std::vector<TriangleNest*>& leaves);

  /// Splits this leaf into four; a nest that has daughters is left as it is.
  void subdivideLeafUsingVertexArray(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges);
  void subdivideLeavesUsingVertexArray(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges);
  void subdivideLeafIfSomeButNotAllVerticesFlaggedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                                   TriangleNestEdgeArray& edges);
  void subdivideLeavesWithSomeButNotAllVerticesFlaggedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                                       TriangleNestEdgeArray& edges);
  void subdivideLeafIfAnyVertexCheckedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                       TriangleNestEdgeArray& edges);
  void subdivideLeavesWithAnyVertexCheckedUsingVertexArray(TriangleNestVertexArray& vertices,
                                                           TriangleNestEdgeArray& edges);

  /// Number of flagged vertices, 0 to 3.
  int flaggedCount() const;

 protected:
  /// A daughter of the receiver's kind.
  virtual std::unique_ptr<TriangleNest> makeDaughter(const std::array<TriangleNestVertex*, 3>& v,
                                                     const std::array<TriangleNestEdge*, 3>& e) const;

 private:
  template <class Keep>
  void addLeavesIf(std::vector<TriangleNest*>& leaves, Keep keep);
  template <class Split>
  void subdivideLeavesIf(TriangleNestVertexArray& vertices, TriangleNestEdgeArray& edges, Split split);

  std::array<TriangleNestVertex*, 3> m_v;
  std::array<TriangleNestEdge*, 3> m_e;
  std::array<std::unique_ptr<TriangleNest>, 4> m_daughter;
  TriangleNestVertex* m_centerVertex = nullptr;
};

/// A triangle of the unit sphere: its area is the spherical excess.
class SphericalTriangleNest : public TriangleNest {
 public:
  using TriangleNest::TriangleNest;

  double area() const override;
  /// The turn angle at b of the great-circle path a → b → c, in radians (positive to the
  /// left seen from outside); 0 when two of the points coincide or are opposite.
  static double turnAngleOnSphereForCoordinateTriple(const foundation::XYZ& a, const foundation::XYZ& b,
                                                     const foundation::XYZ& c);
  /// 2π minus the three turn angles (Gauss–Bonnet).
  static double areaOfSphericalTriangleWithVertices(const foundation::XYZ& a, const foundation::XYZ& b,
                                                    const foundation::XYZ& c);

 protected:
  std::unique_ptr<TriangleNest> makeDaughter(const std::array<TriangleNestVertex*, 3>& v,
                                             const std::array<TriangleNestEdge*, 3>& e) const override;
};

}  // namespace orb::geometry
