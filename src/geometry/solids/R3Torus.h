#pragma once

#include "geometry/solids/R3Surface.h"

namespace orb::geometry {

/// The torus of a light-pipe elbow: its tube (radius a) follows the circle of radius R in
/// the plane x = 0 centred at (0, R, 0), so the tube's centre line leaves the origin along
/// +z and bends towards +y. It answers line-intersection parameters, normals and the side
/// test; everything else keeps the base answers.
class R3Torus : public R3Surface {
 public:
  R3Torus(double majorRadius, double minorRadius) : m_R(majorRadius), m_a(minorRadius) {}
  static std::shared_ptr<R3Torus> torusWithMajorRadius(double R, double a);

  std::string className() const override { return "R3Torus"; }
  std::string description() const override;
  double majorRadius() const { return m_R; }
  double minorRadius() const { return m_a; }

  /// Outside the tube; points on its surface (within 1e-10 in squared distance) count as
  /// advancing.
  bool advancingUponPoint(const XYZValue& p) const override;
  /// Out of the tube, away from its centre circle.
  R3PointPtr normalForPoint(const XYZValue& p) const override;
  /// The real roots of the quartic, largest parameter first.
  int getIntersectionParametersForLine(const R3Line& line, double* out, int capacity) const override;
  /// The same roots of the unbounded line q + t·d into out[4], without making a line
  /// object; returns the count.
  int lineRoots(const foundation::XYZ& q, const foundation::XYZ& d, double* out) const;
  /// normalForPoint without making a point.
  foundation::XYZ normalAt(const foundation::XYZ& p) const;
  bool isOutside(const foundation::XYZ& p) const;
  std::vector<double> intersectionParametersForLine(const R3Line& line) const override;

 private:
  double m_R, m_a;
};

}  // namespace orb::geometry
