#pragma once

#include <cmath>
#include <limits>

namespace orb::lens {

/// The profile z(r) of a conic of vertex curvature c and conic constant k, with its radial
/// derivatives and the largest radius at which it is single valued. A plain value; every
/// operation is inline arithmetic because the tracer calls them per ray.
///
/// With u = (1+k)c²r² the sag is c·r²/(1 + √(1−u)); the form avoids the cancellation of
/// (1 − √(1−u))/((1+k)c) near the vertex and is exact for k = −1. Beyond the valid range
/// (u ≥ 1) the sag falls back to c·r² and the derivatives are infinite, so callers test
/// validOrdinate first.
struct ConicSection {
  double c = 0;    ///< vertex curvature
  double k = 0;    ///< conic constant
  double c2 = 0;   ///< c²
  double pc2 = 0;  ///< (1+k)·c²

  static ConicSection withCurvature(double curvature, double conicConstant) {
    ConicSection s;
    s.setCurvature(curvature);
    s.setConicConstant(conicConstant);
    return s;
  }
  /// Set the curvature first: setConicConstant derives (1+k)c² from the stored c².
  void setCurvature(double curvature) {
    c = curvature;
    c2 = curvature * curvature;
  }
  void setConicConstant(double conicConstant) {
    k = conicConstant;
    pc2 = (1 + conicConstant) * c2;
  }

  bool validOrdinate(double r) const { return pc2 * r * r < 1; }

  double sagAtOrdinate(double r) const {
    const double r2 = r * r;
    const double u = pc2 * r2;
    const double s = u < 1 ? std::sqrt(1 - u) : 0;
    return c * r2 / (1 + s);
  }
  /// dz/dr = c·r/√(1−u); infinite outside the valid range.
  double sagGradientAtOrdinate(double r) const {
    const double u = pc2 * r * r;
    if (!(u < 1)) return std::numeric_limits<double>::infinity();
    return c * r / std::sqrt(1 - u);
  }
  /// d²z/dr² = c/(1−u)^{3/2}; infinite outside the valid range.
  double sagSecondGradientAtOrdinate(double r) const {
    const double u = pc2 * r * r;
    if (!(u < 1)) return std::numeric_limits<double>::infinity();
    const double s = std::sqrt(1 - u);
    return c / (s * s * s);
  }
  /// 1/√((1+k)c²) when that is real, else +∞ (planes, paraboloids, hyperboloids).
  double maximumOrdinate() const {
    return pc2 > 0 ? 1 / std::sqrt(pc2) : std::numeric_limits<double>::infinity();
  }
  /// The sag at maximumOrdinate: c/((1+k)c²), or ±∞ (+ for c > 0) when unbounded.
  double sagAtMaximumOrdinate() const {
    if (pc2 > 0) return c / pc2;
    return c > 0 ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
  }
};

}  // namespace orb::lens
