#pragma once

#include <memory>
#include <vector>

#include "foundation/objects/XYZ.h"
#include "foundation/quadrature/GaussLegendreIntegrator.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/VKThetaFinder.h"
#include "geometry/values/R3ToR1Map.h"

namespace orb::geometry {

/// The in-domain intervals of each ray from a polar map's locus: where the boundary curves
/// cross the ray's sagittal plane.
class VKRadialRangeFinder {
 public:
  VKRadialRangeFinder(std::shared_ptr<const PolarMap> map, R3CurveArray curves)
      : m_map(std::move(map)), m_curves(std::move(curves)) {}

  const R3CurveArray& allCurves() const { return m_curves; }
  /// Keeps the curves that the sagittal plane of θ crosses.
  void setupForAngle(double theta);
  const R3CurveArray& activeCurves() const { return m_activeCurves; }
  bool isNontrivial() const { return true; }
  static R3PointArray crossingsForCurves(const R3CurveArray& curves, const R3Plane& plane);
  /// Consecutive (start, end) pairs of sagittal coordinates along θ: the sorted
  /// non-negative crossings with the locus (0) and the map's limits, paired from the first,
  /// a pair kept only when it is longer than 1e-10 and an unpaired last value dropped.
  std::vector<double> crossingsForAngle(double theta) const;
  void setAngle(double theta);
  const std::vector<double>& crossings() const { return m_crossings; }
  double xMin() const { return m_xMin; }
  double xMax() const { return m_xMax; }
  bool isSingleInterval() const { return m_isSingleInterval; }

 private:
  std::shared_ptr<const PolarMap> m_map;
  R3CurveArray m_curves, m_activeCurves;
  std::vector<double> m_crossings;
  double m_xMin = 0, m_xMax = 0;
  bool m_isSingleInterval = false;
};

/// A region of a surface: a polar map and the curves that bound the region.
class VKPolarDomain {
 public:
  /// Collects the angles of the edges' ends and of the points where rays from the locus
  /// touch an edge: the places where the radial range stops being smooth.
  VKPolarDomain(R3CurveArray edges, std::shared_ptr<const PolarMap> map);

  const std::shared_ptr<const PolarMap>& map() const { return m_map; }
  const R3CurveArray& edges() const { return m_edges; }
  const std::vector<double>& thetaArray() const { return m_thetaArray; }
  VKRadialRangeFinder& rangeFinder() { return *m_rangeFinder; }
  /// The angles ascending with the first plus 2π appended (0 and 2π for none), runs of
  /// equal values taken once.
  std::vector<double> angularMilestones() const;

 private:
  std::shared_ptr<const PolarMap> m_map;
  R3CurveArray m_edges;
  std::vector<double> m_thetaArray;
  std::unique_ptr<VKRadialRangeFinder> m_rangeFinder;
};

/// The integrand along one ray: the density times the surface-element size.
class BSSagittalOperand {
 public:
  void setMap(std::shared_ptr<const PolarMap> map) { m_map = std::move(map); }
  const std::shared_ptr<const PolarMap>& map() const { return m_map; }
  void setChargeDensityFunctor(std::shared_ptr<const R3ToR1Map> density) { m_Q = std::move(density); }
  const std::shared_ptr<const R3ToR1Map>& chargeDensityFunctor() const { return m_Q; }
  /// Records every point evaluated when set.
  void setPointMemory(std::shared_ptr<R3PointArray> memory) { m_pointMemory = std::move(memory); }

  void setTheta(double theta);
  /// f = J·Q at the point of sagittal coordinate s.
  double evaluateAt(double s);
  double f() const { return m_f; }
  double J() const { return m_J; }
  const R3PointPtr& q() const { return m_q; }
  R3PointPtr tangentAtOrigin() const;

