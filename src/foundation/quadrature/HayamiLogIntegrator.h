#pragma once

#include "foundation/quadrature/GaussLegendreIntegrator.h"

namespace orb::foundation {

/// The change of variable t = sign(x)·½·ln((x² + d²)/d²) that spreads an integrand
/// nearly singular at x = 0, a distance d off the line of integration, before
/// Gauss–Legendre in t. d must be set (> 0) before integrating.
class HayamiLogMap {
 public:
  void setSingularityDistance(double d) { m_d = d; }
  double singularityDistance() const { return m_d; }

  /// t(x); odd, 0 at 0.
  double map(double x) const;
  /// x(t).
  double inverseMap(double t) const;
  /// dx/dt = (d² + x²)/|x|, taken at x; infinite at x = 0.
  double Jacobian(double x) const;

 protected:
  double m_d = 0.0;
};

/// ∫ f over [a, b] (either side of the singularity) in the log variable.
class HayamiLogIntegrator final : public HayamiLogMap, public Integrator {
 public:
  explicit HayamiLogIntegrator(int order) : m_rule(GaussLegendreIntegrator::integratorForOrder(order)) {}

  /// f(x(t))·dx/dt; 0 at t = 0, where the Jacobian is infinite but the singularity
  /// integrable, so one node there does not spoil the sum.
  double integrand(const Functor& f, double t) const;
  /// 0 for a = b.
  double integrateFunctor(const Functor& f, double a, double b) const override;

 private:
  std::shared_ptr<const GaussLegendreIntegrator> m_rule;
};

/// The XYZ form, which integrates only the non-negative side: both ends are first
/// clamped at 0.
class HayamiLogIntegratorXYZ final : public HayamiLogMap, public IntegratorXYZ {
 public:
  explicit HayamiLogIntegratorXYZ(int order) : m_rule(GaussLegendreIntegrator::integratorForOrder(order)) {}

  XYZ integrand(const FunctorXYZ& f, double t) const;
  /// The zero vector for a = b.
  XYZ integrateFunctorXYZ(const FunctorXYZ& f, double a, double b) const override;

 private:
  std::shared_ptr<const GaussLegendreIntegrator> m_rule;
};

}  // namespace orb::foundation
