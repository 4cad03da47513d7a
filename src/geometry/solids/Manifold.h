#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "geometry/solids/PointAndParameter.h"
#include "geometry/solids/R3Curve.h"
#include "geometry/solids/WingedEdge.h"

namespace orb::geometry {

class PointCoalescer;

using NodeAndWeightArray = std::vector<PointAndParameter>;

/// The 2-D setting in which a net of curves is cleaned up, linked and measured. The base
/// knows the bookkeeping (canonical curve keys, splitting, face walks, sums); the geometry
/// that depends on the surface comes from a subclass (PlaneManifold).
class Manifold {
 public:
  virtual ~Manifold() = default;
  virtual std::string description() const { return "Manifold"; }

  // --- geometry a subclass supplies ------------------------------------------------------
  /// The base raises NSInvalidArgumentException (unrecognised selector).
  virtual R3PointArray intersectionsOfCurveA(const R3Curve& a, const R3Curve& b, PointCoalescer& coalescer) const;
  virtual double areaOfTriangleWithVertices(const XYZValue& a, const XYZValue& b, const XYZValue& c) const;
  /// The signed turn from tangent A to tangent B at the point.
  virtual double angleForPoint(const XYZValue& p, const XYZValue& tA, const XYZValue& tB) const;
  virtual double areaOfPolygonWithVertexArray(const R3PointArray&) const { return 0; }
  virtual double segmentAreaForCurve(const R3Curve&, const XYZValue&) const { return 0; }
  virtual NodeAndWeightArray nodeAndWeightArrayForFace(const WEFacePtr&) const { return {}; }

  // --- turn angles -------------------------------------------------------------------------
  /// The turn from arriving along A into their shared end to leaving along B; 0 without one.
  double tangentAngleForCurveA(const R3Curve& a, const R3Curve& b) const;
  double tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, double inset) const;
  double tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, const XYZValue& vertex) const;
  double tangentAngleForCurveA(const R3Curve& a, const R3Curve& b, const XYZValue& vertex, double inset) const;
  /// The turn from arriving along A into its end (q1 when `atEndA`, else q0) to leaving B
  /// from its end (q1 when `atEndB`), tangents taken `inset` in from those ends. The nets
  /// know which ends meet from their links, so they need no comparison of points here.
  double tangentAngleAtEnds(const R3Curve& a, bool atEndA, const R3Curve& b, bool atEndB, double inset = 0) const;
  R3PointPtr turnVectorForCurveA(const R3Curve& a, const R3Curve& b) const;
  double totalTurnAngleOfFace(const WEFacePtr& face) const;
  std::vector<double> turnAnglesOfFace(const WEFacePtr& face) const;
  R3PointPtr totalTurnVectorOfFace(const WEFacePtr& face) const;
  R3PointArray kinksForFace(const WEFacePtr& face, double angleThreshold) const;
  R3PointArray kinksForFace(const WEFacePtr& face) const;
  R3PointPtr meanVectorOfFace(const WEFacePtr& face) const;

  // --- areas ---------------------------------------------------------------------------------
  /// Signed: positive for a face walked counter-clockwise about the normal.
  double areaOfFace(const WEFacePtr& face) const;
  double totalAreaOfFaces(const WEFaceArray& faces) const;
  double totalAreaOfPositiveAreaFaces(const WEFaceArray& faces) const;

  // --- curve sets ------------------------------------------------------------------------------
  /// Curves of equal geometry share a key (each curve is told its key).
  std::map<std::string, R3CurveArray> partitionDictionaryForCurves(const R3CurveArray& curves) const;
  R3CurveArray uniqueCurvesWithCurves(const R3CurveArray& curves) const;
  bool curvesAreUniqueInArray(const R3CurveArray& curves) const;
  /// Keys of the supporting line or ellipse only.
  std::map<std::string, R3CurveArray> partitionDictionaryForMotherCurves(const R3CurveArray& curves) const;
  /// Overlapping pieces of one line or ellipse become pieces that meet only at their ends.
  R3CurveArray nonoverlappingCurvesWithCurves(const R3CurveArray& curves) const;
  /// Curves cut at their mutual crossings (ends coalesced within the tolerance first).
  R3CurveArray nonintersectingCurvesWithCurves(const R3CurveArray& curves, double tolerance = 1e-10) const;

  // --- quadrature --------------------------------------------------------------------------------
  std::vector<NodeAndWeightArray> nodeAndWeightArraysForFaces(const WEFaceArray& faces) const;
  static double sumOfWeightsInNodeAndWeightArray(const NodeAndWeightArray& array);
  static double sumOfWeightsInNodeAndWeightArrays(const std::vector<NodeAndWeightArray>& arrays);
  double areaQuadratureForFaces(const WEFaceArray& faces) const;
};

}  // namespace orb::geometry
