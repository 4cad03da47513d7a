#pragma once

#include <cmath>

#include "foundation/quadrature/GaussLegendreIntegrator.h"
#include "foundation/quadrature/SpecialFunctions.h"

namespace orb::foundation {

namespace detail {

/// t₀, the pole mapped onto [−1, 1], and the order to use there: n + 1 when P_{n+1}(t₀)
/// dominates P_n(t₀) threefold, which keeps away from a node sitting on the pole.
inline int cauchyOrder(int n, double t0) {
  return std::fabs(legendreP(n + 1, t0)) > 3.0 * std::fabs(legendreP(n, t0)) ? n + 1 : n;
}

}  // namespace detail

/// The principal value of ∫ f(x)/(x − μ) dx over [a, b], the pole μ in or near the
/// interval: Gauss–Legendre with the pole term subtracted in closed form,
/// PV = Σ wᵢ f(xᵢ)/(tᵢ − t₀) − 2 f(μ)·Q_n(t₀)/P_n(t₀). Exact for polynomial f of degree
/// up to 2n.
class CauchyIntegrator final : public Integrator, public IntegratorXYZ {
 public:
  explicit CauchyIntegrator(int order) : m_n(order) {}

  void setMu(double mu) { m_mu = mu; }
  double mu() const { return m_mu; }
  int order() const { return m_n; }

  /// 0 for a = b without calling f.
  double integrateFunctor(const Functor& f, double a, double b) const override;
  /// Per component; logs the non-finite intermediate values it meets.
  XYZ integrateFunctorXYZ(const FunctorXYZ& f, double a, double b) const override;

 private:
  int m_n;
  double m_mu = 0.0;
};

/// The same rule for any callable double → double (no a = b shortcut).
template <class F>
double cauchyPrincipalValueIntegral(int n, F&& f, double a, double b, double mu) {
  const double t0 = 2.0 * mu / (b - a) - (a + b) / (b - a);
  const int order = detail::cauchyOrder(n, t0);
  const auto rule = GaussLegendreIntegrator::integratorForOrder(order);
  const double* t = rule->nodes();
  const double* w = rule->weights();
  double sum = 0.0;
  for (int i = 0; i < rule->order(); ++i) sum += w[i] * f(t[i] * (b - a) / 2.0 + (a + b) / 2.0) / (t[i] - t0);
  const double fMu = f(mu);
  if (fMu == 0.0) return sum;
  return sum - 2.0 * fMu * legendreQOverP(order, t0);
}

}  // namespace orb::foundation