 private:
  std::shared_ptr<const PolarMap> m_map;
  std::shared_ptr<const R3ToR1Map> m_Q;
  double m_cosTheta = 1, m_sinTheta = 0;
  R3PointPtr m_q;
  double m_f = 0, m_J = 0;
  std::shared_ptr<R3PointArray> m_pointMemory;
};

/// ∫ f d(s²) along a ray between two sagittal coordinates, by Gauss–Legendre.
class VKRadialIntegrator {
 public:
  VKRadialIntegrator() = default;
  BSSagittalOperand& operand() { return m_operand; }
  void setIntegrationLowerLimit(double s) { m_rSquaredMin = s * s; }
  void setIntegrationUpperLimit(double s) { m_rSquaredMax = s * s; }
  void setIntegrationOrder(int n);
  int integrationOrder() const { return m_integrationOrder; }
  const foundation::IntegratorXYZ& integrator();
  void setIntegrator(std::shared_ptr<const foundation::IntegratorXYZ> integrator) { m_integrator = std::move(integrator); }
  /// (f(√u), 0, 0).
  foundation::XYZ integrand(double u);
  void evaluate();
  double integral0() const { return m_integral[0]; }
  double integral1() const { return m_integral[1]; }
  double integral2() const { return m_integral[2]; }
  double integral3() const { return m_integral[3]; }

 private:
  BSSagittalOperand m_operand;
  double m_rSquaredMin = 0, m_rSquaredMax = 0;
  int m_integrationOrder = 30;
  std::shared_ptr<const foundation::IntegratorXYZ> m_integrator;
  double m_integral[4] = {0, 0, 0, 0};
};

/// The integral over a polar domain: tanh–sinh over θ within each sector between
/// consecutive angular milestones, the radial integrator along each ray.
class VKPolarIntegrator {
 public:
  void setDomain(std::shared_ptr<VKPolarDomain> domain) { m_domain = std::move(domain); }
  void setRadialIntegrator(std::shared_ptr<VKRadialIntegrator> radial) { m_radialIntegrator = std::move(radial); }
  /// Nodes per sector; at least 2 (below that the integrals are 0).
  void setIntegrationOrder(int n) { m_integrationOrder = n; }
  void evaluate();
  double integral0() const { return m_integral[0]; }
  double integral1() const { return m_integral[1]; }
  double integral2() const { return m_integral[2]; }
  double integral3() const { return m_integral[3]; }

 private:
  std::shared_ptr<VKPolarDomain> m_domain;
  std::shared_ptr<VKRadialIntegrator> m_radialIntegrator;
  int m_integrationOrder = 5;
  double m_integral[4] = {0, 0, 0, 0};
};

/// The angle, seen from a centre in a map's 2-D chart, of the point of a curve at a given
/// parameter: a curve's sweep round a point as a function of its parameter. Without a curve
/// and a map it answers the angle of (cos t, sin t) itself.
class BSParametrizedThetaFinder : public foundation::Functor {
 public:
  void setCenter(const foundation::XY& center) { m_s0 = center.x, m_t0 = center.y; }
  foundation::XY center() const { return {m_s0, m_t0}; }
  void setCurve(R3CurvePtr curve) { m_curve = std::move(curve); }
  const R3CurvePtr& curve() const { return m_curve; }
  void setMap(std::shared_ptr<const PolarMap> map) { m_map = std::move(map); }
  const std::shared_ptr<const PolarMap>& map() const { return m_map; }
  /// Angles come from the finder (continuous away from its cut) when one is set, else atan2.
  void setThetaFinder(std::shared_ptr<const VKThetaFinder> finder) { m_thetaFinder = std::move(finder); }
  const std::shared_ptr<const VKThetaFinder>& thetaFinder() const { return m_thetaFinder; }

  /// "curve map finder" ("(null)" for what is not set).
  std::string description() const;
  double valueAt(double t) const override;
  /// The distance of that point from the centre in the chart (1 without curve and map).
  double radiusAt(double t) const;

 private:
  foundation::XY offsetAt(double t) const;

  double m_s0 = 0, m_t0 = 0;
  R3CurvePtr m_curve;
  std::shared_ptr<const PolarMap> m_map;
  std::shared_ptr<const VKThetaFinder> m_thetaFinder;
};

}  // namespace orb::geometry
