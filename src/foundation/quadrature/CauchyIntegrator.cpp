#include "foundation/quadrature/CauchyIntegrator.h"

#include <cmath>

#include "platform/Log.h"

namespace orb::foundation {

double CauchyIntegrator::integrateFunctor(const Functor& f, double a, double b) const {
  if (a == b) return 0.0;
  return cauchyPrincipalValueIntegral(m_n, [&f](double x) { return f.valueAt(x); }, a, b, m_mu);
}

XYZ CauchyIntegrator::integrateFunctorXYZ(const FunctorXYZ& f, double a, double b) const {
  if (a == b) return XYZ{0.0, 0.0, 0.0};
  const double t0 = 2.0 * m_mu / (b - a) - (a + b) / (b - a);
  const int order = detail::cauchyOrder(m_n, t0);
  const auto rule = GaussLegendreIntegrator::integratorForOrder(order);
  const double* t = rule->nodes();
  const double* w = rule->weights();
  XYZ sum{0.0, 0.0, 0.0};
  for (int i = 0; i < rule->order(); ++i) {
    const double c = w[i] / (t[i] - t0);
    if (!std::isfinite(c)) platform::log("CauchyIntegrator prefactor = %g", c);
    const XYZ v = f.xyzValueAt(t[i] * (b - a) / 2.0 + (a + b) / 2.0);
    sum.x += c * v.x;
    sum.y += c * v.y;
    sum.z += c * v.z;
  }
  const XYZ fMu = f.xyzValueAt(m_mu);
  if (!std::isfinite(fMu.x) || !std::isfinite(fMu.y) || !std::isfinite(fMu.z)) {
    platform::log("CauchyIntegrator fMu=%g,%g,%g", fMu.x, fMu.y, fMu.z);
  }
  if (fMu.x == 0.0 && fMu.y == 0.0 && fMu.z == 0.0) return sum;
  const double lambda = 2.0 * legendreQOverP(order, t0);
  if (!std::isfinite(lambda)) {
    platform::log("CauchyIntegrator p=%g,mu=%g,lambda=%g,fMu=%g,%g,%g", lambda, m_mu, t0, fMu.x, fMu.y, fMu.z);
    return sum;
  }
  return XYZ{sum.x - lambda * fMu.x, sum.y - lambda * fMu.y, sum.z - lambda * fMu.z};
}

}  // namespace orb::foundation
