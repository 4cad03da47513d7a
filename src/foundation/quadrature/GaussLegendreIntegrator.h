#pragma once

#include <memory>
#include <vector>

#include "foundation/minimise/Functor.h"
#include "foundation/minimise/FunctorXYZ.h"
#include "foundation/objects/XYZ.h"

namespace orb::foundation {

/// A one-dimensional quadrature of a Functor over [a, b].
class Integrator {
 public:
  virtual ~Integrator() = default;
  virtual double integrateFunctor(const Functor& f, double a, double b) const = 0;
};

/// A one-dimensional quadrature of an XYZ-valued FunctorXYZ over [a, b].
class IntegratorXYZ {
 public:
  virtual ~IntegratorXYZ() = default;
  virtual XYZ integrateFunctorXYZ(const FunctorXYZ& f, double a, double b) const = 0;
};

/// The n-point Gauss–Legendre rule, exact for polynomials of degree 2n − 1. Nodes run
/// from the one nearest +1 down; the weights sum to 2. Immutable once made, so one rule
/// serves any number of threads; `integratorForOrder` shares one per order.
class GaussLegendreIntegrator final : public Integrator, public IntegratorXYZ {
 public:
  /// Order n ≤ 0 gives an empty rule that integrates everything to 0.
  explicit GaussLegendreIntegrator(int order);

  /// The shared rule of that order, made on first request. Safe from any thread; a
  /// caller may keep the pointer as long as it likes, also across `clear`.
  static std::shared_ptr<const GaussLegendreIntegrator> integratorForOrder(int order);
  /// Forgets the shared rules; later requests make new ones.
  static void clear();

  int order() const { return m_n; }
  const double* nodes() const { return m_node.data(); }
  const double* weights() const { return m_weight.data(); }

  /// 0 for a = b without calling f.
  double integrateFunctor(const Functor& f, double a, double b) const override;
  /// The zero vector for a = b without calling f.
  XYZ integrateFunctorXYZ(const FunctorXYZ& f, double a, double b) const override;

  /// The rule applied to any callable double → double (no a = b shortcut), for hot
  /// loops that want no indirect call.
  template <class F>
  double integrate(F&& f, double a, double b) const {
    const double h = (b - a) / 2.0;
    const double c = (a + b) / 2.0;
    double sum = 0.0;
    for (int i = 0; i < m_n; ++i) sum += m_weight[i] * f(m_node[i] * h + c);
    return sum * h;
  }

  /// 1 for any x: the integrand of the self-check "∫₀¹ 1 = 1".
  double unity(double) const { return 1.0; }

 private:
  int m_n;
  std::vector<double> m_node;
  std::vector<double> m_weight;
};

/// Fills nodes[0 … n−1] (descending) and weights[0 … n−1] with the n-point Gauss–Legendre
/// rule on [−1, 1]; writes nothing for n ≤ 0.
void gaussLegendreNodes(int n, double* nodes, double* weights);

/// A Gauss–Legendre rule held by value.
struct GaussLegendreRule {
  int n = 0;
  std::vector<double> nodes;
  std::vector<double> weights;
};

GaussLegendreRule gaussLegendreRuleCreate(int n);

/// Σ wᵢ f(tᵢ h + c) · h over [a, b], h = (b − a)/2, c = (a + b)/2.
template <class F>
double gaussLegendreRuleIntegrate(const GaussLegendreRule& rule, F&& f, double a, double b) {
  const double h = (b - a) / 2.0;
  const double c = (a + b) / 2.0;
  double sum = 0.0;
  for (int i = 0; i < rule.n; ++i) sum += rule.weights[i] * f(rule.nodes[i] * h + c);
  return sum * h;
}

/// `dim` integrals at once: f(out, x) fills out[0 … dim−1]; result[0 … dim−1] receives
/// the integrals. f is called at every node also when dim < 1.
template <class F>
void gaussLegendreRuleIntegrateVector(const GaussLegendreRule& rule, int dim, F&& f, double* result, double a,
                                      double b) {
  const double h = (b - a) / 2.0;
  const double c = (a + b) / 2.0;
  std::vector<double> value(dim > 0 ? static_cast<std::size_t>(dim) : 1u);
  for (int k = 0; k < dim; ++k) result[k] = 0.0;
  for (int i = 0; i < rule.n; ++i) {
    f(value.data(), rule.nodes[i] * h + c);
    for (int k = 0; k < dim; ++k) result[k] += rule.weights[i] * value[k];
  }
  for (int k = 0; k < dim; ++k) result[k] *= h;
}

/// The n-point rule over [a, b] for a callable, with the shared nodes of that order.
template <class F>
double gaussLegendreIntegrate(int n, F&& f, double a, double b) {
  return GaussLegendreIntegrator::integratorForOrder(n)->integrate(std::forward<F>(f), a, b);
}

/// n tanh–sinh nodes x = tanh(sinh t) at t = (k − m + 1)·h, m = (n + 1)/2, mirrored, with
/// weights h·cosh t / cosh²(sinh t). An even n puts two nodes at 0, each of weight h.
/// Writes nothing for n ≤ 0.
void tanhSinhNodes(int n, double* nodes, double* weights, double h);

/// The composite trapezoid rule with n panels (one panel for n < 2); f is called at a,
/// the inner points upward, then b.
template <class F>
double trapezoidIntegrate(int n, F&& f, double a, double b) {
  const int panels = n < 1 ? 1 : n;
  const double h = (b - a) / panels;
  double sum = f(a) / 2.0;
  double i = 1.0;
  for (int k = 1; k < panels; ++k, i += 1.0) sum += f(a + i * h);
  sum += f(b) / 2.0;
  return sum * h;
}

/// The trapezoid rule for `dim` integrals at once (see gaussLegendreRuleIntegrateVector).
template <class F>
void trapezoidIntegrateVector(int n, int dim, F&& f, double* result, double a, double b) {
  const int panels = n < 1 ? 1 : n;
  const double h = (b - a) / panels;
  std::vector<double> value(dim > 0 ? static_cast<std::size_t>(dim) : 1u);
  f(value.data(), a);
  for (int k = 0; k < dim; ++k) result[k] = value[k] / 2.0;
  double i = 1.0;
  for (int p = 1; p < panels; ++p, i += 1.0) {
    f(value.data(), a + i * h);
    for (int k = 0; k < dim; ++k) result[k] += value[k];
  }
  f(value.data(), b);
  for (int k = 0; k < dim; ++k) result[k] = (result[k] + value[k] / 2.0) * h;
}

}  // namespace orb::foundation
