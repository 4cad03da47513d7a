#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/PointAndParameter.h"
#include "geometry/solids/WingedEdge.h"
#include "geometry/values/R3Point.h"
#include "platform/Object.h"

namespace orb::geometry {

class Cloaked;
class PointCoalescer;
class R3Line;
class R3Plane;
class R3Quadric;
class R3Curve;

using R3PointPtr = std::shared_ptr<R3Point>;
using R3PointArray = std::vector<R3PointPtr>;
using R3CurvePtr = std::shared_ptr<R3Curve>;
using R3CurveArray = std::vector<R3CurvePtr>;

/// A curve of 3-space: a map between a parameter and a point (bounded curves run from 0 at
/// q0 to 1 at q1; a full ellipse once around over [0, 1]; a line over every real), an edge
/// of a solid's winged-edge topology, and a thing that splits at points into daughters.
///
/// The winged-edge slots are plain storage for the topology code: the curve never owns what
/// they point to (weak handles) and reads them only in descriptions.
/// Curves compare by identity (the Object default), so collections find a curve only as
/// itself. Make curves with platform::makeObject or the subclasses' factories.
class R3Curve : public platform::Object, public WingedEdge {
 public:
  R3Curve() = default;
  R3Curve(R3PointPtr q0, R3PointPtr q1);

  std::string className() const override { return "R3Curve"; }
  /// Keys "q0" and "q1", each point as its three doubles; a keyed coder only. The links
  /// and the key are not archived.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

  // --- ends and winged-edge slots -------------------------------------------------------
  /// Also stores the point in vertex slot 0 (1), until the topology replaces it.
  void setQ0(R3PointPtr q0);
  void setQ1(R3PointPtr q1);
  const R3PointPtr& q0() const { return m_q0; }
  const R3PointPtr& q1() const { return m_q1; }
  bool hasEnds() const { return m_q0 && m_q1; }
  /// [q0, q1] for a curve with ends, else empty.
  R3PointArray endpoints() const;
  virtual bool endsAreConsistentWithFiniteCurve() const { return true; }

  void setKey(std::string key) { m_key = std::move(key); }
  const std::string& key() const { return m_key; }

  // --- geometry (the base answers null, empty or 0) ------------------------------------
  virtual R3CurvePtr regenerateWithStartingPoint(R3PointPtr a, R3PointPtr b) const;
  virtual R3CurvePtr projectionOntoPlane(const R3Plane& plane) const;
  virtual R3PointPtr pointForParameter(double t) const;
  virtual double parameterForPoint(const XYZValue& p) const;
  /// The unit tangent in the direction of growing parameter.
  virtual R3PointPtr tangentForPoint(const XYZValue& p) const;
  virtual double parameterForIntersectionWithLine(const R3Line& line) const;
  virtual R3PointArray intersectionsWithPlane(const R3Plane& plane) const;
  /// The daughter curves between the points (which lie on the curve), in parameter order.
  virtual R3CurveArray daughtersForFissionPoints(const R3PointArray& points) const;
  virtual bool closeEnoughToPoint(const XYZValue& p) const;
  /// The quadric swept by the curve along a direction.
  virtual std::shared_ptr<R3Quadric> quadricWithDirector(const XYZValue& direction) const;
  virtual double momentForPoint(const XYZValue& p, const XYZValue& direction) const;
  /// Points where the curve's tangent line meets the line through `locus` along `axis`.
  virtual R3PointArray tangentPointsForLocus(const XYZValue& locus, const XYZValue& axis) const;
  /// The full curve a bounded piece lies on; the receiver itself for a full curve.
  virtual R3CurvePtr embeddingCurve() const;
  virtual R3PointPtr segmentAreaVector() const;
  virtual double segmentArea() const { return 0.0; }
  /// A one-line key for sorting curves deterministically; the class name here.
  virtual std::string sortableDescription() const { return className(); }

  R3PointPtr testPoint() const { return pointForParameter(0.5); }
  R3PointPtr closestPointToPoint(const XYZValue& p) const { return pointForParameter(parameterForPoint(p)); }
  bool intervalContainsPoint(const XYZValue& p) const;
  bool intervalContainsPoint(const XYZValue& p, double fuzz) const;
  /// The points for which closeEnoughToPoint answers true, in order.
  R3PointArray closeEnoughPointsFromArray(const R3PointArray& points) const;
  /// Tangents at parameters 0, 0.2, … 1.0.
  R3PointArray representativeTangentPoints() const;
  /// The points at parameters 0, 0.1, … (accumulated) while not above 1: eleven points.
  R3PointArray beads() const;
  R3PointArray beadsWithPointCoalescer(PointCoalescer& coalescer) const;
  /// The curve (content) under the set of its beads (cloak): necklaces are equal when the
  /// curves run through the same beads, so a set of necklaces holds each curve once.
  std::shared_ptr<Cloaked> necklace() const;
  /// The same with the beads coalesced: curves whose beads lie within the coalescer's
  /// tolerance (the same piece found twice, or walked the other way) string one necklace.
  std::shared_ptr<Cloaked> necklaceWithPointCoalescer(PointCoalescer& coalescer) const;
  /// "%g %g %g\n" per point for t = t0, t0 + 0.01, … while t ≤ t1 + 0.005.
  void dumpPointsToFile(std::FILE* file, double t0, double t1) const;
  void dumpPointsToFile(std::FILE* file) const { dumpPointsToFile(file, 0, 1); }
  void dumpInsetPointsToFile(std::FILE* file) const { dumpPointsToFile(file, 0.1, 0.9); }

  // --- class operations -----------------------------------------------------------------
  /// The distinct end points (by value) of the curves that have ends, in no defined order.
  static R3PointArray endpointsOfCurves(const R3CurveArray& curves);
  /// Each geometric curve once (the first of each canonical key, keys ascending): the
  /// same segment found from two surfaces, or walked the other way, is one edge.
  static R3CurveArray uniqueCurvesFromArray(const R3CurveArray& curves);
  static R3PointPtr commonEndpointForCurveA(const R3Curve& a, const R3Curve& b);
  /// Tangents at the common end: along A into it, along B away from it; empty when none.
  static R3PointArray tangentPairForCurveA(const R3Curve& a, const R3Curve& b);
  static std::vector<PointAndParameter> sortedArrayOfPointAndParameterForPoints(const R3PointArray& points,
                                                                                const R3Curve& curve);
  /// The points ordered by their parameter on the curve; with the filter only those with
  /// inset < t < 1 − inset. Fewer than two points come back as given.
  static R3PointArray sortedArrayOfPoints(const R3PointArray& points, const R3Curve& curve, bool filter = false,
                                          double inset = 0);

 protected:
  /// "1" or "0" for whether each slot holds a live object, for descriptions.
  std::string linkFlags() const;
  std::shared_ptr<const R3Curve> self() const { return std::static_pointer_cast<const R3Curve>(shared_from_this()); }

 private:
  R3PointPtr m_q0, m_q1;
  std::string m_key;
};

/// Keeps the points that lie within a curve's parameter interval.
struct PointFilter {
  /// Points whose parameter on the curve lies in [0, 1], in order.
  static R3PointArray pointsInArray(const R3PointArray& points, const R3Curve& curve);
  /// Points with −fuzz ≤ parameter ≤ 1 + fuzz, in order.
  static R3PointArray pointsInArray(const R3PointArray& points, const R3Curve& curve, double fuzz);
};

}  // namespace orb::geometry
