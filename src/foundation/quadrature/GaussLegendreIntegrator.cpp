#include "foundation/quadrature/GaussLegendreIntegrator.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>

namespace orb::foundation {

namespace {

struct Cache {
  std::mutex mutex;
  std::map<int, std::shared_ptr<const GaussLegendreIntegrator>> rules;
};

Cache& cache() {
  static Cache instance;
  return instance;
}

}  // namespace

void gaussLegendreNodes(int n, double* nodes, double* weights) {
  if (n <= 0) return;
  // Newton on P_n from the asymptotic guess of each positive root; the other half
  // follows by symmetry. The cap only guards against a cycle at the last bit, which
  // the tolerance of 1e-14 relative never meets in practice.
  constexpr int kMaxNewtonSteps = 100;
  for (int i = 0; i < (n + 1) / 2; ++i) {
    double x = std::cos(std::numbers::pi * (4.0 * i + 3.0) / (4.0 * n + 2.0));
    double next = x;
    double derivative = 0.0;
    for (int step = 0; step < kMaxNewtonSteps; ++step) {
      double p = 1.0;
      double previous = 0.0;
      for (int k = 1; k <= n; ++k) {
        const double older = previous;
        previous = p;
        p = ((2.0 * k - 1.0) * x * previous - (k - 1.0) * older) / k;
      }
      derivative = n * (x * p - previous) / (x * x - 1.0);
      next = x - p / derivative;
      const bool converged = std::fabs(next - x) < (std::fabs(next) + 1.0) * 1e-16 * 100.0;
      x = next;
      if (converged) break;
    }
    // The weight needs P_n' at the converged node itself: the derivative of the last
    // Newton step was taken one step earlier and would cost the weights ~1e-14.
    double p = 1.0;
    double previous = 0.0;
    for (int k = 1; k <= n; ++k) {
      const double older = previous;
      previous = p;
      p = ((2.0 * k - 1.0) * next * previous - (k - 1.0) * older) / k;
    }
    derivative = n * (next * p - previous) / (next * next - 1.0);
    nodes[i] = next;
    nodes[n - 1 - i] = -next;
    weights[i] = weights[n - 1 - i] = 2.0 / ((1.0 - next * next) * derivative * derivative);
  }
}

GaussLegendreIntegrator::GaussLegendreIntegrator(int order)
    : m_n(order > 0 ? order : 0), m_node(static_cast<std::size_t>(m_n)), m_weight(static_cast<std::size_t>(m_n)) {
  gaussLegendreNodes(m_n, m_node.data(), m_weight.data());
}

std::shared_ptr<const GaussLegendreIntegrator> GaussLegendreIntegrator::integratorForOrder(int order) {
  Cache& shared = cache();
  std::lock_guard lock(shared.mutex);
  auto& slot = shared.rules[order];
  if (!slot) slot = std::make_shared<const GaussLegendreIntegrator>(order);
  return slot;
}

void GaussLegendreIntegrator::clear() {
  Cache& shared = cache();
  std::lock_guard lock(shared.mutex);
  shared.rules.clear();
}

double GaussLegendreIntegrator::integrateFunctor(const Functor& f, double a, double b) const {
  if (a == b) return 0.0;
  return integrate([&f](double x) { return f.valueAt(x); }, a, b);
}

XYZ GaussLegendreIntegrator::integrateFunctorXYZ(const FunctorXYZ& f, double a, double b) const {
  if (a == b) return XYZ{0.0, 0.0, 0.0};
  const double h = (b - a) / 2.0;
  const double c = (a + b) / 2.0;
  XYZ sum{0.0, 0.0, 0.0};
  for (int i = 0; i < m_n; ++i) {
    const XYZ v = f.xyzValueAt(m_node[i] * h + c);
    sum.x += m_weight[i] * v.x;
    sum.y += m_weight[i] * v.y;
    sum.z += m_weight[i] * v.z;
  }
  return XYZ{sum.x * h, sum.y * h, sum.z * h};
}

GaussLegendreRule gaussLegendreRuleCreate(int n) {
  GaussLegendreRule rule;
  rule.n = n > 0 ? n : 0;
  rule.nodes.resize(static_cast<std::size_t>(rule.n));
  rule.weights.resize(static_cast<std::size_t>(rule.n));
  gaussLegendreNodes(rule.n, rule.nodes.data(), rule.weights.data());
  return rule;
}

void tanhSinhNodes(int n, double* nodes, double* weights, double h) {
  if (n <= 0) return;
  const int m = (n + 1) / 2;
  for (int k = 0; k < std::max(m, 1); ++k) {
    const double t = (k - m + 1) * h;
    const double s = std::sinh(t);
    const double x = std::tanh(s);
    const double coshS = std::cosh(s);
    const double w = h * std::cosh(t) / (coshS * coshS);
    nodes[k] = x;
    nodes[n - 1 - k] = -x;
    weights[k] = weights[n - 1 - k] = w;
  }
}

}  // namespace orb::foundation
