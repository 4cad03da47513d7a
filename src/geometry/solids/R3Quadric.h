#pragma once

#include "geometry/solids/R3Surface.h"

namespace orb::geometry {

/// The upper triangle, row by row, of the symmetric 4×4 matrix A of a quadric whose value
/// at p is ½·(p, 1)ᵀ·A·(p, 1). Off-diagonal entries are matrix entries, not doubled.
struct QuadricCoefficients {
  double xx, xy, xz, xt, yy, yz, yt, zz, zt, tt;
};

/// The quadric surface Q(p) = 0; Q > 0 is its advancing (outer) side.
class R3Quadric : public R3Surface {
 public:
  explicit R3Quadric(const QuadricCoefficients& k) : m_A(k) {}
  static std::shared_ptr<R3Quadric> instanceWithCoefficients(const QuadricCoefficients& k);
  static std::shared_ptr<R3Quadric> unitSphere();

  std::string className() const override { return "R3Quadric"; }
  std::string description() const override;

  const QuadricCoefficients& coefficients() const { return m_A; }
  std::shared_ptr<R3Quadric> quadric() const override;
  /// The coefficients over the largest absolute row sum of A: the surface at a scale-free
  /// size.
  QuadricCoefficients normalizedCoefficients() const;
  /// The norm of the difference of the normalised coefficients (null counts as zeros).
  double deviationFromQuadric(const R3Quadric* other) const;
  bool isEqualToQuadric(const R3Quadric* other) const { return deviationFromQuadric(other) < 1e-6; }

  double valueAtPoint(const XYZValue& p) const { return valueAt(p.xyz()); }
  double valueAt(const foundation::XYZ& p) const;
  bool advancingUponPoint(const XYZValue& p) const override { return valueAtPoint(p) > 0; }
  foundation::XYZ gradientAt(const foundation::XYZ& p) const;
  R3PointPtr gradientAtPoint(const XYZValue& p) const;
  /// The normalised gradient (unguarded at a zero gradient).
  R3PointPtr normalForPoint(const XYZValue& p) const override;
  SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;
  std::shared_ptr<R3Plane> limbPlaneForProjectionPlane(const R3Plane& plane) const override;
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e) const override;
  /// Null when |A₃·e|² is not above 1e-10.
  std::shared_ptr<R3Plane> limbPlaneForObservationPoint(const XYZValue& e, double w) const override;
  /// Classifies the quadric by the signs of its 3×3 block's eigenvalues: "plane",
  /// "ellipsoid", "ellipsoid (inverted)" or "general".
  std::string specificSurfaceKind() const;

  /// Roots of α·t² + β·t + γ: two as (√D − β)/2α then (−β − √D)/2α, one at a tangency
  /// (|D| ≤ 1e-20) or on the linear branch (α = 0).
  R3PointArray intersectionsWithLine(const R3Line& line) const override;
  std::vector<double> intersectionParametersForLine(const R3Line& line) const override;
  int getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const override;
  /// The same roots, in the same order, of the unbounded line q + t·v: for callers that
  /// step rays and must not allocate a line per step. Returns the count (at most 2).
  int lineRoots(const foundation::XYZ& q, const foundation::XYZ& v, double* t) const;

 private:
  /// The kept roots in their order; returns the count (at most 2).
  int roots(const R3Line& line, double* t) const;
  QuadricCoefficients m_A;
};

}  // namespace orb::geometry
